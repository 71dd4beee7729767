#pragma once
// Drawing of an edited block over the erased page, and of the editor's caret
// in that drawing: the page view shows the text itself, so that it looks like
// the page line it replaces. Rectangles in viewport pixels.

#include "TextBlock.h"

#include <QRectF>

class QPainter;
class QTextEdit;

void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& viewportRect, double zoom);
void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& viewportRect,
                            double zoom);
