// signFile in modes 0, 1 and 4 on PDFs of 1 MB, 100 MB and 1 GB: time and
// peak memory in this process and as the signing worker, the worker side by
// side with "openssl cms -sign -binary" (detached and -nodetach) on the same
// file and key, each the median of a few runs; the certificate-list worker
// from start to exit; the provider diagnostics.
// Usage: signing_bench [size in MB ...]   (default 1 100 1024)
#include "PaddedPdf.h"
#include "ProcessMemory.h"
#include "SignatureService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

bool run(const QString& program, const QStringList& arguments, QByteArray* errorOutput = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1))
        return false;
    if (errorOutput)
        *errorOutput = process.readAllStandardError();
    return process.exitCode() == 0;
}

struct Keys {
    QString certificate;
    QString key;
};

Keys makeKeys(const QString& dir)
{
    const Keys keys{dir + QStringLiteral("/c.pem"), dir + QStringLiteral("/k.pem")};
    run(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/C=RU/O=Org/CN=Bench",
                                    "-days", "2", "-keyout", keys.key, "-out", keys.certificate});
    return keys;
}

QString modeOutput(const QString& dir, int mode)
{
    return dir + (mode == 4 ? QStringLiteral("/out.pdf") : QStringLiteral("/out.sig"));
}

void inProcess(const QString& dir, const QString& input, qint64 size, int mode, const Keys& keys)
{
    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = modeOutput(dir, mode);
    request.mode = SignatureMode(mode);
    request.certificatePath = keys.certificate;
    request.privateKeyPath = keys.key;
    bench::resetPeak();
    const qint64 before = bench::residentBytes();
    QElapsedTimer timer;
    timer.start();
    const SignatureResult result = SignatureService::signFile(request);
    const qint64 ms = timer.elapsed();
    std::printf("in-process  mode %d %6lld MB: %7lld ms, peak +%6lld MB%s\n", mode, size / kMegabyte, ms,
                (bench::peakBytes() - before) / kMegabyte, result.ok ? "" : qPrintable(" FAILED " + result.error));
    QFile::remove(request.outputPath);
}

struct Measured {
    qint64 ms = -1;
    qint64 peakMb = -1;  // -1 without GNU time
    bool ok = false;
};

// A program's wall time and, through GNU time, its peak resident memory.
Measured measured(const QString& program, const QStringList& arguments)
{
    const QString time = QStringLiteral("/usr/bin/time");
    const bool withTime = QFile::exists(time);
    QByteArray rss;
    QElapsedTimer timer;
    timer.start();
    Measured result;
    result.ok = withTime ? run(time, QStringList{"-f", "%M", program} + arguments, &rss) : run(program, arguments);
    result.ms = timer.elapsed();
    result.peakMb = withTime ? rss.trimmed().split('\n').last().toLongLong() / 1024 : -1;
    return result;
}

// The median run by time of a few.
Measured median(const std::function<Measured()>& once)
{
    constexpr int kRuns = 5;
    QList<Measured> runs;
    for (int i = 0; i < kRuns; ++i)
        runs << once();
    std::stable_sort(runs.begin(), runs.end(), [](const Measured& a, const Measured& b) { return a.ms < b.ms; });
    return runs.at(kRuns / 2);
}

Measured asWorker(const QString& dir, const QString& input, int mode, const Keys& keys)
{
    const QString requestPath = dir + QStringLiteral("/request.json");
    QFile request(requestPath);
    request.open(QIODevice::WriteOnly);
    request.write(QJsonDocument(QJsonObject{{"inputPath", input}, {"outputPath", modeOutput(dir, mode)}, {"mode", mode},
                                            {"certificatePath", keys.certificate}, {"privateKeyPath", keys.key}})
                      .toJson());
    request.close();
    const Measured result = measured(QStringLiteral(VORN_PDF_EXECUTABLE), {"--vorn-sign-file", requestPath});
    QFile::remove(modeOutput(dir, mode));
    return result;
}

Measured opensslCms(const QString& dir, const QString& input, bool attached, const Keys& keys)
{
    QStringList arguments{"cms", "-sign", "-binary", "-in", input, "-signer", keys.certificate, "-inkey", keys.key,
                          "-outform", "DER", "-out", dir + QStringLiteral("/openssl.out")};
    if (attached)
        arguments << "-nodetach";
    const Measured result = measured(QStringLiteral("openssl"), arguments);
    QFile::remove(dir + QStringLiteral("/openssl.out"));
    return result;
}

void printWorker(int mode, qint64 size, const Measured& worker)
{
    std::printf("worker      mode %d %6lld MB: %7lld ms, peak  %6lld MB%s\n", mode, size / kMegabyte, worker.ms,
                worker.peakMb, worker.ok ? "" : " FAILED");
}

void sideBySide(const QString& dir, const QString& input, qint64 size, int mode, const Keys& keys)
{
    const Measured worker = median([&] { return asWorker(dir, input, mode, keys); });
    printWorker(mode, size, worker);
    if (mode == 4)
        return;
    const Measured openssl = median([&] { return opensslCms(dir, input, mode == 1, keys); });
    std::printf("openssl cms %-8s %4lld MB: %7lld ms, peak  %6lld MB%s   worker/openssl: time %.2fx, memory %.2fx\n",
                mode == 1 ? "-nodetach" : "detached", size / kMegabyte, openssl.ms, openssl.peakMb,
                openssl.ok ? "" : " FAILED", double(worker.ms) / qMax<qint64>(1, openssl.ms),
                double(worker.peakMb) / qMax<qint64>(1, openssl.peakMb));
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/signing-bench-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-ecp"));
    QSettings().setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    QSettings().sync();
    QList<qint64> sizes;
    for (const QString& argument : app.arguments().mid(1))
        sizes << argument.toLongLong() * kMegabyte;
    if (sizes.isEmpty())
        sizes = {kMegabyte, 100 * kMegabyte, 1024 * kMegabyte};
    const Keys keys = makeKeys(dir.path());

    for (const qint64 size : sizes) {
        const QString input = dir.path() + QStringLiteral("/input.pdf");
        if (!bench::writePaddedPdf(input, size))
            return 1;
        for (const int mode : {0, 1, 4}) {
            inProcess(dir.path(), input, size, mode, keys);
            sideBySide(dir.path(), input, size, mode, keys);
        }
        QFile::remove(input);
    }

    QSettings().setValue(QStringLiteral("signing/linux/certificatePath"), keys.certificate);
    QSettings().setValue(QStringLiteral("signing/linux/privateKeyPath"), keys.key);
    QSettings().sync();
    constexpr int kListRuns = 5;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kListRuns; ++i)
        run(QStringLiteral(VORN_PDF_EXECUTABLE), {"--vorn-cert-list"});
    std::printf("--vorn-cert-list start to exit: %lld ms (mean of %d)\n", timer.elapsed() / kListRuns, kListRuns);

    timer.restart();
    const QStringList lines = SignatureService::linuxProviderDiagnostics();
    std::printf("linuxProviderDiagnostics: %lld ms\n", timer.elapsed());
    for (const QString& line : lines)
        std::printf("  %s\n", qPrintable(line));
    return 0;
}
