#include "ScannedPdfWriter.h"

#include "ScannedPdfEffect.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

constexpr double kMmPerPoint = 25.4 / 72.0;

void setPageOf(QPdfWriter& writer, const ScannedPdfWriter::Source& source, int page, int rotation)
{
    QSizeF size = source.pageSize(page);
    if (rotation == 90 || rotation == 270)
        size.transpose();
    writer.setPageSize(QPageSize(size * kMmPerPoint, QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

} // namespace

ScannedPdfWriter::Result ScannedPdfWriter::write(const QString& path, const ScannedPdfExportOptions& options,
                                                 const Source& source, const std::function<void(int)>& progress)
{
    QSaveFile file(path);
    if (source.pageCount < 1 || !file.open(QIODevice::WriteOnly))
        return Result::CannotStart;
    QPdfWriter writer(&file);
    writer.setResolution(options.dpi);
    setPageOf(writer, source, 0, options.rotation);
    QPainter painter;
    if (!painter.begin(&writer))
        return Result::CannotStart;
    for (int page = 0; page < source.pageCount; ++page) {
        if (page > 0) {
            setPageOf(writer, source, page, options.rotation);
            if (!writer.newPage())
                return Result::Failed;
        }
        const QImage scanned =
            applyScannedPdfEffect(source.renderPage(page, options.dpi / 72.0), options, page, false);
        if (scanned.isNull())
            return Result::Failed;
        painter.drawImage(QRectF(0, 0, writer.width(), writer.height()), scanned, QRectF(scanned.rect()));
        if (progress)
            progress(page + 1);
    }
    if (!painter.end() || file.size() <= 0 || !file.commit())
        return Result::Failed;
    return Result::Written;
}
