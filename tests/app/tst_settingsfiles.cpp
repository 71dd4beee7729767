// A settings file that is not a regular file, or is far larger than any the
// program writes, in place of the user's settings: the program, started in a
// child under a time and a memory limit, must reach its window, say on
// standard error why the file was set aside, and keep it under a new name.
#include "LimitedChild.h"
#include "PdfFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int kTimeLimitMs = 20000;
constexpr qint64 kMemoryLimit = 1024LL * 1024 * 1024;
constexpr qint64 kOversized = 17LL * 1024 * 1024;

// Puts a file of the given kind at path: "fifo" (without a writer), "link"
// (a link to such a FIFO beside it), "folder", "large" (sparse, over the
// bound) or "ordinary" (settings as the program writes them). A link to a
// device would be replaced by the settings written through it, were the
// program ever to write there again.
bool makeSettings(const QString& path, const QString& kind)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("link"))
        return ::mkfifo(QFile::encodeName(path + QStringLiteral(".target")).constData(), 0600) == 0 &&
               QFile::link(path + QStringLiteral(".target"), path);
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (kind == QLatin1String("large"))
        return file.resize(kOversized);
    return file.write("[ui]\nlanguage=ru\n") > 0;
}

// Whether what stands at path is still of the kind makeSettings put there.
bool isKind(const QString& path, const QString& kind)
{
    const QFileInfo info(path);
    if (kind == QLatin1String("fifo"))
        return limitedchild::isFifo(path);
    if (kind == QLatin1String("link"))
        return info.isSymLink() && limitedchild::isFifo(info.symLinkTarget());
    if (kind == QLatin1String("folder"))
        return info.isDir();
    if (kind == QLatin1String("large"))
        return info.isFile() && info.size() == kOversized;
    return info.isFile();
}

} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT
private slots:
    void unreadableSettingsAreSetAside_data();
    void unreadableSettingsAreSetAside();
};

void TestSettingsFiles::unreadableSettingsAreSetAside_data()
{
    QTest::addColumn<QString>("file");  // under the configuration folder
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("reason");  // empty: the file is read as it is

    const QStringList editor{QStringLiteral("--vorn-product=editor")};
    const QString editorFile = QStringLiteral("vorn/vorn-pdf-editor.conf");
    const QString notRegular = QStringLiteral("vorn-pdf-editor.conf не является обычным файлом");
    QTest::newRow("a FIFO") << editorFile << "fifo" << editor << "MainWindow" << notRegular;
    QTest::newRow("a link to a FIFO") << editorFile << "link" << editor << "MainWindow" << notRegular;
    QTest::newRow("a folder") << editorFile << "folder" << editor << "MainWindow" << notRegular;
    QTest::newRow("17 MiB") << editorFile << "large" << editor << "MainWindow" << "Файл слишком велик.";
    QTest::newRow("the organisation's file is a FIFO")
        << "vorn.conf" << "fifo" << editor << "MainWindow" << "vorn.conf не является обычным файлом";
    // QSettings would wait on it for ever the first time it writes.
    QTest::newRow("the lock is a FIFO") << editorFile + ".lock" << "fifo" << editor << "MainWindow"
                                        << "vorn-pdf-editor.conf.lock не является обычным файлом";
    QTest::newRow("the lock links to a FIFO") << editorFile + ".lock" << "link" << editor << "MainWindow"
                                              << "vorn-pdf-editor.conf.lock не является обычным файлом";
    QTest::newRow("ordinary settings stay") << editorFile << "ordinary" << editor << "MainWindow" << QString();
}

void TestSettingsFiles::unreadableSettingsAreSetAside()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QStringList, arguments);
    QFETCH(QString, window);
    QFETCH(QString, reason);
    QTemporaryDir scratch;
    const QString config = scratch.filePath(QStringLiteral("config"));
    const QString path = config + u'/' + file;
    QVERIFY(makeSettings(path, kind));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), scratch.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), scratch.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VORN_PRELOADER_STEP_MS"), QStringLiteral("0"));
    const limitedchild::Outcome child =
        limitedchild::run(QStringLiteral(VORN_STARTUP_CHILD), arguments, kTimeLimitMs, kMemoryLimit, environment);
    const QString out = QString::fromUtf8(child.out).trimmed();
    const QString err = QString::fromUtf8(child.err);
    QVERIFY2(child.inTime, qPrintable(QStringLiteral("still starting at the time limit: ") + out + err));
    QVERIFY2(!child.signal, qPrintable(err));
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(out, QStringLiteral("started: ") + window);

    const QFileInfo info(path);
    const QStringList aside =
        info.dir().entryList({info.fileName() + QStringLiteral(".corrupt-*")}, QDir::AllEntries | QDir::System);
    if (reason.isEmpty()) {
        QVERIFY2(!err.contains(path), qPrintable(err));
        QVERIFY(aside.isEmpty());
        QVERIFY(isKind(path, kind));
        return;
    }
    // Said once, with the file, where it went and why.
    QCOMPARE(aside.size(), 1);
    const QString kept = info.dir().filePath(aside.first());
    QCOMPARE(err.count(path + QLatin1Char(' ')), 1);
    QVERIFY2(err.contains(kept), qPrintable(err));
    QVERIFY2(err.contains(reason), qPrintable(err));
    QVERIFY(isKind(kept, kind));
    // What the program left in its place, if anything, is a settings file of its own.
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(!QFileInfo::exists(path) || QFileInfo(path).isFile());
}

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settingsfiles.moc"
