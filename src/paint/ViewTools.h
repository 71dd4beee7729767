#pragma once

#include "Tool.h"

namespace paint {

// Zooms in around the click, out with the right button.
class ZoomTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Масштаб"); }
    QCursor cursor() const override { return QCursor(Qt::SizeAllCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
};

// Pans the view.
class HandTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Рука"); }
    QCursor cursor() const override { return QCursor(Qt::OpenHandCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseMove(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    void mouseRelease(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;

private:
    bool active = false;
    QPoint lastPoint; // widget coordinates
};

// Picks the composed picture's colour, opaque: primary, or secondary with the right button.
class EyedropperTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Пипетка"); }
    QCursor cursor() const override { return QCursor(Qt::CrossCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
};

// Asks for a text and places it as a pending shape.
class TextTool : public Tool {
public:
    QString name() const override { return QStringLiteral("Текст"); }
    QCursor cursor() const override { return QCursor(Qt::IBeamCursor); }
    void mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos) override;
    QFont textFont() const;

    QString fontFamily;
    bool bold = false;
    bool italic = false;
};

} // namespace paint
