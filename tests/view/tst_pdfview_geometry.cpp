#include "ViewTestSupport.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QWheelEvent>

using namespace viewtest;

class TestPdfViewGeometry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void initialZoomFitsTheFirstPage_data();
    void initialZoomFitsTheFirstPage();
    void setZoomClampsAndIgnoresNoChange();
    void pagesAreCentredWhenRoomAllows_data();
    void pagesAreCentredWhenRoomAllows();
    void continuousOffsetsAndPageHits();
    void singlePageScrollRangeIsThePages_data();
    void singlePageScrollRangeIsThePages();
    void rotationIsNormalisedAndSwapsTheLayout();
    void ctrlWheelKeepsThePointUnderTheCursor_data();
    void ctrlWheelKeepsThePointUnderTheCursor();
    void mappingsRoundTripOnRotatedPages_data();
    void mappingsRoundTripOnRotatedPages();
    void pageImageMatchesEngineRender_data();
    void pageImageMatchesEngineRender();
    void cacheDropsTheOldestOfElevenPages();
    void paintNeverWaitsOnTheEngine_data();
    void paintNeverWaitsOnTheEngine();
    void dominantPagePrefersLowerIndexAndKeepsCurrentInGaps();
    void ensurePageVisiblePutsTopTenPixelsBelowEdge();
    void pageAskedForStaysCurrent_data();
    void pageAskedForStaysCurrent();
    void pageChangesInTheDocumentReachTheLayout();
    void placeholderWithoutDocument();

private:
    QTemporaryDir m_dir;
};

void TestPdfViewGeometry::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfViewGeometry::initialZoomFitsTheFirstPage_data()
{
    QTest::addColumn<int>("viewportWidth");
    QTest::addColumn<double>("pageWidth");
    QTest::addColumn<double>("zoom");
    QTest::newRow("narrow page capped at 1") << 1000 << 600.0 << 1.0;
    QTest::newRow("wide page fitted") << 1000 << 1200.0 << 980.0 / 1200.0;
    QTest::newRow("wide page capped at 4") << 5000 << 900.0 << 4.0;
    QTest::newRow("floor at 0.1") << 100 << 2000.0 << 0.1;
}

void TestPdfViewGeometry::initialZoomFitsTheFirstPage()
{
    QFETCH(int, viewportWidth);
    QFETCH(double, pageWidth);
    QFETCH(double, zoom);
    auto doc = openPdf(m_dir, QStringLiteral("zoom.pdf"), pagesOfHeights({800}, pageWidth));
    QVERIFY(doc);
    auto view = makeView(viewportWidth, 400);
    QVERIFY(view);
    QSignalSpy zoomSpy(view.get(), &PdfView::zoomChanged);
    QSignalSpy pageSpy(view.get(), &PdfView::pageChanged);
    view->setDocument(doc.get());
    QCOMPARE(view->zoom(), zoom);
    QCOMPARE(zoomSpy.count(), 1);
    QCOMPARE(pageSpy.count(), 0);
}

void TestPdfViewGeometry::setZoomClampsAndIgnoresNoChange()
{
    PdfView view;
    QSignalSpy spy(&view, &PdfView::zoomChanged);
    view.setZoom(9);
    QCOMPARE(view.zoom(), 8.0);
    view.setZoom(0.01);
    QCOMPARE(view.zoom(), 0.1);
    QCOMPARE(spy.count(), 2);
    view.setZoom(0.1 + 1e-8);
    QCOMPARE(spy.count(), 2);
    // Ctrl+wheel at the maximum changes nothing.
    view.setZoom(8.0);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(view.zoom(), 8.0);
}

void TestPdfViewGeometry::pagesAreCentredWhenRoomAllows_data()
{
    QTest::addColumn<int>("narrower");
    QTest::addColumn<int>("x");
    QTest::newRow("19 px narrower") << 19 << 10;
    QTest::newRow("20 px narrower") << 20 << 10;
    QTest::newRow("40 px narrower") << 40 << 20;
    QTest::newRow("wider than the viewport") << -100 << 10;
}

void TestPdfViewGeometry::pagesAreCentredWhenRoomAllows()
{
    QFETCH(int, narrower);
    QFETCH(int, x);
    auto [doc, view] = showPdf(m_dir, QStringLiteral("centre.pdf"), pagesOfHeights({300}, 500), 500 + narrower, 400);
    QVERIFY(doc && view);
    view->setZoom(1.0);
    QCOMPARE(view->pageOffset(0).x(), x);
}

void TestPdfViewGeometry::continuousOffsetsAndPageHits()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("stack.pdf"), pagesOfHeights({100, 150, 200}, 300), 400, 300);
    QVERIFY(doc && view);
    QCOMPARE(view->zoom(), 1.0);
    QCOMPARE(view->pageOffset(2), QPoint(50, 280));
    QCOMPARE(view->pageAtPoint(QPoint(60, 15)), 0);
    QCOMPARE(view->pageAtPoint(QPoint(60, 115)), -1); // the gap
    QCOMPARE(view->pageAtPoint(QPoint(40, 130)), -1); // left of the page
    QCOMPARE(view->pageAtPoint(QPoint(349, 130)), 1);
    view->verticalScrollBar()->setValue(200);
    QCOMPARE(view->pageAtPoint(QPoint(60, 100)), 2);
    view->setViewMode(PdfView::SinglePage);
    QCOMPARE(view->pageAtPoint(QPoint(0, 0)), view->currentPage());
    QCOMPARE(view->pageOffset(2).y(), 10);
}

void TestPdfViewGeometry::singlePageScrollRangeIsThePages_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("setCurrentPage") << false;
    QTest::newRow("PageDown") << true;
}

// Turning from a short page to a tall one: every row of the tall page can be
// reached, and back on the short page nothing scrolls past it.
void TestPdfViewGeometry::singlePageScrollRangeIsThePages()
{
    QFETCH(bool, byKey);
    auto [doc, view] = showPdf(m_dir, QStringLiteral("single.pdf"), pagesOfHeights({100, 1200, 100}, 300), 400, 400);
    QVERIFY(doc && view);
    view->setViewMode(PdfView::SinglePage);
    QCOMPARE(view->verticalScrollBar()->maximum(), 0);
    const auto turnTo = [&](int page) {
        if (byKey)
            QTest::keyClick(view.get(), page > view->currentPage() ? Qt::Key_PageDown : Qt::Key_PageUp);
        else
            view->setCurrentPage(page);
    };
    turnTo(1);
    QCOMPARE(view->currentPage(), 1);
    QCOMPARE(view->verticalScrollBar()->maximum(), 10 + 1200 + 10 - 400);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    QCOMPARE(view->viewportPointForPageTopPoint(1, QPointF(0, 1200)).y(), 400 - 10);
    turnTo(2);
    QCOMPARE(view->verticalScrollBar()->maximum(), 0);
    QCOMPARE(view->verticalScrollBar()->value(), 0);
}

void TestPdfViewGeometry::rotationIsNormalisedAndSwapsTheLayout()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("rot.pdf"), pagesOfHeights({800, 800}, 600), 1000, 500);
    QVERIFY(doc && view);
    view->setRotation(-90);
    QCOMPARE(view->rotation(), 270);
    view->setRotation(450);
    QCOMPARE(view->rotation(), 90);
    QCOMPARE(view->pageOffset(1).y(), 10 + 600 + 10);
    QCOMPARE(view->verticalScrollBar()->maximum(), 10 + 2 * 610 - 500);
}

void TestPdfViewGeometry::ctrlWheelKeepsThePointUnderTheCursor_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("rotation");
    QTest::newRow("first page, in") << 0 << 120 << 0;
    QTest::newRow("deep page, in") << 30 << 120 << 0;
    QTest::newRow("deep page, out") << 30 << -120 << 0;
    QTest::newRow("deep page, rotated view") << 30 << 120 << 90;
}

void TestPdfViewGeometry::ctrlWheelKeepsThePointUnderTheCursor()
{
    QFETCH(int, page);
    QFETCH(int, delta);
    QFETCH(int, rotation);
    auto [doc, view] = showPdf(m_dir, QStringLiteral("wheel.pdf"), pagesOfHeights(QList<double>(40, 842)), 400, 300);
    QVERIFY(doc && view);
    view->setRotation(rotation);
    view->setZoom(2.0);
    view->horizontalScrollBar()->setValue(300);
    view->setCurrentPage(page);
    view->verticalScrollBar()->setValue(view->pageOffset(page).y() + 200);
    const QPoint cursor(150, 120);
    QCOMPARE(view->pageAtPoint(cursor), page);
    const QPointF before = view->viewToPage(page, cursor);

    QSignalSpy spy(view.get(), &PdfView::zoomChanged);
    QWheelEvent wheel(QPointF(cursor), view->viewport()->mapToGlobal(QPointF(cursor)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(view->zoom(), delta > 0 ? 2.2 : 2.0 / 1.1);
    const QPointF after = view->viewToPage(page, cursor);
    QVERIFY2(QLineF(before, after).length() * view->zoom() <= 1.0,
             qPrintable(QStringLiteral("moved from (%1, %2) to (%3, %4)")
                            .arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())));
}

void TestPdfViewGeometry::mappingsRoundTripOnRotatedPages_data()
{
    QTest::addColumn<int>("rotation");
    QTest::newRow("0") << 0;
    QTest::newRow("90") << 90;
    QTest::newRow("180") << 180;
    QTest::newRow("270") << 270;
}

void TestPdfViewGeometry::mappingsRoundTripOnRotatedPages()
{
    QFETCH(int, rotation);
    auto [doc, view] = showPdf(m_dir, QStringLiteral("map.pdf"), pagesOfHeights({400, 400}, 300), 900, 900);
    QVERIFY(doc && view);
    view->setRotation(rotation);
    const QPointF pageTop(40, 60);
    const QPoint screen = view->viewportPointForPageTopPoint(1, pageTop);
    QCOMPARE(view->pageAtPoint(screen), 1);
    QCOMPARE(view->viewToPage(1, screen), pageTop);
    // A PDF rectangle and the page-top rectangle name the same pixels.
    const QRectF pdf(40, 400 - 60 - 20, 30, 20);
    QCOMPARE(view->pdfRectToScreenRect(1, pdf).toAlignedRect(),
             view->viewportRectForPageTopRect(1, QRectF(40, 60, 30, 20)).adjusted(0, 0, -1, -1));
    QCOMPARE(view->selectionPdfRectForViewportRect(1, view->pdfRectToScreenRect(1, pdf).toRect()), pdf);
    QCOMPARE(view->selectionPdfPointForViewportPoint(1, screen), QPointF(40, 340));
}

void TestPdfViewGeometry::pageImageMatchesEngineRender_data()
{
    QTest::addColumn<int>("rotation");
    QTest::addColumn<int>("pageRotate");
    QTest::newRow("plain") << 0 << 0;
    QTest::newRow("view turned 90") << 90 << 0;
    QTest::newRow("page /Rotate 90") << 0 << 90;
    QTest::newRow("both, 270 in all") << 180 << 90;
}

void TestPdfViewGeometry::pageImageMatchesEngineRender()
{
    QFETCH(int, rotation);
    QFETCH(int, pageRotate);
    fixtures::PageSpec pageSpec;
    pageSpec.width = 300;
    pageSpec.height = 200;
    pageSpec.rotate = pageRotate;
    pageSpec.runs = {{QStringLiteral("Render me"), 20, 150, 18}, {QStringLiteral("corner"), 230, 10, 10}};
    auto [doc, view] = showPdf(m_dir, QStringLiteral("render.pdf"), fixtures::pagesPdf({pageSpec}), 700, 700);
    QVERIFY(doc && view);
    view->setRotation(rotation);
    view->setZoom(1.5);
    const QImage shown = grabViewport(*view);
    const QImage engine =
        doc->renderPage(0, 1.5, rotation).convertToFormat(QImage::Format_RGB32);
    const QRect pageRect(view->pageOffset(0), view->viewportRectForPageTopRect(0, QRectF(QPointF(0, 0),
                                                                                          doc->pageSize(0))).size()
                                                  - QSize(1, 1));
    QVERIFY(!pageRect.isEmpty());
    // Inside the one-pixel frame drawn over the page's edge.
    const QRect inner = QRect(QPoint(0, 0), pageRect.size()).adjusted(1, 1, -1, -1);
    QCOMPARE(shown.copy(inner.translated(pageRect.topLeft())), engine.copy(inner));
}

void TestPdfViewGeometry::cacheDropsTheOldestOfElevenPages()
{
    auto doc = openPdf(m_dir, QStringLiteral("cache.pdf"), pagesOfHeights(QList<double>(12, 100), 100));
    QVERIFY(doc);
    PdfView view;
    view.setDocument(doc.get());
    // A miss asks the render thread; the image is there once it answered.
    const auto render = [&view](int page) {
        return QTest::qWaitFor([&view, page] { return !view.cachedPage(page).isNull(); }, 10000);
    };
    for (int page = 0; page < 10; ++page)
        QVERIFY(render(page));
    QCOMPARE(view.pageRenderCount(), 10);
    QVERIFY(render(0)); // a hit does not protect it
    QCOMPARE(view.pageRenderCount(), 10);
    QVERIFY(render(10));
    QVERIFY(render(1));
    QCOMPARE(view.pageRenderCount(), 11);
    QVERIFY(render(0));
    QCOMPARE(view.pageRenderCount(), 12);
    view.setRotation(90);
    QVERIFY(render(2));
    QCOMPARE(view.pageRenderCount(), 13);
    doc->rotatePage(2, 90); // the document changed under the cache
    QVERIFY(render(2));
    QCOMPARE(view.pageRenderCount(), 14);
    view.setDocument(nullptr);
}

void TestPdfViewGeometry::paintNeverWaitsOnTheEngine_data()
{
    QTest::addColumn<bool>("setWhileBusy");
    QTest::newRow("document shown before") << false;
    QTest::newRow("document set while the engine is busy") << true;
}

// Another thread holds the engine (a heavy render, recognition): painting,
// scrolling, zooming and page queries go on at once, showing earlier images
// scaled or blank pages; the pages appear when the engine is free again.
void TestPdfViewGeometry::paintNeverWaitsOnTheEngine()
{
    QFETCH(bool, setWhileBusy);
    auto doc = openPdf(m_dir, QStringLiteral("busy.pdf"), pagesOfHeights(QList<double>(6, 300), 300));
    QVERIFY(doc);
    auto view = makeView(500, 450);
    QVERIFY(view);
    const auto pageArea = [&view](int page) {
        return view->viewportRectForPageTopRect(page, QRectF(0, 0, 300, 300)).adjusted(2, 2, -2, -2);
    };
    const auto wordOnPage3 = [&view] { return view->viewportPointForPageTopPoint(3, QPointF(30, 36)); };
    const auto move = [&view](const QPoint& at) {
        QMouseEvent event(QEvent::MouseMove, QPointF(at), view->viewport()->mapToGlobal(QPointF(at)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
        return true;
    };
    const auto wordOnPage0 = [&view](double x) { return view->viewportPointForPageTopPoint(0, QPointF(x, 36)); };
    if (!setWhileBusy) {
        view->setDocument(doc.get());
        QVERIFY(!darkPixelBounds(grabViewport(*view), pageArea(0)).isEmpty());
        QTRY_VERIFY(move(wordOnPage0(30)) && view->viewport()->cursor().shape() == Qt::IBeamCursor);
    }
    {
        // Each step returns while the engine is still held: none waited for it.
        EngineBlocker blocker;
        if (setWhileBusy) {
            view->setDocument(doc.get());
            QCOMPARE(view->pageCount(), 0); // sizes are being read on the render thread
            QVERIFY(darkPixelBounds(view->viewport()->grab().toImage(), view->viewport()->rect()).isEmpty());
        } else {
            // Selecting text the view has read already needs no engine.
            QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, wordOnPage0(21));
            QTest::mouseMove(view->viewport(), wordOnPage0(60));
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, wordOnPage0(60));
            QVERIFY(blocker.holding());
            QCOMPARE(view->selectedText(), QStringLiteral("Page1"));
            view->zoomIn();
            view->viewport()->repaint();
            QVERIFY(blocker.holding());
            // The earlier image of page 0, scaled, while the new one waits.
            QVERIFY(!darkPixelBounds(view->viewport()->grab().toImage(), pageArea(0)).isEmpty());
            // Turned with the view: the word near the page's top left now stands at its top right.
            view->setRotation(90);
            view->viewport()->repaint();
            QVERIFY(blocker.holding());
            const QRect turnedInk = darkPixelBounds(view->viewport()->grab().toImage(), pageArea(0));
            QVERIFY(!turnedInk.isEmpty() && turnedInk.center().x() > pageArea(0).center().x());
            view->setRotation(0);
            view->setCurrentPage(3);
            view->viewport()->repaint();
            QVERIFY(blocker.holding());
            QVERIFY(darkPixelBounds(view->viewport()->grab().toImage(), pageArea(3)).isEmpty());
            // The pointer over page 3's word: its text is not at hand, and not waited for.
            move(wordOnPage3());
            QVERIFY(blocker.holding());
            QVERIFY(view->viewport()->cursor().shape() != Qt::IBeamCursor);
            QCOMPARE(view->pageCount(), 6);
            QVERIFY(view->pageRendersPending());
        }
        QVERIFY(blocker.holding());
    }
    const int page = setWhileBusy ? 0 : 3;
    QTRY_COMPARE(view->pageCount(), 6);
    if (!setWhileBusy) // the text arrives from the render thread: the next move shows the I-beam
        QTRY_VERIFY(move(wordOnPage3()) && view->viewport()->cursor().shape() == Qt::IBeamCursor);
    QCOMPARE(view->zoom(), setWhileBusy ? 1.0 : 1.25);
    QVERIFY(!darkPixelBounds(grabViewport(*view), pageArea(page)).isEmpty());
}

void TestPdfViewGeometry::dominantPagePrefersLowerIndexAndKeepsCurrentInGaps()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("dominant.pdf"), pagesOfHeights({100, 100, 100}, 100), 300, 60);
    QVERIFY(doc && view);
    view->verticalScrollBar()->setValue(85); // rows 85..144: 25 of page 0, 25 of page 1
    QCOMPARE(view->dominantVisiblePage(), 0);
    auto quiet = makeView(300, 8);
    QVERIFY(quiet);
    quiet->setDocument(doc.get());
    quiet->setCurrentPage(2);
    quiet->verticalScrollBar()->setValue(111); // inside the gap between pages 0 and 1
    QCOMPARE(quiet->dominantVisiblePage(), 2);
    view->setDocument(nullptr);
    quiet->setDocument(nullptr);
}

void TestPdfViewGeometry::ensurePageVisiblePutsTopTenPixelsBelowEdge()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("visible.pdf"), pagesOfHeights({300, 300, 300}, 100), 300, 400);
    QVERIFY(doc && view);
    view->verticalScrollBar()->setValue(330); // page 1 starts at 320: its top is hidden
    view->ensurePageVisible(1);
    QCOMPARE(view->verticalScrollBar()->value(), 310);
    view->verticalScrollBar()->setValue(0);
    view->ensurePageVisible(2); // bottom at 630 + 300
    QCOMPARE(view->verticalScrollBar()->value(), 930 + 10 - 400);
}

// A page asked for is the current page even where the view cannot bring
// its top up (a short last page under a tall one): the page counter and the
// strip hear of that page alone, not of the one the scroll shows most of.
void TestPdfViewGeometry::pageAskedForStaysCurrent_data()
{
    QTest::addColumn<QList<double>>("heights");
    QTest::addColumn<int>("page");
    QTest::newRow("short last page") << QList<double>{500, 500, 100} << 2;
    QTest::newRow("two short pages at the end") << QList<double>{500, 100, 60} << 1;
    QTest::newRow("tall last page") << QList<double>{500, 500, 500} << 2;
    QTest::newRow("back to the first") << QList<double>{500, 500, 100} << 0;
}

void TestPdfViewGeometry::pageAskedForStaysCurrent()
{
    QFETCH(QList<double>, heights);
    QFETCH(int, page);
    auto [doc, view] = showPdf(m_dir, QStringLiteral("asked.pdf"), pagesOfHeights(heights, 300), 400, 400);
    QVERIFY(doc && view);
    view->setCurrentPage(1);
    QSignalSpy spy(view.get(), &PdfView::pageChanged);
    view->setCurrentPage(page);
    QCOMPARE(view->currentPage(), page);
    QVERIFY(!spy.isEmpty());
    for (const QList<QVariant>& signal : spy)
        QCOMPARE(signal.at(0).toInt(), page);
    view->setDocument(nullptr);
}

void TestPdfViewGeometry::pageChangesInTheDocumentReachTheLayout()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("change.pdf"), pagesOfHeights({100, 200}, 100), 300, 400);
    QVERIFY(doc && view);
    QCOMPARE(view->pageCount(), 2);
    QVERIFY(doc->deletePage(0));
    QCOMPARE(view->pageCount(), 1);
    QCOMPARE(view->pdfRectToScreenRect(0, QRectF(0, 0, 100, 200)).size(), QSizeF(100, 200));
    view->grab(); // painting brings the scroll range up to date
    QCOMPARE(view->verticalScrollBar()->maximum(), 10 + 210 - 400 > 0 ? 10 + 210 - 400 : 0);
}

void TestPdfViewGeometry::placeholderWithoutDocument()
{
    auto view = makeView(300, 200);
    QVERIFY(view);
    view->setCanvasTheme(false);
    const QImage light = grabViewport(*view);
    const QRect text = darkPixelBounds(light, light.rect());
    QVERIFY(!text.isEmpty());
    QVERIFY(qAbs(text.center().x() - 150) <= 3);
    QVERIFY(qAbs(text.center().y() - 100) <= 3);
    QCOMPARE(view->pageAtPoint(QPoint(10, 10)), -1);
}

QTEST_MAIN(TestPdfViewGeometry)
#include "tst_pdfview_geometry.moc"
