// The open dialog, and files dropped on the window: a PDF opened or added as
// pages as the user answers, any other file added as pages at the end.
#include "MainWindow.h"

#include "DialogKit.h"
#include "OpenPdfDialog.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>

void MainWindow::showOpenPdfDialog()
{
    auto* dialog = new OpenPdfDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &OpenPdfDialog::openRequested, this, &MainWindow::openFile);
    connect(dialog, &OpenPdfDialog::scanRequested, this, [this, dialog] {
        dialog->close();
        showScanDialog();
    });
    dialog->move(frameGeometry().center() - dialog->rect().center());
    dialog->show();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    event->acceptProposedAction();
    for (const QUrl& url : urls) {
        if (!dropFile(url))
            return;
    }
}

// False when the drop must stop: edits on show could not be written.
bool MainWindow::dropFile(const QUrl& url)
{
    const QString path = url.toLocalFile();
    const bool pdf = QFileInfo(path).suffix().toLower() == QLatin1String("pdf");
    const bool standardBoxes = !pdf;
    if (pdf) {
        const int answer = appPdfFileQuestion(this, tr("PDF файл"),
                                              tr("Что сделать с \"%1\"?").arg(QFileInfo(path).fileName()),
                                              tr("Добавить как страницы"), tr("Открыть как новый документ"), tr("Отмена"));
        if (answer == PdfFilePrimaryChoice)
            openFile(path);
        if (answer != PdfFileFirstChoice)
            return true;
    }
    if (!ensureDocumentForImport(standardBoxes))
        return true;
    if (!pagesMayChange())
        return false;

    QString error;
    if (path.isEmpty())
        error = tr("Не локальный файл: %1").arg(url.toString());
    else if (QFileInfo(path).isDir())
        error = tr("Это папка, а не файл: %1").arg(path);
    const int current = pdfView->currentPage();
    int added = -1;
    if (error.isEmpty()) {
        PageChangeBatch batch(*this);
        batch.show(current);
        added = importFileAt(path, -1, &error);
        // Several files may be dropped at once: the message names the one refused.
        const QString name = QFileInfo(path).fileName();
        if (added < 0 && added != kImportSkipped && !error.contains(name))
            error = name + QStringLiteral(": ") + error;
    }
    if (added >= 0) {
        setStatusText(tr("Импортировано: %1").arg(QFileInfo(path).fileName()));
    } else if (added == kImportSkipped) {
        // cancelled by the user, or already told why not
    } else if (standardBoxes) {
        QMessageBox::critical(this, tr("Ошибка импорта"), error);
    } else {
        appInfo(this, tr("Ошибка импорта"), error);
    }
    return true;
}
