#pragma once

#include <QColor>
#include <QPoint>

namespace paint {

class Document;

// One segment on the active layer; nothing without an active layer.
void drawLine(Document* doc, QPoint from, QPoint to, QColor color, int width);
void eraseLine(Document* doc, QPoint from, QPoint to, int width);
void pencilLine(Document* doc, QPoint from, QPoint to, QColor color);

// The end point turned to the nearest multiple of 15 degrees, length kept.
QPoint angleSnap(const QPoint& from, const QPoint& to);
// The end point that makes the drag a square; zero counts as positive.
QPoint squareSnap(const QPoint& from, const QPoint& to);

} // namespace paint
