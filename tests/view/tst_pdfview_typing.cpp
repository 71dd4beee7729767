// The open line of real pages under the user's keys and clicks: the undo keys
// go to the page's one history, a double click selects the word drawn under
// the pointer, and the block menu is the only menu over a block.
#include "BlockEditorFrame.h"
#include "RotatedTextEdit.h"
#include "ViewTestSupport.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTimer>
#include <QTransform>

#include <optional>

using namespace viewtest;

namespace {

// A recognised line (no style runs): its editor is built line by line.
TextBlock recognisedLine(const QString& text)
{
    TextBlock block = fixtures::oneLineBlock(text, QRectF(60, 600, 300, 16), 12);
    block.fontFamily = QStringLiteral("Times New Roman");
    block.invisibleText = block.lines[0].invisibleText = true;
    return block;
}

// Dark ink (not the blue of outlines and frames) in a band of an image.
QRect darkInkIn(const QImage& image, const QRect& band)
{
    QRect ink;
    const QRect area = band.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qGray(p) < 110 && qBlue(p) - qRed(p) < 60)
                ink |= QRect(x, y, 1, 1);
        }
    return ink;
}

// Two ink boxes whose edges lie more than a pixel or two apart, described;
// empty when every edge agrees.
QString edgesApart(const QRect& a, const QRect& b)
{
    constexpr int kPixels = 2;
    if (std::abs(a.left() - b.left()) <= kPixels && std::abs(a.right() - b.right()) <= kPixels
        && std::abs(a.top() - b.top()) <= kPixels && std::abs(a.bottom() - b.bottom()) <= kPixels)
        return {};
    return QStringLiteral("%1,%2 %3x%4 against %5,%6 %7x%8")
        .arg(a.x()).arg(a.y()).arg(a.width()).arg(a.height())
        .arg(b.x()).arg(b.y()).arg(b.width()).arg(b.height());
}

// Bold and italic of the page's line that reads the given text (blanks
// aside); none when no line does.
std::optional<std::pair<bool, bool>> lineStyleWith(const std::vector<TextBlock>& blocks, const QString& text)
{
    const auto bare = [](QString t) { return t.remove(QRegularExpression(QStringLiteral("\\s"))); };
    for (const TextBlock& block : blocks)
        for (const TextBlock::Line& line : block.lines)
            if (bare(line.text).contains(bare(text)))
                return std::pair(line.bold, line.italic);
    return std::nullopt;
}

// Share of the dark ink of a band in one image that is dark in the other too.
double sharedInk(const QImage& from, const QImage& in, const QRect& band)
{
    qint64 ink = 0, shared = 0;
    const QRect area = band.intersected(from.rect()).intersected(in.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(from.pixel(x, y)) < 110) {
                ++ink;
                shared += qGray(in.pixel(x, y)) < 160;
            }
    return ink > 0 ? double(shared) / double(ink) : 0.0;
}

// The open editor draws its caret only while it has the focus; the caret is
// no part of the text's ink.
bool hideCaret(PdfView& view)
{
    view.activeTextEditor()->clearFocus();
    QCoreApplication::processEvents();
    return view.activeTextEditor() != nullptr;  // the line stays open
}

} // namespace

class TestPdfViewTyping : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void undoKeysGoToThePageHistory_data();
    void undoKeysGoToThePageHistory();
    void doubleClickSelectsTheWordUnderThePointer_data();
    void doubleClickSelectsTheWordUnderThePointer();
    void blockMenuIsTheOnlyMenuOverABlock();
    void openLineIsShownInThePagesFace_data();
    void openLineIsShownInThePagesFace();
    void shownTextIsTheWrittenText_data();
    void shownTextIsTheWrittenText();
    void replacedWordKeepsTheLineEnds_data();
    void replacedWordKeepsTheLineEnds();
    void clickAfterACorrectionDeletesTheLineClicked_data();
    void clickAfterACorrectionDeletesTheLineClicked();
    void coverStaysOverTheCorrectedLine_data();
    void coverStaysOverTheCorrectedLine();

private:
    QTemporaryDir m_dir;
};

void TestPdfViewTyping::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfViewTyping::undoKeysGoToThePageHistory_data()
{
    QTest::addColumn<QString>("file");  // empty: a recognised line over a blank page
    QTest::addColumn<QString>("line");
    QTest::newRow("LibreOffice line") << "libreoffice-letter.pdf" << "г. Москва, ул. Лесная, д. 5";
    QTest::newRow("ghostscript line") << "gs-letter.pdf" << "Директор И. П. Сидоров";
    QTest::newRow("recognised line") << "" << "Акт приёмки выполненных работ";
}

// Ctrl+Z with nothing typed changes nothing and marks nothing changed; after
// typing it undoes the typing, and once more does nothing. Ctrl+Shift+Z and
// Ctrl+Y redo with the line open.
void TestPdfViewTyping::undoKeysGoToThePageHistory()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    const ShownPdf shown = file.isEmpty() ? showPdf(m_dir, QStringLiteral("blank.pdf"), pagesOfHeights({842}), 900, 700)
                                          : showPdf(m_dir, file, fixtures::readFile(fixtures::realPdf(file)), 900, 700);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    view.setZoom(1.5);
    view.setOcrBlocks(file.isEmpty() ? std::vector<TextBlock>{recognisedLine(line)} : editableBlocks(*shown.doc), 0,
                      false);
    view.setEditMode(true);
    const int index = blockWith(view, line);
    QVERIFY(index >= 0);
    QSignalSpy edited(&view, &PdfView::ocrBlocksEdited);

    clickAt(view, view.ocrBlockScreenRect(index).center());
    QTextEdit* editor = view.activeTextEditor();
    QVERIFY(editor && editor->hasFocus());
    const auto press = [&](int key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    };
    const auto text = [&] { return view.ocrBlocksWithEdits()[size_t(index)].text; };

    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);
    QCOMPARE(edited.count(), 0);
    QVERIFY(!view.blocksDirty());

    press(Qt::Key_End, Qt::NoModifier);
    typeText(QApplication::focusWidget(), QStringLiteral(" ЖЖ"));
    QCOMPARE(text(), line + QStringLiteral(" ЖЖ"));
    QVERIFY(view.blocksDirty());
    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);
    QVERIFY(!view.blocksDirty());
    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);

    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(text(), line + QStringLiteral(" ЖЖ"));
    QVERIFY(view.activeTextEditor());  // the line stays open for more typing
    press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text(), line);
    press(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(text(), line + QStringLiteral(" ЖЖ"));
    QVERIFY(view.blocksDirty());
}

void TestPdfViewTyping::doubleClickSelectsTheWordUnderThePointer_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");  // the start of the line
    QTest::addColumn<QString>("word");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("viewTurn");     // the view's own rotation
    QTest::addColumn<double>("blockTurn");  // the block's, as on a skewed scan
    QTest::addColumn<QString>("changed");   // a word of the line replaced first; its other columns stay put
    // A justified line's blanks are wider than the face's own, and a turned
    // block is drawn turned: a layout of the editor's own would put the
    // point on another word.
    const QString justified = QStringLiteral("Настоящим сообщаем");
    QTest::newRow("justified LibreOffice line, 100 %") << "libreoffice-letter.pdf" << justified << "пять" << 1.0 << 0
                                                       << 0.0 << QString();
    QTest::newRow("justified LibreOffice line, 150 %") << "libreoffice-letter.pdf" << justified << "пять" << 1.5 << 0
                                                       << 0.0 << QString();
    QTest::newRow("justified, the line's last word") << "libreoffice-letter.pdf" << justified << "лет" << 2.0 << 0
                                                     << 0.0 << QString();
    QTest::newRow("justified, view turned") << "libreoffice-letter.pdf" << justified << "пять" << 1.5 << 90 << 0.0 << QString();
    QTest::newRow("line turned by 3 degrees") << "libreoffice-letter.pdf" << justified << "сроком" << 1.5 << 0
                                              << 3.0 << QString();
    QTest::newRow("ghostscript right-aligned line") << "gs-letter.pdf" << "г. Москва" << "Лесная" << 1.5 << 0 << 0.0 << QString();
    QTest::newRow("table cell") << "gs-letter.pdf" << "Поставка" << "оборудования" << 1.25 << 0 << 0.0 << QString();
    // Once a column is changed the line is drawn column by column: the other
    // columns stand where they stood, not a blank after the changed one.
    QTest::newRow("two-column line, first column changed, LibreOffice")
        << "libreoffice-sections.pdf" << "Действительный" << "Переводимое" << 1.5 << 0 << 0.0 << "Действительный";
    QTest::newRow("two-column line, first column changed, ghostscript")
        << "gs-sections.pdf" << "Действительный" << "Переводимое" << 1.25 << 0 << 0.0 << "Действительный";
}

void TestPdfViewTyping::doubleClickSelectsTheWordUnderThePointer()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(double, zoom);
    QFETCH(int, viewTurn);
    QFETCH(double, blockTurn);
    QFETCH(QString, changed);
    const ShownPdf shown = showRealPage(m_dir, file, 1300, 900, zoom);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    view.setRotation(viewTurn);
    std::vector<TextBlock> blocks = editableBlocks(*shown.doc);
    const auto block = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text.startsWith(line); });
    QVERIFY(block != blocks.end());
    block->rotation = block->originalRotation = blockTurn;
    view.setOcrBlocks(blocks, 0, false);
    const int index = blockWith(view, line);
    const TextBlock::Line pageLine = view.blocks()[size_t(index)].lines.front();  // a copy: typing changes the blocks
    const auto wordOf = [&](const QString& start) {
        return std::find_if(pageLine.words.begin(), pageLine.words.end(),
                            [&](const TextBlock::Line::Word& w) { return w.text.startsWith(start); });
    };
    QString expected = pageLine.text;
    if (!changed.isEmpty()) {
        QVERIFY(wordOf(changed) != pageLine.words.end());
        QCOMPARE(doubleClickedWord(view, viewportPointOf(view, 0, wordOf(changed)->rect.center())), changed);
        typeText(view.activeTextEditor(), QStringLiteral("ЖЖ"));
        expected.replace(changed, QStringLiteral("ЖЖ"));
    }
    const auto found = wordOf(word);
    QVERIFY(found != pageLine.words.end());
    // Where the word is shown: in the line's unturned box on screen, turned
    // with the line about the box's centre as the view draws it.
    QPoint at = viewportPointOf(view, 0, found->rect.center());
    if (blockTurn != 0) {
        const TextBlock& shownBlock = view.blocks()[size_t(index)];
        const QRectF box = view.ocrBlockScreenRect(index);
        const QPointF inBox(box.x() + (found->rect.center().x() - shownBlock.rect.x()) * zoom,
                            box.y() + (shownBlock.rect.bottom() - found->rect.center().y()) * zoom);
        const QPointF c = box.center();
        at = QTransform().translate(c.x(), c.y()).rotate(blockTurn).translate(-c.x(), -c.y()).map(inBox).toPoint();
    }

    QCOMPARE(doubleClickedWord(view, at), word);

    // What is typed replaces that word, nothing else.
    typeText(view.activeTextEditor(), QStringLiteral("ЖЖ"));
    const QString typed = view.ocrBlocksWithEdits()[size_t(index)].text;
    QCOMPARE(typed, expected.replace(word, QStringLiteral("ЖЖ")));
}

// A right click over the open line shows the block menu; choosing "Удалить"
// there leaves no menu behind, not the text editor's own untranslated one.
void TestPdfViewTyping::blockMenuIsTheOnlyMenuOverABlock()
{
    const ShownPdf shown = showRealPage(m_dir, QStringLiteral("libreoffice-letter.pdf"), 900, 700, 1.0);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const int index = blockWith(view, QStringLiteral("Директор"));
    const QPoint at = view.ocrBlockScreenRect(index).center();
    clickAt(view, at);
    QTextEdit* editor = view.activeTextEditor();
    QVERIFY(editor);

    QStringList entries;
    QTimer::singleShot(0, [&entries] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            entries << action->text();
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Удалить")) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        menu->close();
    });
    QWidget* target = widgetAt(view, at);
    QTest::mouseClick(target, Qt::RightButton, {}, target->mapFrom(view.viewport(), at));
    QVERIFY(entries.contains(QStringLiteral("Удалить")));
    QVERIFY(!view.activeTextEditor());  // the line went with its editor

    // The platform's menu event for the same click comes after the press.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, editor->viewport()->mapFrom(view.viewport(), at),
                                editor->viewport()->mapToGlobal(editor->viewport()->mapFrom(view.viewport(), at)));
    QTimer::singleShot(50, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    QApplication::sendEvent(editor->viewport(), &menuEvent);
    QVERIFY(!QApplication::activePopupWidget());
    QVERIFY(menuEvent.isAccepted());
}

void TestPdfViewTyping::openLineIsShownInThePagesFace_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("zoom");
    QTest::newRow("LibreOffice right-aligned line") << "libreoffice-letter.pdf" << "г. Москва, ул. Лесная, д. 5" << 1.5;
    QTest::newRow("LibreOffice justified line")
        << "libreoffice-letter.pdf" << "вступает в силу с первого числа следующего месяца. Поставщик обязан выполнить работы в"
        << 1.5;
    QTest::newRow("LibreOffice justified line, 100 %") << "libreoffice-letter.pdf" << "Настоящим сообщаем" << 1.0;
    QTest::newRow("ghostscript right-aligned line") << "gs-letter.pdf" << "Генеральному директору ООО «Вектор»" << 1.5;
    QTest::newRow("ghostscript bold heading") << "gs-letter.pdf" << "ПИСЬМО" << 2.0;
}

// A born-digital line opened for typing, nothing typed yet, is shown as the
// page draws it: its ink stands where the page's own ink stood, in the same
// face, and the line under it keeps every pixel.
void TestPdfViewTyping::openLineIsShownInThePagesFace()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(double, zoom);
    constexpr int kHandle = 7;  // pixels either side of a handle's centre
    const ShownPdf shown = showRealPage(m_dir, file, 1300, 900, zoom);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const int index = blockWith(view, line);
    QVERIFY(index >= 0);
    const QRectF lineBox = view.blocks()[size_t(index)].rect;
    // The nearest line below, on the same part of the page.
    int below = -1;
    for (int i = 0; i < int(view.blocks().size()); ++i) {
        const QRectF r = view.blocks()[size_t(i)].rect;
        if (r.center().y() < lineBox.top() && r.right() > lineBox.left() && r.left() < lineBox.right()
            && (below < 0 || r.center().y() > view.blocks()[size_t(below)].rect.center().y()))
            below = i;
    }
    QVERIFY(below >= 0);
    const double pageWidth = shown.doc->pageSize(0).width();
    const auto band = [&](const QRectF& box) {
        return view.pdfRectToScreenRect(0, QRectF(0, box.y() - 1, pageWidth, box.height() + 2)).toAlignedRect();
    };
    const QRect lineBand = band(lineBox);
    // The line below up to the open line's band (grown boxes of neighbours overlap).
    QRect belowBand = view.pdfRectToScreenRect(0, view.blocks()[size_t(below)].rect).toAlignedRect();
    belowBand.setTop(std::max(belowBand.top(), lineBand.bottom() + 1));
    QVERIFY(belowBand.height() > 8);

    QImage closed = grabViewport(view);
    clickAt(view, view.ocrBlockScreenRect(index).center());
    QVERIFY(view.activeTextEditor());
    QCOMPARE(view.selectedOcrBlocks(), QSet<int>{index});
    QVERIFY(hideCaret(view));
    QImage open = grabViewport(view);
    // The frame's handles stand over the line's ends: both shots leave them out.
    const QRect frame = view.ocrBlockScreenRect(index);
    for (QImage* shot : {&closed, &open}) {
        QPainter painter(shot);
        for (const int x : {frame.left(), frame.center().x(), frame.right()})
            for (const int y : {frame.top(), frame.center().y(), frame.bottom()})
                painter.fillRect(QRect(x - kHandle, y - kHandle, 2 * kHandle + 1, 2 * kHandle + 1), Qt::white);
    }

    const QRect pageInk = darkInkIn(closed, lineBand);
    const QRect openInk = darkInkIn(open, lineBand);
    QVERIFY(!pageInk.isNull() && !openInk.isNull());
    const QString apart = edgesApart(pageInk, openInk);
    QVERIFY2(apart.isEmpty(), qPrintable(apart));
    // Another face of the same width would still put its strokes elsewhere:
    // the open line's ink lies on the page's own strokes (two rasterisers
    // differ at the edges only), and covers them.
    constexpr double kOnThePagesStrokes = 0.75;
    constexpr double kCoversThePage = 0.6;
    const double pageInOpen = sharedInk(closed, open, lineBand);
    const double openInPage = sharedInk(open, closed, lineBand);
    QVERIFY2(openInPage >= kOnThePagesStrokes && pageInOpen >= kCoversThePage,
             qPrintable(QStringLiteral("%1 / %2").arg(openInPage).arg(pageInOpen)));

    // Under the frame's own edge the line below keeps every pixel.
    belowBand.setTop(std::max(belowBand.top(), frame.bottom() + 1));
    QVERIFY(belowBand.height() > 8);
    QCOMPARE(open.copy(belowBand), closed.copy(belowBand));
}

void TestPdfViewTyping::shownTextIsTheWrittenText_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");   // the line typed at; empty: new text inserted
    QTest::addColumn<QString>("typed");  // at the line's end
    QTest::addColumn<bool>("editorOpen");  // grabbed while still typing
    const QString justified =
        QStringLiteral("вступает в силу с первого числа следующего месяца. Поставщик обязан выполнить работы в");
    for (const bool open : {false, true}) {
        const char* const state = open ? ", editor open" : "";
        QTest::addRow("right-aligned line, the page's own font%s", state)
            << "libreoffice-letter.pdf" << "г. Москва, ул. Лесная, д. 5" << ", корп. 2" << open;
        QTest::addRow("right-aligned line, another face%s", state) << "gs-letter.pdf" << "Директор И. П. Сидоров" << " Ж"
                                                                   << open;
        QTest::addRow("justified line%s", state) << "libreoffice-letter.pdf" << justified << " ЖЖ" << open;
        QTest::addRow("centred bold heading%s", state) << "gs-letter.pdf" << "ПИСЬМО" << "-ОТВЕТ" << open;
        QTest::addRow("inserted text%s", state) << "gs-letter.pdf" << "" << "Вставка на странице" << open;
        QTest::addRow("two-column line, LibreOffice%s", state)
            << "libreoffice-sections.pdf" << "Переводимое значение" << " ЖЖ" << open;
        QTest::addRow("two-column line, ghostscript%s", state)
            << "gs-sections.pdf" << "Переводимое значение" << " ЖЖ" << open;
        QTest::addRow("chapter-number heading, LibreOffice%s", state)
            << "libreoffice-sections.pdf" << "Общие положения" << " ЖЖ" << open;
        QTest::addRow("chapter-number heading, ghostscript%s", state)
            << "gs-sections.pdf" << "Общие положения" << " ЖЖ" << open;
        QTest::addRow("centred monospaced heading%s", state)
            << "gs-sections.pdf" << "ОТМЕТКИ КОМИССИИ" << " ЖЖ" << open;
        // TeX justifies in a face with no blank of its own: the words keep their room.
        QTest::addRow("justified pdfTeX paragraph line%s", state)
            << "pdftex-objstm-manual.pdf" << "the register on the day it arrives. Copies go to the folder of the department"
            << "s" << open;
        QTest::addRow("justified pdfTeX line with a bold run%s", state)
            << "pdftex-page.pdf" << "Budget. The budget for the next year was approved in full. Staff. Two" << " more"
            << open;
    }
}

// What the view shows of a changed line, and of inserted text, is the face,
// size and place the saved page draws it in, while it is typed and after: the
// ink of the line's band on screen and in a render of the saved page agree to
// a pixel or two.
void TestPdfViewTyping::shownTextIsTheWrittenText()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, typed);
    QFETCH(bool, editorOpen);
    constexpr double kZoom = 1.5;
    const ShownPdf shown = showRealPage(m_dir, file, 1300, 900, kZoom);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    QRectF band;  // PDF points
    std::optional<std::pair<bool, bool>> sourceStyle;  // bold, italic of most of the line's letters
    if (line.isEmpty()) {
        const QRectF place(150, 320, 220, 40);  // page-top points, below the letter's text
        view.appendEditableTextBlock(0, place, typed, QStringLiteral("Times New Roman"), 12, Qt::black);
        band = QRectF(0, shown.doc->pageSize(0).height() - place.bottom(), shown.doc->pageSize(0).width(), place.height());
    } else {
        const int index = blockWith(view, line);
        QVERIFY(index >= 0);
        band = view.blocks()[size_t(index)].rect;
        band = QRectF(0, band.y() - 2, shown.doc->pageSize(0).width(), band.height() + 4);
        sourceStyle = lineStyleWith(shown.doc->extractText(0), line);
        QVERIFY(sourceStyle);
        clickAt(view, view.ocrBlockScreenRect(index).center());
        QVERIFY(view.activeTextEditor());
        QTest::keyClick(view.activeTextEditor(), Qt::Key_End);
        typeText(view.activeTextEditor(), typed);
    }
    if (editorOpen) {
        QVERIFY(view.activeTextEditor());
        QVERIFY(hideCaret(view));
    } else {
        view.deactivateOcrBlock();
        view.clearOcrBlockSelection();
    }
    const QRect screenBand = view.pdfRectToScreenRect(0, band).toAlignedRect();
    const QRect onScreen = darkInkIn(grabViewport(view), screenBand);

    const QString saved = saveEdits(view, *shown.doc, m_dir, QStringLiteral("shown.pdf"));
    QVERIFY(!saved.isEmpty());
    PdfDocument reread;
    QVERIFY(reread.open(saved));
    const QImage page = reread.renderPage(0, kZoom, 0).convertToFormat(QImage::Format_RGB32);
    const QPoint pageCorner = viewportPointOf(view, 0, QPointF(0, shown.doc->pageSize(0).height()));
    const QRect written = darkInkIn(page, screenBand.translated(-pageCorner)).translated(pageCorner);
    QVERIFY(!onScreen.isNull() && !written.isNull());
    const QString apart = edgesApart(onScreen, written);
    QVERIFY2(apart.isEmpty(), qPrintable(apart));
    // The line is written in the style most of its letters had: a bold
    // lead-in does not make it bold.
    if (sourceStyle)
        QCOMPARE(lineStyleWith(reread.extractText(0), line + typed), sourceStyle);
}

void TestPdfViewTyping::replacedWordKeepsTheLineEnds_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("typed");
    // that stay: "both" (justified), "end" (right-aligned), "start"; "on": the
    // start, a justified line whose gaps cannot take the longer word running
    // on past its end with a blank mupdf reads between every two words
    QTest::addColumn<QString>("ends");
    const QString justified =
        QStringLiteral("вступает в силу с первого числа следующего месяца. Поставщик обязан выполнить работы в");
    QTest::newRow("justified, a word shorter") << "libreoffice-letter.pdf" << justified << "следующего" << "этого" << "both";
    QTest::newRow("justified, a word longer") << "libreoffice-letter.pdf" << justified << "первого" << "двадцатого"
                                              << "on";
    QTest::newRow("right-aligned, a word shorter")
        << "libreoffice-letter.pdf" << "Генеральному директору ООО «Вектор»" << "директору" << "главе" << "end";
    QTest::newRow("justified without indent, a word shorter")
        << "libreoffice-justified.pdf" << "документов в отделе делопроизводства" << "предназначено" << "назначено" << "both";
    QTest::newRow("justified without indent, the last word shorter")
        << "libreoffice-justified.pdf" << "присваивается по порядку" << "скачать" << "взять" << "both";
    QTest::newRow("right-aligned under justified lines, a word shorter")
        << "libreoffice-justified.pdf" << "Исполнитель: ведущий" << "ведущий" << "главный" << "end";
    // XeTeX notes whose lines start with a raised mark set against their word:
    // the mark keeps the room the page left before the word, whichever word changes.
    QTest::newRow("XeTeX note, a word after the first replaced")
        << "xetex-footnotes.pdf" << "2The file described" << "described" << "named" << "start";
    QTest::newRow("XeTeX note, the last word replaced")
        << "xetex-footnotes.pdf" << "1The committee" << "committee" << "board" << "start";
}

// A word double-clicked and typed over in a justified or right-aligned line,
// saved: the line starts and ends where it did (pdftotext's word boxes), and
// the page reads every other word once.
void TestPdfViewTyping::replacedWordKeepsTheLineEnds()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(QString, typed);
    QFETCH(QString, ends);
    const ShownPdf shown = showRealPage(m_dir, file, 1300, 900, 1.5);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const int index = blockWith(view, line);
    QVERIFY(index >= 0);
    const TextBlock::Line pageLine = view.blocks()[size_t(index)].lines.front();  // a copy: typing changes the blocks
    const auto found = std::find_if(pageLine.words.begin(), pageLine.words.end(),
                                    [&](const TextBlock::Line::Word& w) { return w.text == word; });
    QVERIFY(found != pageLine.words.end());
    const double middle = shown.doc->pageSize(0).height() - pageLine.rect.center().y();  // from the top
    const double halfHeight = pageLine.rect.height() / 2;
    const QPoint at = viewportPointOf(view, 0, found->rect.center());
    QCOMPARE(doubleClickedWord(view, at), word);
    typeText(view.activeTextEditor(), typed);
    view.deactivateOcrBlock();

    const QString saved = saveEdits(view, *shown.doc, m_dir, QStringLiteral("ends.pdf"));
    QVERIFY(!saved.isEmpty());
    const auto lineBox = [&](const QString& pdf) {
        QRectF box;
        for (const pdftools::WordBox& w : pdftools::wordBoxes(pdf, 0))
            if (std::abs(w.box.center().y() - middle) < halfHeight)
                box = box.isNull() ? w.box : box.united(w.box);
        return box;
    };
    const QString source = fixtures::realPdf(file);
    const QRectF before = lineBox(source);
    const QRectF after = lineBox(saved);
    const QString where =
        QStringLiteral("%1..%2 -> %3..%4").arg(before.left()).arg(before.right()).arg(after.left()).arg(after.right());
    if (ends == QLatin1String("on")) {
        QVERIFY2(after.right() > before.right() - 1.0, qPrintable(where));
        const QStringList read = pdftools::mupdfText(saved, 0).simplified().split(QLatin1Char(' '));
        for (const QString& w : QString(line).replace(word, typed).split(QLatin1Char(' ')))
            QVERIFY2(read.contains(w), qPrintable(w));
    } else if (ends != QLatin1String("start")) {
        QVERIFY2(std::abs(after.right() - before.right()) < 1.0, qPrintable(where));
    }
    if (ends != QLatin1String("end"))
        QVERIFY2(std::abs(after.left() - before.left()) < 1.0, qPrintable(where));
    // A raised mark at the line's start keeps the room before its word.
    const auto markGap = [&](const QString& pdf) {
        QList<pdftools::WordBox> words;
        for (const pdftools::WordBox& w : pdftools::wordBoxes(pdf, 0))
            if (std::abs(w.box.center().y() - middle) < 2 * halfHeight)
                words << w;
        std::sort(words.begin(), words.end(), [](const auto& a, const auto& b) { return a.box.left() < b.box.left(); });
        const bool marked = words.size() > 1 && words[0].box.height() < 0.8 * words[1].box.height();
        return marked ? words[1].box.left() - words[0].box.right() : -1.0;
    };
    const double gapBefore = markGap(source);
    if (gapBefore >= 0)
        QVERIFY2(std::abs(markGap(saved) - gapBefore) < 0.1,
                 qPrintable(QStringLiteral("%1 -> %2").arg(gapBefore).arg(markGap(saved))));

    QStringList expected = pdftools::words(source, 0);
    QVERIFY(expected.removeOne(word));
    expected << typed;
    QStringList got = pdftools::words(saved, 0);
    expected.sort();
    got.sort();
    QCOMPARE(got, expected);
}

void TestPdfViewTyping::clickAfterACorrectionDeletesTheLineClicked_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");     // the corrected line
    QTest::addColumn<QString>("word");     // its word typed over
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("clicked");  // the line clicked next
    QTest::addColumn<QString>("hit");      // its word under the pointer
    QTest::newRow("LibreOffice 4.0 banner form") << "cups-banner-form-ru.pdf" << "Имя задания:" << "задания"
                                                 << "задания полное" << "Хост отправитель:" << "Хост";
    QTest::newRow("LibreOffice form") << "libreoffice-form.pdf" << "Заявление на отпуск." << "отпуск"
                                      << "отдых" << "Фамилия:" << "Фамилия:";
    QTest::newRow("pdfTeX page") << "pdftex-page.pdf" << "The archive received" << "received" << "obtained"
                                 << "answered within two weeks" << "two";
    QTest::newRow("ghostscript page") << "gs-letter.pdf" << "Настоящим сообщаем" << "договор" << "контракт"
                                      << "вступает в силу" << "силу";
}

// Escape closes the corrected line and the very next click, with no pause,
// selects the line it hits: Escape and Delete then remove that line, and the
// correction is what the saved page reads.
void TestPdfViewTyping::clickAfterACorrectionDeletesTheLineClicked()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(QString, typed);
    QFETCH(QString, clicked);
    QFETCH(QString, hit);
    const ShownPdf shown = showRealPage(m_dir, file, 1300, 900, 1.25);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const auto pointOf = [&](const QString& start, const QString& text) {
        const int index = blockWith(view, start);
        if (index < 0)
            return QPoint(-1, -1);
        for (const TextBlock::Line& l : view.blocks()[size_t(index)].lines)
            for (const TextBlock::Line::Word& w : l.words)
                if (w.text.startsWith(text))
                    return viewportPointOf(view, 0, w.rect.center());
        return QPoint(-1, -1);
    };
    const QPoint corrected = pointOf(line, word);
    const QPoint target = pointOf(clicked, hit);
    QVERIFY(corrected.x() >= 0 && target.x() >= 0);
    QVERIFY(doubleClickedWord(view, corrected).startsWith(word));
    typeText(view.activeTextEditor(), typed);
    const QString correctedText = view.ocrBlocksWithEdits()[size_t(view.activeBlock())].text;

    const auto key = [](Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); };
    key(Qt::Key_Escape);
    QWidget* under = widgetAt(view, target);
    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(view.viewport(), target));
    key(Qt::Key_Escape);
    key(Qt::Key_Delete);

    QCOMPARE(blockWith(view, clicked), -1);
    QVERIFY(blockWith(view, correctedText) >= 0);
    const QString saved = layoutText(saveEdits(view, *shown.doc, m_dir, QStringLiteral("clicked.pdf")));
    QVERIFY2(!saved.contains(clicked) && saved.contains(correctedText.simplified()), qPrintable(saved));
}

QTEST_MAIN(TestPdfViewTyping)
void TestPdfViewTyping::coverStaysOverTheCorrectedLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("word");     // double-clicked and typed over
    QTest::addColumn<QString>("covered");  // the word the page hides under a box
    QTest::addColumn<int>("grey");         // the box's
    QTest::newRow("a word before a number under a black box")
        << "The account number is 4711-0815-2222 and the branch is closed today." << "account" << "4711-0815-2222" << 0;
    QTest::newRow("a word before a number under a white box")
        << "The savings code is 0815-4711-3333 and the office is open tomorrow." << "savings" << "0815-4711-3333" << 255;
}

// A line under a box the page draws over it, a word of it typed over: the
// view, the editor closed, still shows the box over the line's place, as
// the page does (the save refuses to draw the line over it).
void TestPdfViewTyping::coverStaysOverTheCorrectedLine()
{
    QFETCH(QString, line);
    QFETCH(QString, word);
    QFETCH(QString, covered);
    QFETCH(int, grey);
    constexpr int kNear = 40;            // of 255: the box's own grey
    constexpr double kBoxShown = 0.9;    // of the hidden word's pixels
    const ShownPdf shown = showRealPage(m_dir, QStringLiteral("gs-covered-number.pdf"), 1300, 900, 1.5);
    QVERIFY(shown.doc && shown.view);
    PdfView& view = *shown.view;
    const int index = blockWith(view, line);
    QVERIFY(index >= 0);
    const TextBlock::Line pageLine = view.blocks()[size_t(index)].lines.front();
    const auto wordRect = [&](const QString& text) {
        const auto it = std::find_if(pageLine.words.begin(), pageLine.words.end(),
                                     [&](const TextBlock::Line::Word& w) { return w.text == text; });
        return it == pageLine.words.end() ? QRectF() : it->rect;
    };
    QVERIFY(!wordRect(word).isNull() && !wordRect(covered).isNull());
    QCOMPARE(doubleClickedWord(view, viewportPointOf(view, 0, wordRect(word).center())), word);
    typeText(view.activeTextEditor(), QStringLiteral("better ") + word);
    view.deactivateOcrBlock();
    view.clearOcrBlockSelection();
    const QImage shot = grabViewport(view).convertToFormat(QImage::Format_RGB32);
    const QRect hidden = view.pdfRectToScreenRect(0, wordRect(covered)).toAlignedRect().adjusted(2, 2, -2, -2);
    QVERIFY(!hidden.isEmpty());
    int asBox = 0;
    for (int y = hidden.top(); y <= hidden.bottom(); ++y)
        for (int x = hidden.left(); x <= hidden.right(); ++x)
            asBox += std::abs(qGray(shot.pixel(x, y)) - grey) <= kNear;
    const double share = double(asBox) / (hidden.width() * hidden.height());
    QVERIFY2(share >= kBoxShown, qPrintable(QString::number(share)));
}

#include "tst_pdfview_typing.moc"
