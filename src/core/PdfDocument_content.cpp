// Writing into page content: the text layer and edited blocks, pictures, free
// text and highlights.
#include "PdfDocument.h"

#include "ContentStreamEditor.h"
#include "PdfChangeNotice.h"
#include "PageGlyphRemoval.h"
#include "PageGlyphs.h"
#include "PageOwnContent.h"
#include "PageRemovalTrial.h"
#include "PageTextWriter.h"
#include "PdfEngineInternal.h"
#include "QpdfFile.h"
#include "TextBlock.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QDebug>
#include <QTransform>

#include <cmath>

using namespace pdfengine;

namespace {

constexpr double kCoincidentOverlap = 0.5;
constexpr double kWhiteOutGrowth = 1.5;  // as the writer grows a white rectangle
constexpr double kLayerClaimMargin = 1.0;
constexpr double kFreeTextLineSpacing = 1.2;
constexpr double kMarkBarShare = 0.1;  // underline and strike-out bars, of the rectangle's height
constexpr double kMinMarkBar = 1.0;
constexpr double kMaxMarkBar = 4.0;

// Where a mark of kind is drawn: the whole rectangle for a highlight, a bar
// along its bottom edge for an underline, a bar through its middle for a
// strike-out (PDF points, y up).
QRectF markArea(const QRectF& rect, int kind)
{
    const QRectF box = rect.normalized();
    const double bar = std::clamp(box.height() * kMarkBarShare, kMinMarkBar, kMaxMarkBar);
    switch (kind) {
    case 1:
        return QRectF(box.x(), box.y(), box.width(), bar);
    case 2:
        return QRectF(box.x(), box.center().y() - bar / 2, box.width(), bar);
    default:
        return box;
    }
}

bool isEdited(const TextBlock& block)
{
    return block.textEdited || !block.richText.trimmed().isEmpty();
}

// Rectangles equal once rounded the way the page was laid out: x and y to the
// nearest point, width and height with half of the x (or y) rounding added.
bool sameIntegerRect(const QRectF& a, const QRectF& b)
{
    auto rounded = [](const QRectF& r) {
        const double x = std::round(r.x());
        const double y = std::round(r.y());
        return std::array<double, 4>{x, y, std::round(r.width() + (r.x() - x) / 2),
                                     std::round(r.height() + (r.y() - y) / 2)};
    };
    return rounded(a) == rounded(b);
}

TextStyle styleOf(const TextBlock::Line& line)
{
    return TextStyle{line.fontFamily, line.fontSize, line.color, line.bold, line.italic};
}

bool hasWritableText(const TextBlock& block)
{
    return !block.isImage && !block.text.trimmed().isEmpty();
}

double overlapShare(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.normalized().intersected(b.normalized());
    const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
    return common.isEmpty() || smaller <= 0 ? 0.0 : common.width() * common.height() / smaller;
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

// Where an old place is covered: a rectangle turned about its centre.
struct WhiteOut {
    QRectF rect;  // null: nothing covered
    double rotation = 0;
};

// Turns clockwise as displayed by rotation about centre (y grows upward).
QTransform turnAbout(const QPointF& centre, double rotation)
{
    QTransform turn;
    if (std::abs(rotation) <= kBlockRotationEpsilon)
        return turn;
    turn.translate(centre.x(), centre.y());
    turn.rotate(-rotation);
    turn.translate(-centre.x(), -centre.y());
    return turn;
}

// The box on the page of rect turned by rotation (clockwise) about its centre.
QRectF turnedBounds(const QRectF& rect, double rotation)
{
    if (std::abs(rotation) <= kBlockRotationEpsilon)
        return rect;
    QTransform turn;
    turn.translate(rect.center().x(), rect.center().y());
    turn.rotate(-rotation);
    turn.translate(-rect.center().x(), -rect.center().y());
    return turn.mapRect(rect);
}

// Where a text block's old place must be whited out: nothing when the block
// is written as it stands.
WhiteOut whiteOutOf(const TextBlock& block, bool forceWhiteout)
{
    const bool rewritten = isEdited(block) || forceWhiteout;
    // Text the user added has no old place: the page under it stays.
    if (!hasArea(block.originalRect))
        return forceWhiteout ? WhiteOut{block.rect, block.rotation} : WhiteOut{};
    if (sameIntegerRect(block.rect, block.originalRect) && !isTurnedByUser(block))
        return rewritten ? WhiteOut{block.originalRect, block.originalRotation} : WhiteOut{};
    return WhiteOut{block.originalRect, block.originalRotation};  // moved, resized or turned
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

// Unedited lines of an invisible layer this program wrote stay where they are.
std::vector<QRectF> keptLayerLines(const std::vector<TextBlock>& blocks, const std::vector<WhiteOut>& whiteOuts)
{
    std::vector<QRectF> kept;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const TextBlock& block = blocks[i];
        if (block.isImage || !whiteOuts[i].rect.isNull() || isEdited(block))
            continue;
        for (const TextBlock::Line& line : block.lines)
            if (line.invisibleText && alreadyOnPage(block, line))
                kept.push_back(turnedBounds(line.rect, block.rotation)
                                   .adjusted(-kLayerClaimMargin, -kLayerClaimMargin, kLayerClaimMargin, kLayerClaimMargin));
    }
    return kept;
}

// Where a line's old glyphs stood: a rectangle in the frame toFrame maps the
// page into (the block's frame when it was made: turned text runs left to
// right in it). A native line knows its glyphs' boxes, which stay where the
// page draws them when the block is moved or grouped; other lines move with
// their block.
struct OldPlace {
    QRectF rect;
    QTransform toFrame;
};

OldPlace oldPlaceOf(const TextBlock& block, const TextBlock::Line& line)
{
    OldPlace place;
    place.toFrame = turnAbout(block.originalRect.center(), -block.originalRotation);
    QRectF glyphs;
    for (const QRectF& box : line.glyphBoxes)
        glyphs = glyphs.united(box);
    if (hasArea(glyphs))
        place.rect = QRectF(glyphs.topLeft(), line.rect.size());
    else
        place.rect = line.rect.translated(block.originalRect.topLeft() - block.rect.topLeft());
    return place;
}

// For every line of a visibly written block: how far above the bottom of its
// box the old glyphs stood on their baseline (-1 when unknown), so a rewritten
// line keeps its baseline through any number of edits.
std::vector<double> baselineLifts(const PageGlyphs& glyphs, const TextBlock& block,
                                  const std::vector<TextBlock::Line>& lines)
{
    std::vector<double> lifts(lines.size(), -1.0);
    if (!hasArea(block.originalRect))
        return lifts;
    for (size_t k = 0; k < lines.size(); ++k) {
        // Read with a visible line: its baseline, whatever glyphs are around.
        if (lines[k].placement && !lines[k].invisibleText && lines[k].placement->origin.y() >= 0) {
            lifts[k] = lines[k].placement->origin.y();
            continue;
        }
        const OldPlace old = oldPlaceOf(block, lines[k]);
        std::vector<double> ys;
        for (const PageGlyph& glyph : glyphs.inside(old.rect, old.toFrame))
            ys.push_back(glyph.baseline);
        if (ys.empty())
            continue;
        std::nth_element(ys.begin(), ys.begin() + qsizetype(ys.size() / 2), ys.end());
        const double lift = ys[ys.size() / 2] - old.rect.y();
        if (lift >= 0 && lift < old.rect.height())
            lifts[k] = lift;
    }
    return lifts;
}

// A line over old glyphs takes their font, size, colours and width, upright
// or turned; an added one is written as it is styled.
bool writeVisibleLine(PageTextWriter& writer, const TextBlock& block, const TextBlock::Line& line,
                      const PageGlyphs& oldGlyphs, double lift)
{
    if (!hasArea(block.originalRect))
        return writer.addVisibleText(line.text, line.rect, styleOf(line), block.rotation, block.rect.center(), lift);
    const OldPlace old = oldPlaceOf(block, line);
    return writer.addRewrittenLine(line.text, line.rect, styleOf(line), old.rect, old.toFrame, oldGlyphs,
                                   block.rotation, block.rect.center(), lift, line.placement);
}

QString writeFailure(const QString& text, const QString& reason)
{
    return QStringLiteral("Не удалось записать текст «%1» на страницу: %2")
        .arg(text.left(40), reason.isEmpty() ? QStringLiteral("pdfium отказал.") : reason);
}

// Writes one text block; false with the reason in error when any of its
// objects is refused. Edited, moved or turned text is written visibly over a
// white-out of its old place; recognised text gets an invisible copy, word by
// word where the words are known.
bool writeTextBlock(PageTextWriter& writer, const TextBlock& block, const WhiteOut& whiteOut,
                    const PageGlyphs& oldGlyphs, const std::vector<QRectF>& otherLayer,
                    bool skipInvisibleCopy, bool& changed, QString& error)
{
    if (!whiteOut.rect.isNull()) {
        if (!writer.addWhiteRect(whiteOut.rect, whiteOut.rotation)) {
            error = QStringLiteral("pdfium не принял белый прямоугольник.");
            return false;
        }
        changed = true; // a deleted block writes nothing else
    }
    const bool visible = !whiteOut.rect.isNull() || isEdited(block);
    const std::vector<TextBlock::Line> lines = linesForWriting(block);
    const std::vector<double> lifts =
        visible ? baselineLifts(oldGlyphs, block, lines) : std::vector<double>(lines.size(), -1.0);
    for (size_t k = 0; k < lines.size(); ++k) {
        const TextBlock::Line& line = lines[k];
        if (line.text.trimmed().isEmpty())
            continue;
        if (visible) {
            if (!writeVisibleLine(writer, block, line, oldGlyphs, lifts[k])) {
                error = writeFailure(line.text, writer.lastError());
                return false;
            }
            changed = true;
            continue;
        }
        if (skipInvisibleCopy || showsOwnText(block, line) || alreadyOnPage(block, line) ||
            coveredShare(line.rect, otherLayer) > kCoincidentOverlap)
            continue;  // the page shows it, or a layer already carries it
        const bool byWords = !line.words.empty() && std::abs(block.rotation) <= kBlockRotationEpsilon;
        std::vector<std::pair<QString, QRectF>> pieces;
        if (byWords) {
            for (const TextBlock::Line::Word& word : line.words)
                if (!word.text.trimmed().isEmpty() && hasArea(word.rect))
                    pieces.emplace_back(word.text, word.rect);
        }
        if (pieces.empty())
            pieces.emplace_back(line.text, line.rect);
        for (const auto& [text, rect] : pieces) {
            if (!writer.addInvisibleText(text, rect, styleOf(line))) {
                error = writeFailure(text, writer.lastError());
                return false;
            }
        }
        changed = true;
    }
    return true;
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

// The page to write into, or null with the reason in error.
PagePtr pageForWriting(FPDF_DOCUMENT doc, int pageIndex, QString& error)
{
    if (!doc) {
        error = QStringLiteral("Документ не открыт.");
        return PagePtr();
    }
    PagePtr page(pageIndex >= 0 ? pdfApi().FPDF_LoadPage(doc, pageIndex) : nullptr);
    if (!page)
        error = QStringLiteral("Не удалось открыть страницу %1.").arg(pageIndex + 1);
    return page;
}

// A rectangle (points) grown side by side, pixel by pixel, while the band just
// outside it holds dark ink, by at most maxGrowth points on each side.
QRectF grownOverInk(const QImage& render, double scale, double pageHeight, const QRectF& rect, double maxGrowth)
{
    constexpr int kDarkGray = 160;
    const QImage gray = render.convertToFormat(QImage::Format_Grayscale8);
    QRect px(int(std::floor(rect.x() * scale)), int(std::floor((pageHeight - rect.bottom()) * scale)),
             int(std::ceil(rect.width() * scale)), int(std::ceil(rect.height() * scale)));
    const QRect limit = px.adjusted(-int(maxGrowth * scale), -int(maxGrowth * scale), int(maxGrowth * scale),
                                    int(maxGrowth * scale))
                            .intersected(gray.rect());
    auto inked = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (gray.rect().contains(x, y) && gray.constScanLine(y)[x] < kDarkGray)
                    return true;
        return false;
    };
    for (bool grew = true; grew;) {
        grew = false;
        if (px.top() > limit.top() && inked(px.left(), px.top() - 1, px.right(), px.top() - 1))
            px.setTop(px.top() - 1), grew = true;
        if (px.bottom() < limit.bottom() && inked(px.left(), px.bottom() + 1, px.right(), px.bottom() + 1))
            px.setBottom(px.bottom() + 1), grew = true;
        if (px.left() > limit.left() && inked(px.left() - 1, px.top(), px.left() - 1, px.bottom()))
            px.setLeft(px.left() - 1), grew = true;
        if (px.right() < limit.right() && inked(px.right() + 1, px.top(), px.right() + 1, px.bottom()))
            px.setRight(px.right() + 1), grew = true;
    }
    return QRectF(px.x() / scale, pageHeight - (px.y() + px.height()) / scale, px.width() / scale, px.height() / scale)
        .united(rect);
}

// A rewritten line of an invisible layer stands over a scan: its white-out
// covers the layer's words (which span their ink; a line box read from the
// layer's glyphs may not) and the scanned ink that runs on from it, such as
// descenders, within a third of the line height.
void coverLayerWords(FPDF_PAGE page, const PageTextWriter& writer, const std::vector<TextBlock>& blocks,
                     std::vector<WhiteOut>& whiteOuts)
{
    constexpr double kMaxGrowth = 1.0 / 3;
    constexpr double kInkScale = 2.0;
    QImage render;
    const double pageHeight = pdfApi().FPDF_GetPageHeightF(page);
    for (size_t i = 0; i < blocks.size(); ++i) {
        WhiteOut& whiteOut = whiteOuts[i];
        if (!blocks[i].invisibleText || whiteOut.rect.isNull() || std::abs(whiteOut.rotation) > kBlockRotationEpsilon)
            continue;
        const QRectF around = writer.invisibleTextAround(whiteOut.rect);
        const QRectF words = whiteOut.rect.united(around);
        if (!around.isNull() && words.width() <= whiteOut.rect.width() * (1 + kMaxGrowth) &&
            words.height() <= whiteOut.rect.height() * (1 + kMaxGrowth))
            whiteOut.rect = words;
        if (render.isNull())
            render = renderLoadedPageImage(page, kInkScale);
        if (!render.isNull())
            whiteOut.rect = grownOverInk(render, kInkScale, pageHeight, whiteOut.rect, kMaxGrowth * whiteOut.rect.height());
    }
}

// The program's own objects a write removes: its text under the white-outs
// of redrawn blocks and its earlier searchable layer. The page's original
// text under them goes through the content stream itself (removeOwnGlyphs).
std::vector<int> objectsToRemove(const PageTextWriter& writer, const std::vector<TextBlock>& blocks,
                                 const std::vector<WhiteOut>& whiteOuts)
{
    std::vector<int> own, original;
    std::vector<QRectF> areas;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (whiteOuts[i].rect.isNull() || !hasArea(blocks[i].originalRect))
            continue;
        writer.collectTextInside(turnedBounds(whiteOuts[i].rect, whiteOuts[i].rotation), own, original);
    }
    if (std::any_of(blocks.begin(), blocks.end(), hasWritableText))
        writer.collectOwnInvisibleText(keptLayerLines(blocks, whiteOuts), own, areas);
    return own;
}

// Where the page's own glyphs must go: the old places of rewritten text
// blocks (displayed-page points).
std::vector<QRectF> removalBoxes(const std::vector<TextBlock>& blocks, const std::vector<WhiteOut>& whiteOuts)
{
    std::vector<QRectF> boxes;
    for (size_t i = 0; i < blocks.size(); ++i)
        if (!blocks[i].isImage && !whiteOuts[i].rect.isNull() && hasArea(blocks[i].originalRect))
            boxes.push_back(turnedBounds(whiteOuts[i].rect, whiteOuts[i].rotation));
    return boxes;
}

// Whether any glyph of the page stands in the boxes.
bool glyphsInside(const PageGlyphs& glyphs, const std::vector<QRectF>& boxes)
{
    return std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& box) { return !glyphs.inside(box).empty(); });
}

QString refusalText(int pageIndex, const QString& reason)
{
    return QStringLiteral("Текст страницы %1 нельзя удалить точно: %2").arg(pageIndex + 1).arg(reason);
}

QString swallowedText(int pageIndex)
{
    return QStringLiteral("Содержимое страницы %1 повреждено: записанное на неё не читается.").arg(pageIndex + 1);
}

// Writes the page's content again and reads it back: false, with the reason,
// when pdfium refuses or when the page's own content swallows what was
// appended to it (an open string, say). The page handle is the reloaded page.
bool regenerateAndCheck(FPDF_DOCUMENT doc, int pageIndex, PagePtr& page, int inserted, QString& error)
{
    touchOwnObjects(page.get());
    if (!pdfApi().FPDFPage_GenerateContent(page.get())) {
        error = QStringLiteral("pdfium не смог записать содержимое страницы %1.").arg(pageIndex + 1);
        return false;
    }
    page.reset(pdfApi().FPDF_LoadPage(doc, pageIndex));
    if (inserted > 0 && (!page || countOwnObjects(page.get()) < inserted)) {
        error = swallowedText(pageIndex);
        return false;
    }
    return true;
}

// What became of objects appended to a page: the reason when they were not
// written, and whether the page was regenerated at all.
struct AppendOutcome {
    bool touched = false;
    QString error;
};

AppendOutcome commitAppendedObjects(FPDF_DOCUMENT doc, int pageIndex, PagePtr& page, int inserted)
{
    if (!appendedContentReads(doc, pageIndex))
        return {false, swallowedText(pageIndex)};
    QString error;
    regenerateAndCheck(doc, pageIndex, page, inserted, error);
    return {true, error};
}

} // namespace

// All or nothing: the page is written again only when every object was
// accepted; on any failure it is closed unwritten, as it was.
bool PdfDocument::overlayOcrText(int pageIndex, const std::vector<TextBlock>& blocks, bool forceWhiteout)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (blocks.empty()) {
        setLastError(QStringLiteral("Нет блоков для записи на страницу."));
        return false;
    }
    QString error;
    PagePtr page = pageForWriting(m_doc, pageIndex, error);
    if (!page) {
        setLastError(error);
        return false;
    }
    if (!contentWritableUnlocked(pageIndex))
        return false;
    std::vector<WhiteOut> whiteOuts;
    for (const TextBlock& block : blocks)
        whiteOuts.push_back(block.isImage ? WhiteOut{} : whiteOutOf(block, forceWhiteout));

    // Where the old glyphs stand, read before anything is removed.
    const bool anyVisible = std::any_of(whiteOuts.begin(), whiteOuts.end(), [](const WhiteOut& w) { return !w.rect.isNull(); }) ||
                            std::any_of(blocks.begin(), blocks.end(), isEdited);
    // Its fonts stay loaded in this document: it goes before the document is read again.
    auto glyphsHolder = std::make_unique<PageGlyphs>(anyVisible ? FPDF_DOCUMENT(m_doc) : nullptr, page.get());
    const PageGlyphs& oldGlyphs = *glyphsHolder;

    m_writtenPages.insert(pageIndex);
    writerFontsUnlocked().notePage(pageIndex);
    auto writer = std::make_unique<PageTextWriter>(m_doc, page.get(), writerFontsUnlocked());
    coverLayerWords(page.get(), *writer, blocks, whiteOuts);

    // The state to go back to when the page's own glyphs cannot be removed:
    // the bytes the document was read from, unless it changed since.
    const std::vector<QRectF> boxes = removalBoxes(blocks, whiteOuts);
    const bool removal = glyphsInside(oldGlyphs, boxes);
    QByteArray rollback;
    const bool rewriteBefore = m_rewriteOnSave, modifiedBefore = m_modified, changedBefore = m_changedSinceLoad;
    if (removal && !serializeForEditUnlocked(&rollback, &error)) {
        setLastError(refusalText(pageIndex, error));
        return false;
    }

    const std::vector<int> doomed = objectsToRemove(*writer, blocks, whiteOuts);
    // Another tool's searchable layer stays; recognised lines it already
    // carries get no second copy.
    std::vector<int> ownLayer, otherLayer;
    std::vector<QRectF> ownLayerBoxes, otherLayerBoxes;
    writer->collectInvisibleText(ownLayer, otherLayer, ownLayerBoxes, otherLayerBoxes);
    const bool removedOwn = writer->removeObjectsAt(doomed);
    bool changed = removedOwn;

    for (size_t i = 0; i < blocks.size(); ++i) {
        const TextBlock& block = blocks[i];
        const bool written = block.isImage ? writeImageBlock(*writer, block, changed, error)
                                           : writeTextBlock(*writer, block, whiteOuts[i], oldGlyphs, otherLayerBoxes,
                                                            duplicatesVisibleBlock(block, blocks), changed, error);
        if (!written) {
            setLastError(error);
            return false;
        }
    }
    // A page that would swallow new objects is left as it was.
    if (writer->insertedCount() > 0 && !appendedContentReads(m_doc, pageIndex)) {
        setLastError(swallowedText(pageIndex));
        return false;
    }
    const PdfPageTransform transform = pageTransformOf(page.get());
    const int inserted = writer->insertedCount();
    writer.reset();
    glyphsHolder.reset();
    if (changed) {
        const bool written = regenerateAndCheck(m_doc, pageIndex, page, inserted, error);
        // The content changed even where it cannot be read back.
        if (removedOwn || removal)
            markChangedUnlocked();
        else
            markAddedUnlocked();
        if (!written) {
            setLastError(error);
            return false;
        }
    }
    page.reset();
    if (!removal) {
        if (inserted > 0)
            wrapPageStreamsUnlocked(pageIndex);
        return true;
    }

    // Then the page's own glyphs under the rewritten blocks are cut out of
    // its content stream (the program's text written over them stays), and
    // the document is read again from the edited bytes.
    std::vector<QRectF> userAreas, trialAreas;
    for (const QRectF& box : boxes) {
        userAreas.push_back(transform.toUser(box));
        trialAreas.push_back(box.adjusted(-kWhiteOutGrowth, -kWhiteOutGrowth, kWhiteOutGrowth, kWhiteOutGrowth));
    }
    QByteArray current, after;
    int removed = 0;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PageGlyphRemoval::run(current, pageIndex, userAreas, trialAreas, &after, &removed, &error)) {
        reloadFromBytesUnlocked(rollback);  // the write above is undone with it
        m_rewriteOnSave = rewriteBefore;
        m_modified = modifiedBefore;
        m_changedSinceLoad = changedBefore;
        setLastError(refusalText(pageIndex, error));
        return false;
    }
    if (removed > 0 && !reloadFromBytesUnlocked(after))
        return false;
    return true;
}

bool PdfDocument::removeInvisibleTextLayer(int pageIndex)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    QString error;
    PagePtr page = pageForWriting(m_doc, pageIndex, error);
    if (!page) {
        setLastError(error);
        return false;
    }
    auto writer = std::make_unique<PageTextWriter>(m_doc, page.get(), writerFontsUnlocked());
    std::vector<int> own, original;
    std::vector<QRectF> ownBoxes, boxes;
    writer->collectInvisibleText(own, original, ownBoxes, boxes);
    // Nothing to remove writes nothing, even on content that does not read whole.
    if (!own.empty() && !contentWritableUnlocked(pageIndex))
        return false;
    if (writer->removeObjectsAt(own)) {
        if (!pdfApi().FPDFPage_GenerateContent(page.get())) {
            setLastError(QStringLiteral("pdfium не смог записать содержимое страницы %1.").arg(pageIndex + 1));
            return false;
        }
        markChangedUnlocked();
    }
    writer.reset();
    page.reset();
    if (original.empty())
        return true;
    // Another tool's layer shares its content with what the page shows: it is
    // cut out of that content token by token, where that changes nothing the
    // page shows; otherwise it stays.
    QByteArray current, after;
    int removed = 0;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PageGlyphRemoval::removeInvisibleLayer(current, pageIndex, &after, &removed, &error)) {
        setLastError(refusalText(pageIndex, error));
        return true;
    }
    if (removed > 0 && reloadFromBytesUnlocked(after)) {
        m_modified = true;
        m_rewriteOnSave = true;
    }
    return true;
}

bool PdfDocument::appendToPage(int pageIndex, const std::function<bool(PageTextWriter&)>& add)
{
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page || !contentWritableUnlocked(pageIndex))
        return false;
    m_writtenPages.insert(pageIndex);
    writerFontsUnlocked().notePage(pageIndex);
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    if (!add(writer))
        return false;
    const AppendOutcome outcome = commitAppendedObjects(m_doc, pageIndex, page, writer.insertedCount());
    if (outcome.touched)
        markAddedUnlocked();
    if (!outcome.error.isEmpty())
        setLastError(outcome.error);
    return outcome.error.isEmpty();
}

void PdfDocument::wrapPageStreamsUnlocked(int pageIndex)
{
    if (m_bytesDamaged)
        return;
    // Most pages leave no text state: they need no wrapping, and the document
    // is not read again.
    const std::vector<int>& origins = pageOriginsUnlocked();
    const int origin = pageIndex >= 0 && pageIndex < int(origins.size()) ? origins[size_t(pageIndex)] : -1;
    if (origin >= 0 && !m_fileBytes.isEmpty()) {
        if (!m_contentSource) {
            m_contentSource = std::make_unique<QpdfFile>();
            m_contentSource->load(m_fileBytes, nullptr);
        }
        bool leaves = true;
        if (m_contentSource->isLoaded())
            m_contentSource->run([&](QPDF& pdf) {
                const std::vector<QPDFObjectHandle>& pages = pdf.getAllPages();
                if (size_t(origin) < pages.size())
                    leaves = ContentStreamEditor::leavesTextState(pages[size_t(origin)]);
            }, nullptr);
        if (!leaves)
            return;
    }
    QByteArray current, wrapped;
    QString error;
    if (!serializeForEditUnlocked(&current, &error) ||
        !PageGlyphRemoval::wrapPageStreams(current, pageIndex, &wrapped, &error)) {
        qWarning().noquote() << "Page" << pageIndex + 1 << "keeps its streams unwrapped:" << error;
        return;
    }
    if (!wrapped.isEmpty())
        reloadFromBytesUnlocked(wrapped);
}

bool PdfDocument::addFreeText(int pageIndex, const QRectF& rect, const QString& text, const QString& fontFamily,
                              float fontSize, const QColor& color)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || text.isEmpty() || pageIndex < 0)
        return false;
    // One text object per line, the last on the rectangle's bottom and the
    // others above it; the faces are the writer's embedded subsets, so any
    // script typed is drawn and read back as typed.
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QRectF box = rect.normalized();
    const double lineGap = kFreeTextLineSpacing * std::max(double(fontSize), 1.0);
    const bool written = appendToPage(pageIndex, [&](PageTextWriter& writer) {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString line = lines[i].trimmed();
            if (line.isEmpty())
                continue;
            const QRectF lineBox = box.translated(0, double(lines.size() - 1 - i) * lineGap);
            if (!writer.addVisibleText(line, lineBox, TextStyle{fontFamily, fontSize, color, false, false})) {
                if (!writer.lastError().isEmpty())
                    setLastError(writer.lastError());
                return false;
            }
        }
        return true;
    });
    if (!written)
        return false;
    // Text, unlike paths and pictures, takes the text state the page leaves.
    wrapPageStreamsUnlocked(pageIndex);
    return true;
}

bool PdfDocument::addImageToPage(int pageIndex, const QPointF& position, const QSizeF& size, const QImage& image)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0 || image.isNull() || size.width() <= 0 || size.height() <= 0)
        return false;
    return appendToPage(pageIndex, [&](PageTextWriter& writer) { return writer.addImage(QRectF(position, size), image); });
}

// Drawn over the content with Multiply rather than under it, so the mark also
// shows on pages that are one full-page picture. Kind 0 fills the rectangle,
// 1 underlines it, 2 strikes it through.
bool PdfDocument::addMarkupAnnot(int pageIndex, const QRectF& rect, const QColor& color, int kind)
{
    const ChangeNotice notice(*this, ChangeNotice::ContentChanged, pageIndex);
    if (notice.refused())
        return false;
    constexpr int kMinAlpha = 20;
    constexpr int kMaxAlpha = 120;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0)
        return false;
    QColor fill = color.isValid() ? color : QColor(255, 230, 0, 90);
    fill.setAlpha(std::clamp(fill.alpha(), kMinAlpha, kMaxAlpha));
    const QRectF area = markArea(rect, kind);
    return appendToPage(pageIndex, [&](PageTextWriter& writer) { return writer.addMarkupRect(area, fill); });
}

bool PdfDocument::addHighlightAnnot(int pageIndex, const QRectF& rect, const QColor& color)
{
    return addMarkupAnnot(pageIndex, rect, color, 0);
}

bool PdfDocument::addStickyNote(int, const QPointF&, const QString&, const QString&)
{
    setLastError(QStringLiteral("Заметки в PDF пока не поддерживаются."));
    return false;
}
