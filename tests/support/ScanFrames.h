#pragma once
// Made-up scanner frames for the tests and benchmarks of frames of absurd
// proportions: paper with rows of dark strokes, as text lines are, so that
// every clean-up step has work.

#include "ScanEngine.h"

#include <QImage>
#include <QPainter>
#include <QString>

namespace scanframes {

// mode: "grey", "mono" (one bit a pixel) or "colour".
inline QImage textLikeFrame(int width, int height, int dpi, const QString& mode)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    image.fill(235);
    QPainter painter(&image);
    for (int y = 4; y < height - 4; y += 24)
        painter.fillRect(QRect(width / 10, y, width * 8 / 10, 9), QColor(30, 30, 30));
    painter.end();
    if (mode == QLatin1String("mono"))
        image = blackAndWhite(image);
    else if (mode == QLatin1String("colour"))
        image = image.convertToFormat(QImage::Format_RGB888);
    image.setDotsPerMeterX(scanDotsPerMeter(dpi));
    image.setDotsPerMeterY(scanDotsPerMeter(dpi));
    return image;
}

inline ScanParams everyStep()
{
    ScanParams params;
    params.geomCorr = params.perspCorr = params.skew = params.structural = params.noiseRemove = true;
    params.autoBright = params.autoContrast = params.whiteBalance = params.denoise = params.sharpen = true;
    params.textEnhance = true;
    return params;
}

} // namespace scanframes
