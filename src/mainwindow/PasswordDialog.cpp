#include "PasswordDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

PasswordDialog::PasswordDialog(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = setUpInfoWindow(this, tr("Пароль PDF"), QSize(430, 250), 18);
    layout->setSpacing(10);
    layout->addWidget(label(tr("Защищённый PDF"), QStringLiteral("DialogTitle")));
    QLabel* explanation =
        label(tr("Файл защищён паролем. Введите пароль, чтобы открыть документ."), QStringLiteral("DialogSubtitle"));
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(tr("Пароль:")), 0, 0);
    QLineEdit* password = dialogLineEdit(QString());
    password->setEchoMode(QLineEdit::Password);
    form->addWidget(password, 0, 1);
    form->addWidget(new QCheckBox(tr("Запомнить пароль для этой сессии")), 1, 1);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addLayout(closingButtonRow(this, {{tr("Отмена"), QStringLiteral("SecondaryDialogButton")},
                                              {tr("Открыть"), QStringLiteral("PrimaryDialogButton")}}));
}
