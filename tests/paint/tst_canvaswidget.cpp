#include "CanvasFixture.h"

#include <QPainter>
#include <QSignalSpy>
#include <QWheelEvent>

using namespace paint;

namespace {

void wheel(QWidget& widget, const QPoint& pos, const QPoint& angleDelta)
{
    QWheelEvent event(QPointF(pos), QPointF(widget.mapToGlobal(pos)), QPoint(), angleDelta, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

QColor pixelAt(QWidget& widget, int x, int y)
{
    return widget.grab().toImage().pixelColor(x, y);
}

} // namespace

class TestCanvasWidget : public QObject {
    Q_OBJECT
private slots:
    void fitLeavesTheMargin_data();
    void fitLeavesTheMargin();
    void wheelKeepsTheImagePointUnderThePointer_data();
    void wheelKeepsTheImagePointUnderThePointer();
    void zoomClampsAndStillAnnounces();
    void widgetToImageTruncatesTowardZero();
    void checkerboardAndFrameAtKnownPixels_data();
    void checkerboardAndFrameAtKnownPixels();
    void smoothScalingOnlyWhenReduced_data();
    void smoothScalingOnlyWhenReduced();
    void repaintFollowsLayerChanges();
    void selectionIsClippedToThePicture_data();
    void selectionIsClippedToThePicture();
    void deleteTwiceRecordsOneCommand();
    void enterCropsOnlyWithASelection();
    void mergeDownAndFlattenWithAHiddenLayer();
    void pressesReachTheToolInImagePixels();
    void setDocumentDropsHistoryButKeepsZoom();
};

void TestCanvasWidget::fitLeavesTheMargin_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSize>("widgetSize");
    QTest::addColumn<double>("zoom");
    QTest::newRow("exact") << QSize(900, 520) << QSize(948, 568) << 1.0;
    QTest::newRow("narrow widget") << QSize(900, 520) << QSize(548, 568) << 500.0 / 900.0;
    QTest::newRow("tiny picture clamps at 32") << QSize(2, 2) << QSize(948, 568) << 32.0;
    QTest::newRow("long picture clamps at 0.05") << QSize(40000, 4) << QSize(948, 568) << 0.05;
}

void TestCanvasWidget::fitLeavesTheMargin()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSize, widgetSize);
    QFETCH(double, zoom);
    CanvasFixture f(imageSize, widgetSize);
    f.canvas.adjustOffset(QPointF(33, -7));
    QSignalSpy zoomed(&f.canvas, &CanvasWidget::zoomChanged);
    f.canvas.fitToView();
    QCOMPARE(f.canvas.zoom(), zoom);
    QCOMPARE(f.canvas.offset(), QPointF());
    QCOMPARE(zoomed.size(), 1);
    if (zoom == 1.0)
        QCOMPARE(f.canvas.imageRectOnWidget(), QRect(24, 24, 900, 520));
}

void TestCanvasWidget::wheelKeepsTheImagePointUnderThePointer_data()
{
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<double>("factor");
    QTest::newRow("up zooms in") << QPoint(0, 120) << 1.15;
    QTest::newRow("down zooms out") << QPoint(0, -120) << 1 / 1.15;
    QTest::newRow("horizontal only zooms out") << QPoint(120, 0) << 1 / 1.15;
}

void TestCanvasWidget::wheelKeepsTheImagePointUnderThePointer()
{
    QFETCH(QPoint, delta);
    QFETCH(double, factor);
    CanvasFixture f;
    f.canvas.applyZoomAt(4.0, QPoint(300, 200));
    // The middle of image pixel (100, 50) at zoom 4.
    const QPoint pointer = f.canvas.imageToWidget(QPoint(100, 50)) + QPoint(2, 2);
    QCOMPARE(f.canvas.widgetToImage(pointer), QPoint(100, 50));
    double zoom = 4.0;
    for (int step = 0; step < 5; ++step) {
        wheel(f.canvas, pointer, delta);
        zoom *= factor;
        QVERIFY(qFuzzyCompare(f.canvas.zoom(), zoom));
        QCOMPARE(f.canvas.widgetToImage(pointer), QPoint(100, 50));
    }
}

void TestCanvasWidget::zoomClampsAndStillAnnounces()
{
    CanvasFixture f;
    f.canvas.applyZoomAt(1000.0, QPoint(10, 10));
    QCOMPARE(f.canvas.zoom(), 32.0);
    QSignalSpy zoomed(&f.canvas, &CanvasWidget::zoomChanged);
    wheel(f.canvas, QPoint(500, 300), QPoint(0, 120));
    QCOMPARE(f.canvas.zoom(), 32.0);
    QCOMPARE(zoomed.size(), 1);
    QCOMPARE(zoomed.first().first().toDouble(), 32.0);
    f.canvas.applyZoomAt(1e-9, QPoint(500, 300));
    QCOMPARE(f.canvas.zoom(), 0.05);
    f.canvas.applyZoomAt(0.0, QPoint(-100000, 100000));
    QCOMPARE(f.canvas.zoom(), 0.05);
}

void TestCanvasWidget::widgetToImageTruncatesTowardZero()
{
    CanvasFixture f;
    f.canvas.applyZoomAt(2.0, QPoint(24, 24)); // picture corner stays at (24, 24)
    const QRect picture = f.canvas.imageRectOnWidget();
    QCOMPARE(picture.topLeft(), QPoint(24, 24));
    QCOMPARE(f.canvas.widgetToImage(picture.topLeft() - QPoint(1, 1)), QPoint(0, 0));
    QCOMPARE(f.canvas.widgetToImage(picture.topLeft() - QPoint(2, 3)), QPoint(-1, -1));
    QCOMPARE(f.canvas.widgetToImage(picture.topLeft() + QPoint(5, 3)), QPoint(2, 1));
    QCOMPARE(f.canvas.imageToWidget(QPoint(3, -1)), picture.topLeft() + QPoint(6, -2));
}

void TestCanvasWidget::checkerboardAndFrameAtKnownPixels_data()
{
    QTest::addColumn<double>("zoomFactor");
    QTest::addColumn<QPoint>("fromCorner"); // from the picture's top-left corner
    QTest::addColumn<QColor>("color");
    const QColor frame(80, 90, 100);
    const QColor dark(224, 232, 240);
    QTest::newRow("frame corner") << 1.0 << QPoint(-1, -1) << frame;
    QTest::newRow("frame below") << 1.0 << QPoint(100, 520) << frame;
    QTest::newRow("last pixel of the first cell") << 1.0 << QPoint(15, 15) << QColor(Qt::white);
    QTest::newRow("second column dark") << 1.0 << QPoint(16, 0) << dark;
    QTest::newRow("second row dark") << 1.0 << QPoint(3, 17) << dark;
    QTest::newRow("diagonal white") << 1.0 << QPoint(20, 20) << QColor(Qt::white);
    QTest::newRow("cells stay 16 at zoom 3") << 3.0 << QPoint(16, 0) << dark;
    QTest::newRow("white again at zoom 3") << 3.0 << QPoint(32, 0) << QColor(Qt::white);
}

void TestCanvasWidget::checkerboardAndFrameAtKnownPixels()
{
    QFETCH(double, zoomFactor);
    QFETCH(QPoint, fromCorner);
    QFETCH(QColor, color);
    CanvasFixture f;
    f.layer(0).image.fill(Qt::transparent);
    f.canvas.applyZoomAt(zoomFactor, QPoint(24, 24));
    const QPoint at = f.canvas.imageRectOnWidget().topLeft() + fromCorner;
    QCOMPARE(pixelAt(f.canvas, at.x(), at.y()), color);
}

void TestCanvasWidget::smoothScalingOnlyWhenReduced_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("blended");
    QTest::newRow("reduced") << 0.5 << true;
    QTest::newRow("actual size") << 1.0 << false;
    QTest::newRow("enlarged") << 3.0 << false;
}

// Columns alternate black and white: smoothing shows grey, sharp pixels do not.
void TestCanvasWidget::smoothScalingOnlyWhenReduced()
{
    QFETCH(double, zoom);
    QFETCH(bool, blended);
    CanvasFixture f(QSize(200, 100), QSize(400, 300));
    for (int x = 0; x < 200; x += 2) {
        for (int y = 0; y < 100; ++y)
            f.layer(0).image.setPixelColor(x, y, Qt::black);
    }
    f.canvas.applyZoomAt(zoom / f.canvas.zoom(), QPoint(200, 150));
    const QImage shot = f.canvas.grab().toImage();
    int grey = 0;
    for (int x = 160; x < 200; ++x) { // inside the picture at every zoom here
        const int v = qGray(shot.pixel(x, 150));
        grey += v > 40 && v < 215;
    }
    QCOMPARE(grey > 10, blended);
}

void TestCanvasWidget::repaintFollowsLayerChanges()
{
    CanvasFixture f;
    const QPoint at = f.canvas.imageToWidget(QPoint(10, 10));
    QCOMPARE(pixelAt(f.canvas, at.x(), at.y()), QColor(Qt::white));
    {
        QPainter painter(&f.layer(0).image);
        painter.fillRect(0, 0, 50, 50, Qt::red);
    }
    QCOMPARE(pixelAt(f.canvas, at.x(), at.y()), QColor(Qt::red));
    f.document->addLayer(QString());
    f.layer(1).image.setPixelColor(10, 10, Qt::green);
    QCOMPARE(pixelAt(f.canvas, at.x(), at.y()), QColor(Qt::green));
    f.layer(1).visible = false;
    QCOMPARE(pixelAt(f.canvas, at.x(), at.y()), QColor(Qt::red));
    f.document->moveLayer(0, 1);
    f.layer(0).visible = true;
    QCOMPARE(pixelAt(f.canvas, at.x(), at.y()), QColor(Qt::red));
}

void TestCanvasWidget::selectionIsClippedToThePicture_data()
{
    QTest::addColumn<QRect>("requested");
    QTest::addColumn<QRectF>("stored");
    QTest::newRow("inside") << QRect(10, 20, 30, 40) << QRectF(10, 20, 30, 40);
    QTest::newRow("past the corner") << QRect(880, 500, 50, 50) << QRectF(880, 500, 20, 20);
    QTest::newRow("wholly outside") << QRect(-50, -50, 20, 20) << QRectF();
}

void TestCanvasWidget::selectionIsClippedToThePicture()
{
    QFETCH(QRect, requested);
    QFETCH(QRectF, stored);
    CanvasFixture f;
    f.canvas.setSelection(QRect(1, 1, 5, 5));
    f.canvas.setSelection(requested);
    QCOMPARE(f.canvas.selectionPath().boundingRect(), stored);
    QCOMPARE(f.canvas.selectionPath().isEmpty(), stored.isEmpty());
}

void TestCanvasWidget::deleteTwiceRecordsOneCommand()
{
    CanvasFixture f;
    QTest::keyClick(&f.canvas, Qt::Key_Delete);
    QCOMPARE(f.canvas.undoStack()->count(), 0);
    f.canvas.setSelection(QRect(10, 10, 20, 20));
    QTest::keyClick(&f.canvas, Qt::Key_Delete);
    QTest::keyClick(&f.canvas, Qt::Key_Delete);
    QCOMPARE(f.canvas.undoStack()->count(), 1);
    QCOMPARE(f.layer(0).image.pixelColor(10, 10).alpha(), 0);
    QCOMPARE(f.layer(0).image.pixelColor(29, 29).alpha(), 0);
    QCOMPARE(f.layer(0).image.pixelColor(30, 30), QColor(Qt::white));
    QVERIFY(!f.canvas.selectionPath().isEmpty());
}

void TestCanvasWidget::enterCropsOnlyWithASelection()
{
    CanvasFixture f;
    f.document->addLayer(QString());
    f.canvas.applyZoomAt(2.0, QPoint(100, 100));
    QTest::keyClick(&f.canvas, Qt::Key_Return);
    f.tool.cropOnEnter = true;
    QTest::keyClick(&f.canvas, Qt::Key_Return);
    QCOMPARE(f.canvas.undoStack()->count(), 0);
    f.canvas.setSelection(QRect(10, 20, 30, 40));
    QTest::keyClick(&f.canvas, Qt::Key_Enter);
    QCOMPARE(f.canvas.undoStack()->count(), 1);
    QCOMPARE(f.document->size, QSize(30, 40));
    for (const auto& layer : f.document->layers)
        QCOMPARE(layer->image.size(), QSize(30, 40));
    QVERIFY(f.canvas.selectionPath().isEmpty());
    QCOMPARE(f.canvas.offset(), QPointF());
    QCOMPARE(f.canvas.zoom(), 2.0);
}

void TestCanvasWidget::mergeDownAndFlattenWithAHiddenLayer()
{
    CanvasFixture f(QSize(20, 10), QSize(200, 100));
    f.document->addLayer(QStringLiteral("Красный"));
    f.layer(1).image.setPixelColor(1, 1, Qt::red);
    f.document->addLayer(QStringLiteral("Синий"));
    f.layer(2).image.setPixelColor(2, 2, Qt::blue);

    f.document->activeIndex = 0;
    f.canvas.mergeDown();
    QCOMPARE(f.canvas.undoStack()->count(), 0);

    f.layer(1).visible = false;
    f.canvas.flattenAll();
    QCOMPARE(f.document->layers.size(), 1);
    QVERIFY(f.layer(0).visible);
    QCOMPARE(f.layer(0).image.pixelColor(1, 1), QColor(Qt::white));
    QCOMPARE(f.layer(0).image.pixelColor(2, 2), QColor(Qt::blue));
    f.canvas.flattenAll();
    QCOMPARE(f.canvas.undoStack()->count(), 1);

    f.canvas.undoStack()->undo();
    QCOMPARE(f.document->layers.size(), 3);
    f.document->activeIndex = 1; // the hidden middle layer merges in all the same
    f.canvas.mergeDown();
    QCOMPARE(f.document->layers.size(), 2);
    QCOMPARE(f.document->activeIndex, 0);
    QCOMPARE(f.layer(0).image.pixelColor(1, 1), QColor(Qt::red));
    QCOMPARE(f.layer(1).name, QStringLiteral("Синий"));
    QCOMPARE(f.canvas.undoStack()->count(), 1); // the undone flatten is dropped
    QCOMPARE(f.canvas.undoStack()->text(0), QStringLiteral("Объединить с нижним"));
}

void TestCanvasWidget::pressesReachTheToolInImagePixels()
{
    CanvasFixture f;
    QSignalSpy moved(&f.canvas, &CanvasWidget::imagePositionChanged);
    QTest::mouseMove(&f.canvas, QPoint(124, 74));
    QCOMPARE(moved.last().first().toPoint(), QPoint(100, 50));
    QTest::mousePress(&f.canvas, Qt::RightButton, {}, QPoint(124, 74));
    QTest::mousePress(&f.canvas, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(f.tool.presses, (QList<QPoint>{QPoint(100, 50), QPoint(-14, -14)}));
    QVERIFY(f.canvas.hasFocus() || !f.canvas.isVisible());
}

void TestCanvasWidget::setDocumentDropsHistoryButKeepsZoom()
{
    CanvasFixture f;
    f.canvas.setSelection(QRect(0, 0, 10, 10));
    f.canvas.deleteSelection();
    f.canvas.applyZoomAt(2.0, QPoint(0, 0));
    Document other(QSize(50, 50));
    f.canvas.setDocument(&other);
    QCOMPARE(f.canvas.undoStack()->count(), 0);
    QVERIFY(f.canvas.selectionPath().isEmpty());
    QCOMPARE(f.canvas.zoom(), 2.0);
}

QTEST_MAIN(TestCanvasWidget)
#include "tst_canvaswidget.moc"
