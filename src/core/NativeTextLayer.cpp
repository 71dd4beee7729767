#include "NativeTextLayer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr int kMinFillerRun = 3;
constexpr double kLineHeightPerFontSize = 1.18;
constexpr double kMinNativeLineHeight = 8.0;
constexpr double kNativeSideGrowth = 0.75;
constexpr double kSeparatorRowTolerance = 0.9;
constexpr double kMinSeparatorTolerance = 2.0;
constexpr double kSeparatorGapWeight = 0.02;
constexpr double kInkImageGrowth = 2.0;
constexpr double kInkCoverShare = 0.18;
constexpr int kShortMixedText = 6;
constexpr int kShortText = 3;
constexpr double kArtifactOtherShare = 0.35;
constexpr double kArtifactLetterShare = 0.45;
constexpr int kMaxCharsOfUnusableLayer = 11;
constexpr double kMinUsableAreaShare = 0.01;
constexpr int kMaxInvisibleAlpha = 8;
constexpr int kMinInkChroma = 20;
constexpr double kOwnInkReach = 3.0;


bool isFiller(QChar c)
{
    return c.isSpace() || c == QLatin1Char('_') || c == QLatin1Char('-') || c == QChar(0x2013) || c == QChar(0x2014);
}

double centreY(const QRectF& r)
{
    return r.y() + r.height() / 2;
}

double rowTolerance(double a, double b)
{
    return std::max(kSeparatorRowTolerance * std::max(a, b), kMinSeparatorTolerance);
}

bool canTakeSeparator(const TextBlock& b)
{
    return !b.isImage && !b.text.trimmed().isEmpty() && !isDecorativeNativeSeparator(b) && hasArea(b.rect);
}

double horizontalGap(const QRectF& separator, const QRectF& other)
{
    if (other.x() > separator.right())
        return other.x() - separator.right();
    if (other.right() < separator.x())
        return separator.x() - other.right();
    return 0.0;
}

// The block on the separator's row nearest to it: the one whose text it pads.
std::optional<size_t> separatorOwner(const std::vector<TextBlock>& blocks, size_t separator)
{
    const QRectF& a = blocks[separator].rect;
    std::optional<size_t> best;
    double bestScore = std::numeric_limits<double>::max();
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (i == separator || !canTakeSeparator(blocks[i]))
            continue;
        const QRectF& b = blocks[i].rect;
        const double distance = std::abs(centreY(b) - centreY(a));
        if (distance > rowTolerance(a.height(), b.height()))
            continue;
        const double score = distance + kSeparatorGapWeight * horizontalGap(a, b);
        if (score < bestScore) {
            bestScore = score;
            best = i;
        }
    }
    return best;
}

void absorbSeparator(TextBlock& owner, const QRectF& a)
{
    owner.rect = hasArea(owner.rect) ? owner.rect.united(a) : a;
    owner.originalRect = hasArea(owner.originalRect) ? owner.originalRect.united(a) : owner.rect;
    TextBlock::Line* nearest = nullptr;
    double nearestDistance = std::numeric_limits<double>::max();
    for (TextBlock::Line& line : owner.lines) {
        if (!hasArea(line.rect))
            continue;
        const double distance = std::abs(centreY(line.rect) - centreY(a));
        if (distance <= rowTolerance(a.height(), line.rect.height()) && distance < nearestDistance) {
            nearestDistance = distance;
            nearest = &line;
        }
    }
    if (nearest)
        setLineBox(*nearest, nearest->rect.united(a).normalized());
}

void joinSeparators(std::vector<TextBlock>& blocks)
{
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (!isDecorativeNativeSeparator(blocks[i]) || !hasArea(blocks[i].rect))
            continue;
        if (const std::optional<size_t> owner = separatorOwner(blocks, i))
            absorbSeparator(blocks[*owner], blocks[i].rect);
    }
}

// The stripped text is a piece of the line's: its glyphs keep their boxes.
void keepGlyphBoxesOf(TextBlock::Line& line, const QString& piece)
{
    const qsizetype from = line.text.indexOf(piece);
    if (from >= 0 && line.glyphBoxes.size() == size_t(line.text.size()))
        line.glyphBoxes = std::vector<QRectF>(line.glyphBoxes.begin() + from,
                                              line.glyphBoxes.begin() + from + piece.size());
    else
        line.glyphBoxes.clear();
    line.text = piece;
    line.glyphText = line.glyphBoxes.empty() ? QString() : piece;
}

void cleanBlock(TextBlock& block)
{
    block.isTable = false;
    block.isImage = false;
    const QString stripped = stripNativeDecorativePadding(block.text);
    if (!stripped.isEmpty())
        block.text = stripped;
    QRectF linesRect;
    for (TextBlock::Line& line : block.lines) {
        const QString lineText = stripNativeDecorativePadding(line.text);
        if (!lineText.isEmpty() && lineText != line.text)
            keepGlyphBoxesOf(line, lineText);
        setLineBox(line, expandedNativeTextRect(line.rect, line.fontSize > 0 ? line.fontSize : block.fontSize));
        if (hasArea(line.rect))
            linesRect = linesRect.isNull() ? line.rect : linesRect.united(line.rect);
    }
    if (block.lines.empty())
        block.rect = expandedNativeTextRect(block.rect, block.fontSize);
    else if (!linesRect.isNull())
        block.rect = linesRect;
    block.originalRect =
        hasArea(block.originalRect) ? expandedNativeTextRect(block.originalRect, block.fontSize) : block.rect;
}

bool isInkImage(const TextBlock& image)
{
    return image.isImage && image.inkRegion && hasArea(image.originalRect);
}

bool coveredByInkImage(const QRectF& r, const std::vector<TextBlock>& images)
{
    const double area = std::max(r.width() * r.height(), 1.0);
    return std::any_of(images.begin(), images.end(), [&](const TextBlock& image) {
        if (!isInkImage(image))
            return false;
        const QRectF ink =
            image.originalRect.adjusted(-kInkImageGrowth, -kInkImageGrowth, kInkImageGrowth, kInkImageGrowth);
        if (ink.contains(r.center()))
            return true;
        const QRectF common = r.intersected(ink);
        return hasArea(common) && common.width() * common.height() > kInkCoverShare * area;
    });
}

bool isInkSymbol(QChar c)
{
    static const QString symbols = QStringLiteral("^\u00B0<>/\\\"'`~");
    return symbols.contains(c);
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

bool mostlySymbols(int others, int letters, int n)
{
    return double(others) / n > kArtifactOtherShare && double(letters) / n < kArtifactLetterShare;
}

bool showsColour(const QColor& colour)
{
    return !colour.isValid() || colour.alpha() > kMaxInvisibleAlpha;
}

// A colour of its own (red, blue), not black, grey or white.
bool isColouredInk(const QColor& colour)
{
    if (!colour.isValid() || colour.alpha() <= kMaxInvisibleAlpha)
        return false;
    const int r = colour.red();
    const int g = colour.green();
    const int b = colour.blue();
    return std::max({r, g, b}) - std::min({r, g, b}) >= kMinInkChroma;
}

// The ink image is nothing but coloured text of the layer drawn there.
bool isOwnInkOfText(const TextBlock& image, const std::vector<TextBlock>& blocks)
{
    const QRectF ink = image.originalRect;
    QRectF text;
    for (const TextBlock& b : blocks) {
        if (!isColouredText(b) || !hasArea(b.rect))
            continue;
        const QRectF reach = b.rect.adjusted(-kOwnInkReach, -kOwnInkReach, kOwnInkReach, kOwnInkReach);
        if (reach.intersects(ink))
            text = text.isNull() ? reach : text.united(reach);
    }
    return !text.isNull() && text.contains(ink);
}

} // namespace

bool isColouredText(const TextBlock& b)
{
    if (b.isImage || b.text.trimmed().isEmpty())
        return false;
    return isColouredInk(b.color)
           || std::any_of(b.lines.begin(), b.lines.end(),
                          [](const TextBlock::Line& line) { return isColouredInk(line.color); });
}

std::vector<TextBlock> inkBesidesText(std::vector<TextBlock> images, const std::vector<TextBlock>& blocks)
{
    std::erase_if(images, [&blocks](const TextBlock& image) { return isInkImage(image) && isOwnInkOfText(image, blocks); });
    return images;
}

QRectF expandedNativeTextRect(const QRectF& r, double fontSize)
{
    if (r.width() <= 0 || r.height() <= 0)
        return r;
    const double target = std::max({kLineHeightPerFontSize * fontSize, kMinNativeLineHeight, r.height()});
    const double grow = std::max((target - r.height()) / 2, 0.0);
    return QRectF(r.x() - kNativeSideGrowth, r.y() - grow, r.width() + 2 * kNativeSideGrowth, r.height() + 2 * grow)
        .normalized();
}

QString stripNativeDecorativePadding(const QString& s)
{
    if (s.size() < kMinFillerRun)
        return s.trimmed();
    qsizetype lead = 0;
    while (lead < s.size() && isFiller(s[lead]))
        ++lead;
    if (lead == s.size())
        return QString();
    qsizetype trail = 0;
    while (trail < s.size() && isFiller(s[s.size() - 1 - trail]))
        ++trail;
    const qsizetype from = lead >= kMinFillerRun ? lead : 0;
    const qsizetype to = trail >= kMinFillerRun ? s.size() - trail : s.size();
    return s.mid(from, to - from).trimmed();
}

bool isDecorativeNativeSeparator(const TextBlock& b)
{
    const QString text = b.text.simplified();
    return text.size() >= kMinFillerRun && std::all_of(text.begin(), text.end(), isFiller);
}

bool looksLikeInkLayerTextArtifact(const TextBlock& b, const std::vector<TextBlock>& images)
{
    QString c = b.text.simplified();
    c.remove(QLatin1Char(' '));
    if (c.isEmpty() || b.rect.width() <= 0 || b.rect.height() <= 0)
        return false;
    if (!coveredByInkImage(b.rect, images))
        return false;
    int letters = 0;
    int digits = 0;
    int others = 0;
    bool latinOrSymbol = false;
    for (QChar ch : c) {
        if (ch.isLetter()) {
            ++letters;
            latinOrSymbol |= isAsciiLetter(ch);
        } else if (ch.isDigit()) {
            ++digits;
        } else {
            ++others;
            latinOrSymbol |= isInkSymbol(ch);
        }
    }
    const int n = int(c.size());
    if (latinOrSymbol)
        return true;
    if (letters > 0 && digits > 0)
        return n <= kShortMixedText || mostlySymbols(others, letters, n);
    if (n > kShortText)
        return mostlySymbols(others, letters, n);
    return letters == 0 && others > 0;
}

std::vector<TextBlock> cleanedNativeTextBlocks(std::vector<TextBlock> blocks, const std::vector<TextBlock>& images)
{
    joinSeparators(blocks);
    std::vector<TextBlock> kept;
    for (TextBlock& block : blocks) {
        if (block.isImage || block.text.trimmed().isEmpty() || isDecorativeNativeSeparator(block))
            continue;
        cleanBlock(block);
        kept.push_back(std::move(block));
    }
    if (!images.empty()) {
        // Text printed in colour is what it shows, not a stamp's leftover.
        std::erase_if(kept, [&images](const TextBlock& b) {
            return !isColouredText(b) && looksLikeInkLayerTextArtifact(b, images);
        });
    }
    return kept;
}

bool isUsableNativeTextLayer(const std::vector<TextBlock>& kept, double pageWidth, double pageHeight)
{
    qsizetype chars = 0;
    double area = 0;
    for (const TextBlock& b : kept) {
        chars += b.text.trimmed().size();
        area += std::max(b.rect.width(), 0.0) * std::max(b.rect.height(), 0.0);
    }
    const double pageArea = std::max(pageWidth * pageHeight, 1.0);
    return !(chars <= kMaxCharsOfUnusableLayer && area / pageArea < kMinUsableAreaShare);
}

bool hasVisibleNativeText(const std::vector<TextBlock>& blocks)
{
    return std::any_of(blocks.begin(), blocks.end(), [](const TextBlock& b) {
        if (b.isImage || b.text.trimmed().isEmpty())
            return false;
        return showsColour(b.color)
               || std::any_of(b.lines.begin(), b.lines.end(),
                              [](const TextBlock::Line& line) { return showsColour(line.color); });
    });
}
