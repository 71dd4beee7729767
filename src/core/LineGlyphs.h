#pragma once
// The glyphs a line of the page's own text draws, told apart from whatever
// else stands in its box (a stamp laid over it, a page underlaid): the glyphs
// its characters were read from, found by their boxes, and the marks drawn
// over its words that read as nothing of their own (an accent a TeX face
// draws apart from its letter, a mark the line's text left out). Callers hold
// the pdfium lock.

#include "PageGlyphs.h"
#include "TextBlock.h"

#include <QRectF>
#include <QString>
#include <QTransform>

#include <vector>

namespace pdfengine {

// A word of such a line: its text as the line reads it, its glyphs (indexes
// into PageGlyphs::all(), in drawing order, its marks among them) and its
// box in the line's frame: across, its glyphs' advances; up, the line's box.
struct LineWord {
    QString text;
    std::vector<size_t> glyphs;
    QRectF box;
    bool marked = false;  // a mark drawn apart (an accent over a letter) is among its glyphs
};

struct LineGlyphs {
    std::vector<size_t> glyphs;  // every glyph of the line, its blanks too, in drawing order
    std::vector<LineWord> words;
    // The blanks the page draws between words (none where it only reads a
    // break): after the words before each, by index into words.
    std::vector<std::pair<size_t, size_t>> blanks;
    // Every character of the line was found drawn.
    bool known = false;
};

// The glyphs of a line read from the page (its glyph boxes and the text
// they draw, in the frame toFrame maps the page into), whose box there is
// lineBox.
LineGlyphs lineGlyphsOf(const PageGlyphs& page, const TextBlock::Line& line, const QTransform& toFrame,
                        const QRectF& lineBox);

// The glyphs at the indexes as the frame measures them.
std::vector<PageGlyph> glyphsInFrame(const PageGlyphs& page, const std::vector<size_t>& indexes,
                                     const QTransform& toFrame);

}  // namespace pdfengine
