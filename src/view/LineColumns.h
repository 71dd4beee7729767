#pragma once
// A corrected line cut into its old columns as the page writer cuts it: the
// columns the change leaves stay where they stood, the one holding it is laid
// anew from its old start. Points along the line from where its old text
// started.

#include "TextBlock.h"

#include <QString>

#include <functional>
#include <vector>

struct LineColumnPiece {
    QString text;         // written here now
    QString oldText;      // what stood here
    double left = 0;      // where its old stretch stood
    double right = 0;
    bool changed = true;
};

// The pieces of a born-digital line's new text over its old glyphs (their
// text and boxes), blank the face's blank at the line's size; none when the
// line keeps one column or its old glyphs are not known.
// Text only added after the last column of a line set from its start
// follows that column, which stays, a word gap of the line's own on.
std::vector<LineColumnPiece> nativeLinePieces(const TextBlock::Line& line, const QString& oldText,
                                              const QString& text, double blank, Qt::Alignment alignment);
// The same for a recognised line over its words as read; a column it leaves
// as it was stands word by word on the words' boxes.
std::vector<LineColumnPiece> recognisedLinePieces(const TextBlock::Line& line, const QString& text);

// How a piece runs: its start from where the old text started and the
// horizontal scale of its glyphs.
struct LineColumnRun {
    double x0 = 0;
    double scale = 1;
};
// advance measures a text in points at the line's face and size.
LineColumnRun columnRun(const std::vector<LineColumnPiece>& pieces, size_t i, Qt::Alignment alignment,
                        const std::function<double(const QString&)>& advance);
