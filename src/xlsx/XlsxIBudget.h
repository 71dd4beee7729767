#pragma once

#include <QtGlobal>

// What one workbook may make the readers hold, shared by all readers of one
// package, and how the reading ended. Limits can be lowered for tests.
struct XlsxIBudget {
    static constexpr qint64 kEntryBytes = qint64(128) << 20;
    static constexpr qint64 kTotalBytes = qint64(1) << 30;
    static constexpr qint64 kItems = 2'000'000;
    // Characters of text kept (two bytes each): entity references and the
    // widening to UTF-16 let text outgrow the inflated bytes it came from.
    static constexpr qint64 kTextChars = 64'000'000;

    qint64 entryBytes = kEntryBytes; // one inflated part
    qint64 bytesLeft = kTotalBytes;  // all inflated parts together
    qint64 itemsLeft = kItems;       // cells, strings, style entries, merges, widths, points
    qint64 textChars = kTextChars;   // all text kept: cells, strings, names, codes, chart texts
    qint64 textKept = 0;
    bool tooLarge = false;           // a limit was reached; what came before stays
    bool tooMuchText = false;        // with tooLarge: the text limit was the one reached
    bool damaged = false;            // the part being read broke off; what came before stays

    // Takes n items; false (and tooLarge) when they are not left.
    bool take(qint64 n = 1)
    {
        if (tooLarge || n > itemsLeft) {
            tooLarge = true;
            return false;
        }
        itemsLeft -= n;
        return true;
    }

    // Counts chars of text about to be kept; false (and tooLarge) past the limit.
    bool keepText(qint64 chars)
    {
        if (tooLarge)
            return false;
        if (chars > textChars - textKept) {
            tooLarge = true;
            tooMuchText = true;
            return false;
        }
        textKept += chars;
        return true;
    }
};
