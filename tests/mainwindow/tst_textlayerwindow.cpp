// The page's own text layer in the window, and edited blocks written back
// (or kept) whenever something else takes their place: a page change, blocks
// of another page, a tab switch, deleting every block, the edit-mode switch.
#include "OcrWindowSupport.h"
#include "WindowTestSupport.h"

using namespace windowtest;
using namespace ocrwindow;

namespace {

TextBlock recognisedBlock(const QString& text, const QRectF& rect)
{
    TextBlock block;
    block.text = text;
    block.rect = block.originalRect = rect;
    block.fontSize = 14;
    TextBlock::Line line;
    line.text = text;
    line.rect = rect;
    line.fontSize = 14;
    block.lines = {line};
    return block;
}

QString twoPagePdf(const QTemporaryDir& dir, const QString& name)
{
    fixtures::PageSpec second;
    second.runs << fixtures::TextRun{QStringLiteral("Second page sentence"), 72, 700, 14};
    const QString path = dir.filePath(name);
    if (!fixtures::writeFile(path, fixtures::pagesPdf({nativePage(), second})))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class TextLayerWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup() { m_window.reset(); }

    void openShowsNativeBlocksInReadingOrder();
    void pageChangeWritesEditsOfThePageLeft();
    void pageChangeKeepsEditsThatCannotBeWritten();
    void blocksMadeRoomForAreWrittenToTheirPage();
    void deletingEveryBlockRemovesThePageLayer();
    void tabSwitchWritesEditsOrStays();
    void editModeSwitchKeepsOnlyChangedBlocks();
    void saveKeepsTheBlocksShownClean();

private:
    // A shown window with a two-page native PDF of that name open.
    MainWindow& openWindow(const QString& name)
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        m_window->openFile(twoPagePdf(m_dir, name));
        return *m_window;
    }
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void TextLayerWindowTest::openShowsNativeBlocksInReadingOrder()
{
    MainWindow& window = openWindow(QStringLiteral("native.pdf"));
    QCOMPARE(statusText(window), QStringLiteral("Открыт: native.pdf · текстовый слой готов"));
    // The right header sits higher, yet the left column is read first.
    QCOMPARE(blockTexts(*view(window)), QStringList({"Left header", "Right header", "First paragraph line",
                                                     "Second paragraph line"}));
    QVERIFY(!view(window)->blocksDirty());
    QVERIFY(!window.currentDocument()->isModified());
}

void TextLayerWindowTest::pageChangeWritesEditsOfThePageLeft()
{
    MainWindow& window = openWindow(QStringLiteral("scroll.pdf"));
    PdfView* pdfView = view(window);
    retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("First paragraph")), QStringLiteral("Rewritten line"));
    QVERIFY(pdfView->blocksDirty());

    pdfView->setCurrentPage(1);
    QVERIFY(window.currentDocument()->extractAllText(0).contains(QStringLiteral("Rewritten line")));
    QCOMPARE(pdfView->blockPage(), 1);
    QCOMPARE(blockTexts(*pdfView), QStringList{"Second page sentence"});
    QVERIFY(!pdfView->blocksDirty());
}

void TextLayerWindowTest::pageChangeKeepsEditsThatCannotBeWritten()
{
    MainWindow& window = openWindow(QStringLiteral("keep.pdf"));
    PdfView* pdfView = view(window);
    // Blocks of a page the document does not have cannot be written.
    pdfView->setOcrBlocks({recognisedBlock(QStringLiteral("stray edit"), QRectF(72, 300, 100, 16))}, 7, true);
    ModalCloser closer;
    pdfView->setCurrentPage(1);
    QCOMPARE(closer.seen.size(), 1);
    QVERIFY(closer.seen[0].startsWith(QStringLiteral("Ошибка|Не удалось определить страницу текстовых правок.")));
    QCOMPARE(pdfView->blockPage(), 7);
    QVERIFY(pdfView->blocksDirty());
    QCOMPARE(blockTexts(*pdfView), QStringList{"stray edit"});
}

void TextLayerWindowTest::blocksMadeRoomForAreWrittenToTheirPage()
{
    MainWindow& window = openWindow(QStringLiteral("insert.pdf"));
    PdfView* pdfView = view(window);
    pdfView->setEditMode(true);
    retypeBlock(*pdfView, blockContaining(*pdfView, QStringLiteral("Left header")), QStringLiteral("Moved aside"));
    pdfView->appendEditableTextBlock(1, QRectF(50, 50, 150, 20), QStringLiteral("New note"), QString(), 12, Qt::black);
    QVERIFY(window.currentDocument()->extractAllText(0).contains(QStringLiteral("Moved aside")));
    QCOMPARE(pdfView->blockPage(), 1);
    QCOMPARE(blockTexts(*pdfView), QStringList{"New note"});
}

void TextLayerWindowTest::deletingEveryBlockRemovesThePageLayer()
{
    MainWindow& window = openWindow(QStringLiteral("delete.pdf"));
    PdfDocument* doc = window.currentDocument();
    QVERIFY(doc->overlayOcrText(1, {recognisedBlock(QStringLiteral("hidden words"), QRectF(72, 300, 120, 16))}, false));
    PdfView* pdfView = view(window);
    pdfView->setCurrentPage(1);
    QVERIFY(window.loadNativeTextLayerForPage(1, false));
    for (int i = 0; i < int(pdfView->blocks().size()); ++i)
        pdfView->selectOcrBlock(i, true);
    pdfView->deleteSelectedOcrBlocks();
    QVERIFY(pdfView->blocksDirty());
    QVERIFY(!pdfView->hasOcrBlocks());

    ModalCloser closer;
    QVERIFY(window.applyPendingOcrEdits());
    QVERIFY(closer.seen.isEmpty());
    QVERIFY(!pdfView->blocksDirty());
    // Deleted blocks leave the page: the searchable words and the visible line alike.
    const QString text = doc->extractAllText(1);
    QVERIFY(!text.contains(QStringLiteral("hidden words")));
    QVERIFY2(!text.contains(QStringLiteral("Second page sentence")), qPrintable(text));
}

void TextLayerWindowTest::tabSwitchWritesEditsOrStays()
{
    MainWindow& window = openWindow(QStringLiteral("one.pdf"));
    PdfDocument* first = window.currentDocument();
    window.openFile(twoPagePdf(m_dir, QStringLiteral("two.pdf")));
    PdfDocument* second = window.currentDocument();
    PdfView* pdfView = view(window);

    pdfView->setOcrBlocks({recognisedBlock(QStringLiteral("stray edit"), QRectF(72, 300, 100, 16))}, 7, true);
    {
        ModalCloser closer;
        tabs(window)->setCurrentIndex(0);
        QCOMPARE(closer.seen.size(), 1);
    }
    QCOMPARE(window.currentDocument(), second);
    QCOMPARE(tabs(window)->currentIndex(), 1);
    QCOMPARE(blockTexts(*pdfView), QStringList{"stray edit"});

    pdfView->setOcrBlocks(second->extractText(0), 0, false);
    retypeBlock(*pdfView, 0, QStringLiteral("Written on leaving"));
    tabs(window)->setCurrentIndex(0);
    QCOMPARE(window.currentDocument(), first);
    QVERIFY(second->extractAllText(0).contains(QStringLiteral("Written on leaving")));
    QVERIFY(!first->extractAllText(0).contains(QStringLiteral("Written on leaving")));
}

void TextLayerWindowTest::editModeSwitchKeepsOnlyChangedBlocks()
{
    MainWindow& window = openWindow(QStringLiteral("toggle.pdf"));
    PdfView* pdfView = view(window);
    retypeBlock(*pdfView, 0, QStringLiteral("Kept through toggles"));
    window.onToggleEditMode();  // on
    window.onToggleEditMode();  // off
    window.onToggleEditMode();  // on again: changed blocks stay
    QVERIFY(pdfView->editMode());
    QCOMPARE(blockTexts(*pdfView).value(0), QStringLiteral("Kept through toggles"));
    QCOMPARE(statusText(window), QStringLiteral("Режим редактирования: текстовые рамки включены"));

    QVERIFY(window.applyPendingOcrEdits());
    window.onToggleEditMode();  // off
    window.onToggleEditMode();  // on over a clean view: the page's layer again
    QVERIFY(blockTexts(*pdfView).contains(QStringLiteral("Kept through toggles")));
    QVERIFY(!pdfView->blocksDirty());
}

// Ctrl+S in edit mode writes the edits and the page goes on showing its
// blocks, clean, read from what was saved.
void TextLayerWindowTest::saveKeepsTheBlocksShownClean()
{
    MainWindow& window = openWindow(QStringLiteral("saved.pdf"));
    PdfView* pdfView = view(window);
    window.onToggleEditMode();
    QVERIFY(pdfView->editMode());
    retypeBlock(*pdfView, 0, QStringLiteral("Saved and shown"));
    pdfView->setFocus();
    QTest::keyClick(pdfView, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!window.currentDocument()->isModified());
    QVERIFY(pdfView->hasOcrBlocks());
    QVERIFY(!pdfView->blocksDirty());
    QVERIFY(blockTexts(*pdfView).contains(QStringLiteral("Saved and shown")));
    PdfDocument saved;
    QVERIFY(saved.open(window.currentDocument()->filePath()));
    QVERIFY(saved.extractAllText(0).contains(QStringLiteral("Saved and shown")));
}

QTEST_MAIN(TextLayerWindowTest)
#include "tst_textlayerwindow.moc"
