#include "Regions.h"

#include <cstdlib>
#include <vector>

namespace paint {

namespace {

// Scan-line fill: takes whole runs of a row and queues the runs above and
// below, which reaches exactly the 4-connected region of `inside` pixels.
// `take` marks a pixel so that `inside` no longer holds for it.
template <typename Inside, typename Take>
QRect scanFill(int width, int height, QPoint seed, Inside inside, Take take)
{
    QRect bounds;
    std::vector<QPoint> stack { seed };
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        const int y = p.y();
        if (!inside(p.x(), y))
            continue;
        int left = p.x();
        while (left > 0 && inside(left - 1, y))
            --left;
        int right = p.x();
        while (right < width - 1 && inside(right + 1, y))
            ++right;
        for (int x = left; x <= right; ++x)
            take(x, y);
        bounds |= QRect(left, y, right - left + 1, 1);
        for (const int ny : { y - 1, y + 1 }) {
            if (ny < 0 || ny >= height)
                continue;
            bool inRun = false;
            for (int x = left; x <= right; ++x) {
                const bool in = inside(x, ny);
                if (in && !inRun)
                    stack.emplace_back(x, ny);
                inRun = in;
            }
        }
    }
    return bounds;
}

} // namespace

bool floodFill(QImage& image, const QPoint& seed, QRgb fill)
{
    if (image.depth() != 32 || !image.rect().contains(seed))
        return false;
    const QRgb target = reinterpret_cast<const QRgb*>(image.constScanLine(seed.y()))[seed.x()];
    if (target == fill)
        return false;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    auto at = [&](int x, int y) -> QRgb& { return reinterpret_cast<QRgb*>(bits + y * stride)[x]; };
    scanFill(image.width(), image.height(), seed, [&](int x, int y) { return at(x, y) == target; },
             [&](int x, int y) { at(x, y) = fill; });
    return true;
}

QRect wandRegion(const QImage& source, const QPoint& seed, int tolerance)
{
    if (!source.rect().contains(seed))
        return {};
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const QRgb key = reinterpret_cast<const QRgb*>(image.constScanLine(seed.y()))[seed.x()];
    auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
    std::vector<bool> taken(size_t(width) * size_t(image.height()));
    auto inside = [&](int x, int y) {
        if (taken[size_t(y) * size_t(width) + size_t(x)])
            return false;
        const QRgb c = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        return near(qRed(c), qRed(key)) && near(qGreen(c), qGreen(key)) && near(qBlue(c), qBlue(key))
            && near(qAlpha(c), qAlpha(key));
    };
    return scanFill(width, image.height(), seed, inside,
                    [&](int x, int y) { taken[size_t(y) * size_t(width) + size_t(x)] = true; });
}

} // namespace paint
