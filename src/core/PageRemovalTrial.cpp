#include "PageRemovalTrial.h"

#include "PageOwnContent.h"
#include "PdfEngineInternal.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace pdfengine {

namespace {

constexpr int kAreaMarginPixels = 2;      // anti-aliasing around an edited box
constexpr int kChannelTolerance = 24;     // rounding of re-written coordinates, not lost ink
constexpr double kCharDriftPoints = 1.0;
constexpr double kBytesTrialDpi = 150;
constexpr double kMaxChangedShare = 0.0002;  // anti-aliasing along an edge, not a lost mark
constexpr int kPopplerTimeoutMs = 20000;

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

// The same characters at the same places, in whatever order pdfium reads
// them: taking a line away may change the reading order of the others.
bool sameChars(std::vector<PlacedChar> a, std::vector<PlacedChar> b)
{
    if (a.size() != b.size())
        return false;
    const auto byCodeAndPlace = [](const PlacedChar& x, const PlacedChar& y) {
        return std::make_tuple(x.code, std::lround(x.centre.y()), std::lround(x.centre.x())) <
               std::make_tuple(y.code, std::lround(y.centre.y()), std::lround(y.centre.x()));
    };
    std::sort(a.begin(), a.end(), byCodeAndPlace);
    std::sort(b.begin(), b.end(), byCodeAndPlace);
    for (size_t i = 0; i < a.size(); ++i) {
        const QPointF drift = a[i].centre - b[i].centre;
        if (a[i].code != b[i].code || std::abs(drift.x()) > kCharDriftPoints || std::abs(drift.y()) > kCharDriftPoints)
            return false;
    }
    return true;
}

// Whether two pixels differ by more than rounding: per channel, or in grey.
bool pixelsDiffer(const uchar* a, const uchar* b, int x, bool grey)
{
    if (grey)
        return std::abs(int(a[x]) - int(b[x])) > kChannelTolerance;
    const QRgb p = reinterpret_cast<const QRgb*>(a)[x];
    const QRgb q = reinterpret_cast<const QRgb*>(b)[x];
    return p != q && (std::abs(qRed(p) - qRed(q)) > kChannelTolerance ||
                      std::abs(qGreen(p) - qGreen(q)) > kChannelTolerance ||
                      std::abs(qBlue(p) - qBlue(q)) > kChannelTolerance);
}

// Pixels of before and after that differ outside the areas (points, scaled).
// Rows that are byte for byte the same, most of a page, are passed over whole.
qint64 changedOutside(const QImage& before, const QImage& after, const std::vector<QRectF>& areas, double pageHeight,
                      double scale, qint64* total)
{
    std::vector<QRect> skipped;
    for (const QRectF& r : areas)
        skipped.push_back(QRect(int(std::floor(r.x() * scale)) - kAreaMarginPixels,
                                int(std::floor((pageHeight - r.y() - r.height()) * scale)) - kAreaMarginPixels,
                                int(std::ceil(r.width() * scale)) + 2 * kAreaMarginPixels + 1,
                                int(std::ceil(r.height() * scale)) + 2 * kAreaMarginPixels + 1));
    const bool grey = before.format() == QImage::Format_Grayscale8 && after.format() == QImage::Format_Grayscale8;
    const QImage a = grey ? before : before.convertToFormat(QImage::Format_ARGB32);
    const QImage b = grey ? after : after.convertToFormat(QImage::Format_ARGB32);
    const size_t rowBytes = size_t(a.width()) * (grey ? 1 : 4);
    qint64 changed = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* rowA = a.constScanLine(y);
        const uchar* rowB = b.constScanLine(y);
        if (std::memcmp(rowA, rowB, rowBytes) == 0)
            continue;
        for (int x = 0; x < a.width(); ++x) {
            if (pixelsDiffer(rowA, rowB, x, grey) &&
                std::none_of(skipped.begin(), skipped.end(), [&](const QRect& r) { return r.contains(x, y); }))
                ++changed;
        }
    }
    *total = qint64(a.width()) * a.height();
    return changed;
}

// Whether two renders of one page differ outside the areas by more than edge noise.
bool closeOutside(const QImage& before, const QImage& after, const std::vector<QRectF>& areas, double pageHeight,
                  double scale)
{
    if (before.isNull() || before.size() != after.size())
        return false;
    qint64 total = 0;
    const qint64 changed = changedOutside(before, after, areas, pageHeight, scale, &total);
    return total > 0 && double(changed) <= kMaxChangedShare * double(total);
}

// Starts poppler rendering page pageIndex of pdf into a grey picture beside it.
void startPopplerRender(QProcess& process, const QString& program, const QString& pdf, int pageIndex, double dpi)
{
    const QString number = QString::number(pageIndex + 1);
    process.start(program, {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
                            QStringLiteral("-l"), number, QStringLiteral("-gray"), QStringLiteral("-singlefile"), pdf,
                            pdf + QStringLiteral(".page")});
}

// The picture of a finished render; null when pdftoppm failed.
QImage popplerRender(QProcess& process, const QString& pdf)
{
    if (!process.waitForFinished(kPopplerTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QImage(pdf + QStringLiteral(".page.pgm"));
}

struct LoadedBytes {
    DocumentPtr doc;
    PagePtr page;
};

LoadedBytes loadPage(const QByteArray& bytes, int pageIndex)
{
    LoadedBytes loaded;
    loaded.doc.reset(pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
    if (loaded.doc)
        loaded.page.reset(pdfApi().FPDF_LoadPage(loaded.doc.get(), pageIndex));
    return loaded;
}

} // namespace

bool bytesChangeOnlyInside(const QByteArray& before, const QByteArray& after, int pageIndex,
                           const std::vector<QRectF>& areas, bool compareText, QString* reason)
{
    const double scale = kBytesTrialDpi / 72.0;
    // poppler's two renders start first and run while pdfium renders and reads.
    const QString poppler = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    QTemporaryDir folder;  // private to the user, its name unpredictable
    const QString beforePath = folder.filePath(QStringLiteral("before.pdf"));
    const QString afterPath = folder.filePath(QStringLiteral("after.pdf"));
    QProcess first, second;
    if (!poppler.isEmpty()) {
        QFile a(beforePath), b(afterPath);
        if (!folder.isValid() || !a.open(QIODevice::WriteOnly) || a.write(before) != before.size() ||
            !b.open(QIODevice::WriteOnly) || b.write(after) != after.size()) {
            *reason = QStringLiteral("нет места для проверки страницы");
            return false;
        }
        a.close();
        b.close();
        startPopplerRender(first, poppler, beforePath, pageIndex, kBytesTrialDpi);
        startPopplerRender(second, poppler, afterPath, pageIndex, kBytesTrialDpi);
    }
    {
        // The byte buffers outlive the documents read from them.
        LoadedBytes a = loadPage(before, pageIndex);
        LoadedBytes b = loadPage(after, pageIndex);
        if (!a.page || !b.page) {
            *reason = QStringLiteral("изменённая страница не открывается");
            return false;
        }
        const double pageHeight = pdfApi().FPDF_GetPageHeightF(a.page.get());
        if (!closeOutside(renderLoadedPageImage(a.page.get(), scale), renderLoadedPageImage(b.page.get(), scale), areas,
                          pageHeight, scale) ||
            (compareText && !sameChars(charsOutside(a.page.get(), areas), charsOutside(b.page.get(), areas)))) {
            *reason = QStringLiteral("удаление изменило страницу вне правки");
            return false;
        }
    }
    if (poppler.isEmpty())
        return true;
    const QImage renderA = popplerRender(first, beforePath);
    const QImage renderB = popplerRender(second, afterPath);
    if (renderA.isNull() && renderB.isNull())
        return true;  // poppler cannot draw this file at all: pdfium's view stands
    const double pageHeight = renderA.height() / scale;
    if (!closeOutside(renderA, renderB, areas, pageHeight, scale)) {
        *reason = QStringLiteral("удаление изменило страницу вне правки (poppler)");
        return false;
    }
    return true;
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
