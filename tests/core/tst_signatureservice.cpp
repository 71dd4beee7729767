// signFile and the certificate list: the order of refusals, the loaders, the
// settings a signature leaves, the names and dates shown, and signatures
// checked with the openssl program.
#include "PdfFixtures.h"
#include "SignatureService.h"
#include "SigningFixtures.h"
#include "WorkMeter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QFile>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/resource.h>

#include <csignal>

using namespace signingfixtures;

namespace {

const QString kPassword = QStringLiteral("секрет-1");

void setRevocationMode(const QString& mode)
{
    QSettings settings;
    if (mode.isEmpty())
        settings.remove(QStringLiteral("signing/revocationMode"));
    else
        settings.setValue(QStringLiteral("signing/revocationMode"), mode);
}

// Wraps DER bytes as PEM, whatever they hold.
QByteArray pem(const QByteArray& der, const char* label)
{
    QByteArray text = "-----BEGIN " + QByteArray(label) + "-----\n";
    const QByteArray base64 = der.toBase64();
    for (qsizetype at = 0; at < base64.size(); at += 64)
        text += base64.mid(at, 64) + '\n';
    return text + "-----END " + QByteArray(label) + "-----\n";
}

// The DER file with the RSA key's OID replaced by one no provider knows, as
// a GOST key looks here.
QByteArray unknownKeyAlgorithm(const QByteArray& der)
{
    QByteArray hex = der.toHex();
    hex.replace("2a864886f70d010101", "2a864886f70d010163");
    return QByteArray::fromHex(hex);
}

} // namespace

class SignatureServiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void outputPaths_data();
    void outputPaths();
    void refusals_data();
    void refusals();
    void signaturesVerify_data();
    void signaturesVerify();
    void settingsAfterSigning();
    void signerNames_data();
    void signerNames();
    void listedDates_data();
    void listedDates();
    void undecodableKey();
    void writeFailures_data();
    void writeFailures();
    void tooLargeInput();
    void keyMessages_data();
    void keyMessages();
    void validityInWords_data();
    void validityInWords();
    void cadesWithChain_data();
    void cadesWithChain();

private:
    QString file(const QString& name) const { return m_files.value(name, QDir(m_dir.path()).filePath(name)); }
    void configureListing(const QString& certificate, const QString& key);

    QTemporaryDir m_dir;
    QHash<QString, QString> m_files;
};

void SignatureServiceTest::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-ecp"));
    QVERIFY(m_dir.isValid());
    const QString dir = m_dir.path();
    const KeyPair good = selfSigned(dir, QStringLiteral("good"), cyrillicSubject());
    const KeyPair other = selfSigned(dir, QStringLiteral("other"), QStringLiteral("/CN=Other"));
    QVERIFY(!good.certificate.isEmpty() && !other.certificate.isEmpty());
    m_files = {{"cert", good.certificate}, {"key", good.key}, {"otherKey", other.key}};

    QVERIFY(redated(good, "20900101000000Z", "20951231000000Z", file("future.pem")));
    QVERIFY(redated(good, "20000101000000Z", "20010101000000Z", file("expired.pem")));
    QCOMPARE(openssl(dir, {"pkey", "-in", good.key, "-aes256", "-passout", "pass:" + kPassword, "-out",
                           file("encrypted.key")}).exitCode, 0);
    QCOMPARE(openssl(dir, {"pkcs12", "-export", "-in", good.certificate, "-inkey", good.key, "-passout",
                           "pass:" + kPassword, "-out", file("t.p12")}).exitCode, 0);
    QCOMPARE(openssl(dir, {"pkcs12", "-export", "-legacy", "-in", good.certificate, "-inkey", good.key, "-passout",
                           "pass:" + kPassword, "-out", file("old.p12")}).exitCode, 0);
    QCOMPARE(openssl(dir, {"x509", "-in", good.certificate, "-outform", "DER", "-out", file("cert.der")}).exitCode, 0);
    QCOMPARE(openssl(dir, {"pkcs8", "-topk8", "-nocrypt", "-in", good.key, "-outform", "DER", "-out",
                           file("key.der")}).exitCode, 0);
    QFile gostKey(file("gost.key"));
    QVERIFY(gostKey.open(QIODevice::WriteOnly));
    gostKey.write(pem(unknownKeyAlgorithm(fileBytes(file("key.der"))), "PRIVATE KEY"));
    gostKey.close();
    QFile gostCert(file("gost.pem"));
    QVERIFY(gostCert.open(QIODevice::WriteOnly));
    gostCert.write(pem(unknownKeyAlgorithm(fileBytes(file("cert.der"))), "CERTIFICATE"));
    gostCert.close();

    QFile pdf(file("a.pdf"));
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    pdf.write(fixtures::textPdf({QStringLiteral("Contract")}));
    pdf.close();
    QFile text(file("a.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("plain text\r\n");
    text.close();
    QDir(dir).mkdir(QStringLiteral("folder.pdf"));
    // A signer issued by a CA, with the CA in its container and after it in
    // its PEM file.
    QCOMPARE(openssl(dir, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-utf8", "-subj", "/CN=Тестовый УЦ/C=RU",
                           "-days", "30", "-addext", "basicConstraints=critical,CA:TRUE", "-keyout", file("ca.key"),
                           "-out", file("ca.pem")}).exitCode, 0);
    QCOMPARE(openssl(dir, {"req", "-new", "-newkey", "rsa:2048", "-nodes", "-utf8", "-subj",
                           "/C=RU/O=ООО Ромашка/CN=Иванов Иван Иванович/SN=Иванов/GN=Иван Иванович", "-keyout",
                           file("issued.key"), "-out", file("issued.csr")}).exitCode, 0);
    QCOMPARE(openssl(dir, {"x509", "-req", "-in", file("issued.csr"), "-CA", file("ca.pem"), "-CAkey", file("ca.key"),
                           "-days", "10", "-out", file("issued.pem")}).exitCode, 0);
    QFile chain(file("chain.pem"));
    QVERIFY(chain.open(QIODevice::WriteOnly));
    chain.write(fileBytes(file("issued.pem")) + fileBytes(file("ca.pem")) + fileBytes(file("issued.pem")));
    chain.close();
    QCOMPARE(openssl(dir, {"pkcs12", "-export", "-in", file("issued.pem"), "-inkey", file("issued.key"), "-certfile",
                           file("ca.pem"), "-passout", "pass:" + kPassword, "-out", file("issued.p12")}).exitCode, 0);
    QFile big(file("big.pem"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write(fileBytes(good.certificate).repeated(4000));
    big.close();
}

void SignatureServiceTest::init()
{
    QSettings().clear();
    setRevocationMode(QStringLiteral("never"));
}

void SignatureServiceTest::outputPaths_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("output");

    QTest::newRow("detached keeps the whole name") << "/x/report.final.pdf" << 0 << "/x/report.final.pdf.sig";
    QTest::newRow("attached drops the last suffix") << "/x/report.final.pdf" << 1 << "/x/report.final.p7m";
    QTest::newRow("stamped is detached") << "/x/report.final.pdf" << 3 << "/x/report.final.pdf.sig";
    QTest::newRow("embedded") << "/x/report.final.pdf" << 4 << "/x/report.final.signed.pdf";
    QTest::newRow("no base name") << "/x/.pdf" << 4 << "/x/document.signed.pdf";
    QTest::newRow("unknown mode is detached") << "/x/a" << 7 << "/x/a.sig";
}

void SignatureServiceTest::outputPaths()
{
    QFETCH(QString, input);
    QFETCH(int, mode);
    QFETCH(QString, output);
    QCOMPARE(SignatureService::defaultOutputPath(input, SignatureMode(mode)), output);
}

void SignatureServiceTest::refusals_data()
{
    QTest::addColumn<QString>("revocation");  // the setting; empty: not set
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("keyFiles");  // certificate, key, key pass, p12, p12 pass
    QTest::addColumn<QString>("error");         // its start; empty: success
    QTest::addColumn<bool>("hashed");
    QTest::addColumn<bool>("signer");

    const QString never = QStringLiteral("never");
    const QStringList pem{"cert", "key", "", "", ""};
    QTest::newRow("missing input: no hash") << never << "missing.txt" << 0 << pem
                                            << "Не удалось открыть исходный файл: " << false << false;
    QTest::newRow("folder as input: no hash") << never << "folder.pdf" << 4 << pem
                                              << "Не удалось открыть исходный файл: " << false << false;
    QTest::newRow("certificate without key") << never << "a.txt" << 0 << QStringList{"cert", " ", "", "", ""}
                                             << "Для Linux укажите PEM-сертификат и закрытый ключ" << true << false;
    QTest::newRow("nothing given") << never << "a.txt" << 0 << QStringList{"", "", "", " ", ""}
                                   << "Для Linux укажите PEM-сертификат и закрытый ключ" << true << false;
    QTest::newRow("unsupported mode after hashing") << never << "a.txt" << 5 << pem
                                                    << "Этот режим подписи будет включён следующим этапом." << true
                                                    << false;
    QTest::newRow("negative mode") << never << "a.txt" << -1 << pem << "Этот режим подписи" << true << false;
    QTest::newRow("future certificate before key match")
        << never << "a.txt" << 0 << QStringList{"future.pem", "otherKey", "", "", ""}
        << "Сертификат ещё не начал действовать: срок его действия с " << true << false;
    QTest::newRow("expired certificate") << never << "a.txt" << 0 << QStringList{"expired.pem", "key", "", "", ""}
                                         << "Срок действия сертификата истёк: он действовал с " << true << false;
    QTest::newRow("key of another certificate") << never << "a.txt" << 0 << QStringList{"cert", "otherKey", "", "", ""}
                                                << "Закрытый ключ не соответствует сертификату: " << true << false;
    QTest::newRow("missing certificate") << never << "a.txt" << 0 << QStringList{"none.pem", "key", "", "", ""}
                                         << "Не удалось открыть сертификат: " << true << false;
    QTest::newRow("DER certificate") << never << "a.txt" << 0 << QStringList{"cert.der", "key", "", "", ""}
                                     << "Не удалось прочитать PEM/CRT сертификат: " << true << false;
    QTest::newRow("key is a device") << never << "a.txt" << 0 << QStringList{"cert", "/dev/zero", "", "", ""}
                                     << "Не удалось открыть закрытый ключ: " << true << false;
    QTest::newRow("container is a device") << never << "a.txt" << 0 << QStringList{"", "", "", "/dev/urandom", ""}
                                           << "Не удалось открыть P12/PFX контейнер: " << true << false;
    QTest::newRow("oversized certificate") << never << "a.txt" << 0 << QStringList{"big.pem", "key", "", "", ""}
                                           << "Не удалось открыть сертификат: " << true << false;
    QTest::newRow("missing key") << never << "a.txt" << 0 << QStringList{"cert", "none.key", "", "", ""}
                                 << "Не удалось открыть закрытый ключ: " << true << false;
    QTest::newRow("encrypted key, no pass phrase") << never << "a.txt" << 0
                                                   << QStringList{"cert", "encrypted.key", "", "", ""}
                                                   << "Не удалось прочитать PEM закрытый ключ: " << true << false;
    QTest::newRow("encrypted key, wrong pass phrase") << never << "a.txt" << 0
                                                      << QStringList{"cert", "encrypted.key", "wrong", "", ""}
                                                      << "Не удалось прочитать PEM закрытый ключ: " << true << false;
    QTest::newRow("encrypted key with its pass phrase") << never << "a.txt" << 0
                                                        << QStringList{"cert", "encrypted.key", kPassword, "", ""} << ""
                                                        << true << true;
    QTest::newRow("GOST-like key cannot be read") << never << "a.txt" << 0 << QStringList{"cert", "gost.key", "", "", ""}
                                                  << "Не удалось прочитать PEM закрытый ключ: " << true << false;
    QTest::newRow("GOST-like certificate does not match") << never << "a.txt" << 0
                                                          << QStringList{"gost.pem", "key", "", "", ""}
                                                          << "Закрытый ключ не соответствует сертификату: " << true
                                                          << false;
    QTest::newRow("container wins over a bad pair") << never << "a.txt" << 1
                                                    << QStringList{"cert", "otherKey", "", "t.p12", kPassword} << ""
                                                    << true << true;
    QTest::newRow("legacy container") << never << "a.txt" << 0 << QStringList{"", "", "", "old.p12", kPassword} << ""
                                      << true << true;
    QTest::newRow("container, wrong pass phrase") << never << "a.txt" << 0
                                                  << QStringList{"", "", "", "t.p12", "wrong"}
                                                  << "Не удалось извлечь сертификат/ключ из P12/PFX: " << true << false;
    QTest::newRow("PEM file as container") << never << "a.txt" << 0 << QStringList{"", "", "", "cert", ""}
                                           << "Не удалось прочитать P12/PFX контейнер: " << true << false;
    QTest::newRow("missing container") << never << "a.txt" << 0 << QStringList{"", "", "", "none.p12", ""}
                                       << "Не удалось открыть P12/PFX контейнер: " << true << false;
    QTest::newRow("CAdES-T keeps the signer") << never << "a.txt" << 2 << pem << "CAdES-T на Linux требует" << true
                                              << true;
    QTest::newRow("embedded needs a PDF") << never << "a.txt" << 4 << pem << "Встроенная подпись доступна только для PDF."
                                          << true << false;
    QTest::newRow("chain check by default") << "" << "a.txt" << 0 << pem
                                            << "Сертификат не прошёл проверку цепочки/отзыва: " << true << false;
    QTest::newRow("capitalised mode counts as sign") << "Search" << "a.txt" << 0 << pem
                                                     << "Сертификат не прошёл проверку цепочки/отзыва: " << true
                                                     << false;
    QTest::newRow("search mode does not check when signing") << "search" << "a.txt" << 0 << pem << "" << true << true;
}

void SignatureServiceTest::refusals()
{
    QFETCH(QString, revocation);
    QFETCH(QString, input);
    QFETCH(int, mode);
    QFETCH(QStringList, keyFiles);
    QFETCH(QString, error);
    QFETCH(bool, hashed);
    QFETCH(bool, signer);
    setRevocationMode(revocation);
    const auto path = [this](const QString& name) { return name.trimmed().isEmpty() ? name : file(name); };
    SignatureRequest request;
    request.inputPath = file(input);
    request.outputPath = file(QStringLiteral("out.bin"));
    request.mode = SignatureMode(mode);
    request.certificatePath = path(keyFiles.at(0));
    request.privateKeyPath = path(keyFiles.at(1));
    request.keyPassword = keyFiles.at(2);
    request.pkcs12Path = path(keyFiles.at(3));
    request.pkcs12Password = keyFiles.at(4);
    QFile::remove(request.outputPath);
    const QByteArray before = fileBytes(request.inputPath);

    const SignatureResult result = SignatureService::signFile(request);
    QCOMPARE(result.ok, error.isEmpty());
    QVERIFY2(error.isEmpty() ? result.error.isEmpty() : result.error.startsWith(error), qPrintable(result.error));
    QCOMPARE(result.documentSha256.isEmpty(), !hashed);
    if (hashed)
        QCOMPARE(result.documentSha256, QCryptographicHash::hash(before, QCryptographicHash::Sha256));
    QCOMPARE(result.signer.isEmpty(), !signer);
    QCOMPARE(result.mode, SignatureMode(mode));
    QVERIFY(result.signedAt.isValid());
    QCOMPARE(QFile::exists(request.outputPath), result.ok);
    QCOMPARE(result.outputSize, result.ok ? QFileInfo(request.outputPath).size() : 0);
    QCOMPARE(fileBytes(request.inputPath), before);
    // Only a signature that was written remembers its key files.
    const QSettings settings;
    QCOMPARE(settings.contains(QStringLiteral("signing/linux/privateKeyPath"))
                 || settings.contains(QStringLiteral("signing/linux/pkcs12Path")),
             result.ok);
}

void SignatureServiceTest::signaturesVerify_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("input");

    QTest::newRow("detached, PEM, binary bytes kept") << 0 << "" << "a.txt";
    QTest::newRow("stamped copy is detached") << 3 << "" << "a.pdf";
    QTest::newRow("attached from a container") << 1 << "t.p12" << "a.pdf";
    QTest::newRow("attached from a legacy container") << 1 << "old.p12" << "a.txt";
}

void SignatureServiceTest::signaturesVerify()
{
    QFETCH(int, mode);
    QFETCH(QString, container);
    QFETCH(QString, input);
    SignatureRequest request;
    request.inputPath = file(input);
    request.outputPath = file(QStringLiteral("verify.out"));
    request.mode = SignatureMode(mode);
    if (container.isEmpty()) {
        request.certificatePath = file("cert");
        request.privateKeyPath = file("key");
    } else {
        request.pkcs12Path = file(container);
        request.pkcs12Password = kPassword;
    }
    const SignatureResult result = SignatureService::signFile(request);
    QVERIFY2(result.ok, qPrintable(result.error));
    QStringList verify{"cms", "-verify", "-binary", "-inform", "DER", "-in", result.outputPath, "-CAfile",
                       file("cert"), "-out", file("content.out")};
    if (mode != AttachedCms)
        verify << "-content" << request.inputPath;
    const Run run = openssl(m_dir.path(), verify);
    QVERIFY2(run.exitCode == 0, run.output.constData());
    QCOMPARE(fileBytes(file("content.out")), fileBytes(request.inputPath));
}

void SignatureServiceTest::settingsAfterSigning()
{
    SignatureRequest request;
    request.inputPath = file("a.txt");
    request.outputPath = file("settings.sig");
    request.certificatePath = file("cert");
    request.privateKeyPath = file("encrypted.key");
    request.keyPassword = kPassword;
    QVERIFY(SignatureService::signFile(request).ok);
    QSettings settings;
    QCOMPARE(settings.value("signing/linux/certificatePath").toString(), request.certificatePath);
    QCOMPARE(settings.value("signing/linux/privateKeyPath").toString(), request.privateKeyPath);
    QVERIFY(!settings.contains("signing/linux/pkcs12Path"));

    request.pkcs12Path = file("t.p12");
    request.pkcs12Password = kPassword;
    QVERIFY(SignatureService::signFile(request).ok);
    settings.sync();
    QCOMPARE(settings.value("signing/linux/pkcs12Path").toString(), request.pkcs12Path);
    QVERIFY(!settings.contains("signing/linux/certificatePath"));
    QVERIFY(!settings.contains("signing/linux/privateKeyPath"));
    const QByteArray stored = fileBytes(settings.fileName());
    QVERIFY(!stored.isEmpty());
    QVERIFY(!stored.contains(kPassword.toUtf8()));
    QVERIFY(!stored.contains(QUrl::toPercentEncoding(kPassword)));
}

void SignatureServiceTest::signerNames_data()
{
    QTest::addColumn<QString>("subject");

    QTest::newRow("Cyrillic kept as UTF-8") << cyrillicSubject();
    QTest::newRow("special characters stay escaped") << QStringLiteral("/CN=Рога, Копыта; Ко/O=Кавычки \"Ромашка\"/C=RU");
    QTest::newRow("Latin") << QStringLiteral("/C=RU/O=Org/CN=Test Signer");
}

void SignatureServiceTest::signerNames()
{
    QFETCH(QString, subject);
    const KeyPair pair = selfSigned(m_dir.path(), QStringLiteral("names"), subject);
    QVERIFY(!pair.certificate.isEmpty());
    const QString expected = opensslSubject(pair.certificate);
    QVERIFY(!expected.isEmpty());
    SignatureRequest request;
    request.inputPath = file("a.txt");
    request.outputPath = file("names.sig");
    request.certificatePath = pair.certificate;
    request.privateKeyPath = pair.key;
    const SignatureResult result = SignatureService::signFile(request);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.signer, expected);
    QVERIFY(!result.signer.contains(QLatin1String("\\D0")));

    configureListing(pair.certificate, pair.key);
    QString error;
    const QList<SigningCertificate> list = SignatureService::availableCertificates(&error);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().subject, expected);
    QCOMPARE(list.first().issuer, expected);
}

void SignatureServiceTest::configureListing(const QString& certificate, const QString& key)
{
    QSettings settings;
    settings.setValue("signing/linux/certificatePath", certificate);
    settings.setValue("signing/linux/privateKeyPath", key);
}

void SignatureServiceTest::listedDates_data()
{
    QTest::addColumn<QString>("notAfter");
    QTest::addColumn<QDateTime>("validTo");

    const QTimeZone utc = QTimeZone::utc();
    QTest::newRow("due on the 5th") << "20300105093000Z" << QDateTime(QDate(2030, 1, 5), QTime(9, 30), utc);
    QTest::newRow("day 25") << "20301225235959Z" << QDateTime(QDate(2030, 12, 25), QTime(23, 59, 59), utc);
    QTest::newRow("generalized time on the 1st") << "20600201000000Z" << QDateTime(QDate(2060, 2, 1), QTime(0, 0), utc);
    QTest::newRow("fractional seconds") << "20600309101112.75Z" << QDateTime(QDate(2060, 3, 9), QTime(10, 11, 12), utc);
}

void SignatureServiceTest::listedDates()
{
    QFETCH(QString, notAfter);
    QFETCH(QDateTime, validTo);
    const QString path = file(QStringLiteral("dated.pem"));
    QVERIFY(redated({file("cert"), file("key")}, "20200101000000Z", notAfter, path));
    configureListing(path, file("key"));
    QString error;
    const QList<SigningCertificate> list = SignatureService::availableCertificates(&error);
    QCOMPARE(list.size(), 1);
    const SigningCertificate& entry = list.first();
    QCOMPARE(entry.validTo, validTo.toLocalTime());
    QCOMPARE(entry.validTo.timeSpec(), Qt::LocalTime);
    QCOMPARE(entry.validFrom, QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc()).toLocalTime());
    QVERIFY(entry.available);
    QCOMPARE(entry.thumbprint.size(), 59);
    QCOMPARE(entry.thumbprint.count(QLatin1Char(':')), 19);
    QCOMPARE(entry.publicKeyAlgorithm, QStringLiteral("RSA"));
}

// A key this build cannot decode (GOST without its provider) is listed with
// no algorithm and no usable key; nothing fails harder than that.
void SignatureServiceTest::undecodableKey()
{
    configureListing(file("gost.pem"), file("key"));
    QString error;
    const QList<SigningCertificate> list = SignatureService::availableCertificates(&error);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().publicKeyAlgorithm, QString());
    QVERIFY(!list.first().privateKeyUsable);
    QVERIFY(!list.first().available);
    QCOMPARE(list.first().subject, opensslSubject(file("cert")));
    QCOMPARE(list.first().thumbprint.size(), 59);
}

void SignatureServiceTest::writeFailures_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error");

    QTest::newRow("detached") << 0 << "Не удалось записать подпись: ";
    QTest::newRow("attached") << 1 << "Не удалось записать подпись: ";
    QTest::newRow("embedded") << 4 << "Не удалось записать PDF со встроенной подписью: ";
    QTest::newRow("embedded, cut short at once") << 5 << "Не удалось записать PDF со встроенной подписью: ";
}

// A full disk or a file-size limit mid-write: the old output stays whole and
// the call fails. Root ignores permissions, so the limit is a file-size one.
void SignatureServiceTest::writeFailures()
{
    QFETCH(int, mode);
    QFETCH(QString, error);
    const QString output = file(QStringLiteral("limited.out"));
    const QByteArray old(4000, 'x');
    QFile previous(output);
    QVERIFY(previous.open(QIODevice::WriteOnly));
    previous.write(old);
    previous.close();
    SignatureRequest request;
    // Row 5 is mode 4 with a limit below the source's own size.
    const bool cutAtOnce = mode == 5;
    if (cutAtOnce)
        mode = EmbeddedPdf;
    request.inputPath = file(mode == EmbeddedPdf ? "a.pdf" : "a.txt");
    request.outputPath = output;
    request.mode = SignatureMode(mode);
    request.certificatePath = file("cert");
    request.privateKeyPath = file("key");

    // The embedded signature's output is larger than its source.
    const rlim_t limit = cutAtOnce ? 600 : mode == EmbeddedPdf ? 100000 : 300;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = limit;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    const SignatureResult result = SignatureService::signFile(request);
    setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(!result.ok);
    QVERIFY2(result.error.startsWith(error), qPrintable(result.error));
    QCOMPARE(fileBytes(output), old);
    QVERIFY(!QSettings().contains(QStringLiteral("signing/linux/privateKeyPath")));
    const QStringList leftovers = QDir(m_dir.path()).entryList({QStringLiteral("limited.out*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(leftovers, QStringList{QStringLiteral("limited.out")});
}

void SignatureServiceTest::tooLargeInput()
{
    const QString path = file(QStringLiteral("huge.pdf"));
    QFile huge(path);
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.resize(Q_INT64_C(3) * 1024 * 1024 * 1024));  // sparse: never read
    huge.close();
    for (const int mode : {0, 4}) {
        SignatureRequest request;
        request.inputPath = path;
        request.outputPath = file(QStringLiteral("huge.out"));
        request.mode = SignatureMode(mode);
        request.certificatePath = file("cert");
        request.privateKeyPath = file("key");
        const workmeter::Meter work;
        const SignatureResult result = SignatureService::signFile(request);
        QVERIFY2(work.bytesRead() < 16 * 1024 * 1024, qPrintable(QString::number(work.bytesRead())));
        QCOMPARE(result.error, QStringLiteral("Файл слишком большой для текущего режима подписи в памяти."));
        QVERIFY(result.documentSha256.isEmpty());
        QVERIFY(!QFile::exists(request.outputPath));
    }
    QFile::remove(path);
}

void SignatureServiceTest::keyMessages_data()
{
    QTest::addColumn<QStringList>("keyFiles");  // certificate, key, key pass, p12, p12 pass
    QTest::addColumn<QString>("error");

    const QString pem = QStringLiteral("Не удалось прочитать PEM закрытый ключ: ");
    const QString p12 = QStringLiteral("Не удалось извлечь сертификат/ключ из P12/PFX: ");
    const QString locked = QStringLiteral("ключ защищён паролем — введите пароль");
    QTest::newRow("PEM key, wrong pass phrase") << QStringList{"cert", "encrypted.key", "wrong", "", ""}
                                                << pem + "неверный пароль закрытого ключа";
    QTest::newRow("PEM key, none given") << QStringList{"cert", "encrypted.key", "", "", ""} << pem + locked;
    QTest::newRow("container, wrong pass phrase") << QStringList{"", "", "", "t.p12", "wrong"}
                                                  << p12 + "неверный пароль контейнера";
    QTest::newRow("container, none given") << QStringList{"", "", "", "t.p12", ""} << p12 + locked;
    QTest::newRow("legacy container, wrong pass phrase") << QStringList{"", "", "", "old.p12", "wrong"}
                                                         << p12 + "неверный пароль контейнера";
}

// A pass phrase that does not open the key is named as such, not with
// OpenSSL's words.
void SignatureServiceTest::keyMessages()
{
    QFETCH(QStringList, keyFiles);
    QFETCH(QString, error);
    const auto path = [this](const QString& name) { return name.isEmpty() ? name : file(name); };
    SignatureRequest request;
    request.inputPath = file("a.txt");
    request.outputPath = file(QStringLiteral("key.sig"));
    request.certificatePath = path(keyFiles.at(0));
    request.privateKeyPath = path(keyFiles.at(1));
    request.keyPassword = keyFiles.at(2);
    request.pkcs12Path = path(keyFiles.at(3));
    request.pkcs12Password = keyFiles.at(4);
    QCOMPARE(SignatureService::signFile(request).error, error);
}

void SignatureServiceTest::validityInWords_data()
{
    QTest::addColumn<QString>("notBefore");
    QTest::addColumn<QString>("notAfter");
    QTest::addColumn<QString>("text");  // %1 and %2: the dates as the clerk's clock shows them

    QTest::newRow("expired") << "20200105093000Z" << "20210105093000Z"
                             << "Срок действия сертификата истёк: он действовал с %1 по %2.";
    QTest::newRow("not yet valid") << "20900101000000Z" << "20951231235900Z"
                                   << "Сертификат ещё не начал действовать: срок его действия с %1 по %2.";
}

void SignatureServiceTest::validityInWords()
{
    QFETCH(QString, notBefore);
    QFETCH(QString, notAfter);
    QFETCH(QString, text);
    const QString path = file(QStringLiteral("validity.pem"));
    QVERIFY(redated({file("cert"), file("key")}, notBefore, notAfter, path));
    const auto shown = [](const QString& asn1) {
        QDateTime time = QDateTime::fromString(asn1.left(14), QStringLiteral("yyyyMMddHHmmss"));
        time.setTimeZone(QTimeZone::utc());
        return time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    };
    SignatureRequest request;
    request.inputPath = file("a.txt");
    request.outputPath = file(QStringLiteral("validity.sig"));
    request.certificatePath = path;
    request.privateKeyPath = file("key");
    QCOMPARE(SignatureService::signFile(request).error, text.arg(shown(notBefore), shown(notAfter)));
}

void SignatureServiceTest::cadesWithChain_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("container");

    QTest::newRow("detached from a container") << 0 << true;
    QTest::newRow("attached from a PEM chain file") << 1 << false;
    QTest::newRow("embedded from a container") << 4 << true;
}

// CAdES-BES: the ESS signing-certificate-v2 attribute and the chain the key
// material holds, each certificate once; openssl verifies against the CA.
void SignatureServiceTest::cadesWithChain()
{
    QFETCH(int, mode);
    QFETCH(bool, container);
    SignatureRequest request;
    request.inputPath = file("a.pdf");
    request.outputPath = file(mode == EmbeddedPdf ? QStringLiteral("chain.signed.pdf") : QStringLiteral("chain.out"));
    request.mode = SignatureMode(mode);
    if (container) {
        request.pkcs12Path = file("issued.p12");
        request.pkcs12Password = kPassword;
    } else {
        request.certificatePath = file("chain.pem");
        request.privateKeyPath = file("issued.key");
    }
    const SignatureResult result = SignatureService::signFile(request);
    QVERIFY2(result.ok, qPrintable(result.error));
    QString signature = result.outputPath;
    QString content = request.inputPath;
    if (mode == EmbeddedPdf) {
        const QByteArray pdf = fileBytes(result.outputPath);
        const qsizetype open = pdf.lastIndexOf("/Contents <") + 10;
        const qsizetype close = pdf.indexOf('>', open);
        signature = file(QStringLiteral("embedded.der"));
        content = file(QStringLiteral("covered.bin"));
        QFile der(signature);
        QVERIFY(der.open(QIODevice::WriteOnly));
        der.write(QByteArray::fromHex(pdf.mid(open + 1, close - open - 1)));
        der.close();
        QFile covered(content);
        QVERIFY(covered.open(QIODevice::WriteOnly));
        covered.write(pdf.left(open) + pdf.mid(close + 1));
        covered.close();
    }
    const Run printed = openssl(m_dir.path(), {"cms", "-cmsout", "-print", "-inform", "DER", "-in", signature});
    QVERIFY2(printed.exitCode == 0, printed.output.constData());
    QCOMPARE(printed.output.count("id-smime-aa-signingCertificateV2"), 1);
    QCOMPARE(printed.output.count("messageDigest"), 1);
    QCOMPARE(printed.output.count("cert_info:"), 2);
    QStringList verify{"cms", "-verify", "-binary", "-inform", "DER", "-in", signature, "-CAfile", file("ca.pem"),
                       "-out", file("chain.content")};
    if (mode != AttachedCms)
        verify << "-content" << content;
    const Run verified = openssl(m_dir.path(), verify);
    QVERIFY2(verified.exitCode == 0, verified.output.constData());
}

QTEST_GUILESS_MAIN(SignatureServiceTest)
#include "tst_signatureservice.moc"
