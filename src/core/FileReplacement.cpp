#include "FileReplacement.h"

#include "FileIdentity.h"
#include "OwnedFolder.h"
#include "SaveLeftovers.h"
#include "SystemErrorText.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An unbuffered device over a file descriptor that keeps the system's reason
// for a failed write: a short write counts as a failure.
class DescriptorSink : public QIODevice {
public:
    explicit DescriptorSink(int fd)
        : m_fd(fd)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    int failure() const { return m_failure; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failure = n < 0 ? errno : EIO;
                setErrorString(systemErrorText(m_failure));
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    int m_fd;
    int m_failure = 0;
};

// The process's file-creation mask, read without changing it.
mode_t currentUmask()
{
    constexpr mode_t kUsualMask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return kUsualMask;
    while (!status.atEnd()) {
        const QByteArray line = status.readLine();
        if (line.startsWith("Umask:")) {
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            return ok ? mode_t(mask) : kUsualMask;
        }
    }
    return kUsualMask;
}

void syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool fail(QString* error, const QString& reason)
{
    *error = reason;
    return false;
}

} // namespace

QString resolvedWriteTarget(const QString& path, QString* error)
{
    if (path.isEmpty()) {
        *error = systemErrorText(ENOENT);
        return {};
    }
    const QFileInfo info(path);
    char resolved[PATH_MAX];
    if (::realpath(QFile::encodeName(info.absoluteFilePath()).constData(), resolved))
        return QFile::decodeName(resolved);
    const int code = errno;
    if (code == ENOENT)  // a new file, or a link to one not made yet
        return info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    *error = systemErrorText(code);
    return {};
}

bool replaceFileWith(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error)
{
    FileReplacement replacement;
    return replacement.prepare(path, write, error) && replacement.putInPlace(error);
}

FileReplacement::FileReplacement() = default;
FileReplacement::~FileReplacement() = default;
FileReplacement::FileReplacement(FileReplacement&&) noexcept = default;
FileReplacement& FileReplacement::operator=(FileReplacement&&) noexcept = default;

bool FileReplacement::begin(const QString& path, QString* error, const OwnedFolder* aside)
{
    m_partial.reset();
    const QString target = resolvedWriteTarget(path, error);
    if (target.isEmpty())
        return false;
    const QByteArray targetName = QFile::encodeName(target);
    struct stat existing {};
    const bool exists = ::stat(targetName.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return fail(error, systemErrorText(EISDIR));
    // A device or a pipe under that name is never swapped for a file.
    if (exists && !S_ISREG(existing.st_mode))
        return fail(error, QStringLiteral("Это не обычный файл: %1").arg(target));
    // A file its owner made read-only is not replaced behind their back.
    if (exists && ::access(targetName.constData(), W_OK) != 0)
        return fail(error, systemErrorText(errno));
    const QString folder = QFileInfo(target).absolutePath();
    // Renamed over the target, so on its file system: beside it.
    const bool inAside = aside && aside->isValid() && FileIdentity::same(QFileInfo(aside->path()).absolutePath(), folder);
    auto partial = std::make_unique<PartialFile>();
    if (const int code = partial->create(target, inAside ? aside->path() : QString()))
        return fail(error, systemErrorText(code));
    m_partial = std::move(partial);
    m_target = targetName;
    m_folder = QFile::encodeName(folder);
    m_existed = exists;
    m_owner = existing.st_uid;
    m_group = existing.st_gid;
    m_mode = existing.st_mode & 07777;
    return true;
}

QString FileReplacement::partialPath() const
{
    return m_partial ? m_partial->path() : QString();
}

bool FileReplacement::finish(QString* error)
{
    if (!m_partial || m_partial->fd() < 0)
        return fail(error, systemErrorText(ENOENT));
    const int fd = m_partial->fd();
    if (m_existed)
        (void)::fchown(fd, m_owner, m_group);  // only root may give a file away
    const mode_t mode = m_existed ? mode_t(m_mode) : (0666 & ~currentUmask());
    int code = 0;
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        code = errno;
    else
        code = m_partial->closeForWriting();
    if (code != 0) {
        m_partial.reset();
        return fail(error, systemErrorText(code));
    }
    return true;
}

bool FileReplacement::prepare(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error,
                              const OwnedFolder* aside)
{
    if (!begin(path, error, aside))
        return false;
    {
        // pdfium may go on after its block writer failed: the sink's own record decides.
        DescriptorSink sink(m_partial->fd());
        if (!write(sink) || sink.failure() != 0) {
            m_partial.reset();
            if (sink.failure() != 0)
                return fail(error, systemErrorText(sink.failure()));
            return fail(error, error->isEmpty() ? QStringLiteral("Не удалось записать файл: %1").arg(path) : *error);
        }
    }
    return finish(error);
}

bool FileReplacement::putInPlace(QString* error)
{
    if (!m_partial || m_partial->fd() >= 0)
        return fail(error, systemErrorText(ENOENT));
    if (const int code = m_partial->renameTo(m_target))
        return fail(error, systemErrorText(code));
    m_partial.reset();
    syncFolder(m_folder);
    return true;
}
