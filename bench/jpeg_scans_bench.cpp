// Ten 300-dpi A4 JPEG scans made into one PDF: the program's import and save
// beside the img2pdf program on the same files (best of three runs each),
// with the page sizes and the file size against the JPEGs'.
//   jpeg_scans_bench [count]
#include "PdfDocument.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kRuns = 3;
constexpr int kWidth = 2480;   // A4 at 300 dpi
constexpr int kHeight = 3508;

// A page of text lines on slightly uneven paper, as a flatbed gives it.
QImage scanPage(int seed)
{
    QImage page(kWidth, kHeight, QImage::Format_RGB888);
    page.fill(QColor(238, 236, 230));
    QPainter painter(&page);
    QRandomGenerator random{quint32(seed)};
    for (int y = 300; y < kHeight - 300; y += 70) {
        for (int x = 250; x < kWidth - 250;) {
            const int word = 40 + int(random.bounded(160));
            painter.fillRect(QRect(x, y, word, 28), QColor(35, 35, 45));
            x += word + 24;
        }
    }
    painter.fillRect(QRect(1500, 250, 600, 300), QColor(40, 70, 160));
    painter.end();
    for (int y = 0; y < kHeight; y += 2) {
        uchar* row = page.scanLine(y);
        for (int i = 0; i < kWidth * 3; i += 7)
            row[i] = uchar(std::clamp(int(row[i]) + int(random.bounded(13)) - 6, 0, 255));
    }
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    return page;
}

double bestOf(const std::function<bool()>& run)
{
    double best = -1;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (!run())
            return -1;
        const double seconds = clock.nsecsElapsed() / 1e9;
        best = best < 0 ? seconds : std::min(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTemporaryDir dir;
    QStringList files;
    qint64 jpegBytes = 0;
    for (int i = 0; i < count; ++i) {
        const QString file = dir.filePath(QStringLiteral("scan-%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        QImageWriter writer(file, "jpeg");
        writer.setQuality(85);
        if (!writer.write(scanPage(i)))
            return 1;
        files << file;
        jpegBytes += QFileInfo(file).size();
    }

    const QString ours = dir.filePath(QStringLiteral("ours.pdf"));
    QString failure;
    const double oursSeconds = bestOf([&] {
        PdfDocument doc;
        for (const QString& file : files) {
            if (!doc.importDocument(file)) {
                failure = doc.lastError();
                return false;
            }
        }
        return doc.saveAs(ours);
    });
    if (oursSeconds < 0) {
        std::printf("import failed: %s\n", qPrintable(failure));
        return 1;
    }
    PdfDocument check;
    check.open(ours);
    const double mm = 72 / 25.4;
    int a4 = 0;
    for (int page = 0; page < check.pageCount(); ++page) {
        const QSizeF size = check.pageSize(page);
        a4 += qAbs(size.width() - 210 * mm) < mm && qAbs(size.height() - 297 * mm) < mm;
    }
    std::printf("%d A4 JPEG scans at 300 dpi, %.2f MiB of JPEG\n", count, jpegBytes / 1048576.0);
    std::printf("program: %.3f s, PDF %.2f MiB (%.1f %% of the JPEGs), %d of %d pages A4 within 1 mm\n", oursSeconds,
                QFileInfo(ours).size() / 1048576.0, 100.0 * QFileInfo(ours).size() / jpegBytes, a4, check.pageCount());

    const QString img2pdf = QStandardPaths::findExecutable(QStringLiteral("img2pdf"));
    if (img2pdf.isEmpty()) {
        std::printf("img2pdf: not installed\n");
        return 0;
    }
    const QString theirs = dir.filePath(QStringLiteral("img2pdf.pdf"));
    const double theirSeconds = bestOf([&] {
        return QProcess::execute(img2pdf, files + QStringList{QStringLiteral("-o"), theirs}) == 0;
    });
    std::printf("img2pdf: %.3f s, PDF %.2f MiB; program / img2pdf time: %.2f\n", theirSeconds,
                QFileInfo(theirs).size() / 1048576.0, theirSeconds > 0 ? oursSeconds / theirSeconds : 0.0);
    return 0;
}
