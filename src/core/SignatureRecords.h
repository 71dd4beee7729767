#pragma once

#include "FileIdentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// The plain records shared by certificate listing, signing and the worker
// modes. Field order is the order of their JSON forms.

enum SignatureMode : int {
    DetachedCms = 0,      // output .sig
    AttachedCms = 1,      // output .p7m, content enclosed
    CadesT = 2,           // always refused on this platform
    StampedPdfDetached = 3, // the caller stamps a copy; signed like mode 0
    EmbeddedPdf = 4,      // output .signed.pdf
};

struct SignatureRequest {
    QString inputPath;
    QString outputPath;
    QString certificateId;  // carried through, not used for signing
    SignatureMode mode = DetachedCms;
    QString tsaUrl;         // carried through, not used for signing
    QString certificatePath;
    QString privateKeyPath;
    QString keyPassword;    // never stored
    QString pkcs12Path;     // wins over the PEM pair when not blank
    QString pkcs12Password; // never stored
};

struct SignatureResult {
    bool ok = false;
    QString error;
    QString outputPath;
    qint64 outputSize = 0;
    // SHA-256 of the input (modes 0-3) or of the signed PDF (mode 4); empty
    // when the call failed before the input was read.
    QByteArray documentSha256;
    QString signer;
    QDateTime signedAt;
    SignatureMode mode = DetachedCms;
    // The file written under outputPath: its name may be another's since.
    FileIdentity outputIdentity;
};

struct SigningCertificate {
    QString id;  // "linux-file|" + path
    QString subject;
    QString issuer;
    QString serial;
    QString thumbprint;
    QString providerName;
    QString containerName;
    QString storeName;
    QString publicKeyAlgorithm;
    QDateTime validFrom;
    QDateTime validTo;
    bool hasPrivateKey = false;
    bool privateKeyUsable = false;
    bool validNow = false;
    bool digitalSignatureAllowed = false;
    bool revocationChecked = false;
    bool revoked = false;
    bool available = false;
    QString unavailableReason;
    QString validationStatus;
};

// The embedded-signature update of a PDF, built without a copy of the PDF
// in memory: the signed file is the source's bytes followed by update. The
// signature value is still all "0".
struct PdfSignatureShell {
    qint64 sourceSize = 0;
    QByteArray update;          // a "\n" first when the source does not end with one
    qint64 contentsOffset = 0;  // first hex digit of /Contents in the signed file
    qint64 contentsLength = 0;
    // What the update must leave as it was, for the check of the result: a
    // digest of each page's content streams, and the cross-reference entry
    // ("type field1 field2") of every object the update does not replace.
    QList<QByteArray> pageDigests;
    QMap<QPair<int, int>, QByteArray> keptObjects;
};
