// The revocation policy, the chain and CRL check through the openssl program,
// and what the machine offers for signing.
#include "SigningInternal.h"
#include "SigningNames.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

namespace {

constexpr int kMostModulesListed = 12;

QStringList searchPaths(const QString& searchPath)
{
    return searchPath.isEmpty() ? QStringList() : searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString findProgram(const QString& name, const QString& searchPath)
{
    return QStandardPaths::findExecutable(name, searchPaths(searchPath));
}

bool writeCertificatePem(X509* cert, QTemporaryFile* file)
{
    const BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1)
        return false;
    const QByteArray pem = memoryBioBytes(bio.get());
    return file->write(pem) == pem.size() && file->flush();
}

QString foundOr(const QString& path, const QString& none)
{
    return path.isEmpty() ? none : path;
}

QStringList pkcs11Modules(const QStringList& roots)
{
    const QStringList patterns{QStringLiteral("*pkcs11*.so"), QStringLiteral("librtpkcs11*.so"),
                               QStringLiteral("libjcPKCS11*.so")};
    QStringList found;
    for (const QString& root : roots) {
        if (found.size() >= kMostModulesListed)
            break;
        QDirIterator walk(root, patterns, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (found.size() < kMostModulesListed && walk.hasNext())
            found << walk.next();
    }
    found.removeDuplicates();
    return found;
}

// The reason of a chain check error in the clerk's words; empty for a code
// without one.
QString verifyErrorReason(int code)
{
    switch (code) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QObject::tr("не найден сертификат издателя среди доверенных сертификатов системы");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return QObject::tr("самоподписанный сертификат, которому система не доверяет");
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QObject::tr("корневой сертификат цепочки не входит в доверенные сертификаты системы");
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
        return QObject::tr("не удалось получить список отозванных сертификатов (CRL)");
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
        return QObject::tr("список отозванных сертификатов (CRL) устарел или ещё не действует");
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
        return QObject::tr("подпись списка отозванных сертификатов (CRL) неверна");
    case X509_V_ERR_CERT_REVOKED:
        return QObject::tr("сертификат отозван");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QObject::tr("срок действия сертификата истёк");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QObject::tr("срок действия сертификата ещё не начался");
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
        return QObject::tr("подпись сертификата неверна");
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_INVALID_NON_CA:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
        return QObject::tr("издатель не является удостоверяющим центром");
    case X509_V_ERR_INVALID_PURPOSE:
        return QObject::tr("сертификат не предназначен для этой цели");
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return QObject::tr("сертификат не является доверенным");
    default:
        return {};
    }
}

// A name as "openssl verify" prints it ("C = RU, O = \D0\9E..."), made
// into the short name a clerk reads.
QString shortNameOfPrinted(const QString& printed)
{
    static const QRegularExpression spacedEquals(QStringLiteral("(^|,)\\s*([A-Za-z][A-Za-z0-9.]*) = "));
    QString name = printed;
    name.replace(spacedEquals, QStringLiteral("\\1\\2="));
    return compactCertificateName(name);
}

} // namespace

QString verificationFailureText(const QString& toolOutput)
{
    static const QRegularExpression errorLine(QStringLiteral("^error (\\d+) at (\\d+) depth lookup: ?(.*)$"));
    static const QRegularExpression closingLine(QStringLiteral("^error .*: verification failed$"));
    const QString general = QObject::tr("сертификат не прошёл проверку CRL/цепочки");
    QStringList reasons;
    QStringList other;
    QString name;  // the line before an error names the certificate it is about
    for (const QString& rawLine : toolOutput.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || closingLine.match(line).hasMatch())
            continue;
        const QRegularExpressionMatch error = errorLine.match(line);
        if (!error.hasMatch()) {
            if (!name.isEmpty())
                other << readableDistinguishedName(name);
            name = line;
            continue;
        }
        QString reason = verifyErrorReason(error.captured(1).toInt());
        if (reason.isEmpty())
            reason = QObject::tr("ошибка проверки № %1 (%2)").arg(error.captured(1), error.captured(3));
        const QString shown = shortNameOfPrinted(name);
        const QString who = error.captured(2).toInt() == 0 ? QObject::tr("сертификат «%1»").arg(shown)
                                                            : QObject::tr("сертификат издателя «%1»").arg(shown);
        const QString entry = shown.isEmpty() ? reason : who + QStringLiteral(": ") + reason;
        if (!reasons.contains(entry))
            reasons << entry;
        name.clear();
    }
    if (!name.isEmpty())
        other << readableDistinguishedName(name);
    if (!reasons.isEmpty())
        return reasons.join(QStringLiteral("; "));
    return other.isEmpty() ? general : general + QStringLiteral(": ") + other.join(QStringLiteral("; "));
}

QString signingRevocationMode()
{
    const QString mode = QSettings().value(QStringLiteral("signing/revocationMode"), QStringLiteral("sign")).toString();
    if (mode == QLatin1String("search") || mode == QLatin1String("sign") || mode == QLatin1String("never"))
        return mode;
    return QStringLiteral("sign");
}

bool certificateTrustAndRevocationOk(X509* cert, const RevocationCheckSetup& setup, QString* message)
{
    const auto fail = [message](const QString& text) {
        if (message)
            *message = text;
        return false;
    };
    const QString program = findProgram(setup.program, setup.searchPath);
    if (program.isEmpty())
        return fail(QObject::tr("OpenSSL CLI не найден, отзыв проверить нельзя"));

    QTemporaryFile pem(QDir::tempPath() + QStringLiteral("/vorn_cert_XXXXXX.pem"));
    if (!pem.open() || !writeCertificatePem(cert, &pem))
        return fail(QObject::tr("не удалось подготовить временный сертификат для проверки"));

    QProcess process;
    process.start(program, {QStringLiteral("verify"), QStringLiteral("-crl_download"),
                            QStringLiteral("-crl_check_all"), pem.fileName()});
    if (!process.waitForFinished(setup.timeoutMs)) {
        process.kill();
        process.waitForFinished(setup.killWaitMs);
        return fail(QObject::tr("таймаут проверки CRL/портала УЦ"));
    }
    const QString text =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        if (message)
            *message = QObject::tr("ключ доступен, срок действия и CRL/цепочка проверены");
        return true;
    }
    return fail(verificationFailureText(text));
}

bool linuxCertificateTrustAndRevocationOk(X509* cert, QString* message)
{
    return certificateTrustAndRevocationOk(cert, RevocationCheckSetup(), message);
}

QStringList providerDiagnostics(const ProviderProbeSetup& setup)
{
    const QString none = QObject::tr("не найден");
    const QString cryptoPro = findProgram(QStringLiteral("cryptcp"), setup.searchPath);
    const QStringList modules = pkcs11Modules(setup.moduleRoots);
    return {
        QObject::tr("OpenSSL CMS: %1")
            .arg(QFile::exists(setup.opensslPath) ? QObject::tr("доступно")
                                                  : QObject::tr("не найдено в /usr/bin/openssl")),
        QObject::tr("OpenSC pkcs11-tool: %1").arg(foundOr(findProgram(QStringLiteral("pkcs11-tool"), setup.searchPath), none)),
        QObject::tr("CryptoPro CSP cryptcp/csptest: %1")
            .arg(foundOr(cryptoPro.isEmpty() ? findProgram(QStringLiteral("csptest"), setup.searchPath) : cryptoPro, none)),
        QObject::tr("ViPNet CSP CLI: %1").arg(foundOr(findProgram(QStringLiteral("vipnet-csp"), setup.searchPath), none)),
        QObject::tr("PKCS#11 модули: %1")
            .arg(modules.isEmpty() ? QObject::tr("не найдены") : modules.join(QStringLiteral("; "))),
    };
}
