#include "OcrDocumentRunner.h"
#include "OcrTestPages.h"
#include "PdfDocument.h"

#include <QDebug>
#include <QSignalSpy>
#include <QtTest>

#include <map>

namespace {

constexpr double kScanDpi = 150.0;
constexpr int kRunTimeoutMs = 240'000;

struct RunResult {
    std::map<int, std::vector<TextBlock>> recognised;
    std::map<int, QString> failed;
    QList<int> progress;
    bool finished = false;
    bool cancelled = false;
};

// Runs to the end; cancelAfter > 0 cancels once that many pages are reported.
RunResult runPages(PdfDocument &doc, const QList<int> &pages, OcrDocumentRunner::Options options, int cancelAfter = 0)
{
    RunResult result;
    OcrDocumentRunner runner(&doc, pages, std::move(options));
    QObject::connect(&runner, &OcrDocumentRunner::pageRecognized, [&](int page, std::vector<TextBlock> blocks) {
        result.recognised[page] = std::move(blocks);
    });
    QObject::connect(&runner, &OcrDocumentRunner::pageFailed,
                     [&](int page, const QString &reason) { result.failed[page] = reason; });
    QObject::connect(&runner, &OcrDocumentRunner::progress, [&](int done, int total) {
        result.progress << done;
        QCOMPARE(total, int(pages.size()));
        if (cancelAfter > 0 && done == cancelAfter)
            runner.cancel();
    });
    QObject::connect(&runner, &OcrDocumentRunner::finished, [&](bool cancelled) {
        result.finished = true;
        result.cancelled = cancelled;
    });
    runner.start();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(result.finished, kRunTimeoutMs); }();
    if (!result.finished)
        return result;
    [&] { QVERIFY(!runner.isRunning()); }();
    return result;
}

// Every block's kind and size and every word with its box.
QString describe(const std::vector<TextBlock> &blocks)
{
    QString out;
    QDebug d(&out);  // writes through to out
    for (const TextBlock &b : blocks) {
        d << "\n" << b.isImage << b.fontSize;
        for (const TextBlock::Line &line : b.lines)
            for (const TextBlock::Line::Word &w : line.words)
                d << w.text << w.rect;
    }
    return out;
}

} // namespace

class OcrDocumentRunnerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void parallelEqualsSequential();
    void cancelStopsAfterPagesInHand();
    void failuresCarryReasons();

private:
    PdfDocument doc;
};

void OcrDocumentRunnerTest::initTestCase()
{
    QVERIFY(doc.createEmpty());
    for (const TestPage &page : {testpages::mixedLanguagePage(kScanDpi), testpages::tablePage(kScanDpi),
                                 testpages::englishPage(kScanDpi), testpages::mixedLanguagePage(kScanDpi)})
        QVERIFY(doc.appendRenderedPage(page.image, QSizeF(page.pageWidth, page.pageHeight)));
}

void OcrDocumentRunnerTest::parallelEqualsSequential()
{
    const QList<int> pages{0, 1, 2};
    OcrDocumentRunner::Options options;
    options.threads = 1;
    const RunResult sequential = runPages(doc, pages, options);
    options.threads = 3;
    const RunResult parallel = runPages(doc, pages, options);
    QVERIFY(sequential.finished && parallel.finished);
    QVERIFY(!parallel.cancelled);
    QCOMPARE(parallel.progress, (QList<int>{1, 2, 3}));
    QVERIFY(parallel.failed.empty());
    QCOMPARE(parallel.recognised.size(), size_t(3));
    for (int page : pages) {
        QVERIFY(!sequential.recognised.at(page).empty());
        QCOMPARE(describe(parallel.recognised.at(page)), describe(sequential.recognised.at(page)));
        for (const TextBlock &b : parallel.recognised.at(page))
            QCOMPARE(b.pageIndex, page);
    }
}

void OcrDocumentRunnerTest::cancelStopsAfterPagesInHand()
{
    OcrDocumentRunner::Options options;
    options.threads = 1;
    // The worker may hold the next page when the first result arrives.
    const RunResult run = runPages(doc, {0, 1, 2, 3}, options, 1);
    QVERIFY(run.finished);
    QVERIFY(run.cancelled);
    QVERIFY2(run.recognised.size() >= 1 && run.recognised.size() <= 2, qPrintable(QString::number(run.recognised.size())));

    // Dropping a running runner cancels and waits without a crash or a late signal.
    auto runner = std::make_unique<OcrDocumentRunner>(&doc, QList<int>{0, 1, 2, 3}, options);
    QSignalSpy recognised(runner.get(), &OcrDocumentRunner::pageRecognized);
    runner->start();
    QVERIFY(runner->isRunning());
    runner.reset();
    QCoreApplication::processEvents();
    QCOMPARE(recognised.count(), 0);
}

void OcrDocumentRunnerTest::failuresCarryReasons()
{
    OcrDocumentRunner::Options options;
    options.languages = QStringLiteral("xx_no_such_language");
    options.threads = 2;
    const RunResult missing = runPages(doc, {0, 1}, options);
    QVERIFY(missing.recognised.empty());
    QCOMPARE(missing.failed.size(), size_t(2));
    for (const auto &[page, reason] : missing.failed)
        QVERIFY2(reason.contains(QStringLiteral("xx_no_such_language")), qPrintable(reason));

    // A page too large for the recogniser: the engine's reason, not "no text".
    PdfDocument strip;
    QVERIFY(strip.createEmpty() && strip.insertBlankPage(0, QSizeF(500, 10)));
    options = {};
    options.renderScale = 33; // 16500 pixels wide
    const RunResult large = runPages(strip, {0}, options);
    QVERIFY(large.recognised.empty());
    QVERIFY2(large.failed.at(0).contains(QStringLiteral("16500")), qPrintable(large.failed.at(0)));

    options = {};
    const RunResult outside = runPages(doc, {7}, options);
    QVERIFY(outside.finished && !outside.cancelled);
    QVERIFY(outside.recognised.empty());
    QVERIFY(!outside.failed.at(7).isEmpty());

    const RunResult none = runPages(doc, {}, options);
    QVERIFY(none.finished && !none.cancelled && none.recognised.empty() && none.failed.empty());
}

QTEST_MAIN(OcrDocumentRunnerTest)
#include "tst_ocrdocumentrunner.moc"
