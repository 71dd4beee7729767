#pragma once

#include "PendingShape.h"

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QUndoStack>
#include <QWidget>

namespace paint {

class Document;
class Tool;

// Shows a borrowed document zoomed over a checkerboard, hands mouse events to
// the current tool in image pixels, keeps the pending shape and records every
// change of the picture on its undo stack.
class CanvasWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr double kMinZoom = 0.05;
    static constexpr double kMaxZoom = 32.0;
    // Pixels the recorded changes may keep; the oldest go beyond it.
    static constexpr qint64 kHistoryBudget = qint64(256) << 20;

    explicit CanvasWidget(QWidget* parent = nullptr);
    ~CanvasWidget() override;

    // Drops the pending shape, the selection and the history; zoom stays.
    void setDocument(Document* document);
    Document* document() const { return m_document; }
    void setTool(Tool* tool) { m_tool = tool; }
    Tool* tool() const { return m_tool; }

    void setPrimaryColor(const QColor& color);
    void setSecondaryColor(const QColor& color);
    void setToolSize(int size);
    QColor primaryColor() const { return m_primaryColor; }
    QColor secondaryColor() const { return m_secondaryColor; }
    int toolSize() const { return m_toolSize; }
    QUndoStack* undoStack() { return &m_undoStack; }
    void setHistoryBudget(qint64 bytes);
    // Bytes of pixels the recorded changes keep beyond the layers themselves.
    qint64 historyBytes() const;

    double zoom() const { return m_zoom; }
    QPointF offset() const { return m_offset; }
    QRect imageRectOnWidget() const;
    QPoint widgetToImage(const QPoint& widgetPos) const;
    QPointF widgetToImageF(const QPointF& widgetPos) const;
    QPoint imageToWidget(const QPoint& imagePos) const;
    void applyZoomAt(double factor, const QPoint& widgetPos);
    void adjustOffset(const QPointF& delta);
    void fitToView();

    const QPainterPath& selectionPath() const { return m_selectionPath; }
    void setSelection(const QRect& rect);
    void setSelectionPath(const QPainterPath& path);
    void clearSelection();

    // Records the active layer's change when its pixels differ from `before`.
    void commitLayerSnapshot(const QImage& before, const QString& description);
    void deleteSelection();
    void cropToSelection();
    void mergeDown();
    void flattenAll();

    void reportColorPicked(const QColor& color) { emit colorPicked(color); }

    // The shape is bound to the active layer and the present picture size.
    void setPendingShape(const PendingShape& shape);
    const PendingShape& pendingShape() const { return m_pending; }
    void commitPendingShape();
    void cancelPendingShape();
    void setPendingTextFontFamily(const QString& family);
    void setPendingTextBold(bool bold);
    void setPendingTextItalic(bool italic);
    QList<QPointF> pendingHandleWidgetPoints() const;
    int pendingHitTest(const QPoint& widgetPos) const;
    void updatePendingDrag(const QPoint& widgetPos);
    void drawPendingOverlay(QPainter& painter) const;

signals:
    void imagePositionChanged(QPoint pos);
    void zoomChanged(double zoom);
    void colorPicked(QColor c);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void recordLayerChange(int layerIndex, const QImage& before, const QString& description);
    void pushChange(QUndoCommand* command);
    // Lets go of the oldest changes until the rest fit the budget.
    void trimHistory();
    void paintCheckerboard(QPainter& painter, const QRect& picture, const QRect& dirty) const;
    const QImage& composedImage() const;
    // The index of the pending shape's layer while it still fits the picture, else -1.
    int pendingLayerIndex() const;
    void resetPending();
    void setHoverCursor(Qt::CursorShape shape);
    void restoreOverrideCursor();

    Document* m_document = nullptr;
    Tool* m_tool = nullptr;
    double m_zoom = 1.0;
    QPointF m_offset;
    QUndoStack m_undoStack;
    qint64 m_historyBudget = kHistoryBudget;
    QColor m_primaryColor = Qt::black;
    QColor m_secondaryColor = Qt::white;
    int m_toolSize = 8;
    QPainterPath m_selectionPath;
    PendingShape m_pending;
    bool m_overrideCursorActive = false;

    int m_dragHandle = 0;
    QPoint m_pressPos;
    QRectF m_dragStartRect;
    QLineF m_dragStartLine;
    double m_dragStartRotation = 0;

    struct CompositionKey {
        const void* layer;
        qint64 imageKey;
        bool visible;
        double opacity;
        bool operator==(const CompositionKey&) const = default;
    };
    mutable QList<CompositionKey> m_composedKey;
    mutable QImage m_composed;
};

} // namespace paint
