// New text and picture blocks drawn onto the page in edit mode.
#include "MainWindow.h"

#include "DialogKit.h"
#include "LibraryFiles.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "UiTranslate.h"

#include <QComboBox>
#include <QFileDialog>
#include <QSpinBox>

namespace {

const QString kDefaultFamily = QStringLiteral("Times New Roman");
constexpr float kDefaultSize = 12.0f;

} // namespace

void MainWindow::startInsertTool(int tool, const QString& hint)
{
    if (!m_allowPdfEditing || !isDocumentLoaded())
        return;
    if (!pdfView->editMode())
        switchEditModeOn();
    ensureOcrReady();
    setStatusText(hint);
    // A facsimile chosen earlier is not placed by the plain text or picture tool.
    clearPendingFacsimile();
    pdfView->setEditTool(PdfView::EditTool(tool));
}

void MainWindow::onEditInsertText()
{
    startInsertTool(PdfView::InsertText, tr("Нарисуйте область для текста на странице"));
}

void MainWindow::onEditInsertImage()
{
    startInsertTool(PdfView::PlaceImage, tr("Нарисуйте область для изображения на странице"));
}

void MainWindow::onTextInserted(int page, QRectF rect, QString text)
{
    if (!isDocumentLoaded())
        return;
    const QString family = fontCombo ? fontCombo->currentText() : kDefaultFamily;
    const float size = fontSizeSpin ? float(fontSizeSpin->value()) : kDefaultSize;
    lastOcrPage = page;
    pdfView->appendEditableTextBlock(page, rect, text, family, size, Qt::black);
    updateTitle();
    setStatusText(tr("Текст вставлен на стр. %1").arg(page + 1));
}

void MainWindow::onImageRectReady(int page, QRectF rect)
{
    if (!isDocumentLoaded())
        return;
    if (hasPendingFacsimile()) {
        if (placePendingFacsimile(page, rect))
            lastOcrPage = page;
        return;
    }
    const QString path = QFileDialog::getOpenFileName(
        this, uiTranslate(tr("Выбрать изображение")), QString(),
        uiTranslate(tr("Изображения (*.png *.jpg *.jpeg *.bmp *.tif *.tiff);;Все файлы (*)")));
    if (path.isEmpty())
        return;
    // Bounded, and a device or a FIFO chosen by mistake reads as no picture.
    QString reason;
    const QImage image = readBoundedImage(path, &reason);
    if (image.isNull()) {
        const QString text = tr("Не удалось загрузить:\n%1").arg(path);
        appInfo(this, tr("Ошибка"), reason.isEmpty() ? text : text + QStringLiteral("\n\n") + reason);
        return;
    }
    lastOcrPage = page;
    // The drawn rectangle places the picture; the picture keeps its own size and shape.
    pdfView->appendEditableImageBlocks(page, pictureRectAt(document->pageSize(page), rect.topLeft(), image), {image});
    updateTitle();
    setStatusText(tr("Изображение добавлено как объект на стр. %1").arg(page + 1));
}
