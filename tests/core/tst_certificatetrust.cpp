// The revocation policy, the chain check through an openssl program (fakes
// and, once, a local CA with its CRL served on 127.0.0.1), the certificate
// list in each policy, and the provider diagnostics.
#include "SignatureService.h"
#include "SigningFixtures.h"
#include "SigningInternal.h"
#include "SigningNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace signingfixtures;

namespace {

const QString kChecked = QStringLiteral("ключ доступен, срок действия и CRL/цепочка проверены");
const QString kOutOfDate = QStringLiteral("сертификат просрочен или ещё не действует");
const QString kExpiredReason = QStringLiteral("сертификат просрочен или ещё не начал действовать");
const QString kKeyReason = QStringLiteral("закрытый ключ не соответствует сертификату");

X509Ptr certificate(const QString& path)
{
    X509Ptr cert;
    loadPemCertificate(path, &cert, nullptr);
    return cert;
}

bool writeText(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

// Text as "openssl verify" prints names: bytes past ASCII as \XX.
QString escapedBytes(const QString& text)
{
    QString out;
    for (const char byte : text.toUtf8()) {
        if (uchar(byte) < 0x80)
            out += QLatin1Char(byte);
        else
            out += QStringLiteral("\\%1").arg(uchar(byte), 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

} // namespace

class CertificateTrustTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void policy_data();
    void policy();
    void checkProgram_data();
    void checkProgram();
    void namesAsWritten_data();
    void namesAsWritten();
    void failureInWords_data();
    void failureInWords();
    void untrustedAuthorityInWords();
    void listing_data();
    void listing();
    void listingSources();
    void listingReasons_data();
    void listingReasons();
    void diagnostics();
    void localAuthority();

private:
    QString fakeOpenssl(const QByteArray& body);

    QTemporaryDir m_dir;
    KeyPair m_keys;
    KeyPair m_other;
    QByteArray m_path;
};

void CertificateTrustTest::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-ecp"));
    QVERIFY(m_dir.isValid());
    m_keys = selfSigned(m_dir.path(), QStringLiteral("keys"), cyrillicSubject());
    m_other = selfSigned(m_dir.path(), QStringLiteral("other"), QStringLiteral("/CN=Other"));
    QVERIFY(!m_keys.certificate.isEmpty() && !m_other.certificate.isEmpty());
    QVERIFY(redated(m_keys, "20000101000000Z", "20010101000000Z", m_dir.filePath("expired.pem")));
    QCOMPARE(openssl(m_dir.path(), {"pkcs12", "-export", "-in", m_keys.certificate, "-inkey", m_keys.key, "-passout",
                                    "pass:", "-out", m_dir.filePath("open.p12")}).exitCode, 0);
    QCOMPARE(openssl(m_dir.path(), {"pkcs12", "-export", "-in", m_keys.certificate, "-inkey", m_keys.key, "-passout",
                                    "pass:x", "-out", m_dir.filePath("locked.p12")}).exitCode, 0);
    m_path = qgetenv("PATH");
}

void CertificateTrustTest::init()
{
    QSettings().clear();
}

void CertificateTrustTest::cleanup()
{
    qputenv("PATH", m_path);
}

// An openssl stand-in in its own folder, which goes first on PATH.
QString CertificateTrustTest::fakeOpenssl(const QByteArray& body)
{
    const QString folder = m_dir.filePath(QStringLiteral("fake"));
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("openssl"));
    QFile::remove(path);
    writeScript(path, body);
    qputenv("PATH", QFile::encodeName(folder) + ':' + m_path);
    return folder;
}

void CertificateTrustTest::policy_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("mode");

    QTest::newRow("not set") << QVariant() << "sign";
    QTest::newRow("search") << QVariant("search") << "search";
    QTest::newRow("never") << QVariant("never") << "never";
    QTest::newRow("sign") << QVariant("sign") << "sign";
    QTest::newRow("capitalised") << QVariant("Search") << "sign";
    QTest::newRow("padded") << QVariant(" never") << "sign";
    QTest::newRow("empty") << QVariant("") << "sign";
}

void CertificateTrustTest::policy()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, mode);
    if (stored.isValid())
        QSettings().setValue(QStringLiteral("signing/revocationMode"), stored);
    QCOMPARE(signingRevocationMode(), mode);
}

void CertificateTrustTest::checkProgram_data()
{
    QTest::addColumn<QByteArray>("script");  // empty: no program at all
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    // A program that ends by itself is never outwaited by the check's own
    // limit, however busy the machine; one that hangs ends its own sleep,
    // and says so, long after the limit.
    constexpr int kNever = 600000;

    QTest::newRow("verified") << QByteArray("exit 0\n") << kNever << true << kChecked;
    QTest::newRow("verified despite output") << QByteArray("echo 'stdin: OK'\nexit 0\n") << kNever << true << kChecked;
    QTest::newRow("revoked: in words, with the name")
        << QByteArray("echo 'C = RU, CN = x' \necho 'error 23 at 0 depth lookup: certificate revoked' >&2\nexit 2\n")
        << kNever << false << "сертификат «x»: сертификат отозван";
    QTest::newRow("failure without words") << QByteArray("exit 1\n") << kNever << false
                                           << "сертификат не прошёл проверку CRL/цепочки";
    QTest::newRow("UTF-8 output") << QByteArray("printf '  ошибка цепочки \\n'\nexit 1\n") << kNever << false
                                  << "сертификат не прошёл проверку CRL/цепочки: ошибка цепочки";
    QTest::newRow("crash") << QByteArray("kill -9 $$\n") << kNever << false << "сертификат не прошёл проверку CRL/цепочки";
    QTest::newRow("hangs past the limit")
        << "sleep 20 && touch '" + QFile::encodeName(m_dir.filePath(QStringLiteral("ended"))) + "'\n" << 300 << false
        << "таймаут проверки CRL/портала УЦ";
    QTest::newRow("no program") << QByteArray() << kNever << false << "OpenSSL CLI не найден, отзыв проверить нельзя";
}

void CertificateTrustTest::checkProgram()
{
    QFETCH(QByteArray, script);
    QFETCH(int, timeoutMs);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    const QString record = m_dir.filePath(QStringLiteral("arguments.txt"));
    QFile::remove(record);
    RevocationCheckSetup setup;
    setup.timeoutMs = timeoutMs;
    setup.searchPath = m_dir.filePath(QStringLiteral("empty"));
    if (!script.isEmpty()) {
        setup.searchPath = fakeOpenssl("printf '%s\\n' \"$@\" > '" + QFile::encodeName(record) + "'\ncat \"$4\" >> '"
                                       + QFile::encodeName(record) + "'\n" + script);
        qputenv("PATH", m_path);  // the parameter alone decides
    }
    const X509Ptr cert = certificate(m_keys.certificate);
    QVERIFY(cert);
    QString text;
    const QString ended = m_dir.filePath(QStringLiteral("ended"));
    QFile::remove(ended);
    QCOMPARE(certificateTrustAndRevocationOk(cert.get(), setup, &text), ok);
    QCOMPARE(text, message);
    QVERIFY(!QFileInfo::exists(ended));  // the check never waited for a hung program to end
    if (script.isEmpty())
        return;
    const QStringList lines = QString::fromUtf8(fileBytes(record)).split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 3), (QStringList{"verify", "-crl_download", "-crl_check_all"}));
    QVERIFY(lines.at(3).startsWith(QDir::tempPath() + QStringLiteral("/vorn_cert_")));
    QVERIFY(!QFile::exists(lines.at(3)));  // the scratch certificate is gone
    QCOMPARE(lines.mid(4).join(QLatin1Char('\n')).trimmed(), QString::fromLatin1(fileBytes(m_keys.certificate)).trimmed());
}

void CertificateTrustTest::namesAsWritten_data()
{
    QTest::addColumn<int>("type");  // the ASN.1 string type of the common name
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown");

    const QByteArray cyrillic = QStringLiteral("Иванов Иван").toUtf8();
    QTest::newRow("UTF8String") << V_ASN1_UTF8STRING << cyrillic << "CN=Иванов Иван,C=RU";
    QTest::newRow("TeletexString holding UTF-8") << V_ASN1_T61STRING << cyrillic << "CN=Иванов Иван,C=RU";
    QTest::newRow("UTF8String of UTF-8 read as Latin-1")
        << V_ASN1_UTF8STRING << QString::fromLatin1(cyrillic).toUtf8() << "CN=Иванов Иван,C=RU";
    QByteArray utf16;
    for (const QChar c : QStringLiteral("Пётр"))
        utf16 += char(c.unicode() >> 8) + QByteArray(1, char(c.unicode() & 0xff));
    QTest::newRow("BMPString") << V_ASN1_BMPSTRING << utf16 << "CN=Пётр,C=RU";
    QTest::newRow("TeletexString of Latin-1") << V_ASN1_T61STRING << QByteArray("M\xfcller") << "CN=Müller,C=RU";
    QTest::newRow("TeletexString holding UTF-8 with a comma")
        << V_ASN1_T61STRING << QStringLiteral("Рога, Копыта").toUtf8() << "CN=Рога\\, Копыта,C=RU";
}

void CertificateTrustTest::namesAsWritten()
{
    QFETCH(int, type);
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    const std::unique_ptr<X509_NAME, decltype(&X509_NAME_free)> name(X509_NAME_new(), X509_NAME_free);
    QVERIFY(name);
    QCOMPARE(X509_NAME_add_entry_by_txt(name.get(), "C", V_ASN1_PRINTABLESTRING,
                                        reinterpret_cast<const unsigned char*>("RU"), 2, -1, 0),
             1);
    QCOMPARE(X509_NAME_add_entry_by_txt(name.get(), "CN", type, reinterpret_cast<const unsigned char*>(stored.constData()),
                                        int(stored.size()), -1, 0),
             1);
    QCOMPARE(x509NameToString(name.get()), shown);
    // Only the shown text changes; the certificate's name stays as stored.
    const ASN1_STRING* kept = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name.get(), 1));
    QCOMPARE(ASN1_STRING_type(kept), type);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(kept)), ASN1_STRING_length(kept)), stored);
}

void CertificateTrustTest::failureInWords_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");

    const QString signer = escapedBytes(QStringLiteral("C = RU, O = ООО Ромашка, CN = Иванов Иван Иванович, "
                                                       "SN = Иванов, GN = Иван Иванович"));
    const QString authority = escapedBytes(QStringLiteral("CN = Тестовый УЦ, O = ООО УЦ, C = RU"));
    const QString closing = QStringLiteral("error /tmp/vorn_cert_AbC123.pem: verification failed");
    const QString general = QStringLiteral("сертификат не прошёл проверку CRL/цепочки");
    QTest::newRow("issuer not trusted, name decoded")
        << signer + "\nerror 20 at 0 depth lookup: unable to get local issuer certificate\n" + closing
        << "сертификат «Иванов Иван Иванович»: не найден сертификат издателя среди доверенных сертификатов системы";
    QTest::newRow("self-signed")
        << signer + "\nerror 18 at 0 depth lookup: self-signed certificate\n" + closing
        << "сертификат «Иванов Иван Иванович»: самоподписанный сертификат, которому система не доверяет";
    QTest::newRow("the issuer's own trouble")
        << authority + "\nerror 2 at 1 depth lookup: unable to get issuer certificate\n" + closing
        << "сертификат издателя «Тестовый УЦ»: не найден сертификат издателя среди доверенных сертификатов системы";
    QTest::newRow("CRL out of reach, download noise dropped")
        << "Error loading CRL from http://127.0.0.1/ca.crl\n" + signer
               + "\nerror 3 at 0 depth lookup: unable to get certificate CRL\n" + closing
        << "сертификат «Иванов Иван Иванович»: не удалось получить список отозванных сертификатов (CRL)";
    QTest::newRow("two errors, each once")
        << signer + "\nerror 10 at 0 depth lookup: certificate has expired\n" + signer
               + "\nerror 10 at 0 depth lookup: certificate has expired\n" + signer
               + "\nerror 23 at 0 depth lookup: certificate revoked\n" + closing
        << "сертификат «Иванов Иван Иванович»: срок действия сертификата истёк; "
           "сертификат «Иванов Иван Иванович»: сертификат отозван";
    QTest::newRow("unknown code keeps its number and words")
        << signer + "\nerror 77 at 0 depth lookup: signature algorithm mismatch"
        << "сертификат «Иванов Иван Иванович»: ошибка проверки № 77 (signature algorithm mismatch)";
    QTest::newRow("error without a name") << "error 23 at 0 depth lookup: certificate revoked" << "сертификат отозван";
    QTest::newRow("nothing said") << "" << general;
    QTest::newRow("only a closing line") << closing << general;
    QTest::newRow("unknown text, decoded") << escapedBytes(QStringLiteral("сбой: нет сети"))
                                           << general + ": сбой: нет сети";
}

void CertificateTrustTest::failureInWords()
{
    QFETCH(QString, output);
    QFETCH(QString, message);
    QCOMPARE(verificationFailureText(output), message);
}

// The real openssl program on a certificate whose authority the system
// does not know: the refusal names the holder in Cyrillic.
void CertificateTrustTest::untrustedAuthorityInWords()
{
    const QString dir = m_dir.filePath(QStringLiteral("untrusted"));
    QVERIFY(QDir().mkpath(dir));
    QCOMPARE(openssl(dir, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-utf8", "-subj", "/CN=Тестовый УЦ/C=RU",
                           "-days", "30", "-keyout", "ca.key", "-out", "ca.pem"}).exitCode, 0);
    QCOMPARE(openssl(dir, {"req", "-new", "-newkey", "rsa:2048", "-nodes", "-utf8", "-subj",
                           "/C=RU/O=ООО Ромашка/CN=Иванов Иван Иванович/SN=Иванов/GN=Иван Иванович", "-keyout",
                           "s.key", "-out", "s.csr"}).exitCode, 0);
    QCOMPARE(openssl(dir, {"x509", "-req", "-in", "s.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-days", "10", "-out",
                           "s.pem"}).exitCode, 0);
    QString message;
    QVERIFY(!certificateTrustAndRevocationOk(certificate(dir + "/s.pem").get(), {}, &message));
    QCOMPARE(message, QStringLiteral("сертификат «Иванов Иван Иванович»: не найден сертификат издателя среди "
                                     "доверенных сертификатов системы"));
}

void CertificateTrustTest::listing_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("certificate");  // "good", "expired", "mismatch"
    QTest::addColumn<bool>("toolAccepts");
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("revoked");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("status");

    const QString words = QStringLiteral("сертификат не прошёл проверку CRL/цепочки: error 23: certificate revoked");
    QTest::newRow("search, accepted") << "search" << "good" << true << true << true << false << "" << kChecked;
    QTest::newRow("search, refused") << "search" << "good" << false << false << false << true << words << words;
    QTest::newRow("search, expired: no check") << "search" << "expired" << true << false << false << true
                                               << kExpiredReason << kOutOfDate;
    QTest::newRow("search, key of another") << "search" << "mismatch" << true << false << true << false << kKeyReason
                                            << kChecked;
    QTest::newRow("sign, refused: no check") << "sign" << "good" << false << true << false << false << "" << "";
    QTest::newRow("sign, expired") << "sign" << "expired" << true << false << false << false << kExpiredReason
                                   << kOutOfDate;
    QTest::newRow("sign, key of another") << "sign" << "mismatch" << true << false << false << false << kKeyReason << "";
    QTest::newRow("never, refused: no check") << "never" << "good" << false << true << false << false << "" << "";
    QTest::newRow("never, expired") << "never" << "expired" << false << false << false << false << kExpiredReason
                                    << kOutOfDate;
    QTest::newRow("capitalised search is sign") << "Search" << "good" << false << true << false << false << "" << "";
}

void CertificateTrustTest::listing()
{
    QFETCH(QString, mode);
    QFETCH(QString, certificate);
    QFETCH(bool, toolAccepts);
    QFETCH(bool, available);
    QFETCH(bool, checked);
    QFETCH(bool, revoked);
    QFETCH(QString, reason);
    QFETCH(QString, status);
    fakeOpenssl(toolAccepts ? QByteArray("exit 0\n") : QByteArray("echo 'error 23: certificate revoked'\nexit 2\n"));
    QSettings settings;
    settings.setValue(QStringLiteral("signing/revocationMode"), mode);
    const QString path = certificate == QLatin1String("expired") ? m_dir.filePath("expired.pem") : m_keys.certificate;
    settings.setValue(QStringLiteral("signing/linux/certificatePath"), path);
    settings.setValue(QStringLiteral("signing/linux/privateKeyPath"),
                      certificate == QLatin1String("mismatch") ? m_other.key : m_keys.key);
    QString error = QStringLiteral("stale");
    const QList<SigningCertificate> list = SignatureService::availableCertificates(&error);
    QCOMPARE(error, QString());
    QCOMPARE(list.size(), 1);
    const SigningCertificate& entry = list.first();
    QCOMPARE(entry.id, QStringLiteral("linux-file|") + path);
    QCOMPARE(entry.available, available);
    QCOMPARE(entry.revocationChecked, checked);
    QCOMPARE(entry.revoked, revoked);
    QCOMPARE(entry.unavailableReason, reason);
    QCOMPARE(entry.validationStatus, status);
    QCOMPARE(entry.privateKeyUsable, certificate != QLatin1String("mismatch"));
}

void CertificateTrustTest::listingSources()
{
    QSettings settings;
    settings.setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    QString error;
    QVERIFY(SignatureService::availableCertificates(&error).isEmpty());
    QCOMPARE(error, QStringLiteral("Для Linux выберите PEM certificate/key или P12/PFX контейнер в окне подписи."));

    settings.setValue(QStringLiteral("signing/linux/certificatePath"), m_other.certificate);
    settings.setValue(QStringLiteral("signing/linux/privateKeyPath"), m_other.key);
    settings.setValue(QStringLiteral("signing/linux/pkcs12Path"), m_dir.filePath("open.p12"));
    QList<SigningCertificate> list = SignatureService::availableCertificates(&error);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).containerName, m_dir.filePath("open.p12"));
    QCOMPARE(list.at(1).containerName, m_other.certificate);

    settings.setValue(QStringLiteral("signing/linux/pkcs12Path"), m_dir.filePath("locked.p12"));
    list = SignatureService::availableCertificates(&error);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.at(0).containerName, m_other.certificate);

    settings.setValue(QStringLiteral("signing/linux/privateKeyPath"), m_dir.filePath("missing.key"));
    QVERIFY(SignatureService::availableCertificates(&error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void CertificateTrustTest::listingReasons_data()
{
    QTest::addColumn<QString>("container");    // a file of m_dir; empty: none
    QTest::addColumn<QString>("certificate");  // "keys", "quoted"; empty: no PEM pair
    QTest::addColumn<QString>("key");          // "plain" or "encrypted"
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("shown");        // the first entry's subject as shown; empty: none listed

    const QString locked = QStringLiteral("P12/PFX контейнер защищён паролем: введите пароль контейнера в окне подписи.");
    const QString lockedKey = QStringLiteral("Закрытый ключ PEM защищён паролем: введите пароль ключа в окне подписи.");
    const QString choose = QStringLiteral("Для Linux выберите PEM certificate/key или P12/PFX контейнер в окне подписи.");
    const QString cyrillic = QStringLiteral("C=RU,O=ООО Ромашка,CN=Иванов Иван");
    QTest::newRow("container with a pass phrase") << "locked.p12" << "" << "" << locked << "";
    QTest::newRow("encrypted PEM key") << "" << "keys" << "encrypted" << lockedKey << "";
    QTest::newRow("both wait for a pass phrase") << "locked.p12" << "keys" << "encrypted" << locked << "";
    QTest::newRow("locked container beside a PEM pair") << "locked.p12" << "keys" << "plain" << "" << cyrillic;
    QTest::newRow("container that is no container") << "notes.p12" << "" << "" << choose << "";
    QTest::newRow("open container") << "open.p12" << "" << "" << "" << cyrillic;
    QTest::newRow("subject with quotes and Cyrillic")
        << "" << "quoted" << "plain" << "" << QStringLiteral("C=RU,O=ООО \"Ромашка\",CN=Иванов Иван");
}

// An empty list says what the chosen key material waits for; a listed
// subject reads as written, quotes and Cyrillic unescaped.
void CertificateTrustTest::listingReasons()
{
    QFETCH(QString, container);
    QFETCH(QString, certificate);
    QFETCH(QString, key);
    QFETCH(QString, error);
    QFETCH(QString, shown);
    QVERIFY(writeText(m_dir.filePath("notes.p12"), "not a container"));
    const QString encrypted = m_dir.filePath(QStringLiteral("encrypted.key"));
    QCOMPARE(openssl(m_dir.path(), {"pkey", "-in", m_keys.key, "-aes256", "-passout", "pass:ключ", "-out", encrypted})
                 .exitCode,
             0);
    const KeyPair quoted =
        selfSigned(m_dir.path(), QStringLiteral("quoted"), QStringLiteral("/CN=Иванов Иван/O=ООО \"Ромашка\"/C=RU"));
    QVERIFY(!quoted.certificate.isEmpty());
    QSettings settings;
    settings.setValue(QStringLiteral("signing/revocationMode"), QStringLiteral("never"));
    if (!container.isEmpty())
        settings.setValue(QStringLiteral("signing/linux/pkcs12Path"), m_dir.filePath(container));
    if (!certificate.isEmpty()) {
        const KeyPair& pair = certificate == QLatin1String("quoted") ? quoted : m_keys;
        settings.setValue(QStringLiteral("signing/linux/certificatePath"), pair.certificate);
        settings.setValue(QStringLiteral("signing/linux/privateKeyPath"),
                          key == QLatin1String("encrypted") ? encrypted : pair.key);
    }
    QString said = QStringLiteral("stale");
    const QList<SigningCertificate> list = SignatureService::availableCertificates(&said);
    QCOMPARE(said, error);
    QCOMPARE(list.isEmpty(), shown.isEmpty());
    if (!list.isEmpty())
        QCOMPARE(shownDistinguishedName(list.first().subject), shown);
}

void CertificateTrustTest::diagnostics()
{
    const QDir root(m_dir.filePath(QStringLiteral("roots")));
    const QString first = root.filePath(QStringLiteral("lib"));
    const QString second = root.filePath(QStringLiteral("opt"));
    const QString outside = root.filePath(QStringLiteral("outside"));
    QVERIFY(touch(first + "/a/opensc-pkcs11.so"));
    QVERIFY(touch(first + "/librtpkcs11ecp.so"));
    QVERIFY(touch(first + "/libjcPKCS11-2.so"));
    QVERIFY(touch(first + "/libother.so"));
    QVERIFY(touch(first + "/pkcs11.so.1"));
    QVERIFY(QDir().mkpath(first + "/dir-pkcs11.so"));
    QVERIFY(touch(outside + "/linked-pkcs11.so"));
    QVERIFY(QFile::link(outside, first + "/link"));
    const QString tools = root.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(tools));
    QVERIFY(writeScript(tools + "/pkcs11-tool", "exit 0\n"));
    QVERIFY(writeScript(tools + "/csptest", "exit 0\n"));

    ProviderProbeSetup setup;
    setup.opensslPath = root.filePath(QStringLiteral("no-openssl"));
    setup.searchPath = tools;
    setup.moduleRoots = {first, root.filePath(QStringLiteral("missing"))};
    QStringList lines = providerDiagnostics(setup);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), QStringLiteral("OpenSSL CMS: не найдено в /usr/bin/openssl"));
    QCOMPARE(lines.at(1), QStringLiteral("OpenSC pkcs11-tool: ") + tools + "/pkcs11-tool");
    QCOMPARE(lines.at(2), QStringLiteral("CryptoPro CSP cryptcp/csptest: ") + tools + "/csptest");
    QCOMPARE(lines.at(3), QStringLiteral("ViPNet CSP CLI: не найден"));
    QVERIFY(lines.at(4).startsWith(QStringLiteral("PKCS#11 модули: ")));
    QStringList modules = lines.at(4).mid(16).split(QStringLiteral("; "));
    modules.sort();
    QCOMPARE(modules, (QStringList{first + "/a/opensc-pkcs11.so", first + "/libjcPKCS11-2.so", first + "/librtpkcs11ecp.so"}));

    for (int i = 0; i < 14; ++i)
        QVERIFY(touch(QStringLiteral("%1/m%2-pkcs11.so").arg(second).arg(i)));
    setup.moduleRoots = {first, second, first};
    setup.opensslPath = tools + "/csptest";
    lines = providerDiagnostics(setup);
    QVERIFY(lines.at(0).endsWith(QStringLiteral("доступно")));
    QCOMPARE(lines.at(4).count(QStringLiteral("; ")), 11);

    setup.moduleRoots = {root.filePath(QStringLiteral("missing"))};
    setup.searchPath = root.filePath(QStringLiteral("missing"));
    lines = providerDiagnostics(setup);
    QCOMPARE(lines.at(2), QStringLiteral("CryptoPro CSP cryptcp/csptest: не найден"));
    QCOMPARE(lines.at(4), QStringLiteral("PKCS#11 модули: не найдены"));
}

// A real chain and CRL check: a CA and two leaves that name a CRL on
// 127.0.0.1, the CRL served by a local HTTP server, the CA as the default
// trust store.
void CertificateTrustTest::localAuthority()
{
    const QString dir = m_dir.filePath(QStringLiteral("ca"));
    QVERIFY(QDir().mkpath(dir + "/www"));
    QProcess server;
    server.setWorkingDirectory(dir + "/www");
    server.start(QStringLiteral("python3"), {"-u", "-m", "http.server", "0", "--bind", "127.0.0.1"});
    QVERIFY(server.waitForStarted());
    QByteArray banner;
    for (int i = 0; i < 50 && !banner.contains(") ..."); ++i) {
        server.waitForReadyRead(100);
        banner += server.readAllStandardOutput();
    }
    const QByteArray port = banner.mid(banner.indexOf(" port ") + 6).split(' ').first();
    QVERIFY2(port.toInt() > 0, banner.constData());
    const QString point = QStringLiteral("crlDistributionPoints=URI:http://127.0.0.1:%1/ca.crl").arg(QString::fromLatin1(port));

    QCOMPARE(openssl(dir, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Test CA/O=ООО Ромашка",
                           "-utf8", "-days", "30", "-keyout", "ca.key", "-out", "ca.pem", "-addext",
                           "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                           "-addext", point}).exitCode, 0);
    QVERIFY(writeText(dir + "/leaf.ext", point.toUtf8() + "\nkeyUsage=digitalSignature\n"));
    for (const char* leaf : {"good", "revoked"}) {
        const QString name = QString::fromLatin1(leaf);
        QCOMPARE(openssl(dir, {"req", "-new", "-newkey", "rsa:2048", "-nodes", "-utf8", "-subj",
                               "/CN=Иванов Иван/O=ООО Ромашка/C=RU", "-keyout", name + ".key", "-out", name + ".csr"})
                     .exitCode, 0);
        QCOMPARE(openssl(dir, {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-days", "10",
                               "-set_serial", name == "good" ? "0x1001" : "0x1002", "-extfile", "leaf.ext", "-out",
                               name + ".pem"}).exitCode, 0);
    }
    QVERIFY(writeText(dir + "/ca.cnf", "[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\ndefault_md=sha256\n"
                                            "default_crl_days=30\n"));
    QVERIFY(writeText(dir + "/index.txt", "R\t300101000000Z\t240101000000Z\t1002\tunknown\t/CN=revoked\n"));
    QCOMPARE(openssl(dir, {"ca", "-gencrl", "-config", "ca.cnf", "-keyfile", "ca.key", "-cert", "ca.pem", "-out",
                           "ca.crl.pem"}).exitCode, 0);
    QCOMPARE(openssl(dir, {"crl", "-in", "ca.crl.pem", "-outform", "DER", "-out", "www/ca.crl"}).exitCode, 0);

    const QByteArray savedCertFile = qgetenv("SSL_CERT_FILE");
    qputenv("SSL_CERT_FILE", QFile::encodeName(dir + "/ca.pem"));
    QString good;
    QString revoked;
    const bool goodOk = certificateTrustAndRevocationOk(certificate(dir + "/good.pem").get(), {}, &good);
    const bool revokedOk = certificateTrustAndRevocationOk(certificate(dir + "/revoked.pem").get(), {}, &revoked);
    if (savedCertFile.isNull())
        qunsetenv("SSL_CERT_FILE");
    else
        qputenv("SSL_CERT_FILE", savedCertFile);
    server.kill();
    server.waitForFinished();
    QVERIFY2(goodOk, qPrintable(good));
    QCOMPARE(good, kChecked);
    QVERIFY(!revokedOk);
    QCOMPARE(revoked, QStringLiteral("сертификат «Иванов Иван»: сертификат отозван"));
}

QTEST_GUILESS_MAIN(CertificateTrustTest)
#include "tst_certificatetrust.moc"
