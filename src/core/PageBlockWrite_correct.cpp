// The parts of a page's write that correct lines of the page's own text
// where they stand: the words the user left keep their glyphs, moved whole
// where the change needs room, and only the typed words are written.
#include "PageBlockWrite.h"

#include "CorrectionFit.h"
#include "NativeTextLayout.h"
#include "OldLine.h"
#include "PageOwnContent.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace pdfengine {

namespace {

constexpr double kInPlace = 0.5;    // points a corrected block's corner may stand off its old one
constexpr double kLeastShift = 0.001;  // points a kept word moves before it counts as moved

// The one font all the glyphs use, else null.
FPDF_FONT commonFont(const std::vector<PageGlyph>& glyphs)
{
    FPDF_FONT font = glyphs.empty() ? nullptr : glyphs.front().font;
    for (const PageGlyph& glyph : glyphs)
        if (glyph.font != font)
            return nullptr;
    return font;
}

TextStyle styleOfLine(const TextBlock::Line& line)
{
    return TextStyle{line.fontFamily, line.fontSize, line.color, line.bold, line.italic};
}

// The style words typed in place of glyphs of one face are set in: that
// face's family, weight and slant as the line's runs read them (an italic or
// typewriter word of a line stays so), else the line's.
TextStyle styleOfReplaced(const TextBlock::Line& written, const TextBlock::Line& read, FPDF_FONT replaced)
{
    TextStyle style = styleOfLine(written);
    QByteArray name(256, '\0');
    const size_t length = replaced ? pdfApi().FPDFFont_GetBaseFontName(replaced, name.data(), size_t(name.size())) : 0;
    if (length < 2 || length > size_t(name.size()))
        return style;
    const QString family = cleanFontName(QString::fromUtf8(name.constData(), qsizetype(length) - 1));
    for (const TextBlock::Line* line : {&written, &read})
        for (const TextBlock::Line::Span& span : line->spans)
            if (span.fontFamily == family) {
                style.fontFamily = family;
                style.bold = span.bold;
                style.italic = span.italic;
                return style;
            }
    return style;
}

// How far a typed run reaches along its line.
double widthOf(const LineCorrection& correction, const TypedRun& run)
{
    return run.scale * advanceOf(faceOf(correction, run), run.text, sizeOf(correction, run), false) +
           run.gap * double(run.text.count(QLatin1Char(' ')));
}

// A box of a frame, as the page shows it: turned as the frame is.
TurnedBox onPage(const QTransform& frameToPage, const QRectF& box)
{
    const double degrees = -std::atan2(frameToPage.m12(), frameToPage.m11()) * 180.0 / M_PI;
    return TurnedBox(box.translated(frameToPage.map(box.center()) - box.center()), degrees);
}

constexpr double kSameBaselineOfSize = 0.1;  // of the line's size: a glyph's origin this near stands on its baseline
constexpr double kSameTurn = 0.02;            // radians: a glyph runs along the line
constexpr double kTouching = 0.2;             // points two glyphs' ink may share where they meet

// Whether the words of a corrected line, where it puts the typed ones and
// the kept ones it moves, would stand over glyphs the page sets on the same
// baseline beside the line that it does not hold (the text after it, read
// apart).
bool runsIntoNeighbours(const LineCorrection& correction, const LineGlyphs& line, const PageGlyphs& page,
                        const QTransform& toFrame, const RunWidth& runWidth)
{
    std::vector<std::pair<double, double>> spans;
    for (const KeptWord& kept : correction.kept)
        if (std::abs(kept.shift) >= kLeastShift)
            spans.emplace_back(line.words[kept.word].box.left() + kept.shift, line.words[kept.word].box.right() + kept.shift);
    for (const TypedRun& run : correction.typed)
        spans.emplace_back(run.x, run.x + runWidth(run));
    if (spans.empty() || line.glyphs.empty())
        return false;
    const PageGlyph& first = page.all()[line.glyphs.front()];
    const double turn = std::atan2(first.userMatrix.m12(), first.userMatrix.m11());
    const std::set<size_t> own(line.glyphs.begin(), line.glyphs.end());
    // The glyphs on the line's baseline, in its frame, that it does not hold.
    std::vector<PageGlyph> beside;
    for (size_t g = 0; g < page.all().size(); ++g) {
        const PageGlyph& glyph = page.all()[g];
        if (own.count(g) || !glyph.visible || glyph.text.trimmed().isEmpty() ||
            std::abs(std::remainder(std::atan2(glyph.userMatrix.m12(), glyph.userMatrix.m11()) - turn, 2 * M_PI)) > kSameTurn)
            continue;
        PageGlyph framed = glyphInFrame(glyph, toFrame);
        if (std::abs(framed.origin.y() - correction.baseline) <= kSameBaselineOfSize * correction.size)
            beside.push_back(std::move(framed));
    }
    // Text laid over or under the line as it stood is none that follows it.
    const double start = line.words.front().box.left(), end = line.words.back().box.right();
    std::set<FPDF_PAGEOBJECT> over;
    for (const PageGlyph& glyph : beside)
        if (glyph.box.right() > start && glyph.box.left() < end)
            over.insert(glyph.object);
    return std::any_of(beside.begin(), beside.end(), [&](const PageGlyph& glyph) {
        return !over.count(glyph.object) && std::any_of(spans.begin(), spans.end(), [&](const auto& span) {
                   return std::min(span.second, glyph.box.right()) - std::max(span.first, glyph.box.left()) > kTouching;
               });
    });
}

}  // namespace

void PageBlockWrite::planCorrections()
{
    m_corrections.assign(m_blocks.size(), {});
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        const BlockPlan& plan = m_plans[i];
        if (!takesByGlyphs(i) || block.removed || m_forceWhiteout || !isEditedBlock(block) || isTurnedByUser(block) ||
            std::abs(block.rect.left() - block.originalRect.left()) > kInPlace ||
            std::abs(block.rect.bottom() - block.originalRect.bottom()) > kInPlace ||
            plan.lines.size() != block.lines.size())
            continue;
        const QTransform toFrame = oldFrameOf(block);
        std::vector<std::optional<LineCorrection>> lines(block.lines.size());
        for (size_t k = 0; k < block.lines.size(); ++k) {
            const TextBlock::Line& written = plan.lines[k];
            if (written.glyphText != block.lines[k].glyphText || written.restyled)
                continue;
            const std::vector<PageGlyph> ink = glyphsInFrame(m_glyphs, m_lineGlyphs[i][k].glyphs, toFrame);
            TypedFace typed;
            typed.face = [&](const QString& text, const std::vector<PageGlyph>& replaced) -> FPDF_FONT {
                const FPDF_FONT lineFont = commonFont(ink), replacedFont = commonFont(replaced);
                if (text.trimmed().isEmpty())
                    return replacedFont ? replacedFont : ink.front().font;
                return m_writer.typedFace(text, styleOfReplaced(written, block.lines[k], replacedFont),
                                          {replacedFont, lineFont}, m_glyphs, ink);
            };
            typed.advance = [](FPDF_FONT font, const QString& text, double size) {
                return advanceOf(font, text, size, false);
            };
            typed.drawsBlank = [&](FPDF_FONT font) {
                const bool pageFont = std::any_of(ink.begin(), ink.end(), [font](const PageGlyph& g) { return g.font == font; });
                return !pageFont || (m_glyphs.fontDrawsSpace(font) && advanceOf(font, QStringLiteral(" "), 1.0, false) > 0);
            };
            const Qt::Alignment alignment = block.lines[k].placement ? block.lines[k].placement->alignment : Qt::AlignLeft;
            bool rewrite = false;
            lines[k] = correctLine(m_lineGlyphs[i][k], m_glyphs, toFrame, written.text, alignment, typed, &rewrite);
            const auto runWidth = [&](const TypedRun& run) { return widthOf(*lines[k], run); };
            if (lines[k] && m_overflow.isEmpty() &&
                !keepOnPage(*lines[k], m_lineGlyphs[i][k], toFrame.inverted(), m_pageSize, runWidth))
                m_overflow = QStringLiteral("Строка «%1» не помещается по ширине страницы.")
                                 .arg(written.text.simplified().left(60));
            else if (lines[k] && m_overflow.isEmpty() &&
                     runsIntoNeighbours(*lines[k], m_lineGlyphs[i][k], m_glyphs, toFrame, runWidth))
                m_overflow = QStringLiteral("Строка «%1» наехала бы на текст, который стоит на странице следом за ней.")
                                 .arg(written.text.simplified().left(60));
            // Set again whole, the words left would lose their glyphs (their
            // marks, faces, kerning): no silent loss.
            if (!lines[k] && m_markLoss.isEmpty() && keptWordsCarryMarks(m_lineGlyphs[i][k], written.text))
                m_markLoss = QStringLiteral("Строку «%1» нельзя исправить, не потеряв знаки над оставленными словами.")
                                 .arg(written.text.simplified().left(60));
            else if (!lines[k] && !rewrite && m_markLoss.isEmpty() &&
                     keepsPageWords(m_lineGlyphs[i][k], m_glyphs, written.text))
                m_markLoss = QStringLiteral("Строку «%1» нельзя исправить, не набрав заново оставленные в ней слова.")
                                 .arg(written.text.simplified().left(60));
        }
        m_corrections[i] = std::move(lines);
    }
    noteKeptWords();
}

const LineCorrection* PageBlockWrite::correctionOf(size_t index, size_t k) const
{
    if (index >= m_corrections.size() || k >= m_corrections[index].size() || !m_corrections[index][k])
        return nullptr;
    return &*m_corrections[index][k];
}

std::vector<size_t> PageBlockWrite::takenOf(size_t index, size_t k) const
{
    const LineGlyphs& line = m_lineGlyphs[index][k];
    const LineCorrection* correction = correctionOf(index, k);
    if (!correction)
        return line.glyphs;
    std::vector<size_t> taken;
    const auto replaced = [correction](size_t w) {
        return std::find(correction->replaced.begin(), correction->replaced.end(), w) != correction->replaced.end();
    };
    for (const size_t w : correction->replaced)
        taken.insert(taken.end(), line.words[w].glyphs.begin(), line.words[w].glyphs.end());
    // A blank the page draws beside a word replaced goes with it.
    for (const auto& [after, glyph] : line.blanks)
        if ((after > 0 && replaced(after - 1)) || (after < line.words.size() && replaced(after)))
            taken.push_back(glyph);
    return taken;
}

bool PageBlockWrite::writeCorrection(size_t index, size_t, const LineCorrection& correction)
{
    const QTransform toPage = oldFrameOf(m_blocks[index]).inverted();
    for (const TypedRun& run : correction.typed)
        if (!m_writer.addRunAt(run.text, faceOf(correction, run), sizeOf(correction, run), run.color, run.x, run.scale,
                               correction.baseline, toPage, run.gap))
            return false;
    return true;
}

void PageBlockWrite::collectOwnTaken(size_t index, std::vector<int>& own) const
{
    std::set<FPDF_PAGEOBJECT> objects;
    for (size_t k = 0; k < m_lineGlyphs[index].size(); ++k)
        for (const size_t g : takenOf(index, k))
            if (m_glyphs.all()[g].own && m_glyphs.all()[g].object && !isTypedInPlace(m_glyphs.all()[g].object))
                objects.insert(m_glyphs.all()[g].object);
    m_writer.collectObjects(objects, own);
}

std::vector<GlyphSpot> PageBlockWrite::removedGlyphs() const
{
    std::vector<size_t> indexes;
    for (size_t i = 0; i < m_blocks.size(); ++i)
        for (size_t k = 0; k < m_lineGlyphs[i].size(); ++k) {
            const std::vector<size_t> taken = takenOf(i, k);
            indexes.insert(indexes.end(), taken.begin(), taken.end());
        }
    return m_glyphs.spotsOf(indexes);
}

std::vector<PageBlockWrite::WordMove> PageBlockWrite::wordMoves() const
{
    std::vector<WordMove> moves;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (m_corrections[i].empty())
            continue;
        const QTransform toPage = oldFrameOf(m_blocks[i]).inverted();
        for (size_t k = 0; k < m_corrections[i].size(); ++k) {
            const LineCorrection* correction = correctionOf(i, k);
            const LineGlyphs& line = m_lineGlyphs[i][k];
            const std::vector<KeptWord> kept = correction ? correction->kept : std::vector<KeptWord>();
            const auto isKept = [&kept](size_t w) {
                return std::any_of(kept.begin(), kept.end(), [w](const KeptWord& word) { return word.word == w; });
            };
            for (const KeptWord& word : kept) {
                if (std::abs(word.shift) < kLeastShift)
                    continue;
                std::vector<size_t> glyphs = line.words[word.word].glyphs;
                // The blank after it goes with it, but one beside a word replaced (which goes).
                for (const auto& [after, blank] : line.blanks)
                    if (after == word.word + 1 && (after == line.words.size() || isKept(after)))
                        glyphs.push_back(blank);
                std::sort(glyphs.begin(), glyphs.end());
                moves.push_back({onPage(toPage, line.words[word.word].box),
                                 toPage.map(QPointF(word.shift, 0)) - toPage.map(QPointF()), m_glyphs.spotsOf(glyphs)});
            }
        }
    }
    return moves;
}

// The words of the page's own that corrected lines keep; the program's own
// text is held to its glyphs where it stands.
void PageBlockWrite::noteKeptWords()
{
    m_keptWords.clear();
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const QTransform toPage = oldFrameOf(m_blocks[i]).inverted();
        for (size_t k = 0; k < m_corrections[i].size(); ++k) {
            const LineCorrection* correction = correctionOf(i, k);
            for (const KeptWord& kept : correction ? correction->kept : std::vector<KeptWord>()) {
                const LineWord& word = m_lineGlyphs[i][k].words[kept.word];
                if (std::any_of(word.glyphs.begin(), word.glyphs.end(), [this](size_t g) { return m_glyphs.all()[g].own; }))
                    continue;
                const QPointF by = std::abs(kept.shift) < kLeastShift
                                       ? QPointF()
                                       : toPage.map(QPointF(kept.shift, 0)) - toPage.map(QPointF());
                m_keptWords.push_back({{onPage(toPage, word.box), by}, word.text});
            }
        }
    }
}

std::vector<TypedPlace> PageBlockWrite::typedPlaces() const
{
    std::vector<TypedPlace> places;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const QTransform toPage = oldFrameOf(m_blocks[i]).inverted();
        for (size_t k = 0; k < m_corrections[i].size(); ++k) {
            const LineCorrection* correction = correctionOf(i, k);
            if (!correction)
                continue;
            for (const TypedRun& run : correction->typed) {
                const std::optional<TypedPlace> place = typedPlaceOf(m_lineGlyphs[i][k], *correction, run);
                if (!place)
                    continue;
                const double width = widthOf(*correction, run);
                places.push_back({place->anchor, toPage.map(QPointF(run.x, correction->baseline)),
                                  toPage.map(QPointF(run.x + width, correction->baseline)), place->after});
            }
        }
    }
    return places;
}

// Where a typed run goes in the content: at the first glyph of the word it
// replaces that stood nearest its start, or, typed where none went, after
// the last glyph of the word before it and its blank (before the first of
// the line's first word).
std::optional<TypedPlace> PageBlockWrite::typedPlaceOf(const LineGlyphs& line, const LineCorrection& correction,
                                                      const TypedRun& run) const
{
    const auto spot = [this](size_t glyph) {
        const std::vector<GlyphSpot> spots = m_glyphs.spotsOf({glyph});
        return spots.empty() ? std::optional<GlyphSpot>() : spots.front();
    };
    std::optional<size_t> word;
    for (const size_t w : correction.replaced)
        if (!line.words[w].glyphs.empty() &&
            (!word || std::abs(line.words[w].box.left() - run.x) < std::abs(line.words[*word].box.left() - run.x)))
            word = w;
    if (word) {
        const std::vector<size_t>& glyphs = line.words[*word].glyphs;
        const std::optional<GlyphSpot> first = spot(*std::min_element(glyphs.begin(), glyphs.end()));
        return first ? std::optional<TypedPlace>(TypedPlace{*first, {}, {}, false}) : std::nullopt;
    }
    std::optional<KeptWord> before, after;
    for (const KeptWord& kept : correction.kept) {
        const LineWord& w = line.words[kept.word];
        if (w.glyphs.empty())
            continue;
        if (w.box.right() + kept.shift <= run.x + kInPlace) {
            if (!before || w.box.right() > line.words[before->word].box.right())
                before = kept;
        } else if (!after || w.box.left() < line.words[after->word].box.left()) {
            after = kept;
        }
    }
    std::vector<size_t> glyphs = before ? line.words[before->word].glyphs
                                 : after ? line.words[after->word].glyphs
                                         : std::vector<size_t>();
    if (glyphs.empty())
        return std::nullopt;
    // After the blank that follows the word before: readers that order a
    // line's pieces by where they start read the typed words after it.
    for (const auto& [next, blank] : line.blanks)
        if (before && next == before->word + 1)
            glyphs.push_back(blank);
    const std::optional<GlyphSpot> at =
        spot(before ? *std::max_element(glyphs.begin(), glyphs.end()) : *std::min_element(glyphs.begin(), glyphs.end()));
    return at ? std::optional<TypedPlace>(TypedPlace{*at, {}, {}, before.has_value()}) : std::nullopt;
}

std::vector<TurnedBox> PageBlockWrite::ruleAreas() const
{
    std::vector<TurnedBox> areas;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (!takesByGlyphs(i))
            continue;
        if (m_corrections[i].empty()) {
            areas.insert(areas.end(), m_plans[i].whiteOuts.begin(), m_plans[i].whiteOuts.end());
            continue;
        }
        const QTransform toPage = oldFrameOf(m_blocks[i]).inverted();
        for (size_t k = 0; k < m_corrections[i].size(); ++k) {
            const LineCorrection* correction = correctionOf(i, k);
            if (!correction) {
                areas.push_back(onPage(toPage, oldLineBox(m_blocks[i].lines[k])));
                continue;
            }
            for (const size_t w : correction->replaced)
                areas.push_back(onPage(toPage, m_lineGlyphs[i][k].words[w].box));
        }
    }
    return areas;
}

}  // namespace pdfengine
