#include "KeptGlyphs.h"

#include "PageGlyphs.h"
#include "PageOwnContent.h"

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

constexpr double kSamePlace = 0.5;     // points a glyph's origin may stand off where it is looked for
constexpr char32_t kEndOfLineHyphen = 2;  // pdfium's code for a hyphen that ends a line
constexpr int kMostLettersTold = 20;

struct DrawnGlyph {
    char32_t code = 0;
    QRectF shape;
    QPointF origin;  // user space
    double size = 0;
    QPointF centre;  // displayed-page points
    bool own = false;
    bool matched = false;
};

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
        glyphs.push_back({code, glyphShapeOf(c.text, c.index), QPointF(x, y), drawnSize(c.text, c.index),
                          c.box.center(), object && isOwnObject(object)});
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
    };
    std::vector<Expected> expected;
    std::vector<DrawnGlyph> gone;
    // Every glyph drawn counts towards the spots, the program's own too.
    for (const DrawnGlyph& glyph : drawnGlyphs(before)) {
        const int spot = finder.next(glyph.origin, glyph.size);
        if (glyph.own || !isInk(glyph) || inAny(areas, glyph.centre))
            continue;
        if (spot < 0)
            expected.push_back({glyph, glyph.origin});
        else if (taken[size_t(spot)].moved)
            expected.push_back({glyph, glyph.origin + taken[size_t(spot)].by});
        else
            gone.push_back(glyph);
    }
    std::vector<DrawnGlyph> now = drawnGlyphs(after);
    KeptGlyphsVerdict verdict;
    for (const Expected& want : expected) {
        const auto found = std::find_if(now.begin(), now.end(), [&](const DrawnGlyph& glyph) {
            return !glyph.matched && !glyph.own && glyph.code == want.glyph.code &&
                   std::abs(glyph.origin.x() - want.at.x()) <= kSamePlace &&
                   std::abs(glyph.origin.y() - want.at.y()) <= kSamePlace &&
                   (glyph.shape.isNull() || want.glyph.shape.isNull() || sameGlyphShape(glyph.shape, want.glyph.shape));
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
