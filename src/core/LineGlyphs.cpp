#include "LineGlyphs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace pdfengine {

namespace {

constexpr double kLeastMismatch = 0.5;     // points a character's box may stand off its glyph's edges
constexpr double kMismatchOfHeight = 0.1;  // ... or this share of its height, when more
constexpr double kMarkReachOfHeight = 0.5;  // how far above or below the line a mark of it stands
constexpr double kMarkSizeOfLine = 1.25;    // a mark is drawn no larger than the line's glyphs
constexpr double kIndexSizeOfLine = 0.85;   // an index or exponent is drawn this much smaller than the line
constexpr double kSameBaseline = 0.5;       // points: a glyph this near the line's baseline stands on it

// How far a character's box (part of a ligature's, maybe) stands off a
// glyph's box: along the glyph's top and bottom, and past its sides.
double mismatch(const QRectF& glyph, const QRectF& character)
{
    return std::abs(glyph.top() - character.top()) + std::abs(glyph.bottom() - character.bottom()) +
           std::max(glyph.left() - character.left(), 0.0) + std::max(character.right() - glyph.right(), 0.0);
}

// Text that reads as nothing of its own: a mark over a letter, a
// modifier (a spacing accent), or nothing at all.
bool readsAsMark(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const QChar::Category category = c.category();
        return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
               category == QChar::Mark_Enclosing || category == QChar::Symbol_Modifier;
    });
}

// Which side of its letter a mark stands: 1 over it, -1 under it, 0 where
// the mark does not tell.
int sideOfMark(const QString& text)
{
    static const QString over = QStringLiteral("\u00B4\u0060\u005E\u02C6\u02DC\u007E\u00A8\u00AF\u02D8\u02C7\u02D9\u02DA\u02DD\u02CA\u02CB");
    static const QString under = QStringLiteral("\u00B8\u02DB");
    if (text.size() != 1)
        return 0;
    const QChar c = text.front();
    const int kind = c.combiningClass();
    if (over.contains(c) || kind == 214 || kind == 228 || kind == 230 || kind == 232 || kind == 234)
        return 1;
    if (under.contains(c) || kind == 202 || kind == 218 || kind == 220 || kind == 222 || kind == 233)
        return -1;
    return 0;
}

// The glyph each character of the line was read from, -1 where none is found.
// Where glyphs of two lines stand exactly alike (a page laid under another
// at one place and size), the line's is the one drawn among its others.
std::vector<int> glyphOfEachCharacter(const std::vector<PageGlyph>& framed, const TextBlock::Line& line)
{
    constexpr double kTie = 1e-6;
    std::vector<std::vector<int>> best(line.glyphBoxes.size());
    for (size_t i = 0; i < line.glyphBoxes.size(); ++i) {
        const QRectF& box = line.glyphBoxes[i];
        if (line.glyphText[qsizetype(i)].isSpace() && !hasArea(box))
            continue;
        const double least = std::max(kLeastMismatch, kMismatchOfHeight * box.height());
        double lowest = std::numeric_limits<double>::infinity();
        for (size_t g = 0; g < framed.size(); ++g) {
            const PageGlyph& glyph = framed[g];
            if (!glyph.box.contains(box.center()))
                continue;
            // Of glyphs alike, the one that draws the letter.
            const double score = mismatch(glyph.box, box) - (glyph.text == line.glyphText.mid(qsizetype(i), 1)) * 1e-3;
            if (score > least || score > lowest + kTie)
                continue;
            if (score < lowest - kTie)
                best[i].clear();
            lowest = std::min(lowest, score);
            best[i].push_back(int(g));
        }
    }
    std::vector<int> sure;
    for (const std::vector<int>& candidates : best)
        if (candidates.size() == 1)
            sure.push_back(candidates.front());
    std::sort(sure.begin(), sure.end());
    const int anchor = sure.empty() ? 0 : sure[sure.size() / 2];
    std::vector<int> found(best.size(), -1);
    for (size_t i = 0; i < best.size(); ++i)
        if (!best[i].empty())
            found[i] = *std::min_element(best[i].begin(), best[i].end(),
                                         [anchor](int a, int b) { return std::abs(a - anchor) < std::abs(b - anchor); });
    return found;
}

// The glyphs with the other letters read from each one: pdfium reads a
// ligature's letters each at its glyph's origin and size, one after the other.
std::vector<size_t> withLigatureLetters(const std::vector<PageGlyph>& framed, std::vector<size_t> glyphs,
                                        std::set<int>& claimed)
{
    const size_t count = glyphs.size();
    for (size_t k = 0; k < count; ++k)
        for (const int step : {-1, 1})
            for (long g = long(glyphs[k]) + step; g >= 0 && size_t(g) < framed.size(); g += step) {
                const PageGlyph& a = framed[glyphs[k]];
                const PageGlyph& b = framed[size_t(g)];
                if (claimed.count(int(g)) || a.font != b.font || !(a.origin == b.origin) || a.size != b.size)
                    break;
                claimed.insert(int(g));
                glyphs.push_back(size_t(g));
            }
    std::sort(glyphs.begin(), glyphs.end());
    glyphs.erase(std::unique(glyphs.begin(), glyphs.end()), glyphs.end());
    return glyphs;
}

}  // namespace

std::vector<PageGlyph> glyphsInFrame(const PageGlyphs& page, const std::vector<size_t>& indexes,
                                     const QTransform& toFrame)
{
    std::vector<PageGlyph> glyphs;
    glyphs.reserve(indexes.size());
    for (const size_t index : indexes)
        if (index < page.all().size())
            glyphs.push_back(glyphInFrame(page.all()[index], toFrame));
    return glyphs;
}

LineGlyphs lineGlyphsOf(const PageGlyphs& page, const TextBlock::Line& line, const QTransform& toFrame,
                        const QRectF& lineBox)
{
    LineGlyphs result;
    if (line.glyphBoxes.empty() || line.glyphBoxes.size() != size_t(line.glyphText.size()))
        return result;
    // The page's glyphs near the line, in the line's frame.
    QRectF around;
    for (const QRectF& box : line.glyphBoxes)
        around = around.isNull() ? box : around.united(box);
    const double reach = kMarkReachOfHeight * std::max(lineBox.height(), around.height());
    around = around.united(lineBox).adjusted(-reach, -reach, reach, reach);
    std::vector<size_t> near;
    std::vector<PageGlyph> framed;
    for (size_t g = 0; g < page.all().size(); ++g) {
        const PageGlyph turned = glyphInFrame(page.all()[g], toFrame);
        if (around.intersects(turned.box) || around.contains(turned.box.center())) {
            near.push_back(g);
            framed.push_back(turned);
        }
    }
    const std::vector<int> found = glyphOfEachCharacter(framed, line);
    result.known = true;
    std::set<int> claimed;
    LineWord word;
    const auto flush = [&] {
        if (!word.glyphs.empty())
            result.words.push_back(word);
        word = LineWord();
    };
    for (size_t i = 0; i < found.size(); ++i) {
        const QChar c = line.glyphText[qsizetype(i)];
        if (c.isSpace()) {
            flush();
            // A blank the page draws goes with the line; one it only reads is none.
            if (found[i] >= 0 && framed[size_t(found[i])].text.trimmed().isEmpty() && claimed.insert(found[i]).second) {
                result.blanks.emplace_back(result.words.size(), size_t(found[i]));
            }
            continue;
        }
        word.text += c;
        if (found[i] < 0) {
            result.known = false;
            continue;
        }
        claimed.insert(found[i]);
        if (word.glyphs.empty() || word.glyphs.back() != size_t(found[i]))
            word.glyphs.push_back(size_t(found[i]));
    }
    flush();
    if (!result.known || result.words.empty()) {
        result.known = false;
        return result;
    }
    // Each letter of a ligature is read from the one glyph: all go with it.
    for (LineWord& w : result.words)
        w.glyphs = withLigatureLetters(framed, w.glyphs, claimed);
    // Each word across its glyphs' advances, up the line's box.
    double size = 0, baseline = 0;  // the line's largest glyph's
    for (LineWord& w : result.words) {
        double left = std::numeric_limits<double>::infinity(), right = -left;
        for (const size_t g : w.glyphs) {
            left = std::min({left, framed[g].advanceBox.left(), framed[g].box.left()});
            right = std::max({right, framed[g].advanceBox.right(), framed[g].box.right()});
            if (framed[g].size > size) {
                size = framed[g].size;
                baseline = framed[g].baseline;
            }
        }
        w.box = QRectF(QPointF(left, lineBox.top()), QPointF(right, lineBox.bottom()));
    }
    // The word a glyph off the line stands on: the nearest along the line,
    // as long as the glyph's middle is no further than half its width off it.
    const auto holderOf = [&result](const QRectF& box) -> LineWord* {
        const double x = box.center().x();
        const auto distance = [x](const QRectF& word) {
            return x < word.left() ? word.left() - x : x > word.right() ? x - word.right() : 0.0;
        };
        const auto holder = std::min_element(result.words.begin(), result.words.end(), [&](const LineWord& a, const LineWord& b) {
            return distance(a.box) < distance(b.box);
        });
        return distance(holder->box) > box.width() / 2 ? nullptr : &*holder;
    };
    const auto attach = [](LineWord* holder, size_t g) {
        holder->glyphs.push_back(g);
        holder->marked = true;
        std::sort(holder->glyphs.begin(), holder->glyphs.end());
    };
    // A mark over a word, read as nothing of its own, goes with that word.
    const QRectF band = lineBox.adjusted(0, -reach, 0, reach);
    for (size_t g = 0; g < framed.size(); ++g) {
        const PageGlyph& glyph = framed[g];
        if (claimed.count(int(g)) || !glyph.visible || !readsAsMark(glyph.text) ||
            glyph.size > kMarkSizeOfLine * size || !band.contains(glyph.box.center()))
            continue;
        // An accent under the line's middle stands over a letter of the line
        // below (y grows up the frame), a cedilla over it under one above.
        const int side = sideOfMark(glyph.text);
        if (side * (glyph.box.center().y() - lineBox.center().y()) < 0)
            continue;
        if (LineWord* holder = holderOf(glyph.box))
            attach(holder, g);
    }
    // A smaller glyph raised or lowered within the line, drawn next to one of
    // its glyphs, that a reader takes for a line of its own (an index
    // stacked under an exponent) stands on the word it touches: it goes with
    // that word.
    const auto drawnBeside = [&](size_t g) {
        return (g > 0 && near[g - 1] + 1 == near[g] && claimed.count(int(g - 1))) ||
               (g + 1 < near.size() && near[g + 1] == near[g] + 1 && claimed.count(int(g + 1)));
    };
    for (size_t g = 0; g < framed.size(); ++g) {
        const PageGlyph& glyph = framed[g];
        if (claimed.count(int(g)) || !drawnBeside(g) || !glyph.visible || glyph.text.trimmed().isEmpty() || readsAsMark(glyph.text) ||
            glyph.size >= kIndexSizeOfLine * size || !lineBox.contains(glyph.box.center()) ||
            std::abs(glyph.baseline - baseline) < kSameBaseline)
            continue;
        if (LineWord* holder = holderOf(glyph.box))
            attach(holder, g);
    }
    // Back to the page's indexes.
    for (LineWord& w : result.words) {
        for (size_t& g : w.glyphs)
            g = near[g];
        result.glyphs.insert(result.glyphs.end(), w.glyphs.begin(), w.glyphs.end());
    }
    for (auto& [after, g] : result.blanks) {
        g = near[g];
        result.glyphs.push_back(g);
    }
    std::sort(result.glyphs.begin(), result.glyphs.end());
    result.glyphs.erase(std::unique(result.glyphs.begin(), result.glyphs.end()), result.glyphs.end());
    return result;
}

}  // namespace pdfengine
