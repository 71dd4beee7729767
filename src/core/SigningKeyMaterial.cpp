// Key material from files: a PKCS#12 container or a PEM certificate and key.
#include "RegularFile.h"
#include "SigningInternal.h"

#include <QObject>

#include <openssl/pem.h>

#include <algorithm>
#include <cstring>

namespace {

// Certificates, keys and containers are a few kilobytes; a device, a pipe
// or a huge file is refused before OpenSSL reads on without end.
constexpr qint64 kLargestKeyFile = 4 * 1024 * 1024;

// The file's bytes in a memory BIO that clears them when freed; a device, a
// FIFO or a huge file is refused before anything is read.
BioPtr openForReading(const QString& path, QString* refusal)
{
    QByteArray bytes;
    if (RegularFile::read(path, kLargestKeyFile, &bytes, refusal) != RegularFile::Opened)
        return nullptr;
    BioPtr bio(BIO_new(BIO_s_secmem()));
    const bool copied = bio && (bytes.isEmpty() || BIO_write(bio.get(), bytes.constData(), int(bytes.size())) ==
                                                       int(bytes.size()));
    bytes.fill('\0');
    if (!copied) {
        *refusal = opensslErrorText();
        return nullptr;
    }
    BIO_set_mem_eof_return(bio.get(), 0);  // the end of the bytes is the end of the file
    return bio;
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// OpenSSL's reason, with the legacy provider's own failure when old
// containers cannot be read for want of it.
QString pkcs12ErrorText()
{
    QString text = opensslErrorText();
    const QString legacy = legacyProviderFailure();
    if (!legacy.isEmpty())
        text += QStringLiteral("; ") + legacy;
    return text;
}

} // namespace

int passwordCallback(char* buf, int size, int rwflag, void* userdata)
{
    Q_UNUSED(rwflag);
    const auto* password = static_cast<const QByteArray*>(userdata);
    if (!password || password->isEmpty() || size <= 0)
        return 0;
    const int count = std::min(int(password->size()), size);
    std::memcpy(buf, password->constData(), size_t(count));
    return count;
}

bool loadPkcs12(const QString& path, const QString& password, X509Ptr* cert, EvpPkeyPtr* key, QString* error)
{
    legacyProviderFailure();
    QString refusal;
    const BioPtr bio = openForReading(path, &refusal);
    if (!bio) {
        setError(error, QObject::tr("Не удалось открыть P12/PFX контейнер: %1").arg(refusal));
        return false;
    }
    const Pkcs12Ptr p12(d2i_PKCS12_bio(bio.get(), nullptr));
    if (!p12) {
        setError(error, QObject::tr("Не удалось прочитать P12/PFX контейнер: %1").arg(opensslErrorText()));
        return false;
    }
    const QByteArray pass = password.toUtf8();
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    const int parsed = PKCS12_parse(p12.get(), pass.constData(), &rawKey, &rawCert, nullptr);
    EvpPkeyPtr ownedKey(rawKey);
    X509Ptr ownedCert(rawCert);
    if (parsed != 1) {
        setError(error, QObject::tr("Не удалось извлечь сертификат/ключ из P12/PFX: %1").arg(pkcs12ErrorText()));
        return false;
    }
    if (!ownedCert || !ownedKey) {
        setError(error, QObject::tr("Не удалось извлечь сертификат/ключ из P12/PFX: %1").arg(opensslErrorText()));
        return false;
    }
    *cert = std::move(ownedCert);
    *key = std::move(ownedKey);
    return true;
}

bool loadPemCertificate(const QString& path, X509Ptr* cert, QString* error)
{
    QString refusal;
    const BioPtr bio = openForReading(path, &refusal);
    if (!bio) {
        setError(error, QObject::tr("Не удалось открыть сертификат: %1").arg(refusal));
        return false;
    }
    X509Ptr loaded(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!loaded) {
        setError(error, QObject::tr("Не удалось прочитать PEM/CRT сертификат: %1").arg(opensslErrorText()));
        return false;
    }
    *cert = std::move(loaded);
    return true;
}

bool loadPemPrivateKey(const QString& path, const QString& password, EvpPkeyPtr* key, QString* error)
{
    QString refusal;
    const BioPtr bio = openForReading(path, &refusal);
    if (!bio) {
        setError(error, QObject::tr("Не удалось открыть закрытый ключ: %1").arg(refusal));
        return false;
    }
    QByteArray pass = password.toUtf8();
    EvpPkeyPtr loaded(PEM_read_bio_PrivateKey(bio.get(), nullptr, passwordCallback, &pass));
    pass.fill('\0');
    if (!loaded) {
        setError(error, QObject::tr("Не удалось прочитать PEM закрытый ключ: %1").arg(opensslErrorText()));
        return false;
    }
    *key = std::move(loaded);
    return true;
}
