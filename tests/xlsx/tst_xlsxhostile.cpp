// Hostile workbooks, each imported by a child process under a processor-time
// and an address-space limit: the child must end by itself, without a
// signal, and every refusal must say why. What is bounded is work, never the
// clock: a busy machine only makes it later. The workbooks are made here, small.
#include "XlsxFixtures.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {

constexpr rlim_t kProcessorSeconds = 60;  // far past the bounded work; a spin ends in a signal
constexpr const char* kSpaceMiB = "1536"; // address space, threads' stacks included
constexpr int kPaintLimitMs = 2000;
// 1,887 pages of 100,000 merges: about 0.2 s with the index built once, 7.5 s
// with one built for every page.
constexpr int kWriteLimitMs = 2500;

} // namespace

class TestXlsxHostile : public QObject {
    Q_OBJECT
private slots:
    void boundedWork_data();
    void boundedWork();

private:
    QTemporaryDir m_dir;
};

void TestXlsxHostile::boundedWork_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected"); // the start of the child's line, and of its reason after " reason "
    QTest::addColumn<int>("writeLimitMs"); // for writing every page; 0: none beyond the child's time limit

    const QMap<QString, XlsxParts> books = hostileWorkbooks();
    for (auto it = books.cbegin(); it != books.cend(); ++it)
        QVERIFY(writeZip(m_dir.filePath(it.key() + ".xlsx"), *it));
    // The clamped anchor lies beyond the cells: the grid is too large to lay out, and says so.
    QTest::newRow("chart at column 2147483647")
        << "far-chart" << "sheets 1 pages 0 merges 0 points 1 reason Лист слишком велик" << 0;
    QTest::newRow("200,000 identical merges") << "same-merges" << "sheets 1 pages 1 merges 1" << 0;
    QTest::newRow("60,000 overlapping merges") << "nested-merges" << "sheets 1 pages 1 merges 1" << 0;
    // Every merge kept: an index built for each page written instead of
    // once for the sheet costs seconds here (and a few milliseconds a paint).
    QTest::newRow("100,000 disjoint merges")
        << "row-merges" << "sheets 1 pages 1887 merges 100000 points 0" << kWriteLimitMs;
    // Read once, the rest refused with a reason.
    QTest::newRow("one sheet listed 20,000 times")
        << "listed" << "sheets 1 pages 1 merges 0 points 0 reason Часть книги повреждена: xl/workbook.xml" << 0;
    // The charts by two cells over the hidden rows alone are left out.
    QTest::newRow("3,000 charts over 200,000 hidden rows")
        << "hidden-anchors" << "sheets 1 pages 1 merges 0 points 1 reason " << 0;
    QTest::newRow("chart point at index 1048575") << "far-point" << "sheets 1 pages 1 merges 0 points 1" << 0;
    // Names read no more than a bound: the reference is not resolved, and
    // its sheet hides nothing, so the chart is drawn as cached.
    QTest::newRow("names counting over names") << "nested-names" << "sheets 1 pages 1 merges 0 points 1" << 0;
    QTest::newRow("one table listed 20,000 times") << "many-tables" << "sheets 1 pages 1 merges 0 points 1" << 0;
    // Measured only as far as a row's cap: before, each cell laid out its whole text.
    QTest::newRow("2,000 long texts wrapped at 409 points") << "long-wrapped" << "sheets 1 pages " << 0;
    // Run over empty columns no further than a bound, and cut there.
    QTest::newRow("2,000 long texts spilling") << "long-spilling" << "sheets 1 pages " << 0;
}

void TestXlsxHostile::boundedWork()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QFETCH(int, writeLimitMs);
    QTemporaryDir scratch;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setChildProcessModifier([] {
        const rlimit processor{kProcessorSeconds, kProcessorSeconds};
        ::setrlimit(RLIMIT_CPU, &processor);
    });
    child.start(QStringLiteral(VORN_XLSX_CHILD), {m_dir.filePath(name + ".xlsx"), scratch.path(), kSpaceMiB});
    QVERIFY(child.waitForStarted(-1));
    QVERIFY(child.waitForFinished(-1));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit, "the child ended on a signal (its processor time ran out?)");
    QCOMPARE(child.exitCode(), 0);
    const QString said = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    const QString head = said.section(QStringLiteral(" paint "), 0, 0);
    const QString reason = said.section(QStringLiteral(" reason "), 1);
    QVERIFY2(said.startsWith(expected.section(QStringLiteral(" reason "), 0, 0)), qPrintable(said));
    if (expected.contains(QStringLiteral(" reason ")))
        QVERIFY2(reason.startsWith(expected.section(QStringLiteral(" reason "), 1)), qPrintable(said));
    // A sheet that gives no page says why.
    if (head.contains(QStringLiteral("pages 0")))
        QVERIFY2(!reason.isEmpty(), qPrintable(said));
    // The paint costs milliseconds of processor time, not seconds, whatever
    // the merges were, and the pages cost no more than a look at the merges
    // each page shows.
    QVERIFY2(said.section(QStringLiteral(" paint "), 1).section(u' ', 0, 0).toInt() < kPaintLimitMs, qPrintable(said));
    if (writeLimitMs > 0)
        QVERIFY2(said.section(QStringLiteral(" write "), 1).section(u' ', 0, 0).toInt() < writeLimitMs,
                 qPrintable(said));
}

QTEST_GUILESS_MAIN(TestXlsxHostile)
#include "tst_xlsxhostile.moc"
