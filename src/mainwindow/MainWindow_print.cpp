// Printing: the program's print window and the print path behind it.
#include "MainWindow.h"

#include "DialogKit.h"
#include "FileIdentity.h"
#include "PagePrinter.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "PrintDevice.h"
#include "PrintDialog.h"
#include "PrintSettings.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>

void MainWindow::setPrintDeviceFactory(PrintDeviceFactory factory)
{
    printDeviceFactory = std::move(factory);
}

void MainWindow::showPrintDialog()
{
    const bool loaded = isDocumentLoaded();
    const QString subtitle = loaded ? tr("%1 · %2 страниц")
                                          .arg(QFileInfo(document->filePath()).fileName())
                                          .arg(document->pageCount())
                                    : tr("Документ не открыт");
    auto* dialog = new PrintDialog(subtitle, loaded, [this] { onPrint(); }, this);
    dialog->move(frameGeometry().center() - dialog->rect().center());
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

// The checks of every output on the file the printer writes, whatever name
// the print dialog checked: it is no open document's file, and an existing
// one is replaced only when the user said so here or, for that very file, in
// the print dialog.
bool MainWindow::confirmPrintTarget(QPrinter& printer, const QString& allowed)
{
    if (printer.outputFileName().isEmpty())
        return true;
    const QString target = QFileInfo(printer.outputFileName()).absoluteFilePath();
    if (refuseOpenDocumentTarget(tr("Печать"), target))
        return false;
    // Named in full: the folder is what the print dialog may have misled about.
    const QString question = tr("Файл «%1» уже существует. Заменить его?").arg(QDir::toNativeSeparators(target));
    if (QFileInfo::exists(target) && !FileIdentity::same(target, allowed) &&
        !appQuestion(this, tr("Печать"), question, tr("Заменить"), tr("Отмена")))
        return false;
    printer.setOutputFileName(target);
    return true;
}

void MainWindow::onPrint()
{
    if (!isDocumentLoaded() || outputJobRunning)
        return;
    // The printout shows the edits made in the page view; the document stays
    // as it is while it prints: no tab closes under it.
    const std::shared_ptr<PdfDocument> held = documentForReading();
    if (!held)
        return;
    const PrintSettings settings = PrintSettings::read();
    std::unique_ptr<PrintDevice> device =
        printDeviceFactory ? printDeviceFactory() : std::make_unique<SystemPrintDevice>();
    QPrinter& printer = device->printer();
    printer.setResolution(settings.dpi);
    printer.setPageSize(QPageSize(settings.paper));
    printer.setPageOrientation(settings.orientation);
    printer.setCopyCount(settings.copies);
    if (!device->confirm(this) || !confirmPrintTarget(printer, device->replacementAllowed()))
        return;

    const OutputJobScope job(this);
    int first = 0;
    int last = -1;
    printRangeFor(printer, held->pageCount(), pdfView->currentPage(), &first, &last);
    bool progressShown = false;
    auto beforePage = [&](int page) {
        if (progressBar) {
            if (!progressShown) {
                progressBar->setRange(first, last);
                progressBar->show();
                progressShown = true;
            }
            progressBar->setValue(page);
        }
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    const PrintOutcome outcome = printPages(*held, printer, first, last, beforePage);
    if (progressBar)
        progressBar->hide();
    if (!outcome.writeError.isEmpty()) {
        appInfo(this, tr("Печать"), tr("Не удалось записать файл: %1").arg(outcome.writeError));
        return;
    }
    if (!outcome.started) {
        QMessageBox::warning(this, tr("Печать"), tr("Не удалось начать печать"), QMessageBox::Ok);
        return;
    }
    if (statusLabel)
        setStatusText(tr("Напечатано страниц: %1").arg(outcome.printed));
    if (outcome.firstFailedPage >= 0)
        appInfo(this, tr("Печать"), tr("Не удалось отрисовать страницу %1.").arg(outcome.firstFailedPage + 1));
}
