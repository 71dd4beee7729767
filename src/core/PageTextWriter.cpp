#include "PageTextWriter.h"

#include "OldLine.h"
#include "PageOwnContent.h"

#include <QLineF>

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
    FPDF_FONT font = styleFont(style, text, invisible ? WriterFonts::Drawn::Invisibly : WriterFonts::Drawn::Visibly);
    if (!font)
        return false;
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

// How far the line may run from start towards along (one point further on
// its baseline) before it leaves page, less a margin; unbounded when it
// starts outside.
double roomAlong(const QRectF& page, const QPointF& start, const QPointF& along)
{
    const QRectF inner = page.adjusted(kPageEdgeMargin, kPageEdgeMargin, -kPageEdgeMargin, -kPageEdgeMargin);
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

} // namespace

std::vector<QColor> colorsForRewrittenText(const QString& oldText, const std::vector<QColor>& oldColors,
                                           const QString& newText, const QColor& fallback)
{
    const qsizetype m = std::min(oldText.size(), qsizetype(oldColors.size()));
    const qsizetype n = newText.size();
    std::vector<QColor> colors(size_t(n), fallback);
    if (m == 0)
        return colors;
    const auto [prefix, suffix] = sharedEnds(oldText.left(m), newText);
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
    const std::vector<PageGlyph> inside = place.glyphs ? *place.glyphs : glyphs.inside(place.rect, place.toFrame);
    std::vector<PageGlyph> ink;
    for (const PageGlyph& glyph : inside)
        if (glyph.visible && !glyph.text.isEmpty())
            ink.push_back(glyph);
    // A scan line written before keeps its untouched words as pictures: the
    // program's own words and its layer's invisible ones span it together.
    if (std::all_of(ink.begin(), ink.end(), [](const PageGlyph& glyph) { return glyph.own; }) &&
        std::any_of(inside.begin(), inside.end(), [](const PageGlyph& glyph) { return !glyph.visible; }))
        ink.clear();
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
    double layerSize = 0;
    if (layerOnly) {
        // This program sets its searchable layer at the recognised size (an
        // earlier layer stretched it to the words' boxes by its matrix).
        const bool ownLayer = std::all_of(ink.begin(), ink.end(), [](const PageGlyph& glyph) { return glyph.own; });
        std::vector<double> setSizes;
        for (const PageGlyph& glyph : ink)
            if (glyph.setSize > 0)
                setSizes.push_back(glyph.setSize);
        layerSize = ownLayer ? medianOf(setSizes, 0) : 0;
        old.font = nullptr;
        old.size = layerSize;
        old.colors.assign(old.colors.size(), style.color);
        old.lifts.clear();
    }
    const double size = old.size > 0 ? old.size : std::max(double(style.fontSize), 1.0);

    // The page's own font when it draws every character; its word breaks
    // stay gaps where it has no blank of its own (TeX fonts). Another face
    // keeps the old one's class: a fixed-pitch line stays fixed-pitch.
    const bool own = !place.restyled && old.font && glyphs.fontDrawsAsPage(old.font, text, ink);
    const QString family = !layerOnly && !recognised && isFixedPitch(old.font, ink)
                               ? monospacedFamily(style.fontFamily)
                               : style.fontFamily;
    FPDF_FONT font =
        own ? old.font : m_fonts.fontFor(family, style.bold, style.italic, text, WriterFonts::Drawn::Visibly);
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
    // A blank the page's font gives no advance draws nothing readers part words at.
    const bool noBlank =
        own && (!glyphs.fontDrawsSpace(old.font) || advanceOf(font, QStringLiteral(" "), size, false) <= 0);
    const double baseline = rect.y() + (baselineLift >= 0 ? baselineLift : kBaselineLiftOfSize * size);

    // Columns apart: each stays where it stood, only the one holding the
    // change is laid anew.
    std::vector<OldLine> columns;
    std::vector<std::vector<RecognisedWord>> readColumns;
    if (recognised) {
        readColumns = recognisedColumns(place.recognisedWords, size);
        for (const std::vector<RecognisedWord>& words : readColumns) {
            QStringList texts;
            QRectF box;
            for (const auto& [word, wordBox] : words) {
                texts << word;
                box = box.isNull() ? wordBox : box.united(wordBox);
            }
            columns.push_back(recognisedOldLine(texts.join(QLatin1Char(' ')), box, style.color));
        }
    } else {
        const double blank = old.font ? advanceOf(old.font, QStringLiteral(" "), size, false) : 0.0;
        for (const std::vector<PageGlyph>& column : inkColumns(ink, size, blank)) {
            columns.push_back(oldLineOf(column));
            if (layerOnly) {
                columns.back().font = nullptr;
                columns.back().size = layerSize;
                columns.back().colors.assign(columns.back().colors.size(), style.color);
                columns.back().lifts.clear();
            }
        }
    }
    std::vector<LinePiece> pieces;
    for (LinePiece& piece : piecesForText(columns, text)) {
        if (piece.changed || !recognised) {
            pieces.push_back(piece);
            continue;
        }
        // A scan's column left as it was: each word on its own box.
        for (const auto& [word, box] : readColumns[piece.column])
            pieces.push_back({recognisedOldLine(word, box, style.color), word, false, piece.column});
    }
    if (pieces.empty())
        pieces.push_back({old, text, true});
    m_lastError = QStringLiteral("pdfium не принял текстовый объект.");
    for (size_t i = 0; i < pieces.size(); ++i) {
        const LinePiece& piece = pieces[i];
        if (piece.text.isEmpty())
            continue;
        Qt::Alignment at = alignment;
        if (pieces.size() > 1)
            at = piece.changed && i + 1 == pieces.size() && alignment == Qt::AlignRight ? Qt::AlignRight
                                                                                          : Qt::AlignLeft;
        LineRun run = lineRun(piece.text, piece.old, font, size, noBlank, at, start + (piece.old.left - old.left));
        // A scan's boxes hold ink: the first glyph's ink, not its advance, starts there.
        if (recognised && at == Qt::AlignLeft)
            run.x0 -= run.scale * leftBearing(font, size, run.text);
        const double gaps = run.gapped ? run.gap * blankCount(run.text) : 0.0;
        // A changed stretch before a column left as it was fills its old width.
        if (piece.changed && i + 1 < pieces.size() && run.natural > 0)
            run.scale = std::clamp((piece.old.right - piece.old.left - gaps) / run.natural, 0.5, 2.0);
        const double room = roomAlong(QRectF(QPointF(0, 0), m_transform.pageSize()),
                                      placement.map(QPointF(run.x0, baseline)),
                                      placement.map(QPointF(run.x0 + 1, baseline)));
        if (run.natural > 0 && run.scale * run.natural + gaps > room)
            run.scale = std::max((room - gaps) / run.natural, 0.05);
        const std::vector<QColor> colors = colorsForRewrittenText(piece.old.text, piece.old.colors, run.text,
                                                                  style.color);
        if (!placeLaidRun(font, size, run, colors, baseline, placement, stepWords))
            return false;
    }
    m_lastError.clear();
    return true;
}

double PageTextWriter::leftBearing(FPDF_FONT font, double size, const QString& text) const
{
    const QString first = text.trimmed().left(1);
    if (first.isEmpty())
        return 0;
    const PdfiumApi& api = pdfApi();
    PageObjectPtr object(api.FPDFPageObj_CreateTextObj(m_doc, font, float(size)));
    float left = 0, bottom = 0, right = 0, top = 0;
    if (!object || !api.FPDFText_SetText(object.get(), toPdfWide(first).constData()) ||
        !api.FPDFPageObj_GetBounds(object.get(), &left, &bottom, &right, &top) || !std::isfinite(left))
        return 0;
    return std::clamp(double(left), 0.0, size / 2);
}

bool PageTextWriter::placeLaidRun(FPDF_FONT font, double size, const LineRun& run, const std::vector<QColor>& colors,
                                  double baseline, const QTransform& placement, bool stepWords)
{
    const QString& laid = run.text;
    const bool wordByWord = run.gapped || stepWords;
    double x = run.x0;
    qsizetype from = 0;
    while (from < laid.size()) {
        if (wordByWord && laid[from].isSpace()) {
            x += run.gapped ? run.gap : run.scale * advanceOf(font, laid.mid(from, 1), size, false);
            ++from;
            continue;
        }
        // A glyph lifted off the line keeps its size and its height.
        const auto liftOf = [&](qsizetype i) { return size_t(i) < run.lifts.size() ? run.lifts[size_t(i)] : Lift(); };
        const Lift lift = liftOf(from);
        qsizetype end = from + 1;
        while (end < laid.size() && colors[size_t(end)] == colors[size_t(from)] &&
               !(wordByWord && laid[end].isSpace()) && liftOf(end).size == lift.size && liftOf(end).rise == lift.rise)
            ++end;
        const QString piece = laid.mid(from, end - from);
        const double pieceSize = lift.size > 0 ? lift.size : size;
        // A mark keeps the room the page left between it and its word.
        if (lift.size > 0)
            x += run.scale * lift.gapBefore;
        const double y = baseline - lift.rise;
        const double width = run.scale * advanceOf(font, piece, pieceSize, false);
        QTransform at = QTransform(run.scale, 0, 0, 1, x, y) * placement;
        if (stepWords) {
            const QPointF middle = placement.map(QPointF(x + width / 2, y));
            at = QTransform(run.scale, 0, 0, 1, middle.x() - width / 2, middle.y());
        }
        if (!placeRun(font, pieceSize, piece, colors[size_t(from)], at))
            return false;
        x += width + (lift.size > 0 ? run.scale * liftOf(end - 1).gapAfter : 0.0);
        from = end;
    }
    return true;
}

bool PageTextWriter::addInvisibleRun(const QString& text, const QRectF& rect, double baseline, const TextStyle& style,
                                     const QTransform& placement, bool stepped, bool blankAfter)
{
    if (!m_doc || text.isEmpty())
        return false;
    FPDF_FONT font = styleFont(style, text, WriterFonts::Drawn::Invisibly);
    if (!font)
        return false;
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
    return addImage(rect, image, rotationAbout(rect.center(), rotationDegrees));
}

bool PageTextWriter::addImage(const QRectF& rect, const QImage& image, const QTransform& placement)
{
    if (!insertImageObject(m_doc, m_page, rect, image, placement * m_toUser))
        return false;
    const int count = pdfApi().FPDFPage_CountObjects(m_page);
    FPDF_PAGEOBJECT inserted = count > 0 ? pdfApi().FPDFPage_GetObject(m_page, count - 1) : nullptr;
    m_inserted += inserted != nullptr;
    if (inserted)
        noteDrawn(inserted, pdfium::kPageObjImage);
    return inserted && markAsOwn(inserted);
}

FPDF_FONT PageTextWriter::styleFont(const TextStyle& style, const QString& text, WriterFonts::Drawn drawn)
{
    FPDF_FONT font = m_fonts.fontFor(style.fontFamily, style.bold, style.italic, text, drawn);
    if (!font)
        m_lastError = m_fonts.lastError();
    return font;
}

double PageTextWriter::visibleAdvance(const QString& text, const TextStyle& style)
{
    FPDF_FONT font = styleFont(style, text, WriterFonts::Drawn::Visibly);
    if (!font)
        return -1;
    return advanceOf(font, text, std::max(double(style.fontSize), 1.0), false);
}

double PageTextWriter::invisibleLeftBearing(const QString& text, const TextStyle& style)
{
    FPDF_FONT font = m_fonts.fontFor(style.fontFamily, style.bold, style.italic, text, WriterFonts::Drawn::Invisibly);
    return font ? leftBearing(font, std::max(double(style.fontSize), 1.0), text) : 0.0;
}

bool PageTextWriter::addWordsAt(const QString& text, double inkLeft, double scale, double baseline,
                                const TextStyle& style, const QTransform& placement, bool stepWords, bool blankAfter)
{
    if (!m_doc || text.isEmpty())
        return false;
    FPDF_FONT font = styleFont(style, text, WriterFonts::Drawn::Visibly);
    if (!font)
        return false;
    m_lastError = QStringLiteral("pdfium не принял текстовый объект.");
    const double size = std::max(double(style.fontSize), 1.0);
    LineRun run;
    run.text = text;
    run.natural = advanceOf(font, text, size, false);
    run.scale = scale;
    run.x0 = inkLeft - scale * leftBearing(font, size, text);
    const std::vector<QColor> colors(size_t(text.size()), style.color);
    if (!placeLaidRun(font, size, run, colors, baseline, placement, stepWords))
        return false;
    if (blankAfter && !placeBlankAfter(font, size, run, style.color, baseline, placement, stepWords))
        return false;
    m_lastError.clear();
    return true;
}

FPDF_FONT PageTextWriter::typedFace(const QString& text, const TextStyle& style, const std::vector<FPDF_FONT>& own,
                                    const PageGlyphs& glyphs, const std::vector<PageGlyph>& line)
{
    for (FPDF_FONT font : own)
        if (font && glyphs.fontDrawsAsPage(font, text, line))
            return font;
    FPDF_FONT any = own.empty() ? nullptr : own.back();
    const QString family = isFixedPitch(any, line) ? monospacedFamily(style.fontFamily) : style.fontFamily;
    FPDF_FONT font = m_fonts.fontFor(family, style.bold, style.italic, text, WriterFonts::Drawn::Visibly);
    if (!font)
        m_lastError = m_fonts.lastError();
    return font;
}

bool PageTextWriter::addRunAt(const QString& text, FPDF_FONT font, double size, const QColor& color, double x,
                              double scale, double baseline, const QTransform& placement, double gap)
{
    if (!m_doc || !font || text.isEmpty())
        return false;
    m_lastError = QStringLiteral("pdfium не принял текстовый объект.");
    LineRun run;
    run.text = text;
    run.x0 = x;
    run.scale = scale;
    run.gapped = gap > 0;
    run.gap = gap;
    run.natural = advanceOf(font, text, size, run.gapped);
    if (!placeLaidRun(font, size, run, std::vector<QColor>(size_t(text.size()), color), baseline, placement, false))
        return false;
    m_lastError.clear();
    return true;
}

void PageTextWriter::collectObjects(const std::set<FPDF_PAGEOBJECT>& objects, std::vector<int>& indices) const
{
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(m_page);
    for (int i = 0; i < count; ++i)
        if (objects.count(api.FPDFPage_GetObject(m_page, i)))
            indices.push_back(i);
}

// The blank stands where the run's last glyph ends, on its baseline (upright
// where that falls on a turned one, as the run's words do).
bool PageTextWriter::placeBlankAfter(FPDF_FONT font, double size, const LineRun& run, const QColor& color,
                                     double baseline, const QTransform& placement, bool stepWords)
{
    const double end = run.x0 + run.scale * run.natural;
    QTransform at = QTransform(run.scale, 0, 0, 1, end, baseline) * placement;
    if (stepWords) {
        const QPointF foot = placement.map(QPointF(end, baseline));
        at = QTransform(run.scale, 0, 0, 1, foot.x(), foot.y());
    }
    return placeRun(font, size, QStringLiteral(" "), color, at);
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

void PageTextWriter::collectWhiteOutsInside(const TurnedBox& box, std::vector<int>& own) const
{
    std::vector<int> found, original;
    collectTextInside(box, found, original);
    for (const int i : found)
        if (isOwnWhiteOut(pdfApi().FPDFPage_GetObject(m_page, i)) && std::find(own.begin(), own.end(), i) == own.end())
            own.push_back(i);
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
