// Signing from the dialog with the program itself as the signing child: the
// outputs checked by openssl, pdfsig and qpdf, the stamped copy, the open and
// changed document, the journal, and the child using the window's edition.
#include "PdfFixtures.h"
#include "PromptDriver.h"
#include "SignatureDialog.h"
#include "SignatureJournal.h"
#include "SigningFixtures.h"
#include "WindowTestSupport.h"

#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>

using namespace signingfixtures;

namespace {

const QString kExecutable = QStringLiteral(VORN_PDF_EXECUTABLE);

struct Tool {
    int exitCode = -1;
    QByteArray output;
};

Tool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

// What the dialog is given before "Подписать".
struct Choice {
    int mode = 0;
    QString certificate;
    QString key;
    QString pkcs12;
    QString passPhrase;  // of the container when there is one, else of the key
};

QList<QLineEdit*> keyFields(QDialog* dialog)
{
    QList<QLineEdit*> fields;
    for (QGroupBox* group : dialog->findChildren<QGroupBox*>()) {
        if (group->title() == QLatin1String("Linux / OpenSSL"))
            fields = group->findChildren<QLineEdit*>();
    }
    return fields;
}

// Waits for the dialog's certificate search, fills the key fields and mode,
// and presses "Подписать".
void signWith(QDialog* dialog, const Choice& choice)
{
    QPushButton* run = prompt::buttonWithText(dialog, QStringLiteral("Подписать"));
    if (!QTest::qWaitFor([run] { return run->isEnabled(); }, 20000)) {
        dialog->reject();
        return;
    }
    const QList<QLineEdit*> fields = keyFields(dialog);
    fields.at(0)->setText(choice.certificate);
    fields.at(1)->setText(choice.key);
    fields.at(3)->setText(choice.pkcs12);
    fields.at(choice.pkcs12.isEmpty() ? 2 : 4)->setText(choice.passPhrase);
    for (QComboBox* box : dialog->findChildren<QComboBox*>()) {
        if (box->count() == 5 && box->itemData(4).toInt() == 4)
            box->setCurrentIndex(choice.mode);
    }
    run->click();
}

// Answers the signature dialog as signWith does; then notes the message
// that ends the run.
void signThrough(QTimer& closer, prompt::Driver& prompts, const Choice& choice, QString* message)
{
    prompts.whenShown([choice](QDialog* dialog) { signWith(dialog, choice); });
    prompt::answerNoting(prompts, QStringLiteral("OK"), message);
    // A failed run leaves the dialog open for another try: close it.
    QObject::connect(&closer, &QTimer::timeout, &closer, [message, &closer] {
        if (message->isEmpty())
            return;
        if (auto* dialog = qobject_cast<SignatureDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
        closer.stop();
    });
    closer.start(20);
}

// The certificate list once the dialog's search has ended; null when it
// did not end.
QListWidget* certificatesListed(QDialog* dialog)
{
    QPushButton* run = prompt::buttonWithText(dialog, QStringLiteral("Подписать"));
    if (!QTest::qWaitFor([run] { return run->isEnabled(); }, 20000))
        return nullptr;
    return dialog->findChild<QListWidget*>(QStringLiteral("OpenRecentList"));
}

QJsonArray journal()
{
    return QJsonDocument::fromJson(fixtures::readFile(signatureJournalPath())).array();
}

} // namespace

class TestSigningWorkerRun : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    KeyPair pair;
    QString p12;
    QString thumbprint;

    QString freshPdf(const QString& name, int pages = 2)
    {
        QFile::remove(dir.filePath(name));
        return windowtest::writePdf(dir, name, pages);
    }

    // The editor's store as the child reads it.
    void setRevocationMode(const QString& application, const QString& mode)
    {
        QSettings settings(dir.filePath(QStringLiteral("config/vorn/%1.conf").arg(application)), QSettings::IniFormat);
        settings.setValue(QStringLiteral("signing/revocationMode"), mode);
        settings.sync();
    }

    static QString signIn(MainWindow& window, const Choice& choice, const QString& file)
    {
        prompt::Driver prompts;
        QString message;
        QTimer closer;
        signThrough(closer, prompts, choice, &message);
        window.showSignatureDialog(false, file.isEmpty() ? QStringList() : QStringList{file}, {}, file);
        return message;
    }

    static bool cmsVerifies(const QString& signature, const QString& content)
    {
        return runTool(QStringLiteral("openssl"), {"cms", "-verify", "-binary", "-inform", "DER", "-in", signature,
                                                   "-content", content, "-noverify", "-out", "/dev/null"})
                   .exitCode
            == 0;
    }

private slots:
    void initTestCase()
    {
        // The child reads the store that XDG_CONFIG_HOME and the edition name
        // give; this process uses the same one, and keeps its journal here.
        QVERIFY(dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("tmp")));
        qputenv("TMPDIR", QFile::encodeName(dir.filePath(QStringLiteral("tmp"))));
        QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
        QCoreApplication::setApplicationName(QStringLiteral("vorn-pdf-editor"));
        QSettings().clear();
        QVERIFY(dir.isValid());
        pair = selfSigned(dir.path(), QStringLiteral("keys"), QStringLiteral("/CN=Test Signer/O=Тест/C=RU"));
        QVERIFY(!pair.certificate.isEmpty());
        p12 = dir.filePath(QStringLiteral("signer.p12"));
        QCOMPARE(openssl(dir.path(), {"pkcs12", "-export", "-inkey", pair.key, "-in", pair.certificate, "-passout",
                                      "pass:", "-out", p12})
                     .exitCode,
                 0);
        const Run fingerprint = openssl(dir.path(), {"x509", "-noout", "-fingerprint", "-sha1", "-in", pair.certificate});
        thumbprint = QString::fromLatin1(fingerprint.output.trimmed()).section(QLatin1Char('='), 1);
        QVERIFY(!thumbprint.isEmpty());
    }

    void init()
    {
        QFile::remove(signatureJournalPath());
        setRevocationMode(QStringLiteral("vorn-pdf-editor"), QStringLiteral("never"));
        setRevocationMode(QStringLiteral("vorn-ecp"), QStringLiteral("never"));
    }

    void modes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("container");
        QTest::newRow("detached, PEM pair") << 0 << false;
        QTest::newRow("attached, PKCS#12") << 1 << true;
        QTest::newRow("stamped copy, PKCS#12") << 3 << true;
        QTest::newRow("embedded, PEM pair") << 4 << false;
    }

    // A file given to the dialog (the signing edition's road).
    void modes()
    {
        QFETCH(int, mode);
        QFETCH(bool, container);
        const QString input = freshPdf(QStringLiteral("act.pdf"));
        const QByteArray before = fixtures::readFile(input);
        MainWindow window(AppProduct::ecp);
        window.setSigningWorkerProgram(kExecutable);
        Choice choice{mode, container ? QString() : pair.certificate, container ? QString() : pair.key,
                      container ? p12 : QString()};
        const QString message = signIn(window, choice, input);
        QVERIFY2(message.startsWith(QStringLiteral("Подпись создана|Подписан: act.pdf")), qPrintable(message));
        QCOMPARE(fixtures::readFile(input), before);

        const QJsonArray records = journal();
        QCOMPARE(records.size(), 1);
        const QJsonObject record = records.first().toObject();
        QCOMPARE(record.value(QStringLiteral("certificateThumbprint")).toString(), thumbprint);
        QVERIFY(record.value(QStringLiteral("certificateSubject")).toString().contains(QStringLiteral("CN=Test Signer")));
        const QString output = record.value(QStringLiteral("signaturePath")).toString();
        QCOMPARE(record.value(QStringLiteral("signatureSize")).toString(), QString::number(QFileInfo(output).size()));

        if (mode == 0) {
            QCOMPARE(output, input + QStringLiteral(".sig"));
            QVERIFY(cmsVerifies(output, input));
        } else if (mode == 1) {
            QCOMPARE(output, dir.filePath(QStringLiteral("act.p7m")));
            const QString content = dir.filePath(QStringLiteral("content.bin"));
            QCOMPARE(runTool(QStringLiteral("openssl"),
                             {"cms", "-verify", "-inform", "DER", "-in", output, "-noverify", "-out", content})
                         .exitCode,
                     0);
            QCOMPARE(fixtures::readFile(content), before);
        } else if (mode == 3) {
            const QString stamped = dir.filePath(QStringLiteral("act_подписан.pdf"));
            QVERIFY(message.contains(QStringLiteral("PDF со штампом: ") + stamped));
            QCOMPARE(record.value(QStringLiteral("filePath")).toString(), stamped);
            // Named after the file it signs, and it verifies against that file.
            QCOMPARE(output, stamped + QStringLiteral(".sig"));
            QVERIFY(cmsVerifies(output, stamped));
            QCOMPARE(runTool(QStringLiteral("qpdf"), {"--check", stamped}).exitCode, 0);
            // The stamped copy opens in the window.
            QCOMPARE(QFileInfo(window.currentDocument()->filePath()).fileName(), QStringLiteral("act_подписан.pdf"));
        } else {
            QCOMPARE(output, dir.filePath(QStringLiteral("act.signed.pdf")));
            QCOMPARE(runTool(QStringLiteral("qpdf"), {"--check", output}).exitCode, 0);
            const Tool sig = runTool(QStringLiteral("pdfsig"), {output});
            QVERIFY2(sig.output.contains("Test Signer"), sig.output.constData());
        }
    }

    // The open document, changed and not saved, is signed as it is shown;
    // the journal names the document, not the copy that was signed.
    void openChangedDocument_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("embedded") << 4;
        QTest::newRow("stamped") << 3;
    }

    void openChangedDocument()
    {
        QFETCH(int, mode);
        const QString input = freshPdf(QStringLiteral("open.pdf"), 3);
        QFile::remove(dir.filePath(QStringLiteral("open_подписан.pdf")));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(kExecutable);
        window.openFile(input);
        QVERIFY(window.currentDocument()->deletePage(0));
        const QString message = signIn(window, Choice{mode, pair.certificate, pair.key, {}}, QString());
        QVERIFY2(message.startsWith(QStringLiteral("Подпись создана")), qPrintable(message));
        const QString output = mode == 4 ? dir.filePath(QStringLiteral("open.signed.pdf"))
                                         : dir.filePath(QStringLiteral("open_подписан.pdf"));
        PdfDocument signedCopy;
        QVERIFY(signedCopy.open(output));
        QCOMPARE(signedCopy.pageCount(), 2);
        PdfDocument original;
        QVERIFY(original.open(input));
        QCOMPARE(original.pageCount(), 3);
        if (mode == 4)
            QCOMPARE(journal().first().toObject().value(QStringLiteral("filePath")).toString(), input);
        // Nothing of the run is left in the temporary folder.
        QVERIFY(QDir::temp().entryList({QStringLiteral("vorn-sign-*")}).isEmpty());
    }

    // The child uses the window's edition's settings: without "never" there
    // the self-signed certificate fails the chain check, before any stamped
    // copy is made.
    void childUsesTheEditionsStore()
    {
        setRevocationMode(QStringLiteral("vorn-ecp"), QStringLiteral("sign"));
        const QString input = freshPdf(QStringLiteral("chain.pdf"));
        MainWindow editor(AppProduct::editor);
        editor.setSigningWorkerProgram(kExecutable);
        QVERIFY(signIn(editor, Choice{0, pair.certificate, pair.key, {}}, input).startsWith(QStringLiteral("Подпись создана")));
        MainWindow window(AppProduct::ecp);
        window.setSigningWorkerProgram(kExecutable);
        const QString message = signIn(window, Choice{3, pair.certificate, pair.key, {}}, input);
        QVERIFY2(message.startsWith(QStringLiteral("Ошибка подписи|Сертификат не прошёл проверку цепочки/отзыва: ")),
                 qPrintable(message));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("chain_подписан.pdf"))));
        QCOMPARE(journal().size(), 1);
    }

    // Cyrillic folders and names go through the request file and both
    // children unchanged.
    void cyrillicPaths()
    {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Договоры 2026")));
        const QString input = windowtest::writePdf(dir, QStringLiteral("Договоры 2026/акт №5.pdf"), 1);
        MainWindow window(AppProduct::ecp);
        window.setSigningWorkerProgram(kExecutable);
        const QString message = signIn(window, Choice{3, {}, {}, p12}, input);
        QVERIFY2(message.startsWith(QStringLiteral("Подпись создана|Подписан: акт №5.pdf")), qPrintable(message));
        const QString stamped = dir.filePath(QStringLiteral("Договоры 2026/акт №5_подписан.pdf"));
        // The signature is named after the stamped copy it signs.
        QVERIFY(cmsVerifies(stamped + QStringLiteral(".sig"), stamped));
        QVERIFY(!QFileInfo::exists(input + QStringLiteral(".sig")));
        QCOMPARE(journal().first().toObject().value(QStringLiteral("fileName")).toString(),
                 QStringLiteral("акт №5_подписан.pdf"));
    }

    // The certificate chosen in the list is the one that signs: with a
    // container and a PEM pair both remembered, picking the pair's entry
    // signs with the pair, although a container would otherwise come first.
    void chosenEntrySigns()
    {
        const KeyPair second = selfSigned(dir.path(), QStringLiteral("second"), QStringLiteral("/CN=Second Signer/C=RU"));
        QVERIFY(!second.certificate.isEmpty());
        QSettings settings;
        settings.setValue(QStringLiteral("signing/linux/pkcs12Path"), p12);
        settings.setValue(QStringLiteral("signing/linux/certificatePath"), second.certificate);
        settings.setValue(QStringLiteral("signing/linux/privateKeyPath"), second.key);
        settings.sync();
        const QString input = freshPdf(QStringLiteral("chosen.pdf"));
        QFile::remove(input + QStringLiteral(".sig"));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(kExecutable);
        prompt::Driver prompts;
        QStringList listed;
        prompts.whenShown([&listed](QDialog* dialog) {
            QListWidget* list = certificatesListed(dialog);
            if (!list) {
                dialog->reject();
                return;
            }
            for (int row = 0; row < list->count(); ++row) {
                listed << list->item(row)->text().section(QLatin1Char('\n'), 0, 0);
                if (list->item(row)->text().contains(QStringLiteral("Second Signer")))
                    list->setCurrentRow(row);
            }
            prompt::buttonWithText(dialog, QStringLiteral("Подписать"))->click();
        });
        QString message;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &message);
        window.showSignatureDialog(false, {input}, {}, input);
        QVERIFY2(message.startsWith(QStringLiteral("Подпись создана")), qPrintable(message + listed.join(',')));
        QCOMPARE(listed.filter(QStringLiteral("CN=")).size(), 2);
        const QJsonObject record = journal().first().toObject();
        QVERIFY2(record.value(QStringLiteral("certificateSubject")).toString().contains(QStringLiteral("Second Signer")),
                 qPrintable(record.value(QStringLiteral("certificateSubject")).toString()));
        const Tool signer = runTool(QStringLiteral("openssl"), {"cms", "-verify", "-binary", "-inform", "DER", "-in",
                                                                input + QStringLiteral(".sig"), "-content", input,
                                                                "-noverify", "-signer", dir.filePath("signer-out.pem"),
                                                                "-out", "/dev/null"});
        QCOMPARE(signer.exitCode, 0);
        QCOMPARE(fixtures::readFile(dir.filePath(QStringLiteral("signer-out.pem"))).trimmed(),
                 fixtures::readFile(second.certificate).trimmed());
        settings.remove(QStringLiteral("signing/linux"));
    }

    // A list child that finds no key files fails with its own reason, and
    // that reason is what the list shows.
    void listShowsTheWorkersReason()
    {
        QSettings().remove(QStringLiteral("signing/linux"));
        QSettings().sync();
        QProcess worker;
        worker.start(kExecutable, {QStringLiteral("--vorn-cert-list"), QStringLiteral("--vorn-product=editor")});
        QVERIFY(worker.waitForFinished(-1));
        QCOMPARE(worker.exitCode(), 3);
        const QString reason =
            QJsonDocument::fromJson(worker.readAllStandardOutput()).object().value(QStringLiteral("error")).toString();
        QVERIFY(!reason.isEmpty());
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(kExecutable);
        prompt::Driver prompts;
        QStringList shown;
        prompts.whenShown([&shown](QDialog* dialog) {
            if (QListWidget* list = certificatesListed(dialog)) {
                for (int row = 0; row < list->count(); ++row)
                    shown << list->item(row)->text();
            }
            dialog->reject();
        });
        const QString input = freshPdf(QStringLiteral("reason.pdf"));
        window.showSignatureDialog(false, {input}, {}, input);
        QCOMPARE(shown, QStringList{reason.trimmed()});
    }

    // No file the run makes holds the pass phrase: the window hands it to
    // each child through its standard input. Each child, as it starts, and
    // the test, after the run, search every file below the test's folder
    // (documents, temporary folder, settings and data).
    void passPhraseNeverWritten_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("container");
        QTest::newRow("stamped copy, PKCS#12") << 3 << true;
        QTest::newRow("detached, PEM key") << 0 << false;
    }

    void passPhraseNeverWritten()
    {
        QFETCH(int, mode);
        QFETCH(bool, container);
        const QByteArray secret("Tajna-7f3a9c-Тайна");
        const QByteArray searched("Tajna-7f3a9c");
        const QString locked = dir.filePath(container ? QStringLiteral("locked.p12") : QStringLiteral("locked.pem"));
        const QStringList lock = container
            ? QStringList{"pkcs12", "-export", "-inkey", pair.key, "-in", pair.certificate, "-out", locked}
            : QStringList{"pkey", "-in", pair.key, "-aes256", "-out", locked};
        QCOMPARE(openssl(dir.path(), lock + QStringList{"-passout", "pass:" + QString::fromUtf8(secret)}).exitCode, 0);
        const QString found = dir.filePath(QStringLiteral("found.log"));
        const QString worker = dir.filePath(QStringLiteral("searching-worker"));
        // Named in two pieces, so that the script itself does not hold it.
        const QByteArray log = QFile::encodeName(found);
        QVERIFY(writeScript(worker, "if [ \"$1\" = --vorn-sign-file ]; then grep -rlF -- 'Tajna''-7f3a9c' '"
                                        + QFile::encodeName(dir.path()) + "' >> '" + log + "'; echo searched >> '" + log
                                        + "'; fi\nexec '" + QFile::encodeName(kExecutable) + "' \"$@\"\n"));
        QFile::remove(found);
        const QString input = freshPdf(QStringLiteral("secret.pdf"));
        QFile::remove(dir.filePath(QStringLiteral("secret_подписан.pdf")));
        MainWindow window(AppProduct::editor);
        window.setSigningWorkerProgram(worker);
        const Choice choice = container ? Choice{mode, {}, {}, locked, QString::fromUtf8(secret)}
                                        : Choice{mode, pair.certificate, locked, {}, QString::fromUtf8(secret)};
        const QString message = signIn(window, choice, input);
        QVERIFY2(message.startsWith(QStringLiteral("Подпись создана")), qPrintable(message));
        // The describing and the signing child each searched and found nothing.
        QCOMPARE(fixtures::readFile(found), QByteArray("searched\nsearched\n"));
        QStringList holding;
        QDirIterator files(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (fixtures::readFile(path).contains(searched))
                holding << path;
        }
        QVERIFY2(holding.isEmpty(), qPrintable(holding.join(QLatin1Char(' '))));
    }

    // Two windows sign one document at once, with different signers, both
    // wanting the same output names (each has picked them before either
    // child wrote): each run's output is its own, takes a name of its own
    // without replacing the other's, verifies with its own signer, and is
    // the file its message and its journal record name. The children's
    // chain checks are held until both runs have begun.
    void twoRunsOfOneDocument_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("signatures");
        QTest::newRow("detached") << 0 << QStringList{"act.pdf.sig", "act.pdf (1).sig"};
        QTest::newRow("embedded") << 4 << QStringList{"act.signed.pdf", "act.signed (1).pdf"};
        QTest::newRow("stamped") << 3 << QStringList{"act_подписан.pdf.sig", "act_подписан (1).pdf.sig"};
    }

    void twoRunsOfOneDocument()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, signatures);
        const KeyPair other = selfSigned(dir.path(), QStringLiteral("other"), QStringLiteral("/CN=Other Signer/C=RU"));
        QVERIFY(!other.certificate.isEmpty());
        const QString folder = dir.filePath(QStringLiteral("together-%1").arg(mode));
        QVERIFY(QDir().mkpath(folder) && QDir(folder).removeRecursively() && QDir().mkpath(folder));
        const QString input = QDir(folder).filePath(QStringLiteral("act.pdf"));
        QVERIFY(fixtures::writeFile(input, fixtures::readFile(freshPdf(QStringLiteral("together.pdf")))));
        // The chain check both children make: held until both runs have begun.
        const QString gate = QDir(folder).filePath(QStringLiteral("gate"));
        QVERIFY(QDir().mkpath(gate));
        const QByteArray gateName = QFile::encodeName(gate);
        QVERIFY(writeScript(gate + QStringLiteral("/openssl"),
                            "echo x >> '" + gateName + "/calls'\nwhile [ ! -e '" + gateName
                                + "/go' ]; do sleep 0.02; done\nexit 0\n"));
        setRevocationMode(QStringLiteral("vorn-ecp"), QStringLiteral("sign"));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", gateName + ':' + path);

        MainWindow first(AppProduct::ecp);
        MainWindow second(AppProduct::ecp);
        first.setSigningWorkerProgram(kExecutable);
        second.setSigningWorkerProgram(kExecutable);
        prompt::Driver prompts;
        prompts.whenShown([&](QDialog* dialog) {
            signWith(dialog, Choice{mode, pair.certificate, pair.key, {}});
            QTimer::singleShot(0, &second, [&] { second.showSignatureDialog(false, {input}, {}, input); });
        });
        prompts.whenShown([&](QDialog* dialog) { signWith(dialog, Choice{mode, other.certificate, other.key, {}}); });
        QStringList messages;
        for (int i = 0; i < 2; ++i) {
            prompts.whenShown([&](QDialog* dialog) {
                const QLabel* text = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
                messages << dialog->windowTitle() + QLatin1Char('|') + (text ? text->text() : QString());
                if (QPushButton* ok = prompt::buttonWithText(dialog, QStringLiteral("OK")))
                    ok->click();
                else
                    dialog->reject();
            }, [](QDialog* dialog) { return !qobject_cast<SignatureDialog*>(dialog); });
        }
        QTimer open;
        QObject::connect(&open, &QTimer::timeout, &open, [&] {
            if (fixtures::readFile(gate + QStringLiteral("/calls")).count('\n') >= 2)
                fixtures::writeFile(gate + QStringLiteral("/go"), "");
            // A failed run leaves its dialog open for another try.
            auto* left = qobject_cast<SignatureDialog*>(QApplication::activeModalWidget());
            if (messages.size() == 2 && left && !left->isSigningBusy())
                left->reject();
        });
        open.start(20);
        first.showSignatureDialog(false, {input}, {}, input);
        qputenv("PATH", path);
        setRevocationMode(QStringLiteral("vorn-ecp"), QStringLiteral("never"));

        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages.filter(QStringLiteral("Подпись создана|")).size() == 2,
                 qPrintable(messages.join(QLatin1Char('\n'))));
        const QJsonArray records = journal();
        QCOMPARE(records.size(), 2);
        QStringList written;
        for (const QJsonValue& value : records) {
            const QJsonObject record = value.toObject();
            const QString signature = record.value(QStringLiteral("signaturePath")).toString();
            written << QFileInfo(signature).fileName();
            QVERIFY2(messages.filter(QStringLiteral("Файл подписи: ") + signature).size() == 1,
                     qPrintable(messages.join(QLatin1Char('\n'))));
            const bool otherSigned = record.value(QStringLiteral("certificateSubject")).toString().contains("Other");
            const QString signer = otherSigned ? other.certificate : pair.certificate;
            QCOMPARE(record.value(QStringLiteral("signatureSize")).toString(),
                     QString::number(QFileInfo(signature).size()));
            if (mode == 4) {
                const Tool sig = runTool(QStringLiteral("pdfsig"), {signature});
                QVERIFY2(sig.output.contains(otherSigned ? "Other Signer" : "Test Signer"), sig.output.constData());
                QVERIFY2(sig.output.contains("Signature is Valid."), sig.output.constData());
                continue;
            }
            const QString content = record.value(QStringLiteral("filePath")).toString();
            QCOMPARE(content, mode == 3 ? signature.chopped(4) : input);
            QCOMPARE(runTool(QStringLiteral("openssl"), {"cms", "-verify", "-binary", "-inform", "DER", "-in", signature,
                                                        "-content", content, "-CAfile", signer, "-out", "/dev/null"})
                         .exitCode,
                     0);
        }
        written.sort();
        QStringList wanted = signatures;
        wanted.sort();
        QCOMPARE(written, wanted);
        QVERIFY(QDir(folder).entryList({QStringLiteral(".*")}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
        QVERIFY(QDir::temp().entryList({QStringLiteral("vorn-sign-*")}).isEmpty());
    }

    // A batch whose further files the signing child refuses, a form and a
    // PDF saved with a cross-reference stream: the final message gives each
    // the child's own reason, as a single run would.
    void batchShowsTheChildsReasons()
    {
        const QString folder = dir.filePath(QStringLiteral("batch"));
        QVERIFY(QDir().mkpath(folder));
        const QString plain = QDir(folder).filePath(QStringLiteral("01-акт.pdf"));
        const QString form = QDir(folder).filePath(QStringLiteral("02-анкета.pdf"));
        const QString packed = QDir(folder).filePath(QStringLiteral("03-сжатый.pdf"));
        QVERIFY(fixtures::writeFile(plain, fixtures::readFile(freshPdf(QStringLiteral("batch.pdf")))));
        QVERIFY(fixtures::writeFile(form, fixtures::readFile(fixtures::realPdf(QStringLiteral("libreoffice-form.pdf")))));
        const Tool pack = runTool(QStringLiteral("qpdf"), {"--object-streams=generate", plain, packed});
        QVERIFY2(pack.exitCode == 0 || pack.exitCode == 3, pack.output.constData());
        MainWindow window(AppProduct::ecp);
        window.setSigningWorkerProgram(kExecutable);
        const auto notSigning = [](QDialog* dialog) { return !qobject_cast<SignatureDialog*>(dialog); };
        prompt::Driver prompts;
        prompts.whenShown([this](QDialog* dialog) { signWith(dialog, Choice{4, pair.certificate, pair.key, {}}); });
        prompts.whenShown(
            [](QDialog* question) { prompt::buttonWithText(question, QStringLiteral("Подписать остальные"))->click(); },
            notSigning);
        QString message;
        prompts.whenShown(
            [&message](QDialog* dialog) {
                message = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
                prompt::buttonWithText(dialog, QStringLiteral("OK"))->click();
            },
            notSigning);
        window.showSignatureDialog(false, {plain, form, packed}, {}, plain);
        const QStringList lines = message.split(QLatin1Char('\n'));
        const int failed = int(lines.indexOf(QStringLiteral("Не удалось подписать:")));
        QVERIFY2(failed > 0, qPrintable(message));
        QVERIFY2(lines.value(failed + 1).startsWith(QStringLiteral("• 02-анкета.pdf — PDF уже содержит AcroForm.")),
                 qPrintable(message));
        QCOMPARE(lines.value(failed + 2),
                 QStringLiteral("• 03-сжатый.pdf — Встроенная подпись не поддерживается для PDF, сохранённых с потоком "
                                "перекрёстных ссылок (сжатой структурой PDF 1.5 и новее)."));
        QCOMPARE(journal().size(), 1);
    }

    // Signing again never overwrites the first stamped copy; both pairs verify.
    void secondStampedCopy()
    {
        const QString input = freshPdf(QStringLiteral("twice.pdf"));
        QFile::remove(dir.filePath(QStringLiteral("twice_подписан.pdf")));
        QFile::remove(dir.filePath(QStringLiteral("twice_подписан (1).pdf")));
        MainWindow window(AppProduct::ecp);
        window.setSigningWorkerProgram(kExecutable);
        const Choice choice{3, {}, {}, p12};
        QVERIFY(signIn(window, choice, input).startsWith(QStringLiteral("Подпись создана")));
        const QByteArray first = fixtures::readFile(dir.filePath(QStringLiteral("twice_подписан.pdf")));
        QVERIFY(signIn(window, choice, input).startsWith(QStringLiteral("Подпись создана")));
        QCOMPARE(fixtures::readFile(dir.filePath(QStringLiteral("twice_подписан.pdf"))), first);
        QVERIFY(cmsVerifies(dir.filePath(QStringLiteral("twice_подписан.pdf.sig")),
                            dir.filePath(QStringLiteral("twice_подписан.pdf"))));
        QVERIFY(cmsVerifies(dir.filePath(QStringLiteral("twice_подписан (1).pdf.sig")),
                            dir.filePath(QStringLiteral("twice_подписан (1).pdf"))));
        QCOMPARE(journal().size(), 2);
    }
};

QTEST_MAIN(TestSigningWorkerRun)
#include "tst_signingworkerrun.moc"
