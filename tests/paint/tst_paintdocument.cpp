#include "CropCommand.h"
#include "Document.h"
#include "Layer.h"
#include "MergeCommand.h"
#include "PaintCommand.h"

#include <QPainter>
#include <QTest>
#include <QUndoStack>

using namespace paint;

namespace {

QStringList names(const Document& doc)
{
    QStringList result;
    for (const auto& layer : doc.layers)
        result << layer->name;
    return result;
}

// Layers X, Y, Z (bottom to top), each filled with its own colour.
Document threeLayers(const QSize& size = QSize(4, 3))
{
    Document doc(size);
    doc.layers[0]->name = QStringLiteral("X");
    doc.addLayer(QStringLiteral("Y"));
    doc.addLayer(QStringLiteral("Z"));
    doc.layers[1]->image.fill(Qt::red);
    doc.layers[2]->image.fill(Qt::blue);
    return doc;
}

// Translucent pixels of every kind, premultiplied.
QImage speckled(const QSize& size, int seed)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int v = (x * 37 + y * 101 + seed * 53) % 256;
            image.setPixel(x, y, qPremultiply(qRgba(v, 255 - v, (v * 7) % 256, (v * 13) % 256)));
        }
    return image;
}

} // namespace

class TestPaintDocument : public QObject {
    Q_OBJECT
private slots:
    void newDocumentIsOneWhiteLayer();
    void addedLayersAreNumberedFromTheCount();
    void removeAndMoveKeepTheActiveIndexRule_data();
    void removeAndMoveKeepTheActiveIndexRule();
    void compositionAppliesVisibilityAndOpacity();
    void compositionMatchesDrawingEveryVisibleLayer_data();
    void compositionMatchesDrawingEveryVisibleLayer();
    void restoreStateStopsAtTheShorterList();
    void paintCommandWithStaleIndexDoesNothing();
    void cropUndoRedoRestoresSizesAndImages();
    void mergeUndoRedoRestoresLayers();
};

void TestPaintDocument::newDocumentIsOneWhiteLayer()
{
    const Document doc(QSize(900, 520));
    QCOMPARE(doc.layers.size(), 1);
    QCOMPARE(doc.activeIndex, 0);
    QCOMPARE(doc.layers[0]->image.format(), QImage::Format_ARGB32_Premultiplied);
    QImage white(900, 520, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    QCOMPARE(doc.mergedImage(), white);
}

void TestPaintDocument::addedLayersAreNumberedFromTheCount()
{
    Document doc(QSize(10, 10));
    doc.activeIndex = 0;
    doc.addLayer(QString());
    QCOMPARE(doc.activeIndex, 1);
    QCOMPARE(doc.layers[1]->image.pixelColor(5, 5).alpha(), 0);
    doc.activeIndex = 0; // added on top whatever is active
    doc.addLayer(QString());
    QCOMPARE(doc.activeIndex, 2);
    doc.removeLayer(1);
    doc.addLayer(QString());
    QCOMPARE(names(doc), (QStringList{"Фон", "Слой 3", "Слой 3"}));
}

void TestPaintDocument::removeAndMoveKeepTheActiveIndexRule_data()
{
    QTest::addColumn<int>("layerCount");
    QTest::addColumn<int>("active");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("expectedActive");
    QTest::newRow("remove bottom, bottom active") << 3 << 0 << "remove" << 0 << 0 << QStringList{"Y", "Z"} << 0;
    QTest::newRow("remove below active") << 3 << 2 << "remove" << 0 << 0 << QStringList{"Y", "Z"} << 1;
    QTest::newRow("remove active top") << 2 << 1 << "remove" << 1 << 0 << QStringList{"X"} << 0;
    QTest::newRow("remove last layer") << 1 << 0 << "remove" << 0 << 0 << QStringList{"X"} << 0;
    QTest::newRow("remove out of range") << 3 << 1 << "remove" << 3 << 0 << QStringList{"X", "Y", "Z"} << 1;
    QTest::newRow("remove negative") << 3 << 1 << "remove" << -1 << 0 << QStringList{"X", "Y", "Z"} << 1;
    QTest::newRow("move 0 to 2") << 3 << 0 << "move" << 0 << 2 << QStringList{"Y", "Z", "X"} << 2;
    QTest::newRow("move 2 to 0") << 3 << 1 << "move" << 2 << 0 << QStringList{"Z", "X", "Y"} << 0;
    QTest::newRow("move onto itself") << 3 << 0 << "move" << 1 << 1 << QStringList{"X", "Y", "Z"} << 0;
    QTest::newRow("move from -1") << 3 << 2 << "move" << -1 << 0 << QStringList{"X", "Y", "Z"} << 2;
    QTest::newRow("move past the top") << 3 << 2 << "move" << 0 << 3 << QStringList{"X", "Y", "Z"} << 2;
}

void TestPaintDocument::removeAndMoveKeepTheActiveIndexRule()
{
    QFETCH(int, layerCount);
    QFETCH(int, active);
    QFETCH(QString, operation);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(QStringList, expected);
    QFETCH(int, expectedActive);
    Document doc = threeLayers();
    while (doc.layers.size() > layerCount)
        doc.layers.removeLast();
    doc.activeIndex = active;
    if (operation == "remove")
        doc.removeLayer(a);
    else
        doc.moveLayer(a, b);
    QCOMPARE(names(doc), expected);
    QCOMPARE(doc.activeIndex, expectedActive);
}

void TestPaintDocument::compositionAppliesVisibilityAndOpacity()
{
    Document doc = threeLayers();
    doc.layers[0]->image.fill(Qt::transparent);
    doc.layers[2]->visible = false;
    doc.layers[1]->opacity = 0.5;
    const QColor half = doc.mergedImage().pixelColor(1, 1);
    QCOMPARE(half.red(), 255);
    QVERIFY(qAbs(half.alpha() - 128) <= 1); // transparent bottom stays see-through

    doc.layers[2]->visible = true;
    QCOMPARE(doc.mergedImage().pixelColor(0, 0), QColor(Qt::blue));

    Document single(QSize(3, 3));
    single.layers[0]->visible = false;
    QCOMPARE(single.mergedImage().pixelColor(2, 2).alpha(), 0);
}

void TestPaintDocument::compositionMatchesDrawingEveryVisibleLayer_data()
{
    QTest::addColumn<QList<bool>>("visible");
    QTest::addColumn<QList<double>>("opacity");
    QTest::newRow("one translucent layer") << QList<bool>{true} << QList<double>{1.0};
    QTest::newRow("one shown over a hidden one") << QList<bool>{false, true} << QList<double>{1.0, 1.0};
    QTest::newRow("one shown under a hidden one") << QList<bool>{true, false} << QList<double>{1.0, 1.0};
    QTest::newRow("one shown at half opacity") << QList<bool>{true, false} << QList<double>{0.5, 1.0};
    QTest::newRow("two shown") << QList<bool>{true, true} << QList<double>{1.0, 1.0};
}

// Whatever way the picture is composed, it is the visible layers drawn bottom
// to top over transparency.
void TestPaintDocument::compositionMatchesDrawingEveryVisibleLayer()
{
    QFETCH(QList<bool>, visible);
    QFETCH(QList<double>, opacity);
    Document doc(QSize(37, 23));
    for (int i = 1; i < visible.size(); ++i)
        doc.addLayer(QString());
    QImage expected(doc.size, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    QPainter painter(&expected);
    for (int i = 0; i < visible.size(); ++i) {
        doc.layers[i]->image = speckled(doc.size, i);
        doc.layers[i]->visible = visible[i];
        doc.layers[i]->opacity = opacity[i];
        if (visible[i]) {
            painter.setOpacity(opacity[i]);
            painter.drawImage(0, 0, doc.layers[i]->image);
        }
    }
    painter.end();
    QCOMPARE(doc.mergedImage(), expected);
}

void TestPaintDocument::restoreStateStopsAtTheShorterList()
{
    Document doc = threeLayers();
    QImage green(2, 2, QImage::Format_ARGB32_Premultiplied);
    green.fill(Qt::green);
    doc.restoreState(QSize(2, 2), {green, green});
    QCOMPARE(doc.size, QSize(2, 2));
    QCOMPARE(doc.layers[1]->image, green);
    QCOMPARE(doc.layers[2]->image.pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(doc.layers.size(), 3);
}

void TestPaintDocument::paintCommandWithStaleIndexDoesNothing()
{
    Document doc = threeLayers();
    const QImage before = doc.layers[2]->image;
    QImage after = before.copy();
    after.fill(Qt::green);
    QUndoStack stack;
    stack.push(new PaintCommand(&doc, 5, before, after, QStringLiteral("Кисть")));
    stack.push(new PaintCommand(&doc, -1, before, after, QStringLiteral("Кисть")));
    stack.undo();
    stack.undo();
    for (const auto& layer : doc.layers)
        QVERIFY(layer->image != after);

    // A valid command pushed after painting: its first redo changes nothing.
    doc.layers[2]->image = after;
    stack.push(new PaintCommand(&doc, 2, before, after, QStringLiteral("Кисть")));
    QCOMPARE(doc.layers[2]->image, after);
    stack.undo();
    QCOMPARE(doc.layers[2]->image, before);
    stack.redo();
    QCOMPARE(doc.layers[2]->image, after);
}

void TestPaintDocument::cropUndoRedoRestoresSizesAndImages()
{
    Document doc = threeLayers(QSize(100, 80));
    doc.layers[1]->image.setPixelColor(10, 20, Qt::yellow);
    QList<QImage> images;
    for (const auto& layer : doc.layers)
        images << layer->image;
    const QList<QImage> original = images;
    QUndoStack stack;
    stack.push(new CropCommand(&doc, doc.size, images, QRect(10, 20, 30, 40)));
    QCOMPARE(doc.size, QSize(30, 40));
    for (const auto& layer : doc.layers)
        QCOMPARE(layer->image.size(), QSize(30, 40));
    QCOMPARE(doc.layers[1]->image.pixelColor(0, 0), QColor(Qt::yellow));
    stack.undo();
    QCOMPARE(doc.size, QSize(100, 80));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(doc.layers[i]->image, original[i]);
    stack.redo();
    QCOMPARE(doc.layers[2]->image.size(), QSize(30, 40));

    for (const QRect& empty : {QRect(), QRect(30, 0, 5, 5), QRect(-10, -10, 5, 5)}) {
        doc.crop(empty);
        QCOMPARE(doc.size, QSize(30, 40));
        QCOMPARE(doc.layers[0]->image.size(), QSize(30, 40));
    }
    doc.crop(QRect(20, 30, 50, 50)); // cut to the picture
    QCOMPARE(doc.size, QSize(10, 10));
}

void TestPaintDocument::mergeUndoRedoRestoresLayers()
{
    Document doc = threeLayers();
    doc.layers[0]->visible = false;
    doc.layers[2]->opacity = 0.25;
    doc.activeIndex = 2;
    const QList<MergeCommand::LayerSnap> before = snapLayers(&doc);
    QImage merged = doc.layers[1]->image.copy();
    merged.fill(Qt::green);
    const QList<MergeCommand::LayerSnap> after{before[0], {QStringLiteral("Y"), merged, true}};
    QUndoStack stack;
    stack.push(new MergeCommand(&doc, before, 2, after, 1, QStringLiteral("Объединить с нижним")));
    QCOMPARE(names(doc), (QStringList{"X", "Y"}));
    QCOMPARE(doc.activeIndex, 1);
    QCOMPARE(doc.layers[1]->image, merged);

    stack.undo();
    QCOMPARE(names(doc), (QStringList{"X", "Y", "Z"}));
    QCOMPARE(doc.activeIndex, 2);
    QVERIFY(!doc.layers[0]->visible);
    QVERIFY(doc.layers[1]->visible);
    QCOMPARE(doc.layers[2]->opacity, 1.0); // snapshots carry no opacity
    QCOMPARE(doc.layers[2]->image.pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(doc.layers[2]->image.size(), doc.size);

    stack.redo();
    QCOMPARE(doc.layers.size(), 2);
    QCOMPARE(doc.layers[1]->image, merged);
}

QTEST_GUILESS_MAIN(TestPaintDocument)
#include "tst_paintdocument.moc"
