// Spreadsheet import: preview layout and paints, page drawing, the whole
// import's peak memory, line charts of many points, and the first paint of a
// sheet too large to lay out.
#include "PdfDocument.h"
#include "ProcessMemory.h"
#include "XlsxFixtures.h"
#include "XlsxImportDialog.h"
#include "XlsxPackage.h"
#include "XlsxPreviewWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>

namespace {

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double mb(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

// A sheet of one line chart over n points of a shape: a smooth wave, 0 and
// 6 alternating, a zigzag going 0..6, random values, or rare spikes.
QString lineChartBook(const QString& dir, int n, const QByteArray& shape)
{
    QByteArray points;
    quint32 seed = 12345;
    for (int j = 0; j < n; ++j) {
        seed = seed * 1103515245u + 12345u;
        const double v = shape == "alternating" ? double(j % 2 * 6)
                         : shape == "zigzag"    ? double(j % 7)
                         : shape == "random"    ? double((seed >> 16) % 700) / 100.0
                         : shape == "spikes"    ? (j % 997 == 0 ? 60.0 : 1.0)
                                                : 3.0 + 3.0 * std::sin(double(j) / double(n) * 6.283);
        points += "<c:pt idx=\"" + QByteArray::number(j) + "\"><c:v>" + QByteArray::number(v) + "</c:v></c:pt>";
    }
    XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"
                                  "<drawing r:id=\"rIdD\"/>");
    addChart(parts, {"0", "1", "8", "20"},
             "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea>"
             "<c:lineChart><c:ser><c:val><c:numRef><c:numCache>" + points +
                 "</c:numCache></c:numRef></c:val></c:ser></c:lineChart></c:plotArea></c:chart></c:chartSpace>");
    const QString path = QDir(dir).filePath(QStringLiteral("line-%1-%2.xlsx").arg(n).arg(QString::fromLatin1(shape)));
    writeZip(path, parts);
    return path;
}

// The import dialog on a line chart: until it is shown and painted, then two
// paints more, as the window system asks for them; each shape against a
// smooth series of the same length.
int lineCharts()
{
    QTemporaryDir dir;
    for (int n : {500, 800, 1200, 1800, 5000, 20000, 100000}) {
        double smoothShown = 0;
        double smoothPainted = 0;
        for (const QByteArray shape : {"smooth", "alternating", "zigzag", "random", "spikes"}) {
            const QString book = lineChartBook(dir.path(), n, shape);
            QElapsedTimer t;
            t.start();
            XlsxImportDialog dialog(book, nullptr);
            dialog.show();
            if (!QTest::qWaitForWindowExposed(&dialog))
                return 1;
            dialog.grab();
            const double shown = ms(t);
            // Twenty paints, counted per two.
            t.restart();
            for (int k = 0; k < 20; ++k)
                dialog.grab();
            const double painted = ms(t) / 10;
            if (shape == "smooth") {
                smoothShown = shown;
                smoothPainted = painted;
            }
            std::printf("line chart of %6d points, %-11s: shown %6.0f ms (%.2fx smooth), two paints %6.1f ms "
                        "(%.2fx smooth)\n",
                        n, shape.constData(), shown, shown / smoothShown, painted, painted / smoothPainted);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // xlsx_import_bench --lines: the line charts alone.
    if (argc == 2 && QByteArray(argv[1]) == "--lines")
        return lineCharts();
    // xlsx_import_bench BOOK.xlsx OUT.pdf: the pages of one workbook, as the
    // import writes them, for a look from outside.
    if (argc == 3) {
        XlsxImportDialog dialog(QString::fromLocal8Bit(argv[1]), nullptr);
        const QString out = QString::fromLocal8Bit(argv[2]);
        if (!dialog.pageRenderer().writePdf(out))
            return 1;
        // Taken into a document and saved by the engine, as the window does.
        PdfDocument doc;
        doc.createEmpty();
        doc.importDocument(out);
        std::printf("%d pages; the engine reads page 1 as:\n%s\n", doc.pageCount(), qPrintable(doc.extractAllText(0)));
        return doc.saveAs(out + QStringLiteral(".saved.pdf")) ? 0 : 1;
    }
    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("big.csv")));
    if (!csv.open(QIODevice::WriteOnly))
        return 1;
    for (int r = 1; r <= 10000; ++r) {
        QByteArray line;
        for (int c = 0; c < 20; ++c)
            line += (c ? "," : "") + QByteArray::number(r * 100 + c);
        csv.write(line + '\n');
    }
    csv.close();
    QString why;
    // One profile for both runs: the timed one finds it made.
    const QString profile = dir.filePath(QStringLiteral("profile"));
    if (!convertWithLibreOffice({csv.fileName()}, dir.path(), &why, QStringLiteral("xlsx"), profile)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    const QString big = dir.filePath(QStringLiteral("big.xlsx"));

    // Layout and paints of the preview, in a scroll area as in the dialog.
    {
        XlsxIWorkbook book = iReadWorkbook(big);
        QScrollArea area;
        area.resize(800, 500);
        auto* preview = new XlsxPreviewWidget(&area);
        area.setWidget(preview);
        QElapsedTimer t;
        t.start();
        preview->setSheet(book.sheets.front().data.get(), book.styles.get(), book.sheets.front().charts);
        const double layout = ms(t);
        QImage view(780, 480, QImage::Format_RGB32);
        t.restart();
        preview->render(&view, QPoint(), QRegion(0, 0, 780, 480));
        const double first = ms(t);
        const int middle = preview->height() / 2;
        t.restart();
        preview->render(&view, QPoint(), QRegion(0, middle, 780, 480));
        const double scrolled = ms(t);
        std::printf("10000 x 20 preview: layout %.1f ms, %d pages, widget %d x %d px\n", layout, preview->pageCount(),
                    preview->width(), preview->height());
        std::printf("  first paint %.1f ms, scrolled paint %.1f ms\n", first, scrolled);
    }

    // The whole import against LibreOffice's own PDF of the same workbook:
    // the time until the pages are in a document, and the saved size.
    {
        QElapsedTimer t;
        t.start();
        QString loWhy;
        const QString loOut = dir.filePath(QStringLiteral("lo"));
        QDir().mkpath(loOut);
        if (!convertWithLibreOffice({big}, loOut, &loWhy, QStringLiteral("pdf"), profile)) {
            std::fprintf(stderr, "%s\n", qPrintable(loWhy));
            return 1;
        }
        const double loMs = ms(t);
        const qint64 loBytes = QFileInfo(QDir(loOut).filePath(QStringLiteral("big.pdf"))).size();

        bench::resetPeak();
        const qint64 before = bench::residentBytes();
        t.restart();
        XlsxImportDialog dialog(big, nullptr);
        const double open = ms(t);
        const XlsxPageRenderer renderer = dialog.pageRenderer();
        const QString pages = dir.filePath(QStringLiteral("pages.pdf"));
        if (!renderer.writePdf(pages))
            return 1;
        const double written = ms(t);
        PdfDocument doc;
        doc.createEmpty();
        doc.importDocument(pages);
        const double imported = ms(t);
        const QString saved = dir.filePath(QStringLiteral("saved.pdf"));
        doc.saveAs(saved);
        const qint64 ours = QFileInfo(saved).size();
        std::printf("10000 x 20 import: %d pages in %.0f ms (dialog %.0f, pages written %.0f, imported %.0f); "
                    "LibreOffice %.0f ms: %.2fx its time\n",
                    doc.pageCount(), imported, open, written - open, imported - written, loMs, imported / loMs);
        std::printf("  saved %.2f MB, LibreOffice %.2f MB: %.2fx its size; peak resident growth %.0f MB\n", mb(ours),
                    mb(loBytes), double(ours) / double(loBytes), mb(bench::peakBytes() - before));
    }

    if (lineCharts() != 0)
        return 1;

    // A1 with XFD1048576: time until the dialog has painted.
    {
        XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1048576\">"
                                      "<c r=\"XFD1048576\"><v>2</v></c></row></sheetData>");
        const QString huge = dir.filePath(QStringLiteral("huge.xlsx"));
        writeZip(huge, parts);
        QElapsedTimer t;
        t.start();
        XlsxImportDialog dialog(huge, nullptr);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog))
            return 1;
        dialog.grab();
        std::printf("A1 + XFD1048576: dialog painted after %.1f ms\n", ms(t));
    }
    return 0;
}
