#pragma once
// A picture file read for use as page content: turned as its EXIF
// orientation says, read scaled down when it has more pixels than a page
// picture may keep, every page of a multi-page TIFF in turn, and checked for
// damage that the readers only warn about.

#include <QByteArray>
#include <QImage>
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
        QString error;   // why there is no image; never empty then
    };

    // Sets the reader up; reader must be able to read its file.
    explicit PictureFile(QImageReader& reader);

    // Pages in the file: every page of a TIFF, one for other kinds (the
    // frames of an animation are not pages).
    int frameCount() const { return m_frameCount; }
    bool nextFrame();
    Frame readFrame();

    // Empty, or why the file at path is damaged although its reader would
    // still make a picture of it: JPEG, GIF and BMP readers fill what is
    // missing at the end with grey or black and report nothing.
    QString damage(const QString& path) const;

    // Whether the data of a picture in this format (the reader's name for it)
    // runs complete to its end; formats whose readers fail on their own are
    // always complete here.
    static bool isComplete(const QByteArray& format, const uchar* data, qint64 size);
    // The size to read a picture of `size` pixels at so it keeps at most
    // maxPixels, the proportions kept; `size` itself when it fits.
    static QSize boundedSize(const QSize& size, qint64 maxPixels);
    // The page, in points, that a picture of these pixels fills: pictures are
    // taken at 150 dots per inch.
    static QSizeF pageSize(const QSize& pixels);

private:
    static bool jpegIsComplete(const uchar* data, qint64 size);
    static bool gifIsComplete(const uchar* data, qint64 size);
    static bool bmpIsComplete(const uchar* data, qint64 size);

    QImageReader& m_reader;
    QByteArray m_format;
    int m_frameCount = 1;
};
