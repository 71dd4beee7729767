#include "OcrBlocks.h"

#include <QPainter>
#include <QtTest>

namespace {

constexpr double kPageHeight = 800.0;
constexpr double kPageWidth = 600.0;

// A line whose top lies `top` points below the top of the page.
TextBlock::Line lineAt(const QString &text, double x, double top, double width, double height = 10)
{
    TextBlock::Line l;
    l.text = text;
    l.rect = QRectF(x, kPageHeight - top - height, width, height);
    l.fontSize = float(height);
    return l;
}

QImage ruledImage(QSize size, int horizontal, int vertical, int thickness = 1)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int i = 0; i < horizontal; ++i)
        painter.fillRect(5, 20 + i * 40, size.width() - 10, thickness, Qt::black);
    for (int i = 0; i < vertical; ++i)
        painter.fillRect(10 + i * 100, 5, 1, size.height() - 10, Qt::black);
    return image;
}

} // namespace

class OcrBlocksTest : public QObject {
    Q_OBJECT
private slots:
    void tablePage_data();
    void tablePage();
    void paragraphGapLimits_data();
    void paragraphGapLimits();
    void paragraphsSortedTopDown();
    void columnRunsStackCells();
    void columnRunNeverTakesSameRow();
    void numberedClauseStandsAlone();
    void blockFromLinesSortsAndJoins();
    void rebuildKeepsRectWithoutText();
};

void OcrBlocksTest::tablePage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("table");
    QTest::newRow("null") << QImage() << false;
    QTest::newRow("79 wide") << ruledImage(QSize(79, 2000), 10, 10) << false;
    QTest::newRow("4 rules, 1 column rule") << ruledImage(QSize(400, 300), 4, 1) << false;
    QTest::newRow("4 rules, 2 column rules") << ruledImage(QSize(400, 300), 4, 2) << true;
    QTest::newRow("thick rules count once") << ruledImage(QSize(400, 300), 3, 2, 3) << false;
    QTest::newRow("4 thick rules") << ruledImage(QSize(400, 300), 4, 2, 3) << true;
}

void OcrBlocksTest::tablePage()
{
    QFETCH(QImage, image);
    QTEST(isLikelyTablePage(image), "table");
}

void OcrBlocksTest::paragraphGapLimits_data()
{
    QTest::addColumn<int>("blockLines");
    QTest::addColumn<double>("gap");
    QTest::addColumn<int>("blocks");
    // Lines 10 pt high: a one-line block reaches max(14.5, 10), a longer one max(8.5, 6).
    QTest::newRow("one-line block, gap 12") << 1 << 12.0 << 1;
    QTest::newRow("one-line block, gap 15") << 1 << 15.0 << 2;
    QTest::newRow("two-line block, gap 8.5") << 2 << 8.5 << 1;
    QTest::newRow("two-line block, gap 12") << 2 << 12.0 << 2;
}

void OcrBlocksTest::paragraphGapLimits()
{
    QFETCH(int, blockLines);
    QFETCH(double, gap);
    std::vector<TextBlock::Line> lines;
    double top = 100;
    for (int i = 0; i < blockLines; ++i, top += 12)
        lines.push_back(lineAt(QStringLiteral("строка %1").arg(i), 50, top, 300));
    lines.push_back(lineAt(QStringLiteral("следующая"), 50, top - 12 + 10 + gap, 300));
    const auto blocks = groupOcrLines(lines, 3, kPageHeight);
    QTEST(int(blocks.size()), "blocks");
    QCOMPARE(blocks[0].pageIndex, 3);
    QCOMPARE(blocks[0].originalRect, blocks[0].rect);
}

void OcrBlocksTest::paragraphsSortedTopDown()
{
    const auto blocks = groupOcrLines({lineAt(QStringLiteral("низ"), 50, 500, 100),
                                       lineAt(QStringLiteral("правый"), 400, 100, 100),
                                       lineAt(QStringLiteral("левый"), 50, 105, 100)},
                                      0, kPageHeight);
    QCOMPARE(blocks.size(), size_t(3));
    QCOMPARE(blocks[0].text, QStringLiteral("левый")); // tops within 8 pt: left first
    QCOMPARE(blocks[1].text, QStringLiteral("правый"));
    QCOMPARE(blocks[2].text, QStringLiteral("низ"));
}

void OcrBlocksTest::columnRunsStackCells()
{
    const auto blocks = groupTableColumnRuns({lineAt(QStringLiteral("Наименование"), 130, 100, 80),
                                              lineAt(QStringLiteral("Кол-во"), 400, 100, 40),
                                              lineAt(QStringLiteral("объекта"), 130, 112, 50),
                                              lineAt(QStringLiteral("5"), 405, 112, 8)},
                                             0, kPageWidth, kPageHeight);
    QCOMPARE(blocks.size(), size_t(2));
    QCOMPARE(blocks[0].text, QStringLiteral("Наименование\nобъекта"));
    QCOMPARE(blocks[1].text, QStringLiteral("Кол-во\n5"));
    for (const auto &b : blocks)
        QVERIFY(!b.isTable);
}

void OcrBlocksTest::columnRunNeverTakesSameRow()
{
    const auto blocks = groupTableColumnRuns({lineAt(QStringLiteral("первая"), 100, 100, 80),
                                              lineAt(QStringLiteral("вторая"), 150, 102, 80)},
                                             0, kPageWidth, kPageHeight);
    QCOMPARE(blocks.size(), size_t(2));
}

void OcrBlocksTest::numberedClauseStandsAlone()
{
    const TextBlock::Line clause = lineAt(QStringLiteral("1. Сведения о частях участка"), 50, 100, 300);
    QVERIFY(isNumberedClauseLine(clause, kPageWidth));
    QVERIFY(!canAttachTableColumnLine(clause, kPageWidth));
    QVERIFY(!isNumberedClauseLine(lineAt(QStringLiteral("1. Сведения"), 50, 100, 200), kPageWidth));
    const auto blocks = groupTableColumnRuns({lineAt(QStringLiteral("Таблица участков"), 50, 88, 300), clause,
                                              lineAt(QStringLiteral("продолжение строки"), 50, 112, 300)},
                                             0, kPageWidth, kPageHeight);
    QCOMPARE(blocks.size(), size_t(3));
}

void OcrBlocksTest::blockFromLinesSortsAndJoins()
{
    TextBlock::Line second = lineAt(QStringLiteral(" второй "), 50, 120, 100, 14);
    second.fontFamily = QStringLiteral("Liberation Serif");
    const TextBlock block = blockFromOcrLines({second, lineAt(QStringLiteral("  "), 50, 200, 100),
                                               lineAt(QStringLiteral("первый"), 60, 100, 40)},
                                              2, kPageHeight);
    QCOMPARE(block.text, QStringLiteral("первый\nвторой"));
    QCOMPARE(block.rect, QRectF(50, kPageHeight - 134, 100, 34));
    QCOMPARE(block.originalRect, block.rect);
    QCOMPARE(block.pageIndex, 2);
    QCOMPARE(block.fontFamily, QStringLiteral("Liberation Serif"));
    QCOMPARE(block.fontSize, 14.0f);
}

void OcrBlocksTest::rebuildKeepsRectWithoutText()
{
    TextBlock block;
    block.rect = block.originalRect = QRectF(1, 2, 3, 4);
    block.text = QStringLiteral("старый");
    block.lines.push_back(lineAt(QStringLiteral(" "), 0, 0, 10));
    rebuildBlockFromLines(block);
    QVERIFY(block.text.isEmpty());
    QCOMPARE(block.rect, QRectF(1, 2, 3, 4));
}

QTEST_MAIN(OcrBlocksTest)
#include "tst_ocrblocks.moc"
