// Workbooks added to the active document as pages through their import dialog.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "RegularFile.h"
#include "XlsxImportDialog.h"

#include <QCoreApplication>
#include <QFile>
#include <QProgressDialog>

namespace {

// Each page is an 8.7 MB image while it is drawn and a page of the document
// afterwards: an import beyond this many pages is refused.
constexpr int kMaxSpreadsheetPages = 500;

} // namespace

bool MainWindow::importSpreadsheetPages(const QString& path, QString* error, bool* skipped)
{
    const int added = appendSpreadsheetPages(*document, path, error);
    *skipped = added == kImportSkipped;
    return added > 0;
}

// Each page is appended as soon as it is drawn, so one page image at a time
// is held. All or nothing: pages of an import that broke off or was
// cancelled are taken out again.
int MainWindow::appendSpreadsheetPages(PdfDocument& target, const QString& path, QString* error)
{
    // The workbook reader opens the file by its name: a FIFO would hold it for ever.
    QFile file;
    QString refusal;
    if (RegularFile::open(path, PdfDocument::kMaxFileBytes, &file, &refusal) == RegularFile::NotRegular) {
        if (error)
            *error = refusal;
        return -1;
    }
    file.close();
    XlsxImportDialog dialog(path, this);
    if (dialog.exec() != QDialog::Accepted)
        return kImportSkipped;
    const int planned = dialog.plannedPageCount();
    if (planned > kMaxSpreadsheetPages) {
        appInfo(this, tr("Импорт Excel"), tr("Слишком много страниц для импорта: %1.").arg(planned));
        return kImportSkipped;
    }
    const int before = target.pageCount();
    QProgressDialog progress(tr("Страницы книги..."), tr("Отмена"), 0, planned, this);
    progress.setWindowTitle(tr("Импорт Excel"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    QString failure;
    bool cancelled = false;
    QSizeF size(-1, -1);
    const int built = dialog.buildPages(size, [&](const QImage& page) {
        if (!target.appendRenderedPage(page, size)) {
            failure = target.lastError().trimmed();
            return false;
        }
        progress.setValue(target.pageCount() - before);
        QCoreApplication::processEvents();
        cancelled = progress.wasCanceled();
        return !cancelled;
    });
    progress.reset();
    if (failure.isEmpty() && !cancelled && built > 0)
        return target.pageCount() - before;
    for (int page = target.pageCount() - 1; page >= before; --page)
        target.deletePage(page);
    if (cancelled)
        return kImportSkipped;
    if (error)
        *error = failure.isEmpty() ? dialog.reason() : failure;
    return -1;
}
