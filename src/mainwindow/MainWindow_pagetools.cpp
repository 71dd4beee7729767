// The page tools: another file's pages inserted into the active document,
// pages extracted into a new PDF, files merged into a new PDF. Files are
// written on a worker thread behind a progress prompt.
#include "MainWindow.h"

#include "DialogKit.h"
#include "OutputPaths.h"
#include "PageListSyntax.h"
#include "PageThumbnailPanel.h"
#include "PageToolsDialog.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "WorkProgressDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>

namespace {

const QString kPdfFilter = QStringLiteral("PDF (*.pdf)");

bool isSpreadsheet(const QString& path)
{
    return QFileInfo(path).suffix().toLower() == QLatin1String("xlsx");
}

// What the merge on its worker thread made.
struct MergeResult {
    bool created = false;
    QString createError;
    int pages = 0;
    QStringList failures;
    bool saved = false;
    QString saveError;
};

bool mergeInto(const QStringList& paths, const QString& target, MergeResult* result,
               const WorkProgressDialog::Report& report)
{
    PdfDocument merged;
    result->created = merged.createEmpty();
    if (!result->created) {
        result->createError = merged.lastError();
        return true;
    }
    for (int i = 0; i < paths.size(); ++i) {
        if (!report(i, int(paths.size())))
            return false;
        const QString& path = paths[i];
        if (path.isEmpty())
            continue;
        if (!merged.importDocument(path))
            result->failures << QFileInfo(path).fileName() + QStringLiteral(": ") + merged.lastError().trimmed();
    }
    result->pages = merged.pageCount();
    if (!report(int(paths.size()), int(paths.size())))
        return false;
    if (result->pages > 0) {
        result->saved = merged.saveAs(target);
        if (!result->saved)
            result->saveError = merged.lastError();
    }
    return true;
}

} // namespace

void MainWindow::showPageToolsDialog(const QList<QString>& files, bool shellMode)
{
    PageToolsDialog::Setup setup;
    setup.files = files;
    setup.shellMode = shellMode;
    setup.documentLoaded = isDocumentLoaded();
    setup.pageCount = setup.documentLoaded ? document->pageCount() : 0;
    setup.documentPath = document->filePath();
    auto* dialog = new PageToolsDialog(setup, this);
    connect(dialog, &PageToolsDialog::applyRequested, this, [this, dialog] { applyPageTools(dialog); });
    showCentredOn(dialog, this);
}

// A successful operation closes the dialog; a failure keeps it open with its
// inputs. The insert and extraction tabs work on the open document: without
// one they say so (closing would end a file manager's run unasked).
void MainWindow::applyPageTools(PageToolsDialog* dialog)
{
    const QPointer<PageToolsDialog> guard(dialog);
    const PageToolsDialog::Tab tab = dialog->currentTab();
    if (tab != PageToolsDialog::MergeTab && !isDocumentLoaded()) {
        QMessageBox::warning(dialog, tab == PageToolsDialog::InsertTab ? tr("Вставка") : tr("Извлечение"),
                             tr("Нет открытого документа."));
        return;
    }
    bool done = false;
    switch (tab) {
    case PageToolsDialog::InsertTab:
        done = insertFromPageTools(*dialog);
        break;
    case PageToolsDialog::ExtractTab:
        done = extractFromPageTools(*dialog);
        break;
    case PageToolsDialog::MergeTab:
        done = mergeFromPageTools(*dialog);
        break;
    }
    if (done && guard)
        guard->close();
}

bool MainWindow::insertFromPageTools(const PageToolsDialog& dialog)
{
    const QString path = dialog.insertPath();
    if (path.isEmpty()) {
        QMessageBox::warning(this, tr("Вставка"), tr("Укажите файл"));
        return false;
    }
    if (!QFileInfo::exists(path)) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Файл не найден: ") + path);
        return false;
    }
    // The user's edits go into their page before the pages move.
    if (!pagesMayChange())
        return false;
    const int current = pdfView->currentPage();
    const int at = pageToolsInsertIndex(dialog.insertPosition(), current, document->pageCount());
    QString error;
    int added = 0;
    {
        PageChangeBatch batch(*this);
        batch.show(current);
        added = importFileAt(path, at, &error);
    }
    if (added < 0) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось импортировать файл:\n") + error);
        return false;
    }
    setStatusText(tr("Вставлено %1 стр. из %2").arg(added).arg(QFileInfo(path).fileName()));
    return true;
}

bool MainWindow::refuseOpenDocumentTarget(const QString& title, const QString& path)
{
    if (openDocumentIndexForPath(path) < 0)
        return false;
    appInfo(this, title,
            tr("Файл %1 открыт в программе. Укажите другой файл результата.").arg(QFileInfo(path).fileName()));
    return true;
}

bool MainWindow::extractFromPageTools(const PageToolsDialog& dialog)
{
    const QList<int> pages = parsePageList(dialog.pageListText(), document->pageCount());
    if (pages.isEmpty()) {
        QMessageBox::warning(this, tr("Извлечение"), tr("Не указаны страницы"));
        return false;
    }
    const bool deleteAfter = dialog.deleteAfterExtraction();
    const QString target = askPdfSaveTarget(tr("Сохранить извлечённые страницы"), QString(), kPdfFilter);
    if (target.isEmpty() || refuseOpenDocumentTarget(tr("Извлечение"), target))
        return false;
    // The extracted file holds the user's edits.
    if (refuseWhileOcrRuns())
        return false;
    const std::shared_ptr<const PdfDocument> source = documentForReading();
    if (!source)
        return false;
    const OutputJobScope job(this);
    WorkProgressDialog progress(tr("Извлечение"), tr("Извлечение страниц..."), this);
    const bool written = progress.run([source, pages, target](const WorkProgressDialog::Report&) {
        return source->extractPageSubset(pages, target);
    });
    if (!written) {
        if (progress.wasCancelled()) {
            setStatusText(tr("Извлечение отменено."));
            return false;
        }
        const QString error = source->lastError().trimmed();
        QMessageBox::critical(this, tr("Ошибка"), error.isEmpty() ? tr("Не удалось записать файл.") : error);
        return false;
    }
    if (deleteAfter) {
        const int current = pdfView->currentPage();
        bool deleted = true;
        {
            PageChangeBatch batch(*this);
            for (int page : distinctPagesHighestFirst(pages)) {
                deleted = document->deletePage(page);
                if (!deleted)
                    break;
            }
            batch.show(qMax(0, qMin(current, document->pageCount() - 1)));
        }
        if (!deleted)
            reportPageFailure(tr("Не удалось удалить страницу."));
    }
    setStatusText(tr("Извлечено %1 стр. → %2").arg(pages.size()).arg(QFileInfo(target).fileName()));
    return true;
}

// A listed file that is open here with unsaved changes would be merged as
// last saved: it is saved first, or the merge does not happen.
bool MainWindow::saveOpenMergeSources(const QStringList& paths)
{
    for (const QString& path : paths) {
        const int index = openDocumentIndexForPath(path);
        if (index < 0)
            continue;
        PdfDocument* open = openDocuments[size_t(index)].document.get();
        if (!hasUnsavedChanges(open))
            continue;
        if (!appQuestion(this, tr("Объединение"),
                         tr("Документ «%1» изменён и не сохранён. Сохранить его перед объединением?")
                             .arg(QFileInfo(path).fileName()),
                         tr("Сохранить"), tr("Отмена")))
            return false;
        const bool saved = index == activeIndex ? saveActiveDocument() : saveOtherTab(*open);
        if (!saved || hasUnsavedChanges(open) || QFileInfo(open->filePath()).absoluteFilePath() != path)
            return false;
    }
    return true;
}

bool MainWindow::mergeFromPageTools(const PageToolsDialog& dialog)
{
    const QStringList paths = dialog.mergePaths();
    if (paths.size() < 2) {
        QMessageBox::warning(this, tr("Объединение"), tr("Добавьте PDF для объединения"));
        return false;
    }
    if (!saveOpenMergeSources(paths))
        return false;
    const QString first = paths.constFirst();
    const QString proposal =
        first.isEmpty()
            ? QDir(QDir::homePath()).filePath(QStringLiteral("merged.pdf"))
            : uniqueSiblingPathLikeChrome(
                  suggestedSiblingPdfPath(first, QStringLiteral("merged"), QFileInfo(first).completeBaseName()));
    const QString target = askPdfSaveTarget(tr("Сохранить объединённый документ"), proposal, kPdfFilter);
    if (target.isEmpty() || refuseOpenDocumentTarget(tr("Объединение"), target))
        return false;

    // Workbooks come in through their own import dialog, here on the GUI
    // thread: each becomes a private temporary PDF that the merge takes as is.
    QTemporaryDir sheetPdfs;
    QStringList sources = paths;
    QStringList sheetFailures;
    for (int i = 0; i < sources.size(); ++i) {
        if (!isSpreadsheet(sources[i]))
            continue;
        const QString name = QFileInfo(sources[i]).fileName();
        PdfDocument pages;
        QString error;
        const int added = pages.createEmpty() ? appendSpreadsheetPages(pages, sources[i], &error) : -1;
        const QString pdf = sheetPdfs.filePath(QString::number(i) + QStringLiteral(".pdf"));
        if (added == kImportSkipped) {
            sources[i].clear();
        } else if (added <= 0 || !sheetPdfs.isValid() || !pages.saveAs(pdf)) {
            sheetFailures << name + QStringLiteral(": ") + (error.isEmpty() ? pages.lastError().trimmed() : error);
            sources[i].clear();
        } else {
            sources[i] = pdf;
        }
    }

    auto result = std::make_shared<MergeResult>();
    WorkProgressDialog progress(tr("Объединение"), tr("Объединение файлов..."), this);
    const bool ran = progress.run([sources, target, result](const WorkProgressDialog::Report& report) {
        return mergeInto(sources, target, result.get(), report);
    });
    result->failures = sheetFailures + result->failures;
    if (!ran) {
        setStatusText(tr("Объединение отменено."));
        return false;
    }
    if (!result->created) {
        QMessageBox::critical(this, tr("Ошибка"), result->createError);
        return false;
    }
    if (!result->failures.isEmpty())
        QMessageBox::warning(this, tr("Ошибки объединения"),
                             tr("Не удалось добавить:\n") + result->failures.join(QLatin1Char('\n')));
    if (result->pages == 0) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось сформировать PDF."));
        return false;
    }
    if (!result->saved) {
        QMessageBox::critical(this, tr("Ошибка"), result->saveError);
        return false;
    }
    if (!dialog.shellMode()) {
        openFile(target);
    } else if (dialog.openResultAfterMerge()) {
        openFile(target);
        show();
        raise();
        activateWindow();
    }
    setStatusText(tr("Объединено %1 стр. → %2").arg(result->pages).arg(QFileInfo(target).fileName()));
    return true;
}
