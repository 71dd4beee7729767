#include "SigningRun.h"

#include "DialogKit.h"
#include "MainWindow.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "SignatureDialog.h"
#include "SignatureJournal.h"
#include "SignatureJson.h"
#include "SignatureService.h"
#include "SigningBatch.h"
#include "SigningScratch.h"

#include <QCoreApplication>
#include <QCryptographicHash>
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

bool samePath(const QString& a, const QString& b)
{
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
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
    QFile file(path);
    const QByteArray text = QJsonDocument(signatureRequestToJson(request)).toJson(QJsonDocument::Compact);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size() && file.flush())
        return true;
    if (error)
        *error = QObject::tr("Не удалось подготовить параметры подписи: %1").arg(file.errorString());
    return false;
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
    running = true;
    aborted = false;
    scratch = std::make_unique<SigningScratch>();
    dialog->setSigningBusy(true, tr("Подготавливаю документ..."));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (aborted)
        return;
    describeCertificate();
}

QProcess* SigningRun::startChild(const QString& requestPath, bool describe)
{
    auto* process = new QProcess(this);
    child = process;
    children.configure(process, {QStringLiteral("--vorn-sign-file"), requestPath}, "VORN_SIGN_WORKER");
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
        finish(process, false,
               error == QProcess::Crashed ? crashed : tr("Не удалось запустить изолированный процесс подписания."));
    });
    connect(process, &QProcess::finished, this, [process, finish, crashed](int, QProcess::ExitStatus status) {
        finish(process, status == QProcess::NormalExit,
               status == QProcess::CrashExit ? crashed : tr("Подписание завершилось с ошибкой."));
    });
    process->start(QIODevice::ReadWrite);
    return process;
}

// The key material is read by a child first: the certificate it names goes
// on the stamp and into the journal, and a key that cannot sign fails the run
// before any stamped copy exists.
void SigningRun::describeCertificate()
{
    QString error;
    const QString path = scratch->reserve(QStringLiteral("vorn-sign-request-"), QStringLiteral(".json"), &error);
    QJsonObject object = signatureRequestToJson(record.request);
    object.insert(QStringLiteral("describeOnly"), true);
    QFile file(path);
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()
        || !file.flush()) {
        failSigningRun(tr("Подписание"),
                       tr("Не удалось подготовить параметры подписи: %1").arg(path.isEmpty() ? error : file.errorString()));
        return;
    }
    file.close();
    record.requestFilePath = path;
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

void SigningRun::prepareAndSign()
{
    SignatureRequest& request = record.request;
    QString error;
    if (inputIsOpenDocument && (request.mode == EmbeddedPdf || request.mode == StampedPdfDetached)) {
        sourceCopyPath = scratch->reserve(QStringLiteral("vorn-sign-source-"), QStringLiteral(".pdf"), &error);
        const std::shared_ptr<PdfDocument> document = window ? window->documentForReading() : nullptr;
        if (aborted || !dialog)
            return;
        if (sourceCopyPath.isEmpty() || !document || !document->saveCopy(sourceCopyPath)) {
            failSigningRun(tr("Подписание"), tr("Не удалось сохранить текущий документ во временный PDF."));
            return;
        }
    }
    if (request.mode == EmbeddedPdf && inputIsOpenDocument) {
        request.inputPath = sourceCopyPath;
        journalInput = input;  // the copy is gone after the run
    }
    if (request.mode == StampedPdfDetached && !prepareStampedCopy(inputIsOpenDocument ? sourceCopyPath : input))
        return;

    const QString path = scratch->reserve(QStringLiteral("vorn-sign-request-"), QStringLiteral(".json"), &error);
    if (path.isEmpty()) {
        failSigningRun(tr("Подписание"), tr("Не удалось подготовить параметры подписи: %1").arg(error));
        return;
    }
    record.requestFilePath = path;
    if (!writeSignatureRequestFile(request, path, &error)) {
        failSigningRun(tr("Подписание"), error);
        return;
    }
    dialog->setSigningBusy(true, tr("Подписываю документ..."));
    startChild(path, false);
}

bool SigningRun::prepareStampedCopy(const QString& stampSource)
{
    QFile source(stampSource);
    if (!source.open(QIODevice::ReadOnly)) {
        failSigningRun(tr("Подписание"), tr("Не удалось прочитать PDF перед нанесением штампа: %1").arg(source.errorString()));
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&source)) {
        failSigningRun(tr("Подписание"), tr("Не удалось прочитать PDF перед нанесением штампа: %1").arg(source.errorString()));
        return false;
    }
    source.close();
    const QString wanted = stampedPdfPathForSignature(input, record.request.outputPath);
    if (samePath(wanted, input)) {
        failSigningRun(tr("Подписание"), tr("PDF со штампом не должен перезаписывать исходный файл."));
        return false;
    }
    // An earlier stamped copy (perhaps signed already) is never overwritten.
    const QString stamped = uniqueSiblingPathLikeChrome(wanted);
    QString error;
    if (!createStampedPdfCopy(stampSource, stamped, certificate, hash.result(), QDateTime::currentDateTime(),
                              stampOptions, &error)) {
        failSigningRun(tr("Подписание"), error);
        return false;
    }
    record.request.inputPath = stamped;
    record.stampedPdfPath = stamped;
    return true;
}

void SigningRun::finishSigningRun(QProcess* process, bool processOk, const QByteArray& out, const QByteArray& err,
                                  const QString& fallbackText)
{
    if (!claimSigningChildEnd(process))
        return;
    QFile::remove(record.requestFilePath);
    if (!sourceCopyPath.isEmpty())
        QFile::remove(sourceCopyPath);
    QString title;
    QString text;
    const QJsonDocument document = processOk ? QJsonDocument::fromJson(out.trimmed()) : QJsonDocument();
    if (document.isObject()) {
        record.result = signatureResultFromJson(document.object(), record.request.mode);
        if (!record.result.ok) {
            title = tr("Ошибка подписи");
            text = record.result.error.isEmpty() ? fallbackText : record.result.error;
        }
    } else {
        title = tr("Ошибка подписи");
        text = QString::fromUtf8(err).trimmed();
        if (text.isEmpty())
            text = fallbackText;
    }
    record.finalTitle = title;
    record.finalText = text;
    process->deleteLater();
    if (aborted || !dialog)
        return;
    if (!text.isEmpty()) {
        failSigningRun(title, text);
        return;
    }
    succeed();
}

void SigningRun::failSigningRun(const QString& title, const QString& text)
{
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
    scratch.reset();
}

void SigningRun::abort()
{
    aborted = true;
    if (batch)
        batch->cancel();
    if (child) {
        QProcess* process = child;
        claimSigningChildEnd(process);
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
        process->deleteLater();
    }
    if (running)
        end();
}
