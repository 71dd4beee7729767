#pragma once
// Replacing a file the user keeps: the new content is written into a partial
// file beside it (see PartialFile), flushed to disk and renamed over the
// file, so the file is whole at every moment, the old one until the rename
// and the new one after it.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class OwnedFolder;
class PartialFile;
class QIODevice;

// The file a write to path replaces: a symbolic link's target; empty with
// *error set when the path cannot be resolved (a loop, a folder in the way).
QString resolvedWriteTarget(const QString& path, QString* error);

// Replaces the file at path (the target of a symbolic link, the link kept)
// with what write() puts into the device. On failure the target is as it
// was, no partial file is left, and *error holds the reason: the system's
// own, else what write() put into *error before failing.
bool replaceFileWith(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error);

// replaceFileWith in steps: the partial file is written and kept aside
// until it is put in place, and removed if it never is. A set of files is so
// replaced only when every one of them could be written.
class FileReplacement {
public:
    FileReplacement();
    ~FileReplacement();
    FileReplacement(FileReplacement&&) noexcept;
    FileReplacement& operator=(FileReplacement&&) noexcept;

    // Checks the target of path (no folder, device or pipe, nor a file its
    // owner made read-only) and makes its empty partial file: in aside, when
    // given and in the target's folder, else beside the target.
    bool begin(const QString& path, QString* error, const OwnedFolder* aside = nullptr);
    // The partial file's name, for a writer that opens it by name itself.
    QString partialPath() const;
    // Gives the written partial file the target's owner and mode, flushes it
    // to disk and closes it.
    bool finish(QString* error);
    // begin, write() into the partial file, finish; the target is untouched.
    bool prepare(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error,
                 const OwnedFolder* aside = nullptr);
    // Renames the finished partial file over the target.
    bool putInPlace(QString* error);

private:
    std::unique_ptr<PartialFile> m_partial;
    QByteArray m_target;
    QByteArray m_folder;
    bool m_existed = false;
    uint m_owner = 0;
    uint m_group = 0;
    uint m_mode = 0;
};
