#include "SigningRun.h"

#include "DialogKit.h"
#include "FileIdentity.h"
#include "MainWindow.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "RegularFile.h"
#include "SaveLeftovers.h"
#include "SignatureDialog.h"
#include "SignatureJournal.h"
#include "SignatureJson.h"
#include "SignatureService.h"
#include "SigningBatch.h"
#include "SigningPreparation.h"
#include "SigningScratch.h"
#include "TerminationWatch.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QUrl>

namespace {

bool isPdfName(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
}

// One file under two names (a hard link, a symbolic link) is one file.
bool samePath(const QString& a, const QString& b)
{
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath() || FileIdentity::same(a, b);
}

} // namespace

SigningRun::SigningRun(SignatureDialog* dialog, MainWindow* window, const SigningChild& children)
    : QObject(dialog)
    , dialog(dialog)
    , window(window)
    , children(children)
{
    connect(dialog, &QDialog::finished, this, &SigningRun::abort);
}

SigningRun::~SigningRun()
{
    abort();
}

bool SigningRun::writeSignatureRequestFile(const SignatureRequest& request, const QString& path, QString* error)
{
    return writeRequestObject(signatureRequestFileJson(request), path, error);
}

QByteArray SigningRun::secretsFor(const SignatureRequest& request)
{
    return QJsonDocument(signatureSecretsToJson(request)).toJson(QJsonDocument::Compact);
}

bool SigningRun::writeRequestObject(const QJsonObject& object, const QString& path, QString* error)
{
    QFile file(path);
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size() && file.flush())
        return true;
    if (error)
        *error = tr("Не удалось подготовить параметры подписи: %1").arg(file.errorString());
    return false;
}

// The run's request file in its scratch; empty after failing the run.
QString SigningRun::writeRequest(bool describeOnly)
{
    QString error;
    const QString path = scratch->reserve(QStringLiteral("vorn-sign-request-"), QStringLiteral(".json"), &error);
    QJsonObject object = signatureRequestFileJson(record.request);
    if (describeOnly)
        object.insert(QStringLiteral("describeOnly"), true);
    if (path.isEmpty())
        error = tr("Не удалось подготовить параметры подписи: %1").arg(error);
    if (path.isEmpty() || !writeRequestObject(object, path, &error)) {
        failSigningRun(tr("Подписание"), error);
        return {};
    }
    record.requestFilePath = path;
    return path;
}

void SigningRun::start()
{
    if (running || !dialog)
        return;
    const SignatureDialogInputs in = dialog->inputs();
    const SignatureDialog::Setup& setup = dialog->setup();
    input = setup.sourcePath;
    if (input.isEmpty() || !QFileInfo::exists(input)) {
        appInfo(dialog, tr("Подписание"), tr("Выберите существующий файл для подписи."));
        return;
    }
    QString out = in.outputPath.isEmpty() ? SignatureService::defaultOutputPath(input, in.mode) : in.outputPath;
    // What killed runs and saves left in the outputs' folder goes first.
    removeSaveLeftovers(out);
    out = uniqueSiblingPathLikeChrome(out);
    dialog->setOutputPath(out);

    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = out;
    request.mode = in.mode;
    request.tsaUrl = in.tsaUrl;
    request.certificatePath = in.certificatePath;
    request.privateKeyPath = in.privateKeyPath;
    request.keyPassword = in.keyPassword;
    request.pkcs12Path = in.pkcs12Path;
    request.pkcs12Password = in.pkcs12Password;
    if (in.mode == CadesT && in.tsaUrl.isEmpty()) {
        appInfo(dialog, tr("Подписание"), tr("Для CAdES-T укажите адрес TSA-сервера."));
        return;
    }
    if (!in.tsaUrl.isEmpty())
        QSettings().setValue(QStringLiteral("signing/tsaUrl"), in.tsaUrl);
    if ((in.mode == StampedPdfDetached || in.mode == EmbeddedPdf) && !isPdfName(input)) {
        appInfo(dialog, tr("Подписание"),
                in.mode == EmbeddedPdf ? tr("Встроенную подпись можно добавить только в PDF.")
                                       : tr("Видимый штамп можно добавить только в PDF."));
        return;
    }
    stampOptions = SignatureStampOptions();
    if (in.mode == StampedPdfDetached) {
        stampOptions.page = in.stampPage - 1;
        stampOptions.position = in.stampPosition;
        stampOptions.widthMm = in.stampWidthMm;
        stampOptions.heightMm = in.stampHeightMm;
        stampOptions.templateId = in.stampTemplateId;
    }
    const PdfDocument* document = window && window->isDocumentLoaded() ? window->currentDocument() : nullptr;
    inputIsOpenDocument = setup.explicitPath.isEmpty() && document && samePath(input, document->filePath());

    record = AsyncSignResult();
    record.request = request;
    journalInput.clear();
    sourceCopyPath.clear();
    stagedOutputs = StampedOutputs();
    placedOutputs = StampedOutputs();
    running = true;
    aborted = false;
    // A logout or a plain kill stops the run as a cancel does.
    termination = std::make_unique<TerminationWatch>();
    connect(termination.get(), &TerminationWatch::terminating, this, &SigningRun::abort);
    scratch = std::make_shared<SigningScratch>();
    dialog->setSigningBusy(true, tr("Подготавливаю документ..."));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (aborted)
        return;
    describeCertificate();
}

void SigningRun::startChild(const QString& requestPath, bool describe)
{
    auto* process = new QProcess(this);
    child = process;
    childSigns = !describe;
    children.configure(process, {QStringLiteral("--vorn-sign-file"), requestPath}, "VORN_SIGN_WORKER",
                       scratch->path());
    auto finish = [this, describe](QProcess* p, bool ok, const QString& fallback) {
        const QByteArray out = p->readAllStandardOutput();
        const QByteArray err = p->readAllStandardError();
        if (describe)
            finishDescribe(p, ok, out, err, fallback);
        else
            finishSigningRun(p, ok, out, err, fallback);
    };
    const QString crashed = tr("Криптопровайдер аварийно завершил подписание. GUI остался запущен, можно выбрать "
                               "другой сертификат или режим подписи.");
    // Qt reports a crash as an error before the finished signal.
    connect(process, &QProcess::errorOccurred, this, [process, finish, crashed](QProcess::ProcessError error) {
        if (error == QProcess::WriteError)
            return;  // it ended without reading the pass phrases: its end tells more
        finish(process, false,
               error == QProcess::Crashed ? crashed : tr("Не удалось запустить изолированный процесс подписания."));
    });
    connect(process, &QProcess::finished, this, [process, finish, crashed](int, QProcess::ExitStatus status) {
        finish(process, status == QProcess::NormalExit,
               status == QProcess::CrashExit ? crashed : tr("Подписание завершилось с ошибкой."));
    });
    startSigningChild(process, secretsFor(record.request));
}

// The key material is read by a child first: the certificate it names goes
// on the stamp and into the journal, and a key that cannot sign fails the run
// before any stamped copy exists.
void SigningRun::describeCertificate()
{
    const QString path = writeRequest(true);
    if (!path.isEmpty())
        startChild(path, true);
}

void SigningRun::finishDescribe(QProcess* process, bool processOk, const QByteArray& out, const QByteArray& err,
                                const QString& fallbackText)
{
    if (!claimSigningChildEnd(process))
        return;
    QFile::remove(record.requestFilePath);
    process->deleteLater();
    if (aborted || !dialog)
        return;
    QString text;
    const QJsonDocument document = processOk ? QJsonDocument::fromJson(out.trimmed()) : QJsonDocument();
    if (document.isObject()) {
        const QJsonObject object = document.object();
        const QJsonValue described = object.value(QStringLiteral("certificate"));
        if (object.value(QStringLiteral("ok")).toBool(false) && described.isObject()) {
            certificate = signingCertificateFromJson(described.toObject());
        } else {
            text = object.value(QStringLiteral("error")).toString();
            if (text.isEmpty())
                text = fallbackText;
        }
    } else {
        text = QString::fromUtf8(err).trimmed();
        if (text.isEmpty())
            text = fallbackText;
    }
    if (!text.isEmpty()) {
        failSigningRun(tr("Ошибка подписи"), text);
        return;
    }
    prepareAndSign();
}

// The document copy, the hash and the stamped copy are long for large files:
// they are made on a thread of their own while the dialog shows its progress.
void SigningRun::prepareAndSign()
{
    const SignatureMode mode = record.request.mode;
    const bool copyDocument = inputIsOpenDocument && (mode == EmbeddedPdf || mode == StampedPdfDetached);
    SigningPreparation::Task task;
    if (copyDocument) {
        QString error;
        sourceCopyPath = scratch->reserve(QStringLiteral("vorn-sign-source-"), QStringLiteral(".pdf"), &error);
        task.document = window ? window->documentForReading() : nullptr;
        if (aborted || !dialog)
            return;
        if (sourceCopyPath.isEmpty() || !task.document) {
            failSigningRun(tr("Подписание"), tr("Не удалось сохранить текущий документ во временный PDF."));
            return;
        }
        task.documentCopy = sourceCopyPath;
    }
    if (mode == StampedPdfDetached) {
        // The signature is named after the stamped copy, the file it signs.
        // A source already named with the marker gets its copy under the
        // next free name, so the copy never is the source itself.
        const StampedOutputs outputs = stampedSigningOutputs(input, record.request.outputPath);
        if (samePath(outputs.stampedPdf, input)) {
            failSigningRun(tr("Подписание"), tr("PDF со штампом не должен перезаписывать исходный файл."));
            return;
        }
        QString error;
        if (!stageStampedOutputs(*scratch, outputs, &stagedOutputs, &error)) {
            failSigningRun(tr("Подписание"), error);
            return;
        }
        placedOutputs = outputs;
        record.request.outputPath = stagedOutputs.signature;
        dialog->setOutputPath(outputs.signature);
        task.stamped = stagedOutputs.stampedPdf;
        task.stampSource = copyDocument ? sourceCopyPath : input;
        task.certificate = certificate;
        task.options = stampOptions;
    }
    if (!copyDocument && mode != StampedPdfDetached) {
        sendRequest();
        return;
    }
    task.keepAlive = scratch;
    preparation = new SigningPreparation(this);
    connect(preparation, &SigningPreparation::progress, this, [this](int permille) {
        if (dialog)
            dialog->setSigningProgress(permille);
    });
    connect(preparation, &SigningPreparation::finished, this, &SigningRun::prepared);
    dialog->setSigningProgress(0);
    preparation->start(std::move(task));
}

void SigningRun::prepared(const QString& error)
{
    preparation->deleteLater();
    preparation = nullptr;
    if (aborted || !dialog)
        return;
    dialog->setSigningProgress(-1);
    if (!error.isEmpty()) {
        failSigningRun(tr("Подписание"), error);
        return;
    }
    if (record.request.mode == EmbeddedPdf) {
        record.request.inputPath = sourceCopyPath;
        journalInput = input;  // the copy is gone after the run
    } else {
        record.request.inputPath = stagedOutputs.stampedPdf;
    }
    sendRequest();
}

void SigningRun::sendRequest()
{
    const QString path = writeRequest(false);
    if (path.isEmpty())
        return;
    dialog->setSigningBusy(true, tr("Подписываю документ..."));
    startChild(path, false);
}

void SigningRun::finishSigningRun(QProcess* process, bool processOk, const QByteArray& out, const QByteArray& err,
                                  const QString& fallbackText)
{
    if (!claimSigningChildEnd(process))
        return;
    QFile::remove(record.requestFilePath);
    if (!sourceCopyPath.isEmpty())
        QFile::remove(sourceCopyPath);
    record.result = signingChildAnswer(processOk, out, err, fallbackText, record.request);
    record.finalTitle = record.result.ok ? QString() : tr("Ошибка подписи");
    record.finalText = record.result.ok ? QString() : record.result.error;
    process->deleteLater();
    if (aborted || !dialog)
        return;
    if (!record.result.ok) {
        failSigningRun(record.finalTitle, record.finalText);
        return;
    }
    if (!stagedOutputs.stampedPdf.isEmpty() && !placeStamped())
        return;
    succeed();
}

// The signature and its stamped copy take their own names together, only
// now that both are whole.
bool SigningRun::placeStamped()
{
    QString error;
    if (!placeStampedOutputs(stagedOutputs, &placedOutputs, &error)) {
        failSigningRun(tr("Подписание"), error);
        return false;
    }
    record.request.inputPath = placedOutputs.stampedPdf;
    record.request.outputPath = placedOutputs.signature;
    record.result.outputPath = placedOutputs.signature;
    record.stampedPdfPath = placedOutputs.stampedPdf;
    return true;
}

void SigningRun::failSigningRun(const QString& title, const QString& text)
{
    // A failed run leaves no file of its own: no begun signature, and no
    // stamped copy that would pass for a signed one (its stage goes with
    // the scratch).
    removeWhatChildLeft(SignatureResult(), record.request.outputPath);
    end();
    if (!dialog)
        return;
    dialog->setSigningBusy(false, QString());
    appInfo(dialog, title.isEmpty() ? tr("Подписание") : title, text);
}

void SigningRun::succeed()
{
    dialog->setSigningBusy(false, QString());
    const SignatureResult& result = record.result;
    SignatureRequest journalled = record.request;
    if (!journalInput.isEmpty())
        journalled.inputPath = journalInput;
    appendSignatureJournalRecord(journalled, result, certificate);
    dialog->setOutputPath(result.outputPath);
    if (window)
        window->showStatusText(tr("Подпись сохранена: %1").arg(QFileInfo(result.outputPath).fileName()));

    QStringList lines{tr("Подписан: %1").arg(QFileInfo(input).fileName()),
                      tr("Файл подписи: %1").arg(result.outputPath)};
    if (!record.stampedPdfPath.isEmpty())
        lines << tr("PDF со штампом: %1").arg(record.stampedPdfPath);
    QStringList openList{record.stampedPdfPath.isEmpty() ? result.outputPath : record.stampedPdfPath};

    const SignatureDialog::Setup& setup = dialog->setup();
    if (!setup.remainingFiles.isEmpty()) {
        SigningBatch steps(dialog, window, children, record.request, certificate, stampOptions);
        batch = &steps;
        steps.run(setup.remainingFiles, &lines, &openList);
        batch = nullptr;
        // The dialog is closing: the window, or with it hidden (the signing
        // edition) a prompt of its own, tells what was left unsigned before
        // the program may end.
        if (steps.cancelled())
            appInfo(window && window->isVisible() ? window.data() : nullptr, tr("Подписание"), steps.stoppedText());
        if (aborted || !dialog)
            return;
    }
    if (!setup.skippedFiles.isEmpty()) {
        lines << tr("Пропущены файлы, которые не похожи на PDF по содержимому:");
        for (const QString& path : setup.skippedFiles)
            lines << QStringLiteral("• ") + QFileInfo(path).fileName();
    }
    lines << QString() << tr("SHA-256 первого подписанного файла: %1").arg(QString::fromLatin1(result.documentSha256.toHex()));
    end();
    appInfo(dialog, tr("Подпись создана"), lines.join(QLatin1Char('\n')));
    if (!dialog)
        return;
    const bool open = setup.shellMode ? dialog->inputs().openResult : !record.stampedPdfPath.isEmpty();
    if (open && window)
        openResult(openList.first());
    if (dialog)
        dialog->accept();
}

void SigningRun::openResult(const QString& path)
{
    if (!isPdfName(path)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return;
    }
    window->openFile(path);
    if (dialog && dialog->setup().shellMode) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void SigningRun::end()
{
    running = false;
    // Also while it tells of a termination: Qt stops telling a deleted sender's receivers.
    termination.reset();
    // At once, also while a preparation let go still holds the scratch:
    // the process may be about to end.
    if (scratch)
        scratch->clear();
    scratch.reset();
}

void SigningRun::abort()
{
    aborted = true;
    if (batch)
        batch->cancel();
    // Not waited for: it removes what it made once it has ended.
    if (preparation) {
        preparation->stop();
        preparation->deleteLater();
        preparation = nullptr;
    }
    // A signing child that answered before the stop, however it ended, is
    // taken back: its signature is not to stay.
    SignatureResult answered;
    if (child) {
        killSigningChild(child);
        if (childSigns)
            answered = signingChildAnswer(true, child->readAllStandardOutput(), {}, {}, record.request);
        child->deleteLater();
    }
    if (running) {
        removeWhatChildLeft(answered, record.request.outputPath);
        end();
    }
}
