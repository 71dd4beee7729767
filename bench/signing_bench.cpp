// signFile in modes 0, 1 and 4 on PDFs of 1 MB, 100 MB and 1 GB: time and
// peak memory in this process and as the signing worker; the certificate-list
// worker from start to exit; the provider diagnostics.
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

#include <cstdio>

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

void asWorker(const QString& dir, const QString& input, qint64 size, int mode, const Keys& keys)
{
    const QString requestPath = dir + QStringLiteral("/request.json");
    QFile request(requestPath);
    request.open(QIODevice::WriteOnly);
    request.write(QJsonDocument(QJsonObject{{"inputPath", input}, {"outputPath", modeOutput(dir, mode)}, {"mode", mode},
                                            {"certificatePath", keys.certificate}, {"privateKeyPath", keys.key}})
                      .toJson());
    request.close();
    // GNU time reports the worker's peak; without it only the time is shown.
    const QString time = QStringLiteral("/usr/bin/time");
    const bool measured = QFile::exists(time);
    QStringList command{QStringLiteral(VORN_PDF_EXECUTABLE), "--vorn-sign-file", requestPath};
    if (measured)
        command = QStringList{"-f", "%M"} + command;
    QByteArray rss;
    QElapsedTimer timer;
    timer.start();
    const bool ok = run(measured ? time : command.takeFirst(), command, &rss);
    const qint64 ms = timer.elapsed();
    const qint64 peak = measured ? rss.trimmed().split('\n').last().toLongLong() / 1024 : -1;
    std::printf("worker      mode %d %6lld MB: %7lld ms, peak  %6lld MB%s\n", mode, size / kMegabyte, ms, peak,
                ok ? "" : " FAILED");
    QFile::remove(modeOutput(dir, mode));
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
            asWorker(dir.path(), input, size, mode, keys);
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
