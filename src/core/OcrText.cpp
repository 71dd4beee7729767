#include "OcrText.h"

#include <QImage>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool isAsciiLetter(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Pixel coordinates from untrusted rectangles: keep the conversion to int defined.
int clampedToInt(double v)
{
    constexpr double kLimit = 1 << 28;
    if (std::isnan(v))
        return 0;
    return int(std::clamp(v, -kLimit, kLimit));
}

} // namespace

int meaningfulCharCount(const QString &s)
{
    int count = 0;
    for (char32_t c : QStringView(s).toUcs4()) {
        if (c < 0x80) {
            if (isAsciiLetter(c) || (c >= '0' && c <= '9'))
                ++count;
        } else if (QChar::isLetterOrNumber(c)) {
            ++count;
        }
    }
    return count;
}

double uppercaseRatio(const QString &s)
{
    int letters = 0;
    int upper = 0;
    for (char32_t c : QStringView(s).toUcs4()) {
        if (c < 0x80) {
            if (isAsciiLetter(c)) {
                ++letters;
                if (c <= 'Z')
                    ++upper;
            }
        } else if (QChar::isLetter(c)) {
            ++letters;
            if (QChar::category(c) == QChar::Letter_Uppercase)
                ++upper;
        }
    }
    return letters > 0 ? double(upper) / letters : 0.0;
}

QRect imageCropForPdfRect(const QRectF &rect, const QImage &image, double scale, double pageHeight,
                          int margin)
{
    const int left = clampedToInt(std::floor(rect.x() * scale));
    const int top = clampedToInt(std::floor((pageHeight - rect.y() - rect.height()) * scale));
    const int right = clampedToInt(std::ceil((rect.x() + rect.width()) * scale));
    const int bottom = clampedToInt(std::ceil((pageHeight - rect.y()) * scale));
    const QRect pixels(QPoint(left - margin, top - margin),
                       QPoint(left + std::max(right - left, 1) - 1 + margin,
                              top + std::max(bottom - top, 1) - 1 + margin));
    return pixels.intersected(image.rect());
}

const TextBlock::Line *representativeStyleLine(const TextBlock &block)
{
    constexpr double kCharWeight = 16.0;
    constexpr int kFewChars = 3;
    constexpr double kFewCharsFactor = 0.35;
    const TextBlock::Line *best = nullptr;
    double bestScore = -std::numeric_limits<double>::infinity();
    for (const TextBlock::Line &line : block.lines) {
        if (line.text.trimmed().isEmpty())
            continue;
        const int chars = meaningfulCharCount(line.text);
        if (chars == 0)
            continue;
        double score = kCharWeight * chars + line.rect.width();
        if (chars < kFewChars)
            score *= kFewCharsFactor;
        if (!best || score > bestScore) {
            best = &line;
            bestScore = score;
        }
    }
    return best;
}

QString joinedTrimmedLineTexts(const std::vector<TextBlock::Line> &lines)
{
    QStringList texts;
    for (const TextBlock::Line &line : lines) {
        const QString t = line.text.trimmed();
        if (!t.isEmpty())
            texts << t;
    }
    return texts.join(QLatin1Char('\n'));
}

void copyLineStyleToBlock(TextBlock &block, const TextBlock::Line &line)
{
    block.fontFamily = line.fontFamily;
    block.fontSize = line.fontSize;
    block.color = line.color;
    block.bold = line.bold;
    block.italic = line.italic;
}
