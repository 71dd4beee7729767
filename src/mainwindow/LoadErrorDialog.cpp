#include "LoadErrorDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

LoadErrorDialog::LoadErrorDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Ошибка PDF"));
    resize(540, 310);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->addWidget(label(tr("Не удалось открыть PDF"), QStringLiteral("DialogTitle")));
    QLabel* explanation = label(tr("Файл повреждён или содержит неподдерживаемую структуру. Можно попробовать "
                                   "восстановить документ или открыть его только для чтения."),
                                QStringLiteral("DialogSubtitle"));
    explanation->setWordWrap(true);
    layout->addWidget(explanation);
    auto* details = new QListWidget;
    details->addItems({tr("xref table: отсутствует ожидаемый объект"), tr("stream #42: неверная длина блока"),
                       tr("подпись документа не проверена")});
    layout->addWidget(details, 1);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const auto& [text, style] : {std::pair{tr("Только чтение"), QStringLiteral("SecondaryDialogButton")},
                                      std::pair{tr("Восстановить"), QStringLiteral("PrimaryDialogButton")},
                                      std::pair{tr("Закрыть"), QStringLiteral("SecondaryDialogButton")}}) {
        QPushButton* button = dialogButton(text, style);
        connect(button, &QPushButton::clicked, this, &QDialog::close);
        row->addWidget(button);
    }
    layout->addLayout(row);
}
