#pragma once
// Takes what the user removed on a scan out of the page's pictures: the
// pixels of every picture the page draws under the removed areas are set to
// that picture's background in the picture's own coding (PictureErase),
// through the document's bytes with qpdf, as an update of its own. A picture
// that other pages or places draw too is first copied for this page. Callers
// hold the pdfium lock.

#include "PageRemovalTrial.h"

#include <QByteArray>
#include <QPolygonF>
#include <QString>

#include <vector>

namespace pdfengine {

class PagePictureRemoval {
public:
    // Clears areas (user space of page pageIndex of before) in the pictures
    // drawn there that the page drew in earlier too (the pictures the write
    // itself added, a kept word's pixels, stay), checks that the page looks
    // as before outside the edited areas of trial, and gives the new bytes in
    // *after; *pictures counts the pictures changed (0, *after empty, when
    // none stands under the areas). False with the reason when a picture
    // there cannot be changed (a coding that is only drawn, a picture drawn
    // twice on the page, an encrypted file).
    static bool run(const QByteArray& earlier, const QByteArray& before, int pageIndex,
                    const std::vector<QPolygonF>& areas, const EditAreas& trial, QByteArray* after, int* pictures,
                    QString* error);
};

}  // namespace pdfengine
