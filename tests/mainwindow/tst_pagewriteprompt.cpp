// Writing the shown page's edits, whose check waits for a second renderer as
// long as a busy machine makes it: the save's prompt tells of the wait, its
// "Отмена" stops it at once, and the file and the edits stay.
#include "BlockFixtures.h"
#include "LoadedMachine.h"
#include "PdfTools.h"
#include "PromptDriver.h"
#include "QuietWait.h"
#include "WindowTestSupport.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

using namespace windowtest;

class PageWritePromptTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }

    // One word of the CUPS banner form corrected, then the save key while
    // poppler never ends its render: "Отмена" on the save's prompt ends the
    // render, the file stays byte for byte, the edit stays on show and
    // unsaved; with poppler back the next save writes it.
    void stoppedCheckKeepsTheFileAndTheEdit()
    {
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

        {
            const loadedmachine::StandInPoppler stuck(-1);
            QVERIFY(stuck.ready());
            prompt::Driver prompts;
            bool pressed = false;
            prompt::stopNextSave(prompts, &pressed);
            invoke(window, "onSave");
            QCOMPARE(prompts.pending(), 0);
            QVERIFY(pressed);
            QCOMPARE(statusText(window), QStringLiteral("Сохранение остановлено."));
            QVERIFY(!stuck.anyRunning());
        }
        QCOMPARE(fixtures::readFile(path), before);
        // The document is as it was: the edit lives on in the view alone.
        QVERIFY(!window.currentDocument()->extractAllText(0).contains(QStringLiteral("полное")));
        QVERIFY(view(window)->blocksDirty());
        QVERIFY(window.windowTitle().startsWith(QStringLiteral("banner.pdf *")));

        setQuietTime(kPatientQuietMs);
        invoke(window, "onSave");
        QCOMPARE(statusText(window), QStringLiteral("Сохранено"));
        const QStringList words = pdftools::words(path, 0);
        QVERIFY2(words.contains(QStringLiteral("полное:")), qPrintable(words.join(QLatin1Char(' '))));
    }
};

QTEST_MAIN(PageWritePromptTest)
#include "tst_pagewriteprompt.moc"
