// Picture editor operations on a 4,000 x 3,000 scanned signature (white paper,
// dark strokes): one fill of the white background, one magic wand click, one
// tolerance preview made in full; time (median) and the peak memory each one
// adds. Then a slider drag over the tolerance dialog's previews: how long the
// GUI thread is held per slider step and per preview shown, and how long the
// last value takes to show, at 12 MP and, with "large", at 108 MP.
// Usage: paint_tools_bench [runs] [large]
#include "BackgroundPreviewer.h"
#include "BackgroundRemoval.h"
#include "CanvasWidget.h"
#include "Document.h"
#include "FillTool.h"
#include "Layer.h"
#include "ProcessMemory.h"
#include "SelectionTools.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QUndoStack>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using bench::peakBytes;
using bench::resetPeak;
using bench::residentBytes;

constexpr QSize kPictureSize(4000, 3000);

QImage signature(const QSize& size = kPictureSize)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size.width() / double(kPictureSize.width()), size.height() / double(kPictureSize.height()));
    painter.setPen(QPen(QColor(20, 30, 90), 14, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        QPainterPath path(QPointF(400 + i * 260, 1500));
        path.cubicTo(600 + i * 260, 400, 900 + i * 260, 2600, 700 + i * 260, 1400);
        painter.drawPath(path);
    }
    return image;
}

// A drag over 25 slider values, one every 16 ms as a pointer moves; each
// preview that lands is put on the layer and the canvas repainted, as the
// editor does.
void sliderDrag(const QImage& picture)
{
    constexpr int kSteps = 25;
    paint::Document document(picture.size());
    document.layers[0]->image = picture;
    paint::CanvasWidget canvas;
    canvas.resize(1000, 700);
    canvas.setDocument(&document);
    canvas.fitToView();
    canvas.show();
    QApplication::processEvents();

    QElapsedTimer sync;
    sync.start();
    const QImage full = paint::removeBackground(picture, Qt::white, 18);
    const double syncMs = sync.nsecsElapsed() / 1e6;

    paint::BackgroundPreviewer previewer(picture, Qt::white);
    double worstShow = 0;
    int shown = 0;
    QObject::connect(&previewer, &paint::BackgroundPreviewer::ready, [&](int, const QImage& preview) {
        QElapsedTimer timer;
        timer.start();
        document.layers[0]->image = preview;
        canvas.repaint();
        worstShow = std::max(worstShow, timer.nsecsElapsed() / 1e6);
        ++shown;
    });
    double worstStep = 0;
    QElapsedTimer drag;
    drag.start();
    for (int step = 0; step < kSteps; ++step) {
        QElapsedTimer timer;
        timer.start();
        previewer.request(18 + step);
        worstStep = std::max(worstStep, timer.nsecsElapsed() / 1e6);
        QElapsedTimer frame;
        frame.start();
        while (frame.elapsed() < 16)
            QApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    const double dragEnd = drag.nsecsElapsed() / 1e6;
    while (previewer.busy())
        QApplication::processEvents(QEventLoop::AllEvents, 2);
    QApplication::processEvents();
    const double lastShown = drag.nsecsElapsed() / 1e6 - dragEnd;
    std::printf("%dx%d (%.0f MP): a preview made in full on the GUI thread %.1f ms (the old slider step);\n"
                "  off the GUI thread: slider step %.3f ms at most, showing a preview %.1f ms at most, "
                "%d of %d values shown, the last one %.1f ms after the drag ended\n",
                picture.width(), picture.height(), picture.width() * double(picture.height()) / 1e6, syncMs,
                worstStep, worstShow, shown, kSteps, lastShown);
    (void)full;
}

void report(const char* what, int runs, const std::function<void()>& prepare, const std::function<void()>& run)
{
    std::vector<double> ms;
    qint64 added = 0;
    for (int i = 0; i < runs; ++i) {
        prepare();
        resetPeak();
        const qint64 base = residentBytes();
        QElapsedTimer timer;
        timer.start();
        run();
        ms.push_back(timer.nsecsElapsed() / 1e6);
        added = std::max(added, peakBytes() - base);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s median %7.1f ms  (min %7.1f, max %7.1f)  peak +%.1f MB\n", what, ms[ms.size() / 2], ms.front(),
                ms.back(), added / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QImage picture = signature();
    paint::Document document(kPictureSize);
    paint::CanvasWidget canvas;
    canvas.setDocument(&document);
    const QPoint corner(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(), QPointF(), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);

    paint::FillTool fill;
    fill.setPrimaryColor(QColor(255, 230, 200));
    report("fill of the white paper", runs,
           [&] {
               canvas.undoStack()->clear();
               document.layers[0]->image = picture.copy();
           },
           [&] { fill.mousePress(&canvas, &document, &press, corner); });
    if (canvas.undoStack()->count() != 1)
        std::printf("  (the fill recorded nothing)\n");

    paint::WandTool wand;
    wand.setSize(8);
    report("magic wand click, size 8", runs, [&] { document.layers[0]->image = picture.copy(); },
           [&] { wand.mousePress(&canvas, &document, &press, corner); });
    std::printf("  selection %s\n", qPrintable(QStringLiteral("%1x%2").arg(canvas.selectionPath().boundingRect().width())
                                                     .arg(canvas.selectionPath().boundingRect().height())));

    QImage preview;
    report("tolerance preview in full", runs, [&] { preview = QImage(); },
           [&] { preview = paint::removeBackground(picture, Qt::white, 18); });
    preview = QImage();
    document.layers[0]->image = QImage();

    sliderDrag(picture);
    if (argc > 2 && QByteArray(argv[2]) == "large")
        sliderDrag(signature(QSize(12000, 9000)));
    return 0;
}
