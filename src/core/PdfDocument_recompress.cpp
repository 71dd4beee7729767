// The object-keeping compressed copy: the document as it is, with its
// pictures re-encoded in place. pdfium cannot replace an image's stream
// without a new object and a rewritten page content, so pdfium only decodes
// and renders the pictures here; the file itself is rewritten object by
// object, the outline, forms, metadata and links untouched.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"
#include "PdfObjectFile.h"
#include "RasterPdfWriter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <functional>

namespace pdfengine {

namespace {

using Options = PdfDocument::CompressionOptions;
using ImageVisitor = std::function<void(FPDF_PAGEOBJECT image, const QTransform& toPage)>;

constexpr double kPointsPerInch = 72.0;
constexpr int kMaxFormDepth = 16;
constexpr double kSmallestPlacedSide = 0.1;

QTransform transformOf(FPDF_PAGEOBJECT object)
{
    FS_MATRIX m{};
    if (!pdfApi().FPDFPageObj_GetMatrix(object, &m))
        return {};
    return QTransform(m.a, m.b, m.c, m.d, m.e, m.f);
}

void visitObject(FPDF_PAGEOBJECT object, const QTransform& outer, int depth, const ImageVisitor& visit)
{
    const PdfiumApi& api = pdfApi();
    const int type = api.FPDFPageObj_GetType(object);
    if (type == pdfium::kPageObjImage) {
        visit(object, transformOf(object) * outer);
    } else if (type == pdfium::kPageObjForm && depth < kMaxFormDepth) {
        const QTransform inner = transformOf(object) * outer;
        const int count = api.FPDFFormObj_CountObjects(object);
        for (int i = 0; i < count; ++i) {
            if (FPDF_PAGEOBJECT child = api.FPDFFormObj_GetObject(object, static_cast<unsigned long>(i)))
                visitObject(child, inner, depth + 1, visit);
        }
    }
}

// Every image the page draws, those inside form XObjects included.
void forEachImage(FPDF_PAGE page, const ImageVisitor& visit)
{
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        if (FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i))
            visitObject(object, QTransform(), 0, visit);
    }
}

QByteArray rawImageDigest(FPDF_PAGEOBJECT image)
{
    const PdfiumApi& api = pdfApi();
    const unsigned long length = api.FPDFImageObj_GetImageDataRaw(image, nullptr, 0);
    if (length == 0 || qint64(length) > PdfDocument::kMaxFileBytes)
        return {};
    QByteArray data(qsizetype(length), Qt::Uninitialized);
    if (api.FPDFImageObj_GetImageDataRaw(image, data.data(), length) != length)
        return {};
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

// The image drawn alone at exactly size pixels, with its own mask as alpha.
QImage renderedAt(FPDF_DOCUMENT doc, FPDF_PAGE page, FPDF_PAGEOBJECT image, const QSize& size)
{
    const PdfiumApi& api = pdfApi();
    FS_MATRIX placed{};
    if (!api.FPDFPageObj_GetMatrix(image, &placed))
        return {};
    const FS_MATRIX unit{float(size.width()), 0, 0, float(size.height()), 0, 0};
    if (!api.FPDFPageObj_SetMatrix(image, &unit))
        return {};
    BitmapPtr bitmap(api.FPDFImageObj_GetRenderedBitmap(doc, page, image));
    api.FPDFPageObj_SetMatrix(image, &placed);
    QImage pixels = qImageFromPdfiumBitmap(bitmap.get());
    if (pixels.size() != size)
        return {};
    return pixels.convertToFormat(QImage::Format_ARGB32);
}

bool allGrey(const QImage& argb)
{
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qRed(line[x]) != qGreen(line[x]) || qGreen(line[x]) != qBlue(line[x]))
                return false;
        }
    }
    return true;
}

// The alpha channel as an 8-bit grey picture; null when every pixel is opaque.
QImage alphaOf(const QImage& argb)
{
    QImage alpha(argb.size(), QImage::Format_Grayscale8);
    if (alpha.isNull())
        return {};
    bool translucent = false;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* out = alpha.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            out[x] = uchar(qAlpha(line[x]));
            translucent = translucent || out[x] != 0xFF;
        }
    }
    return translucent ? alpha : QImage();
}

QByteArray flateBytes(const QImage& grey)
{
    constexpr int kZlibLevel = 9;
    constexpr int kQtLengthPrefix = 4;
    QByteArray rows;
    rows.reserve(qsizetype(grey.width()) * grey.height());
    for (int y = 0; y < grey.height(); ++y)
        rows.append(reinterpret_cast<const char*>(grey.constScanLine(y)), grey.width());
    const QByteArray compressed = qCompress(rows, kZlibLevel);
    return compressed.size() > kQtLengthPrefix ? compressed.mid(kQtLengthPrefix) : QByteArray();
}

QByteArray streamBody(const QByteArray& entries, const QByteArray& data)
{
    return "<< " + entries + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

QByteArray imageEntries(const QSize& size, const QByteArray& colourSpace, const QByteArray& filter)
{
    return "/Type /XObject /Subtype /Image /Width " + QByteArray::number(size.width()) + " /Height " +
           QByteArray::number(size.height()) + " /ColorSpace " + colourSpace + " /BitsPerComponent 8 /Filter " + filter;
}

// One image XObject of the file and the largest size the pages draw it at.
struct Picture {
    QHash<QByteArray, QByteArray> entries;
    QSizeF largestPlaced;
    bool done = false;
};

class Recompressor {
public:
    Recompressor(const PdfObjectFile& file, const Options& options)
        : m_file(file)
        , m_options(options)
        , m_nextNumber(file.nextFreeNumber())
    {
        indexPictures();
    }

    // Walks the pages of doc (loaded from the file's bytes) twice: first to
    // learn how large each picture is drawn, then to re-encode it.
    bool run(FPDF_DOCUMENT doc, QString* error)
    {
        if (m_byDigest.isEmpty())
            return true;  // no picture to re-encode: the pages need not be read
        const PdfiumApi& api = pdfApi();
        const int count = api.FPDF_GetPageCount(doc);
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < count; ++i) {
                PagePtr page(api.FPDF_LoadPage(doc, i));
                if (!page) {
                    *error = QStringLiteral("Не удалось открыть страницу %1 для сжатия.").arg(i + 1);
                    return false;
                }
                forEachImage(page.get(), [&](FPDF_PAGEOBJECT image, const QTransform& toPage) {
                    if (pass == 0)
                        measure(image, toPage);
                    else
                        reencode(doc, page.get(), image);
                });
            }
        }
        return true;
    }

    const QMap<int, QByteArray>& replaced() const { return m_replaced; }

    // Streams stored without any filter (page contents of some producers)
    // are Flate-compressed when that saves a tenth or more.
    void compressPlainStreams()
    {
        constexpr int kZlibLevel = 9;
        constexpr int kQtLengthPrefix = 4;
        constexpr qint64 kSmallestWorthIt = 256;
        const auto& objects = m_file.objects();
        for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
            if (it->dataStart < 0 || it->dataLength < kSmallestWorthIt || m_replaced.contains(it.key()))
                continue;
            QHash<QByteArray, QByteArray> entries = PdfObjectFile::dictionaryEntries(m_file.valueText(it.key()));
            if (entries.isEmpty() || entries.contains("/Filter") || entries.contains("/DecodeParms") ||
                entries.value("/Type") == "/Metadata")
                continue;
            const QByteArray packed = qCompress(m_file.streamData(it.key()), kZlibLevel).mid(kQtLengthPrefix);
            if (packed.isEmpty() || packed.size() * 10 > it->dataLength * 9)
                continue;
            entries.remove("/Length");
            QByteArray kept = "/Filter /FlateDecode";
            for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry)
                kept += ' ' + entry.key() + ' ' + entry.value();
            m_replaced.insert(it.key(), streamBody(kept, packed));
        }
    }

private:
    void indexPictures()
    {
        const auto& objects = m_file.objects();
        for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
            if (it->dataStart < 0)
                continue;
            QHash<QByteArray, QByteArray> entries = PdfObjectFile::dictionaryEntries(m_file.valueText(it.key()));
            if (entries.value("/Subtype") != "/Image" || entries.value("/ImageMask").trimmed() == "true")
                continue;
            const QByteArray digest = QCryptographicHash::hash(m_file.streamData(it.key()), QCryptographicHash::Sha1);
            m_byDigest[digest].append(it.key());
            m_pictures[it.key()].entries = std::move(entries);
        }
        // pdfium tells a picture by its data alone: equal data under different
        // dictionaries (a mask on one of them) cannot be told apart, so it is kept.
        for (auto it = m_byDigest.begin(); it != m_byDigest.end();) {
            const QList<int>& numbers = it.value();
            const bool alike = std::all_of(numbers.cbegin(), numbers.cend(), [&](int number) {
                return m_file.valueText(number) == m_file.valueText(numbers.first());
            });
            it = alike ? std::next(it) : m_byDigest.erase(it);
        }
    }

    QList<int> numbersOf(FPDF_PAGEOBJECT image) const
    {
        const QByteArray digest = rawImageDigest(image);
        return digest.isEmpty() ? QList<int>() : m_byDigest.value(digest);
    }

    void measure(FPDF_PAGEOBJECT image, const QTransform& toPage)
    {
        const QSizeF sides(std::hypot(toPage.m11(), toPage.m12()), std::hypot(toPage.m21(), toPage.m22()));
        for (int number : numbersOf(image)) {
            QSizeF& largest = m_pictures[number].largestPlaced;
            largest = largest.expandedTo(sides);
        }
    }

    void reencode(FPDF_DOCUMENT doc, FPDF_PAGE page, FPDF_PAGEOBJECT image)
    {
        const QList<int> numbers = numbersOf(image);
        if (numbers.isEmpty() || m_pictures[numbers.first()].done)
            return;
        for (int number : numbers)
            m_pictures[number].done = true;
        if (pdfApi().FPDFPageObj_HasTransparency(image))
            return;  // a constant alpha or blend mode of the drawing, not of the picture
        const Picture& picture = m_pictures[numbers.first()];
        const QSize size = targetSize(image, picture.largestPlaced);
        if (size.isEmpty())
            return;
        const QImage pixels = renderedAt(doc, page, image, size);
        if (pixels.isNull())
            return;
        const bool masked = picture.entries.contains("/SMask") || picture.entries.contains("/Mask");
        const QImage alpha = alphaOf(pixels);
        if (!alpha.isNull() && !masked)
            return;  // drawn with something the picture alone does not say
        const bool grey = m_options.grayscale || allGrey(pixels);
        constexpr int kMinQuality = 1;
        constexpr int kMaxQuality = 100;
        const QByteArray jpeg = RasterPdfWriter::imageToJpegBytes(
            pixels.convertToFormat(QImage::Format_RGB32),
            std::clamp(m_options.jpegQuality, kMinQuality, kMaxQuality), grey);
        const QByteArray mask = alpha.isNull() ? QByteArray() : flateBytes(alpha);
        if (jpeg.isEmpty() || (!alpha.isNull() && mask.isEmpty()))
            return;
        // A picture that would not get smaller keeps its own stream.
        if (jpeg.size() + mask.size() >= storedSize(numbers.first(), picture))
            return;
        QByteArray entries = imageEntries(size, grey ? "/DeviceGray" : "/DeviceRGB", "/DCTDecode");
        for (const char* kept : {"/OC", "/Interpolate", "/StructParent", "/Intent"}) {
            if (picture.entries.contains(kept))
                entries += ' ' + QByteArray(kept) + ' ' + picture.entries.value(kept);
        }
        if (!mask.isEmpty()) {
            const int maskNumber = m_nextNumber++;
            m_replaced.insert(maskNumber, streamBody(imageEntries(size, "/DeviceGray", "/FlateDecode"), mask));
            entries += " /SMask " + QByteArray::number(maskNumber) + " 0 R";
        }
        const QByteArray body = streamBody(entries, jpeg);
        for (int number : numbers)
            m_replaced.insert(number, body);
    }

    // The pixels the picture gets: its own when it has no more than the
    // target density needs (or none, when such pictures are kept), else
    // fewer at its aspect ratio.
    QSize targetSize(FPDF_PAGEOBJECT image, const QSizeF& placed) const
    {
        unsigned int width = 0;
        unsigned int height = 0;
        if (!pdfApi().FPDFImageObj_GetImagePixelSize(image, &width, &height) || width == 0 || height == 0 ||
            !fitsRenderBudget(width, height))
            return {};
        if (placed.width() <= kSmallestPlacedSide || placed.height() <= kSmallestPlacedSide)
            return {};
        constexpr int kMinDpi = 36;
        constexpr int kMaxDpi = 600;
        const double dpi = std::clamp(m_options.imageDpi, kMinDpi, kMaxDpi);
        const QSize target(std::max(1, int(std::ceil(std::min(placed.width() * dpi / kPointsPerInch, 1e6)))),
                           std::max(1, int(std::ceil(std::min(placed.height() * dpi / kPointsPerInch, 1e6)))));
        const QSize own{int(width), int(height)};
        if (target.width() >= own.width() && target.height() >= own.height())
            return m_options.recompressSmallImages ? own : QSize();
        return own.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    }

    // Bytes of the stored picture and of the mask stream it names.
    qint64 storedSize(int number, const Picture& picture) const
    {
        qint64 size = m_file.objects().value(number).dataLength;
        for (const char* key : {"/SMask", "/Mask"}) {
            if (const int mask = PdfObjectFile::referenceNumber(picture.entries.value(key)))
                size += m_file.objects().value(mask).dataLength;
        }
        return size;
    }

    const PdfObjectFile& m_file;
    const Options m_options;
    int m_nextNumber;
    QHash<QByteArray, QList<int>> m_byDigest;
    QHash<int, Picture> m_pictures;
    QMap<int, QByteArray> m_replaced;
};

} // namespace

QByteArray objectKeepingCopy(FPDF_DOCUMENT doc, const QByteArray& unchangedSource,
                             const PdfDocument::CompressionOptions& options, QString* error)
{
    // The file as read is rewritten when its syntax allows, so its objects stay
    // as they are and no second copy is held; else pdfium's complete save.
    QByteArray base = unchangedSource;
    PdfObjectFile file;
    if (base.isEmpty() || !file.parse(base)) {
        QBuffer saved;
        saved.open(QIODevice::WriteOnly);
        if (!writeDocument(doc, saved, pdfium::kSaveNoIncremental)) {
            *error = pdfiumErrorString();
            return {};
        }
        base = saved.data();
        if (!file.parse(base))
            return unchangedSource.isEmpty() ? base : unchangedSource;  // encrypted: nothing is gained
    }
    const QByteArray& source = unchangedSource.isEmpty() ? base : unchangedSource;
    DocumentPtr scratch(pdfApi().FPDF_LoadMemDocument64(base.constData(), size_t(base.size()), nullptr));
    if (!scratch) {
        *error = pdfiumErrorString();
        return {};
    }
    Recompressor recompressor(file, options);
    if (!recompressor.run(scratch.get(), error))
        return {};
    scratch.reset();
    recompressor.compressPlainStreams();
    const QByteArray rewritten = file.rewritten(recompressor.replaced());
    // No file grows by compression, and a rewrite pdfium does not read back
    // with every page is not used.
    if (rewritten.size() >= source.size())
        return source;
    DocumentPtr check(pdfApi().FPDF_LoadMemDocument64(rewritten.constData(), size_t(rewritten.size()), nullptr));
    if (!check || pdfApi().FPDF_GetPageCount(check.get()) != pdfApi().FPDF_GetPageCount(doc))
        return source;
    return rewritten;
}

} // namespace pdfengine
