// Native lines put together: fragments pdfium handed out apart joined along
// their baseline (across a rule drawn between two letters of a word, too),
// and lines of upright words stepping down a turned baseline.
#include "NativeTextLayout.h"

#include "OldLine.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

namespace pdfengine {

QTransform readingFrameOf(double rotation)
{
    QTransform t;
    t.rotate(rotation);  // y grows upward: this turns clockwise-read text back
    return t;
}

namespace {

QRectF inkRectOf(const std::vector<CharInfo>& chars)
{
    QRectF ink;
    for (const CharInfo& c : chars) {
        if (charHasVisibleInk(c))
            ink = ink.isNull() ? c.box : ink.united(c.box);
    }
    return ink;
}

bool isSpacingMark(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Symbol_Modifier || c.category() == QChar::Mark_NonSpacing;
    });
}

// The ink of a fragment's first or last word: where it meets a piece that
// carries it on. A long line of upright words stepping down a turned
// baseline spans a band of the page far taller than any of its words. An
// accent standing alone at a fragment's end ("elementi `") stands over the
// next fragment's first letter: the word before it ends the fragment.
QRectF endWordInk(const std::vector<CharInfo>& chars, bool last)
{
    QRectF ink, marks;
    bool onlyMarks = true;
    for (size_t n = 0; n < chars.size(); ++n) {
        const CharInfo& c = chars[last ? chars.size() - 1 - n : n];
        if (c.text.trimmed().isEmpty() && !ink.isNull()) {
            if (!last || !onlyMarks || !marks.isNull())
                break;  // the word ends at its first blank
            marks = ink;
            ink = QRectF();
            continue;
        }
        if (charHasVisibleInk(c)) {
            ink = ink.isNull() ? c.box : ink.united(c.box);
            onlyMarks = onlyMarks && isSpacingMark(c.text);
        }
    }
    return ink.isNull() ? marks : ink;
}

// A fragment's ink up to its letters' end: an accent drawn as a glyph of its
// own after a letter ("Irrt" "¨") stands over the next fragment's first
// letter, past where the fragment's letters end.
QRectF inkBeforeMarks(const LineFragment& fragment, const QRectF& ink)
{
    auto end = fragment.chars.end();
    while (end != fragment.chars.begin() && (std::prev(end)->text.trimmed().isEmpty() || isSpacingMark(std::prev(end)->text)))
        --end;
    if (end == fragment.chars.end() || end == fragment.chars.begin())
        return ink;
    QRectF letters;
    for (auto c = fragment.chars.begin(); c != end; ++c)
        if (charHasVisibleInk(*c))
            letters = letters.isNull() ? c->box : letters.united(c->box);
    return letters.isNull() ? ink : letters;
}

// b carries a's line on to the right: same direction, a's last word and b's
// first share a band of the page, and b starts about where a's letters end
// (kerned under it, or a blank away).
bool continuesLine(const LineFragment& a, const QRectF& inkA, const QRectF& tailA, const LineFragment& b,
                   const QRectF& inkB, const QRectF& headB)
{
    constexpr double kSameDirection = 1.0;      // degrees
    constexpr double kSharedBand = 0.5;         // of the lower word's height
    constexpr double kReach = 0.6;              // of a fragment's height, either way
    if (std::abs(a.rotation - b.rotation) > kSameDirection || inkA.isNull() || inkB.isNull())
        return false;
    const double lowWord = std::max(std::min(tailA.height(), headB.height()), 1.0);
    const double overlap = std::min(tailA.bottom(), headB.bottom()) - std::max(tailA.top(), headB.top());
    if (overlap < kSharedBand * lowWord)
        return false;
    // Never a column gap apart, as a line read in one piece is cut at one.
    constexpr double kColumnGapOfHeight = 1.1, kLeastColumnGap = 8.0;
    const double low = std::max(std::min(inkA.height(), inkB.height()), 1.0);
    const double high = std::max(inkA.height(), inkB.height());
    const double gap = inkB.left() - inkBeforeMarks(a, inkA).right();
    return gap >= -kReach * low && gap <= std::max(kReach * high, std::min(kColumnGapOfHeight * high, kLeastColumnGap)) &&
           inkB.right() > inkA.right();
}

// The next fragment starts a word gap after the one it carries on (along
// the line: the boxes are in its frame), and neither brings a blank of its own.
bool startsAWordAway(const LineFragment& a, const QRectF& inkA, const LineFragment& b, const QRectF& inkB)
{
    constexpr double kWordGapOfHeight = 0.12;  // a letter gap is less, the narrowest word gap more
    if (a.chars.empty() || b.chars.empty() || a.chars.back().text.trimmed().isEmpty() ||
        b.chars.front().text.trimmed().isEmpty())
        return false;
    const double low = std::max(std::min(inkA.height(), inkB.height()), 1.0);
    return inkB.left() - inkA.right() > kWordGapOfHeight * low;
}

} // namespace

void joinLineFragments(std::vector<LineFragment>& fragments)
{
    // Pairs are compared: a page of tens of thousands of pieces stays as read.
    constexpr size_t kMaxFragments = 4000;
    if (fragments.size() > kMaxFragments)
        return;
    std::vector<QRectF> inks, heads, tails;
    inks.reserve(fragments.size());
    for (const LineFragment& fragment : fragments) {
        inks.push_back(inkRectOf(fragment.chars));
        heads.push_back(endWordInk(fragment.chars, false));
        tails.push_back(endWordInk(fragment.chars, true));
    }
    for (size_t i = 0; i < fragments.size(); ++i) {
        // Each piece found carries the line further: look for the next one.
        for (bool grew = true; grew;) {
            grew = false;
            for (size_t j = 0; j < fragments.size(); ++j) {
                if (j == i || !continuesLine(fragments[i], inks[i], tails[i], fragments[j], inks[j], heads[j]))
                    continue;
                std::vector<CharInfo>& chars = fragments[i].chars;
                if (startsAWordAway(fragments[i], inks[i], fragments[j], inks[j]))
                    chars.push_back(blankBetween(chars.back(), fragments[j].chars.front()));
                chars.insert(chars.end(), fragments[j].chars.begin(), fragments[j].chars.end());
                inks[i] = inks[i].united(inks[j]);
                tails[i] = tails[j];
                fragments.erase(fragments.begin() + qsizetype(j));
                inks.erase(inks.begin() + qsizetype(j));
                heads.erase(heads.begin() + qsizetype(j));
                tails.erase(tails.begin() + qsizetype(j));
                if (j < i)
                    --i;
                grew = true;
                break;
            }
        }
    }
}

namespace {

constexpr double kRoomClear = 0.1;  // points a run keeps off the ink around its room
constexpr double kSameBand = 0.55;  // of the height: centres of one baseline's glyphs

// Puts run into line where it stands, when it stands in room on the line's
// band no glyph of the line fills, or a few letters before its start; false,
// the line as it was, otherwise.
bool setIntoRoom(std::vector<CharInfo>& line, const std::vector<CharInfo>& run)
{
    constexpr double kLeadOfHeight = 2.0;   // how far before a line a word typed at its start stands
    constexpr double kSameSize = 0.2;       // of the size: a line's letters and those typed into it
    constexpr double kSameBaseline = 0.15;  // of the size
    const QRectF ink = inkRectOf(run), lineInk = inkRectOf(line);
    if (ink.isNull() || lineInk.isNull() || ink.right() > lineInk.right() ||
        ink.left() < lineInk.left() - kLeadOfHeight * std::max(ink.height(), lineInk.height()) ||
        std::abs(ink.center().y() - lineInk.center().y()) > kSameBand * std::max(ink.height(), lineInk.height()))
        return false;
    // Letters of the line's size on its baseline, not those of a line laid over it.
    const auto inked = [](const std::vector<CharInfo>& chars) {
        return *std::find_if(chars.begin(), chars.end(), charHasVisibleInk);
    };
    const CharInfo a = inked(line), b = inked(run);
    const double size = std::max({a.size, b.size, 1.0});
    if (std::abs(a.size - b.size) > kSameSize * size ||
        (a.hasOrigin && b.hasOrigin && std::abs(a.origin.y() - b.origin.y()) > kSameBaseline * size))
        return false;
    if (std::any_of(line.begin(), line.end(), [&](const CharInfo& c) {
            return charHasVisibleInk(c) && c.box.right() > ink.left() - kRoomClear &&
                   c.box.left() < ink.right() + kRoomClear;
        }))
        return false;
    const auto at = std::find_if(line.begin(), line.end(),
                                 [&](const CharInfo& c) { return charHasVisibleInk(c) && c.box.left() >= ink.right(); });
    line.insert(at, run.begin(), run.end());
    return true;
}

// A run's words, each with the blanks after it: words typed apart may
// stand in rooms of their own.
std::vector<std::vector<CharInfo>> wordPieces(const std::vector<CharInfo>& run)
{
    std::vector<std::vector<CharInfo>> pieces(1);
    for (size_t i = 0; i < run.size(); ++i) {
        const bool blank = run[i].text.trimmed().isEmpty();
        if (!blank && i > 0 && run[i - 1].text.trimmed().isEmpty() && !pieces.back().empty())
            pieces.emplace_back();
        pieces.back().push_back(run[i]);
    }
    return pieces;
}

// Sets each word of run into room of some line, the first that takes it;
// what no line takes stays in run. True when all of it went.
template <typename Lines>
bool setWordsIntoRoom(Lines lines, std::vector<CharInfo>& run)
{
    std::vector<CharInfo> left;
    for (const std::vector<CharInfo>& piece : wordPieces(run)) {
        const auto homes = lines();
        if (std::none_of(homes.begin(), homes.end(), [&](std::vector<CharInfo>* line) { return setIntoRoom(*line, piece); }))
            left.insert(left.end(), piece.begin(), piece.end());
    }
    run = std::move(left);
    return run.empty();
}

// A fragment's tail that stands too far from the rest of it to carry it on,
// but carries another fragment's line on, goes to the end of that line:
// words typed after a line's last are drawn after all else on the page.
void moveTailsToTheirLines(std::vector<LineFragment>& fragments)
{
    for (size_t j = 0; j < fragments.size(); ++j) {
        std::vector<CharInfo>& chars = fragments[j].chars;
        const CharInfo* previous = nullptr;
        for (size_t cut = 0; cut < chars.size(); ++cut) {
            if (!charHasVisibleInk(chars[cut]))
                continue;
            const CharInfo* before = previous;
            previous = &chars[cut];
            if (!before || chars[cut].box.left() - before->box.right() <= chars[cut].box.height())
                continue;
            const LineFragment head{{chars.begin(), chars.begin() + qsizetype(cut)}, fragments[j].rotation};
            const LineFragment tail{{chars.begin() + qsizetype(cut), chars.end()}, fragments[j].rotation};
            const QRectF headInk = inkRectOf(head.chars), tailInk = inkRectOf(tail.chars);
            const QRectF headEnd = endWordInk(head.chars, true), tailStart = endWordInk(tail.chars, false);
            if (continuesLine(head, headInk, headEnd, tail, tailInk, tailStart))
                continue;
            for (size_t i = 0; i < fragments.size(); ++i) {
                std::vector<CharInfo>& line = fragments[i].chars;
                if (i == j || line.empty() ||
                    !continuesLine(fragments[i], inkRectOf(line), endWordInk(line, true), tail, tailInk, tailStart))
                    continue;
                if (startsAWordAway(fragments[i], inkRectOf(line), tail, tailInk))
                    line.push_back(blankBetween(line.back(), tail.chars.front()));
                line.insert(line.end(), tail.chars.begin(), tail.chars.end());
                chars.erase(chars.begin() + qsizetype(cut), chars.end());
                break;
            }
            break;
        }
    }
}

}  // namespace

std::vector<CharInfo> runsInTheirRoom(const std::vector<CharInfo>& chars)
{
    constexpr double kSameGlyphStart = 0.5;  // points: letters of one ligature glyph start together
    // Runs, cut where an inked glyph starts left of the one before it and
    // clear of it, on the same band.
    std::vector<std::vector<CharInfo>> runs(1);
    const CharInfo* previous = nullptr;
    for (const CharInfo& c : chars) {
        if (charHasVisibleInk(c)) {
            if (previous && c.box.left() < previous->box.left() - kSameGlyphStart &&
                c.box.right() <= previous->box.left() + kRoomClear &&
                std::abs(c.box.center().y() - previous->box.center().y()) <=
                    kSameBand * std::max(c.box.height(), previous->box.height()))
                runs.emplace_back();
            previous = &c;
        }
        runs.back().push_back(c);
    }
    if (runs.size() < 2)
        return chars;
    std::vector<CharInfo> line = std::move(runs.front());
    for (size_t r = 1; r < runs.size(); ++r) {
        std::vector<CharInfo>& run = runs[r];
        if (!setWordsIntoRoom([&line] { return std::vector<std::vector<CharInfo>*>{&line}; }, run))
            line.insert(line.end(), run.begin(), run.end());
    }
    return line;
}

void setFragmentsInTheirRoom(std::vector<LineFragment>& fragments)
{
    constexpr size_t kMaxFragments = 4000;  // pairs are compared
    constexpr double kSameDirection = 1.0;  // degrees
    if (fragments.size() > kMaxFragments)
        return;
    for (size_t j = 0; j < fragments.size(); ++j) {
        const auto others = [&] {
            std::vector<std::vector<CharInfo>*> lines;
            for (LineFragment& line : fragments)
                if (&line != &fragments[j] && std::abs(line.rotation - fragments[j].rotation) <= kSameDirection)
                    lines.push_back(&line.chars);
            return lines;
        };
        if (setWordsIntoRoom(others, fragments[j].chars)) {
            fragments.erase(fragments.begin() + qsizetype(j));
            --j;
        }
    }
    moveTailsToTheirLines(fragments);
}

namespace {

// The turn, degrees clockwise as displayed, of the straight line through the
// points, when every point lies within tolerance of it; 0 otherwise.
double turnOfLineThrough(const std::vector<QPointF>& points, double tolerance)
{
    constexpr double kMinTurn = 0.1;  // degrees; less drifts no more than a rounding
    constexpr double kMaxTurn = 5.0;  // more is no scan's skew
    double mx = 0, my = 0;
    for (const QPointF& p : points) {
        mx += p.x();
        my += p.y();
    }
    mx /= double(points.size());
    my /= double(points.size());
    double sxx = 0, sxy = 0;
    for (const QPointF& p : points) {
        sxx += (p.x() - mx) * (p.x() - mx);
        sxy += (p.x() - mx) * (p.y() - my);
    }
    if (sxx <= 0)
        return 0;
    const double slope = sxy / sxx;
    for (const QPointF& p : points)
        if (std::abs(p.y() - (my + slope * (p.x() - mx))) > tolerance)
            return 0;
    const double degrees = -std::atan(slope) * 180.0 / M_PI;  // y grows upward: falling is clockwise
    return std::abs(degrees) >= kMinTurn && std::abs(degrees) <= kMaxTurn ? degrees : 0;
}

// One word of a line: the middle of its letters on their baseline (valid
// while all stand on one), and its box.
struct WordMarks {
    QPointF foot;
    bool upright = true;
    QRectF box;
};

std::vector<WordMarks> wordMarksOf(const std::vector<CharInfo>& chars)
{
    constexpr double kSameBaseline = 0.1;  // points: the letters of one upright word
    std::vector<WordMarks> words;
    std::vector<const CharInfo*> letters;
    const auto finish = [&]() {
        if (letters.empty())
            return;
        WordMarks word;
        double low = letters.front()->origin.y(), high = low, x = 0;
        for (const CharInfo* c : letters) {
            low = std::min(low, c->origin.y());
            high = std::max(high, c->origin.y());
            x += c->origin.x();
            word.box = word.box.isNull() ? c->box : word.box.united(c->box);
        }
        word.upright = high - low <= kSameBaseline;
        word.foot = QPointF(x / double(letters.size()), (low + high) / 2);
        words.push_back(word);
        letters.clear();
    };
    for (const CharInfo& c : chars) {
        if (c.text.trimmed().isEmpty())
            finish();
        else if (charHasVisibleInk(c) && c.hasOrigin)
            letters.push_back(&c);
    }
    finish();
    return words;
}

} // namespace

double steppedLineTurn(const std::vector<CharInfo>& chars)
{
    constexpr size_t kMinWords = 3;       // a raised word among them does not fit one line
    constexpr size_t kMinLayerWords = 2;  // a searchable layer raises none
    constexpr double kOnTheLine = 0.3;    // points: a word's baseline off the fitted one
    constexpr double kBoxesOnTheLine = 0.25;  // of a word's height: middles of words fitted to their boxes
    const bool layer =
        std::all_of(chars.begin(), chars.end(), [](const CharInfo& c) { return c.invisible || !charHasVisibleInk(c); });
    const std::vector<WordMarks> words = wordMarksOf(chars);
    if (words.size() < (layer ? kMinLayerWords : kMinWords))
        return 0;
    if (std::all_of(words.begin(), words.end(), [](const WordMarks& w) { return w.upright; })) {
        std::vector<QPointF> feet;
        for (const WordMarks& word : words)
            feet.push_back(word.foot);
        if (const double turn = turnOfLineThrough(feet, kOnTheLine); turn != 0 || !layer)
            return turn;
    }
    // A layer of words each stretched over its box (an earlier layer, another
    // tool's) stands on no common baseline: the middles of the boxes run
    // along the turned line.
    if (!layer || words.size() < kMinWords)
        return 0;
    std::vector<QPointF> middles;
    std::vector<double> heights;
    for (const WordMarks& word : words) {
        middles.push_back(word.box.center());
        heights.push_back(word.box.height());
    }
    return turnOfLineThrough(middles, kBoxesOnTheLine * medianOf(heights, 0));
}

void turnCharsInto(std::vector<CharInfo>& chars, double degrees)
{
    const QTransform frame = readingFrameOf(degrees);
    for (CharInfo& c : chars) {
        QRectF box = c.box;
        box.moveCenter(frame.map(c.box.center()));
        c.box = box;
        c.origin = frame.map(c.origin);
        if (!c.advanceBox.isNull()) {
            QRectF advance = c.advanceBox;
            advance.moveCenter(frame.map(c.advanceBox.center()));
            c.advanceBox = advance;
        }
        c.rotation += degrees;
    }
}

namespace {

constexpr double kRuleThickness = 0.15;  // of the size: thicker is a box, not an underscore
constexpr double kRuleLeast = 0.1;       // of the size: narrower is a speck
constexpr double kRuleReach = 0.35;      // of the size: how far off the baseline its middle may stand
constexpr double kRuleOverlap = 0.5;     // points it may reach under a glyph beside it
constexpr double kRuleLeastHeight = 0.2;  // points: a hairline still has ink
constexpr double kSameDirection = 1.0;   // degrees
constexpr double kRuleSpansGap = 0.5;    // of the gap: an underscore's rule fills most of it, kerns aside
constexpr int kSameColour = 24;          // per component: the letters' colour, read through another colour space

bool paintsAsLetters(const QColor& rule, const CharInfo& letter)
{
    if (!rule.isValid() || !letter.fill.isValid())
        return true;  // nothing says otherwise
    return std::abs(rule.red() - letter.fill.red()) <= kSameColour &&
           std::abs(rule.green() - letter.fill.green()) <= kSameColour &&
           std::abs(rule.blue() - letter.fill.blue()) <= kSameColour;
}

// The rule lying in the gap between two glyphs of one line, on their
// baseline; null when none does. Boxes in the line's frame.
const QRectF* ruleBetween(const CharInfo& before, const CharInfo& after, const std::vector<ThinPath>& rules)
{
    const double size = std::max({before.size, after.size, 1.0});
    const double left = before.box.right(), right = after.box.left();
    if (right <= left)
        return nullptr;
    const double baseline = before.hasOrigin ? before.origin.y() : before.box.y();
    // Only a piece of the same line goes on past the rule: a ruler's tick
    // stands between labels far above and below.
    const double afterBaseline = after.hasOrigin ? after.origin.y() : after.box.y();
    if (std::abs(afterBaseline - baseline) > kRuleReach * size)
        return nullptr;
    for (const ThinPath& path : rules) {
        const QRectF& rule = path.box;
        if (rule.height() <= kRuleThickness * size && rule.width() >= kRuleLeast * size &&
            rule.width() >= kRuleSpansGap * (right - left) && rule.left() >= left - kRuleOverlap &&
            rule.right() <= right + kRuleOverlap && std::abs(rule.center().y() - baseline) <= kRuleReach * size &&
            paintsAsLetters(path.colour, before))
            return &rule;
    }
    return nullptr;
}

// The underscore a rule draws between two glyphs: styled as the first, its
// advance filling the gap, so no word break is read there.
CharInfo underscoreOf(const CharInfo& before, const CharInfo& after, const QRectF& rule)
{
    CharInfo c = before;
    c.text = QStringLiteral("_");
    c.box = rule.height() >= kRuleLeastHeight
                ? rule
                : QRectF(rule.x(), rule.center().y() - kRuleLeastHeight / 2, rule.width(), kRuleLeastHeight);
    const bool advances = !before.advanceBox.isNull() && !after.advanceBox.isNull();
    c.advanceBox = advances ? QRectF(before.advanceBox.right(), before.advanceBox.y(),
                                     std::max(after.advanceBox.left() - before.advanceBox.right(), 0.0),
                                     before.advanceBox.height())
                            : QRectF();
    c.hasOrigin = before.hasOrigin && advances;
    c.origin = QPointF(before.advanceBox.right(), before.origin.y());
    return c;
}

// The index of the first (or last) glyph with ink; chars.size() when none.
size_t inkedEnd(const std::vector<CharInfo>& chars, bool last)
{
    for (size_t n = 0; n < chars.size(); ++n) {
        const size_t i = last ? chars.size() - 1 - n : n;
        if (charHasVisibleInk(chars[i]))
            return i;
    }
    return chars.size();
}

void fillGapsWithin(std::vector<CharInfo>& chars, const std::vector<ThinPath>& rules)
{
    std::vector<CharInfo> filled;
    filled.reserve(chars.size());
    size_t last = chars.size();  // the last glyph with ink taken
    for (size_t i = 0; i < chars.size(); ++i) {
        if (!charHasVisibleInk(chars[i])) {
            filled.push_back(chars[i]);
            continue;
        }
        if (last < chars.size()) {
            if (const QRectF* rule = ruleBetween(chars[last], chars[i], rules)) {
                // Blanks read in the gap go: the rule stands there.
                while (!filled.empty() && !charHasVisibleInk(filled.back()))
                    filled.pop_back();
                filled.push_back(underscoreOf(chars[last], chars[i], *rule));
            }
        }
        filled.push_back(chars[i]);
        last = i;
    }
    chars = std::move(filled);
}

}  // namespace

void fillRuleGaps(std::vector<LineFragment>& fragments, const std::vector<ThinPath>& rules)
{
    constexpr size_t kMaxFragments = 4000;  // as joinLineFragments: pairs are compared
    if (rules.empty() || fragments.size() > kMaxFragments)
        return;
    const auto inFrame = [&rules](double rotation) {
        std::vector<ThinPath> framed;
        const QTransform frame = readingFrameOf(rotation);
        for (const ThinPath& rule : rules)
            framed.push_back({frame.mapRect(rule.box), rule.colour});
        return framed;
    };
    for (size_t a = 0; a < fragments.size(); ++a) {
        const std::vector<ThinPath> framed = inFrame(fragments[a].rotation);
        fillGapsWithin(fragments[a].chars, framed);
        // A fragment that starts past a rule after this one's last glyph carries it on.
        for (bool grew = true; grew;) {
            grew = false;
            std::vector<CharInfo>& chars = fragments[a].chars;
            const size_t tail = inkedEnd(chars, true);
            for (size_t b = 0; b < fragments.size() && tail < chars.size(); ++b) {
                const size_t head = inkedEnd(fragments[b].chars, false);
                if (b == a || head >= fragments[b].chars.size() ||
                    std::abs(fragments[a].rotation - fragments[b].rotation) > kSameDirection)
                    continue;
                const QRectF* rule = ruleBetween(chars[tail], fragments[b].chars[head], framed);
                if (!rule)
                    continue;
                chars.resize(tail + 1);
                chars.push_back(underscoreOf(chars[tail], fragments[b].chars[head], *rule));
                chars.insert(chars.end(), fragments[b].chars.begin() + qsizetype(head), fragments[b].chars.end());
                fragments.erase(fragments.begin() + qsizetype(b));
                if (b < a)
                    --a;
                grew = true;
                break;
            }
        }
    }
}

} // namespace pdfengine
