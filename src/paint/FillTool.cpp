#include "FillTool.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "Regions.h"

#include <QLinearGradient>
#include <QPainter>

namespace paint {

void FillTool::mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer || !layer->image.rect().contains(imagePos))
        return;
    const QImage before = layer->image;
    if (layer->image.format() != QImage::Format_ARGB32_Premultiplied)
        layer->image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (!floodFill(layer->image, imagePos, primary.rgba()))
        return;
    canvas->commitLayerSnapshot(before, name());
    canvas->update();
}

void GradientTool::paintGradient(QImage& image, const QPoint& end) const
{
    QLinearGradient gradient { QPointF(startPoint), QPointF(end) };
    gradient.setColorAt(0.0, primary);
    gradient.setColorAt(1.0, secondary);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QBrush(gradient));
}

void GradientTool::mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!active || !layer)
        return;
    layer->image = snapshot;
    paintGradient(layer->image, imagePos);
    canvas->update();
}

void GradientTool::mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    if (!active)
        return;
    active = false;
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer)
        return;
    layer->image = snapshot;
    paintGradient(layer->image, imagePos);
    canvas->commitLayerSnapshot(snapshot, name());
    canvas->update();
}

void MoveTool::mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!active || !layer)
        return;
    QImage moved(snapshot.size(), snapshot.format());
    moved.fill(Qt::transparent);
    QPainter painter(&moved);
    painter.drawImage(imagePos - startPoint, snapshot);
    painter.end();
    layer->image = moved;
    canvas->update();
}

void MoveTool::mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    if (!active)
        return;
    active = false;
    if (imagePos != startPoint && doc && doc->activeLayer())
        canvas->commitLayerSnapshot(snapshot, name());
    canvas->update();
}

} // namespace paint
