// Recognition from the main window with the real recogniser, driven through
// keys, the mouse and the OCR dialog, each case ending in the saved file: a
// page or region result is a change that is saved; a whole-document run
// reports how it ended, can be stopped, keeps the pages it did, refuses what
// would disturb it in the dialog, and holds the window's close until it ends.
#include "OcrWindowSupport.h"
#include "PdfTools.h"
#include "OcrProgressDialog.h"
#include "PromptDriver.h"
#include "UiTranslate.h"
#include "WindowTestSupport.h"

#include <QListWidget>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSignalSpy>

#include <algorithm>

using namespace windowtest;
using namespace ocrwindow;

namespace {

const QStringList kFirstScan{QStringLiteral("Quarterly budget 2048"), QStringLiteral("Invoice signed today")};
const QStringList kSecondScan{QStringLiteral("Purple window 1937"), QStringLiteral("Shipping delayed again")};
constexpr int kRunTimeoutMs = 120000;

bool hasCyrillic(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
}

QStringList logLines(const QListWidget* log)
{
    QStringList lines;
    for (int i = 0; log && i < log->count(); ++i)
        lines << log->item(i)->text();
    return lines;
}

} // namespace

class OcrRunsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void recognitionIsAChangeThatIsSaved_data();
    void recognitionIsAChangeThatIsSaved();
    void documentRunReportsHowItEnded_data();
    void documentRunReportsHowItEnded();
    void documentRunSpeaksTheInterfaceLanguage_data();
    void documentRunSpeaksTheInterfaceLanguage();
    void stoppedRunKeepsItsPagesAndRefusesWhileBusy();
    void closingDuringRunStopsAndSavesWhatWasDone_data();
    void closingDuringRunStopsAndSavesWhatWasDone();
    void runLeavesAPageTheUserIsChanging();
    void f2OnAPageWithoutTextAsksFirst();
    void pagesWhoseGlyphsMeanNothingAreRecognised_data();
    void pagesWhoseGlyphsMeanNothingAreRecognised();

private:
    PdfView* pdfView() const { return view(*m_window); }
    QString open(const QString& name, const QList<QStringList>& scans)
    {
        const QString path = mixedPdf(m_dir, name, scans);
        m_window->openFile(path);
        pdfView()->setViewMode(PdfView::SinglePage);
        return path;
    }
    void save() { keyOnWindow(m_window.get(), Qt::Key_S, Qt::ControlModifier); }
    OcrProgressDialog* startDocumentRun()
    {
        keyOnWindow(m_window.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        return m_window->findChild<OcrProgressDialog*>();
    }
    // True once the run has written its first page.
    static bool firstPageDone(OcrProgressDialog* dialog)
    {
        return QTest::qWaitFor(
            [dialog] { return !logLines(dialog->log()).filter(QStringLiteral("добавлен текстовый слой")).isEmpty(); },
            kRunTimeoutMs);
    }
    bool waitForRunEnd()
    {
        QSignalSpy ended(m_window.get(), &MainWindow::ocrDocumentRunFinished);
        return ended.wait(kRunTimeoutMs);
    }
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void OcrRunsTest::initTestCase()
{
    isolateSettings();
}

void OcrRunsTest::init()
{
    QSettings().clear();
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
}

void OcrRunsTest::cleanup()
{
    PromptAnswers discard(QStringLiteral("Не сохранять"));
    m_window.reset();
}

// A page run and a region run marked with the mouse, then Ctrl+S or a page
// change: the recognised words are in the saved page either way.
void OcrRunsTest::recognitionIsAChangeThatIsSaved_data()
{
    QTest::addColumn<bool>("region");
    QTest::addColumn<bool>("pageChangeFirst");
    QTest::newRow("page, Ctrl+S") << false << false;
    QTest::newRow("region, Ctrl+S") << true << false;
    QTest::newRow("region, page change, Ctrl+S") << true << true;
}

void OcrRunsTest::recognitionIsAChangeThatIsSaved()
{
    QFETCH(bool, region);
    QFETCH(bool, pageChangeFirst);
    const QString path = open(QStringLiteral("change.pdf"), {kFirstScan});
    pdfView()->setCurrentPage(1);
    int ticks = 0;  // the window answers while the page is recognised
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    if (region) {
        recogniseRegionByMouse(*pdfView(), 1, QRectF(0, 100, kScanWidth, 100));  // the lower line only
    } else {
        ticker.start(5);
        m_window->runOcrPage(false);
    }
    QTRY_VERIFY_WITH_TIMEOUT(blockContaining(*pdfView(), QStringLiteral("signed")) >= 0, kRunTimeoutMs);
    QVERIFY(region || ticks > 0);
    QVERIFY(m_window->windowTitle().contains(QStringLiteral("change.pdf *")));
    if (pageChangeFirst)
        QTest::keyClick(pdfView(), Qt::Key_PageUp);
    save();
    QVERIFY(!m_window->windowTitle().contains(QLatin1Char('*')));

    const QString text = savedText(path, 1);
    QVERIFY2(text.contains(QStringLiteral("signed"), Qt::CaseInsensitive), qPrintable(text));
    QCOMPARE(text.contains(QStringLiteral("budget"), Qt::CaseInsensitive), !region);
    QVERIFY(savedPageText(path, 1).contains(QStringLiteral("signed"), Qt::CaseInsensitive));
}

// Each way a run can end is told in the dialog's bar and log; only a run
// that did its work says "OCR завершён".
void OcrRunsTest::documentRunReportsHowItEnded_data()
{
    QTest::addColumn<QString>("languages");
    QTest::addColumn<bool>("strayEdits");
    QTest::addColumn<QString>("barEnd");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<bool>("written");
    QTest::newRow("done") << "rus+eng" << false << "100% · OCR завершён"
                          << "✓ Готово: распознано 2, пропущено 1, без текста 1" << true;
    QTest::newRow("missing language") << "rus+zzz" << false << "OCR не запущен: нет языковых данных: zzz"
                                      << "✗ OCR не запущен: нет языковых данных: zzz" << false;
    QTest::newRow("edits cannot be written")
        << "rus+eng" << true << "OCR не запущен: не удалось применить текстовые правки"
        << "✗ OCR не запущен: не удалось применить текстовые правки" << false;
}

void OcrRunsTest::documentRunReportsHowItEnded()
{
    QFETCH(QString, languages);
    QFETCH(bool, strayEdits);
    QFETCH(QString, barEnd);
    QFETCH(QString, logLine);
    QFETCH(bool, written);
    QSettings().setValue(QStringLiteral("ocr/languages"), languages);
    const QString path = open(QStringLiteral("whole.pdf"), {kFirstScan, {}, kSecondScan});
    if (strayEdits) {
        TextBlock stray;
        stray.text = QStringLiteral("stray edit");
        stray.rect = QRectF(72, 300, 100, 16);
        pdfView()->setOcrBlocks({stray}, 7, true);  // a page the document does not have
    }
    PromptAnswers warnings;
    OcrProgressDialog* dialog = startDocumentRun();
    QVERIFY(dialog);
    if (written)
        QVERIFY(waitForRunEnd());
    QTRY_VERIFY(logLines(dialog->log()).contains(logLine));
    QCOMPARE(dialog->bar()->text(), barEnd);
    QCOMPARE(logLines(dialog->log()).contains(QStringLiteral("✓ OCR завершён")), written);
    QVERIFY(prompt::buttonWithText(dialog, QStringLiteral("Закрыть")));
    if (strayEdits)
        pdfView()->clearOcrBlocks();

    save();
    QCOMPARE(savedText(path, 0).count(QStringLiteral("Left header")), 1);
    QCOMPARE(savedText(path, 1).contains(QStringLiteral("budget"), Qt::CaseInsensitive), written);
    QCOMPARE(savedText(path, 3).contains(QStringLiteral("window"), Qt::CaseInsensitive), written);
}

// The bar and the log lines written while the run goes on come in the
// interface language, not just what the dialog showed when it opened.
void OcrRunsTest::documentRunSpeaksTheInterfaceLanguage_data()
{
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("languages");
    QTest::newRow("German, done") << "de" << "rus+eng";
    QTest::newRow("English, missing language") << "en" << "rus+zzz";
}

void OcrRunsTest::documentRunSpeaksTheInterfaceLanguage()
{
    QFETCH(QString, interface);
    QFETCH(QString, languages);
    qApp->setProperty("uiLanguage", interface);
    const auto restore = qScopeGuard([] { qApp->setProperty("uiLanguage", QVariant()); });
    QSettings().setValue(QStringLiteral("ocr/languages"), languages);
    open(QStringLiteral("language.pdf"), {kFirstScan, {}});
    OcrProgressDialog* dialog = startDocumentRun();
    QVERIFY(dialog);
    const bool runs = languages == QLatin1String("rus+eng");
    if (runs)
        QVERIFY(waitForRunEnd());
    // The run has ended when its dialog offers to close: its log is whole then.
    QTRY_VERIFY_WITH_TIMEOUT(prompt::buttonWithText(dialog, uiTranslate(QStringLiteral("Закрыть"))), kRunTimeoutMs);
    QTRY_VERIFY(logLines(dialog->log()).size() > 4);
    const QStringList lines = logLines(dialog->log());
    const QString bar = dialog->bar()->text();
    QVERIFY2(!hasCyrillic(bar), qPrintable(bar));
    for (const QString& line : lines)
        QVERIFY2(!hasCyrillic(line), qPrintable(line));
    QVERIFY(bar.startsWith(runs ? QStringLiteral("100% ") : QString()));
}

// "Отмена" stops the run after the pages in hand; the pages done stay and
// are saved. Meanwhile the window answers, and what would disturb the run
// (a save, another run, closing its tab) is refused in the dialog.
void OcrRunsTest::stoppedRunKeepsItsPagesAndRefusesWhileBusy()
{
    constexpr int kScans = 120; // enough that no machine finishes before the stop
    QList<QStringList> scans;
    for (int i = 0; i < kScans; ++i)
        scans << QStringList{QStringLiteral("Ledger entry %1").arg(1000 + i), QStringLiteral("Stamped and filed")};
    const QString path = open(QStringLiteral("long.pdf"), scans);
    OcrProgressDialog* dialog = startDocumentRun();
    QVERIFY(dialog && firstPageDone(dialog));

    const QString refusal = QStringLiteral("  Дождитесь окончания распознавания документа");
    save();
    keyOnWindow(m_window.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    if (QWidget* closeTab = tabs(*m_window)->tabButton(0, QTabBar::RightSide))
        QTest::mouseClick(closeTab, Qt::LeftButton);
    else
        emit tabs(*m_window)->tabCloseRequested(0);
    invoke(*m_window, "onInsertBlankPage"); // the run finds its pages by index
    QVERIFY2(logLines(dialog->log()).count(refusal) == 4, qPrintable(logLines(dialog->log()).join('\n')));
    QCOMPARE(tabs(*m_window)->count(), 1);
    {
        PromptAnswers keepGoing(QStringLiteral("Продолжить"));
        QVERIFY(!m_window->close());
        QCOMPARE(keepGoing.seen.size(), 1);
    }
    QCOMPARE(m_window->findChildren<OcrProgressDialog*>().size(), 1);

    QTest::mouseClick(prompt::buttonWithText(dialog, QStringLiteral("Отмена")), Qt::LeftButton);
    QVERIFY(waitForRunEnd());
    QCOMPARE(dialog->bar()->text().section(QLatin1Char(' '), 1), QStringLiteral("· остановлено"));
    const QStringList lines = logLines(dialog->log());
    QVERIFY(!lines.contains(QStringLiteral("✓ OCR завершён")));
    const int done = int(lines.filter(QStringLiteral("добавлен текстовый слой")).size());
    QVERIFY2(done >= 1 && done < kScans, qPrintable(QString::number(done)));

    save();
    int withText = 0;
    for (int page = 1; page <= kScans; ++page)
        withText += savedText(path, page).contains(QStringLiteral("filed"), Qt::CaseInsensitive) ? 1 : 0;
    QCOMPARE(withText, done);
}

// Closing the window during a document run asks, and a yes stops the run;
// during a page run the close waits. Either way the window closes after the
// run through the save prompt, with what was recognised in the file.
void OcrRunsTest::closingDuringRunStopsAndSavesWhatWasDone_data()
{
    QTest::addColumn<bool>("documentRun");
    QTest::newRow("document run: asked, stopped") << true;
    QTest::newRow("page run: waited for") << false;
}

void OcrRunsTest::closingDuringRunStopsAndSavesWhatWasDone()
{
    QFETCH(bool, documentRun);
    const QString path = open(QStringLiteral("closing.pdf"), QList<QStringList>(16, kFirstScan));
    if (documentRun) {
        OcrProgressDialog* dialog = startDocumentRun();
        QVERIFY(dialog && firstPageDone(dialog));
    } else {
        pdfView()->setCurrentPage(1);
        m_window->runOcrPage(false);
    }
    {
        PromptAnswers stop(QStringLiteral("Остановить и закрыть"));
        QVERIFY(!m_window->close());  // held until the run has ended
        QCOMPARE(stop.seen.size(), documentRun ? 1 : 0);
    }
    PromptAnswers saveAnswer(QStringLiteral("Сохранить"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), kRunTimeoutMs);
    QCOMPARE(saveAnswer.seen.size(), 1);
    QVERIFY((savedText(path, 1) + savedText(path, 2)).contains(QStringLiteral("budget"), Qt::CaseInsensitive));
}

// A page whose blocks the user changes during the run keeps the user's
// blocks; the run leaves it rather than have its layer replaced later.
void OcrRunsTest::runLeavesAPageTheUserIsChanging()
{
    constexpr int kScans = 20;
    const QString path = open(QStringLiteral("busy-page.pdf"), QList<QStringList>(kScans, kSecondScan));
    OcrProgressDialog* dialog = startDocumentRun();
    QVERIFY(dialog);
    QTRY_VERIFY(logLines(dialog->log()).contains(QStringLiteral("• Запуск OCR документа")));
    pdfView()->setCurrentPage(kScans);
    pdfView()->appendEditableTextBlock(kScans, QRectF(20, 20, 200, 20), QStringLiteral("Note typed meanwhile"),
                                       QString(), 12, Qt::black);
    QVERIFY(waitForRunEnd());
    QVERIFY(logLines(dialog->log()).contains(
        QStringLiteral("• Страница %1: пропущена — на ней есть несохранённые правки").arg(kScans + 1)));
    save();
    QVERIFY(savedText(path, kScans).contains(QStringLiteral("Note typed meanwhile")));
    QVERIFY(savedText(path, 1).contains(QStringLiteral("window"), Qt::CaseInsensitive));
}

// F2 on a scanned page asks before a whole-document run; "Не сейчас" runs
// nothing, and Enter takes the primary answer.
void OcrRunsTest::f2OnAPageWithoutTextAsksFirst()
{
    const QString path = open(QStringLiteral("ask.pdf"), {kFirstScan});
    pdfView()->setCurrentPage(1);
    {
        PromptAnswers notNow(QStringLiteral("Не сейчас"));
        keyOnWindow(m_window.get(), Qt::Key_F2);
        QCOMPARE(notNow.seen.size(), 1);
    }
    QVERIFY(!m_window->findChild<OcrProgressDialog*>());
    keyOnWindow(m_window.get(), Qt::Key_F2);  // back to reading
    QTimer enter;
    enter.setInterval(10);
    connect(&enter, &QTimer::timeout, [&enter] {
        if (auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            enter.stop();
            QTest::keyClick(prompt, Qt::Key_Return);
        }
    });
    enter.start();
    keyOnWindow(m_window.get(), Qt::Key_F2);
    QVERIFY(m_window->findChild<OcrProgressDialog*>());
    QVERIFY(waitForRunEnd());
    QVERIFY(blockContaining(*pdfView(), QStringLiteral("budget")) >= 0);  // the page on show took its layer
    save();
    QVERIFY(savedText(path, 1).contains(QStringLiteral("budget"), Qt::CaseInsensitive));
}

// Whether a page has text is read from its glyphs, not from the few ASCII
// runs of a legacy font that happen to map: a Russian TeX page in bitmap
// fonts without a Unicode map offers recognition on F2 and is recognised by
// the document run, its look kept; pages of real text are edited as they
// are and skipped.
void OcrRunsTest::pagesWhoseGlyphsMeanNothingAreRecognised_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("word");  // a word recognised on the page; empty: the page keeps its text
    QTest::newRow("TeX T2A bitmap fonts, no Unicode map") << "tex-t2a-bitmap.pdf" << 1 << "Документация";
    QTest::newRow("pdfTeX LH bitmap fonts, no Unicode map") << "pdftex-lh-bitmap.pdf" << 1 << "Содержание";
    QTest::newRow("pdfTeX with ToUnicode") << "pdftex-manual.pdf" << 2 << "";
    QTest::newRow("TeX T2A Type 1 glyph names") << "tex-t2a-names.pdf" << 1 << "";
    QTest::newRow("TeX bitmap fonts, ASCII codes") << "tex-type3.pdf" << 1 << "";
    QTest::newRow("pdfTeX pk fonts, ASCII codes") << "pdftex-type3.pdf" << 1 << "";
    QTest::newRow("groff") << "groff-columns.pdf" << 1 << "";
    QTest::newRow("LibreOffice") << "libreoffice-letter.pdf" << 1 << "";
    QTest::newRow("tesseract searchable layer") << "tesseract-ru.pdf" << 1 << "";
}

void OcrRunsTest::pagesWhoseGlyphsMeanNothingAreRecognised()
{
    QFETCH(QString, fixture);
    QFETCH(int, page);
    QFETCH(QString, word);
    QVERIFY2(pdftools::installed(QStringLiteral("qpdf")) && pdftools::installed(QStringLiteral("pdftoppm")),
             "qpdf and poppler-utils are needed (scripts/setup.sh installs them)");
    // The one page alone, so a run recognises no more than it.
    const QString path = m_dir.filePath(QStringLiteral("one-") + fixture);
    QCOMPARE(pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--empty"), QStringLiteral("--pages"),
                                                     fixtures::realPdf(fixture), QString::number(page),
                                                     QStringLiteral("--"), path})
                 .exitCode,
             0);
    constexpr int kDpi = 72;
    const QImage before = pdftools::renderPage(path, 0, kDpi);
    QVERIFY(!before.isNull());
    QSettings().setValue(QStringLiteral("ocr/languages"), QStringLiteral("rus"));
    m_window->openFile(path);
    const bool legacy = !word.isEmpty();

    {
        PromptAnswers notNow(QStringLiteral("Не сейчас"));
        keyOnWindow(m_window.get(), Qt::Key_F2);
        QCOMPARE(notNow.seen.filter(QStringLiteral("На странице нет текстового слоя")).size(), legacy ? 1 : 0);
    }
    QCOMPARE(pdfView()->hasOcrBlocks(), !legacy);

    OcrProgressDialog* dialog = startDocumentRun();
    QVERIFY(dialog);
    QVERIFY(waitForRunEnd());
    const QStringList lines = logLines(dialog->log());
    QCOMPARE(lines.contains(QStringLiteral("• Страница 1: уже есть текстовый слой — пропущено")), !legacy);
    QCOMPARE(!lines.filter(QStringLiteral("• Страница 1: добавлен текстовый слой")).isEmpty(), legacy);
    if (!legacy)
        return;
    QTRY_VERIFY_WITH_TIMEOUT(blockContaining(*pdfView(), word) >= 0, kRunTimeoutMs);
    save();
    QVERIFY2(pdftools::words(path, 0).contains(word), qPrintable(pdftools::words(path, 0).join(' ')));
    QCOMPARE(pdftools::renderPage(path, 0, kDpi), before);
    // Edited again, the page offers its recognised lines, not the drawn
    // ASCII runs of its fonts beside them.
    keyOnWindow(m_window.get(), Qt::Key_F2);
    keyOnWindow(m_window.get(), Qt::Key_F2);
    QVERIFY(blockContaining(*pdfView(), word) >= 0);
    for (const TextBlock& block : pdfView()->blocks())
        QVERIFY2(block.invisibleText, qPrintable(block.text));
}

QTEST_MAIN(OcrRunsTest)
#include "tst_ocrruns.moc"
