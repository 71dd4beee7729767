#pragma once
// Small text and geometry routines shared by the recognition stages.

#include "TextBlock.h"

#include <QRect>
#include <QRectF>
#include <QString>

class QImage;

// Letters and digits (ASCII, and non-ASCII letters and numbers).
int meaningfulCharCount(const QString &s);

// Share of upper-case letters among all letters; 0 without letters.
double uppercaseRatio(const QString &s);

// Pixel rectangle of a PDF rectangle on a page image rendered at `scale` pixels
// per point, grown by `margin` pixels and clipped to the image (may be invalid).
QRect imageCropForPdfRect(const QRectF &rect, const QImage &image, double scale, double pageHeight,
                          int margin);

// The line whose style stands for the block (long, letter-rich lines win); null
// when no line holds a letter or digit.
const TextBlock::Line *representativeStyleLine(const TextBlock &block);

// Top edge of a PDF rectangle measured from the top of the page.
inline double topFromPageTop(const QRectF &rect, double pageHeight)
{
    return pageHeight - (rect.y() + rect.height());
}

// Lines joined by line feeds, each trimmed, empty ones left out.
QString joinedTrimmedLineTexts(const std::vector<TextBlock::Line> &lines);

// Family, size, colour, bold and italic of the line become the block's.
void copyLineStyleToBlock(TextBlock &block, const TextBlock::Line &line);
