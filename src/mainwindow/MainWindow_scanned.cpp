// The scanned-look export: the page as the view shows it, the dialog and the
// written file.
#include "MainWindow.h"

#include "DialogKit.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "ScannedPageRender.h"
#include "ScannedPdfEffect.h"
#include "ScannedPdfExportDialog.h"
#include "ScannedPdfWriter.h"
#include "WorkProgressDialog.h"

#include <QFileInfo>
#include <QLabel>

namespace {

const QString kScannedKind = QStringLiteral("scanned");
constexpr double kPreviewScale = 1.35;
constexpr int kPreviewDpi = 140;

} // namespace

QImage MainWindow::renderPageForScannedExport(int pageIndex, double scale) const
{
    if (!document || !document->isOpen())
        return QImage();
    std::vector<TextBlock> blocks;
    if (pdfView && pdfView->hasOcrBlocks() && pdfView->blockPage() == pageIndex)
        blocks = pdfView->ocrBlocksWithEdits();
    return renderPageWithBlocks(*document, pageIndex, scale, blocks);
}

bool MainWindow::showScannedPdfExportDialog(const QString& path)
{
    if (!isDocumentLoaded()) {
        appInfo(this, tr("Сканированный PDF"), tr("Нет открытого документа."));
        return false;
    }
    // The preview and the file show the edits made in the page view.
    if (!documentForReading())
        return false;
    ScannedPdfExportOptions initial = readScannedPdfDefaults();
    const QString source = document->filePath();
    const QString base = source.isEmpty() ? QStringLiteral("document") : QFileInfo(source).completeBaseName();
    initial.outputPath = path.isEmpty() ? suggestedSiblingPdfPath(source, kScannedKind, base)
                                        : withLocalizedPdfSuffix(path, kScannedKind);
    auto preview = [this](const ScannedPdfExportOptions& options) {
        const int pages = document->pageCount();
        const int page = pages <= 1 ? 0 : std::clamp(pdfView->currentPage(), 0, pages - 1);
        ScannedPdfExportOptions shown = options;
        shown.dpi = kPreviewDpi;
        return applyScannedPdfEffect(renderPageForScannedExport(page, kPreviewScale), shown, page, true);
    };
    ScannedPdfExportDialog dialog(initial, preview, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return writeScannedPdf(dialog.options());
}

bool MainWindow::writeScannedPdf(const ScannedPdfExportOptions& chosen)
{
    ScannedPdfExportOptions options = chosen;
    if (options.outputPath.isEmpty()) {
        appInfo(this, tr("Сканированный PDF"), tr("Укажите файл результата."));
        return false;
    }
    if (!options.outputPath.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        options.outputPath += QStringLiteral(".pdf");
    const QString target = withLocalizedPdfSuffix(options.outputPath, kScannedKind);
    if (!confirmOutputTarget(tr("Сканированный PDF"), target))
        return false;

    const std::shared_ptr<PdfDocument> held = documentForReading();
    if (!held)
        return false;
    // The job draws the shown page's blocks from a copy taken now.
    const int blockPage = pdfView && pdfView->hasOcrBlocks() ? pdfView->blockPage() : -1;
    const std::vector<TextBlock> blocks = blockPage >= 0 ? pdfView->ocrBlocksWithEdits() : std::vector<TextBlock>();
    const OutputJobScope job(this);
    ScannedPdfWriter::Source source;
    source.pageCount = held->pageCount();
    source.pageSize = [held](int page) { return held->pageSize(page); };
    source.renderPage = [held, blockPage, blocks](int page, double scale) {
        return renderPageWithBlocks(*held, page, scale, page == blockPage ? blocks : std::vector<TextBlock>());
    };
    WorkProgressDialog progress(tr("Сканированный PDF"), tr("Экспорт сканированного PDF..."), this);
    auto result = std::make_shared<ScannedPdfWriter::Result>(ScannedPdfWriter::Result::Failed);
    auto reason = std::make_shared<QString>();
    progress.run([target, options, source, result, reason](const WorkProgressDialog::Report& report) {
        const int pages = source.pageCount;
        *result = ScannedPdfWriter::write(
            target, options, source, [&report, pages](int done) { return report(done, pages); }, reason.get());
        return *result == ScannedPdfWriter::Result::Written;
    });
    if (*result == ScannedPdfWriter::Result::Cancelled) {
        setStatusText(tr("Экспорт отменён."));
        return false;
    }
    // The reason, when there is one, on a line of its own.
    const QString why = reason->isEmpty() ? QString() : QLatin1Char('\n') + *reason;
    if (*result == ScannedPdfWriter::Result::CannotStart) {
        appInfo(this, tr("Ошибка экспорта"), tr("Не удалось создать PDF файл.") + why);
        return false;
    }
    if (*result != ScannedPdfWriter::Result::Written) {
        appInfo(this, tr("Ошибка экспорта"), tr("Не удалось сохранить сканированный PDF.") + why);
        return false;
    }
    const QString message = tr("Сканированный PDF сохранён: %1").arg(QFileInfo(target).fileName());
    setStatusText(message);
    openFile(QFileInfo(target).absoluteFilePath());
    setStatusText(message + tr(" · открыт в новой вкладке"));
    return true;
}
