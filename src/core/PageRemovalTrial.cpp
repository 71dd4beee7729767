#include "PageRemovalTrial.h"

#include "KeptGlyphs.h"
#include "MovedBoxCheck.h"
#include "PageGlyphs.h"
#include "PageOwnContent.h"
#include "PdfEngineInternal.h"
#include "StableSort.h"
#include "WorkStop.h"

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

#include <sys/resource.h>

namespace pdfengine {

namespace {

thread_local bool t_pdfiumOnly = false;

// poppler's page renderer; none while the thread's trials are pdfium's alone.
QString secondRenderer()
{
    return t_pdfiumOnly ? QString() : QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
}

constexpr int kAreaMarginPixels = 2;      // anti-aliasing around an edited box
constexpr int kChannelTolerance = 24;     // rounding of re-written coordinates, not lost ink
constexpr double kCharDriftPoints = 1.0;
constexpr double kFringeShare = 0.25;  // of an edited line's height
constexpr unsigned kEndOfLineHyphen = 2;  // pdfium's code for a hyphen that ends a line
constexpr double kTrialDpi = 150;
constexpr double kMaxTrialPixels = 4.5e6;  // an A3 page at 150 dpi
constexpr double kMaxChangedShare = 0.0002;  // anti-aliasing along an edge, not a lost mark
constexpr double kKeptCoreInset = 1.0;     // points: a kept line's edge may take a white-out's edge noise
constexpr double kCrossingDegrees = 1.0;   // a line turned this much against a place crosses it
// poppler's render is bounded by its work, never by the clock: a busy
// machine only makes it later. Its processor time is far past any real
// page's (the heaviest fixture takes 0.2 s); a hostile page meets one bound
// or the other.
constexpr long kPopplerMemoryBytes = 400L * 1024 * 1024;
constexpr rlim_t kPopplerCpuSeconds = 10;
constexpr int kStopPollMs = 50;  // how soon a stop reaches a waiting render

struct PlacedChar {
    unsigned code = 0;
    QPointF centre;
};

// The part of a kept line no edit may reach: its box less a point at top
// and bottom (a quarter of a low box), where a neighbour's white-out edge
// may still fall.
TurnedBox coreOf(const TurnedBox& line)
{
    const QRectF r = line.rect.normalized();
    const double inset = std::min(kKeptCoreInset, r.height() / 4);
    TurnedBox core = line;
    core.rect = r.adjusted(inset / 2, inset, -inset / 2, -inset);
    return core;
}

bool insideAny(const std::vector<TurnedBox>& areas, const QPointF& point)
{
    return std::any_of(areas.begin(), areas.end(), [&](const TurnedBox& r) { return r.contains(point); });
}

// The page's characters outside the areas, in pdfium's order.
std::vector<PlacedChar> charsOutside(FPDF_PAGE page, const std::vector<TurnedBox>& areas)
{
    std::vector<PlacedChar> chars;
    forEachPageChar(page, [&](const PageChar& c) {
        // A blank has no ink: where pdfium reads one between words is no
        // change of the page.
        const unsigned code = c.code;
        if (code <= 0xFFFF && QChar::isSpace(char32_t(code)))
            return;
        const QPointF centre = c.box.center();
        if (insideAny(areas, centre))
            return;
        // A hyphen at a line's end is read as joining the next line, or not,
        // by what that line begins with, and measured with it: it is counted,
        // not placed (its ink is compared by the renders).
        if (code == kEndOfLineHyphen || code == '-')
            chars.push_back({'-', QPointF()});
        else
            chars.push_back({code, centre});
    });
    return chars;
}

// The areas with a fringe of a quarter of their height: a mark the line
// draws above or below its letters (a stress accent) is the edit's, as the
// content editor takes it, while the next line's letters stand farther out.
std::vector<TurnedBox> withFringe(const std::vector<TurnedBox>& areas)
{
    std::vector<TurnedBox> grown;
    for (const TurnedBox& area : areas)
        grown.push_back(area.grown(std::abs(area.rect.height()) * kFringeShare));
    return grown;
}

// The same characters at the same places, in whatever order pdfium reads
// them: taking a line away may change the reading order of the others. Each
// character of a pairs with one of b of its code within the drift, wherever
// rounding would have put the two.
bool sameChars(std::vector<PlacedChar> a, std::vector<PlacedChar> b)
{
    if (a.size() != b.size())
        return false;
    const auto byCodeAndPlace = [](const PlacedChar& x, const PlacedChar& y) {
        return std::make_tuple(x.code, x.centre.y(), x.centre.x()) < std::make_tuple(y.code, y.centre.y(), y.centre.x());
    };
    vorn::safeStableSort(a, byCodeAndPlace);
    vorn::safeStableSort(b, byCodeAndPlace);
    const auto near = [](const PlacedChar& x, const PlacedChar& y) {
        const QPointF drift = x.centre - y.centre;
        return std::abs(drift.x()) <= kCharDriftPoints && std::abs(drift.y()) <= kCharDriftPoints;
    };
    for (size_t first = 0; first < a.size();) {
        size_t end = first;
        while (end < a.size() && a[end].code == a[first].code)
            ++end;
        // Equal sizes sorted by code: the same codes stand at the same indexes.
        if (b[first].code != a[first].code || b[end - 1].code != a[first].code ||
            (end < b.size() && b[end].code == a[first].code))
            return false;
        std::vector<bool> paired(end - first, false);
        for (size_t i = first; i < end; ++i) {
            size_t j = first;
            while (j < end && (paired[j - first] || !near(a[i], b[j])))
                ++j;
            if (j == end)
                return false;
            paired[j - first] = true;
        }
        first = end;
    }
    return true;
}

// Whether the page's characters read after as before where an edit did not
// rewrite them: by the glyphs it took where it knows them, else outside its
// areas (each with its fringe).
bool textKeptAsBefore(FPDF_PAGE before, FPDF_PAGE after, const EditAreas& areas)
{
    if (areas.glyphsKnown)
        return glyphsKeptAsBefore(before, after, areas.taken, withFringe(areas.textEdited)).kept;
    const std::vector<TurnedBox> edited = withFringe(areas.edited);
    return sameChars(charsOutside(before, edited), charsOutside(after, edited));
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

// Whether ink went at a pixel: it turned lighter by more than rounding.
bool pixelLightened(const uchar* a, const uchar* b, int x, bool grey)
{
    if (grey)
        return int(b[x]) - int(a[x]) > kChannelTolerance;
    return qGray(reinterpret_cast<const QRgb*>(b)[x]) - qGray(reinterpret_cast<const QRgb*>(a)[x]) > kChannelTolerance;
}

// A box as the pixels of a render see it: its frame, and the pixel columns
// and rows around it (doubles: page coordinates may lie far off the page).
struct PixelArea {
    QTransform toFrame;
    QRectF rect;
    QRectF pixels;
};

std::vector<PixelArea> pixelAreas(const std::vector<TurnedBox>& boxes, double grow, double pageHeight, double scale)
{
    std::vector<PixelArea> areas;
    for (const TurnedBox& box : boxes) {
        const TurnedBox grown = grow != 0 ? box.grown(grow) : box;
        const QRectF bounds = grown.bounds();
        if (!std::isfinite(bounds.x()) || !std::isfinite(bounds.y()) || !std::isfinite(bounds.width()) ||
            !std::isfinite(bounds.height()))
            continue;
        areas.push_back({grown.toFrame(), grown.rect,
                         QRectF(bounds.x() * scale - 1, (pageHeight - bounds.bottom()) * scale - 1,
                                bounds.width() * scale + 2, bounds.height() * scale + 2)});
    }
    return areas;
}

bool inArea(const PixelArea& area, double px, double py, const QPointF& point)
{
    return area.pixels.contains(px, py) && area.rect.contains(area.toFrame.map(point));
}

bool inAnyArea(const std::vector<PixelArea>& areas, double px, double py, const QPointF& point)
{
    return std::any_of(areas.begin(), areas.end(), [&](const PixelArea& a) { return inArea(a, px, py, point); });
}

// A kept line's core, and the old places cleared on purpose that stand on
// its row: a word the recogniser cut from it and the user deleted goes with
// the part of the line's box over it.
struct KeptZone {
    PixelArea core;
    std::vector<PixelArea> clearedOnItsRow;
};

// The line and the cleared place stand on one row: their middles lie within
// half the lower one's height across the place's direction.
bool onOneRow(const TurnedBox& line, const TurnedBox& place)
{
    const QRectF across = place.toFrame().map(line.polygon()).boundingRect();
    const double low = std::min(across.height(), place.rect.height());
    return std::abs(across.center().y() - place.rect.center().y()) < low / 2;
}

// A line laid across a place the edit cleared by taking glyphs out (a
// watermark over the corrected line): no white-out reaches it there, and its
// own glyphs are held to where they stood, one by one. The ink the place's
// glyphs leave behind is theirs, not the line's.
bool crossedByGlyphs(const TurnedBox& line, const TurnedBox& place, const EditAreas& areas)
{
    return areas.glyphsKnown && !areas.shapesOverCleared && std::abs(std::remainder(line.rotation - place.rotation, 180.0)) > kCrossingDegrees &&
           !insideAny(areas.textEdited, place.bounds().center());
}

// How many of the page's objects other than text stand over the places.
int shapesOver(FPDF_PAGE page, const std::vector<TurnedBox>& places)
{
    const PdfiumApi& api = pdfApi();
    const PdfPageTransform transform = pageTransformOf(page);
    int shapes = 0;
    for (int i = api.FPDFPage_CountObjects(page) - 1; i >= 0; --i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        float left = 0, bottom = 0, right = 0, top = 0;
        if (!object || api.FPDFPageObj_GetType(object) == pdfium::kPageObjText ||
            !api.FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top))
            continue;
        const QRectF bounds = transform.toPage(rectFromEdges(left, top, right, bottom));
        shapes += std::any_of(places.begin(), places.end(),
                              [&](const TurnedBox& place) { return place.bounds().intersects(bounds); });
    }
    return shapes;
}

// The areas, told whether after draws more than text over the places cleared.
EditAreas withShapesOverCleared(const EditAreas& areas, FPDF_PAGE before, FPDF_PAGE after)
{
    EditAreas told = areas;
    told.shapesOverCleared = !areas.cleared.empty() && shapesOver(after, areas.cleared) > shapesOver(before, areas.cleared);
    return told;
}

bool inKeptLetters(const std::vector<KeptZone>& kept, double px, double py, const QPointF& point)
{
    return std::any_of(kept.begin(), kept.end(), [&](const KeptZone& zone) {
        return inArea(zone.core, px, py, point) && !inAnyArea(zone.clearedOnItsRow, px, py, point);
    });
}

// Pixels of before and after that differ outside the edited areas, or lost
// their ink inside a kept line's core but outside the old places cleared on
// purpose (text the user moved may be drawn over another line; a white-out
// must never reach one beyond what it clears). Rows that are byte for byte the
// same, most of a page, are passed over whole.
qint64 changedOutside(const QImage& before, const QImage& after, const QPoint& origin, const EditAreas& areas,
                      double pageHeight, double scale)
{
    const std::vector<PixelArea> edited = pixelAreas(areas.edited, kAreaMarginPixels / scale, pageHeight, scale);
    std::vector<KeptZone> kept;
    for (const TurnedBox& line : areas.kept) {
        const std::vector<PixelArea> core = pixelAreas({coreOf(line)}, 0, pageHeight, scale);
        if (core.empty())
            continue;
        std::vector<TurnedBox> sameRow;
        std::copy_if(areas.cleared.begin(), areas.cleared.end(), std::back_inserter(sameRow),
                     [&](const TurnedBox& place) { return onOneRow(line, place) || crossedByGlyphs(line, place, areas); });
        kept.push_back({core.front(), pixelAreas(sameRow, 0, pageHeight, scale)});
    }
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
            if (!pixelsDiffer(rowA, rowB, x, grey))
                continue;
            const double px = origin.x() + x + 0.5, py = origin.y() + y + 0.5;
            const QPointF point(px / scale, pageHeight - py / scale);
            if (!inAnyArea(edited, px, py, point) ||
                (pixelLightened(rowA, rowB, x, grey) && inKeptLetters(kept, px, py, point)))
                ++changed;
        }
    }
    return changed;
}

// Whether two renders of (part of) one page differ outside the areas by
// more than the edge noise a whole page of pagePixels may show.
bool closeOutside(const QImage& before, const QImage& after, const QPoint& origin, const EditAreas& areas,
                  double pageHeight, double scale, double pagePixels)
{
    if (before.isNull() || before.size() != after.size())
        return false;
    const qint64 changed = changedOutside(before, after, origin, areas, pageHeight, scale);
    return pagePixels > 0 && double(changed) <= kMaxChangedShare * pagePixels;
}

double pixelsOf(const QImage& render)
{
    return double(render.width()) * double(render.height());
}

// Starts poppler rendering page pageIndex of pdf into a grey picture beside
// it, held to its memory and processor time. Quiet: what it still says is
// that it ran out of memory. It draws the page's crop box, as pdfium does:
// the areas compared stand in it (pdftoppm draws the media box unless told).
void startPopplerRender(QProcess& process, const QString& program, const QString& pdf, int pageIndex, double dpi)
{
    const QString number = QString::number(pageIndex + 1);
    process.setChildProcessModifier([] {
        const struct rlimit memory{rlim_t(kPopplerMemoryBytes), rlim_t(kPopplerMemoryBytes)};
        setrlimit(RLIMIT_AS, &memory);
        // SIGXCPU at the bound, SIGKILL a second later; no core file either way.
        const struct rlimit cpu{kPopplerCpuSeconds, kPopplerCpuSeconds + 1};
        setrlimit(RLIMIT_CPU, &cpu);
        const struct rlimit core{0, 0};
        setrlimit(RLIMIT_CORE, &core);
    });
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, {QStringLiteral("-q"), QStringLiteral("-r"), QString::number(dpi, 'f', 3),
                            QStringLiteral("-f"), number, QStringLiteral("-l"), number, QStringLiteral("-gray"),
                            QStringLiteral("-cropbox"), QStringLiteral("-singlefile"), pdf, pdf + QStringLiteral(".page")});
}

// How a render ended: its picture; none where poppler cannot read the file;
// or none because it went past its bounds or the work was stopped.
struct PopplerRender {
    enum End { Drawn, Unreadable, OverBound, Stopped };
    End end = Unreadable;
    QImage image;
};

// Waits for a render however long a busy machine makes it; a stop of the
// work meanwhile ends it.
PopplerRender popplerRender(QProcess& process, const QString& pdf)
{
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(kStopPollMs)) {
        if (WorkStop::requested()) {
            process.kill();
            process.waitForFinished();
            return {PopplerRender::Stopped, {}};
        }
    }
    // Killed at its processor bound, or ended by a failed allocation.
    if (process.exitStatus() == QProcess::CrashExit || process.readAllStandardError().contains("Out of memory"))
        return {PopplerRender::OverBound, {}};
    if (process.exitCode() != 0)
        return {PopplerRender::Unreadable, {}};
    QImage image(pdf + QStringLiteral(".page.pgm"));
    return {image.isNull() ? PopplerRender::Unreadable : PopplerRender::Drawn, image};
}

// Ends a render still running when the trial stops before reading it.
class RenderEnder {
public:
    explicit RenderEnder(QProcess& process) : m_process(process) {}
    ~RenderEnder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    RenderEnder(const RenderEnder&) = delete;
    RenderEnder& operator=(const RenderEnder&) = delete;

private:
    QProcess& m_process;
};

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

double pageTrialScale(const QSizeF& pageSize)
{
    const double scale = kTrialDpi / 72.0;
    const double area = pageSize.width() * pageSize.height();
    if (!(area > 0) || !std::isfinite(area))
        return scale;
    return std::min(scale, std::sqrt(kMaxTrialPixels / area));
}

bool rendersChangeOnlyInside(const QImage& before, const QImage& after, const QPoint& origin, const EditAreas& areas,
                             const QSizeF& pageSize, double scale, QString* reason)
{
    if (before.isNull() || after.isNull()) {
        *reason = QStringLiteral("страницу не удалось нарисовать для проверки");
        return false;
    }
    const double pagePixels = std::ceil(pageSize.width() * scale) * std::ceil(pageSize.height() * scale);
    if (!closeOutside(before, after, origin, areas, pageSize.height(), scale, pagePixels)) {
        *reason = QStringLiteral("правка задела страницу вне изменённых строк");
        return false;
    }
    return true;
}

bool bytesChangeOnlyInside(const QByteArray& before, const QByteArray& after, int pageIndex,
                           const std::vector<QRectF>& areas, bool compareText, QString* reason)
{
    EditAreas upright;
    for (const QRectF& area : areas)
        upright.edited.push_back(TurnedBox(area, 0));
    return bytesChangeOnlyInside(before, after, pageIndex, upright, compareText, reason);
}

bool bytesChangeOnlyInside(const QByteArray& before, const QByteArray& after, int pageIndex, const EditAreas& areas,
                           bool compareText, QString* reason)
{
    // The byte buffers outlive the documents read from them.
    LoadedBytes a = loadPage(before, pageIndex);
    LoadedBytes b = loadPage(after, pageIndex);
    if (!a.page || !b.page) {
        *reason = QStringLiteral("изменённая страница не открывается");
        return false;
    }
    const double pageHeight = pdfApi().FPDF_GetPageHeightF(a.page.get());
    const double scale = pageTrialScale(QSizeF(pdfApi().FPDF_GetPageWidthF(a.page.get()), pageHeight));
    // poppler's two renders start first and run while pdfium renders and reads.
    const QString poppler = secondRenderer();
    QTemporaryDir folder;  // private to the user, its name unpredictable
    const QString beforePath = folder.filePath(QStringLiteral("before.pdf"));
    const QString afterPath = folder.filePath(QStringLiteral("after.pdf"));
    QProcess first, second;
    const RenderEnder endFirst(first), endSecond(second);
    if (!poppler.isEmpty()) {
        QFile fileA(beforePath), fileB(afterPath);
        if (!folder.isValid() || !fileA.open(QIODevice::WriteOnly) || fileA.write(before) != before.size() ||
            !fileB.open(QIODevice::WriteOnly) || fileB.write(after) != after.size()) {
            *reason = QStringLiteral("нет места для проверки страницы");
            return false;
        }
        fileA.close();
        fileB.close();
        startPopplerRender(first, poppler, beforePath, pageIndex, scale * 72.0);
        startPopplerRender(second, poppler, afterPath, pageIndex, scale * 72.0);
    }
    const QImage renderBefore = renderLoadedPageImage(a.page.get(), scale);
    const EditAreas told = withShapesOverCleared(areas, a.page.get(), b.page.get());
    const bool same =
        closeOutside(renderBefore, renderLoadedPageImage(b.page.get(), scale), QPoint(), told, pageHeight, scale,
                     pixelsOf(renderBefore)) &&
        (!compareText || textKeptAsBefore(a.page.get(), b.page.get(), areas));
    QString movedReason;
    const bool movedAlike =
        !same || movedBoxesLookAsBefore(a.doc.get(), pageIndex, b.doc.get(), pageIndex, areas.moved, &movedReason);
    for (LoadedBytes* loaded : {&a, &b}) {
        loaded->page.reset();  // a page goes before its document
        loaded->doc.reset();
    }
    if (!same) {
        *reason = QStringLiteral("удаление изменило страницу вне правки");
        return false;
    }
    if (!movedAlike) {
        *reason = movedReason;
        return false;
    }
    if (poppler.isEmpty())
        return true;
    const PopplerRender pageA = popplerRender(first, beforePath);
    const PopplerRender pageB = popplerRender(second, afterPath);
    if (pageA.end == PopplerRender::Stopped || pageB.end == PopplerRender::Stopped) {
        *reason = QStringLiteral("проверка страницы остановлена");
        return false;
    }
    if (pageA.end == PopplerRender::OverBound || pageB.end == PopplerRender::OverBound) {
        *reason = QStringLiteral("страница слишком сложна для проверки");
        return false;
    }
    const QImage& renderA = pageA.image;
    const QImage& renderB = pageB.image;
    if (renderA.isNull() && renderB.isNull())
        return true;  // poppler cannot draw this file at all: pdfium's view stands
    const double popplerHeight = renderA.height() / scale;
    if (!closeOutside(renderA, renderB, QPoint(), told, popplerHeight, scale, pixelsOf(renderA))) {
        *reason = QStringLiteral("удаление изменило страницу вне правки (poppler)");
        return false;
    }
    return true;
}

namespace {

constexpr double kMovedInkMarginPoints = 1.0;  // ink of the line's glyphs past its box
constexpr int kOtherInkGrey = 128;  // darker, what stayed hides the line's ink there
constexpr double kLeastInkPixels = 4;             // less ink is too little to weigh
constexpr double kLeastInkShare = 0.75;           // of the source line's ink, at least
constexpr double kMostInkShare = 1.0 / kLeastInkShare;
constexpr double kLeastDriftPixels = 1.5;
// Of the line's height and length: where a glyph's ink beside what stayed
// is not weighed, the middle moves by a share of the line.
constexpr double kMiddleDriftShare = 0.25;
constexpr double kMiddleDriftAlong = 0.02;

// Ink (darkness summed, in pixels of full ink) of one moved line at both
// places, and its middle at each.
struct MovedInk {
    double then = 0, now = 0;
    QPointF middleThen, middleNow;
};

// Pixels of the window about where the line went (q) and their sources
// (q - shift) where withoutMoved shows no ink at either, each weighed by
// how much darker than withoutMoved it is: a shaded ground takes no part.
MovedInk movedInkOf(const QImage& before, const QImage& after, const QImage& without, const QRect& window,
                    const QPoint& whole)
{
    MovedInk ink;
    const QRect inside = window.intersected(after.rect()).intersected(without.rect());
    double thenX = 0, thenY = 0, nowX = 0, nowY = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const int sy = y - whole.y();
        if (sy < 0 || sy >= before.height() || sy >= without.height())
            continue;
        const uchar* a = before.constScanLine(sy);
        const uchar* b = after.constScanLine(y);
        const uchar* w = without.constScanLine(y);
        const uchar* ws = without.constScanLine(sy);
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const int sx = x - whole.x();
            if (sx < 0 || sx >= before.width() || sx >= without.width() || w[x] < kOtherInkGrey ||
                ws[sx] < kOtherInkGrey)
                continue;
            const double then = std::max(int(ws[sx]) - int(a[sx]), 0) / 255.0;
            const double now = std::max(int(w[x]) - int(b[x]), 0) / 255.0;
            ink.then += then;
            ink.now += now;
            thenX += then * sx;
            thenY += then * sy;
            nowX += now * x;
            nowY += now * y;
        }
    }
    if (ink.then > 0)
        ink.middleThen = QPointF(thenX / ink.then, thenY / ink.then) + whole;
    if (ink.now > 0)
        ink.middleNow = QPointF(nowX / ink.now, nowY / ink.now);
    return ink;
}

}  // namespace

MovedInkVerdict popplerMovedInk(const QByteArray& before, int beforeIndex, const QByteArray& after, int afterIndex,
                                const QByteArray& withoutMoved, const std::vector<MovedBox>& moved, QString* reason)
{
    const QString poppler = secondRenderer();
    if (moved.empty() || poppler.isEmpty())
        return MovedInkVerdict::Alike;
    LoadedBytes source = loadPage(before, beforeIndex);
    if (!source.page) {
        *reason = QStringLiteral("исходная страница не открывается");
        return MovedInkVerdict::Unchecked;
    }
    const double scale = pageTrialScale(
        QSizeF(pdfApi().FPDF_GetPageWidthF(source.page.get()), pdfApi().FPDF_GetPageHeightF(source.page.get())));
    QTemporaryDir folder;  // private to the user, its name unpredictable
    const QString paths[] = {folder.filePath(QStringLiteral("before.pdf")), folder.filePath(QStringLiteral("after.pdf")),
                             folder.filePath(QStringLiteral("without.pdf"))};
    const QByteArray* bytes[] = {&before, &after, &withoutMoved};
    const int pages[] = {beforeIndex, afterIndex, afterIndex};
    QProcess renders[3];
    const RenderEnder end0(renders[0]), end1(renders[1]), end2(renders[2]);
    for (int i = 0; i < 3; ++i) {
        QFile file(paths[i]);
        if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(*bytes[i]) != bytes[i]->size()) {
            *reason = QStringLiteral("нет места для проверки страницы");
            return MovedInkVerdict::Unchecked;
        }
    }
    for (int i = 0; i < 3; ++i)
        startPopplerRender(renders[i], poppler, paths[i], pages[i], scale * 72.0);
    QImage drawn[3];
    for (int i = 0; i < 3; ++i) {
        const PopplerRender render = popplerRender(renders[i], paths[i]);
        if (render.end == PopplerRender::Stopped || render.end == PopplerRender::OverBound) {
            *reason = render.end == PopplerRender::Stopped ? QStringLiteral("проверка страницы остановлена")
                                                            : QStringLiteral("страница слишком сложна для проверки");
            return MovedInkVerdict::Unchecked;
        }
        drawn[i] = render.image;
    }
    // A file that poppler cannot draw leaves pdfium's view of the moved
    // lines standing: a sound move is not refused for it.
    if (drawn[0].isNull() || drawn[1].isNull() || drawn[2].isNull() || drawn[1].size() != drawn[2].size())
        return MovedInkVerdict::Alike;
    for (QImage& image : drawn)
        image = image.convertToFormat(QImage::Format_Grayscale8);
    const double height = drawn[1].height() / scale;
    for (const MovedBox& box : moved) {
        const QRectF bounds = box.from.grown(kMovedInkMarginPoints).bounds().translated(box.by);
        if (!std::isfinite(bounds.width()) || !std::isfinite(bounds.height()))
            continue;
        const QRect window = QRectF(bounds.left() * scale, (height - bounds.bottom()) * scale,
                                    bounds.width() * scale, bounds.height() * scale)
                                 .toAlignedRect();
        // A reader puts a glyph on whole pixels: a move by part of a pixel
        // lands on the pixel either side of it.
        const QPointF shift(box.by.x() * scale, -box.by.y() * scale);
        const double drift = std::max({kLeastDriftPixels, kMiddleDriftShare * box.from.rect.height() * scale,
                                       kMiddleDriftAlong * box.from.rect.width() * scale});
        bool alike = false, weighed = false;
        for (const double dx : {std::floor(shift.x()), std::ceil(shift.x())})
            for (const double dy : {std::floor(shift.y()), std::ceil(shift.y())}) {
                const MovedInk ink = movedInkOf(drawn[0], drawn[1], drawn[2], window, QPoint(int(dx), int(dy)));
                const QPointF off = ink.middleNow - ink.middleThen;
                weighed |= ink.then >= kLeastInkPixels;  // else nothing of the line stands where only it stood
                alike |= ink.then < kLeastInkPixels ||
                         (ink.now >= kLeastInkShare * ink.then && ink.now <= kMostInkShare * ink.then &&
                          std::abs(off.x()) <= drift && std::abs(off.y()) <= drift);
            }
        if (weighed && !alike) {
            *reason = QStringLiteral("перенесённая строка выглядит не так, как на старом месте (poppler)");
            return MovedInkVerdict::Unlike;
        }
    }
    return MovedInkVerdict::Alike;
}

bool pagesChangeOnlyInside(FPDF_PAGE before, FPDF_PAGE after, const EditAreas& areas, bool compareText)
{
    const double pageHeight = pdfApi().FPDF_GetPageHeightF(before);
    const double scale = pageTrialScale(QSizeF(pdfApi().FPDF_GetPageWidthF(before), pageHeight));
    const QImage renderBefore = renderLoadedPageImage(before, scale);
    return closeOutside(renderBefore, renderLoadedPageImage(after, scale), QPoint(),
                        withShapesOverCleared(areas, before, after), pageHeight, scale, pixelsOf(renderBefore)) &&
           (!compareText || textKeptAsBefore(before, after, areas));
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

PdfiumOnlyTrials::PdfiumOnlyTrials()
    : m_outer(t_pdfiumOnly)
{
    t_pdfiumOnly = true;
}

PdfiumOnlyTrials::~PdfiumOnlyTrials()
{
    t_pdfiumOnly = m_outer;
}

} // namespace pdfengine
