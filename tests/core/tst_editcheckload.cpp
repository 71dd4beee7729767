// The after-edit check on a busy machine: a sound edit waits for its second
// renderer however late it is, the work's stop ends a render still running,
// and only work and memory refuse a page (the hostile pages are in
// tst_pdfdocument_damaged).
#include "BlockFixtures.h"
#include "DocumentJob.h"
#include "LoadedMachine.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

using loadedmachine::BusyProcessors;
using loadedmachine::StandInPoppler;

// The banner form's blocks with "Имя задания:" made "Имя задания полное:",
// as the in-place editor leaves them.
bool correctBannerWord(PdfDocument& doc, std::vector<TextBlock>* blocks)
{
    *blocks = doc.extractText(0);
    return fixtures::correctWordInLine(*blocks, QStringLiteral("Имя задания"), QStringLiteral("задания:"),
                                       QStringLiteral("задания полное:"));
}

}  // namespace

class TestEditCheckLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void soundEditSavedHoweverLate_data();
    void soundEditSavedHoweverLate();
    void stopEndsARenderStillRunning();

private:
    QTemporaryDir m_dir;
};

void TestEditCheckLoad::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(pdftools::installed(QStringLiteral("pdftoppm")), "poppler's pdftoppm is part of the set-up");
}

void TestEditCheckLoad::soundEditSavedHoweverLate_data()
{
    QTest::addColumn<int>("delaySeconds");  // the stand-in's wait before it renders; 0: poppler's own
    QTest::addColumn<bool>("busy");
    QTest::newRow("second renderer two seconds late") << 2 << false;
    QTest::newRow("every processor busy") << 0 << true;
    QTest::newRow("late, and every processor busy") << 2 << true;
}

// One word of the CUPS banner form (LibreOffice 4.0) replaced is written and
// saved whatever the second renderer's lateness: the saved page reads the
// new word and every other word as it was.
void TestEditCheckLoad::soundEditSavedHoweverLate()
{
    QFETCH(int, delaySeconds);
    QFETCH(bool, busy);
    const QString target = m_dir.filePath(QStringLiteral("banner-%1.pdf").arg(QTest::currentDataTag()));
    QVERIFY(QFile::copy(fixtures::realPdf(QStringLiteral("cups-banner-form-ru.pdf")), target));
    PdfDocument doc;
    QVERIFY(doc.open(target));
    std::vector<TextBlock> blocks;
    QVERIFY(correctBannerWord(doc, &blocks));

    std::unique_ptr<StandInPoppler> slow;
    if (delaySeconds > 0) {
        slow = std::make_unique<StandInPoppler>(delaySeconds);
        QVERIFY(slow->ready());
    }
    std::unique_ptr<BusyProcessors> spinners;
    if (busy) {
        spinners = std::make_unique<BusyProcessors>();
        QTRY_VERIFY(spinners->running());
    }
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    QVERIFY2(doc.save(target), qPrintable(doc.lastError()));
    if (slow)
        QVERIFY(!slow->started().isEmpty());  // the check waited for the late renders
    spinners.reset();
    slow.reset();

    QStringList expected = pdftools::words(fixtures::realPdf(QStringLiteral("cups-banner-form-ru.pdf")), 0);
    QVERIFY(expected.removeOne(QStringLiteral("задания:")));
    expected << QStringLiteral("задания") << QStringLiteral("полное:");
    QStringList saved = pdftools::words(target, 0);
    expected.sort();
    saved.sort();
    QCOMPARE(saved, expected);
}

// A write whose check waits for a render that never ends is stopped by its
// job's cancel: the render is ended, the write refused as stopped, and the
// document is as it was.
void TestEditCheckLoad::stopEndsARenderStillRunning()
{
    const QString target = m_dir.filePath(QStringLiteral("banner-stopped.pdf"));
    QVERIFY(QFile::copy(fixtures::realPdf(QStringLiteral("cups-banner-form-ru.pdf")), target));
    auto doc = std::make_shared<PdfDocument>();
    QVERIFY(doc->open(target));
    const QString textBefore = doc->extractAllText(0);
    std::vector<TextBlock> blocks;
    QVERIFY(correctBannerWord(*doc, &blocks));
    const StandInPoppler stuck(-1);
    QVERIFY(stuck.ready());

    auto written = std::make_shared<bool>(true);
    bool ended = false;
    DocumentJob job(doc);
    connect(&job, &DocumentJob::finished, this, [&ended] { ended = true; });
    job.start([written, blocks](DocumentJob::Control& control) {
        *written = control.document()->overlayOcrText(0, blocks, false);
    });
    // Both renders wait: the check is waiting for them.
    QTRY_VERIFY_WITH_TIMEOUT(stuck.started().size() == 2, 120000);
    job.cancel();
    QTRY_VERIFY_WITH_TIMEOUT(ended, 120000);
    QVERIFY(!*written);
    QVERIFY2(doc->lastError().endsWith(QStringLiteral("проверка страницы остановлена")), qPrintable(doc->lastError()));
    QVERIFY(!stuck.anyRunning());
    QCOMPARE(doc->extractAllText(0), textBefore);
    QVERIFY(!doc->isModified());
}

QTEST_MAIN(TestEditCheckLoad)
#include "tst_editcheckload.moc"
