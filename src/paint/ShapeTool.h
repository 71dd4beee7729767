#pragma once

#include "LayerDragTool.h"

#include <QImage>

class QPainter;

namespace paint {

struct PendingShape;

// Previews a shape from the press point on the layer and hands it to the
// canvas as a pending shape at release.
class ShapeTool : public LayerDragTool {
public:
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

protected:
    virtual QPoint endPoint(QMouseEvent* event, const QPoint& imagePos) const = 0;
    virtual void paintPreview(QPainter& painter, const QPoint& end) const = 0;
    // False when the drag makes no shape.
    virtual bool makeShape(const QPoint& end, PendingShape& shape) const = 0;
};

class LineTool : public ShapeTool {
public:
    QString name() const override { return QStringLiteral("Линия"); }

protected:
    QPoint endPoint(QMouseEvent* event, const QPoint& imagePos) const override;
    void paintPreview(QPainter& painter, const QPoint& end) const override;
    bool makeShape(const QPoint& end, PendingShape& shape) const override;
};

class BoxShapeTool : public ShapeTool {
protected:
    QPoint endPoint(QMouseEvent* event, const QPoint& imagePos) const override;
    bool makeShape(const QPoint& end, PendingShape& shape) const override;
    virtual int shapeKind() const = 0;
};

class RectTool : public BoxShapeTool {
public:
    QString name() const override { return QStringLiteral("Прямоугольник"); }

protected:
    void paintPreview(QPainter& painter, const QPoint& end) const override;
    int shapeKind() const override;
};

class EllipseTool : public BoxShapeTool {
public:
    QString name() const override { return QStringLiteral("Эллипс"); }

protected:
    void paintPreview(QPainter& painter, const QPoint& end) const override;
    int shapeKind() const override;
};

} // namespace paint
