// Page navigation and zoom: the slots behind the page and zoom controls, and
// the handlers that follow the view whatever moved it.
#include "MainWindow.h"

#include "PdfDocument.h"
#include "PdfView.h"

#include <QFrame>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cmath>

namespace {

constexpr double kPercent = 100.0;

} // namespace

void MainWindow::onPageSpinChanged(int value)
{
    pdfView->setCurrentPage(value - 1);
}

void MainWindow::onFirstPage()
{
    pdfView->setCurrentPage(0);
}

void MainWindow::onPrevPage()
{
    pdfView->setCurrentPage(pdfView->currentPage() - 1);
}

void MainWindow::onNextPage()
{
    pdfView->setCurrentPage(pdfView->currentPage() + 1);
}

void MainWindow::onLastPage()
{
    if (isDocumentLoaded())
        pdfView->setCurrentPage(document->pageCount() - 1);
}

void MainWindow::onThumbnailPageSelected(int page)
{
    pdfView->setCurrentPage(page);
}

void MainWindow::onZoomIn()
{
    pdfView->zoomIn();
}

void MainWindow::onZoomOut()
{
    pdfView->zoomOut();
}

void MainWindow::onZoomFit()
{
    pdfView->zoomFit();
}

void MainWindow::onZoomFitWidth()
{
    pdfView->zoomFitWidth();
}

void MainWindow::onToggleThumbnails()
{
    leftPanel->setVisible(!leftPanel->isVisible());
}

void MainWindow::onViewModeSingle()
{
    pdfView->setViewMode(PdfView::SinglePage);
}

void MainWindow::onViewModeContinuous()
{
    pdfView->setViewMode(PdfView::Continuous);
}

void MainWindow::onZoomChanged(double zoom)
{
    setStatusText(QStringLiteral("Масштаб: %1%").arg(std::lround(zoom * kPercent)));
}

// Typed or picked text of the zoom box: "150", "150%" or "12.5 %"; a decimal
// comma, letters, zero and negative values are ignored.
void MainWindow::onZoomComboChanged(const QString& text)
{
    QString number = text;
    number.remove(QLatin1Char('%'));
    bool ok = false;
    const double percent = number.toDouble(&ok);
    if (ok && percent > 0)
        pdfView->setZoom(percent / kPercent);
}

void MainWindow::onPageChanged(int page)
{
    if (pageSpin) {
        const QSignalBlocker blocker(pageSpin);
        pageSpin->setValue(page + 1);
    }
    if (!isDocumentLoaded() || !writeBackBeforePageChange(page) || loadNativeTextLayerForPage(page, false)
        || lastOcrPage == page) {
        updatePageControls();
        return;
    }
    // Blocks shown for another page do not belong to this one.
    pdfView->clearOcrBlocks();
    if (ocrBar)
        ocrBar->hide();
    lastOcrPage = -1;
    updatePageControls();
}
