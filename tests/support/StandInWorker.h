#pragma once
// Stand-in worker programs: small shell scripts the tests start in place of
// the program's own worker modes.

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace standin {

// An executable script "worker" in dir running body; the worker's arguments
// are $1.. as the real worker would get them.
inline QString script(const QTemporaryDir& dir, const QString& body)
{
    const QString path = dir.filePath(QStringLiteral("worker"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the stand-in %s", qPrintable(path));
    file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

} // namespace standin
