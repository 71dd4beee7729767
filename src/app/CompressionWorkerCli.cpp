#include "CompressionWorkerCli.h"

#include "CompressionOptionsJson.h"
#include "PdfDocument.h"
#include "WorkerProcess.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <array>
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
// A child's answer is one short line; anything longer is not an answer.
constexpr qint64 kLargestAnswer = 64 * 1024;

struct TargetCandidate {
    const char* label;
    int imageDpi;
    int jpegQuality;
    bool monochrome;
};

// In the order of preference; the position is the preset's index.
constexpr std::array<TargetCandidate, 15> kCandidates{{
    {"Почти без потери качества", 300, 85, false},
    {"Промежуточный бережный режим", 240, 80, false},
    {"Бережное сжатие", 200, 75, false},
    {"Умеренное сжатие", 180, 68, false},
    {"Среднее сжатие", 150, 55, false},
    {"Плотное среднее сжатие", 140, 50, false},
    {"Сильное сжатие", 120, 42, false},
    {"Сильное сжатие 100 dpi", 100, 35, false},
    {"Экстремальное сжатие", 72, 28, false},
    {"Экстремальное цветное сжатие", 72, 22, false},
    {"Жёсткий минимум цветом", 72, 16, false},
    {"Монохром 150 dpi", 150, 55, true},
    {"Монохром 120 dpi", 120, 45, true},
    {"Монохром 100 dpi", 100, 40, true},
    {"Монохром 72 dpi", 72, 35, true},
}};

struct TargetResult {
    bool ok = false;
    qint64 bytes = -1;
    bool sampled = false;
    QString error;

    bool counts() const { return ok && bytes > 0; }
};

Options candidateOptions(const TargetCandidate& candidate)
{
    return rasterCompressionOptions(candidate.imageDpi, candidate.jpegQuality, candidate.monochrome);
}

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

// What one estimate child answered; its own "index" is not read.
TargetResult recordedResult(bool succeeded, const QByteArray& output, const QByteArray& errorOutput,
                            const QString& fallback)
{
    TargetResult result;
    if (!succeeded) {
        result.error = QString::fromUtf8(errorOutput).trimmed();
        if (result.error.isEmpty())
            result.error = fallback;
        return result;
    }
    const QJsonDocument document = QJsonDocument::fromJson(output.trimmed());
    const QJsonObject object = document.object();
    if (document.isObject())
        result.ok = object.value(QStringLiteral("ok")).toBool(false);
    result.bytes = compressionByteCount(object.value(QStringLiteral("bytes")));
    result.sampled = object.value(QStringLiteral("sampled")).toBool(false);
    result.error = object.value(QStringLiteral("error")).toString();
    if (!result.ok && result.error.isEmpty())
        result.error = QStringLiteral("некорректный ответ worker-процесса");
    return result;
}

// Runs the estimate children, at most parallel at once, and records each
// exactly once however it ends.
class FitRun {
public:
    FitRun(const QString& program, const QString& pdf, int parallel)
        : m_program(program), m_pdf(pdf), m_parallel(parallel)
    {
    }

    std::array<TargetResult, kCandidates.size()> run()
    {
        launch();
        if (m_running > 0)
            m_loop.exec();
        return m_results;
    }

private:
    void launch()
    {
        while (m_running < m_parallel && m_next < int(kCandidates.size())) {
            const int index = m_next++;
            const TargetCandidate& candidate = kCandidates[size_t(index)];
            auto* process = new QProcess(&m_loop);
            process->setProgram(m_program);
            process->setArguments({QStringLiteral("--vorn-compression-estimate"), m_pdf, QString::number(index),
                                   QString::number(candidate.imageDpi), QString::number(candidate.jpegQuality),
                                   candidate.monochrome ? QStringLiteral("1") : QStringLiteral("0"),
                                   QStringLiteral("0")});
            process->setProcessChannelMode(QProcess::SeparateChannels);
            endWithParent(*process);
            QObject::connect(process, &QProcess::finished, &m_loop,
                             [this, process, index](int exitCode, QProcess::ExitStatus status) {
                                 complete(process, index, exitCode == 0 && status == QProcess::NormalExit,
                                          QStringLiteral("worker-процесс завершился с ошибкой"));
                             });
            QObject::connect(process, &QProcess::errorOccurred, &m_loop, [this, process, index] {
                complete(process, index, false, QStringLiteral("не удалось запустить worker-процесс"));
            });
            ++m_running;  // before start: a start failure reports at once
            process->start();
        }
    }

    void complete(QProcess* process, int index, bool succeeded, const QString& fallback)
    {
        if (process->property("_vorn_done").toBool())
            return;
        process->setProperty("_vorn_done", true);
        const QByteArray output = succeeded ? process->read(kLargestAnswer) : QByteArray();
        const QByteArray errorOutput = process->readAllStandardError().left(kLargestAnswer);
        m_results[size_t(index)] = recordedResult(succeeded, output, errorOutput, fallback);
        --m_running;
        process->deleteLater();
        launch();
        if (m_running == 0 && m_next >= int(kCandidates.size()))
            m_loop.quit();
    }

    QString m_program;
    QString m_pdf;
    int m_parallel = 1;
    int m_next = 0;
    int m_running = 0;
    std::array<TargetResult, kCandidates.size()> m_results{};
    QEventLoop m_loop;
};

QJsonObject estimateObject(int index, const TargetResult& result)
{
    const TargetCandidate& candidate = kCandidates[size_t(index)];
    return QJsonObject{
        {QStringLiteral("index"), index},
        {QStringLiteral("label"), QString::fromUtf8(candidate.label)},
        {QStringLiteral("bytes"), bytesText(result.bytes)},
        {QStringLiteral("sampled"), result.sampled},
        {QStringLiteral("options"), compressionOptionsToJson(candidateOptions(candidate))},
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

CompressionWorkerOutput compressionFit(const QStringList& arguments, const QString& program, int parallel)
{
    if (arguments.size() < kFitArgumentCount)
        return failure({}, QStringLiteral("Usage: --vorn-compression-fit <pdf> <target-bytes>"), kExitUsage);
    bool parsed = false;
    qint64 target = arguments.at(3).toLongLong(&parsed, 10);
    if (!parsed || target < 1)
        target = 1;

    const auto results = FitRun(program, arguments.at(2), std::max(1, parallel)).run();
    int smallest = -1;
    int matched = -1;
    QString failureText;
    QJsonArray estimates;
    for (int i = 0; i < int(results.size()); ++i) {
        const TargetResult& result = results[size_t(i)];
        if (!result.counts()) {
            if (failureText.isEmpty())
                failureText = result.error;
            continue;
        }
        estimates.append(estimateObject(i, result));
        if (smallest < 0 || result.bytes < results[size_t(smallest)].bytes)
            smallest = i;
        if (matched < 0 && result.bytes <= target)
            matched = i;
    }
    const int chosen = matched >= 0 ? matched : smallest;
    if (chosen < 0)
        return failure({}, failureText.isEmpty() ? QStringLiteral("Не удалось подобрать настройки.") : failureText,
                       kExitNoEstimate);
    QJsonObject answer = estimateObject(chosen, results[size_t(chosen)]);
    answer.remove(QStringLiteral("index"));
    answer.insert(QStringLiteral("ok"), true);
    answer.insert(QStringLiteral("matchedTarget"), matched >= 0);
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
    const CompressionWorkerOutput output = compressionFit(
        arguments, QCoreApplication::applicationFilePath(), compressionFitParallelism(QThread::idealThreadCount()));
    print(output);
    return output.exitCode;
}
