// Shared by the scan-edit tests: the turned scans, their words, and the
// measures of a page's pixels before and after a correction.
#pragma once

#include "BlockFixtures.h"
#include "NativeTextLayer.h"
#include "OcrEngine.h"
#include "OcrRunRules.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#include <QImageReader>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace scanedit {

inline constexpr int kDpi = 150;

// The manual page turned ("1.0"), the typed note ("typed-1.0") or the TeX
// Live guide's page ("guide-0").
inline QString scan(const QString& turn)
{
    for (const QString& kind : {QStringLiteral("typed"), QStringLiteral("guide")})
        if (turn.startsWith(kind + QLatin1Char('-')))
            return fixtures::realPdf(QStringLiteral("%1-scan-turned-%2.pdf").arg(kind, turn.mid(kind.size() + 1)));
    return fixtures::realPdf(QStringLiteral("gs-scan-turned-%1.pdf").arg(turn));
}

inline QMap<QString, int> wordCounts(const QStringList& words)
{
    QMap<QString, int> counts;
    for (const QString& w : words)
        ++counts[w];
    return counts;
}

inline QStringList wordsOf(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Where a line's letters stand in its own frame, measured on a render: the
// baseline (the lowest row dense with ink) and the ends of its ink.
struct InkLine {
    double baseline = 0;
    double left = 0;
    double right = 0;
    bool found = false;
};

inline InkLine measureInk(const QImage& render, double pageHeight, const TurnedBox& box)
{
    constexpr double kStep = 0.25;
    const double scale = kDpi / 72.0;
    const QRectF area = box.rect.adjusted(-3, -2, 3, 2);
    const QTransform toPage = box.toPage();
    const auto dark = [&](double x, double y) {
        const QPointF p = toPage.map(QPointF(x, y));
        const QPoint px(int(p.x() * scale), int((pageHeight - p.y()) * scale));
        return render.rect().contains(px) && qGray(render.pixel(px)) < 128;
    };
    std::vector<int> rows;
    for (double y = area.top(); y <= area.bottom(); y += kStep) {
        int count = 0;
        for (double x = area.left(); x <= area.right(); x += kStep)
            count += dark(x, y);
        rows.push_back(count);
    }
    InkLine ink;
    const int most = *std::max_element(rows.begin(), rows.end());
    if (most == 0)
        return ink;
    size_t base = 0;
    while (rows[base] < 0.35 * most)
        ++base;
    ink.baseline = area.top() + double(base) * kStep;
    ink.left = area.right();
    ink.right = area.left();
    for (double y = ink.baseline; y <= ink.baseline + 3; y += kStep)
        for (double x = area.left(); x <= area.right(); x += kStep)
            if (dark(x, y)) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
            }
    ink.found = ink.right > ink.left;
    return ink;
}

// Share of the page's pixels that differ outside the box (grey, by more than
// JPEG noise).
inline double changedShareOutside(const QImage& before, const QImage& after, double pageHeight, const TurnedBox& box)
{
    if (before.isNull() || before.size() != after.size())
        return 1.0;
    const double scale = kDpi / 72.0;
    qint64 changed = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            if (std::abs(qGray(before.pixel(x, y)) - qGray(after.pixel(x, y))) <= 40)
                continue;
            changed += !box.contains(QPointF((x + 0.5) / scale, pageHeight - (y + 0.5) / scale));
        }
    return double(changed) / double(before.width() * before.height());
}

// Pixels of the scan's ink that one render hid (white there) and another
// shows again as they were on the scan, in patches (at least two such
// neighbours: new letters match old ink only here and there).
inline int inkShownAgain(const QImage& scanRender, const QImage& hidden, const QImage& after)
{
    if (scanRender.size() != hidden.size() || scanRender.size() != after.size())
        return -1;
    const int width = scanRender.width(), height = scanRender.height();
    std::vector<char> shown(size_t(width) * size_t(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int ink = qGray(scanRender.pixel(x, y));
            shown[size_t(y) * size_t(width) + size_t(x)] =
                ink < 100 && qGray(hidden.pixel(x, y)) > 200 && std::abs(qGray(after.pixel(x, y)) - ink) <= 8;
        }
    int patches = 0;
    for (int y = 1; y + 1 < height; ++y)
        for (int x = 1; x + 1 < width; ++x) {
            if (!shown[size_t(y) * size_t(width) + size_t(x)])
                continue;
            int around = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    around += (dx || dy) && shown[size_t(y + dy) * size_t(width) + size_t(x + dx)];
            patches += around >= 2;
        }
    return patches;
}

// The grey of a render at dpi at a page point (points, y up), interpolated
// between its pixels; -1 off the render.
inline double greyAt(const QImage& render, double pageHeight, const QPointF& point, int dpi)
{
    const double scale = dpi / 72.0;
    const double x = point.x() * scale - 0.5, y = (pageHeight - point.y()) * scale - 0.5;
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    if (x0 < 0 || y0 < 0 || x0 + 1 >= render.width() || y0 + 1 >= render.height())
        return -1;
    const double fx = x - x0, fy = y - y0;
    const auto g = [&](int px, int py) { return double(qGray(render.pixel(px, py))); };
    return (g(x0, y0) * (1 - fx) + g(x0 + 1, y0) * fx) * (1 - fy) + (g(x0, y0 + 1) * (1 - fx) + g(x0 + 1, y0 + 1) * fx) * fy;
}

// How alike a word's pixels (its box in its line's frame) on one render at
// dpi are to those of the same box moved shift points along the line on
// another: the correlation of their greys, 1 for the same pixels, near 0 for
// other ink; -1 where the box leaves a render.
inline double wordLikeness(const QImage& before, const QImage& after, int dpi, double pageHeight, const TurnedBox& line,
                    const QRectF& word, double shift)
{
    constexpr double kStep = 0.25;
    const QTransform toPage = line.toPage();
    std::vector<std::pair<double, double>> greys;
    for (double y = word.top(); y <= word.bottom(); y += kStep)
        for (double x = word.left(); x <= word.right(); x += kStep) {
            const double a = greyAt(before, pageHeight, toPage.map(QPointF(x, y)), dpi);
            const double b = greyAt(after, pageHeight, toPage.map(QPointF(x + shift, y)), dpi);
            if (a < 0 || b < 0)
                return -1;
            greys.emplace_back(a, b);
        }
    double meanA = 0, meanB = 0;
    for (const auto& [a, b] : greys)
        meanA += a, meanB += b;
    meanA /= double(greys.size());
    meanB /= double(greys.size());
    double ab = 0, aa = 0, bb = 0;
    for (const auto& [a, b] : greys) {
        ab += (a - meanA) * (b - meanB);
        aa += (a - meanA) * (a - meanA);
        bb += (b - meanB) * (b - meanB);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
}

// The shift along the line (points, a tenth of a point apart, within reach)
// that makes a word's pixels on one render likest those on another.
inline double bestShift(const QImage& before, const QImage& after, int dpi, double pageHeight, const TurnedBox& line,
                 const QRectF& word, double reach)
{
    double best = 0, likest = -1;
    for (double shift = -reach; shift <= reach; shift += 0.1) {
        const double likeness = wordLikeness(before, after, dpi, pageHeight, line, word, shift);
        if (likeness > likest)
            likest = likeness, best = shift;
    }
    return best;
}

// How far along a line (its frame) its ink runs, from a word's box, moved
// by shift or not, on, in a render at dpi: the last column a few points past
// it with two dark samples across the word's height.
inline double inkEnd(const QImage& render, int dpi, double pageHeight, const TurnedBox& line, const QRectF& word,
                     double shift)
{
    constexpr double kStep = 0.25, kPast = 6;
    const QTransform toPage = line.toPage();
    for (double x = word.right() + std::max(shift, 0.0) + kPast; x >= word.left() + std::min(shift, 0.0); x -= kStep) {
        int dark = 0;
        for (double y = word.top(); y <= word.bottom() && dark < 2; y += kStep) {
            const double grey = greyAt(render, pageHeight, toPage.map(QPointF(x, y)), dpi);
            dark += grey >= 0 && grey < 128;
        }
        if (dark >= 2)
            return x;
    }
    return word.left() + std::min(shift, 0.0);
}

// Where a recognised line's words (but the one corrected) do not keep the
// page's own pixels in out, as pdftoppm and mupdf render it at dpi: the
// words before the corrected one stay, those after it move as one; a word
// replaced is drawn anew. Empty when they all do.
inline QString keptWordsProblem(const QString& source, const QString& out, const TextBlock::Line& old, const QString& word,
                         bool replaced, int kScanDpi = 300)  // a scan's own: its pixels render one for one
{
    constexpr double kKept = 0.75;  // likeness of a word's pixels kept (renderers part at ink edges)
    constexpr double kReach = 30;   // points a word may move along its line
    PdfDocument doc;
    if (!doc.open(out))
        return QStringLiteral("not opened");
    const double height = doc.pageSize(0).height();
    const TurnedBox line(old.originalRect, old.turn);
    std::vector<QRectF> boxes;  // the line's words in its frame
    int changed = -1;
    for (const TextBlock::Line::Word& w : old.words) {
        if (w.text == word)
            changed = int(boxes.size());
        boxes.push_back(wordInLineFrame(old, w.rect));
    }
    if (changed < 0 || boxes.size() < 3)
        return QStringLiteral("the line has no word %1").arg(word);
    for (const bool poppler : {true, false}) {
        const QString renderer = poppler ? QStringLiteral("pdftoppm") : QStringLiteral("mutool");
        const QImage before = poppler ? pdftools::renderPage(source, 0, kScanDpi) : pdftools::mupdfRenderPage(source, 0, kScanDpi);
        const QImage after = poppler ? pdftools::renderPage(out, 0, kScanDpi) : pdftools::mupdfRenderPage(out, 0, kScanDpi);
        if (before.isNull() || before.size() != after.size())
            return renderer + QStringLiteral(": no render");
        if (replaced && wordLikeness(before, after, kScanDpi, height, line, boxes[size_t(changed)], 0) >= kKept)
            return renderer + QStringLiteral(": the replaced word keeps its pixels");
        double shift = 0;
        if (size_t(changed) + 1 < boxes.size())
            shift = bestShift(before, after, kScanDpi, height, line, boxes[size_t(changed) + 1], kReach);
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (int(i) == changed && replaced)
                continue;
            const double moved = int(i) <= changed ? 0.0 : shift;
            const double likeness = wordLikeness(before, after, kScanDpi, height, line, boxes[i], moved);
            if (likeness < kKept)
                return QStringLiteral("%1: %2 moved %3 alike by %4").arg(renderer, old.words[i].text).arg(moved).arg(likeness);
        }
        // The line's ink ends where it ended, moved with its last word: no
        // end of it (a full stop past its box) stays behind as well.
        if (size_t(changed) + 1 < boxes.size()) {
            const double was = inkEnd(before, kScanDpi, height, line, boxes.back(), shift);
            const double now = inkEnd(after, kScanDpi, height, line, boxes.back(), shift);
            if (std::abs(now - (was + shift)) > 1.25)
                return QStringLiteral("%1: the line's ink ends at %2, was %3, moved by %4").arg(renderer).arg(now).arg(was).arg(shift);
        }
    }
    return {};
}

// A line's dark pixels in a render at dpi before an edit, and how many of
// them a render after shows light, counted inside its box (its frame) and
// outside the boxes of the words the edit rewrote or moved: ink taken from a
// line the edit left as it stood.
struct InkKept {
    int dark = 0;
    int lost = 0;
};
inline InkKept inkKept(const QImage& before, const QImage& after, int dpi, double pageHeight, const TurnedBox& line,
                       const std::vector<TurnedBox>& edited)
{
    InkKept ink;
    if (before.isNull() || before.size() != after.size())
        return {0, -1};
    const double scale = dpi / 72.0;
    const QRectF bounds = line.bounds();
    for (int y = std::max(0, int((pageHeight - bounds.bottom()) * scale)); y < std::min(before.height(), int((pageHeight - bounds.top()) * scale) + 1); ++y)
        for (int x = std::max(0, int(bounds.left() * scale)); x < std::min(before.width(), int(bounds.right() * scale) + 1); ++x) {
            const QPointF at((x + 0.5) / scale, pageHeight - (y + 0.5) / scale);
            if (qGray(before.pixel(x, y)) >= 100 || !line.contains(at) ||
                std::any_of(edited.begin(), edited.end(), [&](const TurnedBox& box) { return box.contains(at); }))
                continue;
            ++ink.dark;
            ink.lost += qGray(after.pixel(x, y)) > 200;
        }
    return ink;
}

struct Found {

    int block = -1;
    int line = -1;
};

// The recognised line that holds word (a long line of a block of several).
inline Found lineWith(const std::vector<TextBlock>& blocks, const QString& word)
{
    for (int b = 0; b < int(blocks.size()); ++b)
        for (int k = 0; k < int(blocks[size_t(b)].lines.size()); ++k)
            if (blocks[size_t(b)].lines.size() > 1 && wordsOf(blocks[size_t(b)].lines[size_t(k)].text).contains(word))
                return {b, k};
    return {};
}

// The line with the word corrected as the in-place editor leaves it.
inline void correct(TextBlock& block, int line, const QString& word, const QString& corrected)
{
    fixtures::correctWord(block, size_t(line), wordsOf(block.lines[size_t(line)].text).indexOf(word), corrected);
}

// The blocks written over the page of source and saved as out, or the reason
// the write was refused in *refusal; false when the file did not open or save.
inline bool writeOver(const QString& source, const std::vector<TextBlock>& blocks, const QString& out, QString* refusal)
{
    PdfDocument doc;
    if (!doc.open(source))
        return false;
    if (!doc.overlayOcrText(0, blocks, false)) {
        *refusal = doc.lastError();
        return true;
    }
    return doc.saveCopy(out);
}

// The line read back that starts with the words gets its second word
// corrected; false when no line starts so.
inline bool correctSecondWord(std::vector<TextBlock>& read, const QStringList& start, const QString& corrected)
{
    for (TextBlock& block : read)
        for (size_t j = 0; j < block.lines.size(); ++j)
            if (wordsOf(block.lines[j].text).mid(0, int(start.size())) == start) {
                fixtures::correctWord(block, j, 1, corrected);
                return true;
            }
    return false;
}

// Line k of block b corrected twice over the page of source: its first word
// loses its first letter and the page is saved as once; opened again into doc,
// the line read back from its layer (by its first `starting` words) gets "!"
// after its second word, written over doc. *refused: what refused a write, or
// that the line was not read back; empty when both writes took. False when a
// file did not open or save.
inline bool correctTwice(const QString& source, std::vector<TextBlock> blocks, size_t b, size_t k, int starting,
                  const QString& once, PdfDocument& doc, QString* refused)
{
    const QStringList words = wordsOf(blocks[b].lines[k].text);
    fixtures::correctWord(blocks[b], k, 0, words.front().mid(1));
    QString refusal;
    if (!writeOver(source, blocks, once, &refusal))
        return false;
    if (!refusal.isEmpty()) {
        *refused = QStringLiteral("1: ") + words.join(' ') + QStringLiteral(": ") + refusal;
        return true;
    }
    if (!doc.open(once))
        return false;
    std::vector<TextBlock> read = cleanedNativeTextBlocks(doc.extractText(0), {});
    const QStringList start = QStringList{words.front().mid(1)} + words.mid(1, starting - 1);
    if (!correctSecondWord(read, start, words.at(1) + QLatin1Char('!')))
        *refused = QStringLiteral("not read: ") + words.join(' ');
    else if (!doc.overlayOcrText(0, read, false))
        *refused = QStringLiteral("2: ") + words.join(' ') + QStringLiteral(": ") + doc.lastError();
    return true;
}

// The first page of an office file printed at 300 dpi and laid on the scanner
// turned degrees, saved as a scan in out.
inline bool scanTurned(const QString& source, double degrees, const QString& out)
{
    PdfDocument office;
    if (!office.open(source))
        return false;
    const QImage page = office.renderPage(0, 300.0 / 72.0, 0).convertToFormat(QImage::Format_ARGB32);
    const QImage turnedPage = page.transformed(QTransform().rotate(degrees), Qt::SmoothTransformation);
    QImage scanned(page.size(), QImage::Format_Grayscale8);
    const int dx = (turnedPage.width() - page.width()) / 2, dy = (turnedPage.height() - page.height()) / 2;
    for (int y = 0; y < scanned.height(); ++y)
        for (int x = 0; x < scanned.width(); ++x) {
            const QRgb p = turnedPage.pixel(x + dx, y + dy);  // on white paper
            scanned.scanLine(y)[x] = uchar((qGray(p) * qAlpha(p) + 255 * (255 - qAlpha(p))) / 255);
        }
    PdfDocument doc;
    return doc.createEmpty() && doc.appendRenderedPage(scanned, office.pageSize(0)) && doc.saveCopy(out);
}

// Where a recognised word of a line stood, with the blanks to the words
// beside it, across the line: in the line's turned frame.
inline TurnedBox wordPlace(const TextBlock::Line& line, const QString& text)
{
    std::vector<QRectF> boxes;
    size_t at = 0;
    for (const TextBlock::Line::Word& word : line.words) {
        if (word.text == text)
            at = boxes.size();
        boxes.push_back(wordInLineFrame(line, word.rect));
    }
    const double left = at > 0 ? boxes[at - 1].right() : boxes[at].left();
    const double right = at + 1 < boxes.size() ? boxes[at + 1].left() : boxes[at].right();
    return TurnedBox(QRectF(QPointF(left, line.rect.top()), QPointF(right, line.rect.bottom())), line.turn,
                     line.rect.center());
}

// The first picture of a page as pdfimages decodes it (grey), null when none.
inline QImage pagePicture(const QString& pdf, const QString& prefix)
{
    const pdftools::Result result =
        pdftools::run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), QStringLiteral("-f"), QStringLiteral("1"),
                                                    QStringLiteral("-l"), QStringLiteral("1"), pdf, prefix});
    if (result.exitCode != 0)
        return {};
    return QImage(prefix + QStringLiteral("-000.png")).convertToFormat(QImage::Format_Grayscale8);
}

// Dark pixels of a page-sized picture inside an area of the page (points, y up).
inline int darkPixelsIn(const QImage& picture, const QSizeF& page, const QPolygonF& area)
{
    const double sx = picture.width() / page.width(), sy = picture.height() / page.height();
    const QRectF box = area.boundingRect();
    int dark = 0;
    for (int y = std::max(0, int((page.height() - box.bottom()) * sy)); y < std::min(picture.height(), int((page.height() - box.top()) * sy) + 1); ++y)
        for (int x = std::max(0, int(box.left() * sx)); x < std::min(picture.width(), int(box.right() * sx) + 1); ++x)
            dark += picture.constScanLine(y)[x] < 128 &&
                    area.containsPoint(QPointF((x + 0.5) / sx, page.height() - (y + 0.5) / sy), Qt::OddEvenFill);
    return dark;
}

// Pixels that differ between two pictures of a page, split by how far they
// stand from the areas (points): outside them but within reach, and beyond.
struct Changed {
    int near = 0;
    int beyond = 0;
};
inline Changed changedPixels(const QImage& before, const QImage& after, const QSizeF& page, const std::vector<TurnedBox>& areas,
                      double reach)
{
    Changed changed;
    const double sx = before.width() / page.width(), sy = before.height() / page.height();
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            if (before.constScanLine(y)[x] == after.constScanLine(y)[x])
                continue;
            const QPointF at((x + 0.5) / sx, page.height() - (y + 0.5) / sy);
            const auto within = [&](double by) {
                return std::any_of(areas.begin(), areas.end(), [&](const TurnedBox& a) { return a.grown(by).contains(at); });
            };
            if (within(0))
                continue;
            ++(within(reach) ? changed.near : changed.beyond);
        }
    return changed;
}

} // namespace scanedit

using namespace scanedit;

class TestScanEdits : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void oneCorrectedWordTouchesOnlyItsLine_data();
    void oneCorrectedWordTouchesOnlyItsLine();
    void patchOverANeighbourIsRefused_data();
    void patchOverANeighbourIsRefused();
    void recognisedLinesKeepTheirWordSpaces_data();
    void recognisedLinesKeepTheirWordSpaces();
    void layerWordsStayApart_data();
    void layerWordsStayApart();
    void scannedLayerPartsItsWordsForOtherReaders();
    void wholeScannedPagesKeepEveryWord_data();
    void wholeScannedPagesKeepEveryWord();
    void lineCorrectedTwiceKeepsItsOldInkCovered_data();
    void lineCorrectedTwiceKeepsItsOldInkCovered();
    void everyLineOfAReopenedLayerIsCorrected_data();
    void everyLineOfAReopenedLayerIsCorrected();
    void officePageCorrectedTwice_data();
    void officePageCorrectedTwice();
    void officeLinesKeepBaselineAndWidth_data();
    void officeLinesKeepBaselineAndWidth();
    void correctedLineKeepsItsColumns_data();
    void correctedLineKeepsItsColumns();
    void correctedWordKeepsTheOtherWordsPixels_data();
    void correctedWordKeepsTheOtherWordsPixels();
    void correctedScanLineReadsWordsApart_data();
    void correctedScanLineReadsWordsApart();
    void legacyType3LineKeepsItsPixels_data();
    void legacyType3LineKeepsItsPixels();
    void removedWordsLeaveThePicture_data();
    void removedWordsLeaveThePicture();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // The recognised page saved with its searchable layer, unedited.
    QString savedLayer(const QString& turn);
    // The same with each word of the layer stretched over its box, as earlier
    // layers (and other tools') stand.
    QString wordBoxLayer(const QString& turn);

    OcrEngine m_engine;
    QTemporaryDir m_dir;
    std::map<QString, std::vector<TextBlock>> m_recognised;
};
