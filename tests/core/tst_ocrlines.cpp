#include "OcrBlocks.h"
#include "OcrLines.h"

#include <QPainter>
#include <QtTest>

namespace {

constexpr double kPageHeight = 800.0;
constexpr double kPageWidth = 600.0;

// A word whose top lies at `topShare` of the page height.
OcrWord wordAt(const QString &text, double x, double topShare, double height = 10, float confidence = 90)
{
    const double top = topShare * kPageHeight;
    return {text, QRectF(x, kPageHeight - top - height, 8.0 * text.size(), height), confidence};
}

// A line whose top lies `top` points below the top of the page.
TextBlock::Line lineAt(const QString &text, double x, double top, double width, double height = 10)
{
    TextBlock::Line l;
    l.text = text;
    l.rect = QRectF(x, kPageHeight - top - height, width, height);
    l.fontSize = float(height);
    return l;
}

QImage ruledImage(QSize size, int horizontal, int vertical, int thickness = 1)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int i = 0; i < horizontal; ++i)
        painter.fillRect(5, 20 + i * 40, size.width() - 10, thickness, Qt::black);
    for (int i = 0; i < vertical; ++i)
        painter.fillRect(10 + i * 100, 5, 1, size.height() - 10, Qt::black);
    return image;
}

} // namespace

class OcrLinesTest : public QObject {
    Q_OBJECT
private slots:
    void signatureNoise_data();
    void signatureNoise();
    void loneScribbleWordsDropped();
    void closeCentresShareRow();
    void gapLimitByPosition_data();
    void gapLimitByPosition();
    void ruleEndsLine();
    void sizeFromGlyphs();
    void lineFromWords();
    void inkRect_data();
    void inkRect();
    void tablePage_data();
    void tablePage();
    void paragraphGapLimits_data();
    void paragraphGapLimits();
    void paragraphsSortedTopDown();
    void columnRunsStackCells();
    void numberedClauseStandsAlone();
    void blockFromLinesSortsAndJoins();
};

void OcrLinesTest::signatureNoise_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("topShare");
    QTest::addColumn<bool>("inTextRow");
    QTest::addColumn<float>("confidence");
    QTest::addColumn<bool>("noise");
    constexpr float unsure = 45;
    QTest::newRow("two latin capitals at the foot") << "AB" << 0.85 << false << unsure << true;
    QTest::newRow("same at mid-page") << "AB" << 0.5 << false << unsure << false;
    QTest::newRow("top just above 70 %") << "ab" << 0.69 << false << unsure << false;
    QTest::newRow("short latin with full stop") << "ab." << 0.85 << false << unsure << true;
    QTest::newRow("short latin in a text row") << "ab." << 0.85 << true << unsure << false;
    QTest::newRow("capitals blob even in a row") << "AB" << 0.85 << true << unsure << true;
    QTest::newRow("cyrillic mixed case") << QStringLiteral("Дом") << 0.85 << false << unsure << false;
    QTest::newRow("double cyrillic U") << QStringLiteral("УУ") << 0.85 << true << unsure << true;
    QTest::newRow("no letters") << "~-~" << 0.85 << true << unsure << true;
    QTest::newRow("long latin word") << "meeting" << 0.85 << false << unsure << false;
    QTest::newRow("latin with cyrillic") << QStringLiteral("aб") << 0.85 << false << unsure << false;
    QTest::newRow("capitals just below sure") << "AB" << 0.85 << false << 59.9f << true;
    // Requisites at the foot of a letter, read with confidence.
    for (const QString &word : {QStringLiteral("ООО"), QStringLiteral("ИНН"), QStringLiteral("КПП"),
                                QStringLiteral("ОГРН"), QStringLiteral("РФ"), QStringLiteral("№"),
                                QStringLiteral("CEO"), QStringLiteral("PDF"), QStringLiteral("OK?"),
                                QStringLiteral("PS:"), QStringLiteral("of")})
        QTest::newRow(qPrintable(QStringLiteral("sure ") + word)) << word << 0.9 << false << 60.0f << false;
}

void OcrLinesTest::signatureNoise()
{
    QFETCH(QString, text);
    QFETCH(double, topShare);
    QFETCH(bool, inTextRow);
    QFETCH(float, confidence);
    const OcrWord word = wordAt(text, 100, topShare, 10, confidence);
    QTEST(isLikelySignatureNoiseWord(word, kPageHeight, inTextRow), "noise");
    QVERIFY(!isLikelySignatureNoiseWord(word, 0.0, inTextRow));
}

void OcrLinesTest::loneScribbleWordsDropped()
{
    const std::vector<OcrWord> words = {
        wordAt("Sf", 300, 0.9, 10, 50),        // alone on its row
        wordAt("ij", 72, 0.95, 10, 45),        // next to a word, but itself unsure
        wordAt("word", 95, 0.95),              // a sure neighbour of "ij"
        wordAt("ok", 400, 0.85, 10, 50),
        wordAt("xy", 500, 0.85, 10, 50),       // far from "ok"
        wordAt("OK", 300, 0.8, 10, 60),        // sure: kept alone
    };
    const auto kept = removeSignatureNoiseWords(words, kPageHeight);
    QCOMPARE(kept.size(), size_t(2));
    QCOMPARE(kept[0].text, QStringLiteral("word"));
    QCOMPARE(kept[1].text, QStringLiteral("OK"));
    QVERIFY(sitsInRowOfOrdinaryWords({wordAt("ab", 100, 0.9), wordAt("cd", 124, 0.9)}, 0));
    QVERIFY(!sitsInRowOfOrdinaryWords({wordAt("ab", 100, 0.9), wordAt("cd", 124, 0.93)}, 0));
    // Short latin words in a row of text at the foot stay.
    const std::vector<OcrWord> row = {wordAt("See", 72, 0.9), wordAt("you", 104, 0.9), wordAt("on", 136, 0.9),
                                      wordAt("May", 156, 0.9), wordAt("5.", 188, 0.9)};
    QCOMPARE(removeSignatureNoiseWords(row, kPageHeight).size(), row.size());
}

void OcrLinesTest::closeCentresShareRow()
{
    // Centres 2.5 pt apart with heights 10 and 12: tolerance max(0.58 * 12, 3) = 6.96.
    OcrWord a{"one", QRectF(100, 500, 30, 10), 90};
    OcrWord b{"two", QRectF(140, 500 - 3.5, 30, 12), 90};
    const auto rows = groupWordsIntoRows({b, a}, kPageHeight);
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].words[0].text, QStringLiteral("one"));
    QCOMPARE(rows[0].meanHeight, 11.0);
    OcrWord c{"low", QRectF(140, 500 - 8, 30, 10), 90};
    QCOMPARE(groupWordsIntoRows({a, c}, kPageHeight).size(), size_t(2));
}

void OcrLinesTest::gapLimitByPosition_data()
{
    QTest::addColumn<double>("topShare");
    QTest::addColumn<double>("gap");
    QTest::addColumn<int>("lines");
    // Row of two 10 pt words, narrow (under 46 % of the page): limits
    // max(2 * 10, 18) = 20 in the middle band, max(0.95 * 10, 7.5) = 9.5 elsewhere.
    QTest::newRow("middle, gap 20") << 0.5 << 20.0 << 1;
    QTest::newRow("middle, gap 20.5") << 0.5 << 20.5 << 2;
    QTest::newRow("head, gap 9.5") << 0.1 << 9.5 << 1;
    QTest::newRow("head, gap 10") << 0.1 << 10.0 << 2;
    QTest::newRow("foot, gap 10") << 0.8 << 10.0 << 2;
}

void OcrLinesTest::gapLimitByPosition()
{
    QFETCH(double, topShare);
    QFETCH(double, gap);
    const OcrWord a = wordAt(QStringLiteral("Слово"), 100, topShare);
    OcrWord b = wordAt(QStringLiteral("другое"), 0, topShare);
    b.rect.moveLeft(a.rect.right() + gap);
    QTEST(int(buildLinesFromWords({a, b}, kPageWidth, kPageHeight).size()), "lines");
}

void OcrLinesTest::ruleEndsLine()
{
    // Gap 15 pt stays within a line in the middle band; a ruling in it ends the line.
    const OcrWord number = wordAt(QStringLiteral("3"), 100, 0.5);
    OcrWord name = wordAt(QStringLiteral("Папка"), 0, 0.5);
    name.rect.moveLeft(number.rect.right() + 15);
    const QRectF rule(number.rect.right() + 7, number.rect.y() - 10, 1, 30);
    QCOMPARE(buildLinesFromWords({number, name}, kPageWidth, kPageHeight).size(), size_t(1));
    QCOMPARE(buildLinesFromWords({number, name}, kPageWidth, kPageHeight, {}, {rule}).size(), size_t(2));
    const QRectF above = rule.translated(0, 40);
    QCOMPARE(buildLinesFromWords({number, name}, kPageWidth, kPageHeight, {}, {above}).size(), size_t(1));
}

void OcrLinesTest::sizeFromGlyphs()
{
    const GlyphHeights caps{{8.5f, 8.5f, 8.6f}, {}};
    const float size = fontSizeFromGlyphs(caps, 1.4f);
    QVERIFY(size > 11.0f && size < 13.0f); // 12 pt text with a cap height of 0.71 em
    // Specks swelling a few glyph boxes do not change it.
    QCOMPARE(fontSizeFromGlyphs({{8.5f, 13.0f, 8.5f, 8.6f, 17.0f}, {}}, 1.4f), size);
    // Few capitals: the x-height, turned into a cap height by the page's ratio, decides.
    QCOMPARE(fontSizeFromGlyphs({{13.0f}, {6.1f, 6.1f, 6.2f, 9.0f}}, 8.5f / 6.1f), size);
    QCOMPARE(fontSizeFromGlyphs({}, 1.4f), 0.0f);
    // The ratio comes from the lines that show both kinds, else a common one.
    QCOMPARE(capPerXHeight({caps, {{8.5f, 8.5f}, {6.1f, 6.1f}}, {{}, {6.0f, 6.0f}}}), 8.5f / 6.1f);
    QVERIFY(capPerXHeight({caps}) > 1.2f && capPerXHeight({caps}) < 1.6f);
}

void OcrLinesTest::lineFromWords()
{
    const std::vector<OcrWord> city = {{QStringLiteral("г."), QRectF(0, 0, 10, 10), 90},
                                       {QStringLiteral("Тверь,"), QRectF(12, 0, 30, 10), 90}};
    QCOMPARE(makeLineFromWords(city).text, QStringLiteral("г. Тверь,"));
    QCOMPARE(makeLineFromWords(city, QStringLiteral("Тверь")).text, QStringLiteral("г., Тверь,"));
    QCOMPARE(makeLineFromWords(city, QStringLiteral("Москва")).text, QStringLiteral("г. Тверь,"));
    // A lone trailing "т" is dropped from a longer line.
    const std::vector<OcrWord> words = {{QStringLiteral("Подпись"), QRectF(0, 0, 40, 10), 90},
                                        {QStringLiteral("т"), QRectF(60, 0, 8, 30), 90}};
    const TextBlock::Line line = makeLineFromWords(words);
    QCOMPARE(line.text, QStringLiteral("Подпись"));
    QCOMPARE(line.words.size(), size_t(1));
    QCOMPARE(line.rect, QRectF(0, 0, 40, 10));
    QCOMPARE(line.fontSize, 7.2f);
    QCOMPARE(makeLineFromWords({words[1]}).text, QStringLiteral("т"));
}

namespace {

// A page image at 1 px/pt with glyph-like ink blocks in one text row.
QImage pageWithInk(const std::vector<std::pair<int, int>> &inkRuns, bool rule = false)
{
    QImage image(int(kPageWidth), int(kPageHeight), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (const auto &[left, right] : inkRuns) {
        for (int x = left; x < right; x += 6)
            painter.fillRect(x, 400, 4, 12, Qt::black);
    }
    if (rule)
        painter.fillRect(0, 406, int(kPageWidth), 2, Qt::black);
    return image;
}

TextBlock::Line recognisedLine(double x, double width)
{
    TextBlock::Line line;
    line.text = QStringLiteral("Текст строки");
    line.rect = QRectF(x, kPageHeight - 412, width, 12);
    return line;
}

} // namespace

void OcrLinesTest::inkRect_data()
{
    QTest::addColumn<bool>("rule");
    QTest::addColumn<double>("boxLeft");
    QTest::addColumn<double>("boxWidth");
    QTest::addColumn<int>("inkLeft");
    QTest::addColumn<int>("inkRight");
    QTest::addColumn<QRectF>("expected");  // null: the box stays
    // The recogniser's box covers only part of the ink. One column of slack and
    // one of margin on the left.
    QTest::newRow("follows the ink") << false << 120.0 << 80.0 << 100 << 220 << QRectF(98, kPageHeight - 412, 122, 12);
    QTest::newRow("a ruling through the row is no ink") << true << 120.0 << 80.0 << 100 << 220
                                                         << QRectF(98, kPageHeight - 412, 122, 12);
    // Wider than max(cropW + 120, 2.8 cropW): left as recognised.
    QTest::newRow("ink far wider than the box") << false << 250.0 << 40.0 << 40 << 560 << QRectF();
}

void OcrLinesTest::inkRect()
{
    QFETCH(bool, rule);
    QFETCH(double, boxLeft);
    QFETCH(double, boxWidth);
    QFETCH(int, inkLeft);
    QFETCH(int, inkRight);
    QFETCH(QRectF, expected);
    std::vector<TextBlock::Line> lines = {recognisedLine(boxLeft, boxWidth)};
    const QRectF before = lines[0].rect;
    refineOcrLineInkRects(lines, pageWithInk({{inkLeft, inkRight}}, rule), 1.0, kPageHeight);
    QCOMPARE(lines[0].rect, expected.isNull() ? before : expected);
}

void OcrLinesTest::tablePage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("table");
    QTest::newRow("null") << QImage() << false;
    QTest::newRow("79 wide") << ruledImage(QSize(79, 2000), 10, 10) << false;
    QTest::newRow("4 rules, 1 column rule") << ruledImage(QSize(400, 300), 4, 1) << false;
    QTest::newRow("4 rules, 2 column rules") << ruledImage(QSize(400, 300), 4, 2) << true;
    QTest::newRow("thick rules count once") << ruledImage(QSize(400, 300), 3, 2, 3) << false;
    QTest::newRow("4 thick rules") << ruledImage(QSize(400, 300), 4, 2, 3) << true;
}

void OcrLinesTest::tablePage()
{
    QFETCH(QImage, image);
    QTEST(isLikelyTablePage(image), "table");
}

void OcrLinesTest::paragraphGapLimits_data()
{
    QTest::addColumn<int>("blockLines");
    QTest::addColumn<double>("gap");
    QTest::addColumn<int>("blocks");
    // Lines 10 pt high: a one-line block reaches max(14.5, 10), a longer one max(8.5, 6).
    QTest::newRow("one-line block, gap 12") << 1 << 12.0 << 1;
    QTest::newRow("one-line block, gap 15") << 1 << 15.0 << 2;
    QTest::newRow("two-line block, gap 8.5") << 2 << 8.5 << 1;
    QTest::newRow("two-line block, gap 12") << 2 << 12.0 << 2;
}

void OcrLinesTest::paragraphGapLimits()
{
    QFETCH(int, blockLines);
    QFETCH(double, gap);
    std::vector<TextBlock::Line> lines;
    double top = 100;
    for (int i = 0; i < blockLines; ++i, top += 12)
        lines.push_back(lineAt(QStringLiteral("строка %1").arg(i), 50, top, 300));
    lines.push_back(lineAt(QStringLiteral("следующая"), 50, top - 12 + 10 + gap, 300));
    const auto blocks = groupOcrLines(lines, 3, kPageHeight);
    QTEST(int(blocks.size()), "blocks");
}

void OcrLinesTest::paragraphsSortedTopDown()
{
    const auto blocks = groupOcrLines({lineAt(QStringLiteral("низ"), 50, 500, 100),
                                       lineAt(QStringLiteral("правый"), 400, 100, 100),
                                       lineAt(QStringLiteral("левый"), 50, 105, 100)},
                                      0, kPageHeight);
    QCOMPARE(blocks.size(), size_t(3));
    QCOMPARE(blocks[0].text, QStringLiteral("левый")); // tops within 8 pt: left first
    QCOMPARE(blocks[1].text, QStringLiteral("правый"));
    QCOMPARE(blocks[2].text, QStringLiteral("низ"));
}

void OcrLinesTest::columnRunsStackCells()
{
    const auto blocks = groupTableColumnRuns({lineAt(QStringLiteral("Наименование"), 130, 100, 80),
                                              lineAt(QStringLiteral("Кол-во"), 400, 100, 40),
                                              lineAt(QStringLiteral("объекта"), 130, 112, 50),
                                              lineAt(QStringLiteral("5"), 405, 112, 8)},
                                             0, kPageWidth, kPageHeight);
    QCOMPARE(blocks.size(), size_t(2));
    QCOMPARE(blocks[0].text, QStringLiteral("Наименование\nобъекта"));
    QCOMPARE(blocks[1].text, QStringLiteral("Кол-во\n5"));
    // A line of the same row never joins the run.
    QCOMPARE(groupTableColumnRuns({lineAt(QStringLiteral("первая"), 100, 100, 80),
                                   lineAt(QStringLiteral("вторая"), 150, 102, 80)},
                                  0, kPageWidth, kPageHeight)
                 .size(),
             size_t(2));
}

void OcrLinesTest::numberedClauseStandsAlone()
{
    const TextBlock::Line clause = lineAt(QStringLiteral("1. Сведения о частях участка"), 50, 100, 300);
    QVERIFY(isNumberedClauseLine(clause, kPageWidth));
    QVERIFY(!canAttachTableColumnLine(clause, kPageWidth));
    QVERIFY(!isNumberedClauseLine(lineAt(QStringLiteral("1. Сведения"), 50, 100, 200), kPageWidth));
    const auto blocks = groupTableColumnRuns({lineAt(QStringLiteral("Таблица участков"), 50, 88, 300), clause,
                                              lineAt(QStringLiteral("продолжение строки"), 50, 112, 300)},
                                             0, kPageWidth, kPageHeight);
    QCOMPARE(blocks.size(), size_t(3));
}

void OcrLinesTest::blockFromLinesSortsAndJoins()
{
    TextBlock::Line second = lineAt(QStringLiteral(" второй "), 50, 120, 100, 14);
    second.fontFamily = QStringLiteral("Liberation Serif");
    const TextBlock block = blockFromOcrLines({second, lineAt(QStringLiteral("  "), 50, 200, 100),
                                               lineAt(QStringLiteral("первый"), 60, 100, 40)},
                                              2, kPageHeight);
    QCOMPARE(block.text, QStringLiteral("первый\nвторой"));
    QCOMPARE(block.rect, QRectF(50, kPageHeight - 134, 100, 34));
    QCOMPARE(block.fontFamily, QStringLiteral("Liberation Serif"));
    QCOMPARE(block.fontSize, 14.0f);

    // Lines without text leave no text and keep the old rect.
    TextBlock blank;
    blank.rect = QRectF(1, 2, 3, 4);
    blank.text = QStringLiteral("старый");
    blank.lines.push_back(lineAt(QStringLiteral(" "), 0, 0, 10));
    rebuildBlockFromLines(blank);
    QVERIFY(blank.text.isEmpty());
    QCOMPARE(blank.rect, QRectF(1, 2, 3, 4));
}

QTEST_MAIN(OcrLinesTest)
#include "tst_ocrlines.moc"
