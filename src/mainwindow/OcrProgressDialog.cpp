#include "OcrProgressDialog.h"

#include "DialogKit.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kWidth = 520;
constexpr int kHeight = 290;
constexpr int kMargin = 18;
constexpr int kSpacing = 12;
constexpr int kBarPreparing = 8;
constexpr int kBarMaximum = 100;

} // namespace

OcrProgressDialog::OcrProgressDialog(QWidget* parent, int pageCount, const QString& languageName)
    : QDialog(parent)
{
    const bool loaded = pageCount >= 0;
    setObjectName(QStringLiteral("AppDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("OCR"));
    resize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(kSpacing);
    layout->addWidget(label(tr("Распознавание текста"), QStringLiteral("DialogTitle")));
    layout->addWidget(label(loaded ? tr("Документ: %1 страниц · %2").arg(pageCount).arg(languageName)
                                   : tr("Документ не открыт"),
                            QStringLiteral("DialogSubtitle")));
    progressBar = new QProgressBar;
    progressBar->setObjectName(QStringLiteral("OcrProgress"));
    progressBar->setRange(0, kBarMaximum);
    progressBar->setValue(loaded ? kBarPreparing : 0);
    progressBar->setFormat(loaded ? tr("%p% · подготовка страницы") : tr("Откройте PDF перед запуском OCR"));
    layout->addWidget(progressBar);
    logList = new QListWidget;
    if (loaded) {
        logList->addItems({tr("• Подготовка документа"), tr("  Страницы с готовым текстовым слоем будут пропущены"),
                           tr("  Сканированные страницы будут распознаны")});
    } else {
        logList->addItem(tr("Документ не открыт"));
    }
    layout->addWidget(logList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* pause = dialogButton(tr("Пауза"), QStringLiteral("SecondaryDialogButton"));
    pause->setEnabled(false);
    cancelButton = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    connect(cancelButton, &QPushButton::clicked, this, [this] {
        if (running)
            requestStop();
        else
            close();
    });
    buttons->addWidget(pause);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
}

void OcrProgressDialog::addLine(const QString& line)
{
    // Lines come after the dialog's translation pass.
    logList->addItem(uiTranslateSmart(line));
    logList->scrollToBottom();
}

void OcrProgressDialog::setRunning(bool on)
{
    running = on;
    if (on) {
        stopAsked = false;
        cancelButton->setEnabled(true);
        cancelButton->setText(uiTranslate(tr("Отмена")));
        return;
    }
    cancelButton->setEnabled(true);
    cancelButton->setText(uiTranslate(tr("Закрыть")));
}

void OcrProgressDialog::requestStop()
{
    if (stopAsked)
        return;
    stopAsked = true;
    cancelButton->setEnabled(false);
    addLine(tr("• Остановка: страницы в работе будут дописаны"));
    emit stopRequested();
}

// Closing the dialog during a run stops the run; the dialog stays to tell
// how it ended.
void OcrProgressDialog::closeEvent(QCloseEvent* event)
{
    if (running) {
        requestStop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void OcrProgressDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && running) {
        requestStop();
        return;
    }
    QDialog::keyPressEvent(event);
}
