#include "ViewTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>

using namespace viewtest;
using Line = PdfView::SelectableLine;

// Receives the URLs the view hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class TestPdfViewSelection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void decorationIsNeverSelected_data();
    void decorationIsNeverSelected();
    void selectionAcrossTwoLinesJoinsPieces();
    void selectionWithinOneLine_data();
    void selectionWithinOneLine();
    void highlightsLieOnTheWords_data();
    void highlightsLieOnTheWords();
    void selectionReadsTurnedPagesInWordOrder_data();
    void selectionReadsTurnedPagesInWordOrder();
    void pageTextFollowsDocumentChanges();
    void currentSearchHitIsScrolledIntoView();
    void regionDragOffersRecognition();
    void clickActivatesLinks_data();
    void clickActivatesLinks();
    void pageKeysAndZoomKeys();

private:
    void dragInView(PdfView& view, const QPoint& from, const QPoint& to);
    QTemporaryDir m_dir;
    UrlCatcher m_catcher;
};

void TestPdfViewSelection::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    for (const char* scheme : {"http", "https", "mailto", "file", "ftp"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_catcher, "open");
}

void TestPdfViewSelection::cleanupTestCase()
{
    for (const char* scheme : {"http", "https", "mailto", "file", "ftp"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestPdfViewSelection::dragInView(PdfView& view, const QPoint& from, const QPoint& to)
{
    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(view.viewport(), (from + to) / 2);
    QTest::mouseMove(view.viewport(), to);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, to);
}

void TestPdfViewSelection::decorationIsNeverSelected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("decorative");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("underscores") << "_____" << true << "";
    QTest::newRow("dashes and spaces") << QString::fromUtf8("— – - -") << true << "";
    QTest::newRow("two hyphens") << "--" << false << "--";
    QTest::newRow("rule with a word") << "___ a ___" << false << "a";
    QTest::newRow("short text only trimmed") << " -a" << false << "-a";
    QTest::newRow("long runs go") << "____Name____" << false << "Name";
    QTest::newRow("short runs stay") << "--Name--" << false << "--Name--";
    QTest::newRow("leading run only") << QString::fromUtf8("———  Итого") << false << QString::fromUtf8("Итого");
    QTest::newRow("spaces count as padding") << " - Name" << false << "Name";
}

void TestPdfViewSelection::decorationIsNeverSelected()
{
    QFETCH(QString, text);
    QFETCH(bool, decorative);
    QFETCH(QString, stripped);
    QCOMPARE(PdfView::isDecorativeSelectionText(text), decorative);
    QCOMPARE(PdfView::stripSelectionDecorativePadding(text), stripped);
}

void TestPdfViewSelection::selectionAcrossTwoLinesJoinsPieces()
{
    // Ten characters of 10 points each per line; the upper line first.
    const std::vector<Line> lines = {{"klmnopqrst", QRectF(0, 80, 100, 10), 10},
                                     {"abcdefghij", QRectF(0, 100, 100, 10), 10}};
    QString text;
    const QList<QRectF> forward = PdfView::selectTextBetweenPoints(lines, QPointF(55, 105), QPointF(45, 85), &text);
    QCOMPARE(text, QStringLiteral("fghij\nklmno"));
    QCOMPARE(forward, (QList<QRectF>{QRectF(50, 100, 50, 10), QRectF(0, 80, 50, 10)}));
    QString backward;
    PdfView::selectTextBetweenPoints(lines, QPointF(45, 85), QPointF(55, 105), &backward);
    QCOMPARE(backward, text);
}

void TestPdfViewSelection::selectionWithinOneLine_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<QString>("text");
    QTest::newRow("two characters") << 20.0 << 40.0 << "cd";
    QTest::newRow("half a point selects nothing") << 20.2 << 20.6 << "";
    QTest::newRow("inside one character") << 21.0 << 23.0 << "c";
    QTest::newRow("on a space") << 51.0 << 53.0 << "";
    QTest::newRow("beyond the line") << -30.0 << 300.0 << "abcde fghi";
}

void TestPdfViewSelection::selectionWithinOneLine()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(QString, text);
    const std::vector<Line> lines = {{"abcde fghi", QRectF(0, 100, 100, 10), 10}};
    QString selected;
    const QList<QRectF> highlights =
        PdfView::selectTextBetweenPoints(lines, QPointF(from, 105), QPointF(to, 105), &selected);
    QCOMPARE(selected, text);
    QCOMPARE(highlights.isEmpty(), text.isEmpty());
}

void TestPdfViewSelection::highlightsLieOnTheWords_data()
{
    QTest::addColumn<int>("pageRotate");
    QTest::addColumn<int>("viewRotation");
    QTest::newRow("plain") << 0 << 0;
    QTest::newRow("page /Rotate 90") << 90 << 0;
    QTest::newRow("view rotated 90") << 0 << 90;
    QTest::newRow("both") << 90 << 270;
    QTest::newRow("view rotated 180") << 0 << 180;
}

// The engine renders the page; its ink is the truth the overlays must meet.
void TestPdfViewSelection::highlightsLieOnTheWords()
{
    QFETCH(int, pageRotate);
    QFETCH(int, viewRotation);
    fixtures::PageSpec pageSpec;
    pageSpec.width = 400;
    pageSpec.height = 300;
    pageSpec.rotate = pageRotate;
    if (pageRotate == 0)
        pageSpec.runs = {{QStringLiteral("Marker"), 60, 200, 24}};
    else // drawn turned back, so that it reads upright on the turned page, as scans do
        pageSpec.extraContent = QStringLiteral("BT /F1 24 Tf 0 1 -1 0 200 100 Tm (Marker) Tj ET\n");
    auto [doc, view] = showPdf(m_dir, QStringLiteral("words.pdf"), fixtures::pagesPdf({pageSpec}), 800, 900);
    QVERIFY(doc && view);
    view->setRotation(viewRotation);
    const QImage shown = grabViewport(*view);
    const QRect page = view->viewportRectForPageTopRect(0, QRectF(QPointF(0, 0), doc->pageSize(0)));
    const QRect ink = darkPixelBounds(shown, page.adjusted(3, 3, -3, -3));
    QVERIFY(!ink.isEmpty());

    const QList<QRectF> hits = doc->findText(0, QStringLiteral("Marker"));
    QCOMPARE(hits.size(), 1);
    view->setSearchHighlights(0, hits, 0);
    const QRectF hit = view->pdfRectToScreenRect(0, hits.first());
    QVERIFY2(hit.adjusted(-3, -3, 3, 3).contains(QRectF(ink)),
             qPrintable(QStringLiteral("hit %1,%2 %3x%4 ink %5,%6 %7x%8")
                            .arg(hit.x()).arg(hit.y()).arg(hit.width()).arg(hit.height())
                            .arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
    QVERIFY(hit.width() * hit.height() < 2.5 * ink.width() * ink.height());

    // A drag through the word along its reading direction on screen selects it.
    QSignalSpy selected(view.get(), &PdfView::textSelected);
    const QPointF centre = hit.center();
    const QPointF directions[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}}; // clockwise quarter turns
    const QPointF reading = directions[viewRotation / 90];
    const double halfLength = (reading.x() != 0 ? hit.width() : hit.height()) / 2 - 1;
    const QPoint start = (centre - reading * halfLength).toPoint();
    const QPoint end = (centre + reading * halfLength).toPoint();
    dragInView(*view, start, end);
    QCOMPARE(view->selectedText(), QStringLiteral("Marker"));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Marker"));
    const QList<QRectF> highlights = view->selectionHighlights();
    QCOMPARE(highlights.size(), 1);
    const QRectF onScreen = view->pdfRectToScreenRect(0, highlights.first());
    QVERIFY(onScreen.adjusted(-3, -3, 3, 3).contains(QRectF(ink)));
}

void TestPdfViewSelection::selectionReadsTurnedPagesInWordOrder_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rotatePage");
    QTest::addColumn<int>("viewRotation");
    QTest::newRow("groff page") << "groff-columns.pdf" << 0 << 0;
    QTest::newRow("turned by qpdf --rotate=+90") << "groff-columns-rot90.pdf" << 0 << 0;
    QTest::newRow("turned by rotatePage") << "groff-columns.pdf" << 270 << 0;
    QTest::newRow("turned page, view turned back") << "groff-columns-rot90.pdf" << 0 << 270;
}

// A drag from before the first word of a line to past the last word of the
// next one selects both lines, words in reading order, however the page or
// the view is turned (a turned page once gave one character per line).
void TestPdfViewSelection::selectionReadsTurnedPagesInWordOrder()
{
    QFETCH(QString, file);
    QFETCH(int, rotatePage);
    QFETCH(int, viewRotation);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    if (rotatePage != 0)
        QVERIFY(doc.rotatePage(0, rotatePage));
    auto view = makeView(1000, 1000);
    QVERIFY(view);
    view->setDocument(&doc);
    view->setRotation(viewRotation);
    view->setZoom(1.0);
    const QString first = QStringLiteral("Annual Report of the Records Office");
    const QString second = QStringLiteral("Records Department");
    // Where the engine finds the words on the screen, and which way they read there.
    const auto onScreen = [&](const QString& words) {
        PdfDocument::FindOptions exact;
        exact.matchCase = true;
        QRectF found;
        for (const QRectF& hit : doc.findTextWithOptions(0, words, exact))
            found |= hit;
        return view->pdfRectToScreenRect(0, found);
    };
    const QRectF head = onScreen(QStringLiteral("Annual"));
    const QRectF tail = onScreen(QStringLiteral("Office"));
    QVERIFY(!head.isEmpty() && !tail.isEmpty());
    const QPointF way = tail.center() - head.center();
    const QPointF reading = std::abs(way.x()) > std::abs(way.y()) ? QPointF(way.x() > 0 ? 1 : -1, 0)
                                                                  : QPointF(0, way.y() > 0 ? 1 : -1);
    const auto beyond = [&](const QRectF& r, double sign) {
        const double half = (reading.x() != 0 ? r.width() : r.height()) / 2 + 0.5;
        return (r.center() + sign * half * reading).toPoint();
    };
    const QRectF firstLine = onScreen(first);
    const QRectF secondLine = onScreen(second);
    QVERIFY(!firstLine.isEmpty() && !secondLine.isEmpty());
    dragInView(*view, beyond(firstLine, -1), beyond(secondLine, 1));
    QCOMPARE(view->selectedText(), first + u'\n' + second);
    // The highlights cover the two lines where they are drawn.
    QRectF covered;
    for (const QRectF& highlight : view->selectionHighlights())
        covered |= view->pdfRectToScreenRect(0, highlight);
    QVERIFY(covered.adjusted(-3, -3, 3, 3).contains(firstLine | secondLine));
    QVERIFY(covered.width() * covered.height() < 1.6 * (firstLine | secondLine).width() * (firstLine | secondLine).height());
}

void TestPdfViewSelection::pageTextFollowsDocumentChanges()
{
    fixtures::PageSpec first;
    first.runs = {{QStringLiteral("Alpha"), 72, 700, 24}};
    fixtures::PageSpec second;
    second.runs = {{QStringLiteral("Omega"), 300, 400, 24}};
    auto [doc, view] = showPdf(m_dir, QStringLiteral("change.pdf"), fixtures::pagesPdf({first, second}), 800, 900);
    QVERIFY(doc && view);
    view->setViewMode(PdfView::SinglePage);
    QString text;
    view->collectTextSelectionHighlights(0, QPointF(0, 0), QPointF(595, 842), &text);
    QCOMPARE(text, QStringLiteral("Alpha"));
    const QRectF alpha = view->pdfRectToScreenRect(0, doc->findText(0, QStringLiteral("Alpha")).first());
    QVERIFY(view->selectableTextAtViewportPoint(alpha.center().toPoint()));
    QVERIFY(doc->deletePage(0)); // the page the view knew is gone
    view->collectTextSelectionHighlights(0, QPointF(0, 0), QPointF(595, 842), &text);
    QCOMPARE(text, QStringLiteral("Omega"));
    QVERIFY(!view->selectableTextAtViewportPoint(alpha.center().toPoint()));
}

void TestPdfViewSelection::currentSearchHitIsScrolledIntoView()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("search.pdf"), pagesOfHeights({842, 842, 842}), 600, 400);
    QVERIFY(doc && view);
    const QRectF hit(100, 100, 50, 12); // near the bottom of page 1
    view->setSearchHighlights(1, {hit, hit.translated(0, 300)}, 5);
    QCOMPARE(view->currentSearchHit(), 1);
    view->setSearchHighlights(1, {hit}, 0);
    const QRectF r = view->pdfRectToScreenRect(1, hit);
    QVERIFY(qAbs(r.bottom() + 24 - view->viewport()->height()) <= 1.0);
    view->clearSearchHighlights();
    QCOMPARE(view->currentSearchHit(), -1);
}

void TestPdfViewSelection::regionDragOffersRecognition()
{
    auto [doc, view] = showPdf(m_dir, QStringLiteral("region.pdf"), pagesOfHeights({842}), 800, 900);
    QVERIFY(doc && view);
    view->setRotation(90);
    QSignalSpy ready(view.get(), &PdfView::selectionRectReady);
    QSignalSpy requested(view.get(), &PdfView::ocrRegionRequested);
    const QPoint from = view->viewportPointForPageTopPoint(0, QPointF(300, 500));
    const QPoint to = view->viewportPointForPageTopPoint(0, QPointF(400, 560));
    dragInView(*view, from, to);
    QCOMPARE(ready.count(), 1);
    QCOMPARE(ready.first().at(1).toRectF(), QRectF(300, 500, 100, 60));

    QTimer::singleShot(50, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->setActiveAction(menu->actions().first());
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier, (from + to) / 2);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().at(0).toInt(), 0);
    QCOMPARE(requested.first().at(1).toRectF(), QRectF(300, 500, 100, 60));
    // Escape drops the region: no menu any more.
    QTest::keyClick(view.get(), Qt::Key_Escape);
    QCOMPARE(view->lastRegionPage(), -1);
}

void TestPdfViewSelection::clickActivatesLinks_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("launch");
    QTest::addColumn<QString>("answer");  // the dialog expected and its answer
    QTest::addColumn<QString>("opened");  // what reaches the desktop
    QTest::newRow("https opens") << "https://example.org/a" << "" << "" << "https://example.org/a";
    QTest::newRow("mailto opens") << "mailto:a@example.org" << "" << "" << "mailto:a@example.org";
    QTest::newRow("other scheme, declined") << "ftp://example.org/x" << "" << "linkConfirmation:no" << "";
    QTest::newRow("other scheme, accepted") << "ftp://example.org/x" << "" << "linkConfirmation:yes"
                                            << "ftp://example.org/x";
    QTest::newRow("local document asked") << "" << "notes.txt" << "linkConfirmation:yes" << "notes.txt";
    QTest::newRow("program refused") << "" << "tool.sh" << "linkRefusal:ok" << "";
    QTest::newRow("desktop entry refused") << "" << "app.desktop" << "linkRefusal:ok" << "";
}

void TestPdfViewSelection::clickActivatesLinks()
{
    QFETCH(QString, uri);
    QFETCH(QString, launch);
    QFETCH(QString, answer);
    QFETCH(QString, opened);
    QFile tool(m_dir.filePath(QStringLiteral("tool.sh")));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\ntouch pwned\n");
    tool.close();
    tool.setPermissions(tool.permissions() | QFileDevice::ExeOwner);

    fixtures::PageSpec page;
    page.links = {{QRectF(100, 600, 200, 40), -1, uri, launch}};
    fixtures::PageSpec target;
    auto [doc, view] = showPdf(m_dir, QStringLiteral("links.pdf"), fixtures::pagesPdf({page, target}), 800, 900);
    QVERIFY(doc && view);
    m_catcher.opened.clear();

    QString dialogSeen;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        const QString reply = answer.section(u':', 1);
        dialogSeen = box->objectName() + u':' + reply;
        box->done(reply == QLatin1String("yes") ? QMessageBox::Yes : reply == QLatin1String("no") ? QMessageBox::No
                                                                                                 : QMessageBox::Ok);
    });
    const QRectF link = view->pdfRectToScreenRect(0, QRectF(100, 600, 200, 40));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, link.center().toPoint());
    QCOMPARE(dialogSeen, answer);
    if (opened.isEmpty()) {
        QVERIFY(m_catcher.opened.isEmpty());
    } else {
        QCOMPARE(m_catcher.opened.size(), 1);
        const QUrl expected =
            launch.isEmpty() ? QUrl(opened) : QUrl::fromLocalFile(m_dir.filePath(opened));
        QCOMPARE(m_catcher.opened.first(), expected);
    }
}

void TestPdfViewSelection::pageKeysAndZoomKeys()
{
    fixtures::PageSpec page;
    page.links = {{QRectF(100, 600, 200, 40), 2, QString(), QString()}};
    auto [doc, view] = showPdf(m_dir, QStringLiteral("keys.pdf"), fixtures::pagesPdf({page, {}, {}}), 600, 400);
    QVERIFY(doc && view);
    view->setViewMode(PdfView::SinglePage);
    QSignalSpy pages(view.get(), &PdfView::pageChanged);
    // A link to a page inside the document goes there.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->pdfRectToScreenRect(0, QRectF(100, 600, 200, 40)).center().toPoint());
    QCOMPARE(view->currentPage(), 2);
    QTest::keyClick(view.get(), Qt::Key_Home);
    QCOMPARE(view->currentPage(), 0);
    QTest::keyClick(view.get(), Qt::Key_PageDown);
    QCOMPARE(view->currentPage(), 1);
    QTest::keyClick(view.get(), Qt::Key_End);
    QCOMPARE(view->currentPage(), 2);
    QTest::keyClick(view.get(), Qt::Key_Right); // no page after the last
    QCOMPARE(view->currentPage(), 2);
    QCOMPARE(pages.count(), 4);

    const double zoom = view->zoom();
    QTest::keyClick(view.get(), Qt::Key_Plus);
    QCOMPARE(view->zoom(), zoom);
    QTest::keyClick(view.get(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(view->zoom(), zoom * 1.25);
    QTest::keyClick(view.get(), Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(view->zoom(), qMin(600 / 595.0, 400 / 842.0));
}

QTEST_MAIN(TestPdfViewSelection)
#include "tst_pdfview_selection.moc"
