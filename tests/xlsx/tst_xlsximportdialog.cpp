#include "WorkMeter.h"
#include "XlsxFixtures.h"
#include "XlsxImportDialog.h"
#include "XlsxPreviewWidget.h"
#include "XlsxSheetPainting.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString workbook(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/xlsx/") + name;
}

XlsxPreviewWidget* previewOf(XlsxImportDialog& d)
{
    return d.findChild<XlsxPreviewWidget*>();
}

QPushButton* importButtonOf(XlsxImportDialog& d)
{
    return d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

QRadioButton* landscapeButtonOf(XlsxImportDialog& d)
{
    for (QRadioButton* b : d.findChildren<QRadioButton*>())
        if (b->text() == QStringLiteral("Альбомная"))
            return b;
    return nullptr;
}

// Rows 1..rows of numbers in column A, a solid-filled style 1, merges and one
// bar chart from the given 0-based drawing anchor.
XlsxParts sheetBook(int rows, const QByteArray& extraCells, const QByteArray& merges, const QList<int>& chartAnchor,
                    const QByteArray& cols = QByteArray())
{
    QByteArray body = cols + "<sheetData>";
    for (int r = 1; r <= rows; ++r)
        body += "<row r=\"" + QByteArray::number(r) + "\"><c r=\"A" + QByteArray::number(r) + "\"><v>" +
                QByteArray::number(r) + "</v></c></row>";
    body += "</sheetData>" + extraCells + merges;
    if (!chartAnchor.isEmpty())
        body += "<drawing r:id=\"rIdD\"/>";
    XlsxParts parts = minimalXlsx(body);
    parts.insert("xl/styles.xml",
                 "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                 "<fonts count=\"1\"><font><sz val=\"11\"/></font></fonts>"
                 "<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
                 "patternType=\"gray125\"/></fill><fill><patternFill patternType=\"solid\"><fgColor "
                 "rgb=\"FF00FF00\"/></patternFill></fill></fills>"
                 "<borders count=\"1\"><border/></borders>"
                 "<cellXfs count=\"2\"><xf fontId=\"0\" fillId=\"0\" borderId=\"0\"/><xf fontId=\"0\" fillId=\"2\" "
                 "borderId=\"0\" applyFill=\"1\"/></cellXfs></styleSheet>");
    if (!chartAnchor.isEmpty()) {
        addChart(parts,
                 {QByteArray::number(chartAnchor.at(1)), QByteArray::number(chartAnchor.at(0)),
                  QByteArray::number(chartAnchor.at(3)), QByteArray::number(chartAnchor.at(2))},
                 "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart>"
                 "<c:plotArea><c:barChart><c:barDir val=\"col\"/><c:ser><c:val><c:numRef><c:numCache>"
                 "<c:pt idx=\"0\"><c:v>1</c:v></c:pt><c:pt idx=\"1\"><c:v>2</c:v></c:pt></c:numCache></c:numRef>"
                 "</c:val></c:ser></c:barChart></c:plotArea></c:chart></c:chartSpace>");
    }
    return parts;
}

int countColour(const QImage& image, const QColor& colour, const QRect& area, int tolerance = 10)
{
    int n = 0;
    const QRect a = area & image.rect();
    for (int y = a.top(); y <= a.bottom(); ++y) {
        for (int x = a.left(); x <= a.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += qAbs(c.red() - colour.red()) <= tolerance && qAbs(c.green() - colour.green()) <= tolerance &&
                         qAbs(c.blue() - colour.blue()) <= tolerance
                     ? 1
                     : 0;
        }
    }
    return n;
}

// A column without a width: 8.43 digits of the default 11-point font at 150 dpi.
double defaultColumnPx()
{
    XlsxIStyles styles;
    styles.fonts.append(XlsxIFont());
    return 8.43 * iCharWidthPx(&styles, 150);
}

const QColor kFrame(180, 200, 240);
const QColor kFill(0, 255, 0);

} // namespace

class TestXlsxImportDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pageSizes_data();
    void pageSizes();
    void fitWidth_data();
    void fitWidth();
    void slicesFollowTheBreaks_data();
    void slicesFollowTheBreaks();
    void mergeAcrossABreakIsDrawnOnce();
    void threeSheets();
    void chartsOnEveryPageAtTheirRow();
    void chartsOutsideASliceStayOff_data();
    void chartsOutsideASliceStayOff();
    void chartsAsTheWorkbookShowsThem_data();
    void chartsAsTheWorkbookShowsThem();
    void pagesOneAtATime();
    void reasons_data();
    void reasons();
    void manySheetsInAList();
    void hugeSheetGivesNoPage();
    void wideSheetFitsTheShownPreview();

private:
    QString write(const QString& name, const XlsxParts& parts);
    QTemporaryDir m_dir;
};

void TestXlsxImportDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestXlsxImportDialog::write(const QString& name, const XlsxParts& parts)
{
    const QString path = m_dir.filePath(name);
    if (!writeZip(path, parts))
        return QString();
    return path;
}

void TestXlsxImportDialog::pageSizes_data()
{
    QTest::addColumn<int>("paper");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSizeF>("points");
    QTest::addColumn<int>("pages");
    // LibreOffice's rows are 12.8 pt: A4 portrait breaks once, at row 63.
    QTest::newRow("A4") << 0 << false << QSize(1239, 1754) << QSizeF(595, 842) << 2;
    QTest::newRow("A4 landscape") << 0 << true << QSize(1754, 1239) << QSizeF(842, 595) << 3;
    QTest::newRow("A3") << 1 << false << QSize(1754, 2479) << QSizeF(842, 1190) << 2;
    QTest::newRow("Letter") << 2 << false << QSize(1275, 1650) << QSizeF(612, 792) << 2;
    QTest::newRow("Legal landscape") << 3 << true << QSize(2100, 1275) << QSizeF(1008, 612) << 3;
}

void TestXlsxImportDialog::pageSizes()
{
    QFETCH(int, paper);
    QFETCH(bool, landscape);
    QFETCH(QSize, image);
    QFETCH(QSizeF, points);
    QFETCH(int, pages);
    XlsxImportDialog d(workbook("lo-rows100.xlsx"), nullptr);
    QCOMPARE(d.windowTitle(), QStringLiteral("Импорт Excel: lo-rows100.xlsx"));
    d.findChild<QComboBox*>()->setCurrentIndex(paper);
    if (landscape)
        landscapeButtonOf(d)->click();
    QCOMPARE(previewOf(d)->pageCount(), pages);
    QCOMPARE(d.plannedPageCount(), pages);
    QSizeF size(-1, -1);
    const QList<QImage> images = d.buildPages(size);
    QCOMPARE(size, points);
    QCOMPARE(images.size(), pages);
    for (const QImage& page : images) {
        QCOMPARE(page.size(), image);
        QCOMPARE(page.dotsPerMeterX(), 5906);
        QCOMPARE(page.dotsPerMeterY(), 5906);
    }
    // The top margin is white, the first row's grid line lies 20 points down.
    QCOMPARE(countColour(images.first(), QColor(210, 210, 210), QRect(45, 0, 40, 40), 30), 0);
    QVERIFY(countColour(images.first(), QColor(210, 210, 210), QRect(45, 40, 40, 4), 40) > 30);
}

void TestXlsxImportDialog::fitWidth_data()
{
    QTest::addColumn<bool>("fit");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("rightCellShown");
    QTest::addColumn<int>("pageCount");
    QTest::newRow("fit") << true << 3 << true << 1;
    // Columns that do not fit go on further pages across, one a page here.
    QTest::newRow("further pages across") << false << 3 << true << 3;
    // A slice taller than the page shrinks, width included: two columns a page.
    QTest::newRow("tall slice shrinks") << false << 150 << true << 2;
}

void TestXlsxImportDialog::fitWidth()
{
    QFETCH(bool, fit);
    QFETCH(int, rows);
    QFETCH(bool, rightCellShown);
    QFETCH(int, pageCount);
    // Columns A..C of 100 characters (1098 px each at 150 dpi); C is filled.
    const QString path = write(QStringLiteral("wide.xlsx"),
                               sheetBook(rows, "", "", {}, "<cols><col min=\"1\" max=\"3\" width=\"100\"/></cols>"));
    // The fill cell goes in row 1 of column C.
    XlsxParts parts = sheetBook(rows, "", "", {}, "<cols><col min=\"1\" max=\"3\" width=\"100\"/></cols>");
    QByteArray sheet = parts.value("xl/worksheets/sheet1.xml");
    sheet.replace("<c r=\"A1\"><v>1</v></c>", "<c r=\"A1\"><v>1</v></c><c r=\"C1\" s=\"1\"/>");
    parts.insert("xl/worksheets/sheet1.xml", sheet);
    QVERIFY(!write(QStringLiteral("wide.xlsx"), parts).isEmpty());
    XlsxImportDialog d(path, nullptr);
    d.findChild<QCheckBox*>()->setChecked(fit);
    previewOf(d)->breaks.clear(); // the whole sheet on one page
    QSizeF size;
    const QList<QImage> pages = d.buildPages(size);
    QCOMPARE(pages.size(), pageCount);
    QCOMPARE(d.plannedPageCount(), pageCount);
    // Column C is whole on the last page, and on no other.
    QCOMPARE(countColour(pages.last(), kFill, pages.last().rect()) > 100, rightCellShown);
    for (qsizetype i = 0; i + 1 < pages.size(); ++i)
        QCOMPARE(countColour(pages.at(i), kFill, pages.at(i).rect()), 0);
}

void TestXlsxImportDialog::slicesFollowTheBreaks_data()
{
    QTest::addColumn<QList<int>>("breaks");
    QTest::addColumn<int>("pages");
    QTest::newRow("none") << QList<int>{} << 1;
    QTest::newRow("at the first row") << QList<int>{1} << 1;
    QTest::newRow("past the last row") << QList<int>{101, 500} << 1;
    QTest::newRow("two") << QList<int>{30, 60} << 3;
    QTest::newRow("out of order") << QList<int>{60, 30} << 2;
    QTest::newRow("repeated") << QList<int>{40, 40} << 2;
    QTest::newRow("the last row") << QList<int>{100} << 2;
}

void TestXlsxImportDialog::slicesFollowTheBreaks()
{
    QFETCH(QList<int>, breaks);
    QFETCH(int, pages);
    XlsxImportDialog d(workbook("lo-rows100.xlsx"), nullptr);
    previewOf(d)->breaks = breaks;
    QCOMPARE(d.plannedPageCount(), pages);
    QSizeF size;
    QCOMPARE(d.buildPages(size).size(), pages);
}

void TestXlsxImportDialog::mergeAcrossABreakIsDrawnOnce()
{
    // B40:B50 merged and filled; the break at row 47 cuts through it. B48, a
    // filled cell hidden by the merge, is never drawn.
    XlsxParts parts = sheetBook(100, "", "<mergeCells count=\"1\"><mergeCell ref=\"B40:B50\"/></mergeCells>", {});
    QByteArray sheet = parts.value("xl/worksheets/sheet1.xml");
    sheet.replace("<c r=\"A40\"><v>40</v></c>", "<c r=\"A40\"><v>40</v></c><c r=\"B40\" s=\"1\"/>");
    sheet.replace("<c r=\"A48\"><v>48</v></c>", "<c r=\"A48\"><v>48</v></c><c r=\"B48\" s=\"1\"/>");
    parts.insert("xl/worksheets/sheet1.xml", sheet);
    XlsxImportDialog d(write(QStringLiteral("merge.xlsx"), parts), nullptr);
    previewOf(d)->breaks = {47};
    QSizeF size;
    const QList<QImage> pages = d.buildPages(size);
    QCOMPARE(pages.size(), 2);
    // Page 1: rows 40..50 at full height, 11 rows of 31.25 px from row 40's
    // top, past the slice's end at row 46.
    const double top = 41.67 + 39 * 31.25;
    const int columnB = int(41.67 + defaultColumnPx()) + 10;
    const QRect merge(columnB, int(top) + 3, 40, int(11 * 31.25) - 6);
    QCOMPARE(countColour(pages.at(0), kFill, merge), merge.width() * merge.height());
    QCOMPARE(countColour(pages.at(0), kFill, QRect(columnB, int(top + 11 * 31.25) + 3, 40, 40)), 0);
    // Page 2: the hidden cells of the merge are not drawn.
    QCOMPARE(countColour(pages.at(1), kFill, pages.at(1).rect()), 0);
}

void TestXlsxImportDialog::threeSheets()
{
    XlsxImportDialog d(workbook("lo-three-sheets.xlsx"), nullptr);
    QCOMPARE(d.reason(), QString());
    d.onSheetSelected(1);
    XlsxPreviewWidget* preview = previewOf(d);
    QCOMPARE(preview->breaks, QList<int>{63});
    preview->breaks = {40, 70};
    QCOMPARE(d.findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly) != nullptr, true);
    QSizeF size;
    QList<int> firstRowInk;
    QCOMPARE(d.buildPages(size).size(), 5);
    // The other sheets are broken as the preview would break them: previewing
    // the first gives 1 + 2 + 1, the second's own breaks not kept.
    d.onSheetSelected(0);
    QCOMPARE(d.plannedPageCount(), 4);
    d.onSheetSelected(7); // no such sheet: nothing changes
    QCOMPARE(d.plannedPageCount(), 4);
}

void TestXlsxImportDialog::chartsOnEveryPageAtTheirRow()
{
    // A chart from 0-based drawing row 2 (the sheet's row 3), column 5, to
    // row 70 and column 8, on a sheet of 100 rows broken at row 54.
    XlsxImportDialog d(write(QStringLiteral("chart.xlsx"), sheetBook(100, "", "", {2, 5, 70, 8})), nullptr);
    previewOf(d)->breaks = {54};
    d.findChild<QCheckBox*>()->setChecked(false);
    QSizeF size;
    const QList<QImage> pages = d.buildPages(size);
    QCOMPARE(pages.size(), 2);
    // Page 1: the frame's top edge on the top of row 3, 2 rows of 31.25 px down.
    const int x = int(41.67 + 5 * defaultColumnPx() + 40);
    const int top = int(41.67 + 2 * 31.25);
    QVERIFY(countColour(pages.at(0), kFrame, QRect(x, top - 1, 1, 3), 30) > 0);
    QCOMPARE(countColour(pages.at(0), kFrame, QRect(x, top - 25, 1, 20), 30), 0);
    // Page 2 carries the chart too, from its first row down to row 71.
    QVERIFY(countColour(pages.at(1), QColor(248, 250, 255), QRect(x, 60, 1, 100), 0) > 90);
    const int bottom = int(41.67 + (71 - 54 + 1) * 31.25);
    QVERIFY(countColour(pages.at(1), kFrame, QRect(x, bottom - 1, 1, 3), 30) > 0);
    // The preview's layout reaches the chart's last column, I.
    QCOMPARE(previewOf(d)->colX.size(), 10);
}

void TestXlsxImportDialog::chartsOutsideASliceStayOff_data()
{
    QTest::addColumn<QList<int>>("anchor");
    QTest::addColumn<bool>("onFirst");
    QTest::addColumn<bool>("onSecond");
    QTest::newRow("above the second page") << QList<int>{2, 3, 20, 6} << true << false;
    QTest::newRow("below the first page") << QList<int>{60, 3, 80, 6} << false << true;
    QTest::newRow("across the break") << QList<int>{40, 3, 60, 6} << true << true;
    QTest::newRow("ending on the break's row") << QList<int>{40, 3, 53, 6} << true << true;
}

void TestXlsxImportDialog::chartsOutsideASliceStayOff()
{
    QFETCH(QList<int>, anchor);
    QFETCH(bool, onFirst);
    QFETCH(bool, onSecond);
    XlsxImportDialog d(write(QStringLiteral("slice-chart.xlsx"), sheetBook(100, "", "", anchor)), nullptr);
    previewOf(d)->breaks = {54};
    QSizeF size;
    const QList<QImage> pages = d.buildPages(size);
    QCOMPARE(pages.size(), 2);
    const QColor background(248, 250, 255);
    QCOMPARE(countColour(pages.at(0), background, pages.at(0).rect(), 0) > 1000, onFirst);
    QCOMPARE(countColour(pages.at(1), background, pages.at(1).rect(), 0) > 1000, onSecond);
}

// A bar chart over A1:A5 of sheet S: on the page and in the preview its
// series is blue; a series the author filtered out would be orange. A chart
// left out is said in the hint, as is a chart sheet.
void TestXlsxImportDialog::chartsAsTheWorkbookShowsThem_data()
{
    QTest::addColumn<QByteArray>("ref");      // of the drawn series' values
    QTest::addColumn<QByteArray>("extra");    // more of the plot
    QTest::addColumn<QByteArray>("name");     // the workbook's name "Ряд", if any
    QTest::addColumn<bool>("hiddenRow");      // row 3 hidden
    QTest::addColumn<bool>("chartSheet");     // a second sheet "Диаграмма 1" holding a chart alone
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("drawn");
    QTest::addColumn<QByteArrayList>("drawing"); // pairs of what the drawing says and what it says instead

    const QByteArray filtered =
        "<c:extLst><c:ext uri=\"{02D57815-91ED-43cb-92C2-25804820EDAC}\" "
        "xmlns:c15=\"http://schemas.microsoft.com/office/drawing/2012/chart\"><c15:filteredBarSeries><c15:ser>"
        "<c:val><c:numRef><c:f>S!$B$1:$B$5</c:f><c:numCache><c:pt idx=\"0\"><c:v>7771</c:v></c:pt></c:numCache>"
        "</c:numRef></c:val></c15:ser></c15:filteredBarSeries></c:ext></c:extLst>";
    const QByteArray unresolved = "OFFSET(S!$A$1,0,0,MATCH(9E+99,S!$A:$A),1)";
    const QString leftOut = QStringLiteral("Диаграмм не импортировано: 1 (листы: «S»). Их ряды заданы формулой, по "
                                           "которой нельзя узнать скрытые строки, и диаграммы показали бы скрытые "
                                           "значения.");
    QTest::newRow("filtered series") << QByteArray("S!$A$1:$A$5") << filtered << QByteArray() << true << false
                                     << QString() << true << QByteArrayList();
    QTest::newRow("chart sheet") << QByteArray("S!$A$1:$A$5") << QByteArray() << QByteArray() << false << true
                                 << QStringLiteral("Листы-диаграммы не импортируются: «Диаграмма 1».") << true << QByteArrayList();
    QTest::newRow("growing name over a hidden row")
        << QByteArray("[0]!Ряд") << QByteArray() << QByteArray("OFFSET(S!$A$1,0,0,COUNTA(S!$A:$A),1)") << true
        << false << QString() << true << QByteArrayList();
    QTest::newRow("name not resolved over a hidden row") << QByteArray("[0]!Ряд") << QByteArray() << unresolved
                                                         << true << false << leftOut << false << QByteArrayList();
    QTest::newRow("name not resolved, nothing hidden") << QByteArray("[0]!Ряд") << QByteArray() << unresolved
                                                       << false << false << QString() << true << QByteArrayList();
    // References that name no sheet may be any sheet's.
    QTest::newRow("INDIRECT naming no sheet over a hidden row")
        << QByteArray("[0]!Ряд") << QByteArray() << QByteArray("INDIRECT(\"A1:A5\")") << true << false << leftOut
        << false << QByteArrayList();
    QTest::newRow("INDIRECT naming no sheet, nothing hidden") << QByteArray("[0]!Ряд") << QByteArray()
                                                              << QByteArray("INDIRECT(\"A1:A5\")") << false << false
                                                              << QString() << true << QByteArrayList();
    QTest::newRow("name not defined over a hidden row") << QByteArray("[0]!Ряд") << QByteArray() << QByteArray()
                                                        << true << false << leftOut << false << QByteArrayList();
    // A chart the author hid, or does not print, is neither shown nor printed.
    const QByteArray frame = "<xdr:graphicFrame>";
    const QByteArray named = frame + "<xdr:nvGraphicFramePr><xdr:cNvPr id=\"2\" name=\"Диаграмма 1\"%1/>"
                                     "<xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr>";
    const QByteArray group = "<xdr:grpSp><xdr:nvGrpSpPr><xdr:cNvPr id=\"3\" name=\"Группа 1\"%1/><xdr:cNvGrpSpPr/>"
                             "</xdr:nvGrpSpPr><xdr:grpSpPr/>" + QByteArray(named).replace("%1", "");
    const auto hiding = [](QByteArray text, const char* attribute) { return text.replace("%1", attribute); };
    QTest::newRow("chart hidden") << QByteArray("S!$A$1:$A$5") << QByteArray() << QByteArray() << false << false
                                  << QString() << false << QByteArrayList{frame, hiding(named, " hidden=\"1\"")};
    QTest::newRow("chart shown") << QByteArray("S!$A$1:$A$5") << QByteArray() << QByteArray() << false << false
                                 << QString() << true << QByteArrayList{frame, hiding(named, " hidden=\"0\"")};
    QTest::newRow("chart in a hidden group")
        << QByteArray("S!$A$1:$A$5") << QByteArray() << QByteArray() << false << false << QString() << false
        << QByteArrayList{frame, hiding(group, " hidden=\"1\""), "</xdr:graphicFrame>", "</xdr:graphicFrame></xdr:grpSp>"};
    QTest::newRow("chart in a shown group")
        << QByteArray("S!$A$1:$A$5") << QByteArray() << QByteArray() << false << false << QString() << true
        << QByteArrayList{frame, hiding(group, ""), "</xdr:graphicFrame>", "</xdr:graphicFrame></xdr:grpSp>"};
    QTest::newRow("chart not printed with the sheet")
        << QByteArray("S!$A$1:$A$5") << QByteArray() << QByteArray() << false << false << QString() << false
        << QByteArrayList{"</xdr:twoCellAnchor>", "<xdr:clientData fPrintsWithSheet=\"0\"/></xdr:twoCellAnchor>"};
}

void TestXlsxImportDialog::chartsAsTheWorkbookShowsThem()
{
    QFETCH(QByteArray, ref);
    QFETCH(QByteArray, extra);
    QFETCH(QByteArray, name);
    QFETCH(bool, hiddenRow);
    QFETCH(bool, chartSheet);
    QFETCH(QString, hint);
    QFETCH(bool, drawn);
    QFETCH(QByteArrayList, drawing);
    XlsxParts parts = sheetBook(5, "", "", {0, 2, 10, 8});
    for (qsizetype i = 0; i + 1 < drawing.size(); i += 2)
        parts["xl/drawings/drawing1.xml"].replace(drawing.at(i), drawing.at(i + 1));
    if (hiddenRow)
        parts["xl/worksheets/sheet1.xml"].replace("<row r=\"3\">", "<row r=\"3\" hidden=\"1\">");
    QByteArray points;
    for (int i = 0; i < 5; ++i)
        points += "<c:pt idx=\"" + QByteArray::number(i) + "\"><c:v>" + QByteArray::number(i + 1) + "</c:v></c:pt>";
    parts.insert("xl/charts/chart1.xml",
                 "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart>"
                 "<c:plotArea><c:barChart><c:barDir val=\"col\"/><c:ser><c:val><c:numRef><c:f>" + ref +
                     "</c:f><c:numCache>" + points + "</c:numCache></c:numRef></c:val></c:ser>" + extra +
                     "</c:barChart></c:plotArea><c:plotVisOnly val=\"1\"/></c:chart></c:chartSpace>");
    QByteArray sheets = "<sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>";
    if (chartSheet) {
        sheets += "<sheet name=\"Диаграмма 1\" sheetId=\"2\" r:id=\"rId2\"/>";
        parts["xl/_rels/workbook.xml.rels"].replace(
            "</Relationships>",
            "<Relationship Id=\"rId2\" Type=\"t\" Target=\"chartsheets/sheet1.xml\"/></Relationships>");
        parts.insert("xl/chartsheets/sheet1.xml",
                     "<chartsheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                     "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheetPr/>"
                     "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews><drawing r:id=\"rId1\"/>"
                     "</chartsheet>");
    }
    parts.insert("xl/workbook.xml",
                 "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                 "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" +
                     sheets + "</sheets>" +
                     (name.isEmpty() ? QByteArray()
                                     : "<definedNames><definedName name=\"Ряд\">" + name + "</definedName></definedNames>") +
                     "</workbook>");
    XlsxImportDialog d(write(QStringLiteral("charts.xlsx"), parts), nullptr);
    const QLabel* hintLabel = d.findChild<QLabel*>(QStringLiteral("DialogHint"));
    QVERIFY(hintLabel);
    QCOMPARE(hintLabel->text(), hint);
    QCOMPARE(hintLabel->isVisibleTo(&d), !hint.isEmpty());
    QCOMPARE(d.findChild<QListWidget*>()->count(), 1); // a chart sheet is not listed
    QSizeF size;
    const QList<QImage> pages = d.buildPages(size);
    QCOMPARE(pages.size(), 1);
    const QImage preview = previewOf(d)->grab().toImage();
    const QColor background(248, 250, 255);
    const QColor blue(66, 114, 196);
    const QColor orange(237, 125, 49);
    for (const QImage& image : {pages.first(), preview}) {
        QCOMPARE(countColour(image, background, image.rect(), 0) > 100, drawn);
        QCOMPARE(countColour(image, blue, image.rect(), 0) > 10, drawn);
        QCOMPARE(countColour(image, orange, image.rect(), 0), 0);
    }
}

void TestXlsxImportDialog::pagesOneAtATime()
{
    XlsxImportDialog d(workbook("lo-three-sheets.xlsx"), nullptr);
    d.onSheetSelected(1);
    QSizeF size;
    int seen = 0;
    QCOMPARE(d.buildPages(size, [&seen](const QImage& page) {
        ++seen;
        return !page.isNull() && seen < 2;
    }), 2);
    QCOMPARE(seen, 2);
    QCOMPARE(d.buildPages(size, [](const QImage&) { return true; }), 4);
}

void TestXlsxImportDialog::reasons_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("importable");
    QTest::newRow("encrypted") << QByteArray("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8) + QByteArray(4096, '\0')
                               << QStringLiteral("Книга зашифрована паролем.") << false;
    QTest::newRow("not a workbook") << QByteArray("plain text") << QStringLiteral("Файл не является книгой XLSX.")
                                    << false;
    QTest::newRow("no sheet") << QByteArray("nosheet") << QStringLiteral("Часть книги повреждена: xl/workbook.xml")
                              << false;
    QTest::newRow("empty sheet") << QByteArray("empty") << QStringLiteral("В книге нет данных для импорта.") << true;
    QTest::newRow("every row hidden") << QByteArray("hidden")
                                      << QStringLiteral("Все строки с данными в книге скрыты: импортировать нечего.") << true;
}

// 300 sheets are listed in a scrolling list: the dialog stays as wide as
// its preview needs, and a click in the list shows the sheet.
void TestXlsxImportDialog::manySheetsInAList()
{
    XlsxParts parts = sheetBook(3, "", "", {});
    QByteArray sheets, rels;
    for (int i = 1; i <= 300; ++i) {
        const QByteArray n = QByteArray::number(i);
        sheets += "<sheet name=\"Лист " + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"t\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        parts.insert("xl/worksheets/sheet" + QString::number(i) + ".xml", parts.value("xl/worksheets/sheet1.xml"));
    }
    parts.insert("xl/workbook.xml", "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                                    "<sheets>" + sheets + "</sheets></workbook>");
    parts.insert("xl/_rels/workbook.xml.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + rels +
                     "</Relationships>");
    XlsxImportDialog d(write(QStringLiteral("many.xlsx"), parts), nullptr);
    QVERIFY2(d.sizeHint().width() < 1200, qPrintable(QString::number(d.sizeHint().width())));
    auto* list = d.findChild<QListWidget*>();
    QVERIFY(list);
    QCOMPARE(list->count(), 300);
    list->setCurrentRow(250);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("Лист 251"));
    QCOMPARE(d.plannedPageCount(), 300);
}

void TestXlsxImportDialog::reasons()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QFETCH(bool, importable);
    const QString path = m_dir.filePath(QStringLiteral("r.xlsx"));
    if (content == "nosheet") {
        XlsxParts parts = minimalXlsx("<sheetData/>");
        parts.insert("xl/workbook.xml", "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheets/></workbook>");
        QVERIFY(writeZip(path, parts));
    } else if (content == "empty") {
        QVERIFY(writeZip(path, minimalXlsx("<sheetData/>")));
    } else if (content == "hidden") {
        QVERIFY(writeZip(path, minimalXlsx("<sheetData><row r=\"1\" hidden=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                                           "<row r=\"3\" ht=\"0\"><c r=\"B3\"><v>2</v></c></row><row r=\"2\" "
                                           "hidden=\"1\"/></sheetData>")));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    XlsxImportDialog d(path, nullptr);
    QCOMPARE(d.reason(), reason);
    QCOMPARE(importButtonOf(d)->isEnabled(), importable);
    if (content != "hidden")
        QCOMPARE(previewOf(d)->size(), QSize(300, 200)); // "Нет данных"
    QSizeF size;
    QVERIFY(d.buildPages(size).isEmpty());
    QCOMPARE(d.plannedPageCount(), 0);
    const QLabel* hint = d.findChild<QLabel*>(QStringLiteral("DialogHint"));
    QVERIFY(hint);
    if (content != "empty" && content != "hidden")
        QCOMPARE(hint->text(), reason); // the reader's own words
}

void TestXlsxImportDialog::hugeSheetGivesNoPage()
{
    XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"1048576\">"
                                  "<c r=\"XFD1048576\"><v>2</v></c></row></sheetData>");
    const workmeter::Meter work;
    XlsxImportDialog d(write(QStringLiteral("huge.xlsx"), parts), nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(work.processorMs() < 2000);
    QVERIFY(previewOf(d)->sheetTooLarge());
    QCOMPARE(d.reason(), QStringLiteral("Лист слишком велик для импорта."));
    QCOMPARE(d.plannedPageCount(), 0);
    QSizeF size;
    QVERIFY(d.buildPages(size).isEmpty());
}

// The sheet is fitted to the scroll area's width as the dialog shows it.
void TestXlsxImportDialog::wideSheetFitsTheShownPreview()
{
    XlsxImportDialog d(write(QStringLiteral("wide3.xlsx"),
                             sheetBook(3, "", "", {}, "<cols><col min=\"1\" max=\"3\" width=\"100\"/></cols>")),
                       nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto* area = d.findChild<QScrollArea*>();
    QTest::qWait(50);
    const int width = previewOf(d)->width();
    const int viewport = area->viewport()->width();
    // Fitted before the show, it would be 202 px wide (the 200-px floor).
    QVERIFY2(width <= viewport && width > viewport - 100, qPrintable(QStringLiteral("%1 in %2").arg(width).arg(viewport)));
}

QTEST_MAIN(TestXlsxImportDialog)
#include "tst_xlsximportdialog.moc"
