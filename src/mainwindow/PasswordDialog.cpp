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
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Пароль PDF"));
    resize(430, 250);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
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

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const auto& [text, style] : {std::pair{tr("Отмена"), QStringLiteral("SecondaryDialogButton")},
                                      std::pair{tr("Открыть"), QStringLiteral("PrimaryDialogButton")}}) {
        QPushButton* button = dialogButton(text, style);
        connect(button, &QPushButton::clicked, this, &QDialog::close);
        row->addWidget(button);
    }
    layout->addLayout(row);
}
