// Files that are not files: /dev/zero and a FIFO without a writer named as a
// document, an imported picture, the signed file, a key, the worker's request,
// a stamp template's picture and the signing journal. Each case runs in a
// fresh child process of this program; the figure is the time until the
// refusal and the child's peak resident memory. A case still running after
// 10 s is killed and reported as such.
// Usage: nonregular_bench
#include "LimitedChild.h"
#include "PdfDocument.h"
#include "ProcessMemory.h"
#include "RegularFile.h"
#include "SignatureJournal.h"
#include "SignatureService.h"
#include "SignatureStampTemplate.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

#include <sys/stat.h>

namespace {

constexpr int kTimeLimitMs = 10000;
// Far above what a refusal takes; a read without end stops here instead of taking the machine.
constexpr qint64 kMemoryLimit = 2LL * 1024 * 1024 * 1024;
constexpr double kMegabyte = 1024.0 * 1024.0;

// One case, in this (child) process: the refusal, or what happened instead.
QString runCase(const QString& name, const QString& path)
{
    if (name == QLatin1String("open")) {
        PdfDocument document;
        return document.open(path) ? QStringLiteral("opened") : document.lastError();
    }
    if (name == QLatin1String("import")) {
        PdfDocument document;
        document.createEmpty();
        document.insertBlankPage(0, QSizeF(595, 842));
        return document.importDocument(path) ? QStringLiteral("imported") : document.lastError();
    }
    if (name == QLatin1String("sign") || name == QLatin1String("key")) {
        SignatureRequest request;
        request.inputPath = name == QLatin1String("sign") ? path : QStringLiteral("/etc/hostname");
        request.outputPath = QDir::temp().filePath(QStringLiteral("nonregular-bench.sig"));
        request.certificatePath = path;
        request.privateKeyPath = path;
        const SignatureResult result = SignatureService::signFile(request);
        return result.ok ? QStringLiteral("signed") : result.error;
    }
    if (name == QLatin1String("request")) {
        QByteArray bytes;
        QString error;
        return RegularFile::read(path, 1024 * 1024, &bytes, &error) == RegularFile::Opened ? QStringLiteral("read")
                                                                                            : error;
    }
    if (name == QLatin1String("template")) {
        const QString json = QDir::temp().filePath(QStringLiteral("nonregular-bench-stamp.json"));
        QFile file(json);
        if (!file.open(QIODevice::WriteOnly))
            return QStringLiteral("no template file");
        file.write(QJsonDocument(QJsonObject{{"id", "bench"}, {"image", path}}).toJson());
        file.close();
        const SignatureStampTemplate stamp = loadSignatureStampTemplateFromJson(json, QString());
        QFile::remove(json);
        return stamp.image.isNull() ? QStringLiteral("picture refused") : QStringLiteral("picture read");
    }
    if (name == QLatin1String("journal")) {
        QString error;
        SignatureResult result;
        result.ok = true;
        return appendSignatureJournalRecord(SignatureRequest(), result, SigningCertificate(), &error)
                   ? QStringLiteral("journalled")
                   : error;
    }
    return QStringLiteral("unknown case");
}

struct Figure {
    bool finished = false;
    qint64 ms = 0;
    double peakMb = 0;
    QString outcome;
};

Figure measure(const QString& name, const QString& path, const QString& dataHome)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    const limitedchild::Outcome child =
        limitedchild::run(QCoreApplication::applicationFilePath(), {QStringLiteral("--case"), name, path},
                          kTimeLimitMs, kMemoryLimit, environment);
    Figure figure;
    figure.finished = child.inTime;
    figure.ms = child.elapsedMs;
    if (!child.inTime) {
        figure.outcome = QStringLiteral("still running, killed");
        return figure;
    }
    const QList<QByteArray> lines = child.out.split('\n');
    figure.peakMb = lines.value(0).toDouble() / kMegabyte;
    figure.outcome = child.signal ? QStringLiteral("crashed") : QString::fromUtf8(lines.value(1));
    return figure;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-bench"));
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--case")) {
        const QString outcome = runCase(args[2], args[3]);
        std::printf("%lld\n%s\n", static_cast<long long>(bench::peakBytes()), outcome.toUtf8().constData());
        return 0;
    }

    QTemporaryDir scratch;
    const QString fifo = scratch.filePath(QStringLiteral("pipe.pdf"));
    const QString picture = scratch.filePath(QStringLiteral("scan.png"));
    const QString dataHome = scratch.filePath(QStringLiteral("data"));
    const QString journal = dataHome + QStringLiteral("/vorn/vorn-bench/signature-journal.json");
    QDir().mkpath(QFileInfo(journal).absolutePath());
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0 ||
        ::mkfifo(QFile::encodeName(picture).constData(), 0600) != 0 ||
        ::mkfifo(QFile::encodeName(journal).constData(), 0600) != 0) {
        std::fprintf(stderr, "cannot make the FIFOs\n");
        return 1;
    }
    const QList<std::pair<QString, QString>> cases{
        {QStringLiteral("open"), QStringLiteral("/dev/zero")}, {QStringLiteral("open"), fifo},
        {QStringLiteral("import"), QStringLiteral("/dev/zero")}, {QStringLiteral("import"), picture},
        {QStringLiteral("sign"), QStringLiteral("/dev/zero")},   {QStringLiteral("sign"), fifo},
        {QStringLiteral("key"), QStringLiteral("/dev/zero")},    {QStringLiteral("key"), fifo},
        {QStringLiteral("request"), QStringLiteral("/dev/zero")}, {QStringLiteral("request"), fifo},
        {QStringLiteral("template"), QStringLiteral("/dev/zero")}, {QStringLiteral("template"), picture},
        {QStringLiteral("journal"), journal},
    };
    std::printf("%-9s %-28s %8s %10s  %s\n", "case", "file", "ms", "peak MB", "outcome");
    for (const auto& [name, path] : cases) {
        const Figure figure = measure(name, path, dataHome);
        std::printf("%-9s %-28s %8lld %10.1f  %s\n", qPrintable(name), qPrintable(QFileInfo(path).fileName()),
                    static_cast<long long>(figure.ms), figure.peakMb, figure.outcome.toUtf8().constData());
    }
    return 0;
}
