#include "BlockEditorFrame.h"
#include "RotatedTextEdit.h"
#include "ViewTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <tuple>

using namespace viewtest;

namespace {

QString joinedText(const std::vector<TextBlock>& blocks)
{
    QStringList texts;
    for (const TextBlock& block : blocks)
        texts << block.text;
    return texts.join(u' ');
}

QStringList blockTexts(const PdfView& view)
{
    QStringList texts;
    for (const TextBlock& block : view.blocks())
        texts << block.text;
    return texts;
}

const TextBlock::Line* lineWith(const std::vector<TextBlock>& blocks, const QString& text)
{
    for (const TextBlock& block : blocks) {
        for (const TextBlock::Line& line : block.lines) {
            if (line.text.contains(text))
                return &line;
        }
    }
    return nullptr;
}

// Clicks the named entry of the next popup menu, as a user does.
void clickNextMenuEntry(const QString& entry)
{
    QTimer::singleShot(0, [entry] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return clickNextMenuEntry(entry); // not shown yet
        for (QAction* action : menu->actions()) {
            if (action->text() == entry) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        menu->close();
    });
}

int differingPixelsOutside(const QImage& a, const QImage& b, const QRect& allowed)
{
    if (a.size() != b.size())
        return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!allowed.contains(x, y) && std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 40)
                ++count;
        }
    }
    return count;
}

} // namespace

class TestPdfViewEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void typingGoesIntoTheBlockOneStepPerActivation();
    void backspaceJoinsStyleRuns();
    void formatSettersReportBackAtZoomOne();
    void listsAndInsertion();
    void groupAndUngroupCounts();
    void reorder_data();
    void reorder();
    void pureMoveThreshold_data();
    void pureMoveThreshold();
    void imagesAreLaidOutInARow_data();
    void imagesAreLaidOutInARow();
    void insertedTextKeepsThePageUnderIt();
    void insertingOnAnotherPageLosesNoEdit();
    void inlineEditorHandsOutItsText();
    void typingIntoALineKeepsItOneLine_data();
    void typingIntoALineKeepsItOneLine();
    void menuEntriesChangeTheSavedFile_data();
    void menuEntriesChangeTheSavedFile();
    void escapeGivesTheKeysBackToTheView();
    void clickInAnOpenParagraphPlacesTheCaret();
    void openingALineKeepsItsLookAndShowsTheSelection();
    void typedTextGrowsTheBoxAlongItsLines();

private:
    void load(const std::vector<TextBlock>& blocks, double zoom = 1.0);
    void loadLines(double zoom = 1.0, int rotation = 0, const QString& file = QString());
    QTextEdit* editor() const { return m_view->activeTextEditor(); }

    QTemporaryDir m_dir;
    std::unique_ptr<PdfDocument> m_doc;
    std::unique_ptr<PdfView> m_view;
};

void TestPdfViewEditor::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfViewEditor::init()
{
    fixtures::PageSpec page;
    page.width = 400;
    page.height = 400;
    page.runs = {{QStringLiteral("Old words here"), 60, 300, 14}};
    m_doc = openPdf(m_dir, QStringLiteral("editor.pdf"), fixtures::pagesPdf({page, page}));
    QVERIFY(m_doc);
    m_view = makeView(700, 700);
    QVERIFY(m_view);
    m_view->setDocument(m_doc.get());
}

void TestPdfViewEditor::cleanup()
{
    m_view.reset();
    m_doc.reset();
}

void TestPdfViewEditor::load(const std::vector<TextBlock>& blocks, double zoom)
{
    m_view->setZoom(zoom);
    m_view->setOcrBlocks(blocks, 0, false);
    m_view->setEditMode(true);
}

void TestPdfViewEditor::loadLines(double zoom, int rotation, const QString& file)
{
    if (file.isEmpty()) {
        m_doc = openPdf(m_dir, QStringLiteral("lines.pdf"), linesPdf());
    } else {
        m_doc = std::make_unique<PdfDocument>();
        QVERIFY(m_doc->open(fixtures::realPdf(file)));
    }
    QVERIFY(m_doc);
    m_view->setDocument(m_doc.get());
    m_view->setZoom(zoom);
    m_view->setRotation(rotation);
    m_view->setOcrBlocks(m_doc->extractText(0), 0, false);
    m_view->setEditMode(true);
    QVERIFY(!m_view->blocks().empty());
}

void TestPdfViewEditor::typingGoesIntoTheBlockOneStepPerActivation()
{
    load(m_doc->extractText(0));
    QSignalSpy edited(m_view.get(), &PdfView::ocrBlocksEdited);
    m_view->activateOcrBlock(0);
    QVERIFY(editor());
    QCOMPARE(editor()->toPlainText(), QStringLiteral("Old words here"));
    editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor(), QStringLiteral("!!"));
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("Old words here!!"));
    QCOMPARE(m_view->blocks()[0].lines[0].text, QStringLiteral("Old words here!!"));
    QCOMPARE(int(m_view->undoSnapshots().size()), 1);
    QCOMPARE(edited.size(), 1);

    m_view->deactivateOcrBlock();
    m_view->activateOcrBlock(0);
    editor()->moveCursor(QTextCursor::End);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    QCOMPARE(int(m_view->undoSnapshots().size()), 2);
    m_view->undo();
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("Old words here!!"));
    m_view->undo();
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("Old words here"));
    QVERIFY(!m_view->blocksDirty());
}

void TestPdfViewEditor::backspaceJoinsStyleRuns()
{
    TextBlock block = textBlock(QStringLiteral("Boldplain"), QRectF(60, 300, 120, 14));
    TextBlock::Line& line = block.lines[0];
    line.fontFamily = QStringLiteral("Helvetica");
    TextBlock::Line::Span bold{QStringLiteral("Bold"), 12, QStringLiteral("Helvetica-Bold"), Qt::black, true};
    TextBlock::Line::Span plain{QStringLiteral("plain"), 12, QStringLiteral("Helvetica"), Qt::black, false};
    line.spans = {bold, plain};
    load({block});
    m_view->activateOcrBlock(0);
    QTextCursor cursor = editor()->textCursor();
    cursor.setPosition(5); // after "Boldp"
    editor()->setTextCursor(cursor);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    QTest::keyClick(editor(), Qt::Key_Backspace);
    QCOMPARE(editor()->toPlainText(), QStringLiteral("Bollain"));
    cursor.setPosition(1);
    QVERIFY(cursor.charFormat().fontWeight() >= QFont::Bold);
    cursor.setPosition(5);
    QVERIFY(cursor.charFormat().fontWeight() < QFont::Bold);
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("Bollain"));
    QVERIFY(m_view->blocks()[0].textEdited); // style runs are kept as rich text
    QVERIFY(m_view->blocks()[0].richText.contains(QStringLiteral("Bol")));
}

// Sizes are stored at zoom one and shown at the view's zoom.
void TestPdfViewEditor::formatSettersReportBackAtZoomOne()
{
    load({textBlock(QStringLiteral("Формат"), QRectF(60, 300, 160, 20))}, 2.0);
    m_view->activateOcrBlock(0);
    QSignalSpy format(m_view.get(), &PdfView::activeTextFormatChanged);
    editor()->selectAll();
    m_view->setActiveTextBold(true);
    QVERIFY(format.last().at(2).toBool());
    m_view->setActiveTextItalic(true);
    QVERIFY(format.last().at(3).toBool());
    m_view->setActiveTextUnderline(true);
    QVERIFY(format.last().at(4).toBool());
    m_view->setActiveTextColor(QColor(200, 0, 0));
    m_view->setActiveTextColor(QColor()); // ignored
    m_view->setActiveTextFontSize(18);
    QCOMPARE(format.last().at(1).toInt(), 18);
    m_view->setActiveTextAlignment(Qt::AlignRight);
    QCOMPARE(format.last().at(8).value<Qt::Alignment>(), Qt::Alignment(Qt::AlignRight));
    QCOMPARE(int(m_view->undoSnapshots().size()), 1);
    const auto shownSize = [this] {
        QTextCursor cursor = editor()->textCursor();
        cursor.setPosition(2);
        return cursor.charFormat().font().pixelSize();
    };
    QCOMPARE(shownSize(), 36);
    const TextBlock& block = m_view->blocks()[0];
    QVERIFY(block.textEdited);
    QVERIFY(block.richText.contains(QStringLiteral("#c80000")));
    QVERIFY(block.richText.contains(QStringLiteral("font-weight:700")));
    QVERIFY(block.richText.contains(QStringLiteral("font-size:18px")));
    m_view->deactivateOcrBlock(); // shown again at zoom 2 from the stored HTML
    m_view->activateOcrBlock(0);
    QCOMPARE(shownSize(), 36);
    m_view->undo();
    QVERIFY(!m_view->blocks()[0].textEdited);
    QVERIFY(m_view->blocks()[0].richText.isEmpty());
}

void TestPdfViewEditor::listsAndInsertion()
{
    QVERIFY(!m_view->insertTextIntoActiveEditor(QStringLiteral("x"))); // no editor
    load({textBlock(QStringLiteral("пункт"), QRectF(60, 300, 160, 20))});
    m_view->activateOcrBlock(0);
    editor()->moveCursor(QTextCursor::End);
    QVERIFY(m_view->insertTextIntoActiveEditor(QStringLiteral(" один")));
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("пункт один"));
    m_view->setActiveTextNumberedList();
    QCOMPARE(int(m_view->undoSnapshots().size()), 1); // still the same activation
    QVERIFY(m_view->blocks()[0].richText.contains(QStringLiteral("<ol")));
}

void TestPdfViewEditor::groupAndUngroupCounts()
{
    TextBlock words = textBlock(QStringLiteral("один два три"), QRectF(60, 100, 150, 14));
    load({textBlock(QStringLiteral("верх"), QRectF(60, 300, 100, 14)),
          textBlock(QStringLiteral("низ"), QRectF(60, 280, 100, 14)), words});
    m_view->selectOcrBlock(0, false);
    m_view->selectOcrBlock(1, true);
    m_view->groupSelectedOcrBlocks();
    QCOMPARE(int(m_view->blocks().size()), 2);
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("верх\nниз"));
    QCOMPARE(int(m_view->blocks()[0].lines.size()), 2);
    QCOMPARE(m_view->activeBlock(), 0);

    m_view->selectOcrBlock(1, false);
    m_view->ungroupSelectedOcrBlocksToWords();
    QCOMPARE(blockTexts(*m_view), QStringList({"верх\nниз", "один", "два", "три"}));
    QVERIFY(m_view->blocks()[1].rect.center().x() < m_view->blocks()[2].rect.center().x());

    // A selection with a picture is not grouped, and no step is taken.
    TextBlock picture;
    picture.isImage = true;
    picture.rect = QRectF(10, 10, 20, 20);
    m_view->setOcrBlocks({picture, words}, 0, false);
    m_view->selectOcrBlock(0, false);
    m_view->selectOcrBlock(1, true);
    m_view->groupSelectedOcrBlocks();
    QCOMPARE(int(m_view->blocks().size()), 2);
    QVERIFY(!m_view->canUndo());
}

void TestPdfViewEditor::reorder_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("order");
    QTest::newRow("forward") << QList<int>{1} << 0 << "acbd";
    QTest::newRow("forward keeps a pair in order") << QList<int>{1, 2} << 0 << "adbc";
    QTest::newRow("forward at the top stays") << QList<int>{3} << 0 << "abcd";
    QTest::newRow("backward") << QList<int>{2} << 1 << "acbd";
    QTest::newRow("to the front") << QList<int>{0, 2} << 2 << "bdac";
    QTest::newRow("to the back") << QList<int>{1, 3} << 3 << "bdac";
}

void TestPdfViewEditor::reorder()
{
    QFETCH(QList<int>, selected);
    QFETCH(int, mode);
    QFETCH(QString, order);
    std::vector<TextBlock> blocks;
    for (int i = 0; i < 4; ++i)
        blocks.push_back(textBlock(QString(QChar(u'a' + i)), QRectF(50 + 60 * i, 100, 50, 14)));
    load(blocks);
    for (int index : selected)
        m_view->selectOcrBlock(index, true);
    m_view->reorderSelectedOcrBlocks(mode);
    QCOMPARE(blockTexts(*m_view).join(QString()), order);
    QString stillSelected, wanted; // the same blocks stay selected
    for (int index : m_view->selectedOcrBlocks())
        stillSelected += m_view->blocks()[size_t(index)].text;
    for (int index : selected)
        wanted += QChar(u'a' + index);
    std::sort(stillSelected.begin(), stillSelected.end());
    QCOMPARE(stillSelected, wanted);
}

void TestPdfViewEditor::pureMoveThreshold_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("linesFollow");
    QTest::newRow("an eighth of a point wider: a move") << 8.0 << true;
    QTest::newRow("a point wider: a resize") << 1.0 << false;
}

void TestPdfViewEditor::pureMoveThreshold()
{
    QFETCH(double, zoom);
    QFETCH(bool, linesFollow);
    TextBlock block = textBlock(QStringLiteral("строка"), QRectF(40, 340, 30, 10));
    block.lines[0].words = {{QStringLiteral("строка"), QRectF(40, 340, 30, 10), 100}};
    load({block}, zoom);
    m_view->activateOcrBlock(0);
    const QRect shown = m_view->ocrBlockScreenRect(0);
    // Dragged by 8 px and one pixel wider.
    m_view->onBlockFrameRectChanged(shown.translated(8, 0).adjusted(0, 0, 1, 0));
    const TextBlock& after = m_view->blocks()[0];
    QVERIFY(after.rect.x() > 40.5);
    const double lineShift = after.lines[0].rect.x() - 40.0;
    QCOMPARE(lineShift > 0.5, linesFollow);
    QCOMPARE(after.lines[0].words[0].rect.x() - 40.0 > 0.5, linesFollow);
}

void TestPdfViewEditor::imagesAreLaidOutInARow_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("gap");
    QTest::newRow("300 points") << 300.0 << 6.0;
    QTest::newRow("50 points") << 50.0 << 2.0;
    QTest::newRow("1000 points") << 1000.0 << 8.0;
}

void TestPdfViewEditor::imagesAreLaidOutInARow()
{
    QFETCH(double, width);
    QFETCH(double, gap);
    const QList<QImage> images = {QImage(20, 10, QImage::Format_RGB32), QImage(10, 10, QImage::Format_RGB32),
                                  QImage(10, 20, QImage::Format_RGB32)};
    const QRectF area(10, 20, width, 100);
    const QList<QRectF> rects = PdfView::layoutImageRectsInside(area, images);
    QCOMPARE(rects.size(), 3);
    for (int i = 1; i < 3; ++i)
        QVERIFY(std::abs(rects[i].left() - rects[i - 1].right() - gap) < 1e-6);
    QVERIFY(std::abs(rects[0].width() / rects[0].height() - 2.0) < 1e-6);
    QVERIFY(std::abs(rects[2].width() / rects[2].height() - 0.5) < 1e-6);
    // Centred in the area and inside it.
    QVERIFY(std::abs((rects[0].left() - area.left()) - (area.right() - rects[2].right())) < 1e-6);
    for (const QRectF& r : rects)
        QVERIFY(area.adjusted(-1e-6, -1e-6, 1e-6, 1e-6).contains(r));
    QCOMPARE(PdfView::layoutImageRectsInside(area, {images[0]}), QList<QRectF>({area}));
}

void TestPdfViewEditor::insertedTextKeepsThePageUnderIt()
{
    m_view->setEditMode(true);
    // Over the end of the page's own line.
    m_view->appendEditableTextBlock(0, QRectF(150, 80, 150, 30), QStringLiteral("Вставка"), QString(), 12, Qt::black);
    QVERIFY(m_doc->overlayOcrText(0, m_view->ocrBlocksWithEdits(), false));
    const QString text = joinedText(m_doc->extractText(0));
    QVERIFY2(text.contains(QStringLiteral("Вставка")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Old words here")), qPrintable(text));
}

void TestPdfViewEditor::insertingOnAnotherPageLosesNoEdit()
{
    load(m_doc->extractText(0));
    m_view->activateOcrBlock(0);
    QTest::keyClick(editor(), Qt::Key_A, Qt::ControlModifier);
    typeText(editor(), QStringLiteral("правка"));
    // Nobody to take the page's edits: they stay, nothing is inserted, and the user is told.
    QSignalSpy refused(m_view.get(), &PdfView::actionRefused);
    m_view->appendEditableTextBlock(1, QRectF(50, 50, 100, 20), QStringLiteral("там"), QString(), 12, Qt::black);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(m_view->blockPage(), 0);
    QCOMPARE(m_view->blocks()[0].text, QStringLiteral("правка"));

    std::vector<TextBlock> handedOut;
    int handedPage = -1;
    connect(m_view.get(), &PdfView::unsavedBlocksReplaced, this,
            [&](int page, const std::vector<TextBlock>& blocks) {
                handedPage = page;
                handedOut = blocks;
            });
    m_view->appendEditableTextBlock(1, QRectF(50, 50, 100, 20), QStringLiteral("там"), QString(), 12, Qt::black);
    QCOMPARE(handedPage, 0);
    QCOMPARE(int(handedOut.size()), 1);
    QCOMPARE(handedOut[0].text, QStringLiteral("правка"));
    QCOMPARE(m_view->blockPage(), 1);
    QCOMPARE(blockTexts(*m_view), QStringList({"там"}));
    // The handed-out blocks are written: undo cannot bring them back to be written twice.
    m_view->undo();
    QCOMPARE(m_view->blockPage(), 1);
    QVERIFY(blockTexts(*m_view).isEmpty());
}

void TestPdfViewEditor::inlineEditorHandsOutItsText()
{
    m_view->setEditMode(true);
    QSignalSpy inserted(m_view.get(), &PdfView::textInserted);
    m_view->showInlineEditor(0, QRectF(20, 30, 100, 40));
    QVERIFY(m_view->inlineEditor());
    QCOMPARE(m_view->activeTextEditor(), m_view->inlineEditor());
    QTest::keyClicks(m_view->inlineEditor(), QStringLiteral("   "));
    QTest::keyClick(m_view->inlineEditor(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(inserted.size(), 0); // blank: closed without text
    QVERIFY(!m_view->inlineEditor());
    m_view->showInlineEditor(0, QRectF(20, 30, 100, 40));
    typeText(m_view->inlineEditor(), QStringLiteral(" привет "));
    m_view->commitInlineEditor();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.last().at(2).toString(), QStringLiteral("привет"));
    QCOMPARE(inserted.last().at(1).toRectF(), QRectF(20, 30, 100, 40));
}

void TestPdfViewEditor::typingIntoALineKeepsItOneLine_data()
{
    QTest::addColumn<QString>("file"); // a real producer's, or the hand-made lines when empty
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("typed");
    const QString alpha = QStringLiteral("Alpha beta gamma delta");
    const QString alphaTyped = QStringLiteral("Alpha beta gammaы delta");
    QTest::newRow("zoom 1") << QString() << 1.0 << 0 << alpha << alphaTyped;
    QTest::newRow("zoom 2") << QString() << 2.0 << 0 << alpha << alphaTyped;
    QTest::newRow("turned view") << QString() << 1.0 << 90 << alpha << alphaTyped;
    QTest::newRow("nine points") << QString() << 1.5 << 0 << "Small nine point line" << "Small nine pointы line";
    const QString groff = QStringLiteral("The records office keeps the files of every");
    const QString groffTyped = QStringLiteral("The records officeы keeps the files of every");
    QTest::newRow("groff columns") << "groff-columns.pdf" << 1.0 << 0 << groff << groffTyped;
    QTest::newRow("groff columns at 2") << "groff-columns.pdf" << 2.0 << 0 << groff << groffTyped;
    QTest::newRow("groff turned view") << "groff-columns.pdf" << 1.0 << 90 << groff << groffTyped;
    QTest::newRow("groff turned page") << "groff-columns-rot90.pdf" << 1.5 << 0 << groff << groffTyped;
}

// A click after the third word and one letter typed: the letter is saved
// there, the line stays one line at its own size, nothing else on the page moves.
void TestPdfViewEditor::typingIntoALineKeepsItOneLine()
{
    QFETCH(QString, file);
    QFETCH(double, zoom);
    QFETCH(int, rotation);
    QFETCH(QString, line);
    QFETCH(QString, typed);
    loadLines(zoom, rotation, file);
    const QImage before = m_doc->renderPage(0, 1.0, 0).convertToFormat(QImage::Format_RGB32);
    const std::vector<TextBlock> original = m_doc->extractText(0);
    const TextBlock::Line* target = lineWith(original, line);
    QVERIFY(target && target->words.size() >= 3);
    const QRectF third = target->words[2].rect;
    // A turned line's words lie along it, turned about its block's centre.
    const TextBlock& owner = *std::find_if(original.begin(), original.end(), [&](const TextBlock& b) {
        return !b.lines.empty() && &b.lines.front() <= target && target <= &b.lines.back();
    });
    const double height = m_doc->pageSize(0).height();
    const auto pageTop = [height](const QPointF& p) { return QPointF(p.x(), height - p.y()); };
    const QPointF along = rotatePoint(pageTop(QPointF(third.right() + 1, target->rect.center().y())),
                                      pageTop(owner.rect.center()), owner.rotation);
    const QPoint click = m_view->viewportPointForPageTopPoint(0, along);
    QSignalSpy format(m_view.get(), &PdfView::activeTextFormatChanged);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, click);
    QVERIFY(editor());
    QVERIFY(editor()->hasFocus());
    // The size box shows the line's own size, not the size fitted to the screen.
    QVERIFY(!format.isEmpty());
    QCOMPARE(format.last().at(1).toInt(), int(std::lround(target->fontSize)));
    typeText(QApplication::focusWidget(), QStringLiteral("ы"));
    const int index = blockWith(*m_view, typed);
    QVERIFY2(index >= 0, qPrintable(blockTexts(*m_view).join(u'|')));
    QCOMPARE(int(m_view->blocks()[size_t(index)].lines.size()), 1);

    const QString saved = saveEdits(*m_view, *m_doc, m_dir, QStringLiteral("typed.pdf"));
    QVERIFY(!saved.isEmpty());
    // pdftotext on the hand-made page only: a real producer's old text may stay
    // under its white-out; the program's own extraction reads what shows.
    const QStringList layout = layoutText(saved).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(!file.isEmpty() || !layout.filter(typed).isEmpty(), qPrintable(layout.join(u'\n')));
    PdfDocument reopened;
    QVERIFY(reopened.open(saved));
    const std::vector<TextBlock> reread = reopened.extractText(0);
    const TextBlock::Line* written = lineWith(reread, typed);
    QVERIFY(written);
    QVERIFY2(std::abs(written->fontSize - target->fontSize) < 0.6,
             qPrintable(QStringLiteral("%1 became %2").arg(target->fontSize).arg(written->fontSize)));
    // Every other line reads as before, and no pixel outside the edited line changed.
    const QString text = joinedText(reopened.extractText(0));
    for (const TextBlock& block : original) {
        for (const TextBlock::Line& other : block.lines) {
            if (&other != target)
                QVERIFY2(text.contains(other.text.trimmed()), qPrintable(other.text));
        }
    }
    const QImage after = reopened.renderPage(0, 1.0, 0).convertToFormat(QImage::Format_RGB32);
    const QRectF box = target->rect.adjusted(-3, -4, 40, 4);
    QRectF turnedBox;
    for (const QPointF& corner : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
        turnedBox |= QRectF(rotatePoint(pageTop(corner), pageTop(owner.rect.center()), owner.rotation), QSizeF(1, 1));
    const QRect allowed = turnedBox.toAlignedRect();
    QCOMPARE(differingPixelsOutside(before, after, allowed), 0);
}

void TestPdfViewEditor::menuEntriesChangeTheSavedFile_data()
{
    QTest::addColumn<QString>("file"); // a real producer's, or the hand-made lines when empty
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<QStringList>("gone");
    QTest::addColumn<QStringList>("once");
    QTest::addColumn<QString>("clipboard");
    const QString alpha = QStringLiteral("Alpha beta gamma delta");
    const QString second = QStringLiteral("Second line here");
    const QString none;
    QTest::newRow("delete") << none << "Удалить" << QStringList{alpha} << QStringList{alpha} << QStringList{second}
                            << QString();
    QTest::newRow("cut") << none << "Вырезать" << QStringList{alpha} << QStringList{alpha} << QStringList{second}
                         << alpha;
    QTest::newRow("copy") << none << "Копировать" << QStringList{second} << QStringList{}
                          << QStringList{alpha, second} << second;
    QTest::newRow("group") << none << "Группировать" << QStringList{alpha, second} << QStringList{}
                           << QStringList{alpha, second} << QString();
    const QString groff = QStringLiteral("groff-columns.pdf");
    const QString received = QStringLiteral("department. During the year the office received");
    const QString documents = QStringLiteral("more than four thousand new documents, regis-");
    const QString staff = QStringLiteral("tered them, and made them available to the staff");
    QTest::newRow("groff delete") << groff << "Удалить" << QStringList{received} << QStringList{received}
                                  << QStringList{documents} << QString();
    QTest::newRow("groff group") << groff << "Группировать" << QStringList{documents, staff} << QStringList{}
                                 << QStringList{documents, staff} << QString();
}

// A right click on a selected line and a click on the entry; the saved file
// shows what the entry did.
void TestPdfViewEditor::menuEntriesChangeTheSavedFile()
{
    QFETCH(QString, file);
    QFETCH(QString, entry);
    QFETCH(QStringList, selected);
    QFETCH(QStringList, gone);
    QFETCH(QStringList, once);
    QFETCH(QString, clipboard);
    loadLines(1.0, 0, file);
    QGuiApplication::clipboard()->clear();
    for (const QString& text : selected)
        m_view->selectOcrBlock(blockWith(*m_view, text), true);
    const int last = blockWith(*m_view, selected.last());
    clickNextMenuEntry(entry);
    QTest::mouseClick(m_view->viewport(), Qt::RightButton, {}, m_view->ocrBlockScreenRect(last).center());
    QVERIFY2(m_view->canUndo() == (entry != QStringLiteral("Копировать")), "the entry did nothing");
    if (!clipboard.isEmpty())
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);

    const QString saved = saveEdits(*m_view, *m_doc, m_dir, QStringLiteral("menu.pdf"));
    QVERIFY(!saved.isEmpty());
    // pdftotext on the hand-made page; on a real producer's, old text may stay
    // under its white-out (see the typing test) and the program's extraction reads what shows.
    const QString layout = layoutText(saved);
    for (const QString& text : gone)
        QVERIFY2(!file.isEmpty() || !layout.contains(text.left(5)), qPrintable(layout));
    for (const QString& text : once)
        QVERIFY2(!file.isEmpty() || layout.count(text) == 1, qPrintable(layout));
    PdfDocument reopened;
    QVERIFY(reopened.open(saved));
    const QString extracted = joinedText(reopened.extractText(0));
    for (const QString& text : gone)
        QVERIFY2(!extracted.contains(text), qPrintable(extracted));
    for (const QString& text : once)
        QVERIFY2(extracted.count(text) == 1, qPrintable(extracted));
}

// Esc closes the editor and gives the keys back: Delete deletes the block,
// Tab opens the next one.
void TestPdfViewEditor::escapeGivesTheKeysBackToTheView()
{
    loadLines();
    const int second = blockWith(*m_view, QStringLiteral("Second"));
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, m_view->ocrBlockScreenRect(second).center());
    QVERIFY(editor() && editor()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(m_view->activeBlock(), -1);
    QVERIFY(QApplication::focusWidget() == m_view.get() || QApplication::focusWidget() == m_view->viewport());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QCOMPARE(blockWith(*m_view, QStringLiteral("Second")), -1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(m_view->activeBlock() >= 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    const QString saved = saveEdits(*m_view, *m_doc, m_dir, QStringLiteral("escape.pdf"));
    QVERIFY(!saved.isEmpty());
    const QString layout = layoutText(saved);
    QVERIFY2(!layout.contains(QStringLiteral("Second")), qPrintable(layout));
    QVERIFY2(layout.contains(QStringLiteral("Third line below")), qPrintable(layout));
}

// Text typed into a new block widens it along its line, the same way on a
// turned view as on an upright one.
void TestPdfViewEditor::typedTextGrowsTheBoxAlongItsLines()
{
    QList<QRectF> grown;
    for (int rotation : {0, 90}) {
        m_view->setDocument(m_doc.get());
        m_view->setRotation(rotation);
        m_view->setEditMode(true);
        m_view->appendEditableTextBlock(0, QRectF(40, 60, 60, 16), QStringLiteral("ab"), QString(), 12, Qt::black);
        QVERIFY(editor());
        editor()->moveCursor(QTextCursor::End);
        typeText(editor(), QStringLiteral(" и ещё немного текста"));
        QTest::qWait(20); // the fit runs once the editor's layout settled
        grown << m_view->blocks()[0].rect;
    }
    QVERIFY2(grown[0].width() > 120 && grown[0].height() < 17, qPrintable(QString::number(grown[0].width())));
    QVERIFY(std::abs(grown[1].width() - grown[0].width()) <= 1 && std::abs(grown[1].height() - grown[0].height()) <= 1);
}

// In an open block of several lines the caret goes where the click landed on
// the drawn text, not where the editor's own layout has that point.
void TestPdfViewEditor::clickInAnOpenParagraphPlacesTheCaret()
{
    loadLines(2.0);
    m_view->selectOcrBlock(blockWith(*m_view, QStringLiteral("Alpha")), false);
    m_view->selectOcrBlock(blockWith(*m_view, QStringLiteral("Second")), true);
    m_view->groupSelectedOcrBlocks();
    QVERIFY(editor());
    const std::vector<TextBlock> page = m_doc->extractText(0);
    for (const auto& [line, word, before] : {std::tuple{"Alpha", 2, "Alpha beta gamma"},
                                             std::tuple{"Second", 1, "Alpha beta gamma delta\nSecond line"}}) {
        const TextBlock::Line* shown = lineWith(page, QString::fromUtf8(line));
        QVERIFY(shown && int(shown->words.size()) > word);
        const QPoint at = viewportPointOf(*m_view, 0, QPointF(shown->words[size_t(word)].rect.right() + 0.5,
                                                              shown->rect.center().y()));
        QWidget* target = m_view->viewport()->childAt(at);
        QVERIFY(target);
        QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(m_view->viewport(), at));
        QTRY_COMPARE(editor()->textCursor().position(), int(QString::fromUtf8(before).size()));
    }
}

// Opening a line shows it as the page draws it (only the caret is added); the
// first keystroke turns it into the edited drawing. The editor paints nothing:
// a selection is shown by the view.
void TestPdfViewEditor::openingALineKeepsItsLookAndShowsTheSelection()
{
    loadLines(2.0);
    const int alpha = blockWith(*m_view, QStringLiteral("Alpha"));
    const QRect line = m_view->pdfRectToScreenRect(0, m_view->blocks()[size_t(alpha)].rect).toRect().adjusted(5, 5, -5, -5);
    const QImage closed = grabViewport(*m_view);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, QPoint(line.left() + 2, line.center().y()));
    QVERIFY(editor());
    const auto countPixels = [&](const auto& counts) {
        const QImage shot = grabViewport(*m_view);
        int count = 0;
        for (int y = line.top(); y <= line.bottom(); ++y)
            for (int x = line.left() + 8; x <= line.right(); ++x) // the caret stands at the left
                count += counts(shot.pixelColor(x, y), closed.pixelColor(x, y)) ? 1 : 0;
        return count;
    };
    const auto changed = [](const QColor& now, const QColor& was) { return std::abs(qGray(now.rgb()) - qGray(was.rgb())) > 60; };
    const auto blue = [](const QColor& c, const QColor&) { return c.blue() > 200 && c.red() < 210 && c.blue() - c.red() > 40; };
    QCOMPARE(countPixels(changed), 0);
    const int plain = countPixels(blue);
    QTest::keyClick(editor(), Qt::Key_End, Qt::ShiftModifier);
    QVERIFY(editor()->textCursor().hasSelection());
    QVERIFY2(countPixels(blue) > plain + line.width() * line.height() / 4,
             qPrintable(QStringLiteral("%1 -> %2").arg(plain).arg(countPixels(blue))));
    editor()->moveCursor(QTextCursor::End);
    typeText(editor(), QStringLiteral("!"));
    QVERIFY(countPixels(changed) > 0);
}

QTEST_MAIN(TestPdfViewEditor)
#include "tst_pdfview_editor.moc"
