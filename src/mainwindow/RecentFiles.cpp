#include "RecentFiles.h"

#include <QSettings>

namespace {

const QString kRecentFilesKey = QStringLiteral("recentFiles");
const QString kRememberRecentKey = QStringLiteral("doc/rememberRecent");
constexpr bool kRememberRecentDefault = true;

} // namespace

QStringList withRecentFile(QStringList recent, const QString& path)
{
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > kMaxRecentFiles)
        recent.removeLast();
    return recent;
}

void rememberRecentFile(const QString& path)
{
    QSettings settings;
    if (!settings.value(kRememberRecentKey, kRememberRecentDefault).toBool())
        return;
    settings.setValue(kRecentFilesKey, withRecentFile(storedRecentFiles(), path));
}

QStringList storedRecentFiles()
{
    return QSettings().value(kRecentFilesKey).toStringList();
}
