#pragma once

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QDialog;
class QPixmap;
class QListWidget;
class QWidget;

// The facsimile library: PNG pictures below one folder, named by their path
// relative to it with forward slashes, and groups of them in
// "groups/<name>.json". Nothing is cached; every call reads the folder.

// Item roles of the picker's list.
constexpr int kFacsimilePathRole = Qt::UserRole;
constexpr int kFacsimileKindRole = Qt::UserRole + 1;
constexpr int kFacsimileGroupItemsRole = Qt::UserRole + 2;

QString facsimileGroupDir(const QString& dir);
// A file-safe name; blank gives "факсимиле". Idempotent.
QString normalizeFacsimileName(const QString& name);
// Every *.png below dir (any letter case, subfolders included), relative,
// sorted without regard to case; empty when dir does not exist.
QStringList listFacsimileFiles(const QString& dir);
// True when path names an existing file inside dir: absolute paths and
// paths leading out of the folder do not count.
bool facsimileExistsInLibrary(const QString& dir, const QString& path);

struct FacsimileGroup {
    QString name;
    QStringList items;  // existing pictures only, first occurrences, in order
};
// A group file as the picker reads it; no items when unreadable.
FacsimileGroup readFacsimileGroup(const QString& dir, const QString& jsonPath);
// Writes the group file whole or not at all; false with the reason.
bool writeFacsimileGroup(const QString& dir, const QString& name, const QStringList& items, QString* error);

// The pictures chosen in a picker list: selected items, or the current one.
QStringList selectedFacsimileImageItems(QListWidget* list, const QString& dir);

// Facsimile dialogs (picker, name, size) share this look.
QString facsimileDialogStyleSheet();
// The 120 x 75 icon of a group: up to three of its pictures side by side.
QPixmap facsimileGroupThumbnail(const QString& dir, const QStringList& items);

QDialog* buildFacsimilePickerDialog(const QString& dir, const QStringList& files, QWidget* parent, bool showGroups,
                                    bool multiSelection, bool allowCreateGroup, bool allowCreateNew);
bool requestFacsimileName(QWidget* parent, const QString& title, const QString& initialName, QString* name);

// The starting size in millimetres for placing these pictures.
QSizeF defaultFacsimileSizeMm(const QList<QImage>& images);
// The size dialog; on acceptance *size is the chosen size in points,
// otherwise (-1, -1).
bool requestFacsimilePlacementSize(QWidget* parent, const QList<QImage>& images, QSizeF* size);
