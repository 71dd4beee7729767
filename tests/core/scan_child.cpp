// Scans one made-up frame through the scan worker (with a back-end that hands
// it over) and puts the result on a page, so that a test can watch from
// outside for a hang, a crash or a blown memory limit. Prints one line:
// "done <width>x<height>" or "refused: <reason>". Exit 0, or 2 when the frame
// was refused without a reason, 3 for bad arguments.
//   scan_child <width> <height> <dpi> <mode: grey|mono|colour>
#include "FakeScanBackend.h"
#include "PdfDocument.h"
#include "ScanFrames.h"
#include "ScanWorker.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 3;
    const QImage image = scanframes::textLikeFrame(args[1].toInt(), args[2].toInt(), args[3].toInt(), args[4]);
    if (image.isNull())
        return 3;

    auto state = std::make_shared<FakeScanState>();
    state->image = image;
    FakeScanBackend backend(state);
    backend.openDevice(QStringLiteral("fake:0"));
    ScanWorker worker(&backend, scanframes::everyStep(), false);
    bool refused = false;
    QString reason;
    QImage scanned;
    QObject::connect(&worker, &ScanWorker::error, [&](const QString& why) {
        refused = true;
        reason = why.trimmed();
    });
    QObject::connect(&worker, &ScanWorker::finished, [&](const QImage& result, bool) { scanned = result; });
    worker.run();
    if (!refused) {
        PdfDocument doc;
        refused = !doc.appendRenderedPage(scanned, scanPageSize(scanned));
        reason = doc.lastError().trimmed();
    }

    QTextStream out(stdout);
    if (refused) {
        out << "refused: " << reason << "\n";
        return reason.isEmpty() ? 2 : 0;
    }
    out << "done " << scanned.width() << "x" << scanned.height() << "\n";
    return 0;
}
