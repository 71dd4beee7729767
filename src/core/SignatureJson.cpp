#include "SignatureJson.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QObject>

namespace {

QString dateText(const QDateTime& time)
{
    return time.isValid() ? time.toString(Qt::ISODate) : QString();
}

QString text(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

bool flag(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toBool(false);
}

QDateTime date(const QJsonObject& object, const char* key)
{
    return QDateTime::fromString(text(object, key), Qt::ISODate);
}

// "mode" when it is a whole number naming a mode, else fallback.
SignatureMode modeOf(const QJsonObject& object, SignatureMode fallback)
{
    const int mode = object.value(QStringLiteral("mode")).toInt(int(fallback));
    return mode >= DetachedCms && mode <= EmbeddedPdf ? SignatureMode(mode) : fallback;
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

SigningCertificate signingCertificateFromJson(const QJsonObject& object)
{
    SigningCertificate c;
    c.id = text(object, "id");
    c.subject = text(object, "subject");
    c.issuer = text(object, "issuer");
    c.serial = text(object, "serial");
    c.thumbprint = text(object, "thumbprint");
    c.providerName = text(object, "providerName");
    c.containerName = text(object, "containerName");
    c.storeName = text(object, "storeName");
    c.publicKeyAlgorithm = text(object, "publicKeyAlgorithm");
    c.validFrom = date(object, "validFrom");
    c.validTo = date(object, "validTo");
    c.hasPrivateKey = flag(object, "hasPrivateKey");
    c.privateKeyUsable = flag(object, "privateKeyUsable");
    c.validNow = flag(object, "validNow");
    c.digitalSignatureAllowed = flag(object, "digitalSignatureAllowed");
    c.revocationChecked = flag(object, "revocationChecked");
    c.revoked = flag(object, "revoked");
    c.available = flag(object, "available");
    c.unavailableReason = text(object, "unavailableReason");
    c.validationStatus = text(object, "validationStatus");
    return c;
}

QList<SigningCertificate> signingCertificatesFromJson(const QJsonObject& listObject)
{
    QList<SigningCertificate> list;
    const QJsonArray certificates = listObject.value(QStringLiteral("certificates")).toArray();
    for (const QJsonValue& element : certificates) {
        if (element.isObject())
            list << signingCertificateFromJson(element.toObject());
    }
    return list;
}

QJsonObject signatureRequestToJson(const SignatureRequest& request)
{
    return {
        {QStringLiteral("inputPath"), request.inputPath},
        {QStringLiteral("outputPath"), request.outputPath},
        {QStringLiteral("certificateId"), request.certificateId},
        {QStringLiteral("mode"), int(request.mode)},
        {QStringLiteral("tsaUrl"), request.tsaUrl},
        {QStringLiteral("certificatePath"), request.certificatePath},
        {QStringLiteral("privateKeyPath"), request.privateKeyPath},
        {QStringLiteral("keyPassword"), request.keyPassword},
        {QStringLiteral("pkcs12Path"), request.pkcs12Path},
        {QStringLiteral("pkcs12Password"), request.pkcs12Password},
    };
}

SignatureRequest signatureRequestFromJson(const QJsonObject& object)
{
    SignatureRequest request;
    request.inputPath = text(object, "inputPath");
    request.outputPath = text(object, "outputPath");
    request.certificateId = text(object, "certificateId");
    request.mode = modeOf(object, DetachedCms);
    request.tsaUrl = text(object, "tsaUrl");
    request.certificatePath = text(object, "certificatePath");
    request.privateKeyPath = text(object, "privateKeyPath");
    request.keyPassword = text(object, "keyPassword");
    request.pkcs12Path = text(object, "pkcs12Path");
    request.pkcs12Password = text(object, "pkcs12Password");
    return request;
}

QJsonObject signatureRequestFileJson(const SignatureRequest& request)
{
    QJsonObject object = signatureRequestToJson(request);
    object.remove(QStringLiteral("keyPassword"));
    object.remove(QStringLiteral("pkcs12Password"));
    object.insert(QStringLiteral("passwordsFromStdin"), true);
    return object;
}

QJsonObject signatureSecretsToJson(const SignatureRequest& request)
{
    return {{QStringLiteral("keyPassword"), request.keyPassword},
            {QStringLiteral("pkcs12Password"), request.pkcs12Password}};
}

void readSignatureSecrets(const QJsonObject& object, SignatureRequest* request)
{
    request->keyPassword = text(object, "keyPassword");
    request->pkcs12Password = text(object, "pkcs12Password");
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
        {QStringLiteral("outputDevice"), QString::number(result.outputIdentity.device())},
        {QStringLiteral("outputInode"), QString::number(result.outputIdentity.inode())},
    };
}

SignatureResult signatureResultFromJson(const QJsonObject& object, SignatureMode requestMode)
{
    SignatureResult result;
    result.ok = flag(object, "ok");
    result.error = text(object, "error");
    result.outputPath = text(object, "outputPath");
    bool decimal = false;
    const qint64 size = text(object, "outputSize").toLongLong(&decimal, 10);
    result.outputSize = decimal ? size : 0;
    result.documentSha256 = QByteArray::fromHex(text(object, "documentSha256").toLatin1());
    result.signer = text(object, "signer");
    result.signedAt = date(object, "signedAt");
    result.mode = modeOf(object, requestMode);
    bool deviceRead = false;
    bool inodeRead = false;
    const quint64 device = text(object, "outputDevice").toULongLong(&deviceRead, 10);
    const quint64 inode = text(object, "outputInode").toULongLong(&inodeRead, 10);
    if (deviceRead && inodeRead)
        result.outputIdentity = FileIdentity::fromNumbers(device, inode);
    return result;
}

SignatureResult signingChildResult(const QJsonObject& answer, const SignatureRequest& request)
{
    SignatureResult result = signatureResultFromJson(answer, request.mode);
    if (!result.ok)
        return result;
    if (result.outputPath.trimmed().isEmpty()) {
        result.ok = false;
        result.error = QObject::tr("Процесс подписи сообщил об успехе, но не назвал файл результата.");
    } else if (!QFileInfo(result.outputPath).isFile()
               || FileIdentity::of(result.outputPath) != result.outputIdentity) {
        result.ok = false;
        result.error = QObject::tr("Процесс подписи сообщил об успехе, но файла результата нет: %1").arg(result.outputPath);
    }
    return result;
}
