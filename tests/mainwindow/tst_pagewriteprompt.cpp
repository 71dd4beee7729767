// Writing the shown page's edits, whose check waits for a second renderer as
// long as a busy machine makes it: the save's prompt tells of the wait, its
// "Отмена" stops the save at any moment, and the file and the edits stay.
#include "BlockFixtures.h"
#include "LoadedMachine.h"
#include "PdfTools.h"
#include "PromptDriver.h"
#include "QuietWait.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace windowtest;

class PageWritePromptTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    // One word of the CUPS banner form corrected, then the save key, and
    // "Отмена" on the save's prompt: while poppler never ends the page
    // write's check (the stop ends the render, the document stays as it was
    // and the edit on show), or once the page write has passed its last step
    // (the edit is in the document). Either way the file stays byte for byte,
    // no second prompt opens, the edit stays unsaved, and with poppler back
    // the next save writes it.
    void stoppedSaveKeepsTheFileAndTheEdit_data()
    {
        QTest::addColumn<bool>("afterLastStep");
        QTest::newRow("during the check's render") << false;
        QTest::newRow("after the page write's last step") << true;
    }

    void stoppedSaveKeepsTheFileAndTheEdit()
    {
        QFETCH(bool, afterLastStep);
        setQuietTime(0);  // the prompt shows while the write has just begun
        const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("banner.pdf"));
        QVERIFY(QFile::copy(fixtures::realPdf(QStringLiteral("cups-banner-form-ru.pdf")), path));
        QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner));
        const QByteArray before = fixtures::readFile(path);
        MainWindow window(AppProduct::editor);
        startEditing(window, path);
        std::vector<TextBlock> blocks = view(window)->blocks();
        QVERIFY(fixtures::correctWordInLine(blocks, QStringLiteral("Имя задания"), QStringLiteral("задания:"),
                                            QStringLiteral("задания полное:")));
        view(window)->setOcrBlocks(blocks, 0, true);
        PdfDocument* const document = window.currentDocument();
        const auto written = [document] { return document->extractAllText(0).contains(QStringLiteral("полное")); };

        {
            const loadedmachine::StandInPoppler stuck(afterLastStep ? 0 : -1);
            QVERIFY(stuck.ready());
            prompt::Driver prompts;
            bool pressed = false;
            if (afterLastStep) {
                // The window is held until the write is done (the engine's
                // lock is free again), so the prompt is still up for the stop.
                prompts.whenShown(
                    [&](QDialog* dialog) {
                        constexpr int kMostSteps = 60000;  // of 5 ms: five minutes, however busy the machine
                        for (int step = 0; step < kMostSteps && !written(); ++step)
                            QThread::msleep(5);
                        QPushButton* cancel = prompt::buttonWithText(dialog, QStringLiteral("Отмена"));
                        pressed = cancel && cancel->isEnabled() && dialog->isVisible();
                        if (pressed)
                            cancel->click();
                    },
                    prompt::isProgressPrompt);
            } else {
                prompt::stopNextSave(prompts, &pressed);
            }
            bool secondPrompt = false;
            prompts.whenShown([&secondPrompt](QDialog* dialog) {
                secondPrompt = true;
                dialog->reject();
            });
            invoke(window, "onSave");
            QCOMPARE(prompts.pending(), 1);
            QVERIFY(!secondPrompt);
            QVERIFY(pressed);
            QCOMPARE(statusText(window), QStringLiteral("Сохранение остановлено."));
            QVERIFY(!stuck.anyRunning());
        }
        QCOMPARE(fixtures::readFile(path), before);
        // The edit lives on in the view alone, or in the document unsaved.
        QCOMPARE(written(), afterLastStep);
        QCOMPARE(view(window)->blocksDirty(), !afterLastStep);
        QVERIFY(document->isModified());
        QVERIFY(window.windowTitle().startsWith(QStringLiteral("banner.pdf *")));

        setQuietTime(kPatientQuietMs);
        invoke(window, "onSave");
        QCOMPARE(statusText(window), QStringLiteral("Сохранено"));
        QVERIFY(!window.windowTitle().startsWith(QStringLiteral("banner.pdf *")));
        const QStringList words = pdftools::words(path, 0);
        QVERIFY2(words.contains(QStringLiteral("полное:")), qPrintable(words.join(QLatin1Char(' '))));
    }
};

QTEST_MAIN(PageWritePromptTest)
#include "tst_pagewriteprompt.moc"
