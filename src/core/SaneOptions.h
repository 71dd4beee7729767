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
// The largest frame the program takes: its longest side in pixels, and its
// bytes (read, then copied into a picture, then cleaned up: twice this
// stays well under a gigabyte).
constexpr qint64 kMaxFrameSide = 32767;
constexpr qint64 kMaxFrameBytes = qint64(400) << 20;
// Why a frame of these parameters cannot be taken, before it is read: a
// format or depth the program does not read, a line its bytes cannot hold,
// or a frame past the largest (its lines when the device tells them).
// Empty when it can.
QString frameRefusal(const SANE_Parameters& params);
// Why a frame of these parameters grown to bytes is refused: past the largest.
QString oversizeReason(const SANE_Parameters& params, qint64 bytes);
// One frame of bytes as a picture with dpi as its resolution: grey or RGB,
// 1, 8 or 16 bits a sample; 1-bit grey stays one bit a pixel. Null for a
// frame that does not fit its parameters, and the reason in *reason.
QImage frameImage(const SANE_Parameters& params, const QByteArray& bytes, int dpi, QString* reason = nullptr);
// Grey with every value at or above 128 white, the rest black, one bit a pixel.
QImage thresholded(const QImage& image);

}  // namespace SaneOptions
