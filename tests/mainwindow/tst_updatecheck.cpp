// The update check: reading the manifest, choosing channel and package,
// comparing versions, the network outcomes against a local server, and the
// result window that never offers or opens what a tampered reply names.
#include "ManifestServer.h"
#include "PromptDriver.h"
#include "UpdateCheck.h"
#include "UpdateResultDialog.h"
#include "WindowTestSupport.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>

#include <optional>

using namespace windowtest;

namespace {

// A package at an https address unless url is given.
QJsonObject package(const QString& version, const QString& url = QString(), const QString& type = QStringLiteral("deb"))
{
    QJsonObject entry{{"url", url.isNull() ? QStringLiteral("https://example.org/vorn.deb") : url}, {"type", type}, {"sha256", "ab12"}, {"size", 1536}};
    if (!version.isNull())
        entry.insert("version", version);
    return entry;
}

QByteArray manifestWith(const QJsonObject& channels, const QJsonObject& top = {},
                        const QString& product = QStringLiteral("vorn-pdf-editor"), const QString& latest = {})
{
    QJsonObject productEntry{{"channels", channels}};
    if (!latest.isNull())
        productEntry.insert("latestVersion", latest);
    QJsonObject manifest = top;
    manifest.insert("products", QJsonObject{{product, productEntry}});
    return QJsonDocument(manifest).toJson();
}

QJsonObject platformsIn(const QString& channel, const QJsonObject& platforms)
{
    return QJsonObject{{channel, QJsonObject{{"platforms", platforms}}}};
}

QByteArray debManifest(const QString& version, const QString& url = QStringLiteral("https://example.org/vorn.deb"),
                       const QString& type = QStringLiteral("deb"))
{
    return manifestWith(platformsIn("stable", {{"linux-amd64-deb", package(version, url, type)}}));
}

UpdateCheckInputs inputs(const QString& channel = QStringLiteral("stable"), bool appImage = false)
{
    UpdateCheckInputs in;
    in.manifestUrl = QStringLiteral("https://updates.test/updates/latest.json");
    in.channel = channel;
    in.productId = QStringLiteral("vorn-pdf-editor");
    in.productName = QStringLiteral("ВОРН PDF Редактор");
    in.currentVersion = QStringLiteral("1.0.1");
    in.appImage = appImage;
    return in;
}

// The links handed to the desktop, by scheme.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// The window's check against server, shown; its result window.
UpdateResultDialog* checkAgainst(MainWindow& window, const ManifestServer& server)
{
    qputenv("VORN_UPDATE_URL", server.url().toUtf8());
    showSmall(window);
    window.checkForUpdates();
    UpdateResultDialog* found = nullptr;
    // The check ends by its own 15 s limit at the latest.
    const bool shown = QTest::qWaitFor([&] {
        found = window.findChild<UpdateResultDialog*>();
        return found && found->isVisible();
    }, 75000);
    return shown ? found : nullptr;
}

// The outcome of one check, waited for.
UpdateCheckOutcome runCheck(const UpdateCheckInputs& in, int timeoutMs, QObject* parent)
{
    auto* check = new UpdateCheck(in, parent);
    std::optional<UpdateCheckOutcome> outcome;
    QObject::connect(check, &UpdateCheck::finished, parent, [&outcome](const UpdateCheckOutcome& o) { outcome = o; });
    check->start(timeoutMs);
    // The check ends by its own time-out at the latest.
    if (!QTest::qWaitFor([&] { return outcome.has_value(); }, timeoutMs + 60000))
        qFatal("update check did not end");
    return *outcome;
}

QString windowText(QDialog* dialog)
{
    return dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
}

} // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void versions_data();
    void versions();
    void outcomes_data();
    void outcomes();
    void platformOrder();
    void manifestAddress_data();
    void manifestAddress();
    void productPerEdition();
    void tamperedLinks_data();
    void tamperedLinks();

    void fetchesWithUserAgent();
    void failedTransfers_data();
    void failedTransfers();

    void updateWindowOpensPackage();
    void windowShowsManifestTextsPlain();
    void windowWithoutSafeLinkOffersNothing();
    void stoppedServerTellsNetworkError();

private:
    UrlRecorder m_urls;
};

void UpdateCheckTest::initTestCase()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_urls, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_urls, "open");
}

void UpdateCheckTest::cleanupTestCase()
{
    for (const char* scheme : {"https", "http", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void UpdateCheckTest::init()
{
    isolateSettings();
    m_urls.opened.clear();
    qunsetenv("VORN_UPDATE_URL");
    qunsetenv("APPIMAGE");
}

void UpdateCheckTest::cleanup()
{
    qunsetenv("VORN_UPDATE_URL");
    qunsetenv("APPIMAGE");
}

void UpdateCheckTest::versions_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("newer");

    QTest::newRow("numeric, not text order") << "1.0.10" << "1.0.9" << true;
    QTest::newRow("older") << "1.0.9" << "1.0.10" << false;
    QTest::newRow("equal") << "1.0.1" << "1.0.1" << false;
    QTest::newRow("shorter but newer") << "1.1" << "1.0.1" << true;
    QTest::newRow("suffix ignored") << "1.0.1-beta" << "1.0.1" << false;
    QTest::newRow("empty offered") << "" << "1.0.1" << false;
    QTest::newRow("text against number") << "next" << "1.0.1" << true;
    QTest::newRow("text, trimmed") << " b " << "a" << true;
}

void UpdateCheckTest::versions()
{
    QFETCH(QString, offered);
    QFETCH(QString, current);
    QFETCH(bool, newer);
    QCOMPARE(isNewerVersion(offered, current), newer);
}

void UpdateCheckTest::outcomes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("channel");
    QTest::addColumn<bool>("appImage");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("text");

    using O = UpdateCheckOutcome;
    const QString url = inputs().manifestUrl;
    QTest::newRow("update") << debManifest("1.1") << "stable" << false << int(O::UpdateAvailable)
                            << "Доступно обновление 1.1"
                            << "Продукт: ВОРН PDF Редактор\nТекущая версия: 1.0.1\nДоступная версия: 1.1\n"
                               "Пакет: linux-amd64-deb · deb\nРазмер: 1.5 КБ\nSHA-256: ab12";
    QTest::newRow("same version") << debManifest("1.0.1") << "stable" << false << int(O::UpToDate)
                                  << "Установлена актуальная версия"
                                  << "Установлена актуальная версия 1.0.1.\nПроверенный канал: stable\n"
                                     "Пакет платформы: linux-amd64-deb · deb";
    QTest::newRow("top-level channel used, configured one named")
        << manifestWith(platformsIn("lts", {{"linux-amd64-rpm", package("1.0.0", {}, "rpm")}}), {{"channel", "lts"}})
        << "beta" << false << int(O::UpToDate) << "Установлена актуальная версия"
        << "Установлена актуальная версия 1.0.1.\nПроверенный канал: beta\nПакет платформы: linux-amd64-rpm · rpm";
    QTest::newRow("first channel when none named matches")
        << manifestWith(QJsonObject{{"b", QJsonObject{{"platforms", QJsonObject{{"linux-amd64-deb", package("9")}}}}},
                                    {"a", QJsonObject{{"platforms", QJsonObject{{"linux-amd64-deb", package("2")}}}}}})
        << "beta" << false << int(O::UpdateAvailable) << "Доступно обновление 2" << QString();
    QTest::newRow("AppImage first when run from one")
        << manifestWith(platformsIn("stable", {{"linux-amd64-deb", package("2", {}, "deb")},
                                               {"linux-amd64-appimage", package("2", {}, "AppImage")}}))
        << "stable" << true << int(O::UpdateAvailable) << "Доступно обновление 2" << "Пакет: linux-amd64-appimage · AppImage";
    QTest::newRow("deb first otherwise")
        << manifestWith(platformsIn("stable", {{"linux-amd64-deb", package("2", {}, "deb")},
                                               {"linux-amd64-appimage", package("2", {}, "AppImage")}}))
        << "stable" << false << int(O::UpdateAvailable) << "Доступно обновление 2" << "Пакет: linux-amd64-deb · deb";
    QTest::newRow("latestVersion when the package has none")
        << manifestWith(platformsIn("stable", {{"linux-amd64-deb", package(QString())}}), {}, "vorn-pdf-editor", "3.0")
        << "stable" << false << int(O::UpdateAvailable) << "Доступно обновление 3.0" << "Доступная версия: 3.0";
    QTest::newRow("no version at all")
        << manifestWith(platformsIn("stable", {{"linux-amd64-deb", package(QString())}})) << "stable" << false
        << int(O::UpToDate) << "Установлена актуальная версия" << QString();
    QTest::newRow("no package for the platform")
        << manifestWith(platformsIn("stable", {{"windows-x64", package("2")}, {"linux-amd64-deb", QJsonObject{}}}))
        << "stable" << false << int(O::NoPackage) << QString()
        << "Для этой платформы пока нет пакета обновления.\nТекущая версия: 1.0.1\nURL: " + url;
    QTest::newRow("other product only")
        << manifestWith(platformsIn("stable", {{"linux-amd64-deb", package("2")}}), {}, "vorn-ecp") << "stable"
        << false << int(O::NoProduct) << QString() << "В manifest нет данных для продукта ВОРН PDF Редактор.\nURL: " + url;
    QTest::newRow("products of the wrong type") << QByteArray(R"({"products": [1, 2]})") << "stable" << false
                                                << int(O::NoProduct) << QString() << QString();
    QTest::newRow("version of the wrong type")
        << manifestWith(platformsIn("stable", {{"linux-amd64-deb", QJsonObject{{"version", 7}, {"type", "deb"}}}}))
        << "stable" << false << int(O::UpToDate) << "Установлена актуальная версия" << QString();
    QTest::newRow("array") << QByteArray("[1]") << "stable" << false << int(O::Malformed)
                           << "Manifest обновлений повреждён" << QString();
    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << "stable" << false << int(O::Malformed)
                              << "Manifest обновлений повреждён" << QString();
    QTest::newRow("truncated") << debManifest("2").left(40) << "stable" << false << int(O::Malformed)
                               << "Manifest обновлений повреждён" << QString();
    QTest::newRow("empty body") << QByteArray() << "stable" << false << int(O::Malformed)
                                << "Manifest обновлений повреждён" << QString();
}

void UpdateCheckTest::outcomes()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, channel);
    QFETCH(bool, appImage);
    QFETCH(int, kind);
    QFETCH(QString, status);
    QFETCH(QString, text);

    const UpdateCheckOutcome outcome = evaluateUpdateManifest(body, inputs(channel, appImage));
    QCOMPARE(int(outcome.kind), kind);
    QCOMPARE(outcome.status, status);
    if (!text.isEmpty())
        QVERIFY2(outcome.text.contains(text), qPrintable(outcome.text));
    QCOMPARE(!outcome.link.isEmpty(), kind == int(UpdateCheckOutcome::UpdateAvailable));
}

void UpdateCheckTest::platformOrder()
{
    QCOMPARE(updatePlatformOrder(true).constFirst(), QStringLiteral("linux-amd64-appimage"));
    QCOMPARE(updatePlatformOrder(false),
             QStringList({"linux-amd64-deb", "linux-amd64-rpm", "linux-amd64-appimage"}));
}

void UpdateCheckTest::manifestAddress_data()
{
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("address");

    QTest::newRow("environment over setting, trimmed") << QByteArray("  http://a/x.json \n") << "http://b/y.json"
                                                        << "http://a/x.json";
    QTest::newRow("blank environment is unset") << QByteArray("   ") << " http://b/y.json" << " http://b/y.json";
}

void UpdateCheckTest::manifestAddress()
{
    QFETCH(QByteArray, environment);
    QFETCH(QString, setting);
    QFETCH(QString, address);
    qputenv("VORN_UPDATE_URL", environment);
    QSettings().setValue("updates/manifestUrl", setting);
    QCOMPARE(currentUpdateCheckInputs(AppProduct::editor).manifestUrl, address);
}

void UpdateCheckTest::productPerEdition()
{
    QCOMPARE(updateProductId(AppProduct::viewer), QStringLiteral("vorn-pdf-viewer"));
    QCOMPARE(updateProductId(AppProduct::ecp), QStringLiteral("vorn-ecp"));
    QCOMPARE(updateProductId(AppProduct(7)), QStringLiteral("vorn-pdf-editor"));
    const UpdateCheckInputs defaults = currentUpdateCheckInputs(AppProduct::editor);
    QCOMPARE(defaults.channel, QStringLiteral("stable"));
    QVERIFY(defaults.manifestUrl.startsWith("https://"));
    QVERIFY(defaults.manifestUrl.endsWith("/updates/latest.json"));
}

void UpdateCheckTest::tamperedLinks_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("offered");

    QTest::newRow("https package") << "https://example.org/vorn_1.1_amd64.deb" << true;
    QTest::newRow("local file") << "file:///etc/passwd" << false;
    QTest::newRow("plain http") << "http://example.org/vorn.deb" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("no host") << "https:///vorn.deb" << false;
    QTest::newRow("relative") << "vorn.deb" << false;
    QTest::newRow("not a URL") << "https://exa mple.org/x" << false;
    QTest::newRow("program") << "/usr/bin/xterm" << false;
}

void UpdateCheckTest::tamperedLinks()
{
    QFETCH(QString, url);
    QFETCH(bool, offered);
    const UpdateCheckOutcome outcome = evaluateUpdateManifest(debManifest("2", url), inputs());
    QCOMPARE(outcome.kind, UpdateCheckOutcome::UpdateAvailable);
    QCOMPARE(outcome.link, offered ? url : QString());
    // An address not offered is still told, as text.
    QCOMPARE(outcome.text.contains(url), !offered);
}

void UpdateCheckTest::fetchesWithUserAgent()
{
    ManifestServer server;
    server.serve(debManifest("1.1"));
    UpdateCheckInputs in = inputs();
    in.manifestUrl = server.url();
    QCOMPARE(runCheck(in, UpdateCheck::kTransferTimeoutMs, this).kind, UpdateCheckOutcome::UpdateAvailable);
    QCOMPARE(server.userAgent(), QByteArray("VornPDF/1.0.1"));
}

void UpdateCheckTest::failedTransfers_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reason");

    QTest::newRow("stalled") << int(ManifestServer::Stall) << QString();
    QTest::newRow("announced 50 MB") << int(ManifestServer::HugeLength) << "Ответ сервера больше 1024 КБ.";
    QTest::newRow("unannounced 2 MiB") << int(ManifestServer::HugeUnannounced) << "Ответ сервера больше 1024 КБ.";
}

// Each ends as a failed check, within the (shortened) time-out.
void UpdateCheckTest::failedTransfers()
{
    QFETCH(int, mode);
    QFETCH(QString, reason);
    ManifestServer server;
    server.serve(debManifest("1.1"), ManifestServer::Mode(mode));
    UpdateCheckInputs in = inputs();
    in.manifestUrl = server.url();
    // Only the stalled transfer waits for the time-out; the others must end
    // by their own reason, however slowly the machine reads.
    const bool stalled = mode == int(ManifestServer::Stall);
    const UpdateCheckOutcome outcome = runCheck(in, stalled ? 400 : UpdateCheck::kTransferTimeoutMs * 4, this);
    QCOMPARE(outcome.kind, UpdateCheckOutcome::NetworkFailure);
    QCOMPARE(outcome.status, QStringLiteral("Не удалось проверить обновления"));
    QVERIFY(outcome.link.isEmpty());
    QVERIFY(outcome.text.endsWith("\n\nURL: " + server.url()));
    if (!reason.isEmpty())
        QVERIFY2(outcome.text.contains(reason), qPrintable(outcome.text));
}

void UpdateCheckTest::updateWindowOpensPackage()
{
    ManifestServer server;
    server.serve(debManifest("1.1", "https://example.org/vorn_1.1.deb"));
    MainWindow window(AppProduct::editor);
    UpdateResultDialog* result = checkAgainst(window, server);
    QVERIFY(result);
    QCOMPARE(result->windowTitle(), QStringLiteral("Доступно обновление"));
    QVERIFY(windowText(result).contains("Размер: 1.5 КБ"));
    QCOMPARE(statusText(window), QStringLiteral("Доступно обновление 1.1"));
    QPushButton* open = prompt::buttonWithText(result, "Открыть ссылку");
    QVERIFY(open);
    open->click();
    QCOMPARE(m_urls.opened, QList<QUrl>{QUrl("https://example.org/vorn_1.1.deb")});
    QTRY_VERIFY(!window.findChild<UpdateResultDialog*>());
}

void UpdateCheckTest::windowShowsManifestTextsPlain()
{
    ManifestServer server;
    server.serve(debManifest("1.1", "https://example.org/x.deb", "<b>x</b>"));
    MainWindow window(AppProduct::editor);
    UpdateResultDialog* result = checkAgainst(window, server);
    QVERIFY(result);
    QLabel* text = result->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
    QCOMPARE(text->textFormat(), Qt::PlainText);
    QVERIFY(!text->openExternalLinks());
    QVERIFY(!(text->textInteractionFlags() & Qt::LinksAccessibleByMouse));
    QVERIFY(text->text().contains("· <b>x</b>"));
}

void UpdateCheckTest::windowWithoutSafeLinkOffersNothing()
{
    ManifestServer server;
    server.serve(debManifest("1.1", "file:///usr/bin/xterm"));
    MainWindow window(AppProduct::editor);
    UpdateResultDialog* result = checkAgainst(window, server);
    QVERIFY(result);
    QVERIFY(!prompt::buttonWithText(result, "Открыть ссылку"));
    for (QPushButton* button : result->findChildren<QPushButton*>())
        button->click();
    QVERIFY(m_urls.opened.isEmpty());
}

void UpdateCheckTest::stoppedServerTellsNetworkError()
{
    QString address;
    {
        ManifestServer server;
        address = server.url();
    }
    qputenv("VORN_UPDATE_URL", address.toUtf8());
    MainWindow window(AppProduct::editor);
    showSmall(window);
    window.checkForUpdates();
    QCOMPARE(statusText(window), QStringLiteral("Проверяю обновления..."));
    window.checkForUpdates();
    QTRY_COMPARE_WITH_TIMEOUT(window.findChildren<UpdateResultDialog*>().size(), 2, 60000);
    UpdateResultDialog* result = window.findChild<UpdateResultDialog*>();
    QCOMPARE(result->windowTitle(), QStringLiteral("Проверка обновлений"));
    QVERIFY(windowText(result).startsWith("Не удалось получить manifest обновлений:\n"));
    // Qt's own reason, in the interface language where Qt has a catalogue for it.
    QVERIFY(windowText(result).contains(QCoreApplication::translate("QHttp", "Connection refused")));
    QCOMPARE(statusText(window), QStringLiteral("Не удалось проверить обновления"));
}

QTEST_MAIN(UpdateCheckTest)
#include "tst_updatecheck.moc"
