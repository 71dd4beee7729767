#pragma once
// A private application-data folder per test, and writes that fail on
// purpose: the file-size limit stops writes even for root.

#include <QByteArray>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
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

// The signature dialog's template box (the combo box with preview icons).
inline QComboBox* templateBox(QWidget* dialog)
{
    for (QComboBox* box : dialog->findChildren<QComboBox*>()) {
        if (box->iconSize() == QSize(118, 48))
            return box;
    }
    return nullptr;
}

// A template preview was drawn: the row's icon is not the transparent blank
// rows start with.
inline bool previewDrawn(const QIcon& icon)
{
    const QImage image = icon.pixmap(QSize(150, 60)).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

} // namespace stamptest
