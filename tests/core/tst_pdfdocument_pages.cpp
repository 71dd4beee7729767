#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfPageTransform.h"

#include <QImage>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::readFile;
using fixtures::textPdf;
using fixtures::writeFile;

class TestPdfDocumentPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sizesWithAndWithoutDocument();
    void rotationCountsWholeQuarterTurns_data();
    void rotationCountsWholeQuarterTurns();
    void cornersLandWhereTheTurnedPageShowsThem_data();
    void cornersLandWhereTheTurnedPageShowsThem();
    void transformRoundTripsAndAgreesWithItsMatrix();
    void pageEditsChangeOrderAndRevision();
    void appendPageFromAnotherFile();
    void importingPicturesAndDocuments();
    void extractPageSubsetWritesListedPages();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString threePages();
    QTemporaryDir m_dir;
};

void TestPdfDocumentPages::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

QString TestPdfDocumentPages::threePages()
{
    const QString file = path(QStringLiteral("three.pdf"));
    writeFile(file, textPdf({QStringLiteral("First"), QStringLiteral("Second"), QStringLiteral("Third")}));
    return file;
}

void TestPdfDocumentPages::sizesWithAndWithoutDocument()
{
    PdfDocument doc;
    QCOMPARE(doc.pageCount(), 0);
    QCOMPARE(doc.pageSize(0), QSizeF(-1, -1));
    QVERIFY(doc.open(threePages()));
    QCOMPARE(doc.pageCount(), 3);
    QCOMPARE(doc.pageSize(1), QSizeF(595, 842));
    QCOMPARE(doc.pageSize(-1), QSizeF(595, 842));
    QCOMPARE(doc.pageSize(doc.pageCount()), QSizeF(595, 842));

    fixtures::PageSpec letter;
    letter.width = 612;
    letter.height = 792;
    letter.rotate = 90;
    fixtures::PageSpec cropped;
    cropped.cropBox = QRectF(50, 100, 300, 400);
    QVERIFY(writeFile(path(QStringLiteral("sizes.pdf")), fixtures::pagesPdf({letter, cropped})));
    QVERIFY(doc.open(path(QStringLiteral("sizes.pdf"))));
    QCOMPARE(doc.pageSize(0), QSizeF(792, 612));  // as displayed
    QCOMPARE(doc.pageSize(1), QSizeF(300, 400));
}

void TestPdfDocumentPages::rotationCountsWholeQuarterTurns_data()
{
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("90") << QList<int>{90} << QSizeF(842, 595);
    QTest::newRow("four quarter turns") << QList<int>{90, 90, 90, 90} << QSizeF(595, 842);
    QTest::newRow("-90 equals 270") << QList<int>{-90} << QSizeF(842, 595);
    QTest::newRow("45 adds nothing") << QList<int>{45} << QSizeF(595, 842);
    QTest::newRow("180 then 90") << QList<int>{180, 90} << QSizeF(842, 595);
    QTest::newRow("-450 is three quarters") << QList<int>{-450, 90} << QSizeF(595, 842);
}

void TestPdfDocumentPages::rotationCountsWholeQuarterTurns()
{
    QFETCH(QList<int>, steps);
    QFETCH(QSizeF, size);
    PdfDocument doc;
    QVERIFY(doc.open(threePages()));
    for (int degrees : steps)
        QVERIFY(doc.rotatePage(0, degrees));
    QVERIFY(doc.isModified());  // also for 45 degrees
    QCOMPARE(doc.pageSize(0), size);
    QCOMPARE(doc.pageSize(1), QSizeF(595, 842));
    QVERIFY(!doc.rotatePage(7, 90));
}

void TestPdfDocumentPages::cornersLandWhereTheTurnedPageShowsThem_data()
{
    QTest::addColumn<int>("turns");
    QTest::addColumn<QPointF>("user");
    QTest::addColumn<QPointF>("displayed");
    QTest::addColumn<QSizeF>("size");
    // Box (10, 20) .. (210, 320): 200 wide, 300 high, offset like a crop box.
    const QPointF topLeft(10, 320);
    QTest::newRow("0") << 0 << topLeft << QPointF(0, 300) << QSizeF(200, 300);
    QTest::newRow("90: top-left goes to top-right") << 1 << topLeft << QPointF(300, 200) << QSizeF(300, 200);
    QTest::newRow("180: top-left goes to bottom-right") << 2 << topLeft << QPointF(200, 0) << QSizeF(200, 300);
    QTest::newRow("270: top-left goes to bottom-left") << 3 << topLeft << QPointF(0, 0) << QSizeF(300, 200);
    QTest::newRow("-90 is 270") << -1 << topLeft << QPointF(0, 0) << QSizeF(300, 200);
    QTest::newRow("90: bottom-left goes to top-left") << 1 << QPointF(10, 20) << QPointF(0, 200) << QSizeF(300, 200);
}

void TestPdfDocumentPages::cornersLandWhereTheTurnedPageShowsThem()
{
    QFETCH(int, turns);
    QFETCH(QPointF, user);
    QFETCH(QPointF, displayed);
    QFETCH(QSizeF, size);
    const PdfPageTransform transform(QRectF(10, 20, 200, 300), turns);
    QCOMPARE(transform.toPage(user), displayed);
    QCOMPARE(transform.pageSize(), size);
    QCOMPARE(transform.isIdentity(), false);  // the box is off the origin
}

void TestPdfDocumentPages::transformRoundTripsAndAgreesWithItsMatrix()
{
    QVERIFY(PdfPageTransform(QRectF(0, 0, 200, 300), 0).isIdentity());
    for (int turns = 0; turns < 4; ++turns) {
        const PdfPageTransform transform(QRectF(-5, 40, 612, 792), turns);
        const QRectF user(100, 200, 50, 12);
        const QRectF page = transform.toPage(user);
        QCOMPARE(transform.toUser(page), user);
        QCOMPARE(page.width() * page.height(), user.width() * user.height());
        for (const QPointF& p : {QPointF(0, 0), QPointF(123.5, 17), QPointF(390, 650)}) {
            const QPointF viaMatrix = transform.toUserMatrix().map(p);
            const QPointF viaPoint = transform.toUser(p);
            QVERIFY(qAbs(viaMatrix.x() - viaPoint.x()) < 1e-9 && qAbs(viaMatrix.y() - viaPoint.y()) < 1e-9);
        }
    }
}

// Every page edit changes the revision and the pages; refused edits (blank
// pages of unusable sizes among them), reading and rendering change neither.
void TestPdfDocumentPages::pageEditsChangeOrderAndRevision()
{
    PdfDocument doc;
    QVERIFY(!doc.insertBlankPage(0, QSizeF(100, 100)));  // no document
    const quint64 closed = doc.revision();
    QVERIFY(doc.open(threePages()));
    quint64 seen = doc.revision();
    QVERIFY(seen != closed);
    const auto changed = [&] {
        const quint64 now = doc.revision();
        const bool differs = now != seen;
        seen = now;
        return differs;
    };
    QVERIFY(!doc.deletePage(doc.pageCount()));
    QVERIFY(!doc.deletePage(-1));
    QVERIFY(!doc.movePage(0, 5));
    for (const QSizeF& unusable : {QSizeF(0, 100), QSizeF(100, -1), QSizeF(qQNaN(), 100), QSizeF(1e9, 100)})
        QVERIFY(!doc.insertBlankPage(0, unusable));
    QCOMPARE(doc.pageCount(), 3);
    QVERIFY(!doc.isModified());
    QVERIFY(!changed());
    QVERIFY(doc.movePage(0, 2));
    QVERIFY(changed());
    QCOMPARE(doc.extractAllTextAllPages(), QStringLiteral("Second\nThird\nFirst"));
    QVERIFY(doc.movePage(2, 0));
    QVERIFY(changed());
    QCOMPARE(doc.extractAllTextAllPages(), QStringLiteral("First\nSecond\nThird"));
    QVERIFY(doc.insertBlankPage(1, QSizeF(300, 200)));
    QVERIFY(changed());
    QCOMPARE(doc.pageSize(1), QSizeF(300, 200));
    QCOMPARE(doc.extractAllTextAllPages(), QStringLiteral("First\n\nSecond\nThird"));
    QVERIFY(doc.insertBlankPage(100, QSizeF(100, 100)));
    QCOMPARE(doc.pageSize(4), QSizeF(100, 100));
    QVERIFY(doc.deletePage(0));
    QVERIFY(changed());
    QCOMPARE(doc.extractAllText(1), QStringLiteral("Second"));
    QVERIFY(doc.rotatePage(0, 90));
    QVERIFY(changed());
    doc.pageSize(0);
    doc.renderPage(0, 0.5, 0);
    QVERIFY(!changed());
    const QString out = path(QStringLiteral("revision.pdf"));
    QVERIFY(doc.saveAs(out));
    QVERIFY(doc.save(out)); // over the open file: reloaded
    QVERIFY(changed());
    QCOMPARE(doc.pageSize(0), QSizeF(200, 300));  // the blank page, turned
    QCOMPARE(doc.pageTransform(0).quarterTurns(), 1);
    doc.close();
    QVERIFY(changed());
}

void TestPdfDocumentPages::appendPageFromAnotherFile()
{
    PdfDocument doc;
    QVERIFY(doc.open(threePages()));
    QVERIFY(!doc.appendPage(path(QStringLiteral("missing.pdf")), 0));
    QVERIFY(!doc.lastError().isEmpty());
    const QString garbage = path(QStringLiteral("garbage.pdf"));
    QVERIFY(writeFile(garbage, "not a pdf"));
    QVERIFY(!doc.appendPage(garbage, 0));
    QCOMPARE(doc.lastError(), QStringLiteral("Invalid PDF format"));
    QVERIFY(!doc.isModified());
    const QString other = path(QStringLiteral("other.pdf"));
    QVERIFY(writeFile(other, textPdf({QStringLiteral("Other one"), QStringLiteral("Other two")})));
    QVERIFY(doc.appendPage(other, 1));
    QCOMPARE(doc.pageCount(), 4);
    QCOMPARE(doc.extractAllText(3), QStringLiteral("Other two"));
    QVERIFY(doc.isModified());
    QVERIFY(!doc.appendPage(other, 2));
    QVERIFY(!doc.appendPage(other, -1));
    QCOMPARE(doc.pageCount(), 4);
}

// A picture alone becomes a document of one page, covered by it (at 150 dpi,
// as the picture records no resolution); a PDF needs an open document to
// join; a picture then becomes one more page.
void TestPdfDocumentPages::importingPicturesAndDocuments()
{
    QImage picture(1500, 2100, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    const QString scan = path(QStringLiteral("scan.png"));
    QVERIFY(fixtures::writeFile(scan, fixtures::pngWithoutResolution(picture)));
    PdfDocument alone;
    QVERIFY(alone.importDocument(scan));
    QVERIFY(alone.isOpen());
    QCOMPARE(alone.pageCount(), 1);
    QCOMPARE(alone.pageSize(0), QSizeF(720, 1008));
    const QImage page = alone.renderPage(0, 0.1, 0);
    QCOMPARE(page.size(), QSize(72, 101));
    for (const QPoint& p : {QPoint(36, 50), QPoint(1, 1), QPoint(70, 99)}) {
        const QColor c = page.pixelColor(p);
        QVERIFY2(c.red() > 180 && c.green() < 60 && c.blue() < 60, qPrintable(c.name()));
    }

    QImage wide(300, 150, QImage::Format_ARGB32);
    wide.fill(Qt::blue);
    const QString file = path(QStringLiteral("wide.jpg"));
    QVERIFY(wide.save(file, "JPG"));
    // Named like a PDF: the picture reader goes by content.
    const QString misnamed = path(QStringLiteral("wide-picture.pdf"));
    QVERIFY(QFile::copy(file, misnamed));
    PdfDocument doc;
    QVERIFY(!doc.importDocument(threePages()));
    QVERIFY(doc.open(threePages()));
    QVERIFY(doc.importDocument(threePages()));
    QCOMPARE(doc.pageCount(), 6);
    QCOMPARE(doc.extractAllText(5), QStringLiteral("Third"));
    QVERIFY(doc.importDocument(misnamed));
    QCOMPARE(doc.pageCount(), 7);
    QCOMPARE(doc.pageSize(6), QSizeF(225, 112.5));  // at the 96 dpi Qt's writer records
    const QString broken = path(QStringLiteral("broken.png"));
    QVERIFY(writeFile(broken, readFile(file).left(40).replace(0, 4, "\x89PNG")));
    QVERIFY(!doc.importDocument(broken));
    QCOMPARE(doc.pageCount(), 7);
}

void TestPdfDocumentPages::extractPageSubsetWritesListedPages()
{
    PdfDocument doc;
    QVERIFY(doc.open(threePages()));
    const QString out = path(QStringLiteral("subset.pdf"));
    QVERIFY(doc.extractPageSubset({2, 0, 2}, out));
    QVERIFY(!doc.isModified());
    PdfDocument subset;
    QVERIFY(subset.open(out));
    QCOMPARE(subset.extractAllTextAllPages(), QStringLiteral("Third\nFirst\nThird"));
    QVERIFY(!doc.extractPageSubset({}, path(QStringLiteral("none.pdf"))));
    QVERIFY(!QFile::exists(path(QStringLiteral("none.pdf"))));
    QVERIFY(!doc.extractPageSubset({0, 9}, path(QStringLiteral("bad.pdf"))));
    QVERIFY(!QFile::exists(path(QStringLiteral("bad.pdf"))));
}

QTEST_GUILESS_MAIN(TestPdfDocumentPages)
#include "tst_pdfdocument_pages.moc"
