#include "InsertRibbonTab.h"

#include "ButtonKit.h"
#include "MainWindow.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QLabel>
#include <QToolButton>

namespace {

constexpr int kPositionBoxWidth = 200;

} // namespace

InsertRibbonTab::InsertRibbonTab(MainWindow& window, Groups groups)
{
    QList<QWidget*> made;
    auto plain = [&window](const QString& icon, const QString& text) {
        return window.toolButton(icon, text, false, false);
    };
    if (groups.imports) {
        auto* position = new QComboBox;
        position->setObjectName(QStringLiteral("RibbonCombo"));
        position->setFixedWidth(kPositionBoxWidth);
        position->addItems({tr("В конец документа"), tr("После текущей страницы"), tr("Перед текущей страницей")});
        made << window.ribbonGroup(tr("Позиция"), {new QLabel(tr("Вставить:")), position});

        auto source = [&](const QString& icon, const QString& text, MainWindow::ImportSource from) {
            QToolButton* button = plain(icon, text);
            connect(button, &QToolButton::clicked, &window,
                    [&window, position, from] { window.importFilesAtPosition(from, position->currentIndex()); });
            return button;
        };
        QToolButton* scanner = plain(QStringLiteral("scanner"), tr("Сканер"));
        connect(scanner, &QToolButton::clicked, &window, &MainWindow::showScanDialog);
        made << window.ribbonGroup(
            tr("Добавить страницы из"),
            {source(QStringLiteral("import-file"), tr("Любой файл"), MainWindow::ImportSource::AnyFiles),
             source(QStringLiteral("open"), QStringLiteral("PDF"), MainWindow::ImportSource::Pdf),
             source(QStringLiteral("image-import"), tr("Изображение"), MainWindow::ImportSource::Images),
             source(QStringLiteral("document-import"), tr("Документ"), MainWindow::ImportSource::Document),
             scanner});
    }
    if (groups.objects) {
        // The form-field buttons do nothing.
        QToolButton* text = plain(QStringLiteral("edit-text"), tr("Текст"));
        QToolButton* image = plain(QStringLiteral("edit-image"), tr("Картинка"));
        QToolButton* symbol = plain(QStringLiteral("special-symbol"), tr("Символ"));
        connect(text, &QToolButton::clicked, &window, &MainWindow::onEditInsertText);
        connect(image, &QToolButton::clicked, &window, &MainWindow::onEditInsertImage);
        connect(symbol, &QToolButton::clicked, &window, &MainWindow::showSpecialCharactersDialog);
        made << window.ribbonGroup(tr("Объекты"), {text, image, symbol});
        made << window.ribbonGroup(tr("Поля формы"), {plain(QStringLiteral("edit-text"), tr("Текст")),
                                                      plain(QStringLiteral("form-checkbox"), tr("Флажок")),
                                                      plain(QStringLiteral("form-list"), tr("Список")),
                                                      plain(QStringLiteral("form-date"), tr("Дата"))});
    }
    if (groups.facsimiles) {
        QToolButton* insert = plain(QStringLiteral("signature"), tr("Вставить"));
        setTextContext(insert, QStringLiteral("insert"));
        QToolButton* add = plain(QStringLiteral("signature"), tr("Добавить"));
        QToolButton* edit = plain(QStringLiteral("signature"), tr("Изменить"));
        connect(insert, &QToolButton::clicked, &window, &MainWindow::onFacsimileInsert);
        connect(add, &QToolButton::clicked, &window, &MainWindow::onFacsimileAdd);
        connect(edit, &QToolButton::clicked, &window, &MainWindow::onFacsimileEdit);
        made << window.ribbonGroup(tr("Факсимиле"), {insert, add, edit});
    }
    fillRibbonPage(this, made);
}
