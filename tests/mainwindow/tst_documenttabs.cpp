// Documents in tabs: opening, the same file twice, failures, switching tabs
// with each tab's view state and title, the untitled tab; and what the
// window restores at start: its placement and the last document.
#include "PdfTools.h"
#include "PromptDriver.h"
#include "RecentFiles.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>

using namespace windowtest;

Q_DECLARE_METATYPE(AppProduct)

class DocumentTabsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    void openShowsDocumentInNewTab()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString path = showWithPdf(window, dir, 3);

        QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
        QVERIFY(tabs(window)->isVisible());
        QCOMPARE(tabs(window)->tabToolTip(0), path);
        QCOMPARE(view(window)->document(), window.currentDocument());
        QCOMPARE(thumbnails(window)->count(), 3);
        QCOMPARE(storedRecentFiles(), QStringList{path});
    }

    void sameFileActivatesExistingTab_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("same path") << "same";
        QTest::newRow("relative path") << "relative";
        QTest::newRow("symbolic link") << "link";
        QTest::newRow("path with dot segments") << "dots";
    }

    void sameFileActivatesExistingTab()
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

    void failedOpenReportsAndKeepsTabs_data()
    {
        QTest::addColumn<QByteArray>("content");   // null: no file at all
        QTest::addColumn<QString>("errorText");    // empty: the file system's or the engine's own words

        QTest::newRow("missing file") << QByteArray() << QString();
        QTest::newRow("empty file") << QByteArray("") << "Файл пуст или не удалось прочитать данные.";
        QTest::newRow("not a PDF") << QByteArray("plain text, no PDF") << QString();
    }

    void failedOpenReportsAndKeepsTabs()
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
        QString notice;
        prompt::Driver prompts;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
        window.openFile(bad);

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

    void damagedFileOpensRepairedWithOneNotice_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("notice");
        const QString repaired = QStringLiteral(
            "Файл восстановлен|Файл был повреждён и восстановлен; сохраните его, чтобы сохранить исправления.");
        QTest::newRow("offsets shifted") << "xref/registry-shifted.pdf" << repaired;
        QTest::newRow("a page reference of the tree flipped") << "damaged/registry-flipped-kids.pdf" << repaired;
        QTest::newRow("a page lost") << "damaged/groff-flipped-c.pdf"
                                     << QStringLiteral("Файл восстановлен|Страница 2 исходного файла не читается и в "
                                                       "документ не вошла; сохраните документ под новым именем.");
        QTest::newRow("pages of a node lost") << "damaged/tree-first-pages-lost.pdf"
                                              << QStringLiteral("Файл восстановлен|Страницы 4–6 исходного файла не "
                                                                "читаются и в документ не вошли; сохраните документ "
                                                                "под новым именем.");
        QTest::newRow("a node listed twice") << "damaged/tree-subtree-twice.pdf"
                                             << QStringLiteral("Файл восстановлен|Дерево страниц файла повреждено: "
                                                               "число или порядок страниц документа могут отличаться "
                                                               "от исходного файла; сохраните документ под новым "
                                                               "именем.");
    }

    // A damaged file opens as its repaired copy: one notice, and the tab is
    // not marked changed; a sound file after it brings no notice. Where pages
    // are lost the notice names them, and the first save asks for a new
    // name, leaving the file as it was.
    void damagedFileOpensRepairedWithOneNotice()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        const QString damaged = dir.filePath(QStringLiteral("damaged.pdf"));
        const QByteArray bytes = fixtures::readFile(fixtures::realPdf(fixture));
        QVERIFY(fixtures::writeFile(damaged, bytes));
        MainWindow window(AppProduct::editor);
        QString shown;
        {
            prompt::Driver prompts;
            prompt::answerNoting(prompts, QStringLiteral("OK"), &shown);
            window.openFile(damaged);
        }
        QCOMPARE(shown, notice);
        QVERIFY(window.currentDocument()->wasRepaired());
        QVERIFY(!window.currentDocument()->isModified());
        QVERIFY(!window.windowTitle().contains(QStringLiteral(" *")));
        const bool lost = !window.currentDocument()->holdsSourceWhole();
        if (lost) {
            const QString rescued = dir.filePath(QStringLiteral("rescued.pdf"));
            prompt::Driver prompts;
            prompt::answerSaveDialog(prompts, rescued);
            invoke(window, "onSave");
            QCOMPARE(prompts.pending(), 0);
            QCOMPARE(fixtures::readFile(damaged), bytes);
            QCOMPARE(pdftools::pageCount(rescued), window.currentDocument()->pageCount());
            QCOMPARE(window.currentDocument()->filePath(), rescued);
        }
        shown.clear();
        prompt::Driver prompts;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &shown);
        window.openFile(lost ? dir.filePath(QStringLiteral("rescued.pdf")) : damaged);  // its tab comes forward
        window.openFile(writePdf(dir, QStringLiteral("sound.pdf"), 1));
        QCoreApplication::processEvents();
        QVERIFY2(shown.isEmpty(), qPrintable(shown));
        QCOMPARE(tabTexts(window), (QStringList{lost ? "rescued.pdf" : "damaged.pdf", "sound.pdf"}));
    }

    void damagedFileKeptThroughEdits_data()
    {
        QTest::addColumn<bool>("written");  // the edit went into the document before the save
        QTest::addColumn<bool>("autoSave");
        QTest::newRow("edit written, then the save key") << true << false;
        QTest::newRow("autosave while typing") << false << true;
        QTest::newRow("autosave after the edit was written") << true << true;
    }

    // A file that lost pages on opening is not written over after an edit:
    // not when the edit went into the document (which reads it again) before
    // the save key, and not by an autosave, through a copy or not. The save
    // key asks for a new name; the autosave says why it did not save.
    void damagedFileKeptThroughEdits()
    {
        QFETCH(bool, written);
        QFETCH(bool, autoSave);
        QTemporaryDir dir;
        const QString damaged = dir.filePath(QStringLiteral("damaged.pdf"));
        const QByteArray bytes = fixtures::readFile(fixtures::realPdf(QStringLiteral("damaged/tree-first-pages-lost.pdf")));
        QVERIFY(fixtures::writeFile(damaged, bytes));
        MainWindow window(AppProduct::editor);
        {
            prompt::Driver prompts;
            QString notice;
            prompt::answerNoting(prompts, QStringLiteral("OK"), &notice);
            startEditing(window, damaged);
            QVERIFY(!notice.isEmpty());
        }
        showActive(window);  // again, after the notice
        view(window)->setViewMode(PdfView::SinglePage);  // another page shown writes the edit
        typeAtBlockEnd(view(window), 0, QStringLiteral("XY"));
        if (written) {
            emit thumbnails(window)->pageSelected(1);
            QTRY_VERIFY(!view(window)->blocksDirty());
            QVERIFY(window.currentDocument()->isModified());
        }
        if (autoSave) {
            QString shown;
            prompt::Driver prompts;
            prompt::answerNoting(prompts, QStringLiteral("OK"), &shown);
            invoke(window, "autoSaveIfNeeded");
            QCOMPARE(shown, QStringLiteral("Ошибка|Автосохранение не удалось: ") +
                                window.currentDocument()->sourceGuardText());
            QCOMPARE(fixtures::readFile(damaged), bytes);
            QCOMPARE(tabTexts(window), QStringList{"damaged.pdf *"});
            return;
        }
        const QString rescued = dir.filePath(QStringLiteral("rescued.pdf"));
        prompt::Driver prompts;
        prompt::answerSaveDialog(prompts, rescued);
        QTest::keySequence(&window, QKeySequence::Save);
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(fixtures::readFile(damaged), bytes);
        QCOMPARE(pdftools::pageCount(rescued), 9);
        QVERIFY2(savedText(rescued, 0).contains(QStringLiteral("XY")), qPrintable(savedText(rescued, 0)));
        QCOMPARE(tabTexts(window), QStringList{"rescued.pdf"});
    }

    // Each tab keeps its page, zoom and view mode; the title, the tab's mark
    // and the page counter follow the shown document.
    void switchingBackRestoresTabViewState()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 5);
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
        window.currentDocument()->markModified();
        window.updateTitle();

        tabs(window)->setCurrentIndex(0);
        QCOMPARE(window.currentDocument()->pageCount(), 5);
        QCOMPARE(pdfView->viewMode(), PdfView::SinglePage);
        QCOMPARE(pdfView->zoom(), 1.5);
        QCOMPARE(pdfView->currentPage(), 3);
        QCOMPARE(window.windowTitle(), QStringLiteral("a.pdf — ВОРН PDF Редактор"));
        QCOMPARE(tabTexts(window), (QStringList{"a.pdf", "b.pdf *"}));
        QCOMPARE(pageCountText(window), QStringLiteral("5 страниц"));
        QCOMPARE(thumbnails(window)->currentRow(), 3);

        // Activating the shown tab or one that does not exist changes nothing,
        // not even the title after a change it has not shown yet.
        window.currentDocument()->markModified();
        QSignalSpy zooms(pdfView, &PdfView::zoomChanged);
        for (int index : {0, 5, -1})
            window.activateDocument(index);
        QCOMPARE(window.windowTitle(), QStringLiteral("a.pdf — ВОРН PDF Редактор"));
        QCOMPARE(zooms.count(), 0);

        tabs(window)->setCurrentIndex(1);
        QCOMPARE(pdfView->viewMode(), PdfView::Continuous);
        QCOMPARE(pdfView->zoom(), 0.5);
        QCOMPARE(pdfView->currentPage(), 2);
    }

    // Nothing loaded gets no tab, a document the start-up built gets an
    // untitled one, and a document already in a tab no second one.
    void onlyDocumentBuiltWithoutTabGetsUntitledTab()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.adoptInitialDocumentAsTab();
        QVERIFY(tabTexts(window).isEmpty());

        adoptUntitled(window, 1);
        PdfDocument* built = window.currentDocument();
        QCOMPARE(tabTexts(window), QStringList{"Безымянный *"});
        QCOMPARE(tabs(window)->tabToolTip(0), QString());
        QCOMPARE(window.windowTitle(), QStringLiteral("Безымянный * — ВОРН PDF Редактор"));
        QCOMPARE(view(window)->document(), built);

        window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
        window.adoptInitialDocumentAsTab();
        QCOMPARE(tabTexts(window), (QStringList{"Безымянный *", "a.pdf"}));
        window.activateDocument(0);
        QCOMPARE(window.currentDocument(), built);
        QCOMPARE(built->pageCount(), 1);
    }

    // An untitled document's tab and the window's title name it in the
    // interface's language, and follow a change of the language.
    void untitledInInterfaceLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("untitled");
        QTest::newRow("Russian") << "ru" << "Безымянный";
        QTest::newRow("English") << "en" << "Untitled";
        QTest::newRow("German") << "de" << "Unbenannt";
    }

    void untitledInInterfaceLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, untitled);
        const auto restore = qScopeGuard([] { qApp->setProperty("uiLanguage", QVariant()); });
        QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("ru"));
        MainWindow window(AppProduct::editor);
        adoptUntitled(window, 1);
        QSettings().setValue(QStringLiteral("ui/language"), language);
        window.applyStoredSettings();
        QCOMPARE(tabTexts(window), QStringList{untitled + QStringLiteral(" *")});
        QVERIFY2(window.windowTitle().startsWith(untitled + QStringLiteral(" * — ")), qPrintable(window.windowTitle()));
    }

    // The placement a closed window stored comes back in the next one, in the
    // signing edition too, which is never shown otherwise.
    void placementRestoredAfterClose_data()
    {
        QTest::addColumn<AppProduct>("product");
        QTest::addColumn<bool>("maximized");
        QTest::newRow("editor, maximized") << AppProduct::editor << true;
        QTest::newRow("signing edition, maximized") << AppProduct::ecp << true;
        QTest::newRow("editor, normal size") << AppProduct::editor << false;
    }

    void placementRestoredAfterClose()
    {
        QFETCH(AppProduct, product);
        QFETCH(bool, maximized);
        const QSize normalSize(1000, 720);
        {
            MainWindow first(AppProduct::viewer);
            first.resize(normalSize);
            maximized ? first.showMaximized() : first.show();
            QTRY_COMPARE(first.isMaximized(), maximized);
            QVERIFY(first.close());
        }
        MainWindow window(product);
        QVERIFY(!window.isVisible());
        if (maximized) {
            QTRY_VERIFY(window.isVisible());
            QVERIFY(window.windowState().testFlag(Qt::WindowMaximized));
        } else {
            QCOMPARE(window.size(), normalSize);
        }
    }

    void fileManagerActionRestoresNoWindowState()
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
    void lastDocumentReopened_data()
    {
        QTest::addColumn<AppProduct>("product");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<bool>("reopened");
        QTest::newRow("viewer") << AppProduct::viewer << true << true;
        QTest::newRow("file deleted") << AppProduct::editor << false << false;
        QTest::newRow("signing edition") << AppProduct::ecp << true << false;
    }

    void lastDocumentReopened()
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
        if (reopened)
            QTRY_COMPARE_WITH_TIMEOUT(tabTexts(window), QStringList{"last.pdf"}, 30000);
        else
            QTest::qWait(50);
        QCOMPARE(tabTexts(window), reopened ? QStringList{"last.pdf"} : QStringList{});
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(DocumentTabsTest)
#include "tst_documenttabs.moc"
