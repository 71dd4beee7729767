#pragma once

#include <QString>
#include <QTemporaryDir>

// A run's scratch: a private folder (mode 0700) in the temporary folder for
// its request file (which holds pass phrases) and its copy of the open
// document. Files are created exclusively with unpredictable names; the
// folder and everything in it go when the scratch is destroyed or cleared.
class SigningScratch {
public:
    SigningScratch();
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

private:
    QTemporaryDir dir;
};
