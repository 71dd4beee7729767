// Page queries and page operations.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"

#include <chrono>
#include <cmath>
#include <mutex>

using namespace pdfengine;

namespace {

constexpr QSizeF kFallbackPageSize(595, 842);  // A4 in points
constexpr double kMaxPageSide = 14400.0;  // the largest page side a PDF allows, in points

bool isUsablePageSize(const QSizeF& size)
{
    return std::isfinite(size.width()) && std::isfinite(size.height()) && size.width() > 0 && size.height() > 0 &&
           size.width() <= kMaxPageSide && size.height() <= kMaxPageSide;
}

// Loads another PDF from its bytes; the bytes must outlive the document.
DocumentPtr loadDocumentBytes(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    return DocumentPtr(pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
}

} // namespace

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
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0 || pageIndex >= pdfApi().FPDF_GetPageCount(m_doc))
        return false;
    pdfApi().FPDFPage_Delete(m_doc, pageIndex);
    markChangedUnlocked();
    return true;
}

bool PdfDocument::rotatePage(int pageIndex, int degrees)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0)
        return false;
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page)
        return false;
    const int current = std::max(pdfApi().FPDFPage_GetRotation(page.get()), 0);
    const int addedTurns = ((degrees % 360) + 360) % 360 / 90;
    pdfApi().FPDFPage_SetRotation(page.get(), (current + addedTurns) % 4);
    pdfApi().FPDFPage_GenerateContent(page.get());
    markChangedUnlocked();
    return true;
}

bool PdfDocument::movePage(int from, int to)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    const int indices[] = {from};
    if (!pdfApi().FPDF_MovePages(m_doc, indices, 1, to))
        return false;
    markChangedUnlocked();
    return true;
}

bool PdfDocument::insertBlankPage(int index, const QSizeF& size)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || !isUsablePageSize(size))
        return false;
    PagePtr page(pdfApi().FPDFPage_New(m_doc, std::max(index, 0), size.width(), size.height()));
    if (!page)
        return false;
    pdfApi().FPDFPage_GenerateContent(page.get());
    markChangedUnlocked();
    return true;
}

bool PdfDocument::appendPage(const QString& path, int pageIndex)
{
    return pageIndex >= 0 && appendPagesFromFile(path, pageIndex);
}

// Appends page pageIndex of another PDF file, or all its pages for -1.
bool PdfDocument::appendPagesFromFile(const QString& path, int pageIndex)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    QString fileError;
    const QByteArray bytes = readWholeFile(path, &fileError);
    if (!fileError.isEmpty()) {
        setLastError(fileError);
        return false;
    }
    DocumentPtr source = loadDocumentBytes(bytes);
    if (!source) {
        setLastError(pdfiumErrorString());
        return false;
    }
    const PdfiumApi& api = pdfApi();
    const int end = api.FPDF_GetPageCount(m_doc);
    bool imported = false;
    if (pageIndex < 0) {
        imported = api.FPDF_ImportPages(m_doc, source.get(), nullptr, end) != 0;
    } else if (pageIndex < api.FPDF_GetPageCount(source.get())) {
        const int indices[] = {pageIndex};
        imported = api.FPDF_ImportPagesByIndex(m_doc, source.get(), indices, 1, end) != 0;
    }
    source.reset();  // closed before its bytes go
    if (imported)
        markChangedUnlocked();
    return imported;
}

bool PdfDocument::extractPageSubset(const QList<int>& pages, const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pages.isEmpty())
        return false;
    DocumentPtr subset(pdfApi().FPDF_CreateNewDocument());
    if (!subset)
        return false;
    const QVector<int> indices(pages.begin(), pages.end());
    if (!pdfApi().FPDF_ImportPagesByIndex(subset.get(), m_doc, indices.constData(), (unsigned long)indices.size(), 0))
        return false;
    QString error;
    const auto write = [&](QIODevice& out) {
        if (writeDocument(subset.get(), out, 0))
            return true;
        error = pdfiumErrorString();
        return false;
    };
    if (replaceFileWith(path, write, &error))
        return true;
    setLastError(error);
    return false;
}
