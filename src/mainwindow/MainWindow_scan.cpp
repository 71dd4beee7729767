// The scanner window and scanned pages going into the document.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "ScanEngine.h"
#include "ScanTab.h"
#include "UiTranslate.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kScanWindowWidth = 1120;
constexpr int kScanWindowHeight = 720;

}  // namespace

void MainWindow::showScanDialog()
{
    if (scanDialog) {
        scanDialog->show();
        scanDialog->raise();
        scanDialog->activateWindow();
        return;
    }
    auto* dialog = new QDialog(this);
    scanDialog = dialog;
    dialog->setObjectName(QStringLiteral("AppDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Сканирование"));
    dialog->resize(kScanWindowWidth, kScanWindowHeight);

    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(label(tr("Сканирование"), QStringLiteral("DialogTitle")));
    QLabel* subtitle = label(tr("Получите изображение со сканера и добавьте его в текущий PDF или создайте новый документ."),
                             QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);
    scanTab = new ScanTab(dialog);
    scanTab->setTextTranslator([](const QString& source) { return uiTranslateSmart(source); });
    layout->addWidget(scanTab, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* close = dialogButton(tr("Закрыть"), QStringLiteral("SecondaryDialogButton"));
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(close, &QPushButton::clicked, dialog, &QDialog::close);

    connect(scanTab, &ScanTab::pageScanned, this, &MainWindow::onPageScanned);
    connect(dialog, &QObject::destroyed, this, [this] {
        scanDialog = nullptr;
        scanTab = nullptr;
    });
    dialog->move(frameGeometry().center() - dialog->rect().center());
    dialog->show();
}

// The page goes into the document in memory only; saving stays the user's.
// A page that cannot be made says why in the status text.
void MainWindow::onPageScanned(QImage image)
{
    if (image.isNull())
        return;
    const auto failed = [this](const QString& what, const QString& reason) {
        setStatusText(reason.isEmpty() ? what : what + QStringLiteral(": ") + reason);
    };
    const QString refusal = scanPageRefusal(image);
    const QSizeF pageSize = scanPageSize(image);
    if (!isDocumentLoaded()) {
        if (refuseWhileOcrRuns())
            return;
        // The page makes the document; a failure leaves no empty one behind.
        if (!refusal.isEmpty() || !document->appendRenderedPage(image, pageSize)) {
            const QString reason = refusal.isEmpty() ? document->lastError().trimmed() : refusal;
            if (document->isOpen())
                document->close();
            failed(tr("Не удалось создать PDF из отсканированной страницы"), reason);
            return;
        }
        adoptInitialDocumentAsTab();
        refreshAfterPageChange(0);
        setStatusText(tr("Создан PDF из отсканированной страницы"));
        return;
    }
    if (!refusal.isEmpty()) {
        failed(tr("Ошибка добавления отсканированной страницы"), refusal);
        return;
    }
    if (!pagesMayChange())
        return;
    const int count = document->pageCount();
    if (!document->appendRenderedPage(image, pageSize)) {
        failed(tr("Ошибка добавления отсканированной страницы"), document->lastError().trimmed());
        return;
    }
    setStatusText(tr("Страница %1 добавлена из сканера").arg(count + 1));
}
