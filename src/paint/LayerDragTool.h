#pragma once

#include "Tool.h"

#include <QImage>

namespace paint {

// A tool that drags over the active layer, redrawing it each move from the
// copy taken at the press.
class LayerDragTool : public Tool {
public:
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

protected:
    bool active = false;
    QPoint startPoint;
    QImage snapshot;
};

} // namespace paint
