// The compressed-PDF export: the proposal, the dialog and the written copy.
#include "MainWindow.h"

#include "CompressedPdfExportDialog.h"
#include "DialogKit.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "WorkProgressDialog.h"

#include <QFileInfo>
#include <QLabel>

namespace {

const QString kCompressedKind = QStringLiteral("compressed");

} // namespace

QString MainWindow::proposedCompressedPdfPath(const QString& path) const
{
    const QString source = document->filePath();
    const QString base = source.isEmpty() ? QStringLiteral("document") : QFileInfo(source).completeBaseName();
    const QString proposal = path.isEmpty() ? suggestedSiblingPdfPath(source, kCompressedKind, base)
                                            : withLocalizedPdfSuffix(path, kCompressedKind);
    // Never offer to write over a document that is open here.
    return openDocumentIndexForPath(proposal) >= 0 ? uniqueSiblingPathLikeChrome(proposal) : proposal;
}

bool MainWindow::showCompressedPdfExportDialog(const QString& path, bool shellMode)
{
    if (!isDocumentLoaded()) {
        appInfo(this, tr("Сжатый PDF"), tr("Нет открытого документа."));
        return false;
    }
    // The copy the fit measures and the file written hold the user's edits.
    const std::shared_ptr<PdfDocument> source = documentForReading();
    if (!source)
        return false;
    CompressedPdfExportDialog dialog(source, proposedCompressedPdfPath(path), shellMode, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return writeCompressedPdf(dialog, shellMode);
}

bool MainWindow::writeCompressedPdf(const CompressedPdfExportDialog& dialog, bool shellMode)
{
    const QString target = dialog.outputPath();
    if (target.isEmpty()) {
        appInfo(this, tr("Сжатый PDF"), tr("Укажите файл результата."));
        return false;
    }
    if (!confirmOutputTarget(tr("Сжатый PDF"), target))
        return false;

    const OutputJobScope job(this);
    setStatusText(tr("Сжатие PDF..."));
    WorkProgressDialog progress(tr("Сжатый PDF"), tr("Сжатие PDF..."), this);
    const std::shared_ptr<const PdfDocument> source = documentForReading();
    if (!source)
        return false;
    const PdfDocument::CompressionOptions options = dialog.options();
    const bool written = progress.run([source, target, options](const WorkProgressDialog::Report& report) {
        return source->compressTo(target, options, report);
    });
    if (progress.wasCancelled()) {
        setStatusText(tr("Сжатие отменено."));
        return false;
    }
    if (!written) {
        appInfo(this, tr("Ошибка экспорта"), tr("Не удалось сжать PDF:\n%1").arg(source->lastError()));
        return false;
    }

    const qint64 sourceSize = dialog.documentFileSize();
    const qint64 size = QFileInfo(target).size();
    QString message = tr("Сжатый PDF сохранён: %1").arg(QFileInfo(target).fileName());
    if (sourceSize > 0 && size > 0)
        message += tr(" (%1, %2% от исходного)")
                       .arg(formatFileSize(size), QString::number(double(size) * 100.0 / double(sourceSize), 'f', 1));
    setStatusText(message);
    if (shellMode && !dialog.openResultAfterSave())
        return true;
    openFile(QFileInfo(target).absoluteFilePath());
    if (shellMode) {
        show();
        raise();
        activateWindow();
    }
    setStatusText(message + tr(" · открыт в новой вкладке"));
    return true;
}
