// The page's edits: loading, the block operations (delete, group, ungroup to
// words, reorder, insertion of text and images, image replacement), the
// write-back into the document and the undo history of whole-page snapshots.
#include "PageEdits.h"

#include "BlockPainting.h"
#include "LineFonts.h"
#include "PdfDocument.h"
#include "StableSort.h"

#include <QImage>
#include <QTransform>
#include <QUndoCommand>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinBlockSidePt = 2.0;
constexpr double kSameRowPt = 3.0;

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
        only.placement.reset();  // the line's first glyph is not the word's
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

// Removed old places travel with the blocks handed out; they come back apart.
void splitRemovedPlaces(const std::vector<TextBlock>& in, std::vector<TextBlock>& blocks,
                        std::vector<TextBlock>& removed)
{
    blocks.clear();
    removed.clear();
    for (const TextBlock& block : in)
        (block.removed ? removed : blocks).push_back(block);
}

} // namespace

// One recorded step. Pushing it changes nothing (the operation follows it);
// undo and redo each take the state they leave, so typing not yet recorded
// comes back on the way back.
class PageEditStep : public QUndoCommand {
public:
    PageEditStep(PageEdits* edits, PageEdits::Snapshot before)
        : QUndoCommand(before.label), m_edits(edits), m_before(std::move(before))
    {
    }

    void undo() override
    {
        m_after = m_edits->current(QStringLiteral("Повторить"));
        m_edits->restore(m_before);
    }

    void redo() override
    {
        if (m_pushed) {
            m_pushed = false;
            return;
        }
        m_before = m_edits->current(QStringLiteral("Отменить"));
        m_edits->restore(m_after);
    }

    const PageEdits::Snapshot& before() const { return m_before; }

private:
    PageEdits* m_edits;
    PageEdits::Snapshot m_before;
    PageEdits::Snapshot m_after;
    bool m_pushed = true;
};

PageEdits::PageEdits(QObject* parent)
    : QObject(parent)
{
    m_history.setUndoLimit(kMaxUndoSteps);
}

PageEdits::~PageEdits() = default;

QRectF PageEdits::ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize)
{
    return ungroupedWordBlockRectFor(wordRect, lineRect, fontSize);
}

void PageEdits::show(int page, const std::vector<TextBlock>& blocks, const std::vector<int>& groupIds)
{
    clear();
    splitRemovedPlaces(blocks, m_blocks, m_removedPlaces);
    m_groupIds = groupIds;
    m_groupIds.resize(m_blocks.size(), 0);
    m_page = page;
    emit changed(m_page);
}

void PageEdits::load(const std::vector<TextBlock>& blocks, int page, bool edited)
{
    clear();
    splitRemovedPlaces(blocks, m_blocks, m_removedPlaces);
    m_groupIds.assign(m_blocks.size(), 0);
    m_page = page;
    m_dirty = edited;
    emit changed(m_page);
}

void PageEdits::clear()
{
    const int page = m_page;
    m_blocks.clear();
    m_groupIds.clear();
    m_removedPlaces.clear();
    m_nextGroupId = 1;
    m_page = -1;
    m_dirty = false;
    clearHistory();
    emit changed(page);
}

void PageEdits::startPage(int page)
{
    m_blocks.clear();
    m_groupIds.clear();
    m_removedPlaces.clear();
    m_page = page;
    m_dirty = false;
    // The old page's steps would bring back blocks already handed out.
    clearHistory();
    emit changed(page);
}

bool PageEdits::markDirty()
{
    emit changed(m_page);
    if (m_dirty)
        return false;
    m_dirty = true;
    return true;
}

void PageEdits::rememberRemovedPlace(const TextBlock& block)
{
    // A block the user added has no old place; the page under it stays.
    if (block.removed || !hasArea(block.originalRect))
        return;
    m_removedPlaces.push_back(removedPlaceOf(block));
}

void PageEdits::removeBlocks(const QSet<int>& indexes)
{
    if (indexes.isEmpty())
        return;
    std::vector<TextBlock> kept;
    std::vector<int> keptGroups;
    for (int i = 0; i < int(m_blocks.size()); ++i) {
        if (indexes.contains(i)) {
            rememberRemovedPlace(m_blocks[size_t(i)]);
            continue;
        }
        kept.push_back(m_blocks[size_t(i)]);
        keptGroups.push_back(i < int(m_groupIds.size()) ? m_groupIds[size_t(i)] : 0);
    }
    m_blocks = std::move(kept);
    m_groupIds = std::move(keptGroups);
    markDirty();
}

bool PageEdits::canGroup(const std::vector<TextBlock>& blocks, const QSet<int>& indexes)
{
    return indexes.size() >= 2 && std::none_of(indexes.begin(), indexes.end(), [&blocks](int i) {
               return i < 0 || i >= int(blocks.size()) || blocks[size_t(i)].isImage;
           });
}

namespace {

// A turned block's lines stand in its own frame, turned about its centre;
// its glyph boxes in its frame as made, turned about its old centre.
// Grouped blocks turned alike share the first one's frames, each line
// carried so that it still shows where it stood; false when they are not
// turned alike (upright ones need nothing).
bool carryIntoOneFrame(const std::vector<const TextBlock*>& blocks, std::vector<TextBlock::Line>& lines,
                       QRectF& rect)
{
    const TextBlock& first = *blocks.front();
    const bool alike = std::all_of(blocks.begin(), blocks.end(), [&](const TextBlock* b) {
        return std::abs(b->rotation - first.rotation) <= kBlockRotationEpsilon &&
               std::abs(b->originalRotation - first.originalRotation) <= kBlockRotationEpsilon;
    });
    if (!alike || std::abs(first.rotation) <= kBlockRotationEpsilon)
        return false;
    QTransform turn;
    turn.rotate(-first.rotation);
    QTransform turnMade;
    turnMade.rotate(-first.originalRotation);
    // Where a point of a frame turned about from lands in the one turned about to.
    const auto carry = [](const QTransform& t, const QPointF& from, const QPointF& to) {
        return t.inverted().map(from - to) - (from - to);
    };
    lines.clear();
    rect = QRectF();
    for (const TextBlock* block : blocks) {
        const QPointF shift = carry(turn, block->rect.center(), first.rect.center());
        const QPointF glyphShift = carry(turnMade, block->originalRect.center(), first.originalRect.center());
        for (TextBlock::Line line : block->lines) {
            line.rect.translate(shift);
            for (TextBlock::Line::Word& word : line.words)
                word.rect.translate(shift);
            for (QRectF& box : line.glyphBoxes)
                box.translate(glyphShift);
            lines.push_back(line);
        }
        rect |= block->rect.translated(shift);
    }
    // The group turns about its own centre: everything moves so that the
    // first block's lines still show where they stood.
    const QPointF recentre = turn.map(rect.center() - first.rect.center()) - (rect.center() - first.rect.center());
    rect.translate(recentre);
    for (TextBlock::Line& line : lines) {
        line.rect.translate(recentre);
        for (TextBlock::Line::Word& word : line.words)
            word.rect.translate(recentre);
    }
    return true;
}

} // namespace

int PageEdits::groupBlocks(const QSet<int>& indexes, double pageHeight)
{
    if (!canGroup(m_blocks, indexes))
        return -1;
    QList<int> selected(indexes.begin(), indexes.end());
    std::sort(selected.begin(), selected.end());
    TextBlock merged = m_blocks[size_t(selected.first())];
    merged.lines.clear();
    std::vector<QString> blockTexts;  // per selected block
    std::vector<int> owners;          // per line: its block among the selected
    for (int index : selected) {
        const TextBlock& block = m_blocks[size_t(index)];
        // The merged block keeps the first one's old place; the others' old
        // ink must go too, or their text would show twice.
        if (index != selected.first())
            rememberRemovedPlace(block);
        for (TextBlock::Line line : block.lines) {
            line.text = line.text.trimmed();
            merged.lines.push_back(line);
            owners.push_back(int(blockTexts.size()));
        }
        merged.rect |= block.rect;
        blockTexts.push_back(ocrBlockTextForClipboard(block));
    }
    std::vector<const TextBlock*> grouped;
    for (int index : selected)
        grouped.push_back(&m_blocks[size_t(index)]);
    std::vector<TextBlock::Line> carried;
    QRectF carriedRect;
    if (carryIntoOneFrame(grouped, carried, carriedRect)) {
        for (TextBlock::Line& line : carried)
            line.text = line.text.trimmed();
        merged.lines = std::move(carried);
        merged.rect = carriedRect;
    }
    const auto topOf = [pageHeight](const TextBlock::Line& line) {
        return pageHeight > 0 ? pageHeight - line.rect.y() - line.rect.height() : line.rect.y();
    };
    std::vector<std::pair<TextBlock::Line, int>> ordered;
    for (size_t i = 0; i < merged.lines.size(); ++i)
        ordered.emplace_back(merged.lines[i], owners[i]);
    vorn::safeStableSort(ordered, [&](const auto& x, const auto& y) {
        const TextBlock::Line& a = x.first;
        const TextBlock::Line& b = y.first;
        if (std::abs(topOf(a) - topOf(b)) < kSameRowPt)
            return a.rect.x() < b.rect.x();
        return topOf(a) < topOf(b);
    });
    // The blocks' texts follow in the order their lines now stand, so that
    // the text and the lines it is written into agree.
    merged.lines.clear();
    std::vector<int> textOrder;
    for (const auto& [line, owner] : ordered) {
        merged.lines.push_back(line);
        if (std::find(textOrder.begin(), textOrder.end(), owner) == textOrder.end())
            textOrder.push_back(owner);
    }
    for (int i = 0; i < int(blockTexts.size()); ++i)
        if (std::find(textOrder.begin(), textOrder.end(), i) == textOrder.end())
            textOrder.push_back(i);
    QStringList texts;
    for (int i : textOrder)
        if (!blockTexts[size_t(i)].isEmpty())
            texts << blockTexts[size_t(i)];
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
        } else if (!indexes.contains(i)) {
            blocks.push_back(m_blocks[size_t(i)]);
            groups.push_back(m_groupIds[size_t(i)]);
        }
    }
    m_blocks = std::move(blocks);
    m_groupIds = std::move(groups);
    markDirty();
    return mergedIndex;
}

void PageEdits::ungroupToWords(const QSet<int>& indexes)
{
    if (indexes.isEmpty())
        return;
    std::vector<TextBlock> blocks;
    std::vector<int> groups;
    for (int i = 0; i < int(m_blocks.size()); ++i) {
        const TextBlock& source = m_blocks[size_t(i)];
        if (!indexes.contains(i)) {
            blocks.push_back(source);
            groups.push_back(m_groupIds[size_t(i)]);
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
    m_groupIds = std::move(groups);
    markDirty();
}

QSet<int> PageEdits::reorderBlocks(const QSet<int>& indexes, int mode)
{
    if (indexes.isEmpty() || m_blocks.empty())
        return indexes;
    QSet<int> selection = indexes;
    const int count = int(m_blocks.size());
    const auto swapBlocks = [this, &selection](int a, int b) {
        std::swap(m_blocks[size_t(a)], m_blocks[size_t(b)]);
        std::swap(m_groupIds[size_t(a)], m_groupIds[size_t(b)]);
        const bool aSelected = selection.contains(a);
        const bool bSelected = selection.contains(b);
        selection.remove(a);
        selection.remove(b);
        if (aSelected)
            selection.insert(b);
        if (bSelected)
            selection.insert(a);
    };
    if (mode == 0) {
        for (int i = count - 2; i >= 0; --i)
            if (selection.contains(i) && !selection.contains(i + 1))
                swapBlocks(i, i + 1);
    } else if (mode == 1) {
        for (int i = 1; i < count; ++i)
            if (selection.contains(i) && !selection.contains(i - 1))
                swapBlocks(i, i - 1);
    } else if (mode == 2 || mode == 3) {
        std::vector<TextBlock> front, back;
        std::vector<int> frontGroups, backGroups;
        int moved = 0;
        for (int i = 0; i < count; ++i) {
            const bool isSelected = selection.contains(i);
            moved += isSelected ? 1 : 0;
            // To the front: the selected blocks come last (drawn on top).
            auto& blocks = isSelected == (mode == 2) ? back : front;
            auto& groups = isSelected == (mode == 2) ? backGroups : frontGroups;
            blocks.push_back(m_blocks[size_t(i)]);
            groups.push_back(m_groupIds[size_t(i)]);
        }
        const int firstMoved = mode == 2 ? count - moved : 0;
        front.insert(front.end(), back.begin(), back.end());
        frontGroups.insert(frontGroups.end(), backGroups.begin(), backGroups.end());
        m_blocks = std::move(front);
        m_groupIds = std::move(frontGroups);
        selection.clear();
        for (int i = firstMoved; i < firstMoved + moved; ++i)
            selection.insert(i);
    }
    markDirty();
    return selection;
}

int PageEdits::appendTextBlock(int page, const QRectF& rect, const QString& text, const QString& family,
                               float pointSize, const QColor& color)
{
    if (rect.width() < kMinBlockSidePt || rect.height() < kMinBlockSidePt || text.trimmed().isEmpty())
        return -1;
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
    // One line per line of the text, from the top of the box down, each as
    // high as its size takes: the text stands where it was put, at its size.
    const double pitch = kAddedLinePitchOfSize * block.fontSize;
    const QStringList texts = text.split(u'\n');
    for (qsizetype i = 0; i < texts.size(); ++i) {
        TextBlock::Line line;
        line.text = texts[i];
        line.rect = QRectF(rect.x(), rect.bottom() - (double(i) + 1) * pitch, rect.width(), pitch);
        line.fontFamily = block.fontFamily;
        line.fontSize = block.fontSize;
        line.color = color;
        block.lines.push_back(line);
    }
    m_blocks.push_back(block);
    m_groupIds.push_back(0);
    markDirty();
    return int(m_blocks.size()) - 1;
}

QSet<int> PageEdits::appendImageBlocks(int page, const QList<QRectF>& rects, const QList<QImage>& images)
{
    const int group = images.size() > 1 ? m_nextGroupId++ : 0;
    QSet<int> added;
    for (int i = 0; i < images.size() && i < rects.size(); ++i) {
        const QRectF rect = rects[i];
        if (rect.width() < kMinBlockSidePt || rect.height() < kMinBlockSidePt || images[i].isNull())
            continue;
        TextBlock block;
        block.text = QStringLiteral("[image]");
        block.isImage = true;
        block.image = images[i].convertToFormat(QImage::Format_ARGB32_Premultiplied);
        block.rect = rect;
        block.pageIndex = page;
        block.fontSize = 10;
        block.color = Qt::black;
        m_blocks.push_back(block);
        m_groupIds.push_back(group);
        added.insert(int(m_blocks.size()) - 1);
    }
    markDirty();
    return added;
}

bool PageEdits::replaceImage(int index, const QImage& image)
{
    if (image.isNull() || !validBlock(index) || !m_blocks[size_t(index)].isImage)
        return false;
    TextBlock& block = m_blocks[size_t(index)];
    if (!block.imageEdited)
        block.originalImage = block.image;
    block.image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    block.imageEdited = true;
    markDirty();
    return true;
}

std::vector<TextBlock> PageEdits::blocksWithEdits() const
{
    const Snapshot now = current(QString());
    std::vector<TextBlock> blocks = now.blocks;
    blocks.insert(blocks.begin(), now.removedPlaces.begin(), now.removedPlaces.end());
    return blocks;
}

bool PageEdits::commit(PdfDocument& document)
{
    if (m_page < 0 || m_page >= document.pageCount())
        return false;
    const std::vector<TextBlock> blocks = blocksWithEdits();
    // A page without blocks left loses its old invisible text.
    const bool written =
        blocks.empty() ? document.removeInvisibleTextLayer(m_page) : document.overlayOcrText(m_page, blocks, false);
    if (!written)
        return false;
    clear();
    return true;
}

// --- undo ---------------------------------------------------------------------------------

void PageEdits::setSnapshotSource(SnapshotSource source)
{
    m_snapshotSource = std::move(source);
}

PageEdits::Snapshot PageEdits::snapshot(const QString& label) const
{
    Snapshot snapshot;
    snapshot.blocks = m_blocks;
    snapshot.removedPlaces = m_removedPlaces;
    snapshot.groupIds = m_groupIds;
    snapshot.label = label;
    snapshot.page = m_page;
    snapshot.nextGroupId = m_nextGroupId;
    snapshot.dirty = m_dirty;
    return snapshot;
}

PageEdits::Snapshot PageEdits::current(const QString& label) const
{
    return m_snapshotSource ? m_snapshotSource(label) : snapshot(label);
}

void PageEdits::pushStep(Snapshot before)
{
    m_history.push(new PageEditStep(this, std::move(before)));
}

void PageEdits::restore(const Snapshot& snapshot)
{
    emit aboutToRestore();
    m_blocks = snapshot.blocks;
    m_removedPlaces = snapshot.removedPlaces;
    m_groupIds = snapshot.groupIds;
    if (m_groupIds.size() != m_blocks.size())
        m_groupIds.assign(m_blocks.size(), 0);
    m_page = snapshot.page;
    m_nextGroupId = std::max(snapshot.nextGroupId, 1);
    m_dirty = snapshot.dirty;
    emit restored(snapshot);
    emit changed(m_page);
}

std::vector<PageEdits::Snapshot> PageEdits::undoSnapshots() const
{
    std::vector<Snapshot> snapshots;
    for (int i = 0; i < m_history.index(); ++i) {
        if (const auto* step = dynamic_cast<const PageEditStep*>(m_history.command(i)))
            snapshots.push_back(step->before());
    }
    return snapshots;
}

void PageEdits::undo()
{
    m_history.undo();
}

void PageEdits::redo()
{
    m_history.redo();
}

void PageEdits::clearHistory()
{
    m_history.clear();
}
