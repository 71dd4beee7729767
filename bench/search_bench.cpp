// Search over a long text document in the window.
//   search_bench [pages]   milliseconds of "Найти все" (the table filled)
//                          against a bare loop of findTextWithOptions over
//                          the same pages in the same run, then the first
//                          find-next, a row click and a later find-next
#include "BenchDocuments.h"
#include "MainWindow.h"
#include "PdfDocument.h"
#include "SearchDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int kDefaultPages = 1000;
constexpr int kRounds = 2;

double bareLoop(const PdfDocument& doc, const QString& query, const PdfDocument::FindOptions& options, int* hits)
{
    QElapsedTimer clock;
    clock.start();
    int count = 0;
    for (int page = 0; page < doc.pageCount(); ++page)
        count += int(doc.findTextWithOptions(page, query, options).size());
    *hits = count;
    return bench::msSince(clock);
}

// The window's search for query, waited for; the number of entries.
int searchAndWait(MainWindow& window, const QString& query, const PdfDocument::FindOptions& options)
{
    int found = -2;
    window.searchDocument(query, options, [&found](int count) { found = count; });
    while (found == -2)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return found;
}

// The dialog's table filled for query, waited for; the number of entries.
int fillAndWait(SearchDialog& dialog, MainWindow& window, const QString& query,
                const PdfDocument::FindOptions& options, bool activateFirst)
{
    int entries = dialog.fillResults(query, options, activateFirst);
    while (entries < 0 && window.searchRunning())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return entries >= 0 ? entries : dialog.resultTable()->rowCount();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::useOwnSettings(QStringLiteral("search_bench"));
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : kDefaultPages;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.pdf"));
    bench::writeTextPdf(path, pages);

    MainWindow window(AppProduct::editor);
    window.resize(1200, 900);
    window.show();
    window.openFile(path);
    PdfDocument* doc = window.currentDocument();
    QTextStream out(stdout);
    out << "pages: " << doc->pageCount() << "\n";

    for (const QString& query : {QStringLiteral("строка 17:"), QStringLiteral("булок")}) {
        const PdfDocument::FindOptions options{};
        double bare = 1e100, all = 1e100;
        int hits = 0, entries = 0;
        for (int round = 0; round < kRounds; ++round) {
            bare = std::min(bare, bareLoop(*doc, query, options, &hits));
            // A new window each time, and the document changed in between
            // would rebuild: here another query in between forces a rebuild.
            auto* dialog = new SearchDialog(window);
            searchAndWait(window, QStringLiteral("x-none"), options);
            QElapsedTimer clock;
            clock.start();
            entries = fillAndWait(*dialog, window, query, options, true);
            QApplication::processEvents();
            all = std::min(all, bench::msSince(clock));
            dialog->deleteLater();
            QApplication::processEvents();
        }
        out << "query \"" << query << "\": " << hits << " rectangles, " << entries << " entries\n";
        out << "  bare findTextWithOptions loop: " << bare << " ms\n";
        out << "  Найти все (table filled):       " << all << " ms (" << (all / bare - 1) * 100 << " % over)\n";

        searchAndWait(window, QStringLiteral("x-none"), options);
        QElapsedTimer clock;
        clock.start();
        window.onFindNext(query, false, false, false, false);
        while (window.currentSearchEntry() < 0)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        out << "  first find-next:                " << bench::msSince(clock) << " ms\n";
        auto* dialog = new SearchDialog(window);
        fillAndWait(*dialog, window, query, options, false);
        clock.restart();
        emit dialog->resultTable()->cellClicked(entries / 2, 0);
        QApplication::processEvents();
        out << "  row click (middle row):         " << bench::msSince(clock) << " ms\n";
        clock.restart();
        window.onFindNext(query, false, false, false, false);
        QApplication::processEvents();
        out << "  later find-next:                " << bench::msSince(clock) << " ms\n";
        delete dialog;
    }
    return 0;
}
