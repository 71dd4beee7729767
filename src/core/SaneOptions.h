#pragma once

// Reading and writing SANE option values and frames by what the device's
// descriptors and parameters say. Used by SaneBackend; kept apart so the
// conversions can be checked with made-up descriptors.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <sane/sane.h>

namespace SaneOptions {

// An option a front end may write: active and soft-settable.
bool writable(const SANE_Option_Descriptor& option);
// The word that stands for value in the option's type (SANE_FIX for fixed).
SANE_Word wordFor(const SANE_Option_Descriptor& option, int value);
// A word read from the option, back as an int (rounded for fixed).
int intFrom(const SANE_Option_Descriptor& option, SANE_Word word);
// The resolutions of a word-list option in order; fallback for any other constraint.
QList<int> resolutions(const SANE_Option_Descriptor& option, const QList<int>& fallback);
// The mode string to send for colorMode (0 "Color", 1 "Gray", other "Lineart"),
// or an empty string when the device lists none that fits. threshold is set
// when black and white must be made from a grey frame.
QString modeFor(const SANE_Option_Descriptor& option, int colorMode, bool* threshold);
// One frame of bytes as a picture with dpi as its resolution: grey or RGB,
// 1, 8 or 16 bits a sample; 1-bit grey stays one bit a pixel. Null for a
// frame that does not fit its parameters.
QImage frameImage(const SANE_Parameters& params, const QByteArray& bytes, int dpi);
// Grey with every value at or above 128 white, the rest black, one bit a pixel.
QImage thresholded(const QImage& image);

}  // namespace SaneOptions
