#include "UpdateResultDialog.h"

#include "DialogKit.h"

#include <QBoxLayout>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

UpdateResultDialog::UpdateResultDialog(const QString& title, const QString& text, const QString& link,
                                       QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = setUpInfoWindow(this, title, QSize(560, 300), 18);
    layout->setContentsMargins(18, 18, 18, 16);
    layout->setSpacing(10);
    layout->addWidget(label(title, QStringLiteral("DialogTitle")));
    QLabel* body = label(text, QStringLiteral("DialogSubtitle"));
    body->setWordWrap(true);
    body->setTextFormat(Qt::PlainText);
    body->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(body, 1);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    if (!link.isEmpty()) {
        QPushButton* open = dialogButton(tr("Открыть ссылку"), QStringLiteral("PrimaryDialogButton"));
        connect(open, &QPushButton::clicked, this, [this, link] {
            QDesktopServices::openUrl(QUrl(link, QUrl::TolerantMode));
            close();
        });
        row->addWidget(open);
    }
    QPushButton* closeButton = dialogButton(tr("Закрыть"), QStringLiteral("SecondaryDialogButton"));
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    row->addWidget(closeButton);
    layout->addLayout(row);
}
