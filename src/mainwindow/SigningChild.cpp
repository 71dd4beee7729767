#include "SigningChild.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QVariant>

void SigningChild::configure(QProcess* process, const QStringList& arguments, const char* marker) const
{
    QStringList all = arguments;
    if (!editionOption.isEmpty())
        all << editionOption;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(marker), QStringLiteral("1"));
    process->setProgram(program);
    process->setArguments(all);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::SeparateChannels);
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
