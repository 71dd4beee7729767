#pragma once
// Page blocks made by the tests.

#include "TextBlock.h"

namespace fixtures {

// A text block of one line at its original place, as recognition makes it.
inline TextBlock oneLineBlock(const QString& text, const QRectF& rect, float size)
{
    TextBlock block;
    block.text = text;
    block.rect = block.originalRect = rect;
    block.fontSize = size;
    TextBlock::Line line;
    line.text = text;
    line.rect = rect;
    line.fontSize = size;
    block.lines = {line};
    return block;
}

} // namespace fixtures
