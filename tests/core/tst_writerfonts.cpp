#include "BlockFixtures.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "PdfTools.h"
#include "TextBlock.h"
#include "WriterFonts.h"
#include "NativeTextLayer.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using fixtures::PageSpec;
using fixtures::TextRun;
using pdfengine::WeightVerdict;

Q_DECLARE_METATYPE(WeightVerdict)

namespace {

// An edited one-line block over a Helvetica run of the page.
TextBlock editedLine(const QString& text, const QRectF& rect, const QString& family = QStringLiteral("Helvetica"))
{
    TextBlock block = fixtures::oneLineBlock(text, rect, 12);
    block.lines[0].fontFamily = family;
    block.textEdited = true;
    return block;
}

QString pageText(const PdfDocument& doc, int page)
{
    return doc.extractAllText(page).simplified();
}

// A regular line of the page (a block of its own) with new words.
std::vector<TextBlock> editedRegularLine(const PdfDocument& doc, int page, const QString& text)
{
    for (TextBlock block : doc.extractText(page)) {
        if (block.lines.size() != 1 || block.bold || block.italic || block.text.size() < 20)
            continue;
        block.lines[0].text = block.text = text;
        block.textEdited = true;
        return {block};
    }
    return {};
}

// The line of page 0 holding word as the window reads the page, given by
// in its place (an empty by deletes the line) and written; its old place in
// *place. False when no line holds the word or the write is refused.
bool correctLine(PdfDocument& doc, const QString& word, const QString& by, QRectF* place)
{
    std::vector<TextBlock> blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
    for (TextBlock& block : blocks)
        for (size_t k = 0; k < block.lines.size(); ++k) {
            const qsizetype at = block.lines[k].text.split(QLatin1Char(' '), Qt::SkipEmptyParts).indexOf(word);
            if (at < 0)
                continue;
            *place = block.lines[k].rect;
            if (by.isEmpty())
                fixtures::setLineText(block, k, QString());
            else
                fixtures::correctWord(block, k, at, by);
            return doc.overlayOcrText(0, blocks, false);
        }
    return false;
}

// Pixels of two renders at dpi that differ outside the boxes (points, y up).
int changedOutside(const QImage& before, const QImage& after, const std::vector<QRectF>& boxes, double height, int dpi)
{
    if (before.isNull() || before.size() != after.size())
        return -1;
    const double scale = dpi / 72.0;
    int changed = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            const QPointF at((x + 0.5) / scale, height - (y + 0.5) / scale);
            if (std::abs(qGray(before.pixel(x, y)) - qGray(after.pixel(x, y))) > 40 &&
                std::none_of(boxes.begin(), boxes.end(), [&](const QRectF& box) { return box.contains(at); }))
                ++changed;
        }
    return changed;
}


// The share of the ink of word (as poppler finds it on page 0 of before)
// that differs where the word stands best along its line in after: each
// page drawn at 300 dpi, the word searched for across the page and three
// pixels up or down, a pixel matching any within one of it. 1 where poppler
// finds no such word.
double inkChangeOfWord(const QString& before, const QString& after, const QString& word)
{
    constexpr int kDpi = 300, kAcross = 3, kInk = 128, kAlike = 64;
    const QList<pdftools::WordBox> boxes = pdftools::wordBoxes(before, 0);
    const auto found = std::find_if(boxes.begin(), boxes.end(), [&](const pdftools::WordBox& b) { return b.text == word; });
    const QImage a = pdftools::renderPage(before, 0, kDpi).convertToFormat(QImage::Format_Grayscale8);
    const QImage b = pdftools::renderPage(after, 0, kDpi).convertToFormat(QImage::Format_Grayscale8);
    if (found == boxes.end() || a.isNull() || a.size() != b.size())
        return 1.0;
    const double scale = kDpi / 72.0;
    const QRect cut = QRect(QPoint(int(found->box.left() * scale), int((found->box.top() - 1) * scale)),
                            QPoint(int(found->box.right() * scale), int((found->box.bottom() + 1) * scale)))
                          .intersected(a.rect().adjusted(1, kAcross + 1, -1, -kAcross - 1));
    const auto grey = [](const QImage& image, int x, int y) { return int(image.constScanLine(y)[x]); };
    long best = -1;
    QPoint at;
    for (int dy = -kAcross; dy <= kAcross; ++dy)
        for (int x = 1; x + cut.width() < b.width() - 1; ++x) {
            long cost = 0;
            for (int y = 0; y < cut.height() && (best < 0 || cost < best); ++y)
                for (int i = 0; i < cut.width(); ++i)
                    cost += std::abs(grey(a, cut.x() + i, cut.y() + y) - grey(b, x + i, cut.y() + dy + y));
            if (best < 0 || cost < best) {
                best = cost;
                at = QPoint(x, cut.y() + dy);
            }
        }
    int ink = 0, differ = 0;
    for (int y = 0; y < cut.height(); ++y)
        for (int i = 0; i < cut.width(); ++i) {
            const int was = grey(a, cut.x() + i, cut.y() + y);
            if (was >= kInk)
                continue;
            ++ink;
            bool alike = false;
            for (int ny = -1; ny <= 1 && !alike; ++ny)
                for (int nx = -1; nx <= 1 && !alike; ++nx)
                    alike = std::abs(was - grey(b, at.x() + i + nx, at.y() + y + ny)) <= kAlike;
            differ += alike ? 0 : 1;
        }
    return ink > 0 ? double(differ) / ink : 1.0;
}

// The sizes mupdf reads the letters of page 0 at between two heights (top-down points).
QList<double> mupdfSizesBetween(const QString& pdf, double top, double bottom)
{
    QList<double> sizes;
    for (const pdftools::MupdfChar& c : pdftools::mupdfChars(pdf, 0))
        if (c.origin.y() >= top && c.origin.y() <= bottom && !c.text.trimmed().isEmpty())
            sizes << c.size;
    return sizes;
}

} // namespace

class TestWriterFonts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void editsOnTwoPagesEmbedOneSmallSubset();
    void laterTextOutsideTheSubsetStillReads();
    void fontsSurviveSavingOverTheOpenFile();
    void standardFamiliesGetMetricCompatibleFaces_data();
    void standardFamiliesGetMetricCompatibleFaces();
    void helveticaLineKeepsItsWidth();
    void styleFromNameWeightAndFlags_data();
    void styleFromNameWeightAndFlags();
    void texFacesReadBoldAndItalic_data();
    void texFacesReadBoldAndItalic();
    void badFontsAndUncoveredText_data();
    void badFontsAndUncoveredText();
    void ownFaceCorrectedAgainAfterASave_data();
    void ownFaceCorrectedAgainAfterASave();
    void typedWordKeepsItsInkInALaterSession_data();
    void typedWordKeepsItsInkInALaterSession();
    void typedWordMatchesItsLine_data();
    void typedWordMatchesItsLine();

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openPages(PdfDocument& doc, const QList<PageSpec>& pages, const QString& name);
    QTemporaryDir m_dir;
};

void TestWriterFonts::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    QVERIFY2(pdftools::installed(QStringLiteral("pdffonts")), "poppler-utils (pdffonts) must be installed by scripts/setup.sh");
}

void TestWriterFonts::cleanup()
{
    pdfengine::setFontRootForTesting(QString());
}

bool TestWriterFonts::openPages(PdfDocument& doc, const QList<PageSpec>& pages, const QString& name)
{
    return fixtures::writeFile(path(name), fixtures::pagesPdf(pages)) && doc.open(path(name));
}

void TestWriterFonts::editsOnTwoPagesEmbedOneSmallSubset()
{
    const QString source = QStringLiteral(VORN_TEST_DATA "/groff-columns.pdf");
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const qint64 before = QFileInfo(source).size();
    const std::vector<TextBlock> first = editedRegularLine(doc, 0, QStringLiteral("Счёт № 15 «Ромашка» — оплачен"));
    const std::vector<TextBlock> second = editedRegularLine(doc, 1, QStringLiteral("Итого: 1 250,00 руб."));
    QVERIFY(!first.empty() && !second.empty());
    // Two separate writes, as two saves of the editor would make them.
    QVERIFY(doc.overlayOcrText(0, first, false));
    QVERIFY(doc.overlayOcrText(1, second, false));
    const QString out = path(QStringLiteral("two-out.pdf"));
    QVERIFY(doc.save(out));

    const qint64 growth = QFileInfo(out).size() - before;
    QVERIFY2(growth < 60 * 1024, qPrintable(QStringLiteral("grew by %1 bytes").arg(growth)));
    QStringList written;
    for (const pdftools::FontRow& font : pdftools::listFonts(out)) {
        if (!font.embedded)
            continue;
        QVERIFY2(font.subset && QRegularExpression(QStringLiteral("^[A-Z]{6}\\+")).match(font.name).hasMatch(),
                 qPrintable(font.name));
        written << font.name;
    }
    QCOMPARE(written.size(), 1);
    QVERIFY2(written.first().endsWith(QLatin1String("+LiberationSerif")), qPrintable(written.first()));
    // Word by word: where the page refused to lose its old line, that line
    // stays under the white-out and other readers see both.
    const QStringList firstWords = pdftools::words(out, 0);
    const QStringList secondWords = pdftools::words(out, 1);
    for (const QString& word : QStringLiteral("Счёт № 15 «Ромашка» — оплачен").split(QLatin1Char(' ')))
        QVERIFY2(firstWords.count(word) == 1, qPrintable(word));
    for (const QString& word : QStringLiteral("Итого: 1 250,00 руб.").split(QLatin1Char(' ')))
        QVERIFY2(secondWords.count(word) == 1, qPrintable(word));
}

void TestWriterFonts::laterTextOutsideTheSubsetStillReads()
{
    PdfDocument doc;
    QVERIFY(openPages(doc, {PageSpec()}, QStringLiteral("greek.pdf")));
    QVERIFY(doc.addFreeText(0, QRectF(72, 700, 200, 14), QStringLiteral("Latin first"), QStringLiteral("Arial"), 12, Qt::black));
    QVERIFY(doc.addFreeText(0, QRectF(72, 650, 200, 14), QStringLiteral("Ωμέγα ἀλφα"), QStringLiteral("Arial"), 12, Qt::black));
    const QString text = pageText(doc, 0);
    QVERIFY2(text.contains(QStringLiteral("Latin first")) && text.contains(QStringLiteral("Ωμέγα ἀλφα")), qPrintable(text));
}

void TestWriterFonts::fontsSurviveSavingOverTheOpenFile()
{
    PdfDocument doc;
    QVERIFY(openPages(doc, {PageSpec(), PageSpec()}, QStringLiteral("reload.pdf")));
    const QString file = path(QStringLiteral("reload.pdf"));
    for (int round = 0; round < 3; ++round) {
        const QString line = QStringLiteral("Правка %1").arg(round);
        QVERIFY(doc.overlayOcrText(round % 2, {editedLine(line, QRectF(72, 600 - round * 30, 200, 14))}, false));
        QVERIFY(doc.save(file));  // reloads: the fonts of the old document are gone
        QVERIFY2(pageText(doc, round % 2).contains(line), qPrintable(pageText(doc, round % 2)));
    }
    for (const pdftools::FontRow& font : pdftools::listFonts(file))
        QVERIFY2(!font.embedded || font.subset, qPrintable(font.name));
}

void TestWriterFonts::standardFamiliesGetMetricCompatibleFaces_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<QString>("written");
    QTest::newRow("Helvetica") << "Helvetica" << false << false << "LiberationSans";
    QTest::newRow("Arial bold") << "Arial Bold" << true << false << "LiberationSans Bold";
    QTest::newRow("Times New Roman italic") << "TimesNewRomanPS ItalicMT" << false << true << "LiberationSerif Italic";
    QTest::newRow("Courier bold italic") << "Courier New" << true << true << "LiberationMono BoldItalic";
    QTest::newRow("Nimbus Sans") << "NimbusSans Regular" << false << false << "LiberationSans";
    QTest::newRow("TeX face: the usual order") << "CMR10" << false << false << "DejaVuSerif";
    QTest::newRow("no family") << "" << true << false << "DejaVuSerif Bold";
    QTest::newRow("fixed-pitch family without a metric twin") << "DejaVuSansMono" << false << false << "DejaVuSansMono";
    QTest::newRow("TeX typewriter, bold") << "CMTT10" << true << false << "DejaVuSansMono Bold";
}

void TestWriterFonts::standardFamiliesGetMetricCompatibleFaces()
{
    QFETCH(QString, family);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(QString, written);
    PdfDocument doc;
    QVERIFY(openPages(doc, {PageSpec()}, QStringLiteral("metric.pdf")));
    TextBlock block = editedLine(QStringLiteral("Образец text"), QRectF(72, 600, 200, 14), family);
    block.lines[0].bold = bold;
    block.lines[0].italic = italic;
    QVERIFY(doc.overlayOcrText(0, {block}, false));
    const std::vector<TextBlock> extracted = doc.extractText(0);
    QVERIFY(!extracted.empty());
    QCOMPARE(extracted.front().fontFamily, written);
    QCOMPARE(extracted.front().bold, bold);
    QCOMPARE(extracted.front().italic, italic);
}

// A line set in Helvetica and rewritten must fit its old box: the same width
// as the standard Helvetica draws it.
void TestWriterFonts::helveticaLineKeepsItsWidth()
{
    const QString text = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789");
    auto writtenWidth = [&](const QString& fontRoot) {
        pdfengine::setFontRootForTesting(fontRoot);
        PdfDocument doc;
        if (!openPages(doc, {PageSpec()}, QStringLiteral("width.pdf")) ||
            !doc.addFreeText(0, QRectF(40, 600, 500, 14), text, QStringLiteral("Helvetica"), 12, Qt::black))
            return -1.0;
        const std::vector<TextBlock> blocks = doc.extractText(0);
        return blocks.empty() ? -1.0 : blocks.front().rect.width();
    };
    QTemporaryDir noFonts;
    const double standard = writtenWidth(noFonts.path());
    const double installed = writtenWidth(QString());
    QVERIFY(standard > 100);
    QVERIFY2(qAbs(installed - standard) < 0.02 * standard,
             qPrintable(QStringLiteral("%1 against %2").arg(installed).arg(standard)));
}

void TestWriterFonts::styleFromNameWeightAndFlags_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("weight");
    QTest::addColumn<int>("flags");
    QTest::addColumn<WeightVerdict>("shown");  // what the font's widths or program show
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::newRow("TeX roman, weight guessed from thick stems") << "CMR10" << 744 << 0 << WeightVerdict::Unknown << false << false;
    QTest::newRow("TeX bold extended") << "CMBX12" << 400 << 0 << WeightVerdict::Unknown << true << false;
    QTest::newRow("TeX text italic") << "CMTI10" << 400 << 0 << WeightVerdict::Unknown << false << true;
    QTest::newRow("TeX bold italic") << "CMBXTI10" << 400 << 0 << WeightVerdict::Unknown << true << true;
    QTest::newRow("TeX slanted") << "CMSL10" << 0 << 0 << WeightVerdict::Unknown << false << true;
    QTest::newRow("TeX sans bold") << "CMSSBX10" << 0 << 0 << WeightVerdict::Unknown << true << false;
    QTest::newRow("TeX typewriter") << "CMTT10" << 0 << 0 << WeightVerdict::Unknown << false << false;
    QTest::newRow("EC bold") << "SFBX1200" << 0 << 0 << WeightVerdict::Unknown << true << false;
    QTest::newRow("name says bold") << "Arial BoldMT" << 400 << 0 << WeightVerdict::Unknown << true << false;
    QTest::newRow("name says italic") << "TimesNewRomanPS ItalicMT" << 400 << 0 << WeightVerdict::Unknown << false << true;
    QTest::newRow("weight") << "Foo" << 700 << 0 << WeightVerdict::Unknown << true << false;
    QTest::newRow("force-bold flag") << "Foo" << 400 << (1 << 18) << WeightVerdict::Unknown << true << false;
    QTest::newRow("italic flag") << "Foo" << 400 << (1 << 6) << WeightVerdict::Unknown << false << true;
    QTest::newRow("lower-case look-alike is no TeX name") << "cmbx10" << 400 << 0 << WeightVerdict::Unknown << false << false;
    // Ghostscript gives a regular Liberation Serif /StemV 137 (pdfium: 685).
    QTest::newRow("stems say bold, widths regular") << "LiberationSerif" << 685 << 4 << WeightVerdict::Regular << false
                                                    << false;
    QTest::newRow("stems say regular, widths bold") << "TimesNewRomanPSMT" << 400 << 0 << WeightVerdict::Bold << true
                                                    << false;
    QTest::newRow("name says bold over regular widths") << "Arial BoldMT" << 400 << 0 << WeightVerdict::Regular
                                                        << true << false;
    QTest::newRow("force-bold flag over regular widths") << "Foo" << 400 << (1 << 18) << WeightVerdict::Regular
                                                         << true << false;
    QTest::newRow("TeX name over bold widths") << "CMR10" << 744 << 0 << WeightVerdict::Bold << false << false;
}

void TestWriterFonts::styleFromNameWeightAndFlags()
{
    QFETCH(QString, name);
    QFETCH(int, weight);
    QFETCH(int, flags);
    QFETCH(WeightVerdict, shown);
    const pdfengine::FontStyle style = pdfengine::pdfFontStyle(name, weight, flags, shown);
    QTEST(style.bold, "bold");
    QTEST(style.italic, "italic");
}

void TestWriterFonts::texFacesReadBoldAndItalic_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::newRow("CMBX10") << "Definition." << true << false;
    QTest::newRow("CMR10") << "named record" << false << false;
    QTest::newRow("CMTI10") << "efficient offline" << false << true;
}

// dvips's Type 1 Computer Modern faces say nothing of their style but their names.
void TestWriterFonts::texFacesReadBoldAndItalic()
{
    QFETCH(QString, words);
    PdfDocument doc;
    QVERIFY(doc.open(QStringLiteral(VORN_TEST_DATA "/tex-type1.pdf")));
    for (const TextBlock& block : doc.extractText(0))
        for (const TextBlock::Line& line : block.lines)
            for (const TextBlock::Line::Span& span : line.spans)
                if (span.text.contains(words)) {
                    QTEST(span.bold, "bold");
                    QTEST(span.italic, "italic");
                    return;
                }
    QFAIL("words not found");
}

void TestWriterFonts::badFontsAndUncoveredText_data()
{
    QTest::addColumn<QString>("fontRoot");  // "real", "none", "broken-first" or "cut-first"
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");  // the font the text is read in; empty: refused
    QTest::addColumn<QString>("invisibleLayer");  // page text after writing a refused text invisibly
    QTest::newRow("no font files: standard font") << "none" << "Fallback" << "Helvetica" << "";
    QTest::newRow("no font files, Cyrillic: refused") << "none" << "Привет" << "" << "Kept";
    QTest::newRow("a file that is no font: the next face") << "broken-first" << "Standard" << "DejaVuSans" << "";
    QTest::newRow("a font cut short: the next face") << "cut-first" << "Обрезан" << "DejaVuSans" << "";
    QTest::newRow("no face has the character: refused") << "real" << QString::fromUcs4(U"Знак \U0010FFFD") << ""
                                                         << "Kept Знак";
}

void TestWriterFonts::badFontsAndUncoveredText()
{
    QFETCH(QString, fontRoot);
    QFETCH(QString, text);
    QFETCH(QString, written);
    QTemporaryDir root;
    if (fontRoot != QLatin1String("real"))
        pdfengine::setFontRootForTesting(root.path());
    if (fontRoot.endsWith(QLatin1String("-first"))) {
        const QStringList candidates = pdfengine::fontFileCandidates(false, false);
        QVERIFY(QDir().mkpath(QFileInfo(candidates.first()).path()));
        const QByteArray serif = fixtures::readFile(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"));
        QVERIFY(fixtures::writeFile(candidates.first(), fontRoot == QLatin1String("cut-first") ? serif.left(serif.size() / 3)
                                                                                             : QByteArray("not a font")));
        QVERIFY(QFile::copy(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
                            candidates.at(1)));
    }
    PageSpec page;
    page.runs = {TextRun{QStringLiteral("Kept"), 72, 400, 12}};
    PdfDocument doc;
    QVERIFY(openPages(doc, {page}, QStringLiteral("bad.pdf")));
    const bool accepted = doc.addFreeText(0, QRectF(72, 600, 200, 14), text, QStringLiteral("Arial"), 12, Qt::black);
    QCOMPARE(accepted, !written.isEmpty());
    const std::vector<TextBlock> blocks = doc.extractText(0);
    if (written.isEmpty()) {
        QCOMPARE(pageText(doc, 0), QStringLiteral("Kept"));
        QVERIFY(!doc.isModified());
        // An edited line with it: the write fails whole, saying which character.
        TextBlock edited = fixtures::oneLineBlock(text, QRectF(72, 395, 200, 14), 12);
        edited.textEdited = true;
        QVERIFY(!doc.overlayOcrText(0, {edited}, false));
        QVERIFY2(doc.lastError().contains(QStringLiteral("U+")), qPrintable(doc.lastError()));
        QCOMPARE(pageText(doc, 0), QStringLiteral("Kept"));
        // The same words as an invisible layer: what some face draws is
        // written, never mojibake.
        doc.overlayOcrText(0, {fixtures::oneLineBlock(text, QRectF(72, 600, 200, 14), 12)}, false);
        QTEST(pageText(doc, 0), "invisibleLayer");
        return;
    }
    QVERIFY(pageText(doc, 0).contains(text));
    const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text == text; });
    QVERIFY(it != blocks.end());
    QCOMPARE(it->fontFamily, written);
}

QTEST_GUILESS_MAIN(TestWriterFonts)
#include "tst_writerfonts.moc"

void TestWriterFonts::ownFaceCorrectedAgainAfterASave_data()
{
    // Each step "word=by" (by empty: the line deleted) is saved; the file is
    // opened again after the first.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("steps");
    const QString memo = QStringLiteral("groff-memo.pdf");
    QTest::newRow("groff memo: a ligature line replaced, then a line deleted")
        << memo << QStringList{"pallets=big wooden pallets", "auditors=accountants", "Thank="};
    QTest::newRow("groff memo: the ligature line deleted")
        << memo << QStringList{"pallets=big wooden pallets", "auditors="};
    QTest::newRow("groff memo: the line written before corrected again")
        << memo << QStringList{"pallets=big wooden pallets", "wooden=oak", "figures="};
}

// A page whose line was written in the page's own face and saved is opened
// again and corrected further: every save passes its check, the words read
// back as corrected, and outside the lines edited the page draws as before.
void TestWriterFonts::ownFaceCorrectedAgainAfterASave()
{
    QFETCH(QString, file);
    QFETCH(QStringList, steps);
    const QString source = QStringLiteral(VORN_TEST_DATA "/") + file;
    QMap<QString, int> expected;
    for (const QString& word : pdftools::words(source, 0))
        ++expected[word];
    std::vector<QRectF> edited;
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const double height = doc.pageSize(0).height();
    for (int i = 0; i < steps.size(); ++i) {
        const QString word = steps[i].section(QLatin1Char('='), 0, 0), by = steps[i].section(QLatin1Char('='), 1);
        const QList<pdftools::WordBox> before = pdftools::wordBoxes(i == 0 ? source : path(QStringLiteral("own-%1.pdf").arg(i - 1)), 0);
        QRectF place;
        QVERIFY2(correctLine(doc, word, by, &place), qPrintable(steps[i] + QStringLiteral(": ") + doc.lastError()));
        // A longer line runs on along its baseline.
        edited.push_back(place.adjusted(-2, -2, 2, 2).united(QRectF(place.right(), place.y() - 2, doc.pageSize(0).width(), place.height() + 4)));
        // The words the line held, as poppler read them where it stood.
        const QStringList byWords = by.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const pdftools::WordBox& w : before)
            if (place.contains(QPointF(w.box.center().x(), height - w.box.center().y())) &&
                (by.isEmpty() || w.text == word))
                --expected[w.text];
        for (const QString& w : byWords)
            ++expected[w];
        const QString out = path(QStringLiteral("own-%1.pdf").arg(i));
        QVERIFY2(doc.save(out), qPrintable(steps[i] + QStringLiteral(": ") + doc.lastError()));

        QMap<QString, int> got;
        for (const QString& w : pdftools::words(out, 0))
            ++got[w];
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(got.value(it.key()) == std::max(0, it.value()),
                     qPrintable(QStringLiteral("%1: %2: %3 expected, %4 read").arg(steps[i], it.key()).arg(it.value()).arg(got.value(it.key()))));
        QCOMPARE(changedOutside(pdftools::renderPage(source, 0, 150), pdftools::renderPage(out, 0, 150), edited, height, 150), 0);
        if (i == 0)
            QVERIFY(doc.open(out));  // the next day's session
    }
}

// A word typed in one session and saved is the page's in the next: another
// word of its line corrected then, the line's words shift, and the typed
// word keeps its glyphs, face and size (its ink matches) and reads as typed
// for poppler and mupdf.
void TestWriterFonts::typedWordKeepsItsInkInALaterSession_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("typed");   // "word=by" of the first session
    QTest::addColumn<QString>("later");   // of the second, a word before it in its line
    QTest::newRow("Distiller 7, German description, CM faces")
        << "distiller-gerdoc.pdf" << "PostScript-Schriftpakets=PostScript-Schriftpaketss" << "des=dess";
    QTest::newRow("pdfTeX 1.40, French l2tabu, Palladio")
        << "pdftex-l2tabu.pdf" << "italienne=italiennes" << "2.3,=2.4,";
    QTest::newRow("pdfTeX 1.40, French l2tabu, a shorter word before it")
        << "pdftex-l2tabu.pdf" << "italienne=italiennes" << "française=franc";
}

void TestWriterFonts::typedWordKeepsItsInkInALaterSession()
{
    QFETCH(QString, file);
    QFETCH(QString, typed);
    QFETCH(QString, later);
    const QString word = typed.section(QLatin1Char('='), 1);
    const QString once = path(QStringLiteral("once.pdf")), twice = path(QStringLiteral("twice.pdf"));
    QString current = fixtures::realPdf(file);
    for (const auto& [step, out] : {std::pair{typed, once}, std::pair{later, twice}}) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        QRectF place;
        QVERIFY2(correctLine(doc, step.section(QLatin1Char('='), 0, 0), step.section(QLatin1Char('='), 1), &place),
                 qPrintable(step + QStringLiteral(": ") + doc.lastError()));
        QVERIFY2(doc.save(out), qPrintable(doc.lastError()));
        current = out;
    }
    const double changed = inkChangeOfWord(once, twice, word);
    QVERIFY2(changed < 0.12, qPrintable(QStringLiteral("%1% of its ink").arg(qRound(changed * 100))));
    QVERIFY(pdftools::words(twice, 0).contains(word));
    QVERIFY(pdftools::mupdfText(twice, 0).simplified().split(QLatin1Char(' ')).contains(word));
    QVERIFY(pdftools::words(twice, 0).contains(later.section(QLatin1Char('='), 1)));
}

// A word the page's faces cannot draw, typed into a line of serif faces: it
// is set in a serif face at the line's size, not squeezed across (mupdf
// reads every letter of the line at the line's size); a justified line made
// longer keeps a blank both readers read between every two of its words.
void TestWriterFonts::typedWordMatchesItsLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("by");
    QTest::newRow("Distiller 7, CM faces, a Russian word") << "distiller-gerdoc.pdf" << "Version" << "Версию";
    QTest::newRow("pdfTeX, Palladio, a Russian word") << "pdftex-l2tabu.pdf" << "italienne" << "итальянской";
    QTest::newRow("pdfTeX, Palladio, a justified line three words longer")
        << "pdftex-l2tabu.pdf" << "2.3," << "2.3 (mise à jour),";
}

void TestWriterFonts::typedWordMatchesItsLine()
{
    QFETCH(QString, file);
    QFETCH(QString, word);
    QFETCH(QString, by);
    const QString source = fixtures::realPdf(file), out = path(QStringLiteral("matched.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const double height = doc.pageSize(0).height();
    QRectF place;
    QVERIFY2(correctLine(doc, word, by, &place), qPrintable(doc.lastError()));
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

    QStringList before;
    for (const pdftools::FontRow& row : pdftools::listFonts(source))
        before << row.name;
    for (const pdftools::FontRow& row : pdftools::listFonts(out))
        if (!before.contains(row.name))
            QVERIFY2(!row.name.contains(QLatin1String("Sans")) && !row.name.contains(QLatin1String("Mono")),
                     qPrintable(row.name));
    const QList<double> was = mupdfSizesBetween(source, height - place.bottom(), height - place.top());
    const QList<double> now = mupdfSizesBetween(out, height - place.bottom(), height - place.top());
    QVERIFY(!was.isEmpty() && !now.isEmpty());
    const auto [least, most] = std::minmax_element(was.begin(), was.end());
    for (const double size : now)
        QVERIFY2(size >= 0.98 * *least && size <= 1.02 * *most,
                 qPrintable(QStringLiteral("%1 pt, the line %2..%3 pt").arg(size).arg(*least).arg(*most)));
    const QStringList poppler = pdftools::words(out, 0);
    const QStringList mupdf = pdftools::mupdfText(out, 0).simplified().split(QLatin1Char(' '));
    for (const QString& typed : by.split(QLatin1Char(' ')))
        QVERIFY2(poppler.contains(typed) && mupdf.contains(typed), qPrintable(typed));
}
