// signFile in modes 0, 1 and 4 on PDFs of 1 MB, 100 MB and 1 GB: time and
// peak memory in this process and as the signing worker; the certificate-list
// worker from start to exit; the provider diagnostics.
// Usage: signing_bench [size in MB ...]   (default 1 100 1024)
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

// A one-page PDF padded to about size bytes by an unused stream, written in
// pieces so a gigabyte never sits in memory here.
bool writePdf(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QList<qint64> offsets;
    const auto object = [&](const QByteArray& text) {
        offsets << file.pos();
        file.write(text);
    };
    file.write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
    object("1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    object("2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    object("3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>\nendobj\n");
    const qint64 length = qMax<qint64>(0, size - 600);
    object("4 0 obj\n<< /Length " + QByteArray::number(length) + " >>\nstream\n");
    QByteArray chunk(4 * kMegabyte, '\0');
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
    for (qint64 left = length; left > 0; left -= chunk.size())
        file.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    file.write("\nendstream\nendobj\n");
    const qint64 xref = file.pos();
    file.write("xref\n0 5\n0000000000 65535 f \n");
    for (qint64 offset : offsets)
        file.write(QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n");
    file.write("trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    return file.error() == QFileDevice::NoError;
}

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
        if (!writePdf(input, size))
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
