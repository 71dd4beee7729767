// The size fit of the compressed-PDF export on a scanned document.
//   fit_bench [pages] [target-bytes]   the fit worker with one estimate child at a
//                                      time and with the machine's count: wall time,
//                                      children at once, their summed CPU time, and
//                                      the chosen forecast against the written size
//   fit_bench write <path> [pages]     only writes the scanned document
#include "BenchDocuments.h"
#include "CompressionOptionsJson.h"
#include "CompressionWorkerCli.h"
#include "PdfDocument.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>

namespace {

constexpr int kDefaultPages = 50;
constexpr qint64 kDefaultTarget = 3 * 1024 * 1024;
constexpr int kSampleMs = 20;

// Estimate workers alive now: children of our fit run.
int runningEstimateWorkers()
{
    int count = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("--vorn-compression-estimate"))
            ++count;
    }
    return count;
}

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runFit(QTextStream& out, const QString& program, const QString& pdf, qint64 target, int parallel)
{
    int most = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&most] { most = std::max(most, runningEstimateWorkers()); });
    sampler.start(kSampleMs);
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const CompressionWorkerOutput fit = compressionFit(
        {program, QStringLiteral("--vorn-compression-fit"), pdf, QString::number(target)}, program, parallel);
    const double wallMs = bench::msSince(timer);
    sampler.stop();
    const QJsonObject answer = QJsonDocument::fromJson(fit.line).object();
    const qint64 forecast = answer.value(QStringLiteral("bytes")).toString().toLongLong();

    PdfDocument document;
    document.open(pdf);
    QTemporaryDir dir;
    const QString written = dir.filePath(QStringLiteral("out.pdf"));
    document.compressTo(written, compressionOptionsFromJson(answer.value(QStringLiteral("options")).toObject()));
    const qint64 size = QFileInfo(written).size();
    out << QStringLiteral("parallel %1: exit %2, wall %3 ms, children at once (sampled) %4, children CPU %5 s, "
                          "chose \"%6\" (%7), forecast %8 B, written %9 B, error %10%\n")
               .arg(parallel)
               .arg(fit.exitCode)
               .arg(wallMs, 0, 'f', 0)
               .arg(most)
               .arg(childCpuSeconds() - cpuBefore, 0, 'f', 2)
               .arg(answer.value(QStringLiteral("label")).toString(),
                    answer.value(QStringLiteral("matchedTarget")).toBool() ? QStringLiteral("fits")
                                                                           : QStringLiteral("smallest"))
               .arg(forecast)
               .arg(size)
               .arg(size > 0 ? 100.0 * double(forecast - size) / double(size) : 0.0, 0, 'f', 2);
    out.flush();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("write")) {
        bench::writeScannedPdf(arguments.value(2), arguments.value(3, QString::number(kDefaultPages)).toInt());
        return 0;
    }
    const int pages = arguments.value(1, QString::number(kDefaultPages)).toInt();
    const qint64 target = arguments.value(2, QString::number(kDefaultTarget)).toLongLong();
    const QString program = QStringLiteral(VORN_PDF_EXECUTABLE);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("scan.pdf"));
    bench::writeScannedPdf(pdf, pages);
    out << QStringLiteral("%1 scanned pages, %2 bytes, target %3 bytes, %4 logical processors\n")
               .arg(pages)
               .arg(QFileInfo(pdf).size())
               .arg(target)
               .arg(QThread::idealThreadCount());
    runFit(out, program, pdf, target, 1);
    runFit(out, program, pdf, target, compressionFitParallelism(QThread::idealThreadCount()));
    return 0;
}
