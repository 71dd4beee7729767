#pragma once
// Removing objects the program did not write makes pdfium write the whole
// content stream again, which can lose or garble what pdfium does not write
// back faithfully (Type 3 text, text scaled by its matrix). Before such a
// removal the page is tried on a copy: removed, written, read back, rendered.
// Callers hold the pdfium lock.

#include "PdfiumApi.h"

#include <QRectF>

#include <vector>

namespace pdfengine {

// Whether removing the objects at indices from page pageIndex of doc (as the
// document stores it) leaves the page's render at 72 dpi and its text the same
// outside areas (displayed-page points). False when the trial cannot be made.
bool removalChangesOnlyInside(FPDF_DOCUMENT doc, int pageIndex, const std::vector<int>& indices,
                              const std::vector<QRectF>& areas);

// Whether an object appended to page pageIndex of doc is read back once the
// page is written: false where the page's own content never ends (an open
// string swallows what follows it). Tried on a copy of the page.
bool appendedContentReads(FPDF_DOCUMENT doc, int pageIndex);

} // namespace pdfengine
