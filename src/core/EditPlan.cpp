#include "EditPlan.h"

#include "PageTextWriter.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pdfengine {

namespace {

constexpr double kInPlace = 0.25;  // points a line may drift and still stand where it stood

bool isRecognised(const TextBlock::Line& line)
{
    return hasArea(line.originalRect);
}

// The line still starts where it was recognised; its width may have changed.
bool standsAtOriginal(const TextBlock::Line& line)
{
    const QRectF& now = line.rect;
    const QRectF& then = line.originalRect;
    return isRecognised(line) && std::abs(now.x() - then.x()) <= kInPlace && std::abs(now.y() - then.y()) <= kInPlace &&
           std::abs(now.height() - then.height()) <= kInPlace;
}

bool unchangedSinceRecognised(const TextBlock::Line& line)
{
    return standsAtOriginal(line) && line.text.trimmed() == line.originalText.trimmed() && !line.restyled;
}

int recognisedCount(const std::vector<TextBlock::Line>& lines)
{
    return int(std::count_if(lines.begin(), lines.end(), isRecognised));
}

// A recognised block the user changed where it stands: every recognised line
// it had is still written, where it was, and nothing is turned.
bool redrawnLineByLine(const TextBlock& block, const std::vector<TextBlock::Line>& lines)
{
    if (block.removed || !hasArea(block.originalRect) || isTurnedByUser(block) ||
        std::abs(block.rotation) > kBlockRotationEpsilon)
        return false;
    const int had = recognisedCount(block.lines);
    if (had == 0 || recognisedCount(lines) != had)
        return false;
    return std::all_of(lines.begin(), lines.end(),
                       [](const TextBlock::Line& line) { return !isRecognised(line) || standsAtOriginal(line); });
}

// Where a line's text goes when the block is written whole: turned by its own
// turn about its centre, then with the block.
TurnedBox wholeBlockFrame(const TextBlock& block, const TextBlock::Line& line)
{
    return lineOnPage(line.rect, line.turn, block.rotation, block.rect.center());
}

}  // namespace

bool sameIntegerRect(const QRectF& a, const QRectF& b)
{
    auto rounded = [](const QRectF& r) {
        const double x = std::round(r.x());
        const double y = std::round(r.y());
        return std::array<double, 4>{x, y, std::round(r.width() + (r.x() - x) / 2),
                                     std::round(r.height() + (r.y() - y) / 2)};
    };
    return rounded(a) == rounded(b);
}

bool isSteppedTurn(double degrees)
{
    return std::abs(degrees) > kBlockRotationEpsilon / 10 && std::abs(degrees) <= kMaxSteppedTurn;
}

bool isEditedBlock(const TextBlock& block)
{
    return block.textEdited || !block.richText.trimmed().isEmpty();
}

bool hasRecognisedLines(const TextBlock& block)
{
    return std::any_of(block.lines.begin(), block.lines.end(), isRecognised);
}

std::vector<TurnedBox> recognisedLinePlaces(const TextBlock& block)
{
    std::vector<TurnedBox> places;
    for (const TextBlock::Line& line : block.lines)
        if (isRecognised(line))
            places.push_back(lineOnPage(line.originalRect, line.turn, block.originalRotation,
                                        block.originalRect.center()));
    return places;
}

BlockPlan planTextBlock(const TextBlock& block, bool forceWhiteout)
{
    BlockPlan plan;
    if (!block.removed)
        plan.lines = linesForWriting(block);
    plan.linePlans.resize(plan.lines.size());
    for (size_t k = 0; k < plan.lines.size(); ++k) {
        plan.linePlans[k].frame = wholeBlockFrame(block, plan.lines[k]);
        plan.linePlans[k].stepWords = !isTurnedByUser(block) && isSteppedTurn(plan.linePlans[k].frame.rotation);
    }
    const bool edited = isEditedBlock(block);
    const auto redrawAll = [&plan](bool redrawn) {
        for (LinePlan& line : plan.linePlans)
            line.redrawn = redrawn;
    };

    // Text the user added has no old place: the page under it stays.
    if (!hasArea(block.originalRect)) {
        if (forceWhiteout)
            plan.whiteOuts.push_back(TurnedBox(block.rect, block.rotation));
        redrawAll(forceWhiteout || edited);
        return plan;
    }
    const bool inPlace = sameIntegerRect(block.rect, block.originalRect) && !isTurnedByUser(block);
    if (inPlace && !edited && !forceWhiteout)
        return plan;  // written as it stands
    if (!forceWhiteout && edited && redrawnLineByLine(block, plan.lines)) {
        plan.linewise = true;
        for (size_t k = 0; k < plan.lines.size(); ++k) {
            const TextBlock::Line& line = plan.lines[k];
            LinePlan& linePlan = plan.linePlans[k];
            if (unchangedSinceRecognised(line))
                continue;
            linePlan.redrawn = true;
            if (!isRecognised(line))
                continue;
            // The old centre holds the frame, so a longer or shorter line
            // keeps its baseline.
            linePlan.frame = TurnedBox(line.rect, line.turn, line.originalRect.center());
            linePlan.oldPlace = TurnedBox(line.originalRect, line.turn);
            plan.whiteOuts.push_back(linePlan.oldPlace);
        }
        return plan;
    }
    // Moved, resized, turned, removed or laid out anew: its old place goes.
    plan.whiteOuts = recognisedLinePlaces(block);
    if (plan.whiteOuts.empty())
        plan.whiteOuts.push_back(TurnedBox(block.originalRect, block.originalRotation));
    redrawAll(true);
    return plan;
}

namespace {

constexpr double kClearOfOtherLines = 0.5;  // points a kept word's pixels stay short of another line
constexpr double kSameLine = 0.5;           // of the smaller box: two boxes over the same words

double sharedShare(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.intersected(b);
    const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
    return common.isEmpty() || smaller <= 0 ? 0.0 : common.width() * common.height() / smaller;
}

}  // namespace

std::vector<TurnedBox> pageLinePlaces(const std::vector<TextBlock>& blocks)
{
    std::vector<TurnedBox> places;
    for (const TextBlock& block : blocks) {
        if (block.isImage || !hasArea(block.originalRect))
            continue;
        if (hasRecognisedLines(block)) {
            const std::vector<TurnedBox> recognised = recognisedLinePlaces(block);
            places.insert(places.end(), recognised.begin(), recognised.end());
            continue;
        }
        const QPointF back = block.originalRect.topLeft() - block.rect.topLeft();
        bool any = false;
        for (const TextBlock::Line& line : block.lines)
            if (hasArea(line.rect) && !line.text.trimmed().isEmpty()) {
                places.push_back(lineOnPage(line.rect.translated(back), line.turn, block.originalRotation,
                                            block.originalRect.center()));
                any = true;
            }
        if (!any)
            places.push_back(TurnedBox(block.originalRect, block.originalRotation));
    }
    return places;
}

QRectF clearOfOtherLines(const TurnedBox& box, const QRectF& own, const std::vector<TurnedBox>& places)
{
    const QTransform toFrame = box.toFrame();
    QRectF clear = box.rect.normalized();
    // y grows upward: bottom() is the upper edge.
    double upper = clear.bottom(), lower = clear.top();
    for (const TurnedBox& place : places) {
        const QRectF other = toFrame.map(place.polygon()).boundingRect();
        if (sharedShare(other, own) > kSameLine || other.right() <= clear.left() || other.left() >= clear.right())
            continue;
        if (other.center().y() >= own.center().y())
            upper = std::min(upper, other.top() - kClearOfOtherLines);
        else
            lower = std::max(lower, other.bottom() + kClearOfOtherLines);
    }
    clear.setBottom(std::max(upper, std::min(own.bottom(), clear.bottom())));
    clear.setTop(std::min(lower, std::max(own.top(), clear.top())));
    return clear;
}

}  // namespace pdfengine
