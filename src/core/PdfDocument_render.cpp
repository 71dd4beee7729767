// Page rendering: whole pages, single object layers and regions.
#include "PdfDocument.h"

#include "PageRemovalTrial.h"
#include "PdfEngineInternal.h"

#include <QRectF>

#include <algorithm>
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

// Whether a form draws text, at any depth pdfium reads.
bool formHoldsText(FPDF_PAGEOBJECT form, int depth = 0)
{
    constexpr int kDeepestForm = 12;
    const PdfiumApi& api = pdfApi();
    const int count = depth > kDeepestForm ? 0 : api.FPDFFormObj_CountObjects(form);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFFormObj_GetObject(form, static_cast<unsigned long>(i));
        const int type = object ? api.FPDFPageObj_GetType(object) : 0;
        if (type == pdfium::kPageObjText || (type == pdfium::kPageObjForm && formHoldsText(object, depth + 1)))
            return true;
    }
    return false;
}

// Switches off every object but the pictures, paths and forms drawn over
// text drawn before them: their boxes reach into the box of a text object,
// or of a form drawing text, that comes earlier. Text over text stays off:
// a line's own glyphs would stand among them.
std::vector<FPDF_PAGEOBJECT> hideAllButCovers(FPDF_PAGE page)
{
    constexpr int kMostObjects = 100000;  // a drawing's page shows no covers rather than stall
    const PdfiumApi& api = pdfApi();
    std::vector<FPDF_PAGEOBJECT> hidden;
    std::vector<QRectF> text;
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        float left = 0, bottom = 0, right = 0, top = 0;
        if (!object)
            continue;
        const int type = api.FPDFPageObj_GetType(object);
        const bool hasBox = api.FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top);
        const QRectF box(QPointF(left, bottom), QPointF(right, top));
        const bool over = hasBox && type != pdfium::kPageObjText && count <= kMostObjects &&
                          std::any_of(text.begin(), text.end(), [&](const QRectF& t) { return t.intersects(box); });
        if (!over && api.FPDFPageObj_SetIsActive(object, false))
            hidden.push_back(object);
        if (hasBox && (type == pdfium::kPageObjText || (type == pdfium::kPageObjForm && formHoldsText(object))))
            text.push_back(box);
    }
    return hidden;
}

// Switches off the objects the layer leaves out. Unlike removing them, this is
// linear in the number of objects and leaves the page's object list as it is.
std::vector<FPDF_PAGEOBJECT> hideObjectsForLayer(FPDF_PAGE page, PdfRenderLayer layer)
{
    std::vector<FPDF_PAGEOBJECT> hidden;
    if (layer == PdfRenderOverText)
        return hideAllButCovers(page);
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

QImage PdfDocument::renderPageWritten(int pageIndex, const std::vector<TextBlock>& blocks, double scale, int rotation,
                                      QString* error) const
{
    PdfDocument copy;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_doc || pageIndex < 0 || pageIndex >= pdfApi().FPDF_GetPageCount(m_doc))
            return {};
        QByteArray bytes;
        QString why;
        if (!documentBytesUnlocked(&bytes, &why) || !copy.loadFromBytesUnlocked(bytes, QString())) {
            if (error)
                *error = why.isEmpty() ? copy.lastError() : why;
            return {};
        }
    }
    // A preview never waits on poppler under the engine's lock: the save's
    // own trial still makes that check.
    const PdfiumOnlyTrials pdfiumOnly;
    const bool written =
        blocks.empty() ? copy.removeInvisibleTextLayer(pageIndex) : copy.overlayOcrText(pageIndex, blocks, false);
    if (!written) {
        if (error)
            *error = copy.lastError();
        return {};
    }
    return copy.renderPageLayer(pageIndex, scale, rotation, PdfRenderAll, false);
}
