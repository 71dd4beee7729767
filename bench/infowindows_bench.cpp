// The windows that read a whole document or build many buttons at once.
//   infowindows_bench [pages]   milliseconds until the properties window of a
//                               dense text document of that many pages (1000)
//                               is shown and until its fonts are listed, and
//                               until the special characters dialog is shown,
//                               each the median of 5 runs
#include "BenchDocuments.h"
#include "DocumentPropertiesDialog.h"
#include "MainWindow.h"
#include "PdfDocument.h"
#include "SpecialCharactersDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr int kDefaultPages = 1000;
constexpr int kRuns = 5;

// The median milliseconds of show, each run until the window is shown and
// its events are done; close removes it again.
double medianMs(const std::function<QWidget*()>& show)
{
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        QWidget* shown = show();
        QApplication::processEvents();
        times.push_back(bench::msSince(clock));
        shown->close();
        QApplication::processEvents();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::useOwnSettings(QStringLiteral("vorn-infowindows-bench"));
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : kDefaultPages;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dense.pdf"));
    bench::writeTextPdf(path, pages);

    PdfDocument alone;
    alone.open(path);
    QElapsedTimer fontsClock;
    fontsClock.start();
    const int fonts = int(DocumentPropertiesDialog::fontList(alone).size());
    const double fontsMs = bench::msSince(fontsClock);

    MainWindow window(AppProduct::editor);
    window.resize(1200, 800);
    window.show();
    window.openFile(path);
    QApplication::processEvents();

    const double properties = medianMs([&window] {
        window.showDocumentPropertiesDialog();
        return window.findChildren<DocumentPropertiesDialog*>().constLast();
    });
    const double propertiesWithFonts = medianMs([&window] {
        window.showDocumentPropertiesDialog();
        auto* dialog = window.findChildren<DocumentPropertiesDialog*>().constLast();
        while (!dialog->fontsListed())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return dialog;
    });
    int buttons = 0;
    const double symbols = medianMs([&window, &buttons] {
        window.showSpecialCharactersDialog();
        auto* dialog = window.findChildren<SpecialCharactersDialog*>().constLast();
        buttons = int(dialog->findChildren<QPushButton*>(QStringLiteral("SymbolButton")).size());
        return dialog;
    });

    QTextStream out(stdout);
    out << "fonts of the first pages alone: " << fontsMs << " ms (" << fonts << " fonts)\n";
    out << "properties window shown, " << pages << " dense pages: " << properties << " ms\n";
    out << "properties window with its fonts listed: " << propertiesWithFonts << " ms\n";
    out << "special characters dialog, " << buttons << " buttons: " << symbols << " ms\n";
    return 0;
}
