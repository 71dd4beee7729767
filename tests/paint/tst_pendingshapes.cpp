#include "CanvasFixture.h"
#include "CropCommand.h"

#include <QGuiApplication>

using namespace paint;

namespace {

// Image (10, 10) lies at widget (34, 34) in the fixture at zoom 1.
PendingShape rectangleShape(const QImage& snapshot, int kind = PendingShape::Rectangle)
{
    PendingShape shape;
    shape.kind = kind;
    shape.rect = QRectF(10, 10, 100, 50);
    shape.color = Qt::red;
    shape.width = 4;
    shape.snapshot = snapshot;
    shape.text = QStringLiteral("Подпись");
    return shape;
}

PendingShape lineShape(const QImage& snapshot)
{
    PendingShape shape = rectangleShape(snapshot, PendingShape::Line);
    shape.rect = QRectF();
    shape.line = QLineF(10, 200, 110, 200);
    return shape;
}

void hover(QWidget& widget, const QPoint& pos)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(pos), QPointF(widget.mapToGlobal(pos)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

// A drag with the modifiers held, read through the application's keyboard state.
void drag(QWidget& widget, const QPoint& from, const QPoint& to, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mousePress(&widget, Qt::LeftButton, modifiers, from);
    QTest::mouseEvent(QTest::MouseMove, &widget, Qt::NoButton, modifiers, (from + to) / 2);
    QTest::mouseEvent(QTest::MouseMove, &widget, Qt::NoButton, modifiers, to);
    QTest::mouseRelease(&widget, Qt::LeftButton, modifiers, to);
}

QList<QImage> layerImages(const Document& doc)
{
    QList<QImage> images;
    for (const auto& layer : doc.layers)
        images << layer->image;
    return images;
}

} // namespace

class TestPendingShapes : public QObject {
    Q_OBJECT
private slots:
    void handlesStandInWidgetPixels();
    void hitTestTolerances_data();
    void hitTestTolerances();
    void pressOutsideCommitsWithoutReachingTheTool();
    void dragsReshapeFromTheDragStart_data();
    void dragsReshapeFromTheDragStart();
    void quarterTurnIsPaintedTurned();
    void escapeRestoresAndReturnRecordsOnce_data();
    void escapeRestoresAndReturnRecordsOnce();
    void textSettingsFollowTheControls();
    void overrideCursorNeverStaysInstalled();
    void shapeStaysWithItsLayer_data();
    void shapeStaysWithItsLayer();
    void canvasChangesCommitTheShapeFirst_data();
    void canvasChangesCommitTheShapeFirst();
};

void TestPendingShapes::handlesStandInWidgetPixels()
{
    CanvasFixture f;
    f.canvas.setPendingShape(rectangleShape(f.layer(0).image));
    QList<QPointF> points = f.canvas.pendingHandleWidgetPoints();
    QCOMPARE(points.size(), 9);
    QCOMPARE(f.canvas.widgetToImageF(points[8]), QPointF(60, -10));
    f.canvas.applyZoomAt(2.0, QPoint(300, 300));
    points = f.canvas.pendingHandleWidgetPoints();
    QCOMPARE(points[1] - points[8], QPointF(0, 40));
    QCOMPARE(points[7] - points[0], QPointF(200, 100));
}

void TestPendingShapes::hitTestTolerances_data()
{
    QTest::addColumn<bool>("line");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("handle");
    QTest::newRow("6 px right of the bottom-right handle") << false << 0.0 << QPoint(140, 84) << 8;
    QTest::newRow("8 px right of it, outside") << false << 0.0 << QPoint(142, 84) << 0;
    QTest::newRow("6 px above the rotation handle") << false << 0.0 << QPoint(84, 8) << 9;
    QTest::newRow("inside") << false << 0.0 << QPoint(60, 60) << 10;
    QTest::newRow("inside the turned box only") << false << 90.0 << QPoint(84, 99) << 10;
    QTest::newRow("inside the unturned box only") << false << 90.0 << QPoint(54, 44) << 0;
    QTest::newRow("line start") << true << 0.0 << QPoint(39, 229) << 11;
    QTest::newRow("line end") << true << 0.0 << QPoint(128, 220) << 12;
    QTest::newRow("9 px from the line") << true << 0.0 << QPoint(84, 233) << 13;
    QTest::newRow("11 px from the line") << true << 0.0 << QPoint(84, 235) << 0;
    QTest::newRow("past the line end") << true << 0.0 << QPoint(150, 224) << 0;
}

void TestPendingShapes::hitTestTolerances()
{
    QFETCH(bool, line);
    QFETCH(double, rotation);
    QFETCH(QPoint, pos);
    QFETCH(int, handle);
    CanvasFixture f;
    PendingShape shape = line ? lineShape(f.layer(0).image) : rectangleShape(f.layer(0).image);
    shape.rotation = rotation;
    f.canvas.setPendingShape(shape);
    QCOMPARE(f.canvas.pendingHitTest(pos), handle);
}

void TestPendingShapes::pressOutsideCommitsWithoutReachingTheTool()
{
    CanvasFixture f;
    f.canvas.setPendingShape(rectangleShape(f.layer(0).image));
    QTest::mousePress(&f.canvas, Qt::LeftButton, {}, QPoint(140, 84));
    QTest::mouseRelease(&f.canvas, Qt::LeftButton, {}, QPoint(140, 84));
    QCOMPARE(f.canvas.pendingShape().kind, int(PendingShape::Rectangle));
    QTest::mousePress(&f.canvas, Qt::LeftButton, {}, QPoint(400, 300));
    QCOMPARE(f.canvas.pendingShape().kind, int(PendingShape::None));
    QCOMPARE(f.canvas.undoStack()->count(), 1);
    QVERIFY(f.tool.presses.isEmpty());
    QTest::mousePress(&f.canvas, Qt::LeftButton, {}, QPoint(400, 300));
    QCOMPARE(f.tool.presses.size(), 1);
}

void TestPendingShapes::dragsReshapeFromTheDragStart_data()
{
    QTest::addColumn<bool>("line");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QLineF>("segment");
    QTest::newRow("bottom-right") << false << QPoint(134, 84) << QPoint(184, 94) << false << QRectF(10, 10, 150, 60) << QLineF();
    QTest::newRow("bottom-right keeps aspect with Ctrl") << false << QPoint(134, 84) << QPoint(184, 94) << true << QRectF(10, 10, 120, 60) << QLineF();
    QTest::newRow("top-left with Ctrl keeps the far corner") << false << QPoint(34, 34) << QPoint(14, 24) << true << QRectF(-10, 0, 120, 60) << QLineF();
    QTest::newRow("top edge with Ctrl stays centred") << false << QPoint(84, 34) << QPoint(84, 24) << true << QRectF(0, 0, 120, 60) << QLineF();
    QTest::newRow("left edge past the right edge") << false << QPoint(34, 59) << QPoint(164, 59) << false << QRectF(110, 10, 30, 50) << QLineF();
    QTest::newRow("move") << false << QPoint(60, 60) << QPoint(65, 67) << false << QRectF(15, 17, 100, 50) << QLineF();
    QTest::newRow("line end") << true << QPoint(134, 224) << QPoint(144, 204) << false << QRectF() << QLineF(10, 200, 120, 180);
    QTest::newRow("line move") << true << QPoint(84, 228) << QPoint(94, 238) << false << QRectF() << QLineF(20, 210, 120, 210);
}

void TestPendingShapes::dragsReshapeFromTheDragStart()
{
    QFETCH(bool, line);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(bool, ctrl);
    QFETCH(QRectF, rect);
    QFETCH(QLineF, segment);
    CanvasFixture f;
    f.canvas.setPendingShape(line ? lineShape(f.layer(0).image) : rectangleShape(f.layer(0).image));
    drag(f.canvas, from, to, ctrl ? Qt::ControlModifier : Qt::NoModifier);
    if (line)
        QCOMPARE(f.canvas.pendingShape().line, segment);
    else
        QCOMPARE(f.canvas.pendingShape().rect, rect);
    QCOMPARE(f.canvas.pendingShape().rotation, 0.0);
    QCOMPARE(f.canvas.undoStack()->count(), 0);
}

void TestPendingShapes::quarterTurnIsPaintedTurned()
{
    CanvasFixture f;
    PendingShape shape = rectangleShape(f.layer(0).image);
    shape.rect = QRectF(100, 100, 200, 40); // centre (200, 120), widget (224, 144)
    f.canvas.setPendingShape(shape);
    // The rotation handle at image (200, 80) goes a quarter turn clockwise about the centre.
    drag(f.canvas, QPoint(224, 104), QPoint(264, 144));
    QCOMPARE(f.canvas.pendingShape().rotation, 90.0);
    QTest::keyClick(&f.canvas, Qt::Key_Return);
    const QImage& image = f.layer(0).image;
    // Turned, the box spans x 180..220 and y 20..220.
    QCOMPARE(image.pixelColor(180, 60), QColor(Qt::red));
    QCOMPARE(image.pixelColor(220, 200), QColor(Qt::red));
    QCOMPARE(image.pixelColor(200, 20), QColor(Qt::red));
    QCOMPARE(image.pixelColor(120, 100), QColor(Qt::white));
    QCOMPARE(image.pixelColor(100, 120), QColor(Qt::white));
}

void TestPendingShapes::escapeRestoresAndReturnRecordsOnce_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("recorded");
    QTest::newRow("rectangle") << int(PendingShape::Rectangle) << "" << true;
    QTest::newRow("ellipse") << int(PendingShape::Ellipse) << "" << true;
    QTest::newRow("line") << int(PendingShape::Line) << "" << true;
    QTest::newRow("text") << int(PendingShape::Text) << "Подпись" << true;
    QTest::newRow("empty text records nothing") << int(PendingShape::Text) << "" << false;
}

void TestPendingShapes::escapeRestoresAndReturnRecordsOnce()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(bool, recorded);
    CanvasFixture f;
    const QImage snapshot = f.layer(0).image.copy();
    PendingShape shape = kind == PendingShape::Line ? lineShape(snapshot) : rectangleShape(snapshot, kind);
    shape.text = text;
    f.canvas.setPendingShape(shape);
    f.layer(0).image.fill(Qt::green); // whatever the layer holds, Escape puts the snapshot back
    QTest::keyClick(&f.canvas, Qt::Key_Escape);
    QCOMPARE(f.layer(0).image, snapshot);
    QCOMPARE(f.canvas.undoStack()->count(), 0);

    f.canvas.setPendingShape(shape);
    QTest::keyClick(&f.canvas, Qt::Key_Return);
    QCOMPARE(f.canvas.pendingShape().kind, int(PendingShape::None));
    QCOMPARE(f.canvas.undoStack()->count(), recorded ? 1 : 0);
    if (recorded) {
        QVERIFY(f.layer(0).image != snapshot);
        f.canvas.undoStack()->undo();
        QCOMPARE(f.layer(0).image, snapshot);
    }
}

void TestPendingShapes::textSettingsFollowTheControls()
{
    CanvasFixture f;
    f.canvas.setPendingShape(rectangleShape(f.layer(0).image));
    f.canvas.setPendingTextBold(true);
    f.canvas.setPendingTextFontFamily(QStringLiteral("DejaVu Serif"));
    QCOMPARE(f.canvas.pendingShape().font, QFont());

    f.canvas.setPendingShape(rectangleShape(f.layer(0).image, PendingShape::Text));
    f.canvas.setPendingTextBold(true);
    f.canvas.setPendingTextItalic(true);
    QCOMPARE(f.canvas.pendingShape().font.weight(), QFont::Bold);
    QCOMPARE(f.canvas.pendingShape().font.style(), QFont::StyleItalic);
    f.canvas.setToolSize(3);
    QCOMPARE(f.canvas.pendingShape().font.pixelSize(), 8);
    QCOMPARE(f.tool.size, 3);
    f.canvas.setToolSize(20);
    QCOMPARE(f.canvas.pendingShape().font.pixelSize(), 40);
}

void TestPendingShapes::overrideCursorNeverStaysInstalled()
{
    CanvasFixture f;
    const QImage snapshot = f.layer(0).image;
    for (const char* end : {"leave", "commit", "cancel", "document"}) {
        f.canvas.setPendingShape(rectangleShape(snapshot));
        hover(f.canvas, QPoint(134, 84));
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::SizeFDiagCursor);
        hover(f.canvas, QPoint(84, 34));
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::SizeVerCursor);
        const QByteArray how(end);
        if (how == "leave") {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&f.canvas, &leave);
            f.canvas.cancelPendingShape();
        } else if (how == "commit") {
            f.canvas.commitPendingShape();
        } else if (how == "cancel") {
            QTest::keyClick(&f.canvas, Qt::Key_Escape);
        } else {
            f.canvas.setDocument(f.document.get());
        }
        QVERIFY2(!QGuiApplication::overrideCursor(), end);
    }
}

// The shape belongs to the layer it was drawn on: a later change of the
// active layer, a crop behind the canvas's back or a removed layer never
// lets Escape or Return touch another layer or break the picture size.
void TestPendingShapes::shapeStaysWithItsLayer_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("painted");
    for (const int key : {int(Qt::Key_Escape), int(Qt::Key_Return)}) {
        const bool commit = key == Qt::Key_Return;
        const QByteArray suffix = commit ? ", Return" : ", Escape";
        QTest::newRow("other layer active" + suffix) << "activate" << key << commit;
        QTest::newRow("layer moved" + suffix) << "move" << key << commit;
        QTest::newRow("picture cropped" + suffix) << "crop" << key << false;
        QTest::newRow("layer removed" + suffix) << "remove" << key << false;
    }
}

void TestPendingShapes::shapeStaysWithItsLayer()
{
    QFETCH(QString, change);
    QFETCH(int, key);
    QFETCH(bool, painted);
    CanvasFixture f(QSize(200, 100), QSize(248, 148));
    f.document->addLayer(QString());
    f.document->addLayer(QString());
    f.layer(2).image.fill(Qt::blue);
    f.document->activeIndex = 1;
    const std::shared_ptr<Layer> shapeLayer = f.document->layers[1];
    f.canvas.setPendingShape(rectangleShape(shapeLayer->image.copy()));
    const int recorded = change == "crop" ? 1 : 0;
    if (change == "activate") {
        f.document->activeIndex = 0;
    } else if (change == "move") {
        f.document->moveLayer(1, 2);
    } else if (change == "crop") {
        f.canvas.undoStack()->push(new CropCommand(f.document.get(), f.document->size, layerImages(*f.document),
                                                   QRect(0, 0, 50, 40)));
    } else {
        f.document->removeLayer(1);
    }
    QList<QImage> others = layerImages(*f.document);
    const int shapeIndex = f.document->indexOf(shapeLayer.get());
    if (shapeIndex >= 0)
        others.removeAt(shapeIndex);

    QTest::keyClick(&f.canvas, Qt::Key(key));

    QCOMPARE(f.canvas.pendingShape().kind, int(PendingShape::None));
    QList<QImage> after = layerImages(*f.document);
    for (const QImage& image : after)
        QCOMPARE(image.size(), f.document->size);
    const QImage shapePixels = shapeIndex >= 0 ? after.takeAt(shapeIndex) : QImage();
    QCOMPARE(after, others);
    QCOMPARE(f.canvas.undoStack()->count(), recorded + (painted ? 1 : 0));
    if (painted) {
        QCOMPARE(shapePixels.pixelColor(10, 30), QColor(Qt::red));
        f.canvas.undoStack()->undo();
        QCOMPARE(shapeLayer->image.pixelColor(10, 30).alpha(), 0);
        QCOMPARE(layerImages(*f.document).size(), 3);
    }
}

void TestPendingShapes::canvasChangesCommitTheShapeFirst_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QPoint>("shapePixel"); // in the resulting picture
    QTest::newRow("delete selection") << "delete" << "Удаление выделения" << QPoint(10, 30);
    QTest::newRow("crop") << "crop" << "Обрезка" << QPoint(5, 25);
    QTest::newRow("merge down") << "merge" << "Объединить с нижним" << QPoint(10, 30);
    QTest::newRow("flatten") << "flatten" << "Объединить все слои" << QPoint(10, 30);
}

void TestPendingShapes::canvasChangesCommitTheShapeFirst()
{
    QFETCH(QString, change);
    QFETCH(QString, description);
    QFETCH(QPoint, shapePixel);
    CanvasFixture f(QSize(200, 100), QSize(248, 148));
    f.document->addLayer(QString());
    f.layer(1).image.fill(Qt::green);
    f.canvas.setPendingShape(rectangleShape(f.layer(1).image.copy()));
    f.canvas.setSelection(QRect(5, 5, 150, 80));
    if (change == "delete") {
        f.canvas.setSelection(QRect(150, 80, 10, 10));
        f.canvas.deleteSelection();
    } else if (change == "crop") {
        f.canvas.cropToSelection();
    } else if (change == "merge") {
        f.canvas.mergeDown();
    } else {
        f.canvas.flattenAll();
    }
    QCOMPARE(f.canvas.pendingShape().kind, int(PendingShape::None));
    QCOMPARE(f.canvas.undoStack()->count(), 2);
    QCOMPARE(f.canvas.undoStack()->text(0), QStringLiteral("Примитив"));
    QCOMPARE(f.canvas.undoStack()->text(1), description);
    QCOMPARE(f.document->mergedImage().pixelColor(shapePixel), QColor(Qt::red));
    for (const auto& layer : f.document->layers)
        QCOMPARE(layer->image.size(), f.document->size);
}

QTEST_MAIN(TestPendingShapes)
#include "tst_pendingshapes.moc"
