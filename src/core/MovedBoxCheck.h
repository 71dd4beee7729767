#pragma once
// Whether text keeps its glyphs: a line the user only moved looks, where it
// went, as it looked where it stood, and a line written again in the page's
// own face draws each letter with the glyph the page draws it with. A writer
// that drew others (another code of the same letter, a variant glyph, a
// stand-in face) is caught, whatever its text reads. Callers hold the pdfium
// lock.

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

// Each glyph the program wrote on after in a font before draws its own text
// with has the shape before gives that letter in that font in the places the
// edit cleared (the lines written again), or anywhere on the page where
// those do not hold the letter: a line written again in the page's face is
// read back by its glyphs, not only by its letters. False with the first
// letter that differs. Places in displayed-page points.
bool writtenGlyphsAsPage(FPDF_PAGE before, FPDF_PAGE after, const std::vector<TurnedBox>& cleared, QString* letter);

}  // namespace pdfengine
