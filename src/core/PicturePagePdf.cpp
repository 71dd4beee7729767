#include "PicturePagePdf.h"

#include "PageOwnContent.h"
#include "PdfEngineInternal.h"
#include "RasterPdfWriter.h"

#include <QBuffer>

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

struct Planes {
    QByteArray colour;  // grey or RGB samples, compressed
    QByteArray alpha;   // empty when the picture is opaque
    bool grey = false;
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

bool compressPlanes(const QImage& source, Planes& planes)
{
    const ImageObjectPixels pixels = pixelsForImageObject(source);
    const QImage& image = pixels.image;
    if (image.isNull())
        return false;
    planes.grey = pixels.format == pdfium::kBitmapGray;
    const bool withAlpha = pixels.format == pdfium::kBitmapBGRA;
    const int width = image.width();
    FilteredRows colour(planes.grey ? width : width * 3);
    FilteredRows alpha(withAlpha ? width : 0);
    std::vector<uchar> rgbRow(planes.grey ? 0 : size_t(width) * 3);
    std::vector<uchar> alphaRow(withAlpha ? size_t(width) : 0);
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        if (planes.grey) {
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

QByteArray imageBody(const QSize& size, bool grey, const QByteArray& data, int maskObject)
{
    const QByteArray colours = grey ? "1" : "3";
    QByteArray body = "<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(size.width()) + " /Height " +
                      QByteArray::number(size.height()) + " /ColorSpace " + (grey ? "/DeviceGray" : "/DeviceRGB") +
                      " /BitsPerComponent 8 /Filter /FlateDecode /DecodeParms << /Predictor 12 /Colors " + colours +
                      " /BitsPerComponent 8 /Columns " + QByteArray::number(size.width()) + " >> /Length " +
                      QByteArray::number(data.size());
    if (maskObject > 0)
        body += " /SMask " + QByteArray::number(maskObject) + " 0 R";
    body.reserve(body.size() + data.size() + 32);
    body += " >>\nstream\n";
    body += data;
    body += "\nendstream";
    return body;
}

QByteArray streamBody(const QByteArray& data)
{
    return "<< /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

} // namespace

QByteArray picturePagePdf(const QImage& image, const QSizeF& pageSize)
{
    if (image.isNull() || !(pageSize.width() > 0) || !(pageSize.height() > 0))
        return {};
    Planes planes;
    if (!compressPlanes(image, planes))
        return {};

    constexpr int kCatalog = 1, kPages = 2, kPage = 3, kImage = 4, kContent = 5, kMask = 6;
    const bool masked = !planes.alpha.isEmpty();
    const QByteArray width = RasterPdfWriter::pdfNumber(pageSize.width());
    const QByteArray height = RasterPdfWriter::pdfNumber(pageSize.height());
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + width + ' ' + height +
                            "] /Resources << /XObject << /Im0 " + QByteArray::number(kImage) +
                            " 0 R >> >> /Contents " + QByteArray::number(kContent) + " 0 R >>";
    // Marked as the program's own, as every object it writes into a page.
    const QByteArray content = '/' + QByteArray(kOwnContentTag) + " BMC\nq " + width + " 0 0 " + height +
                               " 0 0 cm /Im0 Do Q\nEMC\n";

    QByteArray pdf;
    QBuffer out(&pdf);
    out.open(QIODevice::WriteOnly);
    QList<qint64> offsets;
    const QByteArray header = RasterPdfWriter::header();
    bool written = out.write(header) == header.size() &&
                   RasterPdfWriter::writePdfObject(out, offsets, kCatalog, RasterPdfWriter::catalogBody()) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kPages, RasterPdfWriter::pageTreeBody(1)) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kPage, page) &&
                   RasterPdfWriter::writePdfObject(
                       out, offsets, kImage,
                       imageBody(image.size(), planes.grey, planes.colour, masked ? kMask : 0)) &&
                   RasterPdfWriter::writePdfObject(out, offsets, kContent, streamBody(content));
    planes.colour.clear();
    if (written && masked)
        written = RasterPdfWriter::writePdfObject(out, offsets, kMask, imageBody(image.size(), true, planes.alpha, 0));
    if (!written)
        return {};
    const qint64 startXref = out.pos();
    const QByteArray tail = RasterPdfWriter::crossReferenceAndTrailer(offsets, masked ? kMask + 1 : kMask, startXref);
    if (out.write(tail) != tail.size())
        return {};
    out.close();
    return pdf;
}

} // namespace pdfengine
