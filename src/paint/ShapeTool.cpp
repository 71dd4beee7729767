#include "ShapeTool.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "PendingShape.h"
#include "Strokes.h"

#include <QMouseEvent>
#include <QPainter>

namespace paint {

namespace {

bool ctrlHeld(QMouseEvent* event)
{
    return event && event->modifiers().testFlag(Qt::ControlModifier);
}

} // namespace

void ShapeTool::mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!active || !layer)
        return;
    const QPoint end = endPoint(event, imagePos);
    layer->image = snapshot;
    QPainter painter(&layer->image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintPreview(painter, end);
    painter.end();
    canvas->update();
}

void ShapeTool::mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!active || !layer)
        return;
    active = false;
    const QPoint end = endPoint(event, imagePos);
    layer->image = snapshot;
    PendingShape shape;
    if (makeShape(end, shape)) {
        shape.color = primary;
        shape.width = size;
        shape.snapshot = snapshot;
        canvas->setPendingShape(shape);
    }
    canvas->update();
}

QPoint LineTool::endPoint(QMouseEvent* event, const QPoint& imagePos) const
{
    return ctrlHeld(event) ? angleSnap(startPoint, imagePos) : imagePos;
}

void LineTool::paintPreview(QPainter& painter, const QPoint& end) const
{
    painter.setPen(QPen(primary, size, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(startPoint, end);
}

bool LineTool::makeShape(const QPoint& end, PendingShape& shape) const
{
    if (end == startPoint)
        return false;
    shape.kind = PendingShape::Line;
    shape.line = QLineF(QPointF(startPoint), QPointF(end));
    return true;
}

QPoint BoxShapeTool::endPoint(QMouseEvent* event, const QPoint& imagePos) const
{
    return ctrlHeld(event) ? squareSnap(startPoint, imagePos) : imagePos;
}

bool BoxShapeTool::makeShape(const QPoint& end, PendingShape& shape) const
{
    const QRectF rect = QRectF(QPointF(startPoint), QSizeF(end.x() - startPoint.x(), end.y() - startPoint.y())).normalized();
    if (rect.width() <= 0 || rect.height() <= 0)
        return false;
    shape.kind = shapeKind();
    shape.rect = rect;
    return true;
}

static void setOutlinePen(QPainter& painter, const QColor& color, int width)
{
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
}

void RectTool::paintPreview(QPainter& painter, const QPoint& end) const
{
    setOutlinePen(painter, primary, size);
    painter.drawRect(QRect(startPoint, end).normalized());
}

int RectTool::shapeKind() const
{
    return PendingShape::Rectangle;
}

void EllipseTool::paintPreview(QPainter& painter, const QPoint& end) const
{
    setOutlinePen(painter, primary, size);
    painter.drawEllipse(QRect(startPoint, end).normalized());
}

int EllipseTool::shapeKind() const
{
    return PendingShape::Ellipse;
}

} // namespace paint
