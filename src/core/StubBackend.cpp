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
    if (dpi < 1)
        return QImage();
    const double scale = dpi / 25.4;
    const double fullWidth = std::max(1L, std::lround(widthMm * scale));
    const double fullHeight = std::max(1L, std::lround(heightMm * scale));
    // The caps bound the short and the long side alike in either orientation,
    // and a capped page shrinks as a whole, so it keeps its proportions.
    const double shortCap = kMaxWidth / std::min(fullWidth, fullHeight);
    const double longCap = kMaxHeight / std::max(fullWidth, fullHeight);
    const double shrink = std::min({1.0, shortCap, longCap});
    const int width = static_cast<int>(std::lround(fullWidth * shrink));
    const int height = static_cast<int>(std::lround(fullHeight * shrink));
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
    // page still spans its paper: its resolution is what the cap left.
    const int dotsPerMetre = shrink < 1.0 ? static_cast<int>(std::lround(width * 1000.0 / widthMm)) : scanDotsPerMeter(dpi);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    return image;
}
