#pragma once

#include "XlsxRecords.h"

#include <QRectF>

#include <utility>
#include <vector>

// Where a drawing puts one object, as written: between two cells, at a cell
// with an extent, or at a position with an extent. Cells count from 0,
// lengths are EMU (914,400 an inch).
struct XlsxIAnchor {
    enum Kind { TwoCell, OneCell, Absolute };
    Kind kind = TwoCell;
    int fromCol = 0;
    int fromRow = 0;
    int toCol = 0;
    int toRow = 0;
    qint64 fromColOff = 0;
    qint64 fromRowOff = 0;
    qint64 toColOff = 0;
    qint64 toRowOff = 0;
    bool hasPosition = false; // Absolute: x and y were given
    qint64 x = 0;
    qint64 y = 0;
    bool hasExtent = false;   // OneCell, Absolute: cx and cy were given
    qint64 cx = 0;
    qint64 cy = 0;
};

// The cells an object covers, as a two-cell anchor gives them.
struct XlsxICellBox {
    int fromCol = 0;
    int fromRow = 0;
    int toCol = 0;
    int toRow = 0;
};

// Places anchors on the cells of one sheet as the sheet shows them: hidden
// rows and columns take no room, a row is as high as written (15 points when
// not) and a column as wide as spreadsheet programs make it for the
// workbook's default font, so an extent covers the cells it covered for the
// author. Built once a sheet; each placement costs a few binary searches
// whatever the sheet hides.
class XlsxAnchorPlacer {
public:
    XlsxAnchorPlacer(const XlsxISheetData& sheet, double defaultFontPt);

    // The cells of the part `share` of the anchor's box (a chart in a group
    // takes its part of the group's box, which fills the anchor); false when
    // the sheet shows none of it: an extent of nothing, an absolute anchor
    // without a position, a two-cell anchor whose rows or columns are all
    // hidden (a spreadsheet collapses it to nothing).
    bool place(const XlsxIAnchor& anchor, const QRectF& share, XlsxICellBox& cells) const;

private:
    // One direction of the sheet: default-sized lines and the few written
    // otherwise, with the running difference they make.
    class Axis {
    public:
        Axis(int count, qint64 defaultSize, std::vector<std::pair<int, qint64>> special);
        qint64 start(int index) const;
        // The line a position lies in and how far into it; past the end, the
        // end of the last line.
        std::pair<int, qint64> at(qint64 position) const;
        // Whether every line of first..last takes no room.
        bool allEmpty(int first, int last) const;

    private:
        int m_count;
        qint64 m_default;
        std::vector<std::pair<int, qint64>> m_special; // index, size; by index
        std::vector<qint64> m_shift;                   // sum of (size - default) before each special
        std::vector<int> m_empty;                      // indices of lines without room
    };

    Axis m_cols;
    Axis m_rows;
};
