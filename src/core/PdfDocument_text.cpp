// Native text extraction: the page's own text layer as one block per line.
#include "PdfDocument.h"

#include "NativeTextLayout.h"
#include "PageOwnContent.h"
#include "PdfEngineInternal.h"
#include "StableSort.h"
#include "TextBlock.h"
#include "WriterFonts.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

using namespace pdfengine;

namespace {

constexpr double kColorSampleScale = 2.5;
constexpr double kMinCharSide = 0.01;
constexpr double kSameGlyph = 0.5;  // points: letters of one ligature glyph start together
constexpr double kSameBaselineOfSize = 0.02;  // of the size: two glyphs' origins on one baseline

double centreOf(const QRectF& r)
{
    return r.y() + r.height() / 2;
}

QString rawFontName(FPDF_TEXTPAGE textPage, int index)
{
    const unsigned long needed = pdfApi().FPDFText_GetFontInfo(textPage, index, nullptr, 0, nullptr);
    if (needed == 0 || needed > 4096)
        return {};
    QByteArray buffer(int(needed), '\0');
    pdfApi().FPDFText_GetFontInfo(textPage, index, buffer.data(), needed, nullptr);
    const int end = buffer.indexOf('\0');
    return QString::fromUtf8(end >= 0 ? buffer.left(end) : buffer);
}

// How a text object draws its glyphs, read once per object.
struct TextObjectInk {
    int renderMode = 0;
    unsigned strokeAlpha = 255;
};

// Reads the characters of one text page; remembers per text object how it draws.
class CharReader {
public:
    CharReader(FPDF_TEXTPAGE textPage, const PdfPageTransform& transform)
        : m_textPage(textPage), m_transform(transform)
    {
    }

    // Reads character index; false when pdfium cannot give its box.
    bool read(int index, char32_t code, CharInfo& c)
    {
        const PdfiumApi& api = pdfApi();
        double left = 0, right = 0, bottom = 0, top = 0;
        if (!api.FPDFText_GetCharBox(m_textPage, index, &left, &right, &bottom, &top))
            return false;
        const QString rawName = rawFontName(m_textPage, index);
        c.text = textOfPdfiumCode(code, rawName.isEmpty());
        c.box = m_transform.toPage(rectFromEdges(left, top, right, bottom));
        c.size = api.FPDFText_GetFontSize(m_textPage, index) * drawnScale(index);
        if (c.size <= 0)
            c.size = std::max(c.box.height(), 6.0);
        c.fontName = cleanFontName(rawName);
        c.weight = api.FPDFText_GetFontWeight(m_textPage, index);
        std::tie(c.bold, c.italic) = boldItalicOf(m_textPage, index, c.fontName, c.weight);
        unsigned int r = 0, g = 0, b = 0, a = 255;
        unsigned fillAlpha = 255;
        if (api.FPDFText_GetFillColor(m_textPage, index, &r, &g, &b, &a)) {
            if (r > 255 || g > 255 || b > 255 || a > 255) {
                c.fill = QColor();
            } else {
                c.fill = QColor(int(r), int(g), int(b), int(a));
                fillAlpha = a;
            }
        }
        c.invisible = drawsNothing(inkOf(index), fillAlpha);
        c.run = m_runs;
        c.rotation = readingRotation(index);
        double x = 0, y = 0;
        c.hasOrigin = api.FPDFText_GetCharOrigin(m_textPage, index, &x, &y);
        if (c.hasOrigin) {
            c.origin = m_transform.toPage(QPointF(x, y));
            FS_RECTF loose{};
            if (api.FPDFText_GetLooseCharBox(m_textPage, index, &loose))
                c.advanceBox = m_transform.toPage(rectFromEdges(loose.left, loose.top, loose.right, loose.bottom));
        }
        c.unmapped = readAsLatin1Guess(index, code);
        noteAdvance(index, code, c);
        return true;
    }

    // Bold again once the page's characters are read: the widths of a font's
    // glyphs and its program say more than the weight pdfium guesses.
    void settleBold(int index, CharInfo& c)
    {
        const FPDF_FONT font = fontOf(index);
        if (font)
            c.bold = boldItalicOf(m_textPage, index, c.fontName, c.weight, verdictFor(font)).first;
    }

private:
    struct FontSeen {
        QString name;
        bool italic = false;
        std::vector<DrawnAdvance> advances;
    };

    FPDF_FONT fontOf(int index) const
    {
        FPDF_PAGEOBJECT object = pdfApi().FPDFText_GetTextObject(m_textPage, index);
        return object ? pdfApi().FPDFTextObj_GetFont(object) : nullptr;
    }

    // A letter or digit drawn upright, unskewed and visibly shows its advance
    // as the width of its loose box.
    void noteAdvance(int index, char32_t code, const CharInfo& c)
    {
        constexpr size_t kMaxSamplesPerFont = 400;
        constexpr double kStraight = 1e-3;
        const FPDF_FONT font = c.invisible || !QChar::isLetterOrNumber(code) ? nullptr : fontOf(index);
        if (!font)
            return;
        FontSeen& seen = m_seen[font];
        seen.name = c.fontName;
        seen.italic = c.italic;
        if (seen.advances.size() >= kMaxSamplesPerFont)
            return;
        const PdfiumApi& api = pdfApi();
        FS_MATRIX m{};
        FS_RECTF loose{};
        const double fontSize = api.FPDFText_GetFontSize(m_textPage, index);
        if (fontSize <= 0 || !api.FPDFText_GetMatrix(m_textPage, index, &m) ||
            !api.FPDFText_GetLooseCharBox(m_textPage, index, &loose))
            return;
        if (m.a <= 0 || std::abs(m.b) > kStraight * m.a || std::abs(m.c) > kStraight * m.a ||
            std::abs(m.d - m.a) > kStraight * m.a)
            return;
        const double advance = 1000.0 * double(loose.right - loose.left) / (fontSize * double(m.a));
        if (std::isfinite(advance) && advance > 0)
            seen.advances.push_back({code, advance});
    }

    WeightVerdict verdictFor(FPDF_FONT font)
    {
        const auto known = m_verdicts.find(font);
        if (known != m_verdicts.end())
            return known->second;
        WeightVerdict verdict = WeightVerdict::Unknown;
        const auto seen = m_seen.find(font);
        if (seen != m_seen.end())
            verdict = weightFromAdvances(seen->second.name, seen->second.italic, seen->second.advances);
        if (verdict == WeightVerdict::Unknown)
            verdict = weightFromFontProgram(embeddedProgram(font));
        m_verdicts.emplace(font, verdict);
        return verdict;
    }

    static QByteArray embeddedProgram(FPDF_FONT font)
    {
        constexpr size_t kMaxProgramBytes = size_t(32) * 1024 * 1024;
        size_t size = 0;
        if (!pdfApi().FPDFFont_GetFontData(font, nullptr, 0, &size) || size == 0 || size > kMaxProgramBytes)
            return {};
        QByteArray data(qsizetype(size), '\0');
        if (!pdfApi().FPDFFont_GetFontData(font, reinterpret_cast<uint8_t*>(data.data()), size, &size))
            return {};
        return data.left(qsizetype(size));
    }

    // pdfium flags a code its font could not map and then hands back the code
    // itself: below 0x80 that is ASCII in every 8-bit TeX encoding, above it a
    // Latin-1 guess that turns Cyrillic into mojibake.
    bool readAsLatin1Guess(int index, char32_t code) const
    {
        return code >= 0x80 && code <= 0xFF && pdfApi().FPDFText_HasUnicodeMapError(m_textPage, index) == 1;
    }

    // The scale of the text and page matrices: the size a glyph is drawn at
    // is the font size times it ("1 Tf" with the size in the matrix).
    double drawnScale(int index) const
    {
        FS_MATRIX m{};
        if (!pdfApi().FPDFText_GetMatrix(m_textPage, index, &m))
            return 1.0;
        const double scale = std::hypot(double(m.c), double(m.d));
        return scale > 1e-6 && std::isfinite(scale) ? scale : 1.0;
    }

    TextObjectInk inkOf(int index)
    {
        FPDF_PAGEOBJECT object = pdfApi().FPDFText_GetTextObject(m_textPage, index);
        if (!object)
            return {};
        if (object != m_lastObject) {
            m_lastObject = object;
            ++m_runs;
            m_lastInk = TextObjectInk{pdfApi().FPDFTextObj_GetTextRenderMode(object), 255};
            unsigned r = 0, g = 0, b = 0, a = 255;
            if (pdfApi().FPDFPageObj_GetStrokeColor(object, &r, &g, &b, &a))
                m_lastInk.strokeAlpha = a;
        }
        return m_lastInk;
    }

    // Render modes 3 and 7 draw nothing; the others draw nothing when the
    // colours they use are (nearly) transparent.
    static bool drawsNothing(const TextObjectInk& ink, unsigned fillAlpha)
    {
        constexpr unsigned kVisibleAlpha = 9;
        const int mode = ink.renderMode < 0 ? 0 : ink.renderMode;
        if (mode == 3 || mode == 7)
            return true;
        const bool fills = mode == 0 || mode == 2 || mode == 4 || mode == 6;
        const bool strokes = mode == 1 || mode == 2 || mode == 5 || mode == 6;
        return !(fills && fillAlpha >= kVisibleAlpha) && !(strokes && ink.strokeAlpha >= kVisibleAlpha);
    }

    // Clockwise degrees as displayed, in (-180, 180], snapped to quarter turns.
    // The baseline's direction: a slant (a face made oblique by its matrix)
    // turns the letters' stems, not the line.
    double readingRotation(int index) const
    {
        constexpr double kSnapDegrees = 0.5;
        FS_MATRIX m;
        double angle = 0;
        if (pdfApi().FPDFText_GetMatrix(m_textPage, index, &m) && (m.a != 0 || m.b != 0)) {
            angle = std::atan2(-double(m.b), double(m.a));
        } else {
            angle = pdfApi().FPDFText_GetCharAngle(m_textPage, index);  // pdfium: clockwise
            if (angle < 0)
                return 0;
        }
        double degrees = 90.0 * m_transform.quarterTurns() + angle * 180.0 / M_PI;
        degrees = std::fmod(degrees, 360.0);
        if (degrees <= -180)
            degrees += 360;
        if (degrees > 180)
            degrees -= 360;
        const double quarter = std::round(degrees / 90.0) * 90.0;
        if (std::abs(degrees - quarter) < kSnapDegrees)
            degrees = quarter == -180 ? 180 : quarter;
        return degrees == 0 ? 0.0 : degrees;  // no negative zero
    }

    FPDF_TEXTPAGE m_textPage;
    const PdfPageTransform& m_transform;
    FPDF_PAGEOBJECT m_lastObject = nullptr;
    int m_runs = 0;
    TextObjectInk m_lastInk;
    std::map<FPDF_FONT, FontSeen> m_seen;
    std::map<FPDF_FONT, WeightVerdict> m_verdicts;
};

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Characters [start, end) without leading and trailing blanks, kept only when
// something in them has ink.
void emitSegment(const std::vector<CharInfo>& chars, size_t start, size_t end,
                 std::vector<std::vector<CharInfo>>& segments)
{
    while (start < end && chars[start].text.trimmed().isEmpty())
        ++start;
    while (end > start && chars[end - 1].text.trimmed().isEmpty())
        --end;
    if (std::none_of(chars.begin() + qsizetype(start), chars.begin() + qsizetype(end), charHasVisibleInk))
        return;
    segments.emplace_back(chars.begin() + qsizetype(start), chars.begin() + qsizetype(end));
}

bool sameSpanStyle(const TextBlock::Line::Span& span, const CharInfo& ref)
{
    const QColor fill = ref.fill.isValid() ? ref.fill : QColor(Qt::black);
    return span.fontFamily == ref.fontName && std::abs(span.fontSize - float(ref.size)) < 0.15f && span.color == fill &&
           span.bold == ref.bold && span.italic == ref.italic;
}

TextBlock::Line::Span spanStyledAs(const CharInfo& ref)
{
    TextBlock::Line::Span span;
    span.fontFamily = ref.fontName;
    span.fontSize = float(ref.size);
    span.color = ref.fill.isValid() ? ref.fill : QColor(Qt::black);
    span.fill = ref.fill;
    span.bold = ref.bold;
    span.italic = ref.italic;
    return span;
}

void buildSpans(const std::vector<CharInfo>& chars, TextBlock::Line& line)
{
    TextBlock::Line::Span current = spanStyledAs(styleReferenceForChar(chars, 0));
    for (size_t k = 0; k < chars.size(); ++k) {
        const CharInfo ref = styleReferenceForChar(chars, k);
        if (!sameSpanStyle(current, ref)) {
            if (!current.text.isEmpty())
                line.spans.push_back(current);
            current = spanStyledAs(ref);
        }
        current.text += chars[k].text;
    }
    if (!current.text.isEmpty())
        line.spans.push_back(current);
}

void buildWords(const std::vector<CharInfo>& chars, TextBlock::Line& line)
{
    TextBlock::Line::Word word;
    auto finish = [&] {
        if (!word.text.isEmpty()) {
            word.confidence = 100;
            line.words.push_back(word);
        }
        word = {};
    };
    for (const CharInfo& c : chars) {
        if (c.text.trimmed().isEmpty()) {
            finish();
            continue;
        }
        word.text += c.text;
        word.rect = word.rect.isNull() ? c.box : word.rect.united(c.box);
    }
    finish();
}

// One box per UTF-16 unit of the character's text: the letters of a ligature
// share its glyph in equal parts.
void addGlyphBoxes(const CharInfo& c, std::vector<QRectF>& boxes)
{
    const qsizetype n = c.text.size();
    if (n == 0)
        return;
    const double part = c.box.width() / double(n);
    for (qsizetype k = 0; k < n; ++k)
        boxes.emplace_back(c.box.x() + double(k) * part, c.box.y(), part, c.box.height());
}

// The line looks like most of its letters: a small line number or footnote
// mark in front does not set its size.
void takeStyleOfMostLetters(TextBlock::Line& line)
{
    const TextBlock::Line::Span* most = nullptr;
    qsizetype mostLetters = -1;
    for (const TextBlock::Line::Span& span : line.spans) {
        const qsizetype letters =
            std::count_if(span.text.begin(), span.text.end(), [](QChar ch) { return !ch.isSpace(); });
        if (letters > mostLetters) {
            most = &span;
            mostLetters = letters;
        }
    }
    if (!most)
        return;
    line.fontFamily = most->fontFamily;
    line.fontSize = most->fontSize;
    line.color = most->color;
    line.bold = most->bold;
    line.italic = most->italic;
}

struct InkWeights {
    qint64 coloredWeight = 0, coloredR = 0, coloredG = 0, coloredB = 0;
    qint64 darkWeight = 0, darkR = 0, darkG = 0, darkB = 0;

    void add(QRgb pixel)
    {
        const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
        const int maxC = std::max({r, g, b});
        const int chroma = maxC - std::min({r, g, b});
        const int weighted = 11 * r + 16 * g + 5 * b;
        const int lum = weighted / 32;
        if (weighted < 7520 && maxC > 55 && chroma >= 32) {
            const int w = (245 - lum) / 2 + chroma;
            coloredWeight += w;
            coloredR += qint64(r) * w;
            coloredG += qint64(g) * w;
            coloredB += qint64(b) * w;
        } else if (lum < 215) {
            const int w = 245 - lum;
            darkWeight += w;
            darkR += qint64(r) * w;
            darkG += qint64(g) * w;
            darkB += qint64(b) * w;
        }
    }
};

// The colour that is really visible where the line stands: coloured ink wins
// over dark anti-aliased pixels.
void sampleLineColor(const QImage& render, const QSizeF& pageSize, const QRectF& inkBox, TextBlock::Line& line)
{
    if (render.isNull() || inkBox.width() <= 0 || inkBox.height() <= 0)
        return;
    const double pad = std::max(1.25 / kColorSampleScale, 0.35);
    const QRectF padded =
        inkBox.adjusted(-pad, -pad, pad, pad).intersected(QRectF(QPointF(0, 0), pageSize));
    if (padded.isEmpty())
        return;
    const QRect pixels = pixelsOfPageRect(padded, kColorSampleScale, pageSize.height(), render.rect());
    if (pixels.isEmpty())
        return;
    InkWeights ink;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(render.constScanLine(y));
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            if (qAlpha(row[x]) >= 16)
                ink.add(row[x]);
    }
    QColor sampled;
    if (ink.coloredWeight > 0)
        sampled = QColor(int(ink.coloredR / ink.coloredWeight), int(ink.coloredG / ink.coloredWeight),
                         int(ink.coloredB / ink.coloredWeight));
    else if (ink.darkWeight > 0)
        sampled = QColor(int(ink.darkR / ink.darkWeight), int(ink.darkG / ink.darkWeight),
                         int(ink.darkB / ink.darkWeight));
    if (sampled.isValid()) {
        line.color = sampled;
        for (TextBlock::Line::Span& span : line.spans)
            span.color = sampled;
        return;
    }
    if (line.color.isValid() && line.color.alpha() < 9)
        line.color = Qt::black;
    for (TextBlock::Line::Span& span : line.spans)
        if (!span.color.isValid() || span.color.alpha() < 9)
            span.color = Qt::black;
}

// A line with the rotation it is read in.
struct TurnedLine {
    TextBlock::Line line;
    double rotation = 0;
};

// The colour a path paints in: its fill where it is filled, else its stroke.
QColor pathColour(FPDF_PAGEOBJECT path)
{
    const PdfiumApi& api = pdfApi();
    int fillMode = 0;
    FPDF_BOOL stroke = 0;
    if (!api.FPDFPath_GetDrawMode(path, &fillMode, &stroke))
        return QColor();
    unsigned r = 0, g = 0, b = 0, a = 255;
    const bool known = fillMode != 0 ? api.FPDFPageObj_GetFillColor(path, &r, &g, &b, &a)
                                     : api.FPDFPageObj_GetStrokeColor(path, &r, &g, &b, &a);
    return known && r <= 255 && g <= 255 && b <= 255 ? QColor(int(r), int(g), int(b)) : QColor();
}

// The thin paths the page draws at its top level (rules, underlines), on
// the displayed page: a rule between two letters is an underscore.
std::vector<ThinPath> thinPathsOf(FPDF_PAGE page, const PdfPageTransform& transform)
{
    constexpr double kThin = 2.0;  // points across
    constexpr size_t kMostPaths = 20000;  // a drawing's page keeps its lines as read
    const PdfiumApi& api = pdfApi();
    std::vector<ThinPath> paths;
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count && paths.size() < kMostPaths; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        // The program's own white over a removed glyph is no rule.
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjPath || isOwnWhiteOut(object))
            continue;
        const QRectF bounds = transform.toPage(pageObjectBounds(object, pdfium::kPageObjPath));
        if (std::min(bounds.width(), bounds.height()) <= kThin)
            paths.push_back({bounds, pathColour(object)});
    }
    return paths;
}

// Collects characters in pdfium's order and breaks lines where the text moves
// to another baseline, jumps back left onto a new one, or turns. Characters are
// measured in the frame of their reading direction, so turned text forms lines
// as upright text does.
class LineCollector {
public:
    LineCollector(const QImage& render, const QSizeF& pageSize, std::vector<ThinPath> rules)
        : m_render(render), m_pageSize(pageSize), m_rules(std::move(rules))
    {
    }

    void add(CharInfo c)
    {
        constexpr double kSameDirection = 1.0;  // degrees
        const bool measurable = charHasVisibleInk(c);
        if (measurable && !m_chars.empty() && std::abs(c.rotation - m_rotation) > kSameDirection)
            flush();
        if (m_chars.empty())
            m_rotation = c.rotation;
        if (m_rotation != 0) {
            const QTransform frame = readingFrameOf(m_rotation);
            c.box = frame.mapRect(c.box);
            c.origin = frame.map(c.origin);
            if (!c.advanceBox.isNull())
                c.advanceBox = frame.mapRect(c.advanceBox);
        }
        const double centre = centreOf(c.box);
        const double height = std::max(c.box.height(), 1.0);
        bool offCentre = false;  // kept on its baseline, its box far off the line's middle
        if (measurable && !m_chars.empty()) {
            const double drift = std::abs(centre - m_centre);
            // A kerned pair ("Te") overlaps and differs in height; only a
            // glyph that starts left of the previous one's start went back.
            const bool wentBack = m_lastRight > c.box.x() + 2.0 && c.box.x() < m_lastLeft - kSameGlyph;
            // A glyph drawn on the line's own baseline carries it on, whatever
            // its box: an underscore lies wholly below the letters beside it.
            const bool onBaseline = c.hasOrigin && m_hasBaseline && !wentBack &&
                                    std::abs(c.origin.y() - m_baseline) <= kSameBaselineOfSize * std::max(c.size, 1.0);
            offCentre = drift > 0.65 * std::max(height, m_height);
            if ((offCentre && !onBaseline) || (wentBack && drift > 1.0)) {
                flush();
                offCentre = false;
            }
        }
        const bool first = m_chars.empty();
        m_chars.push_back(c);
        if (first) {
            m_centre = centre;
            m_height = height;
        } else if (measurable && !offCentre) {
            m_centre = 0.82 * m_centre + 0.18 * centre;
            m_height = std::max(m_height, height);
        }
        if (measurable) {
            m_lastLeft = c.box.x();
            m_lastRight = c.box.x() + c.box.width();
            m_hasBaseline = c.hasOrigin;
            m_baseline = c.origin.y();
        }
    }

    void flush()
    {
        if (!m_chars.empty())
            m_fragments.push_back({std::move(m_chars), m_rotation});
        m_chars.clear();
        m_centre = 0;
        m_height = 0;
        m_lastRight = -1e9;
        m_lastLeft = -1e9;
        m_hasBaseline = false;
    }

    std::vector<TurnedLine> takeLines()
    {
        flush();
        fillRuleGaps(m_fragments, m_rules);
        setFragmentsInTheirRoom(m_fragments);
        joinLineFragments(m_fragments);
        std::vector<TurnedLine> lines;
        for (const LineFragment& fragment : m_fragments) {
            for (std::vector<CharInfo>& segment : splitNativePdfLineChars(fragment.chars)) {
                // Upright words along a turned baseline are a turned line.
                double rotation = fragment.rotation;
                if (const double turn = steppedLineTurn(segment); turn != 0) {
                    turnCharsInto(segment, turn);
                    rotation += turn;
                }
                addWordBreaks(segment);
                TextBlock::Line line;
                if (lineFromChars(segment, line)) {
                    const QRectF inkBox = placeInPage(line, rotation);
                    sampleLineColor(m_render, m_pageSize, inkBox, line);
                    lines.push_back({std::move(line), rotation});
                }
            }
        }
        m_fragments.clear();
        return lines;
    }

private:
    // A line measured in a turned frame keeps its size and lies, unturned,
    // centred on its ink: turned about its centre by the rotation it covers the
    // text on the page. Returns the box of the ink on the page.
    static QRectF placeInPage(TextBlock::Line& line, double rotation)
    {
        if (rotation == 0)
            return line.rect;
        const QTransform back = readingFrameOf(rotation).inverted();
        const QPointF shift = back.map(line.rect.center()) - line.rect.center();
        line.rect.translate(shift);
        for (TextBlock::Line::Word& word : line.words)
            word.rect.translate(shift);
        for (QRectF& box : line.glyphBoxes)
            box.translate(shift);
        QTransform turn;
        turn.translate(line.rect.center().x(), line.rect.center().y());
        turn.rotate(-rotation);
        turn.translate(-line.rect.center().x(), -line.rect.center().y());
        return turn.mapRect(line.rect);
    }

    const QImage& m_render;
    QSizeF m_pageSize;
    std::vector<ThinPath> m_rules;  // thin paths that may stand between the letters of a word
    std::vector<CharInfo> m_chars;
    std::vector<LineFragment> m_fragments;
    double m_rotation = 0;
    double m_centre = 0;
    double m_height = 0;
    double m_lastRight = -1e9;
    double m_lastLeft = -1e9;
    bool m_hasBaseline = false;  // the last glyph with ink stood on m_baseline
    double m_baseline = 0;
};

// Upright lines first, top down; lines of each other direction after them,
// top down in their own frame.
void sortLinesTopDown(std::vector<TurnedLine>& lines)
{
    constexpr double kSameRowTolerance = 2.0;
    constexpr double kScanSkew = 5.0;  // degrees: a scan's lines run upright for the reading order
    auto direction = [](double rotation) { return std::abs(rotation) <= kScanSkew ? 0.0 : rotation; };
    auto directionRank = [&](double rotation) { return direction(rotation) == 0 ? -1000.0 : rotation; };
    vorn::safeStableSort(lines, [&](const TurnedLine& a, const TurnedLine& b) {
        if (direction(a.rotation) != direction(b.rotation))
            return directionRank(a.rotation) < directionRank(b.rotation);
        const QTransform frame = readingFrameOf(direction(a.rotation));
        const QPointF fa = frame.map(a.line.rect.center());
        const QPointF fb = frame.map(b.line.rect.center());
        if (std::abs(fa.y() - fb.y()) <= kSameRowTolerance)
            return fa.x() - a.line.rect.width() / 2 < fb.x() - b.line.rect.width() / 2;
        return fa.y() > fb.y();
    });
}

TextBlock blockFromLine(const TextBlock::Line& line, double rotation, int pageIndex)
{
    TextBlock block;
    block.text = line.text;
    block.rect = line.rect;
    block.originalRect = line.rect;
    block.lines = {line};
    block.pageIndex = pageIndex;
    block.fontFamily = line.fontFamily;
    block.fontSize = line.fontSize;
    block.color = line.color;
    block.bold = line.bold;
    block.italic = line.italic;
    block.invisibleText = line.invisibleText;
    block.rotation = block.originalRotation = rotation;
    return block;
}

} // namespace

namespace pdfengine {

QString textOfPdfiumCode(char32_t code, bool namelessFont)
{
    static const char* const kTexLigatures[] = {"ff", "fi", "fl", "ffi", "ffl"};  // slots 11..15
    constexpr char32_t kEndOfLineHyphen = 2;
    if (code == kEndOfLineHyphen)
        return QStringLiteral("-");
    if (namelessFont && code >= 11 && code <= 15)
        return QString::fromLatin1(kTexLigatures[code - 11]);
    if (code == '\n' && !namelessFont)
        return QStringLiteral("\n");
    if (code == '\t' && !namelessFont)
        return QStringLiteral(" ");
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    // A face without a name or a map (Type 3) draws a glyph for its code
    // whatever that reads as: the glyph stands in its line, of unknown letter.
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
        return namelessFont ? QString(QChar::ReplacementCharacter) : QString();
    return QString::fromUcs4(&code, 1);
}

bool charHasVisibleInk(const CharInfo& c)
{
    return !c.text.trimmed().isEmpty() && c.box.width() > kMinCharSide && c.box.height() > kMinCharSide;
}

// Subset tags ("ABCDEF+") go, hyphens become blanks.
QString cleanFontName(const QString& raw)
{
    QString name = raw;
    const qsizetype plus = name.indexOf(QLatin1Char('+'));
    if (plus >= 0 && plus < name.size() - 1)
        name = name.mid(plus + 1);
    name.replace(QLatin1Char('-'), QLatin1Char(' '));
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("Times New Roman") : name;
}

CharInfo styleReferenceForChar(const std::vector<CharInfo>& chars, size_t index)
{
    if (chars.empty())
        return {};
    for (size_t i = index; i < chars.size(); ++i)
        if (charHasVisibleInk(chars[i]))
            return chars[i];
    for (size_t i = index; i-- > 0;)
        if (charHasVisibleInk(chars[i]))
            return chars[i];
    return chars[std::min(index, chars.size() - 1)];
}

// Cuts one pdfium line where the text jumps back over a word gap on the same
// baseline, or leaves a column gap.
std::vector<std::vector<CharInfo>> splitNativePdfLineChars(const std::vector<CharInfo>& source)
{
    const std::vector<CharInfo> chars = runsInTheirRoom(source);
    std::vector<double> heights;
    std::vector<double> widths;
    for (const CharInfo& c : chars) {
        if (charHasVisibleInk(c)) {
            heights.push_back(std::max(c.box.height(), 1.0));
            widths.push_back(std::max(c.box.width(), 0.1));
        }
    }
    if (heights.size() < 2)
        return {chars};
    const double m = medianOf(heights);
    const double g = medianOf(widths);
    const double wordGap = std::max(2 * g, 4.0);
    const double columnGap = std::max({4.5 * g, 1.1 * m, 8.0});

    std::vector<std::vector<CharInfo>> segments;
    size_t start = 0;
    const CharInfo* previous = nullptr;
    for (size_t i = 0; i < chars.size(); ++i) {
        const CharInfo& c = chars[i];
        if (!charHasVisibleInk(c))
            continue;
        if (previous) {
            const double previousRight = previous->box.x() + previous->box.width();
            // A ligature's letters share one glyph box and a kerned pair
            // overlaps: only text that starts left of where the previous
            // glyph starts has jumped back.
            const bool jumpsBack = previousRight > c.box.x() + wordGap && c.box.x() < previous->box.x() - kSameGlyph &&
                                   std::abs(centreOf(c.box) - centreOf(previous->box)) <= 0.55 * m;
            const bool columnBreak = c.box.x() - previousRight > columnGap;
            if (jumpsBack || columnBreak) {
                emitSegment(chars, start, i, segments);
                start = i;
            }
        }
        previous = &c;
    }
    emitSegment(chars, start, chars.size(), segments);
    if (segments.empty())
        return {chars};
    return segments;
}


// One line from a segment; false when its text is blank.
bool lineFromChars(const std::vector<CharInfo>& chars, TextBlock::Line& line)
{
    if (std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.unmapped; }))
        return false;
    QRectF rect;
    for (const CharInfo& c : chars) {
        line.text += c.text;
        rect = rect.isNull() ? c.box : rect.united(c.box);
        addGlyphBoxes(c, line.glyphBoxes);
    }
    if (line.text.trimmed().isEmpty())
        return false;
    line.glyphText = line.text;
    line.rect = rect.normalized();
    line.invisibleText = std::any_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.invisible; });
    buildSpans(chars, line);
    buildWords(chars, line);
    takeStyleOfMostLetters(line);
    placeLine(chars, line);
    return true;
}

} // namespace pdfengine

std::vector<TextBlock> PdfDocument::extractText(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    const LoadedTextPage loaded = loadTextPage(m_doc, pageIndex);
    if (!loaded.text)
        return {};
    const PdfiumApi& api = pdfApi();
    FPDF_TEXTPAGE textPage = loaded.text.get();
    const int count = api.FPDFText_CountChars(textPage);
    if (count <= 0)
        return {};  // a scanned page: no render for colours needed
    FPDF_PAGE page = loaded.page.get();
    const QSizeF pageSize(api.FPDF_GetPageWidthF(page), api.FPDF_GetPageHeightF(page));
    const QImage render = renderLoadedPageImage(page, kColorSampleScale);
    const HiddenTextFilter hidden(page, textPage);

    CharReader reader(textPage, loaded.transform);
    // Read first, placed after: a font's weight is judged from all its glyphs.
    struct ReadChar {
        int index = -1;  // -1: pdfium's line end
        CharInfo c;
    };
    std::vector<ReadChar> read;
    for (int i = 0; i < count; ++i) {
        const char32_t code = api.FPDFText_GetUnicode(textPage, i);
        const bool lineEnd = (code == 13 || code == 10) && api.FPDFText_IsGenerated(textPage, i) == 1;
        if (lineEnd) {
            if (code == 10)
                read.push_back({});
            continue;
        }
        if (hidden.hides(i))
            continue;
        CharInfo c;
        if (reader.read(i, code, c))
            read.push_back({i, std::move(c)});
    }
    LineCollector collector(render, pageSize, thinPathsOf(page, loaded.transform));
    for (ReadChar& r : read) {
        if (r.index < 0) {
            collector.flush();
            continue;
        }
        reader.settleBold(r.index, r.c);
        collector.add(std::move(r.c));
    }
    std::vector<TurnedLine> lines = collector.takeLines();
    std::vector<TextBlock::Line*> upright;
    for (TurnedLine& turned : lines)
        if (turned.rotation == 0)
            upright.push_back(&turned.line);
    alignPageLines(upright);
    sortLinesTopDown(lines);
    std::vector<TextBlock> blocks;
    blocks.reserve(lines.size());
    for (const TurnedLine& turned : lines)
        blocks.push_back(blockFromLine(turned.line, turned.rotation, pageIndex));
    return blocks;
}
