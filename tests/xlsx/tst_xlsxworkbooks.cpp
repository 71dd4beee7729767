// Workbooks written by LibreOffice, openpyxl and part by part (tests/data/make-xlsx.sh):
// the text each cell shows, as its neighbour on the left states it, and
// the charts' titles and cached values.
#include "XlsxNumberFormat.h"
#include "XlsxPackage.h"

#include <QTest>

namespace {

QString workbook(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/xlsx/") + name;
}

} // namespace

class TestXlsxWorkbooks : public QObject {
    Q_OBJECT
private slots:
    void shownTexts_data();
    void shownTexts();
    void charts_data();
    void charts();
};

void TestXlsxWorkbooks::shownTexts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("number");

    // openpyxl-iso-dates, iso-date-texts: dates written as ISO 8601 text,
    // read as LibreOffice reads them; "текст" in column C: it keeps the
    // cell as text.
    const QStringList files = {"lo-times.xlsx",           "lo-1904.xlsx",
                               "openpyxl-book.xlsx",      "lo-openpyxl-book.xlsx",
                               "openpyxl-iso-dates.xlsx", "openpyxl-iso-dates-1904.xlsx",
                               "iso-date-texts.xlsx"};
    // LibreOffice writes its own date codes back: they show as written.
    const QMap<QString, QString> rewritten = {{"07.12.2026", "12/7/2026"}, {"07.12.2026 12:30", "12/7/2026 12:30"}};
    for (const QString& file : files) {
        const XlsxIWorkbook book = iReadWorkbook(workbook(file));
        if (!book.reason.isEmpty() || book.sheets.empty())
            QFAIL(qPrintable(file + ": " + book.reason));
        const auto& cells = book.sheets.front().data->cells;
        for (auto row = cells.cbegin(); row != cells.cend(); ++row) {
            QString shown = row->value(0).text;
            if (file == "lo-openpyxl-book.xlsx")
                shown = rewritten.value(shown, shown);
            QTest::addRow("%s %d %s", qPrintable(file), row.key(), qPrintable(shown))
                << file << row.key() << shown << (row->value(2).text != QStringLiteral("текст"));
        }
    }
}

void TestXlsxWorkbooks::shownTexts()
{
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(QString, shown);
    QFETCH(bool, number);
    const XlsxIWorkbook book = iReadWorkbook(workbook(file));
    const XlsxICell cell = book.sheets.front().data->cells.value(row).value(1);
    QCOMPARE(cell.isNumber, number);
    QCOMPARE(iDisplayText(cell, book.styles.get()), shown);
}

void TestXlsxWorkbooks::charts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("categories");
    QTest::addColumn<QList<double>>("values");

    // openpyxl writes references without cached values.
    QTest::newRow("openpyxl") << "openpyxl-book.xlsx" << QStringList{} << QList<double>{};
    QTest::newRow("LibreOffice") << "lo-openpyxl-book.xlsx" << QStringList{"Янв", "Фев", "Мар"}
                                 << QList<double>{120, 135, 150};
    // Rows 3, 6 and 9 of the data are hidden and the chart plots visible
    // cells only: written as Excel writes it every cell is cached, and
    // LibreOffice caches the visible ones alone. Both draw the same 8 points.
    const QStringList regions{"Регион 1", "Регион 2", "Регион 4", "Регион 5",
                              "Регион 7", "Регион 8", "Регион 10", "Регион 11"};
    const QList<double> visible{100, 104, 98, 102, 97, 105, 101, 99};
    QTest::newRow("every cell cached, hidden rows") << "hidden-rows-chart.xlsx" << regions << visible;
    QTest::newRow("LibreOffice, visible cells cached") << "lo-hidden-rows-chart.xlsx" << regions << visible;
}

// A bar chart titled "Выручка по месяцам" with the axis titles "Месяц" and
// "Тыс. руб.", anchored on the second sheet.
void TestXlsxWorkbooks::charts()
{
    QFETCH(QString, file);
    QFETCH(QStringList, categories);
    QFETCH(QList<double>, values);
    const XlsxIWorkbook book = iReadWorkbook(workbook(file));
    QCOMPARE(book.reason, QString());
    QCOMPARE(int(book.sheets.size()), 2);
    const QList<XlsxIChart>& charts = book.sheets.at(1).charts;
    QCOMPARE(charts.size(), 1);
    const XlsxIChart& chart = charts.first();
    QCOMPARE(chart.type, XlsxIChart::Bar);
    QCOMPARE(chart.title, QStringLiteral("Выручка по месяцам"));
    QCOMPARE(chart.series.size(), 1);
    QCOMPARE(chart.series.first().categories, categories);
    QCOMPARE(chart.series.first().values, values);
    QCOMPARE((QList<int>{chart.fromRow, chart.fromCol}), (QList<int>{1, 3}));
}

QTEST_GUILESS_MAIN(TestXlsxWorkbooks)
#include "tst_xlsxworkbooks.moc"
