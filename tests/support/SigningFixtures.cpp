#include "SigningFixtures.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace signingfixtures {

Run openssl(const QString& folder, const QStringList& arguments, const QByteArray& input)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForStarted(10000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
}

KeyPair selfSigned(const QString& folder, const QString& name, const QString& subject, const QStringList& extra)
{
    const QString dir = QDir(folder).filePath(name);
    QDir().mkpath(dir);
    const KeyPair pair{QDir(dir).filePath(QStringLiteral("cert.pem")), QDir(dir).filePath(QStringLiteral("key.pem"))};
    const Run run = openssl(dir, QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                                             QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-utf8"),
                                             QStringLiteral("-subj"), subject, QStringLiteral("-days"),
                                             QStringLiteral("30"), QStringLiteral("-keyout"), pair.key,
                                             QStringLiteral("-out"), pair.certificate}
                                     + extra);
    return run.exitCode == 0 ? pair : KeyPair{};
}

bool redated(const KeyPair& pair, const QString& notBefore, const QString& notAfter, const QString& path)
{
    const auto readPem = [](const QString& file, auto reader) {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(QFile::encodeName(file).constData(), "rb"), BIO_free);
        return bio ? reader(bio.get()) : nullptr;
    };
    std::unique_ptr<X509, decltype(&X509_free)> cert(
        readPem(pair.certificate, [](BIO* b) { return PEM_read_bio_X509(b, nullptr, nullptr, nullptr); }), X509_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        readPem(pair.key, [](BIO* b) { return PEM_read_bio_PrivateKey(b, nullptr, nullptr, nullptr); }), EVP_PKEY_free);
    if (!cert || !key)
        return false;
    std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)> from(ASN1_TIME_new(), ASN1_TIME_free);
    std::unique_ptr<ASN1_TIME, decltype(&ASN1_TIME_free)> to(ASN1_TIME_new(), ASN1_TIME_free);
    if (!ASN1_TIME_set_string(from.get(), notBefore.toLatin1().constData())
        || !ASN1_TIME_set_string(to.get(), notAfter.toLatin1().constData())
        || !X509_set1_notBefore(cert.get(), from.get()) || !X509_set1_notAfter(cert.get(), to.get())
        || X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
        return false;
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new_file(QFile::encodeName(path).constData(), "wb"), BIO_free);
    return out && PEM_write_bio_X509(out.get(), cert.get()) == 1;
}

QString opensslSubject(const QString& certificate)
{
    const Run run = openssl(QDir::tempPath(), {QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-subject"),
                                               QStringLiteral("-nameopt"), QStringLiteral("RFC2253,-esc_msb"),
                                               QStringLiteral("-in"), certificate});
    QString text = QString::fromUtf8(run.output);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.startsWith(QLatin1String("subject=")) ? text.mid(8) : QString();
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
        return false;
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

} // namespace signingfixtures
