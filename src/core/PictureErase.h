#pragma once
// Sets parts of a picture to the picture's own background, in the picture's
// own coding, so that what a page no longer shows is gone from its pixels
// too. A JPEG is changed in its coefficients: only the 8x8 blocks the parts
// touch are coded again (at the source's own quantisation), every other
// block keeps its coefficients, so it decodes to the same pixels. Decoded
// samples (any depth, any number of components) are changed in place.

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

namespace pdfengine {

// Which pixels of a picture go: a mask over bounds (picture pixels, row 0 at
// the top), non-zero where a pixel goes.
struct PixelMask {
    QRect bounds;
    QImage bits;  // Format_Grayscale8, bounds.size()

    bool contains(int x, int y) const;
    bool isEmpty() const { return bounds.isEmpty(); }
};

// The JPEG with the masked pixels set to the background around them. False,
// with the reason, for a JPEG the decoder refuses or one not of 8-bit samples.
bool eraseJpegPixels(const QByteArray& jpeg, const PixelMask& mask, QByteArray* out, QString* error);

// Decoded samples, rows packed to whole bytes (as a PDF image holds them),
// of width x height pixels of components samples of bits each, the masked
// pixels set to the background around them. indexed: samples are palette
// indices, so the background is the commonest one rather than a middle one.
// False when the data is shorter than its size says.
bool eraseSamples(QByteArray& samples, int width, int height, int components, int bits, bool indexed,
                  const PixelMask& mask);

}  // namespace pdfengine
