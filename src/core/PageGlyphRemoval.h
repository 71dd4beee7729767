#pragma once
// Removes a page's own glyphs under edited boxes through the document's
// bytes: pdfium cannot replace raw content, so its state is written as an
// incremental save, the streams are edited token by token with qpdf, the
// changed objects are appended as an update of their own, and the result is
// tried with two renderers before the caller reloads it. Callers hold the
// pdfium lock.

#include "ContentStreamEditor.h"
#include "PageRemovalTrial.h"
#include "PdfiumApi.h"

#include <QByteArray>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <functional>
#include <vector>

class QPDFObjectHandle;

namespace pdfengine {

class PageGlyphRemoval {
public:
    // The open document's state as bytes: loaded (the bytes it was read
    // from) followed by pdfium's update, which may rewrite unchanged objects.
    // check, told the bytes written so far, may stop the write (false).
    static bool serialize(FPDF_DOCUMENT doc, const QByteArray& loaded, QByteArray* bytes, QString* error,
                          const std::function<bool(qint64)>& check = {});

    // Removes from page pageIndex of before the glyphs centred in areas
    // (user space), checks that nothing changed outside the edited areas of
    // trial nor inside its kept lines (displayed-page points), and gives the
    // new bytes in *after. *removed is 0, and *after empty, when no glyph of
    // the page's own content stood there. False with the reason when the
    // removal cannot be made exactly.
    static bool run(const QByteArray& before, int pageIndex, const std::vector<QPolygonF>& areas,
                    const EditAreas& trial, QByteArray* after, int* removed, QString* error);
    // The same, and what stands in each move's area drawn again where the
    // move puts it (the page's streams then go between q and Q, ahead of
    // the program's); each moved box of trial must look as it looked before.
    static bool run(const QByteArray& before, int pageIndex, const std::vector<QPolygonF>& areas,
                    const std::vector<GlyphMove>& moves, const EditAreas& trial, QByteArray* after, int* removed,
                    QString* error);
    // The same for an edit that names glyphs by their spots too.
    static bool run(const QByteArray& before, int pageIndex, const GlyphEdit& edit, const EditAreas& trial,
                    QByteArray* after, int* removed, QString* error);

    // The same for every glyph of the page drawn invisibly (another tool's
    // searchable layer): the page must look the same everywhere.
    static bool removeInvisibleLayer(const QByteArray& before, int pageIndex, QByteArray* after, int* removed,
                                     QString* error);

    // The bytes with the page's own streams between q and Q, ahead of the
    // program's, as an update of their own; *after empty when the page needs
    // no wrapping (already wrapped, or nothing of the program's on it).
    static bool wrapPageStreams(const QByteArray& before, int pageIndex, QByteArray* after, QString* error);

    // The bytes with the program's moved content taken out of page
    // pageIndex (its marked spans cut from the page's streams and from the
    // forms it draws), as an update of their own: the page as it stands
    // without the lines moved. *after is before itself when the page holds
    // no moved content.
    static bool withoutMovedContent(const QByteArray& before, int pageIndex, QByteArray* after, QString* error);

private:
    static bool edit(const QByteArray& before, int pageIndex, const EditAreas& trial, QByteArray* after,
                     int* removed, QString* error,
                     const std::function<bool(ContentStreamEditor&, QPDFObjectHandle&)>& change);
};

}  // namespace pdfengine
