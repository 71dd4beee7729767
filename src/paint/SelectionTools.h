#pragma once

#include "Tool.h"

#include <QList>

namespace paint {

// Rectangle selection by dragging.
class SelectTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Выделение"); }
    QCursor cursor() const override { return QCursor(Qt::CrossCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

protected:
    bool active = false;
    bool dragged = false; // the pointer has left the press pixel
    QPoint startPoint;
};

// Selects like SelectTool and crops to the selection after a drag; a click
// only selects the pixel, so a stray click never crops the picture.
class CropTool : public SelectTool {
public:
    QString name() const override { return QStringLiteral("Обрезка"); }
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    bool wantsCropOnEnter() const override { return true; }
};

// Free-form selection.
class LassoTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Лассо"); }
    QCursor cursor() const override { return QCursor(Qt::CrossCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

private:
    bool active = false;
    QList<QPoint> points;
};

// Selects the bounding rectangle of the area near the clicked colour.
class WandTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Волшебная палочка"); }
    QCursor cursor() const override { return QCursor(Qt::CrossCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
};

} // namespace paint
