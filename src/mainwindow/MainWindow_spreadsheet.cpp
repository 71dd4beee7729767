// Workbooks added to the active document as pages through their import dialog.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "XlsxImportDialog.h"

#include <QCoreApplication>
#include <QProgressDialog>

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
    QProgressDialog progress(tr("Страницы книги..."), tr("Отмена"), 0, planned, this);
    progress.setWindowTitle(tr("Импорт Excel"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    QString failure;
    bool cancelled = false;
    QSizeF size(-1, -1);
    const int built = dialog.buildPages(size, [&](const QImage& page) {
        if (!document->appendRenderedPage(page, size)) {
            failure = document->lastError().trimmed();
            return false;
        }
        progress.setValue(document->pageCount() - before);
        QCoreApplication::processEvents();
        cancelled = progress.wasCanceled();
        return !cancelled;
    });
    progress.reset();
    if (failure.isEmpty() && !cancelled && built > 0)
        return true;
    // All or nothing: pages of a workbook that broke off are taken out again.
    for (int page = document->pageCount() - 1; page >= before; --page)
        document->deletePage(page);
    *skipped = cancelled;
    if (error && !cancelled)
        *error = failure.isEmpty() ? dialog.reason() : failure;
    return false;
}

int MainWindow::importSpreadsheetAt(const QString& path, int start, QString* error)
{
    return importFileAt(path, start, error);
}
