#include "XlsxChartReader.h"
#include "XlsxIBudget.h"

#include <QTest>

namespace {

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

class TestXlsxChart : public QObject {
    Q_OBJECT
private slots:
    void kinds_data();
    void kinds();
    void seriesWithGaps();
    void oddIndices();
    void titlesJoined();
    void cutDropsOpenSeries();
};

void TestXlsxChart::kinds_data()
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
}

void TestXlsxChart::kinds()
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

void TestXlsxChart::seriesWithGaps()
{
    const XlsxIChart chart = iParseChart(chartXml(
        "<c:lineChart>" + series(point(0, "Jan") + point(2, " Mar "), point(0, "1.5") + point(2, " 3 ") + point(3, "x")) +
        "</c:lineChart>"));
    QCOMPARE(chart.series.size(), 1);
    const XlsxIChartSeries& s = chart.series.first();
    QCOMPARE(s.categories, (QList<QString>{"Jan", "", " Mar "}));
    QCOMPARE(s.values, (QList<double>{1.5, 0.0, 3.0, 0.0}));
    QVERIFY(s.name.isEmpty());
}

void TestXlsxChart::oddIndices()
{
    XlsxIBudget budget;
    const XlsxIChart chart = iParseChart(
        chartXml("<c:barChart>" + series(point(-1, "neg") + point(1, "b"), point(2000000000, "9") + point(1, "2")) +
                 "</c:barChart>"),
        &budget);
    QCOMPARE(chart.series.first().categories, (QList<QString>{"", "b"}));
    QCOMPARE(chart.series.first().values, (QList<double>{0.0, 2.0}));
    QVERIFY(!budget.tooLarge);

    XlsxIBudget small;
    small.itemsLeft = 100;
    iParseChart(chartXml("<c:barChart>" + series({}, point(500, "1")) + "</c:barChart>"), &small);
    QVERIFY(small.tooLarge);
}

void TestXlsxChart::titlesJoined()
{
    const XlsxIChart chart = iParseChart(chartXml(
        "<c:title><c:tx><c:rich><a:p><a:r><a:t> Total </a:t></a:r><a:r><a:t>Sales\n</a:t></a:r></a:p></c:rich></c:tx></c:title>"
        "<c:barChart/><c:valAx><c:title><c:tx><c:rich><a:p><a:r><a:t>Y</a:t></a:r></a:p></c:rich></c:tx></c:title></c:valAx>"
        "<c:catAx><c:title><c:tx><c:strRef><c:f>Sheet1!$A$1</c:f><c:strCache>" + point(0, "X") +
        "</c:strCache></c:strRef></c:tx></c:title></c:catAx>"));
    QCOMPARE(chart.title, QStringLiteral("TotalSalesYSheet1!$A$1X"));
}

void TestXlsxChart::cutDropsOpenSeries()
{
    const QByteArray xml = chartXml("<c:pieChart>" + series(point(0, "a"), point(0, "1")) + series(point(0, "b"), point(0, "2")) +
                                    "</c:pieChart>");
    XlsxIBudget budget;
    const XlsxIChart chart = iParseChart(xml.left(xml.lastIndexOf("<c:ser>") + 40), &budget);
    QCOMPARE(chart.type, XlsxIChart::Pie);
    QCOMPARE(chart.series.size(), 1);
    QVERIFY(budget.damaged);
}

QTEST_GUILESS_MAIN(TestXlsxChart)
#include "tst_xlsxchart.moc"
