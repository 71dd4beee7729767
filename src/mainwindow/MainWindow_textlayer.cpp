// The page's own text layer as editable blocks, and writing edited blocks back
// before another page's blocks take their place.
#include "MainWindow.h"

#include "NativeTextLayer.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QFrame>
#include <QLabel>

bool MainWindow::loadNativeTextLayerForPage(int page, bool reportStatus)
{
    // The view's page count is kept per revision: no engine call while its
    // render worker may hold the engine.
    if (!isDocumentLoaded() || page < 0 || page >= pdfView->pageCount())
        return false;
    const NativePageCache::Page& native = nativePages.page(*document, page);
    const std::vector<TextBlock> images = inkBesidesText(native.images, native.text);
    std::vector<TextBlock> kept = cleanedNativeTextBlocks(native.text, images);
    // Drawn text without meaning stays the page's picture: only a hidden
    // (recognition) layer over it is text.
    if (native.drawnTextMeansNothing)
        std::erase_if(kept, [](const TextBlock& b) { return !b.invisibleText; });
    if (kept.empty())
        return false;
    const QSizeF size = native.size;
    if (!native.offersText || !isUsableNativeTextLayer(kept, size.width(), size.height())) {
        if (reportStatus)
            setStatusText(tr("На странице нет полноценного текстового слоя, запускаю OCR."));
        return false;
    }
    sortReadingOrder(kept, size.width(), size.height());
    kept.insert(kept.end(), images.begin(), images.end());
    lastOcrPage = page;
    pdfView->setOcrBlocks(kept, page, false);
    if (ocrBar)
        ocrBar->hide();
    if (reportStatus) {
        setStatusText(images.empty()
                          ? tr("Текстовый слой PDF готов: можно выделять, копировать и редактировать блоки.")
                          : tr("Текстовый слой PDF готов: %1 изображений доступно как объекты.").arg(images.size()));
    }
    return true;
}

// Changed blocks of another page go into the document before the new page's
// blocks replace them; changed blocks of this very page stay on show. False
// when the blocks on show must stay (this page's, or a failed write).
bool MainWindow::writeBackBeforePageChange(int page)
{
    if (!pdfView->blocksDirty())
        return true;
    if (pdfView->blockPage() == page)
        return false;
    return applyPendingOcrEdits();
}

void MainWindow::onUnsavedBlocksReplaced(int page, const std::vector<TextBlock>& blocks)
{
    if (!isDocumentLoaded())
        return;
    writeBlocksIntoPage(page, blocks, tr("Не удалось определить страницу текстовых правок."),
                        tr("Не удалось применить текстовые правки."));
}
