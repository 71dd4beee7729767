#include "PdfPageTransform.h"

#include <QPolygonF>

PdfPageTransform::PdfPageTransform(const QRectF& box, int quarterTurns)
    : m_box(box.normalized())
    , m_turns(((quarterTurns % 4) + 4) % 4)
{
}

// The page turns clockwise as displayed: with w0 and h0 the unrotated box size,
// a quarter turn sends (x, y) to (y, w0 - x), half a turn to (w0 - x, h0 - y),
// three quarters to (h0 - y, x).
QPointF PdfPageTransform::toPage(const QPointF& user) const
{
    const double x = user.x() - m_box.left();
    const double y = user.y() - m_box.top();  // QRectF top is the smaller y: the box bottom
    const double w0 = m_box.width();
    const double h0 = m_box.height();
    switch (m_turns) {
    case 1: return {y, w0 - x};
    case 2: return {w0 - x, h0 - y};
    case 3: return {h0 - y, x};
    default: return {x, y};
    }
}

QPointF PdfPageTransform::toUser(const QPointF& page) const
{
    const double w0 = m_box.width();
    const double h0 = m_box.height();
    double x = page.x();
    double y = page.y();
    switch (m_turns) {
    case 1: x = w0 - page.y(); y = page.x(); break;
    case 2: x = w0 - page.x(); y = h0 - page.y(); break;
    case 3: x = page.y(); y = h0 - page.x(); break;
    default: break;
    }
    return {x + m_box.left(), y + m_box.top()};
}

QRectF PdfPageTransform::toPage(const QRectF& user) const
{
    const QRectF r = user.normalized();
    const QPolygonF corners{toPage(r.topLeft()), toPage(r.bottomRight())};
    return corners.boundingRect().normalized();
}

QRectF PdfPageTransform::toUser(const QRectF& page) const
{
    const QRectF r = page.normalized();
    const QPolygonF corners{toUser(r.topLeft()), toUser(r.bottomRight())};
    return corners.boundingRect().normalized();
}

QTransform PdfPageTransform::toUserMatrix() const
{
    const double w0 = m_box.width();
    const double h0 = m_box.height();
    const double left = m_box.left();
    const double bottom = m_box.top();
    switch (m_turns) {
    case 1: return QTransform(0, 1, -1, 0, w0 + left, bottom);
    case 2: return QTransform(-1, 0, 0, -1, w0 + left, h0 + bottom);
    case 3: return QTransform(0, -1, 1, 0, left, h0 + bottom);
    default: return QTransform(1, 0, 0, 1, left, bottom);
    }
}

QSizeF PdfPageTransform::pageSize() const
{
    return (m_turns % 2) ? m_box.size().transposed() : m_box.size();
}

bool PdfPageTransform::isIdentity() const
{
    return m_turns == 0 && m_box.topLeft().isNull();
}
