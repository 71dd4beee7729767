// The clean-up chain of scanned pages and the live-frame adjustment.
#include "ScanEngine.h"

#include "StableSort.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <utility>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kNoiseDifference = 35;
constexpr int kMinGeometrySide = 50;  // deskew and perspective crop need more
// The skew is measured on a sample of the page: its middle, at most twice as
// long as wide, scaled to about the pixels of an A4 page at 72 dpi.
constexpr double kDeskewSampleAspect = 2.0;
constexpr double kDeskewSamplePixels = 600.0 * 848.0;
constexpr double kDeskewFirstAngle = -10.0;
constexpr double kDeskewStep = 0.5;
constexpr int kDeskewCandidates = 41;
constexpr double kDeskewFineStep = 0.1;
// A score within this many times its own jitter of another cannot be told from it.
constexpr double kDeskewJitters = 2.0;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr int kDarkBelow = 128;
constexpr int kPerspectiveContentMax = 219;
constexpr int kCropContentBelow = 240;
constexpr int kBrightTopPercent = 1;  // stop where more than this share lies above
constexpr int kBrightAlready = 229;
constexpr std::array<int, 9> kw = {1, 2, 1, 2, 4, 2, 1, 2, 1};

int clamp255(int v)
{
    return std::min(255, std::max(0, v));
}

QImage rgb32(const QImage& image)
{
    return image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
}

// The image in 32 bits, to be changed in place: a page of the chain is one
// copy at a time (a 1200-dpi frame is hundreds of megabytes), so each step
// takes its input over and a conversion leaves no second copy behind.
QImage ownRgb32(QImage image)
{
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    return image;
}

QImage grey8(const QImage& image)
{
    return image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8);
}

// Applies f to each channel of every pixel.
template <typename F>
void mapChannels(QImage& image, F f)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(f(qRed(line[x])), f(qGreen(line[x])), f(qBlue(line[x])));
    }
}

QImage removeImpulseNoise(QImage input)
{
    QImage out = ownRgb32(std::move(input));
    const QImage grey = grey8(out);
    const int w = out.width();
    const int h = out.height();
    std::array<int, 9> window{};
    for (int y = 1; y < h - 1; ++y) {
        const uchar* rows[3] = {grey.constScanLine(y - 1), grey.constScanLine(y), grey.constScanLine(y + 1)};
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 1; x < w - 1; ++x) {
            int n = 0;
            for (const uchar* row : rows)
                for (int dx = -1; dx <= 1; ++dx)
                    window[n++] = row[x + dx];
            std::nth_element(window.begin(), window.begin() + 4, window.end());
            const int m = window[4];
            const int g = rows[1][x];
            if (std::abs(g - m) <= kNoiseDifference || g == 0)
                continue;
            const int f = (m * 256) / g;
            const QRgb c = line[x];
            line[x] = qRgb(std::min(255, (qRed(c) * f) >> 8), std::min(255, (qGreen(c) * f) >> 8),
                           std::min(255, (qBlue(c) * f) >> 8));
        }
    }
    return out;
}

// How strongly the edges of grey line up in rows once it is turned by angle
// degrees (nearest sampling, white outside the turned page): per row, the
// pixels whose darkness differs from the pixel above them. The tops and feet
// of text lines, like the sides of ruled boxes, gather into few rows when the
// page is straight. Counting dark pixels instead would favour any turn of a
// page dark to its edges, whose rows the turned corners cut short.
double rowScore(const QImage& grey, double angle)
{
    const QTransform turn = QTransform().rotate(angle);
    const QRect box = turn.mapRect(QRectF(grey.rect())).toAlignedRect();
    const QTransform back = turn.inverted();
    const int w = grey.width();
    const int h = grey.height();
    std::vector<uchar> above(static_cast<size_t>(box.width()), 0);
    std::vector<uchar> here(static_cast<size_t>(box.width()), 0);
    std::vector<double> counts;
    counts.reserve(static_cast<size_t>(box.height()));
    // The map is linear: along a row the source point moves by a fixed step.
    const double stepX = back.m11();
    const double stepY = back.m12();
    for (int y = 0; y < box.height(); ++y) {
        const QPointF start = back.map(QPointF(box.left() + 0.5, box.top() + y + 0.5));
        double fx = start.x();
        double fy = start.y();
        int edges = 0;
        for (int x = 0; x < box.width(); ++x, fx += stepX, fy += stepY) {
            const bool inside = fx >= 0.0 && fy >= 0.0 && fx < w && fy < h;
            here[size_t(x)] = inside && grey.constScanLine(static_cast<int>(fy))[static_cast<int>(fx)] < kDarkBelow;
            if (y > 0 && here[size_t(x)] != above[size_t(x)])
                ++edges;
        }
        counts.push_back(edges);
        std::swap(above, here);
    }
    if (counts.empty())
        return 0.0;
    double sum = 0.0;
    for (double c : counts)
        sum += c;
    const double mean = sum / static_cast<double>(counts.size());
    double score = 0.0;
    for (double c : counts)
        score += (c - mean) * (c - mean);
    return score;
}

// The middle of the page, at most kDeskewSampleAspect times as long as it
// is wide, scaled down to about kDeskewSamplePixels, in grey: a frame of any
// proportions is measured in bounded time.
QImage skewSample(const QImage& image)
{
    const int w = image.width();
    const int h = image.height();
    const int cropW = std::min(w, static_cast<int>(h * kDeskewSampleAspect));
    const int cropH = std::min(h, static_cast<int>(w * kDeskewSampleAspect));
    QImage window = image.copy((w - cropW) / 2, (h - cropH) / 2, cropW, cropH);
    const double scale = std::min(1.0, std::sqrt(kDeskewSamplePixels / (double(cropW) * cropH)));
    const int sw = std::max(1, static_cast<int>(cropW * scale));
    const int sh = std::max(1, static_cast<int>(cropH * scale));
    if (sw != cropW || sh != cropH)
        window = window.scaled(sw, sh, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return grey8(window);
}

struct Scored {
    double angle;
    double score;
};

// How much the score jitters from one fine step to the next, as the mean
// size of its second differences on the fine grid around the best angle
// (the grid sorted by angle): rows sampled at slightly different turns split
// and join, which moves the score up and down by far more than the turn does.
double scoreJitter(const std::vector<Scored>& grid, double around)
{
    double sum = 0.0;
    int count = 0;
    for (size_t i = 1; i + 1 < grid.size(); ++i) {
        const bool fine = std::abs(grid[i].angle - around) < kDeskewStep &&
                          std::abs(grid[i + 1].angle - grid[i].angle - kDeskewFineStep) < 1e-6 &&
                          std::abs(grid[i].angle - grid[i - 1].angle - kDeskewFineStep) < 1e-6;
        if (!fine)
            continue;
        sum += std::abs(grid[i].score - (grid[i - 1].score + grid[i + 1].score) / 2.0);
        ++count;
    }
    return count > 0 ? sum / count : 0.0;
}

// The turn that lines the page's edges up in rows, found on a coarse grid
// and refined around the best. 0 when the page is straight as far as the
// measurement can tell: when the best turn moves a row's end by less than a
// sample pixel, or when the straight page scores within twice the score's
// jitter of the best turn.
double skewAngle(const QImage& image)
{
    const QImage sample = skewSample(image);
    std::vector<Scored> grid;
    grid.push_back({0.0, rowScore(sample, 0.0)});
    const double straight = grid.back().score;
    Scored best = grid.back();
    for (int i = 0; i < kDeskewCandidates; ++i) {
        const double angle = kDeskewFirstAngle + i * kDeskewStep;
        if (angle == 0.0)
            continue;  // scored first, so that it wins a tie
        grid.push_back({angle, rowScore(sample, angle)});
        if (grid.back().score > best.score)
            best = grid.back();
    }
    const double coarse = best.angle;
    for (int step = 1; step * kDeskewFineStep < kDeskewStep - kDeskewFineStep / 2; ++step) {
        for (const double angle : {coarse - step * kDeskewFineStep, coarse + step * kDeskewFineStep}) {
            grid.push_back({angle, rowScore(sample, angle)});
            if (grid.back().score > best.score)
                best = grid.back();
        }
    }
    if (best.score <= 0.0)
        return 0.0;
    vorn::safeStableSort(grid, [](const Scored& a, const Scored& b) { return a.angle < b.angle; });
    const double resolution = std::atan(1.0 / sample.width()) * kDegreesPerRadian;
    const double jitter = scoreJitter(grid, coarse);
    if (std::abs(best.angle) <= resolution || straight >= best.score - kDeskewJitters * jitter)
        return 0.0;
    return best.angle;
}

// Turned about its centre on a sheet of its own size: the corners the turn
// uncovers are white, what it turns past the edges is cut off.
QImage deskew(QImage input)
{
    const double angle = skewAngle(input);
    if (angle == 0.0)
        return input;
    QImage out(input.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    {
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF centre(input.width() / 2.0, input.height() / 2.0);
        painter.translate(centre);
        painter.rotate(angle);
        painter.translate(-centre);
        painter.drawImage(0, 0, input);
    }
    return input.format() == QImage::Format_Grayscale8 ? out.convertToFormat(QImage::Format_Grayscale8) : out;
}

int percentile(std::vector<int> values, int p)
{
    const int n = static_cast<int>(values.size());
    const int index = std::clamp(p * n / 100, 0, n - 1);
    std::nth_element(values.begin(), values.begin() + index, values.end());
    return values[static_cast<size_t>(index)];
}

QImage perspectiveCrop(const QImage& input)
{
    const QImage grey = grey8(input);
    const int w = grey.width();
    const int h = grey.height();
    std::vector<int> rowLeft(static_cast<size_t>(h), w), rowRight(static_cast<size_t>(h), 0);
    std::vector<int> colTop(static_cast<size_t>(w), h), colBottom(static_cast<size_t>(w), 0);
    for (int y = 0; y < h; ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (line[x] > kPerspectiveContentMax)
                continue;
            rowLeft[size_t(y)] = std::min(rowLeft[size_t(y)], x);
            rowRight[size_t(y)] = x;
            colTop[size_t(x)] = std::min(colTop[size_t(x)], y);
            colBottom[size_t(x)] = y;
        }
    }
    const int left = percentile(rowLeft, 10);
    const int top = percentile(colTop, 10);
    const int right = percentile(rowRight, 90);
    const int bottom = percentile(colBottom, 90);
    if (left < w / 30 && top < h / 30 && right > 29 * w / 30 && bottom > 29 * h / 30)
        return input;
    const int outW = right - left;
    const int outH = bottom - top;
    if (outW < w / 4 || outH < h / 4 || outW < 1 || outH < 1)
        return input;
    return input.copy(left, top, outW, outH);
}

QImage autoCrop(const QImage& input)
{
    const QImage grey = grey8(input);
    const int w = grey.width();
    const int h = grey.height();
    std::vector<int> rowCount(static_cast<size_t>(h), 0), colCount(static_cast<size_t>(w), 0);
    for (int y = 0; y < h; ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (line[x] < kCropContentBelow) {
                ++rowCount[size_t(y)];
                ++colCount[size_t(x)];
            }
        }
    }
    const int rowThreshold = w > 59 ? w / 30 : 1;
    const int colThreshold = h > 59 ? h / 30 : 1;
    auto contentRow = [&](int y) { return rowCount[size_t(y)] >= rowThreshold; };
    auto contentCol = [&](int x) { return colCount[size_t(x)] >= colThreshold; };

    int top = 0;
    for (int y = 0; y < h && top == 0; ++y)
        if (contentRow(y))
            top = y;
    int bottom = h - 1;
    for (int y = h - 1; y >= 0 && bottom == h - 1; --y)
        if (contentRow(y))
            bottom = y;
    int left = 0;
    while (left < w && !contentCol(left))
        ++left;
    if (left == w)
        left = 0;
    int right = w - 1;
    while (right >= 0 && !contentCol(right))
        --right;
    if (right < 0)
        right = w - 1;

    const int margin = w > 599 ? w / 100 : 5;
    const QRect box = QRect(QPoint(left - margin, top - margin), QPoint(right + margin, bottom + margin))
                          .intersected(grey.rect());
    if (box.right() - box.left() < w / 3 || box.bottom() - box.top() < h / 3 || box == grey.rect())
        return input;
    return input.copy(box);
}

QImage whiteBalance(QImage input)
{
    QImage out = ownRgb32(std::move(input));
    const double n = double(out.width()) * out.height();
    qint64 sums[3] = {0, 0, 0};
    for (int y = 0; y < out.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(out.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            sums[0] += qRed(line[x]);
            sums[1] += qGreen(line[x]);
            sums[2] += qBlue(line[x]);
        }
    }
    const double grey = double(sums[0] + sums[1] + sums[2]) / (3.0 * n);
    double gain[3];
    for (int c = 0; c < 3; ++c)
        gain[c] = grey / std::max(double(sums[c]) / n, 1.0);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgb(clamp255(int(qRed(p) * gain[0])), clamp255(int(qGreen(p) * gain[1])),
                           clamp255(int(qBlue(p) * gain[2])));
        }
    }
    return out;
}

QImage autoBrightness(QImage input)
{
    QImage out = ownRgb32(std::move(input));
    const qint64 n = qint64(out.width()) * out.height();
    std::array<qint64, 256> histogram{};
    for (int y = 0; y < out.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(out.constScanLine(y));
        for (int x = 0; x < out.width(); ++x)
            ++histogram[size_t((299 * qRed(line[x]) + 587 * qGreen(line[x]) + 114 * qBlue(line[x])) / 1000)];
    }
    qint64 count = 0;
    int level = -1;
    for (int l = 255; l >= 0; --l) {
        count += histogram[size_t(l)];
        if (count * 100 / n > kBrightTopPercent) {
            level = l;
            break;
        }
    }
    if (level < 1 || level > kBrightAlready)
        return out;
    const double scale = 255.0 / level;
    mapChannels(out, [scale](int c) { return clamp255(int(c * scale)); });
    return out;
}

QImage autoContrast(QImage input)
{
    QImage out = ownRgb32(std::move(input));
    const qint64 n = qint64(out.width()) * out.height();
    std::array<std::array<qint64, 256>, 3> histograms{};
    for (int y = 0; y < out.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(out.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            ++histograms[0][size_t(qRed(line[x]))];
            ++histograms[1][size_t(qGreen(line[x]))];
            ++histograms[2][size_t(qBlue(line[x]))];
        }
    }
    const qint64 clip = n > 99 ? n / 50 : 1;
    std::array<std::array<int, 256>, 3> tables{};
    for (int c = 0; c < 3; ++c) {
        int lo = 0;
        int hi = 255;
        qint64 count = 0;
        for (int l = 0; l < 256; ++l) {
            count += histograms[size_t(c)][size_t(l)];
            if (count >= clip) {
                lo = l;
                break;
            }
        }
        count = 0;
        for (int l = 255; l >= 0; --l) {
            count += histograms[size_t(c)][size_t(l)];
            if (count >= clip) {
                hi = l;
                break;
            }
        }
        for (int v = 0; v < 256; ++v)
            tables[size_t(c)][size_t(v)] = hi > lo ? clamp255((v - lo) * 255 / (hi - lo)) : v;
    }
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgb(tables[0][size_t(qRed(p))], tables[1][size_t(qGreen(p))], tables[2][size_t(qBlue(p))]);
        }
    }
    return out;
}

// A 3 × 3 filter over the interior that reads only the step's input: done
// in place, the rows above and at the one being written kept as they were.
template <typename F>
QImage filtered(QImage input, F channelValue)
{
    QImage out = ownRgb32(std::move(input));
    const int w = out.width();
    const int h = out.height();
    std::vector<QRgb> above(size_t(std::max(w, 0)));
    std::vector<QRgb> here(size_t(std::max(w, 0)));
    if (h > 0)
        std::copy_n(reinterpret_cast<const QRgb*>(out.constScanLine(0)), w, above.begin());
    for (int y = 1; y < h - 1; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        std::copy_n(line, w, here.begin());
        const QRgb* rows[3] = {above.data(), here.data(), reinterpret_cast<const QRgb*>(out.constScanLine(y + 1))};
        for (int x = 1; x < w - 1; ++x)
            line[x] = qRgb(channelValue(rows, x, qRed), channelValue(rows, x, qGreen), channelValue(rows, x, qBlue));
        above.swap(here);
    }
    return out;
}

QImage smooth(QImage input)
{
    return filtered(std::move(input), [](const QRgb* const* rows, int x, int (*channel)(QRgb)) {
        int sum = 0;
        for (int r = 0; r < 3; ++r)
            for (int dx = -1; dx <= 1; ++dx)
                sum += kw[size_t(r * 3 + dx + 1)] * channel(rows[r][x + dx]);
        return sum / 16;
    });
}

QImage sharpen(QImage input)
{
    return filtered(std::move(input), [](const QRgb* const* rows, int x, int (*channel)(QRgb)) {
        return clamp255(5 * channel(rows[1][x]) - channel(rows[1][x - 1]) - channel(rows[1][x + 1])
                        - channel(rows[0][x]) - channel(rows[2][x]));
    });
}

QImage textCurve(QImage input)
{
    std::array<int, 256> table{};
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        const double y = x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x);
        table[size_t(i)] = clamp255(int(y * 255.0 + 0.5));
    }
    QImage out = ownRgb32(std::move(input));
    mapChannels(out, [&table](int c) { return table[size_t(c)]; });
    return out;
}

bool bigEnoughForGeometry(const QImage& image)
{
    return image.width() > kMinGeometrySide && image.height() > kMinGeometrySide;
}

}  // namespace

QImage applyPostProcess(QImage image, const ScanParams& params)
{
    if (image.isNull())
        return image;
    const int dpmX = image.dotsPerMeterX();
    const int dpmY = image.dotsPerMeterY();
    // The steps work in grey or colour; black and white comes out as it went in.
    const bool bilevel = isBlackAndWhite(image);
    const qint64 input = image.cacheKey();
    if (params.noiseRemove)
        image = removeImpulseNoise(std::move(image));
    if (params.skew && bigEnoughForGeometry(image))
        image = deskew(std::move(image));
    if (params.perspCorr && bigEnoughForGeometry(image))
        image = perspectiveCrop(image);
    if (params.geomCorr || params.structural)
        image = autoCrop(image);
    if (params.whiteBalance)
        image = whiteBalance(std::move(image));
    if (params.autoBright)
        image = autoBrightness(std::move(image));
    if (params.autoContrast)
        image = autoContrast(std::move(image));
    if (params.denoise)
        image = smooth(std::move(image));
    if (params.sharpen)
        image = sharpen(std::move(image));
    if (params.textEnhance)
        image = textCurve(std::move(image));
    if (bilevel && image.cacheKey() != input)
        image = blackAndWhite(image);
    image.setDotsPerMeterX(dpmX);
    image.setDotsPerMeterY(dpmY);
    return image;
}

bool isBlackAndWhite(const QImage& image)
{
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        const QList<QRgb> table = image.colorTable();
        return std::all_of(table.begin(), table.end(), [](QRgb c) { return c == qRgb(0, 0, 0) || c == qRgb(255, 255, 255); });
    }
    if (image.format() != QImage::Format_Grayscale8)
        return false;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != 0 && line[x] != 255)
                return false;
        }
    }
    return true;
}

QImage blackAndWhite(const QImage& image)
{
    if (image.isNull())
        return image;
    const QImage grey = grey8(image);
    QImage out(grey.size(), QImage::Format_Mono);
    if (out.isNull())
        return out;
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        uchar* bits = out.scanLine(y);
        std::fill(bits, bits + out.bytesPerLine(), uchar(0));
        for (int x = 0; x < grey.width(); ++x) {
            if (line[x] >= kDarkBelow)
                bits[x >> 3] |= uchar(0x80 >> (x & 7));
        }
    }
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    return out;
}

QImage applyCameraParams(QImage frame, const ScanParams& params)
{
    if (frame.isNull())
        return frame;
    if (params.brightness != 0) {
        frame = rgb32(frame).copy();
        const int d = params.brightness * 255 / 100;
        mapChannels(frame, [d](int c) { return clamp255(c + d); });
    }
    if (params.colorMode == 1) {
        frame = grey8(frame);
    } else if (params.colorMode == 2) {
        frame = grey8(frame).copy();
        for (int y = 0; y < frame.height(); ++y) {
            uchar* line = frame.scanLine(y);
            for (int x = 0; x < frame.width(); ++x)
                line[x] = line[x] >= kDarkBelow ? 255 : 0;
        }
    }
    if (params.landscape)
        frame = frame.transformed(QTransform().rotate(90), Qt::FastTransformation);
    return frame;
}
