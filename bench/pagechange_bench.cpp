// Page changes in the editor window on a text document with a coloured stamp
// on every page: what the GUI thread spends per change in edit mode the first
// time a page is shown (text and images extracted, as on every change before
// the page cache) and when it comes back (taken from the cache), and in read
// mode, which reads no text layer.
// Usage: pagechange_bench [pages]
#include "BenchDocuments.h"
#include "MainWindow.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kDefaultPages = 10;

struct Figures {
    double median = 0;
    double worst = 0;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::useOwnSettings(QStringLiteral("vorn-bench-pagechange"));
    const int pages = argc > 1 ? std::clamp(atoi(argv[1]), 2, 12) : kDefaultPages;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stamped.pdf"));
    bench::writeTextPdf(path, pages, true);

    MainWindow window(AppProduct::editor);
    window.resize(1000, 800);
    window.show();
    window.openFile(path);
    auto* view = window.findChild<PdfView*>(QStringLiteral("DocumentScroll"));
    view->setViewMode(PdfView::SinglePage);
    QApplication::processEvents();

    // In edit mode one pass forward shows every page for the first time and
    // the pass back finds them all in the cache; in read mode a page change
    // reads no text layer at all.
    auto pass = [&](bool forward) {
        std::vector<double> ms;
        for (int i = 1; i < pages; ++i) {
            const int page = forward ? i : pages - 1 - i;
            QElapsedTimer timer;
            timer.start();
            view->setCurrentPage(page);
            ms.push_back(bench::msSince(timer));
            QApplication::processEvents();
        }
        return figures(ms);
    };
    window.onToggleEditMode();
    const Figures first = pass(true);
    const Figures again = pass(false);
    window.onToggleEditMode();
    const QString copy = dir.filePath(QStringLiteral("copy.pdf"));
    QFile::copy(path, copy);
    window.openFile(copy);
    view->setViewMode(PdfView::SinglePage);
    const Figures reading = pass(true);
    // What the first visit spends on each half of the extraction.
    std::vector<double> textMs;
    std::vector<double> imageMs;
    for (int i = 0; i < pages; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.currentDocument()->extractText(i);
        textMs.push_back(bench::msSince(timer));
        timer.restart();
        window.currentDocument()->extractImages(i);
        imageMs.push_back(bench::msSince(timer));
    }
    std::printf("page change, %d A4 text pages with a stamp, GUI thread ms (median / worst)\n", pages);
    std::printf("  edit mode, first visit (extracted):  %.1f / %.1f\n", first.median, first.worst);
    std::printf("  edit mode, next visit (cached):      %.2f / %.2f\n", again.median, again.worst);
    std::printf("  read mode, first visit:              %.2f / %.2f\n", reading.median, reading.worst);
    std::printf("  of a first visit: text %.1f, images and coloured ink %.1f (medians)\n", figures(textMs).median,
                figures(imageMs).median);
    return 0;
}
