// Editing the picture of the selected image block in the picture editor.
#include "MainWindow.h"

#include "FacsimileEditorDialog.h"
#include "PdfView.h"

void MainWindow::onImageBlockEditRequested(QImage image)
{
    if (image.isNull())
        return;
    paint::FacsimileEditorDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Редактировать изображение"));
    dialog.setImage(image);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QImage edited = dialog.image();
    if (edited.isNull())
        return;
    pdfView->updateSelectedImageBlock(edited);
    updateTitle();
    setStatusText(QStringLiteral("Изображение обновлено. Сохраните изменения."));
}
