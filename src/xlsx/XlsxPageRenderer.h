#pragma once

#include "XlsxRecords.h"
#include "XlsxSheetPainting.h"

#include <QImage>
#include <QList>
#include <QSizeF>

#include <functional>
#include <memory>
#include <vector>

class QFontMetricsF;
class QPainter;

// Lays a workbook out into pages and draws them, as pictures or as one PDF
// whose text is text and whose lines are paths. It shares the sheets and the
// styles, which nothing changes any more, so a copy may work on another
// thread while the dialog that made it is gone.
class XlsxPageRenderer {
public:
    struct Options {
        QSizeF paperPt = QSizeF(595, 842); // portrait
        bool landscape = false;
        bool fitWidth = true;
        // Page breaks per sheet (rows that start a page); a sheet without
        // an entry is broken as the preview breaks it.
        QMap<int, QList<int>> breaks;
    };

    XlsxPageRenderer() = default;
    XlsxPageRenderer(const std::vector<XlsxISheetInfo>& sheets, std::shared_ptr<const XlsxIStyles> styles,
                     const Options& options);

    int pageCount() const { return int(m_pages.size()); }
    // The columns that start a page across, of the sheet at this index of
    // the laid-out sheets: none when the sheet fits the page's width.
    QList<int> columnBreaks(int sheet) const;
    // The page size in points, oriented.
    QSizeF pageSizePt() const { return m_pageSizePt; }
    // Draws one page onto a device of 150 dpi of the page's size.
    void paintPage(QPainter& p, int page) const;
    QImage pageImage(int page) const;
    // Writes every page into one PDF. report, when given, is told the pages
    // done and their count and stops the writing by returning false (the
    // file is then removed). False with the reason when nothing was written.
    using Report = std::function<bool(int done, int total)>;
    bool writePdf(const QString& path, const Report& report = {}, QString* error = nullptr) const;

    static constexpr double kDpi = kPageDpi;

private:
    struct Sheet {
        XlsxISheetInfo info;
        XlsxISheetGrid grid;
        QList<double> colEdge; // 150-dpi pixels from 0, hidden columns 0 wide
        QList<double> rowEdge;
        XlsxIMergeIndex merges;
        double scale = 1.0;
        QList<int> columnStarts; // grid column index of each page across, of the slice with most
    };
    struct Page {
        int sheet = 0;
        int firstRow = 0; // row numbers of the sheet
        int lastRow = 0;
        double scale = 1.0;
        double left = 0.0;  // what of the sheet's width the page shows
        double right = 0.0;
        double pageHeight = 0.0; // in page pixels
    };
    struct Box;

    void layOut(Sheet& sheet, const QList<int>& breaks, bool fitWidth, double contentWidth, double contentHeight);
    void paintCells(QPainter& p, const Sheet& sheet, const Page& page, double yOffset) const;
    void paintCharts(QPainter& p, const Sheet& sheet, const Page& page, double yOffset) const;

    std::vector<Sheet> m_sheets;
    std::shared_ptr<const XlsxIStyles> m_styles;
    std::vector<Page> m_pages;
    QSizeF m_pageSizePt;
};

// Breaks of a sheet as the preview places them on the given paper.
QList<int> iSheetAutoBreaks(const XlsxISheetInfo& sheet, const XlsxIStyles* styles, QSizeF paperPt, bool landscape,
                            bool fitWidth = true);

// The column indices that start a page across: a new page whenever the next
// column would pass the width; a column wider than the page has one of its own.
// edges from 0, one more than there are columns.
QList<int> iColumnStarts(const QList<double>& edges, double width);

// The characters of a line of text drawn from startX that start at from or
// after it and before to: (first index, count).
std::pair<qsizetype, qsizetype> iCharactersStartingIn(const QString& text, const QFontMetricsF& metrics, double startX,
                                                      double from, double to);
