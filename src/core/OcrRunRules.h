#pragma once
// The arithmetic of an OCR run that needs no window: zoom choice, the crop of
// a marked region, moving region results into page space, which blocks a
// region replaces, and the texts that summarise a result.

#include "TextBlock.h"

#include <QRect>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <vector>

class PdfDocument;

// Image pixels per point for a whole page: the configured zoom when set
// (> 0), else less for wide pages.
double pageOcrZoom(double pageWidth, double configuredZoom);
// Image pixels per point for a region: small regions get more pixels.
double regionOcrZoom(double regionHeight);

// The marked region clipped to the page, or a null rectangle when it is too
// small to recognise on its own (the whole page is recognised then).
QRectF usableOcrRegion(const QRectF& marked, double pageWidth, double pageHeight);

// The pixels of a page image at zoom that cover a region (top-left origin);
// empty when the region lies outside the image.
QRect regionCropRect(const QRectF& region, double zoom, const QRect& imageRect);

// Results recognised in a region crop, moved into page space.
void moveRegionBlocksToPage(std::vector<TextBlock>& blocks, const QRectF& region, double pageHeight, int page);

// Whether a block (PDF rectangle) meets a top-origin region; touching counts.
bool blockIntersectsTopOriginRect(const TextBlock& b, const QRectF& topRect, double pageHeight);

// The blocks a region run keeps: every user-placed image and every block
// away from the region, then the region's new blocks.
std::vector<TextBlock> mergeRegionResult(const std::vector<TextBlock>& shown, std::vector<TextBlock> result,
                                         const QRectF& region, double pageHeight);

// "5 текст, 2 изображений": the non-zero counts of text, table and image blocks.
QString ocrResultSummary(const std::vector<TextBlock>& blocks);

// Whether a whole-document run leaves the page alone: it shows text of its
// own that can be offered. Legacy glyphs without meaning are recognised.
bool pageKeepsItsText(const PdfDocument& document, int page);

// The language name shown for an "ocr/languages" code.
QString ocrLanguageName(const QString& code);

// The languages of a code such as "rus+eng" that have no language data among
// the installed ones; none when nothing is known to be installed.
QStringList missingOcrLanguages(const QString& code, const QStringList& installed);

// The language data the recogniser will look for: the folder next to the
// program when there is one, else the system's.
QStringList installedOcrLanguages();
