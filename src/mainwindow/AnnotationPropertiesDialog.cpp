#include "AnnotationPropertiesDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

namespace {

constexpr int kWidth = 500;
constexpr int kHeight = 380;
constexpr int kMargin = 16;
constexpr int kOpacity = 85;

} // namespace

AnnotationPropertiesDialog::AnnotationPropertiesDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("Свойства аннотации"));
    resize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(label(tr("Свойства комментария"), QStringLiteral("DialogTitle")));
    auto* grid = new QGridLayout;
    auto* kind = new QComboBox;
    kind->addItems({tr("Заметка"), tr("Выделение"), tr("Подчёркивание"), tr("Штамп")});
    auto* color = new QComboBox;
    color->addItems({tr("Жёлтый"), tr("Синий"), tr("Зелёный"), tr("Красный")});
    auto* opacity = new QSlider(Qt::Horizontal);
    opacity->setRange(0, 100);
    opacity->setValue(kOpacity);
    grid->addWidget(new QLabel(tr("Тип:")), 0, 0);
    grid->addWidget(kind, 0, 1);
    grid->addWidget(new QLabel(tr("Автор:")), 1, 0);
    grid->addWidget(dialogLineEdit(QStringLiteral("User")), 1, 1);
    grid->addWidget(new QLabel(tr("Цвет:")), 2, 0);
    grid->addWidget(color, 2, 1);
    grid->addWidget(new QLabel(tr("Прозрачность:")), 3, 0);
    grid->addWidget(opacity, 3, 1);
    layout->addLayout(grid);
    layout->addWidget(new QCheckBox(tr("Блокировать перемещение")));
    layout->addWidget(new QCheckBox(tr("Показывать автора в списке комментариев")));
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    QPushButton* ok = dialogButton(tr("ОК"), QStringLiteral("PrimaryDialogButton"));
    ok->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
}
