// The JSON form of compression options, a compressed copy's progress and
// cancel, and worker children that end with their parent.
#include "CompressionOptionsJson.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "WorkerProcess.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <QTest>

class CompressionOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void fromJson_data();
    void fromJson();
    void progressAndCancel_data();
    void progressAndCancel();
    void childEndsWithItsParent();
};

void CompressionOptionsTest::fromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QList<int>>("expected");  // dpi, quality, gray, small, raster, mono

    QTest::newRow("empty: defaults") << QByteArray("{}") << QList<int>{150, 55, 0, 1, 1, 0};
    QTest::newRow("all set") << QByteArray("{\"imageDpi\":72,\"jpegQuality\":28,\"grayscale\":true,"
                                           "\"recompressSmallImages\":false,\"rasterizePages\":false,\"monochrome\":true}")
                             << QList<int>{72, 28, 1, 0, 0, 1};
    QTest::newRow("wrong types keep defaults")
        << QByteArray("{\"imageDpi\":\"72\",\"jpegQuality\":28.5,\"grayscale\":1,\"monochrome\":\"true\"}")
        << QList<int>{150, 55, 0, 1, 1, 0};
    QTest::newRow("no int") << QByteArray("{\"imageDpi\":1e12,\"jpegQuality\":-3}") << QList<int>{150, -3, 0, 1, 1, 0};
}

void CompressionOptionsTest::fromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QList<int>, expected);
    const PdfDocument::CompressionOptions options = compressionOptionsFromJson(QJsonDocument::fromJson(json).object());
    const QList<int> read{options.imageDpi,          options.jpegQuality,           int(options.grayscale),
                          int(options.recompressSmallImages), int(options.rasterizePages), int(options.monochrome)};
    QCOMPARE(read, expected);
    QVERIFY(compressionOptionsFromJson(compressionOptionsToJson(options)) == options);
}

void CompressionOptionsTest::progressAndCancel_data()
{
    QTest::addColumn<bool>("rasterize");
    QTest::addColumn<int>("cancelAt");  // -1: never
    QTest::addColumn<QList<int>>("reports");

    QTest::newRow("pages reported, then the end") << true << -1 << QList<int>{0, 1, 2, 3};
    QTest::newRow("cancel before the second page") << true << 1 << QList<int>{0, 1};
    QTest::newRow("cancel at the end") << true << 3 << QList<int>{0, 1, 2, 3};
    QTest::newRow("keeping objects") << false << -1 << QList<int>{0, 1};
    QTest::newRow("keeping objects, cancel") << false << 0 << QList<int>{0};
}

// A cancelled copy leaves the file that was there untouched.
void CompressionOptionsTest::progressAndCancel()
{
    QFETCH(bool, rasterize);
    QFETCH(int, cancelAt);
    QFETCH(QList<int>, reports);
    QTemporaryDir dir;
    const QString source = dir.filePath("a.pdf");
    QVERIFY(fixtures::writeFile(source, fixtures::textPdf({"One", "Two", "Three"})));
    PdfDocument document;
    QVERIFY(document.open(source));
    const QString target = dir.filePath("b.pdf");
    QVERIFY(fixtures::writeFile(target, "old"));

    PdfDocument::CompressionOptions options;
    options.imageDpi = 72;
    options.rasterizePages = rasterize;
    QList<int> seen;
    const bool written = document.compressTo(target, options, [&](int done, int total) {
        seen << done;
        return total >= 1 && done != cancelAt;
    });
    QCOMPARE(seen, reports);
    QCOMPARE(written, cancelAt < 0);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (written) {
        QVERIFY(file.readAll().startsWith("%PDF"));
    } else {
        QCOMPARE(file.readAll(), QByteArray("old"));
        QCOMPARE(document.lastError(), QStringLiteral("Сжатие отменено."));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

namespace {

// A child alive and not a zombie.
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return !line.mid(line.lastIndexOf(')') + 2, 1).contains('Z');
}

// Starts "sleep 30" from a thread that then ends, leaving the process object
// behind: the thread stands in for a parent that dies without cleaning up.
qint64 orphanedChild(bool bound)
{
    qint64 pid = 0;
    QThread* thread = QThread::create([&pid, bound] {
        auto* process = new QProcess;  // left behind on purpose
        if (bound)
            endWithParent(*process);
        process->start(QStringLiteral("sleep"), {QStringLiteral("30")});
        if (process->waitForStarted())
            pid = process->processId();
    });
    thread->start();
    thread->wait();
    delete thread;
    return pid;
}

} // namespace

// The kernel ends a bound child when the thread that started it goes; an
// unbound one stays (and is ended here).
void CompressionOptionsTest::childEndsWithItsParent()
{
    const qint64 unbound = orphanedChild(false);
    QVERIFY(unbound > 0);
    QTest::qWait(100);
    QVERIFY(running(unbound));
    ::kill(pid_t(unbound), SIGKILL);

    const qint64 bound = orphanedChild(true);
    QVERIFY(bound > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!running(bound), 30000);
}

QTEST_MAIN(CompressionOptionsTest)
#include "tst_compressionoptions.moc"
