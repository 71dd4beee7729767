#pragma once
// Whether a page drawn after an edit still draws every glyph of the page's
// own that the edit did not take away: the same letter (marks included) with
// the same glyph where it stood, or where a move took it; and none of those
// it took away. Lines over or under an edited one are held to this inside
// the edited boxes too. Callers hold the pdfium lock.

#include "GlyphSpots.h"
#include "PdfiumApi.h"
#include "TurnedBox.h"

#include <QString>

#include <vector>

namespace pdfengine {

struct KeptGlyphsVerdict {
    bool kept = true;
    // What differs: the letters lost or changed, or (takenLeft) those the
    // edit took away that are still drawn.
    QString letters;
    bool takenLeft = false;
};

// The page's own glyphs of after against those of before (the program's
// text left out on both), but in areas (displayed-page points): taken names
// the glyphs of before that went or moved.
KeptGlyphsVerdict glyphsKeptAsBefore(FPDF_PAGE before, FPDF_PAGE after, const std::vector<TakenGlyph>& taken,
                                     const std::vector<TurnedBox>& areas);

}  // namespace pdfengine
