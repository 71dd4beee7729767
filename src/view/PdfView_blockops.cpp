// Operations on the block model as a whole: delete, group, ungroup to words,
// reorder, insertion of text and images, image replacement, the image
// placement preview and the view-only turn of a page.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "LineFonts.h"
#include "PdfView.h"

#include <QMetaMethod>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPreviewOpacity = 0.55;

} // namespace

QRectF PdfView::ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize)
{
    return PageEdits::ungroupedWordBlockRect(wordRect, lineRect, fontSize);
}

void PdfView::deleteSelectedOcrBlocks()
{
    if (m_selectedBlocks.isEmpty())
        return;
    pushUndoSnapshot(QStringLiteral("Удаление блоков"), true);
    if (m_selectedBlocks.contains(m_activeBlock))
        deactivateOcrBlock();
    // A surviving active block moves down by the blocks deleted before it.
    if (m_activeBlock >= 0)
        m_activeBlock -= int(std::count_if(m_selectedBlocks.begin(), m_selectedBlocks.end(),
                                           [this](int i) { return i < m_activeBlock; }));
    m_editorUndoBlock = m_activeBlock;
    const QSet<int> deleted = m_selectedBlocks;
    m_selectedBlocks.clear();
    const bool becameDirty = !m_edits->isDirty();
    m_edits->removeBlocks(deleted);
    if (becameDirty)
        emit ocrBlocksEdited();
    viewport()->update();
}

void PdfView::groupSelectedOcrBlocks()
{
    if (!PageEdits::canGroup(m_edits->blocks(), m_selectedBlocks))
        return;
    pushUndoSnapshot(QStringLiteral("Группировка блоков"), true);
    deactivateOcrBlock();
    const int page = m_edits->page();
    const double pageHeight = hasPages() && m_layout.hasPage(page) ? pagePointSize(page).height() : 0.0;
    const bool becameDirty = !m_edits->isDirty();
    const int mergedIndex = m_edits->groupBlocks(m_selectedBlocks, pageHeight);
    m_selectedBlocks = {mergedIndex};
    activateOcrBlock(mergedIndex);
    if (becameDirty)
        emit ocrBlocksEdited();
    viewport()->update();
}

void PdfView::ungroupSelectedOcrBlocksToWords()
{
    if (m_selectedBlocks.isEmpty())
        return;
    pushUndoSnapshot(QStringLiteral("Расгруппировка блоков"), true);
    deactivateOcrBlock();
    const QSet<int> ungrouped = m_selectedBlocks;
    m_selectedBlocks.clear();
    const bool becameDirty = !m_edits->isDirty();
    m_edits->ungroupToWords(ungrouped);
    if (becameDirty)
        emit ocrBlocksEdited();
    viewport()->update();
}

void PdfView::reorderSelectedOcrBlocks(int mode)
{
    if (m_selectedBlocks.isEmpty() || m_edits->isEmpty())
        return;
    pushUndoSnapshot(QStringLiteral("Порядок блоков"), true);
    deactivateOcrBlock();
    const bool becameDirty = !m_edits->isDirty();
    m_selectedBlocks = m_edits->reorderBlocks(m_selectedBlocks, mode);
    if (becameDirty)
        emit ocrBlocksEdited();
    viewport()->update();
}

// Changed blocks of the model's page can only make room for another page's
// blocks when the owner listens to take them; otherwise they are kept and the
// insertion is refused, so no edit is lost silently.
bool PdfView::canAdoptBlockPage(int page)
{
    if (page == m_edits->page() || !m_edits->isDirty() || m_edits->isEmpty()
        || isSignalConnected(QMetaMethod::fromSignal(&PdfView::unsavedBlocksReplaced)))
        return true;
    emit actionRefused(QStringLiteral("Сначала сохраните правки страницы %1: вставка на другую страницу отменена.")
                           .arg(m_edits->page() + 1));
    return false;
}

void PdfView::adoptBlockPage(int page)
{
    if (page == m_edits->page())
        return;
    if (m_edits->isDirty() && !m_edits->isEmpty())
        emit unsavedBlocksReplaced(m_edits->page(), ocrBlocksWithEdits()); // the owner writes them now
    deactivateOcrBlock();
    m_selectedBlocks.clear();
    m_edits->startPage(page);
    // The old page's steps would bring back blocks already handed out.
    clearUndoHistory();
}

void PdfView::appendEditableTextBlock(int page, const QRectF& pageTopRect, const QString& text, const QString& family,
                                      float pointSize, const QColor& color)
{
    if (!hasPages() || page < 0 || page >= pageCount() || text.trimmed().isEmpty())
        return;
    if (!canAdoptBlockPage(page))
        return;
    adoptBlockPage(page);
    pushUndoSnapshot(QStringLiteral("Добавление текста"), true);
    const QRectF rect = pageTopToPdfRect(page, pageTopRect.normalized()).normalized();
    const bool becameDirty = !m_edits->isDirty();
    const int added = m_edits->appendTextBlock(page, rect, text, family, pointSize, color);
    if (added < 0)
        return;
    m_selectedBlocks = {added};
    if (becameDirty)
        emit ocrBlocksEdited();
    if (m_editMode)
        activateOcrBlock(added);
    viewport()->update();
}

QList<QRectF> PdfView::layoutImageRectsInside(const QRectF& r, const QList<QImage>& images)
{
    if (images.isEmpty())
        return {};
    if (images.size() == 1)
        return {r};
    const int n = int(images.size());
    const double gap = std::clamp(0.02 * r.width(), 2.0, 8.0);
    double aspects = 0;
    for (const QImage& image : images)
        aspects += double(std::max(image.width(), 1)) / std::max(image.height(), 1);
    const double h = std::min(r.height(), std::max(r.width() - (n - 1) * gap, 2.0) / std::max(aspects, 0.1));
    double x = r.x() + (r.width() - (aspects * h + (n - 1) * gap)) / 2;
    const double y = r.y() + (r.height() - h) / 2;
    QList<QRectF> rects;
    for (const QImage& image : images) {
        const double w = double(std::max(image.width(), 1)) / std::max(image.height(), 1) * h;
        rects << QRectF(x, y, w, h);
        x += w + gap;
    }
    return rects;
}

void PdfView::appendEditableImageBlock(int page, const QRectF& pageTopRect, const QImage& image)
{
    appendEditableImageBlocks(page, pageTopRect, {image});
}

void PdfView::appendEditableImageBlocks(int page, const QRectF& pageTopRect, const QList<QImage>& images)
{
    QList<QImage> usable;
    for (const QImage& image : images) {
        if (!image.isNull())
            usable << image;
    }
    if (!hasPages() || page < 0 || page >= pageCount() || usable.isEmpty())
        return;
    if (!canAdoptBlockPage(page))
        return;
    adoptBlockPage(page);
    pushUndoSnapshot(usable.size() == 1 ? QStringLiteral("Добавление изображения")
                                        : QStringLiteral("Добавление группы изображений"),
                     true);
    QList<QRectF> rects;
    for (const QRectF& target : layoutImageRectsInside(pageTopRect.normalized(), usable))
        rects << pageTopToPdfRect(page, target).normalized();
    const bool becameDirty = !m_edits->isDirty();
    const QSet<int> added = m_edits->appendImageBlocks(page, rects, usable);
    m_selectedBlocks = added;
    if (usable.size() == 1 && added.size() == 1 && m_editMode)
        activateOcrBlock(*added.begin());
    else
        deactivateOcrBlock();
    if (becameDirty)
        emit ocrBlocksEdited();
    viewport()->update();
}

void PdfView::updateSelectedImageBlock(const QImage& image)
{
    if (image.isNull() || m_selectedBlocks.size() != 1)
        return;
    const int index = *m_selectedBlocks.begin();
    if (!validBlock(index) || !m_edits->blocks()[size_t(index)].isImage)
        return;
    pushUndoSnapshot(QStringLiteral("Редактирование изображения"), true);
    const bool becameDirty = !m_edits->isDirty();
    m_edits->replaceImage(index, image);
    if (becameDirty)
        emit ocrBlocksEdited();
    viewport()->update();
}

// --- image placement preview ---------------------------------------------------------

void PdfView::setImagePlacementPreview(const QList<QImage>& images, const QSizeF& size)
{
    m_placementImages.clear();
    for (const QImage& image : images) {
        if (!image.isNull())
            m_placementImages << image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    m_placementSize = size;
    m_placementActive = !m_placementImages.isEmpty() && size.width() > 1.0 && size.height() > 1.0;
    viewport()->update();
}

void PdfView::clearImagePlacementPreview()
{
    m_placementImages.clear();
    m_placementSize = QSizeF(-1, -1);
    m_placementActive = false;
    viewport()->update();
}

// The preview's page-top rectangle centred on a point, kept inside the page.
QRectF PdfView::placementRectAt(int page, const QPointF& centre) const
{
    const QSizeF pageSize = pagePointSize(page);
    const QSizeF size(std::min(m_placementSize.width(), pageSize.width()),
                      std::min(m_placementSize.height(), pageSize.height()));
    QRectF r(QPointF(0, 0), size);
    r.moveCenter(centre);
    r.moveLeft(std::clamp(r.left(), 0.0, pageSize.width() - size.width()));
    r.moveTop(std::clamp(r.top(), 0.0, pageSize.height() - size.height()));
    return r;
}

bool PdfView::placeImageAt(const QPoint& position)
{
    if (!m_editMode || m_editTool != PlaceImage || !m_placementActive || m_placementImages.isEmpty())
        return false;
    const int page = pageAtPoint(position);
    if (page < 0)
        return false;
    const QRectF rect = placementRectAt(page, viewToPage(page, position));
    emit selectionRectReady(page, rect);
    emit imageRectReady(page, rect);
    return true;
}

void PdfView::paintPlacementPreview(QPainter& painter, int page)
{
    if (!m_editMode || m_editTool != PlaceImage || !m_placementActive || m_placementImages.isEmpty()
        || pageAtPoint(m_placementCursor) != page)
        return;
    const QRectF rect = placementRectAt(page, viewToPage(page, m_placementCursor));
    const QList<QRectF> targets = layoutImageRectsInside(rect, m_placementImages);
    painter.save();
    painter.setOpacity(kPreviewOpacity);
    painter.setRenderHint(QPainter::Antialiasing);
    const QTransform toScreen = pageTopToViewport(page);
    for (int i = 0; i < targets.size(); ++i)
        painter.drawImage(toScreen.mapRect(targets[i]), m_placementImages[i]);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(20, 115, 230, 210), 1.2, Qt::DashLine));
    painter.drawRect(toScreen.mapRect(rect));
    painter.restore();
}

void PdfView::rotateCurrentPageView(int degrees)
{
    if (!hasPages() || !m_layout.hasPage(m_currentPage))
        return;
    const int turned = ((m_pageViewRotations.value(m_currentPage, 0) + degrees) % 360 + 360) % 360;
    if (turned == 0)
        m_pageViewRotations.remove(m_currentPage);
    else
        m_pageViewRotations.insert(m_currentPage, turned);
    m_layout.setRotations(m_viewRotation, m_pageViewRotations);
    m_pageCache.clear();
    updateScrollBars();
    ensurePageVisible(m_currentPage);
    repositionBlockEditor();
    repositionInlineEditor();
    viewport()->update();
}
