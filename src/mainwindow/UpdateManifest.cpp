#include "UpdateManifest.h"

#include "DialogKit.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSettings>
#include <QUrl>
#include <QVersionNumber>

namespace {

const QString kManifestUrlKey = QStringLiteral("updates/manifestUrl");
const QString kChannelKey = QStringLiteral("updates/channel");
const QString kDefaultManifestUrl = QStringLiteral("https://updates.vorn-pdf.ru/updates/latest.json");
const QString kDefaultChannel = QStringLiteral("stable");
const QString kFallbackVersion = QStringLiteral("1.0.1");
// Manifest texts are shown, not trusted: a long one is cut.
constexpr int kMaxShownText = 200;
constexpr double kMaxShownSize = 1e15;  // converts to qint64 without overflow

QString shown(const QString& text)
{
    return text.size() > kMaxShownText ? text.left(kMaxShownText) + QStringLiteral("…") : text;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("UpdateCheck", text);
}

UpdateCheckOutcome outcome(UpdateCheckOutcome::Kind kind, const QString& status, const QString& title,
                           const QString& text)
{
    UpdateCheckOutcome result;
    result.kind = kind;
    result.status = status;
    result.title = title;
    result.text = text;
    return result;
}

QJsonObject channelEntry(const QJsonObject& channels, const QString& configured, const QJsonObject& manifest)
{
    QJsonObject entry = channels.value(configured).toObject();
    if (entry.isEmpty())
        entry = channels.value(manifest.value(QStringLiteral("channel")).toString(kDefaultChannel)).toObject();
    if (entry.isEmpty() && !channels.isEmpty())
        entry = channels.begin().value().toObject();
    return entry;
}

struct Package {
    QString platform;
    QJsonObject entry;
};

Package choosePackage(const QJsonObject& platforms, bool appImage)
{
    for (const QString& key : updatePlatformOrder(appImage)) {
        const QJsonObject entry = platforms.value(key).toObject();
        if (!entry.isEmpty())
            return {key, entry};
    }
    return {};
}

} // namespace

QString updateProductId(AppProduct product)
{
    switch (product) {
    case AppProduct::viewer:
        return QStringLiteral("vorn-pdf-viewer");
    case AppProduct::ecp:
        return QStringLiteral("vorn-ecp");
    default:
        return QStringLiteral("vorn-pdf-editor");
    }
}

QString defaultUpdateManifestUrl()
{
    return kDefaultManifestUrl;
}

UpdateCheckInputs currentUpdateCheckInputs(AppProduct product)
{
    UpdateCheckInputs inputs;
    const QString fromEnvironment = qEnvironmentVariable("VORN_UPDATE_URL").trimmed();
    QSettings settings;
    inputs.manifestUrl = fromEnvironment.isEmpty()
                             ? settings.value(kManifestUrlKey, kDefaultManifestUrl).toString()
                             : fromEnvironment;
    inputs.channel = settings.value(kChannelKey, kDefaultChannel).toString();
    inputs.productId = updateProductId(product);
    inputs.productName = productDisplayName(product);
    inputs.currentVersion = QCoreApplication::applicationVersion();
    if (inputs.currentVersion.isEmpty())
        inputs.currentVersion = kFallbackVersion;
    inputs.appImage = !qEnvironmentVariableIsEmpty("APPIMAGE");
    return inputs;
}

QStringList updatePlatformOrder(bool appImage)
{
    const QString deb = QStringLiteral("linux-amd64-deb");
    const QString rpm = QStringLiteral("linux-amd64-rpm");
    const QString appImageKey = QStringLiteral("linux-amd64-appimage");
    return appImage ? QStringList{appImageKey, deb, rpm} : QStringList{deb, rpm, appImageKey};
}

bool isNewerVersion(const QString& offered, const QString& current)
{
    const QVersionNumber offeredNumber = QVersionNumber::fromString(offered);
    const QVersionNumber currentNumber = QVersionNumber::fromString(current);
    if (!offeredNumber.isNull() && !currentNumber.isNull())
        return QVersionNumber::compare(offeredNumber, currentNumber) > 0;
    return offered.trimmed() > current.trimmed();
}

bool isOpenablePackageUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && parsed.scheme() == QLatin1String("https") && !parsed.host().isEmpty();
}

UpdateCheckOutcome updateNetworkFailure(const QString& error, const UpdateCheckInputs& inputs)
{
    return outcome(UpdateCheckOutcome::NetworkFailure, tr("Не удалось проверить обновления"),
                   tr("Проверка обновлений"),
                   tr("Не удалось получить manifest обновлений:\n%1\n\nURL: %2").arg(error, inputs.manifestUrl));
}

UpdateCheckOutcome evaluateUpdateManifest(const QByteArray& body, const UpdateCheckInputs& inputs)
{
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(body, &parseError);
    if (!json.isObject())
        return outcome(UpdateCheckOutcome::Malformed, tr("Manifest обновлений повреждён"), tr("Проверка обновлений"),
                       tr("Manifest обновлений не удалось прочитать: %1").arg(parseError.errorString()));
    const QJsonObject manifest = json.object();
    const QJsonObject productEntry =
        manifest.value(QStringLiteral("products")).toObject().value(inputs.productId).toObject();
    if (productEntry.isEmpty())
        return outcome(UpdateCheckOutcome::NoProduct, QString(), tr("Проверка обновлений"),
                       tr("В manifest нет данных для продукта %1.\nURL: %2").arg(inputs.productName, inputs.manifestUrl));

    const QJsonObject channel =
        channelEntry(productEntry.value(QStringLiteral("channels")).toObject(), inputs.channel, manifest);
    const Package package = choosePackage(channel.value(QStringLiteral("platforms")).toObject(), inputs.appImage);
    if (package.entry.isEmpty())
        return outcome(UpdateCheckOutcome::NoPackage, QString(), tr("Проверка обновлений"),
                       tr("Для этой платформы пока нет пакета обновления.\nТекущая версия: %1\nURL: %2")
                           .arg(inputs.currentVersion, inputs.manifestUrl));

    const QJsonValue versionValue = package.entry.value(QStringLiteral("version"));
    const QString offered = versionValue.isString()
                                ? versionValue.toString()
                                : productEntry.value(QStringLiteral("latestVersion")).toString();
    const QString url = package.entry.value(QStringLiteral("url")).toString();
    const QString type = shown(package.entry.value(QStringLiteral("type")).toString());
    const QString sha256 = shown(package.entry.value(QStringLiteral("sha256")).toString());
    const double sizeValue = package.entry.value(QStringLiteral("size")).toDouble();
    const qint64 size = sizeValue > 0 ? qint64(qMin(sizeValue, kMaxShownSize)) : 0;

    if (!isNewerVersion(offered, inputs.currentVersion))
        return outcome(UpdateCheckOutcome::UpToDate, tr("Установлена актуальная версия"), tr("Обновлений нет"),
                       tr("Установлена актуальная версия %1.\nПроверенный канал: %2\nПакет платформы: %3 · %4")
                           .arg(inputs.currentVersion, inputs.channel, package.platform, type));

    UpdateCheckOutcome result = outcome(
        UpdateCheckOutcome::UpdateAvailable, tr("Доступно обновление %1").arg(shown(offered)),
        tr("Доступно обновление"),
        tr("Продукт: %1\nТекущая версия: %2\nДоступная версия: %3\nПакет: %4 · %5\nРазмер: %6\nSHA-256: %7")
            .arg(inputs.productName, inputs.currentVersion, shown(offered), package.platform, type,
                 formatFileSize(size), sha256));
    if (isOpenablePackageUrl(url))
        result.link = url;
    else if (!url.isEmpty())
        result.text += tr("\nАдрес пакета (не открывается, нужен https): %1").arg(shown(url));
    return result;
}
