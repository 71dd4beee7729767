#include "SigningScratch.h"

#include "SaveLeftovers.h"
#include "SignatureStampTemplate.h"
#include "SystemErrorText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The stages a scratch made, one a line: device, inode and the path in hex.
const QString kStagesName = QStringLiteral(".vorn-sign-stages");
const QString kStageFoldersName = QStringLiteral("signing-stage-folders");
// A stage is private: whatever is in it is the run's, a killed child's own
// folder for its unfinished output included.
constexpr OwnedFolder::Contents kStageContents = OwnedFolder::Contents::WithSubfolders;

QString folderTemplate()
{
    return QStringLiteral("vorn-sign-XXXXXX");
}

QString stageNameFilter()
{
    return signingStagePattern().replace(u'X', u'?');
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
    return removeOwnedFolderIfEnded(QFile::decodeName(path), kStageContents);
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
// clearing of the temporary folder does not reach and where every edition
// looks (the data folder their own folders are in): a stage a killed run
// left goes at the next start of any edition, even without its note.
QString stageFoldersPath()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString organization = QCoreApplication::organizationName();
    const QString folder = data.trimmed().isEmpty() || organization.isEmpty()
                               ? QDir::homePath() + QStringLiteral("/.vorn-pdf-reader")
                               : QDir(data).filePath(organization);
    return QDir(folder).filePath(kStageFoldersName);
}

QStringList readStageFolders(const QString& path)
{
    QStringList folders;
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return folders;
    for (const QByteArray& line : list.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            folders << QFile::decodeName(QByteArray::fromHex(line.trimmed()));
    }
    return folders;
}

// Changes the list of stage folders under its lock; false when it could not.
bool changeStageFolders(const std::function<QStringList(const QStringList&)>& change)
{
    constexpr int kListLockMs = 2000;
    const QString path = stageFoldersPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QLockFile guard(path + QStringLiteral(".lock"));
    if (!guard.tryLock(kListLockMs))
        return false;
    const QStringList folders = readStageFolders(path);
    const QStringList changed = change(folders);
    if (changed == folders)
        return true;
    QByteArray text;
    for (const QString& folder : changed)
        text += QFile::encodeName(folder).toHex() + '\n';
    QSaveFile saved(path);
    return saved.open(QIODevice::WriteOnly) && saved.write(text) == text.size() && saved.commit();
}

bool holdsStage(const QString& folder)
{
    return !QDir(folder).entryList({stageNameFilter()}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
}

// Stages whose runs ended, their notes gone or not; a folder keeps its line
// while a stage stands there. An edition's own list of the earlier kind
// joins the shared one.
void removeListedStages()
{
    const QString former = QDir(appDataDirectory()).filePath(kStageFoldersName);
    const QStringList formerFolders = readStageFolders(former);
    const bool listed = changeStageFolders([&formerFolders](const QStringList& folders) {
        QStringList kept;
        for (const QString& folder : folders + formerFolders) {
            removeEndedOwnedFolders(folder, stageNameFilter(), kStageContents);
            if (!kept.contains(folder) && holdsStage(folder))
                kept << folder;
        }
        return kept;
    });
    if (listed && QFileInfo(former).absoluteFilePath() != QFileInfo(stageFoldersPath()).absoluteFilePath())
        QFile::remove(former);
}

} // namespace

SigningScratch::SigningScratch()
    : createError(folder.create(QDir(QDir::tempPath()).filePath(folderTemplate()),
                                OwnedFolder::Contents::WithSubfolders))
{
}

SigningScratch::~SigningScratch()
{
    clear();
}

bool SigningScratch::isValid() const
{
    return folder.isValid() && QDir(folder.path()).exists();
}

QString SigningScratch::path() const
{
    return isValid() ? folder.path() : QString();
}

QString SigningScratch::unavailableText() const
{
    return systemErrorText(createError != 0 ? createError : ENOENT);
}

QString SigningScratch::reserve(const QString& prefix, const QString& suffix, QString* error)
{
    if (!isValid()) {
        if (error)
            *error = unavailableText();
        return {};
    }
    QTemporaryFile file(QDir(folder.path()).filePath(prefix + QStringLiteral("XXXXXX") + suffix));
    file.setAutoRemove(false);
    if (!file.open()) {
        if (error)
            *error = file.errorString();
        return {};
    }
    return file.fileName();
}

QString SigningScratch::stage(const QString& outputsFolder, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return QString();
    };
    if (!isValid())
        return fail(unavailableText());
    const QString absolute = QFileInfo(outputsFolder).absoluteFilePath();
    changeStageFolders([&absolute](const QStringList& folders) {
        return folders.contains(absolute) ? folders : folders + QStringList{absolute};
    });
    auto made = std::make_unique<OwnedFolder>();
    if (const int code = made->create(QDir(outputsFolder).filePath(signingStagePattern()), kStageContents))  // mode 0700
        return fail(systemErrorText(code));
    const QByteArray pattern = QFile::encodeName(made->path());
    struct stat info {};
    QFile noted(QDir(folder.path()).filePath(kStagesName));
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
    const bool stagesGone = stages.empty() && (!folder.isValid() || removeStagesNoted(folder.path()));
    // A stage still written into keeps its note for the next clear or the
    // next start: the scratch is let go, unlocked, as a killed run's is.
    if (!stagesGone)
        folder.release();
    else if (!folder.remove())
        folder.release();
}

int SigningScratch::removeLeftovers()
{
    removeListedStages();
    const QDir temporary(QDir::tempPath());
    int removed = 0;
    const QString pattern = folderTemplate().replace(QStringLiteral("XXXXXX"), QStringLiteral("??????"));
    for (const QString& name : temporary.entryList({pattern}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString scratch = temporary.filePath(name);
        // Only a folder its marker proves a scratch of an ended run, never
        // one by its name alone; the stages it notes go first.
        if (removeOwnedFolderIfEnded(scratch, OwnedFolder::Contents::WithSubfolders,
                                     [&scratch] { return removeStagesNoted(scratch); }))
            ++removed;
    }
    return removed;
}
