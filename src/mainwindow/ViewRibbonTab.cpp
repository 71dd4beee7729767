#include "ViewRibbonTab.h"

#include "ButtonKit.h"
#include "MainWindow.h"

#include <QButtonGroup>
#include <QToolButton>

ViewRibbonTab::ViewRibbonTab(MainWindow& window, bool fontLabelsShown)
{
    QToolButton* screen = window.toolButton(QStringLiteral("fullscreen"), tr("Экран"), false, false);
    connect(screen, &QToolButton::clicked, this, &ViewRibbonTab::fullScreenToggled);

    auto* layouts = new QButtonGroup(this);
    layouts->setExclusive(true);
    auto layoutButton = [&](const QString& icon, const QString& text, Layout layout) {
        QToolButton* button = window.toolButton(icon, text, true, false);
        button->setChecked(layout == Thumbnails);
        layouts->addButton(button);
        connect(button, &QToolButton::clicked, this, [this, layout] { emit layoutChosen(layout); });
        return button;
    };
    QToolButton* single = layoutButton(QStringLiteral("single-page"), tr("Одна"), SinglePage);
    QToolButton* continuous = layoutButton(QStringLiteral("continuous-view"), tr("Лента"), Continuous);
    QToolButton* thumbnails = layoutButton(QStringLiteral("thumbnails"), tr("Миниатюры"), Thumbnails);

    QToolButton* light = iconOnlyButton(QStringLiteral("theme-light"), tr("Светлая тема"), false);
    QToolButton* dark = iconOnlyButton(QStringLiteral("theme-dark"), tr("Тёмная тема"), false);
    QToolButton* properties = window.toolButton(QStringLiteral("properties"), tr("Свойства"), false, false);
    QToolButton* settings = window.toolButton(QStringLiteral("settings"), tr("Настройки"), false, false);
    connect(light, &QToolButton::clicked, this, &ViewRibbonTab::lightThemeChosen);
    connect(dark, &QToolButton::clicked, this, &ViewRibbonTab::darkThemeChosen);
    connect(settings, &QToolButton::clicked, this, &ViewRibbonTab::settingsRequested);
    QToolButton* updates = window.toolButton(QStringLiteral("verify"), tr("Обновления"), false, false);
    updates->setToolTip(tr("Проверить обновления приложения"));
    QToolButton* fonts = window.toolButton(QStringLiteral("debug-font"), tr("Шрифты"), true, false);
    fonts->setToolTip(tr("Показывать подписи шрифта и размера над OCR-блоками"));
    fonts->setChecked(fontLabelsShown);
    connect(fonts, &QToolButton::toggled, this, &ViewRibbonTab::fontLabelsToggled);
    QToolButton* about = window.toolButton(QStringLiteral("vorn-app"), tr("О программе"), false, false);
    connect(properties, &QToolButton::clicked, &window, &MainWindow::showDocumentPropertiesDialog);
    connect(updates, &QToolButton::clicked, &window, &MainWindow::checkForUpdates);
    connect(about, &QToolButton::clicked, &window, &MainWindow::showAboutDialog);

    fillRibbonPage(this, {window.ribbonGroup(tr("Окно"), {screen, single, continuous, thumbnails}),
                          window.ribbonGroup(tr("Тема"), {light, dark}),
                          window.ribbonGroup(tr("Параметры"), {properties, settings, updates, fonts, about})});
}
