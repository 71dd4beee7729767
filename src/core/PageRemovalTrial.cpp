#include "PageRemovalTrial.h"

#include "PageOwnContent.h"
#include "PdfEngineInternal.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

constexpr double kTrialScale = 1.0;       // 72 dpi
constexpr int kAreaMarginPixels = 2;      // anti-aliasing around an edited box
constexpr int kChannelTolerance = 24;     // rounding of re-written coordinates, not lost ink
constexpr double kCharDriftPoints = 1.0;

struct PlacedChar {
    unsigned code = 0;
    QPointF centre;
};

bool insideAny(const std::vector<QRectF>& areas, const QPointF& point)
{
    return std::any_of(areas.begin(), areas.end(), [&](const QRectF& r) { return r.contains(point); });
}

// The page's characters outside the areas, in pdfium's order.
std::vector<PlacedChar> charsOutside(FPDF_PAGE page, const std::vector<QRectF>& areas)
{
    const PdfiumApi& api = pdfApi();
    std::vector<PlacedChar> chars;
    TextPagePtr text(api.FPDFText_LoadPage(page));
    if (!text)
        return chars;
    const PdfPageTransform transform = pageTransformOf(page);
    const int count = api.FPDFText_CountChars(text.get());
    for (int i = 0; i < count; ++i) {
        double left = 0, right = 0, bottom = 0, top = 0;
        if (api.FPDFText_IsGenerated(text.get(), i) == 1 ||
            !api.FPDFText_GetCharBox(text.get(), i, &left, &right, &bottom, &top))
            continue;
        const QPointF centre = transform.toPage(rectFromEdges(left, top, right, bottom)).center();
        if (!insideAny(areas, centre))
            chars.push_back({api.FPDFText_GetUnicode(text.get(), i), centre});
    }
    return chars;
}

bool sameChars(const std::vector<PlacedChar>& a, const std::vector<PlacedChar>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const QPointF drift = a[i].centre - b[i].centre;
        if (a[i].code != b[i].code || std::abs(drift.x()) > kCharDriftPoints || std::abs(drift.y()) > kCharDriftPoints)
            return false;
    }
    return true;
}

bool sameOutside(const QImage& before, const QImage& after, const std::vector<QRectF>& areas, double pageHeight)
{
    if (before.isNull() || before.size() != after.size())
        return false;
    std::vector<QRect> skipped;
    for (const QRectF& r : areas)
        skipped.push_back(QRect(int(std::floor(r.x() * kTrialScale)) - kAreaMarginPixels,
                                int(std::floor((pageHeight - r.y() - r.height()) * kTrialScale)) - kAreaMarginPixels,
                                int(std::ceil(r.width() * kTrialScale)) + 2 * kAreaMarginPixels + 1,
                                int(std::ceil(r.height() * kTrialScale)) + 2 * kAreaMarginPixels + 1));
    const QImage a = before.convertToFormat(QImage::Format_ARGB32);
    const QImage b = after.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (rowA[x] == rowB[x])
                continue;
            const bool differs = std::abs(qRed(rowA[x]) - qRed(rowB[x])) > kChannelTolerance ||
                                 std::abs(qGreen(rowA[x]) - qGreen(rowB[x])) > kChannelTolerance ||
                                 std::abs(qBlue(rowA[x]) - qBlue(rowB[x])) > kChannelTolerance;
            if (differs && std::none_of(skipped.begin(), skipped.end(), [&](const QRect& r) { return r.contains(x, y); }))
                return false;
        }
    }
    return true;
}

} // namespace

bool removalChangesOnlyInside(FPDF_DOCUMENT doc, int pageIndex, const std::vector<int>& indices,
                              const std::vector<QRectF>& areas)
{
    const PdfiumApi& api = pdfApi();
    DocumentPtr scratch(api.FPDF_CreateNewDocument());
    if (!scratch || !api.FPDF_ImportPagesByIndex(scratch.get(), doc, &pageIndex, 1, 0))
        return false;
    PagePtr page(api.FPDF_LoadPage(scratch.get(), 0));
    if (!page)
        return false;
    const double pageHeight = api.FPDF_GetPageHeightF(page.get());
    const QImage before = renderLoadedPageImage(page.get(), kTrialScale);
    const std::vector<PlacedChar> textBefore = charsOutside(page.get(), areas);
    const int count = api.FPDFPage_CountObjects(page.get());
    std::vector<int> sorted = indices;
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    for (int index : sorted) {
        FPDF_PAGEOBJECT object = index < count ? api.FPDFPage_GetObject(page.get(), index) : nullptr;
        if (!object || !api.FPDFPage_RemoveObject(page.get(), object))
            return false;
        api.FPDFPageObj_Destroy(object);
    }
    if (!api.FPDFPage_GenerateContent(page.get()))
        return false;
    page.reset(api.FPDF_LoadPage(scratch.get(), 0));  // read back what pdfium wrote
    if (!page)
        return false;
    return sameOutside(before, renderLoadedPageImage(page.get(), kTrialScale), areas, pageHeight) &&
           sameChars(textBefore, charsOutside(page.get(), areas));
}

bool appendedContentReads(FPDF_DOCUMENT doc, int pageIndex)
{
    const PdfiumApi& api = pdfApi();
    DocumentPtr scratch(api.FPDF_CreateNewDocument());
    if (!scratch || !api.FPDF_ImportPagesByIndex(scratch.get(), doc, &pageIndex, 1, 0))
        return false;
    PagePtr page(api.FPDF_LoadPage(scratch.get(), 0));
    if (!page)
        return false;
    const int before = countOwnObjects(page.get());
    PageObjectPtr probe(api.FPDFPageObj_CreateNewRect(0, 0, 1, 1));  // a path must paint to be read back
    if (!probe || !api.FPDFPath_SetDrawMode(probe.get(), pdfium::kFillModeWinding, 0) || !markAsOwn(probe.get()) ||
        !api.FPDFPage_InsertObject(page.get(), probe.get()))
        return false;
    probe.release();
    if (!api.FPDFPage_GenerateContent(page.get()))
        return false;
    page.reset(api.FPDF_LoadPage(scratch.get(), 0));
    return page && countOwnObjects(page.get()) > before;
}

} // namespace pdfengine
