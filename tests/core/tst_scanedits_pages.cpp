// Scan-edit tests over whole recognised pages and lines corrected again:
// every word kept, old ink covered, columns and kept words' pixels in place.
#include "tst_scanedits.h"

#include <tuple>

void TestScanEdits::wholeScannedPagesKeepEveryWord_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("page 2") << 1;
    QTest::newRow("page 3") << 2;
}

// A whole manual page scanned at 300 dpi and recognised as the document's
// recognition reads it: a clause repeats its words on every line it ends
// with ("раза в квартал."), and no such line loses them as a copy of the
// paragraph's other lines. Its layer, written and read back, holds every
// word recognised.
void TestScanEdits::wholeScannedPagesKeepEveryWord()
{
    QFETCH(int, page);
    const QString source = fixtures::realPdf(QStringLiteral("pdftex-manual.pdf"));
    PdfDocument manual;
    QVERIFY(manual.open(source));
    const QSizeF size = manual.pageSize(page);
    PdfDocument scanned;
    QVERIFY(scanned.createEmpty());
    QVERIFY(scanned.appendRenderedPage(
        manual.renderPage(page, 300.0 / 72.0, 0).convertToFormat(QImage::Format_Grayscale8), size));
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> blocks = m_engine.recognizePage(scanned.renderPage(0, zoom, 0), 0, zoom, size.height());
    QStringList read;
    for (const TextBlock& block : blocks)
        read << wordsOf(block.text.simplified());
    const QMap<QString, int> printed = wordCounts(pdftools::words(source, page));
    const QMap<QString, int> recognised = wordCounts(read);
    for (const QString& word : {QStringLiteral("квартал."), QStringLiteral("указанных"), QStringLiteral("Поставщик")}) {
        QVERIFY(printed.value(word) > 1);
        QVERIFY2(recognised.value(word) == printed.value(word),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(word).arg(recognised.value(word)).arg(printed.value(word))));
    }

    QVERIFY(scanned.overlayOcrText(0, blocks, false));
    const QString out = path(QStringLiteral("whole-%1.pdf").arg(page));
    QVERIFY(scanned.saveCopy(out));
    QCOMPARE(wordCounts(pdftools::words(out, 0)), recognised);
}

namespace {

// The two turned scans every reopened-layer test runs on.
void addTurnedScanRows()
{
    QTest::addColumn<QString>("turn");
    QTest::newRow("0.5°") << "0.5";
    QTest::newRow("1.5°") << "1.5";
}

} // namespace

void TestScanEdits::lineCorrectedTwiceKeepsItsOldInkCovered_data()
{
    addTurnedScanRows();
}

// Each long recognised line corrected (its first word loses its first
// letter, as a stray mark is taken off) and saved, then opened again with the
// page's layer read as its text and corrected once more: the second white-out
// is taken from the letters the first write drew, which may end short of the
// scan's ink the first white-out hid. None of that ink may show again.
void TestScanEdits::lineCorrectedTwiceKeepsItsOldInkCovered()
{
    QFETCH(QString, turn);
    const QImage scanRender = pdftools::renderPage(scan(turn), 0, kDpi);
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    int checked = 0;
    QStringList refused, shownAgain;  // lines not written (or not read back), lines showing old ink
    for (size_t b = 0; b < recognised.size(); ++b)
        for (size_t k = 0; k < recognised[b].lines.size(); ++k) {
            const QStringList words = wordsOf(recognised[b].lines[k].text);
            if (words.size() < 4 || words.front().size() < 3)
                continue;
            const QString once = path(QStringLiteral("o-%1-%2-%3.pdf").arg(turn).arg(b).arg(k));
            const QString twice = path(QStringLiteral("t-%1-%2-%3.pdf").arg(turn).arg(b).arg(k));
            PdfDocument doc;
            QString refusal;
            QVERIFY(correctTwice(scan(turn), recognised, b, k, 3, once, doc, &refusal));
            if (refusal.isEmpty() && !doc.saveCopy(twice))
                refusal = QStringLiteral("2: ") + words.join(' ') + QStringLiteral(": ") + doc.lastError();
            if (!refusal.isEmpty()) {
                refused << refusal;
                continue;
            }
            ++checked;
            const int shown = inkShownAgain(scanRender, pdftools::renderPage(once, 0, kDpi),
                                            pdftools::renderPage(twice, 0, kDpi));
            QVERIFY(shown >= 0);
            if (shown > 5)
                shownAgain << QStringLiteral("%1: %2 px").arg(words.join(' ')).arg(shown);
        }
    QVERIFY2(checked >= 8, qPrintable(refused.join(QLatin1Char('\n'))));
    QVERIFY2(shownAgain.isEmpty(), qPrintable(shownAgain.join(QLatin1Char('\n'))));
}

void TestScanEdits::everyLineOfAReopenedLayerIsCorrected_data()
{
    addTurnedScanRows();
}

// The recognised page saved and opened again, its layer read as the page's
// text: each line reads at the scan's turn (a mark of the line below that
// stands under a line's start is no part of it), and a correction of its
// first word is written, not refused as reaching another line.
void TestScanEdits::everyLineOfAReopenedLayerIsCorrected()
{
    QFETCH(QString, turn);
    const QString source = savedLayer(turn);
    QVERIFY(!source.isEmpty());
    QStringList refused;
    int corrected = 0;
    for (size_t at = 0;; ++at) {
        PdfDocument doc;
        QVERIFY(doc.open(source));
        std::vector<TextBlock> blocks = cleanedNativeTextBlocks(doc.extractText(0), {});
        if (at >= blocks.size())
            break;
        TextBlock& block = blocks[at];
        const QStringList words = wordsOf(block.lines.front().text);
        if (block.lines.size() != 1 || words.size() < 4 || words.front().size() < 3)
            continue;
        QVERIFY2(std::abs(block.rotation - turn.toDouble()) < 0.15,
                 qPrintable(QStringLiteral("%1: %2°").arg(words.join(' ')).arg(block.rotation)));
        fixtures::correctWord(block, 0, 0, words.front().mid(1));
        if (!doc.overlayOcrText(0, blocks, false))
            refused << words.join(' ') + QStringLiteral(": ") + doc.lastError();
        ++corrected;
    }
    QVERIFY(corrected >= 10);
    QVERIFY2(refused.isEmpty(), qPrintable(refused.join(QLatin1Char('\n'))));
}

void TestScanEdits::officePageCorrectedTwice_data()
{
    QTest::addColumn<QString>("source");  // a LibreOffice page, printed and laid turned on the scanner
    QTest::addColumn<double>("turn");
    QTest::newRow("letter, 1.5°") << "libreoffice-letter.pdf" << 1.5;
    QTest::newRow("letter, 0.5°") << "libreoffice-letter.pdf" << 0.5;
    QTest::newRow("justified page, 1.5°") << "libreoffice-justified.pdf" << 1.5;
}

// An office page printed at 300 dpi and scanned turned, recognised: each line
// of two words or more corrected (its first word loses its first letter) is
// written, and once saved and opened again, with the page's layer read as
// its text, corrected once more is written too. The lines of a paragraph
// left as they were keep their layer along their turned baselines, so none
// reads across its neighbour.
void TestScanEdits::officePageCorrectedTwice()
{
    QFETCH(QString, source);
    QFETCH(double, turn);
    const QString scanFile = path(QStringLiteral("office-scan.pdf"));
    QVERIFY(scanTurned(fixtures::realPdf(source), turn, scanFile));
    PdfDocument scan;
    QVERIFY(scan.open(scanFile));
    const QSizeF size = scan.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> recognised = m_engine.recognizePage(scan.renderPage(0, zoom, 0), 0, zoom, size.height());
    QStringList refused;
    int corrected = 0;
    for (size_t b = 0; b < recognised.size(); ++b)
        for (size_t k = 0; k < recognised[b].lines.size(); ++k) {
            const QStringList words = wordsOf(recognised[b].lines[k].text);
            if (words.size() < 2 || words.front().size() < 3)
                continue;
            PdfDocument doc;
            QString refusal;
            QVERIFY(correctTwice(scanFile, recognised, b, k, 2, path(QStringLiteral("office-once.pdf")), doc, &refusal));
            if (!refusal.isEmpty())
                refused << refusal;
            ++corrected;
        }
    QVERIFY(corrected >= 5);
    QVERIFY2(refused.isEmpty(), qPrintable(refused.join(QLatin1Char('\n'))));
}

void TestScanEdits::officeLinesKeepBaselineAndWidth_data()
{
    QTest::addColumn<double>("turn");
    QTest::addColumn<bool>("reopened");
    for (const double turn : {0.5, 1.5}) {
        QTest::addRow("letter, %g°, just recognised", turn) << turn << false;
        QTest::addRow("letter, %g°, saved and opened again", turn) << turn << true;
    }
}

// A long line of an office page scanned turned, one letter of a word
// corrected ("а" to "о", about as wide): the rewritten line stands on the
// scan's baseline and ends where the scan's line ended.
void TestScanEdits::officeLinesKeepBaselineAndWidth()
{
    QFETCH(double, turn);
    QFETCH(bool, reopened);
    const QString scanFile = path(QStringLiteral("office-scan-%1.pdf").arg(turn));
    QVERIFY(scanTurned(fixtures::realPdf(QStringLiteral("libreoffice-letter.pdf")), turn, scanFile));
    PdfDocument scanDoc;
    QVERIFY(scanDoc.open(scanFile));
    const QSizeF size = scanDoc.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    const std::vector<TextBlock> recognised =
        m_engine.recognizePage(scanDoc.renderPage(0, zoom, 0), 0, zoom, size.height());
    const QImage before = pdftools::renderPage(scanFile, 0, kDpi);
    int measured = 0;
    for (size_t b = 0; b < recognised.size() && measured < 3; ++b)
        for (size_t k = 0; k < recognised[b].lines.size() && measured < 3; ++k) {
            const TextBlock::Line& old = recognised[b].lines[k];
            const QStringList words = wordsOf(old.text);
            const qsizetype at = words.indexOf(QRegularExpression(QStringLiteral("^[а-яё]+а[а-яё]*$")));
            if (old.originalRect.width() < 0.4 * size.width() || at < 0)
                continue;
            QString fixed = words.at(at);
            fixed[fixed.indexOf(QChar(u'а'))] = QChar(u'о');
            std::vector<TextBlock> blocks = recognised;
            QString over = scanFile;
            if (reopened) {
                over = path(QStringLiteral("office-layer-%1.pdf").arg(turn));
                QString none;
                QVERIFY(writeOver(scanFile, recognised, over, &none) && none.isEmpty());
                PdfDocument layer;
                QVERIFY(layer.open(over));
                blocks = cleanedNativeTextBlocks(layer.extractText(0), {});
                bool found = false;
                for (TextBlock& block : blocks)
                    for (size_t j = 0; j < block.lines.size() && !found; ++j)
                        if (block.lines[j].text.simplified() == old.text.simplified()) {
                            fixtures::correctWord(block, j, at, fixed);
                            found = true;
                        }
                QVERIFY2(found, qPrintable(old.text));
            } else {
                fixtures::correctWord(blocks[b], k, at, fixed);
            }
            const QString out = path(QStringLiteral("office-line-%1-%2.pdf").arg(turn).arg(measured));
            QString refusal;
            QVERIFY(writeOver(over, blocks, out, &refusal));
            QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
            const TurnedBox line(old.originalRect, old.turn);
            const InkLine was = measureInk(before, size.height(), line);
            const InkLine is = measureInk(pdftools::renderPage(out, 0, kDpi), size.height(), line);
            QVERIFY(was.found && is.found);
            const QString where = old.text.left(30);
            QVERIFY2(std::abs(is.baseline - was.baseline) <= 1.0,
                     qPrintable(QStringLiteral("%1: baseline %2 -> %3").arg(where).arg(was.baseline).arg(is.baseline)));
            const double width = was.right - was.left;
            QVERIFY2(std::abs((is.right - is.left) - width) <= 0.02 * width,
                     qPrintable(QStringLiteral("%1: width %2 -> %3").arg(where).arg(width).arg(is.right - is.left)));
            ++measured;
        }
    QCOMPARE(measured, 3);
}

void TestScanEdits::correctedLineKeepsItsColumns_data()
{
    QTest::addColumn<QString>("word");       // recognised, then corrected
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<QStringList>("kept");   // words that keep their x
    QTest::newRow("chapter title after a wide gap corrected")
        << "положения" << "правила" << QStringList{QStringLiteral("1.")};
    QTest::newRow("chapter number before a wide gap corrected")
        << "1." << "3." << QStringList{QStringLiteral("Общие"), QStringLiteral("положения")};
    QTest::newRow("two columns, the first corrected")
        << "ввод" << "ответ" << QStringList{QStringLiteral("Действительный"), QStringLiteral("Переводимое")};
    QTest::newRow("two columns, the second corrected")
        << "значение" << "слово" << QStringList{QStringLiteral("Действительный"), QStringLiteral("Переводимое")};
    QTest::newRow("two columns, a word typed into the first")
        << "ввод" << "ввод ответа" << QStringList{QStringLiteral("Действительный"), QStringLiteral("Переводимое")};
}

// The sections page printed at 300 dpi and scanned straight, recognised, one
// word of a line corrected: where a gap much wider than a blank parts the
// line (a chapter number and its title, two columns at a tab), each column
// still starts where the page printed it, read back by pdftotext.
void TestScanEdits::correctedLineKeepsItsColumns()
{
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    QFETCH(QStringList, kept);
    const QString source = fixtures::realPdf(QStringLiteral("libreoffice-sections.pdf"));
    const QString scanFile = path(QStringLiteral("sections-scan.pdf"));
    QVERIFY(scanTurned(source, 0, scanFile));
    PdfDocument scanDoc;
    QVERIFY(scanDoc.open(scanFile));
    const QSizeF size = scanDoc.pageSize(0);
    const double zoom = pageOcrZoom(size.width(), 0);
    std::vector<TextBlock> blocks = m_engine.recognizePage(scanDoc.renderPage(0, zoom, 0), 0, zoom, size.height());
    bool found = false;
    QStringList read;
    for (TextBlock& block : blocks)
        for (size_t k = 0; k < block.lines.size() && !found; ++k) {
            const QStringList words = wordsOf(block.lines[k].text);
            read << block.lines[k].text;
            if (words.contains(word) && words.contains(kept.back())) {
                fixtures::correctWord(block, k, words.indexOf(word), corrected);
                found = true;
            }
        }
    QVERIFY2(found, qPrintable(read.join(QStringLiteral(" | "))));
    const QString out = path(QStringLiteral("sections-corrected.pdf"));
    QString refusal;
    QVERIFY(writeOver(scanFile, blocks, out, &refusal));
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));

    const auto leftOf = [](const QList<pdftools::WordBox>& boxes, const QString& text) {
        const auto at = std::find_if(boxes.begin(), boxes.end(), [&](const pdftools::WordBox& b) { return b.text == text; });
        return at == boxes.end() ? -1.0 : at->box.left();
    };
    const QList<pdftools::WordBox> printed = pdftools::wordBoxes(source, 0);
    const QList<pdftools::WordBox> written = pdftools::wordBoxes(out, 0);
    QVERIFY(leftOf(written, corrected.section(QLatin1Char(' '), 0, 0)) >= 0);
    for (const QString& w : kept) {
        const double was = leftOf(printed, w), is = leftOf(written, w);
        QVERIFY2(was >= 0 && std::abs(is - was) <= 1.0, qPrintable(QStringLiteral("%1: %2 -> %3").arg(w).arg(was).arg(is)));
    }
}

void TestScanEdits::correctedWordKeepsTheOtherWordsPixels_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<QString>("word");       // recognised, then corrected
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<bool>("reopened");  // the page saved with its layer and opened again, read from the layer
    QTest::addColumn<QString>("next");   // a word of a line below corrected too, or none
    QTest::addColumn<QString>("nextCorrected");
    QTest::newRow("straight, a longer word") << "0" << "указанных" << "изложенных" << false << QString() << QString();
    QTest::newRow("0.5°, a shorter word") << "0.5" << "указанных" << "данных" << false << QString() << QString();
    QTest::newRow("1.0°, a longer word") << "1.0" << "указанных" << "изложенных" << false << QString() << QString();
    QTest::newRow("1.0°, a word typed after it") << "1.0" << "указанных" << "указанных выше" << false << QString() << QString();
    QTest::newRow("1.5°, as long") << "1.5" << "трёх" << "двух" << false << QString() << QString();
    // The sections page turned 1.0°: a table's row, its second column left where it stood.
    QTest::newRow("sections 1.0°, a table's first column") << "sections" << "ввод" << "ответ" << false << QString() << QString();
    QTest::newRow("straight, saved and opened again") << "0" << "указанных" << "изложенных" << true << QString() << QString();
    QTest::newRow("1.0°, saved and opened again") << "1.0" << "указанных" << "данных" << true << QString() << QString();
    // A typed note: a one-letter word close after the word corrected, whose
    // recognised box stands off its letter on a turned scan.
    for (const char* turn : {"0.5", "1.0", "1.5"})
        QTest::addRow("typed note %s°, a one-letter word after a longer one", turn)
            << QStringLiteral("typed-%1").arg(QLatin1String(turn)) << "описаны" << "изложены" << false << QString() << QString();
    QTest::newRow("typed note 1.5°, saved and opened again") << "typed-1.5" << "описаны" << "изложены" << true << QString() << QString();
    // A whole upright page of the TeX Live guide, blurred: "Mac OS X" set
    // with thin spaces, which its layer's words reach across.
    QTest::newRow("guide 0°, words kept after thin spaces") << "guide-0" << "описаны" << "изложены" << false << QString() << QString();
    QTest::newRow("guide 0°, saved and opened again") << "guide-0" << "описаны" << "изложены" << true << QString() << QString();
    // Shorter: the words after it move left, the full stop past the last one's box too.
    QTest::newRow("guide 0°, a shorter word before a full stop") << "guide-0" << "описаны" << "даны" << false << QString() << QString();
    // The line below corrected too, a word typed before its first: the
    // lines' white-outs reach neither the line above nor each other's ink.
    QTest::newRow("guide 0°, two lines corrected") << "guide-0" << "описаны" << "изложены" << false << "Исходный"
                                                   << "Первичный исходный";
    QTest::newRow("guide 0°, two lines corrected, opened again")
        << "guide-0" << "описаны" << "изложены" << true << "Исходный" << "Первичный исходный";
}

// One word of a recognised scan line corrected: the line's other words keep
// the scan's own pixels (those after the word moved along the line, all by
// the same room), as pdftoppm and mupdf render them, and only the new text
// is drawn anew; every recognised word stays searchable, the new one too.
void TestScanEdits::correctedWordKeepsTheOtherWordsPixels()
{
    QFETCH(QString, turn);
    QFETCH(QString, word);
    QFETCH(QString, corrected);
    QFETCH(bool, reopened);
    QFETCH(QString, next);
    QFETCH(QString, nextCorrected);
    const bool sections = turn == QStringLiteral("sections");
    const QString scanned = sections ? fixtures::realPdf(QStringLiteral("sections-scan-turned-1.0.pdf")) : scan(turn);
    if (!m_recognised.count(turn)) {
        PdfDocument page;
        QVERIFY(page.open(scanned));
        const QSizeF size = page.pageSize(0);
        const double zoom = pageOcrZoom(size.width(), 0);
        m_recognised[turn] = m_engine.recognizePage(page.renderPage(0, zoom, 0), 0, zoom, size.height());
    }
    const std::vector<TextBlock>& recognised = m_recognised.at(turn);
    const auto holding = [&](const QString& w) {
        Found found = lineWith(recognised, w);
        for (int b = 0; found.block < 0 && b < int(recognised.size()); ++b)
            for (int k = 0; k < int(recognised[size_t(b)].lines.size()); ++k)
                if (wordsOf(recognised[size_t(b)].lines[size_t(k)].text).contains(w))
                    found = {b, k};
        return found;
    };
    // Each corrected line: where it was recognised, its word and what replaces it.
    std::vector<std::tuple<Found, QString, QString>> corrections{{holding(word), word, corrected}};
    if (!next.isEmpty())
        corrections.emplace_back(holding(next), next, nextCorrected);
    for (const auto& [found, from, to] : corrections)
        QVERIFY2(found.block >= 0, qPrintable(QStringLiteral("no line of %1 is recognised").arg(from)));
    const Found at = std::get<0>(corrections.front());
    const TextBlock::Line old = recognised[size_t(at.block)].lines[size_t(at.line)];
    std::vector<TextBlock> blocks = recognised;
    for (const auto& [found, from, to] : corrections)
        correct(blocks[size_t(found.block)], found.line, from, to);
    const QString source = reopened ? savedLayer(turn) : scanned;
    QVERIFY(!source.isEmpty());
    const QString out = path(QStringLiteral("pixels-%1-%2-%3.pdf").arg(turn, QString::number(qHash(corrected))).arg(reopened));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    // Each line corrected in turn and written, as the window writes each
    // edit: the first over the recognised blocks, unless the page was saved
    // with its layer and opened again; then, and for every later one, over
    // the page's own layer as blocks, one per line.
    for (size_t c = 0; c < corrections.size(); ++c) {
        const auto& [found, from, to] = corrections[c];
        std::vector<TextBlock> written = recognised;
        if (reopened || c > 0) {
            written = cleanedNativeTextBlocks(doc.extractText(0), {});
            const QString text = recognised[size_t(found.block)].lines[size_t(found.line)].text.simplified();
            const auto line = std::find_if(written.begin(), written.end(),
                                           [&](const TextBlock& b) { return b.text.simplified() == text; });
            QVERIFY2(line != written.end(), qPrintable(text));
            fixtures::correctWord(*line, 0, wordsOf(line->lines.front().text).indexOf(from), to);
        } else {
            correct(written[size_t(found.block)], found.line, from, to);
        }
        QVERIFY2(doc.overlayOcrText(0, written, false), qPrintable(doc.lastError()));
    }
    QVERIFY(doc.saveCopy(out));

    // Every recognised word searchable once, the corrected ones in their place.
    QStringList expected;
    for (const TextBlock& b : blocks)
        for (const TextBlock::Line& l : b.lines)
            expected << wordsOf(l.text);
    const QMap<QString, int> want = wordCounts(expected), got = wordCounts(pdftools::words(out, 0));
    for (auto it = want.begin(); it != want.end(); ++it)
        QVERIFY2(got.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1: %2 of %3").arg(it.key()).arg(got.value(it.key())).arg(it.value())));
    QVERIFY(pdftools::mupdfText(out, 0).contains(corrected));

    const QString problem = keptWordsProblem(scanned, out, old, word, !wordsOf(corrected).contains(word));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // Every line left as it stood keeps its ink, outside the corrected
    // lines' words (whose old pixels go or move): no white-out reaches it.
    std::vector<TurnedBox> rewritten;
    std::vector<const TextBlock::Line*> correctedLines;
    for (const auto& [found, from, to] : corrections) {
        const TextBlock::Line& line = recognised[size_t(found.block)].lines[size_t(found.line)];
        correctedLines.push_back(&line);
        for (const TextBlock::Line::Word& w : line.words)
            rewritten.push_back(TurnedBox(wordInLineFrame(line, w.rect), line.turn, line.rect.center()));
    }
    PdfDocument page;
    QVERIFY(page.open(scanned));
    const double height = page.pageSize(0).height();
    const QImage before = pdftools::renderPage(scanned, 0, kDpi), after = pdftools::renderPage(out, 0, kDpi);
    int lines = 0;
    for (const TextBlock& b : recognised)
        for (const TextBlock::Line& line : b.lines) {
            if (std::find(correctedLines.begin(), correctedLines.end(), &line) != correctedLines.end() ||
                line.text.trimmed().isEmpty())
                continue;
            const InkKept ink = inkKept(before, after, kDpi, height, TurnedBox(line.originalRect, line.turn), rewritten);
            QVERIFY2(ink.lost >= 0 && ink.lost <= std::max(2, ink.dark / 100),
                     qPrintable(QStringLiteral("\"%1\": %2 of %3 dark pixels gone").arg(line.text).arg(ink.lost).arg(ink.dark)));
            ++lines;
        }
    QVERIFY(lines > 0);
}

