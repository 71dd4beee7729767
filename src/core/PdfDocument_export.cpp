// Document export: the PDF itself, its text as plain text, HTML or XHTML, or one
// picture per page.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <string>

using namespace pdfengine;

namespace {

QString notImplementedText(const QString& format)
{
    return QStringLiteral("Export format is not implemented in the PDFium backend yet: %1").arg(format);
}

bool isPictureFormat(const QString& format)
{
    return format == QLatin1String("png") || format == QLatin1String("jpg") || format == QLatin1String("jpeg") ||
           format == QLatin1String("bmp");
}

bool isTextFormat(const QString& format)
{
    return format == QLatin1String("txt") || format == QLatin1String("html") || format == QLatin1String("xhtml");
}

// pdfium marks a hyphen that splits a word at a line end with U+0002.
constexpr char32_t kPdfiumLineEndHyphen = 0x02;

bool isXmlCharacter(char32_t c)
{
    return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The text as XML 1.0 accepts it: line-end hyphen marks become the hyphen the
// page shows, other control characters and non-characters are dropped.
QString markupSafeText(const QString& text)
{
    const QList<uint> codePoints = text.toUcs4();
    std::u32string kept;
    kept.reserve(size_t(codePoints.size()));
    for (uint codePoint : codePoints) {
        const char32_t c = codePoint;
        if (c == kPdfiumLineEndHyphen)
            kept.push_back(U'-');
        else if (isXmlCharacter(c))
            kept.push_back(c);
    }
    return QString::fromUcs4(kept.data(), qsizetype(kept.size()));
}

QString escapedForMarkup(const QString& text)
{
    return markupSafeText(text).toHtmlEscaped();
}

QByteArray htmlPage(const QString& text)
{
    return (QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\"></head><body><pre>") +
            escapedForMarkup(text) + QStringLiteral("</pre></body></html>"))
        .toUtf8();
}

QByteArray xhtmlPage(const QString& text, const QString& title)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
                           "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
                           "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head>"
                           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
                           "<title>") +
            escapedForMarkup(title) + QStringLiteral("</title></head><body><pre>") + escapedForMarkup(text) +
            QStringLiteral("</pre></body></html>\n"))
        .toUtf8();
}

QString fileErrorText(const QFileDevice& file, const QString& fallback)
{
    return file.error() != QFileDevice::NoError ? file.errorString() : fallback;
}

// Writes through a private sibling that replaces path only once it is
// complete. Empty result on success, else the reason.
QString writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size())
        return fileErrorText(file, QStringLiteral("Не удалось записать файл: %1").arg(path));
    if (!file.commit())
        return fileErrorText(file, QStringLiteral("Не удалось записать файл: %1").arg(path));
    return {};
}

bool writePictureAtomically(const QString& path, const QImage& image, const QByteArray& format)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, format);
    return writer.write(image) && file.commit();
}

// One file per page: path itself for a single page, else "<base>_<page>.<suffix>" beside it.
QStringList picturePaths(const QString& path, int pageCount)
{
    if (pageCount == 1)
        return {path};
    constexpr int kPageNumberDigits = 3;
    const QFileInfo target(path);
    QStringList paths;
    for (int k = 1; k <= pageCount; ++k) {
        paths << target.dir().filePath(QStringLiteral("%1_%2.%3").arg(
                     target.completeBaseName(), QString::number(k).rightJustified(kPageNumberDigits, QLatin1Char('0')),
                     target.suffix()));
    }
    return paths;
}

QByteArray pictureWriterFormat(const QString& format)
{
    if (format == QLatin1String("jpg") || format == QLatin1String("jpeg"))
        return "JPG";
    return format.toLatin1();
}

QString exportText(const PdfDocument& doc, const QString& format, const QString& path)
{
    if (sameFile(path, doc.filePath()))
        return ownFileTargetText();
    const QString text = doc.extractAllTextAllPages();
    QByteArray bytes;
    if (format == QLatin1String("txt"))
        bytes = text.toUtf8();
    else if (format == QLatin1String("html"))
        bytes = htmlPage(text);
    else
        bytes = xhtmlPage(text, QFileInfo(path).completeBaseName());
    return writeFileAtomically(path, bytes);
}

// Renders every page and writes it as a picture. Empty result on success, else the reason.
QString exportPagePictures(const PdfDocument& doc, const QString& format, const QString& path, int dpi)
{
    constexpr int kMinDpi = 36;
    constexpr int kMaxDpi = 600;
    constexpr double kPointsPerInch = 72.0;
    const double scale = std::clamp(dpi, kMinDpi, kMaxDpi) / kPointsPerInch;
    const int count = doc.pageCount();
    if (count <= 0)
        return {};
    const QStringList paths = picturePaths(path, count);
    const QString ownFile = doc.filePath();
    if (std::any_of(paths.begin(), paths.end(), [&](const QString& p) { return sameFile(p, ownFile); }))
        return ownFileTargetText();
    const QByteArray writerFormat = pictureWriterFormat(format);
    for (int i = 0; i < count; ++i) {
        const QImage image = doc.renderPageLayer(i, scale, 0, PdfRenderAll, false);
        if (image.isNull())
            return QStringLiteral("Не удалось отрисовать страницу %1.").arg(i + 1);
        if (!writePictureAtomically(paths.at(i), image, writerFormat))
            return QStringLiteral("Не удалось сохранить изображение:\n%1").arg(paths.at(i));
    }
    return {};
}

} // namespace

bool PdfDocument::exportDocument(const QString& format, const QString& path, int dpi)
{
    const QString kind = format.toLower();
    if (kind == QLatin1String("pdf"))
        return save(path);
    if (!isTextFormat(kind) && !isPictureFormat(kind)) {
        setLastError(notImplementedText(format));
        return false;
    }
    if (!isOpen()) {
        setLastError(QStringLiteral("Нет открытого документа."));
        return false;
    }
    const QString error = isPictureFormat(kind) ? exportPagePictures(*this, kind, path, dpi)
                                                : exportText(*this, kind, path);
    if (!error.isEmpty()) {
        setLastError(error);
        return false;
    }
    return true;
}
