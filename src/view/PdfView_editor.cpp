// The block editor over the active block: activation, placement of the frame,
// and the frame's moves, resizes and turns going back into the block.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"

#include <QScrollBar>

#include <cmath>

namespace {

constexpr double kPureMoveTolerancePt = 0.25;
constexpr double kRotationChange = 0.01;
constexpr int kFrameSideRoom = 5;
constexpr int kFrameTopRoom = 31;
constexpr int kFrameOuterRoom = 4;
constexpr int kMinFrameExtent = 14;
constexpr int kScrollMargin = 10;

bool hasArea(const QRectF& r)
{
    return r.width() > 0 && r.height() > 0;
}

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
    return m_blocks;
}

void PdfView::ensureBlockEditorFrame()
{
    if (m_blockFrame)
        return;
    m_blockFrame = new BlockEditorFrame(viewport());
    m_blockFrame->hide();
    connect(m_blockFrame, &BlockEditorFrame::rectChanged, this, &PdfView::onBlockFrameRectChanged);
    connect(m_blockFrame, &BlockEditorFrame::rotationChanged, this, &PdfView::onBlockFrameRotationChanged);
    const auto newInteraction = [this] { m_interactionUndoCaptured = false; };
    connect(m_blockFrame, &BlockEditorFrame::interactionStarted, this, newInteraction);
    connect(m_blockFrame, &BlockEditorFrame::interactionFinished, this, newInteraction);
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
    m_activeBlock = index;
    m_editorUndoBlock = index;
    m_editorUndoCaptured = false;
    ensureBlockEditorFrame();
    const TextBlock& block = m_blocks[size_t(index)];
    setUpFrameFor(block);
    m_blockFrame->setPlaceholderText(QString());
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
    }
    viewport()->update();
}

void PdfView::deactivateOcrBlock()
{
    m_activeBlock = -1;
    m_editorUndoCaptured = false;
    m_editorUndoBlock = -1;
    if (m_blockFrame) {
        m_blockFrame->setContentRectOverride(QRect());
        m_blockFrame->setRotationAngle(0);
        m_blockFrame->hide();
    }
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
    const QRect clip = r & bounds;
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
    repositionBlockEditor();
    viewport()->update();
}
