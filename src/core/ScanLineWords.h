#pragma once
// A corrected line of a scan laid out word by word: the words the user left
// as they were keep the scan's own pixels, moved along the line where a
// changed word before them needs more or less room; only the changed words
// are written as text. Positions along the line's own frame, in points.

#include <QImage>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <functional>
#include <utility>
#include <vector>

namespace pdfengine {

struct ScanLineWord {
    QString text;      // what stands here now
    bool kept = false; // the scan's own pixels of oldBox, else text
    QRectF oldBox;     // kept: where its pixels stood
    double left = 0;   // where its ink starts now
    double width = 0;
    double scale = 1;  // text: its glyphs' horizontal scale
    // Kept: how far its pixels may be cut past its box, half the way to the
    // words beside it (the ink of a letter may run past the box read for it).
    double marginLeft = 0;
    double marginRight = 0;
};

// The line's new text over its words as read (text and box, in order):
// every word kept stands on its old box shifted by the room the changed words
// before it took or gave up; a changed stretch starts where the words it
// replaces started, as wide as advance measures it (an inserted one a blank
// after the word before it). A column the line was read in (a gap far wider
// than a blank before it, at the line's size) keeps its start: changed text
// running into it is narrowed down to half its width, and only what still
// reaches it moves it on. blank: a blank's width at that size. keptWhole:
// no kept word is taken into changed text (its glyphs stay its own); the
// column is moved on instead.
// Empty when no word is kept, every word is, or the words are not known.
std::vector<ScanLineWord> scanLineWords(const std::vector<std::pair<QString, QRectF>>& oldWords, const QString& text,
                                        double size, double blank,
                                        const std::function<double(const QString&)>& advance, bool keptWhole = false);

// Which columns across a line hold ink: the line's frame (points) sampled a
// quarter point apart over band, in a picture that frameToPicture maps it
// onto. A column holds ink where two of its samples or more are dark.
struct LineInk {
    double from = 0;
    double step = 0.25;
    std::vector<bool> columns;
};
LineInk lineInk(const QImage& picture, const QTransform& frameToPicture, const QRectF& band);

// A line's words (text and box, in order, in its frame) with their ends on
// the ink the line shows at size: the recogniser's box of a word may stand
// off its letters (a one-letter word's, on a turned scan), and a kept word's
// pixels are cut at its box. Two words part at the widest blank of the ink
// near where they were read apart, the line's first and last words reach to
// the ends of their ink; an end read a little short of its ink (the cut
// reaches past it), or with no blank near it, stays as read.
std::vector<std::pair<QString, QRectF>> wordsOnInk(std::vector<std::pair<QString, QRectF>> words, const LineInk& ink,
                                                   double size);
// The same on the ink of picture (frameToPicture maps the line's frame onto
// it) along line, from a size before the first word to a size past the last.
std::vector<std::pair<QString, QRectF>> wordsOnLineInk(std::vector<std::pair<QString, QRectF>> words,
                                                       const QImage& picture, const QTransform& frameToPicture,
                                                       const QRectF& line, double size);

// The size a corrected line of a searchable layer is written at: its own
// (its box's, as the line was read or shared with lines alike) while that
// stays within what readers take for the size the layer sets its words at
// (layerSize, 0 unknown), else the layer's. Readers part lines of other sizes
// into blocks and columns of their own, and then no longer join a word
// broken at a line's end with its rest on the next line.
double layerLineSize(double lineSize, double layerSize);

} // namespace pdfengine
