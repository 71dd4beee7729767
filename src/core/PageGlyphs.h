#pragma once
// The glyphs a loaded page draws, read once before a write changes the page:
// where each stands, in which font, size and fill, and which characters each
// font is seen drawing. A rewritten line takes its width, font and colours
// from the glyphs it replaces. Callers hold the pdfium lock.

#include "EditPlan.h"
#include "GlyphSpots.h"
#include "PdfEngineInternal.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <map>
#include <set>
#include <vector>

namespace pdfengine {

// A character pdfium reads on a page, not one it made up, whose box it
// gives: the box in displayed-page points.
struct PageChar {
    FPDF_TEXTPAGE text = nullptr;
    int index = 0;
    char32_t code = 0;  // as pdfium gives it
    QRectF box;
};
// Calls take with each such character of the page in pdfium's order.
template <typename Take>
void forEachPageChar(FPDF_PAGE page, Take take)
{
    const PdfiumApi& api = pdfApi();
    TextPagePtr text(page ? api.FPDFText_LoadPage(page) : nullptr);
    if (!text)
        return;
    const PdfPageTransform transform = pageTransformOf(page);
    const int count = api.FPDFText_CountChars(text.get());
    for (int i = 0; i < count; ++i) {
        double left = 0, right = 0, bottom = 0, top = 0;
        if (api.FPDFText_IsGenerated(text.get(), i) == 1 ||
            !api.FPDFText_GetCharBox(text.get(), i, &left, &right, &bottom, &top))
            continue;
        take(PageChar{text.get(), i, char32_t(api.FPDFText_GetUnicode(text.get(), i)),
                      transform.toPage(rectFromEdges(left, top, right, bottom))});
    }
}

struct PageGlyph {
    QString text;       // one code point, or a ligature's letters
    QRectF box;         // ink box, displayed-page points
    double left = 0;    // where its advance starts and ends along the baseline
    double right = 0;
    double baseline = 0;
    FPDF_FONT font = nullptr;
    FPDF_PAGEOBJECT object = nullptr;  // the text object that draws it, while the page stays loaded
    QColor fill;        // invalid when pdfium gives none
    double size = 0;    // font size times the text and page matrices' scale
    double setSize = 0; // the font size the text was set at, before any matrix
    bool visible = true;
    bool own = false;          // drawn by this program (its searchable layer, its text)
    bool inForm = false;       // drawn by a form the page draws, not by the page's content itself
    bool spaceBefore = false;  // the page reads a word break just before it
    QRectF advanceBox;  // the advance's box and the origin, displayed-page points
    QPointF origin;
    QTransform userMatrix;  // text space (size left out) to user space, at the origin
    QPointF userOrigin;     // the origin in the page's default user space
    QRectF shape;       // the ink box in text space per unit of size, about the origin
};

// The size character index of a text page is drawn at: its font size times
// the scale of its matrix ("1 Tf" text keeps its size there).
double drawnSize(FPDF_TEXTPAGE text, int index);

// The ink box of character index of a text page in its text space, per unit
// of its size, about its origin: the same glyph of a font has the same shape
// wherever and however large it is drawn; another glyph of the same letter
// (a small capital, a dotless i, another code) has another. Null when pdfium
// gives no box.
QRectF glyphShapeOf(FPDF_TEXTPAGE text, int index);
// Two shapes of one glyph, within what pdfium's float arithmetic leaves.
bool sameGlyphShape(const QRectF& a, const QRectF& b);

// Where a character of a text page stands on its baseline, in user space, to
// tell whether the pen moved a word gap on to the next one.
struct GlyphPen {
    QPointF origin;
    QPointF along;  // the baseline's direction, unit length
    double advance = 0;
    double size = 0;
    bool word = false;  // text other than a blank, its place known
};
// The pen of character index, whose code pdfium gives as code; no word for a
// blank.
GlyphPen glyphPenOf(FPDF_TEXTPAGE text, int index, char32_t code);
// The page reads a word break between two glyphs that follow each other on
// one baseline where the pen moved on more than a word gap past the first
// one's advance, whether or not a blank was drawn there.
bool movedAWordOn(const GlyphPen& before, const GlyphPen& after);

// movedAWordOn over the characters of a text page in turn, reading no more of
// each than it needs: on upright, unskewed text two glyphs whose advances
// touch or overlap part nothing, and their pens are not read.
class PenMoves {
public:
    explicit PenMoves(FPDF_TEXTPAGE text) : m_text(text) {}
    // Whether a word gap stands before character index (code as pdfium gives
    // it), after the one given last.
    bool before(int index, char32_t code);

private:
    FPDF_TEXTPAGE m_text;
    int m_last = -1;  // the last character given, when a word's
    char32_t m_lastCode = 0;
    bool m_lastUpright = false;
    float m_lastRight = 0;
};

// The glyphs of a loaded page as marks (displayed-page points).
std::vector<GlyphMark> pageGlyphMarks(FPDF_PAGE page);

// A glyph measured in the frame toFrame maps the page into (a turned line's).
PageGlyph glyphInFrame(const PageGlyph& glyph, const QTransform& toFrame);

class PageGlyphs {
public:
    PageGlyphs(FPDF_DOCUMENT doc, FPDF_PAGE page);
    ~PageGlyphs();
    PageGlyphs(const PageGlyphs&) = delete;
    PageGlyphs& operator=(const PageGlyphs&) = delete;

    const std::vector<PageGlyph>& all() const { return m_glyphs; }
    // The glyphs at the indexes told apart from every other glyph of the page.
    std::vector<GlyphSpot> spotsOf(const std::vector<size_t>& indexes) const;
    // The glyphs centred in rect, in the page's drawing order.
    std::vector<PageGlyph> inside(const QRectF& rect) const;
    // The same for a line turned on the page: toFrame maps displayed-page
    // points into the frame where the line runs left to right, rect lies in
    // that frame, and the glyphs come back measured in it.
    std::vector<PageGlyph> inside(const QRectF& rect, const QTransform& toFrame) const;
    // Every character of text (blanks aside) is seen drawn visibly in font on
    // this page: the font holds its glyph and its encoding reaches it.
    bool fontDraws(FPDF_FONT font, const QString& text) const;
    bool fontDrawsSpace(FPDF_FONT font) const;
    // fontDraws, and the glyph the font gives each character when text is
    // set in it anew (its codes chosen back from its Unicode map) is the one
    // line (the glyphs it replaces) draws that letter with, or where line
    // has none of it, one the page draws it with: false where the map gives
    // a letter another code, or the font holds variants of it.
    bool fontDrawsAsPage(FPDF_FONT font, const QString& text, const std::vector<PageGlyph>& line) const;

private:
    std::vector<PageGlyph> m_glyphs;
    std::map<FPDF_FONT, std::set<char32_t>> m_drawn;
    std::map<FPDF_FONT, std::map<char32_t, std::vector<QRectF>>> m_shapes;  // as the page draws each character
    FPDF_DOCUMENT m_doc = nullptr;
    // One unplaced text object per font keeps the font alive after the page's
    // own objects that use it are removed.
    std::vector<PageObjectPtr> m_fontKeepers;
};

} // namespace pdfengine
