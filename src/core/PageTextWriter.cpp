#include "PageTextWriter.h"

#include "PageOwnContent.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace pdfengine {

namespace {

constexpr double kWhiteOutGrowth = 1.5;
constexpr double kBoundsSlack = 0.05;  // float rounding of bounds read back
constexpr double kMinWhiteRectSide = 0.1;
constexpr double kMinFitExtent = 0.01;
constexpr double kMinFitScale = 0.05;
constexpr double kMaxFitScale = 20.0;

void applyMatrix(FPDF_PAGEOBJECT object, const QTransform& m)
{
    pdfApi().FPDFPageObj_Transform(object, m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy());
}

QTransform rotationAbout(const QPointF& centre, double clockwiseDegrees)
{
    if (std::abs(clockwiseDegrees) <= 0.1)
        return {};
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(-clockwiseDegrees);  // y grows upward here: clockwise as displayed is negative
    t.translate(-centre.x(), -centre.y());
    return t;
}

} // namespace

PageTextWriter::PageTextWriter(FPDF_DOCUMENT doc, FPDF_PAGE page, WriterFonts& fonts)
    : m_doc(doc), m_page(page), m_transform(pageTransformOf(page)), m_toUser(m_transform.toUserMatrix()), m_fonts(fonts)
{
}

PageTextWriter::~PageTextWriter() = default;

void PageTextWriter::transformIntoPage(FPDF_PAGEOBJECT object, const QTransform& displayed) const
{
    applyMatrix(object, displayed * m_toUser);
}

// Every object the program writes carries its own mark, so a later write finds it.
bool PageTextWriter::insertOwn(FPDF_PAGEOBJECT object)
{
    const bool inserted = markAsOwn(object) && pdfApi().FPDFPage_InsertObject(m_page, object);
    m_inserted += inserted;
    return inserted;
}

void PageTextWriter::noteDrawn(FPDF_PAGEOBJECT object, int type)
{
    const QRectF bounds = m_transform.toPage(pageObjectBounds(object, type));
    if (!bounds.isEmpty())
        m_drawn.push_back(bounds);
}

bool PageTextWriter::placeTextObject(const QString& text, const QRectF& rect, const TextStyle& style, bool invisible,
                                     const QTransform& displayedMatrixExtra, double baselineLift, bool blankAfter)
{
    if (!m_doc || text.isEmpty())
        return false;
    FPDF_FONT font = m_fonts.fontFor(style.fontFamily, style.bold, style.italic, text,
                                     invisible ? WriterFonts::Drawn::Invisibly : WriterFonts::Drawn::Visibly);
    if (!font) {
        m_lastError = m_fonts.lastError();
        return false;
    }
    m_lastError = QStringLiteral("pdfium не принял текстовый объект.");
    const PdfiumApi& api = pdfApi();
    const float size = std::max(style.fontSize, 1.0f);
    PageObjectPtr object(api.FPDFPageObj_CreateTextObj(m_doc, font, size));
    if (!object)
        return false;
    const QVector<unsigned short> wide = toPdfWide(text);
    if (!api.FPDFText_SetText(object.get(), wide.constData()))
        return false;
    const QColor color = style.color.isValid() ? style.color : QColor(Qt::black);
    api.FPDFPageObj_SetFillColor(object.get(), uint(color.red()), uint(color.green()), uint(color.blue()),
                                 uint(color.alpha()));
    if (invisible)
        api.FPDFTextObj_SetTextRenderMode(object.get(), pdfium::kTextRenderInvisible);

    const double lift = baselineLift >= 0 ? baselineLift : kBaselineLiftOfSize * size;
    QTransform placement = QTransform::fromTranslate(rect.x(), rect.y() + lift);
    float left = 0, bottom = 0, right = 0, top = 0;
    if (invisible && api.FPDFPageObj_GetBounds(object.get(), &left, &bottom, &right, &top)) {
        const double bw = std::max(double(right - left), kMinFitExtent);
        const double bh = std::max(double(top - bottom), kMinFitExtent);
        const double sx = std::clamp(rect.width() / bw, kMinFitScale, kMaxFitScale);
        const double sy = std::clamp(rect.height() / bh, kMinFitScale, kMaxFitScale);
        placement = QTransform(sx, 0, 0, sy, rect.x() - left * sx, rect.y() - bottom * sy);
    }
    if (blankAfter && !api.FPDFText_SetText(object.get(), toPdfWide(text + QLatin1Char(' ')).constData()))
        return false;
    transformIntoPage(object.get(), placement * displayedMatrixExtra);
    if (!insertOwn(object.get()))
        return false;
    if (!invisible)
        noteDrawn(object.get(), pdfium::kPageObjText);
    object.release();
    m_lastError.clear();
    return true;
}

bool PageTextWriter::addVisibleText(const QString& text, const QRectF& rect, const TextStyle& style,
                                    double rotationDegrees, const QPointF& rotationCentre, double baselineLift)
{
    return placeTextObject(text, rect, style, false, rotationAbout(rotationCentre, rotationDegrees), baselineLift);
}

bool PageTextWriter::addVisibleText(const QString& text, const QRectF& rect, const TextStyle& style,
                                    const QTransform& placement, double baselineLift)
{
    return placeTextObject(text, rect, style, false, placement, baselineLift);
}

namespace {

constexpr double kMinHorizontalScale = 0.5;
constexpr double kMaxHorizontalScale = 2.0;
constexpr double kEdgeMargin = 0.25;     // points kept clear of the page's right edge
constexpr double kWordGapOfSize = 0.33;  // a word gap when the page shows none
constexpr double kMinJustifiedGapOfSize = 0.15;  // below this a justified line's glyphs narrow instead
constexpr double kMaxJustifiedGapOfSize = 1.0;   // above this the words would read as columns

// Advance of text in font at size, points; blanks count as nothing when
// skipBlanks. complete (when given) tells whether the font knew every character.
double advanceOf(FPDF_FONT font, const QString& text, double size, bool skipBlanks, bool* complete = nullptr)
{
    double total = 0;
    if (complete)
        *complete = font != nullptr;
    for (const uint c : text.toUcs4()) {
        if (skipBlanks && QChar::isSpace(c))
            continue;
        float width = 0;
        if (pdfApi().FPDFFont_GetGlyphWidth(font, c, float(size), &width) && std::isfinite(width) && width > 0)
            total += width;
        else if (complete && !QChar::isSpace(c))
            *complete = false;
    }
    return total;
}

// How far the line may run from start towards along (one point further on
// its baseline) before it leaves page, less a margin; unbounded when it
// starts outside.
double roomAlong(const QRectF& page, const QPointF& start, const QPointF& along)
{
    const QRectF inner = page.adjusted(kEdgeMargin, kEdgeMargin, -kEdgeMargin, -kEdgeMargin);
    if (!inner.contains(start))
        return std::numeric_limits<double>::infinity();
    const QPointF step = along - start;
    double room = std::numeric_limits<double>::infinity();
    if (step.x() > 1e-9)
        room = std::min(room, (inner.right() - start.x()) / step.x());
    else if (step.x() < -1e-9)
        room = std::min(room, (inner.left() - start.x()) / step.x());
    if (step.y() > 1e-9)
        room = std::min(room, (inner.bottom() - start.y()) / step.y());
    else if (step.y() < -1e-9)
        room = std::min(room, (inner.top() - start.y()) / step.y());
    return room;
}

int blankCount(const QString& text)
{
    return int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }));
}

double medianOf(std::vector<double> values, double fallback)
{
    if (values.empty())
        return fallback;
    std::nth_element(values.begin(), values.begin() + qsizetype(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The visible glyphs of a line as text, one colour per character, with a
// blank where the page reads a word break.
struct OldLine {
    QString text;
    std::vector<QColor> colors;
    double left = 0;
    double right = 0;
    double size = 0;
    double wordGap = 0;  // median gap at word breaks, 0 when none
    double glyphAdvance = 0;  // the advances of its glyphs but blanks, without the room between them
    FPDF_FONT font = nullptr;  // the one font all its glyphs use, else null
};

// A recognised line's old text over a scan: what was read there, at the
// width its ink spans.
OldLine recognisedOldLine(const QString& text, const QRectF& rect, const QColor& color)
{
    OldLine line;
    line.text = text;
    line.colors.assign(size_t(text.size()), color);
    line.left = rect.left();
    line.right = rect.right();
    return line;
}

OldLine oldLineOf(const std::vector<PageGlyph>& ink)
{
    OldLine line;
    line.left = ink.front().left;
    line.right = ink.front().right;
    line.font = ink.front().font;
    std::vector<double> sizes, gaps;
    for (size_t i = 0; i < ink.size(); ++i) {
        const PageGlyph& glyph = ink[i];
        const QColor fill = glyph.fill.isValid() ? glyph.fill : QColor(Qt::black);
        if (i > 0 && glyph.spaceBefore && !line.text.endsWith(QLatin1Char(' '))) {
            line.text += QLatin1Char(' ');
            line.colors.push_back(line.colors.back());
            gaps.push_back(glyph.left - ink[i - 1].right);
        }
        line.text += glyph.text;
        line.colors.insert(line.colors.end(), size_t(glyph.text.size()), fill);
        if (!glyph.text.trimmed().isEmpty())
            line.glyphAdvance += std::max(glyph.right - glyph.left, 0.0);
        line.left = std::min(line.left, glyph.left);
        line.right = std::max(line.right, glyph.right);
        if (glyph.size > 0)
            sizes.push_back(glyph.size);
        if (glyph.font != line.font)
            line.font = nullptr;
    }
    line.size = medianOf(sizes, 0);
    line.wordGap = std::max(medianOf(gaps, 0), 0.0);
    return line;
}

// How a rewritten line runs along its baseline: the text laid, whether its
// words are placed apart, the gap between them, the glyphs' horizontal scale,
// where it starts and the natural advance of its glyphs.
struct LineRun {
    QString text;
    bool gapped = false;
    double gap = 0;
    double scale = 1;
    double x0 = 0;
    double natural = 0;
};

// The old line's width is kept: a line set in the page's own spacing scales
// its glyphs to it; a justified one keeps its glyphs' own width and shares the
// rest out between its words. A right-aligned line ends where the old one
// ended, a centred one keeps its centre; none grows past the page's left edge.
// Words too few to fill a justified line stand at its start, as a
// paragraph's last line does.
LineRun lineRun(const QString& text, const OldLine& old, FPDF_FONT font, double size, bool fontHasNoBlank,
                Qt::Alignment alignment, double start)
{
    LineRun run;
    run.text = alignment == Qt::AlignJustify ? text.simplified() : text;
    const int blanks = blankCount(run.text);
    const bool justified = alignment == Qt::AlignJustify && blanks > 0;
    run.gapped = fontHasNoBlank || justified;
    run.gap = run.gapped ? (old.wordGap > 0 ? old.wordGap : kWordGapOfSize * size) : 0.0;
    const double oldWidth = old.right - old.left;
    run.natural = advanceOf(font, run.text, size, run.gapped);
    if (justified) {
        // The page's font tells its glyphs' advances, else their boxes do.
        const double oldInk = advanceOf(font, old.text, size, true);
        bool known = false;
        const double oldAdvance = old.font ? advanceOf(old.font, old.text, size, true, &known) : 0.0;
        const double glyphs = known && oldAdvance > 0 ? oldAdvance : old.glyphAdvance;
        run.scale = std::clamp(oldInk > 0 ? glyphs / oldInk : 1.0, kMinHorizontalScale, kMaxHorizontalScale);
        run.gap = (oldWidth - run.scale * run.natural) / blanks;
        if (run.gap < kMinJustifiedGapOfSize * size && run.natural > 0) {
            run.gap = kMinJustifiedGapOfSize * size;
            run.scale = std::max((oldWidth - run.gap * blanks) / run.natural, kMinFitScale);
        }
        if (run.gap > std::max(kMaxJustifiedGapOfSize * size, old.wordGap))
            return lineRun(text, old, font, size, fontHasNoBlank, Qt::AlignLeft, start);
    } else {
        const double oldNatural = advanceOf(font, old.text, size, run.gapped);
        const double oldGaps = run.gapped ? run.gap * blankCount(old.text) : 0.0;
        run.scale = std::clamp(oldNatural > 0 ? (oldWidth - oldGaps) / oldNatural : 1.0, kMinHorizontalScale,
                               kMaxHorizontalScale);
    }
    const double gaps = run.gapped ? run.gap * blanks : 0.0;
    run.x0 = start;
    if (alignment == Qt::AlignRight)
        run.x0 = start + oldWidth - (run.scale * run.natural + gaps);
    else if (alignment == Qt::AlignHCenter)
        run.x0 = start + (oldWidth - (run.scale * run.natural + gaps)) / 2;
    if (run.x0 < kEdgeMargin && run.x0 < start) {
        const double end = run.x0 + run.scale * run.natural + gaps;
        run.x0 = kEdgeMargin;
        if (run.natural > 0)
            run.scale = std::max((end - run.x0 - gaps) / run.natural, kMinFitScale);
    }
    return run;
}

} // namespace

std::vector<QColor> colorsForRewrittenText(const QString& oldText, const std::vector<QColor>& oldColors,
                                           const QString& newText, const QColor& fallback)
{
    const qsizetype m = std::min(oldText.size(), qsizetype(oldColors.size()));
    const qsizetype n = newText.size();
    std::vector<QColor> colors(size_t(n), fallback);
    if (m == 0)
        return colors;
    qsizetype prefix = 0;
    while (prefix < m && prefix < n && oldText[prefix] == newText[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < m - prefix && suffix < n - prefix && oldText[m - 1 - suffix] == newText[n - 1 - suffix])
        ++suffix;
    const QColor replaced = prefix < m - suffix ? oldColors[size_t(prefix)] : oldColors[size_t(std::max<qsizetype>(prefix - 1, 0))];
    for (qsizetype i = 0; i < n; ++i) {
        if (i < prefix)
            colors[size_t(i)] = oldColors[size_t(i)];
        else if (i >= n - suffix)
            colors[size_t(i)] = oldColors[size_t(m - (n - i))];
        else
            colors[size_t(i)] = replaced;
        if (i > 0 && newText[i].isSpace())
            colors[size_t(i)] = colors[size_t(i - 1)];
    }
    return colors;
}

bool PageTextWriter::placeRun(FPDF_FONT font, double size, const QString& text, const QColor& color,
                              const QTransform& placement)
{
    const PdfiumApi& api = pdfApi();
    PageObjectPtr object(api.FPDFPageObj_CreateTextObj(m_doc, font, float(size)));
    if (!object)
        return false;
    const QVector<unsigned short> wide = toPdfWide(text);
    if (!api.FPDFText_SetText(object.get(), wide.constData()))
        return false;
    const QColor fill = color.isValid() ? color : QColor(Qt::black);
    api.FPDFPageObj_SetFillColor(object.get(), uint(fill.red()), uint(fill.green()), uint(fill.blue()),
                                 uint(fill.alpha()));
    transformIntoPage(object.get(), placement);
    if (!insertOwn(object.get()))
        return false;
    noteDrawn(object.get(), pdfium::kPageObjText);
    object.release();
    return true;
}

// pdfium sets no Tz: the horizontal scale goes into the text matrix, which
// readers treat alike.
bool PageTextWriter::addRewrittenLine(const QString& text, const QRectF& rect, const TextStyle& style,
                                      const OldLinePlace& place, const PageGlyphs& glyphs,
                                      const QTransform& placement, double baselineLift, bool stepWords)
{
    const std::vector<PageGlyph> inside = glyphs.inside(place.rect, place.toFrame);
    std::vector<PageGlyph> ink;
    for (const PageGlyph& glyph : inside)
        if (glyph.visible && !glyph.text.isEmpty())
            ink.push_back(glyph);
    // Over a scan the invisible layer's glyphs give the words' extent only:
    // its font draws nothing, and its colour is not the ink's. Only a layer
    // this program wrote stands at the ink's size.
    const bool layerOnly = ink.empty();
    if (layerOnly)
        std::copy_if(inside.begin(), inside.end(), std::back_inserter(ink),
                     [](const PageGlyph& glyph) { return !glyph.text.isEmpty(); });
    const bool recognised = ink.empty() && !place.recognisedText.trimmed().isEmpty() && hasArea(place.rect);
    if ((ink.empty() && !recognised) || text.isEmpty()) {
        QRectF at = rect;
        if (place.laid)
            at.moveLeft(rect.x() + place.laid->origin.x());
        return addVisibleText(text, at, style, placement, baselineLift);
    }
    OldLine old = recognised ? recognisedOldLine(place.recognisedText, place.rect, style.color) : oldLineOf(ink);
    if (layerOnly) {
        // This program sets its searchable layer at the recognised size (an
        // earlier layer stretched it to the words' boxes by its matrix).
        const bool ownLayer = std::all_of(ink.begin(), ink.end(), [](const PageGlyph& glyph) { return glyph.own; });
        std::vector<double> setSizes;
        for (const PageGlyph& glyph : ink)
            if (glyph.setSize > 0)
                setSizes.push_back(glyph.setSize);
        old.font = nullptr;
        old.size = ownLayer ? medianOf(setSizes, 0) : 0;
        old.colors.assign(old.colors.size(), style.color);
    }
    const double size = old.size > 0 ? old.size : std::max(double(style.fontSize), 1.0);

    // The page's own font when it draws every character; its word breaks
    // stay gaps where it has no blank of its own (TeX fonts).
    const bool own = !place.restyled && old.font && glyphs.fontDraws(old.font, text);
    FPDF_FONT font = own ? old.font
                         : m_fonts.fontFor(style.fontFamily, style.bold, style.italic, text, WriterFonts::Drawn::Visibly);
    if (!font) {
        m_lastError = m_fonts.lastError();
        return false;
    }
    // Alignment holds along the page's own lines; a turned or scanned line
    // starts where it started.
    const bool turned = std::abs(std::atan2(placement.m12(), placement.m11())) * 180.0 / M_PI > kBlockRotationEpsilon;
    const bool native = place.laid && !layerOnly;
    const Qt::Alignment alignment = native && !turned ? place.laid->alignment : Qt::AlignLeft;
    const double start = native ? rect.x() + place.laid->origin.x() : rect.x() + (old.left - place.rect.x());
    const LineRun laidOut =
        lineRun(text, old, font, size, own && !glyphs.fontDrawsSpace(old.font), alignment, start);
    const QString& laid = laidOut.text;
    const bool gapped = laidOut.gapped;
    const double gap = laidOut.gap;
    double scale = laidOut.scale;
    const double x0 = laidOut.x0;
    const double newNatural = laidOut.natural;
    const double newGaps = gapped ? gap * blankCount(laid) : 0.0;
    const double baseline = rect.y() + (baselineLift >= 0 ? baselineLift : kBaselineLiftOfSize * size);
    const double room = roomAlong(QRectF(QPointF(0, 0), m_transform.pageSize()), placement.map(QPointF(x0, baseline)),
                                  placement.map(QPointF(x0 + 1, baseline)));
    if (newNatural > 0 && scale * newNatural + newGaps > room)
        scale = std::max((room - newGaps) / newNatural, 0.05);

    const std::vector<QColor> colors = colorsForRewrittenText(old.text, old.colors, laid, style.color);
    m_lastError = QStringLiteral("pdfium не принял текстовый объект.");
    const bool wordByWord = gapped || stepWords;
    double x = x0;
    qsizetype from = 0;
    while (from < laid.size()) {
        if (wordByWord && laid[from].isSpace()) {
            x += gapped ? gap : scale * advanceOf(font, laid.mid(from, 1), size, false);
            ++from;
            continue;
        }
        qsizetype end = from + 1;
        while (end < laid.size() && colors[size_t(end)] == colors[size_t(from)] && !(wordByWord && laid[end].isSpace()))
            ++end;
        const QString run = laid.mid(from, end - from);
        const double width = scale * advanceOf(font, run, size, false);
        QTransform at = QTransform(scale, 0, 0, 1, x, baseline) * placement;
        if (stepWords) {
            const QPointF middle = placement.map(QPointF(x + width / 2, baseline));
            at = QTransform(scale, 0, 0, 1, middle.x() - width / 2, middle.y());
        }
        if (!placeRun(font, size, run, colors[size_t(from)], at))
            return false;
        x += width;
        from = end;
    }
    m_lastError.clear();
    return true;
}

bool PageTextWriter::addInvisibleRun(const QString& text, const QRectF& rect, double baseline, const TextStyle& style,
                                     const QTransform& placement, bool stepped, bool blankAfter)
{
    if (!m_doc || text.isEmpty())
        return false;
    FPDF_FONT font = m_fonts.fontFor(style.fontFamily, style.bold, style.italic, text, WriterFonts::Drawn::Invisibly);
    if (!font) {
        m_lastError = m_fonts.lastError();
        return false;
    }
    m_lastError = QStringLiteral("pdfium не принял текстовый объект.");
    const double size = std::max(double(style.fontSize), 1.0);
    PageObjectPtr object(pdfApi().FPDFPageObj_CreateTextObj(m_doc, font, float(size)));
    if (!object)
        return false;
    // The blank stands past the stretched word, in the gap before the next.
    const QVector<unsigned short> wide = toPdfWide(blankAfter ? text + QLatin1Char(' ') : text);
    if (!pdfApi().FPDFText_SetText(object.get(), wide.constData()))
        return false;
    pdfApi().FPDFPageObj_SetFillColor(object.get(), 0, 0, 0, 0);
    pdfApi().FPDFTextObj_SetTextRenderMode(object.get(), pdfium::kTextRenderInvisible);
    const double natural = advanceOf(font, text, size, false);
    const double stretch = natural > kMinFitExtent ? std::clamp(rect.width() / natural, kMinFitScale, kMaxFitScale) : 1.0;
    QTransform at = QTransform(stretch, 0, 0, 1, rect.x(), baseline) * placement;
    if (stepped) {
        const QPointF middle = placement.map(QPointF(rect.center().x(), baseline));
        at = QTransform(stretch, 0, 0, 1, middle.x() - rect.width() / 2, middle.y());
    }
    transformIntoPage(object.get(), at);
    if (!insertOwn(object.get()))
        return false;
    object.release();
    m_lastError.clear();
    return true;
}

bool PageTextWriter::addInvisibleText(const QString& text, const QRectF& rect, const TextStyle& style, bool blankAfter)
{
    TextStyle transparent = style;
    transparent.color = QColor(0, 0, 0, 0);
    return placeTextObject(text, rect, transparent, true, QTransform(), -1, blankAfter);
}

bool PageTextWriter::addWhiteRect(const QRectF& rect, double rotationDegrees)
{
    return addWhiteBox(TurnedBox(rect.normalized(), std::abs(rotationDegrees) <= 0.1 ? 0.0 : rotationDegrees),
                       kWhiteOutGrowth);
}

bool PageTextWriter::addWhiteBox(const TurnedBox& box, double growth)
{
    const QRectF grown = box.rect.normalized().adjusted(-growth, -growth, growth, growth);
    if (grown.width() <= kMinWhiteRectSide || grown.height() <= kMinWhiteRectSide)
        return true;
    const PdfiumApi& api = pdfApi();
    PageObjectPtr path(api.FPDFPageObj_CreateNewRect(float(grown.x()), float(grown.y()), float(grown.width()),
                                                     float(grown.height())));
    if (!path)
        return false;
    api.FPDFPageObj_SetFillColor(path.get(), 255, 255, 255, 255);
    api.FPDFPath_SetDrawMode(path.get(), pdfium::kFillModeWinding, 0);
    transformIntoPage(path.get(), box.toPage());
    if (!insertOwn(path.get()))
        return false;
    path.release();
    return true;
}

bool PageTextWriter::addImage(const QRectF& rect, const QImage& image, double rotationDegrees)
{
    if (!insertImageObject(m_doc, m_page, rect, image, rotationAbout(rect.center(), rotationDegrees) * m_toUser))
        return false;
    const int count = pdfApi().FPDFPage_CountObjects(m_page);
    FPDF_PAGEOBJECT inserted = count > 0 ? pdfApi().FPDFPage_GetObject(m_page, count - 1) : nullptr;
    m_inserted += inserted != nullptr;
    if (inserted)
        noteDrawn(inserted, pdfium::kPageObjImage);
    return inserted && markAsOwn(inserted);
}

// The index of the topmost image object whose displayed bounds are rect, or -1.
int PageTextWriter::imageObjectAt(const QRectF& rect) const
{
    constexpr double kSlack = 0.5;  // points; the rect was read from these bounds
    const PdfiumApi& api = pdfApi();
    for (int i = api.FPDFPage_CountObjects(m_page) - 1; i >= 0; --i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, i);
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjImage)
            continue;
        const QRectF shown = m_transform.toPage(pageObjectBounds(object, pdfium::kPageObjImage));
        if (std::abs(shown.left() - rect.left()) <= kSlack && std::abs(shown.right() - rect.right()) <= kSlack &&
            std::abs(shown.top() - rect.top()) <= kSlack && std::abs(shown.bottom() - rect.bottom()) <= kSlack)
            return i;
    }
    return -1;
}

// A new object takes the old one's place, so an image stream that other
// pages or objects share is left as it is.
bool PageTextWriter::replaceImage(const QRectF& rect, const QImage& image)
{
    const PdfiumApi& api = pdfApi();
    const int index = imageObjectAt(rect);
    if (index < 0 || image.isNull())
        return false;
    FPDF_PAGEOBJECT old = api.FPDFPage_GetObject(m_page, index);
    const QRectF shown = m_transform.toPage(pageObjectBounds(old, pdfium::kPageObjImage));
    if (!insertImageObject(m_doc, m_page, shown, image, m_toUser))
        return false;
    const int last = api.FPDFPage_CountObjects(m_page) - 1;
    PageObjectPtr fresh(api.FPDFPage_GetObject(m_page, last));
    if (!fresh || !api.FPDFPage_RemoveObject(m_page, fresh.get())) {
        (void)fresh.release();  // still the page's
        return false;
    }
    if (!api.FPDFPage_RemoveObject(m_page, old))
        return false;
    PageObjectPtr doomed(old);
    if (!markAsOwn(fresh.get()) || !api.FPDFPage_InsertObjectAtIndex(m_page, fresh.get(), size_t(index))) {
        // Back as it was: the old picture in its place.
        if (api.FPDFPage_InsertObjectAtIndex(m_page, doomed.get(), size_t(index)))
            (void)doomed.release();
        return false;
    }
    (void)fresh.release();
    ++m_inserted;
    return true;
}

bool PageTextWriter::addMarkupRect(const QRectF& rect, const QColor& color)
{
    const PdfiumApi& api = pdfApi();
    PageObjectPtr path(
        api.FPDFPageObj_CreateNewRect(float(rect.x()), float(rect.y()), float(rect.width()), float(rect.height())));
    if (!path)
        return false;
    api.FPDFPageObj_SetFillColor(path.get(), uint(color.red()), uint(color.green()), uint(color.blue()),
                                 uint(color.alpha()));
    api.FPDFPath_SetDrawMode(path.get(), pdfium::kFillModeWinding, 0);
    api.FPDFPageObj_SetBlendMode(path.get(), "Multiply");
    transformIntoPage(path.get(), QTransform());
    if (!insertOwn(path.get()))
        return false;
    path.release();
    return true;
}

bool PageTextWriter::removeTextObjectsWhere(const std::function<bool(FPDF_PAGEOBJECT)>& doomed)
{
    const PdfiumApi& api = pdfApi();
    bool removed = false;
    for (int i = api.FPDFPage_CountObjects(m_page) - 1; i >= 0; --i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, i);
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjText || !doomed(object))
            continue;
        if (api.FPDFPage_RemoveObject(m_page, object)) {
            api.FPDFPageObj_Destroy(object);
            removed = true;
        }
    }
    return removed;
}

namespace {

// The corners of a white rectangle drawn turned by its matrix, in user space,
// found from its upright bounds; empty when the matrix does not tell them.
std::vector<QPointF> turnedRectCorners(FPDF_PAGEOBJECT object, const QRectF& bounds)
{
    FS_MATRIX m{};
    if (!pdfApi().FPDFPageObj_GetMatrix(object, &m))
        return {};
    // The bounds span |a|w + |c|h across and |b|w + |d|h up.
    const double a = std::abs(m.a), b = std::abs(m.b), c = std::abs(m.c), d = std::abs(m.d);
    const double det = a * d - b * c;
    if (std::abs(det) < 1e-6)
        return {};
    const double w = (d * bounds.width() - c * bounds.height()) / det;
    const double h = (a * bounds.height() - b * bounds.width()) / det;
    if (!(w >= 0) || !(h >= 0))
        return {};
    const QPointF centre = bounds.center();
    std::vector<QPointF> corners;
    for (const double sx : {-0.5, 0.5})
        for (const double sy : {-0.5, 0.5})
            corners.push_back(centre + QPointF(m.a * sx * w + m.c * sy * h, m.b * sx * w + m.d * sy * h));
    return corners;
}

bool drawnInvisibly(FPDF_PAGEOBJECT object)
{
    constexpr unsigned kInvisibleAlpha = 5;
    unsigned r = 0, g = 0, b = 0, a = 255;
    const bool transparent = pdfApi().FPDFPageObj_GetFillColor(object, &r, &g, &b, &a) && a < kInvisibleAlpha;
    return transparent || pdfApi().FPDFTextObj_GetTextRenderMode(object) == pdfium::kTextRenderInvisible;
}

} // namespace

bool PageTextWriter::removeInvisibleText()
{
    return removeTextObjectsWhere(drawnInvisibly);
}

void PageTextWriter::collectOwnInvisibleText(const std::vector<TurnedBox>& kept, std::vector<int>& indices,
                                             std::vector<QRectF>& boxes) const
{
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(m_page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, i);
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjText || !drawnInvisibly(object) ||
            !isOwnObject(object))
            continue;
        const QRectF box = m_transform.toPage(pageObjectBounds(object, pdfium::kPageObjText));
        if (std::none_of(kept.begin(), kept.end(), [&](const TurnedBox& r) { return r.contains(box.center()); })) {
            indices.push_back(i);
            boxes.push_back(box);
        }
    }
}

void PageTextWriter::collectTextInside(const TurnedBox& box, std::vector<int>& own, std::vector<int>& original) const
{
    const TurnedBox area = box.grown(kWhiteOutGrowth);
    const QRectF upright = area.rect.adjusted(-kBoundsSlack, -kBoundsSlack, kBoundsSlack, kBoundsSlack);
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(m_page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, i);
        const int type = object ? api.FPDFPageObj_GetType(object) : pdfium::kPageObjUnknown;
        // An earlier white-out of the program inside this one is replaced by it.
        const bool oldWhiteOut = type == pdfium::kPageObjPath && isOwnWhiteOut(object);
        if (type != pdfium::kPageObjText && !oldWhiteOut)
            continue;
        const QRectF bounds = m_transform.toPage(pageObjectBounds(object, type));
        // A turned box holds what is centred in it: the upright bounds of a
        // turned object stick out of it.
        bool inside = area.isTurned() ? area.contains(bounds.center()) : upright.contains(bounds);
        // An earlier white-out hides the scan's ink it was drawn over: it goes
        // only where the new one covers all of it, or that ink shows again.
        if (inside && oldWhiteOut && area.isTurned()) {
            const QRectF user = pageObjectBounds(object, type);
            const std::vector<QPointF> corners = turnedRectCorners(object, user);
            inside = !corners.empty() && std::all_of(corners.begin(), corners.end(), [&](const QPointF& corner) {
                return area.contains(m_transform.toPage(corner));
            });
        }
        if (bounds.isEmpty() || !inside)
            continue;
        std::vector<int>& list = oldWhiteOut || isOwnObject(object) ? own : original;
        if (std::find(list.begin(), list.end(), i) == list.end())
            list.push_back(i);
    }
}

QRectF PageTextWriter::invisibleTextAround(const TurnedBox& box) const
{
    if (box.isTurned())
        return {};  // a turned layer's line box already spans its words
    const PdfiumApi& api = pdfApi();
    QRectF around;
    const int count = api.FPDFPage_CountObjects(m_page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, i);
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjText || !drawnInvisibly(object))
            continue;
        const QRectF bounds = m_transform.toPage(pageObjectBounds(object, pdfium::kPageObjText));
        if (!bounds.isEmpty() && box.rect.contains(bounds.center()))
            around = around.isNull() ? bounds : around.united(bounds);
    }
    return around;
}

void PageTextWriter::collectInvisibleText(std::vector<int>& own, std::vector<int>& original,
                                          std::vector<QRectF>& ownBoxes, std::vector<QRectF>& originalBoxes) const
{
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(m_page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, i);
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjText || !drawnInvisibly(object))
            continue;
        const bool mine = isOwnObject(object);
        (mine ? own : original).push_back(i);
        (mine ? ownBoxes : originalBoxes).push_back(m_transform.toPage(pageObjectBounds(object, pdfium::kPageObjText)));
    }
}

bool PageTextWriter::removeObjectsAt(std::vector<int> indices)
{
    const PdfiumApi& api = pdfApi();
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    bool removed = false;
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(m_page, *it);
        if (object && api.FPDFPage_RemoveObject(m_page, object)) {
            api.FPDFPageObj_Destroy(object);
            removed = true;
        }
    }
    return removed;
}

namespace {

constexpr double kAverageGlyphWidth = 0.5;  // of the font size, for wrapping without font metrics

// Greedy word wrap of one paragraph to at most maxChars characters a line.
QStringList wrapParagraph(const QString& paragraph, int maxChars)
{
    QStringList lines;
    QString current;
    for (QString word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        while (word.size() > maxChars) {
            if (!current.isEmpty()) {
                lines << current;
                current.clear();
            }
            lines << word.left(maxChars);
            word = word.mid(maxChars);
        }
        if (current.isEmpty())
            current = word;
        else if (current.size() + 1 + word.size() <= maxChars)
            current += QLatin1Char(' ') + word;
        else {
            lines << current;
            current = word;
        }
    }
    lines << current;  // an empty paragraph keeps its empty line
    return lines;
}

double linePitch(const TextBlock& block, double fallback)
{
    if (block.lines.size() < 2)
        return block.lines.empty() ? fallback : std::max(block.lines.front().rect.height(), fallback);
    std::vector<double> steps;
    for (size_t i = 1; i < block.lines.size(); ++i)
        steps.push_back(std::abs(block.lines[i - 1].rect.bottom() - block.lines[i].rect.bottom()));
    std::sort(steps.begin(), steps.end());
    const double median = steps[steps.size() / 2];
    return median > 0.5 ? median : fallback;
}

// A line's recognised words stay while they still spell its text: a line
// of an edited block left as it was keeps its searchable copy word by word
// along its turned baseline, not one upright run across it.
void dropStaleWords(TextBlock::Line& line)
{
    QStringList words;
    for (const TextBlock::Line::Word& word : line.words)
        words << word.text;
    if (words.join(QLatin1Char(' ')).simplified() != line.text.simplified())
        line.words.clear();
}

TextBlock::Line lineStyledAs(const TextBlock& block)
{
    TextBlock::Line line;
    if (!block.lines.empty()) {
        line = block.lines.front();
        line.spans.clear();
        line.words.clear();
        line.glyphBoxes.clear();  // the first line's glyphs are not those of a line laid out anew
        line.placement.reset();
        line.originalText.clear();  // nor is its place on the page
        line.originalRect = QRectF();
    } else {
        line.fontFamily = block.fontFamily;
        line.fontSize = block.fontSize;
        line.color = block.color;
        line.bold = block.bold;
        line.italic = block.italic;
    }
    return line;
}

} // namespace

std::vector<TextBlock::Line> linesForWriting(const TextBlock& block)
{
    const bool edited = block.textEdited || !block.richText.trimmed().isEmpty();
    if (!edited) {
        if (!block.lines.empty())
            return block.lines;
        TextBlock::Line line = lineStyledAs(block);
        line.text = block.text;
        line.rect = block.rect;
        return {line};
    }

    // Lines that already carry the text (the editor laid them out as shown)
    // are written as they are.
    if (linesCarryText(block)) {
        std::vector<TextBlock::Line> lines = block.lines;
        for (TextBlock::Line& line : lines) {
            line.spans.clear();
            dropStaleWords(line);
        }
        return lines;
    }
    const TextBlock::Line style = lineStyledAs(block);
    const double size = std::max(double(style.fontSize), 1.0);
    // A one-line block grows along its line as the user types; a paragraph of
    // several lines wraps within the block's width.
    const bool wraps = block.lines.size() > 1;
    const int maxChars = std::max(1, int(block.rect.width() / (kAverageGlyphWidth * size)));
    QStringList texts;
    for (const QString& paragraph : block.text.split(QLatin1Char('\n')))
        texts << (wraps ? wrapParagraph(paragraph, maxChars) : QStringList{paragraph});
    while (!texts.isEmpty() && texts.last().trimmed().isEmpty())
        texts.removeLast();

    std::vector<TextBlock::Line> lines;
    if (size_t(texts.size()) == block.lines.size()) {
        for (size_t i = 0; i < block.lines.size(); ++i) {
            TextBlock::Line line = block.lines[i];
            line.text = texts.at(qsizetype(i));
            line.spans.clear();
            dropStaleWords(line);
            lines.push_back(line);
        }
        return lines;
    }
    const double lineHeight = block.lines.empty() ? 1.2 * size : block.lines.front().rect.height();
    const double pitch = linePitch(block, 1.2 * size);
    const double top = block.rect.y() + block.rect.height();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        TextBlock::Line line = style;
        line.text = texts.at(i);
        line.rect = QRectF(block.rect.x(), top - i * pitch - lineHeight, block.rect.width(), lineHeight);
        lines.push_back(line);
    }
    return lines;
}

} // namespace pdfengine
