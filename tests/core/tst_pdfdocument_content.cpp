#include "BlockFixtures.h"
#include "PageTextWriter.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "TextBlock.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::PageSpec;
using fixtures::TextRun;

namespace {

TextBlock ocrBlock(const QString& text, const QRectF& rect, float size = 14)
{
    return fixtures::oneLineBlock(text, rect, size);
}

int occurrences(const QString& haystack, const QString& needle)
{
    return int(haystack.count(needle));
}

// Bounding box of dark pixels inside area (pixels).
QRect inkBox(const QImage& image, const QRect& area)
{
    QRect box;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110)
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

QString pdftotext(const QString& file)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), file, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestPdfDocumentContent : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void rewritingTheSameBlocksKeepsOneTextLayer();
    void nearlyInvisibleVisibleTextGoesWithTheOldLayer();
    void unchangedNativeBlockWritesNothing();
    void movedBlockIsWhitedOutAndRedrawn();
    void editedTextReachesTheFile();
    void fiveEditCyclesKeepEachLineOnce();
    void invisibleDuplicateOfVisibleBlockIsDropped();
    void movedImagesCoverTheirOldPlace_data();
    void movedImagesCoverTheirOldPlace();
    void turnedBlockIsWrittenTurned();
    void textOnTurnedPageReadsUpright();
    void highlightsShowOverPicturesWithClampedAlpha();
    void refusedWritesSayWhy();
    void removingTheInvisibleLayerKeepsVisibleText();
    void editedParagraphsAreLaidOutOverTheBlock();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openPage(PdfDocument& doc, const PageSpec& page, const QString& name);
    QTemporaryDir m_dir;
};

void TestPdfDocumentContent::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfDocumentContent::cleanup()
{
    pdfengine::setFontRootForTesting(QString());
}

bool TestPdfDocumentContent::openPage(PdfDocument& doc, const PageSpec& page, const QString& name)
{
    return fixtures::writeFile(path(name), fixtures::pagesPdf({page})) && doc.open(path(name));
}

void TestPdfDocumentContent::rewritingTheSameBlocksKeepsOneTextLayer()
{
    PdfDocument doc;
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("ocr.pdf")));
    const std::vector<TextBlock> blocks{ocrBlock(QStringLiteral("Recognised line"), QRectF(72, 600, 200, 16))};
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    QVERIFY(doc.isModified());
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    QCOMPARE(occurrences(doc.extractAllText(0), QStringLiteral("Recognised line")), 1);
    // Invisible: nothing is drawn.
    const QImage render = doc.renderPage(0, 1.0, 0);
    QVERIFY(inkBox(render, render.rect()).isNull());
    const std::vector<TextBlock> extracted = doc.extractText(0);
    QCOMPARE(extracted.size(), size_t(1));
    QVERIFY(extracted[0].invisibleText);
    QVERIFY(qAbs(extracted[0].rect.x() - 72) < 3 && qAbs(extracted[0].rect.width() - 200) < 6);
}

void TestPdfDocumentContent::nearlyInvisibleVisibleTextGoesWithTheOldLayer()
{
    PageSpec page;
    TextRun faint{QStringLiteral("alphafour"), 72, 700, 12};
    faint.fillAlpha = 4.0 / 255;
    TextRun kept{QStringLiteral("alphafive"), 72, 650, 12};
    kept.fillAlpha = 5.0 / 255 + 0.001;
    page.runs << faint << kept;
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("alpha.pdf")));
    QVERIFY(doc.overlayOcrText(0, {ocrBlock(QStringLiteral("new layer"), QRectF(72, 400, 100, 14))}, false));
    const QString text = doc.extractAllText(0);
    QVERIFY(!text.contains(QStringLiteral("alphafour")));
    QVERIFY(text.contains(QStringLiteral("alphafive")));
}

void TestPdfDocumentContent::unchangedNativeBlockWritesNothing()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Native visible line"), 72, 700, 14};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("native.pdf")));
    const QImage before = doc.renderPage(0, 1.0, 0);
    QVERIFY(doc.overlayOcrText(0, doc.extractText(0), false));
    QVERIFY(!doc.isModified());
    QCOMPARE(occurrences(doc.extractAllText(0), QStringLiteral("Native visible line")), 1);
    QCOMPARE(doc.renderPage(0, 1.0, 0), before);
}

void TestPdfDocumentContent::movedBlockIsWhitedOutAndRedrawn()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Moving words"), 72, 700, 20};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("move.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    QCOMPARE(blocks.size(), size_t(1));
    const QRectF old = blocks[0].rect;
    const QPointF shift(0, -200);  // far enough to see both places
    blocks[0].rect.translate(shift);
    blocks[0].lines[0].rect.translate(shift);
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    auto pixelRect = [h](const QRectF& r) { return QRect(int(r.x()), int(h - r.bottom()), int(r.width()) + 1, int(r.height()) + 1); };
    QVERIFY(inkBox(render, pixelRect(old)).isNull());
    QVERIFY(!inkBox(render, pixelRect(old.translated(shift))).isNull());
}

void TestPdfDocumentContent::editedTextReachesTheFile()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Old words here"), 72, 700, 16} << TextRun{QStringLiteral("Untouched"), 72, 600, 16};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("edit.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    QCOMPARE(blocks.size(), size_t(2));
    blocks[0].text = QStringLiteral("Новый текст");
    blocks[0].textEdited = true;
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QString out = path(QStringLiteral("edited.pdf"));
    QVERIFY(doc.save(out));
    PdfDocument reread;
    QVERIFY(reread.open(out));
    const QString text = reread.extractAllText(0);
    QVERIFY2(text.contains(QStringLiteral("Новый текст")), qPrintable(text));
    QCOMPARE(occurrences(text, QStringLiteral("Untouched")), 1);
    const QString external = pdftotext(out);
    QVERIFY2(external.contains(QStringLiteral("Новый текст")), qPrintable(external));
}

// Edit, save and reopen the same page five times.
void TestPdfDocumentContent::fiveEditCyclesKeepEachLineOnce()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Heading line"), 72, 720, 16} << TextRun{QStringLiteral("Body line"), 72, 650, 12};
    QString file = path(QStringLiteral("cycle-0.pdf"));
    QVERIFY(fixtures::writeFile(file, fixtures::pagesPdf({page})));
    QString current;
    for (int cycle = 1; cycle <= 5; ++cycle) {
        PdfDocument doc;
        QVERIFY(doc.open(file));
        std::vector<TextBlock> blocks = doc.extractText(0);
        auto body = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return b.text.startsWith(current.isEmpty() ? QStringLiteral("Body line") : current);
        });
        QVERIFY(body != blocks.end());
        current = QStringLiteral("Body edit %1").arg(cycle);
        body->text = current;
        body->textEdited = true;
        QVERIFY(doc.overlayOcrText(0, blocks, false));
        file = path(QStringLiteral("cycle-%1.pdf").arg(cycle));
        QVERIFY(doc.save(file));
        PdfDocument reread;
        QVERIFY(reread.open(file));
        const QString text = reread.extractAllText(0);
        QCOMPARE(occurrences(text, current), 1);
        QCOMPARE(occurrences(text, QStringLiteral("Heading line")), 1);
    }
}

void TestPdfDocumentContent::invisibleDuplicateOfVisibleBlockIsDropped()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Twice written"), 72, 700, 14};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("dup.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock shadow = ocrBlock(QStringLiteral("Twice written"), blocks[0].rect);
    shadow.invisibleText = true;
    blocks.push_back(shadow);
    blocks.push_back(ocrBlock(QStringLiteral("Only recognised"), QRectF(72, 500, 150, 14)));
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QString text = doc.extractAllText(0);
    QCOMPARE(occurrences(text, QStringLiteral("Twice written")), 1);
    QCOMPARE(occurrences(text, QStringLiteral("Only recognised")), 1);
}

void TestPdfDocumentContent::movedImagesCoverTheirOldPlace_data()
{
    QTest::addColumn<bool>("inkRegion");
    QTest::newRow("ink region: only the ink") << true;
    QTest::newRow("picture: the whole rectangle") << false;
}

void TestPdfDocumentContent::movedImagesCoverTheirOldPlace()
{
    QFETCH(bool, inkRegion);
    // A grey field with a red cross over it.
    PageSpec page;
    page.extraContent = QStringLiteral("0.6 g 100 400 200 200 re f 1 0 0 RG 6 w 150 450 m 250 550 l S 150 550 m 250 450 l S\n");
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("ink.pdf")));
    std::vector<TextBlock> images = doc.extractImages(0);
    QCOMPARE(images.size(), size_t(1));
    QVERIFY(images[0].inkRegion);
    images[0].inkRegion = inkRegion;
    const QRectF old = images[0].rect;
    images[0].rect.translate(250, -300);
    QVERIFY(doc.overlayOcrText(0, images, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    const QColor centre = render.pixelColor(int(old.center().x()), int(h - old.center().y()));
    QCOMPARE(centre, QColor(Qt::white));  // the cross is gone
    // Inside the old rectangle but off the cross: grey stays only for ink regions.
    const QColor field = render.pixelColor(int(old.center().x()), int(h - old.bottom()) + 4);
    if (inkRegion)
        QVERIFY2(qAbs(field.red() - 153) < 6, qPrintable(field.name()));
    else
        QCOMPARE(field, QColor(Qt::white));
    const QColor moved = render.pixelColor(int(old.center().x()) + 250, int(h - old.center().y()) + 300);
    QVERIFY2(moved.red() > 180 && moved.green() < 90, qPrintable(moved.name()));
}

void TestPdfDocumentContent::turnedBlockIsWrittenTurned()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Turned line of text"), 100, 500, 20};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("turn.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    blocks[0].rotation = 90;
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const QRect ink = inkBox(render, render.rect());
    QVERIFY2(ink.height() > 2 * ink.width(), "a quarter-turned line stands upright");
}

void TestPdfDocumentContent::textOnTurnedPageReadsUpright()
{
    PageSpec page;
    page.rotate = 90;
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("turned-page.pdf")));
    const QSizeF size = doc.pageSize(0);
    QCOMPARE(size, QSizeF(842, 595));
    TextBlock block = ocrBlock(QStringLiteral("Upright on a turned page"), QRectF(100, 400, 300, 20), 20);
    block.textEdited = true;  // written visibly
    block.originalRect = QRectF();
    QVERIFY(doc.overlayOcrText(0, {block}, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const QRect ink = inkBox(render, render.rect());
    QVERIFY2(ink.width() > 4 * ink.height(), "the line runs across the displayed page");
    QVERIFY(qAbs(ink.left() - 100) < 6);
    QVERIFY(qAbs(ink.bottom() - (size.height() - 400)) < 12);
    const std::vector<TextBlock> extracted = doc.extractText(0);
    QVERIFY(!extracted.empty());
    QCOMPARE(extracted[0].text, QStringLiteral("Upright on a turned page"));
}

void TestPdfDocumentContent::highlightsShowOverPicturesWithClampedAlpha()
{
    QImage scan(300, 300, QImage::Format_RGB32);
    scan.fill(QColor(230, 230, 230));
    const QString picture = path(QStringLiteral("scan.png"));
    QVERIFY(scan.save(picture));
    PdfDocument doc;
    QVERIFY(doc.importDocument(picture));
    QVERIFY(doc.addHighlightAnnot(0, QRectF(10, 10, 50, 50), QColor(255, 0, 0, 255)));
    QVERIFY(doc.addMarkupAnnot(0, QRectF(80, 10, 50, 50), QColor(255, 0, 0, 0), 7));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    const QColor strong = render.pixelColor(35, int(h - 35));
    const QColor faint = render.pixelColor(105, int(h - 35));
    // Multiply over 230 grey: green = 230 * (1 - alpha).
    QVERIFY2(qAbs(strong.green() - int(230 * (1 - 120 / 255.0))) < 8, qPrintable(strong.name()));
    QVERIFY2(qAbs(faint.green() - int(230 * (1 - 20 / 255.0))) < 8, qPrintable(faint.name()));
    QVERIFY(strong.red() > 200);
    QVERIFY(doc.addHighlightAnnot(0, QRectF(10, 80, 20, 20), QColor()));  // invalid: yellow
    const QColor yellow = doc.renderPage(0, 1.0, 0).pixelColor(20, int(h - 90));
    QVERIFY2(yellow.blue() < yellow.green() - 40, qPrintable(yellow.name()));
}

void TestPdfDocumentContent::refusedWritesSayWhy()
{
    PdfDocument doc;
    QVERIFY(!doc.overlayOcrText(0, {ocrBlock(QStringLiteral("x"), QRectF(0, 0, 10, 10))}, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("refuse.pdf")));
    QVERIFY(!doc.overlayOcrText(0, {}, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.overlayOcrText(3, {ocrBlock(QStringLiteral("x"), QRectF(0, 0, 10, 10))}, false));
    QVERIFY(!doc.isModified());
    QVERIFY(!doc.addImageToPage(0, QPointF(0, 0), QSizeF(50, 0.1), QImage(4, 4, QImage::Format_RGB32)));
    QVERIFY(!doc.addFreeText(0, QRectF(0, 0, 10, 10), QString(), QString(), 10, Qt::black));
    QVERIFY(!doc.addStickyNote(0, QPointF(1, 1), QStringLiteral("a"), QStringLiteral("b")));
    QCOMPARE(doc.lastError(), QStringLiteral("Sticky notes are not implemented in the PDFium backend yet."));
    QVERIFY(!doc.isModified());
    QVERIFY(doc.addFreeText(0, QRectF(72, 500, 200, 20), QStringLiteral("Free text"), QStringLiteral("Courier"), 12, Qt::blue));
    QVERIFY(doc.extractAllText(0).contains(QStringLiteral("Free text")));
}

void TestPdfDocumentContent::removingTheInvisibleLayerKeepsVisibleText()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Printed heading"), 72, 700, 14};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("layer.pdf")));
    QVERIFY(doc.removeInvisibleTextLayer(0));
    QVERIFY(!doc.isModified()); // nothing to remove: the page is untouched
    QVERIFY(doc.overlayOcrText(0, {ocrBlock(QStringLiteral("hidden words"), QRectF(72, 400, 120, 14))}, false));
    QVERIFY(doc.extractAllText(0).contains(QStringLiteral("hidden words")));

    QVERIFY(doc.removeInvisibleTextLayer(0));
    const QString text = doc.extractAllText(0);
    QVERIFY(!text.contains(QStringLiteral("hidden words")));
    QCOMPARE(occurrences(text, QStringLiteral("Printed heading")), 1);
    QVERIFY(doc.save(path(QStringLiteral("layer-saved.pdf"))));
    QVERIFY(!pdftotext(path(QStringLiteral("layer-saved.pdf"))).contains(QStringLiteral("hidden words")));

    QVERIFY(!doc.removeInvisibleTextLayer(5));
    QVERIFY(!doc.lastError().isEmpty());
}

void TestPdfDocumentContent::editedParagraphsAreLaidOutOverTheBlock()
{
    TextBlock block = ocrBlock(QStringLiteral("one"), QRectF(100, 500, 120, 40), 10);
    TextBlock::Line second = block.lines[0];
    block.lines[0].rect = QRectF(100, 528, 120, 12);
    second.rect = QRectF(100, 514, 120, 12);
    TextBlock::Line third = second;
    third.rect = QRectF(100, 500, 120, 12);
    block.lines = {block.lines[0], second, third};
    QCOMPARE(pdfengine::linesForWriting(block).size(), size_t(3));  // untouched: the block's own lines

    block.textEdited = true;
    block.text = QStringLiteral("first\nsecond\nthird");
    std::vector<TextBlock::Line> lines = pdfengine::linesForWriting(block);
    QCOMPARE(lines.size(), size_t(3));
    QCOMPARE(lines[1].text, QStringLiteral("second"));
    QCOMPARE(lines[1].rect, QRectF(100, 514, 120, 12));  // same count: the old line places

    // 24 characters fit a line of 120 points at size 10: four lines, 14 points apart.
    block.text = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron");
    lines = pdfengine::linesForWriting(block);
    QCOMPARE(lines.size(), size_t(4));
    for (const TextBlock::Line& line : lines)
        QVERIFY(line.text.size() <= 24);
    QCOMPARE(lines[0].rect.y() + lines[0].rect.height(), 540.0);
    QCOMPARE(lines[1].rect.y(), lines[0].rect.y() - 14);

    TextBlock single = ocrBlock(QStringLiteral("short"), QRectF(0, 0, 30, 12), 10);
    single.textEdited = true;
    single.text = QStringLiteral("a much longer line than the block");
    QCOMPARE(pdfengine::linesForWriting(single).size(), size_t(1));
}

QTEST_GUILESS_MAIN(TestPdfDocumentContent)
#include "tst_pdfdocument_content.moc"
