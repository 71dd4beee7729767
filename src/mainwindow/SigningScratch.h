#pragma once

#include <QLockFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class OwnedFolder;

// A run's scratch: a private folder (mode 0700) in the temporary folder for
// its request file and its copy of the open document. Files are created
// exclusively with unpredictable names; the folder and everything in it go
// when the scratch is destroyed or cleared. The folder holds a lock of the
// process that made it, so a folder left by a program that was killed is
// told from one in use and removed at the next start.
//
// Outputs that must not be seen under their names before they are whole (a
// stamped copy, which looks signed, and its signature) are made in a stage:
// a private hidden folder beside them, noted in the scratch by device and
// inode, so it goes with the scratch, also with one a killed run left. The
// stage holds its own marker of the run's process (see OwnedFolder): one a
// killed run left goes also when its note is gone with the temporary
// folder, once the program next writes into that folder.
class SigningScratch {
public:
    SigningScratch();
    ~SigningScratch();
    SigningScratch(const SigningScratch&) = delete;
    SigningScratch& operator=(const SigningScratch&) = delete;

    bool isValid() const;
    // The folder; empty when it could not be made.
    QString path() const;
    // A new empty file "<prefix>XXXXXX<suffix>" owned by the user alone;
    // empty with error set when it cannot be made.
    QString reserve(const QString& prefix, const QString& suffix, QString* error);
    // A new private folder (mode 0700, hidden, unpredictable name) in
    // folder, on the outputs' own file system; empty with error set when it
    // cannot be made. The stages ended runs left there go first.
    QString stage(const QString& folder, QString* error);
    // Removes the stages, then the folder, now.
    void clear();

    // Renames from to to, never over a file that is there: false with the
    // reason when to is taken or the rename fails.
    static bool putInPlace(const QString& from, const QString& to, QString* error);

    // Removes the scratch folders in the temporary folder whose process has
    // ended (its lock is stale), and those without a lock that are older
    // than a fresh one can be, each with the stages it notes; returns how
    // many scratch folders went.
    static int removeLeftovers();

private:
    QTemporaryDir dir;
    std::unique_ptr<QLockFile> lock;
    std::vector<std::unique_ptr<OwnedFolder>> stages;
};
