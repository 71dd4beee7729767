// Page rendering: whole pages, single object layers and regions.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"

#include <cmath>
#include <vector>

using namespace pdfengine;

namespace {

bool layerTakesObject(PdfRenderLayer layer, int objectType)
{
    if (layer == PdfRenderWithoutText)
        return objectType == pdfium::kPageObjText;
    if (layer == PdfRenderTextOnly)
        return objectType != pdfium::kPageObjText;
    return false;
}

// Switches off the objects the layer leaves out. Unlike removing them, this is
// linear in the number of objects and leaves the page's object list as it is.
std::vector<FPDF_PAGEOBJECT> hideObjectsForLayer(FPDF_PAGE page, PdfRenderLayer layer)
{
    std::vector<FPDF_PAGEOBJECT> hidden;
    if (layer != PdfRenderWithoutText && layer != PdfRenderTextOnly)
        return hidden;
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        if (object && layerTakesObject(layer, api.FPDFPageObj_GetType(object)) &&
            api.FPDFPageObj_SetIsActive(object, false))
            hidden.push_back(object);
    }
    return hidden;
}

void showObjects(const std::vector<FPDF_PAGEOBJECT>& hidden)
{
    for (FPDF_PAGEOBJECT object : hidden)
        pdfApi().FPDFPageObj_SetIsActive(object, true);
}

int quarterTurnsOf(int rotation)
{
    return ((rotation % 360) + 360) % 360 / 90;
}

} // namespace

QImage PdfDocument::renderPageLayer(int pageIndex, double scale, int rotation, PdfRenderLayer layer,
                                    bool transparentBackground) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0 || !(scale > 0) || !std::isfinite(scale))
        return {};
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page) {
        setLastError(QStringLiteral("Не удалось отрисовать страницу %1.").arg(pageIndex + 1));
        return {};
    }
    const double pageWidth = pdfApi().FPDF_GetPageWidthF(page.get());
    const double pageHeight = pdfApi().FPDF_GetPageHeightF(page.get());
    const int turns = quarterTurnsOf(rotation);
    const double scaledWidth = std::ceil((turns % 2 ? pageHeight : pageWidth) * scale);
    const double scaledHeight = std::ceil((turns % 2 ? pageWidth : pageHeight) * scale);
    const qint64 width = std::max<qint64>(1, qint64(std::min(scaledWidth, 1e12)));
    const qint64 height = std::max<qint64>(1, qint64(std::min(scaledHeight, 1e12)));
    if (!fitsRenderBudget(width, height)) {
        setLastError(QStringLiteral("Страница слишком велика для отрисовки в этом масштабе (%1 × %2 точек).")
                         .arg(width)
                         .arg(height));
        return {};
    }
    QImage image(int(width), int(height), QImage::Format_ARGB32);
    if (image.isNull()) {
        setLastError(QStringLiteral("Недостаточно памяти для отрисовки страницы."));
        return {};
    }
    image.fill(transparentBackground ? Qt::transparent : Qt::white);

    BitmapPtr bitmap = createBitmapFromQImage(image);
    if (!bitmap) {
        setLastError(QStringLiteral("Не удалось отрисовать страницу %1.").arg(pageIndex + 1));
        return {};
    }
    const std::vector<FPDF_PAGEOBJECT> hidden = hideObjectsForLayer(page.get(), layer);
    pdfApi().FPDFBitmap_FillRect(bitmap.get(), 0, 0, int(width), int(height),
                                 transparentBackground ? 0x00000000 : 0xFFFFFFFF);
    pdfApi().FPDF_RenderPageBitmap(bitmap.get(), page.get(), 0, 0, int(width), int(height), turns,
                                   pdfium::kRenderAnnot | pdfium::kRenderLcdText);
    showObjects(hidden);
    // The page closes without regenerating its content: a render never changes the document.
    return image;
}

QImage PdfDocument::renderPage(int pageIndex, double scale, int rotation) const
{
    return renderPageLayer(pageIndex, scale, rotation, PdfRenderAll, false);
}

QImage PdfDocument::renderPageRegion(int pageIndex, double scale, const QRectF& region) const
{
    // Every edge is checked in double before it becomes a pixel index.
    constexpr double kLargestPixel = 1e9;
    const double pageHeight = pageSize(pageIndex).height();
    const double edges[] = {std::round(region.x() * scale),
                            std::round((pageHeight - (region.y() + region.height())) * scale),
                            std::round(region.width() * scale), std::round(region.height() * scale)};
    for (double edge : edges) {
        if (!std::isfinite(edge) || std::abs(edge) > kLargestPixel) {
            setLastError(QStringLiteral("Неверная область страницы."));
            return {};
        }
    }
    const QImage page = renderPageLayer(pageIndex, scale, 0, PdfRenderAll, false);
    if (page.isNull())
        return {};
    const QRect pixels =
        QRect(int(edges[0]), int(edges[1]), int(edges[2]), int(edges[3])).normalized().intersected(page.rect());
    if (pixels.isEmpty())
        return {};
    return page.copy(pixels);
}
