// Document export: the PDF itself, its text as plain text, HTML or XHTML, or one
// picture per page.
#include "PdfDocument.h"

#include "OwnedFolder.h"
#include "PdfEngineInternal.h"
#include "SaveLeftovers.h"
#include "SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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
    return c == 0x0A || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// The text every export writes: "\n" line ends, the hyphen the page shows for
// pdfium's line-end mark, a space for a tab, and no other control character
// or XML non-character.
QString exportableText(const QString& text)
{
    const QList<uint> codePoints = text.toUcs4();
    std::u32string kept;
    kept.reserve(size_t(codePoints.size()));
    for (qsizetype i = 0; i < codePoints.size(); ++i) {
        const char32_t c = codePoints.at(i);
        if (c == U'\r') {
            if (i + 1 >= codePoints.size() || codePoints.at(i + 1) != U'\n')
                kept.push_back(U'\n');
        } else if (c == kPdfiumLineEndHyphen) {
            kept.push_back(U'-');
        } else if (c == U'\t') {
            kept.push_back(U' ');
        } else if (c == U'\n' || (!isControl(c) && isXmlCharacter(c))) {
            kept.push_back(c);
        }
    }
    return QString::fromUcs4(kept.data(), qsizetype(kept.size()));
}

QString escapedForMarkup(const QString& text)
{
    return exportableText(text).toHtmlEscaped();
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

QString writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    QString error;
    replaceFileWith(path, [&bytes](QIODevice& out) { return out.write(bytes) == bytes.size(); }, &error);
    return error;
}

QString pictureFailureText(const QString& path, const QString& error)
{
    return QStringLiteral("Не удалось сохранить изображение:\n%1\n%2").arg(path, error);
}

// Writes the picture in aside, to be put in place with the others.
QString preparePicture(PreparedReplacement* replacement, const OwnedFolder& aside, const QString& path,
                       const QImage& image, const QByteArray& format)
{
    QString error;
    const auto write = [&](QIODevice& out) {
        QImageWriter writer(&out, format);
        if (writer.write(image))
            return true;
        error = writer.errorString();
        return false;
    };
    if (replacement->prepare(path, write, &error, &aside))
        return {};
    return pictureFailureText(path, error);
}

QString fileSuffixOf(const QString& format)
{
    return format == QLatin1String("jpeg") ? QStringLiteral("jpg") : format;
}

// One file per page: path itself for a single page, else "<base>_<page>.<suffix>"
// beside it; a path without a suffix takes the format's.
QStringList picturePaths(const QString& path, const QString& format, int pageCount)
{
    const QFileInfo target(path);
    const QString suffix = target.suffix().isEmpty() ? fileSuffixOf(format) : target.suffix();
    if (pageCount == 1)
        return {target.suffix().isEmpty() ? path + QLatin1Char('.') + suffix : path};
    constexpr int kPageNumberDigits = 3;
    const QString base = target.suffix().isEmpty() ? target.fileName() : target.completeBaseName();
    QStringList paths;
    for (int k = 1; k <= pageCount; ++k) {
        paths << target.dir().filePath(QStringLiteral("%1_%2.%3").arg(
                     base, QString::number(k).rightJustified(kPageNumberDigits, QLatin1Char('0')), suffix));
    }
    return paths;
}

QByteArray pictureWriterFormat(const QString& format)
{
    if (format == QLatin1String("jpg") || format == QLatin1String("jpeg"))
        return "JPG";
    return format.toLatin1();
}

QString cancelledText()
{
    return QStringLiteral("Экспорт отменён.");
}

bool goOn(const PdfDocument::Progress& progress, int done, int total)
{
    return !progress || progress(done, total);
}

// The pages' texts joined by line ends, as extractAllTextAllPages gives them;
// false when cancelled.
bool allPagesText(const PdfDocument& doc, const PdfDocument::Progress& progress, QString* text)
{
    const int count = doc.pageCount();
    QStringList pages;
    pages.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (!goOn(progress, i, count))
            return false;
        pages << doc.extractAllText(i);
    }
    *text = pages.join(QLatin1Char('\n'));
    return goOn(progress, count, count);
}

QString exportText(const PdfDocument& doc, const QString& format, const QString& path,
                   const PdfDocument::Progress& progress)
{
    if (sameFile(path, doc.filePath()))
        return ownFileTargetText();
    if (doc.pageCount() < 1)
        return noPagesText();
    QString pagesText;
    if (!allPagesText(doc, progress, &pagesText))
        return cancelledText();
    const QString text = exportableText(pagesText);
    QByteArray bytes;
    if (format == QLatin1String("txt"))
        bytes = text.toUtf8();
    else if (format == QLatin1String("html"))
        bytes = htmlPage(text);
    else
        bytes = xhtmlPage(text, QFileInfo(path).completeBaseName());
    return writeFileAtomically(path, bytes);
}

// Renders every page and writes it as a picture. Empty result on success, else
// the reason. The pictures are written into one locked folder of the
// program's beside them (a written picture holds no descriptor, so a
// document of any length exports) and take their names only when all are
// written: a cancelled or failed export leaves the folder as it was.
QString exportPagePictures(const PdfDocument& doc, const QString& format, const QString& path, int dpi,
                           const PdfDocument::Progress& progress)
{
    constexpr int kMinDpi = 36;
    constexpr int kMaxDpi = 600;
    constexpr double kPointsPerInch = 72.0;
    constexpr double kInchesPerMetre = 1 / 0.0254;
    const int resolution = std::clamp(dpi, kMinDpi, kMaxDpi);
    const double scale = resolution / kPointsPerInch;
    const int count = doc.pageCount();
    if (count <= 0)
        return noPagesText();
    const QStringList paths = picturePaths(path, format, count);
    const QString ownFile = doc.filePath();
    if (std::any_of(paths.begin(), paths.end(), [&](const QString& p) { return sameFile(p, ownFile); }))
        return ownFileTargetText();
    // What an export killed midway left beside its pictures goes.
    removeSaveLeftovers(paths.first());
    OwnedFolder aside;
    if (const int code = aside.create(partialPathPattern(paths.first())))
        return pictureFailureText(paths.first(), systemErrorText(code));
    const QByteArray writerFormat = pictureWriterFormat(format);
    QList<int> unrendered;
    // Gone before the folder: a failed or stopped export takes back its pictures.
    std::vector<std::pair<PreparedReplacement, QString>> prepared;
    for (int i = 0; i < count; ++i) {
        if (!goOn(progress, i, count))
            return cancelledText();
        QImage image = doc.renderPageLayer(i, scale, 0, PdfRenderAll, false);
        if (image.isNull()) {
            unrendered << i + 1;
            continue;
        }
        image.setDotsPerMeterX(qRound(resolution * kInchesPerMetre));
        image.setDotsPerMeterY(qRound(resolution * kInchesPerMetre));
        PreparedReplacement picture;
        const QString error = preparePicture(&picture, aside, paths.at(i), image, writerFormat);
        if (!error.isEmpty())
            return error;
        prepared.emplace_back(std::move(picture), paths.at(i));
    }
    if (!goOn(progress, count, count))
        return cancelledText();
    for (auto& [picture, target] : prepared) {
        QString error;
        if (!picture.putInPlace(&error))
            return pictureFailureText(target, error);
    }
    return unrenderedPagesText(unrendered, count);
}

} // namespace

bool PdfDocument::exportDocument(const QString& format, const QString& path, int dpi, const Progress& progress)
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
    const QString error = isPictureFormat(kind) ? exportPagePictures(*this, kind, path, dpi, progress)
                                                : exportText(*this, kind, path, progress);
    if (!error.isEmpty()) {
        setLastError(error);
        return false;
    }
    return true;
}
