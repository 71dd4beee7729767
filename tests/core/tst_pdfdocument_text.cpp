#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "TextBlock.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::PageSpec;
using fixtures::TextRun;

class TestPdfDocumentText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pagesWithoutInkGiveNoBlocks();
    void oneRunBecomesOneLineBlock();
    void linesComeTopDown();
    void columnGapSplitsOneBaseline();
    void fontNamesAreCleaned_data();
    void fontNamesAreCleaned();
    void invisibleTextIsMarked();
    void colourComesFromTheRender_data();
    void colourComesFromTheRender();
    void stylesSplitIntoSpans();
    void blocksLieOnTheDisplayedTextOfTurnedPages_data();
    void blocksLieOnTheDisplayedTextOfTurnedPages();
    void noDocumentOrBadPageGivesNothing();

private:
    std::vector<TextBlock> extract(const PageSpec& page);
    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestPdfDocumentText::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

std::vector<TextBlock> TestPdfDocumentText::extract(const PageSpec& page)
{
    const QString file = m_dir.filePath(QStringLiteral("text-%1.pdf").arg(++m_files));
    PdfDocument doc;
    if (!fixtures::writeFile(file, fixtures::pagesPdf({page})) || !doc.open(file))
        return {};
    return doc.extractText(0);
}

void TestPdfDocumentText::pagesWithoutInkGiveNoBlocks()
{
    QVERIFY(extract(PageSpec()).empty());
    PageSpec blanks;
    blanks.runs << TextRun{QStringLiteral("     "), 72, 700, 20};
    QVERIFY(extract(blanks).empty());
}

void TestPdfDocumentText::oneRunBecomesOneLineBlock()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Hello native world"), 72, 700, 20};
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(1));
    const TextBlock& block = blocks.front();
    QCOMPARE(block.text, QStringLiteral("Hello native world"));
    QCOMPARE(block.rect, block.originalRect);
    QVERIFY(qAbs(block.rect.x() - 72) < 2);
    QVERIFY(block.rect.y() > 690 && block.rect.y() < 702);
    QVERIFY(block.rect.height() > 10 && block.rect.height() < 26);
    QCOMPARE(block.lines.size(), size_t(1));
    const TextBlock::Line& line = block.lines.front();
    QVERIFY(isNativeLine(line));
    QCOMPARE(line.words.size(), size_t(3));
    QCOMPARE(line.words[1].text, QStringLiteral("native"));
    QCOMPARE(line.words[1].confidence, 100.0f);
    QCOMPARE(line.spans.size(), size_t(1));
    QCOMPARE(line.spans[0].text, line.text);
    QCOMPARE(line.fontFamily, QStringLiteral("Helvetica"));
    QCOMPARE(block.fontSize, 20.0f);
    QVERIFY(!block.bold && !block.italic && !block.invisibleText && !block.isImage);
    QVERIFY(block.color.lightness() < 60);
}

void TestPdfDocumentText::linesComeTopDown()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("lower"), 72, 400, 14} << TextRun{QStringLiteral("upper"), 300, 700, 14}
              << TextRun{QStringLiteral("middle"), 72, 550, 14};
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(3));
    QCOMPARE(blocks[0].text, QStringLiteral("upper"));
    QCOMPARE(blocks[1].text, QStringLiteral("middle"));
    QCOMPARE(blocks[2].text, QStringLiteral("lower"));
}

void TestPdfDocumentText::columnGapSplitsOneBaseline()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Right column"), 330, 600, 12}
              << TextRun{QStringLiteral("Left column"), 72, 600, 12};
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(2));
    QCOMPARE(blocks[0].text, QStringLiteral("Left column"));  // same row: ordered by x
    QCOMPARE(blocks[1].text, QStringLiteral("Right column"));
}

void TestPdfDocumentText::fontNamesAreCleaned_data()
{
    QTest::addColumn<QString>("baseFont");
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::newRow("subset tag and hyphen") << "ABCDEF+Arial-BoldMT" << "Arial BoldMT" << true << false;
    QTest::newRow("trailing plus kept") << "Odd+" << "Odd+" << false << false;
    QTest::newRow("oblique") << "Courier-Oblique" << "Courier Oblique" << false << true;
    QTest::newRow("black weight word") << "XYZABC+Segoe-Black" << "Segoe Black" << true << false;
    QTest::newRow("slanted") << "Serif-Slanted" << "Serif Slanted" << false << true;
}

void TestPdfDocumentText::fontNamesAreCleaned()
{
    QFETCH(QString, baseFont);
    QFETCH(QString, family);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    PageSpec page;
    page.extraFonts << baseFont;
    TextRun run{QStringLiteral("Styled"), 72, 600, 16};
    run.font = QStringLiteral("F2");
    page.runs << run;
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(1));
    QCOMPARE(blocks[0].fontFamily, family);
    QCOMPARE(blocks[0].bold, bold);
    QCOMPARE(blocks[0].italic, italic);
}

void TestPdfDocumentText::invisibleTextIsMarked()
{
    PageSpec page;
    TextRun hidden{QStringLiteral("hidden layer"), 72, 600, 14};
    hidden.fillAlpha = 0.0;
    page.runs << hidden << TextRun{QStringLiteral("shown"), 72, 400, 14};
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(2));
    QVERIFY(blocks[0].invisibleText);
    QVERIFY(blocks[0].lines[0].invisibleText);
    QCOMPARE(blocks[0].color, QColor(Qt::black));  // nothing drawn there: black
    QVERIFY(!blocks[1].invisibleText);
}

void TestPdfDocumentText::colourComesFromTheRender_data()
{
    QTest::addColumn<QColor>("drawn");
    QTest::newRow("blue") << QColor(20, 40, 200);
    QTest::newRow("red") << QColor(200, 20, 20);
    QTest::newRow("black") << QColor(0, 0, 0);
    QTest::newRow("dark grey") << QColor(90, 90, 90);
}

void TestPdfDocumentText::colourComesFromTheRender()
{
    QFETCH(QColor, drawn);
    PageSpec page;
    TextRun run{QStringLiteral("Coloured words here"), 72, 600, 24};
    run.color = drawn;
    page.runs << run;
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(1));
    const QColor got = blocks[0].color;
    QVERIFY2(qAbs(got.red() - drawn.red()) < 45 && qAbs(got.green() - drawn.green()) < 45 &&
                 qAbs(got.blue() - drawn.blue()) < 45,
             qPrintable(got.name()));
    QCOMPARE(blocks[0].lines[0].spans[0].color, got);
}

void TestPdfDocumentText::stylesSplitIntoSpans()
{
    // Two fonts on one baseline, close together: one line, two spans.
    PageSpec page;
    page.extraFonts << QStringLiteral("Helvetica-Bold");
    TextRun bold{QStringLiteral("Bold"), 72, 600, 14};
    bold.font = QStringLiteral("F2");
    page.runs << TextRun{QStringLiteral("Plain "), 30, 600, 14} << bold;
    page.runs[0].x = 72 - 42;
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(1));
    const TextBlock::Line& line = blocks[0].lines[0];
    QCOMPARE(line.spans.size(), size_t(2));
    QVERIFY(!line.spans[0].bold);
    QVERIFY(line.spans[1].bold);
    QCOMPARE(line.spans[1].text.trimmed(), QStringLiteral("Bold"));  // a blank takes the style after it
}

void TestPdfDocumentText::blocksLieOnTheDisplayedTextOfTurnedPages_data()
{
    QTest::addColumn<int>("rotate");
    QTest::addColumn<QRectF>("cropBox");
    QTest::newRow("90") << 90 << QRectF();
    QTest::newRow("270 with crop box") << 270 << QRectF(30, 200, 500, 600);
}

void TestPdfDocumentText::blocksLieOnTheDisplayedTextOfTurnedPages()
{
    QFETCH(int, rotate);
    QFETCH(QRectF, cropBox);
    PageSpec page;
    page.rotate = rotate;
    page.cropBox = cropBox;
    page.runs << TextRun{QStringLiteral("Turned text"), 100, 600, 30};
    const QString file = m_dir.filePath(QStringLiteral("turned-text.pdf"));
    QVERIFY(fixtures::writeFile(file, fixtures::pagesPdf({page})));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const std::vector<TextBlock> blocks = doc.extractText(0);
    QVERIFY(!blocks.empty());
    const QSizeF size = doc.pageSize(0);
    QRectF all;
    for (const TextBlock& b : blocks)
        all = all.united(b.rect);
    QVERIFY(QRectF(QPointF(0, 0), size).contains(all));
    // The ink of the render lies inside the blocks' box.
    const QImage image = doc.renderPage(0, 1.0, 0);
    const QRect box(int(all.left()) - 2, int(size.height() - all.bottom()) - 2, int(all.width()) + 4,
                    int(all.height()) + 4);
    int inside = 0, total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                ++total;
                inside += box.contains(x, y);
            }
    QVERIFY(total > 100);
    QCOMPARE(inside, total);
}

void TestPdfDocumentText::noDocumentOrBadPageGivesNothing()
{
    PdfDocument doc;
    QVERIFY(doc.extractText(0).empty());
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.extractText(0).empty());
    QVERIFY(doc.extractText(-3).empty());
}

QTEST_GUILESS_MAIN(TestPdfDocumentText)
#include "tst_pdfdocument_text.moc"
