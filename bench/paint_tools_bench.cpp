// Picture editor operations on a 4,000 x 3,000 scanned signature (white paper,
// dark strokes): one fill of the white background, one magic wand click, one
// tolerance preview step. Time (median) and the peak memory each one adds.
// Usage: paint_tools_bench [runs]
#include "BackgroundRemoval.h"
#include "CanvasWidget.h"
#include "Document.h"
#include "FillTool.h"
#include "Layer.h"
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

constexpr QSize kPictureSize(4000, 3000);

QImage signature()
{
    QImage image(kPictureSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(20, 30, 90), 14, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        QPainterPath path(QPointF(400 + i * 260, 1500));
        path.cubicTo(600 + i * 260, 400, 900 + i * 260, 2600, 700 + i * 260, 1400);
        painter.drawPath(path);
    }
    return image;
}

// Peak resident memory since the last reset, in bytes.
qint64 peakBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
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
    report("tolerance preview step", runs, [&] { preview = QImage(); },
           [&] { preview = paint::removeBackground(picture, Qt::white, 18); });
    return 0;
}
