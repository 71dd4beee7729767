// The Insert, Pages and View ribbon tabs, connected to the window.
#include "MainWindow.h"

#include "InsertRibbonTab.h"
#include "PageThumbnailPanel.h"
#include "PagesRibbonTab.h"
#include "PdfView.h"
#include "ViewRibbonTab.h"

QWidget* MainWindow::buildImportTab()
{
    return new InsertRibbonTab(*this, {m_allowImports, m_allowPdfEditing, allowFacsimiles});
}

QWidget* MainWindow::buildPageTab()
{
    auto* tab = new PagesRibbonTab(*this);
    insertPageButton = tab->insertButton();
    removePageButton = tab->removeButton();
    return tab;
}

QWidget* MainWindow::buildViewTab()
{
    auto* tab = new ViewRibbonTab(*this, pdfView->ocrDebugLabelsVisible());
    connect(tab, &ViewRibbonTab::fullScreenToggled, this, &MainWindow::toggleFullScreen);
    connect(tab, &ViewRibbonTab::fontLabelsToggled, pdfView, &PdfView::setOcrDebugLabelsVisible);
    connect(tab, &ViewRibbonTab::lightThemeChosen, this, &MainWindow::setLightTheme);
    connect(tab, &ViewRibbonTab::darkThemeChosen, this, &MainWindow::setDarkTheme);
    connect(tab, &ViewRibbonTab::settingsRequested, this, &MainWindow::showSettingsDialog);
    connect(tab, &ViewRibbonTab::layoutChosen, this, [this](ViewRibbonTab::Layout layout) {
        pdfView->setViewMode(layout == ViewRibbonTab::SinglePage ? PdfView::SinglePage : PdfView::Continuous);
        QWidget* panel = leftPanel ? leftPanel : thumbnailPanel;
        if (panel)
            panel->setVisible(layout == ViewRibbonTab::Thumbnails);
    });
    return tab;
}
