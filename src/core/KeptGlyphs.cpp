#include "KeptGlyphs.h"

#include "PageGlyphs.h"
#include "PageOwnContent.h"

#include <QLineF>

#include <algorithm>
#include <cmath>
#include <optional>

namespace pdfengine {

namespace {

constexpr double kSamePlace = 0.5;     // points a glyph's origin may stand off where it is looked for
constexpr char32_t kEndOfLineHyphen = 2;  // pdfium's code for a hyphen that ends a line
constexpr int kMostLettersTold = 20;
// pdfium reads a simple font's widths as whole thousandths, cut: along a run
// of glyphs it places each up to a thousandth of its size short of where the
// content puts it, and those shortfalls add up.
constexpr double kCutWidthShare = 0.001;

struct DrawnGlyph {
    char32_t code = 0;
    QRectF shape;
    QPointF origin;  // user space
    double size = 0;
    QPointF centre;  // displayed-page points
    bool own = false;
    bool matched = false;
    FPDF_PAGEOBJECT object = nullptr;  // the text object drawing it, while its page stays loaded
    QPointF along;                     // the direction of its advance, user space, of unit length
    double cutReach = 0;  // how much short of its advance pdfium may take it
    double shortBy = 0;   // how far short of its place pdfium may read it, after the glyphs before it on its line
};

// How far a step runs on along a direction of unit length, and how far off it across.
std::pair<double, double> aheadAndAcross(const QPointF& step, const QPointF& along)
{
    return {QPointF::dotProduct(step, along), std::abs(step.x() * along.y() - step.y() * along.x())};
}

std::vector<DrawnGlyph> drawnGlyphs(FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    std::vector<DrawnGlyph> glyphs;
    forEachPageChar(page, [&](const PageChar& c) {
        double x = 0, y = 0;
        if (!api.FPDFText_GetCharOrigin(c.text, c.index, &x, &y))
            return;
        FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(c.text, c.index);
        const char32_t code = c.code == kEndOfLineHyphen ? U'-' : c.code;
        DrawnGlyph glyph{code, glyphShapeOf(c.text, c.index), QPointF(x, y), drawnSize(c.text, c.index),
                         c.box.center(), object && isOwnObject(object)};
        glyph.object = object;
        FS_MATRIX m{};
        const double advanceScale = api.FPDFText_GetMatrix(c.text, c.index, &m) ? std::hypot(double(m.a), double(m.b)) : 0;
        glyph.along = advanceScale > 0 ? QPointF(m.a, m.b) / advanceScale : QPointF(1, 0);
        glyph.cutReach = kCutWidthShare * std::abs(api.FPDFText_GetFontSize(c.text, c.index)) * advanceScale;
        // Glyphs one after another along one baseline run on from the glyph before.
        if (!glyphs.empty()) {
            const DrawnGlyph& last = glyphs.back();
            const auto [ahead, across] = aheadAndAcross(glyph.origin - last.origin, last.along);
            if (glyph.along == last.along && across < kSamePlace && ahead > -kSamePlace)
                glyph.shortBy = last.shortBy + last.cutReach;
        }
        glyphs.push_back(glyph);
    });
    return glyphs;
}

bool inAny(const std::vector<TurnedBox>& areas, const QPointF& point)
{
    return std::any_of(areas.begin(), areas.end(), [&](const TurnedBox& area) { return area.contains(point); });
}

// A blank has no ink: where pdfium reads one is no glyph drawn.
bool isInk(const DrawnGlyph& glyph)
{
    return glyph.code > 0x20 && !(glyph.code <= 0xFFFF && QChar::isSpace(char32_t(glyph.code)));
}

void tell(QString& letters, char32_t code)
{
    if (letters.size() < kMostLettersTold)
        letters += QString::fromUcs4(&code, 1);
}

}  // namespace

KeptGlyphsVerdict glyphsKeptAsBefore(FPDF_PAGE before, FPDF_PAGE after, const std::vector<TakenGlyph>& taken,
                                     const std::vector<TurnedBox>& areas)
{
    std::vector<GlyphSpot> spots;
    for (const TakenGlyph& glyph : taken)
        spots.push_back(glyph.spot);
    GlyphSpotFinder finder(std::move(spots));
    struct Expected {
        DrawnGlyph glyph;
        QPointF at;
        bool moved = false;
        QPointF by;
        std::optional<QPointF> shift;  // a moved run's, as pdfium reads it
    };
    std::vector<Expected> expected;
    std::vector<DrawnGlyph> gone;
    // Every glyph drawn counts towards the spots, the program's own too.
    for (const DrawnGlyph& glyph : drawnGlyphs(before)) {
        const int spot = finder.next(glyph.origin, glyph.size);
        if (glyph.own || !isInk(glyph) || inAny(areas, glyph.centre))
            continue;
        if (spot < 0)
            expected.push_back({glyph, glyph.origin, false, QPointF(), {}});
        else if (taken[size_t(spot)].moved)
            expected.push_back({glyph, glyph.origin + taken[size_t(spot)].by, true, taken[size_t(spot)].by, {}});
        else
            gone.push_back(glyph);
    }
    std::vector<DrawnGlyph> now = drawnGlyphs(after);
    const auto alike = [](const DrawnGlyph& glyph, const DrawnGlyph& want) {
        return !glyph.matched && !glyph.own && glyph.code == want.code &&
               (glyph.shape.isNull() || want.shape.isNull() || sameGlyphShape(glyph.shape, want.shape));
    };
    // A moved run is drawn again from where the content puts its first
    // glyph, which pdfium reads where the content puts it: the run stands
    // as far on from pdfium's reading of it before as pdfium read that glyph
    // short, all of it alike, and no farther than pdfium's cut widths reach.
    for (size_t i = 0; i < expected.size(); ++i) {
        Expected& first = expected[i];
        if (!first.moved || first.shift)
            continue;
        const DrawnGlyph& was = first.glyph;
        std::optional<QPointF> best;
        for (const DrawnGlyph& glyph : now) {
            const QPointF off = glyph.origin - first.at;
            const auto [ahead, across] = aheadAndAcross(off, was.along);
            if (alike(glyph, was) && across <= kSamePlace && ahead >= -kSamePlace && ahead <= kSamePlace + was.shortBy &&
                (!best || QLineF(QPointF(), off).length() < QLineF(QPointF(), *best).length()))
                best = off;
        }
        if (!best)
            continue;
        for (size_t j = i; j < expected.size(); ++j)
            if (expected[j].moved && expected[j].glyph.object == was.object && expected[j].by == first.by)
                expected[j].shift = *best;
    }
    KeptGlyphsVerdict verdict;
    for (const Expected& want : expected) {
        const QPointF at = want.at + want.shift.value_or(QPointF());
        const auto found = std::find_if(now.begin(), now.end(), [&](const DrawnGlyph& glyph) {
            return alike(glyph, want.glyph) && std::abs(glyph.origin.x() - at.x()) <= kSamePlace &&
                   std::abs(glyph.origin.y() - at.y()) <= kSamePlace;
        });
        if (found != now.end()) {
            found->matched = true;
            continue;
        }
        verdict.kept = false;
        tell(verdict.letters, want.glyph.code);
    }
    if (!verdict.kept)
        return verdict;
    // Nothing of the page's own beyond them, least of all what went.
    for (const DrawnGlyph& glyph : now) {
        if (glyph.matched || glyph.own || !isInk(glyph) || inAny(areas, glyph.centre))
            continue;
        verdict.kept = false;
        verdict.takenLeft = verdict.takenLeft || std::any_of(gone.begin(), gone.end(), [&](const DrawnGlyph& was) {
                                return was.code == glyph.code && drawnAlike(was.origin, was.size, glyph.origin, glyph.size);
                            });
        tell(verdict.letters, glyph.code);
    }
    return verdict;
}

}  // namespace pdfengine
