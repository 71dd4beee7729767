#include "XlsxPageRenderer.h"

#include "XlsxNumberFormat.h"

#include "StableSort.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr double kPageMarginPx = 41.666666666666667; // 20 points at 150 dpi
constexpr int kDotsPerMeter = 5906;                   // 150 dpi
constexpr double kTextPadX = 2.0;
constexpr double kTextPadY = 1.0;
// Preview pixels are 96 dpi, page pixels 150: chart texts keep their size.
constexpr double kChartTextScale = 150.0 / 96.0;
const QColor kGridColor(210, 210, 210);

// The rows of each page of a sheet: breaks at or before the page start, or
// past the last row, make none.
QList<std::pair<int, int>> slicesOf(const XlsxISheetGrid& grid, const QList<int>& breaks)
{
    QList<std::pair<int, int>> slices;
    int start = grid.firstRow;
    for (int b : breaks) {
        if (start < b && b <= grid.lastRow) {
            slices.append({start, b - 1});
            start = b;
        }
    }
    slices.append({start, grid.lastRow});
    return slices;
}

// What of a text is drawn in a width: every character that starts inside
// it (the last one may be cut by the caller's clip, as a spreadsheet cuts
// it), from the start or, when right-aligned, from the end.
QString fitted(const QString& text, const QFontMetricsF& metrics, double width, bool fromEnd)
{
    // The search starts from a beginning twice as long each time, so a long
    // text costs what its shown part costs.
    qsizetype low = 0;
    qsizetype high = std::min<qsizetype>(64, text.size());
    while (high < text.size()) {
        const QString beginning = fromEnd ? text.right(high) : text.left(high);
        if (metrics.horizontalAdvance(beginning) >= width)
            break;
        low = high;
        high = std::min(2 * high, text.size());
    }
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        const QString before = fromEnd ? text.right(mid - 1) : text.left(mid - 1);
        if (metrics.horizontalAdvance(before) < width)
            low = mid;
        else
            high = mid - 1;
    }
    return fromEnd ? text.right(low) : text.left(low);
}

} // namespace

std::pair<qsizetype, qsizetype> iCharactersStartingIn(const QString& text, const QFontMetricsF& metrics, double startX,
                                                      double from, double to)
{
    // Prefix advances grow with the prefix: the first prefix reaching a place.
    const auto firstReaching = [&](double x) {
        qsizetype low = 0;
        qsizetype high = text.size();
        while (low < high) {
            const qsizetype mid = (low + high) / 2;
            if (startX + metrics.horizontalAdvance(text.left(mid)) >= x)
                high = mid;
            else
                low = mid + 1;
        }
        return low;
    };
    const qsizetype first = firstReaching(from);
    const qsizetype end = std::max(first, firstReaching(to));
    return {first, end - first};
}

namespace {

// The lines of a wrapped text that fit a box, at least the first.
QString fittedLines(const QString& text, const QFont& font, QPaintDevice* device, QSizeF box)
{
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double height = 0;
    int end = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(box.width());
        height += line.height();
        if (height > box.height() && end > 0)
            break;
        end = line.textStart() + line.textLength();
    }
    layout.endLayout();
    return text.left(end).trimmed();
}

// Spans on each line joined where they meet or overlap, as lines: across
// the page (vertical false: key is y) or down it (key is x).
void joinSpans(QMap<double, QList<std::pair<double, double>>>& spans, bool vertical, QList<QLineF>& lines)
{
    constexpr double kTouch = 0.01;
    for (auto it = spans.begin(); it != spans.end(); ++it) {
        QList<std::pair<double, double>>& list = *it;
        vorn::safeStableSort(list.begin(), list.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        const auto add = [&](double from, double to) {
            lines.append(vertical ? QLineF(it.key(), from, it.key(), to) : QLineF(from, it.key(), to, it.key()));
        };
        double from = list.first().first;
        double to = list.first().second;
        for (qsizetype i = 1; i < list.size(); ++i) {
            if (list.at(i).first <= to + kTouch) {
                to = std::max(to, list.at(i).second);
            } else {
                add(from, to);
                from = list.at(i).first;
                to = list.at(i).second;
            }
        }
        add(from, to);
    }
}

} // namespace

// One position of a page: a cell, a merged range or an empty place.
struct XlsxPageRenderer::Box {
    QRectF rect;
    const XlsxICell* cell = nullptr;
    XlsxICellFormat format;
    int row = 0;       // row number
    int colIndex = 0;  // first and last column index of the grid
    int lastColIndex = 0;
    QRectF textArea;   // where the text may be drawn: the box, or the empty neighbours it spills into
};

namespace {

// Only the cells' columns are fitted to the page's width: texts spilling
// past them are cut at the page's edge.
QList<int> autoBreaks(const XlsxISheetInfo& sheet, const XlsxISheetGrid& grid, const XlsxIStyles* styles, QSizeF paperPt,
                      bool landscape, bool fitWidth)
{
    QList<int> colX;
    QList<int> rowY;
    iPreviewEdges(*sheet.data, styles, grid, colX, rowY);
    const int cellColumns = iSheetGrid(sheet.data.get(), sheet.charts).lastCol - grid.firstCol + 1;
    const int width = fitWidth && !colX.isEmpty() ? colX.at(std::clamp(cellColumns, 0, int(colX.size()) - 1)) : 0;
    return iAutoBreaks(rowY, grid.firstRow, width, paperPt, landscape);
}

} // namespace

QList<int> iSheetAutoBreaks(const XlsxISheetInfo& sheet, const XlsxIStyles* styles, QSizeF paperPt, bool landscape,
                            bool fitWidth)
{
    if (!sheet.data)
        return {};
    return autoBreaks(sheet, iPrintedGrid(sheet.data.get(), sheet.charts, styles), styles, paperPt, landscape, fitWidth);
}

QList<int> iColumnStarts(const QList<double>& edges, double width)
{
    QList<int> starts;
    if (edges.size() < 2)
        return starts;
    starts.append(0);
    double acc = 0;
    for (int c = 0; c + 1 < edges.size(); ++c) {
        const double w = edges.at(c + 1) - edges.at(c);
        if (acc + w > width && acc > 0) {
            starts.append(c);
            acc = w;
        } else {
            acc += w;
        }
    }
    return starts;
}

QList<int> XlsxPageRenderer::columnBreaks(int sheet) const
{
    QList<int> columns;
    if (sheet < 0 || sheet >= int(m_sheets.size()))
        return columns;
    const Sheet& s = m_sheets.at(size_t(sheet));
    for (qsizetype i = 1; i < s.columnStarts.size(); ++i)
        columns.append(s.grid.firstCol + s.columnStarts.at(i));
    return columns;
}

XlsxPageRenderer::XlsxPageRenderer(const std::vector<XlsxISheetInfo>& sheets, std::shared_ptr<const XlsxIStyles> styles,
                                   const Options& options)
    : m_styles(std::move(styles))
{
    m_pageSizePt = options.landscape ? options.paperPt.transposed() : options.paperPt;
    if (!m_styles)
        return;
    const double cw = m_pageSizePt.width() * kDpi / 72 - 2 * kPageMarginPx;
    const double ch = m_pageSizePt.height() * kDpi / 72 - 2 * kPageMarginPx;
    for (size_t i = 0; i < sheets.size(); ++i) {
        Sheet sheet;
        sheet.info = sheets.at(i);
        sheet.grid = iPrintedGrid(sheet.info.data.get(), sheet.info.charts, m_styles.get());
        if (sheet.grid.empty || sheet.grid.tooLarge)
            continue;
        const auto given = options.breaks.constFind(int(i));
        const QList<int> breaks =
            given != options.breaks.cend()
                ? *given
                : autoBreaks(sheet.info, sheet.grid, m_styles.get(), options.paperPt, options.landscape,
                             options.fitWidth);
        layOut(sheet, breaks, options.fitWidth, cw, ch);
        m_sheets.push_back(std::move(sheet));
    }
}

// Edges of the sheet at 150 dpi and its pages: the cells' columns scaled to
// the page width when asked, else as many columns a page as fit, the others
// on further pages across; a page shrinks further when its rows are taller
// than the page. Pages go across, then down.
void XlsxPageRenderer::layOut(Sheet& sheet, const QList<int>& breaks, bool fitWidth, double contentWidth,
                              double contentHeight)
{
    const XlsxISheetData& data = *sheet.info.data;
    const XlsxISheetGrid& grid = sheet.grid;
    const double charPx = iCharWidthPx(m_styles.get(), kDpi);
    sheet.colEdge = {0};
    for (int c = grid.firstCol; c <= grid.lastCol; ++c) {
        const double width = data.hiddenCols.contains(c) ? 0.0 : std::max(8.0, iColumnWidthPx(data, c, charPx));
        sheet.colEdge.append(sheet.colEdge.last() + width);
    }
    sheet.rowEdge = {0};
    for (int r = grid.firstRow; r <= grid.lastRow; ++r) {
        const auto h = data.rowHeights.constFind(r);
        const double height = data.hiddenRows.contains(r)         ? 0.0
                              : h == data.rowHeights.cend() ? 31.25
                                                            : std::max(6.0, *h * 150 / 72);
        sheet.rowEdge.append(sheet.rowEdge.last() + height);
    }
    sheet.merges = XlsxIMergeIndex(data.merges, grid);
    // Texts spilling past the cells' columns are not fitted: they run on to the page's edge.
    const int cellColumns = iSheetGrid(sheet.info.data.get(), sheet.info.charts).lastCol - grid.firstCol + 1;
    const double tw = sheet.colEdge.at(std::clamp(cellColumns, 0, int(sheet.colEdge.size()) - 1));
    sheet.scale = fitWidth && tw > contentWidth ? contentWidth / tw : 1.0;
    sheet.columnStarts = {0};
    const int sheetIndex = int(m_sheets.size());
    for (const auto& [a, b] : slicesOf(grid, breaks)) {
        const int ai = a - grid.firstRow;
        const int bi = std::min(b - grid.firstRow, grid.rowCount() - 1);
        if (ai < 0 || ai > bi)
            continue;
        const double sh = sheet.rowEdge.at(bi + 1) - sheet.rowEdge.at(ai);
        if (sh <= 0)
            continue; // every row of the slice is hidden
        const double scale = sh * sheet.scale > contentHeight ? contentHeight / sh : sheet.scale;
        // A slice shrunk to the page's height holds more columns a page.
        const QList<int> starts = fitWidth ? QList<int>{0} : iColumnStarts(sheet.colEdge, contentWidth / scale);
        if (starts.size() > sheet.columnStarts.size())
            sheet.columnStarts = starts;
        for (qsizetype g = 0; g < starts.size(); ++g) {
            const double left = sheet.colEdge.at(starts.at(g));
            const double end = g + 1 < starts.size() ? sheet.colEdge.at(starts.at(g + 1)) : sheet.colEdge.last();
            const double right = fitWidth ? left + contentWidth / scale : std::min(end, left + contentWidth / scale);
            m_pages.push_back({sheetIndex, a, grid.firstRow + bi, scale, left, right, contentHeight + 2 * kPageMarginPx});
        }
    }
}

void XlsxPageRenderer::paintPage(QPainter& p, int pageIndex) const
{
    if (pageIndex < 0 || pageIndex >= pageCount())
        return;
    const Page& page = m_pages.at(size_t(pageIndex));
    const Sheet& sheet = m_sheets.at(size_t(page.sheet));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(kPageMarginPx, kPageMarginPx);
    p.scale(page.scale, page.scale);
    p.translate(-page.left, 0);
    // What lies past the page's columns is on another page, or cut; the
    // lines on its edges are drawn whole.
    constexpr double kEdgeLine = 1.0;
    p.setClipRect(QRectF(page.left - kEdgeLine, -kPageMarginPx / page.scale, page.right - page.left + 2 * kEdgeLine,
                         page.pageHeight / page.scale));
    const double yOffset = sheet.rowEdge.at(page.firstRow - sheet.grid.firstRow);
    paintCells(p, sheet, page, yOffset);
    paintCharts(p, sheet, page, yOffset);
    p.restore();
}

// Cells in layers, as a spreadsheet prints them: fills, then the grid (not
// where a text spills over), then texts, then borders.
void XlsxPageRenderer::paintCells(QPainter& p, const Sheet& sheet, const Page& page, double yOffset) const
{
    const XlsxISheetData& data = *sheet.info.data;
    const XlsxISheetGrid& grid = sheet.grid;
    const XlsxIStyles& styles = *m_styles;
    const int lastRowIdx = grid.rowCount() - 1;
    const int lastColIdx = grid.colCount() - 1;
    // A merge is drawn once, whole, on the page of its anchor.
    const XlsxIMergeWindow merges = sheet.merges.window(page.firstRow, page.lastRow, grid.firstCol, grid.lastCol);
    const auto cellAt = [&data](int row, int col) -> const XlsxICell* {
        const auto cells = data.cells.constFind(row);
        if (cells == data.cells.cend())
            return nullptr;
        const auto cell = cells->constFind(col);
        return cell == cells->cend() ? nullptr : &*cell;
    };
    const auto emptyPlace = [&](int row, int ci) {
        const int col = grid.firstCol + ci;
        const XlsxICell* cell = cellAt(row, col);
        return (!cell || cell->text.isEmpty()) && !merges.hidden(row, col) && merges.span(row, col) == QPoint(1, 1);
    };

    const auto onPage = [&page](const QRectF& r) { return r.right() > page.left && r.left() < page.right; };
    std::vector<Box> boxes;
    QSet<qint64> openEdges; // (row, column index) whose left grid line a spilled text covers
    for (int ri = page.firstRow - grid.firstRow; ri <= page.lastRow - grid.firstRow; ++ri) {
        const bool rowHidden = sheet.rowEdge.at(ri + 1) <= sheet.rowEdge.at(ri);
        if (rowHidden && data.merges.isEmpty())
            continue;
        const int row = grid.firstRow + ri;
        for (int ci = 0; ci <= lastColIdx; ++ci) {
            const int col = grid.firstCol + ci;
            if (merges.hidden(row, col))
                continue;
            const QPoint span = merges.span(row, col);
            const int re = std::min(ri + span.x() - 1, lastRowIdx);
            const int ce = std::min(ci + span.y() - 1, lastColIdx);
            // A merge whose first row or column is hidden shows across the rest of it.
            if (sheet.rowEdge.at(re + 1) <= sheet.rowEdge.at(ri) || sheet.colEdge.at(ce + 1) <= sheet.colEdge.at(ci))
                continue;
            Box box;
            box.rect = QRectF(sheet.colEdge.at(ci), sheet.rowEdge.at(ri) - yOffset,
                              sheet.colEdge.at(ce + 1) - sheet.colEdge.at(ci), sheet.rowEdge.at(re + 1) - sheet.rowEdge.at(ri));
            box.cell = cellAt(row, col);
            if (box.cell)
                box.format = iCellFormat(*box.cell, styles);
            box.row = row;
            box.colIndex = ci;
            box.lastColIndex = ce;
            box.textArea = box.rect;
            boxes.push_back(box);
        }
    }

    // Fills.
    for (const Box& box : boxes) {
        if (box.format.fill && box.format.fill->solid && onPage(box.rect))
            p.fillRect(box.rect, box.format.fill->color);
    }

    // Where texts spill: a text wider than its cell, neither a number nor
    // wrapped nor merged, runs on over empty neighbours in the direction of
    // its alignment, as far as it needs.
    QHash<int, QFont> fonts;
    const auto fontFor = [&fonts](const Box& box) {
        const int key = box.format.font && box.format.xf ? box.format.xf->fontId : -1;
        auto found = fonts.find(key);
        if (found == fonts.end())
            found = fonts.insert(key, iPageFont(box.format));
        return *found;
    };
    std::vector<QString> texts(boxes.size());
    std::vector<double> advances(boxes.size(), -1.0); // of single-line texts, once measured
    for (size_t i = 0; i < boxes.size(); ++i) {
        Box& box = boxes[i];
        if (!box.cell)
            continue;
        const bool wraps = box.format.xf && box.format.xf->wrapText;
        texts[i] = iShownText(*box.cell, &styles, wraps);
        if (texts[i].isEmpty() || box.cell->isNumber || wraps || box.lastColIndex != box.colIndex)
            continue;
        advances[i] = QFontMetricsF(fontFor(box), p.device()).horizontalAdvance(texts[i]);
        const double needed = advances[i] + 2 * kTextPadX;
        if (needed <= box.rect.width())
            continue;
        const int align = iPageHorizontal(*box.cell, box.format);
        const int ci = box.colIndex;
        const auto width = [&sheet](int a, int b) { return sheet.colEdge.at(b + 1) - sheet.colEdge.at(a); };
        const auto [left, right] = iSpillColumns(ci, lastColIdx, align, needed, width,
                                                 [&](int c) { return emptyPlace(box.row, c); });
        for (int c = left + 1; c <= right; ++c)
            openEdges.insert(qint64(box.row) << 20 | c);
        box.textArea = QRectF(sheet.colEdge.at(left), box.rect.y(), width(left, right), box.rect.height());
    }

    // The grid, in one stroke of as few lines as it takes: the edges cells
    // share are joined into lines across the page, which keeps a page of
    // thousands of cells small.
    QMap<double, QList<std::pair<double, double>>> across; // y -> x spans
    QMap<double, QList<std::pair<double, double>>> down;   // x -> y spans
    for (const Box& box : boxes) {
        if (box.format.border || !onPage(box.rect))
            continue;
        const QRectF& r = box.rect;
        across[r.top()].append({r.left(), r.right()});
        across[r.bottom()].append({r.left(), r.right()});
        if (!openEdges.contains(qint64(box.row) << 20 | box.colIndex))
            down[r.left()].append({r.top(), r.bottom()});
        if (!openEdges.contains(qint64(box.row) << 20 | (box.lastColIndex + 1)))
            down[r.right()].append({r.top(), r.bottom()});
    }
    QList<QLineF> lines;
    joinSpans(across, false, lines);
    joinSpans(down, true, lines);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGridColor, 0.5, Qt::SolidLine));
    p.drawLines(lines);

    // Texts. One that does not fit where it may be drawn is cut at the
    // edge, as a spreadsheet prints it: a number becomes "###", a text keeps
    // what fits, a wrapped text the lines that fit. What is cut is not
    // written at all, so the page's text is what it shows.
    // The painter is told of a font or colour only when it changes: each
    // change costs the page a few operators.
    int lastFont = -2;
    QColor lastColour;
    QHash<int, QFontMetricsF> pageMetrics; // by font, as fontFor keeps the fonts
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& box = boxes[i];
        if (texts[i].isEmpty() || !onPage(box.textArea))
            continue;
        const QFont font = fontFor(box);
        const int fontKey = box.format.font && box.format.xf ? box.format.xf->fontId : -1;
        if (fontKey != lastFont) {
            p.setFont(font);
            lastFont = fontKey;
        }
        const QColor colour = iTextColour(*box.cell, box.format, styles);
        if (colour != lastColour) {
            p.setPen(colour);
            lastColour = colour;
        }
        const bool wraps = box.format.xf && box.format.xf->wrapText;
        const int align = iPageHorizontal(*box.cell, box.format);
        // Texts are fitted here, so the painter need not clip each one.
        const int flags =
            align | Qt::AlignVCenter | Qt::TextDontClip | (wraps ? Qt::TextWordWrap : Qt::TextSingleLine);
        const QRectF area = box.textArea.adjusted(kTextPadX, kTextPadY, -kTextPadX, -kTextPadY);
        const QFontMetricsF metrics(font, p.device());
        QString text = texts[i];
        if (box.cell->isNumber && !wraps) {
            auto measures = pageMetrics.constFind(fontKey);
            if (measures == pageMetrics.cend())
                measures = pageMetrics.insert(fontKey, iPageMetrics(font));
            text = iPrintedNumber(*box.cell, styles, text, area.width(), &*measures);
            if (text.isEmpty())
                text = iHashesFilling(metrics, area.width());
        }
        if (!wraps && (box.textArea.left() < page.left || box.textArea.right() > page.right)) {
            // Across a page's edge: each page writes the characters that start on it.
            const double advance = advances[i] >= 0 ? advances[i] : metrics.horizontalAdvance(text);
            const bool cut = advance > area.width();
            const double startX = align == Qt::AlignRight            ? area.right() - advance
                                  : align == Qt::AlignHCenter && !cut ? area.center().x() - advance / 2
                                                                      : area.left();
            const auto [from, length] = iCharactersStartingIn(text, metrics, startX, std::max(area.left(), page.left),
                                                              std::min(area.right(), page.right));
            if (length <= 0)
                continue;
            p.save();
            p.setClipRect(box.textArea.intersected(QRectF(page.left, box.textArea.top(), page.right - page.left,
                                                          box.textArea.height())));
            const double x = startX + metrics.horizontalAdvance(text.left(from));
            p.drawText(QRectF(x, area.top(), 1e6, area.height()),
                       Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextSingleLine,
                       text.mid(from, length));
            p.restore();
            continue;
        }
        bool clip = false;
        bool overflows = false;
        const QString beginning =
            wraps ? iWrappedBeginning(text, font, p.device(), area.width(), area.height(), &overflows) : QString();
        if (overflows) {
            text = fittedLines(beginning, font, p.device(), area.size());
        } else if (!wraps && !box.cell->isNumber &&
                   (advances[i] >= 0 ? advances[i] : metrics.horizontalAdvance(text)) > area.width()) {
            text = fitted(text, metrics, area.width(), align == Qt::AlignRight);
            clip = true;
        }
        if (clip) {
            p.save();
            p.setClipRect(box.textArea);
        }
        // A cut text keeps its start (or its end, right-aligned) at its place.
        const int placed = clip ? (flags & ~Qt::AlignHCenter) | (align == Qt::AlignRight ? 0 : Qt::AlignLeft) : flags;
        p.drawText(area, placed, text);
        if (clip)
            p.restore();
    }

    // Borders.
    for (const Box& box : boxes) {
        if (!box.format.border || !onPage(box.rect))
            continue;
        const double x = box.rect.x(), y = box.rect.y(), w = box.rect.width(), h = box.rect.height();
        iDrawPageSide(p, box.format.border->left, QPointF(x, y), QPointF(x, y + h));
        iDrawPageSide(p, box.format.border->right, QPointF(x + w, y), QPointF(x + w, y + h));
        iDrawPageSide(p, box.format.border->top, QPointF(x, y), QPointF(x + w, y));
        iDrawPageSide(p, box.format.border->bottom, QPointF(x, y + h), QPointF(x + w, y + h));
    }
}

// Charts on every page they reach into.
void XlsxPageRenderer::paintCharts(QPainter& p, const Sheet& sheet, const Page& page, double yOffset) const
{
    const XlsxISheetGrid& grid = sheet.grid;
    const int lastRowIdx = grid.rowCount() - 1;
    const int lastColIdx = grid.colCount() - 1;
    const int ai = page.firstRow - grid.firstRow;
    const int bi = page.lastRow - grid.firstRow;
    const double tw = sheet.colEdge.last();
    for (const XlsxIChart& chart : sheet.info.charts) {
        const int r0 = iChartTopRow(chart) - grid.firstRow;
        const int c0 = chart.fromCol - grid.firstCol;
        if (r0 < 0 || c0 < 0)
            continue;
        const int top = std::max(r0, ai);
        const int r1 = std::min(iChartBottomRow(chart) - grid.firstRow, lastRowIdx);
        const int c1 = chart.toCol - grid.firstCol;
        if (r1 < 0 || c1 < 0 || top > lastRowIdx || top > r1 || r0 > bi)
            continue;
        const double x0 = c0 <= lastColIdx ? sheet.colEdge.at(c0) : tw;
        const double x1 = c1 + 1 <= lastColIdx + 1 ? sheet.colEdge.at(c1 + 1) : tw;
        const QRectF box(x0, sheet.rowEdge.at(top) - yOffset, x1 - x0, sheet.rowEdge.at(r1 + 1) - sheet.rowEdge.at(top));
        if (box.width() > 0 && box.height() > 0 && box.right() > page.left && box.left() < page.right)
            iDrawChart(p, box, chart, kChartTextScale);
    }
}

QImage XlsxPageRenderer::pageImage(int page) const
{
    QImage image(int(m_pageSizePt.width() * kDpi / 72), int(m_pageSizePt.height() * kDpi / 72),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.fill(Qt::white);
    QPainter p(&image);
    paintPage(p, page);
    p.end();
    return image;
}

bool XlsxPageRenderer::writePdf(const QString& path, const Report& report, QString* error) const
{
    const auto fail = [&](const QString& why) {
        QFile::remove(path);
        if (error)
            *error = why;
        return false;
    };
    if (m_pages.empty())
        return fail(QStringLiteral("В книге нет данных для импорта."));
    bool stopped = false;
    {
        QPdfWriter writer(path);
        writer.setResolution(int(kDpi));
        writer.setPageSize(QPageSize(m_pageSizePt, QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p;
        if (!p.begin(&writer))
            return fail(QStringLiteral("Не удалось записать страницы книги."));
        for (int i = 0; i < pageCount(); ++i) {
            if (report && !report(i, pageCount())) {
                stopped = true;
                break;
            }
            if (i > 0)
                writer.newPage();
            paintPage(p, i);
        }
        p.end();
    }
    if (stopped)
        return fail(QString());
    if (report)
        report(pageCount(), pageCount());
    if (QFile(path).size() <= 0)
        return fail(QStringLiteral("Не удалось записать страницы книги."));
    return true;
}
