// Files read as documents must be regular files: ordinary files are read
// whole within their bound; devices, FIFOs, folders and sockets are refused
// with a reason, without a wait and without reading. The refusals run in a
// child process under a time and a memory limit, so a read without end or
// an open that waits for ever fails the test instead of hanging it.
#include "LimitedChild.h"
#include "PdfFixtures.h"
#include "RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int kChildTimeLimitMs = 10000;
constexpr qint64 kChildMemoryLimit = 500LL * 1024 * 1024;

} // namespace

class TestRegularFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsWithinBound_data();
    void readsWithinBound();
    void openedFileReadsAsRead();
    void socketIsRefused();
    void documentReadsRefuseNonRegularFiles_data();
    void documentReadsRefuseNonRegularFiles();

private:
    QTemporaryDir m_dir;
};

void TestRegularFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestRegularFile::readsWithinBound_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("bound");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("reason");

    QTest::newRow("ordinary file") << "file" << qint64(3000) << qint64(1 << 20) << int(RegularFile::Opened) << "";
    QTest::newRow("empty file") << "file" << qint64(0) << qint64(10) << int(RegularFile::Opened) << "";
    QTest::newRow("exactly the bound") << "file" << qint64(4096) << qint64(4096) << int(RegularFile::Opened) << "";
    QTest::newRow("one byte over the bound")
        << "file" << qint64(4097) << qint64(4096) << int(RegularFile::TooLarge) << "Файл слишком велик.";
    QTest::newRow("link to a file") << "link" << qint64(100) << qint64(1000) << int(RegularFile::Opened) << "";
    QTest::newRow("nothing there") << "missing" << qint64(0) << qint64(1000) << int(RegularFile::Missing) << "";
    QTest::newRow("dangling link") << "dangling" << qint64(0) << qint64(1000) << int(RegularFile::Missing) << "";
    QTest::newRow("folder") << "folder" << qint64(0) << qint64(1000) << int(RegularFile::NotRegular)
                            << "entry не является обычным файлом";
    QTest::newRow("null device") << "/dev/null" << qint64(0) << qint64(1000) << int(RegularFile::NotRegular)
                                 << "null не является обычным файлом";
}

void TestRegularFile::readsWithinBound()
{
    QFETCH(QString, kind);
    QFETCH(qint64, size);
    QFETCH(qint64, bound);
    QFETCH(int, outcome);
    QFETCH(QString, reason);
    const QString dir = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(dir));
    const QString path = kind.startsWith('/') ? kind : QDir(dir).filePath(QStringLiteral("entry"));
    QByteArray content;
    for (qint64 i = 0; i < size; ++i)
        content.append(char('a' + i % 26));
    const QString target = QDir(dir).filePath(QStringLiteral("target"));
    if (kind == QLatin1String("file"))
        QVERIFY(fixtures::writeFile(path, content));
    if (kind == QLatin1String("link")) {
        QVERIFY(fixtures::writeFile(target, content));
        QVERIFY(QFile::link(target, path));
    }
    if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(target, path));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));

    QByteArray bytes("left over");
    QString error;
    QCOMPARE(int(RegularFile::read(path, bound, &bytes, &error)), outcome);
    if (outcome == RegularFile::Opened) {
        QCOMPARE(bytes, content);
        QVERIFY(error.isEmpty());
        return;
    }
    QVERIFY(bytes.isEmpty());
    QVERIFY(!error.isEmpty());
    if (!reason.isEmpty())
        QCOMPARE(error, reason);
}

// The opened file is the one checked: it reads the file's bytes and knows its size.
void TestRegularFile::openedFileReadsAsRead()
{
    const QString path = m_dir.filePath(QStringLiteral("opened.txt"));
    QVERIFY(fixtures::writeFile(path, "contents"));
    QFile file;
    QCOMPARE(int(RegularFile::open(path, 100, &file, nullptr)), int(RegularFile::Opened));
    QCOMPARE(file.size(), qint64(8));
    QCOMPARE(file.readAll(), QByteArray("contents"));

    QFile refused;
    QString error;
    QCOMPARE(int(RegularFile::open(path, 7, &refused, &error)), int(RegularFile::TooLarge));
    QVERIFY(!refused.isOpen());
    QVERIFY(!error.isEmpty());
}

void TestRegularFile::socketIsRefused()
{
    QLocalServer server;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = m_dir.filePath(QStringLiteral("socket"));
    QVERIFY(server.listen(path));
    QByteArray bytes;
    QString error;
    QCOMPARE(int(RegularFile::read(path, 1000, &bytes, &error)), int(RegularFile::NotRegular));
    QCOMPARE(error, QStringLiteral("socket не является обычным файлом"));
}

void TestRegularFile::documentReadsRefuseNonRegularFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");

    QTest::newRow("zero device") << "/dev/zero" << "zero";
    QTest::newRow("FIFO without a writer") << "fifo" << "pipe.pdf";
    QTest::newRow("FIFO named as a picture") << "fifo" << "scan.png";
    QTest::newRow("link to a FIFO") << "link" << "link.pdf";
}

// Opening, importing all pages and appending one page, each on a fresh
// document in the child: each refused with the reason, quickly, the child
// ending normally, and the FIFO still there as it was.
void TestRegularFile::documentReadsRefuseNonRegularFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QTemporaryDir scratch;
    QString path = kind;
    const QString fifo = scratch.filePath(kind == QLatin1String("link") ? QStringLiteral("fifo") : name);
    if (kind != QLatin1String("/dev/zero")) {
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        path = fifo;
    }
    if (kind == QLatin1String("link")) {
        path = scratch.filePath(name);
        QVERIFY(QFile::link(fifo, path));
    }
    const QStringList operations{QStringLiteral("open"), QStringLiteral("import"), QStringLiteral("append")};
    const limitedchild::Outcome child = limitedchild::run(
        QStringLiteral(VORN_DAMAGED_CHILD), QStringList{path, scratch.path()} + operations, kChildTimeLimitMs,
        kChildMemoryLimit);
    const QString said = QString::fromUtf8(child.out).trimmed();
    QVERIFY2(child.inTime, qPrintable(QStringLiteral("still reading after the limit: ") + said));
    QVERIFY2(!child.signal, qPrintable(QStringLiteral("ended by a signal in: ") + said + child.err));
    QCOMPARE(child.exitCode, 0);
    const QStringList lines = said.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), operations.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i], operations[i] + QStringLiteral(" refused: %1 не является обычным файлом").arg(name));
    if (kind != QLatin1String("/dev/zero"))
        QVERIFY(limitedchild::isFifo(fifo));
    QCOMPARE(QDir(scratch.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files | QDir::NoSymLinks).size(), 0);
}

QTEST_GUILESS_MAIN(TestRegularFile)
#include "tst_regularfile.moc"
