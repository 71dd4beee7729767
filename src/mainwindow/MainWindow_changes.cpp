// The shown document's announcements: the view, the thumbnails, the
// text-layer cache, the title and the ribbon follow them, and pending edits
// are written before any change.
#include "MainWindow.h"

#include "DocumentChanges.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QFileInfo>
#include <QThread>

void MainWindow::followShownDocument()
{
    if (followedChanges)
        followedChanges->disconnect(this);
    DocumentChanges* const changes = document->changes();
    followedChanges = changes;
    // A change made on another thread arrives queued: it is followed only
    // while its document is still the one on show.
    const auto shown = [this, changes] { return changes == followedChanges; };
    connect(changes, &DocumentChanges::aboutToChange, this, &MainWindow::beforeDocumentChange, Qt::DirectConnection);
    connect(changes, &DocumentChanges::pagesInserted, this, [this, shown](int first, int) {
        if (shown())
            followPageSequence(first);
    });
    connect(changes, &DocumentChanges::pagesRemoved, this, [this, shown](int first, int) {
        if (shown())
            followPageSequence(first);
    });
    connect(changes, &DocumentChanges::pageMoved, this, [this, shown](int, int to) {
        if (shown())
            followPageSequence(to);
    });
    connect(changes, &DocumentChanges::pageRotated, this, [this, shown](int page) {
        if (shown())
            followPageSequence(page, true);
    });
    connect(changes, &DocumentChanges::pageContentChanged, this, [this, shown](int page) {
        if (shown())
            followPageContent(page);
    });
    connect(changes, &DocumentChanges::saved, this, [this, shown](const QString& path) {
        if (shown())
            followSave(path);
    });
}

// Asked on the changing thread before the shown document's pages change.
// Only the GUI thread has edits to write; a change asked for elsewhere goes
// ahead.
void MainWindow::beforeDocumentChange()
{
    if (QThread::currentThread() != thread() || committingBeforeChange || !isDocumentLoaded())
        return;
    DocumentChanges* const changes = document->changes();
    // A recognition run works through the pages by their index.
    if (busy) {
        changes->refuse(documentOcrRun ? tr("Дождитесь окончания распознавания документа")
                                       : tr("Дождитесь окончания распознавания страницы"));
        return;
    }
    committingBeforeChange = true;
    const bool written = applyPendingOcrEdits();
    committingBeforeChange = false;
    if (!written)
        changes->refuse(tr("Не удалось применить текстовые правки."));
}

std::shared_ptr<PdfDocument> MainWindow::documentForReading()
{
    if (!isDocumentLoaded() || !applyPendingOcrEdits())
        return nullptr;
    return documentHold;
}

// Pages came, went, moved or turned: every page may look different now. The
// view starts afresh (view-only turns and the blocks on show go) and shows
// page; a turn redraws only that page's thumbnail.
void MainWindow::followPageSequence(int page, bool turned)
{
    if (activeIndex < 0)
        return;
    nativePages.forget(*document);
    if (pageChangeBatches > 0) {
        batchChangedPage = page;
        return;
    }
    if (turned)
        thumbnailPanel->refreshPage(page);
    else
        thumbnailPanel->refresh();
    pdfView->setDocument(document);
    // While the engine is busy (a thumbnail of a large scan being drawn) the
    // view may not know the pages yet: it shows the page, and the page
    // controls follow, once it does.
    const int count = pdfView->pageCount();
    pdfView->setCurrentPage(count > 0 ? qBound(0, page, count - 1) : page);
    updateTitle();
    updatePageControls();
}

void MainWindow::followPageContent(int page)
{
    if (activeIndex < 0)
        return;
    nativePages.forget(*document);
    if (!quietPageWrites) {
        pdfView->invalidatePageCache();
        thumbnailPanel->refreshPage(page);
    }
    updateTitle();
}

void MainWindow::followSave(const QString& path)
{
    if (activeIndex >= 0 && activeIndex < int(openDocuments.size()))
        openDocuments[size_t(activeIndex)].path = QFileInfo(path).absoluteFilePath();
    updateTitle();
}

void MainWindow::endPageChangeBatch()
{
    if (--pageChangeBatches > 0)
        return;
    const int changed = std::exchange(batchChangedPage, -1);
    const int shown = std::exchange(batchShownPage, -1);
    if (changed >= 0)
        followPageSequence(shown >= 0 ? shown : changed);
}
