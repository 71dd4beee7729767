#include "SaveLeftovers.h"

#include "PdfEngineInternal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kRandomLetters = 6;

bool isLetterOrDigit(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool isSiblingOf(const QString& name, const QString& fileName)
{
    const QString prefix = QLatin1Char('.') + fileName + QLatin1Char('.');
    if (name.size() != prefix.size() + kRandomLetters || !name.startsWith(prefix))
        return false;
    const QStringView tail = QStringView(name).mid(prefix.size());
    return std::all_of(tail.begin(), tail.end(), isLetterOrDigit);
}

} // namespace

QString saveSiblingTemplate(const QString& fileName)
{
    return QLatin1Char('.') + fileName + QLatin1Char('.') + QString(kRandomLetters, QLatin1Char('X'));
}

void removeSaveLeftovers(const QString& path, const QDateTime& olderThan)
{
    QString error;
    const QString target = pdfengine::resolvedWriteTarget(path, &error);
    if (target.isEmpty())
        return;
    const QFileInfo file(target);
    const QDir folder = file.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isSiblingOf(name, file.fileName()))
            continue;
        const QByteArray sibling = QFile::encodeName(folder.filePath(name));
        struct stat info {};
        // lstat: a link of that name is not ours, nor what it points to.
        if (::lstat(sibling.constData(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid())
            continue;
        constexpr qint64 kNsPerMs = 1000000;
        const QDateTime changed =
            QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / kNsPerMs);
        if (changed < olderThan)
            ::unlink(sibling.constData());
    }
}
