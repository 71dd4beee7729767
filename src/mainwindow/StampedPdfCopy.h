#pragma once

#include "SignatureRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QPointF>
#include <QSizeF>
#include <QString>

// A copy of a PDF with a visible signature stamp on one page, made before
// the copy is signed. The source file is never changed.

struct SignatureStampOptions {
    int page = 0;  // 0-based; clamped into the document
    QString position = QStringLiteral("bottom-right");
    double widthMm = 82.0;
    double heightMm = 34.0;
    double marginMm = 12.0;  // not used for "center"
    QString templateId = QStringLiteral("default");
};

// Where the stamp goes on a page of pageSize points: lower-left corner and
// size in PDF points, kept on the page.
struct StampPlacement {
    QPointF origin;
    QSizeF size;
};
StampPlacement signatureStampPlacement(const QSizeF& pageSize, const SignatureStampOptions& options);

// The sixteen placeholder values a stamp shows for this certificate, digest
// (raw SHA-256 bytes) and signing time.
QHash<QString, QString> signatureStampValues(const SigningCertificate& certificate, const QByteArray& sha256,
                                             const QDateTime& signedAt);

bool createStampedPdfCopy(const QString& inputPath, const QString& outputPath, const SigningCertificate& certificate,
                          const QByteArray& sha256, const QDateTime& signedAt, const SignatureStampOptions& options,
                          QString* error);
