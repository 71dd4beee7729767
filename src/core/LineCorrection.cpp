#include "LineCorrection.h"

#include "OldLine.h"
#include "ScanLineWords.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <set>

namespace pdfengine {

namespace {

constexpr double kBlankOfSize = 0.25;   // a blank when neither the page nor the face tells one
constexpr double kSameBox = 1e-6;       // points: a kept word's box as laid is its old box
constexpr double kLineSizeShare = 0.85; // a glyph this much smaller stands off the line (a mark)
constexpr double kLeastShift = 0.001;   // points a kept word moves before it counts as moved

// The median gap between the words of a line read in columns, inside its
// columns; 0 for a line of one column.
double columnWordGap(const LineGlyphs& line, double size)
{
    std::vector<std::pair<double, double>> extents;
    for (const LineWord& word : line.words)
        extents.emplace_back(word.box.left(), word.box.right());
    return gapInsideColumns(extents, columnStarts(extents, size, 0), size);
}

QStringList textsOf(const LineGlyphs& line)
{
    QStringList texts;
    for (const LineWord& word : line.words)
        texts << word.text;
    return texts;
}

QStringList wordsIn(const QString& text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.split(blanks, Qt::SkipEmptyParts);
}

// The glyphs of some words of the line, in its frame, those with ink only.
std::vector<PageGlyph> inkOf(const LineGlyphs& line, const std::vector<size_t>& words, const PageGlyphs& page,
                             const QTransform& toFrame)
{
    std::vector<PageGlyph> ink;
    for (const size_t w : words)
        for (const size_t g : line.words[w].glyphs)
            if (page.all()[g].visible && !page.all()[g].text.trimmed().isEmpty())
                ink.push_back(glyphInFrame(page.all()[g], toFrame));
    return ink;
}

// Where the line's own letters stand: the middle baseline of its glyphs at its size.
double baselineOf(const std::vector<PageGlyph>& ink, double size)
{
    std::vector<double> ys;
    for (const PageGlyph& glyph : ink)
        if (glyph.size >= kLineSizeShare * size)
            ys.push_back(glyph.origin.y());
    return medianOf(ys, ink.empty() ? 0.0 : ink.front().origin.y());
}

// The colour of the first glyph of a word of the line, invalid without one.
QColor colourOf(const std::vector<PageGlyph>& ink)
{
    for (const PageGlyph& glyph : ink)
        if (glyph.fill.isValid())
            return glyph.fill;
    return QColor();
}

// A justified line keeps its end: the room the change took or gave up is
// shared out between the gaps from the first changed word on, none
// narrower than a blank other readers still read as one nor, where it
// gives room, wider than the widest; what they cannot take, between all its
// gaps, none narrower than that. What is left runs the line on past its
// end: typed words keep their width.
void keepJustifiedEnd(std::vector<ScanLineWord>& laid, double oldEnd, double size, double wordGap)
{
    const auto first = std::find_if(laid.begin(), laid.end(), [](const ScanLineWord& w) { return !w.kept; });
    const qsizetype from = first - laid.begin();
    const qsizetype gaps = qsizetype(laid.size()) - 1 - from;
    const double least = kMinJustifiedGapOfSize * size, most = std::max(1.0 * size, wordGap);
    if (first == laid.end())
        return;
    const auto share = [&](qsizetype after, qsizetype count, bool bounded) {
        const double slack = oldEnd - (laid.back().left + laid.back().width);
        if (count <= 0 || std::abs(slack) < 1e-3)
            return;
        double moved = 0;
        for (qsizetype i = after + 1; i < qsizetype(laid.size()); ++i) {
            ScanLineWord& word = laid[size_t(i)];
            const ScanLineWord& before = laid[size_t(i - 1)];
            const double gap = word.left + moved - (before.left + before.width);
            const double wanted = bounded ? std::clamp(gap + slack / double(count), std::min(least, gap), std::max(most, gap))
                                          : std::max(gap + slack / double(count), std::min(least, gap));
            moved += wanted - gap;
            word.left += moved;
        }
    };
    share(from, gaps, true);
    // What those gaps cannot take, all the line's share: the words before
    // the change shift whole too.
    share(0, qsizetype(laid.size()) - 1, false);
}

// The words kept that share an object of the program's own text with a
// word replaced: the object goes whole, so they are drawn again as they
// stood.
std::vector<bool> brokenOwnWords(const LineGlyphs& line, const PageGlyphs& page, const std::vector<bool>& keeps)
{
    std::set<FPDF_PAGEOBJECT> broken;
    for (size_t w = 0; w < keeps.size(); ++w)
        if (!keeps[w])
            for (const size_t g : line.words[w].glyphs)
                if (page.all()[g].own)
                    broken.insert(page.all()[g].object);
    std::vector<bool> redrawn(keeps.size(), false);
    for (size_t w = 0; w < keeps.size(); ++w)
        redrawn[w] = keeps[w] && std::any_of(line.words[w].glyphs.begin(), line.words[w].glyphs.end(), [&](size_t g) {
                         return page.all()[g].own && broken.count(page.all()[g].object);
                     });
    return redrawn;
}

// A word the program drew, drawn again at left (where its advance starts
// now) in its own face, size, width and colour: the same glyphs elsewhere.
// None where its glyphs are not of one face.
std::optional<TypedRun> drawnAgain(const LineWord& word, const std::vector<PageGlyph>& ink, double left,
                                   const std::function<double(FPDF_FONT, const QString&, double)>& advance)
{
    if (ink.empty() || std::any_of(ink.begin(), ink.end(), [&](const PageGlyph& g) { return g.font != ink.front().font; }))
        return std::nullopt;
    TypedRun run;
    run.text = word.text;
    run.x = left;
    run.face = ink.front().font;
    run.size = ink.front().size;
    const double natural = run.size > 0 ? advance(run.face, run.text, run.size) : 0.0;
    if (!(natural > 0))
        return std::nullopt;
    run.scale = word.box.width() / natural;
    run.color = colourOf(ink);
    return run;
}

}  // namespace

bool keepsPageWords(const LineGlyphs& line, const PageGlyphs& page, const QString& text)
{
    const QStringList was = textsOf(line);
    const auto shared = sharedWords(was, wordsIn(text));
    return std::any_of(shared.begin(), shared.end(), [&](const auto& pair) {
        const std::vector<size_t>& glyphs = line.words[size_t(pair.first)].glyphs;
        return std::any_of(glyphs.begin(), glyphs.end(), [&](size_t g) { return !page.all()[g].own; });
    });
}

bool keptWordsCarryMarks(const LineGlyphs& line, const QString& text)
{
    const QStringList was = textsOf(line);
    const auto shared = sharedWords(was, wordsIn(text));
    return std::any_of(shared.begin(), shared.end(), [&](const auto& pair) { return line.words[size_t(pair.first)].marked; });
}

std::optional<LineCorrection> correctLine(const LineGlyphs& line, const PageGlyphs& page, const QTransform& toFrame,
                                          const QString& text, Qt::Alignment alignment, const TypedFace& typed,
                                          bool* rewrite)
{
    const auto rewritten = [rewrite]() -> std::optional<LineCorrection> {
        if (rewrite)
            *rewrite = true;
        return std::nullopt;
    };
    std::vector<std::pair<QString, QRectF>> oldWords;
    QStringList was;
    std::vector<size_t> all;
    for (size_t w = 0; w < line.words.size(); ++w) {
        oldWords.emplace_back(line.words[w].text, line.words[w].box);
        was << line.words[w].text;
        all.push_back(w);
    }
    LineCorrection correction;
    const std::vector<PageGlyph> lineInk = inkOf(line, all, page, toFrame);
    if (lineInk.empty())
        return std::nullopt;
    const QStringList now = wordsIn(text);
    if (was == now) {
        for (size_t w = 0; w < line.words.size(); ++w)
            correction.kept.push_back({w, 0.0});
        return correction;  // nothing to write, nothing taken
    }
    // The words replaced, as the words the line keeps tell them, and those
    // of the program's objects they break.
    std::vector<bool> keeps(line.words.size(), false);
    for (const auto& [o, n] : sharedWords(was, now))
        keeps[size_t(o)] = true;
    // Words the program wrote stay as it drew them; those of its objects a
    // word replaced breaks are drawn again as they stood.
    const std::vector<bool> redrawn = brokenOwnWords(line, page, keeps);
    // A word drawn with a blank squeezed into it (groff's kerning) reads
    // apart once it stands anywhere else: it may stay, not move.
    std::set<size_t> unmovable;
    for (size_t w = 0; w < keeps.size(); ++w) {
        const std::vector<size_t>& glyphs = line.words[w].glyphs;
        if (!keeps[w] || glyphs.empty())
            continue;
        const auto [low, high] = std::minmax_element(glyphs.begin(), glyphs.end());
        for (size_t g = *low; g <= *high; ++g)
            if (page.all()[g].text.trimmed().isEmpty() && std::find(glyphs.begin(), glyphs.end(), g) == glyphs.end())
                unmovable.insert(w);
    }
    QStringList typedWords = now;
    for (const auto& [o, n] : sharedWords(was, now))
        typedWords[n].clear();
    typedWords.removeAll(QString());
    std::vector<size_t> replacedWords;
    for (size_t w = 0; w < keeps.size(); ++w)
        if (!keeps[w])
            replacedWords.push_back(w);
    const std::vector<PageGlyph> replacedInk = inkOf(line, replacedWords, page, toFrame);
    correction.face = typed.face(typedWords.join(QLatin1Char(' ')), replacedInk);
    if (!correction.face)
        return std::nullopt;
    const OldLine old = oldLineOf(lineInk);
    // Text only added after the last word of a line read in columns: on a
    // line set from its start, the text follows the last column and every
    // word stays; elsewhere the last column is written again, as the window
    // shows it.
    const bool appended = std::all_of(keeps.begin(), keeps.end(), [](bool k) { return k; }) &&
                          sharedWords(was, now).back().second + 1 < now.size();
    if (appended && alignment != Qt::AlignLeft) {
        std::vector<PageGlyph> letters;  // marks drawn apart stand back over their letters
        std::copy_if(lineInk.begin(), lineInk.end(), std::back_inserter(letters), [](const PageGlyph& glyph) {
            return std::none_of(glyph.text.begin(), glyph.text.end(), [](QChar c) {
                return c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Symbol_Modifier;
            });
        });
        const double blank = old.font ? typed.advance(old.font, QStringLiteral(" "), old.size) : 0.0;
        if (inkColumns(letters, old.size, blank).size() > 1)
            return rewritten();
    }
    correction.size = replacedInk.empty() ? old.size : oldLineOf(replacedInk).size;
    if (!(correction.size > 0))
        return std::nullopt;
    correction.baseline = baselineOf(lineInk, old.size);
    const bool blankDrawn = typed.drawsBlank(correction.face);
    const double faceBlank = blankDrawn ? typed.advance(correction.face, QStringLiteral(" "), correction.size) : 0;
    double blank = old.wordGap > 0 ? old.wordGap : faceBlank > 0 ? faceBlank : kBlankOfSize * correction.size;
    // Where blanks are glyphs, the gaps read apart are column gaps: the
    // words of a column stand their blank apart.
    if (const double inside = columnWordGap(line, old.size); inside > 0 && inside < blank)
        blank = inside;
    // Where the face draws no blank, the words stand a blank apart.
    const auto advance = [&](const QString& s) {
        if (blankDrawn)
            return typed.advance(correction.face, s, correction.size);
        static const QRegularExpression blanks(QStringLiteral("\\s"));
        QString letters = s;
        letters.remove(blanks);
        return typed.advance(correction.face, letters, correction.size) + blankCount(s) * blank;
    };
    // Columns apart stay each where it stood, as long as the words before
    // them leave room; the words kept move whole, never set again.
    std::vector<ScanLineWord> laid = scanLineWords(oldWords, text, correction.size, blank, advance, true);
    if (laid.empty())
        return std::nullopt;
    // A right-aligned line keeps its end, a centred one its middle, a justified one both.
    const double oldEnd = oldWords.back().second.right();
    if (alignment == Qt::AlignJustify)
        keepJustifiedEnd(laid, oldEnd, correction.size, blank);
    const double newEnd = laid.back().left + laid.back().width;
    const double realign = alignment == Qt::AlignRight     ? oldEnd - newEnd
                           : alignment == Qt::AlignHCenter ? (oldEnd - newEnd) / 2
                                                           : 0.0;
    size_t next = 0;  // the next old word a kept one may stand for
    QColor last = colourOf(lineInk);
    for (const ScanLineWord& word : laid) {
        const double left = word.left + realign;
        if (!word.kept) {
            // In the colour of what it replaces, else of the word before it.
            QColor colour = last;
            if (next < keeps.size() && !keeps[next])
                colour = colourOf(inkOf(line, {next}, page, toFrame));
            correction.typed.push_back({word.text, left, word.scale, colour.isValid() ? colour : last,
                                        blankDrawn ? 0.0 : word.scale * blank});
            continue;
        }
        while (next < oldWords.size() && (!keeps[next] || std::abs(oldWords[next].second.left() - word.oldBox.left()) > kSameBox))
            ++next;
        if (next == oldWords.size())
            return std::nullopt;
        const double shift = left - word.oldBox.left();
        // A word with a blank squeezed into it reads apart once it stands
        // anywhere else: a line where such a word would have to move is
        // written again.
        if (std::abs(shift) > kLeastShift && unmovable.count(next))
            return rewritten();
        // The program's own words move as they stood: drawn again in their
        // face, size and width where they now stand, their old glyphs going.
        const std::vector<size_t>& glyphs = line.words[next].glyphs;
        if (redrawn[next] || (std::abs(shift) > kLeastShift &&
                              std::any_of(glyphs.begin(), glyphs.end(), [&](size_t g) { return page.all()[g].own; }))) {
            // A word read run into one the program wrote holds glyphs of the
            // page's own too: drawn again, they would be set anew.
            if (std::any_of(glyphs.begin(), glyphs.end(), [&](size_t g) { return !page.all()[g].own; }))
                return std::nullopt;
            const std::vector<PageGlyph> ink = inkOf(line, {next}, page, toFrame);
            const std::optional<TypedRun> again =
                line.words[next].marked ? std::nullopt : drawnAgain(line.words[next], ink, left, typed.advance);
            if (!again)
                return std::nullopt;
            correction.typed.push_back(*again);
            last = again->color;
            ++next;
            continue;
        }
        correction.kept.push_back({next, shift});
        last = colourOf(inkOf(line, {next}, page, toFrame));
        ++next;
    }
    for (size_t w = 0; w < keeps.size(); ++w)
        if (std::none_of(correction.kept.begin(), correction.kept.end(), [w](const KeptWord& k) { return k.word == w; }))
            correction.replaced.push_back(w);
    return correction;
}

}  // namespace pdfengine
