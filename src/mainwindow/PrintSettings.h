#pragma once

#include <QPageLayout>
#include <QPageSize>
#include <QSizeF>
#include <QString>

// The stored print choices (group "print") as the print path reads them:
// labels understood, numbers clamped, anything else the default.
struct PrintSettings {
    enum class Scale { Fit, Actual, Enlarged, Width };

    QPageSize::PageSizeId paper = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int dpi = 300;
    int copies = 1;

    static PrintSettings read();
    static QPageSize::PageSizeId paperFor(const QString& stored);
    static QPageLayout::Orientation orientationFor(const QString& stored);
    static Scale scaleFor(const QString& stored);
    // The stored scale, read again for each page.
    static Scale storedScale();
    // Image dots per page point times 72 / resolution: how much of the page
    // a printed point takes, for a page of pageSize on a printable paint area.
    static double scaleFactor(Scale scale, const QSizeF& paintSize, const QSizeF& pageSize);
};
