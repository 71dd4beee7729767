#include "SettingsDialog.h"

#include "UpdateManifest.h"

#include "DialogKit.h"
#include "MainWindow.h"
#include "PdfView.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>

#include <cmath>

namespace {

constexpr int kDialogWidth = 820;
constexpr int kDialogHeight = 560;
constexpr int kSectionListWidth = 160;
constexpr int kSpacing = 14;
constexpr int kPageSpacing = 10;

const QList<double> kRenderZooms{0.0, 1.5, 2.0, 3.0};

QLabel* wrapped(const QString& text, const QString& objectName)
{
    QLabel* result = label(text, objectName);
    result->setWordWrap(true);
    return result;
}

// A page: its title, its hint (when there is one), its groups, a stretch.
QWidget* settingsPage(const QString& title, const QString& hint, const QList<QWidget*>& groups)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kPageSpacing);
    layout->addWidget(wrapped(title, QStringLiteral("DialogSubtitle")));
    if (!hint.isEmpty())
        layout->addWidget(wrapped(hint, QStringLiteral("DialogHint")));
    for (QWidget* group : groups)
        layout->addWidget(group);
    layout->addStretch(1);
    return page;
}

QGridLayout* gridGroup(QGroupBox* box)
{
    return new QGridLayout(box);
}

// A labelled row; the label names its control for keyboard users.
void addRow(QGridLayout* grid, int row, const QString& text, QWidget* control)
{
    QLabel* caption = label(text, QString());
    caption->setBuddy(control);
    grid->addWidget(caption, row, 0);
    grid->addWidget(control, row, 1);
}

QComboBox* choiceBox(const QList<std::pair<QString, QVariant>>& items)
{
    auto* box = new QComboBox;
    for (const auto& [text, data] : items)
        box->addItem(text, data);
    return box;
}

void selectData(QComboBox* box, const QVariant& data, int fallback)
{
    const int index = box->findData(data);
    box->setCurrentIndex(index >= 0 ? index : fallback);
}

QSpinBox* spinBox(int minimum, int maximum, int step, const QString& suffix, int value)
{
    auto* spin = new QSpinBox;
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    spin->setSuffix(suffix);
    spin->setValue(value);
    return spin;
}

QCheckBox* checkBox(const QString& text, bool checked)
{
    auto* box = new QCheckBox(text);
    box->setChecked(checked);
    return box;
}

// Values older versions stored as the Russian item texts.
QString legacyValue(const QString& stored, const QList<std::pair<QString, QString>>& legacy)
{
    for (const auto& [text, value] : legacy) {
        if (stored == text)
            return value;
    }
    return stored;
}

} // namespace

SettingsDialog::SettingsDialog(MainWindow& window)
    : QDialog(&window)
    , m_window(window)
{
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Настройки"));
    resize(kDialogWidth, kDialogHeight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kSpacing, kSpacing, kSpacing, kSpacing);
    layout->setSpacing(kSpacing);

    auto* sections = new QListWidget;
    sections->setObjectName(QStringLiteral("SettingsSections"));
    sections->setFixedWidth(kSectionListWidth);
    sections->addItems({tr("Интерфейс"), tr("Документы"), tr("OCR"), tr("Печать"), tr("Подпись"), tr("Обслуживание")});
    layout->addWidget(sections);

    auto* right = new QWidget;
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kPageSpacing);
    column->addWidget(label(tr("Настройки приложения"), QStringLiteral("DialogTitle")));
    auto* stack = new QStackedWidget;
    stack->setObjectName(QStringLiteral("SettingsStack"));
    for (QWidget* page : {buildInterfacePage(), buildDocumentsPage(), buildOcrPage(), buildPrintPage(),
                          buildSigningPage(), buildServicePage()})
        stack->addWidget(page);
    column->addWidget(stack, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* applyButton = dialogButton(tr("Применить"), QStringLiteral("PrimaryDialogButton"));
    buttons->addWidget(cancel);
    buttons->addWidget(applyButton);
    column->addLayout(buttons);
    layout->addWidget(right, 1);

    // Enter applies, whichever control has the focus: a focused button of a
    // page (clearing the recent files, resetting the window) never takes it.
    // Only a focused "Отмена" takes Enter for itself, and closes.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(button == cancel);
        button->setDefault(button == applyButton);
    }

    connect(sections, &QListWidget::currentRowChanged, stack, &QStackedWidget::setCurrentIndex);
    sections->setCurrentRow(0);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
}

int SettingsDialog::renderZoomIndex(const QList<double>& values, double stored)
{
    for (int i = 0; i < values.size(); ++i) {
        const double a = values[i] + 1.0;
        const double b = stored + 1.0;
        if (std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b)))
            return i;
    }
    return 0;
}

QWidget* SettingsDialog::buildInterfacePage()
{
    QSettings settings;
    auto* group = new QGroupBox(tr("Интерфейс"));
    QGridLayout* grid = gridGroup(group);
    m_density = choiceBox({{tr("Компактный"), {}}, {tr("Обычный"), {}}, {tr("Крупный"), {}}});
    m_density->setCurrentIndex(qBound(0, settings.value(QStringLiteral("ui/density"), 1).toInt(), 2));
    addRow(grid, 0, tr("Плотность:"), m_density);
    m_theme = choiceBox({{tr("Светлая"), QStringLiteral("light")}, {tr("Тёмная"), QStringLiteral("dark")}});
    selectData(m_theme, settings.value(QStringLiteral("ui/theme"), QStringLiteral("light")).toString(), 0);
    addRow(grid, 1, tr("Тема:"), m_theme);
    m_language = new QComboBox;
    m_language->setProperty("_vorn_i18n_skip_items", true);
    for (const auto& [code, name] : uiLanguageList())
        m_language->addItem(name, code);
    selectData(m_language, settings.value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString(), 0);
    addRow(grid, 2, tr("Язык:"), m_language);
    grid->addWidget(wrapped(tr("Переводы подключаются из JSON. Изменение языка применяется сразу."),
                            QStringLiteral("DialogSubtitle")),
                    3, 0, 1, 2);
    m_floatingBar = checkBox(tr("Показывать плавающую панель"), settings.value(QStringLiteral("ui/floatingBar"), true).toBool());
    grid->addWidget(m_floatingBar, 4, 0, 1, 2);
    m_rememberTab = checkBox(tr("Запоминать последнюю вкладку ленты"),
                             settings.value(QStringLiteral("ui/rememberTab"), false).toBool());
    grid->addWidget(m_rememberTab, 5, 0, 1, 2);
    return settingsPage(tr("Интерфейс"), tr("Эти параметры применяются сразу после нажатия «Применить»."), {group});
}

QWidget* SettingsDialog::buildDocumentsPage()
{
    QSettings settings;
    auto* group = new QGroupBox(tr("Документы"));
    QGridLayout* grid = gridGroup(group);
    m_rememberRecent = checkBox(tr("Вести список недавних файлов"),
                                settings.value(QStringLiteral("doc/rememberRecent"), true).toBool());
    grid->addWidget(m_rememberRecent, 0, 0, 1, 2);
    m_restoreLast = checkBox(tr("Открывать последний документ при запуске"),
                             settings.value(QStringLiteral("doc/restoreLastDocument"), false).toBool());
    grid->addWidget(m_restoreLast, 1, 0, 1, 2);
    m_autoSave = checkBox(tr("Автосохранение"), settings.value(QStringLiteral("doc/autoSave"), false).toBool());
    m_autoSaveMinutes = spinBox(MainWindow::kMinAutoSaveMinutes, MainWindow::kMaxAutoSaveMinutes, 1, tr(" мин"),
                                settings.value(QStringLiteral("doc/autoSaveMinutes"), 5).toInt());
    m_autoSaveMinutes->setEnabled(m_autoSave->isChecked());
    connect(m_autoSave, &QCheckBox::toggled, m_autoSaveMinutes, &QSpinBox::setEnabled);
    grid->addWidget(m_autoSave, 2, 0);
    grid->addWidget(m_autoSaveMinutes, 2, 1);
    QPushButton* clear = dialogButton(tr("Очистить недавние файлы"), QStringLiteral("SecondaryDialogButton"));
    connect(clear, &QPushButton::clicked, this, &SettingsDialog::clearRecentFiles);
    grid->addWidget(clear, 3, 0, 1, 2);
    return settingsPage(tr("Документы"), tr("Настройки открытия, списка недавних файлов и автосохранения."), {group});
}

QWidget* SettingsDialog::buildOcrPage()
{
    QSettings settings;
    auto* group = new QGroupBox(tr("Распознавание"));
    QGridLayout* grid = gridGroup(group);
    m_ocrLanguages = choiceBox({{tr("Русский + English"), QStringLiteral("rus+eng")},
                                {tr("Русский"), QStringLiteral("rus")},
                                {QStringLiteral("English"), QStringLiteral("eng")}});
    selectData(m_ocrLanguages, settings.value(QStringLiteral("ocr/languages"), QStringLiteral("rus+eng")).toString(), 0);
    addRow(grid, 0, tr("Языки:"), m_ocrLanguages);
    const QStringList qualities{tr("Авто"), tr("Быстро"), tr("Точно"), tr("Максимум")};
    m_ocrQuality = new QComboBox;
    for (int i = 0; i < qualities.size(); ++i)
        m_ocrQuality->addItem(qualities[i], kRenderZooms[i]);
    m_ocrQuality->setCurrentIndex(
        renderZoomIndex(kRenderZooms, settings.value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble()));
    addRow(grid, 1, tr("Качество:"), m_ocrQuality);
    m_preferNativeText = checkBox(tr("Использовать готовый текстовый слой PDF без OCR"),
                                  settings.value(QStringLiteral("ocr/preferNativeTextLayer"), true).toBool());
    grid->addWidget(m_preferNativeText, 2, 0, 1, 2);
    m_regionOnly = checkBox(tr("Если выделена область, распознавать только её"),
                            settings.value(QStringLiteral("ocr/selectedRegionOnly"), true).toBool());
    grid->addWidget(m_regionOnly, 3, 0, 1, 2);
    m_fontLabels = checkBox(tr("Показывать подписи шрифтов над блоками"),
                            m_window.pdfView && m_window.pdfView->ocrDebugLabelsVisible());
    grid->addWidget(m_fontLabels, 4, 0, 1, 2);
    return settingsPage(tr("OCR"), tr("Эти настройки используются при следующем запуске распознавания."), {group});
}

QWidget* SettingsDialog::buildPrintPage()
{
    QSettings settings;
    auto* group = new QGroupBox(tr("Печать"));
    QGridLayout* grid = gridGroup(group);
    m_paper = new QComboBox;
    m_paper->addItems({QStringLiteral("A4"), QStringLiteral("A5"), QStringLiteral("Letter"), QStringLiteral("Legal")});
    m_paper->setCurrentText(settings.value(QStringLiteral("print/paper"), QStringLiteral("A4")).toString());
    addRow(grid, 0, tr("Бумага:"), m_paper);
    m_orientation = choiceBox({{tr("Книжная"), QStringLiteral("portrait")}, {tr("Альбомная"), QStringLiteral("landscape")}});
    const QString orientation =
        legacyValue(settings.value(QStringLiteral("print/orientation"), QStringLiteral("portrait")).toString(),
                    {{tr("Книжная"), QStringLiteral("portrait")}, {tr("Альбомная"), QStringLiteral("landscape")}});
    selectData(m_orientation, orientation, 0);
    addRow(grid, 1, tr("Ориентация:"), m_orientation);
    m_dpi = spinBox(72, 1200, 50, QStringLiteral(" dpi"), settings.value(QStringLiteral("print/dpi"), 300).toInt());
    addRow(grid, 2, tr("Разрешение:"), m_dpi);
    m_copies = spinBox(1, 99, 1, QString(), settings.value(QStringLiteral("print/copies"), 1).toInt());
    addRow(grid, 3, tr("Копии:"), m_copies);
    m_scale = choiceBox({{tr("По размеру страницы"), QStringLiteral("fit")},
                         {QStringLiteral("100%"), QStringLiteral("100")},
                         {QStringLiteral("125%"), QStringLiteral("125")},
                         {tr("По ширине"), QStringLiteral("width")}});
    const QString scale =
        legacyValue(settings.value(QStringLiteral("print/scale"), QStringLiteral("fit")).toString(),
                    {{tr("По размеру страницы"), QStringLiteral("fit")}, {tr("По ширине"), QStringLiteral("width")}});
    selectData(m_scale, scale, 0);
    addRow(grid, 4, tr("Масштаб:"), m_scale);
    return settingsPage(tr("Печать"), tr("Эти значения подставляются по умолчанию в окно печати и системный диалог."),
                        {group});
}

QWidget* SettingsDialog::buildSigningPage()
{
    QSettings settings;
    auto* group = new QGroupBox(tr("Сертификаты"));
    QGridLayout* grid = gridGroup(group);
    m_revocationMode = choiceBox({{tr("Проверять при поиске сертификатов (экспериментально)"), QStringLiteral("search")},
                                  {tr("Проверять при подписании документа"), QStringLiteral("sign")},
                                  {tr("Не проверять"), QStringLiteral("never")}});
    selectData(m_revocationMode, settings.value(QStringLiteral("signing/revocationMode"), QStringLiteral("sign")).toString(), 1);
    addRow(grid, 0, tr("Проверка отзыва:"), m_revocationMode);
    grid->addWidget(wrapped(tr("Если проверять отзыв при поиске, список сертификатов будет точнее, но открытие окна "
                               "подписи может занимать больше времени. Режим «при подписании» быстрее показывает "
                               "список и проверяет выбранный сертификат только перед созданием подписи."),
                            QStringLiteral("DialogHint")),
                    1, 0, 1, 2);
    auto timeout = [&](const QString& key, int minimum, int maximum, int step, int fallback) {
        QSpinBox* spin = spinBox(minimum, maximum, step, tr(" сек"), settings.value(key, fallback).toInt());
        spin->setObjectName(QStringLiteral("ScanSpin"));
        return spin;
    };
    m_searchTimeout = timeout(QStringLiteral("signing/searchTimeoutSec"), 30, 900, 1, 120);
    addRow(grid, 2, tr("Таймаут поиска:"), m_searchTimeout);
    m_searchWithRevocationTimeout = timeout(QStringLiteral("signing/searchWithRevocationTimeoutSec"), 60, 3600, 60, 900);
    addRow(grid, 3, tr("Таймаут поиска с отзывами:"), m_searchWithRevocationTimeout);
    m_revocationTimeout = timeout(QStringLiteral("signing/revocationTimeoutSec"), 20, 600, 10, 90);
    addRow(grid, 4, tr("Таймаут проверки одного сертификата:"), m_revocationTimeout);
    return settingsPage(tr("Подпись"), tr("Настройки проверки сертификатов и электронной подписи."), {group});
}

QWidget* SettingsDialog::buildServicePage()
{
    QSettings settings;
    auto* service = new QGroupBox(tr("Сервис"));
    auto* serviceLayout = new QVBoxLayout(service);
    QPushButton* resetWindow = dialogButton(tr("Сбросить положение окна"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* resetTab = dialogButton(tr("Сбросить последнюю вкладку ленты"), QStringLiteral("SecondaryDialogButton"));
    connect(resetWindow, &QPushButton::clicked, this, &SettingsDialog::resetWindowPlacement);
    connect(resetTab, &QPushButton::clicked, this, &SettingsDialog::resetRibbonTab);
    serviceLayout->addWidget(resetWindow);
    serviceLayout->addWidget(resetTab);
    serviceLayout->addStretch(1);

    auto* updates = new QGroupBox(tr("Обновления"));
    QGridLayout* grid = gridGroup(updates);
    m_manifestUrl = dialogLineEdit(settings.value(QStringLiteral("updates/manifestUrl"), defaultUpdateManifestUrl()).toString());
    addRow(grid, 0, QStringLiteral("Manifest URL:"), m_manifestUrl);
    m_channel = choiceBox({{QStringLiteral("stable"), QStringLiteral("stable")}, {QStringLiteral("beta"), QStringLiteral("beta")}});
    selectData(m_channel, settings.value(QStringLiteral("updates/channel"), QStringLiteral("stable")).toString(), 0);
    addRow(grid, 1, tr("Канал:"), m_channel);
    // Checks the stored address and channel, not the ones edited here.
    QPushButton* check = dialogButton(tr("Проверить обновления"), QStringLiteral("SecondaryDialogButton"));
    connect(check, &QPushButton::clicked, &m_window, &MainWindow::checkForUpdates);
    grid->addWidget(check, 2, 1, Qt::AlignRight);
    return settingsPage(tr("Обслуживание"), tr("Быстрые действия для очистки состояния приложения."), {service, updates});
}

void SettingsDialog::clearRecentFiles()
{
    QSettings().remove(QStringLiteral("recentFiles"));
    m_window.setStatusText(tr("Список недавних файлов очищен"));
}

void SettingsDialog::resetWindowPlacement()
{
    QSettings settings;
    settings.remove(QStringLiteral("window/normalGeometry"));
    settings.remove(QStringLiteral("window/maximized"));
    settings.remove(QStringLiteral("window/fullscreen"));
    m_window.showNormal();
    m_window.placeFirstWindow();
    m_window.setStatusText(tr("Положение окна сброшено"));
}

void SettingsDialog::resetRibbonTab()
{
    QSettings().remove(QStringLiteral("ui/lastRibbonTab"));
}

void SettingsDialog::apply()
{
    QSettings settings;
    settings.setValue(QStringLiteral("ui/density"), m_density->currentIndex());
    const QString language = m_language->currentData().toString();
    settings.setValue(QStringLiteral("ui/language"), language);
    qApp->setProperty("uiLanguage", language);
    settings.setValue(QStringLiteral("ui/floatingBar"), m_floatingBar->isChecked());
    settings.setValue(QStringLiteral("ui/rememberTab"), m_rememberTab->isChecked());
    if (m_rememberTab->isChecked() && m_window.ribbon)
        settings.setValue(QStringLiteral("ui/lastRibbonTab"), m_window.ribbon->currentIndex());
    else
        settings.remove(QStringLiteral("ui/lastRibbonTab"));

    settings.setValue(QStringLiteral("doc/rememberRecent"), m_rememberRecent->isChecked());
    settings.setValue(QStringLiteral("doc/restoreLastDocument"), m_restoreLast->isChecked());
    settings.setValue(QStringLiteral("doc/autoSave"), m_autoSave->isChecked());
    settings.setValue(QStringLiteral("doc/autoSaveMinutes"), m_autoSaveMinutes->value());

    const QString oldOcrLanguages = settings.value(QStringLiteral("ocr/languages"), QStringLiteral("rus+eng")).toString();
    const QString ocrLanguages = m_ocrLanguages->currentData().toString();
    settings.setValue(QStringLiteral("ocr/languages"), ocrLanguages);
    settings.setValue(QStringLiteral("ocr/renderZoom"), m_ocrQuality->currentData().toDouble());
    settings.setValue(QStringLiteral("ocr/preferNativeTextLayer"), m_preferNativeText->isChecked());
    settings.setValue(QStringLiteral("ocr/selectedRegionOnly"), m_regionOnly->isChecked());
    settings.setValue(QStringLiteral("ocr/showFontLabels"), m_fontLabels->isChecked());

    settings.setValue(QStringLiteral("print/paper"), m_paper->currentText());
    settings.setValue(QStringLiteral("print/orientation"), m_orientation->currentData().toString());
    settings.setValue(QStringLiteral("print/dpi"), m_dpi->value());
    settings.setValue(QStringLiteral("print/copies"), m_copies->value());
    settings.setValue(QStringLiteral("print/scale"), m_scale->currentData().toString());

    settings.setValue(QStringLiteral("signing/revocationMode"), m_revocationMode->currentData().toString());
    settings.setValue(QStringLiteral("signing/searchTimeoutSec"), m_searchTimeout->value());
    settings.setValue(QStringLiteral("signing/searchWithRevocationTimeoutSec"), m_searchWithRevocationTimeout->value());
    settings.setValue(QStringLiteral("signing/revocationTimeoutSec"), m_revocationTimeout->value());

    settings.setValue(QStringLiteral("updates/manifestUrl"), m_manifestUrl->text().trimmed());
    settings.setValue(QStringLiteral("updates/channel"), m_channel->currentData().toString());

    if (m_theme->currentData().toString() == QLatin1String("dark"))
        m_window.setDarkTheme();
    else
        m_window.setLightTheme();
    m_window.applyStoredSettings();
    // A running recognition keeps its engine; it goes when the run ends.
    if (ocrLanguages != oldOcrLanguages)
        m_window.discardOcrEngine();
    m_window.setStatusText(tr("Настройки применены"));
    close();
}
