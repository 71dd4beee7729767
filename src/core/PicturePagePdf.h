#pragma once
// A one-page PDF whose page is one picture, stored without loss (Flate) in no
// more channels than it needs: grey as /DeviceGray, opaque colour as
// /DeviceRGB with no mask, and only a picture with see-through pixels with its
// alpha as a soft mask. Written without pdfium; pages are taken from it by import.

#include <QByteArray>
#include <QImage>
#include <QSizeF>

namespace pdfengine {

// The PDF's bytes; empty when the picture is null, the page size is not
// positive, or the pixels cannot be compressed.
QByteArray picturePagePdf(const QImage& image, const QSizeF& pageSize);

} // namespace pdfengine
