// Where a native line's words part: blanks the page drew, and gaps it left
// by moving the pen.
#include "NativeTextLayout.h"

#include <algorithm>
#include <utility>

namespace pdfengine {

namespace {

// Two characters of one line with no blank between them stand a word apart.
bool standApart(const CharInfo& before, const CharInfo& after)
{
    // A searchable layer writes a word per text object, which pdfium may read
    // with no blank between where a stretched word's font makes the gap look
    // small.
    constexpr double kLayerGapOfHeight = 0.12;  // as between joined pieces of a line
    if (before.invisible && after.invisible && before.run != after.run) {
        const double low = std::max(std::min(before.box.height(), after.box.height()), 1.0);
        if (after.box.left() - before.box.right() > kLayerGapOfHeight * low)
            return true;
    }
    if (before.advanceBox.isNull() || after.advanceBox.isNull())
        return false;
    return isWordGap(after.advanceBox.left() - before.advanceBox.right(), std::max(before.size, after.size));
}

} // namespace

bool isWordGap(double gap, double size)
{
    constexpr double kWordGapOfSize = 0.1;  // as poppler and mupdf part words
    return size > 0 && gap > kWordGapOfSize * size;
}

CharInfo blankBetween(const CharInfo& before, const CharInfo& after)
{
    CharInfo blank = before;
    blank.text = QStringLiteral(" ");
    const double left = before.box.right();
    blank.box = QRectF(left, before.box.y(), std::max(after.box.left() - left, 0.0), before.box.height());
    blank.hasOrigin = false;
    // Its advance is the gap itself: it widens no blank.
    blank.advanceBox = before.advanceBox.isNull() || after.advanceBox.isNull()
                           ? QRectF()
                           : QRectF(before.advanceBox.right(), before.advanceBox.y(),
                                    std::max(after.advanceBox.left() - before.advanceBox.right(), 0.0),
                                    before.advanceBox.height());
    return blank;
}

namespace {

bool isBlank(const CharInfo& c)
{
    return c.text.trimmed().isEmpty();
}

// Blanks the page drew between two glyphs that stand closer than a word gap
// part no words: ghostscript kerns a pair of letters by a blank that word
// spacing squeezes to nothing ("(ev e) Tj" under -2.15 Tw), and other
// readers go by where the glyphs stand. A searchable layer keeps its blanks.
bool blanksWithoutRoom(const std::vector<CharInfo>& chars, size_t first, size_t end)
{
    if (first == 0 || end >= chars.size())
        return false;
    const CharInfo &before = chars[first - 1], &after = chars[end];
    if (isBlank(before) || before.invisible || after.invisible || before.advanceBox.isNull() ||
        after.advanceBox.isNull())
        return false;
    for (size_t i = first; i < end; ++i)
        if (!chars[i].hasOrigin || chars[i].invisible)
            return false;  // a blank put in where a line's pieces meet
    // Where pdfium knows no advance its box is the glyph's ink, which an
    // italic letter reaches left with: the pen starts at the origin.
    const double start = after.hasOrigin ? after.origin.x() : after.advanceBox.left();
    return !isWordGap(start - before.advanceBox.right(), std::max(before.size, after.size));
}

} // namespace

void addWordBreaks(std::vector<CharInfo>& chars)
{
    std::vector<CharInfo> spaced;
    spaced.reserve(chars.size());
    const CharInfo* previous = nullptr;  // the last one drawn, with no blank after it yet
    for (size_t i = 0; i < chars.size(); ++i) {
        const CharInfo& c = chars[i];
        if (isBlank(c)) {
            size_t end = i;
            while (end < chars.size() && isBlank(chars[end]))
                ++end;
            if (blanksWithoutRoom(chars, i, end)) {
                i = end - 1;
                continue;  // the glyph before still stands with no blank after it
            }
            previous = nullptr;
            spaced.push_back(c);
            continue;
        }
        if (previous && standApart(*previous, c))
            spaced.push_back(blankBetween(*previous, c));
        spaced.push_back(c);
        previous = &c;
    }
    chars = std::move(spaced);
}

} // namespace pdfengine
