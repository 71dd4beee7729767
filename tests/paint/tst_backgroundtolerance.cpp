// The tolerance dialog's previews off the GUI thread and where the dialog stands.
#include "BackgroundPreviewer.h"
#include "BackgroundRemoval.h"
#include "BackgroundToleranceDialog.h"

#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace paint;

namespace {

// White paper with grey strokes of every shade, so each tolerance removes a different set.
QImage paper(const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); x += 3)
            image.setPixel(x, y, qRgb(255 - (x + y) % 200, 255 - (x + y) % 200, 255 - y % 200));
    return image;
}

} // namespace

class TestBackgroundTolerance : public QObject {
    Q_OBJECT
private slots:
    void latestRequestWins();
    void resultForGivesTheExactPreview_data();
    void resultForGivesTheExactPreview();
    void cancelDeliversNothing();
    void stoppedRunReturnsNothing();
    void bandsGiveThePixelsOfOnePass();
    void dialogStandsClearOfTheCanvas_data();
    void dialogStandsClearOfTheCanvas();
};

// A burst of slider values: only previews for the value still wanted are
// shown, and the last one shown is the last value asked for.
void TestBackgroundTolerance::latestRequestWins()
{
    const QImage before = paper(QSize(1500, 1000));
    BackgroundPreviewer previewer(before, Qt::white);
    QList<int> shown;
    QImage last;
    connect(&previewer, &BackgroundPreviewer::ready, this, [&](int tolerance, const QImage& preview) {
        shown << tolerance;
        last = preview;
    });
    for (int tolerance = 0; tolerance <= 60; tolerance += 4)
        previewer.request(tolerance);
    QVERIFY(QTest::qWaitFor([&] { return !previewer.busy(); }, 10000));
    QApplication::processEvents();
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.last(), 60);
    QVERIFY2(shown.size() <= 2, qPrintable(QString::number(shown.size())));  // values never started were dropped
    QCOMPARE(last, removeBackground(before, Qt::white, 60));
}

void TestBackgroundTolerance::resultForGivesTheExactPreview_data()
{
    QTest::addColumn<bool>("waitForPreview");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("applied");
    QTest::newRow("the preview on show") << true << 30 << 30;
    QTest::newRow("a run still going") << false << 30 << 30;
    QTest::newRow("another value than the one on show") << true << 30 << 31;
}

// Applying takes exactly the picture the slider's value gives, whatever the
// runs are doing.
void TestBackgroundTolerance::resultForGivesTheExactPreview()
{
    QFETCH(bool, waitForPreview);
    QFETCH(int, asked);
    QFETCH(int, applied);
    const QImage before = paper(QSize(900, 700));
    BackgroundPreviewer previewer(before, QColor(250, 250, 250));
    QSignalSpy ready(&previewer, &BackgroundPreviewer::ready);
    previewer.request(asked);
    if (waitForPreview)
        QVERIFY(ready.wait(10000));
    QCOMPARE(previewer.resultFor(applied), removeBackground(before, QColor(250, 250, 250), applied));
    QVERIFY(!previewer.busy());
}

void TestBackgroundTolerance::cancelDeliversNothing()
{
    BackgroundPreviewer previewer(paper(QSize(900, 700)), Qt::white);
    QSignalSpy ready(&previewer, &BackgroundPreviewer::ready);
    previewer.request(10);
    previewer.request(20);
    previewer.cancel();
    QVERIFY(!previewer.busy());
    QTest::qWait(50);
    QCOMPARE(ready.count(), 0);
}

void TestBackgroundTolerance::stoppedRunReturnsNothing()
{
    const QImage before = paper(QSize(50, 40));
    int asked = 0;
    QVERIFY(removeBackground(before, Qt::white, 18, [&] { return ++asked > 1; }).isNull());
    QCOMPARE(asked, 2);
    QCOMPARE(removeBackground(before, Qt::white, 18, [] { return false; }), removeBackground(before, Qt::white, 18));
}

// A picture large enough to be done in bands, with odd rows left over, against
// the rule applied pixel by pixel.
void TestBackgroundTolerance::bandsGiveThePixelsOfOnePass()
{
    const QImage before = paper(QSize(1201, 1003));
    const QColor key(240, 240, 250);
    const int tolerance = 25;
    QImage expected = before.copy();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb p = expected.pixel(x, y);
            if (qAbs(qRed(p) - key.red()) <= tolerance && qAbs(qGreen(p) - key.green()) <= tolerance &&
                qAbs(qBlue(p) - key.blue()) <= tolerance)
                expected.setPixel(x, y, 0);
        }
    QCOMPARE(removeBackground(before, key, tolerance), expected);
}

void TestBackgroundTolerance::dialogStandsClearOfTheCanvas_data()
{
    QTest::addColumn<QRect>("canvas");
    QTest::addColumn<QRect>("expected");  // null: anywhere on the screen with the least overlap
    const QSize dialog(560, 200);
    QTest::newRow("room below") << QRect(400, 100, 800, 600) << QRect(QPoint(519, 712), dialog);
    QTest::newRow("room above only") << QRect(400, 500, 800, 560) << QRect(QPoint(519, 288), dialog);
    QTest::newRow("room to the right only") << QRect(100, 20, 1000, 1040) << QRect(QPoint(1112, 439), dialog);
    QTest::newRow("room to the left only") << QRect(800, 20, 1000, 1040) << QRect(QPoint(228, 439), dialog);
    QTest::newRow("canvas fills the screen") << QRect(0, 0, 1920, 1080) << QRect();
    QTest::newRow("below, pushed in from the screen's right edge") << QRect(1500, 100, 400, 500)
                                                                   << QRect(QPoint(1360, 612), dialog);
}

void TestBackgroundTolerance::dialogStandsClearOfTheCanvas()
{
    QFETCH(QRect, canvas);
    QFETCH(QRect, expected);
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(560, 200);
    const QRect placed(BackgroundToleranceDialog::positionClearOf(canvas, size, screen), size);
    QVERIFY(screen.contains(placed));
    if (!expected.isNull()) {
        QCOMPARE(placed, expected);
        QVERIFY(!placed.intersects(canvas));
    } else {
        // Nowhere is clear: it stays on the screen, over as little as any other place.
        QVERIFY(placed.intersects(canvas));
    }
}

QTEST_MAIN(TestBackgroundTolerance)
#include "tst_backgroundtolerance.moc"
