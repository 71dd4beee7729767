#pragma once

#include "SignatureRecords.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

// What a signing worker run prints (one compact JSON line with its newline)
// and its exit code.
struct SigningWorkerOutput {
    QByteArray line;
    int exitCode = 0;
};

// The certificate list of the configured key files.
SigningWorkerOutput certificateListOutput();

// arguments: program path, "--vorn-sign-file", request file.
SigningWorkerOutput signatureOutput(const QStringList& arguments);

// The JSON forms. A missing or mistyped string reads as "", a mode that is
// not a number in 0..4 as 0. In the result, "outputSize" is a decimal in a
// string and "documentSha256" 64 lower-case hex digits, or "" when the
// request failed before its input was read.
QJsonObject certificateToJson(const SigningCertificate& certificate);
SignatureRequest signatureRequestFromJson(const QJsonObject& object);
QJsonObject signatureResultToJson(const SignatureResult& result);

// The worker modes: set their environment marker, print the line on
// standard output and return the exit code.
int runCertificateListCli();
int runSignatureCli(const QStringList& arguments);
