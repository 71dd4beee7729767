#include "XlsxPreviewWidget.h"
#include "XlsxSheetPainting.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

namespace {

constexpr int kDpm150 = 5906;

QImage canvas(int w, int h, bool pageDpi = false)
{
    QImage image(w, h, QImage::Format_RGB32);
    if (pageDpi) {
        image.setDotsPerMeterX(kDpm150);
        image.setDotsPerMeterY(kDpm150);
    }
    image.fill(Qt::white);
    return image;
}

// Where dark ink lies inside a rectangle: the bounding box of pixels darker than mid grey.
QRect inkBox(const QImage& image, const QRect& area = QRect())
{
    const QRect a = area.isNull() ? image.rect() : area;
    QRect box;
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

int countColour(const QImage& image, const QColor& colour, const QRect& area, int tolerance = 12)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) <= tolerance && qAbs(c.green() - colour.green()) <= tolerance &&
                qAbs(c.blue() - colour.blue()) <= tolerance)
                ++n;
        }
    }
    return n;
}

// Styles of one format per test case: font 0 default, fill 0 none, fill 1
// solid red (as a gray125 stand-in that must never show), fill 2 solid green.
XlsxIStyles baseStyles()
{
    XlsxIStyles s;
    s.fonts.append(XlsxIFont());
    XlsxIFill none;
    XlsxIFill red;
    red.solid = true;
    red.color = QColor(255, 0, 0);
    XlsxIFill green;
    green.solid = true;
    green.color = QColor(0, 200, 0);
    s.fills = {none, red, green};
    s.borders.append(XlsxIBorder());
    s.cellXfs.append(XlsxIXf());
    return s;
}

enum Painter { Preview, Page };

void paintCell(Painter which, QImage& image, const QRectF& r, const XlsxICell& cell, const XlsxIStyles& styles)
{
    QPainter p(&image);
    if (which == Preview) {
        XlsxPreviewWidget widget;
        widget.drawCell(p, r, cell, styles);
    } else {
        iDrawPageCell(p, r, cell, styles);
    }
}

XlsxICell textCell(const QString& text, int style)
{
    XlsxICell c;
    c.text = text;
    c.style = style;
    return c;
}

XlsxICell numberCell(double value, int style)
{
    XlsxICell c;
    c.number = value;
    c.isNumber = true;
    c.text = QString::number(value);
    c.style = style;
    return c;
}

} // namespace

class TestXlsxPainting : public QObject {
    Q_OBJECT
private slots:
    void styleBeyondFormatsIsPlainText_data();
    void styleBeyondFormatsIsPlainText();
    void reservedFillsNeverApplyAlone_data();
    void reservedFillsNeverApplyAlone();
    void absentSidesDrawNothing_data();
    void absentSidesDrawNothing();
    void dashStylesDifferPerPainter_data();
    void dashStylesDifferPerPainter();
    void alignmentPerPainter_data();
    void alignmentPerPainter();
    void fontSizesPerPainter();
    void barsFromTheRangeMinimum();
    void horizontalBars();
    void pieSpans();
    void linesTakeZeroIntoTheRange();
    void denseLinesDrawFewPoints_data();
    void denseLinesDrawFewPoints();
    void unknownChartSaysChart();
    void shortPlotBoxKeepsOnlyFrameAndTitle();
};

void TestXlsxPainting::styleBeyondFormatsIsPlainText_data()
{
    QTest::addColumn<int>("painter");
    QTest::addColumn<QColor>("grid");
    QTest::newRow("preview") << int(Preview) << QColor(220, 220, 220);
    QTest::newRow("page") << int(Page) << QColor(210, 210, 210);
}

void TestXlsxPainting::styleBeyondFormatsIsPlainText()
{
    QFETCH(int, painter);
    QFETCH(QColor, grid);
    XlsxIStyles styles = baseStyles();
    styles.cellXfs.first().fillId = 2;
    styles.cellXfs.first().applyFill = true;
    QImage image = canvas(240, 40);
    paintCell(Painter(painter), image, QRectF(10, 5, 220, 30), numberCell(12345, 7), styles);
    const QRect ink = inkBox(image, QRect(11, 6, 218, 28));
    QVERIFY(!ink.isNull());
    QVERIFY2(ink.left() < 30 && ink.right() < 140, "a number without a format stays left-aligned");
    QCOMPARE(countColour(image, QColor(0, 200, 0), image.rect()), 0);
    QVERIFY(countColour(image, grid, QRect(20, 5, 200, 1), 30) > 150);
}

void TestXlsxPainting::reservedFillsNeverApplyAlone_data()
{
    QTest::addColumn<int>("fillId");
    QTest::addColumn<bool>("applyFill");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("fill 1 alone") << 1 << false << QColor(Qt::white);
    QTest::newRow("fill 1 applied") << 1 << true << QColor(255, 0, 0);
    QTest::newRow("fill 2 alone") << 2 << false << QColor(0, 200, 0);
    QTest::newRow("fill beyond the list") << 9 << true << QColor(Qt::white);
}

void TestXlsxPainting::reservedFillsNeverApplyAlone()
{
    QFETCH(int, fillId);
    QFETCH(bool, applyFill);
    QFETCH(QColor, expected);
    XlsxIStyles styles = baseStyles();
    XlsxIXf xf;
    xf.fillId = fillId;
    xf.applyFill = applyFill;
    styles.cellXfs.append(xf);
    for (Painter which : {Preview, Page}) {
        QImage image = canvas(60, 40);
        paintCell(which, image, QRectF(5, 5, 50, 30), textCell(QString(), 1), styles);
        QCOMPARE(image.pixelColor(30, 20), expected);
    }
}

void TestXlsxPainting::absentSidesDrawNothing_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("all sides absent") << false;
    QTest::newRow("all sides present") << true;
}

void TestXlsxPainting::absentSidesDrawNothing()
{
    QFETCH(bool, present);
    XlsxIStyles styles = baseStyles();
    XlsxIBorder border;
    for (XlsxIBorderSide* side : {&border.left, &border.right, &border.top, &border.bottom}) {
        side->present = present;
        side->style = QStringLiteral("thin");
        side->color = QColor(0, 0, 255);
    }
    styles.borders.append(border);
    XlsxIXf xf;
    xf.borderId = 1;
    styles.cellXfs.append(xf);
    for (Painter which : {Preview, Page}) {
        QImage image = canvas(60, 40);
        paintCell(which, image, QRectF(5, 5, 50, 30), textCell(QString(), 1), styles);
        const int blue = countColour(image, QColor(0, 0, 255), image.rect(), 60);
        const int other = countColour(image, QColor(Qt::white), image.rect(), 0);
        if (present)
            QVERIFY(blue > 100);
        else
            QCOMPARE(other, 60 * 40); // neither sides nor the grid rectangle
    }
}

void TestXlsxPainting::dashStylesDifferPerPainter_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("painter");
    QTest::addColumn<bool>("dashed");
    QTest::addColumn<int>("width");
    QTest::newRow("mediumDashDot preview") << "mediumDashDot" << int(Preview) << true << 1;
    QTest::newRow("mediumDashDot page") << "mediumDashDot" << int(Page) << false << 1;
    QTest::newRow("dashDot preview") << "dashDot" << int(Preview) << false << 1;
    QTest::newRow("dashDot page") << "dashDot" << int(Page) << false << 1;
    QTest::newRow("mediumDashed preview") << "mediumDashed" << int(Preview) << true << 2;
    QTest::newRow("mediumDashed page") << "mediumDashed" << int(Page) << false << 1;
    QTest::newRow("dotted preview") << "dotted" << int(Preview) << true << 1;
    QTest::newRow("thick page") << "thick" << int(Page) << false << 3;
}

void TestXlsxPainting::dashStylesDifferPerPainter()
{
    QFETCH(QString, style);
    QFETCH(int, painter);
    QFETCH(bool, dashed);
    QFETCH(int, width);
    XlsxIStyles styles = baseStyles();
    XlsxIBorder border;
    border.top.present = true;
    border.top.style = style;
    border.top.color = QColor(0, 0, 255);
    styles.borders.append(border);
    XlsxIXf xf;
    xf.borderId = 1;
    styles.cellXfs.append(xf);
    QImage image = canvas(220, 40);
    paintCell(Painter(painter), image, QRectF(10, 20, 200, 15), textCell(QString(), 1), styles);
    // Along the line: gaps only when dashed; across it: the pen width.
    int gaps = 0;
    for (int x = 20; x < 200; ++x) {
        bool inked = false;
        for (int y = 17; y <= 23; ++y)
            inked = inked || qBlue(image.pixel(x, y)) > qRed(image.pixel(x, y)) + 60;
        gaps += inked ? 0 : 1;
    }
    QCOMPARE(gaps > 0, dashed);
    int rows = 0;
    for (int y = 14; y <= 26; ++y)
        rows += countColour(image, QColor(0, 0, 255), QRect(100, y, 1, 1), 80) > 0 ? 1 : 0;
    if (!dashed)
        QCOMPARE(rows, width);
}

void TestXlsxPainting::alignmentPerPainter_data()
{
    QTest::addColumn<int>("painter");
    QTest::addColumn<bool>("number");
    QTest::addColumn<QString>("horizontal");
    QTest::addColumn<QString>("vertical");
    QTest::addColumn<QString>("where"); // l, c, r then t, m, b
    QTest::newRow("preview number plain") << int(Preview) << true << "" << "" << "rm";
    QTest::newRow("page number plain") << int(Page) << true << "" << "" << "rm";
    QTest::newRow("preview number centred") << int(Preview) << true << "center" << "" << "cm";
    QTest::newRow("preview number general") << int(Preview) << true << "general" << "" << "rm";
    QTest::newRow("page number general") << int(Page) << true << "general" << "" << "rm";
    QTest::newRow("page text general") << int(Page) << false << "general" << "" << "lm";
    QTest::newRow("page number centred") << int(Page) << true << "center" << "" << "cm";
    QTest::newRow("preview text top") << int(Preview) << false << "" << "top" << "lt";
    QTest::newRow("page text top ignored") << int(Page) << false << "" << "top" << "lm";
    QTest::newRow("preview bottom right") << int(Preview) << false << "right" << "bottom" << "rb";
    QTest::newRow("preview justify") << int(Preview) << false << "justify" << "" << "lm";
    QTest::newRow("page justify is left") << int(Page) << false << "justify" << "" << "lm";
}

void TestXlsxPainting::alignmentPerPainter()
{
    QFETCH(int, painter);
    QFETCH(bool, number);
    QFETCH(QString, horizontal);
    QFETCH(QString, vertical);
    QFETCH(QString, where);
    XlsxIStyles styles = baseStyles();
    XlsxIXf xf;
    xf.horizontal = horizontal;
    xf.vertical = vertical;
    styles.cellXfs.append(xf);
    const XlsxICell cell = number ? numberCell(7, 1) : textCell(QStringLiteral("I"), 1);
    const QRect r(0, 0, 300, 120);
    QImage image = canvas(r.width(), r.height(), Painter(painter) == Page);
    paintCell(Painter(painter), image, r, cell, styles);
    const QRect ink = inkBox(image, r.adjusted(1, 1, -1, -1));
    QVERIFY(!ink.isNull());
    const int cx = ink.center().x();
    const int cy = ink.center().y();
    const QChar h = where.at(0);
    const QChar v = where.at(1);
    QCOMPARE(cx < 100 ? 'l' : cx > 200 ? 'r' : 'c', h.toLatin1());
    QCOMPARE(cy < 40 ? 't' : cy > 80 ? 'b' : 'm', v.toLatin1());
}

void TestXlsxPainting::fontSizesPerPainter()
{
    XlsxIStyles styles = baseStyles();
    XlsxIFont small;
    small.size = 11;
    XlsxIFont big;
    big.size = 22;
    styles.fonts = {XlsxIFont(), small, big};
    XlsxIXf xf;
    xf.fontId = 1;
    styles.cellXfs.append(xf);
    xf.fontId = 2;
    styles.cellXfs.append(xf);
    const auto capHeight = [&](Painter which, int style) {
        QImage image = canvas(300, 120, which == Page);
        paintCell(which, image, QRectF(0, 0, 300, 120), textCell(QStringLiteral("H"), style), styles);
        return inkBox(image, QRect(1, 1, 298, 118)).height();
    };
    // Preview: 11 pt is a 13-pixel font; page: 11 pt at 150 dpi is a 23-pixel font.
    const int preview11 = capHeight(Preview, 1);
    const int page11 = capHeight(Page, 1);
    QVERIFY2(preview11 >= 7 && preview11 <= 11, qPrintable(QString::number(preview11)));
    QVERIFY2(page11 >= 13 && page11 <= 19, qPrintable(QString::number(page11)));
    const double ratio = double(capHeight(Page, 2)) / page11;
    QVERIFY2(ratio > 1.7 && ratio < 2.3, qPrintable(QString::number(ratio)));
}

namespace {

XlsxIChart barChart(XlsxIChart::Type type, const QList<double>& values, const QString& title = QString())
{
    XlsxIChart chart;
    chart.type = type;
    chart.title = title;
    XlsxIChartSeries series;
    series.values = values;
    chart.series.append(series);
    return chart;
}

QImage paintChart(const XlsxIChart& chart, const QRectF& r, int w = 240, int h = 240)
{
    QImage image = canvas(w, h);
    QPainter p(&image);
    iDrawChart(p, r, chart, 1.0);
    return image;
}

const QColor kBlue(66, 114, 196);
const QColor kOrange(237, 125, 49);
const QColor kGreen(169, 209, 142);

} // namespace

void TestXlsxPainting::barsFromTheRangeMinimum()
{
    // Plot box (14, 14) to (226, 226), h 212; range -1..2; band = 212 / 7.
    const QImage image = paintChart(barChart(XlsxIChart::Bar, {2, -1}), QRectF(10, 10, 220, 220));
    QCOMPARE(image.pixelColor(10, 100), QColor(180, 200, 240)); // frame
    QCOMPARE(image.pixelColor(20, 20), QColor(248, 250, 255));  // background
    const double band = 212.0 / 7;
    const int bar0 = int(14 + band * 1.5);
    QCOMPARE(image.pixelColor(bar0, 222), kBlue);   // from the bottom, not from the zero line
    QCOMPARE(image.pixelColor(bar0, 18), kBlue);    // up to the top: 2 is the maximum
    const int bar1 = int(14 + band * 4.5);
    QVERIFY(image.pixelColor(bar1, 222) != kBlue); // -1 is the minimum: no height
    // The zero line one third up the plot.
    const int z = qRound(226 - 212.0 / 3);
    QVERIFY(countColour(image, QColor(100, 100, 100), QRect(bar1, z - 1, 1, 3), 20) > 0);
    QCOMPARE(countColour(image, QColor(100, 100, 100), QRect(bar1, z - 20, 1, 15), 20), 0);
}

void TestXlsxPainting::horizontalBars()
{
    const QImage image = paintChart(barChart(XlsxIChart::BarHorizontal, {1, 2}), QRectF(10, 10, 220, 220));
    const double band = 212.0 / 7;
    const int y0 = int(14 + band * 1.5);
    const int y1 = int(14 + band * 4.5);
    QCOMPARE(image.pixelColor(115, y0), kBlue); // half the width
    QVERIFY(image.pixelColor(125, y0) != kBlue);
    QCOMPARE(image.pixelColor(220, y1), kBlue); // the whole width
}

void TestXlsxPainting::pieSpans()
{
    // Spans 1440, 1440, 2880 from 90 degrees: upper left, lower left, right half.
    const QImage image = paintChart(barChart(XlsxIChart::Pie, {1, 1, 2}), QRectF(10, 10, 220, 220));
    QCOMPARE(image.pixelColor(90, 90), kBlue);
    QCOMPARE(image.pixelColor(90, 150), kOrange);
    QCOMPARE(image.pixelColor(150, 90), kGreen);
    QCOMPARE(image.pixelColor(150, 150), kGreen);
    // Halves away from zero: 1/3 of the turn is 1920 exactly, 1/7 is 822.86 -> 823.
    const QImage sevenths = paintChart(barChart(XlsxIChart::Pie, {1, 6}), QRectF(10, 10, 220, 220));
    QCOMPARE(sevenths.pixelColor(100, 60), kBlue);
    const QImage nothing = paintChart(barChart(XlsxIChart::Pie, {0, 0}), QRectF(10, 10, 220, 220));
    QCOMPARE(countColour(nothing, kBlue, nothing.rect(), 0), 0);
}

void TestXlsxPainting::linesTakeZeroIntoTheRange()
{
    // Values 1 and 2: the range is 0..2, so the first point sits half way up.
    const QImage image = paintChart(barChart(XlsxIChart::Line, {1, 2}), QRectF(10, 10, 220, 220));
    QVERIFY(countColour(image, kBlue, QRect(14, 117, 6, 6), 30) > 0);
    QCOMPARE(countColour(image, kBlue, QRect(14, 200, 6, 20), 30), 0);
    QVERIFY(countColour(image, kBlue, QRect(220, 12, 6, 6), 30) > 0);
    // An area chart is drawn the same way, unfilled.
    const QImage area = paintChart(barChart(XlsxIChart::Area, {1, 2}), QRectF(10, 10, 220, 220));
    QCOMPARE(area, image);
}

void TestXlsxPainting::unknownChartSaysChart()
{
    const QImage image = paintChart(barChart(XlsxIChart::NoChart, {1, 2}), QRectF(10, 10, 220, 220));
    QVERIFY(countColour(image, QColor(130, 130, 180), QRect(80, 100, 80, 40), 40) > 10);
    QCOMPARE(countColour(image, kBlue, image.rect(), 0), 0);
}

void TestXlsxPainting::shortPlotBoxKeepsOnlyFrameAndTitle()
{
    // 30 high: the plot box loses 8 to the frame and 18 to the title, 4 remain.
    const QImage image = paintChart(barChart(XlsxIChart::Bar, {2, 3}, QStringLiteral("T")), QRectF(10, 10, 220, 30), 240, 60);
    QCOMPARE(countColour(image, kBlue, image.rect(), 0), 0);
    QVERIFY(!inkBox(image, QRect(11, 11, 218, 28)).isNull()); // the title
    const QImage untitled = paintChart(barChart(XlsxIChart::Bar, {2, 3}), QRectF(10, 10, 220, 30), 240, 60);
    QVERIFY(countColour(untitled, kBlue, untitled.rect(), 0) > 0);
}

// A line of many points draws a few points a pixel column that keep each
// column's lowest and highest, and no markers once they would overlap.
void TestXlsxPainting::denseLinesDrawFewPoints_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<double>("widthPx");
    QTest::addColumn<bool>("markers");
    QTest::addColumn<bool>("thinned"); // neighbours share a pixel column: drawn as one band

    QTest::newRow("five points") << 5 << "zigzag" << 212.0 << true << false;
    QTest::newRow("one point") << 1 << "zigzag" << 212.0 << true << false;
    QTest::newRow("35 points, 6 px apart") << 35 << "zigzag" << 212.0 << true << false;
    QTest::newRow("100 points, 2 px apart") << 100 << "smooth" << 212.0 << false << false;
    QTest::newRow("213 points, 1 px apart") << 213 << "alternating" << 212.0 << false << false;
    QTest::newRow("20,000 zigzag") << 20000 << "zigzag" << 212.0 << false << true;
    QTest::newRow("100,000 zigzag") << 100000 << "zigzag" << 212.0 << false << true;
    QTest::newRow("20,000 smooth") << 20000 << "smooth" << 212.0 << false << true;
    QTest::newRow("20,000 spikes") << 20000 << "spikes" << 212.0 << false << true;
    QTest::newRow("wider than the points") << 50 << "zigzag" << 5000.0 << true << false;
    // Below four points a column the line still folds back in every column.
    QTest::newRow("300 alternating, two a column") << 300 << "alternating" << 212.0 << false << true;
    QTest::newRow("800 alternating") << 800 << "alternating" << 212.0 << false << true;
    QTest::newRow("1,800 alternating") << 1800 << "alternating" << 500.0 << false << true;
}

void TestXlsxPainting::denseLinesDrawFewPoints()
{
    QFETCH(int, points);
    QFETCH(QString, shape);
    QFETCH(double, widthPx);
    QFETCH(bool, markers);
    QFETCH(bool, thinned);
    QList<double> values;
    for (int j = 0; j < points; ++j)
        values.append(shape == "zigzag"        ? double(j % 7)
                      : shape == "alternating" ? double(j % 2 * 6)
                      : shape == "smooth"      ? std::sin(j / 3000.0) * 3 + 3
                                               : (j * 7919 % 10007 == 0 ? 50.0 : 1.0));
    const QList<qsizetype> kept = iLinePointsDrawn(values, widthPx);
    QCOMPARE(iLineIsDense(points, widthPx), thinned);
    QVERIFY(!kept.isEmpty());
    QCOMPARE(kept.first(), qsizetype(0));
    QCOMPARE(kept.last(), qsizetype(points - 1));
    QVERIFY(kept.size() <= std::max<qsizetype>(points, 0) && kept.size() <= 4 * qsizetype(std::ceil(widthPx)) + 4);
    for (qsizetype i = 1; i < kept.size(); ++i)
        QVERIFY(kept.at(i - 1) < kept.at(i));
    // Every pixel column reaches as low and as high as its points do.
    const double step = points > 1 ? widthPx / (points - 1) : 0;
    QMap<int, std::pair<double, double>> all, drawn;
    const auto note = [&](QMap<int, std::pair<double, double>>& m, qsizetype j) {
        const int column = std::min(int(double(j) * step), int(widthPx) - 1);
        auto it = m.find(column);
        if (it == m.end())
            m.insert(column, {values.at(j), values.at(j)});
        else
            *it = {std::min(it->first, values.at(j)), std::max(it->second, values.at(j))};
    };
    for (qsizetype j = 0; j < points; ++j)
        note(all, j);
    for (qsizetype j : kept)
        note(drawn, j);
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        const auto d = drawn.value(it.key(), {-1e9, -1e9});
        // A column's points may be drawn from its neighbour's turn: within one column.
        const auto near = [&](int c) { return drawn.value(c, {1e9, -1e9}); };
        const double low = std::min({d.first, near(it.key() - 1).first, near(it.key() + 1).first});
        const double high = std::max({d.second, near(it.key() - 1).second, near(it.key() + 1).second});
        QVERIFY2(low <= it->first && high >= it->second, qPrintable(QString::number(it.key())));
    }
    // Markers stand above and below a flat line only while they do not overlap.
    const QImage image = paintChart(barChart(XlsxIChart::Line, QList<double>(std::min(points, 2000), 1.0)),
                                    QRectF(10, 10, 220, 220));
    if (points <= 2000 && widthPx < 1000) {
        // Values 0..1: the line runs along the plot's top, y 14; markers reach 3 px below it.
        QCOMPARE(countColour(image, kBlue, QRect(14, 16, 212, 2), 60) > 0, markers);
    }
}

QTEST_MAIN(TestXlsxPainting)
#include "tst_xlsxpainting.moc"
