// The ribbon: its tabs by edition, the remembered tab, the commands tool
// buttons find from their icon and text, the button kinds and the groups.
#include "ToolButtonRules.h"
#include "WindowTestSupport.h"

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
    void wiredButtonsRunTheirCommand_data();
    void wiredButtonsRunTheirCommand();
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
    QTest::newRow("short save") << "x" << "Сохр." << C::SaveExportDialog;
    QTest::newRow("save") << "save" << "Сохранить" << C::SaveExportDialog;
    QTest::newRow("password") << "x" << "Пароль" << C::PasswordDialog;
    QTest::newRow("ocr") << "x" << "OCR" << C::OcrDocument;
    QTest::newRow("ocr lower case") << "x" << "ocr" << C::None;
    QTest::newRow("duplicate") << "x" << "Дубль" << C::PageTools;
    QTest::newRow("marker") << "x" << "Маркер" << C::AnnotationProperties;
    QTest::newRow("properties") << "x" << "Свойства" << C::DocumentProperties;
    QTest::newRow("close") << "x" << "Закрыть" << C::UnsavedChanges;
    QTest::newRow("search icon") << "search" << "Найти" << C::Search;
    QTest::newRow("text rule before search icon") << "search" << "Свойства" << C::DocumentProperties;
    QTest::newRow("zoom in") << "zoom-in" << "" << C::ZoomIn;
    QTest::newRow("rotate left") << "rotate-left" << "Влево" << C::RotateLeft;
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

// A wired button runs the command of its icon and text; unwired, nothing.
void RibbonTest::wiredButtonsRunTheirCommand_data()
{
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wire");
    QTest::addColumn<QString>("effect");
    QTest::newRow("zoom in") << "zoom-in" << "+" << true << "zoom 125";
    QTest::newRow("unwired zoom in") << "zoom-in" << "+" << false << "zoom 100";
    QTest::newRow("fit width with another text") << "fit-width" << "По ширине" << true << "zoom 100";
    QTest::newRow("fit width") << "fit-width" << "Ширина" << true << "zoom changed";
    QTest::newRow("full screen") << "fullscreen" << "Экран" << true << "full screen";
    QTest::newRow("close") << "x" << "Закрыть" << true << "modeless prompt";
}

void RibbonTest::wiredButtonsRunTheirCommand()
{
    QFETCH(QString, icon);
    QFETCH(QString, text);
    QFETCH(bool, wire);
    QFETCH(QString, effect);
    QTemporaryDir dir;
    MainWindow window(AppProduct::viewer);
    showSmall(window);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
    view(window)->setZoom(1.0);
    std::unique_ptr<QToolButton> button(window.toolButton(icon, text, false, wire));
    button->click();
    if (effect == QLatin1String("full screen")) {
        QTRY_VERIFY(window.isFullScreen());
        button->click();
        QTRY_VERIFY(!window.isFullScreen());
    } else if (effect == QLatin1String("modeless prompt")) {
        auto* prompt = window.findChild<QDialog*>(QStringLiteral("AppDialog"));
        QVERIFY(prompt && prompt->isVisible() && !prompt->isModal());
    } else if (effect == QLatin1String("zoom changed")) {
        QVERIFY(view(window)->zoom() != 1.0);
    } else {
        QCOMPARE(qRound(view(window)->zoom() * 100), effect.mid(5).toInt());
    }
}

QTEST_MAIN(RibbonTest)
#include "tst_ribbon.moc"
