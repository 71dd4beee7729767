#pragma once

#include "XlsxRecords.h"

#include <QByteArray>

#include <functional>

struct XlsxIBudget;

// Reads one chart part: its kind, title and the cached series values. The
// anchor fields stay 0. Empty or unreadable input gives NoChart.
XlsxIChart iParseChart(const QByteArray& xml, XlsxIBudget* budget = nullptr);

// Drops the points of cells in hidden rows and columns when the chart plots
// visible cells only; sheetNamed gives a sheet by name, null when unknown.
void iDropHiddenPoints(XlsxIChart& chart, const std::function<const XlsxISheetData*(const QString&)>& sheetNamed);
