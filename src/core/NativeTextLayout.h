#pragma once
// How native characters become lines: the steps of text extraction that need
// no pdfium, shared with the tests.

#include "TextBlock.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <vector>

namespace pdfengine {

// One character as read from pdfium; box in displayed-page points.
struct CharInfo {
    QString text;
    QRectF box;
    QString fontName;
    QColor fill = Qt::black;  // invalid when pdfium reports a component above 255
    double size = 10;
    int weight = 400;
    bool bold = false;
    bool italic = false;
    bool invisible = false;
    double rotation = 0;  // reading direction, degrees clockwise as displayed
    // Where the glyph's advance starts on its baseline (the frame of box);
    // known when hasOrigin.
    QPointF origin;
    bool hasOrigin = false;
    // The box from origin to where the advance ends; null when pdfium gives
    // none.
    QRectF advanceBox;
    // Which text object of the page drew it, counted in pdfium's order.
    int run = 0;
    // The font gives no Unicode for the code and its glyph names say nothing:
    // pdfium's text is the code read as Latin-1.
    bool unmapped = false;
};

bool charHasVisibleInk(const CharInfo& c);
// The text of one pdfium character code: no control characters but "\n";
// pdfium's end-of-line hyphen marker is a hyphen, its "\r" of a generated line
// end is dropped, and in a font without a name (TeX's bitmap fonts) the
// ligature slots 11..15 are the letters they stand for and any other
// control code a glyph of unknown letter (U+FFFD), never a line break.
QString textOfPdfiumCode(char32_t code, bool namelessFont);
// Subset tags ("ABCDEF+") go, hyphens become blanks; no name is "Times New Roman".
QString cleanFontName(const QString& raw);
// The character whose style stands for chars[index]: itself when it has ink,
// else the next inked one, else the previous inked one.
CharInfo styleReferenceForChar(const std::vector<CharInfo>& chars, size_t index);
// Cuts one pdfium line where the text jumps back over a word gap on the same
// baseline or leaves a column gap.
std::vector<std::vector<CharInfo>> splitNativePdfLineChars(const std::vector<CharInfo>& chars);
// A line's characters with each run drawn later back into the room it
// stands in: text that jumps back along the baseline into a gap no glyph
// before it fills (words typed where others were taken out) reads in its
// place, not after the line's end.
std::vector<CharInfo> runsInTheirRoom(const std::vector<CharInfo>& chars);
// Characters pdfium handed out as one line, boxes in the frame of their
// reading direction.
struct LineFragment {
    std::vector<CharInfo> chars;
    double rotation = 0;
};
// The same for fragments pdfium hands out apart: one standing in room of
// another's line joins it there.
void setFragmentsInTheirRoom(std::vector<LineFragment>& fragments);
// Joins fragments that carry one another on along the same baseline: on a
// turned page pdfium's order can break a line where a raised letter or another
// font starts ("Система L" + "ATEX ..."). Where the next fragment starts a
// word gap away, measured along the line, a blank goes between them.
void joinLineFragments(std::vector<LineFragment>& fragments);
// A line written word by word, each word upright but standing a little lower
// or higher along a turned baseline (a scan's searchable layer, or its line
// written again): the turn of that baseline, degrees clockwise as displayed;
// 0 for a line on one baseline or when its words do not lie on one straight
// line.
double steppedLineTurn(const std::vector<CharInfo>& chars);
// The characters measured in a frame turned further by degrees: their boxes
// keep their size about their turned centres.
void turnCharsInto(std::vector<CharInfo>& chars, double degrees);
// Maps displayed-page points into the frame of text read at rotation
// (degrees clockwise as displayed), where it runs left to right.
QTransform readingFrameOf(double rotation);
// A thin path a page draws (a rule, an underline, a stroke of a hatching):
// its box in displayed-page points and the colour it paints in.
struct ThinPath {
    QRectF box;
    QColor colour = Qt::black;
};
// An underscore TeX draws as a rule with kerns around it stands between two
// letters of one word: where one of rules lies on the baseline in the gap
// between two glyphs of a line, spanning most of it in the colour of the
// letters, the gap becomes a "_" drawn by the rule, so the word stays one,
// and fragments that meet at such a rule are one line. A short stroke of
// another colour, or one lying in a small part of the gap (a hatching under
// the line), is no letter.
void fillRuleGaps(std::vector<LineFragment>& fragments, const std::vector<ThinPath>& rules);
// Other text readers part two glyphs into words where the pen moved on more
// than a tenth of the font size past the first one's advance, whatever the
// page drew between them.
bool isWordGap(double gap, double size);
// A blank standing in the gap between two characters, styled as the first.
CharInfo blankBetween(const CharInfo& before, const CharInfo& after);
// A blank goes between two characters of a line that stand a word gap apart
// with none between them: a producer that moves the pen between words (groff
// through ghostscript) draws no blank, and a searchable layer writes a word
// per text object, which pdfium may read with no blank between where a
// stretched word's font makes the gap look small.
void addWordBreaks(std::vector<CharInfo>& chars);
// One line from a segment; false when its text is blank or some character
// has no known Unicode (such a line stays a picture on the page). Where the
// characters' advances are known the line gets its placement, justified when
// its blanks were widened beyond their own advance.
bool lineFromChars(const std::vector<CharInfo>& chars, TextBlock::Line& line);
// The line's placement from its characters: where its first glyph's advance
// starts on the median baseline and where its advances end, relative to the
// line's box; justified when its blanks were widened. Nothing when no
// character's advance is known.
void placeLine(const std::vector<CharInfo>& chars, TextBlock::Line& line);
// Right-aligned, centred and justified lines among the upright ones of a
// page, judged by where their advances start and end against the page's
// margins; a line whose blanks were widened stays justified.
void alignPageLines(std::vector<TextBlock::Line*>& lines);

} // namespace pdfengine
