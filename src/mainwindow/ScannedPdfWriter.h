#pragma once

#include "ScannedPdfExportOptions.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <functional>

// Writes a PDF of one scanned-look picture per page, each a JPEG as a
// scanner stores it: grey (one byte a pixel before compression) when the
// options ask for a grey scan, else colour. The file is written beside path
// under a temporary name and takes path's place only when every page went
// in: a failure or a cancel leaves an old file whole and no partial one.
// Runs on any thread; the source's functions are called on it.
class ScannedPdfWriter {
public:
    enum class Result { Written, CannotStart, Failed, Cancelled };

    struct Source {
        int pageCount = 0;
        std::function<QSizeF(int page)> pageSize;                 // points
        std::function<QImage(int page, double scale)> renderPage;  // pixels per point
    };

    static constexpr int kJpegQuality = 80;

    // progress runs after each page with the pages done; false cancels.
    // A file that cannot be made or written sets *reason when given.
    static Result write(const QString& path, const ScannedPdfExportOptions& options, const Source& source,
                        const std::function<bool(int done)>& progress, QString* reason = nullptr);
};
