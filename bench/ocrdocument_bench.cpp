// Usage: ocrdocument_bench [pages] [threads] [runs] [--load]
// Whole-document OCR of a scanned document (default 10 A4 pages) with the
// parallel document recogniser, against the sum of the bare recogniser's
// single-threaded times on the same page images (rendered at the run's
// scale). Both sides are warmed up first and repeated; medians are printed.
// --load runs one busy process per core during both measurements.

#include "BareRecognizer.h"
#include "OcrDocumentRunner.h"
#include "OcrTestPages.h"
#include "PdfDocument.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <omp.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kDefaultPages = 10;
constexpr double kScanDpi = 144.0; // A4 pages recognised at scale 2, as the run renders them
constexpr double kA4Width = 595.0;
constexpr double kA4Height = 842.0;

void fillDocument(PdfDocument &doc, int pages)
{
    std::vector<TestPage> sources = testpages::allPages(kScanDpi);
    for (TestPage &page : testpages::scanPages())
        sources.push_back(std::move(page));
    if (!doc.createEmpty())
        qFatal("cannot create the document");
    for (int i = 0; i < pages; ++i) {
        const TestPage &page = sources[size_t(i) % sources.size()];
        doc.appendRenderedPage(page.image, QSizeF(kA4Width, kA4Height));
    }
}

double bareSumMs(const PdfDocument &doc, tesseract::TessBaseAPI &api)
{
    double ms = 0;
    for (int i = 0; i < doc.pageCount(); ++i) {
        const double scale = OcrDocumentRunner::pageScale(doc.pageSize(i).width(), 0.0);
        ms += bareRecognizerMs(api, doc.renderPage(i, scale, 0), scale);
    }
    return ms;
}

double runnerMs(PdfDocument &doc, int pages, int threads)
{
    QList<int> list;
    for (int i = 0; i < pages; ++i)
        list << i;
    OcrDocumentRunner::Options options;
    options.threads = threads;
    OcrDocumentRunner runner(&doc, list, options);
    QEventLoop loop;
    QObject::connect(&runner, &OcrDocumentRunner::finished, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    runner.start();
    loop.exec();
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One busy process per core, ended by their ids when the object goes.
struct BusyLoad {
    std::vector<std::unique_ptr<QProcess>> processes;
    explicit BusyLoad(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto p = std::make_unique<QProcess>();
            p->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            p->waitForStarted();
            processes.push_back(std::move(p));
        }
    }
    ~BusyLoad()
    {
        for (auto &p : processes) {
            p->kill();
            p->waitForFinished();
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool load = args.removeAll(QStringLiteral("--load")) > 0;
    const int pages = args.size() > 0 ? std::max(1, args[0].toInt()) : kDefaultPages;
    const int threads = args.size() > 1 ? std::max(1, args[1].toInt()) : 4;
    const int runs = args.size() > 2 ? std::max(1, args[2].toInt()) : 3;

    PdfDocument doc;
    fillDocument(doc, pages);
    omp_set_max_active_levels(0); // the bare recogniser single-threaded
    std::unique_ptr<tesseract::TessBaseAPI, RecognizerDeleter> api(new tesseract::TessBaseAPI);
    if (api->Init(nullptr, "rus+eng", tesseract::OEM_DEFAULT) != 0)
        qFatal("tesseract init failed");
    api->SetPageSegMode(tesseract::PSM_AUTO);

    std::unique_ptr<BusyLoad> busy;
    if (load)
        busy = std::make_unique<BusyLoad>(QThread::idealThreadCount());
    bareSumMs(doc, *api);          // warm-up
    runnerMs(doc, 1, threads);     // warm-up: engines and fonts
    std::vector<double> bare, parallel;
    for (int r = 0; r < runs; ++r) {
        bare.push_back(bareSumMs(doc, *api));
        parallel.push_back(runnerMs(doc, pages, threads));
    }
    busy.reset();

    const double b = median(bare), p = median(parallel);
    QTextStream out(stdout);
    out << "pages " << pages << ", worker threads " << threads << ", cores " << QThread::idealThreadCount()
        << ", runs " << runs << (load ? ", one busy process per core" : ", no extra load") << "\n";
    out << "bare recogniser, sum of single-threaded page times: " << qRound(b) << " ms\n";
    out << "parallel whole-document run (render, pipeline, reading order): " << qRound(p) << " ms\n";
    out << "ratio: " << QString::number(p / b, 'f', 2) << "\n";
    return 0;
}
