#include "OcrStyle.h"

#include "OcrText.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kCapitalsRatio = 0.72;
const QString kBodyFamily = QStringLiteral("Times New Roman");

bool phraseMatches(const BoldPhrase &phrase, const QString &line)
{
    switch (phrase.match) {
    case BoldPhrase::Match::WholeLine:
        return line == phrase.text;
    case BoldPhrase::Match::Prefix:
        return line.startsWith(phrase.text);
    case BoldPhrase::Match::Anywhere:
        return line.contains(phrase.text);
    }
    return false;
}

float lineSizeForSplit(const TextBlock::Line &line)
{
    return line.fontSize > 0 ? line.fontSize : float(line.rect.height());
}

bool startsNewStyleRun(const TextBlock::Line &previous, const TextBlock::Line &line)
{
    if (previous.bold != line.bold || previous.italic != line.italic)
        return true;
    if (!previous.fontFamily.isEmpty() && !line.fontFamily.isEmpty() && previous.fontFamily != line.fontFamily)
        return true;
    const float a = lineSizeForSplit(previous);
    const float b = lineSizeForSplit(line);
    if (a <= 0 || b <= 0)
        return false;
    const bool boldCapitals = previous.bold && line.bold && uppercaseRatio(previous.text) > kCapitalsRatio
                              && uppercaseRatio(line.text) > kCapitalsRatio;
    if (boldCapitals)
        return false;
    return std::abs(a - b) > std::max(0.42f * std::min(a, b), 4.0f);
}

} // namespace

float upperMedian(std::vector<float> values, float fallback)
{
    if (values.empty())
        return fallback;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

const std::vector<BoldPhrase> &defaultBoldPhrases()
{
    using M = BoldPhrase::Match;
    static const std::vector<BoldPhrase> phrases = {
        {QStringLiteral("№ п/п"), M::WholeLine},
        {QStringLiteral("Кадастровый номер"), M::WholeLine},
        {QStringLiteral("земельного участка"), M::WholeLine},
        {QStringLiteral("Кадастровые или иные номера"), M::Prefix},
        {QStringLiteral("расположенных на земельном участке"), M::Prefix},
        {QStringLiteral("Учетные номера частей"), M::Prefix},
        {QStringLiteral("объектов недвижимости"), M::Anywhere},
        {QStringLiteral("исходных или уточняемых земельных участков"), M::Anywhere},
    };
    return phrases;
}

bool shouldKeepDocumentBold(const QString &lineText, const std::vector<BoldPhrase> &extraPhrases)
{
    const QString t = lineText.trimmed();
    if (t.isEmpty())
        return false;
    if (meaningfulCharCount(t) > 2 && uppercaseRatio(t) > kCapitalsRatio)
        return true;
    static const QRegularExpression numberedSection(QStringLiteral("^\\d+\\.\\s*Сведения\\b"),
                                                    QRegularExpression::UseUnicodePropertiesOption);
    if (numberedSection.match(t).hasMatch())
        return true;
    const auto matches = [&t](const BoldPhrase &p) { return phraseMatches(p, t); };
    return std::any_of(defaultBoldPhrases().begin(), defaultBoldPhrases().end(), matches)
           || std::any_of(extraPhrases.begin(), extraPhrases.end(), matches);
}

void normalizeBodyTextStyle(std::vector<TextBlock> &blocks, double pageWidth, double pageHeight)
{
    constexpr double kMinWidthShare = 0.44;
    constexpr double kBodyTop = 0.24;
    constexpr double kBodyBottom = 0.74;
    if (pageHeight <= 0)
        return;
    for (TextBlock &block : blocks) {
        if (block.isImage || block.text.trimmed().isEmpty())
            continue;
        const double topShare = topFromPageTop(block.rect, pageHeight) / pageHeight;
        if (block.rect.width() <= kMinWidthShare * pageWidth || topShare <= kBodyTop || topShare >= kBodyBottom)
            continue;
        std::vector<float> sizes;
        for (const TextBlock::Line &line : block.lines) {
            if (line.fontSize > 1.0f)
                sizes.push_back(line.fontSize);
        }
        const float size = upperMedian(sizes, block.fontSize);
        block.fontFamily = kBodyFamily;
        block.bold = block.italic = false;
        block.fontSize = size;
        for (TextBlock::Line &line : block.lines) {
            line.fontFamily = kBodyFamily;
            line.bold = line.italic = false;
            line.fontSize = size;
        }
    }
}

std::vector<TextBlock> splitBlocksByLineStyle(std::vector<TextBlock> blocks)
{
    std::vector<TextBlock> out;
    out.reserve(blocks.size());
    for (TextBlock &block : blocks) {
        if (block.isImage || block.lines.size() <= 1) {
            out.push_back(std::move(block));
            continue;
        }
        std::vector<TextBlock::Line> lines = std::move(block.lines);
        size_t runStart = 0;
        for (size_t i = 1; i <= lines.size(); ++i) {
            if (i < lines.size() && !startsNewStyleRun(lines[i - 1], lines[i]))
                continue;
            TextBlock run = block;
            run.lines.assign(std::make_move_iterator(lines.begin() + runStart),
                             std::make_move_iterator(lines.begin() + i));
            finishStyleRunBlock(out, std::move(run));
            runStart = i;
        }
    }
    return out;
}

void finishStyleRunBlock(std::vector<TextBlock> &out, TextBlock run)
{
    std::vector<float> sizes;
    for (const TextBlock::Line &line : run.lines) {
        if (line.fontSize > 1.0f)
            sizes.push_back(line.fontSize);
    }
    if (!sizes.empty()) {
        const float size = upperMedian(sizes, 0.0f);
        for (TextBlock::Line &line : run.lines)
            line.fontSize = size;
    }

    run.text = joinedTrimmedLineTexts(run.lines);
    QRectF bounds;
    for (const TextBlock::Line &line : run.lines) {
        if (!line.text.trimmed().isEmpty())
            bounds = bounds.isNull() ? line.rect : bounds.united(line.rect);
    }
    run.rect = bounds;
    if (run.text.isEmpty() || run.rect.isNull())
        return;
    run.originalRect = run.rect;
    if (const TextBlock::Line *style = representativeStyleLine(run))
        copyLineStyleToBlock(run, *style);
    out.push_back(std::move(run));
}
