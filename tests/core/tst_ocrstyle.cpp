#include "FontMatcher.h"
#include "OcrStyle.h"
#include "OcrText.h"

#include <QFontInfo>
#include <QPainter>
#include <QtTest>

namespace {

TextBlock::Line line(const QString &text, const QRectF &rect, float size = 10.0f, bool bold = false)
{
    TextBlock::Line l;
    l.text = text;
    l.rect = rect;
    l.fontSize = size;
    l.bold = bold;
    return l;
}

TextBlock blockOf(std::vector<TextBlock::Line> lines)
{
    TextBlock b;
    QRectF r;
    QStringList texts;
    for (const auto &l : lines) {
        r = r.isNull() ? l.rect : r.united(l.rect);
        texts << l.text;
    }
    b.rect = b.originalRect = r;
    b.text = texts.join('\n');
    b.lines = std::move(lines);
    return b;
}

// A line of text in black (or the given colour) on white, `pixelSize` high.
QImage renderedText(const QString &text, const QString &family, int pixelSize, bool bold = false,
                    QColor color = Qt::black)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 8, metrics.height() + 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(4, 2 + metrics.ascent(), text);
    return image;
}

} // namespace

class OcrStyleTest : public QObject {
    Q_OBJECT
private slots:
    void letterCounts_data();
    void letterCounts();
    void cropForPdfRect();
    void representativeLine();
    void keepBold_data();
    void keepBold();
    void bodyTextNormalised_data();
    void bodyTextNormalised();
    void splitByLineStyle_data();
    void splitByLineStyle();
    void styleRunKeepsLineBoxes();
    void matcherFindsSerifFamily();
    void textColour();
    void inkMeasures();
};

void OcrStyleTest::letterCounts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("meaningful");
    QTest::addColumn<double>("uppercase");
    QTest::newRow("empty") << QString() << 0 << 0.0;
    QTest::newRow("latin and digits") << QStringLiteral("ab1-2.") << 4 << 0.0;
    QTest::newRow("latin capitals") << QStringLiteral("ABC") << 3 << 1.0;
    QTest::newRow("mixed latin") << QStringLiteral("AbC") << 3 << 2.0 / 3.0;
    QTest::newRow("cyrillic") << QStringLiteral("Ёлка, дом") << 7 << 1.0 / 7.0;
    QTest::newRow("cyrillic capitals with digits") << QStringLiteral("ООО 12") << 5 << 1.0;
    QTest::newRow("number sign") << QStringLiteral("№ 5") << 1 << 0.0;
    QTest::newRow("vulgar fraction") << QStringLiteral("½") << 1 << 0.0;
    QTest::newRow("punctuation") << QStringLiteral("«—»…") << 0 << 0.0;
}

void OcrStyleTest::letterCounts()
{
    QFETCH(QString, text);
    QTEST(meaningfulCharCount(text), "meaningful");
    QTEST(uppercaseRatio(text), "uppercase");
}

void OcrStyleTest::cropForPdfRect()
{
    const QImage image(200, 400, QImage::Format_RGB32);
    // 2 px/pt on a 210 pt page: (10, 180, 20, 10) is pixels 20..59 x 40..59, plus the margin.
    const double pageHeight = 210.0;
    const QRect inside = imageCropForPdfRect(QRectF(10, 180, 20, 10), image, 2.0, pageHeight, 1);
    QCOMPARE(inside, QRect(QPoint(19, 39), QPoint(60, 60)));
    const QRect clipped = imageCropForPdfRect(QRectF(95, 180, 20, 10), image, 2.0, pageHeight, 3);
    QCOMPARE(clipped.right(), 199);
    QVERIFY(!imageCropForPdfRect(QRectF(10, -500, 20, 10), image, 2.0, pageHeight, 1).isValid());
    // A zero-sized rectangle still covers one pixel plus the margin.
    QCOMPARE(imageCropForPdfRect(QRectF(10, 180, 0, 0), image, 2.0, pageHeight, 0).size(), QSize(1, 1));
}

void OcrStyleTest::representativeLine()
{
    TextBlock block = blockOf({line(QStringLiteral("—"), QRectF(0, 0, 500, 10)),
                               line(QStringLiteral("ab"), QRectF(0, 0, 100, 10)),
                               line(QStringLiteral("abcd"), QRectF(0, 0, 40, 10)),
                               line(QStringLiteral("wxyz"), QRectF(0, 0, 40, 10))});
    // "ab": (32 + 100) * 0.35 = 46.2; "abcd": 64 + 40 = 104 and the first of equals wins.
    QCOMPARE(representativeStyleLine(block), &block.lines[2]);
    block.lines.resize(1);
    QCOMPARE(representativeStyleLine(block), nullptr);
}

void OcrStyleTest::keepBold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::newRow("empty") << QStringLiteral("  ") << false;
    QTest::newRow("capitals") << QStringLiteral("ДОГОВОР") << true;
    QTest::newRow("two capitals") << QStringLiteral("РФ") << false;
    QTest::newRow("mixed case word") << QStringLiteral("Договор") << false;
    QTest::newRow("numbered section") << QStringLiteral("2. Сведения о земельном участке") << true;
    QTest::newRow("numbered section, no space") << QStringLiteral("12.Сведения") << true;
    QTest::newRow("section word continues") << QStringLiteral("2. Сведениями") << false;
    QTest::newRow("whole line phrase") << QStringLiteral(" № п/п ") << true;
    QTest::newRow("whole line phrase with more") << QStringLiteral("№ п/п 1") << false;
    QTest::newRow("prefix phrase") << QStringLiteral("Учетные номера частей участка") << true;
    QTest::newRow("prefix phrase inside") << QStringLiteral("Все Учетные номера частей") << false;
    QTest::newRow("anywhere phrase") << QStringLiteral("список объектов недвижимости здесь") << true;
    QTest::newRow("case matters") << QStringLiteral("кадастровый номер") << false;
    QTest::newRow("configured prefix phrase") << QStringLiteral("Главный инженер проекта") << true;
}

void OcrStyleTest::keepBold()
{
    QFETCH(QString, text);
    QTEST(shouldKeepDocumentBold(text, {{QStringLiteral("Главный инженер"), BoldPhrase::Match::Prefix}}), "bold");
    if (text.startsWith(QStringLiteral("Главный")))
        QVERIFY(!shouldKeepDocumentBold(text));  // only when configured
}

void OcrStyleTest::bodyTextNormalised_data()
{
    QTest::addColumn<double>("widthShare");
    QTest::addColumn<double>("topShare");
    QTest::addColumn<bool>("normalised");
    QTest::newRow("half width, middle") << 0.5 << 0.5 << true;
    QTest::newRow("40 % width") << 0.4 << 0.5 << false;
    QTest::newRow("in the head") << 0.5 << 0.1 << false;
    QTest::newRow("at 74 %") << 0.5 << 0.74 << false;
}

void OcrStyleTest::bodyTextNormalised()
{
    QFETCH(double, widthShare);
    QFETCH(double, topShare);
    const double pageWidth = 600, pageHeight = 800;
    const double top = topShare * pageHeight;
    std::vector<TextBlock> blocks = {blockOf({line(QStringLiteral("a"), QRectF(50, pageHeight - top - 12, widthShare * pageWidth, 12), 11, true),
                                              line(QStringLiteral("b"), QRectF(50, pageHeight - top - 24, 100, 12), 14),
                                              line(QStringLiteral("c"), QRectF(50, pageHeight - top - 36, 100, 12), 12)})};
    blocks[0].fontFamily = QStringLiteral("Arial");
    normalizeBodyTextStyle(blocks, pageWidth, pageHeight);
    QFETCH(bool, normalised);
    QCOMPARE(blocks[0].fontFamily == QStringLiteral("Times New Roman"), normalised);
    if (normalised) {
        for (const auto &l : blocks[0].lines) {
            QCOMPARE(l.fontSize, 12.0f); // upper median of 11, 14, 12
            QVERIFY(!l.bold);
        }
    }
}

void OcrStyleTest::splitByLineStyle_data()
{
    QTest::addColumn<TextBlock::Line>("second");
    QTest::addColumn<int>("blocks");
    const QRectF below(0, 80, 200, 12);
    QTest::newRow("10 and 16 pt") << line(QStringLiteral("текст"), below, 16) << 2;
    QTest::newRow("10 and 13 pt") << line(QStringLiteral("текст"), below, 13) << 1;
    QTest::newRow("weight changes") << line(QStringLiteral("текст"), below, 10, true) << 2;
    TextBlock::Line otherFamily = line(QStringLiteral("текст"), below, 10);
    otherFamily.fontFamily = QStringLiteral("Arial");
    QTest::newRow("family changes") << otherFamily << 2;
    QTest::newRow("size from the box") << line(QStringLiteral("текст"), QRectF(0, 60, 200, 30), 0) << 2;
}

void OcrStyleTest::splitByLineStyle()
{
    QFETCH(TextBlock::Line, second);
    TextBlock::Line first = line(QStringLiteral("первая"), QRectF(0, 100, 200, 12), 10);
    first.fontFamily = QStringLiteral("Times New Roman");
    const auto out = splitBlocksByLineStyle({blockOf({first, second})});
    QTEST(int(out.size()), "blocks");
}

void OcrStyleTest::styleRunKeepsLineBoxes()
{
    const auto capitals = [](double y, float size) {
        return line(QStringLiteral("ЗАГОЛОВОК"), QRectF(0, y, 200, 12), size, true);
    };
    // Bold capitals of 10 and 20 pt stay in one run.
    std::vector<TextBlock> out = splitBlocksByLineStyle({blockOf({capitals(100, 10), capitals(85, 20)})});
    QCOMPARE(out.size(), size_t(1));

    TextBlock block = blockOf({line(QStringLiteral("один"), QRectF(0, 100, 90, 12), 10),
                               line(QStringLiteral("два"), QRectF(0, 83, 80, 10), 11),
                               line(QStringLiteral("три"), QRectF(0, 70, 70, 14), 11)});
    out.clear();
    finishStyleRunBlock(out, block);
    QCOMPARE(out.size(), size_t(1));
    const TextBlock &run = out[0];
    QCOMPARE(run.text, QStringLiteral("один\nдва\nтри"));
    // Lines stay on their own ink: no even spacing moves them off their words.
    QCOMPARE(run.lines[1].rect, QRectF(0, 83, 80, 10));
    QCOMPARE(run.lines[2].rect, QRectF(0, 70, 70, 14));
    for (const auto &l : run.lines)
        QCOMPARE(l.fontSize, 11.0f);
    QCOMPARE(run.fontSize, 11.0f);
    out.clear();  // a run without text is dropped
    finishStyleRunBlock(out, blockOf({line(QStringLiteral("  "), QRectF(0, 0, 10, 10))}));
    QVERIFY(out.empty());
}

void OcrStyleTest::matcherFindsSerifFamily()
{
    const QString text = QStringLiteral("Общество с ответственностью");
    const QImage crop = renderedText(text, QStringLiteral("Liberation Serif"), 40);
    const FontMatch m = FontMatcher::match(crop, text, float(crop.height()) / 2.0f);
    const QStringList serifs = {QFontInfo(QFont(QStringLiteral("Times New Roman"))).family(),
                                QStringLiteral("Liberation Serif")};
    QVERIFY2(serifs.contains(m.family), qPrintable(m.family));
    QVERIFY(!m.italic);
    QVERIFY(m.size >= 0.98f * float(crop.height()) / 2.0f);
}

void OcrStyleTest::textColour()
{
    QCOMPARE(FontMatcher::estimateTextColor(QImage()), QColor(Qt::black));
    QImage white(20, 20, QImage::Format_RGB32);
    white.fill(Qt::white);
    QCOMPARE(FontMatcher::estimateTextColor(white), QColor(Qt::black));
    const QImage blue = renderedText(QStringLiteral("Печать"), QStringLiteral("DejaVu Sans"), 30, true, QColor(20, 40, 180));
    const QColor c = FontMatcher::estimateTextColor(blue);
    QVERIFY2(c.blue() > 150 && c.red() < 60 && c.green() < 80, qPrintable(c.name()));
}

void OcrStyleTest::inkMeasures()
{
    QImage a(30, 20, QImage::Format_RGB32);
    a.fill(Qt::white);
    QImage b = a;
    QCOMPARE(FontMatcher::dice(a, b), 0.0f);
    QVERIFY(darkBounds(a).isEmpty());
    QVERIFY(darkBounds(QImage()).isEmpty());
    QPainter(&a).fillRect(0, 0, 10, 10, Qt::black);
    QCOMPARE(FontMatcher::dice(a, a), 1.0f);
    QPainter(&b).fillRect(10, 0, 10, 10, Qt::black);
    QCOMPARE(FontMatcher::dice(a, b), 0.0f);
    const QImage binary = FontMatcher::binarize(a);
    QCOMPARE(qGray(binary.pixel(0, 0)), 0);
    QCOMPARE(qGray(binary.pixel(15, 0)), 255);
    // Dark means below 190 grey.
    b.fill(Qt::white);
    b.setPixel(5, 4, qRgb(189, 189, 189));
    b.setPixel(20, 12, qRgb(0, 0, 0));
    b.setPixel(25, 15, qRgb(190, 190, 190));
    QCOMPARE(darkBounds(b), QRect(QPoint(5, 4), QPoint(20, 12)));
}

QTEST_MAIN(OcrStyleTest)
#include "tst_ocrstyle.moc"
