#include "ViewTools.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "PendingShape.h"

#include <QFontMetrics>
#include <QInputDialog>
#include <QMouseEvent>

#include <algorithm>

namespace paint {

void ZoomTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint&)
{
    constexpr double kStep = 1.5;
    const bool out = event && event->button() == Qt::RightButton;
    canvas->applyZoomAt(out ? 1.0 / kStep : kStep, event ? event->position().toPoint() : QPoint());
}

void HandTool::mousePress(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint&)
{
    active = true;
    lastPoint = event ? event->position().toPoint() : QPoint();
    canvas->setCursor(Qt::ClosedHandCursor);
}

void HandTool::mouseMove(CanvasWidget* canvas, Document*, QMouseEvent* event, const QPoint&)
{
    if (!active || !event)
        return;
    const QPoint p = event->position().toPoint();
    canvas->adjustOffset(QPointF(p - lastPoint));
    lastPoint = p;
}

void HandTool::mouseRelease(CanvasWidget* canvas, Document*, QMouseEvent*, const QPoint&)
{
    active = false;
    canvas->setCursor(Qt::OpenHandCursor);
}

void EyedropperTool::mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent* event, const QPoint& imagePos)
{
    if (!doc || !QRect(QPoint(), doc->size).contains(imagePos))
        return;
    const QImage merged = doc->mergedImage();
    if (!merged.rect().contains(imagePos))
        return;
    // Built from the stored value, alpha dropped: opaque, premultiplied channels.
    const QColor colour(merged.pixel(imagePos) | 0xff000000u);
    if (event && event->button() == Qt::RightButton)
        canvas->setSecondaryColor(colour);
    else
        canvas->reportColorPicked(colour);
}

QFont TextTool::textFont() const
{
    QFont font;
    if (!fontFamily.isEmpty())
        font.setFamily(fontFamily);
    font.setPixelSize(std::max(2 * size, 8));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    return font;
}

void TextTool::mousePress(CanvasWidget* canvas, Document* doc, QMouseEvent*, const QPoint& imagePos)
{
    const Layer* layer = doc ? doc->activeLayer() : nullptr;
    if (!layer)
        return;
    const QString text = QInputDialog::getText(canvas, QStringLiteral("Добавить текст"), QStringLiteral("Текст:"));
    // The dialog ran an event loop: the picture may have changed under it.
    if (text.isEmpty() || doc->activeLayer() != layer)
        return;
    const QFont font = textFont();
    const QRect measured = QFontMetrics(font).boundingRect(QRect(0, 0, 4096, 4096), Qt::AlignLeft | Qt::AlignTop, text);
    PendingShape shape;
    shape.kind = PendingShape::Text;
    shape.rect = QRectF(QPointF(imagePos), QSizeF(std::max(measured.width() + 4, 10), std::max(measured.height() + 4, 10)));
    shape.text = text;
    shape.font = font;
    shape.color = primary;
    shape.width = 1;
    shape.snapshot = layer->image;
    canvas->setPendingShape(shape);
}

} // namespace paint
