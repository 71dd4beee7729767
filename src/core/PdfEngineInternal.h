#pragma once
// Helpers shared by the PdfDocument source files: owners of pdfium handles and
// the conversions between pdfium and Qt. Callers hold pdfiumMutex() whenever a
// helper reaches pdfium (destroying a holder included).

#include "FileReplacement.h"
#include "PdfDocument.h"
#include "PdfPageTransform.h"
#include "PdfiumApi.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QVector>

#include <functional>
#include <memory>

class QIODevice;

namespace pdfengine {

struct DocumentCloser {
    void operator()(FPDF_DOCUMENT doc) const { pdfApi().FPDF_CloseDocument(doc); }
};
struct PageCloser {
    void operator()(FPDF_PAGE page) const { pdfApi().FPDF_ClosePage(page); }
};
struct TextPageCloser {
    void operator()(FPDF_TEXTPAGE page) const { pdfApi().FPDFText_ClosePage(page); }
};
struct BitmapDestroyer {
    void operator()(FPDF_BITMAP bitmap) const { pdfApi().FPDFBitmap_Destroy(bitmap); }
};
struct SearchCloser {
    void operator()(FPDF_SCHHANDLE handle) const { pdfApi().FPDFText_FindClose(handle); }
};
struct WebLinksCloser {
    void operator()(FPDF_PAGELINK links) const { pdfApi().FPDFLink_CloseWebLinks(links); }
};
struct PageObjectDestroyer {
    void operator()(FPDF_PAGEOBJECT object) const { pdfApi().FPDFPageObj_Destroy(object); }
};
struct FontCloser {
    void operator()(FPDF_FONT font) const { pdfApi().FPDFFont_Close(font); }
};

using DocumentPtr = std::unique_ptr<std::remove_pointer_t<FPDF_DOCUMENT>, DocumentCloser>;
using PagePtr = std::unique_ptr<std::remove_pointer_t<FPDF_PAGE>, PageCloser>;
using TextPagePtr = std::unique_ptr<std::remove_pointer_t<FPDF_TEXTPAGE>, TextPageCloser>;
using BitmapPtr = std::unique_ptr<std::remove_pointer_t<FPDF_BITMAP>, BitmapDestroyer>;
using SearchPtr = std::unique_ptr<std::remove_pointer_t<FPDF_SCHHANDLE>, SearchCloser>;
using WebLinksPtr = std::unique_ptr<std::remove_pointer_t<FPDF_PAGELINK>, WebLinksCloser>;
// A page object not (yet) owned by a page.
using PageObjectPtr = std::unique_ptr<std::remove_pointer_t<FPDF_PAGEOBJECT>, PageObjectDestroyer>;
using FontPtr = std::unique_ptr<std::remove_pointer_t<FPDF_FONT>, FontCloser>;

// Text of pdfium's last error.
QString pdfiumErrorString();

// Block writer handed to FPDF_SaveAsCopy: the pdfium record followed by the
// device that receives the bytes.
// Told the bytes a write has made so far; false stops the write.
using WriteCheck = std::function<bool(qint64 written)>;
struct PdfBlockWriter {
    FPDF_FILEWRITE base;
    QIODevice* device;
    const WriteCheck* check;
};
int writePdfBlock(FPDF_FILEWRITE* record, const void* data, unsigned long size);
// Writes the whole document to device; false when pdfium or the device
// fails, or when check (asked after each block) says to stop.
bool writeDocument(FPDF_DOCUMENT doc, QIODevice& device, FPDF_DWORD flags, const WriteCheck& check = {});

// The file replacement every write of a kept file goes through.
using ::replaceFileWith;
using ::resolvedWriteTarget;
using PreparedReplacement = ::FileReplacement;

// pdfium file-access block reader over the QByteArray passed as param.
int readByteArrayBlock(void* param, unsigned long position, unsigned char* buffer, unsigned long size);

// Why a document without pages is neither saved nor exported.
QString noPagesText();
// Empty when no page failed; else names the 1-based numbers of the pages that
// could not be rendered, and says whether the others were written.
QString unrenderedPagesText(const QList<int>& pageNumbers, int pageCount);

// Whether two paths name the same existing file (device and inode).
bool sameFile(const QString& a, const QString& b);
// Why an export or copy onto the open document's own file is refused.
QString ownFileTargetText();

// Reads a whole file, bounded by PdfDocument::kMaxFileBytes. Empty result and
// *error set on failure; an empty file gives empty bytes and no error.
QByteArray readWholeFile(const QString& path, QString* error);

// Bitmap over the image's own memory (BGRA, the image's stride). The caller
// keeps the image alive while the bitmap is used.
BitmapPtr createBitmapFromQImage(QImage& image);
// Renders an already loaded page on white at rotation 0 (caller holds the lock).
QImage renderLoadedPageImage(FPDF_PAGE page, double scale);
// The pixels of a render at scale that cover a region of the page (points,
// y up), as renderLoadedPageImage draws them; *origin: where the picture's
// top-left pixel stands in the whole page's render. Null when the region
// lies off the page.
QImage renderLoadedPageRegion(FPDF_PAGE page, double scale, const QRectF& region, QPoint* origin);
// Copies a pdfium-owned bitmap into a new image.
QImage qImageFromPdfiumBitmap(FPDF_BITMAP bitmap);
// An image's pixels in the layout pdfium stores best: grey as 8-bit grey,
// opaque colour as BGRx (colour with no mask); only pictures with see-through
// pixels keep their alpha, which becomes a soft mask.
struct ImageObjectPixels {
    QImage image;
    int format = 0;  // pdfium::kBitmap*
};
ImageObjectPixels pixelsForImageObject(const QImage& image);
// Whether a picture of width x height pixels stays within the render budget.
bool fitsRenderBudget(qint64 width, qint64 height);

// UTF-16 units of text followed by one 0 unit.
QVector<unsigned short> toPdfWide(const QString& text);

// Rectangle from pdfium's left/top/right/bottom, normalised.
QRectF rectFromEdges(double left, double top, double right, double bottom);

// The pixels of an image (a render of a page pageHeight points high at
// scale) that a rectangle of the page (points, y up) covers, cut to the
// image; empty when it lies off it. Worked out in double before any edge
// becomes a pixel index, so far-off or non-finite coordinates cost nothing.
QRect pixelsOfPageRect(const QRectF& rect, double scale, double pageHeight, const QRect& image);

// A loaded page with its text page and transform (lock held while it lives).
struct LoadedTextPage {
    PagePtr page;
    TextPagePtr text;
    PdfPageTransform transform;
};
// The page with its text page (null text when either cannot be loaded).
LoadedTextPage loadTextPage(FPDF_DOCUMENT doc, int pageIndex);
// The page, null without a document, outside it or when it cannot be loaded.
PagePtr loadPageIfAny(FPDF_DOCUMENT doc, int pageIndex);

// The transform of a loaded page between user space and the displayed page.
PdfPageTransform pageTransformOf(FPDF_PAGE page);

// An object's bounding box in user space: the box around an image's turned
// quadrilateral, else pdfium's bounds; empty when pdfium gives neither.
QRectF pageObjectBounds(FPDF_PAGEOBJECT object, int type);

// Adds one image object covering rect to the page; `after` maps the rect's
// space into user space (identity when rect is in user space already).
bool insertImageObject(FPDF_DOCUMENT doc, FPDF_PAGE page, const QRectF& rect, const QImage& image,
                       const QTransform& after = QTransform());

// The object-keeping compressed copy of doc: its pictures re-encoded in
// place and everything else kept. Never larger than the source, which is
// unchangedSource (the file as read) when given, else pdfium's full save.
// Empty with *error set on failure.
QByteArray objectKeepingCopy(FPDF_DOCUMENT doc, const QByteArray& unchangedSource,
                             const PdfDocument::CompressionOptions& options, QString* error);

} // namespace pdfengine
