// The certificate-list and signing worker modes through the real executable:
// exit codes, the exact keys and types of the one line printed, and the
// settings store the worker reads.
#include "FileIdentity.h"
#include "LimitedChild.h"
#include "PdfFixtures.h"
#include "SigningFixtures.h"
#include "SigningWorkerCli.h"
#include "StartupPlan.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QCryptographicHash>

#include <signal.h>
#include <sys/stat.h>

using namespace signingfixtures;

namespace {

const QString kExecutable = QStringLiteral(VORN_PDF_EXECUTABLE);

struct Worker {
    QByteArray output;
    int exitCode = -1;
};

QMap<QString, QJsonValue::Type> keyTypes(const QJsonObject& object)
{
    QMap<QString, QJsonValue::Type> types;
    for (auto it = object.begin(); it != object.end(); ++it)
        types.insert(it.key(), it.value().type());
    return types;
}

// A real producer's PDF as the test needs it: "sound"; "flipped", one byte
// of its content object's "obj" keyword changed; "flipped font", the same
// in its first font's object, off the pages' content; "freed", a later
// update that frees the page's content object.
QByteArray sourcePdf(const QString& kind)
{
    QByteArray pdf = fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")));
    const QString text = QString::fromLatin1(pdf);
    const QString pattern = kind == QLatin1String("flipped font") ? QStringLiteral("(\\d+) 0 obj\\s*<</BaseFont")
                                                                  : QStringLiteral("/Contents (\\d+) 0 R");
    const QByteArray number = QRegularExpression(pattern).match(text).captured(1).toLatin1();
    if (kind.startsWith(QLatin1String("flipped"))) {
        const qsizetype at = pdf.indexOf("\n" + number + " 0 obj");
        return at < 0 ? QByteArray() : pdf.replace(at + number.size() + 7, 1, "k");
    }
    if (kind != QLatin1String("freed"))
        return pdf;
    const QByteArray previous = pdf.mid(pdf.lastIndexOf("startxref") + 9).trimmed().split('\n').first();
    const QString trailer = text.mid(text.lastIndexOf(QLatin1String("trailer")));
    const QString size = QRegularExpression(QStringLiteral("/Size (\\d+)")).match(trailer).captured(1);
    const QString root = QRegularExpression(QStringLiteral("/Root (\\d+ \\d+ R)")).match(trailer).captured(1);
    if (!pdf.endsWith('\n'))
        pdf += '\n';
    const qint64 xref = pdf.size();
    return pdf + "xref\n0 1\n0000000000 65535 f \n" + number + " 1\n0000000000 00001 f \ntrailer\n<< /Size "
           + size.toLatin1() + " /Root " + root.toLatin1() + " /Prev " + previous + " >>\nstartxref\n"
           + QByteArray::number(xref) + "\n%%EOF\n";
}

} // namespace

class SigningWorkerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void plan();
    void signing_data();
    void signing();
    void editionAfterTheArguments();
    void outputNameTaken_data();
    void outputNameTaken();
    void nonRegularFilesRefused_data();
    void nonRegularFilesRefused();
    void inputKeptSafe_data();
    void inputKeptSafe();
    void certificateList_data();
    void certificateList();
    void describeOnly_data();
    void describeOnly();
    void describeWritesNothing();
    void workersAfterEditionOption_data();
    void workersAfterEditionOption();
    void killedMidway_data();
    void killedMidway();
    void passPhrasesOnInput_data();
    void passPhrasesOnInput();

private:
    // pathFirst: a folder searched for programs before the usual ones;
    // input: what the worker reads on its standard input, then its end.
    Worker run(const QStringList& arguments, const QString& pathFirst = {}, const QByteArray& input = {});
    void setStore(const QString& application, const QByteArray& text);
    QString request(const QJsonObject& object);
    QProcessEnvironment workerEnvironment(const QString& pathFirst = {}) const;

    QTemporaryDir m_dir;
    QString m_config;
    KeyPair m_keys;
    KeyPair m_other;
    KeyPair m_signer;        // CN=Test Signer
    QString m_p12;           // m_signer's, pass phrase "secret"
    QString m_p12Open;       // m_signer's, no pass phrase
    QString m_expired;       // m_keys' certificate, expired
    QString m_encryptedKey;  // m_keys' key, pass phrase "ключ"
    QString m_passingCheck;  // a folder whose openssl finds every chain sound
    QString m_input;
};

void SigningWorkerTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_config = m_dir.filePath(QStringLiteral("xdg"));
    m_keys = selfSigned(m_dir.path(), QStringLiteral("keys"), cyrillicSubject());
    m_other = selfSigned(m_dir.path(), QStringLiteral("other"), QStringLiteral("/CN=Other"));
    m_signer = selfSigned(m_dir.path(), QStringLiteral("signer"), QStringLiteral("/CN=Test Signer"));
    QVERIFY(!m_keys.certificate.isEmpty() && !m_other.certificate.isEmpty() && !m_signer.certificate.isEmpty());
    m_p12 = m_dir.filePath(QStringLiteral("signer.p12"));
    m_p12Open = m_dir.filePath(QStringLiteral("open.p12"));
    for (const auto& [path, pass] : {std::pair{m_p12, "pass:secret"}, std::pair{m_p12Open, "pass:"}}) {
        const Run made = openssl(m_dir.path(), {"pkcs12", "-export", "-inkey", m_signer.key, "-in",
                                                m_signer.certificate, "-out", path, "-passout", QLatin1String(pass)});
        QVERIFY2(made.exitCode == 0, made.output.constData());
    }
    m_expired = m_dir.filePath(QStringLiteral("expired.pem"));
    QVERIFY(redated(m_keys, "20200101000000Z", "20210101000000Z", m_expired));
    m_encryptedKey = m_dir.filePath(QStringLiteral("encrypted.pem"));
    const Run encrypted = openssl(m_dir.path(), {"pkey", "-in", m_keys.key, "-aes256", "-passout", "pass:ключ",
                                                 "-out", m_encryptedKey});
    QVERIFY2(encrypted.exitCode == 0, encrypted.output.constData());
    m_passingCheck = m_dir.filePath(QStringLiteral("passing"));
    QVERIFY(QDir().mkpath(m_passingCheck));
    QVERIFY(writeScript(m_passingCheck + QStringLiteral("/openssl"), "exit 0\n"));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("папка"))));
    m_input = m_dir.filePath(QStringLiteral("папка/Договор №1.pdf"));
    QVERIFY(fixtures::writeFile(m_input, fixtures::textPdf({QStringLiteral("Contract")})));
}

Worker SigningWorkerTest::run(const QStringList& arguments, const QString& pathFirst, const QByteArray& input)
{
    QProcess process;
    process.setProcessEnvironment(workerEnvironment(pathFirst));
    process.start(kExecutable, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000))
        return {};
    return {process.readAllStandardOutput(), process.exitCode()};
}

QProcessEnvironment SigningWorkerTest::workerEnvironment(const QString& pathFirst) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config);
    if (!pathFirst.isEmpty())
        environment.insert(QStringLiteral("PATH"), pathFirst + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    return environment;
}

void SigningWorkerTest::setStore(const QString& application, const QByteArray& text)
{
    QDir().mkpath(m_config + QStringLiteral("/vorn"));
    QFile file(m_config + QStringLiteral("/vorn/") + application + QStringLiteral(".conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QString SigningWorkerTest::request(const QJsonObject& object)
{
    const QString path = m_dir.filePath(QStringLiteral("request.json"));
    fixtures::writeFile(path, QJsonDocument(object).toJson());
    return path;
}

void SigningWorkerTest::plan()
{
    const StartupPlan sign = planStartup({"/usr/bin/vorn-pdf", "--vorn-sign-file", "r.json", "--vorn-product=editor"});
    QCOMPARE(sign.start, StartKind::Worker);
    QVERIFY(sign.worker == &runSignatureCli);
    QCOMPARE(sign.product, AppProduct::editor);
    const StartupPlan list = planStartup({"/usr/bin/vorn-pdf", "--vorn-cert-list"});
    QCOMPARE(list.start, StartKind::Worker);
    QVERIFY(list.worker != nullptr && list.worker != sign.worker);
    QCOMPARE(planStartup({"/usr/bin/vorn-pdf", "--vorn-product=ecp", "--vorn-cert-list"}).start, StartKind::EcpSigning);
    const StartupPlan editorList = planStartup({"/usr/bin/vorn-pdf", "--vorn-cert-list", "--vorn-product=editor"});
    QCOMPARE(editorList.start, StartKind::Worker);
    QVERIFY(editorList.worker == list.worker);
    QCOMPARE(editorList.product, AppProduct::editor);
}

void SigningWorkerTest::signing_data()
{
    QTest::addColumn<QString>("requestText");  // JSON; "<none>": no file; "<dir>": a folder; empty: no argument
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");  // its start
    QTest::addColumn<int>("mode");       // of the result; -1: a refusal of two keys

    const QByteArray never("[signing]\nrevocationMode=never\n");
    const QJsonObject base{{"inputPath", m_input}, {"outputPath", m_dir.filePath("папка/out.sig")}, {"mode", 0},
                           {"certificatePath", m_keys.certificate}, {"privateKeyPath", m_keys.key}};
    const auto with = [&base](const char* key, const QJsonValue& value) {
        QJsonObject object = base;
        object.insert(QLatin1String(key), value);
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    };
    QTest::newRow("no request argument") << "" << never << 2 << "Usage: --vorn-sign-file <request-json>" << -1;
    QTest::newRow("missing request file") << "<none>" << never << 3 << "Не удалось открыть параметры подписи: " << -1;
    QTest::newRow("request is a folder") << "<dir>" << never << 3 << "Не удалось открыть параметры подписи: " << -1;
    QTest::newRow("array") << "[1]" << never << 4 << "Некорректные параметры подписи." << -1;
    QTest::newRow("not JSON") << "{\"mode\":" << never << 4 << "Некорректные параметры подписи." << -1;
    QTest::newRow("oversized") << QString(2 * 1024 * 1024, QLatin1Char(' ')) + "{}" << never << 4
                               << "Некорректные параметры подписи." << -1;
    QTest::newRow("detached, Cyrillic paths") << with("mode", 0) << never << 0 << "" << 0;
    QTest::newRow("attached") << with("mode", 1) << never << 0 << "" << 1;
    QTest::newRow("embedded") << with("mode", 4) << never << 0 << "" << 4;
    QTest::newRow("mode 9 signs detached") << with("mode", 9) << never << 0 << "" << 0;
    QTest::newRow("mode -1 signs detached") << with("mode", -1) << never << 0 << "" << 0;
    QTest::newRow("text mode reads as 0") << with("mode", "1") << never << 0 << "" << 0;
    QTest::newRow("wrong types: no input, no hash")
        << with("inputPath", 5) << never << 5 << "Не удалось открыть исходный файл: " << 0;
    QTest::newRow("key of another certificate")
        << with("privateKeyPath", m_other.key) << never << 5 << "Закрытый ключ не соответствует сертификату: " << 0;
    QTest::newRow("chain check by default") << with("mode", 0) << QByteArray() << 5
                                            << "Сертификат не прошёл проверку цепочки/отзыва: " << 0;
}

void SigningWorkerTest::signing()
{
    QFETCH(QString, requestText);
    QFETCH(QByteArray, store);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(int, mode);
    setStore(QStringLiteral("vorn-ecp"), store);
    QStringList arguments{QStringLiteral("--vorn-sign-file")};
    if (requestText == QLatin1String("<none>"))
        arguments << m_dir.filePath(QStringLiteral("none.json"));
    else if (requestText == QLatin1String("<dir>"))
        arguments << m_dir.filePath(QStringLiteral("папка"));
    else if (!requestText.isEmpty())
        arguments << m_dir.filePath(QStringLiteral("request.json"));
    fixtures::writeFile(m_dir.filePath(QStringLiteral("request.json")), requestText.toUtf8());
    const QString output = m_dir.filePath(QStringLiteral("папка/out.sig"));
    QFile::remove(output);

    const Worker worker = run(arguments);
    QCOMPARE(worker.exitCode, exitCode);
    QVERIFY(worker.output.endsWith('\n'));
    QCOMPARE(worker.output.count('\n'), 1);
    const QJsonObject result = QJsonDocument::fromJson(worker.output).object();
    QVERIFY2(error.isEmpty() ? result.value("error").toString().isEmpty()
                             : result.value("error").toString().startsWith(error),
             worker.output.constData());
    if (mode < 0) {
        QCOMPARE(keyTypes(result), (QMap<QString, QJsonValue::Type>{{"ok", QJsonValue::Bool}, {"error", QJsonValue::String}}));
        return;
    }
    using T = QJsonValue::Type;
    QCOMPARE(keyTypes(result), (QMap<QString, T>{{"ok", T::Bool}, {"error", T::String}, {"outputPath", T::String},
                                                 {"outputSize", T::String}, {"documentSha256", T::String},
                                                 {"signer", T::String}, {"signedAt", T::String}, {"mode", T::Double},
                                                 {"outputDevice", T::String}, {"outputInode", T::String}}));
    QCOMPARE(result.value("ok").toBool(), exitCode == 0);
    QCOMPARE(result.value("mode").toInt(), mode);
    const QString hash = result.value("documentSha256").toString();
    if (error.startsWith(QStringLiteral("Не удалось открыть исходный файл"))) {
        QCOMPARE(hash, QString());  // nothing was read
        return;
    }
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(hash).hasMatch());
    if (exitCode != 0) {
        QVERIFY(!QFile::exists(output));
        return;
    }
    QCOMPARE(result.value("outputPath").toString(), output);
    QCOMPARE(result.value("outputSize").toString(), QString::number(QFileInfo(output).size()));
    const FileIdentity written = FileIdentity::of(output);
    QCOMPARE(result.value("outputDevice").toString(), QString::number(written.device()));
    QCOMPARE(result.value("outputInode").toString(), QString::number(written.inode()));
    QCOMPARE(result.value("signer").toString(), opensslSubject(m_keys.certificate));
    QVERIFY(QDateTime::fromString(result.value("signedAt").toString(), Qt::ISODate).isValid());
    QStringList verify{"cms", "-verify", "-binary", "-inform", "DER", "-in", output, "-CAfile", m_keys.certificate,
                       "-out", m_dir.filePath("rt.bin")};
    if (mode == 0)
        verify << "-content" << m_input;
    if (mode == 4) {
        QCOMPARE(hash, QString::fromLatin1(QCryptographicHash::hash(fileBytes(output), QCryptographicHash::Sha256).toHex()));
        QVERIFY(fileBytes(output).startsWith(fileBytes(m_input)));
        return;
    }
    const Run check = openssl(m_dir.path(), verify);
    QVERIFY2(check.exitCode == 0, check.output.constData());
    QCOMPARE(fileBytes(m_dir.filePath("rt.bin")), fileBytes(m_input));
}

// The edition option after the request picks the settings store the worker
// reads and writes.
void SigningWorkerTest::editionAfterTheArguments()
{
    setStore(QStringLiteral("vorn-ecp"), QByteArray());
    setStore(QStringLiteral("vorn-pdf-editor"), "[signing]\nrevocationMode=never\n");
    const QString path = request({{"inputPath", m_input}, {"outputPath", m_dir.filePath("edition.sig")},
                                  {"certificatePath", m_keys.certificate}, {"privateKeyPath", m_keys.key}});
    QCOMPARE(run({"--vorn-sign-file", path}).exitCode, 5);
    QCOMPARE(run({"--vorn-sign-file", path, "--vorn-product=editor"}).exitCode, 0);
    QVERIFY(fileBytes(m_config + "/vorn/vorn-pdf-editor.conf").contains("privateKeyPath"));
    QVERIFY(!fileBytes(m_config + "/vorn/vorn-ecp.conf").contains("privateKeyPath"));
}

void SigningWorkerTest::outputNameTaken_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("taken");  // what stands under the names first: "file <name>", "link <name>", "folder <name>"
    QTest::addColumn<QString>("written");

    QTest::newRow("detached, a file under the name") << 0 << QStringList{"file out.sig"} << "out (1).sig";
    QTest::newRow("attached, the next name taken too")
        << 1 << QStringList{"file out.sig", "file out (1).sig"} << "out (2).sig";
    QTest::newRow("embedded, a link under the name") << 4 << QStringList{"link out.sig"} << "out (1).sig";
    QTest::newRow("detached, a folder under the name") << 0 << QStringList{"folder out.sig"} << "out (1).sig";
}

// A request whose output name already holds something never replaces it:
// the signature takes the next free name and the answer names that file.
void SigningWorkerTest::outputNameTaken()
{
    QFETCH(int, mode);
    QFETCH(QStringList, taken);
    QFETCH(QString, written);
    setStore(QStringLiteral("vorn-ecp"), "[signing]\nrevocationMode=never\n");
    QTemporaryDir folder;
    const QString elsewhere = folder.filePath(QStringLiteral("elsewhere.pdf"));
    QVERIFY(fixtures::writeFile(elsewhere, "the link's own file"));
    QMap<QString, QByteArray> before;
    for (const QString& entry : taken) {
        const QString kind = entry.section(QLatin1Char(' '), 0, 0);
        const QString path = folder.filePath(entry.section(QLatin1Char(' '), 1));
        if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(elsewhere, path));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(fixtures::writeFile(path, "an earlier signature: " + path.toUtf8()));
        if (kind != QLatin1String("folder"))
            before.insert(path, fixtures::readFile(path));
    }
    const Worker worker = run({"--vorn-sign-file",
                               request({{"inputPath", m_input}, {"outputPath", folder.filePath("out.sig")},
                                        {"mode", mode}, {"certificatePath", m_keys.certificate},
                                        {"privateKeyPath", m_keys.key}})});
    QCOMPARE(worker.exitCode, 0);
    const QJsonObject result = QJsonDocument::fromJson(worker.output).object();
    const QString output = folder.filePath(written);
    QCOMPARE(result.value("outputPath").toString(), output);
    const FileIdentity identity = FileIdentity::of(output);
    QCOMPARE(result.value("outputInode").toString(), QString::number(identity.inode()));
    QCOMPARE(result.value("outputSize").toString(), QString::number(QFileInfo(output).size()));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(fixtures::readFile(it.key()), it.value());
    QCOMPARE(fixtures::readFile(elsewhere), QByteArray("the link's own file"));
    // Nothing else is left beside them: no partial file, no private folder.
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
             taken.size() + 2);
    if (mode == 4) {
        QVERIFY(fileBytes(output).startsWith(fileBytes(m_input)));
        return;
    }
    QStringList verify{"cms", "-verify", "-binary", "-inform", "DER", "-in", output, "-CAfile", m_keys.certificate,
                       "-out", folder.filePath("content.bin")};
    if (mode == 0)
        verify << "-content" << m_input;
    const Run check = openssl(folder.path(), verify);
    QVERIFY2(check.exitCode == 0, check.output.constData());
}

void SigningWorkerTest::certificateList_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("notAfter");  // empty: as made

    QTest::newRow("nothing configured") << false << "";
    QTest::newRow("Cyrillic signer") << true << "";
    const QDate fifth = QDate::currentDate().addMonths(2);
    QTest::newRow("due on the 5th") << true
                                    << QDate(fifth.year(), fifth.month(), 5).toString(QStringLiteral("yyyyMMdd")) + "120000Z";
}

void SigningWorkerTest::certificateList()
{
    QFETCH(bool, configured);
    QFETCH(QString, notAfter);
    QString certificate = m_keys.certificate;
    if (!notAfter.isEmpty()) {
        certificate = m_dir.filePath(QStringLiteral("fifth.pem"));
        QVERIFY(redated(m_keys, "20200101000000Z", notAfter, certificate));
    }
    QByteArray store("[signing]\nrevocationMode=never\n");
    if (configured)
        store += "linux\\certificatePath=" + certificate.toUtf8() + "\nlinux\\privateKeyPath=" + m_keys.key.toUtf8() + "\n";
    setStore(QStringLiteral("vorn-ecp"), store);

    const Worker worker = run({QStringLiteral("--vorn-cert-list")});
    QCOMPARE(worker.output.count('\n'), 1);
    const QJsonObject list = QJsonDocument::fromJson(worker.output).object();
    const QJsonArray certificates = list.value("certificates").toArray();
    if (!configured) {
        QCOMPARE(worker.exitCode, 3);
        QCOMPARE(list.value("ok"), QJsonValue(false));
        QVERIFY(!list.value("error").toString().isEmpty());
        QVERIFY(list.value("certificates").isArray() && certificates.isEmpty());
        return;
    }
    QCOMPARE(worker.exitCode, 0);
    QCOMPARE(list.value("ok"), QJsonValue(true));
    QCOMPARE(certificates.size(), 1);
    const QJsonObject entry = certificates.first().toObject();
    using T = QJsonValue::Type;
    QMap<QString, T> expected;
    for (const char* key : {"id", "subject", "issuer", "serial", "thumbprint", "providerName", "containerName",
                            "storeName", "publicKeyAlgorithm", "validFrom", "validTo", "unavailableReason",
                            "validationStatus"})
        expected.insert(QLatin1String(key), T::String);
    for (const char* key : {"hasPrivateKey", "privateKeyUsable", "validNow", "digitalSignatureAllowed",
                            "revocationChecked", "revoked", "available"})
        expected.insert(QLatin1String(key), T::Bool);
    QCOMPARE(keyTypes(entry), expected);
    QCOMPARE(entry.value("id").toString(), "linux-file|" + certificate);
    QCOMPARE(entry.value("subject").toString(), opensslSubject(certificate));

    const QString fingerprint = QString::fromLatin1(
        openssl(m_dir.path(), {"x509", "-noout", "-fingerprint", "-sha1", "-in", certificate}).output).trimmed();
    QCOMPARE(entry.value("thumbprint").toString(), fingerprint.mid(fingerprint.indexOf('=') + 1));
    const QString end = QString::fromLatin1(
        openssl(m_dir.path(), {"x509", "-noout", "-enddate", "-in", certificate}).output).trimmed().mid(9).simplified();
    const QDateTime due = QLocale::c().toDateTime(end, QStringLiteral("MMM d HH:mm:ss yyyy 'GMT'"));
    QVERIFY2(due.isValid(), qPrintable(end));
    QCOMPARE(entry.value("validTo").toString(),
             QDateTime(due.date(), due.time(), QTimeZone::utc()).toLocalTime().toString(Qt::ISODate));
}

void SigningWorkerTest::describeOnly_data()
{
    QTest::addColumn<QJsonObject>("keys");
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QString>("error");     // its start; empty: described
    QTest::addColumn<QString>("keyFile");   // the file the certificate is named after
    QTest::addColumn<QString>("subject");
    QTest::addColumn<bool>("passingCheck");  // the chain check finds the chain sound

    const QByteArray never("[signing]\nrevocationMode=never\n");
    const QString signer = QStringLiteral("CN=Test Signer");
    const QString cyrillic = opensslSubject(m_keys.certificate);
    const QJsonObject pem{{"certificatePath", m_keys.certificate}, {"privateKeyPath", m_keys.key}};
    QTest::newRow("PEM pair") << pem << never << "" << m_keys.certificate << cyrillic << false;
    QTest::newRow("encrypted PEM key")
        << QJsonObject{{"certificatePath", m_keys.certificate}, {"privateKeyPath", m_encryptedKey},
                       {"keyPassword", "ключ"}}
        << never << "" << m_keys.certificate << cyrillic << false;
    QTest::newRow("P12 with pass phrase")
        << QJsonObject{{"pkcs12Path", m_p12}, {"pkcs12Password", "secret"}} << never << "" << m_p12 << signer << false;
    QTest::newRow("P12 wins over the PEM pair")
        << QJsonObject{{"pkcs12Path", m_p12Open}, {"certificatePath", m_keys.certificate},
                       {"privateKeyPath", m_keys.key}}
        << never << "" << m_p12Open << signer << false;
    QTest::newRow("P12 wrong pass phrase")
        << QJsonObject{{"pkcs12Path", m_p12}, {"pkcs12Password", "wrong"}} << never
        << "Не удалось извлечь сертификат/ключ из P12/PFX: " << "" << "" << false;
    QTest::newRow("encrypted PEM key without pass phrase")
        << QJsonObject{{"certificatePath", m_keys.certificate}, {"privateKeyPath", m_encryptedKey}} << never
        << "Не удалось прочитать PEM закрытый ключ: " << "" << "" << false;
    QTest::newRow("key of another certificate")
        << QJsonObject{{"certificatePath", m_keys.certificate}, {"privateKeyPath", m_other.key}} << never
        << "Закрытый ключ не соответствует сертификату: " << "" << "" << false;
    QTest::newRow("expired certificate")
        << QJsonObject{{"certificatePath", m_expired}, {"privateKeyPath", m_keys.key}} << never
        << "Срок действия сертификата истёк: он действовал с " << "" << "" << false;
    QTest::newRow("no key material") << QJsonObject{{"certificatePath", m_keys.certificate}} << never
                                     << "Для Linux укажите PEM-сертификат и закрытый ключ" << "" << "" << false;
    const QString chainRefusal = QStringLiteral("Сертификат не прошёл проверку цепочки/отзыва: ");
    QTest::newRow("chain check refuses self-signed")
        << pem << QByteArray("[signing]\nrevocationMode=sign\n") << chainRefusal << "" << "" << false;
    QTest::newRow("chain check by default") << pem << QByteArray() << chainRefusal << "" << "" << false;
    QTest::newRow("chain check passing") << pem << QByteArray() << "" << m_keys.certificate << cyrillic << true;
}

// The certificate a request would sign with, or signing's own refusal, with
// neither the input read nor anything written.
void SigningWorkerTest::describeOnly()
{
    QFETCH(QJsonObject, keys);
    QFETCH(QByteArray, store);
    QFETCH(QString, error);
    QFETCH(QString, keyFile);
    QFETCH(QString, subject);
    QFETCH(bool, passingCheck);
    setStore(QStringLiteral("vorn-ecp"), store);
    QJsonObject object = keys;
    object.insert("inputPath", m_dir.filePath("папка/нет такого.pdf"));
    object.insert("outputPath", m_dir.filePath("described.sig"));
    object.insert("mode", 3);
    object.insert("describeOnly", true);

    const Worker worker = run({"--vorn-sign-file", request(object)}, passingCheck ? m_passingCheck : QString());
    QCOMPARE(worker.output.count('\n'), 1);
    QVERIFY(worker.output.endsWith('\n'));
    const QJsonObject answer = QJsonDocument::fromJson(worker.output).object();
    QVERIFY(!QFile::exists(m_dir.filePath("described.sig")));
    using T = QJsonValue::Type;
    if (!error.isEmpty()) {
        QCOMPARE(worker.exitCode, 5);
        QCOMPARE(keyTypes(answer), (QMap<QString, T>{{"ok", T::Bool}, {"error", T::String}}));
        QCOMPARE(answer.value("ok"), QJsonValue(false));
        QVERIFY2(answer.value("error").toString().startsWith(error), worker.output.constData());
        // Signing the same request fails with the very same text.
        object.remove("describeOnly");
        object.insert("inputPath", m_input);
        const Worker signing = run({"--vorn-sign-file", request(object)});
        QCOMPARE(signing.exitCode, 5);
        // The chain check names its temporary copy of the certificate.
        const QRegularExpression copy(QStringLiteral("vorn_cert_\\w+\\.pem"));
        QCOMPARE(QJsonDocument::fromJson(signing.output).object().value("error").toString().replace(copy, "copy"),
                 answer.value("error").toString().replace(copy, "copy"));
        return;
    }
    QVERIFY2(worker.exitCode == 0, worker.output.constData());
    QCOMPARE(keyTypes(answer), (QMap<QString, T>{{"ok", T::Bool}, {"error", T::String}, {"certificate", T::Object}}));
    QCOMPARE(answer.value("ok"), QJsonValue(true));
    QCOMPARE(answer.value("error"), QJsonValue(QString()));
    const QJsonObject certificate = answer.value("certificate").toObject();
    QCOMPARE(certificate.size(), 20);
    QCOMPARE(certificate.value("subject").toString(), subject);
    QCOMPARE(certificate.value("issuer").toString(), subject);
    QCOMPARE(certificate.value("id").toString(), "linux-file|" + keyFile);
    QCOMPARE(certificate.value("containerName").toString(), keyFile);
    for (const char* checked : {"validNow", "privateKeyUsable", "available"})
        QVERIFY2(certificate.value(QLatin1String(checked)).toBool(), checked);
    QCOMPARE(certificate.value("revocationChecked"), QJsonValue(passingCheck));  // "never" checks nothing
    QVERIFY(QDateTime::fromString(certificate.value("validTo").toString(), Qt::ISODate) > QDateTime::currentDateTime());
}

// A described key file is not remembered, unlike one that signed.
void SigningWorkerTest::describeWritesNothing()
{
    const QByteArray store("[signing]\nrevocationMode=never\n");
    setStore(QStringLiteral("vorn-ecp"), store);
    const QString path = request({{"pkcs12Path", m_p12Open}, {"describeOnly", true}});
    QCOMPARE(run({"--vorn-sign-file", path}).exitCode, 0);
    QCOMPARE(fileBytes(m_config + "/vorn/vorn-ecp.conf"), store);
    const QString signing = request({{"pkcs12Path", m_p12Open}, {"inputPath", m_input},
                                     {"outputPath", m_dir.filePath("remembered.sig")}, {"describeOnly", false}});
    QCOMPARE(run({"--vorn-sign-file", signing}).exitCode, 0);
    QVERIFY(fileBytes(m_config + "/vorn/vorn-ecp.conf").contains("pkcs12Path"));
}

void SigningWorkerTest::workersAfterEditionOption_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("describe");       // else the certificate list
    QTest::addColumn<QByteArray>("checking"); // the other stores' revocation mode

    // Listing checks the chain in "search" mode, signing in "sign" mode.
    QTest::newRow("list, signing edition") << "" << false << QByteArray("search");
    QTest::newRow("list, viewer") << "--vorn-product=viewer" << false << QByteArray("search");
    QTest::newRow("list, editor") << "--vorn-product=editor" << false << QByteArray("search");
    QTest::newRow("describe, signing edition") << "" << true << QByteArray("sign");
    QTest::newRow("describe, viewer") << "--vorn-product=viewer" << true << QByteArray("sign");
    QTest::newRow("describe, editor") << "--vorn-product=editor" << true << QByteArray("sign");
}

// The edition option after the worker's own arguments picks the settings
// store: only the editor's lets the self-signed certificate pass.
void SigningWorkerTest::workersAfterEditionOption()
{
    QFETCH(QString, option);
    QFETCH(bool, describe);
    QFETCH(QByteArray, checking);
    const QByteArray keys = "linux\\certificatePath=" + m_keys.certificate.toUtf8() + "\nlinux\\privateKeyPath="
                            + m_keys.key.toUtf8() + "\n";
    setStore(QStringLiteral("vorn-ecp"), "[signing]\nrevocationMode=" + checking + "\n" + keys);
    setStore(QStringLiteral("vorn-pdf-viewer"), "[signing]\nrevocationMode=" + checking + "\n" + keys);
    setStore(QStringLiteral("vorn-pdf-editor"), "[signing]\nrevocationMode=never\n" + keys);
    const QByteArray editorStore = fileBytes(m_config + "/vorn/vorn-pdf-editor.conf");
    const bool editor = option == QLatin1String("--vorn-product=editor");

    QStringList arguments = describe ? QStringList{"--vorn-sign-file",
                                                   request({{"certificatePath", m_keys.certificate},
                                                            {"privateKeyPath", m_keys.key}, {"describeOnly", true}})}
                                     : QStringList{"--vorn-cert-list"};
    if (!option.isEmpty())
        arguments << option;
    const Worker worker = run(arguments);
    QCOMPARE(worker.output.count('\n'), 1);
    const QJsonObject answer = QJsonDocument::fromJson(worker.output).object();
    if (describe) {
        QCOMPARE(worker.exitCode, editor ? 0 : 5);
        QCOMPARE(answer.value("ok").toBool(), editor);
        QCOMPARE(fileBytes(m_config + "/vorn/vorn-pdf-editor.conf"), editorStore);
        return;
    }
    QCOMPARE(worker.exitCode, 0);
    const QJsonArray certificates = answer.value("certificates").toArray();
    QCOMPARE(certificates.size(), 1);
    // "search" checks the chain while listing and finds the self-signed one wanting.
    QCOMPARE(certificates.first().toObject().value("available").toBool(), editor);
    QCOMPARE(certificates.first().toObject().value("revoked").toBool(), !editor);
}

void SigningWorkerTest::nonRegularFilesRefused_data()
{
    QTest::addColumn<QString>("field");  // of the request; "request": the request file itself
    QTest::addColumn<QString>("kind");   // "fifo" (made by the test, no writer) or a device
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");  // %1: the file's name

    QTest::newRow("document is /dev/zero") << "inputPath" << "/dev/zero" << 0 << 5
                                           << "Не удалось открыть исходный файл: %1 не является обычным файлом";
    QTest::newRow("PDF is a FIFO") << "inputPath" << "fifo" << 4 << 5
                                   << "Не удалось открыть исходный файл: %1 не является обычным файлом";
    QTest::newRow("certificate is a FIFO") << "certificatePath" << "fifo" << 0 << 5
                                           << "Не удалось открыть сертификат: %1 не является обычным файлом";
    QTest::newRow("key is /dev/zero") << "privateKeyPath" << "/dev/zero" << 0 << 5
                                      << "Не удалось открыть закрытый ключ: %1 не является обычным файлом";
    QTest::newRow("container is a FIFO") << "pkcs12Path" << "fifo" << 0 << 5
                                         << "Не удалось открыть P12/PFX контейнер: %1 не является обычным файлом";
    QTest::newRow("request is a FIFO") << "request" << "fifo" << 0 << 3
                                       << "Не удалось открыть параметры подписи: %1 не является обычным файлом";
    QTest::newRow("request is /dev/zero") << "request" << "/dev/zero" << 0 << 3
                                          << "Не удалось открыть параметры подписи: %1 не является обычным файлом";
}

// Each refused with its reason in the worker's one line, quickly and within
// the memory limit, nothing written, the FIFO left as it was.
void SigningWorkerTest::nonRegularFilesRefused()
{
    constexpr int kTimeLimitMs = 10000;
    constexpr qint64 kMemoryLimit = 500LL * 1024 * 1024;
    QFETCH(QString, field);
    QFETCH(QString, kind);
    QFETCH(int, mode);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    setStore(QStringLiteral("vorn-ecp"), "[signing]\nrevocationMode=never\n");
    QTemporaryDir scratch;
    QString path = kind;
    if (kind == QLatin1String("fifo")) {
        path = scratch.filePath(field == QLatin1String("inputPath") ? QStringLiteral("Договор.pdf") : field);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    const QString output = scratch.filePath(QStringLiteral("out.pdf"));
    QJsonObject object{{"inputPath", m_input}, {"outputPath", output}, {"mode", mode},
                       {"certificatePath", m_keys.certificate}, {"privateKeyPath", m_keys.key}};
    if (field != QLatin1String("request"))
        object.insert(field, path);
    const QString requestPath = field == QLatin1String("request") ? path : request(object);

    const limitedchild::Outcome worker = limitedchild::run(kExecutable, {"--vorn-sign-file", requestPath}, kTimeLimitMs,
                                                           kMemoryLimit, workerEnvironment());
    QVERIFY2(worker.inTime, "the worker was still reading at the time limit");
    QVERIFY2(!worker.signal, worker.err.constData());
    QCOMPARE(worker.exitCode, exitCode);
    QCOMPARE(worker.out.count('\n'), 1);
    const QJsonObject result = QJsonDocument::fromJson(worker.out).object();
    QCOMPARE(result.value("ok").toBool(true), false);
    QCOMPARE(result.value("error").toString(), error.arg(QFileInfo(path).fileName()));
    QVERIFY(!QFileInfo::exists(output));
    if (kind == QLatin1String("fifo"))
        QVERIFY(limitedchild::isFifo(path));
}

void SigningWorkerTest::inputKeptSafe_data()
{
    QTest::addColumn<QString>("output");  // the input by another spelling or link, or "fresh"
    QTest::addColumn<QString>("source");  // as sourcePdf makes it
    QTest::addColumn<QString>("fifo");    // a lock file that is a FIFO: "settings", or empty
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error");   // empty: signed

    const QString same = QStringLiteral("Результат подписи не должен перезаписывать исходный файл.");
    const QString damaged = QStringLiteral("PDF повреждён, и программы просмотра могут показать его по-разному: "
                                           "встроенная подпись не добавлена. Сохраните документ заново и "
                                           "подпишите сохранённый файл.");
    QTest::newRow("through ./") << "/./Договор.pdf" << "sound" << "" << 0 << same;
    QTest::newRow("through //, embedded") << "//Договор.pdf" << "sound" << "" << 4 << same;
    QTest::newRow("through a folder and back") << "/папка/../Договор.pdf" << "sound" << "" << 1 << same;
    QTest::newRow("a link to the input") << "symlink" << "sound" << "" << 0 << same;
    QTest::newRow("a hard link, embedded") << "hard link" << "sound" << "" << 4 << same;
    QTest::newRow("byte-flipped content object") << "fresh" << "flipped" << "" << 4 << damaged;
    QTest::newRow("content freed by an update") << "fresh" << "freed" << "" << 4 << damaged;
    QTest::newRow("byte-flipped font object") << "fresh" << "flipped font" << "" << 4 << damaged;
    QTest::newRow("sound file embedded") << "fresh" << "sound" << "" << 4 << "";
    QTest::newRow("settings lock is a FIFO") << "fresh" << "sound" << "settings" << 0 << "";
    QTest::newRow("settings lock is a FIFO, embedded") << "fresh" << "sound" << "settings" << 4 << "";
}

// The worker in a child under a time limit: a refusal leaves the input as it
// was and writes nothing; a lock file that is a FIFO is set aside with a
// line on standard error, and the key files are still remembered.
void SigningWorkerTest::inputKeptSafe()
{
    constexpr int kTimeLimitMs = 20000;
    constexpr qint64 kMemoryLimit = 1024LL * 1024 * 1024;
    QFETCH(QString, output);
    QFETCH(QString, source);
    QFETCH(QString, fifo);
    QFETCH(int, mode);
    QFETCH(QString, error);
    setStore(QStringLiteral("vorn-ecp"), "[signing]\nrevocationMode=never\n");
    QTemporaryDir scratch;
    QVERIFY(QDir().mkpath(scratch.filePath(QStringLiteral("папка"))));
    const QString input = scratch.filePath(QStringLiteral("Договор.pdf"));
    const QByteArray bytes = sourcePdf(source);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(fixtures::writeFile(input, bytes));
    QString target = scratch.path() + output;
    if (output == QLatin1String("fresh"))
        target = scratch.filePath(QStringLiteral("out.pdf"));
    if (output == QLatin1String("symlink")) {
        target = scratch.filePath(QStringLiteral("папка/link.pdf"));
        QVERIFY(QFile::link(input, target));
    }
    if (output == QLatin1String("hard link")) {
        target = scratch.filePath(QStringLiteral("папка/hard.pdf"));
        QCOMPARE(::link(QFile::encodeName(input).constData(), QFile::encodeName(target).constData()), 0);
    }
    const QString lock = m_config + QStringLiteral("/vorn/vorn-ecp.conf.lock");
    if (!fifo.isEmpty())
        QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);

    const QString requestPath = request({{"inputPath", input}, {"outputPath", target}, {"mode", mode},
                                         {"certificatePath", m_keys.certificate}, {"privateKeyPath", m_keys.key}});
    const limitedchild::Outcome worker = limitedchild::run(kExecutable, {"--vorn-sign-file", requestPath}, kTimeLimitMs,
                                                           kMemoryLimit, workerEnvironment());
    const QDir configFolder(m_config + QStringLiteral("/vorn"));
    const QStringList aside = configFolder.entryList({QStringLiteral("vorn-ecp.conf.lock.corrupt-*")}, QDir::System);
    const bool fifoAside = aside.size() == 1 && limitedchild::isFifo(configFolder.filePath(aside.first()));
    for (const QString& name : aside)
        QFile::remove(configFolder.filePath(name));
    QFile::remove(lock);
    QVERIFY2(worker.inTime, "the worker was still running at the time limit");
    QVERIFY2(!worker.signal, worker.err.constData());
    const QJsonObject result = QJsonDocument::fromJson(worker.out).object();
    QCOMPARE(result.value("error").toString(), error);
    QCOMPARE(worker.exitCode, error.isEmpty() ? 0 : 5);
    QCOMPARE(fixtures::readFile(input), bytes);
    if (!error.isEmpty()) {
        if (output == QLatin1String("fresh"))
            QVERIFY(!QFileInfo::exists(target));
        return;
    }
    QVERIFY(fixtures::readFile(target).size() > bytes.size() / 2);
    QVERIFY(fileBytes(m_config + "/vorn/vorn-ecp.conf").contains("privateKeyPath"));
    if (fifo.isEmpty())
        return;
    QVERIFY(fifoAside);
    QVERIFY2(QString::fromLocal8Bit(worker.err).contains(lock + QLatin1Char(' ')), worker.err.constData());
}

void SigningWorkerTest::killedMidway_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("describe");

    QTest::newRow("detached") << 0 << false;
    QTest::newRow("attached") << 1 << false;
    QTest::newRow("embedded") << 4 << false;
    QTest::newRow("certificate described") << 3 << true;
}

// The worker killed while it signs (here while its chain check runs) in the
// scratch folder a window gave it: no file there holds the pass phrase.
void SigningWorkerTest::killedMidway()
{
    QFETCH(int, mode);
    QFETCH(bool, describe);
    setStore(QStringLiteral("vorn-ecp"), "[signing]\nrevocationMode=sign\n");
    QTemporaryDir root;
    const QString scratch = root.filePath(QStringLiteral("vorn-sign-Ab12Cd"));
    const QString checking = root.filePath(QStringLiteral("checking"));
    const QString started = root.filePath(QStringLiteral("started"));
    QVERIFY(QDir().mkpath(scratch) && QDir().mkpath(checking));
    QVERIFY(writeScript(checking + QStringLiteral("/openssl"),
                        "echo $$ > '" + started.toUtf8() + ".part' && mv '" + started.toUtf8() + ".part' '"
                            + started.toUtf8() + "'\nexec sleep 30\n"));
    QJsonObject object{{"inputPath", m_input}, {"outputPath", root.filePath(QStringLiteral("out.pdf"))},
                       {"mode", mode}, {"pkcs12Path", m_p12}, {"pkcs12Password", "secret"}};
    if (describe)
        object.insert("describeOnly", true);
    const QString requestPath = scratch + QStringLiteral("/vorn-sign-request-Ef34Gh.json");
    QVERIFY(fixtures::writeFile(requestPath, QJsonDocument(object).toJson()));

    QProcess worker;
    QProcessEnvironment environment = workerEnvironment(checking);
    environment.insert(QStringLiteral("TMPDIR"), scratch);
    worker.setProcessEnvironment(environment);
    worker.start(kExecutable, {QStringLiteral("--vorn-sign-file"), requestPath});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(started) || worker.state() == QProcess::NotRunning, 30000);
    QVERIFY2(worker.state() == QProcess::Running, worker.readAllStandardOutput().constData());
    worker.kill();
    QVERIFY(worker.waitForFinished(10000));
    const pid_t check = pid_t(fixtures::readFile(started).trimmed().toInt());
    if (check > 0)
        ::kill(check, SIGKILL);

    QStringList holding;
    QDirIterator files(scratch, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (fixtures::readFile(path).contains("secret"))
            holding << path;
    }
    QVERIFY2(holding.isEmpty(), qPrintable(holding.join(QLatin1Char(' '))));
}

void SigningWorkerTest::passPhrasesOnInput_data()
{
    QTest::addColumn<QJsonObject>("keys");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");  // its start; empty: signed

    const QJsonObject p12{{"pkcs12Path", m_p12}};
    const QByteArray secret(R"({"pkcs12Password":"secret"})");
    QTest::newRow("P12 pass phrase") << p12 << secret << 0 << "";
    QTest::newRow("PEM key pass phrase")
        << QJsonObject{{"certificatePath", m_keys.certificate}, {"privateKeyPath", m_encryptedKey}}
        << QByteArray(R"({"keyPassword":"ключ"})") << 0 << "";
    // Asked for on the input, the pass phrases come from there alone.
    QTest::newRow("a pass phrase in the file is not taken")
        << QJsonObject{{"pkcs12Path", m_p12}, {"pkcs12Password", "secret"}} << QByteArray("{}") << 5
        << "Не удалось извлечь сертификат/ключ из P12/PFX: ";
    QTest::newRow("nothing on the input") << p12 << QByteArray() << 4 << "Некорректные параметры подписи.";
    QTest::newRow("not an object") << p12 << QByteArray(R"(["secret"])") << 4 << "Некорректные параметры подписи.";
    QTest::newRow("oversized") << p12 << QByteArray(2 * 1024 * 1024, ' ') + secret << 4
                               << "Некорректные параметры подписи.";
}

// The pass phrases a window hands over through standard input, the
// request file holding none.
void SigningWorkerTest::passPhrasesOnInput()
{
    QFETCH(QJsonObject, keys);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    setStore(QStringLiteral("vorn-ecp"), "[signing]\nrevocationMode=never\n");
    const QString output = m_dir.filePath(QStringLiteral("input.sig"));
    QFile::remove(output);
    QJsonObject object = keys;
    object.insert("inputPath", m_input);
    object.insert("outputPath", output);
    object.insert("passwordsFromStdin", true);
    const Worker worker = run({"--vorn-sign-file", request(object)}, {}, input);
    QCOMPARE(worker.exitCode, exitCode);
    const QString shown = QJsonDocument::fromJson(worker.output).object().value("error").toString();
    QVERIFY2(error.isEmpty() ? shown.isEmpty() : shown.startsWith(error), worker.output.constData());
    QCOMPARE(QFileInfo::exists(output), exitCode == 0);
}

QTEST_GUILESS_MAIN(SigningWorkerTest)
#include "tst_signingworker.moc"
