// Hostile workbooks, each imported by a child process under a time and an
// address-space limit: the child must end by itself, without a signal, and
// every refusal must say why. The workbooks are made here, small.
#include "XlsxFixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kTimeLimitMs = 30000;       // a 2-core machine under load
constexpr const char* kSpaceMiB = "1536"; // address space, threads' stacks included

QByteArray chartOf(const QByteArray& kind, const QByteArray& points)
{
    return "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart><c:plotArea><c:" +
           kind + "><c:ser><c:val><c:numRef><c:numCache>" + points + "</c:numCache></c:numRef></c:val></c:ser></c:" +
           kind + "></c:plotArea></c:chart></c:chartSpace>";
}

const QByteArray kOneCell = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>";

} // namespace

class TestXlsxHostile : public QObject {
    Q_OBJECT
private slots:
    void boundedWork_data();
    void boundedWork();

private:
    QTemporaryDir m_dir;
};

void TestXlsxHostile::boundedWork_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // words of the child's line, in order

    // A chart anchored at the last int column and row: clamped to the sheet.
    XlsxParts farChart = minimalXlsx(kOneCell + "<drawing r:id=\"rIdD\"/>");
    addChart(farChart, {"2147483647", "2147483647", "2147483647", "2147483647"},
             chartOf("barChart", "<c:pt idx=\"0\"><c:v>1</c:v></c:pt>"));
    // The clamped anchor lies beyond the cells: the grid is too large to lay out, and says so.
    QTest::newRow("chart at column 2147483647") << "far-chart" << "sheets 1 pages 0 merges 0 points 1 reason Лист слишком велик";
    QVERIFY(writeZip(m_dir.filePath("far-chart.xlsx"), farChart));

    // 200,000 identical merges: one is kept.
    QTest::newRow("200,000 identical merges") << "same-merges" << "sheets 1 pages 1 merges 1";
    QVERIFY(writeZip(m_dir.filePath("same-merges.xlsx"),
                     minimalXlsx(kOneCell + "<mergeCells>" +
                                 QByteArray("<mergeCell ref=\"A1:C3\"/>").repeated(200000) + "</mergeCells>")));

    // 60,000 merges that all overlap the first: only it stays.
    QByteArray nested;
    for (int r = 2; r <= 60001; ++r)
        nested += "<mergeCell ref=\"A1:B" + QByteArray::number(r) + "\"/>";
    QTest::newRow("60,000 overlapping merges") << "nested-merges" << "sheets 1 pages 1 merges 1";
    QVERIFY(writeZip(m_dir.filePath("nested-merges.xlsx"), minimalXlsx(kOneCell + "<mergeCells>" + nested + "</mergeCells>")));

    // One sheet part listed 20,000 times: read once, the rest refused with a reason.
    XlsxParts listed = minimalXlsx(kOneCell);
    QByteArray sheets, rels;
    for (int i = 1; i <= 20000; ++i) {
        const QByteArray n = QByteArray::number(i);
        sheets += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"t\" Target=\"worksheets/sheet1.xml\"/>";
    }
    listed.insert("xl/workbook.xml",
                  "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" +
                      sheets + "</sheets></workbook>");
    listed.insert("xl/_rels/workbook.xml.rels",
                  "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + rels +
                      "</Relationships>");
    QTest::newRow("one sheet listed 20,000 times")
        << "listed" << "sheets 1 pages 1 merges 0 points 0 reason Часть книги повреждена: xl/workbook.xml";
    QVERIFY(writeZip(m_dir.filePath("listed.xlsx"), listed));

    // A line chart with one cached point at the last row index: one value.
    XlsxParts farPoint = minimalXlsx(kOneCell + "<drawing r:id=\"rIdD\"/>");
    addChart(farPoint, {"1", "0", "5", "10"}, chartOf("lineChart", "<c:pt idx=\"1048575\"><c:v>7</c:v></c:pt>"));
    QTest::newRow("chart point at index 1048575") << "far-point" << "sheets 1 pages 1 merges 0 points 1";
    QVERIFY(writeZip(m_dir.filePath("far-point.xlsx"), farPoint));
}

void TestXlsxHostile::boundedWork()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QTemporaryDir scratch;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(VORN_XLSX_CHILD), {m_dir.filePath(name + ".xlsx"), scratch.path(), kSpaceMiB});
    QVERIFY(child.waitForStarted());
    const bool ended = child.waitForFinished(kTimeLimitMs);
    if (!ended)
        child.kill();
    QVERIFY2(ended, "the child ran past its time limit");
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, "the child ended on a signal");
    QCOMPARE(child.exitCode(), 0);
    const QString said = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    const QString head = said.section(QStringLiteral(" paint "), 0, 0);
    const QString reason = said.section(QStringLiteral(" reason "), 1);
    QVERIFY2(said.startsWith(expected.section(QStringLiteral(" reason "), 0, 0)), qPrintable(said));
    if (expected.contains(QStringLiteral(" reason ")))
        QVERIFY2(reason.startsWith(expected.section(QStringLiteral(" reason "), 1)), qPrintable(said));
    // A sheet that gives no page says why.
    if (head.contains(QStringLiteral("pages 0")))
        QVERIFY2(!reason.isEmpty(), qPrintable(said));
    // The paint costs milliseconds, not seconds, whatever the merges were.
    QVERIFY2(said.section(QStringLiteral(" paint "), 1).section(u' ', 0, 0).toInt() < 2000, qPrintable(said));
}

QTEST_GUILESS_MAIN(TestXlsxHostile)
#include "tst_xlsxhostile.moc"
