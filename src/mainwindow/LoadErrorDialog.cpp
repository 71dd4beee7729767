#include "LoadErrorDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

LoadErrorDialog::LoadErrorDialog(QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = setUpInfoWindow(this, tr("Ошибка PDF"), QSize(540, 310), 18);
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
    layout->addLayout(closingButtonRow(this, {{tr("Только чтение"), QStringLiteral("SecondaryDialogButton")},
                                              {tr("Восстановить"), QStringLiteral("PrimaryDialogButton")},
                                              {tr("Закрыть"), QStringLiteral("SecondaryDialogButton")}}));
}
