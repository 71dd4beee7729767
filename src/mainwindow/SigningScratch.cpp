#include "SigningScratch.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QTemporaryFile>

#include <unistd.h>

namespace {

const QString kLockName = QStringLiteral(".vorn-sign.lock");
// A folder is made and locked at once; one without a lock this old is no
// run's that is still starting.
constexpr qint64 kUnlockedGraceSeconds = 60;

QString folderTemplate()
{
    return QStringLiteral("vorn-sign-XXXXXX");
}

} // namespace

SigningScratch::SigningScratch()
    : dir(QDir(QDir::tempPath()).filePath(folderTemplate()))
{
    if (!dir.isValid())
        return;
    lock = std::make_unique<QLockFile>(QDir(dir.path()).filePath(kLockName));
    // Only an ended process makes the lock stale, however long a run takes.
    lock->setStaleLockTime(0);
    lock->tryLock(0);
}

SigningScratch::~SigningScratch()
{
    clear();
}

bool SigningScratch::isValid() const
{
    return dir.isValid() && QDir(dir.path()).exists();
}

QString SigningScratch::path() const
{
    return isValid() ? dir.path() : QString();
}

QString SigningScratch::reserve(const QString& prefix, const QString& suffix, QString* error)
{
    if (!isValid()) {
        if (error)
            *error = dir.errorString();
        return {};
    }
    QTemporaryFile file(QDir(dir.path()).filePath(prefix + QStringLiteral("XXXXXX") + suffix));
    file.setAutoRemove(false);
    if (!file.open()) {
        if (error)
            *error = file.errorString();
        return {};
    }
    return file.fileName();
}

void SigningScratch::clear()
{
    if (lock)
        lock->unlock();
    lock.reset();
    if (dir.isValid())
        dir.remove();
}

int SigningScratch::removeLeftovers()
{
    const QDir temporary(QDir::tempPath());
    const QString pattern = folderTemplate().replace(QStringLiteral("XXXXXX"), QStringLiteral("??????"));
    int removed = 0;
    for (const QFileInfo& folder : temporary.entryInfoList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        // Never followed out of the temporary folder.
        if (folder.isSymLink() || folder.ownerId() != ::getuid())
            continue;
        const QString lockPath = QDir(folder.filePath()).filePath(kLockName);
        bool left = false;
        if (QFileInfo::exists(lockPath)) {
            QLockFile owner(lockPath);
            owner.setStaleLockTime(0);
            left = owner.tryLock(0);
            if (left)
                owner.unlock();
        } else {
            left = folder.lastModified().secsTo(QDateTime::currentDateTime()) > kUnlockedGraceSeconds;
        }
        if (left && QDir(folder.filePath()).removeRecursively())
            ++removed;
    }
    return removed;
}
