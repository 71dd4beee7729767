#pragma once
// Owners of the OpenSSL handles used by signing, and the library's error text.
// Included only by .cpp files of the signing core and its tests.

#include <QList>
#include <QString>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* handle) const { Free(handle); }
};

namespace opensslfree {
inline void bio(BIO* b) { BIO_free_all(b); }
inline void x509Stack(STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); }
}

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO, opensslfree::bio>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509, X509_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, OpenSslDeleter<X509_NAME, X509_NAME_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpenSslDeleter<PKCS12, PKCS12_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter<BIGNUM, BN_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OpenSslDeleter<STACK_OF(X509), opensslfree::x509Stack>>;

// Drains the error queue: each error's text joined with "; ", or
// "неизвестная ошибка OpenSSL" when none was queued. codes, when given,
// gets the errors' codes in queue order.
QString opensslErrorText(QList<unsigned long>* codes = nullptr);

// SHA-256 by OpenSSL (several times faster than Qt's own on large files).
class Sha256 {
public:
    Sha256();
    void add(const char* data, qint64 length);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    // Empty when OpenSSL failed.
    QByteArray result();

private:
    EvpMdCtxPtr m_context;
    bool m_ok = false;
};

// The bytes a memory BIO holds.
QByteArray memoryBioBytes(BIO* bio);

// Loads the legacy provider (old PKCS#12 ciphers) beside the default one,
// once per process. Empty when both loaded, else OpenSSL's reason.
QString legacyProviderFailure();
