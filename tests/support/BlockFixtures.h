#pragma once
// Page blocks made by the tests.

#include "TextBlock.h"

#include <QStringList>

#include <vector>

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

// One line of a block given new text as the in-place editor leaves it: its
// words gone, the block's text its lines joined, the block marked edited.
// Empty text deletes the line.
inline void setLineText(TextBlock& block, size_t line, const QString& text)
{
    TextBlock::Line& changed = block.lines[line];
    changed.text = text;
    changed.words.clear();
    changed.spans.clear();
    QStringList texts;
    for (const TextBlock::Line& l : block.lines)
        texts << l.text;
    block.text = texts.join(QLatin1Char('\n'));
    block.textEdited = true;
}

// The word at index word of one line of a block corrected as the in-place
// editor leaves it.
inline void correctWord(TextBlock& block, size_t line, qsizetype word, const QString& corrected)
{
    QStringList words = block.lines[line].text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    words[word] = corrected;
    setLineText(block, line, words.join(QLatin1Char(' ')));
}

// The word of the first line that starts with lineStart corrected, as the
// in-place editor leaves its block; false when no line has it.
inline bool correctWordInLine(std::vector<TextBlock>& blocks, const QString& lineStart, const QString& word,
                              const QString& corrected)
{
    for (TextBlock& block : blocks)
        for (size_t line = 0; line < block.lines.size(); ++line) {
            const qsizetype at = block.lines[line].text.split(QLatin1Char(' '), Qt::SkipEmptyParts).indexOf(word);
            if (block.lines[line].text.startsWith(lineStart) && at >= 0) {
                correctWord(block, line, at, corrected);
                return true;
            }
        }
    return false;
}

} // namespace fixtures
