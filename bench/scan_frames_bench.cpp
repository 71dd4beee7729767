// Scanned frames of absurd proportions through the scan worker with every
// clean-up step: the time and the peak memory each takes, refused or done.
#include "ProcessMemory.h"
#include "ScanFrames.h"
#include "ScanWorker.h"

#include "FakeScanBackend.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>

namespace {

struct Case {
    const char* name;
    int width;
    int height;
    int dpi;
    const char* mode;
};

constexpr Case kCases[] = {
    {"51 x 60,000 at 600 dpi, grey", 51, 60000, 600, "grey"},
    {"51 x 60,000 at 600 dpi, one bit", 51, 60000, 600, "mono"},
    {"60,000 x 51 at 600 dpi, colour", 60000, 51, 600, "colour"},
    {"51 x 60,000 at 150 dpi (past the largest page)", 51, 60000, 150, "grey"},
    {"1 x 1 at 1200 dpi (next to no page)", 1, 1, 1200, "grey"},
    {"20,000 x 1 at 300 dpi (a line)", 20000, 1, 300, "grey"},
    {"A4 at 300 dpi, grey (for comparison)", 2480, 3508, 300, "grey"},
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    for (const Case& c : kCases) {
        const QImage frame = scanframes::textLikeFrame(c.width, c.height, c.dpi, QString::fromLatin1(c.mode));
        auto state = std::make_shared<FakeScanState>();
        state->image = frame;
        FakeScanBackend backend(state);
        backend.openDevice(QStringLiteral("fake:0"));
        ScanWorker worker(&backend, scanframes::everyStep(), false);
        QString outcome;
        QObject::connect(&worker, &ScanWorker::error, [&](const QString& reason) { outcome = QStringLiteral("refused: ") + reason; });
        QObject::connect(&worker, &ScanWorker::finished, [&](const QImage& image, bool) {
            outcome = QStringLiteral("done %1 x %2").arg(image.width()).arg(image.height());
        });
        bench::resetPeak();
        const qint64 before = bench::residentBytes();
        QElapsedTimer clock;
        clock.start();
        worker.run();
        const double seconds = clock.nsecsElapsed() / 1e9;
        std::printf("%s: %.3f s, peak +%.0f MiB (%.0f MiB in all): %s\n", c.name, seconds,
                    (bench::peakBytes() - before) / 1048576.0, bench::peakBytes() / 1048576.0,
                    qPrintable(outcome.left(90)));
    }
    return 0;
}
