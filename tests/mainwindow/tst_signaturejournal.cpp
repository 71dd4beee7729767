// The signing journal: the record, appending, damaged journals kept aside,
// and appends from two processes at once.
#include "SignatureJournal.h"
#include "SignatureStampTemplate.h"
#include "StampTestSupport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>
#include <unistd.h>

namespace {

const char kAppendChild[] = "--journal-append-child";
const char kDieLockedChild[] = "--journal-die-locked-child";

SignatureRequest requestFor(const QString& input, const QString& output, SignatureMode mode)
{
    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = output;
    request.mode = mode;
    request.keyPassword = QStringLiteral("secret");
    return request;
}

SignatureResult successFor(const SignatureRequest& request, qint64 size)
{
    SignatureResult result;
    result.ok = true;
    result.outputPath = request.outputPath;
    result.outputSize = size;
    result.documentSha256 = QCryptographicHash::hash("abc", QCryptographicHash::Sha256);
    result.signer = QStringLiteral("CN=Signer,O=Vorn");
    result.signedAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC);
    result.mode = request.mode;
    return result;
}

SigningCertificate fileCertificate()
{
    SigningCertificate certificate;
    certificate.id = QStringLiteral("linux-file|/keys/signer.p12");
    certificate.subject = QStringLiteral("signer.p12");
    certificate.issuer = QStringLiteral("CN=Root");
    certificate.thumbprint = QStringLiteral("AB:CD");
    certificate.providerName = QStringLiteral("OpenSSL CMS");
    return certificate;
}

void appendSuccess(const QString& input)
{
    const SignatureRequest request = requestFor(input, input + QStringLiteral(".sig"), DetachedCms);
    appendSignatureJournalRecord(request, successFor(request, 100), fileCertificate());
}

QJsonArray journalRecords()
{
    const QJsonDocument document = QJsonDocument::fromJson(stamptest::fileBytes(signatureJournalPath()));
    return document.isArray() ? document.array() : QJsonArray();
}

QStringList fileNames(const QJsonArray& records)
{
    QStringList names;
    for (const QJsonValue& record : records)
        names << record.toObject().value(QStringLiteral("fileName")).toString();
    return names;
}

QStringList corruptCopies()
{
    return QDir(appDataDirectory()).entryList({QStringLiteral("signature-journal.json.corrupt-*")}, QDir::Files);
}

void setChildIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("vorn"));
    QCoreApplication::setApplicationName(QStringLiteral("vorn-stamp-test"));
}

// Waits for the go file (ending when the test that started it is gone),
// then appends count records "<tag>-<i>.pdf".
int runAppendChild(const QString& tag, int count, const QString& goFile)
{
    setChildIdentity();
    const pid_t test = ::getppid();
    while (!QFileInfo::exists(goFile)) {
        if (::getppid() != test)
            return 2;
        QThread::msleep(2);
    }
    for (int i = 0; i < count; ++i)
        appendSuccess(QStringLiteral("/docs/%1-%2.pdf").arg(tag).arg(i));
    return 0;
}

// Takes the journal lock and dies holding it.
int runDieLockedChild()
{
    setChildIdentity();
    QDir().mkpath(appDataDirectory());
    QLockFile lock(signatureJournalPath() + QStringLiteral(".lock"));
    if (!lock.tryLock(0))
        return 2;
    _exit(0);
}

} // namespace

class TestSignatureJournal : public QObject {
    Q_OBJECT

private slots:
    void init() { m_data = std::make_unique<stamptest::DataFolder>(); }
    void cleanup() { m_data.reset(); }

    void recordHoldsTheTwelveStrings_data();
    void recordHoldsTheTwelveStrings();
    void firstRecordCreatesFolderAndArray();
    void failedResultWritesNothing_data();
    void failedResultWritesNothing();
    void appendsKeepOrder();
    void damagedJournalIsKeptAside_data();
    void damagedJournalIsKeptAside();
    void twoProcessesLoseNothing();
    void lockOfDeadProcessDoesNotBlock();
    void busyLockWritesNothing();

private:
    std::unique_ptr<stamptest::DataFolder> m_data;
};

void TestSignatureJournal::recordHoldsTheTwelveStrings_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QString>("signaturePath");
    QTest::addColumn<QString>("modeText");
    QTest::addColumn<QString>("sizeText");

    QTest::newRow("detached report") << "/docs/report.pdf" << "/docs/report.pdf.sig" << 0 << qint64(1234)
                                     << "report.pdf" << "/docs/report.pdf" << "/docs/report.pdf.sig"
                                     << QStringLiteral("Отделённая CMS/CAdES-BES (*.sig)") << "1234";
    QTest::newRow("embedded, over 4 GB") << "/docs/big.pdf" << "/out/big.signed.pdf" << 4 << qint64(5000000000)
                                         << "big.pdf" << "/docs/big.pdf" << "/out/big.signed.pdf"
                                         << QStringLiteral("PDF со встроенной подписью") << "5000000000";
    const QString here = QDir::currentPath();
    QTest::newRow("relative paths") << "docs/a.pdf" << "docs/a.pdf.p7m" << 1 << qint64(7) << "a.pdf"
                                    << here + "/docs/a.pdf" << here + "/docs/a.pdf.p7m"
                                    << QStringLiteral("Присоединённая CMS/CAdES-BES (*.p7m)") << "7";
    QTest::newRow("unknown mode") << "/docs/x.pdf" << "/docs/x.pdf.sig" << 9 << qint64(0) << "x.pdf"
                                  << "/docs/x.pdf" << "/docs/x.pdf.sig" << QStringLiteral("Подпись") << "0";
}

void TestSignatureJournal::recordHoldsTheTwelveStrings()
{
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(int, mode);
    QFETCH(qint64, size);
    QFETCH(QString, fileName);
    QFETCH(QString, filePath);
    QFETCH(QString, signaturePath);
    QFETCH(QString, modeText);
    QFETCH(QString, sizeText);

    const SignatureRequest request = requestFor(input, output, SignatureMode(mode));
    appendSignatureJournalRecord(request, successFor(request, size), fileCertificate());

    const QJsonArray records = journalRecords();
    QCOMPARE(records.size(), 1);
    const QJsonObject record = records.first().toObject();
    const QMap<QString, QString> want{
        {"fileName", fileName},
        {"filePath", filePath},
        {"signaturePath", signaturePath},
        {"sha256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"mode", modeText},
        {"signer", "CN=Signer,O=Vorn"},
        {"certificateSubject", "signer.p12"},
        {"certificateIssuer", "CN=Root"},
        {"certificateThumbprint", "AB:CD"},
        {"certificateProvider", "OpenSSL CMS"},
        {"signedAt", "2026-03-04T05:06:07Z"},
        {"signatureSize", sizeText},
    };
    QCOMPARE(QStringList(record.keys()), QStringList(want.keys()));
    for (auto it = want.begin(); it != want.end(); ++it) {
        QVERIFY2(record.value(it.key()).isString(), qPrintable(it.key()));
        QCOMPARE(record.value(it.key()).toString(), it.value());
    }
}

void TestSignatureJournal::firstRecordCreatesFolderAndArray()
{
    QVERIFY(!QFileInfo::exists(appDataDirectory()));
    appendSuccess(QStringLiteral("/docs/report.pdf"));
    QVERIFY(QFileInfo(appDataDirectory()).isDir());
    QCOMPARE(fileNames(journalRecords()), QStringList{"report.pdf"});
    QVERIFY(!QFileInfo::exists(signatureJournalPath() + QStringLiteral(".lock")));
}

void TestSignatureJournal::failedResultWritesNothing_data()
{
    QTest::addColumn<bool>("journalExists");
    QTest::newRow("no journal yet") << false;
    QTest::newRow("journal with a record") << true;
}

void TestSignatureJournal::failedResultWritesNothing()
{
    QFETCH(bool, journalExists);
    if (journalExists)
        appendSuccess(QStringLiteral("/docs/first.pdf"));
    const auto before = stamptest::folderSnapshot(m_data->path());

    const SignatureRequest request = requestFor("/docs/report.pdf", "/docs/report.pdf.sig", DetachedCms);
    SignatureResult failed = successFor(request, 100);
    failed.ok = false;
    failed.error = QStringLiteral("bad key");
    appendSignatureJournalRecord(request, failed, fileCertificate());

    QCOMPARE(stamptest::folderSnapshot(m_data->path()), before);
    QCOMPARE(QFileInfo::exists(appDataDirectory()), journalExists);
}

void TestSignatureJournal::appendsKeepOrder()
{
    appendSuccess(QStringLiteral("/docs/older.pdf"));
    appendSuccess(QStringLiteral("/docs/newer.pdf"));
    QCOMPARE(fileNames(journalRecords()), (QStringList{"older.pdf", "newer.pdf"}));
    QVERIFY(corruptCopies().isEmpty());
}

void TestSignatureJournal::damagedJournalIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("an object") << QByteArray(R"({"fileName": "report.pdf"})");
    QTest::newRow("junk bytes") << QByteArray("\x00\xff\x10PK\x03\x04 not json", 17);
    QTest::newRow("truncated array") << QByteArray(R"([{"fileName": "report.pdf", "sig)");
    QTest::newRow("empty file") << QByteArray();
    // A valid array, but past the read limit.
    QTest::newRow("20 MB array") << QByteArray("[") + QByteArray(20 * 1024 * 1024, ' ') + QByteArray("]");
}

void TestSignatureJournal::damagedJournalIsKeptAside()
{
    QFETCH(QByteArray, content);
    QVERIFY(QDir().mkpath(appDataDirectory()));
    {
        QFile file(signatureJournalPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }

    appendSuccess(QStringLiteral("/docs/report.pdf"));

    const QStringList copies = corruptCopies();
    QCOMPARE(copies.size(), 1);
    static const QRegularExpression name(
        QStringLiteral("^signature-journal\\.json\\.corrupt-\\d{8}-\\d{6}-\\d{3}$"));
    QVERIFY2(name.match(copies.first()).hasMatch(), qPrintable(copies.first()));
    QVERIFY(stamptest::fileBytes(QDir(appDataDirectory()).filePath(copies.first())) == content);
    QCOMPARE(fileNames(journalRecords()), QStringList{"report.pdf"});
}

void TestSignatureJournal::twoProcessesLoseNothing()
{
    constexpr int perProcess = 50;
    const QString goFile = QDir(m_data->path()).filePath(QStringLiteral("go"));
    const QStringList tags{QStringLiteral("a"), QStringLiteral("b")};
    std::vector<std::unique_ptr<QProcess>> children;
    for (const QString& tag : tags) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(QProcess::ForwardedChannels);
        child->start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(kAppendChild), tag, QString::number(perProcess), goFile});
        QVERIFY(child->waitForStarted());
        children.push_back(std::move(child));
    }
    QFile go(goFile);
    QVERIFY(go.open(QIODevice::WriteOnly));
    go.close();
    for (auto& child : children) {
        QVERIFY(child->waitForFinished(-1));
        QCOMPARE(child->exitStatus(), QProcess::NormalExit);
        QCOMPARE(child->exitCode(), 0);
    }

    // Every record once, each process's own in its order.
    const QStringList names = fileNames(journalRecords());
    QCOMPARE(names.size(), tags.size() * perProcess);
    for (const QString& tag : tags) {
        const QStringList own = names.filter(QRegularExpression(QStringLiteral("^%1-").arg(tag)));
        QStringList expected;
        for (int i = 0; i < perProcess; ++i)
            expected << QStringLiteral("%1-%2.pdf").arg(tag).arg(i);
        QCOMPARE(own, expected);
    }
    QVERIFY(corruptCopies().isEmpty());
}

void TestSignatureJournal::lockOfDeadProcessDoesNotBlock()
{
    QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kDieLockedChild)}), 0);
    QVERIFY(QFileInfo::exists(signatureJournalPath() + QStringLiteral(".lock")));

    // Taken at once: a lock still held is waited for and then writes nothing.
    appendSuccess(QStringLiteral("/docs/report.pdf"));
    QCOMPARE(fileNames(journalRecords()), QStringList{"report.pdf"});
}

void TestSignatureJournal::busyLockWritesNothing()
{
    appendSuccess(QStringLiteral("/docs/first.pdf"));
    const QByteArray before = stamptest::fileBytes(signatureJournalPath());
    {
        QLockFile held(signatureJournalPath() + QStringLiteral(".lock"));
        QVERIFY(held.tryLock(0));
        appendSuccess(QStringLiteral("/docs/second.pdf"));
        QCOMPARE(stamptest::fileBytes(signatureJournalPath()), before);
    }
    appendSuccess(QStringLiteral("/docs/third.pdf"));
    QCOMPARE(fileNames(journalRecords()), (QStringList{"first.pdf", "third.pdf"}));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 5 && arguments.at(1) == QLatin1String(kAppendChild))
        return runAppendChild(arguments.at(2), arguments.at(3).toInt(), arguments.at(4));
    if (arguments.size() == 2 && arguments.at(1) == QLatin1String(kDieLockedChild))
        return runDieLockedChild();
    TestSignatureJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_signaturejournal.moc"
