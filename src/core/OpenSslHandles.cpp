#include "OpenSslHandles.h"

#include <openssl/err.h>
#include <openssl/provider.h>

#include <QByteArray>
#include <QObject>
#include <QStringList>

namespace {
constexpr size_t kErrorTextSize = 256;
}

QString opensslErrorText(QList<unsigned long>* codes)
{
    QStringList parts;
    while (const unsigned long code = ERR_get_error()) {
        if (codes)
            *codes << code;
        char buffer[kErrorTextSize] = {};
        ERR_error_string_n(code, buffer, sizeof buffer);
        parts << QString::fromLatin1(buffer);
    }
    return parts.isEmpty() ? QObject::tr("неизвестная ошибка OpenSSL") : parts.join(QStringLiteral("; "));
}

Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    m_ok = m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) == 1;
}

void Sha256::add(const char* data, qint64 length)
{
    m_ok = m_ok && EVP_DigestUpdate(m_context.get(), data, size_t(length)) == 1;
}

QByteArray Sha256::result()
{
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    m_ok = m_ok && EVP_DigestFinal_ex(m_context.get(), digest, &length) == 1;
    return m_ok ? QByteArray(reinterpret_cast<const char*>(digest), int(length)) : QByteArray();
}

QByteArray memoryBioBytes(BIO* bio)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 && data ? QByteArray(data, qsizetype(length)) : QByteArray();
}

QString legacyProviderFailure()
{
    // Loading a provider explicitly stops the default one from loading on its
    // own, so both are loaded; they stay for the life of the process. A
    // failure's reason is kept, not left in the queue for unrelated errors.
    static const QString failure = [] {
        OSSL_PROVIDER* defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
        OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        return defaultProvider && legacy ? QString() : opensslErrorText();
    }();
    return failure;
}
