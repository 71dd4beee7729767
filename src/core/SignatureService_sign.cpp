// signFile: CMS signatures of a file (modes 0-3) and the embedded PDF
// signature (mode 4), with key material from files.
#include "SignatureService.h"

#include "RegularFile.h"
#include "SigningInternal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryFile>

namespace {

constexpr int kDetachedFlags = CMS_DETACHED | CMS_BINARY;
constexpr int kAttachedFlags = CMS_BINARY;

SignatureResult failed(SignatureResult result, const QString& error)
{
    result.ok = false;
    result.error = error;
    return result;
}

struct KeyMaterial {
    X509Ptr cert;
    EvpPkeyPtr key;
};

bool loadKeyMaterial(const SignatureRequest& request, KeyMaterial* material, QString* error)
{
    if (!request.pkcs12Path.trimmed().isEmpty())
        return loadPkcs12(request.pkcs12Path, request.pkcs12Password, &material->cert, &material->key, error);
    if (request.certificatePath.trimmed().isEmpty() || request.privateKeyPath.trimmed().isEmpty()) {
        *error = QObject::tr("Для Linux укажите PEM-сертификат и закрытый ключ либо P12/PFX контейнер.");
        return false;
    }
    return loadPemCertificate(request.certificatePath, &material->cert, error)
        && loadPemPrivateKey(request.privateKeyPath, request.keyPassword, &material->key, error);
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

// The DER CMS structure over data, or an error. der views the memory of
// holder, so an enclosed large content is not copied once more.
bool cmsSignature(const KeyMaterial& material, const QByteArray& data, int flags, BioPtr* holder, QByteArray* der,
                  QString* error)
{
    BioPtr input(BIO_new_mem_buf(data.constData(), int(data.size())));
    if (!input) {
        *error = QObject::tr("OpenSSL не смог подготовить данные для подписи: %1").arg(opensslErrorText());
        return false;
    }
    const CmsPtr cms(CMS_sign(material.cert.get(), material.key.get(), nullptr, input.get(), unsigned(flags)));
    input.reset();
    if (!cms) {
        *error = QObject::tr("OpenSSL не смог создать CMS подпись: %1").arg(opensslErrorText());
        return false;
    }
    BioPtr output(BIO_new(BIO_s_mem()));
    if (!output || i2d_CMS_bio(output.get(), cms.get()) != 1) {
        *error = QObject::tr("OpenSSL не смог сериализовать CMS подпись: %1").arg(opensslErrorText());
        return false;
    }
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(output.get(), &bytes);
    *der = length > 0 && bytes ? QByteArray::fromRawData(bytes, qsizetype(length)) : QByteArray();
    *holder = std::move(output);
    if (der->isEmpty()) {
        *error = QObject::tr("OpenSSL вернул пустую подпись.");
        return false;
    }
    return true;
}

// The key material of the request with the checks every signature needs:
// valid now, the key matching, and the chain and revocation check when the
// settings ask for it at signing. revocationChecked, when given, tells
// whether that check ran.
bool loadCheckedKeyMaterial(const SignatureRequest& request, KeyMaterial* material, bool* revocationChecked,
                            QString* error)
{
    if (!loadKeyMaterial(request, material, error))
        return false;
    if (!certificateValidNow(material->cert.get())) {
        *error = QObject::tr("Сертификат просрочен или ещё не начал действовать.");
        return false;
    }
    if (X509_check_private_key(material->cert.get(), material->key.get()) != 1) {
        *error = QObject::tr("Закрытый ключ не соответствует сертификату: %1").arg(opensslErrorText());
        return false;
    }
    if (signingRevocationMode() == QLatin1String("sign")) {
        QString message;
        if (!linuxCertificateTrustAndRevocationOk(material->cert.get(), &message)) {
            *error = QObject::tr("Сертификат не прошёл проверку цепочки/отзыва: %1").arg(message);
            return false;
        }
        if (revocationChecked)
            *revocationChecked = true;
    }
    return true;
}

SignatureResult signCms(const SignatureRequest& request, const QByteArray& bytes, SignatureResult result,
                        bool rememberKeys)
{
    KeyMaterial material;
    QString error;
    if (!loadCheckedKeyMaterial(request, &material, nullptr, &error))
        return failed(result, error);
    result.signer = x509NameToString(X509_get_subject_name(material.cert.get()));
    if (request.mode == CadesT)
        return failed(result, QObject::tr("CAdES-T на Linux требует CryptoPro CSP/утилиту CAdESCOM-совместимого "
                                          "провайдера. Сейчас Linux-ветка умеет CMS/CAdES-BES через OpenSSL."));
    BioPtr holder;
    QByteArray der;
    const int flags = request.mode == AttachedCms ? kAttachedFlags : kDetachedFlags;
    if (!cmsSignature(material, bytes, flags, &holder, &der, &error))
        return failed(result, error);
    QString writeError;
    if (!writeFileAtomically(request.outputPath, der, &writeError))
        return failed(result, QObject::tr("Не удалось записать подпись: %1").arg(writeError));
    if (rememberKeys)
        rememberKeyFiles(request);
    result.ok = true;
    result.outputSize = QFileInfo(request.outputPath).size();
    return result;
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* errorText)
{
    // Unbuffered, so a short write (a full disk, a file-size limit) shows
    // here instead of passing unnoticed through the buffer's flush.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *errorText = file.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 step = file.write(data.constData() + written, data.size() - written);
        if (step <= 0) {
            *errorText = file.errorString();
            file.cancelWriting();
            return false;
        }
        written += step;
    }
    if (!file.commit()) {
        *errorText = file.errorString();
        return false;
    }
    return true;
}

bool embedSignature(PdfSignatureShell* shell, const QByteArray& der, QString* error)
{
    const QByteArray hex = der.toHex().toUpper();
    if (hex.size() > shell->contentsLength) {
        *error = QObject::tr("CMS-подпись слишком большая для зарезервированного поля PDF.");
        return false;
    }
    shell->pdf.replace(shell->contentsOffset, hex.size(), hex);
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
    return signFileRemembering(request, true);
}

// rememberKeys false: the caller remembers the key files once its own
// output is written.
SignatureResult signFileRemembering(const SignatureRequest& request, bool rememberKeys)
{
    SignatureResult result;
    result.mode = request.mode;
    result.outputPath = request.outputPath;
    result.signedAt = QDateTime::currentDateTime();

    // The whole input is held in memory: its size is bounded before it is read.
    QByteArray bytes;
    QString readError;
    const RegularFile::Outcome read = RegularFile::read(request.inputPath, kLargestSignedInput, &bytes, &readError);
    if (read == RegularFile::TooLarge)
        return failed(result, QObject::tr("Файл слишком большой для текущего режима подписи в памяти."));
    if (read != RegularFile::Opened)
        return failed(result, QObject::tr("Не удалось открыть исходный файл: %1").arg(readError));
    result.documentSha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);

    if (request.mode == EmbeddedPdf) {
        signEmbeddedPdf(request, std::move(bytes), &result);
        return result;
    }
    if (request.mode < DetachedCms || request.mode > EmbeddedPdf)
        return failed(result, QObject::tr("Этот режим подписи будет включён следующим этапом. Сейчас доступны "
                                          "отделённая и присоединённая CMS/CAdES-BES."));
    return signCms(request, bytes, result, rememberKeys);
}

void signEmbeddedPdf(const SignatureRequest& request, QByteArray bytes, SignatureResult* result)
{
    const auto fail = [result](const QString& error) {
        result->ok = false;
        result->error = error;
    };
    if (QFileInfo(request.inputPath).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return fail(QObject::tr("Встроенная подпись доступна только для PDF."));
    PdfSignatureShell shell;
    QString error;
    if (!preparePdfSignatureShell(bytes, QString(), &shell, &error))
        return fail(error);
    bytes = QByteArray();

    QTemporaryFile covered(QDir::tempPath() + QStringLiteral("/vorn-pdf-byterange-XXXXXX.bin"));
    if (!covered.open() || covered.write(shell.signedBytes) != shell.signedBytes.size() || !covered.flush())
        return fail(QObject::tr("Не удалось подготовить временные данные PDF для подписи."));
    covered.close();
    // A short write (a full temporary folder) would be signed as if whole.
    if (QFileInfo(covered.fileName()).size() != shell.signedBytes.size())
        return fail(QObject::tr("Не удалось подготовить временные данные PDF для подписи."));
    shell.signedBytes = QByteArray();
    QTemporaryFile signature(QDir::tempPath() + QStringLiteral("/vorn-pdf-signature-XXXXXX.sig"));
    if (!signature.open())
        return fail(QObject::tr("Не удалось подготовить временный файл подписи PDF."));
    signature.close();

    SignatureRequest inner = request;
    inner.inputPath = covered.fileName();
    inner.outputPath = signature.fileName();
    inner.mode = DetachedCms;
    const SignatureResult signedRanges = signFileRemembering(inner, false);
    result->signer = signedRanges.signer;
    if (!signedRanges.ok)
        return fail(signedRanges.error);

    QFile der(signature.fileName());
    if (!der.open(QIODevice::ReadOnly))
        return fail(QObject::tr("Не удалось прочитать CMS-подпись для встраивания в PDF."));
    if (!embedSignature(&shell, der.readAll(), &error))
        return fail(error);

    QString writeError;
    if (!writeFileAtomically(request.outputPath, shell.pdf, &writeError))
        return fail(QObject::tr("Не удалось записать PDF со встроенной подписью: %1").arg(writeError));
    rememberKeyFiles(request);
    result->ok = true;
    result->error.clear();
    result->outputSize = QFileInfo(request.outputPath).size();
    result->documentSha256 = QCryptographicHash::hash(shell.pdf, QCryptographicHash::Sha256);
}
