#pragma once

#include <QColor>
#include <QDockWidget>
#include <QList>

class QSlider;

namespace paint {

class ColorSwatchPair;
class ColorWheelWidget;

// The 28 fixed colours of the palette grid.
extern const QList<QColor> kPalette;

// The two paint colours (one active), a wheel and a brightness slider for the
// active one, a palette grid and a size box. Colours made here are opaque.
class PaletteDock : public QDockWidget {
    Q_OBJECT
public:
    explicit PaletteDock(QWidget* parent = nullptr);

    QColor primaryColor() const { return m_primary; }
    QColor secondaryColor() const { return m_secondary; }
    bool isPrimaryActive() const { return m_primaryActive; }
    void setActiveColor(bool primary);
    void openColorDialog(bool primary);

public slots:
    // Silent: emits nothing.
    void externalSetPrimary(const QColor& color);

signals:
    void primaryColorChanged(const QColor& color);
    void secondaryColorChanged(const QColor& color);
    void sizeChanged(int size);

private:
    void onWheelColorChanged(const QColor& color);
    void onValueChanged(int value);
    void syncWheelToColor(const QColor& color);
    void choosePaletteColor(const QColor& color);
    void resetColors();
    void setActive(const QColor& color);
    void showSwatches();

    QColor m_primary = Qt::black;
    QColor m_secondary = Qt::white;
    bool m_primaryActive = true;
    ColorSwatchPair* m_swatches = nullptr;
    ColorWheelWidget* m_wheel = nullptr;
    QSlider* m_valueSlider = nullptr;
};

} // namespace paint
