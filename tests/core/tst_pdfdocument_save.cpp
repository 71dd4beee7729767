#include "tst_pdfdocument_save.h"

using namespace savetest;

void TestPdfDocumentSave::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(pdftools::installed(QStringLiteral("pdftotext")) && pdftools::installed(QStringLiteral("qpdf")),
             "poppler-utils and qpdf are needed to look at saved files");
}

void TestPdfDocumentSave::removedTextIsGoneFromTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("phrase");
    QTest::addColumn<QString>("replacement");  // empty: the block is deleted
    const QString words = QStringLiteral("Новые слова здесь");
    QTest::newRow("pdfTeX delete") << "pdftex-page.pdf" << "Questions from the floor" << QString();
    QTest::newRow("pdfTeX replace") << "pdftex-page.pdf" << "The archive received" << words;
    QTest::newRow("dvips Type 1 delete") << "tex-type1.pdf" << "Every affidavit" << QString();
    QTest::newRow("TeX Type 3 replace") << "tex-type3.pdf" << "The official staff" << words;
    QTest::newRow("distilled delete") << "gs-helvetica.pdf" << "All files were carried" << QString();
    QTest::newRow("standard font without widths") << "onetf-helvetica.pdf" << "Twelve members" << words;
    QTest::newRow("kerned TJ delete") << "onetf-helvetica.pdf" << "Waterford" << QString();
    QTest::newRow("groff object streams") << "groff-columns-objstm.pdf" << "Records Department" << QString();
    QTest::newRow("OCR layer") << "tesseract-ru.pdf" << "заключили настоящий" << words;
    // Justified columns: wide word gaps cut a line into pieces of its own.
    QTest::newRow("three columns, a piece of a line") << "libreoffice-three-columns.pdf" << "Стороны" << QString();
    QTest::newRow("three columns, a whole line") << "libreoffice-three-columns.pdf"
                                                 << "заказчика, которая проверяет объём и" << QString();
    // A line whose hyphenated first word pdfium reads as joined to the line above.
    QTest::newRow("groff, after a hyphen") << "groff-columns.pdf" << "mer months were quiet" << QString();
    QTest::newRow("turned groff page, after a hyphen") << "groff-columns-rot90.pdf" << "mer months were quiet"
                                                       << QString();
    // Content that leaves the drawing position moved, and a q left open after the move.
    QTest::newRow("pdfTeX, origin left moved, replace") << "pdftex-moved-origin.pdf" << "The archive received" << words;
    QTest::newRow("pdfTeX, origin left moved, delete") << "pdftex-moved-origin.pdf" << "Questions from the floor"
                                                       << QString();
    QTest::newRow("pdfTeX, contents, origin left moved") << "pdftex-manual-moved-origin.pdf"
                                                        << "Раздел 1: приёмка" << words;
    QTest::newRow("pdfTeX, a q left open after the move") << "pdftex-unclosed-q.pdf" << "The archive received"
                                                          << words;
    // A raised, smaller footnote mark the page reads as part of its word,
    // readers as a word of its own: a word replaced elsewhere in the line
    // leaves it raised and apart.
    QTest::newRow("distilled footnote mark before its word")
        << "gs-footnote.pdf" << "committee approved" << "1The committee approved the list without changes.";
    QTest::newRow("distilled footnote mark after a word")
        << "gs-footnote.pdf" << "Staff counted" << "Staff counted the boxes2 The boxes were carried over.";
    QTest::newRow("XeTeX footnote") << "xetex-footnote.pdf" << "committee approved"
                                    << "1The committee approved the list.";
    // Words drawn with kerns inside them: an underscore TeX draws as a rule, a TeX logo.
    QTest::newRow("pdfTeX, underscore drawn as a rule, delete") << "pdftex-underscore.pdf" << "x86_64-linux" << QString();
    QTest::newRow("pdfTeX guide, underscore glyph below the line, delete") << "texlive-ru-tree.pdf" << "x86_64-linux"
                                                                          << QString();
    QTest::newRow("TeX logo, delete") << "tex-t2a-names.pdf" << "Система" << QString();
    // groff through ghostscript: a raised footnote mark in the line below reaches
    // up into the edited line's box; the untouched "seven" stays one word.
    QTest::newRow("groff, a word replaced above a footnote mark")
        << "groff-footnote.pdf" << "Letters kept for seven"
        << "Letters kept for seven years go to the store in one box each, with a label that names the office and its";
}

// A deleted or replaced block: no reader finds its old words, every other
// word stays once, the page looks the same outside the block, and the old
// content stream is nowhere in the file, not even as an earlier revision.
void TestPdfDocumentSave::removedTextIsGoneFromTheFile()
{
    QFETCH(QString, file);
    QFETCH(QString, phrase);
    QFETCH(QString, replacement);
    const QString source = fixtures::realPdf(file);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    QVERIFY2(rewriteBlock(blocks, phrase, replacement, &old), qPrintable(phrase));
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("removed-") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".pdf");
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

    QMap<QString, int> expected = wordCounts(pdftools::words(source, 0));
    // A deleted line's words as poppler reads them where it stood (a rule or
    // a raised letter parts them otherwise than the page's text layer does).
    QStringList oldWords = old.text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (replacement.isEmpty()) {
        oldWords.clear();
        const double pageHeight = pdftools::pageSizes(source).value(0).height();
        const QRectF place = TurnedBox(old.originalRect, old.originalRotation).bounds();
        for (const pdftools::WordBox& word : pdftools::wordBoxes(source, 0))
            if (place.contains(QPointF(word.box.center().x(), pageHeight - word.box.center().y())))
                oldWords << word.text;
    }
    for (const QString& w : oldWords)
        --expected[w];
    for (const QString& w : replacement.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        ++expected[w];
    const QMap<QString, int> got = wordCounts(pdftools::words(out, 0));
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(got.value(it.key()) == std::max(0, it.value()),
                 qPrintable(QStringLiteral("%1: %2 expected, %3 found").arg(it.key()).arg(it.value()).arg(got.value(it.key()))));

    // mupdf reads the new words too, and every reader finds the pages.
    const QString mupdf = pdftools::mupdfText(out, 0).simplified();
    for (const QString& w : replacement.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        QVERIFY2(mupdf.contains(w), qPrintable(w + QStringLiteral(" not in: ") + mupdf));
    const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(out);
    const int pages = doc.pageCount();
    QVERIFY(counts.qpdf == pages && counts.poppler == pages && counts.mupdf == pages);

    const QByteArray saved = fixtures::readFile(out);
    for (const QByteArray& raw : rawContents(source, 0))
        QVERIFY2(!saved.contains(raw), "the old content stream is still in the file");
    QVERIFY(qpdfClean(out));
    QVERIFY(objectStreams(out) >= objectStreams(source));

    const double height = doc.pageSize(0).height();
    if (replacement.isEmpty() && old.originalRotation == 0) {
        // No glyph of a deleted line, nor a rule drawn in it, stays for poppler, mupdf or pdfium.
        for (const QImage& render : {pdftools::renderPage(out, 0, 150), pdftools::mupdfRenderPage(out, 0, 150)})
            QCOMPARE(inkInside(render, old.lines.front().glyphBoxes, height, 150), 0);
        for (const TextBlock& block : doc.extractText(0))
            QVERIFY2(!old.originalRect.contains(block.rect.center()), qPrintable(block.text));
    }
    const QRectF box = TurnedBox(old.originalRect, old.originalRotation).bounds().adjusted(-1.5, -1.5, 1.5, 1.5);
    // The words of other lines that reach into the edited box keep every pixel.
    const QImage sourceRender = pdftools::renderPage(source, 0, 150), savedRender = pdftools::renderPage(out, 0, 150);
    const QRectF shownBox(box.x(), height - box.bottom(), box.width(), box.height());
    for (const pdftools::WordBox& word : pdftools::wordBoxes(source, 0))
        if (!shownBox.contains(word.box.center()) && shownBox.intersects(word.box))
            QVERIFY2(changedPixelsInside(sourceRender, savedRender, word.box, 150) <= 2, qPrintable(word.text));
    const double poppler = changedShareOutside(pdftools::renderPage(source, 0, 150), pdftools::renderPage(out, 0, 150),
                                               box, height, 150);
    QVERIFY2(poppler <= 0.0002, qPrintable(QString::number(poppler)));
    PdfDocument original;
    QVERIFY(original.open(source));
    const double scale = 150 / 72.0;
    const double own = changedShareOutside(original.renderPage(0, scale, 0), doc.renderPage(0, scale, 0), box, height, 150);
    QVERIFY2(own <= 0.0002, qPrintable(QString::number(own)));
}

void TestPdfDocumentSave::saveWithoutChangeWritesNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("object streams") << "groff-columns-objstm.pdf";
    QTest::newRow("pdfTeX") << "pdftex-page.pdf";
    QTest::newRow("cross-reference table") << "gs-helvetica.pdf";
}

// Ctrl+S with no edit leaves the file as it is, untouched; "Сохранить как"
// writes the same bytes.
void TestPdfDocumentSave::saveWithoutChangeWritesNothing()
{
    QFETCH(QString, file);
    const QString target = path(QStringLiteral("unchanged-") + file);
    const QByteArray bytes = fixtures::readFile(fixtures::realPdf(file));
    QVERIFY(fixtures::writeFile(target, bytes));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &before), 0);
    PdfDocument doc;
    QVERIFY(doc.open(target));
    doc.renderPage(0, 0.5, 0);  // what viewing loads does not count as a change
    QVERIFY(doc.save(target));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);  // not replaced
    QCOMPARE(fixtures::readFile(target), bytes);
    const QString copy = path(QStringLiteral("copy-") + file);
    QVERIFY(doc.saveAs(copy));
    QCOMPARE(fixtures::readFile(copy), bytes);
}

// Text added to a page is appended: every byte of the file stays, and the
// file grows by the new objects and one font subset.
void TestPdfDocumentSave::addedTextIsAppended()
{
    const QString source = fixtures::realPdf(QStringLiteral("groff-columns-objstm.pdf"));
    const QByteArray bytes = fixtures::readFile(source);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    for (int i = 0; i < doc.pageCount(); ++i)
        doc.renderPage(i, 0.5, 0);
    QVERIFY(doc.addFreeText(0, QRectF(72, 60, 300, 14), QStringLiteral("Принято к исполнению"), QString(), 11, Qt::black));
    const QString out = path(QStringLiteral("added.pdf"));
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));
    const QByteArray saved = fixtures::readFile(out);
    QVERIFY(saved.startsWith(bytes));
    QVERIFY2(saved.size() - bytes.size() < 40 * 1024, qPrintable(QString::number(saved.size() - bytes.size())));
    QVERIFY(qpdfClean(out));
    QVERIFY(pdftools::words(out, 0).contains(QStringLiteral("исполнению")));
    QCOMPARE(pdftools::words(out, 1), pdftools::words(source, 1));
}

// One edited line of a long manual with object streams.
void TestPdfDocumentSave::editedManualGrowsByTheChangeOnly()
{
    const QString source = fixtures::realPdf(QStringLiteral("pdftex-registry.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    QVERIFY(rewriteBlock(blocks, QStringLiteral("Edited line of the manual"), QStringLiteral("Исправленная строка"), &old));
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("manual.pdf"));
    QVERIFY(doc.save(out));
    const qint64 growth = QFileInfo(out).size() - QFileInfo(source).size();
    QVERIFY2(growth < 60 * 1024, qPrintable(QString::number(growth)));
    QVERIFY(qpdfClean(out));
    QVERIFY(objectStreams(out) >= objectStreams(source));
    const QStringList words = pdftools::words(out, 0);
    QVERIFY(!words.contains(QStringLiteral("manual:")));
    QVERIFY(words.contains(QStringLiteral("Исправленная")));
}

// Two edit-and-save rounds, in one session and in a second one: the face
// the program writes with is embedded once.
void TestPdfDocumentSave::twoRoundsEmbedEachFaceOnce()
{
    QString current = fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"));
    const QStringList phrases = {QStringLiteral("All files were carried"), QStringLiteral("Staff counted"),
                                 QStringLiteral("The office moved")};
    for (int session = 0; session < 2; ++session) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        current = path(QStringLiteral("round-%1.pdf").arg(session));
        for (int round = 0; round < (session == 0 ? 2 : 1); ++round) {
            std::vector<TextBlock> blocks = doc.extractText(0);
            TextBlock old;
            QVERIFY(rewriteBlock(blocks, phrases.at(session * 2 + round), QStringLiteral("Строка %1").arg(round), &old));
            QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
            QVERIFY2(doc.save(current), qPrintable(doc.lastError()));
        }
    }
    QStringList embedded;
    for (const pdftools::FontRow& font : pdftools::listFonts(current))
        if (font.embedded)
            embedded << font.name;
    QCOMPARE(embedded.size(), 1);
}

void TestPdfDocumentSave::refusedRemovalLeavesTheDocument_data()
{
    QTest::addColumn<QString>("font");     // of the line, F1 standard Helvetica
    QTest::addColumn<QString>("content");  // more of the page
    QTest::addColumn<QRectF>("place");     // the deleted block's old place; empty: the line's
    QTest::addColumn<QString>("file");     // a real page whose line is corrected instead; empty: the page made here
    QTest::addColumn<QString>("phrase");   // of that line, replaced by edited
    QTest::addColumn<QString>("edited");
    QTest::newRow("content that does not parse") << "F1" << "BT /F1 12 Tf 72 500 Td (never closed Tj ET" << QRectF()
                                                 << QString() << QString() << QString();
    QTest::newRow("font without widths") << "F2" << QString() << QRectF() << QString() << QString() << QString();
    QTest::newRow("glyph drawn far beyond the block") << "F1" << "BT /F1 200 Tf 150 300 Td (W) Tj ET"
                                                      << QRectF(224, 340, 40, 40) << QString() << QString() << QString();
    // Numbers hidden by boxes the page draws over them: a correction that
    // moves them on would draw them over the box, or beside it.
    const QString covered = QStringLiteral("gs-covered-number.pdf");
    QTest::newRow("a word before a number under a black box")
        << QString() << QString() << QRectF() << covered << "The account" << "The savings account";
    QTest::newRow("a word before a number under a white box")
        << QString() << QString() << QRectF() << covered << "The savings code" << "The current savings code";
}

// An edit whose old glyphs cannot be removed exactly, or not without showing
// what the page hides, is refused with the reason, and the document stays as
// it was: no old text left silently under a white-out.
void TestPdfDocumentSave::refusedRemovalLeavesTheDocument()
{
    QFETCH(QString, font);
    QFETCH(QString, content);
    QFETCH(QRectF, place);
    QFETCH(QString, file);
    QFETCH(QString, phrase);
    QFETCH(QString, edited);
    if (file.isEmpty()) {
        fixtures::PageSpec pageSpec;
        pageSpec.runs << fixtures::TextRun{QStringLiteral("Keep this line"), 72, 740, 14};
        pageSpec.runs << fixtures::TextRun{QStringLiteral("Delete me please"), 72, 700, 14, Qt::black, font};
        pageSpec.extraFonts << QStringLiteral("NoSuchFace");
        pageSpec.extraContent = content;
        file = path(QStringLiteral("refused.pdf"));
        QVERIFY(fixtures::writeFile(file, fixtures::pagesPdf({pageSpec})));
    } else {
        file = fixtures::realPdf(file);
    }
    PdfDocument doc;
    QVERIFY(doc.open(file));
    const QString text = doc.extractAllText(0);
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    if (!phrase.isEmpty()) {
        const auto line = std::find_if(blocks.begin(), blocks.end(),
                                       [&](const TextBlock& b) { return !b.isImage && b.text.contains(phrase); });
        QVERIFY2(line != blocks.end(), qPrintable(phrase));
        QVERIFY(rewriteBlock(blocks, phrase, QString(line->text).replace(phrase, edited), &old));
    } else if (place.isNull()) {
        QVERIFY(rewriteBlock(blocks, QStringLiteral("Delete me"), QString(), &old));
    } else {
        TextBlock gone;
        gone.removed = gone.textEdited = true;
        gone.rect = gone.originalRect = place;
        blocks.push_back(gone);
    }
    QVERIFY(!doc.overlayOcrText(0, blocks, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.extractAllText(0), text);
    PdfDocument fresh;  // a face pdfium substitutes may draw differently once fonts were loaded
    QVERIFY(fresh.open(file));
    QCOMPARE(doc.renderPage(0, 1.0, 0), fresh.renderPage(0, 1.0, 0));
}

// Another tool's searchable layer goes from the scan's own content stream:
// the page looks the same, no reader finds the words, and the old stream is
// not in the saved file.
void TestPdfDocumentSave::anotherToolsLayerIsCutOut()
{
    const QString source = fixtures::realPdf(QStringLiteral("tesseract-ru.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const QImage before = doc.renderPage(0, 1.0, 0);
    QVERIFY(!pdftools::words(source, 0).isEmpty());
    QVERIFY(doc.removeInvisibleTextLayer(0));
    QVERIFY(doc.extractAllText(0).trimmed().isEmpty());
    QCOMPARE(doc.renderPage(0, 1.0, 0), before);
    const QString out = path(QStringLiteral("layer-removed.pdf"));
    QVERIFY(doc.save(out));
    QVERIFY(pdftools::words(out, 0).isEmpty());
    const QByteArray saved = fixtures::readFile(out);
    for (const QByteArray& raw : rawContents(source, 0))
        QVERIFY(!saved.contains(raw));
    QVERIFY(qpdfClean(out));
}

// Added text on a file whose cross-reference is broken: no update is
// appended to the damage; the file is written whole and reads clean.
void TestPdfDocumentSave::damagedFileIsWrittenWhole()
{
    QByteArray broken = fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")));
    const qsizetype at = broken.lastIndexOf("startxref");
    broken.replace(at, broken.size() - at, "startxref\n17\n%%EOF\n");
    const QString file = path(QStringLiteral("broken.pdf"));
    QVERIFY(fixtures::writeFile(file, broken));
    PdfDocument doc;
    QVERIFY(doc.open(file));
    QVERIFY(doc.addFreeText(0, QRectF(72, 60, 300, 14), QStringLiteral("Принято"), QString(), 11, Qt::black));
    const QString out = path(QStringLiteral("broken-saved.pdf"));
    QVERIFY(doc.save(out));
    QVERIFY(!fixtures::readFile(out).startsWith(broken));
    QVERIFY(qpdfClean(out));
    QVERIFY(pdftools::words(out, 0).contains(QStringLiteral("Принято")));
}

void TestPdfDocumentSave::appendedTextIsNotStretched_data()
{
    QTest::addColumn<bool>("asBlock");  // else as free text
    QTest::newRow("free text") << false;
    QTest::newRow("a block the user added") << true;
}

// Text added to a page whose own streams leave their text state set (a
// scan layer's Tz and invisible render mode) is drawn as on a clean page:
// as wide, and seen by other readers.
void TestPdfDocumentSave::appendedTextIsNotStretched()
{
    QFETCH(bool, asBlock);
    const QString word = QStringLiteral("Исполнено");
    const QRectF at(72, 40, 300, 16);
    auto widthOn = [&](const QString& file, const QString& name) {
        PdfDocument doc;
        if (!doc.open(fixtures::realPdf(file)))
            return -1.0;
        bool added = false;
        if (asBlock) {
            TextBlock block;
            block.text = word;
            block.rect = at;
            block.fontSize = 12;
            block.textEdited = true;
            added = doc.overlayOcrText(0, std::vector<TextBlock>{block}, false);
        } else {
            added = doc.addFreeText(0, at, word, QString(), 12, Qt::black);
        }
        const QString out = path(name);
        if (!added || !doc.save(out))
            return -1.0;
        for (const pdftools::WordBox& box : pdftools::wordBoxes(out, 0))
            if (box.text == word)
                return box.box.width();
        return 0.0;
    };
    const double clean = widthOn(QStringLiteral("libreoffice-heading.pdf"), QStringLiteral("clean.pdf"));
    const double layered = widthOn(QStringLiteral("tesseract-ru.pdf"), QStringLiteral("layered.pdf"));
    QVERIFY(clean > 0);
    QVERIFY2(std::abs(layered - clean) <= 0.01 * clean, qPrintable(QStringLiteral("%1 against %2").arg(layered).arg(clean)));
    const QString out = path(QStringLiteral("layered.pdf"));
    QVERIFY(qpdfClean(out));
    const QImage shown = pdftools::renderPage(out, 0, 72).convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!shown.isNull());
    int ink = 0;
    for (int y = shown.height() - int(at.bottom()); y < shown.height() - int(at.top()); ++y)
        for (int x = int(at.left()); x < int(at.left() + clean); ++x)
            ink += shown.pixelColor(x, y).value() < 128;
    QVERIFY2(ink > 20, qPrintable(QString::number(ink)));
    // Still an update of the original bytes.
    QVERIFY(fixtures::readFile(out).startsWith(fixtures::readFile(fixtures::realPdf(QStringLiteral("tesseract-ru.pdf")))));
}

// Two pages drawn by one content stream: a line deleted on the first is
// gone from it only, the second keeps every word.
void TestPdfDocumentSave::sharedPageContentStaysOnOtherPages()
{
    const QString source = fixtures::realPdf(QStringLiteral("shared-contents.pdf"));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock old;
    QVERIFY(rewriteBlock(blocks, QStringLiteral("shut off"), QString(), &old));
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("shared.pdf"));
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));
    QVERIFY(qpdfClean(out));
    const QStringList first = pdftools::words(out, 0);
    QVERIFY2(!first.contains(QStringLiteral("water")) && first.contains(QStringLiteral("basement")),
             qPrintable(first.join(' ')));
    QCOMPARE(pdftools::words(out, 1), pdftools::words(source, 1));
    PdfDocument reread;  // the program reads the second page whole too
    QVERIFY(reread.open(out));
    PdfDocument original;
    QVERIFY(original.open(source));
    const auto texts = [](const std::vector<TextBlock>& page) {
        QStringList out;
        for (const TextBlock& block : page)
            out << block.text;
        return out;
    };
    QCOMPARE(texts(reread.extractText(1)), texts(original.extractText(1)));
}

// A repaired file, or one whose pages were changed, saved over itself reads
// in qpdf, poppler and ghostscript: pages in the order the change made them,
// each with the words of the page it came from.
void TestPdfDocumentSave::savedFileReadsElsewhere_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("textFrom");     // the undamaged file the words come from
    QTest::addColumn<PageOp>("op");
    QTest::addColumn<QList<int>>("origins");  // page of textFrom each saved page shows; -1 blank
    const QString groff = QStringLiteral("groff-columns.pdf");
    const QString tex = QStringLiteral("pdftex-objstm-manual.pdf");
    const QList<int> texPages{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("trailer without /Size") << "damaged/groff-trailer-nosize.pdf" << groff << PageOp::None
                                           << QList<int>{0, 1};
    QTest::newRow("trailer with /Siqe 7") << "damaged/groff-trailer-siqe.pdf" << groff << PageOp::None
                                          << QList<int>{0, 1};
    QTest::newRow("trailer without /Size, page turned") << "damaged/groff-trailer-nosize.pdf" << groff
                                                        << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("trailer with /Siqe 7, page deleted") << "damaged/groff-trailer-siqe.pdf" << groff
                                                        << PageOp::Delete << QList<int>{1};
    QTest::newRow("trailer with /Siqe 7, page inserted") << "damaged/groff-trailer-siqe.pdf" << groff
                                                         << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("pdfunite's short /Size, page deleted") << "pdfunite-merged.pdf" << "pdfunite-merged.pdf"
                                                          << PageOp::Delete << QList<int>{1, 2};
    QTest::newRow("table, page turned") << groff << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("table, page inserted") << groff << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("table, page moved") << groff << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("table, page deleted") << groff << groff << PageOp::Delete << QList<int>{1};
    QTest::newRow("object streams, page turned") << tex << tex << PageOp::Rotate << texPages;
    QTest::newRow("object streams, page inserted") << tex << tex << PageOp::Insert
                                                   << QList<int>{0, -1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("object streams, page moved") << tex << tex << PageOp::Move << texPages.mid(1) + QList<int>{0};
    QTest::newRow("object streams, page deleted") << tex << tex << PageOp::Delete << texPages.mid(1);
    // Nothing drawn first: pages pdfium never loaded are written from what it
    // knows of the file alone.
    QList<int> sixty;
    for (int page = 0; page < 60; ++page)
        sixty << page;
    const QList<int> inserted = QList<int>{0, -1} + sixty.mid(1);
    const QList<int> moved = sixty.mid(1) + QList<int>{0};
    const QList<std::pair<QString, QString>> registries{
        {QStringLiteral("contents of generation 1"), QStringLiteral("xref/registry-gen1.pdf")},
        {QStringLiteral("offsets zeroed"), QStringLiteral("xref/registry-zero-offsets.pdf")},
        {QStringLiteral("offsets shifted"), QStringLiteral("xref/registry-shifted.pdf")}};
    for (const auto& [name, registry] : registries) {
        QTest::addRow("%s, page turned", qPrintable(name)) << registry << registry << PageOp::Rotate << sixty;
        QTest::addRow("%s, page inserted", qPrintable(name)) << registry << registry << PageOp::Insert << inserted;
        QTest::addRow("%s, page moved", qPrintable(name)) << registry << registry << PageOp::Move << moved;
        QTest::addRow("%s, page deleted", qPrintable(name)) << registry << registry << PageOp::Delete << sixty.mid(1);
    }
    const QString reused = QStringLiteral("xref/groff-reused-number.pdf");
    QTest::newRow("number freed and reused, page inserted") << reused << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("number freed and reused, page deleted") << reused << groff << PageOp::Delete << QList<int>{1};
    // Encrypted with crypt filters, a file attached: read back with the document's own password.
    const QString crypt = QStringLiteral("groff-crypt-filters.pdf");
    QTest::newRow("crypt filters, saved as is") << crypt << groff << PageOp::None << QList<int>{0, 1};
    QTest::newRow("crypt filters, page turned") << crypt << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("crypt filters, page inserted") << crypt << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("crypt filters, page moved") << crypt << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("crypt filters, page deleted") << crypt << groff << PageOp::Delete << QList<int>{1};
    const QString attachment = QStringLiteral("groff-encrypted-attachment.pdf");
    QTest::newRow("encrypted attachment, saved as is") << attachment << groff << PageOp::None << QList<int>{0, 1};
    QTest::newRow("encrypted attachment, page turned") << attachment << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("encrypted attachment, page inserted") << attachment << groff << PageOp::Insert
                                                         << QList<int>{0, -1, 1};
    QTest::newRow("encrypted attachment, page moved") << attachment << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("encrypted attachment, page deleted") << attachment << groff << PageOp::Delete << QList<int>{1};
    const QString password = QStringLiteral("groff-attachment-password.pdf");
    QTest::newRow("attachment password, page turned") << password << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("attachment password, page inserted") << password << groff << PageOp::Insert
                                                        << QList<int>{0, -1, 1};
    QTest::newRow("attachment password, page moved") << password << groff << PageOp::Move << QList<int>{1, 0};
    QTest::newRow("attachment password, page deleted") << password << groff << PageOp::Delete << QList<int>{1};
    // Rewritten after a removal: the sealed attachment keeps its number, dictionary and bytes.
    QTest::newRow("attachment password, line edited") << password << groff << PageOp::EditLine << QList<int>{0, 1};
    const QString named = QStringLiteral("groff-attachment-crypt-filter.pdf");
    QTest::newRow("attachment's own crypt filter, page turned") << named << groff << PageOp::Rotate
                                                                << QList<int>{0, 1};
    QTest::newRow("attachment's own crypt filter, page deleted") << named << groff << PageOp::Delete
                                                                 << QList<int>{1};
    QTest::newRow("attachment's own crypt filter, line edited") << named << groff << PageOp::EditLine
                                                                << QList<int>{0, 1};
    // Sound files of unusual writing, through every page operation: content
    // streams of a high generation, inline pictures of random bytes, forms
    // whose numbers pass 32 bits.
    QList<std::pair<QString, QString>> unusual{
        {QStringLiteral("contents of generation 10"), QStringLiteral("xref/groff-generation-10.pdf")},
        {QStringLiteral("contents of generation 65534"), QStringLiteral("xref/groff-generation-65534.pdf")},
        {QStringLiteral("inline pictures of random bytes"), QStringLiteral("content/groff-inline-images.pdf")},
        {QStringLiteral("forms with numbers past 32 bits"), QStringLiteral("content/groff-huge-form-numbers.pdf")}};
    // A /P written as the positive number of its bits; the pages below
    // chains of /Pages nodes (mupdf reads no page 1,000 levels down).
    const QString positiveP = QStringLiteral("unusual/groff-aes256-positive-p.pdf");
    QTest::newRow("AES-256, positive /P, saved as is") << positiveP << groff << PageOp::None << QList<int>{0, 1};
    QTest::newRow("AES-256, positive /P, page turned") << positiveP << groff << PageOp::Rotate << QList<int>{0, 1};
    QTest::newRow("AES-256, positive /P, page inserted") << positiveP << groff << PageOp::Insert << QList<int>{0, -1, 1};
    QTest::newRow("AES-256, positive /P, page deleted") << positiveP << groff << PageOp::Delete << QList<int>{1};
    // The page's own text of an encrypted file is never removed; a text layer is added.
    QTest::newRow("AES-256, positive /P, text layer added") << positiveP << groff << PageOp::AddLine << QList<int>{0, 1};
    unusual << std::pair{QStringLiteral("page tree 66 levels deep"), QStringLiteral("unusual/groff-tree-66.pdf")}
            << std::pair{QStringLiteral("page tree 100 levels deep"), QStringLiteral("unusual/groff-tree-100.pdf")}
            << std::pair{QStringLiteral("page tree 1,000 levels deep"), QStringLiteral("unusual/groff-tree-1000.pdf")};
    // Twelve pages drawing with one /ExtGState, /Pattern and /ColorSpace of them all.
    const QString shared = QStringLiteral("pdftex-tikz-shared-states.pdf");
    QTest::newRow("pgf manual, shared graphics states, line edited") << shared << shared << PageOp::EditLine
                                                                     << sixty.mid(0, 12);
    // Pages put into a scan from other files, the first edited there: a
    // sticky note whose pop-up names it back, as viewers write it and as
    // qpdf writes it again; form widgets; layers a file turns off; a file
    // carried by an annotation; a manual whose page tree lists a font.
    const QString scan = QStringLiteral("gs-scan.pdf");
    const QList<std::pair<QString, QString>> putIn{
        {QStringLiteral("sticky note"), QStringLiteral("qpdf-comment-annotation.pdf")},
        {QStringLiteral("sticky note of direct appearances"), QStringLiteral("qpdf-comment-annotation-direct.pdf")},
        {QStringLiteral("sticky note written by qpdf"), QStringLiteral("qpdf-comment-annotation-out.pdf")},
        {QStringLiteral("form widgets"), QStringLiteral("qpdf-appearances-a.pdf")}};
    for (const auto& [name, file] : putIn) {
        QTest::addRow("scan, %s put in", qPrintable(name)) << scan << file << PageOp::PutIn << QList<int>{-1, 0};
        QTest::addRow("scan, %s put in and edited", qPrintable(name)) << scan << file << PageOp::PutInEdit
                                                                      << QList<int>{-1, 0};
    }
    for (const QString& layered : {QStringLiteral("layers-off.pdf"), QStringLiteral("pdftex-ocg-layers.pdf")}) {
        QTest::addRow("scan, %s put in", qPrintable(layered)) << scan << layered << PageOp::PutIn << QList<int>{-1, 0};
        QTest::addRow("%s, page duplicated", qPrintable(layered)) << layered << layered << PageOp::Duplicate
                                                                  << QList<int>{0, 0};
    }
    // Layers off by name put into a document whose layers are off by its
    // base state, and the other way round: what each hides stays hidden.
    QTest::newRow("layers off by base state, layers off by name put in")
        << "layers-base-off.pdf" << "layers-off.pdf" << PageOp::PutIn << QList<int>{0, 0};
    QTest::newRow("layers off by name, layers off by base state put in")
        << "layers-off.pdf" << "layers-base-off.pdf" << PageOp::PutIn << QList<int>{0, 0};
    QTest::newRow("layers off by base state, page duplicated")
        << "layers-base-off.pdf" << "layers-base-off.pdf" << PageOp::Duplicate << QList<int>{0, 0};
    QTest::newRow("scan, page carrying an attached file put in") << scan << "qpdf-attach-file.pdf" << PageOp::PutIn
                                                                 << QList<int>{-1, 0};
    QTest::newRow("scan, page of a manual whose tree lists a font put in")
        << scan << "damaged/tree-font-kid.pdf" << PageOp::PutIn << QList<int>{-1, 0};
    QTest::newRow("sticky note, page duplicated") << "qpdf-comment-annotation.pdf" << "qpdf-comment-annotation.pdf"
                                                  << PageOp::Duplicate << QList<int>{0, 0};
    for (const auto& [name, file] : unusual) {
        QTest::addRow("%s, page turned", qPrintable(name)) << file << groff << PageOp::Rotate << QList<int>{0, 1};
        QTest::addRow("%s, page inserted", qPrintable(name)) << file << groff << PageOp::Insert << QList<int>{0, -1, 1};
        QTest::addRow("%s, page moved", qPrintable(name)) << file << groff << PageOp::Move << QList<int>{1, 0};
        QTest::addRow("%s, page deleted", qPrintable(name)) << file << groff << PageOp::Delete << QList<int>{1};
        QTest::addRow("%s, line edited", qPrintable(name)) << file << groff << PageOp::EditLine << QList<int>{0, 1};
    }
}

void TestPdfDocumentSave::savedFileReadsElsewhere()
{
    QFETCH(QString, file);
    QFETCH(QString, textFrom);
    QFETCH(PageOp, op);
    QFETCH(QList<int>, origins);
    const QString source = fixtures::realPdf(textFrom);
    const QString target = path(QStringLiteral("elsewhere-%1.pdf").arg(fileTag()));
    QVERIFY(QFile::copy(fixtures::realPdf(file), target));
    PdfDocument doc;
    QVERIFY2(doc.open(target), qPrintable(doc.lastError()));
    QVERIFY2(applyPageOp(doc, op, source), qPrintable(doc.lastError()));
    QVERIFY2(doc.save(target), qPrintable(doc.lastError()));

    const QString password = attachmentPassword(file);
    const QString refused = refusedElsewhere(target, password);
    QVERIFY2(refused.isEmpty(), qPrintable(refused));
    // An attached file keeps its bytes, and its encryption with them.
    const auto encrypted = [](const QString& pdf) {
        return pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--is-encrypted"), pdf}).exitCode == 0;
    };
    QCOMPARE(encrypted(target), encrypted(fixtures::realPdf(file)));
    // A page put in brings the file its annotation carries, the document's
    // own attached files staying as they were.
    QByteArray firstAttached = firstAttachment(fixtures::realPdf(file), password, path(QStringLiteral("attached-before")));
    if (firstAttached.isEmpty() && copiesPage(op))
        firstAttached = firstAttachment(source, password, path(QStringLiteral("attached-before")));
    QCOMPARE(firstAttachment(target, password, path(QStringLiteral("attached-after"))), firstAttached);
    const QMap<QString, QByteArray> attached = attachedFiles(fixtures::realPdf(file), password);
    QCOMPARE(attachedFiles(target, password), attached);
    QVERIFY(!attached.values().contains(QByteArray()));
    const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(target, password);
    QCOMPARE(counts.qpdf, int(origins.size()));
    QCOMPARE(counts.poppler, int(origins.size()));
    QCOMPARE(counts.mupdf, int(origins.size()));
    // mupdf gives up on page trees about 100 levels deep (fewer once an
    // update is appended): qpdf, poppler and ghostscript read the deep ones.
    const bool mupdfReadsTree = !file.startsWith(QLatin1String("unusual/groff-tree-"));
    const int last = int(origins.size()) - 1;
    for (int page = 0; page < int(origins.size()); ++page) {
        const QStringList expected = origins[page] < 0 ? QStringList() : sortedWords(source, origins[page]);
        const bool edited = (op == PageOp::EditLine && page == 0) || (op == PageOp::PutInEdit && page == last);
        if (op == PageOp::AddLine && page == 0) {
            QStringList withAdded = expected + QStringLiteral("Новые слова здесь").split(QLatin1Char(' '));
            withAdded.sort();
            QCOMPARE(sortedWords(target, page), withAdded);
        } else if (edited)
            QVERIFY(sortedWords(target, page).contains(QStringLiteral("Новые")));
        else
            QCOMPARE(sortedWords(target, page), expected);
        if (mupdfReadsTree)
            QCOMPARE(pdftools::mupdfText(target, page, password).trimmed().isEmpty(), expected.isEmpty());
        // A copied page reads in mupdf as its page does: what a layer hides stays hidden.
        if (copiesPage(op) && page == last && !edited)
            QCOMPARE(mupdfWords(target, page), mupdfWords(source, origins[page]));
    }
}

QTEST_MAIN(TestPdfDocumentSave)
