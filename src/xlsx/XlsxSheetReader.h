#pragma once

#include "XlsxRecords.h"

#include <QByteArray>

struct XlsxIBudget;

// Reads one worksheet part: cell values with their style, column widths, row
// heights and merged ranges, all clipped to A1:XFD1048576. Always returns an
// object; malformed input keeps what was read before the fault. When
// drawingId is given it receives the relationship id of the first drawing,
// tableIds those of the sheet's tables. Dates written as ISO 8601 text are
// read as serial day numbers of the workbook's date system (date1904: day 0
// is 1 January 1904).
std::unique_ptr<XlsxISheetData> iParseSheet(const QByteArray& xml, const QList<QString>& sharedStrings,
                                            XlsxIBudget* budget = nullptr, QString* drawingId = nullptr,
                                            QStringList* tableIds = nullptr, bool date1904 = false);
