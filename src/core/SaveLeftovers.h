#pragma once

#include <QDateTime>
#include <QString>

// The name of the private sibling a save writes before it takes the file's
// place: "." + the file's name + "." + six letters or digits (the Xs, which
// mkstemp fills).
QString saveSiblingTemplate(const QString& fileName);

// Removes what saves of path that were killed midway left beside its file
// (a link's target): siblings of that pattern, regular files of this user,
// last changed before olderThan. Nothing else is touched.
void removeSaveLeftovers(const QString& path, const QDateTime& olderThan);
