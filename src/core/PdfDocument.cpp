// Document core: library start, open, create, close and save.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"
#include "WriterFonts.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cstdio>

using namespace pdfengine;

namespace {

constexpr auto kTempSuffix = ".~tmp";

} // namespace

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
    m_fileBytes = bytes;
    m_doc = pdfApi().FPDF_LoadMemDocument64(m_fileBytes.constData(), size_t(m_fileBytes.size()), nullptr);
    if (!m_doc) {
        m_fileBytes.clear();
        setLastError(pdfiumErrorString());
        qWarning().noquote() << "Cannot open document:" << lastError();
        return false;
    }
    m_filePath = path;
    m_modified = false;
    bumpRevision();
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
    const bool saved = sameFile(m_filePath, path) ? saveOverOpenFileUnlocked(path) : saveToOtherFileUnlocked(path);
    if (!saved)
        return false;
    m_filePath = path;
    m_modified = false;
    return true;
}

bool PdfDocument::saveAs(const QString& path)
{
    return save(path);
}

// Writes "<path>.~tmp" (created exclusively, with the file's permissions) and
// renames it over the file in one step, so the file on disk is always either the
// old or the new document. pdfium reads from memory, so the open document stays
// valid while its file is replaced; it is then reloaded from the new file.
bool PdfDocument::saveOverOpenFileUnlocked(const QString& path)
{
    // A leftover "<path>.~tmp" (another writer, an earlier crash) is never
    // overwritten: a unique sibling is used instead.
    QFile plainTemp(path + QLatin1String(kTempSuffix));
    QTemporaryFile uniqueTemp(path + QStringLiteral(".XXXXXX") + QLatin1String(kTempSuffix));
    uniqueTemp.setAutoRemove(false);
    QFile* tempFile = &plainTemp;
    if (!plainTemp.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (!plainTemp.exists() || !uniqueTemp.open()) {
            setLastError(plainTemp.exists() ? uniqueTemp.errorString() : plainTemp.errorString());
            return false;
        }
        tempFile = &uniqueTemp;
    }
    QFile& temp = *tempFile;
    const QString target = temp.fileName();
    temp.setPermissions(QFileInfo(path).permissions());
    const bool written = writeDocument(m_doc, temp, 0) && temp.flush();
    const QString writeError = temp.error() != QFileDevice::NoError ? temp.errorString() : pdfiumErrorString();
    temp.close();
    if (!written || temp.error() != QFileDevice::NoError) {
        QFile::remove(target);
        setLastError(writeError);
        return false;
    }
    if (std::rename(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(target);
        setLastError(QStringLiteral("Cannot replace file: %1").arg(path));
        return false;
    }
    // Bind the document to the bytes now on disk. The new file is read before
    // the open document is dropped, so a failure leaves the document open.
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

// QSaveFile writes a private sibling and renames it over the target on commit,
// so a failed write never leaves a half-written or deleted target.
bool PdfDocument::saveToOtherFileUnlocked(const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setLastError(file.errorString());
        return false;
    }
    if (!writeDocument(m_doc, file, 0)) {
        const QString error = file.error() != QFileDevice::NoError ? file.errorString() : pdfiumErrorString();
        file.cancelWriting();
        setLastError(error);
        return false;
    }
    if (!file.commit()) {
        setLastError(file.errorString());
        return false;
    }
    return true;
}

bool PdfDocument::saveCopy(const QString& path) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!writeDocument(m_doc, file, pdfium::kSaveNoIncremental)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
