#pragma once

#include <QByteArray>
#include <QDateTime>
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

// A PDF with its embedded-signature update appended and the signature value
// still all "0".
struct PdfSignatureShell {
    QByteArray pdf;
    QByteArray signedBytes;  // pdf without the /Contents hex string and its brackets
    qint64 contentsOffset = 0;
    qint64 contentsLength = 0;
};
