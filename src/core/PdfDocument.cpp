// Document core: library start, open, create, close and save.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"
#include "PdfRepair.h"
#include "QpdfFile.h"
#include "WriterFonts.h"

#include <QDebug>

using namespace pdfengine;

PdfDocument::PdfDocument()
    : m_mutex(pdfiumMutex())
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
    m_repaired = false;
    m_pageOrigins.clear();
    m_originChecked.clear();
    m_contentSource.reset();
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
    setLastError(QString());
    QString libraryError;
    if (!ensurePdfium(&libraryError)) {
        setLastError(libraryError);
        return false;
    }
    QString fileError;
    QByteArray bytes = readWholeFile(path, &fileError);
    if (!fileError.isEmpty()) {
        setLastError(fileError);
        return false;
    }
    if (bytes.isEmpty()) {
        setLastError(QStringLiteral("Файл пуст или не удалось прочитать данные."));
        return false;
    }
    bool repaired = false;
    QString error;
    std::vector<QSizeF> sizes;
    m_doc = PdfRepair::loadChecked(bytes, &m_fileBytes, &repaired, &error, &sizes);
    if (!m_doc) {
        setLastError(error);
        qWarning().noquote() << "Cannot open document:" << error;
        return false;
    }
    m_repaired = repaired;
    m_filePath = path;
    m_modified = false;
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
    QString libraryError;
    if (!ensurePdfium(&libraryError)) {
        setLastError(libraryError);
        return false;
    }
    m_doc = pdfApi().FPDF_CreateNewDocument();
    if (!m_doc) {
        setLastError(pdfiumErrorString());
        return false;
    }
    m_filePath.clear();
    markChangedUnlocked();
    return true;
}

void PdfDocument::close()
{
    QMutexLocker lock(&m_mutex);
    dropDoc();
    m_filePath.clear();
    m_modified = false;
}

void PdfDocument::markModified()
{
    QMutexLocker lock(&m_mutex);
    if (m_doc) {
        markChangedUnlocked();
    }
}

bool PdfDocument::save(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    setLastError(QString());
    // A damaged file may open with no readable page; it is never written over anything.
    if (pdfApi().FPDF_GetPageCount(m_doc) < 1) {
        setLastError(noPagesText());
        return false;
    }
    const bool overOpenFile = sameFile(m_filePath, path);
    QString error;
    if (!replaceFileWith(path, [this, &error](QIODevice& out) { return writeDocumentTo(out, 0, &error); }, &error)) {
        setLastError(error);
        return false;
    }
    if (overOpenFile && !reloadFromSavedFileUnlocked(path))
        return false;
    m_filePath = path;
    m_modified = false;
    return true;
}

bool PdfDocument::saveAs(const QString& path)
{
    return save(path);
}

bool PdfDocument::writeDocumentTo(QIODevice& out, unsigned long flags, QString* error) const
{
    if (writeDocument(m_doc, out, flags))
        return true;
    *error = pdfiumErrorString();
    return false;
}

// pdfium reads from memory, so the open document stayed valid while its file
// was replaced; it is now bound to the bytes on disk. The new file is read
// before the open document is dropped, so a failure leaves the document open.
bool PdfDocument::reloadFromSavedFileUnlocked(const QString& path)
{
    QString fileError;
    QByteArray bytes = readWholeFile(path, &fileError);
    FPDF_DOCUMENT reloaded =
        bytes.isEmpty() ? nullptr : pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr);
    if (!reloaded) {
        setLastError(!fileError.isEmpty() ? fileError : pdfiumErrorString());
        return false;
    }
    dropDoc();
    m_fileBytes = bytes;
    m_doc = reloaded;
    return true;
}

bool PdfDocument::saveCopy(const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    if (pdfApi().FPDF_GetPageCount(m_doc) < 1) {
        setLastError(noPagesText());
        return false;
    }
    QString error;
    if (replaceFileWith(
            path, [this, &error](QIODevice& out) { return writeDocumentTo(out, pdfium::kSaveNoIncremental, &error); },
            &error))
        return true;
    setLastError(error);
    return false;
}
