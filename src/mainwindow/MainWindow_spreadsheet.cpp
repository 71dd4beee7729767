// Workbooks added to the active document as pages through their import dialog.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "XlsxImportDialog.h"

namespace {

// Each page is an 8.7 MB image while it is drawn and a page of the document
// afterwards: an import beyond this many pages is refused.
constexpr int kMaxSpreadsheetPages = 500;

} // namespace

// Appends the workbook's pages, each as soon as it is drawn. False with the
// reason when no page came; skipped, with nothing added and nothing further
// to say, when the dialog was cancelled or the import refused with a notice.
bool MainWindow::importSpreadsheetPages(const QString& path, QString* error, bool* skipped)
{
    *skipped = false;
    XlsxImportDialog dialog(path, this);
    if (dialog.exec() != QDialog::Accepted) {
        *skipped = true;
        return false;
    }
    const int planned = dialog.plannedPageCount();
    if (planned > kMaxSpreadsheetPages) {
        appInfo(this, tr("Импорт Excel"), tr("Слишком много страниц для импорта: %1.").arg(planned));
        *skipped = true;
        return false;
    }
    const int before = document->pageCount();
    QString failure;
    QSizeF size(-1, -1);
    const int built = dialog.buildPages(size, [this, &size, &failure](const QImage& page) {
        if (document->appendRenderedPage(page, size))
            return true;
        failure = document->lastError().trimmed();
        return false;
    });
    if (failure.isEmpty() && built > 0)
        return true;
    // All or nothing: pages of a workbook that broke off are taken out again.
    for (int page = document->pageCount() - 1; page >= before; --page)
        document->deletePage(page);
    if (error)
        *error = failure.isEmpty() ? dialog.reason() : failure;
    return false;
}

int MainWindow::importSpreadsheetAt(const QString& path, int start, QString* error)
{
    return importFileAt(path, start, error);
}
