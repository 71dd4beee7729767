#pragma once
// A glyph of a page told apart from every other, in terms both pdfium's
// reading of the page and the content-stream editor's walk through it give:
// where its advance starts on its baseline (default user space of the page),
// the size it is drawn at, and which of the glyphs drawn alike there it is, in
// drawing order. Lines laid over each other (a stamp over a title, an
// underlay under a page) share no glyph however their boxes overlap.

#include <QPointF>
#include <QRectF>

#include <utility>
#include <vector>

namespace pdfengine {

struct GlyphSpot {
    QPointF origin;
    double size = 0;
    int rank = 0;
};

// A glyph of the page's own an edit takes away, or moves by `by` (default
// user space of the page).
struct TakenGlyph {
    GlyphSpot spot;
    bool moved = false;
    QPointF by;
};

// Two glyphs drawn alike: origins and sizes the same within what float
// arithmetic and two readers' rounding leave.
bool drawnAlike(const QPointF& a, double sizeA, const QPointF& b, double sizeB);

// The spots of the glyphs at the given indexes among a page's glyphs (each
// origin and size, in drawing order).
std::vector<GlyphSpot> spotsOf(const std::vector<std::pair<QPointF, double>>& glyphs,
                               const std::vector<size_t>& indexes);

// Tells, glyph by glyph in drawing order, which of some spots each glyph
// drawn is.
class GlyphSpotFinder {
public:
    GlyphSpotFinder() = default;
    explicit GlyphSpotFinder(std::vector<GlyphSpot> spots);

    bool empty() const { return m_spots.empty(); }
    const std::vector<GlyphSpot>& spots() const { return m_spots; }
    // The index of the spot the glyph drawn next is, -1 for none.
    int next(const QPointF& origin, double size);
    // Whether a spot stands in rect.
    bool anyIn(const QRectF& rect) const;

private:
    std::vector<GlyphSpot> m_spots;
    std::vector<int> m_seen;      // per spot: glyphs drawn alike so far
    std::vector<size_t> m_byX;    // spot indexes by their origins' x
};

}  // namespace pdfengine
