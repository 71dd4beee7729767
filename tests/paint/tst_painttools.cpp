#include "CanvasFixture.h"
#include "FillTool.h"
#include "PendingShape.h"
#include "Regions.h"
#include "SelectionTools.h"
#include "Strokes.h"
#include "ViewTools.h"

#include <QInputDialog>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTimer>
#include <QUndoStack>

#include <deque>

using namespace paint;

namespace {

// Mouse events straight to the tool, bypassing the canvas.
void press(Tool& tool, CanvasFixture& f, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QMouseEvent event(QEvent::MouseButtonPress, pos, pos, button, button, Qt::NoModifier);
    tool.mousePress(&f.canvas, f.document.get(), &event, pos);
}
void move(Tool& tool, CanvasFixture& f, QPoint pos, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent event(QEvent::MouseMove, pos, pos, Qt::NoButton, buttons, Qt::NoModifier);
    tool.mouseMove(&f.canvas, f.document.get(), &event, pos);
}
void release(Tool& tool, CanvasFixture& f, QPoint pos)
{
    QMouseEvent event(QEvent::MouseButtonRelease, pos, pos, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    tool.mouseRelease(&f.canvas, f.document.get(), &event, pos);
}

// The breadth-first reading of the 4-connected region: the reference the fast fills must match.
QImage referenceFill(QImage image, QPoint seed, QRgb fill)
{
    const QRgb target = image.pixel(seed);
    std::deque<QPoint> queue { seed };
    while (!queue.empty()) {
        const QPoint p = queue.front();
        queue.pop_front();
        if (!image.rect().contains(p) || image.pixel(p) != target)
            continue;
        image.setPixel(p, fill);
        queue.insert(queue.end(), { p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1) });
    }
    return image;
}

QImage randomTwoColourImage(quint32 seed, QSize size)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, random.bounded(100) < 62 ? 0xffffffffu : 0xff000000u);
    return image;
}

} // namespace

class TestPaintTools : public QObject {
    Q_OBJECT
private slots:
    void snapping_data();
    void snapping();
    void fillMatchesTheRegionExactly();
    void fillWithTheClickedColourRecordsNothing();
    void fillDoesNotCrossADiagonalGap();
    void wandTolerance_data();
    void wandTolerance();
    void eyedropperGivesOpaqueStoredColour();
    void moveShiftsTheLayer();
    void lassoNeedsThreePoints();
    void textFontSize_data();
    void textFontSize();
    void textToolPlacesPendingText();
    void cropClickKeepsThePicture();
};

void TestPaintTools::snapping_data()
{
    QTest::addColumn<bool>("square");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("15 degrees") << false << QPoint(10, 4) << QPoint(10, 3);
    QTest::newRow("45 degrees") << false << QPoint(10, 8) << QPoint(9, 9);
    QTest::newRow("165 degrees") << false << QPoint(-7, 1) << QPoint(-7, 2);
    QTest::newRow("start pixel") << false << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("square") << true << QPoint(20, 5) << QPoint(5, 5);
    QTest::newRow("square up-left") << true << QPoint(-20, -5) << QPoint(-5, -5);
    QTest::newRow("zero dy counts positive") << true << QPoint(-20, 0) << QPoint(0, 0);
    QTest::newRow("zero dx with negative dy") << true << QPoint(0, -7) << QPoint(0, 0);
}

void TestPaintTools::snapping()
{
    QFETCH(bool, square);
    QFETCH(QPoint, to);
    QFETCH(QPoint, expected);
    QCOMPARE(square ? squareSnap(QPoint(), to) : angleSnap(QPoint(), to), expected);
}

void TestPaintTools::fillMatchesTheRegionExactly()
{
    for (quint32 seed = 1; seed <= 6; ++seed) {
        const QImage image = randomTwoColourImage(seed, QSize(61, 47));
        const QPoint start(30, 23);
        QImage filled = image;
        QVERIFY(floodFill(filled, start, 0xffff0000u) == (image.pixel(start) != 0xffff0000u));
        QCOMPARE(filled, referenceFill(image, start, 0xffff0000u));

        // The wand's box is the bounding box of the same region.
        QImage marked = referenceFill(image, start, 0xff00ff00u);
        QRect box;
        for (int y = 0; y < marked.height(); ++y)
            for (int x = 0; x < marked.width(); ++x)
                if (marked.pixel(x, y) == 0xff00ff00u)
                    box |= QRect(x, y, 1, 1);
        QCOMPARE(wandRegion(image, start, 0), box);
        QVERIFY(wandRegion(image, QPoint(61, 0), 4).isEmpty());
    }
}

void TestPaintTools::fillWithTheClickedColourRecordsNothing()
{
    CanvasFixture f(QSize(20, 20), QSize(100, 100));
    FillTool fill;
    fill.setPrimaryColor(Qt::white);
    const QImage before = f.layer(0).image;
    press(fill, f, QPoint(5, 5));
    press(fill, f, QPoint(-1, 5));
    QCOMPARE(f.canvas.undoStack()->count(), 0);
    QCOMPARE(f.layer(0).image, before);
    fill.setPrimaryColor(Qt::blue);
    press(fill, f, QPoint(5, 5));
    QCOMPARE(f.canvas.undoStack()->count(), 1);
}

void TestPaintTools::fillDoesNotCrossADiagonalGap()
{
    CanvasFixture f(QSize(20, 20), QSize(100, 100));
    // A diagonal line from the top-left to the bottom-right, one-pixel diagonal steps.
    for (int i = 0; i < 20; ++i)
        f.layer(0).image.setPixel(i, i, 0xff000000u);
    FillTool fill;
    fill.setPrimaryColor(Qt::red);
    press(fill, f, QPoint(15, 2));
    const QImage& image = f.layer(0).image;
    QCOMPARE(image.pixel(15, 2), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(19, 18), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(2, 15), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(0, 1), qRgb(255, 255, 255));
}

void TestPaintTools::wandTolerance_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QRgb>("neighbour");
    QTest::addColumn<bool>("included");
    QTest::newRow("16 in red") << 8 << qRgba(116, 100, 100, 255) << true;
    QTest::newRow("17 in red") << 8 << qRgba(117, 100, 100, 255) << false;
    QTest::newRow("16 below in blue") << 8 << qRgba(100, 100, 84, 255) << true;
    QTest::newRow("17 in alpha") << 8 << qRgba(100, 100, 100, 238) << false;
    QTest::newRow("size 200 takes all") << 200 << qRgba(0, 255, 0, 0) << true;
}

void TestPaintTools::wandTolerance()
{
    QFETCH(int, size);
    QFETCH(QRgb, neighbour);
    QFETCH(bool, included);
    CanvasFixture f(QSize(10, 3), QSize(100, 100));
    QImage straight(10, 3, QImage::Format_ARGB32);
    straight.fill(qRgba(0, 0, 250, 255));
    for (int x = 0; x < 3; ++x)
        straight.setPixel(x, 1, qRgb(100, 100, 100));
    straight.setPixel(3, 1, neighbour);
    f.layer(0).image = straight.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    WandTool wand;
    wand.setSize(size);
    press(wand, f, QPoint(0, 1));
    const QRect expected = size == 200 ? QRect(0, 0, 10, 3) : QRect(0, 1, included ? 4 : 3, 1);
    QCOMPARE(f.canvas.selectionPath().boundingRect().toRect(), expected);
    QCOMPARE(f.canvas.undoStack()->count(), 0);
}

void TestPaintTools::eyedropperGivesOpaqueStoredColour()
{
    CanvasFixture f(QSize(4, 4), QSize(100, 100));
    f.layer(0).image.fill(Qt::transparent);
    f.layer(0).image.setPixel(1, 1, qRgba(100, 50, 0, 128)); // premultiplied, stored as is
    EyedropperTool dropper;
    QSignalSpy picked(&f.canvas, &CanvasWidget::colorPicked);
    press(dropper, f, QPoint(1, 1));
    QCOMPARE(picked.size(), 1);
    QCOMPARE(picked[0][0].value<QColor>(), QColor(100, 50, 0, 255));
    press(dropper, f, QPoint(1, 1), Qt::RightButton);
    QCOMPARE(picked.size(), 1);
    QCOMPARE(f.canvas.secondaryColor(), QColor(100, 50, 0, 255));
    press(dropper, f, QPoint(9, 9));
    QCOMPARE(picked.size(), 1);
}

void TestPaintTools::moveShiftsTheLayer()
{
    CanvasFixture f(QSize(20, 10), QSize(100, 100));
    QImage& image = f.layer(0).image;
    for (int y = 0; y < 10; ++y)
        image.setPixel(19, y, 0xff0000ffu);
    MoveTool tool;
    press(tool, f, QPoint(8, 5));
    move(tool, f, QPoint(30, 5));
    move(tool, f, QPoint(8, 5));
    release(tool, f, QPoint(8, 5));
    QCOMPARE(f.canvas.undoStack()->count(), 0);
    QCOMPARE(f.layer(0).image.pixel(19, 0), 0xff0000ffu);

    press(tool, f, QPoint(8, 5));
    move(tool, f, QPoint(13, 5));
    release(tool, f, QPoint(13, 5));
    QCOMPARE(f.canvas.undoStack()->count(), 1);
    const QImage& moved = f.layer(0).image;
    QCOMPARE(qAlpha(moved.pixel(4, 3)), 0);
    QCOMPARE(moved.pixel(5, 3), 0xffffffffu);
    QCOMPARE(moved.pixel(19, 3), 0xffffffffu); // the blue column went out of the picture
}

void TestPaintTools::lassoNeedsThreePoints()
{
    CanvasFixture f(QSize(40, 40), QSize(100, 100));
    LassoTool lasso;
    f.canvas.setSelection(QRect(1, 1, 5, 5));
    press(lasso, f, QPoint(2, 2));
    move(lasso, f, QPoint(20, 2));
    release(lasso, f, QPoint(20, 2));
    QVERIFY(f.canvas.selectionPath().isEmpty());

    press(lasso, f, QPoint(2, 2));
    move(lasso, f, QPoint(20, 2), Qt::NoButton); // not held: not part of the path
    move(lasso, f, QPoint(20, 2));
    move(lasso, f, QPoint(20, 20));
    release(lasso, f, QPoint(20, 20));
    QCOMPARE(f.canvas.selectionPath().boundingRect().toRect(), QRect(2, 2, 18, 18));
}

void TestPaintTools::textFontSize_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("minimum") << 3 << 8;
    QTest::newRow("double") << 20 << 40;
}

void TestPaintTools::textFontSize()
{
    QFETCH(int, size);
    QFETCH(int, pixelSize);
    TextTool text;
    text.setSize(size);
    text.bold = true;
    QCOMPARE(text.textFont().pixelSize(), pixelSize);
    QCOMPARE(text.textFont().weight(), QFont::Bold);
}

void TestPaintTools::textToolPlacesPendingText()
{
    CanvasFixture f(QSize(200, 100), QSize(300, 200));
    TextTool text;
    text.setSize(10);
    QTimer::singleShot(0, &f.canvas, [&] {
        auto* dialog = f.canvas.findChild<QInputDialog*>();
        QVERIFY(dialog);
        dialog->setTextValue(QStringLiteral("Тест"));
        dialog->accept();
    });
    press(text, f, QPoint(10, 20));
    const PendingShape& shape = f.canvas.pendingShape();
    QCOMPARE(shape.kind, int(PendingShape::Text));
    QCOMPARE(shape.text, QStringLiteral("Тест"));
    QCOMPARE(shape.rect.topLeft(), QPointF(10, 20));
    QCOMPARE(shape.font.pixelSize(), 20);

    f.canvas.cancelPendingShape();
    QTimer::singleShot(0, &f.canvas, [&] { f.canvas.findChild<QInputDialog*>()->reject(); });
    press(text, f, QPoint(10, 20));
    QCOMPARE(f.canvas.pendingShape().kind, int(PendingShape::None));
}

void TestPaintTools::cropClickKeepsThePicture()
{
    CanvasFixture f(QSize(40, 30), QSize(100, 100));
    CropTool crop;
    press(crop, f, QPoint(5, 5));
    release(crop, f, QPoint(5, 5));
    QCOMPARE(f.document->size, QSize(40, 30));
    QCOMPARE(f.canvas.selectionPath().boundingRect().toRect(), QRect(5, 5, 1, 1));
    QCOMPARE(f.canvas.undoStack()->count(), 0);

    // A drag that comes back to the press pixel is still a drag.
    press(crop, f, QPoint(5, 5));
    move(crop, f, QPoint(20, 15));
    release(crop, f, QPoint(20, 15));
    QCOMPARE(f.document->size, QSize(16, 11));
    QCOMPARE(f.canvas.undoStack()->count(), 1);
}

QTEST_MAIN(TestPaintTools)
#include "tst_painttools.moc"
