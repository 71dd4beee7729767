// Recognition of the current page or a marked region, the result shown as
// editable blocks, writing edited blocks into their page, and the switch
// between read mode and edit mode.
#include "MainWindow.h"

#include "DialogKit.h"
#include "DocumentJob.h"
#include "NativeTextLayer.h"
#include "OcrEngine.h"
#include "OcrRunRules.h"
#include "PageWriteAside.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>

namespace {

constexpr int kProgressRendered = 20;
constexpr int kProgressRecognising = 55;
constexpr int kProgressSorting = 95;
const QString kDefaultLanguages = QStringLiteral("rus+eng");

// Refuses closing the window while the owner says so.
class CloseRefusal : public QObject {
public:
    CloseRefusal(QObject* parent, std::function<bool()> refuse)
        : QObject(parent)
        , refuse(std::move(refuse))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Close && refuse()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> refuse;
};

std::vector<TextBlock> insertedImages(const std::vector<TextBlock>& blocks)
{
    std::vector<TextBlock> images;
    std::copy_if(blocks.begin(), blocks.end(), std::back_inserter(images), isInsertedImageObject);
    return images;
}

} // namespace

// One page or region recognition: its input, and the result the worker
// writes. The window waits for the worker before the job goes.
struct MainWindow::PageOcrJob {
    int page = -1;
    bool regionRun = false;
    QRectF region;
    QSizeF size;
    double zoom = 1.0;
    QImage input;
    std::vector<TextBlock> keptImages;
    std::vector<TextBlock> result;
    std::unique_ptr<DocumentJob> run;  // last: waits for the recognition before the rest goes
};

void MainWindow::closeIfAskedDuringRun()
{
    if (!closeAfterOcrRun)
        return;
    closeAfterOcrRun = false;
    QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::connectOcrOperations()
{
    connect(pdfView, &PdfView::ocrRegionRequested, this, &MainWindow::onRunOcrRegion);
    connect(pdfView, &PdfView::unsavedBlocksReplaced, this, &MainWindow::onUnsavedBlocksReplaced);
    // The Home tab's buttons; their keys are bound with the other shortcuts.
    if (editModeButton)
        connect(editModeButton, &QToolButton::clicked, this, &MainWindow::onToggleEditMode);
    if (ocrButton)
        connect(ocrButton, &QToolButton::clicked, this, &MainWindow::showOcrProgressDialog);
    installEventFilter(new CloseRefusal(this, [this] { return holdCloseForOcrRun(); }));
}

void MainWindow::switchEditModeOn()
{
    pdfView->setEditMode(true);
    updateEditModeUi();
}

bool MainWindow::ensureOcrEngine()
{
    if (ocrEngine)
        return true;
    // A child of the window, so it goes with it at the latest.
    ocrEngine = new OcrEngine(this);
    if (ocrEngine->init(QSettings().value(QStringLiteral("ocr/languages"), kDefaultLanguages).toString()))
        return true;
    delete ocrEngine;
    ocrEngine = nullptr;
    return false;
}

void MainWindow::discardOcrEngine()
{
    if (busy) {
        ocrEngineDiscardPending = true;  // the run in progress still uses it
        return;
    }
    delete ocrEngine;
    ocrEngine = nullptr;
    ocrEngineDiscardPending = false;
}

void MainWindow::endOcrRun()
{
    QApplication::restoreOverrideCursor();
    busy = false;
    if (ocrButton)
        ocrButton->setEnabled(true);
    if (ocrEngineDiscardPending)
        discardOcrEngine();
}

void MainWindow::onRunOcrRegion(int page, QRectF rect)
{
    if (!allowOcr() || !isDocumentLoaded())
        return;
    if (page >= 0 && page < document->pageCount())
        pdfView->setCurrentPage(page);
    ocrRegionPage = page;
    ocrRegion = rect;
    runOcrPage(true);
}

void MainWindow::runOcrPage(bool regionOnly)
{
    if (!allowOcr() || !isDocumentLoaded() || refuseWhileOcrRuns())
        return;
    // Changed blocks of another page are written before this page's result
    // replaces them.
    if (pdfView->blockPage() != pdfView->currentPage() && !applyPendingOcrEdits())
        return;
    if (!pdfView->editMode())
        switchEditModeOn();
    const int page = pdfView->currentPage();
    lastOcrPage = page;
    const QSizeF size = document->pageSize(page);
    const QRectF region =
        regionOnly && ocrRegionPage == page ? usableOcrRegion(ocrRegion, size.width(), size.height()) : QRectF();
    const bool regionRun = !region.isNull();
    const bool showsThisPage = pdfView->hasOcrBlocks() && pdfView->blockPage() == page;
    const std::vector<TextBlock> keptImages =
        showsThisPage ? insertedImages(pdfView->ocrBlocksWithEdits()) : std::vector<TextBlock>();
    if (!regionRun && pdfView->hasOcrBlocks()) {
        pdfView->clearOcrBlocks();
        if (ocrBar)
            ocrBar->hide();
    }

    busy = true;
    if (ocrButton)
        ocrButton->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const double zoom = regionRun ? regionOcrZoom(region.height())
                                  : pageOcrZoom(size.width(), QSettings().value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble());
    const QImage image = document->renderPage(page, zoom, 0);
    if (image.isNull()) {
        endOcrRun();
        return;
    }
    progressBar->setValue(kProgressRendered);
    progressBar->show();
    setStatusText(regionRun ? tr("Анализ выбранной области страницы %1...").arg(page + 1)
                            : tr("Анализ разметки страницы %1...").arg(page + 1));
    progressBar->repaint();
    if (!ensureOcrEngine()) {
        const QString languages = QSettings().value(QStringLiteral("ocr/languages"), kDefaultLanguages).toString();
        const QStringList missing = missingOcrLanguages(languages, installedOcrLanguages());
        QMessageBox::warning(this, tr("OCR"),
                             tr("Не удалось инициализировать Tesseract.\nПоложите tessdata рядом с программой.")
                                 + (missing.isEmpty() ? QString()
                                                      : QStringLiteral("\n") + tr("Нет языковых данных: %1")
                                                                                  .arg(missing.join(QStringLiteral(", ")))));
        progressBar->hide();
        endOcrRun();
        return;
    }
    progressBar->setValue(kProgressRecognising);
    setStatusText(regionRun ? tr("OCR выбранной области страницы %1...").arg(page + 1)
                            : tr("Распознавание текстовых областей страницы %1...").arg(page + 1));

    // The recognition runs on a worker thread with the window's engine, so the
    // window keeps painting and answering; busy holds off what would disturb it.
    auto job = std::make_shared<PageOcrJob>();
    job->page = page;
    job->regionRun = regionRun;
    job->region = region;
    job->size = size;
    job->zoom = zoom;
    job->keptImages = keptImages;
    if (regionRun) {
        const QRect crop = regionCropRect(region, zoom, image.rect());
        job->input = crop.isEmpty() ? QImage() : image.copy(crop);
    } else {
        job->input = image;
    }
    PageOcrJob* const work = job.get();
    OcrEngine* const engine = ocrEngine;
    job->run = std::make_unique<DocumentJob>(sharedCurrentDocument());
    connect(job->run.get(), &DocumentJob::finished, this, &MainWindow::finishPageOcr);
    pageOcrJob = job;
    job->run->start([work, engine](DocumentJob::Control&) {
        const double height = work->regionRun ? work->region.height() : work->size.height();
        work->result = engine->recognizePage(work->input, work->page, work->zoom, height);
    });
}

void MainWindow::finishPageOcr()
{
    if (!pageOcrJob)
        return;
    const std::shared_ptr<PageOcrJob> job = std::move(pageOcrJob);
    // This runs inside the job's own signal: it goes once that returned.
    DocumentJob* const ended = job->run.release();
    ended->deleteLater();
    const int page = job->page;
    // The result belongs to the document it was recognised in, never to
    // another one shown meanwhile.
    if (ended->document().get() != document) {
        progressBar->hide();
        endOcrRun();
        emit ocrPageRunFinished();
        closeIfAskedDuringRun();
        return;
    }
    const double height = job->size.height();
    // Changed blocks of another page, made while this one was recognised, go
    // into their page before the result takes the view; when they cannot,
    // the result is dropped rather than the edits.
    if (pdfView->blocksDirty() && pdfView->blockPage() != page && !applyPendingOcrEdits()) {
        progressBar->hide();
        endOcrRun();
        setStatusText(tr("Результат распознавания страницы %1 не показан: не удалось применить текстовые правки")
                          .arg(page + 1));
        emit ocrPageRunFinished();
        closeIfAskedDuringRun();
        return;
    }
    const bool showsPage = pdfView->hasOcrBlocks() && pdfView->blockPage() == page;
    std::vector<TextBlock> merged;
    if (job->regionRun) {
        moveRegionBlocksToPage(job->result, job->region, height, page);
        merged = mergeRegionResult(showsPage ? pdfView->ocrBlocksWithEdits() : std::vector<TextBlock>(),
                                   std::move(job->result), job->region, height);
        ocrRegionPage = -1;
        ocrRegion = QRectF();
    } else {
        merged = std::move(job->result);
        merged.insert(merged.end(), job->keptImages.begin(), job->keptImages.end());
        // Blocks the user added to the emptied page meanwhile stay with the result.
        if (showsPage && pdfView->blocksDirty()) {
            const std::vector<TextBlock> added = pdfView->ocrBlocksWithEdits();
            merged.insert(merged.end(), added.begin(), added.end());
        }
    }
    progressBar->setValue(kProgressSorting);
    sortReadingOrder(merged, job->size.width(), height);
    lastOcrPage = page;
    onOcrFinished(std::move(merged));
    emit ocrPageRunFinished();
    closeIfAskedDuringRun();
}

void MainWindow::onOcrFinished(std::vector<TextBlock> blocks)
{
    progressBar->hide();
    endOcrRun();
    if (blocks.empty()) {
        setStatusText(tr("Текст не найден на странице"));
        return;
    }
    // A recognition the user asked for is a change: its blocks are written on
    // save and before another page's blocks take their place.
    pdfView->setOcrBlocks(blocks, lastOcrPage, true);
    if (!pdfView->editMode())
        switchEditModeOn();
    if (ocrBarLabel) {
        ocrBarLabel->setText(tr("Блоков: ") + ocrResultSummary(blocks)
                             + tr("  —  кликните блок для редактирования, Tab — следующий"));
    }
    if (ocrBar)
        ocrBar->hide();
    if (ribbon)
        ribbon->setCurrentIndex(0);
    setStatusText(tr("Страница %1: %2 блоков").arg(lastOcrPage + 1).arg(blocks.size()));
}

// Writes blocks into a page; a page without blocks left loses its old
// invisible text. Warns and returns false when that fails.
bool MainWindow::writeBlocksIntoPage(int page, const std::vector<TextBlock>& blocks, const QString& pageError,
                                     const QString& writeError)
{
    if (page < 0 || page >= document->pageCount()) {
        QMessageBox::warning(this, tr("Ошибка"), pageError);
        return false;
    }
    if (pageWriteAsideRunning())
        return false;  // asked for from inside a write's wait
    return writeShownBlocks(page, blocks, writeError) == PageWriteEnd::Written;
}

PageWriteEnd MainWindow::writeShownBlocks(int page, const std::vector<TextBlock>& blocks, const QString& writeError)
{
    PageWriteEnd end =
        savingPageEdits
            ? writePageAside(this, documentHold, page, blocks, tr("Сохранение"), tr("Сохранение документа..."))
            : writePageAside(this, documentHold, page, blocks, tr("Запись правок"),
                             tr("Запись правок страницы %1...").arg(page + 1));
    // A save stopped once its page write was done still writes no file.
    if (end == PageWriteEnd::WrittenThenStopped && !savingPageEdits)
        end = PageWriteEnd::Written;
    if (end == PageWriteEnd::Stopped || end == PageWriteEnd::WrittenThenStopped)
        setStatusText(savingPageEdits ? tr("Сохранение остановлено.") : tr("Запись правок остановлена."));
    else if (end == PageWriteEnd::Failed)
        warnWriteFailed(writeError);
    return end;
}

// The warning of a failed write, with the document's reason.
void MainWindow::warnWriteFailed(const QString& writeError)
{
    const QString reason = document->lastError();
    QMessageBox::warning(this, tr("Ошибка"), reason.isEmpty() ? writeError : writeError + QLatin1Char('\n') + reason);
}

bool MainWindow::applyPendingOcrEdits()
{
    if (!isDocumentLoaded() || !pdfView->blocksDirty())
        return true;
    return commitShownEdits(tr("Не удалось определить страницу текстовых правок."),
                            tr("Не удалось применить текстовые правки."));
}

// The shown page's edits written into their page, then forgotten. Warns and
// returns false when that fails; false too when the user stopped the save
// they were written for.
bool MainWindow::commitShownEdits(const QString& pageError, const QString& writeError)
{
    PageEdits& edits = *pdfView->edits();
    if (edits.page() < 0 || edits.page() >= document->pageCount()) {
        QMessageBox::warning(this, tr("Ошибка"), pageError);
        return false;
    }
    if (pageWriteAsideRunning())
        return false;  // asked for from inside a write's wait
    const PageWriteEnd end = writeShownBlocks(edits.page(), edits.blocksWithEdits(), writeError);
    if (end == PageWriteEnd::Failed || end == PageWriteEnd::Stopped)
        return false;
    edits.clear();
    forgetShownBlocks();
    if (end == PageWriteEnd::Written)
        return true;
    // Stopped too late: the edits are in the document, unsaved, and the
    // page shows them as its own text again.
    showBlocksAgainAfterSave();
    return false;
}

// The blocks on show were written into their page.
void MainWindow::forgetShownBlocks()
{
    pdfView->clearOcrBlocks();
    if (ocrBar)
        ocrBar->hide();
    lastOcrPage = -1;
}

void MainWindow::onOcrEmbed()
{
    if (!isDocumentLoaded() || !pdfView->hasOcrBlocks())
        return;
    if (!commitShownEdits(tr("Не удалось определить страницу текстового слоя."),
                          tr("Не удалось применить текстовый слой.")))
        return;
    setStatusText(tr("Текстовые изменения применены. Сохраните файл (Ctrl+S)."));
}

void MainWindow::onToggleEditMode()
{
    if (!allowPdfEditing()) {
        setStatusText(tr("Редактирование PDF недоступно в этой версии программы"));
        return;
    }
    if (!isDocumentLoaded())
        return;
    pdfView->setEditMode(!pdfView->editMode());
    saveActiveDocumentUiState();
    if (!pdfView->editMode()) {
        clearPendingFacsimile();
        setFontControlsEnabled(false);
        updateEditModeUi();
        setStatusText(tr("Режим чтения: документ не помечается изменённым при повороте вида"));
        return;
    }
    if (!pdfView->blocksDirty()) {
        pdfView->clearOcrBlocks();
        lastOcrPage = -1;
    }
    if (pdfView->hasOcrBlocks() || loadNativeTextLayerForPage(pdfView->currentPage(), true)) {
        updateEditModeUi();
        setStatusText(tr("Режим редактирования: текстовые рамки включены"));
        return;
    }
    updateEditModeUi();
    if (!allowOcr())
        return;
    // A whole-document run is long: it starts only when the user says so.
    if (!appQuestion(this, tr("Распознавание"),
                     tr("На странице нет текстового слоя. Распознать текст всего документа?"), tr("Распознать"),
                     tr("Не сейчас")))
        return;
    setStatusText(tr("Текстовый слой не найден: запускаю OCR."));
    showOcrProgressDialog();
}

bool MainWindow::ensureOcrReady()
{
    if (!isDocumentLoaded())
        return false;
    if (pdfView->hasOcrBlocks() || loadNativeTextLayerForPage(pdfView->currentPage(), true))
        return true;
    const bool recognise = appQuestion(
        this, tr("Распознавание"),
        tr("Распознать текст и объекты на странице?\n\nБез распознавания новые блоки будут добавлены поверх "
           "страницы как изображения."),
        tr("Распознать"), tr("Пропустить"));
    if (recognise && allowOcr())
        runOcrPage(false);
    return true;
}
