// Edited lines change nothing else: the line alone, and lines laid over
// each other keep each other.
#include "tst_pdfdocument_content.h"

using namespace contenttest;

// One edited line on a real producer's page: outside its box the page renders
// and reads as before; the program's own extraction gives the new line once.
void TestPdfDocumentContent::editChangesOnlyTheEditedLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::newRow("distilled Helvetica") << "gs-helvetica.pdf" << "All files were carried over without loss.";
    QTest::newRow("1 Tf") << "onetf-helvetica.pdf" << "Twelve members were present in the hall.";
    QTest::newRow("TeX Type 3") << "tex-type3.pdf" << "The official staff fill in the office file at the first floor.";
    QTest::newRow("groff columns") << "groff-columns.pdf" << "department. During the year the office received";
    QTest::newRow("groff object streams") << "groff-columns-objstm.pdf" << "who needed them. Most requests were answered";
    QTest::newRow("OCR layer") << "tesseract-ru.pdf" << "заключили настоящий договор о нижеследующем.";
    QTest::newRow("turned page") << "gs-helvetica-rot90.pdf" << "All files were carried over without loss.";
    QTest::newRow("sideways line") << "gs-helvetica.pdf" << "Sideways note along the margin";
    QTest::newRow("turned groff page") << "groff-columns-rot90.pdf" << "department. During the year the office received";
    QTest::newRow("caption by a picture") << "gs-image-rot90.pdf" << "Photograph of the new archive rooms";
    QTest::newRow("Distiller 1 Tf, a word cut by a kern") << "distiller-1tf.pdf"
                                                          << "и оплатить. Текстовом файле office указывают номер и дату.";
    QTest::newRow("Distiller 1 Tf, condensed ligatures")
        << "distiller-1tf.pdf" << "Every affidavit is filed; the fluffy waffle affair was different.";
    QTest::newRow("pdfTeX pk fonts, a paragraph's last line") << "pdftex-type3.pdf"
                                                              << "each spring by the archivist on duty.";
    QTest::newRow("TeX at 300 dpi, justified with ligatures")
        << "tex-type3-300.pdf" << "affidavits, certificates and official waivers are kept without limit. Efficient";
    QTest::newRow("turned Russian manual") << "pdftex-manual-rot90.pdf"
                                           << "купатель обязуется принять товар и оплатить его в порядке";
}

void TestPdfDocumentContent::editChangesOnlyTheEditedLine()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    const QString source = fixtures::realPdf(file);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const QString sourceText = doc.extractAllText(0);
    const auto block = blockWithText(blocks, line);
    QVERIFY(block != blocks.end());
    const float oldSize = block->fontSize;
    const QString edited = QStringLiteral("Новые слова здесь");
    block->text = edited;
    block->textEdited = true;
    const QRectF box = shownBox(block->originalRect, block->originalRotation);
    QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("edited-") + file);
    QVERIFY(doc.save(out));

    const double height = doc.pageSize(0).height();
    const double share = changedShareOutside(pdftools::renderPage(source, 0, 100), pdftools::renderPage(out, 0, 100),
                                             {box}, height, 100);
    QVERIFY2(share <= 0.0002, qPrintable(QString::number(share)));

    const QMap<QString, int> before = wordCounts(pdftools::words(source, 0));
    const QMap<QString, int> after = wordCounts(pdftools::words(out, 0));
    const QMap<QString, int> oldLine = wordCounts(line.split(QLatin1Char(' ')));
    const QMap<QString, int> newLine = wordCounts(edited.split(QLatin1Char(' ')));
    // Each word the edit took out is gone, each other word stays once.
    for (auto it = before.begin(); it != before.end(); ++it) {
        const int expected = it.value() - oldLine.value(it.key()) + newLine.value(it.key());
        const int got = after.value(it.key());
        QVERIFY2(got == expected,
                 qPrintable(QStringLiteral("%1: %2 -> %3, expected %4").arg(it.key()).arg(it.value()).arg(got).arg(expected)));
    }
    for (auto it = newLine.begin(); it != newLine.end(); ++it)
        QCOMPARE(after.value(it.key()), before.value(it.key()) + it.value());
    for (auto it = after.begin(); it != after.end(); ++it)  // and nothing comes apart into new words
        QVERIFY2(before.contains(it.key()) || newLine.contains(it.key()), qPrintable(it.key()));

    PdfDocument reread;
    QVERIFY(reread.open(out));
    std::vector<TextBlock> again = reread.extractText(0);
    QVERIFY(blockWithText(again, line) == again.end());
    // Written at the size the line had.
    const auto rewritten = blockWithText(again, edited);
    QVERIFY(rewritten != again.end());
    QVERIFY2(std::abs(rewritten->fontSize - oldSize) <= 0.02 * oldSize,
             qPrintable(QStringLiteral("%1 pt, was %2 pt").arg(rewritten->fontSize).arg(oldSize)));
    const QString pageText = reread.extractAllText(0);
    QCOMPARE(int(pageText.count(edited)), 1);
    QCOMPARE(int(pageText.count(line)), 0);
    QVERIFY(reread.findText(0, line).isEmpty());
    for (const TextBlock& other : blocks)  // every unedited line searchable before still is
        if (other.text != edited && sourceText.contains(other.text.trimmed()))
            QVERIFY2(pageText.contains(other.text.trimmed()), qPrintable(other.text));
}

// Pages with lines laid over each other: a stamp over a title, qpdf's
// overlays and underlays (one at the very place and size of the other); and
// lines whose words carry marks, a word of them corrected. One line edited
// (or deleted, where edited is empty): for poppler and mupdf the page reads
// as before, that line's changed letters aside (marks counted), and looks
// the same outside its box; the edited line keeps its colour and size.
void TestPdfDocumentContent::linesLaidOverEachOtherKeepEachOther_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QColor>("colour");  // of the edited line, for mupdf; invalid: not looked at
    QTest::addColumn<double>("size");
    QTest::addColumn<QString>("then");  // the saved line corrected again to it, in a new session; empty: not
    // What readers that follow the content read of the edited line whole:
    // pdftotext -raw, mupdf and the text export; empty: not looked at.
    QTest::addColumn<QString>("inOrder");
    QTest::addColumn<QString>("refused");  // how the refusal's reason begins; empty: written
    const QString stamp = QStringLiteral("STAMP COPY 2026"), title = QStringLiteral("The GOST bundle: ugost2008s.bst");
    QTest::newRow("stamp over a title, the stamp") << "gost-title-stamped.pdf" << stamp << stamp + " Qux" << QColor(Qt::red)
                                                   << 28.0 << stamp + " Qux 2" << QString() << QString();
    QTest::newRow("stamp over a title, the title") << "gost-title-stamped.pdf" << title
                                                   << "The GOST bundles: ugost2008s.bst" << QColor() << 0.0 << QString() << QString() << QString();
    QTest::newRow("stamp over a title, the stamp deleted") << "gost-title-stamped.pdf" << stamp << QString()
                                                           << QColor() << 0.0 << QString() << QString() << QString();
    QTest::newRow("qpdf underlay, the line over it") << "qpdf-underlay-uo7.pdf" << "Page 1 - red" << "Page 1 - red Qux"
                                                     << QColor(Qt::red) << 24.0 << QString() << QString() << QString();
    QTest::newRow("qpdf underlay, the line under it") << "qpdf-underlay-uo7.pdf" << "Original page 0"
                                                      << "Original page 0 Qux" << QColor() << 0.0 << QString() << QString() << QString();
    QTest::newRow("qpdf job's underlay and overlay") << "qpdf-job-underlay-overlay.pdf" << "Page 1 - red"
                                                     << "Page 1 - blue" << QColor() << 0.0 << QString() << QString() << QString();
    QTest::newRow("qpdf overlay at the same place and size") << "qpdf-potato-overlay.pdf" << "Potato" << "Potato Qux"
                                                             << QColor() << 0.0 << QString() << QString() << QString();
    // The French l2tabu's page 2 under qpdf's stamp, its content a form:
    // the italic "software" corrected in that form, then another word in a
    // new session; a line deleted.
    const QString names = QStringLiteral(
        "Les noms de software et de hardware mentionnés dans cet article sont pour la plupart,");
    QTest::newRow("stamp over l2tabu, an italic word of a form's line")
        << "pdftex-l2tabu-stamped.pdf" << names << QString(names).replace("software", "logiciels") << QColor() << 0.0
        << QString(names).replace("software", "logiciels").replace("noms", "termes") << QString() << QString();
    QTest::newRow("stamp over l2tabu, a form's line deleted")
        << "pdftex-l2tabu-stamped.pdf" << QStringLiteral("Nous remercions :") << QString()
        << QColor() << 0.0 << QString() << QString() << QString();
    // Numbers hidden by boxes drawn over them: the line they leave alone is
    // corrected, the covered one deleted with its number (the box stays).
    QTest::newRow("boxes over numbers, a line beside them")
        << "gs-covered-number.pdf" << "The branch opens again on Monday at nine in the morning."
        << "The branch will open again on Monday at nine in the morning." << QColor() << 0.0 << QString() << QString() << QString();
    QTest::newRow("boxes over numbers, a covered line deleted")
        << "gs-covered-number.pdf" << "The account number is 4711-0815-2222 and the branch is closed today."
        << QString() << QColor() << 0.0 << QString() << QString() << QString();
    // A line over a hatching of short grey strokes: no stroke is read as a
    // letter nor goes with a word.
    QTest::newRow("a line over grey strokes")
        << "gs-stroke-pattern.pdf" << "The stock level is now considered low by the warehouse staff."
        << "The stock level is now thought low by the warehouse staff." << QColor() << 0.0
        << "The stock level is still thought low by the warehouse staff." << QString() << QString();
    // A word of a line corrected: the words left keep their marks (poppler
    // reads the stress accents), the others of the page stay.
    const QString accented = QStringLiteral("носі він може розділятися по складах, напр.: пере-вірка і");
    QTest::newRow("Ukrainian rules, a word of an accented line") << "pdftex-ukrainian-rules.pdf" << accented
                                                                 << QString(accented).replace("складах,", "складах і,")
                                                                 << QColor() << 0.0 << QString() << QString() << QString();
    QTest::newRow("Ukrainian rules, a shorter word") << "pdftex-ukrainian-rules.pdf" << accented
                                                     << QString(accented).replace("розділятися", "ділитися")
                                                     << QColor() << 0.0 << QString() << QString() << QString();
    // A justified line of linked citations in cm-super faces (widths of
    // fractions of a thousandth, which pdfium cuts): a word near its start
    // made longer, then one in a new session; the words after it close up.
    const QString cites = QStringLiteral(
        "(2007); Kauers et al. (2007); Декарт (1989); Moraux (1979); Min; scp (1999, 2004); Drake et al.");
    QTest::newRow("GOST citations, a justified line's word longer")
        << "gost-ugost2008n-cites.pdf" << cites << QString(cites).replace("Kauers", "Kauerss") << QColor() << 0.0
        << QString(cites).replace("Kauers", "Kauerss").replace("Moraux", "Morauxx") << QString() << QString();
    // Times not embedded, by Ghostscript, under an encoding of its own on
    // StandardEncoding (quotes by ASCII codes, "fi" by a difference): the
    // words after a longer one move on as the face's glyphs are wide.
    const QString quoted = QStringLiteral(
        "can provide a stylefile for M-Tx. If omitted, the file ‘mtxstyle.txt’ in the current directory is used, if there is");
    QTest::newRow("Ghostscript, quotes and a ligature of a standard face")
        << "gs-prepmx-quotes.pdf" << quoted << QString(quoted).replace("current", "present working") << QColor() << 0.0
        << QString() << QString() << QString();
    // Marks over marks (U+0486 under U+0301) and titlos, set by XeTeX.
    const QString slavonic = QStringLiteral("форматом, то получим: пѧто́къ, к҃в_гѡ апрі́ллїа, лѣ́та ѿ сотворе́нїѧ мі́_");
    QTest::newRow("Church Slavonic manual, a word before marked ones")
        << "xetex-churchslavonic-ru.pdf" << slavonic << QString(slavonic).replace("форматом,", "форматом же,") << QColor()
        << 0.0 << QString(slavonic).replace("форматом,", "форматом же,").replace("получим:", "получили:") << QString() << QString();
    // The title page of a manual set by pdfTeX, the group's address at its
    // foot: the date corrected reads in its line, before the foot, in every
    // reader that follows the content, and corrected again where it now
    // stands; the centred title two words longer is taken back onto the page
    // whole; one wider than the page is refused.
    const QString gap = QStringLiteral("pdftex-gap-title.pdf"), date = QStringLiteral("Release 4.12.1, 2022-10-20");
    QTest::newRow("title page, the date above the foot") << gap << date << date + "ABCD" << QColor() << 0.0
                                                         << date + "XY" << date + "XY" << QString();
    // A word before the date longer and shorter: the date moves along its
    // line and reads there still, the typed word between; the same on pages
    // of groff, Ghostscript and LibreOffice, with a note or a table below.
    QTest::newRow("title page, a word before the date longer")
        << gap << date << "Release 4.12.10, 2022-10-20" << QColor() << 0.0 << "Release 4.12.10a, 2022-10-20"
        << "Release 4.12.10a, 2022-10-20" << QString();
    QTest::newRow("title page, a word before the date shorter")
        << gap << date << "Release 4.12, 2022-10-20" << QColor() << 0.0 << QString() << "Release 4.12, 2022-10-20"
        << QString();
    const QString opened = QStringLiteral("opened only in the presence of two clerks.");
    QTest::newRow("groff, a line above a footnote, a word longer")
        << "groff-footnote.pdf" << opened << QString(opened).replace("only", "solely") << QColor() << 0.0 << QString()
        << QString(opened).replace("only", "solely") << QString();
    const QString payment = QStringLiteral("Срок оплаты: десять рабочих дней.");
    QTest::newRow("Ghostscript letter, a word longer")
        << "gs-letter.pdf" << payment << QString(payment).replace("десять", "двадцать") << QColor() << 0.0 << QString()
        << QString(payment).replace("десять", "двадцать") << QString();
    QTest::newRow("LibreOffice letter under a clip, a word shorter")
        << "libreoffice-letter.pdf" << payment << QString(payment).replace("десять", "пять") << QColor() << 0.0
        << QString() << QString(payment).replace("десять", "пять") << QString();
    QTest::newRow("title page, the centred title two words longer")
        << gap << "GAP - Reference Manual" << "GAP - Reference Manual Zwei Drei" << QColor() << 0.0 << QString()
        << QString() << QString();
    QTest::newRow("title page, the centred title wider than the page")
        << gap << "GAP - Reference Manual" << "GAP - Reference Manual Zwei Drei Vier Fünf" << QColor() << 0.0
        << QString() << QString() << QStringLiteral("Строка «GAP - Reference Manual Zwei Drei Vier Fünf» не помещается");
    // A draft's grey watermark laid across the page as text (LuaTeX): a line
    // under it corrected twice, a code comment under it once; the watermark
    // stays as drawn.
    const QString classe = QStringLiteral(
        "La classe letgut est basée sur la classe article, chargée avec les options twoside et 11pt");
    QTest::newRow("letgut, a line under a watermark")
        << "luatex-letgut.pdf" << classe << QString(classe).replace("article,", "articles,") << QColor() << 0.0
        << QString(classe).replace("article,", "articles,").replace("basée", "fondée") << QString() << QString();
    const QString comment = QStringLiteral("% (since of the same class as the ones specified as 'otherkeywords')");
    QTest::newRow("letgut's code, a comment under a watermark")
        << "luatex-letgut-code.pdf" << comment << QString(comment).replace("same", "very same") << QColor() << 0.0
        << QString() << QString() << QString();
    // A title by Ghostscript whose umlaut is a glyph of its own between "Irrt"
    // and "umer", which pdfium hands out as two lines: the word kept whole
    // through two corrections.
    const QString mistakes = QStringLiteral("Sammlung der Irrt¨umer beim Notensatz");
    QTest::newRow("musixtex sheet, a word with an umlaut drawn apart")
        << "gs-musixtex-sottiger.pdf" << mistakes << QString(mistakes).replace("Sammlung", "Liste") << QColor() << 0.0
        << QString(mistakes).replace("Sammlung", "Liste").replace("Notensatz", "Satz") << QString() << QString();
    // A formula of an exam sheet (xdvipdfmx), its indices and exponents read
    // as lines of their own: a term made shorter, the kept "2x" moves with
    // the index stacked under its exponent, then again in a new session; a
    // term made longer would run into the formula's rest, read apart.
    const QString formula = QStringLiteral("4. 用配方法将二次型 f = x + 2x1x2 − 6x1x3 + 2x 2");
    QTest::newRow("exam formula, a term shorter, the indices move with theirs")
        << "xetex-jnuexam.pdf" << formula << QString(formula).replace("2x1x2", "y") << QColor() << 0.0
        << QString(formula).replace("2x1x2", "y").replace("6x1x3", "z") << QString() << QString();
    QTest::newRow("exam formula, a term longer runs into the rest")
        << "xetex-jnuexam.pdf" << formula << QString(formula).replace("2x1x2", "2x1xx2") << QColor() << 0.0
        << QString() << QString() << QStringLiteral("Строка «4. 用配方法将二次型 f = x + 2x1xx2 − 6x1x3 + 2x 2» наехала бы");
    // A justified reference in italics: "of" typed longer leaves the kept
    // "boron" too near for readers to part them; corrected again, the word
    // read run together holds the page's glyphs, which are never set anew.
    const QString reference = QStringLiteral(
        "22. Lancaster, S. J. Alkylation of boron trifluoride with pentafluorophenyl Grignard");
    QTest::newRow("biblatex-nature, a kept word read run into a typed one")
        << "pdftex-biblatex-nature.pdf" << reference << QString(reference).replace(" of ", " off ") << QColor() << 0.0
        << QString(reference).replace(" of boron", " offboron").replace("Alkylation", "Alkylations") << QString()
        << QStringLiteral("Строку «22. Lancaster, S. J. Alkylations offboron");
}

void TestPdfDocumentContent::linesLaidOverEachOtherKeepEachOther()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(QString, edited);
    QFETCH(QColor, colour);
    QFETCH(double, size);
    QFETCH(QString, then);
    QFETCH(QString, inOrder);
    QFETCH(QString, refused);
    const QString source = fixtures::realPdf(file);
    QString current = source, was = line;
    QRectF box;
    double baseline = 0;
    double height = 0;
    const QString out = path(QStringLiteral("overlaid-%1.pdf").arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));
    // The edit, then where asked a correction of the saved line in a new session.
    for (const QString& text : then.isEmpty() ? QStringList{edited} : QStringList{edited, then}) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        height = doc.pageSize(0).height();
        std::vector<TextBlock> blocks = doc.extractText(0);
        auto block = blockWithText(blocks, was);
        // Read again with words run together, it is the same line.
        if (block == blocks.end())
            block = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
                return QString(b.text).remove(QLatin1Char(' ')).trimmed() == QString(was).remove(QLatin1Char(' '));
            });
        QVERIFY2(block != blocks.end(), qPrintable(was));
        if (current == source) {
            box = shownBox(block->originalRect, block->originalRotation);
            const TextBlock::Line& read = block->lines.front();
            baseline = read.rect.y() + (read.placement ? read.placement->origin.y() : 0.0);
        }
        if (text.isEmpty()) {
            *block = removedPlaceOf(*block);  // as the window deletes it
        } else {
            block->text = text;
            block->textEdited = true;
        }
        if (!refused.isEmpty() && text == (then.isEmpty() ? edited : then)) {
            const QString text = doc.extractAllText(0);
            QVERIFY(!doc.overlayOcrText(0, blocks, false));
            QVERIFY2(doc.lastError().startsWith(refused), qPrintable(doc.lastError()));
            QCOMPARE(doc.extractAllText(0), text);
            return;
        }
        QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
        const QString saved = current == source ? out : path(QStringLiteral("again.pdf"));
        QVERIFY2(doc.save(saved), qPrintable(doc.lastError()));
        if (saved != out) {
            QFile::remove(out);
            QVERIFY(QFile::rename(saved, out));
        }
        current = out;
        was = text;
    }
    if (!then.isEmpty())
        edited = then;

    // What the edit changed of each letter: a letter the line keeps (a mark
    // a reader reads otherwise, too) changes nothing.
    const auto expected = [&](const QString& before) {
        QMap<QChar, int> counts = pdftools::letterCounts(before), change = pdftools::letterCounts(edited);
        const QMap<QChar, int> gone = pdftools::letterCounts(line);
        for (auto it = gone.begin(); it != gone.end(); ++it)
            change[it.key()] -= it.value();
        for (auto it = change.begin(); it != change.end(); ++it)
            if (it.value() != 0 && (counts[it.key()] += it.value()) <= 0)
                counts.remove(it.key());
        return counts;
    };
    const QString popplerBefore = pdftools::run(QStringLiteral("pdftotext"), {source, QStringLiteral("-")}).out;
    const QString popplerAfter = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")}).out;
    QCOMPARE(pdftools::letterCounts(popplerAfter), expected(popplerBefore));
    QCOMPARE(pdftools::letterCounts(pdftools::mupdfText(out, 0)), expected(pdftools::mupdfText(source, 0)));
    // Outside the line's old box and its new one.
    QList<QRectF> boxes{box};
    PdfDocument reread;
    QVERIFY(reread.open(out));
    std::vector<TextBlock> again = reread.extractText(0);
    if (const auto written = blockWithText(again, edited); written != again.end())
        boxes << shownBox(written->rect, written->rotation);
    const double share = changedShareOutside(pdftools::renderPage(source, 0, 100), pdftools::renderPage(out, 0, 100),
                                             boxes, height, 100);
    QVERIFY2(share <= 0.0002, qPrintable(QString::number(share)));
    if (!inOrder.isEmpty()) {
        const QString raw = pdftools::run(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), out, QStringLiteral("-")}).out;
        for (const QString& read : {raw, pdftools::mupdfText(out, 0), reread.extractAllText(0)})
            QVERIFY2(read.simplified().contains(inOrder), qPrintable(read));
    }
    if (!colour.isValid())
        return;
    // Every letter of the edited line, kept or typed, on its baseline in its
    // colour and size (a line under it may stand there too, in its own).
    int found = 0;
    for (const pdftools::MupdfChar& c : pdftools::mupdfChars(out, 0))
        found += std::abs(height - c.origin.y() - baseline) < 0.5 && edited.contains(c.text) && c.color == colour &&
                 std::abs(c.size - size) < 0.05 * size;
    QVERIFY2(found >= edited.size() - edited.count(QLatin1Char(' ')), qPrintable(QString::number(found)));
}
