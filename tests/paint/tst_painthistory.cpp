// Recorded changes: what they keep, and that undo and redo give back the
// exact pixels of every layer.
#include "CanvasFixture.h"
#include "FillTool.h"
#include "PaintCommand.h"
#include "ShapeTool.h"
#include "StrokeTool.h"

#include <QRandomGenerator>
#include <QUndoStack>

#include <functional>

using namespace paint;

namespace {

void press(Tool& tool, CanvasFixture& f, QPoint pos)
{
    QMouseEvent event(QEvent::MouseButtonPress, pos, pos, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    tool.mousePress(&f.canvas, f.document.get(), &event, pos);
}
void move(Tool& tool, CanvasFixture& f, QPoint pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, pos, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    tool.mouseMove(&f.canvas, f.document.get(), &event, pos);
}
void release(Tool& tool, CanvasFixture& f, QPoint pos)
{
    QMouseEvent event(QEvent::MouseButtonRelease, pos, pos, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    tool.mouseRelease(&f.canvas, f.document.get(), &event, pos);
}
void drag(Tool& tool, CanvasFixture& f, QPoint from, QPoint to)
{
    press(tool, f, from);
    move(tool, f, (from + to) / 2);
    move(tool, f, to);
    release(tool, f, to);
}

QImage noise(quint32 seed, QSize size, bool translucent)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int a = translucent ? int(random.bounded(256)) : 255;
            image.setPixel(x, y, qPremultiply(qRgba(int(random.bounded(256)), int(random.bounded(256)),
                                                    int(random.bounded(256)), a)));
        }
    return image;
}

// Every layer's name, visibility and pixels, the size and the active index.
struct State {
    QSize size;
    int active = 0;
    QStringList names;
    QList<bool> visible;
    QList<QImage> images;
    bool operator==(const State&) const = default;
};

State stateOf(const Document& doc)
{
    State state{doc.size, doc.activeIndex, {}, {}, {}};
    for (const auto& layer : doc.layers) {
        state.names << layer->name;
        state.visible << layer->visible;
        state.images << layer->image.copy();  // a deep copy: later painting cannot reach it
    }
    return state;
}

using Step = std::function<void(CanvasFixture&)>;

} // namespace

Q_DECLARE_METATYPE(Step)

class TestPaintHistory : public QObject {
    Q_OBJECT
private slots:
    void changedRectBoundsTheDifference_data();
    void changedRectBoundsTheDifference();
    void undoRedoGiveBackExactPixels_data();
    void undoRedoGiveBackExactPixels();
    void strokeKeepsOnlyItsRegion();
    void historyStaysWithinTheBudget();
};

void TestPaintHistory::changedRectBoundsTheDifference_data()
{
    QTest::addColumn<QList<QPoint>>("changed");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("nothing") << QList<QPoint>{} << QRect();
    QTest::newRow("one pixel") << QList<QPoint>{{7, 3}} << QRect(7, 3, 1, 1);
    QTest::newRow("two corners") << QList<QPoint>{{0, 0}, {39, 29}} << QRect(0, 0, 40, 30);
    QTest::newRow("right edge only") << QList<QPoint>{{39, 10}, {39, 12}} << QRect(39, 10, 1, 3);
    QTest::newRow("left of a later row") << QList<QPoint>{{20, 5}, {2, 9}, {25, 9}} << QRect(2, 5, 24, 5);
}

void TestPaintHistory::changedRectBoundsTheDifference()
{
    QFETCH(QList<QPoint>, changed);
    QFETCH(QRect, expected);
    const QImage before = noise(3, QSize(40, 30), true);
    QImage after = before.copy();
    for (const QPoint& p : changed)
        after.setPixel(p, ~after.pixel(p) | 0xff000000u);
    QCOMPARE(PaintCommand::changedRect(before, after), expected);
    QCOMPARE(PaintCommand::changedRect(before, before.scaled(41, 30)), QRect(0, 0, 41, 30));
}

void TestPaintHistory::undoRedoGiveBackExactPixels_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<int>("commands");
    auto tool = [](auto make) {
        return Step([make](CanvasFixture& f) { make(f); });
    };
    QTest::newRow("brush stroke") << tool([](CanvasFixture& f) {
        BrushTool brush;
        brush.setSize(9);
        brush.setPrimaryColor(QColor(10, 200, 30, 140));
        drag(brush, f, {20, 20}, {70, 45});
    }) << 1;
    QTest::newRow("eraser") << tool([](CanvasFixture& f) {
        EraserTool eraser;
        eraser.setSize(13);
        drag(eraser, f, {5, 50}, {110, 52});
    }) << 1;
    QTest::newRow("pencil at the edge") << tool([](CanvasFixture& f) {
        PencilTool pencil;
        drag(pencil, f, {-5, 0}, {119, 0});
    }) << 1;
    QTest::newRow("fill") << tool([](CanvasFixture& f) {
        f.layer(f.document->activeIndex).image.fill(Qt::white);
        f.canvas.undoStack()->clear();
        FillTool fill;
        fill.setPrimaryColor(Qt::red);
        press(fill, f, {3, 3});
    }) << 1;
    QTest::newRow("gradient over everything") << tool([](CanvasFixture& f) {
        GradientTool gradient;
        drag(gradient, f, {0, 0}, {119, 79});
    }) << 1;
    QTest::newRow("move") << tool([](CanvasFixture& f) {
        MoveTool mover;
        drag(mover, f, {40, 40}, {47, 36});
    }) << 1;
    QTest::newRow("rectangle, committed") << tool([](CanvasFixture& f) {
        RectTool rect;
        rect.setSize(3);
        drag(rect, f, {10, 10}, {60, 30});
        f.canvas.commitPendingShape();
    }) << 1;
    QTest::newRow("delete selection") << tool([](CanvasFixture& f) {
        f.canvas.setSelection(QRect(30, 10, 25, 40));
        f.canvas.deleteSelection();
    }) << 1;
    QTest::newRow("crop") << tool([](CanvasFixture& f) {
        f.canvas.setSelection(QRect(11, 7, 50, 33));
        f.canvas.cropToSelection();
    }) << 1;
    QTest::newRow("merge down") << tool([](CanvasFixture& f) { f.canvas.mergeDown(); }) << 1;
    QTest::newRow("flatten") << tool([](CanvasFixture& f) { f.canvas.flattenAll(); }) << 1;
    QTest::newRow("brush, crop, then brush") << tool([](CanvasFixture& f) {
        BrushTool brush;
        drag(brush, f, {5, 5}, {100, 70});
        f.canvas.setSelection(QRect(20, 10, 60, 50));
        f.canvas.cropToSelection();
        drag(brush, f, {0, 40}, {59, 0});
    }) << 3;
}

// Every state along the way comes back exactly, undoing and redoing.
void TestPaintHistory::undoRedoGiveBackExactPixels()
{
    QFETCH(Step, step);
    QFETCH(int, commands);
    CanvasFixture f(QSize(120, 80));
    f.layer(0).image = noise(1, QSize(120, 80), false);
    f.document->addLayer(QStringLiteral("верх"));
    f.layer(1).image = noise(2, QSize(120, 80), true);
    f.document->layers[1]->opacity = 1.0;

    step(f);
    const int first = f.canvas.undoStack()->count() - commands;
    QVERIFY(first >= 0);
    // Walk the history back to record each state, then check it both ways.
    QList<State> states{stateOf(*f.document)};
    QUndoStack* stack = f.canvas.undoStack();
    for (int i = 0; i < commands; ++i) {
        stack->undo();
        states.prepend(stateOf(*f.document));
    }
    for (int i = 0; i < commands; ++i) {
        stack->redo();
        QVERIFY2(stateOf(*f.document) == states[i + 1], qPrintable(QStringLiteral("redo %1").arg(i + 1)));
    }
    for (int i = commands; i > 0; --i) {
        stack->undo();
        QVERIFY2(stateOf(*f.document) == states[i - 1], qPrintable(QStringLiteral("undo %1").arg(i)));
    }
    QVERIFY(states.first() != states.last());
}

// A short stroke on a large picture keeps its own few pixels, not the layer.
void TestPaintHistory::strokeKeepsOnlyItsRegion()
{
    CanvasFixture f(QSize(2000, 1500));
    BrushTool brush;
    brush.setSize(10);
    drag(brush, f, {100, 100}, {140, 130});
    QCOMPARE(f.canvas.undoStack()->count(), 1);
    const qint64 layerBytes = f.layer(0).image.sizeInBytes();
    const qint64 kept = f.canvas.historyBytes();
    QVERIFY2(kept > 0 && kept <= 2 * 60 * 50 * 4, qPrintable(QStringLiteral("%1 of %2").arg(kept).arg(layerBytes)));
}

// Changes over the whole picture: the oldest are let go so the rest fit, the
// picture stays as painted, and undo stops at the oldest change kept.
void TestPaintHistory::historyStaysWithinTheBudget()
{
    constexpr QSize kSize(256, 256);  // 256 KiB a layer
    constexpr qint64 kBudget = qint64(1) << 20;
    CanvasFixture f(kSize);
    f.canvas.setHistoryBudget(kBudget);
    FillTool fill;
    QList<State> states{stateOf(*f.document)};
    for (int i = 0; i < 12; ++i) {
        fill.setPrimaryColor(QColor::fromHsv(i * 30, 255, 255));
        press(fill, f, {0, 0});
        states << stateOf(*f.document);
        QVERIFY2(f.canvas.historyBytes() <= kBudget, qPrintable(QString::number(f.canvas.historyBytes())));
    }
    QCOMPARE(f.canvas.undoStack()->count(), 12);
    int undone = 0;
    while (f.canvas.undoStack()->canUndo()) {
        f.canvas.undoStack()->undo();
        ++undone;
    }
    // Each kept change restores the state before it; the dropped ones change nothing.
    const State reached = stateOf(*f.document);
    const int keptSteps = int(states.indexOf(reached));
    QVERIFY2(keptSteps > 0 && keptSteps < 12, qPrintable(QString::number(keptSteps)));
    QCOMPARE(reached, states[keptSteps]);
    QVERIFY(f.canvas.undoStack()->count() <= 12 - keptSteps);
    for (int i = keptSteps + 1; i <= 12; ++i) {
        f.canvas.undoStack()->redo();
        QVERIFY(stateOf(*f.document) == states[i]);
    }
}

QTEST_MAIN(TestPaintHistory)
#include "tst_painthistory.moc"
