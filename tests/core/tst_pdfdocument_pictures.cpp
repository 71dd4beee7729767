#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "PictureFile.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using Sizes = QList<QSizeF>;

class TestPdfDocumentPictures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void picturesBecomePages_data();
    void picturesBecomePages();
    void refusedPicturesSayWhy_data();
    void refusedPicturesSayWhy();
    void recordedResolutionSetsThePage_data();
    void recordedResolutionSetsThePage();
    void jpegScanKeepsItsBytes();
    void everyExifTurnStaysJpegAndUpright_data();
    void everyExifTurnStaysJpegAndUpright();
    void blackAndWhiteKeepsOneBit_data();
    void blackAndWhiteKeepsOneBit();
    void notAPictureSaysSo_data();
    void notAPictureSaysSo();
    void pageSizeOutsidePdfSaysWhy_data();
    void pageSizeOutsidePdfSaysWhy();
    void largeScanComesInWhole();
    void placedPicturesGetAMaskOnlyWhenSeeThrough_data();
    void placedPicturesGetAMaskOnlyWhenSeeThrough();
    void dataCompleteness_data();
    void dataCompleteness();
    void boundedSizeKeepsProportions_data();
    void boundedSizeKeepsProportions();

private:
    static QString picture(const QString& name) { return QStringLiteral(VORN_TEST_DATA "/pictures/") + name; }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

namespace {

QByteArray bmpBytes()
{
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(QColor(30, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

// The header of an uncompressed RGB TIFF of width x height pixels, with
// hardly any of its pixel data.
QByteArray tiffHeader(quint32 width, quint32 height)
{
    struct Entry {
        quint16 tag, type;
        quint32 count, value;
    };
    constexpr quint16 kShort = 3, kLong = 4;
    constexpr quint32 kBitsOffset = 122, kDataOffset = 128;
    const Entry entries[] = {{256, kLong, 1, width},        {257, kLong, 1, height},
                             {258, kShort, 3, kBitsOffset}, {259, kShort, 1, 1},
                             {262, kShort, 1, 2},           {273, kLong, 1, kDataOffset},
                             {277, kShort, 1, 3},           {278, kLong, 1, height},
                             {279, kLong, 1, width * height * 3}};
    QByteArray bytes("II*\0", 4);
    QDataStream out(&bytes, QIODevice::Append);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(8) << quint16(std::size(entries));
    for (const Entry& e : entries) {
        out << e.tag << e.type << e.count;
        if (e.type == kShort && e.count == 1)
            out << quint16(e.value) << quint16(0);
        else
            out << e.value;
    }
    out << quint32(0) << quint16(8) << quint16(8) << quint16(8);
    bytes.append(64, '\0');
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray encoded(const QImage& image, const char* format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

QImage withDpi(QImage image, double xDpi, double yDpi)
{
    image.setDotsPerMeterX(qRound(xDpi / 0.0254));
    image.setDotsPerMeterY(qRound(yDpi / 0.0254));
    return image;
}

// A picture with shapes in it, so that coders treat it as one.
QImage drawing(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width(), size.height() / 5), QColor(200, 30, 30));
    painter.fillRect(QRect(size.width() / 4, size.height() / 2, size.width() / 2, size.height() / 8), Qt::black);
    painter.end();
    return image.convertToFormat(format, Qt::ThresholdDither);
}

// The JFIF header Qt writes at the start, with its units and densities replaced.
QByteArray withJfif(QByteArray jpeg, int units, int x, int y)
{
    jpeg[13] = char(units);
    jpeg[14] = char(x >> 8);
    jpeg[15] = char(x & 0xFF);
    jpeg[16] = char(y >> 8);
    jpeg[17] = char(y & 0xFF);
    return jpeg;
}

// An EXIF block (big-endian) put after the JFIF header: resolution in unit
// (2 inch, 3 centimetre, 1 none) and the orientation.
QByteArray withExif(QByteArray jpeg, double x, double y, int unit, int orientation)
{
    QByteArray tiff;
    QDataStream out(&tiff, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    const quint32 xAt = 8 + 2 + 4 * 12 + 4;
    out.writeRawData("MM", 2);
    out << quint16(42) << quint32(8) << quint16(4);
    out << quint16(0x0112) << quint16(3) << quint32(1) << quint16(orientation) << quint16(0);
    out << quint16(0x011A) << quint16(5) << quint32(1) << xAt;
    out << quint16(0x011B) << quint16(5) << quint32(1) << quint32(xAt + 8);
    out << quint16(0x0128) << quint16(3) << quint32(1) << quint16(unit) << quint16(0);
    out << quint32(0) << quint32(qRound(x * 100)) << quint32(100) << quint32(qRound(y * 100)) << quint32(100);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment += char((payload.size() + 2) >> 8);
    segment += char((payload.size() + 2) & 0xFF);
    segment += payload;
    const int app0End = 4 + (uchar(jpeg[4]) << 8 | uchar(jpeg[5]));
    return jpeg.insert(app0End, segment);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// Mean difference per channel of two pictures of one size.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

} // namespace

void TestPdfDocumentPictures::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    for (const char* tool : {"pdfimages", "pdfinfo", "pdftoppm"})
        QVERIFY2(pdftools::installed(QString::fromLatin1(tool)), "poppler-utils are missing");
    if (!QImageReader::supportedImageFormats().contains("tiff"))
        QFAIL("Qt's TIFF reader is missing (qt6-image-formats-plugins)");
}

void TestPdfDocumentPictures::picturesBecomePages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Sizes>("pageSizes");
    QTest::addColumn<QStringList>("colours");  // of the page pictures, page by page: colour, bits, coding
    QTest::addColumn<int>("masks");
    QTest::addColumn<bool>("redOnTop");

    // The fixtures record no resolution: 150 dpi.
    const Sizes portrait{QSizeF(57.6, 96)};  // 120 x 200 pixels at 150 dpi
    const QStringList jpeg{QStringLiteral("rgb 8 jpeg")};
    QTest::newRow("photo upright") << "photo-exif1.jpg" << portrait << jpeg << 0 << true;
    QTest::newRow("photo turned half") << "photo-exif3.jpg" << portrait << jpeg << 0 << true;
    QTest::newRow("photo turned clockwise") << "photo-exif6.jpg" << portrait << jpeg << 0 << true;
    QTest::newRow("photo turned anticlockwise") << "photo-exif8.jpg" << portrait << jpeg << 0 << true;
    QTest::newRow("grey png") << "scan-grey.png" << portrait << QStringList{QStringLiteral("gray 8 image")} << 0 << false;
    QTest::newRow("grey jpeg") << "scan-grey.jpg" << portrait << QStringList{QStringLiteral("gray 8 jpeg")} << 0 << false;
    QTest::newRow("see-through stamp") << "stamp-alpha.png" << Sizes{QSizeF(48, 28.8)}
                                       << QStringList{QStringLiteral("rgb 8 image")} << 1 << false;
    // The Group 4 page stays black and white.
    QTest::newRow("three-page tiff") << "scan-3pages.tif" << Sizes{QSizeF(48, 67.2), QSizeF(67.2, 48), QSizeF(57.6, 57.6)}
                                     << QStringList{QStringLiteral("gray 1 image"), QStringLiteral("gray 8 image"),
                                                    QStringLiteral("rgb 8 image")}
                                     << 0 << false;
}

void TestPdfDocumentPictures::picturesBecomePages()
{
    QFETCH(QString, file);
    QFETCH(Sizes, pageSizes);
    QFETCH(QStringList, colours);
    QFETCH(int, masks);
    QFETCH(bool, redOnTop);

    PdfDocument doc;
    QVERIFY2(doc.importDocument(picture(file)), qPrintable(doc.lastError()));
    QCOMPARE(doc.pageCount(), pageSizes.size());
    const QString out = path(file + QStringLiteral(".pdf"));
    QVERIFY(doc.save(out));

    const QList<QSizeF> saved = pdftools::pageSizes(out);
    QCOMPARE(saved.size(), pageSizes.size());
    for (int i = 0; i < saved.size(); ++i) {
        QVERIFY2(qAbs(saved[i].width() - pageSizes[i].width()) < 0.1 &&
                     qAbs(saved[i].height() - pageSizes[i].height()) < 0.1,
                 qPrintable(QStringLiteral("page %1: %2 x %3").arg(i + 1).arg(saved[i].width()).arg(saved[i].height())));
    }
    QStringList seen;
    int smasks = 0;
    for (const pdftools::ImageRow& row : pdftools::listImages(out)) {
        if (row.type == QLatin1String("image")) {
            seen << QStringLiteral("%1 %2 %3").arg(row.color).arg(row.bitsPerComponent).arg(row.encoding);
            QCOMPARE(row.xPpi, 150);
            QCOMPARE(row.yPpi, 150);
        }
        smasks += row.type == QLatin1String("smask");
    }
    QCOMPARE(seen, colours);
    QCOMPARE(smasks, masks);

    if (redOnTop) {
        const QImage page = pdftools::renderPage(out, 0, 150);
        QCOMPARE(page.size(), QSize(120, 200));
        const QColor top = page.pixelColor(60, 10);
        const QColor bottom = page.pixelColor(60, 190);
        QVERIFY2(top.red() > 150 && top.blue() < 90, qPrintable(top.name()));
        QVERIFY2(bottom.blue() > 150 && bottom.red() < 90, qPrintable(bottom.name()));
    }
}

void TestPdfDocumentPictures::refusedPicturesSayWhy_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("kept");  // pages that came in before the failure

    QFile truncated(picture(QStringLiteral("photo-truncated.jpg")));
    QVERIFY(truncated.open(QIODevice::ReadOnly));
    QTest::newRow("truncated jpeg") << truncated.readAll() << "поврежден" << 0;

    QTest::newRow("truncated gif") << fileBytes(picture(QStringLiteral("photo-truncated.gif"))) << "поврежден" << 0;
    const QByteArray bmp = bmpBytes();
    QTest::newRow("truncated bmp") << bmp.left(bmp.size() * 2 / 3) << "поврежден" << 0;

    QFile grey(picture(QStringLiteral("scan-grey.png")));
    QVERIFY(grey.open(QIODevice::ReadOnly));
    QTest::newRow("truncated png") << grey.readAll().left(3000) << "поврежден" << 0;

    // 40,000 pixels at 150 dpi make a page side past what PDF allows.
    QImage strip(40000, 60, QImage::Format_Grayscale8);
    strip.fill(200);
    QByteArray png;
    {
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(strip.save(&buffer, "PNG"));
    }
    QTest::newRow("wider than a page") << png << "не помещается" << 0;
    // 20,000 x 20,000 colour pixels need 1.5 GiB, and TIFF is read whole.
    QTest::newRow("more than may be decoded") << tiffHeader(20000, 20000) << "слишком велико" << 0;

    QFile tiff(picture(QStringLiteral("scan-3pages-broken.tif")));
    QVERIFY(tiff.open(QIODevice::ReadOnly));
    QTest::newRow("tiff broken on its second page") << tiff.readAll() << "Страница 2 из 3" << 1;
}

void TestPdfDocumentPictures::refusedPicturesSayWhy()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(int, kept);

    const QString file = path(QStringLiteral("refused-%1").arg(QTest::currentDataTag()).replace(' ', '-'));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    out.close();

    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.insertBlankPage(0, QSizeF(595, 842)));
    QVERIFY(!doc.importDocument(file));
    QCOMPARE(doc.pageCount(), 1 + kept);
    QVERIFY2(doc.lastError().contains(reason), qPrintable(doc.lastError()));
}

// A 10,000 x 7,000 colour scan is more than the readers decode by default.
void TestPdfDocumentPictures::largeScanComesInWhole()
{
    QImage scan(10000, 7000, QImage::Format_RGB888);
    scan.fill(QColor(230, 225, 210));
    {
        QPainter painter(&scan);
        painter.fillRect(QRect(0, 0, 10000, 1000), QColor(200, 30, 30));
    }
    // Recorded at 150 dpi, as a scanner writes it (Qt's writer records 96 dpi otherwise).
    scan = withDpi(scan, 150, 150);
    const QString file = path(QStringLiteral("large-scan.jpg"));
    QImageWriter writer(file, "jpeg");
    writer.setQuality(40);
    QVERIFY(writer.write(scan));
    scan = QImage();

    PdfDocument doc;
    QVERIFY2(doc.importDocument(file), qPrintable(doc.lastError()));
    QCOMPARE(doc.pageCount(), 1);
    QCOMPARE(doc.pageSize(0), QSizeF(4800, 3360));
    const QString out = path(QStringLiteral("large-scan.pdf"));
    QVERIFY(doc.save(out));
    const QList<pdftools::ImageRow> rows = pdftools::listImages(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(QSize(rows[0].width, rows[0].height), QSize(10000, 7000));
    QCOMPARE(rows[0].color, QStringLiteral("rgb"));
}

void TestPdfDocumentPictures::placedPicturesGetAMaskOnlyWhenSeeThrough_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("masks");

    QImage opaque(40, 30, QImage::Format_ARGB32);
    opaque.fill(QColor(200, 40, 40));
    QTest::newRow("opaque with an alpha channel") << opaque << 0;
    QImage stamp = opaque;
    stamp.setPixelColor(5, 5, QColor(0, 0, 255, 100));
    QTest::newRow("one see-through pixel") << stamp << 1;
    QImage premultiplied = opaque.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QTest::newRow("opaque premultiplied") << premultiplied << 0;
    QImage bilevel(40, 30, QImage::Format_Mono);
    bilevel.fill(1);
    QTest::newRow("bilevel") << bilevel << 0;
}

// Pictures placed on an existing page (inserted images, edited blocks).
void TestPdfDocumentPictures::placedPicturesGetAMaskOnlyWhenSeeThrough()
{
    QFETCH(QImage, image);
    QFETCH(int, masks);
    PdfDocument doc;
    QVERIFY(doc.createEmpty() && doc.insertBlankPage(0, QSizeF(200, 200)));
    QVERIFY(doc.addImageToPage(0, QPointF(10, 10), QSizeF(80, 60), image));
    const QString out = path(QStringLiteral("placed-%1.pdf").arg(QTest::currentDataTag()).replace(' ', '-'));
    QVERIFY(doc.save(out));
    int images = 0;
    int smasks = 0;
    for (const pdftools::ImageRow& row : pdftools::listImages(out)) {
        images += row.type == QLatin1String("image");
        smasks += row.type == QLatin1String("smask");
    }
    QCOMPARE(images, 1);
    QCOMPARE(smasks, masks);
}

void TestPdfDocumentPictures::dataCompleteness_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("complete");

    const QByteArray photo = fileBytes(picture(QStringLiteral("photo-exif6.jpg")));
    const qsizetype scanStart = photo.lastIndexOf(QByteArray("\xFF\xDA", 2));
    QVERIFY(scanStart > 0);
    QTest::newRow("jpeg whole") << QByteArray("jpeg") << photo << true;
    QTest::newRow("jpeg trailer after the end") << QByteArray("jpeg") << photo + QByteArray(300, '\x55') << true;
    QTest::newRow("jpeg last marker cut") << QByteArray("jpeg") << photo.left(photo.size() - 1) << false;
    QTest::newRow("jpeg cut in the coded data") << QByteArray("jpeg") << photo.left(photo.size() - 200) << false;
    QTest::newRow("jpeg cut in the scan header") << QByteArray("jpeg") << photo.left(scanStart + 5) << false;
    // The preview's own end marker sits in the EXIF block: still incomplete.
    QTest::newRow("jpeg cut after the preview") << QByteArray("jpeg") << photo.left(scanStart) << false;
    QTest::newRow("jpeg no start marker") << QByteArray("jpeg") << photo.mid(2) << false;
    QTest::newRow("jpeg empty") << QByteArray("jpeg") << QByteArray() << false;
    QByteArray zeroLength = photo.left(4);
    zeroLength += QByteArray("\x00\x00\xFF\xD9", 4);
    QTest::newRow("jpeg segment of length zero") << QByteArray("jpeg") << zeroLength << false;

    const QByteArray gif = fileBytes(picture(QStringLiteral("photo.gif")));
    QVERIFY(gif.endsWith(';'));
    QTest::newRow("gif whole") << QByteArray("gif") << gif << true;
    QTest::newRow("gif without its trailer") << QByteArray("gif") << gif.chopped(1) << false;
    QTest::newRow("gif cut") << QByteArray("gif") << fileBytes(picture(QStringLiteral("photo-truncated.gif"))) << false;
    QTest::newRow("gif header only") << QByteArray("gif") << gif.left(13) << false;

    const QByteArray bmp = bmpBytes();
    QTest::newRow("bmp whole") << QByteArray("bmp") << bmp << true;
    QTest::newRow("bmp cut") << QByteArray("bmp") << bmp.left(bmp.size() / 2) << false;
    QByteArray unsized = bmp.left(bmp.size() / 2);
    unsized.replace(2, 4, QByteArray(4, '\0'));
    QTest::newRow("bmp with no size stated") << QByteArray("bmp") << unsized << true;

    QTest::newRow("png is left to its reader") << QByteArray("png") << QByteArray("\x89PNG") << true;
}

void TestPdfDocumentPictures::dataCompleteness()
{
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, complete);
    QCOMPARE(PictureFile::isComplete(format, reinterpret_cast<const uchar*>(bytes.constData()), bytes.size()), complete);
}

void TestPdfDocumentPictures::boundedSizeKeepsProportions_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<qint64>("maxPixels");
    QTest::addColumn<QSize>("bounded");
    QTest::newRow("fits") << QSize(10000, 7000) << qint64(70'000'000) << QSize(10000, 7000);
    QTest::newRow("a quarter") << QSize(20000, 14000) << qint64(70'000'000) << QSize(10000, 7000);
    QTest::newRow("thin strip keeps a pixel") << QSize(1'000'000, 2) << qint64(1000) << QSize(22360, 1);
    QTest::newRow("empty") << QSize(0, 50) << qint64(10) << QSize(0, 50);
}

void TestPdfDocumentPictures::boundedSizeKeepsProportions()
{
    QFETCH(QSize, size);
    QFETCH(qint64, maxPixels);
    QFETCH(QSize, bounded);
    QCOMPARE(PictureFile::boundedSize(size, maxPixels), bounded);
}

void TestPdfDocumentPictures::recordedResolutionSetsThePage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QSizeF>("page");

    const QImage sheet = drawing(QSize(400, 200));
    const QByteArray png300 = encoded(withDpi(sheet, 300, 300), "png");
    QTest::newRow("png at 300 dpi") << png300 << "png" << QSizeF(96, 48);
    QTest::newRow("png without a resolution: 150 dpi") << fixtures::pngWithoutResolution(sheet) << "png"
                                                        << QSizeF(192, 96);
    QTest::newRow("png at 30 dpi is implausible: 150 dpi") << encoded(withDpi(sheet, 30, 30), "png") << "png"
                                                          << QSizeF(192, 96);
    QTest::newRow("png at 3000 dpi is implausible: 150 dpi") << encoded(withDpi(sheet, 3000, 3000), "png") << "png"
                                                            << QSizeF(192, 96);
    const QByteArray jpeg = encoded(sheet, "jpeg", 80);
    QTest::newRow("jfif at 200 dpi") << withJfif(jpeg, 1, 200, 200) << "jpg" << QSizeF(144, 72);
    QTest::newRow("jfif at 80 dots per centimetre") << withJfif(jpeg, 2, 80, 80) << "jpg" << QSizeF(141.73, 70.87);
    QTest::newRow("jfif aspect only: 150 dpi") << withJfif(jpeg, 0, 1, 1) << "jpg" << QSizeF(192, 96);
    QTest::newRow("jfif aspect only, exif at 300 dpi") << withExif(withJfif(jpeg, 0, 1, 1), 300, 300, 2, 1) << "jpg"
                                                       << QSizeF(96, 48);
    QTest::newRow("exif in centimetres") << withExif(withJfif(jpeg, 0, 1, 1), 118.11, 118.11, 3, 1) << "jpg"
                                         << QSizeF(96, 48);
    QTest::newRow("exif without a unit: 150 dpi") << withExif(withJfif(jpeg, 0, 1, 1), 300, 300, 1, 1) << "jpg"
                                                  << QSizeF(192, 96);
    QTest::newRow("jfif wins over exif") << withExif(withJfif(jpeg, 1, 200, 200), 300, 300, 2, 1) << "jpg"
                                         << QSizeF(144, 72);
    // Stored 400 x 200 at 200 x 100 dpi, shown a quarter turned: 200 x 400 at 100 x 200 dpi.
    QTest::newRow("exif turned, unequal resolutions") << withExif(withJfif(jpeg, 0, 1, 1), 200, 100, 2, 6) << "jpg"
                                                      << QSizeF(144, 144);
    QTest::newRow("exif turned, unequal resolutions, mirrored")
        << withExif(withJfif(jpeg, 0, 1, 1), 400, 100, 2, 5) << "jpg" << QSizeF(144, 72);
    // A fax: 204 x 98 dpi, its pixels twice as tall as wide.
    const QImage fax = drawing(QSize(408, 196), QImage::Format_Mono);
    QTest::newRow("fax tiff at 204 x 98 dpi") << encoded(withDpi(fax, 204, 98), "tiff") << "tif" << QSizeF(144, 144);
}

// The page is as large as the picture was at the resolution its file records.
void TestPdfDocumentPictures::recordedResolutionSetsThePage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, suffix);
    QFETCH(QSizeF, page);
    QVERIFY(!bytes.isEmpty());
    const QString file = path(QStringLiteral("dpi-%1.%2").arg(QTest::currentDataTag()).replace(' ', '-').arg(suffix));
    QVERIFY(writeBytes(file, bytes));
    PdfDocument doc;
    QVERIFY2(doc.importDocument(file), qPrintable(doc.lastError()));
    const QSizeF made = doc.pageSize(0);
    QVERIFY2(qAbs(made.width() - page.width()) < 0.05 && qAbs(made.height() - page.height()) < 0.05,
             qPrintable(QStringLiteral("%1 x %2").arg(made.width()).arg(made.height())));
}

// A 300-dpi A4 scan: an A4 page holding the very bytes of the file.
void TestPdfDocumentPictures::jpegScanKeepsItsBytes()
{
    QImage scan = drawing(QSize(2480, 3508));
    {
        QPainter painter(&scan);
        for (int y = 600; y < 3000; y += 60)
            painter.fillRect(QRect(200, y, 1800 + (y % 7) * 20, 24), QColor(40, 40, 60));
    }
    const QByteArray jpeg = encoded(withDpi(scan, 300, 300), "jpeg", 85);
    const QString file = path(QStringLiteral("a4-300.jpg"));
    QVERIFY(writeBytes(file, jpeg));
    PdfDocument doc;
    QVERIFY2(doc.importDocument(file), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("a4-300.pdf"));
    QVERIFY(doc.save(out));

    const QList<QSizeF> sizes = pdftools::pageSizes(out);
    QCOMPARE(sizes.size(), 1);
    const double mm = 72 / 25.4;
    QVERIFY2(qAbs(sizes[0].width() - 210 * mm) < mm && qAbs(sizes[0].height() - 297 * mm) < mm,
             qPrintable(QStringLiteral("%1 x %2").arg(sizes[0].width()).arg(sizes[0].height())));
    QVERIFY2(QFileInfo(out).size() < jpeg.size() * 1.1, qPrintable(QString::number(QFileInfo(out).size())));
    const QList<pdftools::ImageRow> rows = pdftools::listImages(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].encoding, QStringLiteral("jpeg"));
    QCOMPARE(rows[0].xPpi, 300);
    // pdfimages -j writes a JPEG picture's stream as it stands in the file.
    const QString extracted = path(QStringLiteral("extracted"));
    QCOMPARE(pdftools::run(QStringLiteral("pdfimages"), {QStringLiteral("-j"), out, extracted}).exitCode, 0);
    QCOMPARE(fileBytes(extracted + QStringLiteral("-000.jpg")), jpeg);
}

void TestPdfDocumentPictures::everyExifTurnStaysJpegAndUpright_data()
{
    QTest::addColumn<int>("orientation");
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::newRow(qPrintable(QStringLiteral("orientation %1").arg(orientation))) << orientation;
}

// The turn is made by the placement of the picture on an upright page: the
// page shows what Qt's own reader shows, and the picture keeps its bytes.
void TestPdfDocumentPictures::everyExifTurnStaysJpegAndUpright()
{
    QFETCH(int, orientation);
    QByteArray bytes = fileBytes(picture(QStringLiteral("photo-exif1.jpg")));
    const QByteArray entry("\x01\x12\x00\x03\x00\x00\x00\x01", 8);
    const qsizetype at = bytes.indexOf(entry);
    QVERIFY(at > 0);
    bytes[at + 8] = 0;
    bytes[at + 9] = char(orientation);
    const QString file = path(QStringLiteral("turn-%1.jpg").arg(orientation));
    QVERIFY(writeBytes(file, bytes));
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QImage shown = reader.read();
    QVERIFY(!shown.isNull());

    PdfDocument doc;
    QVERIFY2(doc.importDocument(file), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("turn-%1.pdf").arg(orientation));
    QVERIFY(doc.save(out));
    const QList<pdftools::ImageRow> rows = pdftools::listImages(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].encoding, QStringLiteral("jpeg"));
    QCOMPARE(pdftools::pageSizes(out).value(0), QSizeF(shown.width() * 72.0 / 150, shown.height() * 72.0 / 150));
    const QImage page = pdftools::renderPage(out, 0, 150);
    QCOMPARE(page.size(), shown.size());
    QVERIFY2(meanDifference(page, shown) < 12, qPrintable(QString::number(meanDifference(page, shown))));
}

void TestPdfDocumentPictures::blackAndWhiteKeepsOneBit_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("bits");
    const QImage mono = drawing(QSize(90, 50), QImage::Format_Mono);
    QTest::newRow("one bit a pixel") << mono << 1;
    QTest::newRow("grey, only black and white") << mono.convertToFormat(QImage::Format_Grayscale8) << 1;
    QTest::newRow("colour, only black and white") << mono.convertToFormat(QImage::Format_RGB32) << 1;
    QImage touched = mono.convertToFormat(QImage::Format_Grayscale8);
    touched.setPixel(3, 3, qRgb(128, 128, 128));
    QTest::newRow("one grey pixel") << touched << 8;
    QImage odd(13, 7, QImage::Format_Mono);  // rows that end inside a byte
    odd.fill(1);
    odd.setPixel(12, 6, 0);
    QTest::newRow("width not a multiple of eight") << odd << 1;
}

// Pure black and white is stored one bit a pixel and shows the same pixels.
void TestPdfDocumentPictures::blackAndWhiteKeepsOneBit()
{
    QFETCH(QImage, image);
    QFETCH(int, bits);
    PdfDocument doc;
    QVERIFY(doc.appendRenderedPage(image, QSizeF(image.width(), image.height())));
    const QString out = path(QStringLiteral("bw-%1.pdf").arg(QTest::currentDataTag()).replace(' ', '-'));
    QVERIFY(doc.save(out));
    const QList<pdftools::ImageRow> rows = pdftools::listImages(out);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].color, QStringLiteral("gray"));
    QCOMPARE(rows[0].bitsPerComponent, bits);
    const QImage page = doc.renderPage(0, 1.0, 0);
    QCOMPARE(page.size(), image.size());
    QCOMPARE(meanDifference(page, image), 0.0);
}

void TestPdfDocumentPictures::notAPictureSaysSo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");  // empty: imported
    const QByteArray text("Это не картинка, а текст.\n");
    QTest::newRow("text named .png") << "text.png" << text << "не является изображением";
    QTest::newRow("text named .TIF") << "text.TIF" << text << "не является изображением";
    QTest::newRow("text named .pdf: not a PDF") << "text.pdf" << text << "PDF";
    QTest::newRow("picture named .pdf") << "picture.pdf" << encoded(drawing(QSize(30, 20)), "png") << "";
}

void TestPdfDocumentPictures::notAPictureSaysSo()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString file = path(name);
    QVERIFY(writeBytes(file, bytes));
    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QCOMPARE(doc.importDocument(file), reason.isEmpty());
    QVERIFY2(doc.lastError().contains(reason), qPrintable(doc.lastError()));
    if (name.endsWith(QLatin1String(".pdf")))
        QVERIFY(!doc.lastError().contains(QStringLiteral("изображением")));
}

void TestPdfDocumentPictures::pageSizeOutsidePdfSaysWhy_data()
{
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<bool>("added");
    QTest::newRow("no width") << QSizeF(0, 100) << false;
    QTest::newRow("negative height") << QSizeF(100, -1) << false;
    QTest::newRow("wider than a PDF page") << QSizeF(14400.5, 100) << false;
    QTest::newRow("the largest PDF page") << QSizeF(14400, 14400) << true;
}

void TestPdfDocumentPictures::pageSizeOutsidePdfSaysWhy()
{
    QFETCH(QSizeF, size);
    QFETCH(bool, added);
    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QCOMPARE(doc.appendRenderedPage(drawing(QSize(20, 20)), size), added);
    QCOMPARE(doc.pageCount(), added ? 1 : 0);
    if (!added)
        QVERIFY2(doc.lastError().contains(QStringLiteral("14400")), qPrintable(doc.lastError()));
}

QTEST_GUILESS_MAIN(TestPdfDocumentPictures)
#include "tst_pdfdocument_pictures.moc"
