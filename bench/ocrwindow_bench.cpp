// Usage: ocrwindow_bench [pages]
// Whole-document OCR of a scanned document (default 10 A4 pages) through the
// main window: a timer ticking every 10 ms on the GUI thread during the run
// gives the longest time the window could not answer, against the slowest
// single page, for which the window stood still when runs were one GUI-thread
// loop.

#include "BenchDocuments.h"
#include "MainWindow.h"
#include "OcrTestPages.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kDefaultPages = 10;
constexpr double kScanDpi = 144.0;  // A4 pages recognised at zoom 2, as the run renders them
constexpr double kA4Width = 595.0;
constexpr double kA4Height = 842.0;
constexpr int kTickMs = 10;

QString scannedDocument(const QTemporaryDir& dir, const QString& name, int pages)
{
    const std::vector<TestPage> sources = testpages::allPages(kScanDpi);
    PdfDocument doc;
    for (int i = 0; i < pages; ++i)
        doc.appendRenderedPage(sources[size_t(i) % sources.size()].image, QSizeF(kA4Width, kA4Height));
    const QString path = dir.filePath(name);
    if (!doc.save(path))
        qFatal("cannot write the scanned document");
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::useOwnSettings(QStringLiteral("vorn-bench-ocrwindow"));
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : kDefaultPages;
    QTemporaryDir dir;
    const QString path = scannedDocument(dir, QStringLiteral("scanned.pdf"), pages);

    MainWindow window(AppProduct::editor);
    window.resize(1000, 800);
    window.show();
    const auto runToEnd = [&window] {
        QEventLoop loop;
        QObject::connect(&window, &MainWindow::ocrDocumentRunFinished, &loop, &QEventLoop::quit);
        window.runOcrDocument(nullptr, nullptr);
        if (window.ocrDocumentRunning())
            loop.exec();
    };
    // A one-page run first, so the files are cached.
    window.openFile(scannedDocument(dir, QStringLiteral("warm-up.pdf"), 1));
    runToEnd();
    window.openFile(path);

    QElapsedTimer sinceTick;
    double longestGapMs = 0;
    QTimer ticker;
    ticker.setInterval(kTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QElapsedTimer timer;
    timer.start();
    sinceTick.start();
    ticker.start();
    runToEnd();
    ticker.stop();
    const double runMs = timer.nsecsElapsed() / 1e6;
    const QWidget* statusRow = window.findChild<QWidget*>(QStringLiteral("StatusBar"));
    const QString runStatus = statusRow ? statusRow->findChild<QLabel*>()->text() : QString();

    // Each page by itself: the window's page run, timed to its end.
    double slowestPageMs = 0;
    window.openFile(path);
    for (int i = 0; i < pages; ++i) {
        window.findChild<PdfView*>(QStringLiteral("DocumentScroll"))->setCurrentPage(i);
        QEventLoop loop;
        QObject::connect(&window, &MainWindow::ocrPageRunFinished, &loop, &QEventLoop::quit);
        QElapsedTimer page;
        page.start();
        window.runOcrPage(false);
        loop.exec();
        slowestPageMs = std::max(slowestPageMs, page.nsecsElapsed() / 1e6);
    }

    QTextStream out(stdout);
    out << "window: " << runStatus << "\n";
    out << "pages " << pages << " (A4 scans)\n";
    out << "whole-document run: " << qRound(runMs) << " ms\n";
    out << "longest GUI-thread gap during the run: " << qRound(longestGapMs) << " ms (timer every " << kTickMs
        << " ms)\n";
    out << "slowest single page (the GUI thread's stall per page before): " << qRound(slowestPageMs) << " ms\n";
    return 0;
}
