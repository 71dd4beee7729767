#pragma once

#include "XlsxRecords.h"

// The text a number shows under a format: dates as "dd.MM.yyyy", percent,
// fixed decimals and English thousands grouping; anything else as a plain
// number. Values no integer can hold take the plain-number path.
QString iFormatNum(double value, int numFmtId, const QString& code);

// The code of a built-in format id; empty for ids without one.
QString iBuiltinFormat(int numFmtId);

// The text a painter draws for a cell: a number formatted by its cell format's
// code, an integral 32-bit number without a code as that integer, and every
// other cell as stored.
QString iDisplayText(const XlsxICell& cell, const XlsxIStyles* styles);
