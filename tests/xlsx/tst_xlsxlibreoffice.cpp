#include "XlsxFixtures.h"
#include "XlsxNumberFormat.h"
#include "XlsxPackage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <zip.h>

namespace {

// Three sheets: a bold merged title, a red text, a filled and bordered
// number, a date, column widths and a row height; a text with "_x".
const char kFlatOds[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:automatic-styles>
  <style:style style:name="co1" style:family="table-column"><style:table-column-properties style:column-width="5cm"/></style:style>
  <style:style style:name="co2" style:family="table-column"><style:table-column-properties style:column-width="2.5cm"/></style:style>
  <style:style style:name="ro1" style:family="table-row"><style:table-row-properties style:row-height="1cm" style:use-optimal-row-height="false"/></style:style>
  <number:date-style style:name="N1"><number:day number:style="long"/><number:text>.</number:text><number:month number:style="long"/><number:text>.</number:text><number:year number:style="long"/></number:date-style>
  <style:style style:name="ce1" style:family="table-cell"><style:text-properties fo:font-weight="bold"/></style:style>
  <style:style style:name="ce2" style:family="table-cell"><style:text-properties fo:color="#ff0000"/></style:style>
  <style:style style:name="ce3" style:family="table-cell"><style:table-cell-properties fo:background-color="#ffff00" fo:border="0.74pt solid #0000ff"/></style:style>
  <style:style style:name="ce4" style:family="table-cell" style:data-style-name="N1"/>
 </office:automatic-styles>
 <office:body><office:spreadsheet>
  <table:table table:name="Прайс">
   <table:table-column table:style-name="co1"/>
   <table:table-column table:style-name="co2" table:number-columns-repeated="2"/>
   <table:table-row>
    <table:table-cell table:style-name="ce1" table:number-columns-spanned="3" table:number-rows-spanned="1" office:value-type="string"><text:p>Заголовок</text:p></table:table-cell>
    <table:covered-table-cell table:number-columns-repeated="2"/>
   </table:table-row>
   <table:table-row table:style-name="ro1">
    <table:table-cell table:style-name="ce2" office:value-type="string"><text:p>Красный</text:p></table:table-cell>
    <table:table-cell table:style-name="ce3" office:value-type="float" office:value="1234.5"><text:p>1234.5</text:p></table:table-cell>
    <table:table-cell table:style-name="ce4" office:value-type="date" office:date-value="2023-03-15"><text:p>15.03.2023</text:p></table:table-cell>
   </table:table-row>
  </table:table>
  <table:table table:name="Второй"><table:table-row><table:table-cell office:value-type="float" office:value="2"><text:p>2</text:p></table:table-cell></table:table-row></table:table>
  <table:table table:name="Третий"><table:table-row><table:table-cell office:value-type="string"><text:p>три</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>Литерал_x000D_конец</text:p></table:table-cell></table:table-row></table:table>
 </office:spreadsheet></office:body>
</office:document>
)";

XlsxParts unpack(const QString& path)
{
    XlsxParts parts;
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        const QString name = QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0));
        parts.insert(name, iReadEntry(archive, name));
    }
    zip_discard(archive);
    return parts;
}

} // namespace

class TestXlsxLibreOffice : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void flatOdsReadsAsWritten();
    void csvReadsAsWritten();
    void cutPartsGiveReasons();

private:
    QTemporaryDir m_dir;
};

void TestXlsxLibreOffice::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile ods(m_dir.filePath("book.fods"));
    QFile csv(m_dir.filePath("t.csv"));
    QVERIFY(ods.open(QIODevice::WriteOnly) && ods.write(kFlatOds) > 0);
    QVERIFY(csv.open(QIODevice::WriteOnly) && csv.write("Name,Amount,Date\nA,1234567,2023-03-15\nB,0.5,2024-01-01\n") > 0);
    ods.close();
    csv.close();
    // setup.sh installs libreoffice-calc-nogui: a missing or failing soffice is a fault.
    QString why;
    QVERIFY2(convertWithLibreOffice({ods.fileName(), csv.fileName()}, m_dir.path(), &why), qPrintable(why));
}

void TestXlsxLibreOffice::flatOdsReadsAsWritten()
{
    const XlsxIWorkbook book = iReadWorkbook(m_dir.filePath("book.xlsx"));
    QCOMPARE(book.reason, QString());
    QStringList names;
    for (const XlsxISheetInfo& sheet : book.sheets)
        names.append(sheet.name);
    QCOMPARE(names, (QStringList{"Прайс", "Второй", "Третий"}));
    const XlsxISheetData& data = *book.sheets.front().data;
    const XlsxIStyles& styles = *book.styles;
    auto xfOf = [&](int row, int col) { return styles.cellXfs.value(data.cells.value(row).value(col).style); };

    QCOMPARE(data.cells.value(1).value(0).text, QStringLiteral("Заголовок"));
    QVERIFY(styles.fonts.value(xfOf(1, 0).fontId).bold);
    QCOMPARE(data.merges.size(), 1);
    const XlsxIMerge m = data.merges.first();
    QCOMPARE((QList<int>{m.firstRow, m.firstCol, m.lastRow, m.lastCol}), (QList<int>{1, 0, 1, 2}));

    QCOMPARE(styles.fonts.value(xfOf(2, 0).fontId).color.name(), QStringLiteral("#ff0000"));
    const XlsxIFill fill = styles.fills.value(xfOf(2, 1).fillId);
    QVERIFY(fill.solid);
    QCOMPARE(fill.color.name(), QStringLiteral("#ffff00"));
    const XlsxIBorder border = styles.borders.value(xfOf(2, 1).borderId);
    QVERIFY(border.left.present && border.right.present && border.top.present && border.bottom.present);
    QCOMPARE(border.left.color.name(), QStringLiteral("#0000ff"));
    QCOMPARE(iDisplayText(data.cells.value(2).value(1), &styles), QStringLiteral("1234.5"));
    QCOMPARE(iDisplayText(data.cells.value(2).value(2), &styles), QStringLiteral("15.03.2023"));

    QVERIFY(data.colWidths.value(0) > 1.9 * data.colWidths.value(1));
    QCOMPARE(data.colWidths.value(1), data.colWidths.value(2));
    QVERIFY(qAbs(data.rowHeights.value(2) - 28.35) < 0.1); // 1 cm

    QCOMPARE(book.sheets.at(1).data->cells.value(1).value(0).number, 2.0);
    QCOMPARE(book.sheets.at(2).data->cells.value(1).value(0).text, QStringLiteral("три"));
    // LibreOffice escapes a text's own "_x" as "_x005F_x".
    QCOMPARE(book.sheets.at(2).data->cells.value(1).value(1).text, QStringLiteral("Литерал_x000D_конец"));
}

void TestXlsxLibreOffice::csvReadsAsWritten()
{
    const XlsxIWorkbook book = iReadWorkbook(m_dir.filePath("t.xlsx"));
    QCOMPARE(book.reason, QString());
    QCOMPARE(int(book.sheets.size()), 1);
    QCOMPARE(book.sheets.front().name, QStringLiteral("t"));
    const XlsxISheetData& data = *book.sheets.front().data;
    QStringList shown;
    for (const auto& row : data.cells)
        for (const XlsxICell& cell : row)
            shown.append(iDisplayText(cell, book.styles.get()));
    // LibreOffice keeps the ISO dates of the CSV under a code of that form.
    QCOMPARE(shown, (QStringList{"Name", "Amount", "Date", "A", "1234567", "2023-03-15", "B", "0.5", "2024-01-01"}));
    QCOMPARE(data.rowHeights.value(1), 12.8);
}

// Every part the reader uses, cut at many offsets: a reason, never a crash.
void TestXlsxLibreOffice::cutPartsGiveReasons()
{
    const XlsxParts parts = unpack(m_dir.filePath("book.xlsx"));
    QVERIFY(parts.contains("xl/workbook.xml"));
    constexpr int kCuts = 40;
    const QString path = m_dir.filePath("cut.xlsx");
    int reads = 0;
    for (auto it = parts.cbegin(); it != parts.cend(); ++it) {
        if (!it.key().startsWith("xl/"))
            continue;
        const qsizetype end = it->lastIndexOf('>');
        for (int i = 0; i < kCuts; ++i) {
            const qsizetype cut = end * i / kCuts;
            XlsxParts damaged = parts;
            damaged.insert(it.key(), it->left(cut));
            QVERIFY(writeZip(path, damaged));
            const XlsxIWorkbook book = iReadWorkbook(path);
            if (book.reason.isEmpty())
                QFAIL(qPrintable(QStringLiteral("no reason for %1 cut at %2").arg(it.key()).arg(cut)));
            ++reads;
        }
    }
    QVERIFY(reads >= 6 * kCuts);
}

QTEST_GUILESS_MAIN(TestXlsxLibreOffice)
#include "tst_xlsxlibreoffice.moc"
