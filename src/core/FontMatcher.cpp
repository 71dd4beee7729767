#include "FontMatcher.h"

#include "OcrText.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace {

constexpr std::array<const char *, 2> kFamilies = {"Times New Roman", "Liberation Serif"};
constexpr int kBinarizeThreshold = 160;

// Grey levels of an image as one byte per pixel, weighted 11:16:5.
std::vector<uchar> greyLevels(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<uchar> grey(size_t(rgb.width()) * size_t(rgb.height()));
    size_t i = 0;
    for (int y = 0, yEnd = rgb.height(); y < yEnd; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0, xEnd = rgb.width(); x < xEnd; ++x)
            grey[i++] = uchar(qGray(row[x]));
    }
    return grey;
}

QRect boundsBelow(const std::vector<uchar> &grey, int width, int height, int threshold)
{
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const uchar *row = grey.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            if (row[x] < threshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Inked (below the binarisation threshold) flags of a grey image.
std::vector<uchar> inkMask(const std::vector<uchar> &grey, int *inkCount)
{
    std::vector<uchar> mask(grey.size());
    int count = 0;
    for (size_t i = 0; i < grey.size(); ++i) {
        mask[i] = grey[i] < kBinarizeThreshold;
        count += mask[i];
    }
    *inkCount = count;
    return mask;
}

float diceOfMasks(const std::vector<uchar> &a, int inkA, const std::vector<uchar> &b, int inkB)
{
    if (inkA + inkB == 0)
        return 0.0f;
    int both = 0;
    for (size_t i = 0; i < a.size(); ++i)
        both += a[i] & b[i];
    return 2.0f * float(both) / float(inkA + inkB);
}

int whiteSpaceCount(const QString &text)
{
    return int(std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); }));
}

// Stretches the candidate font so its advance of `text` follows the scanned ink width.
void fitSpacingToInkWidth(QFont &font, const QString &text, int pixelSize, int inkWidth)
{
    const double advance = std::max(QFontMetricsF(font).horizontalAdvance(text), 1.0);
    const double diff = inkWidth - advance;
    if (std::abs(diff) < std::max(0.06 * pixelSize, 0.6))
        return;
    const int spaces = whiteSpaceCount(text);
    if (spaces > 0 && diff > 0) {
        font.setWordSpacing(std::min(diff / spaces, 2.6 * pixelSize));
        return;
    }
    const double perGap = diff / std::max<qsizetype>(text.size() - 1, 1);
    const double spacing = std::max(std::min(0.22 * pixelSize, perGap), -0.08 * pixelSize);
    if (std::abs(spacing) >= 0.05)
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
}

// The text in black on white, its tight box's top-left on `inkTopLeft`.
QImage renderCandidate(const QFont &font, const QString &text, QSize size, QPoint inkTopLeft)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRectF tight = QFontMetricsF(font).tightBoundingRect(text);
    if (tight.isEmpty())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::black);
    painter.setFont(font);
    painter.drawText(QPointF(inkTopLeft.x() - tight.left(), inkTopLeft.y() - tight.top()), text);
    return image;
}

// The family a candidate font resolves to, asked of the font database once per
// family, weight and size on each thread.
QString resolvedFamily(const QFont &font, const char *family, bool bold, int pixelSize)
{
    thread_local std::map<std::tuple<const char *, bool, int>, QString> cache;
    const auto key = std::make_tuple(family, bold, pixelSize);
    auto found = cache.find(key);
    if (found == cache.end())
        found = cache.emplace(key, QFontInfo(font).family()).first;
    return found->second;
}

double inkSizePenalty(const QRect &rendered, const QRect &ink)
{
    const double h = std::max(ink.height(), 1);
    const double w = std::max(ink.width(), 1);
    return 0.22 * std::abs(rendered.height() - ink.height()) / h
           + 0.08 * std::abs(rendered.width() - ink.width()) / w;
}

} // namespace

QRect darkBounds(const QImage &image, int threshold)
{
    if (image.isNull())
        return {};
    return boundsBelow(greyLevels(image), image.width(), image.height(), threshold);
}

QImage FontMatcher::binarize(const QImage &image)
{
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0, yEnd = grey.height(); y < yEnd; ++y) {
        uchar *row = grey.scanLine(y);
        for (int x = 0, xEnd = grey.width(); x < xEnd; ++x)
            row[x] = row[x] < kBinarizeThreshold ? 0 : 255;
    }
    return grey;
}

float FontMatcher::dice(const QImage &a, const QImage &b)
{
    if (a.isNull() || b.isNull())
        return 0.0f;
    const QImage scaled = a.size() == b.size()
        ? a
        : a.scaled(b.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    int inkA = 0, inkB = 0;
    const std::vector<uchar> maskA = inkMask(greyLevels(scaled), &inkA);
    const std::vector<uchar> maskB = inkMask(greyLevels(b), &inkB);
    return diceOfMasks(maskA, inkA, maskB, inkB);
}

QColor FontMatcher::estimateTextColor(const QImage &image)
{
    constexpr int kInkSum = 5920;
    constexpr int kCoreLuminance = 125;
    constexpr int kMinCorePixels = 5;
    if (image.isNull())
        return Qt::black;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 inkCount = 0, coreCount = 0;
    qint64 inkR = 0, inkG = 0, inkB = 0, coreR = 0, coreG = 0, coreB = 0;
    for (int y = 0, yEnd = rgb.height(); y < yEnd; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0, xEnd = rgb.width(); x < xEnd; ++x) {
            const int r = qRed(row[x]), g = qGreen(row[x]), b = qBlue(row[x]);
            const int sum = 11 * r + 16 * g + 5 * b;
            if (sum >= kInkSum)
                continue;
            ++inkCount;
            inkR += r, inkG += g, inkB += b;
            if (sum / 32 < kCoreLuminance) {
                ++coreCount;
                coreR += r, coreG += g, coreB += b;
            }
        }
    }
    if (inkCount == 0)
        return Qt::black;
    const bool useCore = coreCount >= std::max<qint64>(inkCount / 5, kMinCorePixels) || coreCount == inkCount;
    if (useCore && coreCount > 0)
        return QColor(int(coreR / coreCount), int(coreG / coreCount), int(coreB / coreCount));
    return QColor(int(inkR / inkCount), int(inkG / inkCount), int(inkB / inkCount));
}

QImage FontMatcher::renderBlock(const QString &text, const QString &family, float pixelSize, bool bold,
                                bool italic, int width, int height)
{
    constexpr int kInset = 2;
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_Grayscale8);
    image.fill(255);
    QFont font(family);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setPixelSize(std::max(1, int(std::lround(std::max(pixelSize, 6.0f)))));
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.setFont(font);
    painter.drawText(image.rect().adjusted(kInset, kInset, -kInset, -kInset),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    return image;
}

FontMatch FontMatcher::match(const QImage &crop, const QString &text, float sizeHint)
{
    constexpr int kMinCropSide = 8;
    constexpr double kMaxWorkWidth = 180.0;
    constexpr double kMaxWorkHeight = 54.0;
    constexpr int kMaxPixelSize = 220;
    constexpr double kBoldPenalty = 0.045;
    constexpr double kCapitalsRatio = 0.72;

    FontMatch result;
    result.family = QStringLiteral("Arial");
    const int lineCount = int(text.count(QLatin1Char('\n'))) + 1;
    result.size = std::clamp(sizeHint / float(lineCount) * 0.72f, 6.0f, 48.0f);
    result.color = estimateTextColor(crop);

    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || crop.isNull() || crop.width() < kMinCropSide || crop.height() < kMinCropSide)
        return result;

    QImage work = crop.convertToFormat(QImage::Format_RGB32);
    const double f = std::min({1.0, kMaxWorkWidth / crop.width(), kMaxWorkHeight / crop.height()});
    if (f < 0.999) {
        const int w = std::max(int(std::lround(crop.width() * f)), kMinCropSide);
        const int h = std::max(int(std::lround(crop.height() * f)), kMinCropSide);
        work = work.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const std::vector<uchar> workGrey = greyLevels(work);
    const QRect ink = boundsBelow(workGrey, work.width(), work.height(), 190);
    if (ink.isEmpty())
        return result;
    int workInk = 0;
    const std::vector<uchar> workMask = inkMask(workGrey, &workInk);
    const double pixelsPerPoint = sizeHint > 0 ? work.height() / double(sizeHint) : 2.0;
    const double upper = uppercaseRatio(text);

    const int firstSize = std::max(int(std::floor(0.72 * ink.height())), 5);
    const int lastSize = std::min(std::max(int(std::ceil(1.85 * ink.height())), firstSize + 3), kMaxPixelSize);
    const bool fitWidth = trimmed.size() >= 2 && ink.width() > 1;

    double best = -1.0;
    for (const char *family : kFamilies) {
        for (bool bold : {false, true}) {
            QFont base{QString::fromLatin1(family)};
            base.setWeight(bold ? QFont::Bold : QFont::Normal);
            base.setItalic(false);
            base.setStyleStrategy(QFont::NoSubpixelAntialias);
            for (int px = firstSize; px <= lastSize; px += 2) {
                QFont font = base;
                font.setPixelSize(px);
                if (fitWidth)
                    fitSpacingToInkWidth(font, trimmed, px, ink.width());
                const QImage rendered = renderCandidate(font, trimmed, work.size(), ink.topLeft());
                const std::vector<uchar> renderedGrey = greyLevels(rendered);
                int renderedInk = 0;
                const std::vector<uchar> renderedMask = inkMask(renderedGrey, &renderedInk);
                double score = diceOfMasks(renderedMask, renderedInk, workMask, workInk);
                const QRect renderedBounds = boundsBelow(renderedGrey, rendered.width(), rendered.height(), 190);
                if (!renderedBounds.isEmpty())
                    score -= inkSizePenalty(renderedBounds, ink);
                if (bold && upper < kCapitalsRatio)
                    score -= kBoldPenalty;
                if (score > best) {
                    best = score;
                    result.family = resolvedFamily(font, family, bold, px);
                    result.bold = bold;
                    result.italic = false;
                    result.size = float(std::clamp(px / pixelsPerPoint, 5.0, 72.0));
                }
            }
        }
    }
    result.size = std::max(result.size, std::clamp(0.98f * sizeHint, 5.0f, 72.0f));
    return result;
}
