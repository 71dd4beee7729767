// Page rendering: whole pages, single object layers and regions.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"

#include <cmath>
#include <vector>

using namespace pdfengine;

namespace {

struct RemovedObject {
    int index;
    FPDF_PAGEOBJECT object;
};

bool layerTakesObject(PdfRenderLayer layer, int objectType)
{
    if (layer == PdfRenderWithoutText)
        return objectType == pdfium::kPageObjText;
    if (layer == PdfRenderTextOnly)
        return objectType != pdfium::kPageObjText;
    return false;
}

// Takes the objects the layer leaves out off the page, last index first.
std::vector<RemovedObject> removeObjectsForLayer(FPDF_PAGE page, PdfRenderLayer layer)
{
    std::vector<RemovedObject> removed;
    if (layer != PdfRenderWithoutText && layer != PdfRenderTextOnly)
        return removed;
    const PdfiumApi& api = pdfApi();
    for (int i = api.FPDFPage_CountObjects(page) - 1; i >= 0; --i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        if (object && layerTakesObject(layer, api.FPDFPageObj_GetType(object)) && api.FPDFPage_RemoveObject(page, object))
            removed.push_back({i, object});
    }
    return removed;
}

// Puts the objects back at their former indices, lowest first, so the page
// ends with its objects in their first order.
void restoreObjects(FPDF_PAGE page, std::vector<RemovedObject> removed)
{
    const PdfiumApi& api = pdfApi();
    for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
        if (!api.FPDFPage_InsertObjectAtIndex(page, it->object, size_t(it->index)))
            api.FPDFPageObj_Destroy(it->object);
    }
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
    if (!page)
        return {};
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

    std::vector<RemovedObject> removed = removeObjectsForLayer(page.get(), layer);
    if (BitmapPtr bitmap = createBitmapFromQImage(image)) {
        pdfApi().FPDFBitmap_FillRect(bitmap.get(), 0, 0, int(width), int(height),
                                     transparentBackground ? 0x00000000 : 0xFFFFFFFF);
        pdfApi().FPDF_RenderPageBitmap(bitmap.get(), page.get(), 0, 0, int(width), int(height), turns,
                                       pdfium::kRenderAnnot | pdfium::kRenderLcdText);
    }
    restoreObjects(page.get(), std::move(removed));
    // The page closes without regenerating its content: a render never changes the document.
    return image;
}

QImage PdfDocument::renderPage(int pageIndex, double scale, int rotation) const
{
    return renderPageLayer(pageIndex, scale, rotation, PdfRenderAll, false);
}

QImage PdfDocument::renderPageRegion(int pageIndex, double scale, const QRectF& region) const
{
    const QImage page = renderPageLayer(pageIndex, scale, 0, PdfRenderAll, false);
    if (page.isNull())
        return {};
    const double pageHeight = pageSize(pageIndex).height();
    const QRect pixels = QRect(int(std::round(region.x() * scale)),
                               int(std::round((pageHeight - (region.y() + region.height())) * scale)),
                               int(std::round(region.width() * scale)), int(std::round(region.height() * scale)))
                             .normalized()
                             .intersected(page.rect());
    if (pixels.isEmpty())
        return {};
    return page.copy(pixels);
}
