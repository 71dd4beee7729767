// The facsimile picker, the name dialog and the placement size dialog.
#include "FacsimileLibrary.h"

#include "LibraryFiles.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <functional>
#include <memory>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Facsimile", text);
}

QLabel* titleLabel(const QString& text)
{
    auto* title = new QLabel(text);
    title->setObjectName(QStringLiteral("DialogTitle"));
    return title;
}

QLabel* hintLabel(const QString& text)
{
    auto* hint = new QLabel(text);
    hint->setObjectName(QStringLiteral("DialogHint"));
    hint->setWordWrap(true);
    return hint;
}

QDialogButtonBox* confirmButtons(QDialog* dialog, const QString& confirmText)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setText(confirmText);
    ok->setObjectName(QStringLiteral("PrimaryAction"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// An icon-sized copy: the list never holds full pictures.
QIcon facsimileIcon(const QString& path)
{
    const QImage picture = readBoundedImage(path);
    if (picture.isNull())
        return QIcon();
    return QIcon(QPixmap::fromImage(picture.scaled(QSize(240, 150), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void fillPicker(QListWidget* list, const QString& dir, const QStringList& files, bool showGroups)
{
    list->clear();
    for (const QString& path : files) {
        QString text = QFileInfo(path).completeBaseName();
        const QString folder = QFileInfo(path).path();
        if (folder != QLatin1String("."))
            text += QLatin1Char('\n') + folder;
        auto* item = new QListWidgetItem(facsimileIcon(QDir(dir).filePath(path)), text, list);
        item->setData(kFacsimilePathRole, path);
        item->setData(kFacsimileKindRole, QStringLiteral("image"));
    }
    const QDir groups(facsimileGroupDir(dir));
    if (showGroups && groups.exists()) {
        const QStringList jsonFiles = groups.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        for (const QString& jsonFile : jsonFiles) {
            const FacsimileGroup group = readFacsimileGroup(dir, groups.filePath(jsonFile));
            if (group.items.isEmpty())
                continue;
            auto* item = new QListWidgetItem(QIcon(facsimileGroupThumbnail(dir, group.items)),
                                             uiTranslate(tr("Группа\n%1 (%2)")).arg(group.name).arg(group.items.size()),
                                             list);
            item->setData(kFacsimilePathRole, QStringLiteral("groups/") + jsonFile);
            item->setData(kFacsimileKindRole, QStringLiteral("group"));
            item->setData(kFacsimileGroupItemsRole, group.items);
        }
    }
    if (list->count() > 0)
        list->setCurrentRow(0);
}

void createGroup(QDialog* picker, QListWidget* list, const QString& dir, const std::function<void()>& refill)
{
    const QStringList paths = selectedFacsimileImageItems(list, dir);
    if (paths.size() < 2) {
        QMessageBox::information(picker, tr("Группа факсимиле"), tr("Выберите минимум две картинки для создания группы."));
        return;
    }
    QString name;
    if (!requestFacsimileName(picker, tr("Новая группа факсимиле"), tr("группа факсимиле"), &name))
        return;
    name = normalizeFacsimileName(name);
    if (!writeFacsimileGroup(dir, name, paths, nullptr)) {
        QMessageBox::warning(picker, tr("Ошибка"), tr("Не удалось сохранить группу."));
        return;
    }
    refill();
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        if (item->data(kFacsimileKindRole).toString() == QLatin1String("group")
            && QFileInfo(item->data(kFacsimilePathRole).toString()).completeBaseName() == name) {
            list->setCurrentItem(item);
            item->setSelected(true);
            break;
        }
    }
}

} // namespace

QString facsimileDialogStyleSheet()
{
    return QStringLiteral(
        "QDialog { background: #eef3f8; color: #172033; }"
        "QLabel#DialogTitle { color: #0f172a; font-size: 17px; font-weight: 700; }"
        "QLabel#DialogHint { color: #64748b; }"
        "QListWidget { background: #f8fbff; border: 1px solid #cbd7e6; border-radius: 10px; padding: 8px; }"
        "QListWidget::item { border: 1px solid transparent; border-radius: 9px; padding: 6px; }"
        "QListWidget::item:hover { background: #e7eef7; border-color: #c7d7eb; }"
        "QListWidget::item:selected { background: #dcecff; border-color: #7fb0ff; color: #0f172a; }"
        "QLineEdit, QComboBox { background: #ffffff; border: 1px solid #cbd7e6; border-radius: 8px; padding: 7px 9px; }"
        "QPushButton { background: #ffffff; border: 1px solid #cbd7e6; border-radius: 8px; padding: 7px 16px;"
        " color: #172033; }"
        "QPushButton:hover { background: #f7fbff; border-color: #9bb8dc; }"
        "QPushButton#PrimaryAction { background: #1473e6; border-color: #1473e6; color: white; font-weight: 600; }");
}

QDialog* buildFacsimilePickerDialog(const QString& dir, const QStringList& files, QWidget* parent, bool showGroups,
                                    bool multiSelection, bool allowCreateGroup, bool allowCreateNew)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(tr("Выбрать факсимиле"));
    dialog->setModal(true);
    dialog->setStyleSheet(facsimileDialogStyleSheet());
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(titleLabel(tr("Факсимиле")));
    layout->addWidget(hintLabel(multiSelection ? tr("Выберите одно факсимиле, готовую группу или несколько картинок для "
                                                    "вставки/создания группы.")
                                               : tr("Выберите сохранённое факсимиле.")));
    auto* list = new QListWidget;
    list->setProperty("_vorn_i18n_skip_items", true);  // names the user gave
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(120, 75));
    list->setSpacing(8);
    list->setResizeMode(QListView::Adjust);
    list->setMinimumSize(480, 260);
    list->setSelectionMode(multiSelection ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    layout->addWidget(list);
    const std::function<void()> refill = [list, dir, files, showGroups] { fillPicker(list, dir, files, showGroups); };
    refill();

    auto* buttons = new QHBoxLayout;
    if (allowCreateGroup) {
        auto* group = new QPushButton(tr("Создать группу"));
        QObject::connect(group, &QPushButton::clicked, dialog,
                         [dialog, list, dir, refill] { createGroup(dialog, list, dir, refill); });
        buttons->addWidget(group);
    }
    if (allowCreateNew) {
        auto* create = new QPushButton(tr("Создать новое"));
        QObject::connect(create, &QPushButton::clicked, dialog, [dialog] {
            dialog->setProperty("createNew", true);
            dialog->accept();
        });
        buttons->addWidget(create);
    }
    buttons->addStretch();
    auto* ok = new QPushButton(tr("ОК"));
    ok->setObjectName(QStringLiteral("PrimaryAction"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(tr("Отмена"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, dialog, &QDialog::accept);
    dialog->setProperty("listWidget", QVariant::fromValue(list));
    dialog->setProperty("createNew", false);
    return dialog;
}

bool requestFacsimileName(QWidget* parent, const QString& title, const QString& initialName, QString* name)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setModal(true);
    dialog.setStyleSheet(facsimileDialogStyleSheet());
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(titleLabel(title));
    layout->addWidget(hintLabel(tr("Укажите имя факсимиле.")));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(new QLabel(tr("Имя:")), 0, 0);
    auto* edit = new QLineEdit(initialName);
    grid->addWidget(edit, 0, 1);
    layout->addLayout(grid);
    layout->addWidget(confirmButtons(&dialog, tr("Сохранить")));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (name)
        *name = normalizeFacsimileName(edit->text());
    return true;
}

bool requestFacsimilePlacementSize(QWidget* parent, const QList<QImage>& images, QSizeF* size)
{
    if (size)
        *size = QSizeF(-1, -1);
    QDialog dialog(parent);
    dialog.setWindowTitle(tr("Размер факсимиле"));
    dialog.setModal(true);
    dialog.setStyleSheet(facsimileDialogStyleSheet());
    auto* kinds = new QComboBox;
    // "Печать" here is a seal, not printing.
    setTextContext(kinds, QStringLiteral("stamp"));
    const QList<std::pair<QString, QSizeF>> presets{{tr("Подпись"), QSizeF(45, 18)},
                                                    {tr("Печать"), QSizeF(40, 40)},
                                                    {tr("Надпись"), QSizeF(60, 12)},
                                                    {tr("Группа"), QSizeF(85, 32)}};
    // The kinds are told apart by their row: their shown texts follow the
    // interface language.
    const int customRow = int(presets.size());
    for (const auto& preset : presets)
        kinds->addItem(preset.first);
    kinds->addItem(tr("Свой размер"));
    auto sizeSpin = [] {
        auto* box = new QDoubleSpinBox;
        box->setRange(2.0, 300.0);
        box->setDecimals(1);
        box->setSingleStep(1.0);
        box->setSuffix(tr(" мм"));
        return box;
    };
    QDoubleSpinBox* width = sizeSpin();
    QDoubleSpinBox* height = sizeSpin();
    const QSizeF fallback = defaultFacsimileSizeMm(images);
    width->setValue(fallback.width());
    height->setValue(fallback.height());

    const auto applyPreset = [=](int row) {
        const QSizeF chosen = row >= 0 && row < customRow ? presets[row].second : fallback;
        const QSignalBlocker blockWidth(width);
        const QSignalBlocker blockHeight(height);
        width->setValue(chosen.width());
        height->setValue(chosen.height());
    };
    int start = 0;  // a signature
    if (images.size() >= 2)
        start = 3;  // a group
    else if (qAbs(fallback.width() - fallback.height()) < 2.0)
        start = 1;  // a round seal
    {
        const QSignalBlocker blockKinds(kinds);
        kinds->setCurrentIndex(start);
    }
    applyPreset(start);
    QObject::connect(kinds, &QComboBox::currentIndexChanged, &dialog, [=](int row) {
        if (row != customRow)
            applyPreset(row);
    });
    for (QDoubleSpinBox* box : {width, height}) {
        QObject::connect(box, &QDoubleSpinBox::valueChanged, &dialog, [=] {
            if (kinds->currentIndex() != customRow)
                kinds->setCurrentIndex(customRow);
        });
    }

    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(titleLabel(tr("Размер вставки")));
    layout->addWidget(
        hintLabel(tr("Укажите реальный размер на листе. Масштаб просмотра не влияет на итоговый размер.")));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(new QLabel(tr("Тип:")), 0, 0);
    grid->addWidget(kinds, 0, 1, 1, 2);
    grid->addWidget(new QLabel(tr("Ширина:")), 1, 0);
    grid->addWidget(width, 1, 1);
    grid->addWidget(new QLabel(tr("Высота:")), 2, 0);
    grid->addWidget(height, 2, 1);
    layout->addLayout(grid);
    layout->addWidget(confirmButtons(&dialog, tr("Установить")));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (size)
        *size = QSizeF(width->value() * 72.0 / 25.4, height->value() * 72.0 / 25.4);
    return true;
}
