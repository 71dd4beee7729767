#pragma once

#include <QLockFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A run's scratch: a private folder (mode 0700) in the temporary folder for
// its request file (which holds pass phrases) and its copy of the open
// document. Files are created exclusively with unpredictable names; the
// folder and everything in it go when the scratch is destroyed or cleared.
// The folder holds a lock of the process that made it, so a folder left by
// a program that was killed is told from one in use and removed at the
// next start.
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
    // Removes the folder now.
    void clear();

    // Removes the scratch folders in the temporary folder whose process has
    // ended (its lock is stale), and those without a lock that are older
    // than a fresh one can be; returns how many went.
    static int removeLeftovers();

private:
    QTemporaryDir dir;
    std::unique_ptr<QLockFile> lock;
};
