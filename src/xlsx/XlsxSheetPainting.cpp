#include "XlsxSheetPainting.h"

#include "XlsxNumberFormat.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor kChartPalette[8] = {
    QColor(66, 114, 196), QColor(237, 125, 49), QColor(169, 209, 142), QColor(255, 192, 0),
    QColor(91, 155, 213), QColor(112, 173, 71), QColor(153, 51, 102),  QColor(51, 102, 255),
};

QColor paletteColor(qsizetype i)
{
    return kChartPalette[i % 8];
}

// Bars grow from the range minimum; each category holds one bar per series
// and one empty slot.
void iDrawBarChart(QPainter& p, QRectF plot, const QList<XlsxIChartSeries>& series, bool horizontal)
{
    const qsizetype nSeries = series.size();
    const qsizetype nCats = nSeries > 0 ? series.first().values.size() : 0;
    if (nSeries == 0 || nCats == 0)
        return;
    double min = 0;
    double max = 0;
    for (const XlsxIChartSeries& s : series) {
        for (double v : s.values) {
            min = std::min(min, v);
            max = std::max(max, v);
        }
    }
    const double range = max == min ? 1.0 : max - min;
    const double band = (horizontal ? plot.height() : plot.width()) / double(nCats * (nSeries + 1) + 1);
    p.setPen(Qt::NoPen);
    for (qsizetype s = 0; s < nSeries; ++s) {
        p.setBrush(paletteColor(s));
        const QList<double>& values = series.at(s).values;
        for (qsizetype j = 0; j < values.size(); ++j) {
            const double k = double(s + j * (nSeries + 1));
            const double frac = (values.at(j) - min) / range;
            if (horizontal)
                p.drawRect(QRectF(plot.x(), plot.y() + band * (k + 1), frac * plot.width(), band));
            else
                p.drawRect(QRectF(plot.x() + band * (k + 1), plot.bottom() - frac * plot.height(), band,
                                  frac * plot.height()));
        }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(100, 100, 100), 1, Qt::SolidLine));
    if (horizontal) {
        const double z = plot.x() - min / range * plot.width();
        p.drawLine(QPointF(z, plot.y()), QPointF(z, plot.y() + plot.height()));
    } else {
        const double z = plot.bottom() + min / range * plot.height();
        p.drawLine(QPointF(plot.x(), z), QPointF(plot.x() + plot.width(), z));
    }
}

constexpr double kMarkerPx = 6.0;

// A line of a few points a pixel column, as the pen would stroke it: the
// points of a column and the step into it from the column before make one
// upright run, filled with the pen's width up to the next run. Each run is a
// rectangle of its own: filled as one band or stroked as one path, a line
// swinging across the plot puts every one of its edges on every scan line,
// which costs seconds.
void drawDenseLine(QPainter& p, const QPolygonF& points, double pixelsPerUnit, const QColor& colour)
{
    const double columnWidth = 1.0 / pixelsPerUnit;
    const double half = p.pen().widthF() / 2;
    QList<QRectF> runs;
    runs.reserve(points.size());
    for (qsizetype k = 0; k < points.size();) {
        qsizetype end = k + 1;
        double top = points.at(k).y(), bottom = top;
        if (k > 0) {
            top = std::min(top, points.at(k - 1).y());
            bottom = std::max(bottom, points.at(k - 1).y());
        }
        while (end < points.size() && points.at(end).x() - points.at(k).x() < columnWidth) {
            top = std::min(top, points.at(end).y());
            bottom = std::max(bottom, points.at(end).y());
            ++end;
        }
        const double x = points.at(k).x();
        const double next = end < points.size() ? points.at(end).x() : x;
        // Runs of the same height side by side are one rectangle.
        if (!runs.isEmpty() && runs.last().top() == top - half && runs.last().bottom() == bottom + half)
            runs.last().setRight(next + half);
        else
            runs.append(QRectF(QPointF(x - half, top - half), QPointF(next + half, bottom + half)));
        k = end;
    }
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    // Without antialiasing whole pixels are what shows anyway, and the
    // painter fills those fastest.
    const QTransform t = p.combinedTransform();
    if (!p.testRenderHint(QPainter::Antialiasing) && t.type() <= QTransform::TxScale) {
        QList<QRect> pixels;
        pixels.reserve(runs.size());
        for (const QRectF& r : std::as_const(runs))
            pixels.append(t.mapRect(r).toAlignedRect());
        p.resetTransform();
        p.drawRects(pixels);
    } else {
        p.drawRects(runs);
    }
    p.restore();
}

// A line whose points stand apart, segment by segment for the same reason;
// square caps close the corners where segments meet.
void drawSparseLine(QPainter& p, const QPolygonF& points, const QColor& colour)
{
    if (points.size() == 1) {
        p.drawPoint(points.first());
        return;
    }
    QList<QLineF> segments;
    segments.reserve(points.size());
    for (qsizetype k = 1; k < points.size(); ++k)
        segments.append(QLineF(points.at(k - 1), points.at(k)));
    p.save();
    p.setPen(QPen(colour, p.pen().widthF(), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawLines(segments);
    p.restore();
}

void drawLines(QPainter& p, const QRectF& plot, const QList<XlsxIChartSeries>& series)
{
    if (series.isEmpty())
        return;
    const QTransform& t = p.deviceTransform();
    const double pixelsPerUnit = std::max(std::hypot(t.m11(), t.m12()), 1e-6);
    double min = 0;
    double max = 0;
    for (const XlsxIChartSeries& s : series) {
        for (double v : s.values) {
            min = std::min(min, v);
            max = std::max(max, v);
        }
    }
    if (max == min)
        max = min + 1;
    p.setBrush(Qt::NoBrush);
    for (qsizetype i = 0; i < series.size(); ++i) {
        const QList<double>& values = series.at(i).values;
        if (values.isEmpty())
            continue;
        p.setPen(QPen(paletteColor(i), 2, Qt::SolidLine));
        const qsizetype n = values.size();
        const double step = plot.width() / double(std::max<qsizetype>(1, n - 1));
        const auto pointAt = [&](qsizetype j) {
            return QPointF(plot.x() + double(j) * step, plot.bottom() - (values.at(j) - min) * plot.height() / (max - min));
        };
        const QList<qsizetype> drawn = iLinePointsDrawn(values, plot.width() * pixelsPerUnit);
        QPolygonF points;
        points.reserve(drawn.size());
        for (qsizetype j : drawn)
            points << pointAt(j);
        // Points closer than the pen is wide draw the same as upright runs, and faster.
        if (iLineIsDense(n, plot.width() * pixelsPerUnit) || step * pixelsPerUnit < p.pen().widthF())
            drawDenseLine(p, points, pixelsPerUnit, paletteColor(i));
        else
            drawSparseLine(p, points, paletteColor(i));
        // Markers only where neighbours stand apart: overlapping ones would be a smear.
        if (step * pixelsPerUnit >= kMarkerPx) {
            for (const QPointF& pt : points)
                p.drawEllipse(QRectF(pt.x() - 3, pt.y() - 3, 6, 6));
        }
    }
}

void drawPie(QPainter& p, const QRectF& plot, const QList<XlsxIChartSeries>& series)
{
    if (series.isEmpty() || series.first().values.isEmpty())
        return;
    const QList<double>& values = series.first().values;
    double total = 0;
    for (double v : values)
        total += std::abs(v);
    if (total == 0)
        return;
    const QRect box = QRectF(plot.x() + plot.width() * 0.1, plot.y() + plot.height() * 0.1, plot.width() * 0.8,
                             plot.height() * 0.8)
                          .toRect();
    int start = 1440;
    p.setPen(QPen(Qt::white, 1));
    for (qsizetype j = 0; j < values.size(); ++j) {
        const int span = int(std::lround(values.at(j) / total * 360.0 * 16.0));
        p.setBrush(paletteColor(j));
        p.drawPie(box, start, span);
        start += span;
    }
    p.setBrush(Qt::NoBrush);
}

} // namespace

XlsxICellFormat iCellFormat(const XlsxICell& cell, const XlsxIStyles& styles)
{
    XlsxICellFormat f;
    // A cell is drawn in its format's font, the first one being the
    // workbook's default (LibreOffice's is 10 points): column widths count
    // digits of that font. applyFont only says whether a cell style's font
    // was overridden.
    if (!styles.fonts.isEmpty())
        f.font = &styles.fonts.first();
    if (cell.style < 0 || cell.style >= styles.cellXfs.size())
        return f;
    f.xf = &styles.cellXfs.at(cell.style);
    const XlsxIXf& xf = *f.xf;
    if (xf.fontId >= 0 && xf.fontId < styles.fonts.size())
        f.font = &styles.fonts.at(xf.fontId);
    if ((xf.applyFill || xf.fillId > 1) && xf.fillId >= 0 && xf.fillId < styles.fills.size())
        f.fill = &styles.fills.at(xf.fillId);
    if ((xf.applyBorder || xf.borderId > 0) && xf.borderId >= 0 && xf.borderId < styles.borders.size())
        f.border = &styles.borders.at(xf.borderId);
    return f;
}

XlsxISheetGrid iSheetGrid(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts)
{
    XlsxISheetGrid g;
    if (!sheet || sheet->cells.isEmpty())
        return g;
    g.empty = false;
    g.firstRow = sheet->cells.firstKey();
    g.lastRow = sheet->cells.lastKey();
    bool anyColumn = false;
    for (auto row = sheet->cells.cbegin(); row != sheet->cells.cend(); ++row) {
        if (row->isEmpty())
            continue;
        g.firstCol = anyColumn ? std::min(g.firstCol, row->firstKey()) : row->firstKey();
        g.lastCol = anyColumn ? std::max(g.lastCol, row->lastKey()) : row->lastKey();
        anyColumn = true;
    }
    if (!anyColumn) {
        g.firstCol = 0;
        g.lastCol = 0;
    }
    for (const XlsxIChart& chart : charts) {
        if (chart.fromRow < 0 || chart.fromCol < 0 || chart.toRow < chart.fromRow || chart.toCol < chart.fromCol)
            continue;
        g.firstRow = std::min(g.firstRow, iChartTopRow(chart));
        g.lastRow = std::max(g.lastRow, iChartBottomRow(chart));
        g.firstCol = std::min(g.firstCol, chart.fromCol);
        g.lastCol = std::max(g.lastCol, chart.toCol);
    }
    g.tooLarge = qint64(g.rowCount()) * qint64(g.colCount()) > kMaxSheetPositions;
    return g;
}

XlsxIMergeWindow::XlsxIMergeWindow(const QList<XlsxIMerge>& merges, int row0, int row1, int col0, int col1)
{
    for (const XlsxIMerge& m : merges)
        add(m, row0, row1, col0, col1);
}

XlsxIMergeWindow::XlsxIMergeWindow(const QList<const XlsxIMerge*>& merges, int row0, int row1, int col0, int col1)
{
    for (const XlsxIMerge* m : merges)
        add(*m, row0, row1, col0, col1);
}

void XlsxIMergeWindow::add(const XlsxIMerge& m, int row0, int row1, int col0, int col1)
{
    if (m.lastRow < m.firstRow || m.lastCol < m.firstCol)
        return;
    const int r0 = std::max(m.firstRow, row0);
    const int r1 = std::min(m.lastRow, row1);
    const int c0 = std::max(m.firstCol, col0);
    const int c1 = std::min(m.lastCol, col1);
    if (r0 > r1 || c0 > c1)
        return;
    const bool anchorInside = m.firstRow >= row0 && m.firstCol >= col0;
    if (anchorInside)
        m_spans.insert(key(m.firstRow, m.firstCol), QPoint(m.lastRow - m.firstRow + 1, m.lastCol - m.firstCol + 1));
    else
        m_outside.append(m);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c)
            if (r != m.firstRow || c != m.firstCol)
                m_hidden.insert(key(r, c));
}

XlsxIMergeIndex::XlsxIMergeIndex(const QList<XlsxIMerge>& merges, const XlsxISheetGrid& grid)
    : m_firstRow(grid.firstRow)
{
    if (grid.empty)
        return;
    for (const XlsxIMerge& m : merges) {
        const int r0 = std::max(m.firstRow, grid.firstRow);
        const int r1 = std::min(m.lastRow, grid.lastRow);
        if (r0 > r1 || m.lastCol < grid.firstCol || m.firstCol > grid.lastCol)
            continue;
        const int index = int(m_merges.size());
        m_merges.append(m);
        for (int band = (r0 - m_firstRow) / kBandRows; band <= (r1 - m_firstRow) / kBandRows; ++band)
            m_bands[band].append(index);
    }
}

XlsxIMergeWindow XlsxIMergeIndex::window(int row0, int row1, int col0, int col1) const
{
    QList<const XlsxIMerge*> near;
    const int first = std::max(0, row0 - m_firstRow) / kBandRows;
    const int last = std::max(0, row1 - m_firstRow) / kBandRows;
    for (int band = first; band <= last; ++band) {
        const auto found = m_bands.constFind(band);
        if (found == m_bands.cend())
            continue;
        for (int index : *found) {
            const XlsxIMerge& m = m_merges.at(index);
            // A merge in several bands is taken in the first band it shares with the window.
            const int own = std::max(0, std::max(m.firstRow, row0) - m_firstRow) / kBandRows;
            if (own == band && m.lastRow >= row0 && m.firstRow <= row1 && m.lastCol >= col0 && m.firstCol <= col1)
                near.append(&m);
        }
    }
    return XlsxIMergeWindow(near, row0, row1, col0, col1);
}

double iCharWidthPx(const XlsxIStyles* styles, double dpi)
{
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    device.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    QFont font;
    font.setPointSizeF(styles && !styles->fonts.isEmpty() ? std::max(styles->fonts.first().size, 2.0) : 11.0);
    const QFontMetricsF metrics(font, &device);
    double widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    return widest;
}

double iColumnWidthPx(const XlsxISheetData& sheet, int col, double charPx)
{
    constexpr double kDefaultDigits = 8.43;
    if (sheet.hiddenCols.contains(col))
        return 0.0;
    return sheet.colWidths.value(col, kDefaultDigits) * charPx;
}

void iPreviewEdges(const XlsxISheetData& sheet, const XlsxIStyles* styles, const XlsxISheetGrid& grid, QList<int>& colX,
                   QList<int>& rowY)
{
    colX.clear();
    rowY.clear();
    if (grid.empty || grid.tooLarge)
        return;
    const double charPx = iCharWidthPx(styles, 96);
    int x = 0;
    colX.reserve(grid.colCount() + 1);
    for (int c = grid.firstCol; c <= grid.lastCol; ++c) {
        colX.append(x);
        if (!sheet.hiddenCols.contains(c))
            x += std::max(20, int(iColumnWidthPx(sheet, c, charPx)));
    }
    colX.append(x);
    int y = 0;
    rowY.reserve(grid.rowCount() + 1);
    for (int r = grid.firstRow; r <= grid.lastRow; ++r) {
        rowY.append(y);
        if (sheet.hiddenRows.contains(r))
            continue;
        const auto h = sheet.rowHeights.constFind(r);
        y += h == sheet.rowHeights.cend() ? 20 : std::max(12, int(*h * 96 / 72));
    }
    rowY.append(y);
}

QList<int> iAutoBreaks(const QList<int>& rowY, int firstRow, int totalWidth, QSizeF paperPt, bool landscape,
                       const QList<int>& manual)
{
    constexpr double kMarginPx = 53.333333333333336; // 20 points on each side at 96 dpi
    QList<int> breaks;
    if (rowY.isEmpty())
        return breaks;
    double pw = paperPt.width() * 96 / 72;
    double ph = paperPt.height() * 96 / 72;
    if (landscape)
        std::swap(pw, ph);
    const double aw = pw - kMarginPx;
    double bh = ph - kMarginPx;
    if (totalWidth > aw)
        bh = bh / (aw / totalWidth);
    const QSet<int> fixed(manual.cbegin(), manual.cend());
    double acc = 0;
    for (int k = 0; k + 1 < rowY.size(); ++k) {
        const int h = rowY.at(k + 1) - rowY.at(k);
        const int row = firstRow + k;
        const bool last = k + 2 == rowY.size(); // only a manual break starts a page there
        if (k > 0 && (fixed.contains(row) || (!last && acc + h > bh && acc > 0))) {
            breaks.append(row);
            acc = h;
        } else {
            acc += h;
        }
    }
    return breaks;
}

QString iWrappedBeginning(const QString& text, const QFont& font, QPaintDevice* device, double width, double height,
                          bool* overflows, double* textHeight, qint64* laidOut)
{
    constexpr qsizetype kFirstBeginning = 256;
    const QFontMetricsF metrics(font, device);
    const QRectF box(0, 0, std::max(width, 1.0), 1e9);
    for (qsizetype length = kFirstBeginning;; length *= 2) {
        const QString beginning = length < text.size() ? text.left(length) : text;
        const double taken = metrics.boundingRect(box, Qt::TextWordWrap, beginning).height();
        if (laidOut)
            *laidOut += beginning.size();
        *overflows = taken > height;
        if (*overflows || beginning.size() == text.size()) {
            if (textHeight)
                *textHeight = taken;
            return beginning;
        }
    }
}

void iFitRowHeights(XlsxISheetData& sheet, const XlsxIStyles& styles)
{
    constexpr double kDefaultRowPt = 15.0;
    constexpr double kLineGapPt = 2.0;   // padding above and below the text
    constexpr double kLineFactor = 1.36; // a line of one font size, with its leading
    constexpr double kMaxRowPt = 409.0;
    // Characters laid out to measure a sheet's wrapped texts; past them a text
    // is counted in average characters, so a book of long texts opens in
    // bounded time.
    constexpr qint64 kLaidOutChars = 2'000'000;
    // Measured as the pages draw: at 150 dpi, in the page's column widths.
    const double charPx = iCharWidthPx(&styles, kPageDpi);
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(5906);
    device.setDotsPerMeterY(5906);
    QSet<qint64> merged;
    for (const XlsxIMerge& m : sheet.merges) {
        if (qint64(m.lastRow - m.firstRow + 1) * (m.lastCol - m.firstCol + 1) <= 4096) {
            for (int r = m.firstRow; r <= m.lastRow; ++r)
                for (int c = m.firstCol; c <= m.lastCol; ++c)
                    merged.insert(qint64(r) << 20 | c);
        }
    }
    QHash<int, QFont> fonts;
    qint64 laidOut = 0;
    for (auto row = sheet.cells.cbegin(); row != sheet.cells.cend(); ++row) {
        // A height the writing program fitted to its fonts grows where a
        // wrapped text needs more in ours, and is kept otherwise.
        const bool fitted = sheet.fittedRows.contains(row.key());
        if ((sheet.rowHeights.contains(row.key()) && !fitted) || sheet.hiddenRows.contains(row.key()))
            continue;
        double needed = fitted ? sheet.rowHeights.value(row.key()) : 0;
        for (auto cell = row->cbegin(); cell != row->cend(); ++cell) {
            if (cell->text.isEmpty() || merged.contains(qint64(row.key()) << 20 | cell.key()))
                continue;
            const XlsxICellFormat f = iCellFormat(*cell, styles);
            const double size = f.font ? std::max(f.font->size, 2.0) : 11.0;
            if (!(f.xf && f.xf->wrapText)) {
                if (!fitted)
                    needed = std::max(needed, size * kLineFactor);
                continue;
            }
            const int fontKey = f.font && f.xf ? f.xf->fontId : -1;
            if (!fonts.contains(fontKey)) {
                QFont font;
                font.setPointSizeF(size);
                if (f.font) {
                    font.setBold(f.font->bold);
                    font.setItalic(f.font->italic);
                }
                fonts.insert(fontKey, font);
            }
            const double widthPx = std::max(std::max(8.0, iColumnWidthPx(sheet, cell.key(), charPx)) - 4, 1.0);
            const QString text = iShownText(*cell, &styles, true);
            const double capPx = kMaxRowPt * kPageDpi / 72;
            double heightPx = capPx + 1;
            if (laidOut < kLaidOutChars) {
                bool overflows = false;
                iWrappedBeginning(text, fonts.value(fontKey), &device, widthPx, capPx, &overflows, &heightPx, &laidOut);
            } else {
                const QFontMetricsF metrics(fonts.value(fontKey), &device);
                const double lines = std::ceil(double(text.size()) * metrics.averageCharWidth() / widthPx);
                heightPx = std::max(lines, 1.0) * metrics.lineSpacing();
            }
            needed = std::max(needed, heightPx * 72 / kPageDpi + kLineGapPt);
        }
        const double before = fitted ? sheet.rowHeights.value(row.key()) : kDefaultRowPt;
        if (needed > before)
            sheet.rowHeights.insert(row.key(), std::min(needed, kMaxRowPt));
    }
}

std::pair<int, int> iSpillColumns(int ci, int lastCol, int align, double needed,
                                  const std::function<double(int, int)>& width, const std::function<bool(int)>& empty)
{
    int left = ci;
    int right = ci;
    while (width(left, right) < needed) {
        const bool growRight = align != Qt::AlignRight && right < lastCol && empty(right + 1);
        const bool growLeft = align != Qt::AlignLeft && left > 0 && empty(left - 1);
        if (!growRight && !growLeft)
            break;
        if (growRight && (align != Qt::AlignHCenter || right - ci <= ci - left || !growLeft))
            ++right;
        else
            --left;
    }
    return {left, right};
}

void iDrawPageSide(QPainter& p, const XlsxIBorderSide& side, QPointF a, QPointF b)
{
    if (!side.present)
        return;
    const double width = side.style == QLatin1String("medium") ? 2.0 : side.style == QLatin1String("thick") ? 3.0 : 1.0;
    p.setPen(QPen(side.color, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const QLineF line(a, b);
    p.drawLines(&line, 1);
}

QFont iPageFont(const XlsxICellFormat& f)
{
    QFont font;
    font.setPointSizeF(f.font ? std::max(f.font->size, 2.0) : 11.0);
    if (f.font) {
        font.setWeight(f.font->bold ? QFont::Bold : QFont::Normal);
        font.setItalic(f.font->italic);
        font.setUnderline(f.font->underline);
    }
    return font;
}

int iPageHorizontal(const XlsxICell& cell, const XlsxICellFormat& f)
{
    int flags = Qt::AlignLeft;
    if (f.xf) {
        if (f.xf->horizontal == QLatin1String("center"))
            flags = Qt::AlignHCenter;
        else if (f.xf->horizontal == QLatin1String("right"))
            flags = Qt::AlignRight;
        // "general" is what LibreOffice writes for no alignment.
        if (cell.isNumber && (f.xf->horizontal.isEmpty() || f.xf->horizontal == QLatin1String("general")))
            flags = Qt::AlignRight;
    }
    return flags;
}

QColor iTextColour(const XlsxICell& cell, const XlsxICellFormat& f, const XlsxIStyles& styles)
{
    const QColor colour = iDisplayColour(cell, &styles);
    if (colour.isValid())
        return colour;
    return f.font && f.font->hasColor ? f.font->color : QColor(Qt::black);
}

QString iShortenedGeneral(double value, const std::function<bool(const QString&)>& fits)
{
    if (!std::isfinite(value))
        return QString();
    const auto trimmed = [](QString digits) {
        if (digits.contains(u'.')) {
            while (digits.endsWith(u'0'))
                digits.chop(1);
            if (digits.endsWith(u'.'))
                digits.chop(1);
        }
        return digits;
    };
    const double magnitude = value == 0 ? 0 : std::floor(std::log10(std::abs(value)));
    // Fewer decimals while the whole part and a significant digit still show.
    constexpr int kGeneralDigits = 11;
    if (magnitude < kGeneralDigits && magnitude > -5 && value != std::trunc(value)) {
        for (int decimals = 9; decimals >= 0; --decimals) {
            const QString text = trimmed(QString::number(value, 'f', decimals));
            if (text.count(u'0') + text.count(u'.') + text.count(u'-') == text.size())
                break;
            if (fits(text))
                return text;
        }
    }
    // Then a shorter mantissa: 123456789012 becomes 1.235E+11.
    for (int decimals = 5; decimals >= 0; --decimals) {
        const QString e = QString::number(value, 'E', decimals);
        const qsizetype at = e.indexOf(u'E');
        const QString text = trimmed(e.left(at)) + e.mid(at);
        if (fits(text))
            return text;
    }
    return QString();
}

QFontMetricsF iPageMetrics(const QFont& font)
{
    // One device for every measure, so the preview decides as the pages do.
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(5906);
        image.setDotsPerMeterY(5906);
        return image;
    }();
    return QFontMetricsF(font, &device);
}

QString iPrintedNumber(const XlsxICell& cell, const XlsxIStyles& styles, const QString& text, double width,
                       const QFontMetricsF* pageMetrics)
{
    const QFontMetricsF metrics = pageMetrics ? *pageMetrics : iPageMetrics(iPageFont(iCellFormat(cell, styles)));
    const auto fits = [&](const QString& t) { return metrics.horizontalAdvance(t) <= width; };
    if (fits(text))
        return text;
    return iIsGeneral(cell, &styles) ? iShortenedGeneral(cell.number, fits) : QString();
}

QString iHashesFilling(const QFontMetricsF& metrics, double width)
{
    const double hash = metrics.horizontalAdvance(QLatin1Char('#'));
    return QString(std::clamp(hash > 0 ? int(width / hash) : 1, 1, int(kMaxLineChars)), u'#');
}

void iDrawPageCell(QPainter& p, const QRectF& r, const XlsxICell& cell, const XlsxIStyles& styles)
{
    const XlsxICellFormat f = iCellFormat(cell, styles);
    const QRect whole(int(r.x()), int(r.y()), int(r.width()), int(r.height()));
    if (f.fill && f.fill->solid)
        p.fillRect(whole, f.fill->color);
    const bool wraps = f.xf && f.xf->wrapText;
    QString text = iShownText(cell, &styles, wraps);
    if (!text.isEmpty()) {
        p.setFont(iPageFont(f));
        p.setPen(iTextColour(cell, f, styles));
        const int flags = iPageHorizontal(cell, f) | Qt::AlignVCenter | (wraps ? Qt::TextWordWrap : Qt::TextSingleLine);
        const QRectF inside(r.x() + 2, r.y() + 1, r.width() - 4, r.height() - 2);
        if (cell.isNumber && !wraps) {
            text = iPrintedNumber(cell, styles, text, inside.width());
            if (text.isEmpty())
                text = iHashesFilling(QFontMetricsF(p.font(), p.device()), inside.width());
        }
        p.setClipRect(whole);
        p.drawText(inside, flags, text);
        p.setClipping(false);
    }
    if (f.border) {
        const double x = r.x(), y = r.y(), w = r.width(), h = r.height();
        iDrawPageSide(p, f.border->left, QPointF(x, y), QPointF(x, y + h));
        iDrawPageSide(p, f.border->right, QPointF(x + w, y), QPointF(x + w, y + h));
        iDrawPageSide(p, f.border->top, QPointF(x, y), QPointF(x + w, y));
        iDrawPageSide(p, f.border->bottom, QPointF(x, y + h), QPointF(x + w, y + h));
    } else {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(210, 210, 210), 0.5, Qt::SolidLine));
        p.drawRects(&whole, 1);
    }
}

void iDrawChart(QPainter& p, const QRectF& r, const XlsxIChart& chart, double scale)
{
    p.fillRect(r, QColor(248, 250, 255));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(180, 200, 240), 1, Qt::SolidLine));
    p.drawRects(&r, 1);
    QRectF plot = r.adjusted(4, 4, -4, -4);
    if (!chart.title.isEmpty()) {
        QFont font;
        font.setBold(true);
        font.setPixelSize(std::max(8, int(10 * scale)));
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRectF(plot.x(), plot.y(), plot.width(), 16 * scale),
                   Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, chart.title);
        plot.setTop(plot.top() + 18 * scale);
    }
    if (plot.width() < 10 || plot.height() < 10)
        return;
    switch (chart.type) {
    case XlsxIChart::Bar:
        iDrawBarChart(p, plot, chart.series, false);
        break;
    case XlsxIChart::BarHorizontal:
        iDrawBarChart(p, plot, chart.series, true);
        break;
    case XlsxIChart::Line:
    case XlsxIChart::Area:
        drawLines(p, plot, chart.series);
        break;
    case XlsxIChart::Pie:
        drawPie(p, plot, chart.series);
        break;
    case XlsxIChart::NoChart: {
        QFont font;
        font.setPixelSize(std::max(8, int(11 * scale)));
        p.setFont(font);
        p.setPen(QColor(130, 130, 180));
        p.drawText(plot, Qt::AlignCenter, QStringLiteral("Chart"));
        break;
    }
    }
}

QString iShownText(const XlsxICell& cell, const XlsxIStyles* styles, bool wraps)
{
    QString text = iDisplayText(cell, styles);
    if (!wraps)
        text.truncate(kMaxLineChars);
    // A carriage return or a tab among the letters prints as nothing; a line
    // feed is where a wrapped text breaks.
    text.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\n'; });
    return text;
}

void iFitSpills(XlsxISheetData& sheet, const QList<XlsxIChart>& charts, const XlsxIStyles& styles)
{
    sheet.printedLastCol = -1;
    sheet.printedLastCol = iPrintedGrid(&sheet, charts, &styles).lastCol;
}

XlsxISheetGrid iPrintedGrid(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts, const XlsxIStyles* styles)
{
    XlsxISheetGrid grid = iSheetGrid(sheet, charts);
    if (grid.empty || grid.tooLarge || !styles)
        return grid;
    if (sheet->printedLastCol >= 0) {
        grid.lastCol = std::max(grid.lastCol, sheet->printedLastCol);
        return grid;
    }
    const qint64 fits = grid.firstCol + kMaxSheetPositions / grid.rowCount() - 1;
    const int limit = int(std::min({qint64(kLastSheetColumn), qint64(grid.lastCol) + kMaxSpillColumns, fits}));
    if (limit <= grid.lastCol)
        return grid;
    // Characters measured in all; past them a text counts in average
    // characters, so a sheet of long texts is measured in bounded time.
    constexpr qint64 kMeasuredChars = 2'000'000;
    constexpr double kPadPx = 4.0; // the page's text padding on both sides
    constexpr double kPreviewSlack = 1.03;
    const double charPx = iCharWidthPx(styles, kPageDpi);
    QList<double> edge{0.0}; // from grid.firstCol to limit, as the pages lay the columns out
    for (int c = grid.firstCol; c <= limit; ++c)
        edge.append(edge.last() +
                    (sheet->hiddenCols.contains(c) ? 0.0 : std::max(8.0, iColumnWidthPx(*sheet, c, charPx))));
    const auto width = [&edge](int a, int b) { return edge.at(b + 1) - edge.at(a); };
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(5906);
    device.setDotsPerMeterY(5906);
    const XlsxIMergeIndex merges(sheet->merges, grid);
    QHash<int, QFont> fonts;
    qint64 measured = 0;
    int right = grid.lastCol - grid.firstCol;
    for (auto row = sheet->cells.cbegin(); row != sheet->cells.cend(); ++row) {
        if (sheet->hiddenRows.contains(row.key()))
            continue;
        // Only the row's last text may run past the cells: it stops those before it.
        auto last = row->cend();
        while (last != row->cbegin() && std::prev(last)->text.isEmpty())
            --last;
        if (last == row->cbegin())
            continue;
        --last;
        const XlsxICell& cell = *last;
        if (cell.isNumber)
            continue;
        const XlsxICellFormat f = iCellFormat(cell, *styles);
        const int align = iPageHorizontal(cell, f);
        if ((f.xf && f.xf->wrapText) || align == Qt::AlignRight)
            continue;
        const QString text = iShownText(cell, styles, false);
        if (text.isEmpty())
            continue;
        const int fontKey = f.font && f.xf ? f.xf->fontId : -1;
        auto font = fonts.find(fontKey);
        if (font == fonts.end())
            font = fonts.insert(fontKey, iPageFont(f));
        const QFontMetricsF metrics(*font, &device);
        double needed = 0;
        if (measured < kMeasuredChars) {
            needed = metrics.horizontalAdvance(text);
            measured += text.size();
        } else {
            needed = metrics.averageCharWidth() * double(text.size());
        }
        // The preview's columns are whole 96-dpi pixels and its text is
        // hinted at 96 dpi: a little room more holds the text there too.
        needed = needed * kPreviewSlack + kPadPx;
        const int ci = last.key() - grid.firstCol;
        if (needed <= width(ci, ci) || needed <= width(ci, right))
            continue;
        const int r = row.key();
        const XlsxIMergeWindow window = merges.window(r, r, grid.firstCol, limit);
        if (window.hidden(r, last.key()) || window.span(r, last.key()).y() != 1)
            continue; // merged texts do not spill
        const auto empty = [&](int c) {
            const int col = grid.firstCol + c;
            if (window.hidden(r, col) || window.span(r, col) != QPoint(1, 1))
                return false;
            const auto other = row->constFind(col);
            return other == row->cend() || other->text.isEmpty();
        };
        right = std::max(right, iSpillColumns(ci, limit - grid.firstCol, align, needed, width, empty).second);
    }
    grid.lastCol = grid.firstCol + right;
    return grid;
}

bool iLineIsDense(qsizetype points, double widthPx)
{
    return points > 1 && double(points - 1) > widthPx;
}

QList<qsizetype> iLinePointsDrawn(const QList<double>& values, double widthPx)
{
    constexpr qsizetype kPerColumn = 4;
    const qsizetype n = values.size();
    const qsizetype columns = qsizetype(std::clamp(std::ceil(widthPx), 1.0, 1e6));
    QList<qsizetype> kept;
    if (!iLineIsDense(n, widthPx)) {
        kept.reserve(n);
        for (qsizetype j = 0; j < n; ++j)
            kept.append(j);
        return kept;
    }
    // Per pixel column its first, lowest, highest and last point, in order:
    // the line looks the same, drawn from a few points a column.
    kept.reserve(kPerColumn * columns);
    qsizetype begin = 0;
    for (qsizetype c = 0; c < columns && begin < n; ++c) {
        qsizetype end = qsizetype(double(n - 1) * double(c + 1) / double(columns)) + 1;
        end = std::clamp(end, begin + 1, n);
        qsizetype low = begin, high = begin;
        for (qsizetype j = begin; j < end; ++j) {
            if (values.at(j) < values.at(low))
                low = j;
            if (values.at(j) > values.at(high))
                high = j;
        }
        for (qsizetype j : {begin, std::min(low, high), std::max(low, high), end - 1}) {
            if (kept.isEmpty() || kept.last() < j)
                kept.append(j);
        }
        begin = end;
    }
    return kept;
}
