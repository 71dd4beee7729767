#include "ColorWheelWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace paint {

namespace {

double hueDegrees(double dx, double dy)
{
    const double degrees = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
    return degrees < 0 ? degrees + 360.0 : degrees;
}

} // namespace

ColorWheelWidget::ColorWheelWidget(QWidget* parent)
    : QWidget(parent)
{
    setMinimumSize(100, 100);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ColorWheelWidget::setColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

QRectF ColorWheelWidget::wheelRect() const
{
    const double side = std::min(width(), height()) - 4;
    return QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side);
}

QPointF ColorWheelWidget::indicatorPos() const
{
    const QRectF rect = wheelRect();
    const QPointF centre = rect.center();
    if (m_color.hsvHueF() < 0)
        return centre;
    const double angle = m_color.hsvHueF() * 2 * std::numbers::pi;
    const double radius = m_color.hsvSaturationF() * rect.width() / 2;
    return centre + radius * QPointF(std::cos(angle), std::sin(angle));
}

void ColorWheelWidget::pickAt(QPoint pos)
{
    const QRectF rect = wheelRect();
    const double dx = pos.x() - rect.center().x();
    const double dy = pos.y() - rect.center().y();
    const double half = rect.width() / 2;
    const double saturation = half > 0 ? std::min(1.0, std::hypot(dx, dy) / half) : 0.0;
    int value = m_color.value();
    if (m_color.hsvHue() < 0 && value == 0)
        value = 255;
    m_color = QColor::fromHsv(int(hueDegrees(dx, dy)) % 360, int(saturation * 255), value, 255);
    update();
    emit colorChanged(m_color);
}

void ColorWheelWidget::rebuildWheel()
{
    const int n = std::max(1, int(wheelRect().width()));
    m_wheel = QImage(n, n, QImage::Format_ARGB32);
    m_wheel.fill(Qt::transparent);
    const double half = n / 2.0;
    for (int y = 0; y < n; ++y) {
        auto* line = reinterpret_cast<QRgb*>(m_wheel.scanLine(y));
        for (int x = 0; x < n; ++x) {
            const double dx = x - half + 0.5;
            const double dy = y - half + 0.5;
            const double d = std::hypot(dx, dy);
            if (d > half)
                continue;
            line[x] = QColor::fromHsvF(float(hueDegrees(dx, dy) / 360.0), float(d / half), 1.0f, 1.0f).rgba();
        }
    }
}

void ColorWheelWidget::paintEvent(QPaintEvent*)
{
    const QRectF rect = wheelRect();
    if (m_wheel.isNull() || m_wheel.width() != int(rect.width()))
        rebuildWheel();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addEllipse(rect);
    painter.setClipPath(clip);
    painter.drawImage(rect.topLeft(), m_wheel);
    painter.setClipping(false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawEllipse(rect);
    const QRectF indicator(indicatorPos() - QPointF(5.5, 5.5), QSizeF(11, 11));
    painter.setPen(QPen(Qt::white, 2.5));
    painter.drawEllipse(indicator);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawEllipse(indicator);
}

void ColorWheelWidget::mousePressEvent(QMouseEvent* event)
{
    m_dragging = true;
    pickAt(event->position().toPoint());
}

void ColorWheelWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        pickAt(event->position().toPoint());
}

void ColorWheelWidget::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
}

void ColorWheelWidget::resizeEvent(QResizeEvent* event)
{
    m_wheel = QImage();
    QWidget::resizeEvent(event);
}

} // namespace paint
