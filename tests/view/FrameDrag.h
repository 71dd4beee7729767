#pragma once
// Drags on the block editor frame for the tests. The frame moves under the
// pointer while it is dragged, so the points are fixed on the screen and each
// event is sent straight to the frame.

#include "BlockEditorFrame.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTransform>

namespace framedrag {

inline QPoint centreOf(const QRect& r)
{
    return r.topLeft() + QPoint(r.width() / 2, r.height() / 2);
}

inline void sendMouse(QWidget* target, QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons,
                      Qt::KeyboardModifiers modifiers = {})
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

// One drag from a point of the frame by delta, in steps.
inline void dragFrame(BlockEditorFrame* frame, const QPoint& fromLocal, const QPoint& delta, int steps = 2,
                      Qt::KeyboardModifiers modifiers = {})
{
    const QPoint start = frame->mapToGlobal(fromLocal);
    sendMouse(frame, QEvent::MouseButtonPress, start, Qt::LeftButton, modifiers);
    for (int i = 1; i <= steps; ++i)
        sendMouse(frame, QEvent::MouseMove, start + delta * i / steps, Qt::LeftButton, modifiers);
    sendMouse(frame, QEvent::MouseButtonRelease, start + delta, Qt::NoButton, modifiers);
}

// A point of the band just outside the frame's text, along its longer side
// (away from the corner handles), in the frame's own turn.
inline QPoint bandOutsideText(const BlockEditorFrame* frame)
{
    const QRect content = frame->contentRect();
    const QPointF outside = content.width() >= content.height()
                                ? QPointF(content.left() + content.width() / 4.0, content.top() - 2)
                                : QPointF(content.left() - 2, content.top() + content.height() / 4.0);
    return QTransform()
        .translate(content.center().x(), content.center().y())
        .rotate(frame->visualRotationAngle())
        .translate(-content.center().x(), -content.center().y())
        .map(outside)
        .toPoint();
}

} // namespace framedrag
