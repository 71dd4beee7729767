// Figures of the page text model: extraction from a dense text page, from a
// scanned colour page and from real producers' pages (Type 3 and "1 Tf" text),
// writing a 40-line page back, and one edited line on a dense real page.
// Usage: content_bench [iterations]
#include "PdfDocument.h"
#include "TextBlock.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

void writeDenseTextPage(const QString& path)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 8));
    for (int line = 0; line < 80; ++line)
        painter.drawText(30, 30 + line * 10,
                         QStringLiteral("%1. Договор поставки № 17/%1 между ООО «Ромашка» и АО «Вектор», сумма 1 250 000 руб.")
                             .arg(line + 1));
}

QImage scannedColourPage()
{
    QImage scan(1240, 1754, QImage::Format_RGB32);  // A4 at 150 dpi
    scan.fill(QColor(250, 248, 240));
    QPainter painter(&scan);
    painter.setPen(QColor(30, 30, 30));
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 11));
    for (int line = 0; line < 50; ++line)
        painter.drawText(100, 120 + line * 28, QStringLiteral("Отсканированная строка текста номер %1").arg(line + 1));
    painter.setPen(QPen(QColor(30, 60, 200), 6));
    painter.drawEllipse(QPoint(900, 1500), 120, 120);  // a blue stamp
    painter.setPen(QPen(QColor(200, 20, 20), 4));
    painter.drawLine(800, 1650, 1100, 1600);
    return scan;
}

template <typename Work>
double averageMs(int iterations, Work work)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < iterations; ++i)
        work();
    return double(timer.nsecsElapsed()) / 1e6 / iterations;
}

QString realPdf(const char* name)
{
    return QStringLiteral(VORN_TEST_DATA_DIR "/") + QLatin1String(name);
}

// Extraction of a real producer's 40-line page.
void benchRealExtraction(QTextStream& out, int iterations, const char* name)
{
    PdfDocument doc;
    if (!doc.open(realPdf(name)))
        return;
    size_t lines = 0;
    const double ms = averageMs(iterations, [&] { lines = doc.extractText(0).size(); });
    out << QStringLiteral("%1 (%2 lines): extractText %3 ms\n").arg(QLatin1String(name)).arg(lines).arg(ms, 0, 'f', 1);
}

// Search of a phrase over the first pages of a real producer's document.
void benchRealSearch(QTextStream& out, int iterations, const char* name, int pages, const QString& phrase)
{
    PdfDocument doc;
    if (!doc.open(realPdf(name)))
        return;
    pages = std::min(pages, doc.pageCount());
    qsizetype hits = 0;
    const double ms = averageMs(iterations, [&] {
        hits = 0;
        for (int page = 0; page < pages; ++page)
            hits += doc.findText(page, phrase).size();
    });
    out << QStringLiteral("%1 (%2 pages, %3 hits): findText %4 ms\n")
               .arg(QLatin1String(name))
               .arg(pages)
               .arg(hits)
               .arg(ms, 0, 'f', 1);
}

// One edited line written into a dense real page (the removal trial included),
// and what the saved file grows by: the middle line, or the line that reads
// line, made to read text.
void benchOneEditedLine(QTextStream& out, int iterations, const char* name, const QString& folder,
                        const QString& line = {}, const QString& text = QStringLiteral("Отредактированная строка документа"))
{
    double writeMs = 0;
    qint64 growth = 0;
    size_t lines = 0;
    for (int i = 0; i < iterations; ++i) {
        PdfDocument doc;
        if (!doc.open(realPdf(name)))
            return;
        std::vector<TextBlock> blocks = doc.extractText(0);
        lines = blocks.size();
        auto found = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text == line; });
        TextBlock& edited = found != blocks.end() ? *found : blocks[blocks.size() / 2];
        edited.text = text;
        edited.textEdited = true;
        QElapsedTimer timer;
        timer.start();
        doc.overlayOcrText(0, blocks, false);
        writeMs += double(timer.nsecsElapsed()) / 1e6;
        const QString written = folder + QStringLiteral("/edited-real.pdf");
        doc.save(written);
        growth = QFileInfo(written).size() - QFileInfo(realPdf(name)).size();
    }
    out << QStringLiteral("%1 (%2 lines%5): overlayOcrText of one edited line %3 ms, file growth %4 KiB\n")
               .arg(QLatin1String(name))
               .arg(lines)
               .arg(writeMs / iterations, 0, 'f', 1)
               .arg(double(growth) / 1024, 0, 'f', 1)
               .arg(line.isEmpty() ? QString() : QStringLiteral(", words swapped in the page's font"));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QTextStream out(stdout);
    QTemporaryDir dir;

    const QString dense = dir.filePath(QStringLiteral("dense.pdf"));
    writeDenseTextPage(dense);
    PdfDocument text;
    text.open(dense);
    size_t lines = 0;
    const double textMs = averageMs(iterations, [&] { lines = text.extractText(0).size(); });
    const double textImagesMs = averageMs(iterations, [&] { text.extractImages(0); });
    out << QStringLiteral("dense A4 text page (%1 lines): extractText %2 ms, extractImages %3 ms\n")
               .arg(lines)
               .arg(textMs, 0, 'f', 1)
               .arg(textImagesMs, 0, 'f', 1);

    PdfDocument scan;
    scan.appendRenderedPage(scannedColourPage(), QSizeF(595, 842));
    size_t images = 0;
    const double scanTextMs = averageMs(iterations, [&] { scan.extractText(0); });
    const double scanImagesMs = averageMs(iterations, [&] { images = scan.extractImages(0).size(); });
    out << QStringLiteral("scanned colour page: extractText %1 ms, extractImages %2 ms (%3 image blocks)\n")
               .arg(scanTextMs, 0, 'f', 1)
               .arg(scanImagesMs, 0, 'f', 1)
               .arg(images);

    std::vector<TextBlock> blocks;
    for (int i = 0; i < 40; ++i) {
        TextBlock block;
        block.text = QStringLiteral("Распознанная строка %1 с текстом документа").arg(i + 1);
        block.rect = block.originalRect = QRectF(60, 800 - i * 19, 420, 14);
        TextBlock::Line line;
        line.text = block.text;
        line.rect = block.rect;
        line.fontSize = 12;
        double x = line.rect.x();  // recognised words with their own boxes, as OCR gives them
        for (const QString& word : block.text.split(QLatin1Char(' '))) {
            const double width = 7.0 * word.size();
            line.words.push_back({word, QRectF(x, line.rect.y(), width, line.rect.height()), 90});
            x += width + 4;
        }
        block.lines = {line};
        block.textEdited = i % 4 == 0;  // a quarter edited: visible text over white-out
        blocks.push_back(block);
    }
    const QString blank = dir.filePath(QStringLiteral("blank.pdf"));
    {
        PdfDocument doc;
        doc.createEmpty();
        doc.insertBlankPage(0, QSizeF(595, 842));
        doc.save(blank);
    }
    double writeMs = 0;
    qint64 growth = 0;
    for (int i = 0; i < iterations; ++i) {
        PdfDocument doc;
        doc.open(blank);
        QElapsedTimer timer;
        timer.start();
        doc.overlayOcrText(0, blocks, false);
        writeMs += double(timer.nsecsElapsed()) / 1e6;
        const QString written = dir.filePath(QStringLiteral("written.pdf"));
        doc.save(written);
        growth = QFileInfo(written).size() - QFileInfo(blank).size();
    }
    out << QStringLiteral("overlayOcrText of 40 recognised lines (240 words): %1 ms, file growth %2 KiB\n")
               .arg(writeMs / iterations, 0, 'f', 1)
               .arg(growth / 1024);

    benchRealExtraction(out, iterations, "tex-type3-40.pdf");
    benchRealExtraction(out, iterations, "onetf-helvetica-40.pdf");
    benchRealExtraction(out, iterations, "groff-ps-manual.pdf");
    benchRealExtraction(out, iterations, "groff-columns.pdf");
    benchRealExtraction(out, iterations, "libreoffice-letter.pdf");
    benchRealSearch(out, iterations, "pdftex-registry.pdf", 50, QStringLiteral("the register"));
    benchRealSearch(out, iterations, "groff-columns.pdf", 10, QStringLiteral("the office"));
    benchOneEditedLine(out, iterations, "groff-columns.pdf", dir.path());
    benchOneEditedLine(out, iterations, "tex-type3-40.pdf", dir.path());
    benchOneEditedLine(out, iterations, "tesseract-ru.pdf", dir.path());
    benchOneEditedLine(out, iterations, "libreoffice-heading.pdf", dir.path(), QStringLiteral("ТЕХНИЧЕСКОЕ ЗАДАНИЕ"),
                       QStringLiteral("ЗАДАНИЕ ТЕХНИЧЕСКОЕ"));
    benchOneEditedLine(out, iterations, "tex-type1.pdf", dir.path(),
                       QStringLiteral("Kerning: AVAW Type, Yes, We value Tea, LT AT."),
                       QStringLiteral("Kerning: AVAW Type, Yes, We value Tea, AT LT."));
    return 0;
}
