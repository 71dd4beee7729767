#pragma once
// From recognised words to text lines: signature noise at the page foot, rows
// by vertical centre, lines cut at wide gaps, line boxes tightened to the ink.

#include "TextBlock.h"

#include <QRectF>
#include <QString>

#include <vector>

class QImage;

// A word the recogniser is this sure of is never removed as noise: the noise
// rules apply to low-confidence fragments only.
constexpr float kConfidentWord = 60.0f;

// Heights in points of a word's glyphs that stand on the baseline and reach
// the cap height (capitals, digits) or the x-height (small letters without
// ascenders or descenders).
struct GlyphHeights {
    std::vector<float> caps;
    std::vector<float> xs;
    // Where those glyphs stand: the baseline's height on the page, points.
    std::vector<float> feet = {};
};

struct OcrWord {
    QString text; // trimmed
    QRectF rect;  // points
    float confidence = 0.0f;
    GlyphHeights glyphs;
};

// Whether a glyph reaches the cap height or the x-height; neither for others.
enum class GlyphKind { Cap, X, Other };
GlyphKind glyphKind(const QString &glyph);

// Cap height per x-height of the page's face, from the lines that show both.
float capPerXHeight(const std::vector<GlyphHeights> &lines);

// The font size the glyph heights of a line show, from its cap height or,
// with few capitals and digits, also from its x-height turned into a cap
// height by capPerX; 0 without any measure. A tall or skewed line box does
// not change it, nor do glyph boxes swollen by specks touching them.
float fontSizeFromGlyphs(const GlyphHeights &line, float capPerX);

// How far above the bottom of lineRect the line's glyphs stand, from their
// feet; -1 without any, or when they stand outside the box.
double baselineLiftFromGlyphs(const GlyphHeights &line, const QRectF &lineRect);

struct WordRow {
    std::vector<OcrWord> words;
    QRectF rect;
    double meanHeight = 0.0;
};

// True for scribble-like, not confidently recognised words in the bottom 30 %
// of the page. The short
// Latin-word rule is waived for a word that sits in a row of ordinary words.
bool isLikelySignatureNoiseWord(const OcrWord &word, double pageHeight, bool sitsInTextRow = false);

// The word is confidently recognised and has a confident, sound neighbour on
// its row close by: ordinary running text rather than a lone scribble.
bool sitsInRowOfOrdinaryWords(const std::vector<OcrWord> &words, size_t index);

// The words that are not signature noise, in their order.
std::vector<OcrWord> removeSignatureNoiseWords(const std::vector<OcrWord> &words, double pageHeight);

// cityPlaceName: the place name after which "г." becomes "г.,"; empty: no fix.
// A line ends at a wide gap and at a vertical rule (points) between words.
std::vector<TextBlock::Line> buildLinesFromWords(std::vector<OcrWord> words, double pageWidth, double pageHeight,
                                                 const QString &cityPlaceName = {},
                                                 const std::vector<QRectF> &verticalRules = {});
std::vector<WordRow> groupWordsIntoRows(std::vector<OcrWord> words, double pageHeight);
void addWordToRow(WordRow &row, const OcrWord &word);
TextBlock::Line makeLineFromWords(const std::vector<OcrWord> &words, const QString &cityPlaceName = {});

// Narrows or widens each line's box horizontally to the ink of the page image.
void refineOcrLineInkRects(std::vector<TextBlock::Line> &lines, const QImage &image, double scale,
                           double pageHeight);
