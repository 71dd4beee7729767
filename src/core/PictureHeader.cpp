#include "PictureHeader.h"

#include <cstring>

namespace PictureHeader {

namespace {

constexpr double kCentimetresPerInch = 2.54;
constexpr double kMetresPerInch = 0.0254;
// Pages a TIFF's chain of directories is followed through at most; a chain
// that loops back would otherwise never end.
constexpr int kMaxTiffDirectories = 5000;

// Bounds-checked reads of a byte range in either byte order.
class Bytes {
public:
    Bytes(const uchar* data, qint64 size, bool littleEndian = false)
        : m_data(data)
        , m_size(data ? size : 0)
        , m_little(littleEndian)
    {
    }
    bool has(qint64 at, qint64 length) const { return at >= 0 && length >= 0 && at <= m_size - length; }
    quint32 u8(qint64 at) const { return has(at, 1) ? m_data[at] : 0; }
    quint32 u16(qint64 at) const
    {
        if (!has(at, 2))
            return 0;
        return m_little ? m_data[at] | quint32(m_data[at + 1]) << 8 : quint32(m_data[at]) << 8 | m_data[at + 1];
    }
    quint32 u32(qint64 at) const
    {
        if (!has(at, 4))
            return 0;
        return m_little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    }
    bool startsWith(qint64 at, const char* text) const
    {
        const qint64 length = qint64(std::strlen(text));
        return has(at, length) && std::memcmp(m_data + at, text, size_t(length)) == 0;
    }
    Bytes from(qint64 at, qint64 length, bool littleEndian) const
    {
        return has(at, length) ? Bytes(m_data + at, length, littleEndian) : Bytes(nullptr, 0);
    }
    qint64 size() const { return m_size; }

private:
    const uchar* m_data;
    qint64 m_size;
    bool m_little;
};

QSizeF plausible(double x, double y)
{
    const auto fits = [](double dpi) { return dpi >= kMinPlausibleDpi && dpi <= kMaxPlausibleDpi; };
    return fits(x) && fits(y) ? QSizeF(x, y) : QSizeF();
}

// --- TIFF directories (TIFF files and the EXIF block of a JPEG) -------------

constexpr quint32 kTagXResolution = 282;
constexpr quint32 kTagYResolution = 283;
constexpr quint32 kTagResolutionUnit = 296;
constexpr quint32 kTypeShort = 3;
constexpr quint32 kTypeLong = 4;
constexpr quint32 kTypeRational = 5;
constexpr qint64 kEntrySize = 12;

// A TIFF header at the start of bytes: the byte order, and the first
// directory's offset (0 when the header is not one).
Bytes tiffBody(const Bytes& bytes, quint32* firstDirectory)
{
    *firstDirectory = 0;
    const bool little = bytes.startsWith(0, "II");
    if (!little && !bytes.startsWith(0, "MM"))
        return bytes;
    Bytes body = bytes.from(0, bytes.size(), little);
    if (body.u16(2) != 42)
        return body;
    *firstDirectory = body.u32(4);
    return body;
}

double entryValue(const Bytes& tiff, qint64 entry)
{
    const quint32 type = tiff.u16(entry + 2);
    if (tiff.u32(entry + 4) != 1)
        return 0.0;
    switch (type) {
    case kTypeShort:
        return tiff.u16(entry + 8);
    case kTypeLong:
        return tiff.u32(entry + 8);
    case kTypeRational: {
        const quint32 at = tiff.u32(entry + 8);
        const quint32 denominator = tiff.u32(at + 4);
        return denominator ? double(tiff.u32(at)) / denominator : 0.0;
    }
    default:
        return 0.0;
    }
}

QSizeF directoryDpi(const Bytes& tiff, quint32 directory)
{
    const quint32 entries = tiff.u16(directory);
    double x = 0.0;
    double y = 0.0;
    quint32 unit = 2;  // inches when the directory does not say
    for (quint32 i = 0; i < entries; ++i) {
        const qint64 entry = qint64(directory) + 2 + i * kEntrySize;
        if (!tiff.has(entry, kEntrySize))
            break;
        switch (tiff.u16(entry)) {
        case kTagXResolution:
            x = entryValue(tiff, entry);
            break;
        case kTagYResolution:
            y = entryValue(tiff, entry);
            break;
        case kTagResolutionUnit:
            unit = quint32(entryValue(tiff, entry));
            break;
        default:
            break;
        }
    }
    if (unit == 3)
        return plausible(x * kCentimetresPerInch, y * kCentimetresPerInch);
    if (unit == 2)
        return plausible(x, y);
    return {};  // no absolute unit: an aspect ratio only
}

QSizeF tiffDpi(const Bytes& bytes, int frame)
{
    quint32 directory = 0;
    const Bytes tiff = tiffBody(bytes, &directory);
    for (int page = 0; page < frame && directory && page < kMaxTiffDirectories; ++page) {
        const quint32 entries = tiff.u16(directory);
        directory = tiff.u32(qint64(directory) + 2 + entries * kEntrySize);
    }
    if (!directory || frame >= kMaxTiffDirectories)
        return {};
    return directoryDpi(tiff, directory);
}

// --- JPEG -------------------------------------------------------------------

constexpr quint32 kMarkerStartOfScan = 0xDA;
constexpr quint32 kMarkerEndOfImage = 0xD9;
constexpr quint32 kMarkerApp0 = 0xE0;
constexpr quint32 kMarkerApp1 = 0xE1;

// Calls visit(marker, segment data without its length) for each header
// segment up to the first scan; visit returns false to stop.
template <typename Visit>
void forEachJpegSegment(const Bytes& jpeg, Visit visit)
{
    if (jpeg.u16(0) != 0xFFD8)
        return;
    qint64 at = 2;
    while (jpeg.has(at, 4)) {
        if (jpeg.u8(at) != 0xFF)
            return;
        const quint32 marker = jpeg.u8(at + 1);
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == kMarkerStartOfScan || marker == kMarkerEndOfImage)
            return;
        const qint64 length = jpeg.u16(at + 2);
        if (length < 2 || !jpeg.has(at + 2, length))
            return;
        if (!visit(marker, jpeg.from(at + 4, length - 2, false)))
            return;
        at += 2 + length;
    }
}

QSizeF jfifDpi(const Bytes& segment)
{
    // "JFIF\0", version (2), units, X density (2), Y density (2).
    if (!segment.startsWith(0, "JFIF") || !segment.has(0, 12))
        return {};
    const quint32 units = segment.u8(7);
    const double x = segment.u16(8);
    const double y = segment.u16(10);
    if (units == 1)
        return plausible(x, y);
    if (units == 2)
        return plausible(x * kCentimetresPerInch, y * kCentimetresPerInch);
    return {};
}

QSizeF exifDpi(const Bytes& segment)
{
    constexpr qint64 kExifHeader = 6;  // "Exif\0\0"
    if (!segment.startsWith(0, "Exif"))
        return {};
    return tiffDpi(segment.from(kExifHeader, segment.size() - kExifHeader, false), 0);
}

// JFIF, the format's own field, first; a camera's EXIF after it.
QSizeF jpegDpi(const Bytes& jpeg)
{
    QSizeF jfif;
    QSizeF exif;
    forEachJpegSegment(jpeg, [&](quint32 marker, const Bytes& segment) {
        if (marker == kMarkerApp0 && jfif.isEmpty())
            jfif = jfifDpi(segment);
        else if (marker == kMarkerApp1 && exif.isEmpty())
            exif = exifDpi(segment);
        return true;
    });
    return !jfif.isEmpty() ? jfif : exif;
}

// --- PNG --------------------------------------------------------------------

QSizeF pngDpi(const Bytes& png)
{
    constexpr qint64 kSignature = 8;
    constexpr quint32 kUnitMetre = 1;
    if (!png.startsWith(1, "PNG"))
        return {};
    qint64 at = kSignature;
    // pHYs stands before the picture data.
    while (png.has(at, 8) && !png.startsWith(at + 4, "IDAT") && !png.startsWith(at + 4, "IEND")) {
        const qint64 length = png.u32(at);
        if (png.startsWith(at + 4, "pHYs")) {
            if (length < 9 || png.u8(at + 16) != kUnitMetre)
                return {};
            return plausible(png.u32(at + 8) * kMetresPerInch, png.u32(at + 12) * kMetresPerInch);
        }
        at += 12 + length;  // length, type, data, check sum
    }
    return {};
}

} // namespace

QSizeF recordedDpi(const QByteArray& format, const uchar* data, qint64 size, int frame)
{
    const Bytes bytes(data, size);
    if (format == "jpeg")
        return jpegDpi(bytes);
    if (format == "tiff")
        return tiffDpi(bytes, frame);
    if (format == "png")
        return pngDpi(bytes);
    return {};
}

JpegLayout jpegLayout(const uchar* data, qint64 size)
{
    JpegLayout layout;
    forEachJpegSegment(Bytes(data, size), [&](quint32 marker, const Bytes& segment) {
        // Frame headers: 0xC0 … 0xCF but for the tables (C4, CC) and the reserved C8.
        if (marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC)
            return true;
        layout.dctHuffman = marker <= 0xC2;
        layout.precision = int(segment.u8(0));
        layout.size = QSize(int(segment.u16(3)), int(segment.u16(1)));
        layout.components = int(segment.u8(5));
        return false;
    });
    return layout;
}

} // namespace PictureHeader
