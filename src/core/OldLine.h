#pragma once
// A line written again over its old glyphs: what the page showed there (its
// text, colours and extent, cut into columns where a gap much wider than a
// blank parts it) and how the new text runs along the old baseline.

#include "PageGlyphs.h"
#include "PdfEngineInternal.h"

#include <QColor>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace pdfengine {

inline constexpr double kPageEdgeMargin = 0.25;  // points kept clear of the page's edges

// A glyph set off its line's baseline at a smaller size (a footnote mark, an
// index): how far it stands above the baseline and its size. The line's own
// glyphs have size 0.
struct Lift {
    double rise = 0;
    double size = 0;
    // The room the page left between a lifted glyph and the glyph of its
    // word before and after it (no blank between), points: readers part a
    // mark from its word by it.
    double gapBefore = 0;
    double gapAfter = 0;
};

// The visible glyphs of a line as text, one colour per character, with a
// blank where the page reads a word break.
struct OldLine {
    QString text;
    std::vector<QColor> colors;
    std::vector<Lift> lifts;  // per character as colors; empty when no glyph stands off the line
    double left = 0;
    double right = 0;
    double size = 0;
    double wordGap = 0;  // median gap at word breaks, 0 when none
    double glyphAdvance = 0;  // the advances of its glyphs but blanks, without the room between them
    FPDF_FONT font = nullptr;  // the one font all its glyphs use, else null
};

// A recognised line's old text over a scan: what was read there, at the
// width its ink spans.
OldLine recognisedOldLine(const QString& text, const QRectF& rect, const QColor& color);
OldLine oldLineOf(const std::vector<PageGlyph>& ink);

// Advance of text in font at size, points; blanks count as nothing when
// skipBlanks. complete (when given) tells whether the font knew every character.
double advanceOf(FPDF_FONT font, const QString& text, double size, bool skipBlanks, bool* complete = nullptr);
int blankCount(const QString& text);
double medianOf(std::vector<double> values, double fallback);

// How a rewritten line runs along its baseline: the text laid, whether its
// words are placed apart, the gap between them, the glyphs' horizontal scale,
// where it starts and the natural advance of its glyphs.
struct LineRun {
    QString text;
    bool gapped = false;
    double gap = 0;
    double scale = 1;
    double x0 = 0;
    double natural = 0;
    std::vector<Lift> lifts;  // per character of text; empty when none stands off the line
};

// How many characters two texts share at their start and, past those, at their end.
std::pair<qsizetype, qsizetype> sharedEnds(const QString& a, const QString& b);

// Where the characters of a line's new text stand off its baseline: the
// old line's glyphs kept before and after the change keep their lift, and
// text put in place of lifted glyphs only is lifted as they were.
std::vector<Lift> liftsForText(const OldLine& old, const QString& text);

// The old line's width is kept: a line set in the page's own spacing scales
// its glyphs to it; a justified one keeps its glyphs' own width and shares the
// rest out between its words. A right-aligned line ends where the old one
// ended, a centred one keeps its centre; none grows past the page's left edge.
// Words too few to fill a justified line stand at its start, as a
// paragraph's last line does.
LineRun lineRun(const QString& text, const OldLine& old, FPDF_FONT font, double size, bool fontHasNoBlank,
                Qt::Alignment alignment, double start);

// One stretch of a rewritten line between column gaps: what stood there,
// the text written there now, and whether that text changed.
struct LinePiece {
    OldLine old;
    QString text;
    bool changed = true;
    size_t column = 0;  // the old column a piece left as it was stands for
};

// Where the items (left and right ends along the line, in order) part into
// columns: the index of each column's first item. A column gap is well over
// the line's usual word gap (a blank of the face, blank > 0, where the line
// shows one gap or none) and over a few tenths of the size.
std::vector<size_t> columnStarts(const std::vector<std::pair<double, double>>& extents, double size, double blank);
// The median word gap between the items inside their columns (starts as
// columnStarts gives them); 0 for a line of one column or no such gap.
double gapInsideColumns(const std::vector<std::pair<double, double>>& extents, const std::vector<size_t>& starts,
                        double size);
// The visible glyphs of a line cut into its columns (blanks at a cut dropped).
std::vector<std::vector<PageGlyph>> inkColumns(const std::vector<PageGlyph>& ink, double size, double blank);
// A recognised line's words (text and box, in order) cut into columns, each
// holding its words; one column when no gap parts them, none without words.
using RecognisedWord = std::pair<QString, QRectF>;
std::vector<std::vector<RecognisedWord>> recognisedColumns(const std::vector<RecognisedWord>& words, double size);
// A line longer than this many words is laid as one run.
inline constexpr qsizetype kMaxAlignedWords = 256;
// The words two texts share, in order (a longest common subsequence): pairs
// of indexes into a and b.
std::vector<std::pair<qsizetype, qsizetype>> sharedWords(const QStringList& a, const QStringList& b);
// The new text of a line cut as its old columns were: each column keeps its
// own words, changed or not, where the new words can be told apart by column
// (kept words, or as many words in place of as many); columns whose words
// cannot be told apart become one piece. Empty when the old line had one
// column, its words are the same, or the change runs through every column.
std::vector<LinePiece> piecesForText(const std::vector<OldLine>& columns, const QString& text);

// The font draws every glyph at one advance: its descriptor says so, or the
// line's glyphs (several different ones) all advance alike.
bool isFixedPitch(FPDF_FONT font, const std::vector<PageGlyph>& ink);

} // namespace pdfengine
