// Files added to the active document as pages: the import dialog, the Insert
// tab's four sources at the chosen position, and the strip's import.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "UiTranslate.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

const QSizeF kBlankPageSize(595, 842);

bool isSpreadsheet(const QString& path)
{
    return QFileInfo(path).suffix().toLower() == QLatin1String("xlsx");
}

QString failureLine(const QString& path, const QString& error)
{
    return QFileInfo(path).fileName() + QStringLiteral(": ") + error;
}

} // namespace

// Where pages imported at a position start: -1 at the end (0), right after
// the current page (1), or before it (any other value).
int MainWindow::importStartPage(int position, int currentPage)
{
    if (position == 0)
        return -1;
    return position == 1 ? currentPage + 1 : currentPage;
}

bool MainWindow::importFile(const QString& path, int position, QString* error)
{
    const int current = pdfView->currentPage();
    PageChangeBatch batch(*this);
    batch.show(current);
    return importFileAt(path, importStartPage(position, current), error) >= 0;
}

// Appends the file's pages and moves them, in their order, to start (-1: they
// stay at the end). The number of pages added, or -1 with error set; pages
// that came in before a failure (the first pages of a multi-page picture)
// are moved all the same. kImportSkipped: a spreadsheet import the user
// cancelled or was told about; nothing was added.
int MainWindow::importFileAt(const QString& path, int start, QString* error)
{
    const int before = document->pageCount();
    bool skipped = false;
    const bool imported =
        isSpreadsheet(path) ? importSpreadsheetPages(path, error, &skipped) : document->importDocument(path);
    if (skipped)
        return kImportSkipped;
    const QString failure = imported || isSpreadsheet(path) ? QString() : document->lastError().trimmed();
    const int added = document->pageCount() - before;
    for (int i = 0; start >= 0 && start < before && i < added; ++i) {
        if (!document->movePage(before + i, start + i)) {
            if (error)
                *error = document->lastError().trimmed();
            // All or nothing: the pages still at the end, then those already moved.
            for (int page = before + added - 1; page >= before + i; --page)
                document->deletePage(page);
            for (int page = start + i - 1; page >= start; --page)
                document->deletePage(page);
            return -1;
        }
    }
    if (!imported) {
        if (error && !isSpreadsheet(path))
            *error = failure;
        return -1;
    }
    return added;
}

// With no document open, an empty one of one blank page in a tab of its
// own, not yet saved anywhere. False (and said) when it could not be made.
bool MainWindow::ensureDocumentForImport(bool standardBox)
{
    if (isDocumentLoaded())
        return true;
    if (!document->createEmpty() || !document->insertBlankPage(0, kBlankPageSize)) {
        if (standardBox)
            QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось создать документ."));
        else
            appInfo(this, tr("Ошибка"), tr("Не удалось создать документ."));
        return false;
    }
    adoptInitialDocumentAsTab();
    updateTitle();
    updatePageControls();
    return true;
}

int MainWindow::importFilesAt(const QStringList& paths, int start, QStringList* failures)
{
    int total = 0;
    for (const QString& path : paths) {
        QString error;
        const int added = importFileAt(path, start, &error);
        if (added == kImportSkipped)
            continue;
        if (added < 0)
            failures->append(failureLine(path, error));
        else
            total += added;
    }
    return total;
}

void MainWindow::reportImportFailures(const QString& title, const QString& lead, const QStringList& failures)
{
    if (!failures.isEmpty())
        QMessageBox::warning(this, title, lead + failures.join(QLatin1Char('\n')));
}

void MainWindow::showImportDialog()
{
    if (!m_allowImports)
        return;
    if (!isDocumentLoaded()) {
        if (!appQuestion(this, tr("Импорт"),
                         tr("Нет открытого документа. Создать новый пустой PDF и импортировать в него?"), tr("Да"),
                         tr("Нет")))
            return;
        if (!ensureDocumentForImport(false))
            return;
    }
    const QString path = document->filePath();
    const QString startFolder = path.isEmpty() ? QDir::homePath() : QFileInfo(path).absolutePath();
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, uiTranslate(tr("Импорт файлов как страниц")), startFolder,
        uiTranslate(tr("Все поддерживаемые (*.pdf *.docx *.odt *.html *.xhtml *.svg *.cbz *.png *.jpg *.jpeg *.bmp "
                       "*.webp *.gif *.tif *.tiff *.epub *.xlsx *.pptx);;PDF (*.pdf);;Word документ (*.docx);;"
                       "OpenDocument (*.odt);;HTML / XHTML (*.html *.xhtml);;SVG (*.svg);;CBZ Комикс-архив (*.cbz);;"
                       "Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff)")));
    if (paths.isEmpty() || !pagesMayChange())
        return;
    QStringList failures;
    int total = 0;
    {
        PageChangeBatch batch(*this);
        batch.show(0);
        total = importFilesAt(paths, -1, &failures);
    }
    reportImportFailures(tr("Ошибки импорта"), tr("Не удалось импортировать:\n"), failures);
    setStatusText(tr("Импортировано страниц: %1").arg(total));
}

// The thumbnail strip's and "Любой файл"'s filter, as the picker shows it.
QString MainWindow::anyFileImportFilter()
{
    return uiTranslate(tr("Все поддерживаемые (*.pdf *.docx *.odt *.html *.xhtml *.svg *.cbz *.png *.jpg *.jpeg *.bmp *.webp "
              "*.gif *.tif *.tiff *.epub *.xlsx *.pptx);;PDF (*.pdf);;Word (*.docx);;OpenDocument (*.odt);;HTML/XHTML "
              "(*.html *.xhtml);;SVG (*.svg);;CBZ (*.cbz);;Excel (*.xlsx);;PowerPoint (*.pptx);;Изображения (*.png "
              "*.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff);;Все файлы (*)"));
}

// The Insert tab's sources. Without a document each goes to the import
// dialog, which offers to make one.
void MainWindow::importFilesAtPosition(ImportSource source, int position)
{
    if (!m_allowImports)
        return;
    if (!isDocumentLoaded()) {
        showImportDialog();
        return;
    }
    QStringList paths;
    switch (source) {
    case ImportSource::AnyFiles:
        paths = QFileDialog::getOpenFileNames(this, uiTranslate(tr("Импорт файлов")), QString(), anyFileImportFilter());
        break;
    case ImportSource::Pdf:
        paths << QFileDialog::getOpenFileName(this, uiTranslate(tr("Импорт PDF")), QString(), tr("PDF (*.pdf)"));
        break;
    case ImportSource::Images:
        paths = QFileDialog::getOpenFileNames(
            this, uiTranslate(tr("Импорт изображений")), QString(),
            uiTranslate(tr("Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff);;Все файлы (*)")));
        break;
    case ImportSource::Document:
        paths << QFileDialog::getOpenFileName(
            this, uiTranslate(tr("Импорт документа")), QString(),
            uiTranslate(tr("Документы (*.docx *.odt *.html *.xhtml *.svg *.cbz *.xlsx *.pptx *.epub);;Все файлы (*)")));
        break;
    }
    paths.removeAll(QString());
    if (paths.isEmpty() || !pagesMayChange())
        return;

    const int current = pdfView->currentPage();
    const int start = importStartPage(position, current);
    if (source == ImportSource::Pdf || source == ImportSource::Document) {
        QString error;
        int added = 0;
        {
            PageChangeBatch batch(*this);
            batch.show(current);
            added = importFileAt(paths.constFirst(), start, &error);
        }
        if (added == kImportSkipped)
            return;
        if (added < 0) {
            QMessageBox::critical(this, tr("Ошибка"), error);
            return;
        }
        setStatusText(tr("Импортировано: %1").arg(QFileInfo(paths.constFirst()).fileName()));
        return;
    }
    QStringList failures;
    int total = 0;
    {
        PageChangeBatch batch(*this);
        batch.show(current);
        total = importFilesAt(paths, start, &failures);
    }
    if (source == ImportSource::Images)
        reportImportFailures(tr("Ошибки"), QString(), failures);
    else
        reportImportFailures(tr("Ошибки импорта"), tr("Не удалось импортировать:\n"), failures);
    setStatusText(tr("Импортировано страниц: %1").arg(total));
}

void MainWindow::onImportPageRequested(int index)
{
    if (!m_allowPageEditing || !isDocumentLoaded())
        return;
    const QStringList paths = QFileDialog::getOpenFileNames(this, uiTranslate(tr("Импорт страниц")), QString(),
                                                            anyFileImportFilter());
    if (paths.isEmpty() || !pagesMayChange())
        return;
    const int current = pdfView->currentPage();
    QStringList failures;
    int total = 0;
    {
        PageChangeBatch batch(*this);
        total = importFilesAt(paths, qBound(0, index, document->pageCount()), &failures);
        batch.show(total > 0 ? index : current);
    }
    reportImportFailures(tr("Ошибки импорта"), tr("Не удалось импортировать:\n"), failures);
    setStatusText(tr("Импортировано страниц: %1").arg(total));
}
