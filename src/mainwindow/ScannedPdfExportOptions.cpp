#include "ScannedPdfExportOptions.h"

#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("export/scannedPdf");

} // namespace

ScannedPdfExportOptions readScannedPdfDefaults()
{
    ScannedPdfExportOptions o;
    QSettings settings;
    settings.beginGroup(kGroup);
    o.dpi = settings.value(QStringLiteral("dpi"), o.dpi).toInt();
    o.rotation = settings.value(QStringLiteral("rotation"), o.rotation).toInt();
    o.marginMm = settings.value(QStringLiteral("marginMm"), o.marginMm).toDouble();
    o.maxSkewDegrees = settings.value(QStringLiteral("maxSkewDegrees"), o.maxSkewDegrees).toDouble();
    o.darkness = settings.value(QStringLiteral("darkness"), o.darkness).toInt();
    o.contrast = settings.value(QStringLiteral("contrast"), o.contrast).toInt();
    o.noise = settings.value(QStringLiteral("noise"), o.noise).toInt();
    o.stripes = settings.value(QStringLiteral("stripes"), o.stripes).toInt();
    o.verticalStreaks = settings.value(QStringLiteral("verticalStreaks"), o.verticalStreaks).toInt();
    o.edgeShadow = settings.value(QStringLiteral("edgeShadow"), o.edgeShadow).toInt();
    o.foldedCorner = settings.value(QStringLiteral("foldedCorner"), o.foldedCorner).toInt();
    o.grayscale = settings.value(QStringLiteral("grayscale"), o.grayscale).toBool();
    o.randomize = settings.value(QStringLiteral("randomize"), o.randomize).toBool();
    settings.endGroup();
    return o;
}

void saveScannedPdfDefaults(const ScannedPdfExportOptions& o)
{
    QSettings settings;
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("dpi"), o.dpi);
    settings.setValue(QStringLiteral("rotation"), o.rotation);
    settings.setValue(QStringLiteral("marginMm"), o.marginMm);
    settings.setValue(QStringLiteral("maxSkewDegrees"), o.maxSkewDegrees);
    settings.setValue(QStringLiteral("darkness"), o.darkness);
    settings.setValue(QStringLiteral("contrast"), o.contrast);
    settings.setValue(QStringLiteral("noise"), o.noise);
    settings.setValue(QStringLiteral("stripes"), o.stripes);
    settings.setValue(QStringLiteral("verticalStreaks"), o.verticalStreaks);
    settings.setValue(QStringLiteral("edgeShadow"), o.edgeShadow);
    settings.setValue(QStringLiteral("foldedCorner"), o.foldedCorner);
    settings.setValue(QStringLiteral("grayscale"), o.grayscale);
    settings.setValue(QStringLiteral("randomize"), o.randomize);
    settings.endGroup();
}
