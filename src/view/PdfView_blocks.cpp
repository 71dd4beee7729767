// The block model of one page: loading with font-size normalisation, edit
// mode and tool, screen rectangles, the hit test, selection, copy and the
// block context menu.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "EditedTextPreview.h"
#include "EditPlan.h"
#include "LineFonts.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QMenu>
#include <QRubberBand>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr double kRotationEpsilon = 0.1;
constexpr int kMinBlockScreenWidth = 30;
constexpr int kMinBlockScreenHeight = 16;
constexpr double kTextOverhangPx = 2.0;
constexpr double kClusterFactor = 1.45;
constexpr double kClusterStep = 3.0;

struct SizeRecord {
    size_t block;
    size_t line;
    float size;
};

QString styleKey(const TextBlock::Line& line, const TextBlock& block)
{
    QString family = line.fontFamily.trimmed();
    if (family.isEmpty())
        family = block.fontFamily.trimmed();
    QString mapped = family.isEmpty() ? QString() : mapPdfFont(family).toLower();
    if (mapped.isEmpty())
        mapped = QStringLiteral("times new roman");
    return QStringLiteral("%1|%2|%3")
        .arg(mapped)
        .arg(line.bold || block.bold ? 1 : 0)
        .arg(effectiveLineItalic(line, block) ? 1 : 0);
}

bool takesPartInSizeSharing(const TextBlock::Line& line, const TextBlock& block)
{
    if (line.text.trimmed().isEmpty() || line.fontSize <= 1.0f)
        return false;
    // Native rich lines keep the sizes the PDF gave their runs.
    return line.spans.empty() || line.invisibleText || block.invisibleText;
}

// Lines of one style whose sizes lie close together share the upper median.
void shareClusterSizes(std::vector<TextBlock>& blocks, std::vector<SizeRecord> records)
{
    std::sort(records.begin(), records.end(), [](const SizeRecord& a, const SizeRecord& b) { return a.size < b.size; });
    size_t start = 0;
    for (size_t i = 1; i <= records.size(); ++i) {
        const bool split = i == records.size()
                           || (records[i].size > kClusterFactor * records[i - 1].size
                               && records[i].size - records[i - 1].size > kClusterStep);
        if (!split)
            continue;
        const size_t count = i - start;
        if (count >= 2) {
            const float median = records[start + count / 2].size;
            for (size_t k = start; k < i; ++k)
                blocks[records[k].block].lines[records[k].line].fontSize = median;
        }
        start = i;
    }
}

void deriveBlockSize(TextBlock& block)
{
    std::vector<double> sizes;
    for (const TextBlock::Line& line : block.lines) {
        if (line.fontSize > 1.0f)
            sizes.push_back(lineBoxFontSize(line));
    }
    if (sizes.empty())
        return;
    std::sort(sizes.begin(), sizes.end());
    block.fontSize = float(sizes[sizes.size() / 2]);
}

} // namespace

void PdfView::normalizeEditableBlockFontSizes(std::vector<TextBlock>& blocks)
{
    std::vector<QString> keyOrder;
    std::map<QString, std::vector<SizeRecord>> byKey;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const TextBlock& block = blocks[b];
        if (block.isImage || block.lines.empty())
            continue;
        for (size_t l = 0; l < block.lines.size(); ++l) {
            const TextBlock::Line& line = block.lines[l];
            if (!takesPartInSizeSharing(line, block))
                continue;
            const QString key = styleKey(line, block);
            auto& records = byKey[key];
            if (records.empty())
                keyOrder.push_back(key);
            records.push_back({b, l, float(lineBoxFontSize(line))});
        }
    }
    for (const QString& key : keyOrder) {
        if (byKey[key].size() > 1)
            shareClusterSizes(blocks, byKey[key]);
    }
    for (TextBlock& block : blocks) {
        if (!block.isImage && !block.lines.empty())
            deriveBlockSize(block);
    }
}

// Page areas whose old ink the preview hides: changed blocks' old places and
// the removed ones.
std::vector<TurnedBox> PdfView::oldPlacesToErase() const
{
    // A line the page sets turned covers its box turned about the centre; the
    // lines of a turned scan cover each its own turned box.
    const auto oldAreas = [](const TextBlock& block, std::vector<TurnedBox>& places) {
        const std::vector<TurnedBox> lines = pdfengine::recognisedLinePlaces(block);
        if (lines.empty())
            places.push_back(TurnedBox(block.originalRect, block.originalRotation));
        else
            places.insert(places.end(), lines.begin(), lines.end());
    };
    std::vector<TurnedBox> places;
    for (const TextBlock& place : m_edits->removedPlaces())
        oldAreas(place, places);
    for (int i = 0; i < int(m_edits->blocks().size()); ++i) {
        if (!erasesOldInk(i))
            continue;
        // Changed where it stands, a recognised block loses only its changed
        // lines (the open one: as its editor has it).
        TextBlock block = m_edits->blocks()[size_t(i)];
        if (i == m_activeBlock && m_blockFrame) {
            block.text = m_blockFrame->editor()->toPlainText();
            block.textEdited = true;
        }
        const pdfengine::BlockPlan plan = pdfengine::hasRecognisedLines(block) ? pdfengine::planTextBlock(block, false)
                                                                                : pdfengine::BlockPlan();
        if (plan.linewise)
            places.insert(places.end(), plan.whiteOuts.begin(), plan.whiteOuts.end());
        else
            oldAreas(block, places);
    }
    return places;
}

void PdfView::showBlocks(int page, const std::vector<TextBlock>& blocks, const std::vector<int>& groupIds,
                         const QSet<int>& selected)
{
    clearOcrBlocks();
    m_edits->show(page, blocks, groupIds);
    for (int index : selected) {
        if (validBlock(index))
            m_selectedBlocks.insert(index);
    }
    viewport()->update();
}

void PdfView::setOcrBlocks(const std::vector<TextBlock>& blocks, int page, bool edited)
{
    clearOcrBlocks();
    m_edits->load(blocks, page, edited);
    normalizeEditableBlockFontSizes(m_edits->blocks());
    m_selectedBlocks.clear();
    clearUndoHistory();
    if (edited)
        emit ocrBlocksEdited();
    viewport()->update();
}

void PdfView::clearOcrBlocks()
{
    deactivateOcrBlock();
    m_edits->clear();
    m_selectedBlocks.clear();
    m_activeBlock = -1;
    m_hoveredBlock = -1;
    clearUndoHistory();
    viewport()->update();
}

void PdfView::markOcrBlocksDirty()
{
    if (m_edits->markDirty())
        emit ocrBlocksEdited();
}

void PdfView::setEditMode(bool on)
{
    if (on == m_editMode)
        return;
    m_editMode = on;
    if (!on)
        hideInlineEditor();
    m_selectedText.clear();
    m_selectionHighlightPage = -1;
    m_selectionHighlights.clear();
    m_rubberBand->hide();
    if (!on) {
        deactivateOcrBlock();
        m_selectedBlocks.clear();
        m_editTool = Select;
        viewport()->unsetCursor();
    }
    viewport()->update();
}

void PdfView::setEditTool(EditTool tool)
{
    hideInlineEditor();
    if (tool != PlaceImage)
        clearImagePlacementPreview();
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

// --- geometry ---------------------------------------------------------------------

QRectF PdfView::blockPageTopRect(const TextBlock& block) const
{
    return pdfToPageTopRect(m_edits->page(), block.rect);
}

// Where the drawn text of an edited block reaches beyond its box, in page-top
// points (so that it follows the page's rotation); null when it does not.
QRectF PdfView::textOutgrowthPageTopRect(int index, const QRectF& box) const
{
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    const QStringList display = displayLinesForEditor(block);
    const int count = std::max(int(block.lines.size()), int(display.size()));
    const double zoom = std::max(m_zoom, 0.001);
    const double blockTop = block.rect.y() + block.rect.height();
    QRectF ink;
    for (int k = 0; k < count; ++k) {
        const TextBlock::Line vline = visualLineForIndex(block, k);
        const QString text = k < display.size() ? display[k] : vline.text;
        const QRectF tight = fittedLine(vline, block, m_zoom, text, false).ink;
        if (tight.width() <= 0 || tight.height() <= 0)
            continue;
        const QPointF corner(box.x() + (vline.rect.x() - block.rect.x()),
                             box.y() + (blockTop - (vline.rect.y() + vline.rect.height())));
        ink |= QRectF(corner, tight.size() / zoom);
    }
    if (ink.isNull())
        return QRectF();
    const double grow = kTextOverhangPx / zoom;
    const QRectF reach = ink.adjusted(-grow, -grow, grow, grow) | box;
    // The box only grows to the right and downwards, never left or up.
    return QRectF(box.topLeft(), QPointF(std::max(box.right(), reach.right()), std::max(box.bottom(), reach.bottom())));
}

QRect PdfView::ocrBlockScreenRect(int index) const
{
    return blockScreenRect(index, true);
}

// The box a block is outlined in: its own, grown to its text, without the
// minimum that makes small boxes easy to point at (grown, a small line's box
// would run through the line under it).
QRect PdfView::blockOutlineRect(int index) const
{
    return blockScreenRect(index, false);
}

QRect PdfView::blockScreenRect(int index, bool withMinimum) const
{
    if (!hasPages() || !validBlock(index) || m_edits->page() < 0 || !m_layout.hasPage(m_edits->page()))
        return QRect();
    const TextBlock& block = m_edits->blocks()[size_t(index)];
    QRectF r = pdfRectToScreenRect(m_edits->page(), block.rect);
    const bool changed = blockTextEdited(block) || blockMoved(block) || block.textEdited
                         || !block.richText.trimmed().isEmpty();
    // A turned block is turned about its box's centre: its box never grows here.
    const bool asBox = block.isImage || block.invisibleText || block.lines.empty() || !changed || r.width() <= 0
                       || r.height() <= 0 || !previewDrawsLines(block)
                       || std::abs(block.rotation) >= kRotationEpsilon;
    if (!asBox) {
        const QRectF grown = textOutgrowthPageTopRect(index, blockPageTopRect(block));
        if (!grown.isNull())
            r = pageTopToViewport(m_edits->page()).mapRect(grown);
    }
    // The minimum holds along the block's own lines and grows the box the way
    // its lines run (right and down on the page), so on a turned view a thin
    // line does not reach over the line before it.
    // A block turned on its own keeps its exact box: it is turned about the
    // box's centre, which the minimum would move.
    const double zoom = std::max(m_zoom, 0.001);
    QRectF own = viewportToPageTop(m_edits->page()).mapRect(r);
    if (withMinimum && std::abs(block.rotation) < kRotationEpsilon) {
        own.setWidth(std::max(own.width(), kMinBlockScreenWidth / zoom));
        own.setHeight(std::max(own.height(), kMinBlockScreenHeight / zoom));
    }
    r = pageTopToViewport(m_edits->page()).mapRect(own);
    return QRect(qRound(r.x()), qRound(r.y()), std::max(int(qRound(r.width())), 1),
                 std::max(int(qRound(r.height())), 1));
}

QRectF PdfView::ocrGroupScreenRect(int groupId) const
{
    QRectF united;
    for (int i = 0; i < int(m_edits->groupIds().size()); ++i) {
        if (m_edits->groupIds()[size_t(i)] == groupId)
            united = united.united(QRectF(ocrBlockScreenRect(i)));
    }
    return united;
}

// A viewport point as a PDF point of the block page, through zoom and turns.
QPointF PdfView::blockPagePdfPoint(const QPointF& viewportPoint) const
{
    const QPointF top = viewportToPageTop(m_edits->page()).map(viewportPoint);
    return QPointF(top.x(), pagePointSize(m_edits->page()).height() - top.y());
}

int PdfView::hoveredOcrBlock(const QPointF& viewportPoint) const
{
    return hoveredOcrBlockExcept(viewportPoint, -1);
}

int PdfView::hoveredOcrBlockExcept(const QPointF& viewportPoint, int skipped) const
{
    if (m_edits->blocks().empty() || m_edits->page() < 0 || pageAtPoint(viewportPoint.toPoint()) != m_edits->page())
        return -1;
    constexpr double kHitMargin = 3.0;
    const double zoom = std::max(m_zoom, 0.001);
    const QPointF pdfPoint = blockPagePdfPoint(viewportPoint);
    for (const bool images : {true, false}) {
        // Close lines' boxes (grown to the minimum, with the margin) overlap:
        // a block whose own box holds the point wins over one that only
        // reaches it, and of the boxes holding it (a turned line reaches over
        // its neighbour) the one whose middle the point is nearest.
        int reached = -1;
        int owner = -1;
        double ownerDistance = 0;
        for (int i = int(m_edits->blocks().size()) - 1; i >= 0; --i) {
            const TextBlock& block = m_edits->blocks()[size_t(i)];
            if (block.isImage != images || i == skipped)
                continue;
            // A skewed scan's lines are each turned: their upright boxes
            // overlap the neighbour lines at the far end.
            if (!images && hasTurnedLines(block)) {
                const LineHit hit = lineOfBlockAt(block, pdfPoint, kHitMargin / zoom);
                if (hit.line >= 0) {
                    if (owner < 0 || hit.distance * zoom < ownerDistance) {
                        owner = i;
                        ownerDistance = hit.distance * zoom;
                    }
                    continue;
                }
            }
            const QRect r = ocrBlockScreenRect(i);
            if (r.width() < 0 || r.height() < 0)
                continue;
            const QRectF area = QRectF(r).adjusted(-kHitMargin, -kHitMargin, kHitMargin, kHitMargin);
            QPointF p = viewportPoint;
            if (std::abs(block.rotation) >= kRotationEpsilon)
                p = rotatePoint(p, QRectF(r).center(), -block.rotation);
            if (!area.contains(p))
                continue;
            if (images)
                return i;
            // A turned block holds the point in its own turned box (which the
            // minimum never grows).
            const QRectF own = std::abs(block.rotation) < kRotationEpsilon
                                   ? pdfRectToScreenRect(m_edits->page(), block.rect)
                                   : QRectF(r);
            if (own.contains(p)) {
                const double distance = std::abs(p.y() - own.center().y());
                if (owner < 0 || distance < ownerDistance) {
                    owner = i;
                    ownerDistance = distance;
                }
            } else if (reached < 0) {
                reached = i;
            }
        }
        if (owner >= 0)
            return owner;
        if (reached >= 0)
            return reached;
    }
    return -1;
}

// --- selection ---------------------------------------------------------------------

void PdfView::selectOcrBlock(int index, bool additive)
{
    if (!validBlock(index))
        return;
    if (!additive)
        m_selectedBlocks.clear();
    const int group = index < int(m_edits->groupIds().size()) ? m_edits->groupIds()[size_t(index)] : 0;
    if (group > 0) {
        for (int i = 0; i < int(m_edits->groupIds().size()); ++i) {
            if (m_edits->groupIds()[size_t(i)] == group)
                m_selectedBlocks.insert(i);
        }
    } else {
        m_selectedBlocks.insert(index);
    }
    viewport()->update();
}

void PdfView::selectOcrBlocksInRect(const QRect& viewportRect)
{
    m_selectedBlocks.clear();
    if (m_edits->page() < 0 || m_edits->blocks().empty())
        return;
    for (int i = 0; i < int(m_edits->blocks().size()); ++i) {
        if (viewportRect.contains(ocrBlockScreenRect(i)))
            selectOcrBlock(i, true);
    }
    if (m_selectedBlocks.size() != 1)
        deactivateOcrBlock();
    viewport()->update();
}

void PdfView::clearOcrBlockSelection()
{
    if (m_selectedBlocks.isEmpty())
        return;
    m_selectedBlocks.clear();
    viewport()->update();
}

QString ocrBlockTextForClipboard(const TextBlock& block)
{
    if (block.isImage)
        return QString();
    const QString text = block.text.trimmed();
    if (!text.isEmpty())
        return text;
    QStringList lines;
    for (const TextBlock::Line& line : block.lines) {
        if (!line.text.trimmed().isEmpty())
            lines << line.text.trimmed();
    }
    return lines.join(u'\n');
}

void PdfView::copySelectedOcrBlocksToClipboard()
{
    if (m_selectedBlocks.isEmpty())
        return;
    QList<int> indexes(m_selectedBlocks.begin(), m_selectedBlocks.end());
    std::sort(indexes.begin(), indexes.end());
    QStringList texts;
    QImage image;
    for (int index : indexes) {
        if (!validBlock(index))
            continue;
        const TextBlock& block = m_edits->blocks()[size_t(index)];
        if (block.isImage && image.isNull())
            image = block.image;
        const QString text = ocrBlockTextForClipboard(block);
        if (!text.isEmpty())
            texts << text;
    }
    if (!texts.isEmpty()) {
        const QString text = texts.join(u'\n');
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
        emit textSelected(text);
        return;
    }
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image, QClipboard::Clipboard);
}

// --- context menu --------------------------------------------------------------------

void PdfView::showOcrBlockContextMenu(const QPoint& viewportPos, const QPoint& globalPos)
{
    if (!m_editMode || m_edits->blocks().empty()) {
        showDocumentContextMenu(viewportPos, globalPos);
        return;
    }
    const int hovered = hoveredOcrBlock(viewportPos);
    if (hovered < 0 && (lastSelectionContainsViewportPoint(viewportPos) || m_selectedBlocks.isEmpty())) {
        showDocumentContextMenu(viewportPos, globalPos);
        return;
    }
    if (hovered >= 0 && !m_selectedBlocks.contains(hovered))
        selectOcrBlock(hovered, false);

    const int count = int(m_selectedBlocks.size());
    const TextBlock* single = count == 1 && validBlock(*m_selectedBlocks.begin())
                                  ? &m_edits->blocks()[size_t(*m_selectedBlocks.begin())]
                                  : nullptr;
    const bool anyImage = std::any_of(m_selectedBlocks.begin(), m_selectedBlocks.end(),
                                      [this](int i) { return validBlock(i) && m_edits->blocks()[size_t(i)].isImage; });

    QMenu menu(this);
    menu.setObjectName(QStringLiteral("blockContextMenu"));
    // Entries are told apart by their data, never by their (translated) text.
    const auto add = [](QMenu& into, const char* text, BlockMenuEntry entry) {
        QAction* action = into.addAction(QString::fromUtf8(text));
        action->setData(int(entry));
        return action;
    };
    add(menu, "Редактировать", BlockMenuEntry::EditImage)->setEnabled(single && single->isImage && !single->image.isNull());
    add(menu, "Распознать текст", BlockMenuEntry::Recognise)->setEnabled(single && single->isImage);
    menu.addSeparator();
    add(menu, "Вырезать", BlockMenuEntry::Cut);
    add(menu, "Копировать", BlockMenuEntry::Copy);
    add(menu, "Удалить", BlockMenuEntry::Delete);
    menu.addSeparator();
    QMenu* order = menu.addMenu(QStringLiteral("Порядок"));
    add(*order, "Вперёд", BlockMenuEntry::Forward);
    add(*order, "Назад", BlockMenuEntry::Backward);
    add(*order, "На передний план", BlockMenuEntry::ToFront);
    add(*order, "На задний план", BlockMenuEntry::ToBack);
    menu.addSeparator();
    add(menu, "Группировать", BlockMenuEntry::Group)->setEnabled(count >= 2 && !anyImage);
    add(menu, "Расгруппировать по словам", BlockMenuEntry::Ungroup)->setEnabled(count >= 1);
    QAction* chosen = menu.exec(globalPos);
    if (chosen && chosen->isEnabled() && chosen->data().isValid())
        runBlockMenuAction(BlockMenuEntry(chosen->data().toInt()));
}

void PdfView::requestOcrOfSelectedImageBlock()
{
    if (!hasPages() || m_edits->page() < 0 || m_selectedBlocks.size() != 1)
        return;
    const int index = *m_selectedBlocks.begin();
    if (!validBlock(index))
        return;
    const QRectF rect = blockPageTopRect(m_edits->blocks()[size_t(index)]).normalized();
    m_lastRegionPage = m_edits->page();
    m_lastRegionRect = rect;
    m_regionSelectionShown = true;
    viewport()->update();
    emit selectionRectReady(m_edits->page(), rect);
    emit ocrRegionRequested(m_edits->page(), rect);
}

void PdfView::runBlockMenuAction(BlockMenuEntry entry)
{
    switch (entry) {
    case BlockMenuEntry::EditImage:
        if (m_selectedBlocks.size() == 1 && validBlock(*m_selectedBlocks.begin()))
            emit imageBlockEditRequested(m_edits->blocks()[size_t(*m_selectedBlocks.begin())].image.copy());
        break;
    case BlockMenuEntry::Recognise:
        requestOcrOfSelectedImageBlock();
        break;
    case BlockMenuEntry::Cut:
        copySelectedOcrBlocksToClipboard();
        deleteSelectedOcrBlocks();
        break;
    case BlockMenuEntry::Copy:
        copySelectedOcrBlocksToClipboard();
        break;
    case BlockMenuEntry::Delete:
        deleteSelectedOcrBlocks();
        break;
    case BlockMenuEntry::Forward:
    case BlockMenuEntry::Backward:
    case BlockMenuEntry::ToFront:
    case BlockMenuEntry::ToBack:
        reorderSelectedOcrBlocks(int(entry) - int(BlockMenuEntry::Forward));
        break;
    case BlockMenuEntry::Group:
        groupSelectedOcrBlocks();
        break;
    case BlockMenuEntry::Ungroup:
        ungroupSelectedOcrBlocksToWords();
        break;
    }
}
