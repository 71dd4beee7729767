#include "NativeTextLayout.h"
#include "TextBlock.h"

#include <QTest>

#include <cmath>

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

// Characters set on a baseline from x as a PDF places them: each letter's
// advance w wide, a blank's 3, and extra more room after every blank.
std::vector<CharInfo> setLine(const QString& text, double x, double baseline, double extra = 0, double w = 6)
{
    constexpr double kBlank = 3;
    std::vector<CharInfo> chars;
    for (QChar ch : text) {
        CharInfo c;
        c.text = QString(ch);
        c.fontName = QStringLiteral("Body");
        c.size = 10;
        const double advance = ch.isSpace() ? kBlank : w;
        c.origin = QPointF(x, baseline);
        c.hasOrigin = true;
        c.advanceBox = QRectF(x, baseline - 2, advance, 10);
        c.box = ch.isSpace() ? QRectF(x, baseline, 0, 0) : QRectF(x + 0.5, baseline - 1, w - 1, 8);
        chars.push_back(c);
        x += advance + (ch.isSpace() ? extra : 0);
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
    void wordsSteppingAlongABaselineAreATurnedLine_data();
    void wordsSteppingAlongABaselineAreATurnedLine();
    void segmentsSplitAtJumpsAndColumnGaps();
    void fontNameCleaning_data();
    void fontNameCleaning();
    void styleReferenceSkipsBlanks();
    void lineCarriesWordsSpansAndStyle();
    void pdfiumCodesBecomePlainText_data();
    void pdfiumCodesBecomePlainText();
    void blockRules_data();
    void blockRules();
    void fragmentsOfOneBaselineJoin_data();
    void fragmentsOfOneBaselineJoin();
    void ruleBetweenLettersKeepsTheWord_data();
    void ruleBetweenLettersKeepsTheWord();
    void blankWithoutRoomPartsNoWords_data();
    void blankWithoutRoomPartsNoWords();
    void markBesideASteppedLineStart_data();
    void markBesideASteppedLineStart();
    void linesWithoutUnicodeAreNotText_data();
    void linesWithoutUnicodeAreNotText();
    void ligatureLettersShareTheirGlyph();
    void lineTakesTheSizeOfMostLetters_data();
    void lineTakesTheSizeOfMostLetters();
    void lineKnowsWhereItsGlyphsStood_data();
    void lineKnowsWhereItsGlyphsStood();
    void pageLinesTakeTheirAlignment_data();
    void pageLinesTakeTheirAlignment();
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
    // Subset tags and a last plus: with the page-level cases of the extraction tests.
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
    QCOMPARE(pdfengine::styleReferenceForChar({}, 0).size, 10.0);  // no characters: the default style
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
    QCOMPARE(line.color, QColor(Qt::blue));  // the colour of most of its letters
    QVERIFY(line.invisibleText);
    QCOMPARE(line.fontFamily, QStringLiteral("Body"));
    TextBlock::Line blank;
    QVERIFY(!pdfengine::lineFromChars(run(QStringLiteral("   "), 0, 0), blank));
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
    // A Type 3 face without a map draws a glyph whatever its code reads as.
    QTest::newRow("C1 control in a face without a name") << 0x9Fu << true << QStringLiteral("\uFFFD");
    QTest::newRow("form feed in a face without a name") << 0x0Cu << true << "fi";
    QTest::newRow("line feed in a face without a name") << 0x0Au << true << QStringLiteral("\uFFFD");
    QTest::newRow("tab in a face without a name") << 0x09u << true << QStringLiteral("\uFFFD");
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

// The block-level rules the writer asks before it touches a page.
void TestNativeTextLayout::blockRules_data()
{
    QTest::addColumn<TextBlock>("block");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<bool>("holds");
    const auto placed = [](QRectF rect, QRectF original, double rotation = 0, double originalRotation = 0) {
        TextBlock b;
        b.rect = rect;
        b.originalRect = original;
        b.rotation = rotation;
        b.originalRotation = originalRotation;
        return b;
    };
    const QRectF o(100, 200, 50, 20);
    QTest::newRow("moved: unchanged") << placed(o, o) << "moved" << false;
    QTest::newRow("moved: no origin, rotated") << placed(o, QRectF(), 45) << "moved" << false;
    QTest::newRow("moved: flat origin") << placed(o, QRectF(100, 200, 50, 0)) << "moved" << false;
    QTest::newRow("moved: x by 0.5") << placed(o.translated(0.5, 0), o) << "moved" << false;
    QTest::newRow("moved: x by 0.51") << placed(o.translated(0.51, 0), o) << "moved" << true;
    QTest::newRow("moved: y by -0.51") << placed(o.translated(0, -0.51), o) << "moved" << true;
    QTest::newRow("moved: right edge") << placed(o.adjusted(0, 0, 0.51, 0), o) << "moved" << true;
    QTest::newRow("moved: top edge") << placed(o.adjusted(0, 0, 0, 0.51), o) << "moved" << true;
    QTest::newRow("moved: rotation 0.1") << placed(o, o, 0.1) << "moved" << false;
    QTest::newRow("moved: rotation 0.11") << placed(o, o, 0.11) << "moved" << true;
    QTest::newRow("moved: rotation -0.11") << placed(o, o, -0.11) << "moved" << true;
    QTest::newRow("moved: read turned, left as read") << placed(o, o, 90, 90) << "moved" << false;
    QTest::newRow("moved: read turned, turned back upright") << placed(o, o, 0, 90) << "moved" << true;

    const auto picture = [](bool isImage, bool hasPicture, QRectF original) {
        TextBlock b;
        b.isImage = isImage;
        if (hasPicture)
            b.image = QImage(4, 4, QImage::Format_RGB32);
        b.originalRect = original;
        return b;
    };
    QTest::newRow("inserted: placed by the user") << picture(true, true, QRectF()) << "inserted" << true;
    QTest::newRow("inserted: zero-height origin") << picture(true, true, QRectF(1, 1, 5, 0)) << "inserted" << true;
    QTest::newRow("inserted: taken from the page") << picture(true, true, QRectF(1, 1, 5, 5)) << "inserted" << false;
    QTest::newRow("inserted: no picture") << picture(true, false, QRectF()) << "inserted" << false;
    QTest::newRow("inserted: text block") << picture(false, true, QRectF()) << "inserted" << false;

    const auto rich = [](bool edited, const QString& markup) {
        TextBlock b;
        b.textEdited = edited;
        b.richText = markup;
        return b;
    };
    QTest::newRow("rich: edited with markup") << rich(true, QStringLiteral("<b>x</b>")) << "rich" << true;
    QTest::newRow("rich: edited, blanks only") << rich(true, QStringLiteral(" \n\t ")) << "rich" << false;
    QTest::newRow("rich: markup, not edited") << rich(false, QStringLiteral("<b>x</b>")) << "rich" << false;

    const auto line = [](const QString& family, float size, bool withSpan) {
        TextBlock b;
        b.lines.resize(1);
        b.lines[0].fontFamily = family;
        b.lines[0].fontSize = size;
        if (withSpan)
            b.lines[0].spans.push_back({});
        return b;
    };
    QTest::newRow("native line") << line(QStringLiteral("Arial"), 10, true) << "native" << true;
    QTest::newRow("native: blank family") << line(QStringLiteral("  "), 10, true) << "native" << false;
    QTest::newRow("native: no size") << line(QStringLiteral("Arial"), 0, true) << "native" << false;
    // A Type 3 face whose own matrix scales a size far below a point (Ghostscript's bitmap faces).
    QTest::newRow("native: Type 3 face set at 0.12") << line(QStringLiteral("Arial"), 0.12f, true) << "native" << true;
    QTest::newRow("native: no spans (recognised)") << line(QStringLiteral("Arial"), 10, false) << "native" << false;
}

void TestNativeTextLayout::blockRules()
{
    QFETCH(TextBlock, block);
    QFETCH(QString, rule);
    const bool holds = rule == QLatin1String("moved")      ? scannedExportBlockMoved(block)
                       : rule == QLatin1String("inserted") ? isInsertedImageObject(block)
                       : rule == QLatin1String("rich")     ? isRichTextBlock(block)
                                                           : isNativeLine(block.lines.at(0));
    QTEST(holds, "holds");
}

// pdfium can hand out one line in pieces (a raised letter, another font, a
// turned page); pieces along one baseline become one line again.
void TestNativeTextLayout::fragmentsOfOneBaselineJoin_data()
{
    QTest::addColumn<double>("dx");        // where the second piece starts after the first ends
    QTest::addColumn<double>("dy");        // and how far it sits above
    QTest::addColumn<double>("rotation");  // of the second piece
    QTest::addColumn<bool>("second");      // the second piece comes first in pdfium's order
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("text");  // of the joined line
    const QString logo = QStringLiteral("Система LATEX позволяет");
    QTest::newRow("kerned under the last letter") << -3.0 << 0.0 << 0.0 << false << 1 << logo;
    // A word gap measured along the line keeps its blank: a word of a scan's
    // layer, stepped down a turned baseline, comes as a piece of its own.
    QTest::newRow("a blank away") << 3.5 << 0.0 << 0.0 << false << 1 << QStringLiteral("Система L ATEX позволяет");
    QTest::newRow("a blank away, a step lower") << 3.5 << -0.8 << 0.0 << false << 1
                                               << QStringLiteral("Система L ATEX позволяет");
    QTest::newRow("touching") << 0.5 << 0.0 << 0.0 << false << 1 << logo;
    QTest::newRow("handed out before it") << -3.0 << 2.0 << 0.0 << true << 1 << logo;
    QTest::newRow("raised small capital") << -2.0 << 2.0 << 0.0 << false << 1 << logo;
    QTest::newRow("a column gap away") << 20.0 << 0.0 << 0.0 << false << 2 << QString();
    QTest::newRow("the next baseline") << -150.0 << -12.0 << 0.0 << false << 2 << QString();
    QTest::newRow("under its start") << -50.0 << 0.0 << 0.0 << false << 2 << QString();
    QTest::newRow("another direction") << 1.0 << 0.0 << 90.0 << false << 2 << QString();
}

void TestNativeTextLayout::fragmentsOfOneBaselineJoin()
{
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, rotation);
    QFETCH(bool, second);
    QFETCH(int, lines);
    QFETCH(QString, text);
    pdfengine::LineFragment first{run(QStringLiteral("Система L"), 40, 500), 0};
    const double end = first.chars.back().box.right();
    pdfengine::LineFragment next{run(QStringLiteral("ATEX позволяет"), end + dx, 500 + dy), rotation};
    std::vector<pdfengine::LineFragment> fragments;
    fragments.push_back(second ? next : first);
    fragments.push_back(second ? first : next);
    pdfengine::joinLineFragments(fragments);
    QCOMPARE(int(fragments.size()), lines);
    if (lines == 1) {
        QString joined;
        for (const CharInfo& c : fragments[0].chars)
            joined += c.text;
        QCOMPARE(joined, text);
    }
}

void TestNativeTextLayout::ruleBetweenLettersKeepsTheWord_data()
{
    QTest::addColumn<bool>("onePiece");  // the letters come as one piece, a blank read in the gap
    QTest::addColumn<QRectF>("rule");    // a thin path drawn there
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<double>("drop");    // how far below "x86"'s baseline the second piece stands
    QTest::addColumn<QColor>("colour");  // the rule's paint; the letters are black
    // "x86" ends at 58, "64-linux" starts at 66; letters stand on 500.
    const QStringList joined{QStringLiteral("x86_64-linux")};
    const QStringList apart{QStringLiteral("x86"), QStringLiteral("64-linux")};
    QTest::newRow("a rule on the baseline between two pieces") << false << QRectF(59, 500.2, 6, 0.4) << joined << 0.0 << QColor(Qt::black);
    QTest::newRow("a rule where a blank was read") << true << QRectF(59, 500.2, 6, 0.4) << joined << 0.0 << QColor(Qt::black);
    QTest::newRow("a hairline rule") << false << QRectF(59, 500, 6, 0) << joined << 0.0 << QColor(Qt::black);
    QTest::newRow("an underline of the line below") << false << QRectF(59, 488, 6, 0.4) << apart << 0.0 << QColor(Qt::black);
    QTest::newRow("a box, not a rule") << false << QRectF(59, 500, 6, 4) << apart << 0.0 << QColor(Qt::black);
    QTest::newRow("a rule reaching over a letter") << false << QRectF(50, 500.2, 15, 0.4) << apart << 0.0 << QColor(Qt::black);
    // A ruler: a tick drawn beside a label and the labels far above and below it.
    QTest::newRow("a piece of another line past the rule") << false << QRectF(59, 500.2, 6, 0.4) << apart << 300.0 << QColor(Qt::black);
    // A hatching of short grey strokes under a line: a stroke in a word gap is no underscore.
    QTest::newRow("a grey stroke in the gap") << false << QRectF(59, 500.2, 6, 0.4) << apart << 0.0 << QColor(153, 153, 153);
    QTest::newRow("a short stroke in a small part of the gap")
        << false << QRectF(60, 500.2, 2, 0.4) << apart << 0.0 << QColor(Qt::black);
    QTest::newRow("a rule in a dark grey read as black") << false << QRectF(59, 500.2, 6, 0.4) << joined << 0.0
                                                         << QColor(12, 12, 12);
    QTest::newRow("a piece a line below past the rule") << false << QRectF(59, 500.2, 6, 0.4) << apart << -12.0 << QColor(Qt::black);
}

// TeX draws an underscore as a rule with kerns around it: the word it stands
// in stays one word of one line, read with the underscore.
void TestNativeTextLayout::ruleBetweenLettersKeepsTheWord()
{
    QFETCH(bool, onePiece);
    QFETCH(QRectF, rule);
    QFETCH(QStringList, lines);
    QFETCH(double, drop);
    QFETCH(QColor, colour);
    std::vector<pdfengine::LineFragment> fragments;
    if (onePiece) {
        fragments.push_back({run(QStringLiteral("x86 "), 40, 500) + run(QStringLiteral("64-linux"), 66, 500), 0});
        lines = lines.size() == 1 ? lines : QStringList{QStringLiteral("x86 64-linux")};
    } else {
        fragments.push_back({run(QStringLiteral("x86"), 40, 500), 0});
        fragments.push_back({run(QStringLiteral("64-linux"), 66, 500 - drop), 0});
    }
    pdfengine::fillRuleGaps(fragments, {{rule, colour}});
    QStringList texts;
    for (const pdfengine::LineFragment& fragment : fragments) {
        QString text;
        for (const CharInfo& c : fragment.chars)
            text += c.text;
        texts << text;
    }
    QCOMPARE(texts, lines);
}

void TestNativeTextLayout::blankWithoutRoomPartsNoWords_data()
{
    QTest::addColumn<double>("extra");       // room added after the blank's own 3 points
    QTest::addColumn<bool>("layer");         // the glyphs draw nothing (a searchable layer)
    QTest::addColumn<bool>("drawn");         // the page drew the blank (else it was put in between pieces)
    QTest::addColumn<QStringList>("words");  // size 10: a word gap is over 1 point
    const QStringList one{QStringLiteral("seven")}, two{QStringLiteral("sev"), QStringLiteral("en")};
    QTest::newRow("squeezed to nothing by word spacing") << -3.0 << false << true << one;
    QTest::newRow("squeezed past nothing, the letters kerned") << -3.4 << false << true << one;
    QTest::newRow("squeezed to a letter's spacing") << -2.2 << false << true << one;
    QTest::newRow("squeezed, still a word gap") << -1.5 << false << true << two;
    QTest::newRow("as wide as its advance") << 0.0 << false << true << two;
    QTest::newRow("squeezed in a searchable layer") << -3.0 << true << true << two;
    QTest::newRow("put in where pieces meet") << -3.0 << false << false << two;
}

// ghostscript kerns a pair of letters of a groff page by a blank that word
// spacing squeezes to nothing ("(ev e) Tj" under -2.15 Tw): the word stays one,
// as other readers read it by where its glyphs stand.
void TestNativeTextLayout::blankWithoutRoomPartsNoWords()
{
    QFETCH(double, extra);
    QFETCH(bool, layer);
    QFETCH(bool, drawn);
    QFETCH(QStringList, words);
    std::vector<CharInfo> chars = setLine(QStringLiteral("sev en"), 40, 100, extra);
    for (CharInfo& c : chars) {
        c.invisible = layer;
        if (c.text == QLatin1String(" "))
            c.hasOrigin = drawn;
    }
    pdfengine::addWordBreaks(chars);
    TextBlock::Line line;
    QVERIFY(pdfengine::lineFromChars(chars, line));
    QStringList read;
    for (const TextBlock::Line::Word& word : line.words)
        read << word.text;
    QCOMPARE(read, words);
    QCOMPARE(line.text, words.join(QLatin1Char(' ')));
}

void TestNativeTextLayout::markBesideASteppedLineStart_data()
{
    QTest::addColumn<double>("step");   // points each word of the line stands lower than the one before
    QTest::addColumn<double>("markY");  // the mark's bottom, the first word's being 500
    QTest::addColumn<int>("lines");
    QTest::newRow("under a stepped line's start") << 1.2 << 495.0 << 2;
    QTest::newRow("far under a stepped line's start") << 1.2 << 493.0 << 2;
    QTest::newRow("on the first word's band") << 1.2 << 503.0 << 1;
    QTest::newRow("under a straight line") << 0.0 << 495.0 << 2;
}

// A scan's layer writes a turned line as upright words stepping down: the
// upright box of the whole line reaches far below its first word. A mark of
// the next line standing under that word (a quote the recogniser read high)
// is no piece of the line; one on the word's own band is.
void TestNativeTextLayout::markBesideASteppedLineStart()
{
    QFETCH(double, step);
    QFETCH(double, markY);
    QFETCH(int, lines);
    std::vector<CharInfo> words;
    double x = 41.6;
    for (int w = 0; w < 8; ++w) {
        if (w > 0)
            words.push_back(run(QStringLiteral(" "), x, 500 - w * step).front());
        for (const CharInfo& c : run(QStringLiteral("слово"), x + 3, 500 - w * step))
            words.push_back(c);
        x += 3 + 5 * 6;
    }
    std::vector<pdfengine::LineFragment> fragments;
    fragments.push_back({run(QStringLiteral("\u2018"), 40, markY, 1.5, 2.6), 0});
    fragments.push_back({words, 0});
    pdfengine::joinLineFragments(fragments);
    QCOMPARE(int(fragments.size()), lines);
}

// A code the font cannot map comes back from pdfium as itself; above 0x7F that
// is a Latin-1 guess (Cyrillic in a T2A font would read "Ñèñòåìà").
void TestNativeTextLayout::linesWithoutUnicodeAreNotText_data()
{
    QTest::addColumn<int>("unmappedAt");  // -1: every character mapped
    QTest::addColumn<bool>("isText");
    QTest::newRow("all mapped") << -1 << true;
    QTest::newRow("first unmapped") << 0 << false;
    QTest::newRow("one in the middle") << 4 << false;
}

void TestNativeTextLayout::linesWithoutUnicodeAreNotText()
{
    QFETCH(int, unmappedAt);
    QFETCH(bool, isText);
    std::vector<CharInfo> chars = run(QStringLiteral("ïèñàòü LATEX"), 10, 20);
    if (unmappedAt >= 0)
        chars[size_t(unmappedAt)].unmapped = true;
    TextBlock::Line line;
    QCOMPARE(pdfengine::lineFromChars(chars, line), isText);
}

void TestNativeTextLayout::ligatureLettersShareTheirGlyph()
{
    std::vector<CharInfo> chars = run(QStringLiteral("a"), 10, 20) + run(QStringLiteral("x"), 16, 20, 9) +
                                  run(QStringLiteral(" "), 25, 20) + run(QStringLiteral("b"), 28, 20);
    chars[1].text = QStringLiteral("ffi");  // one glyph, three letters
    TextBlock::Line line;
    QVERIFY(pdfengine::lineFromChars(chars, line));
    QCOMPARE(line.text, QStringLiteral("affi b"));
    QCOMPARE(line.glyphBoxes.size(), size_t(line.text.size()));
    QCOMPARE(line.glyphBoxes[1], QRectF(16, 20, 3, 10));
    QCOMPARE(line.glyphBoxes[3], QRectF(22, 20, 3, 10));
    QCOMPARE(line.glyphBoxes[5], QRectF(28, 20, 6, 10));
}

// A listing line numbered in a smaller size, a footnote mark, small capitals:
// the line's size is that of most of its letters.
void TestNativeTextLayout::lineTakesTheSizeOfMostLetters_data()
{
    QTest::addColumn<QString>("small");
    QTest::addColumn<QString>("body");
    QTest::addColumn<double>("size");
    QTest::newRow("line number") << "12 " << "\\def\\chaptername" << 9.0;
    QTest::newRow("footnote mark") << "1" << "To avoid any ambiguity" << 9.0;
    QTest::newRow("mostly small") << "SMALL CAPITALS" << "Tea" << 7.0;
}

void TestNativeTextLayout::lineTakesTheSizeOfMostLetters()
{
    QFETCH(QString, small);
    QFETCH(QString, body);
    QFETCH(double, size);
    std::vector<CharInfo> chars = run(small, 10, 20, 4, 7);
    for (CharInfo& c : chars)
        c.size = 7;
    std::vector<CharInfo> rest = run(body, 10 + 4 * small.size(), 20, 5, 9);
    for (CharInfo& c : rest)
        c.size = 9;
    TextBlock::Line line;
    QVERIFY(pdfengine::lineFromChars(chars + rest, line));
    QCOMPARE(line.fontSize, float(size));
    QCOMPARE(line.spans.size(), size_t(2));
}

void TestNativeTextLayout::lineKnowsWhereItsGlyphsStood_data()
{
    QTest::addColumn<double>("extra");    // room added after each blank
    QTest::addColumn<bool>("advances");   // pdfium gave the advances
    QTest::addColumn<int>("alignment");   // -1: no placement
    QTest::newRow("blanks as wide as their own advance") << 0.0 << true << int(Qt::AlignLeft);
    QTest::newRow("blanks widened, as justified") << 1.2 << true << int(Qt::AlignJustify);
    QTest::newRow("widened by a hair, kerning's size") << 0.05 << true << int(Qt::AlignLeft);
    QTest::newRow("blanks squeezed") << -0.5 << true << int(Qt::AlignLeft);
    QTest::newRow("no advances known") << 0.0 << false << -1;
}

// The first glyph's origin on the baseline and the end of the last advance,
// relative to the line's box (the line moves, they move with it).
void TestNativeTextLayout::lineKnowsWhereItsGlyphsStood()
{
    QFETCH(double, extra);
    QFETCH(bool, advances);
    QFETCH(int, alignment);
    std::vector<CharInfo> chars = setLine(QStringLiteral("one two three"), 40, 100, extra);
    if (!advances)
        for (CharInfo& c : chars)
            c.advanceBox = QRectF();
    TextBlock::Line line;
    QVERIFY(pdfengine::lineFromChars(chars, line));
    QCOMPARE(line.placement.has_value(), alignment >= 0);
    if (!line.placement)
        return;
    QCOMPARE(int(line.placement->alignment), alignment);
    QCOMPARE(line.rect.x() + line.placement->origin.x(), 40.0);
    QCOMPARE(line.rect.y() + line.placement->origin.y(), 100.0);
    const double end = chars.back().advanceBox.right();
    QCOMPARE(line.placement->width, end - 40);
}

void TestNativeTextLayout::pageLinesTakeTheirAlignment_data()
{
    // Lines as left..right of their advances; J marks a justified one.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<int>>("alignments");
    const int L = Qt::AlignLeft, R = Qt::AlignRight, C = Qt::AlignHCenter, J = Qt::AlignJustify;
    QTest::newRow("letter") << QStringList{"345..553", "420..553", "279..344", "106..553 J", "70..553 J", "70..489",
                                           "70..257", "427..553"}
                            << QList<int>{R, R, C, J, J, L, L, R};
    // The right column's lines share their start: ragged, not right-aligned.
    QTest::newRow("two columns") << QStringList{"70..280", "70..275", "70..279", "320..553", "320..540", "320..548"}
                                 << QList<int>{L, L, L, L, L, L};
    QTest::newRow("one line alone") << QStringList{"200..400"} << QList<int>{L};
    QTest::newRow("a short last line in the middle stays") << QStringList{"70..553", "70..553", "72..300"}
                                                           << QList<int>{L, L, L};
    // TeX sets word gaps as moves, no blanks widened: the shared right edge tells.
    QTest::newRow("TeX paragraphs") << QStringList{"134..477", "134..477.2", "149..477.5", "134..188", "149..477.2",
                                                   "134..266"}
                                    << QList<int>{J, J, J, L, J, L};
}

void TestNativeTextLayout::pageLinesTakeTheirAlignment()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, alignments);
    std::vector<TextBlock::Line> page;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList parts = lines[i].split(' ');
        const QStringList edges = parts[0].split("..");
        TextBlock::Line line;
        line.text = QStringLiteral("words of a line");
        const double left = edges[0].toDouble();
        line.rect = QRectF(left - 0.75, 700 - 14 * i, edges[1].toDouble() - left + 1.5, 14);
        TextBlock::Line::Placement placement;
        placement.origin = QPointF(0.75, 3);
        placement.width = edges[1].toDouble() - left;
        placement.alignment = parts.value(1) == "J" ? Qt::AlignJustify : Qt::AlignLeft;
        line.placement = placement;
        page.push_back(line);
    }
    std::vector<TextBlock::Line*> pointers;
    for (TextBlock::Line& line : page)
        pointers.push_back(&line);
    pdfengine::alignPageLines(pointers);
    QList<int> found;
    for (const TextBlock::Line& line : page)
        found << int(line.placement->alignment);
    QCOMPARE(found, alignments);
}

void TestNativeTextLayout::wordsSteppingAlongABaselineAreATurnedLine_data()
{
    QTest::addColumn<QList<double>>("steps");  // each word's baseline over the first one's, points
    QTest::addColumn<bool>("invisible");         // a searchable layer
    QTest::addColumn<bool>("fittedBoxes");       // its words stretched over boxes of their own heights
    QTest::addColumn<double>("turn");            // read, degrees clockwise
    QTest::addColumn<double>("within");
    // Words 40 points apart: 1.5 degrees fall 1.047 points a word.
    const double fall = -40 * std::tan(1.5 * M_PI / 180);
    QTest::newRow("a scan's layer turned 1.5°") << QList<double>{0, fall, 2 * fall, 3 * fall} << true << false << 1.5 << 0.01;
    QTest::newRow("rising 0.5°") << QList<double>{0, -fall / 3, -2 * fall / 3} << true << false << -0.5 << 0.01;
    QTest::newRow("two words of a layer") << QList<double>{0, fall} << true << false << 1.5 << 0.01;
    QTest::newRow("two visible words") << QList<double>{0, fall} << false << false << 0.0 << 0.01;
    QTest::newRow("one baseline") << QList<double>{0, 0, 0, 0} << false << false << 0.0 << 0.01;
    QTest::newRow("a raised word among them") << QList<double>{0, 0, 3, 0} << false << false << 0.0 << 0.01;
    QTest::newRow("more than a scan's skew") << QList<double>{0, -8, -16} << true << false << 0.0 << 0.01;
    // The middles of boxes of unequal heights: near the turn, not on it.
    QTest::newRow("layer words fitted to their boxes") << QList<double>{0, fall, 2 * fall, 3 * fall} << true << true
                                                       << 1.5 << 0.5;
}

// A line whose words each stand upright, one a little lower than the other
// along a straight baseline, reads as a line turned by that baseline's slope.
void TestNativeTextLayout::wordsSteppingAlongABaselineAreATurnedLine()
{
    QFETCH(QList<double>, steps);
    QFETCH(bool, invisible);
    QFETCH(bool, fittedBoxes);
    QFETCH(double, turn);
    QFETCH(double, within);
    std::vector<CharInfo> chars;
    for (int w = 0; w < steps.size(); ++w) {
        // A word stretched over its box stands on its box's foot, which a
        // descender takes lower: its baseline says nothing.
        const double descender = fittedBoxes && w % 2 ? 2.0 : 0.0;
        std::vector<CharInfo> word = run(QStringLiteral("слово"), 40 * w, 500 + steps[w] - descender, 6, 10 + descender);
        for (CharInfo& c : word) {
            c.invisible = invisible;
            c.hasOrigin = true;
            c.origin = QPointF(c.box.x(), fittedBoxes ? c.box.y() : 500 + steps[w]);
        }
        chars.insert(chars.end(), word.begin(), word.end());
        chars.push_back(run(QStringLiteral(" "), 40 * w + 30, 500).front());
    }
    const double read = pdfengine::steppedLineTurn(chars);
    QVERIFY2(std::abs(read - turn) <= within, qPrintable(QString::number(read)));
}

QTEST_GUILESS_MAIN(TestNativeTextLayout)
#include "tst_nativetextlayout.moc"
