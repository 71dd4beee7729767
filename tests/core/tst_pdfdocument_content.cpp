#include "tst_pdfdocument_content.h"

using namespace contenttest;


void TestPdfDocumentContent::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestPdfDocumentContent::cleanup()
{
    pdfengine::setFontRootForTesting(QString());
}

bool TestPdfDocumentContent::openPage(PdfDocument& doc, const PageSpec& page, const QString& name)
{
    return fixtures::writeFile(path(name), fixtures::pagesPdf({page})) && doc.open(path(name));
}

// The program's own searchable layer: written once however often it is
// rewritten, drawn nowhere, and removed without the printed text.
void TestPdfDocumentContent::ownLayerIsReplacedAndRemoved()
{
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Printed heading"), 72, 700, 14};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("layer.pdf")));
    QVERIFY(doc.removeInvisibleTextLayer(0));
    QVERIFY(!doc.isModified());  // nothing to remove: the page is untouched
    std::vector<TextBlock> blocks = doc.extractText(0);
    TextBlock shadow = ocrBlock(QStringLiteral("Printed heading"), blocks[0].rect);  // invisible copy of a printed line
    shadow.invisibleText = true;
    blocks.push_back(shadow);
    blocks.push_back(ocrBlock(QStringLiteral("Recognised line"), QRectF(72, 600, 200, 16)));
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    QVERIFY(doc.isModified());
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    QString text = doc.extractAllText(0);
    QCOMPARE(int(text.count(QStringLiteral("Printed heading"))), 1);
    QCOMPARE(int(text.count(QStringLiteral("Recognised line"))), 1);
    const double h = doc.pageSize(0).height();
    const QImage render = doc.renderPage(0, 1.0, 0);
    QVERIFY(inkBox(render, QRect(60, int(h - 620), 230, 26)).isNull());
    std::vector<TextBlock> extracted = doc.extractText(0);
    const auto recognised = blockWithText(extracted, QStringLiteral("Recognised line"));
    QVERIFY(recognised != extracted.end());
    QVERIFY(recognised->invisibleText);
    QVERIFY(qAbs(recognised->rect.x() - 72) < 3 && qAbs(recognised->rect.width() - 200) < 6);

    QVERIFY(doc.removeInvisibleTextLayer(0));
    text = doc.extractAllText(0);
    QVERIFY(!text.contains(QStringLiteral("Recognised")));
    QCOMPARE(int(text.count(QStringLiteral("Printed heading"))), 1);
    QVERIFY(doc.save(path(QStringLiteral("layer-saved.pdf"))));
    QVERIFY(!pdftools::words(path(QStringLiteral("layer-saved.pdf")), 0).contains(QStringLiteral("Recognised")));
    QVERIFY(!doc.removeInvisibleTextLayer(5));
    QVERIFY(!doc.lastError().isEmpty());
}

// The program replaces only the searchable layer it wrote itself; another
// tool's layer (render mode 3, or a fill too faint to see) stays and is read
// as invisible text.
void TestPdfDocumentContent::anotherToolsLayerIsKept()
{
    PageSpec page;
    TextRun faint{QStringLiteral("alphafour"), 72, 700, 12};
    faint.fillAlpha = 4.0 / 255;
    page.runs << faint;
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("alpha.pdf")));
    const std::vector<TextBlock> ocr{ocrBlock(QStringLiteral("new layer"), QRectF(72, 400, 100, 14))};
    QVERIFY(doc.overlayOcrText(0, ocr, false));
    QVERIFY(doc.overlayOcrText(0, ocr, false));
    const QString text = doc.extractAllText(0);
    QCOMPARE(int(text.count(QStringLiteral("alphafour"))), 1);
    QCOMPARE(int(text.count(QStringLiteral("new layer"))), 1);
    QVERIFY(doc.extractText(0).at(0).invisibleText);

    PdfDocument scan;
    QVERIFY(scan.open(fixtures::realPdf(QStringLiteral("tesseract-ru.pdf"))));
    const QString layer = scan.extractAllText(0);
    std::vector<TextBlock> blocks = scan.extractText(0);
    QVERIFY(scan.overlayOcrText(0, blocks, false));  // unedited: nothing added
    QCOMPARE(scan.extractAllText(0), layer);
    QVERIFY(!scan.isModified());
    // Recognising the page again adds no second copy of the lines the layer carries.
    for (TextBlock& block : blocks) {
        block.invisibleText = false;
        block.lines[0].spans.clear();
        block.lines[0].fontFamily.clear();
    }
    blocks.push_back(ocrBlock(QStringLiteral("margin note"), QRectF(300, 20, 80, 10)));
    QVERIFY(scan.overlayOcrText(0, blocks, false));
    QCOMPARE(scan.extractAllText(0).simplified(), (layer + QStringLiteral(" margin note")).simplified());
    // With every block deleted the whole layer goes, and the picture stays.
    const QImage picture = scan.renderPage(0, 1.0, 0);
    QVERIFY(scan.removeInvisibleTextLayer(0));
    QVERIFY(scan.extractAllText(0).trimmed().isEmpty());
    QCOMPARE(scan.renderPage(0, 1.0, 0), picture);
}

void TestPdfDocumentContent::fiveEditCyclesKeepTheLineInPlace_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::newRow("distilled") << "gs-helvetica.pdf" << "All files were carried over without loss.";
    QTest::newRow("1 Tf") << "onetf-helvetica.pdf" << "The meeting opened at ten in the morning.";
}

void TestPdfDocumentContent::fiveEditCyclesKeepTheLineInPlace()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    QString current = fixtures::realPdf(file);
    QString text = line;
    QRectF firstRect;
    float firstSize = 0;
    qint64 secondSize = 0;
    for (int cycle = 1; cycle <= 5; ++cycle) {
        PdfDocument doc;
        QVERIFY(doc.open(current));
        std::vector<TextBlock> blocks = doc.extractText(0);
        const auto block = blockWithText(blocks, text);
        QVERIFY2(block != blocks.end(), qPrintable(text));
        QCOMPARE(std::count_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return b.text.trimmed() == text; }), 1);
        // The box bottom is the baseline where no letter descends; the first
        // line of "1 Tf" has descenders, so its reference is the first rewrite.
        const bool descends = text.contains(QRegularExpression(QStringLiteral("[gjpqy]")));
        if (firstRect.isNull() && !descends) {
            firstRect = block->rect;
            firstSize = block->fontSize;
        } else if (!firstRect.isNull()) {
            QVERIFY2(qAbs(block->rect.y() - firstRect.y()) < 0.5, qPrintable(QString::number(block->rect.y() - firstRect.y())));
            QVERIFY(qAbs(block->fontSize - firstSize) < 0.02 * firstSize);
        }
        text = QStringLiteral("Edited line %1").arg(cycle);
        block->text = text;
        block->textEdited = true;
        QVERIFY(doc.overlayOcrText(0, blocks, false));
        current = path(QStringLiteral("cycle-%1-%2").arg(cycle).arg(file));
        QVERIFY(doc.save(current));
        QCOMPARE(int(pdftools::words(current, 0).join(QLatin1Char(' ')).count(text)), 1);
        if (cycle == 2)
            secondSize = QFileInfo(current).size();
    }
    // Each save replaces the program's own content rather than piling it up.
    QVERIFY(QFileInfo(current).size() - secondSize < 2048);
}

void TestPdfDocumentContent::movedImagesCoverTheirOldPlace_data()
{
    QTest::addColumn<bool>("inkRegion");
    QTest::newRow("ink region: only the ink") << true;
    QTest::newRow("picture: the whole rectangle") << false;
}

void TestPdfDocumentContent::movedImagesCoverTheirOldPlace()
{
    QFETCH(bool, inkRegion);
    // A grey field with a red cross over it.
    PageSpec page;
    page.extraContent = QStringLiteral("0.6 g 100 400 200 200 re f 1 0 0 RG 6 w 150 450 m 250 550 l S 150 550 m 250 450 l S\n");
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("ink.pdf")));
    std::vector<TextBlock> images = doc.extractImages(0);
    QCOMPARE(images.size(), size_t(1));
    QVERIFY(images[0].inkRegion);
    images[0].inkRegion = inkRegion;
    const QRectF old = images[0].rect;
    images[0].rect.translate(250, -300);
    QVERIFY(doc.overlayOcrText(0, images, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    const QColor centre = render.pixelColor(int(old.center().x()), int(h - old.center().y()));
    QCOMPARE(centre, QColor(Qt::white));  // the cross is gone
    // Inside the old rectangle but off the cross: grey stays only for ink regions.
    const QColor field = render.pixelColor(int(old.center().x()), int(h - old.bottom()) + 4);
    if (inkRegion)
        QVERIFY2(qAbs(field.red() - 153) < 6, qPrintable(field.name()));
    else
        QCOMPARE(field, QColor(Qt::white));
    const QColor moved = render.pixelColor(int(old.center().x()) + 250, int(h - old.center().y()) + 300);
    QVERIFY2(moved.red() > 180 && moved.green() < 90, qPrintable(moved.name()));
}

void TestPdfDocumentContent::movedOrTurnedBlockIsRedrawn_data()
{
    QTest::addColumn<QPointF>("shift");
    QTest::addColumn<double>("rotation");
    QTest::newRow("moved: whited out and redrawn") << QPointF(0, -200) << 0.0;  // far enough to see both places
    QTest::newRow("quarter turn: written turned") << QPointF() << 90.0;
}

void TestPdfDocumentContent::movedOrTurnedBlockIsRedrawn()
{
    QFETCH(QPointF, shift);
    QFETCH(double, rotation);
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Moving words"), 100, 500, 20};
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("move.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    QCOMPARE(blocks.size(), size_t(1));
    const QRectF old = blocks[0].rect;
    blocks[0].rect.translate(shift);
    blocks[0].lines[0].rect.translate(shift);
    blocks[0].rotation = rotation;
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    auto pixelRect = [h](const QRectF& r) { return QRect(int(r.x()), int(h - r.bottom()), int(r.width()) + 1, int(r.height()) + 1); };
    if (rotation == 0) {
        QVERIFY(inkBox(render, pixelRect(old)).isNull());
        QVERIFY(!inkBox(render, pixelRect(old.translated(shift))).isNull());
    } else {
        const QRect ink = inkBox(render, render.rect());
        QVERIFY2(ink.height() > 2 * ink.width(), "a quarter-turned line stands upright");
    }
}

void TestPdfDocumentContent::textOnTurnedPageReadsUpright()
{
    PageSpec page;
    page.rotate = 90;
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("turned-page.pdf")));
    const QSizeF size = doc.pageSize(0);
    QCOMPARE(size, QSizeF(842, 595));
    TextBlock block = ocrBlock(QStringLiteral("Upright on a turned page"), QRectF(100, 400, 300, 20), 20);
    block.textEdited = true;  // written visibly
    block.originalRect = QRectF();
    QVERIFY(doc.overlayOcrText(0, {block}, false));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const QRect ink = inkBox(render, render.rect());
    QVERIFY2(ink.width() > 4 * ink.height(), "the line runs across the displayed page");
    QVERIFY(qAbs(ink.left() - 100) < 6);
    QVERIFY(qAbs(ink.bottom() - (size.height() - 400)) < 12);
    const std::vector<TextBlock> extracted = doc.extractText(0);
    QVERIFY(!extracted.empty());
    QCOMPARE(extracted[0].text, QStringLiteral("Upright on a turned page"));
}

void TestPdfDocumentContent::highlightsShowOverPicturesWithClampedAlpha()
{
    QImage scan(300, 300, QImage::Format_RGB32);
    scan.fill(QColor(230, 230, 230));
    const QString picture = path(QStringLiteral("scan.png"));
    QVERIFY(scan.save(picture));
    PdfDocument doc;
    QVERIFY(doc.importDocument(picture));
    QVERIFY(doc.addHighlightAnnot(0, QRectF(10, 10, 50, 50), QColor(255, 0, 0, 255)));
    QVERIFY(doc.addMarkupAnnot(0, QRectF(80, 10, 50, 50), QColor(255, 0, 0, 0), 7));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    const QColor strong = render.pixelColor(35, int(h - 35));
    const QColor faint = render.pixelColor(105, int(h - 35));
    // Multiply over 230 grey: green = 230 * (1 - alpha).
    QVERIFY2(qAbs(strong.green() - int(230 * (1 - 120 / 255.0))) < 8, qPrintable(strong.name()));
    QVERIFY2(qAbs(faint.green() - int(230 * (1 - 20 / 255.0))) < 8, qPrintable(faint.name()));
    QVERIFY(strong.red() > 200);
    QVERIFY(doc.addHighlightAnnot(0, QRectF(10, 80, 20, 20), QColor()));  // invalid: yellow
    const QColor yellow = doc.renderPage(0, 1.0, 0).pixelColor(20, int(h - 90));
    QVERIFY2(yellow.blue() < yellow.green() - 40, qPrintable(yellow.name()));
}

void TestPdfDocumentContent::refusedWritesSayWhy()
{
    PdfDocument doc;
    QVERIFY(!doc.overlayOcrText(0, {ocrBlock(QStringLiteral("x"), QRectF(0, 0, 10, 10))}, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("refuse.pdf")));
    QVERIFY(!doc.overlayOcrText(0, {}, false));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.overlayOcrText(3, {ocrBlock(QStringLiteral("x"), QRectF(0, 0, 10, 10))}, false));
    QVERIFY(!doc.isModified());
    QVERIFY(!doc.addImageToPage(0, QPointF(0, 0), QSizeF(50, 0.1), QImage(4, 4, QImage::Format_RGB32)));
    QVERIFY(!doc.addFreeText(0, QRectF(0, 0, 10, 10), QString(), QString(), 10, Qt::black));
    QVERIFY(!doc.addStickyNote(0, QPointF(1, 1), QStringLiteral("a"), QStringLiteral("b")));
    QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(!doc.isModified());
}

void TestPdfDocumentContent::marksOfEachKindOnAScan_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("bottom");  // a band along the rectangle's bottom edge is tinted
    QTest::addColumn<bool>("middle");
    QTest::addColumn<bool>("top");
    QTest::newRow("highlight") << 0 << true << true << true;
    QTest::newRow("underline") << 1 << true << false << false;
    QTest::newRow("strike-out") << 2 << false << true << false;
}

// Each kind shows over a full-page picture in the markup colour: the
// highlight over the whole rectangle, the others as a bar.
void TestPdfDocumentContent::marksOfEachKindOnAScan()
{
    QFETCH(int, kind);
    QFETCH(bool, bottom);
    QFETCH(bool, middle);
    QFETCH(bool, top);
    QImage scan(300, 300, QImage::Format_RGB32);
    scan.fill(Qt::white);
    const QString picture = path(QStringLiteral("mark-scan.png"));
    QVERIFY(scan.save(picture));
    PdfDocument doc;
    QVERIFY(doc.importDocument(picture));
    const QRectF rect(20, 100, 200, 40);  // PDF points, y up
    QVERIFY(doc.addMarkupAnnot(0, rect, QColor(0, 0, 255), kind));
    const QImage render = doc.renderPage(0, 1.0, 0);
    const double h = doc.pageSize(0).height();
    auto tinted = [&](double y) {
        const QColor c = render.pixelColor(int(rect.center().x()), int(h - y));
        return c.red() < 200 && c.blue() > 200;
    };
    QCOMPARE(tinted(rect.top() + 0.5), bottom);
    QCOMPARE(tinted(rect.center().y()), middle);
    QCOMPARE(tinted(rect.bottom() - 2), top);
    QVERIFY(!tinted(rect.bottom() + 5));
}

void TestPdfDocumentContent::freeTextCarriesRussian_data()
{
    QTest::addColumn<QString>("family");
    QTest::newRow("Helvetica") << "Helvetica";
    QTest::newRow("Times-Roman") << "Times-Roman";
    QTest::newRow("Courier") << "Courier";
}

// Free text in any of the window's families is drawn through an embedded
// subset and read back as typed.
void TestPdfDocumentContent::freeTextCarriesRussian()
{
    QFETCH(QString, family);
    const QString text = QStringLiteral("Примечание: срок — 14 марта");
    PdfDocument doc;
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("free-ru.pdf")));
    QVERIFY(doc.addFreeText(0, QRectF(72, 400, 400, 40), text, family, 12, Qt::black));
    const QString saved = path(QStringLiteral("free-ru-saved.pdf"));
    QVERIFY(doc.save(saved));
    PdfDocument reread;
    QVERIFY(reread.open(saved));
    QCOMPARE(reread.extractAllText(0).trimmed(), text);
    const QList<pdftools::FontRow> fonts = pdftools::listFonts(saved);
    QVERIFY(!fonts.isEmpty());
    for (const pdftools::FontRow& font : fonts)
        QVERIFY2(font.embedded && font.subset, qPrintable(font.name));
}

// A second addition, after a save and a new open, keeps the first one's
// graphics states: no reader finds a name the page's resources lack.
void TestPdfDocumentContent::secondAdditionKeepsTheFirstsResources()
{
    PdfDocument doc;
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("two-additions.pdf")));
    QVERIFY(doc.addMarkupAnnot(0, QRectF(72, 600, 200, 20), QColor(255, 230, 0, 90), 0));
    const QString first = path(QStringLiteral("two-additions-1.pdf"));
    QVERIFY(doc.save(first));
    PdfDocument again;
    QVERIFY(again.open(first));
    QVERIFY(again.addFreeText(0, QRectF(72, 400, 400, 40), QStringLiteral("Вторая запись"), QStringLiteral("Helvetica"), 12,
                              Qt::black));
    const QString second = path(QStringLiteral("two-additions-2.pdf"));
    QVERIFY(again.save(second));
    const pdftools::Result render =
        pdftools::run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("20"), second, path(QStringLiteral("two"))});
    QCOMPARE(render.exitCode, 0);
    QVERIFY2(!render.err.contains(QStringLiteral("unknown")), qPrintable(render.err));
}

// Lines typed in the window are separate lines on the page, in order, the
// last on the rectangle's bottom.
void TestPdfDocumentContent::freeTextLinesStackInTheRectangle()
{
    PdfDocument doc;
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("free-lines.pdf")));
    QVERIFY(doc.addFreeText(0, QRectF(72, 400, 400, 40), QStringLiteral("Первая строка\nВторая строка"),
                            QStringLiteral("Helvetica"), 12, Qt::black));
    const QList<QRectF> first = doc.findText(0, QStringLiteral("Первая"));
    const QList<QRectF> second = doc.findText(0, QStringLiteral("Вторая"));
    QCOMPARE(first.size(), 1);
    QCOMPARE(second.size(), 1);
    QVERIFY(first[0].center().y() > second[0].center().y() + 8);
    QVERIFY(second[0].bottom() > 398 && second[0].bottom() < 410);
    QVERIFY(!doc.extractAllText(0).contains(QStringLiteral("строкаВторая")));
}

void TestPdfDocumentContent::editedParagraphsAreLaidOutOverTheBlock()
{
    TextBlock block = ocrBlock(QStringLiteral("one"), QRectF(100, 500, 120, 40), 10);
    TextBlock::Line second = block.lines[0];
    block.lines[0].rect = QRectF(100, 528, 120, 12);
    second.rect = QRectF(100, 514, 120, 12);
    TextBlock::Line third = second;
    third.rect = QRectF(100, 500, 120, 12);
    block.lines = {block.lines[0], second, third};
    QCOMPARE(pdfengine::linesForWriting(block).size(), size_t(3));  // untouched: the block's own lines

    block.textEdited = true;
    block.text = QStringLiteral("first\nsecond\nthird");
    std::vector<TextBlock::Line> lines = pdfengine::linesForWriting(block);
    QCOMPARE(lines.size(), size_t(3));
    QCOMPARE(lines[1].text, QStringLiteral("second"));
    QCOMPARE(lines[1].rect, QRectF(100, 514, 120, 12));  // same count: the old line places

    // 24 characters fit a line of 120 points at size 10: four lines, 14 points apart.
    block.text = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron");
    lines = pdfengine::linesForWriting(block);
    QCOMPARE(lines.size(), size_t(4));
    for (const TextBlock::Line& line : lines)
        QVERIFY(line.text.size() <= 24);
    QCOMPARE(lines[0].rect.y() + lines[0].rect.height(), 540.0);
    QCOMPARE(lines[1].rect.y(), lines[0].rect.y() - 14);

    TextBlock single = ocrBlock(QStringLiteral("short"), QRectF(0, 0, 30, 12), 10);
    single.textEdited = true;
    single.text = QStringLiteral("a much longer line than the block");
    QCOMPARE(pdfengine::linesForWriting(single).size(), size_t(1));
}

// Writing a page's own blocks back unchanged writes nothing and adds no second
// copy of its text.
void TestPdfDocumentContent::unchangedBlocksKeepTheWordCount_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("1 Tf") << "onetf-helvetica.pdf";
    QTest::newRow("TeX Type 3") << "tex-type3.pdf";
    QTest::newRow("OCR layer") << "tesseract-ru.pdf";
    QTest::newRow("turned page") << "gs-helvetica-rot90.pdf";
    QTest::newRow("distilled") << "gs-helvetica.pdf";
    QTest::newRow("groff object streams") << "groff-columns-objstm.pdf";
}

void TestPdfDocumentContent::unchangedBlocksKeepTheWordCount()
{
    QFETCH(QString, file);
    const QString source = fixtures::realPdf(file);
    PdfDocument doc;
    QVERIFY(doc.open(source));
    const QImage before = doc.renderPage(0, 1.0, 0);
    QVERIFY(doc.overlayOcrText(0, doc.extractText(0), false));
    QVERIFY(!doc.isModified());  // every line already stands on the page
    QCOMPARE(doc.renderPage(0, 1.0, 0), before);
    const QString out = path(QStringLiteral("unchanged-") + file);
    QVERIFY(doc.saveCopy(out));
    QCOMPARE(pdftools::words(out, 0).size(), pdftools::words(source, 0).size());
}

// An edited line of another tool's layer over a scan: the white-out covers
// the scanned ink of the old line, descenders and last letters included.
void TestPdfDocumentContent::scannedLineIsCoveredWhole()
{
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(QStringLiteral("tesseract-ru.pdf"))));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const auto block = blockWithText(blocks, QStringLiteral("заключили настоящий договор о нижеследующем."));
    QVERIFY(block != blocks.end());
    const QRectF old = block->rect;
    block->text = QStringLiteral("Итог");
    block->textEdited = true;
    QVERIFY(doc.overlayOcrText(0, blocks, false));
    const double scale = 100 / 72.0;
    const QImage render = doc.renderPage(0, scale, 0);
    const double height = doc.pageSize(0).height();
    // Right of the short new word, from just under the old line to just over it.
    const QRect rest(int((old.x() + old.width() / 3) * scale), int((height - old.bottom() - 2) * scale),
                     int((old.width() * 2 / 3 + 6) * scale), int((old.height() + 6) * scale));
    QVERIFY(inkBox(render, rest).isNull());
}

// A write that fails half-way reports why and leaves the page as it was.
void TestPdfDocumentContent::failedWriteLeavesThePageAsItWas()
{
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))));
    QVERIFY(doc.overlayOcrText(0, {ocrBlock(QStringLiteral("earlier layer"), QRectF(72, 300, 120, 14))}, false));
    const QString text = doc.extractAllText(0);
    const QImage render = doc.renderPage(0, 1.0, 0);
    std::vector<TextBlock> blocks = doc.extractText(0);
    blocks[0].text = QStringLiteral("A fine new heading");
    blocks[0].textEdited = true;
    blocks[1].text = QString::fromUcs4(U"\U0010FFFD\U0010FFFC no face draws this");
    blocks[1].textEdited = true;
    QVERIFY(!doc.overlayOcrText(0, blocks, false));
    QVERIFY(!doc.lastError().isEmpty());
    QCOMPARE(doc.extractAllText(0), text);
    QCOMPARE(doc.renderPage(0, 1.0, 0), render);
}

void TestPdfDocumentContent::damagedContentNeverCrashes_data()
{
    QTest::addColumn<QString>("content");
    QTest::newRow("unterminated string") << "BT /F1 12 Tf 72 600 Td (never closed Tj ET";
    QTest::newRow("unknown font") << "BT /F9 12 Tf 72 600 Td (ghost font) Tj ET";
    QTest::newRow("binary noise") << QString::fromLatin1("\x01\x02 q q q 1e999 0 0 1e999 0 0 cm BT ) ET Q Q ] >> <<");
    QTest::newRow("degenerate matrix") << "BT /F1 1 Tf 0 0 0 0 72 600 Tm (flat) Tj ET";
}

// Content that pdfium cannot fully parse: extraction and writing answer
// without crashing, and a refused write leaves the page as it was.
void TestPdfDocumentContent::damagedContentNeverCrashes()
{
    QFETCH(QString, content);
    PageSpec page;
    page.runs << TextRun{QStringLiteral("Readable line"), 72, 700, 14};
    page.extraContent = content;
    PdfDocument doc;
    QVERIFY(openPage(doc, page, QStringLiteral("damaged.pdf")));
    std::vector<TextBlock> blocks = doc.extractText(0);
    const QString before = doc.extractAllText(0);
    blocks.push_back(ocrBlock(QStringLiteral("Added line"), QRectF(72, 300, 150, 14)));
    blocks.back().textEdited = true;
    if (doc.overlayOcrText(0, blocks, false)) {
        QCOMPARE(int(doc.extractAllText(0).count(QStringLiteral("Added line"))), 1);
    } else {  // said why, and left the document as it was
        QVERIFY(!doc.lastError().isEmpty());
        QCOMPARE(doc.extractAllText(0), before);
        QVERIFY(!doc.isModified());
    }
    if (doc.addFreeText(0, QRectF(72, 200, 150, 14), QStringLiteral("Free words"), QString(), 12, Qt::black))
        QVERIFY(doc.extractAllText(0).contains(QStringLiteral("Free words")));
    else
        QVERIFY(!doc.lastError().isEmpty());
    QVERIFY(doc.removeInvisibleTextLayer(0));
    doc.findText(0, QStringLiteral("line"));
}

// Recognised words are written one by one at their own boxes, so other
// readers and the search find each word where it stands.
void TestPdfDocumentContent::recognisedWordsAreSearchableWhereTheyStand()
{
    PdfDocument doc;
    QVERIFY(openPage(doc, PageSpec(), QStringLiteral("words.pdf")));
    TextBlock block = ocrBlock(QStringLiteral("Счёт к оплате"), QRectF(100, 600, 300, 20), 14);
    const QList<QRectF> wordRects{QRectF(100, 600, 60, 20), QRectF(190, 604, 16, 16), QRectF(280, 600, 120, 20)};
    const QStringList texts{QStringLiteral("Счёт"), QStringLiteral("к"), QStringLiteral("оплате")};
    for (int i = 0; i < 3; ++i)
        block.lines[0].words.push_back({texts[i], wordRects[i], 90});
    QVERIFY(doc.overlayOcrText(0, {block}, false));
    const QString out = path(QStringLiteral("words-out.pdf"));
    QVERIFY(doc.save(out));
    const double height = doc.pageSize(0).height();
    const QList<pdftools::WordBox> boxes = pdftools::wordBoxes(out, 0);
    QCOMPARE(boxes.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(boxes[i].text, texts[i]);
        const QRectF expected(wordRects[i].x(), height - wordRects[i].bottom(), wordRects[i].width(), wordRects[i].height());
        QVERIFY2(qAbs(boxes[i].box.left() - expected.left()) < 2 && qAbs(boxes[i].box.right() - expected.right()) < 2,
                 qPrintable(texts[i]));
        const QList<QRectF> hits = doc.findText(0, texts[i]);
        QVERIFY(!hits.isEmpty());
        QVERIFY(wordRects[i].adjusted(-2, -2, 2, 2).contains(hits.first().center()));
    }
}

namespace {

// A scanned sheet: grey paper (noisy where asked), two black "words" of a
// line, 4 pixels per point.
QImage scannedSheet(QImage::Format format, bool noisy)
{
    QImage sheet(800, 400, QImage::Format_RGB32);
    sheet.fill(QColor(236, 232, 226));
    for (int y = 0; noisy && y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            if ((x * 7 + y * 13) % 11 == 0)
                sheet.setPixel(x, y, qRgb(226, 222, 216));
    QPainter painter(&sheet);
    painter.fillRect(QRect(100, 180, 200, 40), Qt::black);  // removed
    painter.fillRect(QRect(400, 180, 200, 40), Qt::black);  // kept
    painter.end();
    return sheet.convertToFormat(format);
}

// The page's picture as pdfimages decodes it, and its coding.
QImage firstPicture(const QString& pdf, const QString& prefix, int page, QString* coding)
{
    const QString number = QString::number(page + 1);
    pdftools::run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), QStringLiteral("-f"), number, QStringLiteral("-l"),
                                                number, pdf, prefix});
    for (const pdftools::ImageRow& row : pdftools::listImages(pdf))
        if (row.page == page + 1) {
            *coding = row.encoding + QLatin1Char(' ') + row.color;
            break;
        }
    return QImage(prefix + QStringLiteral("-000.png")).convertToFormat(QImage::Format_RGB32);
}

} // namespace

void TestPdfDocumentContent::deletedScanWordLeavesEveryPictureCoding_data()
{
    QTest::addColumn<QString>("coding");
    QTest::newRow("grey JPEG") << "grey jpeg";
    QTest::newRow("colour JPEG, its colour at half resolution") << "colour jpeg";
    QTest::newRow("grey, packed") << "grey";
    QTest::newRow("colour, packed") << "colour";
    QTest::newRow("black and white, one bit") << "mono";
    QTest::newRow("one picture drawn by two pages") << "shared";
}

// A word deleted on a scan goes from the page's picture, in the picture's
// own coding: its pixels become the paper around it, the other word's stay
// as they were, a JPEG stays a JPEG, and a picture another page draws too is
// copied for this page, the other page keeping it whole.
void TestPdfDocumentContent::deletedScanWordLeavesEveryPictureCoding()
{
    QFETCH(QString, coding);
    const bool jpeg = coding.endsWith(QStringLiteral("jpeg"));
    const bool shared = coding == QStringLiteral("shared");
    const QImage sheet = scannedSheet(coding.startsWith(QStringLiteral("grey")) || shared ? QImage::Format_Grayscale8
                                      : coding == QStringLiteral("mono")                 ? QImage::Format_Mono
                                                                                         : QImage::Format_RGB32,
                                      !jpeg);
    const QString source = path(QStringLiteral("sheet.pdf"));
    {
        PdfDocument made;
        QVERIFY(made.createEmpty());
        if (jpeg) {
            const QString file = path(QStringLiteral("sheet.jpg"));
            QVERIFY(sheet.save(file, "JPG", 60));
            QVERIFY(made.importDocument(file));
        } else {
            QVERIFY(made.appendRenderedPage(sheet, QSizeF(200, 100)));
        }
        QVERIFY(made.saveCopy(source));
    }
    QString opened = source;
    if (shared) {
        opened = path(QStringLiteral("twice.pdf"));
        QCOMPARE(pdftools::run(QStringLiteral("qpdf"), {source, QStringLiteral("--pages"), source, QStringLiteral("1"),
                                                        source, QStringLiteral("1"), QStringLiteral("--"), opened})
                     .exitCode,
                 0);
    }
    QString was;
    const QImage before = firstPicture(opened, path(QStringLiteral("before")), 0, &was);
    PdfDocument doc;
    QVERIFY(doc.open(opened));
    const QSizeF page = doc.pageSize(0);
    const double scale = before.width() / page.width();  // picture pixels per point
    TextBlock gone;
    gone.removed = gone.textEdited = true;
    gone.rect = gone.originalRect = QRectF(100 / scale, page.height() - 220 / scale, 200 / scale, 40 / scale);
    QVERIFY2(doc.overlayOcrText(0, {gone}, false), qPrintable(doc.lastError()));
    const QString out = path(QStringLiteral("deleted.pdf"));
    QVERIFY(doc.saveCopy(out));
    QString is;
    const QImage after = firstPicture(out, path(QStringLiteral("after")), 0, &is);
    QCOMPARE(is, was);
    QCOMPARE(after.size(), before.size());
    const QRgb paper = before.pixel(50, 50);
    const auto near = [](QRgb a, QRgb b, int by) {
        return std::abs(qRed(a) - qRed(b)) <= by && std::abs(qGreen(a) - qGreen(b)) <= by && std::abs(qBlue(a) - qBlue(b)) <= by;
    };
    constexpr int kJpegNoise = 24;
    for (int y = 184; y < 216; y += 3)
        for (int x = 104; x < 296; x += 3)
            QVERIFY2(near(after.pixel(x, y), paper, kJpegNoise), qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    // Past the white-out's growth and one JPEG block nothing changed.
    const QRect reach = QRect(100, 180, 200, 40).adjusted(-int(1.5 * scale) - 16, -int(1.5 * scale) - 16,
                                                          int(1.5 * scale) + 16, int(1.5 * scale) + 16);
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (!reach.contains(x, y) && before.pixel(x, y) != after.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("changed at %1,%2").arg(x).arg(y)));
    if (shared) {
        QString other;
        QCOMPARE(firstPicture(out, path(QStringLiteral("other")), 1, &other), before);
    }
}

namespace {

// poppler's complaints drawing every page of pdf: a name a page looks up
// that its resources lack ("XObject 'Im3' is unknown", "ExtGState
// 'pgf@ca0.25' is unknown").
QString popplerComplaints(const QString& pdf)
{
    QTemporaryDir dir;
    const pdftools::Result poppler =
        pdftools::run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("10"), pdf,
                                                   dir.filePath(QStringLiteral("page"))});
    return poppler.exitCode == 0 ? poppler.err : QStringLiteral("pdftoppm failed: ") + poppler.err;
}

// A page of a file: the file and the page's index in it.
using FilePage = std::pair<QString, int>;

// The pages of pdf but the one edited that poppler draws otherwise than the
// pages they show (by page of pdf), as 1-based numbers.
QList<int> pagesDrawnOtherwise(const QString& pdf, const QList<FilePage>& shows, int edited)
{
    constexpr int kDpi = 40;
    QList<int> changed;
    for (int page = 0; page < shows.size(); ++page)
        if (page != edited && pdftools::renderPage(pdf, page, kDpi) !=
                                  pdftools::renderPage(shows[page].first, shows[page].second, kDpi))
            changed << page + 1;
    return changed;
}

// Settings of a compressed copy that keeps the objects and has no picture
// to re-encode: its pages draw as the document's.
PdfDocument::CompressionOptions keptPictures()
{
    return {.imageDpi = 600, .recompressSmallImages = false, .rasterizePages = false};
}

}  // namespace

void TestPdfDocumentContent::formsKeepWhatTheyDrawWithThePagesResources_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("word");  // of the line edited
    QTest::addColumn<QString>("edit");  // "replace" (the word), "delete" or "move" (the line, 24 pt right)
    QTest::addColumn<int>("turn");      // the page turned right: 0 not, 1 before the edit, 2 after it, 3 not
                                        // but put after a page of another document
    for (const char* name : {"no-resources", "some-resources1", "some-resources2"})
        for (const char* twin : {"", "-out"}) {
            const QString file = QStringLiteral("qpdf-form-xobjects-%1%2.pdf").arg(QLatin1String(name), QLatin1String(twin));
            QTest::addRow("qpdf %s%s", name, twin) << file << "Page" << "replace" << 0;
            QTest::addRow("qpdf %s%s, turned after", name, twin) << file << "Page" << "replace" << 2;
        }
    QTest::newRow("qpdf some-resources2, turned before") << "qpdf-form-xobjects-some-resources2.pdf" << "Page"
                                                         << "replace" << 1;
    const QString made = QStringLiteral("form-page-resources.pdf");
    QTest::newRow("form without resources, heading replaced") << made << "Monthly" << "replace" << 0;
    QTest::newRow("form without resources, heading deleted") << made << "Monthly" << "delete" << 0;
    QTest::newRow("form without resources, turned before") << made << "Monthly" << "replace" << 1;
    QTest::newRow("form without resources, turned after") << made << "Monthly" << "replace" << 2;
    QTest::newRow("form without resources, its own line replaced") << made << "Figures" << "replace" << 0;
    QTest::newRow("form without resources, put after another document's page") << made << "Monthly" << "replace" << 3;
    // Lines selecting fonts they never show with.
    const QString guide = QStringLiteral("reportlab-guide.pdf");
    QTest::newRow("ReportLab, a word replaced") << guide << "bottomup" << "replace" << 0;
    QTest::newRow("ReportLab, a line deleted") << guide << "pageCompression" << "delete" << 0;
    QTest::newRow("ReportLab, a line moved") << guide << "verbosity" << "move" << 0;
    // Pages drawing with one /ExtGState of them all, at 25 and 45 % opacity.
    const QString shared = QStringLiteral("pdftex-tikz-shared-states.pdf");
    QTest::newRow("pgf manual, shared graphics states, a word replaced") << shared << "blue" << "replace" << 0;
    QTest::newRow("pgf manual, shared graphics states, a line deleted") << shared << "blue" << "delete" << 0;
    QTest::newRow("pgf manual, shared graphics states, turned before") << shared << "blue" << "replace" << 1;
    // Comments without appearances of their own, which pdfium makes for them when it draws the pages.
    QTest::newRow("comments drawn by the view, a word replaced") << "dvipdfmx-comments.pdf" << "However,"
                                                                 << "replace" << 0;
}

// An edit of a page whose forms draw with the page's resources (no or only
// some of their own), or whose resources other pages share, the page turned
// or not: the saved page keeps every picture and line the forms draw, and
// every name its content and forms look up still resolves, as poppler and
// pdfimages read the file. No other page changes, in the open document nor
// in any file written after the edit (the saved one, the compressed copy
// keeping objects and the pages extracted), whatever drawing the pages
// made in the open document.
void TestPdfDocumentContent::formsKeepWhatTheyDrawWithThePagesResources()
{
    QFETCH(QString, file);
    QFETCH(QString, word);
    QFETCH(QString, edit);
    QFETCH(int, turn);
    const QString source = fixtures::realPdf(file);
    PdfDocument doc;
    const int page = turn == 3 ? 1 : 0;
    QVERIFY(doc.open(page == 1 ? fixtures::realPdf(QStringLiteral("groff-memo.pdf")) : source));
    if (page == 1)
        QVERIFY(doc.appendPage(source, 0));
    if (turn == 1)
        QVERIFY(doc.rotatePage(0, 90));
    std::vector<TextBlock> blocks = doc.extractText(page);
    const auto block = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
        return !b.isImage && b.lines.size() == 1 && b.text.split(QLatin1Char(' ')).contains(word);
    });
    QVERIFY2(block != blocks.end(), qPrintable(word));
    const QString line = block->text;
    const QRectF box = shownBox(block->originalRect, block->originalRotation);
    QList<QRectF> edited{box};
    if (edit == QStringLiteral("replace")) {
        fixtures::correctWord(*block, 0, line.split(QLatin1Char(' ')).indexOf(word), QStringLiteral("Qux"));
    } else if (edit == QStringLiteral("delete")) {
        block->removed = true;
    } else {
        block->rect.translate(24, 0);
        edited << box.translated(24, 0);
    }
    QVERIFY2(doc.overlayOcrText(page, blocks, false), qPrintable(doc.lastError()));
    const double height = doc.pageSize(page).height();
    // The page each page of the document shows.
    QList<FilePage> shows;
    for (int index = 0; index < doc.pageCount(); ++index)
        shows << (turn == 3 && index == 0 ? FilePage{fixtures::realPdf(QStringLiteral("groff-memo.pdf")), 0}
                                          : FilePage{source, index - page});
    // The open document draws them too: the view and its thumbnails.
    for (int index = 0; index < doc.pageCount(); ++index) {
        PdfDocument original;
        QVERIFY(original.open(shows[index].first));
        const QImage was = original.renderPage(shows[index].second, 100 / 72.0, 0);
        if (index != page)
            QVERIFY2(doc.renderPage(index, 100 / 72.0, 0) == was, qPrintable(QString::number(index + 1)));
        else if (turn == 0 || turn == 3) {
            const double shown = changedShareOutside(was, doc.renderPage(page, 100 / 72.0, 0), edited, height, 100);
            QVERIFY2(shown <= 0.0002, qPrintable(QString::number(shown)));
        }
    }
    if (turn == 2)
        QVERIFY(doc.rotatePage(0, 90));
    const QString name = QStringLiteral("forms-%1-%2-%3").arg(QFileInfo(file).baseName(), edit).arg(turn);
    const QString out = path(name + QStringLiteral(".pdf"));
    const QString compressed = path(name + QStringLiteral("-compressed.pdf"));
    const QString extracted = path(name + QStringLiteral("-extracted.pdf"));
    QList<int> every;
    for (int index = 0; index < doc.pageCount(); ++index)
        every << index;
    QVERIFY2(doc.compressTo(compressed, keptPictures()), qPrintable(doc.lastError()));
    QVERIFY2(doc.extractPageSubset(every, extracted), qPrintable(doc.lastError()));
    QVERIFY2(doc.save(out), qPrintable(doc.lastError()));

    // Every name resolves for poppler: no "XObject 'Im3' is unknown", no "Unknown font tag".
    for (const QString& written : {out, compressed, extracted}) {
        const QString complaints = popplerComplaints(written);
        QVERIFY2(!complaints.contains(QStringLiteral("unknown"), Qt::CaseInsensitive), qPrintable(complaints));
        QCOMPARE(pagesDrawnOtherwise(written, shows, page), QList<int>());
    }
    // Every picture the forms draw is drawn still.
    QCOMPARE(pdftools::listImages(out).size(), pdftools::listImages(source).size());
    // Every word but the edited line's stays, the forms' too.
    const QMap<QString, int> before = wordCounts(pdftools::words(source, 0));
    const QMap<QString, int> after = wordCounts(pdftools::words(out, page));
    const QMap<QString, int> lineWords = wordCounts(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    for (auto it = before.begin(); it != before.end(); ++it)
        QVERIFY2(after.value(it.key()) >= it.value() - lineWords.value(it.key()), qPrintable(it.key()));
    if (edit == QStringLiteral("replace"))
        QCOMPARE(after.value(QStringLiteral("Qux")), 1);
    if (turn == 1 || turn == 2)
        return;
    const double share = changedShareOutside(pdftools::renderPage(source, 0, 100), pdftools::renderPage(out, page, 100),
                                             edited, height, 100);
    QVERIFY2(share <= 0.0002, qPrintable(QString::number(share)));
}

QTEST_GUILESS_MAIN(TestPdfDocumentContent)
