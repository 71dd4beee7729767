#pragma once

#include <QString>

#include <functional>

class PdfDocument;
class QPrinter;

// Printing pages as pictures the engine renders at the printer's resolution,
// each at the top-left corner of the printable area, scaled by the stored
// scale (read again for every page).
struct PrintOutcome {
    bool started = false;  // the painter began on the printer
    int printed = 0;       // pages drawn
    int firstFailedPage = -1;  // 0-based; a page that could not be rendered
    QString writeError;    // why the printout's file could not be written
};

// The 0-based pages [first, last] the printer's chosen range names, for a
// document of pageCount pages whose shown page is currentPage.
void printRangeFor(const QPrinter& printer, int pageCount, int currentPage, int* first, int* last);

// beforePage runs before each page is rendered, with its index. A printer
// that writes a file writes it aside, as every save does: the file takes
// its name only once the printout has ended whole, and a failed or killed
// printout leaves the file as it was.
PrintOutcome printPages(const PdfDocument& document, QPrinter& printer, int first, int last,
                        const std::function<void(int)>& beforePage);
