#pragma once

#include "XlsxRecords.h"

#include <QHash>
#include <QRectF>
#include <QSet>
#include <QSizeF>

#include <functional>
#include <utility>

class QColor;
class QFont;
class QFontMetricsF;
class QPaintDevice;
class QPainter;

// A sheet's grid of positions that painters walk holds no more than this:
// A1 with XFD1048576 alone would be 17 billion positions.
constexpr qint64 kMaxSheetPositions = 4'000'000;

// The formats a cell's style applies; null where none applies. The font is
// the workbook's default (its first) where the style names none. Fills 0
// and 1 (the reserved none and gray125) apply only when the format says so.
struct XlsxICellFormat {
    const XlsxIXf* xf = nullptr;
    const XlsxIFont* font = nullptr;
    const XlsxIFill* fill = nullptr;
    const XlsxIBorder* border = nullptr;
};
XlsxICellFormat iCellFormat(const XlsxICell& cell, const XlsxIStyles& styles);

// The rows and columns a sheet is laid out over: every cell and every chart's
// anchor box. Empty without cells; tooLarge past kMaxSheetPositions.
struct XlsxISheetGrid {
    int firstRow = 1;
    int lastRow = 0;
    int firstCol = 0;
    int lastCol = -1;
    bool empty = true;
    bool tooLarge = false;
    int rowCount() const { return lastRow - firstRow + 1; }
    int colCount() const { return lastCol - firstCol + 1; }
};
XlsxISheetGrid iSheetGrid(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts);

// A cell's text on one line shows no more than this many characters (such a
// line is metres long): a longer one is cut before it is measured or drawn,
// so a sheet of long texts costs what their shown parts cost.
constexpr qsizetype kMaxLineChars = 1024;
// What a cell shows: its display text, cut at kMaxLineChars unless it wraps.
QString iShownText(const XlsxICell& cell, const XlsxIStyles* styles, bool wraps);

// The grid as it prints: a text that spills past the last column with cells
// takes the empty columns it runs over, as spreadsheet programs print it,
// measured as the pages draw it. Bounded: no more than kMaxSpillColumns
// further, never past the sheet's last column nor kMaxSheetPositions.
constexpr int kMaxSpillColumns = 64;
constexpr int kLastSheetColumn = 16383; // XFD, counted from 0
XlsxISheetGrid iPrintedGrid(const XlsxISheetData* sheet, const QList<XlsxIChart>& charts, const XlsxIStyles* styles);
// Measures the printed grid once and keeps its last column in the sheet, for
// every later iPrintedGrid. Needs a GUI application.
void iFitSpills(XlsxISheetData& sheet, const QList<XlsxIChart>& charts, const XlsxIStyles& styles);

// A chart's anchor rows counted as the cells count them (from 1); drawings
// count from 0. Columns count from 0 in both.
inline int iChartTopRow(const XlsxIChart& chart) { return chart.fromRow + 1; }
inline int iChartBottomRow(const XlsxIChart& chart) { return chart.toRow + 1; }

// Merged ranges seen through a window of rows and columns: the spans of the
// anchors and the hidden positions, only those inside the window.
class XlsxIMergeWindow {
public:
    XlsxIMergeWindow(const QList<XlsxIMerge>& merges, int row0, int row1, int col0, int col1);
    XlsxIMergeWindow(const QList<const XlsxIMerge*>& merges, int row0, int row1, int col0, int col1);
    bool hidden(int row, int col) const { return m_hidden.contains(key(row, col)); }
    // (rows, columns) of the merge anchored here, or (1, 1).
    QPoint span(int row, int col) const { return m_spans.value(key(row, col), QPoint(1, 1)); }
    // Merges that reach into the window from an anchor outside it.
    const QList<XlsxIMerge>& outsideAnchors() const { return m_outside; }

private:
    void add(const XlsxIMerge& m, int row0, int row1, int col0, int col1);
    static qint64 key(int row, int col) { return (qint64(row) << 20) ^ qint64(col); }
    QSet<qint64> m_hidden;
    QHash<qint64, QPoint> m_spans;
    QList<XlsxIMerge> m_outside;
};

// A sheet's merges sorted into bands of rows once, so that a window of a few
// rows looks only at the merges that reach into its bands. Merges are taken
// as the reader leaves them (no overlaps) and clipped to the grid for the
// bands, which keeps the index within the grid's size.
class XlsxIMergeIndex {
public:
    XlsxIMergeIndex() = default;
    XlsxIMergeIndex(const QList<XlsxIMerge>& merges, const XlsxISheetGrid& grid);
    XlsxIMergeWindow window(int row0, int row1, int col0, int col1) const;

private:
    static constexpr int kBandRows = 64;
    QList<XlsxIMerge> m_merges;
    QHash<int, QList<int>> m_bands; // band of rows -> merges reaching into it
    int m_firstRow = 1;
};

// A column's width is counted in digits of the workbook's default font (its
// first font), as spreadsheet programs lay a sheet out with the font they
// draw it in: the widest digit of that font at dpi, in pixels.
double iCharWidthPx(const XlsxIStyles* styles, double dpi);
// The width of a column in pixels of charPx digits: 0 when hidden, the
// default 8.43 digits when the workbook gives none.
double iColumnWidthPx(const XlsxISheetData& sheet, int col, double charPx);

// Widths of the grid's columns and heights of its rows at 96 dpi as the
// preview lays them out, hidden ones 0: edges from 0, one more than there
// are columns or rows.
void iPreviewEdges(const XlsxISheetData& sheet, const XlsxIStyles* styles, const XlsxISheetGrid& grid, QList<int>& colX,
                   QList<int>& rowY);

// The rows that start a page: a new page whenever the next row would pass the
// page's height (the sheet scaled to the page width when wider); a page never
// starts before the first row or at the last. Each manual break starts a page
// of its own and the automatic ones are counted on from it.
QList<int> iAutoBreaks(const QList<int>& rowY, int firstRow, int totalWidth, QSizeF paperPt, bool landscape,
                       const QList<int>& manual = {});

// Rows the workbook gives no height grow to hold their wrapped texts and large
// fonts, as spreadsheet programs fit them; a height the writing program fitted
// to its own fonts grows only where a wrapped text needs more in ours. Needs a
// GUI application.
void iFitRowHeights(XlsxISheetData& sheet, const XlsxIStyles& styles);

// The beginning of a wrapped text that decides what a box `height` high
// shows: the whole text when it fits (overflows false, *textHeight its
// height), else a beginning that already overflows, laid out in lines no
// further. Beginnings are tried twice as long each time, so a text of
// thousands of characters costs what its first lines cost. *laidOut counts
// the characters laid out.
QString iWrappedBeginning(const QString& text, const QFont& font, QPaintDevice* device, double width, double height,
                          bool* overflows, double* textHeight = nullptr, qint64* laidOut = nullptr);

// Pixels of the page renderer: 150 dpi.
constexpr double kPageDpi = 150.0;

// The page renderer's pieces, in 150-dpi pixels: a border side, the font of a
// cell, and its horizontal alignment.
void iDrawPageSide(QPainter& p, const XlsxIBorderSide& side, QPointF a, QPointF b);
QFont iPageFont(const XlsxICellFormat& f);
int iPageHorizontal(const XlsxICell& cell, const XlsxICellFormat& f);

// The columns a text of column ci spills over: as far as it needs (width of
// columns left..right given by width) over neighbours empty says are empty,
// rightwards when left-aligned, leftwards when right-aligned, both ways
// (alternating) when centred. (left, right) of the grid's column indices.
std::pair<int, int> iSpillColumns(int ci, int lastCol, int align, double needed,
                                  const std::function<double(int, int)>& width, const std::function<bool(int)>& empty);

// The colour of a cell's text: its format's colour section, else its font's.
QColor iTextColour(const XlsxICell& cell, const XlsxICellFormat& f, const XlsxIStyles& styles);

// A General number shortened as spreadsheet programs shorten it to fit a
// narrow column: fewer decimals, then a shorter mantissa ("1.235E+11").
// Empty when nothing fits.
QString iShortenedGeneral(double value, const std::function<bool(const QString&)>& fits);

// The measures of a font on the pages, whatever device they are drawn on.
QFontMetricsF iPageMetrics(const QFont& font);
// What a single-line number cell prints in a text box `width` 150-dpi
// pixels wide, measured as the pages measure it: its text when it fits, a
// General number shortened, else empty for a row of "#". The preview asks
// the same, so both show the same figure. pageMetrics, when given, are the
// iPageMetrics of the cell's font, kept by a caller measuring many cells.
QString iPrintedNumber(const XlsxICell& cell, const XlsxIStyles& styles, const QString& text, double width,
                       const QFontMetricsF* pageMetrics = nullptr);
// As many "#" as fill a width.
QString iHashesFilling(const QFontMetricsF& metrics, double width);

// The page renderer's cell painter, in 150-dpi image pixels.
void iDrawPageCell(QPainter& p, const QRectF& r, const XlsxICell& cell, const XlsxIStyles& styles);

// Whether neighbouring points of a line share a pixel column: such a line
// folds back on itself and is drawn thinned, as one band.
bool iLineIsDense(qsizetype points, double widthPx);

// The indices of a line's points that are drawn over widthPx pixel
// columns: every one while each has a column of its own; else per column the
// first, the lowest, the highest and the last, which draw the same line.
QList<qsizetype> iLinePointsDrawn(const QList<double>& values, double widthPx);

// One chart into r; text sizes are multiplied by scale.
void iDrawChart(QPainter& p, const QRectF& r, const XlsxIChart& chart, double scale);
