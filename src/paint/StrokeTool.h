#pragma once

#include "Tool.h"

#include <QImage>

namespace paint {

// A freehand stroke painted segment by segment onto the active layer and
// recorded at release under the tool's name.
class StrokeTool : public Tool {
public:
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

protected:
    virtual void beginStroke(QMouseEvent*) { }
    virtual void paintSegment(Document* doc, QPoint from, QPoint to) = 0;

    bool active = false;
    QPoint lastPoint;
    QImage snapshot;
};

class BrushTool : public StrokeTool {
public:
    QString name() const override { return QStringLiteral("Кисть"); }

protected:
    void paintSegment(Document* doc, QPoint from, QPoint to) override;
};

class EraserTool : public StrokeTool {
public:
    QString name() const override { return QStringLiteral("Ластик"); }

protected:
    void paintSegment(Document* doc, QPoint from, QPoint to) override;
};

class PencilTool : public StrokeTool {
public:
    QString name() const override { return QStringLiteral("Карандаш"); }

protected:
    void beginStroke(QMouseEvent* event) override;
    void paintSegment(Document* doc, QPoint from, QPoint to) override;

    QColor strokeColor;
};

} // namespace paint
