#include "LayerDragTool.h"

#include "Document.h"
#include "Layer.h"

namespace paint {

void LayerDragTool::mousePress(CanvasWidget*, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer)
        return;
    snapshot = layer->image;
    active = true;
    startPoint = imagePos;
}

} // namespace paint
