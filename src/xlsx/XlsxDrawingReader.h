#pragma once

#include "XlsxAnchorPlacer.h"

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QString>

struct XlsxIBudget;

// One chart a drawing part shows: its relationship id, the anchor it sits
// in and the part of the anchor's box it takes: the whole, or its share of
// the box of its group, which fills the anchor.
struct XlsxIDrawnChart {
    QString relationshipId;
    XlsxIAnchor anchor;
    QRectF share = QRectF(0, 0, 1, 1);
};

// The charts of a drawing part in drawing order, in two-cell, one-cell and
// absolute anchors, alone or in groups. Charts the author hid, themselves or
// through a group, or does not print with the sheet are left out. Each chart
// takes an item of the budget.
QList<XlsxIDrawnChart> iParseDrawing(const QByteArray& xml, XlsxIBudget& budget);
