#pragma once
// Block predicates and drawing pieces shared by the page view's painting of the
// edit-mode block model. Block data in PDF points, drawing in viewport pixels.

#include "TextBlock.h"

#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

// The block was moved, resized or turned away from where the page has it.
bool blockMoved(const TextBlock& block);
// The block's text no longer matches its lines (or it was flagged or rotated).
bool blockTextEdited(const TextBlock& block);

// What copying the block puts on the clipboard: its text, or its lines' texts.
QString ocrBlockTextForClipboard(const TextBlock& block);

bool fontNameLooksItalic(const QString& name);
// A line from the PDF's text layer: named font, real size and style runs.
bool isNativePdfLine(const TextBlock::Line& line);
// A native line counts as italic only when its font name says so.
bool effectiveLineItalic(const TextBlock::Line& line, const TextBlock& block);

// Opaque white wherever the image has ink, grown by one pixel.
QImage whiteAlphaMaskForPreview(const QImage& image);
// Whether a text block should be redrawn where an ink image masked the page.
bool shouldUseTextBlockForInkRepair(const TextBlock& block, const QRectF& area);

void applyBlockRotation(QPainter& painter, const QRectF& rect, double degrees);
// The pixels QPainter::drawRect(rect) covers with a solid pen of that width,
// filled edge by edge: stroking a translucent pen costs a hundred times more.
void drawRectOutline(QPainter& painter, const QRect& rect, const QColor& colour, int width);
void drawActiveTextBlockChrome(QPainter& painter, const QRectF& rect, double degrees);

// "Family 11.0pt B I": the style the block's first non-empty line shows.
QString blockDebugLabel(const TextBlock& block);

// The patch that hides the old text ink of a crop of the page image: ink pixels
// (not rules) and their neighbourhood within the radius, filled from the nearby
// background. pixelsPerScreenPixel is the page image's scale against the screen.
QImage inkEraseOverlay(const QImage& crop, double pixelsPerScreenPixel);
// The overlay of a crop of a page image, made once per image, crop and scale
// (the page image's cache key changes with its pixels). GUI thread only.
QImage cachedInkEraseOverlay(const QImage& pageImage, const QRect& crop, double pixelsPerScreenPixel);

// A line's font as lineRenderFont fits it, and the ink box of the text in it.
struct FittedLine {
    QFont font;
    QRectF ink; // tight bounding box of the text, origin at the baseline start
};
// The fitted line, measured once and then kept until the line, its block's
// style, the text, the spacing choice or the zoom change: fitting tries every
// pixel size, far too slow for each paint and pointer move. GUI thread only.
FittedLine fittedLine(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& text,
                      bool applySpacing);
// Measurements since start (for tests and benchmarks): how many were new.
int fittedLineMisses();
