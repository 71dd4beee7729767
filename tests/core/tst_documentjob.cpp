#include "DocumentJob.h"
#include "PdfDocument.h"

#include <QPointer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

constexpr int kSteps = 4;
constexpr int kGateMs = 60000;  // a wait for a state: generous, however busy the machine
constexpr int kNone = -1;

std::shared_ptr<PdfDocument> openedFixture()
{
    auto doc = std::make_shared<PdfDocument>();
    if (!doc->open(QStringLiteral(VORN_TEST_DATA_DIR "/groff-columns.pdf")))
        return nullptr;
    return doc;
}

// What the work saw on its thread.
struct WorkLog {
    std::atomic<int> reached{0};
    std::atomic<int> pageCount{-2};  // -1: no document; -2: not read
    std::atomic<bool> sawCancel{false};
};

} // namespace

class TestDocumentJob : public QObject {
    Q_OBJECT

private slots:
    void runs_data();
    void runs();
    void deletingARunningJobStopsItWithoutDelivering();
    void startsOnce();
    void reportsAreMergedAndNeverFollowTheEnd();
    void jobDeletedFromItsEndLetsItsDocumentGo();
};

void TestDocumentJob::runs_data()
{
    QTest::addColumn<bool>("withDocument");
    QTest::addColumn<int>("cancelAtStep");       // kNone: runs to the end
    QTest::addColumn<bool>("ownerDropsDocument"); // the tab closes while the work runs
    QTest::addColumn<bool>("cancelBeforeStart");
    QTest::addColumn<int>("expectedReached");
    QTest::addColumn<bool>("expectedCancelled");

    QTest::newRow("runs to the end") << true << kNone << false << false << kSteps << false;
    QTest::newRow("no document") << false << kNone << false << false << kSteps << false;
    QTest::newRow("cancelled at the first report") << true << 1 << false << false << 1 << true;
    QTest::newRow("cancelled at the last report") << true << kSteps << false << false << kSteps << true;
    QTest::newRow("cancelled before it starts") << true << kNone << false << true << 0 << true;
    QTest::newRow("document closed meanwhile") << true << kNone << true << false << kSteps << false;
    QTest::newRow("document closed and cancelled") << true << 2 << true << false << 2 << true;
}

// The work reports a step, then waits until the test's slot has seen it, so
// each report is delivered on its own and a cancel lands between two steps.
void TestDocumentJob::runs()
{
    QFETCH(bool, withDocument);
    QFETCH(int, cancelAtStep);
    QFETCH(bool, ownerDropsDocument);
    QFETCH(bool, cancelBeforeStart);
    QFETCH(int, expectedReached);
    QFETCH(bool, expectedCancelled);

    std::shared_ptr<PdfDocument> owner = withDocument ? openedFixture() : nullptr;
    QVERIFY(!withDocument || owner);
    const int pages = owner ? owner->pageCount() : -1;
    const std::weak_ptr<PdfDocument> watch = owner;

    auto log = std::make_shared<WorkLog>();
    auto gate = std::make_shared<QSemaphore>();
    auto holder = std::make_unique<DocumentJob>(owner);
    DocumentJob& job = *holder;
    QList<int> reports;
    QList<QThread*> deliveredOn;
    int finishedCount = 0;
    bool cancelledFlag = false;
    PdfDocument* documentAtEnd = nullptr;
    connect(&job, &DocumentJob::progress, this, [&](int done, int total) {
        reports << done;
        deliveredOn << QThread::currentThread();
        QCOMPARE(total, kSteps);
        if (done == 1 && ownerDropsDocument)
            owner.reset();
        if (done == cancelAtStep)
            job.cancel();
        gate->release();
    });
    connect(&job, &DocumentJob::finished, this, [&](bool cancelled) {
        ++finishedCount;
        cancelledFlag = cancelled;
        deliveredOn << QThread::currentThread();
        documentAtEnd = job.document().get();
    });

    if (cancelBeforeStart)
        job.cancel();
    QVERIFY(job.start([log, gate](DocumentJob::Control& control) {
        for (int step = 1; step <= kSteps; ++step) {
            if (control.isCancelled()) {
                log->sawCancel = true;
                return;
            }
            const bool goOn = control.report(step, kSteps);
            log->reached = step;
            if (!gate->tryAcquire(1, kGateMs) || !goOn) {
                log->sawCancel = !goOn;
                return;
            }
            // The document is read after its tab may have let it go.
            log->pageCount = control.document() ? control.document()->pageCount() : -1;
        }
    }));
    QTRY_COMPARE_WITH_TIMEOUT(finishedCount, 1, kGateMs);

    QCOMPARE(log->reached.load(), expectedReached);
    QCOMPARE(cancelledFlag, expectedCancelled);
    // A cancel after the last report changes nothing the work does.
    QCOMPARE(log->sawCancel.load(), expectedCancelled && expectedReached < kSteps);
    if (expectedReached == kSteps && !expectedCancelled)
        QCOMPARE(log->pageCount.load(), pages);
    QCOMPARE(reports.size(), expectedReached);
    for (int i = 0; i < reports.size(); ++i)
        QCOMPARE(reports.at(i), i + 1);
    for (QThread* thread : deliveredOn)
        QCOMPARE(thread, QThread::currentThread());
    // The end still names its document, closed or not; the job lets it go
    // when it is deleted.
    QVERIFY(!job.isRunning());
    QCOMPARE(documentAtEnd != nullptr, withDocument);
    QVERIFY(!watch.expired() || !withDocument);
    holder.reset();
    QCOMPARE(watch.expired(), !withDocument || ownerDropsDocument);
}

void TestDocumentJob::deletingARunningJobStopsItWithoutDelivering()
{
    std::shared_ptr<PdfDocument> owner = openedFixture();
    QVERIFY(owner);
    const std::weak_ptr<PdfDocument> watch = owner;
    auto started = std::make_shared<QSemaphore>();
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    int finishedCount = 0;
    {
        auto* job = new DocumentJob(owner);
        connect(job, &DocumentJob::finished, this, [&] { ++finishedCount; });
        owner.reset();
        QVERIFY(job->start([started, stopped](DocumentJob::Control& control) {
            started->release();
            while (control.report(0, 1))
                QThread::msleep(1);
            *stopped = true;
        }));
        QVERIFY(started->tryAcquire(1, kGateMs));
        delete job;
    }
    QVERIFY(stopped->load());
    QVERIFY(watch.expired());
    QTest::qWait(20);
    QCOMPARE(finishedCount, 0);
}

void TestDocumentJob::startsOnce()
{
    DocumentJob job(nullptr);
    QVERIFY(!job.start(nullptr));
    int runs = 0;
    QSignalSpy finished(&job, &DocumentJob::finished);
    QVERIFY(job.start([&runs](DocumentJob::Control&) { ++runs; }));
    QVERIFY(!job.start([&runs](DocumentJob::Control&) { ++runs; }));
    QVERIFY(finished.wait(kGateMs));
    QVERIFY(!job.start([&runs](DocumentJob::Control&) { ++runs; }));
    QTest::qWait(20);
    QCOMPARE(runs, 1);
    QCOMPARE(finished.size(), 1);
}

// Many reports faster than the GUI takes them arrive merged, the last figures
// before the end, and none after it.
void TestDocumentJob::reportsAreMergedAndNeverFollowTheEnd()
{
    constexpr int kReports = 20000;
    DocumentJob job(nullptr);
    QList<int> seen;
    bool ended = false;
    bool reportAfterEnd = false;
    connect(&job, &DocumentJob::progress, this, [&](int done, int) {
        reportAfterEnd |= ended;
        seen << done;
    });
    connect(&job, &DocumentJob::finished, this, [&] { ended = true; });
    QVERIFY(job.start([](DocumentJob::Control& control) {
        for (int i = 1; i <= kReports; ++i)
            control.report(i, kReports);
    }));
    QTRY_VERIFY_WITH_TIMEOUT(ended, kGateMs);
    QTest::qWait(20);
    QVERIFY(!reportAfterEnd);
    QVERIFY(!seen.isEmpty());
    QVERIFY(seen.size() < kReports);
    QCOMPARE(seen.last(), kReports);
}

// The way owners drop a finished job: deleteLater from its own end, after the
// tab already let the document go.
void TestDocumentJob::jobDeletedFromItsEndLetsItsDocumentGo()
{
    std::shared_ptr<PdfDocument> owner = openedFixture();
    QVERIFY(owner);
    const std::weak_ptr<PdfDocument> watch = owner;
    QPointer<DocumentJob> job = new DocumentJob(owner);
    owner.reset();
    int pages = 0;
    connect(job, &DocumentJob::finished, job, &QObject::deleteLater);
    QVERIFY(job->start([&pages](DocumentJob::Control& control) { pages = control.document()->pageCount(); }));
    QTRY_VERIFY_WITH_TIMEOUT(job.isNull(), kGateMs);
    QVERIFY(pages > 0);
    QVERIFY(watch.expired());
}

QTEST_GUILESS_MAIN(TestDocumentJob)
#include "tst_documentjob.moc"
