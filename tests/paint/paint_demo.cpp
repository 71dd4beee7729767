// Developer program: shows the paint canvas on a picture with a tool that
// places a pending rectangle on a drag; Ctrl+S writes the composed picture.
// Usage: paint-demo in.png out.png
#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "PendingShape.h"
#include "Tool.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QSaveFile>
#include <QShortcut>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kMaxSide = 16384;
constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;

class RectangleTool : public paint::Tool {
public:
    QString name() const override { return QStringLiteral("Прямоугольник"); }

    void mousePress(paint::CanvasWidget*, paint::Document*, QMouseEvent* event, const QPoint& imagePos) override
    {
        m_active = event->button() == Qt::LeftButton;
        m_start = imagePos;
    }

    void mouseRelease(paint::CanvasWidget* canvas, paint::Document* doc, QMouseEvent*, const QPoint& imagePos) override
    {
        if (!m_active || !doc->activeLayer())
            return;
        m_active = false;
        const QRectF box = QRectF(QPointF(m_start), QPointF(imagePos)).normalized();
        if (box.width() < 2 || box.height() < 2)
            return;
        paint::PendingShape shape;
        shape.kind = paint::PendingShape::Rectangle;
        shape.rect = box;
        shape.color = primary;
        shape.width = size;
        shape.snapshot = doc->activeLayer()->image;
        canvas->setPendingShape(shape);
    }

private:
    bool m_active = false;
    QPoint m_start;
};

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

    paint::Document document(picture.size());
    document.layers[0]->image = picture;
    RectangleTool tool;
    paint::CanvasWidget canvas;
    canvas.setWindowTitle(QStringLiteral("paint-demo"));
    canvas.setTool(&tool);
    canvas.setPrimaryColor(Qt::red);
    canvas.setToolSize(4);
    canvas.setDocument(&document);
    canvas.setCursor(tool.cursor());

    auto* save = new QShortcut(QKeySequence::Save, &canvas);
    QObject::connect(save, &QShortcut::activated, &canvas, [&] {
        canvas.commitPendingShape();
        QString saveError;
        if (writePicture(document.mergedImage(), outPath, &saveError))
            std::fprintf(stderr, "paint-demo: wrote %s\n", qPrintable(outPath));
        else
            fail(QStringLiteral("%1: not written: %2").arg(outPath, saveError));
    });

    canvas.resize(1000, 700);
    canvas.show();
    QTimer::singleShot(0, &canvas, [&] { canvas.fitToView(); });
    return app.exec();
}
