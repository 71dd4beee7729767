#pragma once
// Whether text the user only moved looks, where it went, as it looked where
// it stood: a moved line keeps its glyphs, and a writer that drew others in
// their place (another code of the same letter, a variant glyph, a stand-in
// face) is caught by the pixels, whatever its text reads. Callers hold the
// pdfium lock.

#include "PdfiumApi.h"
#include "TurnedBox.h"

#include <QString>

#include <vector>

namespace pdfengine {

// Each moved box of after against before: both drawn by pdfium, before
// shifted by the move, so the moved glyphs fall on the same pixels. Where
// before already showed ink at the new place (a line the box now stands
// over) a pixel is passed over. False with the reason when a box differs.
bool movedBoxesLookAsBefore(FPDF_PAGE before, FPDF_PAGE after, const std::vector<MovedBox>& moved, QString* reason);

}  // namespace pdfengine
