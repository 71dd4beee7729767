// Compressed copies of the document and forecasts of their size.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"
#include "RasterPdfWriter.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace pdfengine;

namespace {

using Options = PdfDocument::CompressionOptions;

constexpr double kPointsPerInch = 72.0;

int clampedDpi(const Options& options)
{
    constexpr int kMinDpi = 36;
    constexpr int kMaxDpi = 600;
    return std::clamp(options.imageDpi, kMinDpi, kMaxDpi);
}

QString noDocumentText()
{
    return QStringLiteral("Нет открытого документа.");
}

QString noPagesText()
{
    return QStringLiteral("Документ не содержит страниц.");
}

QString fileErrorText(const QFileDevice& file, const QString& fallback)
{
    return file.error() != QFileDevice::NoError ? file.errorString() : fallback;
}

// Renders page pageIndex and lays it out exactly as the raster writer puts it
// into the file. encodeFailure (with %1 for the page number) names an empty
// encoder result.
bool rasterPageObjects(FPDF_DOCUMENT doc, int pageIndex, const Options& options, const QString& encodeFailure,
                       RasterPdfWriter::PageObjects* objects, QString* error)
{
    const PdfiumApi& api = pdfApi();
    const int pageNumber = pageIndex + 1;
    QSizeF points;
    QImage image;
    {
        PagePtr page(api.FPDF_LoadPage(doc, pageIndex));
        if (page) {
            points = QSizeF(api.FPDF_GetPageWidthF(page.get()), api.FPDF_GetPageHeightF(page.get()));
            image = renderLoadedPageImage(page.get(), clampedDpi(options) / kPointsPerInch);
        }
    }
    if (image.isNull()) {
        *error = QStringLiteral("Не удалось отрисовать страницу %1.").arg(pageNumber);
        return false;
    }
    const RasterPdfWriter::Picture picture =
        RasterPdfWriter::encodePicture(image, options.monochrome, options.jpegQuality, options.grayscale);
    if (picture.bytes.isEmpty()) {
        *error = encodeFailure.arg(pageNumber);
        return false;
    }
    *objects = RasterPdfWriter::pageObjects(pageIndex, points, picture);
    return true;
}

// The size of the file the rasterising writer makes: every page rendered and
// encoded for up to 20 pages, a sample of seven scaled up above that. The
// sampled flag is set before the first render.
qint64 estimatedRasterCompressedPdfSize(FPDF_DOCUMENT doc, const Options& options, bool* sampled, QString* error)
{
    QString reason;
    const int count = pdfApi().FPDF_GetPageCount(doc);
    if (count < 1) {
        if (error)
            *error = noPagesText();
        return -1;
    }
    const QList<int> sample = RasterPdfWriter::samplePages(count);
    if (sampled)
        *sampled = sample.size() != count;
    const QString encodeFailure = QStringLiteral("Не удалось оценить сжатие страницы %1.");
    qint64 sampleTotal = 0;
    for (int pageIndex : sample) {
        RasterPdfWriter::PageObjects objects;
        if (!rasterPageObjects(doc, pageIndex, options, encodeFailure, &objects, &reason)) {
            if (error)
                *error = reason;
            return -1;
        }
        sampleTotal += RasterPdfWriter::pageObjectsSize(pageIndex, objects);
    }
    return RasterPdfWriter::fileSize(count, RasterPdfWriter::extrapolatedTotal(sampleTotal, int(sample.size()), count));
}

// Pages rendered one at a time and written as they are encoded; the target is
// replaced only once the whole file is written.
bool writeRasterisedCopy(FPDF_DOCUMENT doc, const QString& path, const Options& options, QString* error)
{
    const QString failure = QStringLiteral("Не удалось сжать PDF.");
    const int count = pdfApi().FPDF_GetPageCount(doc);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = fileErrorText(file, failure);
        return false;
    }
    RasterPdfWriter writer(file, count);
    if (!writer.writeStart()) {
        *error = fileErrorText(file, failure);
        return false;
    }
    const QString encodeFailure = QStringLiteral("Не удалось сжать страницу %1.");
    for (int i = 0; i < count; ++i) {
        RasterPdfWriter::PageObjects objects;
        if (!rasterPageObjects(doc, i, options, encodeFailure, &objects, error))
            return false;
        if (!writer.writePage(i, objects)) {
            *error = fileErrorText(file, failure);
            return false;
        }
    }
    if (!writer.writeEnd() || !file.commit()) {
        *error = fileErrorText(file, failure);
        return false;
    }
    return true;
}

bool hasTranslucentPixel(FPDF_BITMAP bitmap)
{
    const PdfiumApi& api = pdfApi();
    const int format = api.FPDFBitmap_GetFormat(bitmap);
    if (format != pdfium::kBitmapBGRA && format != pdfium::kBitmapBGRAPremul)
        return false;
    const int width = api.FPDFBitmap_GetWidth(bitmap);
    const int height = api.FPDFBitmap_GetHeight(bitmap);
    const int stride = api.FPDFBitmap_GetStride(bitmap);
    const auto* buffer = static_cast<const uchar*>(api.FPDFBitmap_GetBuffer(bitmap));
    if (!buffer || stride < width * 4)
        return true;
    for (int y = 0; y < height; ++y) {
        const uchar* row = buffer + qint64(y) * stride;
        for (int x = 0; x < width; ++x) {
            if (row[x * 4 + 3] != 0xFF)
                return true;
        }
    }
    return false;
}

// Whether anything shows through the image: a soft mask, a stencil or
// colour-key mask, or transparency from the graphics state. A JPEG cannot carry
// any of them, so such images are left as they are. The image is drawn alone,
// unturned and at no more than kProbeSide pixels a side, and looked at for
// pixels that are not fully opaque; when that cannot be done the answer is yes.
bool imageShowsThrough(FPDF_DOCUMENT doc, FPDF_PAGE page, FPDF_PAGEOBJECT object, const FS_MATRIX& matrix)
{
    constexpr double kProbeSide = 1024;
    const PdfiumApi& api = pdfApi();
    if (api.FPDFPageObj_HasTransparency(object))
        return true;
    unsigned int width = 0;
    unsigned int height = 0;
    if (!api.FPDFImageObj_GetImagePixelSize(object, &width, &height) || width == 0 || height == 0)
        return true;
    const double shrink = std::min(1.0, kProbeSide / std::max(width, height));
    const FS_MATRIX probe{float(std::max(1.0, std::round(width * shrink))), 0, 0,
                          float(std::max(1.0, std::round(height * shrink))), 0, 0};
    if (!api.FPDFPageObj_SetMatrix(object, &probe))
        return true;
    BitmapPtr rendered(api.FPDFImageObj_GetRenderedBitmap(doc, page, object));
    api.FPDFPageObj_SetMatrix(object, &matrix);
    return !rendered || hasTranslucentPixel(rendered.get());
}

bool isGreySource(FPDF_PAGEOBJECT object, FPDF_PAGE page, const QImage& pixels)
{
    FPDF_IMAGEOBJ_METADATA metadata{};
    if (!pdfApi().FPDFImageObj_GetImageMetadata(object, page, &metadata))
        return false;
    switch (metadata.colorspace) {
    case pdfium::kColorSpaceDeviceGray:
    case pdfium::kColorSpaceCalGray:
        return true;
    case pdfium::kColorSpaceIccBased:
        // One component decodes to at most 8 bits a pixel; a palette of few
        // colours may too, so the pixels must also be grey.
        return metadata.bits_per_pixel >= 1 && metadata.bits_per_pixel <= 8 && pixels.allGray();
    default:
        return false;  // RGB, CMYK, Lab, indexed, Separation and DeviceN images are colour
    }
}

// The size the image is drawn at, in points along its own sides, so that a
// turned image or a turned page keeps its pixel density.
QSizeF placedSize(FPDF_PAGE page, FPDF_PAGEOBJECT object, const FS_MATRIX& matrix)
{
    const QSizeF sides(std::hypot(matrix.a, matrix.b), std::hypot(matrix.c, matrix.d));
    if (sides.width() > 0 && sides.height() > 0)
        return sides;
    return pageObjectBounds(object, pdfium::kPageObjImage).size();
}

QImage imageObjectPixels(FPDF_DOCUMENT doc, FPDF_PAGE page, FPDF_PAGEOBJECT object)
{
    BitmapPtr bitmap(pdfApi().FPDFImageObj_GetBitmap(object));
    if (!bitmap)
        bitmap.reset(pdfApi().FPDFImageObj_GetRenderedBitmap(doc, page, object));
    return qImageFromPdfiumBitmap(bitmap.get());
}

// Replaces one image by a JPEG at the target density (or at its own size when
// it has no more pixels than needed and recompressSmallImages is set). An image
// that cannot be read, measured, encoded or replaced is left as it was.
bool recompressImageObject(FPDF_DOCUMENT doc, FPDF_PAGE page, FPDF_PAGEOBJECT object, const Options& options)
{
    constexpr double kSmallestPlacedSide = 0.1;
    const PdfiumApi& api = pdfApi();
    FS_MATRIX matrix{};
    if (!api.FPDFPageObj_GetMatrix(object, &matrix))
        return false;
    const QSizeF placed = placedSize(page, object, matrix);
    if (placed.width() <= kSmallestPlacedSide || placed.height() <= kSmallestPlacedSide)
        return false;
    const int dpi = clampedDpi(options);
    const QSize target(std::max(1, int(std::ceil(placed.width() * dpi / kPointsPerInch))),
                       std::max(1, int(std::ceil(placed.height() * dpi / kPointsPerInch))));
    unsigned int width = 0;
    unsigned int height = 0;
    const bool knownSize = api.FPDFImageObj_GetImagePixelSize(object, &width, &height);
    if (knownSize && !options.recompressSmallImages && qint64(target.width()) >= qint64(width) &&
        qint64(target.height()) >= qint64(height))
        return false;
    if (imageShowsThrough(doc, page, object, matrix))
        return false;
    QImage image = imageObjectPixels(doc, page, object);
    if (image.isNull())
        return false;
    const bool grey = options.grayscale || isGreySource(object, page, image);
    if (target.width() < image.width() || target.height() < image.height())
        image = image.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    else if (!options.recompressSmallImages)
        return false;
    constexpr int kMinQuality = 1;
    constexpr int kMaxQuality = 100;
    QByteArray jpeg =
        RasterPdfWriter::imageToJpegBytes(image, std::clamp(options.jpegQuality, kMinQuality, kMaxQuality), grey);
    if (jpeg.isEmpty())
        return false;
    FPDF_FILEACCESS access{};
    access.m_FileLen = static_cast<unsigned long>(jpeg.size());
    access.m_GetBlock = &readByteArrayBlock;
    access.m_Param = &jpeg;
    FPDF_PAGE pages[] = {page};
    if (!api.FPDFImageObj_LoadJpegFileInline(pages, 1, object, &access))
        return false;
    api.FPDFPageObj_SetMatrix(object, &matrix);
    return true;
}

bool recompressPageImages(FPDF_DOCUMENT doc, FPDF_PAGE page, const Options& options)
{
    const PdfiumApi& api = pdfApi();
    bool changed = false;
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        if (object && api.FPDFPageObj_GetType(object) == pdfium::kPageObjImage &&
            recompressImageObject(doc, page, object, options))
            changed = true;
    }
    return changed;
}

// A new document holding all pages of source, and only what they refer to.
DocumentPtr importAllPages(FPDF_DOCUMENT source, QString* error)
{
    const PdfiumApi& api = pdfApi();
    DocumentPtr copy(api.FPDF_CreateNewDocument());
    if (!copy) {
        *error = pdfiumErrorString();
        return {};
    }
    const int count = api.FPDF_GetPageCount(source);
    QVector<int> indices(count);
    std::iota(indices.begin(), indices.end(), 0);
    if (!api.FPDF_ImportPagesByIndex(copy.get(), source, indices.constData(), static_cast<unsigned long>(count), 0)) {
        *error = pdfiumErrorString();
        return {};
    }
    return copy;
}

// The pages carried into a new document with their images re-encoded; text
// and vector content stay as they are.
bool writeRecompressedCopy(FPDF_DOCUMENT source, const QString& path, const Options& options, QString* error)
{
    const PdfiumApi& api = pdfApi();
    DocumentPtr copy = importAllPages(source, error);
    if (!copy)
        return false;
    const int count = api.FPDF_GetPageCount(copy.get());
    bool anyChanged = false;
    for (int i = 0; i < count; ++i) {
        PagePtr page(api.FPDF_LoadPage(copy.get(), i));
        if (!page) {
            *error = QStringLiteral("Не удалось открыть страницу %1 для сжатия.").arg(i + 1);
            return false;
        }
        if (!recompressPageImages(copy.get(), page.get(), options))
            continue;
        if (!api.FPDFPage_GenerateContent(page.get())) {
            *error = QStringLiteral("Не удалось обновить содержимое страницы %1.").arg(i + 1);
            return false;
        }
        anyChanged = true;
    }
    // pdfium saves every object it holds, the streams of replaced images too;
    // carried over once more, the pages take only what they still use.
    if (anyChanged) {
        copy = importAllPages(copy.get(), error);
        if (!copy)
            return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!writeDocument(copy.get(), file, pdfium::kSaveNoIncremental)) {
        *error = fileErrorText(file, pdfiumErrorString());
        return false;
    }
    if (!file.commit()) {
        *error = fileErrorText(file, QStringLiteral("Не удалось сжать PDF."));
        return false;
    }
    return true;
}

struct CompressionPreset {
    const char* label;
    int imageDpi;
    int jpegQuality;
    bool monochrome;
};

constexpr CompressionPreset kPresets[] = {
    {"рекомендуемое сжатие, 150 dpi", 150, 55, false},
    {"экстремальное сжатие, 72 dpi", 72, 28, false},
    {"монохром, 150 dpi", 150, 55, true},
    {"монохром, 72 dpi", 72, 35, true},
};

Options presetOptions(const CompressionPreset& preset)
{
    Options options;
    options.imageDpi = preset.imageDpi;
    options.jpegQuality = preset.jpegQuality;
    options.grayscale = false;
    options.recompressSmallImages = true;
    options.rasterizePages = true;
    options.monochrome = preset.monochrome;
    return options;
}

} // namespace

qint64 PdfDocument::estimateCompressedSize(const CompressionOptions& options, bool* sampled) const
{
    if (sampled)
        *sampled = false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc) {
        setLastError(noDocumentText());
        return -1;
    }
    if (!options.rasterizePages) {
        // Objects are kept: the file as it is on disk is the forecast.
        const qint64 size = m_filePath.isEmpty() ? 0 : QFileInfo(m_filePath).size();
        return size > 0 ? size : -1;
    }
    QString error;
    const qint64 size = estimatedRasterCompressedPdfSize(m_doc, options, sampled, &error);
    if (size < 0)
        setLastError(!error.isEmpty() ? error : QStringLiteral("Не удалось оценить размер PDF."));
    return size;
}

PdfDocument::CompressionEstimate PdfDocument::estimateMinimumCompressedSize() const
{
    CompressionEstimate best;
    for (const CompressionPreset& preset : kPresets) {
        const CompressionOptions options = presetOptions(preset);
        bool sampled = false;
        const qint64 bytes = estimateCompressedSize(options, &sampled);
        if (bytes > 0 && (best.bytes <= 0 || bytes < best.bytes)) {
            best.bytes = bytes;
            best.label = QString::fromUtf8(preset.label);
            best.options = options;
            best.sampled = sampled;
        }
    }
    return best;
}

bool PdfDocument::compressTo(const QString& path, const CompressionOptions& options) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc) {
        setLastError(noDocumentText());
        return false;
    }
    if (pdfApi().FPDF_GetPageCount(m_doc) < 1) {
        setLastError(noPagesText());
        return false;
    }
    if (sameFile(path, m_filePath)) {
        setLastError(ownFileTargetText());
        return false;
    }
    QString error;
    const bool written = options.rasterizePages ? writeRasterisedCopy(m_doc, path, options, &error)
                                                : writeRecompressedCopy(m_doc, path, options, &error);
    if (!written)
        setLastError(error);
    return written;
}
