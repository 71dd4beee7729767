// signFile: CMS signatures of a file (modes 0-3) and the embedded PDF
// signature (mode 4), with key material from files. Modes 0-3 read the input
// once, in pieces, through OpenSSL; only an attached signature holds it in
// memory. The embedded signature reads the PDF in pieces too (to sign it,
// copy it and check the result), never whole.
#include "SignatureService.h"

#include "NewFile.h"
#include "RegularFile.h"
#include "SigningInternal.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSettings>

#include <sys/stat.h>

namespace {

constexpr qint64 kCopyPiece = 1024 * 1024;

SignatureResult failed(SignatureResult result, const QString& error)
{
    result.ok = false;
    result.error = error;
    return result;
}

QString tooLargeText()
{
    return QObject::tr("Файл слишком большой для текущего режима подписи в памяти.");
}

// Whether the output names the open input itself, by whatever spelling,
// link or hard link: the same file on the same device. An output that does
// not exist yet is another file.
bool outputIsInput(const QFile& input, const QString& outputPath)
{
    const QByteArray name = QFile::encodeName(outputPath);
    struct stat in {};
    struct stat out {};
    return !name.isEmpty() && ::fstat(input.handle(), &in) == 0 && ::stat(name.constData(), &out) == 0
           && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Which files signed, for the certificate list. Pass phrases never.
void rememberKeyFiles(const SignatureRequest& request)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("signing/linux"));
    if (!request.pkcs12Path.trimmed().isEmpty()) {
        settings.setValue(QStringLiteral("pkcs12Path"), request.pkcs12Path);
        settings.remove(QStringLiteral("certificatePath"));
        settings.remove(QStringLiteral("privateKeyPath"));
    } else {
        settings.setValue(QStringLiteral("certificatePath"), request.certificatePath);
        settings.setValue(QStringLiteral("privateKeyPath"), request.privateKeyPath);
        settings.remove(QStringLiteral("pkcs12Path"));
    }
    settings.endGroup();
    settings.sync();
}

// SHA-256 of the whole input for a result that signs nothing; empty when it
// cannot be read or is larger than any input signed.
QByteArray inputDigest(QFile* input)
{
    Sha256 hash;
    if (input->isSequential() ? input->pos() != 0 : !input->seek(0))
        return {};
    qint64 total = 0;
    for (;;) {
        const QByteArray piece = input->read(kCopyPiece);
        if (piece.isEmpty())
            return input->error() == QFileDevice::NoError ? hash.result() : QByteArray();
        total += piece.size();
        if (total > kLargestSignedInput)
            return {};
        hash.add(piece);
    }
}

// Why reading the input for the signature stopped early.
QString readFailure(QFile* input, BIO* source)
{
    if (deviceBioBytes(source) > kLargestSignedInput)
        return tooLargeText();
    return QObject::tr("Не удалось открыть исходный файл: %1").arg(input->errorString());
}

// The signature's DER straight into a new output under a free name.
bool writeSignature(CMS_ContentInfo* cms, const QString& wanted, NewFile* output, QString* error)
{
    QString reason;
    if (!output->open(wanted, &reason)) {
        *error = QObject::tr("Не удалось записать подпись: %1").arg(reason);
        return false;
    }
    const BioPtr sink = deviceBio(output->device());
    if (!sink || i2d_CMS_bio(sink.get(), cms) != 1) {
        *error = sink && deviceBioFailed(sink.get())
            ? QObject::tr("Не удалось записать подпись: %1").arg(output->device()->errorString())
            : QObject::tr("OpenSSL не смог сериализовать CMS подпись: %1").arg(opensslErrorText());
        return false;
    }
    if (deviceBioBytes(sink.get()) == 0) {
        *error = QObject::tr("OpenSSL вернул пустую подпись.");
        return false;
    }
    if (!output->commit(&reason)) {
        *error = QObject::tr("Не удалось записать подпись: %1").arg(reason);
        return false;
    }
    return true;
}

// A success names the file it wrote, under whatever free name it took.
void succeeded(SignatureResult* result, const NewFile& output)
{
    result->ok = true;
    result->error.clear();
    result->outputPath = output.path();
    result->outputSize = QFileInfo(output.path()).size();
    result->outputIdentity = output.identity();
}

SignatureResult signCms(const SignatureRequest& request, QFile* input, SignatureResult result)
{
    const auto refuse = [&](const QString& error) {
        result.documentSha256 = inputDigest(input);
        return failed(result, error);
    };
    KeyMaterial material;
    QString error;
    if (!loadCheckedKeyMaterial(request, &material, nullptr, &error))
        return refuse(error);
    result.signer = x509NameToString(X509_get_subject_name(material.cert.get()));
    if (request.mode == CadesT)
        return refuse(QObject::tr("CAdES-T на Linux требует CryptoPro CSP/утилиту CAdESCOM-совместимого "
                                  "провайдера. Сейчас Linux-ветка умеет CMS/CAdES-BES через OpenSSL."));

    // One pass: the signature's own digest is the file's SHA-256 when the
    // key signs with SHA-256; otherwise a SHA-256 reads along.
    const bool ownDigest = !signsWithSha256(material.key.get());
    BioPtr source = deviceBio(input, kLargestSignedInput);
    BioPtr digest(ownDigest ? BIO_new(BIO_f_md()) : nullptr);
    if (!source || (ownDigest && (!digest || BIO_set_md(digest.get(), EVP_sha256()) != 1)))
        return refuse(QObject::tr("OpenSSL не смог подготовить данные для подписи: %1").arg(opensslErrorText()));
    BIO* const sourceBio = source.get();
    BIO* const digestBio = digest.get();
    const BioPtr data(ownDigest ? BIO_push(digest.release(), source.release()) : source.release());
    const CmsPtr cms = cadesSignature(material, data.get(), request.mode == AttachedCms, &error);
    if (deviceBioFailed(sourceBio)) {
        opensslErrorText();
        return failed(result, readFailure(input, sourceBio));
    }
    if (!cms)
        return refuse(error);
    if (ownDigest) {
        unsigned char sha256[EVP_MAX_MD_SIZE] = {};
        const int length = BIO_gets(digestBio, reinterpret_cast<char*>(sha256), sizeof sha256);
        result.documentSha256 = QByteArray(reinterpret_cast<const char*>(sha256), qMax(length, 0));
    } else {
        result.documentSha256 = signedSha256(cms.get());
    }
    NewFile output;
    if (!writeSignature(cms.get(), request.outputPath, &output, &error))
        return failed(result, error);
    rememberKeyFiles(request);
    succeeded(&result, output);
    return result;
}

// All of data, or false: a short write (a full disk, a file-size limit)
// is followed by one that fails with the reason.
bool writeWhole(QFileDevice* file, const char* data, qint64 size)
{
    for (qint64 written = 0; written < size;) {
        const qint64 step = file->write(data + written, size - written);
        if (step <= 0)
            return false;
        written += step;
    }
    return true;
}

// The source and then the update into the output, with the SHA-256 of all.
bool writeSignedPdf(QFile* source, const PdfSignatureShell& shell, QFileDevice* output, QByteArray* sha256)
{
    Sha256 hash;
    if (!source->seek(0))
        return false;
    for (qint64 done = 0; done < shell.sourceSize;) {
        const QByteArray piece = source->read(qMin(kCopyPiece, shell.sourceSize - done));
        if (piece.isEmpty() || !writeWhole(output, piece.constData(), piece.size()))
            return false;
        hash.add(piece);
        done += piece.size();
    }
    hash.add(shell.update);
    *sha256 = hash.result();
    return writeWhole(output, shell.update.constData(), shell.update.size());
}

void signEmbeddedPdf(const SignatureRequest& request, QFile* input, SignatureResult* result)
{
    const auto fail = [&](const QString& error) {
        result->ok = false;
        result->error = error;
        result->documentSha256 = inputDigest(input);
    };
    if (QFileInfo(request.inputPath).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return fail(QObject::tr("Встроенная подпись доступна только для PDF."));
    PdfSignatureShell shell;
    QString error;
    if (!preparePdfSignatureShell(input, QString(), &shell, &error))
        return fail(error);
    KeyMaterial material;
    if (!loadCheckedKeyMaterial(request, &material, nullptr, &error))
        return fail(error);
    result->signer = x509NameToString(X509_get_subject_name(material.cert.get()));

    // Everything but the reserve, "<" and ">" included, is signed.
    const SplicedFile signedFile(input, shell.sourceSize, shell.update);
    const qint64 afterReserve = shell.contentsOffset + shell.contentsLength + 1;
    const BioPtr covered =
        rangesBio(&signedFile, {{0, shell.contentsOffset - 1}, {afterReserve, signedFile.size() - afterReserve}});
    const CmsPtr cms = covered ? cadesSignature(material, covered.get(), false, &error) : nullptr;
    if (covered && rangesBioFailed(covered.get()))
        return fail(QObject::tr("Не удалось открыть исходный файл: %1").arg(input->errorString()));
    if (!cms)
        return fail(error);
    const QByteArray der = cmsDer(cms.get(), &error);
    if (der.isEmpty() || !embedSignature(&shell, der, &error))
        return fail(error);

    NewFile output;
    QByteArray sha256;
    QString reason;
    if (!output.open(request.outputPath, &reason))
        return fail(QObject::tr("Не удалось записать PDF со встроенной подписью: %1").arg(reason));
    if (!writeSignedPdf(input, shell, output.device(), &sha256)) {
        reason = output.device()->error() != QFileDevice::NoError ? output.device()->errorString()
                                                                  : input->errorString();
        return fail(QObject::tr("Не удалось записать PDF со встроенной подписью: %1").arg(reason));
    }
    // Checked before it takes a name: a document the update broke is never
    // reported as signed.
    if (!checkSignedPdf(input, shell, &error))
        return fail(QObject::tr("Подписанный PDF не прошёл проверку, файл не записан: %1").arg(error));
    if (!output.commit(&reason))
        return fail(QObject::tr("Не удалось записать PDF со встроенной подписью: %1").arg(reason));
    rememberKeyFiles(request);
    succeeded(result, output);
    result->documentSha256 = sha256;
}

} // namespace

bool embedSignature(PdfSignatureShell* shell, const QByteArray& der, QString* error)
{
    const QByteArray hex = der.toHex().toUpper();
    const qint64 at = shell->contentsOffset - shell->sourceSize;
    if (hex.size() > shell->contentsLength || at < 0 || at + shell->contentsLength > shell->update.size()) {
        *error = QObject::tr("CMS-подпись слишком большая для зарезервированного поля PDF.");
        return false;
    }
    shell->update.replace(at, hex.size(), hex);
    return true;
}

bool SignatureService::describeSigningCertificate(const SignatureRequest& request, SigningCertificate* certificate,
                                                  QString* error)
{
    KeyMaterial material;
    QString text;
    bool revocationChecked = false;
    if (!loadCheckedKeyMaterial(request, &material, &revocationChecked, &text)) {
        if (error)
            *error = text;
        return false;
    }
    if (error)
        error->clear();
    if (certificate) {
        const bool container = !request.pkcs12Path.trimmed().isEmpty();
        *certificate = certificateInfoFromX509(material.cert.get(),
                                               container ? request.pkcs12Path : request.certificatePath);
        // What the checks above established.
        certificate->privateKeyUsable = true;
        certificate->revocationChecked = revocationChecked;
        certificate->available = true;
    }
    return true;
}

SignatureResult SignatureService::signFile(const SignatureRequest& request)
{
    SignatureResult result;
    result.mode = request.mode;
    result.outputPath = request.outputPath;
    result.signedAt = QDateTime::currentDateTime();

    // A device or a FIFO is refused before it is read; the size is bounded
    // before reading too.
    QFile input;
    QString openError;
    const RegularFile::Outcome opened = RegularFile::open(request.inputPath, kLargestSignedInput, &input, &openError);
    if (opened == RegularFile::TooLarge)
        return failed(result, tooLargeText());
    if (opened != RegularFile::Opened)
        return failed(result, QObject::tr("Не удалось открыть исходный файл: %1").arg(openError));
    if (outputIsInput(input, request.outputPath)) {
        result.documentSha256 = inputDigest(&input);
        return failed(result, QObject::tr("Результат подписи не должен перезаписывать исходный файл."));
    }
    if (request.mode == EmbeddedPdf) {
        signEmbeddedPdf(request, &input, &result);
        return result;
    }
    if (request.mode < DetachedCms || request.mode > EmbeddedPdf) {
        result.documentSha256 = inputDigest(&input);
        return failed(result, QObject::tr("Этот режим подписи будет включён следующим этапом. Сейчас доступны "
                                          "отделённая и присоединённая CMS/CAdES-BES."));
    }
    return signCms(request, &input, result);
}

bool SignatureService::pdfReadsWithoutRepair(const QString& path)
{
    QFile source;
    return RegularFile::open(path, kLargestSignedInput, &source, nullptr) == RegularFile::Opened
        && ::pdfReadsWithoutRepair(&source);
}
