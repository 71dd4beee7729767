#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a compression worker run prints (one JSON line with its newline) and
// its exit code.
struct CompressionWorkerOutput {
    QByteArray line;
    int exitCode = 0;
};

// arguments: program path, "--vorn-compression-estimate", pdf, index, dpi,
// quality, mono, gray.
CompressionWorkerOutput compressionEstimate(const QStringList& arguments);

// arguments: program path, "--vorn-compression-fit", pdf, target bytes. The
// fit runs here, with encoderThreads pictures encoded at once.
CompressionWorkerOutput compressionFit(const QStringList& arguments, int encoderThreads);

// Encoders at once on a machine with idealThreadCount processors: one left
// free, at least one, at most four.
int compressionFitParallelism(int idealThreadCount);

// The worker modes: print the line on standard output, return the code.
int runCompressionEstimateCli(const QStringList& arguments);
int runCompressionFitCli(const QStringList& arguments);
