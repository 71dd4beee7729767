#include "RasterPdfWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

#include <utility>

namespace {

// Accepts only the first `capacity` bytes; later writes are short or fail.
class LimitedDevice : public QIODevice {
public:
    explicit LimitedDevice(qint64 capacity)
        : m_capacity(capacity)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 length) override
    {
        const qint64 room = m_capacity - m_written;
        if (room <= 0)
            return -1;
        const qint64 taken = std::min(room, length);
        m_written += taken;
        return taken;
    }

private:
    qint64 m_capacity;
    qint64 m_written = 0;
};

QByteArray unpackMono(const QByteArray& flate, int rowLength, int height)
{
    QByteArray prefixed(4, '\0');
    qToBigEndian<quint32>(quint32(rowLength * height), prefixed.data());
    return qUncompress(prefixed + flate);
}

QImage greyImage(int width, int height, int grey)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(QColor(grey, grey, grey));
    return image;
}

RasterPdfWriter::Picture tinyPicture(int seed)
{
    QImage image(8 + seed, 6, QImage::Format_RGB32);
    image.fill(QColor(10 * seed, 100, 200));
    return RasterPdfWriter::encodePicture(image, false, 50, false);
}

// Writes a whole file of the given page sizes into memory.
QByteArray writeFile(const QList<QSizeF>& pages, qint64* forecast = nullptr)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    RasterPdfWriter writer(buffer, int(pages.size()));
    bool ok = writer.writeStart();
    qint64 total = 0;
    for (int k = 0; k < pages.size(); ++k) {
        const auto objects = RasterPdfWriter::pageObjects(k, pages.at(k), tinyPicture(k));
        total += RasterPdfWriter::pageObjectsSize(k, objects);
        ok = ok && writer.writePage(k, objects);
    }
    ok = ok && writer.writeEnd();
    if (forecast)
        *forecast = RasterPdfWriter::fileSize(int(pages.size()), total);
    return ok ? buffer.data() : QByteArray();
}

// Offsets of "N 0 obj" lines as the cross-reference table lists them.
QList<qint64> xrefOffsets(const QByteArray& file)
{
    QList<qint64> offsets;
    const qsizetype start = file.lastIndexOf("\nxref\n");
    QRegularExpression line(QStringLiteral("^(\\d{10}) 00000 n $"), QRegularExpression::MultilineOption);
    auto it = line.globalMatch(QString::fromLatin1(file.mid(start)));
    while (it.hasNext())
        offsets << it.next().captured(1).toLongLong();
    return offsets;
}

} // namespace

class TestRasterPdfWriter : public QObject {
    Q_OBJECT
private slots:
    void pdfNumberKeepsThreeDecimals_data();
    void pdfNumberKeepsThreeDecimals();

    void monoRowsArePaddedWithZeroBits_data();
    void monoRowsArePaddedWithZeroBits();
    void jpegEncoding();

    void objectsAreWrittenInOrderOfNumberAndOffset();
    void forecastEqualsWrittenBytes_data();
    void forecastEqualsWrittenBytes();
    void shortOrFailedWritesAreReported_data();
    void shortOrFailedWritesAreReported();

    void sampleIsStratifiedByWeight_data();
    void sampleIsStratifiedByWeight();
    void sampleSizeIsATenthWithinBounds();
};

void TestRasterPdfWriter::pdfNumberKeepsThreeDecimals_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("integer") << 595.0 << QByteArray("595");
    QTest::newRow("two decimals") << 841.89 << QByteArray("841.89");
    QTest::newRow("one decimal") << 612.5 << QByteArray("612.5");
    QTest::newRow("below a thousandth") << 0.0001 << QByteArray("0");
    QTest::newRow("rounded") << 1.23456 << QByteArray("1.235");
    QTest::newRow("float page height") << double(841.89f) << QByteArray("841.89");
}

void TestRasterPdfWriter::pdfNumberKeepsThreeDecimals()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(RasterPdfWriter::pdfNumber(value), text);
}

void TestRasterPdfWriter::monoRowsArePaddedWithZeroBits_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("grey");
    QTest::addColumn<QByteArray>("row");
    QTest::newRow("black") << 8 << 0 << QByteArray("\x00", 1);
    QTest::newRow("205 is black") << 9 << 205 << QByteArray("\x00\x00", 2);
    QTest::newRow("206 is white") << 8 << 206 << QByteArray("\xFF", 1);
    QTest::newRow("9 pixels") << 9 << 255 << QByteArray("\xFF\x80", 2);
    QTest::newRow("1 pixel") << 1 << 255 << QByteArray("\x80", 1);
    QTest::newRow("17 pixels") << 17 << 255 << QByteArray("\xFF\xFF\x80", 3);
}

// Bits run most significant first, white above the threshold; the spare bits
// of a row stay 0.
void TestRasterPdfWriter::monoRowsArePaddedWithZeroBits()
{
    QFETCH(int, width);
    QFETCH(int, grey);
    QFETCH(QByteArray, row);
    QImage image = greyImage(width, 3, grey);
    image.setPixelColor(0, 1, Qt::black);  // first pixel of the middle row
    const QByteArray flate = RasterPdfWriter::imageToMonoFlateBytes(image);
    QVERIFY(!flate.startsWith(QByteArray(4, '\0')));  // the Qt length prefix is gone
    const QByteArray bits = unpackMono(flate, int(row.size()), 3);
    QByteArray middle = row;
    middle[0] = char(uchar(middle[0]) & 0x7F);
    QCOMPARE(bits, row + middle + row);
}

// Quality outside 1..100 is clamped; transparency is flattened on white; a
// null image gives no bytes from any encoder.
void TestRasterPdfWriter::jpegEncoding()
{
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) % 256));
    const QByteArray middle = RasterPdfWriter::imageToJpegBytes(image, 50, false);
    for (const auto& [quality, sameAs] : std::initializer_list<std::pair<int, int>>{{0, 1}, {-20, 1}, {255, 100}}) {
        const QByteArray bytes = RasterPdfWriter::imageToJpegBytes(image, quality, false);
        QVERIFY(!bytes.isEmpty() && bytes != middle);
        QCOMPARE(bytes, RasterPdfWriter::imageToJpegBytes(image, sameAs, false));
    }

    QImage clear(16, 16, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QImage decoded = QImage::fromData(RasterPdfWriter::imageToJpegBytes(clear, 90, false), "JPG");
    QVERIFY(!decoded.isNull());
    for (int y = 0; y < decoded.height(); ++y)
        for (int x = 0; x < decoded.width(); ++x)
            QVERIFY(qGray(decoded.pixel(x, y)) > 250);

    QVERIFY(RasterPdfWriter::imageToJpegBytes(QImage(), 50, false).isEmpty());
    QVERIFY(RasterPdfWriter::imageToMonoFlateBytes(QImage()).isEmpty());
    QVERIFY(RasterPdfWriter::encodePicture(QImage(), true, 50, false).bytes.isEmpty());
}

void TestRasterPdfWriter::objectsAreWrittenInOrderOfNumberAndOffset()
{
    const QByteArray file = writeFile({QSizeF(595, 842), QSizeF(842, 595), QSizeF(100.25, 50)});
    QVERIFY(file.startsWith(QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")));
    const QList<qint64> offsets = xrefOffsets(file);
    QCOMPARE(offsets.size(), 11);
    for (int number = 1; number <= 11; ++number) {
        QCOMPARE(file.mid(offsets.at(number - 1), 8 + (number > 9)), QByteArray::number(number) + " 0 obj\n");
        if (number > 1)
            QVERIFY(offsets.at(number - 1) > offsets.at(number - 2));
    }
    QVERIFY(file.contains("/Kids [ 3 0 R 6 0 R 9 0 R ] /Count 3"));
    QVERIFY(file.contains("/MediaBox [0 0 100.25 50]"));
    QVERIFY(file.contains("3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject "
                          "<< /Im0 4 0 R >> >> /Contents 5 0 R >>\nendobj\n"));
    QVERIFY(file.contains("5 0 obj\n<< /Length 31 >>\nstream\nq\n595 0 0 842 0 0 cm\n/Im0 Do\nQ\nendstream\nendobj\n"));
    const qsizetype xref = file.indexOf("xref\n0 12\n0000000000 65535 f \n");
    QVERIFY(xref > 0);
    QVERIFY(file.endsWith("trailer\n<< /Size 12 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n"));
}

void TestRasterPdfWriter::forecastEqualsWrittenBytes_data()
{
    QTest::addColumn<int>("pages");
    QTest::newRow("1") << 1;
    QTest::newRow("3") << 3;
    QTest::newRow("4, object numbers reach two digits") << 4;
    QTest::newRow("40, three digits") << 40;
}

void TestRasterPdfWriter::forecastEqualsWrittenBytes()
{
    QFETCH(int, pages);
    qint64 forecast = 0;
    const QByteArray file = writeFile(QList<QSizeF>(pages, QSizeF(595.3, 841.89)), &forecast);
    QVERIFY(!file.isEmpty());
    QCOMPARE(forecast, qint64(file.size()));
}

void TestRasterPdfWriter::shortOrFailedWritesAreReported_data()
{
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<int>("failingStep");  // 0 start, 1 page, 2 end
    QTest::newRow("nothing fits") << qint64(0) << 0;
    QTest::newRow("header cut short") << qint64(10) << 0;
    QTest::newRow("object cut short") << qint64(70) << 0;
    QTest::newRow("page cut short") << qint64(200) << 1;
}

void TestRasterPdfWriter::shortOrFailedWritesAreReported()
{
    QFETCH(qint64, capacity);
    QFETCH(int, failingStep);
    LimitedDevice device(capacity);
    RasterPdfWriter writer(device, 1);
    const bool started = writer.writeStart();
    QCOMPARE(started, failingStep > 0);
    if (!started)
        return;
    const bool paged = writer.writePage(0, RasterPdfWriter::pageObjects(0, QSizeF(595, 842), tinyPicture(1)));
    QCOMPARE(paged, failingStep > 1);
}

namespace {

QList<qint64> rampWeights(int pages, bool rising)
{
    QList<qint64> weights;
    for (int i = 0; i < pages; ++i)
        weights << (rising ? i : pages - i);
    return weights;
}

} // namespace

void TestRasterPdfWriter::sampleIsStratifiedByWeight_data()
{
    QTest::addColumn<QList<qint64>>("weights");
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<int>("represents");  // of each sampled page; 0: see the sum check only
    QTest::newRow("none") << QList<qint64>{} << QList<int>{} << 0;
    QList<int> twenty;
    for (int i = 0; i < 20; ++i)
        twenty << i;
    QTest::newRow("20: every page") << rampWeights(20, true) << twenty << 1;
    QList<int> middles;
    for (int s = 0; s < 10; ++s)
        middles << s * 10 + 5;
    QTest::newRow("100 rising") << rampWeights(100, true) << middles << 10;
    QList<int> falling;
    for (int s = 0; s < 10; ++s)
        falling << s * 10 + 4;
    QTest::newRow("100 falling") << rampWeights(100, false) << falling << 10;
    // Light front and back matter around heavy body pages: the sample follows the weights, not the ends.
    QList<qint64> manual(25, 100000);
    for (int i : {0, 1, 2, 22, 23, 24})
        manual[i] = 10;
    QTest::newRow("25 manual") << manual << QList<int>{1, 3, 5, 8, 10, 13, 15, 18, 20, 22} << 0;
}

void TestRasterPdfWriter::sampleIsStratifiedByWeight()
{
    QFETCH(QList<qint64>, weights);
    QFETCH(QList<int>, pages);
    QFETCH(int, represents);
    const QList<RasterPdfWriter::SampledPage> sample = RasterPdfWriter::stratifiedSample(weights);
    QList<int> sampled;
    int covered = 0;
    for (const RasterPdfWriter::SampledPage& page : sample) {
        sampled << page.pageIndex;
        covered += page.represents;
        if (represents > 0)
            QCOMPARE(page.represents, represents);
    }
    QCOMPARE(sampled, pages);
    QCOMPARE(covered, int(weights.size()));
}

// A tenth of the pages, at least 10 and at most 40.
void TestRasterPdfWriter::sampleSizeIsATenthWithinBounds()
{
    for (const auto& [pages, size] : std::initializer_list<std::pair<int, int>>{{21, 10}, {200, 20}, {401, 40}, {5000, 40}})
        QCOMPARE(RasterPdfWriter::stratifiedSample(QList<qint64>(pages, 7)).size(), size);
}

QTEST_MAIN(TestRasterPdfWriter)
#include "tst_rasterpdfwriter.moc"
