// Native image extraction: image objects and coloured ink regions of a page.
#include "PdfDocument.h"

#include "PageOwnContent.h"
#include "PdfEngineInternal.h"
#include "TextBlock.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace pdfengine;

namespace {

constexpr double kInkRenderScale = 2.0;
constexpr int kMaxFormDepth = 5;
constexpr int kMinComponentPixels = 40;
constexpr int kMinComponentSide = 4;    // pixels; a component must be wider and higher
constexpr int kMergeReach = 12;         // pixels between strokes that still merge
constexpr int kRegionGrowth = 2;        // pixels added around a merged region
constexpr double kMaxInkAreaShare = 0.2;
constexpr double kMaxObjectOverlap = 0.55;
constexpr double kMaxPictureScale = 300.0 / 72.0;  // pictures no finer than 300 dpi
constexpr double kMaxPicturePixels = 8e6;

struct ImageCandidate {
    QRectF rect;
    QImage image;
    bool inkRegion = false;
};

bool isUsablePageImageRect(const QRectF& rect, const QSizeF& pageSize)
{
    const double w = rect.width();
    const double h = rect.height();
    const double W = pageSize.width();
    const double H = pageSize.height();
    if (!(w > 0 && h > 0) || w < 4 || h < 4)
        return false;
    if (w * h > 0.6 * std::max(W * H, 1.0))
        return false;
    if (w > 0.86 * W && h > 0.86 * H)
        return false;
    const double ratio = w / h;
    return ratio >= 1.0 / 35 && ratio <= 35;
}

bool isColoredInkPixel(QRgb argb)
{
    const int r = qRed(argb), g = qGreen(argb), b = qBlue(argb);
    const int maxC = std::max({r, g, b});
    const int minC = std::min({r, g, b});
    return maxC >= 35 && minC <= 248 && maxC - minC > 19;
}

bool formContainsImageObject(FPDF_PAGEOBJECT form, int depth)
{
    if (depth >= kMaxFormDepth)
        return false;
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFFormObj_CountObjects(form);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT child = api.FPDFFormObj_GetObject(form, (unsigned long)i);
        const int type = child ? api.FPDFPageObj_GetType(child) : pdfium::kPageObjUnknown;
        if (type == pdfium::kPageObjImage)
            return true;
        if (type == pdfium::kPageObjForm && formContainsImageObject(child, depth + 1))
            return true;
    }
    return false;
}

// pdfium draws an image object at one pixel per point; drawn larger by this
// factor, the picture keeps the image's own pixels (up to 300 dpi), so a moved
// block is not blurred.
double pictureScale(FPDF_PAGEOBJECT object, const FS_MATRIX& m, const QRectF& bounds)
{
    unsigned int width = 0, height = 0;
    const double across = std::hypot(m.a, m.b), down = std::hypot(m.c, m.d);
    if (!pdfApi().FPDFImageObj_GetImagePixelSize(object, &width, &height) || across <= 0 || down <= 0)
        return 1.0;
    const double budget = std::sqrt(kMaxPicturePixels / std::max(bounds.width() * bounds.height(), 1.0));
    return std::clamp(std::min({std::max(width / across, height / down), kMaxPictureScale, budget}), 1.0,
                      kMaxPictureScale);
}

// The picture as the displayed page shows it: pdfium draws it in user space,
// which a /Rotate page turns clockwise by quarter turns. The object is drawn
// from a page instance of its own, so scaling it for the picture changes
// nothing the document keeps; the matrix is put back all the same.
QImage imageObjectPicture(FPDF_DOCUMENT doc, FPDF_PAGE page, FPDF_PAGEOBJECT object, const QRectF& bounds,
                          int quarterTurns)
{
    const PdfiumApi& api = pdfApi();
    FS_MATRIX matrix{};
    const bool scaled = api.FPDFPageObj_GetMatrix(object, &matrix);
    const double scale = scaled ? pictureScale(object, matrix, bounds) : 1.0;
    if (scale > 1.0) {
        const FS_MATRIX larger{float(matrix.a * scale), float(matrix.b * scale), float(matrix.c * scale),
                               float(matrix.d * scale), matrix.e, matrix.f};
        api.FPDFPageObj_SetMatrix(object, &larger);
    }
    BitmapPtr bitmap(api.FPDFImageObj_GetRenderedBitmap(doc, page, object));
    if (scale > 1.0)
        api.FPDFPageObj_SetMatrix(object, &matrix);
    if (!bitmap)
        bitmap.reset(pdfApi().FPDFImageObj_GetBitmap(object));
    const QImage picture = bitmap ? qImageFromPdfiumBitmap(bitmap.get()) : QImage();
    const int turns = ((quarterTurns % 4) + 4) % 4;
    return turns == 0 || picture.isNull() ? picture : picture.transformed(QTransform().rotate(90.0 * turns));
}

// A picture the program moved away stays under the white-out of its old place.
bool hiddenUnderOwnWhiteOut(FPDF_PAGEOBJECT object, const QRectF& userRect, const std::vector<QRectF>& whiteOuts)
{
    constexpr double kSlack = 0.05;
    return std::any_of(whiteOuts.begin(), whiteOuts.end(),
                       [&](const QRectF& w) { return w.adjusted(-kSlack, -kSlack, kSlack, kSlack).contains(userRect); }) &&
           !isOwnObject(object);
}

// Image objects and forms holding images, in page-object order (lock held).
std::vector<ImageCandidate> objectCandidates(FPDF_DOCUMENT doc, FPDF_PAGE page, const QSizeF& pageSize)
{
    const PdfiumApi& api = pdfApi();
    const PdfPageTransform transform = pageTransformOf(page);
    std::vector<ImageCandidate> candidates;
    const std::vector<QRectF> whiteOuts = ownWhiteOuts(page);
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        const int type = object ? api.FPDFPageObj_GetType(object) : pdfium::kPageObjUnknown;
        const bool isImage = type == pdfium::kPageObjImage;
        if (!isImage && !(type == pdfium::kPageObjForm && formContainsImageObject(object, 0)))
            continue;
        const QRectF userRect = pageObjectBounds(object, type);
        const QRectF rect = transform.toPage(userRect);
        if (!isUsablePageImageRect(rect, pageSize) || hiddenUnderOwnWhiteOut(object, userRect, whiteOuts))
            continue;
        ImageCandidate candidate;
        candidate.rect = rect;
        if (isImage)
            candidate.image = imageObjectPicture(doc, page, object, rect, transform.quarterTurns());
        candidates.push_back(candidate);
    }
    return candidates;
}

// Boxes of 8-connected coloured ink, as inclusive-exclusive pixel rectangles.
std::vector<QRect> coloredComponents(const QImage& render)
{
    const int width = render.width();
    const int height = render.height();
    std::vector<QRect> boxes;
    if (width <= 0 || height <= 0)
        return boxes;
    std::vector<uchar> taken(size_t(width) * size_t(height), 0);
    std::vector<qint64> stack;
    stack.reserve(4096);
    auto ink = [&](int x, int y) {
        return isColoredInkPixel(reinterpret_cast<const QRgb*>(render.constScanLine(y))[x]);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const qint64 index = qint64(y) * width + x;
            if (taken[size_t(index)] || !ink(x, y))
                continue;
            taken[size_t(index)] = 1;
            stack.push_back(index);
            int pixels = 0, minX = x, maxX = x, minY = y, maxY = y;
            while (!stack.empty()) {
                const qint64 current = stack.back();
                stack.pop_back();
                const int cx = int(current % width);
                const int cy = int(current / width);
                ++pixels;
                minX = std::min(minX, cx);
                maxX = std::max(maxX, cx);
                minY = std::min(minY, cy);
                maxY = std::max(maxY, cy);
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = cx + dx, ny = cy + dy;
                        if ((dx || dy) && nx >= 0 && ny >= 0 && nx < width && ny < height) {
                            const qint64 neighbour = qint64(ny) * width + nx;
                            if (!taken[size_t(neighbour)] && ink(nx, ny)) {
                                taken[size_t(neighbour)] = 1;
                                stack.push_back(neighbour);
                            }
                        }
                    }
                }
            }
            if (pixels >= kMinComponentPixels && maxX + 1 - minX > kMinComponentSide &&
                maxY + 1 - minY > kMinComponentSide)
                boxes.push_back(QRect(QPoint(minX, minY), QPoint(maxX + 1, maxY + 1)));
        }
    }
    return boxes;
}

// Merges boxes that come within kMergeReach pixels of each other until no two
// do. A grown box is compared again with every later box before moving on.
void mergeNearbyBoxes(std::vector<QRect>& boxes)
{
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < boxes.size(); ++i) {
            for (size_t j = i + 1; j < boxes.size();) {
                const QRect reach = boxes[i].adjusted(-kMergeReach, -kMergeReach, kMergeReach, kMergeReach);
                if (reach.intersects(boxes[j])) {
                    boxes[i] = boxes[i].united(boxes[j]);
                    boxes.erase(boxes.begin() + qsizetype(j));
                    merged = true;
                    j = i + 1;
                } else {
                    ++j;
                }
            }
        }
    }
}

double overlapShare(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.intersected(b);
    const double area = common.isEmpty() ? 0.0 : common.width() * common.height();
    const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
    return smaller > 1.0 ? area / smaller : area;
}

QRectF pixelBoxToPage(const QRect& box, double pageHeight)
{
    const QRect grown = box.adjusted(-kRegionGrowth, -kRegionGrowth, kRegionGrowth, kRegionGrowth);
    const double width = std::max(grown.right() - grown.left() + 1, 1) / kInkRenderScale;
    const double height = std::max(grown.bottom() - grown.top() + 1, 1) / kInkRenderScale;
    return QRectF(grown.left() / kInkRenderScale, pageHeight - grown.top() / kInkRenderScale - height, width, height)
        .normalized();
}

std::vector<ImageCandidate> inkCandidates(const QImage& render, const QSizeF& pageSize,
                                          const std::vector<ImageCandidate>& objects)
{
    std::vector<QRect> boxes = coloredComponents(render);
    mergeNearbyBoxes(boxes);
    std::vector<ImageCandidate> candidates;
    const double pageArea = std::max(pageSize.width() * pageSize.height(), 1.0);
    for (const QRect& box : boxes) {
        const QRectF rect = pixelBoxToPage(box, pageSize.height());
        if (!isUsablePageImageRect(rect, pageSize) || rect.width() * rect.height() > kMaxInkAreaShare * pageArea)
            continue;
        const bool coversObject = std::any_of(objects.begin(), objects.end(), [&](const ImageCandidate& object) {
            return overlapShare(rect, object.rect) > kMaxObjectOverlap;
        });
        if (coversObject)
            continue;
        ImageCandidate candidate;
        candidate.rect = rect;
        candidate.inkRegion = true;
        candidates.push_back(candidate);
    }
    return candidates;
}

QImage cutFromRender(const QImage& render, const QRectF& rect, double pageHeight)
{
    if (render.isNull())
        return {};
    const QRect pixels = pixelsOfPageRect(rect, kInkRenderScale, pageHeight, render.rect());
    if (pixels.isEmpty())
        return {};
    return render.copy(pixels).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Only the coloured strokes stay; everything else turns transparent white.
QImage keepColoredInk(const QImage& picture)
{
    QImage ink = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < ink.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(ink.scanLine(y));
        for (int x = 0; x < ink.width(); ++x)
            if (!isColoredInkPixel(row[x]))
                row[x] = qRgba(255, 255, 255, 0);
    }
    return ink;
}

TextBlock imageBlock(const ImageCandidate& candidate, const QImage& picture, int pageIndex)
{
    TextBlock block;
    block.text = QStringLiteral("[image]");
    block.rect = candidate.rect;
    block.originalRect = candidate.rect;
    block.image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    block.pageIndex = pageIndex;
    block.isImage = true;
    block.inkRegion = candidate.inkRegion;
    return block;
}

} // namespace

std::vector<TextBlock> PdfDocument::extractImages(int pageIndex) const
{
    std::vector<ImageCandidate> candidates;
    QSizeF pageSize;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_doc || pageIndex < 0)
            return {};
        PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
        if (!page)
            return {};
        pageSize = QSizeF(pdfApi().FPDF_GetPageWidthF(page.get()), pdfApi().FPDF_GetPageHeightF(page.get()));
        candidates = objectCandidates(m_doc, page.get(), pageSize);
    }

    QImage render = renderPageLayer(pageIndex, kInkRenderScale, 0, PdfRenderAll, false);
    if (!render.isNull()) {
        render = render.convertToFormat(QImage::Format_RGB32);
        const std::vector<ImageCandidate> ink = inkCandidates(render, pageSize, candidates);
        candidates.insert(candidates.end(), ink.begin(), ink.end());
    }

    std::vector<TextBlock> blocks;
    for (const ImageCandidate& candidate : candidates) {
        QImage picture = candidate.image.isNull() ? cutFromRender(render, candidate.rect, pageSize.height())
                                                  : candidate.image;
        if (candidate.inkRegion && !picture.isNull())
            picture = keepColoredInk(picture);
        if (!picture.isNull())
            blocks.push_back(imageBlock(candidate, picture, pageIndex));
    }
    return blocks;
}
