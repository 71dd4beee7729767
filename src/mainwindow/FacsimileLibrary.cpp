#include "FacsimileLibrary.h"

#include "LibraryFiles.h"
#include "RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

constexpr qint64 kMaxGroupFileBytes = 1024 * 1024;
constexpr int kMaxGroupItems = 1000;

QString tr(const char* text)
{
    return QCoreApplication::translate("Facsimile", text);
}

QStringList withoutDuplicates(const QStringList& paths)
{
    QStringList kept;
    for (const QString& path : paths) {
        if (!kept.contains(path))
            kept << path;
    }
    return kept;
}

} // namespace

QString facsimileGroupDir(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral("groups"));
}

QString normalizeFacsimileName(const QString& name)
{
    const QString fallback = tr("факсимиле");
    QString safe = name.trimmed();
    for (QChar bad : {u'\\', u':', u'*', u'?', u'"', u'<', u'>', u'|'})
        safe.replace(bad, QLatin1Char('_'));
    while (safe.contains(QLatin1String("//")))
        safe.replace(QLatin1String("//"), QLatin1String("/"));
    safe.replace(QLatin1String(".."), QLatin1String("_"));
    safe = safe.trimmed();
    if (safe.isEmpty())
        safe = fallback;
    safe.replace(QLatin1Char('/'), QLatin1Char('_'));
    return safe;
}

QStringList listFacsimileFiles(const QString& dir)
{
    QStringList files;
    const QDir root(dir);
    if (!root.exists())
        return files;
    QDirIterator it(dir, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << root.relativeFilePath(it.next());
    std::sort(files.begin(), files.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return files;
}

bool facsimileExistsInLibrary(const QString& dir, const QString& path)
{
    if (path.isEmpty() || QDir::isAbsolutePath(path) || QFileInfo(path).isAbsolute())
        return false;
    const QString clean = QDir::cleanPath(path);
    if (clean == QLatin1String("..") || clean.startsWith(QLatin1String("../")))
        return false;
    return QFileInfo(QDir(dir).filePath(clean)).isFile();
}

FacsimileGroup readFacsimileGroup(const QString& dir, const QString& jsonPath)
{
    FacsimileGroup group;
    QByteArray bytes;
    if (RegularFile::read(jsonPath, kMaxGroupFileBytes, &bytes, nullptr) != RegularFile::Opened)
        return group;
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    group.name = root.value(QStringLiteral("name")).toString().trimmed();
    if (group.name.isEmpty())
        group.name = QFileInfo(jsonPath).completeBaseName();
    const QJsonArray items = root.value(QStringLiteral("items")).toArray();
    for (const QJsonValue& value : items) {
        if (group.items.size() >= kMaxGroupItems)
            break;
        const QString item = value.toVariant().toString().trimmed();
        if (facsimileExistsInLibrary(dir, item) && !group.items.contains(item))
            group.items << item;
    }
    return group;
}

bool writeFacsimileGroup(const QString& dir, const QString& name, const QStringList& items, QString* error)
{
    const QString folder = facsimileGroupDir(dir);
    QDir().mkpath(folder);
    const QJsonObject root{{QStringLiteral("name"), name}, {QStringLiteral("items"), QJsonArray::fromStringList(items)}};
    return replaceFile(QDir(folder).filePath(name + QStringLiteral(".json")),
                       QJsonDocument(root).toJson(QJsonDocument::Indented), error);
}

QStringList selectedFacsimileImageItems(QListWidget* list, const QString& dir)
{
    if (!list)
        return {};
    QList<QListWidgetItem*> items = list->selectedItems();
    if (items.isEmpty())
        items << list->currentItem();
    QStringList paths;
    for (QListWidgetItem* item : items) {
        if (!item)
            continue;
        if (item->data(kFacsimileKindRole).toString() == QLatin1String("group")) {
            paths << item->data(kFacsimileGroupItemsRole).toStringList();
        } else {
            const QString path = item->data(kFacsimilePathRole).toString();
            if (!path.isEmpty())
                paths << path;
        }
    }
    QStringList existing;
    for (const QString& path : withoutDuplicates(paths)) {
        if (facsimileExistsInLibrary(dir, path))
            existing << path;
    }
    return existing;
}

QPixmap facsimileGroupThumbnail(const QString& dir, const QStringList& items)
{
    QPixmap thumbnail(120, 75);
    thumbnail.fill(Qt::transparent);
    QPainter painter(&thumbnail);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x14, 0x73, 0xe6), 1.4));
    painter.setBrush(QColor(0xdc, 0xec, 0xff, 120));
    painter.drawRoundedRect(QRectF(1, 1, 117, 72), 8, 8);
    const int n = std::min(int(items.size()), 3);
    if (n == 0)
        return thumbnail;
    const int cellWidth = (120 - (4 * n + 4)) / n;
    for (int i = 0; i < n; ++i) {
        painter.setPen(QPen(QColor(0x94, 0xa3, 0xb8), 1.0));
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(QRectF(4 + i * (cellWidth + 4), 8, cellWidth, 59), 5, 5);
        const QImage picture = readBoundedImage(QDir(dir).filePath(items.at(i)));
        if (picture.isNull())
            continue;
        const QImage fitted =
            picture.scaled(QSize(cellWidth - 8, 51), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const int centreX = (cellWidth + 7 + i * (2 * cellWidth + 8)) / 2;
        painter.drawImage(QPoint(centreX - fitted.width() / 2, 37 - fitted.height() / 2), fitted);
    }
    return thumbnail;
}

QSizeF defaultFacsimileSizeMm(const QList<QImage>& images)
{
    if (images.size() > 1)
        return QSizeF(85, 32);
    if (images.isEmpty() || images.first().isNull())
        return QSizeF(45, 18);
    const double ratio = double(images.first().width()) / std::max(images.first().height(), 1);
    if (ratio > 2.0)
        return QSizeF(45, 18);
    if (ratio < 0.75)
        return QSizeF(24, 45);
    return QSizeF(40, 40);
}
