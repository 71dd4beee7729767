#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"

#include <QRegularExpression>

#include <QStandardPaths>
#include <QTransform>
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
    void linesComeInReadingOrder();
    void fontNamesAreCleaned_data();
    void fontNamesAreCleaned();
    void colourComesFromTheRender_data();
    void colourComesFromTheRender();
    void stylesSplitIntoSpans();
    void blocksLieOnTheDisplayedTextOfTurnedPages_data();
    void blocksLieOnTheDisplayedTextOfTurnedPages();
    void realProducerLinesAreWhole_data();
    void realProducerLinesAreWhole();
    void turningThePageTurnsEveryLine_data();
    void turningThePageTurnsEveryLine();
    void pageTextHasNoControlCharacters();
    void legacyEncodingsReadRightOrNotAtAll_data();
    void legacyEncodingsReadRightOrNotAtAll();
    void turnedFilesKeepEveryLine_data();
    void turnedFilesKeepEveryLine();
    void glyphBoxesFollowTheDrawnLetters_data();
    void glyphBoxesFollowTheDrawnLetters();
    void wordsPartWhereTheGlyphsStandApart_data();
    void wordsPartWhereTheGlyphsStandApart();

private:
    std::vector<TextBlock> extract(const PageSpec& page);
    bool open(PdfDocument& doc, const PageSpec& page);
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
    PdfDocument doc;
    return open(doc, page) ? doc.extractText(0) : std::vector<TextBlock>();
}

bool TestPdfDocumentText::open(PdfDocument& doc, const PageSpec& page)
{
    const QString file = m_dir.filePath(QStringLiteral("text-%1.pdf").arg(++m_files));
    return fixtures::writeFile(file, fixtures::pagesPdf({page})) && doc.open(file);
}

void TestPdfDocumentText::pagesWithoutInkGiveNoBlocks()
{
    QVERIFY(extract(PageSpec()).empty());
    PageSpec blanks;
    blanks.runs << TextRun{QStringLiteral("     "), 72, 700, 20};
    QVERIFY(extract(blanks).empty());
    PdfDocument doc;  // no document, no page
    QVERIFY(doc.extractText(0).empty());
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.extractText(0).empty());
    QVERIFY(doc.extractText(-3).empty());
}

void TestPdfDocumentText::oneRunBecomesOneLineBlock()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Hello native world"), 72, 700, 20};
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(1));
    const TextBlock& block = blocks.front();
    QCOMPARE(block.text, QStringLiteral("Hello native world"));
    QVERIFY(qAbs(block.rect.x() - 72) < 2);
    QVERIFY(block.rect.y() > 690 && block.rect.y() < 702);
    QVERIFY(block.rect.height() > 10 && block.rect.height() < 26);
    QCOMPARE(block.lines.size(), size_t(1));
    const TextBlock::Line& line = block.lines.front();
    QVERIFY(isNativeLine(line));
    QCOMPARE(line.words.size(), size_t(3));
    QCOMPARE(line.words[1].text, QStringLiteral("native"));
    QCOMPARE(line.spans.size(), size_t(1));
    QCOMPARE(line.fontFamily, QStringLiteral("Helvetica"));
    QCOMPARE(block.fontSize, 20.0f);
    QVERIFY(!block.bold && !block.italic && !block.invisibleText && !block.isImage);
    QVERIFY(block.color.lightness() < 60);
}

// Top down; lines of one row split at a column gap and come left to right.
void TestPdfDocumentText::linesComeInReadingOrder()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("lower"), 72, 400, 14} << TextRun{QStringLiteral("upper"), 300, 700, 14}
              << TextRun{QStringLiteral("Right column"), 330, 600, 12} << TextRun{QStringLiteral("Left column"), 72, 600, 12};
    QStringList texts;
    for (const TextBlock& block : extract(page))
        texts << block.text;
    QCOMPARE(texts, (QStringList{QStringLiteral("upper"), QStringLiteral("Left column"), QStringLiteral("Right column"),
                                 QStringLiteral("lower")}));
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

// The colour is read from the render; text drawn with no ink is marked
// invisible and, nothing being drawn there, black.
void TestPdfDocumentText::colourComesFromTheRender_data()
{
    QTest::addColumn<QColor>("drawn");
    QTest::addColumn<double>("alpha");
    QTest::newRow("blue") << QColor(20, 40, 200) << 1.0;
    QTest::newRow("red") << QColor(200, 20, 20) << 1.0;
    QTest::newRow("dark grey") << QColor(90, 90, 90) << 1.0;
    QTest::newRow("invisible") << QColor(200, 20, 20) << 0.0;
}

void TestPdfDocumentText::colourComesFromTheRender()
{
    QFETCH(QColor, drawn);
    QFETCH(double, alpha);
    PageSpec page;
    TextRun run{QStringLiteral("Coloured words here"), 72, 600, 24};
    run.color = drawn;
    run.fillAlpha = alpha;
    page.runs << run << TextRun{QStringLiteral("shown"), 72, 400, 14};
    const std::vector<TextBlock> blocks = extract(page);
    QCOMPARE(blocks.size(), size_t(2));
    QVERIFY(!blocks[1].invisibleText);
    QCOMPARE(blocks[0].invisibleText, alpha == 0);
    QCOMPARE(blocks[0].lines[0].invisibleText, alpha == 0);
    const QColor expected = alpha == 0 ? QColor(Qt::black) : drawn;
    const QColor got = blocks[0].color;
    QVERIFY2(qAbs(got.red() - expected.red()) < 45 && qAbs(got.green() - expected.green()) < 45 &&
                 qAbs(got.blue() - expected.blue()) < 45,
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
    PdfDocument doc;
    QVERIFY(open(doc, page));
    const std::vector<TextBlock> blocks = doc.extractText(0);
    QCOMPARE(blocks.size(), size_t(1));
    QCOMPARE(blocks[0].text, QStringLiteral("Turned text"));
    const QSizeF size = doc.pageSize(0);
    const TextBlock& b = blocks[0];
    QCOMPARE(b.rotation, double(rotate > 180 ? rotate - 360 : rotate));  // read along the turned page
    QCOMPARE(b.originalRotation, b.rotation);
    QTransform turn;  // the block's rect turned about its centre covers the ink
    turn.translate(b.rect.center().x(), b.rect.center().y());
    turn.rotate(-b.rotation);
    turn.translate(-b.rect.center().x(), -b.rect.center().y());
    const QRectF all = turn.mapRect(b.rect);
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

// One line of a real producer's page: a single block with the text, direction,
// drawn size and visibility it has on the page.
void TestPdfDocumentText::realProducerLinesAreWhole_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("rotation");
    QTest::addColumn<double>("size");
    QTest::addColumn<bool>("invisible");
    QTest::newRow("1 Tf heading") << "onetf-helvetica.pdf" << "Minutes of the annual meeting" << 0.0 << 18.0 << false;
    QTest::newRow("1 Tf body, kerned") << "onetf-helvetica.pdf" << "The Waterford office AVA will close in May." << 0.0
                                       << 11.0 << false;
    QTest::newRow("distilled, widened by the font matrix")
        << "gs-helvetica.pdf" << "Widened line set through the font matrix." << 0.0 << 11.0 << false;
    QTest::newRow("distilled, slanted by the font matrix")
        << "gs-slanted.pdf" << "complete; the register agrees with the shelves in every row." << 0.0 << 11.0 << false;
    QTest::newRow("distilled, sideways") << "gs-helvetica.pdf" << "Sideways note along the margin" << -90.0 << 10.0
                                         << false;
    QTest::newRow("turned page") << "gs-helvetica-rot90.pdf" << "Quarterly report of the north office" << 90.0 << 18.0
                                 << false;
    QTest::newRow("turned page, sideways note upright")
        << "gs-helvetica-rot90.pdf" << "Sideways note along the margin" << 0.0 << 10.0 << false;
    QTest::newRow("TeX fi and ffi ligatures")
        << "tex-type3.pdf" << "Definition. A file is a named record kept by the office." << 0.0 << 10.0 << false;
    QTest::newRow("TeX fl, ff and ffl")
        << "tex-type3.pdf" << "Every affidavit is filed; the fluffy waffle affair was different." << 0.0 << 10.0 << false;
    QTest::newRow("TeX kerning") << "tex-type3.pdf" << "Kerning: AVAW Type, Yes, We value Tea, LT AT." << 0.0 << 10.0
                                 << false;
    // Bitmap faces at other resolutions, magnifications and from pdfTeX's own
    // pk fonts: each line is one block, never a block per glyph or per word.
    QTest::newRow("TeX at 300 dpi, justified") << "tex-type3-300.pdf"
                                               << "day of arrival and the sender's reference. Files are opened for each new"
                                               << 0.0 << 10.0 << false;
    QTest::newRow("TeX at 300 dpi, centred bold heading")
        << "tex-type3-300.pdf" << "Records Office: Annual Procedures" << 0.0 << 10.0 << false;
    QTest::newRow("TeX at 1200 dpi, ligatures in a justified line")
        << "tex-type3-1200.pdf" << "affidavits, certificates and official waivers are kept without limit. Efficient"
        << 0.0 << 10.0 << false;
    QTest::newRow("TeX at 1200 dpi, italic run and formula")
        << "tex-type3-1200.pdf" << "Retention. A document is retained for n + 2 years, where n is its class;" << 0.0
        << 10.0 << false;
    QTest::newRow("TeX at 1200 dpi, footnote") << "tex-type3-1200.pdf" << "* Closed files are kept for five years."
                                               << 0.0 << 10.0 << false;
    QTest::newRow("TeX magnified 1.44") << "tex-type3-mag1440.pdf"
                                        << "Every affidavit is filed; the fluffy waffle affair was different." << 0.0
                                        << 14.4 << false;
    QTest::newRow("TeX magnified 0.8") << "tex-type3-mag800.pdf" << "Kerning: AVAW Type, Yes, We value Tea, LT AT."
                                       << 0.0 << 8.0 << false;
    QTest::newRow("pdfTeX pk fonts, ligatures")
        << "pdftex-type3.pdf" << "offline storage is used for the oldest boxes, whose inventory is typed afresh" << 0.0
        << 10.0 << false;
    QTest::newRow("pdfTeX pk fonts, last line of a paragraph")
        << "pdftex-type3.pdf" << "The staff check the register weekly." << 0.0 << 10.0 << false;
    QTest::newRow("OCR layer in render mode 3")
        << "tesseract-ru.pdf" << "заключили настоящий договор о нижеследующем." << 0.0 << 12.0 << true;
    QTest::newRow("turned groff page") << "groff-columns-rot90.pdf" << "Annual Report of the Records Office" << 90.0
                                       << 12.0 << false;
    QTest::newRow("1 Tf, numbered listing line")
        << "onetf-helvetica.pdf" << "12 \\def\\chaptername{Chapter}%" << 0.0 << 9.0 << false;
    QTest::newRow("T2A glyph names, heading")
        << "tex-t2a-names.pdf" << "Документация к заявке" << 0.0 << 14.35 << false;
    QTest::newRow("T2A glyph names, raised letter")
        << "tex-t2a-names.pdf" << "Система LATEX позволяет писать документы на русском языке. Эта" << 0.0 << 10.91
        << false;
    // Distiller's "1 Tf" with the size in the text matrix, in each of its ways.
    const QString distiller = QStringLiteral("distiller-1tf.pdf");
    QTest::newRow("Distiller heading") << distiller << "Порядок работы с текстовыми документами" << 0.0 << 14.0 << false;
    QTest::newRow("Distiller, word spacing in text space")
        << distiller << "Поставщик обязуется передать Покупателю товар в количестве," << 0.0 << 9.96 << false;
    QTest::newRow("Distiller, T* and kerns cutting words")
        << distiller << "и оплатить. Текстовом файле office указывают номер и дату." << 0.0 << 9.96 << false;
    QTest::newRow("Distiller, letter spacing and ligatures")
        << distiller << "The official staff fill in the office file at the first floor." << 0.0 << 9.96 << false;
    QTest::newRow("Distiller footnote") << distiller << "Примечание: сноска набрана мелким кеглем, как в оригинале."
                                        << 0.0 << 8.04 << false;
    QTest::newRow("Distiller, under a scaled CTM") << distiller << "Раздел 2: хранение и учёт документов" << 0.0
                                                   << 11.0 << false;
    QTest::newRow("Distiller, condensed by Tz")
        << distiller << "Every affidavit is filed; the fluffy waffle affair was different." << 0.0 << 9.96 << false;
    // An underscore TeX draws as a rule with kerns around it stays inside its word.
    QTest::newRow("pdfTeX, underscore drawn as a rule")
        << "pdftex-underscore.pdf" << "x86_64-linux Программы для GNU/Linux (64-битовая версия)" << 0.0 << 10.91 << false;
    QTest::newRow("pdfTeX, underscore drawn as a rule, first of two")
        << "pdftex-underscore.pdf" << "x86_64-darwin Программы для macOS (64-битовая версия)" << 0.0 << 10.91 << false;
    // The Russian TeX Live guide: an underscore glyph lies wholly below the letters beside it.
    QTest::newRow("pdfTeX guide, underscore glyph below the line")
        << "texlive-ru-tree.pdf" << "x86_64-linux Программы для GNU/Linux (64-битовая версия)" << 0.0 << 9.96 << false;
    QTest::newRow("pdfTeX guide, underscore glyph, first of two")
        << "texlive-ru-tree.pdf" << "x86_64-darwin Программы для Mac OS X" << 0.0 << 9.96 << false;
    // groff through ghostscript kerns "ev" by a blank squeezed to nothing: "seven" stays one word.
    const QString sevens = QStringLiteral("Seven seven seven seven seven seven seven seven seven seven seven seven seven "
                                          "seven seven seven");
    QTest::newRow("groff, pairs kerned by squeezed blanks") << "groff-kerned-blanks.pdf" << sevens << 0.0 << 10.0
                                                            << false;
    QTest::newRow("groff, a note kerned by a squeezed blank")
        << "groff-kerned-blanks.pdf" << "2 The seventh volunteer, Wavell, came from Tewkesbury." << 0.0 << 8.0 << false;
    QTest::newRow("T2A on a turned page, raised letter")
        << "tex-t2a-names-rot90.pdf" << "Система LATEX позволяет писать документы на русском языке. Эта" << 90.0
        << 10.91 << false;
}

void TestPdfDocumentText::realProducerLinesAreWhole()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    QFETCH(double, rotation);
    QFETCH(double, size);
    QFETCH(bool, invisible);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    const std::vector<TextBlock> blocks = doc.extractText(0);
    QStringList texts;
    for (const TextBlock& b : blocks)
        texts << b.text.trimmed();
    QVERIFY2(texts.count(text) == 1, qPrintable(texts.join(QLatin1Char('|'))));
    const TextBlock& block = blocks[size_t(texts.indexOf(text))];
    QCOMPARE(block.rotation, rotation);
    QVERIFY2(qAbs(block.fontSize - size) < 0.05 * size, qPrintable(QString::number(block.fontSize)));
    QCOMPARE(block.invisibleText, invisible);
    QCOMPARE(isNativeLine(block.lines[0]), true);
    QCOMPARE(block.lines[0].words.size(), size_t(text.split(QLatin1Char(' ')).size()));
}

void TestPdfDocumentText::turningThePageTurnsEveryLine_data()
{
    QTest::addColumn<int>("turn");
    QTest::newRow("90") << 90;
    QTest::newRow("180") << 180;
    QTest::newRow("270") << 270;
}

void TestPdfDocumentText::turningThePageTurnsEveryLine()
{
    QFETCH(int, turn);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))));
    const std::vector<TextBlock> upright = doc.extractText(0);
    QVERIFY(doc.rotatePage(0, turn));
    const std::vector<TextBlock> turned = doc.extractText(0);
    QCOMPARE(turned.size(), upright.size());
    auto normalised = [](double degrees) { return degrees > 180 ? degrees - 360 : degrees <= -180 ? degrees + 360 : degrees; };
    for (const TextBlock& before : upright) {
        const auto after = std::find_if(turned.begin(), turned.end(),
                                        [&](const TextBlock& b) { return b.text == before.text; });
        QVERIFY2(after != turned.end(), qPrintable(before.text));
        QCOMPARE(after->rotation, normalised(before.rotation + turn));
        QVERIFY(qAbs(after->rect.width() - before.rect.width()) < 1);  // the line keeps its length
    }
}

void TestPdfDocumentText::pageTextHasNoControlCharacters()
{
    const QStringList files{QStringLiteral("groff-columns.pdf"), QStringLiteral("tex-type3.pdf"),
                            QStringLiteral("tesseract-ru.pdf"), QStringLiteral("onetf-helvetica.pdf")};
    for (const QString& file : files) {
        PdfDocument doc;
        QVERIFY(doc.open(fixtures::realPdf(file)));
        const QString text = doc.extractAllTextAllPages();
        QVERIFY(text.size() > 100);
        for (QChar ch : text)
            QVERIFY2(ch == QLatin1Char('\n') || (ch.category() != QChar::Other_Control && ch != QChar(0xFFFE)),
                     qPrintable(file + QStringLiteral(": U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'))));
        for (const TextBlock& block : doc.extractText(0))
            QVERIFY(std::none_of(block.text.begin(), block.text.end(),
                                 [](QChar ch) { return ch.category() == QChar::Other_Control; }));
    }
    PdfDocument tex;  // search runs over the same text: ligatures match their letters
    QVERIFY(tex.open(fixtures::realPdf(QStringLiteral("tex-type3.pdf"))));
    QVERIFY(tex.findText(0, QStringLiteral("office")).size() >= 2);
    PdfDocument::FindOptions whole;
    whole.wholeWord = true;
    QVERIFY(tex.findTextWithOptions(0, QStringLiteral("fluffy"), whole).size() >= 1);
    QVERIFY(tex.findTextWithOptions(0, QStringLiteral("fluff"), whole).isEmpty());
    PdfDocument groff;
    QVERIFY(groff.open(fixtures::realPdf(QStringLiteral("groff-columns.pdf"))));
    QVERIFY(groff.extractAllText(0).contains(QStringLiteral("hun-\ndred")));  // the hyphen at the line end stays
}

// Codes of an 8-bit font without ToUnicode read through its glyph names; where
// the names say nothing the line is left to the page picture, never offered
// as Latin-1 mojibake.
void TestPdfDocumentText::legacyEncodingsReadRightOrNotAtAll_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cyrillicLines");
    QTest::newRow("T2A with glyph names") << "tex-t2a-names.pdf" << 10;
    QTest::newRow("T2A bitmap fonts, numbered glyphs") << "tex-t2a-bitmap.pdf" << 0;
    QTest::newRow("pdfTeX LH bitmap fonts, unnamed codes") << "pdftex-lh-bitmap.pdf" << 0;
}

void TestPdfDocumentText::legacyEncodingsReadRightOrNotAtAll()
{
    QFETCH(QString, file);
    QFETCH(int, cyrillicLines);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    int cyrillic = 0;
    for (const TextBlock& block : doc.extractText(0)) {
        QVERIFY2(std::none_of(block.text.begin(), block.text.end(),
                              [](QChar ch) { return ch.unicode() >= 0xC0 && ch.unicode() <= 0xFF; }),
                 qPrintable(block.text));
        if (std::any_of(block.text.begin(), block.text.end(),
                        [](QChar ch) { return ch.script() == QChar::Script_Cyrillic; }))
            ++cyrillic;
    }
    QCOMPARE(cyrillic, cyrillicLines);
}

// A page turned by /Rotate holds the same lines as the upright page.
void TestPdfDocumentText::turnedFilesKeepEveryLine_data()
{
    QTest::addColumn<QString>("upright");
    QTest::addColumn<QString>("turned");
    QTest::newRow("TeX, raised letters") << "tex-t2a-names.pdf" << "tex-t2a-names-rot90.pdf";
    QTest::newRow("groff columns") << "groff-columns.pdf" << "groff-columns-rot90.pdf";
    QTest::newRow("ghostscript") << "gs-helvetica.pdf" << "gs-helvetica-rot90.pdf";
}

void TestPdfDocumentText::turnedFilesKeepEveryLine()
{
    QFETCH(QString, upright);
    QFETCH(QString, turned);
    const auto texts = [](const QString& file) {
        PdfDocument doc;
        QStringList out;
        if (doc.open(fixtures::realPdf(file))) {
            for (const TextBlock& block : doc.extractText(0))
                out << block.text;
        }
        out.sort();
        return out;
    };
    const QStringList before = texts(upright);
    QVERIFY(!before.isEmpty());
    QCOMPARE(texts(turned), before);
}

// Each character of a native line keeps the box its glyph has on the page,
// in the line's own frame: inside the line, in reading order.
void TestPdfDocumentText::glyphBoxesFollowTheDrawnLetters_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("T2A Type 1") << "tex-t2a-names.pdf";
    QTest::newRow("T2A turned page") << "tex-t2a-names-rot90.pdf";
    QTest::newRow("TeX ligatures") << "tex-type3.pdf";
    QTest::newRow("1 Tf, kerned") << "onetf-helvetica.pdf";
    QTest::newRow("groff turned page") << "groff-columns-rot90.pdf";
}

void TestPdfDocumentText::glyphBoxesFollowTheDrawnLetters()
{
    QFETCH(QString, file);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    const std::vector<TextBlock> blocks = doc.extractText(0);
    QVERIFY(!blocks.empty());
    for (const TextBlock& block : blocks) {
        const TextBlock::Line& line = block.lines[0];
        QCOMPARE(line.glyphBoxes.size(), size_t(line.text.size()));
        double lastCentre = -1e9;
        for (qsizetype i = 0; i < line.text.size(); ++i) {
            const QRectF& box = line.glyphBoxes[size_t(i)];
            if (line.text[i].isSpace())
                continue;
            QVERIFY2(line.rect.adjusted(-0.5, -0.5, 0.5, 0.5).contains(box), qPrintable(line.text));
            QVERIFY2(box.center().x() > lastCentre - 0.5, qPrintable(line.text.left(i + 1)));
            lastCentre = box.center().x();
        }
    }
}

QTEST_GUILESS_MAIN(TestPdfDocumentText)
#include "tst_pdfdocument_text.moc"

namespace {

QStringList wordsOf(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).split(QRegularExpression(QStringLiteral("\\s+")),
                                                                 Qt::SkipEmptyParts);
}

// pdftotext's words standing on an upright line of the page, left to right.
QStringList pdftotextWordsOn(const QList<pdftools::WordBox>& words, const QRectF& line, double pageHeight)
{
    const QRectF shown(line.x(), pageHeight - line.bottom(), line.width(), line.height());
    const double reach = 0.25 * line.height();
    QList<pdftools::WordBox> on;
    for (const pdftools::WordBox& word : words) {
        const QPointF centre = word.box.center();
        if (centre.x() > shown.left() && centre.x() < shown.right() && centre.y() > shown.top() - reach &&
            centre.y() < shown.bottom() + reach)
            on << word;
    }
    std::sort(on.begin(), on.end(), [](const auto& a, const auto& b) { return a.box.left() < b.box.left(); });
    QStringList texts;
    for (const pdftools::WordBox& word : on)
        texts << wordsOf(word.text);
    return texts;
}

int phraseCount(const QStringList& words, const QString& phrase)
{
    return int(words.join(QLatin1Char(' ')).normalized(QString::NormalizationForm_KC).count(phrase));
}

} // namespace

// The page's lines part their words where pdftotext parts them, whether the
// producer drew a blank or moved the pen; search, copy and a rewritten line
// keep the blank. Other producers' letter spacing and kerns part nothing.
void TestPdfDocumentText::wordsPartWhereTheGlyphsStandApart_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("phrase");  // on one line, found by search
    QTest::addColumn<QString>("word");    // of that line, edited to edit when set
    QTest::addColumn<QString>("edit");
    const QString groffPs = QStringLiteral("groff-ps-manual.pdf");
    QTest::newRow("groff for PostScript") << groffPs << "an account" << QString() << QString();
    QTest::newRow("groff for PostScript, letter spacing") << groffPs << "received forty" << QString() << QString();
    QTest::newRow("groff for PostScript, edited beside a pen move")
        << groffPs << "duty. Ten" << "moderate" << "modest";
    QTest::newRow("groff for PostScript, edited line") << groffPs << "if at" << "still" << "yet";
    QTest::newRow("groff for PDF") << "groff-columns.pdf" << "the office received" << QString() << QString();
    QTest::newRow("ghostscript") << "gs-helvetica.pdf" << "carried over" << QString() << QString();
    QTest::newRow("ghostscript, LibreOffice's letter") << "gs-letter.pdf" << "" << QString() << QString();
    QTest::newRow("TeX Type 1") << "tex-type1.pdf" << "" << QString() << QString();
    QTest::newRow("pdfTeX") << "pdftex-page.pdf" << "" << QString() << QString();
    QTest::newRow("LibreOffice") << "libreoffice-letter.pdf" << "" << QString() << QString();
    QTest::newRow("LibreOffice, justified") << "libreoffice-justified.pdf" << "" << QString() << QString();
    QTest::newRow("Distiller, letter spacing and kerns") << "distiller-1tf.pdf" << "office file" << QString()
                                                         << QString();
    QTest::newRow("TeX Type 3") << "tex-type3.pdf" << "" << QString() << QString();
    QTest::newRow("1 Tf, kerned") << "onetf-helvetica.pdf" << "" << QString() << QString();
    QTest::newRow("LibreOffice, three justified columns") << "libreoffice-three-columns.pdf" << "" << QString()
                                                          << QString();
    QTest::newRow("tesseract") << "tesseract-ru.pdf" << "настоящий договор" << QString() << QString();
}

void TestPdfDocumentText::wordsPartWhereTheGlyphsStandApart()
{
    QFETCH(QString, file);
    QFETCH(QString, phrase);
    QFETCH(QString, word);
    QFETCH(QString, edit);
    const QString source = fixtures::realPdf(file);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const double pageHeight = doc.pageSize(0).height();
    const QList<pdftools::WordBox> outside = pdftools::wordBoxes(source, 0);
    QVERIFY(!outside.isEmpty());
    std::vector<TextBlock> blocks = doc.extractText(0);
    int compared = 0;
    for (const TextBlock& block : blocks) {
        if (block.rotation != 0)
            continue;
        const TextBlock::Line& line = block.lines.front();
        QCOMPARE(line.glyphBoxes.size(), size_t(line.text.size()));  // a selection copies each blank
        const QStringList theirs = pdftotextWordsOn(outside, line.rect, pageHeight);
        QVERIFY2(wordsOf(line.text) == theirs,
                 qPrintable(QStringLiteral("\n ours: %1\nthem: %2").arg(line.text, theirs.join(QLatin1Char(' ')))));
        ++compared;
    }
    QVERIFY(compared > 3);
    if (phrase.isEmpty())
        return;
    QVERIFY(!doc.findText(0, phrase).isEmpty());
    QVERIFY(doc.extractAllText(0).contains(phrase));
    const auto line = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text.contains(phrase); });
    QVERIFY(line != blocks.end());
    if (word.isEmpty())
        return;

    QVERIFY(line->text.contains(word));
    line->text.replace(word, edit);
    line->textEdited = true;
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = m_dir.filePath(QStringLiteral("edited-") + file);
    QVERIFY(doc.save(out));
    const QStringList before = pdftools::words(source, 0);
    const QStringList after = pdftools::words(out, 0);
    QCOMPARE(phraseCount(after, phrase), phraseCount(before, phrase));
    QCOMPARE(phraseCount(after, edit), phraseCount(before, edit) + 1);
    for (const QString& kept : wordsOf(line->text))  // each untouched word of the line stands as often as before
        if (kept != edit)
            QCOMPARE(after.count(kept), before.count(kept));
}
