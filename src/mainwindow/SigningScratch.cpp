#include "SigningScratch.h"

#include <QDir>
#include <QObject>
#include <QTemporaryFile>

SigningScratch::SigningScratch()
    : dir(QDir(QDir::tempPath()).filePath(QStringLiteral("vorn-sign-XXXXXX")))
{
}

bool SigningScratch::isValid() const
{
    return dir.isValid() && QDir(dir.path()).exists();
}

QString SigningScratch::path() const
{
    return isValid() ? dir.path() : QString();
}

QString SigningScratch::reserve(const QString& prefix, const QString& suffix, QString* error)
{
    if (!isValid()) {
        if (error)
            *error = dir.errorString();
        return {};
    }
    QTemporaryFile file(QDir(dir.path()).filePath(prefix + QStringLiteral("XXXXXX") + suffix));
    file.setAutoRemove(false);
    if (!file.open()) {
        if (error)
            *error = file.errorString();
        return {};
    }
    return file.fileName();
}

void SigningScratch::clear()
{
    if (dir.isValid())
        dir.remove();
}
