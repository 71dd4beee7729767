// Importing a large-format scan as a page.
//   picture_import_bench [width height]   writes a colour and a grey scan of
//       that size (10,000 x 7,000 by default) as JPEG, then imports each in a
//       process of its own and prints the milliseconds of the import and of
//       the save, the saved file's size and the process's peak memory.
//       It then puts the same picture on a blank page as an image object
//       (pdfium compresses it on save) for comparison.
//   picture_import_bench --import FILE | --place FILE   one of them
#include "PdfDocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

namespace {

// Paper with lines of dark strokes and grain, as a scanner gives it.
QImage scanLike(int width, int height, bool grey)
{
    QImage page(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    page.fill(QColor(236, 232, 220));
    QPainter painter(&page);
    QRandomGenerator random(7);
    const int line = std::max(8, height / 60);
    for (int y = line * 3; y < height - line * 3; y += line * 2) {
        for (int x = width / 12; x < width - width / 12;) {
            const int word = line * (2 + int(random.bounded(6)));
            painter.fillRect(QRect(x, y, word, line), QColor(40, 40, 60));
            x += word + line;
        }
    }
    painter.fillRect(QRect(width / 2, height / 8, width / 3, height / 5), QColor(180, 40, 40, 160));
    painter.end();
    for (int y = 0; y < height; y += 3) {
        uchar* row = page.scanLine(y);
        for (qsizetype i = 0; i < page.bytesPerLine(); i += 5)
            row[i] = uchar(std::clamp(int(row[i]) + int(random.bounded(31)) - 15, 0, 255));
    }
    return page;
}

int importOne(const QString& file)
{
    QTextStream out(stdout);
    PdfDocument doc;
    QElapsedTimer clock;
    clock.start();
    if (!doc.importDocument(file)) {
        out << "import failed: " << doc.lastError() << '\n';
        return 1;
    }
    const qint64 importMs = clock.restart();
    const QString saved = file + QStringLiteral(".pdf");
    if (!doc.saveAs(saved)) {
        out << "save failed: " << doc.lastError() << '\n';
        return 1;
    }
    const qint64 saveMs = clock.elapsed();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    out << QFileInfo(file).fileName() << ": import " << importMs << " ms, save " << saveMs << " ms, file "
        << QFileInfo(file).size() / 1024 << " KiB -> PDF " << QFileInfo(saved).size() / 1024 << " KiB, peak "
        << usage.ru_maxrss / 1024 << " MiB\n";
    return 0;
}

// The same picture put on a blank page as an image object, which pdfium
// compresses when the document is saved.
int placeOne(const QString& file)
{
    QTextStream out(stdout);
    QImageReader reader(file);
    reader.setAllocationLimit(1024);
    const QImage picture = reader.read();
    PdfDocument doc;
    const QSizeF size(picture.width() * 72.0 / 150, picture.height() * 72.0 / 150);
    QElapsedTimer clock;
    clock.start();
    if (picture.isNull() || !doc.createEmpty() || !doc.insertBlankPage(0, size) ||
        !doc.addImageToPage(0, QPointF(0, 0), size, picture)) {
        out << "placing failed\n";
        return 1;
    }
    const qint64 placeMs = clock.restart();
    const QString saved = file + QStringLiteral(".object.pdf");
    if (!doc.saveAs(saved))
        return 1;
    out << QFileInfo(file).fileName() << " as an image object: place " << placeMs << " ms, save " << clock.elapsed()
        << " ms, PDF " << QFileInfo(saved).size() / 1024 << " KiB\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--import") {
        QGuiApplication app(argc, argv);
        return importOne(QString::fromLocal8Bit(argv[2]));
    }
    if (argc == 3 && QByteArray(argv[1]) == "--place") {
        QGuiApplication app(argc, argv);
        return placeOne(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    const int width = argc > 2 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const int height = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 7000;
    QTemporaryDir dir;
    QStringList files;
    for (const bool grey : {false, true}) {
        const QString file = dir.filePath(grey ? QStringLiteral("scan-grey.jpg") : QStringLiteral("scan-colour.jpg"));
        QImageWriter writer(file, "jpeg");
        writer.setQuality(85);
        if (!writer.write(scanLike(width, height, grey)))
            return 1;
        files << file;
    }
    int failures = 0;
    for (const QString& file : files) {
        for (const QString& mode : {QStringLiteral("--import"), QStringLiteral("--place")}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(), {mode, file});
            child.waitForFinished(-1);
            failures += child.exitCode() != 0;
        }
    }
    return failures;
}
