// Closing a document's tab while work on it runs in the background: the work
// ends on the document it began with, its result reaches no other document,
// and the closed document is let go once the work is done with it.
#include "CompressedPdfExportDialog.h"
#include "OcrWindowSupport.h"
#include "PromptDriver.h"
#include "QuietWait.h"
#include "StandInWorker.h"
#include "WindowTestSupport.h"

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSignalSpy>

using namespace windowtest;
using namespace ocrwindow;

namespace {

const QStringList kScan{QStringLiteral("Quarterly budget 2048"), QStringLiteral("Invoice signed today")};
constexpr int kRunTimeoutMs = 120000;
constexpr int kDialogTimeoutMs = 30000;

QLabel* forecast(QDialog* dialog)
{
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->text().startsWith(QStringLiteral("Считаю прогноз размера"))
            || label->text().startsWith(QStringLiteral("Прогноз текущих настроек"))
            || label->text().startsWith(QStringLiteral("Не удалось посчитать")))
            return label;
    }
    return nullptr;
}

} // namespace

class CloseDuringJobsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void closingWhilePagesRender_data();
    void closingWhilePagesRender();
    void closingDuringTheSizeForecast();
    void closingDuringTheCompressedSave();
    void recognitionKeepsItsTabUntilItEnds_data();
    void recognitionKeepsItsTabUntilItEnds();

private:
    PdfView* pdfView() const { return view(*m_window); }
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void CloseDuringJobsTest::init()
{
    isolateSettings();
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
}

void CloseDuringJobsTest::cleanup()
{
    prompt::Driver prompts;
    prompts.clickButton(QStringLiteral("Не сохранять"));
    m_window.reset();
    CompressedPdfExportDialog::setFitWorkerProgram(QString());
}

// Both tabs' miniatures and page images are still being rendered when one
// tab closes at once; what is left shows only the other document.
void CloseDuringJobsTest::closingWhilePagesRender_data()
{
    QTest::addColumn<int>("closedPages");
    QTest::addColumn<int>("keptPages");
    QTest::addColumn<bool>("closeShown");
    QTest::newRow("the shown tab") << 12 << 3 << true;
    QTest::newRow("the other tab") << 3 << 12 << false;
    QTest::newRow("one page shown") << 1 << 5 << true;
}

void CloseDuringJobsTest::closingWhilePagesRender()
{
    QFETCH(int, closedPages);
    QFETCH(int, keptPages);
    QFETCH(bool, closeShown);
    const QString kept = writePdf(m_dir, QStringLiteral("kept.pdf"), keptPages);
    const QString closed = writePdf(m_dir, QStringLiteral("closed.pdf"), closedPages);
    m_window->openFile(closeShown ? kept : closed);
    m_window->openFile(closeShown ? closed : kept);
    QCOMPARE(m_window->currentDocument()->pageCount(), closeShown ? closedPages : keptPages);
    const std::weak_ptr<PdfDocument> closing =
        closeShown ? m_window->sharedCurrentDocument() : std::weak_ptr<PdfDocument>();
    auto* panel = m_window->findChild<PageThumbnailPanel*>();
    QVERIFY(panel);

    const int index = m_window->openDocumentIndexForPath(closed);
    QVERIFY(m_window->closeDocumentAt(index));
    QCOMPARE(m_window->openDocumentIndexForPath(closed), -1);
    QCOMPARE(m_window->currentDocument()->pageCount(), keptPages);
    QCOMPARE(pdfView()->document(), m_window->currentDocument());
    QCOMPARE(pdfView()->pageCount(), keptPages);
    QCOMPARE(panel->count(), keptPages);
    // Answers of the closed document's workers never land in the kept one.
    QTRY_VERIFY(!panel->item(0)->icon().isNull());
    QCOMPARE(panel->count(), keptPages);
    QCOMPARE(m_window->currentDocument()->filePath(), kept);
    QTRY_VERIFY(closing.expired());
}

// The forecast reads the document on its own thread; the tab closes under
// it and the dialog still tells its figures.
void CloseDuringJobsTest::closingDuringTheSizeForecast()
{
    CompressedPdfExportDialog::setFitWorkerProgram(standin::script(m_dir, QStringLiteral("exit 4")));
    const QString path = writePdf(m_dir, QStringLiteral("forecast.pdf"), 6);
    m_window->openFile(path);
    const std::weak_ptr<PdfDocument> closing = m_window->sharedCurrentDocument();
    bool closedMeanwhile = false;
    QString figures;
    prompt::Driver prompts;
    prompts.whenShown([&](QDialog* dialog) {
        QVERIFY(QTest::qWaitFor([dialog] { return !qobject_cast<CompressedPdfExportDialog*>(dialog)->isFitRunning(); },
                                kDialogTimeoutMs));
        QPushButton* estimate = prompt::buttonWithText(dialog, QStringLiteral("Оценить размер"));
        QVERIFY(QTest::qWaitFor([estimate] { return estimate->isEnabled(); }, kDialogTimeoutMs));
        estimate->click();
        closedMeanwhile = m_window->closeDocumentAt(0);
        QVERIFY(QTest::qWaitFor([estimate] { return estimate->isEnabled(); }, kDialogTimeoutMs));
        if (QLabel* label = forecast(dialog))
            figures = label->text();
        dialog->reject();
    });
    QVERIFY(!m_window->showCompressedPdfExportDialog(QString(), false));
    QVERIFY(closedMeanwhile);
    QCOMPARE(m_window->openDocumentIndexForPath(path), -1);
    QVERIFY2(figures.startsWith(QStringLiteral("Прогноз текущих настроек")), qPrintable(figures));
    QVERIFY(closing.expired());
}

// The compressed copy is written from the document held by the save, even
// when its tab closed once the save began; the copy then opens in a tab.
void CloseDuringJobsTest::closingDuringTheCompressedSave()
{
    // The save's prompt shows at once, short as the save is.
    setQuietTime(0);
    const auto restore = qScopeGuard([] { setQuietTime(kQuietMs); });
    CompressedPdfExportDialog::setFitWorkerProgram(standin::script(m_dir, QStringLiteral("exit 4")));
    const QString path = writePdf(m_dir, QStringLiteral("save.pdf"), 8);
    m_window->openFile(path);
    QString target;
    bool closedMeanwhile = false;
    prompt::Driver prompts;
    prompts.whenShown([&](QDialog* dialog) {
        QVERIFY(QTest::qWaitFor([dialog] { return !qobject_cast<CompressedPdfExportDialog*>(dialog)->isFitRunning(); },
                                kDialogTimeoutMs));
        dialog->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"))->setText(m_dir.filePath("copy.pdf"));
        target = qobject_cast<CompressedPdfExportDialog*>(dialog)->outputPath();
        prompt::buttonWithText(dialog, QStringLiteral("Сохранить"))->click();
    });
    prompts.whenShown([&](QDialog*) { closedMeanwhile = m_window->closeDocumentAt(0); });
    m_window->showCompressedPdfExportDialog(QString(), false);
    QVERIFY(closedMeanwhile);
    QCOMPARE(m_window->openDocumentIndexForPath(path), -1);
    QVERIFY(!target.isEmpty() && QFileInfo::exists(target));
    PdfDocument copy;
    QVERIFY(copy.open(target));
    QCOMPARE(copy.pageCount(), 8);
    QVERIFY(m_window->openDocumentIndexForPath(target) >= 0);
}

// While a page or the document is recognised its tab stays: closing it or
// another is refused, and the result lands in the document it came from.
void CloseDuringJobsTest::recognitionKeepsItsTabUntilItEnds_data()
{
    QTest::addColumn<bool>("wholeDocument");
    QTest::addColumn<bool>("closeShown");
    QTest::newRow("page, shown tab") << false << true;
    QTest::newRow("page, other tab") << false << false;
    QTest::newRow("document, shown tab") << true << true;
    QTest::newRow("document, other tab") << true << false;
}

void CloseDuringJobsTest::recognitionKeepsItsTabUntilItEnds()
{
    QFETCH(bool, wholeDocument);
    QFETCH(bool, closeShown);
    const QString other = writePdf(m_dir, QStringLiteral("other.pdf"), 2);
    m_window->openFile(other);
    const QString scanned = mixedPdf(m_dir, QStringLiteral("scanned.pdf"), {kScan});
    m_window->openFile(scanned);
    pdfView()->setViewMode(PdfView::SinglePage);
    pdfView()->setCurrentPage(1);
    PdfDocument* const recognised = m_window->currentDocument();

    QSignalSpy pageEnded(m_window.get(), &MainWindow::ocrPageRunFinished);
    QSignalSpy documentEnded(m_window.get(), &MainWindow::ocrDocumentRunFinished);
    if (wholeDocument)
        m_window->runOcrDocument(nullptr, nullptr);
    else
        m_window->runOcrPage(false);
    const int index = m_window->openDocumentIndexForPath(closeShown ? scanned : other);
    bool closed = true;
    const QString shown = prompt::promptShownDuring([&] { closed = m_window->closeDocumentAt(index); });
    QVERIFY(!closed);
    QCOMPARE(shown, QStringLiteral("OCR"));
    QTRY_VERIFY_WITH_TIMEOUT((wholeDocument ? documentEnded : pageEnded).count() == 1, kRunTimeoutMs);

    QCOMPARE(m_window->currentDocument(), recognised);
    QVERIFY(m_window->openDocumentIndexForPath(other) >= 0);
    if (wholeDocument) {
        QVERIFY2(recognised->extractAllText(1).contains(QStringLiteral("signed"), Qt::CaseInsensitive),
                 qPrintable(recognised->extractAllText(1)));
    } else {
        QVERIFY(blockContaining(*pdfView(), QStringLiteral("signed")) >= 0);
        QCOMPARE(pdfView()->blockPage(), 1);
    }
    // Once it ended the tab closes.
    prompt::Driver prompts;
    prompts.clickButton(QStringLiteral("Не сохранять"));
    QVERIFY(m_window->closeDocumentAt(m_window->openDocumentIndexForPath(scanned)));
    QCOMPARE(m_window->currentDocument()->filePath(), other);
    QVERIFY(!pdfView()->hasOcrBlocks());
}

QTEST_MAIN(CloseDuringJobsTest)
#include "tst_closeduringjobs.moc"
