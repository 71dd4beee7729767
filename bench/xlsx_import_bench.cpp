// Spreadsheet import: preview layout and paints, page drawing, the whole
// import's peak memory, and the first paint of a sheet too large to lay out.
#include "PdfDocument.h"
#include "ProcessMemory.h"
#include "XlsxFixtures.h"
#include "XlsxImportDialog.h"
#include "XlsxPackage.h"
#include "XlsxPreviewWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
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
    if (!convertWithLibreOffice({csv.fileName()}, dir.path(), &why)) {
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

    // The whole import: dialog, every page drawn and appended at once.
    {
        bench::resetPeak();
        const qint64 before = bench::residentBytes();
        QElapsedTimer t;
        t.start();
        XlsxImportDialog dialog(big, nullptr);
        const double open = ms(t);
        PdfDocument doc;
        doc.createEmpty();
        QSizeF size;
        double drawing = 0;
        double appending = 0;
        QElapsedTimer step;
        step.start();
        const int pages = dialog.buildPages(size, [&](const QImage& page) {
            drawing += ms(step);
            step.restart();
            doc.appendRenderedPage(page, size);
            appending += ms(step);
            step.restart();
            return true;
        });
        std::printf("import: dialog %.0f ms, %d pages, drawing %.1f ms/page, appending %.1f ms/page\n", open, pages,
                    drawing / pages, appending / pages);
        std::printf("  peak resident growth %.0f MB (one page image is %.1f MB)\n",
                    mb(bench::peakBytes() - before), mb(qint64(1239) * 1754 * 4));
    }

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
