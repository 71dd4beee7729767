// The outline panel: the bookmarks as items, the empty label, and where a
// click leads; links reach the desktop only by the link rule.
#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include <QDesktopServices>
#include <QTreeWidget>
#include <QUrl>

using namespace windowtest;

namespace {

QString outlineItem(const QString& title, int parent, int prev, int next, const QString& extra)
{
    QString body = QStringLiteral("<< /Parent %1 0 R /Title (%2)").arg(parent).arg(title);
    if (prev > 0)
        body += QStringLiteral(" /Prev %1 0 R").arg(prev);
    if (next > 0)
        body += QStringLiteral(" /Next %1 0 R").arg(next);
    return body + QLatin1Char(' ') + extra + QStringLiteral(" >>");
}

QString pageDest(int page)
{
    return QStringLiteral("/Dest [%1 0 R /Fit]").arg(fixtures::outlinePageObject(page));
}

QString uriAction(const QString& uri)
{
    return QStringLiteral("/A << /S /URI /URI (%1) >>").arg(uri);
}

// Records what would reach the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace

class OutlineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* scheme : {"http", "https", "file", "ftp"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_catcher, "open");
    }
    void init()
    {
        isolateSettings();
        m_catcher.opened.clear();
    }
    void cleanup() { m_window.reset(); }

    void itemsCarryTheirRoles();
    void emptyOutlineShowsTheLabel();
    void activation_data();
    void activation();
    void destinationStandsAtTheTop_data();
    void destinationStandsAtTheTop();

private:
    MainWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(AppProduct::editor);
        return *m_window;
    }
    QTreeWidget* tree() { return window().findChild<QTreeWidget*>(QStringLiteral("OutlineTree")); }
    // "Chapter" -> page 3 with the child "Section" -> page 2; "" -> page 2;
    // "Web" a URL; "Entry" a URI to a desktop entry.
    QString writeOutlined()
    {
        const int root = fixtures::outlinesObject();
        const int a = fixtures::firstOutlineObject();
        m_desktopEntry = m_dir.filePath(QStringLiteral("run.desktop"));
        QStringList items;
        items << outlineItem(QStringLiteral("Chapter"), root, 0, a + 1,
                             pageDest(2) + QStringLiteral(" /First %1 0 R /Last %1 0 R").arg(a + 4));
        items << outlineItem(QString(), root, a, a + 2, pageDest(1));
        items << outlineItem(QStringLiteral("Web"), root, a + 1, a + 3, uriAction(QStringLiteral("https://vorn.test/")));
        items << outlineItem(QStringLiteral("Entry"), root, a + 2, 0,
                             uriAction(QUrl::fromLocalFile(m_desktopEntry).toString()));
        items << outlineItem(QStringLiteral("Section"), a, 0, 0, pageDest(1));
        return writeFixture(m_dir, QStringLiteral("outlined.pdf"), fixtures::outlinePdf(items, a, a + 3));
    }

    QTemporaryDir m_dir;
    QString m_desktopEntry;
    UrlCatcher m_catcher;
    std::unique_ptr<MainWindow> m_window;
};

void OutlineTest::itemsCarryTheirRoles()
{
    showSmall(window());
    window().openFile(writeOutlined());
    QTreeWidget* outline = tree();
    QCOMPARE(outline->topLevelItemCount(), 4);
    QVERIFY(!outline->isHidden());
    QTreeWidgetItem* chapter = outline->topLevelItem(0);
    QCOMPARE(chapter->text(0), QStringLiteral("Chapter"));
    QCOMPARE(chapter->data(0, Qt::UserRole).toInt(), 2);
    QCOMPARE(chapter->toolTip(0), QStringLiteral("Перейти на страницу 3"));
    QVERIFY(chapter->isExpanded());
    QCOMPARE(chapter->childCount(), 1);
    QCOMPARE(chapter->child(0)->text(0), QStringLiteral("Section"));
    QTreeWidgetItem* untitled = outline->topLevelItem(1);
    QCOMPARE(untitled->text(0), QStringLiteral("Страница 2"));
    QCOMPARE(untitled->toolTip(0), QStringLiteral("Перейти на страницу 2"));
    QTreeWidgetItem* web = outline->topLevelItem(2);
    QCOMPARE(web->data(0, Qt::UserRole).toInt(), -1);
    QCOMPARE(web->data(0, Qt::UserRole + 1).toString(), QStringLiteral("https://vorn.test/"));
    QCOMPARE(web->toolTip(0), QStringLiteral("https://vorn.test/"));
}

void OutlineTest::emptyOutlineShowsTheLabel()
{
    showSmall(window());
    auto emptyLabel = [this] {
        return qobject_cast<QWidget*>(tree()->property("emptyLabel").value<QObject*>());
    };
    window().openFile(writeOutlined());
    QVERIFY(emptyLabel()->isHidden());
    window().openFile(writePdf(m_dir, QStringLiteral("plain.pdf"), 2));
    QVERIFY(tree()->isHidden());
    QVERIFY(!emptyLabel()->isHidden());
    // Back to the outlined tab and closing it: the last one left shows none.
    window().activateDocument(0);
    QCOMPARE(tree()->topLevelItemCount(), 4);
    QVERIFY(window().closeDocumentAt(0));
    QVERIFY(window().closeDocumentAt(0));
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QVERIFY(!emptyLabel()->isHidden());
}

void OutlineTest::activation_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("page");         // the view's page afterwards, 0-based
    QTest::addColumn<QString>("prompt");    // the title of the prompt shown, empty for none
    QTest::addColumn<QString>("opened");    // what reached the desktop
    QTest::newRow("page") << 0 << 2 << "" << "";
    QTest::newRow("untitled page") << 1 << 1 << "" << "";
    QTest::newRow("web page opens") << 2 << 0 << "" << "https://vorn.test/";
    QTest::newRow("desktop entry refused") << 3 << 0 << "Ссылка не открыта" << "";
}

void OutlineTest::activation()
{
    QFETCH(int, item);
    QFETCH(int, page);
    QFETCH(QString, prompt);
    QFETCH(QString, opened);
    showSmall(window());
    window().openFile(writeOutlined());
    QTreeWidgetItem* entry = tree()->topLevelItem(item);
    const QString shown = prompt::promptShownDuring([&] {
        const QRect box = tree()->visualItemRect(entry);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, box.center());
    });
    QCOMPARE(shown, prompt);
    QCOMPARE(view(window())->currentPage(), page);
    if (opened.isEmpty())
        QVERIFY(m_catcher.opened.isEmpty());
    else
        QCOMPARE(m_catcher.opened, QList<QUrl>{QUrl(opened)});
}

void OutlineTest::destinationStandsAtTheTop_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<bool>("link");  // followed from a link on page 1, else from a bookmark
    QTest::addColumn<double>("top");  // page-top points the view's top edge shows
    QTest::newRow("bookmark to a heading mid-page") << "/XYZ 0 420 null" << false << 842.0 - 420;
    QTest::newRow("bookmark to a heading at the foot") << "/XYZ 0 90 null" << false << 842.0 - 90;
    QTest::newRow("bookmark, FitH") << "/FitH 300" << false << 842.0 - 300;
    QTest::newRow("bookmark to the page") << "/Fit" << false << 0.0;
    QTest::newRow("link to a heading mid-page") << "/XYZ 0 420 null" << true << 842.0 - 420;
    QTest::newRow("link to the page") << "/XYZ 0 0 0" << true << 0.0;
    QTest::newRow("link to a heading at the foot") << "/XYZ 0 90 null" << true << 842.0 - 90;
}

// Going to a page forward shows where the destination leads at the top of
// the view, not the page's foot with the heading scrolled away above it.
void OutlineTest::destinationStandsAtTheTop()
{
    QFETCH(QString, view);
    QFETCH(bool, link);
    QFETCH(double, top);
    showSmall(window());
    PdfView* pages = windowtest::view(window());
    if (link) {
        fixtures::PageSpec first;
        first.links << fixtures::LinkAnnot{QRectF(100, 600, 200, 40), 1, {}, {}, view};
        window().openFile(writeFixture(m_dir, QStringLiteral("linked.pdf"),
                                       fixtures::pagesPdf({first, fixtures::PageSpec(), fixtures::PageSpec()})));
        const QPoint onLink = pages->pdfRectToScreenRect(0, QRectF(100, 600, 200, 40)).center().toPoint();
        QVERIFY(pages->activateLinkAtViewportPoint(onLink));
    } else {
        const int root = fixtures::outlinesObject();
        const int a = fixtures::firstOutlineObject();
        window().openFile(writeFixture(
            m_dir, QStringLiteral("heading.pdf"),
            fixtures::outlinePdf({outlineItem(QStringLiteral("Heading"), root, 0, 0,
                                              QStringLiteral("/Dest [%1 0 R %2]").arg(fixtures::outlinePageObject(1)).arg(view))},
                                 a, a)));
        QTreeWidgetItem* entry = tree()->topLevelItem(0);
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(entry).center());
    }
    QCOMPARE(pages->currentPage(), 1);
    const int shownAtTop = pages->viewportPointForPageTopPoint(1, QPointF(0, top)).y();
    QVERIFY2(qAbs(shownAtTop) <= 1, qPrintable(QString::number(shownAtTop)));
}

QTEST_MAIN(OutlineTest)
#include "tst_outline.moc"
