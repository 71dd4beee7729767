#pragma once

#include "TextBlock.h"

#include <QImage>

#include <vector>

class PdfDocument;

// The page rendered at scale (pixels per point) with blocks painted over it
// the way the page view shows them: edited, moved, turned and inserted
// blocks are whited out at their old place and drawn at the new one; others
// are left to the render. ARGB32 premultiplied; null when the page cannot
// be rendered.
QImage renderPageWithBlocks(const PdfDocument& document, int pageIndex, double scale,
                            const std::vector<TextBlock>& blocks);
