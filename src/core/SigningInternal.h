#pragma once
// The signing core's own steps, shared by its files and reached by its tests.
// Not for other modules: SignatureService is the interface.

#include "OpenSslHandles.h"
#include "SignatureRecords.h"

#include <QStringList>

class QFile;
class QIODevice;

// Key material. Each writes error only when it is given; chain, when given,
// gets the other certificates the file holds (the issuers), without the
// signer's and without repeats.
bool loadPkcs12(const QString& path, const QString& password, X509Ptr* cert, EvpPkeyPtr* key, QString* error,
                X509StackPtr* chain = nullptr);
bool loadPemCertificate(const QString& path, X509Ptr* cert, QString* error, X509StackPtr* chain = nullptr);
bool loadPemPrivateKey(const QString& path, const QString& password, EvpPkeyPtr* key, QString* error);
int passwordCallback(char* buf, int size, int rwflag, void* userdata);
// Whether the container (or the PEM private key) opens only with a pass
// phrase; false for one that opens without or cannot be read at all.
bool keyFileNeedsPassPhrase(const QString& path, bool container);

struct KeyMaterial {
    X509Ptr cert;
    EvpPkeyPtr key;
    X509StackPtr chain;
};
// The request's key material with the checks every signature needs: valid
// now, the key matching, and the chain and revocation check when the
// settings ask for it at signing. revocationChecked, when given, tells
// whether that check ran.
bool loadCheckedKeyMaterial(const SignatureRequest& request, KeyMaterial* material, bool* revocationChecked,
                            QString* error);

// Certificate inspection.
QString x509NameToString(const X509_NAME* name);
QDateTime asn1TimeToDateTime(const ASN1_TIME* time);
SigningCertificate certificateInfoFromX509(X509* cert, const QString& path);
bool certificateValidNow(X509* cert);
// Why the certificate cannot sign now, with its dates; empty when it can.
QString validityRefusal(X509* cert);

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
// What "openssl verify" said on failure, in Russian with names decoded.
QString verificationFailureText(const QString& toolOutput);

// Where the provider diagnostics look; the defaults are the real ones.
struct ProviderProbeSetup {
    QString opensslPath = QStringLiteral("/usr/bin/openssl");
    QString searchPath;  // empty means the process's own PATH
    QStringList moduleRoots{QStringLiteral("/usr/lib"), QStringLiteral("/usr/lib64"),
                            QStringLiteral("/usr/local/lib"), QStringLiteral("/opt")};
};
QStringList providerDiagnostics(const ProviderProbeSetup& setup);

// A file read as if more bytes followed it: the first sourceSize bytes of
// source, then tail. The signed PDF is the source followed by its update,
// read this way before it is written.
class SplicedFile {
public:
    SplicedFile(QFile* source, qint64 sourceSize, const QByteArray& tail)
        : m_source(source), m_sourceSize(sourceSize), m_tail(tail)
    {
    }
    qint64 size() const { return m_sourceSize + m_tail.size(); }
    // Up to length bytes from offset; -1 when the source cannot be read.
    qint64 read(qint64 offset, char* data, qint64 length) const;

private:
    QFile* m_source;
    qint64 m_sourceSize;
    QByteArray m_tail;
};

// BIOs over what the program reads and writes. The device or file must
// outlive the BIO. A device BIO reads or writes by the device's open mode
// and counts the bytes it moved; a failed read or write is an error, never
// an early end.
// A reading BIO fails past limit bytes when a limit is given.
BioPtr deviceBio(QIODevice* device, qint64 limit = -1);
qint64 deviceBioBytes(BIO* bio);
bool deviceBioFailed(BIO* bio);
// Reads the given (offset, length) ranges of file one after another.
BioPtr rangesBio(const SplicedFile* file, const QList<QPair<qint64, qint64>>& ranges);
bool rangesBioFailed(BIO* bio);

// CAdES-BES: CMS SignedData over everything data yields, with the signer's
// certificate, its chain and the ESS signing-certificate-v2 attribute;
// attached encloses the data. One pass over data.
CmsPtr cadesSignature(const KeyMaterial& material, BIO* data, bool attached, QString* error);
// Whether the key signs with SHA-256 when no digest is named, so the
// signature's messageDigest is the content's SHA-256.
bool signsWithSha256(EVP_PKEY* key);
// That messageDigest when the signature's digest is SHA-256, else empty.
QByteArray signedSha256(CMS_ContentInfo* cms);
// The DER form of a small (detached) signature.
QByteArray cmsDer(CMS_ContentInfo* cms, QString* error);
// Whether der is a signature whose digest and signature value match what
// content yields; the signer's certificate is not judged.
bool cmsSignatureMatches(const QByteArray& der, BIO* content);

// The embedded signature's update of the PDF in source, built after the
// file is read with qpdf; true with it in out, else false with the reason.
bool preparePdfSignatureShell(QFile* source, const QString& signer, PdfSignatureShell* out, QString* error);
// Whether the source followed by the shell's update (its signature in place)
// reads as the signed document: it parses, every page keeps its content,
// nothing but the catalog and the signature's page or annotation list is
// replaced, and the signature matches the bytes its /ByteRange names.
bool checkSignedPdf(QFile* source, const PdfSignatureShell& shell, QString* error);
// Whether qpdf reads the whole PDF, pages first, without mending anything
// that changes what readers show: the check made of a source before it is
// signed. False for a file qpdf cannot read.
bool pdfReadsWithoutRepair(QFile* source);
QByteArray xrefEntry(qint64 offset, int generation);
QByteArray fixedPdfNumber(qint64 value);
QByteArray pdfTextString(const QString& text);
QByteArray pdfDateString(const QDateTime& localTime);

// Writes the DER signature's upper-case hex into the reserve, the rest
// staying "0"; false when it does not fit.
bool embedSignature(PdfSignatureShell* shell, const QByteArray& der, QString* error);

// The largest input signed; an attached signature holds it in memory.
constexpr qint64 kLargestSignedInput = 0x7fffffff;
