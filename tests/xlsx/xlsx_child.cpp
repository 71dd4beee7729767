// Imports one workbook as the window would, in a process of its own, so that
// a test can watch from outside for crashes, runaway time and memory:
// builds the import dialog, paints it twice, and writes every page into a
// PDF. Prints one line:
//   sheets <n> pages <n> merges <n> points <n> paint <ms> write <ms> reason <text>
// (merges of the first sheet, cached points of its longest chart series,
// the processor time of the second paint and of writing the pages: work,
// which a busy machine does not stretch as it does the clock). Exit 0, or 3 for bad arguments.
//   xlsx_child <file.xlsx> <scratch folder> <address space MiB>
#include "XlsxImportDialog.h"
#include "WorkMeter.h"
#include "XlsxPackage.h"

#include <QApplication>
#include <QDir>

#include <sys/resource.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 3;
    const rlim_t limit = rlim_t(std::strtoull(argv[3], nullptr, 10)) << 20;
    const rlimit space{limit, limit};
    if (limit == 0 || setrlimit(RLIMIT_AS, &space) != 0)
        return 3;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[1]);

    const XlsxIWorkbook book = iReadWorkbook(file);
    qsizetype merges = 0;
    qsizetype points = 0;
    if (!book.sheets.empty()) {
        merges = book.sheets.front().data->merges.size();
        for (const XlsxIChart& chart : book.sheets.front().charts)
            for (const XlsxIChartSeries& series : chart.series)
                points = std::max(points, std::max(series.values.size(), series.categories.size()));
    }

    XlsxImportDialog dialog(file, nullptr);
    dialog.show();
    QApplication::processEvents();
    dialog.grab();
    const workmeter::Meter paint;
    dialog.grab();
    const qint64 paintMs = paint.processorMs();
    const XlsxPageRenderer renderer = dialog.pageRenderer();
    const workmeter::Meter write;
    if (renderer.pageCount() > 0 && !renderer.writePdf(QDir(QString::fromLocal8Bit(argv[2])).filePath("pages.pdf")))
        std::printf("write failed\n");
    const qint64 writeMs = write.processorMs();
    const QString reason = book.reason.isEmpty() ? dialog.reason() : book.reason;
    std::printf("sheets %d pages %d merges %lld points %lld paint %lld write %lld reason %s\n", int(book.sheets.size()),
                renderer.pageCount(), qint64(merges), qint64(points), paintMs, writeMs, reason.toUtf8().constData());
    return 0;
}
