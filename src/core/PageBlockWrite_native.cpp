// The parts of a page's write that concern the page's own text: blocks only
// moved, whose glyphs move in the content as they stand, and the patches over
// the old places of lines written again.
#include "PageBlockWrite.h"

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

constexpr double kSameSize = 0.5;           // points a moved block's sides may drift
constexpr double kPlaceGrowth = 1.5;        // as the writer grows a white rectangle
constexpr double kPatchMargin = 0.2;        // points around a glyph's box
constexpr double kSameExtent = 0.05;        // points: neighbouring glyph boxes of one height join
constexpr double kJoinedGap = 0.5;          // points between glyph boxes that join

bool movableLine(const TextBlock::Line& line)
{
    return isNativeLine(line) && !line.restyled && !line.invisibleText;
}

}  // namespace

bool PageBlockWrite::movesGlyphs(size_t index) const
{
    const TextBlock& block = m_blocks[index];
    const BlockPlan& plan = m_plans[index];
    return !block.isImage && !block.removed && !block.invisibleText && hasArea(block.originalRect) &&
           !isEditedBlock(block) && !plan.whiteOuts.empty() && !plan.linewise && !block.lines.empty() &&
           std::abs(block.rotation - block.originalRotation) <= kBlockRotationEpsilon &&
           std::abs(block.rect.width() - block.originalRect.width()) < kSameSize &&
           std::abs(block.rect.height() - block.originalRect.height()) < kSameSize &&
           std::all_of(block.lines.begin(), block.lines.end(), movableLine);
}

std::vector<MovedBox> PageBlockWrite::movedBoxes() const
{
    std::vector<MovedBox> moved;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (!movesGlyphs(i))
            continue;
        const QPointF by = m_blocks[i].rect.center() - m_blocks[i].originalRect.center();
        for (const TurnedBox& place : m_plans[i].whiteOuts)
            moved.push_back({place, by});
    }
    return moved;
}

// One patch per run of glyph boxes that stand side by side at one height: a
// raised mark of the line below, under a letter without a descender, stays
// clear of it.
std::vector<TurnedBox> PageBlockWrite::nativePatches(size_t index, const TurnedBox& place) const
{
    if (movesGlyphs(index))
        return {};
    std::vector<QRectF> boxes;  // on the page, in the page's drawing order
    for (const PageGlyph& glyph : m_glyphs.all())
        if (glyph.visible && !glyph.text.trimmed().isEmpty() && hasArea(glyph.box) && place.contains(glyph.box.center()))
            boxes.push_back(glyph.box.adjusted(-kPatchMargin, -kPatchMargin, kPatchMargin, kPatchMargin));
    if (boxes.empty())
        return {place.grown(kPlaceGrowth)};
    std::vector<TurnedBox> patches;
    QRectF run = boxes.front();
    for (size_t i = 1; i < boxes.size(); ++i) {
        const QRectF& next = boxes[i];
        const bool joins = std::abs(next.top() - run.top()) <= kSameExtent &&
                           std::abs(next.bottom() - run.bottom()) <= kSameExtent &&
                           next.left() <= run.right() + kJoinedGap && next.right() >= run.left() - kJoinedGap;
        if (joins) {
            run = run.united(next);
            continue;
        }
        patches.push_back(TurnedBox(run, 0));
        run = next;
    }
    patches.push_back(TurnedBox(run, 0));
    return patches;
}

}  // namespace pdfengine
