#include "EditedTextPreview.h"

#include "BlockPainting.h"
#include "EditPlan.h"
#include "LineColumns.h"
#include "LineFonts.h"
#include "ScanLineWords.h"
#include "TurnedBox.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int kMinBlockFontPx = 8;
constexpr int kMinSampleChars = 3;
constexpr double kCaretLineWidth = 100000.0;

double topOf(const QRectF& pdfRect)
{
    return pdfRect.y() + pdfRect.height();
}

// Where a visual line's box starts on screen, from the block's own corner.
QPointF lineCorner(const TextBlock& block, const TextBlock::Line& line, const QRectF& r, double zoom)
{
    return QPointF(r.x() + (line.rect.x() - block.rect.x()) * zoom,
                   r.y() + (topOf(block.rect) - topOf(line.rect)) * zoom);
}

void drawRichText(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setUndoRedoEnabled(false);
    document.setHtml(block.richText);
    scaleDocumentFontPixels(&document, zoom);
    document.setTextWidth(r.width());
    document.setPageSize(r.size());
    painter.save();
    painter.translate(r.topLeft());
    document.drawContents(&painter, QRectF(0, 0, r.width(), r.height()));
    painter.restore();
}

// Where a line's text is drawn: its font and where its baseline starts.
struct LineLayout {
    QFont font;
    QPointF origin;
};

// A justified line spread over width by its blanks, each at least minGap
// wide, as the page writer spreads a corrected line: where its words do not
// fit, it runs on past width, its glyphs as wide as their face sets them.
void justify(QFont& font, const QString& text, int blanks, double width, double minGap)
{
    font.setStretch(QFont::Unstretched);
    const QFontMetricsF metrics(font);
    const double blank = metrics.horizontalAdvance(QLatin1Char(' '));
    const double glyphs = metrics.horizontalAdvance(text) - blanks * blank;
    const double gap = std::max((width - glyphs) / blanks, minGap);
    font.setWordSpacing(gap - blank);
}

// As the page writer will put it: a line of the page where its glyphs stood,
// on their baseline, aligned as the page had it (a justified one spread over
// its old width by its blanks); text the user added on the baseline the
// writer gives it. Other lines start their ink at the line box's corner.
LineLayout lineLayout(const TextBlock& block, const TextBlock::Line& vline, const QString& text, const QRectF& r,
                      double zoom)
{
    const FittedLine fitted = fittedLine(vline, block, zoom, text, true);
    const QPointF corner = lineCorner(block, vline, r, zoom);
    LineLayout layout{fitted.font, corner};
    const bool added = !hasArea(block.originalRect);
    if (added && vline.fontSize > 1.0f) {
        layout.origin.ry() += (vline.rect.height() - kBaselineLiftOfSize * vline.fontSize) * zoom;
        return layout;
    }
    if (!vline.placement || vline.invisibleText) {
        if (fitted.ink.width() > 0 && fitted.ink.height() > 0)
            layout.origin -= fitted.ink.topLeft();
        // A layer's line is written on its glyphs' baseline, whatever its
        // text's ink reaches up to.
        if (vline.placement && vline.placement->origin.y() >= 0 && vline.placement->origin.y() < vline.rect.height())
            layout.origin.setY(corner.y() + (vline.rect.height() - vline.placement->origin.y()) * zoom);
        return layout;
    }
    const TextBlock::Line::Placement& placement = *vline.placement;
    const double start = corner.x() + placement.origin.x() * zoom;
    const double width = placement.width * zoom;
    layout.origin = QPointF(start, corner.y() + (vline.rect.height() - placement.origin.y()) * zoom);
    const int blanks = int(std::count_if(text.begin(), text.end(), [](QChar c) { return c.isSpace(); }));
    if (placement.alignment == Qt::AlignJustify && blanks > 0) {
        justify(layout.font, text, blanks, width, kMinJustifiedGapOfSize * std::max(double(vline.fontSize), 1.0) * zoom);
        return layout;
    }
    const double advance = QFontMetricsF(layout.font).horizontalAdvance(text);
    if (placement.alignment == Qt::AlignRight)
        layout.origin.rx() = start + width - advance;
    else if (placement.alignment == Qt::AlignHCenter)
        layout.origin.rx() = start + (width - advance) / 2;
    return layout;
}

// The text of a line's old glyphs, one character per glyph box.
QString oldGlyphText(const TextBlock::Line& line)
{
    return line.glyphBoxes.size() == size_t(line.glyphText.size()) ? line.glyphText : QString();
}

// A page line whose change leaves some of its columns as they were, laid out
// as the page writer writes it: those columns where they stood, the changed
// one from its old start.
struct ColumnLayout {
    QFont font;
    QPointF start;  // screen point of the old text's first glyph on its baseline
    std::vector<LineColumnPiece> pieces;
    std::vector<LineColumnRun> runs;
    std::function<double(const QString&)> advance;  // points
};

// None for a line of one column.
std::optional<ColumnLayout> columnLayout(const TextBlock& block, const TextBlock::Line& vline, const QString& text,
                                         const QRectF& r, double zoom)
{
    if (!vline.placement || vline.invisibleText || !hasArea(block.originalRect))
        return std::nullopt;
    ColumnLayout laid;
    laid.font = fittedLine(vline, block, zoom, text, true).font;
    laid.font.setStretch(QFont::Unstretched);
    laid.font.setWordSpacing(0);
    laid.advance = [metrics = QFontMetricsF(laid.font), zoom](const QString& s) {
        return metrics.horizontalAdvance(s) / zoom;
    };
    const TextBlock::Line::Placement& placement = *vline.placement;
    laid.pieces =
        nativeLinePieces(vline, oldGlyphText(vline), text, laid.advance(QStringLiteral(" ")), placement.alignment);
    if (laid.pieces.size() < 2)
        return std::nullopt;
    const QPointF corner = lineCorner(block, vline, r, zoom);
    laid.start = QPointF(corner.x() + placement.origin.x() * zoom,
                         corner.y() + (vline.rect.height() - placement.origin.y()) * zoom);
    for (size_t i = 0; i < laid.pieces.size(); ++i)
        laid.runs.push_back(columnRun(laid.pieces, i, placement.alignment, laid.advance));
    return laid;
}

// Screen x before each character of text and after its last, over runs
// drawn along the line: run i holds words of text joined by one blank, and
// xAt(i, k) is where its character k starts. Carets within a run of blanks
// stand at the word before, the last one at the word after. Empty when the
// runs do not hold text's words.
std::vector<double> caretXsOverRuns(const QStringList& runs, const std::function<double(size_t, qsizetype)>& xAt,
                                    const QString& text, double start)
{
    const qsizetype n = text.size();
    std::vector<double> xs(size_t(n) + 1, start);
    std::vector<bool> set(size_t(n) + 1, false);
    qsizetype at = 0;  // next character of text
    for (size_t i = 0; i < size_t(runs.size()); ++i) {
        const QString& run = runs[qsizetype(i)];
        for (qsizetype k = 0; k < run.size();) {
            while (at < n && text[at].isSpace())
                ++at;
            qsizetype end = k;
            while (end < run.size() && !run[end].isSpace())
                ++end;
            if (text.mid(at, end - k) != run.mid(k, end - k))
                return {};
            for (qsizetype m = 0; m <= end - k; ++m) {
                xs[size_t(at + m)] = xAt(i, k + m);
                set[size_t(at + m)] = true;
            }
            at += end - k;
            k = end + 1;
        }
    }
    for (size_t i = 1; i < xs.size(); ++i)
        if (!set[i])
            xs[i] = xs[i - 1];
    return xs;
}

std::vector<double> columnCaretXs(const ColumnLayout& laid, const QString& text, double zoom)
{
    QStringList runs;
    for (const LineColumnPiece& piece : laid.pieces)
        runs << piece.text;
    const auto xAt = [&](size_t i, qsizetype k) {
        const LineColumnRun& run = laid.runs[i];
        return laid.start.x() + (run.x0 + run.scale * laid.advance(laid.pieces[i].text.left(k))) * zoom;
    };
    return caretXsOverRuns(runs, xAt, text, laid.start.x());
}

// False for a line of one column.
bool drawLineColumns(QPainter& painter, const TextBlock& block, const TextBlock::Line& vline, const QString& text,
                     const QRectF& r, double zoom)
{
    const std::optional<ColumnLayout> laid = columnLayout(block, vline, text, r, zoom);
    if (!laid)
        return false;
    painter.setFont(laid->font);
    painter.setPen(lineTextColor(vline, block));
    for (size_t i = 0; i < laid->pieces.size(); ++i) {
        if (laid->pieces[i].text.isEmpty())
            continue;
        painter.save();
        painter.translate(laid->start + QPointF(laid->runs[i].x0 * zoom, 0));
        painter.scale(laid->runs[i].scale, 1);
        painter.drawText(QPointF(0, 0), laid->pieces[i].text);
        painter.restore();
    }
    return true;
}

void drawLines(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    const QStringList display = displayLinesForEditor(block);
    const int count = std::max(int(block.lines.size()), int(display.size()));
    for (int k = 0; k < count; ++k) {
        const TextBlock::Line vline = visualLineForIndex(block, k);
        const QString text = k < display.size() ? display[k] : vline.text;
        if (text.isEmpty() || drawLineColumns(painter, block, vline, text, r, zoom))
            continue;
        const LineLayout layout = lineLayout(block, vline, text, r, zoom);
        painter.setFont(layout.font);
        painter.setPen(lineTextColor(vline, block));
        painter.drawText(layout.origin, text);
    }
}

QString blockSample(const QString& text)
{
    for (const QString& line : text.split(u'\n')) {
        if (line.trimmed().size() > kMinSampleChars)
            return line.trimmed().left(80);
    }
    return representativeTextSample(QString());
}

void drawTypedText(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    const QString family = block.fontFamily.trimmed();
    QFont font(family.isEmpty() ? QStringLiteral("Times New Roman") : displayFamilyForPdfFont(family));
    font.setWeight(block.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(block.italic && fontNameLooksItalic(block.fontFamily));
    font.setPixelSize(
        fittedFontPixelSize(font, blockSample(block.text), kMinBlockFontPx, zoom * medianOcrLineHeightPt(block)));
    painter.setFont(font);
    painter.setPen(block.color.isValid() ? block.color : QColor(Qt::black));
    painter.drawText(QRectF(r.x() + 1, r.y(), r.width() - 2, r.height() - 1), Qt::AlignLeft | Qt::AlignTop,
                     block.text);
}

// The page's point on screen, the block's box standing at r.
QPointF screenPointOf(const TextBlock& block, const QRectF& r, double zoom, const QPointF& pagePoint)
{
    return QPointF(r.x() + (pagePoint.x() - block.rect.x()) * zoom, r.y() + (topOf(block.rect) - pagePoint.y()) * zoom);
}

// The face the page writer sets a line in, measured and drawn at a large size
// and then scaled: its advances are the font's own, unhinted and unkerned, as
// the written text object has them.
constexpr double kFacePixels = 200.0;

QFont writtenFont(const TextBlock::Line& line)
{
    const QString family = line.fontFamily.trimmed();
    QFont font(displayFamilyForPdfFont(family.isEmpty() ? QStringLiteral("Times New Roman") : family));
    font.setPixelSize(int(kFacePixels));
    font.setBold(line.bold);
    font.setItalic(line.italic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// That face at the line's recognised size: advances in points.
struct WrittenFace {
    explicit WrittenFace(const TextBlock::Line& line)
        : font(writtenFont(line)), metrics(font), size(std::max(double(line.fontSize), 1.0)),
          pointsPerPixel(size / kFacePixels)
    {
    }
    double advance(const QString& text) const { return metrics.horizontalAdvance(text) * pointsPerPixel; }

    QFont font;
    QFontMetricsF metrics;
    double size;
    double pointsPerPixel;
};

// How far right of its advance the first glyph's ink of text starts (points).
double firstInkBearing(const WrittenFace& face, const QString& text)
{
    const QString first = text.trimmed().left(1);
    return first.isEmpty() ? 0.0
                           : std::clamp(face.metrics.leftBearing(first[0]) * face.pointsPerPixel, 0.0, face.size / 2);
}

// A recognised line's text as the page writer lays it along its frame: each
// piece, where its first glyph's advance starts (frame points) and its
// glyphs' horizontal scale. Columns the change leaves stand word by word on
// their words' boxes.
struct WrittenRun {
    QString text;
    double x = 0;
    double scale = 1;
};

std::vector<WrittenRun> writtenRuns(const TextBlock::Line& line, const QString& text, double frameLeft,
                                    const WrittenFace& face)
{
    std::vector<LineColumnPiece> pieces = recognisedLinePieces(line, text);
    if (pieces.empty())
        pieces.push_back({text, line.originalText, 0, line.originalRect.width(), true});
    const auto advance = [&face](const QString& s) { return face.advance(s); };
    std::vector<WrittenRun> runs;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const QString first = pieces[i].text.trimmed().left(1);
        if (pieces[i].text.isEmpty() || first.isEmpty())
            continue;
        const LineColumnRun run = columnRun(pieces, i, Qt::AlignLeft, advance);
        // The first glyph's ink, not its advance, starts where the scan's ink did.
        runs.push_back({pieces[i].text, frameLeft + run.x0 - run.scale * firstInkBearing(face, pieces[i].text), run.scale});
    }
    return runs;
}

// Where a line's text stands on its frame's baseline.
struct FrameBaseline {
    const TextBlock& block;
    const pdfengine::LinePlan& plan;
    const QRectF& r;
    double zoom;
    double baseline;
};

// A run of text from x along the baseline at the glyphs' horizontal scale;
// on a scan's slight turn word by word, each word upright where its middle
// falls on the turned baseline.
void drawRunAlong(QPainter& painter, const FrameBaseline& at, const WrittenFace& face, const QString& text, double x,
                  double scale)
{
    const QTransform toPage = at.plan.frame.toPage();
    qsizetype from = 0;
    while (from < text.size()) {
        if (at.plan.stepWords && text[from].isSpace()) {
            x += scale * face.advance(text.mid(from, 1));
            ++from;
            continue;
        }
        qsizetype end = from + 1;
        while (end < text.size() && !(at.plan.stepWords && text[end].isSpace()))
            ++end;
        const QString part = text.mid(from, end - from);
        const double width = scale * face.advance(part);
        QPointF start = toPage.map(QPointF(x, at.baseline));
        double degrees = at.plan.frame.rotation;
        if (at.plan.stepWords) {
            const QPointF middle = toPage.map(QPointF(x + width / 2, at.baseline));
            start = QPointF(middle.x() - width / 2, middle.y());
            degrees = 0;
        }
        painter.save();
        painter.translate(screenPointOf(at.block, at.r, at.zoom, start));
        painter.rotate(degrees);  // clockwise as displayed
        painter.scale(scale * face.pointsPerPixel * at.zoom, face.pointsPerPixel * at.zoom);
        painter.drawText(QPointF(0, 0), part);
        painter.restore();
        x += width;
        from = end;
    }
}

// What a corrected scan line showed: its words (text and box in its frame),
// how far across the line the writer covers it, and the frame the line's
// block turns the page into.
struct ScanLineShown {
    std::vector<std::pair<QString, QRectF>> words;
    QRectF band;
    QTransform pageToBlock;
};

// The words of a corrected scan line the user left, drawn from the page's
// own pixels where the page writer puts them, and its changed words as
// text; false when it keeps no word (or the page's picture is not at hand).
bool drawScanWords(QPainter& painter, const FrameBaseline& at, const QString& text, const ScanLineShown& was,
                   const WrittenFace& face, const PreviewPagePixels* pagePixels)
{
    if (!pagePixels || pagePixels->image.isNull())
        return false;
    if (was.words.empty())
        return false;
    const QTransform toBlock = at.plan.frame.toPage();
    // The words' ends on the ink the page shows, as the writer finds them.
    const QTransform toImage = toBlock * (pagePixels->imageToPage * was.pageToBlock).inverted();
    const auto onInk =
        pdfengine::wordsOnLineInk(was.words, pagePixels->image, toImage, at.plan.frame.rect, face.size);
    const auto advance = [&face](const QString& s) { return face.advance(s); };
    const std::vector<pdfengine::ScanLineWord> words =
        pdfengine::scanLineWords(onInk, text, face.size, face.advance(QStringLiteral(" ")), advance);
    if (words.empty())
        return false;
    // The block's points to the painter's, and the frame onto them.
    const QPointF origin = screenPointOf(at.block, at.r, at.zoom, QPointF(0, 0));
    const QPointF alongX = screenPointOf(at.block, at.r, at.zoom, QPointF(1, 0)) - origin;
    const QPointF alongY = screenPointOf(at.block, at.r, at.zoom, QPointF(0, 1)) - origin;
    const QTransform toPainter(alongX.x(), alongX.y(), alongY.x(), alongY.y(), origin.x(), origin.y());
    for (const pdfengine::ScanLineWord& word : words) {
        if (!word.kept) {
            drawRunAlong(painter, at, face, word.text, word.left - word.scale * firstInkBearing(face, word.text),
                         word.scale);
            continue;
        }
        const double shift = word.left - word.oldBox.left();
        const QRectF shown(QPointF(word.left - word.marginLeft, was.band.top()),
                           QPointF(word.left + word.width + word.marginRight, was.band.bottom()));
        const QPointF move = toBlock.map(QPointF(shift, 0)) - toBlock.map(QPointF(0, 0));
        painter.save();
        QPainterPath clip;
        clip.addPolygon(toPainter.map(toBlock.map(QPolygonF(shown))));
        painter.setClipPath(clip, Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setWorldTransform(pagePixels->imageToPage * was.pageToBlock *
                                      QTransform::fromTranslate(move.x(), move.y()) * toPainter,
                                  true);
        painter.drawImage(QPointF(0, 0), pagePixels->image);
        painter.restore();
    }
    return true;
}

// Across its line a kept word's pixels run as far as the line's white-out
// (grown from own, the line's old place in frame), never into another line's
// old place on the page. frame: the line's, on the page.
QRectF keptBand(const TurnedBox& frame, const QRectF& own, const PreviewPagePixels& pagePixels)
{
    constexpr double kWhiteOutGrowth = 1.5;  // across the line, as the writer covers it
    TurnedBox band = frame;
    band.rect = own.adjusted(0, -kWhiteOutGrowth, 0, kWhiteOutGrowth);
    return pdfengine::clearOfOtherLines(band, own, pagePixels.linePlaces);
}

// A recognised line's words as read, in its frame.
ScanLineShown recognisedLineShown(const TextBlock::Line& line, const pdfengine::LinePlan& plan,
                                  const PreviewPagePixels& pagePixels)
{
    TextBlock::Line read = line;
    read.rect = line.originalRect;
    ScanLineShown was;
    for (const TextBlock::Line::Word& word : line.originalWords)
        if (hasArea(word.rect))
            was.words.emplace_back(word.text, wordInLineFrame(read, word.rect));
    was.band = keptBand(plan.frame, plan.frame.toFrame().map(plan.oldPlace.polygon()).boundingRect(), pagePixels);
    return was;
}

// A changed recognised line as the page writer writes it over its old place:
// at the recognised size in its frame, on its baseline, as wide as the text
// it was recognised as, its first glyph's ink at the start; on a scan's slight
// turn word by word, each word upright where its middle falls on the turned
// baseline. On a scan its untouched words keep their pixels.
void drawWrittenLine(QPainter& painter, const TextBlock& block, const TextBlock::Line& line,
                     const pdfengine::LinePlan& plan, const QRectF& r, double zoom,
                     const PreviewPagePixels* pagePixels)
{
    const WrittenFace face(line);
    const QRectF& rect = plan.frame.rect;
    const double lift = line.baselineLift >= 0 && line.baselineLift < rect.height() ? line.baselineLift
                                                                                     : kBaselineLiftOfSize * face.size;
    const FrameBaseline at{block, plan, r, zoom, rect.y() + lift};
    painter.setFont(face.font);
    painter.setPen(lineTextColor(line, block));
    if (!plan.oldPlace.isNull() && !line.restyled && pagePixels &&
        drawScanWords(painter, at, line.text, recognisedLineShown(line, plan, *pagePixels), face, pagePixels))
        return;
    for (const WrittenRun& run : writtenRuns(line, line.text, rect.x(), face))
        drawRunAlong(painter, at, face, run.text, run.x, run.scale);
}

// How the page writer writes a recognised block changed where it stands:
// line by line. None for any other block.
std::optional<pdfengine::BlockPlan> linewisePlan(const TextBlock& block)
{
    if (!pdfengine::hasRecognisedLines(block))
        return std::nullopt;
    // What is previewed is changed, though the open editor's text may not
    // have reached its block yet.
    TextBlock changed = block;
    changed.textEdited = true;
    pdfengine::BlockPlan plan = pdfengine::planTextBlock(changed, false);
    if (!plan.linewise)
        return std::nullopt;
    return plan;
}

// Only the changed lines of such a block show, each as written. False for
// any other block.
bool drawRecognisedLines(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom,
                         const PreviewPagePixels* pagePixels)
{
    const std::optional<pdfengine::BlockPlan> plan = linewisePlan(block);
    if (!plan)
        return false;
    for (size_t k = 0; k < plan->lines.size(); ++k)
        if (plan->linePlans[k].redrawn && !plan->lines[k].text.isEmpty())
            drawWrittenLine(painter, block, plan->lines[k], plan->linePlans[k], r, zoom, pagePixels);
    return true;
}

// The size a layer's line sets its words at, as the writer measures it:
// that of the invisible glyphs in its place (its own size is its box's,
// shared with lines alike); 0 unknown.
double layerSizeOf(const TurnedBox& place, const PreviewPagePixels& pagePixels)
{
    const QTransform toFrame = place.toFrame();
    std::vector<double> sizes;
    for (const pdfengine::GlyphMark& glyph : pagePixels.glyphs)
        if (glyph.invisible && glyph.size > 0 && place.rect.contains(toFrame.map(glyph.centre)))
            sizes.push_back(glyph.size);
    if (sizes.empty())
        return 0;
    std::nth_element(sizes.begin(), sizes.begin() + qsizetype(sizes.size() / 2), sizes.end());
    return sizes[sizes.size() / 2];
}

// A searchable layer's line over a scan, alone in its block and changed where
// it stands: as the page writer writes it, its untouched words keep their
// pixels. False for any other block.
bool drawLayerScanWords(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom,
                        const PreviewPagePixels* pagePixels)
{
    if (!pagePixels || block.lines.size() != 1 || !hasArea(block.originalRect) || isTurnedByUser(block) ||
        pdfengine::hasRecognisedLines(block) || !pdfengine::sameIntegerRect(block.rect, block.originalRect))
        return false;
    const TextBlock::Line& line = block.lines.front();
    const QString glyphs = oldGlyphText(line);
    const QStringList display = displayLinesForEditor(block);
    if (!(line.invisibleText || block.invisibleText) || glyphs.isEmpty() || line.restyled || display.size() != 1)
        return false;
    ScanLineShown was;
    QString word;
    QRectF box;
    for (qsizetype i = 0; i <= glyphs.size(); ++i) {
        if (i == glyphs.size() || glyphs[i].isSpace()) {
            if (!word.isEmpty())
                was.words.emplace_back(word, QRectF(QPointF(box.left(), line.rect.top()), QPointF(box.right(), line.rect.bottom())));
            word.clear();
            box = QRectF();
            continue;
        }
        word += glyphs[i];
        box = box.isNull() ? line.glyphBoxes[size_t(i)] : box.united(line.glyphBoxes[size_t(i)]);
    }
    const TurnedBox place(line.rect, block.originalRotation, block.originalRect.center());
    was.band = keptBand(place, line.rect, *pagePixels);
    was.pageToBlock = clockwiseTurn(block.originalRect.center(), -block.originalRotation);
    pdfengine::LinePlan plan;
    plan.frame = TurnedBox(line.rect, 0);
    // The writer keeps the line to the size its layer's words are set at.
    TextBlock::Line sized = line;
    sized.fontSize = float(pdfengine::layerLineSize(line.fontSize, layerSizeOf(place, *pagePixels)));
    const WrittenFace face(sized);
    const double lift = line.placement && line.placement->origin.y() >= 0 &&
                                line.placement->origin.y() < line.rect.height()
                            ? line.placement->origin.y()
                            : kBaselineLiftOfSize * face.size;
    const FrameBaseline at{block, plan, r, zoom, line.rect.y() + lift};
    painter.setFont(face.font);
    painter.setPen(lineTextColor(line, block));
    return drawScanWords(painter, at, display.front(), was, face, pagePixels);
}

} // namespace

bool previewDrawsLines(const TextBlock& block)
{
    return !block.lines.empty() && (linesCarryText(block) || !(block.textEdited && blockHasRichTextPreview(block)));
}

void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom,
                           const PreviewPagePixels* pagePixels)
{
    painter.save();
    // Lines that hold the text are what the page writer writes: they show.
    if (drawRecognisedLines(painter, block, r, zoom, pagePixels) || drawLayerScanWords(painter, block, r, zoom, pagePixels))
        ;
    else if (block.textEdited && blockHasRichTextPreview(block) && !previewDrawsLines(block))
        drawRichText(painter, block, r, zoom);
    else if (!block.lines.empty())
        drawLines(painter, block, r, zoom);
    else
        drawTypedText(painter, block, r, zoom);
    painter.restore();
}

namespace {

// Line k of the text as the preview lays it out: where its text starts on
// screen and how its characters fall along it. While the page still draws the
// line itself, the caret stops between its glyphs as the page placed them; on
// a line drawn column by column, between the characters as each column lays them.
struct PreviewLine {
    QString text;
    int start = 0;      // position of its first character in the plain text
    double originX = 0; // x of the text's origin
    double top = 0;
    double height = 0;
    std::unique_ptr<QTextLayout> layout;
    std::vector<double> glyphCarets; // screen x before each character and after the last

    double xAt(int column) const
    {
        if (!glyphCarets.empty())
            return glyphCarets[size_t(std::clamp(column, 0, int(glyphCarets.size()) - 1))];
        const QTextLine line = layout->lineAt(0);
        return originX + (line.isValid() ? line.cursorToX(column) : 0.0);
    }

    int columnAt(double x) const
    {
        if (glyphCarets.empty()) {
            const QTextLine laid = layout->lineAt(0);
            return laid.isValid() ? laid.xToCursor(x - originX) : 0;
        }
        int best = 0;
        for (int i = 1; i < int(glyphCarets.size()); ++i) {
            if (std::abs(glyphCarets[size_t(i)] - x) < std::abs(glyphCarets[size_t(best)] - x))
                best = i;
        }
        return best;
    }
};

// The editor holds the lines' own texts and the block stands where the page
// put it: what shows is the page's drawing, not the preview's.
bool pageDrawsLines(const QStringList& textLines, const TextBlock& block)
{
    if (block.textEdited || blockMoved(block) || isTurnedByUser(block) || textLines.size() != qsizetype(block.lines.size()))
        return false;
    for (size_t k = 0; k < block.lines.size(); ++k) {
        const TextBlock::Line& line = block.lines[k];
        if (textLines[qsizetype(k)] != line.text || line.glyphBoxes.size() != size_t(line.text.size()))
            return false;
    }
    return true;
}

// Page x before each character of the line and after its last: between two
// glyphs the middle of their gap (or overlap, when kerned); next to a blank
// the edge of the glyph beside it.
std::vector<double> glyphCaretXs(const TextBlock::Line& line)
{
    const QString& text = line.text;
    const int n = int(text.size());
    std::vector<double> xs(size_t(n) + 1, line.rect.x());
    const auto blank = [&](int i) { return text[i].isSpace(); };
    const auto left = [&](int i) { return line.glyphBoxes[size_t(i)].left(); };
    const auto right = [&](int i) { return line.glyphBoxes[size_t(i)].right(); };
    int first = 0;
    while (first < n && blank(first))
        ++first;
    if (first == n)
        return xs;
    for (int i = 0; i <= first; ++i)
        xs[size_t(i)] = left(first);
    for (int i = first + 1; i <= n; ++i) {
        if (i == n || blank(i))
            xs[size_t(i)] = blank(i - 1) ? xs[size_t(i - 1)] : right(i - 1);
        else
            xs[size_t(i)] = blank(i - 1) ? left(i) : (right(i - 1) + left(i)) / 2;
    }
    return xs;
}

// Screen x of the carets of line k of a recognised block written line by
// line (its plan): over the words as read while they are what the line
// holds, else over the text as the page writer lays it. Empty for other lines.
std::vector<double> recognisedCaretXs(const std::optional<pdfengine::BlockPlan>& plan, const TextBlock& block, int k,
                                      const QString& text, const QRectF& r, double zoom)
{
    if (!plan || k < 0 || size_t(k) >= plan->lines.size() || size_t(k) >= block.lines.size())
        return {};
    const TextBlock::Line& line = plan->lines[size_t(k)];
    if (!hasArea(line.originalRect))
        return {};
    const auto screenX = [&](double x) { return r.x() + (x - block.rect.x()) * zoom; };
    QStringList read;
    std::vector<QRectF> boxes;
    TextBlock::Line readLine = line;
    readLine.rect = line.originalRect;
    for (const TextBlock::Line::Word& word : line.originalWords)
        if (hasArea(word.rect)) {
            read << word.text;
            boxes.push_back(wordInLineFrame(readLine, word.rect));
        }
    if (!read.isEmpty() && read == text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const auto xAt = [&](size_t i, qsizetype k) {
            const QRectF& box = boxes[i];
            return screenX(box.left() + box.width() * double(k) / double(std::max<qsizetype>(read[qsizetype(i)].size(), 1)));
        };
        return caretXsOverRuns(read, xAt, text, screenX(line.rect.x()));
    }
    const WrittenFace face(line);
    // A scan line keeping some of its words: those over their pixels, the changed ones as written.
    std::vector<std::pair<QString, QRectF>> was;
    for (qsizetype i = 0; i < read.size(); ++i)
        was.emplace_back(read[i], boxes[size_t(i)]);
    const auto advance = [&face](const QString& s) { return face.advance(s); };
    const std::vector<pdfengine::ScanLineWord> words =
        line.restyled ? std::vector<pdfengine::ScanLineWord>()
                      : pdfengine::scanLineWords(was, text, face.size, face.advance(QStringLiteral(" ")), advance);
    if (!words.empty()) {
        QStringList texts;
        for (const pdfengine::ScanLineWord& word : words)
            texts << word.text;
        const auto xAt = [&](size_t i, qsizetype k) {
            const pdfengine::ScanLineWord& word = words[i];
            if (word.kept)
                return screenX(word.left + word.width * double(k) / double(std::max<qsizetype>(word.text.size(), 1)));
            return screenX(word.left + word.scale * (face.advance(word.text.left(k)) - firstInkBearing(face, word.text)));
        };
        return caretXsOverRuns(texts, xAt, text, screenX(line.rect.x()));
    }
    const std::vector<WrittenRun> runs = writtenRuns(line, text, line.rect.x(), face);
    QStringList texts;
    for (const WrittenRun& run : runs)
        texts << run.text;
    const auto xAt = [&](size_t i, qsizetype k) {
        return screenX(runs[i].x + runs[i].scale * face.advance(runs[i].text.left(k)));
    };
    return caretXsOverRuns(texts, xAt, text, screenX(line.rect.x()));
}

// plan: the block's linewisePlan.
PreviewLine previewLine(const TextBlock& block, const std::optional<pdfengine::BlockPlan>& plan,
                        const QStringList& textLines, int k, const QRectF& r, double zoom)
{
    PreviewLine out;
    const TextBlock::Line vline = visualLineForIndex(block, k);
    out.text = k < textLines.size() ? textLines[k] : vline.text;
    for (int i = 0; i < k && i < textLines.size(); ++i)
        out.start += int(textLines[i].size()) + 1;
    const LineLayout laid = lineLayout(block, vline, out.text.isEmpty() ? QStringLiteral("M") : out.text, r, zoom);
    out.originX = laid.origin.x();
    out.top = lineCorner(block, vline, r, zoom).y();
    out.height = std::max(vline.rect.height() * zoom, 2.0);
    out.layout = std::make_unique<QTextLayout>(out.text, laid.font);
    out.layout->beginLayout();
    QTextLine line = out.layout->createLine();
    if (line.isValid())
        line.setLineWidth(kCaretLineWidth);
    out.layout->endLayout();
    if (pageDrawsLines(textLines, block)) {
        for (double x : glyphCaretXs(vline))
            out.glyphCarets.push_back(r.x() + (x - block.rect.x()) * zoom);
    } else if (const std::optional<ColumnLayout> columns = columnLayout(block, vline, out.text, r, zoom)) {
        out.glyphCarets = columnCaretXs(*columns, out.text, zoom);
    } else {
        out.glyphCarets = recognisedCaretXs(plan, block, k, out.text, r, zoom);
    }
    return out;
}

int previewLineCount(const TextBlock& block, const QStringList& textLines)
{
    return std::max(int(block.lines.size()), int(textLines.size()));
}

void drawPreviewSelection(QPainter& painter, const QString& plain, int from, int to, const TextBlock& block,
                          const QRectF& r, double zoom)
{
    const QStringList textLines = plain.split(u'\n');
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 114, 228, 90));
    const std::optional<pdfengine::BlockPlan> plan = linewisePlan(block);
    for (int k = 0; k < std::min(previewLineCount(block, textLines), int(textLines.size())); ++k) {
        const PreviewLine line = previewLine(block, plan, textLines, k, r, zoom);
        const int a = std::clamp(from - line.start, 0, int(line.text.size()));
        const int b = std::clamp(to - line.start, 0, int(line.text.size()));
        if (a >= b)
            continue;
        const double x1 = line.xAt(a);
        const double x2 = line.xAt(b);
        painter.drawRect(QRectF(std::min(x1, x2), line.top - 1, std::abs(x2 - x1), line.height + 2));
    }
    painter.restore();
}

} // namespace

void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& r,
                            double zoom)
{
    if (!editor || block.lines.empty())
        return;
    const QString plain = editor->toPlainText();
    const QTextCursor cursor = editor->textCursor();
    // The editor itself paints nothing: what the user selected is shown here.
    if (cursor.hasSelection()) {
        drawPreviewSelection(painter, plain, cursor.selectionStart(), cursor.selectionEnd(), block, r, zoom);
        return;
    }
    if (!editor->hasFocus())
        return;
    const int pos = std::clamp(cursor.position(), 0, int(plain.size()));
    const QStringList textLines = plain.split(u'\n');
    const int k = int(plain.left(pos).count(u'\n'));
    if (k >= previewLineCount(block, textLines))
        return;
    const PreviewLine line = previewLine(block, linewisePlan(block), textLines, k, r, zoom);
    const int column = std::clamp(pos - line.start, 0, int(line.text.size()));
    const double x = line.xAt(column);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(QStringLiteral("#0F172A")), std::max(0.45 * zoom, 1.0)));
    painter.drawLine(QPointF(x, line.top - 1), QPointF(x, line.top + line.height + 1));
    painter.restore();
}

namespace {

// The line of the text whose band holds the point, else the nearest one; -1
// when there is none.
int previewLineAt(const QStringList& textLines, const TextBlock& block, const QRectF& r, double zoom,
                  const QPointF& point)
{
    const int count = std::min(previewLineCount(block, textLines), int(textLines.size()));
    if (block.lines.empty() || count == 0)
        return -1;
    int best = 0;
    double bestDistance = -1;
    for (int k = 0; k < count; ++k) {
        const TextBlock::Line vline = visualLineForIndex(block, k);
        const QPointF corner = lineCorner(block, vline, r, zoom);
        const double height = std::max(vline.rect.height() * zoom, 2.0);
        const double distance = point.y() < corner.y()            ? corner.y() - point.y()
                                : point.y() > corner.y() + height ? point.y() - corner.y() - height
                                                                  : 0.0;
        if (bestDistance < 0 || distance < bestDistance) {
            best = k;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

namespace {

// The preview's line of the text nearest a point, if the block has lines.
std::optional<PreviewLine> previewLineNear(const QString& plain, const TextBlock& block, const QRectF& r, double zoom,
                                           const QPointF& point)
{
    const QStringList textLines = plain.split(u'\n');
    const int k = previewLineAt(textLines, block, r, zoom, point);
    if (k < 0)
        return std::nullopt;
    return previewLine(block, linewisePlan(block), textLines, k, r, zoom);
}

} // namespace

int previewCharacterAt(const QString& plain, const TextBlock& block, const QRectF& r, double zoom,
                       const QPointF& point)
{
    const std::optional<PreviewLine> line = previewLineNear(plain, block, r, zoom, point);
    const int length = line ? int(line->text.size()) : 0;
    if (length == 0)
        return -1;
    // The nearest caret, and the character on the point's side of it.
    const int caret = std::clamp(line->columnAt(point.x()), 0, length);
    const int column = point.x() < line->xAt(caret) ? caret - 1 : caret;
    return line->start + std::clamp(column, 0, length - 1);
}

int previewCursorPositionAt(const QString& plain, const TextBlock& block, const QRectF& r, double zoom,
                            const QPointF& point)
{
    const std::optional<PreviewLine> line = previewLineNear(plain, block, r, zoom, point);
    if (!line)
        return -1;
    return line->start + std::clamp(line->columnAt(point.x()), 0, int(line->text.size()));
}
