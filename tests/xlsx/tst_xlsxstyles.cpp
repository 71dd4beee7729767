#include "XlsxIBudget.h"
#include "XlsxNumberFormat.h"
#include "XlsxPackage.h"
#include "XlsxStylesReader.h"

#include <QTest>
#include <QXmlStreamReader>

#include <limits>
#include <tuple>

namespace {

QList<QColor> defaultTheme()
{
    return iParseTheme(QByteArray());
}

QByteArray stylesXml(const QByteArray& body)
{
    return "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + body + "</styleSheet>";
}

QColor lightnessScaled(const QColor& colour, double lightness)
{
    float h, s, l, a;
    colour.getHslF(&h, &s, &l, &a);
    return QColor::fromHslF(h > 0 ? h : 0, s, float(lightness), a);
}

} // namespace

class TestXlsxStyles : public QObject {
    Q_OBJECT
private slots:
    void colours_data();
    void colours();
    void theme_data();
    void theme();
    void fonts();
    void fillsAndBorders();
    void cellFormats();
    void formatCodeLengths_data();
    void formatCodeLengths();
    void cutTailKeepsEntries();
    void entriesCountAgainstBudget();
    void formats_data();
    void formats();
    void displayText_data();
    void displayText();
    void times_data();
    void times();
};

void TestXlsxStyles::colours_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QColor>("expected");

    const QColor accent1(0x4472c4);
    QTest::newRow("rgb 6") << "rgb=\"1F2E3D\"" << QColor(0x1f2e3d);
    QTest::newRow("rgb 8 drops alpha") << "rgb=\"801F2E3D\"" << QColor(0x1f2e3d);
    QTest::newRow("rgb 5") << "rgb=\"1F2E3\"" << QColor();
    QTest::newRow("rgb not hex") << "rgb=\"FFZZ00\"" << QColor();
    QTest::newRow("rgb wins, tint ignored") << "rgb=\"FF0000\" theme=\"4\" tint=\"0.5\"" << QColor(0xff0000);
    QTest::newRow("indexed 0") << "indexed=\"0\"" << QColor(Qt::black);
    QTest::newRow("indexed 10") << "indexed=\"10\"" << QColor(0xff0000);
    QTest::newRow("indexed 63") << "indexed=\"63\"" << QColor(0x333333);
    QTest::newRow("indexed 64 system") << "indexed=\"64\"" << QColor(Qt::black);
    QTest::newRow("indexed -1") << "indexed=\"-1\"" << QColor(Qt::black);
    QTest::newRow("theme 0 is lt1") << "theme=\"0\"" << QColor(0xffffff);
    QTest::newRow("theme 1 is dk1") << "theme=\"1\"" << QColor(Qt::black);
    QTest::newRow("theme 2 is lt2") << "theme=\"2\"" << QColor(0xe7e6e6);
    QTest::newRow("theme 3 is dk2") << "theme=\"3\"" << QColor(0x44546a);
    QTest::newRow("theme 4 is accent1") << "theme=\"4\"" << accent1;
    QTest::newRow("theme 12 black") << "theme=\"12\"" << QColor(Qt::black);
    QTest::newRow("background darker 15%") << "theme=\"0\" tint=\"-0.1499984740745262\"" << QColor(0xd9d9d9);
    QTest::newRow("tint 0.5 halfway to white") << "theme=\"4\" tint=\"0.5\""
                                               << lightnessScaled(accent1, accent1.lightnessF() * 0.5 + 0.5);
    QTest::newRow("tint -0.25") << "theme=\"4\" tint=\"-0.25\"" << lightnessScaled(accent1, accent1.lightnessF() * 0.75);
    QTest::newRow("tint 0.0005 ignored") << "theme=\"4\" tint=\"0.0005\"" << accent1;
    QTest::newRow("tint nan ignored") << "theme=\"4\" tint=\"nan\"" << accent1;
    QTest::newRow("tint beyond 1 is white") << "theme=\"1\" tint=\"inf\"" << QColor(0xffffff);
    QTest::newRow("auto") << "auto=\"1\"" << QColor();
}

void TestXlsxStyles::colours()
{
    QFETCH(QString, attributes);
    QFETCH(QColor, expected);
    QXmlStreamReader reader(QStringLiteral("<color %1/>").arg(attributes));
    reader.readNextStartElement();
    const QColor colour = iResolveColor(reader.attributes(), defaultTheme());
    QCOMPARE(colour.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(colour.name(), expected.name());
}

void TestXlsxStyles::theme_data()
{
    QTest::addColumn<QByteArray>("scheme");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("lastClr before val") << QByteArray("<a:dk1><a:sysClr val=\"123456\" lastClr=\"0A0B0C\"/></a:dk1>") << 0
                                        << QColor(0x0a0b0c);
    QTest::newRow("val") << QByteArray("<a:accent2><a:srgbClr val=\"ABCDEF\"/></a:accent2>") << 5 << QColor(0xabcdef);
    QTest::newRow("8 characters lose alpha") << QByteArray("<a:lt2><a:srgbClr val=\"FF112233\"/></a:lt2>") << 3
                                             << QColor(0x112233);
    QTest::newRow("other length keeps default") << QByteArray("<a:hlink><a:srgbClr val=\"123\"/></a:hlink>") << 10
                                                << QColor(0x0563c1);
    QTest::newRow("no child keeps default") << QByteArray("<a:folHlink></a:folHlink>") << 11 << QColor(0x954f72);
    QTest::newRow("missing dk2 keeps default") << QByteArray("<a:dk1><a:srgbClr val=\"111111\"/></a:dk1>") << 2
                                               << QColor(0x44546a);
}

void TestXlsxStyles::theme()
{
    QFETCH(QByteArray, scheme);
    QFETCH(int, slot);
    QFETCH(QColor, expected);
    const QList<QColor> colours =
        iParseTheme("<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:clrScheme>" + scheme +
                    "</a:clrScheme></a:theme>");
    QCOMPARE(colours.size(), 12);
    QCOMPARE(colours.at(slot).name(), expected.name());
}

void TestXlsxStyles::fonts()
{
    const auto styles = iParseStyles(stylesXml("<fonts>"
                                               "<font><b/><i val=\"1\"/><u/><sz val=\"14\"/><color theme=\"1\"/></font>"
                                               "<font><b val=\"0\"/><i val=\"0\"/><u val=\"double\"/><sz val=\"0\"/></font>"
                                               "<font><u val=\"single\"/><sz val=\"1e9\"/><color auto=\"1\"/></font>"
                                               // LibreOffice writes the words.
                                               "<font><b val=\"false\"/><i val=\"true\"/></font>"
                                               "</fonts><dxfs><dxf><font><b/></font></dxf></dxfs>"),
                                     defaultTheme());
    QCOMPARE(styles->fonts.size(), 4);
    const XlsxIFont& first = styles->fonts.at(0);
    QVERIFY(first.bold && first.italic && first.underline && first.hasColor);
    QCOMPARE(first.size, 14.0);
    QCOMPARE(first.color.name(), QStringLiteral("#000000"));
    const XlsxIFont& second = styles->fonts.at(1);
    QVERIFY(!second.bold && !second.italic && !second.underline && !second.hasColor);
    QCOMPARE(second.size, 11.0);
    const XlsxIFont& third = styles->fonts.at(2);
    QVERIFY(third.underline && !third.hasColor);
    QCOMPARE(third.size, 409.0);
    QVERIFY(!styles->fonts.at(3).bold && styles->fonts.at(3).italic);
}

void TestXlsxStyles::fillsAndBorders()
{
    const auto styles = iParseStyles(
        stylesXml("<fills>"
                  "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/><bgColor indexed=\"64\"/></patternFill></fill>"
                  "<fill><patternFill patternType=\"solid\"><fgColor auto=\"1\"/></patternFill></fill>"
                  "<fill><patternFill patternType=\"gray125\"><fgColor rgb=\"FF0000\"/></patternFill></fill>"
                  "</fills><borders>"
                  "<border><left style=\"thin\"><color indexed=\"10\"/></left><right/><top style=\"dashed\"/>"
                  "<diagonal style=\"thick\"><color rgb=\"00FF00\"/></diagonal></border>"
                  "</borders>"),
        defaultTheme());
    QCOMPARE(styles->fills.size(), 3);
    QVERIFY(styles->fills.at(0).solid);
    QCOMPARE(styles->fills.at(0).color.name(), QStringLiteral("#ffff00"));
    QVERIFY(!styles->fills.at(1).solid);
    QVERIFY(!styles->fills.at(2).solid);
    QCOMPARE(styles->borders.size(), 1);
    const XlsxIBorder& border = styles->borders.at(0);
    QVERIFY(border.left.present && !border.right.present && border.top.present && !border.bottom.present);
    QCOMPARE(border.left.color.name(), QStringLiteral("#ff0000"));
    QCOMPARE(border.top.style, QStringLiteral("dashed"));
    QCOMPARE(border.top.color.name(), QStringLiteral("#000000"));
}

void TestXlsxStyles::cellFormats()
{
    const auto styles = iParseStyles(
        stylesXml("<numFmts><numFmt numFmtId=\"164\" formatCode=\"0.0%\"/><numFmt numFmtId=\"x\" formatCode=\"@\"/></numFmts>"
                  "<cellStyleXfs><xf fontId=\"7\"/></cellStyleXfs><cellXfs>"
                  "<xf fontId=\"2\" fillId=\"3\" borderId=\"x\" numFmtId=\"164\" applyFont=\"1\" applyFill=\"true\">"
                  "<alignment horizontal=\"center\" vertical=\"top\" wrapText=\"1\" indent=\"2\"/></xf>"
                  "<xf applyBorder=\"1\" applyAlignment=\"0\"><alignment wrapText=\"true\"/></xf>"
                  "</cellXfs>"),
        defaultTheme());
    QCOMPARE(styles->numFmts.value(164), QStringLiteral("0.0%"));
    QCOMPARE(styles->numFmts.value(0), QStringLiteral("@"));
    QCOMPARE(styles->cellXfs.size(), 2);
    const XlsxIXf& first = styles->cellXfs.at(0);
    QCOMPARE(first.fontId, 2);
    QCOMPARE(first.fillId, 3);
    QCOMPARE(first.borderId, 0);
    QCOMPARE(first.numFmtId, 164);
    // "true", as LibreOffice writes it, is as true as "1".
    QVERIFY(first.applyFont && first.applyFill && first.wrapText);
    QCOMPARE(first.horizontal, QStringLiteral("center"));
    QCOMPARE(first.indent, 2);
    const XlsxIXf& second = styles->cellXfs.at(1);
    QVERIFY(second.applyBorder && !second.applyAlignment && second.wrapText);
}

void TestXlsxStyles::formatCodeLengths_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("kept");

    QTest::newRow("255") << 255 << true;
    QTest::newRow("1024") << 1024 << true;
    // Formatting walks the code for every cell: a million cells under a
    // code of millions of characters would never finish.
    QTest::newRow("1025") << 1025 << false;
    QTest::newRow("4 million") << 4'000'000 << false;
}

void TestXlsxStyles::formatCodeLengths()
{
    QFETCH(int, length);
    QFETCH(bool, kept);
    const QByteArray code = "0.00" + QByteArray(length - 4, '#');
    const auto styles = iParseStyles(stylesXml("<numFmts><numFmt numFmtId=\"164\" formatCode=\"" + code + "\"/>"
                                               "<numFmt numFmtId=\"165\" formatCode=\"0%\"/></numFmts>"),
                                     defaultTheme());
    QCOMPARE(styles->numFmts.contains(164), kept);
    QCOMPARE(styles->numFmts.value(165), QStringLiteral("0%"));
}

void TestXlsxStyles::cutTailKeepsEntries()
{
    const QByteArray xml = stylesXml("<fonts><font><b/></font><font><i/></font></fonts>");
    const qsizetype cut = xml.indexOf("<font><i/>") + 8;
    XlsxIBudget budget;
    const auto styles = iParseStyles(xml.left(cut), defaultTheme(), &budget);
    QCOMPARE(styles->fonts.size(), 1);
    QVERIFY(styles->fonts.at(0).bold);
    QVERIFY(budget.damaged);
    QVERIFY(iParseStyles(QByteArray(), defaultTheme())->fonts.isEmpty());
}

void TestXlsxStyles::entriesCountAgainstBudget()
{
    XlsxIBudget budget;
    budget.itemsLeft = 2;
    const auto styles = iParseStyles(stylesXml("<fonts><font/><font/><font/><font/></fonts>"), defaultTheme(), &budget);
    QCOMPARE(styles->fonts.size(), 2);
    QVERIFY(budget.tooLarge);
    QVERIFY(!budget.damaged);
}

void TestXlsxStyles::formats_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("text");   // a text cell's text; none for a number
    QTest::addColumn<QString>("colour"); // of the shown text; none for the font's

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("date id") << 45000.0 << 14 << "d/m/yyyy" << "15.03.2023" << QString() << QString();
    QTest::newRow("date id, no code") << 45000.0 << 22 << "" << "15.03.2023" << QString() << QString();
    QTest::newRow("date code under id 0") << 1.0 << 0 << "yyyy-mm-dd" << "1899-12-31" << QString() << QString();
    QTest::newRow("day zero") << 0.0 << 14 << "" << "30.12.1899" << QString() << QString();
    // A time before day zero falls on the day before, as the clock shows it.
    QTest::newRow("negative fraction, the day before") << -0.5 << 14 << "" << "29.12.1899" << QString() << QString();
    QTest::newRow("mm only quoted") << 5.0 << 164 << "0\" mm dd\"" << "5 mm dd" << QString() << QString();
    QTest::newRow("mm:ss no date") << 5.0 << 164 << "mm:ss" << "00:00" << QString() << QString();
    QTest::newRow("dd/mm date") << 45000.0 << 164 << "DD/MM" << "15/03" << QString() << QString();
    QTest::newRow("id 59 not a date id") << 45000.0 << 59 << "0" << "45000" << QString() << QString();
    QTest::newRow("date too large") << 1e15 << 14 << "" << "1E+15" << QString() << QString();
    QTest::newRow("1e308 date") << 1e308 << 14 << "" << "1E+308" << QString() << QString();
    QTest::newRow("1e308 date code grouped") << 1e308 << 164 << "#,##0 yyyy" << "1E+308" << QString() << QString();
    QTest::newRow("nan date") << nan << 14 << "" << "nan" << QString() << QString();
    QTest::newRow("infinity date") << inf << 14 << "" << "inf" << QString() << QString();
    QTest::newRow("percent 1") << 0.1234 << 164 << "0.0%" << "12.3%" << QString() << QString();
    QTest::newRow("percent 0") << 0.5 << 9 << "0%" << "50%" << QString() << QString();
    QTest::newRow("grouped integer") << 1234567.0 << 3 << "#,##0" << "1,234,567" << QString() << QString();
    QTest::newRow("grouped fraction rounds half away") << 1234.5 << 3 << "#,##0" << "1,235" << QString() << QString();
    QTest::newRow("grouped decimals") << 1234.5 << 4 << "#,##0.00" << "1,234.50" << QString() << QString();
    QTest::newRow("grouped 1e300") << 1e300 << 3 << "#,##0" << "1" + QString(",000").repeated(100) << QString()
                                   << QString();
    QTest::newRow("grouped 1e20") << 1e20 << 3 << "#,##0" << "100,000,000,000,000,000,000" << QString() << QString();
    QTest::newRow("decimals of 1e16") << 1.2345e16 << 4 << "#,##0.00" << "12,345,000,000,000,000.00" << QString()
                                      << QString();
    // No more than 15 significant digits show, the rest are zeros.
    QTest::newRow("grouped 18 digits") << 123456789012345678.0 << 3 << "#,##0" << "123,456,789,012,346,000"
                                       << QString() << QString();
    QTest::newRow("decimals past 15 digits") << 12345678901234.565 << 4 << "#,##0.00" << "12,345,678,901,234.60"
                                             << QString() << QString();
    QTest::newRow("grouped infinity") << -inf << 3 << "#,##0" << "-inf" << QString() << QString();
    QTest::newRow("one decimal") << 2.24 << 164 << "0.0" << "2.2" << QString() << QString();
    QTest::newRow("general integer") << 3.0 << 164 << "General" << "3" << QString() << QString();
    QTest::newRow("general fraction") << 0.1 << 164 << "General" << "0.1" << QString() << QString();
    QTest::newRow("general beyond 64 bits") << 9.3e18 << 164 << "General" << "9.3E+18" << QString() << QString();
    QTest::newRow("general 2^53") << 9007199254740992.0 << 164 << "General" << "9.00719925474099E+15" << QString()
                                  << QString();
    QTest::newRow("general 15 digits") << 123456789012345.0 << 164 << "General" << "123456789012345" << QString()
                                       << QString();
    // Codes as clerks' workbooks write them: literal text and currency kept.
    QTest::newRow("roubles quoted") << 1234.5 << 164 << "#,##0.00\" ₽\"" << "1,234.50 ₽" << QString() << QString();
    QTest::newRow("roubles escaped") << 0.205 << 164 << "#,##0.00\\ \"руб.\"" << "0.21 руб." << QString() << QString();
    QTest::newRow("currency tag") << 777.77 << 164 << "[$₽-419]#,##0.00" << "₽777.77" << QString() << QString();
    QTest::newRow("locale tag alone") << 5.0 << 164 << "[$-419]0" << "5" << QString() << QString();
    QTest::newRow("colour of the only section") << -5.0 << 164 << "[Red]0.00" << "-5.00" << QString() << "#ff0000";
    // A negative section without a sign: red is what says the value is negative.
    QTest::newRow("red negative section") << -1234.5 << 164 << "#,##0.00;[Red]#,##0.00" << "1,234.50" << QString()
                                          << "#ff0000";
    QTest::newRow("positive of a red negative section") << 1234.5 << 164 << "#,##0.00;[Red]#,##0.00" << "1,234.50"
                                                        << QString() << QString();
    QTest::newRow("blue zero section") << 0.0 << 164 << "0;-0;[Blue]\"нет\"" << "нет" << QString() << "#0000ff";
    QTest::newRow("palette colour") << 3.0 << 164 << "[Color10]0" << "3" << QString() << "#008000";
    QTest::newRow("colour after a condition") << 150.0 << 164 << "[>=100][Magenta]0;0" << "150" << QString()
                                              << "#ff00ff";
    QTest::newRow("palette past its end") << 3.0 << 164 << "[Color57]0" << "3" << QString() << QString();
    QTest::newRow("built-in red negatives") << -7.0 << 38 << "" << "(7)" << QString() << "#ff0000";
    // Texts through the section that places them.
    QTest::newRow("text after a label") << 0.0 << 164 << "\"Код: \"@" << "Код: abc" << "abc" << QString();
    QTest::newRow("text before a unit") << 0.0 << 164 << "@\" руб.\"" << "abc руб." << "abc" << QString();
    QTest::newRow("text section of four, coloured") << 0.0 << 164 << "0;-0;0;[Blue]\"№ \"@" << "№ abc" << "abc"
                                                    << "#0000ff";
    QTest::newRow("text through a number code") << 0.0 << 164 << "0.00" << "abc" << "abc" << QString();
    QTest::newRow("number through a text code") << 5.5 << 164 << "\"Код: \"@" << "5.5" << QString() << QString();
    QTest::newRow("zero padding") << 42.0 << 164 << "000000" << "000042" << QString() << QString();
    QTest::newRow("padding wider number") << 1234567.0 << 164 << "000000" << "1234567" << QString() << QString();
    QTest::newRow("literal between digits") << 1234.0 << 164 << "00-00" << "12-34" << QString() << QString();
    QTest::newRow("month and year") << 45366.0 << 164 << "mmm-yy" << "Mar-24" << QString() << QString();
    // Russian names as Excel and LibreOffice show them (45366 is Friday 15 March 2024, 45565 Monday 30 September).
    QTest::newRow("month name in Russian") << 45366.0 << 164 << "[$-419]mmmm yyyy" << "Март 2024" << QString() << QString();
    QTest::newRow("Russian month after a day") << 45366.0 << 164 << "[$-419]d mmmm yyyy" << "15 марта 2024" << QString() << QString();
    QTest::newRow("Russian short months") << 45565.0 << 164 << "[$-419]mmm yy" << "сен 24" << QString() << QString();
    QTest::newRow("Russian short month, February") << 45323.0 << 164 << "[$-419]dd mmm" << "01 фев" << QString() << QString();
    QTest::newRow("Russian short day") << 45565.0 << 164 << "[$-419]ddd" << "Пн" << QString() << QString();
    QTest::newRow("Russian day name") << 45366.0 << 164 << "[$-419]dddd" << "пятница" << QString() << QString();
    QTest::newRow("Russian month initial") << 45565.0 << 164 << "[$-419]mmmmm" << "С" << QString() << QString();
    QTest::newRow("English short month") << 45565.0 << 164 << "dd mmm yyyy" << "30 Sep 2024" << QString() << QString();
    QTest::newRow("day and month name") << 45366.0 << 164 << "d mmmm" << "15 March" << QString() << QString();
    QTest::newRow("half away from zero") << 1.005 << 164 << "0.00" << "1.01" << QString() << QString();
    QTest::newRow("half away, negative") << -2.675 << 164 << "0.00" << "-2.68" << QString() << QString();
    QTest::newRow("exact half") << 0.125 << 164 << "0.00" << "0.13" << QString() << QString();
    // What the workbook wrote is the shortest text of the double: just below the half stays below.
    QTest::newRow("written just below a half") << 9305.724999999999 << 164 << "#,##0.00" << "9,305.72" << QString() << QString();
    QTest::newRow("percent on the decimal text") << 0.145 << 164 << "0%" << "15%" << QString() << QString();
    QTest::newRow("carry into a new digit") << 9.995 << 164 << "0.00" << "10.00" << QString() << QString();
    QTest::newRow("tiny negative shows no sign") << -0.001 << 164 << "0.00" << "0.00" << QString() << QString();
    QTest::newRow("percent rounds half away") << 0.00125 << 164 << "0.0%" << "0.1%" << QString() << QString();
    QTest::newRow("negative section") << -1234.5 << 164 << "#,##0.00;(#,##0.00)" << "(1,234.50)" << QString() << QString();
    QTest::newRow("zero section") << 0.0 << 164 << "0.00;-0.00;\"нет\"" << "нет" << QString() << QString();
    QTest::newRow("empty zero section hides") << 0.0 << 164 << "0;-0;" << "" << QString() << QString();
    QTest::newRow("optional decimals") << 2.5 << 164 << "0.##" << "2.5" << QString() << QString();
    QTest::newRow("thousands scaling") << 1234567.0 << 164 << "#,##0,\" тыс.\"" << "1,235 тыс." << QString() << QString();
    // Scaling commas after the decimals divide as those after the whole part do.
    QTest::newRow("millions after decimals, unit") << 1234567890.0 << 164 << "#,##0.0,,\" млн\"" << "1,234.6 млн" << QString() << QString();
    QTest::newRow("millions after decimals") << 1234567890.0 << 164 << "0.0,," << "1234.6" << QString() << QString();
    QTest::newRow("thousands after decimals, unit") << 1234567.0 << 164 << "#,##0.00,\"тыс. руб.\""
                                                    << "1,234.57тыс. руб." << QString() << QString();
    QTest::newRow("millions, negative section") << -2500000.0 << 164 << "#,##0.0,,;[Red]\\-#,##0.0,," << "-2.5" << QString()
                                                << "#ff0000";
    QTest::newRow("thousands, two decimals") << 1234567.0 << 164 << "0.00," << "1234.57" << QString() << QString();
    QTest::newRow("millions, unit unspaced") << 1234567890.0 << 164 << "#,##0.0,,\"млн\"" << "1,234.6млн" << QString() << QString();
    QTest::newRow("millions, no decimals") << 1234567890.0 << 164 << "#,##0,," << "1,235" << QString() << QString();
    QTest::newRow("thousands with a text section") << 1234567.0 << 164 << "0,;-0,;0;@" << "1235" << QString() << QString();
    QTest::newRow("thousands, negative with a text section") << -1234567.0 << 164 << "0,;-0,;0;@" << "-1235" << QString() << QString();
    QTest::newRow("millions, zero section") << 0.0 << 164 << "#,##0.0,,;-#,##0.0,,;\"—\"" << "—" << QString() << QString();
    QTest::newRow("hidden number") << 12345.0 << 164 << ";;;" << "" << QString() << QString();
    QTest::newRow("text section only for texts") << 12.0 << 164 << "0;-0;0;\"№ \"@" << "12" << QString() << QString();
    QTest::newRow("exponent") << 12345.0 << 164 << "0.00E+00" << "1.23E+04" << QString() << QString();
    // An exponent steps by the whole part's places.
    const QList<std::tuple<double, int, const char*, const char*>> engineering = {
        {12345.0, 164, "##0.0E+0", "12.3E+3"},   {1234.5678, 48, "", "1.2E+3"},
        {45000.75, 48, "", "45.0E+3"},           {12345.0, 164, "#0.0E+0", "1.2E+4"},
        {12345.0, 164, "000.0E+0", "012.3E+3"},  {0.00012, 164, "##0.0E+0", "120.0E-6"},
        {999.96, 164, "##0.0E+0", "1.0E+3"},     {-12345.0, 164, "##0.0E+0", "-12.3E+3"},
    };
    for (const auto& [value, id, code, shown] : engineering)
        QTest::addRow("exponent %s of %g", *code ? code : "48", value) << value << id << code << shown << QString() << QString();
    QTest::newRow("condition's own words for the sign") << -5.0 << 164 << "[<0]\"минус \"0;0" << "минус 5" << QString()
                                                        << QString();
    // Conditions pick the section as LibreOffice picks it, and the minus
    // shows as LibreOffice prints it: only through the first section, and
    // not there when the two conditions against zero give it the negative
    // values alone ("[<0]" or "[<=0]" beside the rest, "[<0]" beside "[=0]");
    // a value no section takes shows as General without it.
    const QList<std::tuple<double, const char*, const char*, const char*>> conditions = {
        {-10.0, "[Red][<50]0;[Blue][>=50]0", "-10", "#ff0000"},
        {60.0, "[Red][<50]0;[Blue][>=50]0", "60", "#0000ff"},
        {-250.0, "[<1000]0;#,##0,\"K\"", "-250", ""},
        {2000.0, "[<1000]0;#,##0,\"K\"", "2K", ""},
        {-0.25, "[<0.5]0%;0%", "-25%", ""},
        {-4.0, "[<>0]0;\"ноль\"", "-4", ""},
        {0.0, "[<>0]0;\"ноль\"", "ноль", ""},
        {-5.0, "[<=0]\"м \"0;0", "м 5", ""},
        {-10.0, "[<-5]\"м \"0;0", "-м 10", ""},
        {-4.0, "[<-5]\"м \"0;0", "4", ""},
        {-4.0, "[>-5]\"п \"0;\"q \"0", "-п 4", ""},
        {-10.0, "[>-5]\"п \"0;\"q \"0", "q 10", ""},
        {-10.0, "[=0]\"z \"0;\"o \"0", "o 10", ""},
        {-10.0, "[<-5]\"a \"0;[<0]\"b \"0;\"c \"0", "-a 10", ""},
        {-4.0, "[<-5]\"a \"0;[<0]\"b \"0;\"c \"0", "b 4", ""},
        {4.0, "[<-5]\"a \"0;[<0]\"b \"0;\"c \"0", "c 4", ""},
        {-4.0, "[>5]\"a \"0;[<-5]\"b \"0;\"c \"0", "c 4", ""},
        {-4.0, "[<-5]\"a \"0;\"b \"0;\"c \"0", "b 4", ""},
        {4.0, "[<-5]\"a \"0;\"b \"0;\"c \"0", "c 4", ""},
        {-4.0, "[<0]\"a \"0;\"b \"0;\"c \"0", "-a 4", ""},
        {-4.0, "[<0]\"a \"0;[>0]\"b \"0", "a 4", ""},
        {0.0, "[<0]\"a \"0;[>0]\"b \"0", "0", ""},
        {-4.0, "[<=0]\"a \"0;[>=0]\"b \"0", "-a 4", ""},
        {-4.0, "[<0]\"a \"0;[>1]\"b \"0", "-a 4", ""},
        {-10.0, "[Red][>5]\"a \"0", "10", ""},
        {0.25, "[>5]\"a \"0", "0.25", ""},
        {-4.0, "[<-5]\"a \"0;[>5]\"b \"0", "4", ""},
        {-10.0, "[<0][Red]\"a \"0.00;[Blue]\"b \"0.00", "a 10.00", "#ff0000"},
        {-0.25, "[<0]\"a \"hh:mm;\"b \"hh:mm", "a 06:00", ""},
        {-3.0, "[>=0]\"a \"0;\"b \"0", "b 3", ""},
        {-3.0, "[>=2]\"a \"0;\"b \"0", "b 3", ""},
        {-3.0, "[<2]\"a \"0;[>=2]\"b \"0", "-a 3", ""},
        // Figures of clerks' codes as LibreOffice prints them.
        {-250.0, "[Red][<=-100]#,##0;[Blue]#,##0", "-250", "#ff0000"},
        {-20.0, "[Red][<=-100]#,##0;[Blue]#,##0", "20", "#0000ff"},
        {-5.0, "[<=-1]\"долг \"0;0", "-долг 5", ""},
        {-0.25, "[<=-1]\"долг \"0;0", "0", ""},
        {-20.0, "[<-5]\"глубоко \"0;0", "-глубоко 20", ""},
        {-5.0, "[<-5]\"глубоко \"0;0", "5", ""},
        {-5.0, "[<0]0;0;\"ноль\"", "-5", ""},
        {0.0, "[<0]0;0;\"ноль\"", "ноль", ""},
        {7.0, "[<0]0;0;\"ноль\"", "ноль", ""},
        {-2500.0, "[<=-1000]#,##0,\"K\";0", "-3K", ""},
        {-250.0, "[<=-1000]#,##0,\"K\";0", "250", ""},
        {-5.0, "[>=100][Red]0;[Blue]0", "5", "#0000ff"},
        {-5.0, "[=1]\"один\";[=2]\"два\";0", "5", ""},
        {-5.0, "[<=0]0;0", "5", ""},
        {-5.0, "[<0]\"минус \"0;0", "минус 5", ""},
        // Which pairs against zero drop the first section's minus.
        {-5.0, "[<0]\"a \"0;[=0]\"b \"0", "a 5", ""},
        {-5.0, "[<0]\"a \"0;[>=0]\"b \"0;\"c \"0", "a 5", ""},
        {-5.0, "[<=0]\"a \"0;[>0]\"b \"0", "a 5", ""},
        {-5.0, "[<=0]\"a \"0;[=0]\"b \"0", "-a 5", ""},
        {-5.0, "[<0]\"a \"0;[<=0]\"b \"0", "-a 5", ""},
        {-5.0, "[<0]\"a \"0;[<>0]\"b \"0", "-a 5", ""},
        {-5.0, "[<=0]\"a \"0;\"b \"0;\"c \"0", "-a 5", ""},
        {-5.0, "[<0]\"a \"0;;\"c \"0", "-a 5", ""},
        // "[>0]" takes zero too where the second section takes the rest.
        {0.0, "[>0]\"a \"0", "a 0", ""},
        {0.0, "[>0]\"a \"0;\"b \"0", "a 0", ""},
        {0.0, "[>0]\"a \"0;\"b \"0;\"c \"0", "c 0", ""},
        {0.0, "[>0]\"a \"0;[<0]\"b \"0", "0", ""},
        // Times: the second section's clock counts from zero where its
        // conditions say the value is negative, else shows the time of day.
        {-0.25, "[>5]\"a \"hh:mm;\"b \"hh:mm", "b 18:00", ""},
        {-0.25, "[>=0]\"a \"hh:mm;\"b \"hh:mm", "b 06:00", ""},
        {-0.25, "[>5]\"a \"0;\"b \"[h]:mm", "b 6:00", ""},
        {-5.0, "[<=-1]\"a \"[h]:mm;\"b \"0", "-a 120:00", ""},
        {-0.25, "[<-1]\"a \"hh:mm", "0.25", ""},
        {-0.25, "[>5]\"a \"dd.mm.yyyy;\"b \"dd.mm.yyyy", "b 29.12.1899", ""},
        // General's minus stands before the section's words.
        {-0.25, "[<>0]\"a \"General", "-a 0.25", ""},
        {-5.0, "[<-1]\"a \"General;\"b \"General", "-a 5", ""},
        {-5.0, "[>5]\"a \"0;\"b \"General", "b 5", ""},
        // A last section placing text is the texts' alone.
        {-5.0, "[<0]\"a \"0;\"b \"@", "-a 5", ""},
        {-5.0, "[>5]\"a \"0;\"b \"0;@", "b 5", ""},
        {0.0, "[>5]\"a \"0;\"b \"0;@", "b 0", ""},
        // A condition after a first section without one: no code, General.
        {-10.0, "\"a \"0;[Red][>5]\"b \"0", "-10", ""},
        {2.5, "\"a \"0;[<0]\"b \"0;\"c \"0", "2.5", ""},
    };
    for (const auto& [value, code, shown, colour] : conditions)
        QTest::addRow("%s of %g", code, value) << value << 164 << code << shown << QString() << QString(colour);
    QTest::newRow("general with text") << 3.5 << 164 << "General\" шт.\"" << "3.5 шт." << QString() << QString();
    QTest::newRow("general with text, negative") << -5.0 << 164 << "General\" шт.\"" << "-5 шт." << QString() << QString();
    QTest::newRow("words before general, negative") << -5.0 << 164 << "\"a \"General" << "-a 5" << QString() << QString();
    QTest::newRow("number section before a text section") << -5.0 << 164 << "0.00;@" << "-5.00" << QString() << QString();
    QTest::newRow("zero before a third text section") << 0.0 << 164 << "0;-0;@" << "0" << QString() << QString();
    QTest::newRow("text only") << 3.0 << 164 << "\"есть\"" << "есть" << QString() << QString();
}

void TestXlsxStyles::formats()
{
    QFETCH(double, value);
    QFETCH(int, id);
    QFETCH(QString, code);
    QFETCH(QString, shown);
    QFETCH(QString, text);
    QFETCH(QString, colour);
    XlsxIStyles styles;
    styles.cellXfs.append(XlsxIXf{});
    styles.cellXfs.last().numFmtId = id;
    if (!code.isEmpty())
        styles.numFmts.insert(id, code);
    const XlsxICell cell{text.isNull() ? QString::number(value) : text, 0, value, text.isNull()};
    if (cell.isNumber)
        QCOMPARE(iFormatNum(value, id, code), shown);
    else
        QCOMPARE(iDisplayText(cell, &styles), shown);
    const QColor shownColour = iDisplayColour(cell, &styles);
    QCOMPARE(shownColour.isValid() ? shownColour.name() : QString(), colour);
}

void TestXlsxStyles::displayText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("shown");

    // style 0: id 0; style 1: built-in 14; style 2: custom 164; style 3: id 165 without a code;
    // style 4: "General" written as LibreOffice writes its default
    QTest::newRow("id 0 integral") << 7.0 << "7.000" << 0 << "7";
    QTest::newRow("id 0 fraction") << 0.25 << "0.25000" << 0 << "0.25";
    QTest::newRow("id 0 three billion") << 3e9 << "3000000000" << 0 << "3000000000";
    QTest::newRow("id 0 minus three billion") << -3e9 << "-3E9" << 0 << "-3000000000";
    // One General whatever its id: 15 significant digits, a capital E.
    const QList<std::tuple<double, const char*, const char*>> general = {
        {1234567890123.45, "1234567890123.45", "1234567890123.45"},
        {9.99999999999E+307, "9.99999999999E+307", "9.99999999999E+307"},
        {0.333333333333333, "0.333333333333333", "0.333333333333333"},
        {0.30000000000000004, "0.30000000000000004", "0.3"},
        {1e-10, "1e-10", "1E-10"},
        {1.2345e-5, "1.2345E-5", "1.2345E-05"},
        {0.0001, "1.0000000000000001E-4", "0.0001"},
        {-123456789012345678.0, "-123456789012345678", "-1.23456789012346E+17"},
    };
    for (const auto& [value, stored, shown] : general) {
        QTest::addRow("id 0 %s", stored) << value << QString(stored) << 0 << QString(shown);
        QTest::addRow("written General %s", stored) << value << QString(stored) << 4 << QString(shown);
    }
    QTest::newRow("id 0 nan keeps text") << std::numeric_limits<double>::quiet_NaN() << "nan" << 0 << "nan";
    QTest::newRow("built-in date") << 45000.0 << "45000" << 1 << "15.03.2023";
    QTest::newRow("custom code") << 0.5 << "0.5" << 2 << "50%";
    QTest::newRow("id without code") << 2.0 << "2.0" << 3 << "2";
    QTest::newRow("style out of range") << 2.0 << "2.0" << 9 << "2.0";
    QTest::newRow("negative style") << 2.0 << "2.0" << -1 << "2.0";
}

void TestXlsxStyles::displayText()
{
    QFETCH(double, value);
    QFETCH(QString, stored);
    QFETCH(int, style);
    QFETCH(QString, shown);

    XlsxIStyles styles;
    for (int id : {0, 14, 164, 165, 166}) {
        XlsxIXf xf;
        xf.numFmtId = id;
        styles.cellXfs.append(xf);
    }
    styles.numFmts.insert(164, QStringLiteral("0%"));
    styles.numFmts.insert(166, QStringLiteral("General"));
    XlsxICell cell{stored, style, value, true};
    QCOMPARE(iDisplayText(cell, &styles), shown);
    cell.isNumber = false;
    QCOMPARE(iDisplayText(cell, &styles), stored);
    QCOMPARE(iDisplayText(XlsxICell{stored, style, value, true}, nullptr), stored);
}

void TestXlsxStyles::times_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("code"); // the workbook's own code; empty: the built-in one
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("shown");

    const double halfPastTwelve = 0.5208333333333334;
    QTest::newRow("18 h:mm AM/PM") << halfPastTwelve << 18 << "" << false << "12:30 PM";
    QTest::newRow("18 afternoon on a 12-hour clock") << 0.75 << 18 << "" << false << "6:00 PM";
    QTest::newRow("19 h:mm:ss AM/PM") << 0.2923611111 << 19 << "" << false << "7:01:00 AM";
    QTest::newRow("custom h:mm AM/PM") << 0.75 << 164 << "h:mm AM/PM" << false << "6:00 PM";
    QTest::newRow("midnight is 12 AM") << 0.0 << 164 << "h:mm AM/PM" << false << "12:00 AM";
    QTest::newRow("a/p as written") << 0.75 << 164 << "hh:mm a/p" << false << "06:00 p";
    QTest::newRow("date with a 12-hour clock") << 45000.9375 << 164 << "dd.mm.yyyy h:mm AM/PM" << false
                                               << "15.03.2023 10:30 PM";
    QTest::newRow("20 h:mm") << halfPastTwelve << 20 << "" << false << "12:30";
    QTest::newRow("20 whole days wrap") << 3.25 << 20 << "" << false << "6:00";
    QTest::newRow("21 h:mm:ss") << 0.0000115740740741 << 21 << "" << false << "0:00:01";
    QTest::newRow("45 mm:ss") << 0.0104166666666667 << 45 << "" << false << "15:00";
    QTest::newRow("46 elapsed hours") << 1.5 << 46 << "" << false << "36:00:00";
    QTest::newRow("47 tenths of seconds") << 0.0000127315 << 47 << "" << false << "00:01.1";
    QTest::newRow("seconds round up into the minute") << 0.0006944 << 20 << "" << false << "0:01";
    QTest::newRow("custom hh:mm") << 0.3125 << 164 << "hh:mm" << false << "07:30";
    QTest::newRow("custom with locale and escapes") << halfPastTwelve << 164 << "[$-F400]h:mm:ss\\ AM/PM" << false << "12:30:00";
    QTest::newRow("custom elapsed minutes") << 0.125 << 164 << "[mm]:ss" << false << "180:00";
    QTest::newRow("time id under the workbook's number code") << 0.5 << 20 << "0.00" << false << "0.50";
    QTest::newRow("quoted h is text") << 2.0 << 164 << "0\" h\"" << false << "2 h";
    QTest::newRow("date and time") << 45000.5208333333 << 22 << "m/d/yy h:mm" << false << "15.03.2023 12:30";
    QTest::newRow("date and time carry midnight") << 45000.99999999 << 164 << "dd.mm.yyyy hh:mm" << false << "16.03.2023 00:00";
    QTest::newRow("month then minutes") << 45000.75 << 164 << "yyyy-mm-dd hh:mm:ss" << false << "2023-03-15 18:00:00";
    // Below zero a clock shows the time of day the value falls on, elapsed
    // time counts back from zero, as LibreOffice prints them.
    QTest::newRow("negative clock time") << -0.25 << 20 << "" << false << "18:00";
    QTest::newRow("negative elapsed hours") << -0.5 << 164 << "[h]:mm" << false << "-12:00";
    QTest::newRow("negative elapsed, minutes from zero") << -0.2604166666666667 << 46 << "" << false << "-6:15:00";
    QTest::newRow("negative section of elapsed time") << -0.25 << 164 << "[h]:mm;-[h]:mm" << false << "-6:00";
    QTest::newRow("huge time is a number") << 1e300 << 21 << "" << false << "1E+300";
    QTest::newRow("nan time is a number") << std::numeric_limits<double>::quiet_NaN() << 20 << "" << false << "nan";
    QTest::newRow("1904 date") << 44901.0 << 14 << "" << true << "07.12.2026";
    QTest::newRow("1900 date of the same serial") << 44901.0 << 14 << "" << false << "06.12.2022";
    QTest::newRow("1904 day zero") << 0.0 << 164 << "dd.mm.yyyy" << true << "01.01.1904";
    QTest::newRow("1904 date and time") << 44901.5 << 22 << "m/d/yy h:mm" << true << "07.12.2026 12:00";
    QTest::newRow("1904 time alone unchanged") << halfPastTwelve << 20 << "" << true << "12:30";
}

void TestXlsxStyles::times()
{
    QFETCH(double, value);
    QFETCH(int, id);
    QFETCH(QString, code);
    QFETCH(bool, date1904);
    QFETCH(QString, shown);
    QCOMPARE(iFormatNum(value, id, code, date1904), shown);
    // What a painter shows: the built-in code of the id, or the workbook's.
    XlsxIStyles styles;
    styles.date1904 = date1904;
    styles.cellXfs.append(XlsxIXf{});
    styles.cellXfs.last().numFmtId = id;
    if (!code.isEmpty())
        styles.numFmts.insert(id, code);
    QCOMPARE(iDisplayText(XlsxICell{QString::number(value, 'g', 17), 0, value, true}, &styles), shown);
}

QTEST_GUILESS_MAIN(TestXlsxStyles)
#include "tst_xlsxstyles.moc"
