#include "SigningScratch.h"

#include "OwnedFolder.h"
#include "SignatureStampTemplate.h"
#include "SystemErrorText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kLockName = QStringLiteral(".vorn-sign.lock");
// A stage's name in the outputs' folder.
const QString kStagePattern = QStringLiteral(".vorn-sign-??????");
// The stages a scratch made, one a line: device, inode and the path in hex.
const QString kStagesName = QStringLiteral(".vorn-sign-stages");
// A folder is made and locked at once; one without a lock this old is no
// run's that is still starting.
constexpr qint64 kUnlockedGraceSeconds = 60;

QString folderTemplate()
{
    return QStringLiteral("vorn-sign-XXXXXX");
}

// A stage is removed only while the path still names the folder made then
// (whatever stands there since is not the program's) and no live run holds
// its marker. False while it stays.
bool removeStage(const QByteArray& line)
{
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 3)
        return true;
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = parts.at(0).toULongLong(&deviceOk);
    const qulonglong inode = parts.at(1).toULongLong(&inodeOk);
    const QByteArray path = QByteArray::fromHex(parts.at(2));
    struct stat info {};
    if (!deviceOk || !inodeOk || path.isEmpty() || ::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::getuid() || info.st_dev != device || info.st_ino != inode)
        return true;
    return removeOwnedFolderIfEnded(QFile::decodeName(path));
}

// Whether every stage the scratch notes is gone.
bool removeStagesNoted(const QString& scratchFolder)
{
    QFile noted(QDir(scratchFolder).filePath(kStagesName));
    if (!noted.open(QIODevice::ReadOnly))
        return true;
    bool gone = true;
    for (const QByteArray& line : noted.readAll().split('\n'))
        gone = removeStage(line) && gone;
    return gone;
}

// The folders stages were made in, one a line in hex, kept where the
// clearing of the temporary folder does not reach: a stage a killed run
// left goes at the next start even without its note.
QString stageFoldersPath()
{
    return QDir(appDataDirectory()).filePath(QStringLiteral("signing-stage-folders"));
}

// Changes the list of stage folders under its lock; false when it could not.
bool changeStageFolders(const std::function<QStringList(const QStringList&)>& change)
{
    constexpr int kListLockMs = 2000;
    if (!QDir().mkpath(appDataDirectory()))
        return false;
    QLockFile guard(stageFoldersPath() + QStringLiteral(".lock"));
    if (!guard.tryLock(kListLockMs))
        return false;
    QFile list(stageFoldersPath());
    QStringList folders;
    if (list.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : list.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                folders << QFile::decodeName(QByteArray::fromHex(line.trimmed()));
        }
        list.close();
    }
    const QStringList changed = change(folders);
    if (changed == folders)
        return true;
    QByteArray text;
    for (const QString& folder : changed)
        text += QFile::encodeName(folder).toHex() + '\n';
    QSaveFile saved(stageFoldersPath());
    return saved.open(QIODevice::WriteOnly) && saved.write(text) == text.size() && saved.commit();
}

bool holdsStage(const QString& folder)
{
    return !QDir(folder).entryList({kStagePattern}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
}

} // namespace

SigningScratch::SigningScratch()
    : dir(QDir(QDir::tempPath()).filePath(folderTemplate()))
{
    if (!dir.isValid())
        return;
    dir.setAutoRemove(false);  // clear() decides
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

QString SigningScratch::stage(const QString& folder, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return QString();
    };
    if (!isValid())
        return fail(dir.errorString());
    // The stages killed runs left here go, whether or not their notes survived.
    removeEndedOwnedFolders(folder, kStagePattern);
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    changeStageFolders([&absolute](const QStringList& folders) {
        return folders.contains(absolute) ? folders : folders + QStringList{absolute};
    });
    auto made = std::make_unique<OwnedFolder>();
    if (const int code = made->create(QDir(folder).filePath(QString(kStagePattern).replace(u'?', u'X'))))  // mode 0700
        return fail(systemErrorText(code));
    const QByteArray pattern = QFile::encodeName(made->path());
    struct stat info {};
    QFile noted(QDir(dir.path()).filePath(kStagesName));
    const QByteArray line = ::lstat(pattern.constData(), &info) == 0
        ? QByteArray::number(qulonglong(info.st_dev)) + ' ' + QByteArray::number(qulonglong(info.st_ino)) + ' '
            + pattern.toHex() + '\n'
        : QByteArray();
    if (line.isEmpty() || !noted.open(QIODevice::WriteOnly | QIODevice::Append) || noted.write(line) != line.size()
        || !noted.flush()) {
        return fail(line.isEmpty() ? systemErrorText(errno) : noted.errorString());
    }
    stages.push_back(std::move(made));
    return QFile::decodeName(pattern);
}

void SigningScratch::clear()
{
    // A stage whose removal failed (a file a preparation let go still wrote
    // there) stays, with its marker locked.
    std::erase_if(stages, [](const std::unique_ptr<OwnedFolder>& stage) { return stage->remove(); });
    const bool stagesGone = stages.empty() && (!dir.isValid() || removeStagesNoted(dir.path()));
    if (lock)
        lock->unlock();
    lock.reset();
    // A stage still written into (by a preparation let go) keeps its note
    // for the next clear or the next start.
    if (dir.isValid() && stagesGone)
        dir.remove();
}

int SigningScratch::removeLeftovers()
{
    // Stages whose runs ended, their notes gone or not; a folder keeps its
    // line while a stage stands there.
    changeStageFolders([](const QStringList& folders) {
        QStringList kept;
        for (const QString& folder : folders) {
            removeEndedOwnedFolders(folder, kStagePattern);
            if (holdsStage(folder))
                kept << folder;
        }
        return kept;
    });
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
        if (!left)
            continue;
        if (removeStagesNoted(folder.filePath()) && QDir(folder.filePath()).removeRecursively())
            ++removed;
    }
    return removed;
}

bool SigningScratch::putInPlace(const QString& from, const QString& to, QString* error)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    const bool renamed = ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0;
    int code = renamed ? 0 : errno;
    // A file system that cannot rename without replacing: looked at first.
    if (code == EINVAL || code == ENOSYS || code == EOPNOTSUPP) {
        struct stat taken {};
        if (::lstat(target.constData(), &taken) == 0)
            code = EEXIST;
        else
            code = ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
    }
    if (code != 0 && error)
        *error = systemErrorText(code);
    return code == 0;
}
