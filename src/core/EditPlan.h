#pragma once
// What a write of a text block covers and draws again. A block moved, turned
// or added is covered and redrawn whole; a recognised block changed in place
// is redrawn line by line: only the lines whose text changed are covered,
// each in its own (turned) frame, and the others keep the page's own pixels.

#include "TextBlock.h"
#include "TurnedBox.h"

#include <vector>

namespace pdfengine {

struct LinePlan {
    bool redrawn = false;  // drawn visibly over its old place
    // Where the line's text goes: its box in its own frame and the turn that
    // puts it on the page (a recognised line keeps its old centre, so it
    // stands on its old baseline however its width changed).
    TurnedBox frame;
    // Where its old ink stands, null when none is known (a line laid out
    // anew, or one the user added).
    TurnedBox oldPlace;
    // The frame is a scan's slight turn, not the user's: words are written
    // upright, each where it falls on the turned baseline.
    bool stepWords = false;
};

// The largest turn of a scanned page whose lines are written word by word.
inline constexpr double kMaxSteppedTurn = 5.0;

// A turn the page itself has (a scan's skew, a line read turned), small
// enough to write its lines' words upright along the turned baseline.
bool isSteppedTurn(double degrees);

struct BlockPlan {
    std::vector<TurnedBox> whiteOuts;  // old places covered white
    std::vector<TextBlock::Line> lines;  // the lines written, in order
    std::vector<LinePlan> linePlans;     // one per line
    bool linewise = false;               // only changed lines are covered
};

// The user changed the block's text (plain or rich).
bool isEditedBlock(const TextBlock& block);

// Rectangles equal once rounded the way the page was laid out: x and y to the
// nearest point, width and height with half of the x (or y) rounding added.
bool sameIntegerRect(const QRectF& a, const QRectF& b);

// The plan of a text block: forceWhiteout redraws it whole.
BlockPlan planTextBlock(const TextBlock& block, bool forceWhiteout);

// Some line of the block was recognised on a scan (it knows where it was read).
bool hasRecognisedLines(const TextBlock& block);

// The old places of a block's lines as recognised on a scan, each in its own
// (turned) frame: its ink, not the white between them and the block's other
// lines; empty when its lines carry no such place.
std::vector<TurnedBox> recognisedLinePlaces(const TextBlock& block);

// A glyph a page draws, as a preview of a write needs it: the centre of its
// ink (page points, y up), the size it is set at, and whether it draws
// nothing (a searchable layer's).
struct GlyphMark {
    QPointF centre;
    double size = 0;
    bool invisible = false;
};

// Every line's old place on a page of blocks, whatever a write does with it:
// the recognised place of a recognised line, else the line's box where its
// block was made.
std::vector<TurnedBox> pageLinePlaces(const std::vector<TextBlock>& blocks);

// The part of a box (its rectangle, in its own frame) that reaches no other
// line's old place across it, but never less than own (the place it stands
// for, in the same frame): the ink there is that line's. A scan line's kept
// words take their pixels from no further.
QRectF clearOfOtherLines(const TurnedBox& box, const QRectF& own, const std::vector<TurnedBox>& places);

}  // namespace pdfengine
