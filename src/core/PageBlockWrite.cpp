#include "PageBlockWrite.h"

#include "ScanLineWords.h"
#include "StableSort.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <limits>

namespace pdfengine {

namespace {

constexpr double kCoincidentOverlap = 0.5;
constexpr double kWhiteOutGrowth = 1.5;     // as the writer grows a white rectangle
constexpr double kLayerClaimMargin = 1.0;
constexpr double kClearOfOtherLines = 0.5;  // points a white-out stays short of another line
constexpr double kSameText = 0.5;           // of the smaller box: two boxes over the same words

// Sides a box may grow to in its own frame before it reaches another line.
struct SideLimits {
    double left = -std::numeric_limits<double>::infinity();
    double right = std::numeric_limits<double>::infinity();
    double bottom = -std::numeric_limits<double>::infinity();
    double top = std::numeric_limits<double>::infinity();
};

double overlapShare(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.normalized().intersected(b.normalized());
    const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
    return common.isEmpty() || smaller <= 0 ? 0.0 : common.width() * common.height() / smaller;
}

bool rangesMeet(double a0, double a1, double b0, double b1)
{
    return a0 < b1 && b0 < a1;
}

// Another line that mostly covers the box is the same text seen twice (a
// layer over its own words): it sets no limit. One that already meets it
// leaves that side where it is.
SideLimits limitsAround(const TurnedBox& box, const std::vector<TurnedBox>& others)
{
    SideLimits limits;
    const QTransform toFrame = box.toFrame();
    const QRectF r = box.rect.normalized();
    for (const TurnedBox& other : others) {
        const QRectF o = toFrame.map(other.polygon()).boundingRect();
        if (overlapShare(o, r) > kSameText)
            continue;
        if (rangesMeet(o.left(), o.right(), r.left(), r.right())) {
            if (o.center().y() >= r.center().y())
                limits.top = std::min(limits.top, o.top() - kClearOfOtherLines);  // y grows upward: top() is the lower edge
            else
                limits.bottom = std::max(limits.bottom, o.bottom() + kClearOfOtherLines);
        } else if (rangesMeet(o.top(), o.bottom(), r.top(), r.bottom())) {
            if (o.center().x() >= r.center().x())
                limits.right = std::min(limits.right, o.left() - kClearOfOtherLines);
            else
                limits.left = std::max(limits.left, o.right() + kClearOfOtherLines);
        }
    }
    return limits;
}

// The box grown by growth on every side, each side no further than its limit
// (and never shrunk).
TurnedBox grownWithin(const TurnedBox& box, double growth, const SideLimits& limits)
{
    const QRectF r = box.rect.normalized();
    TurnedBox grown = box;
    grown.rect = QRectF(QPointF(std::min(r.left(), std::max(r.left() - growth, limits.left)),
                                std::min(r.top(), std::max(r.top() - growth, limits.bottom))),
                        QPointF(std::max(r.right(), std::min(r.right() + growth, limits.right)),
                                std::max(r.bottom(), std::min(r.bottom() + growth, limits.top))));
    return grown;
}

// The box grown side by side, pixel by pixel, while the band just outside it
// holds dark ink, by at most maxGrowth points on each side and never past the
// limits. Sampled in the box's own frame, so a turned line grows along and
// across itself.
TurnedBox grownOverInk(const QImage& gray, double scale, double pageHeight, const TurnedBox& box, double maxGrowth,
                       const SideLimits& limits)
{
    constexpr int kDarkGray = 160;
    const double step = 1.0 / scale;
    const QTransform toPage = box.toPage();
    const auto dark = [&](double x, double y) {
        const QPointF p = toPage.map(QPointF(x, y));
        const double px = std::floor(p.x() * scale);
        const double py = std::floor((pageHeight - p.y()) * scale);
        // Checked in double: a line far off the page has no pixel.
        return px >= 0 && py >= 0 && px < gray.width() && py < gray.height() &&
               gray.constScanLine(int(py))[int(px)] < kDarkGray;
    };
    const auto inkedAlong = [&](double y, double x0, double x1) {
        for (double x = x0; x <= x1; x += step)
            if (dark(x, y))
                return true;
        return false;
    };
    const auto inkedAcross = [&](double x, double y0, double y1) {
        for (double y = y0; y <= y1; y += step)
            if (dark(x, y))
                return true;
        return false;
    };
    QRectF r = box.rect.normalized();
    const QRectF start = r;
    for (bool grew = true; grew;) {
        grew = false;
        // y grows upward here: bottom() is the upper edge.
        if (r.bottom() + step <= std::min(start.bottom() + maxGrowth, limits.top) &&
            inkedAlong(r.bottom() + step / 2, r.left(), r.right()))
            r.setBottom(r.bottom() + step), grew = true;
        if (r.top() - step >= std::max(start.top() - maxGrowth, limits.bottom) &&
            inkedAlong(r.top() - step / 2, r.left(), r.right()))
            r.setTop(r.top() - step), grew = true;
        if (r.left() - step >= std::max(start.left() - maxGrowth, limits.left) &&
            inkedAcross(r.left() - step / 2, r.top(), r.bottom()))
            r.setLeft(r.left() - step), grew = true;
        if (r.right() + step <= std::min(start.right() + maxGrowth, limits.right) &&
            inkedAcross(r.right() + step / 2, r.top(), r.bottom()))
            r.setRight(r.right() + step), grew = true;
    }
    TurnedBox grown = box;
    grown.rect = r;
    return grown;
}

TextStyle styleOf(const TextBlock::Line& line)
{
    return TextStyle{line.fontFamily, line.fontSize, line.color, line.bold, line.italic};
}

bool hasWritableText(const TextBlock& block)
{
    return !block.isImage && !block.text.trimmed().isEmpty();
}

// An invisible block that only repeats a visible one adds a second copy of
// the same words to the text layer.
bool duplicatesVisibleBlock(const TextBlock& block, const std::vector<TextBlock>& blocks)
{
    if (!block.invisibleText)
        return false;
    const QString text = block.text.simplified();
    return std::any_of(blocks.begin(), blocks.end(), [&](const TextBlock& other) {
        return &other != &block && !other.isImage && !other.invisibleText && other.text.simplified() == text &&
               overlapShare(other.rect, block.rect) > kCoincidentOverlap;
    });
}

// A line whose visible text is already on the page needs no searchable copy.
bool showsOwnText(const TextBlock& block, const TextBlock::Line& line)
{
    return isNativeLine(line) && !line.invisibleText && !block.invisibleText;
}

// A native line already stands on the page: visibly, or in an invisible layer
// (another tool's, or one this program wrote and keeps).
bool alreadyOnPage(const TextBlock& block, const TextBlock::Line& line)
{
    return isNativeLine(line) || (block.invisibleText && !line.spans.empty());
}

// Share of rect covered by the boxes (which barely overlap each other).
double coveredShare(const QRectF& rect, const std::vector<QRectF>& boxes)
{
    const double area = rect.width() * rect.height();
    if (area <= 0)
        return 0;
    double covered = 0;
    for (const QRectF& box : boxes) {
        const QRectF common = rect.intersected(box);
        covered += common.width() * common.height();
    }
    return covered / area;
}

// Covers only the ink of the old picture, grown by one pixel.
QImage inkMask(const QImage& source)
{
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    QImage mask(argb.size(), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) <= 8)
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (mask.rect().contains(x + dx, y + dy))
                        mask.setPixel(x + dx, y + dy, 0xFFFFFFFF);
        }
    }
    return mask;
}

// Writes one image block; false with the reason in error when pdfium refuses it.
bool writeImageBlock(PageTextWriter& writer, const TextBlock& block, bool& changed, QString& error)
{
    if (block.image.isNull())
        return true;
    const bool placed = hasArea(block.originalRect);
    if (placed && sameIntegerRect(block.rect, block.originalRect) && !isTurnedByUser(block)) {
        if (!block.imageEdited)
            return true;  // already on the page
        // A new picture for an image object takes that object's place; an
        // ink region or a picture inside a form is covered and drawn over.
        if (!block.inkRegion && writer.replaceImage(block.originalRect, block.image)) {
            changed = true;
            return true;
        }
    }
    bool covered = true;
    if (placed)
        covered = block.inkRegion ? writer.addImage(block.originalRect, inkMask(pagePicture(block)))
                                  : writer.addWhiteRect(block.originalRect);
    if (!covered || !writer.addImage(block.rect, block.image, block.rotation)) {
        error = QStringLiteral("pdfium не принял изображение.");
        return false;
    }
    changed = true;
    return true;
}

// Where a moved box lands, grown like a white-out.
TurnedBox landingOf(const MovedBox& moved)
{
    return moved.from.grown(kWhiteOutGrowth).translated(moved.by);
}

QString writeFailure(const QString& text, const QString& reason)
{
    return QStringLiteral("Не удалось записать текст «%1» на страницу: %2")
        .arg(text.left(40), reason.isEmpty() ? QStringLiteral("pdfium отказал.") : reason);
}

// A recognised line's words, or the line itself, stand on its baseline at its
// size: its searchable copy is written so, turned with it, and reads back as
// the line it was recognised as.
bool standsOnKnownBaseline(const TextBlock::Line& line)
{
    return line.baselineLift >= 0 || std::abs(line.turn) > kBlockRotationEpsilon / 10;
}

// The scan's own resolution: the most pixels per point a picture of the
// page shows (a scan's pixels are cut from a render at it, not resampled).
double scanPixelsPerPoint(FPDF_PAGE page)
{
    constexpr double kLeast = 2.0, kMost = 600.0 / 72;
    const PdfiumApi& api = pdfApi();
    double most = 0;
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        unsigned int width = 0, height = 0;
        if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjImage ||
            !api.FPDFImageObj_GetImagePixelSize(object, &width, &height))
            continue;
        const QRectF bounds = pageObjectBounds(object, pdfium::kPageObjImage);
        if (bounds.width() > 1 && bounds.height() > 1)
            most = std::max(most, std::sqrt(double(width) * double(height) / (bounds.width() * bounds.height())));
    }
    // A page of drawn letters and no picture (TeX's bitmap faces) keeps them
    // at the finest resolution.
    return std::clamp(most > 0 ? most : kMost, kLeast, kMost);
}

// The pixels of a rectangle of a line's frame (source) as a picture of the
// page shows them, upright in the frame, and where they stand in it. An
// upright frame takes whole pixels of the picture, which stay as they were;
// a turned one samples the picture along the line (a render keeps a turned
// picture where it is put, while an upright one is drawn to whole pixels).
struct FramePixels {
    QImage image;
    QRectF rect;
};

FramePixels cutFromPicture(const ScanPicture& picture, const TurnedBox& frame, QRectF source)
{
    const double sx = picture.scaleX, sy = picture.scaleY, height = picture.pageHeight;
    if (!frame.isTurned()) {
        const double left = std::floor(source.left() * sx), right = std::ceil(source.right() * sx);
        const double top = std::floor((height - source.bottom()) * sy);
        const double bottom = std::ceil((height - source.top()) * sy);
        source = QRectF(QPointF(left / sx, height - bottom / sy), QPointF(right / sx, height - top / sy));
    }
    const QSize size(std::max(1, int(std::lround(source.width() * sx))),
                     std::max(1, int(std::lround(source.height() * sy))));
    QImage piece(size, QImage::Format_RGB32);
    piece.fill(Qt::white);
    // A pixel of the piece, through the frame and the page, to the picture's pixel.
    const QTransform toFrame(source.width() / size.width(), 0, 0, -source.height() / size.height(), source.left(),
                             source.bottom());
    const QTransform toPicture(sx, 0, 0, -sy, -picture.origin.x(), height * sy - picture.origin.y());
    QPainter painter(&piece);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform((toFrame * frame.toPage() * toPicture).inverted());
    painter.drawImage(QPointF(0, 0), picture.image);
    painter.end();
    return {piece.allGray() ? piece.convertToFormat(QImage::Format_Grayscale8) : piece, source};
}

}  // namespace

PageBlockWrite::PageBlockWrite(FPDF_PAGE page, PageTextWriter& writer, const PageGlyphs& oldGlyphs,
                               const std::vector<TextBlock>& blocks, bool forceWhiteout)
    : m_writer(writer), m_glyphs(oldGlyphs), m_blocks(blocks), m_forceWhiteout(forceWhiteout),
      m_pageSize(pageTransformOf(page).pageSize())
{
    m_plans.reserve(blocks.size());
    for (const TextBlock& block : blocks)
        m_plans.push_back(block.isImage ? BlockPlan() : planTextBlock(block, forceWhiteout));
    findLineGlyphs();
    planCorrections();
    coverLayerWords(page);
    keepWhiteOutsOffOtherLines();
    renderScanLines(page);
    coverKeptWordsInk();
}

namespace {

// A scan line's words as a searchable layer holds them (text and box in the
// frame the glyphs were measured in, across the line's box): the layer's
// invisible words and the program's own visible ones, read left to right.
// A word ends where the content writes a blank or starts a word, not where
// the next one's box begins: a word stretched over its recognised box may
// reach past the start of the next (thin spaces, as in "Mac OS X").
std::vector<std::pair<QString, QRectF>> layerWords(const std::vector<PageGlyph>& glyphs, const QRectF& lineBox)
{
    std::vector<std::pair<QString, QRectF>> words;
    QString text;
    double left = 0, right = 0, lastLeft = 0;
    const auto flush = [&] {
        if (!text.isEmpty())
            words.emplace_back(text, QRectF(QPointF(left, lineBox.top()), QPointF(right, lineBox.bottom())));
        text.clear();
    };
    for (const PageGlyph& glyph : glyphs) {
        const bool blank = glyph.text.trimmed().isEmpty();
        // A glyph back to the left of the last one starts another word.
        if (blank || glyph.spaceBefore || (!text.isEmpty() && glyph.left < lastLeft))
            flush();
        if (blank)
            continue;
        if (text.isEmpty()) {
            left = glyph.left;
            right = glyph.right;
        }
        text += glyph.text;
        right = std::max(right, glyph.right);
        lastLeft = glyph.left;
    }
    flush();
    vorn::safeStableSort(words, [](const auto& a, const auto& b) { return a.second.left() < b.second.left(); });
    return words;
}

}  // namespace

// The words of line k of a block as the page shows them, in the frame the
// line is written in, where its untouched words can keep the scan's pixels;
// none otherwise. A recognised line redrawn where it stands knows its words
// as read. A line of a searchable layer over a scan, its block (one line)
// left where it stood, takes them from the layer's glyphs, where no glyph
// but the program's own draws visibly.
std::vector<std::pair<QString, QRectF>> PageBlockWrite::scanWordsOf(size_t index, size_t k) const
{
    const TextBlock& block = m_blocks[index];
    const BlockPlan& plan = m_plans[index];
    if (k >= plan.lines.size() || !plan.linePlans[k].redrawn || plan.lines[k].restyled)
        return {};
    const LinePlan& linePlan = plan.linePlans[k];
    if (plan.linewise) {
        if (linePlan.oldPlace.isNull() || plan.lines[k].originalWords.empty())
            return {};
        const std::vector<PageGlyph> inside = m_glyphs.inside(linePlan.oldPlace.rect, linePlan.oldPlace.toFrame());
        if (!onlyPictureGlyphs(inside))
            return {};
        return oldPlaceFor(block, index, k).recognisedWords;
    }
    if (block.removed || block.lines.size() != 1 || plan.lines.size() != 1 || plan.whiteOuts.size() != 1 ||
        !sameIntegerRect(block.rect, block.originalRect) || isTurnedByUser(block) || hasRecognisedLines(block))
        return {};
    const OldLinePlace old = oldPlaceFor(block, index, k);
    std::vector<PageGlyph> inside = m_glyphs.inside(old.rect, old.toFrame);
    const bool overScan =
        std::any_of(inside.begin(), inside.end(), [](const PageGlyph& glyph) { return !glyph.visible; }) &&
        std::all_of(inside.begin(), inside.end(), [](const PageGlyph& glyph) { return !glyph.visible || glyph.own; });
    if (!overScan)
        return {};
    // From the glyphs' frame into the one the line is written in.
    const QTransform between = old.toFrame.inverted() * linePlan.frame.toFrame();
    std::vector<std::pair<QString, QRectF>> words = layerWords(inside, old.rect);
    for (auto& word : words)
        word.second = between.mapRect(word.second);
    return words;
}

// The white-out drawn over line k's old place: a block redrawn line by line
// covers its redrawn recognised lines in order, a one-line block its place.
const TurnedBox* PageBlockWrite::paintedOver(size_t index, size_t k) const
{
    const BlockPlan& plan = m_plans[index];
    if (!plan.linewise)
        return m_painted[index].size() == 1 && plan.lines.size() == 1 ? &m_painted[index].front() : nullptr;
    size_t at = 0;
    for (size_t j = 0; j < k && j < plan.linePlans.size(); ++j)
        at += plan.linePlans[j].redrawn && !plan.linePlans[j].oldPlace.isNull();
    return k < plan.linePlans.size() && !plan.linePlans[k].oldPlace.isNull() && at < m_painted[index].size()
               ? &m_painted[index][at]
               : nullptr;
}

void PageBlockWrite::renderScanLines(FPDF_PAGE page)
{
    constexpr double kReach = 2.0;  // points past a white-out a kept word's pixels may come from
    QRectF region;
    for (size_t i = 0; i < m_blocks.size(); ++i)
        for (size_t k = 0; k < m_plans[i].lines.size(); ++k)
            if (const TurnedBox* painted = paintedOver(i, k); painted && !scanWordsOf(i, k).empty())
                region = region.isNull() ? painted->grown(kReach).bounds() : region.united(painted->grown(kReach).bounds());
    if (region.isNull())
        return;
    // A hair under the scan's resolution, so that the page's render has as
    // many pixels as the scan: each pixel drawn is then one of the scan's.
    constexpr double kUnder = 1e-9;
    const double scale = scanPixelsPerPoint(page) * (1 - kUnder);
    const double width = pdfApi().FPDF_GetPageWidthF(page);
    m_scan.pageHeight = pdfApi().FPDF_GetPageHeightF(page);
    if (!(width > 0) || !(m_scan.pageHeight > 0))
        return;
    // The render fills whole pixels across the page: these are its own scales.
    m_scan.scaleX = std::ceil(width * scale) / width;
    m_scan.scaleY = std::ceil(m_scan.pageHeight * scale) / m_scan.pageHeight;
    m_scan.image = renderLoadedPageRegion(page, scale, region, &m_scan.origin);
    m_scan.shown = m_scan.image;
    hideRemovedScanInk();
}

bool PageBlockWrite::drawsVisibly() const
{
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const BlockPlan& plan = m_plans[i];
        if (!plan.whiteOuts.empty() ||
            std::any_of(plan.linePlans.begin(), plan.linePlans.end(), [](const LinePlan& l) { return l.redrawn; }))
            return true;
    }
    return false;
}

std::vector<TurnedBox> PageBlockWrite::keptLines() const
{
    std::vector<TurnedBox> kept;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const BlockPlan& plan = m_plans[i];
        if (m_blocks[i].isImage || (!plan.whiteOuts.empty() && !plan.linewise))
            continue;
        for (size_t k = 0; k < plan.lines.size(); ++k)
            if (!plan.linePlans[k].redrawn && !plan.lines[k].text.trimmed().isEmpty() && hasArea(plan.lines[k].rect))
                kept.push_back(plan.linePlans[k].frame);
    }
    return kept;
}

std::vector<TurnedBox> PageBlockWrite::editedAreas() const
{
    std::vector<TurnedBox> areas;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        if (block.isImage) {
            if (!block.image.isNull() && (!hasArea(block.originalRect) || block.imageEdited ||
                                          !sameIntegerRect(block.rect, block.originalRect) || isTurnedByUser(block))) {
                areas.push_back(TurnedBox(block.rect, block.rotation));
                if (hasArea(block.originalRect))
                    areas.push_back(TurnedBox(block.originalRect, block.originalRotation).grown(kWhiteOutGrowth));
            }
            continue;
        }
        addTextBlockAreas(i, areas);
    }
    for (const WordMove& move : wordMoves())
        areas.push_back(landingOf({move.area, move.by}));
    for (const QRectF& drawn : m_writer.drawnBounds())
        areas.push_back(TurnedBox(drawn, 0));
    return areas;
}

// A text block's white-outs, and the old places of a native block's lines,
// which change as their glyphs leave the content; the places moves land.
void PageBlockWrite::addTextBlockAreas(size_t i, std::vector<TurnedBox>& areas) const
{
    const TextBlock& block = m_blocks[i];
    areas.insert(areas.end(), m_painted[i].begin(), m_painted[i].end());
    if (!block.invisibleText && !hasRecognisedLines(block))
        for (const TurnedBox& place : m_plans[i].whiteOuts)
            areas.push_back(place.grown(kWhiteOutGrowth));
    if (movesGlyphs(i))
        for (const TurnedBox& place : m_plans[i].whiteOuts)
            areas.push_back(landingOf({place, block.rect.center() - block.originalRect.center()}));
}

QRectF PageBlockWrite::drawnBand(const QSizeF& pageSize) const
{
    constexpr double kMargin = 3.0;  // anti-aliasing and a line's ascenders over its box
    QRectF drawn;
    const auto add = [&drawn](const QRectF& r) { drawn = drawn.isNull() ? r : drawn.united(r); };
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        if (block.isImage) {
            add(TurnedBox(block.rect, block.rotation).bounds());
            if (hasArea(block.originalRect))
                add(TurnedBox(block.originalRect, block.originalRotation).grown(kWhiteOutGrowth).bounds());
            continue;
        }
        for (const TurnedBox& whiteOut : m_painted[i])
            add(whiteOut.bounds());
        const BlockPlan& plan = m_plans[i];
        for (const TurnedBox& place : plan.whiteOuts)
            add(place.grown(kWhiteOutGrowth).bounds());
        for (size_t k = 0; k < plan.lines.size(); ++k)
            if (plan.linePlans[k].redrawn)
                add(plan.linePlans[k].frame.bounds());
    }
    if (drawn.isNull())
        return {};
    // A line may grow along itself: the band runs the page's whole width.
    return QRectF(0, drawn.top() - kMargin, pageSize.width(), drawn.height() + 2 * kMargin);
}

void PageBlockWrite::coverLayerWords(FPDF_PAGE page)
{
    // A rewritten line of an invisible layer stands over a scan: its white-out
    // covers the layer's words (which span their ink; a line box read from
    // the layer's glyphs may not) and the scanned ink that runs on from it,
    // such as descenders, within a third of the line height, never reaching
    // another line.
    constexpr double kMaxGrowth = 1.0 / 3;
    constexpr double kInkScale = 2.0;
    QImage gray;
    const double pageHeight = pdfApi().FPDF_GetPageHeightF(page);
    const std::vector<TurnedBox> others = keptLines();
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (!m_blocks[i].invisibleText)
            continue;
        for (TurnedBox& whiteOut : m_plans[i].whiteOuts) {
            const QRectF around = m_writer.invisibleTextAround(whiteOut);
            const QRectF words = whiteOut.rect.united(around);
            if (!around.isNull() && words.width() <= whiteOut.rect.width() * (1 + kMaxGrowth) &&
                words.height() <= whiteOut.rect.height() * (1 + kMaxGrowth)) {
                whiteOut.rect = words;
                whiteOut.centre = words.center();
            }
            if (gray.isNull())
                gray = renderLoadedPageImage(page, kInkScale).convertToFormat(QImage::Format_Grayscale8);
            if (!gray.isNull())
                whiteOut = grownOverInk(gray, kInkScale, pageHeight, whiteOut, kMaxGrowth * whiteOut.rect.height(),
                                        limitsAround(whiteOut, others));
        }
    }
}

void PageBlockWrite::keepWhiteOutsOffOtherLines()
{
    // Over a scan the white-out is all that takes the old ink away: it grows
    // as the writer grows it, short of any line it leaves as it stands.
    const std::vector<TurnedBox> others = keptLines();
    m_painted.assign(m_blocks.size(), {});
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        const bool overScan = block.invisibleText || hasRecognisedLines(block);
        for (const TurnedBox& whiteOut : m_plans[i].whiteOuts) {
            if (overScan) {
                m_painted[i].push_back(grownWithin(whiteOut, kWhiteOutGrowth, limitsAround(whiteOut, others)));
                continue;
            }
            const std::vector<TurnedBox> patches = nativePatches(i, whiteOut);
            m_painted[i].insert(m_painted[i].end(), patches.begin(), patches.end());
        }
    }
}

std::vector<TurnedBox> PageBlockWrite::clearedPlaces() const
{
    std::vector<TurnedBox> places;
    for (const BlockPlan& plan : m_plans)
        places.insert(places.end(), plan.whiteOuts.begin(), plan.whiteOuts.end());
    return places;
}

std::vector<TurnedBox> PageBlockWrite::removalBoxes() const
{
    std::vector<TurnedBox> boxes;
    for (size_t i = 0; i < m_blocks.size(); ++i)
        if (!m_blocks[i].isImage && hasArea(m_blocks[i].originalRect) && !takesByGlyphs(i))
            boxes.insert(boxes.end(), m_plans[i].whiteOuts.begin(), m_plans[i].whiteOuts.end());
    return boxes;
}

std::vector<TurnedBox> PageBlockWrite::textAreas() const
{
    std::vector<TurnedBox> areas;
    for (size_t i = 0; i < m_blocks.size(); ++i)
        if (!m_blocks[i].isImage && !takesByGlyphs(i))
            addTextBlockAreas(i, areas);
    return areas;
}

std::vector<int> PageBlockWrite::objectsToRemove() const
{
    std::vector<int> own, original;
    std::vector<QRectF> areas;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (!hasArea(m_blocks[i].originalRect))
            continue;
        if (!m_corrections[i].empty()) {
            collectOwnTaken(i, own);  // what stays of a corrected line's stays
            continue;
        }
        // Text of a block only moved goes with the move in the content.
        for (const TurnedBox& whiteOut : m_plans[i].whiteOuts)
            if (movesGlyphs(i))
                m_writer.collectWhiteOutsInside(whiteOut, own);
            else
                m_writer.collectTextInside(whiteOut, own, original);
    }
    if (std::none_of(m_blocks.begin(), m_blocks.end(), hasWritableText))
        return own;
    // Lines of an invisible layer this program wrote stay where they are
    // unless their block is covered or rewritten.
    std::vector<TurnedBox> kept;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const TextBlock& block = m_blocks[i];
        if (block.isImage || !m_plans[i].whiteOuts.empty() || isEditedBlock(block))
            continue;
        for (const TextBlock::Line& line : block.lines)
            if (line.invisibleText && alreadyOnPage(block, line))
                kept.push_back(lineOnPage(line.rect, line.turn, block.rotation, block.rect.center()).grown(kLayerClaimMargin));
    }
    m_writer.collectOwnInvisibleText(kept, own, areas);
    return own;
}

bool PageBlockWrite::write(const std::vector<QRectF>& otherLayer, bool& changed, QString& error)
{
    if (!m_markLoss.isEmpty() || !m_overflow.isEmpty()) {
        error = m_markLoss.isEmpty() ? m_overflow : m_markLoss;
        return false;
    }
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const bool written = m_blocks[i].isImage ? writeImageBlock(m_writer, m_blocks[i], changed, error)
                                                 : writeTextBlock(i, otherLayer, changed, error);
        if (!written)
            return false;
    }
    return true;
}

// Where a redrawn line's old glyphs stood: its recognised place, or a
// rectangle in the block's frame as it was made. A native line knows its
// glyphs' boxes, which stay where the page draws them when the block is moved
// or grouped; other lines move with their block.
OldLinePlace PageBlockWrite::oldPlaceFor(const TextBlock& block, size_t index, size_t k) const
{
    const TextBlock::Line& line = m_plans[index].lines[k];
    const TurnedBox& recognised = m_plans[index].linePlans[k].oldPlace;
    // The recognised words, in the line's own frame as it was read.
    const auto wordsAt = [&line](const QRectF& rect) {
        TextBlock::Line read = line;
        read.rect = line.originalRect;
        std::vector<std::pair<QString, QRectF>> words;
        for (const TextBlock::Line::Word& word : line.originalWords)
            if (hasArea(word.rect))
                words.emplace_back(word.text, wordInLineFrame(read, word.rect)
                                                  .translated(rect.topLeft() - line.originalRect.topLeft()));
        return words;
    };
    if (!recognised.isNull())
        return OldLinePlace{recognised.rect, recognised.toFrame(), line.originalText, wordsAt(recognised.rect), std::nullopt};
    if (hasArea(line.originalRect) && !line.originalText.isEmpty()) {
        const TurnedBox place =
            lineOnPage(line.originalRect, line.turn, block.originalRotation, block.originalRect.center());
        return OldLinePlace{place.rect, place.toFrame(), line.originalText, wordsAt(place.rect), std::nullopt};
    }
    OldLinePlace place;
    place.laid = line.placement;
    place.toFrame = clockwiseTurn(block.originalRect.center(), -block.originalRotation);
    place.glyphs = oldGlyphsOf(index, k, place.toFrame);
    QRectF glyphs;
    for (const QRectF& box : line.glyphBoxes)
        glyphs = glyphs.united(box);
    // The line's box follows its text as edited (shorter text, a narrower
    // box); the old glyphs keep the width they had.
    if (hasArea(glyphs))
        place.rect = QRectF(glyphs.topLeft(), QSizeF(std::max(glyphs.width(), line.rect.width()), line.rect.height()));
    else
        place.rect = line.rect.translated(block.originalRect.topLeft() - block.rect.topLeft());
    return place;
}

// How far above the bottom of its box a redrawn line's old glyphs stood on
// their baseline, so that it keeps its baseline through any number of edits;
// a recognised line's own measure where no glyph stands there; -1 unknown.
double PageBlockWrite::baselineLift(const TextBlock& block, size_t index, size_t k) const
{
    const TextBlock::Line& line = m_plans[index].lines[k];
    // Read with a visible line: its baseline, whatever glyphs are around.
    if (hasArea(block.originalRect) && line.placement && !line.invisibleText && line.placement->origin.y() >= 0)
        return line.placement->origin.y();
    if (hasArea(block.originalRect)) {
        const OldLinePlace old = oldPlaceFor(block, index, k);
        std::vector<double> ys;
        for (const PageGlyph& glyph : old.glyphs ? *old.glyphs : m_glyphs.inside(old.rect, old.toFrame))
            ys.push_back(glyph.baseline);
        // The lift is taken from the bottom of the line's own old box, which
        // the written box's bottom stands for; a box around old glyphs alone
        // stands higher than the line's.
        const bool lineBox = !m_plans[index].linePlans[k].oldPlace.isNull() ||
                             (hasArea(line.originalRect) && !line.originalText.isEmpty());
        const double bottom = lineBox ? old.rect.y() : line.rect.y() + block.originalRect.y() - block.rect.y();
        const double height = lineBox ? old.rect.height() : line.rect.height();
        if (!ys.empty()) {
            std::nth_element(ys.begin(), ys.begin() + qsizetype(ys.size() / 2), ys.end());
            const double lift = ys[ys.size() / 2] - bottom;
            if (lift >= 0 && lift < height)
                return lift;
        }
    }
    return line.baselineLift < line.rect.height() ? line.baselineLift : -1.0;
}

// A scan line's words the user left keep the scan's pixels, cut from the
// page as it showed and moved along the line as the changed words before
// them need; the changed words are written as text, the kept ones go into
// the searchable layer as they were read. None when the line keeps no word.
std::optional<bool> PageBlockWrite::writeScanWords(size_t index, size_t k, double lift)
{
    const TurnedBox* painted = paintedOver(index, k);
    if (m_scan.image.isNull() || !painted)
        return std::nullopt;
    const std::vector<ScanLineWord> words = scanLayout(index, k);
    if (words.empty())
        return std::nullopt;
    const LinePlan& linePlan = m_plans[index].linePlans[k];
    const TextStyle style = scanStyle(index, k);
    const double size = std::max(double(style.fontSize), 1.0);
    const QTransform toPage = linePlan.frame.toPage();
    const double baseline = linePlan.frame.rect.y() + (lift >= 0 ? lift : kBaselineLiftOfSize * size);
    const QRectF band = keptBand(index, k, *painted);
    for (size_t i = 0; i < words.size(); ++i) {
        const ScanLineWord& word = words[i];
        // A blank after every word but the line's last parts it from the
        // next for readers, however close the next one stands.
        const bool blankAfter = i + 1 < words.size();
        if (!word.kept) {
            if (!m_writer.addWordsAt(word.text, word.left, word.scale, baseline, style, toPage, linePlan.stepWords,
                                     blankAfter))
                return false;
            continue;
        }
        const QRectF source(QPointF(word.oldBox.left() - word.marginLeft, band.top()),
                            QPointF(word.oldBox.right() + word.marginRight, band.bottom()));
        const FramePixels pixels = cutFromPicture(m_scan, linePlan.frame, source);
        // Read back, its first glyph's advance starts short of its ink, as printed text's does.
        const double bearing = std::min(m_writer.invisibleLeftBearing(word.text, style), word.width / 2);
        const QRectF shown(word.left - bearing, word.oldBox.y(), word.width + bearing, word.oldBox.height());
        if (!m_writer.addImage(pixels.rect.translated(word.left - word.oldBox.left(), 0), pixels.image, toPage) ||
            !m_writer.addInvisibleRun(word.text, shown, baseline, style, toPage, linePlan.stepWords, blankAfter))
            return false;
    }
    return true;
}

// A line over old glyphs takes their font, size, colours and width, upright
// or turned; an added one is written as it is styled.
bool PageBlockWrite::writeVisibleLine(const TextBlock& block, size_t index, size_t k, double lift)
{
    if (const LineCorrection* correction = correctionOf(index, k))
        return writeCorrection(index, k, *correction);
    const TextBlock::Line& line = m_plans[index].lines[k];
    const TurnedBox& frame = m_plans[index].linePlans[k].frame;
    if (!hasArea(block.originalRect))
        return m_writer.addVisibleText(line.text, frame.rect, styleOf(line), frame.toPage(), lift);
    if (const std::optional<bool> scanWords = writeScanWords(index, k, lift))
        return *scanWords;
    OldLinePlace old = oldPlaceFor(block, index, k);
    old.restyled = line.restyled;
    return m_writer.addRewrittenLine(line.text, frame.rect, styleOf(line), old, m_glyphs, frame.toPage(), lift,
                                     m_plans[index].linePlans[k].stepWords);
}

namespace {

// Whether the line's text parts each recognised word from the next: the
// layer then writes that blank, for readers that join words whose boxes
// touch (a one-letter word beside its neighbour).
std::vector<bool> blanksAfterWords(const TextBlock::Line& line)
{
    std::vector<bool> blanks(line.words.size(), true);
    qsizetype at = 0;
    for (size_t i = 0; i < line.words.size(); ++i) {
        const QString& word = line.words[i].text;
        const qsizetype found = word.isEmpty() ? -1 : line.text.indexOf(word, at);
        if (found < 0)
            continue;
        at = found + word.size();
        blanks[i] = at < line.text.size() && line.text[at].isSpace();
    }
    return blanks;
}

// Readers such as poppler join two words whose advances stand closer than
// about a tenth of their size, blank or not: a word followed by a blank ends
// that far short of the next, giving up at most a fifth of its width.
void keepWordGaps(std::vector<std::pair<QString, QRectF>>& pieces, const std::vector<bool>& blanks, double size)
{
    constexpr double kGapOfSize = 0.1, kMostGivenUp = 0.2;
    for (size_t i = 0; i + 1 < pieces.size() && i < blanks.size(); ++i) {
        QRectF& rect = pieces[i].second;
        const double end = pieces[i + 1].second.left() - kGapOfSize * size;
        if (blanks[i] && end < rect.right())
            rect.setRight(std::max(end, rect.right() - kMostGivenUp * rect.width()));
    }
}

} // namespace

bool PageBlockWrite::writeInvisibleCopy(const TextBlock& block, const TextBlock::Line& line, QString& error)
{
    std::vector<std::pair<QString, QRectF>> pieces;
    std::vector<bool> blanks;  // after each piece but the line's last
    const std::vector<bool> parted = blanksAfterWords(line);
    const auto takeWord = [&](size_t i, const QRectF& rect) {
        pieces.emplace_back(line.words[i].text, rect);
        blanks.push_back(parted[i]);
    };
    if (standsOnKnownBaseline(line)) {
        // In the line's own frame, on its baseline, turned with it.
        const TurnedBox frame = lineOnPage(line.rect, line.turn, block.rotation, block.rect.center());
        const QPointF shift = frame.rect.topLeft() - line.rect.topLeft();
        const double size = std::max(double(line.fontSize), 1.0);
        const double lift = line.baselineLift >= 0 && line.baselineLift < line.rect.height() ? line.baselineLift
                                                                                             : 0.12 * size;
        for (size_t i = 0; i < line.words.size(); ++i)
            if (!line.words[i].text.trimmed().isEmpty() && hasArea(line.words[i].rect))
                takeWord(i, wordInLineFrame(line, line.words[i].rect).translated(shift));
        if (pieces.empty())
            pieces.emplace_back(line.text, frame.rect);
        keepWordGaps(pieces, blanks, size);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const auto& [text, rect] = pieces[i];
            if (!m_writer.addInvisibleRun(text, rect, frame.rect.y() + lift, styleOf(line), frame.toPage(),
                                          isSteppedTurn(frame.rotation), i + 1 < blanks.size() && blanks[i])) {
                error = writeFailure(text, m_writer.lastError());
                return false;
            }
        }
        return true;
    }
    const bool byWords = !line.words.empty() && std::abs(block.rotation) <= kBlockRotationEpsilon;
    if (byWords) {
        for (size_t i = 0; i < line.words.size(); ++i)
            if (!line.words[i].text.trimmed().isEmpty() && hasArea(line.words[i].rect))
                takeWord(i, line.words[i].rect);
    }
    if (pieces.empty())
        pieces.emplace_back(line.text, line.rect);
    keepWordGaps(pieces, blanks, std::max(double(line.fontSize), 1.0));
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto& [text, rect] = pieces[i];
        if (!m_writer.addInvisibleText(text, rect, styleOf(line), i + 1 < blanks.size() && blanks[i])) {
            error = writeFailure(text, m_writer.lastError());
            return false;
        }
    }
    return true;
}

// Writes one text block; false with the reason in error when any of its
// objects is refused. Changed, moved or turned text is written visibly over a
// white-out of its old place; recognised text gets an invisible copy, word by
// word where the words are known.
bool PageBlockWrite::writeTextBlock(size_t index, const std::vector<QRectF>& otherLayer, bool& changed,
                                    QString& error)
{
    const TextBlock& block = m_blocks[index];
    const BlockPlan& plan = m_plans[index];
    if (movesGlyphs(index))
        return true;  // moved in the page's content as it stands
    for (const TurnedBox& whiteOut : m_painted[index]) {
        if (!m_writer.addWhiteBox(whiteOut, 0)) {
            error = QStringLiteral("pdfium не принял белый прямоугольник.");
            return false;
        }
        changed = true;  // a deleted block writes nothing else
    }
    const bool skipInvisibleCopy = duplicatesVisibleBlock(block, m_blocks);
    for (size_t k = 0; k < plan.lines.size(); ++k) {
        const TextBlock::Line& line = plan.lines[k];
        if (line.text.trimmed().isEmpty())
            continue;
        if (plan.linePlans[k].redrawn) {
            if (!writeVisibleLine(block, index, k, baselineLift(block, index, k))) {
                error = writeFailure(line.text, m_writer.lastError());
                return false;
            }
            changed = true;
            continue;
        }
        if (skipInvisibleCopy || showsOwnText(block, line) || alreadyOnPage(block, line) ||
            coveredShare(line.rect, otherLayer) > kCoincidentOverlap)
            continue;  // the page shows it, or a layer already carries it
        if (!writeInvisibleCopy(block, line, error))
            return false;
        changed = true;
    }
    return true;
}

}  // namespace pdfengine
