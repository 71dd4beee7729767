// The roads into the signature dialog: the ribbon buttons, the file
// manager's sign action and the signing edition's start, with what each
// does after the dialog closes.
#include "SigningTestSupport.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTabWidget>

using namespace signtest;

namespace {

struct Seen {
    QString subtitle;
    QString hint;
    QString status;
    bool openResultBox = false;
    bool windowVisible = false;
    int shown = 0;
};

// Notes what the dialog shows, then closes it.
void noteAndClose(prompt::Driver& prompts, MainWindow& window, Seen* seen)
{
    prompts.whenShown([&window, seen](QDialog* d) {
        if (qobject_cast<SignatureDialog*>(d)) {
            ++seen->shown;
            seen->subtitle = subtitle(d);
            seen->hint = batchHint(d);
            seen->status = windowtest::statusText(window);
            seen->openResultBox = openResultBox(d) != nullptr;
            seen->windowVisible = window.isVisible();
        }
        d->reject();
    });
}

} // namespace

class TestSigningEntry : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Bench> bench;
    int quits = 0;

    void prepare(MainWindow& window)
    {
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        window.setSigningQuit([this] { ++quits; });
    }

private slots:
    void initTestCase() { bench = std::make_unique<Bench>(); }

    void init()
    {
        bench->reset();
        quits = 0;
    }

    void cleanupTestCase() { bench.reset(); }

    // The Home and Разметка buttons open the dialog for the open document
    // where signing exists, and are absent elsewhere.
    void ribbonButtons_data()
    {
        QTest::addColumn<AppProduct>("edition");
        QTest::addColumn<bool>("offered");
        QTest::newRow("editor") << AppProduct::editor << true;
        QTest::newRow("signing") << AppProduct::ecp << true;
        QTest::newRow("viewer") << AppProduct::viewer << false;
    }

    void ribbonButtons()
    {
        QFETCH(AppProduct, edition);
        QFETCH(bool, offered);
        MainWindow window(edition);
        prepare(window);
        window.openFile(bench->pdf(QStringLiteral("act.pdf")));
        auto* ribbon = window.findChild<QTabWidget*>(QStringLiteral("Ribbon"));
        QWidget* markupPage = nullptr;
        for (int i = 0; i < ribbon->count(); ++i) {
            if (ribbon->tabText(i) == QStringLiteral("Разметка"))
                markupPage = ribbon->widget(i);
        }
        QVERIFY(markupPage);
        QToolButton* home = windowtest::homeButton(window, QStringLiteral("Подписать файл электронной подписью"));
        QToolButton* markup = windowtest::buttonByTip(markupPage, QStringLiteral("Подпись"));
        QCOMPARE(home != nullptr, offered);
        QCOMPARE(markup != nullptr, offered);
        if (!offered)
            return;
        for (QToolButton* button : {home, markup}) {
            prompt::Driver prompts;
            Seen seen;
            noteAndClose(prompts, window, &seen);
            button->click();
            QCOMPARE(seen.shown, 1);
            QCOMPARE(seen.subtitle, QStringLiteral("Файл: act.pdf"));
            QCOMPARE(seen.hint, QString());
            QVERIFY(!seen.openResultBox);
        }
        QCOMPARE(quits, 0);
    }

    // Three PDFs and a text file from the file manager: the first PDF is
    // the source, the others the batch, the text file skipped.
    void fileManagerSign_data()
    {
        QTest::addColumn<bool>("started");
        QTest::newRow("started for the action") << true;
        QTest::newRow("from a running window") << false;
    }

    void fileManagerSign()
    {
        QFETCH(bool, started);
        const QStringList pdfs{bench->pdf(QStringLiteral("a.pdf")), bench->pdf(QStringLiteral("b.pdf")),
                               bench->pdf(QStringLiteral("c.pdf"))};
        const QString text = windowtest::writeFixture(bench->files, QStringLiteral("notes.txt"), "plain");
        MainWindow window(AppProduct::editor);
        prepare(window);
        prompt::Driver prompts;
        Seen seen;
        noteAndClose(prompts, window, &seen);
        window.runShellAction(QStringLiteral("sign"), {pdfs[0], text, pdfs[1], pdfs[2]}, started);
        QTRY_COMPARE(seen.shown, 1);
        QCOMPARE(seen.status, QStringLiteral("Подписание PDF 1 из 3"));
        QCOMPARE(seen.subtitle, QStringLiteral("Файл: a.pdf"));
        QCOMPARE(seen.hint, QStringLiteral("После первого файла можно будет подписать ещё 2 файл(ов) теми же "
                                           "настройками. Непохожие на PDF файлы будут пропущены: 1."));
        QCOMPARE(seen.openResultBox, started);
        QVERIFY(!seen.windowVisible);
        // Started for the action, the program ends once the hidden window's
        // dialog is closed; otherwise the first file is open in the window.
        QTRY_COMPARE(quits, started ? 1 : 0);
        QTest::qWait(20);
        QCOMPARE(quits, started ? 1 : 0);
        QCOMPARE(window.isDocumentLoaded(), !started);
        if (!started)
            QCOMPARE(window.currentDocument()->filePath(), pdfs[0]);
    }

    // From a running window, a first file that does not open leaves the
    // open document current: nothing is signed then.
    void fileManagerFirstFileUnreadable()
    {
        const QString other = bench->pdf(QStringLiteral("other.pdf"));
        const QString broken = windowtest::writeFixture(bench->files, QStringLiteral("broken.pdf"), "%PDF-1.4 junk");
        MainWindow window(AppProduct::editor);
        prepare(window);
        window.openFile(other);
        prompt::Driver prompts;
        QStringList noted;
        note(prompts, &noted);
        Seen seen;
        noteAndClose(prompts, window, &seen);
        window.runShellAction(QStringLiteral("sign"), {broken, bench->pdf(QStringLiteral("b.pdf"))}, false);
        QTRY_COMPARE(noted.size(), 1);
        QVERIFY2(noted.first().startsWith(QStringLiteral("Ошибка|")), qPrintable(noted.first()));
        QTest::qWait(100);
        QCOMPARE(seen.shown, 0);
        QCOMPARE(bench->calls().size(), 0);
        QCOMPARE(quits, 0);
    }

    // Started for the action with "Открыть результат после подписания"
    // checked: the stamped copy opens in the window, which is shown, and the
    // program goes on. The message lists the skipped file.
    void fileManagerOpensResult()
    {
        const QString source = bench->pdf(QStringLiteral("a.pdf"));
        const QString text = windowtest::writeFixture(bench->files, QStringLiteral("notes.txt"), "plain");
        MainWindow window(AppProduct::editor);
        prepare(window);
        prompt::Driver prompts;
        QStringList noted;
        pressSign(prompts, [](SignatureDialog* d) {
            modeBox(d)->setCurrentIndex(3);
            openResultBox(d)->setChecked(true);
        });
        note(prompts, &noted);
        window.runShellAction(QStringLiteral("sign"), {source, text}, true);
        QTRY_COMPARE(noted.size(), 1);
        QVERIFY2(noted.first().contains(QStringLiteral(
                     "\nПропущены файлы, которые не похожи на PDF по содержимому:\n• notes.txt\n\nSHA-256")),
                 qPrintable(noted.first()));
        QTRY_VERIFY(window.isVisible());
        QCOMPARE(window.currentDocument()->filePath(), bench->path(QStringLiteral("a_подписан.pdf")));
        QTest::qWait(20);
        QCOMPARE(quits, 0);
    }

    // The signing edition's start: existing files once each, the first
    // signed first; the program ends when the dialog closes.
    void ecpStartup_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("hint");
        QTest::newRow("two existing, one missing")
            << QStringList{"missing.pdf", "a.pdf", "b.pdf"}
            << "После первого файла можно будет подписать ещё 1 файл(ов) теми же настройками.";
        QTest::newRow("the same file twice") << QStringList{"a.pdf", "a.pdf"} << "";
    }

    void ecpStartup()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, hint);
        bench->pdf(QStringLiteral("a.pdf"));
        bench->pdf(QStringLiteral("b.pdf"));
        QStringList paths;
        for (const QString& name : names)
            paths << bench->path(name);
        MainWindow window(AppProduct::ecp);
        prepare(window);
        prompt::Driver prompts;
        Seen seen;
        noteAndClose(prompts, window, &seen);
        window.showEcpStartup(paths);
        QCOMPARE(seen.shown, 1);
        QCOMPARE(seen.subtitle, QStringLiteral("Файл: a.pdf"));
        QCOMPARE(seen.hint, hint);
        QVERIFY(!seen.openResultBox);
        QVERIFY(!window.isVisible());
        QCOMPARE(quits, 1);
    }

    // Nothing given: the user picks the files, in a picker whose caption and
    // filter speak the interface language; cancelling ends the program.
    void ecpStartupPicker_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("filter");
        QTest::newRow("Russian") << "ru" << "Выберите файлы для подписи" << "Все файлы (*)";
        QTest::newRow("English") << "en" << "Choose files to sign" << "All files (*)";
    }

    void ecpStartupPicker()
    {
        QFETCH(QString, language);
        QFETCH(QString, title);
        QFETCH(QString, filter);
        MainWindow window(AppProduct::ecp);  // reads the language setting
        prepare(window);
        qApp->setProperty("uiLanguage", language);
        prompt::Driver prompts;
        QString shownTitle;
        QStringList filters;
        bool picker = false;
        prompts.whenShown([&](QDialog* d) {
            shownTitle = d->windowTitle();
            if (auto* files = qobject_cast<QFileDialog*>(d)) {
                picker = true;
                filters = files->nameFilters();
            }
            d->reject();
        });
        window.showEcpStartup({bench->path(QStringLiteral("missing.pdf")), bench->files.path()});
        qApp->setProperty("uiLanguage", QVariant());
        QCOMPARE(shownTitle, title);
        QCOMPARE(filters, QStringList{filter});
        QVERIFY(picker);
        QCOMPARE(quits, 1);
        QCOMPARE(prompts.pending(), 0);
    }
};

QTEST_MAIN(TestSigningEntry)
#include "tst_signingentry.moc"
