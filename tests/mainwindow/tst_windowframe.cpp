// The window frame: its parts and style names, the edition's capabilities,
// the title, the page counter and what is restored from the settings.
#include "WindowTestSupport.h"

#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)

class WindowFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void framePartsCarryTheirStyleNames();
    void capabilitiesFollowEdition_data();
    void capabilitiesFollowEdition();
    void ocrBarBuiltHiddenOnlyWithOcr_data();
    void ocrBarBuiltHiddenOnlyWithOcr();

    void titleOfModifiedDocument();
    void pageCounterFollowsDocument();

    void storedMaximizedStateShowsWindow_data();
    void storedMaximizedStateShowsWindow();
    void fileManagerActionRestoresNoWindowState();
    void lastDocumentReopenedWhenAsked();
    void deletedLastDocumentIsSkippedSilently();
    void signingEditionDoesNotReopenLastDocument();
};

void WindowFrameTest::framePartsCarryTheirStyleNames()
{
    MainWindow window(AppProduct::editor);
    for (const char* name : {"LeftPanel", "PanelHeader", "PanelTitle", "LeftPanelTabs", "OutlineTree",
                             "Workspace", "DocumentTabs", "DocumentScroll", "DocumentCanvas", "ThumbScroll",
                             "StatusBar"})
        QVERIFY2(window.findChild<QWidget*>(QLatin1String(name)), name);

    auto* panelTabs = window.findChild<QTabWidget*>(QStringLiteral("LeftPanelTabs"));
    QCOMPARE(panelTabs->count(), 2);
    QCOMPARE(panelTabs->tabText(0), QStringLiteral("Страницы"));
    QCOMPARE(panelTabs->tabText(1), QStringLiteral("Оглавление"));
    QCOMPARE(panelTabs->widget(0), thumbnails(window));
    QCOMPARE(window.findChild<QWidget*>(QStringLiteral("LeftPanel"))->width(), 248);

    auto* outline = window.findChild<QTreeWidget*>(QStringLiteral("OutlineTree"));
    auto* emptyLabel = qobject_cast<QLabel*>(outline->property("emptyLabel").value<QObject*>());
    QVERIFY(emptyLabel);
    QCOMPARE(emptyLabel->text(), QStringLiteral("В документе нет оглавления"));
    QVERIFY(emptyLabel->property("outlineEmpty").toBool());
    QVERIFY(outline->isHeaderHidden());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!outline->isVisible());
    QVERIFY(!tabs(window)->isVisible());
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("StatusBar"))->isVisible());
    QCOMPARE(statusText(window), QStringLiteral("Готово"));
    QCOMPARE(view(window)->viewport()->objectName(), QStringLiteral("DocumentCanvas"));
    QCOMPARE(window.size(), QSize(1500, 920));
}

void WindowFrameTest::capabilitiesFollowEdition_data()
{
    QTest::addColumn<AppProduct>("product");
    QTest::addColumn<QList<bool>>("flags");  // pdf editing, OCR, signatures, page editing, imports

    QTest::newRow("editor") << AppProduct::editor << QList<bool>{true, true, true, true, true};
    QTest::newRow("viewer") << AppProduct::viewer << QList<bool>{false, false, false, false, false};
    QTest::newRow("ecp") << AppProduct::ecp << QList<bool>{false, false, true, false, false};
}

void WindowFrameTest::capabilitiesFollowEdition()
{
    QFETCH(AppProduct, product);
    QFETCH(QList<bool>, flags);
    MainWindow window(product);
    const QList<bool> actual{window.allowPdfEditing(), window.allowOcr(), window.allowSignatures(),
                             window.allowPageEditing(), window.allowImports()};
    QCOMPARE(actual, flags);
}

void WindowFrameTest::ocrBarBuiltHiddenOnlyWithOcr_data()
{
    QTest::addColumn<AppProduct>("product");
    QTest::addColumn<bool>("built");
    QTest::newRow("editor") << AppProduct::editor << true;
    QTest::newRow("viewer") << AppProduct::viewer << false;
    QTest::newRow("ecp") << AppProduct::ecp << false;
}

void WindowFrameTest::ocrBarBuiltHiddenOnlyWithOcr()
{
    QFETCH(AppProduct, product);
    QFETCH(bool, built);
    MainWindow window(product);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* cancel = window.findChild<QPushButton*>(QStringLiteral("cancelBtn"));
    QCOMPARE(cancel != nullptr, built);
    if (!built)
        return;
    auto* bar = qobject_cast<QFrame*>(cancel->parentWidget());
    QCOMPARE(bar->parentWidget(), &window);
    QVERIFY(!bar->isVisible());
    QVERIFY(bar->findChild<QLabel*>()->text() == QStringLiteral("OCR завершён"));
}

void WindowFrameTest::titleOfModifiedDocument()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    QCOMPARE(window.windowTitle(), QStringLiteral("ВОРН PDF Редактор"));
    window.openFile(writePdf(dir, QStringLiteral("report.pdf"), 2));
    QCOMPARE(window.windowTitle(), QStringLiteral("report.pdf — ВОРН PDF Редактор"));
    window.currentDocument()->markModified();
    window.updateTitle();
    QCOMPARE(window.windowTitle(), QStringLiteral("report.pdf * — ВОРН PDF Редактор"));
    QCOMPARE(tabTexts(window), QStringList{"report.pdf *"});
}

void WindowFrameTest::pageCounterFollowsDocument()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::viewer);
    QCOMPARE(pageCountText(window), QStringLiteral("0 страниц"));
    window.openFile(writePdf(dir, QStringLiteral("three.pdf"), 3));
    QCOMPARE(pageCountText(window), QStringLiteral("3 страниц"));
    window.openFile(writePdf(dir, QStringLiteral("one.pdf"), 1));
    QCOMPARE(pageCountText(window), QStringLiteral("1 страниц"));
}

void WindowFrameTest::storedMaximizedStateShowsWindow_data()
{
    QTest::addColumn<AppProduct>("product");
    QTest::newRow("editor") << AppProduct::editor;
    QTest::newRow("ecp, which is never shown otherwise") << AppProduct::ecp;
}

void WindowFrameTest::storedMaximizedStateShowsWindow()
{
    QFETCH(AppProduct, product);
    QSettings().setValue(QStringLiteral("window/maximized"), true);
    MainWindow window(product);
    QVERIFY(!window.isVisible());
    QTRY_VERIFY(window.isVisible());
    QVERIFY(window.windowState().testFlag(Qt::WindowMaximized));
}

void WindowFrameTest::fileManagerActionRestoresNoWindowState()
{
    QSettings().setValue(QStringLiteral("window/fullscreen"), true);
    qApp->setProperty("vornShellDialogMode", true);
    MainWindow window(AppProduct::editor);
    qApp->setProperty("vornShellDialogMode", false);
    QTest::qWait(50);
    QVERIFY(!window.isVisible());
}

void WindowFrameTest::lastDocumentReopenedWhenAsked()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("last.pdf"), 1);
    QSettings settings;
    settings.setValue(QStringLiteral("doc/restoreLastDocument"), true);
    settings.setValue(QStringLiteral("recentFiles"), QStringList{path});
    settings.sync();

    MainWindow window(AppProduct::viewer);
    QVERIFY(!window.isDocumentLoaded());
    QTRY_VERIFY(window.isDocumentLoaded());
    QCOMPARE(tabTexts(window), QStringList{"last.pdf"});
}

void WindowFrameTest::deletedLastDocumentIsSkippedSilently()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("gone.pdf"), 1);
    QVERIFY(QFile::remove(path));
    QSettings settings;
    settings.setValue(QStringLiteral("doc/restoreLastDocument"), true);
    settings.setValue(QStringLiteral("recentFiles"), QStringList{path});
    settings.sync();

    MainWindow window(AppProduct::editor);
    QTest::qWait(50);
    QVERIFY(!window.isDocumentLoaded());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(tabTexts(window).isEmpty());
}

void WindowFrameTest::signingEditionDoesNotReopenLastDocument()
{
    QTemporaryDir dir;
    QSettings settings;
    settings.setValue(QStringLiteral("doc/restoreLastDocument"), true);
    settings.setValue(QStringLiteral("recentFiles"), QStringList{writePdf(dir, QStringLiteral("last.pdf"), 1)});
    settings.sync();

    MainWindow window(AppProduct::ecp);
    QTest::qWait(50);
    QVERIFY(!window.isDocumentLoaded());
}

QTEST_MAIN(WindowFrameTest)
#include "tst_windowframe.moc"
