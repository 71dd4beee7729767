#include "SettingsFileCheck.h"

#include "RegularFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

namespace {

// The settings the program writes are a few kilobytes; a file this large is
// not one of them, and QSettings would hold all of it in memory.
constexpr qint64 kMaxSettingsBytes = 16LL * 1024 * 1024;

// Where QSettings looks for the user's files on this platform.
QStringList userSettingsFiles()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString organization = QCoreApplication::organizationName();
    if (folder.isEmpty() || organization.isEmpty())
        return {};
    QStringList files;
    if (!QCoreApplication::applicationName().isEmpty())
        files << folder + u'/' + organization + u'/' + QCoreApplication::applicationName() + QStringLiteral(".conf");
    files << folder + u'/' + organization + QStringLiteral(".conf");
    return files;
}

} // namespace

QStringList setAsideUnreadableSettings()
{
    QStringList said;
    for (const QString& path : userSettingsFiles()) {
        QFile file;
        QString reason;
        const RegularFile::Outcome outcome = RegularFile::open(path, kMaxSettingsBytes, &file, &reason);
        if (outcome != RegularFile::NotRegular && outcome != RegularFile::TooLarge)
            continue;
        const QString target = RegularFile::setAside(path);
        said << (target.isEmpty()
                     ? QStringLiteral("Settings file %1 refused (%2) and could not be moved aside.").arg(path, reason)
                     : QStringLiteral("Settings file %1 moved to %2 (%3); starting with default settings.")
                           .arg(path, target, reason));
    }
    // QSettings takes "<file>.lock" whenever it writes.
    for (const QString& path : userSettingsFiles()) {
        const QString line = RegularFile::setAsideUnusableLock(path + QStringLiteral(".lock"));
        if (!line.isEmpty())
            said << line;
    }
    return said;
}
