#include "SigningWorkerCli.h"

#include "SignatureService.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitUnreadable = 3;
constexpr int kExitNoCertificate = 3;
constexpr int kExitBadRequest = 4;
constexpr int kExitSigningFailed = 5;
constexpr int kRequestFileIndex = 2;
// A request is a few paths and pass phrases; anything larger is not one.
constexpr qint64 kLargestRequest = 1024 * 1024;

QByteArray jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

SigningWorkerOutput refusal(const QString& error, int exitCode)
{
    return {jsonLine({{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}}), exitCode};
}

QString dateText(const QDateTime& time)
{
    return time.isValid() ? time.toString(Qt::ISODate) : QString();
}

int print(const SigningWorkerOutput& output)
{
    std::fwrite(output.line.constData(), 1, size_t(output.line.size()), stdout);
    std::fflush(stdout);
    return output.exitCode;
}

} // namespace

QJsonObject certificateToJson(const SigningCertificate& c)
{
    return {
        {QStringLiteral("id"), c.id},
        {QStringLiteral("subject"), c.subject},
        {QStringLiteral("issuer"), c.issuer},
        {QStringLiteral("serial"), c.serial},
        {QStringLiteral("thumbprint"), c.thumbprint},
        {QStringLiteral("providerName"), c.providerName},
        {QStringLiteral("containerName"), c.containerName},
        {QStringLiteral("storeName"), c.storeName},
        {QStringLiteral("publicKeyAlgorithm"), c.publicKeyAlgorithm},
        {QStringLiteral("validFrom"), dateText(c.validFrom)},
        {QStringLiteral("validTo"), dateText(c.validTo)},
        {QStringLiteral("hasPrivateKey"), c.hasPrivateKey},
        {QStringLiteral("privateKeyUsable"), c.privateKeyUsable},
        {QStringLiteral("validNow"), c.validNow},
        {QStringLiteral("digitalSignatureAllowed"), c.digitalSignatureAllowed},
        {QStringLiteral("revocationChecked"), c.revocationChecked},
        {QStringLiteral("revoked"), c.revoked},
        {QStringLiteral("available"), c.available},
        {QStringLiteral("unavailableReason"), c.unavailableReason},
        {QStringLiteral("validationStatus"), c.validationStatus},
    };
}

SignatureRequest signatureRequestFromJson(const QJsonObject& object)
{
    const auto text = [&object](const char* key) { return object.value(QLatin1String(key)).toString(); };
    SignatureRequest request;
    request.inputPath = text("inputPath");
    request.outputPath = text("outputPath");
    request.certificateId = text("certificateId");
    request.tsaUrl = text("tsaUrl");
    request.certificatePath = text("certificatePath");
    request.privateKeyPath = text("privateKeyPath");
    request.keyPassword = text("keyPassword");
    request.pkcs12Path = text("pkcs12Path");
    request.pkcs12Password = text("pkcs12Password");
    const int mode = object.value(QStringLiteral("mode")).toInt(DetachedCms);
    request.mode = mode >= DetachedCms && mode <= EmbeddedPdf ? SignatureMode(mode) : DetachedCms;
    return request;
}

QJsonObject signatureResultToJson(const SignatureResult& result)
{
    return {
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("error"), result.error},
        {QStringLiteral("outputPath"), result.outputPath},
        {QStringLiteral("outputSize"), QString::number(result.outputSize)},
        {QStringLiteral("documentSha256"), QString::fromLatin1(result.documentSha256.toHex())},
        {QStringLiteral("signer"), result.signer},
        {QStringLiteral("signedAt"), dateText(result.signedAt)},
        {QStringLiteral("mode"), int(result.mode)},
    };
}

SigningWorkerOutput certificateListOutput()
{
    QString error;
    const QList<SigningCertificate> certificates = SignatureService::availableCertificates(&error);
    QJsonArray list;
    for (const SigningCertificate& certificate : certificates)
        list.append(certificateToJson(certificate));
    const QJsonObject object{{QStringLiteral("ok"), error.isEmpty()},
                             {QStringLiteral("error"), error},
                             {QStringLiteral("certificates"), list}};
    return {jsonLine(object), certificates.isEmpty() && !error.isEmpty() ? kExitNoCertificate : kExitOk};
}

SigningWorkerOutput signatureOutput(const QStringList& arguments)
{
    if (arguments.size() <= kRequestFileIndex)
        return refusal(QStringLiteral("Usage: --vorn-sign-file <request-json>"), kExitUsage);
    QFile file(arguments.at(kRequestFileIndex));
    if (!file.open(QIODevice::ReadOnly))
        return refusal(QStringLiteral("Не удалось открыть параметры подписи: %1").arg(file.errorString()),
                       kExitUnreadable);
    const QByteArray text = file.read(kLargestRequest + 1);
    const QJsonDocument document = text.size() > kLargestRequest ? QJsonDocument() : QJsonDocument::fromJson(text);
    if (!document.isObject())
        return refusal(QStringLiteral("Некорректные параметры подписи."), kExitBadRequest);
    const SignatureResult result = SignatureService::signFile(signatureRequestFromJson(document.object()));
    return {jsonLine(signatureResultToJson(result)), result.ok ? kExitOk : kExitSigningFailed};
}

int runCertificateListCli()
{
    qputenv("VORN_CERT_ENUM_WORKER", "1");
    return print(certificateListOutput());
}

int runSignatureCli(const QStringList& arguments)
{
    qputenv("VORN_SIGN_WORKER", "1");
    return print(signatureOutput(arguments));
}
