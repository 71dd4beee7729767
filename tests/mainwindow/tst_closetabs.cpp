// Closing tabs and the window with the unsaved-changes prompt: each answer,
// a hidden tab shown first, untitled documents, another tab's file, and a
// second close while the prompt is open; every case reads the file back.
#include "PromptDriver.h"
#include "SaveCloseSupport.h"
#include "WindowTestSupport.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>

using namespace windowtest;
using prompt::answerSaveDialog;

class CloseTabsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    // answer: a button of the prompt or "Return"; the modified document is the
    // active tab or another one. When its folder is gone, saving from the
    // prompt fails with the reason and an offer to save elsewhere (offer: the
    // button pressed there), which writes the edits to a new file.
    void closePromptAnswers_data()
    {
        QTest::addColumn<bool>("activeTab");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("offer");  // empty: the file can be written
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("pagesOnDisk");  // of the file, or of the one saved elsewhere
        const QString elsewhere = QStringLiteral("Сохранить как…");
        for (bool active : {true, false}) {
            const char* which = active ? "active tab, " : "other tab, ";
            QTest::addRow("%ssave", which) << active << "Сохранить" << "" << true << 1;
            QTest::addRow("%sReturn saves", which) << active << "Return" << "" << true << 1;
            QTest::addRow("%sdiscard", which) << active << "Не сохранять" << "" << true << 2;
            QTest::addRow("%scancel", which) << active << "Отмена" << "" << false << 2;
            QTest::addRow("%sfailed save, saved elsewhere", which) << active << "Сохранить" << elsewhere << true << 1;
        }
        QTest::newRow("failed save, offer declined") << true << "Сохранить" << "Отмена" << false << -1;
    }

    void closePromptAnswers()
    {
        QFETCH(bool, activeTab);
        QFETCH(QString, answer);
        QFETCH(QString, offer);
        QFETCH(bool, closed);
        QFETCH(int, pagesOnDisk);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        const QString path = openInOwnFolder(window, dir, offer.isEmpty() ? QString() : QStringLiteral("deleted"));
        modify(window);
        if (!activeTab)
            window.openFile(writePdf(dir, QStringLiteral("b.pdf"), 1));

        prompt::Driver prompts;
        if (answer == QLatin1String("Return"))
            prompts.press(Qt::Key_Return);
        else
            prompts.clickButton(answer);
        QString offered;
        const QString elsewhere = dir.filePath(QStringLiteral("rescued.pdf"));
        if (!offer.isEmpty()) {
            prompt::answerNoting(prompts, offer, &offered);
            if (offer != QStringLiteral("Отмена"))
                answerSaveDialog(prompts, elsewhere);
        }
        // A failed save on closing the window itself offers the same.
        QCOMPARE(!offer.isEmpty() && activeTab ? window.close() : window.closeDocumentAt(0), closed);
        QCOMPARE(prompts.pending(), 0);
        if (!offer.isEmpty())
            QVERIFY2(offered.startsWith(QStringLiteral("Ошибка|Не удалось сохранить файл:\n")), qPrintable(offered));
        QCOMPARE(pageCountOf(offer.isEmpty() ? path : elsewhere), pagesOnDisk);
        QCOMPARE(tabTexts(window).contains(QStringLiteral("a.pdf *")), !closed);
    }

    // Closing the tab not on screen by its close button shows that tab while
    // the question is asked; the answer is about it alone, and the tab that
    // was shown before comes back with its changes, also when cancelled.
    void closingHiddenTabShowsItFirst_data()
    {
        QTest::addColumn<int>("closed");  // the other tab is on screen
        QTest::addColumn<QString>("answer");
        for (int closed : {0, 1}) {
            for (const char* answer : {"Не сохранять", "Отмена", "Сохранить"})
                QTest::addRow("%s of the shown one, %s", closed == 0 ? "left" : "right", answer) << closed << answer;
        }
    }

    void closingHiddenTabShowsItFirst()
    {
        QFETCH(int, closed);
        QFETCH(QString, answer);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        const QStringList names{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")};
        for (const QString& name : names) {
            window.openFile(writePdf(dir, name, 2));
            modify(window);
        }
        window.activateDocument(1 - closed);
        const QString closedPath = dir.filePath(names[closed]);
        const QString keptPath = dir.filePath(names[1 - closed]);

        prompt::Driver prompts;
        QString shownWhenAsked;
        prompts.whenShown([&](QDialog* dialog) {
            shownWhenAsked = tabs(window)->tabText(tabs(window)->currentIndex()) + QLatin1Char('|') +
                             view(window)->document()->filePath();
            if (QPushButton* button = prompt::buttonWithText(dialog, answer))
                button->click();
            else
                dialog->reject();
        });
        QWidget* closeButton = tabs(window)->tabButton(closed, QTabBar::RightSide);
        if (!closeButton)
            closeButton = tabs(window)->tabButton(closed, QTabBar::LeftSide);
        QVERIFY(closeButton);
        QTest::mouseClick(closeButton, Qt::LeftButton);
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(shownWhenAsked, names[closed] + QStringLiteral(" *|") + closedPath);

        if (answer == QStringLiteral("Отмена"))
            QCOMPARE(tabTexts(window), (QStringList{"a.pdf *", "b.pdf *"}));
        else
            QCOMPARE(tabTexts(window), QStringList{names[1 - closed] + QStringLiteral(" *")});
        QCOMPARE(window.currentDocument()->filePath(), keptPath);
        QCOMPARE(view(window)->document(), window.currentDocument());
        QCOMPARE(pageCountOf(closedPath), answer == QStringLiteral("Сохранить") ? 1 : 2);
        QCOMPARE(pageCountOf(keptPath), 2);
    }

    // The save key on an untitled document asks for a name; a save there
    // that fails says why.
    void untitledSaveTellsWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder of the name") << "folder" << "Это папка, а не файл";
        QTest::newRow("folder gone") << "gone/new" << "Нет такого файла или папки";
    }

    void untitledSaveTellsWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("gone")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.pdf")));
        MainWindow window(AppProduct::editor);
        showSmall(window);
        adoptUntitled(window, 1);
        prompt::Driver prompts;
        const QString chosen = dir.filePath(name);
        prompts.whenShown([chosen](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            QVERIFY(files);
            files->setDirectory(QFileInfo(chosen).absolutePath());
            files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(chosen).fileName());
            if (chosen.contains(QLatin1String("/gone/")))
                QVERIFY(QDir(QFileInfo(chosen).absolutePath()).removeRecursively());
            dialog->done(QDialog::Accepted);
        });
        if (name == QLatin1String("folder"))
            prompts.clickButton(QStringLiteral("Заменить"));
        QString told;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &told);
        QTest::keySequence(&window, QKeySequence::Save);
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(told, QStringLiteral("Ошибка|Не удалось сохранить файл:\n") + reason);
        QVERIFY(window.currentDocument()->isModified());
        QVERIFY(window.currentDocument()->filePath().isEmpty());
    }

    void savingUntitledOnCloseAsksForName()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.show();
        for (bool named : {true, false}) {
            adoptUntitled(window, 1);
            prompt::Driver prompts;
            prompts.clickButton(QStringLiteral("Сохранить"));
            if (named)
                answerSaveDialog(prompts, dir.filePath(QStringLiteral("new")));
            else
                prompts.press(Qt::Key_Escape);
            QCOMPARE(window.closeDocumentAt(0), named);
            QCOMPARE(prompts.pending(), 0);
        }
        QCOMPARE(pageCountOf(dir.filePath(QStringLiteral("new.pdf"))), 1);
        QCOMPARE(tabs(window)->count(), 1);
    }

    // A document is never saved over another tab's file, whichever road
    // chose the name: the save key on an untitled document, the close
    // prompt, the offer to save elsewhere after a failed save. Refused with
    // the reason; the other file, both tabs and the changes stay.
    void savingOverAnotherTabsFile_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<bool>("byHardLink");  // the name chosen is another name of that file
        QTest::newRow("untitled, save key") << "save key" << false;
        QTest::newRow("untitled, close prompt") << "close" << false;
        QTest::newRow("failed save, saved elsewhere") << "elsewhere" << false;
        QTest::newRow("untitled, save key, a hard link") << "save key" << true;
    }

    void savingOverAnotherTabsFile()
    {
        QFETCH(QString, road);
        QFETCH(bool, byHardLink);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        const QString other = writePdf(dir, QStringLiteral("manual.pdf"), 3);
        const QByteArray before = fixtures::readFile(other);
        const QString chosen = byHardLink ? dir.filePath(QStringLiteral("hl.pdf")) : other;
        if (byHardLink)
            QCOMPARE(::link(QFile::encodeName(other).constData(), QFile::encodeName(chosen).constData()), 0);
        if (road == QLatin1String("elsewhere")) {
            openInOwnFolder(window, dir, QStringLiteral("deleted"));
            modify(window);
        } else {
            adoptUntitled(window, 1);
        }
        window.openFile(other);
        window.activateDocument(0);
        const QStringList tabsBefore = tabTexts(window);
        QCOMPARE(tabsBefore.size(), 2);

        prompt::Driver prompts;
        if (road != QLatin1String("save key"))
            prompts.clickButton(QStringLiteral("Сохранить"));
        if (road == QLatin1String("elsewhere"))
            prompts.clickButton(QStringLiteral("Сохранить как…"));
        answerSaveDialog(prompts, chosen);
        QString told;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &told);
        if (road == QLatin1String("save key"))
            homeButton(window, QStringLiteral("Сохранить"))->click();
        else
            QVERIFY(!window.closeDocumentAt(0));
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(told, QStringLiteral("Сохранить как|Файл %1 открыт в программе. Укажите другой файл.")
                           .arg(QFileInfo(chosen).fileName()));
        QCOMPARE(fixtures::readFile(chosen), before);
        QCOMPARE(fixtures::readFile(other), before);
        QCOMPARE(tabTexts(window), tabsBefore);
        QVERIFY(window.currentDocument()->isModified());
        QCOMPARE(window.currentDocument()->filePath().isEmpty(), road != QLatin1String("elsewhere"));
    }

    void closingTabActivatesNeighbour_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("closed");
        QTest::addColumn<QString>("activeAfter");
        QTest::newRow("middle: the next moves in") << 1 << 1 << "c.pdf";
        QTest::newRow("last: the previous one") << 2 << 2 << "b.pdf";
        QTest::newRow("first") << 0 << 0 << "b.pdf";
        QTest::newRow("left of the active one") << 2 << 0 << "c.pdf";
        QTest::newRow("right of the active one") << 0 << 2 << "a.pdf";
    }

    void closingTabActivatesNeighbour()
    {
        QFETCH(int, active);
        QFETCH(int, closed);
        QFETCH(QString, activeAfter);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        for (const char* name : {"a.pdf", "b.pdf", "c.pdf"})
            window.openFile(writePdf(dir, QLatin1String(name), 1));
        window.activateDocument(active);
        QVERIFY(window.closeDocumentAt(closed));
        QCOMPARE(QFileInfo(window.currentDocument()->filePath()).fileName(), activeAfter);
        QCOMPARE(view(window)->document(), window.currentDocument());
        QCOMPARE(tabs(window)->tabText(tabs(window)->currentIndex()), activeAfter);

        while (window.closeDocumentAt(0)) {
        }
        QVERIFY(!window.isDocumentLoaded());
        QCOMPARE(view(window)->document(), nullptr);
        QCOMPARE(thumbnails(window)->count(), 0);
    }

    void windowCloseCancelledAtSecondPrompt()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.show();
        for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
            window.openFile(writePdf(dir, QLatin1String(name), 2));
            modify(window);
        }
        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("Не сохранять"));
        prompts.clickButton(QStringLiteral("Отмена"));
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QCOMPARE(tabTexts(window), (QStringList{"a.pdf *", "b.pdf *"}));
        QVERIFY(!QSettings().contains(QStringLiteral("window/maximized")));
    }

    // Another close request while the close prompt is open (the user presses
    // Alt+F4 again) waits for the prompt's answer instead of closing the tabs
    // under it.
    void secondCloseWhilePromptOpenWaits()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString path = showWithPdf(window, dir, 2);
        modify(window);
        prompt::Driver prompts;
        QStringList tabsAfterSecondClose;
        prompts.whenShown([&window, &tabsAfterSecondClose](QDialog* dialog) {
            window.close();
            tabsAfterSecondClose = tabTexts(window);
            prompt::buttonWithText(dialog, QStringLiteral("Не сохранять"))->click();
        });
        prompts.clickButton(QStringLiteral("Не сохранять"));  // a nested prompt, were there one
        QVERIFY(window.close());
        QCOMPARE(tabsAfterSecondClose, QStringList{"a.pdf *"});
        QCOMPARE(prompts.pending(), 1);
        QCOMPARE(pageCountOf(path), 2);
    }
};

QTEST_MAIN(CloseTabsTest)
#include "tst_closetabs.moc"
