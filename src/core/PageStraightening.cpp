#include "PageStraightening.h"

#include <cmath>
#include <numbers>

namespace {

QPointF turned(const QPointF &p, const QPointF &centre, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    const QPointF d = p - centre;
    return centre + QPointF(d.x() * c + d.y() * s, d.y() * c - d.x() * s);
}

} // namespace

QPointF PageStraightening::toScan(const QPointF &pixel) const
{
    return isTurned() ? turned(pixel, centre, degrees) : pixel;
}

QPointF PageStraightening::toStraightened(const QPointF &pixel) const
{
    return isTurned() ? turned(pixel, centre, -degrees) : pixel;
}

QRectF PageStraightening::rectToScan(const QRectF &rect, double scale, double pageHeight) const
{
    if (!isTurned() || !hasArea(rect) || !(scale > 0))
        return rect;
    const QPointF pixel(rect.center().x() * scale, (pageHeight - rect.center().y()) * scale);
    const QPointF onScan = toScan(pixel);
    QRectF moved = rect;
    moved.moveCenter(QPointF(onScan.x() / scale, pageHeight - onScan.y() / scale));
    return moved;
}

void PageStraightening::blocksToScan(std::vector<TextBlock> &blocks, double scale, double pageHeight) const
{
    if (!isTurned())
        return;
    const auto move = [&](QRectF &r) { r = rectToScan(r, scale, pageHeight); };
    for (TextBlock &block : blocks) {
        const bool sameRect = block.originalRect == block.rect;
        QRectF linesRect;
        for (TextBlock::Line &line : block.lines) {
            move(line.rect);
            // Straightened text stands turned back on the scan.
            if (!block.isImage)
                line.turn = -degrees;
            for (TextBlock::Line::Word &word : line.words)
                move(word.rect);
            if (hasArea(line.rect))
                linesRect = linesRect.isNull() ? line.rect : linesRect.united(line.rect);
        }
        // Lines at different heights move apart a little: the block keeps holding them.
        if (linesRect.isNull())
            move(block.rect);
        else
            block.rect = linesRect;
        if (sameRect)
            block.originalRect = block.rect;
        else
            move(block.originalRect);
    }
}
