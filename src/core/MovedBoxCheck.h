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

// Each moved box of page afterIndex of after against page beforeIndex of
// before, drawn by pdfium with only what moved: on before the objects whose
// glyphs stood in the box (and the paths wholly inside it), shifted by the
// move; on after the moved content the program drew at the new place. Ink
// of lines that stayed, above, below or where the box went, takes no part.
// A glyph may land a device pixel off (readers place glyphs below the
// pixel); another glyph, or one missing, is a difference. False with the
// reason when a box differs.
bool movedBoxesLookAsBefore(FPDF_DOCUMENT before, int beforeIndex, FPDF_DOCUMENT after, int afterIndex,
                            const std::vector<MovedBox>& moved, QString* reason);

// The words the user left in lines corrected where they stand (each its
// old box, displayed-page points, and where it went), held as moved boxes
// are: each drawn with the page's text whose glyphs stand in its box (what
// is drawn under or over it takes no part), the words the program typed
// left out on after. The index of the first that
// looks otherwise (reason empty) or cannot be drawn (reason tells why); -1
// when every one looks as it did.
int keptWordUnlike(FPDF_DOCUMENT before, int beforeIndex, FPDF_DOCUMENT after, int afterIndex,
                   const std::vector<MovedBox>& words, QString* reason);

// Each glyph the program wrote on after in a font before draws its own text
// with has the shape before gives that letter in that font in the places the
// edit cleared (the lines written again), or anywhere on the page where
// those do not hold the letter: a line written again in the page's face is
// read back by its glyphs, not only by its letters. The program's text that
// before holds as it stands (an earlier session's) is not written anew.
// False with the first letter that differs. Places in displayed-page points.
bool writtenGlyphsAsPage(FPDF_PAGE before, FPDF_PAGE after, const std::vector<TurnedBox>& cleared, QString* letter);

}  // namespace pdfengine
