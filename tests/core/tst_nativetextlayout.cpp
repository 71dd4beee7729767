#include "NativeTextLayout.h"

#include <QTest>

using pdfengine::CharInfo;

namespace {

// Characters of a word laid out left to right from x, each w wide and h high.
std::vector<CharInfo> run(const QString& text, double x, double y, double w = 6, double h = 10)
{
    std::vector<CharInfo> chars;
    for (QChar ch : text) {
        CharInfo c;
        c.text = QString(ch);
        c.box = ch.isSpace() ? QRectF(x, y, 0, 0) : QRectF(x, y, w, h);
        c.fontName = QStringLiteral("Body");
        chars.push_back(c);
        x += w;
    }
    return chars;
}

std::vector<CharInfo> operator+(std::vector<CharInfo> a, const std::vector<CharInfo>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QStringList segmentTexts(const std::vector<CharInfo>& chars)
{
    QStringList texts;
    for (const auto& segment : pdfengine::splitNativePdfLineChars(chars)) {
        QString text;
        for (const CharInfo& c : segment)
            text += c.text;
        texts << text;
    }
    return texts;
}

} // namespace

class TestNativeTextLayout : public QObject {
    Q_OBJECT
private slots:
    void segmentsSplitAtJumpsAndColumnGaps();
    void fontNameCleaning_data();
    void fontNameCleaning();
    void styleReferenceSkipsBlanks();
    void lineCarriesWordsSpansAndStyle();
    void blankSegmentMakesNoLine();
    void pdfiumCodesBecomePlainText_data();
    void pdfiumCodesBecomePlainText();
};

void TestNativeTextLayout::segmentsSplitAtJumpsAndColumnGaps()
{
    // Median width 6: word gap 12, column gap max(27, 11, 8) = 27.
    QCOMPARE(segmentTexts(run(QStringLiteral("one two"), 100, 500)), QStringList{QStringLiteral("one two")});
    QCOMPARE(segmentTexts(run(QStringLiteral("left"), 100, 500) + run(QStringLiteral("right"), 100 + 24 + 28, 500)),
             (QStringList{QStringLiteral("left"), QStringLiteral("right")}));
    QCOMPARE(segmentTexts(run(QStringLiteral("near"), 100, 500) + run(QStringLiteral("by"), 100 + 24 + 26, 500)),
             QStringList{QStringLiteral("nearby")});
    // Back left by more than the word gap on the same baseline.
    QCOMPARE(segmentTexts(run(QStringLiteral("second"), 200, 500) + run(QStringLiteral("first"), 150, 500)),
             (QStringList{QStringLiteral("second"), QStringLiteral("first")}));
    // Back left but on another baseline (a superscript-like jump): no cut.
    QCOMPARE(segmentTexts(run(QStringLiteral("base"), 200, 500) + run(QStringLiteral("up"), 150, 507)),
             QStringList{QStringLiteral("baseup")});
    // The letters of a wide ligature share its box; a kerned pair overlaps: no cut.
    std::vector<CharInfo> ligature = run(QStringLiteral("De"), 100, 500) + run(QStringLiteral("ffi"), 112, 500, 0) +
                                     run(QStringLiteral("nition"), 126, 500);
    for (CharInfo& c : ligature)
        if (c.box.width() == 0)
            c.box = QRectF(112, 500, 14, 10);
    QCOMPARE(segmentTexts(ligature), QStringList{QStringLiteral("Deffinition")});
    std::vector<CharInfo> kerned = run(QStringLiteral("AV"), 100, 500, 14);
    kerned[1].box.translate(-13, 0);
    QCOMPARE(segmentTexts(kerned + run(QStringLiteral("AW"), 101 + 14, 500, 14)), QStringList{QStringLiteral("AVAW")});
    // A single inked character: one segment, blanks kept.
    QCOMPARE(segmentTexts(run(QStringLiteral(" x "), 100, 500)), QStringList{QStringLiteral(" x ")});
    // Leading and trailing blanks of cut segments go.
    QCOMPARE(segmentTexts(run(QStringLiteral(" ab "), 100, 500) + run(QStringLiteral(" cd "), 200, 500)),
             (QStringList{QStringLiteral("ab"), QStringLiteral("cd")}));
}

void TestNativeTextLayout::fontNameCleaning_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("clean");
    QTest::newRow("subset") << "ABCDEF+Times-Bold" << "Times Bold";
    QTest::newRow("plus last") << "Name+" << "Name+";
    QTest::newRow("empty") << "" << "Times New Roman";
    QTest::newRow("only hyphens") << "--" << "Times New Roman";
    QTest::newRow("two plus signs") << "A+B+C" << "B+C";
}

void TestNativeTextLayout::fontNameCleaning()
{
    QFETCH(QString, raw);
    QFETCH(QString, clean);
    QCOMPARE(pdfengine::cleanFontName(raw), clean);
}

void TestNativeTextLayout::styleReferenceSkipsBlanks()
{
    std::vector<CharInfo> chars = run(QStringLiteral("a b"), 0, 0);
    chars[0].size = 8;
    chars[2].size = 14;
    QCOMPARE(pdfengine::styleReferenceForChar(chars, 1).size, 14.0);  // next inked
    QCOMPARE(pdfengine::styleReferenceForChar(chars, 0).size, 8.0);
    std::vector<CharInfo> trailing = run(QStringLiteral("a  "), 0, 0);
    trailing[0].size = 9;
    QCOMPARE(pdfengine::styleReferenceForChar(trailing, 2).size, 9.0);  // nearest before
    QCOMPARE(pdfengine::styleReferenceForChar({}, 0).size, 10.0);
    QCOMPARE(pdfengine::styleReferenceForChar({}, 0).weight, 400);
}

void TestNativeTextLayout::lineCarriesWordsSpansAndStyle()
{
    std::vector<CharInfo> chars = run(QStringLiteral("red blue"), 10, 20);
    for (size_t i = 0; i < 3; ++i)
        chars[i].fill = QColor(Qt::red);
    for (size_t i = 4; i < chars.size(); ++i) {
        chars[i].fill = QColor(Qt::blue);
        chars[i].size = 10.1;  // under 0.15 apart: size alone would not split
    }
    chars[5].invisible = true;
    TextBlock::Line line;
    QVERIFY(pdfengine::lineFromChars(chars, line));
    QCOMPARE(line.text, QStringLiteral("red blue"));
    QCOMPARE(line.rect, QRectF(10, 20, 48, 10));
    QCOMPARE(line.words.size(), size_t(2));
    QCOMPARE(line.words[1].rect, QRectF(34, 20, 24, 10));
    QCOMPARE(line.spans.size(), size_t(2));
    QCOMPARE(line.spans[0].text, QStringLiteral("red"));
    QCOMPARE(line.spans[1].text, QStringLiteral(" blue"));  // the blank takes the style after it
    QCOMPARE(line.spans[1].color, QColor(Qt::blue));
    QCOMPARE(line.color, QColor(Qt::red));
    QVERIFY(line.invisibleText);
    QCOMPARE(line.fontFamily, QStringLiteral("Body"));
}

void TestNativeTextLayout::blankSegmentMakesNoLine()
{
    TextBlock::Line line;
    QVERIFY(!pdfengine::lineFromChars(run(QStringLiteral("   "), 0, 0), line));
}

void TestNativeTextLayout::pdfiumCodesBecomePlainText_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<bool>("nameless");
    QTest::addColumn<QString>("text");
    QTest::newRow("end-of-line hyphen marker") << 2u << false << "-";
    QTest::newRow("line feed") << 10u << false << "\n";
    QTest::newRow("tab") << 9u << false << " ";
    QTest::newRow("form feed in a named font") << 12u << false << "";
    QTest::newRow("TeX fi slot") << 12u << true << "fi";
    QTest::newRow("TeX fl slot") << 13u << true << "fl";
    QTest::newRow("TeX ffl slot") << 15u << true << "ffl";
    QTest::newRow("C1 control") << 0x85u << false << "";
    QTest::newRow("Cyrillic") << 0x0416u << false << QStringLiteral("Ж");
    QTest::newRow("beyond Unicode") << 0x110000u << false << "";
}

void TestNativeTextLayout::pdfiumCodesBecomePlainText()
{
    QFETCH(uint, code);
    QFETCH(bool, nameless);
    QFETCH(QString, text);
    QCOMPARE(pdfengine::textOfPdfiumCode(char32_t(code), nameless), text);
}

QTEST_GUILESS_MAIN(TestNativeTextLayout)
#include "tst_nativetextlayout.moc"
