#pragma once
// Pictures, stamps and signatures on a rendered page: dark regions that no
// recognised word covers become image blocks, and the garbage words the
// recogniser read on them are removed.

#include "TextBlock.h"

#include <QRectF>
#include <QSize>

#include <vector>

class QImage;

struct ImageComponent {
    int left = 0; // inclusive pixel bounds
    int top = 0;
    int right = -1;
    int bottom = -1;
    int inkPixels = 0;
};

// wordRects: the accepted recognised words, in points. Ink of about one glyph
// lying next to a word in a row of them, and ink no taller than a text line,
// is taken for text, not for a picture.
std::vector<TextBlock> detectImageBlocks(const QImage &image, const std::vector<QRectF> &wordRects, int pageIndex,
                                         double scale, double pageHeight);

bool isImageLikeComponent(const ImageComponent &c, const QSize &imageSize);

void removeImageNoiseWords(std::vector<TextBlock> &blocks, const std::vector<TextBlock> &imageBlocks);

void removeImageNoiseText(std::vector<TextBlock> &blocks, const std::vector<TextBlock> &imageBlocks);
