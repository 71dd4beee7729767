// Usage: ocr_bench [dpi] [runs]
//        ocr_bench --write-pages DIR   (the scanned test pages as PNG files)
// For every rendered test page and every scanned one: word recall and
// character error rate of OcrEngine::recognizePage and of the tesseract
// program on the same image and languages; time of recognizePage against the
// bare recogniser (both with one OpenMP thread) in the same run.

#include "OcrEngine.h"
#include "BareRecognizer.h"
#include "OcrTestPages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <tesseract/baseapi.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

const QString kLanguages = QStringLiteral("rus+eng");

QString writePage(const TestPage &page, const QString &dir)
{
    QImage withDpi = page.image;
    withDpi.setDotsPerMeterX(int(std::lround(page.scale * 72 / 0.0254)));
    withDpi.setDotsPerMeterY(withDpi.dotsPerMeterX());
    const QString path = QDir(dir).filePath(page.name + QStringLiteral(".png"));
    withDpi.save(path);
    return path;
}

QStringList commandLineWords(const TestPage &page, const QString &dir, double *ms)
{
    const QString path = writePage(page, dir);
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral("tesseract"), {path, QStringLiteral("stdout"), QStringLiteral("-l"), kLanguages});
    process.waitForFinished(-1);
    *ms = timer.nsecsElapsed() / 1e6;
    return QString::fromUtf8(process.readAllStandardOutput()).split(QRegularExpression(QStringLiteral("\\s+")),
                                                                    Qt::SkipEmptyParts);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "--write-pages") {
        for (const TestPage &page : testpages::scanPages())
            writePage(page, QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    omp_set_max_active_levels(0); // the bare recogniser single-threaded, as the engine's
    const double dpi = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 300.0;
    const int runs = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 3;

    OcrEngine engine;
    if (!engine.init(kLanguages)) {
        std::fprintf(stderr, "engine init failed\n");
        return 1;
    }
    std::unique_ptr<tesseract::TessBaseAPI, RecognizerDeleter> bare(new tesseract::TessBaseAPI);
    if (bare->Init(nullptr, kLanguages.toUtf8().constData(), tesseract::OEM_DEFAULT) != 0) {
        std::fprintf(stderr, "bare recogniser init failed\n");
        return 1;
    }
    bare->SetPageSegMode(tesseract::PSM_AUTO); // as the engine and the tesseract program
    QTemporaryDir dir;
    QTextStream out(stdout);
    out << "dpi " << dpi << ", runs " << runs << ", languages " << kLanguages << "\n";
    out << "page                        recall eng/cli   CER eng/cli     bare ms  pipeline ms  in-pipeline recogniser ms  overhead\n";
    double sumBare = 0, sumPipeline = 0;
    std::vector<TestPage> pages = testpages::allPages(dpi);
    for (TestPage &page : testpages::scanPages())
        pages.push_back(std::move(page));
    for (const TestPage &page : pages) {
        const QStringList reference = testpages::words(page.lines);
        std::vector<double> bareMs, pipelineMs, innerMs;
        std::vector<TextBlock> blocks;
        for (int r = 0; r < runs; ++r) {
            bareMs.push_back(bareRecognizerMs(*bare, page.image, page.scale));
            QElapsedTimer timer;
            timer.start();
            blocks = engine.recognizePage(page.image, 0, page.scale, page.pageHeight);
            pipelineMs.push_back(timer.nsecsElapsed() / 1e6);
            innerMs.push_back(engine.lastPageTimings().recognizerNs / 1e6);
        }
        double cliMs = 0;
        const QStringList cli = commandLineWords(page, dir.path(), &cliMs);
        const QStringList ours = testpages::words(blocks);
        const double b = median(bareMs), p = median(pipelineMs), in = median(innerMs);
        sumBare += b;
        sumPipeline += p;
        out << QString::asprintf("%-27s %6.1f%% / %5.1f%%  %5.1f%% / %5.1f%%  %9.0f  %11.0f  %25.0f  %+7.1f%%\n",
                                 qPrintable(page.name), 100 * testpages::wordRecall(reference, ours),
                                 100 * testpages::wordRecall(reference, cli),
                                 100 * testpages::characterErrorRate(reference, ours),
                                 100 * testpages::characterErrorRate(reference, cli), b, p, in, 100 * (p / b - 1));
        if (qEnvironmentVariableIsSet("VORN_BENCH_VERBOSE"))
            out << "--- ours:\n" << testpages::blocksText(blocks) << "\n--- cli:\n" << cli.join(' ') << "\n";
        out.flush();
    }
    out << QString::asprintf("total bare %.0f ms, pipeline %.0f ms, overhead %+.1f%%\n", sumBare, sumPipeline,
                             100 * (sumPipeline / sumBare - 1));
    return 0;
}
