#pragma once

#include <QColor>
#include <QDialog>

class QLabel;
class QSlider;

namespace paint {

// Asks how far a colour may be from the picked background colour and still
// go; the host previews each value on the layer.
class BackgroundToleranceDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultTolerance = 18;
    static constexpr int kMaxTolerance = 160;

    explicit BackgroundToleranceDialog(const QColor& key, QWidget* parent = nullptr);

    QSlider* slider() const { return m_slider; }
    int tolerance() const;
    // Moves the dialog, as laid out now, off the widget's area on its screen.
    void placeClearOf(const QWidget* widget);
    // Where a window of `size` stands within `screen` overlapping `avoid`
    // least: below, above, right or left of it, first of those that fit.
    static QPoint positionClearOf(const QRect& avoid, const QSize& size, const QRect& screen);

private:
    QSlider* m_slider = nullptr;
    QLabel* m_value = nullptr;
};

} // namespace paint
