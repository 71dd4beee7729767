#include "BlockPainting.h"

#include "LineFonts.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bool isDecorativeChar(QChar c)
{
    return c.isSpace() || c == u'-' || c == u'_' || c == QChar(0x2013) || c == QChar(0x2014);
}

// Everything of a line and its block that lineRenderFont reads, and the
// arguments: equal keys give the same font.
struct FittedLineKey {
    QString text;
    QString lineText;
    QString lineFamily;
    QString blockFamily;
    double width = 0;
    double height = 0;
    double lineFontSize = 0;
    double blockFontSize = 0;
    double blockMedianHeight = 0;
    double zoom = 0;
    quint32 flags = 0;

    bool operator==(const FittedLineKey& other) const
    {
        return flags == other.flags && width == other.width && height == other.height
               && lineFontSize == other.lineFontSize && blockFontSize == other.blockFontSize
               && blockMedianHeight == other.blockMedianHeight && zoom == other.zoom && text == other.text
               && lineText == other.lineText && lineFamily == other.lineFamily && blockFamily == other.blockFamily;
    }
};

size_t qHash(const FittedLineKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.text, key.lineText, key.lineFamily, key.width, key.height, key.zoom, key.flags);
}

FittedLineKey fittedLineKey(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& text,
                            bool applySpacing)
{
    FittedLineKey key;
    key.text = text;
    key.lineText = line.text;
    key.lineFamily = line.fontFamily;
    key.blockFamily = block.fontFamily;
    key.width = line.rect.width();
    key.height = line.rect.height();
    key.lineFontSize = line.fontSize;
    key.blockFontSize = block.fontSize;
    key.blockMedianHeight = medianOcrLineHeightPt(block);
    key.zoom = zoom;
    const bool flags[] = {line.bold, line.italic, line.invisibleText, line.spans.empty(),
                          block.bold, block.italic, block.invisibleText, applySpacing,
                          line.placement.has_value(), hasArea(block.originalRect)};
    for (size_t i = 0; i < std::size(flags); ++i)
        key.flags |= flags[i] ? 1u << i : 0u;
    return key;
}

int g_fittedLineMisses = 0;

} // namespace

FittedLine fittedLine(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& text,
                      bool applySpacing)
{
    static QHash<FittedLineKey, FittedLine> cache;
    constexpr qsizetype kCacheLimit = 4096;
    FittedLineKey key = fittedLineKey(line, block, zoom, text, applySpacing);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    ++g_fittedLineMisses;
    FittedLine fitted;
    fitted.font = lineRenderFont(line, block, zoom, text, applySpacing, 1.0);
    fitted.ink = QFontMetricsF(fitted.font).tightBoundingRect(text);
    if (cache.size() >= kCacheLimit)
        cache.clear();
    cache.insert(std::move(key), fitted);
    return fitted;
}

int fittedLineMisses()
{
    return g_fittedLineMisses;
}

// The same rule as the scanned-look export's: beyond half a point on any
// edge, or turned; a block without an old place never moved.
bool blockMoved(const TextBlock& block)
{
    return scannedExportBlockMoved(block);
}

bool blockTextEdited(const TextBlock& block)
{
    if (block.isImage || block.lines.empty())
        return false;
    if (block.textEdited || isTurnedByUser(block))
        return true;
    QStringList lineTexts;
    for (const TextBlock::Line& line : block.lines) {
        const QString text = line.text.trimmed();
        if (!text.isEmpty())
            lineTexts.append(text);
    }
    return block.text.trimmed() != lineTexts.join(u'\n').trimmed();
}

bool fontNameLooksItalic(const QString& name)
{
    static const QRegularExpression marker(QStringLiteral("italic|oblique|slanted|inclined"),
                                           QRegularExpression::CaseInsensitiveOption);
    return marker.match(name).hasMatch();
}

bool isNativePdfLine(const TextBlock::Line& line)
{
    return isNativeLine(line);
}

bool effectiveLineItalic(const TextBlock::Line& line, const TextBlock& block)
{
    const QString lineFamily = line.fontFamily.trimmed();
    const bool italic = lineFamily.isEmpty() ? block.italic : line.italic;
    if (!italic || line.invisibleText || !isNativePdfLine(line))
        return italic;
    return fontNameLooksItalic(lineFamily.isEmpty() ? block.fontFamily.trimmed() : lineFamily);
}

QImage whiteAlphaMaskForPreview(const QImage& image)
{
    if (image.isNull())
        return QImage();
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage mask(source.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    const int w = source.width();
    const int h = source.height();
    constexpr int kInkAlpha = 8;
    for (int y = 0; y < h; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(row[x]) <= kInkAlpha)
                continue;
            for (int yy = std::max(0, y - 1); yy <= std::min(h - 1, y + 1); ++yy) {
                QRgb* out = reinterpret_cast<QRgb*>(mask.scanLine(yy));
                for (int xx = std::max(0, x - 1); xx <= std::min(w - 1, x + 1); ++xx)
                    out[xx] = 0xFFFFFFFF;
            }
        }
    }
    return mask;
}

bool shouldUseTextBlockForInkRepair(const TextBlock& block, const QRectF& area)
{
    if (block.isImage || !hasArea(block.rect) || block.text.trimmed().isEmpty())
        return false;
    constexpr double kAreaMargin = 1.5;
    constexpr double kMinCoverage = 0.12;
    const QRectF widened = area.adjusted(-kAreaMargin, -kAreaMargin, kAreaMargin, kAreaMargin);
    const QRectF overlap = block.rect.intersected(widened);
    if (!hasArea(overlap))
        return false;
    const double coverage = overlap.width() * overlap.height() / (block.rect.width() * block.rect.height());
    if (coverage < kMinCoverage && !widened.contains(block.rect.center()))
        return false;
    const QString text = block.text;
    if (std::all_of(text.begin(), text.end(), isDecorativeChar))
        return false;

    static const QString kUnsafeMarks = QStringLiteral("^°<>/\\\"'`~");
    int letters = 0, latin = 0, digits = 0, others = 0, length = 0;
    for (QChar c : text) {
        if (c.isSpace())
            continue;
        ++length;
        if (kUnsafeMarks.contains(c))
            return false;
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
            ++latin;
        if (c.isLetter())
            ++letters;
        else if (c.isDigit())
            ++digits;
        else
            ++others;
    }
    if (latin > 0)
        return false;
    constexpr int kShortAlnum = 7;
    if (letters + digits < kShortAlnum)
        return true;
    constexpr double kMaxOtherShare = 0.32;
    if (others > kMaxOtherShare * length)
        return text.trimmed() == QStringLiteral("М.П.");
    return true;
}

void applyBlockRotation(QPainter& painter, const QRectF& rect, double degrees)
{
    const QPointF centre = rect.center();
    painter.translate(centre);
    painter.rotate(degrees);
    painter.translate(-centre);
}

void drawActiveTextBlockChrome(QPainter& painter, const QRectF& rect, double degrees)
{
    if (rect.width() <= 1 || rect.height() <= 1)
        return;
    const QColor accent(QStringLiteral("#1E72E4"));
    constexpr double kHandle = 8.0;
    constexpr double kStemLength = 12.0;
    constexpr double kKnobDiameter = 12.0;
    constexpr double kKnobRise = 18.0;
    painter.save();
    applyBlockRotation(painter, rect, degrees);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(accent, 1, Qt::DashLine));
    painter.drawRect(QRectF(rect.x(), rect.y(), rect.width() - 1, rect.height() - 1));
    painter.setPen(QPen(accent, 1));
    painter.setBrush(Qt::white);
    const double xs[] = {rect.left(), rect.center().x(), rect.right()};
    const double ys[] = {rect.top(), rect.center().y(), rect.bottom()};
    for (double x : xs) {
        for (double y : ys) {
            if (x == rect.center().x() && y == rect.center().y())
                continue;
            painter.drawRect(QRectF(x - kHandle / 2, y - kHandle / 2, kHandle - 1, kHandle - 1));
        }
    }
    const QPointF topMid(rect.center().x(), rect.top());
    QColor stem = accent;
    stem.setAlpha(160);
    painter.setPen(QPen(stem, 1));
    painter.drawLine(topMid, topMid - QPointF(0, kStemLength));
    painter.setPen(QPen(accent, 1));
    painter.drawEllipse(topMid - QPointF(0, kKnobRise), kKnobDiameter / 2, kKnobDiameter / 2);
    painter.restore();
}

QString blockDebugLabel(const TextBlock& block)
{
    if (block.isImage)
        return QStringLiteral("img");
    QString family = block.fontFamily.trimmed();
    double size = block.fontSize;
    bool bold = block.bold;
    bool italic = block.italic;
    for (const TextBlock::Line& line : block.lines) {
        if (line.text.trimmed().isEmpty())
            continue;
        if (!line.fontFamily.trimmed().isEmpty())
            family = line.fontFamily.trimmed();
        if (line.fontSize > 1.0f)
            size = line.fontSize;
        bold = line.bold;
        italic = effectiveLineItalic(line, block);
        break;
    }
    if (family.isEmpty())
        family = QStringLiteral("Times New Roman");
    QString label = QStringLiteral("%1 %2pt").arg(family).arg(size, 0, 'f', 1);
    if (bold)
        label += QStringLiteral(" B");
    if (italic)
        label += QStringLiteral(" I");
    return label;
}

namespace {

constexpr int kInkMinAlpha = 24;
constexpr int kDarkLumaLimit = 7999; // 11 R + 16 G + 5 B, out of 32 * 255

constexpr int kRuleLumaLimit = 5119;  // a rule is drawn dark, not a scan's grey paper

bool isInk(QRgb pixel)
{
    return qAlpha(pixel) >= kInkMinAlpha && 11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel) <= kDarkLumaLimit;
}

bool isDarkInk(QRgb pixel)
{
    return qAlpha(pixel) >= kInkMinAlpha && 11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel) <= kRuleLumaLimit;
}

// Long straight runs of dark ink are table rules and underlines: they stay.
// (A scan's speckled paper counts as faint ink, which would join letters
// into a run along a line.)
std::vector<char> ruleMask(const std::vector<char>& ink, int w, int h)
{
    std::vector<char> rule(ink.size(), 0);
    const int rowRun = std::max(int(std::lround(0.45 * w)), 30);
    for (int y = 0; y < h; ++y) {
        int x = 0;
        while (x < w) {
            if (!ink[size_t(y * w + x)]) {
                ++x;
                continue;
            }
            int end = x;
            while (end < w && ink[size_t(y * w + end)])
                ++end;
            if (end - x >= rowRun)
                std::fill(rule.begin() + y * w + x, rule.begin() + y * w + end, 1);
            x = end;
        }
    }
    constexpr int kMinHeightForColumnRules = 40;
    if (h < kMinHeightForColumnRules)
        return rule;
    const int columnRun = std::max(int(std::lround(0.82 * h)), 36);
    for (int x = 0; x < w; ++x) {
        int y = 0;
        while (y < h) {
            if (!ink[size_t(y * w + x)]) {
                ++y;
                continue;
            }
            int end = y;
            while (end < h && ink[size_t(end * w + x)])
                ++end;
            if (end - y >= columnRun) {
                for (int yy = y; yy < end; ++yy)
                    rule[size_t(yy * w + x)] = 1;
            }
            y = end;
        }
    }
    return rule;
}

} // namespace

QImage inkEraseOverlay(const QImage& cropImage, double pixelsPerScreenPixel)
{
    const QImage crop = cropImage.convertToFormat(QImage::Format_ARGB32);
    const int w = crop.width();
    const int h = crop.height();
    QImage overlay(crop.size(), QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    if (w <= 0 || h <= 0)
        return overlay;
    const auto at = [&](int x, int y) { return reinterpret_cast<const QRgb*>(crop.constScanLine(y))[x]; };

    std::vector<char> ink(size_t(w) * size_t(h), 0);
    std::vector<char> dark(ink.size(), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ink[size_t(y * w + x)] = isInk(at(x, y));
            dark[size_t(y * w + x)] = isDarkInk(at(x, y));
        }
    const std::vector<char> rule = ruleMask(dark, w, h);

    const int radius = std::clamp(int(std::lround(0.75 * pixelsPerScreenPixel)), 1, 3);
    std::vector<char> erase(ink.size(), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y * w + x);
            if (!ink[i] || rule[i])
                continue;
            for (int yy = std::max(0, y - radius); yy <= std::min(h - 1, y + radius); ++yy)
                for (int xx = std::max(0, x - radius); xx <= std::min(w - 1, x + radius); ++xx)
                    if (!rule[size_t(yy * w + xx)])
                        erase[size_t(yy * w + xx)] = 1;
        }
    }

    constexpr int kMaxReach = 10;
    constexpr int kEnoughSamples = 5;
    for (int y = 0; y < h; ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(overlay.scanLine(y));
        for (int x = 0; x < w; ++x) {
            if (!erase[size_t(y * w + x)])
                continue;
            int red = 0, green = 0, blue = 0, samples = 0;
            const auto sample = [&](int sx, int sy) {
                if (sx < 0 || sy < 0 || sx >= w || sy >= h || erase[size_t(sy * w + sx)])
                    return;
                const QRgb p = at(sx, sy);
                if (qAlpha(p) < kInkMinAlpha)
                    return;
                red += qRed(p);
                green += qGreen(p);
                blue += qBlue(p);
                ++samples;
            };
            for (int d = 2; d <= kMaxReach && samples <= kEnoughSamples; d += 2) {
                for (int k = -d; k <= d; ++k) {
                    sample(x + k, y - d);
                    sample(x + k, y + d);
                }
                for (int k = -d + 1; k <= d - 1; ++k) {
                    sample(x - d, y + k);
                    sample(x + d, y + k);
                }
            }
            out[x] = samples > 0 ? qRgb(red / samples, green / samples, blue / samples) : qRgb(255, 255, 255);
        }
    }
    return overlay;
}

QImage cachedInkEraseOverlay(const QImage& pageImage, const QRect& crop, double pixelsPerScreenPixel)
{
    struct Entry {
        qint64 image;
        QRect crop;
        double scale;
        QImage overlay;
    };
    static std::vector<Entry> cache;
    constexpr size_t kCacheLimit = 512;
    for (const Entry& entry : cache) {
        if (entry.image == pageImage.cacheKey() && entry.crop == crop && entry.scale == pixelsPerScreenPixel)
            return entry.overlay;
    }
    if (cache.size() >= kCacheLimit)
        cache.clear();
    cache.push_back({pageImage.cacheKey(), crop, pixelsPerScreenPixel,
                     inkEraseOverlay(pageImage.copy(crop), pixelsPerScreenPixel)});
    return cache.back().overlay;
}

void drawRectOutline(QPainter& painter, const QRect& rect, const QColor& colour, int width)
{
    const QRect outer(QPoint(rect.left() - width / 2, rect.top() - width / 2), QPoint(rect.right() + 1, rect.bottom() + 1));
    const int side = std::max(outer.height() - 2 * width, 0);
    painter.fillRect(QRect(outer.left(), outer.top(), outer.width(), width), colour);
    painter.fillRect(QRect(outer.left(), outer.bottom() - width + 1, outer.width(), width), colour);
    painter.fillRect(QRect(outer.left(), outer.top() + width, width, side), colour);
    painter.fillRect(QRect(outer.right() - width + 1, outer.top() + width, width, side), colour);
}
