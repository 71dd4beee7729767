#pragma once

#include <QColor>
#include <QCursor>
#include <QPoint>
#include <QString>

class QMouseEvent;

namespace paint {

class CanvasWidget;
class Document;

// A paint tool. The canvas hands it mouse events with the pointer already in
// image pixels (possibly outside the picture); the host hands it the colours
// and the size.
class Tool {
public:
    virtual ~Tool() = default;

    // Also the text of the change the tool records.
    virtual QString name() const = 0;
    virtual QCursor cursor() const { return QCursor(Qt::CrossCursor); }

    virtual void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) { }
    virtual void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) { }
    virtual void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) { }

    virtual void setPrimaryColor(const QColor& color) { primary = color; }
    virtual void setSecondaryColor(const QColor& color) { secondary = color; }
    virtual void setSize(int value) { size = value; }

    // Return or Enter without a pending shape crops to the selection.
    virtual bool wantsCropOnEnter() const { return false; }

    QColor primary = Qt::black;
    QColor secondary = Qt::white;
    int size = 8;
};

} // namespace paint
