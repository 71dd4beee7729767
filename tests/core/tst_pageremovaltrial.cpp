#include "IncrementalUpdate.h"
#include "MovedContent.h"
#include "PageGlyphRemoval.h"
#include "MovedBoxCheck.h"
#include "PageRemovalTrial.h"
#include "PdfEngineInternal.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QPainter>
#include <QtTest>

#include <limits>

namespace {

// The file's bytes with content drawn over its first page, appended as an update.
QByteArray withContent(const QByteArray& original, const std::string& draw)
{
    pdfengine::QpdfFile file;
    QString error;
    if (!file.load(original, &error))
        return {};
    QByteArray out;
    bool appended = false;
    file.run([&](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().front();
        QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf, draw);
        page.addPageContents(stream, false);
        appended = pdfengine::IncrementalUpdate::append(
            pdf, original,
            {{stream.getObjectID(), stream.getGeneration()}, {page.getObjectID(), page.getGeneration()}}, &out, &error);
    }, &error);
    return appended ? out : QByteArray();
}

// The same with a black rectangle (points).
QByteArray withMark(const QByteArray& original, const QRectF& mark)
{
    return withContent(original, QStringLiteral("q 0 g %1 %2 %3 %4 re f Q\n")
                                     .arg(mark.x()).arg(mark.y()).arg(mark.width()).arg(mark.height())
                                     .toStdString());
}

struct LoadedPage {
    pdfengine::DocumentPtr doc;
    pdfengine::PagePtr page;
};

LoadedPage loadFirstPage(const QByteArray& bytes)
{
    LoadedPage loaded;
    loaded.doc.reset(pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
    if (loaded.doc)
        loaded.page.reset(pdfApi().FPDF_LoadPage(loaded.doc.get(), 0));
    return loaded;
}

// The pdfTeX page whose Unicode map reads "@" (0x40) as "ю" as well as
// 0xFE, which draws it; the subset holds no "@". Its second line, and where
// it stands.
const char kSecondLine[] = "[<CFF0EEE2E5E4E8F2E5> -331 <EBEEECE0EDF3FE> -332 <EBE8> 1 <EDE8FE> -332 "
                           "<F7E5F0E5E7> -331 <FEE3EE2DE7E0EFE0E4EDFBE9> -331 <F3E3EEEB2E>]TJ";
const QRectF kSecondLineBox(42.5, 525.5, 267, 11);
// The dvipdfmx page's line "Starting in spring, ... is designed ...", and a
// place of that page where nothing stands.
const QRectF kDesignedLine(42, 519, 330, 12);
constexpr double kEmptyBaseline = 300;

// The line drawn again down by down points, and right by right, as moved content.
std::string copyOfSecondLine(const std::string& line, double down, double right = 0)
{
    return "/VornMoved BMC q 1 0 0 1 " + std::to_string(right) + ' ' + std::to_string(-down) +
           " cm BT /F34 10.9091 Tf 1 0 0 1 42.52 528.248 Tm " + line + " ET Q EMC\n";
}

} // namespace

Q_DECLARE_METATYPE(fixtures::ContentEdit)

class TestPageRemovalTrial : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void changesOutsideTheAreasAreFound_data();
    void changesOutsideTheAreasAreFound();
    void whiteOutsNeverReachKeptLines_data();
    void whiteOutsNeverReachKeptLines();
    void pageRectsBecomeClampedPixels_data();
    void pageRectsBecomeClampedPixels();
    void glyphsAreReadBack_data();
    void glyphsAreReadBack();
    void movedInkIsWeighedByPoppler_data();
    void movedInkIsWeighedByPoppler();
};

void TestPageRemovalTrial::initTestCase()
{
    PdfDocument warm;  // loads pdfium
    QVERIFY(warm.open(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf"))));
}

void TestPageRemovalTrial::changesOutsideTheAreasAreFound_data()
{
    QTest::addColumn<QRectF>("mark");
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<bool>("kept");
    const QRectF mark(300, 400, 24, 24);
    QTest::newRow("inside the edited box") << mark << mark.adjusted(-2, -2, 2, 2) << true;
    QTest::newRow("half outside it") << mark << mark.adjusted(12, -2, 2, 2) << false;
    QTest::newRow("far from it") << mark << QRectF(72, 700, 200, 20) << false;
    QTest::newRow("a speck, under edge noise") << QRectF(300, 400, 2, 2) << QRectF(72, 700, 200, 20) << true;
    QTest::newRow("in the page's corner") << QRectF(0, 0, 24, 24) << QRectF(72, 700, 200, 20) << false;
}

// A page is kept only where nothing outside the edited boxes looks different,
// for pdfium and poppler alike.
void TestPageRemovalTrial::changesOutsideTheAreasAreFound()
{
    QFETCH(QRectF, mark);
    QFETCH(QRectF, area);
    QFETCH(bool, kept);
    const QByteArray before = fixtures::readFile(fixtures::realPdf(QStringLiteral("gs-helvetica.pdf")));
    const QByteArray after = withMark(before, mark);
    QVERIFY(!after.isEmpty());
    QString reason;
    QMutexLocker lock(&pdfiumMutex());
    QCOMPARE(pdfengine::bytesChangeOnlyInside(before, after, 0, {area}, true, &reason), kept);
    QCOMPARE(reason.isEmpty(), kept);
}

void TestPageRemovalTrial::whiteOutsNeverReachKeptLines_data()
{
    // A 300 x 200 point page at one pixel a point; two lines of ink 10 points
    // high, the edited one at y 100 and the one kept above it at y 114.
    QTest::addColumn<QRectF>("painted");  // made white after the edit (y up)
    QTest::addColumn<QRectF>("drawn");    // made black after the edit
    QTest::addColumn<QRectF>("edited");
    QTest::addColumn<double>("keptTurn");
    QTest::addColumn<QRectF>("cleared");
    QTest::addColumn<bool>("accepted");
    const QRectF line(20, 100, 200, 10), above(20, 114, 200, 10);
    const QRectF none;
    QTest::newRow("its own line covered") << line.adjusted(-1, -1, 1, 1) << none << line.adjusted(-2, -2, 2, 2) << 0.0
                                          << line << true;
    QTest::newRow("a band over the line above") << line.adjusted(-1, -1, 1, 8) << none << line.adjusted(-2, -2, 2, 9)
                                                << 0.0 << line << false;
    QTest::newRow("the line above inside a place a line too tall")
        << line.adjusted(-1, -1, 1, 15) << none << line.adjusted(-2, -2, 2, 16) << 0.0 << line.adjusted(0, 0, 0, 14)
        << false;
    QTest::newRow("a word of the kept line cleared on its row")
        << QRectF(20, 114, 30, 10) << none << QRectF(19, 113, 32, 12) << 0.0 << QRectF(20, 114, 30, 10) << true;
    QTest::newRow("moved text drawn over the kept line") << none << QRectF(40, 115, 60, 6) << QRectF(38, 113, 64, 10)
                                                         << 0.0 << none << true;
    QTest::newRow("a change outside the edit") << QRectF(250, 20, 20, 20) << none << line.adjusted(-2, -2, 2, 2) << 0.0
                                               << line << false;
    QTest::newRow("a band over a turned kept line") << line.adjusted(-1, -1, 1, 8) << none
                                                    << line.adjusted(-2, -2, 2, 9) << 1.5 << line << false;
    QTest::newRow("an edit far off the page") << none << none << QRectF(2147483648.0, 100, 50, 10) << 0.0
                                              << QRectF(2147483648.0, 100, 50, 10) << true;
}

// The check of an edit against the page before it: what the edit drew may
// differ, but no white-out may take ink from a line it leaves as it stands,
// outside the old places it clears on purpose on that line's row.
void TestPageRemovalTrial::whiteOutsNeverReachKeptLines()
{
    QFETCH(QRectF, painted);
    QFETCH(QRectF, drawn);
    QFETCH(QRectF, edited);
    QFETCH(double, keptTurn);
    QFETCH(QRectF, cleared);
    QFETCH(bool, accepted);
    const QSizeF page(300, 200);
    const auto shown = [&](const QRectF& r) { return QRectF(r.x(), page.height() - r.bottom(), r.width(), r.height()); };
    QImage before(300, 200, QImage::Format_ARGB32);
    before.fill(Qt::white);
    QPainter ink(&before);
    ink.fillRect(shown(QRectF(20, 100, 200, 10)), Qt::black);
    ink.fillRect(shown(QRectF(20, 114, 200, 10)), Qt::black);
    ink.fillRect(shown(QRectF(250, 20, 20, 20)), Qt::black);
    ink.end();
    QImage after = before;
    QPainter edit(&after);
    if (!painted.isNull())
        edit.fillRect(shown(painted), Qt::white);
    if (!drawn.isNull())
        edit.fillRect(shown(drawn), Qt::black);
    edit.end();
    pdfengine::EditAreas areas;
    areas.edited = {TurnedBox(edited, 0)};
    areas.kept = {TurnedBox(QRectF(20, 114, 200, 10), keptTurn)};
    if (!cleared.isNull())
        areas.cleared = {TurnedBox(cleared, 0)};
    QString reason;
    QCOMPARE(pdfengine::rendersChangeOnlyInside(before, after, QPoint(), areas, page, 1.0, &reason), accepted);
    QCOMPARE(reason.isEmpty(), accepted);
}

void TestPageRemovalTrial::pageRectsBecomeClampedPixels_data()
{
    // A page 200 points high; the render's pixels as given by image.
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("pageHeight");
    QTest::addColumn<QRect>("image");
    QTest::addColumn<QRect>("pixels");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double far = 2147483648.0;  // 2^31: one past the largest int
    const QRect render(0, 0, 300, 200);
    const QRect none;
    QTest::newRow("on the page") << QRectF(10, 20, 30, 40) << 1.0 << 200.0 << render << QRect(10, 140, 30, 40);
    QTest::newRow("fractions widen outwards") << QRectF(10.4, 20.6, 30, 40) << 2.0 << 200.0 << QRect(0, 0, 600, 400)
                                              << QRect(20, 278, 61, 81);
    QTest::newRow("given corner first") << QRectF(40, 60, -30, -40) << 1.0 << 200.0 << render
                                        << QRect(10, 140, 30, 40);
    QTest::newRow("over the lower left corner") << QRectF(-50, -50, 60, 70) << 1.0 << 200.0 << render
                                                << QRect(0, 180, 10, 20);
    QTest::newRow("left of the page") << QRectF(-100, 20, 50, 10) << 1.0 << 200.0 << render << none;
    QTest::newRow("x at 2^31") << QRectF(far, 100, 50, 10) << 1.0 << 200.0 << render << none;
    QTest::newRow("y at -2^31") << QRectF(10, -far, 50, 10) << 1.0 << 200.0 << render << none;
    QTest::newRow("x at 2^31 at 150 dpi") << QRectF(far, 100, 50, 10) << 150.0 / 72 << 200.0 << render << none;
    QTest::newRow("2^40 on every side") << QRectF(-1099511627776.0, -1099511627776.0, 2199023255552.0, 2199023255552.0)
                                        << 1.0 << 200.0 << render << render;
    QTest::newRow("far off, brought in by a tiny scale") << QRectF(far, 100, 50, 10) << 1e-9 << 200.0 << render
                                                         << QRect(2, 0, 1, 1);
    QTest::newRow("the page at a huge scale") << QRectF(0, 0, 300, 200) << 1e300 << 200.0 << render << render;
    QTest::newRow("the part of a region render") << QRectF(0, 0, 1000, 1000) << 1.0 << 200.0
                                                 << QRect(100, 50, 40, 30) << QRect(100, 50, 40, 30);
    QTest::newRow("no image") << QRectF(10, 20, 30, 40) << 1.0 << 200.0 << QRect() << none;
    QTest::newRow("NaN x") << QRectF(nan, 20, 30, 40) << 1.0 << 200.0 << render << none;
    QTest::newRow("NaN height") << QRectF(10, 20, 30, nan) << 1.0 << 200.0 << render << none;
    QTest::newRow("NaN scale") << QRectF(10, 20, 30, 40) << nan << 200.0 << render << none;
    QTest::newRow("infinite x") << QRectF(inf, 20, 30, 40) << 1.0 << 200.0 << render << none;
    QTest::newRow("from -infinity, infinitely wide") << QRectF(-inf, 20, inf, 40) << 1.0 << 200.0 << render << none;
    QTest::newRow("infinitely high") << QRectF(10, 20, 30, inf) << 1.0 << 200.0 << render << QRect(10, 0, 30, 180);
    QTest::newRow("infinite scale") << QRectF(10, 20, 30, 40) << inf << 200.0 << render << none;
    QTest::newRow("infinite page height") << QRectF(10, 20, 30, 40) << 1.0 << inf << render << none;
}

// Page rectangles become pixels in floating point and are cut to the image
// before any edge turns into an int: far-off or non-finite coordinates give
// an empty rectangle or the image's own edges, never a wrapped-around int.
void TestPageRemovalTrial::pageRectsBecomeClampedPixels()
{
    QFETCH(QRectF, rect);
    QFETCH(double, scale);
    QFETCH(double, pageHeight);
    QFETCH(QRect, image);
    QFETCH(QRect, pixels);
    const QRect found = pdfengine::pixelsOfPageRect(rect, scale, pageHeight, image);
    QCOMPARE(found, pixels);
    QVERIFY(found.isEmpty() || image.contains(found));
}

void TestPageRemovalTrial::glyphsAreReadBack_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("drawn");
    QTest::addColumn<double>("moved");      // points down, 0: no line moved
    QTest::addColumn<QString>("differs");  // the letter drawn otherwise; "-": the moved line; empty: alike
    QTest::addColumn<QRectF>("box");       // where the moved line stood, as the edit gives it
    // The dvipdfmx page reads its dotless i (0x10) as "i" too; its second
    // line ("Starting ... is designed ...") draws each i dotted (0x69).
    const std::string own = "/VornEdit BMC BT /F1 10.9091 Tf 100 " + std::to_string(kEmptyBaseline) + " Td ";
    const QString dvipdfmx = QStringLiteral("dvipdfmx-variants.pdf");
    QTest::newRow("a letter written again by the code its line drew it with")
        << dvipdfmx << QByteArray::fromStdString(own + "<69>Tj ET EMC\n") << 0.0 << QString() << kSecondLineBox;
    QTest::newRow("the same letter by a variant the page draws elsewhere")
        << dvipdfmx << QByteArray::fromStdString(own + "<10>Tj ET EMC\n") << 0.0 << QStringLiteral("i") << kSecondLineBox;
    QTest::newRow("the variant in the page's own content")
        << dvipdfmx << QByteArray::fromStdString("BT /F1 10.9091 Tf 100 " + std::to_string(kEmptyBaseline) +
                                                 " Td <10>Tj ET\n")
        << 0.0 << QString() << kSecondLineBox;
    const QString twoCodes = QStringLiteral("pdftex-twocodes.pdf");
    QTest::newRow("a line moved as it stood") << twoCodes << QByteArray::fromStdString(copyOfSecondLine(kSecondLine, 60))
                                              << 60.0 << QString() << kSecondLineBox;
    const std::string recoded = QByteArray(kSecondLine).replace("FE", "40").toStdString();
    QTest::newRow("a line moved, its letter by another code")
        << twoCodes << QByteArray::fromStdString(copyOfSecondLine(recoded, 60)) << 60.0 << QStringLiteral("-") << kSecondLineBox;
    QTest::newRow("a line moved over the next one")
        << twoCodes << QByteArray::fromStdString(copyOfSecondLine(kSecondLine, 13.549)) << 13.549 << QString() << kSecondLineBox;
    // A reader may place the copy below the pixel otherwise than the source;
    // the lines above and below, inside a generous box, did not move.
    QTest::newRow("a line moved, drawn a third of a point off")
        << twoCodes << QByteArray::fromStdString(copyOfSecondLine(kSecondLine, 60, 0.3)) << 60.0 << QString()
        << kSecondLineBox;
    QTest::newRow("a line moved, its box reaching into the lines around")
        << twoCodes << QByteArray::fromStdString(copyOfSecondLine(kSecondLine, 60)) << 60.0 << QString()
        << kSecondLineBox.adjusted(0, -5, 0, 5);
    QTest::newRow("a line moved, a letter of it left out")
        << twoCodes << QByteArray::fromStdString(copyOfSecondLine(QByteArray(kSecondLine).replace("<EBE8>", "<EB>").toStdString(), 60))
        << 60.0 << QStringLiteral("-") << kSecondLineBox;
}

// What the program wrote keeps the page's glyphs: a line moved looks where it
// went as where it stood, a letter written again in the page's face is drawn
// by the glyph its line drew it with, whatever the text reads.
void TestPageRemovalTrial::glyphsAreReadBack()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, drawn);
    QFETCH(double, moved);
    QFETCH(QString, differs);
    QFETCH(QRectF, box);
    const QByteArray before = fixtures::readFile(fixtures::realPdf(file));
    const QByteArray after = withContent(before, drawn.toStdString());
    QVERIFY(!after.isEmpty());
    QMutexLocker lock(&pdfiumMutex());
    const LoadedPage a = loadFirstPage(before), b = loadFirstPage(after);
    QVERIFY(a.page && b.page);
    QString letter, reason;
    const bool sameGlyphs = pdfengine::writtenGlyphsAsPage(a.page.get(), b.page.get(), {TurnedBox(kDesignedLine, 0)}, &letter);
    const std::vector<MovedBox> moves{MovedBox{TurnedBox(box, 0), QPointF(0, -moved)}};
    const bool movedAlike =
        moved == 0 || pdfengine::movedBoxesLookAsBefore(a.doc.get(), 0, b.doc.get(), 0, moves, &reason);
    const bool movedDiffers = differs == QStringLiteral("-");
    QCOMPARE(letter, movedDiffers ? QString() : differs);
    QCOMPARE(sameGlyphs, differs.isEmpty() || movedDiffers);
    QCOMPARE(movedAlike, !movedDiffers);
}

void TestPageRemovalTrial::movedInkIsWeighedByPoppler_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("phrase");              // of the line moved
    QTest::addColumn<fixtures::ContentEdit>("fault");  // what the writer did to the moved content
    QTest::addColumn<bool>("alike");
    const fixtures::ContentEdit asWritten = [](const QByteArray& content) { return content; };
    // Drag (12, -18): back where it stood, and at a tenth of its size.
    const fixtures::ContentEdit atItsOldPlace = fixtures::drawnUnder("1 0 0 1 -12 18");
    const fixtures::ContentEdit shrunk = fixtures::drawnUnder("0.1 0 0 0.1 0 0");
    const QString greek = QStringLiteral("gs-greek-hyphenation.pdf"), tex = QStringLiteral("tex-t2a-names.pdf");
    QTest::newRow("Type 3 line moved as it stood") << greek << "(a'b" << asWritten << true;
    QTest::newRow("Type 3 line drawn invisibly") << greek << "(a'b" << fixtures::ContentEdit(fixtures::drawnInvisibly) << false;
    QTest::newRow("Type 3 line left out") << greek << "(a'b" << fixtures::ContentEdit(fixtures::leftOut) << false;
    QTest::newRow("Type 3 line drawn at a tenth of its size") << greek << "(a'b" << shrunk << false;
    QTest::newRow("TeX line moved as it stood") << tex << "Система" << asWritten << true;
    QTest::newRow("TeX line left at its old place") << tex << "Система" << atItsOldPlace << false;
}

// The second renderer sees a moved line's ink where it went as where it
// stood: as much of it, about the same middle; not drawn, or drawn elsewhere
// or tiny, it differs.
void TestPageRemovalTrial::movedInkIsWeighedByPoppler()
{
    QFETCH(QString, file);
    QFETCH(QString, phrase);
    QFETCH(fixtures::ContentEdit, fault);
    QFETCH(bool, alike);
    const QPointF drag(12, -18);  // points, y up
    QTemporaryDir folder;
    const QString saved = folder.filePath(QStringLiteral("moved.pdf"));
    MovedBox moved;
    {
        PdfDocument doc;
        QVERIFY(doc.open(fixtures::realPdf(file)));
        std::vector<TextBlock> blocks = doc.extractText(0);
        const auto it = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
            return !b.isImage && b.lines.size() == 1 && b.text.contains(phrase);
        });
        QVERIFY(it != blocks.end());
        moved = MovedBox{TurnedBox(it->originalRect, it->originalRotation), drag};
        it->rect.translate(drag);
        for (TextBlock::Line& line : it->lines) {
            line.rect.translate(drag);
            for (TextBlock::Line::Word& word : line.words)
                word.rect.translate(drag);
        }
        QVERIFY2(doc.overlayOcrText(0, blocks, false) && doc.save(saved), qPrintable(doc.lastError()));
    }
    const QByteArray written = fixtures::movedContentEdited(fixtures::readFile(saved), 0, fault);
    QByteArray without;
    QString reason;
    QMutexLocker lock(&pdfiumMutex());
    QVERIFY2(pdfengine::PageGlyphRemoval::withoutMovedContent(written, 0, &without, &reason), qPrintable(reason));
    const pdfengine::MovedInkVerdict verdict = pdfengine::popplerMovedInk(
        fixtures::readFile(fixtures::realPdf(file)), 0, written, 0, without, {moved}, &reason);
    QCOMPARE(verdict, alike ? pdfengine::MovedInkVerdict::Alike : pdfengine::MovedInkVerdict::Unlike);
}

QTEST_GUILESS_MAIN(TestPageRemovalTrial)
#include "tst_pageremovaltrial.moc"
