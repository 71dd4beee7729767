#pragma once
// A line of the page's own text that the user corrected where it stands:
// the words left as they were keep their glyphs (their operators, faces,
// marks and ligatures), moved whole along the line where the words typed
// before them need more or less room; the glyphs of the words replaced go;
// only the typed words are new, in the face the line is matched to, at its
// size and in the colour of what they replace. Words the program wrote in an
// earlier session are kept as the page's own are. Positions in the line's
// frame (where it runs left to right), points.

#include "LineGlyphs.h"
#include "PageGlyphs.h"

#include <QColor>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace pdfengine {

struct TypedRun {
    QString text;
    double x = 0;  // where its first glyph's advance starts
    double scale = 1;
    QColor color;
    double gap = 0;  // where the face draws no blank: the room between its words
    // A word the program drew before, drawn again where it moved: its own
    // face and size (null, 0: the correction's).
    FPDF_FONT face = nullptr;
    double size = 0;
};

struct KeptWord {
    size_t word = 0;  // into the line's words
    double shift = 0;
};

struct LineCorrection {
    std::vector<KeptWord> kept;
    std::vector<size_t> replaced;  // words whose glyphs go
    std::vector<TypedRun> typed;
    double size = 0;
    double baseline = 0;
    FPDF_FONT face = nullptr;  // of the typed runs
};

// The face and size a run of a correction is drawn in.
inline FPDF_FONT faceOf(const LineCorrection& correction, const TypedRun& run)
{
    return run.face ? run.face : correction.face;
}
inline double sizeOf(const LineCorrection& correction, const TypedRun& run)
{
    return run.size > 0 ? run.size : correction.size;
}

// How a correction sets its typed text: the face for the words typed
// (given the glyphs they replace, none for words only inserted), and the
// advance of text in it at size.
struct TypedFace {
    std::function<FPDF_FONT(const QString& typed, const std::vector<PageGlyph>& replaced)> face;
    std::function<double(FPDF_FONT, const QString&, double)> advance;
    // The face sets a blank readers part words at (TeX's faces have none).
    std::function<bool(FPDF_FONT)> drawsBlank;
};

// The correction of a line of page (its glyphs as found; toFrame maps the
// page into its frame) to text, aligned as the line was. None where no word
// of it stays, or nothing draws the typed words. Text the program wrote
// before goes only as the whole objects it wrote: a word of such an object
// with a word replaced, or one that must move, is drawn again as it stood
// (its face, size and width).
// Whether a line written to text again whole would set again words the
// user left that carry marks drawn apart: their marks would be lost.
bool keptWordsCarryMarks(const LineGlyphs& line, const QString& text);
// Whether text keeps words of the line that the page drew (not the
// program): such words are kept only as drawn, never written again.
bool keepsPageWords(const LineGlyphs& line, const PageGlyphs& page, const QString& text);

// rewrite (when given) tells a line left to be written again whole as it
// always was: text only added after a line of columns (the window shows
// its last column written again), or a word with a blank squeezed into it
// that would have to move (groff's lines, set again in their own face).
std::optional<LineCorrection> correctLine(const LineGlyphs& line, const PageGlyphs& page, const QTransform& toFrame,
                                          const QString& text, Qt::Alignment alignment, const TypedFace& typed,
                                          bool* rewrite = nullptr);

}  // namespace pdfengine
