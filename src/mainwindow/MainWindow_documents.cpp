// Open documents in tabs: opening, same-file detection, switching tabs with
// each tab's page, zoom and modes, the tab bar, and the untitled tab.
#include "MainWindow.h"

#include "DialogKit.h"
#include "FileIdentity.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "RecentFiles.h"
#include "SaveLeftovers.h"
#include "SignedDocument.h"
#include "UiTranslate.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabBar>

namespace {

constexpr int kNewDocumentPage = 0;
constexpr double kNewDocumentZoom = 1.0;
constexpr int kNewDocumentViewMode = PdfView::Continuous;

// Same-file key where a file is missing: the canonical path of an existing
// file, the absolute path of one that does not exist.
QString sameFileKey(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// Existing files are one file when they are one on disk (device and inode),
// so links, hard links and other spellings meet.
bool sameDocumentFile(const FileIdentity& file, const QString& key, const QString& other)
{
    const FileIdentity otherFile = FileIdentity::of(other);
    if (file.isValid() && otherFile.isValid())
        return file == otherFile;
    return key == sameFileKey(other);
}

QString openFailureMessage(const QString& path, const QString& error)
{
    if (error.isEmpty())
        return QObject::tr("Не удалось открыть файл:\n%1").arg(path);
    return QObject::tr("Не удалось открыть файл:\n%1\n\n%2").arg(path, error);
}

} // namespace

int MainWindow::openDocumentIndexForPath(const QString& path) const
{
    const FileIdentity file = FileIdentity::of(path);
    const QString key = sameFileKey(path);
    for (size_t i = 0; i < openDocuments.size(); ++i) {
        if (!openDocuments[i].path.isEmpty() && sameDocumentFile(file, key, openDocuments[i].path))
            return int(i);
    }
    return -1;
}

void MainWindow::openFile(const QString& path)
{
    if (path.isEmpty() || refuseWhileOcrRuns())
        return;
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    const int existing = openDocumentIndexForPath(absolutePath);
    if (existing >= 0) {
        activateDocument(existing);
        return;
    }

    if (activeIndex >= 0 && !applyPendingOcrEdits())
        return;
    auto opened = std::make_unique<PdfDocument>();
    if (!opened->open(path)) {
        appInfo(this, tr("Ошибка"), openFailureMessage(path, opened->lastError().trimmed()));
        return;
    }
    appendAndActivate(std::move(opened), absolutePath);
    removeSaveLeftovers(absolutePath);
    const QString name = QFileInfo(path).fileName();
    const bool layerReady = loadNativeTextLayerForPage(pdfView->currentPage(), false);
    setStatusText(layerReady ? tr("Открыт: %1 · текстовый слой готов").arg(name) : tr("Открыт: %1").arg(name));
    if (const QString signatures = signatureSummary(document->signatures()); !signatures.isEmpty())
        setStatusText(tr("Открыт подписанный документ: %1 · %2").arg(name, signatures));
    rememberRecentFile(absolutePath);
    // Told once, on opening; the repaired copy is what the next save writes.
    if (const QString guard = document->sourceGuardText(); !guard.isEmpty()) {
        setStatusText(guard);
        appInfo(this, tr("Файл восстановлен"), guard);
    } else if (document->wasRepaired()) {
        const QString notice = tr("Файл был повреждён и восстановлен; сохраните его, чтобы сохранить исправления.");
        setStatusText(notice);
        appInfo(this, tr("Файл восстановлен"), notice);
    }
}

void MainWindow::onOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, uiTranslate(tr("Открыть PDF")), QString(),
                                                      uiTranslate(tr("PDF файлы (*.pdf);;Все файлы (*)")));
    if (!path.isEmpty())
        openFile(path);
}

void MainWindow::adoptInitialDocumentAsTab()
{
    if (activeIndex >= 0 || !initialDocument->isOpen())
        return;
    std::shared_ptr<PdfDocument> untitled = std::exchange(initialDocument, std::make_shared<PdfDocument>());
    appendAndActivate(std::move(untitled), QString());
}

void MainWindow::appendAndActivate(std::shared_ptr<PdfDocument> opened, const QString& path)
{
    OpenDocumentState entry;
    entry.document = std::move(opened);
    entry.path = path;
    entry.page = kNewDocumentPage;
    entry.zoom = kNewDocumentZoom;
    entry.viewMode = kNewDocumentViewMode;
    entry.editMode = false;
    entry.edits = std::make_unique<PageEdits>();
    openDocuments.push_back(std::move(entry));
    activateDocument(int(openDocuments.size()) - 1);
}

void MainWindow::activateDocument(int index)
{
    if (index < 0 || index >= int(openDocuments.size()))
        return;
    OpenDocumentState& target = openDocuments[size_t(index)];
    if (index == activeIndex && document == target.document.get())
        return;
    // The tab bar already shows the clicked tab: put it back when staying.
    if (refuseWhileOcrRuns() || (activeIndex >= 0 && !applyPendingOcrEdits())) {
        refreshDocumentTabs();
        return;
    }

    saveActiveDocumentUiState();
    activeIndex = index;
    documentHold = target.document;
    document = documentHold.get();
    followShownDocument();

    pdfView->setDocument(documentHold);
    pdfView->setEdits(target.edits.get());
    pdfView->setViewMode(PdfView::ViewMode(target.viewMode));
    if (target.zoom > 0)
        pdfView->setZoom(target.zoom);
    clampedSetCurrentPage(target.page);

    pdfView->setEditMode(allowPdfEditing() && target.editMode);
    pdfView->setEditTool(PdfView::Select);

    thumbnailPanel->setDocument(documentHold);
    thumbnailPanel->setCurrentPage(pdfView->currentPage());

    resetPerDocumentState();
    if (!pdfView->editMode() || !loadNativeTextLayerForPage(pdfView->currentPage(), false))
        pdfView->clearOcrBlocks();

    refreshDocumentTabs();
    updateEditModeUi();
    updateTitle();
    updatePageControls();
}

void MainWindow::clampedSetCurrentPage(int page)
{
    const int count = isDocumentLoaded() ? document->pageCount() : 0;
    if (count <= 0)
        return;
    const int target = qBound(0, page, count - 1);
    // Just attached, the view shows the first page from its top; asking for it
    // again would scroll a page taller than the viewport down to its bottom.
    if (target == 0 && pdfView->currentPage() == 0 && pdfView->verticalScrollBar()->value() == 0)
        return;
    pdfView->setCurrentPage(target);
}

// Recognised blocks, the stored selection and the search belong to the
// document that was shown.
void MainWindow::resetPerDocumentState()
{
    if (ocrBar)
        ocrBar->hide();
    lastOcrPage = -1;
    currentSearchResult = SearchResult{};
    stopSearch();
    searchResults.clear();
    searchSignature.clear();
    currentSearchIndex = -1;
    ocrRegionPage = -1;
    ocrRegion = QRectF();
    refreshOutlinePanel();
}

void MainWindow::saveActiveDocumentUiState()
{
    if (activeIndex < 0 || activeIndex >= int(openDocuments.size()) || !pdfView)
        return;
    OpenDocumentState& active = openDocuments[size_t(activeIndex)];
    if (document != active.document.get())
        return;
    active.page = pdfView->currentPage();
    active.zoom = pdfView->zoom();
    active.viewMode = int(pdfView->viewMode());
    active.editMode = pdfView->editMode();
}

void MainWindow::refreshDocumentTabs()
{
    if (!documentTabs)
        return;
    const QSignalBlocker blocker(documentTabs);
    while (documentTabs->count() > 0)
        documentTabs->removeTab(documentTabs->count() - 1);
    for (const OpenDocumentState& entry : openDocuments) {
        QString text = documentDisplayName(entry.path);
        if (hasUnsavedChanges(entry.document.get()))
            text += QStringLiteral(" *");
        const int tab = documentTabs->addTab(text);
        const QString signatures = entry.document ? signatureSummary(entry.document->signatures()) : QString();
        documentTabs->setTabToolTip(tab, signatures.isEmpty() ? entry.path : entry.path + '\n' + signatures);
    }
    documentTabs->setVisible(!openDocuments.empty());
    if (activeIndex >= 0 && activeIndex < documentTabs->count())
        documentTabs->setCurrentIndex(activeIndex);
}
