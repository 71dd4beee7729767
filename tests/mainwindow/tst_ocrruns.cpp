// Recognition from the main window with the real recogniser: a page, a
// region, the whole document, and a run that must keep its document and
// engine while the user goes on clicking. One window (so one engine) serves
// every test; each test opens a file of its own.
#include "OcrEngine.h"
#include "OcrWindowSupport.h"
#include "PdfTools.h"
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

using namespace windowtest;
using namespace ocrwindow;

namespace {

const QStringList kFirstScan{QStringLiteral("Quarterly budget 2048"), QStringLiteral("Invoice signed today")};
const QStringList kSecondScan{QStringLiteral("Purple window 1937"), QStringLiteral("Shipping delayed again")};

QStringList logLines(const QListWidget& log)
{
    QStringList lines;
    for (int i = 0; i < log.count(); ++i)
        lines << log.item(i)->text();
    return lines;
}

// Runs work on the GUI thread between the pages of a document run.
void duringRun(std::function<void()> work)
{
    QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
}

} // namespace

class OcrRunsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_window.reset(); }

    void scannedPageIsRecognisedEditedAndSaved();
    void regionRunReplacesOnlyTheBlocksItMeets();
    void documentRunWritesScannedPagesAndSkipsNativeOnes();
    void documentRunStopsWhenEditsCannotBeWritten();
    void documentRunStopsWhenItsDocumentGoesAway();
    void documentRunKeepsItsDocumentAndEngine();

private:
    PdfView* pdfView() const { return view(*m_window); }
    // One page at a time: a short last page cannot become current by
    // scrolling in the continuous layout.
    void open(const QString& path)
    {
        m_window->openFile(path);
        pdfView()->setViewMode(PdfView::SinglePage);
    }
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void OcrRunsTest::initTestCase()
{
    isolateSettings();
    QSettings().setValue(QStringLiteral("ocr/languages"), QStringLiteral("rus+eng"));
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
}

void OcrRunsTest::scannedPageIsRecognisedEditedAndSaved()
{
    open(mixedPdf(m_dir, QStringLiteral("flow.pdf"), {kFirstScan}));
    QCOMPARE(blockTexts(*pdfView()), QStringList({"Left header", "Right header", "First paragraph line",
                                                   "Second paragraph line"}));
    pdfView()->setCurrentPage(1);
    QVERIFY(!pdfView()->hasOcrBlocks());
    QVERIFY(!m_window->loadNativeTextLayerForPage(1, true));
    {
        ModalCloser closer;  // skips the offer
        QVERIFY(m_window->ensureOcrReady());
        QCOMPARE(closer.seen.size(), 1);
        QVERIFY(closer.seen[0].startsWith(QStringLiteral("Распознавание|Распознать текст и объекты на странице?")));
    }
    QVERIFY(!pdfView()->hasOcrBlocks());

    m_window->runOcrPage(false);
    QCOMPARE(pdfView()->blockPage(), 1);
    QVERIFY(pdfView()->editMode());
    const QString recognised = blockTexts(*pdfView()).join(QLatin1Char(' '));
    for (const char* word : {"budget", "2048", "signed", "today"})
        QVERIFY2(recognised.contains(QLatin1String(word), Qt::CaseInsensitive), qPrintable(recognised));
    QCOMPARE(statusText(*m_window), QStringLiteral("Страница 2: %1 блоков").arg(pdfView()->blocks().size()));
    QVERIFY(m_window->currentDocument()->isModified());  // a recognition is a change

    retypeBlock(*pdfView(), blockContaining(*pdfView(), QStringLiteral("budget")), QStringLiteral("Edited budget line"));
    QVERIFY(m_window->currentDocument()->isModified());
    QVERIFY(m_window->applyPendingOcrEdits());
    const QString saved = m_dir.filePath(QStringLiteral("flow-saved.pdf"));
    QVERIFY(m_window->currentDocument()->save(saved));

    PdfDocument reopened;
    QVERIFY(reopened.open(saved));
    QCOMPARE(reopened.extractAllText(1).count(QStringLiteral("Edited budget line")), 1);
    if (!pdftools::installed(QStringLiteral("pdftotext")))
        QSKIP("pdftotext is not installed");
    const pdftools::Result text = pdftools::run(
        QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("2"), QStringLiteral("-l"), QStringLiteral("2"),
                                      QStringLiteral("-enc"), QStringLiteral("UTF-8"), saved, QStringLiteral("-")});
    QCOMPARE(text.out.count(QStringLiteral("Edited budget line")), 1);
}

void OcrRunsTest::regionRunReplacesOnlyTheBlocksItMeets()
{
    open(mixedPdf(m_dir, QStringLiteral("region.pdf"), {kFirstScan}));
    pdfView()->setCurrentPage(1);
    m_window->runOcrPage(false);
    retypeBlock(*pdfView(), blockContaining(*pdfView(), QStringLiteral("budget")), QStringLiteral("Kept upper edit"));
    retypeBlock(*pdfView(), blockContaining(*pdfView(), QStringLiteral("signed")), QStringLiteral("Doomed lower edit"));
    QImage stamp(40, 20, QImage::Format_RGB32);
    stamp.fill(Qt::red);
    pdfView()->appendEditableImageBlock(1, QRectF(230, 110, 40, 20), stamp);

    // The lower line only; the placed picture lies inside the region too.
    m_window->onRunOcrRegion(1, QRectF(0, 100, kScanWidth, 100));
    const QStringList texts = blockTexts(*pdfView());
    QVERIFY2(texts.contains(QStringLiteral("Kept upper edit")), qPrintable(texts.join('|')));
    QVERIFY2(!texts.contains(QStringLiteral("Doomed lower edit")), qPrintable(texts.join('|')));
    QVERIFY2(blockContaining(*pdfView(), QStringLiteral("signed")) >= 0, qPrintable(texts.join('|')));
    const auto& blocks = pdfView()->blocks();
    QCOMPARE(std::count_if(blocks.begin(), blocks.end(), isInsertedImageObject), 1);
    QVERIFY(pdfView()->blocksDirty());
}

void OcrRunsTest::documentRunWritesScannedPagesAndSkipsNativeOnes()
{
    open(mixedPdf(m_dir, QStringLiteral("whole.pdf"), {kFirstScan, {}, kSecondScan}));
    m_window->showOcrProgressDialog();
    auto* dialog = m_window->findChild<QDialog*>(QStringLiteral("AppDialog"));
    QVERIFY(dialog);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text(),
             QStringLiteral("Документ: 4 страниц · русский + английский"));
    auto* bar = dialog->findChild<QProgressBar*>(QStringLiteral("OcrProgress"));
    QList<int> values;
    connect(bar, &QProgressBar::valueChanged, this, [&values](int v) {
        if (values.isEmpty() || values.last() != v)
            values << v;
    });
    auto* log = dialog->findChild<QListWidget*>();
    QTRY_VERIFY_WITH_TIMEOUT(logLines(*log).contains(QStringLiteral("✓ OCR завершён")), 60000);

    QCOMPARE(values, QList<int>({22, 5, 27, 50, 72, 96, 100}));
    const QStringList lines = logLines(*log);
    QCOMPARE(lines.mid(0, 4), QStringList({"• Подготовка документа", "  Страницы с готовым текстовым слоем будут пропущены",
                                            "  Сканированные страницы будут распознаны", "• Запуск OCR документа"}));
    QCOMPARE(lines.count(QStringLiteral("  Уже есть текстовый слой — пропущено")), 1);
    QCOMPARE(lines.count(QStringLiteral("  Текст не найден")), 1);
    QCOMPARE(lines.filter(QStringLiteral("  Добавлен текстовый слой:")).size(), 2);
    QVERIFY(lines.contains(QStringLiteral("✓ Готово: распознано 2, пропущено 1, без текста 1")));
    QCOMPARE(statusText(*m_window), QStringLiteral("OCR документа: распознано 2 страниц, пропущено 1"));
    QVERIFY(prompt::buttonWithText(dialog, QStringLiteral("Закрыть")));

    PdfDocument* doc = m_window->currentDocument();
    QCOMPARE(doc->extractAllText(0).count(QStringLiteral("Left header")), 1);
    QVERIFY(doc->extractAllText(1).contains(QStringLiteral("budget"), Qt::CaseInsensitive));
    QVERIFY(doc->extractAllText(3).contains(QStringLiteral("window"), Qt::CaseInsensitive));
    QVERIFY(m_window->windowTitle().contains(QStringLiteral("whole.pdf *")));
    dialog->close();
}

void OcrRunsTest::documentRunStopsWhenEditsCannotBeWritten()
{
    open(mixedPdf(m_dir, QStringLiteral("stuck.pdf"), {kFirstScan}));
    TextBlock stray;
    stray.text = QStringLiteral("stray edit");
    stray.rect = QRectF(72, 300, 100, 16);
    pdfView()->setOcrBlocks({stray}, 7, true);  // a page the document does not have
    QListWidget log;
    {
        ModalCloser closer;
        m_window->runOcrDocument(nullptr, &log);
        QCOMPARE(closer.seen.size(), 1);
    }
    QVERIFY(!m_window->currentDocument()->extractAllText(1).contains(QStringLiteral("budget"), Qt::CaseInsensitive));
    QCOMPARE(blockTexts(*pdfView()), QStringList{"stray edit"});
    QVERIFY(pdfView()->blocksDirty());
    QCOMPARE(statusText(*m_window), QStringLiteral("OCR документа не запущен: не удалось применить текстовые правки"));
    pdfView()->clearOcrBlocks();
}

void OcrRunsTest::documentRunStopsWhenItsDocumentGoesAway()
{
    open(mixedPdf(m_dir, QStringLiteral("gone.pdf"), {kFirstScan, kSecondScan}));
    duringRun([this] { m_window->currentDocument()->close(); });
    QListWidget log;
    m_window->runOcrDocument(nullptr, &log);
    QCOMPARE(statusText(*m_window), QStringLiteral("OCR документа остановлен: документ закрыт"));
    QVERIFY(logLines(log).filter(QStringLiteral("Добавлен текстовый слой")).isEmpty());
}

void OcrRunsTest::documentRunKeepsItsDocumentAndEngine()
{
    open(mixedPdf(m_dir, QStringLiteral("other.pdf"), {}));
    open(mixedPdf(m_dir, QStringLiteral("busy.pdf"), {kFirstScan, kSecondScan}));
    PdfDocument* running = m_window->currentDocument();
    const int runningTab = tabs(*m_window)->currentIndex();
    if (!m_window->findChild<OcrEngine*>()) {  // run alone: make the engine
        pdfView()->setCurrentPage(1);
        m_window->runOcrPage(false);
        pdfView()->clearOcrBlocks();
    }
    QPointer<OcrEngine> engine = m_window->findChild<OcrEngine*>();
    QVERIFY(engine);

    bool switched = true;
    bool closed = true;
    duringRun([&] {
        tabs(*m_window)->setCurrentIndex(0);
        m_window->openFile(m_dir.filePath(QStringLiteral("flow.pdf")));
        switched = m_window->currentDocument() != running || tabs(*m_window)->currentIndex() != runningTab;
        closed = m_window->close() || !m_window->isVisible();
        m_window->discardOcrEngine();  // the languages changed meanwhile
        m_window->showOcrProgressDialog();
    });
    m_window->runOcrDocument(nullptr, nullptr);

    QVERIFY(!switched);
    QVERIFY(!closed);
    QCOMPARE(statusText(*m_window), QStringLiteral("OCR документа: распознано 2 страниц, пропущено 1"));
    QVERIFY(!m_window->findChild<QDialog*>(QStringLiteral("AppDialog")));
    QVERIFY(running->extractAllText(2).contains(QStringLiteral("window"), Qt::CaseInsensitive));
    QVERIFY(!engine);  // gone once the run ended
    QVERIFY(!m_window->findChild<OcrEngine*>());
    // And the window closes again, once each recognised document is let go.
    QTimer discardAll;
    connect(&discardAll, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            if (QPushButton* discard = prompt::buttonWithText(dialog, QStringLiteral("Не сохранять")))
                discard->click();
    });
    discardAll.start(20);
    QVERIFY(m_window->close());
}

QTEST_MAIN(OcrRunsTest)
#include "tst_ocrruns.moc"
