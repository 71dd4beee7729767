#pragma once

#include <QString>

// What the scanned-look export makes of each page. The settings group
// "export/scannedPdf" holds every field but the output path.
struct ScannedPdfExportOptions {
    QString outputPath;
    int dpi = 200;
    int rotation = 0;  // 0, 90, 180 or 270 degrees
    double marginMm = 1.2;
    double maxSkewDegrees = 0.35;
    int darkness = 8;
    int contrast = 10;
    int noise = 4;
    int stripes = 12;
    int verticalStreaks = 8;
    int edgeShadow = 10;
    int foldedCorner = 10;
    bool grayscale = true;
    bool randomize = true;
};

// The defaults with the stored values read over them, as stored: the
// dialog's controls bring them into range.
ScannedPdfExportOptions readScannedPdfDefaults();
void saveScannedPdfDefaults(const ScannedPdfExportOptions& options);
