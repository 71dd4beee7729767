#include "LibraryFiles.h"

#include "RegularFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

namespace {

// The picture's size from the reader's header, when within the bounds.
QSize boundedSize(QImageReader& reader)
{
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxImageSide || size.height() > kMaxImageSide
        || qint64(size.width()) * size.height() > kMaxImagePixels)
        return QSize();
    return size;
}

} // namespace

QImage readBoundedImage(const QString& path, QString* error)
{
    if (error)
        error->clear();
    // A device or a FIFO named as a picture reads as none, without a wait.
    QFile file;
    if (RegularFile::open(path, kMaxImageFileBytes, &file, error) != RegularFile::Opened)
        return QImage();
    QImageReader reader(&file, QFileInfo(path).suffix().toLower().toLatin1());
    const QSize size = boundedSize(reader);
    if (!size.isValid())
        return QImage();
    QImage image = reader.read();
    if (image.isNull() || image.size() != size)
        return QImage();
    return image;
}

QSize boundedImageSize(const QString& path)
{
    QFile file;
    if (RegularFile::open(path, kMaxImageFileBytes, &file, nullptr) != RegularFile::Opened)
        return QSize();
    QImageReader reader(&file, QFileInfo(path).suffix().toLower().toLatin1());
    return boundedSize(reader);
}

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return QByteArray();
    return bytes;
}

bool writeWhole(QSaveFile& file, const QByteArray& data, QString* error)
{
    auto fail = [&file, error] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail();
    // A file-size limit or a full disk shows as a short write, not an error.
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 step = file.write(data.constData() + written, data.size() - written);
        if (step <= 0)
            return fail();
        written += step;
    }
    return true;
}

bool replaceFile(const QString& path, const QByteArray& data, QString* error)
{
    QSaveFile file(path);
    if (!writeWhole(file, data, error))
        return false;
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
