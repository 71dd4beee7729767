// What a certificate says about itself, as the certificate list shows it.
#include "SigningInternal.h"
#include "SigningNames.h"

#include <QObject>
#include <QTimeZone>

#include <openssl/asn1.h>
#include <openssl/err.h>

#include <ctime>

namespace {

// RFC 2253 with UTF-8 kept: only the format's own special characters are
// escaped, so Cyrillic names read as written.
constexpr unsigned long kNameFlags = XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB;
constexpr int kSha1Length = 20;

QString serialText(X509* cert)
{
    const BignumPtr number(ASN1_INTEGER_to_BN(X509_get_serialNumber(cert), nullptr));
    if (!number)
        return {};
    char* hex = BN_bn2hex(number.get());
    const QString text = hex ? QString::fromLatin1(hex) : QString();
    OPENSSL_free(hex);
    return text;
}

QString publicKeyAlgorithm(X509* cert)
{
    // A key this build cannot decode (a GOST key without its provider)
    // leaves the algorithm empty and its error out of later texts.
    const EvpPkeyPtr key(X509_get_pubkey(cert));
    if (!key) {
        ERR_clear_error();
        return {};
    }
    const char* name = EVP_PKEY_get0_type_name(key.get());
    return name ? QString::fromLatin1(name) : QString();
}

QString sha1Thumbprint(X509* cert)
{
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha1(), digest, &length) != 1 || length != kSha1Length)
        return {};
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper());
}

// A copy of the name with each value whose UTF-8 was read as Latin-1 set
// to the UTF-8 it is; a value OpenSSL cannot convert or store stays.
X509NamePtr nameAsWritten(const X509_NAME* name)
{
    X509NamePtr copy(X509_NAME_dup(name));
    for (int i = 0; copy && i < X509_NAME_entry_count(copy.get()); ++i) {
        X509_NAME_ENTRY* entry = X509_NAME_get_entry(copy.get(), i);
        unsigned char* utf8 = nullptr;
        const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
        if (length < 0) {
            ERR_clear_error();
            continue;
        }
        const QString value = QString::fromUtf8(reinterpret_cast<const char*>(utf8), length);
        OPENSSL_free(utf8);
        const QByteArray written = utf8ReadAsLatin1Undone(value).toUtf8();
        if (written != value.toUtf8()
            && X509_NAME_ENTRY_set_data(entry, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(written.constData()),
                                        int(written.size()))
                != 1)
            ERR_clear_error();
    }
    return copy;
}

} // namespace

QString x509NameToString(const X509_NAME* name)
{
    if (!name)
        return {};
    const X509NamePtr written = nameAsWritten(name);
    const BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || X509_NAME_print_ex(bio.get(), written ? written.get() : name, 0, kNameFlags) < 0)
        return {};
    return QString::fromUtf8(memoryBioBytes(bio.get()));
}

QDateTime asn1TimeToDateTime(const ASN1_TIME* time)
{
    if (!time)
        return {};
    std::tm parts{};
    if (ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    const QDate date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    const QTime clock(parts.tm_hour, parts.tm_min, parts.tm_sec);
    const QDateTime utc(date, clock, QTimeZone::utc());
    return utc.isValid() ? utc.toLocalTime() : QDateTime();
}

bool certificateValidNow(X509* cert)
{
    return X509_cmp_current_time(X509_get0_notBefore(cert)) <= 0
        && X509_cmp_current_time(X509_get0_notAfter(cert)) >= 0;
}

QString validityRefusal(X509* cert)
{
    if (certificateValidNow(cert))
        return {};
    const bool started = X509_cmp_current_time(X509_get0_notBefore(cert)) <= 0;
    const QString format = QStringLiteral("dd.MM.yyyy HH:mm");
    const QDateTime from = asn1TimeToDateTime(X509_get0_notBefore(cert));
    const QDateTime to = asn1TimeToDateTime(X509_get0_notAfter(cert));
    const QString fromText = from.isValid() ? from.toString(format) : QObject::tr("(дата не читается)");
    const QString toText = to.isValid() ? to.toString(format) : QObject::tr("(дата не читается)");
    if (!started)
        return QObject::tr("Сертификат ещё не начал действовать: срок его действия с %1 по %2.").arg(fromText, toText);
    return QObject::tr("Срок действия сертификата истёк: он действовал с %1 по %2.").arg(fromText, toText);
}

SigningCertificate certificateInfoFromX509(X509* cert, const QString& path)
{
    SigningCertificate info;
    info.id = QStringLiteral("linux-file|") + path;
    info.providerName = QObject::tr("OpenSSL CMS");
    info.storeName = QObject::tr("Файл");
    info.containerName = path;
    info.subject = x509NameToString(X509_get_subject_name(cert));
    info.issuer = x509NameToString(X509_get_issuer_name(cert));
    info.serial = serialText(cert);
    info.publicKeyAlgorithm = publicKeyAlgorithm(cert);
    info.validFrom = asn1TimeToDateTime(X509_get0_notBefore(cert));
    info.validTo = asn1TimeToDateTime(X509_get0_notAfter(cert));
    info.validNow = certificateValidNow(cert);
    info.hasPrivateKey = true;
    info.digitalSignatureAllowed = true;
    info.thumbprint = sha1Thumbprint(cert);
    return info;
}
