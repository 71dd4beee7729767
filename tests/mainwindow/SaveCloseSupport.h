#pragma once
// What the save and close tests share: a change that marks a document
// modified, a file's page count read back, and a file in a folder of its own
// that may be made unwritable.

#include "WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace windowtest {

inline void modify(MainWindow& window)
{
    window.currentDocument()->deletePage(0);
    window.updateTitle();
}

inline int pageCountOf(const QString& path)
{
    PdfDocument check;
    return check.open(path) ? check.pageCount() : -1;
}

// Opens a copy of a two-page file in a folder of its own, then may make
// writing there fail: the folder deleted, a plain file in its place, the
// file or the folder read-only.
inline QString openInOwnFolder(MainWindow& window, QTemporaryDir& dir, const QString& how)
{
    const QString folder = dir.filePath(QStringLiteral("gone"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/a.pdf");
    QFile::copy(writePdf(dir, QStringLiteral("src.pdf"), 2), path);
    window.openFile(path);
    if (how.isEmpty())
        return path;
    if (how == QLatin1String("read-only")) {
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        return path;
    }
    if (how == QLatin1String("read-only folder")) {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return path;
    }
    QDir(folder).removeRecursively();
    if (how == QLatin1String("file"))
        fixtures::writeFile(folder, "not a folder");
    return path;
}

} // namespace windowtest
