#include "IncrementalUpdate.h"
#include "PageRemovalTrial.h"
#include "PdfEngineInternal.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QPainter>
#include <QtTest>

#include <limits>

namespace {

// The file's bytes with a black rectangle (points) drawn over its first page,
// appended as an update.
QByteArray withMark(const QByteArray& original, const QRectF& mark)
{
    pdfengine::QpdfFile file;
    QString error;
    if (!file.load(original, &error))
        return {};
    QByteArray out;
    bool appended = false;
    file.run([&](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().front();
        const std::string draw = QStringLiteral("q 0 g %1 %2 %3 %4 re f Q\n")
                                     .arg(mark.x()).arg(mark.y()).arg(mark.width()).arg(mark.height())
                                     .toStdString();
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf, draw);
        page.addPageContents(stream, false);
        appended = pdfengine::IncrementalUpdate::append(
            pdf, original,
            {{stream.getObjectID(), stream.getGeneration()}, {page.getObjectID(), page.getGeneration()}}, &out, &error);
    }, &error);
    return appended ? out : QByteArray();
}

} // namespace

class TestPageRemovalTrial : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void changesOutsideTheAreasAreFound_data();
    void changesOutsideTheAreasAreFound();
    void whiteOutsNeverReachKeptLines_data();
    void whiteOutsNeverReachKeptLines();
    void pageRectsBecomeClampedPixels_data();
    void pageRectsBecomeClampedPixels();
};

void TestPageRemovalTrial::initTestCase()
{
    PdfDocument warm;  // loads pdfium
    QVERIFY(warm.open(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))));
}

void TestPageRemovalTrial::changesOutsideTheAreasAreFound_data()
{
    QTest::addColumn<QRectF>("mark");
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<bool>("kept");
    const QRectF mark(300, 400, 24, 24);
    QTest::newRow("inside the edited box") << mark << mark.adjusted(-2, -2, 2, 2) << true;
    QTest::newRow("half outside it") << mark << mark.adjusted(12, -2, 2, 2) << false;
    QTest::newRow("far from it") << mark << QRectF(72, 700, 200, 20) << false;
    QTest::newRow("a speck, under edge noise") << QRectF(300, 400, 2, 2) << QRectF(72, 700, 200, 20) << true;
    QTest::newRow("in the page's corner") << QRectF(0, 0, 24, 24) << QRectF(72, 700, 200, 20) << false;
}

// A page is kept only where nothing outside the edited boxes looks different,
// for pdfium and poppler alike.
void TestPageRemovalTrial::changesOutsideTheAreasAreFound()
{
    QFETCH(QRectF, mark);
    QFETCH(QRectF, area);
    QFETCH(bool, kept);
    const QByteArray before = fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")));
    const QByteArray after = withMark(before, mark);
    QVERIFY(!after.isEmpty());
    QString reason;
    QMutexLocker lock(&pdfiumMutex());
    QCOMPARE(pdfengine::bytesChangeOnlyInside(before, after, 0, {area}, true, &reason), kept);
    QCOMPARE(reason.isEmpty(), kept);
}

void TestPageRemovalTrial::whiteOutsNeverReachKeptLines_data()
{
    // A 300 x 200 point page at one pixel a point; two lines of ink 10 points
    // high, the edited one at y 100 and the one kept above it at y 114.
    QTest::addColumn<QRectF>("painted");  // made white after the edit (y up)
    QTest::addColumn<QRectF>("drawn");    // made black after the edit
    QTest::addColumn<QRectF>("edited");
    QTest::addColumn<double>("keptTurn");
    QTest::addColumn<QRectF>("cleared");
    QTest::addColumn<bool>("accepted");
    const QRectF line(20, 100, 200, 10), above(20, 114, 200, 10);
    const QRectF none;
    QTest::newRow("its own line covered") << line.adjusted(-1, -1, 1, 1) << none << line.adjusted(-2, -2, 2, 2) << 0.0
                                          << line << true;
    QTest::newRow("a band over the line above") << line.adjusted(-1, -1, 1, 8) << none << line.adjusted(-2, -2, 2, 9)
                                                << 0.0 << line << false;
    QTest::newRow("the line above inside a place a line too tall")
        << line.adjusted(-1, -1, 1, 15) << none << line.adjusted(-2, -2, 2, 16) << 0.0 << line.adjusted(0, 0, 0, 14)
        << false;
    QTest::newRow("a word of the kept line cleared on its row")
        << QRectF(20, 114, 30, 10) << none << QRectF(19, 113, 32, 12) << 0.0 << QRectF(20, 114, 30, 10) << true;
    QTest::newRow("moved text drawn over the kept line") << none << QRectF(40, 115, 60, 6) << QRectF(38, 113, 64, 10)
                                                         << 0.0 << none << true;
    QTest::newRow("a change outside the edit") << QRectF(250, 20, 20, 20) << none << line.adjusted(-2, -2, 2, 2) << 0.0
                                               << line << false;
    QTest::newRow("a band over a turned kept line") << line.adjusted(-1, -1, 1, 8) << none
                                                    << line.adjusted(-2, -2, 2, 9) << 1.5 << line << false;
    QTest::newRow("an edit far off the page") << none << none << QRectF(2147483648.0, 100, 50, 10) << 0.0
                                              << QRectF(2147483648.0, 100, 50, 10) << true;
}

// The check of an edit against the page before it: what the edit drew may
// differ, but no white-out may take ink from a line it leaves as it stands,
// outside the old places it clears on purpose on that line's row.
void TestPageRemovalTrial::whiteOutsNeverReachKeptLines()
{
    QFETCH(QRectF, painted);
    QFETCH(QRectF, drawn);
    QFETCH(QRectF, edited);
    QFETCH(double, keptTurn);
    QFETCH(QRectF, cleared);
    QFETCH(bool, accepted);
    const QSizeF page(300, 200);
    const auto shown = [&](const QRectF& r) { return QRectF(r.x(), page.height() - r.bottom(), r.width(), r.height()); };
    QImage before(300, 200, QImage::Format_ARGB32);
    before.fill(Qt::white);
    QPainter ink(&before);
    ink.fillRect(shown(QRectF(20, 100, 200, 10)), Qt::black);
    ink.fillRect(shown(QRectF(20, 114, 200, 10)), Qt::black);
    ink.fillRect(shown(QRectF(250, 20, 20, 20)), Qt::black);
    ink.end();
    QImage after = before;
    QPainter edit(&after);
    if (!painted.isNull())
        edit.fillRect(shown(painted), Qt::white);
    if (!drawn.isNull())
        edit.fillRect(shown(drawn), Qt::black);
    edit.end();
    pdfengine::EditAreas areas;
    areas.edited = {TurnedBox(edited, 0)};
    areas.kept = {TurnedBox(QRectF(20, 114, 200, 10), keptTurn)};
    if (!cleared.isNull())
        areas.cleared = {TurnedBox(cleared, 0)};
    QString reason;
    QCOMPARE(pdfengine::rendersChangeOnlyInside(before, after, QPoint(), areas, page, 1.0, &reason), accepted);
    QCOMPARE(reason.isEmpty(), accepted);
}

void TestPageRemovalTrial::pageRectsBecomeClampedPixels_data()
{
    // A page 200 points high; the render's pixels as given by image.
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("pageHeight");
    QTest::addColumn<QRect>("image");
    QTest::addColumn<QRect>("pixels");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double far = 2147483648.0;  // 2^31: one past the largest int
    const QRect render(0, 0, 300, 200);
    const QRect none;
    QTest::newRow("on the page") << QRectF(10, 20, 30, 40) << 1.0 << 200.0 << render << QRect(10, 140, 30, 40);
    QTest::newRow("fractions widen outwards") << QRectF(10.4, 20.6, 30, 40) << 2.0 << 200.0 << QRect(0, 0, 600, 400)
                                              << QRect(20, 278, 61, 81);
    QTest::newRow("given corner first") << QRectF(40, 60, -30, -40) << 1.0 << 200.0 << render
                                        << QRect(10, 140, 30, 40);
    QTest::newRow("over the lower left corner") << QRectF(-50, -50, 60, 70) << 1.0 << 200.0 << render
                                                << QRect(0, 180, 10, 20);
    QTest::newRow("left of the page") << QRectF(-100, 20, 50, 10) << 1.0 << 200.0 << render << none;
    QTest::newRow("x at 2^31") << QRectF(far, 100, 50, 10) << 1.0 << 200.0 << render << none;
    QTest::newRow("y at -2^31") << QRectF(10, -far, 50, 10) << 1.0 << 200.0 << render << none;
    QTest::newRow("x at 2^31 at 150 dpi") << QRectF(far, 100, 50, 10) << 150.0 / 72 << 200.0 << render << none;
    QTest::newRow("2^40 on every side") << QRectF(-1099511627776.0, -1099511627776.0, 2199023255552.0, 2199023255552.0)
                                        << 1.0 << 200.0 << render << render;
    QTest::newRow("far off, brought in by a tiny scale") << QRectF(far, 100, 50, 10) << 1e-9 << 200.0 << render
                                                         << QRect(2, 0, 1, 1);
    QTest::newRow("the page at a huge scale") << QRectF(0, 0, 300, 200) << 1e300 << 200.0 << render << render;
    QTest::newRow("the part of a region render") << QRectF(0, 0, 1000, 1000) << 1.0 << 200.0
                                                 << QRect(100, 50, 40, 30) << QRect(100, 50, 40, 30);
    QTest::newRow("no image") << QRectF(10, 20, 30, 40) << 1.0 << 200.0 << QRect() << none;
    QTest::newRow("NaN x") << QRectF(nan, 20, 30, 40) << 1.0 << 200.0 << render << none;
    QTest::newRow("NaN height") << QRectF(10, 20, 30, nan) << 1.0 << 200.0 << render << none;
    QTest::newRow("NaN scale") << QRectF(10, 20, 30, 40) << nan << 200.0 << render << none;
    QTest::newRow("infinite x") << QRectF(inf, 20, 30, 40) << 1.0 << 200.0 << render << none;
    QTest::newRow("from -infinity, infinitely wide") << QRectF(-inf, 20, inf, 40) << 1.0 << 200.0 << render << none;
    QTest::newRow("infinitely high") << QRectF(10, 20, 30, inf) << 1.0 << 200.0 << render << QRect(10, 0, 30, 180);
    QTest::newRow("infinite scale") << QRectF(10, 20, 30, 40) << inf << 200.0 << render << none;
    QTest::newRow("infinite page height") << QRectF(10, 20, 30, 40) << 1.0 << inf << render << none;
}

// Page rectangles become pixels in floating point and are cut to the image
// before any edge turns into an int: far-off or non-finite coordinates give
// an empty rectangle or the image's own edges, never a wrapped-around int.
void TestPageRemovalTrial::pageRectsBecomeClampedPixels()
{
    QFETCH(QRectF, rect);
    QFETCH(double, scale);
    QFETCH(double, pageHeight);
    QFETCH(QRect, image);
    QFETCH(QRect, pixels);
    const QRect found = pdfengine::pixelsOfPageRect(rect, scale, pageHeight, image);
    QCOMPARE(found, pixels);
    QVERIFY(found.isEmpty() || image.contains(found));
}

QTEST_GUILESS_MAIN(TestPageRemovalTrial)
#include "tst_pageremovaltrial.moc"
