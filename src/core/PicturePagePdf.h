#pragma once
// A one-page PDF whose page is one picture. Decoded pixels are stored without
// loss (Flate) in no more than they need: pure black and white as 1 bit,
// grey as /DeviceGray, opaque colour as /DeviceRGB with no mask, and only a
// picture with see-through pixels with its alpha as a soft mask. A JPEG goes
// in with its own bytes (/DCTDecode). Written without pdfium; pages are taken
// from it by import.

#include "PictureHeader.h"

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QSizeF>

namespace pdfengine {

// The PDF's bytes; empty when the picture is null, the page size is not
// positive, or the pixels cannot be compressed.
QByteArray picturePagePdf(const QImage& image, const QSizeF& pageSize);

// The PDF's bytes for a JPEG of this layout whose stored pixels are shown
// turned as turn says (mirror, flip, then a quarter turn clockwise): the
// picture is placed turned on an upright page of pageSize. Empty when the
// layout is not one a PDF reader decodes or the page size is not positive.
QByteArray jpegPagePdf(const QByteArray& jpeg, const PictureHeader::JpegLayout& layout,
                       QImageIOHandler::Transformations turn, const QSizeF& pageSize);

} // namespace pdfengine
