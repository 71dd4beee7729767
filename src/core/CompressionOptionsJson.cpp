#include "CompressionOptionsJson.h"

#include <limits>

namespace {

int intOr(const QJsonValue& value, int fallback)
{
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    const bool whole = number == double(qint64(number));
    if (!whole || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return fallback;
    return int(number);
}

bool boolOr(const QJsonValue& value, bool fallback)
{
    return value.isBool() ? value.toBool() : fallback;
}

} // namespace

QJsonObject compressionOptionsToJson(const PdfDocument::CompressionOptions& options)
{
    return QJsonObject{
        {QStringLiteral("imageDpi"), options.imageDpi},
        {QStringLiteral("jpegQuality"), options.jpegQuality},
        {QStringLiteral("grayscale"), options.grayscale},
        {QStringLiteral("recompressSmallImages"), options.recompressSmallImages},
        {QStringLiteral("rasterizePages"), options.rasterizePages},
        {QStringLiteral("monochrome"), options.monochrome},
    };
}

PdfDocument::CompressionOptions compressionOptionsFromJson(const QJsonObject& object)
{
    const PdfDocument::CompressionOptions defaults;
    PdfDocument::CompressionOptions options;
    options.imageDpi = intOr(object.value(QStringLiteral("imageDpi")), defaults.imageDpi);
    options.jpegQuality = intOr(object.value(QStringLiteral("jpegQuality")), defaults.jpegQuality);
    options.grayscale = boolOr(object.value(QStringLiteral("grayscale")), defaults.grayscale);
    options.recompressSmallImages =
        boolOr(object.value(QStringLiteral("recompressSmallImages")), defaults.recompressSmallImages);
    options.rasterizePages = boolOr(object.value(QStringLiteral("rasterizePages")), defaults.rasterizePages);
    options.monochrome = boolOr(object.value(QStringLiteral("monochrome")), defaults.monochrome);
    return options;
}

qint64 compressionByteCount(const QJsonValue& value)
{
    bool ok = false;
    const qint64 bytes = value.isString() ? value.toString().toLongLong(&ok, 10) : 0;
    return ok ? bytes : 0;
}

PdfDocument::CompressionOptions rasterCompressionOptions(int imageDpi, int jpegQuality, bool monochrome)
{
    PdfDocument::CompressionOptions options;
    options.imageDpi = imageDpi;
    options.jpegQuality = jpegQuality;
    options.grayscale = false;
    options.recompressSmallImages = true;
    options.rasterizePages = true;
    options.monochrome = monochrome;
    return options;
}
