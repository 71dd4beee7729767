#pragma once

#include "SignatureRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <functional>

class SigningScratch;

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

// The steps of a stamped copy, in the order they run.
enum class StampCopyStep { Open, Stamp, Save };
// Told before each step; false stops the copy, which then writes nothing.
using StampCopyWatcher = std::function<bool(StampCopyStep)>;

// False with the reason in error, or with an empty error when the watcher
// stopped it.
bool createStampedPdfCopy(const QString& inputPath, const QString& outputPath, const SigningCertificate& certificate,
                          const QByteArray& sha256, const QDateTime& signedAt, const SignatureStampOptions& options,
                          QString* error, const StampCopyWatcher& watcher = {});

// Where a stamped signature goes when the user wants wantedOutput: the
// stamped copy beside it under a free name (an earlier copy is never
// overwritten), and the signature named after that copy, since that is the
// file it signs.
struct StampedOutputs {
    QString stampedPdf;
    QString signature;
};
StampedOutputs stampedSigningOutputs(const QString& sourcePath, const QString& wantedOutput);

// A stamped copy looks signed: it and its signature are made in a stage (a
// private folder beside them that goes with scratch) under the same names,
// and take their own names together once both are whole. False with the
// reason when the stage cannot be made.
bool stageStampedOutputs(SigningScratch& scratch, const StampedOutputs& placed, StampedOutputs* staged,
                         QString* error);
// The signature first, then the copy, each never over a file; where a
// name of placed was taken meanwhile (another run of the same document),
// the pair takes the next free names, and placed says which. False with the
// reason, neither then left under its name.
bool placeStampedOutputs(const StampedOutputs& staged, StampedOutputs* placed, QString* error);
