// The block editor over the active block: activation, placement of the frame,
// and the frame's moves, resizes and turns going back into the block.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "BlockTextDocument.h"
#include "LineFonts.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"

#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kPureMoveTolerancePt = 0.25;
constexpr double kRotationChange = 0.01;
constexpr int kFrameSideRoom = 5;
constexpr int kFrameTopRoom = 31;
constexpr int kFrameOuterRoom = 4;
constexpr int kMinFrameExtent = 14;
constexpr int kScrollMargin = 10;
constexpr int kContentSlack = 3;
constexpr int kFitSlack = 2;
constexpr double kUnchangedFactor = 0.001;

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
    if (!hasPages() || !m_layout.hasPage(m_blockPage))
        return QRectF();
    const QRectF screen(viewportRect.x(), viewportRect.y(), viewportRect.width(), viewportRect.height());
    return pageTopToPdfRect(m_blockPage, viewportToPageTop(m_blockPage).mapRect(screen)).normalized();
}

std::vector<TextBlock> PdfView::ocrBlocksWithEdits() const
{
    std::vector<TextBlock> blocks = m_blocks;
    if (validBlock(m_activeBlock) && m_blockFrame && !blocks[size_t(m_activeBlock)].isImage)
        applyEditorToBlock(blocks[size_t(m_activeBlock)], blocks[size_t(m_activeBlock)].textEdited);
    return blocks;
}

// The write-back, and the block's lines made the editor's visual lines when
// the text no longer matches them: the page writer writes the lines.
void PdfView::applyEditorToBlock(TextBlock& block, bool force) const
{
    if (!m_blockFrame || block.isImage)
        return;
    RotatedTextEdit* editor = m_blockFrame->editor();
    applyEditedTextDocument(block, editor, force, m_zoom);
    if (syncBlockLinesWithEditor(block, editor, m_zoom))
        applyEditedTextDocument(block, editor, true, m_zoom);
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
    return validBlock(m_activeBlock) && !m_blocks[size_t(m_activeBlock)].isImage && m_blockFrame
           && m_blockFrame->isVisible();
}

bool PdfView::activeBlockUsesFixedLineLayout() const
{
    return validBlock(m_activeBlock) && !m_blocks[size_t(m_activeBlock)].isImage
           && m_blocks[size_t(m_activeBlock)].lines.size() > 1;
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
}

void PdfView::buildEditorDocument(const TextBlock& block)
{
    RotatedTextEdit* editor = m_blockFrame->editor();
    disconnectActiveTextEditor();
    const QSignalBlocker blocker(editor);
    m_applyingEditorChange = true;
    const bool rich = block.textEdited && blockHasRichTextPreview(block);
    editor->setLineWrapMode(rich ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
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
    if (rich && block.lines.size() <= 1)
        normalizeEditorTextLayout(editor);
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
    const bool fixed = activeBlockUsesFixedLineLayout();
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
    TextBlock& block = m_blocks[size_t(m_activeBlock)];
    applyEditorToBlock(block, block.textEdited);
    m_applyingEditorChange = false;
    editor->horizontalScrollBar()->setValue(0);
    editor->verticalScrollBar()->setValue(0);
    markOcrBlocksDirty();
    viewport()->update();
    if (!fixed)
        queueFitActiveBlock();
}

void PdfView::queueFitActiveBlock()
{
    QTimer::singleShot(0, this, &PdfView::fitActiveTextBlockToContent);
}

// The box grows with typed text, never shrinks, and stays on the page.
void PdfView::fitActiveTextBlockToContent()
{
    if (m_fittingActiveBlock || !blockEditorActive() || m_blockFrame->editor()->isHidden() || m_blockPage < 0)
        return;
    RotatedTextEdit* editor = m_blockFrame->editor();
    QRect r = m_blockFrame->contentScreenRect();
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const QRect page = laidOutPageRect(m_blockPage).translated(-horizontalScrollBar()->value(),
                                                                 -verticalScrollBar()->value());
    QSizeF size = editorDocumentSizeForWidth(editor, r.width());
    const bool overflow = size.width() > r.width() + 1 || size.height() > r.height() + 1;
    const QRect before = r;
    if (std::ceil(size.width()) + kFitSlack > r.width()) {
        const int width = std::min(int(std::ceil(size.width())) + kFitSlack, std::max(1, page.right() + 1 - r.left()));
        r.setRight(r.left() + width - 1);
        size = editorDocumentSizeForWidth(editor, r.width());
    }
    if (r.height() < std::ceil(size.height()) + kFitSlack)
        r.setBottom(r.top() + int(std::ceil(size.height())) + 1);
    r.setBottom(std::min(r.bottom(), page.bottom()));
    if (r == before) {
        editor->verticalScrollBar()->setValue(0);
        return;
    }
    m_fittingActiveBlock = true;
    TextBlock& block = m_blocks[size_t(m_activeBlock)];
    if (overflow)
        applyEditorToBlock(block, true);
    block.rect = viewportRectToBlockRect(r);
    repositionBlockEditor();
    editor->verticalScrollBar()->setValue(0);
    m_fittingActiveBlock = false;
    viewport()->update();
}

void PdfView::rescaleActiveBlockEditor(double factor)
{
    if (factor <= 0 || std::abs(factor - 1.0) < kUnchangedFactor || !validBlock(m_activeBlock) || !m_blockFrame
        || m_blocks[size_t(m_activeBlock)].isImage)
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
    connect(m_blockFrame, &BlockEditorFrame::interactionStarted, this, [this] { m_interactionUndoCaptured = false; });
    connect(m_blockFrame, &BlockEditorFrame::interactionFinished, this, [this] {
        m_interactionUndoCaptured = false;
        repositionBlockEditor();
    });
}

void PdfView::setUpFrameFor(const TextBlock& block)
{
    m_blockFrame->setContentRectOverride(QRect());
    m_blockFrame->setImageMode(block.isImage);
    m_blockFrame->setRotationAngle(block.rotation);
    m_blockFrame->setTextBaseRotation(m_layout.hasPage(m_blockPage) ? effectiveRotation(m_blockPage) : 0);
    m_blockFrame->setTextPaintingSuppressed(!block.isImage);
}

void PdfView::activateOcrBlock(int index)
{
    if (!validBlock(index)) {
        deactivateOcrBlock();
        return;
    }
    if (validBlock(m_activeBlock) && m_blockFrame)
        applyEditorToBlock(m_blocks[size_t(m_activeBlock)], m_blocks[size_t(m_activeBlock)].textEdited);
    m_activeBlock = index;
    m_editorUndoBlock = index;
    m_editorUndoCaptured = false;
    ensureBlockEditorFrame();
    const TextBlock& block = m_blocks[size_t(index)];
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

void PdfView::deactivateOcrBlock()
{
    const bool hadEditor = hasActiveTextEditor();
    if (validBlock(m_activeBlock) && m_blockFrame) {
        // After an undo restore the editor holds the state being left.
        if (!m_restoringSnapshot)
            applyEditorToBlock(m_blocks[size_t(m_activeBlock)], m_blocks[size_t(m_activeBlock)].textEdited);
        disconnectActiveTextEditor();
    }
    m_activeBlock = -1;
    m_editorUndoCaptured = false;
    m_editorUndoBlock = -1;
    if (m_blockFrame) {
        m_blockFrame->setContentRectOverride(QRect());
        m_blockFrame->setRotationAngle(0);
        m_blockFrame->hide();
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
    if (!validBlock(m_activeBlock) || !m_blockFrame || m_blockPage < 0 || !hasPages())
        return;
    const QRect r = ocrBlockScreenRect(m_activeBlock);
    if (!r.isValid()) {
        m_blockFrame->hide();
        return;
    }
    // Room for the handles and the knob around the page.
    const QRect page = laidOutPageRect(m_blockPage).translated(-horizontalScrollBar()->value(),
                                                                 -verticalScrollBar()->value());
    const QRect bounds = page.adjusted(-kFrameSideRoom, -kFrameTopRoom, kFrameOuterRoom, kFrameOuterRoom);
    QRect clip = r & bounds;
    if (!clip.isEmpty() && !m_blocks[size_t(m_activeBlock)].isImage && blockTextEdited(m_blocks[size_t(m_activeBlock)]))
        clip = grownToEditorContent(r, bounds) & bounds;
    if (clip.isEmpty() || clip.width() <= kMinFrameExtent || clip.height() <= kMinFrameExtent) {
        m_blockFrame->hide();
        return;
    }
    m_blockFrame->setTextBaseRotation(effectiveRotation(m_blockPage));
    m_blockFrame->setContentRectOverride(QRect());
    m_blockFrame->setContentScreenRect(clip);
    m_blockFrame->show();
    m_blockFrame->raise();
    m_blockFrame->raiseChromeOverlay();
}

QRect PdfView::grownToEditorContent(QRect r, const QRect& bounds) const
{
    RotatedTextEdit* editor = m_blockFrame->editor();
    QSizeF size = editorDocumentSizeForWidth(editor, r.width());
    if (std::ceil(size.width()) + kContentSlack > r.width()) {
        const int width = std::min(std::max(1, bounds.right() - r.left() + 1), int(std::ceil(size.width())) + kContentSlack);
        r.setRight(r.left() + width - 1);
        size = editorDocumentSizeForWidth(editor, r.width());
    }
    if (std::ceil(size.height()) + kContentSlack > r.height()) {
        const int height = std::min(std::max(1, bounds.bottom() - r.top() + 1), int(std::ceil(size.height())) + kContentSlack);
        r.setBottom(r.top() + height - 1);
    }
    return r;
}

void PdfView::onBlockFrameRectChanged(QRect viewportRect)
{
    if (!validBlock(m_activeBlock))
        return;
    if (!m_restoringSnapshot)
        captureBlockInteractionUndoIfNeeded(QStringLiteral("Изменение блока"));
    TextBlock& block = m_blocks[size_t(m_activeBlock)];
    const QRect shown = ocrBlockScreenRect(m_activeBlock);
    if (viewportRect.size() == shown.size()) {
        // A drag of the whole box: the shown box may be larger than the block
        // (minimum size, text beyond it), so the block keeps its own size.
        const QPointF delta = viewportRectToBlockRect(viewportRect).center() - viewportRectToBlockRect(shown).center();
        block.rect.translate(delta);
        if (!block.isImage)
            shiftBlockContent(block, delta.x(), delta.y());
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
    TextBlock& block = m_blocks[size_t(m_activeBlock)];
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
