#pragma once
// The editor document of a block: built from the block so that it lays out
// like the page text under it, and written back into the block. The editor
// works in viewport pixels; a block keeps its rich text as HTML at zoom 1.

#include "TextBlock.h"

#include <QSizeF>
#include <QStringList>
#include <QTextFormat>

class QTextEdit;

// A point size the user chose for the text (the shown pixel size is fitted).
constexpr int kChosenPointSizeProperty = QTextFormat::UserProperty + 1;

// One paragraph per line of the given text, wrapping at word boundaries.
void normalizeEditorTextLayout(QTextEdit* editor);
// Transparent editor and viewport, as the page view draws the text.
void setEditorRotatedPresentation(QTextEdit* editor);
// The editor's text (always) and HTML (when it must keep formatting) into the block.
void applyEditedTextDocument(TextBlock& block, QTextEdit* editor, bool force, double zoom);
QSizeF editorDocumentSizeForWidth(QTextEdit* editor, int width);

// A single native line: its font and colour, with its style runs.
void buildSingleLineDocument(QTextEdit* editor, const TextBlock& block, double zoom);
// One fixed-height paragraph per visual line, at the line's place in the block.
void buildVisualLineDocument(QTextEdit* editor, const TextBlock& block, double zoom);

// The lines the editor shows, as laid out (wrapped lines apart).
QStringList editorVisualLines(QTextEdit* editor);
// Makes the block's lines the editor's visual lines when the text no longer
// matches them, so the page writer writes what the user sees; true when it did.
bool syncBlockLinesWithEditor(TextBlock& block, QTextEdit* editor, double zoom);
