#include "PageThumbnailPanel.h"
#include "ViewTestSupport.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>

#include <functional>
#include <QTimer>

using namespace viewtest;

namespace {

QList<double> a4Pages(int count)
{
    return QList<double>(count, 842);
}

bool showPanel(PageThumbnailPanel& panel, int height)
{
    panel.resize(160, height);
    panel.show();
    return QTest::qWaitForWindowExposed(&panel);
}

// The opaque part of an icon: the miniature's rectangle.
QRect miniatureBounds(const QIcon& icon)
{
    const QImage image = icon.pixmap(QSize(120, 160)).toImage().convertToFormat(QImage::Format_ARGB32);
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255 && qGray(image.pixel(x, y)) > 250)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

// Opens the context menu at a viewport point and hands the open menu (or null) to act.
void contextMenuAt(PageThumbnailPanel& panel, const QPoint& at, const std::function<void(QMenu*)>& act)
{
    QTimer::singleShot(50, [act] { act(qobject_cast<QMenu*>(QApplication::activePopupWidget())); });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, panel.viewport()->mapToGlobal(at));
    QApplication::sendEvent(panel.viewport(), &event);
}

// A drop of data on a row, as the drag delivers it. Enter first: the
// application hands a drop only to the widget that accepted the drag.
void deliverDrop(PageThumbnailPanel& panel, const QMimeData* data, int ontoRow)
{
    const QPoint at = panel.visualItemRect(panel.item(ontoRow)).center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.viewport(), &enter);
    QDropEvent event(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(panel.viewport(), &event);
}

// One of the strip's own rows dropped on another.
void dropRow(PageThumbnailPanel& panel, int fromRow, int ontoRow)
{
    std::unique_ptr<QMimeData> data(panel.model()->mimeData({panel.model()->index(fromRow, 0)}));
    deliverDrop(panel, data.get(), ontoRow);
}

} // namespace

class TestPageThumbnailPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void itemsAreLabelledAndAllSmallDocumentPagesRendered();
    void rendersOffTheGuiThreadAndVisibleRowsFirst();
    void onlyRowsNearTheViewAreAsked();
    void replacingTheDocumentStopsTheOldWorker();
    void refreshPageShowsTheRotatedPage();
    void savingOverTheFileWhileMiniaturesRender();
    void aBusyEngineNeverStallsTheStrip_data();
    void aBusyEngineNeverStallsTheStrip();
    void contextMenuOffersPageRequests_data();
    void contextMenuOffersPageRequests();
    void deleteIsDisabledForASinglePage();
    void currentPageDoesNotEchoAsSelection();
    void droppingARowOnAnotherReordersAndAsksToMove();
    void labelsAndMenuInTheTranslatorsLanguage();

private:
    QTemporaryDir m_dir;
};

// A drop of one of the strip's own rows, as the drag delivers it.
void TestPageThumbnailPanel::droppingARowOnAnotherReordersAndAsksToMove()
{
    auto doc = openPdf(m_dir, QStringLiteral("reorder.pdf"), pagesOfHeights(a4Pages(4)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 900));
    panel.setDocument(doc.get());
    QSignalSpy moves(&panel, &PageThumbnailPanel::movePageRequested);
    QListWidgetItem* first = panel.item(0);

    dropRow(panel, 0, 2);
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves.at(0).at(0).toInt(), 0);
    QCOMPARE(moves.at(0).at(1).toInt(), 2);
    QCOMPARE(panel.item(2), first);
    QCOMPARE(panel.item(2)->text(), QStringLiteral("Стр. 3"));

    dropRow(panel, 1, 1);  // back on its own row: nothing to move
    QCOMPARE(moves.size(), 1);

    // Rows of another process are not ours to move.
    QMimeData foreign;
    foreign.setData(QStringLiteral("application/x-vorn-thumbnail-row"), "1:0");
    deliverDrop(panel, &foreign, 3);
    QCOMPARE(moves.size(), 1);
    QCOMPARE(panel.count(), 4);
    panel.setDocument(nullptr);
}

// The strip's texts come through its translator: page labels (also after a
// move and a new translator) and the context menu.
void TestPageThumbnailPanel::labelsAndMenuInTheTranslatorsLanguage()
{
    auto doc = openPdf(m_dir, QStringLiteral("labels.pdf"), pagesOfHeights(a4Pages(3)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 700));
    panel.setDocument(doc.get());
    QCOMPARE(panel.item(2)->text(), QStringLiteral("Стр. 3"));
    auto german = [](const QString& source) {
        return source == QStringLiteral("Стр. %1") ? QStringLiteral("S. %1") : QStringLiteral("de:") + source;
    };
    panel.setTextTranslator(german);
    QStringList labels;
    for (int row = 0; row < panel.count(); ++row)
        labels << panel.item(row)->text();
    QCOMPARE(labels, (QStringList{"S. 1", "S. 2", "S. 3"}));

    QStringList entries;
    contextMenuAt(panel, panel.visualItemRect(panel.item(1)).center(), [&](QMenu* menu) {
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                entries << action->text();
        }
        menu->close();
    });
    QCOMPARE(entries.size(), 5);
    for (const QString& entry : entries)
        QVERIFY2(entry.startsWith(QLatin1String("de:")), qPrintable(entry));

    // Labels follow the new order, in the same language.
    dropRow(panel, 0, 2);
    QCOMPARE(panel.item(2)->text(), QStringLiteral("S. 3"));

    panel.setTextTranslator({});
    QCOMPARE(panel.item(0)->text(), QStringLiteral("Стр. 1"));
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPageThumbnailPanel::itemsAreLabelledAndAllSmallDocumentPagesRendered()
{
    auto doc = openPdf(m_dir, QStringLiteral("five.pdf"), pagesOfHeights(a4Pages(5)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 600));
    panel.setDocument(doc.get());
    QCOMPARE(panel.count(), 5);
    for (int page = 0; page < 5; ++page)
        QTRY_VERIFY(panel.hasThumbnail(page) && !panel.isPending(page));
    // An A4 miniature fits 120 x 160 keeping its shape: taller than wide.
    const QRect bounds = miniatureBounds(panel.item(1)->icon());
    QVERIFY(bounds.height() > bounds.width());
    panel.setDocument(nullptr);
    QCOMPARE(panel.count(), 0);
}

void TestPageThumbnailPanel::rendersOffTheGuiThreadAndVisibleRowsFirst()
{
    auto doc = openPdf(m_dir, QStringLiteral("long.pdf"), pagesOfHeights(a4Pages(300)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 600));
    panel.setDocument(doc.get());
    QTRY_VERIFY(panel.hasThumbnail(11) && !panel.isPending(0) && !panel.isPending(3));
    QList<int> arrivals; // rows in the order their miniatures were shown
    connect(panel.model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& index) {
        if (panel.hasThumbnail(index.row()) && !arrivals.contains(index.row()))
            arrivals << index.row();
    });
    const auto scrollToRow = [&panel](int row) {
        QScrollBar* bar = panel.verticalScrollBar();
        bar->setValue(panel.visualItemRect(panel.item(row)).top() + bar->value());
    };
    {
        EngineBlocker blocker; // every render now waits on the engine
        scrollToRow(100);      // rows near 100 asked first...
        panel.setCurrentPage(299); // ...then the view moves on to the end
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(5);
        // The GUI thread kept running its event loop while renders were stuck
        // (the blocker holds them far longer than this may take).
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 10, 20000);
        QVERIFY(!panel.hasThumbnail(299));
        QVERIFY(panel.isPending(299) && panel.isPending(102));
    }
    QTRY_VERIFY(panel.hasThumbnail(299) && panel.hasThumbnail(102));
    // The rows now in view went before those the view has left (but for the
    // one render that was already waiting on the engine).
    int leftBehind = 0;
    for (int row = 99; row <= 104; ++row)
        leftBehind += arrivals.indexOf(row) < arrivals.indexOf(299) ? 1 : 0;
    QVERIFY2(leftBehind <= 1, qPrintable(QString::number(leftBehind)));
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::onlyRowsNearTheViewAreAsked()
{
    auto doc = openPdf(m_dir, QStringLiteral("scroll.pdf"), pagesOfHeights(a4Pages(300)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 600));
    panel.setDocument(doc.get());
    QTRY_VERIFY(panel.hasThumbnail(11));
    panel.verticalScrollBar()->setValue(panel.visualItemRect(panel.item(150)).top() + panel.verticalScrollBar()->value());
    QTRY_VERIFY(panel.hasThumbnail(150));
    for (int page : {40, 100, 140, 160, 200, 299})
        QVERIFY2(!panel.hasThumbnail(page) && !panel.isPending(page), qPrintable(QString::number(page)));
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::replacingTheDocumentStopsTheOldWorker()
{
    auto first = openPdf(m_dir, QStringLiteral("first.pdf"), pagesOfHeights(a4Pages(200)));
    auto second = openPdf(m_dir, QStringLiteral("second.pdf"), pagesOfHeights(a4Pages(3)));
    QVERIFY(first && second);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 600));
    panel.setDocument(first.get());
    panel.refresh(); // asks for all 200 pages
    QTest::qWait(5);
    panel.setDocument(second.get());
    first.reset(); // the strip must not touch it any more
    QCOMPARE(panel.count(), 3);
    for (int page = 0; page < 3; ++page)
        QTRY_VERIFY(panel.hasThumbnail(page));
    QTest::qWait(50);
    QVERIFY(!panel.hasThumbnail(3));
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::refreshPageShowsTheRotatedPage()
{
    auto doc = openPdf(m_dir, QStringLiteral("turn.pdf"), pagesOfHeights(a4Pages(2)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    panel.show();
    panel.setDocument(doc.get());
    QTRY_VERIFY(panel.hasThumbnail(0));
    QVERIFY(doc->rotatePage(0, 90));
    panel.refreshPage(0);
    QVERIFY(!panel.hasThumbnail(0));
    QTRY_VERIFY(panel.hasThumbnail(0));
    const QRect bounds = miniatureBounds(panel.item(0)->icon());
    QVERIFY2(bounds.width() > bounds.height(), qPrintable(QStringLiteral("%1 x %2").arg(bounds.width()).arg(bounds.height())));
    panel.setDocument(nullptr);
}

// The worker checks the document between renders while the GUI thread saves
// over the open file, which closes and reloads it (a race under ThreadSanitizer
// when the check read the engine's handle unguarded).
void TestPageThumbnailPanel::savingOverTheFileWhileMiniaturesRender()
{
    const QString path = m_dir.filePath(QStringLiteral("resave.pdf"));
    QVERIFY(fixtures::writeFile(path, pagesOfHeights(a4Pages(40))));
    PdfDocument doc;
    QVERIFY(doc.open(path));
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 600));
    panel.setDocument(&doc);
    for (int round = 0; round < 4; ++round) {
        panel.refresh(); // every page asked again
        QTest::qWait(2);
        QVERIFY2(doc.save(path), qPrintable(doc.lastError()));
    }
    for (int page = 0; page < 40; ++page)
        QTRY_VERIFY(panel.hasThumbnail(page));
    QVERIFY(miniatureBounds(panel.item(39)->icon()).height() > 100);
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::aBusyEngineNeverStallsTheStrip_data()
{
    QTest::addColumn<bool>("refreshing");
    QTest::newRow("document set") << false;
    QTest::newRow("refresh after a page was added") << true;
}

// Another thread holds the engine (a heavy render): the strip returns at once
// and catches up when the engine is free.
void TestPageThumbnailPanel::aBusyEngineNeverStallsTheStrip()
{
    QFETCH(bool, refreshing);
    auto doc = openPdf(m_dir, QStringLiteral("busy.pdf"), pagesOfHeights(a4Pages(3)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 600));
    if (refreshing) {
        panel.setDocument(doc.get());
        QTRY_VERIFY(panel.hasThumbnail(2));
        QVERIFY(doc->insertBlankPage(3, QSizeF(300, 300)));
    }
    {
        EngineBlocker blocker;
        if (refreshing)
            panel.refresh();
        else
            panel.setDocument(doc.get());
        QVERIFY(blocker.holding());  // returned without waiting for the engine
        QCOMPARE(panel.count(), refreshing ? 3 : 0); // as it was until the engine is free
    }
    QTRY_COMPARE(panel.count(), refreshing ? 4 : 3);
    QTRY_VERIFY(panel.hasThumbnail(panel.count() - 1));
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::contextMenuOffersPageRequests_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<int>("page");
    QTest::newRow("insert before") << 0 << "insert" << 1;
    QTest::newRow("insert after") << 1 << "insert" << 2;
    QTest::newRow("import before") << 3 << "import" << 1;
    QTest::newRow("import after") << 4 << "import" << 2;
    QTest::newRow("delete") << 6 << "delete" << 1;
}

void TestPageThumbnailPanel::contextMenuOffersPageRequests()
{
    QFETCH(int, entry);
    QFETCH(QString, signal);
    QFETCH(int, page);
    auto doc = openPdf(m_dir, QStringLiteral("menu.pdf"), pagesOfHeights(a4Pages(3)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 700));
    panel.setDocument(doc.get());
    QSignalSpy inserts(&panel, &PageThumbnailPanel::insertPageRequested);
    QSignalSpy imports(&panel, &PageThumbnailPanel::importPageRequested);
    QSignalSpy deletes(&panel, &PageThumbnailPanel::deletePageRequested);
    bool shown = false;
    contextMenuAt(panel, panel.visualItemRect(panel.item(1)).center(), [&](QMenu* menu) {
        if ((shown = menu)) {
            menu->setActiveAction(menu->actions().at(entry));
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    QVERIFY(shown);
    QSignalSpy& spy = signal == "insert" ? inserts : signal == "import" ? imports : deletes;
    QCOMPARE(inserts.count() + imports.count() + deletes.count(), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toInt(), page);

    // Empty space below the items: no menu, nothing raised.
    const QPoint empty(5, panel.viewport()->height() - 5);
    QContextMenuEvent outside(QContextMenuEvent::Mouse, empty, panel.viewport()->mapToGlobal(empty));
    QApplication::sendEvent(panel.viewport(), &outside);
    QCOMPARE(inserts.count() + imports.count() + deletes.count(), 1);
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::deleteIsDisabledForASinglePage()
{
    auto doc = openPdf(m_dir, QStringLiteral("single.pdf"), pagesOfHeights(a4Pages(1)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    QVERIFY(showPanel(panel, 400));
    panel.setDocument(doc.get());
    int deleteEnabled = -1;
    contextMenuAt(panel, panel.visualItemRect(panel.item(0)).center(), [&](QMenu* menu) {
        if (menu) {
            deleteEnabled = menu->actions().last()->isEnabled();
            menu->close();
        }
    });
    QCOMPARE(deleteEnabled, 0);
    panel.setDocument(nullptr);
}

void TestPageThumbnailPanel::currentPageDoesNotEchoAsSelection()
{
    auto doc = openPdf(m_dir, QStringLiteral("echo.pdf"), pagesOfHeights(a4Pages(4)));
    QVERIFY(doc);
    PageThumbnailPanel panel;
    panel.setDocument(doc.get());
    QSignalSpy selected(&panel, &PageThumbnailPanel::pageSelected);
    panel.setCurrentPage(2);
    QCOMPARE(panel.currentRow(), 2);
    QCOMPARE(selected.count(), 0);
    panel.setCurrentRow(3); // the user picks a row
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.first().first().toInt(), 3);
    panel.setDocument(nullptr);
}

QTEST_MAIN(TestPageThumbnailPanel)
#include "tst_pagethumbnailpanel.moc"
