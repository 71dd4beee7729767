#pragma once
// The objects this program writes into a page carry a marked-content tag of
// their own, so a later write finds (and may replace) them without touching the
// page's original content, and extraction can leave out original text that
// lies under the program's white-outs. Callers hold the pdfium lock.

#include "PdfiumApi.h"

#include <QRectF>

#include <unordered_map>
#include <vector>

namespace pdfengine {

inline constexpr char kOwnContentTag[] = "VornEdit";
// Words the program typed, put inside a text object of the page's own: the
// page's stream holds them, which pdfium must not write again for them, and
// a later edit takes them out of it token by token.
inline constexpr char kTypedInPlaceTag[] = "VornInPlace";

bool markAsOwn(FPDF_PAGEOBJECT object);
bool isOwnObject(FPDF_PAGEOBJECT object);
// Drawn by the program's copy of content the user moved.
bool isMovedContent(FPDF_PAGEOBJECT object);
bool isTypedInPlace(FPDF_PAGEOBJECT object);
// A white rectangle the program wrote.
bool isOwnWhiteOut(FPDF_PAGEOBJECT object);
// How many of the page's objects the program wrote.
int countOwnObjects(FPDF_PAGE page);
// Marks the program's objects changed, so that pdfium writes their streams
// again, graphics-state names and all, rather than keeping the old bytes while
// it drops resources only those bytes name.
void touchOwnObjects(FPDF_PAGE page);
// The program's white rectangles on a page, in user space.
std::vector<QRectF> ownWhiteOuts(FPDF_PAGE page);

// Tells which characters of a text page lie under the program's own white-out
// without being the program's own text: kept old text that the page no longer
// shows.
class HiddenTextFilter {
public:
    HiddenTextFilter(FPDF_PAGE page, FPDF_TEXTPAGE textPage);
    bool active() const { return !m_whiteOuts.empty(); }
    bool hides(int charIndex) const;

private:
    FPDF_TEXTPAGE m_textPage;
    std::vector<QRectF> m_whiteOuts;
    mutable std::unordered_map<FPDF_PAGEOBJECT, bool> m_ownByObject;
};

} // namespace pdfengine
