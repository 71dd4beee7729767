#pragma once
// A private application-data folder per test, and writes that fail on
// purpose: the file-size limit stops writes even for root.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace stamptest {

// Points the platform's data location into a fresh folder while it lives.
class DataFolder {
public:
    DataFolder()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
        QCoreApplication::setApplicationName(QStringLiteral("vorn-stamp-test"));
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
    }
    ~DataFolder() { qunsetenv("XDG_DATA_HOME"); }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Runs action while no file may grow past `bytes`.
inline void withFileSizeLimit(rlim_t bytes, const std::function<void()>& action)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    action();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below a folder with its bytes, for "nothing changed" checks.
inline QMap<QString, QByteArray> folderSnapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDir dir(root);
    if (!dir.exists())
        return files;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const QString path = dir.filePath(entry);
        if (QFileInfo(path).isDir()) {
            const auto inner = folderSnapshot(path);
            for (auto it = inner.begin(); it != inner.end(); ++it)
                files.insert(entry + '/' + it.key(), it.value());
        } else {
            files.insert(entry, fileBytes(path));
        }
    }
    return files;
}

} // namespace stamptest
