#pragma once

#include "SignatureRecords.h"

#include <QByteArray>
#include <QStringList>

// What a signing worker run prints (one compact JSON line with its newline)
// and its exit code.
struct SigningWorkerOutput {
    QByteArray line;
    int exitCode = 0;
};

// The certificate list of the configured key files.
SigningWorkerOutput certificateListOutput();

// arguments: program path, "--vorn-sign-file", request file. A request
// with "describeOnly" true signs nothing: it prints the checked certificate
// of its key material, {"ok", "error", "certificate"}, or the refusal. A
// request with "passwordsFromStdin" true takes its pass phrases from the
// object on standard input instead (read to its end).
SigningWorkerOutput signatureOutput(const QStringList& arguments);

// The worker modes: set their environment marker, print the line on
// standard output and return the exit code.
int runCertificateListCli();
int runSignatureCli(const QStringList& arguments);
