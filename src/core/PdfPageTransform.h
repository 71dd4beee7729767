#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

// Maps between pdfium's user space (unrotated, origin at the media box origin)
// and the displayed page: the page as the reader sees it after /Rotate, origin
// at its bottom-left corner, y upward, in points. Text, link and object boxes
// come from pdfium in user space; everything the rest of the system handles is
// in displayed-page space.
class PdfPageTransform {
public:
    PdfPageTransform() = default;
    // box: the visible page box in user space (crop box within the media box);
    // rotation: the page's /Rotate in clockwise quarter turns (any integer).
    PdfPageTransform(const QRectF& box, int quarterTurns);

    QPointF toPage(const QPointF& user) const;
    QPointF toUser(const QPointF& page) const;
    QRectF toPage(const QRectF& user) const;
    QRectF toUser(const QRectF& page) const;

    // The map from displayed-page points to user space, for placing objects.
    QTransform toUserMatrix() const;

    QSizeF pageSize() const;
    int quarterTurns() const { return m_turns; }
    QRectF userBox() const { return m_box; }
    bool isIdentity() const;

private:
    QRectF m_box;
    int m_turns = 0;
};
