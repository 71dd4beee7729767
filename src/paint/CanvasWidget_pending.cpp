// The pending shape: handles, hit test, dragging, drawing, commit and cancel.
#include "CanvasWidget.h"

#include "Document.h"
#include "Layer.h"

#include <QGuiApplication>
#include <QPainter>

#include <cmath>
#include <numbers>

namespace paint {

namespace {

constexpr double kRotationHandleDistance = 20; // image pixels above the top edge
constexpr double kHandleHitHalf = 7;           // a 14 x 14 square around a handle
constexpr double kHandleMarkSize = 9;
constexpr double kLineHitDistanceSquared = 100; // within 10 widget pixels
const QColor kHandleBlue(0, 120, 215);
const QColor kHandleGreen(0, 180, 0);

enum Handle {
    NoHandle = 0,
    TopLeft = 1,
    Top = 2,
    TopRight = 3,
    Left = 4,
    Right = 5,
    BottomLeft = 6,
    Bottom = 7,
    BottomRight = 8,
    Rotate = 9,
    MoveBox = 10,
    LineStart = 11,
    LineEnd = 12,
    MoveLine = 13,
};

QPointF rotateAround(const QPointF& point, const QPointF& centre, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    const double dx = point.x() - centre.x();
    const double dy = point.y() - centre.y();
    return QPointF(centre.x() + std::cos(a) * dx - std::sin(a) * dy,
                   centre.y() + std::sin(a) * dx + std::cos(a) * dy);
}

void turnAboutCentre(QPainter& painter, const QRectF& box, double degrees)
{
    const QPointF centre = box.center();
    painter.translate(centre);
    painter.rotate(degrees);
    painter.translate(-centre);
}

// The shape in image coordinates; the overlay draws it through a zoom transform.
void paintShape(QPainter& painter, const PendingShape& shape)
{
    switch (shape.kind) {
    case PendingShape::Line:
        painter.setPen(QPen(shape.color, shape.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(shape.line);
        break;
    case PendingShape::Text:
        turnAboutCentre(painter, shape.rect, shape.rotation);
        painter.setFont(shape.font);
        painter.setPen(shape.color);
        painter.drawText(shape.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shape.text);
        break;
    case PendingShape::Rectangle:
    case PendingShape::Ellipse:
        turnAboutCentre(painter, shape.rect, shape.rotation);
        painter.setPen(QPen(shape.color, shape.width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.setBrush(Qt::NoBrush);
        if (shape.kind == PendingShape::Rectangle)
            painter.drawRect(shape.rect);
        else
            painter.drawEllipse(shape.rect);
        break;
    default:
        break;
    }
}

QRectF handleSquare(const QPointF& point, double half)
{
    return QRectF(point - QPointF(half, half), QSizeF(2 * half, 2 * half));
}

// The box of a resize handle dragged to (lx, ly) in the box's unrotated frame.
QRectF resizedBox(int handle, const QRectF& start, double lx, double ly, bool keepAspect)
{
    const double x0 = start.x();
    const double y0 = start.y();
    const double w0 = start.width();
    const double h0 = start.height();
    double left = x0, top = y0, width = w0, height = h0;
    const bool moveLeft = handle == TopLeft || handle == Left || handle == BottomLeft;
    const bool moveRight = handle == TopRight || handle == Right || handle == BottomRight;
    const bool moveTop = handle == TopLeft || handle == Top || handle == TopRight;
    const bool moveBottom = handle == BottomLeft || handle == Bottom || handle == BottomRight;
    if (moveLeft) {
        left = lx;
        width = w0 - (lx - x0);
    } else if (moveRight) {
        width = lx - x0;
    }
    if (moveTop) {
        top = ly;
        height = h0 - (ly - y0);
    } else if (moveBottom) {
        height = ly - y0;
    }
    if (keepAspect && w0 > 0 && h0 > 0) {
        const QPointF c = start.center();
        if ((moveLeft || moveRight) && (moveTop || moveBottom)) {
            const double s = std::min(std::abs(width) / w0, std::abs(height) / h0);
            width = s * w0;
            height = s * h0;
            left = moveLeft ? x0 + w0 - width : x0;
            top = moveTop ? y0 + h0 - height : y0;
        } else if (moveTop || moveBottom) {
            width = height * w0 / h0;
            left = c.x() - width / 2;
        } else {
            height = width * h0 / w0;
            top = c.y() - height / 2;
        }
    }
    return QRectF(left, top, width, height).normalized();
}

} // namespace

void CanvasWidget::setPendingShape(const PendingShape& shape)
{
    m_pending = shape;
    m_pending.layer.reset();
    m_pending.documentSize = QSize();
    if (m_document && m_document->activeLayer()) {
        m_pending.layer = m_document->layers[m_document->activeIndex];
        m_pending.documentSize = m_document->size;
    }
    m_dragHandle = 0;
    update();
}

int CanvasWidget::pendingLayerIndex() const
{
    if (!m_document || m_pending.documentSize != m_document->size)
        return -1;
    const std::shared_ptr<Layer> layer = m_pending.layer.lock();
    if (!layer || layer->image.size() != m_document->size)
        return -1;
    return m_document->indexOf(layer.get());
}

void CanvasWidget::resetPending()
{
    m_pending = PendingShape();
    m_dragHandle = 0;
    restoreOverrideCursor();
}

void CanvasWidget::commitPendingShape()
{
    if (m_pending.kind == PendingShape::None)
        return;
    const int layerIndex = pendingLayerIndex();
    if (layerIndex < 0) {
        resetPending();
        update();
        return;
    }
    const QImage before = m_pending.snapshot;
    {
        QPainter painter(&m_document->layers[layerIndex]->image);
        painter.setRenderHint(QPainter::Antialiasing);
        paintShape(painter, m_pending);
    }
    const QString description =
        m_pending.kind == PendingShape::Text ? QStringLiteral("Текст") : QStringLiteral("Примитив");
    resetPending();
    recordLayerChange(layerIndex, before, description);
    update();
}

void CanvasWidget::cancelPendingShape()
{
    if (m_pending.kind == PendingShape::None)
        return;
    const int layerIndex = pendingLayerIndex();
    if (layerIndex >= 0 && m_pending.snapshot.size() == m_document->size)
        m_document->layers[layerIndex]->image = m_pending.snapshot;
    resetPending();
    update();
}

void CanvasWidget::setPendingTextFontFamily(const QString& family)
{
    if (m_pending.kind != PendingShape::Text)
        return;
    m_pending.font.setFamily(family);
    update();
}

void CanvasWidget::setPendingTextBold(bool bold)
{
    if (m_pending.kind != PendingShape::Text)
        return;
    m_pending.font.setWeight(bold ? QFont::Bold : QFont::Normal);
    update();
}

void CanvasWidget::setPendingTextItalic(bool italic)
{
    if (m_pending.kind != PendingShape::Text)
        return;
    m_pending.font.setStyle(italic ? QFont::StyleItalic : QFont::StyleNormal);
    update();
}

QList<QPointF> CanvasWidget::pendingHandleWidgetPoints() const
{
    QList<QPointF> points;
    if (m_pending.kind == PendingShape::None)
        return points;
    const QRect picture = imageRectOnWidget();
    const auto toWidget = [&](const QPointF& p) {
        return QPointF(picture.left() + m_zoom * p.x(), picture.top() + m_zoom * p.y());
    };
    if (m_pending.kind == PendingShape::Line) {
        points << toWidget(m_pending.line.p1()) << toWidget(m_pending.line.p2());
        return points;
    }
    const QRectF& r = m_pending.rect;
    const QPointF c = r.center();
    const QPointF boxPoints[] = {
        r.topLeft(), QPointF(c.x(), r.top()), r.topRight(),
        QPointF(r.left(), c.y()), QPointF(r.right(), c.y()),
        r.bottomLeft(), QPointF(c.x(), r.bottom()), r.bottomRight(),
        QPointF(c.x(), r.top() - kRotationHandleDistance)};
    for (const QPointF& p : boxPoints)
        points << toWidget(rotateAround(p, c, m_pending.rotation));
    return points;
}

int CanvasWidget::pendingHitTest(const QPoint& widgetPos) const
{
    if (m_pending.kind == PendingShape::None)
        return NoHandle;
    const QList<QPointF> points = pendingHandleWidgetPoints();
    const int firstId = m_pending.kind == PendingShape::Line ? LineStart : TopLeft;
    for (int i = 0; i < points.size(); ++i) {
        if (handleSquare(points[i], kHandleHitHalf).contains(QPointF(widgetPos)))
            return firstId + i;
    }
    if (m_pending.kind == PendingShape::Line) {
        const QPointF a = points[0];
        const QPointF ab = points[1] - a;
        const double lengthSquared = QPointF::dotProduct(ab, ab);
        if (lengthSquared <= 0)
            return NoHandle;
        const double t = std::clamp(QPointF::dotProduct(QPointF(widgetPos) - a, ab) / lengthSquared, 0.0, 1.0);
        const QPointF away = QPointF(widgetPos) - (a + t * ab);
        return QPointF::dotProduct(away, away) < kLineHitDistanceSquared ? MoveLine : NoHandle;
    }
    const QPointF local = rotateAround(widgetToImageF(QPointF(widgetPos)), m_pending.rect.center(), -m_pending.rotation);
    return m_pending.rect.contains(local) ? MoveBox : NoHandle;
}

void CanvasWidget::updatePendingDrag(const QPoint& widgetPos)
{
    const QPointF cur = widgetToImageF(QPointF(widgetPos));
    const QPointF start = widgetToImageF(QPointF(m_pressPos));
    const QPointF d = cur - start;
    if (m_pending.kind == PendingShape::Line) {
        if (m_dragHandle == LineStart || m_dragHandle == MoveLine)
            m_pending.line.setP1(m_dragStartLine.p1() + d);
        if (m_dragHandle == LineEnd || m_dragHandle == MoveLine)
            m_pending.line.setP2(m_dragStartLine.p2() + d);
        return;
    }
    const QPointF c = m_dragStartRect.center();
    if (m_dragHandle == Rotate) {
        const double turn = std::atan2(cur.y() - c.y(), cur.x() - c.x()) - std::atan2(start.y() - c.y(), start.x() - c.x());
        m_pending.rotation = m_dragStartRotation + turn * 180.0 / std::numbers::pi;
    } else if (m_dragHandle == MoveBox) {
        m_pending.rect = m_dragStartRect.translated(d);
    } else if (m_dragHandle >= TopLeft && m_dragHandle <= BottomRight) {
        const QPointF local = rotateAround(cur, c, -m_dragStartRotation);
        const bool keepAspect = QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier);
        m_pending.rect = resizedBox(m_dragHandle, m_dragStartRect, local.x(), local.y(), keepAspect);
    }
}

void CanvasWidget::drawPendingOverlay(QPainter& painter) const
{
    if (m_pending.kind == PendingShape::None)
        return;
    const QRect picture = imageRectOnWidget();
    painter.save();
    painter.translate(picture.topLeft());
    painter.scale(m_zoom, m_zoom);
    painter.setRenderHint(QPainter::Antialiasing);
    paintShape(painter, m_pending);
    painter.restore();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QList<QPointF> points = pendingHandleWidgetPoints();
    const QPen dashed(kHandleBlue, 1, Qt::DashLine);
    const QPen white(Qt::white, 1);
    const auto drawSquare = [&](const QPointF& p) {
        painter.drawRect(handleSquare(p, kHandleMarkSize / 2));
    };
    if (m_pending.kind == PendingShape::Line) {
        painter.setPen(dashed);
        painter.drawLine(points[0], points[1]);
        painter.setPen(white);
        painter.setBrush(kHandleBlue);
        drawSquare(points[0]);
        drawSquare(points[1]);
    } else {
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        const QPointF outline[] = {points[TopLeft - 1], points[TopRight - 1], points[BottomRight - 1],
                                   points[BottomLeft - 1], points[TopLeft - 1]};
        painter.drawPolyline(outline, 5);
        painter.setPen(QPen(kHandleGreen, 1));
        painter.drawLine(points[Top - 1], points[Rotate - 1]);
        painter.setPen(white);
        painter.setBrush(kHandleBlue);
        for (int i = TopLeft; i <= BottomRight; ++i)
            drawSquare(points[i - 1]);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(kHandleGreen);
        painter.drawEllipse(handleSquare(points[Rotate - 1], kHandleMarkSize / 2));
    }
    painter.restore();
}

void CanvasWidget::setHoverCursor(Qt::CursorShape shape)
{
    if (m_overrideCursorActive) {
        QGuiApplication::changeOverrideCursor(QCursor(shape));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(shape));
        m_overrideCursorActive = true;
    }
}

void CanvasWidget::restoreOverrideCursor()
{
    if (!m_overrideCursorActive)
        return;
    QGuiApplication::restoreOverrideCursor();
    m_overrideCursorActive = false;
}

} // namespace paint
