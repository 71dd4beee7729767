#pragma once

#include "XlsxRecords.h"

#include <QColor>

// The text a number shows under a format: dates as "dd.MM.yyyy", times on a
// 24-hour clock ("12:30", "7:05:09", elapsed "[h]" hours) unless the code
// has an AM/PM marker, percent, fixed decimals and English thousands grouping
// of every digit; anything else as a plain number. date1904: day 0 is
// 1 January 1904 instead of 30 December 1899.
QString iFormatNum(double value, int numFmtId, const QString& code, bool date1904 = false);

// A text cell's text under a format: through the code's fourth section
// (empty hides it, "@" stands for the text), else through the section that
// places the text ("@\" руб.\""); as it is without either.
QString iFormatText(const QString& text, const QString& code);

// The code of a built-in format id; empty for ids without one.
QString iBuiltinFormat(int numFmtId);

// The text a painter draws for a cell: a number formatted by its cell format's
// code, an integral 32-bit number without a code as that integer, and every
// other cell as stored.
QString iDisplayText(const XlsxICell& cell, const XlsxIStyles* styles);

// The colour a cell's format gives its text ("[Red]", "[Color10]" of the
// section it shows through); invalid when it gives none.
QColor iDisplayColour(const XlsxICell& cell, const XlsxIStyles* styles);

// Whether a number cell shows in the General format, which a narrow column
// shortens rather than filling with "#".
bool iIsGeneral(const XlsxICell& cell, const XlsxIStyles* styles);
