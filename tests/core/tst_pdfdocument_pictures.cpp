#include "PdfDocument.h"
#include "PdfTools.h"
#include "PictureFile.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Sizes = QList<QSizeF>;

class TestPdfDocumentPictures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void picturesBecomePages_data();
    void picturesBecomePages();
    void refusedPicturesSayWhy_data();
    void refusedPicturesSayWhy();
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
    QTest::addColumn<QStringList>("colours");  // of the page pictures, page by page
    QTest::addColumn<int>("masks");
    QTest::addColumn<bool>("redOnTop");

    const Sizes portrait{QSizeF(57.6, 96)};  // 120 x 200 pixels at 150 dpi
    const QStringList rgb{QStringLiteral("rgb")};
    QTest::newRow("photo upright") << "photo-exif1.jpg" << portrait << rgb << 0 << true;
    QTest::newRow("photo turned half") << "photo-exif3.jpg" << portrait << rgb << 0 << true;
    QTest::newRow("photo turned clockwise") << "photo-exif6.jpg" << portrait << rgb << 0 << true;
    QTest::newRow("photo turned anticlockwise") << "photo-exif8.jpg" << portrait << rgb << 0 << true;
    QTest::newRow("grey png") << "scan-grey.png" << portrait << QStringList{QStringLiteral("gray")} << 0 << false;
    QTest::newRow("grey jpeg") << "scan-grey.jpg" << portrait << QStringList{QStringLiteral("gray")} << 0 << false;
    QTest::newRow("see-through stamp") << "stamp-alpha.png" << Sizes{QSizeF(48, 28.8)} << rgb << 1 << false;
    QTest::newRow("three-page tiff") << "scan-3pages.tif" << Sizes{QSizeF(48, 67.2), QSizeF(67.2, 48), QSizeF(57.6, 57.6)}
                                     << QStringList{QStringLiteral("gray"), QStringLiteral("gray"), QStringLiteral("rgb")}
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
            seen << row.color;
            QCOMPARE(row.bitsPerComponent, 8);
            QCOMPARE(row.xPpi, 150);
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

QTEST_GUILESS_MAIN(TestPdfDocumentPictures)
#include "tst_pdfdocument_pictures.moc"
