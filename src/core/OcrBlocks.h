#pragma once
// From recognised lines to blocks: paragraphs on ordinary pages, column runs
// on pages ruled like a table.

#include "TextBlock.h"

#include <vector>

class QImage;

class QRectF;

// Vertical rulings of the page image (table grids, frames) in points: runs of
// ink at least a few text lines long.
std::vector<QRectF> verticalRules(const QImage &image, double scale, double pageHeight);

// More than three long horizontal rules and more than one long vertical rule.
bool isLikelyTablePage(const QImage &image);

std::vector<TextBlock> groupOcrLines(std::vector<TextBlock::Line> lines, int pageIndex, double pageHeight);

std::vector<TextBlock> groupTableColumnRuns(std::vector<TextBlock::Line> lines, int pageIndex, double pageWidth,
                                            double pageHeight);

// A numbered paragraph running across a table ("1. Сведения о ..."): it may
// neither join a column run nor be joined.
bool isNumberedClauseLine(const TextBlock::Line &line, double pageWidth);

// False when the line may not take part in a column run at all.
bool canAttachTableColumnLine(const TextBlock::Line &line, double pageWidth);

TextBlock blockFromOcrLines(std::vector<TextBlock::Line> lines, int pageIndex, double pageHeight);

// Text and rectangles of the block recomputed from its lines.
void rebuildBlockFromLines(TextBlock &block);

// Sorts blocks into reading order: header columns, then rows, then top down.
void sortReadingOrder(std::vector<TextBlock> &blocks, double pageWidth, double pageHeight);
