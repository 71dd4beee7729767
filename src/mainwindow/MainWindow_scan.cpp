// The scanner window and scanned pages going into the document.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "ScanTab.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageSize>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double kInchesPerMetre = 39.3701;
constexpr double kUnknownDpi = 300.0;
constexpr int kScanWindowWidth = 1120;
constexpr int kScanWindowHeight = 720;

double axisDpi(int dotsPerMetre)
{
    return dotsPerMetre > 0 ? dotsPerMetre / kInchesPerMetre : kUnknownDpi;
}

}  // namespace

QSizeF MainWindow::scannedPageSize(const QImage& image)
{
    const QSizeF points(image.width() * 72.0 / axisDpi(image.dotsPerMeterX()),
                        image.height() * 72.0 / axisDpi(image.dotsPerMeterY()));
    // A size close to a standard paper size becomes that size.
    const QPageSize page(QSizeF(points.width() * 25.4 / 72.0, points.height() * 25.4 / 72.0),
                         QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    return page.size(QPageSize::Point);
}

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
void MainWindow::onPageScanned(QImage image)
{
    if (image.isNull())
        return;
    const QSizeF pageSize = scannedPageSize(image);
    if (!isDocumentLoaded()) {
        if (refuseWhileOcrRuns())
            return;
        // The page makes the document; a failure leaves no empty one behind.
        if (!document->appendRenderedPage(image, pageSize)) {
            if (document->isOpen())
                document->close();
            setStatusText(tr("Не удалось создать PDF из отсканированной страницы"));
            return;
        }
        adoptInitialDocumentAsTab();
        refreshAfterPageChange(0);
        setStatusText(tr("Создан PDF из отсканированной страницы"));
        return;
    }
    if (!pagesMayChange())
        return;
    const int count = document->pageCount();
    if (!document->appendRenderedPage(image, pageSize)) {
        setStatusText(tr("Ошибка добавления отсканированной страницы"));
        return;
    }
    setStatusText(tr("Страница %1 добавлена из сканера").arg(count + 1));
}
