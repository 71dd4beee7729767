// The page tools' page lists, deletion order and insert positions.
#include "PageListSyntax.h"

#include <QTest>

class PageListSyntaxTest : public QObject {
    Q_OBJECT

private slots:
    void pages_data();
    void pages();
    void deletionOrder_data();
    void deletionOrder();
    void insertIndex_data();
    void insertIndex();
};

using Pages = QList<int>;

void PageListSyntaxTest::pages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<Pages>("pages");

    QTest::newRow("list and ranges") << "1, 3-5, 7" << 10 << Pages{0, 2, 3, 4, 6};
    QTest::newRow("written order kept") << "3, 1" << 10 << Pages{2, 0};
    QTest::newRow("repeats kept") << "2, 2" << 10 << Pages{1, 1};
    QTest::newRow("open start") << "-4" << 10 << Pages{0, 1, 2, 3};
    QTest::newRow("open end names nothing") << "5-" << 10 << Pages{};
    QTest::newRow("falling range names nothing") << "5-3" << 10 << Pages{};
    QTest::newRow("single-page range") << "4-4" << 10 << Pages{3};
    QTest::newRow("range cut at the last page") << "2-99" << 10 << Pages{1, 2, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("huge range stops at the last page") << "9-2147483647" << 10 << Pages{8, 9};
    QTest::newRow("range past the end") << "11-12" << 10 << Pages{};
    QTest::newRow("outside and garbage") << "0, 11, x" << 10 << Pages{};
    QTest::newRow("empty parts") << " , ,2,," << 10 << Pages{1};
    QTest::newRow("third dash ignored") << "2-3-9" << 10 << Pages{1, 2};
    QTest::newRow("spaces in a range") << " 2 - 3 " << 10 << Pages{1, 2};
    QTest::newRow("number too large") << "99999999999" << 10 << Pages{};
    QTest::newRow("blank") << "   " << 10 << Pages{};
    QTest::newRow("no pages") << "1-3" << 0 << Pages{};
}

void PageListSyntaxTest::pages()
{
    QFETCH(QString, text);
    QFETCH(int, pageCount);
    QFETCH(Pages, pages);
    QCOMPARE(parsePageList(text, pageCount), pages);
}

void PageListSyntaxTest::deletionOrder_data()
{
    QTest::addColumn<Pages>("pages");
    QTest::addColumn<Pages>("deleted");

    QTest::newRow("repeat deleted once") << Pages{1, 1} << Pages{1};
    QTest::newRow("written order") << Pages{2, 0, 6, 3} << Pages{6, 3, 2, 0};
    QTest::newRow("empty") << Pages{} << Pages{};
}

void PageListSyntaxTest::deletionOrder()
{
    QFETCH(Pages, pages);
    QFETCH(Pages, deleted);
    QCOMPARE(distinctPagesHighestFirst(pages), deleted);
}

void PageListSyntaxTest::insertIndex_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("index");

    QTest::newRow("after the current page") << int(PageToolsAfterCurrent) << 1 << 2;
    QTest::newRow("before the current page") << int(PageToolsBeforeCurrent) << 1 << 1;
    QTest::newRow("at the end") << int(PageToolsAtEnd) << 1 << 5;
}

void PageListSyntaxTest::insertIndex()
{
    QFETCH(int, position);
    QFETCH(int, current);
    QFETCH(int, index);
    QCOMPARE(pageToolsInsertIndex(position, current, 5), index);
}

QTEST_GUILESS_MAIN(PageListSyntaxTest)
#include "tst_pagelistsyntax.moc"
