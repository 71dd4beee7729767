#pragma once
// Drawing of an edited block over the erased page, and of the editor's caret
// in that drawing: the page view shows the text itself, so that it looks like
// the page line it replaces. Rectangles in viewport pixels.

#include "EditPlan.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <vector>

class QPainter;
class QTextEdit;

// The page as the view shows it, from which a corrected scan line's
// untouched words are drawn, as the page writer keeps their pixels: the
// picture and where its pixels stand on the page (points, y up).
struct PreviewPagePixels {
    QImage image;
    QTransform imageToPage;
    // Every line's old place on the page: across its line a kept word's
    // pixels come from no nearer another line than the writer takes them.
    std::vector<TurnedBox> linePlaces;
    // The page's glyphs: a corrected line of a searchable layer keeps to
    // the size the layer's invisible words are set at.
    std::vector<pdfengine::GlyphMark> glyphs;
};

void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& viewportRect, double zoom,
                           const PreviewPagePixels* pagePixels = nullptr);
// Whether the preview lays the block out by its lines (as the page writer
// writes it) rather than as the editor's rich text.
bool previewDrawsLines(const TextBlock& block);
// The caret, or the selection when there is one, as the preview lays the text out.
void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& viewportRect,
                            double zoom);
// The position in the plain text whose caret the preview draws nearest to a
// point (viewport pixels, unturned box); -1 for a block without lines.
int previewCursorPositionAt(const QString& plain, const TextBlock& block, const QRectF& viewportRect, double zoom,
                            const QPointF& point);
// The character the preview draws under a point: the one between the carets
// that enclose it on its line; -1 for a block without lines or an empty line.
int previewCharacterAt(const QString& plain, const TextBlock& block, const QRectF& viewportRect, double zoom,
                       const QPointF& point);
