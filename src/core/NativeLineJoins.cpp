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

// The ink of a fragment's first or last word: where it meets a piece that
// carries it on. A long line of upright words stepping down a turned
// baseline spans a band of the page far taller than any of its words.
QRectF endWordInk(const std::vector<CharInfo>& chars, bool last)
{
    QRectF ink;
    for (size_t n = 0; n < chars.size(); ++n) {
        const CharInfo& c = chars[last ? chars.size() - 1 - n : n];
        if (c.text.trimmed().isEmpty() && !ink.isNull())
            break;  // the word ends at its first blank
        if (charHasVisibleInk(c))
            ink = ink.isNull() ? c.box : ink.united(c.box);
    }
    return ink;
}

// b carries a's line on to the right: same direction, a's last word and b's
// first share a band of the page, and b starts about where a ends (kerned
// under it, or a blank away).
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
    const double low = std::max(std::min(inkA.height(), inkB.height()), 1.0);
    const double gap = inkB.left() - inkA.right();
    return gap >= -kReach * low && gap <= kReach * std::max(inkA.height(), inkB.height()) && inkB.right() > inkA.right();
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

// The rule lying in the gap between two glyphs of one line, on their
// baseline; null when none does. Boxes in the line's frame.
const QRectF* ruleBetween(const CharInfo& before, const CharInfo& after, const std::vector<QRectF>& rules)
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
    for (const QRectF& rule : rules)
        if (rule.height() <= kRuleThickness * size && rule.width() >= kRuleLeast * size &&
            rule.left() >= left - kRuleOverlap && rule.right() <= right + kRuleOverlap &&
            std::abs(rule.center().y() - baseline) <= kRuleReach * size)
            return &rule;
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

void fillGapsWithin(std::vector<CharInfo>& chars, const std::vector<QRectF>& rules)
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

void fillRuleGaps(std::vector<LineFragment>& fragments, const std::vector<QRectF>& rules)
{
    constexpr size_t kMaxFragments = 4000;  // as joinLineFragments: pairs are compared
    if (rules.empty() || fragments.size() > kMaxFragments)
        return;
    const auto inFrame = [&rules](double rotation) {
        std::vector<QRectF> framed;
        const QTransform frame = readingFrameOf(rotation);
        for (const QRectF& rule : rules)
            framed.push_back(frame.mapRect(rule));
        return framed;
    };
    for (size_t a = 0; a < fragments.size(); ++a) {
        const std::vector<QRectF> framed = inFrame(fragments[a].rotation);
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
