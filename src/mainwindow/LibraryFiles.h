#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QSaveFile;

// Files of the user's libraries (stamp templates, facsimiles).

// Pictures are read with a size bound: a file that is not a regular file,
// not a picture, larger than kMaxImageFileBytes, or whose picture is larger
// than kMaxImageSide on a side or kMaxImagePixels in all, reads as null.
// error, when given, gets why the file itself was refused ("… не является
// обычным файлом"), and stays empty when it was read but held no picture.
constexpr int kMaxImageSide = 16384;
constexpr qint64 kMaxImagePixels = 64LL * 1024 * 1024;
constexpr qint64 kMaxImageFileBytes = 512LL * 1024 * 1024;

QImage readBoundedImage(const QString& path, QString* error = nullptr);
// The size readBoundedImage would read, from the picture's header alone;
// invalid where it would read none for the file or its size.
QSize boundedImageSize(const QString& path);

// The picture as PNG bytes; empty when it cannot be encoded.
QByteArray pngBytes(const QImage& image);

// Opens file unbuffered and writes all of data; false, with the file's
// error text in error, when any of it could not be written. The caller
// commits.
bool writeWhole(QSaveFile& file, const QByteArray& data, QString* error);

// The file replaced by data, whole or not at all.
bool replaceFile(const QString& path, const QByteArray& data, QString* error);
