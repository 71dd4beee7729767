#pragma once
// An output that takes a name without replacing anything: it is written
// whole out of sight, then linked or renamed to its name in one step that
// fails when the name is taken. Two programs writing to one name at once
// both keep their files: the later one takes the next free name.

#include "FileIdentity.h"
#include "OwnedFolder.h"

#include <QString>

#include <memory>

class QFile;

// The name "<base> (<n>).<suffix>" beside path, path itself for n = 0, in
// path's absolute folder (the home folder when it has none). A name that
// is all suffix (".bashrc") is its own base; an empty one is "document".
QString numberedSiblingPath(const QString& path, qint64 n);

// Renames from to to, never over whatever stands at to (a file, a link, a
// folder): 0, EEXIST when to is taken, or the system's error code. Where
// the file system cannot rename without replacing, a hard link takes the
// name, then the old name goes.
int placeWithoutReplacing(const QString& from, const QString& to);

class NewFile {
public:
    NewFile();
    // An output not committed goes, with its private folder.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Makes the empty file in a private folder of the program's beside
    // wanted (see OwnedFolder): what a writer killed midway leaves there
    // goes with the next clean-up of that folder (removeSaveLeftovers).
    // False with the reason.
    bool open(const QString& wanted, QString* error);
    // Unbuffered and open for writing until commit.
    QFile* device() const { return m_file.get(); }
    // Flushes the file to disk and gives it the wanted name, or where that
    // is taken (before or meanwhile) the first free numberedSiblingPath.
    // False with the reason; the file is gone then.
    bool commit(QString* error);
    // After commit: the name the file took, and the file itself.
    QString path() const { return m_path; }
    FileIdentity identity() const { return m_identity; }

private:
    OwnedFolder m_aside;
    std::unique_ptr<QFile> m_file;
    QString m_wanted;
    QString m_path;
    FileIdentity m_identity;
};
