#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

namespace paint {

// Sets the 4-connected region of pixels whose stored value equals the one at
// `seed` to `fill`. The image must be a 32-bit format. False when the seed is
// outside or already holds `fill`.
bool floodFill(QImage& image, const QPoint& seed, QRgb fill);

// The bounding rectangle of the 4-connected region of pixels whose straight
// ARGB channels each lie within `tolerance` of the seed's; empty when the seed
// is outside.
QRect wandRegion(const QImage& image, const QPoint& seed, int tolerance);

} // namespace paint
