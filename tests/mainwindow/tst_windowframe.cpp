// The window frame: the title, the page counter and what is restored from
// the settings.
#include "WindowTestSupport.h"

#include <QFile>
#include <QTimer>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)

class WindowFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void titleAndPageCounterFollowDocument();

    void storedMaximizedStateShowsWindow_data();
    void storedMaximizedStateShowsWindow();
    void fileManagerActionRestoresNoWindowState();
    void lastDocumentReopened_data();
    void lastDocumentReopened();
};

// The title, the tab and the page counter follow the shown document.
void WindowFrameTest::titleAndPageCounterFollowDocument()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    QCOMPARE(window.windowTitle(), QStringLiteral("ВОРН PDF Редактор"));
    QCOMPARE(pageCountText(window), QStringLiteral("0 страниц"));
    window.openFile(writePdf(dir, QStringLiteral("one.pdf"), 1));
    window.openFile(writePdf(dir, QStringLiteral("report.pdf"), 3));
    QCOMPARE(pageCountText(window), QStringLiteral("3 страниц"));
    window.currentDocument()->markModified();
    window.updateTitle();
    QCOMPARE(window.windowTitle(), QStringLiteral("report.pdf * — ВОРН PDF Редактор"));
    QCOMPARE(tabTexts(window), (QStringList{"one.pdf", "report.pdf *"}));
    window.activateDocument(0);
    QCOMPARE(window.windowTitle(), QStringLiteral("one.pdf — ВОРН PDF Редактор"));
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

// The last document comes back after start when asked, silently not when
// its file is gone, and never in the signing edition.
void WindowFrameTest::lastDocumentReopened_data()
{
    QTest::addColumn<AppProduct>("product");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("reopened");
    QTest::newRow("viewer") << AppProduct::viewer << true << true;
    QTest::newRow("file deleted") << AppProduct::editor << false << false;
    QTest::newRow("signing edition") << AppProduct::ecp << true << false;
}

void WindowFrameTest::lastDocumentReopened()
{
    QFETCH(AppProduct, product);
    QFETCH(bool, fileExists);
    QFETCH(bool, reopened);
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("last.pdf"), 1);
    if (!fileExists)
        QVERIFY(QFile::remove(path));
    QSettings settings;
    settings.setValue(QStringLiteral("doc/restoreLastDocument"), true);
    settings.setValue(QStringLiteral("recentFiles"), QStringList{path});
    settings.sync();

    MainWindow window(product);
    QVERIFY(!window.isDocumentLoaded());
    QTest::qWait(50);
    QCOMPARE(window.isDocumentLoaded(), reopened);
    QCOMPARE(tabTexts(window), reopened ? QStringList{"last.pdf"} : QStringList{});
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(WindowFrameTest)
#include "tst_windowframe.moc"
