#include "XlsxNumberFormat.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestXlsxNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void formats_data();
    void formats();
    void displayText_data();
    void displayText();
};

void TestXlsxNumberFormat::formats_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("shown");

    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("date id") << 45000.0 << 14 << "d/m/yyyy" << "15.03.2023";
    QTest::newRow("date id, no code") << 45000.0 << 22 << "" << "15.03.2023";
    QTest::newRow("date code under id 0") << 1.0 << 0 << "yyyy-mm-dd" << "31.12.1899";
    QTest::newRow("day zero") << 0.0 << 14 << "" << "30.12.1899";
    QTest::newRow("negative fraction truncates") << -0.5 << 14 << "" << "30.12.1899";
    QTest::newRow("mm only quoted") << 5.0 << 164 << "0\" mm dd\"" << "5";
    QTest::newRow("mm:ss no date") << 5.0 << 164 << "mm:ss" << "5";
    QTest::newRow("dd/mm date") << 45000.0 << 164 << "DD/MM" << "15.03.2023";
    QTest::newRow("id 59 not a date id") << 45000.0 << 59 << "0" << "45000";
    QTest::newRow("date too large") << 1e15 << 14 << "" << "1000000000000000";
    QTest::newRow("1e308 date") << 1e308 << 14 << "" << "1e+308";
    QTest::newRow("1e308 date code grouped") << 1e308 << 164 << "#,##0 yyyy" << "1e+308";
    QTest::newRow("nan date") << nan << 14 << "" << "nan";
    QTest::newRow("infinity date") << inf << 14 << "" << "inf";
    QTest::newRow("percent 1") << 0.1234 << 164 << "0.0%" << "12.3%";
    QTest::newRow("percent 0") << 0.5 << 9 << "0%" << "50%";
    QTest::newRow("percent 2") << 0.12345 << 10 << "0.00%" << "12.35%";
    QTest::newRow("grouped integer") << 1234567.0 << 3 << "#,##0" << "1,234,567";
    QTest::newRow("grouped fraction") << 1234.5 << 3 << "#,##0" << "1234.5";
    QTest::newRow("grouped decimals") << 1234.5 << 4 << "#,##0.00" << "1,234.50";
    QTest::newRow("grouped 1e300") << 1e300 << 3 << "#,##0" << "1e+300";
    QTest::newRow("grouped nan") << nan << 3 << "#,##0" << "nan";
    QTest::newRow("grouped infinity") << -inf << 3 << "#,##0" << "-inf";
    QTest::newRow("fixed") << 2.0 << 2 << "0.00" << "2.00";
    QTest::newRow("one decimal") << 2.24 << 164 << "0.0" << "2.2";
    QTest::newRow("general integer") << 3.0 << 164 << "General" << "3";
    QTest::newRow("general fraction") << 0.1 << 164 << "General" << "0.1";
    QTest::newRow("general 1e300") << 1e300 << 164 << "General" << "1e+300";
    QTest::newRow("general beyond 64 bits") << 9.3e18 << 164 << "General" << "9.3e+18";
    QTest::newRow("general 2^53") << 9007199254740992.0 << 164 << "General" << "9007199254740992";
}

void TestXlsxNumberFormat::formats()
{
    QFETCH(double, value);
    QFETCH(int, id);
    QFETCH(QString, code);
    QFETCH(QString, shown);
    QCOMPARE(iFormatNum(value, id, code), shown);
}

void TestXlsxNumberFormat::displayText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("shown");

    // style 0: id 0; style 1: built-in 14; style 2: custom 164; style 3: id 165 without a code
    QTest::newRow("id 0 integral") << 7.0 << "7.000" << 0 << "7";
    QTest::newRow("id 0 fraction keeps text") << 0.25 << "0.25000" << 0 << "0.25000";
    QTest::newRow("id 0 three billion keeps text") << 3e9 << "3000000000" << 0 << "3000000000";
    QTest::newRow("id 0 minus three billion keeps text") << -3e9 << "-3E9" << 0 << "-3E9";
    QTest::newRow("id 0 nan keeps text") << std::numeric_limits<double>::quiet_NaN() << "nan" << 0 << "nan";
    QTest::newRow("id 0 1e300 keeps text") << 1e300 << "1E300" << 0 << "1E300";
    QTest::newRow("built-in date") << 45000.0 << "45000" << 1 << "15.03.2023";
    QTest::newRow("custom code") << 0.5 << "0.5" << 2 << "50%";
    QTest::newRow("id without code") << 2.0 << "2.0" << 3 << "2";
    QTest::newRow("style out of range") << 2.0 << "2.0" << 9 << "2.0";
    QTest::newRow("negative style") << 2.0 << "2.0" << -1 << "2.0";
}

void TestXlsxNumberFormat::displayText()
{
    QFETCH(double, value);
    QFETCH(QString, stored);
    QFETCH(int, style);
    QFETCH(QString, shown);

    XlsxIStyles styles;
    for (int id : {0, 14, 164, 165}) {
        XlsxIXf xf;
        xf.numFmtId = id;
        styles.cellXfs.append(xf);
    }
    styles.numFmts.insert(164, QStringLiteral("0%"));
    XlsxICell cell{stored, style, value, true};
    QCOMPARE(iDisplayText(cell, &styles), shown);
    cell.isNumber = false;
    QCOMPARE(iDisplayText(cell, &styles), stored);
    QCOMPARE(iDisplayText(XlsxICell{stored, style, value, true}, nullptr), stored);
}

QTEST_GUILESS_MAIN(TestXlsxNumberFormat)
#include "tst_xlsxnumberformat.moc"
