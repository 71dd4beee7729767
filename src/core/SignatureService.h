#pragma once

#include <QString>

// Signing operations. A class of static functions: no object state.
class SignatureService {
public:
    SignatureService() = delete;

    // Whether the certificate is known not to be revoked. This platform has no
    // isolated revocation check, so the answer is always false, with the reason
    // in status when it is given; the identifier is not used.
    static bool checkCertificateRevocation(const QString& certificateId, QString* status);
};
