#pragma once
// What a picture file's own header says that Qt's readers do not pass on:
// the resolution it was made at (JFIF, EXIF, TIFF, PNG pHYs), told apart
// from no resolution at all, and how a JPEG is coded, to know whether its
// bytes can go into a PDF as they are.

#include <QByteArray>
#include <QSize>
#include <QSizeF>

namespace PictureHeader {

// Resolutions below and above these are taken for mistakes of the writer
// (a fax at 1 dpi, pixels per metre written as per inch).
constexpr double kMinPlausibleDpi = 72.0;
constexpr double kMaxPlausibleDpi = 2400.0;

// The dots per inch along the stored pixels' width and height that the file
// records for its picture number frame (TIFF pages; 0 for other kinds); an
// empty size when it records none in an absolute unit or an implausible one.
// format is the reader's name for the kind ("jpeg", "png", "tiff").
QSizeF recordedDpi(const QByteArray& format, const uchar* data, qint64 size, int frame);

// How a JPEG is coded, from its frame header.
struct JpegLayout {
    QSize size;          // stored pixels
    int components = 0;  // 1 grey, 3 colour
    int precision = 0;   // bits per sample
    bool dctHuffman = false;  // baseline, extended or progressive with Huffman codes

    // What a PDF reader decodes as /DCTDecode into /DeviceGray or /DeviceRGB.
    bool fitsPdf() const
    {
        return dctHuffman && precision == 8 && (components == 1 || components == 3) && !size.isEmpty();
    }
};
JpegLayout jpegLayout(const uchar* data, qint64 size);

} // namespace PictureHeader
