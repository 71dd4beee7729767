// Workbooks added to the active document as pages through their import dialog.
#include "MainWindow.h"

#include "DialogKit.h"
#include "PdfDocument.h"
#include "RegularFile.h"
#include "WorkProgressDialog.h"
#include "XlsxImportDialog.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// An import beyond this many pages is refused before any is drawn.
constexpr int kMaxSpreadsheetPages = 500;

} // namespace

bool MainWindow::importSpreadsheetPages(const QString& path, QString* error, bool* skipped)
{
    const int added = appendSpreadsheetPages(*document, path, error);
    *skipped = added == kImportSkipped;
    return added > 0;
}

// The pages are written into a PDF of their own off the window's thread and
// come into the document in one step once all are there, so an import that
// breaks off or is cancelled leaves the document as it was.
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
    const XlsxPageRenderer renderer = dialog.pageRenderer();
    const int planned = renderer.pageCount();
    if (planned > kMaxSpreadsheetPages) {
        appInfo(this, tr("Импорт Excel"), tr("Слишком много страниц для импорта: %1.").arg(planned));
        return kImportSkipped;
    }
    if (planned == 0) {
        if (error)
            *error = dialog.reason();
        return -1;
    }
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        if (error)
            *error = tr("Не удалось записать страницы книги.");
        return -1;
    }
    const QString pages = scratch.filePath(QStringLiteral("pages.pdf"));
    WorkProgressDialog progress(tr("Импорт Excel"), tr("Страницы книги..."), this);
    QString failure;
    const bool written = progress.run([renderer, pages, &failure](const WorkProgressDialog::Report& report) {
        return renderer.writePdf(pages, report, &failure);
    });
    if (progress.wasCancelled())
        return kImportSkipped;
    if (!written) {
        if (error)
            *error = failure;
        return -1;
    }
    const int before = target.pageCount();
    if (!target.importDocument(pages)) {
        if (error)
            *error = target.lastError().trimmed();
        for (int page = target.pageCount() - 1; page >= before; --page)
            target.deletePage(page);
        return -1;
    }
    return target.pageCount() - before;
}
