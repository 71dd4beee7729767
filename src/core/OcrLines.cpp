#include "OcrLines.h"

#include "OcrStyle.h"
#include "OcrText.h"
#include "StableSort.h"

#include <QImage>
#include <QStringView>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kNoiseZoneTop = 0.7;

double centreFromTop(const QRectF &r, double pageHeight)
{
    return topFromPageTop(r, pageHeight) + r.height() / 2.0;
}

bool holdsLetterOrDigit(const QString &t)
{
    return meaningfulCharCount(t) > 0;
}

bool isShortCapitalsBlob(const QString &t)
{
    return !t.contains(QLatin1Char('.')) && t.size() <= 4 && uppercaseRatio(t) > 0.8;
}

bool isShortLatinOnlyWord(const QString &t)
{
    if (t.size() >= 5)
        return false;
    bool asciiLetter = false;
    for (char32_t c : QStringView(t).toUcs4()) {
        if (c >= 0x80 && QChar::isLetter(c))
            return false;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            asciiLetter = true;
    }
    return asciiLetter;
}

// The scribble shapes that hold wherever the word stands: no text, a short
// capitals blob, the typical misreading of a flourish.
bool hasScribbleShape(const QString &t)
{
    return t.isEmpty() || !holdsLetterOrDigit(t) || isShortCapitalsBlob(t) || t == QStringLiteral("УУ");
}

double rowTolerance(double heightA, double heightB)
{
    return std::max(0.58 * std::max(heightA, heightB), 3.0);
}

double rowCentre(const WordRow &row, double pageHeight)
{
    return centreFromTop(row.rect, pageHeight);
}

double gapLimitForRow(const WordRow &row, double pageWidth, double pageHeight)
{
    constexpr double kBodyTop = 0.24;
    constexpr double kBodyBottom = 0.74;
    constexpr double kWideRowShare = 0.46;
    if (pageHeight > 0) {
        const double topShare = topFromPageTop(row.rect, pageHeight) / pageHeight;
        if (topShare > kBodyTop && topShare < kBodyBottom) {
            if (row.rect.width() > kWideRowShare * pageWidth)
                return std::max(4.2 * row.meanHeight, 44.0);
            return std::max(2.0 * row.meanHeight, 18.0);
        }
    }
    return std::max(0.95 * row.meanHeight, 7.5);
}

QRectF unionOfWordRects(const std::vector<TextBlock::Line::Word> &words)
{
    QRectF r;
    for (const auto &w : words)
        r = r.isNull() ? w.rect : r.united(w.rect);
    return r;
}

float sizeSample(const QRectF &wordRect)
{
    return std::max(std::min(float(wordRect.height()) * 0.72f, 48.0f), 6.0f);
}

} // namespace

GlyphKind glyphKind(const QString &glyph)
{
    static const QString caps = QStringLiteral("ABCDEFGHIKLMNOPRSTUVWXYZ0123456789"
                                               "АБВГЕЖЗИКЛМНОПРСТУФХЧШЪЫЬЭЮЯ");
    static const QString xs = QStringLiteral("acemnorsuvwxzавгежзиклмнопстхчшъыьэюя");
    if (glyph.size() != 1)
        return GlyphKind::Other;
    if (caps.contains(glyph[0]))
        return GlyphKind::Cap;
    return xs.contains(glyph[0]) ? GlyphKind::X : GlyphKind::Other;
}

namespace {

constexpr float kCapHeightPerEm = 0.71f; // between the common serif and sans faces
constexpr float kDefaultCapPerX = 1.42f;
constexpr size_t kEnoughCaps = 3;

// A low quantile: specks touching a glyph only ever swell its box.
float lowQuantile(std::vector<float> values)
{
    constexpr double kQuantile = 0.35;
    if (values.empty())
        return 0.0f;
    std::sort(values.begin(), values.end());
    return values[size_t(kQuantile * double(values.size() - 1))];
}

} // namespace

float capPerXHeight(const std::vector<GlyphHeights> &lines)
{
    constexpr size_t kMinSamples = 2;
    std::vector<float> ratios;
    for (const GlyphHeights &g : lines) {
        if (g.caps.size() >= kMinSamples && g.xs.size() >= kMinSamples)
            ratios.push_back(lowQuantile(g.caps) / std::max(lowQuantile(g.xs), 0.1f));
    }
    return ratios.empty() ? kDefaultCapPerX : upperMedian(ratios, kDefaultCapPerX);
}

float fontSizeFromGlyphs(const GlyphHeights &line, float capPerX)
{
    std::vector<float> caps = line.caps;
    if (caps.size() < kEnoughCaps) {
        for (float x : line.xs)
            caps.push_back(x * capPerX);
    }
    return lowQuantile(std::move(caps)) / kCapHeightPerEm;
}

double baselineLiftFromGlyphs(const GlyphHeights &line, const QRectF &lineRect)
{
    if (line.feet.empty() || !hasArea(lineRect))
        return -1.0;
    std::vector<float> feet = line.feet;
    const auto middle = feet.begin() + qsizetype(feet.size() / 2);
    std::nth_element(feet.begin(), middle, feet.end());
    const double lift = double(*middle) - lineRect.y();
    return lift >= 0 && lift < lineRect.height() ? lift : -1.0;
}

bool isLikelySignatureNoiseWord(const OcrWord &word, double pageHeight, bool sitsInTextRow)
{
    if (pageHeight <= 0 || word.confidence >= kConfidentWord)
        return false;
    if (topFromPageTop(word.rect, pageHeight) / pageHeight < kNoiseZoneTop)
        return false;
    const QString t = word.text.trimmed();
    if (hasScribbleShape(t))
        return true;
    return !sitsInTextRow && isShortLatinOnlyWord(t);
}

bool sitsInRowOfOrdinaryWords(const std::vector<OcrWord> &words, size_t index)
{
    constexpr double kNeighbourGapInHeights = 3.0;
    constexpr double kMinNeighbourGap = 18.0;
    const auto ordinary = [&](const OcrWord &w) {
        return w.confidence >= kConfidentWord && !hasScribbleShape(w.text.trimmed());
    };
    if (index >= words.size() || !ordinary(words[index]))
        return false;
    const QRectF &r = words[index].rect;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i == index || !ordinary(words[i]))
            continue;
        const QRectF &n = words[i].rect;
        const double tallest = std::max(r.height(), n.height());
        if (std::abs(r.center().y() - n.center().y()) > rowTolerance(r.height(), n.height()))
            continue;
        const double gap = std::max(n.left() - r.right(), r.left() - n.right());
        if (gap <= std::max(kNeighbourGapInHeights * tallest, kMinNeighbourGap))
            return true;
    }
    return false;
}

std::vector<OcrWord> removeSignatureNoiseWords(const std::vector<OcrWord> &words, double pageHeight)
{
    std::vector<OcrWord> kept;
    kept.reserve(words.size());
    for (size_t i = 0; i < words.size(); ++i) {
        // The row look-up costs a pass over the page; ask it only when it can decide.
        const bool noise = isLikelySignatureNoiseWord(words[i], pageHeight)
                           && isLikelySignatureNoiseWord(words[i], pageHeight, sitsInRowOfOrdinaryWords(words, i));
        if (!noise)
            kept.push_back(words[i]);
    }
    return kept;
}

void addWordToRow(WordRow &row, const OcrWord &word)
{
    row.words.push_back(word);
    row.rect = row.rect.isNull() ? word.rect : row.rect.united(word.rect);
    double sum = 0.0;
    for (const OcrWord &w : row.words)
        sum += w.rect.height();
    row.meanHeight = sum / double(std::max<size_t>(row.words.size(), 1));
}

std::vector<WordRow> groupWordsIntoRows(std::vector<OcrWord> words, double pageHeight)
{
    vorn::safeStableSort(words, [pageHeight](const OcrWord &a, const OcrWord &b) {
        const double ca = centreFromTop(a.rect, pageHeight);
        const double cb = centreFromTop(b.rect, pageHeight);
        if (std::abs(ca - cb) > std::max(0.45 * std::min(a.rect.height(), b.rect.height()), 2.0))
            return ca < cb;
        return a.rect.x() < b.rect.x();
    });

    std::vector<WordRow> rows;
    for (const OcrWord &word : words) {
        const double centre = centreFromTop(word.rect, pageHeight);
        WordRow *best = nullptr;
        double bestDistance = 0.0;
        for (WordRow &row : rows) {
            const double distance = std::abs(rowCentre(row, pageHeight) - centre);
            if (distance > rowTolerance(word.rect.height(), row.meanHeight))
                continue;
            if (!best || distance < bestDistance) {
                best = &row;
                bestDistance = distance;
            }
        }
        if (best) {
            addWordToRow(*best, word);
        } else {
            WordRow row;
            addWordToRow(row, word);
            rows.push_back(std::move(row));
        }
    }

    for (WordRow &row : rows) {
        std::stable_sort(row.words.begin(), row.words.end(),
                         [](const OcrWord &a, const OcrWord &b) { return a.rect.x() < b.rect.x(); });
    }
    vorn::safeStableSort(rows, [pageHeight](const WordRow &a, const WordRow &b) {
        const double ca = rowCentre(a, pageHeight);
        const double cb = rowCentre(b, pageHeight);
        if (std::abs(ca - cb) > 2.0)
            return ca < cb;
        return a.rect.x() < b.rect.x();
    });
    return rows;
}

TextBlock::Line makeLineFromWords(const std::vector<OcrWord> &words, const QString &cityPlaceName)
{
    TextBlock::Line line;
    std::vector<float> samples;
    for (size_t i = 0; i < words.size(); ++i) {
        QString t = words[i].text;
        if (!cityPlaceName.isEmpty() && t == QStringLiteral("г.") && i + 1 < words.size()
            && words[i + 1].text.startsWith(cityPlaceName)) {
            t = QStringLiteral("г.,");
        }
        if (!line.text.isEmpty())
            line.text += QLatin1Char(' ');
        line.text += t;
        line.rect = line.rect.isNull() ? words[i].rect : line.rect.united(words[i].rect);
        samples.push_back(sizeSample(words[i].rect));
        line.words.push_back({t, words[i].rect, words[i].confidence});
    }
    if (line.words.size() >= 2 && line.text.endsWith(QStringLiteral(" т"))) {
        line.text.chop(2);
        line.words.pop_back();
        samples.pop_back();
        line.rect = unionOfWordRects(line.words);
    }
    float sum = 0.0f;
    for (float s : samples)
        sum += s;
    if (!samples.empty())
        line.fontSize = sum / float(samples.size());
    return line;
}

namespace {

bool ruleBetween(const QRectF &left, const QRectF &right, const std::vector<QRectF> &rules)
{
    // Boxes in points with y upwards: y() is the lower edge, bottom() the upper.
    const double upper = std::max(left.bottom(), right.bottom());
    const double lower = std::min(left.y(), right.y());
    const double middle = (upper + lower) / 2;
    return std::any_of(rules.begin(), rules.end(), [&](const QRectF &rule) {
        return rule.center().x() > left.right() && rule.center().x() < right.left() && rule.y() <= middle
               && rule.bottom() >= middle;
    });
}

} // namespace

std::vector<TextBlock::Line> buildLinesFromWords(std::vector<OcrWord> words, double pageWidth, double pageHeight,
                                                 const QString &cityPlaceName, const std::vector<QRectF> &verticalRules)
{
    std::vector<TextBlock::Line> lines;
    if (words.empty())
        return lines;
    const std::vector<WordRow> rows = groupWordsIntoRows(std::move(words), pageHeight);
    const auto emitLine = [&](const std::vector<OcrWord> &run) {
        TextBlock::Line line = makeLineFromWords(run, cityPlaceName);
        if (!line.text.trimmed().isEmpty())
            lines.push_back(std::move(line));
    };
    for (const WordRow &row : rows) {
        if (row.words.empty())
            continue;
        const double limit = gapLimitForRow(row, pageWidth, pageHeight);
        std::vector<OcrWord> run;
        for (const OcrWord &word : row.words) {
            if (!run.empty()) {
                const QRectF &previous = run.back().rect;
                if (word.rect.x() - (previous.x() + previous.width()) > limit
                    || ruleBetween(previous, word.rect, verticalRules)) {
                    emitLine(run);
                    run.clear();
                }
            }
            run.push_back(word);
        }
        emitLine(run);
    }
    return lines;
}

namespace {

struct Component {
    int left = 0;
    int right = 0;
    int ink = 0;
};

constexpr uint kDarkInkSum = 6079;

bool isDarkInkPixel(QRgb p)
{
    return p > 0x10FFFFFFu && uint(11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p)) <= kDarkInkSum;
}

int roundHalfAway(double v)
{
    return int(std::lround(v));
}

// Per-column dark pixel counts over the band's rows, rule rows left out.
struct ColumnInk {
    std::vector<int> counts;
    int inkRows = 0;
};

ColumnInk columnInk(const QImage &rgb, int left, int right, int top, int bottom)
{
    constexpr double kRuleRowShare = 0.42;
    ColumnInk result;
    const int width = right - left + 1;
    result.counts.assign(size_t(width), 0);
    std::vector<uchar> dark(size_t(width), 0);
    for (int y = top; y <= bottom; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        int rowDark = 0;
        for (int x = 0; x < width; ++x) {
            dark[size_t(x)] = isDarkInkPixel(row[left + x]);
            rowDark += dark[size_t(x)];
        }
        if (rowDark > kRuleRowShare * width)
            continue;
        ++result.inkRows;
        for (int x = 0; x < width; ++x)
            result.counts[size_t(x)] += dark[size_t(x)];
    }
    return result;
}

// Runs of ink columns (with one column of slack each side), in band columns.
std::vector<Component> inkColumnRuns(const ColumnInk &ink)
{
    const int width = int(ink.counts.size());
    const int threshold = std::max(int(std::floor(0.08 * ink.inkRows)), 1);
    std::vector<uchar> isInk(size_t(width), 0);
    for (int x = 0; x < width; ++x) {
        if (ink.counts[size_t(x)] >= threshold) {
            for (int d = -1; d <= 1; ++d) {
                if (x + d >= 0 && x + d < width)
                    isInk[size_t(x + d)] = 1;
            }
        }
    }
    std::vector<Component> runs;
    for (int x = 0; x < width; ++x) {
        if (!isInk[size_t(x)])
            continue;
        Component c{x, x, 0};
        while (x < width && isInk[size_t(x)]) {
            c.right = x;
            c.ink += ink.counts[size_t(x)];
            ++x;
        }
        runs.push_back(c);
    }
    return runs;
}

bool acceptComponent(const Component &c, int meaningfulChars, int inkRows, int cropW, int cropH, int cropCentre)
{
    const int width = c.right - c.left + 1;
    if (meaningfulChars > 1 && width > std::max(roundHalfAway(0.42 * cropH), 4))
        return true;
    if (meaningfulChars > 1) {
        const double density = double(c.ink) / double(std::max(width * inkRows, 1));
        const double centre = (c.left + c.right) / 2.0;
        if (density > 0.28 && std::abs(centre - cropCentre) > std::max(0.18 * cropW, 5.0))
            return false;
    }
    return width > 1;
}

std::vector<Component> mergeNearComponents(const std::vector<Component> &components, int maxGap)
{
    std::vector<Component> merged;
    for (const Component &c : components) {
        if (!merged.empty() && c.left - merged.back().right <= maxGap) {
            merged.back().right = c.right;
            merged.back().ink += c.ink;
        } else {
            merged.push_back(c);
        }
    }
    return merged;
}

// The horizontal ink span of one line in image columns, or false when the
// line's box should stay as recognised.
bool lineInkSpan(const QImage &rgb, const QRect &crop, int meaningfulChars, int *spanLeft, int *spanRight)
{
    const int cropW = crop.width();
    const int cropH = crop.height();
    const int x1 = crop.left();
    const int x2 = crop.right();
    const int padY = std::clamp(roundHalfAway(0.38 * cropH), 2, 14);
    const int padX = std::clamp(roundHalfAway(2.2 * cropW), 36, 260);
    const int top = std::max(crop.top() - padY, 0);
    const int bottom = std::min(crop.bottom() + padY, rgb.height() - 1);
    const int left = std::max(x1 - padX, 0);
    const int right = std::min(x2 + padX, rgb.width() - 1);
    if (top > bottom || left > right)
        return false;

    const ColumnInk ink = columnInk(rgb, left, right, top, bottom);
    if (ink.inkRows <= 1)
        return false;

    std::vector<Component> accepted;
    const int cropCentre = (x1 + x2) / 2;
    for (Component c : inkColumnRuns(ink)) {
        c.left += left;
        c.right += left;
        if (acceptComponent(c, meaningfulChars, ink.inkRows, cropW, cropH, cropCentre))
            accepted.push_back(c);
    }
    const std::vector<Component> merged =
        mergeNearComponents(accepted, std::max(roundHalfAway(0.75 * cropH), 3));

    int first = -1, last = -1;
    for (int i = 0; i < int(merged.size()); ++i) {
        if (merged[size_t(i)].right >= x1 && merged[size_t(i)].left <= x2) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return false;
    const int reach = std::max(roundHalfAway(1.45 * cropH), 5);
    while (first > 0 && merged[size_t(first)].left - merged[size_t(first - 1)].right <= reach)
        --first;
    while (last + 1 < int(merged.size()) && merged[size_t(last + 1)].left - merged[size_t(last)].right <= reach)
        ++last;
    const int L = merged[size_t(first)].left;
    const int R = merged[size_t(last)].right;
    const int span = R - L + 1;
    if (span > std::max(cropW + 120, roundHalfAway(2.8 * cropW)) || span < std::max(roundHalfAway(0.45 * cropW), 2))
        return false;
    *spanLeft = L;
    *spanRight = R;
    return true;
}

} // namespace

void refineOcrLineInkRects(std::vector<TextBlock::Line> &lines, const QImage &image, double scale,
                           double pageHeight)
{
    if (image.isNull() || !(scale > 0))
        return;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (TextBlock::Line &line : lines) {
        if (line.text.trimmed().isEmpty() || line.rect.width() <= 0 || line.rect.height() <= 0)
            continue;
        const QRect crop = imageCropForPdfRect(line.rect, rgb, scale, pageHeight, 1);
        if (!crop.isValid() || crop.width() < 2 || crop.height() < 2)
            continue;
        int L = 0, R = 0;
        if (!lineInkSpan(rgb, crop, meaningfulCharCount(line.text), &L, &R))
            continue;
        const int leftPixel = std::max(L - 1, 0);
        const int rightPixel = std::min(R + 1, rgb.width() - 1);
        const double newX = leftPixel / scale;
        const double newRight = (rightPixel + 1) / scale;
        if (newRight > newX + 0.5)
            line.rect = QRectF(newX, line.rect.y(), newRight - newX, line.rect.height());
    }
}
