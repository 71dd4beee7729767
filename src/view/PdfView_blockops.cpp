// Operations on the block model as a whole: delete, group, ungroup to words,
// reorder, insertion of text and images, image replacement, the image
// placement preview and the view-only turn of a page.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "LineFonts.h"
#include "PdfView.h"
#include "StableSort.h"

#include <QMetaMethod>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinBlockSidePt = 2.0;
constexpr double kSameRowPt = 3.0;
constexpr double kPreviewOpacity = 0.55;


QRectF ungroupedWordBlockRectFor(QRectF word, const QRectF& line, double fontSize)
{
    if (!hasArea(word)) {
        if (!hasArea(line))
            return line;
        word = line;
    }
    const double h = std::max({1.18 * fontSize, 7.0, line.height(), word.height()});
    const double centre = hasArea(line) ? line.center().y() : word.center().y();
    const double pad = std::max(0.1 * fontSize, 0.8);
    return QRectF(word.x() - pad, centre - h / 2, word.width() + 2 * pad, h).normalized();
}

// A word of a block turned into a block of its own.
TextBlock wordBlock(const TextBlock& source, const QString& word, const QRectF& rect)
{
    TextBlock block = source;
    block.text = word;
    block.rect = block.originalRect = rect;
    block.richText.clear();
    block.textEdited = false;
    return block;
}

void appendLineWords(std::vector<TextBlock>& out, const TextBlock& source, const TextBlock::Line& line)
{
    const auto add = [&](const QString& text, const QRectF& wordRect) {
        TextBlock block = wordBlock(source, text, ungroupedWordBlockRectFor(wordRect, line.rect, line.fontSize));
        TextBlock::Line only = line;
        only.text = text;
        only.rect = block.rect;
        only.words.clear();
        block.lines = {only};
        out.push_back(block);
    };
    if (!line.words.empty()) {
        for (const TextBlock::Line::Word& word : line.words) {
            if (!word.text.trimmed().isEmpty())
                add(word.text, word.rect);
        }
        return;
    }
    const QStringList words = splitWordsPreserveSimple(line.text);
    if (words.size() < 2)
        return;
    const double step = line.rect.width() / words.size();
    for (int i = 0; i < words.size(); ++i)
        add(words[i], QRectF(line.rect.x() + i * step, line.rect.y(), step, line.rect.height()));
}

} // namespace

QRectF PdfView::ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize)
{
    return ungroupedWordBlockRectFor(wordRect, lineRect, fontSize);
}

void PdfView::deleteSelectedOcrBlocks()
{
    if (m_selectedBlocks.isEmpty())
        return;
    pushUndoSnapshot(QStringLiteral("Удаление блоков"), true);
    if (m_selectedBlocks.contains(m_activeBlock))
        deactivateOcrBlock();
    std::vector<TextBlock> kept;
    std::vector<int> keptGroups;
    for (int i = 0; i < int(m_blocks.size()); ++i) {
        if (m_selectedBlocks.contains(i)) {
            rememberRemovedPlace(m_blocks[size_t(i)]);
            continue;
        }
        kept.push_back(m_blocks[size_t(i)]);
        keptGroups.push_back(i < int(m_blockGroupIds.size()) ? m_blockGroupIds[size_t(i)] : 0);
    }
    // A surviving active block moves down by the blocks deleted before it.
    if (m_activeBlock >= 0)
        m_activeBlock -= int(std::count_if(m_selectedBlocks.begin(), m_selectedBlocks.end(),
                                           [this](int i) { return i < m_activeBlock; }));
    m_editorUndoBlock = m_activeBlock;
    m_blocks = std::move(kept);
    m_blockGroupIds = std::move(keptGroups);
    m_selectedBlocks.clear();
    markOcrBlocksDirty();
    viewport()->update();
}

void PdfView::groupSelectedOcrBlocks()
{
    QList<int> selected(m_selectedBlocks.begin(), m_selectedBlocks.end());
    std::sort(selected.begin(), selected.end());
    if (selected.size() < 2)
        return;
    if (std::any_of(selected.begin(), selected.end(), [this](int i) { return !validBlock(i) || m_blocks[size_t(i)].isImage; }))
        return;
    pushUndoSnapshot(QStringLiteral("Группировка блоков"), true);
    deactivateOcrBlock();
    TextBlock merged = m_blocks[size_t(selected.first())];
    merged.lines.clear();
    QStringList texts;
    for (int index : selected) {
        const TextBlock& block = m_blocks[size_t(index)];
        // The merged block keeps the first one's old place; the others' old
        // ink must go too, or their text would show twice.
        if (index != selected.first())
            rememberRemovedPlace(block);
        for (TextBlock::Line line : block.lines) {
            line.text = line.text.trimmed();
            merged.lines.push_back(line);
        }
        merged.rect |= block.rect;
        const QString text = ocrBlockTextForClipboard(block);
        if (!text.isEmpty())
            texts << text;
    }
    const double pageHeight = hasPages() && m_layout.hasPage(m_blockPage) ? pagePointSize(m_blockPage).height() : 0.0;
    const auto topOf = [pageHeight](const TextBlock::Line& line) {
        return pageHeight > 0 ? pageHeight - line.rect.y() - line.rect.height() : line.rect.y();
    };
    vorn::safeStableSort(merged.lines, [&](const TextBlock::Line& a, const TextBlock::Line& b) {
        if (std::abs(topOf(a) - topOf(b)) < kSameRowPt)
            return a.rect.x() < b.rect.x();
        return topOf(a) < topOf(b);
    });
    if (texts.isEmpty()) {
        for (const TextBlock::Line& line : merged.lines) {
            if (!line.text.isEmpty())
                texts << line.text;
        }
    }
    merged.text = texts.join(u'\n');

    std::vector<TextBlock> blocks;
    std::vector<int> groups;
    int mergedIndex = -1;
    for (int i = 0; i < int(m_blocks.size()); ++i) {
        if (i == selected.first()) {
            mergedIndex = int(blocks.size());
            blocks.push_back(merged);
            groups.push_back(0);
        } else if (!m_selectedBlocks.contains(i)) {
            blocks.push_back(m_blocks[size_t(i)]);
            groups.push_back(m_blockGroupIds[size_t(i)]);
        }
    }
    m_blocks = std::move(blocks);
    m_blockGroupIds = std::move(groups);
    m_selectedBlocks = {mergedIndex};
    activateOcrBlock(mergedIndex);
    markOcrBlocksDirty();
    viewport()->update();
}

void PdfView::ungroupSelectedOcrBlocksToWords()
{
    if (m_selectedBlocks.isEmpty())
        return;
    pushUndoSnapshot(QStringLiteral("Расгруппировка блоков"), true);
    deactivateOcrBlock();
    std::vector<TextBlock> blocks;
    std::vector<int> groups;
    for (int i = 0; i < int(m_blocks.size()); ++i) {
        const TextBlock& source = m_blocks[size_t(i)];
        if (!m_selectedBlocks.contains(i)) {
            blocks.push_back(source);
            groups.push_back(m_blockGroupIds[size_t(i)]);
            continue;
        }
        const size_t first = blocks.size();
        for (const TextBlock::Line& line : source.lines)
            appendLineWords(blocks, source, line);
        if (blocks.size() == first) {
            const QStringList words = splitWordsPreserveSimple(source.text);
            if (words.size() > 1) {
                const double step = source.rect.width() / words.size();
                for (int w = 0; w < words.size(); ++w) {
                    const QRectF piece(source.rect.x() + w * step, source.rect.y(), step, source.rect.height());
                    TextBlock word = wordBlock(source, words[w],
                                               ungroupedWordBlockRectFor(piece, source.rect, source.fontSize));
                    word.lines.clear();
                    blocks.push_back(word);
                }
            } else {
                TextBlock kept = source;
                kept.richText.clear();
                kept.textEdited = false;
                blocks.push_back(kept);
            }
        }
        groups.resize(blocks.size(), 0);
    }
    m_blocks = std::move(blocks);
    m_blockGroupIds = std::move(groups);
    m_selectedBlocks.clear();
    markOcrBlocksDirty();
    viewport()->update();
}

void PdfView::reorderSelectedOcrBlocks(int mode)
{
    if (m_selectedBlocks.isEmpty() || m_blocks.empty())
        return;
    pushUndoSnapshot(QStringLiteral("Порядок блоков"), true);
    deactivateOcrBlock();
    const int count = int(m_blocks.size());
    const auto swapBlocks = [this](int a, int b) {
        std::swap(m_blocks[size_t(a)], m_blocks[size_t(b)]);
        std::swap(m_blockGroupIds[size_t(a)], m_blockGroupIds[size_t(b)]);
        const bool aSelected = m_selectedBlocks.contains(a);
        const bool bSelected = m_selectedBlocks.contains(b);
        m_selectedBlocks.remove(a);
        m_selectedBlocks.remove(b);
        if (aSelected)
            m_selectedBlocks.insert(b);
        if (bSelected)
            m_selectedBlocks.insert(a);
    };
    if (mode == 0) {
        for (int i = count - 2; i >= 0; --i)
            if (m_selectedBlocks.contains(i) && !m_selectedBlocks.contains(i + 1))
                swapBlocks(i, i + 1);
    } else if (mode == 1) {
        for (int i = 1; i < count; ++i)
            if (m_selectedBlocks.contains(i) && !m_selectedBlocks.contains(i - 1))
                swapBlocks(i, i - 1);
    } else if (mode == 2 || mode == 3) {
        std::vector<TextBlock> front, back;
        std::vector<int> frontGroups, backGroups;
        for (int i = 0; i < count; ++i) {
            const bool selected = m_selectedBlocks.contains(i);
            // To the front: the selected blocks come last (drawn on top).
            auto& blocks = selected == (mode == 2) ? back : front;
            auto& groups = selected == (mode == 2) ? backGroups : frontGroups;
            blocks.push_back(m_blocks[size_t(i)]);
            groups.push_back(m_blockGroupIds[size_t(i)]);
        }
        const int moved = int(m_selectedBlocks.size());
        const int firstMoved = mode == 2 ? count - moved : 0;
        front.insert(front.end(), back.begin(), back.end());
        frontGroups.insert(frontGroups.end(), backGroups.begin(), backGroups.end());
        m_blocks = std::move(front);
        m_blockGroupIds = std::move(frontGroups);
        m_selectedBlocks.clear();
        for (int i = firstMoved; i < firstMoved + moved; ++i)
            m_selectedBlocks.insert(i);
    }
    markOcrBlocksDirty();
    viewport()->update();
}

// Changed blocks of the model's page can only make room for another page's
// blocks when the owner listens to take them; otherwise they are kept and the
// insertion is refused, so no edit is lost silently.
bool PdfView::canAdoptBlockPage(int page)
{
    if (page == m_blockPage || !m_blocksDirty || m_blocks.empty()
        || isSignalConnected(QMetaMethod::fromSignal(&PdfView::unsavedBlocksReplaced)))
        return true;
    emit actionRefused(QStringLiteral("Сначала сохраните правки страницы %1: вставка на другую страницу отменена.")
                           .arg(m_blockPage + 1));
    return false;
}

void PdfView::adoptBlockPage(int page)
{
    if (page == m_blockPage)
        return;
    if (m_blocksDirty && !m_blocks.empty())
        emit unsavedBlocksReplaced(m_blockPage, ocrBlocksWithEdits()); // the owner writes them now
    deactivateOcrBlock();
    m_blocks.clear();
    m_blockGroupIds.clear();
    m_removedPlaces.clear();
    m_selectedBlocks.clear();
    m_blockPage = page;
    m_blocksDirty = false;
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
    if (rect.width() < kMinBlockSidePt || rect.height() < kMinBlockSidePt)
        return;
    TextBlock block;
    block.text = text;
    block.rect = rect;
    // No original place: the page under new text is not whited out.
    block.originalRect = QRectF();
    block.pageIndex = page;
    block.fontFamily = family.trimmed().isEmpty() ? QStringLiteral("Times New Roman") : family.trimmed();
    block.fontSize = std::max(pointSize, 1.0f);
    block.color = color;
    block.textEdited = true;
    TextBlock::Line line;
    line.text = text;
    line.rect = rect;
    line.fontFamily = block.fontFamily;
    line.fontSize = block.fontSize;
    line.color = color;
    block.lines.push_back(line);
    m_blocks.push_back(block);
    m_blockGroupIds.push_back(0);
    m_selectedBlocks = {int(m_blocks.size()) - 1};
    markOcrBlocksDirty();
    if (m_editMode)
        activateOcrBlock(int(m_blocks.size()) - 1);
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
    const QList<QRectF> targets = layoutImageRectsInside(pageTopRect.normalized(), usable);
    const int group = usable.size() > 1 ? m_nextGroupId++ : 0;
    QSet<int> added;
    for (int i = 0; i < usable.size(); ++i) {
        const QRectF rect = pageTopToPdfRect(page, targets[i]).normalized();
        if (rect.width() < kMinBlockSidePt || rect.height() < kMinBlockSidePt)
            continue;
        TextBlock block;
        block.text = QStringLiteral("[image]");
        block.isImage = true;
        block.image = usable[i].convertToFormat(QImage::Format_ARGB32_Premultiplied);
        block.rect = rect;
        block.pageIndex = page;
        block.fontSize = 10;
        block.color = Qt::black;
        m_blocks.push_back(block);
        m_blockGroupIds.push_back(group);
        added.insert(int(m_blocks.size()) - 1);
    }
    m_selectedBlocks = added;
    if (usable.size() == 1 && added.size() == 1 && m_editMode)
        activateOcrBlock(*added.begin());
    else
        deactivateOcrBlock();
    markOcrBlocksDirty();
    viewport()->update();
}

void PdfView::updateSelectedImageBlock(const QImage& image)
{
    if (image.isNull() || m_selectedBlocks.size() != 1)
        return;
    const int index = *m_selectedBlocks.begin();
    if (!validBlock(index) || !m_blocks[size_t(index)].isImage)
        return;
    pushUndoSnapshot(QStringLiteral("Редактирование изображения"), true);
    TextBlock& block = m_blocks[size_t(index)];
    if (!block.imageEdited)
        block.originalImage = block.image;
    block.image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    block.imageEdited = true;
    markOcrBlocksDirty();
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
