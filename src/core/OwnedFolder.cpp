#include "OwnedFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kMarker[] = ".vorn-pdf-owner";
const QByteArray kMarkerTag = "vorn-pdf folder";
constexpr qsizetype kLongestMarker = 256;

// The marker's text: the tag, the maker's process, the folder's device and
// inode. A copy of the folder elsewhere, or a folder made since under its
// name, does not match it.
QByteArray markerText(const struct stat& folder)
{
    return kMarkerTag + '\n' + QByteArray::number(qlonglong(::getpid())) + '\n' +
           QByteArray::number(qulonglong(folder.st_dev)) + ' ' + QByteArray::number(qulonglong(folder.st_ino)) + '\n';
}

bool provesFolder(const QByteArray& text, const struct stat& folder)
{
    const QList<QByteArray> lines = text.split('\n');
    return lines.size() >= 3 && lines.at(0) == kMarkerTag &&
           lines.at(2) == QByteArray::number(qulonglong(folder.st_dev)) + ' ' +
                              QByteArray::number(qulonglong(folder.st_ino));
}

bool sameInode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QByteArray readMarker(int fd)
{
    QByteArray text(kLongestMarker, '\0');
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + done, size_t(text.size() - done), done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    text.truncate(done);
    return text;
}

// A folder's own files go with it; a chain of folders this deep is not one
// the program's children make.
constexpr int kDeepestSubfolder = 16;

// Unlinks the files (and links) in the folder open as folderFd, the marker
// kept, and with subfolders the folders below too, each opened from its
// parent without following a link; whether nothing else is left.
bool removeFilesIn(int folderFd, OwnedFolder::Contents contents, int depth = 0)
{
    const int listFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0)
        return false;
    DIR* listing = ::fdopendir(listFd);
    if (!listing) {
        ::close(listFd);
        return false;
    }
    bool onlyMarker = true;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == ".." || name == kMarker)
            continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            onlyMarker = false;
        } else if (!S_ISDIR(info.st_mode)) {
            onlyMarker = ::unlinkat(folderFd, entry->d_name, 0) == 0 && onlyMarker;
        } else if (contents == OwnedFolder::Contents::WithSubfolders && depth < kDeepestSubfolder) {
            const int below = ::openat(folderFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // A subfolder's files have no marker of their own to keep.
            const bool emptied = below >= 0 && removeFilesIn(below, contents, depth + 1)
                                 && (::unlinkat(below, kMarker, 0) == 0 || errno == ENOENT);
            if (below >= 0)
                ::close(below);
            onlyMarker = emptied && ::unlinkat(folderFd, entry->d_name, AT_REMOVEDIR) == 0 && onlyMarker;
        } else {
            onlyMarker = false;
        }
    }
    ::closedir(listing);
    return onlyMarker;
}

// Empties the folder open as folderFd (known as path) and removes it, the
// marker last; only while path still names that folder.
bool removeFolder(const QByteArray& path, int folderFd, OwnedFolder::Contents contents)
{
    struct stat opened {};
    struct stat named {};
    if (::fstat(folderFd, &opened) != 0 || ::lstat(path.constData(), &named) != 0 || !sameInode(opened, named))
        return false;
    if (!removeFilesIn(folderFd, contents))
        return false;
    ::unlinkat(folderFd, kMarker, 0);
    return ::rmdir(path.constData()) == 0;
}

// Removes the folder at path when it is the program's and its maker has
// ended: its marker proves it and no live process holds the marker's lock.
bool removeIfEnded(const QByteArray& path, OwnedFolder::Contents contents, const std::function<bool()>& first)
{
    struct stat named {};
    if (::lstat(path.constData(), &named) != 0 || !S_ISDIR(named.st_mode) || named.st_uid != ::getuid())
        return false;
    const int folderFd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return false;
    bool removed = false;
    struct stat opened {};
    const int markerFd = ::fstat(folderFd, &opened) == 0 && sameInode(opened, named)
                             ? ::openat(folderFd, kMarker, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)
                             : -1;
    struct stat marker {};
    // The lock is held through the removal: no process takes the folder meanwhile.
    if (markerFd >= 0 && ::fstat(markerFd, &marker) == 0 && S_ISREG(marker.st_mode) &&
        marker.st_uid == ::getuid() && ::flock(markerFd, LOCK_EX | LOCK_NB) == 0 &&
        provesFolder(readMarker(markerFd), opened))
        removed = (!first || first()) && removeFolder(path, folderFd, contents);
    if (markerFd >= 0)
        ::close(markerFd);
    ::close(folderFd);
    return removed;
}

} // namespace

OwnedFolder::~OwnedFolder()
{
    remove();
    if (m_marker >= 0)
        ::close(m_marker);
}

int OwnedFolder::create(const QString& pattern, Contents contents)
{
    QByteArray name = QFile::encodeName(pattern);
    if (!::mkdtemp(name.data()))
        return errno;
    const QByteArray markerPath = name + '/' + kMarker;
    const int fd = ::open(markerPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat folder {};
    int code = fd < 0 || ::lstat(name.constData(), &folder) != 0 ? errno : 0;
    if (code == 0) {
        // Locked before it says anything: a marker that proves its folder is
        // in use or left. A clean-up that opened it meanwhile finds it empty
        // and lets go at once; a file system without locks lets no clean-up
        // lock it either.
        int locked = 0;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked != 0 && errno != ENOLCK && errno != EOPNOTSUPP)
            code = errno;
    }
    if (code == 0) {
        const QByteArray text = markerText(folder);
        if (::write(fd, text.constData(), size_t(text.size())) != ssize_t(text.size()))
            code = errno != 0 ? errno : EIO;
    }
    if (code != 0) {
        if (fd >= 0) {
            ::unlink(markerPath.constData());
            ::close(fd);
        }
        ::rmdir(name.constData());
        return code;
    }
    m_marker = fd;
    m_contents = contents;
    m_path = name;
    m_device = folder.st_dev;
    m_inode = folder.st_ino;
    return 0;
}

QString OwnedFolder::path() const
{
    return QFile::decodeName(m_path);
}

bool OwnedFolder::remove()
{
    if (m_path.isEmpty())
        return true;
    const int folderFd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat folder {};
    // Gone already, or the name is no longer this folder's: nothing of ours
    // to remove. Known by the folder itself, not its marker, which an
    // earlier try may have removed before a late file kept the folder.
    const bool stillOurs =
        folderFd >= 0 && ::fstat(folderFd, &folder) == 0 && folder.st_dev == m_device && folder.st_ino == m_inode;
    const bool gone = !stillOurs || removeFolder(m_path, folderFd, m_contents);
    if (folderFd >= 0)
        ::close(folderFd);
    if (!gone)
        return false;
    ::close(m_marker);
    m_marker = -1;
    m_path.clear();
    return true;
}

void OwnedFolder::release()
{
    if (m_marker >= 0)
        ::close(m_marker);
    m_marker = -1;
    m_path.clear();
}

bool removeOwnedFolderIfEnded(const QString& path, OwnedFolder::Contents contents, const std::function<bool()>& first)
{
    return removeIfEnded(QFile::encodeName(path), contents, first);
}

int removeEndedOwnedFolders(const QString& folder, const QString& nameFilter, OwnedFolder::Contents contents)
{
    const QDir dir(folder);
    int removed = 0;
    for (const QString& name :
         dir.entryList({nameFilter}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        if (removeOwnedFolderIfEnded(dir.filePath(name), contents, {}))
            ++removed;
    }
    return removed;
}
