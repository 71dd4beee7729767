#pragma once

#include <QByteArray>
#include <QStringList>

// The result of the revocation-check worker: the one line it prints (with its
// newline) and the process exit code.
struct RevocationCheckOutput {
    QByteArray line;
    int exitCode = 0;
};

// arguments: program path, "--vorn-cert-revocation-check", certificate id.
RevocationCheckOutput certificateRevocationCheck(const QStringList& arguments);

// Prints the line on standard output and returns the exit code.
int runCertificateRevocationCheckCli(const QStringList& arguments);
