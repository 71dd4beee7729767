// Scanned-look export and printing figures on 10 A4 text pages.
//   output_bench scanned   at 300 dpi with noise 4 and 0: per page the render,
//                          the effect and the write, and the peak memory
//   output_bench print     printed to a PDF file at 300 dpi: time and peak memory
#include "BenchDocuments.h"
#include "PagePrinter.h"
#include "PdfDocument.h"
#include "PrintDevice.h"
#include "ProcessMemory.h"
#include "ScannedPdfEffect.h"
#include "ScannedPdfWriter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int kPages = 10;
constexpr int kDpi = 300;

double mb(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

void scanned(const PdfDocument& doc, const QTemporaryDir& dir, int noise)
{
    QTextStream out(stdout);
    ScannedPdfExportOptions options;
    options.dpi = kDpi;
    options.noise = noise;
    // Render and effect on their own, page by page.
    double renderMs = 0;
    double effectMs = 0;
    QElapsedTimer clock;
    for (int page = 0; page < kPages; ++page) {
        clock.start();
        const QImage image = doc.renderPage(page, kDpi / 72.0, 0);
        renderMs += double(clock.nsecsElapsed()) / 1e6;
        clock.start();
        const QImage result = applyScannedPdfEffect(image, options, page, false);
        effectMs += double(clock.nsecsElapsed()) / 1e6;
    }
    // The whole export; its render is timed again, the rest is effect and write.
    ScannedPdfWriter::Source source;
    source.pageCount = kPages;
    source.pageSize = [&doc](int page) { return doc.pageSize(page); };
    double renderAgainMs = 0;
    source.renderPage = [&](int page, double scale) {
        QElapsedTimer renderClock;
        renderClock.start();
        QImage image = doc.renderPage(page, scale, 0);
        renderAgainMs += double(renderClock.nsecsElapsed()) / 1e6;
        return image;
    };
    const QString path = dir.filePath(QStringLiteral("scanned-%1.pdf").arg(noise));
    bench::resetPeak();
    clock.start();
    const bool written = ScannedPdfWriter::write(path, options, source, {}) == ScannedPdfWriter::Result::Written;
    const double totalMs = double(clock.nsecsElapsed()) / 1e6;
    const double writeMs = totalMs - renderAgainMs - effectMs;
    out << QStringLiteral("scanned noise %1: %2 | per page render %3 ms, effect %4 ms, write %5 ms; total %6 s; "
                          "peak %7 MB; file %8 MB\n")
               .arg(noise)
               .arg(written ? QStringLiteral("written") : QStringLiteral("FAILED"))
               .arg(renderMs / kPages, 0, 'f', 0)
               .arg(effectMs / kPages, 0, 'f', 0)
               .arg(writeMs / kPages, 0, 'f', 0)
               .arg(totalMs / 1000.0, 0, 'f', 2)
               .arg(mb(bench::peakBytes()), 0, 'f', 0)
               .arg(mb(QFileInfo(path).size()), 0, 'f', 1);
}

void printed(const PdfDocument& doc, const QTemporaryDir& dir)
{
    QTextStream out(stdout);
    const QString path = dir.filePath(QStringLiteral("printed.pdf"));
    PdfFilePrintDevice device(path);
    device.printer().setResolution(kDpi);
    device.printer().setPageSize(QPageSize(QPageSize::A4));
    device.confirm(nullptr);
    bench::resetPeak();
    QElapsedTimer clock;
    clock.start();
    const PrintOutcome outcome = printPages(doc, device.printer(), 0, kPages - 1, nullptr);
    const double totalMs = double(clock.nsecsElapsed()) / 1e6;
    out << QStringLiteral("printed at %1 dpi: %2 pages in %3 s (%4 ms a page); peak %5 MB; file %6 MB\n")
               .arg(kDpi)
               .arg(outcome.printed)
               .arg(totalMs / 1000.0, 0, 'f', 2)
               .arg(totalMs / kPages, 0, 'f', 0)
               .arg(mb(bench::peakBytes()), 0, 'f', 0)
               .arg(mb(QFileInfo(path).size()), 0, 'f', 1);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::useOwnSettings(QStringLiteral("output_bench"));
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("scanned");
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("text.pdf"));
    bench::writeTextPdf(source, kPages);
    PdfDocument doc;
    if (!doc.open(source))
        return 1;
    if (mode == QLatin1String("print")) {
        printed(doc, dir);
    } else {
        scanned(doc, dir, 4);
        scanned(doc, dir, 0);
    }
    return 0;
}
