// Page navigation and zoom: the slots behind the page and zoom controls, and
// the handlers that follow the view whatever moved it.
#include "MainWindow.h"

#include "BlockEditorFrame.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cmath>
#include <functional>

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
    // Scrolling on while typing in continuous mode: the open editor and its
    // page's blocks stay until a block of another page is opened, edit mode
    // is left or the document is saved.
    if (isDocumentLoaded() && !keepsOpenEditor(page))
        showBlocksOfPage(page);
    updatePageControls();
}

bool MainWindow::keepsOpenEditor(int page) const
{
    return pdfView->editMode() && pdfView->viewMode() == PdfView::Continuous && pdfView->activeBlock() >= 0
           && pdfView->blockPage() != page;
}

// The blocks on show become the given page's: its own text layer, the
// recognised blocks of that very page, or none. Changed blocks of another
// page are written into the document first; when that fails they stay.
// Outside edit mode no block is shown, so the page's text layer is read only
// when edit mode comes on.
void MainWindow::showBlocksOfPage(int page)
{
    if (!writeBackBeforePageChange(page) || (pdfView->editMode() && loadNativeTextLayerForPage(page, false))
        || lastOcrPage == page)
        return;
    pdfView->clearOcrBlocks();
    if (ocrBar)
        ocrBar->hide();
    lastOcrPage = -1;
}

namespace {

// A press of the select tool in edit mode on a page other than the one whose
// blocks are on show (kept while the user scrolled on, or dropped by a save)
// first brings that page's blocks, so the same click can open one of them.
class BlockPageFollower : public QObject {
public:
    BlockPageFollower(PdfView* view, std::function<void(int)> showPage)
        : QObject(view)
        , view(view)
        , showPage(std::move(showPage))
    {
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The type first: while the view is destroyed, its viewport is no longer to be asked for.
        if (event->type() == QEvent::MouseButtonPress && watched == view->viewport() && view->editMode()
            && view->editTool() == PdfView::Select) {
            const auto* press = static_cast<QMouseEvent*>(event);
            const QPoint position = press->position().toPoint();
            const int page = view->pageAtPoint(position);
            const QWidget* frame = view->blockEditorFrame();
            const bool onFrame = frame && frame->isVisible() && frame->geometry().contains(position);
            if (press->button() == Qt::LeftButton && page >= 0 && page != view->blockPage() && !onFrame)
                showPage(page);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    PdfView* view;
    std::function<void(int)> showPage;
};

} // namespace

void MainWindow::followBlockPageOnPress()
{
    new BlockPageFollower(pdfView, [this](int page) {
        if (isDocumentLoaded() && pdfView->editMode())
            showBlocksOfPage(page);
    });
}
