// Page queries and page operations.
#include "PdfDocument.h"

#include "PdfChangeNotice.h"
#include "PdfEngineInternal.h"
#include "PdfPageCopy.h"
#include "PdfRepair.h"
#include "QpdfFile.h"
#include "SavedFileCheck.h"
#include "WriterFonts.h"

#include <QBuffer>

#include <chrono>
#include <cmath>
#include <mutex>

using namespace pdfengine;

namespace {

constexpr QSizeF kFallbackPageSize(595, 842);  // A4 in points

bool isUsablePageSize(const QSizeF& size)
{
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 && size.height() > 0 &&
           size.width() <= PdfDocument::kMaxPageSide && size.height() <= PdfDocument::kMaxPageSide;
}

QString pageNumberText(int pageIndex)
{
    return QStringLiteral("Страницы %1 нет в документе.").arg(pageIndex + 1);
}

// Why a change of the page sequence is refused, empty when it may go ahead:
// the page tree loads page by page and every page it touches loads.
QString pageChangeRefusal(FPDF_DOCUMENT doc, bool treeLoads, std::initializer_list<int> touched)
{
    if (!treeLoads)
        return QStringLiteral("Дерево страниц документа повреждено: страницы не меняются.");
    const int count = pdfApi().FPDF_GetPageCount(doc);
    for (const int index : touched) {
        if (index < 0 || index >= count)
            return pageNumberText(index);
        if (!PagePtr(pdfApi().FPDF_LoadPage(doc, index)))
            return QStringLiteral("Страница %1 повреждена и не загружается: страницы не меняются.").arg(index + 1);
    }
    return QString();
}

QString unexpectedResultText()
{
    return QStringLiteral("pdfium не выполнил операцию со страницами: документ не изменён.");
}

} // namespace

// A sound tree stays sound through pdfium's own page edits, whose page
// counts are checked after each: it is walked again only after other changes.
bool PdfDocument::pageTreeLoadsUnlocked()
{
    if (m_soundTreeRevision == revision())
        return true;
    if (!PdfRepair::pageTreeLoads(m_doc))
        return false;
    m_soundTreeRevision = revision();
    return true;
}

void PdfDocument::markPageTreeChangedUnlocked(PageTreeChange change)
{
    const bool sound = m_soundTreeRevision == revision();
    if (change == PageTreeChange::RemovesContent)
        markChangedUnlocked();
    else
        markAddedUnlocked();
    if (sound)
        m_soundTreeRevision = revision();
}

std::vector<int>& PdfDocument::pageOriginsUnlocked()
{
    if (m_pageOrigins.empty() && !m_fileBytes.isEmpty()) {
        const int count = std::max(pdfApi().FPDF_GetPageCount(m_doc), 0);
        for (int page = 0; page < count; ++page)
            m_pageOrigins.push_back(page);
    }
    return m_pageOrigins;
}

bool PdfDocument::contentWritableUnlocked(int pageIndex)
{
    const std::vector<int>& origins = pageOriginsUnlocked();
    const int origin = pageIndex >= 0 && pageIndex < int(origins.size()) ? origins[size_t(pageIndex)] : -1;
    signed char* known = nullptr;
    if (origin < -1 && size_t(-2 - origin) < m_putInPages.size()) {
        // A page put in from another file is read from the bytes it came from.
        PutInPage& putIn = m_putInPages[size_t(-2 - origin)];
        if (putIn.readable == 0) {
            QpdfFile source;
            source.load(m_putInSources[size_t(putIn.source)], nullptr);
            putIn.readable = PdfRepair::pageContentReadable(source, putIn.page) ? 1 : -1;
        }
        known = &putIn.readable;
    } else {
        if (origin < 0 || m_fileBytes.isEmpty())
            return true;
        if (m_originChecked.size() <= size_t(origin))
            m_originChecked.resize(size_t(origin) + 1, 0);
        known = &m_originChecked[size_t(origin)];
        if (*known == 0) {
            if (!m_contentSource) {
                m_contentSource = std::make_unique<QpdfFile>();
                m_contentSource->load(m_fileBytes, nullptr);
            }
            *known = PdfRepair::pageContentReadable(*m_contentSource, origin) ? 1 : -1;
        }
    }
    if (*known > 0)
        return true;
    setLastError(PdfRepair::unregenerableText(pageIndex));
    return false;
}

int PdfDocument::pageCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_doc ? pdfApi().FPDF_GetPageCount(m_doc) : 0;
}

QSizeF PdfDocument::pageSize(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return QSizeF(-1, -1);
    FS_SIZEF size{};
    if (pageIndex < 0 || !pdfApi().FPDF_GetPageSizeByIndexF(m_doc, pageIndex, &size))
        return kFallbackPageSize;
    return QSizeF(size.width, size.height);
}

bool PdfDocument::readPageSizes(std::vector<QSizeF>* sizes, quint64* revision, int waitMs) const
{
    std::unique_lock<QMutex> lock(m_mutex, std::defer_lock);
    if (waitMs < 0)
        lock.lock();
    else if (!lock.try_lock_for(std::chrono::milliseconds(waitMs)))
        return false;
    sizes->clear();
    *revision = this->revision();
    if (!m_doc)
        return true;
    if (m_openedSizesRevision == *revision) {
        *sizes = m_openedSizes;
        return true;
    }
    const int count = std::max(pdfApi().FPDF_GetPageCount(m_doc), 0);
    sizes->reserve(size_t(count));
    for (int page = 0; page < count; ++page) {
        FS_SIZEF size{};
        sizes->push_back(pdfApi().FPDF_GetPageSizeByIndexF(m_doc, page, &size) ? QSizeF(size.width, size.height)
                                                                              : kFallbackPageSize);
    }
    return true;
}

PdfPageTransform PdfDocument::pageTransform(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0)
        return {};
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    return pageTransformOf(page.get());
}

bool PdfDocument::deletePage(int pageIndex)
{
    const ChangeNotice notice(*this, ChangeNotice::Removed, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    const PdfiumApi& api = pdfApi();
    const int before = api.FPDF_GetPageCount(m_doc);
    const QString refusal = pageChangeRefusal(m_doc, pageTreeLoadsUnlocked(), {pageIndex});
    if (!refusal.isEmpty()) {
        setLastError(refusal);
        return false;
    }
    std::vector<int>& origins = pageOriginsUnlocked();
    // A page made or brought in since the bytes were read takes nothing of theirs away.
    const bool madeSinceRead = pageIndex < int(origins.size()) && origins[size_t(pageIndex)] < 0;
    api.FPDFPage_Delete(m_doc, pageIndex);
    const int after = api.FPDF_GetPageCount(m_doc);
    if (after == before - 1 && pageIndex < int(origins.size()))
        origins.erase(origins.begin() + pageIndex);
    if (after == before) {
        setLastError(unexpectedResultText());
        return false;
    }
    markPageTreeChangedUnlocked(madeSinceRead ? PageTreeChange::Appendable : PageTreeChange::RemovesContent);
    if (after != before - 1) {
        m_soundTreeRevision = 0;
        setLastError(QStringLiteral("После удаления страницы в документе %1 страниц вместо %2.").arg(after).arg(before - 1));
        return false;
    }
    return true;
}

bool PdfDocument::rotatePage(int pageIndex, int degrees)
{
    const ChangeNotice notice(*this, ChangeNotice::Rotated, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    const QString refusal = pageChangeRefusal(m_doc, pageTreeLoadsUnlocked(), {pageIndex});
    if (!refusal.isEmpty()) {
        setLastError(refusal);
        return false;
    }
    if (!contentWritableUnlocked(pageIndex))
        return false;
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page)
        return false;
    const int current = std::max(pdfApi().FPDFPage_GetRotation(page.get()), 0);
    const int addedTurns = ((degrees % 360) + 360) % 360 / 90;
    pdfApi().FPDFPage_SetRotation(page.get(), (current + addedTurns) % 4);
    pdfApi().FPDFPage_GenerateContent(page.get());
    markPageTreeChangedUnlocked(PageTreeChange::Appendable);
    return true;
}

bool PdfDocument::movePage(int from, int to)
{
    const ChangeNotice notice(*this, ChangeNotice::Moved, from, to);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    const PdfiumApi& api = pdfApi();
    const int before = api.FPDF_GetPageCount(m_doc);
    const QString refusal = pageChangeRefusal(m_doc, pageTreeLoadsUnlocked(), {from, to});
    if (!refusal.isEmpty()) {
        setLastError(refusal);
        return false;
    }
    if (from == to)
        return true;
    std::vector<int>& origins = pageOriginsUnlocked();
    const int indices[] = {from};
    if (!api.FPDF_MovePages(m_doc, indices, 1, to)) {
        setLastError(unexpectedResultText());
        return false;
    }
    markPageTreeChangedUnlocked(PageTreeChange::Appendable);
    if (from < int(origins.size()) && to < int(origins.size())) {
        const int origin = origins[size_t(from)];
        origins.erase(origins.begin() + from);
        origins.insert(origins.begin() + to, origin);
    }
    if (api.FPDF_GetPageCount(m_doc) != before || !PagePtr(api.FPDF_LoadPage(m_doc, to))) {
        m_soundTreeRevision = 0;
        setLastError(QStringLiteral("Страница перемещена не так, как требовалось."));
        return false;
    }
    return true;
}

bool PdfDocument::insertBlankPage(int index, const QSizeF& size)
{
    const ChangeNotice notice(*this, ChangeNotice::Inserted, std::max(index, 0));
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || !isUsablePageSize(size))
        return false;
    const PdfiumApi& api = pdfApi();
    const int before = api.FPDF_GetPageCount(m_doc);
    if (!pageTreeLoadsUnlocked()) {
        setLastError(pageChangeRefusal(m_doc, false, {}));
        return false;
    }
    const int at = std::min(std::max(index, 0), before);
    std::vector<int>& origins = pageOriginsUnlocked();
    PagePtr page(api.FPDFPage_New(m_doc, at, size.width(), size.height()));
    if (!page) {
        setLastError(unexpectedResultText());
        return false;
    }
    api.FPDFPage_GenerateContent(page.get());
    markPageTreeChangedUnlocked(PageTreeChange::Appendable);
    if (at <= int(origins.size()))
        origins.insert(origins.begin() + at, -1);
    if (api.FPDF_GetPageCount(m_doc) != before + 1) {
        m_soundTreeRevision = 0;
        setLastError(QStringLiteral("Пустая страница вставлена не так, как требовалось."));
        return false;
    }
    return true;
}

bool PdfDocument::appendPage(const QString& path, int pageIndex)
{
    const ChangeNotice notice(*this, ChangeNotice::Inserted);
    if (notice.refused())
        return false;
    return pageIndex >= 0 && appendPagesFromFile(path, pageIndex);
}

// Appends page pageIndex of another PDF file, or all its pages for -1: all
// or nothing. The file goes through the same check and repair as an opened
// one; its pages are copied by pdfium, or by qpdf where pdfium's copy would
// break them, each copy is proved against the page it came from before it
// is put in, and pages of a failed import are taken out again.
bool PdfDocument::appendPagesFromFile(const QString& path, int pageIndex)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    QString error;
    const QByteArray bytes = readWholeFile(path, &error);
    if (!error.isEmpty() || bytes.isEmpty()) {
        setLastError(!error.isEmpty() ? error : QStringLiteral("Файл пуст или не удалось прочитать данные."));
        return false;
    }
    QByteArray sourceBytes;
    bool repaired = false;
    DocumentPtr source(PdfRepair::loadChecked(bytes, &sourceBytes, &repaired, &error));
    if (!source) {
        setLastError(error);
        return false;
    }
    const PdfiumApi& api = pdfApi();
    const int sourcePages = api.FPDF_GetPageCount(source.get());
    if (sourcePages < 1 || pageIndex >= sourcePages) {
        setLastError(sourcePages < 1 ? QStringLiteral("В импортируемом файле нет страниц.")
                                     : QStringLiteral("В импортируемом файле нет страницы %1.").arg(pageIndex + 1));
        return false;
    }
    const QString refusal = pageChangeRefusal(m_doc, pageTreeLoadsUnlocked(), {});
    if (!refusal.isEmpty()) {
        setLastError(refusal);
        return false;
    }
    const int wanted = pageIndex < 0 ? sourcePages : 1;
    const int end = api.FPDF_GetPageCount(m_doc);
    // A document made here has an origin for each page it made.
    std::vector<int>& origins = pageOriginsUnlocked();
    if (int(origins.size()) < end)
        origins.resize(size_t(end), -1);
    const bool viaQpdf = PdfPageCopy::needsQpdf(sourceBytes, pageIndex);
    const bool imported = viaQpdf ? appendQpdfPagesUnlocked(sourceBytes, pageIndex, wanted)
                                  : appendPagesUnlocked(source.get(), sourceBytes, pageIndex, wanted);
    source.reset();  // closed before its bytes go
    if (imported) {
        markPageTreeChangedUnlocked(PageTreeChange::Appendable);
        notePutInPagesUnlocked(sourceBytes, end, pageIndex, wanted, viaQpdf);
    }
    return imported;
}

void PdfDocument::notePutInPagesUnlocked(const QByteArray& source, int first, int pageIndex, int wanted, bool inBytes)
{
    m_putInSources.push_back(source);
    const int file = int(m_putInSources.size()) - 1;
    // Pages of the document's bytes (read again from qpdf's copy) are known
    // by their place in them, the others by an origin of their own.
    for (int i = 0; i < wanted; ++i) {
        m_putInPages.push_back({file, pageIndex < 0 ? i : pageIndex, 0});
        const int origin = -1 - int(m_putInPages.size());
        if (inBytes) {
            m_checkOrigins.resize(size_t(first + i), -1);
            m_checkOrigins.push_back(origin);
        } else {
            m_pageOrigins.resize(size_t(first + i), -1);
            m_pageOrigins.push_back(origin);
        }
    }
}

bool PdfDocument::copiedPagesKeptUnlocked(const QByteArray& copy, int first, const QByteArray& source, int pageIndex,
                                          int wanted)
{
    std::vector<SavedPage> pages(size_t(first + wanted));
    for (int i = 0; i < wanted; ++i)
        pages[size_t(first + i)].source = pageIndex < 0 ? i : pageIndex;
    const QString problem = SavedFileCheck::copyProblem(copy, source, pages);
    if (problem.isEmpty())
        return true;
    setLastError(problem);
    return false;
}

bool PdfDocument::appendPagesUnlocked(fpdf_document_t__* source, const QByteArray& sourceBytes, int pageIndex,
                                      int wanted)
{
    const PdfiumApi& api = pdfApi();
    const QString failed = QStringLiteral("pdfium не смог импортировать страницы файла; документ не изменён.");
    DocumentPtr scratch(api.FPDF_CreateNewDocument());
    const int indices[] = {pageIndex};
    const bool assembled =
        scratch &&
        (pageIndex < 0 ? api.FPDF_ImportPages(scratch.get(), source, nullptr, 0)
                       : api.FPDF_ImportPagesByIndex(scratch.get(), source, indices, 1, 0)) &&
        api.FPDF_GetPageCount(scratch.get()) == wanted && PdfRepair::pageTreeLoads(scratch.get());
    if (!assembled) {
        setLastError(failed);
        return false;
    }
    QBuffer copy;
    copy.open(QIODevice::WriteOnly);
    if (!writeDocument(scratch.get(), copy, 0)) {
        setLastError(failed);
        return false;
    }
    if (!copiedPagesKeptUnlocked(copy.data(), 0, sourceBytes, pageIndex, wanted))
        return false;
    const int end = api.FPDF_GetPageCount(m_doc);
    const bool imported = api.FPDF_ImportPages(m_doc, scratch.get(), nullptr, end) &&
                          api.FPDF_GetPageCount(m_doc) == end + wanted && PdfRepair::pageTreeLoads(m_doc);
    if (imported)
        return true;
    for (int count = api.FPDF_GetPageCount(m_doc); count > end; --count)
        api.FPDFPage_Delete(m_doc, count - 1);
    setLastError(failed);
    return false;
}

// Pages qpdf copies (form fields merged into the document's form, layers
// carried over, objects that point back kept pointing at their copies) come
// in with the whole document written and read again; the result replaces
// the open document only when it loads with every page and the copies
// show what their pages showed. The pages already there keep the pages
// of the file each is compared with at a save.
bool PdfDocument::appendQpdfPagesUnlocked(const QByteArray& source, int pageIndex, int wanted)
{
    const PdfiumApi& api = pdfApi();
    const int end = api.FPDF_GetPageCount(m_doc);
    QBuffer current;
    current.open(QIODevice::WriteOnly);
    QString error;
    QByteArray merged;
    if (!writeDocument(m_doc, current, 0) || !PdfPageCopy::appendPages(current.data(), source, pageIndex, &merged, &error)) {
        setLastError(QStringLiteral("Не удалось перенести страницы: %1").arg(!error.isEmpty() ? error : pdfiumErrorString()));
        return false;
    }
    DocumentPtr result(api.FPDF_LoadMemDocument64(merged.constData(), size_t(merged.size()), nullptr));
    if (!result || api.FPDF_GetPageCount(result.get()) != end + wanted || !PdfRepair::pageTreeLoads(result.get())) {
        setLastError(QStringLiteral("Не удалось перенести страницы; документ не изменён."));
        return false;
    }
    result.reset();
    if (!copiedPagesKeptUnlocked(merged, end, source, pageIndex, wanted))
        return false;
    return reloadFromBytesUnlocked(merged);
}

bool PdfDocument::pagesNeedQpdfUnlocked(const QList<int>& pages) const
{
    if (m_fileBytes.isEmpty())
        return false;
    // Pages made or put in since the bytes were read were copied by pdfium,
    // which would not have been given what it breaks.
    QList<int> read;
    for (const int page : pages) {
        const int origin = m_pageOrigins.empty() ? page
                           : page >= 0 && page < int(m_pageOrigins.size()) ? m_pageOrigins[size_t(page)]
                                                                           : -1;
        if (origin >= 0)
            read << origin;
    }
    if (read.isEmpty())
        return false;
    QpdfFile file;
    return file.load(m_fileBytes, nullptr) && PdfPageCopy::needsQpdf(file, read);
}

// The pages are written as a save writes them and read back as a save is:
// each shows the page it came from, and what the user changed on it.
bool PdfDocument::extractPageSubset(const QList<int>& pages, const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pages.isEmpty())
        return false;
    QString error;
    QByteArray bytes;
    if (pagesNeedQpdfUnlocked(pages)) {
        // The document as a save writes it; bytes qpdf cannot follow (a
        // damaged file) are written whole by pdfium.
        QByteArray current;
        if (!serializeForEditUnlocked(&current, &error)) {
            current.clear();
            QBuffer whole(&current);
            whole.open(QIODevice::WriteOnly);
            error.clear();
            writeDocumentTo(whole, 0, &error);
        }
        if (!error.isEmpty() || !PdfPageCopy::extractPages(current, pages, &bytes, &error)) {
            setLastError(QStringLiteral("Не удалось перенести страницы: %1").arg(error));
            return false;
        }
    } else {
        QByteArray saved;
        QString unsaved;
        // Bytes that do not serialise (a damaged file) leave pdfium's own document.
        const DocumentPtr copy = savedCopyUnlocked(&saved, &unsaved);
        DocumentPtr subset(pdfApi().FPDF_CreateNewDocument());
        const QVector<int> indices(pages.begin(), pages.end());
        if (!subset || !pdfApi().FPDF_ImportPagesByIndex(subset.get(), copy ? copy.get() : m_doc.load(),
                                                         indices.constData(), (unsigned long)indices.size(), 0))
            return false;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!writeDocument(subset.get(), buffer, 0)) {
            setLastError(pdfiumErrorString());
            return false;
        }
    }
    if (!readsBackUnlocked(bytes, pages, WrittenCopy::Pages))
        return false;
    if (replaceFileWith(path, [&bytes](QIODevice& out) { return out.write(bytes) == bytes.size(); }, &error))
        return true;
    setLastError(error);
    return false;
}
