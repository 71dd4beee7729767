#include "TurnedBox.h"

#include <algorithm>
#include <cmath>

bool TurnedBox::isTurned() const
{
    return std::abs(rotation) > kBlockRotationEpsilon / 10;
}

QTransform clockwiseTurn(const QPointF& centre, double degrees)
{
    QTransform turn;
    if (degrees == 0)
        return turn;
    turn.translate(centre.x(), centre.y());
    turn.rotate(-degrees);  // y grows upward: clockwise as displayed is negative
    turn.translate(-centre.x(), -centre.y());
    return turn;
}

QTransform TurnedBox::toPage() const
{
    return clockwiseTurn(centre, rotation);
}

QTransform TurnedBox::toFrame() const
{
    return clockwiseTurn(centre, -rotation);
}

bool TurnedBox::contains(const QPointF& pagePoint) const
{
    return rect.contains(toFrame().map(pagePoint));
}

QPolygonF TurnedBox::polygon() const
{
    return toPage().map(QPolygonF(rect));
}

QRectF TurnedBox::bounds() const
{
    return isTurned() ? toPage().mapRect(rect) : rect;
}

TurnedBox TurnedBox::grown(double by) const
{
    TurnedBox box = *this;
    box.rect = rect.normalized().adjusted(-by, -by, by, by);
    return box;
}

TurnedBox lineOnPage(const QRectF& rect, double lineTurn, double blockRotation, const QPointF& blockCentre)
{
    QRectF placed = rect;
    placed.moveCenter(clockwiseTurn(blockCentre, blockRotation).map(rect.center()));
    return TurnedBox(placed, blockRotation + lineTurn);
}

QRectF wordInLineFrame(const TextBlock::Line& line, const QRectF& wordRect)
{
    if (std::abs(line.turn) <= kBlockRotationEpsilon / 10)
        return wordRect;
    QRectF inFrame = wordRect;
    inFrame.moveCenter(clockwiseTurn(line.rect.center(), -line.turn).map(wordRect.center()));
    return inFrame;
}

LineHit lineOfBlockAt(const TextBlock& block, const QPointF& pagePoint, double margin)
{
    LineHit hit;
    for (int k = 0; k < int(block.lines.size()); ++k) {
        const TextBlock::Line& line = block.lines[size_t(k)];
        if (!hasArea(line.rect))
            continue;
        const TurnedBox box = lineOnPage(line.rect, line.turn, block.rotation, block.rect.center());
        if (!box.grown(margin).contains(pagePoint))
            continue;
        const double distance = std::abs(box.toFrame().map(pagePoint).y() - box.rect.center().y());
        if (hit.line < 0 || distance < hit.distance)
            hit = {k, distance};
    }
    return hit;
}

bool hasTurnedLines(const TextBlock& block)
{
    return std::any_of(block.lines.begin(), block.lines.end(),
                       [](const TextBlock::Line& line) { return std::abs(line.turn) > kBlockRotationEpsilon / 10; });
}
