#pragma once
// The widget laid over the active block on the page view's viewport: it hosts
// the block's text editor, draws the outline, eight resize handles and the
// rotation knob, and turns drags on them into a new content rectangle or angle.
// Geometry in integer pixels of the parent (the viewport) unless said otherwise.

#include <QPointer>
#include <QWidget>

class BlockEditorFrame;
class RotatedTextEdit;

// Paints the frame's chrome on top of the other children of the viewport, so
// handles that stick out of the block are never hidden.
class BlockEditorChromeOverlay : public QWidget {
    Q_OBJECT
public:
    BlockEditorChromeOverlay(BlockEditorFrame* frame, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<BlockEditorFrame> m_frame;
};

class BlockEditorFrame : public QWidget {
    Q_OBJECT
public:
    enum Hit {
        Outside = 0,
        Inside = 1,
        RotateKnob = 2,
        TopEdge = 3,
        BottomEdge = 4,
        RightEdge = 5,
        LeftEdge = 6,
        TopRight = 7,
        TopLeft = 8,
        BottomRight = 9,
        BottomLeft = 10,
    };

    static constexpr int kSideMargin = 5;
    static constexpr int kTopMargin = 31;
    static constexpr int kMinContentWidth = 50;
    static constexpr int kMinContentHeight = 52;

    explicit BlockEditorFrame(QWidget* parent = nullptr);
    ~BlockEditorFrame() override;

    RotatedTextEdit* editor() const { return m_editor; }
    BlockEditorChromeOverlay* chromeOverlay() const { return m_overlay; }
    void setPlaceholderText(const QString& text);

    // Content rectangle in frame coordinates, and in the parent's.
    QRect contentRect() const;
    QRect contentScreenRect() const;
    void setContentScreenRect(const QRect& rect);
    QRect outerRectForContentRect(const QRect& rect) const;

    void setContentRectOverride(const QRect& rect);
    void setRotationAngle(double degrees);
    void setImageMode(bool on);
    bool imageMode() const { return m_imageMode; }
    void setTextPaintingSuppressed(bool suppressed);
    double visualRotationAngle() const { return m_rotation; }
    // The page's own quarter turns: they turn the editor's text (which is laid
    // out along the block's lines) but not the chrome, which follows the screen.
    void setTextBaseRotation(int degrees);
    int textBaseRotation() const { return m_textBaseRotation; }

    QRect handleRect(Hit hit) const;
    QRect rotationHandleRect() const;
    Hit hitTest(const QPoint& local) const;

    bool beginInteraction(const QPoint& local, const QPoint& global, bool allowMove);
    void updateInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers);
    void endInteraction(const QPoint& local);
    bool isInteracting() const { return m_interaction != Outside; }
    Hit interaction() const { return m_interaction; }
    // The content rectangle (parent coordinates) when the running drag began.
    QRect interactionStartRect() const { return m_startRect; }
    // Where the last drag ended (parent coordinates), and whether it was a
    // press on the chrome that never became a drag: a click through to what
    // lies there, on a handle as on the band.
    QPoint interactionEndPoint() const { return m_interactionEnd; }
    bool endedAsClick() const { return m_movedWithoutTravel; }
    Hit endedInteraction() const { return m_endedHit; }

    // Drags started by the view on the chrome, outside the frame's own events.
    bool externalHandleAt(const QPoint& parentPos) const;
    bool beginExternalInteraction(const QPoint& parentPos, const QPoint& global);
    void updateExternalInteraction(const QPoint& global, Qt::KeyboardModifiers modifiers);
    void endExternalInteraction(const QPoint& parentPos);

    void raiseChromeOverlay();
    double pointerAngleDegrees(const QPoint& global) const;
    void paintChrome(QPainter& painter) const;

signals:
    void rectChanged(QRect contentRectInParent);
    void rotationChanged(double degrees);
    void interactionStarted();
    void interactionFinished();
    // A plain click in the text, after the editor took it (parent coordinates).
    void textClicked(QPoint parentPos);
    // A double click in the text, which the editor does not take: its own
    // layout is not the text as shown (parent coordinates).
    void textDoubleClicked(QPoint parentPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void layoutEditor();
    void syncOverlay();
    void updateCursorForHit(Hit hit);
    QRect resizedRect(int dx, int dy, Qt::KeyboardModifiers modifiers) const;
    QPoint unturned(const QPoint& local) const;
    bool filterEditorMouse(QWidget* source, QMouseEvent* event);
    bool passClickToParent(QMouseEvent* event);
    bool doubleClickText(const QPoint& local, const QPoint& global);

    RotatedTextEdit* m_editor = nullptr;
    QPointer<BlockEditorChromeOverlay> m_overlay;
    bool m_imageMode = false;
    bool m_textPaintingSuppressed = false;
    double m_rotation = 0.0;
    int m_textBaseRotation = 0;
    QRect m_contentOverride;
    Hit m_interaction = Outside;
    QPoint m_pressGlobal;
    QRect m_startRect;
    QPoint m_interactionEnd;
    QPoint m_textPress;
    bool m_movedWithoutTravel = false;
    bool m_dragStarted = false;  // the pointer left the press point: the chrome follows it
    Hit m_endedHit = Outside;
    double m_startRotation = 0.0;
    double m_startPointerAngle = 0.0;
};

// p turned about centre (unchanged below a tenth of a degree).
QPointF rotatePoint(const QPointF& p, const QPointF& centre, double degrees);
