// Figures of the fonts of written text: time and file growth of one edited
// line on a dense page, the first write of a document (the face is read and
// subset) and later ones (the subset is reused), and two pages edited.
// Usage: fonts_bench [iterations] [folder to keep the written files in]
#include "BenchDocuments.h"
#include "PdfDocument.h"
#include "TextBlock.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// The first one-line block of the page holding marker, with new words.
std::vector<TextBlock> editedLine(const PdfDocument& doc, int page, const QString& marker)
{
    for (TextBlock block : doc.extractText(page)) {
        if (!block.text.contains(marker) || block.lines.size() != 1)
            continue;
        block.lines.resize(1);
        block.lines[0].text = block.text = QStringLiteral("Дополнительное соглашение № 3 — «срок продлён»");
        block.textEdited = true;
        return {block};
    }
    return {};
}

const QString kTenthLine = QStringLiteral("строка 10:");

qint64 sizeOf(const QString& path)
{
    return QFileInfo(path).size();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTemporaryDir temporary;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QTextStream out(stdout);

    const QString dense = folder + QStringLiteral("/dense.pdf");
    bench::writeTextPdf(dense, 2);
    double firstMs = 0, laterMs = 0;
    qint64 oneLine = 0, twoPages = 0;
    for (int i = 0; i < iterations; ++i) {
        PdfDocument doc;
        doc.open(dense);
        const std::vector<TextBlock> first = editedLine(doc, 0, kTenthLine);
        const std::vector<TextBlock> second = editedLine(doc, 1, kTenthLine);
        QElapsedTimer timer;
        timer.start();
        doc.overlayOcrText(0, first, false);
        firstMs += bench::msSince(timer);
        doc.saveCopy(folder + QStringLiteral("/one-line.pdf"));
        timer.restart();
        doc.overlayOcrText(1, second, false);
        laterMs += bench::msSince(timer);
        doc.saveCopy(folder + QStringLiteral("/two-pages.pdf"));
        oneLine = sizeOf(folder + QStringLiteral("/one-line.pdf")) - sizeOf(dense);
        twoPages = sizeOf(folder + QStringLiteral("/two-pages.pdf")) - sizeOf(dense);
    }
    out << QStringLiteral("dense page (60 lines, %1 KiB file), one edited line: first write %2 ms, "
                          "later write %3 ms; growth %4 KiB for one line, %5 KiB for a line on each of two pages\n")
               .arg(sizeOf(dense) / 1024)
               .arg(firstMs / iterations, 0, 'f', 1)
               .arg(laterMs / iterations, 0, 'f', 1)
               .arg(oneLine / 1024.0, 0, 'f', 1)
               .arg(twoPages / 1024.0, 0, 'f', 1);

    // The same line on a blank page: what the font and the line add by themselves.
    const QString blank = folder + QStringLiteral("/blank.pdf");
    {
        PdfDocument doc;
        doc.createEmpty();
        doc.insertBlankPage(0, QSizeF(595, 842));
        doc.save(blank);
    }
    PdfDocument dense0;
    dense0.open(dense);
    std::vector<TextBlock> added = editedLine(dense0, 0, kTenthLine);
    added.front().originalRect = QRectF();  // text the user added: nothing to white out
    PdfDocument doc;
    doc.open(blank);
    doc.overlayOcrText(0, added, false);
    doc.saveCopy(folder + QStringLiteral("/blank-line.pdf"));
    out << QStringLiteral("the same line on a blank page: growth %1 KiB\n")
               .arg((sizeOf(folder + QStringLiteral("/blank-line.pdf")) - sizeOf(blank)) / 1024.0, 0, 'f', 1);

    // A real producer's file: groff's two pages of Times text.
    const QString groff = QStringLiteral(VORN_SOURCE_DIR "/tests/data/groff-columns.pdf");
    PdfDocument real;
    real.open(groff);
    real.overlayOcrText(0, editedLine(real, 0, QStringLiteral("the")), false);
    real.overlayOcrText(1, editedLine(real, 1, QStringLiteral("the")), false);
    real.saveCopy(folder + QStringLiteral("/groff-two-pages.pdf"));
    out << QStringLiteral("groff-columns.pdf (%1 KiB), a line on each of two pages: growth %2 KiB\n")
               .arg(sizeOf(groff) / 1024)
               .arg((sizeOf(folder + QStringLiteral("/groff-two-pages.pdf")) - sizeOf(groff)) / 1024.0, 0, 'f', 1);
    return 0;
}
