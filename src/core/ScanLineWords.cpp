#include "ScanLineWords.h"

#include "OldLine.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pdfengine {

namespace {

// A kept word's pixels reach at most this far past its box: as far as the
// writer grows a white-out.
constexpr double kMostCutMargin = 1.5;
// Changed text before a column is narrowed to no less than this share of its width.
constexpr double kLeastScale = 0.5;

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
                                        const std::function<double(const QString&)>& advance)
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
        if (end > limit && anyChanged && laid.size() > columnFirst + 1) {
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

double layerLineSize(double lineSize, double layerSize)
{
    constexpr double kSameSizeShare = 0.05;  // poppler's least difference of sizes between a block's lines
    return layerSize > 0 && std::abs(lineSize - layerSize) > kSameSizeShare * layerSize ? layerSize : lineSize;
}

} // namespace pdfengine
