#include "GlyphSpots.h"

#include "StableSort.h"

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

// Points two readings of one glyph's origin may stand apart, or this share
// of its size when more: float arithmetic, not another glyph (a blank
// squeezed before a letter stands a tenth of a point off it).
constexpr double kLeastReach = 0.01;
constexpr double kReachOfSize = 0.003;
constexpr double kSameSizeShare = 0.02;  // sizes within this share are one

double reachOf(double size)
{
    return std::max(kLeastReach, kReachOfSize * std::abs(size));
}

}  // namespace

bool drawnAlike(const QPointF& a, double sizeA, const QPointF& b, double sizeB)
{
    const double reach = reachOf(std::max(std::abs(sizeA), std::abs(sizeB)));
    return std::abs(a.x() - b.x()) <= reach && std::abs(a.y() - b.y()) <= reach &&
           std::abs(sizeA - sizeB) <= kSameSizeShare * std::max(std::abs(sizeA), std::abs(sizeB));
}

std::vector<GlyphSpot> spotsOf(const std::vector<std::pair<QPointF, double>>& glyphs,
                               const std::vector<size_t>& indexes)
{
    std::vector<GlyphSpot> spots;
    spots.reserve(indexes.size());
    for (const size_t index : indexes) {
        if (index >= glyphs.size())
            continue;
        const auto& [origin, size] = glyphs[index];
        int rank = 0;
        for (size_t i = 0; i < index; ++i)
            rank += drawnAlike(glyphs[i].first, glyphs[i].second, origin, size);
        spots.push_back({origin, size, rank});
    }
    return spots;
}

GlyphSpotFinder::GlyphSpotFinder(std::vector<GlyphSpot> spots)
    : m_spots(std::move(spots)), m_seen(m_spots.size(), 0), m_byX(m_spots.size())
{
    for (size_t i = 0; i < m_byX.size(); ++i)
        m_byX[i] = i;
    vorn::safeStableSort(m_byX, [this](size_t a, size_t b) { return m_spots[a].origin.x() < m_spots[b].origin.x(); });
}

int GlyphSpotFinder::next(const QPointF& origin, double size)
{
    if (m_spots.empty() || !std::isfinite(origin.x()) || !std::isfinite(origin.y()))
        return -1;
    // Spots farther along x than any reach are passed over.
    const double reach = reachOf(size) * 2;
    const auto first = std::lower_bound(m_byX.begin(), m_byX.end(), origin.x() - reach,
                                        [this](size_t i, double x) { return m_spots[i].origin.x() < x; });
    int found = -1;
    for (auto it = first; it != m_byX.end() && m_spots[*it].origin.x() <= origin.x() + reach; ++it) {
        const GlyphSpot& spot = m_spots[*it];
        if (!drawnAlike(spot.origin, spot.size, origin, size))
            continue;
        if (m_seen[*it]++ == spot.rank && found < 0)
            found = int(*it);
    }
    return found;
}

bool GlyphSpotFinder::anyIn(const QRectF& rect) const
{
    return std::any_of(m_spots.begin(), m_spots.end(), [&](const GlyphSpot& spot) { return rect.contains(spot.origin); });
}

}  // namespace pdfengine
