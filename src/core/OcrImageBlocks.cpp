#include "OcrImageBlocks.h"

#include "OcrBlocks.h"
#include "OcrLines.h"
#include "OcrText.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>

namespace {

using Mask = std::vector<uchar>;

Mask darkMask(const QImage &rgb)
{
    constexpr int kDarkSum = 5055;
    Mask mask(size_t(rgb.width()) * size_t(rgb.height()), 0);
    for (int y = 0, yEnd = rgb.height(); y < yEnd; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *out = mask.data() + size_t(y) * size_t(rgb.width());
        for (int x = 0, xEnd = rgb.width(); x < xEnd; ++x)
            out[x] = 11 * qRed(row[x]) + 16 * qGreen(row[x]) + 5 * qBlue(row[x]) <= kDarkSum;
    }
    return mask;
}

void clearRect(Mask &mask, int width, const QRect &r)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(mask.data() + size_t(y) * size_t(width) + size_t(r.left()), 0, size_t(r.width()));
}

// Clears thin straight rules (table grids, underlines, form lines): they are
// not pictures, and a ruled table would otherwise become one image block whose
// cell text is then removed as noise. Work follows the ink, not the page area:
// vertical runs are measured when they end, horizontal ones row by row.
void clearRulingLines(Mask &mask, int width, int height, double scale)
{
    const int minLength = std::max(int(std::lround(30.0 * scale)), 40);
    const int maxThickness = std::max(int(std::lround(2.0 * scale)), 3);
    const auto capped = [](int n) { return quint16(std::min(n, 65535)); };
    std::vector<quint16> down(mask.size(), 0);
    std::vector<int> runStart(size_t(width), -1);
    const auto endRun = [&](int x, int endRow) {
        const quint16 length = capped(endRow - runStart[size_t(x)]);
        for (int y = runStart[size_t(x)]; y < endRow; ++y)
            down[size_t(y) * size_t(width) + size_t(x)] = length;
        runStart[size_t(x)] = -1;
    };
    for (int y = 0; y < height; ++y) {
        const uchar *row = mask.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            if (row[x] && runStart[size_t(x)] < 0)
                runStart[size_t(x)] = y;
            else if (!row[x] && runStart[size_t(x)] >= 0)
                endRun(x, y);
        }
    }
    for (int x = 0; x < width; ++x) {
        if (runStart[size_t(x)] >= 0)
            endRun(x, height);
    }
    for (int y = 0; y < height; ++y) {
        uchar *row = mask.data() + size_t(y) * size_t(width);
        const quint16 *vertical = down.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < width && row[end])
                ++end;
            const int along = end - x;
            for (int k = x; k < end; ++k) {
                if ((along >= minLength && vertical[k] <= maxThickness)
                    || (vertical[k] >= minLength && along <= maxThickness))
                    row[k] = 0;
            }
            x = end;
        }
    }
}

// Square dilation of side 2r + 1, done as a row pass and a column pass with
// running counts so the cost does not grow with r.
Mask dilate(const Mask &mask, int width, int height, int r)
{
    Mask rows(mask.size(), 0);
    for (int y = 0; y < height; ++y) {
        const uchar *in = mask.data() + size_t(y) * size_t(width);
        uchar *out = rows.data() + size_t(y) * size_t(width);
        int count = 0;
        for (int x = 0; x < std::min(r, width); ++x)
            count += in[x];
        for (int x = 0; x < width; ++x) {
            if (x + r < width)
                count += in[x + r];
            if (x - r - 1 >= 0)
                count -= in[x - r - 1];
            out[x] = count > 0;
        }
    }
    Mask result(mask.size(), 0);
    std::vector<int> counts(size_t(width), 0);
    const auto addRow = [&](int y, int sign) {
        const uchar *in = rows.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x)
            counts[size_t(x)] += sign * in[x];
    };
    for (int y = 0; y < std::min(r, height); ++y)
        addRow(y, 1);
    for (int y = 0; y < height; ++y) {
        if (y + r < height)
            addRow(y + r, 1);
        if (y - r - 1 >= 0)
            addRow(y - r - 1, -1);
        uchar *out = result.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x)
            out[x] = counts[size_t(x)] > 0;
    }
    return result;
}

// 4-connected regions of `dilated`, seeds taken row by row; ink counted on `ink`.
std::vector<ImageComponent> labelComponents(const Mask &dilated, const Mask &ink, int width, int height)
{
    std::vector<ImageComponent> components;
    Mask visited(dilated.size(), 0);
    std::deque<int> queue;
    for (int seed = 0; seed < width * height; ++seed) {
        if (!dilated[size_t(seed)] || visited[size_t(seed)])
            continue;
        ImageComponent c{seed % width, seed / width, seed % width, seed / width, 0};
        visited[size_t(seed)] = 1;
        queue.push_back(seed);
        while (!queue.empty()) {
            const int p = queue.front();
            queue.pop_front();
            const int x = p % width;
            const int y = p / width;
            c.left = std::min(c.left, x);
            c.right = std::max(c.right, x);
            c.top = std::min(c.top, y);
            c.bottom = std::max(c.bottom, y);
            c.inkPixels += ink[size_t(p)];
            const int neighbours[4][3] = {{x + 1 < width, p + 1, 0},
                                          {x > 0, p - 1, 0},
                                          {y + 1 < height, p + width, 0},
                                          {y > 0, p - width, 0}};
            for (const auto &n : neighbours) {
                if (n[0] && dilated[size_t(n[1])] && !visited[size_t(n[1])]) {
                    visited[size_t(n[1])] = 1;
                    queue.push_back(n[1]);
                }
            }
        }
        components.push_back(c);
    }
    return components;
}

bool nearEachOther(const ImageComponent &a, const ImageComponent &b, int g)
{
    return a.left - g <= b.right && b.left <= a.right + g && a.top - g <= b.bottom && b.top <= a.bottom + g;
}

void absorb(ImageComponent &into, const ImageComponent &other)
{
    into.left = std::min(into.left, other.left);
    into.top = std::min(into.top, other.top);
    into.right = std::max(into.right, other.right);
    into.bottom = std::max(into.bottom, other.bottom);
    into.inkPixels += other.inkPixels;
}

// Merges the first near pair (in list order) until none is left. Only the
// candidate that grew can start a new pair, so the scan resumes there instead
// of at the start; the result is that of restarting from the beginning.
void mergeNearCandidates(std::vector<ImageComponent> &candidates, int g)
{
    size_t clean = 0; // no pair (i, j) with i < clean is near
    while (true) {
        bool merged = false;
        for (size_t i = clean; i < candidates.size() && !merged; ++i) {
            for (size_t j = i + 1; j < candidates.size(); ++j) {
                if (!nearEachOther(candidates[i], candidates[j], g))
                    continue;
                absorb(candidates[i], candidates[j]);
                candidates.erase(candidates.begin() + std::ptrdiff_t(j));
                size_t grown = i;
                // An earlier candidate near the grown one now forms the first pair.
                for (size_t k = 0; k < grown;) {
                    if (nearEachOther(candidates[k], candidates[grown], g)) {
                        absorb(candidates[k], candidates[grown]);
                        candidates.erase(candidates.begin() + std::ptrdiff_t(grown));
                        grown = k;
                        k = 0;
                    } else {
                        ++k;
                    }
                }
                clean = grown;
                merged = true;
                break;
            }
        }
        if (!merged)
            return;
    }
}

// Ink bounds of a dilated region: its bounds shrunk by the dilation radius,
// except on a side the image edge clipped, where the ink may reach the edge.
QRect inkBounds(const ImageComponent &c, int radius, const QSize &imageSize)
{
    const int left = c.left > 0 ? c.left + radius : 0;
    const int top = c.top > 0 ? c.top + radius : 0;
    const int right = c.right < imageSize.width() - 1 ? c.right - radius : c.right;
    const int bottom = c.bottom < imageSize.height() - 1 ? c.bottom - radius : c.bottom;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Ink of about one glyph lying in a row of recognised words, next to one of
// them: a letter the recogniser read but boxed off its ink (it does so with
// one-letter words). As an image block it would delete that word as noise.
bool isStrayGlyphInTextRow(const QRect &ink, const std::vector<QRect> &wordPixels)
{
    constexpr double kMinRowShare = 0.5;     // of the ink's height inside a word's band
    constexpr double kMaxGlyphHeight = 1.25; // times the row's text height
    constexpr double kMaxGlyphWidth = 1.5;   // times the row's text height
    constexpr double kMaxWordGap = 1.0;      // times the neighbouring word's height
    if (!ink.isValid())
        return false;
    int rowHeight = 0;
    bool nextToWord = false;
    for (const QRect &w : wordPixels) {
        const int overlap = std::min(ink.bottom(), w.bottom()) - std::max(ink.top(), w.top()) + 1;
        if (overlap < kMinRowShare * ink.height())
            continue;
        rowHeight = std::max(rowHeight, w.height());
        const int gap = std::max({w.left() - ink.right() - 1, ink.left() - w.right() - 1, 0});
        nextToWord = nextToWord || gap <= kMaxWordGap * w.height();
    }
    return nextToWord && ink.height() <= kMaxGlyphHeight * rowHeight && ink.width() <= kMaxGlyphWidth * rowHeight;
}

// Ink no taller than a line of the page's text: a glyph or word the
// recogniser did not read, or what is left of a ruling, not a picture.
// Pictures, stamps and signatures stand taller than a text line.
bool isTextHighInk(const QRect &ink, const std::vector<QRect> &wordPixels)
{
    constexpr size_t kMinWords = 3;
    constexpr double kMaxLineHeights = 1.5;
    if (wordPixels.size() < kMinWords || !ink.isValid())
        return false;
    std::vector<int> heights;
    heights.reserve(wordPixels.size());
    for (const QRect &w : wordPixels)
        heights.push_back(w.height());
    std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2), heights.end());
    return ink.height() <= kMaxLineHeights * heights[heights.size() / 2];
}

TextBlock imageBlockFromComponent(const QImage &image, const ImageComponent &c, int pageIndex, double scale,
                                  double pageHeight)
{
    constexpr int kPadding = 3;
    const QRect bounds = QRect(QPoint(c.left - kPadding, c.top - kPadding),
                               QPoint(c.right + kPadding, c.bottom + kPadding))
                             .intersected(image.rect());
    TextBlock block;
    if (bounds.isEmpty())
        return block;
    block.isImage = true;
    block.pageIndex = pageIndex;
    block.image = image.copy(bounds);
    block.rect = QRectF(bounds.left() / scale, pageHeight - (bounds.bottom() + 1) / scale, bounds.width() / scale,
                        bounds.height() / scale);
    block.originalRect = block.rect;
    return block;
}

double intersectionArea(const QRectF &a, const QRectF &b)
{
    const QRectF i = a.intersected(b);
    return i.isEmpty() ? 0.0 : i.width() * i.height();
}


// Largest share of `rect`'s area that one image block covers.
double imageCoverShare(const QRectF &rect, const std::vector<TextBlock> &imageBlocks)
{
    const double area = std::max(rect.width() * rect.height(), 1.0);
    double share = 0.0;
    for (const TextBlock &image : imageBlocks)
        share = std::max(share, intersectionArea(rect, image.rect) / area);
    return share;
}

bool isImageNoiseWord(const TextBlock::Line::Word &word, const std::vector<TextBlock> &imageBlocks)
{
    constexpr double kCoverShare = 0.18;
    constexpr int kFewChars = 4;
    constexpr float kLowConfidence = 62.0f;
    if (word.confidence >= kConfidentWord || !hasArea(word.rect)
        || imageCoverShare(word.rect, imageBlocks) <= kCoverShare)
        return false;
    return meaningfulCharCount(word.text) < kFewChars || word.confidence < kLowConfidence;
}

bool holdsConfidentWord(const TextBlock &block)
{
    return std::any_of(block.lines.begin(), block.lines.end(), [](const TextBlock::Line &line) {
        return std::any_of(line.words.begin(), line.words.end(),
                           [](const TextBlock::Line::Word &w) { return w.confidence >= kConfidentWord; });
    });
}

bool removeNoiseWordsFromLine(TextBlock::Line &line, const std::vector<TextBlock> &imageBlocks)
{
    const auto before = line.words.size();
    std::erase_if(line.words, [&](const auto &w) { return isImageNoiseWord(w, imageBlocks); });
    if (line.words.size() == before)
        return false;
    QStringList texts;
    QRectF bounds;
    for (const auto &w : line.words) {
        const QString t = w.text.trimmed();
        if (t.isEmpty())
            continue;
        texts << t;
        bounds = bounds.isNull() ? w.rect : bounds.united(w.rect);
    }
    line.text = texts.join(QLatin1Char(' '));
    if (!texts.isEmpty())
        line.rect = bounds;
    return true;
}

} // namespace

bool isImageLikeComponent(const ImageComponent &c, const QSize &imageSize)
{
    if (c.right < c.left || c.bottom < c.top)
        return false;
    const double w = c.right - c.left + 1;
    const double h = c.bottom - c.top + 1;
    if (w < 18 || h < 16 || w * h < 360 || c.inkPixels < 70)
        return false;
    if (w > 0.92 * imageSize.width() || h > 0.38 * imageSize.height())
        return false;
    const double density = c.inkPixels / (w * h);
    const double aspect = w / h;
    return density >= 0.03 && density <= 0.72 && aspect >= 0.12 && aspect <= 18.0;
}

std::vector<TextBlock> detectImageBlocks(const QImage &image, const std::vector<QRectF> &wordRects, int pageIndex,
                                         double scale, double pageHeight)
{
    constexpr int kMinSide = 15;
    std::vector<TextBlock> blocks;
    if (image.isNull() || image.width() <= kMinSide || image.height() <= kMinSide || !(scale > 0))
        return blocks;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    const int height = rgb.height();

    Mask ink = darkMask(rgb);
    std::vector<QRect> wordPixels;
    wordPixels.reserve(wordRects.size());
    for (const QRectF &word : wordRects) {
        const QRect r = imageCropForPdfRect(word, rgb, scale, pageHeight, 2);
        if (r.isValid())
            clearRect(ink, width, r);
        const QRect box = imageCropForPdfRect(word, rgb, scale, pageHeight, 0);
        if (box.isValid())
            wordPixels.push_back(box);
    }
    clearRulingLines(ink, width, height, scale);
    const int radius = std::max(int(std::lround(1.6 * scale)), 2);
    const Mask dilated = dilate(ink, width, height, radius);

    std::vector<ImageComponent> candidates;
    for (const ImageComponent &c : labelComponents(dilated, ink, width, height)) {
        if (isImageLikeComponent(c, rgb.size()))
            candidates.push_back(c);
    }
    mergeNearCandidates(candidates, std::max(int(std::lround(3.5 * scale)), 5));

    for (const ImageComponent &c : candidates) {
        const QRect ink = inkBounds(c, radius, rgb.size());
        if (!isImageLikeComponent(c, rgb.size()) || isStrayGlyphInTextRow(ink, wordPixels)
            || isTextHighInk(ink, wordPixels))
            continue;
        TextBlock block = imageBlockFromComponent(image, c, pageIndex, scale, pageHeight);
        if (block.isImage)
            blocks.push_back(std::move(block));
    }
    return blocks;
}

void removeImageNoiseWords(std::vector<TextBlock> &blocks, const std::vector<TextBlock> &imageBlocks)
{
    for (TextBlock &block : blocks) {
        if (block.isImage)
            continue;
        bool changed = false;
        for (TextBlock::Line &line : block.lines)
            changed |= removeNoiseWordsFromLine(line, imageBlocks);
        if (!changed)
            continue;
        std::erase_if(block.lines, [](const TextBlock::Line &l) { return l.text.trimmed().isEmpty(); });
        rebuildBlockFromLines(block);
    }
    std::erase_if(blocks, [](const TextBlock &b) { return !b.isImage && b.text.trimmed().isEmpty(); });
}

void removeImageNoiseText(std::vector<TextBlock> &blocks, const std::vector<TextBlock> &imageBlocks)
{
    std::erase_if(blocks, [&](const TextBlock &b) {
        if (b.isImage || !hasArea(b.rect) || holdsConfidentWord(b))
            return false;
        const int n = meaningfulCharCount(b.text);
        const double share = imageCoverShare(b.rect, imageBlocks);
        return (n < 4 && share > 0.12) || (n >= 4 && n < 9 && share > 0.55);
    });
}
