#include "OpenSslHandles.h"

#include <openssl/err.h>
#include <openssl/provider.h>

#include <QByteArray>
#include <QObject>
#include <QStringList>

namespace {
constexpr size_t kErrorTextSize = 256;
}

QString opensslErrorText()
{
    QStringList parts;
    while (const unsigned long code = ERR_get_error()) {
        char buffer[kErrorTextSize] = {};
        ERR_error_string_n(code, buffer, sizeof buffer);
        parts << QString::fromLatin1(buffer);
    }
    return parts.isEmpty() ? QObject::tr("неизвестная ошибка OpenSSL") : parts.join(QStringLiteral("; "));
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
