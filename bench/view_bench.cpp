// Page view figures on a 1,000-page text document in continuous mode: time
// from setDocument to the first painted page, paint time per frame while
// scrolling through it and the pages rendered, the text hit test of a mouse
// move, and how soon the thumbnail strip has its visible rows.
// Usage: view_bench [frames]
#include "BenchDocuments.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {

constexpr int kPages = 1000;



double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[size_t(std::min<double>(values.size() - 1, p * values.size()))];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 600;
    QTemporaryDir dir;
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
    view.viewport()->repaint();
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
    const int renders = view.pageRenderCount() - rendersBefore;
    std::printf("scroll through in %zu frames of %d px: paint mean %.2f ms, median %.2f ms, p95 %.2f ms, max %.2f ms;"
                " %d pages rendered (%.2f per frame)\n",
                paints.size(), step, std::accumulate(paints.begin(), paints.end(), 0.0) / paints.size(),
                percentile(paints, 0.5), percentile(paints, 0.95), *std::max_element(paints.begin(), paints.end()),
                renders, double(renders) / paints.size());

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

    const QPoint overText(view.pageOffset(view.currentPage()).x() + 60, 120);
    timer.restart();
    view.selectableTextAtViewportPoint(overText);
    const double firstHit = bench::msSince(timer);
    timer.restart();
    constexpr int kMoves = 1000;
    for (int i = 0; i < kMoves; ++i)
        view.selectableTextAtViewportPoint(overText + QPoint(i % 300, 0));
    std::printf("text hit test of a mouse move: first on a page %.2f ms, then %.4f ms\n", firstHit,
                bench::msSince(timer) / kMoves);
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
    return 0;
}
