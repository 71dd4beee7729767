// The save's own check: a written file the writer spoiled is refused and the
// file stays; lines written and moved keep their glyphs and fonts.
#include "tst_pdfdocument_save.h"

using namespace savetest;

// A save whose bytes do not read back leaves the user's file byte for byte
// and tells why; the document keeps its change and saves once the fault is gone.
void TestPdfDocumentSave::faultyResultLeavesTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<PageOp>("op");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason");  // how the error begins
    QTest::addColumn<Road>("road");
    const QString unreadable = QStringLiteral("Записанный файл не читается другими программами: ");
    QTest::newRow("appended, /Size misspelt") << "groff-columns.pdf" << PageOp::Rotate
                                              << replaceLast("/Size", "/Siqe") << unreadable << Road::Save;
    QTest::newRow("rewritten, /Size misspelt") << "groff-columns.pdf" << PageOp::Delete
                                               << replaceLast("/Size", "/Siqe") << unreadable << Road::Save;
    QTest::newRow("repaired, /Size misspelt") << "damaged/groff-trailer-nosize.pdf" << PageOp::None
                                              << replaceLast("/Size", "/Siqe") << unreadable << Road::Save;
    QTest::newRow("appended, cut short at a page") << "groff-columns.pdf" << PageOp::Insert
                                                   << replaceLast("/Type /Page*", QByteArray()) << unreadable << Road::Save;
    QTest::newRow("rewritten, the page tree listing itself")
        << "groff-columns.pdf" << PageOp::Rotate << rewrittenWith([](QPDF& pdf) {
               QPDFObjectHandle tree = pdf.getRoot().getKey("/Pages");
               tree.getKey("/Kids").appendItem(tree);
           })
        << unreadable << Road::Save;
    QTest::newRow("object streams, cross-reference misplaced") << "pdftex-objstm-manual.pdf" << PageOp::Move
                                                               << replaceLast("startxref\n", "startxref\n9")
                                                               << unreadable << Road::Save;
    // Attached files sealed by a password of their own, spoilt as a writer
    // that cannot decrypt them would: readers open the file, no reader the
    // attachment.
    const QString attachments = QStringLiteral("Вложенные файлы записанного файла отличаются от исходных.");
    QTest::newRow("sealed attachment, its crypt filter dropped")
        << "groff-attachment-crypt-filter.pdf" << PageOp::Delete
        << replaceLast("[ /Crypt /FlateDecode ]", "[ /FlateDecode ]       ") << attachments << Road::Save;
    QTest::newRow("sealed attachment, a stored byte changed") << "groff-attachment-password.pdf" << PageOp::Rotate
                                                             << attachmentByteTurned() << attachments << Road::Save;
    QTest::newRow("sealed attachment, rewritten with a byte changed")
        << "groff-attachment-password.pdf" << PageOp::EditLine << attachmentByteTurned() << attachments << Road::Save;
    QTest::newRow("sealed attachment, its permissions changed")
        << "groff-encrypted-attachment.pdf" << PageOp::Move << replaceLast("/P -4", "/P -8")
        << QStringLiteral("Шифрование записанного файла отличается от исходного.") << Road::Save;
    // Files every reader opens, whose pages are not what the document holds.
    const QString untouched = QStringLiteral("Страница 2 записанного файла отличается от исходной");
    QTest::newRow("turned page, untouched page drawn on") << "groff-columns.pdf" << PageOp::Rotate << lineAddedTo(1)
                                                          << untouched << Road::Save;
    QTest::newRow("moved page, untouched page drawn on") << "pdftex-objstm-manual.pdf" << PageOp::Move
                                                         << lineAddedTo(1) << untouched << Road::Save;
    QTest::newRow("edited line, untouched page drawn on") << "groff-columns.pdf" << PageOp::EditLine
                                                          << lineAddedTo(1) << untouched << Road::Save;
    // A page put in is held to the page it came from, whether it was edited or not.
    QTest::newRow("page put in, its fonts lost") << "groff-columns.pdf" << PageOp::PutIn << fontsTakenFrom(2)
                                                 << QStringLiteral("Страница 3 записанного файла отличается от исходной") << Road::Save;
    QTest::newRow("page put in and edited, its fonts lost")
        << "groff-columns.pdf" << PageOp::PutInEdit << fontsTakenFrom(2)
        << QStringLiteral("Содержимое страницы 3 записанного файла ссылается на ресурс") << Road::Save;
    QTest::newRow("edited line, its fonts lost") << "groff-columns.pdf" << PageOp::EditLine << fontsTakenFrom(0)
                                                 << QStringLiteral("Содержимое страницы 1 записанного файла ссылается на ресурс") << Road::Save;
    QTest::newRow("edited heading, the picture a form draws with the page's resources lost")
        << "form-page-resources.pdf" << PageOp::EditLine << resourceTakenFrom(0, "/XObject", "/Im1")
        << QStringLiteral("Содержимое страницы 1 записанного файла ссылается на ресурс /Im1") << Road::Save;
    // A turn before or after the edit changes no mark of the page: it is checked turned back.
    QTest::newRow("page turned, then a line edited, a form's picture lost")
        << "gs-form-picture.pdf" << PageOp::TurnThenEdit << formPicturesTakenFrom(0)
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки.") << Road::Save;
    QTest::newRow("line edited, then the page turned, a form's picture lost")
        << "gs-form-picture.pdf" << PageOp::EditThenTurn << formPicturesTakenFrom(0)
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки.") << Road::Save;
    QTest::newRow("line edited, page turned, another line edited, a form's picture lost")
        << "gs-form-picture.pdf" << PageOp::EditTurnEdit << formPicturesTakenFrom(0)
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки.") << Road::Save;
    QTest::newRow("edited line, its new text not shown") << "groff-columns.pdf" << PageOp::EditLine
                                                         << writtenTextHiddenOn(0)
                                                         << QStringLiteral("На странице 1 записанного файла не читается записанный текст «Новые слова здесь»") << Road::Save;
    // A moved line whose "ю" is drawn by the code the page's Unicode map also
    // reads as "ю", whose glyph the face does not hold: its text reads the same.
    QTest::newRow("moved line, a letter by another code") << "pdftex-twocodes.pdf" << PageOp::MoveLine
                                                          << movedTextRecoded(0, "FE", "40")
                                                          << QStringLiteral("На странице 1 записанного файла перенесённый текст выглядит не так") << Road::Save;
    // A line set in Type 3 faces moved, drawn where it went so that no reader shows it, or not at all.
    const QString movedLost = QStringLiteral("На странице 1 записанного файла перенесённый текст выглядит не так");
    QTest::newRow("moved Type 3 line, drawn invisibly") << "gs-greek-guide.pdf" << PageOp::MoveLine
                                                        << movedContentChanged(0, fixtures::drawnInvisibly) << movedLost << Road::Save;
    QTest::newRow("moved Type 3 line, left out") << "gs-bengali-example.pdf" << PageOp::MoveLine
                                                 << movedContentChanged(0, fixtures::leftOut) << movedLost << Road::Save;
    // A line deleted whose text is put back under the white-outs: it reads where it stood.
    QTest::newRow("deleted line, its text put back") << "pdftex-underscore.pdf" << PageOp::DeleteLine
                                                     << deletedTextPutBack(fixtures::realPdf("pdftex-underscore.pdf"), 0)
                                                     << QStringLiteral("На странице 1 записанного файла остался удалённый текст «x8664linux") << Road::Save;
    // A word of a line corrected whose word "пере-ві́рка", moved on to make
    // room, loses its stress accent (pdfTeX draws it apart, over the letter,
    // shifted along the line as the word is).
    QTest::newRow("corrected line, a mark of a word left dropped")
        << "pdftex-ukrainian-rules.pdf" << PageOp::CorrectWord
        << contentReplaced(0, QStringLiteral("(32\\.37 2\\.08 Td ?\\[ ?-?[0-9.]+ )<01>\\]TJ"), QStringLiteral("\\1<>]TJ"))
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки") << Road::Save;
    // A justified line of citations in faces whose widths pdfium cuts, a
    // word made longer: the words after it, drawn again where they close
    // up, stand a point and a half farther on.
    QTest::newRow("corrected line, the words after it drawn farther on")
        << "gost-ugost2008n-cites.pdf" << PageOp::CorrectWord << movedContentChanged(0, fixtures::drawnUnder("1 0 0 1 1.5 0"))
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки") << Road::Save;
    // The words moved on to make room drawn otherwise than the page drew
    // them: in another face of the page (its codes read otherwise), or in
    // outline, each glyph the same letter where it stood.
    QTest::newRow("corrected line, the kept words set in another face")
        << "pdftex-ukrainian-rules.pdf" << PageOp::CorrectWord
        << movedContentChanged(0, fixtures::setInAnotherFace("/F30", "/F31"))
        << QStringLiteral("На странице 1 записанного файла не читается записанный текст") << Road::Save;
    QTest::newRow("corrected line, the kept words drawn in outline")
        << "pdftex-ukrainian-rules.pdf" << PageOp::CorrectWord << movedContentChanged(0, fixtures::withTextState("Tr", "1"))
        << QStringLiteral("На странице 1 записанного файла слово «") << Road::Save;
    // A line corrected under a draft's watermark, then a white box laid over
    // where it stood: the watermark's ink there is gone with the line's.
    QTest::newRow("corrected line under a watermark, a white box over it")
        << "luatex-letgut.pdf" << PageOp::CorrectWord
        << contentReplaced(0, QStringLiteral("$"), QStringLiteral("\nq 1 g 142 258.2 396 10.8 re f Q\n"))
        << QStringLiteral("Страница 1 записанного файла изменилась вне правки") << Road::Save;
    QTest::newRow("pdfTeX edited line, its new text not shown") << "pdftex-page.pdf" << PageOp::EditLine
                                                                << writtenTextHiddenOn(0)
                                                                << QStringLiteral("На странице 1 записанного файла не читается") << Road::Save;
    // Pages drawing with one /ExtGState of them all: the other pages draw
    // in the document as before, whatever becomes of the file. The files
    // written after an edit beside the document are read back as a save is.
    const QString shared = QStringLiteral("pdftex-tikz-shared-states.pdf");
    QTest::newRow("pgf manual, edited line, untouched page drawn on") << shared << PageOp::EditLine << lineAddedTo(1)
                                                                     << untouched << Road::Save;
    QTest::newRow("pgf manual, compressed copy, untouched page drawn on")
        << shared << PageOp::EditLine << lineAddedTo(1) << untouched << Road::CompressedCopy;
    QTest::newRow("pgf manual, extracted pages, untouched page drawn on")
        << shared << PageOp::EditLine << lineAddedTo(1) << untouched << Road::ExtractedPages;
    QTest::newRow("pgf manual, extracted pages, a graphics state of an untouched page lost")
        << shared << PageOp::EditLine << resourceTakenFrom(1, "/ExtGState", "/pgf@ca0.25") << untouched
        << Road::ExtractedPages;
    // Comments without appearances of their own: an untouched page's comment is where it was.
    const QString comments = QStringLiteral("dvipdfmx-comments.pdf");
    QTest::newRow("edited line, an untouched page's comment moved") << comments << PageOp::EditLine
                                                                    << annotationMovedOn(1) << untouched << Road::Save;
    QTest::newRow("extracted pages, an untouched page's comment moved")
        << comments << PageOp::EditLine << annotationMovedOn(1) << untouched << Road::ExtractedPages;
    QTest::newRow("compressed copy, edited line's fonts lost")
        << "groff-columns.pdf" << PageOp::EditLine << fontsTakenFrom(0)
        << QStringLiteral("Содержимое страницы 1 записанного файла ссылается на ресурс") << Road::CompressedCopy;
    QTest::newRow("extracted pages, edited line's new text not shown")
        << "pdftex-page.pdf" << PageOp::EditLine << writtenTextHiddenOn(0)
        << QStringLiteral("На странице 1 записанного файла не читается") << Road::ExtractedPages;
}

void TestPdfDocumentSave::faultyResultLeavesTheFile()
{
    QFETCH(QString, file);
    QFETCH(PageOp, op);
    QFETCH(Fault, fault);
    QFETCH(QString, reason);
    QFETCH(Road, road);
    const QString target = path(QStringLiteral("faulty-%1.pdf").arg(fileTag()));
    QVERIFY(QFile::copy(fixtures::realPdf(file), target));
    const QByteArray before = fixtures::readFile(target);
    const QStringList filesBefore = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    PdfDocument doc;
    QVERIFY(doc.open(target));
    QVERIFY2(applyPageOp(doc, op), qPrintable(doc.lastError()));
    const int pages = doc.pageCount();
    const QString written = road == Road::Save ? target : path(QStringLiteral("beside-%1.pdf").arg(fileTag()));
    QList<int> every;
    for (int page = 0; page < pages; ++page)
        every << page;
    const auto write = [&] {
        switch (road) {
        case Road::Save:
            return doc.save(target);
        case Road::CompressedCopy:
            return doc.compressTo(written, {.imageDpi = 600, .recompressSmallImages = false, .rasterizePages = false});
        case Road::ExtractedPages:
            return doc.extractPageSubset(every, written);
        }
        return false;
    };

    pdfengine::SavedFileCheck::setFaultForTests(fault);
    const bool saved = write();
    pdfengine::SavedFileCheck::setFaultForTests({});
    QVERIFY(!saved);
    QVERIFY2(doc.lastError().startsWith(reason), qPrintable(doc.lastError()));
    QCOMPARE(fixtures::readFile(target), before);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QCOMPARE(doc.pageCount(), pages);
    // The pages the user did not touch draw as the file's (pages put in come after them): the view shows them so.
    PdfDocument original;
    QVERIFY(original.open(fixtures::realPdf(file)));
    for (int page = 1; touchesFirstPageOnly(op) && page < original.pageCount(); ++page)
        QVERIFY2(doc.renderPage(page, 0.5, 0) == original.renderPage(page, 0.5, 0), qPrintable(QString::number(page + 1)));

    QVERIFY2(write(), qPrintable(doc.lastError()));
    QCOMPARE(pdftools::pageCount(written), pages);
}

// Pages whose content leaves the drawing position moved (early pdfTeX's
// origin, a q left open after it): a recognised line written as a searchable
// layer, alone or before an edit of another line, lands where it was put, as
// qpdf, poppler and mupdf read the page.
void TestPdfDocumentSave::writtenLinesStayOnMovedOriginPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("edit");  // then the line "Questions from the floor" retyped
    QTest::newRow("recognised layer, origin left moved") << "pdftex-moved-origin.pdf" << false;
    QTest::newRow("recognised layer, then an edit") << "pdftex-moved-origin.pdf" << true;
    QTest::newRow("recognised layer, a q left open, then an edit") << "pdftex-unclosed-q.pdf" << true;
}

void TestPdfDocumentSave::writtenLinesStayOnMovedOriginPages()
{
    QFETCH(QString, file);
    QFETCH(bool, edit);
    const QString source = fixtures::realPdf(file);
    const QString out = path(QStringLiteral("origin-%1.pdf").arg(fileTag()));
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const double height = doc.pageSize(0).height();
    const auto centreOf = [&](const QString& word, const QString& pdf) {
        for (const pdftools::WordBox& box : pdftools::wordBoxes(pdf, 0))
            if (box.text == word)
                return box.box.center();
        return QPointF(-1e6, -1e6);
    };
    QStringList expected{QStringLiteral("Опись")};  // each found on the saved page
    {
        TextBlock::Line line;
        line.text = QStringLiteral("Опись принята");
        line.rect = QRectF(140, 90, 160, 14);
        line.fontSize = 12;
        line.invisibleText = true;
        TextBlock block;
        block.lines = {line};
        block.text = line.text;
        block.rect = block.originalRect = line.rect;
        block.invisibleText = true;
        QVERIFY2(doc.overlayOcrText(0, {block}, false), qPrintable(doc.lastError()));
    }
    if (edit) {
        std::vector<TextBlock> blocks = doc.extractText(0);
        TextBlock old;
        QVERIFY(rewriteBlock(blocks, QStringLiteral("Questions from the floor"), QStringLiteral("Вопросы приняты"), &old));
        QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
        expected << QStringLiteral("Вопросы");
    }
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

    QVERIFY(qpdfClean(out));
    const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(out);
    QVERIFY(counts.qpdf == 1 && counts.poppler == 1 && counts.mupdf == 1);
    const QString mupdf = pdftools::mupdfText(out, 0);
    const QRectF page(0, 0, doc.pageSize(0).width(), height);
    for (const QString& word : expected) {
        QVERIFY2(mupdf.contains(word), qPrintable(word + QStringLiteral(" not in: ") + mupdf.simplified()));
        QVERIFY2(page.contains(centreOf(word, out)), qPrintable(word + QStringLiteral(" is not on the page")));
    }
    // The rest of the page stays where it was.
    for (const QString& kept : {QStringLiteral("Budget."), QStringLiteral("clerks")})
        QVERIFY2(QLineF(centreOf(kept, out), centreOf(kept, source)).length() < 0.5, qPrintable(kept));
}

// Lines only dragged, one after the other and saved each time: each keeps
// its glyphs where they stood in it (raised and lowered letters of the TeX
// logos too) and its face, no font is added, and no font is dropped that the
// content still names.
void TestPdfDocumentSave::movedLinesKeepTheirGlyphsAndFonts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("lines");  // a phrase of each line dragged, in turn
    QTest::newRow("/Rotate 90, LaTeX logo") << "tex-t2a-names-rot90.pdf"
                                            << QStringList{"Система", "Документация к заявке"};
    QTest::newRow("/Rotate 90, pdfTeX manual heading") << "pdftex-manual-rot90.pdf"
                                                       << QStringList{"Раздел 1", "Поставщик обязуется"};
    QTest::newRow("upright TeX page") << "tex-t2a-names.pdf" << QStringList{"Система", "Замечание"};
    // Content that leaves the drawing position moved, and a q left open after the move.
    QTest::newRow("origin left moved") << "pdftex-moved-origin.pdf"
                                       << QStringList{"The archive received", "will be held"};
    QTest::newRow("a q left open after the move") << "pdftex-unclosed-q.pdf" << QStringList{"The archive received"};
    // Faces whose Unicode map gives one letter two codes, or that hold variant glyphs of a letter.
    // Each drag lands where the line below stood before it was dragged itself.
    QTest::newRow("pdfTeX, two codes read as one letter") << "pdftex-twocodes.pdf"
                                                          << QStringList{"Каждую вершину", "ломаную линию"};
    QTest::newRow("LuaTeX, small capitals and oldstyle figures") << "luatex-smallcaps.pdf"
                                                                 << QStringList{"Oldstyle", "hold small", "Small Capitals"};
    QTest::newRow("dvipdfmx, small capitals and ligatures") << "dvipdfmx-variants.pdf"
                                                            << QStringList{"Its first", "is designed", "Office Register"};
    // Bitmap Type 3 faces: TeX through dvips and ghostscript, and pdfTeX's own pk fonts.
    QTest::newRow("TeX bitmap faces, kerned line") << "tex-type3.pdf" << QStringList{"Kerning: AVAW"};
    QTest::newRow("pdfTeX pk fonts, last line of a paragraph") << "pdftex-type3.pdf"
                                                               << QStringList{"The staff check the register weekly."};
    // Real manuals: each reader places a line's glyphs by its own rounding of
    // the widths, and the lines around reach into the moved line's box.
    QTest::newRow("GOST bibliography, T2A faces") << "gost-t2a-bibliography.pdf" << QStringList{"1. Василенко"};
    QTest::newRow("R FAQ contents, Texinfo") << "texinfo-r-faq.pdf" << QStringList{"Legalese"};
    QTest::newRow("groff through Ghostscript 8.53") << "gs-grdemo.pdf" << QStringList{"as explained in the grops"};
    QTest::newRow("MetaPost manual") << "metapost-manual.pdf" << QStringList{"quantities. Additional features"};
    QTest::newRow("pdfTeX 1.40.7, Russian note") << "pdftex-lcyw.pdf" << QStringList{"port for any of the mentioned"};
    QTest::newRow("pdfTeX guide, directory-tree entries") << "texlive-ru-tree.pdf"
                                                          << QStringList{"win32 Программы", "i386-linux"};
    QTest::newRow("Ghostscript 6.50, ZapfDingbats bullet without widths") << "gs-zapfdingbats.pdf"
                                                                          << QStringList{"most remarkable", "I was walking"};
    QTest::newRow("pdfTeX 1.0, a line of leader dots lower than its face") << "pdftex-leader-dots.pdf"
                                                                          << QStringList{". . . . . . . ."};
    QTest::newRow("Ukrainian rules, stress accents above the line") << "pdftex-ukrainian-rules.pdf"
                                                                      << QStringList{"носі він може розділятися"};
    // Ghostscript's Type 3 faces set far below a point under their own
    // matrices: Greek letters of no advance, each before a blank glyph, codes
    // read as control characters, a line of Type 3, Type 1 and symbol faces.
    QTest::newRow("Ghostscript 6.50, Greek guide's Type 3 faces") << "gs-greek-guide.pdf"
                                                                  << QStringList{"*TORQZY", "B%4#H59/<?05OQk"};
    QTest::newRow("Ghostscript 5.50, Greek hyphenation test") << "gs-greek-hyphenation.pdf" << QStringList{"(a'b"};
    QTest::newRow("Ghostscript 9.0, Bengali faces set at 0.12") << "gs-bengali-example.pdf"
                                                                << QStringList{"bAiR efrbAr", "ebflArI aenk"};
    // Rulers whose ticks stand between labels far apart: no line runs the
    // height of the page over the moved one's place.
    QTest::newRow("dvips through Ghostscript 8.54, test flow rulers") << "gs-ieeetran-testflow-rulers.pdf"
                                                                      << QStringList{"Note: The math italic"};
    QTest::newRow("dvips through Ghostscript 8.54, test flow title") << "gs-ieeetran-testflow-title.pdf"
                                                                     << QStringList{"A Test for"};
    // A sample cut to its crop box, far inside the media box (dvips through
    // Ghostscript 9.26): poppler draws the crop box, as the check compares it.
    QTest::newRow("Ghostscript 9.26, a page cut to its crop box") << "gs-musixtex-tab-cropped.pdf"
                                                                   << QStringList{"This is a MusiXTeX tablature"};
    // A thesis cover by XeTeX over a page-high picture, CJK faces beside Times.
    QTest::newRow("XeTeX 0.99992, thesis cover") << "xetex-thesis-cover.pdf"
                                                 << QStringList{"论文答辩日期", "灵犀一指心法"};
    // A line of a face slanted by its matrix, read upright, moved over its neighbour.
    QTest::newRow("distilled, a quotation slanted by the font matrix")
        << "gs-slanted.pdf" << QStringList{"complete; the register agrees", "The report was filed"};
    // qpdf's overlay draws the page's own content as a form, then a stamp
    // over it: the lines move inside that form, one after the other.
    QTest::newRow("pdfTeX 1.40.14 page drawn by a form under a stamp")
        << "pdftex-l2tabu-stamped.pdf" << QStringList{"Nous remercions", "Traduction française"};
}

void TestPdfDocumentSave::movedLinesKeepTheirGlyphsAndFonts()
{
    QFETCH(QString, file);
    QFETCH(QStringList, lines);
    const QPointF drag(12, -18);  // points, y up
    QString current = fixtures::realPdf(file);
    const auto fontNames = [](const QString& pdf) {
        QStringList names;
        for (const pdftools::FontRow& font : pdftools::listFonts(pdf))
            names << font.name;
        names.sort();
        return names;
    };
    const QStringList fontsBefore = fontNames(current);
    for (int round = 0; round < int(lines.size()); ++round) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        std::vector<TextBlock> blocks = doc.extractText(0);
        const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return !b.isImage && b.lines.size() == 1 && b.text.contains(lines[round]);
        });
        QVERIFY2(it != blocks.end(), qPrintable(lines[round]));
        const QRectF from = TurnedBox(it->originalRect, it->originalRotation).bounds();
        it->rect.translate(drag);
        for (TextBlock::Line& line : it->lines) {
            line.rect.translate(drag);
            for (TextBlock::Line::Word& word : line.words)
                word.rect.translate(drag);
        }
        const QStringList lineWords = it->text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QVERIFY2(doc.overlayOcrText(0, blocks, false), qPrintable(doc.lastError()));
        const QString out = path(QStringLiteral("moved-%1-%2.pdf").arg(fileTag()).arg(round));
        QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

        QCOMPARE(fontNames(out), fontsBefore);
        const pdftools::Result read = pdftools::run(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
        QVERIFY2(read.exitCode == 0 && read.err.isEmpty(), qPrintable(read.err));
        const pdftools::ReaderPageCounts counts = pdftools::readerPageCounts(out);
        QVERIFY(counts.qpdf == 1 && counts.poppler == 1 && counts.mupdf == 1);
        const QString mupdf = pdftools::mupdfText(out, 0).simplified();
        const QString mupdfBefore = pdftools::mupdfText(current, 0).simplified();  // a symbol face it reads as nothing
        // Every glyph of the line moved by the drag, each word as it stood.
        const QList<pdftools::WordBox> was = pdftools::wordBoxes(current, 0);
        const QList<pdftools::WordBox> now = pdftools::wordBoxes(out, 0);
        int found = 0, unique = 0;  // a line of leader dots has no word of its own: its pixels tell
        for (const pdftools::WordBox& before : was) {
            // A hyphen that ends a line is read as "-" whatever glyph drew it: such a word is left out.
            if (!lineWords.contains(before.text) || before.text.endsWith(QLatin1Char('-')) ||
                std::count_if(was.begin(), was.end(), [&](const pdftools::WordBox& w) { return w.text == before.text; }) != 1)
                continue;
            ++unique;
            QVERIFY2(mupdf.contains(before.text) || !mupdfBefore.contains(before.text),
                     qPrintable(before.text + QStringLiteral(" not in: ") + mupdf));
            const auto after = std::find_if(now.begin(), now.end(), [&](const pdftools::WordBox& w) { return w.text == before.text; });
            QVERIFY2(after != now.end(), qPrintable(before.text));
            const QRectF expected = before.box.translated(drag.x(), -drag.y());
            QVERIFY2(std::abs(after->box.left() - expected.left()) < 0.3 && std::abs(after->box.top() - expected.top()) < 0.3 &&
                         std::abs(after->box.width() - expected.width()) < 0.3 &&
                         std::abs(after->box.height() - expected.height()) < 0.3,
                     qPrintable(QStringLiteral("%1: %2,%3 %4x%5 for %6,%7 %8x%9").arg(before.text)
                                    .arg(after->box.left()).arg(after->box.top()).arg(after->box.width())
                                    .arg(after->box.height()).arg(expected.left()).arg(expected.top())
                                    .arg(expected.width()).arg(expected.height())));
            ++found;
        }
        QVERIFY(found > 0 || unique == 0);
        // Its area looks, in two readers, as the source's at its old place moved by the drag.
        constexpr double kDpi = 144;
        const double height = pdftools::pageSizes(current).value(0).height();
        const QRectF area(from.x(), height - from.bottom(), from.width(), from.height());
        const QPoint shift(qRound(drag.x() * kDpi / 72), qRound(-drag.y() * kDpi / 72));
        const int poppler = movedAreaDifferences(pdftools::renderPage(current, 0, int(kDpi)),
                                                 pdftools::renderPage(out, 0, int(kDpi)), area, kDpi, shift);
        const int mupdfPixels = movedAreaDifferences(pdftools::mupdfRenderPage(current, 0, int(kDpi)),
                                                     pdftools::mupdfRenderPage(out, 0, int(kDpi)), area, kDpi, shift);
        const auto pdfiumRender = [&](const QString& pdf) {
            PdfDocument read;
            return read.open(pdf) ? read.renderPage(0, kDpi / 72, 0) : QImage();
        };
        const int pdfium = movedAreaDifferences(pdfiumRender(current), pdfiumRender(out), area, kDpi, shift, 1);
        QVERIFY2(poppler >= 0 && poppler <= 2 && mupdfPixels >= 0 && mupdfPixels <= 2 && pdfium >= 0 && pdfium <= 2,
                 qPrintable(QStringLiteral("%1: %2 pixels differ in poppler, %3 in mupdf, %4 in pdfium")
                                .arg(lines[round]).arg(poppler).arg(mupdfPixels).arg(pdfium)));
        current = out;
    }
}
