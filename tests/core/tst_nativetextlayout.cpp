#include "NativeTextLayout.h"
#include "TextBlock.h"

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
    void pdfiumCodesBecomePlainText_data();
    void pdfiumCodesBecomePlainText();
    void movedForScannedExport_data();
    void movedForScannedExport();
    void insertedImageObject_data();
    void insertedImageObject();
    void richOnlyWhenEditedWithMarkup_data();
    void richOnlyWhenEditedWithMarkup();
    void nativeLine_data();
    void nativeLine();
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

void TestNativeTextLayout::movedForScannedExport_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QRectF>("original");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<double>("originalRotation");
    QTest::addColumn<bool>("moved");
    const QRectF o(100, 200, 50, 20);
    QTest::newRow("unchanged") << o << o << 0.0 << 0.0 << false;
    QTest::newRow("no origin, rotated") << o << QRectF() << 45.0 << 0.0 << false;
    QTest::newRow("flat origin") << o << QRectF(100, 200, 50, 0) << 0.0 << 0.0 << false;
    QTest::newRow("x by 0.5") << o.translated(0.5, 0) << o << 0.0 << 0.0 << false;
    QTest::newRow("x by 0.51") << o.translated(0.51, 0) << o << 0.0 << 0.0 << true;
    QTest::newRow("y by -0.51") << o.translated(0, -0.51) << o << 0.0 << 0.0 << true;
    QTest::newRow("right edge") << o.adjusted(0, 0, 0.51, 0) << o << 0.0 << 0.0 << true;
    QTest::newRow("top edge") << o.adjusted(0, 0, 0, 0.51) << o << 0.0 << 0.0 << true;
    QTest::newRow("rotation 0.1") << o << o << 0.1 << 0.0 << false;
    QTest::newRow("rotation 0.11") << o << o << 0.11 << 0.0 << true;
    QTest::newRow("rotation -0.11") << o << o << -0.11 << 0.0 << true;
    QTest::newRow("read turned, left as read") << o << o << 90.0 << 90.0 << false;
    QTest::newRow("read turned, turned back upright") << o << o << 0.0 << 90.0 << true;
}

void TestNativeTextLayout::movedForScannedExport()
{
    QFETCH(QRectF, rect);
    QFETCH(QRectF, original);
    QFETCH(double, rotation);
    QFETCH(double, originalRotation);
    TextBlock block;
    block.rect = rect;
    block.originalRect = original;
    block.rotation = rotation;
    block.originalRotation = originalRotation;
    QTEST(scannedExportBlockMoved(block), "moved");
}

void TestNativeTextLayout::insertedImageObject_data()
{
    QTest::addColumn<bool>("isImage");
    QTest::addColumn<bool>("hasPicture");
    QTest::addColumn<QRectF>("original");
    QTest::addColumn<bool>("inserted");
    QTest::newRow("placed by the user") << true << true << QRectF() << true;
    QTest::newRow("zero-height origin") << true << true << QRectF(1, 1, 5, 0) << true;
    QTest::newRow("taken from the page") << true << true << QRectF(1, 1, 5, 5) << false;
    QTest::newRow("no picture") << true << false << QRectF() << false;
    QTest::newRow("text block") << false << true << QRectF() << false;
}

void TestNativeTextLayout::insertedImageObject()
{
    QFETCH(bool, isImage);
    QFETCH(bool, hasPicture);
    QFETCH(QRectF, original);
    TextBlock block;
    block.isImage = isImage;
    if (hasPicture)
        block.image = QImage(4, 4, QImage::Format_RGB32);
    block.originalRect = original;
    QTEST(isInsertedImageObject(block), "inserted");
}

void TestNativeTextLayout::richOnlyWhenEditedWithMarkup_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QString>("richText");
    QTest::addColumn<bool>("rich");
    QTest::newRow("edited with markup") << true << QStringLiteral("<b>x</b>") << true;
    QTest::newRow("edited, blanks only") << true << QStringLiteral(" \n\t ") << false;
    QTest::newRow("markup, not edited") << false << QStringLiteral("<b>x</b>") << false;
}

void TestNativeTextLayout::richOnlyWhenEditedWithMarkup()
{
    QFETCH(bool, edited);
    QFETCH(QString, richText);
    TextBlock block;
    block.textEdited = edited;
    block.richText = richText;
    QTEST(isRichTextBlock(block), "rich");
}

void TestNativeTextLayout::nativeLine_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<float>("size");
    QTest::addColumn<bool>("withSpan");
    QTest::addColumn<bool>("native");
    QTest::newRow("native") << QStringLiteral("Arial") << 10.0f << true << true;
    QTest::newRow("blank family") << QStringLiteral("  ") << 10.0f << true << false;
    QTest::newRow("size 1") << QStringLiteral("Arial") << 1.0f << true << false;
    QTest::newRow("no spans (recognised)") << QStringLiteral("Arial") << 10.0f << false << false;
}

void TestNativeTextLayout::nativeLine()
{
    QFETCH(QString, family);
    QFETCH(float, size);
    QFETCH(bool, withSpan);
    TextBlock::Line line;
    line.fontFamily = family;
    line.fontSize = size;
    if (withSpan)
        line.spans.push_back({});
    QTEST(isNativeLine(line), "native");
}

QTEST_GUILESS_MAIN(TestNativeTextLayout)
#include "tst_nativetextlayout.moc"
