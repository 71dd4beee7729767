#pragma once

#include "SignatureRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

// Signing operations. A class of static functions: no object state. Key
// material comes from files (a PEM pair or a PKCS#12 container); signing
// runs only inside the signing worker process.
class SignatureService {
public:
    SignatureService() = delete;

    // The mode's display name, "Подпись" for a value outside the enumeration.
    static QString modeDisplayName(SignatureMode mode);
    // Beside the input: base.p7m (mode 1), base.signed.pdf (mode 4), else
    // the whole name + ".sig".
    static QString defaultOutputPath(const QString& inputPath, SignatureMode mode);
    static bool isNativeSigningAvailable();

    // Signs one file. Every failure comes back as ok false with error set;
    // the input never changes. The output never replaces a file: where its
    // name is taken (before or while it is written) the first free
    // "<base> (<n>).<suffix>" beside it is used, and the result names the
    // file written (outputPath, outputIdentity). A failed call writes nothing.
    static SignatureResult signFile(const SignatureRequest& request);

    // The certificate of the request's key material after the checks signing
    // makes before it signs; false with signing's own error text when one
    // fails. Reads neither the input nor the output and remembers nothing.
    static bool describeSigningCertificate(const SignatureRequest& request, SigningCertificate* certificate,
                                           QString* error);

    // Whether every reader shows the PDF at path alike: qpdf reads each of
    // its objects without mending anything, as an embedded signature asks of
    // its source. False for a file that cannot be read.
    static bool pdfReadsWithoutRepair(const QString& path);

    // The certificates of the key files remembered in the settings, the
    // PKCS#12 entry first. Empty with a hint in error when none is set up.
    static QList<SigningCertificate> availableCertificates(QString* error);

    // Whether the certificate is known not to be revoked. This platform has no
    // isolated revocation check, so the answer is always false, with the reason
    // in status when it is given; the identifier is not used.
    static bool checkCertificateRevocation(const QString& certificateId, QString* status);

    // Five lines: what of OpenSSL, OpenSC, CryptoPro, ViPNet and PKCS#11
    // modules this machine has. Nothing is run.
    static QStringList linuxProviderDiagnostics();
};
