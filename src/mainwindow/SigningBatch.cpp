#include "SigningBatch.h"

#include "DialogKit.h"
#include "FileIdentity.h"
#include "MainWindow.h"
#include "OutputPaths.h"
#include "SaveLeftovers.h"
#include "SignatureDialog.h"
#include "SignatureJournal.h"
#include "SignatureJson.h"
#include "SignatureService.h"
#include "SigningPreparation.h"
#include "SigningRun.h"
#include "SigningScratch.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

SigningBatch::SigningBatch(SignatureDialog* dialog, MainWindow* window, const SigningChild& children,
                           const SignatureRequest& templateRequest, const SigningCertificate& certificate,
                           const SignatureStampOptions& stampOptions)
    : dialog(dialog)
    , window(window)
    , children(children)
    , templateRequest(templateRequest)
    , certificate(certificate)
    , stampOptions(stampOptions)
{
}

void SigningBatch::run(const QStringList& remainingFiles, QStringList* lines, QStringList* openList)
{
    total = remainingFiles.size() + 1;
    signedCount = 1;
    unsignedNames.clear();
    failures.clear();
    for (const QString& file : remainingFiles)
        unsignedNames << QFileInfo(file).fileName();
    if (!appQuestion(dialog, tr("Подписание документов"),
                     tr("Первый файл подписан. Подписать остальные файлы (%1) с теми же настройками?")
                         .arg(remainingFiles.size()),
                     tr("Подписать остальные"), tr("Не подписывать"))) {
        if (!stopped)
            *lines << tr("Остальные PDF не подписывались по выбору пользователя.");
        return;
    }
    if (stopped || !dialog)
        return;
    dialog->setSigningBusy(true, tr("Подписываю остальные документы..."));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    QStringList signedNames;
    for (int i = 0; i < remainingFiles.size() && !stopped; ++i) {
        const QString& file = remainingFiles.at(i);
        if (window)
            window->showStatusText(tr("Подписание файла %1 из %2").arg(i + 2).arg(remainingFiles.size() + 1));
        QString stamped;
        SignatureRequest request;
        SignatureResult result;
        QString error;
        if (signOne(file, &stamped, &request, &result, &error)) {
            appendSignatureJournalRecord(request, result, certificate);
            signedNames << QFileInfo(file).fileName();
            ++signedCount;
            unsignedNames.removeOne(signedNames.last());
            *openList << (stamped.isEmpty() ? result.outputPath : stamped);
        } else if (!stopped) {
            failures << QStringLiteral("%1 — %2").arg(QFileInfo(file).fileName(), error);
            unsignedNames.removeOne(QFileInfo(file).fileName());
        }
    }
    if (stopped || !dialog)
        return;
    dialog->setSigningBusy(false, QString());
    if (!signedNames.isEmpty())
        *lines << tr("Дополнительно подписано файлов: %1.").arg(signedNames.size());
    appendFailures(lines);
}

void SigningBatch::appendFailures(QStringList* lines) const
{
    if (failures.isEmpty())
        return;
    *lines << tr("Не удалось подписать:");
    for (const QString& failure : failures)
        *lines << QStringLiteral("• ") + failure;
}

bool SigningBatch::signOne(const QString& file, QString* stampedPath, SignatureRequest* request,
                           SignatureResult* result, QString* error)
{
    *request = templateRequest;
    request->inputPath = file;
    const QString wanted = SignatureService::defaultOutputPath(file, templateRequest.mode);
    // What killed runs and saves left in the outputs' folder goes first.
    removeSaveLeftovers(wanted);
    request->outputPath = uniqueSiblingPathLikeChrome(wanted);
    // The file's request, its child's temporary files and the stage of a
    // stamped copy: all go before returning, or at once on cancel.
    scratch = std::make_shared<SigningScratch>();
    const bool done = signInScratch(file, stampedPath, request, result, error);
    scratch->clear();
    scratch.reset();
    return done;
}

bool SigningBatch::signInScratch(const QString& file, QString* stampedPath, SignatureRequest* request,
                                 SignatureResult* result, QString* error)
{
    // Stopped or failed, the file leaves nothing: a stamped copy and its
    // signature are made in a stage and take their names only together.
    StampedOutputs placed;
    StampedOutputs staged;
    if (templateRequest.mode == StampedPdfDetached) {
        placed = stampedSigningOutputs(file, request->outputPath);
        if (QFileInfo(placed.stampedPdf).absoluteFilePath() == QFileInfo(file).absoluteFilePath() ||
            FileIdentity::same(placed.stampedPdf, file)) {
            *error = tr("PDF со штампом не должен перезаписывать исходный файл.");
            return false;
        }
        if (!stageStampedOutputs(*scratch, placed, &staged, error))
            return false;
        request->outputPath = staged.signature;
        if (!stampInBackground(file, staged.stampedPdf, error))
            return false;
        request->inputPath = staged.stampedPdf;
    }
    const bool stamped = !staged.signature.isEmpty();
    if (!signFileInWorker(*request, result, error) || (stamped && !placeStampedOutputs(staged, &placed, error)))
        return false;
    if (stamped) {
        request->inputPath = placed.stampedPdf;
        request->outputPath = placed.signature;
        result->outputPath = placed.signature;
        *stampedPath = placed.stampedPdf;
    }
    return true;
}

bool SigningBatch::stampInBackground(const QString& file, const QString& stamped, QString* error)
{
    SigningPreparation preparation;
    QEventLoop events;
    bool ended = false;
    QObject::connect(&preparation, &SigningPreparation::finished, &events, [&](const QString& failure) {
        ended = true;
        *error = failure;
        events.quit();
    });
    QObject::connect(&preparation, &SigningPreparation::progress, &events, [this](int permille) {
        if (dialog)
            dialog->setSigningProgress(permille);
    });
    SigningPreparation::Task task;
    task.stampSource = file;
    task.stamped = stamped;
    task.certificate = certificate;
    task.options = stampOptions;
    task.keepAlive = scratch;
    preparation.start(std::move(task));
    loop = &events;
    if (!stopped && !ended)
        events.exec();
    loop = nullptr;
    if (dialog)
        dialog->setSigningProgress(-1);
    if (!ended) {
        // Stopped: the preparation is let go and removes its copy itself.
        preparation.stop();
        error->clear();
        return false;
    }
    return error->isEmpty();
}

bool SigningBatch::signFileInWorker(const SignatureRequest& request, SignatureResult* result, QString* error)
{
    const std::shared_ptr<SigningScratch> own = scratch ? scratch : std::make_shared<SigningScratch>();
    QString reason;
    const QString path = own->reserve(QStringLiteral("vorn-sign-request-"), QStringLiteral(".json"), &reason);
    if (path.isEmpty()) {
        *error = tr("Не удалось подготовить параметры подписи: %1").arg(reason);
        return false;
    }
    if (!SigningRun::writeSignatureRequestFile(request, path, error))
        return false;

    bool done = false;
    bool processOk = false;
    QByteArray out;
    QByteArray err;
    QString message;
    QProcess process;
    QEventLoop events;
    child = &process;
    loop = &events;
    children.configure(&process, {QStringLiteral("--vorn-sign-file"), path}, "VORN_SIGN_WORKER", own->path());
    QObject::connect(&process, &QProcess::finished, &events, [&](int, QProcess::ExitStatus status) {
        done = true;
        processOk = status == QProcess::NormalExit;
        out = process.readAllStandardOutput();
        err = process.readAllStandardError();
        message = status == QProcess::CrashExit ? tr("Криптопровайдер аварийно завершил подписание.")
                                                : tr("Подписание завершилось с ошибкой.");
        events.quit();
    });
    QObject::connect(&process, &QProcess::errorOccurred, &events, [&](QProcess::ProcessError failure) {
        // A child that ended without reading its pass phrases tells more by its end.
        if (done || failure == QProcess::WriteError)
            return;
        done = true;
        out = process.readAllStandardOutput();
        err = process.readAllStandardError();
        message = tr("Не удалось запустить изолированный процесс подписания.");
        events.quit();
    });
    startSigningChild(&process, SigningRun::secretsFor(request));
    if (!stopped && !done)
        events.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    child = nullptr;
    loop = nullptr;
    QFile::remove(path);
    if (stopped) {
        // Even after its child answered, however it ended: what the answer
        // names is taken back.
        removeWhatChildLeft(signingChildAnswer(true, out, {}, {}, request), request.outputPath);
        error->clear();
        return false;
    }
    *result = signingChildAnswer(processOk, out, err, message, request);
    if (!result->ok) {
        removeWhatChildLeft(*result, request.outputPath);
        *error = result->error;
    }
    return result->ok;
}

QString SigningBatch::stoppedText() const
{
    QStringList lines{tr("Подписание остановлено: подписано файлов %1 из %2. Не подписаны:")
                          .arg(signedCount)
                          .arg(total)};
    for (const QString& name : unsignedNames)
        lines << QStringLiteral("• ") + name;
    // The files refused before the stop, each with its reason.
    appendFailures(&lines);
    return lines.join(QLatin1Char('\n'));
}

void SigningBatch::cancel()
{
    stopped = true;
    if (child) {
        child->kill();
        child->waitForFinished(1000);
    }
    // At once: the process may be about to end.
    if (scratch)
        scratch->clear();
    if (loop)
        loop->quit();
}
