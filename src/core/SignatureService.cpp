// The signing service's records and listing; signFile lives in
// SignatureService_sign.cpp.
#include "SignatureService.h"

#include "SigningInternal.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QSettings>

namespace {

const QString kLinuxGroup = QStringLiteral("signing/linux");

QString notYetValidText()
{
    return QObject::tr("сертификат просрочен или ещё не действует");
}

// The checks a listed certificate gets besides what it says of itself.
void completeEntry(SigningCertificate* info, X509* cert, EVP_PKEY* key, bool search)
{
    info->privateKeyUsable = X509_check_private_key(cert, key) == 1;
    if (!info->privateKeyUsable)
        opensslErrorText();  // keeps the mismatch out of later texts
    if (search && info->validNow) {
        QString message;
        const bool ok = linuxCertificateTrustAndRevocationOk(cert, &message);
        info->revocationChecked = ok;
        info->revoked = !ok;
        info->validationStatus = message;
    } else if (search) {
        info->revocationChecked = false;
        info->revoked = true;
        info->validationStatus = notYetValidText();
    } else {
        info->revocationChecked = info->revoked = false;
        info->validationStatus = info->validNow ? QString() : notYetValidText();
    }
    if (!info->privateKeyUsable)
        info->unavailableReason = QObject::tr("закрытый ключ не соответствует сертификату");
    else if (!info->validNow)
        info->unavailableReason = QObject::tr("сертификат просрочен или ещё не начал действовать");
    else if (info->revoked)
        info->unavailableReason = info->validationStatus;
    info->available = info->unavailableReason.isEmpty();
}

bool configured(const QString& path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

// Why nothing is listed: key material that waits for its pass phrase is
// named, before the advice to choose some.
QString emptyListReason(const QString& pkcs12Path, const QString& certificatePath, const QString& privateKeyPath)
{
    if (configured(pkcs12Path) && keyFileNeedsPassPhrase(pkcs12Path, true))
        return QObject::tr("P12/PFX контейнер защищён паролем: введите пароль контейнера в окне подписи.");
    if (configured(certificatePath) && configured(privateKeyPath) && keyFileNeedsPassPhrase(privateKeyPath, false))
        return QObject::tr("Закрытый ключ PEM защищён паролем: введите пароль ключа в окне подписи.");
    return QObject::tr("Для Linux выберите PEM certificate/key или P12/PFX контейнер в окне подписи.");
}

} // namespace

QString SignatureService::modeDisplayName(SignatureMode mode)
{
    switch (int(mode)) {
    case DetachedCms:
        return QObject::tr("Отделённая CMS/CAdES-BES (*.sig)");
    case AttachedCms:
        return QObject::tr("Присоединённая CMS/CAdES-BES (*.p7m)");
    case CadesT:
        return QObject::tr("CAdES-T со штампом времени");
    case StampedPdfDetached:
        return QObject::tr("PDF со штампом + отделённая подпись");
    case EmbeddedPdf:
        return QObject::tr("PDF со встроенной подписью");
    default:
        return QObject::tr("Подпись");
    }
}

QString SignatureService::defaultOutputPath(const QString& inputPath, SignatureMode mode)
{
    const QFileInfo info(inputPath);
    QString folder = info.absolutePath();
    if (folder.isEmpty())
        folder = QDir::homePath();
    QString base = info.completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("document");
    const QDir dir(folder);
    if (mode == AttachedCms)
        return dir.filePath(base + QStringLiteral(".p7m"));
    if (mode == EmbeddedPdf)
        return dir.filePath(base + QStringLiteral(".signed.pdf"));
    return dir.filePath(info.fileName() + QStringLiteral(".sig"));
}

bool SignatureService::isNativeSigningAvailable()
{
    return true;
}

QList<SigningCertificate> SignatureService::availableCertificates(QString* error)
{
    if (error)
        error->clear();
    const bool search = signingRevocationMode() == QLatin1String("search");
    QSettings settings;
    settings.beginGroup(kLinuxGroup);
    const QString certificatePath = settings.value(QStringLiteral("certificatePath")).toString();
    const QString privateKeyPath = settings.value(QStringLiteral("privateKeyPath")).toString();
    const QString pkcs12Path = settings.value(QStringLiteral("pkcs12Path")).toString();
    settings.endGroup();

    QList<SigningCertificate> list;
    if (configured(pkcs12Path)) {
        X509Ptr cert;
        EvpPkeyPtr key;
        if (loadPkcs12(pkcs12Path, QString(), &cert, &key, nullptr)) {
            SigningCertificate info = certificateInfoFromX509(cert.get(), pkcs12Path);
            completeEntry(&info, cert.get(), key.get(), search);
            list << info;
        }
    }
    if (configured(certificatePath) && configured(privateKeyPath)) {
        X509Ptr cert;
        EvpPkeyPtr key;
        if (loadPemCertificate(certificatePath, &cert, nullptr)
            && loadPemPrivateKey(privateKeyPath, QString(), &key, nullptr)) {
            SigningCertificate info = certificateInfoFromX509(cert.get(), certificatePath);
            completeEntry(&info, cert.get(), key.get(), search);
            list << info;
        }
    }
    if (list.isEmpty() && error)
        *error = emptyListReason(pkcs12Path, certificatePath, privateKeyPath);
    return list;
}

bool SignatureService::checkCertificateRevocation(const QString& certificateId, QString* status)
{
    Q_UNUSED(certificateId);
    if (status)
        *status = QStringLiteral("изолированная проверка отзыва используется только на Windows");
    return false;
}

QStringList SignatureService::linuxProviderDiagnostics()
{
    return providerDiagnostics(ProviderProbeSetup());
}
