#include "StubBackend.h"

#include <QFont>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxWidth = 2480;
constexpr int kMaxHeight = 3508;
constexpr int kPreviewDpi = 75;

struct PaperMm {
    double shortSide;
    double longSide;
};

PaperMm paperFor(const QString& pageSize)
{
    if (pageSize == QLatin1String("A3"))
        return {297.0, 420.0};
    if (pageSize == QLatin1String("Letter"))
        return {215.9, 279.4};
    if (pageSize == QLatin1String("Legal"))
        return {215.9, 355.6};
    return {210.0, 297.0};
}

}  // namespace

QList<ScanDevice> StubBackend::enumerateDevices()
{
    return {ScanDevice{QStringLiteral("demo:0"), QStringLiteral("Demo"), QStringLiteral("Virtual Scanner"),
                       QStringLiteral("flatbed scanner")}};
}

bool StubBackend::openDevice(const QString&)
{
    m_open = true;
    return true;
}

QList<int> StubBackend::supportedResolutions()
{
    return {75, 100, 150, 200, 300, 400, 600, 1200};
}

QImage StubBackend::demoPage(const ScanParams& params, bool preview)
{
    const PaperMm paper = paperFor(params.pageSize);
    const double widthMm = params.landscape ? paper.longSide : paper.shortSide;
    const double heightMm = params.landscape ? paper.shortSide : paper.longSide;
    const int dpi = preview ? kPreviewDpi : params.resolution;
    const double scale = dpi / 25.4;
    const int fullWidth = static_cast<int>(std::lround(widthMm * scale));
    const int fullHeight = static_cast<int>(std::lround(heightMm * scale));
    const int width = std::min(fullWidth, kMaxWidth);
    const int height = std::min(fullHeight, kMaxHeight);
    if (width < 1 || height < 1)
        return QImage();

    QImage image(width, height, QImage::Format_RGB888);
    if (image.isNull())
        return QImage();
    image.fill(Qt::white);

    QPainter painter(&image);
    painter.setPen(QPen(QColor(200, 200, 200), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawRect(QRect(QPoint(8, 8), QPoint(width - 9, height - 9)));
    QFont font(QStringLiteral("Sans"));
    font.setPointSize(height > 329 ? height / 30 : 10);
    painter.setFont(font);
    painter.setPen(QColor(150, 150, 150));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Нет сканера\n(%1 dpi, демо)").arg(dpi));
    painter.end();
    // Set after painting, so the notice keeps its size in pixels. A capped
    // side still spans its paper: its resolution is what the cap left.
    image.setDotsPerMeterX(width < fullWidth ? static_cast<int>(std::lround(width * 1000.0 / widthMm))
                                             : scanDotsPerMeter(dpi));
    image.setDotsPerMeterY(height < fullHeight ? static_cast<int>(std::lround(height * 1000.0 / heightMm))
                                               : scanDotsPerMeter(dpi));
    return image;
}
