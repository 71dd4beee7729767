// The single signing run with stand-in children: how each way a child can
// end is reported, the refusals before signing, the private scratch folder,
// the journal record and what is opened afterwards.
#include "EngineBlocker.h"
#include "LargePdf.h"
#include "OwnedFolder.h"
#include "SigningScratch.h"
#include "SigningTestSupport.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QStandardPaths>

#include <csignal>

#include <utime.h>

using namespace signtest;

namespace {

const QString kFallback = QStringLiteral("Подписание завершилось с ошибкой.");
// Stops a busy run as the user would: Escape, the overlay's "Отмена" or
// the window's close button; returns whether the window answered while the
// run's work still went on (workGoesOn after the stop): a stop that waited
// for the work to end would find it ended, however fast or slow the machine.
bool stopRun(SignatureDialog* dialog, const QString& how, const std::function<bool()>& workGoesOn = {})
{
    if (how == QLatin1String("escape")) {
        QTest::keyClick(dialog, Qt::Key_Escape);
    } else if (how == QLatin1String("overlay")) {
        auto* overlay = dialog->findChild<QFrame*>(QStringLiteral("SignatureBusyOverlay"));
        for (QPushButton* button : overlay->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Отмена"))
                button->click();
        }
    } else {
        dialog->close();
    }
    return !workGoesOn || workGoesOn();
}

// Whether the process has ended: gone, or a zombie nobody reaps (an orphan
// in a container without a reaping init).
bool processEnded(const QString& pid)
{
    const QByteArray stat = fixtures::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return !pid.isEmpty() && (stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z");
}

} // namespace

class TestSigningRun : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Bench> bench;

    // Signs source (given as a file) in the given mode; the prompts that came
    // up are noted, and the dialog is closed if it is still open afterwards.
    QStringList signFile(MainWindow& window, const QString& source, int mode, bool* reopened,
                         const std::function<void(SignatureDialog*)>& more = {})
    {
        prompt::Driver prompts;
        QStringList noted;
        pressSign(prompts, [mode, more](SignatureDialog* d) {
            modeBox(d)->setCurrentIndex(mode);
            if (more)
                more(d);
        });
        note(prompts, &noted);
        closeDialog(prompts, reopened);
        window.showSignatureDialog(false, {}, {}, source);
        return noted;
    }

private slots:
    void initTestCase()
    {
        bench = std::make_unique<Bench>();
        QVERIFY(appDataDirectory().startsWith(bench->home.path()));
    }

    void init() { bench->reset(); }

    void cleanupTestCase() { bench.reset(); }

    // Every way the children can end, and what the user is told; a failure
    // writes no journal record, leaves the dialog open and no scratch behind.
    void childOutcomes_data()
    {
        QTest::addColumn<QString>("describe");
        QTest::addColumn<QString>("sign");
        QTest::addColumn<bool>("missingProgram");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("children");
        const QString failed = QStringLiteral("Ошибка подписи|");
        const QStringList both{"describe", "sign"};
        const QStringList describeOnly{"describe"};
        const QString crashed = QStringLiteral("Криптопровайдер аварийно завершил подписание. GUI остался запущен, "
                                               "можно выбрать другой сертификат или режим подписи.");
        QTest::newRow("not JSON") << describeOk() << "echo hello" << false << failed + kFallback << both;
        QTest::newRow("not JSON, a message") << describeOk() << "echo hello; echo ' нет ключа ' >&2" << false
                                             << failed + "нет ключа" << both;
        QTest::newRow("a JSON array") << describeOk() << "echo '[{\"ok\":true}]'" << false << failed + kFallback << both;
        QTest::newRow("nothing printed") << describeOk() << "true" << false << failed + kFallback << both;
        QTest::newRow("exit 5, its error read")
            << describeOk() << "echo '{\"ok\":false,\"error\":\"Неверный пароль\"}'; echo noise >&2; exit 5" << false
            << failed + "Неверный пароль" << both;
        QTest::newRow("ok false without error") << describeOk() << "echo '{\"ok\":false}'" << false
                                                << failed + kFallback << both;
        QTest::newRow("two lines") << describeOk() << signOk() + "; echo '{\"ok\":true}'" << false << failed + kFallback
                                   << both;
        QTest::newRow("ok without its output") << describeOk() << "echo '{\"ok\":true,\"error\":\"\"}'" << false
                                               << failed + "Процесс подписи сообщил об успехе, но не назвал файл результата."
                                               << both;
        QTest::newRow("ok naming no file")
            << describeOk() << "echo '{\"ok\":true,\"outputPath\":\"/nonexistent/act.pdf.sig\"}'" << false
            << failed + "Процесс подписи сообщил об успехе, но файла результата нет: /nonexistent/act.pdf.sig" << both;
        QTest::newRow("crash") << describeOk() << "kill -SEGV $$" << false << failed + crashed << both;
        QTest::newRow("crash, a message") << describeOk() << "echo 'провайдер упал' >&2; kill -ABRT $$" << false
                                          << failed + "провайдер упал" << both;
        QTest::newRow("program missing") << describeOk() << signOk() << true
                                         << failed + "Не удалось запустить изолированный процесс подписания."
                                         << QStringList{};
        QTest::newRow("describe refuses") << "echo '{\"ok\":false,\"error\":\"Ключ не подходит\"}'" << signOk() << false
                                          << failed + "Ключ не подходит" << describeOnly;
        QTest::newRow("describe names no certificate") << "echo '{\"ok\":true}'" << signOk() << false
                                                       << failed + kFallback << describeOnly;
        QTest::newRow("describe crashes") << "kill -SEGV $$" << signOk() << false << failed + crashed << describeOnly;
        QTest::newRow("describe exits, a message") << "echo 'нет токена' >&2; exit 1" << signOk() << false
                                                   << failed + "нет токена" << describeOnly;
    }

    void childOutcomes()
    {
        QFETCH(QString, describe);
        QFETCH(QString, sign);
        QFETCH(bool, missingProgram);
        QFETCH(QString, shown);
        QFETCH(QStringList, children);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(missingProgram ? bench->path(QStringLiteral("no-such-program"))
                                                      : bench->standIn(describe, sign));
        bool reopened = false;
        // Mode 3: a failed description must leave no stamped copy behind.
        const QStringList noted = signFile(window, source, 3, &reopened);
        QCOMPARE(noted, QStringList{shown});
        QVERIFY(reopened);
        QCOMPARE(bench->kinds(), children);
        QCOMPARE(bench->journal().size(), 0);
        QCOMPARE(bench->scratchLeft(), QStringList{});
        for (const Call& call : bench->calls())
            QVERIFY2(!QFileInfo::exists(call.folder), qPrintable(call.folder));
        if (!children.contains(QStringLiteral("sign")))
            QVERIFY(!QFileInfo::exists(bench->path(QStringLiteral("act_подписан.pdf"))));
    }

    // A child that ends without reading the pass phrases on its input (here
    // far more than a pipe holds, as the longest the fields take): its own
    // answer is what counts, not the failed hand-over.
    void unreadPassPhrases_data()
    {
        QTest::addColumn<QString>("describe");
        QTest::addColumn<QString>("shown");  // its start
        QTest::newRow("describing child refuses")
            << "echo '{\"ok\":false,\"error\":\"Ключ не подходит\"}'; exit 5" << "Ошибка подписи|Ключ не подходит";
        QTest::newRow("both children succeed") << describeOk() << "Подпись создана|Подписан: act.pdf";
    }

    void unreadPassPhrases()
    {
        QFETCH(QString, describe);
        QFETCH(QString, shown);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(QStringLiteral("exec 0<&-; ") + describe,
                                                      QStringLiteral("exec 0<&-; ") + signOk()));
        bool reopened = false;
        const QStringList noted = signFile(window, source, 3, &reopened, [](SignatureDialog* d) {
            for (QLineEdit* field : d->findChildren<QLineEdit*>()) {
                if (field->echoMode() == QLineEdit::Password)
                    field->setText(QString(field->maxLength(), QChar(u'ж')));
            }
        });
        QCOMPARE(noted.size(), 1);
        QVERIFY2(noted.first().startsWith(shown), qPrintable(noted.first()));
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // The result's size is read from a string only; a number reads as 0 and
    // the signature still counts.
    void numericSizeReadsZero()
    {
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk(QStringLiteral("42"))));
        bool reopened = false;
        const QStringList noted = signFile(window, source, 0, &reopened);
        QCOMPARE(noted.size(), 1);
        QVERIFY2(noted.first().startsWith(QStringLiteral("Подпись создана|")), qPrintable(noted.first()));
        QVERIFY(!reopened);
        QCOMPARE(bench->journal().size(), 1);
        QCOMPARE(bench->journal().at(0)[QStringLiteral("signatureSize")].toString(), QStringLiteral("0"));
    }

    // Refusals before signing: nothing is signed and the user is told why.
    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("tsa");
        QTest::addColumn<QString>("typedOutput");
        QTest::addColumn<bool>("removeSource");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("outputShown");
        QTest::addColumn<QStringList>("children");
        QTest::newRow("input gone") << "act.pdf" << 0 << "" << "" << true
                                    << "Подписание|Выберите существующий файл для подписи." << "" << QStringList{};
        QTest::newRow("CAdES-T without TSA, a typed output taken")
            << "act.pdf" << 2 << "  " << "taken.sig" << false
            << "Подписание|Для CAdES-T укажите адрес TSA-сервера." << "taken (1).sig" << QStringList{};
        // A stamped signature is named after the stamped copy it signs.
        QTest::newRow("stamp on a text file") << "notes.txt" << 3 << "http://tsa.test/a" << "" << false
                                              << "Подписание|Видимый штамп можно добавить только в PDF."
                                              << "notes_подписан.pdf.sig" << QStringList{};
        QTest::newRow("embedded in a text file") << "notes.txt" << 4 << " http://tsa.test/b " << "" << false
                                                 << "Подписание|Встроенную подпись можно добавить только в PDF."
                                                 << "notes.signed.pdf" << QStringList{};
    }

    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(int, mode);
        QFETCH(QString, tsa);
        QFETCH(QString, typedOutput);
        QFETCH(bool, removeSource);
        QFETCH(QString, shown);
        QFETCH(QString, outputShown);
        QFETCH(QStringList, children);
        const QString source = name.endsWith(QStringLiteral(".pdf"))
                                   ? bench->pdf(name)
                                   : windowtest::writeFixture(bench->files, name, "plain text");
        if (!typedOutput.isEmpty())
            windowtest::writeFixture(bench->files, typedOutput, "an earlier signature");
        const QByteArray before = fixtures::readFile(source);
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        bool reopened = false;
        QString output;
        prompt::Driver prompts;
        QStringList noted;
        pressSign(prompts, [&](SignatureDialog* d) {
            modeBox(d)->setCurrentIndex(mode);
            tsaField(d)->setText(tsa);
            if (!typedOutput.isEmpty())
                d->setOutputPath(bench->path(typedOutput));
            if (removeSource)
                QFile::remove(source);
        });
        note(prompts, &noted);
        prompts.whenShown([&](QDialog* d) {
            reopened = true;
            output = static_cast<SignatureDialog*>(d)->inputs().outputPath;
            d->reject();
        });
        window.showSignatureDialog(false, {}, {}, source);
        QCOMPARE(noted, QStringList{shown});
        QVERIFY(reopened);
        QCOMPARE(bench->kinds(), children);
        if (!outputShown.isEmpty())
            QCOMPARE(output, bench->path(outputShown));
        // A TSA address given is kept even when the run is refused.
        QCOMPARE(QSettings().value(QStringLiteral("signing/tsaUrl")).toString(), tsa.trimmed());
        if (!removeSource)
            QCOMPARE(fixtures::readFile(source), before);
        if (!typedOutput.isEmpty())
            QCOMPARE(fixtures::readFile(bench->path(typedOutput)), QByteArray("an earlier signature"));
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // A success: both children get a private request and the edition's
    // option, the journal names the described certificate, nothing is left
    // in the temporary folder, and a signature file is not opened.
    void successJournalAndScratch()
    {
        const QString source = bench->pdf(QStringLiteral("act.pdf"), 2);
        MainWindow window(AppProduct::editor);
        window.openFile(bench->pdf(QStringLiteral("other.pdf")));
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        bool reopened = false;
        const QStringList noted = signFile(window, source, 0, &reopened);
        const QString signature = bench->path(QStringLiteral("act.pdf.sig"));
        QVERIFY(QFileInfo::exists(signature));
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(fixtures::readFile(source), QCryptographicHash::Sha256).toHex());
        QCOMPARE(noted, QStringList{QStringLiteral("Подпись создана|Подписан: act.pdf\nФайл подписи: %1\n\n"
                                                   "SHA-256 первого подписанного файла: %2")
                                        .arg(signature, sha)});
        QVERIFY(!reopened);
        QCOMPARE(windowtest::statusText(window), QStringLiteral("Подпись сохранена: act.pdf.sig"));
        QCOMPARE(window.currentDocument()->filePath(), bench->path(QStringLiteral("other.pdf")));

        const QList<Call> calls = bench->calls();
        QCOMPARE(calls.size(), 2);
        for (const Call& call : calls) {
            QVERIFY2(call.arguments.startsWith(QStringLiteral("--vorn-sign-file ")), qPrintable(call.arguments));
            QVERIFY2(call.arguments.endsWith(QStringLiteral(" --vorn-product=editor")), qPrintable(call.arguments));
            QCOMPARE(call.marker, QStringLiteral("1"));
            QCOMPARE(call.modes, QStringLiteral("600 700"));
            QCOMPARE(QFileInfo(call.folder).absolutePath(), QFileInfo(bench->tempRoot.path()).absoluteFilePath());
            QVERIFY(QFileInfo(call.folder).fileName().startsWith(QStringLiteral("vorn-sign-")));
            QVERIFY(!QFileInfo::exists(call.folder));
            QCOMPARE(call.input, source);
        }
        QCOMPARE(calls[0].kind, QStringLiteral("describe"));
        QCOMPARE(calls[1].output, signature);
        QCOMPARE(bench->scratchLeft(), QStringList{});

        const QJsonArray journal = bench->journal();
        QCOMPARE(journal.size(), 1);
        const QJsonObject record = journal.at(0).toObject();
        QCOMPARE(record[QStringLiteral("filePath")].toString(), source);
        QCOMPARE(record[QStringLiteral("signaturePath")].toString(), signature);
        QCOMPARE(record[QStringLiteral("sha256")].toString(), sha);
        QCOMPARE(record[QStringLiteral("signatureSize")].toString(), QString::number(QFileInfo(signature).size()));
        QCOMPARE(record[QStringLiteral("certificateSubject")].toString(), QStringLiteral("CN=Test Signer,O=Vorn"));
        QCOMPARE(record[QStringLiteral("certificateIssuer")].toString(), QStringLiteral("CN=Test CA"));
        QCOMPARE(record[QStringLiteral("certificateThumbprint")].toString(), QStringLiteral("AB:CD"));
    }

    // The open document signed in mode 4 goes through a copy in the scratch
    // folder; the journal names the document, and nothing is opened.
    void embeddedOpenDocument()
    {
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        MainWindow window(AppProduct::editor);
        window.openFile(source);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        prompt::Driver prompts;
        QStringList noted;
        bool reopened = false;
        pressSign(prompts, [](SignatureDialog* d) { modeBox(d)->setCurrentIndex(4); });
        note(prompts, &noted);
        closeDialog(prompts, &reopened);
        window.showSignatureDialog(false, {}, {}, QString());
        QCOMPARE(noted.size(), 1);
        QVERIFY2(noted.first().startsWith(QStringLiteral("Подпись создана|")), qPrintable(noted.first()));
        QVERIFY(!reopened);
        const QList<Call> calls = bench->calls();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(QFileInfo(calls[1].input).dir().absolutePath(), calls[1].folder);
        QVERIFY(QFileInfo(calls[1].input).fileName().startsWith(QStringLiteral("vorn-sign-source-")));
        QVERIFY(!QFileInfo::exists(calls[1].input));
        QCOMPARE(bench->scratchLeft(), QStringList{});
        const QJsonArray journal = bench->journal();
        QCOMPARE(journal.size(), 1);
        QCOMPARE(journal.at(0)[QStringLiteral("filePath")].toString(), source);
        QCOMPARE(journal.at(0)[QStringLiteral("fileName")].toString(), QStringLiteral("act.pdf"));
        QCOMPARE(window.currentDocument()->filePath(), source);
    }

    // The open document is stamped as it is now, unsaved changes included;
    // the stamped copy is opened in the window; an earlier one is kept and
    // the new one takes a free name.
    void stampedCopyOpened()
    {
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QByteArray saved = fixtures::readFile(source);
        const QString earlier = windowtest::writeFixture(bench->files, QStringLiteral("act_подписан.pdf"), "earlier");
        MainWindow window(AppProduct::editor);
        window.openFile(source);
        window.currentDocument()->insertBlankPage(1, QSizeF(595, 842));
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        prompt::Driver prompts;
        QStringList noted;
        pressSign(prompts, [](SignatureDialog* d) { modeBox(d)->setCurrentIndex(3); });
        note(prompts, &noted);
        window.showSignatureDialog(false, {}, {}, QString());
        const QString stamped = bench->path(QStringLiteral("act_подписан (1).pdf"));
        QCOMPARE(noted.size(), 1);
        QVERIFY2(noted.first().contains(QStringLiteral("PDF со штампом: ") + stamped), qPrintable(noted.first()));
        QCOMPARE(fixtures::readFile(earlier), QByteArray("earlier"));
        QVERIFY2(stagedFor(bench->calls().value(1).input, stamped), qPrintable(bench->calls().value(1).input));
        QCOMPARE(window.currentDocument()->filePath(), stamped);
        QCOMPARE(window.currentDocument()->pageCount(), 2);
        QCOMPARE(fixtures::readFile(source), saved);
        QCOMPARE(bench->scratchLeft(), QStringList{});
        QCOMPARE(bench->journal().at(0)[QStringLiteral("filePath")].toString(), stamped);
    }

    // A second signer stamps a copy that is already stamped: the copy of a
    // source whose name carries the marker takes the next free name, and
    // the source stays as it was. The window speaks Russian: "_подписан".
    void markedSourceStamped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("earlier");  // a copy already beside it; empty: none
        QTest::addColumn<QString>("stamped");
        QTest::newRow("named with the marker") << "akt_подписан.pdf" << "" << "akt_подписан (1).pdf";
        QTest::newRow("the marker in capitals") << "Акт_ПОДПИСАН.pdf" << "" << "Акт_ПОДПИСАН (1).pdf";
        QTest::newRow("a third signer") << "akt_подписан.pdf" << "akt_подписан (1).pdf" << "akt_подписан (2).pdf";
    }

    void markedSourceStamped()
    {
        QFETCH(QString, name);
        QFETCH(QString, earlier);
        QFETCH(QString, stamped);
        const QString source = bench->pdf(name);
        const QByteArray before = fixtures::readFile(source);
        if (!earlier.isEmpty())
            windowtest::writeFixture(bench->files, earlier, "earlier");
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        bool reopened = false;
        const QStringList noted = signFile(window, source, 3, &reopened);
        QCOMPARE(noted.size(), 1);
        QVERIFY2(noted.first().startsWith(QStringLiteral("Подпись создана|")), qPrintable(noted.first()));
        QVERIFY(stagedFor(bench->calls().value(1).input, bench->path(stamped)));
        QVERIFY(stagedFor(bench->calls().value(1).output, bench->path(stamped + QStringLiteral(".sig"))));
        QVERIFY(fixtures::readFile(bench->path(stamped)).startsWith("%PDF-"));
        QVERIFY(QFileInfo::exists(bench->path(stamped + QStringLiteral(".sig"))));
        QCOMPARE(fixtures::readFile(source), before);
        if (!earlier.isEmpty())
            QCOMPARE(fixtures::readFile(bench->path(earlier)), QByteArray("earlier"));
    }

    // After a failure the dialog signs again with a run of its own: a fresh
    // scratch folder, a new description, one journal record.
    void secondAttemptAfterFailure()
    {
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString once = bench->path(QStringLiteral("failed-once"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(
            describeOk(), QStringLiteral("if [ -e '%1' ]; then %2; else touch '%1'; "
                                         "echo '{\"ok\":false,\"error\":\"Неверный пароль\"}'; fi")
                              .arg(once, signOk())));
        prompt::Driver prompts;
        QStringList noted;
        pressSign(prompts, [](SignatureDialog* d) { modeBox(d)->setCurrentIndex(3); });
        note(prompts, &noted);
        pressSign(prompts, {});
        note(prompts, &noted);
        window.showSignatureDialog(false, {}, {}, source);
        QCOMPARE(noted.size(), 2);
        QCOMPARE(noted[0], QStringLiteral("Ошибка подписи|Неверный пароль"));
        QVERIFY2(noted[1].startsWith(QStringLiteral("Подпись создана|")), qPrintable(noted[1]));
        const QList<Call> calls = bench->calls();
        QCOMPARE(bench->kinds(), (QStringList{"describe", "sign", "describe", "sign"}));
        QVERIFY(calls[0].folder != calls[2].folder);
        // The first attempt's stamped copy went with its failure: the second
        // makes it again under the same name, and it is the only one.
        QCOMPARE(QFileInfo(calls[1].input).fileName(), QStringLiteral("act_подписан.pdf"));
        QCOMPARE(QFileInfo(calls[3].input).fileName(), QStringLiteral("act_подписан.pdf"));
        QCOMPARE(QFileInfo(calls[3].output).fileName(), QStringLiteral("act_подписан.pdf.sig"));
        QVERIFY(QFileInfo::exists(bench->path(QStringLiteral("act_подписан.pdf"))));
        QVERIFY(!QFileInfo::exists(bench->path(QStringLiteral("act_подписан (1).pdf"))));
        QCOMPARE(bench->journal().size(), 1);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // A temporary folder that cannot hold the scratch: nothing is started.
    void scratchUnavailable()
    {
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString notFolder = windowtest::writeFixture(bench->files, QStringLiteral("not-a-folder"), "x");
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        qputenv("TMPDIR", notFolder.toUtf8());
        bool reopened = false;
        const QStringList noted = signFile(window, source, 0, &reopened);
        qputenv("TMPDIR", bench->tempRoot.path().toUtf8());
        QCOMPARE(noted.size(), 1);
        QVERIFY2(noted.first().startsWith(QStringLiteral("Подписание|Не удалось подготовить параметры подписи: ")),
                 qPrintable(noted.first()));
        QVERIFY(reopened);
        QCOMPARE(bench->calls().size(), 0);
    }

    // Stopped while the document is prepared on its thread (the stamped
    // copy, and first the open document's copy): the window answers at
    // once, no child signs, and once the preparation has ended on its own
    // neither a stamped copy nor a signature nor any scratch is left.
    void stopDuringPreparation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("openDocument");
        QTest::newRow("Escape, a file") << "escape" << false;
        QTest::newRow("overlay's Отмена, the open document") << "overlay" << true;
        QTest::newRow("closed, a file") << "close" << false;
    }

    void stopDuringPreparation()
    {
        QFETCH(QString, how);
        QFETCH(bool, openDocument);
        const QString source = bench->path(QStringLiteral("manual.pdf"));
        QVERIFY(largepdf::writePicturePages(source, 300, 230));  // about 16 MB
        const QByteArray before = fixtures::readFile(source);
        MainWindow window(AppProduct::editor);
        if (openDocument)
            window.openFile(source);
        window.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
        prompt::Driver prompts;
        QPointer<SignatureDialog> dialog;
        bool answeredAtOnce = false;
        int shownProgress = -1;
        pressSign(
            prompts,
            [&](SignatureDialog* d) {
                modeBox(d)->setCurrentIndex(3);
                auto* bar = d->findChild<QProgressBar*>();
                auto* poll = new QTimer(d);
                // Well into the preparation: a long step (opening, saving) lies ahead.
                QObject::connect(poll, &QTimer::timeout, d, [&, d, bar, poll] {
                    if (!bar->isVisible() || bar->value() < 400)
                        return;
                    poll->stop();
                    shownProgress = bar->value();
                    // The preparation cannot go on while the engine is held.
                    const EngineBlocker engine;
                    answeredAtOnce = stopRun(d, how, [&engine] { return engine.holding(); });
                });
                poll->start(1);
            },
            &dialog);
        QStringList noted;
        note(prompts, &noted);
        window.showSignatureDialog(false, {}, {}, openDocument ? QString() : source);
        QVERIFY(dialog.isNull());
        QVERIFY2(shownProgress >= 400 && shownProgress < 1000, qPrintable(QString::number(shownProgress)));
        QVERIFY(answeredAtOnce);
        QCOMPARE(noted, QStringList{});
        QCOMPARE(bench->kinds(), QStringList{"describe"});
        const QString stamped = bench->path(QStringLiteral("manual_подписан.pdf"));
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(stamped) && bench->scratchLeft().isEmpty(), 20000);
        QVERIFY(!QFileInfo::exists(stamped + QStringLiteral(".sig")));
        QCOMPARE(fixtures::readFile(source), before);
        QCOMPARE(bench->journal().size(), 0);
    }

    // Stopped while the child signs, after another run of the same document
    // finished under the names this one wanted: the child is killed, what
    // it had begun goes (its unfinished output beside the name, its
    // temporary files, in mode 3 the stamped copy made for it), and the
    // other run's files stay as they are.
    void stopDuringSigning_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("others");  // what the other run wrote, under this run's wanted names
        QTest::newRow("stamped, overlay's Отмена") << 3 << "overlay"
                                                   << QStringList{"act_подписан.pdf.sig", "act_подписан.pdf"};
        QTest::newRow("embedded, closed") << 4 << "close" << QStringList{"act.signed.pdf"};
        QTest::newRow("detached, Escape") << 0 << "escape" << QStringList{"act.pdf.sig"};
    }

    void stopDuringSigning()
    {
        QFETCH(int, mode);
        QFETCH(QString, how);
        QFETCH(QStringList, others);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString pidFile = bench->path(QStringLiteral("pid"));
        const QString tmpFile = bench->path(QStringLiteral("tmpdir"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(
            describeOk(), QStringLiteral("echo copy > \"$TMPDIR/vorn-pdf-byterange-1.bin\"; echo \"$TMPDIR\" > '%1'; "
                                         "exec '%2' \"$out\" wait '%3'")
                              .arg(tmpFile, QStringLiteral(VORN_PARTIAL_WRITER), pidFile)));
        prompt::Driver prompts;
        QPointer<SignatureDialog> dialog;
        QString pid;
        QStringList begun;
        bool answered = false;
        pressSign(
            prompts,
            [&](SignatureDialog* d) {
                modeBox(d)->setCurrentIndex(mode);
                whenWritten(pidFile, d, [&, d](const QString& line) {
                    pid = line;
                    begun = unfinishedBeside(bench->calls().value(1).output);
                    QCOMPARE(begun.size(), 1);
                    for (const QString& name : others)
                        windowtest::writeFixture(bench->files, name, "another run's " + name.toUtf8());
                    // The child never ends by itself: a stop that waited for it would never come back.
                    answered = stopRun(d, how);
                });
            },
            &dialog);
        QStringList noted;
        note(prompts, &noted);
        window.showSignatureDialog(false, {}, {}, source);
        QVERIFY(dialog.isNull());
        QVERIFY(answered);
        QCOMPARE(noted, QStringList{});
        QVERIFY2(processGone(pid), qPrintable(pid));
        const QString childTemp = firstLine(tmpFile);
        QCOMPARE(QFileInfo(childTemp).absolutePath(), QFileInfo(bench->tempRoot.path()).absoluteFilePath());
        QVERIFY(!QFileInfo::exists(childTemp));
        QVERIFY(!begun.isEmpty() && !QFileInfo::exists(begun.first()));
        for (const QString& name : others)
            QCOMPARE(fixtures::readFile(bench->path(name)), "another run's " + name.toUtf8());
        QCOMPARE(unfinishedBeside(bench->path(QStringLiteral("act.pdf.sig"))), QStringList{});
        QCOMPARE(QDir(bench->files.path()).entryList({QStringLiteral(".vorn-sign-*")}, QDir::Dirs | QDir::Hidden),
                 QStringList{});
        QCOMPARE(bench->scratchLeft(), QStringList{});
        QCOMPARE(bench->journal().size(), 0);
    }

    // Stopped after the child answered for its signature but before it
    // ended: the stopped run keeps nothing, and the file it answered for is
    // known by its device and inode, never its name: a file put under that
    // name since (another run's) stays.
    void stopAfterAnswer_data()
    {
        QTest::addColumn<bool>("nameTakenSince");
        QTest::newRow("its own signature goes") << false;
        QTest::newRow("another file under its name stays") << true;
    }

    void stopAfterAnswer()
    {
        QFETCH(bool, nameTakenSince);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString pidFile = bench->path(QStringLiteral("pid"));
        const QString output = bench->path(QStringLiteral("act.pdf.sig"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(
            bench->standIn(describeOk(), signOk() + QStringLiteral("; echo $$ > '%1'; exec sleep 30").arg(pidFile)));
        prompt::Driver prompts;
        QPointer<SignatureDialog> dialog;
        pressSign(
            prompts,
            [&](SignatureDialog* d) {
                whenWritten(pidFile, d, [&, d](const QString&) {
                    QVERIFY(QFileInfo(output).isFile());
                    // Made while the signature still is, so a file of its own.
                    if (nameTakenSince) {
                        const QString other = windowtest::writeFixture(bench->files, QStringLiteral("other"),
                                                                       "another run");
                        QVERIFY(::rename(QFile::encodeName(other).constData(),
                                         QFile::encodeName(output).constData()) == 0);
                    }
                    stopRun(d, QStringLiteral("overlay"));
                });
            },
            &dialog);
        QStringList noted;
        note(prompts, &noted);
        window.showSignatureDialog(false, {}, {}, source);
        QVERIFY(dialog.isNull());
        QCOMPARE(noted, QStringList{});
        if (nameTakenSince)
            QCOMPARE(fixtures::readFile(output), QByteArray("another run"));
        else
            QVERIFY(!QFileInfo::exists(output));
        QCOMPARE(bench->journal().size(), 0);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // A child that fails, refusing or crashing midway, after another run of
    // the same document finished under this run's wanted names: the other
    // run's files stay as they are; what the child began goes, and the
    // stamped copy made for it (a stamped copy without its signature would
    // pass for a signed one). A file that was under the stamped copy's name
    // before the run is not the run's and stays.
    void failureLeavesNoSignature_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("end");  // "refuses" or "crashes"
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("stamped");
        QTest::addColumn<bool>("earlierCopy");
        QTest::addColumn<QString>("shown");
        const QString refused = QStringLiteral("Ошибка подписи|Нет места");
        const QString crashed = QStringLiteral("Ошибка подписи|Криптопровайдер аварийно завершил подписание. GUI остался "
                                               "запущен, можно выбрать другой сертификат или режим подписи.");
        QTest::newRow("detached, refuses") << 0 << "refuses" << "act.pdf.sig" << "" << false << refused;
        QTest::newRow("detached, crashes") << 0 << "crashes" << "act.pdf.sig" << "" << false << crashed;
        QTest::newRow("stamped, refuses") << 3 << "refuses" << "act_подписан.pdf.sig" << "act_подписан.pdf" << false
                                          << refused;
        QTest::newRow("stamped beside an earlier copy, crashes")
            << 3 << "crashes" << "act_подписан (1).pdf.sig" << "act_подписан (1).pdf" << true << crashed;
        QTest::newRow("embedded, crashes") << 4 << "crashes" << "act.signed.pdf" << "" << false << crashed;
    }

    void failureLeavesNoSignature()
    {
        QFETCH(int, mode);
        QFETCH(QString, end);
        QFETCH(QString, output);
        QFETCH(QString, stamped);
        QFETCH(bool, earlierCopy);
        QFETCH(QString, shown);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString earlier = bench->path(QStringLiteral("act_подписан.pdf"));
        if (earlierCopy)
            windowtest::writeFixture(bench->files, QFileInfo(earlier).fileName(), "earlier");
        QStringList others{output};
        if (!stamped.isEmpty())
            others << stamped;
        QString otherRun;
        for (const QString& name : others)
            otherRun += QStringLiteral("printf 'another run' > '%1'; ").arg(bench->path(name));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(bench->standIn(
            describeOk(), otherRun + (end == QLatin1String("crashes")
                                          ? QStringLiteral("exec '%1' \"$out\" crash").arg(VORN_PARTIAL_WRITER)
                                          : QStringLiteral("echo '{\"ok\":false,\"error\":\"Нет места\"}'; exit 5"))));
        bool reopened = false;
        const QStringList noted = signFile(window, source, mode, &reopened);
        QCOMPARE(noted, QStringList{shown});
        QVERIFY(reopened);
        const Call signing = bench->calls().value(1);
        for (const QString& name : others)
            QCOMPARE(fixtures::readFile(bench->path(name)), QByteArray("another run"));
        QCOMPARE(unfinishedBeside(signing.output), QStringList{});
        if (!stamped.isEmpty()) {
            // The copy was made and handed to the child, in its stage, before it went.
            QVERIFY(stagedFor(signing.input, bench->path(stamped)));
            QVERIFY(stagedFor(signing.output, bench->path(output)));
        } else {
            QCOMPARE(signing.output, bench->path(output));
        }
        if (earlierCopy)
            QCOMPARE(fixtures::readFile(earlier), QByteArray("earlier"));
        QCOMPARE(bench->journal().size(), 0);
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }

    // The window ended by a signal while its child signs: nothing is left
    // under the outputs' names, so nothing passes for signed, and a file
    // another run finished under them meanwhile stays. A SIGTERM (a logout)
    // stops the run as a cancel does: the child is killed, the stage and
    // scratch go at once. After a SIGKILL they go at the next start, but a
    // folder that has taken the stage's name since is not the program's and
    // stays. With the temporary folder emptied since (a restart), the
    // stage's own marker tells it is left: it goes at the next start of any
    // edition, an open or a save in its folder, or a signing run there,
    // while the stage of a run still going there stays.
    void killedStampingRun_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("stageTaken");
        QTest::addColumn<QString>("sweep");  // with the temporary folder emptied first; "start": the editor's, notes kept
        QTest::newRow("SIGTERM") << int(SIGTERM) << 3 << false << "";
        QTest::newRow("SIGTERM, detached") << int(SIGTERM) << 0 << false << "";
        QTest::newRow("SIGKILL") << int(SIGKILL) << 3 << false << "start";
        QTest::newRow("SIGKILL, the stage's name taken since") << int(SIGKILL) << 3 << true << "start";
        QTest::newRow("SIGKILL, emptied, the viewer's start") << int(SIGKILL) << 3 << false << "viewer";
        QTest::newRow("SIGKILL, emptied, the signing edition's start") << int(SIGKILL) << 3 << false << "ecp";
        QTest::newRow("SIGKILL, emptied, an open there") << int(SIGKILL) << 3 << false << "open";
        QTest::newRow("SIGKILL, emptied, a save there") << int(SIGKILL) << 3 << false << "save";
        QTest::newRow("SIGKILL, emptied, a detached run there") << int(SIGKILL) << 3 << false << "run";
        QTest::newRow("SIGKILL, emptied, the stage's name taken, a run there") << int(SIGKILL) << 3 << true << "run";
    }

    void killedStampingRun()
    {
        QFETCH(int, signal);
        QFETCH(int, mode);
        QFETCH(bool, stageTaken);
        QFETCH(QString, sweep);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString pidFile = bench->path(QStringLiteral("pid"));
        const QStringList outputs = mode == 3 ? QStringList{"act_подписан.pdf", "act_подписан.pdf.sig"}
                                              : QStringList{"act.pdf.sig"};
        QString sign;
        for (const QString& name : outputs)
            sign += QStringLiteral("printf 'another run' > '%1'; ").arg(bench->path(name));
        sign += QStringLiteral("exec '%1' \"$out\" wait '%2'").arg(VORN_PARTIAL_WRITER, pidFile);
        QProcess window;
        window.start(QStringLiteral(VORN_SIGNING_CHILD),
                     {bench->standIn(describeOk(), sign), source, QString::number(mode)});
        QTRY_VERIFY_WITH_TIMEOUT(!firstLine(pidFile).isEmpty() || window.state() == QProcess::NotRunning, 60000);
        const QString pid = firstLine(pidFile);
        QVERIFY2(!pid.isEmpty(), window.readAllStandardError().constData());
        const Call signing = bench->calls().value(1);
        const QStringList begun = unfinishedBeside(signing.output);
        QCOMPARE(begun.size(), 1);

        QCOMPARE(::kill(pid_t(window.processId()), signal), 0);
        QVERIFY(window.waitForFinished(30000));
        QCOMPARE(window.exitStatus(), QProcess::CrashExit);
        QCOMPARE(window.exitCode(), signal);
        QTRY_VERIFY_WITH_TIMEOUT(processEnded(pid), 10000);
        for (const QString& name : outputs)
            QCOMPARE(fixtures::readFile(bench->path(name)), QByteArray("another run"));
        if (signal == SIGTERM) {
            QVERIFY(!QFileInfo::exists(begun.first()));
            QCOMPARE(unfinishedBeside(signing.output), QStringList{});
            QCOMPARE(bench->scratchLeft(), QStringList{});
            if (mode == 3)
                QVERIFY(!QFileInfo::exists(QFileInfo(signing.input).absolutePath()));
            return;
        }
        const QString stage = QFileInfo(signing.input).absolutePath();
        QVERIFY(QFileInfo::exists(signing.input) && QFileInfo::exists(begun.first()));
        QCOMPARE(bench->scratchLeft().size(), 1);
        const QString taken = QDir(stage).filePath(QStringLiteral("notes.txt"));
        const QString moved = stage + QStringLiteral("-moved");
        if (stageTaken) {
            QVERIFY(QDir().rename(stage, moved) && QDir().mkdir(stage));
            QVERIFY(fixtures::writeFile(taken, "the user's"));
        }
        if (sweep != QLatin1String("start")) {
            for (const QString& left : bench->scratchLeft())
                QVERIFY(QDir(bench->tempRoot.filePath(left)).removeRecursively());
        }
        // A run still going in that folder keeps its stage through every sweep.
        SigningScratch running;
        const QString runningStage = running.stage(bench->files.path(), nullptr);
        QVERIFY(QFileInfo(runningStage).isDir());
        if (sweep == QLatin1String("open") || sweep == QLatin1String("save")) {
            MainWindow other(sweep == QLatin1String("open") ? AppProduct::viewer : AppProduct::editor);
            if (sweep == QLatin1String("open")) {
                other.openFile(bench->pdf(QStringLiteral("other.pdf")));
            } else {
                QTemporaryDir elsewhere;
                other.openFile(windowtest::writePdf(elsewhere, QStringLiteral("draft.pdf"), 1));
                prompt::Driver prompts;
                prompt::answerSaveDialog(prompts, bench->path(QStringLiteral("draft.pdf")));
                windowtest::invoke(other, "onSaveAs");
                QVERIFY(QFileInfo::exists(bench->path(QStringLiteral("draft.pdf"))));
            }
        } else if (sweep == QLatin1String("run")) {
            MainWindow other(AppProduct::editor);
            other.setSigningWorkerProgram(bench->standIn(describeOk(), signOk()));
            bool reopened = false;
            const QStringList noted = signFile(other, bench->pdf(QStringLiteral("other.pdf")), 0, &reopened);
            QVERIFY2(noted.value(0).startsWith(QStringLiteral("Подпись создана|")), qPrintable(noted.value(0)));
        } else {
            // As the program starts: the edition's own data folder, not the test's.
            const QString edition = sweep == QLatin1String("start") ? QStringLiteral("vorn-pdf-editor")
                                                                   : QStringLiteral("vorn-pdf-") + sweep;
            QStandardPaths::setTestModeEnabled(false);
            const QString testName = QCoreApplication::applicationName();
            QCoreApplication::setApplicationName(sweep == QLatin1String("ecp") ? QStringLiteral("vorn-ecp") : edition);
            SigningScratch::removeLeftovers();
            QCoreApplication::setApplicationName(testName);
            QStandardPaths::setTestModeEnabled(true);
        }
        QVERIFY(QFileInfo(runningStage).isDir());
        QCOMPARE(bench->scratchLeft().size(), 1);  // the running one's
        QCOMPARE(QFileInfo::exists(taken), stageTaken);
        QCOMPARE(QFileInfo::exists(stage), stageTaken);
        QVERIFY(!QFileInfo::exists(begun.first()));
        QDir(stage).removeRecursively();
        QDir(moved).removeRecursively();
    }

    // Closing the dialog while a child runs kills it and removes the
    // scratch; nothing reports afterwards.
    void closeDuringRun_data()
    {
        QTest::addColumn<bool>("whileDescribing");
        QTest::addColumn<bool>("escape");
        QTest::newRow("describing, Escape") << true << true;
        QTest::newRow("signing, closed") << false << false;
    }

    void closeDuringRun()
    {
        QFETCH(bool, whileDescribing);
        QFETCH(bool, escape);
        const QString source = bench->pdf(QStringLiteral("act.pdf"));
        const QString pidFile = bench->path(QStringLiteral("pid"));
        const QString endFile = bench->path(QStringLiteral("ended"));  // the child's own end: never reached
        const QString sleeper = QStringLiteral("echo $$ > '%1'; sleep 30 && touch '%2'").arg(pidFile, endFile);
        MainWindow window(AppProduct::editor);
        window.openFile(source);
        window.setSigningWorkerProgram(whileDescribing ? bench->standIn(sleeper, signOk())
                                                       : bench->standIn(describeOk(), sleeper));
        prompt::Driver prompts;
        QPointer<SignatureDialog> dialog;
        QString pid;
        QString folder;
        pressSign(
            prompts,
            [&](SignatureDialog* d) {
                modeBox(d)->setCurrentIndex(4);
                whenWritten(pidFile, d, [&, d](const QString& line) {
                    pid = line;
                    folder = bench->calls().value(bench->calls().size() - 1).folder;
                    QVERIFY(QFileInfo(folder).isDir());
                    QVERIFY(d->isSigningBusy());
                    if (escape)
                        QTest::keyClick(d, Qt::Key_Escape);
                    else
                        d->reject();
                });
            },
            &dialog);
        QStringList noted;
        note(prompts, &noted);
        window.showSignatureDialog(false, {}, {}, QString());
        QVERIFY(!QFileInfo::exists(endFile));  // the close did not wait for the child to end
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 30000);
        QCOMPARE(noted, QStringList{});
        QVERIFY2(processGone(pid), qPrintable(pid));
        QVERIFY(!folder.isEmpty());
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(bench->scratchLeft(), QStringList{});
        QCOMPARE(bench->journal().size(), 0);
        QCOMPARE(bench->kinds().size(), whileDescribing ? 1 : 2);
    }

    // The folders stages were made in were listed per edition before: a
    // start takes such a list into the one every edition reads, so the
    // stages it leads to go too.
    void formerEditionListRead()
    {
        const QString outputs = bench->path(QStringLiteral("outputs"));
        QVERIFY(QDir().mkpath(outputs));
        OwnedFolder left;
        QCOMPARE(left.create(QDir(outputs).filePath(QStringLiteral(".vorn-sign-XXXXXX")),
                             OwnedFolder::Contents::WithSubfolders),
                 0);
        const QString stage = left.path();
        QVERIFY(fixtures::writeFile(QDir(stage).filePath(QStringLiteral("act_подписан.pdf")), "%PDF-1.7 stamped"));
        left.release();
        const QString former = QDir(appDataDirectory()).filePath(QStringLiteral("signing-stage-folders"));
        QVERIFY(QDir().mkpath(appDataDirectory()));
        QVERIFY(fixtures::writeFile(former, QFile::encodeName(outputs).toHex() + '\n'));
        SigningScratch::removeLeftovers();
        QVERIFY(!QFileInfo::exists(stage));
        QVERIFY(!QFileInfo::exists(former));
        QVERIFY(QDir(outputs).removeRecursively());
    }

    // Scratch folders in the temporary folder at a start: one its marker
    // proves left by an ended run goes, request, children's files and
    // folders and all; one of a run still going stays, and so does any
    // folder named like one that the program's marker does not prove its
    // own, however old.
    void leftoversRemoved_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removed");
        QTest::newRow("left by an ended run") << "ended" << true;
        QTest::newRow("of a running run") << "running" << false;
        QTest::newRow("the user's, an hour old") << "user's" << false;
        QTest::newRow("the user's, a scratch's marker copied in") << "copied marker" << false;
    }

    void leftoversRemoved()
    {
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        std::unique_ptr<SigningScratch> running;
        OwnedFolder ended;
        QString folder = QDir(bench->tempRoot.path()).filePath(QStringLiteral("vorn-sign-MYDATA"));
        if (kind == QLatin1String("running")) {
            running = std::make_unique<SigningScratch>();
            folder = running->path();
        } else if (kind == QLatin1String("ended")) {
            // As a killed run leaves it: made and marked, its lock gone.
            QCOMPARE(ended.create(QDir(bench->tempRoot.path()).filePath(QStringLiteral("vorn-sign-XXXXXX")),
                                  OwnedFolder::Contents::WithSubfolders),
                     0);
            folder = ended.path();
            ended.release();
        }
        QVERIFY(QDir().mkpath(QDir(folder).filePath(QStringLiteral("runtime-user"))));
        const QString request = QDir(folder).filePath(QStringLiteral("vorn-sign-request-Ef34Gh.json"));
        QVERIFY(fixtures::writeFile(request, R"({"inputPath":"/home/user/act.pdf"})"));
        QVERIFY(fixtures::writeFile(QDir(folder).filePath(QStringLiteral("runtime-user/note")), "a child's"));
        if (kind == QLatin1String("copied marker")) {
            SigningScratch other;
            QVERIFY(QFile::copy(QDir(other.path()).filePath(QStringLiteral(".vorn-pdf-owner")),
                                QDir(folder).filePath(QStringLiteral(".vorn-pdf-owner"))));
        }
        const qint64 then = QDateTime::currentSecsSinceEpoch() - 3600;
        const utimbuf times{time_t(then), time_t(then)};
        QCOMPARE(::utime(QFile::encodeName(folder).constData(), &times), 0);

        SigningScratch::removeLeftovers();
        QCOMPARE(!QFileInfo::exists(folder), removed);
        QCOMPARE(!QFileInfo::exists(request), removed);
        running.reset();
        QDir(folder).removeRecursively();
        QCOMPARE(bench->scratchLeft(), QStringList{});
    }
};

QTEST_MAIN(TestSigningRun)
#include "tst_signingrun.moc"
