#include "Strokes.h"

#include "Document.h"
#include "Layer.h"

#include <QPainter>

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace paint {

namespace {

void strokeSegment(Document* doc, QPoint from, QPoint to, const QPen& pen, bool antialias, bool clear)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer)
        return;
    QPainter painter(&layer->image);
    painter.setRenderHint(QPainter::Antialiasing, antialias);
    if (clear)
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(pen);
    painter.drawLine(from, to);
}

} // namespace

void drawLine(Document* doc, QPoint from, QPoint to, QColor color, int width)
{
    strokeSegment(doc, from, to, QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin), true, false);
}

void eraseLine(Document* doc, QPoint from, QPoint to, int width)
{
    strokeSegment(doc, from, to, QPen(QBrush(Qt::transparent), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin), true,
                  true);
}

void pencilLine(Document* doc, QPoint from, QPoint to, QColor color)
{
    strokeSegment(doc, from, to, QPen(color, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin), false, false);
}

QPoint angleSnap(const QPoint& from, const QPoint& to)
{
    constexpr double kStep = std::numbers::pi / 12;
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    const double length = std::hypot(dx, dy);
    if (length < 1.0)
        return to;
    const double angle = std::round(std::atan2(dy, dx) / kStep) * kStep;
    return QPoint(from.x() + int(std::round(std::cos(angle) * length)),
                  from.y() + int(std::round(std::sin(angle) * length)));
}

QPoint squareSnap(const QPoint& from, const QPoint& to)
{
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    const int m = std::min(std::abs(dx), std::abs(dy));
    return QPoint(from.x() + (dx < 0 ? -m : m), from.y() + (dy < 0 ? -m : m));
}

} // namespace paint
