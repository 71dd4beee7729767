#include "XlsxFixtures.h"
#include "XlsxPackage.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>

namespace {

const QString kNotWorkbook = QStringLiteral("Файл не является книгой XLSX.");
const QString kEncrypted = QStringLiteral("Книга зашифрована паролем.");
const QString kTooLarge = QStringLiteral("Книга слишком велика для импорта.");
QString damaged(const QString& part)
{
    return QStringLiteral("Часть книги повреждена: %1").arg(part);
}
QString tooMuchText(qint64 chars)
{
    return QStringLiteral("В книге больше %1 знаков текста: она слишком велика для импорта.")
        .arg(QLocale(QLocale::Russian).toString(chars));
}

// A field of /proc/self/status in KiB; -1 when it cannot be read.
qint64 statusKiB(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new high-water mark of resident memory at the current size,
// with memory freed earlier handed back first so that it cannot hide growth.
bool resetPeak()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}


const QByteArray kRelsHead = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";

QByteArray rels(const QList<std::pair<QByteArray, QByteArray>>& targets)
{
    QByteArray out = kRelsHead;
    for (const auto& [id, target] : targets)
        out += "<Relationship Id=\"" + id + "\" Type=\"t\" Target=\"" + target + "\"/>";
    return out + "</Relationships>";
}

QByteArray anchor(const QByteArray& kind, const QByteArray& id, int fromRow, int fromCol, int toRow, int toCol)
{
    QByteArray xml = "<xdr:" + kind + "><xdr:from><xdr:col>" + QByteArray::number(fromCol) + "</xdr:col><xdr:row>" +
                     QByteArray::number(fromRow) + "</xdr:row></xdr:from>";
    if (kind == "twoCellAnchor")
        xml += "<xdr:to><xdr:col>" + QByteArray::number(toCol) + "</xdr:col><xdr:row>" + QByteArray::number(toRow) +
               "</xdr:row></xdr:to>";
    if (!id.isEmpty())
        xml += "<xdr:graphicFrame><a:graphic><a:graphicData><c:chart r:id=\"" + id + "\"/></a:graphicData></a:graphic></xdr:graphicFrame>";
    return xml + "</xdr:" + kind + ">";
}

QByteArray drawing(const QByteArray& anchors)
{
    return "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" + anchors + "</xdr:wsDr>";
}

QByteArray chart(const QByteArray& kind)
{
    return "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea><c:" + kind +
           "/></c:plotArea></c:chart></c:chartSpace>";
}

} // namespace

class TestXlsxPackage : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void stringsThemeAndStyles();
    void sheetTargets_data();
    void sheetTargets();
    void charts();
    void chartAnchors_data();
    void chartAnchors();
    void badPackages_data();
    void badPackages();
    void sizes_data();
    void sizes();
    void defaultLimits();
    void hostileSheet();
    void textBudget_data();
    void textBudget();
    void textLimitOfEachPart_data();
    void textLimitOfEachPart();

private:
    QString write(const XlsxParts& parts)
    {
        const QString path = m_dir.filePath(QStringLiteral("book%1.xlsx").arg(++m_files));
        if (!writeZip(path, parts))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestXlsxPackage::stringsThemeAndStyles()
{
    XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\" s=\"1\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                                  "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c></row></sheetData>");
    parts.insert("xl/sharedStrings.xml",
                 "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><r><t>Ито</t></r><r><t xml:space=\"preserve\">го </t></r>"
                 "<rPh><t>ph</t></rPh></si><si/><si><t>last_x000D_</t></si><si><rPh><t>ФОН</t></rPh><t>после_x005F_x0009_</t></si></sst>");
    parts.insert("xl/theme/theme1.xml",
                 "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:themeElements><a:clrScheme>"
                 "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"101010\"/></a:dk1><a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>"
                 "<a:accent1><a:srgbClr val=\"FF8000\"/></a:accent1></a:clrScheme></a:themeElements></a:theme>");
    parts.insert("xl/styles.xml",
                 "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><fonts><font/><font><b/><color theme=\"1\"/></font>"
                 "<font><color theme=\"4\"/></font></fonts><fills><fill><patternFill patternType=\"solid\">"
                 "<fgColor theme=\"0\" tint=\"-0.1499984740745262\"/></patternFill></fill></fills>"
                 "<cellXfs><xf/><xf fontId=\"1\" fillId=\"0\" applyFont=\"1\"/></cellXfs></styleSheet>");
    const XlsxIWorkbook book = iReadWorkbook(write(parts));
    QCOMPARE(book.reason, QString());
    QCOMPARE(int(book.sheets.size()), 1);
    const auto& row = book.sheets.front().data->cells.value(1);
    // Phonetic runs are a reading guide shown only on request: not the text.
    QCOMPARE(row.value(0).text, QStringLiteral("Итого "));
    QCOMPARE(row.value(1).text, QString());
    QCOMPARE(row.value(2).text, QStringLiteral("last\r"));
    QCOMPARE(row.value(3).text, QStringLiteral("после_x0009_"));
    QCOMPARE(book.styles->fonts.at(1).color.name(), QStringLiteral("#101010"));
    QCOMPARE(book.styles->fonts.at(2).color.name(), QStringLiteral("#ff8000"));
    QCOMPARE(book.styles->fills.at(0).color.name(), QStringLiteral("#d9d9d9"));
}

void TestXlsxPackage::sheetTargets_data()
{
    QTest::addColumn<QByteArray>("workbook");
    QTest::addColumn<QByteArray>("relationships");
    QTest::addColumn<QStringList>("sheets");
    QTest::addColumn<QString>("reason");

    const QByteArray two = "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
                           "<sheet name=\"Один\" r:id=\"rId1\"/><sheet name=\"Два\" r:id=\"rId2\"/></sheets></workbook>";
    QTest::newRow("relative") << two << rels({{"rId1", "worksheets/sheet1.xml"}, {"rId2", "worksheets/sheet2.xml"}})
                              << QStringList{"Один", "Два"} << QString();
    QTest::newRow("absolute") << two << rels({{"rId1", "/xl/worksheets/sheet1.xml"}, {"rId2", "./worksheets/../worksheets/sheet2.xml"}})
                              << QStringList{"Один", "Два"} << QString();
    QTest::newRow("second target missing") << two << rels({{"rId1", "worksheets/sheet1.xml"}}) << QStringList{"Один"}
                                           << damaged("xl/_rels/workbook.xml.rels");
    QTest::newRow("second part missing") << two << rels({{"rId1", "worksheets/sheet1.xml"}, {"rId2", "worksheets/sheet9.xml"}})
                                         << QStringList{"Один"} << damaged("xl/worksheets/sheet9.xml");
    QTest::newRow("id under another prefix")
        << QByteArray("<workbook xmlns:q=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
                      "<sheet name=\"Q\" q:id=\"rId2\"/></sheets></workbook>")
        << rels({{"rId2", "worksheets/sheet2.xml"}}) << QStringList{"Q"} << QString();
    QTest::newRow("no sheets") << QByteArray("<workbook/>") << rels({}) << QStringList{} << damaged("xl/workbook.xml");
    // Hidden sheets are neither previewed nor printed.
    QTest::newRow("hidden and very hidden")
        << QByteArray("<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
                      "<sheet name=\"Скрыт\" state=\"hidden\" r:id=\"rId1\"/><sheet name=\"Два\" state=\"visible\" r:id=\"rId2\"/>"
                      "<sheet name=\"Очень\" state=\"veryHidden\" r:id=\"rId2\"/></sheets></workbook>")
        << rels({{"rId1", "worksheets/sheet1.xml"}, {"rId2", "worksheets/sheet2.xml"}}) << QStringList{"Два"} << QString();
    // A part listed again is read once: listed thousands of times it would cost as often.
    QTest::newRow("one part listed twice")
        << QByteArray("<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
                      "<sheet name=\"Один\" r:id=\"rId1\"/><sheet name=\"Копия\" r:id=\"rId2\"/></sheets></workbook>")
        << rels({{"rId1", "worksheets/sheet1.xml"}, {"rId2", "worksheets/../worksheets/sheet1.xml"}})
        << QStringList{"Один"} << damaged("xl/workbook.xml");
    QTest::newRow("no relationships part") << two << QByteArray() << QStringList{} << damaged("xl/_rels/workbook.xml.rels");
}

void TestXlsxPackage::sheetTargets()
{
    QFETCH(QByteArray, workbook);
    QFETCH(QByteArray, relationships);
    QFETCH(QStringList, sheets);
    QFETCH(QString, reason);
    XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>");
    parts.insert("xl/worksheets/sheet2.xml", worksheetXml("<sheetData/>"));
    parts.insert("xl/workbook.xml", workbook);
    if (relationships.isEmpty())
        parts.remove("xl/_rels/workbook.xml.rels");
    else
        parts.insert("xl/_rels/workbook.xml.rels", relationships);
    const XlsxIWorkbook book = iReadWorkbook(write(parts));
    QStringList names;
    for (const XlsxISheetInfo& sheet : book.sheets) {
        QVERIFY(sheet.data);
        names.append(sheet.name);
    }
    QCOMPARE(names, sheets);
    QCOMPARE(book.reason, reason);
    QVERIFY(book.styles);
}

void TestXlsxPackage::charts()
{
    XlsxParts parts = minimalXlsx("<sheetData/><drawing r:id=\"rIdD\"/><drawing r:id=\"rIdOther\"/>");
    parts.insert("xl/worksheets/_rels/sheet1.xml.rels",
                 rels({{"rIdD", "../drawings/drawing1.xml"}, {"rIdOther", "../drawings/drawing2.xml"}}));
    parts.insert("xl/drawings/drawing1.xml",
                 drawing(anchor("twoCellAnchor", "rC1", 2, 1, 12, 7) +
                         QByteArray(anchor("oneCellAnchor", "rC2", 3, 4, 99, 99))
                             .replace("</xdr:from>", "</xdr:from><xdr:ext cx=\"609600\" cy=\"381000\"/>") +
                         anchor("twoCellAnchor", "", 1, 1, 2, 2) + anchor("twoCellAnchor", "rC3", 5, 5, 6, 6) +
                         "<xdr:absoluteAnchor><xdr:graphicFrame><c:chart r:id=\"rC1\"/></xdr:graphicFrame></xdr:absoluteAnchor>"));
    parts.insert("xl/drawings/drawing2.xml", drawing(anchor("twoCellAnchor", "rC1", 0, 0, 1, 1)));
    parts.insert("xl/drawings/_rels/drawing1.xml.rels",
                 rels({{"rC1", "../charts/./chart1.xml"}, {"rC2", "/xl/charts/chart2.xml"}, {"rC3", "../charts/missing.xml"}}));
    parts.insert("xl/charts/chart1.xml", chart("pieChart"));
    parts.insert("xl/charts/chart2.xml", chart("areaChart"));
    const XlsxIWorkbook book = iReadWorkbook(write(parts));
    QCOMPARE(book.reason, damaged("xl/charts/missing.xml"));
    const QList<XlsxIChart>& charts = book.sheets.front().charts;
    QCOMPARE(charts.size(), 3);
    QCOMPARE(charts.at(0).type, XlsxIChart::Pie);
    QCOMPARE((QList<int>{charts.at(0).fromRow, charts.at(0).fromCol, charts.at(0).toRow, charts.at(0).toCol}),
             (QList<int>{2, 1, 12, 7}));
    QCOMPARE(charts.at(1).type, XlsxIChart::Area);
    QCOMPARE((QList<int>{charts.at(1).fromRow, charts.at(1).fromCol, charts.at(1).toRow, charts.at(1).toCol}),
             (QList<int>{3, 4, 5, 5}));
    QCOMPARE(charts.at(2).type, XlsxIChart::NoChart);
    QCOMPARE(charts.at(2).fromRow, 5);
}

// Charts placed by one cell and an extent, a position and an extent, two
// cells and in groups, over a sheet of default columns (64 pixels, 609,600
// EMU) and rows (15 points, 190,500 EMU): the cells each covers as a
// two-cell anchor would give them, or none where the sheet shows nothing.
void TestXlsxPackage::chartAnchors_data()
{
    QTest::addColumn<QByteArray>("sheet");   // before the sheet data: columns; with hidden ones, rows 3 to 5 hidden
    QTest::addColumn<QByteArray>("anchors"); // of charts "rC"
    QTest::addColumn<QList<int>>("cells");   // from row, from column, to row, to column of each chart read

    constexpr qint64 kColumn = 609600;
    constexpr qint64 kRow = 190500;
    const auto number = [](qint64 n) { return QByteArray::number(n); };
    const auto marker = [&](const char* tag, int col, int row, qint64 colOff = 0, qint64 rowOff = 0) {
        return "<xdr:" + QByteArray(tag) + "><xdr:col>" + number(col) + "</xdr:col><xdr:colOff>" + number(colOff) +
               "</xdr:colOff><xdr:row>" + number(row) + "</xdr:row><xdr:rowOff>" + number(rowOff) +
               "</xdr:rowOff></xdr:" + tag + ">";
    };
    const QByteArray frame = "<xdr:graphicFrame><a:graphic><a:graphicData><c:chart r:id=\"rC\"/></a:graphicData>"
                             "</a:graphic></xdr:graphicFrame><xdr:clientData/>";
    const auto extent = [&](const QByteArray& cx, const QByteArray& cy) {
        return "<xdr:ext cx=\"" + cx + "\" cy=\"" + cy + "\"/>";
    };
    const auto oneCell = [&](int col, int row, const QByteArray& ext, qint64 colOff = 0) {
        return "<xdr:oneCellAnchor>" + marker("from", col, row, colOff) + ext + frame + "</xdr:oneCellAnchor>";
    };
    const auto absolute = [&](const QByteArray& pos, const QByteArray& ext) {
        return "<xdr:absoluteAnchor>" + pos + ext + frame + "</xdr:absoluteAnchor>";
    };
    const auto twoCell = [&](const QByteArray& from, const QByteArray& to, const QByteArray& body = QByteArray()) {
        return "<xdr:twoCellAnchor>" + from + to + (body.isEmpty() ? frame : body + "<xdr:clientData/>") +
               "</xdr:twoCellAnchor>";
    };
    const QByteArray wide = number(5 * kColumn + kColumn / 2);
    const QByteArray high = number(10 * kRow + kRow / 2);
    const QByteArray position = "<xdr:pos x=\"" + number(3 * kColumn) + "\" y=\"" + number(kRow) + "\"/>";
    const QList<int> d2ToI12{1, 3, 11, 8};

    QTest::newRow("cell and extent") << QByteArray() << oneCell(3, 1, extent(wide, high)) << d2ToI12;
    QTest::newRow("position and extent") << QByteArray() << absolute(position, extent(wide, high)) << d2ToI12;
    // An extent ending on an edge reaches the next cell, as a two-cell anchor's does.
    QTest::newRow("extent to an edge") << QByteArray() << oneCell(3, 1, extent(number(5 * kColumn), number(10 * kRow)))
                                       << d2ToI12;
    QTest::newRow("offset into its cell") << QByteArray() << oneCell(3, 1, extent(number(kColumn), high), kColumn / 2)
                                          << QList<int>{1, 3, 11, 4};
    // Columns of 19.14 characters are 134 pixels wide for Calibri 11.
    QTest::newRow("wider columns") << QByteArray("<cols><col min=\"4\" max=\"6\" width=\"19.140625\"/></cols>")
                                   << oneCell(3, 1, extent(wide, high)) << QList<int>{1, 3, 11, 5};
    // Rows 3 to 5 and columns E and F hidden take no room: the extent goes on past them.
    const QByteArray hiding = "<cols><col min=\"5\" max=\"6\" hidden=\"1\"/></cols>";
    QTest::newRow("over hidden rows and columns") << hiding << oneCell(3, 1, extent(wide, high))
                                                  << QList<int>{1, 3, 14, 10};
    QTest::newRow("position in hidden rows")
        << hiding
        << absolute("<xdr:pos x=\"0\" y=\"" + number(2 * kRow) + "\"/>", extent(number(kColumn), number(3 * kRow)))
        << QList<int>{5, 0, 8, 1};
    // A spreadsheet collapses a two-cell anchor over hidden rows or columns alone.
    QTest::newRow("two cells over hidden rows") << hiding << twoCell(marker("from", 0, 2), marker("to", 2, 5))
                                                << QList<int>{};
    QTest::newRow("two cells into a shown row") << hiding << twoCell(marker("from", 0, 2), marker("to", 2, 5, 0, 1000))
                                                << QList<int>{2, 0, 5, 2};
    QTest::newRow("two cells over hidden columns") << hiding << twoCell(marker("from", 4, 0), marker("to", 6, 3))
                                                   << QList<int>{};
    QTest::newRow("two cells into a shown column") << hiding << twoCell(marker("from", 4, 0), marker("to", 6, 3, 1))
                                                   << QList<int>{0, 4, 3, 6};
    // What shows nothing is left out; lengths past the sheet end at its last cell.
    QTest::newRow("no extent") << QByteArray() << oneCell(3, 1, QByteArray()) << QList<int>{};
    QTest::newRow("extent of nothing") << QByteArray() << oneCell(3, 1, extent("0", high)) << QList<int>{};
    QTest::newRow("negative extent") << QByteArray() << absolute(position, extent(wide, "-190500")) << QList<int>{};
    QTest::newRow("extent no integer") << QByteArray() << oneCell(3, 1, extent("1e30", high)) << QList<int>{};
    QTest::newRow("no position") << QByteArray() << absolute(QByteArray(), extent(wide, high)) << QList<int>{};
    QTest::newRow("extent past the sheet")
        << QByteArray() << oneCell(3, 1, extent("9223372036854775807", "99999999999999999"))
        << QList<int>{1, 3, 1048575, 16383};
    QTest::newRow("position past the sheet")
        << QByteArray() << absolute("<xdr:pos x=\"9223372036854775807\" y=\"-5\"/>", extent(wide, high))
        << QList<int>{0, 16383, 10, 16383};
    // Charts in a group take their parts of the group's box, which fills the anchor.
    const auto graphic = [](const char* off, const char* ext) {
        return "<xdr:graphicFrame><xdr:nvGraphicFramePr><xdr:cNvPr id=\"2\" name=\"Диаграмма\"><a:extLst>"
               "<a:ext uri=\"{FF2B5EF4-FFF2-40B4-BE49-F238E27FC236}\"/></a:extLst></xdr:cNvPr></xdr:nvGraphicFramePr>"
               "<xdr:xfrm><a:off " + QByteArray(off) + "/><a:ext " + ext + "/></xdr:xfrm><a:graphic><a:graphicData>"
               "<c:chart r:id=\"rC\"/></a:graphicData></a:graphic></xdr:graphicFrame>";
    };
    const auto group = [](const char* xfrm, const QByteArray& children) {
        return "<xdr:grpSp><xdr:nvGrpSpPr><xdr:cNvPr id=\"9\" name=\"Группа\"/></xdr:nvGrpSpPr><xdr:grpSpPr><a:xfrm>" +
               QByteArray(xfrm) + "</a:xfrm></xdr:grpSpPr>" + children + "</xdr:grpSp>";
    };
    QTest::newRow("two charts in a group")
        << QByteArray()
        << twoCell(marker("from", 1, 1), marker("to", 13, 15),
                   group("<a:off x=\"5000\" y=\"7000\"/><a:ext cx=\"1200\" cy=\"1400\"/>"
                         "<a:chOff x=\"5000\" y=\"7000\"/><a:chExt cx=\"1200\" cy=\"1400\"/>",
                         graphic("x=\"5000\" y=\"7000\"", "cx=\"600\" cy=\"1400\"") +
                             graphic("x=\"5600\" y=\"7000\"", "cx=\"600\" cy=\"1400\"")))
        << QList<int>{1, 1, 15, 7, 1, 7, 15, 13};
    QTest::newRow("chart in a group in a group")
        << QByteArray()
        << twoCell(marker("from", 0, 0), marker("to", 10, 10),
                   group("<a:off x=\"0\" y=\"0\"/><a:ext cx=\"1000\" cy=\"1000\"/><a:chOff x=\"0\" y=\"0\"/>"
                         "<a:chExt cx=\"1000\" cy=\"1000\"/>",
                         group("<a:off x=\"500\" y=\"0\"/><a:ext cx=\"500\" cy=\"1000\"/><a:chOff x=\"0\" y=\"0\"/>"
                               "<a:chExt cx=\"100\" cy=\"100\"/>",
                               graphic("x=\"0\" y=\"0\"", "cx=\"100\" cy=\"50\""))))
        << QList<int>{0, 5, 5, 10};
    QTest::newRow("group in a one-cell anchor")
        << QByteArray()
        << "<xdr:oneCellAnchor>" + marker("from", 3, 1) + extent(wide, high) +
               group("<a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/><a:chOff x=\"0\" y=\"0\"/>"
                     "<a:chExt cx=\"0\" cy=\"0\"/>",
                     graphic("x=\"0\" y=\"0\"", "cx=\"0\" cy=\"0\"")) +
               "<xdr:clientData/></xdr:oneCellAnchor>"
        << d2ToI12;
}

void TestXlsxPackage::chartAnchors()
{
    QFETCH(QByteArray, sheet);
    QFETCH(QByteArray, anchors);
    QFETCH(QList<int>, cells);
    QByteArray rows;
    for (int r = 3; r <= 5; ++r)
        rows += "<row r=\"" + QByteArray::number(r) + "\" hidden=\"1\"/>";
    if (!sheet.contains("hidden"))
        rows.clear();
    XlsxParts parts = minimalXlsx(sheet + "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row>" + rows +
                                  "</sheetData><drawing r:id=\"rIdD\"/>");
    parts.insert("xl/styles.xml", "<styleSheet><fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
                                  "<cellXfs><xf/></cellXfs></styleSheet>");
    parts.insert("xl/worksheets/_rels/sheet1.xml.rels", rels({{"rIdD", "../drawings/drawing1.xml"}}));
    parts.insert("xl/drawings/drawing1.xml", drawing(anchors));
    parts.insert("xl/drawings/_rels/drawing1.xml.rels", rels({{"rC", "../charts/chart1.xml"}}));
    parts.insert("xl/charts/chart1.xml", chart("barChart"));
    const XlsxIWorkbook book = iReadWorkbook(write(parts));
    QCOMPARE(book.reason, QString());
    QList<int> read;
    for (const XlsxIChart& c : book.sheets.front().charts) {
        QCOMPARE(c.type, XlsxIChart::Bar);
        read << c.fromRow << c.fromCol << c.toRow << c.toCol;
    }
    QCOMPARE(read, cells);
}

void TestXlsxPackage::badPackages_data()
{
    QTest::addColumn<QByteArray>("file"); // raw bytes, or empty to write the parts below
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("sheets");

    QByteArray compound("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8);
    compound += QByteArray(4096, '\0');
    QTest::newRow("empty file") << QByteArray("") << QStringList{} << kNotWorkbook << 0;
    QTest::newRow("not a zip") << QByteArray("Name,Amount\nA,1\n") << QStringList{} << kNotWorkbook << 0;
    QTest::newRow("encrypted") << compound << QStringList{} << kEncrypted << 0;
    QTest::newRow("no workbook") << QByteArray() << QStringList{"xl/workbook.xml"} << kNotWorkbook << 0;
    QTest::newRow("no worksheet") << QByteArray() << QStringList{"xl/worksheets/sheet1.xml"}
                                  << damaged("xl/worksheets/sheet1.xml") << 0;
    QTest::newRow("no styles, strings or theme")
        << QByteArray() << QStringList{"xl/styles.xml", "xl/sharedStrings.xml", "xl/theme/theme1.xml"} << QString() << 1;
}

void TestXlsxPackage::badPackages()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, removed);
    QFETCH(QString, reason);
    QFETCH(int, sheets);
    QString path = m_dir.filePath(QStringLiteral("raw.xlsx"));
    if (file.isNull()) {
        XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>");
        parts.insert("xl/styles.xml", "<styleSheet><cellXfs><xf/></cellXfs></styleSheet>");
        parts.insert("xl/sharedStrings.xml", "<sst><si><t>x</t></si></sst>");
        for (const QString& name : removed)
            parts.remove(name);
        path = write(parts);
    } else {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(file);
    }
    const XlsxIWorkbook book = iReadWorkbook(path);
    QCOMPARE(book.reason, reason);
    QCOMPARE(int(book.sheets.size()), sheets);
    QCOMPARE(bool(book.styles), reason != kNotWorkbook && reason != kEncrypted);
    QVERIFY(!iReadWorkbook(m_dir.filePath("absent.xlsx")).reason.isEmpty());
}

void TestXlsxPackage::sizes_data()
{
    QTest::addColumn<qint64>("declared"); // stated size of the sheet; -1: the real one
    QTest::addColumn<qint64>("bomb");     // spaces inflated in a deflated styles part
    QTest::addColumn<bool>("bombLies");   // its stated size is 100 bytes
    QTest::addColumn<qint64>("total");    // package budget
    QTest::addColumn<qint64>("items");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("hiddenCells"); // of a hidden sheet a chart plots; 0: none

    const qint64 big = qint64(1) << 30;
    const qint64 none = 0;
    QTest::newRow("fits") << qint64(-1) << none << false << big << qint64(1000) << QString() << 0;
    QTest::newRow("stated over the entry cap") << qint64(5 << 20) << none << false << big << qint64(1000) << kTooLarge << 0;
    QTest::newRow("stated small, inflates past the cap")
        << qint64(-1) << qint64(3 << 20) << true << big << qint64(1000) << damaged("xl/styles.xml") << 0;
    QTest::newRow("stated smaller than the content")
        << qint64(10) << none << false << big << qint64(1000) << damaged("xl/worksheets/sheet1.xml") << 0;
    QTest::newRow("stated larger than the content")
        << qint64(100000) << none << false << big << qint64(1000) << damaged("xl/worksheets/sheet1.xml") << 0;
    QTest::newRow("package total") << qint64(-1) << qint64(600 << 10) << false << qint64(512 << 10) << qint64(1000)
                                   << kTooLarge << 0;
    QTest::newRow("too many cells") << qint64(-1) << none << false << big << qint64(2) << kTooLarge << 0;
    // A hidden sheet is read for its hidden rows only: one past the budget is
    // left out, and the sheets shown are imported.
    QTest::newRow("hidden sheet within") << qint64(-1) << none << false << big << qint64(1000) << QString() << 10;
    QTest::newRow("hidden sheet past the items left") << qint64(-1) << none << false << big << qint64(1000) << QString()
                                                      << 5000;
}

void TestXlsxPackage::sizes()
{
    QFETCH(qint64, declared);
    QFETCH(qint64, bomb);
    QFETCH(bool, bombLies);
    QFETCH(qint64, total);
    QFETCH(qint64, items);
    QFETCH(QString, reason);
    QFETCH(int, hiddenCells);
    XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><v>2</v></c>"
                                  "<c r=\"C1\"><v>3</v></c></row></sheetData>" +
                                  QByteArray(hiddenCells > 0 ? "<drawing r:id=\"rIdD\"/>" : ""));
    if (hiddenCells > 0) {
        QByteArray rows;
        for (int r = 1; r <= hiddenCells; ++r)
            rows += "<row r=\"" + QByteArray::number(r) + "\"" + (r == 2 ? " hidden=\"1\"" : "") + "><c><v>" +
                    QByteArray::number(r) + "</v></c></row>";
        parts.insert("xl/worksheets/sheet2.xml", worksheetXml("<sheetData>" + rows + "</sheetData>"));
        parts.insert("xl/workbook.xml", "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                                        "relationships\"><sheets><sheet name=\"S\" r:id=\"rId1\"/><sheet name=\"Д\" "
                                        "state=\"hidden\" r:id=\"rId2\"/></sheets></workbook>");
        parts.insert("xl/_rels/workbook.xml.rels", rels({{"rId1", "worksheets/sheet1.xml"}, {"rId2", "worksheets/sheet2.xml"}}));
        addChart(parts, {"0", "2", "4", "9"},
                 "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea>"
                 "<c:lineChart><c:ser><c:val><c:numRef><c:f>Д!$A$1:$A$3</c:f><c:numCache><c:pt idx=\"0\"><c:v>1</c:v>"
                 "</c:pt><c:pt idx=\"1\"><c:v>2</c:v></c:pt><c:pt idx=\"2\"><c:v>3</c:v></c:pt></c:numCache></c:numRef>"
                 "</c:val></c:ser></c:lineChart></c:plotArea></c:chart></c:chartSpace>");
    }
    QMap<QString, qint64> stated;
    if (declared >= 0)
        stated.insert("xl/worksheets/sheet1.xml", declared);
    const QString path = m_dir.filePath("sizes.xlsx");
    if (bombLies)
        stated.insert("xl/styles.xml", 100);
    QVERIFY(writeRawZip(path, parts, stated, bomb > 0 ? "xl/styles.xml" : "", bomb));
    XlsxIBudget budget;
    budget.entryBytes = 1 << 20;
    budget.bytesLeft = total;
    budget.itemsLeft = items;
    const XlsxIWorkbook book = iReadWorkbook(path, budget);
    QCOMPARE(book.reason, reason);
    QVERIFY(book.styles);
    if (hiddenCells > 0) {
        QCOMPARE(int(book.sheets.size()), 1);
        // Read, the hidden sheet's hidden row 2 leaves the chart; left out, it stays.
        const QList<double> values = hiddenCells * 2 < items ? QList<double>{1, 3} : QList<double>{1, 2, 3};
        QCOMPARE(book.sheets.front().charts.first().series.first().values, values);
    }
}

// A 2 GiB bomb lying about its size, too many entries, an overlong text.
void TestXlsxPackage::defaultLimits()
{
    const QString path = m_dir.filePath("limits.xlsx");
    QVERIFY(writeRawZip(path, minimalXlsx("<sheetData/>"), {{"xl/sharedStrings.xml", 1000}}, "xl/sharedStrings.xml",
                        qint64(2) << 30));
    XlsxIWorkbook book = iReadWorkbook(path);
    QCOMPARE(book.reason, damaged("xl/sharedStrings.xml"));
    QCOMPARE(int(book.sheets.size()), 1);

    XlsxParts parts = minimalXlsx("<sheetData/>");
    for (int i = 0; i < 10001; ++i)
        parts.insert(QStringLiteral("x/%1").arg(i), "<x/>");
    QVERIFY(writeRawZip(path, parts));
    QCOMPARE(iReadWorkbook(path).reason, kTooLarge);

    QVERIFY(writeRawZip(path, minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>"), {},
                        "xl/sharedStrings.xml", 3 << 20, "<sst><si><t>x", "y</t></si></sst>"));
    book = iReadWorkbook(path);
    QCOMPARE(book.reason, QString());
    const QString text = book.sheets.front().data->cells.value(1).value(0).text;
    QCOMPARE(text.size(), 32767);
    QVERIFY(text.startsWith(u"x  "));
}

void TestXlsxPackage::hostileSheet()
{
    XlsxParts parts = minimalXlsx("<cols><col min=\"1\" max=\"2147483647\" width=\"20\"/></cols><sheetData>"
                                  "<row r=\"99999999999\"><c r=\"A1\"><v>1</v></c></row>"
                                  "<row r=\"2\"><c r=\"XFE1\"><v>2</v></c><c r=\"ABCDEFGHIJKLMNOPQRST2\"><v>3</v></c>"
                                  "<c r=\"B2\" t=\"s\"><v>7</v></c><c r=\"C2\"><v>nan</v></c></row>"
                                  "<row><c><v>4</v></c></row><row><c><v>5</v></c></row></sheetData>"
                                  "<mergeCells><mergeCell ref=\"A1:XFD1048576\"/></mergeCells>");
    parts.insert("xl/_rels/workbook.xml.rels", rels({{"rId1", "/xl/worksheets/sheet1.xml"}}));
    const XlsxIWorkbook book = iReadWorkbook(write(parts));
    QCOMPARE(book.reason, QString());
    const XlsxISheetData& sheet = *book.sheets.front().data;
    QCOMPARE(sheet.colWidths.size(), 16384);
    QCOMPARE(sheet.cells.keys(), (QList<int>{2, 3, 4}));
    QCOMPARE(sheet.cells.value(2).keys(), (QList<int>{1, 2}));
    QCOMPARE(sheet.merges.size(), 1);
}

void TestXlsxPackage::textBudget_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("textChars"); // 0: the default limit
    QTest::addColumn<int>("sheets");       // read before the limit, the last one in part
    QTest::addColumn<int>("peakMiB");      // most the resident memory may grow

    // 40,000 cells of nine references to a 4,096-character entity: 1.5
    // billion characters from a few kilobytes. The kept text may reach
    // 128 MB of UTF-16; the rest is one inflated part and the parser.
    QTest::newRow("entity references in cells") << "entity cells" << qint64(0) << 1 << 200;
    // A lower limit keeps the next rows quick; the text still outgrows it.
    QTest::newRow("entity references in shared strings") << "entity strings" << qint64(8'000'000) << 0 << 40;
    // Eight sheets of 1.2 million characters of plain inline text each.
    QTest::newRow("inline text over eight sheets") << "inline" << qint64(8'000'000) << 7 << 40;
}

void TestXlsxPackage::textBudget()
{
    QFETCH(QString, kind);
    QFETCH(qint64, textChars);
    QFETCH(int, sheets);
    QFETCH(int, peakMiB);
    XlsxParts parts;
    if (kind.startsWith("entity")) {
        const QByteArray dtd = "<!DOCTYPE x [<!ENTITY e \"" + QByteArray(4096, 'x') + "\">]>";
        const QByteArray nine = QByteArray("&e;").repeated(9);
        if (kind == "entity cells") {
            parts = minimalXlsx("<sheetData>" + ("<row><c t=\"str\"><v>" + nine + "</v></c></row>").repeated(40000) +
                                "</sheetData>");
            parts.insert("xl/worksheets/sheet1.xml", dtd + parts.value("xl/worksheets/sheet1.xml"));
        } else {
            QByteArray rows;
            for (int i = 0; i < 40000; ++i)
                rows += "<row r=\"" + QByteArray::number(i + 1) + "\"><c r=\"A" + QByteArray::number(i + 1) +
                        "\" t=\"s\"><v>" + QByteArray::number(i) + "</v></c></row>";
            parts = minimalXlsx("<sheetData>" + rows + "</sheetData>");
            parts.insert("xl/sharedStrings.xml", dtd + "<sst>" + ("<si><t>" + nine + "</t></si>").repeated(40000) + "</sst>");
        }
    } else {
        parts = minimalXlsx("<sheetData>" +
                            ("<row><c t=\"inlineStr\"><is><t>" + QByteArray(30000, 'a') + "</t></is></c></row>").repeated(40) +
                            "</sheetData>");
        QByteArray sheets, targets;
        for (int i = 1; i <= 8; ++i) {
            const QByteArray n = QByteArray::number(i);
            sheets += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
            targets += "<Relationship Id=\"rId" + n + "\" Type=\"t\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        }
        for (int i = 2; i <= 8; ++i)
            parts.insert("xl/worksheets/sheet" + QString::number(i) + ".xml", parts.value("xl/worksheets/sheet1.xml"));
        parts.insert("xl/workbook.xml",
                     "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" + sheets +
                         "</sheets></workbook>");
        parts.insert("xl/_rels/workbook.xml.rels", kRelsHead + targets + "</Relationships>");
    }
    const QString path = write(parts);
    QVERIFY(QFileInfo(path).size() < 1 << 20);
    parts.clear();

    XlsxIBudget budget;
    if (textChars > 0)
        budget.textChars = textChars;
    QVERIFY(resetPeak());
    const qint64 before = statusKiB("VmRSS");
    const XlsxIWorkbook book = iReadWorkbook(path, budget);
    const qint64 grown = (statusKiB("VmHWM") - before) / 1024;
    QVERIFY(before > 0);
    QCOMPARE(book.reason, tooMuchText(budget.textChars));
    QCOMPARE(int(book.sheets.size()), sheets);
    QVERIFY2(grown < peakMiB, qPrintable(QStringLiteral("resident memory grew by %1 MiB").arg(grown)));
}

void TestXlsxPackage::textLimitOfEachPart_data()
{
    QTest::addColumn<QByteArray>("part");
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("refused");

    const QByteArray words = QByteArray("word ").repeated(30);
    QTest::newRow("shared strings") << QByteArray("xl/sharedStrings.xml")
                                    << "<sst>" + ("<si><t>" + words + "</t></si>").repeated(10) + "</sst>" << true;
    QTest::newRow("shared strings within") << QByteArray("xl/sharedStrings.xml")
                                           << "<sst>" + ("<si><t>" + words + "</t></si>").repeated(5) + "</sst>" << false;
    QTest::newRow("number texts") << QByteArray("xl/worksheets/sheet1.xml")
                                  << worksheetXml("<sheetData><row r=\"1\">" +
                                                  QByteArray("<c><v>1.00000000000000000000000000000</v></c>").repeated(40) +
                                                  "</row></sheetData>")
                                  << true;
    QTest::newRow("format codes") << QByteArray("xl/styles.xml")
                                  << "<styleSheet><numFmts>" + ("<numFmt numFmtId=\"1\" formatCode=\"" + words + "\"/>").repeated(10) +
                                         "</numFmts></styleSheet>"
                                  << true;
    QTest::newRow("sheet names") << QByteArray("xl/workbook.xml")
                                 << "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" +
                                        ("<sheet name=\"" + words + "\" r:id=\"rId1\"/>").repeated(10) + "</sheets></workbook>"
                                 << true;
}

// A lowered limit on kept text: each part's text counts, and what is
// within the limit is read.
void TestXlsxPackage::textLimitOfEachPart()
{
    QFETCH(QByteArray, part);
    QFETCH(QByteArray, xml);
    QFETCH(bool, refused);
    XlsxParts parts = minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>");
    parts.insert(QString::fromLatin1(part), xml);
    XlsxIBudget budget;
    budget.textChars = 1000;
    const XlsxIWorkbook book = iReadWorkbook(write(parts), budget);
    QCOMPARE(book.reason, refused ? tooMuchText(1000) : QString());
    QVERIFY(book.styles);
}

QTEST_GUILESS_MAIN(TestXlsxPackage)
#include "tst_xlsxpackage.moc"
