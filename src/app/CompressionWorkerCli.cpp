#include "CompressionWorkerCli.h"

#include "CompressionFit.h"
#include "CompressionOptionsJson.h"
#include "PdfDocument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

using Options = PdfDocument::CompressionOptions;

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitOpenFailed = 3;
constexpr int kExitNoEstimate = 4;
constexpr int kEstimateArgumentCount = 8;
constexpr int kFitArgumentCount = 4;
constexpr int kMostParallel = 4;

QByteArray jsonLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

CompressionWorkerOutput failure(QJsonObject object, const QString& error, int exitCode)
{
    object.insert(QStringLiteral("ok"), false);
    object.insert(QStringLiteral("error"), error);
    return {jsonLine(object), exitCode};
}

int intArgument(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

QString bytesText(qint64 bytes)
{
    return QString::number(bytes);
}

QJsonObject estimateObject(const CompressionFitEstimate& estimate)
{
    return QJsonObject{
        {QStringLiteral("index"), estimate.index},
        {QStringLiteral("label"), estimate.label},
        {QStringLiteral("bytes"), bytesText(estimate.bytes)},
        {QStringLiteral("sampled"), estimate.sampled},
        {QStringLiteral("options"), compressionOptionsToJson(estimate.options)},
        {QStringLiteral("keepsText"), estimate.keepsText},
    };
}

void print(const CompressionWorkerOutput& output)
{
    std::fwrite(output.line.constData(), 1, size_t(output.line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

CompressionWorkerOutput compressionEstimate(const QStringList& arguments)
{
    if (arguments.size() < kEstimateArgumentCount)
        return failure({}, QStringLiteral("Usage: --vorn-compression-estimate <pdf> <index> <dpi> <quality> <mono> <gray>"),
                       kExitUsage);
    const int index = intArgument(arguments.at(3));
    Options options;
    options.imageDpi = intArgument(arguments.at(4));
    options.jpegQuality = intArgument(arguments.at(5));
    options.monochrome = intArgument(arguments.at(6)) != 0;
    options.grayscale = intArgument(arguments.at(7)) != 0;
    options.recompressSmallImages = true;
    options.rasterizePages = true;

    const QJsonObject answer{{QStringLiteral("index"), index}};
    PdfDocument document;
    if (!document.open(arguments.at(2)))
        return failure(answer, document.lastError(), kExitOpenFailed);
    bool sampled = false;
    const qint64 bytes = document.estimateCompressedSize(options, &sampled);
    if (bytes < 1) {
        const QString error = document.lastError();
        return failure(answer, error.isEmpty() ? QStringLiteral("Failed to estimate compressed size") : error,
                       kExitNoEstimate);
    }
    QJsonObject success = answer;
    success.insert(QStringLiteral("ok"), true);
    success.insert(QStringLiteral("bytes"), bytesText(bytes));
    success.insert(QStringLiteral("sampled"), sampled);
    return {jsonLine(success), kExitOk};
}

CompressionWorkerOutput compressionFit(const QStringList& arguments, int encoderThreads)
{
    if (arguments.size() < kFitArgumentCount)
        return failure({}, QStringLiteral("Usage: --vorn-compression-fit <pdf> <target-bytes>"), kExitUsage);
    bool parsed = false;
    qint64 target = arguments.at(3).toLongLong(&parsed, 10);
    if (!parsed || target < 1)
        target = 1;

    const CompressionFit::Outcome outcome = CompressionFit::run(arguments.at(2), target, encoderThreads);
    if (outcome.choice.index < 0)
        return failure({}, outcome.error.isEmpty() ? QStringLiteral("Не удалось подобрать настройки.") : outcome.error,
                       kExitNoEstimate);
    QJsonArray estimates;
    for (const CompressionFitEstimate& estimate : outcome.estimates)
        estimates.append(estimateObject(estimate));
    QJsonObject answer = estimateObject(outcome.estimates.at(outcome.choice.index));
    answer.remove(QStringLiteral("index"));
    answer.insert(QStringLiteral("ok"), true);
    answer.insert(QStringLiteral("matchedTarget"), outcome.choice.fits);
    answer.insert(QStringLiteral("complete"), outcome.complete);
    answer.insert(QStringLiteral("estimates"), estimates);
    return {jsonLine(answer), kExitOk};
}

int compressionFitParallelism(int idealThreadCount)
{
    return std::clamp(std::max(1, idealThreadCount) - 1, 1, kMostParallel);
}

int runCompressionEstimateCli(const QStringList& arguments)
{
    const CompressionWorkerOutput output = compressionEstimate(arguments);
    print(output);
    return output.exitCode;
}

int runCompressionFitCli(const QStringList& arguments)
{
    const CompressionWorkerOutput output =
        compressionFit(arguments, compressionFitParallelism(QThread::idealThreadCount()));
    print(output);
    return output.exitCode;
}
