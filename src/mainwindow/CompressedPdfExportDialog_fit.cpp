// The fit: a private copy of the document, the fit worker run on it, and the
// choice under the size limit from the estimates it returns.
#include "CompressedPdfExportDialog.h"

#include "BusyRing.h"
#include "CompressionOptionsJson.h"
#include "PdfDocument.h"
#include "UiTranslate.h"
#include "WorkerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryFile>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kKillWaitMs = 2000;
// The fit worker's answer is one line of a few kilobytes.
constexpr qint64 kLargestFitAnswer = 1024 * 1024;

QString& fitWorkerProgram()
{
    static QString program;
    return program;
}

// Copies the file at path into the open target; false leaves the target to
// be written otherwise.
bool copyFileInto(const QString& path, QFile& target)
{
    constexpr qint64 kChunk = 1024 * 1024;
    QFile source(path);
    if (path.isEmpty() || !source.open(QIODevice::ReadOnly) || source.size() > PdfDocument::kMaxFileBytes)
        return false;
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(kChunk);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size())
            return false;
    }
    return target.flush();
}

} // namespace

void CompressedPdfExportDialog::setFitWorkerProgram(const QString& program)
{
    fitWorkerProgram() = program;
}

void CompressedPdfExportDialog::setControlsEnabled(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_fitButton, m_saveDefaultsButton, m_saveButton, m_cancelButton, m_outputEdit, m_browseButton,
             m_limitSpin, m_levelSlider, m_advancedButton, m_fineGroup})
        control->setEnabled(enabled);
    m_estimateButton->setEnabled(enabled && !m_estimateJob);
}

void CompressedPdfExportDialog::startSizeFit(bool mayUseCache)
{
    if (isFitRunning() || (mayUseCache && chooseFitFromCache(true)))
        return;
    const double megabytes = m_limitSpin->value();
    setControlsEnabled(false);
    m_forecast->setText(shownText("Подбираю настройки под лимит %1 МБ...").arg(QString::number(megabytes, 'f', 1)));
    placeOverlay();
    m_overlayTitle->setText(shownText("Анализ документа..."));
    m_overlay->raise();
    m_overlay->show();
    m_ring->timer.start(BusyRing::kTickIntervalMs);
    m_ring->show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // Created exclusively, readable by the user only, removed with the run.
    m_fitCopy = std::make_unique<QTemporaryFile>(QDir(QDir::tempPath()).filePath(
        QStringLiteral("vorn_pdf_compress_estimate_XXXXXX.pdf")));
    const bool created = m_fitCopy->open();
    // An unchanged document is measured as its file, the bytes the kept copy
    // starts from; a changed one as it would be saved.
    const bool copied = created && !m_document->isModified() && copyFileInto(m_document->filePath(), *m_fitCopy);
    m_fitCopy->close();  // the name stays reserved; saveCopy replaces the file keeping its mode
    if (!created || (!copied && !m_document->saveCopy(m_fitCopy->fileName()))) {
        m_fitCopy.reset();
        endSizeFit();
        m_forecast->setText(shownText("Не удалось подготовить документ для подбора."));
        return;
    }

    auto* process = new QProcess(this);
    const QString program = fitWorkerProgram();
    process->setProgram(program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
    m_fitTargetBytes = compressionTargetBytes(megabytes);
    process->setArguments({QStringLiteral("--vorn-compression-fit"), m_fitCopy->fileName(),
                           QString::number(m_fitTargetBytes)});
    process->setProcessChannelMode(QProcess::SeparateChannels);
    endWithParent(*process);
    connect(process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) { onSizeFitFinished(exitCode, status); });
    connect(process, &QProcess::errorOccurred, this,
            [this](QProcess::ProcessError error) { onSizeFitError(error); });
    m_fitProcess = process;
    process->start();
}

// Ends a run once, however it ended: the worker goes, the copy is removed and
// the controls come back.
void CompressedPdfExportDialog::endSizeFit()
{
    if (m_fitProcess) {
        m_fitProcess->disconnect(this);
        m_fitProcess->deleteLater();
        m_fitProcess = nullptr;
    }
    m_fitCopy.reset();
    m_ring->timer.stop();
    m_ring->hide();
    m_overlay->hide();
    setControlsEnabled(true);
    if (!focusWidget() || !focusWidget()->isEnabled())
        m_saveButton->setFocus(Qt::OtherFocusReason);
}

void CompressedPdfExportDialog::stopFitProcess()
{
    if (!m_fitProcess)
        return;
    QProcess* process = m_fitProcess;
    process->disconnect(this);
    process->kill();
    process->waitForFinished(kKillWaitMs);
    delete process;
    m_fitCopy.reset();
}

void CompressedPdfExportDialog::onSizeFitError(QProcess::ProcessError error)
{
    // A crash is followed by finished, whose text stays; other errors (a
    // read or write failure) are no end of the run.
    if (error != QProcess::FailedToStart && error != QProcess::Crashed)
        return;
    QProcess* process = m_fitProcess;
    if (error == QProcess::Crashed && process) {
        const QByteArray errorOutput = process->readAllStandardError().left(kLargestFitAnswer);
        endSizeFit();
        const QString reason = QString::fromUtf8(errorOutput).trimmed();
        m_forecast->setText(shownText("Не удалось подобрать настройки: %1")
                                .arg(reason.isEmpty() ? shownText("процесс подбора завершился с ошибкой") : reason));
        return;
    }
    endSizeFit();
    m_forecast->setText(shownText("Не удалось запустить процесс подбора."));
}

void CompressedPdfExportDialog::onSizeFitFinished(int exitCode, QProcess::ExitStatus status)
{
    QProcess* process = m_fitProcess;
    const QByteArray output = process ? process->read(kLargestFitAnswer) : QByteArray();
    const QByteArray errorOutput = process ? process->readAllStandardError().left(kLargestFitAnswer) : QByteArray();
    endSizeFit();
    if (status != QProcess::NormalExit || exitCode != 0) {
        const QString reason = QString::fromUtf8(errorOutput).trimmed();
        m_forecast->setText(shownText("Не удалось подобрать настройки: %1")
                                .arg(reason.isEmpty() ? shownText("процесс подбора завершился с ошибкой") : reason));
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(output.trimmed());
    const QJsonObject answer = document.object();
    if (!document.isObject() || answer.value(QStringLiteral("ok")) != QJsonValue(true)) {
        const QString reason = answer.value(QStringLiteral("error")).toString();
        m_forecast->setText(shownText("Не удалось подобрать настройки: %1")
                                .arg(reason.isEmpty() ? shownText("некорректный ответ процесса подбора") : reason));
        return;
    }

    m_estimateCache.clear();
    for (const QJsonValue& value : answer.value(QStringLiteral("estimates")).toArray()) {
        const QJsonObject element = value.toObject();
        CachedCompressionEstimate entry;
        entry.label = element.value(QStringLiteral("label")).toString();
        entry.bytes = compressionByteCount(element.value(QStringLiteral("bytes")));
        entry.sampled = element.value(QStringLiteral("sampled")).toBool(false);
        entry.options = compressionOptionsFromJson(element.value(QStringLiteral("options")).toObject());
        entry.keepsText = element.value(QStringLiteral("keepsText")).toBool(false);
        if (!entry.label.trimmed().isEmpty() && entry.bytes >= 1)
            m_estimateCache.append(entry);
    }
    m_estimateCacheReady = !m_estimateCache.isEmpty();
    m_estimateComplete = answer.value(QStringLiteral("complete")).toBool(false);
    m_estimateTargetBytes = m_fitTargetBytes;
    m_estimateRunMatched = answer.value(QStringLiteral("matchedTarget")).toBool(false);
    if (m_estimateCacheReady && chooseFitFromCache(false)) {
        QSettings().setValue(QStringLiteral("export/compressedPdf/targetMb"), m_limitSpin->value());
        return;
    }

    const PdfDocument::CompressionOptions chosen = compressionOptionsFromJson(answer.value(QStringLiteral("options")).toObject());
    const qint64 bytes = compressionByteCount(answer.value(QStringLiteral("bytes")));
    if (bytes < 1) {
        m_forecast->setText(shownText("Не удалось подобрать настройки: некорректный размер результата."));
        return;
    }
    applyChoice(chosen);
    m_forecast->setText(fitResultText(QString(), answer.value(QStringLiteral("matchedTarget")).toBool(false),
                                      answer.value(QStringLiteral("label")).toString(), bytes,
                                      answer.value(QStringLiteral("sampled")).toBool(false), chosen,
                                      answer.value(QStringLiteral("keepsText")).toBool(false)));
    QSettings().setValue(QStringLiteral("export/compressedPdf/targetMb"), m_limitSpin->value());
}

bool CompressedPdfExportDialog::chooseFitFromCache(bool reusesRun)
{
    if (!m_estimateCacheReady || m_estimateCache.isEmpty())
        return false;
    const qint64 target = compressionTargetBytes(m_limitSpin->value());
    const CompressionFitChoice choice = chooseCompressionFit(m_estimateCache, target);
    // A run that did not measure every candidate left out those larger than
    // its limit; those after its choice, when it stopped at one, are unknown.
    const bool answered =
        m_estimateComplete || (target <= m_estimateTargetBytes && (choice.fits || !m_estimateRunMatched));
    if (choice.index < 0 || !answered)
        return false;
    const CachedCompressionEstimate& entry = m_estimateCache.at(choice.index);
    m_applyingLevel = true;
    applyChoice(entry.options);
    m_applyingLevel = false;
    const QString firstLine = reusesRun
                                  ? shownText("Повторный подбор не запускался: использованы уже посчитанные варианты.")
                                  : shownText("Варианты сжатия посчитаны и сохранены для этого окна.");
    m_forecast->setText(
        fitResultText(firstLine, choice.fits, entry.label, entry.bytes, entry.sampled, entry.options, entry.keepsText));
    return true;
}

bool CompressedPdfExportDialog::documentHasText() const
{
    return std::any_of(m_estimateCache.cbegin(), m_estimateCache.cend(),
                       [](const CachedCompressionEstimate& entry) { return entry.keepsText; });
}
