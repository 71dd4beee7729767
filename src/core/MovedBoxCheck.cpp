#include "MovedBoxCheck.h"

#include "PageGlyphs.h"
#include "PageOwnContent.h"
#include "PdfEngineInternal.h"

#include <QImage>

#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace pdfengine {

namespace {

constexpr double kPixelsPerPoint = 3.0;  // fine enough that a letter's dot is several pixels
constexpr double kMostPixels = 4e6;      // a moved box's picture, at most
constexpr int kInk = 200;                // greyer than this is ink
constexpr int kDifferent = 64;           // grey levels apart: another glyph, not rounding
constexpr int kMostDifferent = 3;        // pixels a box may show otherwise (edge rounding)

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

}  // namespace

bool movedBoxesLookAsBefore(FPDF_PAGE before, FPDF_PAGE after, const std::vector<MovedBox>& moved, QString* reason)
{
    const double height = pdfApi().FPDF_GetPageHeightF(after);
    for (const MovedBox& box : moved) {
        const QRectF to = box.from.bounds().translated(box.by);
        const double area = to.width() * to.height();
        if (!(area > 0) || !std::isfinite(area))
            continue;
        const double scale = std::min(kPixelsPerPoint, std::sqrt(kMostPixels / area));
        const double left = std::floor(to.left() * scale), top = std::floor((height - to.bottom()) * scale);
        const QSize size(int(std::ceil(to.right() * scale) - left), int(std::ceil((height - to.top()) * scale) - top));
        if (size.isEmpty())
            continue;
        const QImage now = drawn(after, size, scale, left, top);
        const QImage then = drawn(before, size, scale, left - box.by.x() * scale, top + box.by.y() * scale);
        const QImage under = drawn(before, size, scale, left, top);
        if (now.isNull() || then.isNull() || under.isNull()) {
            *reason = QStringLiteral("страницу не удалось нарисовать для проверки");
            return false;
        }
        int different = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QPointF point((left + x + 0.5) / scale, height - (top + y + 0.5) / scale);
                if (!box.from.contains(point - box.by) || greyAt(under, x, y) < kInk)
                    continue;
                different += std::abs(greyAt(now, x, y) - greyAt(then, x, y)) > kDifferent;
            }
        if (different > kMostDifferent) {
            *reason = QStringLiteral("перенесённая строка выглядит не так, как на старом месте");
            return false;
        }
    }
    return true;
}

bool writtenGlyphsAsPage(FPDF_PAGE before, FPDF_PAGE after, const std::vector<TurnedBox>& cleared, QString* letter)
{
    using Key = std::pair<std::string, char32_t>;
    std::map<Key, std::vector<QRectF>> onPage, inCleared;
    std::set<std::string> pageFonts;  // faces the page's own text is set in, not the program's
    for (const ReadGlyph& glyph : readGlyphs(before)) {
        if (!glyph.own)
            pageFonts.insert(glyph.font);
        if (glyph.font.empty() || glyph.shape.isNull())
            continue;
        onPage[{glyph.font, glyph.code}].push_back(glyph.shape);
        if (std::any_of(cleared.begin(), cleared.end(), [&](const TurnedBox& place) { return place.contains(glyph.centre); }))
            inCleared[{glyph.font, glyph.code}].push_back(glyph.shape);
    }
    for (const ReadGlyph& glyph : readGlyphs(after)) {
        if (!glyph.own || glyph.font.empty() || !pageFonts.count(glyph.font))
            continue;  // the page's own text, or a face of the program's
        const Key key{glyph.font, glyph.code};
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
