#include "PrintSettings.h"

#include <QSettings>

#include <algorithm>

namespace {

constexpr int kMinDpi = 72;
constexpr int kMaxDpi = 1200;
constexpr int kMaxCopies = 99;
constexpr double kEnlarged = 1.25;

} // namespace

PrintSettings PrintSettings::read()
{
    QSettings settings;
    PrintSettings result;
    result.dpi = std::clamp(settings.value(QStringLiteral("print/dpi"), 300).toInt(), kMinDpi, kMaxDpi);
    result.paper = paperFor(settings.value(QStringLiteral("print/paper"), QStringLiteral("A4")).toString());
    result.orientation =
        orientationFor(settings.value(QStringLiteral("print/orientation"), QStringLiteral("portrait")).toString());
    result.copies = std::clamp(settings.value(QStringLiteral("print/copies"), 1).toInt(), 1, kMaxCopies);
    return result;
}

QPageSize::PageSizeId PrintSettings::paperFor(const QString& stored)
{
    if (stored == QLatin1String("A3"))
        return QPageSize::A3;
    if (stored == QLatin1String("A5"))
        return QPageSize::A5;
    if (stored == QLatin1String("Letter"))
        return QPageSize::Letter;
    if (stored == QLatin1String("Legal"))
        return QPageSize::Legal;
    return QPageSize::A4;
}

QPageLayout::Orientation PrintSettings::orientationFor(const QString& stored)
{
    return stored == QLatin1String("landscape") || stored == QStringLiteral("Альбомная") ? QPageLayout::Landscape
                                                                                          : QPageLayout::Portrait;
}

PrintSettings::Scale PrintSettings::scaleFor(const QString& stored)
{
    if (stored == QLatin1String("100") || stored == QLatin1String("100%"))
        return Scale::Actual;
    if (stored == QLatin1String("125") || stored == QLatin1String("125%"))
        return Scale::Enlarged;
    if (stored == QLatin1String("width") || stored == QStringLiteral("По ширине"))
        return Scale::Width;
    return Scale::Fit;
}

PrintSettings::Scale PrintSettings::storedScale()
{
    return scaleFor(QSettings().value(QStringLiteral("print/scale"), QStringLiteral("fit")).toString());
}

double PrintSettings::scaleFactor(Scale scale, const QSizeF& paintSize, const QSizeF& pageSize)
{
    const double byWidth = paintSize.width() / std::max(pageSize.width(), 1.0);
    switch (scale) {
    case Scale::Actual:
        return 1.0;
    case Scale::Enlarged:
        return kEnlarged;
    case Scale::Width:
        return byWidth;
    case Scale::Fit:
        break;
    }
    return std::min(byWidth, paintSize.height() / std::max(pageSize.height(), 1.0));
}
