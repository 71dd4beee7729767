#include "PaletteDock.h"

#include "ColorSwatchPair.h"
#include "ColorWheelWidget.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace paint {

const QList<QColor> kPalette = {
    QColor(QRgb(0x000000)), QColor(QRgb(0x404040)), QColor(QRgb(0x808080)), QColor(QRgb(0xc0c0c0)), QColor(QRgb(0xffffff)), QColor(QRgb(0x800000)),
    QColor(QRgb(0xff0000)), QColor(QRgb(0xff8000)), QColor(QRgb(0xffff00)), QColor(QRgb(0x808000)), QColor(QRgb(0x008000)), QColor(QRgb(0x00ff00)),
    QColor(QRgb(0x00ffff)), QColor(QRgb(0x008080)), QColor(QRgb(0x0000ff)), QColor(QRgb(0x000080)), QColor(QRgb(0xff00ff)), QColor(QRgb(0x800080)),
    QColor(QRgb(0xff8080)), QColor(QRgb(0xffc880)), QColor(QRgb(0xffff80)), QColor(QRgb(0x80ff80)), QColor(QRgb(0x80ffff)), QColor(QRgb(0x8080ff)),
    QColor(QRgb(0xff80ff)), QColor(QRgb(0x964b00)), QColor(QRgb(0xffc896)), QColor(QRgb(0xc89664)),
};

namespace {

constexpr int kPaletteColumns = 14;

// HSV of `hueSource`'s hue (0 when it has none) and saturation at `value`, opaque.
QColor withValue(const QColor& hueSource, int value)
{
    return QColor::fromHsv(std::max(0, hueSource.hsvHue()), hueSource.hsvSaturation(), value, 255);
}

} // namespace

PaletteDock::PaletteDock(QWidget* parent)
    : QDockWidget(QStringLiteral("Палитра"), parent)
{
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    auto* swatchRow = new QHBoxLayout;
    m_swatches = new ColorSwatchPair(content);
    m_swatches->setFixedSize(72, 62);
    swatchRow->addWidget(m_swatches);
    auto* reset = new QPushButton(QStringLiteral("↺"), content);
    reset->setFixedSize(22, 22);
    reset->setToolTip(QStringLiteral("Сбросить (чёрный / белый)"));
    swatchRow->addWidget(reset, 0, Qt::AlignBottom);
    swatchRow->addStretch();
    layout->addLayout(swatchRow);

    m_wheel = new ColorWheelWidget(content);
    layout->addWidget(m_wheel, 1);

    auto* valueRow = new QHBoxLayout;
    valueRow->addWidget(new QLabel(QStringLiteral("Яр.:"), content));
    m_valueSlider = new QSlider(Qt::Horizontal, content);
    m_valueSlider->setRange(0, 255);
    m_valueSlider->setValue(255);
    valueRow->addWidget(m_valueSlider, 1);
    layout->addLayout(valueRow);

    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    grid->setContentsMargins(0, 2, 0, 2);
    QList<QPushButton*> paletteButtons;
    for (int i = 0; i < kPalette.size(); ++i) {
        auto* button = new QPushButton(content);
        button->setFixedSize(14, 14);
        const QString name = kPalette[i].name();
        button->setStyleSheet(QStringLiteral("background-color:%1; border:1px solid #666; padding:0;").arg(name));
        button->setToolTip(name);
        grid->addWidget(button, i / kPaletteColumns, i % kPaletteColumns);
        paletteButtons << button;
    }
    layout->addLayout(grid);

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(new QLabel(QStringLiteral("Размер:"), content));
    auto* sizeBox = new QSpinBox(content);
    sizeBox->setRange(1, 200);
    sizeBox->setValue(8);
    sizeRow->addWidget(sizeBox, 1);
    layout->addLayout(sizeRow);
    setWidget(content);

    connect(m_swatches, &ColorSwatchPair::primaryClicked, this, [this] { setActiveColor(true); });
    connect(m_swatches, &ColorSwatchPair::secondaryClicked, this, [this] { setActiveColor(false); });
    connect(m_swatches, &ColorSwatchPair::primaryDoubleClicked, this, [this] { openColorDialog(true); });
    connect(m_swatches, &ColorSwatchPair::secondaryDoubleClicked, this, [this] { openColorDialog(false); });
    connect(m_wheel, &ColorWheelWidget::colorChanged, this, &PaletteDock::onWheelColorChanged);
    connect(m_valueSlider, &QSlider::valueChanged, this, &PaletteDock::onValueChanged);
    connect(sizeBox, &QSpinBox::valueChanged, this, &PaletteDock::sizeChanged);
    connect(reset, &QPushButton::clicked, this, &PaletteDock::resetColors);
    for (int i = 0; i < paletteButtons.size(); ++i)
        connect(paletteButtons[i], &QPushButton::clicked, this, [this, i] { choosePaletteColor(kPalette[i]); });

    m_wheel->setColor(m_primary);
    showSwatches();
}

void PaletteDock::showSwatches()
{
    m_swatches->primary = m_primary;
    m_swatches->secondary = m_secondary;
    m_swatches->primaryActive = m_primaryActive;
    m_swatches->update();
}

void PaletteDock::setActive(const QColor& color)
{
    (m_primaryActive ? m_primary : m_secondary) = color;
    showSwatches();
    if (m_primaryActive)
        emit primaryColorChanged(color);
    else
        emit secondaryColorChanged(color);
}

void PaletteDock::setActiveColor(bool primary)
{
    m_primaryActive = primary;
    showSwatches();
    syncWheelToColor(primary ? m_primary : m_secondary);
}

void PaletteDock::externalSetPrimary(const QColor& color)
{
    m_primary = color;
    m_primaryActive = true;
    showSwatches();
    syncWheelToColor(color);
}

void PaletteDock::syncWheelToColor(const QColor& color)
{
    m_wheel->setColor(color);
    const QSignalBlocker blocker(m_valueSlider);
    m_valueSlider->setValue(color.value());
}

void PaletteDock::choosePaletteColor(const QColor& color)
{
    m_primary = color;
    m_primaryActive = true;
    showSwatches();
    syncWheelToColor(color);
    emit primaryColorChanged(color);
}

void PaletteDock::resetColors()
{
    m_primary = Qt::black;
    m_secondary = Qt::white;
    showSwatches();
    syncWheelToColor(m_primaryActive ? m_primary : m_secondary);
    emit primaryColorChanged(m_primary);
    emit secondaryColorChanged(m_secondary);
}

void PaletteDock::onWheelColorChanged(const QColor& color)
{
    setActive(withValue(color, m_valueSlider->value()));
}

void PaletteDock::onValueChanged(int value)
{
    setActive(withValue(m_primaryActive ? m_primary : m_secondary, value));
}

void PaletteDock::openColorDialog(bool primary)
{
    const QColor chosen = QColorDialog::getColor(primary ? m_primary : m_secondary, this,
                                                 primary ? QStringLiteral("Основной цвет")
                                                         : QStringLiteral("Дополнительный цвет"));
    if (!chosen.isValid())
        return;
    (primary ? m_primary : m_secondary) = chosen;
    showSwatches();
    if (primary == m_primaryActive)
        syncWheelToColor(chosen);
    if (primary)
        emit primaryColorChanged(chosen);
    else
        emit secondaryColorChanged(chosen);
}

} // namespace paint
