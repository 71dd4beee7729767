#include "OcrBlocks.h"

#include "OcrText.h"
#include "StableSort.h"

#include <QImage>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

struct LongestRuns {
    std::vector<int> perRow;
    std::vector<int> perColumn;
};

// Longest run of dark pixels of every row and of every column, in one pass.
LongestRuns longestDarkRuns(const QImage &rgb)
{
    constexpr int kDarkSum = 2944;
    const int width = rgb.width();
    const int height = rgb.height();
    LongestRuns runs;
    runs.perRow.assign(size_t(height), 0);
    runs.perColumn.assign(size_t(width), 0);
    std::vector<int> columnRun(size_t(width), 0);
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        int rowRun = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb p = row[x];
            const bool dark = 11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p) < kDarkSum;
            rowRun = dark ? rowRun + 1 : 0;
            runs.perRow[size_t(y)] = std::max(runs.perRow[size_t(y)], rowRun);
            int &c = columnRun[size_t(x)];
            c = dark ? c + 1 : 0;
            runs.perColumn[size_t(x)] = std::max(runs.perColumn[size_t(x)], c);
        }
    }
    return runs;
}

// Rules counted with three lines skipped after each hit, so a thick rule counts once.
int countRules(const std::vector<int> &longestRuns, int threshold)
{
    constexpr int kSkipAfterRule = 3;
    int rules = 0;
    for (size_t i = 0; i < longestRuns.size();) {
        if (longestRuns[i] >= threshold) {
            ++rules;
            i += kSkipAfterRule;
        } else {
            ++i;
        }
    }
    return rules;
}

double lineTop(const TextBlock::Line &line, double pageHeight)
{
    return topFromPageTop(line.rect, pageHeight);
}

double bottomFromTop(const QRectF &r, double pageHeight)
{
    return pageHeight - r.y();
}

double xOverlap(const QRectF &a, const QRectF &b)
{
    return std::min(a.right(), b.right()) - std::max(a.x(), b.x());
}

void sortLinesTopDown(std::vector<TextBlock::Line> &lines, double pageHeight, double minTolerance,
                      double heightShare)
{
    vorn::safeStableSort(lines, [=](const TextBlock::Line &a, const TextBlock::Line &b) {
        const double ta = lineTop(a, pageHeight);
        const double tb = lineTop(b, pageHeight);
        const double tolerance = std::max(heightShare * std::min(a.rect.height(), b.rect.height()), minTolerance);
        if (std::abs(ta - tb) > tolerance)
            return ta < tb;
        return a.rect.x() < b.rect.x();
    });
}

bool fitsParagraphHorizontally(const TextBlock::Line &line, const TextBlock &block, double h)
{
    const QRectF &l = line.rect;
    const QRectF &b = block.rect;
    const double w = std::min(l.width(), b.width());
    const double overlapLimit = w <= 1.0 ? 0.28 : std::min(0.28 * w, 18.0);
    return xOverlap(l, b) > overlapLimit || std::abs(b.x() - l.x()) <= std::max(0.65 * h, 7.0)
           || std::abs(b.right() - l.right()) <= std::max(0.85 * h, 9.0);
}

// Gap from the block's bottom to the line's top, or false when out of reach.
bool paragraphGap(const TextBlock::Line &line, const TextBlock &block, double h, double pageHeight, double *gap)
{
    const double g = lineTop(line, pageHeight) - bottomFromTop(block.rect, pageHeight);
    if (g < -0.35 * h || g > std::max(1.45 * h, 10.0))
        return false;
    if (block.lines.size() > 1 && g > std::max(0.85 * h, 6.0))
        return false;
    *gap = g;
    return true;
}

void attachToParagraph(TextBlock &block, TextBlock::Line line)
{
    block.rect = block.rect.united(line.rect);
    block.originalRect = block.rect;
    block.lines.push_back(std::move(line));
    QStringList texts;
    float sizeSum = 0.0f;
    for (const TextBlock::Line &l : block.lines) {
        texts << l.text;
        sizeSum += l.fontSize;
    }
    block.text = texts.join(QLatin1Char('\n'));
    block.fontSize = sizeSum / float(std::max<size_t>(block.lines.size(), 1));
}

TextBlock paragraphFromLine(TextBlock::Line line, int pageIndex)
{
    TextBlock block;
    block.text = line.text;
    block.rect = block.originalRect = line.rect;
    block.pageIndex = pageIndex;
    block.fontSize = line.fontSize;
    block.lines.push_back(std::move(line));
    return block;
}

double horizontalCentre(const QRectF &r)
{
    return r.x() + r.width() / 2.0;
}

bool fitsColumnRun(const TextBlock &block, const TextBlock::Line &line, double pageWidth, double pageHeight,
                   double *score)
{
    const TextBlock::Line &last = block.lines.back();
    const QRectF &l = line.rect;
    const QRectF &b = block.rect;
    const double hL = std::max(l.height(), 1.0);
    const double hT = std::max(last.rect.height(), 1.0);
    const double top = lineTop(line, pageHeight);

    if (std::abs(top - lineTop(last, pageHeight)) < std::max(0.7 * std::min(hT, hL), 2.0))
        return false;
    const double gap = top - bottomFromTop(last.rect, pageHeight);
    if (gap < -0.25 * hL || gap > std::max(1.35 * hL, 7.0))
        return false;
    if (isNumberedClauseLine(block.lines.front(), pageWidth) || !canAttachTableColumnLine(line, pageWidth))
        return false;

    const double centreDistance = std::abs(horizontalCentre(b) - horizontalCentre(l));
    if (block.lines.size() == 1 && b.width() > 0.35 * pageWidth && centreDistance > 0.12 * b.width())
        return false;
    if (l.width() > 0.35 * pageWidth && l.width() > 1.45 * b.width() && centreDistance > 0.12 * l.width())
        return false;

    const double narrower = std::max(std::min(l.width(), b.width()), 1.0);
    const bool inColumn = xOverlap(l, b) / narrower > 0.38 || std::abs(b.x() - l.x()) <= std::max(0.95 * hL, 6.0)
                          || std::abs(b.right() - l.right()) <= std::max(1.05 * hL, 8.0)
                          || centreDistance <= std::max(0.38 * narrower, 18.0);
    if (!inColumn)
        return false;
    *score = std::abs(top - bottomFromTop(b, pageHeight));
    return true;
}

constexpr double kHeaderBand = 0.25;
constexpr double kHeaderColumnSplit = 0.43;
constexpr double kSameRowOverlap = 0.35;

// A is read before b: header columns, then rows, then the higher top.
bool readsBefore(const TextBlock &a, const TextBlock &b, double width, double height)
{
    const QRectF &ra = a.rect;
    const QRectF &rb = b.rect;
    const double topA = ra.y() + ra.height();
    const double topB = rb.y() + rb.height();
    const double band = kHeaderBand * height;
    if (height - topA < band && height - topB < band) {
        const double split = kHeaderColumnSplit * width;
        const bool aRight = ra.x() + ra.width() / 2 >= split;
        const bool bRight = rb.x() + rb.width() / 2 >= split;
        if (aRight != bRight)
            return !aRight;
    }
    const double h = std::min(ra.height(), rb.height());
    if (h > 0 && (std::min(topA, topB) - std::max(ra.y(), rb.y())) / h > kSameRowOverlap)
        return ra.x() < rb.x();
    return topA > topB;
}

} // namespace

std::vector<QRectF> verticalRules(const QImage &image, double scale, double pageHeight)
{
    constexpr double kMinRulePoints = 20.0;
    constexpr int kDarkSum = 4096; // 11:16:5 weighted grey below 128
    std::vector<QRectF> rules;
    if (image.isNull() || !(scale > 0))
        return rules;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int minRun = std::max(int(std::lround(kMinRulePoints * scale)), 8);
    std::vector<int> run(size_t(rgb.width()), 0);
    const auto close = [&](int x, int endRow) {
        if (run[size_t(x)] >= minRun) {
            const double top = (endRow - run[size_t(x)]) / scale;
            rules.emplace_back(x / scale, pageHeight - endRow / scale, 1.0 / scale, endRow / scale - top);
        }
        run[size_t(x)] = 0;
    };
    for (int y = 0, yEnd = rgb.height(); y < yEnd; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0, xEnd = rgb.width(); x < xEnd; ++x) {
            const QRgb p = row[x];
            if (11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p) < kDarkSum)
                ++run[size_t(x)];
            else if (run[size_t(x)] > 0)
                close(x, y);
        }
    }
    for (int x = 0, xEnd = rgb.width(); x < xEnd; ++x)
        close(x, rgb.height());
    return rules;
}

bool isLikelyTablePage(const QImage &image)
{
    constexpr int kMinSide = 80;
    if (image.isNull() || image.width() < kMinSide || image.height() < kMinSide)
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const LongestRuns runs = longestDarkRuns(rgb);
    const int horizontal = countRules(runs.perRow, std::max(int(std::lround(0.32 * rgb.width())), kMinSide));
    const int vertical = countRules(runs.perColumn, std::max(int(std::lround(0.08 * rgb.height())), kMinSide));
    return horizontal > 3 && vertical > 1;
}

std::vector<TextBlock> groupOcrLines(std::vector<TextBlock::Line> lines, int pageIndex, double pageHeight)
{
    std::vector<TextBlock> blocks;
    if (lines.empty())
        return blocks;
    sortLinesTopDown(lines, pageHeight, 3.0, 0.45);
    for (TextBlock::Line &line : lines) {
        const double h = std::max(line.rect.height(), 1.0);
        TextBlock *best = nullptr;
        double bestGap = 0.0;
        for (TextBlock &block : blocks) {
            double gap = 0.0;
            if (!fitsParagraphHorizontally(line, block, h) || !paragraphGap(line, block, h, pageHeight, &gap))
                continue;
            if (!best || std::abs(gap) < std::abs(bestGap)) {
                best = &block;
                bestGap = gap;
            }
        }
        if (best)
            attachToParagraph(*best, std::move(line));
        else
            blocks.push_back(paragraphFromLine(std::move(line), pageIndex));
    }
    vorn::safeStableSort(blocks, [pageHeight](const TextBlock &a, const TextBlock &b) {
        const double ta = topFromPageTop(a.rect, pageHeight);
        const double tb = topFromPageTop(b.rect, pageHeight);
        if (std::abs(ta - tb) > 8.0)
            return ta < tb;
        return a.rect.x() < b.rect.x();
    });
    return blocks;
}

bool isNumberedClauseLine(const TextBlock::Line &line, double pageWidth)
{
    constexpr double kWideShare = 0.42;
    constexpr int kMinLength = 8;
    const QString t = line.text.trimmed();
    return line.rect.width() > kWideShare * pageWidth && t.size() > kMinLength && t.at(0).isDigit()
           && t.at(1) == QLatin1Char('.');
}

bool canAttachTableColumnLine(const TextBlock::Line &line, double pageWidth)
{
    return !isNumberedClauseLine(line, pageWidth);
}

std::vector<TextBlock> groupTableColumnRuns(std::vector<TextBlock::Line> lines, int pageIndex, double pageWidth,
                                            double pageHeight)
{
    std::vector<TextBlock> blocks;
    if (lines.empty())
        return blocks;
    sortLinesTopDown(lines, pageHeight, 2.0, 0.45);
    for (TextBlock::Line &line : lines) {
        if (line.text.trimmed().isEmpty() || line.rect.width() <= 0 || line.rect.height() <= 0)
            continue;
        TextBlock *best = nullptr;
        double bestScore = 0.0;
        for (TextBlock &block : blocks) {
            double score = 0.0;
            if (block.lines.empty() || !fitsColumnRun(block, line, pageWidth, pageHeight, &score))
                continue;
            if (!best || score < bestScore) {
                best = &block;
                bestScore = score;
            }
        }
        if (best) {
            std::vector<TextBlock::Line> runLines = std::move(best->lines);
            runLines.push_back(std::move(line));
            *best = blockFromOcrLines(std::move(runLines), pageIndex, pageHeight);
        } else {
            std::vector<TextBlock::Line> single;
            single.push_back(std::move(line));
            blocks.push_back(blockFromOcrLines(std::move(single), pageIndex, pageHeight));
        }
    }
    return blocks;
}

TextBlock blockFromOcrLines(std::vector<TextBlock::Line> lines, int pageIndex, double pageHeight)
{
    sortLinesTopDown(lines, pageHeight, 2.0, 0.0);
    TextBlock block;
    block.pageIndex = pageIndex;
    block.lines = std::move(lines);
    rebuildBlockFromLines(block);
    if (const TextBlock::Line *style = representativeStyleLine(block))
        copyLineStyleToBlock(block, *style);
    return block;
}

void rebuildBlockFromLines(TextBlock &block)
{
    block.text = joinedTrimmedLineTexts(block.lines);
    QRectF bounds;
    for (const TextBlock::Line &line : block.lines) {
        if (!line.text.trimmed().isEmpty())
            bounds = bounds.isNull() ? line.rect : bounds.united(line.rect);
    }
    if (!block.text.isEmpty())
        block.rect = block.originalRect = bounds;
}

void sortReadingOrder(std::vector<TextBlock> &blocks, double pageWidth, double pageHeight)
{
    vorn::safeStableSort(blocks, [pageWidth, pageHeight](const TextBlock &a, const TextBlock &b) {
        return readsBefore(a, b, pageWidth, pageHeight);
    });
}
