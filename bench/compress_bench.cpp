// Compression figures.
//   compress_bench scan [pages]      a scanned document: every preset's forecast and
//                                    written size, beside Ghostscript's /ebook
//   compress_bench keep [pages]      object-keeping copies at 150 dpi of a picture-heavy
//                                    and a text document: time, peak memory and size,
//                                    beside Ghostscript's /ebook (150 dpi)
//   compress_bench forecast [n...]   sampled forecast against the written size of the
//                                    rasterising presets for manuals of n pages (25 60 200)
#include "BenchDocuments.h"
#include "PdfDocument.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

namespace {

// A photo-like picture: a smooth colour field with fine noise.
QImage photo(int width, int height, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage coarse(16, 12, QImage::Format_RGB32);
    for (int y = 0; y < coarse.height(); ++y)
        for (int x = 0; x < coarse.width(); ++x)
            coarse.setPixel(x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    QImage image = coarse.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random.bounded(17)) - 8;
            line[x] = qRgb(std::clamp(qRed(line[x]) + n, 0, 255), std::clamp(qGreen(line[x]) + n, 0, 255),
                           std::clamp(qBlue(line[x]) + n, 0, 255));
        }
    }
    return image;
}

QString bodyLine(int page, int row)
{
    return QStringLiteral("%1.%2. Поставщик обязуется передать товар по договору от 12.03.2024, счёт %3, сумма %4 руб.")
        .arg(page)
        .arg(row + 1)
        .arg(1000 + page * 50 + row)
        .arg((row + 3) * 1234.5, 0, 'f', 2);
}

// Pages of two photos of 1600 x 1200 pixels drawn five
// inches wide (320 ppi) with a caption, every fifth one with a translucent
// picture over it (kind 1), or a manual (kind 2): light title, contents and
// back pages around body pages of uneven length, a third of them with a photo.
void writeDocument(const QString& path, int pages, int kind)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 10));
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        const bool matter = kind == 2 && (p < 3 || p >= pages - 3);
        int rows = kind == 1 ? 4 : matter ? p % 2 * 3 : 10 + (p * 37) % 50;
        if (kind == 1 || (kind == 2 && !matter && p % 3 == 0)) {
            painter.drawImage(QRectF(60, 60, 360, 270), photo(1600, 1200, quint32(p + 1)));
            if (kind == 1)
                painter.drawImage(QRectF(60, 400, 360, 270), photo(1600, 1200, quint32(p + 1000)));
            if (kind == 1 && p % 5 == 0) {
                QImage glass = photo(400, 300, quint32(p + 2000)).convertToFormat(QImage::Format_ARGB32);
                for (int y = 0; y < glass.height(); ++y)
                    for (int x = 0; x < glass.width(); ++x)
                        glass.setPixel(x, y, (glass.pixel(x, y) & 0x00FFFFFF) | (uint(x * 255 / 400) << 24));
                painter.drawImage(QRectF(200, 200, 200, 150), glass);
            }
            rows = std::min(rows, 12);
        }
        for (int row = 0; row < rows; ++row)
            painter.drawText(QPointF(50, (kind == 1 ? 700 : 360) + row * 12 - (kind == 1 ? 0 : (rows > 40 ? 300 : 0))),
                             bodyLine(p + 1, row));
    }
}

double secondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

QString kib(qint64 bytes)
{
    return QString::number(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KiB");
}

QString percentOf(qint64 part, qint64 whole, int decimals = 1)
{
    return QString::number(100.0 * double(part) / double(whole), 'f', decimals) + QStringLiteral(" %");
}

long peakKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Ghostscript's /ebook (150 dpi pictures) copy: its size, or -1.
qint64 ghostscriptEbook(const QString& source, const QString& target, double* seconds)
{
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        return -1;
    QElapsedTimer timer;
    timer.start();
    QProcess gs;
    gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                                    QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pdfwrite"),
                                    QStringLiteral("-dPDFSETTINGS=/ebook"), QStringLiteral("-sOutputFile=") + target,
                                    source});
    if (!gs.waitForFinished(1200000) || gs.exitCode() != 0)
        return -1;
    *seconds = secondsSince(timer);
    return QFileInfo(target).size();
}

// Run in a child of its own so that the peak memory is the compression's.
int keepOne(const QString& source, const QString& target, QTextStream& out)
{
    const long before = peakKib();
    PdfDocument doc;
    if (!doc.open(source)) {
        out << "cannot open: " << doc.lastError() << "\n";
        return 1;
    }
    PdfDocument::CompressionOptions options;
    options.rasterizePages = false;
    QElapsedTimer timer;
    timer.start();
    if (!doc.compressTo(target, options)) {
        out << "failed: " << doc.lastError() << "\n";
        return 1;
    }
    out << QStringLiteral("%1 s, peak %2 MiB (%3 MiB before opening)")
               .arg(secondsSince(timer), 0, 'f', 2)
               .arg(peakKib() / 1024)
               .arg(before / 1024);
    return 0;
}

int keep(const QString& program, int pages, QTextStream& out)
{
    QTemporaryDir dir;
    const QList<std::pair<QString, int>> kinds{{QStringLiteral("picture-heavy"), 1}, {QStringLiteral("text"), 0}};
    for (const auto& [name, kind] : kinds) {
        const QString source = dir.filePath(name + QStringLiteral(".pdf"));
        if (kind == 0)
            bench::writeTextPdf(source, pages);
        else
            writeDocument(source, pages, kind);
        const QString kept = dir.filePath(name + QStringLiteral("-kept.pdf"));
        QProcess child;
        child.start(program, {QStringLiteral("keep-one"), source, kept});
        child.waitForFinished(-1);
        const qint64 sourceSize = QFileInfo(source).size();
        const qint64 keptSize = QFileInfo(kept).size();
        out << QStringLiteral("%1, %2 pages, %3: kept objects at 150 dpi q55: %4, %5 of the source; %6\n")
                   .arg(name)
                   .arg(pages)
                   .arg(kib(sourceSize), kib(keptSize), percentOf(keptSize, sourceSize),
                        QString::fromUtf8(child.readAllStandardOutput()));
        double seconds = 0;
        const qint64 ebook = ghostscriptEbook(source, dir.filePath(name + QStringLiteral("-gs.pdf")), &seconds);
        if (ebook > 0) {
            out << QStringLiteral("    gs /ebook: %1 in %2 s; kept copy is %3 of gs\n")
                       .arg(kib(ebook))
                       .arg(seconds, 0, 'f', 2)
                       .arg(percentOf(keptSize, ebook));
        }
        out.flush();
    }
    return 0;
}

struct Run {
    QString name;
    PdfDocument::CompressionOptions options;
};

struct Measured {
    qint64 predicted = -1;
    qint64 written = -1;
    double forecastSeconds = 0;
    double writeSeconds = 0;
    bool sampled = false;
};

// The forecast of one run and the file it writes; written -1 on failure.
Measured measure(const PdfDocument& doc, const PdfDocument::CompressionOptions& options, const QString& target)
{
    Measured result;
    QElapsedTimer timer;
    timer.start();
    result.predicted = doc.estimateCompressedSize(options, &result.sampled);
    result.forecastSeconds = secondsSince(timer);
    timer.restart();
    if (doc.compressTo(target, options))
        result.written = QFileInfo(target).size();
    result.writeSeconds = secondsSince(timer);
    return result;
}

QList<Run> rasterRuns()
{
    PdfDocument::CompressionOptions recommended;
    PdfDocument::CompressionOptions extreme;
    extreme.imageDpi = 72;
    extreme.jpegQuality = 28;
    PdfDocument::CompressionOptions mono;
    mono.monochrome = true;
    PdfDocument::CompressionOptions mono72 = mono;
    mono72.imageDpi = 72;
    return {{QStringLiteral("150 dpi q55"), recommended},
            {QStringLiteral("72 dpi q28"), extreme},
            {QStringLiteral("mono 150 dpi"), mono},
            {QStringLiteral("mono 72 dpi"), mono72}};
}

int forecast(const QList<int>& sizes, QTextStream& out)
{
    QTemporaryDir dir;
    for (int pages : sizes) {
        const QString source = dir.filePath(QStringLiteral("manual.pdf"));
        writeDocument(source, pages, 2);
        PdfDocument doc;
        if (!doc.open(source))
            return 1;
        out << QStringLiteral("manual of %1 pages:").arg(pages);
        for (const Run& run : rasterRuns()) {
            const Measured m = measure(doc, run.options, dir.filePath(QStringLiteral("out.pdf")));
            if (m.written < 0)
                return 1;
            out << QStringLiteral(" %1: %2 (%3 s) vs %4, error %5;")
                       .arg(run.name, kib(m.predicted))
                       .arg(m.forecastSeconds, 0, 'f', 2)
                       .arg(kib(m.written), percentOf(m.predicted - m.written, m.written));
        }
        out << "\n";
        out.flush();
    }
    return 0;
}

int scan(int pages, QTextStream& out)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("scan.pdf"));
    bench::writeScannedPdf(source, pages);
    const qint64 sourceSize = QFileInfo(source).size();
    out << QStringLiteral("Source: %1 scanned A4 pages at %2 dpi, %3\n").arg(pages).arg(bench::kScanDpi).arg(kib(sourceSize));
    PdfDocument doc;
    if (!doc.open(source))
        return 1;
    QList<Run> runs = rasterRuns();
    PdfDocument::CompressionOptions keeping;
    keeping.rasterizePages = false;
    runs << Run{QStringLiteral("objects kept, 150 dpi q55"), keeping};
    for (const Run& run : runs) {
        const Measured m = measure(doc, run.options, dir.filePath(QStringLiteral("out.pdf")));
        if (m.written < 0)
            return 1;
        out << QStringLiteral("%1: forecast %2 in %3 s%4; written %5 in %6 s (%7 of the source), error %8\n")
                   .arg(run.name, kib(m.predicted))
                   .arg(m.forecastSeconds, 0, 'f', 2)
                   .arg(m.sampled ? QStringLiteral(" (sampled)") : QString())
                   .arg(kib(m.written))
                   .arg(m.writeSeconds, 0, 'f', 2)
                   .arg(percentOf(m.written, sourceSize), percentOf(m.predicted - m.written, m.written, 2));
    }
    QElapsedTimer timer;
    timer.start();
    const PdfDocument::CompressionEstimate best = doc.estimateMinimumCompressedSize();
    out << QStringLiteral("Smallest preset: %1, %2, found in %3 s\n")
               .arg(best.label, kib(best.bytes))
               .arg(secondsSince(timer), 0, 'f', 2);
    double seconds = 0;
    const qint64 ebook = ghostscriptEbook(source, dir.filePath(QStringLiteral("ebook.pdf")), &seconds);
    if (ebook > 0)
        out << QStringLiteral("Ghostscript /ebook: %1 in %2 s\n").arg(kib(ebook)).arg(seconds, 0, 'f', 2);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    const QString mode = args.value(1, QStringLiteral("keep"));
    if (mode == QLatin1String("keep-one") && args.size() == 4)
        return keepOne(args.at(2), args.at(3), out);
    if (mode == QLatin1String("keep"))
        return keep(app.applicationFilePath(), std::max(1, args.value(2, QStringLiteral("100")).toInt()), out);
    if (mode == QLatin1String("scan"))
        return scan(std::max(1, args.value(2, QStringLiteral("50")).toInt()), out);
    if (mode == QLatin1String("forecast")) {
        QList<int> sizes;
        for (int i = 2; i < args.size(); ++i)
            sizes << std::max(1, args.at(i).toInt());
        return forecast(sizes.isEmpty() ? QList<int>{25, 60, 200} : sizes, out);
    }
    out << "usage: compress_bench keep|scan|forecast [pages...]\n";
    return 2;
}
