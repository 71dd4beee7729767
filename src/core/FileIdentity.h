#pragma once

#include <QString>

// A file itself rather than one of its names: the device and inode a path
// reaches, a symbolic link followed. Two spellings, a link and a hard link of
// one file have one identity, so "is this that file" is asked of the files.
class FileIdentity {
public:
    FileIdentity() = default;

    // Invalid when nothing stands at path or it cannot be looked at.
    static FileIdentity of(const QString& path);
    // The identity another process reported; invalid for an inode of 0.
    static FileIdentity fromNumbers(quint64 device, quint64 inode);
    // Whether a and b name one existing file.
    static bool same(const QString& a, const QString& b);

    bool isValid() const { return m_valid; }
    quint64 device() const { return m_device; }
    quint64 inode() const { return m_inode; }
    // Equal only when both are valid and name one file.
    bool operator==(const FileIdentity& other) const;
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }

private:
    bool m_valid = false;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

// Removes the file at path only when it is identity, the name itself looked
// at (a link there is not followed): a name another process has taken since
// keeps its file. Whether it went.
bool removeFileIfSame(const QString& path, const FileIdentity& identity);
