#pragma once
// A picture file read for use as page content: turned as its EXIF
// orientation says, read scaled down when it has more pixels than a page
// picture may keep, every page of a multi-page TIFF in turn, and checked for
// damage that the readers only warn about. Its page is as large as the
// resolution the file records makes it (150 dpi when it records none).

#include "PictureHeader.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QSizeF>
#include <QString>

class QImageReader;

class PictureFile {
public:
    // Memory Qt's readers may take to decode one picture, in MiB: a
    // 10,000 × 7,000 colour scan takes 267 MiB as 32-bit pixels.
    static constexpr int kDecodeLimitMb = 1024;

    struct Frame {
        QImage image;
        QSize fullSize;  // the picture's own size in pixels, turned as shown
        QSizeF page;     // the page it fills, in points
        QString error;   // why there is no image; never empty then
    };

    // A JPEG whose own bytes make the page picture.
    struct Jpeg {
        QByteArray bytes;
        PictureHeader::JpegLayout layout;
        QImageIOHandler::Transformations turn;  // how its stored pixels are to be shown
        QSizeF page;  // in points, upright
    };

    // Sets the reader up; reader must be able to read its file, path.
    PictureFile(QImageReader& reader, const QString& path);
    ~PictureFile();
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    QByteArray format() const { return m_format; }

    // Pages in the file: every page of a TIFF, one for other kinds (the
    // frames of an animation are not pages).
    int frameCount() const { return m_frameCount; }
    bool nextFrame();
    Frame readFrame();

    // Empty, or why the file is damaged although its reader would still make
    // a picture of it: JPEG, GIF and BMP readers fill what is missing at the
    // end with grey or black and report nothing.
    QString damage() const;
    // A complete single-picture JPEG that a PDF reader decodes as it is and
    // that is no larger than a page picture may be: its bytes, with nothing
    // decoded. False for any other picture, which readFrame then reads.
    bool readJpeg(Jpeg* jpeg) const;

    // Whether the data of a picture in this format (the reader's name for it)
    // runs complete to its end; formats whose readers fail on their own are
    // always complete here.
    static bool isComplete(const QByteArray& format, const uchar* data, qint64 size);
    // The size to read a picture of `size` pixels at so it keeps at most
    // maxPixels, the proportions kept; `size` itself when it fits.
    static QSize boundedSize(const QSize& size, qint64 maxPixels);
    // The page, in points, that a picture of these pixels (as shown) fills at
    // dpi along its width and height; at 150 dpi when dpi is empty.
    static QSizeF pageSize(const QSize& pixels, const QSizeF& dpi);
    static constexpr double kDefaultDpi = 150.0;

private:
    // The recorded resolution of the current picture along its shown width
    // and height, or an empty size.
    QSizeF shownDpi(QImageIOHandler::Transformations turn) const;

    static bool jpegIsComplete(const uchar* data, qint64 size);
    static bool gifIsComplete(const uchar* data, qint64 size);
    static bool bmpIsComplete(const uchar* data, qint64 size);

    QImageReader& m_reader;
    QByteArray m_format;
    int m_frameCount = 1;
    int m_frame = 0;
    QFile m_file;
    // The whole file, mapped (or read when it cannot be mapped); null past
    // the size a file may have.
    const uchar* m_data = nullptr;
    qint64 m_size = 0;
    bool m_mapped = false;
    QByteArray m_read;
};
