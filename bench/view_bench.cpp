// Page view figures on a 1,000-page text document in continuous mode: time
// from setDocument to the first painted page, paint time per frame while
// scrolling through it and the pages rendered (on the render thread), paint
// time while another thread holds the engine, the text hit test of a mouse
// move, and how soon the thumbnail strip has its visible rows. Then, in edit
// mode on a page of 100 native lines, pointer move and paint time with 0, 20
// and 100 of them changed.
// Usage: view_bench [frames | edit]  ("edit": the edit-mode figures only)
#include "BenchDocuments.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "PdfiumApi.h"
#include "TextBlock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QThread>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr int kPages = 1000;
constexpr int kEditLines = 100;

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[size_t(std::min<double>(values.size() - 1, p * values.size()))];
}

double mean(const std::vector<double>& values)
{
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

// Until every page image the view shows has come from the render thread.
void waitForPages(PdfView& view)
{
    view.viewport()->repaint();
    while (view.pageRendersPending())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    view.viewport()->repaint();
}

// One A4 page of kEditLines lines of text.
void writeLinesPdf(const QString& path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 6));
    for (int line = 0; line < kEditLines; ++line)
        painter.drawText(30, 20 + line * 8,
                         QStringLiteral("Строка %1: съешь же ещё этих мягких французских булок, да выпей чаю.")
                             .arg(line + 1));
}

// Edit mode on the page of kEditLines lines with the first `changed` of them
// typed into: mean time of a pointer move over the page and of a paint.
void benchChangedLines(PdfDocument& doc, int changed)
{
    PdfView view;
    view.resize(1000, 900);
    view.show();
    QApplication::processEvents();
    view.setDocument(&doc);
    view.setZoom(1.0);
    waitForPages(view);
    std::vector<TextBlock> blocks = doc.extractText(0);
    for (int i = 0; i < changed && i < int(blocks.size()); ++i)
        blocks[size_t(i)].text += QStringLiteral(" ы");
    view.setEditMode(true);
    view.setOcrBlocks(blocks, 0, false);
    view.viewport()->repaint();

    const QPoint origin = view.pageOffset(0);
    std::vector<double> moves;
    QElapsedTimer timer;
    for (int i = 0; i < 200; ++i) {
        const QPointF at(origin.x() + 40 + (i * 37) % 500, origin.y() + 20 + (i * 53) % 800);
        QMouseEvent move(QEvent::MouseMove, at, view.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        timer.restart();
        QApplication::sendEvent(view.viewport(), &move);
        moves.push_back(bench::msSince(timer));
    }
    std::vector<double> paints;
    for (int i = 0; i < 30; ++i) {
        timer.restart();
        view.viewport()->repaint();
        paints.push_back(bench::msSince(timer));
    }
    std::printf("edit mode, %d native lines on the page, %3d changed: pointer move mean %.3f ms (max %.2f),"
                " paint mean %.2f ms (max %.2f)\n",
                int(blocks.size()), changed, mean(moves), *std::max_element(moves.begin(), moves.end()),
                mean(paints), *std::max_element(paints.begin(), paints.end()));
    view.setDocument(nullptr);
}

int benchEditMode(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("lines.pdf"));
    writeLinesPdf(path);
    PdfDocument doc;
    if (!doc.open(path)) {
        std::fprintf(stderr, "cannot open the lines document\n");
        return 1;
    }
    for (int changed : {0, 20, kEditLines})
        benchChangedLines(doc, changed);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool editOnly = argc > 1 && QByteArray(argv[1]) == "edit";
    const int frames = argc > 1 && !editOnly ? std::max(1, atoi(argv[1])) : 600;
    QTemporaryDir dir;
    if (editOnly)
        return benchEditMode(dir);
    const QString path = dir.filePath(QStringLiteral("thousand.pdf"));
    bench::writeTextPdf(path, kPages);
    PdfDocument doc;
    if (!doc.open(path)) {
        std::fprintf(stderr, "cannot open the benchmark document\n");
        return 1;
    }

    PdfView view;
    view.resize(1000, 800);
    view.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    view.setDocument(&doc);
    waitForPages(view);
    const double firstPaint = bench::msSince(timer);
    std::printf("setDocument to first painted page: %.1f ms (%d pages, zoom %.2f)\n", firstPaint, kPages,
                view.zoom());

    QScrollBar* bar = view.verticalScrollBar();
    const int step = std::max(1, bar->maximum() / frames);
    std::vector<double> paints;
    const int rendersBefore = view.pageRenderCount();
    for (int value = 0; value <= bar->maximum(); value += step) {
        bar->setValue(value);
        timer.restart();
        view.viewport()->repaint();
        paints.push_back(bench::msSince(timer));
    }
    const double scrollPaints = mean(paints);
    timer.restart();
    waitForPages(view);
    const double settle = bench::msSince(timer);
    const int renders = view.pageRenderCount() - rendersBefore;
    std::printf("scroll through in %zu frames of %d px: paint mean %.2f ms, median %.2f ms, p95 %.2f ms, max %.2f ms;"
                " %d pages rendered (%.2f per frame)\n",
                paints.size(), step, std::accumulate(paints.begin(), paints.end(), 0.0) / paints.size(),
                percentile(paints, 0.5), percentile(paints, 0.95), *std::max_element(paints.begin(), paints.end()),
                renders, double(renders) / paints.size());
    std::printf("  (render thread: %.1f ms to finish the last frame's pages after the scroll stopped)\n", settle);
    (void)scrollPaints;

    // Another thread holds the engine (a heavy render elsewhere): painting and
    // scrolling go on.
    {
        std::atomic<bool> holding{false};
        std::atomic<bool> release{false};
        std::unique_ptr<QThread> blocker(QThread::create([&] {
            QMutexLocker lock(&pdfiumMutex());
            holding = true;
            while (!release)
                QThread::msleep(1);
        }));
        blocker->start();
        while (!holding)
            QThread::msleep(1);
        std::vector<double> busy;
        for (int i = 0; i < 100; ++i) {
            bar->setValue((bar->value() + 997) % std::max(bar->maximum(), 1));
            timer.restart();
            view.viewport()->repaint();
            busy.push_back(bench::msSince(timer));
        }
        release = true;
        blocker->wait();
        std::printf("engine held by another thread: 100 jumps, paint mean %.2f ms, max %.2f ms\n", mean(busy),
                    *std::max_element(busy.begin(), busy.end()));
    }

    std::vector<double> smooth;
    bar->setValue(bar->maximum() / 2);
    view.viewport()->repaint();
    for (int i = 0; i < 200; ++i) {
        bar->setValue(bar->value() + 20);
        timer.restart();
        view.viewport()->repaint();
        smooth.push_back(bench::msSince(timer));
    }
    std::printf("wheel-step scrolling (20 px, cached pages): paint mean %.3f ms, max %.2f ms\n",
                std::accumulate(smooth.begin(), smooth.end(), 0.0) / smooth.size(),
                *std::max_element(smooth.begin(), smooth.end()));

    // The pointer over a page's text: the first move asks the render thread for
    // the page's text and the I-beam follows when it has arrived.
    const QPoint overText(view.pageOffset(view.currentPage()).x() + 60, 120);
    const auto move = [&view](const QPoint& at) {
        QMouseEvent event(QEvent::MouseMove, QPointF(at), view.viewport()->mapToGlobal(QPointF(at)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    };
    timer.restart();
    move(overText);
    const double firstMove = bench::msSince(timer);
    while (view.viewport()->cursor().shape() != Qt::IBeamCursor) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        move(overText);
    }
    const double beam = bench::msSince(timer);
    timer.restart();
    constexpr int kMoves = 1000;
    for (int i = 0; i < kMoves; ++i)
        move(overText + QPoint(i % 300, 0));
    std::printf("pointer over text: first move on a page %.2f ms (I-beam after %.1f ms), then %.4f ms per move\n",
                firstMove, beam, bench::msSince(timer) / kMoves);
    view.setDocument(nullptr);

    PageThumbnailPanel panel;
    panel.resize(160, 900);
    panel.show();
    QApplication::processEvents();
    timer.restart();
    panel.setDocument(&doc);
    const double setDocumentMs = bench::msSince(timer);
    const auto visibleReady = [&panel] {
        for (int row = 0; row < panel.count(); ++row) {
            const QRect rect = panel.visualItemRect(panel.item(row));
            if (rect.intersects(panel.viewport()->rect()) && !panel.hasThumbnail(row))
                return false;
        }
        return true;
    };
    while (!visibleReady())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("thumbnails: setDocument %.1f ms on the GUI thread, visible rows ready after %.1f ms\n", setDocumentMs,
                bench::msSince(timer));
    panel.verticalScrollBar()->setValue(panel.verticalScrollBar()->maximum() / 2);
    timer.restart();
    while (!visibleReady())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("thumbnails: after a jump to the middle, visible rows ready after %.1f ms\n", bench::msSince(timer));
    panel.setDocument(nullptr);
    return benchEditMode(dir);
}
