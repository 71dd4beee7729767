// The block model of one page as far as the view shows it: loading for
// display, edit mode and tool, screen rectangles and the hit test.
#include "BlockPainting.h"
#include "PdfView.h"

#include <QRubberBand>

#include <cmath>

void PdfView::showBlocks(int page, const std::vector<TextBlock>& blocks, const std::vector<int>& groupIds,
                         const QSet<int>& selected)
{
    clearOcrBlocks();
    m_blocks = blocks;
    m_blockGroupIds = groupIds;
    m_blockGroupIds.resize(m_blocks.size(), 0);
    for (int index : selected) {
        if (index >= 0 && index < int(m_blocks.size()))
            m_selectedBlocks.insert(index);
    }
    m_blockPage = page;
    viewport()->update();
}

void PdfView::clearOcrBlocks()
{
    m_blocks.clear();
    m_blockGroupIds.clear();
    m_selectedBlocks.clear();
    m_blockPage = -1;
    m_activeBlock = -1;
    m_hoveredBlock = -1;
    viewport()->update();
}

void PdfView::setEditMode(bool on)
{
    if (on == m_editMode)
        return;
    m_editMode = on;
    m_selectedText.clear();
    m_selectionHighlightPage = -1;
    m_selectionHighlights.clear();
    m_rubberBand->hide();
    if (!on) {
        m_selectedBlocks.clear();
        m_editTool = Select;
        viewport()->unsetCursor();
    }
    viewport()->update();
}

void PdfView::setEditTool(EditTool tool)
{
    m_editTool = tool;
    switch (tool) {
    case Hand:
        viewport()->setCursor(Qt::OpenHandCursor);
        break;
    case InsertText:
        viewport()->setCursor(Qt::IBeamCursor);
        break;
    case PlaceImage:
        viewport()->setCursor(Qt::CrossCursor);
        break;
    case Select:
        viewport()->unsetCursor();
        break;
    }
}

QRect PdfView::ocrBlockScreenRect(int index) const
{
    if (!hasPages() || index < 0 || index >= int(m_blocks.size()) || !m_layout.hasPage(m_blockPage))
        return QRect();
    constexpr int kMinWidth = 30;
    constexpr int kMinHeight = 16;
    const QRectF r = pdfRectToScreenRect(m_blockPage, m_blocks[size_t(index)].rect);
    return QRect(qRound(r.x()), qRound(r.y()), std::max(int(qRound(r.width())), kMinWidth),
                 std::max(int(qRound(r.height())), kMinHeight));
}

QRectF PdfView::ocrGroupScreenRect(int groupId) const
{
    QRectF united;
    for (int i = 0; i < int(m_blockGroupIds.size()); ++i) {
        if (m_blockGroupIds[size_t(i)] == groupId)
            united = united.united(QRectF(ocrBlockScreenRect(i)));
    }
    return united;
}

int PdfView::hoveredOcrBlock(const QPointF& viewportPoint) const
{
    if (m_blocks.empty() || m_blockPage < 0 || pageAtPoint(viewportPoint.toPoint()) != m_blockPage)
        return -1;
    constexpr double kHitMargin = 3.0;
    constexpr double kRotationEpsilon = 0.1;
    for (const bool images : {true, false}) {
        for (int i = int(m_blocks.size()) - 1; i >= 0; --i) {
            const TextBlock& block = m_blocks[size_t(i)];
            if (block.isImage != images)
                continue;
            const QRect r = ocrBlockScreenRect(i);
            if (r.width() < 0 || r.height() < 0)
                continue;
            const QRectF area = QRectF(r).adjusted(-kHitMargin, -kHitMargin, kHitMargin, kHitMargin);
            QPointF p = viewportPoint;
            if (std::abs(block.rotation) >= kRotationEpsilon) {
                QTransform unrotate;
                unrotate.translate(area.center().x(), area.center().y());
                unrotate.rotate(-block.rotation);
                unrotate.translate(-area.center().x(), -area.center().y());
                p = unrotate.map(p);
            }
            if (area.contains(p))
                return i;
        }
    }
    return -1;
}
