// The scanner tab's widgets and stored settings.
#include "ScanTab.h"

#include "SaneBackend.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

struct OptionBox {
    const char* key;
    const char* text;
    bool byDefault;
};

// In ScanParams flag order; the first five are geometry and structure.
constexpr OptionBox kOptionBoxes[] = {
    {"geom_corr", QT_TRANSLATE_NOOP("ScanTab", "Геометрическая коррекция"), false},
    {"persp_corr", QT_TRANSLATE_NOOP("ScanTab", "Перспективная коррекция"), false},
    {"skew", QT_TRANSLATE_NOOP("ScanTab", "Обнаружение перекоса"), true},
    {"structural", QT_TRANSLATE_NOOP("ScanTab", "Структурный анализ"), false},
    {"noise_remove", QT_TRANSLATE_NOOP("ScanTab", "Удаление шума"), true},
    {"auto_bright", QT_TRANSLATE_NOOP("ScanTab", "Авто яркость"), true},
    {"auto_contrast", QT_TRANSLATE_NOOP("ScanTab", "Авто контраст"), true},
    {"white_balance", QT_TRANSLATE_NOOP("ScanTab", "Баланс белого"), false},
    {"denoise", QT_TRANSLATE_NOOP("ScanTab", "Шумоподавление"), true},
    {"sharpen", QT_TRANSLATE_NOOP("ScanTab", "Резкость"), false},
    {"text_enhance", QT_TRANSLATE_NOOP("ScanTab", "Улучшение текста"), true},
};
constexpr int kGeometryBoxes = 5;

QString optionKey(int i)
{
    return QStringLiteral("scan/") + QLatin1String(kOptionBoxes[i].key);
}

QLabel* scanLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setObjectName(QStringLiteral("ScanLabel"));
    return label;
}

QCheckBox* persistCheckBox(const QString& text, const QString& key)
{
    auto* box = new QCheckBox(text);
    box->setChecked(QSettings().value(QStringLiteral("scan/") + key, false).toBool());
    return box;
}

QComboBox* scanCombo(int width = -1)
{
    auto* combo = new QComboBox;
    combo->setObjectName(QStringLiteral("ScanCombo"));
    if (width > 0)
        combo->setFixedWidth(width);
    return combo;
}

QCheckBox* scanCheckBox(const QString& text)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QStringLiteral("ScanCheckBox"));
    return box;
}

QGroupBox* optionGroup(const QString& title)
{
    auto* group = new QGroupBox(title);
    group->setObjectName(QStringLiteral("ScanGroupBox"));
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(1);
    return group;
}

// A label and a control in one row, ending in a stretch unless told not to.
QHBoxLayout* controlRow(const QString& text, QWidget* control, bool stretch = true)
{
    auto* row = new QHBoxLayout;
    row->addWidget(scanLabel(text));
    row->addWidget(control);
    if (stretch)
        row->addStretch();
    return row;
}

}  // namespace

void ScanTab::buildUi()
{
    setObjectName(QStringLiteral("ScanTabContent"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(8);
    layout->addWidget(buildSettingsFrame());
    auto* separator = new QFrame;
    separator->setObjectName(QStringLiteral("ScanSeparator"));
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);
    layout->addWidget(buildScanFrame(), 1);

    connect(m_refreshButton, &QToolButton::clicked, this, &ScanTab::onRefreshDevices);
    connect(m_deviceCombo, &QComboBox::currentIndexChanged, this, &ScanTab::onDeviceSelected);
    connect(m_interfaceCombo, &QComboBox::currentIndexChanged, this, &ScanTab::onInterfaceChanged);
    for (QCheckBox* box : m_options)
        connect(box, &QCheckBox::toggled, this, &ScanTab::saveSettings);
    connect(m_brightnessSlider, &QSlider::valueChanged, m_brightnessValue,
            [this](int value) { m_brightnessValue->setText(QString::number(value)); });
    connect(m_previewButton, &QPushButton::clicked, this, &ScanTab::onPreviewClicked);
    connect(m_scanButton, &QPushButton::clicked, this, &ScanTab::onScanClicked);
}

QWidget* ScanTab::buildSettingsFrame()
{
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("ScanSettingsFrame"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setMinimumWidth(210);
    frame->setMaximumWidth(270);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4);

    auto* deviceRow = new QHBoxLayout;
    deviceRow->setSpacing(4);
    deviceRow->addWidget(scanLabel(tr("Устройство:")));
    m_deviceCombo = scanCombo();
    m_deviceCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    deviceRow->addWidget(m_deviceCombo, 1);
    m_refreshButton = new QToolButton;
    m_refreshButton->setObjectName(QStringLiteral("ScanRefreshButton"));
    m_refreshButton->setText(QStringLiteral("↻"));
    m_refreshButton->setToolTip(tr("Обновить список устройств"));
    m_refreshButton->setFixedSize(24, 22);
    deviceRow->addWidget(m_refreshButton);
    layout->addLayout(deviceRow);

    auto* interfaceRow = new QHBoxLayout;
    interfaceRow->setSpacing(4);
    interfaceRow->addWidget(scanLabel(tr("Интерфейс:")));
    m_interfaceCombo = scanCombo();
    interfaceRow->addWidget(m_interfaceCombo, 1);
    layout->addLayout(interfaceRow);

    QGroupBox* geometry = optionGroup(tr("Геометрия и структура"));
    QGroupBox* enhancement = optionGroup(tr("Улучшение изображения"));
    for (int i = 0; i < kOptionCount; ++i) {
        m_options[size_t(i)] = persistCheckBox(tr(kOptionBoxes[i].text), QLatin1String(kOptionBoxes[i].key));
        m_options[size_t(i)]->setObjectName(QStringLiteral("ScanCheckBox"));
        (i < kGeometryBoxes ? geometry : enhancement)->layout()->addWidget(m_options[size_t(i)]);
    }
    layout->addWidget(geometry);
    layout->addWidget(enhancement);
    layout->addStretch();
    return frame;
}

QWidget* ScanTab::buildControls()
{
    auto* controls = new QWidget;
    auto* row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    auto* left = new QVBoxLayout;
    left->setSpacing(3);
    m_resolutionCombo = scanCombo(90);
    populateResolutions(SaneBackend::defaultResolutions());
    left->addLayout(controlRow(tr("Разреш.:"), m_resolutionCombo));
    m_colorModeCombo = scanCombo(90);
    m_colorModeCombo->addItems({tr("Цветной"), tr("Полутон"), tr("Ч/Б")});
    left->addLayout(controlRow(tr("Режим:"), m_colorModeCombo));
    m_brightnessSlider = new QSlider(Qt::Horizontal);
    m_brightnessSlider->setObjectName(QStringLiteral("ScanSlider"));
    m_brightnessSlider->setRange(-100, 100);
    m_brightnessSlider->setValue(0);
    m_brightnessSlider->setFixedWidth(100);
    QHBoxLayout* brightnessRow = controlRow(tr("Яркость:"), m_brightnessSlider, false);
    m_brightnessValue = new QLabel(QStringLiteral("0"));
    m_brightnessValue->setFixedWidth(28);
    m_brightnessValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    brightnessRow->addWidget(m_brightnessValue);
    left->addLayout(brightnessRow);
    auto* feederRow = new QHBoxLayout;
    feederRow->setSpacing(8);
    m_adfBox = scanCheckBox(tr("АПД"));
    m_duplexBox = scanCheckBox(tr("Дуплекс"));
    feederRow->addWidget(m_adfBox);
    feederRow->addWidget(m_duplexBox);
    feederRow->addStretch();
    left->addLayout(feederRow);
    left->addStretch();

    auto* right = new QVBoxLayout;
    right->setSpacing(3);
    m_pageSizeCombo = scanCombo(110);
    m_pageSizeCombo->addItems({QStringLiteral("A4"), QStringLiteral("A3"), QStringLiteral("Letter"),
                               QStringLiteral("Legal"), tr("Произвольный")});
    right->addLayout(controlRow(tr("Формат:"), m_pageSizeCombo));
    m_orientationCombo = scanCombo(110);
    m_orientationCombo->addItems({tr("Книжная"), tr("Альбомная")});
    right->addLayout(controlRow(tr("Ориент.:"), m_orientationCombo));
    m_delaySpin = new QSpinBox;
    m_delaySpin->setObjectName(QStringLiteral("ScanSpin"));
    m_delaySpin->setRange(0, 60);
    m_delaySpin->setValue(0);
    m_delaySpin->setSuffix(tr(" сек"));
    m_delaySpin->setFixedWidth(78);
    right->addLayout(controlRow(tr("Задержка:"), m_delaySpin));
    right->addStretch();

    row->addLayout(left, 1);
    row->addLayout(right, 1);
    return controls;
}

QWidget* ScanTab::buildScanFrame()
{
    auto* frame = new QFrame;
    frame->setObjectName(QStringLiteral("ScanScanFrame"));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(buildControls());

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("ScanPreviewScroll"));
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(140);
    scroll->setAlignment(Qt::AlignCenter);
    m_previewLabel = new QLabel(tr("Нажмите «Предпросмотр»"));
    m_previewLabel->setObjectName(QStringLiteral("ScanPreviewLabel"));
    m_previewLabel->setAlignment(Qt::AlignCenter);
    m_previewLabel->setMinimumSize(100, 120);
    scroll->setWidget(m_previewLabel);
    layout->addWidget(scroll, 1);

    m_progressBar = new QProgressBar;
    m_progressBar->setObjectName(QStringLiteral("ScanProgressBar"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setMaximumHeight(8);
    m_progressBar->setTextVisible(false);
    m_progressBar->hide();
    layout->addWidget(m_progressBar);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    m_statusLabel = new QLabel;
    m_statusLabel->setObjectName(QStringLiteral("ScanStatusLabel"));
    m_statusLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bottom->addWidget(m_statusLabel, 1);
    m_previewButton = new QPushButton(tr("Предпросмотр"));
    m_previewButton->setObjectName(QStringLiteral("ScanPreviewButton"));
    m_previewButton->setFixedHeight(26);
    bottom->addWidget(m_previewButton);
    m_scanButton = new QPushButton(tr("Сканировать"));
    m_scanButton->setObjectName(QStringLiteral("ScanScanButton"));
    m_scanButton->setFixedHeight(26);
    bottom->addWidget(m_scanButton);
    layout->addLayout(bottom);
    return frame;
}

void ScanTab::loadSettings()
{
    // The boxes save on every toggle; nothing is written until all is read.
    const QScopedValueRollback<bool> loading(m_loading, true);
    QSettings settings;
    for (int i = 0; i < kOptionCount; ++i)
        m_options[size_t(i)]->setChecked(settings.value(optionKey(i), kOptionBoxes[i].byDefault).toBool());
    const int stored = m_resolutionCombo->findText(settings.value(QStringLiteral("scan/resolution"),
                                                                  QStringLiteral("300 dpi")).toString());
    if (stored >= 0)
        m_resolutionCombo->setCurrentIndex(stored);
    m_colorModeCombo->setCurrentIndex(settings.value(QStringLiteral("scan/color_mode"), 0).toInt());
    m_pageSizeCombo->setCurrentIndex(settings.value(QStringLiteral("scan/page_size"), 0).toInt());
    m_orientationCombo->setCurrentIndex(settings.value(QStringLiteral("scan/orientation"), 0).toInt());
    m_brightnessSlider->setValue(settings.value(QStringLiteral("scan/brightness"), 0).toInt());
    m_adfBox->setChecked(settings.value(QStringLiteral("scan/adf"), false).toBool());
    m_duplexBox->setChecked(settings.value(QStringLiteral("scan/duplex"), false).toBool());
    m_delaySpin->setValue(settings.value(QStringLiteral("scan/delay"), 0).toInt());
}

void ScanTab::saveSettings()
{
    if (m_loading)
        return;
    QSettings settings;
    settings.setValue(QStringLiteral("scan/interface_id"), m_interfaceCombo->currentData().toString());
    for (int i = 0; i < kOptionCount; ++i)
        settings.setValue(optionKey(i), m_options[size_t(i)]->isChecked());
    settings.setValue(QStringLiteral("scan/resolution"), m_resolutionCombo->currentText());
    settings.setValue(QStringLiteral("scan/color_mode"), m_colorModeCombo->currentIndex());
    settings.setValue(QStringLiteral("scan/brightness"), m_brightnessSlider->value());
    settings.setValue(QStringLiteral("scan/page_size"), m_pageSizeCombo->currentIndex());
    settings.setValue(QStringLiteral("scan/orientation"), m_orientationCombo->currentIndex());
    settings.setValue(QStringLiteral("scan/adf"), m_adfBox->isChecked());
    settings.setValue(QStringLiteral("scan/duplex"), m_duplexBox->isChecked());
    settings.setValue(QStringLiteral("scan/delay"), m_delaySpin->value());
}
