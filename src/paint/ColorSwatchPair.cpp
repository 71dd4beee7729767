#include "ColorSwatchPair.h"

#include <QMouseEvent>
#include <QPainter>

namespace paint {

ColorSwatchPair::ColorSwatchPair(QWidget* parent)
    : QWidget(parent)
{
}

QRect ColorSwatchPair::primaryRect() const
{
    const int w = width();
    const int h = height();
    return QRect(0, h - 2 * h / 3, 2 * w / 3, 2 * h / 3);
}

QRect ColorSwatchPair::secondaryRect() const
{
    const int w = width();
    const int h = height();
    return QRect(w - 2 * w / 3, 0, 2 * w / 3, 2 * h / 3);
}

void ColorSwatchPair::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    auto square = [&](const QRect& rect, const QColor& color, bool active) {
        painter.fillRect(rect, color);
        const QPen pen = active ? QPen(QColor(60, 120, 220), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin)
                                : QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    };
    square(secondaryRect(), secondary, !primaryActive);
    square(primaryRect(), primary, primaryActive);
}

void ColorSwatchPair::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (primaryRect().contains(p))
        emit primaryClicked();
    else if (secondaryRect().contains(p))
        emit secondaryClicked();
}

void ColorSwatchPair::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (primaryRect().contains(p))
        emit primaryDoubleClicked();
    else if (secondaryRect().contains(p))
        emit secondaryDoubleClicked();
}

} // namespace paint
