#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "WorkMeter.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::LinkAnnot;
using fixtures::PageSpec;
using fixtures::TextRun;
using fixtures::writeFile;
using LinkTarget = PdfDocument::LinkTarget;
using OutlineItem = PdfDocument::OutlineItem;

namespace {

QString outlineItem(const QString& title, int parent, int prev, int next, const QString& extra = {})
{
    QString body = QStringLiteral("<< /Parent %1 0 R").arg(parent);
    if (!title.isNull())
        body += QStringLiteral(" /Title (%1)").arg(title);
    if (prev > 0)
        body += QStringLiteral(" /Prev %1 0 R").arg(prev);
    if (next > 0)
        body += QStringLiteral(" /Next %1 0 R").arg(next);
    return body + QLatin1Char(' ') + extra + QStringLiteral(" >>");
}

int depthOf(const QList<OutlineItem>& items)
{
    int depth = 0;
    for (const OutlineItem& item : items)
        depth = std::max(depth, 1 + depthOf(item.children));
    return depth;
}

// Dark pixels of a render inside a displayed-page rectangle (bottom-left origin).
int inkInside(const QImage& image, const QRectF& pageRect, double pageHeight, double scale)
{
    const QRect pixels(int(pageRect.left() * scale), int((pageHeight - pageRect.bottom()) * scale),
                       int(pageRect.width() * scale), int(pageRect.height() * scale));
    int count = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            if (image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 128)
                ++count;
    return count;
}

} // namespace

class TestPdfDocumentNavigation : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void linkAnnotationsLeadToPagesUrlsAndFiles();
    void plainTextAddressesAreLinksWithSlop();
    void outlineKeepsMeaningfulItems();
    void outlineStopsAtDepth33();
    void destinationsKeepTheirPlace_data();
    void destinationsKeepTheirPlace();
    void outlineWithLoopEnds();
    void searchOptions_data();
    void searchOptions();
    void matchSpanningTwoRunsGivesTwoRectangles();
    void phraseAcrossLineEnd_data();
    void phraseAcrossLineEnd();
    void phraseAcrossLineEndInRealManual_data();
    void phraseAcrossLineEndInRealManual();
    void emptyDocumentsGiveNoTextOrOutline();
    void hitsOnTurnedAndCroppedPagesLieOnTheWords_data();
    void hitsOnTurnedAndCroppedPagesLieOnTheWords();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openPages(PdfDocument& doc, const QList<PageSpec>& pages, const QString& name);
    bool openOutline(PdfDocument& doc, const QStringList& items, int first, int last);
    QTemporaryDir m_dir;
};

void TestPdfDocumentNavigation::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

bool TestPdfDocumentNavigation::openPages(PdfDocument& doc, const QList<PageSpec>& pages, const QString& name)
{
    return writeFile(path(name), fixtures::pagesPdf(pages)) && doc.open(path(name));
}

bool TestPdfDocumentNavigation::openOutline(PdfDocument& doc, const QStringList& items, int first, int last)
{
    static int counter = 0;
    const QString file = path(QStringLiteral("outline-%1.pdf").arg(++counter));
    return writeFile(file, fixtures::outlinePdf(items, first, last)) && doc.open(file);
}

void TestPdfDocumentNavigation::linkAnnotationsLeadToPagesUrlsAndFiles()
{
    PageSpec first;
    first.links << LinkAnnot{QRectF(50, 50, 100, 100), 2, {}, {}}
                << LinkAnnot{QRectF(200, 50, 100, 100), -1, QStringLiteral("example.org"), {}}
                << LinkAnnot{QRectF(350, 50, 100, 100), -1, QStringLiteral("https://vorn.test/a b"), {}}
                << LinkAnnot{QRectF(50, 300, 100, 100), -1, {}, QStringLiteral("letters/reply.pdf")};
    PdfDocument doc;
    QVERIFY(openPages(doc, {first, PageSpec(), PageSpec()}, QStringLiteral("links.pdf")));

    const LinkTarget toPage = doc.linkAtPoint(0, QPointF(100, 100));
    QCOMPARE(toPage.kind, int(LinkTarget::Page));
    QCOMPARE(toPage.pageIndex, 2);

    const LinkTarget bareHost = doc.linkAtPoint(0, QPointF(250, 100));
    QCOMPARE(bareHost.kind, int(LinkTarget::Url));
    QCOMPARE(bareHost.url, QUrl(QStringLiteral("http://example.org")));

    QCOMPARE(doc.linkAtPoint(0, QPointF(400, 100)).url.host(), QStringLiteral("vorn.test"));

    const LinkTarget file = doc.linkAtPoint(0, QPointF(100, 350));
    QCOMPARE(file.kind, int(LinkTarget::File));
    QCOMPARE(file.path, QStringLiteral("letters/reply.pdf"));

    QCOMPARE(doc.linkAtPoint(0, QPointF(500, 700)).kind, int(LinkTarget::None));
    QCOMPARE(doc.linkAtPoint(3, QPointF(100, 100)).kind, int(LinkTarget::None));
    QCOMPARE(doc.linkAtPoint(-1, QPointF(100, 100)).kind, int(LinkTarget::None));
}

void TestPdfDocumentNavigation::plainTextAddressesAreLinksWithSlop()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Visit https://vorn.test/docs today"), 72, 600, 14};
    PdfDocument doc;
    QVERIFY(openPages(doc, {page}, QStringLiteral("weblink.pdf")));
    const QList<QRectF> hits = doc.findText(0, QStringLiteral("https://vorn.test/docs"));
    QCOMPARE(hits.size(), 1);
    const QRectF box = hits.first();
    const double midY = box.center().y();

    const LinkTarget inside = doc.linkAtPoint(0, box.center());
    QCOMPARE(inside.kind, int(LinkTarget::Url));
    QCOMPARE(inside.url, QUrl(QStringLiteral("https://vorn.test/docs")));
    QCOMPARE(doc.linkAtPoint(0, QPointF(box.right() + 1.0, midY)).kind, int(LinkTarget::Url));
    QCOMPARE(doc.linkAtPoint(0, QPointF(box.right() + 2.0, midY)).kind, int(LinkTarget::None));
    QCOMPARE(doc.linkAtPoint(0, QPointF(box.center().x(), box.top() - 1.0)).kind, int(LinkTarget::Url));
    QCOMPARE(doc.linkAtPoint(0, QPointF(box.center().x(), box.top() - 2.0)).kind, int(LinkTarget::None));
}

void TestPdfDocumentNavigation::outlineKeepsMeaningfulItems()
{
    using fixtures::firstOutlineObject;
    using fixtures::outlinePageObject;
    const int root = fixtures::outlinesObject();
    const int a = firstOutlineObject();
    // a: "Chapter" -> page 2 with a child; b: empty (dropped); c: launch only;
    // d: URI; e: child of a with a /Dest to page 1.
    QStringList items;
    items << outlineItem(QStringLiteral("  Chapter  "), root, 0, a + 1,
                         QStringLiteral("/Dest [%1 0 R /Fit] /First %2 0 R /Last %2 0 R").arg(outlinePageObject(2)).arg(a + 4));
    items << outlineItem(QString(), root, a, a + 2);
    items << outlineItem(QStringLiteral("Attachment"), root, a + 1, a + 3, QStringLiteral("/A << /S /Launch /F (x.pdf) >>"));
    items << outlineItem(QStringLiteral("Web"), root, a + 2, 0, QStringLiteral("/A << /S /URI /URI (vorn.test) >>"));
    items << outlineItem(QStringLiteral("Section"), a, 0, 0, QStringLiteral("/Dest [%1 0 R /Fit]").arg(outlinePageObject(1)));
    PdfDocument doc;
    QVERIFY(openOutline(doc, items, a, a + 3));
    const QList<OutlineItem> outline = doc.outline();
    QCOMPARE(outline.size(), 3);
    QCOMPARE(outline[0].title, QStringLiteral("Chapter"));
    QCOMPARE(outline[0].pageIndex, 2);
    QCOMPARE(outline[0].children.size(), 1);
    QCOMPARE(outline[0].children[0].title, QStringLiteral("Section"));
    QCOMPARE(outline[0].children[0].pageIndex, 1);
    QCOMPARE(outline[1].title, QStringLiteral("Attachment"));
    QCOMPARE(outline[1].pageIndex, -1);
    QVERIFY(outline[1].url.isEmpty());
    QCOMPARE(outline[2].url, QUrl(QStringLiteral("http://vorn.test")));
    QCOMPARE(outline[2].pageIndex, -1);
}

void TestPdfDocumentNavigation::destinationsKeepTheirPlace_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<int>("rotate");
    QTest::addColumn<double>("left");  // displayed page; -1: open
    QTest::addColumn<double>("top");
    QTest::newRow("XYZ") << "/XYZ 50 600 null" << 0 << 50.0 << 600.0;
    QTest::newRow("XYZ without left") << "/XYZ null 600 2" << 0 << -1.0 << 600.0;
    QTest::newRow("XYZ without either") << "/XYZ null null null" << 0 << -1.0 << -1.0;
    QTest::newRow("FitH") << "/FitH 700" << 0 << -1.0 << 700.0;
    QTest::newRow("FitBH") << "/FitBH 650" << 0 << -1.0 << 650.0;
    QTest::newRow("FitV") << "/FitV 120" << 0 << 120.0 << -1.0;
    QTest::newRow("FitR, corners either way") << "/FitR 300 500 40 100" << 0 << 40.0 << 500.0;
    QTest::newRow("Fit") << "/Fit" << 0 << -1.0 << -1.0;
    QTest::newRow("XYZ 0 0 0 means the page") << "/XYZ 0 0 0" << 0 << 0.0 << -1.0;
    // The page turned a quarter clockwise: the file's top becomes the displayed
    // left, its left the displayed top (counted from the turned page's foot).
    QTest::newRow("XYZ on a turned page") << "/XYZ 50 600 null" << 90 << 600.0 << 545.0;
    QTest::newRow("FitH on a turned page") << "/FitH 700" << 90 << 700.0 << -1.0;
}

// Links and bookmarks keep the left and top of their destination, and the
// displayed page finds that place whatever the page's turn.
void TestPdfDocumentNavigation::destinationsKeepTheirPlace()
{
    QFETCH(QString, view);
    QFETCH(int, rotate);
    QFETCH(double, left);
    QFETCH(double, top);
    PageSpec first;
    first.links << LinkAnnot{QRectF(50, 50, 100, 100), 1, {}, {}, view};
    PageSpec target;
    target.rotate = rotate;
    PdfDocument doc;
    QVERIFY(openPages(doc, {first, target}, QStringLiteral("dest.pdf")));
    const LinkTarget link = doc.linkAtPoint(0, QPointF(100, 100));
    QCOMPARE(link.kind, int(LinkTarget::Page));
    QCOMPARE(link.pageIndex, 1);
    const PdfDocument::PageSpot shown = doc.spotOnPage(1, link.spot);
    QCOMPARE(shown.left.has_value(), left >= 0);
    QCOMPARE(shown.top.has_value(), top >= 0);
    if (shown.left)
        QVERIFY2(qAbs(*shown.left - left) < 0.01, qPrintable(QString::number(*shown.left)));
    if (shown.top)
        QVERIFY2(qAbs(*shown.top - top) < 0.01, qPrintable(QString::number(*shown.top)));

    // The same destination as a bookmark.
    const int root = fixtures::outlinesObject();
    const int a = fixtures::firstOutlineObject();
    PdfDocument outlined;
    QVERIFY(openOutline(outlined,
                        {outlineItem(QStringLiteral("Heading"), root, 0, 0,
                                     QStringLiteral("/Dest [%1 0 R %2]").arg(fixtures::outlinePageObject(2)).arg(view))},
                        a, a));
    const QList<OutlineItem> items = outlined.outline();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].pageIndex, 2);
    if (rotate == 0)
        QCOMPARE(outlined.spotOnPage(2, items[0].spot), shown);
}

void TestPdfDocumentNavigation::outlineStopsAtDepth33()
{
    const int first = fixtures::firstOutlineObject();
    QStringList items;
    for (int level = 0; level < 40; ++level) {
        const int self = first + level;
        const int parent = level == 0 ? fixtures::outlinesObject() : self - 1;
        const QString child = level + 1 < 40 ? QStringLiteral("/First %1 0 R /Last %1 0 R").arg(self + 1) : QString();
        items << outlineItem(QStringLiteral("Level %1").arg(level + 1), parent, 0, 0, child);
    }
    PdfDocument doc;
    QVERIFY(openOutline(doc, items, first, first));
    const QList<OutlineItem> outline = doc.outline();
    QCOMPARE(depthOf(outline), 33);
    const OutlineItem* deepest = &outline.first();
    while (!deepest->children.isEmpty())
        deepest = &deepest->children.first();
    QCOMPARE(deepest->title, QStringLiteral("Level 33"));
}

// Each item names the first item as its child and next sibling: read naively
// this never ends.
void TestPdfDocumentNavigation::outlineWithLoopEnds()
{
    const int first = fixtures::firstOutlineObject();
    QStringList items;
    for (int i = 0; i < 3; ++i) {
        items << outlineItem(QStringLiteral("Loop %1").arg(i), fixtures::outlinesObject(), 0,
                             i < 2 ? first + i + 1 : first, QStringLiteral("/First %1 0 R /Last %1 0 R").arg(first));
    }
    PdfDocument doc;
    QVERIFY(openOutline(doc, items, first, first + 2));
    const workmeter::Meter work;
    const QList<OutlineItem> outline = doc.outline();
    QVERIFY(work.processorMs() < 5000);
    QVERIFY(!outline.isEmpty());
    QCOMPARE(outline.first().title, QStringLiteral("Loop 0"));
}

void TestPdfDocumentNavigation::searchOptions_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("wholeWord");
    QTest::addColumn<bool>("regex");
    QTest::addColumn<int>("hits");
    // Page text: "Report report REPORT reporting (("
    QTest::newRow("plain finds every case and inside words") << "report" << false << false << false << 4;
    QTest::newRow("match case") << "report" << true << false << false << 2;
    QTest::newRow("whole word") << "report" << false << true << false << 3;
    QTest::newRow("match case and whole word") << "report" << true << true << false << 1;
    QTest::newRow("regex case-insensitive") << "rep[o]rt\\b" << false << false << true << 3;
    QTest::newRow("regex match case") << "R[A-Z]+" << true << false << true << 1;
    QTest::newRow("regex ignores whole word") << "port" << false << true << true << 4;
    QTest::newRow("empty needle") << "" << false << false << false << 0;
    QTest::newRow("regex matching empty") << "x*" << false << false << true << 0;
    QTest::newRow("invalid regex finds nothing") << "((" << false << false << true << 0;
    QTest::newRow("the same text found literally") << "((" << false << false << false << 1;
}

void TestPdfDocumentNavigation::searchOptions()
{
    QFETCH(QString, needle);
    QFETCH(bool, matchCase);
    QFETCH(bool, wholeWord);
    QFETCH(bool, regex);
    QFETCH(int, hits);
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Report report REPORT reporting (("), 72, 600, 14};
    PdfDocument doc;
    QVERIFY(openPages(doc, {page}, QStringLiteral("search.pdf")));
    PdfDocument::FindOptions options;
    options.matchCase = matchCase;
    options.wholeWord = wholeWord;
    options.useRegex = regex;
    QCOMPARE(doc.findTextWithOptions(0, needle, options).size(), hits);
    QVERIFY(doc.lastError().isEmpty());
}

// A regex with match case marks only its matches: "Invoice", not "invoice".
void TestPdfDocumentNavigation::matchSpanningTwoRunsGivesTwoRectangles()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("invoice"), 72, 700, 14}
              << TextRun{QStringLiteral("first line ends with alpha"), 72, 600, 14}
              << TextRun{QStringLiteral("beta starts the next"), 72, 580, 14}
              << TextRun{QStringLiteral("Invoice"), 72, 500, 14};
    PdfDocument doc;
    QVERIFY(openPages(doc, {page}, QStringLiteral("two-lines.pdf")));
    const QString text = doc.extractAllText(0);
    QVERIFY2(text.contains(QStringLiteral("alpha\r\nbeta")) || text.contains(QStringLiteral("alpha\nbeta")),
             qPrintable(text));
    const QList<QRectF> rects = doc.findText(0, QStringLiteral("alpha"));
    QCOMPARE(rects.size(), 1);
    QVERIFY(rects.first().top() > 595 && rects.first().top() < 620);
    const QList<QRectF> both = doc.findTextWithOptions(0, QStringLiteral("alpha\\s+beta"), {false, false, true});
    QCOMPARE(both.size(), 2);
    const QList<QRectF> invoices = doc.findTextWithOptions(0, QStringLiteral("Inv\\w+"), {true, false, true});
    QCOMPARE(invoices.size(), 1);
    QVERIFY(qAbs(invoices.first().y() - 500) < 10);
}

void TestPdfDocumentNavigation::phraseAcrossLineEnd_data()
{
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("secondLine");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("regex");
    QTest::addColumn<int>("hits");
    QTest::newRow("two words over the line end") << "the deadline is the" << "fourteenth of March" << "the fourteenth"
                                                 << false << 2;
    QTest::newRow("hyphen at the line end") << "payment is due on de-" << "livery of goods" << "de livery" << false
                                            << 2;
    QTest::newRow("blanks before the line end") << "ends with alpha   " << "beta begins" << "alpha beta" << false
                                                << 2;
    QTest::newRow("regex with one space") << "first alpha" << "beta next" << "alpha beta" << true << 2;
    QTest::newRow("within one line still one rectangle") << "alpha beta" << "gamma" << "alpha beta" << false << 1;
    QTest::newRow("a line end is no letter") << "alpha" << "beta" << "alphabeta" << false << 0;
}

// A line end (and a hyphen at one) reads as a space; each line of the match
// gives its own rectangle on that line.
void TestPdfDocumentNavigation::phraseAcrossLineEnd()
{
    QFETCH(QString, firstLine);
    QFETCH(QString, secondLine);
    QFETCH(QString, needle);
    QFETCH(bool, regex);
    QFETCH(int, hits);
    PageSpec page;
    page.runs << TextRun{firstLine, 72, 600, 14} << TextRun{secondLine, 72, 580, 14};
    PdfDocument doc;
    QVERIFY(openPages(doc, {page}, QStringLiteral("across.pdf")));
    const QList<QRectF> rects = doc.findTextWithOptions(0, needle, {false, false, regex});
    QCOMPARE(rects.size(), hits);
    // However many lines it runs over, a phrase is one match.
    const QList<QList<QRectF>> matches = doc.findMatches(0, needle, {false, false, regex});
    QCOMPARE(matches.size(), hits > 0 ? 1 : 0);
    if (hits > 0)
        QCOMPARE(matches.first(), rects);
    if (hits == 2) {
        QVERIFY2(qAbs(rects[0].center().y() - 605) < 8, qPrintable(QString::number(rects[0].center().y())));
        QVERIFY2(qAbs(rects[1].center().y() - 585) < 8, qPrintable(QString::number(rects[1].center().y())));
        QVERIFY(rects[1].left() < 80);  // starts the second line
    }
}

void TestPdfDocumentNavigation::phraseAcrossLineEndInRealManual_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("hits");
    // Page 2 of the manual: "товар в" ends a line, "количестве" begins the next.
    QTest::newRow("phrase over a line end") << "товар в количестве" << 2;
    QTest::newRow("hyphenated at the line end") << "поряд ке" << 2;
}

void TestPdfDocumentNavigation::phraseAcrossLineEndInRealManual()
{
    QFETCH(QString, needle);
    QFETCH(int, hits);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(QStringLiteral("pdftex-manual.pdf"))));
    const QList<QRectF> rects = doc.findText(1, needle);
    QCOMPARE(rects.size() % hits, 0);
    QVERIFY(!rects.isEmpty());
    for (int i = 0; i + 1 < rects.size(); i += 2) {
        QVERIFY2(rects[i].center().y() > rects[i + 1].center().y() + 5, "the second rectangle lies a line lower");
        QVERIFY(rects[i + 1].left() < rects[i].left());
    }
}

// Page texts join with newlines, so three blank pages are two of them.
void TestPdfDocumentNavigation::emptyDocumentsGiveNoTextOrOutline()
{
    PdfDocument none;
    QVERIFY(none.extractAllTextAllPages().isEmpty());
    QVERIFY(none.outline().isEmpty());
    PdfDocument doc;
    QVERIFY(openPages(doc, {PageSpec(), PageSpec(), PageSpec()}, QStringLiteral("empty-pages.pdf")));
    QCOMPARE(doc.extractAllTextAllPages(), QStringLiteral("\n\n"));
    QVERIFY(doc.extractAllText(5).isEmpty());
    PdfDocument noBookmarks;
    QVERIFY(openOutline(noBookmarks, {}, 0, 0));
    QVERIFY(noBookmarks.outline().isEmpty());
}

void TestPdfDocumentNavigation::hitsOnTurnedAndCroppedPagesLieOnTheWords_data()
{
    QTest::addColumn<int>("rotate");
    QTest::addColumn<QRectF>("cropBox");
    QTest::newRow("upright") << 0 << QRectF();
    QTest::newRow("90") << 90 << QRectF();
    QTest::newRow("180") << 180 << QRectF();
    QTest::newRow("270") << 270 << QRectF();
    QTest::newRow("crop box off the origin") << 0 << QRectF(40, 300, 400, 500);
    QTest::newRow("90 with crop box") << 90 << QRectF(40, 300, 400, 500);
}

// A search hit, mapped onto the render, must cover the drawn word and nothing
// else; a link over a word is found where the word is displayed.
void TestPdfDocumentNavigation::hitsOnTurnedAndCroppedPagesLieOnTheWords()
{
    QFETCH(int, rotate);
    QFETCH(QRectF, cropBox);
    PageSpec page;
    page.rotate = rotate;
    page.cropBox = cropBox;
    page.runs << TextRun{QStringLiteral("Target"), 100, 600, 30} << TextRun{QStringLiteral("other"), 250, 400, 30};
    page.links << LinkAnnot{QRectF(245, 390, 100, 45), 0, {}, {}};
    PdfDocument doc;
    QVERIFY(openPages(doc, {page}, QStringLiteral("turned.pdf")));
    const QSizeF size = doc.pageSize(0);
    const QList<QRectF> hits = doc.findText(0, QStringLiteral("Target"));
    QCOMPARE(hits.size(), 1);
    QVERIFY2(QRectF(QPointF(0, 0), size).contains(hits.first()), "the hit lies on the displayed page");
    const double scale = 1.0;
    const QImage image = doc.renderPage(0, scale, 0);
    QCOMPARE(image.size(), size.toSize());
    const int inside = inkInside(image, hits.first(), size.height(), scale);
    const int all = inkInside(image, QRectF(QPointF(0, 0), size), size.height(), scale);
    const QRectF otherHit = doc.findText(0, QStringLiteral("other")).value(0);
    const int other = inkInside(image, otherHit, size.height(), scale);
    QVERIFY2(inside > 50, qPrintable(QStringLiteral("ink under the hit: %1").arg(inside)));
    QVERIFY(other > 50);
    QVERIFY2(inside + other >= all * 0.95, "all ink of the page lies under the two hits");
    QCOMPARE(doc.linkAtPoint(0, otherHit.center()).kind, int(LinkTarget::Page));
    QCOMPARE(doc.linkAtPoint(0, hits.first().center()).kind, int(LinkTarget::None));
}

QTEST_GUILESS_MAIN(TestPdfDocumentNavigation)
#include "tst_pdfdocument_navigation.moc"
