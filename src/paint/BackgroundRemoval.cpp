#include "BackgroundRemoval.h"

#include <cstdlib>

namespace paint {

QImage removeBackground(const QImage& image, const QColor& key, int tolerance)
{
    return removeBackground(image, key, tolerance, {});
}

QImage removeBackground(const QImage& image, const QColor& key, int tolerance, const std::function<bool()>& stopped)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return result;
    const int kr = key.red();
    const int kg = key.green();
    const int kb = key.blue();
    auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
    for (int y = 0; y < result.height(); ++y) {
        if (stopped && stopped())
            return QImage();
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb p = line[x];
            if (qAlpha(p) != 0 && near(qRed(p), kr) && near(qGreen(p), kg) && near(qBlue(p), kb))
                line[x] = 0;
        }
    }
    return result;
}

} // namespace paint
