#include "EditPlan.h"

#include "PageTextWriter.h"

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

}  // namespace pdfengine
