// The revocation policy, the chain and CRL check through the openssl program,
// and what the machine offers for signing.
#include "SigningInternal.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <openssl/pem.h>

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

} // namespace

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
    return fail(text.isEmpty() ? QObject::tr("сертификат не прошёл проверку CRL/цепочки") : text);
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
