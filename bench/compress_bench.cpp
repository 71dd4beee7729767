// Compression figures for a 50-page scanned document at 150 dpi: forecast and
// compression time, forecast against the written size, and the size against the
// source, beside Ghostscript's /ebook output of the same file.
// Usage: compress_bench [pages]
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

namespace {

constexpr int kScanDpi = 150;

// A page as a flatbed scanner gives it: slightly grey, noisy paper with lines of text.
QImage scannedPage(int pageNumber)
{
    const QSize a4(qRound(8.27 * kScanDpi), qRound(11.69 * kScanDpi));
    QImage page(a4, QImage::Format_RGB32);
    QRandomGenerator noise{quint32(pageNumber)};
    for (int y = 0; y < page.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const int paper = 238 + int(noise.bounded(10));
            line[x] = qRgb(paper, paper, paper - 6);
        }
    }
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(30, 30, 40));
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 11));
    painter.drawText(QRect(150, 120, 900, 60), Qt::AlignCenter,
                     QStringLiteral("АКТ № %1 сверки взаимных расчётов").arg(pageNumber));
    for (int row = 0; row < 48; ++row) {
        painter.drawText(120, 240 + row * 30,
                         QStringLiteral("%1. Поставка товара по договору от 12.03.2024, счёт %2, сумма %3 руб.")
                             .arg(row + 1)
                             .arg(1000 + pageNumber * 50 + row)
                             .arg((row + 3) * 1234.5, 0, 'f', 2));
    }
    painter.setPen(QPen(QColor(20, 40, 140), 3));
    painter.drawEllipse(QPoint(900, 1600), 110, 110);  // a stamp
    return page;
}

void writeScannedPdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(kScanDpi);
    QPainter painter(&writer);
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        const QImage page = scannedPage(p + 1);
        painter.drawImage(QRect(QPoint(0, 0), page.size()), page);
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

struct Run {
    QString name;
    PdfDocument::CompressionOptions options;
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("scan.pdf"));
    writeScannedPdf(source, pages);
    const qint64 sourceSize = QFileInfo(source).size();
    out << QStringLiteral("Source: %1 scanned A4 pages at %2 dpi, %3\n").arg(pages).arg(kScanDpi).arg(kib(sourceSize));

    PdfDocument doc;
    if (!doc.open(source)) {
        out << "cannot open: " << doc.lastError() << "\n";
        return 1;
    }

    PdfDocument::CompressionOptions recommended;
    PdfDocument::CompressionOptions extreme;
    extreme.imageDpi = 72;
    extreme.jpegQuality = 28;
    PdfDocument::CompressionOptions mono;
    mono.monochrome = true;
    PdfDocument::CompressionOptions keeping;
    keeping.rasterizePages = false;
    const QList<Run> runs{{QStringLiteral("rasterised 150 dpi q55"), recommended},
                          {QStringLiteral("rasterised 72 dpi q28"), extreme},
                          {QStringLiteral("monochrome 150 dpi"), mono},
                          {QStringLiteral("objects kept, 150 dpi q55"), keeping}};
    QElapsedTimer timer;
    for (const Run& run : runs) {
        timer.restart();
        bool sampled = false;
        const qint64 forecast = doc.estimateCompressedSize(run.options, &sampled);
        const double forecastSeconds = secondsSince(timer);
        const QString target = dir.filePath(QStringLiteral("out.pdf"));
        timer.restart();
        if (!doc.compressTo(target, run.options)) {
            out << run.name << ": " << doc.lastError() << "\n";
            return 1;
        }
        const double compressSeconds = secondsSince(timer);
        const qint64 written = QFileInfo(target).size();
        out << QStringLiteral("%1: forecast %2 in %3 s%4; written %5 in %6 s; forecast - written = %7 bytes (%8); "
                              "%9 of the source\n")
                   .arg(run.name, kib(forecast))
                   .arg(forecastSeconds, 0, 'f', 2)
                   .arg(sampled ? QStringLiteral(" (7-page sample)") : QString())
                   .arg(kib(written))
                   .arg(compressSeconds, 0, 'f', 2)
                   .arg(forecast - written)
                   .arg(percentOf(forecast - written, written, 2), percentOf(written, sourceSize));
    }

    timer.restart();
    const PdfDocument::CompressionEstimate best = doc.estimateMinimumCompressedSize();
    out << QStringLiteral("Smallest preset: %1, %2%3, found in %4 s\n")
               .arg(best.label, kib(best.bytes), best.sampled ? QStringLiteral(" (sampled)") : QString())
               .arg(secondsSince(timer), 0, 'f', 2);

    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty()) {
        out << "Ghostscript: not installed\n";
        return 0;
    }
    const QString ebook = dir.filePath(QStringLiteral("ebook.pdf"));
    timer.restart();
    QProcess gs;
    gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNOPAUSE"), QStringLiteral("-dBATCH"),
                                    QStringLiteral("-dSAFER"), QStringLiteral("-sDEVICE=pdfwrite"),
                                    QStringLiteral("-dPDFSETTINGS=/ebook"), QStringLiteral("-sOutputFile=") + ebook,
                                    source});
    if (!gs.waitForFinished(600000) || gs.exitCode() != 0) {
        out << "Ghostscript failed: " << gs.readAllStandardError() << "\n";
        return 1;
    }
    const qint64 ebookSize = QFileInfo(ebook).size();
    out << QStringLiteral("Ghostscript /ebook: %1 in %2 s; %3 of the source\n")
               .arg(kib(ebookSize))
               .arg(secondsSince(timer), 0, 'f', 2)
               .arg(percentOf(ebookSize, sourceSize));
    return 0;
}
