// Saving the active document: in place, as a new file, and on a timer.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "DocumentJob.h"
#include "PdfView.h"
#include "QuietWait.h"
#include "SaveLeftovers.h"
#include "SignedDocument.h"
#include "WorkProgressDialog.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QSettings>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

namespace {

constexpr int kMsPerMinute = 60 * 1000;
constexpr int kDefaultAutoSaveMinutes = 5;
const QString kPdfSuffix = QStringLiteral(".pdf");

} // namespace

// The one place where every save and every close writes the edited blocks of
// the shown page into the document first; false stops the save or close.
bool MainWindow::writePendingBlockEdits()
{
    const QScopedValueRollback<bool> saving(savingPageEdits, true);
    return applyPendingOcrEdits();
}

// Writing the edits took the page's blocks away; in edit mode the page shows
// its (now saved) text as blocks again, clean.
void MainWindow::showBlocksAgainAfterSave()
{
    if (pdfView->editMode() && isDocumentLoaded() && !pdfView->hasOcrBlocks())
        loadNativeTextLayerForPage(pdfView->currentPage(), false);
}

bool MainWindow::hasUnsavedChanges(const PdfDocument* doc) const
{
    if (!doc || !doc->isOpen())
        return false;
    if (doc->isModified())
        return true;
    for (const OpenDocumentState& entry : openDocuments) {
        if (entry.document.get() == doc)
            return entry.edits && entry.edits->isDirty();
    }
    return doc == document && pdfView && pdfView->blocksDirty();
}

// The shown edits and then the document written to its own file. False
// with the reason in error when the file could not be written; a failed
// write of the edited blocks has warned already and leaves error empty, as
// does a signed file the user kept.
bool MainWindow::writeActiveDocument(QString* error)
{
    error->clear();
    if (!isDocumentLoaded() || refuseWhileOcrRuns() || !writePendingBlockEdits())
        return false;
    *error = readOnlyReason(document->filePath());
    return error->isEmpty() && saveDocumentFile(documentHold, document->filePath(), error);
}

// Saves doc to path. A save that would write the signed revisions of a
// signed file anew is asked about first. False with the reason in error, or
// with error empty when nothing was written because path is another tab's
// file, the user kept the signatures or stopped the save.
bool MainWindow::saveDocumentFile(const std::shared_ptr<PdfDocument>& doc, const QString& path, QString* error)
{
    error->clear();
    if (refuseOtherTabsFile(doc.get(), path))
        return false;
    // What a save killed midway left beside the file goes.
    removeSaveLeftovers(path);
    bool stopped = false;
    if (writeInBackground(doc, path, PdfDocument::SignedRevisions::Keep, &stopped))
        return true;
    if (!stopped && doc->saveRefusedForSignatures()) {
        if (!confirmSignatureLoss(this, doc->signatures()))
            return false;
        if (writeInBackground(doc, path, PdfDocument::SignedRevisions::MayInvalidate, &stopped))
            return true;
    }
    if (stopped) {
        setStatusText(tr("Сохранение остановлено."));
        return false;
    }
    *error = doc->lastError();
    if (error->isEmpty())
        *error = tr("Неизвестная ошибка записи.");
    return false;
}

bool MainWindow::saveActiveDocument()
{
    // The file still holds pages lost on opening: the first save asks for a new name.
    if (isDocumentLoaded() && !document->holdsSourceWhole())
        return saveActiveDocumentAs();
    QString error;
    if (!writeActiveDocument(&error)) {
        if (!error.isEmpty())
            QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сохранить файл:\n%1").arg(error));
        return false;
    }
    return finishActiveSave();
}

bool MainWindow::finishActiveSave()
{
    autoSaveFailureShown = false;
    showBlocksAgainAfterSave();
    // Edited blocks the view still holds unwritten are not saved with it.
    if (hasUnsavedChanges(document))
        return false;
    setStatusText(tr("Сохранено"));
    return true;
}

// A large document takes a while to write: the window stays painted
// meanwhile, and a prompt tells of the work when it lasts, with "Отмена"
// until the file is being replaced. Nothing else may change or write the
// document until it is written. A stopped save leaves the file and the
// document as they were and sets *stopped.
bool MainWindow::writeInBackground(const std::shared_ptr<PdfDocument>& doc, const QString& path,
                                   PdfDocument::SignedRevisions signedRevisions, bool* stopped)
{
    const OutputJobScope job(this);
    WorkProgressDialog progress(tr("Сохранение"), tr("Сохранение документа..."), this);
    const bool written =
        progress.run([doc, path, signedRevisions, &progress](const WorkProgressDialog::Report& report) {
            return doc->save(path, signedRevisions, report, [&progress] { return progress.endCancelling(); });
        });
    *stopped = !written && progress.wasCancelled();
    return written;
}

// A file the user made read-only is not replaced behind their back (the
// replacing rename would succeed in a writable folder).
QString MainWindow::readOnlyReason(const QString& path)
{
    const QFileInfo file(path);
    return file.exists() && !file.isWritable() ? tr("файл доступен только для чтения") : QString();
}

// After a failed write the edits can still go elsewhere: true when the
// user wants to pick another file.
bool MainWindow::offerSaveElsewhere(const QString& error)
{
    return appQuestion(this, tr("Ошибка"),
                       tr("Не удалось сохранить файл:\n%1\n\nСохранить документ в другой файл?").arg(error),
                       tr("Сохранить как…"), tr("Отмена"));
}

void MainWindow::onSave()
{
    saveActiveDocument();
}

// The name chosen in the save dialog with ".pdf" added when it lacks it. The
// dialog asked before replacing the name it returned; a different existing
// file reached only by adding the suffix is asked about here.
QString MainWindow::askSaveAsTarget(const QString& startPath)
{
    return askPdfSaveTarget(tr("Сохранить как"), startPath, tr("PDF файлы (*.pdf)"));
}

QString MainWindow::askPdfSaveTarget(const QString& title, const QString& startPath, const QString& filter)
{
    const QString chosen = QFileDialog::getSaveFileName(this, title, startPath, filter);
    if (chosen.isEmpty() || chosen.endsWith(kPdfSuffix, Qt::CaseInsensitive))
        return chosen;
    const QString target = chosen + kPdfSuffix;
    if (QFileInfo::exists(target) &&
        !appQuestion(this, title, tr("Файл «%1» уже существует. Заменить его?").arg(QFileInfo(target).fileName()),
                     tr("Заменить"), tr("Отмена")))
        return QString();
    return target;
}

void MainWindow::onSaveAs()
{
    saveActiveDocumentAs();
}

bool MainWindow::saveActiveDocumentAs()
{
    if (!isDocumentLoaded() || refuseWhileOcrRuns())
        return false;
    const QString name = askSaveAsTarget(document->filePath());
    if (name.isEmpty())
        return false;
    QString error;
    if (!saveActiveDocumentTo(name, &error)) {
        if (!error.isEmpty())
            QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сохранить файл:\n%1").arg(error));
        return false;
    }
    setStatusText(tr("Сохранено как: %1").arg(QFileInfo(name).fileName()));
    return !hasUnsavedChanges(document);
}

// The shown edits and the document written to path, which becomes the
// tab's file. False with the engine's reason in error; a failed write of the
// edited blocks has warned already and leaves error empty, as does a signed
// file the user kept.
bool MainWindow::saveActiveDocumentTo(const QString& path, QString* error)
{
    error->clear();
    if (!writePendingBlockEdits())
        return false;
    if (!saveDocumentFile(documentHold, path, error))
        return false;
    autoSaveFailureShown = false;
    showBlocksAgainAfterSave();
    return true;
}

int MainWindow::autoSaveIntervalMs(int minutes)
{
    return qBound(kMinAutoSaveMinutes, minutes, kMaxAutoSaveMinutes) * kMsPerMinute;
}

void MainWindow::setupAutoSaveTimer()
{
    if (!autoSaveTimer)
        return;
    QSettings settings;
    if (!settings.value(QStringLiteral("doc/autoSave"), false).toBool()) {
        autoSaveTimer->stop();
        return;
    }
    autoSaveTimer->start(
        autoSaveIntervalMs(settings.value(QStringLiteral("doc/autoSaveMinutes"), kDefaultAutoSaveMinutes).toInt()));
}

void MainWindow::autoSaveIfNeeded()
{
    if (!isDocumentLoaded() || document->filePath().isEmpty() || !hasUnsavedChanges(document))
        return;
    // Not during recognition or while printing or exporting reads the
    // document, not while the last autosave still writes, not behind an open
    // question such as the close prompt (whose answer may be not to save),
    // and not in the middle of a drag; the next tick tries again.
    if (busy || outputJobRunning || autoSaveJob || QApplication::activeModalWidget() ||
        QApplication::mouseButtons() != Qt::NoButton)
        return;
    // Nor over a file that holds pages the document lacks: an autosave
    // through a copy would pass the document's own refusal.
    if (!document->holdsSourceWhole()) {
        reportAutoSaveFailure(document->sourceGuardText());
        return;
    }
    if (const QString reason = readOnlyReason(document->filePath()); !reason.isEmpty()) {
        reportAutoSaveFailure(reason);
        return;
    }
    if (pdfView->blocksDirty()) {
        autoSaveWithShownEdits();
        return;
    }
    runAutoSave({}, -1, QByteArray());
}

// The file gets the document as it would be with the view's changed blocks
// written into their page, made on a private copy: the document, the blocks,
// the open editor and its undo history stay as they are, so typing goes on
// across the tick. A state already written is not written again.
void MainWindow::autoSaveWithShownEdits()
{
    const int page = pdfView->blockPage();
    const std::vector<TextBlock> blocks = pdfView->ocrBlocksWithEdits();
    const QByteArray state = autoSaveFingerprint(page, blocks);
    if (state == autoSavedState)
        return;
    runAutoSave(blocks, page, state);
}

// The autosave writes on a job's thread: a large document goes on being
// written while the window is used. With a state, the blocks go into page
// of a private copy, which is written in the document's place.
void MainWindow::runAutoSave(const std::vector<TextBlock>& blocks, int page, const QByteArray& state)
{
    struct Outcome {
        bool copied = true;
        bool written = false;
        QString error;
    };
    auto outcome = std::make_shared<Outcome>();
    const QString path = document->filePath();
    const bool throughCopy = !state.isEmpty();
    autoSaveJob = new DocumentJob(documentHold, this);
    connect(autoSaveJob, &DocumentJob::finished, this, [this, outcome, state] {
        autoSaveJob->deleteLater();
        autoSaveJob = nullptr;
        if (!outcome->copied) {
            reportAutoSaveFailure(outcome->error.isEmpty() ? tr("не удалось записать временную копию документа")
                                                           : outcome->error);
            return;
        }
        if (!outcome->written) {
            reportAutoSaveFailure(outcome->error);
            return;
        }
        if (!state.isEmpty())
            autoSavedState = state;
        autoSaveSucceeded();
    });
    autoSaveJob->start([outcome, path, blocks, page, throughCopy](DocumentJob::Control& control) {
        PdfDocument& doc = *control.document();
        if (!throughCopy) {
            outcome->written = doc.save(path);
            outcome->error = doc.lastError();
            return;
        }
        QTemporaryDir scratch;
        const QString copyPath = scratch.filePath(QStringLiteral("autosave.pdf"));
        PdfDocument copy;
        // The copy keeps the signed revisions or is not made: a timer never
        // writes a signed file anew.
        if (!scratch.isValid() || !doc.saveCopy(copyPath, PdfDocument::SignedRevisions::Keep) ||
            !copy.open(copyPath)) {
            outcome->copied = false;
            if (doc.saveRefusedForSignatures())
                outcome->error = doc.lastError();
            return;
        }
        const bool edited =
            blocks.empty() ? copy.removeInvisibleTextLayer(page) : copy.overlayOcrText(page, blocks, false);
        outcome->written = edited && copy.save(path);
        outcome->error = copy.lastError();
    });
    waitQuietly(autoSaveJob.data(), &DocumentJob::finished);
}

// What the file holds after an autosave through a copy: the document's
// revision and the blocks as written.
QByteArray MainWindow::autoSaveFingerprint(int page, const std::vector<TextBlock>& blocks) const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quintptr(document) << document->revision() << document->filePath() << page << blocksFingerprint(blocks);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

void MainWindow::autoSaveSucceeded()
{
    autoSaveFailureShown = false;
    showBlocksAgainAfterSave();
    setStatusText(tr("Автосохранено: %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm"))));
}

// The status row is never shown, so a failure is also told once in a notice;
// it is told again only after a save has succeeded in between.
void MainWindow::reportAutoSaveFailure(const QString& error)
{
    const QString text = tr("Автосохранение не удалось: %1").arg(error);
    setStatusText(text);
    if (autoSaveFailureShown)
        return;
    autoSaveFailureShown = true;
    appInfo(this, tr("Ошибка"), text);
}
