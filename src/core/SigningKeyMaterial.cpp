// Key material from files: a PKCS#12 container or a PEM certificate and key.
#include "RegularFile.h"
#include "SigningInternal.h"

#include <QObject>

#include <openssl/err.h>
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

// Whether the queued errors say the pass phrase did not open the key: the
// container's MAC or the decryption failed.
bool wrongPassPhrase(const QList<unsigned long>& codes)
{
    constexpr int kProviderBadDecrypt = 100;  // PROV_R_BAD_DECRYPT
    for (const unsigned long code : codes) {
        const int library = ERR_GET_LIB(code);
        const int reason = ERR_GET_REASON(code);
        if ((library == ERR_LIB_PKCS12
             && (reason == PKCS12_R_MAC_VERIFY_FAILURE || reason == PKCS12_R_PKCS12_CIPHERFINAL_ERROR))
            || (library == ERR_LIB_PEM && reason == PEM_R_BAD_DECRYPT)
            || (library == ERR_LIB_EVP && reason == EVP_R_BAD_DECRYPT)
            || (library == ERR_LIB_PROV && reason == kProviderBadDecrypt))
            return true;
    }
    return false;
}

// The reason a key did not load: a pass phrase missing or wrong in words,
// else OpenSSL's text (with the legacy provider's own failure when old
// containers cannot be read for want of it).
QString keyErrorText(const QString& password, bool container)
{
    QList<unsigned long> codes;
    QString text = opensslErrorText(&codes);
    if (wrongPassPhrase(codes)) {
        if (password.isEmpty())
            return QObject::tr("ключ защищён паролем — введите пароль");
        return container ? QObject::tr("неверный пароль контейнера") : QObject::tr("неверный пароль закрытого ключа");
    }
    const QString legacy = container ? legacyProviderFailure() : QString();
    if (!legacy.isEmpty())
        text += QStringLiteral("; ") + legacy;
    return text;
}

// The certificates of list other than the signer's, each once.
X509StackPtr chainWithout(X509* signer, STACK_OF(X509) * list)
{
    X509StackPtr chain(sk_X509_new_null());
    for (int i = 0; chain && i < sk_X509_num(list); ++i) {
        X509* cert = sk_X509_value(list, i);
        bool known = X509_cmp(cert, signer) == 0;
        for (int j = 0; !known && j < sk_X509_num(chain.get()); ++j)
            known = X509_cmp(cert, sk_X509_value(chain.get(), j)) == 0;
        if (!known && X509_up_ref(cert) == 1 && sk_X509_push(chain.get(), cert) <= 0)
            X509_free(cert);
    }
    return chain;
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

bool loadPkcs12(const QString& path, const QString& password, X509Ptr* cert, EvpPkeyPtr* key, QString* error,
                X509StackPtr* chain)
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
    STACK_OF(X509)* rawAuthorities = nullptr;
    const int parsed = PKCS12_parse(p12.get(), pass.constData(), &rawKey, &rawCert, &rawAuthorities);
    EvpPkeyPtr ownedKey(rawKey);
    X509Ptr ownedCert(rawCert);
    const X509StackPtr authorities(rawAuthorities);
    if (parsed != 1) {
        setError(error,
                 QObject::tr("Не удалось извлечь сертификат/ключ из P12/PFX: %1").arg(keyErrorText(password, true)));
        return false;
    }
    if (!ownedCert || !ownedKey) {
        setError(error, QObject::tr("Не удалось извлечь сертификат/ключ из P12/PFX: %1").arg(opensslErrorText()));
        return false;
    }
    if (chain)
        *chain = chainWithout(ownedCert.get(), authorities.get());
    *cert = std::move(ownedCert);
    *key = std::move(ownedKey);
    return true;
}

bool loadPemCertificate(const QString& path, X509Ptr* cert, QString* error, X509StackPtr* chain)
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
    if (chain) {
        // The issuers that follow the certificate in the same file.
        X509StackPtr rest(sk_X509_new_null());
        while (X509* next = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
            if (!rest || sk_X509_push(rest.get(), next) <= 0)
                X509_free(next);
        }
        ERR_clear_error();  // the end of the file
        *chain = chainWithout(loaded.get(), rest.get());
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
        setError(error, QObject::tr("Не удалось прочитать PEM закрытый ключ: %1").arg(keyErrorText(password, false)));
        return false;
    }
    *key = std::move(loaded);
    return true;
}

// PEM asks for the pass phrase only when the key is encrypted.
int notePassPhraseAsked(char*, int, int, void* asked)
{
    *static_cast<bool*>(asked) = true;
    return 0;
}

bool keyFileNeedsPassPhrase(const QString& path, bool container)
{
    QString refusal;
    const BioPtr bio = openForReading(path, &refusal);
    if (!bio)
        return false;
    if (!container) {
        bool asked = false;
        const EvpPkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, notePassPhraseAsked, &asked));
        ERR_clear_error();
        return !key && asked;
    }
    legacyProviderFailure();
    const Pkcs12Ptr p12(d2i_PKCS12_bio(bio.get(), nullptr));
    if (!p12) {
        ERR_clear_error();
        return false;
    }
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    STACK_OF(X509)* rawAuthorities = nullptr;
    const int parsed = PKCS12_parse(p12.get(), "", &rawKey, &rawCert, &rawAuthorities);
    const EvpPkeyPtr ownedKey(rawKey);
    const X509Ptr ownedCert(rawCert);
    const X509StackPtr authorities(rawAuthorities);
    QList<unsigned long> codes;
    opensslErrorText(&codes);
    return parsed != 1 && wrongPassPhrase(codes);
}

bool loadCheckedKeyMaterial(const SignatureRequest& request, KeyMaterial* material, bool* revocationChecked,
                            QString* error)
{
    if (!request.pkcs12Path.trimmed().isEmpty()) {
        if (!loadPkcs12(request.pkcs12Path, request.pkcs12Password, &material->cert, &material->key, error,
                        &material->chain))
            return false;
    } else if (request.certificatePath.trimmed().isEmpty() || request.privateKeyPath.trimmed().isEmpty()) {
        *error = QObject::tr("Для Linux укажите PEM-сертификат и закрытый ключ либо P12/PFX контейнер.");
        return false;
    } else if (!loadPemCertificate(request.certificatePath, &material->cert, error, &material->chain)
               || !loadPemPrivateKey(request.privateKeyPath, request.keyPassword, &material->key, error)) {
        return false;
    }
    const QString validity = validityRefusal(material->cert.get());
    if (!validity.isEmpty()) {
        *error = validity;
        return false;
    }
    if (X509_check_private_key(material->cert.get(), material->key.get()) != 1) {
        *error = QObject::tr("Закрытый ключ не соответствует сертификату: %1").arg(opensslErrorText());
        return false;
    }
    if (signingRevocationMode() == QLatin1String("sign")) {
        QString message;
        if (!linuxCertificateTrustAndRevocationOk(material->cert.get(), &message)) {
            *error = QObject::tr("Сертификат не прошёл проверку цепочки/отзыва: %1").arg(message);
            return false;
        }
        if (revocationChecked)
            *revocationChecked = true;
    }
    return true;
}
