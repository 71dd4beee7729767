// Scanned frames of absurd proportions, each in a child process with a time
// and a memory limit: it ends normally, within the limits, and a frame that
// can be no page is refused with a reason.
#include "LimitedChild.h"

#include <QTest>

namespace {

constexpr qint64 kMemoryLimit = qint64(2) << 30;  // address space, bytes
constexpr int kCpuSeconds = 20;
constexpr int kWaitMs = 60000;

} // namespace

class TestScanFrames : public QObject {
    Q_OBJECT
private slots:
    void framesEndWithinLimits_data();
    void framesEndWithinLimits();
};

void TestScanFrames::framesEndWithinLimits_data()
{
    QTest::addColumn<QStringList>("frame");  // width, height, dpi, mode
    QTest::addColumn<QString>("outcome");    // the start of "done WxH" (crops may cut it) or of "refused: ..."
    QTest::newRow("51 x 60,000 at 600 dpi") << QStringList{"51", "60000", "600", "grey"} << "done ";
    QTest::newRow("60,000 x 51 at 600 dpi, colour") << QStringList{"60000", "51", "600", "colour"} << "done ";
    QTest::newRow("51 x 60,000 at 600 dpi, black and white") << QStringList{"51", "60000", "600", "mono"} << "done ";
    QTest::newRow("51 x 60,000 at 150 dpi: past the largest page") << QStringList{"51", "60000", "150", "grey"}
                                                                   << "refused: ";
    QTest::newRow("1 x 1 at 1200 dpi: next to no page") << QStringList{"1", "1", "1200", "grey"} << "refused: ";
    QTest::newRow("20,000 x 1 at 300 dpi: a line") << QStringList{"20000", "1", "300", "grey"} << "refused: ";
    QTest::newRow("A4 at 300 dpi") << QStringList{"2480", "3508", "300", "grey"} << "done ";
}

void TestScanFrames::framesEndWithinLimits()
{
    QFETCH(QStringList, frame);
    QFETCH(QString, outcome);
    const limitedchild::Outcome child = limitedchild::run(QStringLiteral(VORN_SCAN_CHILD), frame, kWaitMs, kMemoryLimit,
                                                          QProcessEnvironment::systemEnvironment(), kCpuSeconds);
    QVERIFY2(child.inTime, "the child ran past its time limit");
    const QString said = QString::fromUtf8(child.out).trimmed();
    QVERIFY2(!child.signal, qPrintable(QStringLiteral("ended by a signal: ") + said + QString::fromUtf8(child.err)));
    QVERIFY2(child.exitCode == 0, qPrintable(said));
    QVERIFY2(said.startsWith(outcome), qPrintable(said));
    if (outcome.startsWith(QLatin1String("refused")))
        QVERIFY2(said.size() > outcome.size() + 10, qPrintable(said));  // a reason, not a word
}

QTEST_GUILESS_MAIN(TestScanFrames)
#include "tst_scanframes.moc"
