#pragma once
// The turn that straightens a skewed scan before recognition, and the way
// back: boxes found on the straightened copy are placed on the page as shown.

#include "TextBlock.h"

#include <QPointF>
#include <QRectF>

#include <vector>

struct PageStraightening {
    double degrees = 0.0; // clockwise turn that straightened the scan; 0: none
    QPointF centre;       // the pixel the turn is about

    bool isTurned() const { return degrees != 0.0; }
    // A pixel position of the straightened copy on the scan, and back.
    QPointF toScan(const QPointF &pixel) const;
    QPointF toStraightened(const QPointF &pixel) const;
    // A box in points (bottom-left origin) found on the straightened copy,
    // moved so that its centre lies on the same point of the scan; a box of
    // straightened text keeps its size.
    QRectF rectToScan(const QRectF &rect, double scale, double pageHeight) const;
    // Every box of the blocks, their lines and words, moved onto the scan;
    // text lines take the scan's turn.
    void blocksToScan(std::vector<TextBlock> &blocks, double scale, double pageHeight) const;
};
