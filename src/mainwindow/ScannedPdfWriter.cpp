#include "ScannedPdfWriter.h"

#include "RasterPdfWriter.h"
#include "ScannedPdfEffect.h"

#include <QSaveFile>

namespace {

QSizeF pagePoints(const ScannedPdfWriter::Source& source, int page, int rotation)
{
    QSizeF size = source.pageSize(page);
    if (rotation == 90 || rotation == 270)
        size.transpose();
    return size;
}

} // namespace

ScannedPdfWriter::Result ScannedPdfWriter::write(const QString& path, const ScannedPdfExportOptions& options,
                                                 const Source& source, const std::function<bool(int)>& progress)
{
    QSaveFile file(path);
    if (source.pageCount < 1 || !file.open(QIODevice::WriteOnly))
        return Result::CannotStart;
    RasterPdfWriter writer(file, source.pageCount);
    if (!writer.writeStart())
        return Result::CannotStart;
    for (int page = 0; page < source.pageCount; ++page) {
        const QSizeF points = pagePoints(source, page, options.rotation);
        if (points.width() <= 0 || points.height() <= 0)
            return Result::Failed;
        const QImage scanned =
            applyScannedPdfEffect(source.renderPage(page, options.dpi / 72.0), options, page, false);
        if (scanned.isNull())
            return Result::Failed;
        const RasterPdfWriter::Picture picture =
            RasterPdfWriter::encodePicture(scanned, false, kJpegQuality, options.grayscale);
        if (picture.bytes.isEmpty() || !writer.writePage(page, RasterPdfWriter::pageObjects(page, points, picture)))
            return Result::Failed;
        if (progress && !progress(page + 1))
            return Result::Cancelled;
    }
    if (!writer.writeEnd() || !file.commit())
        return Result::Failed;
    return Result::Written;
}
