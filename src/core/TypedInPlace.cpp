#include "TypedInPlace.h"

#include "ContentCopy.h"
#include "PageOwnContent.h"

#include <QLineF>

#include <cmath>

namespace pdfengine {

namespace {

constexpr double kAnchorNearness = 0.07;  // of the size: the anchor glyph's origin as readers place it
constexpr double kLineNearness = 0.5;     // points off the typed line a run of its own may start
constexpr double kAlongOnly = 1e-6;       // of the step: text matrices differing only along the line

}  // namespace

int typedPlaceAt(const std::vector<TypedPlace>& places, const QPointF& origin, double size)
{
    const double within = std::max(kAnchorNearness * std::abs(size), 0.01);
    for (size_t i = 0; i < places.size(); ++i) {
        const QPointF off = places[i].anchor.origin - origin;
        if (std::abs(off.x()) < within && std::abs(off.y()) < within)
            return int(i);
    }
    return -1;
}

int typedPlaceAlong(const std::vector<TypedPlace>& places, const QPointF& origin)
{
    for (size_t i = 0; i < places.size(); ++i) {
        const QLineF line(places[i].from, places[i].to);
        const double length = line.length();
        if (length <= 0) {
            if (QLineF(places[i].from, origin).length() < kLineNearness)
                return int(i);
            continue;
        }
        const QPointF unit = (line.p2() - line.p1()) / length;
        const QPointF off = origin - line.p1();
        const double along = off.x() * unit.x() + off.y() * unit.y();
        const double across = std::abs(off.x() * unit.y() - off.y() * unit.x());
        if (across < kLineNearness && along > -kLineNearness && along < length + kLineNearness)
            return int(i);
    }
    return -1;
}

std::optional<std::string> typedSpanAt(const QTransform& ctm, const std::string& state, const std::string& span)
{
    bool invertible = false;
    const QTransform undo = ctm.inverted(&invertible);
    if (!invertible)
        return std::nullopt;
    // Text state stays in force outside text objects: the span's own is the default.
    std::string text = std::string("q /") + kTypedInPlaceTag + " BMC " +
                       (ctm.isIdentity() ? std::string() : contentMatrix(undo) + " cm ") + "0 Tc 0 Tw 100 Tz 0 Ts ";
    if (!state.empty())
        text += state + ' ';
    return text + span + " EMC Q";
}

std::optional<std::string> resumedTextObject(const std::string& lineSteps, const QTransform& lineMatrix,
                                             const QTransform& at, double size, double scale, const std::string& font)
{
    bool invertible = false;
    const QTransform step = at * lineMatrix.inverted(&invertible);
    if (!invertible)
        return std::nullopt;
    const double along = step.dx();
    if (std::abs(step.m11() - 1) > kAlongOnly || std::abs(step.m22() - 1) > kAlongOnly ||
        std::abs(step.m12()) > kAlongOnly || std::abs(step.m21()) > kAlongOnly ||
        std::abs(step.dy()) > kAlongOnly * std::max(1.0, std::abs(along)))
        return std::nullopt;
    // Readers add the steps up as they did the first time, to the last bit.
    std::string text = "BT " + lineSteps;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (std::abs(along) > kAlongOnly) {
        if (size == 0 || scale == 0)
            return std::nullopt;
        text += (font.empty() ? std::string() : ' ' + font) + " [" +
                contentNumber(-along * 1000.0 / (size * scale), 4) + "]TJ";
    }
    return text;
}

}  // namespace pdfengine
