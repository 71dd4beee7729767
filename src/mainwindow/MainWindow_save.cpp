// Saving the active document: in place, as a new file, and on a timer.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
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
    return applyPendingOcrEdits();
}

// Writing the edits took the page's blocks away; in edit mode the page shows
// its (now saved) text as blocks again, clean.
void MainWindow::showBlocksAgainAfterSave()
{
    if (editMode && isDocumentLoaded() && !pdfView->hasOcrBlocks())
        loadNativeTextLayerForPage(pdfView->currentPage(), false);
}

bool MainWindow::hasUnsavedChanges(const PdfDocument* doc) const
{
    if (!doc || !doc->isOpen())
        return false;
    return doc->isModified() || (doc == document && pdfView && pdfView->blocksDirty());
}

bool MainWindow::saveActiveDocument()
{
    if (!isDocumentLoaded() || !writePendingBlockEdits())
        return false;
    if (!document->save(document->filePath())) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сохранить файл:\n%1").arg(document->lastError()));
        return false;
    }
    autoSaveFailureShown = false;
    showBlocksAgainAfterSave();
    updateTitle();
    // Edited blocks the view still holds unwritten are not saved with it.
    if (hasUnsavedChanges(document))
        return false;
    setStatusText(tr("Сохранено"));
    return true;
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
    const QString chosen =
        QFileDialog::getSaveFileName(this, tr("Сохранить как"), startPath, tr("PDF файлы (*.pdf)"));
    if (chosen.isEmpty() || chosen.endsWith(kPdfSuffix, Qt::CaseInsensitive))
        return chosen;
    const QString target = chosen + kPdfSuffix;
    if (QFileInfo::exists(target) &&
        !appQuestion(this, tr("Сохранить как"),
                     tr("Файл «%1» уже существует. Заменить его?").arg(QFileInfo(target).fileName()), tr("Заменить"),
                     tr("Отмена")))
        return QString();
    return target;
}

void MainWindow::onSaveAs()
{
    saveActiveDocumentAs();
}

bool MainWindow::saveActiveDocumentAs()
{
    if (!isDocumentLoaded())
        return false;
    const QString name = askSaveAsTarget(document->filePath());
    if (name.isEmpty() || !writePendingBlockEdits())
        return false;
    if (!document->saveAs(name)) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сохранить файл."));
        return false;
    }
    if (activeIndex >= 0 && activeIndex < int(openDocuments.size()))
        openDocuments[size_t(activeIndex)].path = QFileInfo(name).absoluteFilePath();
    autoSaveFailureShown = false;
    showBlocksAgainAfterSave();
    updateTitle();
    setStatusText(tr("Сохранено как: %1").arg(QFileInfo(name).fileName()));
    return !hasUnsavedChanges(document);
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
    if (!isDocumentLoaded() || !document->isModified() || document->filePath().isEmpty())
        return;
    // Not during recognition, and not behind an open question such as the
    // close prompt, whose answer may be not to save; the next tick tries again.
    if (busy || QApplication::activeModalWidget())
        return;
    if (!writePendingBlockEdits())
        return;
    if (!document->save(document->filePath())) {
        reportAutoSaveFailure(document->lastError());
        return;
    }
    autoSaveFailureShown = false;
    showBlocksAgainAfterSave();
    updateTitle();
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
