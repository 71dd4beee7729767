#include "ScanEngine.h"

#include "PdfDocument.h"
#include "SaneBackend.h"
#include "StubBackend.h"

#include <QPageSize>
#include <QtGlobal>

#include <cmath>

namespace {

constexpr double kInchesPerMetre = 39.3701;
constexpr double kUnknownDpi = 300.0;
// The smallest page side PDF readers are asked to show, in points.
constexpr double kMinPageSide = 3.0;

double axisDpi(int dotsPerMetre)
{
    return dotsPerMetre > 0 ? dotsPerMetre / kInchesPerMetre : kUnknownDpi;
}

QSizeF unsnappedPageSize(const QImage& image)
{
    return QSizeF(image.width() * 72.0 / axisDpi(image.dotsPerMeterX()),
                  image.height() * 72.0 / axisDpi(image.dotsPerMeterY()));
}

} // namespace

std::unique_ptr<ScanBackend> createScanBackend()
{
    if (qEnvironmentVariable("VORN_SCAN_BACKEND") == QLatin1String("demo"))
        return std::make_unique<StubBackend>();
    auto sane = std::make_unique<SaneBackend>();
    if (sane->init())
        return sane;
    sane.reset();
    qWarning("SANE init failed, falling back to stub scanner");
    return std::make_unique<StubBackend>();
}

int scanDotsPerMeter(int dpi)
{
    return static_cast<int>(std::lround(dpi / 0.0254));
}

QSizeF scanPageSize(const QImage& image)
{
    const QSizeF points = unsnappedPageSize(image);
    const QPageSize::PageSizeId paper = QPageSize::id(
        QSizeF(points.width() * 25.4 / 72.0, points.height() * 25.4 / 72.0), QPageSize::Millimeter,
        QPageSize::FuzzyOrientationMatch);
    if (paper == QPageSize::Custom)
        return points;
    // The paper's own size, in the orientation of the scan.
    const QSizeF standard = QPageSize(paper).size(QPageSize::Point);
    return (points.width() > points.height()) == (standard.width() > standard.height()) ? standard
                                                                                        : standard.transposed();
}

QString scanPageRefusal(const QImage& image)
{
    if (image.isNull())
        return {};
    const QSizeF points = unsnappedPageSize(image);
    const bool fits = points.width() >= kMinPageSide && points.height() >= kMinPageSide &&
                      points.width() <= PdfDocument::kMaxPageSide && points.height() <= PdfDocument::kMaxPageSide;
    if (fits)
        return {};
    return QStringLiteral("Отсканированная страница %1 × %2 точек (%3 × %4 dpi) заняла бы %5 × %6 пт, а сторона "
                          "страницы PDF должна быть от %7 до %8 пт.")
        .arg(image.width())
        .arg(image.height())
        .arg(qRound(axisDpi(image.dotsPerMeterX())))
        .arg(qRound(axisDpi(image.dotsPerMeterY())))
        .arg(points.width(), 0, 'f', 1)
        .arg(points.height(), 0, 'f', 1)
        .arg(kMinPageSide, 0, 'f', 0)
        .arg(PdfDocument::kMaxPageSide, 0, 'f', 0);
}

bool anyCleanUpStep(const ScanParams& params)
{
    return params.geomCorr || params.perspCorr || params.skew || params.structural || params.noiseRemove ||
           params.autoBright || params.autoContrast || params.whiteBalance || params.denoise || params.sharpen ||
           params.textEnhance;
}

QString scanFrameRefusal(QSize frame, const ScanParams& params)
{
    if (!anyCleanUpStep(params) || qint64(frame.width()) * frame.height() <= kMaxCleanUpPixels)
        return {};
    return QStringLiteral("Кадр %1 × %2 точек слишком велик для очистки изображения: она берёт не больше %3 млн "
                          "точек. Выберите меньшее разрешение или область либо отключите шаги очистки.")
        .arg(frame.width())
        .arg(frame.height())
        .arg(kMaxCleanUpPixels / 1000000);
}
