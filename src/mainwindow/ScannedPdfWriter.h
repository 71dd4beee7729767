#pragma once

#include "ScannedPdfExportOptions.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <functional>

// Writes a PDF of one scanned-look picture per page. The file is written
// beside path under a temporary name and takes path's place only when
// every page went in: a failure leaves an old file whole and no partial one.
class ScannedPdfWriter {
public:
    enum class Result { Written, CannotStart, Failed };

    struct Source {
        int pageCount = 0;
        std::function<QSizeF(int page)> pageSize;                 // points
        std::function<QImage(int page, double scale)> renderPage;  // pixels per point
    };

    // progress runs after each page with the pages done.
    static Result write(const QString& path, const ScannedPdfExportOptions& options, const Source& source,
                        const std::function<void(int done)>& progress);
};
