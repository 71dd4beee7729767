// Painting of the page view: background, pages, search hits, selections and the
// edit-mode blocks of one page. Everything is drawn on every update.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "EditPlan.h"
#include "EditedTextPreview.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <cmath>

namespace {

constexpr double kRotationEpsilon = 0.1;


} // namespace

void PdfView::paintEvent(QPaintEvent*)
{
    // Pages added, removed or resized in the document since the last update.
    if (hasPages() && m_scrollBarsRevision != m_layoutRevision)
        updateScrollBars();
    m_paintWanted.clear();
    m_paintWantsWritten = false;
    m_painting = true;
    m_layoutFrozen = true;
    {
        QPainter painter(viewport());
        paintPages(painter);
    }
    m_layoutFrozen = false;
    m_painting = false;
    // The renders this paint missed replace those asked for before. With the
    // pages in view drawn, the current page's text is read ahead, so that a
    // press to select text finds it at hand.
    if (m_renderWorker) {
        m_renderWorker->setWanted(m_paintWanted);
        if (m_paintWanted.isEmpty() && hasPages())
            prefetchPageText(m_currentPage);
    }
}

void PdfView::paintPages(QPainter& painter)
{
    paintBackground(painter);
    if (!hasPages()) {
        // A document whose page sizes are still being read shows the bare canvas.
        if (m_document && m_document->isOpen() && !m_layoutRead)
            return;
        painter.setPen(QColor(m_darkCanvas ? "#A6AFBA" : "#4E5662"));
        painter.drawText(viewport()->rect(), Qt::AlignCenter, m_emptyPlaceholderText);
        return;
    }
    const auto [first, last] = visiblePageRange();
    const QRect view = viewport()->rect();
    for (int page = first; page < last; ++page) {
        const QRect rect = laidOutPageRect(page).translated(-horizontalScrollBar()->value(),
                                                            -verticalScrollBar()->value());
        if (rect.intersects(view) || rect.isEmpty())
            paintPage(painter, page);
    }
}

void PdfView::paintBackground(QPainter& painter)
{
    const QRect rect = viewport()->rect();
    if (m_darkCanvas) {
        painter.fillRect(rect, QColor("#181A1D"));
        return;
    }
    QLinearGradient gradient(QPointF(0, 0), QPointF(rect.width() - 1, rect.height() - 1));
    gradient.setColorAt(0.0, QColor("#F1F5F8"));
    gradient.setColorAt(0.42, QColor("#E5EBF1"));
    gradient.setColorAt(1.0, QColor("#DDE5EC"));
    painter.fillRect(rect, gradient);
}

// Draws the image pixel for pixel when it is the page's size (the engine may
// round up by a pixel), so the page looks exactly as rendered.
void PdfView::paintPageImage(QPainter& painter, const QImage& image, const QRect& target)
{
    const QSize slack = image.size() - target.size();
    if (slack.width() >= 0 && slack.width() <= 1 && slack.height() >= 0 && slack.height() <= 1)
        painter.drawImage(target.topLeft(), image, QRect(QPoint(0, 0), target.size()));
    else
        painter.drawImage(target, image);
}

void PdfView::paintPage(QPainter& painter, int page)
{
    const QRect rect = laidOutPageRect(page).translated(-horizontalScrollBar()->value(),
                                                        -verticalScrollBar()->value());
    constexpr int kShadowOffset = 4;
    painter.fillRect(rect.translated(kShadowOffset, kShadowOffset), QColor(0, 0, 0, 80));

    // Also under ink masks the page keeps its text: unchanged blocks draw
    // nothing, so text left out of the image would vanish in edit mode.
    const bool inkLayer = isInkLayerPage(page);
    const QImage image = pageImageForPaint(page, PdfRenderAll);
    const bool blockPage = m_editMode && page == m_edits->page() && !m_edits->blocks().empty();
    const QImage written = blockPage ? writtenPageImage(page) : QImage();
    m_pageShownAsWritten = !written.isNull();
    if (m_pageShownAsWritten)
        paintPageImage(painter, written, rect);
    else if (image.isNull())
        painter.fillRect(rect, Qt::white);
    else
        paintPageImage(painter, image, rect);
    if (inkLayer && !m_pageShownAsWritten)
        paintInkMasks(painter, page);

    painter.setPen(QPen(QColor(180, 180, 180), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
    if (page == m_currentPage) {
        painter.setPen(QPen(QColor(30, 120, 255), 2));
        painter.drawRect(rect.adjusted(-1, -1, 1, 1));
    }

    if (blockPage) {
        paintPlacementPreview(painter, page);
        paintBlocks(painter, page, image, rect);
    }
    m_pageShownAsWritten = false;
    paintSearchHits(painter, page);
    paintTextSelection(painter, page);
    paintRegionSelection(painter, page);
    if (!blockPage)
        paintPlacementPreview(painter, page);
}

void PdfView::paintSearchHits(QPainter& painter, int page)
{
    if (page != m_searchPage || m_searchHits.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < m_searchHits.size(); ++i) {
        const QRectF r = pdfRectToScreenRect(page, m_searchHits[i]);
        if (!hasArea(r))
            continue;
        if (i >= m_currentSearchHit && i < m_currentSearchHit + m_currentSearchHitCount) {
            painter.setPen(QPen(QColor(217, 119, 6), 2));
            painter.setBrush(QColor(251, 191, 36, 110));
        } else {
            painter.setPen(QPen(QColor(234, 179, 8), 1));
            painter.setBrush(QColor(250, 204, 21, 75));
        }
        painter.drawRoundedRect(r.adjusted(-1, -1, 1, 1), 2, 2);
    }
    painter.restore();
}

void PdfView::paintTextSelection(QPainter& painter, int page)
{
    if (page != m_selectionHighlightPage || m_selectionHighlights.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(37, 99, 235, 92));
    for (const QRectF& highlight : std::as_const(m_selectionHighlights))
        painter.drawRoundedRect(pdfRectToScreenRect(page, highlight).adjusted(-0.5, -0.5, 0.5, 0.5), 2, 2);
    painter.restore();
}

void PdfView::paintRegionSelection(QPainter& painter, int page)
{
    if (!m_regionSelectionShown || page != m_lastRegionPage || !hasArea(m_lastRegionRect))
        return;
    const QRect r = viewportRectForPageTopRect(page, m_lastRegionRect);
    if (!r.isValid())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(37, 99, 235, 24));
    painter.setPen(QPen(QColor(30, 114, 228, 230), std::max(0.35 * m_zoom, 1.0), Qt::DashLine));
    painter.drawRect(QRectF(r.x() + 0.5, r.y() + 0.5, r.width() - 1, r.height() - 1));
    painter.restore();
}

// --- blocks ---------------------------------------------------------------------

bool PdfView::isInkImageBlock(const TextBlock& block)
{
    return block.isImage && block.inkRegion && !block.image.isNull() && hasArea(block.originalRect);
}

bool PdfView::isInkLayerPage(int page) const
{
    if (!m_editMode || page != m_edits->page())
        return false;
    return std::any_of(m_edits->blocks().begin(), m_edits->blocks().end(), isInkImageBlock);
}

// Hides the ink of masked image blocks on the page drawn without its text,
// then draws again the text that the mask covered, cut to the mask.
void PdfView::paintInkMasks(QPainter& painter, int page)
{
    const QRectF pageArea(QPointF(0, 0), pagePointSize(page)); // the same area in PDF points
    for (const TextBlock& block : m_edits->blocks()) {
        if (!isInkImageBlock(block))
            continue;
        const QRectF screen = pdfRectToScreenRect(page, block.originalRect);
        const QImage mask = whiteAlphaMaskForPreview(pagePicture(block));
        drawBlockImage(painter, block, screen, mask);

        const QRectF area = block.originalRect.intersected(pageArea);
        const QRect target = pdfRectToScreenRect(page, area).toAlignedRect();
        if (target.isEmpty())
            continue;
        QImage repair(target.size(), QImage::Format_ARGB32_Premultiplied);
        repair.fill(Qt::transparent);
        QPainter layer(&repair);
        layer.setRenderHint(QPainter::Antialiasing);
        layer.translate(-target.topLeft());
        bool drawn = false;
        for (int i = 0; i < int(m_edits->blocks().size()); ++i) {
            if (!shouldUseTextBlockForInkRepair(m_edits->blocks()[size_t(i)], area))
                continue;
            const QRect r = pdfRectToScreenRect(page, m_edits->blocks()[size_t(i)].rect).toRect();
            drawTurnedPreview(layer, m_edits->blocks()[size_t(i)], r, nullptr);
            drawn = true;
        }
        if (!drawn)
            continue;
        layer.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        drawBlockImage(layer, block, screen, mask);
        layer.end();
        painter.drawImage(target.topLeft(), repair);
    }
}

// Draws an image of a block into its screen rectangle, turned with the view and
// with the block's own rotation, so it matches the rotated page under it.
void PdfView::drawBlockImage(QPainter& painter, const TextBlock& block, const QRectF& r, const QImage& image)
{
    const int turns = m_layout.quarterTurns(m_edits->page());
    const double degrees = turns * 90 + (std::abs(block.rotation) >= kRotationEpsilon ? block.rotation : 0.0);
    painter.save();
    if (std::abs(degrees) >= kRotationEpsilon)
        applyBlockRotation(painter, r, degrees);
    QRectF target = r;
    if (turns % 2 == 1) {
        target.setSize(r.size().transposed());
        target.moveCenter(r.center());
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
    painter.restore();
}

void PdfView::paintBlocks(QPainter& painter, int page, const QImage& pageImage, const QRect& pageRect)
{
    painter.save();
    painter.setFont(QFont(QStringLiteral("Arial"), 7));
    if (m_pageShownAsWritten) {
        const bool inkLayer = isInkLayerPage(page);
        for (int i = 0; i < int(m_edits->blocks().size()); ++i)
            paintBlock(painter, i, inkLayer);
        paintBlockGroups(painter);
        painter.restore();
        return;
    }
    eraseChangedBlockInk(painter, page, pageImage, pageRect);
    // The picture's pixels, through the viewport, onto the page (points, y
    // up): the page's exact place, as the renderer fills the picture's whole
    // pixels with it (the page's rectangle on screen is rounded).
    PreviewPagePixels pixels;
    const QRectF exact = pdfRectToScreenRect(page, QRectF(QPointF(0, 0), pagePointSize(page)));
    if (!pageImage.isNull() && exact.width() > 0 && exact.height() > 0) {
        pixels.image = pageImage;
        pixels.imageToPage = QTransform(exact.width() / pageImage.width(), 0, 0, exact.height() / pageImage.height(),
                                        exact.left(), exact.top()) *
                             pageTopToViewport(page).inverted() *
                             QTransform(1, 0, 0, -1, 0, pagePointSize(page).height());
        pixels.linePlaces = pdfengine::pageLinePlaces(m_edits->blocks());
        pixels.glyphs = glyphMarks(page);
        m_previewPixels = &pixels;
    }
    const bool inkLayer = isInkLayerPage(page);
    for (int i = 0; i < int(m_edits->blocks().size()); ++i)
        paintBlock(painter, i, inkLayer);
    paintCoversOverChangedInk(painter, page, pageImage, pageRect);
    paintBlockGroups(painter);
    m_previewPixels = nullptr;
    painter.restore();
}

// Read from the document once per revision, and only for a page that holds
// lines read on a scan or from a layer over one: only they are written from
// a reading or from pixels.
const std::vector<pdfengine::GlyphMark>& PdfView::glyphMarks(int page)
{
    static const std::vector<pdfengine::GlyphMark> none;
    const std::vector<TextBlock>& blocks = m_edits->blocks();
    if (!m_document || std::none_of(blocks.begin(), blocks.end(), [](const TextBlock& block) {
            return block.invisibleText || pdfengine::hasRecognisedLines(block);
        }))
        return none;
    const quint64 revision = m_document->revision();
    if (m_glyphMarks.page != page || m_glyphMarks.revision != revision)
        m_glyphMarks = {page, revision, m_document->glyphMarks(page)};
    return m_glyphMarks.marks;
}

void PdfView::eraseChangedBlockInk(QPainter& painter, int page, const QImage& pageImage, const QRect& pageRect)
{
    if (pageImage.isNull() || pageRect.width() <= 0 || pageRect.height() <= 0)
        return;
    const double sx = double(pageImage.width()) / pageRect.width();
    const double sy = double(pageImage.height()) / pageRect.height();
    constexpr double kCropMargin = 2.0;
    constexpr double kClipMargin = 1.0;  // points around a turned line, as the writer grows its white-out
    const double pageHeight = pagePointSize(page).height();
    for (const TurnedBox& oldPlace : oldPlacesToErase()) {
        // Where the old text sits in the page image, through the view's rotation.
        const QRectF onPage = pdfRectToScreenRect(page, oldPlace.bounds()).translated(-pageRect.topLeft());
        const QRectF inImage(onPage.x() * sx - kCropMargin, onPage.y() * sy - kCropMargin,
                             onPage.width() * sx + 2 * kCropMargin, onPage.height() * sy + 2 * kCropMargin);
        const QRect crop = inImage.toAlignedRect().intersected(pageImage.rect());
        if (crop.isEmpty())
            continue;
        const QImage overlay = cachedInkEraseOverlay(pageImage, crop, std::max(sx, sy));
        painter.save();
        if (oldPlace.isTurned()) {
            // Only the line's own turned box: its upright bounds reach the lines around it.
            QPolygonF shown;
            for (const QPointF& corner : oldPlace.grown(kClipMargin).polygon())
                shown << pageTopToViewport(page).map(QPointF(corner.x(), pageHeight - corner.y()));
            QPainterPath clip;
            clip.addPolygon(shown);
            painter.setClipPath(clip, Qt::IntersectClip);
        }
        painter.drawImage(QRectF(crop.x() / sx + pageRect.left(), crop.y() / sy + pageRect.top(), crop.width() / sx,
                                 crop.height() / sy),
                          overlay);
        painter.restore();
    }
}

void PdfView::paintCoversOverChangedInk(QPainter& painter, int page, const QImage& pageImage, const QRect& pageRect)
{
    const std::vector<TurnedBox> places = oldPlacesToErase();
    if (!m_document || places.empty() || pageImage.isNull() || pageRect.isEmpty())
        return;
    const quint64 revision = m_document->revision();
    if (m_covers.page != page || m_covers.revision != revision || m_covers.size != pageImage.size()) {
        const QSizeF points = pagePointSize(page);
        const int turns = m_layout.hasPage(page) ? m_layout.quarterTurns(page) : 0;
        const double across = turns % 2 ? points.height() : points.width();
        QImage covers = across > 0 ? m_document->renderPageLayer(page, pageImage.width() / across, turns * 90,
                                                                 PdfRenderOverText, true)
                                   : QImage();
        if (!covers.isNull() && covers.size() != pageImage.size())
            covers = covers.scaled(pageImage.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_covers = {page, revision, pageImage.size(), covers};
    }
    if (m_covers.image.isNull())
        return;
    QPainterPath clip;
    for (const TurnedBox& place : places) {
        QPolygonF shown;
        for (const QPointF& corner : place.polygon())
            shown << pageTopToViewport(page).map(QPointF(corner.x(), pagePointSize(page).height() - corner.y()));
        clip.addPolygon(shown);
    }
    painter.save();
    painter.setClipPath(clip, Qt::IntersectClip);
    paintPageImage(painter, m_covers.image, pageRect);
    painter.restore();
}

bool PdfView::erasesOldInk(int index) const
{
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    if (block.isImage || !hasArea(block.originalRect))
        return false;
    return blockTextEdited(block) || blockMoved(block) || (index == m_activeBlock && activeBlockShowsEdits());
}

// The block's text drawn the way the page shows it: turned with the page's
// quarter turns and the block's own rotation, laid out in the unturned box.
void PdfView::drawTurnedPreview(QPainter& painter, const TextBlock& block, const QRect& r, QTextEdit* caretEditor,
                                bool withText)
{
    const int turns = m_layout.hasPage(m_edits->page()) ? m_layout.quarterTurns(m_edits->page()) : 0;
    const double own = std::abs(block.rotation) > kRotationEpsilon ? block.rotation : 0.0;
    const double degrees = turns * 90 + own;
    QRectF box = r;
    if (turns % 2 == 1) {
        box.setSize(QSizeF(r.height(), r.width()));
        box.moveCenter(QRectF(r).center());
    }
    // An upright box rounded to whole pixels: the text starts where the block does.
    constexpr double kRounding = 1.0;
    const QPointF exact = pdfRectToScreenRect(m_edits->page(), block.rect).topLeft();
    if (std::abs(degrees) < kRotationEpsilon && std::abs(exact.x() - box.x()) < kRounding &&
        std::abs(exact.y() - box.y()) < kRounding)
        box.moveTopLeft(exact);
    painter.save();
    if (std::abs(degrees) >= kRotationEpsilon)
        applyBlockRotation(painter, QRectF(r), degrees);
    if (withText)
        drawEditedTextPreview(painter, block, box, m_zoom, m_previewPixels);
    if (caretEditor)
        drawPreviewEditorCaret(painter, caretEditor, block, box, m_zoom);
    painter.restore();
}

void PdfView::paintTextBlockPreview(QPainter& painter, int index, const QRect& r)
{
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    if (index == m_activeBlock && m_blockFrame) {
        paintActiveTextBlock(painter, r);
        return;
    }
    if (m_pageShownAsWritten)
        return;
    if (blockTextEdited(block) || blockMoved(block))
        drawTurnedPreview(painter, block, r, nullptr);
}

void PdfView::paintActiveTextBlock(QPainter& painter, const QRect& r)
{
    TextBlock live = m_edits->blocks()[size_t(m_activeBlock)];
    RotatedTextEdit* editor = m_blockFrame->editor();
    live.text = editor->toPlainText();
    const QRect content = activeTextBox();
    const QRect box = content.isValid() ? content : r;
    // Until it is changed, the open block is the page's own drawing with the caret over it.
    drawTurnedPreview(painter, live, box, editor, !m_pageShownAsWritten && activeBlockShowsEdits());
    const QRect frame = m_blockFrame->isVisible() ? m_blockFrame->contentScreenRect() : QRect();
    if (std::abs(live.rotation) > kRotationEpsilon)
        drawActiveTextBlockChrome(painter, QRectF(frame.isValid() ? frame : r), live.rotation);
}

void PdfView::paintBlock(QPainter& painter, int index, bool inkLayerPage)
{
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    QRect r = ocrBlockScreenRect(index);
    if (!r.isValid())
        r = pdfRectToScreenRect(m_edits->page(), block.rect).toRect();
    const bool rotated = std::abs(block.rotation) > kRotationEpsilon;
    if (block.isImage && m_pageShownAsWritten) {
        // The written page holds the picture where it goes.
    } else if (block.isImage) {
        const bool placedByUser = !hasArea(block.originalRect);
        if (placedByUser || (block.inkRegion && inkLayerPage)) {
            drawBlockImage(painter, block, r, block.image);
        } else if (blockMoved(block) || rotated || block.imageEdited) {
            const QRectF was = pdfRectToScreenRect(m_edits->page(), block.originalRect).adjusted(-1, -1, 1, 1);
            if (block.inkRegion)
                painter.drawImage(was, whiteAlphaMaskForPreview(pagePicture(block)));
            else
                painter.fillRect(was, Qt::white);
            drawBlockImage(painter, block, r, block.image);
        }
    } else {
        paintTextBlockPreview(painter, index, r);
    }
    const bool grouped = index < int(m_edits->groupIds().size()) && m_edits->groupIds()[size_t(index)] > 0;
    if (index == m_activeBlock && block.isImage) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(220, 60, 60, 210), 1, Qt::DashLine));
        painter.drawRect(r);
        return;
    }
    if (index == m_activeBlock || grouped)
        return;
    paintBlockOutline(painter, index, block.isImage ? r : blockOutlineRect(index));
    if (m_ocrDebugLabelsVisible)
        paintBlockDebugLabel(painter, index, r);
}

void PdfView::paintBlockOutline(QPainter& painter, int index, const QRect& r)
{
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    const int width = m_selectedBlocks.contains(index) ? 2 : 1;
    // A block turned on its own (a turned page's line) is outlined as turned.
    painter.save();
    if (std::abs(block.rotation) >= kRotationEpsilon)
        applyBlockRotation(painter, QRectF(r), block.rotation);
    painter.setBrush(Qt::NoBrush);
    if (block.isImage) {
        painter.setPen(QPen(QColor(200, 50, 50, 170), width, Qt::DashLine));
        painter.drawRect(r);
        constexpr int kLabelMinWidth = 28;
        constexpr int kLabelMinHeight = 10;
        if (r.width() > kLabelMinWidth && r.height() > kLabelMinHeight) {
            painter.setPen(QColor(180, 40, 40, 160));
            painter.drawText(r.adjusted(2, 2, -2, -2), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("img"));
        }
        painter.restore();
        return;
    }
    const QColor colour = block.isTable ? QColor(20, 160, 60, 190) : QColor(30, 120, 255, 205);
    drawRectOutline(painter, r, colour, width);
    painter.restore();
}

void PdfView::paintBlockDebugLabel(QPainter& painter, int index, const QRect& r)
{
    const QString text = blockDebugLabel(m_edits->blocks()[size_t(index)]);
    painter.save();
    QFont font(QStringLiteral("Arial"), 7);
    font.setBold(true);
    painter.setFont(font);
    constexpr int kPadding = 3;
    constexpr int kGap = 2;
    const QSize size = painter.fontMetrics().boundingRect(text).size() + QSize(2 * kPadding, 2 * kPadding);
    int y = r.top() - kGap - size.height();
    if (y < 0)
        y = r.top() + kGap;
    const QRect label(QPoint(r.left(), y), size);
    painter.setBrush(QColor(255, 255, 210, 220));
    painter.setPen(QPen(QColor(90, 90, 40, 190), 1));
    painter.drawRect(label);
    painter.setPen(QColor(40, 40, 20));
    painter.drawText(label.adjusted(kPadding, 0, -kPadding, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.restore();
}

void PdfView::paintBlockGroups(QPainter& painter)
{
    QList<int> seen;
    for (int i = 0; i < int(m_edits->groupIds().size()); ++i) {
        const int group = m_edits->groupIds()[size_t(i)];
        if (group <= 0 || seen.contains(group))
            continue;
        seen.append(group);
        const QRectF r = ocrGroupScreenRect(group);
        if (!hasArea(r))
            continue;
        bool selected = false;
        for (int j = 0; j < int(m_edits->groupIds().size()); ++j)
            selected = selected || (m_edits->groupIds()[size_t(j)] == group && m_selectedBlocks.contains(j));
        painter.setBrush(QColor(30, 120, 255, selected ? 22 : 8));
        painter.setPen(QPen(QColor(30, 120, 255, selected ? 230 : 170), selected ? 2 : 1, Qt::DashLine));
        painter.drawRoundedRect(r.adjusted(-2, -2, 2, 2), 3, 3);
    }
}

// --- the page as written -------------------------------------------------------

bool PdfView::editorHoldsTyping() const
{
    if (!m_blockFrame || !validBlock(m_activeBlock))
        return false;
    const QTextEdit* editor = m_blockFrame->editor();
    return editor->document()->isModified() || editor->toPlainText() != m_edits->blocks()[size_t(m_activeBlock)].text;
}

QImage PdfView::writtenPageImage(int page)
{
    if (!m_document || !m_renderWorker || !m_edits->isDirty() || editorHoldsTyping())
        return QImage();
    const std::vector<TextBlock> blocks = m_edits->blocksWithEdits();
    const WrittenPageKey key{renderKey(page, PdfRenderAll, false), blocksFingerprint(blocks)};
    if (m_writtenPage && m_writtenPage->key.sameImage(key))
        return m_writtenPage->image;
    m_paintWantsWritten = true;
    if (!m_writtenAsked || !m_writtenAsked->sameImage(key)) {
        m_writtenAsked = key;
        m_renderWorker->requestWrittenPage(key, blocks);
    }
    // At another zoom the same write is drawn scaled until its new picture comes.
    if (m_writtenPage && m_writtenPage->key.blocks == key.blocks && m_writtenPage->key.render.page == page &&
        m_writtenPage->key.render.revision == key.render.revision &&
        m_writtenPage->key.render.rotation == key.render.rotation)
        return m_writtenPage->image;
    return QImage();
}

void PdfView::onWrittenPageRendered(const WrittenPageKey& key, const QImage& image)
{
    m_writtenPage = WrittenPage{key, image};
    viewport()->update();
}
