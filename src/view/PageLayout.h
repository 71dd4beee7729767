#pragma once
// Where the pages of a document stand on the view's canvas: pixel sizes at a
// zoom and rotation, the continuous-mode tops as a prefix table (built once per
// change, so an offset or a hit test never walks the pages), and the mapping
// from page-top points to page pixels through the page's rotation.

#include <QHash>
#include <QSize>
#include <QSizeF>
#include <QTransform>

#include <vector>

class PageLayout {
public:
    // Space above the first page and between pages, in pixels.
    static constexpr int kPageGap = 10;

    void setPageSizes(std::vector<QSizeF> sizes);
    void setZoom(double zoom);
    void setRotations(int viewDegrees, const QHash<int, int>& pageDegrees);

    int pageCount() const { return int(m_sizes.size()); }
    bool hasPage(int page) const { return page >= 0 && page < pageCount(); }
    double zoom() const { return m_zoom; }

    // The page as the engine reports it: displayed size after /Rotate, in points
    // (empty for a page the layout does not hold, as while a document changes).
    QSizeF pagePointSize(int page) const { return hasPage(page) ? m_sizes[size_t(page)] : QSizeF(); }
    // View rotation plus the page's own extra view rotation, 0..359.
    int effectiveRotation(int page) const;
    // Whole quarter turns the page is shown with (pdfium renders only those).
    int quarterTurns(int page) const { return effectiveRotation(page) / 90; }
    // Size on screen at zoom 1, in points, sides swapped for odd quarter turns.
    QSizeF displayedPointSize(int page) const;
    // Size on screen in whole pixels (truncated).
    QSize pixelSize(int page) const;

    // Continuous mode: content y of a page's top edge, and the canvas extent.
    int continuousTop(int page) const;
    int continuousHeight() const;
    int continuousWidth() const;
    // The page whose rows hold content y, or -1 in a gap or outside.
    int pageAtContentY(int contentY) const;
    // The first page whose bottom edge lies below content y (pageCount when none).
    int firstPageEndingBelow(int contentY) const;

    // Page-top points (zoom 1, unrotated, origin top-left) to pixels relative to
    // the page's top-left corner on screen, through rotation and zoom.
    QTransform pageTopToPixels(int page) const;

private:
    void ensureTable() const;

    std::vector<QSizeF> m_sizes;
    double m_zoom = 1.0;
    int m_viewDegrees = 0;
    QHash<int, int> m_pageDegrees;

    mutable bool m_tableValid = false;
    mutable std::vector<int> m_tops; // pageCount + 1 entries; the last is the canvas height
    mutable int m_maxWidth = 0;
};
