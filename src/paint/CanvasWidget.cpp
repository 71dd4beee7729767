#include "CanvasWidget.h"

#include "CropCommand.h"
#include "Document.h"
#include "Layer.h"
#include "MergeCommand.h"
#include "PaintCommand.h"
#include "Tool.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSet>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace paint {

namespace {

constexpr double kWheelZoomStep = 1.15;
constexpr int kFitMargin = 48; // both sides together
constexpr int kCheckerCell = 16;
const QColor kBackground(195, 207, 222);
const QColor kFrame(80, 90, 100);
const QColor kCheckerDark(224, 232, 240);
const QColor kSelectionFill(0, 120, 215, 70);
const QColor kSelectionOutline(0, 100, 210);

double clampZoom(double zoom)
{
    return std::clamp(zoom, CanvasWidget::kMinZoom, CanvasWidget::kMaxZoom);
}

int scaledLength(int length, double zoom)
{
    return int(std::lround(length * zoom));
}

QList<QImage> recordedImages(const QUndoCommand* command)
{
    if (const auto* paint = dynamic_cast<const PaintCommand*>(command))
        return paint->images();
    if (const auto* crop = dynamic_cast<const CropCommand*>(command))
        return crop->images();
    if (const auto* merge = dynamic_cast<const MergeCommand*>(command))
        return merge->images();
    return {};
}

void releaseRecorded(QUndoCommand* command)
{
    if (auto* paint = dynamic_cast<PaintCommand*>(command))
        paint->release();
    else if (auto* crop = dynamic_cast<CropCommand*>(command))
        crop->release();
    else if (auto* merge = dynamic_cast<MergeCommand*>(command))
        merge->release();
}

// Adds the bytes of images not counted yet; shared pixels count once.
qint64 addUncounted(const QList<QImage>& images, QSet<qint64>& counted)
{
    qint64 bytes = 0;
    for (const QImage& image : images) {
        if (image.isNull() || counted.contains(image.cacheKey()))
            continue;
        counted.insert(image.cacheKey());
        bytes += image.sizeInBytes();
    }
    return bytes;
}

} // namespace

CanvasWidget::CanvasWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    m_undoStack.setUndoLimit(0);
    connect(&m_undoStack, &QUndoStack::indexChanged, this, [this] {
        update();
        emit zoomChanged(m_zoom);
    });
}

CanvasWidget::~CanvasWidget()
{
    restoreOverrideCursor();
}

void CanvasWidget::setDocument(Document* document)
{
    resetPending();
    m_document = document;
    m_undoStack.clear();
    m_selectionPath = QPainterPath();
    m_composedKey.clear();
    m_composed = QImage();
    update();
}

void CanvasWidget::setPrimaryColor(const QColor& color)
{
    m_primaryColor = color;
    if (m_tool)
        m_tool->setPrimaryColor(color);
}

void CanvasWidget::setSecondaryColor(const QColor& color)
{
    m_secondaryColor = color;
    if (m_tool)
        m_tool->setSecondaryColor(color);
}

void CanvasWidget::setToolSize(int size)
{
    m_toolSize = size;
    if (m_tool)
        m_tool->setSize(size);
    if (m_pending.kind == PendingShape::Text) {
        m_pending.font.setPixelSize(std::max(2 * size, 8));
        update();
    }
}

QRect CanvasWidget::imageRectOnWidget() const
{
    if (!m_document)
        return QRect();
    const int w = scaledLength(m_document->size.width(), m_zoom);
    const int h = scaledLength(m_document->size.height(), m_zoom);
    const int left = (width() - w) / 2 + int(m_offset.x());
    const int top = (height() - h) / 2 + int(m_offset.y());
    return QRect(left, top, w, h);
}

QPoint CanvasWidget::widgetToImage(const QPoint& widgetPos) const
{
    const QRect r = imageRectOnWidget();
    return QPoint(int((widgetPos.x() - r.left()) / m_zoom), int((widgetPos.y() - r.top()) / m_zoom));
}

QPointF CanvasWidget::widgetToImageF(const QPointF& widgetPos) const
{
    const QRect r = imageRectOnWidget();
    return QPointF((widgetPos.x() - r.left()) / m_zoom, (widgetPos.y() - r.top()) / m_zoom);
}

QPoint CanvasWidget::imageToWidget(const QPoint& imagePos) const
{
    const QRect r = imageRectOnWidget();
    return QPoint(r.left() + int(imagePos.x() * m_zoom), r.top() + int(imagePos.y() * m_zoom));
}

void CanvasWidget::applyZoomAt(double factor, const QPoint& widgetPos)
{
    if (!m_document || std::isnan(factor))
        return;
    const QPointF imagePoint = widgetToImageF(QPointF(widgetPos));
    const double zoom = clampZoom(m_zoom * factor);
    const int w = scaledLength(m_document->size.width(), zoom);
    const int h = scaledLength(m_document->size.height(), zoom);
    m_offset = QPointF(widgetPos.x() - imagePoint.x() * zoom - (width() - w) * 0.5,
                       widgetPos.y() - imagePoint.y() * zoom - (height() - h) * 0.5);
    m_zoom = zoom;
    emit zoomChanged(m_zoom);
    update();
}

void CanvasWidget::adjustOffset(const QPointF& delta)
{
    m_offset += delta;
    update();
}

void CanvasWidget::fitToView()
{
    if (!m_document || width() < 1 || height() < 1)
        return;
    const double zoom = std::min(double(width() - kFitMargin) / m_document->size.width(),
                                 double(height() - kFitMargin) / m_document->size.height());
    m_zoom = clampZoom(zoom);
    m_offset = QPointF();
    emit zoomChanged(m_zoom);
    update();
}

void CanvasWidget::setSelection(const QRect& rect)
{
    QRect bounded = rect;
    if (m_document)
        bounded = rect.intersected(QRect(QPoint(), m_document->size));
    m_selectionPath = QPainterPath();
    if (!bounded.isEmpty())
        m_selectionPath.addRect(QRectF(bounded));
    update();
}

void CanvasWidget::setSelectionPath(const QPainterPath& path)
{
    if (m_document) {
        QPainterPath bounds;
        bounds.addRect(QRectF(QRect(QPoint(), m_document->size)));
        m_selectionPath = path.intersected(bounds);
    } else {
        m_selectionPath = path;
    }
    update();
}

void CanvasWidget::clearSelection()
{
    m_selectionPath = QPainterPath();
    update();
}

void CanvasWidget::commitLayerSnapshot(const QImage& before, const QString& description)
{
    if (m_document)
        recordLayerChange(m_document->activeIndex, before, description);
}

void CanvasWidget::recordLayerChange(int layerIndex, const QImage& before, const QString& description)
{
    if (!m_document || !m_document->isLayerIndex(layerIndex))
        return;
    const QImage& present = m_document->layers[layerIndex]->image;
    const QRect region = PaintCommand::changedRect(before, present);
    if (region.isNull())
        return;
    pushChange(new PaintCommand(m_document, layerIndex, region, before, present, description));
}

void CanvasWidget::pushChange(QUndoCommand* command)
{
    m_undoStack.push(command);
    trimHistory();
}

void CanvasWidget::setHistoryBudget(qint64 bytes)
{
    m_historyBudget = bytes;
    trimHistory();
}

qint64 CanvasWidget::historyBytes() const
{
    QSet<qint64> counted;
    if (m_document)
        for (const auto& layer : m_document->layers)
            counted.insert(layer->image.cacheKey());
    qint64 bytes = 0;
    for (int i = m_undoStack.count() - 1; i >= 0; --i)
        bytes += addUncounted(recordedImages(m_undoStack.command(i)), counted);
    return bytes;
}

void CanvasWidget::trimHistory()
{
    QSet<qint64> counted;
    if (m_document)
        for (const auto& layer : m_document->layers)
            counted.insert(layer->image.cacheKey());
    qint64 bytes = 0;
    int i = m_undoStack.count() - 1;
    for (; i >= 0; --i) {
        bytes += addUncounted(recordedImages(m_undoStack.command(i)), counted);
        if (bytes > m_historyBudget)
            break;
    }
    // The stack hands out const pointers to the commands this canvas made.
    for (; i >= 0; --i) {
        auto* command = const_cast<QUndoCommand*>(m_undoStack.command(i));
        if (!command->isObsolete())
            releaseRecorded(command);
    }
}

void CanvasWidget::deleteSelection()
{
    if (!m_document || m_selectionPath.isEmpty() || !m_document->activeLayer())
        return;
    commitPendingShape();
    Layer* layer = m_document->activeLayer();
    if (!layer)
        return;
    const QImage before = layer->image;
    {
        QPainter painter(&layer->image);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawPath(m_selectionPath);
    }
    commitLayerSnapshot(before, QStringLiteral("Удаление выделения"));
    update();
}

void CanvasWidget::cropToSelection()
{
    if (!m_document || m_selectionPath.isEmpty())
        return;
    const QRect rect = m_selectionPath.boundingRect().toRect().intersected(QRect(QPoint(), m_document->size));
    if (rect.isEmpty())
        return;
    commitPendingShape();
    QList<QImage> images;
    images.reserve(m_document->layers.size());
    for (const auto& layer : m_document->layers)
        images.append(layer->image);
    pushChange(new CropCommand(m_document, m_document->size, images, rect));
    m_selectionPath = QPainterPath();
    m_offset = QPointF();
    emit zoomChanged(m_zoom);
    update();
}

void CanvasWidget::mergeDown()
{
    if (!m_document)
        return;
    const int active = m_document->activeIndex;
    if (active < 1 || active >= m_document->layers.size())
        return;
    commitPendingShape();
    const QList<MergeCommand::LayerSnap> before = snapLayers(m_document);
    const Layer& upper = *m_document->layers[active];
    QImage merged = m_document->layers[active - 1]->image.copy();
    {
        QPainter painter(&merged);
        painter.setOpacity(upper.opacity);
        painter.drawImage(0, 0, upper.image);
    }
    QList<MergeCommand::LayerSnap> after = before;
    after.removeAt(active);
    after[active - 1].image = merged;
    pushChange(new MergeCommand(m_document, before, active, after, active - 1, QStringLiteral("Объединить с нижним")));
    emit zoomChanged(m_zoom);
    update();
}

void CanvasWidget::flattenAll()
{
    if (!m_document || m_document->layers.size() < 2)
        return;
    commitPendingShape();
    const QList<MergeCommand::LayerSnap> before = snapLayers(m_document);
    const QList<MergeCommand::LayerSnap> after{{before.first().name, m_document->mergedImage(), true}};
    pushChange(new MergeCommand(m_document, before, m_document->activeIndex, after, 0,
                                QStringLiteral("Объединить все слои")));
    emit zoomChanged(m_zoom);
    update();
}

void CanvasWidget::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    const QPoint pos = event->position().toPoint();
    if (m_pending.kind != PendingShape::None) {
        const int handle = pendingHitTest(pos);
        if (handle == 0) {
            commitPendingShape();
            return;
        }
        m_dragHandle = handle;
        m_pressPos = pos;
        m_dragStartRect = m_pending.rect;
        m_dragStartLine = m_pending.line;
        m_dragStartRotation = m_pending.rotation;
        return;
    }
    if (m_tool && m_document)
        m_tool->mousePress(this, m_document, event, widgetToImage(pos));
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QPoint imagePos = widgetToImage(pos);
    emit imagePositionChanged(imagePos);
    if (m_pending.kind != PendingShape::None && m_dragHandle != 0) {
        updatePendingDrag(pos);
        update();
        return;
    }
    if (m_pending.kind != PendingShape::None) {
        static constexpr Qt::CursorShape kHandleCursors[] = {
            Qt::ArrowCursor, Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor,
            Qt::SizeHorCursor, Qt::SizeHorCursor, Qt::SizeBDiagCursor, Qt::SizeVerCursor,
            Qt::SizeFDiagCursor, Qt::CrossCursor, Qt::SizeAllCursor, Qt::CrossCursor,
            Qt::CrossCursor, Qt::SizeAllCursor};
        setHoverCursor(kHandleCursors[pendingHitTest(pos)]);
        return;
    }
    restoreOverrideCursor();
    if (m_tool && m_document)
        m_tool->mouseMove(this, m_document, event, imagePos);
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragHandle != 0) {
        m_dragHandle = 0;
        update();
        return;
    }
    if (m_tool && m_document)
        m_tool->mouseRelease(this, m_document, event, widgetToImage(event->position().toPoint()));
}

void CanvasWidget::wheelEvent(QWheelEvent* event)
{
    const double factor = event->angleDelta().y() > 0 ? kWheelZoomStep : 1.0 / kWheelZoomStep;
    applyZoomAt(factor, event->position().toPoint());
    event->accept();
}

void CanvasWidget::keyPressEvent(QKeyEvent* event)
{
    const bool pending = m_pending.kind != PendingShape::None;
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->key() == Qt::Key_Escape && pending)
        cancelPendingShape();
    else if (enter && pending)
        commitPendingShape();
    else if (enter && m_tool && m_tool->wantsCropOnEnter())
        cropToSelection();
    else if (event->key() == Qt::Key_Delete && !m_selectionPath.isEmpty())
        deleteSelection();
    else
        QWidget::keyPressEvent(event);
}

void CanvasWidget::leaveEvent(QEvent* event)
{
    restoreOverrideCursor();
    QWidget::leaveEvent(event);
}

void CanvasWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    if (!m_document)
        return;
    const QRect picture = imageRectOnWidget();
    painter.fillRect(picture.adjusted(-1, -1, 1, 1), kFrame);
    painter.fillRect(picture, Qt::white);
    paintCheckerboard(painter, picture, event->rect());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom < 1.0);
    const QImage& composed = composedImage();
    painter.drawImage(QRectF(picture), composed, QRectF(composed.rect()));
    drawPendingOverlay(painter);
    if (!m_selectionPath.isEmpty()) {
        QTransform toWidget;
        toWidget.translate(picture.left(), picture.top());
        toWidget.scale(m_zoom, m_zoom);
        const QPainterPath mapped = toWidget.map(m_selectionPath);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillPath(mapped, kSelectionFill);
        painter.setPen(QPen(kSelectionOutline, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(mapped);
    }
}

// Cells are widget pixels counted from the picture's corner; only the cells
// that meet the repainted area are filled.
void CanvasWidget::paintCheckerboard(QPainter& painter, const QRect& picture, const QRect& dirty) const
{
    const QRect area = picture.intersected(dirty).intersected(rect());
    if (area.isEmpty())
        return;
    painter.save();
    painter.setClipRect(picture);
    const int firstColumn = (area.left() - picture.left()) / kCheckerCell;
    const int lastColumn = (area.right() - picture.left()) / kCheckerCell;
    const int firstRow = (area.top() - picture.top()) / kCheckerCell;
    const int lastRow = (area.bottom() - picture.top()) / kCheckerCell;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn + ((firstColumn + row + 1) & 1); column <= lastColumn; column += 2)
            painter.fillRect(picture.left() + column * kCheckerCell, picture.top() + row * kCheckerCell,
                             kCheckerCell, kCheckerCell, kCheckerDark);
    }
    painter.restore();
}

// The composition is kept until a layer, its pixels, visibility or opacity
// change: every write to a layer image detaches it, which changes its key.
const QImage& CanvasWidget::composedImage() const
{
    QList<CompositionKey> key;
    key.reserve(m_document->layers.size());
    for (const auto& layer : m_document->layers)
        key.append({layer.get(), layer->image.cacheKey(), layer->visible, layer->opacity});
    if (key != m_composedKey || m_composed.size() != m_document->size) {
        m_composed = m_document->mergedImage();
        m_composedKey = key;
    }
    return m_composed;
}

} // namespace paint
