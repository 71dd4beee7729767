// Document core: library start, open, create, close and save.
#include "PdfDocument.h"

#include "DocumentChanges.h"
#include "IncrementalUpdate.h"
#include "PageGlyphRemoval.h"
#include "PdfEngineInternal.h"
#include "PdfRepair.h"
#include "QpdfFile.h"
#include "SaveMeter.h"
#include "SavedFileCheck.h"
#include "WorkStop.h"
#include "WriterFonts.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDebug>

#include <algorithm>
#include <stdexcept>

using namespace pdfengine;

namespace {

// The file is written a piece at a time so that a save can still stop
// between pieces; the bar moves with them.
constexpr qint64 kSavePiece = qint64(1) << 20;

QString saveStoppedText()
{
    return QStringLiteral("Сохранение остановлено.");
}

bool writeInPieces(QIODevice& out, const QByteArray& bytes, SaveMeter& meter)
{
    for (qint64 at = 0; at < bytes.size(); at += kSavePiece) {
        const qint64 length = std::min<qint64>(kSavePiece, bytes.size() - at);
        if (out.write(bytes.constData() + at, length) != length || !meter.made(at + length))
            return false;
    }
    return true;
}

} // namespace

PdfDocument::PdfDocument()
    : m_changes(std::make_unique<DocumentChanges>())
    , m_mutex(pdfiumMutex())
{
    ensurePdfium();
}

PdfDocument::~PdfDocument()
{
    QMutexLocker lock(&m_mutex);
    dropDoc();
}

QString PdfDocument::lastError() const
{
    QMutexLocker lock(&m_errorMutex);
    return m_lastError;
}

void PdfDocument::setLastError(const QString& text) const
{
    QMutexLocker lock(&m_errorMutex);
    m_lastError = text;
}

void PdfDocument::dropDoc()
{
    bumpRevision();
    m_writerFonts.reset();
    if (m_doc) {
        pdfApi().FPDF_CloseDocument(m_doc);
        m_doc = nullptr;
    }
    m_fileBytes.clear();
    m_pageOrigins.clear();
    m_originChecked.clear();
    m_contentSource.reset();
}

void PdfDocument::forgetSourceStateUnlocked()
{
    m_repaired = false;
    m_bytesDamaged = false;
    m_lostPages.clear();
    m_pageListChanged = false;
    m_sourceGuarded = false;
}

WriterFonts& PdfDocument::writerFontsUnlocked()
{
    if (!m_writerFonts)
        m_writerFonts = std::make_unique<WriterFonts>(m_doc);
    return *m_writerFonts;
}

bool PdfDocument::open(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    return loadFromFileUnlocked(path);
}

bool PdfDocument::loadFromFileUnlocked(const QString& path)
{
    dropDoc();
    forgetSourceStateUnlocked();
    forgetSignatures();
    setLastError(QString());
    QString libraryError;
    if (!ensurePdfium(&libraryError)) {
        setLastError(libraryError);
        return false;
    }
    QString fileError;
    const QByteArray bytes = readWholeFile(path, &fileError);
    if (!fileError.isEmpty()) {
        setLastError(fileError);
        return false;
    }
    return loadFromBytesUnlocked(bytes, path);
}

bool PdfDocument::loadFromBytesUnlocked(const QByteArray& bytes, const QString& path)
{
    if (bytes.isEmpty()) {
        setLastError(QStringLiteral("Файл пуст или не удалось прочитать данные."));
        return false;
    }
    bool repaired = false;
    QString error;
    std::vector<QSizeF> sizes;
    bool damagedAsIs = false;
    PdfRepair::SourcePages source;
    m_doc = PdfRepair::loadChecked(bytes, &m_fileBytes, &repaired, &error, &sizes, &damagedAsIs, &source);
    if (!m_doc) {
        setLastError(error);
        qWarning().noquote() << "Cannot open document:" << error;
        return false;
    }
    m_repaired = repaired;
    m_bytesDamaged = damagedAsIs;
    m_lostPages = std::move(source.lost);
    m_pageListChanged = source.changed;
    m_sourceGuarded = !m_lostPages.empty() || m_pageListChanged;
    // Read from the file itself: a repaired copy no longer holds its revisions.
    noteSignaturesUnlocked(bytes);
    m_filePath = path;
    m_modified = false;
    m_rewriteOnSave = false;
    m_changedSinceLoad = false;
    m_writtenPages.clear();
    resetCheckSourceUnlocked(m_fileBytes);
    bumpRevision();
    // The check walked the whole tree: the window's first read of the sizes
    // takes them from here, and page edits need not walk it again.
    m_openedSizes = std::move(sizes);
    m_openedSizesRevision = revision();
    m_soundTreeRevision = revision();
    return true;
}

bool PdfDocument::createEmpty()
{
    QMutexLocker lock(&m_mutex);
    dropDoc();
    forgetSourceStateUnlocked();
    QString libraryError;
    if (!ensurePdfium(&libraryError)) {
        setLastError(libraryError);
        return false;
    }
    forgetSignatures();
    m_doc = pdfApi().FPDF_CreateNewDocument();
    if (!m_doc) {
        setLastError(pdfiumErrorString());
        return false;
    }
    m_filePath.clear();
    m_writtenPages.clear();
    resetCheckSourceUnlocked(QByteArray());
    markChangedUnlocked();
    return true;
}

void PdfDocument::close()
{
    QMutexLocker lock(&m_mutex);
    dropDoc();
    forgetSourceStateUnlocked();
    forgetSignatures();
    m_filePath.clear();
    m_modified = false;
    m_rewriteOnSave = false;
    m_writtenPages.clear();
    resetCheckSourceUnlocked(QByteArray());
}

// Only says that changes are pending (the window's edited blocks, written
// later by their own operation): it takes nothing away, so a save may still
// append.
void PdfDocument::markModified()
{
    QMutexLocker lock(&m_mutex);
    if (m_doc)
        markAddedUnlocked();
}

bool PdfDocument::save(const QString& path, SignedRevisions signedRevisions,
                       const std::function<bool(int, int)>& progress, const std::function<bool()>& committing)
{
    if (!writeToFile(path, signedRevisions, progress, committing))
        return false;
    emit m_changes->saved(path);
    return true;
}

bool PdfDocument::writeToFile(const QString& path, SignedRevisions signedRevisions,
                              const std::function<bool(int, int)>& progress, const std::function<bool()>& committing)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    setLastError(QString());
    m_saveRefusedForSignatures = false;
    // A damaged file may open with no readable page; it is never written over anything.
    if (pdfApi().FPDF_GetPageCount(m_doc) < 1) {
        setLastError(noPagesText());
        return false;
    }
    // Nothing changed since the file was read: it already holds the document.
    // A repaired copy differs from its file even so.
    if (!m_modified && !m_repaired && sameFile(m_filePath, path))
        return true;
    // The file still holds pages the document lacks: it is kept as it is.
    if (!holdsSourceWhole() && sameFile(m_filePath, path)) {
        setLastError(sourceGuardText());
        return false;
    }
    QString error;
    QByteArray bytes;
    // Making the bytes, qpdf's rewrite when there is one, writing the file.
    SaveMeter meter(progress, m_rewriteOnSave && !m_bytesDamaged ? 3 : 2);
    // pdfium may go on past a block it was refused: the meter's record decides.
    if (!documentBytesUnlocked(&bytes, &error, &meter) || meter.stopped()) {
        setLastError(meter.stopped() ? saveStoppedText() : error);
        return false;
    }
    if (!keepsSignedRevisionsUnlocked(bytes, signedRevisions))
        return false;
    if (!readsBackUnlocked(bytes)) {
        // A stop ends the check's renders: the save was stopped, not refused.
        if (WorkStop::requested())
            setLastError(saveStoppedText());
        return false;
    }
    meter.beginStep(bytes.size());
    bool refused = false;  // the stop came just before the file was to be replaced
    const auto write = [&bytes, &meter, &committing, &refused](QIODevice& out) {
        if (!writeInPieces(out, bytes, meter))
            return false;
        refused = committing && !committing();
        return !refused;
    };
    if (!replaceFileWith(path, write, &error)) {
        setLastError(meter.stopped() || refused ? saveStoppedText() : error);
        return false;
    }
    // The open document is bound to the bytes now on disk, so a later save
    // appends to them and never to a revision that is gone from the file.
    if (!reloadFromBytesUnlocked(bytes))
        return false;
    resetCheckSourceUnlocked(bytes);
    noteSignaturesUnlocked(bytes);
    // The document is now whole in the file it was written to.
    forgetSourceStateUnlocked();
    m_filePath = path;
    m_modified = false;
    m_rewriteOnSave = false;
    return true;
}

namespace {

// Page numbers from indices, runs of three or more joined: "1–54, 57".
QString pageNumbersText(const std::vector<int>& indices)
{
    QStringList parts;
    for (size_t first = 0; first < indices.size();) {
        size_t last = first;
        while (last + 1 < indices.size() && indices[last + 1] == indices[last] + 1)
            ++last;
        if (last >= first + 2) {
            parts << QStringLiteral("%1–%2").arg(indices[first] + 1).arg(indices[last] + 1);
        } else {
            for (size_t page = first; page <= last; ++page)
                parts << QString::number(indices[page] + 1);
        }
        first = last + 1;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

QString PdfDocument::lostPagesText() const
{
    if (m_lostPages.empty())
        return QString();
    if (m_lostPages.size() == 1)
        return QStringLiteral("Страница %1 исходного файла не читается и в документ не вошла; "
                              "сохраните документ под новым именем.")
            .arg(m_lostPages.front() + 1);
    return QStringLiteral("Страницы %1 исходного файла не читаются и в документ не вошли; "
                          "сохраните документ под новым именем.")
        .arg(pageNumbersText(m_lostPages));
}

QString PdfDocument::sourceGuardText() const
{
    if (!m_lostPages.empty())
        return lostPagesText();
    if (m_pageListChanged)
        return QStringLiteral("Дерево страниц файла повреждено: число или порядок страниц документа могут "
                              "отличаться от исходного файла; сохраните документ под новым именем.");
    return QString();
}

bool PdfDocument::saveAs(const QString& path, SignedRevisions signedRevisions)
{
    return save(path, signedRevisions);
}

void PdfDocument::noteSignaturesUnlocked(const QByteArray& bytes)
{
    forgetSignatures();
    m_signatures = PdfSignatures::read(bytes);
    for (const PdfSignature& signature : m_signatures)
        m_signedLength = std::max(m_signedLength, signature.revisionEnd);
    if (m_signedLength > 0)
        m_signedDigest = QCryptographicHash::hash(QByteArrayView(bytes).first(m_signedLength),
                                                  QCryptographicHash::Sha256);
}

void PdfDocument::forgetSignatures()
{
    m_signatures.clear();
    m_signedLength = 0;
    m_signedDigest.clear();
}

bool PdfDocument::keepsSignedRevisionsUnlocked(const QByteArray& bytes, SignedRevisions signedRevisions) const
{
    if (signedRevisions == SignedRevisions::MayInvalidate || m_signedLength == 0)
        return true;
    if (bytes.size() >= m_signedLength &&
        QCryptographicHash::hash(QByteArrayView(bytes).first(m_signedLength), QCryptographicHash::Sha256) ==
            m_signedDigest)
        return true;
    QStringList names;
    for (const PdfSignature& signature : m_signatures)
        names << PdfSignatures::displayName(signature);
    m_saveRefusedForSignatures = true;
    setLastError(QStringLiteral("Сохранение сделает недействительными подписи документа: %1.")
                     .arg(names.join(QStringLiteral(", "))));
    return false;
}

// Bytes about to replace a file are read back by another reader first, and
// must hold the document's pages: each as it was read unless the user
// changed it, and with what the user wrote where it was written.
bool PdfDocument::readsBackUnlocked(QByteArray& bytes, const QList<int>& pages, WrittenCopy copy) const
{
    SavedFileCheck::applyFaultForTests(bytes);
    QList<int> written = pages;
    if (written.isEmpty())
        for (int index = 0; index < pdfApi().FPDF_GetPageCount(m_doc); ++index)
            written << index;
    std::vector<SavedPage> saved(size_t(written.size()));
    for (size_t index = 0; index < saved.size(); ++index) {
        const int origin = checkOriginUnlocked(written[qsizetype(index)]);
        if (origin >= 0 && !m_checkSource.isEmpty()) {
            saved[index].source = origin;
        } else if (origin < -1 && size_t(-2 - origin) < m_putInPages.size()) {
            const PutInPage& putIn = m_putInPages[size_t(-2 - origin)];
            saved[index].source = putIn.page;
            saved[index].from = &m_putInSources[size_t(putIn.source)];
        } else {
            continue;
        }
        const auto edit = m_pageEdits.find(origin);
        if (edit != m_pageEdits.end())
            saved[index].edit = &edit->second;
    }
    const QString problem = SavedFileCheck::problem(bytes, m_checkSource, saved, copy);
    if (problem.isEmpty())
        return true;
    setLastError(problem);
    return false;
}

void PdfDocument::resetCheckSourceUnlocked(const QByteArray& bytes)
{
    m_checkSource = bytes;
    m_checkOrigins.clear();
    m_pageEdits.clear();
    m_putInSources.clear();
    m_putInPages.clear();
    m_pageOrigins.clear();
    m_originChecked.clear();
    m_contentSource.reset();
}

int PdfDocument::checkOriginUnlocked(int pageIndex) const
{
    // No origins yet: no page moved since the bytes were read.
    const int origin = m_pageOrigins.empty() ? pageIndex
                       : pageIndex >= 0 && pageIndex < int(m_pageOrigins.size()) ? m_pageOrigins[size_t(pageIndex)]
                                                                                 : -1;
    if (origin < 0 || m_checkOrigins.empty())
        return origin;
    return origin < int(m_checkOrigins.size()) ? m_checkOrigins[size_t(origin)] : -1;
}

void PdfDocument::notePageEditUnlocked(int pageIndex, const PageEdit& edit, const QStringList& blockTexts)
{
    const int origin = checkOriginUnlocked(pageIndex);
    if (origin == -1)
        return;  // a page made since the source was read is compared with nothing
    const auto [known, added] = m_pageEdits.try_emplace(origin, edit);
    if (added)
        return;
    // The page was turned between the edits: the earlier places go where the turn took them.
    if (known->second.quarterTurns != edit.quarterTurns) {
        PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
        known->second.turnTo(edit.quarterTurns, pageTransformOf(page.get()).userBox());
    }
    known->second.add(edit, blockTexts);
}

// The open document's state as bytes: the bytes it was read from, followed
// by an update of only the objects that changed.
bool PdfDocument::serializeForEditUnlocked(QByteArray* bytes, QString* error,
                                           const std::function<bool(qint64)>& check) const
{
    if (!m_changedSinceLoad && !m_fileBytes.isEmpty()) {
        *bytes = m_fileBytes;
        return true;
    }
    QByteArray updated;
    int changed = 0;
    if (m_fileBytes.isEmpty()) {
        QBuffer whole(bytes);
        whole.open(QIODevice::WriteOnly);
        return writeDocumentTo(whole, 0, error, check);
    }
    const std::function<bool()> goOn = [&check, &updated] { return !check || check(updated.size()); };
    return PageGlyphRemoval::serialize(m_doc, m_fileBytes, &updated, error, check) && goOn() &&
           IncrementalUpdate::trimmed(m_fileBytes, updated, bytes, &changed, error, goOn);
}

DocumentPtr PdfDocument::savedCopyUnlocked(QByteArray* bytes, QString* error) const
{
    if (!serializeForEditUnlocked(bytes, error))
        return DocumentPtr();
    DocumentPtr copy(pdfApi().FPDF_LoadMemDocument64(bytes->constData(), size_t(bytes->size()), nullptr));
    if (!copy)
        *error = pdfiumErrorString();
    return copy;
}

// The file as a save writes it. Unchanged objects keep their bytes: what
// changed is appended as an update. After text was removed no earlier
// revision may stay, so the file is written anew by qpdf, keeping its
// object streams.
bool PdfDocument::documentBytesUnlocked(QByteArray* bytes, QString* error, SaveMeter* meter) const
{
    const std::function<bool(qint64)> check = meter ? meter->check() : std::function<bool(qint64)>();
    if (meter)
        meter->beginStep(m_fileBytes.size());
    if (m_bytesDamaged || !serializeForEditUnlocked(bytes, error, check)) {
        if (meter && meter->stopped())
            return false;
        // Bytes qpdf cannot follow (a damaged file): pdfium writes it all,
        // current objects only.
        bytes->clear();
        QBuffer whole(bytes);
        whole.open(QIODevice::WriteOnly);
        return writeDocumentTo(whole, 0, error, check);
    }
    if (!m_rewriteOnSave)
        return true;
    if (meter)
        meter->beginStep(bytes->size());
    QpdfFile file;
    QByteArray rewritten;
    QString qpdfError;
    if (!file.load(*bytes, &qpdfError) || !file.run([](QPDF& pdf) {
            if (!cleanTrailer(pdf))
                throw std::runtime_error("trailer cannot be rewritten");
        }, &qpdfError) ||
        !file.write(&rewritten, [](QPDFWriter& writer) {
            writer.setObjectStreamMode(qpdf_o_preserve);
            writer.setDecodeLevel(qpdf_dl_none);
            writer.setCompressStreams(true);
        }, &qpdfError, check)) {
        // qpdf's message goes to the log; the reason shown is the program's.
        qWarning().noquote() << "qpdf:" << qpdfError;
        *error = QStringLiteral("Не удалось записать файл.");
        return false;
    }
    *bytes = rewritten;
    return true;
}

bool PdfDocument::writeDocumentTo(QIODevice& out, unsigned long flags, QString* error,
                                  const std::function<bool(qint64)>& check) const
{
    if (writeDocument(m_doc, out, flags, check))
        return true;
    *error = pdfiumErrorString();
    return false;
}

// Reads the document again from bytes. The new document is loaded before the
// open one is dropped, so a failure leaves the document open as it was.
bool PdfDocument::reloadFromBytesUnlocked(const QByteArray& bytes)
{
    FPDF_DOCUMENT reloaded =
        bytes.isEmpty() ? nullptr : pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr);
    if (!reloaded) {
        setLastError(pdfiumErrorString());
        return false;
    }
    // The fonts written so far stay the document's: they are found again in the new one.
    std::unique_ptr<WriterFonts> fonts = std::move(m_writerFonts);
    if (fonts)
        fonts->rebind(reloaded, std::vector<int>(m_writtenPages.begin(), m_writtenPages.end()));
    // The new bytes hold the pages in their present order: each keeps the
    // page of the check source it shows.
    std::vector<int> checkOrigins(size_t(std::max(pdfApi().FPDF_GetPageCount(m_doc), 0)));
    for (size_t page = 0; page < checkOrigins.size(); ++page)
        checkOrigins[page] = checkOriginUnlocked(int(page));
    dropDoc();
    m_checkOrigins = std::move(checkOrigins);
    m_fileBytes = bytes;
    m_doc = reloaded;
    m_changedSinceLoad = false;
    m_writerFonts = std::move(fonts);
    return true;
}

bool PdfDocument::saveCopy(const QString& path, SignedRevisions signedRevisions) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    if (signedRevisions == SignedRevisions::Keep)
        m_saveRefusedForSignatures = false;
    if (pdfApi().FPDF_GetPageCount(m_doc) < 1) {
        setLastError(noPagesText());
        return false;
    }
    if (!holdsSourceWhole() && sameFile(m_filePath, path)) {
        setLastError(sourceGuardText());
        return false;
    }
    QString error;
    QByteArray bytes;
    if (!documentBytesUnlocked(&bytes, &error)) {
        setLastError(error);
        return false;
    }
    if (!keepsSignedRevisionsUnlocked(bytes, signedRevisions) || !readsBackUnlocked(bytes))
        return false;
    if (replaceFileWith(path, [&bytes](QIODevice& out) { return out.write(bytes) == bytes.size(); }, &error))
        return true;
    setLastError(error);
    return false;
}
