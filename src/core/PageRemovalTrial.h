#pragma once
// Trials of a page change on a copy before the change is kept: a removal made
// in the file's bytes, and appending to a page whose content may never end.
// Callers hold the pdfium lock.

#include "PdfiumApi.h"

#include <QByteArray>
#include <QRectF>
#include <QString>

#include <vector>

namespace pdfengine {

// Whether page pageIndex looks and reads in after as in before outside areas
// (displayed-page points): rendered at 150 dpi by pdfium and, where it is
// installed, by poppler's pdftoppm, and its text read by pdfium. False with
// the reason when anything else changed or a render failed. compareText:
// the text outside the areas must read the same too.
bool bytesChangeOnlyInside(const QByteArray& before, const QByteArray& after, int pageIndex,
                           const std::vector<QRectF>& areas, bool compareText, QString* reason);

// Whether an object appended to page pageIndex of doc is read back once the
// page is written: false where the page's own content never ends (an open
// string swallows what follows it). Tried on a copy of the page.
bool appendedContentReads(FPDF_DOCUMENT doc, int pageIndex);

} // namespace pdfengine
