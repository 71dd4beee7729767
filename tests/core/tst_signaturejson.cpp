// The JSON forms of the signing records: the key of every field, how
// mistyped or missing members read back, and round trips.
#include "SignatureJson.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

namespace {

// Every field different from its neighbours, so a swapped key shows.
SigningCertificate sampleCertificate()
{
    SigningCertificate c;
    c.id = QStringLiteral("linux-file|/k/a.p12");
    c.subject = QStringLiteral("CN=Иванов Иван,O=ООО Ромашка");
    c.issuer = QStringLiteral("CN=Issuer");
    c.serial = QStringLiteral("0A1B");
    c.thumbprint = QStringLiteral("AA:BB");
    c.providerName = QStringLiteral("OpenSSL CMS");
    c.containerName = QStringLiteral("/k/a.p12");
    c.storeName = QStringLiteral("Файл");
    c.publicKeyAlgorithm = QStringLiteral("RSA");
    c.validFrom = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5));
    c.validTo = QDateTime(QDate(2027, 6, 7), QTime(8, 9, 10));
    c.hasPrivateKey = true;
    c.privateKeyUsable = false;
    c.validNow = true;
    c.digitalSignatureAllowed = false;
    c.revocationChecked = true;
    c.revoked = false;
    c.available = true;
    c.unavailableReason = QStringLiteral("reason");
    c.validationStatus = QStringLiteral("status");
    return c;
}

// The names of the fields that differ.
QStringList differences(const SigningCertificate& a, const SigningCertificate& b)
{
    QStringList names;
    const auto check = [&names](bool same, const char* name) {
        if (!same)
            names << QLatin1String(name);
    };
    check(a.id == b.id, "id");
    check(a.subject == b.subject, "subject");
    check(a.issuer == b.issuer, "issuer");
    check(a.serial == b.serial, "serial");
    check(a.thumbprint == b.thumbprint, "thumbprint");
    check(a.providerName == b.providerName, "providerName");
    check(a.containerName == b.containerName, "containerName");
    check(a.storeName == b.storeName, "storeName");
    check(a.publicKeyAlgorithm == b.publicKeyAlgorithm, "publicKeyAlgorithm");
    check(a.validFrom == b.validFrom, "validFrom");
    check(a.validTo == b.validTo, "validTo");
    check(a.hasPrivateKey == b.hasPrivateKey, "hasPrivateKey");
    check(a.privateKeyUsable == b.privateKeyUsable, "privateKeyUsable");
    check(a.validNow == b.validNow, "validNow");
    check(a.digitalSignatureAllowed == b.digitalSignatureAllowed, "digitalSignatureAllowed");
    check(a.revocationChecked == b.revocationChecked, "revocationChecked");
    check(a.revoked == b.revoked, "revoked");
    check(a.available == b.available, "available");
    check(a.unavailableReason == b.unavailableReason, "unavailableReason");
    check(a.validationStatus == b.validationStatus, "validationStatus");
    return names;
}

QJsonObject parsed(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

class SignatureJsonTest : public QObject {
    Q_OBJECT

private slots:
    void certificateKeys();
    void certificateMistyped_data();
    void certificateMistyped();
    void certificateList_data();
    void certificateList();
    void requestRoundTrip();
    void requestMode_data();
    void requestMode();
    void result_data();
    void result();
    void resultRoundTrip();
    void childAnswer_data();
    void childAnswer();
};

// Written by hand, so both directions are held to the key names.
void SignatureJsonTest::certificateKeys()
{
    const SigningCertificate c = sampleCertificate();
    const QJsonObject object{
        {"id", c.id}, {"subject", c.subject}, {"issuer", c.issuer}, {"serial", c.serial},
        {"thumbprint", c.thumbprint}, {"providerName", c.providerName}, {"containerName", c.containerName},
        {"storeName", c.storeName}, {"publicKeyAlgorithm", c.publicKeyAlgorithm},
        {"validFrom", c.validFrom.toString(Qt::ISODate)}, {"validTo", c.validTo.toString(Qt::ISODate)},
        {"hasPrivateKey", true}, {"privateKeyUsable", false}, {"validNow", true}, {"digitalSignatureAllowed", false},
        {"revocationChecked", true}, {"revoked", false}, {"available", true},
        {"unavailableReason", c.unavailableReason}, {"validationStatus", c.validationStatus}};
    QCOMPARE(certificateToJson(c), object);
    QCOMPARE(differences(signingCertificateFromJson(object), c), QStringList());

    SigningCertificate undated = c;
    undated.validFrom = QDateTime();
    const QJsonObject written = certificateToJson(undated);
    QCOMPARE(written.value("validFrom"), QJsonValue(QString()));
    QCOMPARE(differences(signingCertificateFromJson(written), undated), QStringList());
}

void SignatureJsonTest::certificateMistyped_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("changed");  // fields that then differ from a blank certificate

    QTest::newRow("empty object") << QByteArray("{}") << QStringList();
    QTest::newRow("numbers and nulls for strings")
        << QByteArray(R"({"id":5,"subject":null,"serial":[1],"thumbprint":{},"validationStatus":true})")
        << QStringList();
    QTest::newRow("texts and numbers for bools")
        << QByteArray(R"({"hasPrivateKey":"true","validNow":1,"available":"yes","revoked":null})") << QStringList();
    QTest::newRow("junk dates") << QByteArray(R"({"validFrom":"yesterday","validTo":20250101})") << QStringList();
    QTest::newRow("true bools only")
        << QByteArray(R"({"revoked":true,"validNow":false,"subject":"CN=X"})") << QStringList{"subject", "revoked"};
    QTest::newRow("date with offset")
        << QByteArray(R"({"validTo":"2030-01-01T00:00:00Z"})") << QStringList{"validTo"};
}

void SignatureJsonTest::certificateMistyped()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, changed);
    const SigningCertificate read = signingCertificateFromJson(QJsonDocument::fromJson(json).object());
    QCOMPARE(differences(read, SigningCertificate()), changed);
    if (changed.contains("validTo"))
        QCOMPARE(read.validTo, QDateTime(QDate(2030, 1, 1), QTime(0, 0), QTimeZone::utc()));
}

void SignatureJsonTest::certificateList_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("subjects");

    QTest::newRow("objects in order")
        << QByteArray(R"({"ok":true,"certificates":[{"subject":"A"},{"subject":"B"},{"subject":"C"}]})")
        << QStringList{"A", "B", "C"};
    QTest::newRow("non-objects skipped")
        << QByteArray(R"({"certificates":[1,{"subject":"A"},"x",null,[{"subject":"N"}],{},{"subject":"B"}]})")
        << QStringList{"A", "", "B"};
    QTest::newRow("not an array") << QByteArray(R"({"certificates":{"subject":"A"}})") << QStringList();
    QTest::newRow("missing") << QByteArray(R"({"ok":false,"error":"none"})") << QStringList();
}

void SignatureJsonTest::certificateList()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, subjects);
    QStringList read;
    for (const SigningCertificate& certificate : signingCertificatesFromJson(QJsonDocument::fromJson(json).object()))
        read << certificate.subject;
    QCOMPARE(read, subjects);
}

void SignatureJsonTest::requestRoundTrip()
{
    SignatureRequest request;
    request.inputPath = QStringLiteral("/d/Договор №1.pdf");
    request.outputPath = QStringLiteral("/d/out.sig");
    request.certificateId = QStringLiteral("linux-file|/k/c.pem");
    request.mode = StampedPdfDetached;
    request.tsaUrl = QStringLiteral("http://tsa");
    request.certificatePath = QStringLiteral("/k/c.pem");
    request.privateKeyPath = QStringLiteral("/k/k.pem");
    request.keyPassword = QStringLiteral("пароль \"1\"");
    request.pkcs12Path = QStringLiteral("/k/a.p12");
    request.pkcs12Password = QStringLiteral("p12");

    const QJsonObject object = signatureRequestToJson(request);
    QCOMPARE(object, (QJsonObject{{"inputPath", request.inputPath}, {"outputPath", request.outputPath},
                                  {"certificateId", request.certificateId}, {"mode", 3}, {"tsaUrl", request.tsaUrl},
                                  {"certificatePath", request.certificatePath},
                                  {"privateKeyPath", request.privateKeyPath}, {"keyPassword", request.keyPassword},
                                  {"pkcs12Path", request.pkcs12Path}, {"pkcs12Password", request.pkcs12Password}}));
    QVERIFY(object.value("mode").isDouble());

    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const SignatureRequest read = signatureRequestFromJson(QJsonDocument::fromJson(text).object());
    QCOMPARE(read.inputPath, request.inputPath);
    QCOMPARE(read.outputPath, request.outputPath);
    QCOMPARE(read.certificateId, request.certificateId);
    QCOMPARE(read.mode, request.mode);
    QCOMPARE(read.tsaUrl, request.tsaUrl);
    QCOMPARE(read.certificatePath, request.certificatePath);
    QCOMPARE(read.privateKeyPath, request.privateKeyPath);
    QCOMPARE(read.keyPassword, request.keyPassword);
    QCOMPARE(read.pkcs12Path, request.pkcs12Path);
    QCOMPARE(read.pkcs12Password, request.pkcs12Password);
}

void SignatureJsonTest::requestMode_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("mode");

    QTest::newRow("embedded") << QByteArray(R"({"mode":4})") << 4;
    QTest::newRow("missing") << QByteArray(R"({"inputPath":"a"})") << 0;
    QTest::newRow("text") << QByteArray(R"({"mode":"1"})") << 0;
    QTest::newRow("above range") << QByteArray(R"({"mode":5})") << 0;
    QTest::newRow("negative") << QByteArray(R"({"mode":-1})") << 0;
    QTest::newRow("fraction") << QByteArray(R"({"mode":1.5})") << 0;
}

void SignatureJsonTest::requestMode()
{
    QFETCH(QByteArray, json);
    QFETCH(int, mode);
    QCOMPARE(int(signatureRequestFromJson(QJsonDocument::fromJson(json).object()).mode), mode);
}

void SignatureJsonTest::result_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("requestMode");
    QTest::addColumn<qint64>("outputSize");
    QTest::addColumn<QByteArray>("sha256");
    QTest::addColumn<int>("mode");

    QTest::newRow("size as text") << QByteArray(R"({"outputSize":"1234","mode":1})") << 0 << qint64(1234)
                                  << QByteArray() << 1;
    QTest::newRow("size beyond 32 bits") << QByteArray(R"({"outputSize":"5000000000"})") << 4
                                         << qint64(5000000000) << QByteArray() << 4;
    QTest::newRow("size as number") << QByteArray(R"({"outputSize":1234})") << 0 << qint64(0) << QByteArray() << 0;
    QTest::newRow("size junk") << QByteArray(R"({"outputSize":"12kB"})") << 0 << qint64(0) << QByteArray() << 0;
    QTest::newRow("size hex") << QByteArray(R"({"outputSize":"0x10"})") << 0 << qint64(0) << QByteArray() << 0;
    QTest::newRow("size too large") << QByteArray(R"({"outputSize":"99999999999999999999"})") << 0 << qint64(0)
                                    << QByteArray() << 0;
    QTest::newRow("hash lower case") << QByteArray(R"({"documentSha256":"00ff7a"})") << 0 << qint64(0)
                                     << QByteArray("\x00\xff\x7a", 3) << 0;
    QTest::newRow("hash upper case") << QByteArray(R"({"documentSha256":"ABCD"})") << 0 << qint64(0)
                                     << QByteArray("\xab\xcd", 2) << 0;
    QTest::newRow("hash as number") << QByteArray(R"({"documentSha256":1234})") << 0 << qint64(0) << QByteArray()
                                    << 0;
    QTest::newRow("mode missing takes the request's") << QByteArray(R"({"ok":true})") << 3 << qint64(0)
                                                      << QByteArray() << 3;
    QTest::newRow("mode as text takes the request's") << QByteArray(R"({"mode":"1"})") << 4 << qint64(0)
                                                      << QByteArray() << 4;
    QTest::newRow("mode out of range takes the request's") << QByteArray(R"({"mode":7})") << 1 << qint64(0)
                                                           << QByteArray() << 1;
    QTest::newRow("mode 0 stays 0") << QByteArray(R"({"mode":0})") << 4 << qint64(0) << QByteArray() << 0;
}

void SignatureJsonTest::result()
{
    QFETCH(QByteArray, json);
    QFETCH(int, requestMode);
    QFETCH(qint64, outputSize);
    QFETCH(QByteArray, sha256);
    QFETCH(int, mode);
    const SignatureResult read = signatureResultFromJson(QJsonDocument::fromJson(json).object(),
                                                         SignatureMode(requestMode));
    QCOMPARE(read.outputSize, outputSize);
    QCOMPARE(read.documentSha256, sha256);
    QCOMPARE(int(read.mode), mode);
}

void SignatureJsonTest::resultRoundTrip()
{
    SignatureResult result;
    result.ok = true;
    result.error = QStringLiteral("нет");
    result.outputPath = QStringLiteral("/d/out.signed.pdf");
    result.outputSize = 7654321;
    result.documentSha256 = QByteArray::fromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    result.signer = QStringLiteral("CN=Test Signer");
    result.signedAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    result.mode = EmbeddedPdf;
    // Beyond what a JSON number holds exactly.
    result.outputIdentity = FileIdentity::fromNumbers(0xfffffffffffffff1ULL, (1ULL << 53) + 1);

    const QJsonObject object = signatureResultToJson(result);
    QCOMPARE(object.value("outputSize"), QJsonValue(QStringLiteral("7654321")));
    QCOMPARE(object.value("documentSha256").toString(),
             QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    const SignatureResult read = signatureResultFromJson(object, DetachedCms);
    QCOMPARE(read.ok, result.ok);
    QCOMPARE(read.error, result.error);
    QCOMPARE(read.outputPath, result.outputPath);
    QCOMPARE(read.outputSize, result.outputSize);
    QCOMPARE(read.documentSha256, result.documentSha256);
    QCOMPARE(read.signer, result.signer);
    QCOMPARE(read.signedAt, result.signedAt);
    QCOMPARE(read.mode, result.mode);
    QCOMPARE(read.outputIdentity, result.outputIdentity);

    // A failure before the input was read: no hash, no time, nothing ok.
    const SignatureResult failed = signatureResultFromJson(signatureResultToJson(SignatureResult()), AttachedCms);
    QVERIFY(!failed.ok);
    QVERIFY(failed.documentSha256.isEmpty());
    QVERIFY(!failed.signedAt.isValid());
    QCOMPARE(failed.mode, DetachedCms);
    QVERIFY(!failed.outputIdentity.isValid());
    QCOMPARE(signatureResultFromJson(parsed(R"({"ok":"true"})"), DetachedCms).ok, false);
}

void SignatureJsonTest::childAnswer_data()
{
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QString>("identity");  // of the file it names: "own", "another file's" or "none"
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");  // its start

    const QString written = QStringLiteral("<written>");
    const QString missing = QStringLiteral("Процесс подписи сообщил об успехе, но файла результата нет: ");
    QTest::newRow("success with its output") << QJsonObject{{"ok", true}, {"outputPath", written}} << "own" << true
                                             << "";
    QTest::newRow("success without an output path")
        << QJsonObject{{"ok", true}, {"error", ""}} << "own" << false
        << "Процесс подписи сообщил об успехе, но не назвал файл результата.";
    QTest::newRow("success with a blank output path") << QJsonObject{{"ok", true}, {"outputPath", "  "}} << "own"
                                                      << false << "Процесс подписи сообщил об успехе, но не назвал";
    QTest::newRow("success naming a file that is not there")
        << QJsonObject{{"ok", true}, {"outputPath", "<missing>"}} << "own" << false << missing;
    QTest::newRow("success naming a folder") << QJsonObject{{"ok", true}, {"outputPath", "<folder>"}} << "own"
                                             << false << missing;
    // Another run took the name since: that file is not this run's.
    QTest::newRow("success whose name holds another file")
        << QJsonObject{{"ok", true}, {"outputPath", written}} << "another file's" << false << missing;
    QTest::newRow("success without the file's identity")
        << QJsonObject{{"ok", true}, {"outputPath", written}} << "none" << false << missing;
    QTest::newRow("failure keeps its own text")
        << QJsonObject{{"ok", false}, {"error", "Ключ не подходит"}} << "none" << false << "Ключ не подходит";
}

// A child's success counts only with the very file it wrote under the name
// it gives.
void SignatureJsonTest::childAnswer()
{
    QFETCH(QJsonObject, answer);
    QFETCH(QString, identity);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString written = dir.filePath(QStringLiteral("out.sig"));
    const QString other = dir.filePath(QStringLiteral("other.sig"));
    for (const QString& name : {written, other}) {
        QFile file(name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("DER") == 3);
    }
    const QString path = answer.value("outputPath").toString();
    if (path == QLatin1String("<written>"))
        answer.insert("outputPath", written);
    else if (path == QLatin1String("<missing>"))
        answer.insert("outputPath", dir.filePath(QStringLiteral("gone.sig")));
    else if (path == QLatin1String("<folder>"))
        answer.insert("outputPath", dir.path());
    if (identity != QLatin1String("none")) {
        const FileIdentity file = FileIdentity::of(identity == QLatin1String("own") ? written : other);
        answer.insert("outputDevice", QString::number(file.device()));
        answer.insert("outputInode", QString::number(file.inode()));
    }
    SignatureRequest request;
    request.mode = AttachedCms;
    request.outputPath = written;
    const SignatureResult result = signingChildResult(answer, request);
    QCOMPARE(result.ok, ok);
    QVERIFY2(error.isEmpty() ? result.error.isEmpty() : result.error.startsWith(error), qPrintable(result.error));
    QCOMPARE(result.mode, AttachedCms);
    if (ok)
        QCOMPARE(result.outputIdentity, FileIdentity::of(written));
}

QTEST_GUILESS_MAIN(SignatureJsonTest)
#include "tst_signaturejson.moc"
