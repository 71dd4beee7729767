#pragma once
// Trials of a page change on a copy before the change is kept: a removal made
// in the file's bytes, and appending to a page whose content may never end.
// Callers hold the pdfium lock.

#include "GlyphSpots.h"
#include "PdfiumApi.h"
#include "TurnedBox.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

namespace pdfengine {

// While one lives on a thread, the trials there compare pdfium's drawings
// alone: a preview of a write never waits on the second renderer, whose
// check the save still makes.
class PdfiumOnlyTrials {
public:
    PdfiumOnlyTrials();
    ~PdfiumOnlyTrials();
    PdfiumOnlyTrials(const PdfiumOnlyTrials&) = delete;
    PdfiumOnlyTrials& operator=(const PdfiumOnlyTrials&) = delete;

private:
    bool m_outer;
};

// What an edit may change on a page (displayed-page points): the areas it
// rewrites; the old places it clears on purpose (an edited line's box, a
// deleted block's); and the lines it leaves as they stand, whose letters no
// white-out may reach outside those old places, not even inside the areas.
struct EditAreas {
    std::vector<TurnedBox> edited;
    std::vector<TurnedBox> kept;
    std::vector<TurnedBox> cleared;
    // Lines only moved: each must look where it went as it looked where it stood.
    std::vector<MovedBox> moved;
    // Where the edit knows the page's own glyphs it takes away or moves (the
    // lines of the page's own text it rewrote or deleted), the page's
    // characters are compared everywhere but in textEdited (what it rewrote
    // otherwise: a scan's lines, lines whose glyphs it did not know): each
    // glyph it did not take where it stood, a moved one where it went, and
    // none it took away.
    bool glyphsKnown = false;
    std::vector<TakenGlyph> taken;
    std::vector<TurnedBox> textEdited;
    // After draws more than text over the places cleared than before did (a
    // box laid over them): a line crossing them is held to its ink there too.
    bool shapesOverCleared = false;
};

// Pixels per point both renders of a trial take: 150 dpi, less for a page
// too large to draw in a bounded number of pixels.
double pageTrialScale(const QSizeF& pageSize);

// Whether two renders of (part of) a page differ only inside the edited
// areas and nowhere in a kept line, beyond edge noise. origin: where the
// renders' top-left pixel stands in the whole page's render at scale. False
// with the reason otherwise, or when a render is missing.
bool rendersChangeOnlyInside(const QImage& before, const QImage& after, const QPoint& origin, const EditAreas& areas,
                             const QSizeF& pageSize, double scale, QString* reason);

// Whether page pageIndex looks and reads in after as in before outside the
// edited areas and in its kept lines: rendered by pdfium and, where it is
// installed, by poppler's pdftoppm (at a bounded size, in bounded time and
// memory), and its text read by pdfium. False with the reason when anything
// else changed, a render failed or poppler did not finish in time.
// compareText: the text outside the areas must read the same too.
bool bytesChangeOnlyInside(const QByteArray& before, const QByteArray& after, int pageIndex, const EditAreas& areas,
                           bool compareText, QString* reason);
// The same for upright areas and no kept lines.
bool bytesChangeOnlyInside(const QByteArray& before, const QByteArray& after, int pageIndex,
                           const std::vector<QRectF>& areas, bool compareText, QString* reason);

// Whether each line only moved holds, where it went on page afterIndex of
// after as poppler's pdftoppm draws it, the ink the source line had where it
// stood on page beforeIndex of before: as much of it, about the same middle.
// withoutMoved is after without the program's moved content: where it shows
// ink, at either place, something that stayed is drawn there and takes no
// part. Alike too where poppler is not installed or cannot read the files;
// Unchecked, with the reason, where they cannot be given to it, a render
// goes past its bounds or the work is stopped.
enum class MovedInkVerdict { Alike, Unlike, Unchecked };
MovedInkVerdict popplerMovedInk(const QByteArray& before, int beforeIndex, const QByteArray& after, int afterIndex,
                                const QByteArray& withoutMoved, const std::vector<MovedBox>& moved, QString* reason);

// Whether two loaded pages, drawn by pdfium alone, differ only inside the
// edited areas and nowhere in a kept line; compareText: their characters
// outside the areas are the same too.
bool pagesChangeOnlyInside(FPDF_PAGE before, FPDF_PAGE after, const EditAreas& areas, bool compareText);

// Whether an object appended to page pageIndex of doc is read back once the
// page is written: false where the page's own content never ends (an open
// string swallows what follows it). Tried on a copy of the page.
bool appendedContentReads(FPDF_DOCUMENT doc, int pageIndex);

} // namespace pdfengine
