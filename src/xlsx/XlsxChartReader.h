#pragma once

#include "XlsxRecords.h"

#include <QByteArray>

#include <functional>

struct XlsxIBudget;

// Reads one chart part: its kind, title and the cached series values. The
// anchor fields stay 0. Empty or unreadable input gives NoChart.
XlsxIChart iParseChart(const QByteArray& xml, XlsxIBudget* budget = nullptr);

// A defined name of a workbook: its scope sheet (empty for the whole
// workbook) and the reference it stands for.
struct XlsxIDefinedName {
    QString name;
    QString sheet;
    QString formula;
};

// Drops the points of cells in hidden rows and columns when the chart plots
// visible cells only. References may be several areas, whole rows or
// columns and defined names; sheetNamed gives a sheet by name (hidden sheets
// too), null when unknown. A cache the writer filtered already is kept.
void iDropHiddenPoints(XlsxIChart& chart, const std::function<const XlsxISheetData*(const QString&)>& sheetNamed,
                       const QList<XlsxIDefinedName>& names = {});
