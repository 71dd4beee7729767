#include "ScannedPdfWriter.h"

#include "RasterPdfWriter.h"
#include "ScannedPdfEffect.h"

#include "SystemErrorText.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include <unistd.h>

namespace {

// Why the file could not be made or written, in the program's words where
// it can tell: the toolkit's reasons are in English whatever the interface.
QString failureReason(const QString& path, const QSaveFile& file)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isWritable())
        return QObject::tr("файл доступен только для чтения");
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return systemErrorText(errno);
    return file.errorString();
}

QSizeF pagePoints(const ScannedPdfWriter::Source& source, int page, int rotation)
{
    QSizeF size = source.pageSize(page);
    if (rotation == 90 || rotation == 270)
        size.transpose();
    return size;
}

} // namespace

ScannedPdfWriter::Result ScannedPdfWriter::write(const QString& path, const ScannedPdfExportOptions& options,
                                                 const Source& source, const std::function<bool(int)>& progress,
                                                 QString* reason)
{
    QSaveFile file(path);
    if (source.pageCount < 1)
        return Result::CannotStart;
    if (!file.open(QIODevice::WriteOnly)) {
        if (reason)
            *reason = failureReason(path, file);
        return Result::CannotStart;
    }
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
    if (!writer.writeEnd() || !file.commit()) {
        if (reason)
            *reason = failureReason(path, file);
        return Result::Failed;
    }
    return Result::Written;
}
