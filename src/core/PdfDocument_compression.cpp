// Compressed copies of the document and forecasts of their size.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"
#include "RasterPage.h"
#include "RasterPdfWriter.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>

using namespace pdfengine;

namespace {

using Options = PdfDocument::CompressionOptions;

constexpr double kPointsPerInch = 72.0;

QString noDocumentText()
{
    return QStringLiteral("Нет открытого документа.");
}

// The size of page pageIndex in points, A4 when pdfium cannot tell.
QSizeF pagePoints(FPDF_DOCUMENT doc, int pageIndex)
{
    FS_SIZEF size{};
    if (pdfApi().FPDF_GetPageSizeByIndexF(doc, pageIndex, &size) && size.width > 0 && size.height > 0)
        return QSizeF(size.width, size.height);
    return QSizeF(595, 842);
}

// Lays a rendered page out exactly as the raster writer puts it into the
// file. encodeFailure (with %1 for the page number) names an empty encoder
// result.
bool rasterPageObjects(const RasterPage& page, const Options& options, const QString& encodeFailure,
                       RasterPdfWriter::PageObjects* objects, QString* error)
{
    const RasterPdfWriter::Picture picture =
        RasterPdfWriter::encodePicture(page.image, options.monochrome, options.jpegQuality, options.grayscale);
    if (picture.bytes.isEmpty()) {
        *error = encodeFailure.arg(page.pageIndex + 1);
        return false;
    }
    *objects = RasterPdfWriter::pageObjects(page.pageIndex, page.points, picture);
    return true;
}

bool isOpaque(const QImage& argb)
{
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) != 0xFF)
                return false;
        }
    }
    return true;
}

// How much a page holds, as its pictures' stored bytes and a share per
// object: what the sample is stratified by.
qint64 pageContentWeight(FPDF_DOCUMENT doc, int pageIndex)
{
    constexpr qint64 kBytesPerObject = 32;
    const PdfiumApi& api = pdfApi();
    PagePtr page(api.FPDF_LoadPage(doc, pageIndex));
    if (!page)
        return 0;
    qint64 weight = 0;
    const int count = api.FPDFPage_CountObjects(page.get());
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page.get(), i);
        weight += kBytesPerObject;
        if (object && api.FPDFPageObj_GetType(object) == pdfium::kPageObjImage)
            weight += qint64(api.FPDFImageObj_GetImageDataRaw(object, nullptr, 0));
        else if (object && api.FPDFPageObj_GetType(object) == pdfium::kPageObjForm)
            weight += kBytesPerObject * api.FPDFFormObj_CountObjects(object);
    }
    return weight;
}

} // namespace

namespace pdfengine {

RasterPage renderRasterPage(FPDF_DOCUMENT doc, int pageIndex, int imageDpi)
{
    PagePtr page(pdfApi().FPDF_LoadPage(doc, pageIndex));
    return renderRasterPage(doc, page.get(), pageIndex, imageDpi);
}

RasterPage renderRasterPage(FPDF_DOCUMENT doc, FPDF_PAGE page, int pageIndex, int imageDpi)
{
    constexpr int kMinDpi = 36;
    constexpr int kMaxDpi = 600;
    const PdfiumApi& api = pdfApi();
    RasterPage result;
    result.pageIndex = pageIndex;
    result.points = pagePoints(doc, pageIndex);
    if (page) {
        result.points = QSizeF(api.FPDF_GetPageWidthF(page), api.FPDF_GetPageHeightF(page));
        result.image = renderLoadedPageImage(page, std::clamp(imageDpi, kMinDpi, kMaxDpi) / kPointsPerInch);
    }
    result.rendered = !result.image.isNull();
    // A page drawn on white is opaque: as such the encoders take it as it is,
    // with no flattening onto white for every picture made from it.
    if (result.rendered && isOpaque(result.image))
        result.image.reinterpretAsFormat(QImage::Format_RGB32);
    if (!result.rendered) {
        result.image = QImage(1, 1, QImage::Format_RGB32);
        result.image.fill(Qt::white);
    }
    return result;
}

QList<RasterPdfWriter::SampledPage> rasterForecastSample(FPDF_DOCUMENT doc)
{
    const int count = std::max(0, pdfApi().FPDF_GetPageCount(doc));
    QList<qint64> weights(count, 0);
    if (count > RasterPdfWriter::kLargestFullForecast) {
        for (int i = 0; i < count; ++i)
            weights[i] = pageContentWeight(doc, i);
    }
    return RasterPdfWriter::stratifiedSample(weights);
}

} // namespace pdfengine

namespace {

// The size of the file the rasterising writer makes: every page rendered and
// encoded for up to 20 pages, a sample stratified by content above that. The
// sampled flag is set before the first render. Pages that cannot be rendered
// are counted as the white pages the writer puts in their place and listed
// in *unrendered.
qint64 estimatedRasterCompressedPdfSize(FPDF_DOCUMENT doc, const Options& options, bool* sampled,
                                        QList<int>* unrendered, QString* error)
{
    const int count = pdfApi().FPDF_GetPageCount(doc);
    if (count < 1) {
        *error = noPagesText();
        return -1;
    }
    const QList<RasterPdfWriter::SampledPage> sample = rasterForecastSample(doc);
    if (sampled)
        *sampled = sample.size() != count;
    const QString encodeFailure = QStringLiteral("Не удалось оценить сжатие страницы %1.");
    qint64 total = 0;
    for (const RasterPdfWriter::SampledPage& page : sample) {
        const RasterPage rendered = renderRasterPage(doc, page.pageIndex, options.imageDpi);
        RasterPdfWriter::PageObjects objects;
        if (!rasterPageObjects(rendered, options, encodeFailure, &objects, error))
            return -1;
        if (!rendered.rendered)
            unrendered->append(page.pageIndex + 1);
        total += page.represents * RasterPdfWriter::pageObjectsSize(page.pageIndex, objects);
    }
    if (unrendered->size() == sample.size()) {
        *error = unrenderedPagesText(*unrendered, int(unrendered->size()));
        return -1;
    }
    return RasterPdfWriter::fileSize(count, total);
}

// Asks the caller's progress whether to go on; a cancel leaves its reason.
bool goOn(const PdfDocument::CompressionProgress& progress, int done, int total, QString* error)
{
    if (!progress || progress(done, total))
        return true;
    *error = QStringLiteral("Сжатие отменено.");
    return false;
}

// Pages rendered one at a time and written as they are encoded; the target is
// replaced only once the whole file is written and flushed.
bool writeRasterisedCopy(FPDF_DOCUMENT doc, const QString& path, const Options& options, QList<int>* unrendered,
                         const PdfDocument::CompressionProgress& progress, QString* error)
{
    const int count = pdfApi().FPDF_GetPageCount(doc);
    const auto write = [&](QIODevice& out) {
        RasterPdfWriter writer(out, count);
        if (!writer.writeStart())
            return false;
        const QString encodeFailure = QStringLiteral("Не удалось сжать страницу %1.");
        for (int i = 0; i < count; ++i) {
            if (!goOn(progress, i, count, error))
                return false;
            const RasterPage rendered = renderRasterPage(doc, i, options.imageDpi);
            RasterPdfWriter::PageObjects objects;
            if (!rasterPageObjects(rendered, options, encodeFailure, &objects, error))
                return false;
            if (!rendered.rendered)
                unrendered->append(i + 1);
            if (!writer.writePage(i, objects))
                return false;
        }
        if (unrendered->size() == count) {
            *error = unrenderedPagesText(*unrendered, count);
            return false;  // nothing worth a file
        }
        return writer.writeEnd() && goOn(progress, count, count, error);
    };
    return replaceFileWith(path, write, error);
}

struct CompressionPreset {
    const char* label;
    int imageDpi;
    int jpegQuality;
    bool monochrome;
    bool rasterizePages;
};

// The object-keeping copies come first: at an equal size the text stays text.
constexpr CompressionPreset kPresets[] = {
    {"сжатие изображений с сохранением текста, 150 dpi", 150, 55, false, false},
    {"сжатие изображений с сохранением текста, 72 dpi", 72, 28, false, false},
    {"рекомендуемое сжатие, 150 dpi", 150, 55, false, true},
    {"экстремальное сжатие, 72 dpi", 72, 28, false, true},
    {"монохром, 150 dpi", 150, 55, true, true},
    {"монохром, 72 dpi", 72, 35, true, true},
};

Options presetOptions(const CompressionPreset& preset)
{
    Options options;
    options.imageDpi = preset.imageDpi;
    options.jpegQuality = preset.jpegQuality;
    options.grayscale = false;
    options.recompressSmallImages = true;
    options.rasterizePages = preset.rasterizePages;
    options.monochrome = preset.monochrome;
    return options;
}

} // namespace

QByteArray PdfDocument::objectKeepingCopyUnlocked(const CompressionOptions& options, QString* error) const
{
    QByteArray saved;
    QString unsaved;
    const DocumentPtr copy = savedCopyUnlocked(&saved, &unsaved);
    // Bytes that do not serialise (a damaged file) leave pdfium's own document.
    return objectKeepingCopy(copy ? copy.get() : m_doc.load(), m_modified ? QByteArray() : m_fileBytes, options, error);
}

qint64 PdfDocument::estimateCompressedSize(const CompressionOptions& options, bool* sampled) const
{
    if (sampled)
        *sampled = false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc) {
        setLastError(noDocumentText());
        return -1;
    }
    if (pdfApi().FPDF_GetPageCount(m_doc) < 1) {
        setLastError(noPagesText());
        return -1;
    }
    QString error;
    if (!options.rasterizePages) {
        // The copy is made in memory: the forecast is its size to the byte.
        const QByteArray copy = objectKeepingCopyUnlocked(options, &error);
        if (copy.isEmpty())
            setLastError(!error.isEmpty() ? error : QStringLiteral("Не удалось оценить размер PDF."));
        return copy.isEmpty() ? -1 : copy.size();
    }
    QList<int> unrendered;
    const qint64 size = estimatedRasterCompressedPdfSize(m_doc, options, sampled, &unrendered, &error);
    if (size < 0)
        setLastError(!error.isEmpty() ? error : QStringLiteral("Не удалось оценить размер PDF."));
    else if (!unrendered.isEmpty())
        setLastError(unrenderedPagesText(unrendered, pdfApi().FPDF_GetPageCount(m_doc)));
    return size;
}

PdfDocument::CompressionEstimate PdfDocument::estimateMinimumCompressedSize() const
{
    qint64 sourceSize = -1;
    {
        QMutexLocker lock(&m_mutex);
        if (m_doc && !m_modified && !m_fileBytes.isEmpty()) {
            sourceSize = m_fileBytes.size();
        } else if (m_doc) {
            QBuffer saved;
            saved.open(QIODevice::WriteOnly);
            if (writeDocument(m_doc, saved, pdfium::kSaveNoIncremental))
                sourceSize = saved.size();
        }
    }
    CompressionEstimate best;
    for (const CompressionPreset& preset : kPresets) {
        const CompressionOptions options = presetOptions(preset);
        bool sampled = false;
        const qint64 bytes = estimateCompressedSize(options, &sampled);
        // A copy larger than the source is never the smallest on offer.
        if (bytes <= 0 || (sourceSize > 0 && bytes > sourceSize))
            continue;
        if (best.bytes <= 0 || bytes < best.bytes) {
            best.bytes = bytes;
            best.label = QString::fromUtf8(preset.label);
            best.options = options;
            best.sampled = sampled;
        }
    }
    return best;
}

bool PdfDocument::compressTo(const QString& path, const CompressionOptions& options,
                             const CompressionProgress& progress) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc) {
        setLastError(noDocumentText());
        return false;
    }
    const int count = pdfApi().FPDF_GetPageCount(m_doc);
    if (count < 1) {
        setLastError(noPagesText());
        return false;
    }
    if (sameFile(path, m_filePath)) {
        setLastError(ownFileTargetText());
        return false;
    }
    QString error;
    if (options.rasterizePages) {
        QList<int> unrendered;
        if (!writeRasterisedCopy(m_doc, path, options, &unrendered, progress, &error)) {
            setLastError(!error.isEmpty() ? error : QStringLiteral("Не удалось сжать PDF."));
            return false;
        }
        // The file is written, with white pages in place of those named.
        if (!unrendered.isEmpty()) {
            setLastError(unrenderedPagesText(unrendered, count));
            return false;
        }
        return true;
    }
    if (!goOn(progress, 0, 1, &error)) {
        setLastError(error);
        return false;
    }
    QByteArray copy = objectKeepingCopyUnlocked(options, &error);
    if (copy.isEmpty() || !goOn(progress, 1, 1, &error)) {
        setLastError(!error.isEmpty() ? error : QStringLiteral("Не удалось сжать PDF."));
        return false;
    }
    // The copy is read back as a save is, its pictures aside.
    if (!readsBackUnlocked(copy, {}, WrittenCopy::PicturesReencoded))
        return false;
    if (!replaceFileWith(path, [&copy](QIODevice& out) { return out.write(copy) == copy.size(); }, &error)) {
        setLastError(!error.isEmpty() ? error : QStringLiteral("Не удалось сжать PDF."));
        return false;
    }
    return true;
}
