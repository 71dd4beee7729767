#pragma once
// Glyphs an edit lifts from where the page drew them, to draw them again
// later in the content (a line moved, the words of a corrected line shifted),
// and whether anything the page draws after them covers them there: a box
// laid over a number, a stamp. Drawn again over such a cover, a glyph would
// show what the page hides. Boxes in the page's default user space.

#include <QPointF>
#include <QRectF>

#include <string>
#include <vector>

namespace pdfengine {

// The pieces of a path as its operators build it: each subpath's box, which
// a fill paints, and each segment's, which a stroke paints.
class PathPieces {
public:
    // A path operator (m, l, c, v, y, re, h) with its points, mapped already;
    // re's corners in the order (x, y), (x, y + h), (x + w, y), (x + w, y + h).
    void add(const std::string& op, const std::vector<QPointF>& points);
    // What the path paints, a stroke as wide as lineWidth.
    std::vector<QRectF> painted(bool fills, bool strokes, double lineWidth) const;

private:
    std::vector<QRectF> m_subpaths;
    std::vector<QRectF> m_segments;
    QPointF m_current;
    QPointF m_start;
};

class CoverWatch {
public:
    void lift(const QRectF& glyph);
    // Something drawn after the glyphs lifted so far, painting regions.
    void paint(const std::vector<QRectF>& regions);
    bool covered() const { return m_covered; }

    // The glyphs lifted so far, and forgetting those lifted since: their
    // copy is drawn before anything later (at the end of the form they
    // stand in).
    size_t mark() const { return m_lifted.size(); }
    void dropSince(size_t mark);

    // Of a glyph's box, the share something drawn over it must hide.
    static constexpr double kCoveredShare = 0.3;

private:
    std::vector<QRectF> m_lifted;
    QRectF m_bounds;
    bool m_covered = false;
};

}  // namespace pdfengine
