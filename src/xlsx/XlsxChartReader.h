#pragma once

#include "XlsxRecords.h"

#include <QByteArray>

struct XlsxIBudget;

// Reads one chart part: its kind, title and the cached series values. The
// anchor fields stay 0. Empty or unreadable input gives NoChart.
XlsxIChart iParseChart(const QByteArray& xml, XlsxIBudget* budget = nullptr);
