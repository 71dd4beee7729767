// The facsimile library in the window: adding and editing pictures, and
// placing them on a page at a size in millimetres.
#include "MainWindow.h"

#include "FacsimileEditorDialog.h"
#include "FacsimileLibrary.h"
#include "LibraryFiles.h"
#include "PdfView.h"
#include "SignatureStampTemplate.h"
#include "UiTranslate.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>

QString MainWindow::facsimileDir() const
{
    return QDir(appDataDirectory()).filePath(QStringLiteral("facsimiles"));
}

QStringList MainWindow::facsimileFiles() const
{
    return listFacsimileFiles(facsimileDir());
}

void MainWindow::chooseEditTool(int tool)
{
    if (tool != PdfView::PlaceImage)
        clearPendingFacsimile();
    pdfView->setEditTool(PdfView::EditTool(tool));
}

bool MainWindow::hasPendingFacsimile() const
{
    return !pendingImages.isEmpty();
}

void MainWindow::clearPendingFacsimile()
{
    const bool armed = !pendingImages.isEmpty();
    pendingImages.clear();
    pendingImageWidth = -1.0;
    pendingImageHeight = -1.0;
    if (armed && pdfView)
        pdfView->clearImagePlacementPreview();
}

bool MainWindow::placePendingFacsimile(int page, const QRectF& rect)
{
    if (pendingImages.isEmpty())
        return false;
    // A placement the user walked away from (edit mode left meanwhile) is
    // dropped, not placed.
    if (!isDocumentLoaded() || !pdfView->editMode()) {
        clearPendingFacsimile();
        return false;
    }
    const QList<QImage> images = pendingImages;
    clearPendingFacsimile();
    pdfView->clearImagePlacementPreview();
    pdfView->appendEditableImageBlocks(page, rect, images);
    pdfView->setEditTool(PdfView::Select);
    updateTitle();
    setStatusText(images.size() > 1 ? tr("Группа изображений добавлена как объекты на стр. %1").arg(page + 1)
                                    : tr("Изображение добавлено как объект на стр. %1").arg(page + 1));
    return true;
}

void MainWindow::onFacsimileInsert()
{
    if (!isDocumentLoaded())
        return;
    const QStringList files = facsimileFiles();
    if (files.isEmpty()) {
        QMessageBox::information(this, tr("Факсимиле"),
                                 tr("Нет сохранённых факсимиле.\nСначала добавьте факсимиле через кнопку «Добавить» "
                                    "или «Изменить»."));
        return;
    }
    const QString dir = facsimileDir();
    QDialog* picker = buildFacsimilePickerDialog(dir, files, this, true, true, true, false);
    auto* list = picker->property("listWidget").value<QListWidget*>();
    if (picker->exec() != QDialog::Accepted || !list) {
        picker->deleteLater();
        return;
    }
    const QStringList paths = selectedFacsimileImageItems(list, dir);
    picker->deleteLater();
    QList<QImage> images;
    for (const QString& path : paths) {
        const QImage image = readBoundedImage(QDir(dir).filePath(path));
        if (!image.isNull())
            images << image;
    }
    if (images.isEmpty()) {
        QMessageBox::warning(this, tr("Ошибка"), tr("Не удалось загрузить файл факсимиле."));
        return;
    }
    QSizeF size;
    if (!requestFacsimilePlacementSize(this, images, &size))
        return;
    pendingImages = images;
    pendingImageWidth = size.width();
    pendingImageHeight = size.height();
    if (!pdfView->editMode()) {
        pdfView->setEditMode(true);
        updateEditModeUi();
    }
    pdfView->setImagePlacementPreview(images, size);
    pdfView->setEditTool(PdfView::PlaceImage);
    setStatusText(images.size() > 1 ? tr("Кликните место установки группы факсимиле")
                                    : tr("Кликните место установки факсимиле"));
}

void MainWindow::onFacsimileAdd()
{
    const QString file = QFileDialog::getOpenFileName(this, uiTranslate(tr("Загрузить изображение для факсимиле")),
                                                      QString(),
                                                      uiTranslate(tr("Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff);;Все файлы (*)")));
    if (file.isEmpty())
        return;
    QString reason;
    const QImage image = readBoundedImage(file, &reason);
    if (image.isNull()) {
        QString text = tr("Не удалось загрузить изображение.");
        if (!reason.isEmpty())
            text += QLatin1Char('\n') + reason;
        QMessageBox::warning(this, tr("Ошибка"), text);
        return;
    }
    QString name;
    if (!requestFacsimileName(this, tr("Новое факсимиле"), QFileInfo(file).baseName(), &name))
        return;
    const QString dir = facsimileDir();
    QDir().mkpath(dir);
    const QByteArray png = pngBytes(image);
    if (png.isEmpty() || !replaceFile(QDir(dir).filePath(name + QStringLiteral(".png")), png, nullptr)) {
        QMessageBox::warning(this, tr("Ошибка"), tr("Не удалось сохранить факсимиле."));
        return;
    }
    setStatusText(tr("Факсимиле «%1» сохранено.").arg(name));
}

void MainWindow::onFacsimileEdit()
{
    const QStringList files = facsimileFiles();
    const QString dir = facsimileDir();
    QString file;
    auto askNewName = [this, &file] {
        QString name;
        if (!requestFacsimileName(this, tr("Новое факсимиле"), tr("факсимиле"), &name))
            return false;
        file = name + QStringLiteral(".png");
        return true;
    };
    if (files.isEmpty()) {
        if (!askNewName())
            return;
    } else {
        QDialog* picker = buildFacsimilePickerDialog(dir, files, this, false, false, false, true);
        auto* list = picker->property("listWidget").value<QListWidget*>();
        const bool accepted = picker->exec() == QDialog::Accepted;
        const bool createNew = picker->property("createNew").toBool();
        QListWidgetItem* current = list ? list->currentItem() : nullptr;
        if (accepted && !createNew && current)
            file = current->data(kFacsimilePathRole).toString();
        picker->deleteLater();
        if (!accepted)
            return;
        if (createNew && !askNewName())
            return;
        // A picked file must still lie inside the library.
        if (!createNew && !facsimileExistsInLibrary(dir, file))
            return;
    }
    const QString path = QDir(dir).filePath(file);
    paint::FacsimileEditorDialog editor(this);
    const QImage existing = QFileInfo::exists(path) ? readBoundedImage(path) : QImage();
    if (!existing.isNull())
        editor.setImage(existing);
    if (editor.exec() != QDialog::Accepted)
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray png = pngBytes(editor.image());
    if (png.isEmpty() || !replaceFile(path, png, nullptr)) {
        QMessageBox::warning(this, tr("Ошибка"), tr("Не удалось сохранить факсимиле."));
        return;
    }
    setStatusText(tr("Факсимиле сохранено: %1").arg(file));
}
