#include "RevocationCheckCli.h"

#include "SignatureService.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

constexpr int kExitRevocationOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitNotConfirmed = 3;
constexpr int kCertificateIdIndex = 2;

QByteArray jsonLine(bool ok, const QString& status)
{
    // QJsonObject orders keys alphabetically, which is the required "ok", "status".
    const QJsonObject object{{QStringLiteral("ok"), ok}, {QStringLiteral("status"), status}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

RevocationCheckOutput certificateRevocationCheck(const QStringList& arguments)
{
    if (arguments.size() <= kCertificateIdIndex)
        return {jsonLine(false, QStringLiteral("Usage: --vorn-cert-revocation-check <certificate-id>")), kExitUsage};

    QString status;
    const bool ok = SignatureService::checkCertificateRevocation(arguments.at(kCertificateIdIndex), &status);
    return {jsonLine(ok, status), ok ? kExitRevocationOk : kExitNotConfirmed};
}

int runCertificateRevocationCheckCli(const QStringList& arguments)
{
    const RevocationCheckOutput output = certificateRevocationCheck(arguments);
    std::fwrite(output.line.constData(), 1, size_t(output.line.size()), stdout);
    std::fflush(stdout);
    return output.exitCode;
}
