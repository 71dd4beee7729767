// Where a native line's glyphs stood and how the page's lines are aligned:
// the steps of text extraction that need no pdfium.
#include "NativeTextLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace pdfengine {

namespace {

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Blanks widened beyond their own advance, as justification spreads a line:
// on average a little more room at each of its blanks, and none squeezed.
bool widenedBlanks(const std::vector<CharInfo>& chars, double size)
{
    constexpr double kMinMeanExtra = 0.01;  // of the size
    constexpr double kMaxSqueeze = 0.01;
    int blanks = 0;
    double extra = 0;
    const CharInfo* before = nullptr;
    double blankAdvance = 0;
    bool blankSeen = false;
    for (const CharInfo& c : chars) {
        if (c.advanceBox.isNull())
            return false;
        if (c.text.trimmed().isEmpty()) {
            blankAdvance += c.advanceBox.width();
            blankSeen = before != nullptr;
            continue;
        }
        if (!charHasVisibleInk(c))
            continue;
        if (blankSeen) {
            const double room = c.advanceBox.left() - before->advanceBox.right() - blankAdvance;
            if (room < -kMaxSqueeze * size)
                return false;
            extra += room;
            ++blanks;
        }
        before = &c;
        blankAdvance = 0;
        blankSeen = false;
    }
    return blanks > 0 && extra / blanks > kMinMeanExtra * size;
}

} // namespace

// Where the line's glyphs start and end on their baseline, relative to its box.
void placeLine(const std::vector<CharInfo>& chars, TextBlock::Line& line)
{
    std::vector<const CharInfo*> ink;
    for (const CharInfo& c : chars)
        if (charHasVisibleInk(c) && !c.advanceBox.isNull())
            ink.push_back(&c);
    if (ink.empty())
        return;
    std::vector<double> baselines;
    double right = ink.front()->advanceBox.right();
    for (const CharInfo* c : ink) {
        baselines.push_back(c->origin.y());
        right = std::max(right, c->advanceBox.right());
    }
    const double left = ink.front()->advanceBox.left();
    TextBlock::Line::Placement placement;
    placement.origin = QPointF(left - line.rect.x(), medianOf(baselines) - line.rect.y());
    placement.width = std::max(right - left, 0.0);
    placement.alignment = widenedBlanks(chars, line.fontSize) ? Qt::AlignJustify : Qt::AlignLeft;
    line.placement = placement;
}

void alignPageLines(std::vector<TextBlock::Line*>& lines)
{
    constexpr double kSameEdge = 1.0;           // points
    constexpr double kRightStartShare = 0.25;   // of the text width: well away from the left margin
    constexpr double kCentreTolerance = 1.5;    // points
    constexpr long kJustifiedNeighbours = 2;    // other lines ending where a justified one ends
    struct Edges {
        TextBlock::Line* line;
        double left;
        double right;
    };
    std::vector<Edges> edges;
    for (TextBlock::Line* line : lines)
        if (line->placement) {
            const double left = line->rect.x() + line->placement->origin.x();
            edges.push_back({line, left, left + line->placement->width});
        }
    if (edges.size() < 2)
        return;
    const auto sharingLeft = [&](const Edges& e) {
        return std::count_if(edges.begin(), edges.end(),
                             [&](const Edges& o) { return &o != &e && std::abs(o.left - e.left) <= kSameEdge; });
    };
    double right = edges.front().right;
    double left = edges.front().left;
    double sharedLeft = std::numeric_limits<double>::infinity();
    for (const Edges& e : edges) {
        right = std::max(right, e.right);
        left = std::min(left, e.left);
        if (sharingLeft(e) > 0)
            sharedLeft = std::min(sharedLeft, e.left);
    }
    if (std::isfinite(sharedLeft))
        left = sharedLeft;
    const double width = right - left;
    if (width <= 2 * kSameEdge)
        return;
    const auto sharingRight = [&](const Edges& e) {
        return std::count_if(edges.begin(), edges.end(),
                             [&](const Edges& o) { return &o != &e && std::abs(o.right - e.right) <= kSameEdge; });
    };
    for (const Edges& e : edges) {
        TextBlock::Line::Placement& placement = *e.line->placement;
        if (placement.alignment == Qt::AlignJustify)
            continue;
        const bool startsNearLeft = e.left <= left + kRightStartShare * width;
        // Words spread from near the left margin to a right edge that more
        // lines share: justified, though its gaps are no blanks of the font
        // (TeX sets them as moves).
        if (startsNearLeft && sharingRight(e) >= kJustifiedNeighbours && e.line->text.trimmed().contains(u' ')) {
            placement.alignment = Qt::AlignJustify;
            continue;
        }
        // A column's left edge is shared: its lines start there whatever ends them.
        if (sharingLeft(e) >= 2)
            continue;
        if (e.right >= right - kSameEdge && !startsNearLeft)
            placement.alignment = Qt::AlignRight;
        else if (std::abs((e.left + e.right) / 2 - (left + right) / 2) <= std::max(kCentreTolerance, 0.01 * width) &&
                 e.left > left + 2 * kSameEdge && e.right < right - 2 * kSameEdge)
            placement.alignment = Qt::AlignHCenter;
    }
}

} // namespace pdfengine
