#include "PdfEngineInternal.h"

#include "FileIdentity.h"
#include "PdfDocument.h"
#include "PdfPageTransform.h"
#include "RegularFile.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace pdfengine {

QString pdfiumErrorString()
{
    switch (pdfApi().FPDF_GetLastError()) {
    case 0: return QStringLiteral("No error");
    case 1: return QStringLiteral("Unknown PDFium error");
    case 2: return QStringLiteral("File access error");
    case 3: return QStringLiteral("Invalid PDF format");
    case 4: return QStringLiteral("Password protected PDF");
    case 5: return QStringLiteral("PDF security restriction");
    case 6: return QStringLiteral("Page error");
    default: return QStringLiteral("PDFium error");
    }
}

int writePdfBlock(FPDF_FILEWRITE* record, const void* data, unsigned long size)
{
    auto* writer = reinterpret_cast<PdfBlockWriter*>(record);
    if (!writer || !writer->device)
        return 0;
    if (size == 0)
        return 1;
    if (!data)
        return 0;
    if (writer->device->write(static_cast<const char*>(data), qint64(size)) != qint64(size))
        return 0;
    // pdfium gives up the whole write on a block it could not write.
    return !writer->check || !*writer->check || (*writer->check)(writer->device->pos()) ? 1 : 0;
}

bool writeDocument(FPDF_DOCUMENT doc, QIODevice& device, FPDF_DWORD flags, const WriteCheck& check)
{
    PdfBlockWriter writer{};
    writer.base.version = 1;
    writer.base.WriteBlock = &writePdfBlock;
    writer.device = &device;
    writer.check = &check;
    return pdfApi().FPDF_SaveAsCopy(doc, &writer.base, flags) != 0;
}

int readByteArrayBlock(void* param, unsigned long position, unsigned char* buffer, unsigned long size)
{
    const auto* bytes = static_cast<const QByteArray*>(param);
    if (!bytes || !buffer)
        return 0;
    const quint64 end = quint64(position) + quint64(size);
    if (end > quint64(bytes->size()))
        return 0;
    std::memcpy(buffer, bytes->constData() + position, size);
    return 1;
}

bool sameFile(const QString& a, const QString& b)
{
    return FileIdentity::same(a, b);
}

QString noPagesText()
{
    return QStringLiteral("Документ не содержит страниц.");
}

QString unrenderedPagesText(const QList<int>& pageNumbers, int pageCount)
{
    if (pageNumbers.isEmpty())
        return {};
    if (pageNumbers.size() >= pageCount)
        return QStringLiteral("Не удалось отрисовать страницу %1.").arg(pageNumbers.first());
    QStringList numbers;
    for (int number : pageNumbers)
        numbers << QString::number(number);
    const QString text = pageNumbers.size() == 1 ? QStringLiteral("Не удалось отрисовать страницу %1; остальные страницы записаны.")
                                                 : QStringLiteral("Не удалось отрисовать страницы %1; остальные страницы записаны.");
    return text.arg(numbers.join(QStringLiteral(", ")));
}

QString ownFileTargetText()
{
    return QStringLiteral("Нельзя записать результат поверх открытого документа.");
}

QByteArray readWholeFile(const QString& path, QString* error)
{
    QByteArray bytes;
    RegularFile::read(path, PdfDocument::kMaxFileBytes, &bytes, error);
    return bytes;
}

bool fitsRenderBudget(qint64 width, qint64 height)
{
    // Divided rather than multiplied: the product of two huge sides overflows.
    return width > 0 && height > 0 && width <= PdfDocument::kMaxRenderPixels / height;
}

BitmapPtr createBitmapFromQImage(QImage& image)
{
    return BitmapPtr(pdfApi().FPDFBitmap_CreateEx(image.width(), image.height(), pdfium::kBitmapBGRA,
                                                  image.bits(), int(image.bytesPerLine())));
}

QRect pixelsOfPageRect(const QRectF& rect, double scale, double pageHeight, const QRect& image)
{
    const QRectF r = rect.normalized();
    const double left = std::max(std::floor(r.left() * scale), double(image.left()));
    const double top = std::max(std::floor((pageHeight - r.bottom()) * scale), double(image.top()));
    const double right = std::min(std::ceil(r.right() * scale), double(image.right() + 1));
    const double bottom = std::min(std::ceil((pageHeight - r.top()) * scale), double(image.bottom() + 1));
    if (!(left < right) || !(top < bottom))  // also false for NaN
        return {};
    return QRect(QPoint(int(left), int(top)), QPoint(int(right) - 1, int(bottom) - 1));
}

QImage renderLoadedPageRegion(FPDF_PAGE page, double scale, const QRectF& region, QPoint* origin)
{
    if (!page || !(scale > 0))
        return {};
    const double width = pdfApi().FPDF_GetPageWidthF(page);
    const double height = pdfApi().FPDF_GetPageHeightF(page);
    const qint64 w = std::max<qint64>(1, qint64(std::ceil(width * scale)));
    const qint64 h = std::max<qint64>(1, qint64(std::ceil(height * scale)));
    if (!fitsRenderBudget(w, h))
        return {};
    const QRect pixels = pixelsOfPageRect(region, scale, height, QRect(0, 0, int(w), int(h)));
    if (pixels.isEmpty())
        return {};
    QImage image(pixels.size(), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    image.fill(Qt::white);
    BitmapPtr bitmap = createBitmapFromQImage(image);
    if (!bitmap)
        return {};
    pdfApi().FPDFBitmap_FillRect(bitmap.get(), 0, 0, pixels.width(), pixels.height(), 0xFFFFFFFF);
    // The whole page's render, shifted so that the region's first pixel lands at the bitmap's corner.
    pdfApi().FPDF_RenderPageBitmap(bitmap.get(), page, -pixels.x(), -pixels.y(), int(w), int(h), 0,
                                   pdfium::kRenderAnnot | pdfium::kRenderLcdText);
    *origin = pixels.topLeft();
    return image;
}

QImage renderLoadedPageImage(FPDF_PAGE page, double scale)
{
    if (!page)
        return {};
    QPoint origin;
    const QSizeF size(pdfApi().FPDF_GetPageWidthF(page), pdfApi().FPDF_GetPageHeightF(page));
    // A page less than a pixel wide or high is one pixel so.
    const double pixel = scale > 0 ? 1.0 / scale : 0.0;
    return renderLoadedPageRegion(page, scale,
                                  QRectF(0, std::min(size.height() - pixel, 0.0), std::max(size.width(), pixel),
                                         std::max(size.height(), pixel)),
                                  &origin);
}

QImage qImageFromPdfiumBitmap(FPDF_BITMAP bitmap)
{
    if (!bitmap)
        return {};
    const PdfiumApi& api = pdfApi();
    const int width = api.FPDFBitmap_GetWidth(bitmap);
    const int height = api.FPDFBitmap_GetHeight(bitmap);
    const int stride = api.FPDFBitmap_GetStride(bitmap);
    const auto* buffer = static_cast<const uchar*>(api.FPDFBitmap_GetBuffer(bitmap));
    if (width < 1 || height < 1 || stride <= 0 || !buffer || !fitsRenderBudget(width, height))
        return {};
    const int format = api.FPDFBitmap_GetFormat(bitmap);
    QImage image(width, height,
                 format == pdfium::kBitmapBGRAPremul ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const uchar* src = buffer + qint64(y) * stride;
        uchar* line = image.scanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(line);
        switch (format) {
        case pdfium::kBitmapBGRA:
        case pdfium::kBitmapBGRAPremul:
            std::memcpy(line, src, size_t(std::min<qint64>(image.bytesPerLine(), stride)));
            break;
        case pdfium::kBitmapBGRx:
            if (qint64(width) * 4 > stride)
                return {};
            for (int x = 0; x < width; ++x)
                dst[x] = qRgb(src[x * 4 + 2], src[x * 4 + 1], src[x * 4]);
            break;
        case pdfium::kBitmapBGR:
            if (qint64(width) * 3 > stride)
                return {};
            for (int x = 0; x < width; ++x)
                dst[x] = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
            break;
        case pdfium::kBitmapGray:
            if (width > stride)
                return {};
            for (int x = 0; x < width; ++x)
                dst[x] = 0xFF000000u | (uint(src[x]) * 0x010101u);
            break;
        default:
            return {};
        }
    }
    return image;
}

namespace {

bool hasSeeThroughPixels(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return false;
    const QImage argb = image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_ARGB32_Premultiplied
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return true;
        }
    }
    return false;
}

bool isGreyPicture(const QImage& image)
{
    if (image.depth() == 1) {  // the toolkit counts only 8-bit tables
        const QList<QRgb> table = image.colorTable();
        return !table.isEmpty() && std::all_of(table.begin(), table.end(), [](QRgb c) { return qIsGray(c); });
    }
    return image.isGrayscale();
}

} // namespace

ImageObjectPixels pixelsForImageObject(const QImage& image)
{
    if (image.isNull())
        return {};
    if (hasSeeThroughPixels(image))
        return {image.convertToFormat(QImage::Format_ARGB32), pdfium::kBitmapBGRA};
    if (isGreyPicture(image)) {
        return {image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8),
                pdfium::kBitmapGray};
    }
    // Opaque 32-bit pixels are BGR plus a byte pdfium leaves out.
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return {image, pdfium::kBitmapBGRx};
    default:
        return {image.convertToFormat(QImage::Format_RGB32), pdfium::kBitmapBGRx};
    }
}

QVector<unsigned short> toPdfWide(const QString& text)
{
    QVector<unsigned short> units;
    units.reserve(text.size() + 1);
    for (QChar c : text)
        units.append(c.unicode());
    units.append(0);
    return units;
}

QRectF rectFromEdges(double left, double top, double right, double bottom)
{
    return QRectF(std::min(left, right), std::min(top, bottom), std::abs(right - left), std::abs(top - bottom))
        .normalized();
}

PdfPageTransform pageTransformOf(FPDF_PAGE page)
{
    FS_RECTF box{};
    if (!page || !pdfApi().FPDF_GetPageBoundingBox(page, &box))
        return {};
    const QRectF userBox = rectFromEdges(box.left, box.top, box.right, box.bottom);
    return PdfPageTransform(userBox, pdfApi().FPDFPage_GetRotation(page));
}

LoadedTextPage loadTextPage(FPDF_DOCUMENT doc, int pageIndex)
{
    LoadedTextPage loaded;
    if (!doc || pageIndex < 0)
        return loaded;
    loaded.page.reset(pdfApi().FPDF_LoadPage(doc, pageIndex));
    if (!loaded.page)
        return loaded;
    loaded.text.reset(pdfApi().FPDFText_LoadPage(loaded.page.get()));
    loaded.transform = pageTransformOf(loaded.page.get());
    return loaded;
}

PagePtr loadPageIfAny(FPDF_DOCUMENT doc, int pageIndex)
{
    if (!doc || pageIndex < 0 || pageIndex >= pdfApi().FPDF_GetPageCount(doc))
        return {};
    return PagePtr(pdfApi().FPDF_LoadPage(doc, pageIndex));
}

QRectF pageObjectBounds(FPDF_PAGEOBJECT object, int type)
{
    const PdfiumApi& api = pdfApi();
    if (type == pdfium::kPageObjImage) {
        FS_QUADPOINTSF quad{};
        if (api.FPDFPageObj_GetRotatedBounds(object, &quad)) {
            const float xs[] = {quad.x1, quad.x2, quad.x3, quad.x4};
            const float ys[] = {quad.y1, quad.y2, quad.y3, quad.y4};
            const auto [minX, maxX] = std::minmax_element(std::begin(xs), std::end(xs));
            const auto [minY, maxY] = std::minmax_element(std::begin(ys), std::end(ys));
            return QRectF(QPointF(*minX, *minY), QPointF(*maxX, *maxY)).normalized();
        }
    }
    float left = 0, bottom = 0, right = 0, top = 0;
    if (!api.FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top))
        return {};
    return rectFromEdges(left, top, right, bottom);
}

bool insertImageObject(FPDF_DOCUMENT doc, FPDF_PAGE page, const QRectF& rect, const QImage& image,
                       const QTransform& after)
{
    constexpr double kMinImageSide = 0.1;
    if (!doc || !page || image.isNull() || rect.width() <= kMinImageSide || rect.height() <= kMinImageSide)
        return false;
    const ImageObjectPixels pixels = pixelsForImageObject(image);
    if (pixels.image.isNull())
        return false;
    const PdfiumApi& api = pdfApi();
    // pdfium only reads the pixels: no copy of the image is made.
    BitmapPtr bitmap(api.FPDFBitmap_CreateEx(pixels.image.width(), pixels.image.height(), pixels.format,
                                             const_cast<uchar*>(pixels.image.constBits()),
                                             int(pixels.image.bytesPerLine())));
    if (!bitmap)
        return false;
    PageObjectPtr object(api.FPDFPageObj_NewImageObj(doc));
    if (!object)
        return false;
    FPDF_PAGE pages[] = {page};
    if (!api.FPDFImageObj_SetBitmap(pages, 1, object.get(), bitmap.get()))
        return false;
    if (!api.FPDFImageObj_SetMatrix(object.get(), rect.width(), 0, 0, rect.height(), rect.x(), rect.y()))
        return false;
    if (!after.isIdentity())
        api.FPDFPageObj_Transform(object.get(), after.m11(), after.m12(), after.m21(), after.m22(), after.dx(), after.dy());
    if (!api.FPDFPage_InsertObject(page, object.get()))
        return false;
    object.release();  // the page owns it now
    return true;
}

} // namespace pdfengine
