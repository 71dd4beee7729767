#pragma once

#include <QColor>
#include <QImage>

namespace paint {

// A premultiplied copy in which every visible pixel whose stored red, green
// and blue each lie within `tolerance` of the key's is made fully transparent.
QImage removeBackground(const QImage& image, const QColor& key, int tolerance);

} // namespace paint
