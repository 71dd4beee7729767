#pragma once
// Guesses the font of a recognised line by rendering its text in candidate
// fonts and sizes and keeping the rendering whose ink best overlaps the scan.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

struct FontMatch {
    QString family;
    float size = 10.0f; // points
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
};

class FontMatcher {
public:
    // crop: the line's pixels; sizeHint: the line height in points.
    static FontMatch match(const QImage &crop, const QString &text, float sizeHint);

    static QColor estimateTextColor(const QImage &image);
    static QImage binarize(const QImage &image);
    // Overlap of the inked pixels of both images (a scaled to b's size), 0..1.
    static float dice(const QImage &a, const QImage &b);
    static QImage renderBlock(const QString &text, const QString &family, float pixelSize, bool bold,
                              bool italic, int width, int height);
};

// Bounds of the pixels whose grey value is below threshold; empty when none.
QRect darkBounds(const QImage &image, int threshold = 190);
