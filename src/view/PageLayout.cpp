#include "PageLayout.h"

#include <algorithm>

namespace {

int normalizedDegrees(int degrees)
{
    return ((degrees % 360) + 360) % 360;
}

} // namespace

void PageLayout::setPageSizes(std::vector<QSizeF> sizes)
{
    m_sizes = std::move(sizes);
    m_tableValid = false;
}

void PageLayout::setZoom(double zoom)
{
    m_zoom = zoom;
    m_tableValid = false;
}

void PageLayout::setRotations(int viewDegrees, const QHash<int, int>& pageDegrees)
{
    m_viewDegrees = viewDegrees;
    m_pageDegrees = pageDegrees;
    m_tableValid = false;
}

int PageLayout::effectiveRotation(int page) const
{
    return normalizedDegrees(m_viewDegrees + m_pageDegrees.value(page, 0));
}

QSizeF PageLayout::displayedPointSize(int page) const
{
    const QSizeF size = pagePointSize(page);
    return quarterTurns(page) % 2 == 0 ? size : size.transposed();
}

QSize PageLayout::pixelSize(int page) const
{
    const QSizeF size = displayedPointSize(page);
    return QSize(int(size.width() * m_zoom), int(size.height() * m_zoom));
}

void PageLayout::ensureTable() const
{
    if (m_tableValid)
        return;
    m_tops.assign(m_sizes.size() + 1, kPageGap);
    m_maxWidth = 0;
    int y = kPageGap;
    for (int page = 0; page < pageCount(); ++page) {
        const QSize pixels = pixelSize(page);
        m_tops[size_t(page)] = y;
        y += pixels.height() + kPageGap;
        m_maxWidth = std::max(m_maxWidth, pixels.width() + 2 * kPageGap);
    }
    m_tops.back() = y;
    m_tableValid = true;
}

int PageLayout::continuousTop(int page) const
{
    ensureTable();
    return m_tops[size_t(std::clamp(page, 0, pageCount()))];
}

int PageLayout::continuousHeight() const
{
    ensureTable();
    return m_tops.back();
}

int PageLayout::continuousWidth() const
{
    ensureTable();
    return m_maxWidth;
}

int PageLayout::firstPageEndingBelow(int contentY) const
{
    ensureTable();
    // The bottom of page i is tops[i + 1] - gap; the first bottom beyond contentY.
    const auto begin = m_tops.begin() + 1;
    const auto it = std::upper_bound(begin, m_tops.end(), contentY + kPageGap);
    return int(it - begin);
}

int PageLayout::pageAtContentY(int contentY) const
{
    const int page = firstPageEndingBelow(contentY);
    if (page >= pageCount() || contentY < continuousTop(page))
        return -1;
    return page;
}

QTransform PageLayout::pageTopToPixels(int page) const
{
    const QSizeF size = pagePointSize(page);
    const double w = size.width();
    const double h = size.height();
    QTransform turn;
    switch (quarterTurns(page)) {
    case 1: // clockwise: the top-left corner goes to the top-right
        turn = QTransform(0, 1, -1, 0, h, 0);
        break;
    case 2:
        turn = QTransform(-1, 0, 0, -1, w, h);
        break;
    case 3:
        turn = QTransform(0, -1, 1, 0, 0, w);
        break;
    default:
        break;
    }
    return turn * QTransform::fromScale(m_zoom, m_zoom);
}
