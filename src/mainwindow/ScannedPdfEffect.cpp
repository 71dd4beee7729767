// The scanned look, stage by stage. The order of the draws from each
// generator is part of the result: two exports of one page are identical.
#include "ScannedPdfEffect.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QRandomGenerator>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

const QColor kPaper(252, 251, 247);
constexpr int kMinInnerSide = 8;
constexpr double kTiltPageBias = 0.08;
constexpr double kPhaseRange = 80.0;
constexpr double kBandFrequency = 0.055;
constexpr double kBandAmplitude = 0.22;
constexpr int kScannerLinePeriod = 97;
constexpr int kScannerLinePageShift = 37;
constexpr int kSmallestShadowedSide = 17;
constexpr int kShadowDivisor = 9;
constexpr double kMetresPerInch = 0.0254;

quint32 bounded(QRandomGenerator& random, int n)
{
    return random.bounded(quint32(n));
}

QImage turned(const QImage& image, int rotation)
{
    QImage page = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (rotation != 0)
        page = page.transformed(QTransform().rotate(rotation, Qt::ZAxis), Qt::SmoothTransformation);
    return page;
}

QRect innerRect(int width, int height, const ScannedPdfExportOptions& options)
{
    const int margin = std::max(0, qRound(options.dpi * options.marginMm / 25.4));
    const QRect inner(margin, margin, width - 2 * margin, height - 2 * margin);
    if (inner.width() < kMinInnerSide || inner.height() < kMinInnerSide)
        return QRect(0, 0, width, height);
    return inner;
}

double tiltAngle(const ScannedPdfExportOptions& options, int pageIndex, bool preview)
{
    const double limit = options.maxSkewDegrees;
    if (limit <= 0.001)
        return 0.0;
    if (!options.randomize)
        return limit;
    QRandomGenerator tilt(scannedTiltSeed(pageIndex, preview));
    const double u = tilt.generateDouble();
    const double angle = (2.0 * u - 1.0) * limit + ((pageIndex % 3) - 1) * kTiltPageBias;
    return std::max(std::min(angle, limit), -limit);
}

// Takes the page by value and lets go of it and its scaled copy before the
// final conversion, so that fewer full-page pictures are alive at once.
QImage placedOnPaper(QImage page, const ScannedPdfExportOptions& options, int pageIndex, bool preview)
{
    QImage canvas(page.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(kPaper);
    const QRect inner = innerRect(page.width(), page.height(), options);
    QImage scaled = page.scaled(inner.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    page = QImage();
    const QPointF centre(inner.left() + inner.width() / 2.0, inner.top() + inner.height() / 2.0);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.translate(centre);
    painter.rotate(tiltAngle(options, pageIndex, preview));
    painter.translate(-centre);
    painter.drawImage(QRectF(centre.x() - scaled.width() / 2.0, centre.y() - scaled.height() / 2.0, scaled.width(),
                             scaled.height()),
                      scaled, QRectF(scaled.rect()));
    painter.end();
    scaled = QImage();
    canvas.convertTo(QImage::Format_ARGB32);
    return canvas;
}

int rowBand(const ScannedPdfExportOptions& options, int pageIndex, int y, double phase)
{
    if (options.stripes <= 0)
        return 0;
    int band = qRound(options.stripes * std::sin((y + phase) * kBandFrequency) * kBandAmplitude);
    if ((kScannerLinePageShift * pageIndex + y) % kScannerLinePeriod == 0)
        band += options.stripes / 2;
    return band;
}

int toned(int channel, double contrastFactor, int darkOffset, int shade, int noise)
{
    return std::clamp(qRound((channel - 128) * contrastFactor + 128) - darkOffset - shade + noise, 0, 255);
}

void applyTone(QImage& image, const ScannedPdfExportOptions& options, int pageIndex)
{
    const int width = image.width();
    const int height = image.height();
    const int smaller = std::min(width, height);
    const int shadowWidth = smaller <= kSmallestShadowedSide ? 1 : smaller / kShadowDivisor;
    QRandomGenerator tone(scannedToneSeed(pageIndex));
    const double phase = tone.generateDouble() * kPhaseRange;
    const double contrastFactor = 1.0 + options.contrast / 100.0;
    const int darkOffset = 2 * options.darkness;
    for (int y = 0; y < height; ++y) {
        const int band = rowBand(options, pageIndex, y, phase);
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            int noise = 0;
            if (options.noise > 0)
                noise = int(bounded(tone, 2 * options.noise + 1)) - options.noise;
            int shade = band;
            if (options.edgeShadow > 0) {
                const int d = std::min({x, width - 1 - x, y, height - 1 - y});
                if (d < shadowWidth) {
                    const double fall = 1.0 - double(d) / shadowWidth;
                    shade = band + qRound(fall * fall * options.edgeShadow);
                }
            }
            const QRgb pixel = row[x];
            if (options.grayscale) {
                const int v = toned(qGray(pixel), contrastFactor, darkOffset, shade, noise);
                row[x] = qRgb(v, v, v);
            } else {
                row[x] = qRgb(toned(qRed(pixel), contrastFactor, darkOffset, shade, noise),
                              toned(qGreen(pixel), contrastFactor, darkOffset, shade, noise),
                              toned(qBlue(pixel), contrastFactor, darkOffset, shade, noise));
            }
        }
    }
}

void drawStreaks(QPainter& painter, int width, int height, const ScannedPdfExportOptions& options, int pageIndex)
{
    constexpr int kStreakStep = 18;
    constexpr int kWideStreakAbove = 55;
    constexpr int kAlphaSpread = 34;
    constexpr int kGapBase = 140;
    constexpr int kSegmentGap = 36;
    const int strength = options.verticalStreaks;
    QRandomGenerator streaks(scannedStreakSeed(pageIndex));
    const int count = std::max(1, qRound(strength / double(kStreakStep)));
    for (int i = 0; i < count; ++i) {
        const int x = int(bounded(streaks, std::max(1, width)));
        int penWidth = 1;
        if (strength > kWideStreakAbove)
            penWidth = bounded(streaks, 4) == 0 ? 2 : 1;
        const int alpha = std::clamp(strength + int(bounded(streaks, kAlphaSpread)), 10, 120);
        const bool light = bounded(streaks, 5) == 0;
        const QColor colour = light ? QColor(255, 255, 255, alpha) : QColor(20, 22, 24, alpha);
        painter.setPen(QPen(colour, penWidth, Qt::SolidLine, Qt::FlatCap));
        int y = 0;
        while (y < height) {
            const int y0 = y + int(bounded(streaks, std::max(1, kGapBase - strength)));
            const int lo = std::max(16, height / 10);
            const int hi = std::max(lo + 2, height / 2);
            int length = lo + int(bounded(streaks, hi - lo));
            length = std::min(length, height - y0);
            if (length > 0)
                painter.drawLine(QPoint(x, y0), QPoint(x, y0 + length));
            y = y0 + length + int(bounded(streaks, kSegmentGap));
        }
    }
}

void drawFoldedCorner(QPainter& painter, int width, int height, int strength)
{
    const int m = std::min(width, height);
    const double w = width;
    const double s = std::min(0.2 * m, std::max(strength * m / 100.0, 8.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, std::clamp(2 * strength, 12, 95)));
    painter.drawPolygon(QPolygonF({QPointF(w - s - 5, 0), QPointF(w - 1, s + 5), QPointF(w - 1, 0)}),
                        Qt::OddEvenFill);
    QLinearGradient flap(QPointF(w - s, 0), QPointF(w, s));
    flap.setColorAt(0.0, QColor(255, 255, 255, 235));
    flap.setColorAt(0.55, QColor(232, 229, 220, 238));
    flap.setColorAt(1.0, QColor(250, 249, 244, 245));
    painter.setBrush(flap);
    painter.drawPolygon(QPolygonF({QPointF(w - s, 0), QPointF(w - 1, 0), QPointF(w - 1, s)}), Qt::OddEvenFill);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(126, 116, 104, 95), std::max(s / 42.0, 1.0), Qt::SolidLine, Qt::SquareCap,
                        Qt::BevelJoin));
    painter.drawLine(QLineF(w - s, 0, w - 1, s));
    painter.setPen(QPen(QColor(255, 255, 255, 130), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.drawLine(QLineF(w - 0.62 * s, 2, w - 3, 0.62 * s));
}

} // namespace

quint32 scannedTiltSeed(int pageIndex, bool preview)
{
    return quint32(pageIndex) * 7919u + (preview ? 17u : 0u) + 0xC0FFEEu;
}

quint32 scannedToneSeed(int pageIndex)
{
    return quint32(pageIndex) * 104729u + 0x51A7E5u;
}

quint32 scannedStreakSeed(int pageIndex)
{
    return quint32(pageIndex) * 3571u + 0xBADC0DEu;
}

QImage applyScannedPdfEffect(const QImage& image, const ScannedPdfExportOptions& options, int pageIndex, bool preview)
{
    if (image.isNull())
        return QImage();
    QImage result = placedOnPaper(turned(image, options.rotation), options, pageIndex, preview);
    const int width = result.width();
    const int height = result.height();
    applyTone(result, options, pageIndex);
    if (options.verticalStreaks > 0 || options.foldedCorner > 0) {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (options.verticalStreaks > 0)
            drawStreaks(painter, width, height, options, pageIndex);
        if (options.foldedCorner > 0)
            drawFoldedCorner(painter, width, height, options.foldedCorner);
    }
    const int dotsPerMetre = qRound(options.dpi / kMetresPerInch);
    result.setDotsPerMeterX(dotsPerMetre);
    result.setDotsPerMeterY(dotsPerMetre);
    return result;
}
