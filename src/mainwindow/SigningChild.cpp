#include "SigningChild.h"

#include "FileIdentity.h"
#include "SaveLeftovers.h"
#include "SignatureJson.h"
#include "WorkerProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QVariant>

void SigningChild::configure(QProcess* process, const QStringList& arguments, const char* marker,
                             const QString& scratchFolder) const
{
    QStringList all = arguments;
    if (!editionOption.isEmpty())
        all << editionOption;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(marker), QStringLiteral("1"));
    if (!scratchFolder.isEmpty())
        environment.insert(QStringLiteral("TMPDIR"), scratchFolder);
    process->setProgram(program);
    process->setArguments(all);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    // A window that dies takes its children along.
    endWithParent(*process);
}

void startSigningChild(QProcess* process, const QByteArray& secrets)
{
    process->start(QIODevice::ReadWrite);
    if (process->state() == QProcess::NotRunning)
        return;
    process->write(secrets);
    process->closeWriteChannel();
}

void killSigningChild(QProcess* process)
{
    claimSigningChildEnd(process);
    process->disconnect();
    process->kill();
    process->waitForFinished(1000);
}

bool claimSigningChildEnd(QObject* process)
{
    static const char* const kDone = "_vorn_done";
    if (!process || process->property(kDone).toBool())
        return false;
    process->setProperty(kDone, true);
    return true;
}

SignatureResult signingChildAnswer(bool processOk, const QByteArray& out, const QByteArray& err,
                                   const QString& fallbackText, const SignatureRequest& request)
{
    const QJsonDocument document = processOk ? QJsonDocument::fromJson(out.trimmed()) : QJsonDocument();
    SignatureResult result;
    if (document.isObject()) {
        result = signingChildResult(document.object(), request);
    } else {
        result.mode = request.mode;
        result.error = QString::fromUtf8(err).trimmed();
    }
    if (!result.ok && result.error.isEmpty())
        result.error = fallbackText;
    return result;
}

void removeWhatChildLeft(const SignatureResult& answer, const QString& wantedOutput)
{
    if (answer.ok)
        removeFileIfSame(answer.outputPath, answer.outputIdentity);
    if (!wantedOutput.isEmpty())
        removeSaveLeftovers(wantedOutput);
}
