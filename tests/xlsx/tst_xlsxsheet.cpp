#include "XlsxChartReader.h"
#include "XlsxIBudget.h"
#include "XlsxSheetReader.h"

#include <QTest>

namespace {

QByteArray sheetXml(const QByteArray& body)
{
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
           body + "</worksheet>";
}

// "row,column:text" per cell, "#number" for numbers and "@style" for a style.
QString describeCells(const XlsxISheetData& sheet)
{
    QStringList out;
    for (auto row = sheet.cells.cbegin(); row != sheet.cells.cend(); ++row) {
        for (auto cell = row->cbegin(); cell != row->cend(); ++cell) {
            QString entry = QStringLiteral("%1,%2:%3").arg(row.key()).arg(cell.key()).arg(cell->text);
            if (cell->isNumber)
                entry += u'#' + QString::number(cell->number);
            if (cell->style != 0)
                entry += u'@' + QString::number(cell->style);
            out.append(entry);
        }
    }
    return out.join(u' ');
}

QByteArray chartXml(const QByteArray& plot)
{
    return "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><c:chart><c:plotArea>" +
           plot + "</c:plotArea></c:chart></c:chartSpace>";
}

QByteArray series(const QByteArray& categories, const QByteArray& values)
{
    return "<c:ser><c:tx><c:strRef><c:strCache><c:pt idx=\"0\"><c:v>Name</c:v></c:pt></c:strCache></c:strRef></c:tx>"
           "<c:cat><c:strRef><c:strCache>" + categories + "</c:strCache></c:strRef></c:cat>"
           "<c:val><c:numRef><c:numCache>" + values + "</c:numCache></c:numRef></c:val></c:ser>";
}

QByteArray point(int index, const QByteArray& text)
{
    return "<c:pt idx=\"" + QByteArray::number(index) + "\"><c:v>" + text + "</c:v></c:pt>";
}

} // namespace

class TestXlsxSheet : public QObject {
    Q_OBJECT
private slots:
    void cells_data();
    void cells();
    void columnWidths_data();
    void columnWidths();
    void rowHeights_data();
    void rowHeights();
    void merges_data();
    void merges();
    void mergeSets_data();
    void mergeSets();
    void hiddenRowsAndColumns();
    void formulasWithoutResult_data();
    void formulasWithoutResult();
    void firstDrawingOnly();
    void brokenXmlKeepsWhatWasRead();
    void cellsCountAgainstBudget();
    void kinds_data();
    void kinds();
    void seriesWithGaps();
    void oddIndices();
    void titles_data();
    void titles();
    void cutDropsOpenSeries();
};

void TestXlsxSheet::cells_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("cells");

    QTest::newRow("row from row element") << QByteArray("<row r=\"7\"><c r=\"B3\" t=\"s\"><v>0</v></c></row>") << "7,1:zero";
    QTest::newRow("booleans") << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"b\"><v>1</v></c><c r=\"B1\" t=\"b\"><v>0</v></c>"
                                            "<c r=\"C1\" t=\"b\"><v>true</v></c></row>")
                              << "1,0:TRUE 1,1:FALSE 1,2:FALSE";
    QTest::newRow("error") << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"e\"><v>#DIV/0!</v></c></row>") << "1,0:#DIV/0!";
    QTest::newRow("number keeps text") << QByteArray("<row r=\"1\"><c r=\"A1\" s=\"2\"><v>1.500</v></c></row>")
                                       << "1,0:1.500#1.5@2";
    QTest::newRow("locale-free number") << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"n\"><v>1,5</v></c>"
                                                      "<c r=\"B1\"><v> 2.5E3 </v></c></row>")
                                        << "1,0:1,5 1,1: 2.5E3 #2500";
    QTest::newRow("iso date text") << QByteArray("<row r=\"1\"><c r=\"A1\"><v>2023-03-15</v></c></row>") << "1,0:2023-03-15";
    // A date cell names its day in ISO 8601: read as the serial day from 30 December 1899.
    const auto dates = [](const QList<QByteArray>& texts) {
        QByteArray row = "<row r=\"1\">";
        for (int i = 0; i < texts.size(); ++i)
            row += "<c r=\"" + QByteArray(1, char('A' + i)) + "1\" t=\"d\"><v>" + texts.at(i) + "</v></c>";
        return row + "</row>";
    };
    // Told in UTC as LibreOffice tells it, a fraction of a second dropped; a
    // zone's minutes count ("+05:30": 06:30 UTC).
    QTest::newRow("iso date cells")
        << dates({"2023-03-15", " 2023-03-15T12:00:00Z ", "2023-03-15T24:00:00", "2023-03-15T06:00:00.5+03:00",
                  "1899-12-30T18:00:00", "1899-12-30T12:00:00+05:30", "1899-12-30T23:59:59.999"})
        << "1,0:2023-03-15#45000 1,1: 2023-03-15T12:00:00Z #45000.5 1,2:2023-03-15T24:00:00#45001 "
           "1,3:2023-03-15T06:00:00.5+03:00#45000.1 1,4:1899-12-30T18:00:00#0.75 "
           "1,5:1899-12-30T12:00:00+05:30#0.270833 1,6:1899-12-30T23:59:59.999#0.999988";
    QTest::newRow("iso times alone stay text") << dates({"06:00:00", "T18:00", "12:00:00,5"})
                                               << "1,0:06:00:00 1,1:T18:00 1,2:12:00:00,5";
    QTest::newRow("iso texts naming no day")
        << dates({"2023-02-30", "вчера", "2023-03-15T", "2023-3-5", "20230315", "2023-03-15T25:00",
                  "2023-03-15T12:60", "2023-03-15 12:30", "-001-01-01", "0000-01-01", "2023-03-15T12:30:00+3", "",
                  "2023-03-15T12:30", "2023-03-15T12:30:00+0300", "2023-03-15T12:30:00+14:01",
                  "2023-03-15T24:00:00.5", "2023-03-15T12:30:00."})
        << "1,0:2023-02-30 1,1:вчера 1,2:2023-03-15T 1,3:2023-3-5 1,4:20230315 1,5:2023-03-15T25:00 "
           "1,6:2023-03-15T12:60 1,7:2023-03-15 12:30 1,8:-001-01-01 1,9:0000-01-01 1,10:2023-03-15T12:30:00+3 1,11: "
           "1,12:2023-03-15T12:30 1,13:2023-03-15T12:30:00+0300 1,14:2023-03-15T12:30:00+14:01 "
           "1,15:2023-03-15T24:00:00.5 1,16:2023-03-15T12:30:00.";
    QTest::newRow("self-closing") << QByteArray("<row r=\"1\"><c r=\"A1\" s=\"3\"/><c r=\"B1\" s=\"x\"/></row>")
                                  << "1,0:@3 1,1:";
    QTest::newRow("inline rich text") << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><t>ab</t></r>"
                                                    "<r><t xml:space=\"preserve\"> c</t></r></is></c></row>")
                                      << "1,0:ab c";
    // Phonetic runs are a reading guide, not the text; a "t" after them still is.
    QTest::newRow("inline phonetic runs")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Итого за квартал</t><rPh sb=\"0\" eb=\"2\">"
                      "<t>ФОНЕТИКА</t></rPh><phoneticPr fontId=\"1\"/></is></c><c r=\"B1\" t=\"inlineStr\"><is>"
                      "<rPh><t>ФОН</t></rPh><r><t>a</t></r><r><t>b</t></r></is></c></row>")
        << "1,0:Итого за квартал 1,1:ab";
    QTest::newRow("formula string") << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"str\"><f>A2</f><v>hi</v></c></row>") << "1,0:hi";
    // Characters written as their codes, "_x005F_" a literal "_"; a number cell keeps its text.
    QTest::newRow("escaped characters")
        << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><r><t>Первая_x000D_</t></r><r><t xml:space=\"preserve\">"
                      " строка</t></r></is></c><c r=\"B1\" t=\"str\"><f>A2</f><v>Таб_x0009_улятор</v></c><c r=\"C1\" "
                      "t=\"inlineStr\"><is><t>Литерал_x005F_x000D_конец_x00e9__x12_</t></is></c><c r=\"D1\"><v>_x0041_</v></c>"
                      "</row>")
        << QStringLiteral("1,0:Первая\r строка 1,1:Таб\tулятор 1,2:Литерал_x000D_конец\u00e9_x12_ 1,3:_x0041_");
    QTest::newRow("bad shared indices") << QByteArray("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>2</v></c><c r=\"B1\" t=\"s\"><v>-1</v></c>"
                                                      "<c r=\"C1\" t=\"s\"><v>x</v></c><c r=\"D1\" t=\"s\"><v>1</v></c></row>")
                                        << "1,0: 1,1: 1,2: 1,3:one";
    QTest::newRow("lower-case reference") << QByteArray("<row r=\"1\"><c r=\"ab1\"><v>1</v></c></row>") << "1,27:1#1";
    QTest::newRow("rows without r follow") << QByteArray("<row><c r=\"A1\"><v>1</v></c></row><row><c><v>2</v></c><c><v>3</v></c></row>"
                                                         "<row r=\"9\"/><row><c r=\"B5\"><v>4</v></c></row>")
                                           << "1,0:1#1 2,0:2#2 2,1:3#3 10,1:4#4";
    QTest::newRow("cells without r follow") << QByteArray("<row r=\"4\"><c r=\"C4\"><v>1</v></c><c><v>2</v></c></row>")
                                            << "4,2:1#1 4,3:2#2";
    QTest::newRow("rows below 1 stay 1") << QByteArray("<row r=\"0\"><c r=\"A1\"><v>1</v></c></row><row r=\"-3\"><c r=\"B1\"><v>2</v></c></row>"
                                                       "<row r=\"x\"><c r=\"C1\"><v>3</v></c></row>")
                                         << "1,0:1#1 1,1:2#2 1,2:3#3";
    QTest::newRow("cell before any row") << QByteArray("<c r=\"A1\"><v>1</v></c>") << "1,0:1#1";
    QTest::newRow("rows past the sheet") << QByteArray("<row r=\"99999999999\"><c r=\"A1\"><v>1</v></c></row><row><c r=\"A1\"><v>2</v></c></row>"
                                                       "<row r=\"1048576\"><c r=\"A1\"><v>3</v></c></row><row><c r=\"A1\"><v>4</v></c></row>")
                                         << "1048576,0:3#3";
    QTest::newRow("columns past the sheet") << QByteArray("<row r=\"1\"><c r=\"XFD1\"><v>1</v></c><c r=\"XFE1\"><v>2</v></c><c><v>3</v></c>"
                                                          "<c r=\"ABCDEFGHIJKLMNOPQRST1\"><v>4</v></c><c r=\"\u042F1\"><v>5</v></c>"
                                                          "<c r=\"12\"><v>6</v></c></row>")
                                            << "1,16383:1#1";
    QTest::newRow("nan value") << QByteArray("<row r=\"1\"><c r=\"A1\"><v>nan</v></c></row>") << "1,0:nan#nan";
    const QByteArray maxDouble = QByteArray::number(1.7976931348623157e308, 'f', 6);
    QTest::newRow("largest double written out") << "<row r=\"1\"><c r=\"A1\"><v>" + maxDouble + "</v></c></row>"
                                                << "1,0:" + QString::fromLatin1(maxDouble) + "#1.79769e+308";
    const QByteArray overlong = "1." + QByteArray(400, '0');
    QTest::newRow("number longer than a double is text") << "<row r=\"1\"><c r=\"A1\"><v>" + overlong + "</v></c></row>"
                                                         << "1,0:" + QString::fromLatin1(overlong);
    QTest::newRow("later cell replaces") << QByteArray("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"A1\"><v>2</v></c></row>") << "1,0:2#2";
}

void TestXlsxSheet::cells()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, cells);
    const QList<QString> strings = {QStringLiteral("zero"), QStringLiteral("one")};
    XlsxIBudget budget;
    const auto sheet = iParseSheet(sheetXml("<sheetData>" + data + "</sheetData>"), strings, &budget);
    QCOMPARE(describeCells(*sheet), cells);
    QVERIFY(!budget.damaged && !budget.tooLarge);
}

void TestXlsxSheet::columnWidths_data()
{
    QTest::addColumn<QByteArray>("cols");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("width");

    QTest::newRow("zero width") << QByteArray("<col min=\"2\" max=\"4\" width=\"0\"/>") << 3 << 1 << 3 << 8.43;
    QTest::newRow("negative width") << QByteArray("<col min=\"1\" max=\"1\" width=\"-4\"/>") << 1 << 0 << 0 << 8.43;
    QTest::newRow("nan width") << QByteArray("<col min=\"1\" max=\"1\" width=\"nan\"/>") << 1 << 0 << 0 << 8.43;
    QTest::newRow("whole sheet, wide") << QByteArray("<col min=\"1\" max=\"2147483647\" width=\"300\"/>") << 16384 << 0 << 16383 << 255.0;
    QTest::newRow("overflowing max") << QByteArray("<col min=\"16380\" max=\"99999999999999999999\" width=\"3\"/>") << 5 << 16379 << 16383 << 3.0;
    QTest::newRow("reversed") << QByteArray("<col min=\"5\" max=\"3\" width=\"2\"/>") << 3 << 2 << 4 << 2.0;
    QTest::newRow("outside") << QByteArray("<col min=\"0\" max=\"0\" width=\"2\"/><col min=\"20000\" max=\"30000\"/>") << 0 << 0 << 0 << 0.0;
    QTest::newRow("later overwrites") << QByteArray("<col min=\"1\" max=\"2\" width=\"5\"/><col min=\"2\" max=\"2\" width=\"6\"/>") << 2 << 0 << 1 << 6.0;
}

void TestXlsxSheet::columnWidths()
{
    QFETCH(QByteArray, cols);
    QFETCH(int, count);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(double, width);
    const auto sheet = iParseSheet(sheetXml("<cols>" + cols + "</cols>"), {});
    QCOMPARE(sheet->colWidths.size(), count);
    if (count > 0) {
        QCOMPARE(sheet->colWidths.firstKey(), first);
        QCOMPARE(sheet->colWidths.lastKey(), last);
        QCOMPARE(sheet->colWidths.value(last), width);
    }
}

void TestXlsxSheet::rowHeights_data()
{
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QList<int>>("heightRows");
    QTest::addColumn<QList<double>>("heights");
    QTest::addColumn<QList<int>>("hidden");

    // Heights that are no number, or a negative one, would hide their row as 0.
    QTest::newRow("mixed") << QByteArray("<row r=\"1\" ht=\"12.8\"/><row ht=\"500\"/><row ht=\"-1\"/><row ht=\"x\"/>"
                                         "<row r=\"6\"/><row r=\"2000000\" ht=\"20\"/>")
                           << QList<int>{1, 2} << QList<double>{12.8, 409.0} << QList<int>{};
    QTest::newRow("nan") << QByteArray("<row r=\"1\" ht=\"nan\"/><row r=\"2\" ht=\"NaN\"/><row r=\"3\" ht=\"15\"/>")
                         << QList<int>{3} << QList<double>{15.0} << QList<int>{};
    QTest::newRow("infinity") << QByteArray("<row r=\"1\" ht=\"inf\"/><row r=\"2\" ht=\"-inf\"/><row r=\"3\" ht=\"1e999\"/>")
                              << QList<int>{} << QList<double>{} << QList<int>{};
    // A row 0 high is hidden, with its own height or the writer's fit.
    QTest::newRow("zero hides") << QByteArray("<row r=\"3\" ht=\"0\" customHeight=\"1\"/><row r=\"4\" ht=\"0\"/>"
                                              "<row r=\"5\" ht=\" 7.5 \"/><row r=\"6\" ht=\"0.0\" hidden=\"1\"/>")
                                << QList<int>{3, 4, 5, 6} << QList<double>{0.0, 0.0, 7.5, 0.0} << QList<int>{3, 4, 6};
    QTest::newRow("overlong number") << "<row r=\"1\" ht=\"1" + QByteArray(400, '0') + "\"/>" << QList<int>{}
                                     << QList<double>{} << QList<int>{};
}

void TestXlsxSheet::rowHeights()
{
    QFETCH(QByteArray, rows);
    QFETCH(QList<int>, heightRows);
    QFETCH(QList<double>, heights);
    QFETCH(QList<int>, hidden);
    const auto sheet = iParseSheet(sheetXml("<sheetData>" + rows + "</sheetData>"), {});
    QCOMPARE(sheet->rowHeights.keys(), heightRows);
    QCOMPARE(sheet->rowHeights.values(), heights);
    QCOMPARE(sheet->hiddenRows, QSet<int>(hidden.cbegin(), hidden.cend()));
}

void TestXlsxSheet::merges_data()
{
    QTest::addColumn<QString>("ref");
    QTest::addColumn<QList<int>>("merge"); // first row, first column, last row, last column; empty: none

    QTest::newRow("range") << "B2:D4" << QList<int>{2, 1, 4, 3};
    QTest::newRow("reversed") << "D4:B2" << QList<int>{2, 1, 4, 3};
    QTest::newRow("no colon") << "A1" << QList<int>{};
    QTest::newRow("leading colon") << ":A1" << QList<int>{};
    QTest::newRow("whole sheet") << "A1:XFD1048576" << QList<int>{1, 0, 1048576, 16383};
    QTest::newRow("overflowing corner clipped") << "A1:ZZZZZZZZZZZZZZZZZZZZ99999999999999999999" << QList<int>{1, 0, 1048576, 16383};
    QTest::newRow("outside the sheet") << "XFE1:XFF2" << QList<int>{};
    QTest::newRow("no letters") << "1:2" << QList<int>{};
}

void TestXlsxSheet::merges()
{
    QFETCH(QString, ref);
    QFETCH(QList<int>, merge);
    const auto sheet = iParseSheet(sheetXml("<mergeCells><mergeCell ref=\"" + ref.toUtf8() + "\"/></mergeCells>"), {});
    QCOMPARE(sheet->merges.size(), merge.isEmpty() ? 0 : 1);
    if (!merge.isEmpty()) {
        const XlsxIMerge& m = sheet->merges.first();
        QCOMPARE((QList<int>{m.firstRow, m.firstCol, m.lastRow, m.lastCol}), merge);
    }
}

// Several ranges: copies and ranges that overlap one kept before them (in
// the order of their top rows) go; single cells merge nothing.
void TestXlsxSheet::mergeSets_data()
{
    QTest::addColumn<QByteArray>("refs");
    QTest::addColumn<QString>("kept");

    QTest::newRow("copies") << QByteArray("A1:B2 A1:B2 A1:B2") << "A1:B2";
    QTest::newRow("overlap with an earlier one") << QByteArray("A1:B3 B2:C4") << "A1:B3";
    QTest::newRow("overlap with a later top row") << QByteArray("B2:C4 A1:B3") << "A1:B3";
    QTest::newRow("touching, not overlapping") << QByteArray("A1:B2 C1:D2 A3:D3") << "A1:B2 C1:D2 A3:D3";
    QTest::newRow("nested") << QByteArray("A1:D9 B2:C3") << "A1:D9";
    QTest::newRow("one cell") << QByteArray("C3:C3 A1:B1") << "A1:B1";
    QTest::newRow("closed before the next") << QByteArray("A1:A5 A6:B6 B1:B5") << "A1:A5 B1:B5 A6:B6";
    QTest::newRow("tall one beside many") << QByteArray("A1:A100 B1:C1 B2:C2 A50:B50") << "A1:A100 B1:C1 B2:C2";
}

void TestXlsxSheet::mergeSets()
{
    QFETCH(QByteArray, refs);
    QFETCH(QString, kept);
    QByteArray cells;
    for (const QByteArray& ref : refs.split(' '))
        cells += "<mergeCell ref=\"" + ref + "\"/>";
    const auto sheet = iParseSheet(sheetXml("<mergeCells>" + cells + "</mergeCells>"), {});
    QStringList got;
    const auto name = [](int row, int col) { return QString(QChar(u'A' + col)) + QString::number(row); };
    for (const XlsxIMerge& m : sheet->merges)
        got << name(m.firstRow, m.firstCol) + u':' + name(m.lastRow, m.lastCol);
    got.sort();
    QStringList expected = kept.split(u' ');
    expected.sort();
    QCOMPARE(got, expected);
}

void TestXlsxSheet::hiddenRowsAndColumns()
{
    const auto sheet = iParseSheet(sheetXml("<cols><col min=\"2\" max=\"3\" width=\"5\" hidden=\"1\"/>"
                                            "<col min=\"4\" max=\"4\" hidden=\"0\"/><col min=\"6\" max=\"6\" hidden=\"true\"/></cols>"
                                            "<sheetData><row r=\"2\" hidden=\"1\"><c r=\"A2\"><v>1</v></c></row>"
                                            "<row r=\"3\" hidden=\"false\"/><row r=\"4\" hidden=\"true\" ht=\"20\"/>"
                                            "<row r=\"99999999\" hidden=\"1\"/></sheetData>"),
                                   {});
    QCOMPARE(sheet->hiddenCols, (QSet<int>{1, 2, 5}));
    QCOMPARE(sheet->hiddenRows, (QSet<int>{2, 4}));
    QCOMPARE(sheet->colWidths.value(1), 5.0); // the width stays for when it is shown
    QCOMPARE(sheet->cells.value(2).value(0).number, 1.0);
}

void TestXlsxSheet::formulasWithoutResult_data()
{
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<int>("count");

    QTest::newRow("no value") << QByteArray("<c r=\"A1\"><f>SUM(B1:B9)</f></c>") << 1;
    QTest::newRow("empty value") << QByteArray("<c r=\"A1\"><f>B1</f><v></v></c>") << 1;
    QTest::newRow("saved result") << QByteArray("<c r=\"A1\"><f>B1</f><v>3</v></c>") << 0;
    QTest::newRow("string result") << QByteArray("<c r=\"A1\" t=\"str\"><f>B1</f><v>x</v></c>") << 0;
    QTest::newRow("no formula") << QByteArray("<c r=\"A1\"/><c r=\"B1\"><v>2</v></c>") << 0;
    QTest::newRow("shared formula cells") << QByteArray("<c r=\"A1\"><f t=\"shared\" si=\"0\">B1</f></c>"
                                                        "<c r=\"A2\"><f t=\"shared\" si=\"0\"/></c>")
                                          << 2;
}

void TestXlsxSheet::formulasWithoutResult()
{
    QFETCH(QByteArray, row);
    QFETCH(int, count);
    const auto sheet = iParseSheet(sheetXml("<sheetData><row r=\"1\">" + row + "</row></sheetData>"), {});
    QCOMPARE(sheet->formulasWithoutValue, count);
}

void TestXlsxSheet::firstDrawingOnly()
{
    QString id;
    iParseSheet(sheetXml("<sheetData/><drawing r:id=\"rId7\"/><drawing r:id=\"rId8\"/>"), {}, nullptr, &id);
    QCOMPARE(id, QStringLiteral("rId7"));
    iParseSheet("<worksheet xmlns:q=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                "<drawing q:id=\"rId3\"/></worksheet>",
                {}, nullptr, &id);
    QCOMPARE(id, QStringLiteral("rId3"));
}

void TestXlsxSheet::brokenXmlKeepsWhatWasRead()
{
    const QByteArray xml = sheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</v></c></row>"
                                    "</sheetData><mergeCells><mergeCell ref=\"A1:B1\"/></mergeCells>");
    XlsxIBudget budget;
    const auto sheet = iParseSheet(xml.left(xml.indexOf("<row r=\"2\">") + 12), {}, &budget);
    QCOMPARE(describeCells(*sheet), QStringLiteral("1,0:1#1"));
    QVERIFY(budget.damaged);

    XlsxIBudget deep;
    const auto nested = iParseSheet(QByteArray("<a>").repeated(100000), {}, &deep);
    QVERIFY(deep.damaged);
    QVERIFY(nested->cells.isEmpty());

    QByteArray laughs = "<!DOCTYPE worksheet [<!ENTITY a0 \"hahahahaha\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY a" + QByteArray::number(i) + " \"" + QByteArray("&a" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    laughs += "]>" + sheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" t=\"str\"><v>&a9;</v></c></row></sheetData>");
    XlsxIBudget expanded;
    const auto bomb = iParseSheet(laughs, {}, &expanded);
    QVERIFY(expanded.damaged);
    QCOMPARE(describeCells(*bomb), QStringLiteral("1,0:1#1"));
}

void TestXlsxSheet::cellsCountAgainstBudget()
{
    XlsxIBudget budget;
    budget.itemsLeft = 3;
    const auto sheet = iParseSheet(sheetXml("<sheetData><row r=\"1\"><c r=\"A1\"/><c r=\"A1\"/><c r=\"B1\"/><c r=\"C1\"/>"
                                            "<c r=\"D1\"/></row></sheetData>"),
                                   {}, &budget);
    QCOMPARE(describeCells(*sheet), QStringLiteral("1,0: 1,1: 1,2:"));
    QVERIFY(budget.tooLarge);
}

void TestXlsxSheet::kinds_data()
{
    QTest::addColumn<QByteArray>("plot");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("seriesCount");
    QTest::addColumn<int>("firstValues"); // values of the first series

    const QByteArray one = series(point(0, "a"), point(0, "1"));
    QTest::newRow("column") << "<c:barChart><c:barDir val=\"col\"/>" + one + "</c:barChart>" << int(XlsxIChart::Bar) << 1 << 1;
    QTest::newRow("bar") << "<c:barChart><c:barDir val=\"bar\"/>" + one + "</c:barChart>" << int(XlsxIChart::BarHorizontal) << 1 << 1;
    QTest::newRow("3-D bar") << QByteArray("<c:bar3DChart><c:barDir val=\"bar\"/></c:bar3DChart>") << int(XlsxIChart::BarHorizontal) << 0 << 0;
    QTest::newRow("line 3-D") << "<c:line3DChart>" + one + "</c:line3DChart>" << int(XlsxIChart::Line) << 1 << 1;
    QTest::newRow("pie") << "<c:pieChart>" + one + "</c:pieChart>" << int(XlsxIChart::Pie) << 1 << 1;
    QTest::newRow("area") << QByteArray("<c:areaChart/>") << int(XlsxIChart::Area) << 0 << 0;
    QTest::newRow("scatter") << "<c:scatterChart><c:ser><c:xVal>" + point(0, "1") + "</c:xVal></c:ser></c:scatterChart>"
                             << int(XlsxIChart::Line) << 1 << 0;
    QTest::newRow("doughnut") << "<c:doughnutChart>" + one + "</c:doughnutChart>" << int(XlsxIChart::NoChart) << 1 << 1;
    QTest::newRow("combined, first wins") << "<c:barChart>" + one + "</c:barChart><c:lineChart>" + one + "</c:lineChart>"
                                          << int(XlsxIChart::Bar) << 2 << 1;
    QTest::newRow("empty") << QByteArray() << int(XlsxIChart::NoChart) << 0 << 0;
    // A series unticked in the chart's filter stays in the plot's extension list, not drawn.
    const auto filtered = [&one](const QByteArray& kind, const QByteArray& list, bool shownFirst = true) {
        const QByteArray hidden =
            "<c:extLst><c:ext uri=\"{02D57815-91ED-43cb-92C2-25804820EDAC}\" "
            "xmlns:c15=\"http://schemas.microsoft.com/office/drawing/2012/chart\"><c15:" + list + ">" +
            series(point(0, "a") + point(1, "b"), point(0, "7771") + point(1, "7772"))
                .replace("<c:ser>", "<c15:ser>")
                .replace("</c:ser>", "</c15:ser>") +
            "</c15:" + list + "></c:ext></c:extLst>";
        return "<c:" + kind + ">" + (shownFirst ? one + hidden : hidden + one) + "</c:" + kind + ">";
    };
    QTest::newRow("bar, filtered series") << filtered("barChart", "filteredBarSeries") << int(XlsxIChart::Bar) << 1 << 1;
    QTest::newRow("line, filtered series") << filtered("lineChart", "filteredLineSeries") << int(XlsxIChart::Line) << 1
                                           << 1;
    QTest::newRow("pie, filtered series") << filtered("pieChart", "filteredPieSeries") << int(XlsxIChart::Pie) << 1 << 1;
    QTest::newRow("filtered series before the shown one")
        << filtered("areaChart", "filteredAreaSeries", false)
        << int(XlsxIChart::Area) << 1 << 1;
}

void TestXlsxSheet::kinds()
{
    QFETCH(QByteArray, plot);
    QFETCH(int, type);
    QFETCH(int, seriesCount);
    QFETCH(int, firstValues);
    const XlsxIChart chart = iParseChart(plot.isEmpty() ? QByteArray() : chartXml(plot));
    QCOMPARE(int(chart.type), type);
    QCOMPARE(chart.series.size(), seriesCount);
    QCOMPARE(chart.fromRow + chart.fromCol + chart.toRow + chart.toCol, 0);
    QCOMPARE(chart.series.isEmpty() ? 0 : chart.series.first().values.size(), firstValues);
}

void TestXlsxSheet::seriesWithGaps()
{
    const XlsxIChart chart = iParseChart(chartXml(
        "<c:lineChart>" + series(point(0, "Jan") + point(2, " Mar "), point(0, "1.5") + point(2, " 3 ") + point(3, "x")) +
        "</c:lineChart>"));
    QCOMPARE(chart.series.size(), 1);
    const XlsxIChartSeries& s = chart.series.first();
    // Gaps are not padded: a series is never longer than its cached points.
    QCOMPARE(s.categories, (QList<QString>{"Jan", " Mar "}));
    QCOMPARE(s.values, (QList<double>{1.5, 3.0, 0.0}));
    QVERIFY(s.name.isEmpty());

    // One cached point at the last row index is one value, not a million.
    XlsxIBudget budget;
    const XlsxIChart far = iParseChart(
        chartXml("<c:lineChart>" + series(point(1048575, "z"), point(1048575, "7") + point(3, "1")) + "</c:lineChart>"),
        &budget);
    QCOMPARE(far.series.first().values, (QList<double>{1.0, 7.0}));
    QCOMPARE(far.series.first().categories, QList<QString>{"z"});
    QVERIFY(!budget.tooLarge);
}

void TestXlsxSheet::oddIndices()
{
    XlsxIBudget budget;
    const XlsxIChart chart = iParseChart(
        chartXml("<c:barChart>" + series(point(-1, "neg") + point(1, "b"), point(2000000000, "9") + point(1, "2")) +
                 "</c:barChart>"),
        &budget);
    QCOMPARE(chart.series.first().categories, QList<QString>{"b"});
    QCOMPARE(chart.series.first().values, (QList<double>{2.0, 9.0}));
    QVERIFY(!budget.tooLarge);

    // An index that is no number names no point; read as 0 it would
    // overwrite the first one.
    auto at = [](const QByteArray& idx, const QByteArray& text) {
        return "<c:pt idx=\"" + idx + "\"><c:v>" + text + "</c:v></c:pt>";
    };
    const XlsxIChart named = iParseChart(chartXml(
        "<c:barChart>" +
        series(point(0, "a") + at("x", "bad") + at("", "none") + at("1.5", "half") + at(" 1 ", "b"),
               point(0, "1") + at("abc", "9") + at("1e1", "8") + at("99999999999", "7") + point(1, "2")) +
        "</c:barChart>"));
    QCOMPARE(named.series.first().categories, (QList<QString>{"a", "b"}));
    QCOMPARE(named.series.first().values, (QList<double>{1.0, 2.0}));

    // Every kept point counts against the budget.
    XlsxIBudget small;
    small.itemsLeft = 100;
    QByteArray many;
    for (int i = 0; i < 150; ++i)
        many += point(i * 7, "1");
    iParseChart(chartXml("<c:barChart>" + series({}, many) + "</c:barChart>"), &small);
    QVERIFY(small.tooLarge);
}

void TestXlsxSheet::titles_data()
{
    QTest::addColumn<QByteArray>("title"); // the chart element's own title
    QTest::addColumn<QByteArray>("plot");
    QTest::addColumn<QString>("expected");

    auto rich = [](const QByteArray& runs) { return "<c:title><c:tx><c:rich><a:p>" + runs + "</a:p></c:rich></c:tx></c:title>"; };
    auto run = [](const QByteArray& text) { return "<a:r><a:t>" + text + "</a:t></a:r>"; };
    const QByteArray axes = "<c:barChart/><c:valAx>" + rich(run("Y")) + "</c:valAx><c:catAx><c:title><c:tx><c:strRef>"
                            "<c:f>Sheet1!$A$1</c:f><c:strCache>" + point(0, "X") +
                            "</c:strCache></c:strRef></c:tx></c:title></c:catAx>";
    QTest::newRow("runs joined, axis titles left out") << rich(run(" Total ") + run("Sales\n")) << axes << "TotalSales";
    QTest::newRow("axis titles only") << QByteArray() << axes << "";
    QTest::newRow("from a cell: its value, not the reference")
        << "<c:title><c:tx><c:strRef><c:f>'Лист 1'!$B$1</c:f><c:strCache>" + point(0, "Выручка") +
               "</c:strCache></c:strRef></c:tx></c:title>"
        << QByteArray("<c:lineChart/>") << "Выручка";
    QTest::newRow("title inside the plot is no chart title") << QByteArray() << rich(run("Inner")) + "<c:pieChart/>" << "";
}

void TestXlsxSheet::titles()
{
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, plot);
    QFETCH(QString, expected);
    const XlsxIChart chart = iParseChart("<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
                                         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><c:chart>" +
                                         title + "<c:autoTitleDeleted val=\"0\"/><c:plotArea>" + plot +
                                         "</c:plotArea></c:chart></c:chartSpace>");
    QCOMPARE(chart.title, expected);
}

void TestXlsxSheet::cutDropsOpenSeries()
{
    const QByteArray xml = chartXml("<c:pieChart>" + series(point(0, "a"), point(0, "1")) + series(point(0, "b"), point(0, "2")) +
                                    "</c:pieChart>");
    XlsxIBudget budget;
    const XlsxIChart chart = iParseChart(xml.left(xml.lastIndexOf("<c:ser>") + 40), &budget);
    QCOMPARE(chart.type, XlsxIChart::Pie);
    QCOMPARE(chart.series.size(), 1);
    QVERIFY(budget.damaged);
}

QTEST_GUILESS_MAIN(TestXlsxSheet)
#include "tst_xlsxsheet.moc"
