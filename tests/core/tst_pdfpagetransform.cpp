#include "PdfPageTransform.h"

#include <QTest>

class TestPdfPageTransform : public QObject {
    Q_OBJECT
private slots:
    void cornersLandWhereTheTurnedPageShowsThem_data();
    void cornersLandWhereTheTurnedPageShowsThem();
    void roundTripThroughUserSpace();
    void displayedSizeSwapsOnQuarterTurns();
    void matrixAgreesWithPointMapping();
};

void TestPdfPageTransform::matrixAgreesWithPointMapping()
{
    for (int turns = 0; turns < 4; ++turns) {
        const PdfPageTransform transform(QRectF(15, -30, 400, 700), turns);
        for (const QPointF& p : {QPointF(0, 0), QPointF(123.5, 17), QPointF(390, 650)}) {
            const QPointF viaMatrix = transform.toUserMatrix().map(p);
            const QPointF viaPoint = transform.toUser(p);
            QVERIFY(qAbs(viaMatrix.x() - viaPoint.x()) < 1e-9 && qAbs(viaMatrix.y() - viaPoint.y()) < 1e-9);
        }
    }
}

void TestPdfPageTransform::cornersLandWhereTheTurnedPageShowsThem_data()
{
    QTest::addColumn<int>("turns");
    QTest::addColumn<QPointF>("userTopLeft");   // the unrotated page's top-left corner
    QTest::addColumn<QPointF>("displayed");
    // Box (10, 20) .. (210, 320): 200 wide, 300 high, offset like a crop box.
    QTest::newRow("0") << 0 << QPointF(10, 320) << QPointF(0, 300);
    QTest::newRow("90: top-left goes to top-right") << 1 << QPointF(10, 320) << QPointF(300, 200);
    QTest::newRow("180: top-left goes to bottom-right") << 2 << QPointF(10, 320) << QPointF(200, 0);
    QTest::newRow("270: top-left goes to bottom-left") << 3 << QPointF(10, 320) << QPointF(0, 0);
    QTest::newRow("-90 is 270") << -1 << QPointF(10, 320) << QPointF(0, 0);
    QTest::newRow("90: bottom-left goes to top-left") << 1 << QPointF(10, 20) << QPointF(0, 200);
}

void TestPdfPageTransform::cornersLandWhereTheTurnedPageShowsThem()
{
    QFETCH(int, turns);
    QFETCH(QPointF, userTopLeft);
    QFETCH(QPointF, displayed);
    const PdfPageTransform transform(QRectF(10, 20, 200, 300), turns);
    QCOMPARE(transform.toPage(userTopLeft), displayed);
}

void TestPdfPageTransform::roundTripThroughUserSpace()
{
    for (int turns = 0; turns < 4; ++turns) {
        const PdfPageTransform transform(QRectF(-5, 40, 612, 792), turns);
        const QRectF user(100, 200, 50, 12);
        const QRectF page = transform.toPage(user);
        QCOMPARE(transform.toUser(page), user);
        QCOMPARE(page.width() * page.height(), user.width() * user.height());
    }
}

void TestPdfPageTransform::displayedSizeSwapsOnQuarterTurns()
{
    QCOMPARE(PdfPageTransform(QRectF(0, 0, 200, 300), 1).pageSize(), QSizeF(300, 200));
    QCOMPARE(PdfPageTransform(QRectF(0, 0, 200, 300), 2).pageSize(), QSizeF(200, 300));
    QVERIFY(PdfPageTransform(QRectF(0, 0, 200, 300), 0).isIdentity());
    QVERIFY(!PdfPageTransform(QRectF(5, 0, 200, 300), 0).isIdentity());
}

QTEST_GUILESS_MAIN(TestPdfPageTransform)
#include "tst_pdfpagetransform.moc"
