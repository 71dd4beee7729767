#include "SelectionTools.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "Regions.h"

#include <QMouseEvent>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>

namespace paint {

void SelectTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& imagePos)
{
    active = true;
    dragged = false;
    startPoint = imagePos;
    canvas->setSelection(QRect(imagePos, imagePos));
}

void SelectTool::mouseMove(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& imagePos)
{
    if (!active)
        return;
    dragged = dragged || imagePos != startPoint;
    canvas->setSelection(QRect(startPoint, imagePos).normalized());
}

void SelectTool::mouseRelease(CanvasWidget*, Document*, QMouseEvent*, const QPoint&)
{
    active = false;
}

void CropTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& imagePos)
{
    if (!active)
        return;
    active = false;
    if (!dragged && imagePos == startPoint)
        return;
    if (!canvas->selectionPath().isEmpty())
        canvas->cropToSelection();
}

static QPolygonF polygonOf(const QList<QPoint>& points)
{
    QPolygonF polygon;
    for (const QPoint& p : points)
        polygon << QPointF(p);
    return polygon;
}

void LassoTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint& imagePos)
{
    active = true;
    points = { imagePos };
    canvas->clearSelection();
}

void LassoTool::mouseMove(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint& imagePos)
{
    if (!active || !event || !(event->buttons() & Qt::LeftButton))
        return;
    points << imagePos;
    QPainterPath path;
    path.addPolygon(polygonOf(points));
    canvas->setSelectionPath(path);
}

void LassoTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint&)
{
    if (!active)
        return;
    active = false;
    if (points.size() < 3) {
        canvas->clearSelection();
        return;
    }
    QPainterPath path;
    path.addPolygon(polygonOf(points));
    path.closeSubpath();
    canvas->setSelectionPath(path);
}

void WandTool::mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    const Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer)
        return;
    const QRect region = wandRegion(layer->image, imagePos, std::clamp(2 * size, 0, 255));
    if (!region.isEmpty())
        canvas->setSelection(region);
}

} // namespace paint
