#pragma once

#include <QString>
#include <QStringList>

// The recent-files list kept in the settings under "recentFiles": absolute
// paths, newest first, no duplicates, at most kMaxRecentFiles entries.
constexpr int kMaxRecentFiles = 8;

// The list with path moved (or added) to the front and cut to the maximum.
// Entries compare exactly; missing files stay in the list.
QStringList withRecentFile(QStringList recent, const QString& path);

// Puts path at the front of the stored list, unless the user turned the
// list off ("doc/rememberRecent").
void rememberRecentFile(const QString& path);

// The stored list, newest first.
QStringList storedRecentFiles();
