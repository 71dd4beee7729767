// Documents in tabs: opening, the same file twice, failures, switching tabs
// with each tab's view state, the recent-files list and the untitled tab.
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QSignalSpy>

using namespace windowtest;

namespace {

QStringList storedRecentFiles()
{
    return QSettings().value(QStringLiteral("recentFiles")).toStringList();
}

// Opens path while a notice may come up, and returns the notice's text.
QString openExpectingNotice(MainWindow& window, const QString& path)
{
    QString notice;
    prompt::Driver prompts;
    prompts.whenShown([&notice](QDialog* dialog) {
        notice = dialog->windowTitle() + QLatin1Char('|') +
                 dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
        dialog->accept();
    });
    window.openFile(path);
    return notice;
}

} // namespace

class DocumentTabsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void openShowsDocumentInNewTab();
    void sameFileActivatesExistingTab_data();
    void sameFileActivatesExistingTab();
    void failedOpenReportsAndKeepsTabs_data();
    void failedOpenReportsAndKeepsTabs();

    void switchingBackRestoresTabViewState();
    void activatingActiveTabChangesNothing();

    void recentFiles_data();
    void recentFiles();

    void documentBuiltWithoutTabGetsUntitledTab();
    void unloadedInitialDocumentGetsNoTab();
};

void DocumentTabsTest::openShowsDocumentInNewTab()
{
    QTemporaryDir dir;
    const QString path = writePdf(dir, QStringLiteral("a.pdf"), 3);
    MainWindow window(AppProduct::editor);
    window.show();
    window.openFile(path);

    QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
    QVERIFY(tabs(window)->isVisible());
    QCOMPARE(tabs(window)->tabToolTip(0), path);
    QCOMPARE(statusText(window), QStringLiteral("Открыт: a.pdf"));
    QCOMPARE(view(window)->document(), window.currentDocument());
    QCOMPARE(thumbnails(window)->count(), 3);
    QCOMPARE(storedRecentFiles(), QStringList{path});
}

void DocumentTabsTest::sameFileActivatesExistingTab_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("same path") << "same";
    QTest::newRow("relative path") << "relative";
    QTest::newRow("symbolic link") << "link";
    QTest::newRow("path with dot segments") << "dots";
}

void DocumentTabsTest::sameFileActivatesExistingTab()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString a = writePdf(dir, QStringLiteral("a.pdf"), 1);
    const QString b = writePdf(dir, QStringLiteral("b.pdf"), 2);
    QString again = a;
    if (how == QLatin1String("relative"))
        again = QDir::current().relativeFilePath(a);
    else if (how == QLatin1String("link"))
        QVERIFY(QFile::link(a, again = dir.filePath(QStringLiteral("link.pdf"))));
    else if (how == QLatin1String("dots"))
        again = dir.path() + QStringLiteral("/./sub/../a.pdf");
    QDir(dir.path()).mkdir(QStringLiteral("sub"));

    MainWindow window(AppProduct::editor);
    window.openFile(a);
    window.openFile(b);
    const QStringList recentBefore = storedRecentFiles();

    window.openFile(again);
    QCOMPARE(tabTexts(window), (QStringList{"a.pdf", "b.pdf"}));
    QCOMPARE(tabs(window)->currentIndex(), 0);
    QCOMPARE(window.currentDocument()->pageCount(), 1);
    QCOMPARE(storedRecentFiles(), recentBefore);
    // Switching tabs reports the zoom of the shown document, never an opening.
    QCOMPARE(statusText(window), QStringLiteral("Масштаб: 100%"));
}

void DocumentTabsTest::failedOpenReportsAndKeepsTabs_data()
{
    QTest::addColumn<QByteArray>("content");   // empty: no file at all
    QTest::addColumn<QString>("errorText");    // empty: the file system's or the engine's own words

    QTest::newRow("missing file") << QByteArray() << QString();
    QTest::newRow("empty file") << QByteArray("") << "Файл пуст или не удалось прочитать данные.";
    QTest::newRow("not a PDF") << QByteArray("plain text, no PDF") << QString();
}

void DocumentTabsTest::failedOpenReportsAndKeepsTabs()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, errorText);
    QTemporaryDir dir;
    const QString good = writePdf(dir, QStringLiteral("good.pdf"), 1);
    const QString bad = QDir::current().relativeFilePath(dir.filePath(QStringLiteral("bad.pdf")));
    if (!content.isNull())
        QVERIFY(fixtures::writeFile(dir.filePath(QStringLiteral("bad.pdf")), content));

    MainWindow window(AppProduct::editor);
    window.openFile(good);
    const QString notice = openExpectingNotice(window, bad);

    const QString expectedStart = QStringLiteral("Ошибка|Не удалось открыть файл:\n%1\n\n").arg(bad);
    QVERIFY2(notice.startsWith(expectedStart), qPrintable(notice));
    const QString shownError = notice.mid(expectedStart.size());
    QVERIFY(!shownError.isEmpty());
    QCOMPARE(shownError, shownError.trimmed());
    if (!errorText.isEmpty())
        QCOMPARE(shownError, errorText);
    QCOMPARE(tabTexts(window), QStringList{"good.pdf"});
    QCOMPARE(window.currentDocument()->filePath(), good);
    QCOMPARE(storedRecentFiles(), QStringList{good});
}

void DocumentTabsTest::switchingBackRestoresTabViewState()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 5));
    PdfView* pdfView = view(window);
    pdfView->setViewMode(PdfView::SinglePage);
    pdfView->setZoom(1.5);
    pdfView->setCurrentPage(3);

    // A new tab starts at its first page, shown from its top although it is
    // taller than the view, at full size, continuous.
    window.openFile(writePdf(dir, QStringLiteral("b.pdf"), 3));
    QCOMPARE(pdfView->currentPage(), 0);
    QCOMPARE(pdfView->zoom(), 1.0);
    QCOMPARE(pdfView->viewMode(), PdfView::Continuous);
    QVERIFY(pdfView->viewport()->height() < 842);
    QCOMPARE(pdfView->verticalScrollBar()->value(), 0);
    pdfView->setCurrentPage(2);
    pdfView->setZoom(0.5);

    tabs(window)->setCurrentIndex(0);
    QCOMPARE(window.currentDocument()->pageCount(), 5);
    QCOMPARE(pdfView->viewMode(), PdfView::SinglePage);
    QCOMPARE(pdfView->zoom(), 1.5);
    QCOMPARE(pdfView->currentPage(), 3);
    QCOMPARE(window.windowTitle(), QStringLiteral("a.pdf — ВОРН PDF Редактор"));

    QCOMPARE(thumbnails(window)->count(), 5);
    QCOMPARE(thumbnails(window)->currentRow(), 3);

    tabs(window)->setCurrentIndex(1);
    QCOMPARE(pdfView->viewMode(), PdfView::Continuous);
    QCOMPARE(pdfView->zoom(), 0.5);
    QCOMPARE(pdfView->currentPage(), 2);
}

void DocumentTabsTest::activatingActiveTabChangesNothing()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 2));
    window.currentDocument()->markModified();
    QSignalSpy zooms(view(window), &PdfView::zoomChanged);

    window.activateDocument(0);
    QCOMPARE(window.windowTitle(), QStringLiteral("a.pdf — ВОРН PDF Редактор"));
    QCOMPARE(zooms.count(), 0);

    window.activateDocument(5);
    window.activateDocument(-1);
    QCOMPARE(zooms.count(), 0);
}

// Opening puts the file first in the list, once, and keeps eight; with the
// list switched off it stays as it was.
void DocumentTabsTest::recentFiles_data()
{
    QTest::addColumn<bool>("remember");
    QTest::addColumn<int>("opened");
    QTest::newRow("nine opened, eight kept") << true << 9;
    QTest::newRow("switched off") << false << 2;
}

void DocumentTabsTest::recentFiles()
{
    QFETCH(bool, remember);
    QFETCH(int, opened);
    QTemporaryDir dir;
    const QString first = writePdf(dir, QStringLiteral("doc1.pdf"), 1);
    QSettings().setValue(QStringLiteral("doc/rememberRecent"), remember);
    QSettings().setValue(QStringLiteral("recentFiles"), QStringList{QStringLiteral("/elsewhere/old.pdf"), first});
    MainWindow window(AppProduct::editor);
    QStringList expected{QStringLiteral("/elsewhere/old.pdf"), first};
    for (int i = 1; i <= opened; ++i) {
        const QString path = i == 1 ? first : writePdf(dir, QStringLiteral("doc%1.pdf").arg(i), 1);
        window.openFile(path);
        if (remember) {
            expected.removeAll(path);
            expected.prepend(path);
        }
    }
    QCOMPARE(storedRecentFiles(), expected.mid(0, 8));
}

void DocumentTabsTest::documentBuiltWithoutTabGetsUntitledTab()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    PdfDocument* built = window.currentDocument();
    QVERIFY(built->createEmpty());
    QVERIFY(built->insertBlankPage(0, QSizeF(595, 842)));

    window.adoptInitialDocumentAsTab();
    QCOMPARE(window.currentDocument(), built);
    QCOMPARE(tabTexts(window), QStringList{"Безымянный *"});
    QCOMPARE(tabs(window)->tabToolTip(0), QString());
    QCOMPARE(window.windowTitle(), QStringLiteral("Безымянный * — ВОРН PDF Редактор"));
    QCOMPARE(view(window)->document(), built);

    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
    QCOMPARE(tabTexts(window), (QStringList{"Безымянный *", "a.pdf"}));
    window.activateDocument(0);
    QCOMPARE(window.currentDocument(), built);
    QCOMPARE(built->pageCount(), 1);
}

void DocumentTabsTest::unloadedInitialDocumentGetsNoTab()
{
    QTemporaryDir dir;
    MainWindow window(AppProduct::editor);
    window.adoptInitialDocumentAsTab();
    QVERIFY(tabTexts(window).isEmpty());

    window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
    window.adoptInitialDocumentAsTab();
    QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
}

QTEST_MAIN(DocumentTabsTest)
#include "tst_documenttabs.moc"
