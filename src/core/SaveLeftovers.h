#pragma once
// The partial files the program writes beside a file it replaces, and the
// clean-up of those a killed process left behind. A partial file's name is
// marked as the program's own (".<name>.vorn-pdf-partial-" and six random
// letters or digits), a name no person or other program gives, so no file of
// the user's is ever taken for one; and its writer holds a lock on it for as
// long as it lives, so no clean-up takes a file a live process is writing.

#include <QByteArray>
#include <QString>

class PartialFile {
public:
    PartialFile() = default;
    // Closes the file and removes it unless it was renamed into place.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Creates the partial file, private (0600) and of an unpredictable name,
    // in the folder of target (the file it is to replace) and locks it; or,
    // in a locked folder of the program's (see OwnedFolder) beside target,
    // without a lock of its own. 0, or the system's error code.
    int create(const QString& target, const QString& inFolder = QString());

    // Open for writing until closeForWriting.
    int fd() const { return m_fd; }
    QString path() const;
    // 0, or the system's error code; the lock stays.
    int closeForWriting();
    // 0, or the system's error code.
    int renameTo(const QByteArray& target);

private:
    int m_fd = -1;
    int m_lock = -1;  // shares the lock of the file's first opening
    QByteArray m_name;
    bool m_renamed = false;
};

// Whether name (a file name, no folder) is marked as a partial file.
bool isPartialFileName(const QString& name);

// A partial file's name for target, in target's folder, its random letters
// still "XXXXXX".
QString partialPathPattern(const QString& target);

// A signing run's stage: a folder of the program's (see OwnedFolder) beside
// the outputs of a stamped signature, where they are made out of sight. Its
// name as a pattern (".vorn-sign-XXXXXX"), and whether name is one.
QString signingStagePattern();
bool isSigningStageName(const QString& name);

// Removes what writes killed midway left in the folder of path's file (a
// link's target): files of partial files' names, regular files of this
// user, last changed more than a few minutes ago, that no live process holds
// locked; and the program's folders there (of partial files' or signing
// stages' names) whose maker has ended (see OwnedFolder). Nothing else is
// touched.
void removeSaveLeftovers(const QString& path);
