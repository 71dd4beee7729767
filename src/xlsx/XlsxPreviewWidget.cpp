#include "XlsxPreviewWidget.h"

#include "XlsxNumberFormat.h"
#include "XlsxSheetPainting.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kHitPx = 6;

// Index k with edges[k] <= v < edges[k + 1], clamped to the cells.
int edgeIndex(const QList<int>& edges, double v)
{
    const auto it = std::upper_bound(edges.cbegin(), edges.cend(), v);
    const int k = int(it - edges.cbegin()) - 1;
    return std::clamp(k, 0, int(edges.size()) - 2);
}

} // namespace

XlsxPreviewWidget::XlsxPreviewWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    setMinimumWidth(300);
}

void XlsxPreviewWidget::setSheet(const XlsxISheetData* sheetData, const XlsxIStyles* sheetStyles,
                                 const QList<XlsxIChart>& sheetCharts)
{
    sheet = sheetData;
    styles = sheetStyles;
    charts = sheetCharts;
    breaks.clear();
    manualBreaks.clear();
    dragIndex = -1;
    hoverRow = -1;
    recalcLayout();
    autoBreaks();
    update();
}

void XlsxPreviewWidget::setPaperSize(QSizeF paperPt, bool isLandscape)
{
    paper = paperPt;
    landscape = isLandscape;
    autoBreaks();
    update();
}

void XlsxPreviewWidget::recalcLayout()
{
    colX.clear();
    rowY.clear();
    totalWidth = 0;
    totalHeight = 0;
    cellsWidth = 0;
    columnBreaks.clear();
    mergeIndex = XlsxIMergeIndex();
    pageMetrics.clear();
    const XlsxISheetGrid grid = iPrintedGrid(sheet, charts, styles);
    tooLarge = grid.tooLarge;
    if (grid.empty || grid.tooLarge) {
        setFixedSize(300, 200);
        return;
    }
    firstRow = grid.firstRow;
    firstCol = grid.firstCol;
    iPreviewEdges(*sheet, styles, grid, colX, rowY);
    pageCharPx = iCharWidthPx(styles, kPageDpi);
    totalWidth = colX.last();
    totalHeight = rowY.last();
    const int cellColumns = iSheetGrid(sheet, charts).lastCol - firstCol + 1;
    cellsWidth = colX.at(std::clamp(cellColumns, 0, int(colX.size()) - 1));
    mergeIndex = XlsxIMergeIndex(sheet->merges, grid);

    scale = 1.0;
    const int available = parentWidget() ? std::max(parentWidget()->width() - 40, 200) : 600;
    if (totalWidth > available)
        scale = double(available) / totalWidth;
    const qint64 w = std::max<qint64>(qint64(totalWidth * scale) + 2, 200);
    const qint64 h = std::max<qint64>(qint64(totalHeight * scale) + 2, 100);
    setFixedSize(int(std::min<qint64>(w, QWIDGETSIZE_MAX)), int(std::min<qint64>(h, QWIDGETSIZE_MAX)));
}

void XlsxPreviewWidget::autoBreaks()
{
    dragIndex = -1;
    breaks = iAutoBreaks(rowY, firstRow, fitWidth ? cellsWidth : 0, paper, landscape, manualBreaks);
    if (!rowY.isEmpty())
        emit pageBreaksChanged();
}

int XlsxPreviewWidget::pageCount() const
{
    return int(breaks.size()) + 1;
}

int XlsxPreviewWidget::rowAtY(int y) const
{
    if (rowY.size() < 2)
        return -1;
    const int r = int(y / scale);
    if (r < rowY.first() || r >= rowY.last())
        return -1;
    return firstRow + edgeIndex(rowY, r);
}

int XlsxPreviewWidget::breakYForRow(int row) const
{
    if (row < firstRow || row - firstRow >= rowY.size())
        return -1;
    return int(rowY.at(row - firstRow) * scale);
}

// The index of the first break whose line lies within the hit distance of y.
int XlsxPreviewWidget::breakNear(int y) const
{
    for (int i = 0; i < breaks.size(); ++i) {
        const int by = breakYForRow(breaks.at(i));
        if (by >= 0 && std::abs(by - y) <= kHitPx)
            return i;
    }
    return -1;
}

void XlsxPreviewWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragIndex = breakNear(qRound(event->position().y()));
    if (dragIndex >= 0)
        setCursor(Qt::SizeVerCursor);
}

void XlsxPreviewWidget::mouseReleaseEvent(QMouseEvent*)
{
    dragIndex = -1;
    setCursor(Qt::ArrowCursor);
}

void XlsxPreviewWidget::mouseMoveEvent(QMouseEvent* event)
{
    const int y = qRound(event->position().y());
    if (dragIndex >= 0) {
        // Two breaks merged into one may leave the index past the list: the
        // drag then goes on with the last break.
        if (breaks.isEmpty()) {
            dragIndex = -1;
            return;
        }
        dragIndex = std::min(dragIndex, int(breaks.size()) - 1);
        const int row = rowAtY(y);
        if (row <= firstRow || row == breaks.at(dragIndex))
            return;
        manualBreaks.removeAll(breaks.at(dragIndex));
        if (!manualBreaks.contains(row))
            manualBreaks.append(row);
        breaks[dragIndex] = row;
        std::sort(breaks.begin(), breaks.end());
        breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
        update();
        emit pageBreaksChanged();
        return;
    }
    const int near = breakNear(y);
    const int row = near >= 0 ? breaks.at(near) : -1;
    setCursor(near >= 0 ? Qt::SizeVerCursor : Qt::ArrowCursor);
    if (row != hoverRow) {
        hoverRow = row;
        update();
    }
}

void XlsxPreviewWidget::leaveEvent(QEvent*)
{
    if (hoverRow >= 0) {
        hoverRow = -1;
        update();
    }
}

QFont XlsxPreviewWidget::cellFont(const XlsxICellFormat& f) const
{
    QFont font;
    font.setPixelSize(std::max(7, int((f.font ? f.font->size : 11.0) * scale * 1.2)));
    if (f.font) {
        font.setWeight(f.font->bold ? QFont::Bold : QFont::Normal);
        font.setItalic(f.font->italic);
        font.setUnderline(f.font->underline);
    }
    return font;
}

QString XlsxPreviewWidget::numberShown(const XlsxICell& cell, const XlsxIStyles& sheetStyles, const QString& text,
                                       double width, double pageWidth) const
{
    // The pages decide, measured in their own font and columns.
    if (pageWidth < 0)
        pageWidth = width * kPageDpi / 96;
    // The measures of the sheet's fonts are kept while it is shown.
    const XlsxICellFormat f = iCellFormat(cell, sheetStyles);
    const int fontKey = f.font && f.xf ? f.xf->fontId : -1;
    const QFontMetricsF* measures = nullptr;
    if (&sheetStyles == styles) {
        auto found = pageMetrics.constFind(fontKey);
        if (found == pageMetrics.cend())
            found = pageMetrics.insert(fontKey, iPageMetrics(iPageFont(f)));
        measures = &*found;
    }
    const QString printed = iPrintedNumber(cell, sheetStyles, text, pageWidth, measures);
    if (!printed.isEmpty())
        return printed;
    return iHashesFilling(QFontMetricsF(cellFont(f)), width);
}

double XlsxPreviewWidget::pageTextWidth(int ci, int ce) const
{
    double width = 0;
    for (int c = firstCol + ci; c <= firstCol + ce; ++c)
        width += sheet->hiddenCols.contains(c) ? 0.0 : std::max(8.0, iColumnWidthPx(*sheet, c, pageCharPx));
    return width - 4;
}

QString XlsxPreviewWidget::shownText(int row, int col) const
{
    if (!sheet || !styles || colX.isEmpty())
        return QString();
    const auto cell = sheet->cells.value(row).constFind(col);
    if (cell == sheet->cells.value(row).cend())
        return QString();
    const int ci = col - firstCol;
    if (ci < 0 || ci + 1 >= colX.size())
        return QString();
    const QPoint span = mergeIndex.window(row, row, col, col).span(row, col);
    const int ce = std::min(ci + span.y() - 1, int(colX.size()) - 2);
    const XlsxICellFormat f = iCellFormat(*cell, *styles);
    const bool wraps = f.xf && f.xf->wrapText;
    const QString text = iShownText(*cell, styles, wraps);
    if (!cell->isNumber || wraps || text.isEmpty())
        return text;
    return numberShown(*cell, *styles, text, colX.at(ce + 1) - colX.at(ci) - 4, pageTextWidth(ci, ce));
}

void XlsxPreviewWidget::drawCell(QPainter& p, const QRectF& r, const XlsxICell& cell,
                                 const XlsxIStyles& sheetStyles, const QRectF& textArea, double pageWidth) const
{
    const XlsxICellFormat f = iCellFormat(cell, sheetStyles);
    if (f.fill && f.fill->solid)
        p.fillRect(r, f.fill->color);
    QString text = iShownText(cell, &sheetStyles, f.xf && f.xf->wrapText);
    if (!text.isEmpty()) {
        p.setFont(cellFont(f));
        p.setPen(iTextColour(cell, f, sheetStyles));
        int flags = Qt::AlignLeft | Qt::AlignVCenter;
        if (f.xf) {
            const QString& h = f.xf->horizontal;
            int horizontal = h == QLatin1String("center")  ? Qt::AlignHCenter
                             : h == QLatin1String("right")   ? Qt::AlignRight
                             : h == QLatin1String("justify") ? Qt::AlignJustify
                                                             : Qt::AlignLeft;
            const QString& v = f.xf->vertical;
            const int vertical = v == QLatin1String("top")      ? Qt::AlignTop
                                 : v == QLatin1String("bottom") ? Qt::AlignBottom
                                                                : Qt::AlignVCenter;
            // "general" is what LibreOffice writes for no alignment.
            if (cell.isNumber && (h.isEmpty() || h == QLatin1String("general")))
                horizontal = Qt::AlignRight;
            flags = horizontal | vertical;
        }
        const QRectF area = textArea.isNull() ? r : textArea;
        p.setClipRect(area);
        const bool wraps = f.xf && f.xf->wrapText;
        const QRectF inside(area.x() + 2, area.y() + 1, area.width() - 4, area.height() - 2);
        // A number never runs past its cell: it shows as the page prints it, or as "#".
        if (cell.isNumber && !wraps)
            text = numberShown(cell, sheetStyles, text, inside.width(), pageWidth);
        // A long wrapped text is laid out only as far as the cell shows it.
        bool overflows = false;
        const QString shown =
            wraps ? iWrappedBeginning(text, p.font(), p.device(), inside.width(), inside.height(), &overflows) : text;
        p.drawText(inside, flags | (wraps ? Qt::TextWordWrap : Qt::TextSingleLine), shown);
        p.setClipping(false);
    }
    if (f.border) {
        const auto side = [&p](const XlsxIBorderSide& s, QPointF a, QPointF b) {
            if (!s.present)
                return;
            const int width = s.style == QLatin1String("medium") || s.style == QLatin1String("mediumDashed") ? 2
                              : s.style == QLatin1String("thick")                                              ? 3
                                                                                                               : 1;
            Qt::PenStyle style = Qt::SolidLine;
            if (s.style.contains(QLatin1String("Dash")) || s.style == QLatin1String("dashed"))
                style = Qt::DashLine;
            else if (s.style == QLatin1String("dotted") || s.style == QLatin1String("hair"))
                style = Qt::DotLine;
            p.setPen(QPen(s.color, width, style, Qt::SquareCap, Qt::BevelJoin));
            const QLineF line(a, b);
            p.drawLines(&line, 1);
        };
        const double x = r.x(), y = r.y(), w = r.width(), h = r.height();
        side(f.border->left, QPointF(x, y), QPointF(x, y + h));
        side(f.border->right, QPointF(x + w, y), QPointF(x + w, y + h));
        side(f.border->top, QPointF(x, y), QPointF(x + w, y));
        side(f.border->bottom, QPointF(x, y + h), QPointF(x + w, y + h));
    } else {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(220, 220, 220), 0.5, Qt::SolidLine));
        p.drawRects(&r, 1);
    }
}

void XlsxPreviewWidget::drawChart(QPainter& p, const QRectF& r, const XlsxIChart& chart) const
{
    iDrawChart(p, r, chart, scale);
}

// Where a text wider than its cell may run, as the pages draw it: over empty
// neighbours in the direction of its alignment. Null when it fits, or is a
// number or wrapped text, which never spill.
QRectF XlsxPreviewWidget::spillArea(int ri, int ci, const XlsxICell& cell, const XlsxIMergeWindow& merges) const
{
    const XlsxICellFormat f = iCellFormat(cell, *styles);
    if (cell.isNumber || cell.text.isEmpty() || (f.xf && f.xf->wrapText))
        return QRectF();
    const QString text = iShownText(cell, styles, false);
    const double needed = QFontMetricsF(cellFont(f)).horizontalAdvance(text) / scale + 4;
    if (needed <= colX.at(ci + 1) - colX.at(ci))
        return QRectF();
    const int row = firstRow + ri;
    const auto cells = sheet->cells.constFind(row);
    const auto empty = [&](int c) {
        const int col = firstCol + c;
        if (merges.hidden(row, col) || merges.span(row, col) != QPoint(1, 1))
            return false;
        if (cells == sheet->cells.cend())
            return true;
        const auto other = cells->constFind(col);
        return other == cells->cend() || other->text.isEmpty();
    };
    const int align = iPageHorizontal(cell, f);
    const int lastColIdx = int(colX.size()) - 2;
    const auto [left, right] = iSpillColumns(
        ci, lastColIdx, align, needed, [this](int a, int b) { return double(colX.at(b + 1) - colX.at(a)); }, empty);
    return QRectF(colX.at(left), rowY.at(ri), colX.at(right + 1) - colX.at(left), rowY.at(ri + 1) - rowY.at(ri));
}

// Paints the cells and charts that reach into the exposed widget area, in the
// order painting the whole sheet would, so both give the same pixels.
void XlsxPreviewWidget::paintSheet(QPainter& p, const QRect& exposed)
{
    const int lastRowIdx = int(rowY.size()) - 2;
    const int lastColIdx = int(colX.size()) - 2;
    // Two cells of slack on every side for lines on shared edges.
    const int r0 = std::max(0, edgeIndex(rowY, exposed.top() / scale) - 2);
    const int r1 = std::min(lastRowIdx, edgeIndex(rowY, (exposed.bottom() + 1) / scale) + 2);
    const int c0 = std::max(0, edgeIndex(colX, exposed.left() / scale) - 2);
    const int c1 = std::min(lastColIdx, edgeIndex(colX, (exposed.right() + 1) / scale) + 2);
    const XlsxIMergeWindow merges = mergeIndex.window(firstRow + r0, firstRow + r1, firstCol + c0, firstCol + c1);
    const XlsxICell empty;

    const auto paintBox = [&](int ri, int ci, QPoint span) {
        const int re = std::min(ri + span.x() - 1, lastRowIdx);
        const int ce = std::min(ci + span.y() - 1, lastColIdx);
        const QRectF box(colX.at(ci), rowY.at(ri), colX.at(ce + 1) - colX.at(ci), rowY.at(re + 1) - rowY.at(ri));
        // A merge whose first row or column is hidden shows across the rest of it.
        if (box.isEmpty())
            return;
        const QMap<int, XlsxICell> row = sheet->cells.value(firstRow + ri);
        const auto cell = row.constFind(firstCol + ci);
        drawCell(p, box, cell == row.cend() ? empty : *cell, *styles, QRectF(), pageTextWidth(ci, ce));
    };
    // A merge anchored outside the window is painted where its anchor's turn comes.
    const auto paintOutside = [&](int rowIdx, bool before) {
        for (const XlsxIMerge& m : merges.outsideAnchors()) {
            const int ri = m.firstRow - firstRow;
            if (before ? ri < rowIdx : ri == rowIdx)
                paintBox(ri, m.firstCol - firstCol,
                         QPoint(m.lastRow - m.firstRow + 1, m.lastCol - m.firstCol + 1));
        }
    };

    if (styles) {
        paintOutside(r0, true);
        for (int ri = r0; ri <= r1; ++ri) {
            paintOutside(ri, false);
            const int row = firstRow + ri;
            const bool rowHidden = rowY.at(ri + 1) == rowY.at(ri);
            if (rowHidden && sheet->merges.isEmpty())
                continue;
            const auto cells = sheet->cells.constFind(row);
            for (int ci = c0; ci <= c1; ++ci) {
                const int col = firstCol + ci;
                const QPoint span = merges.span(row, col);
                if (merges.hidden(row, col) ||
                    ((rowHidden || colX.at(ci + 1) == colX.at(ci)) && span == QPoint(1, 1)))
                    continue;
                const bool blank = cells == sheet->cells.cend() || !cells->contains(col);
                if (!blank && span == QPoint(1, 1)) {
                    const XlsxICell& cell = *cells->constFind(col);
                    const QRectF area = spillArea(ri, ci, cell, merges);
                    if (!area.isNull()) {
                        const QRectF box(colX.at(ci), rowY.at(ri), colX.at(ci + 1) - colX.at(ci),
                                         rowY.at(ri + 1) - rowY.at(ri));
                        drawCell(p, box, cell, *styles, area);
                        continue;
                    }
                }
                if (blank && span == QPoint(1, 1)) {
                    const QRectF box(colX.at(ci), rowY.at(ri), colX.at(ci + 1) - colX.at(ci),
                                     rowY.at(ri + 1) - rowY.at(ri));
                    drawCell(p, box, empty, *styles);
                } else {
                    paintBox(ri, ci, span);
                }
            }
        }
    }

    for (const XlsxIChart& chart : charts) {
        const int cr0 = iChartTopRow(chart) - firstRow;
        const int cc0 = chart.fromCol - firstCol;
        if (cr0 < 0 || cc0 < 0 || cr0 > lastRowIdx || cc0 > lastColIdx)
            continue;
        const int cr1 = std::min(iChartBottomRow(chart) - firstRow, lastRowIdx);
        const int cc1 = std::min(chart.toCol - firstCol, lastColIdx);
        if (cr1 < 0 || cc1 < 0)
            continue;
        const QRectF box(colX.at(cc0), rowY.at(cr0), colX.at(cc1 + 1) - colX.at(cc0), rowY.at(cr1 + 1) - rowY.at(cr0));
        drawChart(p, box, chart);
    }
}

void XlsxPreviewWidget::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(200, 200, 200));
    if (!sheet || rowY.isEmpty()) {
        p.setPen(Qt::darkGray);
        p.drawText(rect(), Qt::AlignCenter, tooLarge ? tr("Лист слишком велик для импорта.") : tr("Нет данных"));
        return;
    }
    p.save();
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, false);
    paintSheet(p, event->rect());
    p.restore();

    QList<int> bands{0};
    for (int b : breaks) {
        const int y = breakYForRow(b);
        if (y > 0)
            bands.append(y);
    }
    bands.append(height());
    for (int i = 1; i + 1 < bands.size(); i += 2)
        p.fillRect(QRect(0, bands.at(i), width(), bands.at(i + 1) - bands.at(i)), QColor(0, 0, 0, 15));
    for (int b : breaks) {
        const int y = breakYForRow(b);
        if (y < 0)
            continue;
        const bool hot = b == hoverRow;
        const QColor color = hot ? QColor(0, 100, 220) : QColor(60, 140, 255);
        p.setPen(QPen(color, hot ? 2 : 1, Qt::DashLine));
        p.drawLine(0, y, width(), y);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRect(7, y - 5, 10, 10));
        p.setBrush(Qt::NoBrush);
    }
    // Pages across: a dashed line where each further one starts.
    p.setPen(QPen(QColor(60, 140, 255), 1, Qt::DashLine));
    for (int col : columnBreaks) {
        const int ci = col - firstCol;
        if (ci > 0 && ci < colX.size()) {
            const int x = int(colX.at(ci) * scale);
            p.drawLine(x, 0, x, height());
        }
    }
    QFont font;
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(100, 100, 100));
    for (int i = 1; i < bands.size(); ++i)
        p.drawText(QPoint(width() - 40, (bands.at(i - 1) + bands.at(i)) / 2), tr("с.%1").arg(i));
}
