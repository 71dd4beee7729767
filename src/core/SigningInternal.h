#pragma once
// The signing core's own steps, shared by its files and reached by its tests.
// Not for other modules: SignatureService is the interface.

#include "OpenSslHandles.h"
#include "SignatureRecords.h"

#include <QStringList>

// Key material. Each writes error only when it is given.
bool loadPkcs12(const QString& path, const QString& password, X509Ptr* cert, EvpPkeyPtr* key, QString* error);
bool loadPemCertificate(const QString& path, X509Ptr* cert, QString* error);
bool loadPemPrivateKey(const QString& path, const QString& password, EvpPkeyPtr* key, QString* error);
int passwordCallback(char* buf, int size, int rwflag, void* userdata);

// Certificate inspection.
QString x509NameToString(const X509_NAME* name);
QDateTime asn1TimeToDateTime(const ASN1_TIME* time);
SigningCertificate certificateInfoFromX509(X509* cert, const QString& path);
bool certificateValidNow(X509* cert);

// "search", "sign" or "never" from the settings; anything else is "sign".
QString signingRevocationMode();

// Where the chain and CRL check runs; the defaults are the real ones.
struct RevocationCheckSetup {
    QString program = QStringLiteral("openssl");
    QString searchPath;  // the PATH to look in; empty means the process's own
    int timeoutMs = 15000;
    int killWaitMs = 1000;
};
bool certificateTrustAndRevocationOk(X509* cert, const RevocationCheckSetup& setup, QString* message);
bool linuxCertificateTrustAndRevocationOk(X509* cert, QString* message);

// Where the provider diagnostics look; the defaults are the real ones.
struct ProviderProbeSetup {
    QString opensslPath = QStringLiteral("/usr/bin/openssl");
    QString searchPath;  // empty means the process's own PATH
    QStringList moduleRoots{QStringLiteral("/usr/lib"), QStringLiteral("/usr/lib64"),
                            QStringLiteral("/usr/local/lib"), QStringLiteral("/opt")};
};
QStringList providerDiagnostics(const ProviderProbeSetup& setup);

// The embedded signature's update, built on bytes.
bool preparePdfSignatureShell(const QByteArray& pdf, const QString& signer, PdfSignatureShell* out, QString* error);
QByteArray xrefEntry(qint64 offset, int generation);
QByteArray fixedPdfNumber(qint64 value);
QByteArray pdfTextString(const QString& text);
QByteArray pdfDateString(const QDateTime& localTime);

// Writes the DER signature's upper-case hex into the reserve, the rest
// staying "0"; false when it does not fit.
bool embedSignature(PdfSignatureShell* shell, const QByteArray& der, QString* error);

// signFile; rememberKeys false leaves the settings to the caller.
SignatureResult signFileRemembering(const SignatureRequest& request, bool rememberKeys);

// Mode 4 of signFile after the common prologue.
void signEmbeddedPdf(const SignatureRequest& request, QByteArray bytes, SignatureResult* result);

// The largest input held in memory.
constexpr qint64 kLargestSignedInput = 0x7fffffff;

// Writes data to path atomically; false with the file's error text.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* errorText);
