// Paint canvas figures on a 4,000 x 3,000 picture: first the peak memory of 50
// brush strokes and what their recorded changes keep; then, with three layers,
// the time of one repaint at the fit zoom and at zoom 1, with the composed
// picture kept and with a layer changed before every repaint (which composes
// all layers again), the composition alone, and the memory each recorded
// change adds.
// Usage: paint_bench [repaints]
#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "ProcessMemory.h"
#include "StrokeTool.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using bench::peakBytes;
using bench::resetPeak;
using bench::residentBytes;

constexpr QSize kPictureSize(4000, 3000);
constexpr int kChanges = 8;

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// 50 strokes of a few hundred pixels each, as a user makes them.
void strokes(int count)
{
    paint::Document doc(kPictureSize);
    paint::CanvasWidget canvas;
    canvas.setDocument(&doc);
    paint::BrushTool brush;
    brush.setSize(24);
    QRandomGenerator random(7);
    const qint64 start = residentBytes();
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        QPoint at(int(random.bounded(kPictureSize.width())), int(random.bounded(kPictureSize.height())));
        const auto send = [&](QEvent::Type type, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(), QPointF(), Qt::LeftButton, buttons, Qt::NoModifier);
            if (type == QEvent::MouseButtonPress)
                brush.mousePress(&canvas, &doc, &event, at);
            else if (type == QEvent::MouseMove)
                brush.mouseMove(&canvas, &doc, &event, at);
            else
                brush.mouseRelease(&canvas, &doc, &event, at);
        };
        send(QEvent::MouseButtonPress, Qt::LeftButton);
        for (int step = 0; step < 20; ++step) {
            at += QPoint(int(random.bounded(31)) - 15, int(random.bounded(31)) - 15);
            send(QEvent::MouseMove, Qt::LeftButton);
        }
        send(QEvent::MouseButtonRelease, Qt::NoButton);
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    std::printf("%d brush strokes on %dx%d: peak +%.1f MB over the %.1f MB before (peak RSS %.1f MB), "
                "recorded changes keep %.2f MB, %.1f ms a stroke, %d recorded\n",
                count, kPictureSize.width(), kPictureSize.height(), (peakBytes() - start) / 1048576.0,
                start / 1048576.0, peakBytes() / 1048576.0, canvas.historyBytes() / 1048576.0, ms / count,
                canvas.undoStack()->count());
}

void fillLayers(paint::Document& doc)
{
    QPainter bottom(&doc.layers[0]->image);
    QLinearGradient gradient(0, 0, kPictureSize.width(), kPictureSize.height());
    gradient.setColorAt(0, QColor(240, 230, 200));
    gradient.setColorAt(1, QColor(90, 120, 160));
    bottom.fillRect(doc.layers[0]->image.rect(), gradient);
    bottom.end();
    doc.addLayer(QString());
    QPainter middle(&doc.layers[1]->image);
    middle.setPen(QPen(QColor(20, 40, 160, 200), 12));
    for (int i = 0; i < 40; ++i)
        middle.drawEllipse(QRect(100 + i * 90, 200 + i * 50, 600, 400));
    middle.end();
    doc.addLayer(QString());
    doc.layers[2]->opacity = 0.7;
    QPainter top(&doc.layers[2]->image);
    top.fillRect(QRect(1000, 800, 1500, 1200), QColor(200, 0, 0, 120));
}

// ms per repaint; with `touch` a layer pixel changes first, as a tool's stroke does.
double repaintMs(paint::CanvasWidget& canvas, paint::Document& doc, int repaints, bool touch)
{
    std::vector<double> times;
    for (int i = 0; i < repaints; ++i) {
        if (touch)
            doc.layers[1]->image.setPixel(i % 100, 0, qRgba(0, 0, 0, 255));
        QElapsedTimer timer;
        timer.start();
        canvas.repaint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(times);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repaints = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
    strokes(50);

    paint::Document doc(kPictureSize);
    fillLayers(doc);
    paint::CanvasWidget canvas;
    canvas.resize(1200, 900);
    canvas.show();
    QApplication::processEvents();
    canvas.setDocument(&doc);
    canvas.fitToView();

    std::vector<double> compose;
    for (int i = 0; i < repaints; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QImage merged = doc.mergedImage();
        compose.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("picture %dx%d, 3 layers, canvas 1200x900\n", kPictureSize.width(), kPictureSize.height());
    std::printf("compose all layers (mergedImage): %.1f ms\n", median(compose));

    const double fitZoom = canvas.zoom();
    for (const double zoom : {fitZoom, 1.0}) {
        canvas.applyZoomAt(zoom / canvas.zoom(), QPoint(600, 450));
        canvas.repaint();
        std::printf("zoom %.3f: repaint %.1f ms with the picture kept, %.1f ms after a layer change\n", zoom,
                    repaintMs(canvas, doc, repaints, false), repaintMs(canvas, doc, repaints, true));
    }

    // Recorded changes as a tool makes them: keep the layer, paint, record.
    canvas.setDocument(&doc);
    doc.activeIndex = 1;  // the layer painted on
    const qint64 start = residentBytes();
    for (int i = 0; i < kChanges; ++i) {
        const QImage before = doc.layers[1]->image;
        QPainter painter(&doc.layers[1]->image);
        painter.fillRect(QRect(i * 10, 0, 5, 5), Qt::blue);
        painter.end();
        canvas.commitLayerSnapshot(before, QStringLiteral("Кисть"));
    }
    const qint64 afterPaints = residentBytes();
    canvas.mergeDown();
    canvas.flattenAll();
    const qint64 afterMerges = residentBytes();
    const double layerMb = kPictureSize.width() * kPictureSize.height() * 4 / 1048576.0;
    std::printf("one layer image: %.1f MB\n", layerMb);
    std::printf("memory per paint change: %.1f MB (%d changes, %d recorded)\n",
                (afterPaints - start) / 1048576.0 / kChanges, kChanges, canvas.undoStack()->count() - 2);
    std::printf("recorded changes keep: %.1f MB\n", canvas.historyBytes() / 1048576.0);
    std::printf("merge down then flatten: %.1f MB together\n", (afterMerges - afterPaints) / 1048576.0);
    return 0;
}
