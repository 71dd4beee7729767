#include "ScanLineWords.h"

#include "OldLine.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace pdfengine {

namespace {

// A kept word's pixels reach at most this far past its box: as far as the
// writer grows a white-out.
constexpr double kMostCutMargin = 1.5;
// Changed text before a column is narrowed to no less than this share of its width.
constexpr double kLeastScale = 0.5;
// A blank between words is at least this wide, of the line's size: letters
// of a word stand closer.
constexpr double kLeastBlankOfSize = 0.15;
// How far off its ink a word's box may have been read, of the line's size.
constexpr double kMostOffInkOfSize = 0.5;
// How far off its ink a word's end may stand and still be taken as read.
constexpr double kInkSlackOfSize = 0.1;

QStringList wordsIn(const QString& text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.split(blanks, Qt::SkipEmptyParts);
}

// Half the way from each word to the words beside it, at most kMostCutMargin.
void setCutMargins(std::vector<ScanLineWord>& laid, const std::vector<std::pair<QString, QRectF>>& oldWords,
                   const std::vector<qsizetype>& oldIndex)
{
    for (size_t i = 0; i < laid.size(); ++i) {
        if (!laid[i].kept)
            continue;
        const qsizetype o = oldIndex[i];
        const QRectF& box = oldWords[size_t(o)].second;
        laid[i].marginLeft = kMostCutMargin;
        laid[i].marginRight = kMostCutMargin;
        if (o > 0)
            laid[i].marginLeft = std::clamp((box.left() - oldWords[size_t(o - 1)].second.right()) / 2, 0.0, kMostCutMargin);
        if (o + 1 < qsizetype(oldWords.size()))
            laid[i].marginRight =
                std::clamp((oldWords[size_t(o + 1)].second.left() - box.right()) / 2, 0.0, kMostCutMargin);
    }
}

} // namespace

std::vector<ScanLineWord> scanLineWords(const std::vector<std::pair<QString, QRectF>>& oldWords, const QString& text,
                                        double size, double blank,
                                        const std::function<double(const QString&)>& advance, bool keptWhole)
{
    QStringList was;
    std::vector<std::pair<double, double>> extents;
    for (const auto& word : oldWords) {
        if (word.first.trimmed().isEmpty() || word.second.width() <= 0 || word.second.height() <= 0)
            return {};
        was << word.first.trimmed();
        extents.emplace_back(word.second.left(), word.second.right());
    }
    const QStringList now = wordsIn(text);
    const qsizetype oldCount = was.size(), newCount = now.size();
    if (oldCount == 0 || newCount == 0 || oldCount > kMaxAlignedWords || newCount > kMaxAlignedWords || was == now)
        return {};
    std::vector<std::pair<qsizetype, qsizetype>> anchors = sharedWords(was, now);
    if (anchors.empty())
        return {};
    anchors.emplace_back(oldCount, newCount);
    std::vector<bool> columnStart(size_t(oldCount), false);
    for (size_t start : columnStarts(extents, size, 0))
        columnStart[start] = start > 0;

    const auto left = [&](qsizetype o) { return oldWords[size_t(o)].second.left(); };
    const auto right = [&](qsizetype o) { return oldWords[size_t(o)].second.right(); };
    std::vector<ScanLineWord> laid;
    std::vector<qsizetype> oldIndex;  // per laid word: the old word it keeps, -1 for text
    double shift = 0;                 // how far the words from here on moved along the line
    double end = -std::numeric_limits<double>::infinity();  // where the last laid word ends
    size_t columnFirst = 0;  // the first laid word of the column being laid
    // Changed text that ends the laid words is narrowed to end a blank short of limit.
    const auto narrowLast = [&](double limit) {
        ScanLineWord& last = laid.back();
        const double room = std::max(limit - last.left, kLeastScale * last.width);
        if (last.kept || room >= last.width)
            return;
        last.scale *= room / last.width;
        last.width = room;
        end = last.left + room;
    };
    // A column stands where it stood unless the words before it still run
    // into it once changed text before it is narrowed: first the changed
    // text at its end, then its words from the column's start as one text.
    const auto startOf = [&](qsizetype o) {
        if (!columnStart[size_t(o)])
            return left(o) + shift;
        const double limit = left(o) - blank;
        if (!laid.empty() && end > limit)
            narrowLast(limit);
        const bool anyChanged = std::any_of(laid.begin() + qsizetype(columnFirst), laid.end(),
                                            [](const ScanLineWord& word) { return !word.kept; });
        if (end > limit && anyChanged && !keptWhole && laid.size() > columnFirst + 1) {
            ScanLineWord merged;
            QStringList texts;
            for (size_t i = columnFirst; i < laid.size(); ++i)
                texts << laid[i].text;
            merged.text = texts.join(QLatin1Char(' '));
            merged.left = laid[columnFirst].left;
            merged.width = std::max(advance(merged.text), 0.0);
            laid.resize(columnFirst);
            oldIndex.resize(columnFirst);
            laid.push_back(merged);
            oldIndex.push_back(-1);
            end = merged.left + merged.width;
            narrowLast(limit);
        }
        shift = std::max(0.0, end + blank - left(o));
        columnFirst = laid.size();
        return left(o) + shift;
    };
    const auto lay = [&](ScanLineWord word, qsizetype o) {
        end = word.left + word.width;
        laid.push_back(std::move(word));
        oldIndex.push_back(o);
    };
    qsizetype oldFrom = 0, newFrom = 0;
    for (const auto& [o, n] : anchors) {
        if (n > newFrom) {
            ScanLineWord changed;
            changed.text = now.mid(newFrom, n - newFrom).join(QLatin1Char(' '));
            changed.width = std::max(advance(changed.text), 0.0);
            if (o > oldFrom) {
                changed.left = startOf(oldFrom);
                shift += changed.width - (right(o - 1) - left(oldFrom));
            } else {
                // Typed between words (or before the first): the words after it make room.
                changed.left = oldFrom > 0 ? end + blank : left(0);
                shift += changed.width + blank;
            }
            lay(changed, -1);
        } else if (o > oldFrom && o < oldCount) {
            // Words taken out: the rest closes up over their place and one gap.
            shift -= left(o) - left(oldFrom);
        }
        if (o < oldCount) {
            ScanLineWord kept;
            kept.text = now[n];
            kept.kept = true;
            kept.oldBox = oldWords[size_t(o)].second;
            kept.left = startOf(o);
            kept.width = kept.oldBox.width();
            lay(kept, o);
        }
        oldFrom = o + 1;
        newFrom = n + 1;
    }
    setCutMargins(laid, oldWords, oldIndex);
    return laid;
}

LineInk lineInk(const QImage& picture, const QTransform& frameToPicture, const QRectF& band)
{
    constexpr int kDarkGrey = 128;
    constexpr int kLeastDark = 2;
    constexpr double kMostColumns = 20000;  // a line far wider than any page
    LineInk ink;
    ink.from = band.left();
    if (picture.isNull() || !(band.width() > 0) || !(band.height() > 0) || band.width() / ink.step > kMostColumns)
        return ink;
    ink.columns.assign(size_t(std::ceil(band.width() / ink.step)), false);
    for (size_t i = 0; i < ink.columns.size(); ++i) {
        const double x = band.left() + (double(i) + 0.5) * ink.step;
        int dark = 0;
        for (double y = band.top() + ink.step / 2; y < band.bottom() && dark < kLeastDark; y += ink.step) {
            const QPointF at = frameToPicture.map(QPointF(x, y));
            const QPoint pixel(int(std::floor(at.x())), int(std::floor(at.y())));
            dark += picture.rect().contains(pixel) && qGray(picture.pixel(pixel)) < kDarkGrey;
        }
        ink.columns[i] = dark >= kLeastDark;
    }
    return ink;
}

std::vector<std::pair<QString, QRectF>> wordsOnInk(std::vector<std::pair<QString, QRectF>> words, const LineInk& ink,
                                                   double size)
{
    const qsizetype count = qsizetype(ink.columns.size());
    if (words.empty() || count == 0 || !(size > 0) || !(ink.step > 0))
        return words;
    const double leastBlank = kLeastBlankOfSize * size, reach = kMostOffInkOfSize * size;
    const qsizetype blankColumns = qsizetype(std::ceil(leastBlank / ink.step));
    const qsizetype reachColumns = qsizetype(std::ceil(reach / ink.step));
    const auto column = [&](double x) { return qsizetype(std::floor((x - ink.from) / ink.step)); };
    const auto xOf = [&](qsizetype c) { return ink.from + double(c) * ink.step; };
    const auto inkAt = [&](qsizetype c) { return c >= 0 && c < count && ink.columns[size_t(c)]; };
    // The last ink column reached from c stepping by dir over blanks
    // narrower than a word's, within reach; c when none.
    const auto inkReached = [&](qsizetype c, qsizetype dir) {
        qsizetype last = c, blank = 0;
        for (qsizetype k = 1; k <= reachColumns && blank < blankColumns; ++k) {
            if (inkAt(c + dir * k)) {
                last = c + dir * k;
                blank = 0;
            } else {
                ++blank;
            }
        }
        return last;
    };
    // The blank between ink on either side widest over [lo, hi] (at least a
    // blank wide there): where it runs from and to.
    const auto widestBlank = [&](double lo, double hi) {
        std::optional<std::pair<double, double>> widest;
        double most = leastBlank;
        for (qsizetype c = std::max<qsizetype>(column(lo), 0); c <= std::min(column(hi), count - 1); ++c) {
            if (inkAt(c) || (c > 0 && !inkAt(c - 1) && c > column(lo)))
                continue;
            qsizetype start = c, end = c;
            while (start > 0 && !inkAt(start - 1))
                --start;
            while (end < count && !inkAt(end))
                ++end;
            const double from = xOf(start), to = xOf(end);
            const double within = std::min(to, hi) - std::max(from, lo);
            if (start > 0 && inkAt(start - 1) && inkAt(end) && within >= most) {
                widest = std::make_pair(from, to);
                most = within + ink.step / 2;
            }
        }
        return widest;
    };
    // An end read short of its ink by no more than this stays as read: any
    // picture of the page (the window's, at its zoom) finds the same.
    const double slack = kInkSlackOfSize * size;
    const std::vector<std::pair<QString, QRectF>> read = words;
    // The first word from the start of its ink.
    QRectF& first = words.front().second;
    const qsizetype start = inkReached(column(first.left()), -1);
    if (inkAt(start) && xOf(start) < first.left() - slack)
        first.setLeft(xOf(start));
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        QRectF& box = words[i].second;
        QRectF& next = words[i + 1].second;
        const double lo = std::max(std::min(box.right(), next.left()) - reach, box.left() + ink.step);
        const double hi = std::min(std::max(box.right(), next.left()) + reach, next.right());
        const auto blank = widestBlank(lo, hi);
        if (!blank)
            continue;
        // An end short of its own ink may stand off it by the slack (the cut
        // reaches past it); one over the other word's ink may not.
        if (box.right() < blank->first - slack || box.right() > blank->second)
            box.setRight(blank->first);
        if (next.left() > blank->second + slack || next.left() < blank->first)
            next.setLeft(blank->second);
    }
    // The last word to the end of its ink.
    QRectF& last = words.back().second;
    const qsizetype end = inkReached(column(last.right()) - 1, 1);
    if (inkAt(end) && xOf(end + 1) > last.right() + slack)
        last.setRight(xOf(end + 1));
    if (std::any_of(words.begin(), words.end(), [](const auto& word) { return !(word.second.width() > 0); }))
        return read;
    return words;
}

double layerLineSize(double lineSize, double layerSize)
{
    constexpr double kSameSizeShare = 0.05;  // poppler's least difference of sizes between a block's lines
    return layerSize > 0 && std::abs(lineSize - layerSize) > kSameSizeShare * layerSize ? layerSize : lineSize;
}

std::vector<std::pair<QString, QRectF>> wordsOnLineInk(std::vector<std::pair<QString, QRectF>> words,
                                                       const QImage& picture, const QTransform& frameToPicture,
                                                       const QRectF& line, double size)
{
    if (words.empty() || picture.isNull())
        return words;
    const QRectF band(QPointF(words.front().second.left() - size, line.top()),
                      QPointF(words.back().second.right() + size, line.bottom()));
    const LineInk ink = lineInk(picture, frameToPicture, band);
    return wordsOnInk(std::move(words), ink, size);
}

} // namespace pdfengine
