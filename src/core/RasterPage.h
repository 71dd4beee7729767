#pragma once
// A page rendered for the rasterising writer and its forecasts (engine
// internal: callers hold pdfiumMutex()).

#include "PdfiumApi.h"
#include "RasterPdfWriter.h"

#include <QImage>
#include <QList>
#include <QSizeF>

namespace pdfengine {

struct RasterPage {
    int pageIndex = 0;
    QImage image;    // a white 1 x 1 picture when the page could not be rendered
    QSizeF points;   // the page's size as the writer records it
    bool rendered = false;
};

// Page pageIndex at imageDpi (clamped to 36..600), exactly as the writer draws it.
RasterPage renderRasterPage(FPDF_DOCUMENT doc, int pageIndex, int imageDpi);
// The same from the page already loaded (null: it could not be loaded).
RasterPage renderRasterPage(FPDF_DOCUMENT doc, FPDF_PAGE page, int pageIndex, int imageDpi);

// The pages a rasterising forecast renders, in page order, each with the
// number of pages it stands for.
QList<RasterPdfWriter::SampledPage> rasterForecastSample(FPDF_DOCUMENT doc);

} // namespace pdfengine
