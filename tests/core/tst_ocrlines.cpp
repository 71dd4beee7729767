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

} // namespace

class OcrLinesTest : public QObject {
    Q_OBJECT
private slots:
    void signatureNoise_data();
    void signatureNoise();
    void shortLatinWordsInTextRowKept();
    void loneScribbleWordsDropped();
    void closeCentresShareRow();
    void gapLimitByPosition_data();
    void gapLimitByPosition();
    void ruleEndsLine();
    void sizeFromGlyphs();
    void cityAbbreviation();
    void trailingLoneTe();
    void inkRectFollowsInk();
    void inkRectIgnoresRules();
    void inkRectKeptWhenInkTooWide();
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

void OcrLinesTest::shortLatinWordsInTextRowKept()
{
    const std::vector<OcrWord> words = {wordAt("See", 72, 0.9), wordAt("you", 104, 0.9), wordAt("on", 136, 0.9),
                                        wordAt("May", 156, 0.9), wordAt("5.", 188, 0.9)};
    QCOMPARE(removeSignatureNoiseWords(words, kPageHeight).size(), words.size());
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

void OcrLinesTest::cityAbbreviation()
{
    const std::vector<OcrWord> words = {{QStringLiteral("г."), QRectF(0, 0, 10, 10), 90},
                                        {QStringLiteral("Тверь,"), QRectF(12, 0, 30, 10), 90}};
    QCOMPARE(makeLineFromWords(words).text, QStringLiteral("г. Тверь,"));
    QCOMPARE(makeLineFromWords(words, QStringLiteral("Тверь")).text, QStringLiteral("г., Тверь,"));
    QCOMPARE(makeLineFromWords(words, QStringLiteral("Москва")).text, QStringLiteral("г. Тверь,"));
}

void OcrLinesTest::trailingLoneTe()
{
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

void OcrLinesTest::inkRectFollowsInk()
{
    // Ink from 100 to 217; the recogniser's box covers only 120..200.
    std::vector<TextBlock::Line> lines = {recognisedLine(120, 80)};
    refineOcrLineInkRects(lines, pageWithInk({{100, 220}}), 1.0, kPageHeight);
    QCOMPARE(lines[0].rect.left(), 98.0); // one column of slack, one of margin
    QCOMPARE(lines[0].rect.right(), 220.0);
    QCOMPARE(lines[0].rect.y(), kPageHeight - 412);
}

void OcrLinesTest::inkRectIgnoresRules()
{
    std::vector<TextBlock::Line> lines = {recognisedLine(120, 80)};
    refineOcrLineInkRects(lines, pageWithInk({{100, 220}}, true), 1.0, kPageHeight);
    QCOMPARE(lines[0].rect.left(), 98.0); // one column of slack, one of margin
    QCOMPARE(lines[0].rect.right(), 220.0);
}

void OcrLinesTest::inkRectKeptWhenInkTooWide()
{
    // Ink runs 40..560 with the line box 250..290: wider than max(cropW + 120, 2.8 cropW).
    std::vector<TextBlock::Line> lines = {recognisedLine(250, 40)};
    const QRectF before = lines[0].rect;
    refineOcrLineInkRects(lines, pageWithInk({{40, 560}}), 1.0, kPageHeight);
    QCOMPARE(lines[0].rect, before);
}

QTEST_MAIN(OcrLinesTest)
#include "tst_ocrlines.moc"
