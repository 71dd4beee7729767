#include "WindowPlacement.h"

#include <algorithm>

QRect firstWindowGeometry(const QSize& preferred, const QRect& available, const QMargins& frame)
{
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize room = (available.size() - frameSize).expandedTo(QSize(1, 1));
    const QSize size = preferred.expandedTo(QSize(1, 1)).boundedTo(room);
    const QSize outer = size + frameSize;
    const QPoint offset(std::max(0, (available.width() - outer.width()) / 2),
                        std::max(0, (available.height() - outer.height()) / 2));
    return QRect(available.topLeft() + offset, size);
}
