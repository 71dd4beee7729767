// Cleaning a page's own text layer, reading order, and the arithmetic of
// page and region recognition.
#include "BlockFixtures.h"
#include "NativeTextLayer.h"
#include "OcrRunRules.h"

#include <QTest>

namespace {

TextBlock block(const QString& text, const QRectF& rect, float size = 10)
{
    return fixtures::oneLineBlock(text, rect, size);
}

TextBlock inkImage(const QRectF& rect)
{
    TextBlock b;
    b.isImage = true;
    b.inkRegion = true;
    b.rect = b.originalRect = rect;
    return b;
}

QStringList texts(const std::vector<TextBlock>& blocks)
{
    QStringList t;
    for (const TextBlock& b : blocks)
        t << b.text;
    return t;
}

} // namespace

class NativeTextLayerTest : public QObject {
    Q_OBJECT

private slots:
    void paddingRunsOfThreeOrMoreGo_data();
    void paddingRunsOfThreeOrMoreGo();
    void formLineJoinsItsLabel();
    void strippedLinesKeepTheirGlyphBoxes_data();
    void strippedLinesKeepTheirGlyphBoxes();
    void usableLayerNeedsTextOrArea();
    void stampLeftoversAreDropped_data();
    void stampLeftoversAreDropped();
    void inkOfColouredTextIsNoPicture();
    void readingOrderHeaderColumnsThenRows();
    void visibleTextIsJudgedByColour();
    void regionRulesAndTouchingBlocks();
    void missingLanguages_data();
    void missingLanguages();
};

void NativeTextLayerTest::paddingRunsOfThreeOrMoreGo_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("label and underscores") << "Фамилия______" << "Фамилия";
    QTest::newRow("two dashes stay") << "Итого--" << "Итого--";
    QTest::newRow("blank and dash trimmed") << " Итого -" << "Итого -";
    QTest::newRow("framed word") << "--- слово ---" << "слово";
    QTest::newRow("only fillers") << "_ _ _" << "";
    QTest::newRow("short") << " a " << "a";
}

void NativeTextLayerTest::paddingRunsOfThreeOrMoreGo()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(stripNativeDecorativePadding(in), out);
}

void NativeTextLayerTest::formLineJoinsItsLabel()
{
    const TextBlock label = block(QStringLiteral("Подпись"), QRectF(72, 500, 50, 10));
    const TextBlock rule = block(QStringLiteral("________"), QRectF(125, 499, 120, 10));
    const std::vector<TextBlock> kept = cleanedNativeTextBlocks({label, rule}, {});
    QCOMPARE(texts(kept), QStringList{"Подпись"});
    QVERIFY(kept[0].rect.right() >= 245);
    QVERIFY(kept[0].lines[0].rect.right() >= 245);
    // At least a font line high and 0.75 pt wider on each side.
    QCOMPARE(expandedNativeTextRect(QRectF(10, 10, 20, 4), 5), QRectF(9.25, 8, 21.5, 8));
}

// A line cut of its fillers keeps the boxes of the glyphs that stay, one per
// character, so a click still finds them.
void NativeTextLayerTest::strippedLinesKeepTheirGlyphBoxes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("firstKept");  // index of the first kept character in the old line
    QTest::newRow("trailing underscores") << "Фамилия______" << "Фамилия" << 0;
    QTest::newRow("framed word") << "--- слово ---" << "слово" << 4;
    QTest::newRow("nothing to cut") << "Итого--" << "Итого--" << 0;
}

void NativeTextLayerTest::strippedLinesKeepTheirGlyphBoxes()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QFETCH(int, firstKept);
    TextBlock b = block(text, QRectF(100, 500, 6 * text.size(), 10));
    for (qsizetype i = 0; i < text.size(); ++i)
        b.lines[0].glyphBoxes.emplace_back(100 + 6 * i, 500, 5, 10);
    const std::vector<TextBlock> cleaned = cleanedNativeTextBlocks({b}, {});
    QCOMPARE(cleaned.size(), size_t(1));
    const TextBlock::Line& line = cleaned[0].lines[0];
    QCOMPARE(line.text, kept);
    QCOMPARE(line.glyphBoxes.size(), size_t(kept.size()));
    QCOMPARE(line.glyphBoxes[0].x(), 100.0 + 6 * firstKept);
}

void NativeTextLayerTest::usableLayerNeedsTextOrArea()
{
    const double w = 595;
    const double h = 842;
    QVERIFY(!isUsableNativeTextLayer({block(QStringLiteral("- 12 -"), QRectF(290, 20, 20, 10))}, w, h));
    QVERIFY(isUsableNativeTextLayer({block(QStringLiteral("123456789012"), QRectF(290, 20, 20, 10))}, w, h));
    QVERIFY(isUsableNativeTextLayer({block(QStringLiteral("x"), QRectF(0, 0, 100, w * h * 0.01 / 100))}, w, h));
}

// Which text a coloured stamp covers is a leftover of it; text printed in
// colour is never one, and its own ink is no picture.
void NativeTextLayerTest::stampLeftoversAreDropped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("leftover");
    const QRectF onStamp(320, 340, 30, 10);
    QTest::newRow("latin capitals on the stamp") << "ABC" << onStamp << QColor(Qt::black) << true;
    QTest::newRow("away from the stamp") << "ABC" << QRectF(20, 40, 30, 10) << QColor(Qt::black) << false;
    QTest::newRow("cyrillic word on the stamp") << "Директор" << QRectF(320, 340, 60, 10) << QColor(Qt::black) << false;
    QTest::newRow("number sign and digits") << "№12" << onStamp << QColor(Qt::black) << true;
    QTest::newRow("red text on the stamp") << "ABC" << onStamp << QColor(Qt::red) << false;
    QTest::newRow("invisible text on the stamp") << "ABC" << onStamp << QColor(255, 0, 0, 0) << true;
}

void NativeTextLayerTest::stampLeftoversAreDropped()
{
    QFETCH(QString, text);
    QFETCH(QRectF, rect);
    QFETCH(QColor, colour);
    QFETCH(bool, leftover);
    TextBlock b = block(text, rect);
    b.color = b.lines[0].color = colour;
    const std::vector<TextBlock> stamp{inkImage(QRectF(300, 300, 100, 100))};
    QCOMPARE(cleanedNativeTextBlocks({b}, stamp).empty(), leftover);
    TextBlock plainPicture = stamp[0];
    plainPicture.inkRegion = false;
    QVERIFY(!cleanedNativeTextBlocks({b}, {plainPicture}).empty());
}

void NativeTextLayerTest::inkOfColouredTextIsNoPicture()
{
    TextBlock heading = block(QStringLiteral("RED HEADING"), QRectF(72, 775, 140, 24), 20);
    heading.color = heading.lines[0].color = QColor(255, 16, 16);
    const TextBlock headingInk = inkImage(QRectF(72.5, 778.5, 42.5, 17));
    const TextBlock stamp = inkImage(QRectF(400, 500, 100, 60));
    QCOMPARE(inkBesidesText({headingInk, stamp}, {heading}).size(), size_t(1));
    QCOMPARE(inkBesidesText({headingInk, stamp}, {heading})[0].originalRect, stamp.originalRect);
    // Black text does not claim coloured ink, nor does red text a larger stamp around it.
    TextBlock black = heading;
    black.color = black.lines[0].color = Qt::black;
    QCOMPARE(inkBesidesText({headingInk}, {black}).size(), size_t(1));
    QCOMPARE(inkBesidesText({inkImage(QRectF(60, 700, 200, 120))}, {heading}).size(), size_t(1));
}

// Header columns left first even when the right one sits higher; lower on
// the page the higher top wins unless the rows overlap enough.
void NativeTextLayerTest::readingOrderHeaderColumnsThenRows()
{
    const auto order = [](const QRectF& right, const QRectF& left) {
        std::vector<TextBlock> blocks{block(QStringLiteral("right"), right), block(QStringLiteral("left"), left)};
        sortReadingOrder(blocks, 595, 842);
        return texts(blocks);
    };
    const QStringList leftFirst{"left", "right"};
    QCOMPARE(order(QRectF(400, 790, 100, 12), QRectF(40, 780, 100, 12)), leftFirst);
    QCOMPARE(order(QRectF(400, 410, 100, 12), QRectF(40, 400, 100, 12)), QStringList({"right", "left"}));
    QCOMPARE(order(QRectF(400, 404, 100, 12), QRectF(40, 400, 100, 12)), leftFirst);
}

void NativeTextLayerTest::visibleTextIsJudgedByColour()
{
    TextBlock faint = block(QStringLiteral("hidden"), QRectF(0, 0, 10, 10));
    faint.color = QColor(0, 0, 0, 8);
    faint.lines[0].color = QColor(0, 0, 0, 0);
    QVERIFY(!hasVisibleNativeText({faint}));
    faint.lines[0].color = QColor(0, 0, 0, 9);
    QVERIFY(hasVisibleNativeText({faint}));
    faint.lines[0].color = QColor();
    QVERIFY(hasVisibleNativeText({faint}));
    faint.text = QStringLiteral("  ");
    QVERIFY(!hasVisibleNativeText({faint}));
}

void NativeTextLayerTest::regionRulesAndTouchingBlocks()
{
    QVERIFY(usableOcrRegion(QRectF(10, 10, 3, 50), 595, 842).isNull());
    QCOMPARE(usableOcrRegion(QRectF(14, 14, -4, -4), 595, 842), QRectF(10, 10, 4, 4));
    const QRect crop = regionCropRect(QRectF(10, 10, 4, 4), 4, QRect(0, 0, 1000, 1000));
    QVERIFY(crop.width() >= 16 && crop.height() >= 16);
    QVERIFY(regionCropRect(QRectF(600, 10, 4, 4), 1, QRect(0, 0, 100, 100)).isEmpty());

    // Page height 100: a block at PDF y 50..60 is top-origin 40..50.
    const TextBlock b = block(QStringLiteral("x"), QRectF(10, 50, 20, 10));
    QVERIFY(blockIntersectsTopOriginRect(b, QRectF(0, 50.4, 100, 10), 100));
    QVERIFY(!blockIntersectsTopOriginRect(b, QRectF(0, 51.1, 100, 10), 100));

    std::vector<TextBlock> found{block(QStringLiteral("new"), QRectF(1, 2, 10, 5))};
    moveRegionBlocksToPage(found, QRectF(100, 300, 200, 50), 842, 3);
    QCOMPARE(found[0].pageIndex, 3);
    QCOMPARE(found[0].rect, QRectF(101, 494, 10, 5));
    QCOMPARE(found[0].lines[0].rect, QRectF(101, 494, 10, 5));

    // A region run (page height 100, region top-origin 30..60) replaces what
    // it meets but a placed picture; the rest keeps its order; nothing found
    // changes nothing.
    TextBlock picture = block(QStringLiteral("[image]"), QRectF(60, 50, 10, 10));
    picture.isImage = true;
    picture.image = QImage(4, 4, QImage::Format_ARGB32);
    picture.originalRect = QRectF();
    const std::vector<TextBlock> shown{block(QStringLiteral("above"), QRectF(10, 80, 50, 10)), b, picture};
    const QRectF region(0, 30, 100, 30);
    QCOMPARE(texts(mergeRegionResult(shown, {block(QStringLiteral("new"), QRectF(10, 45, 50, 10))}, region, 100)),
             QStringList({"above", "[image]", "new"}));
    QVERIFY(mergeRegionResult(shown, {}, region, 100).empty());
}

void NativeTextLayerTest::missingLanguages_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QStringList>("missing");
    const QStringList rusEng{"eng", "osd", "rus"};
    QTest::newRow("all there") << "rus+eng" << rusEng << QStringList();
    QTest::newRow("one missing") << "rus+deu" << rusEng << QStringList{"deu"};
    QTest::newRow("repeated and blank parts") << "deu++deu+ rus" << rusEng << QStringList{"deu"};
    QTest::newRow("nothing known installed") << "deu" << QStringList() << QStringList();
}

void NativeTextLayerTest::missingLanguages()
{
    QFETCH(QString, code);
    QFETCH(QStringList, installed);
    QFETCH(QStringList, missing);
    QCOMPARE(missingOcrLanguages(code, installed), missing);
}

QTEST_MAIN(NativeTextLayerTest)
#include "tst_nativetextlayer.moc"
