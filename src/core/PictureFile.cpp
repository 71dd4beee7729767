#include "PictureFile.h"

#include "PdfDocument.h"
#include "RegularFile.h"

#include <QFile>
#include <QImageReader>

#include <cmath>
#include <cstring>
#include <mutex>

namespace {

constexpr qint64 kBytesPerDecodedPixel = 4;

// The limit is the readers' own, one for the process: raised once, never lowered.
void raiseDecodeLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (QImageReader::allocationLimit() > 0 && QImageReader::allocationLimit() < PictureFile::kDecodeLimitMb)
            QImageReader::setAllocationLimit(PictureFile::kDecodeLimitMb);
    });
}

double dpiOrDefault(double dpi)
{
    return dpi > 0 ? dpi : PictureFile::kDefaultDpi;
}

// The most pixels a side may have at dpi for its page to stay within a PDF's.
int maxPageSidePixels(double dpi)
{
    return int(PdfDocument::kMaxPageSide * dpiOrDefault(dpi) / 72.0);
}

QString tooLargeForPageText(const QSize& pixels, const QSizeF& dpi)
{
    return QStringLiteral("Изображение %1 × %2 точек не помещается на страницу PDF (не более %3 точек по стороне).")
        .arg(pixels.width())
        .arg(pixels.height())
        .arg(std::min(maxPageSidePixels(dpi.width()), maxPageSidePixels(dpi.height())));
}

bool fitsPage(const QSize& pixels, const QSizeF& dpi)
{
    return pixels.width() <= maxPageSidePixels(dpi.width()) && pixels.height() <= maxPageSidePixels(dpi.height());
}

QSize shown(QSize stored, QImageIOHandler::Transformations turn)
{
    if (turn & QImageIOHandler::TransformationRotate90)
        stored.transpose();
    return stored;
}

} // namespace

PictureFile::PictureFile(QImageReader& reader, const QString& path)
    : m_reader(reader)
{
    raiseDecodeLimit();
    m_reader.setAutoTransform(true);
    m_format = m_reader.format();
    // Counted before anything reads the header: the TIFF reader counts one page after that.
    if (m_format == "tiff")
        m_frameCount = std::max(1, m_reader.imageCount());
    // A device or a FIFO is never read: it could block or read without end.
    if (RegularFile::open(path, PdfDocument::kMaxFileBytes, &m_file, nullptr) != RegularFile::Opened)
        return;
    m_size = m_file.size();
    m_data = m_file.map(0, m_size);
    m_mapped = m_data != nullptr;
    if (!m_mapped) {
        m_read = m_file.readAll();
        m_data = reinterpret_cast<const uchar*>(m_read.constData());
        m_size = m_read.size();
    }
}

PictureFile::~PictureFile()
{
    if (m_mapped)
        m_file.unmap(const_cast<uchar*>(m_data));
}

bool PictureFile::nextFrame()
{
    if (!m_reader.jumpToNextImage())
        return false;
    ++m_frame;
    return true;
}

QSizeF PictureFile::shownDpi(QImageIOHandler::Transformations turn) const
{
    QSizeF dpi = PictureHeader::recordedDpi(m_format, m_data, m_size, m_frame);
    if (turn & QImageIOHandler::TransformationRotate90)
        dpi.transpose();
    return dpi;
}

PictureFile::Frame PictureFile::readFrame()
{
    Frame frame;
    const QSize stored = m_reader.size();
    const QImageIOHandler::Transformations turn = m_reader.transformation();
    const QSizeF dpi = shownDpi(turn);
    if (stored.isValid() && !fitsPage(shown(stored, turn), dpi)) {
        frame.error = tooLargeForPageText(shown(stored, turn), dpi);
        return frame;
    }
    const QSize wanted = stored.isValid() ? boundedSize(stored, PdfDocument::kMaxRenderPixels) : QSize();
    m_reader.setScaledSize(wanted == stored ? QSize() : wanted);
    frame.image = m_reader.read();
    if (frame.image.isNull()) {
        // Readers that cannot scale while they decode need the whole picture in memory.
        const bool overBudget = stored.isValid() && !m_reader.supportsOption(QImageIOHandler::ScaledSize) &&
                                qint64(stored.width()) * stored.height() * kBytesPerDecodedPixel >
                                    qint64(kDecodeLimitMb) * 1024 * 1024;
        frame.error = overBudget
                          ? QStringLiteral("Изображение %1 × %2 точек слишком велико: для чтения нужно больше %3 МБ.")
                                .arg(stored.width())
                                .arg(stored.height())
                                .arg(kDecodeLimitMb)
                          : QStringLiteral("Изображение повреждено или не читается (%1).").arg(m_reader.errorString());
        return frame;
    }
    frame.fullSize = stored.isValid() ? shown(stored, turn) : frame.image.size();
    if (!stored.isValid() && !fitsPage(frame.fullSize, dpi)) {
        frame.error = tooLargeForPageText(frame.fullSize, dpi);
        frame.image = QImage();
        return frame;
    }
    frame.page = pageSize(frame.fullSize, dpi);
    return frame;
}

bool PictureFile::readJpeg(Jpeg* jpeg) const
{
    if (m_format != "jpeg" || !m_data || m_frameCount != 1)
        return false;
    const PictureHeader::JpegLayout layout = PictureHeader::jpegLayout(m_data, m_size);
    if (!layout.fitsPdf() || layout.size != m_reader.size() ||
        qint64(layout.size.width()) * layout.size.height() > PdfDocument::kMaxRenderPixels)
        return false;
    const QImageIOHandler::Transformations turn = m_reader.transformation();
    const QSizeF dpi = shownDpi(turn);
    if (!fitsPage(shown(layout.size, turn), dpi))
        return false;
    // The mapping stays while this object lives; the page copies the bytes.
    jpeg->bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(m_data), qsizetype(m_size));
    jpeg->layout = layout;
    jpeg->turn = turn;
    jpeg->page = pageSize(shown(layout.size, turn), dpi);
    return true;
}

QString PictureFile::damage() const
{
    if (m_format != "jpeg" && m_format != "gif" && m_format != "bmp")
        return {};
    if (!m_data || isComplete(m_format, m_data, m_size))
        return {};
    return QStringLiteral("Изображение повреждено: файл %1 обрывается, часть изображения потеряна.")
        .arg(QString::fromLatin1(m_format.toUpper()));
}

bool PictureFile::isComplete(const QByteArray& format, const uchar* data, qint64 size)
{
    if (format == "jpeg")
        return jpegIsComplete(data, size);
    if (format == "gif")
        return gifIsComplete(data, size);
    if (format == "bmp")
        return bmpIsComplete(data, size);
    return true;
}

// Walks the segments by their lengths (so markers inside an EXIF thumbnail
// are skipped) and the coded data of each scan up to the next marker.
bool PictureFile::jpegIsComplete(const uchar* data, qint64 size)
{
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    qint64 pos = 2;
    bool inScan = false;
    while (pos + 1 < size) {
        if (data[pos] != 0xFF || inScan) {
            // Coded data, or stray bytes between segments: on to the next marker.
            const void* next = std::memchr(data + pos, 0xFF, size_t(size - pos));
            if (!next)
                return false;
            pos = static_cast<const uchar*>(next) - data;
            if (pos + 1 >= size)
                return false;
            const uchar code = data[pos + 1];
            if (code == 0x00 || (code >= 0xD0 && code <= 0xD7) || code == 0xFF) {
                pos += code == 0xFF ? 1 : 2;
                continue;
            }
            inScan = false;
        }
        const uchar marker = data[pos + 1];
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xD9)
            return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (pos + 3 >= size)
            return false;
        const int length = (data[pos + 2] << 8) | data[pos + 3];
        if (length < 2)
            return false;
        pos += 2 + length;
        inScan = marker == 0xDA;
    }
    return false;
}

namespace {

// Size in bytes of a GIF colour table whose presence and size are in flags.
qint64 gifColourTableSize(uchar flags)
{
    return (flags & 0x80) ? 3 * (qint64(1) << ((flags & 0x07) + 1)) : 0;
}

// Skips a run of data sub-blocks up to its zero-length end; false when the data ends first.
bool skipGifSubBlocks(const uchar* data, qint64 size, qint64& pos)
{
    while (pos < size) {
        const uchar length = data[pos++];
        if (length == 0)
            return true;
        pos += length;
    }
    return false;
}

} // namespace

// Walks the blocks up to the trailer.
bool PictureFile::gifIsComplete(const uchar* data, qint64 size)
{
    constexpr qint64 kScreenEnd = 13;      // signature, version and screen descriptor
    constexpr qint64 kImageDescriptor = 10;
    if (!data || size < kScreenEnd || std::memcmp(data, "GIF8", 4) != 0)
        return false;
    qint64 pos = kScreenEnd + gifColourTableSize(data[10]);
    while (pos < size) {
        const uchar block = data[pos];
        if (block == 0x3B)  // trailer
            return true;
        if (block == 0x21) {  // extension: label, then sub-blocks
            pos += 2;
        } else if (block == 0x2C) {  // image: descriptor, colour table, code size, sub-blocks
            if (pos + kImageDescriptor > size)
                return false;
            pos += kImageDescriptor + gifColourTableSize(data[pos + 9]) + 1;
        } else {
            return false;
        }
        if (!skipGifSubBlocks(data, size, pos))
            return false;
    }
    return false;
}

// The file header states the file's size; writers that leave it 0 are taken as they are.
bool PictureFile::bmpIsComplete(const uchar* data, qint64 size)
{
    constexpr qint64 kFileHeader = 14;
    if (!data || size < kFileHeader || data[0] != 'B' || data[1] != 'M')
        return false;
    const quint32 declared = quint32(data[2]) | quint32(data[3]) << 8 | quint32(data[4]) << 16 | quint32(data[5]) << 24;
    return declared == 0 || size >= qint64(declared);
}

QSize PictureFile::boundedSize(const QSize& size, qint64 maxPixels)
{
    const qint64 pixels = qint64(size.width()) * size.height();
    if (size.isEmpty() || maxPixels <= 0 || pixels <= maxPixels)
        return size;
    const double factor = std::sqrt(double(maxPixels) / double(pixels));
    return QSize(std::max(1, int(std::floor(size.width() * factor))),
                 std::max(1, int(std::floor(size.height() * factor))));
}

QSizeF PictureFile::pageSize(const QSize& pixels, const QSizeF& dpi)
{
    return QSizeF(pixels.width() * 72.0 / dpiOrDefault(dpi.width()), pixels.height() * 72.0 / dpiOrDefault(dpi.height()));
}
