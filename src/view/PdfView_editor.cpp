// The block editor over the active block: activation, placement of the frame,
// and the frame's moves, resizes and turns going back into the block.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "BlockTextDocument.h"
#include "EditedTextPreview.h"
#include "LineFonts.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kPureMoveTolerancePt = 0.25;
constexpr double kRotationEpsilon = 0.1;
constexpr double kRotationChange = 0.01;
constexpr int kFrameSideRoom = 5;
constexpr int kFrameTopRoom = 31;
constexpr int kFrameOuterRoom = 4;
constexpr int kMinFrameExtent = 14;
constexpr int kScrollMargin = 10;
constexpr int kContentSlack = 3;
constexpr int kFitSlack = 2;
constexpr double kUnchangedFactor = 0.001;

// Where a box turned about its centre stands on screen, upright.
QRect turnedBounds(const QRect& box, double degrees)
{
    const QRectF r(box);
    QPolygonF corners;
    for (const QPointF& corner : {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()})
        corners << rotatePoint(corner, r.center(), degrees);
    return corners.boundingRect().toAlignedRect();
}

// Exactly as the style hooks expect it.
const char* const kBlockEditorStyle =
    "QTextEdit#BlockTextEditor {  background: rgba(255,255,255,0);  background-color: rgba(255,255,255,0);  "
    "border: none;  color: black;  margin: 0px;  padding: 0px;}QWidget#BlockTextEditorViewport {  background: "
    "rgba(255,255,255,0);  background-color: rgba(255,255,255,0);}";


void shiftBlockContent(TextBlock& block, double dx, double dy)
{
    if (dx == 0 && dy == 0)
        return;
    for (TextBlock::Line& line : block.lines) {
        line.rect.translate(dx, dy);
        for (TextBlock::Line::Word& word : line.words)
            word.rect.translate(dx, dy);
    }
}

} // namespace

// The pixels the rectangle covers, as a block rectangle. (Reading the right and
// bottom edges as inclusive corners would lose a pixel on every drag.)
QRectF PdfView::viewportRectToBlockRect(const QRect& viewportRect) const
{
    if (!hasPages() || !m_layout.hasPage(m_edits->page()))
        return QRectF();
    const QRectF screen(viewportRect.x(), viewportRect.y(), viewportRect.width(), viewportRect.height());
    return pageTopToPdfRect(m_edits->page(), viewportToPageTop(m_edits->page()).mapRect(screen)).normalized();
}

std::vector<TextBlock> PdfView::ocrBlocksWithEdits() const
{
    return m_edits->blocksWithEdits();
}

// The write-back, and the block's lines made the editor's visual lines when
// the text no longer matches them: the page writer writes the lines.
void PdfView::applyEditorToBlock(TextBlock& block, bool force) const
{
    if (!m_blockFrame || block.isImage)
        return;
    RotatedTextEdit* editor = m_blockFrame->editor();
    applyEditedTextDocument(block, editor, force, m_zoom);
    if (!syncBlockLinesWithEditor(block, editor, m_zoom))
        return;
    applyEditedTextDocument(block, editor, true, m_zoom);
    // The box holds its lines as they grew; a turned block keeps its box, as
    // its lines are turned about the box's centre.
    if (std::abs(block.rotation) >= kRotationEpsilon)
        return;
    for (const TextBlock::Line& line : block.lines) {
        if (hasArea(line.rect) && !line.text.trimmed().isEmpty())
            block.rect = block.rect.united(line.rect);
    }
}

QTextEdit* PdfView::activeTextEditor() const
{
    if (blockEditorActive())
        return m_blockFrame->editor();
    if (m_inlineEditor && m_inlineFrame && m_inlineFrame->isVisible())
        return m_inlineEditor;
    return nullptr;
}

bool PdfView::blockEditorActive() const
{
    return validBlock(m_activeBlock) && !m_edits->blocks()[size_t(m_activeBlock)].isImage && m_blockFrame
           && m_blockFrame->isVisible();
}

bool PdfView::activeBlockUsesFixedLineLayout() const
{
    return validBlock(m_activeBlock) && !m_edits->blocks()[size_t(m_activeBlock)].isImage
           && m_edits->blocks()[size_t(m_activeBlock)].lines.size() > 1;
}

// A block's lines stay lines: typing never wraps them, whatever the zoom or
// turn; a line grows along its own direction instead and Return starts the
// next one. Only a block without lines wraps within its box.
static bool blockKeepsItsLines(const TextBlock& block)
{
    return !block.isImage && !block.lines.empty();
}

// Opening a block does not change its look: the page's own drawing stays
// until the block is changed (typed into, formatted, moved, turned).
bool PdfView::activeBlockShowsEdits() const
{
    if (!validBlock(m_activeBlock) || !m_blockFrame)
        return false;
    const TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    return block.isImage || block.textEdited || blockTextEdited(block) || blockMoved(block) || editorHoldsTyping();
}

bool PdfView::activeBlockKeepsItsLines() const
{
    return validBlock(m_activeBlock) && blockKeepsItsLines(m_edits->blocks()[size_t(m_activeBlock)]);
}

void PdfView::disconnectActiveTextEditor()
{
    if (m_blockFrame)
        disconnect(m_blockFrame->editor(), nullptr, this, nullptr);
}

void PdfView::connectActiveTextEditorSignals(QTextEdit* editor)
{
    if (!editor)
        return;
    disconnect(editor, nullptr, this, nullptr);
    const auto report = [this] {
        emitActiveTextFormat();
        viewport()->update();
    };
    connect(editor, &QTextEdit::currentCharFormatChanged, this, report);
    connect(editor, &QTextEdit::selectionChanged, this, report);
    connect(editor, &QTextEdit::cursorPositionChanged, this, [this, editor] {
        // The editor never scrolls its content; the box grows instead.
        editor->horizontalScrollBar()->setValue(0);
        editor->verticalScrollBar()->setValue(0);
        emitActiveTextFormat();
        viewport()->update();
    });
    connect(editor, &QTextEdit::textChanged, this, &PdfView::onActiveTextChanged);
    // Typing is one step of the page's history, which the undo keys go to.
    if (auto* blockEditor = qobject_cast<RotatedTextEdit*>(editor)) {
        connect(blockEditor, &RotatedTextEdit::undoRequested, this, &PdfView::undo);
        connect(blockEditor, &RotatedTextEdit::redoRequested, this, &PdfView::redo);
    }
}

void PdfView::buildEditorDocument(const TextBlock& block)
{
    RotatedTextEdit* editor = m_blockFrame->editor();
    disconnectActiveTextEditor();
    const QSignalBlocker blocker(editor);
    m_applyingEditorChange = true;
    const bool rich = block.textEdited && blockHasRichTextPreview(block);
    const bool keepsLines = blockKeepsItsLines(block);
    editor->setLineWrapMode(rich && !keepsLines ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    editor->setStyleSheet(QString::fromUtf8(kBlockEditorStyle));
    setEditorRotatedPresentation(editor);
    m_blockFrame->setPlaceholderText(QString());
    if (rich) {
        editor->setHtml(block.richText);
        scaleDocumentFontPixels(editor->document(), m_zoom);
    } else if (block.lines.size() == 1 && !block.lines.front().invisibleText && isNativePdfLine(block.lines.front())) {
        buildSingleLineDocument(editor, block, m_zoom);
    } else {
        buildVisualLineDocument(editor, block, m_zoom);
    }
    if (rich && !keepsLines)
        normalizeEditorTextLayout(editor);
    // Its own history would undo the building itself and empty the line.
    editor->document()->setUndoRedoEnabled(false);
    editor->document()->setModified(false);
    editor->horizontalScrollBar()->setValue(0);
    editor->verticalScrollBar()->setValue(0);
    m_applyingEditorChange = false;
}

void PdfView::onActiveTextChanged()
{
    if (m_applyingEditorChange || !validBlock(m_activeBlock) || !m_blockFrame
        || sender() != m_blockFrame->editor())
        return;
    captureActiveEditorUndoIfNeeded(QStringLiteral("Редактирование текста"), false);
    const bool fixed = activeBlockKeepsItsLines();
    RotatedTextEdit* editor = m_blockFrame->editor();
    m_applyingEditorChange = true;
    editor->setLineWrapMode(fixed ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
    QTextOption option = editor->document()->defaultTextOption();
    option.setWrapMode(fixed ? QTextOption::NoWrap : QTextOption::WrapAtWordBoundaryOrAnywhere);
    editor->document()->setDefaultTextOption(option);
    if (!fixed) {
        const QSignalBlocker blocker(editor);
        normalizeEditorTextLayout(editor);
    }
    TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    applyEditorToBlock(block, block.textEdited);
    m_applyingEditorChange = false;
    editor->horizontalScrollBar()->setValue(0);
    editor->verticalScrollBar()->setValue(0);
    markOcrBlocksDirty();
    viewport()->update();
    if (fixed)
        repositionBlockEditor();
    else
        queueFitActiveBlock();
}

void PdfView::queueFitActiveBlock()
{
    QTimer::singleShot(0, this, &PdfView::fitActiveTextBlockToContent);
}

// The box grows with typed text, never shrinks, and stays on the page. It is
// measured along the block's own lines (page-top points), so a turned view
// grows it the same way as an upright one.
void PdfView::fitActiveTextBlockToContent()
{
    if (m_fittingActiveBlock || !blockEditorActive() || m_blockFrame->editor()->isHidden() || m_edits->page() < 0
        || !m_layout.hasPage(m_edits->page()))
        return;
    RotatedTextEdit* editor = m_blockFrame->editor();
    TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    const double zoom = std::max(m_zoom, kUnchangedFactor);
    const QRectF own = pdfToPageTopRect(m_edits->page(), block.rect);
    if (!hasArea(own))
        return;
    const QSizeF page = pagePointSize(m_edits->page());
    int width = int(std::ceil(own.width() * zoom));
    const int height = int(std::ceil(own.height() * zoom));
    QSizeF size = editorDocumentSizeForWidth(editor, width);
    const bool overflow = size.width() > width + 1 || size.height() > height + 1;
    QRectF grown = own;
    if (std::ceil(size.width()) + kFitSlack > width) {
        const double wanted = (std::ceil(size.width()) + kFitSlack) / zoom;
        grown.setWidth(std::max(own.width(), std::min(wanted, page.width() - own.left())));
        width = int(std::ceil(grown.width() * zoom));
        size = editorDocumentSizeForWidth(editor, width);
    }
    if (height < std::ceil(size.height()) + kFitSlack) {
        const double wanted = (std::ceil(size.height()) + kFitSlack) / zoom;
        grown.setHeight(std::max(own.height(), std::min(wanted, page.height() - own.top())));
    }
    if (grown == own) {
        editor->verticalScrollBar()->setValue(0);
        return;
    }
    m_fittingActiveBlock = true;
    if (overflow)
        applyEditorToBlock(block, true);
    block.rect = pageTopToPdfRect(m_edits->page(), grown);
    repositionBlockEditor();
    editor->verticalScrollBar()->setValue(0);
    m_fittingActiveBlock = false;
    viewport()->update();
}

void PdfView::rescaleActiveBlockEditor(double factor)
{
    if (factor <= 0 || std::abs(factor - 1.0) < kUnchangedFactor || !validBlock(m_activeBlock) || !m_blockFrame
        || m_edits->blocks()[size_t(m_activeBlock)].isImage)
        return;
    RotatedTextEdit* editor = m_blockFrame->editor();
    const int position = editor->textCursor().position();
    const bool modified = editor->document()->isModified();
    {
        const QSignalBlocker blocker(editor);
        m_applyingEditorChange = true;
        scaleDocumentFontPixels(editor->document(), factor);
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(std::min(position, editor->document()->characterCount() - 1));
        editor->setTextCursor(cursor);
        editor->horizontalScrollBar()->setValue(0);
        editor->verticalScrollBar()->setValue(0);
        editor->document()->setModified(modified);
        m_applyingEditorChange = false;
    }
    emitActiveTextFormat();
}

void PdfView::ensureBlockEditorFrame()
{
    if (m_blockFrame)
        return;
    m_blockFrame = new BlockEditorFrame(viewport());
    m_blockFrame->hide();
    connect(m_blockFrame, &BlockEditorFrame::rectChanged, this, &PdfView::onBlockFrameRectChanged);
    connect(m_blockFrame, &BlockEditorFrame::rotationChanged, this, &PdfView::onBlockFrameRotationChanged);
    connect(m_blockFrame, &BlockEditorFrame::interactionStarted, this, [this] {
        m_interactionUndoCaptured = false;
        m_frameDragStartBlock.reset();
        if (validBlock(m_activeBlock))
            m_frameDragStartBlock = m_edits->blocks()[size_t(m_activeBlock)];
    });
    // The editor lays its text out for keys, not as the page shows it: a click
    // puts the caret where it landed on the drawn text.
    connect(m_blockFrame, &BlockEditorFrame::textClicked, this, [this](QPoint at) {
        if (blockEditorActive() && !m_blockFrame->editor()->textCursor().hasSelection())
            placeEditorCursorAt(at);
    });
    connect(m_blockFrame, &BlockEditorFrame::textDoubleClicked, this, &PdfView::doubleClickInEditMode);
    connect(m_blockFrame, &BlockEditorFrame::interactionFinished, this, [this] {
        m_interactionUndoCaptured = false;
        m_frameDragStartBlock.reset();
        // The band and the handles reach over the neighbouring lines: a click
        // there that started no drag goes to the line under it. On a handle
        // that may be the open line's own text, which then takes the caret.
        const QPoint at = m_blockFrame->interactionEndPoint();
        int under = -1;
        if (m_blockFrame->endedAsClick())
            under = m_blockFrame->endedInteraction() == BlockEditorFrame::Inside
                        ? hoveredOcrBlockExcept(at, m_activeBlock)
                        : hoveredOcrBlock(at);
        if (under >= 0 && under == m_activeBlock) {
            repositionBlockEditor();
            placeEditorCursorAt(at);
            return;
        }
        if (under >= 0) {
            selectOcrBlock(under, false);
            activateOcrBlock(under);
            placeEditorCursorAt(at);
            return;
        }
        repositionBlockEditor();
    });
}

void PdfView::setUpFrameFor(const TextBlock& block)
{
    m_blockFrame->setContentRectOverride(QRect());
    m_blockFrame->setImageMode(block.isImage);
    m_blockFrame->setRotationAngle(block.rotation);
    m_blockFrame->setTextBaseRotation(m_layout.hasPage(m_edits->page()) ? effectiveRotation(m_edits->page()) : 0);
    m_blockFrame->setTextPaintingSuppressed(!block.isImage);
}

void PdfView::activateOcrBlock(int index)
{
    if (!validBlock(index)) {
        deactivateOcrBlock();
        return;
    }
    if (validBlock(m_activeBlock) && m_blockFrame)
        applyEditorToBlock(m_edits->blocks()[size_t(m_activeBlock)],
                           m_edits->blocks()[size_t(m_activeBlock)].textEdited);
    m_activeBlock = index;
    m_editorUndoBlock = index;
    m_editorUndoCaptured = false;
    ensureBlockEditorFrame();
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    setUpFrameFor(block);
    if (block.isImage) {
        disconnectActiveTextEditor();
        m_blockFrame->setPlaceholderText(QString());
    } else {
        buildEditorDocument(block);
    }
    scrollActiveBlockIntoView();
    repositionBlockEditor();
    m_blockFrame->show();
    m_blockFrame->raise();
    m_blockFrame->raiseChromeOverlay();
    if (block.isImage) {
        m_blockFrame->setFocus(Qt::OtherFocusReason);
        emit activeTextEditorAvailable(false);
    } else {
        m_blockFrame->editor()->setFocus(Qt::OtherFocusReason);
        connectActiveTextEditorSignals(m_blockFrame->editor());
        emitActiveTextFormat();
    }
    viewport()->update();
}

// Where the user pointed on the drawn text: the inverse of the preview's
// layout (and of its turn), not the hidden editor's own. The caret position
// nearest the point, or the character under it; -1 when there is none.
int PdfView::editorPositionAt(const QPoint& viewportPos, bool character) const
{
    if (!blockEditorActive() || !m_layout.hasPage(m_edits->page()))
        return -1;
    const TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    RotatedTextEdit* editor = m_blockFrame->editor();
    const QRect content = activeTextBox();
    if (!content.isValid())
        return -1;
    const int turns = m_layout.quarterTurns(m_edits->page());
    const double own = std::abs(block.rotation) > kRotationEpsilon ? block.rotation : 0.0;
    QRectF box = content;
    if (turns % 2 == 1) {
        box.setSize(box.size().transposed());
        box.moveCenter(QRectF(content).center());
    }
    QPointF p = rotatePoint(QPointF(viewportPos), QRectF(content).center(), -(turns * 90 + own));
    if (previewDrawsLines(block) && hasTurnedLines(block))
        p = pointOnItsLine(block, viewportPos, box).value_or(p);
    int position = -1;
    if (!previewDrawsLines(block))
        position = editor->document()->documentLayout()->hitTest(p - box.topLeft(),
                                                                 character ? Qt::ExactHit : Qt::FuzzyHit);
    else if (character)
        position = previewCharacterAt(editor->toPlainText(), block, box, m_zoom, p);
    else
        position = previewCursorPositionAt(editor->toPlainText(), block, box, m_zoom, p);
    return position < 0 ? -1 : std::clamp(position, 0, editor->document()->characterCount() - 1);
}

// The preview lays a block's lines out upright in its box; on a skewed scan
// each line runs turned on the page. The point is taken into the line whose
// turned box holds it (else the nearest), along that line, onto its middle.
std::optional<QPointF> PdfView::pointOnItsLine(const TextBlock& block, const QPoint& viewportPos,
                                               const QRectF& box) const
{
    constexpr double kAnyDistance = 1e6;
    const QPointF pdf = blockPagePdfPoint(viewportPos);
    const LineHit hit = lineOfBlockAt(block, pdf, kAnyDistance);
    if (hit.line < 0)
        return std::nullopt;
    const TextBlock::Line& line = block.lines[size_t(hit.line)];
    const TurnedBox placed = lineOnPage(line.rect, line.turn, block.rotation, block.rect.center());
    const QPointF along = placed.toFrame().map(pdf) - placed.rect.center() + line.rect.center();
    const double blockTop = block.rect.y() + block.rect.height();
    return QPointF(box.x() + (along.x() - block.rect.x()) * m_zoom,
                   box.y() + (blockTop - line.rect.center().y()) * m_zoom);
}

void PdfView::placeEditorCursorAt(const QPoint& viewportPos)
{
    const int position = editorPositionAt(viewportPos, false);
    if (position < 0)
        return;
    RotatedTextEdit* editor = m_blockFrame->editor();
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(position);
    editor->setTextCursor(cursor);
    viewport()->update();
}

// A double click in edit mode goes to the line drawn under the pointer, which
// may be another than the open one where the open frame's chrome reaches over
// its neighbours: that line opens and the word there is selected.
void PdfView::doubleClickInEditMode(const QPoint& viewportPos)
{
    const int under = hoveredOcrBlock(viewportPos);
    if (under >= 0 && under != m_activeBlock) {
        selectOcrBlock(under, false);
        activateOcrBlock(under);
    }
    if (blockEditorActive())
        selectEditorWordAt(viewportPos);
}

// A double click selects the word drawn under the pointer; on a blank it
// only places the caret.
void PdfView::selectEditorWordAt(const QPoint& viewportPos)
{
    const int position = editorPositionAt(viewportPos, true);
    if (position < 0) {
        placeEditorCursorAt(viewportPos);
        return;
    }
    RotatedTextEdit* editor = m_blockFrame->editor();
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(position);
    if (editor->document()->characterAt(position).isLetterOrNumber())
        cursor.select(QTextCursor::WordUnderCursor);
    editor->setTextCursor(cursor);
    viewport()->update();
}

// Where the open block's text stands on screen: the editor's box once the
// view draws the text, the block's own box while the page still draws it (the
// frame's box may be cut at the page's edge, the page's glyphs are not).
QRect PdfView::activeTextBox() const
{
    if (!activeBlockShowsEdits())
        return ocrBlockScreenRect(m_activeBlock);
    return m_blockFrame->isVisible() ? m_blockFrame->contentScreenRect() : QRect();
}

void PdfView::deactivateOcrBlock()
{
    const bool hadEditor = hasActiveTextEditor();
    if (validBlock(m_activeBlock) && m_blockFrame) {
        // After an undo restore the editor holds the state being left.
        if (!m_restoringSnapshot)
            applyEditorToBlock(m_edits->blocks()[size_t(m_activeBlock)],
                               m_edits->blocks()[size_t(m_activeBlock)].textEdited);
        disconnectActiveTextEditor();
    }
    m_activeBlock = -1;
    m_editorUndoCaptured = false;
    m_editorUndoBlock = -1;
    if (m_blockFrame) {
        // A hidden editor keeping the focus would swallow Delete, Tab and Esc.
        const bool hadFocus = m_blockFrame->isAncestorOf(QApplication::focusWidget())
                              || QApplication::focusWidget() == m_blockFrame;
        m_blockFrame->setContentRectOverride(QRect());
        m_blockFrame->setRotationAngle(0);
        m_blockFrame->hide();
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
    }
    if (hadEditor)
        emit activeTextEditorAvailable(hasActiveTextEditor());
    viewport()->update();
}

// Only on activation: scrolling there on every reposition would pull the view
// back to the block whenever the user scrolls away from it.
void PdfView::scrollActiveBlockIntoView()
{
    const QRect r = ocrBlockScreenRect(m_activeBlock);
    const QRect view = viewport()->rect();
    if (!r.isValid() || view.contains(r))
        return;
    QScrollBar* vertical = verticalScrollBar();
    if (r.top() < 0 && r.bottom() <= view.bottom())
        vertical->setValue(vertical->value() + r.top() - kScrollMargin);
    else if (r.bottom() > view.bottom())
        vertical->setValue(vertical->value() + r.bottom() - view.bottom() + kScrollMargin);
}

void PdfView::repositionBlockEditor()
{
    if (!validBlock(m_activeBlock) || !m_blockFrame || m_edits->page() < 0 || !hasPages())
        return;
    if (!m_layout.hasPage(m_edits->page())) { // the page went away under the block
        if (m_blockFrame->isVisible())
            emit actionRefused(QStringLiteral("Страница этого блока удалена: правка невозможна."));
        m_blockFrame->hide();
        return;
    }
    const QRect r = ocrBlockScreenRect(m_activeBlock);
    if (!r.isValid()) {
        m_blockFrame->hide();
        return;
    }
    // Room for the handles and the knob around the page.
    const QRect page = laidOutPageRect(m_edits->page()).translated(-horizontalScrollBar()->value(),
                                                                 -verticalScrollBar()->value());
    const QRect bounds = page.adjusted(-kFrameSideRoom, -kFrameTopRoom, kFrameOuterRoom, kFrameOuterRoom);
    QRect clip = r & bounds;
    // A block turned on its own shows its exact (possibly thin) box. That box
    // is turned about its centre: cut upright at the page's edge, its centre
    // would move off the line.
    const double rotation = m_edits->blocks()[size_t(m_activeBlock)].rotation;
    const bool turned = std::abs(rotation) >= kRotationEpsilon;
    if (turned)
        clip = turnedBounds(r, rotation).intersects(bounds) ? r : QRect();
    if (!clip.isEmpty() && !turned && !m_edits->blocks()[size_t(m_activeBlock)].isImage
        && blockTextEdited(m_edits->blocks()[size_t(m_activeBlock)]))
        clip = grownToEditorContent(r, bounds) & bounds;
    if (clip.isEmpty() || (!turned && (clip.width() <= kMinFrameExtent || clip.height() <= kMinFrameExtent))) {
        m_blockFrame->hide();
        return;
    }
    m_blockFrame->setTextBaseRotation(effectiveRotation(m_edits->page()));
    m_blockFrame->setContentRectOverride(QRect());
    m_blockFrame->setContentScreenRect(clip);
    m_blockFrame->show();
    m_blockFrame->raise();
    m_blockFrame->raiseChromeOverlay();
}

// The shown box grown to the editor's content, measured along the block's own
// lines: on a turned view the box's screen width is the lines' height.
QRect PdfView::grownToEditorContent(QRect r, const QRect& bounds) const
{
    RotatedTextEdit* editor = m_blockFrame->editor();
    const QRectF limit = frameRectToPageTop(bounds);
    QRectF own = frameRectToPageTop(r);
    const double zoom = std::max(m_zoom, kUnchangedFactor);
    QSizeF size = editorDocumentSizeForWidth(editor, int(std::lround(own.width() * zoom)));
    if (std::ceil(size.width()) + kContentSlack > own.width() * zoom) {
        own.setWidth(std::min(limit.right() - own.left(), (std::ceil(size.width()) + kContentSlack) / zoom));
        size = editorDocumentSizeForWidth(editor, int(std::lround(own.width() * zoom)));
    }
    if (std::ceil(size.height()) + kContentSlack > own.height() * zoom)
        own.setHeight(std::min(limit.bottom() - own.top(), (std::ceil(size.height()) + kContentSlack) / zoom));
    const QRectF shown = pageTopToViewport(m_edits->page()).mapRect(own);
    return QRect(QPoint(qRound(shown.left()), qRound(shown.top())),
                 QSize(qRound(shown.width()), qRound(shown.height())))
        | r;
}

QRectF PdfView::frameRectToPageTop(const QRect& viewportRect) const
{
    const QRectF covered(viewportRect.x(), viewportRect.y(), viewportRect.width(), viewportRect.height());
    return viewportToPageTop(m_edits->page()).mapRect(covered);
}

namespace {

void translateBlock(TextBlock& block, const TextBlock& from, double dx, double dy)
{
    block.rect = from.rect.translated(dx, dy);
    block.lines = from.lines;
    if (!block.isImage)
        shiftBlockContent(block, dx, dy);
}

} // namespace

// A drag of the frame changes the block by what the pointer did to the box the
// frame showed when the drag began: a move shifts the block with its lines, a
// resize moves only the dragged edges. Measured in page-top points through the
// page's turn, so it holds at every zoom and view rotation; the shown box may
// be larger than the block (minimum size, text beyond it), which is not carried
// into the block.
void PdfView::onBlockFrameRectChanged(QRect viewportRect)
{
    if (!validBlock(m_activeBlock) || !hasPages() || !m_layout.hasPage(m_edits->page()))
        return;
    if (!m_restoringSnapshot)
        captureBlockInteractionUndoIfNeeded(QStringLiteral("Изменение блока"));
    TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    const bool dragging = m_blockFrame && m_blockFrame->isInteracting() && m_frameDragStartBlock;
    if (dragging) {
        const TextBlock& start = *m_frameDragStartBlock;
        const QRectF was = frameRectToPageTop(m_blockFrame->interactionStartRect());
        const QRectF now = frameRectToPageTop(viewportRect);
        if (m_blockFrame->interaction() == BlockEditorFrame::Inside) {
            // Page-top y runs down, PDF y up.
            translateBlock(block, start, now.x() - was.x(), -(now.y() - was.y()));
        } else {
            const QRectF own = pdfToPageTopRect(m_edits->page(), start.rect);
            const QRectF resized(QPointF(own.left() + now.left() - was.left(), own.top() + now.top() - was.top()),
                                 QPointF(own.right() + now.right() - was.right(),
                                         own.bottom() + now.bottom() - was.bottom()));
            if (hasArea(resized))
                block.rect = pageTopToPdfRect(m_edits->page(), resized);
        }
    } else {
        const QRectF now = viewportRectToBlockRect(viewportRect);
        const QRectF was = block.rect;
        const bool pureMove = hasArea(now) && hasArea(was) && now != was && !block.isImage
                              && std::abs(now.width() - was.width()) < kPureMoveTolerancePt
                              && std::abs(now.height() - was.height()) < kPureMoveTolerancePt;
        if (pureMove)
            shiftBlockContent(block, now.x() - was.x(), now.y() - was.y());
        block.rect = now;
    }
    markOcrBlocksDirty();
    m_blockFrame->raise();
    m_blockFrame->raiseChromeOverlay();
    viewport()->update();
}

void PdfView::onBlockFrameRotationChanged(double degrees)
{
    if (!validBlock(m_activeBlock))
        return;
    if (!m_restoringSnapshot)
        captureBlockInteractionUndoIfNeeded(QStringLiteral("Поворот блока"));
    TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    if (std::abs(block.rotation - degrees) > kRotationChange)
        markOcrBlocksDirty();
    block.rotation = degrees;
    if (!block.isImage && m_blockFrame) {
        applyEditorToBlock(block, block.textEdited);
        m_blockFrame->editor()->setStyleSheet(QString::fromUtf8(kBlockEditorStyle));
        setEditorRotatedPresentation(m_blockFrame->editor());
    }
    // While the knob is dragged the frame keeps its own box, turning about its
    // centre; the view places it again when the drag ends.
    if (!m_blockFrame || !m_blockFrame->isInteracting())
        repositionBlockEditor();
    viewport()->update();
}
