#pragma once

#include "OwnedFolder.h"

#include <QString>

#include <memory>
#include <vector>

// A run's scratch: a private folder (mode 0700) in the temporary folder for
// its request file and its copy of the open document. Files are created
// exclusively with unpredictable names; the folder and everything in it go
// when the scratch is destroyed or cleared. The folder holds the program's
// marker, locked by the process that made it (see OwnedFolder), so a folder
// left by a program that was killed is told from one in use, and from any
// folder the program did not make, and removed at the next start.
//
// Outputs that must not be seen under their names before they are whole (a
// stamped copy, which looks signed, and its signature) are made in a stage:
// a private hidden folder beside them, noted in the scratch by device and
// inode, so it goes with the scratch, also with one a killed run left. The
// stage holds its own marker of the run's process: one a killed run left
// goes also when its note is gone with the temporary folder, at the next
// start of any edition, and wherever the program sweeps that folder
// (removeSaveLeftovers: an open, a save, a signing run there).
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
    // outputsFolder, on the outputs' own file system; empty with error set
    // when it cannot be made.
    QString stage(const QString& outputsFolder, QString* error);
    // Removes the stages, then the folder, now.
    void clear();

    // Removes the scratch folders in the temporary folder that the
    // program's marker proves left by an ended process, each with the
    // stages it notes, and the ended stages in the folders stages were made
    // in; returns how many scratch folders went.
    static int removeLeftovers();

private:
    QString unavailableText() const;

    OwnedFolder folder;
    int createError = 0;
    std::vector<std::unique_ptr<OwnedFolder>> stages;
};
