// A full 200 × 200 mm colour scan of SANE's test device at 300 and 600 dpi:
// the read beside the scanimage program's, each clean-up step on its own,
// deskew apart, the default chain, every flag, and the peak memory.
#include "ProcessMemory.h"
#include "SaneBackend.h"
#include "SaneTestDevice.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <cstdio>

namespace {

double secondsOf(QElapsedTimer& clock)
{
    return clock.nsecsElapsed() / 1e9;
}

double scanimageSeconds(int dpi)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("scanimage"),
                  {QStringLiteral("-d"), QStringLiteral("test:0"), QStringLiteral("--format=pnm"), QStringLiteral("--mode"),
                   QStringLiteral("Color"), QStringLiteral("--resolution"), QString::number(dpi)});
    process.waitForFinished(-1);
    return process.exitCode() == 0 ? secondsOf(clock) : -1.0;
}

struct Step {
    const char* name;
    bool ScanParams::*flag;
};

constexpr Step kSteps[] = {
    {"noise removal", &ScanParams::noiseRemove}, {"deskew", &ScanParams::skew},
    {"perspective crop", &ScanParams::perspCorr}, {"auto-crop", &ScanParams::geomCorr},
    {"white balance", &ScanParams::whiteBalance}, {"auto brightness", &ScanParams::autoBright},
    {"auto contrast", &ScanParams::autoContrast}, {"smoothing", &ScanParams::denoise},
    {"sharpening", &ScanParams::sharpen},        {"text curve", &ScanParams::textEnhance},
};

ScanParams defaultChain(int dpi)
{
    ScanParams params;
    params.resolution = dpi;
    params.skew = params.noiseRemove = params.autoBright = params.autoContrast = true;
    params.denoise = params.textEnhance = true;
    return params;
}

void run(int dpi)
{
    ScanParams params;
    params.resolution = dpi;
    params.colorMode = 0;
    SaneBackend backend;
    if (!backend.init() || !backend.openDevice(QStringLiteral("test:0"))) {
        std::printf("no test device: %s\n", qPrintable(backend.lastError()));
        return;
    }
    bench::resetPeak();
    const qint64 before = bench::residentBytes();
    QElapsedTimer clock;
    clock.start();
    const QImage frame = backend.doScan(params);
    const double read = secondsOf(clock);
    std::printf("%d dpi: %d x %d, read %.2f s (scanimage %.2f s), peak +%.0f MiB\n", dpi, frame.width(),
                frame.height(), read, scanimageSeconds(dpi), (bench::peakBytes() - before) / 1048576.0);
    if (frame.isNull())
        return;
    for (const Step& step : kSteps) {
        ScanParams one;
        one.*(step.flag) = true;
        clock.restart();
        const QImage out = applyPostProcess(frame, one);
        std::printf("  %-17s %6.3f s\n", step.name, secondsOf(clock));
    }
    for (const auto& [name, chain] : {std::pair{"default chain", defaultChain(dpi)}, std::pair{"every flag", [] {
                                           ScanParams all;
                                           all.geomCorr = all.perspCorr = all.skew = all.structural = true;
                                           all.noiseRemove = all.autoBright = all.autoContrast = true;
                                           all.whiteBalance = all.denoise = all.sharpen = all.textEnhance = true;
                                           return all;
                                       }()}}) {
        bench::resetPeak();
        const qint64 start = bench::residentBytes();
        clock.restart();
        const QImage out = applyPostProcess(frame, chain);
        std::printf("  %-17s %6.3f s, peak +%.0f MiB\n", name, secondsOf(clock),
                    (bench::peakBytes() - start) / 1048576.0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const SaneTestDevice device({{QStringLiteral("test-picture"), QStringLiteral("\"Color pattern\"")},
                                 {QStringLiteral("br_x"), QStringLiteral("200.0")},
                                 {QStringLiteral("br_y"), QStringLiteral("200.0")}});
    if (!device.isValid()) {
        std::printf("cannot write the SANE configuration\n");
        return 1;
    }
    run(300);
    run(600);
    return 0;
}
