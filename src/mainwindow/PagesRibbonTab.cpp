#include "PagesRibbonTab.h"

#include "ButtonKit.h"
#include "MainWindow.h"
#include "UiTranslate.h"

#include <QToolButton>

PagesRibbonTab::PagesRibbonTab(MainWindow& window)
{
    auto button = [&window](const QString& icon, const QString& text, void (MainWindow::*slot)()) {
        QToolButton* made = window.toolButton(icon, text, false, false);
        connect(made, &QToolButton::clicked, &window, slot);
        return made;
    };
    m_insert = button(QStringLiteral("insert-page"), tr("Вставить"), &MainWindow::onInsertBlankPage);
    setTextContext(m_insert, QStringLiteral("insert"));  // a page, not the clipboard
    m_remove = button(QStringLiteral("remove-page"), tr("Удалить"), &MainWindow::onDeleteCurrentPage);
    // Not the kit's rule for "Дубль", which opens the page tools.
    QToolButton* duplicate = button(QStringLiteral("duplicate-page"), tr("Дубль"), &MainWindow::onDuplicatePage);
    QToolButton* clear = button(QStringLiteral("clear-page"), tr("Очистить"), &MainWindow::onClearPage);
    QToolButton* left = button(QStringLiteral("rotate-left"), tr("Влево"), &MainWindow::onRotateCCW);
    QToolButton* right = button(QStringLiteral("rotate-right"), tr("Вправо"), &MainWindow::onRotateCW);
    QToolButton* find = window.toolButton(QStringLiteral("search"), tr("Найти"), false, false);
    connect(find, &QToolButton::clicked, &window, &MainWindow::showSearchDialog);
    QToolButton* width = window.toolButton(QStringLiteral("fit-width"), tr("Ширина"), false, true);
    QToolButton* screen = window.toolButton(QStringLiteral("fullscreen"), tr("Экран"), false, true);

    fillRibbonPage(this, {window.ribbonGroup(tr("Страницы"), {m_insert, m_remove, duplicate, clear}),
                          window.ribbonGroup(tr("Поворот"), {left, right}),
                          window.ribbonGroup(tr("Навигация"), {find, width, screen})});
}
