// Developer program: opens the picture editor on a picture and writes the
// edited picture when it is saved.
// Usage: paint-demo in.png out.png
#include "FacsimileEditorDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr int kMaxSide = 16384;
constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;

void fail(const QString& text)
{
    std::fprintf(stderr, "paint-demo: %s\n", qPrintable(text));
}

// A bounded read: a missing, unreadable, oversized or empty picture is refused.
QImage readPicture(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return QImage();
    }
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("%1: cannot be read").arg(path);
        return QImage();
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxSide || size.height() > kMaxSide
                           || qint64(size.width()) * size.height() > kMaxPixels)) {
        *error = QStringLiteral("%1: the picture is too large (%2 x %3)").arg(path).arg(size.width()).arg(size.height());
        return QImage();
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *error = QStringLiteral("%1: not a readable picture (%2)").arg(path, reader.errorString());
        return QImage();
    }
    if (image.width() < 1 || image.height() < 1) {
        *error = QStringLiteral("%1: the picture has no pixels").arg(path);
        return QImage();
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool writePicture(const QImage& image, const QString& path, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray format = QFileInfo(path).suffix().toLatin1();
    if (!image.save(&file, format.isEmpty() ? "png" : format.constData())) {
        file.cancelWriting();
        *error = QStringLiteral("the picture could not be encoded");
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        fail(QStringLiteral("usage: paint-demo in.png out.png"));
        return 2;
    }
    QString error;
    const QImage picture = readPicture(args[1], &error);
    if (picture.isNull()) {
        fail(error);
        return 1;
    }
    const QString outPath = args[2];

    paint::FacsimileEditorDialog dialog;
    dialog.setImage(picture);
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    if (!writePicture(dialog.image(), outPath, &error)) {
        fail(QStringLiteral("%1: not written: %2").arg(outPath, error));
        return 1;
    }
    std::fprintf(stderr, "paint-demo: wrote %s\n", qPrintable(outPath));
    return 0;
}
