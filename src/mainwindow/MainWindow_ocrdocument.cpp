// Recognition of every page without visible text of its own, each written as
// the page's text layer as soon as it arrives. Pages are recognised on worker
// threads, so the window stays usable; while the run lasts the window keeps
// its document, and "Отмена" stops the run after the pages in hand.
#include "MainWindow.h"

#include "DialogKit.h"
#include "DocumentJob.h"
#include "OcrDocumentRunner.h"
#include "OcrProgressDialog.h"
#include "OcrRunRules.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "UiTranslate.h"

#include <QListWidget>
#include <QProgressBar>
#include <QSettings>
#include <QTimer>
#include <QToolButton>

#include <atomic>

namespace {

constexpr int kRunDelayMs = 120;
constexpr int kBarStarting = 22;
constexpr int kBarFirstPage = 5;
constexpr int kBarPagesSpan = 90;
constexpr int kBarUpdating = 96;
constexpr int kBarDone = 100;
const QString kDefaultLanguages = QStringLiteral("rus+eng");

// Updates of a bar or log that may be gone meanwhile; they come after the
// dialog's translation pass, so their texts are translated here.
struct RunProgress {
    QPointer<QProgressBar> bar;
    QPointer<QListWidget> log;

    void setBar(int value, const QString& format = QString()) const
    {
        if (!bar)
            return;
        bar->setValue(value);
        if (!format.isNull())
            bar->setFormat(uiTranslateSmart(format));
    }
    void add(const QString& line) const
    {
        if (!log)
            return;
        log->addItem(uiTranslateSmart(line));
        log->scrollToBottom();
    }
};

} // namespace

// One whole-document run: its document, where it reports, what it counted.
struct MainWindow::DocumentOcrRun {
    DocumentOcrRun()
    {
        static quint64 runs = 0;
        serial = ++runs;
    }
    quint64 serial = 0;
    std::shared_ptr<PdfDocument> document;  // held until the run and its workers are gone
    RunProgress progress;
    QPointer<OcrProgressDialog> dialog;
    OcrDocumentRunner::Options options;
    int pageCount = 0;
    int recognised = 0;
    int skipped = 0;
    int withoutText = 0;
    int failed = 0;
    QString failure;  // the first reason a page failed
    bool shownPageWritten = false;
    std::shared_ptr<std::atomic<bool>> stopped = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<DocumentJob> survey;  // finds the pages that need recognition
    std::unique_ptr<OcrDocumentRunner> runner;

    ~DocumentOcrRun()
    {
        stopped->store(true);
        runner.reset();  // cancels and waits for the pages in hand
        survey.reset();  // waits for the page being read
    }
};

bool MainWindow::ocrDocumentRunning() const
{
    return documentOcrRun != nullptr;
}

bool MainWindow::refuseWhileOcrRuns()
{
    if (!busy)
        return false;
    const QString text = documentOcrRun ? tr("Дождитесь окончания распознавания документа")
                                        : tr("Дождитесь окончания распознавания страницы");
    setStatusText(text);
    if (!ocrProgressDialog) {
        appInfo(this, tr("OCR"), text);
        return true;
    }
    ocrProgressDialog->addLine(QStringLiteral("  ") + uiTranslate(text));
    ocrProgressDialog->show();
    ocrProgressDialog->raise();
    ocrProgressDialog->activateWindow();
    return true;
}

void MainWindow::showOcrProgressDialog()
{
    if (!allowOcr()) {
        setStatusText(tr("OCR недоступен в этой версии программы"));
        return;
    }
    if (refuseWhileOcrRuns())
        return;
    const bool loaded = isDocumentLoaded();
    if (loaded && !pdfView->editMode())
        switchEditModeOn();

    // A finished run's dialog gives way to the new one.
    if (ocrProgressDialog && !ocrProgressDialog->isRunning())
        ocrProgressDialog->close();
    const QString languages = QSettings().value(QStringLiteral("ocr/languages"), kDefaultLanguages).toString();
    auto* dialog = new OcrProgressDialog(this, loaded ? document->pageCount() : -1, ocrLanguageName(languages));
    connect(dialog, &OcrProgressDialog::stopRequested, this, &MainWindow::stopOcrDocumentRun);
    const QRect frame = frameGeometry();
    dialog->move(frame.center().x() - dialog->width() / 2, frame.center().y() - dialog->height() / 2);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    ocrProgressDialog = dialog;
    if (!loaded)
        return;
    // Closed before it starts, the dialog takes the run with it.
    QTimer::singleShot(kRunDelayMs, dialog, [this, dialog] {
        const RunProgress progress{dialog->bar(), dialog->log()};
        progress.setBar(kBarStarting, tr("%p% · анализ текстовых блоков"));
        progress.add(tr("• Запуск OCR документа"));
        runOcrDocument(dialog->bar(), dialog->log());
    });
}

void MainWindow::runOcrDocument(QProgressBar* bar, QListWidget* log)
{
    if (!isDocumentLoaded())
        return;
    const RunProgress progress{bar, log};
    OcrProgressDialog* const dialog =
        ocrProgressDialog && ocrProgressDialog->log() == log ? ocrProgressDialog.data() : nullptr;
    const auto notStarted = [&](const QString& reason) {
        progress.setBar(0, tr("OCR не запущен: %1").arg(reason));
        progress.add(tr("✗ OCR не запущен: %1").arg(reason));
        setStatusText(tr("OCR документа не запущен: %1").arg(reason));
        if (dialog)
            dialog->setRunning(false);
    };
    if (busy) {
        notStarted(tr("распознавание уже идёт"));
        return;
    }
    // Edits on show go into their page first; when they cannot, nothing runs.
    std::shared_ptr<PdfDocument> source = documentForReading();
    if (!source) {
        notStarted(tr("не удалось применить текстовые правки"));
        return;
    }
    const QSettings settings;
    const QString languages = settings.value(QStringLiteral("ocr/languages"), kDefaultLanguages).toString();
    const QStringList missing = missingOcrLanguages(languages, installedOcrLanguages());
    if (!missing.isEmpty()) {
        notStarted(tr("нет языковых данных: %1").arg(missing.join(QStringLiteral(", "))));
        return;
    }
    if (!pdfView->editMode())
        switchEditModeOn();
    busy = true;
    if (ocrButton)
        ocrButton->setEnabled(false);

    auto run = std::make_shared<DocumentOcrRun>();
    run->document = std::move(source);
    run->progress = progress;
    if (dialog) {
        run->dialog = dialog;
        dialog->setRunning(true);
    }
    run->options.languages = languages;
    run->options.renderScale = settings.value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble();
    run->pageCount = document->pageCount();
    documentOcrRun = run;
    progress.setBar(kBarFirstPage);

    // Which pages carry visible text of their own is read from every page,
    // so that survey runs off the GUI thread too.
    const bool preferNative = settings.value(QStringLiteral("ocr/preferNativeTextLayer"), true).toBool();
    auto pending = std::make_shared<QList<int>>();
    auto skipped = std::make_shared<QList<int>>();
    const int n = run->pageCount;
    run->survey = std::make_unique<DocumentJob>(run->document);
    // The run is named by its serial, not held: it owns the job, and a copy
    // here would keep both alive for ever.
    connect(run->survey.get(), &DocumentJob::finished, this, [this, serial = run->serial, pending, skipped] {
        if (documentOcrRun && documentOcrRun->serial == serial)
            recognisePages(*pending, *skipped);
    });
    run->survey->start([n, preferNative, pending, skipped, stopped = run->stopped](DocumentJob::Control& control) {
        PdfDocument& doc = *control.document();
        for (int i = 0; i < n && !stopped->load() && !control.isCancelled(); ++i)
            (preferNative && pageKeepsItsText(doc, i) ? skipped : pending)->append(i);
    });
}

void MainWindow::recognisePages(const QList<int>& pages, const QList<int>& skipped)
{
    DocumentOcrRun& run = *documentOcrRun;
    // Called from the survey's end, which must not be deleted under it.
    if (run.survey)
        run.survey.release()->deleteLater();
    for (int page : skipped)
        run.progress.add(tr("• Страница %1: уже есть текстовый слой — пропущено").arg(page + 1));
    run.skipped = int(skipped.size());
    if (run.stopped->load() || pages.isEmpty()) {
        finishOcrDocumentRun(run.stopped->load());
        return;
    }
    run.progress.setBar(kBarFirstPage, tr("%p% · страница %1 из %2").arg(0).arg(pages.size()));
    run.runner = std::make_unique<OcrDocumentRunner>(run.document.get(), pages, run.options);
    OcrDocumentRunner* runner = run.runner.get();
    connect(runner, &OcrDocumentRunner::pageRecognized, this, &MainWindow::onDocumentPageRecognized);
    connect(runner, &OcrDocumentRunner::pageFailed, this, [this](int page, const QString& reason) {
        DocumentOcrRun& r = *documentOcrRun;
        ++r.failed;
        if (r.failure.isEmpty())
            r.failure = reason;
        r.progress.add(tr("• Страница %1: не распознана: %2").arg(page + 1).arg(reason));
    });
    connect(runner, &OcrDocumentRunner::progress, this, [this](int done, int total) {
        documentOcrRun->progress.setBar(kBarFirstPage + (kBarPagesSpan * done) / std::max(total, 1),
                                        tr("%p% · страница %1 из %2").arg(done).arg(total));
    });
    connect(runner, &OcrDocumentRunner::finished, this, &MainWindow::finishOcrDocumentRun, Qt::QueuedConnection);
    runner->start();
}

// Each page goes into the document as it arrives, on the GUI thread.
void MainWindow::onDocumentPageRecognized(int page, std::vector<TextBlock> blocks)
{
    DocumentOcrRun& run = *documentOcrRun;
    const bool shown = run.document.get() == document && pdfView->hasOcrBlocks() && pdfView->blockPage() == page;
    if (blocks.empty()) {
        ++run.withoutText;
        run.progress.add(tr("• Страница %1: текст не найден").arg(page + 1));
    } else if (shown && pdfView->blocksDirty()) {
        // The user's changed blocks of this page, written later, would
        // replace this layer: the page is left for another run.
        ++run.skipped;
        run.progress.add(tr("• Страница %1: пропущена — на ней есть несохранённые правки").arg(page + 1));
    } else if (writeRecognisedPage(*run.document, page, blocks)) {
        ++run.recognised;
        run.progress.add(tr("• Страница %1: добавлен текстовый слой: %2 блоков").arg(page + 1).arg(blocks.size()));
        // The page on show takes its new layer when the run ends: reading it
        // now would wait for the engine lock behind every worker's render.
        run.shownPageWritten |= shown || (run.document.get() == document && pdfView->currentPage() == page);
    } else {
        ++run.failed;
        const QString reason = run.document->lastError();
        if (run.failure.isEmpty())
            run.failure = reason;
        run.progress.add(tr("• Страница %1: не удалось добавить текстовый слой: %2").arg(page + 1).arg(reason));
    }
}

// The view and the thumbnails catch up when the run ends: repainting now
// would wait for the engine behind every worker's render.
bool MainWindow::writeRecognisedPage(PdfDocument& target, int page, const std::vector<TextBlock>& blocks)
{
    const bool quiet = std::exchange(quietPageWrites, true);
    const bool written = target.overlayOcrText(page, blocks, false);
    quietPageWrites = quiet;
    return written;
}

void MainWindow::stopOcrDocumentRun()
{
    if (!documentOcrRun)
        return;
    documentOcrRun->stopped->store(true);
    if (documentOcrRun->runner)
        documentOcrRun->runner->cancel();
}

void MainWindow::finishOcrDocumentRun(bool cancelled)
{
    if (!documentOcrRun)
        return;
    const std::shared_ptr<DocumentOcrRun> run = std::move(documentOcrRun);
    const RunProgress& progress = run->progress;
    const int reached = progress.bar ? progress.bar->value() : 0;
    progress.setBar(kBarUpdating, tr("%p% · обновление документа"));
    if (run->document.get() == document) {
        pdfView->invalidatePageCache();
        // Blocks the user changed meanwhile stay open; clean ones show the new layer.
        const int current = pdfView->currentPage();
        if (run->shownPageWritten && pdfView->editMode() && !pdfView->blocksDirty()
            && (!pdfView->hasOcrBlocks() || pdfView->blockPage() == current))
            loadNativeTextLayerForPage(current, false);
        updateTitle();
    }
    busy = false;
    if (ocrButton)
        ocrButton->setEnabled(true);
    if (ocrEngineDiscardPending)
        discardOcrEngine();

    const QString counts = tr("распознано %1, пропущено %2, без текста %3")
                               .arg(run->recognised)
                               .arg(run->skipped)
                               .arg(run->withoutText);
    const QString failures = run->failed > 0 ? tr("не удалось: %1 (%2)").arg(run->failed).arg(run->failure) : QString();
    if (cancelled) {
        progress.setBar(reached, tr("%p% · остановлено"));
        progress.add(tr("■ Остановлено: %1").arg(counts) + (failures.isEmpty() ? QString() : QStringLiteral(", ") + failures));
        setStatusText(tr("OCR документа остановлен: распознано %1 страниц").arg(run->recognised));
    } else if (run->failed > 0) {
        const bool nothing = run->recognised == 0 && run->withoutText == 0;
        progress.setBar(kBarDone, nothing ? tr("%p% · OCR не выполнен") : tr("%p% · OCR завершён с ошибками"));
        progress.add(tr("✗ Готово с ошибками: %1, %2").arg(counts, failures));
        setStatusText(tr("OCR документа: распознано %1 страниц, %2").arg(run->recognised).arg(failures));
    } else {
        progress.setBar(kBarDone, tr("%p% · OCR завершён"));
        progress.add(tr("✓ Готово: %1").arg(counts));
        progress.add(tr("✓ OCR завершён"));
        setStatusText(
            tr("OCR документа: распознано %1 страниц, пропущено %2").arg(run->recognised).arg(run->skipped));
    }
    if (run->dialog)
        run->dialog->setRunning(false);
    emit ocrDocumentRunFinished();
    closeIfAskedDuringRun();
}

// Closing the window during a run asks first; a yes stops the run and the
// window closes once the pages in hand are written, through the usual
// unsaved-changes prompt, so nothing recognised is lost.
bool MainWindow::holdCloseForOcrRun()
{
    if (!busy)
        return false;
    if (closeAfterOcrRun)
        return true;
    if (!documentOcrRun) {
        closeAfterOcrRun = true;  // a page's recognition: the window closes when it ends
        return true;
    }
    const bool stop = appQuestion(this, tr("OCR"),
                                  tr("Распознавание документа ещё идёт. Остановить его и закрыть окно?\n\n"
                                     "Уже распознанные страницы останутся в документе."),
                                  tr("Остановить и закрыть"), tr("Продолжить"));
    if (!stop)
        return true;
    if (!documentOcrRun)
        return false;  // it ended while the question was open
    closeAfterOcrRun = true;
    if (ocrProgressDialog)
        ocrProgressDialog->addLine(tr("• Окно закроется, когда распознавание остановится"));
    stopOcrDocumentRun();
    return true;
}
