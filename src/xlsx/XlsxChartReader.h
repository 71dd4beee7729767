#pragma once

#include "XlsxRecords.h"
#include "XlsxReferences.h"

#include <QByteArray>

struct XlsxIBudget;

// Reads one chart part: its kind, title and the cached series values. The
// anchor fields stay 0. Empty or unreadable input gives NoChart.
XlsxIChart iParseChart(const QByteArray& xml, XlsxIBudget* budget = nullptr);

// Drops the points of cells in hidden rows and columns when the chart plots
// visible cells only; a cache the writer filtered already is kept. False
// when a series' values stand for a reference that is not resolved while a
// sheet it may point to (any of allSheets when it cannot be read) hides rows
// or columns: such a chart would draw hidden values and is left out.
bool iDropHiddenPoints(XlsxIChart& chart, const XlsxReferences& references, const QStringList& allSheets);
