#pragma once

#include "CompressionFit.h"
#include "PdfDocument.h"

#include <QList>
#include <QString>

// One of the six size levels of the compressed-PDF export.
struct CompressionStageUi {
    QString title;
    QString shortLabel;
    QString description;
    QString warning;
    QString fgColor;
    QString bgColor;
    PdfDocument::CompressionOptions options;
};

constexpr int kCompressionLevelCount = 6;

// The level's texts (translated) and options; level clamped to 0..5.
CompressionStageUi stageForLevel(int level);

// The level whose options equal these, else the nearest by resolution and
// quality.
int levelForOptions(const PdfDocument::CompressionOptions& options);

// One preset estimate of a fit, kept by the dialog for its lifetime.
struct CachedCompressionEstimate {
    QString label;
    PdfDocument::CompressionOptions options;
    qint64 bytes = -1;
    bool sampled = false;
    bool keepsText = false;
};

// The fit's rule: the first estimate at most targetBytes (fits), else the
// smallest that keeps the text, else the smallest, the earlier one on a tie;
// -1 when no estimate has a size.
CompressionFitChoice chooseCompressionFit(const QList<CachedCompressionEstimate>& estimates, qint64 targetBytes);

// A size limit in MB as a byte target: nearest integer, at least 1.
qint64 compressionTargetBytes(double megabytes);

// The size limit proposed for a file of fileSize bytes (0: no file).
int defaultCompressionTargetMb(qint64 fileSize);
