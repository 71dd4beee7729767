#include "FileIdentity.h"

#include <QFile>

#include <sys/stat.h>

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

bool FileIdentity::same(const QString& a, const QString& b)
{
    return of(a) == of(b);
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return m_valid && other.m_valid && m_device == other.m_device && m_inode == other.m_inode;
}
