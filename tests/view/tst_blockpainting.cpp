#include "BlockPainting.h"
#include "LineFonts.h"
#include "ViewTestSupport.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>

using namespace viewtest;

namespace {

int countPixels(const QImage& image, const QRect& area, QRgb colour)
{
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            count += image.pixel(x, y) == colour ? 1 : 0;
    return count;
}

// The blue of block outlines, blended over the page.
bool outlineBlue(QRgb pixel)
{
    return qBlue(pixel) > 200 && qBlue(pixel) - qRed(pixel) > 80;
}

} // namespace

class TestBlockPainting : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void movedMeansBeyondHalfAPoint_data();
    void movedMeansBeyondHalfAPoint();
    void editedTextDiffersFromLines_data();
    void editedTextDiffersFromLines();
    void inkRepairChoosesPlainRussianText_data();
    void inkRepairChoosesPlainRussianText();
    void whiteMaskGrowsInkByOnePixel();
    void eraseOverlayHidesTextButKeepsRules();
    void blocksAreOutlinedGroupedAndErasedInEditMode();
    void outlineCoversWhatDrawRectCovers_data();
    void outlineCoversWhatDrawRectCovers();
    void changedLinesAreMeasuredOnceUntilTheyChange_data();
    void changedLinesAreMeasuredOnceUntilTheyChange();
    void outlinesRunThroughNoOtherLine_data();
    void outlinesRunThroughNoOtherLine();

private:
    QTemporaryDir m_dir;
};

void TestBlockPainting::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestBlockPainting::movedMeansBeyondHalfAPoint_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QRectF>("original");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<bool>("moved");
    const QRectF base(100, 100, 50, 20);
    QTest::newRow("same place") << base << base << 0.0 << false;
    QTest::newRow("half a point") << base.translated(0.5, 0) << base << 0.0 << false;
    QTest::newRow("more than half a point") << base.translated(0.6, 0) << base << 0.0 << true;
    QTest::newRow("taller") << base.adjusted(0, 0, 0, 1) << base << 0.0 << true;
    QTest::newRow("no original place") << base << QRectF(100, 100, 0, 20) << 0.0 << false;
    QTest::newRow("turned in place") << base << base << 15.0 << true;
    QTest::newRow("turned a hair") << base << base << 0.05 << false;
}

void TestBlockPainting::movedMeansBeyondHalfAPoint()
{
    QFETCH(QRectF, rect);
    QFETCH(QRectF, original);
    QFETCH(double, rotation);
    QFETCH(bool, moved);
    TextBlock block;
    block.rect = rect;
    block.originalRect = original;
    block.rotation = rotation;
    QCOMPARE(blockMoved(block), moved);
}

void TestBlockPainting::editedTextDiffersFromLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("flagged");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<bool>("edited");
    QTest::newRow("as read") << "Итого" << false << 0.0 << false;
    QTest::newRow("spaces around") << "  Итого \n" << false << 0.0 << false;
    QTest::newRow("changed") << "Итог" << false << 0.0 << true;
    QTest::newRow("flagged") << "Итого" << true << 0.0 << true;
    QTest::newRow("turned") << "Итого" << false << 0.2 << true;
    QTest::newRow("turned a hair") << "Итого" << false << 0.05 << false;
}

void TestBlockPainting::editedTextDiffersFromLines()
{
    QFETCH(QString, text);
    QFETCH(bool, flagged);
    QFETCH(double, rotation);
    QFETCH(bool, edited);
    TextBlock block = textBlock(QStringLiteral("Итого"), QRectF(0, 0, 40, 10));
    block.text = text;
    block.textEdited = flagged;
    block.rotation = rotation;
    QCOMPARE(blockTextEdited(block), edited);
    block.isImage = true;
    QVERIFY(!blockTextEdited(block));
}

void TestBlockPainting::inkRepairChoosesPlainRussianText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<bool>("repair");
    const QRectF inside(10, 10, 40, 10);
    QTest::newRow("short word") << "Итого" << inside << true;
    QTest::newRow("latin letter") << "Итого A" << inside << false;
    QTest::newRow("slash") << "1/2" << inside << false;
    QTest::newRow("rule") << "_____" << inside << false;
    QTest::newRow("stamp mark") << "М.П." << inside << true;
    QTest::newRow("short with punctuation") << "№№ ...... 12" << inside << true;
    QTest::newRow("mostly punctuation") << "Ааааааа.........." << inside << false;
    QTest::newRow("far away") << "Итого" << QRectF(500, 500, 40, 10) << false;
    QTest::newRow("blank") << "   " << inside << false;
}

void TestBlockPainting::inkRepairChoosesPlainRussianText()
{
    QFETCH(QString, text);
    QFETCH(QRectF, rect);
    QFETCH(bool, repair);
    QCOMPARE(shouldUseTextBlockForInkRepair(textBlock(text, rect), QRectF(0, 0, 100, 100)), repair);
}

void TestBlockPainting::whiteMaskGrowsInkByOnePixel()
{
    QImage image(5, 5, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(2, 2, qRgba(0, 0, 0, 200));
    image.setPixel(4, 0, qRgba(0, 0, 0, 8)); // too faint to count
    const QImage mask = whiteAlphaMaskForPreview(image);
    QCOMPARE(countPixels(mask, mask.rect(), 0xFFFFFFFF), 9);
    QCOMPARE(mask.pixel(1, 1), 0xFFFFFFFFu);
    QCOMPARE(qAlpha(mask.pixel(0, 0)), 0);
    QVERIFY(whiteAlphaMaskForPreview(QImage()).isNull());
}

void TestBlockPainting::eraseOverlayHidesTextButKeepsRules()
{
    // A paper-white field with a dark glyph and a long underline below it.
    QImage crop(120, 30, QImage::Format_ARGB32);
    crop.fill(QColor(255, 255, 250));
    for (int y = 5; y < 15; ++y)
        for (int x = 20; x < 26; ++x)
            crop.setPixel(x, y, qRgb(10, 10, 10));
    for (int x = 0; x < 120; ++x)
        crop.setPixel(x, 25, qRgb(0, 0, 0));
    const QImage overlay = inkEraseOverlay(crop, 1.0);
    // The glyph is covered with the field's own colour...
    QCOMPARE(overlay.pixel(22, 10), qRgb(255, 255, 250));
    QCOMPARE(overlay.pixel(19, 10), qRgb(255, 255, 250)); // within the one-pixel radius
    // ...the rule and the untouched field stay as they are.
    QCOMPARE(qAlpha(overlay.pixel(60, 25)), 0);
    QCOMPARE(qAlpha(overlay.pixel(80, 10)), 0);
}

void TestBlockPainting::blocksAreOutlinedGroupedAndErasedInEditMode()
{
    fixtures::PageSpec pageSpec;
    pageSpec.width = 400;
    pageSpec.height = 300;
    pageSpec.runs = {{QStringLiteral("Old"), 50, 200, 30}};
    auto [doc, view] = showPdf(m_dir, QStringLiteral("blocks.pdf"), fixtures::pagesPdf({pageSpec}), 600, 500);
    QVERIFY(doc && view);
    view->setRotation(90); // outlines follow the turned page
    const QRectF oldText = doc->findText(0, QStringLiteral("Old")).first();

    TextBlock edited = textBlock(QStringLiteral("Old"), oldText.adjusted(-2, -2, 2, 2));
    edited.text.clear(); // text deleted: the old ink goes and nothing new is drawn
    TextBlock first = textBlock(QStringLiteral("A"), QRectF(200, 50, 60, 40));
    TextBlock second = textBlock(QStringLiteral("B"), QRectF(280, 50, 60, 40));
    TextBlock picture;
    picture.isImage = true;
    picture.image = QImage(10, 10, QImage::Format_ARGB32);
    picture.image.fill(Qt::red);
    picture.rect = picture.originalRect = QRectF(200, 150, 60, 60); // on the page already: not drawn again
    view->showBlocks(0, {edited, first, second, picture}, {0, 7, 7, 0});

    const QImage before = grabViewport(*view);
    const QRect oldOnScreen = view->pdfRectToScreenRect(0, oldText).toRect();
    QVERIFY(!darkPixelBounds(before, oldOnScreen).isEmpty());
    view->setEditMode(true);
    const QImage shown = grabViewport(*view);
    // The edited block's old ink is erased.
    QVERIFY(darkPixelBounds(shown, oldOnScreen.adjusted(3, 3, -3, -3)).isEmpty());
    const auto blueish = [&shown](const QRect& r) {
        int hits = 0;
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = shown.pixelColor(x, r.top());
            hits += (c.blue() > 180 && c.red() < 160) ? 1 : 0;
        }
        return hits;
    };
    // Grouped blocks: one dashed group frame around both, 2 px out; no own outlines.
    const QRect group = view->ocrGroupScreenRect(7).toRect();
    QVERIFY(group.isValid());
    QVERIFY(blueish(group.adjusted(-2, -2, 2, 2)) > 10);
    const QRect firstOnScreen = view->ocrBlockScreenRect(1);
    QCOMPARE(firstOnScreen.size(), QSize(40, 60)); // turned: 60 x 40 points shows 40 wide, 60 high
    QVERIFY(blueish(view->ocrBlockScreenRect(2).adjusted(0, 1, 0, 1)) < 3);
    // The unmoved picture is not drawn over the page.
    QCOMPARE(countPixels(shown, view->ocrBlockScreenRect(3).adjusted(3, 3, -3, -3), qRgb(255, 0, 0)), 0);
}

void TestBlockPainting::outlineCoversWhatDrawRectCovers_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("width");
    QTest::newRow("thin") << QRect(10, 12, 40, 20) << 1;
    QTest::newRow("selected") << QRect(10, 12, 40, 20) << 2;
    QTest::newRow("one pixel high") << QRect(5, 5, 30, 1) << 1;
    QTest::newRow("selected, tiny") << QRect(5, 5, 2, 2) << 2;
}

// Block outlines are filled edge by edge; they must look as a stroked rectangle.
void TestBlockPainting::outlineCoversWhatDrawRectCovers()
{
    QFETCH(QRect, rect);
    QFETCH(int, width);
    QImage stroked(80, 60, QImage::Format_RGB32);
    stroked.fill(Qt::white);
    QImage filled = stroked;
    {
        QPainter painter(&stroked);
        painter.setPen(QPen(Qt::blue, width));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect);
    }
    {
        QPainter painter(&filled);
        drawRectOutline(painter, rect, Qt::blue, width);
    }
    // A stroke of width 2 bevels two outer corners away; nothing else differs.
    int differing = 0;
    for (int y = 0; y < filled.height(); ++y)
        for (int x = 0; x < filled.width(); ++x)
            differing += filled.pixel(x, y) != stroked.pixel(x, y) ? 1 : 0;
    QVERIFY2(differing <= 2 * (width - 1), qPrintable(QString::number(differing)));
}

void TestBlockPainting::changedLinesAreMeasuredOnceUntilTheyChange_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("remeasured");
    QTest::newRow("repaint") << QStringLiteral("repaint") << 0;
    QTest::newRow("pointer moves") << QStringLiteral("move") << 0;
    QTest::newRow("one line typed into") << QStringLiteral("type") << 1;
    QTest::newRow("zoom") << QStringLiteral("zoom") << 3;
}

// Fitting a line tries every pixel size: with many changed lines a paint or a
// pointer move took tens of milliseconds. Each changed line is measured once,
// and again only when it or the zoom changed.
void TestBlockPainting::changedLinesAreMeasuredOnceUntilTheyChange()
{
    QFETCH(QString, step);
    QFETCH(int, remeasured);
    fixtures::PageSpec pageSpec;
    pageSpec.width = 400;
    pageSpec.height = 300;
    pageSpec.runs = {{QStringLiteral("The first line"), 40, 250, 12},
                     {QStringLiteral("A second one"), 40, 220, 12},
                     {QStringLiteral("And the third"), 40, 190, 12}};
    auto [doc, view] = showPdf(m_dir, QStringLiteral("measured.pdf"), fixtures::pagesPdf({pageSpec}), 600, 500);
    QVERIFY(doc && view);
    std::vector<TextBlock> blocks = doc->extractText(0);
    QCOMPARE(int(blocks.size()), 3);
    for (TextBlock& block : blocks) {
        QVERIFY(isNativePdfLine(block.lines.front()));
        block.text += QStringLiteral(" ы");
    }
    view->setEditMode(true);
    view->setOcrBlocks(blocks, 0, false);
    grabViewport(*view);
    const int before = fittedLineMisses();
    if (step == QLatin1String("repaint")) {
        view->viewport()->repaint();
    } else if (step == QLatin1String("move")) {
        for (int i = 0; i < 20; ++i) {
            const QPointF at(50 + 10 * i, 40 + 10 * i);
            QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &move);
        }
    } else if (step == QLatin1String("type")) {
        blocks[1].text += QStringLiteral("ы");
        view->setOcrBlocks(blocks, 0, false);
        view->viewport()->repaint();
    } else {
        view->setZoom(view->zoom() * 1.25);
        view->viewport()->repaint();
    }
    // Measured for drawing and for the hit box: up to two fits per line.
    const int misses = fittedLineMisses() - before;
    QVERIFY2(misses >= remeasured && misses <= 2 * remeasured, qPrintable(QString::number(misses)));
    // What the cache gives is what fitting gives.
    const TextBlock& shown = view->blocks()[1];
    const FittedLine fitted = fittedLine(shown.lines.front(), shown, view->zoom(), shown.text, true);
    QCOMPARE(fitted.font, lineRenderFont(shown.lines.front(), shown, view->zoom(), shown.text, true, 1.0));
}

// In edit mode every line is outlined: at a small zoom too, no outline runs
// through the letters of another line (a heading or a table header would look
// struck through).
void TestBlockPainting::outlinesRunThroughNoOtherLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("zoom");
    for (const double zoom : {0.5, 0.64, 1.0})
        QTest::addRow("LibreOffice letter at %d %%", int(zoom * 100)) << "libreoffice-letter.pdf" << zoom;
    QTest::newRow("LibreOffice heading at 64 %") << "libreoffice-heading.pdf" << 0.64;
}

void TestBlockPainting::outlinesRunThroughNoOtherLine()
{
    QFETCH(QString, file);
    QFETCH(double, zoom);
    const ShownPdf shown = showRealPage(m_dir, file, 900, 700, zoom);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const std::vector<TextBlock> lines = shown.doc->extractText(0);
    const QImage image = grabViewport(view);
    QStringList crossed;
    // Within the letters' own box, off the edge its own outline may touch.
    constexpr int kEdge = 2;
    for (const TextBlock& line : lines) {
        if (outlineBlue(line.color.rgb()))
            continue;  // a blue link is no outline
        for (const TextBlock::Line::Word& word : line.lines.front().words) {
            const QRect letters =
                view.pdfRectToScreenRect(0, word.rect).toAlignedRect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
            int blue = 0;
            for (int y = letters.top(); y <= letters.bottom(); ++y)
                for (int x = letters.left(); x <= letters.right(); ++x)
                    blue += image.rect().contains(x, y) && outlineBlue(image.pixel(x, y)) ? 1 : 0;
            if (blue > 0)
                crossed << word.text;
        }
    }
    QVERIFY2(crossed.isEmpty(), qPrintable(crossed.join(' ')));
}

QTEST_MAIN(TestBlockPainting)
#include "tst_blockpainting.moc"
