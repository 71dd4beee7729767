#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLineF>
#include <QRectF>
#include <QString>

#include <memory>

namespace paint {

class Layer;

// A shape placed on the canvas but not yet painted into its layer.
struct PendingShape {
    enum Kind { None = 0, Rectangle = 1, Ellipse = 2, Line = 3, Text = 4 };

    int kind = None;
    QRectF rect;        // unrotated box in image pixels (rectangle, ellipse, text)
    QLineF line;        // end points in image pixels
    double rotation = 0; // degrees about the centre of rect, clockwise on screen
    QColor color;
    int width = 1;
    QImage snapshot;    // the layer's pixels before the shape: what cancel restores
    QString text;
    QFont font;

    // The layer the shape was drawn on and the picture size then; the canvas
    // binds them when the shape is set. The shape is dropped when either no
    // longer holds.
    std::weak_ptr<Layer> layer;
    QSize documentSize;
};

} // namespace paint
