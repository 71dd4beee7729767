#include "SigningWorkerCli.h"

#include "RegularFile.h"
#include "SignatureJson.h"
#include "SignatureService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

int print(const SigningWorkerOutput& output)
{
    std::fwrite(output.line.constData(), 1, size_t(output.line.size()), stdout);
    std::fflush(stdout);
    return output.exitCode;
}

// The certificate a request would sign with, checked as signing checks it.
SigningWorkerOutput certificateDescription(const SignatureRequest& request)
{
    SigningCertificate certificate;
    QString error;
    if (!SignatureService::describeSigningCertificate(request, &certificate, &error))
        return refusal(error, kExitSigningFailed);
    return {jsonLine({{QStringLiteral("ok"), true},
                      {QStringLiteral("error"), QString()},
                      {QStringLiteral("certificate"), certificateToJson(certificate)}}),
            kExitOk};
}

// The pass phrases a window hands over through standard input, read to its
// end: false when they are not one JSON object of a request's size.
bool readSecretsFromStdin(SignatureRequest* request)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return false;
    QByteArray text;
    for (;;) {
        const QByteArray piece = input.read(kLargestRequest + 1 - text.size());
        if (piece.isEmpty())
            break;
        text += piece;
        if (text.size() > kLargestRequest)
            return false;
    }
    const QJsonDocument secrets = QJsonDocument::fromJson(text);
    if (input.error() != QFileDevice::NoError || !secrets.isObject())
        return false;
    readSignatureSecrets(secrets.object(), request);
    return true;
}

// Whether the request lies in a signing scratch folder that is this
// worker's temporary folder.
bool handedOver(const QString& requestPath)
{
    const QFileInfo folder(QFileInfo(requestPath).absolutePath());
    return folder.fileName().startsWith(QLatin1String("vorn-sign-"))
        && folder.canonicalFilePath() == QFileInfo(QDir::tempPath()).canonicalFilePath();
}

} // namespace

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
    QByteArray text;
    QString error;
    const QString requestPath = arguments.at(kRequestFileIndex);
    const RegularFile::Outcome read = RegularFile::read(requestPath, kLargestRequest, &text, &error);
    // The window hands its request over once, in the scratch folder it made
    // the worker's temporary folder: read, it goes. (Its pass phrases come
    // through standard input; a request file written by hand may hold some.)
    if (handedOver(requestPath))
        QFile::remove(requestPath);
    if (read != RegularFile::Opened && read != RegularFile::TooLarge)
        return refusal(QStringLiteral("Не удалось открыть параметры подписи: %1").arg(error), kExitUnreadable);
    const QJsonDocument document = read == RegularFile::TooLarge ? QJsonDocument() : QJsonDocument::fromJson(text);
    if (!document.isObject())
        return refusal(QStringLiteral("Некорректные параметры подписи."), kExitBadRequest);
    SignatureRequest request = signatureRequestFromJson(document.object());
    if (document.object().value(QStringLiteral("passwordsFromStdin")).toBool(false) && !readSecretsFromStdin(&request))
        return refusal(QStringLiteral("Некорректные параметры подписи."), kExitBadRequest);
    if (document.object().value(QStringLiteral("describeOnly")).toBool(false))
        return certificateDescription(request);
    const SignatureResult result = SignatureService::signFile(request);
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
