#include "XlsxAnchorPlacer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

namespace {

constexpr int kSheetColumns = 16384;
constexpr int kSheetRows = 1048576;
constexpr qint64 kEmuPerPixel = 9525; // at 96 dpi
constexpr qint64 kEmuPerPoint = 12700;
constexpr double kDefaultRowPt = 15.0;
// A column without a width holds this many digits and the padding around them.
constexpr double kDefaultColumnDigits = 8.43;
constexpr int kColumnPaddingPx = 5;
// A digit of the usual default fonts (Calibri, Arial) is about half an em wide.
constexpr double kDigitEm = 0.5;

// The widest digit of the default font in whole pixels at 96 dpi, as
// spreadsheet programs measure column widths: 7 for Calibri 11 and Arial 10.
int digitPx(double fontPt)
{
    return std::max(1, int(std::lround(fontPt * 96.0 / 72.0 * kDigitEm)));
}

// A column of the given width in characters (its padding included), in
// whole pixels as spreadsheet programs lay it out.
qint64 columnEmu(double width, int digit)
{
    const double px = std::floor((256.0 * width + std::floor(128.0 / digit)) / 256.0 * digit);
    return qint64(std::max(px, 0.0)) * kEmuPerPixel;
}

} // namespace

XlsxAnchorPlacer::Axis::Axis(int count, qint64 defaultSize, std::vector<std::pair<int, qint64>> special)
    : m_count(count), m_default(defaultSize), m_special(std::move(special))
{
    m_shift.reserve(m_special.size() + 1);
    qint64 shift = 0;
    for (const auto& [index, size] : m_special) {
        m_shift.push_back(shift);
        shift += size - m_default;
        if (size == 0)
            m_empty.push_back(index);
    }
    m_shift.push_back(shift);
}

qint64 XlsxAnchorPlacer::Axis::start(int index) const
{
    index = std::clamp(index, 0, m_count);
    const auto before = std::lower_bound(m_special.cbegin(), m_special.cend(), index,
                                         [](const std::pair<int, qint64>& s, int i) { return s.first < i; });
    return qint64(index) * m_default + m_shift.at(size_t(before - m_special.cbegin()));
}

std::pair<int, qint64> XlsxAnchorPlacer::Axis::at(qint64 position) const
{
    position = std::max<qint64>(position, 0);
    // The last line starting at or before the position: lines without room
    // start where the next one does, so it is one with room.
    int low = 0;
    int high = m_count - 1;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (start(middle) <= position)
            low = middle;
        else
            high = middle - 1;
    }
    const qint64 begin = start(low);
    return {low, std::min(position - begin, start(low + 1) - begin)};
}

bool XlsxAnchorPlacer::Axis::allEmpty(int first, int last) const
{
    last = std::max(first, last);
    const auto from = std::lower_bound(m_empty.cbegin(), m_empty.cend(), first);
    const auto to = std::upper_bound(from, m_empty.cend(), last);
    return qint64(to - from) == qint64(last) - first + 1;
}

namespace {

template <typename Sizes>
std::vector<std::pair<int, qint64>> specialLines(const Sizes& sizes, const QSet<int>& hidden, int base, int count,
                                                 const std::function<qint64(double)>& emu)
{
    std::map<int, qint64> lines;
    for (auto it = sizes.cbegin(); it != sizes.cend(); ++it) {
        if (it.key() - base >= 0 && it.key() - base < count)
            lines[it.key() - base] = emu(it.value());
    }
    for (int line : hidden) {
        if (line - base >= 0 && line - base < count)
            lines[line - base] = 0;
    }
    return {lines.cbegin(), lines.cend()};
}

} // namespace

XlsxAnchorPlacer::XlsxAnchorPlacer(const XlsxISheetData& sheet, double defaultFontPt)
    : m_cols(kSheetColumns,
             qint64(std::floor(kDefaultColumnDigits * digitPx(defaultFontPt) + kColumnPaddingPx)) * kEmuPerPixel,
             specialLines(sheet.colWidths, sheet.hiddenCols, 0, kSheetColumns,
                          [digit = digitPx(defaultFontPt)](double width) { return columnEmu(width, digit); })),
      m_rows(kSheetRows, qint64(kDefaultRowPt * kEmuPerPoint),
             // Rows count from 1 in the sheet, from 0 in drawings.
             specialLines(sheet.rowHeights, sheet.hiddenRows, 1, kSheetRows,
                          [](double points) { return qint64(std::llround(std::max(points, 0.0) * kEmuPerPoint)); }))
{
}

bool XlsxAnchorPlacer::place(const XlsxIAnchor& anchor, const QRectF& share, XlsxICellBox& cells) const
{
    const bool whole = share == QRectF(0, 0, 1, 1);
    if (anchor.kind == XlsxIAnchor::TwoCell && whole) {
        cells = {anchor.fromCol, anchor.fromRow, anchor.toCol, anchor.toRow};
        // The last line is covered only as far as its offset reaches into it.
        const int lastCol = anchor.toColOff > 0 ? anchor.toCol : anchor.toCol - 1;
        const int lastRow = anchor.toRowOff > 0 ? anchor.toRow : anchor.toRow - 1;
        return !m_cols.allEmpty(anchor.fromCol, lastCol) && !m_rows.allEmpty(anchor.fromRow, lastRow);
    }
    qint64 x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    switch (anchor.kind) {
    case XlsxIAnchor::TwoCell:
        x0 = m_cols.start(anchor.fromCol) + anchor.fromColOff;
        y0 = m_rows.start(anchor.fromRow) + anchor.fromRowOff;
        x1 = m_cols.start(anchor.toCol) + anchor.toColOff;
        y1 = m_rows.start(anchor.toRow) + anchor.toRowOff;
        break;
    case XlsxIAnchor::OneCell:
        x0 = m_cols.start(anchor.fromCol) + anchor.fromColOff;
        y0 = m_rows.start(anchor.fromRow) + anchor.fromRowOff;
        x1 = x0 + anchor.cx;
        y1 = y0 + anchor.cy;
        break;
    case XlsxIAnchor::Absolute:
        if (!anchor.hasPosition)
            return false;
        x0 = anchor.x;
        y0 = anchor.y;
        x1 = x0 + anchor.cx;
        y1 = y0 + anchor.cy;
        break;
    }
    if (anchor.kind != XlsxIAnchor::TwoCell && (!anchor.hasExtent || anchor.cx <= 0 || anchor.cy <= 0))
        return false;
    const double width = double(x1 - x0);
    const double height = double(y1 - y0);
    const auto [fromCol, fromColOff] = m_cols.at(x0 + std::llround(share.left() * width));
    const auto [fromRow, fromRowOff] = m_rows.at(y0 + std::llround(share.top() * height));
    const auto [toCol, toColOff] = m_cols.at(x0 + std::llround(share.right() * width));
    const auto [toRow, toRowOff] = m_rows.at(y0 + std::llround(share.bottom() * height));
    cells = {fromCol, fromRow, toCol, toRow};
    // An object placed at a cell starts there, its room hidden or not.
    if (anchor.kind == XlsxIAnchor::OneCell && whole) {
        cells.fromCol = anchor.fromCol;
        cells.fromRow = anchor.fromRow;
    }
    if (cells.toCol < cells.fromCol || cells.toRow < cells.fromRow)
        return false;
    if (anchor.kind != XlsxIAnchor::TwoCell)
        return true;
    return !m_cols.allEmpty(fromCol, toColOff > 0 ? toCol : toCol - 1) &&
           !m_rows.allEmpty(fromRow, toRowOff > 0 ? toRow : toRow - 1);
}
