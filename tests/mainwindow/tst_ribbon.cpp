// The ribbon: its tabs by edition, the remembered tab, the commands tool
// buttons find from their icon and text, the button kinds and the groups.
#include "ButtonKit.h"
#include "ToolButtonRules.h"
#include "WindowTestSupport.h"

#include <QBoxLayout>
#include <QDialog>
#include <QTabWidget>
#include <QToolButton>

#include <memory>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)
Q_DECLARE_METATYPE(ToolCommand)

namespace {

QTabWidget* ribbon(MainWindow& window)
{
    return window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
}

QStringList tabLabels(QTabWidget* tabs)
{
    QStringList labels;
    for (int i = 0; i < tabs->count(); ++i)
        labels << tabs->tabText(i);
    return labels;
}

} // namespace

class RibbonTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void tabsFollowEdition_data();
    void tabsFollowEdition();
    void tabRememberedOnlyWhenAsked();
    void rememberedTabRestoredWhenItExists_data();
    void rememberedTabRestoredWhenItExists();

    void commandChosenByFirstMatchingRule_data();
    void commandChosenByFirstMatchingRule();
    void wiredZoomButtonsZoom();
    void fitWidthNeedsItsText();
    void fullScreenButtonToggles();
    void closeButtonOpensModelessPrompt();
    void unwiredButtonDoesNothing();
    void checkableToolButtonStartsChecked();

    void kitButtonKinds_data();
    void kitButtonKinds();
    void groupsEndWithTheirTitle();
};

void RibbonTest::tabsFollowEdition_data()
{
    QTest::addColumn<AppProduct>("edition");
    QTest::addColumn<QStringList>("tabs");
    QTest::newRow("editor") << AppProduct::editor
                            << QStringList{"Главная", "Вставка", "Страницы", "Разметка", "Вид"};
    QTest::newRow("viewer") << AppProduct::viewer << QStringList{"Главная", "Вставка", "Разметка", "Вид"};
    QTest::newRow("signing") << AppProduct::ecp << QStringList{"Главная", "Разметка", "Вид"};
}

void RibbonTest::tabsFollowEdition()
{
    QFETCH(AppProduct, edition);
    QFETCH(QStringList, tabs);
    MainWindow window(edition);
    QCOMPARE(tabLabels(ribbon(window)), tabs);
    for (int i = 0; i < ribbon(window)->count(); ++i)
        QCOMPARE(ribbon(window)->widget(i)->objectName(), QStringLiteral("RibbonPage"));
}

void RibbonTest::tabRememberedOnlyWhenAsked()
{
    MainWindow window(AppProduct::editor);
    ribbon(window)->setCurrentIndex(2);
    QVERIFY(!QSettings().contains(QStringLiteral("ui/lastRibbonTab")));

    QSettings().setValue(QStringLiteral("ui/rememberTab"), true);
    ribbon(window)->setCurrentIndex(3);
    QCOMPARE(QSettings().value(QStringLiteral("ui/lastRibbonTab")).toInt(), 3);
}

void RibbonTest::rememberedTabRestoredWhenItExists_data()
{
    QTest::addColumn<AppProduct>("edition");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("editor, last tab") << AppProduct::editor << true << 4 << 4;
    QTest::newRow("signing edition has three tabs") << AppProduct::ecp << true << 4 << 0;
    QTest::newRow("negative index") << AppProduct::editor << true << -1 << 0;
    QTest::newRow("not remembering") << AppProduct::editor << false << 2 << 0;
}

void RibbonTest::rememberedTabRestoredWhenItExists()
{
    QFETCH(AppProduct, edition);
    QFETCH(bool, remember);
    QFETCH(int, stored);
    QFETCH(int, shown);
    QSettings().setValue(QStringLiteral("ui/rememberTab"), remember);
    QSettings().setValue(QStringLiteral("ui/lastRibbonTab"), stored);
    MainWindow window(edition);
    QCOMPARE(ribbon(window)->currentIndex(), shown);
}

void RibbonTest::commandChosenByFirstMatchingRule_data()
{
    using C = ToolCommand;
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<ToolCommand>("command");
    QTest::newRow("print icon whatever the text") << "print" << "Открыть" << C::Print;
    QTest::newRow("open text whatever the icon") << "zoom-in" << "Открыть" << C::OpenDialog;
    QTest::newRow("open icon") << "folder" << "" << C::None;
    QTest::newRow("open icon exact") << "open" << "Файл" << C::OpenDialog;
    QTest::newRow("short save") << "x" << "Сохр." << C::SaveExportDialog;
    QTest::newRow("export") << "x" << "Экспорт" << C::SaveExportDialog;
    QTest::newRow("save") << "save" << "Сохранить" << C::SaveExportDialog;
    QTest::newRow("password") << "x" << "Пароль" << C::PasswordDialog;
    QTest::newRow("ocr") << "x" << "OCR" << C::OcrDocument;
    QTest::newRow("ocr lower case") << "x" << "ocr" << C::None;
    QTest::newRow("duplicate") << "x" << "Дубль" << C::PageTools;
    QTest::newRow("note") << "x" << "Заметка" << C::AnnotationProperties;
    QTest::newRow("marker") << "x" << "Маркер" << C::AnnotationProperties;
    QTest::newRow("underline") << "x" << "Подчерк." << C::AnnotationProperties;
    QTest::newRow("strike") << "x" << "Зачерк." << C::AnnotationProperties;
    QTest::newRow("colour") << "x" << "Цвет" << C::AnnotationProperties;
    QTest::newRow("properties") << "x" << "Свойства" << C::DocumentProperties;
    QTest::newRow("settings") << "x" << "Настройки" << C::Settings;
    QTest::newRow("error") << "x" << "Ошибка" << C::LoadError;
    QTest::newRow("close") << "x" << "Закрыть" << C::UnsavedChanges;
    QTest::newRow("about") << "x" << "О программе" << C::About;
    QTest::newRow("search icon") << "search" << "Найти" << C::Search;
    QTest::newRow("text rule before search icon") << "search" << "Свойства" << C::DocumentProperties;
    QTest::newRow("zoom in") << "zoom-in" << "" << C::ZoomIn;
    QTest::newRow("zoom out") << "zoom-out" << "" << C::ZoomOut;
    QTest::newRow("rotate left") << "rotate-left" << "Влево" << C::RotateLeft;
    QTest::newRow("rotate right") << "rotate-right" << "Вправо" << C::RotateRight;
    QTest::newRow("fit width with its text") << "fit-width" << "Ширина" << C::FitWidth;
    QTest::newRow("fit width with another text") << "fit-width" << "По ширине" << C::None;
    QTest::newRow("width text alone") << "x" << "Ширина" << C::None;
    QTest::newRow("full screen") << "fullscreen" << "Экран" << C::FullScreen;
    QTest::newRow("text with a trailing blank") << "x" << "Закрыть " << C::None;
}

void RibbonTest::commandChosenByFirstMatchingRule()
{
    QFETCH(QString, icon);
    QFETCH(QString, text);
    QFETCH(ToolCommand, command);
    QCOMPARE(toolCommandFor(icon, text), command);
}

void RibbonTest::wiredZoomButtonsZoom()
{
    MainWindow window(AppProduct::viewer);
    std::unique_ptr<QToolButton> in(window.toolButton(QStringLiteral("zoom-in"), QStringLiteral("+"), false, true));
    std::unique_ptr<QToolButton> out(window.toolButton(QStringLiteral("zoom-out"), QStringLiteral("-"), false, true));
    in->click();
    QCOMPARE(view(window)->zoom(), 1.25);
    out->click();
    out->click();
    QCOMPARE(view(window)->zoom(), 0.8);
}

void RibbonTest::fitWidthNeedsItsText()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
    std::unique_ptr<QToolButton> other(
        window.toolButton(QStringLiteral("fit-width"), QStringLiteral("По ширине"), false, true));
    other->click();
    QCOMPARE(view(window)->zoom(), 1.0);
    std::unique_ptr<QToolButton> width(
        window.toolButton(QStringLiteral("fit-width"), QStringLiteral("Ширина"), false, true));
    width->click();
    QVERIFY(view(window)->zoom() != 1.0);
}

void RibbonTest::fullScreenButtonToggles()
{
    MainWindow window(AppProduct::viewer);
    window.show();
    std::unique_ptr<QToolButton> screen(
        window.toolButton(QStringLiteral("fullscreen"), QStringLiteral("Экран"), false, true));
    screen->click();
    QTRY_VERIFY(window.isFullScreen());
    screen->click();
    QTRY_VERIFY(!window.isFullScreen());
}

void RibbonTest::closeButtonOpensModelessPrompt()
{
    MainWindow window(AppProduct::viewer);
    window.show();
    std::unique_ptr<QToolButton> close(window.toolButton(QStringLiteral("x"), QStringLiteral("Закрыть"), false, true));
    close->click();
    auto* prompt = window.findChild<QDialog*>(QStringLiteral("AppDialog"));
    QVERIFY(prompt);
    QVERIFY(prompt->isVisible());
    QVERIFY(!prompt->isModal());
    QCOMPARE(prompt->windowTitle(), QStringLiteral("Несохранённые изменения"));
}

void RibbonTest::unwiredButtonDoesNothing()
{
    MainWindow window(AppProduct::viewer);
    std::unique_ptr<QToolButton> zoom(window.toolButton(QStringLiteral("zoom-in"), QStringLiteral("+"), false, false));
    zoom->click();
    QCOMPARE(view(window)->zoom(), 1.0);
}

void RibbonTest::checkableToolButtonStartsChecked()
{
    MainWindow window(AppProduct::viewer);
    std::unique_ptr<QToolButton> on(window.toolButton(QStringLiteral("x"), QStringLiteral("Одна"), true, false));
    std::unique_ptr<QToolButton> plain(window.toolButton(QStringLiteral("x"), QStringLiteral("Лента"), false, false));
    QVERIFY(on->isChecked());
    QVERIFY(!plain->isCheckable());
    QCOMPARE(on->objectName(), QStringLiteral("RibbonToolButton"));
    QCOMPARE(on->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QCOMPARE(on->toolTip(), QStringLiteral("Одна"));
}

void RibbonTest::kitButtonKinds_data()
{
    using Factory = QToolButton* (*)(const QString&, const QString&, bool);
    QTest::addColumn<void*>("factory");
    QTest::addColumn<QSize>("iconSize");
    QTest::addColumn<QSize>("fixedSize");
    QTest::addColumn<bool>("textShown");
    QTest::newRow("large") << reinterpret_cast<void*>(Factory(largeIconButton)) << QSize(40, 40) << QSize(72, 76)
                           << true;
    QTest::newRow("icon only") << reinterpret_cast<void*>(Factory(iconOnlyButton)) << QSize(24, 24) << QSize(32, 32)
                               << false;
    QTest::newRow("floating") << reinterpret_cast<void*>(Factory(floatingIconButton)) << QSize(16, 16)
                              << QSize(30, 30) << false;
}

void RibbonTest::kitButtonKinds()
{
    using Factory = QToolButton* (*)(const QString&, const QString&, bool);
    QFETCH(void*, factory);
    QFETCH(QSize, iconSize);
    QFETCH(QSize, fixedSize);
    QFETCH(bool, textShown);
    std::unique_ptr<QToolButton> button(reinterpret_cast<Factory>(factory)(QStringLiteral("print"), "Печать", true));
    QCOMPARE(button->objectName(), QStringLiteral("IconOnlyButton"));
    QCOMPARE(button->iconSize(), iconSize);
    QCOMPARE(button->minimumSize(), fixedSize);
    QCOMPARE(button->maximumSize(), fixedSize);
    QCOMPARE(button->toolTip(), QStringLiteral("Печать"));
    QCOMPARE(button->text().isEmpty(), !textShown);
    QVERIFY(button->isCheckable());
    QVERIFY(!button->isChecked());
    QVERIFY(button->autoRaise());
    QVERIFY(button->parent() == nullptr);
}

void RibbonTest::groupsEndWithTheirTitle()
{
    auto* a = new QToolButton;
    auto* b = new QToolButton;
    auto* lead = new QToolButton;
    const std::unique_ptr<QWidget> groups[] = {
        std::unique_ptr<QWidget>(ribbonRowGroup(QStringLiteral("Один"), {a, nullptr})),
        std::unique_ptr<QWidget>(ribbonMultiRowGroup(QStringLiteral("Два"), {{b}, {}})),
        std::unique_ptr<QWidget>(ribbonLeadGroup(QStringLiteral("Три"), lead, {{}})),
    };
    const QStringList titles{"Один", "Два", "Три"};
    for (int i = 0; i < 3; ++i) {
        QWidget* group = groups[i].get();
        QCOMPARE(group->objectName(), QStringLiteral("RibbonGroup"));
        auto* layout = qobject_cast<QVBoxLayout*>(group->layout());
        QVERIFY(layout);
        auto* title = qobject_cast<QLabel*>(layout->itemAt(layout->count() - 1)->widget());
        QVERIFY(title);
        QCOMPARE(title->objectName(), QStringLiteral("RibbonGroupTitle"));
        QCOMPARE(title->text(), titles[i]);
        QCOMPARE(title->alignment(), Qt::AlignCenter);
    }
    QCOMPARE(a->parentWidget(), groups[0].get());
    QCOMPARE(b->parentWidget(), groups[1].get());
    auto* body = groups[2]->findChild<QWidget*>(QStringLiteral("RibbonGroupBody"));
    QVERIFY(body);
    QCOMPARE(lead->parentWidget(), body);
}

QTEST_MAIN(RibbonTest)
#include "tst_ribbon.moc"
