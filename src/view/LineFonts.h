#pragma once
// Fonts, sizes and colours that make edited text look like the page line it
// replaces, and the lines a block shows. Block data in PDF points, fonts in
// viewport pixels (pixels = points x zoom).

#include "TextBlock.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QTextCharFormat;
class QTextCursor;
class QTextDocument;

// Installed family for a PDF font name ("ABCDEF+Times-Bold" -> "Times New Roman").
QString mapPdfFont(const QString& pdfName);
// The family a PDF font is shown in: the mapped family when it is installed,
// else a serif or sans face as the name suggests (CMR10 -> a serif).
QString displayFamilyForPdfFont(const QString& pdfName);
bool fontNameLooksBold(const QString& pdfName);
// The trimmed text cut to 80 characters, or a fixed phrase for an empty text.
QString representativeTextSample(const QString& text);
// The pixel size (minPx..120) whose tight height of the sample is nearest to targetHeight.
int fittedFontPixelSize(const QFont& font, const QString& sample, int minPx, double targetHeight);
// Letter or word spacing that stretches a recognised line's text to its width.
void applyScannedOcrSpacing(QFont& font, const TextBlock::Line& line, double zoom, const QString& text);
// The font a line is drawn and edited in, with a pixel size for the zoom.
QFont lineRenderFont(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& text,
                     bool applySpacing, double scale);
QColor lineTextColor(const TextBlock::Line& line, const TextBlock& block);
// A style run's colour: its glyphs' own fill, else its shown colour, else the line's.
QColor spanTextColor(const TextBlock::Line::Span& span, const QColor& lineColour);
// The line's style runs differ from the line's own style.
bool lineHasNativeRichSpans(const TextBlock::Line& line);
bool blockHasRichTextPreview(const TextBlock& block);
QStringList splitWordsPreserveSimple(const QString& text);
// The size a line's box holds: 0.98 of its height, or its font size when larger.
double lineBoxFontSize(const TextBlock::Line& line);
// Upper median of the block's line heights above 1 point.
double medianOcrLineHeightPt(const TextBlock& block);

// The text lines shown for a block: its text's lines when they fit the model.
QStringList displayLinesForEditor(const TextBlock& block);
// Line k of the block; beyond the model, an empty line continuing downward.
TextBlock::Line visualLineForIndex(const TextBlock& block, int k);

// Runs of two or more underscores become underlined no-break spaces.
void insertTextWithRaisedPlaceholderUnderlines(QTextCursor& cursor, const QString& text,
                                               const QTextCharFormat& format);
// Multiplies every font pixel size and paragraph margin of the document.
void scaleDocumentFontPixels(QTextDocument* document, double factor);
