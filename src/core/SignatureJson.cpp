// TEMPORARY stand-in until the signjson branch lands
#include "SignatureJson.h"
#include <QJsonArray>
SigningCertificate signingCertificateFromJson(const QJsonObject& o)
{
    auto t = [&o](const char* k) { return o.value(QLatin1String(k)).toString(); };
    auto b = [&o](const char* k) { return o.value(QLatin1String(k)).toBool(false); };
    SigningCertificate c;
    c.id = t("id"); c.subject = t("subject"); c.issuer = t("issuer"); c.serial = t("serial");
    c.thumbprint = t("thumbprint"); c.providerName = t("providerName"); c.containerName = t("containerName");
    c.storeName = t("storeName"); c.publicKeyAlgorithm = t("publicKeyAlgorithm");
    c.unavailableReason = t("unavailableReason"); c.validationStatus = t("validationStatus");
    c.validFrom = QDateTime::fromString(t("validFrom"), Qt::ISODate);
    c.validTo = QDateTime::fromString(t("validTo"), Qt::ISODate);
    c.hasPrivateKey = b("hasPrivateKey"); c.privateKeyUsable = b("privateKeyUsable"); c.validNow = b("validNow");
    c.digitalSignatureAllowed = b("digitalSignatureAllowed"); c.revocationChecked = b("revocationChecked");
    c.revoked = b("revoked"); c.available = b("available");
    return c;
}
QList<SigningCertificate> signingCertificatesFromJson(const QJsonObject& o)
{
    QList<SigningCertificate> l;
    for (const QJsonValue& v : o.value(QStringLiteral("certificates")).toArray())
        if (v.isObject()) l << signingCertificateFromJson(v.toObject());
    return l;
}
QJsonObject signatureRequestToJson(const SignatureRequest& r)
{
    return {{"inputPath", r.inputPath}, {"outputPath", r.outputPath}, {"certificateId", r.certificateId},
            {"mode", int(r.mode)}, {"tsaUrl", r.tsaUrl}, {"certificatePath", r.certificatePath},
            {"privateKeyPath", r.privateKeyPath}, {"keyPassword", r.keyPassword}, {"pkcs12Path", r.pkcs12Path},
            {"pkcs12Password", r.pkcs12Password}};
}
SignatureResult signatureResultFromJson(const QJsonObject& o, SignatureMode m)
{
    SignatureResult r;
    r.ok = o.value("ok").toBool(false);
    r.error = o.value("error").toString();
    r.outputPath = o.value("outputPath").toString();
    bool ok = false;
    r.outputSize = o.value("outputSize").toString().toLongLong(&ok, 10);
    if (!ok) r.outputSize = 0;
    r.documentSha256 = QByteArray::fromHex(o.value("documentSha256").toString().toLatin1());
    r.signer = o.value("signer").toString();
    r.signedAt = QDateTime::fromString(o.value("signedAt").toString(), Qt::ISODate);
    r.mode = SignatureMode(o.value("mode").toInt(int(m)));
    return r;
}
