#pragma once

#include "LayerDragTool.h"
#include "Tool.h"

#include <QImage>

namespace paint {

// Fills the 4-connected area of exactly the clicked pixel's value.
class FillTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Заливка"); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
};

// Fills the whole layer with a linear gradient from primary to secondary.
class GradientTool : public LayerDragTool {
public:
    QString name() const override { return QStringLiteral("Градиент"); }
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

private:
    void paintGradient(QImage& image, const QPoint& end) const;
};

// Moves the whole content of the active layer.
class MoveTool : public LayerDragTool {
public:
    QString name() const override { return QStringLiteral("Перемещение"); }
    QCursor cursor() const override { return QCursor(Qt::SizeAllCursor); }
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
};

} // namespace paint
