#pragma once
// Signing runs driven through the window with stand-in children: a private
// temporary folder and home per test program (scratch folders and the
// journal are this program's alone), a stand-in that answers both the
// certificate description and the signing request and logs each call, and
// the signature dialog's controls.

#include "PromptDriver.h"
#include "SignatureDialog.h"
#include "SignatureJournal.h"
#include "SignatureStampTemplate.h"
#include "StandInWorker.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>

namespace signtest {

// The described certificate: what goes on the stamp and into the journal.
inline QString describeOk()
{
    return QStringLiteral(
        "echo '{\"ok\":true,\"error\":\"\",\"certificate\":{\"subject\":\"CN=Test Signer,O=Vorn\","
        "\"issuer\":\"CN=Test CA\",\"thumbprint\":\"AB:CD\",\"providerName\":\"OpenSSL CMS\",\"storeName\":\"Файл\"}}'");
}

// A signature: the input copied to the output, and the result for it,
// naming the file written by its device and inode; size is the shell text
// of the "outputSize" value (the file's size as a string).
inline QString signOk(const QString& size = QStringLiteral(R"x("\"$(stat -c %s "$out")\"")x"))
{
    return QStringLiteral(
               R"x(cp "$in" "$out" && printf '{"ok":true,"error":"","outputPath":"%s","outputSize":%s,)x"
               R"x("documentSha256":"%s","signer":"CN=Test Signer","signedAt":"2026-02-03T04:05:06Z",)x"
               R"x("outputDevice":"%s","outputInode":"%s"}\n' )x"
               R"x("$out" %1 "$(sha256sum "$in" | cut -c1-64)" "$(stat -c %d "$out")" "$(stat -c %i "$out")")x")
        .arg(size);
}

// One logged child: "describe" or "sign", what its request named, its
// arguments and marker, and the request file's and folder's modes.
struct Call {
    QString kind;
    QString input;
    QString output;
    QString arguments;
    QString marker;
    QString modes;
    QString folder;
};

class Bench {
public:
    // Settings isolated too; the data location is then below the new home.
    Bench()
    {
        qputenv("TMPDIR", tempRoot.path().toUtf8());
        qputenv("HOME", home.path().toUtf8());
        windowtest::isolateSettings();
    }

    // The stand-in; $in and $out are the request's paths, $req its file.
    QString standIn(const QString& describe, const QString& sign)
    {
        const QString log = logPath();
        const QString body =
            QStringLiteral(
                "if [ \"$1\" = --vorn-cert-list ]; then echo '{\"ok\":true,\"certificates\":[]}'; exit 0; fi\n"
                "req=\"$2\"\n"
                "in=$(sed -n 's/.*\"inputPath\":\"\\([^\"]*\\)\".*/\\1/p' \"$req\")\n"
                "out=$(sed -n 's/.*\"outputPath\":\"\\([^\"]*\\)\".*/\\1/p' \"$req\")\n"
                "kind=sign; grep -q '\"describeOnly\":true' \"$req\" && kind=describe\n"
                "echo \"$kind|$in|$out|$*|$VORN_SIGN_WORKER|$(stat -c %a \"$req\") $(stat -c %a \"$(dirname \"$req\")\")"
                "|$(dirname \"$req\")\" >> '%1'\n"
                "if [ $kind = describe ]; then\n%2\nelse\n%3\nfi\n")
                .arg(log, describe, sign);
        return standin::script(files, body);
    }

    QString logPath() const { return files.filePath(QStringLiteral("children.log")); }

    QList<Call> calls() const
    {
        QList<Call> list;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return list;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList parts = line.split(QLatin1Char('|'));
            if (parts.size() == 7)
                list << Call{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]};
        }
        return list;
    }

    QStringList kinds() const
    {
        QStringList list;
        for (const Call& call : calls())
            list << call.kind;
        return list;
    }

    // Scratch folders or files of signing runs left in the temporary folder.
    QStringList scratchLeft() const
    {
        return QDir(tempRoot.path()).entryList({QStringLiteral("vorn-sign-*")},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    QJsonArray journal() const
    {
        QFile file(signatureJournalPath());
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).array() : QJsonArray();
    }

    // A fresh start for one test: no settings, log, journal or output files.
    void reset()
    {
        QSettings().clear();
        QFile::remove(logPath());
        QFile::remove(signatureJournalPath());
        QDir folder(files.path());
        for (const QString& name : folder.entryList(QDir::Files)) {
            if (name != QLatin1String("worker"))
                folder.remove(name);
        }
    }

    QString pdf(const QString& name, int pages = 1) const { return windowtest::writePdf(files, name, pages); }
    QString path(const QString& name) const { return files.filePath(name); }

    QTemporaryDir tempRoot;
    QTemporaryDir home;
    QTemporaryDir files;
};

inline QComboBox* modeBox(QDialog* d)
{
    for (QComboBox* box : d->findChildren<QComboBox*>()) {
        if (box->count() == 5 && box->itemData(0).toInt() == 0 && box->itemData(4).toInt() == 4)
            return box;
    }
    return nullptr;
}

inline QLineEdit* tsaField(QDialog* d)
{
    for (QGroupBox* box : d->findChildren<QGroupBox*>()) {
        if (box->title() == QStringLiteral("Штамп времени TSA"))
            return box->findChild<QLineEdit*>();
    }
    return nullptr;
}

inline QCheckBox* openResultBox(QDialog* d)
{
    for (QCheckBox* box : d->findChildren<QCheckBox*>()) {
        if (box->text() == QStringLiteral("Открыть результат после подписания"))
            return box;
    }
    return nullptr;
}

inline QString batchHint(QDialog* d)
{
    for (QLabel* l : d->findChildren<QLabel*>(QStringLiteral("DialogHint"))) {
        if (l->text().startsWith(QStringLiteral("После")) || l->text().startsWith(QStringLiteral("Непохожие")))
            return l->text();
    }
    return {};
}

inline QString subtitle(QDialog* d)
{
    return d->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
}

// "title|text" of a prompt.
inline QString promptText(QDialog* d)
{
    QLabel* text = d->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
    return d->windowTitle() + QLatin1Char('|') + (text ? text->text() : QString());
}

// Answers the signature dialog: setUp fills it, then "Подписать" is pressed.
inline void pressSign(prompt::Driver& prompts, std::function<void(SignatureDialog*)> setUp,
                      QPointer<SignatureDialog>* seen = nullptr)
{
    prompts.whenShown([setUp, seen](QDialog* dialog) {
        auto* signing = qobject_cast<SignatureDialog*>(dialog);
        if (!signing) {
            dialog->reject();
            return;
        }
        if (seen)
            *seen = signing;
        if (setUp)
            setUp(signing);
        // The run button waits for the certificate search.
        QPushButton* run = prompt::buttonWithText(signing, QStringLiteral("Подписать"));
        if (!QTest::qWaitFor([run] { return run->isEnabled(); }, 120000))
            qWarning("the certificate search did not end");
        run->click();
    }, prompt::isQuestion);
}

// Notes the next prompt and presses its button (OK when none is named).
inline void note(prompt::Driver& prompts, QStringList* noted, const QString& button = QStringLiteral("OK"))
{
    prompts.whenShown([noted, button](QDialog* dialog) {
        *noted << promptText(dialog);
        if (QPushButton* pushed = prompt::buttonWithText(dialog, button))
            pushed->click();
        else
            dialog->reject();
    }, prompt::isQuestion);
}

// Closes the signature dialog when it is back in front; *reopened says it
// was, idle and ready for another run.
inline void closeDialog(prompt::Driver& prompts, bool* reopened)
{
    prompts.whenShown([reopened](QDialog* dialog) {
        auto* signing = qobject_cast<SignatureDialog*>(dialog);
        *reopened = signing && !signing->isSigningBusy()
                    && prompt::buttonWithText(signing, QStringLiteral("Подписать"))->isEnabled();
        dialog->reject();
    }, prompt::isQuestion);
}

// The first line of a file a stand-in writes; empty until it is there.
inline QString firstLine(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readLine()).trimmed() : QString();
}

// Calls then(line) from the event loop once the file has its first line;
// the poll never blocks, so it may fire in any nested loop meanwhile.
inline void whenWritten(const QString& path, QObject* context, std::function<void(const QString&)> then)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, path, then] {
        const QString line = firstLine(path);
        if (line.isEmpty())
            return;
        poll->stop();
        poll->deleteLater();
        then(line);
    });
    poll->start(10);
}

// Whether a child was given path for placed: the file of placed's name in
// a stage, a hidden folder beside placed, gone once the run has ended.
inline bool stagedFor(const QString& path, const QString& placed)
{
    const QFileInfo file(path);
    const QFileInfo stage(file.absolutePath());
    return file.fileName() == QFileInfo(placed).fileName() && stage.fileName().startsWith(QLatin1String(".vorn-sign-"))
        && stage.absolutePath() == QFileInfo(placed).absolutePath() && !stage.exists();
}

// What a signing child began beside output and did not finish: its private
// folder of a partial file's name there (see NewFile), as paths.
inline QStringList unfinishedBeside(const QString& output)
{
    const QFileInfo info(output);
    const QDir folder(info.absolutePath());
    QStringList found;
    const QString pattern = QLatin1Char('.') + info.fileName() + QStringLiteral(".vorn-pdf-partial-*");
    for (const QString& name : folder.entryList({pattern}, QDir::AllEntries | QDir::Hidden | QDir::System))
        found << folder.filePath(name);
    return found;
}

inline bool processGone(const QString& pid)
{
    return !pid.isEmpty() && !QFileInfo::exists(QStringLiteral("/proc/") + pid);
}

} // namespace signtest
