// The editor over real TeX pages: clicks put the caret between the glyphs the
// page draws, and a deleted line leaves no ink on screen.
#include "BlockPainting.h"
#include "FrameDrag.h"
#include "LoadedMachine.h"
#include "NativeTextLayer.h"
#include "OcrBlocks.h"
#include "OcrEngine.h"
#include "OcrRunRules.h"
#include "TurnedBox.h"
#include "PdfPageTransform.h"
#include "ViewTestSupport.h"

#include <QMap>
#include <QPainter>
#include <QRegion>
#include <QStandardPaths>
#include <QTransform>
#include <QTextCursor>
#include <QTextEdit>

using namespace viewtest;

namespace {

const TextBlock::Line* lineStartingWith(const std::vector<TextBlock>& blocks, const QString& start)
{
    for (const TextBlock& block : blocks) {
        if (block.text.startsWith(start))
            return &block.lines[0];
    }
    return nullptr;
}

// Dark and without colour: page ink, not a block's blue outline.
bool isGreyInk(QRgb pixel)
{
    const int spread = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) - std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
    return qGray(pixel) < 160 && spread < 40;
}

int darkPixels(const QImage& image, const QRegion& area)
{
    int count = 0;
    for (const QRect& rect : area) {
        const QRect clipped = rect.intersected(image.rect());
        for (int y = clipped.top(); y <= clipped.bottom(); ++y)
            for (int x = clipped.left(); x <= clipped.right(); ++x)
                count += isGreyInk(image.pixel(x, y)) ? 1 : 0;
    }
    return count;
}

// Where a line's letters stand on the page: its box turned about its centre
// by the direction it is read in.
QRectF inkBoxOf(const TextBlock& block)
{
    const QPointF c = block.rect.center();
    return QTransform().translate(c.x(), c.y()).rotate(block.rotation).translate(-c.x(), -c.y()).mapRect(block.rect);
}

// The first page of an open scan as the recogniser reads it (empty when it cannot).
std::vector<TextBlock> recognisedPage(PdfDocument& doc)
{
    OcrEngine engine;
    if (!engine.init(QStringLiteral("rus+eng")))
        return {};
    const QSizeF size = doc.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    return engine.recognizePage(doc.renderPage(0, zoom, 0), 0, zoom, size.height());
}

// The recognised page written into the document as its text layer and read
// back as the window shows it in edit mode (empty when it cannot).
std::vector<TextBlock> layeredPage(PdfDocument& doc)
{
    const std::vector<TextBlock> recognised = recognisedPage(doc);
    if (recognised.empty() || !doc.overlayOcrText(0, recognised, false))
        return {};
    const std::vector<TextBlock> images = inkBesidesText(doc.extractImages(0), doc.extractText(0));
    std::vector<TextBlock> kept = cleanedNativeTextBlocks(doc.extractText(0), images);
    const QSizeF size = doc.pageSize(0);
    if (!isUsableNativeTextLayer(kept, size.width(), size.height()))
        return {};
    sortReadingOrder(kept, size.width(), size.height());
    kept.insert(kept.end(), images.begin(), images.end());
    return kept;
}

bool allLetters(const QString& word)
{
    return word.size() >= 3 && std::all_of(word.begin(), word.end(), [](QChar c) { return c.isLetter(); });
}

} // namespace

class TestPdfViewRealPages : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void caretLandsBetweenTheClickedGlyphs_data();
    void caretLandsBetweenTheClickedGlyphs();
    void deletedLineLeavesNoInk_data();
    void deletedLineLeavesNoInk();
    void turnedPageEditsKeepTheirText_data();
    void turnedPageEditsKeepTheirText();
    void deletedRecognisedBlockLeavesItsNeighbours_data();
    void deletedRecognisedBlockLeavesItsNeighbours();
    void correctedScanLineIsShownAsWritten_data();
    void correctedScanLineIsShownAsWritten();
    void correctedLineIsShownAsWritten_data();
    void correctedLineIsShownAsWritten();
    void boldWithTheTextUnchangedIsWritten_data();
    void boldWithTheTextUnchangedIsWritten();
    void turnedScanClickLandsOnTheLineUnderThePointer_data();
    void turnedScanClickLandsOnTheLineUnderThePointer();
    void scanColumnWordIsDoubleClicked_data();
    void scanColumnWordIsDoubleClicked();
};

void TestPdfViewRealPages::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestPdfViewRealPages::caretLandsBetweenTheClickedGlyphs_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("pageTurns");  // the file's /Rotate, in quarter turns
    QTest::addColumn<int>("viewTurn");   // the view's own rotation, degrees
    QTest::newRow("upright") << "tex-t2a-names.pdf" << 0 << 0;
    QTest::newRow("/Rotate 90") << "tex-t2a-names-rot90.pdf" << 1 << 0;
    QTest::newRow("turned view") << "tex-t2a-names.pdf" << 0 << 90;
}

// Clicks in the first and last quarter of a glyph, on four lines, put the
// caret before and after that glyph. Where the glyphs are comes from the
// upright page, carried onto the turned one by the page's rotation.
void TestPdfViewRealPages::caretLandsBetweenTheClickedGlyphs()
{
    QFETCH(QString, file);
    QFETCH(int, pageTurns);
    QFETCH(int, viewTurn);
    PdfDocument upright;
    QVERIFY(upright.open(fixtures::realPdf(QStringLiteral("tex-t2a-names.pdf"))));
    const std::vector<TextBlock> reference = upright.extractText(0);
    const PdfPageTransform toShown(QRectF(QPointF(0, 0), upright.pageSize(0)), pageTurns);

    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    auto view = makeView(1300, 1300);
    QVERIFY(view);
    view->setDocument(&doc);
    view->setZoom(2.0);
    view->setRotation(viewTurn);
    view->setOcrBlocks(doc.extractText(0), 0, false);
    view->setEditMode(true);

    int clicks = 0;
    QStringList missed;
    for (const QString& start : {QStringLiteral("документация"), QStringLiteral("рядок"), QStringLiteral("Замечание"),
                                 QStringLiteral("Установка")}) {
        const TextBlock::Line* line = lineStartingWith(reference, start);
        QVERIFY2(line && line->glyphBoxes.size() == size_t(line->text.size()), qPrintable(start));
        view->ensurePageVisible(0);
        for (int k : {2, 5, 9, 14, 22}) {
            while (!line->text[k].isLetter())  // a click on a comma is a pixel wide
                ++k;
            const QRectF glyph = line->glyphBoxes[size_t(k)];
            for (const auto& [fraction, expected] : {std::pair{0.25, k}, std::pair{0.75, k + 1}}) {
                const QPointF onPage = toShown.toPage(QPointF(glyph.left() + fraction * glyph.width(), glyph.center().y()));
                const QPoint at = viewportPointOf(*view, 0, onPage);
                QVERIFY(view->viewport()->rect().contains(at));
                clickAt(*view, at);
                QTextEdit* editor = view->activeTextEditor();
                QVERIFY(editor);
                QCOMPARE(editor->toPlainText(), line->text);
                ++clicks;
                const int position = editor->textCursor().position();
                if (position != expected)
                    missed << QStringLiteral("%1 at %2: %3").arg(line->text.left(expected), QString::number(expected),
                                                                 QString::number(position));
            }
        }
    }
    QCOMPARE(clicks, 40);
    QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QStringLiteral("; "))));
}

void TestPdfViewRealPages::deletedLineLeavesNoInk_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("upright");  // the same page unturned: where the glyphs are
    QTest::addColumn<int>("pageTurns");
    QTest::addColumn<QString>("start");
    QTest::addColumn<double>("zoom");
    const QString t2a = QStringLiteral("tex-t2a-names.pdf");
    const QString turned = QStringLiteral("tex-t2a-names-rot90.pdf");
    QTest::newRow("T2A body line") << t2a << t2a << 0 << "документация" << 1.5;
    QTest::newRow("T2A body line, zoom 1") << t2a << t2a << 0 << "документация" << 1.0;
    QTest::newRow("T2A raised letter, zoom 1.25") << t2a << t2a << 0 << "Система" << 1.25;
    QTest::newRow("T2A turned page") << turned << t2a << 1 << "документация" << 1.0;
    QTest::newRow("T2A turned page, raised letter") << turned << t2a << 1 << "Система" << 1.0;
    QTest::newRow("T2A bold and italic, zoom 0.75") << t2a << t2a << 0 << "Замечание" << 0.75;
    QTest::newRow("T2A heading") << t2a << t2a << 0 << "Документация" << 1.0;
    QTest::newRow("TeX Type 1, zoom 1.33") << "tex-type1.pdf" << "tex-type1.pdf" << 0 << "Definition." << 1.33;
    QTest::newRow("TeX bitmap ligatures") << "tex-type3.pdf" << "tex-type3.pdf" << 0 << "Definition." << 2.0;
}

// After "Удалить" the whole line's ink is gone from the screen (not only after
// the save): no dark pixel is left over its glyphs, measured on the page
// itself, wherever the extraction cut the line.
void TestPdfViewRealPages::deletedLineLeavesNoInk()
{
    QFETCH(QString, file);
    QFETCH(QString, upright);
    QFETCH(int, pageTurns);
    QFETCH(QString, start);
    QFETCH(double, zoom);
    PdfDocument reference;
    QVERIFY(reference.open(fixtures::realPdf(upright)));
    const PdfPageTransform toShown(QRectF(QPointF(0, 0), reference.pageSize(0)), pageTurns);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    auto view = makeView(900, 1000);
    QVERIFY(view);
    view->setDocument(&doc);
    view->setZoom(zoom);
    view->setOcrBlocks(doc.extractText(0), 0, false);
    view->setEditMode(true);
    // The line's glyphs on screen, less where another line's glyphs reach.
    QRegion line;
    QRegion others;
    for (const TextBlock& block : reference.extractText(0)) {
        for (const QRectF& glyph : block.lines[0].glyphBoxes) {
            if (glyph.width() > 0.01 && glyph.height() > 0.01)
                (block.text.startsWith(start) ? line : others) +=
                    view->pdfRectToScreenRect(0, toShown.toPage(glyph)).toRect();
        }
    }
    const QRegion ink = line - others;
    QVERIFY(darkPixels(grabViewport(*view), ink) > 50);
    const int index = blockWith(*view, start);
    QVERIFY(index >= 0);
    const QRect opened = view->pdfRectToScreenRect(0, inkBoxOf(view->blocks()[size_t(index)])).toRect();
    clickAt(*view, opened.center());  // opened first, as a user would
    QVERIFY(view->activeTextEditor());
    view->deleteSelectedOcrBlocks();
    const int left = darkPixels(grabViewport(*view), ink);
    QVERIFY2(left == 0, qPrintable(QString::number(left)));
}

void TestPdfViewRealPages::deletedRecognisedBlockLeavesItsNeighbours_data()
{
    QTest::addColumn<QString>("turn");
    QTest::newRow("straight scan") << "0";
    QTest::newRow("scan turned 1.5°") << "1.5";
}

// A recognised paragraph deleted on a scan: its turned lines' ink leaves the
// screen at once, the heading over it stays on screen and in the saved page,
// which reads the heading's words and none of the paragraph's.
void TestPdfViewRealPages::deletedRecognisedBlockLeavesItsNeighbours()
{
    QFETCH(QString, turn);
    const QString file = fixtures::realPdf(QStringLiteral("gs-scan-turned-%1.pdf").arg(turn));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const std::vector<TextBlock> blocks = recognisedPage(doc);
    QVERIFY(!blocks.empty());
    auto view = makeView(900, 700);
    QVERIFY(view);
    view->setDocument(&doc);
    view->setOcrBlocks(blocks, 0, true);
    view->setEditMode(true);
    const int heading = blockWith(*view, QStringLiteral("Раздел"));
    const int paragraph = blockWith(*view, QStringLiteral("Поставщик"));
    QVERIFY(heading >= 0 && paragraph >= 0 && view->blocks()[size_t(heading)].lines.size() == 2);
    // Each line's ink on screen: its own turned box, a little inside.
    const auto inkOf = [&](const TextBlock& block) {
        QRegion region;
        for (const TextBlock::Line& line : block.lines) {
            QPolygonF shown;
            for (const QPointF& corner : TurnedBox(line.rect.adjusted(0.5, 0.5, -0.5, -0.5), line.turn).polygon())
                shown << QPointF(viewportPointOf(*view, 0, corner));
            region += QRegion(shown.toPolygon());
        }
        return region;
    };
    const QRegion paragraphInk = inkOf(view->blocks()[size_t(paragraph)]);
    const QRegion headingInk = inkOf(view->blocks()[size_t(heading)]) - paragraphInk;
    const QImage before = grabViewport(*view);
    QVERIFY(darkPixels(before, paragraphInk) > 1000);
    const int headingDark = darkPixels(before, headingInk);
    QVERIFY(headingDark > 200);
    QStringList gone;
    for (const TextBlock::Line& line : view->blocks()[size_t(paragraph)].lines)
        gone << line.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    view->selectOcrBlock(paragraph, false);
    view->deleteSelectedOcrBlocks();
    const QImage after = grabViewport(*view);
    const int left = darkPixels(after, paragraphInk);
    QVERIFY2(left == 0, qPrintable(QString::number(left)));
    QCOMPARE(darkPixels(after, headingInk), headingDark);

    QTemporaryDir dir;
    const QString saved = saveEdits(*view, doc, dir, QStringLiteral("deleted.pdf"));
    QVERIFY2(!saved.isEmpty(), qPrintable(doc.lastError()));
    // Every recognised word once, less the paragraph's.
    QMap<QString, int> expected, read;
    for (const TextBlock& block : blocks)
        for (const TextBlock::Line& line : block.lines)
            for (const QString& word : line.text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                ++expected[word];
    for (const QString& word : gone)
        --expected[word];
    for (const QString& word : pdftools::words(saved, 0))
        ++read[word];
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(read.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(it.key()).arg(read.value(it.key())).arg(it.value())));
}

void TestPdfViewRealPages::turnedPageEditsKeepTheirText_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("group");  // else a drag of the first line
    QTest::addColumn<bool>("wholeLines");  // each line reads whole, not through the other, in order
    QTest::addColumn<bool>("listedUpward");  // the lower line is listed first, as the window's text layer may
    QTest::newRow("groff, two lines grouped") << "groff-columns-rot90.pdf" << true << false << false;
    QTest::newRow("groff, a line dragged") << "groff-columns-rot90.pdf" << false << false << false;
    QTest::newRow("TeX, two lines grouped") << "tex-t2a-names-rot90.pdf" << true << false << false;
    QTest::newRow("TeX, a line dragged") << "tex-t2a-names-rot90.pdf" << false << false << false;
    QTest::newRow("TeX, grouped lines stay apart") << "tex-t2a-names-rot90.pdf" << true << true << false;
    QTest::newRow("TeX, grouped lines listed upward") << "tex-t2a-names-rot90.pdf" << true << true << true;
    QTest::newRow("upright TeX, grouped lines listed upward") << "tex-t2a-names.pdf" << true << true << true;
}

namespace {

// A word poppler reads in pieces on the source page (a TeX logo's raised
// letter) and whose pieces all stand on the saved page: a moved line keeps
// its glyphs, and where it lands decides how poppler lays the pieces out.
bool readInPieces(const QString& word, const QString& source, const QString& saved)
{
    const QStringList before = pdftools::words(source, 0);
    if (before.contains(word))
        return false;
    const QStringList after = pdftools::words(saved, 0);
    QStringList pieces;
    for (const QString& piece : before)
        if (piece.size() < word.size() && word.contains(piece))
            pieces << piece;
    return !pieces.isEmpty() &&
           std::all_of(pieces.begin(), pieces.end(), [&](const QString& piece) { return after.contains(piece); });
}

} // namespace

// On a /Rotate 90 page, grouping two lines or dragging one writes their words
// into the saved page.
void TestPdfViewRealPages::turnedPageEditsKeepTheirText()
{
    QFETCH(QString, file);
    QFETCH(bool, group);
    QFETCH(bool, wholeLines);
    QFETCH(bool, listedUpward);
    QTemporaryDir dir;
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    auto view = makeView(1300, 1300);
    QVERIFY(view);
    view->setDocument(&doc);
    std::vector<TextBlock> listed = doc.extractText(0);
    const TextBlock first = listed[1];
    const TextBlock second = listed[2];
    if (listedUpward)
        std::swap(listed[1], listed[2]);
    view->setOcrBlocks(listed, 0, false);
    view->setEditMode(true);
    if (group) {
        view->selectOcrBlock(1, false);
        view->selectOcrBlock(2, true);
        view->groupSelectedOcrBlocks();
        clickAt(*view, QPoint(4, 4));  // the editor closes, as a click beside the page does
    } else {
        const QPoint at = view->pdfRectToScreenRect(0, first.rect).toRect().center();
        clickAt(*view, at);
        BlockEditorFrame* frame = view->blockEditorFrame();
        QVERIFY(frame && frame->isVisible());
        // The band above the line's text, turned with it a quarter clockwise.
        const QRect content = frame->contentScreenRect();
        const QPoint band = content.center() + QPoint(content.height() / 2 + 4, content.width() / 4);
        QCOMPARE(frame->hitTest(frame->mapFromParent(band)), BlockEditorFrame::Inside);
        framedrag::dragFrame(frame, frame->mapFromParent(band), QPoint(30, 0), 6);
        QVERIFY(blockMoved(view->blocks()[1]));
    }
    const QRectF placed = inkBoxOf(view->blocks()[1]);
    const QString saved = saveEdits(*view, doc, dir, QStringLiteral("edited.pdf"));
    QVERIFY(!saved.isEmpty());
    const QString text = layoutText(saved).simplified();
    QStringList missing;
    for (const TextBlock& line : group ? std::vector<TextBlock>{first, second} : std::vector<TextBlock>{first}) {
        if (wholeLines && !text.contains(line.text.simplified()))
            missing << line.text;
        for (const QString& word : line.text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (!text.contains(word) && !readInPieces(word, fixtures::realPdf(file), saved))
                missing << word;
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(' ') + QStringLiteral(" | ") + text.left(300)));
    if (wholeLines)  // and in their order
        QVERIFY2(text.indexOf(first.text.simplified()) < text.indexOf(second.text.simplified()), qPrintable(text.left(300)));
    if (group)
        return;
    PdfDocument reread;  // the dragged line stands at its new place
    QVERIFY(reread.open(saved));
    const std::vector<TextBlock> lines = reread.extractText(0);
    QVERIFY(std::any_of(lines.begin(), lines.end(), [&](const TextBlock& b) {
        const QRectF common = inkBoxOf(b) & placed;
        return b.text.contains(first.text.section(QLatin1Char(' '), 0, 1))
               && common.width() * common.height() > 0.8 * placed.width() * placed.height();
    }));
}

void TestPdfViewRealPages::turnedScanClickLandsOnTheLineUnderThePointer_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("paragraph");  // a word of the paragraph clicked
    QTest::addColumn<bool>("reopened");      // the recognised page saved with its layer and opened again
    QTest::addColumn<bool>("previousOpen");  // the line above is left open: its handles reach over the line
    for (const char* turn : {"0.5", "1.0", "1.5"}) {
        const QString file = QStringLiteral("gs-scan-turned-%1.pdf").arg(QLatin1String(turn));
        QTest::addRow("scan turned %s°, recognised", turn) << file << "трёх" << false << false;
        QTest::addRow("scan turned %s°, saved and reopened", turn) << file << "трёх" << true << false;
    }
    for (const char* turn : {"1.0", "1.5"}) {
        const QString file = QStringLiteral("gs-scan-turned-%1.pdf").arg(QLatin1String(turn));
        QTest::addRow("scan turned %s°, the line above open", turn) << file << "трёх" << false << true;
        QTest::addRow("scan turned %s°, reopened, the line above open", turn) << file << "трёх" << true << true;
    }
    for (const bool reopened : {false, true})
        QTest::addRow("sections scan turned 1.0°,%s the line above open", reopened ? " reopened," : "")
            << "sections-scan-turned-1.0.pdf" << "Настоящий" << reopened << true;
}

// On a skewed scan the right end of a line stands higher or lower than its
// upright box says: a double click on the last word of each line of a
// paragraph selects that word, and typing replaces it and nothing else. With
// the line above still open its frame's handles reach over that word: the
// double click goes to the word drawn there all the same.
void TestPdfViewRealPages::turnedScanClickLandsOnTheLineUnderThePointer()
{
    QFETCH(QString, file);
    QFETCH(QString, paragraph);
    QFETCH(bool, reopened);
    QFETCH(bool, previousOpen);
    QTemporaryDir dir;
    auto doc = std::make_unique<PdfDocument>();
    QVERIFY(doc->open(fixtures::realPdf(file)));
    std::vector<TextBlock> blocks = recognisedPage(*doc);
    const auto found = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
        return b.lines.size() >= 2 && b.text.contains(paragraph);
    });
    QVERIFY2(found != blocks.end(), "the paragraph is not recognised");
    const std::vector<TextBlock::Line> lines = found->lines;
    if (reopened) {
        const QString layered = dir.filePath(QStringLiteral("layered.pdf"));
        QVERIFY(doc->overlayOcrText(0, blocks, false) && doc->save(layered));
        doc = std::make_unique<PdfDocument>();
        QVERIFY(doc->open(layered));
        blocks = cleanedNativeTextBlocks(doc->extractText(0), {});
    }
    auto view = makeView(1000, 1300);
    QVERIFY(view);
    view->setDocument(doc.get());
    view->setZoom(1.5);
    view->setOcrBlocks(blocks, 0, !reopened);
    view->setEditMode(true);

    // Each line's last word, where the recognition saw it.
    QString typedOver;
    for (size_t k = 0; k < lines.size(); ++k) {
        const auto last = std::find_if(lines[k].words.rbegin(), lines[k].words.rend(),
                                       [](const TextBlock::Line::Word& w) { return allLetters(w.text); });
        if (last == lines[k].words.rend())
            continue;
        // Near the top and the bottom of its letters, in the line's turn.
        for (const double share : {0.35, -0.35}) {
            const QPointF c = last->rect.center();
            const QPointF on = clockwiseTurn(c, lines[k].turn).map(c + QPointF(0, share * last->rect.height()));
            QVERIFY2(doubleClickedWord(*view, viewportPointOf(*view, 0, on), previousOpen && k > 0) == last->text,
                     qPrintable(QStringLiteral("line %1 at %2: %3").arg(k).arg(share).arg(lines[k].text)));
        }
        if (k == 1) {
            typedOver = last->text;
            typeText(view->activeTextEditor(), QStringLiteral("ЖЖ"));
        }
    }
    QVERIFY(!typedOver.isEmpty());
    clickAt(*view, QPoint(4, 4));
    const QString saved = saveEdits(*view, *doc, dir, QStringLiteral("typed.pdf"));
    QVERIFY2(!saved.isEmpty(), qPrintable(doc->lastError()));
    const QString text = layoutText(saved);
    const QString typedLine = QString(lines[1].text).replace(lines[1].text.lastIndexOf(typedOver), typedOver.size(),
                                                             QStringLiteral("ЖЖ"));
    QVERIFY2(text.simplified().contains(typedLine.simplified()), qPrintable(text));
    QVERIFY2(text.simplified().contains(lines[0].text.simplified()), qPrintable(text));
    QCOMPARE(int(text.count(QStringLiteral("ЖЖ"))), 1);
}

void TestPdfViewRealPages::scanColumnWordIsDoubleClicked_data()
{
    QTest::addColumn<QString>("changed");  // a word of the line replaced first
    QTest::addColumn<QString>("word");
    QTest::newRow("line as read") << "" << "Переводимое";
    QTest::newRow("first column changed") << "ввод" << "Переводимое";
    QTest::newRow("first column changed, the line's last word") << "ввод" << "значение";
    QTest::newRow("second column changed") << "значение" << "ввод";
}

// A recognised two-column line of a scan turned 1.0°: the view draws its
// columns where the words were read, and a changed column as the page writer
// lays it. A double click on a word where it is drawn selects that word, and
// typing replaces it.
void TestPdfViewRealPages::scanColumnWordIsDoubleClicked()
{
    QFETCH(QString, changed);
    QFETCH(QString, word);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(QStringLiteral("sections-scan-turned-1.0.pdf"))));
    const std::vector<TextBlock> blocks = recognisedPage(doc);
    auto view = makeView(1000, 800);
    QVERIFY(view);
    view->setDocument(&doc);
    view->setZoom(1.5);
    view->setOcrBlocks(blocks, 0, true);
    view->setEditMode(true);
    int lineIndex = -1;  // in the editor's text
    TextBlock::Line line;
    for (const TextBlock& b : view->blocks())
        for (size_t k = 0; k < b.lines.size() && lineIndex < 0; ++k)
            if (b.lines[k].text.startsWith(QStringLiteral("Действительный"))) {
                lineIndex = int(k);
                line = b.lines[k];
            }
    QVERIFY2(lineIndex >= 0, "the table header is not recognised as a line");
    const auto pointAt = [&](const QString& start) {
        const auto found = std::find_if(line.words.begin(), line.words.end(),
                                        [&](const TextBlock::Line::Word& w) { return w.text.startsWith(start); });
        return found == line.words.end() ? QPoint(-1, -1)
                                         : viewportPointOf(*view, 0, clockwiseTurn(found->rect.center(), line.turn)
                                                                         .map(found->rect.center()));
    };
    QString expected = line.text;
    if (!changed.isEmpty()) {
        QCOMPARE(doubleClickedWord(*view, pointAt(changed)), changed);
        typeText(view->activeTextEditor(), QStringLiteral("ЖЖЖЖЖЖ"));
        expected.replace(changed, QStringLiteral("ЖЖЖЖЖЖ"));
        QCoreApplication::processEvents();
    }
    // A changed line stays open: the clicks go to it.
    QCOMPARE(doubleClickedWord(*view, pointAt(word), true), word);
    typeText(view->activeTextEditor(), QStringLiteral("ЮЮ"));
    QCOMPARE(view->activeTextEditor()->toPlainText().section(QLatin1Char('\n'), lineIndex, lineIndex),
             expected.replace(word, QStringLiteral("ЮЮ")));
}

QTEST_MAIN(TestPdfViewRealPages)
#include "tst_pdfview_realpages.moc"

void TestPdfViewRealPages::correctedScanLineIsShownAsWritten_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<bool>("typed");  // in the open editor, else as the editor leaves the block
    QTest::addColumn<bool>("nextLineToo");  // then the next line typed in the editor opened again
    QTest::addColumn<bool>("layered");  // the blocks read back from the layer the recognition wrote
    QTest::addColumn<bool>("close");  // the line above deleted, read reaching down to just over the line
    QTest::newRow("straight scan") << "0" << false << false << false << false;
    QTest::newRow("scan turned 0.5°") << "0.5" << false << false << false << false;
    QTest::newRow("scan turned 1.5°") << "1.5" << false << false << false << false;
    QTest::newRow("scan turned 1.5°, typed in the open editor") << "1.5" << true << false << false << false;
    QTest::newRow("straight scan, two lines typed in turn") << "0" << true << true << false << false;
    QTest::newRow("scan turned 0.5°, two lines typed in turn") << "0.5" << true << true << false << false;
    QTest::newRow("straight scan's layer, two lines typed in turn") << "0" << true << true << true << false;
    QTest::newRow("scan turned 0.5°, the line above read close and deleted") << "0.5" << false << false << false << true;
    // A typed note: "описаны" corrected, a one-letter word close after it.
    for (const char* turn : {"0.5", "1.0", "1.5"})
        QTest::addRow("typed note turned %s°, a one-letter word after a longer one", turn)
            << QStringLiteral("typed-%1").arg(QLatin1String(turn)) << false << false << false << false;
}

// A corrected word on a scan: what the view shows of its line, before the
// save, is what the saved page draws there (the face, the size, the baseline
// turned with the scan and the words upright along it, the line's width): the
// ink in the line's own turned box on screen and in a render of the saved
// page agree to a pixel or two at its edges and fall on the same pixels.
void TestPdfViewRealPages::correctedScanLineIsShownAsWritten()
{
    QFETCH(QString, turn);
    QFETCH(bool, typed);
    QFETCH(bool, nextLineToo);
    QFETCH(bool, layered);
    QFETCH(bool, close);
    const QString note = QStringLiteral("typed-");
    const QString file = turn.startsWith(note)
                             ? fixtures::realPdf(QStringLiteral("typed-scan-turned-%1.pdf").arg(turn.mid(note.size())))
                             : fixtures::realPdf(QStringLiteral("gs-scan-turned-%1.pdf").arg(turn));
    const QString word = turn.startsWith(note) ? QStringLiteral("описаны") : QStringLiteral("трёх");
    const QString corrected = turn.startsWith(note) ? QStringLiteral("изложены") : QStringLiteral("трех");
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const QSizeF size = doc.pageSize(0);
    std::vector<TextBlock> blocks = layered ? layeredPage(doc) : recognisedPage(doc);
    // The long line with the word in a block of several (the layer's blocks are lines).
    int at = -1, lineIndex = -1;
    for (int b = 0; b < int(blocks.size()) && at < 0; ++b)
        for (int k = 0; k < int(blocks[size_t(b)].lines.size()); ++k)
            if ((layered || blocks[size_t(b)].lines.size() > 1) &&
                blocks[size_t(b)].lines[size_t(k)].text.split(QLatin1Char(' ')).contains(word)) {
                at = b;
                lineIndex = k;
                break;
            }
    QVERIFY2(at >= 0, "the line is not recognised");
    TextBlock& block = blocks[size_t(at)];
    const TextBlock::Line line = block.lines[size_t(lineIndex)];
    // Just over the line's box, across it, in its frame.
    const QRectF over(QPointF(line.originalRect.left(), line.originalRect.bottom() + 0.2),
                      QPointF(line.originalRect.right(), line.originalRect.bottom() + 0.9));
    QTemporaryDir scanDir;
    if (close) {
        // The line above, deleted, was read reaching down to just over this
        // one, and has ink there: a stroke the scan shows across the line,
        // which the written page takes away with that line's old ink.
        QVERIFY(lineIndex > 0);
        TextBlock::Line& above = block.lines[size_t(lineIndex - 1)];
        above.originalRect.setTop(line.originalRect.bottom() + 0.1);
        above.rect = above.originalRect;
        fixtures::setLineText(block, size_t(lineIndex - 1), QString());
        constexpr double kScanDpi = 300;
        const double scale = kScanDpi / 72;
        QImage scanned = doc.renderPage(0, scale, 0).convertToFormat(QImage::Format_RGB32);
        {
            QPainter painter(&scanned);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::black);
            painter.drawPolygon(QTransform(scale, 0, 0, -scale, 0, size.height() * scale)
                                    .map(TurnedBox(over, line.turn, line.originalRect.center()).polygon()));
        }
        const QString marked = scanDir.filePath(QStringLiteral("marked.pdf"));
        PdfDocument marking;
        QVERIFY(marking.createEmpty() && marking.appendRenderedPage(scanned, size) && marking.saveCopy(marked));
        QVERIFY(doc.open(marked));
    }
    if (!typed)
        fixtures::correctWord(block, size_t(lineIndex),
                              line.text.split(QLatin1Char(' ')).indexOf(word), corrected);

    auto view = makeView(1000, 1300);  // the whole page at 1.5
    QVERIFY(view);
    view->setDocument(&doc);
    view->setZoom(1.5);
    view->setOcrBlocks(blocks, 0, !layered);
    view->setEditMode(true);
    // In the open editor, the letter at offset of word becomes letter.
    const auto retype = [](QTextEdit* editor, const QString& word, int offset, const QString& letter) {
        const int at = int(editor->toPlainText().indexOf(word));
        if (at < 0)
            return false;
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(at + offset);
        cursor.setPosition(at + offset + 1, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
        typeText(editor, letter);
        return true;
    };
    if (typed) {
        clickAt(*view, view->ocrBlockScreenRect(at).center());
        QTextEdit* editor = view->activeTextEditor();
        QVERIFY(editor);
        QVERIFY(retype(editor, QStringLiteral("трёх"), 2, QStringLiteral("е")));
        editor->moveCursor(QTextCursor::End);  // the caret away from the line
    }
    std::vector<TextBlock::Line> checked{line};
    // Where a line was read: the layer's lines stand where the recognition put them.
    const auto placeOf = [](const TextBlock::Line& each) { return hasArea(each.originalRect) ? each.originalRect : each.rect; };
    if (nextLineToo) {
        // The editor closes, opens again on the next line and a letter of
        // its first long word changes; on the layer its only "ё" loses its
        // dots, so the line's ink no longer reaches as high.
        const TextBlock& nextBlock = layered ? blocks[size_t(at + 1)] : block;
        const size_t nextIndex = layered ? 0 : size_t(lineIndex + 1);
        QVERIFY(nextIndex < nextBlock.lines.size());
        const TextBlock::Line next = nextBlock.lines[nextIndex];
        checked.push_back(next);
        clickAt(*view, QPoint(4, 4));
        QVERIFY(!view->activeTextEditor());
        clickAt(*view, viewportPointOf(*view, 0, placeOf(next).center()));
        QTextEdit* editor = view->activeTextEditor();
        QVERIFY(editor);
        const QStringList words = next.text.split(QLatin1Char(' '));
        const auto longWord = std::find_if(words.begin(), words.end(), [](const QString& w) { return w.size() > 4; });
        QVERIFY(longWord != words.end());
        if (layered) {
            QCOMPARE(next.text.count(QStringLiteral("ё")), 1);
            QVERIFY(retype(editor, QStringLiteral("расчётов"), 4, QStringLiteral("е")));
        } else {
            QVERIFY(retype(editor, *longWord, 1, QStringLiteral("ж")));
        }
        clickAt(*view, QPoint(4, 4));
        QVERIFY(!view->activeTextEditor());
    }
    const QImage shown = grabViewport(*view);
    // Each line's own turned box, a point larger, on screen.
    QRegion region;
    for (const TextBlock::Line& each : checked) {
        QPolygon area;
        for (const QPointF& corner : TurnedBox(placeOf(each).adjusted(-1, -1, 1, 1), each.turn).polygon())
            area << viewportPointOf(*view, 0, corner);
        region += QRegion(area);
    }

    QTemporaryDir dir;
    const QString saved = saveEdits(*view, doc, dir, QStringLiteral("corrected.pdf"));
    QVERIFY2(!saved.isEmpty(), qPrintable(doc.lastError()));
    QVERIFY(pdftools::words(saved, 0).contains(corrected));
    PdfDocument reread;
    QVERIFY(reread.open(saved));
    const QPoint corner = viewportPointOf(*view, 0, QPointF(0, size.height()));
    QImage written(shown.size(), QImage::Format_RGB32);
    written.fill(Qt::white);
    {
        QPainter painter(&written);
        painter.drawImage(corner, reread.renderPage(0, view->zoom(), 0).convertToFormat(QImage::Format_RGB32));
    }
    int both = 0, shownCount = 0, writtenCount = 0;
    QRect shownInk, writtenInk;
    for (const QRect& r : region)
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                if (!shown.rect().contains(x, y))
                    continue;
                const bool a = isGreyInk(shown.pixel(x, y)), b = isGreyInk(written.pixel(x, y));
                both += a && b;
                shownCount += a;
                writtenCount += b;
                if (a)
                    shownInk |= QRect(x, y, 1, 1);
                if (b)
                    writtenInk |= QRect(x, y, 1, 1);
            }
    const QString where = QStringLiteral("shown %1,%2 %3x%4, written %5,%6 %7x%8; ink %9 and %10, common %11")
                              .arg(shownInk.x()).arg(shownInk.y()).arg(shownInk.width()).arg(shownInk.height())
                              .arg(writtenInk.x()).arg(writtenInk.y()).arg(writtenInk.width()).arg(writtenInk.height())
                              .arg(shownCount).arg(writtenCount).arg(both);
    QVERIFY(!shownInk.isNull() && !writtenInk.isNull());
    constexpr int kPixels = 2;
    QVERIFY2(std::abs(shownInk.left() - writtenInk.left()) <= kPixels, qPrintable(where));
    QVERIFY2(std::abs(shownInk.right() - writtenInk.right()) <= kPixels, qPrintable(where));
    QVERIFY2(std::abs(shownInk.top() - writtenInk.top()) <= kPixels, qPrintable(where));
    QVERIFY2(std::abs(shownInk.bottom() - writtenInk.bottom()) <= kPixels, qPrintable(where));
    // The two renderers shade glyph edges apart: the lighter ink lies within the darker.
    QVERIFY2(both >= 0.6 * std::min(shownCount, writtenCount), qPrintable(where));
    if (close) {
        QPolygon strip;
        for (const QPointF& corner : TurnedBox(over, line.turn, line.originalRect.center()).polygon())
            strip << viewportPointOf(*view, 0, corner);
        const int shownOver = darkPixels(shown, QRegion(strip)), writtenOver = darkPixels(written, QRegion(strip));
        // Smoothing at the clip's edge leaves a few grey pixels; the stroke would be hundreds.
        QVERIFY2(shownOver <= writtenOver + 40, qPrintable(QStringLiteral("%1 and %2").arg(shownOver).arg(writtenOver)));
    }
    if (!typed || nextLineToo)
        return;
    // The open line's carets stand between the letters as written: a double
    // click on a written word selects that word.
    const QList<pdftools::WordBox> boxes = pdftools::wordBoxes(saved, 0);
    for (const QString& word : {QStringLiteral("трех"), QStringLiteral("рабочих")}) {
        const auto found = std::find_if(boxes.begin(), boxes.end(), [&](const pdftools::WordBox& w) { return w.text == word; });
        QVERIFY(found != boxes.end());
        const QPoint at = view->viewportPointForPageTopPoint(0, found->box.center());
        QWidget* target = widgetAt(*view, at);
        QTest::mouseDClick(target, Qt::LeftButton, {}, target->mapFrom(view->viewport(), at));
        QCoreApplication::processEvents();
        QVERIFY(view->activeTextEditor());
        QCOMPARE(view->activeTextEditor()->textCursor().selectedText(), word);
        // A click just inside either end of the written word puts the caret at that end.
        const int start = int(view->activeTextEditor()->toPlainText().indexOf(word));
        for (const auto& [x, position] : {std::pair{found->box.left() + 0.6, start},
                                          std::pair{found->box.right() - 0.6, start + int(word.size())}}) {
            const QPoint end = view->viewportPointForPageTopPoint(0, QPointF(x, found->box.center().y()));
            QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view->viewport(), end));
            QCoreApplication::processEvents();
            QCOMPARE(view->activeTextEditor()->textCursor().position(), position);
        }
    }
}

void TestPdfViewRealPages::boldWithTheTextUnchangedIsWritten_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("scan");  // its blocks recognised, else the page's own lines
    QTest::newRow("ghostscript line") << "gs-letter.pdf" << "Директор И. П. Сидоров" << false;
    QTest::newRow("LibreOffice line") << "libreoffice-letter.pdf" << "г. Москва, ул. Лесная, д. 5" << false;
    QTest::newRow("recognised line of a turned scan") << "gs-scan-turned-1.5.pdf" << "Раздел" << true;
}

// The B button over a whole line whose text stays as it is: the saved page
// draws the line bold, and its text once.
void TestPdfViewRealPages::boldWithTheTextUnchangedIsWritten()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(bool, scan);
    QTemporaryDir dir;
    const ShownPdf shown = showRealPage(dir, file, 1000, 1300, 1.5);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    if (scan)
        view.setOcrBlocks(recognisedPage(*shown.doc), 0, true);
    const int index = blockWith(view, line);
    QVERIFY(index >= 0);
    const QString text = view.blocks()[size_t(index)].text;
    clickAt(view, view.ocrBlockScreenRect(index).center());
    QTextEdit* editor = view.activeTextEditor();
    QVERIFY(editor);
    editor->selectAll();
    view.setActiveTextBold(true);
    view.deactivateOcrBlock();
    QCOMPARE(view.blocks()[size_t(index)].text, text);

    const QString saved = saveEdits(view, *shown.doc, dir, QStringLiteral("bold.pdf"));
    QVERIFY2(!saved.isEmpty(), qPrintable(shown.doc->lastError()));
    PdfDocument reread;
    QVERIFY(reread.open(saved));
    const std::vector<TextBlock> blocks = reread.extractText(0);
    const auto written = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
        return !b.invisibleText && b.text.contains(line);
    });
    QVERIFY2(written != blocks.end(), qPrintable(line));
    QVERIFY2(written->bold, qPrintable(written->fontFamily));
    QCOMPARE(int(reread.extractAllText(0).count(line)), 1);
}

void TestPdfViewRealPages::correctedLineIsShownAsWritten_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");  // text the block holds, just before the word
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<bool>("popplerStuck");  // the second renderer never ends meanwhile
    QTest::newRow("pdfTeX, French, italic words kept") << "pdftex-l2tabu.pdf" << "de hardware " << "mentionnés"
                                                       << "cités" << false;
    QTest::newRow("pdfTeX, Italian, accents drawn apart") << "pdftex-amsthdoc-it.pdf" << "sono "
                                                          << "naturalmente" << "quindi" << false;
    QTest::newRow("Ghostscript, Russian") << "gs-letter.pdf" << "Срок оплаты: " << "десять" << "пятнадцать" << false;
    QTest::newRow("groff, a footnote mark in the line") << "groff-footnote.pdf" << "and the " << "clerk"
                                                        << "officer" << false;
    QTest::newRow("Distiller, German") << "distiller-gerdoc.pdf" << "wie " << "beispielsweise" << "etwa" << false;
    QTest::newRow("LibreOffice, justified Russian") << "libreoffice-justified.pdf" << "регистрируются в "
                                                    << "день" << "момент" << false;
    QTest::newRow("Ghostscript, Russian, poppler never ends") << "gs-letter.pdf" << "Срок оплаты: " << "десять"
                                                              << "пятнадцать" << true;
}

// A word corrected and the editor left: the view shows the page as the save
// writes it (the kept words in their own faces, the line's spacing), pixel
// for pixel apart from the blocks' outlines.
void TestPdfViewRealPages::correctedLineIsShownAsWritten()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    QFETCH(bool, popplerStuck);
    QTemporaryDir dir;
    const ShownPdf shown = showRealPage(dir, file, 1000, 1300, 1.5);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const QImage before = grabViewport(view);
    const int index = blockWith(view, line + word);
    QVERIFY2(index >= 0, qPrintable(line));
    clickAt(view, view.ocrBlockScreenRect(index).center());
    QTextEdit* editor = view.activeTextEditor();
    QVERIFY(editor);
    const int at = int(editor->toPlainText().indexOf(line + word)) + int(line.size());
    QVERIFY(at >= line.size());
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(at);
    cursor.setPosition(at + int(word.size()), QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    typeText(editor, corrected);
    std::optional<loadedmachine::StandInPoppler> stuck;
    if (popplerStuck) {
        stuck.emplace(-1);
        QVERIFY(stuck->ready());
    }
    view.deactivateOcrBlock();
    QVERIFY(!view.activeTextEditor());
    const QImage after = grabViewport(view);
    // The preview is pdfium's alone: it never waits on poppler (the save checks with it).
    QVERIFY(!view.pageRendersPending());
    if (stuck) {
        QVERIFY(stuck->started().isEmpty());
        stuck.reset();
    }

    const QString saved = saveEdits(view, *shown.doc, dir, QStringLiteral("corrected.pdf"));
    QVERIFY2(!saved.isEmpty(), qPrintable(shown.doc->lastError()));
    QVERIFY(pdftools::words(saved, 0).contains(corrected));
    PdfDocument reread;
    QVERIFY(reread.open(saved));
    const QPoint corner = viewportPointOf(view, 0, QPointF(0, reread.pageSize(0).height()));
    QImage written(after.size(), QImage::Format_RGB32);
    written.fill(Qt::white);
    {
        QPainter painter(&written);
        painter.drawImage(corner, reread.renderPage(0, view.zoom(), 0).convertToFormat(QImage::Format_RGB32));
    }
    // The outlines are drawn in colour over the page; the fixtures' ink is grey.
    const auto coloured = [](QRgb p) {
        return std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) > 40;
    };
    const auto differs = [](QRgb a, QRgb b) { return std::abs(qGray(a) - qGray(b)) > 48; };
    const QRect line0 = view.ocrBlockScreenRect(index);
    // Inside the page, off its border.
    const QRect page = QRect(corner, reread.renderPage(0, view.zoom(), 0).size()).adjusted(3, 3, -3, -3)
                           .intersected(after.rect());
    int unlike = 0, changed = 0;
    for (int y = page.top(); y <= page.bottom(); ++y)
        for (int x = page.left(); x <= page.right(); ++x) {
            const QRgb a = after.pixel(x, y), b = written.pixel(x, y);
            if (coloured(a) || coloured(before.pixel(x, y)))
                continue;
            unlike += differs(a, b);
            changed += line0.contains(x, y) && differs(a, before.pixel(x, y));
        }
    // The correction shows, and shows as written.
    QVERIFY2(changed > 50, qPrintable(QString::number(changed)));
    QVERIFY2(unlike <= 20, qPrintable(QStringLiteral("%1 pixels differ from the saved page").arg(unlike)));
}
