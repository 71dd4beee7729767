#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace paint {

// A hue and saturation wheel; brightness comes from elsewhere.
class ColorWheelWidget : public QWidget {
    Q_OBJECT
public:
    explicit ColorWheelWidget(QWidget* parent = nullptr);

    QSize sizeHint() const override { return QSize(180, 180); }
    QColor color() const { return m_color; }
    // Emits nothing.
    void setColor(const QColor& color);
    QRectF wheelRect() const;
    QPointF indicatorPos() const;
    void pickAt(QPoint pos);

signals:
    void colorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuildWheel();

    QColor m_color = Qt::red;
    QImage m_wheel;
    bool m_dragging = false;
};

} // namespace paint
