#include "NativeTextLayer.h"
#include "PageTextWriter.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "ScanLineWords.h"
#include "TextBlock.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

std::vector<TextBlock>::iterator blockWithText(std::vector<TextBlock>& blocks, const QString& text)
{
    return std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text.trimmed() == text; });
}

// Left and right edges (points) of the words pdftotext reads in the band of a
// line whose top (top-left origin) is given; the words must be the line's.
struct Edges {
    double left = 1e9;
    double right = -1e9;
    QStringList words;
    QList<double> lefts;    // per word
    QList<double> pitches;  // per word: its width over its letters
};

Edges lineEdges(const QString& pdf, double top, double height)
{
    Edges edges;
    for (const pdftools::WordBox& word : pdftools::wordBoxes(pdf, 0)) {
        const double middle = word.box.center().y();
        if (middle < top - 1 || middle > top + height + 1)
            continue;
        edges.left = std::min(edges.left, word.box.left());
        edges.right = std::max(edges.right, word.box.right());
        edges.words << word.text;
        edges.lefts << word.box.left();
        edges.pitches << word.box.width() / std::max<qsizetype>(word.text.size(), 1);
    }
    return edges;
}

// One edit of a real page: the line, what it becomes, and what is kept.
struct Edit {
    QString file;
    QString line;
    QString edited;
};

bool sameRgb(const QColor& a, const QColor& b)
{
    return a.isValid() && b.isValid() && a.rgb() == b.rgb();
}

// The fill of every run of the line that holds needle, read back by pdfium.
QList<QColor> fillsOfLineWith(const QString& pdf, const QString& needle)
{
    PdfDocument doc;
    QList<QColor> fills;
    if (!doc.open(pdf))
        return fills;
    for (const TextBlock& block : doc.extractText(0))
        if (block.text.contains(needle))
            for (const TextBlock::Line::Span& span : block.lines.front().spans)
                if (!span.fill.isValid() || span.fill.alpha() >= 5)  // drawn, not a searchable layer's
                    fills << span.fill;
    return fills;
}

// Where the line holding text stands on its baseline, as pdfium reads the
// page back: the baseline's height and its advances' start and end.
struct Baseline {
    double y = -1;
    double left = 0;
    double right = 0;
};

Baseline baselineOf(const QString& pdf, const QString& text)
{
    PdfDocument doc;
    if (!doc.open(pdf))
        return {};
    for (const TextBlock& block : doc.extractText(0))
        if (block.text.trimmed() == text && block.lines.front().placement) {
            const TextBlock::Line& line = block.lines.front();
            const double left = line.rect.x() + line.placement->origin.x();
            return {line.rect.y() + line.placement->origin.y(), left, left + line.placement->width};
        }
    return {};
}

QStringList sortedWords(QStringList words)
{
    words.sort();
    return words;
}

} // namespace

class TestPageTextWriter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void replacedLineKeepsItsWidthFontAndColour_data();
    void replacedLineKeepsItsWidthFontAndColour();
    void longerLineGrowsByItsAddedTextOnly_data();
    void longerLineGrowsByItsAddedTextOnly();
    void linkKeepsItsColourInsideABlackLine();
    void secondEditKeepsTheFirstWidth();
    void coloursFollowTheGlyphsReplaced_data();
    void coloursFollowTheGlyphsReplaced();
    void scanLineWordsKeepTheirPixels_data();
    void scanLineWordsKeepTheirPixels();
    void scanWordsEndOnTheirInk_data();
    void scanWordsEndOnTheirInk();
    void rewrittenLineKeepsItsPlaceAndWeight_data();
    void rewrittenLineKeepsItsPlaceAndWeight();

private:
    // As the editor gets the page: the native layer cleaned, boxes grown.
    enum class Blocks { AsRead, AsEdited };
    QString save(PdfDocument& doc, const Edit& edit, TextBlock& old, Blocks blocks = Blocks::AsRead);
    // The edit saved, and the line's words as pdftotext reads them before
    // and after; out is empty when the save failed.
    struct Measured {
        QString source;
        QString out;
        TextBlock old;
        Edges before;
        Edges after;
    };
    Measured saveAndMeasure(PdfDocument& doc, const Edit& edit, Blocks blocks = Blocks::AsRead);
    QTemporaryDir m_dir;
};

void TestPageTextWriter::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    QVERIFY(pdftools::installed(QStringLiteral("pdftotext")) && pdftools::installed(QStringLiteral("pdffonts")));
}

// Applies the edit to the line and saves; old receives the line's block as read.
QString TestPageTextWriter::save(PdfDocument& doc, const Edit& edit, TextBlock& old, Blocks as)
{
    if (!doc.open(fixtures::realPdf(edit.file)))
        return {};
    std::vector<TextBlock> blocks = doc.extractText(0);
    if (as == Blocks::AsEdited)
        blocks = cleanedNativeTextBlocks(blocks, {});
    const auto block = blockWithText(blocks, edit.line);
    if (block == blocks.end())
        return {};
    old = *block;
    block->text = edit.edited;
    block->textEdited = true;
    if (!doc.overlayOcrText(0, blocks, false))
        return {};
    const QString tag = QString::fromUtf8(QTest::currentDataTag()).replace(' ', '-');
    const QString out = m_dir.filePath((tag.isEmpty() ? QStringLiteral("edited") : tag) + '-' + edit.file);
    return doc.save(out) ? out : QString();
}

TestPageTextWriter::Measured TestPageTextWriter::saveAndMeasure(PdfDocument& doc, const Edit& edit, Blocks blocks)
{
    Measured m;
    m.out = save(doc, edit, m.old, blocks);
    if (m.out.isEmpty())
        return m;
    m.source = fixtures::realPdf(edit.file);
    const double top = doc.pageSize(0).height() - m.old.rect.bottom();
    m.before = lineEdges(m.source, top, m.old.rect.height());
    m.after = lineEdges(m.out, top, m.old.rect.height());
    return m;
}

// The sizes mupdf reads the letters of a band of page 1 at (top-down points):
// a face squeezed across reads smaller.
QList<double> mupdfSizesInBand(const QString& pdf, double top, double height)
{
    QList<double> sizes;
    for (const pdftools::MupdfChar& c : pdftools::mupdfChars(pdf, 0))
        if (c.origin.y() >= top && c.origin.y() <= top + height && !c.text.trimmed().isEmpty())
            sizes << c.size;
    return sizes;
}

// The font names pdffonts lists.
QStringList fontNames(const QString& pdf)
{
    QStringList names;
    for (const pdftools::FontRow& row : pdftools::listFonts(pdf))
        names << row.name;
    return names;
}

// Whether every face of out was already in source.
bool noNewFace(const QString& source, const QString& out)
{
    const QStringList before = fontNames(source);
    const QStringList after = fontNames(out);
    return std::all_of(after.begin(), after.end(), [&](const QString& name) { return before.contains(name); });
}

// The same glyphs in another order keep the line's width within 2 % in the
// page's own font (no new face); words typed in another face ("!" is drawn
// nowhere on these pages) keep that face's own width: every letter of the
// line reads at the line's size, none squeezed across. The old fill exactly.
void TestPageTextWriter::replacedLineKeepsItsWidthFontAndColour_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<bool>("ownFont");
    const QString heading = QStringLiteral("ТЕХНИЧЕСКОЕ ЗАДАНИЕ");
    const QString tex = QStringLiteral("The official staff fill in the office file at the first floor.");
    const QString helvetica = QStringLiteral("All files were carried over without loss.");
    QTest::newRow("LibreOffice heading, own font") << "libreoffice-heading.pdf" << heading << "ЗАДАНИЕ ТЕХНИЧЕСКОЕ" << true;
    QTest::newRow("LibreOffice heading, other face") << "libreoffice-heading.pdf" << heading << "ТЕХНИЧЕСКОЕ ЗАДАНИЁ"
                                                     << false;
    QTest::newRow("LibreOffice body") << "libreoffice-heading.pdf" << "Приёмка выполняется комиссией заказчика по акту."
                                      << "Приёмка выполняется заказчика комиссией по акту." << true;
    // No ligature in the line: the subset has no "f" of its own.
    QTest::newRow("TeX Type 1, own font") << "tex-type1.pdf" << "Kerning: AVAW Type, Yes, We value Tea, LT AT."
                                          << "Kerning: AVAW Type, Yes, We value Tea, AT LT." << true;
    QTest::newRow("TeX Type 1, ligatures") << "tex-type1.pdf" << tex
                                           << "The official staff fill in the file office at the first floor." << false;
    QTest::newRow("TeX Type 1, other face") << "tex-type1.pdf" << tex
                                            << "The official staff fill in the office file at the first floor!" << false;
    QTest::newRow("ghostscript Helvetica") << "gs-helvetica.pdf" << helvetica
                                           << "All files were over carried without loss." << true;
    QTest::newRow("ghostscript Helvetica, other face") << "gs-helvetica.pdf" << helvetica
                                                       << "All files were carried over without loss!" << false;
    QTest::newRow("1 Tf") << "onetf-helvetica.pdf" << "Twelve members were present in the hall."
                          << "Twelve members were present in hall the." << true;
    QTest::newRow("tesseract layer over a scan") << "tesseract-ru.pdf" << "заключили настоящий договор о нижеследующем."
                                                 << "заключили договор настоящий о нижеследующем." << false;
    // groff through ghostscript: each untouched "seven" was drawn with a blank
    // squeezed to nothing inside it; it is written whole.
    const QString sevens = QStringLiteral("seven seven seven seven seven seven seven seven seven seven seven seven seven "
                                          "seven seven");
    QTest::newRow("groff, pairs kerned by squeezed blanks") << "groff-kerned-blanks.pdf" << "Seven " + sevens
                                                            << "seven Seven " + sevens.mid(6) << true;
    QTest::newRow("groff, a paragraph's last line with squeezed blanks")
        << "groff-kerned-blanks.pdf" << "seven seven seven seven seven." << "seven. seven seven seven seven" << true;
    QTest::newRow("TeX T2A, hyphen at the line's end") << "tex-t2a-names.pdf"
                                                       << "документация описывает, как заполнять заявку: список полей, по-"
                                                       << "документация описывает, как заполнять заявку: полей список, по-"
                                                       << true;
}

void TestPageTextWriter::replacedLineKeepsItsWidthFontAndColour()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, edited);
    QFETCH(bool, ownFont);
    PdfDocument doc;
    const Measured m = saveAndMeasure(doc, {file, line, edited});
    QVERIFY2(!m.out.isEmpty(), qPrintable(doc.lastError()));
    const QString& out = m.out;
    const QString& source = m.source;
    const TextBlock& old = m.old;
    const Edges& before = m.before;
    const Edges& after = m.after;
    QCOMPARE(after.words.join(' '), edited);
    const double width = before.right - before.left;
    QVERIFY2(std::abs(after.left - before.left) < 0.02 * width, qPrintable(QString::number(after.left - before.left)));
    if (ownFont)
        QVERIFY2(std::abs(after.right - before.right) < 0.02 * width,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before.right).arg(after.right)));
    const double top = doc.pageSize(0).height() - old.rect.bottom();
    const QList<double> was = mupdfSizesInBand(source, top, old.rect.height());
    const QList<double> now = mupdfSizesInBand(out, top, old.rect.height());
    QVERIFY(!was.isEmpty() && !now.isEmpty());
    const auto [least, most] = std::minmax_element(was.begin(), was.end());
    for (const double size : now)
        QVERIFY2(size >= 0.98 * *least && size <= 1.02 * *most,
                 qPrintable(QStringLiteral("%1 pt, the line %2..%3 pt").arg(size).arg(*least).arg(*most)));
    QCOMPARE(noNewFace(source, out), ownFont);
    // Read back as one line with its word breaks, also where words are apart.
    PdfDocument reread;
    QVERIFY(reread.open(out));
    std::vector<TextBlock> blocks = reread.extractText(0);
    QVERIFY(blockWithText(blocks, edited) != blocks.end());
    // Over a scan the layer's glyphs are invisible: the text takes the line's colour.
    const QColor wanted = old.invisibleText ? old.lines.front().color : old.lines.front().spans.front().fill;
    const QList<QColor> fills = fillsOfLineWith(out, edited.left(10));
    QVERIFY(!fills.isEmpty());
    for (const QColor& fill : fills)
        QVERIFY2(sameRgb(fill, wanted), qPrintable(fill.name() + " != " + wanted.name()));
}

// A character the page's font never draws sends the line to another face;
// the line then grows by the added text alone and stops at the page's edge.
// A right-aligned line grows to the left and keeps its end.
void TestPageTextWriter::longerLineGrowsByItsAddedTextOnly_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<bool>("ownFont");
    QTest::addColumn<QString>("face");  // part of the name of the face written instead
    QTest::addColumn<bool>("keepsEnd");
    // A sans heading gets a sans face, a standard family its metric twin.
    QTest::newRow("heading with a number sign") << "libreoffice-heading.pdf" << "ТЕХНИЧЕСКОЕ ЗАДАНИЕ"
                                                << "ТЕХНИЧЕСКОЕ ЗАДАНИЕ №5" << false << "DejaVuSans-Bold" << false;
    QTest::newRow("TeX words the font draws") << "tex-type1.pdf" << "Kerning: AVAW Type, Yes, We value Tea, LT AT."
                                              << "Kerning: AVAW Type, Yes, We value Tea, LT AT, Yes." << true << ""
                                              << false;
    QTest::newRow("Helvetica with Cyrillic") << "gs-helvetica.pdf" << "All files were carried over without loss."
                                             << "All files were carried over without loss: Да." << false
                                             << "LiberationSans" << false;
    QTest::newRow("right-aligned line at the right edge") << "libreoffice-heading.pdf" << "СОГЛАСНО ЗАДАНИИ"
                                                          << "СОГЛАСНО ТЕХНИЧЕСКОМУ ЗАДАНИИ" << false
                                                          << "LiberationSerif" << true;
}

void TestPageTextWriter::longerLineGrowsByItsAddedTextOnly()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, edited);
    QFETCH(bool, ownFont);
    QFETCH(QString, face);
    QFETCH(bool, keepsEnd);
    PdfDocument doc;
    TextBlock old;
    const QString out = save(doc, {file, line, edited}, old);
    QVERIFY2(!out.isEmpty(), qPrintable(doc.lastError()));
    const QString source = fixtures::realPdf(file);
    if (!face.isEmpty())
        QVERIFY2(!fontNames(out).filter(face).isEmpty(), qPrintable(fontNames(out).join(' ')));
    const QSizeF page = doc.pageSize(0);
    const double top = page.height() - old.rect.bottom();
    const Edges before = lineEdges(source, top, old.rect.height());
    const Edges after = lineEdges(out, top, old.rect.height());
    QCOMPARE(after.words.join(' '), edited);
    QVERIFY2(after.right <= page.width(), qPrintable(QString::number(after.right)));
    const double perLetter = (before.right - before.left) / line.size();
    const double added = edited.size() - line.size();
    if (keepsEnd)
        QVERIFY2(std::abs(after.right - before.right) < 1.0,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before.right).arg(after.right)));
    const double grown = keepsEnd ? before.left - after.left : after.right - before.right;
    if (keepsEnd || after.right < page.width() - 1)  // not held back by the edge
        QVERIFY2(grown > 0.5 * added * perLetter && grown < 1.6 * added * perLetter,
                 qPrintable(QStringLiteral("grew %1 for %2 letters of %3").arg(grown).arg(added).arg(perLetter)));
    QCOMPARE(noNewFace(source, out), ownFont);
}

// A black word replaced in a line that holds a blue link: the black is
// written exactly black, the link stays blue.
void TestPageTextWriter::linkKeepsItsColourInsideABlackLine()
{
    const QString line = QStringLiteral("Подробности на сайте zakupki.gov.ru в разделе закупок.");
    const QString edited = QStringLiteral("Подробности на сайте zakupki.gov.ru в отделе закупок.");
    PdfDocument doc;
    TextBlock old;
    const QString out = save(doc, {QStringLiteral("libreoffice-heading.pdf"), line, edited}, old);
    QVERIFY2(!out.isEmpty(), qPrintable(doc.lastError()));
    PdfDocument reread;
    QVERIFY(reread.open(out));
    std::vector<TextBlock> blocks = reread.extractText(0);
    const auto block = blockWithText(blocks, edited);
    QVERIFY(block != blocks.end());
    QList<QColor> link, black;
    for (const TextBlock::Line::Span& span : block->lines.front().spans)
        (span.text.contains(QLatin1String("zakupki")) ? link : black) << span.fill;
    QCOMPARE(link.size(), 1);
    QCOMPARE(link.front().rgb(), QColor(0x1a, 0x4f, 0xd0).rgb());
    QVERIFY(!black.isEmpty());
    for (const QColor& fill : black)
        QCOMPARE(fill.rgb(), QColor(Qt::black).rgb());
}

// A line the program wrote, edited again after a save: the word it typed
// moves as it stood and the page's word moves whole, so the line keeps the
// width the first save gave it.
void TestPageTextWriter::secondEditKeepsTheFirstWidth()
{
    const QString line = QStringLiteral("ТЕХНИЧЕСКОЕ ЗАДАНИЕ");
    PdfDocument first;
    TextBlock old;
    const QString once = save(first, {QStringLiteral("libreoffice-heading.pdf"), line, QStringLiteral("ТЕХНИЧЕСКОЕ ЗАДАНИЁ")}, old);
    QVERIFY2(!once.isEmpty(), qPrintable(first.lastError()));
    PdfDocument second;
    QVERIFY(second.open(once));
    std::vector<TextBlock> blocks = second.extractText(0);
    const auto block = blockWithText(blocks, QStringLiteral("ТЕХНИЧЕСКОЕ ЗАДАНИЁ"));
    QVERIFY(block != blocks.end());
    block->text = QStringLiteral("ЗАДАНИЁ ТЕХНИЧЕСКОЕ");
    block->textEdited = true;
    QVERIFY2(second.overlayOcrText(0, blocks, false), qPrintable(second.lastError()));
    const QString twice = m_dir.filePath(QStringLiteral("twice.pdf"));
    QVERIFY(second.save(twice));

    const double top = second.pageSize(0).height() - old.rect.bottom();
    const Edges before = lineEdges(once, top, old.rect.height());
    const Edges after = lineEdges(twice, top, old.rect.height());
    QCOMPARE(after.words.join(' '), QStringLiteral("ЗАДАНИЁ ТЕХНИЧЕСКОЕ"));
    const double width = before.right - before.left;
    QVERIFY2(std::abs((after.right - after.left) - width) < 0.02 * width,
             qPrintable(QStringLiteral("%1 -> %2").arg(width).arg(after.right - after.left)));
}

void TestPageTextWriter::coloursFollowTheGlyphsReplaced_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("colours");  // one letter a character: k black, b blue
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("expected");
    // A blank has no ink: it goes with the run before it.
    QTest::newRow("unchanged") << "see link now" << "kkkkbbbbkkkk" << "see link now" << "kkkkbbbbbkkk";
    QTest::newRow("black word replaced") << "see link now" << "kkkkbbbbkkkk" << "see link then" << "kkkkbbbbbkkkk";
    QTest::newRow("link word replaced") << "see link now" << "kkkkbbbbkkkk" << "see site now" << "kkkkbbbbbkkk";
    QTest::newRow("typed after the link") << "see link now" << "kkkkbbbbkkkk" << "see links now" << "kkkkbbbbbbkkk";
    QTest::newRow("typed before the link") << "see link" << "kkkkbbbb" << "see a link" << "kkkkkkbbbb";
    QTest::newRow("all new") << "abc" << "bbb" << "xyz" << "bbb";
    QTest::newRow("emptied") << "abc" << "bbb" << "" << "";
    QTest::newRow("no old text") << "" << "" << "new" << "kkk";
}

void TestPageTextWriter::coloursFollowTheGlyphsReplaced()
{
    QFETCH(QString, before);
    QFETCH(QString, colours);
    QFETCH(QString, after);
    QFETCH(QString, expected);
    auto colourOf = [](QChar c) { return c == 'b' ? QColor(Qt::blue) : QColor(Qt::black); };
    std::vector<QColor> old;
    for (QChar c : colours)
        old.push_back(colourOf(c));
    const std::vector<QColor> got = pdfengine::colorsForRewrittenText(before, old, after, Qt::black);
    QString letters;
    for (const QColor& c : got)
        letters += c == QColor(Qt::blue) ? 'b' : 'k';
    QCOMPARE(letters, expected);
}

void TestPageTextWriter::scanLineWordsKeepTheirPixels_data()
{
    // Old words "text:left-right" along the line; every letter and the blank 5 points wide.
    QTest::addColumn<QString>("was");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("laid");  // "text@left", "*" after a word that keeps its pixels; "" for none
    const QString line = QStringLiteral("a:0-10 bb:14-24 c:28-38");
    QTest::newRow("as long") << line << "a xx c" << "a@0* xx@14 c@28*";
    QTest::newRow("longer: the words after it move on") << line << "a xxxx c" << "a@0* xxxx@14 c@38*";
    QTest::newRow("shorter: they close up") << line << "a x c" << "a@0* x@14 c@23*";
    QTest::newRow("the first word") << line << "zzz bb c" << "zzz@0 bb@19* c@33*";
    QTest::newRow("the last word") << line << "a bb zzzz" << "a@0* bb@14* zzzz@28";
    QTest::newRow("a word typed in") << line << "a new bb c" << "a@0* new@15 bb@34* c@48*";
    QTest::newRow("a word typed before the first") << line << "new a bb c" << "new@0 a@20* bb@34* c@48*";
    QTest::newRow("a word taken out") << line << "a c" << "a@0* c@14*";
    QTest::newRow("two words for one") << line << "a x y c" << "a@0* x y@14 c@33*";
    QTest::newRow("a repeated word kept in order") << QStringLiteral("a:0-10 a:14-24 c:28-38") << "a b a c"
                                                   << "a@0* b@15 a@24* c@38*";
    const QString columns = QStringLiteral("a:0-10 bb:14-24 c:100-110 d:114-124");
    QTest::newRow("a column keeps its start") << columns << "a xxxxxx c d" << "a@0* xxxxxx@14 c@100* d@114*";
    QTest::newRow("a column shorter keeps the next") << columns << "a bb c x" << "a@0* bb@14* c@100* x@114";
    // 110 points narrowed to 66, a blank short of the column.
    QTest::newRow("text typed up to a column is narrowed") << columns << "a bb xxxxxxxxxxxxxxxxxxxxxx c d"
                                                          << "a@0* bb@14* xxxxxxxxxxxxxxxxxxxxxx@29/0.6 c@100* d@114*";
    // At half its width still too wide: the column's words from its start narrowed as one text.
    QTest::newRow("the column's words narrowed with it") << columns << "a bb xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx c d"
                                                        << "a bb xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx@0/0.542857 c@100* d@114*";
    QTest::newRow("narrowed by half at most") << columns << "a xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx c d"
                                              << "a xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx@0/0.5 c@110* d@124*";
    QTest::newRow("no word kept") << line << "x y z" << "";
    QTest::newRow("unchanged") << line << "a bb c" << "";
    QTest::newRow("emptied") << line << "" << "";
    QTest::newRow("a word without a box") << QStringLiteral("a:0-10 bb:14-14 c:28-38") << "a x c" << "";
}

// A corrected scan line: each word left as it was keeps its pixels and moves
// by the room the changed words before it take or give up; a column stays.
void TestPageTextWriter::scanLineWordsKeepTheirPixels()
{
    QFETCH(QString, was);
    QFETCH(QString, text);
    QFETCH(QString, laid);
    std::vector<std::pair<QString, QRectF>> words;
    for (const QString& word : was.split(QLatin1Char(' '))) {
        const QStringList parts = word.split(QRegularExpression(QStringLiteral("[:-]")));
        words.emplace_back(parts[0], QRectF(QPointF(parts[1].toDouble(), 0), QPointF(parts[2].toDouble(), 10)));
    }
    const auto advance = [](const QString& s) { return 5.0 * double(s.size()); };
    QStringList got;
    for (const pdfengine::ScanLineWord& word : pdfengine::scanLineWords(words, text, 10, 5, advance)) {
        got << QStringLiteral("%1@%2%3").arg(word.text).arg(word.left).arg(word.kept ? QStringLiteral("*")
                                                                    : word.scale < 1 ? QStringLiteral("/%1").arg(word.scale)
                                                                                     : QString());
        if (word.kept)
            QCOMPARE(word.width, word.oldBox.width());
    }
    QCOMPARE(got.join(QLatin1Char(' ')), laid);
}

void TestPageTextWriter::scanWordsEndOnTheirInk_data()
{
    // The line's ink a point a character ("#" dark), its words "text:left-right" as read and as fitted, at 10 pt.
    QTest::addColumn<QString>("ink");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("fitted");
    const QString three = QStringLiteral("#######...###....#######");
    QTest::newRow("a one-letter word's box off its letter") << three << "a:0-7 b:5-10 c:17-24" << "a:0-7 b:10-13 c:17-24";
    QTest::newRow("ends read near the ink stay") << three << "a:0-6.5 b:9.5-13 c:17.5-24" << "a:0-6.5 b:9.5-13 c:17.5-24";
    QTest::newRow("a box over the word before it") << three << "a:0-7 b:6.5-13 c:17-24" << "a:0-7 b:10-13 c:17-24";
    QTest::newRow("the line's ends reach their ink") << "..#####....#####.." << "a:4-7 b:11-14" << "a:2-7 b:11-16";
    QTest::newRow("no ink: as read") << QString(24, QLatin1Char('.')) << "a:0-7 b:10-13 c:17-24" << "a:0-7 b:10-13 c:17-24";
    // A number and its point a blank apart, a word read in a column's gap wider than a box may be off.
    QTest::newRow("a gap wider than the reach")
        << QStringLiteral("####..#%1#####").arg(QString(24, QLatin1Char('.'))) << "1.:0-7 x:15-18 w:31-36"
        << "1.:0-7 x:15-18 w:31-36";
}

// A recognised box may stand off its word's ink: its ends move onto the
// blanks the ink shows, and only where they stand off.
void TestPageTextWriter::scanWordsEndOnTheirInk()
{
    QFETCH(QString, ink);
    QFETCH(QString, read);
    QFETCH(QString, fitted);
    pdfengine::LineInk line;
    line.step = 1;
    for (const QChar c : ink)
        line.columns.push_back(c == QLatin1Char('#'));
    std::vector<std::pair<QString, QRectF>> words;
    for (const QString& word : read.split(QLatin1Char(' '))) {
        const QStringList parts = word.split(QRegularExpression(QStringLiteral("[:-]")));
        words.emplace_back(parts[0], QRectF(QPointF(parts[1].toDouble(), 0), QPointF(parts[2].toDouble(), 10)));
    }
    QStringList got;
    for (const auto& [text, box] : pdfengine::wordsOnInk(words, line, 10))
        got << QStringLiteral("%1:%2-%3").arg(text).arg(box.left()).arg(box.right());
    QCOMPARE(got.join(QLatin1Char(' ')), fitted);
}

// An edited line of a real page stays where the page set it: a right-aligned
// line ends where it ended, a justified one spans its old width, a centred
// one keeps its centre, a left one its start, every one its baseline. Written
// in another face, a regular line stays regular (ghostscript gives regular
// and bold Liberation Serif alike a bold stem width) and a bold one bold.
// Nothing else on the page changes: every other word is read once.
void TestPageTextWriter::rewrittenLineKeepsItsPlaceAndWeight_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("edited");
    // left, right, centre, both, start (left, words not spread) or on (left:
    // a justified line whose gaps cannot take the longer text runs on past its
    // end, every gap one mupdf reads as a blank)
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("kept");     // a word after a wide gap that keeps its x; empty: none
    QTest::addColumn<bool>("fixedPitch");  // the written face advances every glyph alike
    const QString address = QStringLiteral("г. Москва, ул. Лесная, д. 5");
    const QString justified =
        QStringLiteral("вступает в силу с первого числа следующего месяца. Поставщик обязан выполнить работы в");
    const QString first = QStringLiteral("Настоящим сообщаем, что договор поставки № 15 заключён сроком на пять лет и");
    QTest::newRow("LibreOffice right-aligned, longer, own font")
        << "libreoffice-letter.pdf" << address << address + QStringLiteral(", корп. 2") << "right" << false << QString() << false;
    QTest::newRow("ghostscript right-aligned, another face")
        << "gs-letter.pdf" << address << QStringLiteral("г. Москва, ул. Жукова, д. 15") << "right" << false << QString() << false;
    QTest::newRow("ghostscript right-aligned, shorter") << "gs-letter.pdf" << "Директор И. П. Сидоров"
                                                        << "Директор П. Сидоров" << "right" << false << QString() << false;
    QTest::newRow("LibreOffice justified, shorter")
        << "libreoffice-letter.pdf" << justified << QString(justified).replace("следующего", "этого") << "both"
        << false << QString() << false;
    QTest::newRow("LibreOffice justified, a few words left") << "libreoffice-letter.pdf" << justified
                                                             << QStringLiteral("вступает в силу") << "start" << false << QString() << false;
    QTest::newRow("ghostscript justified, longer, another face")
        << "gs-letter.pdf" << first << QString(first).replace("пять", "шесть (6)").replace("15", "15/Ж") << "on"
        << false << QString() << false;
    QTest::newRow("ghostscript centred bold heading, another face")
        << "gs-letter.pdf" << "ПИСЬМО" << "ПИСЬМО-ЖАЛОБА" << "centre" << true << QString() << false;
    const QString tex = QStringLiteral("answered within two weeks of arrival. The reading room was open on every");
    QTest::newRow("TeX justified line, longer") << "pdftex-page.pdf" << tex
                                                << QString(tex).replace("two", "three") << "both" << false << QString() << false;
    QTest::newRow("TeX justified line, another face") << "pdftex-page.pdf" << tex
                                                      << QString(tex).replace("two", "2½") << "both" << false << QString() << false;
    const QString last = QStringLiteral("срок до пятнадцатого числа, а приёмка выполняется комиссией заказчика по акту.");
    QTest::newRow("ghostscript paragraph's last line, another face")
        << "gs-letter.pdf" << last << QString(last).replace("комиссией", "Жюри") << "left" << false << QString() << false;
    QTest::newRow("LibreOffice centred fixed-pitch heading, another face")
        << "libreoffice-sections.pdf" << "ПОРЯДОК ПРИЁМКИ" << "ПОРЯДОК СДАЧИ" << "centre" << false << QString() << true;
    QTest::newRow("LibreOffice centred DejaVu Sans Mono heading, another face")
        << "libreoffice-sections.pdf" << "ОТМЕТКИ КОМИССИИ" << "ОТМЕТКИ ЖЮРИ" << "centre" << false << QString() << true;
    QTest::newRow("groff chapter number two blanks from its corrected title")
        << "groff-columns.pdf" << "4. Requests from the staff" << "4. Requests from all staff" << "left" << false
        << "Requests" << false;
    QTest::newRow("groff chapter number corrected")
        << "groff-columns.pdf" << "4. Requests from the staff" << "5. Requests from the staff" << "left" << false
        << "Requests" << false;
    const QString header = QStringLiteral("Действительный ввод Переводимое значение");
    for (const char* file : {"libreoffice-sections.pdf", "gs-sections.pdf"})
        QTest::addRow("%s two-column line, a word corrected in each column", file)
            << file << header << "Действительный ответ Переводимое слово" << "left" << false << "Переводимое" << false;
}

void TestPageTextWriter::rewrittenLineKeepsItsPlaceAndWeight()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, edited);
    QFETCH(QString, anchor);
    QFETCH(bool, bold);
    QFETCH(QString, kept);
    QFETCH(bool, fixedPitch);
    PdfDocument doc;
    const Measured m = saveAndMeasure(doc, {file, line, edited}, Blocks::AsEdited);
    QVERIFY2(!m.out.isEmpty(), qPrintable(doc.lastError()));
    const QString& out = m.out;
    const QString& source = m.source;
    const Edges& before = m.before;
    const Edges& after = m.after;
    QCOMPARE(after.words.join(' '), edited);
    const auto near = [](double a, double b) { return std::abs(a - b) < 1.0; };
    const QString where = QStringLiteral("%1..%2 -> %3..%4").arg(before.left).arg(before.right).arg(after.left).arg(after.right);
    if (anchor == "left" || anchor == "both" || anchor == "start" || anchor == "on")
        QVERIFY2(near(after.left, before.left), qPrintable(where));
    if (anchor == "on") {
        QVERIFY2(after.right > before.right + 1.0, qPrintable(where));
        const QStringList read = pdftools::mupdfText(out, 0).simplified().split(QLatin1Char(' '));
        for (const QString& word : edited.split(QLatin1Char(' ')))
            QVERIFY2(read.contains(word), qPrintable(word));
    }
    // Spread over the old width, a few words would read as columns.
    if (anchor == "start")
        QVERIFY2(after.right - after.left < (before.right - before.left) / 2, qPrintable(where));
    if (anchor == "right" || anchor == "both")
        QVERIFY2(near(after.right, before.right), qPrintable(where));
    if (anchor == "centre")
        QVERIFY2(near(after.left + after.right, before.left + before.right), qPrintable(where));
    if (!kept.isEmpty()) {
        const qsizetype was = before.words.indexOf(kept), is = after.words.indexOf(kept);
        QVERIFY(was >= 0 && is >= 0);
        QVERIFY2(near(after.lefts[is], before.lefts[was]),
                 qPrintable(QStringLiteral("%1: %2 -> %3").arg(kept).arg(before.lefts[was]).arg(after.lefts[is])));
    }
    if (fixedPitch) {
        const auto [least, most] = std::minmax_element(after.pitches.begin(), after.pitches.end());
        QVERIFY2(*most - *least <= 0.02 * *most, qPrintable(QStringLiteral("pitch %1..%2").arg(*least).arg(*most)));
    }

    const Baseline was = baselineOf(source, line);
    const Baseline now = baselineOf(out, edited);
    QVERIFY(was.y >= 0 && now.y >= 0);
    QVERIFY2(near(now.y, was.y), qPrintable(QStringLiteral("baseline %1 -> %2").arg(was.y).arg(now.y)));

    const QStringList sourceFonts = fontNames(source);
    for (const QString& font : fontNames(out))
        if (!sourceFonts.contains(font))
            QVERIFY2(font.contains(QLatin1String("Bold")) == bold, qPrintable(font));

    QStringList expected = pdftools::words(source, 0);
    for (const QString& word : line.split(' '))
        expected.removeOne(word);
    expected += edited.split(' ');
    QCOMPARE(sortedWords(pdftools::words(out, 0)), sortedWords(expected));
}

QTEST_GUILESS_MAIN(TestPageTextWriter)
#include "tst_pagetextwriter.moc"
