// The OCR result bar: built hidden in editions with OCR; recognition writes
// its summary into the label, and whatever replaces the blocks hides it.
#include "MainWindow.h"

#include "PdfView.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int kBarSpacing = 8;
const QMargins kBarMargins(8, 4, 8, 4);

const char* const kOcrBarStyle =
    "QFrame { background: #1a3a5c; }"
    "QLabel { color: #9ecfff; font-size: 11px; padding: 0 4px; }"
    "QPushButton { background: #1e73d4; color: white; border: none;              padding: 4px 12px; "
    "border-radius: 3px; font-size: 12px; }"
    "QPushButton:hover { background: #2585e8; }"
    "QPushButton#cancelBtn { background: #444; }"
    "QPushButton#cancelBtn:hover { background: #666; }";

} // namespace

void MainWindow::setupOcrBar()
{
    ocrBar = new QFrame(this);
    ocrBar->setFrameShape(QFrame::NoFrame);
    ocrBar->setStyleSheet(QLatin1String(kOcrBarStyle));

    ocrBarLabel = new QLabel(tr("OCR завершён"), ocrBar);
    auto* embedButton = new QPushButton(tr("Применить в документ"), ocrBar);
    connect(embedButton, &QPushButton::clicked, this, &MainWindow::onOcrEmbed);
    auto* cancelButton = new QPushButton(tr("Отмена"), ocrBar);
    cancelButton->setObjectName(QStringLiteral("cancelBtn"));
    connect(cancelButton, &QPushButton::clicked, this, &MainWindow::onOcrCancel);

    auto* layout = new QHBoxLayout(ocrBar);
    layout->setContentsMargins(kBarMargins);
    layout->setSpacing(kBarSpacing);
    layout->addWidget(ocrBarLabel, 1);
    layout->addWidget(embedButton);
    layout->addWidget(cancelButton);
    ocrBar->hide();
}

void MainWindow::onOcrCancel()
{
    pdfView->clearOcrBlocks();
    ocrBar->hide();
    lastOcrPage = -1;
    setStatusText(tr("Редактирование текстовых блоков отменено"));
}
