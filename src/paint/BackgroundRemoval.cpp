#include "BackgroundRemoval.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace paint {

namespace {

constexpr qint64 kPixelsPerBand = 1 << 20;  // smaller pictures take one thread
constexpr int kMaxBands = 4;
constexpr int kRowsBetweenChecks = 16;

} // namespace

QImage removeBackground(const QImage& image, const QColor& key, int tolerance)
{
    return removeBackground(image, key, tolerance, {});
}

// Bands of rows are done side by side; each asks `stopped` now and then.
QImage removeBackground(const QImage& image, const QColor& key, int tolerance, const std::function<bool()>& stopped)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return result;
    const int kr = key.red();
    const int kg = key.green();
    const int kb = key.blue();
    const int width = result.width();
    const int height = result.height();
    uchar* bits = result.bits();  // detached once, before any band writes
    const qsizetype stride = result.bytesPerLine();
    std::atomic<bool> halted{false};
    auto band = [&](int top, int bottom) {
        auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
        for (int y = top; y < bottom; ++y) {
            if ((y - top) % kRowsBetweenChecks == 0 && (halted.load(std::memory_order_relaxed) || (stopped && stopped()))) {
                halted = true;
                return;
            }
            auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
            for (int x = 0; x < width; ++x) {
                const QRgb p = line[x];
                if (qAlpha(p) != 0 && near(qRed(p), kr) && near(qGreen(p), kg) && near(qBlue(p), kb))
                    line[x] = 0;
            }
        }
    };
    const qint64 pixels = qint64(width) * height;
    const int bands = int(std::clamp<qint64>(pixels / kPixelsPerBand, 1,
                                             std::min<qint64>(kMaxBands, std::max(1u, std::thread::hardware_concurrency()))));
    {
        std::vector<std::jthread> helpers;
        const int rowsPerBand = (height + bands - 1) / bands;
        for (int i = 1; i < bands; ++i)
            helpers.emplace_back(band, std::min(height, i * rowsPerBand), std::min(height, (i + 1) * rowsPerBand));
        band(0, std::min(height, rowsPerBand));
    }  // the helpers are joined here
    return halted ? QImage() : result;
}

} // namespace paint
