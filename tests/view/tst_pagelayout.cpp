#include "PageLayout.h"

#include <QTest>

class TestPageLayout : public QObject {
    Q_OBJECT
private slots:
    void pageAtContentYFindsPagesAndGaps_data();
    void pageAtContentYFindsPagesAndGaps();
    void rotationSwapsSidesOnOddQuarterTurns_data();
    void rotationSwapsSidesOnOddQuarterTurns();
    void pageTopCornersFollowTheRotation_data();
    void pageTopCornersFollowTheRotation();
    void continuousTopsFollowZoomAndRotation();
    void pagesTheLayoutDoesNotHoldHaveNoSize();

private:
    static PageLayout twoPages();
};

PageLayout TestPageLayout::twoPages()
{
    PageLayout layout;
    layout.setPageSizes({QSizeF(200, 100), QSizeF(300, 150), QSizeF(50, 60)});
    return layout;
}

void TestPageLayout::pageAtContentYFindsPagesAndGaps_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("page");
    QTest::newRow("above the first page") << 9 << -1;
    QTest::newRow("first row of page 0") << 10 << 0;
    QTest::newRow("last row of page 0") << 109 << 0;
    QTest::newRow("gap after page 0") << 110 << -1;
    QTest::newRow("first row of page 1") << 120 << 1;
    QTest::newRow("last page") << 300 << 2;
    QTest::newRow("below the canvas") << 5000 << -1;
}

void TestPageLayout::pageAtContentYFindsPagesAndGaps()
{
    QFETCH(int, y);
    QFETCH(int, page);
    QCOMPARE(twoPages().pageAtContentY(y), page);
}

void TestPageLayout::rotationSwapsSidesOnOddQuarterTurns_data()
{
    QTest::addColumn<int>("viewDegrees");
    QTest::addColumn<int>("pageDegrees");
    QTest::addColumn<QSize>("pixels");
    QTest::newRow("none") << 0 << 0 << QSize(300, 400);
    QTest::newRow("view 90") << 90 << 0 << QSize(400, 300);
    QTest::newRow("view 90 + page 90") << 90 << 90 << QSize(300, 400);
    QTest::newRow("view 270 + page -180") << 270 << -180 << QSize(400, 300);
    QTest::newRow("view 45 counts as none") << 45 << 0 << QSize(300, 400);
}

void TestPageLayout::rotationSwapsSidesOnOddQuarterTurns()
{
    QFETCH(int, viewDegrees);
    QFETCH(int, pageDegrees);
    QFETCH(QSize, pixels);
    PageLayout layout;
    layout.setPageSizes({QSizeF(600, 800)});
    layout.setZoom(0.5);
    layout.setRotations(viewDegrees, {{0, pageDegrees}});
    QCOMPARE(layout.pixelSize(0), pixels);
}

void TestPageLayout::pageTopCornersFollowTheRotation_data()
{
    QTest::addColumn<int>("degrees");
    QTest::addColumn<QPointF>("topLeft");
    QTest::addColumn<QPointF>("bottomRight");
    // A 100 x 50 page at zoom 2: the page-top corners land on these pixels.
    QTest::newRow("0") << 0 << QPointF(0, 0) << QPointF(200, 100);
    QTest::newRow("90 clockwise") << 90 << QPointF(100, 0) << QPointF(0, 200);
    QTest::newRow("180") << 180 << QPointF(200, 100) << QPointF(0, 0);
    QTest::newRow("270") << 270 << QPointF(0, 200) << QPointF(100, 0);
}

void TestPageLayout::pageTopCornersFollowTheRotation()
{
    QFETCH(int, degrees);
    QFETCH(QPointF, topLeft);
    QFETCH(QPointF, bottomRight);
    PageLayout layout;
    layout.setPageSizes({QSizeF(100, 50)});
    layout.setZoom(2);
    layout.setRotations(degrees, {});
    const QTransform toPixels = layout.pageTopToPixels(0);
    QCOMPARE(toPixels.map(QPointF(0, 0)), topLeft);
    QCOMPARE(toPixels.map(QPointF(100, 50)), bottomRight);
    QCOMPARE(toPixels.mapRect(QRectF(0, 0, 100, 50)), QRectF(QPointF(0, 0), QSizeF(layout.pixelSize(0))));
}

void TestPageLayout::continuousTopsFollowZoomAndRotation()
{
    PageLayout layout = twoPages();
    QCOMPARE(layout.continuousTop(1), 120);
    QCOMPARE(layout.continuousTop(2), 10 + 110 + 160);
    QCOMPARE(layout.continuousHeight(), 280 + 70);
    QCOMPARE(layout.continuousWidth(), 320);
    layout.setZoom(2);
    QCOMPARE(layout.continuousTop(2), 10 + 210 + 310);
    layout.setRotations(90, {});
    QCOMPARE(layout.continuousTop(2), 10 + 410 + 610);
    QCOMPARE(layout.continuousWidth(), 300 + 20);
}

// A paint between a document's change and the view's new layout may ask for
// a page past the end.
void TestPageLayout::pagesTheLayoutDoesNotHoldHaveNoSize()
{
    const PageLayout layout = twoPages();
    for (int page : {-1, 3, 40})
        QVERIFY2(layout.pixelSize(page).isEmpty() && layout.pagePointSize(page).isEmpty(), qPrintable(QString::number(page)));
}

QTEST_APPLESS_MAIN(TestPageLayout)
#include "tst_pagelayout.moc"
