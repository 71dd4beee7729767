#include "PageGlyphs.h"

#include "NativeTextLayout.h"
#include "PageOwnContent.h"

#include <QLineF>

#include <algorithm>
#include <cmath>
#include <utility>

namespace pdfengine {

namespace {

constexpr unsigned kVisibleAlpha = 9;
constexpr double kSameOrigin = 0.01;  // points
constexpr char32_t kEndOfLineHyphen = 2;  // pdfium's code for a hyphen that ends a line

bool drawsInvisibly(FPDF_PAGEOBJECT object, unsigned fillAlpha)
{
    const int mode = pdfApi().FPDFTextObj_GetTextRenderMode(object);
    return mode == pdfium::kTextRenderInvisible || fillAlpha < kVisibleAlpha;
}

} // namespace

// The size glyphs are drawn at: "1 Tf" text keeps its size in the matrix.
double drawnSize(FPDF_TEXTPAGE text, int index)
{
    double size = pdfApi().FPDFText_GetFontSize(text, index);
    FS_MATRIX m{};
    if (pdfApi().FPDFText_GetMatrix(text, index, &m)) {
        const double scale = std::hypot(double(m.c), double(m.d));
        if (scale > 1e-6 && std::isfinite(scale))
            size *= scale;
    }
    return size;
}

QRectF glyphShapeOf(FPDF_TEXTPAGE text, int index)
{
    const PdfiumApi& api = pdfApi();
    double left = 0, right = 0, bottom = 0, top = 0, x = 0, y = 0;
    FS_MATRIX m{};
    const double size = api.FPDFText_GetFontSize(text, index);
    if (!api.FPDFText_GetCharBox(text, index, &left, &right, &bottom, &top) ||
        !api.FPDFText_GetCharOrigin(text, index, &x, &y) || !api.FPDFText_GetMatrix(text, index, &m) || !(size > 0))
        return {};
    bool invertible = false;
    const QTransform toText = QTransform(m.a, m.b, m.c, m.d, 0, 0).inverted(&invertible);
    if (!invertible)
        return {};
    const QRectF box = rectFromEdges(left, top, right, bottom).translated(-x, -y);
    const QRectF shape = toText.mapRect(box);
    return QRectF(shape.topLeft() / size, shape.size() / size);
}

bool sameGlyphShape(const QRectF& a, const QRectF& b)
{
    constexpr double kSameShape = 0.02;  // of the size
    return std::abs(a.left() - b.left()) <= kSameShape && std::abs(a.right() - b.right()) <= kSameShape &&
           std::abs(a.top() - b.top()) <= kSameShape && std::abs(a.bottom() - b.bottom()) <= kSameShape;
}

GlyphPen glyphPenOf(FPDF_TEXTPAGE text, int index, char32_t code)
{
    const PdfiumApi& api = pdfApi();
    GlyphPen pen;
    double x = 0, y = 0;
    FS_RECTF loose{};
    FS_MATRIX m{};
    if (code == 0 || QChar::isSpace(code) || !api.FPDFText_GetMatrix(text, index, &m) ||
        !api.FPDFText_GetCharOrigin(text, index, &x, &y) || !api.FPDFText_GetLooseCharBox(text, index, &loose))
        return pen;
    const double length = std::hypot(double(m.a), double(m.b));
    const double scale = std::hypot(double(m.c), double(m.d));
    if (!(length > 1e-6) || !std::isfinite(length) || !(scale > 1e-6) || !std::isfinite(scale))
        return pen;
    pen.origin = QPointF(x, y);
    pen.along = QPointF(double(m.a) / length, double(m.b) / length);
    // The loose box lies along the baseline on upright and quarter-turned
    // text; on text turned otherwise it reaches further, which parts fewer words.
    pen.advance = std::abs(double(loose.right - loose.left)) * std::abs(pen.along.x()) +
                  std::abs(double(loose.top - loose.bottom)) * std::abs(pen.along.y());
    pen.size = api.FPDFText_GetFontSize(text, index) * scale;
    pen.word = true;
    return pen;
}

bool movedAWordOn(const GlyphPen& before, const GlyphPen& after)
{
    constexpr double kSameBaseline = 0.5;  // of the size: a raised letter stays on the line
    if (!before.word || !after.word)
        return false;
    const QPointF step = after.origin - before.origin;
    const double along = step.x() * before.along.x() + step.y() * before.along.y();
    const double across = step.y() * before.along.x() - step.x() * before.along.y();
    const double size = std::max(before.size, after.size);
    return std::abs(across) < kSameBaseline * size && isWordGap(along - before.advance, size);
}

bool PenMoves::before(int index, char32_t code)
{
    const PdfiumApi& api = pdfApi();
    const int last = std::exchange(m_last, -1);
    FS_MATRIX m{};
    FS_RECTF loose{};
    if (code == 0 || QChar::isSpace(code) || !api.FPDFText_GetMatrix(m_text, index, &m) ||
        !api.FPDFText_GetLooseCharBox(m_text, index, &loose))
        return false;
    // Upright and unskewed, the advance's box starts at the pen.
    const bool upright = m.a > 0 && m.b == 0 && m.c == 0 && m.d != 0;
    const bool touching = last >= 0 && upright && m_lastUpright && loose.left - m_lastRight <= 0;
    const bool moved = last >= 0 && !touching &&
                       movedAWordOn(glyphPenOf(m_text, last, m_lastCode), glyphPenOf(m_text, index, code));
    m_last = index;
    m_lastCode = code;
    m_lastUpright = upright;
    m_lastRight = loose.right;
    return moved;
}

PageGlyphs::PageGlyphs(FPDF_DOCUMENT doc, FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    m_doc = doc;
    TextPagePtr text(doc && page ? api.FPDFText_LoadPage(page) : nullptr);
    if (!text)
        return;
    const PdfPageTransform transform = pageTransformOf(page);
    std::set<FPDF_PAGEOBJECT> onPage;  // the page's own objects; a form's are not among them
    for (int i = api.FPDFPage_CountObjects(page) - 1; i >= 0; --i)
        onPage.insert(api.FPDFPage_GetObject(page, i));
    const int count = api.FPDFText_CountChars(text.get());
    struct Origin {
        QPointF point;
        FPDF_PAGEOBJECT object;
        char32_t code;
    };
    std::vector<Origin> origins;
    bool breakSeen = false;
    GlyphPen lastPen;
    for (int i = 0; i < count; ++i) {
        double left = 0, right = 0, bottom = 0, top = 0, x = 0, y = 0;
        FS_RECTF loose{};
        if (api.FPDFText_IsGenerated(text.get(), i) == 1) {
            breakSeen = true;
            continue;
        }
        if (!api.FPDFText_GetCharBox(text.get(), i, &left, &right, &bottom, &top) ||
            !api.FPDFText_GetCharOrigin(text.get(), i, &x, &y))
            continue;
        FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(text.get(), i);
        char32_t code = api.FPDFText_GetUnicode(text.get(), i);
        if (code == kEndOfLineHyphen)
            code = U'-';
        PageGlyph glyph;
        if (code >= 0x20 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF))
            glyph.text = QString::fromUcs4(&code, 1);
        glyph.box = transform.toPage(rectFromEdges(left, top, right, bottom));
        glyph.baseline = transform.toPage(QPointF(x, y)).y();
        const QRectF advance = api.FPDFText_GetLooseCharBox(text.get(), i, &loose)
                                   ? transform.toPage(rectFromEdges(loose.left, loose.top, loose.right, loose.bottom))
                                   : glyph.box;
        glyph.left = advance.left();
        glyph.right = advance.right();
        glyph.advanceBox = advance;
        glyph.origin = transform.toPage(QPointF(x, y));
        glyph.userOrigin = QPointF(x, y);
        glyph.size = drawnSize(text.get(), i);
        FS_MATRIX m{};
        if (api.FPDFText_GetMatrix(text.get(), i, &m))
            glyph.userMatrix = QTransform(m.a, m.b, m.c, m.d, x, y);
        const GlyphPen pen = glyphPenOf(text.get(), i, code);
        glyph.spaceBefore = std::exchange(breakSeen, false) || movedAWordOn(lastPen, pen);
        lastPen = pen;
        glyph.setSize = api.FPDFText_GetFontSize(text.get(), i);
        unsigned r = 0, g = 0, b = 0, a = 255;
        if (api.FPDFText_GetFillColor(text.get(), i, &r, &g, &b, &a) && r <= 255 && g <= 255 && b <= 255 && a <= 255)
            glyph.fill = QColor(int(r), int(g), int(b), int(a));
        glyph.font = object ? api.FPDFTextObj_GetFont(object) : nullptr;
        glyph.object = object;
        glyph.visible = object && !drawsInvisibly(object, glyph.fill.isValid() ? unsigned(glyph.fill.alpha()) : 255);
        glyph.own = object && isOwnObject(object);
        glyph.inForm = object && !onPage.count(object);
        glyph.shape = glyphShapeOf(text.get(), i);
        if (glyph.font && !m_drawn.count(glyph.font)) {
            m_fontKeepers.emplace_back(api.FPDFPageObj_CreateTextObj(doc, glyph.font, 1.0f));
            m_drawn[glyph.font];
        }
        m_glyphs.push_back(glyph);
        origins.push_back({QPointF(x, y), object, code});
    }
    // A font is seen drawing a character only from a glyph of its own: the
    // letters of a ligature share one glyph (TeX fonts draw "ffi" with no "f").
    auto sharesGlyph = [&](size_t a, size_t b) {
        return origins[a].object == origins[b].object &&
               QLineF(origins[a].point, origins[b].point).length() < kSameOrigin;
    };
    for (size_t i = 0; i < m_glyphs.size(); ++i) {
        const PageGlyph& glyph = m_glyphs[i];
        const bool ligature = (i > 0 && sharesGlyph(i - 1, i)) || (i + 1 < m_glyphs.size() && sharesGlyph(i, i + 1));
        if (glyph.font && glyph.visible && origins[i].code > 0 && !ligature) {
            m_drawn[glyph.font].insert(origins[i].code);
            std::vector<QRectF>& shapes = m_shapes[glyph.font][origins[i].code];
            if (!glyph.shape.isNull() && std::none_of(shapes.begin(), shapes.end(), [&](const QRectF& s) {
                    return sameGlyphShape(s, glyph.shape);
                }))
                shapes.push_back(glyph.shape);
        }
    }
}

PageGlyphs::~PageGlyphs() = default;

std::vector<GlyphSpot> PageGlyphs::spotsOf(const std::vector<size_t>& indexes) const
{
    std::vector<std::pair<QPointF, double>> drawn;
    drawn.reserve(m_glyphs.size());
    for (const PageGlyph& glyph : m_glyphs)
        drawn.emplace_back(glyph.userOrigin, glyph.size);
    return pdfengine::spotsOf(drawn, indexes);
}

std::vector<GlyphMark> pageGlyphMarks(FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    std::vector<GlyphMark> marks;
    forEachPageChar(page, [&](const PageChar& c) {
        FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(c.text, c.index);
        if (!object || c.code <= 0x20)
            return;
        unsigned r = 0, g = 0, b = 0, a = 255;
        const bool filled = api.FPDFText_GetFillColor(c.text, c.index, &r, &g, &b, &a) && a <= 255;
        GlyphMark mark;
        mark.centre = c.box.center();
        mark.size = api.FPDFText_GetFontSize(c.text, c.index);
        mark.invisible = drawsInvisibly(object, filled ? a : 255);
        marks.push_back(mark);
    });
    return marks;
}

std::vector<PageGlyph> PageGlyphs::inside(const QRectF& rect) const
{
    std::vector<PageGlyph> found;
    for (const PageGlyph& glyph : m_glyphs)
        if (rect.contains(glyph.box.center()))
            found.push_back(glyph);
    return found;
}

PageGlyph glyphInFrame(const PageGlyph& glyph, const QTransform& toFrame)
{
    if (toFrame.isIdentity())
        return glyph;
    PageGlyph turned = glyph;
    turned.box = toFrame.mapRect(glyph.box);
    turned.advanceBox = toFrame.mapRect(glyph.advanceBox);
    turned.origin = toFrame.map(glyph.origin);
    turned.left = turned.advanceBox.left();
    turned.right = turned.advanceBox.right();
    turned.baseline = turned.origin.y();
    return turned;
}

std::vector<PageGlyph> PageGlyphs::inside(const QRectF& rect, const QTransform& toFrame) const
{
    if (toFrame.isIdentity())
        return inside(rect);
    std::vector<PageGlyph> found;
    for (const PageGlyph& glyph : m_glyphs)
        if (rect.contains(toFrame.map(glyph.box.center())))
            found.push_back(glyphInFrame(glyph, toFrame));
    return found;
}

bool PageGlyphs::fontDraws(FPDF_FONT font, const QString& text) const
{
    const auto drawn = m_drawn.find(font);
    if (!font || drawn == m_drawn.end())
        return false;
    const QList<uint> points = text.toUcs4();
    return std::all_of(points.begin(), points.end(), [&](uint c) {
        float width = 0;
        return QChar::isSpace(c) || (drawn->second.count(char32_t(c)) &&
                                     pdfApi().FPDFFont_GetGlyphWidth(font, c, 1.0f, &width) && width > 0);
    });
}

bool PageGlyphs::fontDrawsAsPage(FPDF_FONT font, const QString& text, const std::vector<PageGlyph>& line) const
{
    if (!fontDraws(font, text))
        return false;
    const auto pageShapes = m_shapes.find(font);
    const PdfiumApi& api = pdfApi();
    std::set<char32_t> tried;
    for (const uint c : text.toUcs4()) {
        const char32_t code = char32_t(c);
        if (QChar::isSpace(c) || !tried.insert(code).second)
            continue;
        std::vector<QRectF> expected;
        for (const PageGlyph& glyph : line)
            if (glyph.font == font && glyph.text.toUcs4() == QList<uint>{c} && !glyph.shape.isNull())
                expected.push_back(glyph.shape);
        if (expected.empty() && pageShapes != m_shapes.end())
            if (const auto shapes = pageShapes->second.find(code); shapes != pageShapes->second.end())
                expected = shapes->second;
        // Set at size 1 where the text matrix is the identity, its bounds are its shape.
        PageObjectPtr probe(api.FPDFPageObj_CreateTextObj(m_doc, font, 1.0f));
        float left = 0, bottom = 0, right = 0, top = 0;
        if (!probe || !api.FPDFText_SetText(probe.get(), toPdfWide(QString::fromUcs4(&code, 1)).constData()) ||
            !api.FPDFPageObj_GetBounds(probe.get(), &left, &bottom, &right, &top))
            return false;
        const QRectF shape = rectFromEdges(left, top, right, bottom);
        if (std::none_of(expected.begin(), expected.end(), [&](const QRectF& s) { return sameGlyphShape(s, shape); }))
            return false;
    }
    return true;
}

bool PageGlyphs::fontDrawsSpace(FPDF_FONT font) const
{
    const auto drawn = m_drawn.find(font);
    return drawn != m_drawn.end() && drawn->second.count(U' ');
}

} // namespace pdfengine
