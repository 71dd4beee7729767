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
QTransform PageBlockWrite::oldFrameOf(const TextBlock& block)
{
    return clockwiseTurn(block.originalRect.center(), -block.originalRotation);
}

QRectF PageBlockWrite::oldLineBox(const TextBlock::Line& line)
{
    QRectF glyphs;
    for (const QRectF& box : line.glyphBoxes)
        glyphs = glyphs.isNull() ? box : glyphs.united(box);
    return QRectF(glyphs.topLeft(), QSizeF(glyphs.width(), std::max(glyphs.height(), line.rect.height())));
}

void PageBlockWrite::findLineGlyphs()
{
    m_lineGlyphs.assign(m_blocks.size(), {});
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        if (block.isImage || block.invisibleText || !hasArea(block.originalRect) || m_plans[i].whiteOuts.empty() ||
            hasRecognisedLines(block) || movesGlyphs(i) || block.lines.empty())
            continue;
        std::vector<LineGlyphs> lines;
        for (const TextBlock::Line& line : block.lines) {
            LineGlyphs found = line.invisibleText ? LineGlyphs()
                                                  : lineGlyphsOf(m_glyphs, line, oldFrameOf(block), oldLineBox(line));
            if (!found.known) {
                lines.clear();  // taken by its place, as a whole
                break;
            }
            lines.push_back(std::move(found));
        }
        m_lineGlyphs[i] = std::move(lines);
    }
}

std::optional<std::vector<PageGlyph>> PageBlockWrite::oldGlyphsOf(size_t index, size_t k,
                                                                  const QTransform& toFrame) const
{
    const TextBlock& block = m_blocks[index];
    if (!takesByGlyphs(index) || k >= m_plans[index].lines.size() || k >= block.lines.size() ||
        m_plans[index].lines[k].glyphText != block.lines[k].glyphText)
        return std::nullopt;
    return glyphsInFrame(m_glyphs, m_lineGlyphs[index][k].glyphs, toFrame);
}

bool PageBlockWrite::knowsGlyphs() const
{
    for (size_t i = 0; i < m_blocks.size(); ++i)
        if (takesByGlyphs(i))
            return true;
    return false;
}

std::vector<TurnedBox> PageBlockWrite::deletedPlaces() const
{
    std::vector<TurnedBox> places;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        if (!block.removed || block.isImage || !hasArea(block.originalRect) || takesByGlyphs(i))
            continue;
        const std::vector<TurnedBox> recognised = recognisedLinePlaces(block);
        if (recognised.empty())
            places.push_back(TurnedBox(block.originalRect, block.originalRotation));
        else
            places.insert(places.end(), recognised.begin(), recognised.end());
    }
    return places;
}

std::vector<TurnedBox> PageBlockWrite::nativePatches(size_t index, const TurnedBox& place) const
{
    // Glyphs taken away in the content leave nothing to cover: what stands
    // over or under them shows as it did.
    if (movesGlyphs(index) || takesByGlyphs(index))
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
