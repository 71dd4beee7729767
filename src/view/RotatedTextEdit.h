#pragma once
// The text editor of the block editor frame: it can paint its document turned
// about the centre of a content rectangle and maps the mouse back through the
// same turn, so a turned block is edited where it is shown.

#include <QTextEdit>

class RotatedTextEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit RotatedTextEdit(QWidget* parent = nullptr);

    // Degrees, clockwise as shown, kept in (-180, 180].
    void setRotationAngle(double degrees);
    double rotationAngle() const { return m_rotation; }
    // Where the document is drawn, in viewport coordinates; null: the viewport.
    void setPaintContentRect(const QRect& rect);
    QRect paintContentRect() const { return m_paintContentRect; }
    // The page view draws the text itself; the editor only takes keys and clicks.
    void setPaintingSuppressed(bool suppressed);
    bool paintingSuppressed() const { return m_paintingSuppressed; }

    bool isRotated() const;
    QRect effectiveContentRect() const;
    // A viewport point as a point of the unturned content, relative to its corner.
    QPointF mapFromRotatedViewport(const QPointF& point) const;

    static double normalizedAngle(double degrees);
    // The keys of the page's edit history: Ctrl+Z; Ctrl+Shift+Z and Ctrl+Y.
    static bool isUndoKey(const QKeyEvent* event);
    static bool isRedoKey(const QKeyEvent* event);

signals:
    // Undo and redo keys (Ctrl+Z; Ctrl+Shift+Z, Ctrl+Y): the page's history
    // takes them, the editor keeps none of its own.
    void undoRequested();
    void redoRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename Handler>
    void forwardMapped(QMouseEvent* event, Handler handler);

    double m_rotation = 0.0;
    QRect m_paintContentRect;
    bool m_paintingSuppressed = false;
};
