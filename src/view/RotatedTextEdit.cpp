#include "RotatedTextEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <cmath>

namespace {

constexpr double kRotatedEpsilon = 0.1;
constexpr double kAngleChange = 0.01;

void makeTranslucent(QWidget* widget)
{
    widget->setAttribute(Qt::WA_TranslucentBackground);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    widget->setAutoFillBackground(false);
}

} // namespace

bool RotatedTextEdit::isUndoKey(const QKeyEvent* event)
{
    return event->matches(QKeySequence::Undo);
}

bool RotatedTextEdit::isRedoKey(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return event->matches(QKeySequence::Redo) || (event->key() == Qt::Key_Y && modifiers == Qt::ControlModifier);
}

RotatedTextEdit::RotatedTextEdit(QWidget* parent)
    : QTextEdit(parent)
{
    makeTranslucent(this);
    makeTranslucent(viewport());
    // The page view's block menu is the one menu over a block.
    setContextMenuPolicy(Qt::NoContextMenu);
}

bool RotatedTextEdit::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isUndoKey(key) || isRedoKey(key)) {
            event->accept();
            return true;
        }
    }
    return QTextEdit::event(event);
}

void RotatedTextEdit::keyPressEvent(QKeyEvent* event)
{
    if (isUndoKey(event)) {
        event->accept();
        emit undoRequested();
        return;
    }
    if (isRedoKey(event)) {
        event->accept();
        emit redoRequested();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

double RotatedTextEdit::normalizedAngle(double degrees)
{
    double angle = std::fmod(degrees, 360.0);
    if (angle <= -180.0)
        angle += 360.0;
    else if (angle > 180.0)
        angle -= 360.0;
    return angle;
}

void RotatedTextEdit::setRotationAngle(double degrees)
{
    const double angle = normalizedAngle(degrees);
    if (std::abs(angle - m_rotation) < kAngleChange)
        return;
    m_rotation = angle;
    viewport()->update();
}

void RotatedTextEdit::setPaintContentRect(const QRect& rect)
{
    m_paintContentRect = rect;
    // Wrapping follows the content box, not the enlarged widget around it.
    if (rect.isValid() && lineWrapMode() != NoWrap) {
        setLineWrapMode(FixedPixelWidth);
        setLineWrapColumnOrWidth(std::max(rect.width(), 1));
    } else if (!rect.isValid() && lineWrapMode() == FixedPixelWidth) {
        setLineWrapMode(WidgetWidth);
    }
    viewport()->update();
}

void RotatedTextEdit::setPaintingSuppressed(bool suppressed)
{
    if (suppressed == m_paintingSuppressed)
        return;
    m_paintingSuppressed = suppressed;
    viewport()->update();
}

bool RotatedTextEdit::isRotated() const
{
    return std::abs(m_rotation) > kRotatedEpsilon;
}

QRect RotatedTextEdit::effectiveContentRect() const
{
    return m_paintContentRect.isValid() ? m_paintContentRect : viewport()->rect();
}

QPointF RotatedTextEdit::mapFromRotatedViewport(const QPointF& point) const
{
    const QRectF c = effectiveContentRect();
    const QPointF centre = c.topLeft() + QPointF(c.width() / 2, c.height() / 2);
    QPointF p = point;
    if (isRotated()) {
        QTransform unrotate;
        unrotate.translate(centre.x(), centre.y());
        unrotate.rotate(-m_rotation);
        unrotate.translate(-centre.x(), -centre.y());
        p = unrotate.map(p);
    }
    return p - c.topLeft();
}

// The base handlers are called directly: a pointer to a virtual member would
// dispatch back here.
template <typename Handler>
void RotatedTextEdit::forwardMapped(QMouseEvent* event, Handler handler)
{
    if (!isRotated()) {
        handler(event);
        return;
    }
    QMouseEvent copy(event->type(), mapFromRotatedViewport(event->position()), event->scenePosition(),
                     event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                     event->pointingDevice());
    handler(&copy);
    event->setAccepted(copy.isAccepted());
    viewport()->update();
}

void RotatedTextEdit::mousePressEvent(QMouseEvent* event)
{
    forwardMapped(event, [this](QMouseEvent* e) { QTextEdit::mousePressEvent(e); });
}

void RotatedTextEdit::mouseReleaseEvent(QMouseEvent* event)
{
    forwardMapped(event, [this](QMouseEvent* e) { QTextEdit::mouseReleaseEvent(e); });
}

void RotatedTextEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    forwardMapped(event, [this](QMouseEvent* e) { QTextEdit::mouseDoubleClickEvent(e); });
}

void RotatedTextEdit::mouseMoveEvent(QMouseEvent* event)
{
    forwardMapped(event, [this](QMouseEvent* e) { QTextEdit::mouseMoveEvent(e); });
}

void RotatedTextEdit::paintEvent(QPaintEvent*)
{
    if (m_paintingSuppressed)
        return;
    const QRect c = effectiveContentRect();
    QPainter painter(viewport());
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setClipRect(c);
    if (isRotated()) {
        const QPointF centre = QRectF(c).center();
        painter.translate(centre);
        painter.rotate(m_rotation);
        painter.translate(-centre);
    }
    painter.translate(c.topLeft());
    const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-scroll);

    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.clip = QRectF(scroll, c.size());
    for (const ExtraSelection& extra : extraSelections())
        context.selections.append({extra.cursor, extra.format});
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = cursor;
        selection.format.setBackground(palette().brush(QPalette::Current, QPalette::Highlight));
        selection.format.setForeground(palette().brush(QPalette::Current, QPalette::HighlightedText));
        context.selections.append(selection);
    }
    context.cursorPosition = hasFocus() ? cursor.position() : -1;
    document()->documentLayout()->draw(&painter, context);

    if (document()->isEmpty() && !placeholderText().isEmpty()) {
        painter.setPen(palette().placeholderText().color());
        painter.drawText(QRect(scroll, c.size()), Qt::AlignLeft | Qt::AlignTop, placeholderText());
    }
}
