#pragma once
// Style decisions for recognised blocks: bold rule, uniform body style and
// splitting blocks whose lines change style.

#include "TextBlock.h"

#include <QString>

#include <vector>

// A fixed phrase that keeps a line bold.
struct BoldPhrase {
    enum class Match { WholeLine, Prefix, Anywhere };
    QString text;
    Match match = Match::WholeLine;
};

// The general phrases; customer-specific ones come as `extraPhrases`.
const std::vector<BoldPhrase> &defaultBoldPhrases();

bool shouldKeepDocumentBold(const QString &lineText, const std::vector<BoldPhrase> &extraPhrases = {});

// Wide paragraphs in the middle of the page get one plain style.
void normalizeBodyTextStyle(std::vector<TextBlock> &blocks, double pageWidth, double pageHeight);

std::vector<TextBlock> splitBlocksByLineStyle(std::vector<TextBlock> blocks);

// Gives the run's lines one size and appends it to `out` unless it holds no
// text; each line keeps its own box.
void finishStyleRunBlock(std::vector<TextBlock> &out, TextBlock run);

// Element n/2 of the sorted values; `fallback` when there are none.
float upperMedian(std::vector<float> values, float fallback);
