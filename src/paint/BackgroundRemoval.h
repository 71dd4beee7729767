#pragma once

#include <QColor>
#include <QImage>

#include <functional>

namespace paint {

// A premultiplied copy in which every visible pixel whose stored red, green
// and blue each lie within `tolerance` of the key's is made fully transparent.
QImage removeBackground(const QImage& image, const QColor& key, int tolerance);
// The same, asking `stopped` every few rows (from more than one thread at
// once on large pictures); a null image once it says yes.
QImage removeBackground(const QImage& image, const QColor& key, int tolerance, const std::function<bool()>& stopped);

} // namespace paint
