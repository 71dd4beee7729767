#include "RasterPdfWriter.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

QByteArray objectNumberLine(int number)
{
    return QByteArray::number(number) + " 0 obj\n";
}

constexpr char kObjectEnd[] = "\nendobj\n";

QByteArray colourPart(RasterPdfWriter::PictureKind kind)
{
    switch (kind) {
    case RasterPdfWriter::PictureKind::Monochrome:
        return "/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode ";
    case RasterPdfWriter::PictureKind::JpegGray:
        return "/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode ";
    case RasterPdfWriter::PictureKind::JpegRgb:
        break;
    }
    return "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode ";
}

} // namespace

RasterPdfWriter::RasterPdfWriter(QIODevice& out, int pageCount)
    : m_out(out)
    , m_pageCount(pageCount)
{
}

bool RasterPdfWriter::writeAll(const QByteArray& bytes)
{
    return m_out.write(bytes) == bytes.size();
}

bool RasterPdfWriter::writeStart()
{
    m_offsets.clear();
    return writeAll(header()) && writePdfObject(m_out, m_offsets, 1, catalogBody()) &&
           writePdfObject(m_out, m_offsets, 2, pageTreeBody(m_pageCount));
}

bool RasterPdfWriter::writePage(int pageIndex, const PageObjects& objects)
{
    const int first = pageObjectNumber(pageIndex);
    return writePdfObject(m_out, m_offsets, first, objects.page) &&
           writePdfObject(m_out, m_offsets, first + 1, objects.image) &&
           writePdfObject(m_out, m_offsets, first + 2, objects.content);
}

bool RasterPdfWriter::writeEnd()
{
    const qint64 startXref = m_out.pos();
    return startXref >= 0 && writeAll(crossReferenceAndTrailer(m_offsets, objectCount(m_pageCount), startXref));
}

QByteArray RasterPdfWriter::header()
{
    return QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

QByteArray RasterPdfWriter::catalogBody()
{
    return "<< /Type /Catalog /Pages 2 0 R >>";
}

QByteArray RasterPdfWriter::pageTreeBody(int pageCount)
{
    QByteArray kids;
    for (int k = 0; k < pageCount; ++k)
        kids += QByteArray::number(pageObjectNumber(k)) + " 0 R ";
    return "<< /Type /Pages /Kids [ " + kids + "] /Count " + QByteArray::number(pageCount) + " >>";
}

RasterPdfWriter::PageObjects RasterPdfWriter::pageObjects(int pageIndex, const QSizeF& pagePoints,
                                                          const Picture& picture)
{
    const int pageNumber = pageObjectNumber(pageIndex);
    const QByteArray width = pdfNumber(pagePoints.width());
    const QByteArray height = pdfNumber(pagePoints.height());
    PageObjects objects;
    objects.page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + width + " " + height + "] " +
                   "/Resources << /XObject << /Im0 " + QByteArray::number(pageNumber + 1) + " 0 R >> >> " +
                   "/Contents " + QByteArray::number(pageNumber + 2) + " 0 R >>";
    objects.image = "<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(picture.pixelSize.width()) +
                    " /Height " + QByteArray::number(picture.pixelSize.height()) + " " + colourPart(picture.kind) +
                    "/Length " + QByteArray::number(picture.bytes.size()) + " >>\nstream\n" + picture.bytes +
                    "\nendstream";
    // The picture scaled to the whole page; the content ends with its own line feed.
    const QByteArray content = "q\n" + width + " 0 0 " + height + " 0 0 cm\n/Im0 Do\nQ\n";
    objects.content = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream";
    return objects;
}

QByteArray RasterPdfWriter::crossReferenceAndTrailer(const QList<qint64>& offsets, int objectCount,
                                                     qint64 startXref)
{
    QByteArray text = "xref\n0 " + QByteArray::number(objectCount) + "\n0000000000 65535 f \n";
    for (int number = 1; number < objectCount; ++number)
        text += QByteArray::number(offsets.value(number, 0)).rightJustified(10, '0') + " 00000 n \n";
    text += "trailer\n<< /Size " + QByteArray::number(objectCount) + " /Root 1 0 R >>\nstartxref\n" +
            QByteArray::number(startXref) + "\n%%EOF\n";
    return text;
}

qint64 RasterPdfWriter::pageObjectsSize(int pageIndex, const PageObjects& objects)
{
    const int first = pageObjectNumber(pageIndex);
    return serializedPdfObjectSize(first, objects.page) + serializedPdfObjectSize(first + 1, objects.image) +
           serializedPdfObjectSize(first + 2, objects.content);
}

// Offsets of up to ten digits take the same room as the zeros put in their
// place, so the cross-reference section is measured with zero offsets.
qint64 RasterPdfWriter::fileSize(int pageCount, qint64 pageObjectsTotal)
{
    const qint64 beforeXref = header().size() + serializedPdfObjectSize(1, catalogBody()) +
                              serializedPdfObjectSize(2, pageTreeBody(pageCount)) + pageObjectsTotal;
    return beforeXref + crossReferenceAndTrailer({}, objectCount(pageCount), beforeXref).size();
}

QList<RasterPdfWriter::SampledPage> RasterPdfWriter::stratifiedSample(const QList<qint64>& pageWeights)
{
    const int count = int(pageWeights.size());
    QList<SampledPage> sample;
    if (count <= kLargestFullForecast) {
        for (int p = 0; p < count; ++p)
            sample.append({p, 1});
        return sample;
    }
    QList<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return pageWeights.at(a) < pageWeights.at(b); });
    const int strata = std::clamp((count + 9) / 10, kSmallestSample, kLargestSample);
    for (int s = 0; s < strata; ++s) {
        const int first = int(qint64(s) * count / strata);
        const int last = int(qint64(s + 1) * count / strata);  // one past
        sample.append({order.at(first + (last - first) / 2), last - first});
    }
    std::sort(sample.begin(), sample.end(),
              [](const SampledPage& a, const SampledPage& b) { return a.pageIndex < b.pageIndex; });
    return sample;
}

bool RasterPdfWriter::writePdfObject(QIODevice& out, QList<qint64>& offsets, int number, const QByteArray& body)
{
    if (number < 0)
        return false;
    if (offsets.size() < number + 1)
        offsets.resize(number + 1, 0);
    offsets[number] = out.pos();
    const QByteArray numberLine = objectNumberLine(number);
    const qint64 endLength = qint64(sizeof(kObjectEnd) - 1);
    return out.write(numberLine) == numberLine.size() && out.write(body) == body.size() &&
           out.write(kObjectEnd, endLength) == endLength;
}

qint64 RasterPdfWriter::serializedPdfObjectSize(int number, const QByteArray& body)
{
    return objectNumberLine(number).size() + body.size() + qint64(sizeof(kObjectEnd) - 1);
}

QByteArray RasterPdfWriter::pdfNumber(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 3);
    while (text.contains('.') && text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

QByteArray RasterPdfWriter::imageToJpegBytes(QImage image, int quality, bool grayscale)
{
    if (image.isNull())
        return {};
    if (image.hasAlphaChannel()) {
        // Transparent parts become white, as on paper.
        QImage flat(image.size(), QImage::Format_RGB32);
        if (flat.isNull())
            return {};
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    }
    image = image.convertToFormat(grayscale ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull())
        return {};
    QBuffer buffer;
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    QImageWriter writer(&buffer, "JPG");
    writer.setQuality(std::clamp(quality, 1, 100));
    writer.setOptimizedWrite(true);
    if (!writer.write(image))
        return {};
    return buffer.data();
}

QByteArray RasterPdfWriter::imageToMonoFlateBytes(const QImage& image)
{
    constexpr int kLightestBlack = 205;  // grey above this is white
    constexpr int kZlibLevel = 9;
    constexpr int kQtLengthPrefix = 4;   // qCompress puts the length in front of the zlib stream
    if (image.isNull())
        return {};
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return {};
    const int width = grey.width();
    const int height = grey.height();
    const qsizetype rowLength = (qsizetype(width) + 7) / 8;
    QByteArray bits(rowLength * height, '\0');
    for (int y = 0; y < height; ++y) {
        const uchar* line = grey.constScanLine(y);
        auto* row = reinterpret_cast<uchar*>(bits.data() + rowLength * y);
        for (int x = 0; x < width; ++x) {
            if (line[x] > kLightestBlack)
                row[x / 8] |= uchar(0x80 >> (x % 8));
        }
    }
    const QByteArray compressed = qCompress(bits, kZlibLevel);
    if (compressed.size() <= kQtLengthPrefix)
        return {};
    return compressed.mid(kQtLengthPrefix);
}

RasterPdfWriter::Picture RasterPdfWriter::encodePicture(const QImage& page, bool monochrome, int jpegQuality,
                                                        bool grayscale)
{
    Picture picture;
    picture.pixelSize = page.size();
    if (monochrome) {
        picture.kind = PictureKind::Monochrome;
        picture.bytes = imageToMonoFlateBytes(page);
    } else {
        picture.kind = grayscale ? PictureKind::JpegGray : PictureKind::JpegRgb;
        picture.bytes = imageToJpegBytes(page, jpegQuality, grayscale);
    }
    return picture;
}
