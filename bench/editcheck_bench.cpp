// Figures of writing an edit back with its after-edit check: one corrected
// word on scans of a manual page turned 0, 0.5 and 1.5 degrees against the
// straight one; one edited line on real producers' pages; one word of the
// CUPS banner form written and saved on an idle machine, with every
// processor kept busy and with a pdftoppm two seconds late; and hostile pages
// (a huge inline image, an image 2^31 - 1 pixels wide, text at x = 2^31, a
// page 100 km wide), each with the time, this process's peak memory and the
// largest child's (poppler's renders).
// Usage: editcheck_bench [iterations]
#include "BlockFixtures.h"
#include "LoadedMachine.h"
#include "OcrEngine.h"
#include "OcrRunRules.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "ProcessMemory.h"
#include "TextBlock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <vector>

#include <sys/resource.h>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// "трёх" corrected to "трех" in the recognised line that holds it, as the
// in-place editor leaves the block.
bool correctOneWord(std::vector<TextBlock>& blocks)
{
    for (TextBlock& block : blocks) {
        if (block.lines.size() < 2)
            continue;
        for (size_t k = 0; k < block.lines.size(); ++k) {
            const qsizetype at = block.lines[k].text.split(QLatin1Char(' ')).indexOf(QStringLiteral("трёх"));
            if (at >= 0) {
                fixtures::correctWord(block, k, at, QStringLiteral("трех"));
                return true;
            }
        }
    }
    return false;
}

// Median time of writing one corrected word back into a turned scan.
double scanEditMs(const QString& file, OcrEngine& engine, int iterations, QTextStream& out)
{
    PdfDocument doc;
    if (!doc.open(file))
        return -1;
    const QSizeF size = doc.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> recognised =
        engine.recognizePage(doc.renderPage(0, zoom, 0), 0, zoom, size.height());
    std::vector<double> times;
    bool written = true;
    for (int i = 0; i < iterations; ++i) {
        PdfDocument page;
        page.open(file);
        std::vector<TextBlock> blocks = recognised;
        if (!correctOneWord(blocks)) {
            out << "  the word to correct was not recognised\n";
            return -1;
        }
        QElapsedTimer timer;
        timer.start();
        written = page.overlayOcrText(0, blocks, false) && written;
        times.push_back(elapsedMs(timer));
    }
    if (!written)
        out << "  (the write was refused)\n";
    return median(times);
}

// Median time of one edited line written into a real producer's page.
double producerEditMs(const QString& file, int iterations)
{
    std::vector<double> times;
    for (int i = 0; i < iterations; ++i) {
        PdfDocument doc;
        if (!doc.open(file))
            return -1;
        std::vector<TextBlock> blocks = doc.extractText(0);
        if (blocks.empty())
            return -1;
        TextBlock& edited = blocks[blocks.size() / 2];
        edited.text = QStringLiteral("Отредактированная строка документа");
        edited.textEdited = true;
        QElapsedTimer timer;
        timer.start();
        doc.overlayOcrText(0, blocks, false);
        times.push_back(elapsedMs(timer));
    }
    return median(times);
}

// Median time of one word of the CUPS banner form written and saved (the
// save as the window does it: the page's edit, then the file), and how many
// of the iterations were refused.
double bannerSaveMs(int iterations, const QString& folder, int* refused)
{
    std::vector<double> times;
    *refused = 0;
    for (int i = 0; i < iterations; ++i) {
        const QString file = folder + QStringLiteral("/banner-%1.pdf").arg(i);
        QFile::remove(file);
        if (!QFile::copy(fixtures::realPdf(QStringLiteral("cups-banner-form-ru.pdf")), file))
            return -1;
        QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::WriteOwner);
        PdfDocument doc;
        if (!doc.open(file))
            return -1;
        std::vector<TextBlock> blocks = doc.extractText(0);
        if (!fixtures::correctWordInLine(blocks, QStringLiteral("Имя задания"), QStringLiteral("задания:"),
                                         QStringLiteral("задания полное:")))
            return -1;
        QElapsedTimer timer;
        timer.start();
        if (!doc.overlayOcrText(0, blocks, false) || !doc.save(file))
            ++*refused;
        times.push_back(elapsedMs(timer));
    }
    return median(times);
}

// Every line of the hostile page edited at once.
void hostileEdit(QTextStream& out, const QString& name, const QByteArray& bytes, const QString& folder)
{
    const QString file = folder + QStringLiteral("/hostile.pdf");
    fixtures::writeFile(file, bytes);
    bench::resetPeak();
    QElapsedTimer timer;
    timer.start();
    PdfDocument doc;
    doc.open(file);
    std::vector<TextBlock> blocks = doc.extractText(0);
    for (TextBlock& block : blocks) {
        block.text = QStringLiteral("Правка ") + block.text;
        block.textEdited = true;
    }
    const bool written = doc.overlayOcrText(0, blocks, false);
    const double ms = elapsedMs(timer);
    struct rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    out << QStringLiteral("  %1: %2 in %3 ms, peak %4 MB here, largest child so far %5 MB\n")
               .arg(name, written ? QStringLiteral("written") : QStringLiteral("refused (") + doc.lastError() + ')')
               .arg(ms, 0, 'f', 0)
               .arg(double(bench::peakBytes()) / 1048576.0, 0, 'f', 0)
               .arg(double(children.ru_maxrss) / 1024.0, 0, 'f', 0);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTextStream out(stdout);
    QTemporaryDir dir;

    out << "One corrected word on a scanned manual page (median of " << iterations << "):\n";
    OcrEngine engine;
    if (engine.init(QStringLiteral("rus+eng"))) {
        double straight = 0;
        for (const char* turn : {"0", "0.5", "1.5"}) {
            const double ms = scanEditMs(fixtures::realPdf(QStringLiteral("gs-scan-turned-%1.pdf").arg(turn)),
                                         engine, iterations, out);
            if (straight == 0)
                straight = ms;
            out << QStringLiteral("  turned %1°: %2 ms (%3 x the straight page)\n")
                       .arg(QLatin1String(turn))
                       .arg(ms, 0, 'f', 1)
                       .arg(straight > 0 ? ms / straight : 0, 0, 'f', 2);
        }
    } else {
        out << "  no recogniser: " << engine.lastError() << "\n";
    }
    out.flush();

    out << "One edited line on real producers' pages (median of " << iterations << "):\n";
    for (const char* name : {"gs-helvetica.pdf", "onetf-helvetica.pdf", "tex-type3.pdf", "groff-columns.pdf",
                             "tesseract-ru.pdf", "gs-helvetica-rot90.pdf"})
        out << QStringLiteral("  %1: %2 ms\n")
                   .arg(QLatin1String(name))
                   .arg(producerEditMs(fixtures::realPdf(QLatin1String(name)), iterations), 0, 'f', 1);
    out.flush();

    out << "One word of the CUPS banner form written and saved (median of " << iterations << "):\n";
    const auto banner = [&](const QString& when) {
        int refused = 0;
        const double ms = bannerSaveMs(iterations, dir.path(), &refused);
        out << QStringLiteral("  %1: %2 ms, %3 of %4 refused\n").arg(when).arg(ms, 0, 'f', 0).arg(refused).arg(iterations);
        out.flush();
    };
    banner(QStringLiteral("idle"));
    {
        const loadedmachine::BusyProcessors busy(QThread::idealThreadCount() + 2);
        banner(QStringLiteral("%1 busy processes").arg(QThread::idealThreadCount() + 2));
    }
    {
        const loadedmachine::StandInPoppler slow(2);
        banner(QStringLiteral("pdftoppm two seconds late"));
    }

    out << "Hostile pages, every line edited:\n";
    const QByteArray samples(2000, 'x');
    hostileEdit(out, QStringLiteral("inline image 100000 x 100000"),
                fixtures::twoLinePagePdf(QStringLiteral("q 100 0 0 100 72 400 cm BI /W 100000 /H 100000 /BPC 8 /CS /G ID ") +
                            QString::fromLatin1(samples) + QStringLiteral(" EI Q\n")),
                dir.path());
    hostileEdit(out, QStringLiteral("image /Width 2147483647"),
                fixtures::twoLinePagePdf(QStringLiteral("q 200 0 0 100 72 400 cm /Im1 Do Q\n"),
                            fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Image /Width 2147483647 "
                                                                  "/Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray"),
                                                   samples)),
                dir.path());
    hostileEdit(out, QStringLiteral("text at x = 2147483648"),
                fixtures::twoLinePagePdf(QStringLiteral("BT /F1 12 Tf 2147483648 660 Td (Far away) Tj ET\n")), dir.path());
    hostileEdit(out, QStringLiteral("page 283464567 points wide"),
                fixtures::twoLinePagePdf(QString(), QString(), QStringLiteral("0 0 283464567 842")), dir.path());
    return 0;
}
