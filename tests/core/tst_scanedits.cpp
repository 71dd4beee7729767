// A clerk's road on scans of a manual page turned 0, 0.5 and 1.5 degrees
// (tests/data/make-turned-scans.sh): recognised, one word corrected, saved,
// and read back from outside. The correction is made right after recognition
// and again after the recognised page was saved and opened anew (its
// searchable layer read as the page's own text).
#include "tst_scanedits.h"

void TestScanEdits::initTestCase()
{
    QImageReader::setAllocationLimit(512);  // megabytes: a whole page rendered at 600 dpi
    QVERIFY(pdftools::installed(QStringLiteral("pdftotext")) && pdftools::installed(QStringLiteral("pdftoppm")));
    QVERIFY2(m_engine.init(QStringLiteral("rus+eng")), qPrintable(m_engine.lastError()));
    for (const QString& turn : {QStringLiteral("0"), QStringLiteral("0.5"), QStringLiteral("1.0"), QStringLiteral("1.5")}) {
        PdfDocument doc;
        QVERIFY(doc.open(scan(turn)));
        const QSizeF size = doc.pageSize(0);
        const double zoom = pageOcrZoom(size.width(), 0);
        m_recognised[turn] = m_engine.recognizePage(doc.renderPage(0, zoom, 0), 0, zoom, size.height());
        QVERIFY(!m_recognised[turn].empty());
    }
}

QString TestScanEdits::savedLayer(const QString& turn)
{
    const QString out = path(QStringLiteral("layer-%1.pdf").arg(turn));
    PdfDocument doc;
    if (!doc.open(scan(turn)) || !doc.overlayOcrText(0, m_recognised.at(turn), false) || !doc.saveCopy(out))
        return {};
    return out;
}

QString TestScanEdits::wordBoxLayer(const QString& turn)
{
    std::vector<TextBlock> blocks = m_recognised.at(turn);
    for (TextBlock& block : blocks)
        for (TextBlock::Line& line : block.lines) {
            line.turn = 0;
            line.baselineLift = -1;
        }
    const QString out = path(QStringLiteral("boxes-%1.pdf").arg(turn));
    PdfDocument doc;
    if (!doc.open(scan(turn)) || !doc.overlayOcrText(0, blocks, false) || !doc.saveCopy(out))
        return {};
    return out;
}

void TestScanEdits::oneCorrectedWordTouchesOnlyItsLine_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<bool>("reopened");
    QTest::addColumn<bool>("wordBoxes");  // the page's layer has each word stretched over its box
    for (const char* turn : {"0", "0.5", "1.5"}) {
        QTest::addRow("%s°, just recognised", turn) << QString::fromLatin1(turn) << false << false;
        QTest::addRow("%s°, saved and opened again", turn) << QString::fromLatin1(turn) << true << false;
        QTest::addRow("%s°, a layer of word boxes opened", turn) << QString::fromLatin1(turn) << true << true;
    }
}

// "трёх" read where "трех" is meant: after the correction the page reads every
// other word once, looks the same outside the line's own turned box, and the
// line stands on its baseline at its width and recognised size.
void TestScanEdits::oneCorrectedWordTouchesOnlyItsLine()
{
    QFETCH(QString, turn);
    QFETCH(bool, reopened);
    QFETCH(bool, wordBoxes);
    const QString word = QStringLiteral("трёх"), corrected = QStringLiteral("трех");
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    const Found at = lineWith(recognised, word);
    QVERIFY2(at.block >= 0, "the line is not recognised");
    const TextBlock::Line old = recognised[size_t(at.block)].lines[size_t(at.line)];
    QString correctedLine = old.text;
    correctedLine.replace(word, corrected);

    const QString source = wordBoxes ? wordBoxLayer(turn) : reopened ? savedLayer(turn) : scan(turn);
    QVERIFY(!source.isEmpty());
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks;
    if (reopened) {
        // The window's road: the page's own layer as blocks, one per line.
        blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
        const auto line = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return b.text.simplified() == old.text.simplified();
        });
        QVERIFY2(line != blocks.end(), qPrintable(old.text));
        QVERIFY2(std::abs(line->rotation - old.turn) < 0.15, qPrintable(QString::number(line->rotation)));  // in its own frame
        line->text = correctedLine;
        line->lines.front().text = correctedLine;
        line->lines.front().words.clear();
        line->lines.front().spans.clear();
        line->textEdited = true;
    } else {
        blocks = recognised;
        correct(blocks[size_t(at.block)], at.line, word, corrected);
    }
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("corrected-%1-%2.pdf").arg(turn).arg(reopened));
    QVERIFY(doc.saveCopy(out));

    // Every other word once: no neighbour's word left the layer, none doubled.
    QStringList expected;
    for (const TextBlock& b : recognised)
        for (const TextBlock::Line& l : b.lines)
            expected << wordsOf(&l == &recognised[size_t(at.block)].lines[size_t(at.line)] ? correctedLine : l.text);
    const QMap<QString, int> want = wordCounts(expected);
    const QMap<QString, int> got = wordCounts(pdftools::words(out, 0));
    for (auto it = want.begin(); it != want.end(); ++it)
        QVERIFY2(got.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(it.key()).arg(got.value(it.key())).arg(it.value())));

    // Outside the line's own turned box (and the white-out's growth) the
    // scan's pixels stay.
    const double height = doc.pageSize(0).height();
    const TurnedBox line(old.originalRect, old.turn);
    const QImage before = pdftools::renderPage(scan(turn), 0, kDpi);
    const QImage after = pdftools::renderPage(out, 0, kDpi);
    const double share = changedShareOutside(before, after, height, line.grown(2.0));
    QVERIFY2(share <= 0.0002, qPrintable(QString::number(share)));

    // On the old baseline, at the old width.
    const InkLine was = measureInk(before, height, line);
    const InkLine is = measureInk(after, height, line);
    QVERIFY(was.found && is.found);
    QVERIFY2(std::abs(is.baseline - was.baseline) <= 1.0,
             qPrintable(QStringLiteral("baseline %1 -> %2").arg(was.baseline).arg(is.baseline)));
    const double width = was.right - was.left;
    QVERIFY2(std::abs((is.right - is.left) - width) <= 0.02 * width,
             qPrintable(QStringLiteral("width %1 -> %2").arg(width).arg(is.right - is.left)));

    // At the recognised size, read back as the line it is: the corrected word
    // drawn, the others the searchable layer over their own pixels.
    PdfDocument reread;
    QVERIFY(reread.open(out));
    const std::vector<TextBlock> read = reread.extractText(0);
    const auto rewritten = std::find_if(read.begin(), read.end(), [&](const TextBlock& b) {
        return b.text.contains(corrected);
    });
    QVERIFY(rewritten != read.end());
    QCOMPARE(rewritten->text.simplified(), correctedLine.simplified());
    QVERIFY2(std::abs(rewritten->fontSize - old.fontSize) <= 0.5,
             qPrintable(QStringLiteral("%1 pt, recognised %2 pt").arg(rewritten->fontSize).arg(old.fontSize)));
    QVERIFY(!reread.findText(0, correctedLine.section(QLatin1Char(' '), 0, 2)).isEmpty());
}

void TestScanEdits::patchOverANeighbourIsRefused_data()
{
    QTest::addColumn<QString>("turn");
    QTest::newRow("0°") << "0";
    QTest::newRow("0.5°") << "0.5";
    QTest::newRow("1.5°") << "1.5";
}

// A corrected line whose old place is claimed a line too tall would white out
// the line above it: the write is refused with its reason, and the page stays.
void TestScanEdits::patchOverANeighbourIsRefused()
{
    QFETCH(QString, turn);
    std::vector<TextBlock> blocks = m_recognised.at(turn);
    const Found at = lineWith(blocks, QStringLiteral("трёх"));
    QVERIFY(at.block >= 0 && at.line > 0);
    TextBlock& block = blocks[size_t(at.block)];
    TextBlock::Line& line = block.lines[size_t(at.line)];
    const double pitch = block.lines[size_t(at.line - 1)].rect.center().y() - line.rect.center().y();
    line.originalRect.setHeight(line.originalRect.height() + pitch);
    line.rect = line.originalRect;
    correct(block, at.line, QStringLiteral("трёх"), QStringLiteral("трех"));

    PdfDocument doc;
    QVERIFY(doc.open(scan(turn)));
    const QImage before = doc.renderPage(0, 1.0, 0);
    QVERIFY(!doc.overlayOcrText(0, blocks, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.renderPage(0, 1.0, 0), before);
    QVERIFY(doc.extractAllText(0).trimmed().isEmpty());
}

void TestScanEdits::recognisedLinesKeepTheirWordSpaces_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<bool>("wordBoxes");  // each word fitted to its box, as earlier layers (and other tools) stand
    QTest::newRow("0.5°") << "0.5" << false;
    QTest::newRow("1.5°") << "1.5" << false;
    QTest::newRow("0.5°, words fitted to their boxes") << "0.5" << true;
    QTest::newRow("1.5°, words fitted to their boxes") << "1.5" << true;
}

// The searchable layer of a turned scan, opened again, reads each recognised
// line with its word spaces, and the search finds words across them.
void TestScanEdits::recognisedLinesKeepTheirWordSpaces()
{
    QFETCH(QString, turn);
    QFETCH(bool, wordBoxes);
    const QString saved = wordBoxes ? wordBoxLayer(turn) : savedLayer(turn);
    QVERIFY(!saved.isEmpty());
    PdfDocument doc;
    QVERIFY(doc.open(saved));
    QStringList read;
    for (const TextBlock& block : doc.extractText(0))
        read << block.text.simplified();
    int pairs = 0;
    for (const TextBlock& block : m_recognised.at(turn))
        for (const TextBlock::Line& line : block.lines) {
            const QStringList words = wordsOf(line.text);
            for (qsizetype i = 1; i < words.size(); ++i) {
                if (words[i - 1].size() < 2 || words[i].size() < 2)
                    continue;  // a stray mark may go to the line above
                const QString pair = words[i - 1] + QLatin1Char(' ') + words[i];
                QVERIFY2(std::any_of(read.begin(), read.end(), [&](const QString& r) { return r.contains(pair); }),
                         qPrintable(pair));
                if (!pair.endsWith(QLatin1Char('-')))  // the search joins a word broken at the line's end
                    QVERIFY2(!doc.findText(0, pair).isEmpty(), qPrintable(pair));
                ++pairs;
            }
        }
    QVERIFY(pairs > 50);
}

void TestScanEdits::layerWordsStayApart_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<double>("stretch");  // of the first word's box over its text
    QTest::addColumn<double>("gap");      // points between the words' boxes
    QTest::addColumn<double>("step");     // points the second word stands higher
    QTest::addColumn<QString>("read");
    QTest::addColumn<double>("lift");     // of the baseline over the line's foot as recognised; -1 unknown
    const QStringList pair{QStringLiteral("можно"), QStringLiteral("скачать")};
    const QString apart = QStringLiteral("можно скачать");
    QTest::newRow("a narrow gap") << pair << 1.0 << 1.5 << 0.0 << apart << -1.0;
    QTest::newRow("a stretched word") << pair << 3.0 << 3.0 << 0.0 << apart << -1.0;
    QTest::newRow("a wide stretch") << pair << 5.0 << 4.0 << 0.0 << apart << -1.0;
    QTest::newRow("a step down a turned line") << pair << 2.0 << 2.5 << -1.2 << apart << -1.0;
    QTest::newRow("one word in two pieces") << QStringList{QStringLiteral("мож"), QStringLiteral("но")} << 1.0
                                            << 0.2 << 0.0 << QStringLiteral("можно") << -1.0;
    // Recognised boxes of a one-letter word and its neighbour may touch.
    const QStringList digit{QStringLiteral("от"), QStringLiteral("6")};
    QTest::newRow("a digit at the next word's box") << digit << 1.0 << 0.3 << 0.0 << QStringLiteral("от 6") << -1.0;
    QTest::newRow("a digit at the next word's box, on its baseline")
        << digit << 1.0 << 0.3 << 0.0 << QStringLiteral("от 6") << 2.0;
    QTest::newRow("a letter touching the word before, on its baseline")
        << QStringList{QStringLiteral("работы"), QStringLiteral("с")} << 1.0 << 0.0 << 0.0 << QStringLiteral("работы с")
        << 2.0;
    QTest::newRow("boxes overlapping a little") << QStringList{QStringLiteral("входе"), QStringLiteral("в")} << 1.1
                                                << -0.5 << 0.0 << QStringLiteral("входе в") << 2.0;
    QTest::newRow("one word in two pieces, on its baseline")
        << QStringList{QStringLiteral("мож"), QStringLiteral("но")} << 1.0 << 0.2 << 0.0 << QStringLiteral("можно") << 2.0;
}

// Another tool's layer (or an earlier one of this program) writes each word
// fitted to its box: read back, the words stay apart wherever their boxes
// are a word gap apart along the line, and an edit of the line keeps them.
void TestScanEdits::layerWordsStayApart()
{
    QFETCH(QStringList, words);
    QFETCH(double, stretch);
    QFETCH(double, gap);
    QFETCH(double, step);
    QFETCH(QString, read);
    QFETCH(double, lift);
    const QString file = path(QStringLiteral("words.pdf"));
    {
        PdfDocument doc;
        QImage paper(600, 300, QImage::Format_RGB32);
        paper.fill(Qt::white);
        QVERIFY(doc.createEmpty() && doc.appendRenderedPage(paper, QSizeF(600, 300)));
        TextBlock block;
        TextBlock::Line line;
        line.text = block.text = read;  // the recognised text: a blank where the words part
        line.fontSize = 10;
        line.baselineLift = lift;
        const QRectF first(100, 150, 6 * words[0].size() * stretch, 10);
        const QRectF second(first.right() + gap, 150 + step, 6 * words[1].size(), 10);
        line.words = {{words[0], first, 90}, {words[1], second, 90}};
        line.rect = block.rect = block.originalRect = first.united(second);
        block.lines = {line};
        QVERIFY(doc.overlayOcrText(0, {block}, false) && doc.saveCopy(file));
    }
    // Other readers part the words as the recognised text does.
    QCOMPARE(pdftools::words(file, 0), wordsOf(read));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    std::vector<TextBlock> blocks = doc.extractText(0);
    QCOMPARE(int(blocks.size()), 1);
    QCOMPARE(blocks[0].text, read);
    if (!read.contains(QLatin1Char(' ')))
        return;
    // The line edited: what the user sees is what is written.
    const QString edited = read + QStringLiteral(" здесь");
    blocks[0].text = blocks[0].lines[0].text = edited;
    blocks[0].lines[0].spans.clear();
    blocks[0].textEdited = true;
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    QVERIFY(!doc.findText(0, edited).isEmpty());
    const QString out = path(QStringLiteral("words-edited.pdf"));
    QVERIFY(doc.saveCopy(out));
    QCOMPARE(pdftools::words(out, 0), wordsOf(edited));
}

// A page nobody here wrote, scanned: its print at 300 dpi, speckled, comes in
// as the scanner's frame at the size a picture without a recorded resolution
// gets. Recognised boxes of a digit and the word before it nearly touch; the
// written layer reads in pdftotext with the blank between every two words of
// a recognised line.
void TestScanEdits::scannedLayerPartsItsWordsForOtherReaders()
{
    PdfDocument source;
    QVERIFY(source.open(fixtures::realPdf(QStringLiteral("passwd-scan.pdf"))));
    const QSizeF size = source.pageSize(0);
    PdfDocument doc;
    QVERIFY(doc.createEmpty());
    QVERIFY(doc.appendRenderedPage(
        source.renderPage(0, 300.0 / 72.0, 0).convertToFormat(QImage::Format_Grayscale8), size));
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> blocks = m_engine.recognizePage(doc.renderPage(0, zoom, 0), 0, zoom, size.height());
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QString out = path(QStringLiteral("passwd-layer.pdf"));
    QVERIFY(doc.saveCopy(out));
    // As its text comes out: pdftotext parts words there by their distance.
    const pdftools::Result text = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    QCOMPARE(text.exitCode, 0);
    const QString read = QLatin1Char(' ') + text.out.simplified() + QLatin1Char(' ');
    QStringList joined;
    int pairs = 0;
    for (const TextBlock& block : blocks)
        for (const TextBlock::Line& line : block.lines) {
            const QStringList words = wordsOf(line.text);
            for (qsizetype i = 1; i < words.size(); ++i, ++pairs) {
                const QString pair = QLatin1Char(' ') + words[i - 1] + QLatin1Char(' ') + words[i] + QLatin1Char(' ');
                if (!read.contains(pair))
                    joined << pair.trimmed();
            }
        }
    QVERIFY(pairs > 60);
    QVERIFY2(joined.isEmpty(), qPrintable(joined.join(QStringLiteral("; "))));
}

void TestScanEdits::correctedScanLineReadsWordsApart_data()
{
    QTest::addColumn<double>("gap");       // points between the corrected word's box and the next one's
    QTest::addColumn<int>("atLine");       // which line is corrected: the first, or the next after its hyphen
    QTest::addColumn<int>("word");         // which word of it
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<bool>("reopened");    // the layer saved and opened again, corrected from it
    QTest::addColumn<QString>("read");     // as pdftotext reads the two lines
    // The size the window gives the corrected line read back, from its box
    // and its like lines' (larger than its layer's words are drawn at); 0: as read.
    QTest::addColumn<double>("boxSize");
    const QString apart = QStringLiteral("Правила изложены в разделе можно скорее, не позднее чем через год.");
    QTest::newRow("a one-letter word close after the corrected one") << 1.0 << 0 << 1 << "изложены" << false << apart << 0.0;
    QTest::newRow("the same, saved and opened again") << 1.0 << 0 << 1 << "изложены" << true << apart << 0.0;
    QTest::newRow("a wide gap") << 3.0 << 0 << 1 << "изложены" << false << apart << 0.0;
    const QString hyphen = QStringLiteral("Правила описаны в разделе быстро скорее, не позднее чем через год.");
    QTest::newRow("the word before a hyphen at the line's end") << 1.0 << 0 << 4 << "быстро" << false << hyphen << 0.0;
    QTest::newRow("the same, saved and opened again, hyphen") << 1.0 << 0 << 4 << "быстро" << true << hyphen << 0.0;
    // A reader starts another column at a line set larger than the one above it.
    const QString rest = QStringLiteral("Правила описаны в разделе можно скорее, не попозже чем через год.");
    QTest::newRow("opened again, the line after a hyphen sized by its box")
        << 1.0 << 1 << 2 << "попозже" << true << rest << 12.6;
    QTest::newRow("opened again, the hyphen's line sized by its box") << 1.0 << 0 << 4 << "быстро" << true << hyphen << 12.6;
}

// A recognised scan line corrected: each word of its layer keeps its own
// box and the blank after it, so pdftotext reads the new word apart from an
// untouched one however close their boxes stand, and a word broken at the
// line's end still joins its rest on the next line.
void TestScanEdits::correctedScanLineReadsWordsApart()
{
    QFETCH(double, gap);
    QFETCH(int, atLine);
    QFETCH(int, word);
    QFETCH(QString, corrected);
    QFETCH(bool, reopened);
    QFETCH(QString, read);
    QFETCH(double, boxSize);
    PdfDocument doc;
    QImage paper(600, 300, QImage::Format_RGB32);
    paper.fill(Qt::white);
    QVERIFY(doc.createEmpty() && doc.appendRenderedPage(paper, QSizeF(600, 300)));
    const QList<QStringList> texts{
        wordsOf(QStringLiteral("Правила описаны в разделе можно ско-")),
        wordsOf(QStringLiteral("рее, не позднее чем через год."))};
    TextBlock block;
    QStringList lineTexts;
    for (int k = 0; k < int(texts.size()); ++k) {
        TextBlock::Line line;
        line.text = texts[k].join(QLatin1Char(' '));
        line.fontSize = 10;
        line.baselineLift = 2.0;
        double x = 100;
        for (const QString& w : texts[k]) {
            const QRectF box(x, 150 - 12 * k, 6 * w.size(), 10);
            line.words.push_back({w, box, 90});
            x = box.right() + (k == 0 && line.words.size() == 2 ? gap : 4.0);
        }
        line.rect = line.originalRect = line.words.front().rect.united(line.words.back().rect);
        line.originalText = line.text;
        line.originalWords = line.words;
        block.lines.push_back(line);
        lineTexts << line.text;
    }
    block.text = lineTexts.join(QLatin1Char('\n'));
    block.rect = block.originalRect = block.lines[0].rect.united(block.lines[1].rect);
    std::vector<TextBlock> blocks{block};
    if (reopened) {
        const QString layer = path(QStringLiteral("apart-layer.pdf"));
        QVERIFY(doc.overlayOcrText(0, blocks, false) && doc.saveCopy(layer) && doc.open(layer));
        blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
        const auto read = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return b.text.simplified() == lineTexts[atLine];
        });
        QVERIFY(read != blocks.end());
        if (boxSize > 0)
            read->lines.front().fontSize = read->fontSize = float(boxSize);
        fixtures::correctWord(*read, 0, word, corrected);
    } else {
        fixtures::correctWord(blocks.front(), size_t(atLine), word, corrected);
    }
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("apart.pdf"));
    QVERIFY(doc.saveCopy(out));
    const pdftools::Result text = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
    QCOMPARE(text.out.simplified(), read);
}

void TestScanEdits::removedWordsLeaveThePicture_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<QString>("edit");  // "deleted": a line emptied under a corrected one; "replaced": a word
    QTest::addColumn<bool>("reopened");
    QTest::addColumn<bool>("close");  // the line above recognised reaching down to a point short of it
    for (const char* turn : {"0.5", "1.5"}) {
        const QString t = QString::fromLatin1(turn);
        QTest::addRow("%s°, a line deleted under a corrected one", turn) << t << "deleted" << false << false;
        QTest::addRow("%s°, a line deleted close under a corrected one", turn) << t << "deleted" << false << true;
        QTest::addRow("%s°, a word replaced", turn) << t << "replaced" << false << false;
    }
    QTest::newRow("0.5°, saved and opened again, a line deleted") << "0.5" << "deleted" << true << false;
}

// What the user removed on a recognised scan is gone from the file, not only
// painted over: the picture pdfimages extracts has no ink left where the
// deleted line and the replaced word stood; elsewhere its pixels stay as
// they were, but for the JPEG blocks the removed areas touch; no earlier
// revision keeps the old picture. The kept words of the line above carry no
// ink of the deleted line, and pdftotext reads the corrected line's words
// apart.
void TestScanEdits::removedWordsLeaveThePicture()
{
    QFETCH(QString, turn);
    QFETCH(QString, edit);
    QFETCH(bool, reopened);
    QFETCH(bool, close);
    constexpr double kGrowth = 2.0;     // points: the white-out over a line's ink, and what it grows over
    constexpr double kJpegBlock = 8 * 72.0 / 300;  // one 8-pixel JPEG block at the scan's 300 dpi
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    const Found at = lineWith(recognised, QStringLiteral("трёх"));
    QVERIFY(at.block >= 0 && at.line > 0);
    std::vector<TextBlock> blocks = recognised;
    const TextBlock::Line old = recognised[size_t(at.block)].lines[size_t(at.line)];
    if (close) {
        // The white-out of the line above, and its kept words' pixels, reach into this line's ink.
        TextBlock::Line& up = blocks[size_t(at.block)].lines[size_t(at.line - 1)];
        up.originalRect.setTop(old.originalRect.bottom() + 1.0);
        up.rect = up.originalRect;
    }
    const TextBlock::Line above = blocks[size_t(at.block)].lines[size_t(at.line - 1)];
    const TurnedBox line(old.originalRect, old.turn);
    std::vector<TurnedBox> removed;  // where the picture must lose its ink
    QStringList correctedWords;      // the corrected line as pdftotext must read it
    const QString source = reopened ? savedLayer(turn) : scan(turn);
    QVERIFY(!source.isEmpty());
    if (edit == QStringLiteral("replaced")) {
        correct(blocks[size_t(at.block)], at.line, QStringLiteral("трёх"), QStringLiteral("пяти"));
        correctedWords = wordsOf(blocks[size_t(at.block)].lines[size_t(at.line)].text);
        removed.push_back(wordPlace(old, QStringLiteral("трёх")));
    } else if (!reopened) {
        TextBlock& block = blocks[size_t(at.block)];
        correct(block, at.line - 1, wordsOf(above.text).at(1), QStringLiteral("срок"));
        removed.push_back(wordPlace(above, wordsOf(above.text).at(1)));
        correctedWords = wordsOf(block.lines[size_t(at.line - 1)].text);
        block.lines[size_t(at.line)].text.clear();
        block.lines[size_t(at.line)].words.clear();
        QStringList texts;
        for (const TextBlock::Line& l : block.lines)
            texts << l.text;
        block.text = texts.join(QLatin1Char('\n'));
        removed.push_back(line);
    } else {
        // The window's road: the layer's line blocks; the line above corrected, the line deleted.
        PdfDocument layer;
        QVERIFY(layer.open(source));
        blocks = cleanedNativeTextBlocks(layer.extractText(0), {});
        const auto lineBlock = [&](const QString& text) {
            return std::find_if(blocks.begin(), blocks.end(),
                                [&](const TextBlock& b) { return b.text.simplified() == text.simplified(); });
        };
        auto up = lineBlock(above.text);
        QVERIFY(up != blocks.end());
        fixtures::correctWord(*up, 0, 1, QStringLiteral("срок"));
        removed.push_back(wordPlace(above, wordsOf(above.text).at(1)));
        correctedWords = wordsOf(up->lines.front().text);
        auto gone = lineBlock(old.text);
        QVERIFY(gone != blocks.end());
        TextBlock place;
        place.removed = place.textEdited = true;
        place.rect = place.originalRect = gone->originalRect;
        place.rotation = place.originalRotation = gone->originalRotation;
        blocks.erase(gone);
        blocks.push_back(place);
        removed.push_back(line);
    }
    const QString out = path(QStringLiteral("removed-%1-%2-%3-%4.pdf").arg(turn, edit).arg(reopened).arg(close));
    QString refusal;
    QVERIFY(writeOver(source, blocks, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    QCOMPARE(pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), out}).exitCode, 0);

    PdfDocument doc;
    QVERIFY(doc.open(out));
    const QSizeF page = doc.pageSize(0);
    const QImage was = pagePicture(scan(turn), path(QStringLiteral("was")));
    const QImage is = pagePicture(out, path(QStringLiteral("is")));
    QVERIFY(!was.isNull() && is.size() == was.size());
    // One scan picture: no copy of it stays beside the changed one.
    const QList<pdftools::ImageRow> images = pdftools::listImages(out);
    QCOMPARE(std::count_if(images.begin(), images.end(), [&](const pdftools::ImageRow& row) {
                 return row.width == was.width() && row.height == was.height();
             }), 1);
    for (const TurnedBox& area : removed) {
        const int before = darkPixelsIn(was, page, area.polygon()), after = darkPixelsIn(is, page, area.polygon());
        QVERIFY2(before > 100 && after <= before / 100,
                 qPrintable(QStringLiteral("dark pixels %1 -> %2").arg(before).arg(after)));
    }
    // Outside the removed areas (as far as their white-out reaches) only the
    // JPEG blocks they touch are coded again.
    const Changed changed = changedPixels(was, is, page, removed, kGrowth + kJpegBlock);
    qInfo("%s: %d pixels changed outside the removed areas within one JPEG block of them, %d beyond, of %d",
          QTest::currentDataTag(), changed.near, changed.beyond, was.width() * was.height());
    QCOMPARE(changed.beyond, 0);

    // The old picture's bytes are nowhere in the file: it was written anew.
    QVERIFY(pdftools::run(QStringLiteral("pdfimages"), {QStringLiteral("-j"), scan(turn), path(QStringLiteral("raw"))}).exitCode == 0);
    QFile raw(path(QStringLiteral("raw-000.jpg"))), saved(out);
    QVERIFY(raw.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
    const QByteArray jpeg = raw.readAll();
    QVERIFY(!saved.readAll().contains(jpeg.mid(jpeg.size() / 2, 256)));

    // On the page nothing of the deleted line shows, also not above its white-out.
    if (edit == QStringLiteral("deleted")) {
        // Its box and as far as its white-out reached, short of the line above.
        constexpr double kWhiteOut = 1.5;
        const QRectF reach(QPointF(old.originalRect.left(), old.originalRect.top() - kWhiteOut),
                           QPointF(old.originalRect.right(), std::min(old.originalRect.bottom() + kWhiteOut,
                                                                      above.originalRect.top() - kWhiteOut / 3)));
        const QImage render = pdftools::renderPage(out, 0, 300).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(darkPixelsIn(render, page, TurnedBox(reach, old.turn, old.originalRect.center()).polygon()), 0);
    }
    const QMap<QString, int> read = wordCounts(pdftools::words(out, 0));
    for (const QString& word : correctedWords)
        QVERIFY2(read.value(word) >= 1, qPrintable(word));
}

void TestScanEdits::legacyType3LineKeepsItsPixels_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("word");  // recognised, then corrected
    QTest::addColumn<QString>("corrected");
    // The LaTeX logo of the line is read "ВТЕХ".
    QTest::newRow("dvips bitmap faces, T2A") << "tex-t2a-bitmap.pdf" << "позволяет" << "разрешает";
    QTest::newRow("pdfTeX PK faces") << "pdftex-type3.pdf" << "register," << "ledger,";
}

// A born-digital page set in TeX's 8-bit bitmap faces, recognised and one
// word of a line corrected: the line's other words keep the page's own
// pixels (the TeX logo too, which the recogniser misreads), rather than
// being set again from the recogniser's reading in another face.
void TestScanEdits::legacyType3LineKeepsItsPixels()
{
    QFETCH(QString, file);
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    const QString source = fixtures::realPdf(file);
    PdfDocument page;
    QVERIFY(page.open(source));
    const QSizeF size = page.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    std::vector<TextBlock> blocks = m_engine.recognizePage(page.renderPage(0, zoom, 0), 0, zoom, size.height());
    TextBlock::Line old;
    for (TextBlock& block : blocks)
        for (size_t k = 0; k < block.lines.size() && old.text.isEmpty(); ++k)
            if (wordsOf(block.lines[k].text).contains(word)) {
                old = block.lines[k];
                fixtures::correctWord(block, k, wordsOf(old.text).indexOf(word), corrected);
            }
    QVERIFY2(!old.text.isEmpty(), qPrintable(word));
    const QString out = path(QStringLiteral("type3-") + file);
    QString refusal;
    QVERIFY(writeOver(source, blocks, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    // At the resolution the kept words are drawn at, so that two renderers part only at ink edges.
    const QString problem = keptWordsProblem(source, out, old, word, true, 600);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(pdftools::words(out, 0).contains(corrected));
}

QTEST_MAIN(TestScanEdits)
