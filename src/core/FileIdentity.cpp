#include "FileIdentity.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

FileIdentity FileIdentity::of(const QString& path)
{
    FileIdentity identity;
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (name.isEmpty() || ::stat(name.constData(), &info) != 0)
        return identity;
    identity.m_valid = true;
    identity.m_device = quint64(info.st_dev);
    identity.m_inode = quint64(info.st_ino);
    return identity;
}

FileIdentity FileIdentity::fromNumbers(quint64 device, quint64 inode)
{
    FileIdentity identity;
    identity.m_valid = inode != 0;
    identity.m_device = device;
    identity.m_inode = inode;
    return identity;
}

bool FileIdentity::same(const QString& a, const QString& b)
{
    return of(a) == of(b);
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return m_valid && other.m_valid && m_device == other.m_device && m_inode == other.m_inode;
}

bool removeFileIfSame(const QString& path, const FileIdentity& identity)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (!identity.isValid() || name.isEmpty() || ::lstat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode)
        || quint64(info.st_dev) != identity.device() || quint64(info.st_ino) != identity.inode())
        return false;
    return ::unlink(name.constData()) == 0;
}
