// Copy and paste between the system clipboard and the active document: the
// selected text, or a picture of the stored region or the page; a picture
// pasted into the region or centred on the page.
#include "MainWindow.h"

#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRegionCopyZoom = 2.0;
constexpr double kPageCopyZoom = 1.5;
constexpr double kPastedShare = 0.7;
constexpr double kScreenPerPoint = 96.0 / 72.0;
constexpr int kSelectionPreviewLength = 60;
constexpr double kPointsPerInch = 72.0;
constexpr double kMetresPerInch = 0.0254;
constexpr double kScreenDpi = 96.0;
// Resolutions outside these are not believed: the picture is taken at screen size.
constexpr double kLeastBelievedDpi = 10.0;
constexpr double kMostBelievedDpi = 4800.0;

// Dots per metre are stored rounded: 96 dots per inch come back as 96.012.
double believedDpi(int dotsPerMetre)
{
    const double dpi = std::round(dotsPerMetre * kMetresPerInch);
    return dpi >= kLeastBelievedDpi && dpi <= kMostBelievedDpi ? dpi : kScreenDpi;
}

} // namespace

QRectF MainWindow::pictureRectAt(const QSizeF& page, const QPointF& topLeft, const QImage& picture)
{
    if (picture.isNull() || page.width() <= 0 || page.height() <= 0)
        return {};
    QSizeF size(picture.width() * kPointsPerInch / believedDpi(picture.dotsPerMeterX()),
                picture.height() * kPointsPerInch / believedDpi(picture.dotsPerMeterY()));
    const double fit = std::min({1.0, page.width() / size.width(), page.height() / size.height()});
    size *= fit;
    const double x = std::clamp(topLeft.x(), 0.0, page.width() - size.width());
    const double y = std::clamp(topLeft.y(), 0.0, page.height() - size.height());
    return QRectF(QPointF(x, y), size);
}

QRectF MainWindow::pastePlacement(const QSizeF& page, const QSize& picture)
{
    const double w = std::max(picture.width(), 1);
    const double h = std::max(picture.height(), 1);
    const double scale = std::min(kPastedShare * page.width() / w, kPastedShare * page.height() / h) * kScreenPerPoint;
    const QSizeF size(picture.width() * scale, picture.height() * scale);
    return QRectF(QPointF((page.width() - size.width()) / 2, (page.height() - size.height()) / 2), size);
}

QImage MainWindow::copiedPicture(int page) const
{
    if (ocrRegionPage >= 0 && ocrRegion.width() > 0 && ocrRegion.height() > 0) {
        const QImage rendered = document->renderPage(page, kRegionCopyZoom, 0);
        if (rendered.isNull())
            return {};
        const QRect cut(int(kRegionCopyZoom * ocrRegion.x()), int(kRegionCopyZoom * ocrRegion.y()),
                        int(kRegionCopyZoom * ocrRegion.width()), int(kRegionCopyZoom * ocrRegion.height()));
        return rendered.copy(cut.intersected(rendered.rect()));
    }
    return document->renderPage(page, kPageCopyZoom, 0);
}

void MainWindow::onEditCopy()
{
    if (!isDocumentLoaded())
        return;
    const QString text = pdfView->selectedText();
    if (!text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
        setStatusText(tr("Скопировано: %1 символов").arg(text.size()));
        return;
    }
    const int page = ocrRegionPage >= 0 ? ocrRegionPage : pdfView->currentPage();
    const QImage picture = copiedPicture(page);
    if (picture.isNull())
        return;
    QGuiApplication::clipboard()->setImage(picture);
    setStatusText(tr("Страница %1 скопирована в буфер").arg(page + 1));
}

void MainWindow::onCopySelectedText()
{
    const QString text = pdfView->selectedText();
    if (text.isEmpty()) {
        reportMarkupOutcome(tr("Копирование"), tr("Нет выделенного текста"));
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    setStatusText(tr("Скопировано: %1 символов").arg(text.size()));
}

void MainWindow::onTextSelected(const QString& text)
{
    if (text.isEmpty())
        return;
    setStatusText(tr("Скопировано: %1...").arg(text.left(kSelectionPreviewLength)));
}

void MainWindow::onEditPaste()
{
    if (!isDocumentLoaded())
        return;
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull()) {
        reportMarkupOutcome(tr("Вставка"), tr("Буфер обмена не содержит изображения"));
        return;
    }
    if (!applyPendingOcrEdits())
        return;
    const int page = ocrRegionPage >= 0 ? ocrRegionPage : pdfView->currentPage();
    const QSizeF pageSize = document->pageSize(page);
    QRectF placement;
    if (ocrRegionPage == page && ocrRegion.width() > 0 && ocrRegion.height() > 0) {
        // At the selection's place at its own size: a selected line of text
        // is a place to put it, not a frame to squeeze it into.
        const QRectF top = pictureRectAt(pageSize, ocrRegion.topLeft(), image);
        placement = QRectF(top.x(), pageSize.height() - (top.y() + top.height()), top.width(), top.height());
        consumeSelection();
    } else {
        placement = pastePlacement(pageSize, image.size());
    }
    if (!document->addImageToPage(page, placement.topLeft(), placement.size(), image)) {
        reportMarkupOutcome(tr("Вставка"), tr("Ошибка вставки: %1").arg(document->lastError()));
        return;
    }
    setStatusText(tr("Изображение вставлено на стр. %1").arg(page + 1));
}
