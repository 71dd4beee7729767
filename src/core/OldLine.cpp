#include "OldLine.h"

#include "NativeTextLayout.h"

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

constexpr double kMinHorizontalScale = 0.5;
constexpr double kMaxHorizontalScale = 2.0;
constexpr double kMinRunScale = 0.05;
constexpr double kWordGapOfSize = 0.33;  // a word gap when the page shows none
constexpr double kMaxJustifiedGapOfSize = 1.0;   // above this the words would read as columns
constexpr double kColumnGapOfSize = 0.4;         // a gap wider than this parts columns...
constexpr double kColumnGapOfWordGap = 1.6;      // ...when it is also this many word gaps wide
constexpr double kMinWordGapOfSize = 0.15;
constexpr double kWordBreakOfSize = 0.1;         // narrower gaps lie inside a word
constexpr double kSamePitch = 0.02;              // of the advance: glyphs of a fixed-pitch face
constexpr int kFixedPitchFlag = 1;               // the font descriptor's FixedPitch
constexpr double kLiftedSizeOfSize = 0.85;       // a smaller glyph...
constexpr double kLiftOfSize = 0.15;             // ...this far off the baseline stands apart from the line

} // namespace

// Advance of text in font at size, points; blanks count as nothing when
// skipBlanks. complete (when given) tells whether the font knew every character.
double advanceOf(FPDF_FONT font, const QString& text, double size, bool skipBlanks, bool* complete)
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


OldLine recognisedOldLine(const QString& text, const QRectF& rect, const QColor& color)
{
    OldLine line;
    line.text = text;
    line.colors.assign(size_t(text.size()), color);
    line.left = rect.left();
    line.right = rect.right();
    return line;
}

namespace {

// The room between each lifted glyph and the glyph of its word beside it,
// set on the lifts of that glyph's characters (in the order lifts were made).
void keepLiftGaps(const std::vector<PageGlyph>& ink, std::vector<Lift>& lifts)
{
    const auto inWord = [](const PageGlyph& glyph) { return !glyph.text.trimmed().isEmpty(); };
    size_t at = 0;  // the first lift of glyph i
    for (size_t i = 0; i < ink.size(); ++i) {
        const PageGlyph& glyph = ink[i];
        if (i > 0 && glyph.spaceBefore && at < lifts.size() && lifts[at].size == 0 && lifts[at].rise == 0)
            ++at;  // the blank read before it
        const size_t count = size_t(glyph.text.size());
        if (at + count > lifts.size())
            return;
        if (lifts[at].size > 0 && inWord(glyph)) {
            double before = 0, after = 0;
            if (i > 0 && !glyph.spaceBefore && inWord(ink[i - 1]))
                before = std::max(glyph.left - ink[i - 1].right, 0.0);
            if (i + 1 < ink.size() && !ink[i + 1].spaceBefore && inWord(ink[i + 1]))
                after = std::max(ink[i + 1].left - glyph.right, 0.0);
            for (size_t k = at; k < at + count; ++k) {
                lifts[k].gapBefore = before;
                lifts[k].gapAfter = after;
            }
        }
        at += count;
    }
}

// A blank the page drew between two glyphs that stand closer than a word
// gap (ghostscript kerns a pair of letters by a blank that word spacing
// squeezes to nothing) parts no words: it goes, as the page's text reads it.
std::vector<PageGlyph> withoutSqueezedBlanks(const std::vector<PageGlyph>& ink)
{
    const auto inked = [](const PageGlyph& glyph) { return !glyph.text.trimmed().isEmpty(); };
    std::vector<PageGlyph> kept;
    kept.reserve(ink.size());
    for (size_t i = 0; i < ink.size(); ++i) {
        if (!inked(ink[i]) && ink[i].visible && !kept.empty() && inked(kept.back()) && kept.back().visible) {
            size_t next = i + 1;
            while (next < ink.size() && !inked(ink[next]))
                ++next;
            if (next < ink.size() && ink[next].visible && !ink[next].spaceBefore &&
                !isWordGap(ink[next].origin.x() - kept.back().right, std::max(kept.back().size, ink[next].size))) {
                i = next - 1;
                continue;
            }
        }
        kept.push_back(ink[i]);
    }
    return kept;
}

} // namespace

OldLine oldLineOf(const std::vector<PageGlyph>& drawn)
{
    const std::vector<PageGlyph> ink = withoutSqueezedBlanks(drawn);
    OldLine line;
    line.left = ink.front().left;
    line.right = ink.front().right;
    line.font = ink.front().font;
    std::vector<double> sizes, gaps, baselines;
    for (const PageGlyph& glyph : ink) {
        if (glyph.size > 0)
            sizes.push_back(glyph.size);
        if (!glyph.text.trimmed().isEmpty())
            baselines.push_back(glyph.origin.y());
    }
    line.size = medianOf(sizes, 0);
    const double baseline = medianOf(baselines, 0);
    bool lifted = false;
    std::vector<Lift> lifts;
    for (size_t i = 0; i < ink.size(); ++i) {
        const PageGlyph& glyph = ink[i];
        const QColor fill = glyph.fill.isValid() ? glyph.fill : QColor(Qt::black);
        if (i > 0 && glyph.spaceBefore && !line.text.endsWith(QLatin1Char(' '))) {
            line.text += QLatin1Char(' ');
            line.colors.push_back(line.colors.back());
            lifts.push_back({});
            gaps.push_back(glyph.left - ink[i - 1].right);
        }
        // Readers part a raised mark from its word by its baseline: it keeps it.
        Lift lift;
        const double rise = baseline - glyph.origin.y();
        if (!glyph.text.trimmed().isEmpty() && glyph.size > 0 && glyph.size < kLiftedSizeOfSize * line.size &&
            std::abs(rise) > kLiftOfSize * line.size) {
            lift = {rise, glyph.size};
            lifted = true;
        }
        line.text += glyph.text;
        line.colors.insert(line.colors.end(), size_t(glyph.text.size()), fill);
        lifts.insert(lifts.end(), size_t(glyph.text.size()), lift);
        if (!glyph.text.trimmed().isEmpty())
            line.glyphAdvance += std::max(glyph.right - glyph.left, 0.0);
        line.left = std::min(line.left, glyph.left);
        line.right = std::max(line.right, glyph.right);
        if (glyph.font != line.font)
            line.font = nullptr;
    }
    if (lifted) {
        keepLiftGaps(ink, lifts);
        line.lifts = std::move(lifts);
    }
    line.wordGap = std::max(medianOf(gaps, 0), 0.0);
    return line;
}

namespace {

// text with each run of blanks as one, and where each character kept stood.
QString squeezedBlanks(const QString& text, std::vector<qsizetype>& from)
{
    QString squeezed;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isSpace() && !squeezed.isEmpty() && squeezed.back().isSpace())
            continue;
        squeezed += text[i];
        from.push_back(i);
    }
    return squeezed;
}

} // namespace

std::pair<qsizetype, qsizetype> sharedEnds(const QString& a, const QString& b)
{
    const qsizetype m = a.size(), n = b.size();
    qsizetype prefix = 0;
    while (prefix < m && prefix < n && a[prefix] == b[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < m - prefix && suffix < n - prefix && a[m - 1 - suffix] == b[n - 1 - suffix])
        ++suffix;
    return {prefix, suffix};
}

std::vector<Lift> liftsForText(const OldLine& old, const QString& text)
{
    if (old.lifts.size() != size_t(old.text.size()) || old.text.isEmpty())
        return {};
    // A word break the page reads beside a drawn blank is one break.
    std::vector<qsizetype> oldAt, newAt;
    const QString was = squeezedBlanks(old.text, oldAt), now = squeezedBlanks(text, newAt);
    const qsizetype m = was.size(), n = now.size();
    const auto [prefix, suffix] = sharedEnds(was, now);
    const auto liftAt = [&](qsizetype i) { return old.lifts[size_t(oldAt[size_t(i)])]; };
    bool replacedLifted = prefix < m - suffix;
    for (qsizetype i = prefix; i < m - suffix; ++i)
        replacedLifted = replacedLifted && liftAt(i).size > 0;
    std::vector<Lift> lifts(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < n; ++i) {
        Lift& lift = lifts[size_t(newAt[size_t(i)])];
        if (now[i].isSpace())
            continue;
        if (i < prefix)
            lift = liftAt(i);
        else if (i >= n - suffix)
            lift = liftAt(m - (n - i));
        else if (replacedLifted)
            lift = liftAt(prefix);
    }
    return lifts;
}

namespace {

// The room kept beside the lifted runs of text (a run: characters lifted
// alike in a row).
double liftGaps(const std::vector<Lift>& lifts)
{
    double gaps = 0;
    for (size_t i = 0; i < lifts.size(); ++i) {
        if (lifts[i].size <= 0)
            continue;
        const bool starts = i == 0 || lifts[i - 1].size != lifts[i].size || lifts[i - 1].rise != lifts[i].rise;
        const bool ends = i + 1 == lifts.size() || lifts[i + 1].size != lifts[i].size ||
                          lifts[i + 1].rise != lifts[i].rise;
        gaps += (starts ? lifts[i].gapBefore : 0.0) + (ends ? lifts[i].gapAfter : 0.0);
    }
    return gaps;
}

// How much less room the lifted characters of text take than they would at
// the line's size.
double liftedSaving(FPDF_FONT font, const QString& text, const std::vector<Lift>& lifts, double size)
{
    double saving = 0;
    for (size_t i = 0; i < lifts.size() && i < size_t(text.size()); ++i)
        if (lifts[i].size > 0)
            saving += advanceOf(font, text.mid(qsizetype(i), 1), size, true) -
                      advanceOf(font, text.mid(qsizetype(i), 1), lifts[i].size, true);
    return saving;
}

} // namespace


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
    run.lifts = liftsForText(old, run.text);
    run.natural = advanceOf(font, run.text, size, run.gapped) - liftedSaving(font, run.text, run.lifts, size) +
                  liftGaps(run.lifts);
    const double oldSaving = liftedSaving(font, old.text, old.lifts, size) - liftGaps(old.lifts);
    if (justified) {
        // The page's font tells its glyphs' advances, else their boxes do.
        const double oldInk = advanceOf(font, old.text, size, true) - oldSaving;
        bool known = false;
        const double oldAdvance =
            old.font ? advanceOf(old.font, old.text, size, true, &known) - liftedSaving(old.font, old.text, old.lifts, size)
                     : 0.0;
        const double glyphs = known && oldAdvance > 0 ? oldAdvance : old.glyphAdvance;
        run.scale = std::clamp(oldInk > 0 ? glyphs / oldInk : 1.0, kMinHorizontalScale, kMaxHorizontalScale);
        run.gap = (oldWidth - run.scale * run.natural) / blanks;
        if (run.gap < kMinJustifiedGapOfSize * size && run.natural > 0) {
            run.gap = kMinJustifiedGapOfSize * size;
            run.scale = std::max((oldWidth - run.gap * blanks) / run.natural, kMinRunScale);
        }
        if (run.gap > std::max(kMaxJustifiedGapOfSize * size, old.wordGap))
            return lineRun(text, old, font, size, fontHasNoBlank, Qt::AlignLeft, start);
    } else {
        const double oldNatural = advanceOf(font, old.text, size, run.gapped) - oldSaving;
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
    if (run.x0 < kPageEdgeMargin && run.x0 < start) {
        const double end = run.x0 + run.scale * run.natural + gaps;
        run.x0 = kPageEdgeMargin;
        if (run.natural > 0)
            run.scale = std::max((end - run.x0 - gaps) / run.natural, kMinRunScale);
    }
    return run;
}


std::vector<size_t> columnStarts(const std::vector<std::pair<double, double>>& extents, double size, double blank)
{
    std::vector<double> breaks;
    for (size_t i = 1; i < extents.size(); ++i) {
        const double gap = extents[i].first - extents[i - 1].second;
        if (gap > kWordBreakOfSize * size)
            breaks.push_back(gap);
    }
    // The line's usual word gap (the lower median, so one wide gap of two
    // does not count), else a blank.
    std::sort(breaks.begin(), breaks.end());
    const double wordGap = breaks.size() >= 2 ? std::max(breaks[(breaks.size() - 1) / 2], kMinWordGapOfSize * size)
                           : blank > 0        ? blank
                                              : kWordGapOfSize * size;
    std::vector<size_t> starts;
    if (!extents.empty())
        starts.push_back(0);
    for (size_t i = 1; i < extents.size(); ++i) {
        const double gap = extents[i].first - extents[i - 1].second;
        if (gap > kColumnGapOfSize * size && gap > kColumnGapOfWordGap * wordGap)
            starts.push_back(i);
    }
    return starts;
}

double gapInsideColumns(const std::vector<std::pair<double, double>>& extents, const std::vector<size_t>& starts,
                        double size)
{
    if (std::none_of(starts.begin(), starts.end(), [](size_t start) { return start > 0; }))
        return 0.0;
    std::vector<double> gaps;
    for (size_t i = 1; i < extents.size(); ++i) {
        const double gap = extents[i].first - extents[i - 1].second;
        if (gap > kWordBreakOfSize * size && std::find(starts.begin(), starts.end(), i) == starts.end())
            gaps.push_back(gap);
    }
    return medianOf(gaps, 0.0);
}

std::vector<std::vector<PageGlyph>> inkColumns(const std::vector<PageGlyph>& ink, double size, double blank)
{
    std::vector<size_t> drawn;  // glyphs with ink, blanks aside
    std::vector<std::pair<double, double>> extents;
    for (size_t i = 0; i < ink.size(); ++i)
        if (!ink[i].text.trimmed().isEmpty()) {
            drawn.push_back(i);
            extents.emplace_back(ink[i].left, ink[i].right);
        }
    const std::vector<size_t> starts = columnStarts(extents, size, blank);
    if (starts.size() < 2)
        return {ink};
    std::vector<std::vector<PageGlyph>> columns;
    for (size_t c = 0; c < starts.size(); ++c) {
        const size_t first = drawn[starts[c]];
        const size_t last = c + 1 < starts.size() ? drawn[starts[c + 1] - 1] : drawn.back();
        columns.emplace_back(ink.begin() + qsizetype(first), ink.begin() + qsizetype(last) + 1);
    }
    return columns;
}

std::vector<std::vector<RecognisedWord>> recognisedColumns(const std::vector<RecognisedWord>& words, double size)
{
    std::vector<std::pair<double, double>> extents;
    for (const RecognisedWord& word : words)
        extents.emplace_back(word.second.left(), word.second.right());
    const std::vector<size_t> starts = columnStarts(extents, size, 0);
    std::vector<std::vector<RecognisedWord>> columns;
    for (size_t c = 0; c < starts.size(); ++c) {
        const size_t end = c + 1 < starts.size() ? starts[c + 1] : words.size();
        columns.emplace_back(words.begin() + qsizetype(starts[c]), words.begin() + qsizetype(end));
    }
    return columns;
}

namespace {

QStringList wordsOf(const QString& text)
{
    return text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Columns first..last as one stretch: their text and colours in order, from
// the first one's start, as wide as their glyphs without the gaps between.
OldLine joinedColumns(const std::vector<OldLine>& columns, size_t first, size_t last)
{
    OldLine joined = columns[first];
    for (size_t c = first + 1; c <= last; ++c) {
        const OldLine& next = columns[c];
        const QColor blank = joined.colors.empty() ? QColor(Qt::black) : joined.colors.back();
        joined.text += QLatin1Char(' ') + next.text;
        joined.colors.push_back(blank);
        joined.colors.insert(joined.colors.end(), next.colors.begin(), next.colors.end());
        if (!joined.lifts.empty() || !next.lifts.empty()) {
            joined.lifts.resize(joined.text.size() - next.text.size());
            joined.lifts.insert(joined.lifts.end(), next.lifts.begin(), next.lifts.end());
            joined.lifts.resize(size_t(joined.text.size()));
        }
        const double gap = joined.wordGap > 0 ? joined.wordGap : kWordGapOfSize * std::max(joined.size, 1.0);
        joined.right += gap + (next.right - next.left);
        joined.glyphAdvance += next.glyphAdvance;
        joined.wordGap = std::max(joined.wordGap, next.wordGap);
        if (next.font != joined.font)
            joined.font = nullptr;
    }
    return joined;
}

} // namespace

std::vector<std::pair<qsizetype, qsizetype>> sharedWords(const QStringList& a, const QStringList& b)
{
    const qsizetype n = a.size(), m = b.size();
    std::vector<int> longest(size_t((n + 1) * (m + 1)), 0);  // from (i, j) on
    const auto at = [&](qsizetype i, qsizetype j) -> int& { return longest[size_t(i * (m + 1) + j)]; };
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            at(i, j) = a[i] == b[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    std::vector<std::pair<qsizetype, qsizetype>> shared;
    for (qsizetype i = 0, j = 0; i < n && j < m;) {
        if (a[i] == b[j]) {
            shared.emplace_back(i++, j++);
        } else if (at(i + 1, j) >= at(i, j + 1)) {
            ++i;
        } else {
            ++j;
        }
    }
    return shared;
}

std::vector<LinePiece> piecesForText(const std::vector<OldLine>& columns, const QString& text)
{
    if (columns.size() < 2)
        return {};
    std::vector<size_t> columnOf;  // per old word
    QStringList oldWords;
    for (size_t c = 0; c < columns.size(); ++c)
        for (const QString& word : wordsOf(columns[c].text)) {
            oldWords << word;
            columnOf.push_back(c);
        }
    const QStringList newWords = wordsOf(text);
    const qsizetype oldCount = oldWords.size(), newCount = newWords.size();
    if (oldCount == 0 || newCount == 0 || oldWords == newWords || oldCount > kMaxAlignedWords ||
        newCount > kMaxAlignedWords)
        return {};
    // Each new word's column: a word kept stays in its column; words between
    // two kept ones take the place of the old words there, one for one when
    // as many, else all in the first of those columns, which then run
    // together. Words only inserted join the column before them.
    std::vector<size_t> newColumn(size_t(newCount), 0);
    std::vector<bool> joinsNext(columns.size(), false);
    std::vector<std::pair<qsizetype, qsizetype>> anchors = sharedWords(oldWords, newWords);
    anchors.emplace_back(oldCount, newCount);
    qsizetype oldFrom = 0, newFrom = 0;
    for (const auto& [o, n] : anchors) {
        if (n > newFrom) {
            if (o == oldFrom) {
                const size_t column = columnOf[size_t(oldFrom > 0 ? oldFrom - 1 : 0)];
                std::fill(newColumn.begin() + newFrom, newColumn.begin() + n, column);
            } else if (o - oldFrom == n - newFrom) {
                for (qsizetype k = 0; k < n - newFrom; ++k)
                    newColumn[size_t(newFrom + k)] = columnOf[size_t(oldFrom + k)];
            } else {
                const size_t first = columnOf[size_t(oldFrom)], last = columnOf[size_t(o - 1)];
                std::fill(newColumn.begin() + newFrom, newColumn.begin() + n, first);
                std::fill(joinsNext.begin() + qsizetype(first), joinsNext.begin() + qsizetype(last), true);
            }
        }
        if (o < oldCount)
            newColumn[size_t(n)] = columnOf[size_t(o)];
        oldFrom = o + 1;
        newFrom = n + 1;
    }
    std::vector<LinePiece> pieces;
    qsizetype oldAt = 0, newAt = 0;  // next old and new word
    for (size_t c = 0; c < columns.size(); ++c) {
        size_t last = c;
        while (joinsNext[last])
            ++last;
        if (c == 0 && last + 1 == columns.size())
            return {};  // the change runs through every column: one run
        QStringList was, now;
        for (; oldAt < oldCount && columnOf[size_t(oldAt)] <= last; ++oldAt)
            was << oldWords[oldAt];
        for (; newAt < newCount && newColumn[size_t(newAt)] <= last; ++newAt)
            now << newWords[newAt];
        const bool changed = was != now;
        pieces.push_back({joinedColumns(columns, c, last), now.join(QLatin1Char(' ')), changed, c});
        c = last;
    }
    return pieces;
}

bool isFixedPitch(FPDF_FONT font, const std::vector<PageGlyph>& ink)
{
    if (font && (pdfApi().FPDFFont_GetFlags(font) & kFixedPitchFlag))
        return true;
    std::vector<double> advances;
    QString seen;
    for (const PageGlyph& glyph : ink) {
        if (glyph.text.size() != 1 || glyph.text.trimmed().isEmpty() || glyph.right <= glyph.left)
            continue;
        advances.push_back(glyph.right - glyph.left);
        if (!seen.contains(glyph.text))
            seen += glyph.text;
    }
    constexpr int kEnoughGlyphs = 3;
    if (seen.size() < kEnoughGlyphs)
        return false;
    const auto [least, most] = std::minmax_element(advances.begin(), advances.end());
    return *most - *least <= kSamePitch * *most;
}

} // namespace pdfengine
