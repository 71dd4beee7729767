// Page navigation and zoom through the window's slots, and what a page
// change does to blocks shown for another page.
#include "WindowTestSupport.h"

#include "TextBlock.h"

#include <QSignalSpy>

using namespace windowtest;

namespace {

std::vector<TextBlock> oneBlock()
{
    TextBlock block;
    block.rect = QRectF(72, 700, 200, 24);
    TextBlock::Line line;
    line.text = QStringLiteral("Page 1");
    line.rect = block.rect;
    block.lines.push_back(line);
    return {block};
}

} // namespace

class PageNavigationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void init();
    void cleanup();

    void noStepPastEitherEnd();
    void lastPageWithoutDocumentDoesNothing();
    void pageBoxAndThumbnailsMoveView();
    void zoomStatus_data();
    void zoomStatus();
    void leavingPageDropsItsBlocks();
    void ocrCancelDropsBlocks();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    PdfView* m_view = nullptr;
};

void PageNavigationTest::init()
{
    m_window = std::make_unique<MainWindow>(AppProduct::editor);
    showSmall(*m_window);
    m_window->openFile(writePdf(m_dir, QStringLiteral("five.pdf"), 5));
    m_view = view(*m_window);
}

void PageNavigationTest::cleanup()
{
    m_window.reset();
}

void PageNavigationTest::noStepPastEitherEnd()
{
    QSignalSpy pages(m_view, &PdfView::pageChanged);
    invoke(*m_window, "onPrevPage");
    QCOMPARE(pages.count(), 0);
    QCOMPARE(m_view->currentPage(), 0);

    invoke(*m_window, "onLastPage");
    pages.clear();
    invoke(*m_window, "onNextPage");
    QCOMPARE(pages.count(), 0);
    QCOMPARE(m_view->currentPage(), 4);
}

void PageNavigationTest::lastPageWithoutDocumentDoesNothing()
{
    MainWindow empty(AppProduct::viewer);
    QSignalSpy pages(view(empty), &PdfView::pageChanged);
    invoke(empty, "onLastPage");
    invoke(empty, "onNextPage");
    QCOMPARE(pages.count(), 0);
}

void PageNavigationTest::pageBoxAndThumbnailsMoveView()
{
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "onPageSpinChanged", Q_ARG(int, 4)));
    QCOMPARE(m_view->currentPage(), 3);
    emit thumbnails(*m_window)->pageSelected(1);
    QCOMPARE(m_view->currentPage(), 1);
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "onPageSpinChanged", Q_ARG(int, 9)));
    QCOMPARE(m_view->currentPage(), 1);
}

void PageNavigationTest::zoomStatus_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<QString>("status");

    QTest::newRow("whole") << 1.5 << "Масштаб: 150%";
    QTest::newRow("half rounds up") << 0.125 << "Масштаб: 13%";
    QTest::newRow("below half rounds down") << 0.1234 << "Масштаб: 12%";
    QTest::newRow("clamped maximum") << 20.0 << "Масштаб: 800%";
}

void PageNavigationTest::zoomStatus()
{
    QFETCH(double, zoom);
    QFETCH(QString, status);
    m_view->setZoom(zoom);
    QCOMPARE(statusText(*m_window), status);
}

void PageNavigationTest::leavingPageDropsItsBlocks()
{
    m_view->showBlocks(0, oneBlock());
    QCOMPARE(m_view->blocks().size(), size_t(1));
    invoke(*m_window, "onNextPage");
    QVERIFY(m_view->blocks().empty());
}

void PageNavigationTest::ocrCancelDropsBlocks()
{
    m_view->showBlocks(0, oneBlock());
    invoke(*m_window, "onOcrCancel");
    QVERIFY(m_view->blocks().empty());
    QCOMPARE(statusText(*m_window), QStringLiteral("Редактирование текстовых блоков отменено"));
}

QTEST_MAIN(PageNavigationTest)
#include "tst_pagenavigation.moc"
