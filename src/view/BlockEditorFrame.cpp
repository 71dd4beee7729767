#include "BlockEditorFrame.h"

#include "BlockTextDocument.h"
#include "RotatedTextEdit.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <array>
#include <cmath>

namespace {

constexpr double kRotatedEpsilon = 0.1;
constexpr int kHandleReach = 4;      // a handle spans 4 px out and 3 px in
constexpr int kHandleGrace = 2;      // handles are hit 2 px beyond their square
constexpr int kContentGrace = 4;     // the content is hit 4 px beyond its edges
constexpr int kKnobSize = 12;
constexpr int kKnobRise = 24;        // knob's top above the content's top
constexpr int kKnobStem = 13;        // stem from the top edge to the knob
constexpr int kRotatedSideMargin = 8;
constexpr int kRotatedTopMargin = 34;
constexpr int kRotatedBoxGrow = 3;
constexpr double kMinRatio = 0.05;
constexpr int kClickTravel = 2;      // a text press that moves no farther is a click
constexpr int kChromeSlack = 1;      // a press on the chrome that moves no farther is a click, not a drag

// Test and paint order: top-left, top, top-right, left, right, bottom-left, bottom, bottom-right.
constexpr std::array<BlockEditorFrame::Hit, 8> kHandles = {
    BlockEditorFrame::TopLeft,  BlockEditorFrame::TopEdge,    BlockEditorFrame::TopRight,
    BlockEditorFrame::LeftEdge, BlockEditorFrame::RightEdge,  BlockEditorFrame::BottomLeft,
    BlockEditorFrame::BottomEdge, BlockEditorFrame::BottomRight,
};

bool movesLeft(BlockEditorFrame::Hit h)
{
    return h == BlockEditorFrame::LeftEdge || h == BlockEditorFrame::TopLeft || h == BlockEditorFrame::BottomLeft;
}

bool movesRight(BlockEditorFrame::Hit h)
{
    return h == BlockEditorFrame::RightEdge || h == BlockEditorFrame::TopRight || h == BlockEditorFrame::BottomRight;
}

bool movesTop(BlockEditorFrame::Hit h)
{
    return h == BlockEditorFrame::TopEdge || h == BlockEditorFrame::TopRight || h == BlockEditorFrame::TopLeft;
}

bool movesBottom(BlockEditorFrame::Hit h)
{
    return h == BlockEditorFrame::BottomEdge || h == BlockEditorFrame::BottomRight || h == BlockEditorFrame::BottomLeft;
}

bool isCorner(BlockEditorFrame::Hit h)
{
    return h >= BlockEditorFrame::TopRight && h <= BlockEditorFrame::BottomLeft;
}

Qt::CursorShape cursorFor(BlockEditorFrame::Hit h)
{
    switch (h) {
    case BlockEditorFrame::Inside:
        return Qt::SizeAllCursor;
    case BlockEditorFrame::RotateKnob:
        return Qt::CrossCursor;
    case BlockEditorFrame::TopEdge:
    case BlockEditorFrame::BottomEdge:
        return Qt::SizeVerCursor;
    case BlockEditorFrame::RightEdge:
    case BlockEditorFrame::LeftEdge:
        return Qt::SizeHorCursor;
    case BlockEditorFrame::TopRight:
    case BlockEditorFrame::BottomLeft:
        return Qt::SizeBDiagCursor;
    case BlockEditorFrame::TopLeft:
    case BlockEditorFrame::BottomRight:
        return Qt::SizeFDiagCursor;
    default:
        return Qt::ArrowCursor;
    }
}

// The span of `length` pixels from `fixed` towards `direction`, inclusive.
std::pair<int, int> spanFrom(int fixed, int direction, int length)
{
    return direction < 0 ? std::pair{fixed - length + 1, fixed} : std::pair{fixed, fixed + length - 1};
}

} // namespace

QPointF rotatePoint(const QPointF& p, const QPointF& centre, double degrees)
{
    if (std::abs(degrees) < kRotatedEpsilon)
        return p;
    QTransform turn;
    turn.translate(centre.x(), centre.y());
    turn.rotate(degrees);
    turn.translate(-centre.x(), -centre.y());
    return turn.map(p);
}

BlockEditorChromeOverlay::BlockEditorChromeOverlay(BlockEditorFrame* frame, QWidget* parent)
    : QWidget(parent)
    , m_frame(frame)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
}

void BlockEditorChromeOverlay::paintEvent(QPaintEvent*)
{
    if (!m_frame)
        return;
    QPainter painter(this);
    m_frame->paintChrome(painter);
}

BlockEditorFrame::BlockEditorFrame(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
    setMouseTracking(true);

    m_editor = new RotatedTextEdit(this);
    m_editor->setObjectName(QStringLiteral("BlockTextEditor"));
    m_editor->viewport()->setObjectName(QStringLiteral("BlockTextEditorViewport"));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setLineWrapMode(QTextEdit::WidgetWidth);
    m_editor->setMouseTracking(true);
    m_editor->viewport()->setMouseTracking(true);
    m_editor->document()->setDocumentMargin(0);
    setEditorRotatedPresentation(m_editor);
    m_editor->installEventFilter(this);
    m_editor->viewport()->installEventFilter(this);

    m_overlay = new BlockEditorChromeOverlay(this, parent ? parent : this);
    m_overlay->hide();
}

BlockEditorFrame::~BlockEditorFrame()
{
    delete m_overlay.data();
}

void BlockEditorFrame::setPlaceholderText(const QString& text)
{
    m_editor->setPlaceholderText(text);
}

QRect BlockEditorFrame::contentRect() const
{
    if (m_contentOverride.isValid())
        return m_contentOverride;
    QRect r = rect().adjusted(kSideMargin, kTopMargin, -kSideMargin, -kSideMargin);
    r.setWidth(std::max(r.width(), 1));
    r.setHeight(std::max(r.height(), 1));
    return r;
}

QRect BlockEditorFrame::contentScreenRect() const
{
    return contentRect().translated(pos());
}

void BlockEditorFrame::setContentScreenRect(const QRect& r)
{
    const QRect outer = outerRectForContentRect(r);
    setGeometry(outer);
    m_contentOverride = r.translated(-outer.topLeft());
    layoutEditor();
    syncOverlay();
    update();
}

QRect BlockEditorFrame::outerRectForContentRect(const QRect& r) const
{
    if (std::abs(m_rotation) < kRotatedEpsilon)
        return r.adjusted(-kSideMargin, -kTopMargin, kSideMargin, kSideMargin);
    const QRectF grown = QRectF(r).adjusted(-kRotatedSideMargin, -kRotatedTopMargin, kRotatedSideMargin,
                                            kRotatedSideMargin);
    const QPointF centre = QRectF(r).center();
    QPolygonF corners;
    for (const QPointF& corner : {grown.topLeft(), grown.topRight(), grown.bottomRight(), grown.bottomLeft()})
        corners << rotatePoint(corner, centre, m_rotation);
    return corners.boundingRect()
        .adjusted(-kRotatedBoxGrow, -kRotatedBoxGrow, kRotatedBoxGrow, kRotatedBoxGrow)
        .toAlignedRect();
}

void BlockEditorFrame::setContentRectOverride(const QRect& rect)
{
    m_contentOverride = rect;
    layoutEditor();
    syncOverlay();
    update();
}

void BlockEditorFrame::setRotationAngle(double degrees)
{
    m_rotation = RotatedTextEdit::normalizedAngle(degrees);
    layoutEditor();
    syncOverlay();
    update();
}

void BlockEditorFrame::setImageMode(bool on)
{
    m_imageMode = on;
    m_editor->setVisible(!on);
    m_editor->setAttribute(Qt::WA_TransparentForMouseEvents, on);
    layoutEditor();
    syncOverlay();
    update();
}

void BlockEditorFrame::setTextPaintingSuppressed(bool suppressed)
{
    if (suppressed == m_textPaintingSuppressed)
        return;
    m_textPaintingSuppressed = suppressed;
    layoutEditor();
    syncOverlay();
    update();
}

void BlockEditorFrame::setTextBaseRotation(int degrees)
{
    m_textBaseRotation = ((degrees % 360) + 360) % 360;
    layoutEditor();
    update();
}

void BlockEditorFrame::layoutEditor()
{
    const QRect r = contentRect();
    if (!r.isValid())
        return;
    const double textAngle = m_imageMode ? 0.0 : RotatedTextEdit::normalizedAngle(m_rotation + m_textBaseRotation);
    if (m_imageMode || std::abs(textAngle) <= kRotatedEpsilon) {
        m_editor->setGeometry(r);
        m_editor->setPaintContentRect(QRect());
        m_editor->setPaintingSuppressed(m_textPaintingSuppressed);
    } else {
        // The text is laid out along the block's own lines: on a page turned a
        // quarter, the box on screen is the block's box transposed.
        QRect content = r;
        if ((m_textBaseRotation / 90) % 2 == 1) {
            content = QRect(0, 0, r.height(), r.width());
            content.moveCenter(r.center());
        }
        m_editor->setGeometry(rect());
        m_editor->setPaintContentRect(content);
        m_editor->setPaintingSuppressed(true);
    }
    m_editor->setRotationAngle(textAngle);
    m_editor->raise();
    syncOverlay();
}

void BlockEditorFrame::syncOverlay()
{
    if (!m_overlay || !m_overlay->parentWidget())
        return;
    m_overlay->setGeometry(m_overlay->parentWidget() == this ? rect() : geometry());
    m_overlay->setVisible(isVisible());
    m_overlay->raise();
    m_overlay->update();
}

void BlockEditorFrame::raiseChromeOverlay()
{
    syncOverlay();
}

QRect BlockEditorFrame::handleRect(Hit hit) const
{
    const QRect c = contentRect();
    const int x1 = c.left();
    const int x2 = c.right();
    const int y1 = c.top();
    const int y2 = c.bottom();
    const int mx = (x1 + x2) / 2;
    const int my = (y1 + y2) / 2;
    const int side = 2 * kHandleReach;
    int left = mx - kHandleReach;
    if (movesLeft(hit))
        left = x1 - kHandleReach;
    else if (movesRight(hit))
        left = x2 - kHandleReach + 1;
    int top = my - kHandleReach;
    if (movesTop(hit))
        top = y1 - kHandleReach;
    else if (movesBottom(hit))
        top = y2 - kHandleReach + 1;
    return QRect(left, top, side, side);
}

QRect BlockEditorFrame::rotationHandleRect() const
{
    const QRect c = contentRect();
    const int mx = (c.left() + c.right()) / 2;
    return QRect(mx - kKnobSize / 2, c.top() - kKnobRise, kKnobSize, kKnobSize);
}

// A point of the frame as it lies in the unturned content's coordinates: the
// chrome is drawn turned by the rotation, so it is hit through the same turn.
QPoint BlockEditorFrame::unturned(const QPoint& local) const
{
    if (std::abs(m_rotation) < kRotatedEpsilon)
        return local;
    return rotatePoint(QPointF(local), QRectF(contentRect()).center(), -m_rotation).toPoint();
}

BlockEditorFrame::Hit BlockEditorFrame::hitTest(const QPoint& local) const
{
    const QRect c = contentRect();
    const QPoint p = unturned(local);
    const int mx = (c.left() + c.right()) / 2;
    constexpr int kKnobHalfReach = 9;
    constexpr int kKnobTop = 27;
    constexpr int kKnobBottom = 10;
    if (QRect(QPoint(mx - kKnobHalfReach, c.top() - kKnobTop), QPoint(mx + kKnobHalfReach - 1, c.top() - kKnobBottom))
            .contains(p))
        return RotateKnob;
    for (Hit handle : kHandles) {
        if (handleRect(handle).adjusted(-kHandleGrace, -kHandleGrace, kHandleGrace, kHandleGrace).contains(p))
            return handle;
    }
    if (c.adjusted(-kContentGrace, -kContentGrace, kContentGrace, kContentGrace).contains(p))
        return Inside;
    return Outside;
}

void BlockEditorFrame::updateCursorForHit(Hit hit)
{
    setCursor(cursorFor(hit));
    if (hit == Outside || hit == Inside) {
        m_editor->unsetCursor();
        m_editor->viewport()->unsetCursor();
    } else {
        m_editor->setCursor(cursorFor(hit));
        m_editor->viewport()->setCursor(cursorFor(hit));
    }
}

double BlockEditorFrame::pointerAngleDegrees(const QPoint& global) const
{
    const QPoint c = mapToGlobal(contentRect().center());
    return std::atan2(double(global.y() - c.y()), double(global.x() - c.x())) * 180.0 / M_PI;
}

bool BlockEditorFrame::beginInteraction(const QPoint& local, const QPoint& global, bool allowMove)
{
    const Hit hit = hitTest(local);
    if (hit == Outside || (hit == Inside && !allowMove))
        return false;
    m_interaction = hit;
    m_dragStarted = false;
    m_pressGlobal = global;
    m_startRect = contentScreenRect();
    m_startRotation = m_rotation;
    m_startPointerAngle = pointerAngleDegrees(global);
    updateCursorForHit(hit);
    raise();
    syncOverlay();
    emit interactionStarted();
    return true;
}

QRect BlockEditorFrame::resizedRect(int dx, int dy, Qt::KeyboardModifiers modifiers) const
{
    // The handles sit on the turned outline: a drag counts along the block's axes.
    const QPointF along = rotatePoint(QPointF(dx, dy), QPointF(0, 0), -m_rotation);
    const int ax = int(std::lround(along.x()));
    const int ay = int(std::lround(along.y()));
    const Hit hit = m_interaction;
    QRect r = m_startRect;
    // A block already smaller than the minimum (one line of text) is not blown up.
    const int minW = std::min(kMinContentWidth, r.width());
    const int minH = std::min(kMinContentHeight, r.height());
    if (isCorner(hit) && (modifiers & Qt::ShiftModifier)) {
        const double ratio = std::max(double(r.width()) / std::max(r.height(), 1), kMinRatio);
        const QPoint moving(movesLeft(hit) ? r.left() : r.right(), movesTop(hit) ? r.top() : r.bottom());
        const QPoint fixed(movesLeft(hit) ? r.right() : r.left(), movesTop(hit) ? r.bottom() : r.top());
        const QPoint pointer = moving + QPoint(ax, ay);
        // Inclusive corners: the pixels from one corner to the other.
        int w = std::max(std::abs(pointer.x() - fixed.x()) + 1, minW);
        int h = std::max(std::abs(pointer.y() - fixed.y()) + 1, minH);
        if (double(w) / h > ratio)
            h = std::max(int(std::lround(w / ratio)), minH);
        else
            w = std::max(int(std::lround(h * ratio)), minW);
        const int dirX = pointer.x() == fixed.x() ? (movesLeft(hit) ? -1 : 1) : (pointer.x() < fixed.x() ? -1 : 1);
        const int dirY = pointer.y() == fixed.y() ? (movesTop(hit) ? -1 : 1) : (pointer.y() < fixed.y() ? -1 : 1);
        const auto [left, right] = spanFrom(fixed.x(), dirX, w);
        const auto [top, bottom] = spanFrom(fixed.y(), dirY, h);
        return QRect(QPoint(left, top), QPoint(right, bottom)).normalized();
    }
    if (movesLeft(hit))
        r.setLeft(r.left() + ax);
    if (movesRight(hit))
        r.setRight(r.right() + ax);
    if (movesTop(hit))
        r.setTop(r.top() + ay);
    if (movesBottom(hit))
        r.setBottom(r.bottom() + ay);
    // The dragged edge stops at the minimum size; the opposite one stays.
    if (r.width() < minW) {
        if (movesLeft(hit))
            r.setLeft(r.right() - minW + 1);
        else
            r.setRight(r.left() + minW - 1);
    }
    if (r.height() < minH) {
        if (movesTop(hit))
            r.setTop(r.bottom() - minH + 1);
        else
            r.setBottom(r.top() + minH - 1);
    }
    return r;
}

void BlockEditorFrame::updateInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers)
{
    if (!isInteracting())
        return;
    const QPoint d = global - m_pressGlobal;
    // Handles lie over the neighbouring lines' text: a press there is only
    // theirs once it starts a drag.
    if (!m_dragStarted && std::abs(d.x()) <= kChromeSlack && std::abs(d.y()) <= kChromeSlack)
        return;
    m_dragStarted = true;
    if (m_interaction == RotateKnob) {
        setRotationAngle(pointerAngleDegrees(global) - m_startPointerAngle + m_startRotation);
        setContentScreenRect(m_startRect);
        emit rotationChanged(m_rotation);
        return;
    }
    const QRect r = m_interaction == Inside ? m_startRect.translated(d) : resizedRect(d.x(), d.y(), modifiers);
    setContentScreenRect(r);
    emit rectChanged(r);
}

void BlockEditorFrame::endInteraction(const QPoint& local)
{
    const bool running = isInteracting();
    m_movedWithoutTravel = running && !m_dragStarted;
    m_endedHit = m_interaction;
    m_interactionEnd = mapToParent(local);
    m_interaction = Outside;
    updateCursorForHit(hitTest(local));
    if (running)
        emit interactionFinished();
}

bool BlockEditorFrame::externalHandleAt(const QPoint& parentPos) const
{
    return hitTest(mapFromParent(parentPos)) > Inside;
}

bool BlockEditorFrame::beginExternalInteraction(const QPoint& parentPos, const QPoint& global)
{
    return beginInteraction(mapFromParent(parentPos), global, false);
}

void BlockEditorFrame::updateExternalInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers)
{
    updateInteraction(global, modifiers);
}

void BlockEditorFrame::endExternalInteraction(const QPoint& parentPos)
{
    endInteraction(mapFromParent(parentPos));
}

// Control+click adds the block under the pointer to the selection, which the
// view beneath decides: the click goes to the frame's parent as it is.
bool BlockEditorFrame::passClickToParent(QMouseEvent* event)
{
    const bool click = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease;
    if (!click || !(event->modifiers() & Qt::ControlModifier) || !parentWidget() || isInteracting())
        return false;
    const QPointF global = event->globalPosition();
    QMouseEvent passed(event->type(), parentWidget()->mapFromGlobal(global), global, event->button(), event->buttons(),
                       event->modifiers());
    QApplication::sendEvent(parentWidget(), &passed);
    return true;
}

bool BlockEditorFrame::filterEditorMouse(QWidget* source, QMouseEvent* event)
{
    if (passClickToParent(event))
        return true;
    const QPoint local = source->mapTo(this, event->position().toPoint());
    const QPoint global = event->globalPosition().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        if (event->button() != Qt::LeftButton)
            return false;
        const Hit hit = hitTest(local);
        // The band around the text moves the box; a turned editor covers it.
        const bool onBand = hit == Inside && !contentRect().contains(unturned(local));
        if (hit <= Inside && !onBand) {
            m_textPress = event->globalPosition().toPoint();
            return false;
        }
        beginInteraction(local, global, onBand);
        return true;
    }
    case QEvent::MouseMove: {
        if (isInteracting()) {
            updateInteraction(global, event->modifiers());
            return true;
        }
        const Hit hit = hitTest(local);
        if (hit > Inside) {
            updateCursorForHit(hit);
            return true;
        }
        updateCursorForHit(Outside);
        return false;
    }
    case QEvent::MouseButtonRelease: {
        if (isInteracting()) {
            endInteraction(local);
            return true;
        }
        // A plain click in the text (not a drag, not Shift): whoever draws the
        // text places the caret where the click landed on the drawing.
        const QPoint travel = global - m_textPress;
        if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier)
            && std::abs(travel.x()) <= kClickTravel && std::abs(travel.y()) <= kClickTravel)
            QMetaObject::invokeMethod(this, [this, at = mapToParent(local)] { emit textClicked(at); },
                                      Qt::QueuedConnection);
        return false;
    }
    default:
        return false;
    }
}

bool BlockEditorFrame::eventFilter(QObject* watched, QEvent* event)
{
    const bool fromEditor = watched == m_editor || watched == m_editor->viewport();
    if (!fromEditor)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        syncOverlay();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        syncOverlay();
        return filterEditorMouse(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        const QPoint local = static_cast<QWidget*>(watched)->mapTo(this, mouse->position().toPoint());
        if (doubleClickText(local, mouse->globalPosition().toPoint()))
            return true;
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// A double click goes to the text drawn under the pointer, a handle's or the
// band's place included: the view picks the line and the word there. A press
// still held on the chrome (no release came between) is let go unapplied.
bool BlockEditorFrame::doubleClickText(const QPoint& local, const QPoint& global)
{
    if (isInteracting()) {
        if (m_dragStarted)
            return false;
        m_interaction = Outside;
        m_movedWithoutTravel = false;
        m_interactionEnd = mapToParent(local);
        updateCursorForHit(hitTest(local));
        emit interactionFinished();
    }
    m_textPress = global;
    emit textDoubleClicked(mapToParent(local));
    return true;
}

void BlockEditorFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint local = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ControlModifier) && hitTest(local) != Outside
        && doubleClickText(local, event->globalPosition().toPoint())) {
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void BlockEditorFrame::mousePressEvent(QMouseEvent* event)
{
    if (passClickToParent(event))
        return;
    if (event->button() == Qt::LeftButton
        && beginInteraction(event->position().toPoint(), event->globalPosition().toPoint(), true)) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void BlockEditorFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (isInteracting()) {
        updateInteraction(event->globalPosition().toPoint(), event->modifiers());
        event->accept();
        return;
    }
    updateCursorForHit(hitTest(event->position().toPoint()));
}

void BlockEditorFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (passClickToParent(event))
        return;
    if (!isInteracting()) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    endInteraction(event->position().toPoint());
    event->accept();
}

void BlockEditorFrame::paintChrome(QPainter& painter) const
{
    const QRect c = contentRect();
    const int mx = (c.left() + c.right()) / 2;
    const QColor accent(QStringLiteral("#1E72E4"));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (std::abs(m_rotation) > kRotatedEpsilon) {
        const QPointF centre = QRectF(c).center();
        painter.translate(centre);
        painter.rotate(m_rotation);
        painter.translate(-centre);
    }
    const auto drawHandles = [&](const QColor& pen, const QColor& fill) {
        painter.setPen(QPen(pen, 1));
        painter.setBrush(fill);
        for (Hit handle : kHandles)
            painter.drawRect(handleRect(handle).adjusted(0, 0, -1, -1));
    };
    if (m_imageMode) {
        const QColor red(QStringLiteral("#C83232"));
        drawHandles(red, QColor(QStringLiteral("#FFDCDC")));
        painter.drawLine(QPoint(mx, c.top()), QPoint(mx, c.top() - kKnobStem));
        painter.setBrush(QColor(QStringLiteral("#FFF5F5")));
        painter.drawEllipse(rotationHandleRect().adjusted(0, 0, -1, -1));
        painter.restore();
        return;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(accent, 1, Qt::DashLine));
    painter.drawRect(QRect(c.left(), c.top(), c.width() - 1, c.height() - 1));
    drawHandles(accent, Qt::white);
    QColor stem = accent;
    stem.setAlpha(120);
    painter.setPen(QPen(stem, 1));
    painter.drawLine(QPoint(mx, c.top()), QPoint(mx, c.top() - kKnobStem));
    painter.setPen(QPen(accent, 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(rotationHandleRect().adjusted(0, 0, -1, -1));
    painter.restore();
}

void BlockEditorFrame::paintEvent(QPaintEvent*)
{
    if (m_overlay)
        return;
    QPainter painter(this);
    paintChrome(painter);
}

void BlockEditorFrame::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    syncOverlay();
}

void BlockEditorFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutEditor();
}

void BlockEditorFrame::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    syncOverlay();
}

void BlockEditorFrame::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_overlay)
        m_overlay->hide();
}
