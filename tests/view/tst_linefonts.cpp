#include "BlockPainting.h"
#include "BlockTextDocument.h"
#include "EditedTextPreview.h"
#include "LineFonts.h"
#include "ViewTestSupport.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>

using namespace viewtest;

namespace {

TextBlock::Line nativeLine(const QString& text, const QString& family, const QRectF& rect, float size)
{
    TextBlock::Line line;
    line.text = text;
    line.rect = rect;
    line.fontFamily = family;
    line.fontSize = size;
    line.spans.push_back({text, size, family});
    return line;
}

QList<int> fragmentPixelSizes(const QTextDocument& document)
{
    QList<int> sizes;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            sizes << it.fragment().charFormat().font().pixelSize();
    return sizes;
}

} // namespace

class TestLineFonts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pdfNamesMapToFamilies_data();
    void pdfNamesMapToFamilies();
    void lineFontsResolveToInstalledFaces_data();
    void lineFontsResolveToInstalledFaces();
    void nativeItalicNeedsAnItalicName();
    void fittedSizeIsNearestToTheTarget();
    void nativeLineFontFillsItsBox();
    void richSpansDifferFromTheirLine_data();
    void richSpansDifferFromTheirLine();
    void linesBeyondTheModelAndShownLines();
    void blanksBecomeUnderlinedNoBreakSpaces();
    void documentPixelSizesScale();
    void previewErasesOldInkAndDrawsTheFittedText();
    void nativeLineKeepsItsSizeAndStretchesToItsWidth_data();
    void nativeLineKeepsItsSizeAndStretchesToItsWidth();
    void previewShowsEachRunInItsGlyphsFill();
    void justifiedPreviewKeepsItsBlanks_data();
    void justifiedPreviewKeepsItsBlanks();

private:
    QTemporaryDir m_dir;
};

void TestLineFonts::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestLineFonts::pdfNamesMapToFamilies_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::newRow("subset bold times") << "ABCDEF+TimesNewRomanPS-BoldMT" << "Times New Roman";
    QTest::newRow("helvetica") << "Helvetica-Oblique" << "Arial";
    QTest::newRow("liberation sans") << "Liberation Sans" << "Liberation Sans";
    QTest::newRow("unknown keeps its case") << "QWERTY+MyriadPro-Regular" << "MyriadPro-Regular";
    QTest::newRow("empty") << "" << "Arial";
}

void TestLineFonts::pdfNamesMapToFamilies()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QCOMPARE(mapPdfFont(name), family);
}

// Families are compared with what this machine resolves them to: Debian has
// no "Times New Roman", fontconfig gives a metric-compatible face instead.
void TestLineFonts::lineFontsResolveToInstalledFaces_data()
{
    QTest::addColumn<QString>("pdfName");
    QTest::addColumn<QStringList>("faces"); // the line shows in one of these
    QTest::addColumn<bool>("bold");
    const QStringList serif{"Liberation Serif", "Nimbus Roman", "DejaVu Serif"};
    const QStringList sans{"Liberation Sans", "Nimbus Sans", "DejaVu Sans"};
    QTest::newRow("times") << "Times-Roman" << QStringList{"Times New Roman"} << false;
    QTest::newRow("helvetica") << "Helvetica" << QStringList{"Arial"} << false;
    QTest::newRow("courier") << "Courier" << QStringList{"Courier New"} << false;
    QTest::newRow("bold by name") << "ABCDEF+Times-Bold" << QStringList{"Times New Roman"} << true;
    QTest::newRow("TeX roman") << "CMR10" << serif << false;
    QTest::newRow("TeX bold") << "CMBX12" << serif << true;
    QTest::newRow("unknown sans") << "QWERTY+SomeSans-Regular" << sans << false;
}

// Unknown names fall back by what they say, not to whatever face the system
// picks; a face named bold is drawn bold.
void TestLineFonts::lineFontsResolveToInstalledFaces()
{
    QFETCH(QString, pdfName);
    QFETCH(QStringList, faces);
    QFETCH(bool, bold);
    TextBlock block;
    block.rect = QRectF(0, 0, 200, 14);
    const TextBlock::Line line = nativeLine(QStringLiteral("Text"), pdfName, block.rect, 12);
    const QFont font = lineRenderFont(line, block, 1.0, line.text, false, 1.0);
    const QString resolved = QFontInfo(font).family();
    QStringList wanted;
    for (const QString& face : faces)
        wanted << QFontInfo(QFont(face)).family();
    QVERIFY2(wanted.contains(resolved), qPrintable(resolved));
    QCOMPARE(font.weight() >= QFont::Bold, bold);
}

void TestLineFonts::nativeItalicNeedsAnItalicName()
{
    TextBlock block;
    TextBlock::Line line = nativeLine(QStringLiteral("slanted?"), QStringLiteral("Times-Roman"),
                                      QRectF(0, 0, 80, 12), 11);
    line.italic = true;
    QVERIFY(!effectiveLineItalic(line, block));
    QVERIFY(!lineRenderFont(line, block, 1.0, line.text, false, 1.0).italic());
    line.fontFamily = QStringLiteral("Times-Italic");
    QVERIFY(effectiveLineItalic(line, block));
    // A recognised line (no runs) keeps the flag as found.
    line.spans.clear();
    line.fontFamily = QStringLiteral("Times-Roman");
    QVERIFY(effectiveLineItalic(line, block));
}

void TestLineFonts::fittedSizeIsNearestToTheTarget()
{
    const QFont font(QStringLiteral("Liberation Serif"));
    const QString sample = QStringLiteral("Договор");
    const double target = 20.0;
    const int px = fittedFontPixelSize(font, sample, 4, target);
    const auto distance = [&](int size) {
        QFont probe = font;
        probe.setPixelSize(size);
        return std::abs(QFontMetricsF(probe).tightBoundingRect(sample).height() - target);
    };
    QVERIFY(distance(px) <= distance(px - 1));
    QVERIFY(distance(px) <= distance(px + 1));
    QFont sized = font;
    sized.setPixelSize(500);
    QCOMPARE(fittedFontPixelSize(sized, sample, 8, 0.5), 120); // no target: the size, capped
}

void TestLineFonts::nativeLineFontFillsItsBox()
{
    TextBlock block;
    block.rect = QRectF(50, 100, 300, 14);
    const TextBlock::Line line = nativeLine(QStringLiteral("Hello there"), QStringLiteral("Helvetica"),
                                            QRectF(50, 100, 70, 12), 12);
    for (const double zoom : {1.0, 2.0}) {
        const QFont font = lineRenderFont(line, block, zoom, line.text, false, 1.0);
        const QFontMetricsF metrics(font);
        // Letter spacing brings the advance close to the line's width on screen.
        QVERIFY2(std::abs(metrics.horizontalAdvance(line.text) - 70 * zoom) < 0.1 * 70 * zoom,
                 qPrintable(QString::number(metrics.horizontalAdvance(line.text))));
        QVERIFY(metrics.tightBoundingRect(line.text).height() <= 1.04 * 12 * zoom + 1);
    }
}

void TestLineFonts::richSpansDifferFromTheirLine_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("rich");
    QTest::newRow("same style") << "" << false;
    QTest::newRow("bold run") << "bold" << true;
    QTest::newRow("superscript") << "sup" << true;
    QTest::newRow("size within tolerance") << "size+0.1" << false;
    QTest::newRow("bigger") << "size+1" << true;
    QTest::newRow("other family") << "family" << true;
    QTest::newRow("two runs") << "two" << true;
    QTest::newRow("invisible line") << "invisible" << false;
}

void TestLineFonts::richSpansDifferFromTheirLine()
{
    QFETCH(QString, change);
    QFETCH(bool, rich);
    TextBlock::Line line = nativeLine(QStringLiteral("abc"), QStringLiteral("Arial"), QRectF(0, 0, 30, 10), 10);
    TextBlock::Line::Span& span = line.spans.front();
    const auto is = [&change](const char* name) { return change == QLatin1String(name); };
    span.bold = is("bold");
    span.superscript = is("sup");
    span.fontSize += is("size+0.1") ? 0.1f : is("size+1") ? 1.0f : 0.0f;
    if (is("family"))
        span.fontFamily = QStringLiteral("Courier");
    line.invisibleText = is("invisible");
    if (is("two"))
        line.spans.push_back(span);
    QCOMPARE(lineHasNativeRichSpans(line), rich);
}

void TestLineFonts::linesBeyondTheModelAndShownLines()
{
    TextBlock block;
    block.rect = QRectF(40, 600, 300, 60);
    for (int i = 0; i < 3; ++i) {
        TextBlock::Line line;
        line.text = QStringLiteral("line %1").arg(i);
        line.rect = QRectF(45, 645 - i * 15, 200, 12); // tops 15 points apart
        block.lines.push_back(line);
    }
    const TextBlock::Line beyond = visualLineForIndex(block, 4);
    QVERIFY(beyond.text.isEmpty());
    QCOMPARE(beyond.rect.x(), 40.0);
    QCOMPARE(beyond.rect.width(), 300.0);
    // Last top 627, two pitches of 15 further down.
    QCOMPARE(beyond.rect.y() + beyond.rect.height(), 627.0 - 2 * 15);
    QCOMPARE(visualLineForIndex(block, 1).text, QStringLiteral("line 1"));
    TextBlock empty;
    empty.rect = QRectF(1, 2, 3, 4);
    QCOMPARE(visualLineForIndex(empty, 0).rect, empty.rect);
    // The editor shows the model's lines while the text still fits them.
    block.lines.resize(2);
    block.text = QStringLiteral("line 0 line 1");
    QCOMPARE(displayLinesForEditor(block), QStringList({"line 0", "line 1"}));
    block.text = QStringLiteral("uno\ndos\ntres");
    QCOMPARE(displayLinesForEditor(block), QStringList({"uno", "dos", "tres"}));
}

void TestLineFonts::blanksBecomeUnderlinedNoBreakSpaces()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    insertTextWithRaisedPlaceholderUnderlines(cursor, QStringLiteral("Подпись ____ a_b"), QTextCharFormat());
    const QString plain = document.toRawText(); // toPlainText turns no-break spaces into spaces
    QCOMPARE(plain, QStringLiteral("Подпись ") + QString(4, QChar(0x00A0)) + QStringLiteral(" a_b"));
    QTextCursor probe(&document);
    probe.setPosition(10);
    QVERIFY(probe.charFormat().fontUnderline());
    probe.setPosition(15);
    QVERIFY(!probe.charFormat().fontUnderline());
}

void TestLineFonts::documentPixelSizesScale()
{
    QTextDocument document;
    document.setHtml(QStringLiteral("<p style='margin-left:10px'><span style='font-size:12px'>a</span>"
                                    "<span style='font-size:9pt'>b</span></p>"));
    scaleDocumentFontPixels(&document, 1.0);
    QCOMPARE(fragmentPixelSizes(document), QList<int>({12, -1}));
    scaleDocumentFontPixels(&document, 2.0);
    QCOMPARE(fragmentPixelSizes(document), QList<int>({24, 18}));
    QCOMPARE(document.begin().blockFormat().leftMargin(), 20.0);
    scaleDocumentFontPixels(&document, 0.5);
    QCOMPARE(fragmentPixelSizes(document), QList<int>({12, 9}));
}

// The old word goes from the page and the new one is drawn at the size that
// fills the line, starting at the line's corner.
void TestLineFonts::previewErasesOldInkAndDrawsTheFittedText()
{
    fixtures::PageSpec pageSpec;
    pageSpec.width = 400;
    pageSpec.height = 300;
    pageSpec.runs = {{QStringLiteral("MMMMMMMM"), 50, 200, 30}};
    auto doc = openPdf(m_dir, QStringLiteral("preview.pdf"), fixtures::pagesPdf({pageSpec}));
    QVERIFY(doc);
    auto view = makeView(600, 500);
    QVERIFY(view);
    view->setDocument(doc.get());
    view->setZoom(1.0);
    std::vector<TextBlock> blocks = doc->extractText(0);
    QCOMPARE(int(blocks.size()), 1);
    const QRect oldOnScreen = view->pdfRectToScreenRect(0, blocks[0].rect).toRect();
    fixtures::setLineText(blocks[0], 0, QStringLiteral("ii"));
    view->setOcrBlocks(blocks, 0, true);
    view->setEditMode(true);
    const QImage shown = grabViewport(*view);

    const QRect r = view->ocrBlockScreenRect(0);
    const QRect ink = darkPixelBounds(shown, r.adjusted(-2, -2, 2, 2));
    QVERIFY(!ink.isEmpty());
    // Erased: nothing dark in the right half of the old word.
    QVERIFY(darkPixelBounds(shown, oldOnScreen.adjusted(oldOnScreen.width() / 2, 2, -2, -2)).isEmpty());
    const TextBlock& block = view->blocks()[0];
    const TextBlock::Line& line = block.lines[0];
    const QFont font = lineRenderFont(line, block, view->zoom(), QStringLiteral("ii"), true, 1.0);
    const QRectF expected = QFontMetricsF(font).tightBoundingRect(QStringLiteral("ii"));
    QVERIFY2(std::abs(ink.height() - expected.height()) <= 2, qPrintable(QStringLiteral("%1 vs %2")
                                                                          .arg(ink.height())
                                                                          .arg(expected.height())));
    const QPointF corner = view->pdfRectToScreenRect(0, line.rect).topLeft();
    QVERIFY(std::abs(ink.left() - corner.x()) <= 2);
    QVERIFY(std::abs(ink.top() - corner.y()) <= 2);
    view->setDocument(nullptr);
}

// A face wider or narrower than the page's glyphs is stretched to the line's
// width at the line's own size, never shrunk; added text adds its own width.
void TestLineFonts::nativeLineKeepsItsSizeAndStretchesToItsWidth_data()
{
    QTest::addColumn<QString>("pdfName");
    QTest::addColumn<double>("widthFactor");  // the page's line against the face's own width
    QTest::addColumn<double>("zoom");
    QTest::newRow("page narrower, TeX") << "CMR10" << 0.75 << 1.0;
    QTest::newRow("page narrower, zoom 2") << "NEANVZ+CMR10" << 0.8 << 2.0;
    QTest::newRow("page wider") << "BAAAAA+NotoSans-Bold" << 1.3 << 1.0;
    QTest::newRow("same face") << "Times-Roman" << 1.0 << 1.5;
}

void TestLineFonts::nativeLineKeepsItsSizeAndStretchesToItsWidth()
{
    QFETCH(QString, pdfName);
    QFETCH(double, widthFactor);
    QFETCH(double, zoom);
    const QString text = QStringLiteral("Поставщик обязан выполнить работы");
    const QString longer = text + QStringLiteral(" в срок");
    constexpr float kSize = 12;
    QFont face(displayFamilyForPdfFont(pdfName));
    face.setWeight(fontNameLooksBold(pdfName) ? QFont::Bold : QFont::Normal);
    face.setPixelSize(int(kSize));
    const double natural = QFontMetricsF(face).tightBoundingRect(text).width();
    TextBlock block;
    block.rect = QRectF(40, 100, natural * widthFactor, 0.9 * kSize);
    const TextBlock::Line line = nativeLine(text, pdfName, block.rect, kSize);

    const QFont font = lineRenderFont(line, block, zoom, longer, true, 1.0);
    QCOMPARE(font.pixelSize(), int(std::lround(kSize * zoom)));
    const QFontMetricsF metrics(font);
    const double target = block.rect.width() * zoom;
    const double shown = metrics.tightBoundingRect(text).width();
    QVERIFY2(std::abs(shown - target) <= 0.02 * target, qPrintable(QStringLiteral("%1 vs %2").arg(shown).arg(target)));
    face.setPixelSize(font.pixelSize());
    const QFontMetricsF unstretched(face);
    const double added = metrics.horizontalAdvance(longer) - metrics.horizontalAdvance(text);
    const double addedUnstretched = unstretched.horizontalAdvance(longer) - unstretched.horizontalAdvance(text);
    QVERIFY2(std::abs(added - widthFactor * addedUnstretched) <= 0.05 * addedUnstretched,
             qPrintable(QStringLiteral("%1 vs %2").arg(added).arg(widthFactor * addedUnstretched)));
}

// A blue link inside a black line: the edited line shows black as the PDF's
// black, not the grey a render's anti-aliased ink averages to, and the link blue.
void TestLineFonts::previewShowsEachRunInItsGlyphsFill()
{
    fixtures::PageSpec pageSpec;
    pageSpec.width = 500;
    pageSpec.height = 200;
    const QColor blue(20, 60, 220);
    pageSpec.runs = {{QStringLiteral("Visit"), 50, 100, 24},
                     {QStringLiteral("portal"), 112, 100, 24, blue},
                     {QStringLiteral("today"), 190, 100, 24}};
    auto doc = openPdf(m_dir, QStringLiteral("link.pdf"), fixtures::pagesPdf({pageSpec}));
    QVERIFY(doc);
    std::vector<TextBlock> blocks = doc->extractText(0);
    QCOMPARE(int(blocks.size()), 1);
    TextBlock& block = blocks.front();
    QVERIFY(block.lines.front().spans.size() >= 3);

    QTextEdit editor;
    buildSingleLineDocument(&editor, block, 1.0);
    QTextCursor cursor = editor.textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("!"));
    applyEditedTextDocument(block, &editor, false, 1.0);
    QVERIFY(block.textEdited);

    QImage image(520, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        drawEditedTextPreview(painter, block, QRectF(10, 10, block.rect.width() + 40, block.rect.height() + 10), 1.0);
    }
    int darkest = 255, bluePixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 180 && c.red() < 80 && c.green() < 110)
                ++bluePixels;
            if (std::abs(c.red() - c.blue()) < 8 && std::abs(c.green() - c.blue()) < 8)
                darkest = std::min(darkest, qGray(c.rgb()));
        }
    QVERIFY2(darkest <= 16, qPrintable(QString::number(darkest)));
    QVERIFY2(bluePixels > 30, qPrintable(QString::number(bluePixels)));
}

void TestLineFonts::justifiedPreviewKeepsItsBlanks_data()
{
    QTest::addColumn<double>("width");  // points the justified line spans
    QTest::newRow("wider than the face sets it") << 420.0;
    QTest::newRow("narrower than the face sets it") << 230.0;
}

// A justified line of a TeX page (a face with no blank of its own) typed
// into: the preview spreads it as the page writer will, its blanks never
// narrower than the writer keeps them, its glyphs narrowed where its words do
// not fit.
void TestLineFonts::justifiedPreviewKeepsItsBlanks()
{
    QFETCH(double, width);
    constexpr double kZoom = 4;
    const QString text = QStringLiteral("The entities that R creates and handles are known as objects");
    TextBlock::Line line;
    line.text = text;
    line.fontFamily = QStringLiteral("CMR10");
    line.fontSize = 10;
    line.rect = QRectF(50, 500, width, 12);
    line.spans = {TextBlock::Line::Span{text, 10, line.fontFamily}};
    line.placement = TextBlock::Line::Placement{QPointF(0, 3), width, Qt::AlignJustify};
    TextBlock block;
    block.text = text;
    block.lines = {line};
    block.rect = block.originalRect = line.rect;
    block.fontFamily = line.fontFamily;
    block.fontSize = 10;
    block.textEdited = true;
    QImage image(int((width + 40) * kZoom), int(24 * kZoom), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        drawEditedTextPreview(painter, block, QRectF(10, 10, width * kZoom, 12 * kZoom), kZoom);
    }
    // Blanks are runs of ink-free columns two thirds of the writer's narrowest
    // blank wide, which the letters of a word leave nowhere.
    const int least = int(kMinJustifiedGapOfSize * 10 * kZoom * 2 / 3);
    int blanks = 0, run = 0;
    bool inked = false;
    for (int x = 0; x < image.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y)
            ink = qGray(image.pixel(x, y)) < 160;
        if (ink) {
            blanks += inked && run >= least;
            inked = true;
            run = 0;
        } else {
            ++run;
        }
    }
    QVERIFY2(blanks >= int(text.count(QLatin1Char(' '))), qPrintable(QString::number(blanks)));
}

QTEST_MAIN(TestLineFonts)
#include "tst_linefonts.moc"
