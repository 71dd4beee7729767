#include "CompressedPdfExportDialog.h"

#include "BusyRing.h"
#include "CompressionFit.h"
#include "DialogKit.h"
#include "OutputPaths.h"
#include "DocumentJob.h"
#include "PdfDocument.h"
#include "ThemedIcon.h"
#include "UiTranslate.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>

namespace {

using Options = PdfDocument::CompressionOptions;

// Every resolution a level or a fit preset uses, so a choice reaches the
// fine settings unchanged.
constexpr int kResolutions[] = {72, 100, 120, 140, 150, 180, 200, 240, 300};
constexpr int kMinQuality = 10;
constexpr int kMaxQuality = 90;
constexpr double kMinLimitMb = 0.1;
constexpr double kMaxLimitMb = 4096;
constexpr int kOverlayInset = 10;
constexpr int kDefaultsShownMs = 1400;
constexpr int kRefitPauseMs = 700;

QString settingKey(const char* name)
{
    return QStringLiteral("export/compressedPdf/") + QLatin1String(name);
}

QString sampledText(bool sampled)
{
    return sampled ? uiTranslate(QStringLiteral(" (по выборке страниц)")) : QString();
}

// A stage's text colour on the dialog's own background: its dark tone on the
// light theme, its pale tint on the dark one.
QString stageTextColour(const QString& dark, const QString& pale)
{
    return darkThemeShown() ? pale : dark;
}

QString megabytesText(double megabytes)
{
    return QString::number(megabytes, 'f', 1);
}

QString withPdfExtension(const QString& path)
{
    return path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".pdf");
}

QCheckBox* checkBox(const QString& text)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QStringLiteral("ScanCheckBox"));
    return box;
}

struct EstimateOutcome {
    qint64 bytes = -1;
    bool sampled = false;
    QString error;
    PdfDocument::CompressionEstimate minimum;
};

} // namespace

CompressedPdfExportDialog::CompressedPdfExportDialog(PdfDocument* document, const QString& suggestedOutputPath,
                                                     bool shellMode, QWidget* parent)
    : CompressedPdfExportDialog(std::shared_ptr<PdfDocument>(std::shared_ptr<PdfDocument>(), document),
                                suggestedOutputPath, shellMode, parent)
{
}

CompressedPdfExportDialog::CompressedPdfExportDialog(std::shared_ptr<PdfDocument> document,
                                                     const QString& suggestedOutputPath, bool shellMode,
                                                     QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint), m_document(std::move(document)),
      m_suggestedOutputPath(suggestedOutputPath)
{
    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(tr("Сохранить сжатый PDF"));
    setModal(true);
    resize(700, 540);
    const QString source = m_document->filePath();
    m_documentFileSize = source.isEmpty() ? 0 : std::max<qint64>(0, QFileInfo(source).size());
    m_encrypted = !source.isEmpty() && CompressionFit::isEncryptedFile(source);
    buildLayout(shellMode);
    loadSettings();
    connectHandlers();
    m_forecast->setText(tr("Анализирую документ и подбираю варианты сжатия..."));
    setControlsEnabled(false);
    QTimer::singleShot(0, this, [this] { startSizeFit(false); });
}

CompressedPdfExportDialog::~CompressedPdfExportDialog()
{
    stopFitProcess();
    if (m_estimateJob) {
        m_estimateJob.reset();  // waits for the forecast in hand
        QApplication::restoreOverrideCursor();
    }
}

void CompressedPdfExportDialog::buildLayout(bool shellMode)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(12);
    layout->addWidget(label(tr("Сжатый PDF"), QStringLiteral("DialogTitle")));
    QLabel* subtitle = label(
        tr("Выберите, насколько сильно уменьшить файл. Тонкие настройки спрятаны в разделе «Расширенные»."),
        QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    layout->addWidget(label(tr("Файл результата:"), QStringLiteral("DialogHint")));
    auto* outputRow = new QHBoxLayout;
    m_outputEdit = dialogLineEdit(m_suggestedOutputPath);
    m_browseButton = dialogButton(tr("Обзор..."), QStringLiteral("SecondaryDialogButton"));
    outputRow->addWidget(m_outputEdit, 1);
    outputRow->addWidget(m_browseButton);
    layout->addLayout(outputRow);
    if (shellMode) {
        m_openAfterSave = checkBox(tr("Открыть результат после сохранения"));
        layout->addWidget(m_openAfterSave);
    }
    layout->addWidget(buildLevelGroup());

    m_advancedButton = new QToolButton;
    m_advancedButton->setObjectName(QStringLiteral("ScanRefreshButton"));
    m_advancedButton->setText(tr("Расширенные"));
    m_advancedButton->setCheckable(true);
    m_advancedButton->setArrowType(Qt::RightArrow);
    m_advancedButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_advancedButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    layout->addWidget(m_advancedButton);
    layout->addWidget(buildFineSettings());

    m_forecast = label(QString(), QStringLiteral("DialogHint"));
    m_forecast->setWordWrap(true);
    layout->addWidget(m_forecast);
    layout->addLayout(buildButtonRow());

    m_overlay = new QFrame(this);
    m_overlay->setObjectName(QStringLiteral("CompressionBusyOverlay"));
    m_overlay->setStyleSheet(QStringLiteral(
        "QFrame#CompressionBusyOverlay {background: rgba(248, 250, 252, 214);border-radius: 14px;}"));
    auto* overlayLayout = new QVBoxLayout(m_overlay);
    overlayLayout->setContentsMargins(24, 24, 24, 24);
    overlayLayout->setSpacing(12);
    overlayLayout->addStretch(1);
    m_ring = new BusyRing(m_overlay);
    overlayLayout->addWidget(m_ring, 0, Qt::AlignHCenter);
    m_overlayTitle = label(tr("Подбираю настройки..."), QStringLiteral("DialogTitle"));
    m_overlayTitle->setAlignment(Qt::AlignCenter);
    m_overlayTitle->setWordWrap(true);
    overlayLayout->addWidget(m_overlayTitle);
    overlayLayout->addStretch(1);
    m_overlay->hide();
}

QWidget* CompressedPdfExportDialog::buildLevelGroup()
{
    auto* group = new QGroupBox(tr("Размер файла"));
    group->setObjectName(QStringLiteral("ScanGroupBox"));
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(14, 18, 14, 14);
    layout->setSpacing(10);

    auto* header = new QHBoxLayout;
    m_levelTitle = label(QString(), QStringLiteral("DialogTitle"));
    m_levelTitle->setMinimumHeight(30);
    m_levelBadge = label(QString(), QStringLiteral("DialogHint"));
    m_levelBadge->setAlignment(Qt::AlignCenter);
    m_levelBadge->setMinimumWidth(118);
    header->addWidget(m_levelTitle, 1);
    header->addWidget(m_levelBadge);
    layout->addLayout(header);

    m_levelSlider = new QSlider(Qt::Horizontal);
    m_levelSlider->setObjectName(QStringLiteral("ScanSlider"));
    m_levelSlider->setRange(0, kCompressionLevelCount - 1);
    m_levelSlider->setSingleStep(1);
    m_levelSlider->setPageStep(1);
    m_levelSlider->setTickInterval(1);
    m_levelSlider->setTickPosition(QSlider::TicksBelow);
    layout->addWidget(m_levelSlider);

    auto* chips = new QGridLayout;
    chips->setContentsMargins(0, 0, 0, 0);
    chips->setHorizontalSpacing(4);
    for (int i = 0; i < kCompressionLevelCount; ++i) {
        m_chips[size_t(i)] = label(stageForLevel(i).shortLabel, QStringLiteral("DialogHint"));
        m_chips[size_t(i)]->setAlignment(Qt::AlignCenter);
        chips->addWidget(m_chips[size_t(i)], 0, i);
        chips->setColumnStretch(i, 1);
    }
    layout->addLayout(chips);

    m_description = label(QString(), QStringLiteral("DialogSubtitle"));
    m_description->setWordWrap(true);
    m_warning = label(QString(), QStringLiteral("DialogHint"));
    m_warning->setWordWrap(true);
    layout->addWidget(m_description);
    layout->addWidget(m_warning);

    auto* limitRow = new QHBoxLayout;
    limitRow->setSpacing(8);
    m_limitSpin = new QDoubleSpinBox;
    m_limitSpin->setObjectName(QStringLiteral("ScanSpin"));
    m_limitSpin->setRange(kMinLimitMb, kMaxLimitMb);
    m_limitSpin->setDecimals(1);
    m_limitSpin->setSingleStep(0.5);
    m_limitSpin->setSuffix(tr(" МБ"));
    m_fitButton = dialogButton(tr("Подобрать"), QStringLiteral("SecondaryDialogButton"));
    limitRow->addWidget(label(tr("Нужно не больше:"), QStringLiteral("DialogHint")));
    limitRow->addWidget(m_limitSpin);
    limitRow->addWidget(m_fitButton);
    limitRow->addStretch(1);
    layout->addLayout(limitRow);
    return group;
}

QWidget* CompressedPdfExportDialog::buildFineSettings()
{
    m_fineGroup = new QGroupBox(tr("Тонкие настройки"));
    m_fineGroup->setObjectName(QStringLiteral("ScanGroupBox"));
    m_fineGroup->hide();
    auto* form = new QFormLayout(m_fineGroup);
    form->setLabelAlignment(Qt::AlignLeft);

    m_dpiCombo = new QComboBox;
    m_dpiCombo->setObjectName(QStringLiteral("ScanCombo"));
    for (int dpi : kResolutions)
        m_dpiCombo->addItem(QStringLiteral("%1 dpi").arg(dpi), dpi);
    form->addRow(tr("Разрешение изображений:"), m_dpiCombo);

    auto* qualityRow = new QHBoxLayout;
    m_qualitySlider = new QSlider(Qt::Horizontal);
    m_qualitySlider->setObjectName(QStringLiteral("ScanSlider"));
    m_qualitySlider->setRange(kMinQuality, kMaxQuality);
    m_qualityValue = label(QString(), QStringLiteral("DialogHint"));
    qualityRow->addWidget(m_qualitySlider, 1);
    qualityRow->addWidget(m_qualityValue);
    form->addRow(tr("JPEG качество:"), qualityRow);

    m_grayscale = checkBox(tr("Перевести изображения в оттенки серого"));
    m_recompressSmall = checkBox(tr("Пережимать даже небольшие изображения"));
    m_rasterize = checkBox(tr("Сжимать как изображение (меньше размер, но без редактируемого текстового слоя)"));
    m_monochrome = checkBox(tr("Монохромный режим для чёрно-белых документов"));
    m_fineHint = label(QString(), QStringLiteral("DialogHint"));
    m_fineHint->setWordWrap(true);
    for (QWidget* row : std::initializer_list<QWidget*>{m_grayscale, m_recompressSmall, m_rasterize, m_monochrome,
                                                        m_fineHint})
        form->addRow(QString(), row);
    return m_fineGroup;
}

QLayout* CompressedPdfExportDialog::buildButtonRow()
{
    auto* row = new QHBoxLayout;
    m_saveDefaultsButton = dialogButton(tr("Сохранить как дефолтные"), QStringLiteral("SecondaryDialogButton"));
    m_estimateButton = dialogButton(tr("Оценить размер"), QStringLiteral("SecondaryDialogButton"));
    m_cancelButton = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    m_saveButton = dialogButton(tr("Сохранить"), QStringLiteral("PrimaryDialogButton"));
    // Return saves wherever the focus is: no other button takes it.
    for (QPushButton* button : {m_browseButton, m_fitButton, m_saveDefaultsButton, m_estimateButton, m_cancelButton})
        button->setAutoDefault(false);
    m_saveButton->setDefault(true);
    row->addWidget(m_saveDefaultsButton);
    row->addWidget(m_estimateButton);
    row->addStretch(1);
    row->addWidget(m_cancelButton);
    row->addWidget(m_saveButton);
    return row;
}

void CompressedPdfExportDialog::loadSettings()
{
    QSettings settings;
    const Options defaults;
    Options saved;
    saved.imageDpi = settings.value(settingKey("imageDpi"), defaults.imageDpi).toInt();
    saved.jpegQuality = settings.value(settingKey("jpegQuality"), defaults.jpegQuality).toInt();
    saved.grayscale = settings.value(settingKey("grayscale"), defaults.grayscale).toBool();
    saved.recompressSmallImages =
        settings.value(settingKey("recompressSmallImages"), defaults.recompressSmallImages).toBool();
    saved.rasterizePages = settings.value(settingKey("rasterizePages"), defaults.rasterizePages).toBool();
    saved.monochrome = settings.value(settingKey("monochrome"), defaults.monochrome).toBool();
    const double targetMb =
        settings.value(settingKey("targetMb"), defaultCompressionTargetMb(m_documentFileSize)).toDouble();
    m_limitSpin->setValue(std::clamp(targetMb, kMinLimitMb, kMaxLimitMb));

    const int level = levelForOptions(saved);
    const QSignalBlocker blockSlider(m_levelSlider);
    m_levelSlider->setValue(level);
    applyOptionsToFineSettings(saved);
    const CompressionStageUi stage = stageForLevel(level);
    if (stage.options == saved)
        applyStage(stage);
    else
        showCustomStage();
    refreshFineSettingsHints();
}

void CompressedPdfExportDialog::connectHandlers()
{
    connect(m_levelSlider, &QSlider::valueChanged, this, [this](int level) { onLevelChanged(level); });
    // A run that stopped at its choice cannot answer every new limit; the
    // worker runs again once the typing has paused.
    m_refitTimer = new QTimer(this);
    m_refitTimer->setSingleShot(true);
    m_refitTimer->setInterval(kRefitPauseMs);
    connect(m_refitTimer, &QTimer::timeout, this, [this] {
        if (!chooseFitFromCache(true))
            startSizeFit(false);
    });
    connect(m_limitSpin, &QDoubleSpinBox::valueChanged, this, [this] {
        m_refitTimer->stop();
        if (m_estimateCacheReady && !chooseFitFromCache(true))
            m_refitTimer->start();
    });
    connect(m_advancedButton, &QToolButton::toggled, this, [this](bool on) {
        m_advancedButton->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
        m_fineGroup->setVisible(on);
        adjustSize();
        keepOnScreen();
    });
    connect(m_dpiCombo, &QComboBox::currentIndexChanged, this, [this] { onFineSettingChanged(); });
    connect(m_qualitySlider, &QSlider::valueChanged, this, [this] { onFineSettingChanged(); });
    for (QCheckBox* box : {m_grayscale, m_recompressSmall, m_rasterize, m_monochrome})
        connect(box, &QCheckBox::toggled, this, [this] { onFineSettingChanged(); });
    connect(m_browseButton, &QPushButton::clicked, this, [this] { browse(); });
    connect(m_saveDefaultsButton, &QPushButton::clicked, this, [this] { saveDefaults(); });
    connect(m_fitButton, &QPushButton::clicked, this, [this] { startSizeFit(true); });
    connect(m_estimateButton, &QPushButton::clicked, this, [this] { estimate(); });
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_saveButton, &QPushButton::clicked, this, &QDialog::accept);
}

Options CompressedPdfExportDialog::options() const
{
    Options options;
    options.imageDpi = m_dpiCombo->currentData().toInt();
    options.jpegQuality = m_qualitySlider->value();
    options.grayscale = m_grayscale->isChecked();
    options.recompressSmallImages = m_recompressSmall->isChecked();
    options.rasterizePages = m_rasterize->isChecked();
    options.monochrome = m_monochrome->isChecked();
    return options;
}

QString CompressedPdfExportDialog::outputPath() const
{
    const QString typed = m_outputEdit->text().trimmed();
    if (typed.isEmpty())
        return {};
    // The proposal may be a numbered free name: appending the word again
    // would save under a name nobody was shown.
    if (typed == m_suggestedOutputPath)
        return typed;
    return withLocalizedPdfSuffix(withPdfExtension(typed), QStringLiteral("compressed"));
}

bool CompressedPdfExportDialog::openResultAfterSave() const
{
    return m_openAfterSave && m_openAfterSave->isChecked();
}

void CompressedPdfExportDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeOverlay();
}

// The opened fine settings make the dialog taller: on a small screen it stays
// whole within the screen, its buttons included.
void CompressedPdfExportDialog::keepOnScreen()
{
    const QScreen* shown = screen();
    if (!shown)
        return;
    const QRect available = shown->availableGeometry();
    const int wanted = std::max(heightForWidth(width()), sizeHint().height());
    resize(width(), std::min(std::max(wanted, height()), available.height()));
    const QRect frame = frameGeometry();
    const int top = std::clamp(frame.top(), available.top(), std::max(available.top(), available.bottom() - frame.height() + 1));
    if (top != frame.top())
        move(x(), top);
}

void CompressedPdfExportDialog::placeOverlay()
{
    m_overlay->setGeometry(rect().adjusted(kOverlayInset, kOverlayInset, -kOverlayInset, -kOverlayInset));
}

void CompressedPdfExportDialog::onLevelChanged(int level)
{
    const CompressionStageUi stage = stageForLevel(level);
    m_applyingLevel = true;
    applyOptionsToFineSettings(stage.options);
    m_applyingLevel = false;
    applyStage(stage);
    refreshFineSettingsHints();
    showCachedForecast();
}

void CompressedPdfExportDialog::onFineSettingChanged()
{
    if (!m_applyingLevel)
        showCustomStage();
    refreshFineSettingsHints();
    showCachedForecast();
}

QString CompressedPdfExportDialog::shownText(const char* source)
{
    return uiTranslate(QString::fromUtf8(source));
}

void CompressedPdfExportDialog::applyStage(const CompressionStageUi& stage)
{
    m_levelTitle->setText(stage.title);
    m_levelBadge->setText(stage.shortLabel);
    m_levelBadge->setStyleSheet(
        QStringLiteral("font-weight:700; color:%1; background:%2; border-radius:10px; padding:5px 10px;")
            .arg(stage.fgColor, stage.bgColor));
    m_description->setText(stage.description);
    m_warning->setText(stage.warning);
    m_warning->setStyleSheet(QStringLiteral("color:%1;").arg(stageTextColour(stage.fgColor, stage.bgColor)));
    refreshStageChips();
}

void CompressedPdfExportDialog::showCustomStage()
{
    m_levelTitle->setText(shownText("Пользовательские настройки"));
    m_levelBadge->setText(shownText("Свои"));
    m_levelBadge->setStyleSheet(QStringLiteral(
        "font-weight:700; color:#1d4ed8; background:#dbeafe; border-radius:10px; padding:5px 10px;"));
    m_description->setText(shownText("Используются значения из раздела «Расширенные»."));
    m_warning->setText(shownText("После изменения тонких настроек прогноз лучше пересчитать."));
    m_warning->setStyleSheet(
        QStringLiteral("color:%1;").arg(stageTextColour(QStringLiteral("#1d4ed8"), QStringLiteral("#dbeafe"))));
    refreshStageChips();
}

void CompressedPdfExportDialog::refreshStageChips()
{
    for (int i = 0; i < kCompressionLevelCount; ++i) {
        const CompressionStageUi stage = stageForLevel(i);
        const bool selected = i == m_levelSlider->value();
        m_chips[size_t(i)]->setStyleSheet(
            QStringLiteral("font-size:11px; font-weight:%1; color:%2; padding:3px 2px; border-radius:6px; "
                           "background:%3;")
                .arg(selected ? 700 : 500)
                .arg(selected ? stage.fgColor : stageTextColour(stage.fgColor, stage.bgColor),
                     selected ? stage.bgColor : QStringLiteral("transparent")));
    }
}

void CompressedPdfExportDialog::refreshFineSettingsHints()
{
    m_qualityValue->setText(QString::number(m_qualitySlider->value()));
    m_forecast->setText(shownText("Прогноз размера: настройки изменились, пересчитайте."));
    QStringList lines{shownText("Тонкие настройки применяются к выбранному уровню сжатия.")};
    if (m_documentFileSize > 0)
        lines << shownText("Исходный размер: %1").arg(formatFileSize(m_documentFileSize));
    lines << (m_rasterize->isChecked()
                  ? shownText("В этом режиме страницы будут записаны как изображения: файл обычно меньше, но текстовый "
                       "слой не сохраняется.")
                  : shownText("В этом режиме текстовый слой сохраняется, сжимаются только встроенные изображения."));
    if (m_monochrome->isChecked())
        lines << shownText("Монохромный режим особенно хорошо сжимает чёрный текст и таблицы, но убирает цвет.");
    if (m_encrypted && !m_rasterize->isChecked())
        lines << shownText("Файл зашифрован: в этом режиме он копируется без сжатия.");
    m_fineHint->setText(lines.join(QLatin1Char('\n')));
}

void CompressedPdfExportDialog::showCachedForecast()
{
    if (!m_estimateCacheReady)
        return;
    const Options current = options();
    for (const CachedCompressionEstimate& entry : m_estimateCache) {
        if (entry.options != current)
            continue;
        m_forecast->setText(shownText("Прогноз выбранного уровня: около %1%2.")
                                .arg(formatFileSize(entry.bytes), sampledText(entry.sampled)) +
                            QLatin1Char('\n') +
                            shownText("Лимит: %1 МБ. Подбор уже посчитан, повторный запуск не нужен.")
                                .arg(megabytesText(m_limitSpin->value())));
        return;
    }
}

void CompressedPdfExportDialog::applyOptionsToFineSettings(const Options& options)
{
    const QSignalBlocker blockDpi(m_dpiCombo);
    const QSignalBlocker blockQuality(m_qualitySlider);
    const QSignalBlocker blockGray(m_grayscale);
    const QSignalBlocker blockSmall(m_recompressSmall);
    const QSignalBlocker blockRaster(m_rasterize);
    const QSignalBlocker blockMono(m_monochrome);
    int nearest = 0;
    for (int i = 0; i < m_dpiCombo->count(); ++i) {
        const int distance = std::abs(m_dpiCombo->itemData(i).toInt() - options.imageDpi);
        if (distance < std::abs(m_dpiCombo->itemData(nearest).toInt() - options.imageDpi))
            nearest = i;
    }
    m_dpiCombo->setCurrentIndex(nearest);
    m_qualitySlider->setValue(std::clamp(options.jpegQuality, kMinQuality, kMaxQuality));
    m_grayscale->setChecked(options.grayscale);
    m_recompressSmall->setChecked(options.recompressSmallImages);
    m_rasterize->setChecked(options.rasterizePages);
    m_monochrome->setChecked(options.monochrome);
}

void CompressedPdfExportDialog::browse()
{
    const QString typed = m_outputEdit->text().trimmed();
    const QString chosen = QFileDialog::getSaveFileName(this, shownText("Сохранить сжатый PDF"),
                                                        typed.isEmpty() ? m_suggestedOutputPath : typed,
                                                        shownText("PDF файлы (*.pdf)"));
    if (!chosen.isEmpty())
        m_outputEdit->setText(withLocalizedPdfSuffix(withPdfExtension(chosen), QStringLiteral("compressed")));
}

void CompressedPdfExportDialog::saveDefaults()
{
    const Options current = options();
    QSettings settings;
    settings.setValue(settingKey("imageDpi"), current.imageDpi);
    settings.setValue(settingKey("jpegQuality"), current.jpegQuality);
    settings.setValue(settingKey("grayscale"), current.grayscale);
    settings.setValue(settingKey("recompressSmallImages"), current.recompressSmallImages);
    settings.setValue(settingKey("rasterizePages"), current.rasterizePages);
    settings.setValue(settingKey("monochrome"), current.monochrome);
    settings.setValue(settingKey("targetMb"), m_limitSpin->value());
    m_saveDefaultsButton->setText(shownText("Дефолтные сохранены"));
    QTimer::singleShot(kDefaultsShownMs, m_saveDefaultsButton,
                       [button = m_saveDefaultsButton] { button->setText(shownText("Сохранить как дефолтные")); });
}

// Both forecasts render pages for seconds: they run on a thread of their own
// (the document's lock guards pdfium) while the dialog stays responsive.
void CompressedPdfExportDialog::estimate()
{
    if (m_estimateJob)
        return;
    m_estimateButton->setEnabled(false);
    m_forecast->setText(shownText("Считаю прогноз размера..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Options current = options();
    auto outcome = std::make_shared<EstimateOutcome>();
    m_estimateJob = std::make_unique<DocumentJob>(m_document);
    connect(m_estimateJob.get(), &DocumentJob::finished, this, [this, current, outcome] {
        QApplication::restoreOverrideCursor();
        m_estimateJob.release()->deleteLater();
        QStringList lines;
        if (outcome->bytes >= 1)
            lines << shownText("Прогноз текущих настроек: около %1%2.")
                         .arg(formatFileSize(outcome->bytes), sampledText(outcome->sampled));
        else
            lines << shownText("Не удалось посчитать текущие настройки: %1").arg(outcome->error);
        if (outcome->minimum.bytes > 0)
            lines << shownText("Минимальный прогноз: около %1, режим: %2%3.")
                         .arg(formatFileSize(outcome->minimum.bytes), uiTranslate(outcome->minimum.label),
                              sampledText(outcome->minimum.sampled));
        if (!current.rasterizePages)
            lines << shownText("Для режима с сохранением объектов это ориентир: итоговый размер зависит от внутренних "
                        "ресурсов PDF.");
        else if (current.monochrome)
            lines << shownText("Монохромный режим обычно самый маленький, но убирает цвет.");
        else
            lines << shownText("Растровый режим уменьшает файл ценой удаления редактируемого текстового слоя.");
        m_forecast->setText(lines.join(QLatin1Char('\n')));
        m_estimateButton->setEnabled(!isFitRunning());
    });
    m_estimateJob->start([current, outcome](DocumentJob::Control& control) {
        PdfDocument& document = *control.document();
        outcome->bytes = document.estimateCompressedSize(current, &outcome->sampled);
        if (outcome->bytes < 1)
            outcome->error = document.lastError();
        outcome->minimum = document.estimateMinimumCompressedSize();
    });
}

void CompressedPdfExportDialog::applyChoice(const Options& options)
{
    const int level = levelForOptions(options);
    {
        const QSignalBlocker blockSlider(m_levelSlider);
        m_levelSlider->setValue(level);
    }
    applyOptionsToFineSettings(options);
    const CompressionStageUi stage = stageForLevel(level);
    if (stage.options == options)
        applyStage(stage);
    else
        showCustomStage();
    refreshFineSettingsHints();
}

QString CompressedPdfExportDialog::fitResultText(const QString& firstLine, bool fits, const QString& label,
                                                 qint64 bytes, bool sampled, const Options& options,
                                                 bool keepsText) const
{
    constexpr int kLowDpi = 80;
    constexpr int kLowQuality = 25;
    QStringList lines;
    if (!firstLine.isEmpty())
        lines << firstLine;
    const QString limit = megabytesText(m_limitSpin->value());
    if (fits) {
        lines << shownText("Подобрано под лимит %1 МБ: %2.").arg(limit, uiTranslate(label))
              << shownText("Прогноз итогового размера: около %1%2.").arg(formatFileSize(bytes), sampledText(sampled));
    } else if (keepsText) {
        lines << shownText("Даже самый жёсткий режим не укладывается в %1 МБ.").arg(limit)
              << shownText("Выбран самый маленький вариант с сохранением текста: %1, около %2%3.")
                     .arg(uiTranslate(label), formatFileSize(bytes), sampledText(sampled));
    } else {
        lines << shownText("Даже самый жёсткий режим не укладывается в %1 МБ.").arg(limit)
              << shownText("Выбран минимальный найденный вариант: %1, около %2%3.")
                     .arg(uiTranslate(label), formatFileSize(bytes), sampledText(sampled));
    }
    if (options.rasterizePages && documentHasText())
        lines << shownText("Внимание: текст документа не сохранится, страницы станут изображениями.");
    if (options.monochrome)
        lines << shownText("Внимание: выбран монохромный режим, цвет будет удалён.");
    else if (options.imageDpi <= kLowDpi || options.jpegQuality <= kLowQuality)
        lines << shownText("Внимание: качество будет заметно снижено ради размера.");
    return lines.join(QLatin1Char('\n'));
}
