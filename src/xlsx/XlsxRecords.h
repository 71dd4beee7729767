#pragma once

#include <QColor>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// Plain records an XLSX workbook is read into. Rows are 1-based as the
// worksheet writes them, columns 0-based ("A" is 0); style, font, fill,
// border and format indices are positions in their lists of the styles part;
// chart anchors are stored as written in the drawing, rows and columns from 0.

struct XlsxICell {
    QString text;          // shown text, or the raw value text of a number
    int style = 0;         // index into XlsxIStyles::cellXfs
    double number = 0.0;   // meaningful only when isNumber
    bool isNumber = false;
};

struct XlsxIMerge {
    int firstRow = 0;
    int firstCol = 0;
    int lastRow = 0;
    int lastCol = 0;
};

// Merges never overlap and never cover a single cell: the reader drops those
// that would.
struct XlsxISheetData {
    QMap<int, QMap<int, XlsxICell>> cells; // row -> column -> cell
    QList<XlsxIMerge> merges;
    QMap<int, double> colWidths;           // column -> width in characters
    QMap<int, double> rowHeights;          // row -> height in points
    QSet<int> fittedRows;                  // heights the writing program fitted to its own fonts
    QSet<int> hiddenRows;                  // not shown and not printed
    QSet<int> hiddenCols;
    int formulasWithoutValue = 0;          // formulas the workbook saved no result of
    int printedLastCol = -1;               // as iFitSpills measured it; -1 not measured
};

struct XlsxIFont {
    bool bold = false;
    bool italic = false;
    bool underline = false; // single underlining only
    double size = 11.0;
    QColor color = Qt::black;
    bool hasColor = false;
};

struct XlsxIFill {
    QColor color;       // foreground of a solid pattern
    bool solid = false;
};

struct XlsxIBorderSide {
    bool present = false;
    QString style;      // as written: thin, medium, dashed, ...
    QColor color = Qt::black;
};

struct XlsxIBorder {
    XlsxIBorderSide left;
    XlsxIBorderSide right;
    XlsxIBorderSide top;
    XlsxIBorderSide bottom;
};

struct XlsxIXf {
    int fontId = 0;
    int fillId = 0;
    int borderId = 0;
    int numFmtId = 0;
    bool applyFont = false;
    bool applyFill = false;
    bool applyBorder = false;
    bool applyAlignment = false;
    QString horizontal;
    QString vertical;
    bool wrapText = false;
    int indent = 0;
};

// Indices held in a cell format are not checked against these lists: test
// them against the list sizes before use.
struct XlsxIStyles {
    QMap<int, QString> numFmts;
    QList<XlsxIFont> fonts;
    QList<XlsxIFill> fills;
    QList<XlsxIBorder> borders;
    QList<XlsxIXf> cellXfs;
    // The workbook's date system: serial day 0 is 1 January 1904, not
    // 30 December 1899. Read from the workbook part, not the styles part.
    bool date1904 = false;
};

struct XlsxIChartSeries {
    QString name;
    // The cached points in the order of their indices; gaps are not padded.
    QList<QString> categories;
    QList<double> values;
    // Where the points were cached from: the reference as written, the
    // index of each cached point, and the number of points the cache says it
    // holds (-1 when it does not say).
    QString categoriesRef;
    QList<int> categoryIndices;
    int categoryCount = -1;
    QString valuesRef;
    QList<int> valueIndices;
    int valueCount = -1;
};

struct XlsxIChart {
    enum Type { Bar, BarHorizontal, Line, Pie, Area, NoChart };

    Type type = NoChart;
    QString title;
    QList<XlsxIChartSeries> series;
    bool visibleOnly = true; // points of hidden rows and columns are not plotted
    int fromRow = 0;
    int fromCol = 0;
    int toRow = 0;
    int toCol = 0;
};

// One sheet of a workbook; data is never null for a listed sheet. Once read
// the data is not changed, so copies of the record share it.
struct XlsxISheetInfo {
    QString name;
    std::shared_ptr<XlsxISheetData> data;
    QList<XlsxIChart> charts;
};

// A whole workbook as read. styles is null only when the package did not
// open; reason is empty when everything was read.
struct XlsxIWorkbook {
    std::vector<XlsxISheetInfo> sheets;
    std::unique_ptr<XlsxIStyles> styles;
    QString reason;
    // Sheets that hold nothing but a chart: not imported, named to the user.
    QStringList chartSheets;
    // The sheet of each chart left out: it plots visible cells only through
    // a reference that is not resolved, over sheets that hide rows or columns.
    QStringList chartsLeftOut;
};
