#pragma once
// A box on a page whose content runs turned: a rectangle in its own frame,
// turned about a centre by some degrees clockwise as displayed (PDF points,
// y up). A turned line, block or white-out is one; an upright box is one with
// no turn.

#include "TextBlock.h"

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QTransform>

struct TurnedBox {
    QRectF rect;          // in the box's own frame
    double rotation = 0;  // clockwise as displayed
    QPointF centre;       // the point the frame is turned about

    TurnedBox() = default;
    // Turned about the rectangle's own centre.
    TurnedBox(const QRectF& r, double degrees) : rect(r), rotation(degrees), centre(r.center()) {}
    TurnedBox(const QRectF& r, double degrees, const QPointF& about) : rect(r), rotation(degrees), centre(about) {}

    bool isNull() const { return rect.isNull(); }
    bool isTurned() const;
    // Maps the frame onto the page, and the page into the frame.
    QTransform toPage() const;
    QTransform toFrame() const;
    bool contains(const QPointF& pagePoint) const;
    QPolygonF polygon() const;
    // The upright box around it on the page.
    QRectF bounds() const;
    // Grown by the given points on every side, in its own frame.
    TurnedBox grown(double by) const;
    // Moved by a page offset, turned as it was.
    TurnedBox translated(const QPointF& by) const { return TurnedBox(rect.translated(by), rotation, centre + by); }
};

// A box the user moved: where it stood, and by how much it moved (PDF
// points, y up).
struct MovedBox {
    TurnedBox from;
    QPointF by;

    // Where it went.
    TurnedBox landing() const { return from.translated(by); }
};

// A word the user left in a line corrected where it stands: where it stood
// and where it went (it moved whole, or stayed: by is null).
struct KeptWordPlace {
    MovedBox place;
    QString text;
};

// Turns clockwise as displayed by degrees about centre (y grows upward).
QTransform clockwiseTurn(const QPointF& centre, double degrees);

// Where a line stands on the page: rect (its box in the block's frame)
// turned with its block about blockCentre, and by its own turn about its
// own centre.
TurnedBox lineOnPage(const QRectF& rect, double lineTurn, double blockRotation, const QPointF& blockCentre);

// A word of a turned line placed in the line's frame: the word's box is kept
// turned about its own centre, and its centre lands where it stands.
QRectF wordInLineFrame(const TextBlock::Line& line, const QRectF& wordRect);

// A block's line whose box on the page holds a point (each line grown by
// margin in its own frame): of several, the one whose middle the point is
// nearest across the line. distance is that, in points.
struct LineHit {
    int line = -1;
    double distance = 0;
};
LineHit lineOfBlockAt(const TextBlock& block, const QPointF& pagePoint, double margin);

// Some line of the block runs turned on its own (a skewed scan's).
bool hasTurnedLines(const TextBlock& block);
