// Saving in place, save as, autosave across typing, and a stopped save;
// every case reads the file back.
#include "PromptDriver.h"
#include "SaveCloseSupport.h"
#include "QuietWait.h"
#include "WindowTestSupport.h"
#include "WorkProgressDialog.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTabBar>
#include <QThread>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <atomic>

#include <unistd.h>

using namespace windowtest;

namespace {

using prompt::answerSaveDialog;

// Letters and digits only: how the writer breaks a grown line does not count.
QString lettersOf(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
}


// Root writes read-only files: this program runs the current case again as
// an unprivileged user, in a temporary folder of that user's, and must pass.
void rerunUnprivileged(const QString& testAndTag)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    QVERIFY2(!setpriv.isEmpty(), "setpriv (util-linux, installed by the set-up script) runs the case unprivileged");
    QTemporaryDir home;
    QVERIFY(QFile::setPermissions(home.path(), QFileDevice::Permissions(0x7777)));  // anyone's
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("TMPDIR"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QProcess run;
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(home.path());
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                        QCoreApplication::applicationFilePath(), testAndTag});
    QVERIFY(run.waitForFinished(-1));
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0, run.readAll().constData());
}

// Edit mode on a shown window whose view has the keyboard.
} // namespace

class SaveCloseTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    // The save key and a tick of autosave both write the open file in place,
    // through a temporary file that does not stay. When the file cannot be
    // written, the save key's message and autosave's notice (told once) say
    // why (in the interface's language, not the system's), and nothing is
    // lost.
    void saveInPlace_data()
    {
        QTest::addColumn<QString>("broken");  // empty: the file may be written
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<QString>("expected");  // the status, or the notice for a failure
        QTest::addColumn<QString>("reason");    // after the notice's text; empty: any
        const QString failed = QStringLiteral("Ошибка|Не удалось сохранить файл:\n");
        const QString autoFailed = QStringLiteral("Ошибка|Автосохранение не удалось: ");
        const QString noFolder = QStringLiteral("Нет такого файла или папки");
        const QString denied = QStringLiteral("Отказано в доступе");
        QTest::newRow("save key") << "" << false << "Сохранено" << "";
        QTest::newRow("autosave") << "" << true << "Автосохранено: " << "";
        QTest::newRow("folder deleted") << "deleted" << false << failed << noFolder;
        QTest::newRow("folder replaced by a file") << "file" << false << failed << "Часть пути не является папкой";
        QTest::newRow("read-only file") << "read-only" << false << failed << "файл доступен только для чтения";
        QTest::newRow("read-only folder") << "read-only folder" << false << failed << denied;
        QTest::newRow("autosave, folder deleted") << "deleted" << true << autoFailed << noFolder;
        QTest::newRow("autosave, read-only file") << "read-only" << true << autoFailed << "";
        QTest::newRow("autosave, read-only folder") << "read-only folder" << true << autoFailed << denied;
    }

    void saveInPlace()
    {
        QFETCH(QString, broken);
        QFETCH(bool, autoSave);
        QFETCH(QString, expected);
        QFETCH(QString, reason);
        const PatientQuietTime patient;  // the autosave's outcome is read at once
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        const QString path = openInOwnFolder(window, dir, broken);
        if (broken.startsWith(QLatin1String("read-only")) && geteuid() == 0) {
            rerunUnprivileged(QStringLiteral("saveInPlace:") + QString::fromUtf8(QTest::currentDataTag()));
            return;
        }
        modify(window);
        prompt::Driver prompts;
        QString shown;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &shown);
        if (autoSave)
            invoke(window, "autoSaveIfNeeded");
        else
            QTest::keySequence(&window, QKeySequence::Save);

        if (broken.isEmpty()) {
            QCOMPARE(shown, QString());
            QCOMPARE(pageCountOf(path), 1);
            QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.pdf"});
            QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
            QVERIFY(statusText(window).startsWith(expected));
            return;
        }
        QVERIFY2(shown.startsWith(expected) && shown.size() > expected.size(), qPrintable(shown));
        if (!reason.isEmpty())
            QCOMPARE(shown, expected + reason);
        QCOMPARE(window.currentDocument()->pageCount(), 1);
        QCOMPARE(tabTexts(window), QStringList{"a.pdf *"});
        if (autoSave)
            QCOMPARE(prompt::promptShownDuring([&window] { invoke(window, "autoSaveIfNeeded"); }), QString());
    }

    // Work that ends within the quiet time shows no prompt; longer work shows
    // its prompt, and a write that cannot stop half-way offers no "Отмена"
    // and stays up until it has ended, Escape or not.
    void longWorkTellsOfItself_data()
    {
        QTest::addColumn<bool>("cancellable");
        QTest::newRow("a save") << false;
        QTest::newRow("an export") << true;
    }

    void longWorkTellsOfItself()
    {
        QFETCH(bool, cancellable);
        WorkProgressDialog quick(QStringLiteral("Сохранение"), QStringLiteral("Сохранение документа..."));
        quick.setCancellable(cancellable);
        QCOMPARE(prompt::promptShownDuring(
                     [&quick] { QVERIFY(quick.run([](const WorkProgressDialog::Report&) { return true; })); },
                     prompt::Progress::Counted),
                 QString());

        std::atomic<bool> release{false};
        bool cancelShown = true;
        bool stayedAfterEscape = false;
        prompt::Driver prompts;
        prompts.whenShown([&](QDialog* dialog) {
            QPushButton* cancel = prompt::buttonWithText(dialog, QStringLiteral("Отмена"));
            cancelShown = cancel && cancel->isVisibleTo(dialog);
            if (cancellable) {
                release = true;
                return;
            }
            prompt::pressKey(dialog, Qt::Key_Escape);
            stayedAfterEscape = dialog->isVisible();
            release = true;
        });
        WorkProgressDialog slow(QStringLiteral("Сохранение"), QStringLiteral("Сохранение документа..."));
        slow.setCancellable(cancellable);
        const bool done = slow.run([&release](const WorkProgressDialog::Report& report) {
            while (!release)
                QThread::msleep(5);
            report(1, 1);
            return true;
        });
        QVERIFY(done);
        QVERIFY(!slow.wasCancelled());
        QCOMPARE(cancelShown, cancellable);
        if (!cancellable)
            QVERIFY(stayedAfterEscape);
        QVERIFY(!slow.isVisible());
    }

    // Once the work says it is replacing the file, "Отмена" goes grey and
    // neither it nor Escape stops the work; a stop that came first makes the
    // work's last point refused, so the work stops short of it.
    void noCancelOnceCommitting_data()
    {
        QTest::addColumn<bool>("stopFirst");
        QTest::newRow("committing, then the stop") << false;
        QTest::newRow("the stop, then committing") << true;
    }

    void noCancelOnceCommitting()
    {
        QFETCH(bool, stopFirst);
        std::atomic<bool> release{false};
        std::atomic<bool> committing{false};
        bool greyed = false;
        bool stayed = false;
        prompt::Driver prompts;
        WorkProgressDialog slow(QStringLiteral("Сохранение"), QStringLiteral("Сохранение документа..."));
        prompts.whenShown([&](QDialog* dialog) {
            QPushButton* cancel = prompt::buttonWithText(dialog, QStringLiteral("Отмена"));
            if (!stopFirst)
                greyed = cancel && QTest::qWaitFor([cancel] { return !cancel->isEnabled(); }, 30000);
            prompt::pressKey(dialog, Qt::Key_Escape);
            if (cancel)
                cancel->click();
            stayed = dialog->isVisible();
            release = true;
        });
        const bool done = slow.run([&](const WorkProgressDialog::Report& report) {
            report(1, 2);
            if (!stopFirst)
                committing = slow.endCancelling();
            while (!release)
                QThread::msleep(5);
            if (stopFirst)
                committing = slow.endCancelling();
            return committing && report(2, 2);  // false had the prompt taken the cancel
        });
        QCOMPARE(done, !stopFirst);
        QCOMPARE(bool(committing), !stopFirst);
        QCOMPARE(greyed, !stopFirst);
        QCOMPARE(stayed, !stopFirst);
        QCOMPARE(slow.wasCancelled(), stopFirst);
        QCOMPARE(slow.stopAsked(), stopFirst);
    }

    // Work told to stop goes on a while (pdfium finishing its pass, a temporary
    // file removed) before it ends: the window keeps being painted meanwhile.
    // The stopped work goes on until the window's timer has fired (a window
    // held up would never let it), within a bound of its own steps.
    void stoppedWorkKeepsTheWindowPainted_data()
    {
        QTest::addColumn<int>("lateTicks");  // the window's ticks the work waits for after the stop
        QTest::newRow("ends at the stop") << 0;
        QTest::newRow("goes on after the stop") << 3;
    }

    void stoppedWorkKeepsTheWindowPainted()
    {
        QFETCH(int, lateTicks);
        constexpr int kTickMs = 10;
        constexpr int kMostSteps = 12000;  // of 5 ms: a minute, however busy the machine
        setQuietTime(0);
        const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
        std::atomic<int> ticks{0};
        QTimer tick;
        tick.setInterval(kTickMs);
        connect(&tick, &QTimer::timeout, this, [&ticks] { ++ticks; });
        prompt::Driver prompts;
        prompts.whenShown([&](QDialog* dialog) {
            QPushButton* cancel = prompt::buttonWithText(dialog, QStringLiteral("Отмена"));
            QVERIFY(cancel);
            tick.start();
            cancel->click();
        });
        std::atomic<bool> paintedMeanwhile{lateTicks == 0};
        WorkProgressDialog slow(QStringLiteral("Сохранение"), QStringLiteral("Сохранение документа..."));
        const bool done = slow.run([&](const WorkProgressDialog::Report& report) {
            while (report(1, 2))
                QThread::msleep(5);
            const int stoppedAt = ticks;
            for (int step = 0; step < kMostSteps && ticks < stoppedAt + lateTicks; ++step)
                QThread::msleep(5);
            if (lateTicks > 0)
                paintedMeanwhile = ticks >= stoppedAt + lateTicks;
            return false;
        });
        tick.stop();
        QVERIFY(!done);
        QVERIFY(slow.wasCancelled());
        QVERIFY(paintedMeanwhile);
    }

    // The name chosen gets the suffix when it has none; a file of the name with
    // the added suffix is replaced only when the user agrees.
    void saveAsName_data()
    {
        QTest::addColumn<QString>("chosen");  // empty: the dialog is cancelled
        QTest::addColumn<int>("existingPages");  // of a report.pdf already there
        QTest::addColumn<QString>("replace");
        QTest::addColumn<QString>("written");  // empty: nothing written
        QTest::newRow("without suffix") << "copy" << 0 << "" << "copy.pdf";
        QTest::newRow("other suffix") << "copy.v2" << 0 << "" << "copy.v2.pdf";
        QTest::newRow("capital suffix") << "COPY.PDF" << 0 << "" << "COPY.PDF";
        QTest::newRow("mixed-case suffix") << "copy.Pdf" << 0 << "" << "copy.Pdf";
        QTest::newRow("cancelled") << "" << 0 << "" << "";
        QTest::newRow("added suffix, file replaced") << "report" << 5 << "Заменить" << "report.pdf";
        QTest::newRow("added suffix, file kept") << "report" << 5 << "Отмена" << "";
    }

    void saveAsName()
    {
        QFETCH(QString, chosen);
        QFETCH(int, existingPages);
        QFETCH(QString, replace);
        QFETCH(QString, written);
        QTemporaryDir dir;
        if (existingPages)
            writePdf(dir, QStringLiteral("report.pdf"), existingPages);
        MainWindow window(AppProduct::editor);
        showWithPdf(window, dir, 2);
        modify(window);
        prompt::Driver prompts;
        if (chosen.isEmpty())
            prompts.press(Qt::Key_Escape);
        else
            answerSaveDialog(prompts, dir.filePath(chosen));
        QString question;
        if (existingPages)
            prompt::answerNoting(prompts, replace, &question);
        invoke(window, "onSaveAs");
        if (existingPages)
            QCOMPARE(question, QStringLiteral("Сохранить как|Файл «report.pdf» уже существует. Заменить его?"));

        if (written.isEmpty()) {
            QCOMPARE(tabTexts(window), QStringList{"a.pdf *"});
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), existingPages ? 2 : 1);
            QCOMPARE(pageCountOf(dir.filePath(QStringLiteral("report.pdf"))), existingPages ? existingPages : -1);
            return;
        }
        const QString target = dir.filePath(written);
        QCOMPARE(pageCountOf(target), 1);
        QCOMPARE(tabTexts(window), QStringList{written});
        QCOMPARE(statusText(window), QStringLiteral("Сохранено как: %1").arg(written));
        // The renamed tab is the one the new file opens into.
        window.openFile(target);
        QCOMPARE(tabs(window)->count(), 1);
    }

    void autoSavePeriodClamped_data()
    {
        QTest::addColumn<QVariant>("enabled");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("intervalMs");
        QTest::newRow("off by default") << QVariant() << 1 << 0;
        QTest::newRow("zero") << QVariant(true) << 0 << 60000;
        QTest::newRow("upper end") << QVariant(true) << 120 << 7200000;
        QTest::newRow("above") << QVariant(true) << 500 << 7200000;
    }

    void autoSavePeriodClamped()
    {
        QFETCH(QVariant, enabled);
        QFETCH(int, minutes);
        QFETCH(int, intervalMs);
        if (enabled.isValid())
            QSettings().setValue(QStringLiteral("doc/autoSave"), enabled);
        QSettings().setValue(QStringLiteral("doc/autoSaveMinutes"), minutes);
        MainWindow window(AppProduct::viewer);
        auto* timer = window.findChild<QTimer*>(QStringLiteral("AutoSaveTimer"));
        QCOMPARE(timer->isActive() ? timer->interval() : 0, intervalMs);
    }

    void autoSaveSkips_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("not modified") << "clean";
        QTest::newRow("untitled") << "untitled";
        QTest::newRow("behind an open question") << "modal";
        QTest::newRow("during a drag") << "drag";
    }

    void autoSaveSkips()
    {
        QFETCH(QString, situation);
        QTemporaryDir dir;
        const QString path = writePdf(dir, QStringLiteral("a.pdf"), 3);
        const QByteArray before = fixtures::readFile(path);
        MainWindow window(AppProduct::editor);
        window.show();
        if (situation == QLatin1String("untitled")) {
            adoptUntitled(window, 1);
        } else {
            window.openFile(path);
        }
        if (situation != QLatin1String("clean"))
            modify(window);
        if (situation == QLatin1String("modal")) {
            QDialog question(&window);
            QTimer::singleShot(0, &question, [&window, &question] {
                QVERIFY(QMetaObject::invokeMethod(&window, "autoSaveIfNeeded"));
                question.reject();
            });
            question.exec();
        } else if (situation == QLatin1String("drag")) {
            QTest::mousePress(view(window)->viewport(), Qt::LeftButton);
            invoke(window, "autoSaveIfNeeded");
            QTest::mouseRelease(view(window)->viewport(), Qt::LeftButton);
        } else {
            invoke(window, "autoSaveIfNeeded");
        }
        QCOMPARE(fixtures::readFile(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.pdf"});
    }

    // A tick of the real timer while the user types: the file gets what was
    // typed so far, and the editor, the caret and undo carry on.
    void autoSaveTickKeepsEditorAndUndo()
    {
        QTemporaryDir dir;
        const QString path = writeLinesPdf(dir, QStringLiteral("a.pdf"), {700});
        MainWindow window(AppProduct::editor);
        startEditing(window, path);
        PdfView* pdfView = view(window);
        typeAtBlockEnd(pdfView, 0, QStringLiteral("AB"));

        auto* timer = window.findChild<QTimer*>(QStringLiteral("AutoSaveTimer"));
        timer->start(20);
        QTRY_VERIFY(statusText(window).startsWith(QStringLiteral("Автосохранено: ")));
        timer->stop();
        QVERIFY2(savedText(path, 0).contains(QStringLiteral("Line of page 1AB")), qPrintable(savedText(path, 0)));
        QVERIFY(pdfView->hasActiveTextEditor());
        QVERIFY(pdfView->canUndo());

        typeText(QStringLiteral("CD"));
        QTest::keySequence(&window, QKeySequence::Save);
        QVERIFY2(savedText(path, 0).contains(QStringLiteral("Line of page 1ABCD")), qPrintable(savedText(path, 0)));
    }

    // In continuous mode the next page becomes current while the user types near
    // the bottom of a page: the editor stays and takes the next keys; a click on
    // the next page's block writes the first page and opens that block, which
    // takes the keys also when the write lasted long enough to show its prompt.
    void scrollingWhileTypingKeepsEditor_data()
    {
        QTest::addColumn<bool>("prompted");
        QTest::newRow("written at once") << false;
        QTest::newRow("written behind its prompt") << true;
    }

    void scrollingWhileTypingKeepsEditor()
    {
        QFETCH(bool, prompted);
        setQuietTime(prompted ? 0 : kQuietMs);
        const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
        QTemporaryDir dir;
        const QString path = writeLinesPdf(dir, QStringLiteral("a.pdf"), {60, 700});
        MainWindow window(AppProduct::editor);
        startEditing(window, path);
        PdfView* pdfView = view(window);
        pdfView->setZoom(0.5);
        typeAtBlockEnd(pdfView, 0, QStringLiteral("A"));

        for (int step = 0; step < 40 && pdfView->currentPage() == 0; ++step) {
            const QPointF at = pdfView->viewport()->rect().center();
            QWheelEvent wheel(at, pdfView->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -40), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(pdfView->viewport(), &wheel);
        }
        QCOMPARE(pdfView->currentPage(), 1);
        QVERIFY(pdfView->hasActiveTextEditor());
        typeText(QStringLiteral("B"));

        QCOMPARE(pdfView->blockPage(), 0);
        QTest::mouseClick(pdfView->viewport(), Qt::LeftButton, {},
                          pdfView->viewportPointForPageTopPoint(1, QPointF(100, 842 - 700 - 5)));
        QTRY_COMPARE(pdfView->blockPage(), 1);
        QTRY_VERIFY(pdfView->hasActiveTextEditor());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
        typeText(QStringLiteral("C"));

        QTest::keySequence(&window, QKeySequence::Save);
        QCOMPARE(lettersOf(savedText(path, 0)), QStringLiteral("Lineofpage1AB"));
        QCOMPARE(lettersOf(savedText(path, 1)), QStringLiteral("Lineofpage2C"));
    }

    // Blocks edited in the view and not yet written into the PDF: the tab and
    // the close prompt show them, and saving from the prompt writes them.
    void editedBlocksCountAsUnsaved()
    {
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        const QString path = showWithPdf(window, dir, 1);
        TextBlock block;
        block.text = QStringLiteral("edited");
        block.rect = QRectF(72, 72, 200, 20);
        block.textEdited = true;
        view(window)->setOcrBlocks({block}, 0, true);
        window.updateTitle();
        QCOMPARE(tabTexts(window), QStringList{"a.pdf *"});

        prompt::Driver prompts;
        prompts.clickButton(QStringLiteral("Сохранить"));
        QVERIFY(window.closeDocumentAt(0));
        QVERIFY(savedText(path, 0).contains(QStringLiteral("edited")));
    }

    // Each tab has edits of its own: switching writes the shown ones into
    // their document and shows the other tab's; closing the shown tab drops
    // its edits and shows the neighbour's.
    void eachTabOwnsItsEdits_data()
    {
        QTest::addColumn<bool>("closeEdited");
        QTest::newRow("switch back") << false;
        QTest::newRow("close the edited tab") << true;
    }

    void eachTabOwnsItsEdits()
    {
        QFETCH(bool, closeEdited);
        QTemporaryDir dir;
        MainWindow window(AppProduct::editor);
        window.show();
        window.openFile(writePdf(dir, QStringLiteral("a.pdf"), 1));
        PageEdits* first = view(window)->edits();
        window.openFile(writePdf(dir, QStringLiteral("b.pdf"), 1));
        PageEdits* second = view(window)->edits();
        QVERIFY(first != second);
        TextBlock block;
        block.text = QStringLiteral("edited");
        block.rect = QRectF(72, 72, 200, 20);
        block.textEdited = true;
        view(window)->setOcrBlocks({block}, 0, true);
        QVERIFY(second->isDirty());
        window.updateTitle();
        QCOMPARE(tabTexts(window), (QStringList{"a.pdf", "b.pdf *"}));
        if (closeEdited) {
            prompt::Driver prompts;
            prompts.clickButton(QStringLiteral("Не сохранять"));
            QVERIFY(window.closeDocumentAt(1));
            QCOMPARE(view(window)->edits(), first);
            QVERIFY(!view(window)->blocksDirty());
            QCOMPARE(tabTexts(window), QStringList{"a.pdf"});
            return;
        }
        window.activateDocument(0);
        QCOMPARE(view(window)->edits(), first);
        QVERIFY(!second->isDirty());  // written into b.pdf's document
        QVERIFY(second->isEmpty());
        QCOMPARE(tabTexts(window), (QStringList{"a.pdf", "b.pdf *"}));
        window.activateDocument(1);
        QCOMPARE(view(window)->edits(), second);
        QString text;
        for (const TextBlock& written : window.currentDocument()->extractText(0))
            text += written.text;
        QVERIFY2(text.contains(QStringLiteral("edited")), qPrintable(text));
    }

    // Edited blocks that cannot be written stop the save: the file stays as it
    // was and the marks stay on.
    void failedBlockWriteBackIsNotSaved()
    {
        QTemporaryDir dir;
        const QString path = writePdf(dir, QStringLiteral("a.pdf"), 1);
        const QByteArray before = fixtures::readFile(path);
        MainWindow window(AppProduct::editor);
        window.show();
        window.openFile(path);
        TextBlock stray;
        stray.text = QStringLiteral("stray");
        stray.rect = QRectF(72, 72, 100, 16);
        stray.textEdited = true;
        view(window)->setOcrBlocks({stray}, 7, true);  // a page the document does not have
        prompt::Driver prompts;
        QString warning;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &warning);
        invoke(window, "onSave");
        QCOMPARE(warning, QStringLiteral("Ошибка|Не удалось определить страницу текстовых правок."));
        QVERIFY(window.windowTitle().startsWith(QStringLiteral("a.pdf *")));
        QCOMPARE(fixtures::readFile(path), before);
        view(window)->clearOcrBlocks();
    }

    // "Отмена" on the save prompt, in each way a save starts: the file stays
    // byte for byte (or is not made), no private copy is left beside it, the
    // document keeps its change, and the next save writes it.
    void stoppedSaveKeepsTheFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("over its own file") << "save";
        QTest::newRow("first save to a new file") << "save as";
        QTest::newRow("at the close prompt") << "close";
    }

    void stoppedSaveKeepsTheFile()
    {
        QFETCH(QString, how);
        setQuietTime(0);  // the prompt shows while the save has just begun
        const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
        QTemporaryDir dir;
        const QString path = largePdf(dir);
        const QByteArray before = fixtures::readFile(path);
        QVERIFY(before.size() > 5 * 1024 * 1024);
        const QString target = how == QLatin1String("save as") ? dir.filePath(QStringLiteral("copy.pdf")) : path;
        MainWindow window(AppProduct::editor);
        showSmall(window);
        window.openFile(path);
        QVERIFY(window.currentDocument()->rotatePage(0, 90));
        window.updateTitle();
        QCOMPARE(tabTexts(window), QStringList{"large.pdf *"});
        const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

        prompt::Driver prompts;
        bool pressed = false;
        if (how == QLatin1String("save as"))
            answerSaveDialog(prompts, target);
        else if (how == QLatin1String("close"))
            prompts.clickButton(QStringLiteral("Сохранить"));
        prompt::stopNextSave(prompts, &pressed);
        if (how == QLatin1String("save"))
            invoke(window, "onSave");
        else if (how == QLatin1String("save as"))
            invoke(window, "onSaveAs");
        else
            QVERIFY(!window.close());
        QCOMPARE(prompts.pending(), 0);
        QVERIFY(pressed);
        QCOMPARE(statusText(window), QStringLiteral("Сохранение остановлено."));
        QCOMPARE(fixtures::readFile(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
        QVERIFY(window.isVisible());
        QVERIFY(window.currentDocument()->isModified());
        QCOMPARE(tabTexts(window), QStringList{"large.pdf *"});

        // Saved again, to the end.
        setQuietTime(kQuietMs);
        if (how == QLatin1String("save as")) {
            answerSaveDialog(prompts, target);
            invoke(window, "onSaveAs");
        } else {
            invoke(window, "onSave");
        }
        QVERIFY(!window.currentDocument()->isModified());
        const QByteArray written = fixtures::readFile(target);
        QVERIFY(written.size() > before.size());
        QVERIFY(written.startsWith(before));  // the turn is appended
        PdfDocument reread;
        QVERIFY(reread.open(target));
        QCOMPARE(reread.pageTransform(0).quarterTurns(), 1);
    }

    // What a save killed midway left beside the document (a partial file of
    // the program's own marked name, some minutes old) goes at the next open
    // or save; nothing else in the folder does: the user's hidden files of the
    // document's name in any shape, old or new, a fresh partial file, a link
    // or a folder of a partial file's name.
    void killedSaveLeftoversGo_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("at the next open") << "open";
        QTest::newRow("at the next save") << "save";
    }

    void killedSaveLeftoversGo()
    {
        QFETCH(QString, when);
        QTemporaryDir dir;
        const QString path = writePdf(dir, QStringLiteral("a.pdf"), 2);
        const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
        const auto leave = [&dir](const QString& name, const QDateTime& changed) {
            const QString file = writeFixture(dir, name, "%PDF-1.7 partial");
            QFile touched(file);
            QVERIFY(touched.open(QIODevice::ReadWrite));
            QVERIFY(touched.setFileTime(changed, QFileDevice::FileModificationTime));
        };
        const QStringList killed{".a.pdf.vorn-pdf-partial-Xq3T9z", ".b.pdf.vorn-pdf-partial-Kd82Lm"};
        const QStringList kept{".a.pdf.backup", ".a.pdf.x7Kp2Q", ".a.pdf.Xq3T9", ".a.pdf.Xq3T9z.bak", ".b.pdf.Kd82Lm",
                               "a.pdf.Xq3T9z", ".a.pdf.vorn-pdf-partial-Xq3T9", ".a.pdf.vorn-pdf-partial-Fresh1"};
        const auto leaveAll = [&] {
            for (const QString& name : killed + kept)
                leave(name, name.endsWith(QLatin1String("Fresh1")) ? QDateTime::currentDateTime() : hourAgo);
            QVERIFY(QFile::link(dir.filePath(QStringLiteral(".b.pdf.Kd82Lm")),
                                dir.filePath(QStringLiteral(".a.pdf.vorn-pdf-partial-Link01"))));
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral(".a.pdf.vorn-pdf-partial-Fold01")));
        };

        MainWindow window(AppProduct::editor);
        showSmall(window);
        if (when == QLatin1String("save")) {
            window.openFile(path);
            leaveAll();
            modify(window);
            invoke(window, "onSave");
            QCOMPARE(pageCountOf(path), 1);
        } else {
            leaveAll();
            window.openFile(path);
        }
        QStringList expected = kept;
        expected << "a.pdf" << ".a.pdf.vorn-pdf-partial-Link01" << ".a.pdf.vorn-pdf-partial-Fold01";
        expected.sort();
        QStringList found =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        found.sort();
        QCOMPARE(found, expected);
    }

};

QTEST_MAIN(SaveCloseTest)
#include "tst_saveclose.moc"
