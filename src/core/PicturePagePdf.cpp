#include "PicturePagePdf.h"

#include "PageOwnContent.h"
#include "PdfEngineInternal.h"
#include "RasterPdfWriter.h"
#include "ScanEngine.h"

#include <QBuffer>

#include <algorithm>
#include <iterator>
#include <vector>

#include <zlib.h>

namespace pdfengine {

namespace {

// Deflates rows handed in one by one into a growing buffer.
class FlateRows {
public:
    // The fastest level: on a 70-megapixel scan it takes a third of the
    // default level's time for a file about a third larger.
    FlateRows() { m_initialised = deflateInit(&m_stream, Z_BEST_SPEED) == Z_OK; }
    ~FlateRows()
    {
        if (m_initialised)
            deflateEnd(&m_stream);
    }
    FlateRows(const FlateRows&) = delete;
    FlateRows& operator=(const FlateRows&) = delete;

    bool add(const uchar* data, qsizetype size) { return run(data, size, Z_NO_FLUSH); }
    // The compressed bytes, or empty on failure.
    QByteArray finish()
    {
        if (!run(nullptr, 0, Z_FINISH))
            return {};
        return std::move(m_out);
    }

private:
    bool run(const uchar* data, qsizetype size, int flush)
    {
        if (!m_initialised || m_failed)
            return false;
        constexpr int kChunk = 64 * 1024;
        m_stream.next_in = const_cast<Bytef*>(data);
        m_stream.avail_in = uInt(size);
        int result = Z_OK;
        do {
            const qsizetype before = m_out.size();
            m_out.resize(before + kChunk);
            m_stream.next_out = reinterpret_cast<Bytef*>(m_out.data() + before);
            m_stream.avail_out = kChunk;
            result = deflate(&m_stream, flush);
            m_out.resize(before + kChunk - m_stream.avail_out);
            if (result == Z_STREAM_ERROR) {
                m_failed = true;
                return false;
            }
        } while (m_stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        return true;
    }

    z_stream m_stream{};
    QByteArray m_out;
    bool m_initialised = false;
    bool m_failed = false;
};

// Each row goes in PNG-filtered ("Up": the difference to the row above), which
// leaves the even paper and flat areas of scans as runs of zeros.
class FilteredRows {
public:
    FilteredRows(int rowBytes) : m_previous(size_t(rowBytes), 0), m_row(size_t(rowBytes) + 1, 0) {}
    bool add(const uchar* row)
    {
        m_row[0] = kPngUp;
        for (size_t i = 0; i < m_previous.size(); ++i) {
            m_row[i + 1] = uchar(row[i] - m_previous[i]);
            m_previous[i] = row[i];
        }
        return m_flate.add(m_row.data(), qsizetype(m_row.size()));
    }
    QByteArray finish() { return m_flate.finish(); }

private:
    static constexpr uchar kPngUp = 2;
    std::vector<uchar> m_previous;
    std::vector<uchar> m_row;
    FlateRows m_flate;
};

// The picture's samples as the page stores them.
struct Planes {
    QByteArray colour;  // compressed samples
    QByteArray alpha;   // empty when the picture is opaque
    int channels = 3;   // 1 grey, 3 RGB
    int bits = 8;       // 1 for a black-and-white picture
};

// One bit a pixel, 1 for white, rows padded to whole bytes.
bool compressBits(const QImage& grey, Planes& planes)
{
    const int width = grey.width();
    FilteredRows rows((width + 7) / 8);
    std::vector<uchar> packed(size_t(width + 7) / 8);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        std::fill(packed.begin(), packed.end(), uchar(0));
        for (int x = 0; x < width; ++x) {
            if (line[x])
                packed[size_t(x) / 8] |= uchar(0x80 >> (x % 8));
        }
        if (!rows.add(packed.data()))
            return false;
    }
    planes.channels = 1;
    planes.bits = 1;
    planes.colour = rows.finish();
    return !planes.colour.isEmpty();
}

bool compressPlanes(const QImage& source, Planes& planes)
{
    const ImageObjectPixels pixels = pixelsForImageObject(source);
    const QImage& image = pixels.image;
    if (image.isNull())
        return false;
    const bool grey = pixels.format == pdfium::kBitmapGray;
    if (grey && isBlackAndWhite(image))
        return compressBits(image, planes);
    planes.channels = grey ? 1 : 3;
    const bool withAlpha = pixels.format == pdfium::kBitmapBGRA;
    const int width = image.width();
    FilteredRows colour(grey ? width : width * 3);
    FilteredRows alpha(withAlpha ? width : 0);
    std::vector<uchar> rgbRow(grey ? 0 : size_t(width) * 3);
    std::vector<uchar> alphaRow(withAlpha ? size_t(width) : 0);
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        if (grey) {
            if (!colour.add(line))
                return false;
            continue;
        }
        const auto* argb = reinterpret_cast<const QRgb*>(line);
        for (int x = 0; x < width; ++x) {
            rgbRow[size_t(x) * 3] = uchar(qRed(argb[x]));
            rgbRow[size_t(x) * 3 + 1] = uchar(qGreen(argb[x]));
            rgbRow[size_t(x) * 3 + 2] = uchar(qBlue(argb[x]));
            if (withAlpha)
                alphaRow[size_t(x)] = uchar(qAlpha(argb[x]));
        }
        if (!colour.add(rgbRow.data()) || (withAlpha && !alpha.add(alphaRow.data())))
            return false;
    }
    planes.colour = colour.finish();
    if (withAlpha)
        planes.alpha = alpha.finish();
    return !planes.colour.isEmpty() && (!withAlpha || !planes.alpha.isEmpty());
}

QByteArray colourSpace(int channels)
{
    return channels == 1 ? "/DeviceGray" : "/DeviceRGB";
}

QByteArray imageBody(const QSize& size, const QByteArray& coding, const QByteArray& data, int maskObject)
{
    QByteArray body = "<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(size.width()) + " /Height " +
                      QByteArray::number(size.height()) + ' ' + coding + " /Length " + QByteArray::number(data.size());
    if (maskObject > 0)
        body += " /SMask " + QByteArray::number(maskObject) + " 0 R";
    body.reserve(body.size() + data.size() + 32);
    body += " >>\nstream\n";
    body += data;
    body += "\nendstream";
    return body;
}

// Flate-coded samples with the predictor the rows were filtered with.
QByteArray flateCoding(const QSize& size, int channels, int bits)
{
    const QByteArray colours = QByteArray::number(channels);
    const QByteArray depth = QByteArray::number(bits);
    return "/ColorSpace " + colourSpace(channels) + " /BitsPerComponent " + depth +
           " /Filter /FlateDecode /DecodeParms << /Predictor 12 /Colors " + colours + " /BitsPerComponent " + depth +
           " /Columns " + QByteArray::number(size.width()) + " >>";
}

QByteArray streamBody(const QByteArray& data)
{
    return "<< /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// Where the picture's unit square goes on the page: the stored pixels
// mirrored, flipped and then turned a quarter clockwise as turn says, filling
// the page.
QByteArray placement(QImageIOHandler::Transformations turn, const QSizeF& page)
{
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    const double su = mirror ? -1 : 1, tu = mirror ? 1 : 0;
    const double sv = flip ? -1 : 1, tv = flip ? 1 : 0;
    const double w = page.width(), h = page.height();
    double m[6] = {su * w, 0, 0, sv * h, tu * w, tv * h};
    if (turn & QImageIOHandler::TransformationRotate90) {
        // x' = v, y' = 1 - u of the mirrored and flipped square.
        const double turned[6] = {0, -su * h, sv * w, 0, tv * w, (1 - tu) * h};
        std::copy(std::begin(turned), std::end(turned), std::begin(m));
    }
    QByteArray operands;
    for (double value : m)
        operands += RasterPdfWriter::pdfNumber(value == 0 ? 0.0 : value) + ' ';
    return operands;
}

// The whole file: one page of pageSize showing picture placed by placement,
// with mask as its soft mask when not empty.
QByteArray onePagePdf(const QSizeF& pageSize, const QByteArray& placement, const QSize& pixels,
                      const QByteArray& coding, const QByteArray& data, const QByteArray& mask)
{
    constexpr int kCatalog = 1, kPages = 2, kPage = 3, kImage = 4, kContent = 5, kMask = 6;
    const bool masked = !mask.isEmpty();
    const QByteArray width = RasterPdfWriter::pdfNumber(pageSize.width());
    const QByteArray height = RasterPdfWriter::pdfNumber(pageSize.height());
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + width + ' ' + height +
                            "] /Resources << /XObject << /Im0 " + QByteArray::number(kImage) +
                            " 0 R >> >> /Contents " + QByteArray::number(kContent) + " 0 R >>";
    // Marked as the program's own, as every object it writes into a page.
    const QByteArray content = '/' + QByteArray(kOwnContentTag) + " BMC\nq " + placement + "cm /Im0 Do Q\nEMC\n";

    QByteArray pdf;
    pdf.reserve(data.size() + mask.size() + 1024);
    QBuffer out(&pdf);
    out.open(QIODevice::WriteOnly);
    QList<qint64> offsets;
    const QByteArray header = RasterPdfWriter::header();
    bool written = out.write(header) == header.size() &&
                   RasterPdfWriter::writePdfObject(out, offsets, kCatalog, RasterPdfWriter::catalogBody()) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kPages, RasterPdfWriter::pageTreeBody(1)) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kPage, page) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kImage,
                                                   imageBody(pixels, coding, data, masked ? kMask : 0)) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kContent, streamBody(content));
    if (written && masked)
        written = RasterPdfWriter::writePdfObject(out, offsets, kMask,
                                                  imageBody(pixels, flateCoding(pixels, 1, 8), mask, 0));
    if (!written)
        return {};
    const qint64 startXref = out.pos();
    const QByteArray tail = RasterPdfWriter::crossReferenceAndTrailer(offsets, masked ? kMask + 1 : kMask, startXref);
    if (out.write(tail) != tail.size())
        return {};
    out.close();
    return pdf;
}

} // namespace

QByteArray picturePagePdf(const QImage& image, const QSizeF& pageSize)
{
    if (image.isNull() || !(pageSize.width() > 0) || !(pageSize.height() > 0))
        return {};
    Planes planes;
    if (!compressPlanes(image, planes))
        return {};
    return onePagePdf(pageSize, placement({}, pageSize), image.size(),
                      flateCoding(image.size(), planes.channels, planes.bits), planes.colour, planes.alpha);
}

QByteArray jpegPagePdf(const QByteArray& jpeg, const PictureHeader::JpegLayout& layout,
                       QImageIOHandler::Transformations turn, const QSizeF& pageSize)
{
    if (jpeg.isEmpty() || !layout.fitsPdf() || !(pageSize.width() > 0) || !(pageSize.height() > 0))
        return {};
    const QByteArray coding = "/ColorSpace " + colourSpace(layout.components) + " /BitsPerComponent 8 /Filter /DCTDecode";
    return onePagePdf(pageSize, placement(turn, pageSize), layout.size, coding, jpeg, {});
}

} // namespace pdfengine
