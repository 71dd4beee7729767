#include "CoverWatch.h"

#include <algorithm>

namespace pdfengine {

namespace {

double areaOf(const QRectF& r)
{
    return std::max(r.width(), 0.0) * std::max(r.height(), 0.0);
}

// The box around points; a point or a straight run has no width or height
// (which QRectF's union would pass over).
QRectF boxOf(const std::vector<QPointF>& points)
{
    double left = points.front().x(), right = left, bottom = points.front().y(), top = bottom;
    for (const QPointF& p : points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        bottom = std::min(bottom, p.y());
        top = std::max(top, p.y());
    }
    return QRectF(QPointF(left, bottom), QPointF(right, top));
}

QRectF joined(const QRectF& a, const QRectF& b)
{
    return boxOf({a.topLeft(), a.bottomRight(), b.topLeft(), b.bottomRight()});
}

}  // namespace

void PathPieces::add(const std::string& op, const std::vector<QPointF>& points)
{
    if (op == "re" && points.size() == 4) {
        m_subpaths.push_back(boxOf(points));
        for (const auto& [a, b] : {std::pair{0, 1}, std::pair{1, 3}, std::pair{3, 2}, std::pair{2, 0}})
            m_segments.push_back(boxOf({points[size_t(a)], points[size_t(b)]}));
        m_current = m_start = points[0];
        return;
    }
    if (op == "m" && !points.empty()) {
        m_current = m_start = points.back();
        m_subpaths.push_back(boxOf({m_current}));
        return;
    }
    std::vector<QPointF> piece{op == "h" ? m_start : m_current};
    if (op == "h")
        piece.push_back(m_current);
    piece.insert(piece.end(), points.begin(), points.end());
    const QRectF box = boxOf(piece);
    m_segments.push_back(box);
    if (m_subpaths.empty())
        m_subpaths.push_back(box);
    else
        m_subpaths.back() = joined(m_subpaths.back(), box);
    m_current = op == "h" ? m_start : piece.back();
}

std::vector<QRectF> PathPieces::painted(bool fills, bool strokes, double lineWidth) const
{
    std::vector<QRectF> regions;
    if (fills)
        regions = m_subpaths;
    if (strokes) {
        const double half = lineWidth / 2;
        for (const QRectF& segment : m_segments)
            regions.push_back(segment.adjusted(-half, -half, half, half));
    }
    return regions;
}

void CoverWatch::lift(const QRectF& glyph)
{
    const QRectF box = glyph.normalized();
    if (areaOf(box) <= 0)
        return;
    m_bounds = m_lifted.empty() ? box : joined(m_bounds, box);
    m_lifted.push_back(box);
}

void CoverWatch::paint(const std::vector<QRectF>& regions)
{
    if (m_covered || m_lifted.empty())
        return;
    std::vector<QRectF> near;
    for (const QRectF& region : regions)
        if (region.normalized().intersects(m_bounds))
            near.push_back(region.normalized());
    if (near.empty())
        return;
    for (const QRectF& glyph : m_lifted) {
        // Regions of one paint barely overlap (a path's pieces): their shares add up.
        double hidden = 0;
        for (const QRectF& region : near)
            hidden += areaOf(glyph.intersected(region));
        if (hidden >= kCoveredShare * areaOf(glyph)) {
            m_covered = true;
            return;
        }
    }
}

void CoverWatch::dropSince(size_t mark)
{
    if (mark >= m_lifted.size())
        return;
    m_lifted.resize(mark);
    for (size_t i = 0; i < m_lifted.size(); ++i)
        m_bounds = i == 0 ? m_lifted[i] : joined(m_bounds, m_lifted[i]);
}

}  // namespace pdfengine
