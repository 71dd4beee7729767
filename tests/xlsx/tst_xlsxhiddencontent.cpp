// What a workbook hides is not printed: hidden rows and columns, figures
// under ";;;", and the points of hidden cells in charts that plot visible
// cells only, through every kind of reference a chart may use; a chart
// whose reference may point to hidden cells it cannot tell is left out.
#include "PdfTools.h"
#include "XlsxFixtures.h"
#include "XlsxPackage.h"
#include "XlsxPageRenderer.h"
#include "XlsxPreviewWidget.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString pdfText(const QString& pdf)
{
    return pdftools::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}).out;
}

} // namespace

class TestXlsxHiddenContent : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void hiddenContentIsNotPrinted_data();
    void hiddenContentIsNotPrinted();

private:
    QTemporaryDir m_dir;
};

// Rows 1 to 5 of column A hold the labels "видно1" ... and B the values
// 100, 110, 999, 120, 130; row 3 is hidden (or 0 high). Style 1 has the
// format ";;;".
void TestXlsxHiddenContent::hiddenContentIsNotPrinted_data()
{
    QTest::addColumn<QByteArray>("extra");    // more of the worksheet: row 6 and columns; "zero": row 3 0 high;
                                              // "ends": rows 2 and 5 hidden too; "table": a table over B1:B6
    QTest::addColumn<QByteArray>("chart");    // the chart part, or none
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QList<double>>("values"); // the points of every series as drawn; none: the chart is left out
    QTest::addColumn<QByteArray>("workbook");  // the workbook part instead of one of sheet "S"; its rId2 is a
                                               // copy of that sheet

    // The cache holds the given values; count, when given, is how many points it says it holds.
    const auto series = [](const QByteArray& ref, const QList<int>& values, int count = -1) {
        QByteArray points = count < 0 ? QByteArray() : "<c:ptCount val=\"" + QByteArray::number(count) + "\"/>";
        for (int i = 0; i < values.size(); ++i)
            points += "<c:pt idx=\"" + QByteArray::number(i) + "\"><c:v>" + QByteArray::number(values.at(i)) +
                      "</c:v></c:pt>";
        return "<c:ser><c:val><c:numRef><c:f>" + ref + "</c:f><c:numCache>" + points +
               "</c:numCache></c:numRef></c:val></c:ser>";
    };
    const auto chartOf = [](const QByteArray& kind, const QByteArray& plot, const QByteArray& visibleOnly) {
        return "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea>"
               "<c:" + kind + ">" + plot + "</c:" + kind + "></c:plotArea>" + visibleOnly + "</c:chart></c:chartSpace>";
    };
    const auto barChart = [&](const QByteArray& ref, const QByteArray& visibleOnly,
                              const QList<int>& values = {100, 110, 999, 120, 130}, int count = -1) {
        return chartOf("barChart", "<c:barDir val=\"col\"/>" + series(ref, values, count), visibleOnly);
    };
    // A series unticked in the chart's filter, kept in the plot's extension list.
    const auto filtered = [&](const QByteArray& kind, const QByteArray& list) {
        return chartOf(kind,
                       series("S!$B$1:$B$5", {100, 110, 999, 120, 130}) +
                           "<c:extLst><c:ext uri=\"{02D57815-91ED-43cb-92C2-25804820EDAC}\" "
                           "xmlns:c15=\"http://schemas.microsoft.com/office/drawing/2012/chart\"><c15:" + list + ">" +
                           series("S!$C$1:$C$5", {7771, 7772, 7773, 7774, 7775})
                               .replace("<c:ser>", "<c15:ser>")
                               .replace("</c:ser>", "</c15:ser>") +
                           "</c15:" + list + "></c:ext></c:extLst>",
                       "<c:plotVisOnly val=\"1\"/>");
    };
    const auto workbook = [](const QByteArray& sheets, const QByteArray& names = QByteArray()) {
        return "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
               "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" + sheets +
               "</sheets>" + (names.isEmpty() ? QByteArray() : "<definedNames>" + names + "</definedNames>") +
               "</workbook>";
    };
    const QByteArray sheetS = "<sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>";
    const QByteArray visibleOnly = "<c:plotVisOnly val=\"1\"/>";
    const QList<double> visible{100, 110, 120, 130};
    const QStringList shown{"видно1", "видно2", "видно4", "видно5"};
    QTest::newRow("hidden row") << QByteArray() << QByteArray() << shown << QStringList{"видно3"}
                                << QList<double>{} << QByteArray();
    QTest::newRow("hidden column") << QByteArray("<cols><col min=\"3\" max=\"3\" hidden=\"1\"/></cols>")
                                   << QByteArray() << shown << QStringList{"столбец"} << QList<double>{} << QByteArray();
    QTest::newRow("column 0 wide") << QByteArray("<cols><col min=\"3\" max=\"3\" width=\"0\" customWidth=\"1\"/></cols>")
                                   << QByteArray() << shown << QStringList{"столбец"} << QList<double>{} << QByteArray();
    QTest::newRow(";;; number") << QByteArray("n") << QByteArray() << shown << QStringList{"4242"} << QList<double>{}
                                << QByteArray();
    QTest::newRow(";;; text") << QByteArray("t") << QByteArray() << shown << QStringList{"невидимка"}
                              << QList<double>{} << QByteArray();
    QTest::newRow("chart, visible cells only")
        << QByteArray() << barChart("S!$B$1:$B$5", visibleOnly) << shown << QStringList{} << visible << QByteArray();
    QTest::newRow("chart, visible by default") << QByteArray() << barChart("'S'!$B$1:$B$5", "") << shown
                                               << QStringList{} << visible << QByteArray();
    QTest::newRow("chart, hidden cells plotted")
        << QByteArray() << barChart("S!$B$1:$B$5", "<c:plotVisOnly val=\"0\"/>") << shown << QStringList{}
        << QList<double>{100, 110, 999, 120, 130} << QByteArray();
    // Row 6 holds the same values across B to F, column D hidden.
    QTest::newRow("chart along a row, hidden column")
        << QByteArray("<cols><col min=\"4\" max=\"4\" hidden=\"1\"/></cols>")
        << barChart("S!$B$6:$F$6", visibleOnly) << shown << QStringList{} << visible << QByteArray();
    QTest::newRow("chart along a row, column 0 wide")
        << QByteArray("<cols><col min=\"4\" max=\"4\" width=\"0\" customWidth=\"1\"/></cols>")
        << barChart("S!$B$6:$F$6", visibleOnly) << shown << QStringList{} << visible << QByteArray();
    QTest::newRow("chart of an unknown sheet") << QByteArray() << barChart("Другой!$B$1:$B$5", "") << shown
                                               << QStringList{} << QList<double>{100, 110, 999, 120, 130}
                                               << QByteArray();
    // LibreOffice caches the visible cells alone: 4 points of a range of 5.
    QTest::newRow("chart, cache of the visible cells")
        << QByteArray() << barChart("S!$B$1:$B$5", visibleOnly, {100, 110, 120, 130}, 4) << shown << QStringList{}
        << visible << QByteArray();
    QTest::newRow("chart, cache of every cell")
        << QByteArray() << barChart("S!$B$1:$B$5", visibleOnly, {100, 110, 999, 120, 130}, 5) << shown
        << QStringList{} << visible << QByteArray();
    QTest::newRow("chart of several areas")
        << QByteArray() << barChart("(S!$B$1:$B$2,S!$B$3,'S'!$B$4:$B$5)", visibleOnly) << shown << QStringList{}
        << visible << QByteArray();
    QTest::newRow("chart of a whole column") << QByteArray() << barChart("S!$B:$B", visibleOnly) << shown
                                             << QStringList{} << visible << QByteArray();
    QTest::newRow("chart of a whole row, hidden column")
        << QByteArray("<cols><col min=\"4\" max=\"4\" hidden=\"1\"/></cols>")
        << barChart("S!$6:$6", visibleOnly, {0, 100, 110, 999, 120, 130}) << shown << QStringList{}
        << QList<double>{0, 100, 110, 120, 130} << QByteArray();
    QTest::newRow("chart of a defined name")
        << QByteArray() << barChart("[0]!Данные", visibleOnly) << shown << QStringList{} << visible
        << workbook(sheetS, "<definedName name=\"Данные\">S!$B$1:$B$5</definedName>");
    QTest::newRow("chart of a sheet's own name")
        << QByteArray() << barChart("S!ряд", visibleOnly) << shown << QStringList{} << visible
        << workbook(sheetS, "<definedName name=\"Ряд\">S!$B$6:$F$6</definedName>"
                            "<definedName name=\"Ряд\" localSheetId=\"0\">S!$B$1:$B$5</definedName>");
    QTest::newRow("chart of a hidden sheet")
        << QByteArray() << barChart("Данные!$B$1:$B$5", visibleOnly) << shown << QStringList{} << visible
        << workbook(sheetS + "<sheet name=\"Данные\" sheetId=\"2\" state=\"hidden\" r:id=\"rId2\"/>");
    QTest::newRow("chart of a sheet named with a comma")
        << QByteArray() << barChart("'Итоги, 2024'!$B$1:$B$5", visibleOnly) << shown << QStringList{} << visible
        << workbook("<sheet name=\"Итоги, 2024\" sheetId=\"1\" r:id=\"rId1\"/>");
    QTest::newRow("chart of a name on a hidden sheet")
        << QByteArray() << barChart("Ряд", visibleOnly) << shown << QStringList{} << visible
        << workbook(sheetS + "<sheet name=\"Скрытые, 'данные'\" sheetId=\"2\" state=\"veryHidden\" r:id=\"rId2\"/>",
                    "<definedName name=\"Ряд\">'Скрытые, ''данные'''!$B$1:$B$5</definedName>");
    QTest::newRow("row 0 high") << QByteArray("zero") << barChart("S!$B$1:$B$5", visibleOnly) << shown
                                << QStringList{"видно3"} << visible << QByteArray();
    QTest::newRow("bar chart, filtered series") << QByteArray() << filtered("barChart", "filteredBarSeries") << shown
                                                << QStringList{} << visible << QByteArray();
    QTest::newRow("line chart, filtered series") << QByteArray() << filtered("lineChart", "filteredLineSeries")
                                                 << shown << QStringList{} << visible << QByteArray();
    QTest::newRow("pie chart, filtered series") << QByteArray() << filtered("pieChart", "filteredPieSeries") << shown
                                                << QStringList{} << visible << QByteArray();
    // Names that grow with their rows, over the sheet "Отчёт": its labels in
    // A1:A5 counted, the values from B2 on.
    const QByteArray report = "<sheet name=\"Отчёт\" sheetId=\"1\" r:id=\"rId1\"/>";
    const QList<int> fromB2{110, 999, 120, 130};
    const QList<double> visibleFromB2{110, 120, 130};
    QTest::newRow("name of OFFSET with COUNTA")
        << QByteArray() << barChart("[0]!Продажи", visibleOnly, fromB2) << shown << QStringList{} << visibleFromB2
        << workbook(report, "<definedName name=\"Продажи\">OFFSET('Отчёт'!$B$2,0,0,COUNTA('Отчёт'!$A:$A)-1,1)"
                            "</definedName>");
    QTest::newRow("range ending in INDEX with COUNTA")
        << QByteArray() << barChart("'Отчёт'!Продажи", visibleOnly, fromB2) << shown << QStringList{}
        << visibleFromB2
        << workbook(report, "<definedName name=\"Продажи\" localSheetId=\"0\">'Отчёт'!$B$2:INDEX('Отчёт'!$B:$B,"
                            "COUNTA('Отчёт'!$A:$A))</definedName>");
    QTest::newRow("OFFSET of constant sizes, width left out")
        << QByteArray() << barChart("[0]!Продажи", visibleOnly, fromB2) << shown << QStringList{} << visibleFromB2
        << workbook(report, "<definedName name=\"Продажи\">OFFSET(Отчёт!$B$1, 1, 0, 4)</definedName>");
    QTest::newRow("OFFSET counting numbers with COUNT")
        << QByteArray() << barChart("[0]!Продажи", visibleOnly) << shown << QStringList{} << visible
        << workbook(report, "<definedName name=\"Продажи\">OFFSET('Отчёт'!$B$1,0,0,COUNT('Отчёт'!$B$1:$B$5),1)"
                            "</definedName>");
    // A reference not resolved over a sheet that hides a row: left out.
    QTest::newRow("name not resolved") << QByteArray() << barChart("[0]!Продажи", visibleOnly, fromB2) << shown
                                       << QStringList{} << QList<double>{}
                                       << workbook(report, "<definedName name=\"Продажи\">OFFSET('Отчёт'!$B$2,0,0,"
                                                           "MATCH(1E+100,'Отчёт'!$B:$B)-1,1)</definedName>");
    QTest::newRow("OFFSET of a height given by a name")
        << QByteArray() << barChart("[0]!Продажи", visibleOnly, fromB2) << shown << QStringList{} << visibleFromB2
        << workbook(report, "<definedName name=\"Кол\">COUNTA('Отчёт'!$A:$A)-1</definedName>"
                            "<definedName name=\"Продажи\">OFFSET('Отчёт'!$B$2,0,0,Кол,1)</definedName>");
    QTest::newRow("OFFSET counting over a hidden data sheet")
        << QByteArray() << barChart("[0]!Продажи", visibleOnly, fromB2) << shown << QStringList{} << visibleFromB2
        << workbook(report + "<sheet name=\"Данные\" sheetId=\"2\" state=\"hidden\" r:id=\"rId2\"/>",
                    "<definedName name=\"Продажи\">OFFSET(Данные!$B$2,0,0,COUNTA(Данные!$A:$A)-1,1)</definedName>");
    // The table over B1:B6 has a header row and a totals row: its data are B2:B5.
    const auto sums = [&](const QByteArray& formula) {
        return workbook(report, "<definedName name=\"Суммы\">" + formula + "</definedName>");
    };
    const QStringList endsShown{"видно1", "видно4"};
    const QStringList endsHidden{"видно2", "видно3", "видно5"};
    QTest::newRow("table column") << QByteArray("table") << barChart("[0]!Суммы", visibleOnly, fromB2) << shown
                                  << QStringList{} << visibleFromB2 << sums("Таблица1[Сумма]");
    QTest::newRow("table column, rows hidden at both ends")
        << QByteArray("table ends") << barChart("[0]!Суммы", visibleOnly, fromB2) << endsShown << endsHidden
        << QList<double>{120} << sums("Таблица1[Сумма]");
    QTest::newRow("table data of a column") << QByteArray("table ends") << barChart("[0]!Суммы", visibleOnly, fromB2)
                                            << endsShown << endsHidden << QList<double>{120}
                                            << sums("Таблица1[[#Data],[Сумма]]");
    QTest::newRow("table data") << QByteArray("table") << barChart("[0]!Суммы", visibleOnly, fromB2) << shown
                                << QStringList{} << visibleFromB2 << sums("таблица1[#Data]");
    QTest::newRow("table with its header and totals")
        << QByteArray("table ends") << barChart("[0]!Суммы", visibleOnly, {100, 110, 999, 120, 130, 100})
        << endsShown << endsHidden << QList<double>{100, 120, 100} << sums("Таблица1[[#All],[Сумма]]");
    // What names no sheet may be any sheet's: left out while one hides rows.
    const QList<std::pair<const char*, QByteArray>> anySheet = {
        {"INDIRECT of a range", sums("INDIRECT(\"B2:B5\")")},
        {"INDIRECT of ADDRESS", sums("INDIRECT(ADDRESS(2,2)&amp;\":\"&amp;ADDRESS(5,2))")},
        {"INDIRECT in R1C1", sums("INDIRECT(\"R2C2:R5C2\",FALSE)")},
        {"INDIRECT naming the sheet", sums("INDIRECT(\"'Отчёт'!B2:B5\")")},
        {"cells of no sheet", sums("$B$2:$B$5")},
        {"name not defined", workbook(report)},
        {"table not defined", sums("Таблица2[Сумма]")},
    };
    for (const auto& [row, book] : anySheet)
        QTest::newRow(row) << QByteArray("table ends") << barChart("[0]!Суммы", visibleOnly, fromB2) << endsShown
                           << endsHidden << QList<double>{} << book;
}

void TestXlsxHiddenContent::hiddenContentIsNotPrinted()
{
    QFETCH(QByteArray, extra);
    QFETCH(QByteArray, chart);
    QFETCH(QStringList, printed);
    QFETCH(QStringList, absent);
    QFETCH(QList<double>, values);
    QFETCH(QByteArray, workbook);
    const QByteArray cols = extra.startsWith("<cols>") ? extra : QByteArray();
    QByteArray rows;
    const QList<int> numbers{100, 110, 999, 120, 130};
    for (int r = 1; r <= 5; ++r) {
        const QByteArray n = QByteArray::number(r);
        const QByteArray hiding = extra == "zero" ? " ht=\"0\" customHeight=\"1\"" : " hidden=\"1\"";
        const bool hidden = r == 3 || (extra.contains("ends") && (r == 2 || r == 5));
        rows += "<row r=\"" + n + "\"" + (hidden ? hiding : QByteArray()) + "><c r=\"A" + n +
                "\" t=\"inlineStr\"><is><t>видно" + n + "</t></is></c><c r=\"B" + n + "\"><v>" +
                QByteArray::number(numbers.at(r - 1)) + "</v></c><c r=\"C" + n +
                "\" t=\"inlineStr\"><is><t>столбец</t></is></c></row>";
    }
    QByteArray six = "<row r=\"6\">";
    for (int c = 0; c < 5; ++c)
        six += "<c r=\"" + QByteArray(1, char('B' + c)) + "6\"><v>" + QByteArray::number(numbers.at(c)) + "</v></c>";
    if (extra == "n")
        six += "<c r=\"G6\" s=\"1\"><v>4242</v></c>";
    if (extra == "t")
        six += "<c r=\"G6\" s=\"1\" t=\"inlineStr\"><is><t>невидимка</t></is></c>";
    rows += six + "</row>";
    const bool table = extra.contains("table");
    XlsxParts parts = minimalXlsx(cols + "<sheetData>" + rows + "</sheetData>" +
                                  (chart.isEmpty() ? QByteArray() : QByteArray("<drawing r:id=\"rIdD\"/>")) +
                                  (table ? QByteArray("<tableParts count=\"1\"><tablePart r:id=\"rIdT\"/></tableParts>")
                                         : QByteArray()));
    parts.insert("xl/styles.xml", "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\";;;\"/></numFmts>"
                                  "<fonts><font><sz val=\"11\"/></font></fonts><cellXfs><xf/><xf numFmtId=\"164\"/>"
                                  "</cellXfs></styleSheet>");
    if (!chart.isEmpty())
        addChart(parts, {"8", "0", "14", "10"}, chart);
    if (table) {
        parts["xl/worksheets/_rels/sheet1.xml.rels"].replace(
            "</Relationships>", "<Relationship Id=\"rIdT\" Type=\"t\" Target=\"../tables/table1.xml\"/></Relationships>");
        parts.insert("xl/tables/table1.xml",
                     "<table xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" id=\"1\" name=\"Таблица1\" "
                     "displayName=\"Таблица1\" ref=\"B1:B6\" totalsRowCount=\"1\"><autoFilter ref=\"B1:B5\"/>"
                     "<tableColumns count=\"1\"><tableColumn id=\"1\" name=\"Сумма\" totalsRowFunction=\"sum\"/>"
                     "</tableColumns></table>");
    }
    if (!workbook.isEmpty()) {
        parts.insert("xl/workbook.xml", workbook);
        parts["xl/_rels/workbook.xml.rels"].replace(
            "</Relationships>", "<Relationship Id=\"rId2\" Type=\"t\" Target=\"worksheets/sheet2.xml\"/></Relationships>");
        parts.insert("xl/worksheets/sheet2.xml", parts.value("xl/worksheets/sheet1.xml"));
    }
    const QString file = m_dir.filePath(QStringLiteral("hidden.xlsx"));
    QVERIFY(writeZip(file, parts));
    XlsxIWorkbook book = iReadWorkbook(file);
    QCOMPARE(book.reason, QString());
    QCOMPARE(int(book.sheets.size()), 1);
    const XlsxISheetInfo& sheet = book.sheets.front();
    if (!chart.isEmpty() && values.isEmpty()) {
        QCOMPARE(sheet.charts.size(), 0);
        QCOMPARE(book.chartsLeftOut, QStringList{sheet.name});
    } else if (!chart.isEmpty()) {
        QCOMPARE(sheet.charts.size(), 1);
        QList<double> drawn;
        for (const XlsxIChartSeries& s : sheet.charts.first().series)
            drawn += s.values;
        QCOMPARE(drawn, values);
    }
    const std::shared_ptr<const XlsxIStyles> styles(std::move(book.styles));
    // The preview gives the hidden row no room either.
    XlsxPreviewWidget preview;
    preview.setSheet(sheet.data.get(), styles.get(), sheet.charts);
    QCOMPARE(preview.rowY.at(3 - preview.firstRow), preview.rowY.at(4 - preview.firstRow));
    const XlsxPageRenderer renderer(book.sheets, styles, {});
    const QString pdf = m_dir.filePath(QStringLiteral("hidden.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    const QString text = pdfText(pdf);
    for (const QString& shown : printed)
        QVERIFY2(text.contains(shown), qPrintable(shown + " in\n" + text));
    for (const QString& hidden : absent)
        QVERIFY2(!text.contains(hidden), qPrintable(hidden + " in\n" + text));
}

QTEST_MAIN(TestXlsxHiddenContent)
#include "tst_xlsxhiddencontent.moc"
