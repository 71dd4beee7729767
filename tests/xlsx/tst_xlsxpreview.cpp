#include "WorkMeter.h"
#include "XlsxPreviewWidget.h"
#include "XlsxSheetPainting.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

// Rows 1..rows in column A, each of the given height in points (0: none set).
XlsxISheetData rowsSheet(int rows, double heightPt = 0, int cols = 1)
{
    XlsxISheetData data;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            XlsxICell cell;
            cell.text = QString::number(r);
            data.cells[r][c] = cell;
        }
        if (heightPt > 0)
            data.rowHeights.insert(r, heightPt);
    }
    return data;
}

XlsxIStyles plainStyles()
{
    XlsxIStyles s;
    s.fonts.append(XlsxIFont());
    s.fills = {XlsxIFill(), XlsxIFill()};
    s.borders.append(XlsxIBorder());
    s.cellXfs.append(XlsxIXf());
    return s;
}

int countOnLine(const QImage& image, int y, const QColor& colour)
{
    int n = 0;
    for (int x = 20; x < image.width(); ++x)
        n += image.pixelColor(x, y) == colour ? 1 : 0;
    return n;
}

// A move without a button, as the window system delivers it to a tracking widget.
void hover(QWidget& w, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, w.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
}

QPoint atRow(const XlsxPreviewWidget& w, int row, int dy = 0)
{
    return QPoint(100, w.breakYForRow(row) + dy);
}

} // namespace

class TestXlsxPreview : public QObject {
    Q_OBJECT
private slots:
    void movedBreaksOutliveThePaper();
    void textsSpillAsOnThePage_data();
    void textsSpillAsOnThePage();
    void hiddenRowsTakeNoRoom();
    void automaticBreaks_data();
    void automaticBreaks();
    void wideSheetGrowsTheBudget();
    void tallFirstRowStaysOnItsPage();
    void emptySheetSaysNoData();
    void dragMovesReordersAndMerges();
    void dragNeverReachesTheFirstRow();
    void hoverAndLeave();
    void exposedAreaPaintsTheSamePixels();
    void chartsSitOnTheirAnchorRow();
    void hugeSheetIsNotLaidOut();
    void widgetSizeStaysWithinTheMaximum();
};

void TestXlsxPreview::automaticBreaks_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("heightPt");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QList<int>>("breaks");
    // LibreOffice's 12.8-pt rows are 17 px: 62 of them fill the 1069.33-px budget.
    QTest::newRow("17 px rows") << 100 << 12.8 << false << QList<int>{63};
    QTest::newRow("20 px rows") << 100 << 0.0 << false << QList<int>{54};
    QTest::newRow("last row never examined") << 54 << 0.0 << false << QList<int>{};
    QTest::newRow("one row more") << 55 << 0.0 << false << QList<int>{54};
    // Landscape: 595 * 96 / 72 - 53.33 = 740 px, 37 rows of 20 px.
    QTest::newRow("landscape") << 100 << 0.0 << true << QList<int>{38, 75};
    QTest::newRow("tallest rows") << 5 << 409.0 << false << QList<int>{2, 3, 4};
}

void TestXlsxPreview::automaticBreaks()
{
    QFETCH(int, rows);
    QFETCH(double, heightPt);
    QFETCH(bool, landscape);
    QFETCH(QList<int>, breaks);
    const XlsxISheetData data = rowsSheet(rows, heightPt);
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    QSignalSpy changed(&w, &XlsxPreviewWidget::pageBreaksChanged);
    w.setSheet(&data, &styles, {});
    w.setPaperSize(QSizeF(595, 842), landscape);
    QCOMPARE(w.breaks, breaks);
    QCOMPARE(w.pageCount(), int(breaks.size()) + 1);
    QCOMPARE(changed.count(), 2);
}

void TestXlsxPreview::wideSheetGrowsTheBudget()
{
    // One column of 2000 px: the budget becomes 1069.33 * 2000 / 740 = 2890 px.
    XlsxISheetData data = rowsSheet(200);
    const XlsxIStyles styles = plainStyles();
    data.colWidths.insert(0, 2000.5 / iCharWidthPx(&styles, 96));
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    QCOMPARE(w.totalWidth, 2000);
    QCOMPARE(w.breaks, QList<int>{145});
    QCOMPARE(w.scale, 600.0 / 2000); // no parent: 600 px available
}

void TestXlsxPreview::tallFirstRowStaysOnItsPage()
{
    XlsxISheetData data = rowsSheet(10);
    data.rowHeights.insert(1, 900); // 1200 px, taller than the page
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    QCOMPARE(w.breaks, QList<int>{2});
}

void TestXlsxPreview::emptySheetSaysNoData()
{
    const XlsxISheetData data;
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    QSignalSpy changed(&w, &XlsxPreviewWidget::pageBreaksChanged);
    w.setSheet(&data, &styles, {});
    QCOMPARE(w.size(), QSize(300, 200));
    QCOMPARE(w.pageCount(), 1);
    QCOMPARE(changed.count(), 0);
    const QImage image = w.grab().toImage();
    QCOMPARE(image.pixelColor(5, 5), QColor(200, 200, 200));
    int dark = 0;
    for (int x = 100; x < 200; ++x)
        dark += qGray(image.pixel(x, 100)) < 190 ? 1 : 0;
    QVERIFY(dark > 0); // the centred text
}

// A break the user moved stays where it was put when the orientation or
// the paper changes; the automatic ones are counted on from it. A new sheet
// starts without moved breaks.
void TestXlsxPreview::movedBreaksOutliveThePaper()
{
    const XlsxISheetData data = rowsSheet(200); // breaks 54, 107, 160 on A4 portrait
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, atRow(w, 54));
    QTest::mouseMove(&w, atRow(w, 30, 2));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, atRow(w, 30, 2));
    QCOMPARE(w.breaks, (QList<int>{30, 107, 160}));

    // Landscape A4 holds 37 rows of 20 px (budget 740 px): counted from row 30.
    w.setPaperSize(QSizeF(595, 842), true);
    QCOMPARE(w.breaks.first(), 30);
    QCOMPARE(w.breaks.mid(1, 2), (QList<int>{67, 104}));
    w.setPaperSize(QSizeF(595, 842), false);
    QCOMPARE(w.breaks, (QList<int>{30, 83, 136, 189}));

    w.setSheet(&data, &styles, {});
    QCOMPARE(w.breaks, (QList<int>{54, 107, 160}));
}

// A long text in A1 runs on over B1 when B1 is empty, as on the page; a
// number, or a filled neighbour, keeps it in its cell.
void TestXlsxPreview::textsSpillAsOnThePage_data()
{
    QTest::addColumn<bool>("number");
    QTest::addColumn<bool>("neighbour");
    QTest::addColumn<bool>("spills");
    QTest::addColumn<bool>("columnC"); // a cell in column C keeps B inside the sheet's cells
    QTest::newRow("text over an empty cell") << false << false << true << true;
    QTest::newRow("text before a filled cell") << false << true << false << true;
    QTest::newRow("number") << true << false << false << true;
    QTest::newRow("text past the last column") << false << false << true << false;
}

void TestXlsxPreview::textsSpillAsOnThePage()
{
    QFETCH(bool, number);
    QFETCH(bool, neighbour);
    QFETCH(bool, spills);
    QFETCH(bool, columnC);
    XlsxISheetData data;
    XlsxICell cell;
    cell.text = number ? QStringLiteral("12345678901234567890123") : QStringLiteral("Длинный текст примечания");
    cell.isNumber = number;
    cell.number = 1.2345678901234568e22;
    data.cells[1][0] = cell;
    if (columnC)
        data.cells[2][2].text = QStringLiteral("x");
    if (neighbour)
        data.cells[1][1].text = QStringLiteral(" ");
    data.colWidths.insert(0, 5);
    data.colWidths.insert(1, 20);
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    // Column B is laid out, as the text runs over it, or as it holds cells.
    QCOMPARE(w.colX.size() >= 3, spills || columnC);
    if (w.colX.size() < 3)
        return;
    const QImage image = w.grab().toImage();
    // Ink in B1, away from its edges and its own (blank) text.
    int ink = 0;
    const int y = int((w.rowY.at(0) + w.rowY.at(1)) / 2 * w.scale);
    for (int x = int(w.colX.at(1) * w.scale) + 4; x < int(w.colX.at(2) * w.scale) - 4; ++x)
        for (int dy = -4; dy <= 4; ++dy)
            ink += qGray(image.pixel(x, y + dy)) < 120 ? 1 : 0;
    QCOMPARE(ink > 0, spills);
}

// Hidden rows and columns are not shown and take no room: the breaks fall
// as if they were not there.
void TestXlsxPreview::hiddenRowsTakeNoRoom()
{
    XlsxISheetData data = rowsSheet(100, 0, 3);
    for (int r = 10; r < 20; ++r)
        data.hiddenRows.insert(r);
    data.hiddenCols.insert(1);
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    QCOMPARE(w.totalHeight, 90 * 20);
    QCOMPARE(w.totalWidth, 2 * int(8.43 * iCharWidthPx(&styles, 96)));
    QCOMPARE(w.breaks, QList<int>{64}); // 53 shown rows on the first page, rows 10-19 not among them
    QCOMPARE(w.rowAtY(w.breakYForRow(20) + 1), 20);
}

void TestXlsxPreview::dragMovesReordersAndMerges()
{
    const XlsxISheetData data = rowsSheet(200); // breaks 54, 107, 160
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    w.show();
    QCOMPARE(w.breaks, (QList<int>{54, 107, 160}));
    QSignalSpy changed(&w, &XlsxPreviewWidget::pageBreaksChanged);

    // Within 6 px of the line picks the break up.
    QTest::mousePress(&w, Qt::LeftButton, {}, atRow(w, 107, 5));
    QCOMPARE(w.dragIndex, 1);
    QTest::mouseMove(&w, QPoint(100, w.breakYForRow(30) + 3));
    QCOMPARE(w.breaks, (QList<int>{30, 54, 160}));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(100, w.breakYForRow(30) + 3));
    QCOMPARE(w.dragIndex, -1);

    // Seven px away is no hit.
    QTest::mousePress(&w, Qt::LeftButton, {}, atRow(w, 54, 7));
    QCOMPARE(w.dragIndex, -1);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, atRow(w, 54, 7));

    // Onto another break: the two become one, and the drag goes on.
    QTest::mousePress(&w, Qt::LeftButton, {}, atRow(w, 160));
    QCOMPARE(w.dragIndex, 2);
    QTest::mouseMove(&w, atRow(w, 54, 2));
    QCOMPARE(w.breaks, (QList<int>{30, 54}));
    QTest::mouseMove(&w, atRow(w, 120, 2));
    QCOMPARE(w.breaks, (QList<int>{30, 120}));
    QVERIFY(w.dragIndex >= 0 && w.dragIndex < w.breaks.size());
    QTest::mouseRelease(&w, Qt::LeftButton, {}, atRow(w, 120, 2));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(w.pageCount(), 3);

    // Other buttons do nothing.
    QTest::mousePress(&w, Qt::RightButton, {}, atRow(w, 30));
    QCOMPARE(w.dragIndex, -1);
}

void TestXlsxPreview::dragNeverReachesTheFirstRow()
{
    const XlsxISheetData data = rowsSheet(100);
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    w.show();
    QTest::mousePress(&w, Qt::LeftButton, {}, atRow(w, 54));
    QTest::mouseMove(&w, QPoint(100, 5));
    QCOMPARE(w.breaks, QList<int>{54});
    QTest::mouseMove(&w, QPoint(100, w.height() + 50)); // off the sheet
    QCOMPARE(w.breaks, QList<int>{54});
    QTest::mouseMove(&w, atRow(w, 2, 1));
    QCOMPARE(w.breaks, QList<int>{2});
    QTest::mouseRelease(&w, Qt::LeftButton, {}, atRow(w, 2, 1));
}

void TestXlsxPreview::hoverAndLeave()
{
    const XlsxISheetData data = rowsSheet(100);
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    w.setPaperSize(QSizeF(300, 300), false); // a break at row 18, on screen
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int y = w.breakYForRow(18);
    QVERIFY(countOnLine(w.grab().toImage(), y, QColor(60, 140, 255)) > 20);
    hover(w, QPoint(100, y + 4));
    QCOMPARE(w.hoverRow, 18);
    const QImage hot = w.grab().toImage();
    QVERIFY(countOnLine(hot, y, QColor(0, 100, 220)) > 20);
    QVERIFY(countOnLine(hot, y - 1, QColor(0, 100, 220)) + countOnLine(hot, y + 1, QColor(0, 100, 220)) > 20); // two pixels wide
    QCOMPARE(hot.pixelColor(12, y), QColor(0, 100, 220)); // the handle
    hover(w, QPoint(100, y + 30));
    QCOMPARE(w.hoverRow, -1);
    hover(w, QPoint(100, y));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&w, &leave);
    QCOMPARE(w.hoverRow, -1);
    // The second page's band is darker by black at alpha 15; the first is not.
    const QImage image = w.grab().toImage();
    QCOMPARE(image.pixelColor(30, y - 10), QColor(200, 200, 200));
    const QColor band = image.pixelColor(30, y + 10);
    QVERIFY2(qAbs(band.red() - 188) <= 1 && band.red() == band.blue(), qPrintable(band.name()));
}

void TestXlsxPreview::exposedAreaPaintsTheSamePixels()
{
    XlsxISheetData data;
    XlsxIStyles styles = plainStyles();
    XlsxIBorder border;
    border.bottom.present = true;
    border.bottom.style = QStringLiteral("thick");
    border.bottom.color = Qt::red;
    styles.borders.append(border);
    XlsxIFill fill;
    fill.solid = true;
    fill.color = QColor(255, 255, 0);
    styles.fills.append(fill);
    XlsxIXf xf;
    xf.borderId = 1;
    xf.fillId = 2;
    styles.cellXfs.append(xf);
    for (int r = 1; r <= 60; ++r) {
        for (int c = 0; c < 12; ++c) {
            XlsxICell cell;
            cell.text = QStringLiteral("r%1c%2").arg(r).arg(c);
            cell.style = (r + c) % 5 == 0 ? 1 : 0;
            data.cells[r][c] = cell;
        }
    }
    data.merges.append({2, 1, 30, 4});  // reaches through several tiles
    data.merges.append({40, 0, 41, 11});
    data.colWidths.insert(3, 20);
    XlsxIChart chart;
    chart.type = XlsxIChart::Pie;
    chart.fromRow = 10;
    chart.fromCol = 6;
    chart.toRow = 25;
    chart.toCol = 10;
    XlsxIChartSeries series;
    series.values = {1, 2, 3};
    chart.series.append(series);

    QWidget parent;
    parent.resize(700, 400);
    XlsxPreviewWidget w(&parent);
    w.setSheet(&data, &styles, {chart});
    const QImage whole = w.grab().toImage();
    QImage tiled(whole.size(), whole.format());
    tiled.setDevicePixelRatio(whole.devicePixelRatio());
    tiled.fill(Qt::black);
    {
        QPainter p(&tiled);
        for (int y = 0; y < w.height(); y += 97)
            for (int x = 0; x < w.width(); x += 131)
                w.render(&p, QPoint(x, y), QRegion(x, y, 131, 97));
    }
    QCOMPARE(tiled, whole);
}

void TestXlsxPreview::chartsSitOnTheirAnchorRow()
{
    // Data in A1:B10; a chart from the 0-based drawing row 2, column 5 to
    // row 12, column 8: its top is the top of row 3, beside and below the data.
    XlsxISheetData data = rowsSheet(10, 0, 2);
    const XlsxIStyles styles = plainStyles();
    XlsxIChart chart;
    chart.type = XlsxIChart::Bar;
    chart.fromRow = 2;
    chart.fromCol = 5;
    chart.toRow = 12;
    chart.toCol = 8;
    XlsxIChartSeries series;
    series.values = {1, 2};
    chart.series.append(series);
    QWidget parent;
    parent.resize(900, 600);
    XlsxPreviewWidget w(&parent);
    w.setSheet(&data, &styles, {chart});
    QCOMPARE(w.colX.size(), 10);  // columns A..I
    QCOMPARE(w.rowY.size(), 14);  // rows 1..13
    const QImage image = w.grab().toImage();
    const QColor frame(180, 200, 240);
    const int x = 5 * 64 + 100;
    QCOMPARE(image.pixelColor(x, 40), frame);   // top of row 3
    QVERIFY(image.pixelColor(x, 39) != frame);
    QCOMPARE(image.pixelColor(x, 260), frame);  // bottom of row 13
    // A chart from drawing row 0 starts on the first row.
    chart.fromRow = 0;
    w.setSheet(&data, &styles, {chart});
    QCOMPARE(w.grab().toImage().pixelColor(x, 0), frame);
    // A line swinging across the plot fills it, in the window too, where the
    // preview sits away from the window's corner.
    chart.type = XlsxIChart::Line;
    chart.fromRow = 2;
    chart.series.first().values.clear();
    for (int j = 0; j < 5000; ++j)
        chart.series.first().values.append(j % 2 * 6);
    w.setSheet(&data, &styles, {chart});
    w.move(30, 50);
    const QImage window = parent.grab().toImage();
    const QColor line(66, 114, 196);
    QCOMPARE(window.pixelColor(30 + x, 50 + 50), line);
    QCOMPARE(window.pixelColor(30 + x, 50 + 250), line);
    QCOMPARE(window.pixelColor(30 + x, 50 + 40), frame);
    QVERIFY(window.pixelColor(30 + w.colX.at(5) - 2, 50 + 100) != line);
    QVERIFY(window.pixelColor(30 + w.colX.last() + 4, 50 + 100) != line);
}

void TestXlsxPreview::hugeSheetIsNotLaidOut()
{
    XlsxISheetData data;
    data.cells[1][0].text = QStringLiteral("A1");
    data.cells[1048576][16383].text = QStringLiteral("XFD1048576");
    data.merges.append({1, 0, 1048576, 16383});
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    const workmeter::Meter work;
    w.setSheet(&data, &styles, {});
    const QImage image = w.grab().toImage();
    QVERIFY(work.processorMs() < 1000);
    QVERIFY(w.sheetTooLarge());
    QVERIFY(w.rowY.isEmpty());
    QCOMPARE(w.size(), QSize(300, 200));
    int dark = 0;
    for (int x = 0; x < 300; ++x)
        dark += qGray(image.pixel(x, 100)) < 190 ? 1 : 0;
    QVERIFY(dark > 0);
}

void TestXlsxPreview::widgetSizeStaysWithinTheMaximum()
{
    // A million tall rows in one column: within the position bound, but
    // taller than any widget may be.
    XlsxISheetData data;
    data.cells[1][0].text = QStringLiteral("top");
    data.cells[1000000][0].text = QStringLiteral("bottom");
    data.merges.append({1, 0, 1000000, 0});
    const XlsxIStyles styles = plainStyles();
    XlsxPreviewWidget w;
    w.setSheet(&data, &styles, {});
    QVERIFY(!w.sheetTooLarge());
    QCOMPARE(w.height(), QWIDGETSIZE_MAX);
    const workmeter::Meter work;
    QImage image(300, 300, QImage::Format_RGB32);
    w.render(&image, QPoint(), QRegion(0, 5000000, 300, 300));
    QVERIFY(work.processorMs() < 1000);
}

QTEST_MAIN(TestXlsxPreview)
#include "tst_xlsxpreview.moc"
