#include "SaveLeftovers.h"

#include "FileReplacement.h"
#include "OwnedFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QLatin1String kMarker(".vorn-pdf-partial-");
const QLatin1String kStagePrefix(".vorn-sign-");
constexpr int kRandomLetters = 6;
// A partial file changed within this time may still be on its way (between
// its making and its lock); one older is a leftover only when unlocked.
constexpr time_t kLeftoverAgeSeconds = 5 * 60;

bool isLetterOrDigit(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The target's name as the partial file's name carries it, cut to leave
// room for the marker within the system's longest name.
QString namePart(const QString& fileName)
{
    constexpr int kRoom = NAME_MAX - 1 - int(sizeof(".vorn-pdf-partial-") - 1) - kRandomLetters;
    QString part = fileName;
    while (QFile::encodeName(part).size() > kRoom) {
        part.chop(1);
        if (!part.isEmpty() && part.back().isHighSurrogate())
            part.chop(1);
    }
    return part;
}

bool sameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether a file of a partial file's name is one a killed writer left:
// ours, old enough and unlocked. It is removed holding the lock, so no new
// writer can take it meanwhile.
void removeIfLeftover(const QByteArray& name, time_t changedBefore)
{
    struct stat named {};
    if (::lstat(name.constData(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_uid != ::getuid() ||
        named.st_mtim.tv_sec >= changedBefore)
        return;
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat opened {};
    struct stat still {};
    // A lock that cannot be taken, for whatever reason, leaves the file.
    if (::fstat(fd, &opened) == 0 && sameInode(opened, named) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(name.constData(), &still) == 0 && sameInode(still, opened))
        ::unlink(name.constData());
    ::close(fd);
}

} // namespace

PartialFile::~PartialFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_name.isEmpty() && !m_renamed)
        ::unlink(m_name.constData());
    if (m_lock >= 0)
        ::close(m_lock);
}

QString partialPathPattern(const QString& target)
{
    const QFileInfo info(target);
    return QDir(info.absolutePath())
        .filePath(QLatin1Char('.') + namePart(info.fileName()) + kMarker + QString(kRandomLetters, QLatin1Char('X')));
}

int PartialFile::create(const QString& target, const QString& inFolder)
{
    QString name = partialPathPattern(target);
    if (!inFolder.isEmpty())
        name = QDir(inFolder).filePath(QFileInfo(name).fileName());
    QByteArray pattern = QFile::encodeName(name);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    m_fd = fd;
    m_name = pattern;
    // The folder's lock stands for the files in it: a set of any size holds
    // one descriptor once written.
    if (!inFolder.isEmpty())
        return 0;
    // Where the file system has no such locks the clean-up cannot take one
    // either, and leaves the file.
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    // The lock belongs to this opening of the file: a second descriptor of it
    // holds the lock once the writing one is closed.
    m_lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return m_lock < 0 ? errno : 0;
}

QString PartialFile::path() const
{
    return QFile::decodeName(m_name);
}

int PartialFile::closeForWriting()
{
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0 ? 0 : errno;
}

int PartialFile::renameTo(const QByteArray& target)
{
    if (::rename(m_name.constData(), target.constData()) != 0)
        return errno;
    m_renamed = true;
    return 0;
}

QString signingStagePattern()
{
    return kStagePrefix + QString(kRandomLetters, QLatin1Char('X'));
}

bool isSigningStageName(const QString& name)
{
    if (name.size() != kStagePrefix.size() + kRandomLetters || !name.startsWith(kStagePrefix))
        return false;
    const QStringView tail = QStringView(name).right(kRandomLetters);
    return std::all_of(tail.begin(), tail.end(), isLetterOrDigit);
}

bool isPartialFileName(const QString& name)
{
    const qsizetype markerAt = name.size() - kRandomLetters - kMarker.size();
    if (markerAt < 1 || !name.startsWith(QLatin1Char('.')) ||
        QStringView(name).mid(markerAt, kMarker.size()) != kMarker)
        return false;
    const QStringView tail = QStringView(name).right(kRandomLetters);
    return std::all_of(tail.begin(), tail.end(), isLetterOrDigit);
}

void removeSaveLeftovers(const QString& path)
{
    QString error;
    const QString target = resolvedWriteTarget(path, &error);
    if (target.isEmpty())
        return;
    const QDir folder = QFileInfo(target).absoluteDir();
    const time_t changedBefore = ::time(nullptr) - kLeftoverAgeSeconds;
    // A picture export's folder takes a partial file's name too.
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const bool folderOfOurs = entry.isDir() && !entry.isSymLink();
        // A stage is private: whatever is in it is its run's.
        if (folderOfOurs && isSigningStageName(entry.fileName()))
            removeOwnedFolderIfEnded(entry.filePath(), OwnedFolder::Contents::WithSubfolders);
        if (!isPartialFileName(entry.fileName()))
            continue;
        if (folderOfOurs)
            removeOwnedFolderIfEnded(entry.filePath());
        else
            removeIfLeftover(QFile::encodeName(entry.filePath()), changedBefore);
    }
}
