#pragma once
// Turning a page's own text layer into editable blocks: cleaning decorative
// fillers and stamp leftovers, deciding whether the layer is usable, and the
// reading order shared with recognition. No pdfium, no widgets.

#include "OcrBlocks.h"
#include "TextBlock.h"

#include <QRectF>
#include <QString>

#include <vector>


// A native box grown to at least one font line (8 pt or more), centred on the
// old box, and 0.75 pt wider on each side.
QRectF expandedNativeTextRect(const QRectF& r, double fontSize);

// Cuts runs of three or more filler characters (blanks, "_", "-", en and em
// dashes) off either end; a string of fillers only becomes empty.
QString stripNativeDecorativePadding(const QString& s);

// A block that is nothing but a line of fillers (form underscores, rules).
bool isDecorativeNativeSeparator(const TextBlock& b);

// Text that a coloured stamp or signature left in the text layer.
bool looksLikeInkLayerTextArtifact(const TextBlock& b, const std::vector<TextBlock>& images);

// Visible text printed in a colour of its own (a red heading), by its block
// or line colours.
bool isColouredText(const TextBlock& b);

// The page's images without the coloured-ink regions that are only the ink of
// its coloured text: that text stays editable text, not a picture.
std::vector<TextBlock> inkBesidesText(std::vector<TextBlock> images, const std::vector<TextBlock>& blocks);

// The page's native text blocks cleaned for editing (separators merged into
// their neighbours, fillers stripped, boxes expanded, stamp leftovers
// dropped; coloured text is never a leftover), in extraction order.
std::vector<TextBlock> cleanedNativeTextBlocks(std::vector<TextBlock> blocks, const std::vector<TextBlock>& images);

// Too little text on too little of the page to edit it as text.
bool isUsableNativeTextLayer(const std::vector<TextBlock>& kept, double pageWidth, double pageHeight);

// Whether some non-image block or line with text carries a colour that shows.
bool hasVisibleNativeText(const std::vector<TextBlock>& blocks);
