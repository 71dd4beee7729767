#include "CorrectionFit.h"

#include "OldLine.h"

#include <QRectF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pdfengine {

namespace {

constexpr double kFitTolerance = 0.01;  // points a line may reach past its room unnoticed

struct Span {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void take(double from, double to)
    {
        low = std::min(low, std::min(from, to));
        high = std::max(high, std::max(from, to));
    }
    bool empty() const { return low > high; }
};

// The stretch of the frame's line at height y that lies on the page, as
// frame x: where each page axis bounds it.
Span onPageAlong(const QTransform& toPage, double y, const QRectF& page)
{
    const QPointF origin = toPage.map(QPointF(0, y));
    const QPointF step = toPage.map(QPointF(1, y)) - origin;
    Span span{-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    const auto bound = [&span](double at, double by, double low, double high) {
        if (std::abs(by) < 1e-9) {
            if (at < low || at > high)
                span = Span();
            return;
        }
        const double a = (low - at) / by, b = (high - at) / by;
        span.low = std::max(span.low, std::min(a, b));
        span.high = std::min(span.high, std::max(a, b));
    };
    bound(origin.x(), step.x(), page.left(), page.right());
    bound(origin.y(), step.y(), page.top(), page.bottom());
    return span;
}

}  // namespace

bool keepOnPage(LineCorrection& correction, const LineGlyphs& line, const QTransform& toPage, const QSizeF& pageSize,
                const RunWidth& runWidth)
{
    Span was, now;
    for (const LineWord& word : line.words)
        was.take(word.box.left(), word.box.right());
    for (const KeptWord& kept : correction.kept) {
        const QRectF& box = line.words[kept.word].box;
        now.take(box.left() + kept.shift, box.right() + kept.shift);
    }
    for (const TypedRun& run : correction.typed)
        now.take(run.x, run.x + runWidth(run));
    if (now.empty())
        return true;
    const QRectF page = QRectF(QPointF(), pageSize).adjusted(kPageEdgeMargin, kPageEdgeMargin, -kPageEdgeMargin,
                                                             -kPageEdgeMargin);
    Span room = onPageAlong(toPage, correction.baseline, page);
    // What already stood past the edge may stay there.
    if (!was.empty())
        room.take(was.low, was.high);
    if (room.empty() || now.high - now.low > room.high - room.low + kFitTolerance)
        return false;
    const double shift = now.low < room.low ? room.low - now.low : now.high > room.high ? room.high - now.high : 0.0;
    if (shift == 0.0)
        return true;
    for (KeptWord& kept : correction.kept)
        kept.shift += shift;
    for (TypedRun& run : correction.typed)
        run.x += shift;
    return true;
}

}  // namespace pdfengine
