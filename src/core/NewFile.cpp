#include "NewFile.h"

#include "SaveLeftovers.h"
#include "SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The same bound as the proposed names of the dialogs.
constexpr int kLastNumberTried = 9999;

void syncFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString numberedSiblingPath(const QString& path, qint64 n)
{
    const QFileInfo info(path);
    const QString absolute = info.absolutePath();
    const QDir folder(absolute.isEmpty() || absolute == QLatin1String(".") ? QDir::homePath() : absolute);
    QString base = info.completeBaseName();
    QString suffix = info.suffix();
    if (base.trimmed().isEmpty()) {
        base = info.fileName().trimmed().isEmpty() ? QStringLiteral("document") : info.fileName();
        suffix.clear();
    }
    QString name = n == 0 ? base : QStringLiteral("%1 (%2)").arg(base).arg(n);
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix;
    return folder.filePath(name);
}

int placeWithoutReplacing(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    int code = errno;
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP)
        return code;
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return 0;
    }
    code = errno;
    if (code != EPERM && code != EOPNOTSUPP && code != ENOSYS)
        return code;
    // Neither (a FAT stick over a network): looked at first, the best such a
    // file system allows.
    struct stat taken {};
    if (::lstat(target.constData(), &taken) == 0)
        return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

NewFile::NewFile() = default;
NewFile::~NewFile() = default;

bool NewFile::open(const QString& wanted, QString* error)
{
    m_wanted = QFileInfo(wanted).absoluteFilePath();
    if (const int code = m_aside.create(partialPathPattern(m_wanted))) {
        *error = systemErrorText(code);
        return false;
    }
    m_file = std::make_unique<QFile>(QDir(m_aside.path()).filePath(QFileInfo(m_wanted).fileName()));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *error = m_file->errorString();
        m_file.reset();
        m_aside.remove();
        return false;
    }
    return true;
}

bool NewFile::commit(QString* error)
{
    const auto fail = [&](const QString& reason) {
        *error = reason;
        m_file.reset();
        m_aside.remove();
        return false;
    };
    if (!m_file || !m_file->isOpen())
        return fail(systemErrorText(EBADF));
    struct stat written {};
    if (::fsync(m_file->handle()) != 0 || ::fstat(m_file->handle(), &written) != 0)
        return fail(systemErrorText(errno));
    m_file->close();
    if (m_file->error() != QFileDevice::NoError)
        return fail(m_file->errorString());
    for (int n = 0; n <= kLastNumberTried; ++n) {
        const QString candidate = numberedSiblingPath(m_wanted, n);
        const int code = placeWithoutReplacing(m_file->fileName(), candidate);
        if (code == EEXIST)
            continue;
        if (code != 0)
            return fail(systemErrorText(code));
        m_path = candidate;
        m_identity = FileIdentity::fromNumbers(quint64(written.st_dev), quint64(written.st_ino));
        m_file.reset();
        m_aside.remove();
        syncFolder(m_path);
        return true;
    }
    return fail(systemErrorText(EEXIST));
}
