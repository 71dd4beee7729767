// A clerk's road on scans of a manual page turned 0, 0.5 and 1.5 degrees
// (tests/data/make-turned-scans.sh): recognised, one word corrected, saved,
// and read back from outside. The correction is made right after recognition
// and again after the recognised page was saved and opened anew (its
// searchable layer read as the page's own text).
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

namespace {

constexpr int kDpi = 150;

QString scan(const QString& turn)
{
    return fixtures::realPdf(QStringLiteral("gs-scan-turned-%1.pdf").arg(turn));
}

QMap<QString, int> wordCounts(const QStringList& words)
{
    QMap<QString, int> counts;
    for (const QString& w : words)
        ++counts[w];
    return counts;
}

QStringList wordsOf(const QString& text)
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

InkLine measureInk(const QImage& render, double pageHeight, const TurnedBox& box)
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
double changedShareOutside(const QImage& before, const QImage& after, double pageHeight, const TurnedBox& box)
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
int inkShownAgain(const QImage& scanRender, const QImage& hidden, const QImage& after)
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
double greyAt(const QImage& render, double pageHeight, const QPointF& point, int dpi)
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
double wordLikeness(const QImage& before, const QImage& after, int dpi, double pageHeight, const TurnedBox& line,
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
double bestShift(const QImage& before, const QImage& after, int dpi, double pageHeight, const TurnedBox& line,
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

// Where a recognised line's words (but the one corrected) do not keep the
// page's own pixels in out, as pdftoppm and mupdf render it at dpi: the
// words before the corrected one stay, those after it move as one; a word
// replaced is drawn anew. Empty when they all do.
QString keptWordsProblem(const QString& source, const QString& out, const TextBlock::Line& old, const QString& word,
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
    }
    return {};
}

struct Found {

    int block = -1;
    int line = -1;
};

// The recognised line that holds word (a long line of a block of several).
Found lineWith(const std::vector<TextBlock>& blocks, const QString& word)
{
    for (int b = 0; b < int(blocks.size()); ++b)
        for (int k = 0; k < int(blocks[size_t(b)].lines.size()); ++k)
            if (blocks[size_t(b)].lines.size() > 1 && wordsOf(blocks[size_t(b)].lines[size_t(k)].text).contains(word))
                return {b, k};
    return {};
}

// The line with the word corrected as the in-place editor leaves it.
void correct(TextBlock& block, int line, const QString& word, const QString& corrected)
{
    fixtures::correctWord(block, size_t(line), wordsOf(block.lines[size_t(line)].text).indexOf(word), corrected);
}

// The blocks written over the page of source and saved as out, or the reason
// the write was refused in *refusal; false when the file did not open or save.
bool writeOver(const QString& source, const std::vector<TextBlock>& blocks, const QString& out, QString* refusal)
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
bool correctSecondWord(std::vector<TextBlock>& read, const QStringList& start, const QString& corrected)
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
bool correctTwice(const QString& source, std::vector<TextBlock> blocks, size_t b, size_t k, int starting,
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
bool scanTurned(const QString& source, double degrees, const QString& out)
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
TurnedBox wordPlace(const TextBlock::Line& line, const QString& text)
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
QImage pagePicture(const QString& pdf, const QString& prefix)
{
    const pdftools::Result result =
        pdftools::run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), QStringLiteral("-f"), QStringLiteral("1"),
                                                    QStringLiteral("-l"), QStringLiteral("1"), pdf, prefix});
    if (result.exitCode != 0)
        return {};
    return QImage(prefix + QStringLiteral("-000.png")).convertToFormat(QImage::Format_Grayscale8);
}

// Dark pixels of a page-sized picture inside an area of the page (points, y up).
int darkPixelsIn(const QImage& picture, const QSizeF& page, const QPolygonF& area)
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
Changed changedPixels(const QImage& before, const QImage& after, const QSizeF& page, const std::vector<TurnedBox>& areas,
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

} // namespace

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

void TestScanEdits::initTestCase()
{
    QImageReader::setAllocationLimit(512);  // megabytes: a whole page rendered at 600 dpi
    QVERIFY(pdftools::installed(QStringLiteral("pdftotext")) && pdftools::installed(QStringLiteral("pdftoppm")));
    QVERIFY2(m_engine.init(QStringLiteral("rus+eng")), qPrintable(m_engine.lastError()));
    for (const QString& turn : {QStringLiteral("0"), QStringLiteral("0.5"), QStringLiteral("1.0"), QStringLiteral("1.5")}) {
        PdfDocument doc;
        QVERIFY(doc.open(scan(turn)));
        const QSizeF size = doc.pageSize(0);
        const double zoom = pageOcrZoom(size.width(), 0);
        m_recognised[turn] = m_engine.recognizePage(doc.renderPage(0, zoom, 0), 0, zoom, size.height());
        QVERIFY(!m_recognised[turn].empty());
    }
}

QString TestScanEdits::savedLayer(const QString& turn)
{
    const QString out = path(QStringLiteral("layer-%1.pdf").arg(turn));
    PdfDocument doc;
    if (!doc.open(scan(turn)) || !doc.overlayOcrText(0, m_recognised.at(turn), false) || !doc.saveCopy(out))
        return {};
    return out;
}

QString TestScanEdits::wordBoxLayer(const QString& turn)
{
    std::vector<TextBlock> blocks = m_recognised.at(turn);
    for (TextBlock& block : blocks)
        for (TextBlock::Line& line : block.lines) {
            line.turn = 0;
            line.baselineLift = -1;
        }
    const QString out = path(QStringLiteral("boxes-%1.pdf").arg(turn));
    PdfDocument doc;
    if (!doc.open(scan(turn)) || !doc.overlayOcrText(0, blocks, false) || !doc.saveCopy(out))
        return {};
    return out;
}

void TestScanEdits::oneCorrectedWordTouchesOnlyItsLine_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<bool>("reopened");
    QTest::addColumn<bool>("wordBoxes");  // the page's layer has each word stretched over its box
    for (const char* turn : {"0", "0.5", "1.5"}) {
        QTest::addRow("%s°, just recognised", turn) << QString::fromLatin1(turn) << false << false;
        QTest::addRow("%s°, saved and opened again", turn) << QString::fromLatin1(turn) << true << false;
        QTest::addRow("%s°, a layer of word boxes opened", turn) << QString::fromLatin1(turn) << true << true;
    }
}

// "трёх" read where "трех" is meant: after the correction the page reads every
// other word once, looks the same outside the line's own turned box, and the
// line stands on its baseline at its width and recognised size.
void TestScanEdits::oneCorrectedWordTouchesOnlyItsLine()
{
    QFETCH(QString, turn);
    QFETCH(bool, reopened);
    QFETCH(bool, wordBoxes);
    const QString word = QStringLiteral("трёх"), corrected = QStringLiteral("трех");
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    const Found at = lineWith(recognised, word);
    QVERIFY2(at.block >= 0, "the line is not recognised");
    const TextBlock::Line old = recognised[size_t(at.block)].lines[size_t(at.line)];
    QString correctedLine = old.text;
    correctedLine.replace(word, corrected);

    const QString source = wordBoxes ? wordBoxLayer(turn) : reopened ? savedLayer(turn) : scan(turn);
    QVERIFY(!source.isEmpty());
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks;
    if (reopened) {
        // The window's road: the page's own layer as blocks, one per line.
        blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
        const auto line = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return b.text.simplified() == old.text.simplified();
        });
        QVERIFY2(line != blocks.end(), qPrintable(old.text));
        QVERIFY2(std::abs(line->rotation - old.turn) < 0.15, qPrintable(QString::number(line->rotation)));  // in its own frame
        line->text = correctedLine;
        line->lines.front().text = correctedLine;
        line->lines.front().words.clear();
        line->lines.front().spans.clear();
        line->textEdited = true;
    } else {
        blocks = recognised;
        correct(blocks[size_t(at.block)], at.line, word, corrected);
    }
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("corrected-%1-%2.pdf").arg(turn).arg(reopened));
    QVERIFY(doc.saveCopy(out));

    // Every other word once: no neighbour's word left the layer, none doubled.
    QStringList expected;
    for (const TextBlock& b : recognised)
        for (const TextBlock::Line& l : b.lines)
            expected << wordsOf(&l == &recognised[size_t(at.block)].lines[size_t(at.line)] ? correctedLine : l.text);
    const QMap<QString, int> want = wordCounts(expected);
    const QMap<QString, int> got = wordCounts(pdftools::words(out, 0));
    for (auto it = want.begin(); it != want.end(); ++it)
        QVERIFY2(got.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(it.key()).arg(got.value(it.key())).arg(it.value())));

    // Outside the line's own turned box (and the white-out's growth) the
    // scan's pixels stay.
    const double height = doc.pageSize(0).height();
    const TurnedBox line(old.originalRect, old.turn);
    const QImage before = pdftools::renderPage(scan(turn), 0, kDpi);
    const QImage after = pdftools::renderPage(out, 0, kDpi);
    const double share = changedShareOutside(before, after, height, line.grown(2.0));
    QVERIFY2(share <= 0.0002, qPrintable(QString::number(share)));

    // On the old baseline, at the old width.
    const InkLine was = measureInk(before, height, line);
    const InkLine is = measureInk(after, height, line);
    QVERIFY(was.found && is.found);
    QVERIFY2(std::abs(is.baseline - was.baseline) <= 1.0,
             qPrintable(QStringLiteral("baseline %1 -> %2").arg(was.baseline).arg(is.baseline)));
    const double width = was.right - was.left;
    QVERIFY2(std::abs((is.right - is.left) - width) <= 0.02 * width,
             qPrintable(QStringLiteral("width %1 -> %2").arg(width).arg(is.right - is.left)));

    // At the recognised size, read back as the line it is: the corrected word
    // drawn, the others the searchable layer over their own pixels.
    PdfDocument reread;
    QVERIFY(reread.open(out));
    const std::vector<TextBlock> read = reread.extractText(0);
    const auto rewritten = std::find_if(read.begin(), read.end(), [&](const TextBlock& b) {
        return b.text.contains(corrected);
    });
    QVERIFY(rewritten != read.end());
    QCOMPARE(rewritten->text.simplified(), correctedLine.simplified());
    QVERIFY2(std::abs(rewritten->fontSize - old.fontSize) <= 0.5,
             qPrintable(QStringLiteral("%1 pt, recognised %2 pt").arg(rewritten->fontSize).arg(old.fontSize)));
    QVERIFY(!reread.findText(0, correctedLine.section(QLatin1Char(' '), 0, 2)).isEmpty());
}

void TestScanEdits::patchOverANeighbourIsRefused_data()
{
    QTest::addColumn<QString>("turn");
    QTest::newRow("0°") << "0";
    QTest::newRow("0.5°") << "0.5";
    QTest::newRow("1.5°") << "1.5";
}

// A corrected line whose old place is claimed a line too tall would white out
// the line above it: the write is refused with its reason, and the page stays.
void TestScanEdits::patchOverANeighbourIsRefused()
{
    QFETCH(QString, turn);
    std::vector<TextBlock> blocks = m_recognised.at(turn);
    const Found at = lineWith(blocks, QStringLiteral("трёх"));
    QVERIFY(at.block >= 0 && at.line > 0);
    TextBlock& block = blocks[size_t(at.block)];
    TextBlock::Line& line = block.lines[size_t(at.line)];
    const double pitch = block.lines[size_t(at.line - 1)].rect.center().y() - line.rect.center().y();
    line.originalRect.setHeight(line.originalRect.height() + pitch);
    line.rect = line.originalRect;
    correct(block, at.line, QStringLiteral("трёх"), QStringLiteral("трех"));

    PdfDocument doc;
    QVERIFY(doc.open(scan(turn)));
    const QImage before = doc.renderPage(0, 1.0, 0);
    QVERIFY(!doc.overlayOcrText(0, blocks, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.renderPage(0, 1.0, 0), before);
    QVERIFY(doc.extractAllText(0).trimmed().isEmpty());
}

void TestScanEdits::recognisedLinesKeepTheirWordSpaces_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<bool>("wordBoxes");  // each word fitted to its box, as earlier layers (and other tools) stand
    QTest::newRow("0.5°") << "0.5" << false;
    QTest::newRow("1.5°") << "1.5" << false;
    QTest::newRow("0.5°, words fitted to their boxes") << "0.5" << true;
    QTest::newRow("1.5°, words fitted to their boxes") << "1.5" << true;
}

// The searchable layer of a turned scan, opened again, reads each recognised
// line with its word spaces, and the search finds words across them.
void TestScanEdits::recognisedLinesKeepTheirWordSpaces()
{
    QFETCH(QString, turn);
    QFETCH(bool, wordBoxes);
    const QString saved = wordBoxes ? wordBoxLayer(turn) : savedLayer(turn);
    QVERIFY(!saved.isEmpty());
    PdfDocument doc;
    QVERIFY(doc.open(saved));
    QStringList read;
    for (const TextBlock& block : doc.extractText(0))
        read << block.text.simplified();
    int pairs = 0;
    for (const TextBlock& block : m_recognised.at(turn))
        for (const TextBlock::Line& line : block.lines) {
            const QStringList words = wordsOf(line.text);
            for (qsizetype i = 1; i < words.size(); ++i) {
                if (words[i - 1].size() < 2 || words[i].size() < 2)
                    continue;  // a stray mark may go to the line above
                const QString pair = words[i - 1] + QLatin1Char(' ') + words[i];
                QVERIFY2(std::any_of(read.begin(), read.end(), [&](const QString& r) { return r.contains(pair); }),
                         qPrintable(pair));
                if (!pair.endsWith(QLatin1Char('-')))  // the search joins a word broken at the line's end
                    QVERIFY2(!doc.findText(0, pair).isEmpty(), qPrintable(pair));
                ++pairs;
            }
        }
    QVERIFY(pairs > 50);
}

void TestScanEdits::layerWordsStayApart_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<double>("stretch");  // of the first word's box over its text
    QTest::addColumn<double>("gap");      // points between the words' boxes
    QTest::addColumn<double>("step");     // points the second word stands higher
    QTest::addColumn<QString>("read");
    QTest::addColumn<double>("lift");     // of the baseline over the line's foot as recognised; -1 unknown
    const QStringList pair{QStringLiteral("можно"), QStringLiteral("скачать")};
    const QString apart = QStringLiteral("можно скачать");
    QTest::newRow("a narrow gap") << pair << 1.0 << 1.5 << 0.0 << apart << -1.0;
    QTest::newRow("a stretched word") << pair << 3.0 << 3.0 << 0.0 << apart << -1.0;
    QTest::newRow("a wide stretch") << pair << 5.0 << 4.0 << 0.0 << apart << -1.0;
    QTest::newRow("a step down a turned line") << pair << 2.0 << 2.5 << -1.2 << apart << -1.0;
    QTest::newRow("one word in two pieces") << QStringList{QStringLiteral("мож"), QStringLiteral("но")} << 1.0
                                            << 0.2 << 0.0 << QStringLiteral("можно") << -1.0;
    // Recognised boxes of a one-letter word and its neighbour may touch.
    const QStringList digit{QStringLiteral("от"), QStringLiteral("6")};
    QTest::newRow("a digit at the next word's box") << digit << 1.0 << 0.3 << 0.0 << QStringLiteral("от 6") << -1.0;
    QTest::newRow("a digit at the next word's box, on its baseline")
        << digit << 1.0 << 0.3 << 0.0 << QStringLiteral("от 6") << 2.0;
    QTest::newRow("a letter touching the word before, on its baseline")
        << QStringList{QStringLiteral("работы"), QStringLiteral("с")} << 1.0 << 0.0 << 0.0 << QStringLiteral("работы с")
        << 2.0;
    QTest::newRow("boxes overlapping a little") << QStringList{QStringLiteral("входе"), QStringLiteral("в")} << 1.1
                                                << -0.5 << 0.0 << QStringLiteral("входе в") << 2.0;
    QTest::newRow("one word in two pieces, on its baseline")
        << QStringList{QStringLiteral("мож"), QStringLiteral("но")} << 1.0 << 0.2 << 0.0 << QStringLiteral("можно") << 2.0;
}

// Another tool's layer (or an earlier one of this program) writes each word
// fitted to its box: read back, the words stay apart wherever their boxes
// are a word gap apart along the line, and an edit of the line keeps them.
void TestScanEdits::layerWordsStayApart()
{
    QFETCH(QStringList, words);
    QFETCH(double, stretch);
    QFETCH(double, gap);
    QFETCH(double, step);
    QFETCH(QString, read);
    QFETCH(double, lift);
    const QString file = path(QStringLiteral("words.pdf"));
    {
        PdfDocument doc;
        QImage paper(600, 300, QImage::Format_RGB32);
        paper.fill(Qt::white);
        QVERIFY(doc.createEmpty() && doc.appendRenderedPage(paper, QSizeF(600, 300)));
        TextBlock block;
        TextBlock::Line line;
        line.text = block.text = read;  // the recognised text: a blank where the words part
        line.fontSize = 10;
        line.baselineLift = lift;
        const QRectF first(100, 150, 6 * words[0].size() * stretch, 10);
        const QRectF second(first.right() + gap, 150 + step, 6 * words[1].size(), 10);
        line.words = {{words[0], first, 90}, {words[1], second, 90}};
        line.rect = block.rect = block.originalRect = first.united(second);
        block.lines = {line};
        QVERIFY(doc.overlayOcrText(0, {block}, false) && doc.saveCopy(file));
    }
    // Other readers part the words as the recognised text does.
    QCOMPARE(pdftools::words(file, 0), wordsOf(read));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    std::vector<TextBlock> blocks = doc.extractText(0);
    QCOMPARE(int(blocks.size()), 1);
    QCOMPARE(blocks[0].text, read);
    if (!read.contains(QLatin1Char(' ')))
        return;
    // The line edited: what the user sees is what is written.
    const QString edited = read + QStringLiteral(" здесь");
    blocks[0].text = blocks[0].lines[0].text = edited;
    blocks[0].lines[0].spans.clear();
    blocks[0].textEdited = true;
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    QVERIFY(!doc.findText(0, edited).isEmpty());
    const QString out = path(QStringLiteral("words-edited.pdf"));
    QVERIFY(doc.saveCopy(out));
    QCOMPARE(pdftools::words(out, 0), wordsOf(edited));
}

// A page nobody here wrote, scanned: its print at 300 dpi, speckled, comes in
// as the scanner's frame at the size a picture without a recorded resolution
// gets. Recognised boxes of a digit and the word before it nearly touch; the
// written layer reads in pdftotext with the blank between every two words of
// a recognised line.
void TestScanEdits::scannedLayerPartsItsWordsForOtherReaders()
{
    PdfDocument source;
    QVERIFY(source.open(fixtures::realPdf(QStringLiteral("passwd-scan.pdf"))));
    const QSizeF size = source.pageSize(0);
    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.appendRenderedPage(
        source.renderPage(0, 300.0 / 72.0, 0).convertToFormat(QImage::Format_Grayscale8), size));
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> blocks = m_engine.recognizePage(doc.renderPage(0, zoom, 0), 0, zoom, size.height());
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QString out = path(QStringLiteral("passwd-layer.pdf"));
    QVERIFY(doc.saveCopy(out));
    // As its text comes out: pdftotext parts words there by their distance.
    const pdftools::Result text = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    QCOMPARE(text.exitCode, 0);
    const QString read = QLatin1Char(' ') + text.out.simplified() + QLatin1Char(' ');
    QStringList joined;
    int pairs = 0;
    for (const TextBlock& block : blocks)
        for (const TextBlock::Line& line : block.lines) {
            const QStringList words = wordsOf(line.text);
            for (qsizetype i = 1; i < words.size(); ++i, ++pairs) {
                const QString pair = QLatin1Char(' ') + words[i - 1] + QLatin1Char(' ') + words[i] + QLatin1Char(' ');
                if (!read.contains(pair))
                    joined << pair.trimmed();
            }
        }
    QVERIFY(pairs > 60);
    QVERIFY2(joined.isEmpty(), qPrintable(joined.join(QStringLiteral("; "))));
}

void TestScanEdits::correctedScanLineReadsWordsApart_data()
{
    QTest::addColumn<double>("gap");       // points between the corrected word's box and the next one's
    QTest::addColumn<int>("atLine");       // which line is corrected: the first, or the next after its hyphen
    QTest::addColumn<int>("word");         // which word of it
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<bool>("reopened");    // the layer saved and opened again, corrected from it
    QTest::addColumn<QString>("read");     // as pdftotext reads the two lines
    // The size the window gives the corrected line read back, from its box
    // and its like lines' (larger than its layer's words are drawn at); 0: as read.
    QTest::addColumn<double>("boxSize");
    const QString apart = QStringLiteral("Правила изложены в разделе можно скорее, не позднее чем через год.");
    QTest::newRow("a one-letter word close after the corrected one") << 1.0 << 0 << 1 << "изложены" << false << apart << 0.0;
    QTest::newRow("the same, saved and opened again") << 1.0 << 0 << 1 << "изложены" << true << apart << 0.0;
    QTest::newRow("a wide gap") << 3.0 << 0 << 1 << "изложены" << false << apart << 0.0;
    const QString hyphen = QStringLiteral("Правила описаны в разделе быстро скорее, не позднее чем через год.");
    QTest::newRow("the word before a hyphen at the line's end") << 1.0 << 0 << 4 << "быстро" << false << hyphen << 0.0;
    QTest::newRow("the same, saved and opened again, hyphen") << 1.0 << 0 << 4 << "быстро" << true << hyphen << 0.0;
    // A reader starts another column at a line set larger than the one above it.
    const QString rest = QStringLiteral("Правила описаны в разделе можно скорее, не попозже чем через год.");
    QTest::newRow("opened again, the line after a hyphen sized by its box")
        << 1.0 << 1 << 2 << "попозже" << true << rest << 12.6;
    QTest::newRow("opened again, the hyphen's line sized by its box") << 1.0 << 0 << 4 << "быстро" << true << hyphen << 12.6;
}

// A recognised scan line corrected: each word of its layer keeps its own
// box and the blank after it, so pdftotext reads the new word apart from an
// untouched one however close their boxes stand, and a word broken at the
// line's end still joins its rest on the next line.
void TestScanEdits::correctedScanLineReadsWordsApart()
{
    QFETCH(double, gap);
    QFETCH(int, atLine);
    QFETCH(int, word);
    QFETCH(QString, corrected);
    QFETCH(bool, reopened);
    QFETCH(QString, read);
    QFETCH(double, boxSize);
    PdfDocument doc;
    QImage paper(600, 300, QImage::Format_RGB32);
    paper.fill(Qt::white);
    QVERIFY(doc.createEmpty() && doc.appendRenderedPage(paper, QSizeF(600, 300)));
    const QList<QStringList> texts{
        wordsOf(QStringLiteral("Правила описаны в разделе можно ско-")),
        wordsOf(QStringLiteral("рее, не позднее чем через год."))};
    TextBlock block;
    QStringList lineTexts;
    for (int k = 0; k < int(texts.size()); ++k) {
        TextBlock::Line line;
        line.text = texts[k].join(QLatin1Char(' '));
        line.fontSize = 10;
        line.baselineLift = 2.0;
        double x = 100;
        for (const QString& w : texts[k]) {
            const QRectF box(x, 150 - 12 * k, 6 * w.size(), 10);
            line.words.push_back({w, box, 90});
            x = box.right() + (k == 0 && line.words.size() == 2 ? gap : 4.0);
        }
        line.rect = line.originalRect = line.words.front().rect.united(line.words.back().rect);
        line.originalText = line.text;
        line.originalWords = line.words;
        block.lines.push_back(line);
        lineTexts << line.text;
    }
    block.text = lineTexts.join(QLatin1Char('\n'));
    block.rect = block.originalRect = block.lines[0].rect.united(block.lines[1].rect);
    std::vector<TextBlock> blocks{block};
    if (reopened) {
        const QString layer = path(QStringLiteral("apart-layer.pdf"));
        QVERIFY(doc.overlayOcrText(0, blocks, false) && doc.saveCopy(layer) && doc.open(layer));
        blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
        const auto read = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return b.text.simplified() == lineTexts[atLine];
        });
        QVERIFY(read != blocks.end());
        if (boxSize > 0)
            read->lines.front().fontSize = read->fontSize = float(boxSize);
        fixtures::correctWord(*read, 0, word, corrected);
    } else {
        fixtures::correctWord(blocks.front(), size_t(atLine), word, corrected);
    }
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("apart.pdf"));
    QVERIFY(doc.saveCopy(out));
    const pdftools::Result text = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    QCOMPARE(text.out.simplified(), read);
}

void TestScanEdits::removedWordsLeaveThePicture_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<QString>("edit");  // "deleted": a line emptied under a corrected one; "replaced": a word
    QTest::addColumn<bool>("reopened");
    QTest::addColumn<bool>("close");  // the line above recognised reaching down to a point short of it
    for (const char* turn : {"0.5", "1.5"}) {
        const QString t = QString::fromLatin1(turn);
        QTest::addRow("%s°, a line deleted under a corrected one", turn) << t << "deleted" << false << false;
        QTest::addRow("%s°, a line deleted close under a corrected one", turn) << t << "deleted" << false << true;
        QTest::addRow("%s°, a word replaced", turn) << t << "replaced" << false << false;
    }
    QTest::newRow("0.5°, saved and opened again, a line deleted") << "0.5" << "deleted" << true << false;
}

// What the user removed on a recognised scan is gone from the file, not only
// painted over: the picture pdfimages extracts has no ink left where the
// deleted line and the replaced word stood; elsewhere its pixels stay as
// they were, but for the JPEG blocks the removed areas touch; no earlier
// revision keeps the old picture. The kept words of the line above carry no
// ink of the deleted line, and pdftotext reads the corrected line's words
// apart.
void TestScanEdits::removedWordsLeaveThePicture()
{
    QFETCH(QString, turn);
    QFETCH(QString, edit);
    QFETCH(bool, reopened);
    QFETCH(bool, close);
    constexpr double kGrowth = 2.0;     // points: the white-out over a line's ink, and what it grows over
    constexpr double kJpegBlock = 8 * 72.0 / 300;  // one 8-pixel JPEG block at the scan's 300 dpi
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    const Found at = lineWith(recognised, QStringLiteral("трёх"));
    QVERIFY(at.block >= 0 && at.line > 0);
    std::vector<TextBlock> blocks = recognised;
    const TextBlock::Line old = recognised[size_t(at.block)].lines[size_t(at.line)];
    if (close) {
        // The white-out of the line above, and its kept words' pixels, reach into this line's ink.
        TextBlock::Line& up = blocks[size_t(at.block)].lines[size_t(at.line - 1)];
        up.originalRect.setTop(old.originalRect.bottom() + 1.0);
        up.rect = up.originalRect;
    }
    const TextBlock::Line above = blocks[size_t(at.block)].lines[size_t(at.line - 1)];
    const TurnedBox line(old.originalRect, old.turn);
    std::vector<TurnedBox> removed;  // where the picture must lose its ink
    QStringList correctedWords;      // the corrected line as pdftotext must read it
    const QString source = reopened ? savedLayer(turn) : scan(turn);
    QVERIFY(!source.isEmpty());
    if (edit == QStringLiteral("replaced")) {
        correct(blocks[size_t(at.block)], at.line, QStringLiteral("трёх"), QStringLiteral("пяти"));
        correctedWords = wordsOf(blocks[size_t(at.block)].lines[size_t(at.line)].text);
        removed.push_back(wordPlace(old, QStringLiteral("трёх")));
    } else if (!reopened) {
        TextBlock& block = blocks[size_t(at.block)];
        correct(block, at.line - 1, wordsOf(above.text).at(1), QStringLiteral("срок"));
        removed.push_back(wordPlace(above, wordsOf(above.text).at(1)));
        correctedWords = wordsOf(block.lines[size_t(at.line - 1)].text);
        block.lines[size_t(at.line)].text.clear();
        block.lines[size_t(at.line)].words.clear();
        QStringList texts;
        for (const TextBlock::Line& l : block.lines)
            texts << l.text;
        block.text = texts.join(QLatin1Char('\n'));
        removed.push_back(line);
    } else {
        // The window's road: the layer's line blocks; the line above corrected, the line deleted.
        PdfDocument layer;
        QVERIFY(layer.open(source));
        blocks = cleanedNativeTextBlocks(layer.extractText(0), {});
        const auto lineBlock = [&](const QString& text) {
            return std::find_if(blocks.begin(), blocks.end(),
                                [&](const TextBlock& b) { return b.text.simplified() == text.simplified(); });
        };
        auto up = lineBlock(above.text);
        QVERIFY(up != blocks.end());
        fixtures::correctWord(*up, 0, 1, QStringLiteral("срок"));
        removed.push_back(wordPlace(above, wordsOf(above.text).at(1)));
        correctedWords = wordsOf(up->lines.front().text);
        auto gone = lineBlock(old.text);
        QVERIFY(gone != blocks.end());
        TextBlock place;
        place.removed = place.textEdited = true;
        place.rect = place.originalRect = gone->originalRect;
        place.rotation = place.originalRotation = gone->originalRotation;
        blocks.erase(gone);
        blocks.push_back(place);
        removed.push_back(line);
    }
    const QString out = path(QStringLiteral("removed-%1-%2-%3-%4.pdf").arg(turn, edit).arg(reopened).arg(close));
    QString refusal;
    QVERIFY(writeOver(source, blocks, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    QCOMPARE(pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), out}).exitCode, 0);

    PdfDocument doc;
    QVERIFY(doc.open(out));
    const QSizeF page = doc.pageSize(0);
    const QImage was = pagePicture(scan(turn), path(QStringLiteral("was")));
    const QImage is = pagePicture(out, path(QStringLiteral("is")));
    QVERIFY(!was.isNull() && is.size() == was.size());
    // One scan picture: no copy of it stays beside the changed one.
    const QList<pdftools::ImageRow> images = pdftools::listImages(out);
    QCOMPARE(std::count_if(images.begin(), images.end(), [&](const pdftools::ImageRow& row) {
                 return row.width == was.width() && row.height == was.height();
             }), 1);
    for (const TurnedBox& area : removed) {
        const int before = darkPixelsIn(was, page, area.polygon()), after = darkPixelsIn(is, page, area.polygon());
        QVERIFY2(before > 100 && after <= before / 100,
                 qPrintable(QStringLiteral("dark pixels %1 -> %2").arg(before).arg(after)));
    }
    // Outside the removed areas (as far as their white-out reaches) only the
    // JPEG blocks they touch are coded again.
    const Changed changed = changedPixels(was, is, page, removed, kGrowth + kJpegBlock);
    qInfo("%s: %d pixels changed outside the removed areas within one JPEG block of them, %d beyond, of %d",
          QTest::currentDataTag(), changed.near, changed.beyond, was.width() * was.height());
    QCOMPARE(changed.beyond, 0);

    // The old picture's bytes are nowhere in the file: it was written anew.
    QVERIFY(pdftools::run(QStringLiteral("pdfimages"), {QStringLiteral("-j"), scan(turn), path(QStringLiteral("raw"))}).exitCode == 0);
    QFile raw(path(QStringLiteral("raw-000.jpg"))), saved(out);
    QVERIFY(raw.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
    const QByteArray jpeg = raw.readAll();
    QVERIFY(!saved.readAll().contains(jpeg.mid(jpeg.size() / 2, 256)));

    // On the page nothing of the deleted line shows, also not above its white-out.
    if (edit == QStringLiteral("deleted")) {
        // Its box and as far as its white-out reached, short of the line above.
        constexpr double kWhiteOut = 1.5;
        const QRectF reach(QPointF(old.originalRect.left(), old.originalRect.top() - kWhiteOut),
                           QPointF(old.originalRect.right(), std::min(old.originalRect.bottom() + kWhiteOut,
                                                                      above.originalRect.top() - kWhiteOut / 3)));
        const QImage render = pdftools::renderPage(out, 0, 300).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(darkPixelsIn(render, page, TurnedBox(reach, old.turn, old.originalRect.center()).polygon()), 0);
    }
    const QMap<QString, int> read = wordCounts(pdftools::words(out, 0));
    for (const QString& word : correctedWords)
        QVERIFY2(read.value(word) >= 1, qPrintable(word));
}

void TestScanEdits::legacyType3LineKeepsItsPixels_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("word");  // recognised, then corrected
    QTest::addColumn<QString>("corrected");
    // The LaTeX logo of the line is read "ВТЕХ".
    QTest::newRow("dvips bitmap faces, T2A") << "tex-t2a-bitmap.pdf" << "позволяет" << "разрешает";
    QTest::newRow("pdfTeX PK faces") << "pdftex-type3.pdf" << "register," << "ledger,";
}

// A born-digital page set in TeX's 8-bit bitmap faces, recognised and one
// word of a line corrected: the line's other words keep the page's own
// pixels (the TeX logo too, which the recogniser misreads), rather than
// being set again from the recogniser's reading in another face.
void TestScanEdits::legacyType3LineKeepsItsPixels()
{
    QFETCH(QString, file);
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    const QString source = fixtures::realPdf(file);
    PdfDocument page;
    QVERIFY(page.open(source));
    const QSizeF size = page.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    std::vector<TextBlock> blocks = m_engine.recognizePage(page.renderPage(0, zoom, 0), 0, zoom, size.height());
    TextBlock::Line old;
    for (TextBlock& block : blocks)
        for (size_t k = 0; k < block.lines.size() && old.text.isEmpty(); ++k)
            if (wordsOf(block.lines[k].text).contains(word)) {
                old = block.lines[k];
                fixtures::correctWord(block, k, wordsOf(old.text).indexOf(word), corrected);
            }
    QVERIFY2(!old.text.isEmpty(), qPrintable(word));
    const QString out = path(QStringLiteral("type3-") + file);
    QString refusal;
    QVERIFY(writeOver(source, blocks, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    // At the resolution the kept words are drawn at, so that two renderers part only at ink edges.
    const QString problem = keptWordsProblem(source, out, old, word, true, 600);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(pdftools::words(out, 0).contains(corrected));
}

QTEST_MAIN(TestScanEdits)
#include "tst_scanedits.moc"

void TestScanEdits::wholeScannedPagesKeepEveryWord_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("page 2") << 1;
    QTest::newRow("page 3") << 2;
}

// A whole manual page scanned at 300 dpi and recognised as the document's
// recognition reads it: a clause repeats its words on every line it ends
// with ("раза в квартал."), and no such line loses them as a copy of the
// paragraph's other lines. Its layer, written and read back, holds every
// word recognised.
void TestScanEdits::wholeScannedPagesKeepEveryWord()
{
    QFETCH(int, page);
    const QString source = fixtures::realPdf(QStringLiteral("pdftex-manual.pdf"));
    PdfDocument manual;
    QVERIFY(manual.open(source));
    const QSizeF size = manual.pageSize(page);
    PdfDocument scanned;
    QVERIFY(scanned.createEmpty());
    QVERIFY(scanned.appendRenderedPage(
        manual.renderPage(page, 300.0 / 72.0, 0).convertToFormat(QImage::Format_Grayscale8), size));
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> blocks = m_engine.recognizePage(scanned.renderPage(0, zoom, 0), 0, zoom, size.height());
    QStringList read;
    for (const TextBlock& block : blocks)
        read << wordsOf(block.text.simplified());
    const QMap<QString, int> printed = wordCounts(pdftools::words(source, page));
    const QMap<QString, int> recognised = wordCounts(read);
    for (const QString& word : {QStringLiteral("квартал."), QStringLiteral("указанных"), QStringLiteral("Поставщик")}) {
        QVERIFY(printed.value(word) > 1);
        QVERIFY2(recognised.value(word) == printed.value(word),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(word).arg(recognised.value(word)).arg(printed.value(word))));
    }

    QVERIFY(scanned.overlayOcrText(0, blocks, false));
    const QString out = path(QStringLiteral("whole-%1.pdf").arg(page));
    QVERIFY(scanned.saveCopy(out));
    QCOMPARE(wordCounts(pdftools::words(out, 0)), recognised);
}

namespace {

// The two turned scans every reopened-layer test runs on.
void addTurnedScanRows()
{
    QTest::addColumn<QString>("turn");
    QTest::newRow("0.5°") << "0.5";
    QTest::newRow("1.5°") << "1.5";
}

} // namespace

void TestScanEdits::lineCorrectedTwiceKeepsItsOldInkCovered_data()
{
    addTurnedScanRows();
}

// Each long recognised line corrected (its first word loses its first
// letter, as a stray mark is taken off) and saved, then opened again with the
// page's layer read as its text and corrected once more: the second white-out
// is taken from the letters the first write drew, which may end short of the
// scan's ink the first white-out hid. None of that ink may show again.
void TestScanEdits::lineCorrectedTwiceKeepsItsOldInkCovered()
{
    QFETCH(QString, turn);
    const QImage scanRender = pdftools::renderPage(scan(turn), 0, kDpi);
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    int checked = 0;
    QStringList refused, shownAgain;  // lines not written (or not read back), lines showing old ink
    for (size_t b = 0; b < recognised.size(); ++b)
        for (size_t k = 0; k < recognised[b].lines.size(); ++k) {
            const QStringList words = wordsOf(recognised[b].lines[k].text);
            if (words.size() < 4 || words.front().size() < 3)
                continue;
            const QString once = path(QStringLiteral("o-%1-%2-%3.pdf").arg(turn).arg(b).arg(k));
            const QString twice = path(QStringLiteral("t-%1-%2-%3.pdf").arg(turn).arg(b).arg(k));
            PdfDocument doc;
            QString refusal;
            QVERIFY(correctTwice(scan(turn), recognised, b, k, 3, once, doc, &refusal));
            if (refusal.isEmpty() && !doc.saveCopy(twice))
                refusal = QStringLiteral("2: ") + words.join(' ') + QStringLiteral(": ") + doc.lastError();
            if (!refusal.isEmpty()) {
                refused << refusal;
                continue;
            }
            ++checked;
            const int shown = inkShownAgain(scanRender, pdftools::renderPage(once, 0, kDpi),
                                            pdftools::renderPage(twice, 0, kDpi));
            QVERIFY(shown >= 0);
            if (shown > 5)
                shownAgain << QStringLiteral("%1: %2 px").arg(words.join(' ')).arg(shown);
        }
    QVERIFY2(checked >= 8, qPrintable(refused.join(QLatin1Char('\n'))));
    QVERIFY2(shownAgain.isEmpty(), qPrintable(shownAgain.join(QLatin1Char('\n'))));
}

void TestScanEdits::everyLineOfAReopenedLayerIsCorrected_data()
{
    addTurnedScanRows();
}

// The recognised page saved and opened again, its layer read as the page's
// text: each line reads at the scan's turn (a mark of the line below that
// stands under a line's start is no part of it), and a correction of its
// first word is written, not refused as reaching another line.
void TestScanEdits::everyLineOfAReopenedLayerIsCorrected()
{
    QFETCH(QString, turn);
    const QString source = savedLayer(turn);
    QVERIFY(!source.isEmpty());
    QStringList refused;
    int corrected = 0;
    for (size_t at = 0;; ++at) {
        PdfDocument doc;
        QVERIFY(doc.open(source));
        std::vector<TextBlock> blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
        if (at >= blocks.size())
            break;
        TextBlock& block = blocks[at];
        const QStringList words = wordsOf(block.lines.front().text);
        if (block.lines.size() != 1 || words.size() < 4 || words.front().size() < 3)
            continue;
        QVERIFY2(std::abs(block.rotation - turn.toDouble()) < 0.15,
                 qPrintable(QStringLiteral("%1: %2°").arg(words.join(' ')).arg(block.rotation)));
        fixtures::correctWord(block, 0, 0, words.front().mid(1));
        if (!doc.overlayOcrText(0, blocks, false))
            refused << words.join(' ') + QStringLiteral(": ") + doc.lastError();
        ++corrected;
    }
    QVERIFY(corrected >= 10);
    QVERIFY2(refused.isEmpty(), qPrintable(refused.join(QLatin1Char('\n'))));
}

void TestScanEdits::officePageCorrectedTwice_data()
{
    QTest::addColumn<QString>("source");  // a LibreOffice page, printed and laid turned on the scanner
    QTest::addColumn<double>("turn");
    QTest::newRow("letter, 1.5°") << "libreoffice-letter.pdf" << 1.5;
    QTest::newRow("letter, 0.5°") << "libreoffice-letter.pdf" << 0.5;
    QTest::newRow("justified page, 1.5°") << "libreoffice-justified.pdf" << 1.5;
}

// An office page printed at 300 dpi and scanned turned, recognised: each line
// of two words or more corrected (its first word loses its first letter) is
// written, and once saved and opened again, with the page's layer read as
// its text, corrected once more is written too. The lines of a paragraph
// left as they were keep their layer along their turned baselines, so none
// reads across its neighbour.
void TestScanEdits::officePageCorrectedTwice()
{
    QFETCH(QString, source);
    QFETCH(double, turn);
    const QString scanFile = path(QStringLiteral("office-scan.pdf"));
    QVERIFY(scanTurned(fixtures::realPdf(source), turn, scanFile));
    PdfDocument scan;
    QVERIFY(scan.open(scanFile));
    const QSizeF size = scan.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> recognised = m_engine.recognizePage(scan.renderPage(0, zoom, 0), 0, zoom, size.height());
    QStringList refused;
    int corrected = 0;
    for (size_t b = 0; b < recognised.size(); ++b)
        for (size_t k = 0; k < recognised[b].lines.size(); ++k) {
            const QStringList words = wordsOf(recognised[b].lines[k].text);
            if (words.size() < 2 || words.front().size() < 3)
                continue;
            PdfDocument doc;
            QString refusal;
            QVERIFY(correctTwice(scanFile, recognised, b, k, 2, path(QStringLiteral("office-once.pdf")), doc, &refusal));
            if (!refusal.isEmpty())
                refused << refusal;
            ++corrected;
        }
    QVERIFY(corrected >= 5);
    QVERIFY2(refused.isEmpty(), qPrintable(refused.join(QLatin1Char('\n'))));
}

void TestScanEdits::officeLinesKeepBaselineAndWidth_data()
{
    QTest::addColumn<double>("turn");
    QTest::addColumn<bool>("reopened");
    for (const double turn : {0.5, 1.5}) {
        QTest::addRow("letter, %g°, just recognised", turn) << turn << false;
        QTest::addRow("letter, %g°, saved and opened again", turn) << turn << true;
    }
}

// A long line of an office page scanned turned, one letter of a word
// corrected ("а" to "о", about as wide): the rewritten line stands on the
// scan's baseline and ends where the scan's line ended.
void TestScanEdits::officeLinesKeepBaselineAndWidth()
{
    QFETCH(double, turn);
    QFETCH(bool, reopened);
    const QString scanFile = path(QStringLiteral("office-scan-%1.pdf").arg(turn));
    QVERIFY(scanTurned(fixtures::realPdf(QStringLiteral("libreoffice-letter.pdf")), turn, scanFile));
    PdfDocument scanDoc;
    QVERIFY(scanDoc.open(scanFile));
    const QSizeF size = scanDoc.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> recognised =
        m_engine.recognizePage(scanDoc.renderPage(0, zoom, 0), 0, zoom, size.height());
    const QImage before = pdftools::renderPage(scanFile, 0, kDpi);
    int measured = 0;
    for (size_t b = 0; b < recognised.size() && measured < 3; ++b)
        for (size_t k = 0; k < recognised[b].lines.size() && measured < 3; ++k) {
            const TextBlock::Line& old = recognised[b].lines[k];
            const QStringList words = wordsOf(old.text);
            const qsizetype at = words.indexOf(QRegularExpression(QStringLiteral("^[а-яё]+а[а-яё]*$")));
            if (old.originalRect.width() < 0.4 * size.width() || at < 0)
                continue;
            QString fixed = words.at(at);
            fixed[fixed.indexOf(QChar(u'а'))] = QChar(u'о');
            std::vector<TextBlock> blocks = recognised;
            QString over = scanFile;
            if (reopened) {
                over = path(QStringLiteral("office-layer-%1.pdf").arg(turn));
                QString none;
                QVERIFY(writeOver(scanFile, recognised, over, &none) && none.isEmpty());
                PdfDocument layer;
                QVERIFY(layer.open(over));
                blocks = cleanedNativeTextBlocks(layer.extractText(0), {});
                bool found = false;
                for (TextBlock& block : blocks)
                    for (size_t j = 0; j < block.lines.size() && !found; ++j)
                        if (block.lines[j].text.simplified() == old.text.simplified()) {
                            fixtures::correctWord(block, j, at, fixed);
                            found = true;
                        }
                QVERIFY2(found, qPrintable(old.text));
            } else {
                fixtures::correctWord(blocks[b], k, at, fixed);
            }
            const QString out = path(QStringLiteral("office-line-%1-%2.pdf").arg(turn).arg(measured));
            QString refusal;
            QVERIFY(writeOver(over, blocks, out, &refusal));
            QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
            const TurnedBox line(old.originalRect, old.turn);
            const InkLine was = measureInk(before, size.height(), line);
            const InkLine is = measureInk(pdftools::renderPage(out, 0, kDpi), size.height(), line);
            QVERIFY(was.found && is.found);
            const QString where = old.text.left(30);
            QVERIFY2(std::abs(is.baseline - was.baseline) <= 1.0,
                     qPrintable(QStringLiteral("%1: baseline %2 -> %3").arg(where).arg(was.baseline).arg(is.baseline)));
            const double width = was.right - was.left;
            QVERIFY2(std::abs((is.right - is.left) - width) <= 0.02 * width,
                     qPrintable(QStringLiteral("%1: width %2 -> %3").arg(where).arg(width).arg(is.right - is.left)));
            ++measured;
        }
    QCOMPARE(measured, 3);
}

void TestScanEdits::correctedLineKeepsItsColumns_data()
{
    QTest::addColumn<QString>("word");       // recognised, then corrected
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<QStringList>("kept");   // words that keep their x
    QTest::newRow("chapter title after a wide gap corrected")
        << "положения" << "правила" << QStringList{QStringLiteral("1.")};
    QTest::newRow("chapter number before a wide gap corrected")
        << "1." << "3." << QStringList{QStringLiteral("Общие"), QStringLiteral("положения")};
    QTest::newRow("two columns, the first corrected")
        << "ввод" << "ответ" << QStringList{QStringLiteral("Действительный"), QStringLiteral("Переводимое")};
    QTest::newRow("two columns, the second corrected")
        << "значение" << "слово" << QStringList{QStringLiteral("Действительный"), QStringLiteral("Переводимое")};
    QTest::newRow("two columns, a word typed into the first")
        << "ввод" << "ввод ответа" << QStringList{QStringLiteral("Действительный"), QStringLiteral("Переводимое")};
}

// The sections page printed at 300 dpi and scanned straight, recognised, one
// word of a line corrected: where a gap much wider than a blank parts the
// line (a chapter number and its title, two columns at a tab), each column
// still starts where the page printed it, read back by pdftotext.
void TestScanEdits::correctedLineKeepsItsColumns()
{
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    QFETCH(QStringList, kept);
    const QString source = fixtures::realPdf(QStringLiteral("libreoffice-sections.pdf"));
    const QString scanFile = path(QStringLiteral("sections-scan.pdf"));
    QVERIFY(scanTurned(source, 0, scanFile));
    PdfDocument scanDoc;
    QVERIFY(scanDoc.open(scanFile));
    const QSizeF size = scanDoc.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    std::vector<TextBlock> blocks = m_engine.recognizePage(scanDoc.renderPage(0, zoom, 0), 0, zoom, size.height());
    bool found = false;
    QStringList read;
    for (TextBlock& block : blocks)
        for (size_t k = 0; k < block.lines.size() && !found; ++k) {
            const QStringList words = wordsOf(block.lines[k].text);
            read << block.lines[k].text;
            if (words.contains(word) && words.contains(kept.back())) {
                fixtures::correctWord(block, k, words.indexOf(word), corrected);
                found = true;
            }
        }
    QVERIFY2(found, qPrintable(read.join(QStringLiteral(" | "))));
    const QString out = path(QStringLiteral("sections-corrected.pdf"));
    QString refusal;
    QVERIFY(writeOver(scanFile, blocks, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));

    const auto leftOf = [](const QList<pdftools::WordBox>& boxes, const QString& text) {
        const auto at = std::find_if(boxes.begin(), boxes.end(), [&](const pdftools::WordBox& b) { return b.text == text; });
        return at == boxes.end() ? -1.0 : at->box.left();
    };
    const QList<pdftools::WordBox> printed = pdftools::wordBoxes(source, 0);
    const QList<pdftools::WordBox> written = pdftools::wordBoxes(out, 0);
    QVERIFY(leftOf(written, corrected.section(QLatin1Char(' '), 0, 0)) >= 0);
    for (const QString& w : kept) {
        const double was = leftOf(printed, w), is = leftOf(written, w);
        QVERIFY2(was >= 0 && std::abs(is - was) <= 1.0, qPrintable(QStringLiteral("%1: %2 -> %3").arg(w).arg(was).arg(is)));
    }
}

void TestScanEdits::correctedWordKeepsTheOtherWordsPixels_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<QString>("word");       // recognised, then corrected
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<bool>("reopened");  // the page saved with its layer and opened again, read from the layer
    QTest::newRow("straight, a longer word") << "0" << "указанных" << "изложенных" << false;
    QTest::newRow("0.5°, a shorter word") << "0.5" << "указанных" << "данных" << false;
    QTest::newRow("1.0°, a longer word") << "1.0" << "указанных" << "изложенных" << false;
    QTest::newRow("1.0°, a word typed after it") << "1.0" << "указанных" << "указанных выше" << false;
    QTest::newRow("1.5°, as long") << "1.5" << "трёх" << "двух" << false;
    // The sections page turned 1.0°: a table's row, its second column left where it stood.
    QTest::newRow("sections 1.0°, a table's first column") << "sections" << "ввод" << "ответ" << false;
    QTest::newRow("straight, saved and opened again") << "0" << "указанных" << "изложенных" << true;
    QTest::newRow("1.0°, saved and opened again") << "1.0" << "указанных" << "данных" << true;
}

// One word of a recognised scan line corrected: the line's other words keep
// the scan's own pixels (those after the word moved along the line, all by
// the same room), as pdftoppm and mupdf render them, and only the new text
// is drawn anew; every recognised word stays searchable, the new one too.
void TestScanEdits::correctedWordKeepsTheOtherWordsPixels()
{
    QFETCH(QString, turn);
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    QFETCH(bool, reopened);
    const bool sections = turn == QStringLiteral("sections");
    const QString scanned = sections ? fixtures::realPdf(QStringLiteral("sections-scan-turned-1.0.pdf")) : scan(turn);
    if (sections && !m_recognised.count(turn)) {
        PdfDocument page;
        QVERIFY(page.open(scanned));
        const QSizeF size = page.pageSize(0);
        const double zoom = pageOcrZoom(size.width(), 0);
        m_recognised[turn] = m_engine.recognizePage(page.renderPage(0, zoom, 0), 0, zoom, size.height());
    }
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    Found at = lineWith(recognised, word);
    for (int b = 0; sections && at.block < 0 && b < int(recognised.size()); ++b)
        for (int k = 0; k < int(recognised[size_t(b)].lines.size()); ++k)
            if (wordsOf(recognised[size_t(b)].lines[size_t(k)].text).contains(word))
                at = {b, k};
    QVERIFY2(at.block >= 0, "the line is not recognised");
    const TextBlock::Line old = recognised[size_t(at.block)].lines[size_t(at.line)];
    std::vector<TextBlock> blocks = recognised;
    correct(blocks[size_t(at.block)], at.line, word, corrected);
    const QString source = reopened ? savedLayer(turn) : scanned;
    QVERIFY(!source.isEmpty());
    std::vector<TextBlock> written = blocks;
    if (reopened) {
        // The window's road: the page's own layer as blocks, one per line.
        PdfDocument layer;
        QVERIFY(layer.open(source));
        written = cleanedNativeTextBlocks(layer.extractText(0), {});
        const auto line = std::find_if(written.begin(), written.end(), [&](const TextBlock& b) {
            return b.text.simplified() == old.text.simplified();
        });
        QVERIFY2(line != written.end(), qPrintable(old.text));
        fixtures::correctWord(*line, 0, wordsOf(line->lines.front().text).indexOf(word), corrected);
    }
    const QString out = path(QStringLiteral("pixels-%1-%2-%3.pdf").arg(turn, QString::number(qHash(corrected))).arg(reopened));
    QString refusal;
    QVERIFY(writeOver(source, written, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));

    // Every recognised word searchable once, the corrected ones in their place.
    QStringList expected;
    for (const TextBlock& b : blocks)
        for (const TextBlock::Line& l : b.lines)
            expected << wordsOf(l.text);
    const QMap<QString, int> want = wordCounts(expected), got = wordCounts(pdftools::words(out, 0));
    for (auto it = want.begin(); it != want.end(); ++it)
        QVERIFY2(got.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(it.key()).arg(got.value(it.key())).arg(it.value())));
    QVERIFY(pdftools::mupdfText(out, 0).contains(corrected));

    const QString problem = keptWordsProblem(scanned, out, old, word, !wordsOf(corrected).contains(word));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}
