#include "StrokeTool.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "Strokes.h"

#include <QMouseEvent>

namespace paint {

void StrokeTool::mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer)
        return;
    beginStroke(event);
    snapshot = layer->image;
    active = true;
    lastPoint = imagePos;
    paintSegment(doc, imagePos, imagePos);
    canvas->update();
}

void StrokeTool::mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    if (!active)
        return;
    paintSegment(doc, lastPoint, imagePos);
    lastPoint = imagePos;
    canvas->update();
}

void StrokeTool::mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint&)
{
    if (!active)
        return;
    active = false;
    if (doc && doc->activeLayer())
        canvas->commitLayerSnapshot(snapshot, name());
    canvas->update();
}

void BrushTool::paintSegment(Document* doc, QPoint from, QPoint to)
{
    drawLine(doc, from, to, primary, size);
}

void EraserTool::paintSegment(Document* doc, QPoint from, QPoint to)
{
    eraseLine(doc, from, to, size);
}

void PencilTool::beginStroke(QMouseEvent* event)
{
    strokeColor = event && event->button() == Qt::RightButton ? secondary : primary;
}

void PencilTool::paintSegment(Document* doc, QPoint from, QPoint to)
{
    pencilLine(doc, from, to, strokeColor);
}

} // namespace paint
