#include "MovedBoxCheck.h"

#include "PageGlyphs.h"
#include "PageOwnContent.h"
#include "PdfEngineInternal.h"

#include <QImage>
#include <QLineF>

#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace pdfengine {

namespace {

constexpr double kPixelsPerPoint = 3.0;  // fine enough that a letter's dot is several pixels
constexpr double kMostPixels = 4e6;      // a moved box's picture, at most
constexpr int kDifferent = 64;           // grey levels apart: another glyph, not rounding
constexpr int kMostDifferent = 3;        // pixels a box may show otherwise (edge rounding)
constexpr int kPlacementPixels = 1;      // how far a reader may place a glyph off, below the pixel
constexpr double kWindowMarginPoints = 0.5;  // ink of the line's glyphs past its box
// A word moved a fraction of a pixel (or written again where it stands,
// its place rounded) is drawn with its glyphs snapped otherwise: this share
// of its ink may differ at their edges.
constexpr double kSnappedShareOfInk = 0.1;
constexpr int kInkGrey = 160;  // darker pixels are a glyph's ink

// The page drawn into a picture of size pixels by pdfium, the page's point
// (x, y) (y up) landing at (x * scale - dx, (height - y) * scale - dy).
QImage drawn(FPDF_PAGE page, const QSize& size, double scale, double dx, double dy)
{
    QImage image(size, QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    BitmapPtr bitmap = createBitmapFromQImage(image);
    if (!bitmap)
        return {};
    const FS_MATRIX matrix{float(scale), 0, 0, float(scale), float(-dx), float(-dy)};
    const FS_RECTF clip{0, 0, float(size.width()), float(size.height())};
    pdfApi().FPDF_RenderPageBitmapWithMatrix(bitmap.get(), page, &matrix, &clip, 0);
    return image;
}

std::string baseFontName(FPDF_FONT font)
{
    std::string name(256, '\0');
    const size_t length = font ? pdfApi().FPDFFont_GetBaseFontName(font, name.data(), name.size()) : 0;
    name.resize(length > 0 && length <= name.size() ? length - 1 : 0);
    return name;
}

// One character of a text page: its letter, its font's name, its shape
// (null where its glyph draws nothing), where it stands (displayed-page
// points) and whether the program wrote it.
struct ReadGlyph {
    char32_t code = 0;
    std::string font;
    QRectF shape;
    QPointF centre;
    bool own = false;
};

std::vector<ReadGlyph> readGlyphs(FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    std::vector<ReadGlyph> glyphs;
    forEachPageChar(page, [&](const PageChar& c) {
        constexpr char32_t kEndOfLineHyphen = 2;  // pdfium's code for a hyphen that ends a line
        FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(c.text, c.index);
        const char32_t code = c.code == kEndOfLineHyphen ? U'-' : c.code;
        if (!object || code == 0 || QChar::isSpace(code))
            return;
        glyphs.push_back({code, baseFontName(api.FPDFTextObj_GetFont(object)), glyphShapeOf(c.text, c.index),
                          c.box.center(), isOwnObject(object)});
    });
    return glyphs;
}

int greyAt(const QImage& image, int x, int y)
{
    return qGray(reinterpret_cast<const QRgb*>(image.constScanLine(y))[x]);
}

// Whether the grey at (x, y) of a lies within the greys around (x, y) of b,
// give or take rounding: a glyph one pixel off still matches its edges.
bool matchedNearby(const QImage& a, const QImage& b, int x, int y)
{
    const int grey = greyAt(a, x, y);
    int lowest = 255, highest = 0;
    for (int dy = -kPlacementPixels; dy <= kPlacementPixels; ++dy)
        for (int dx = -kPlacementPixels; dx <= kPlacementPixels; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= b.width() || ny >= b.height())
                continue;
            const int near = greyAt(b, nx, ny);
            lowest = std::min(lowest, near);
            highest = std::max(highest, near);
        }
    return grey >= lowest - kDifferent && grey <= highest + kDifferent;
}

// Which objects of a page stand for text where it stood or went.
enum class Drawn {
    All,
    Moved,    // only the program's moved content
    NotTyped  // all but what the program typed (its own objects not moved)
};

bool drawnAs(FPDF_PAGEOBJECT object, Drawn which)
{
    switch (which) {
    case Drawn::All:
        return true;
    case Drawn::Moved:
        return isMovedContent(object);
    case Drawn::NotTyped:
        return !isOwnObject(object) || isMovedContent(object);
    }
    return true;
}

// For each area, the page objects (by index) of page index of doc that stood
// in it: the text objects with a glyph there and, with paths, the paths
// wholly inside it, of those which. Read in one pass; empty when the page
// cannot be loaded.
std::vector<std::set<int>> objectsIn(FPDF_DOCUMENT doc, int index, const std::vector<TurnedBox>& areas, Drawn which,
                                     bool paths)
{
    const PdfiumApi& api = pdfApi();
    PagePtr page(doc ? api.FPDF_LoadPage(doc, index) : nullptr);
    if (!page)
        return {};
    std::map<FPDF_PAGEOBJECT, int> indexOf;
    for (int i = api.FPDFPage_CountObjects(page.get()) - 1; i >= 0; --i)
        indexOf[api.FPDFPage_GetObject(page.get(), i)] = i;
    std::vector<std::set<int>> kept(areas.size());
    forEachPageChar(page.get(), [&](const PageChar& c) {
        const auto found = indexOf.find(api.FPDFText_GetTextObject(c.text, c.index));
        if (found == indexOf.end() || !found->first || !drawnAs(found->first, which))
            return;
        for (size_t a = 0; a < areas.size(); ++a)
            if (areas[a].contains(c.box.center()))
                kept[a].insert(found->second);
    });
    const PdfPageTransform transform = pageTransformOf(page.get());
    for (const auto& [object, i] : indexOf) {
        float left = 0, bottom = 0, right = 0, top = 0;
        if (!paths || !object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjPath ||
            !api.FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top) || !drawnAs(object, which))
            continue;
        const QRectF bounds = transform.toPage(rectFromEdges(left, top, right, bottom));
        // No wider than the editor takes them: a path it left must not be looked for where the line went.
        for (size_t a = 0; a < areas.size(); ++a)
            if (areas[a].contains(bounds.topLeft()) && areas[a].contains(bounds.topRight()) &&
                areas[a].contains(bounds.bottomLeft()) && areas[a].contains(bounds.bottomRight()))
                kept[a].insert(i);
    }
    return kept;
}

// Page index of doc, loaded afresh, drawing only the objects kept.
PagePtr pageWithOnly(FPDF_DOCUMENT doc, int index, const std::set<int>& kept)
{
    const PdfiumApi& api = pdfApi();
    PagePtr page(api.FPDF_LoadPage(doc, index));
    if (!page)
        return page;
    for (int i = api.FPDFPage_CountObjects(page.get()) - 1; i >= 0; --i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page.get(), i);
        if (object && !kept.count(i) && api.FPDFPage_RemoveObject(page.get(), object)) {
            const PageObjectPtr removed(object);
        }
    }
    return page;
}


// The first of moved whose box draws otherwise on after where it went than
// on before where it stood (-1: none), each drawn with only the objects
// which stand for it (the paths wholly inside the box too, with paths),
// snapped: the share of its ink that may differ; reason: unlike, or why it
// could not be drawn.
int firstMovedUnlike(FPDF_DOCUMENT before, int beforeIndex, FPDF_DOCUMENT after, int afterIndex,
                     const std::vector<MovedBox>& moved, Drawn which, bool paths, double snapped,
                     const QString& unlike, QString* reason)
{
    std::vector<TurnedBox> froms, tos;
    for (const MovedBox& box : moved) {
        froms.push_back(box.from);
        tos.push_back(box.landing());
    }
    const std::vector<std::set<int>> keptThen = objectsIn(before, beforeIndex, froms, Drawn::All, paths);
    const std::vector<std::set<int>> keptNow = objectsIn(after, afterIndex, tos, which, paths);
    for (size_t b = 0; b < moved.size(); ++b) {
        const MovedBox& box = moved[b];
        const QRectF window = tos[b].bounds();
        const double area = window.width() * window.height();
        if (!(area > 0) || !std::isfinite(area))
            continue;
        PagePtr then = keptThen.empty() ? PagePtr() : pageWithOnly(before, beforeIndex, keptThen[b]);
        PagePtr now = keptNow.empty() ? PagePtr() : pageWithOnly(after, afterIndex, keptNow[b]);
        if (!then || !now) {
            *reason = QStringLiteral("страницу не удалось нарисовать для проверки");
            return int(b);
        }
        const double height = pdfApi().FPDF_GetPageHeightF(now.get());
        const double scale = std::min(kPixelsPerPoint, std::sqrt(kMostPixels / area));
        // A word's window ends at its advances: its neighbours' ink, which
        // may have moved otherwise, stays out.
        const double margin = kWindowMarginPoints * scale, across = snapped > 0 ? 0.0 : margin;
        const double left = std::floor(window.left() * scale - across);
        const double top = std::floor((height - window.bottom()) * scale - margin);
        const QSize size(int(std::ceil(window.right() * scale + across) - left),
                         int(std::ceil((height - window.top()) * scale + margin) - top));
        if (size.isEmpty())
            continue;
        const QImage drawnNow = drawn(now.get(), size, scale, left, top);
        const QImage drawnThen = drawn(then.get(), size, scale, left - box.by.x() * scale, top + box.by.y() * scale);
        if (drawnNow.isNull() || drawnThen.isNull()) {
            *reason = QStringLiteral("страницу не удалось нарисовать для проверки");
            return int(b);
        }
        int different = 0, ink = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                different += !matchedNearby(drawnNow, drawnThen, x, y) || !matchedNearby(drawnThen, drawnNow, x, y);
                ink += greyAt(drawnThen, x, y) < kInkGrey;
            }
        if (different > std::max(double(kMostDifferent), snapped * ink)) {
            *reason = unlike;
            return int(b);
        }
    }
    return -1;
}

}  // namespace

bool movedBoxesLookAsBefore(FPDF_DOCUMENT before, int beforeIndex, FPDF_DOCUMENT after, int afterIndex,
                            const std::vector<MovedBox>& moved, QString* reason)
{
    return firstMovedUnlike(before, beforeIndex, after, afterIndex, moved, Drawn::Moved, true, 0,
                            QStringLiteral("перенесённая строка выглядит не так, как на старом месте"), reason) < 0;
}

int keptWordUnlike(FPDF_DOCUMENT before, int beforeIndex, FPDF_DOCUMENT after, int afterIndex,
                   const std::vector<MovedBox>& words, QString* reason)
{
    // A word is what stands where it went, the program's typed words aside:
    // a word shifted along its line stays in the page's own text object, one
    // taken out of it is the program's moved content.
    return firstMovedUnlike(before, beforeIndex, after, afterIndex, words, Drawn::NotTyped, false, kSnappedShareOfInk,
                            QString(), reason);
}

bool writtenGlyphsAsPage(FPDF_PAGE before, FPDF_PAGE after, const std::vector<TurnedBox>& cleared, QString* letter)
{
    using Key = std::pair<std::string, char32_t>;
    constexpr double kSamePlace = 0.05;  // points
    std::map<Key, std::vector<QRectF>> onPage, inCleared;
    std::map<Key, std::vector<ReadGlyph>> ownBefore;  // the program's text of an earlier session
    std::set<std::string> pageFonts;  // faces the page's own text is set in, not the program's
    for (const ReadGlyph& glyph : readGlyphs(before)) {
        if (!glyph.own)
            pageFonts.insert(glyph.font);
        if (glyph.font.empty() || glyph.shape.isNull())
            continue;
        onPage[{glyph.font, glyph.code}].push_back(glyph.shape);
        if (glyph.own)
            ownBefore[{glyph.font, glyph.code}].push_back(glyph);
        if (std::any_of(cleared.begin(), cleared.end(), [&](const TurnedBox& place) { return place.contains(glyph.centre); }))
            inCleared[{glyph.font, glyph.code}].push_back(glyph.shape);
    }
    for (const ReadGlyph& glyph : readGlyphs(after)) {
        if (!glyph.own || glyph.font.empty() || !pageFonts.count(glyph.font))
            continue;  // the page's own text, or a face of the program's
        const Key key{glyph.font, glyph.code};
        // Text an earlier session wrote and this one left stands as it stood:
        // it is no letter of a line cleared now (one drawn there only in a
        // ligature, say).
        const auto earlier = ownBefore.find(key);
        if (earlier != ownBefore.end() && std::any_of(earlier->second.begin(), earlier->second.end(), [&](const ReadGlyph& g) {
                return QLineF(g.centre, glyph.centre).length() < kSamePlace && sameGlyphShape(g.shape, glyph.shape);
            }))
            continue;
        const auto replaced = inCleared.find(key);
        const auto anywhere = onPage.find(key);
        const std::vector<QRectF>* drawn = replaced != inCleared.end() ? &replaced->second
                                           : anywhere != onPage.end()  ? &anywhere->second
                                                                       : nullptr;
        if (!drawn || std::none_of(drawn->begin(), drawn->end(),
                                   [&](const QRectF& s) { return sameGlyphShape(s, glyph.shape); })) {
            *letter = QString::fromUcs4(&glyph.code, 1);
            return false;
        }
    }
    return true;
}

}  // namespace pdfengine
