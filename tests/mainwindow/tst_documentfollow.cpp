// The window follows what its document announces: a change made on the
// document itself, with no command around it, reaches the view, the
// thumbnails, the title and the page controls; pending edits go into their
// page before any change, and the document read whole holds them.
#include "OcrWindowSupport.h"
#include "WindowTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QThread>

#include <atomic>

using namespace windowtest;
using namespace ocrwindow;

namespace {

enum class Change { Insert, Delete, Move, Rotate, ImportPdf, ImportPicture, ImportPhoto };

const QString kData = QStringLiteral(VORN_TEST_DATA_DIR);

bool change(PdfDocument& doc, Change what)
{
    switch (what) {
    case Change::Insert: return doc.insertBlankPage(1, QSizeF(595, 842));
    case Change::Delete: return doc.deletePage(2);
    case Change::Move: return doc.movePage(0, 2);
    case Change::Rotate: return doc.rotatePage(1, 90);
    case Change::ImportPdf: return doc.importDocument(kData + QStringLiteral("/groff-columns.pdf"));
    case Change::ImportPicture: return doc.importDocument(kData + QStringLiteral("/pictures/scan-3pages.tif"));
    case Change::ImportPhoto: return doc.importDocument(kData + QStringLiteral("/pictures/photo-exif6.jpg"));
    }
    return false;
}

// A thumbnail of a large scan, drawn on a thread of its own the moment a
// change of the watched document has taken the engine's lock: the draw
// decodes the whole picture and holds the lock, once the change lets go of
// it, for far longer than the view waits for page sizes.
class BusyEngine {
public:
    BusyEngine(const QString& folder, const PdfDocument& watched)
    {
        QImage scan(6000, 8000, QImage::Format_RGB888);
        scan.fill(QColor(236, 232, 220));
        QPainter painter(&scan);
        for (int y = 200; y < 7800; y += 60)
            painter.fillRect(QRect(300 + y % 97, y, 5200, 24), QColor(40, 40, 60));
        painter.end();
        const QString file = QDir(folder).filePath(QStringLiteral("large-scan.jpg"));
        scan.save(file, "jpeg", 60);
        m_document.importDocument(file);
        const quint64 before = watched.revision();
        m_thread.reset(QThread::create([this, &watched, before] {
            while (!m_stop && watched.revision() == before)
                QThread::usleep(50);
            if (!m_stop)
                m_document.renderPage(0, 1.0, 0);
            m_done = true;
        }));
        m_thread->start();
    }
    ~BusyEngine()
    {
        m_stop = true;
        m_thread->wait();
    }
    bool done() const { return m_done; }

private:
    PdfDocument m_document;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::unique_ptr<QThread> m_thread;
};

} // namespace

class DocumentFollowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { isolateSettings(); }
    void cleanup() { m_window.reset(); }

    void pageChangesReachTheWindow_data()
    {
        QTest::addColumn<Change>("what");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("busy");
        // The window has three pages and shows the third.
        QTest::newRow("insert") << Change::Insert << 4 << 1 << false;
        QTest::newRow("delete the shown page") << Change::Delete << 2 << 1 << false;
        QTest::newRow("move") << Change::Move << 3 << 2 << false;
        QTest::newRow("rotate") << Change::Rotate << 3 << 1 << false;
        QTest::newRow("import a pdf") << Change::ImportPdf << 5 << 3 << false;
        QTest::newRow("import a scan of three pages") << Change::ImportPicture << 6 << 3 << false;
        // The engine is drawing something large on another thread (a thumbnail
        // of a big scan), so the view cannot read the page sizes at once: the
        // view and the page counter catch up once they come.
        QTest::newRow("import a photo, engine busy") << Change::ImportPhoto << 4 << 3 << true;
        QTest::newRow("import a pdf, engine busy") << Change::ImportPdf << 5 << 3 << true;
        QTest::newRow("delete the shown page, engine busy") << Change::Delete << 2 << 1 << true;
    }

    void pageChangesReachTheWindow()
    {
        QFETCH(Change, what);
        QFETCH(int, pages);
        QFETCH(int, shown);
        QFETCH(bool, busy);

        MainWindow& window = openWindow(3);
        PdfView* pdfView = view(window);
        // One page at a time: the page shown is the page asked for, wherever
        // the scroll range ends.
        pdfView->setViewMode(PdfView::SinglePage);
        pdfView->setCurrentPage(2);
        QVERIFY(!window.windowTitle().contains(QStringLiteral(" *")));

        if (busy) {
            BusyEngine engine(m_dir.path(), *window.currentDocument());
            QVERIFY(change(*window.currentDocument(), what));
            QTRY_VERIFY(engine.done());
            QTRY_COMPARE(pdfView->pageCount(), pages);
            QTRY_VERIFY2(pageCountText(window).startsWith(QString::number(pages)), qPrintable(pageCountText(window)));
            QTRY_COMPARE(pdfView->currentPage(), shown);
            QTRY_COMPARE(thumbnails(window)->count(), pages);
            QTRY_COMPARE(thumbnails(window)->currentRow(), shown);
        } else {
            QVERIFY(change(*window.currentDocument(), what));
        }

        QCOMPARE(window.currentDocument()->pageCount(), pages);
        QCOMPARE(pdfView->pageCount(), pages);
        QCOMPARE(thumbnails(window)->count(), pages);
        QCOMPARE(pdfView->currentPage(), shown);
        QCOMPARE(thumbnails(window)->currentRow(), shown);
        QVERIFY(window.windowTitle().contains(QStringLiteral(" *")));
        QCOMPARE(tabTexts(window), QStringList{QStringLiteral("a.pdf *")});
        QVERIFY(pageCountText(window).startsWith(QString::number(pages)));
    }

    // Many engine calls of one command: the window follows once, at the end,
    // and shows the page the command asked for; a batch that changed
    // nothing leaves the view as it was.
    void batchFollowsOnceAtItsEnd_data()
    {
        QTest::addColumn<int>("inserts");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("shown");
        QTest::newRow("three inserts, show the first page") << 3 << 0 << 0;
        QTest::newRow("three inserts, nothing asked: the last one") << 3 << -1 << 4;
        QTest::newRow("nothing changed") << 0 << 0 << 1;
    }

    void batchFollowsOnceAtItsEnd()
    {
        QFETCH(int, inserts);
        QFETCH(int, asked);
        QFETCH(int, shown);
        MainWindow& window = openWindow(2);
        PdfView* pdfView = view(window);
        pdfView->setViewMode(PdfView::SinglePage);
        pdfView->setCurrentPage(1);
        PdfDocument* doc = window.currentDocument();
        int pageChanges = 0;
        connect(pdfView, &PdfView::pageChanged, this, [&pageChanges] { ++pageChanges; });
        {
            MainWindow::PageChangeBatch batch(window);
            for (int i = 0; i < inserts; ++i)
                QVERIFY(doc->insertBlankPage(i * 2, QSizeF(595, 842)));
            if (asked >= 0)
                batch.show(asked);
        }
        QCOMPARE(pageChanges, inserts > 0 ? 1 : 0);
        QCOMPARE(thumbnails(window)->count(), 2 + inserts);
        QCOMPARE(pdfView->currentPage(), shown);
    }

    void saveOnTheDocumentReachesTitleAndTab()
    {
        MainWindow& window = openWindow(2);
        PdfDocument* doc = window.currentDocument();
        QVERIFY(doc->insertBlankPage(0, QSizeF(595, 842)));
        QVERIFY(window.windowTitle().contains(QStringLiteral(" *")));
        const QString copy = m_dir.filePath(QStringLiteral("b.pdf"));
        QVERIFY(doc->save(copy));
        QVERIFY(!window.windowTitle().contains(QStringLiteral(" *")));
        QCOMPARE(tabTexts(window), QStringList{QStringLiteral("b.pdf")});
        QCOMPARE(window.openDocumentIndexForPath(QFileInfo(copy).absoluteFilePath()), 0);
    }

    // Nothing between the edit and the change but the document's own call.
    void pendingEditsGoIntoTheirPageFirst()
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        m_window->openFile(writeLinesPdf(m_dir, QStringLiteral("lines.pdf"), {700, 700}));
        PdfView* pdfView = view(*m_window);
        m_window->onToggleEditMode();
        QVERIFY(pdfView->hasOcrBlocks());
        retypeBlock(*pdfView, 0, QStringLiteral("Typed before the move"));
        PdfDocument* doc = m_window->currentDocument();
        QVERIFY(doc->movePage(0, 1));
        QVERIFY(!pdfView->blocksDirty());
        QVERIFY(doc->extractAllText(1).contains(QStringLiteral("Typed before the move")));
        QVERIFY(!doc->extractAllText(0).contains(QStringLiteral("Typed before the move")));
    }

    // Edits that cannot be written stop the change: the pages stay as they
    // were and the edits stay on show.
    void unwritableEditsRefuseTheChange()
    {
        MainWindow& window = openWindow(3);
        PdfView* pdfView = view(window);
        TextBlock block;
        block.text = QStringLiteral("unwritable");
        block.rect = block.originalRect = QRectF(72, 300, 100, 16);
        pdfView->setOcrBlocks({block}, 7, true);  // a page the document lacks
        ModalCloser closer;
        PdfDocument* doc = window.currentDocument();
        const quint64 revision = doc->revision();
        QVERIFY(!doc->deletePage(0));
        QCOMPARE(closer.seen.size(), 1);
        QCOMPARE(doc->pageCount(), 3);
        QCOMPARE(doc->revision(), revision);
        QCOMPARE(blockTexts(*pdfView), QStringList{"unwritable"});
    }

    void documentReadWholeHoldsTheEdits()
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showSmall(*m_window);
        m_window->openFile(writeLinesPdf(m_dir, QStringLiteral("lines.pdf"), {700}));
        PdfView* pdfView = view(*m_window);
        m_window->onToggleEditMode();
        retypeBlock(*pdfView, 0, QStringLiteral("Typed for export"));
        const std::shared_ptr<PdfDocument> read = m_window->documentForReading();
        QVERIFY(read);
        QCOMPARE(read.get(), m_window->currentDocument());
        QVERIFY(read->extractAllText(0).contains(QStringLiteral("Typed for export")));
    }

private:
    MainWindow& openWindow(int pages)
    {
        m_window = std::make_unique<MainWindow>(AppProduct::editor);
        showWithPdf(*m_window, m_dir, pages);
        return *m_window;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(DocumentFollowTest)
#include "tst_documentfollow.moc"
