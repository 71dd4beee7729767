#include "ContentStreamEditor.h"
#include "IncrementalUpdate.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "QpdfFile.h"
#include "StandardEncodings.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QRandomGenerator>

#include <functional>
#include <QTemporaryDir>
#include <QtTest>

using pdfengine::ContentStreamEditor;
using pdfengine::GlyphEdit;
using pdfengine::GlyphSpot;
using pdfengine::IncrementalUpdate;
using pdfengine::QpdfFile;

Q_DECLARE_METATYPE(pdfengine::GlyphEdit)

namespace {

const QString kNextStream = QStringLiteral("\n%next stream%\n");

// F1: Helvetica without widths; F2: a Courier with widths (600 each);
// F3: a face nobody knows, without widths. Fm1: a form drawing GONE; Fm2
// the same with room around it, Fm3 with a box drawn over it. GS1 sets
// overprint and transfer only, GS2 half opacity.
// kNextStream in content parts two content streams of the page.
QByteArray pagePdf(const QString& content)
{
    QString widths;
    for (int i = 32; i <= 126; ++i)
        widths += QStringLiteral("600 ");
    const QStringList streams = content.split(kNextStream);
    QStringList objects{
        QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
        QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
        QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << "
                       "/F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >> "
                       "/F2 6 0 R /F3 << /Type /Font /Subtype /Type1 /BaseFont /NoSuchFace >> >> "
                       "/XObject << /Fm1 5 0 R /Fm2 7 0 R /Fm3 8 0 R >> /ExtGState << "
                       "/GS1 << /Type /ExtGState /OP false /op false /TR /Identity /Name /R6 >> "
                       "/GS2 << /Type /ExtGState /ca 0.5 >> >> >> /Contents %1 >>")
            .arg(streams.size() > 1 ? QStringLiteral("[4 0 R 9 0 R]") : QStringLiteral("4 0 R")),
        fixtures::streamObject(QString(), streams.first().toLatin1()),
        fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Form /BBox [0 0 200 20] "
                                              "/Resources << /Font << /F2 6 0 R >> >>"),
                               "BT /F2 10 Tf 0 0 Td (GONE) Tj ET"),
        QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding "
                       "/FirstChar 32 /LastChar 126 /Widths [%1] >>").arg(widths),
        fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Form /BBox [-200 -200 400 200] "
                                              "/Resources << /Font << /F2 6 0 R >> >>"),
                               "BT /F2 10 Tf 0 0 Td (GONE) Tj ET"),
        fixtures::streamObject(QStringLiteral("/Type /XObject /Subtype /Form /BBox [-200 -200 400 200] "
                                              "/Resources << /Font << /F2 6 0 R >> >>"),
                               "BT /F2 10 Tf 0 0 Td (GONE) Tj ET 0 g -6 -6 40 16 re f"),
    };
    if (streams.size() > 1)
        objects << fixtures::streamObject(QString(), streams.last().toLatin1());
    return fixtures::buildPdf(objects);
}

// Random bytes, as Latin-1, with what looks like content planted among them.
QString randomPicture(int size)
{
    QRandomGenerator random(64);
    QByteArray data(size, '\0');
    for (char& byte : data)
        byte = char(random.bounded(256));
    const QList<QByteArray> planted{"\nEI\n", " EI ", ")", "(", "<<", "%", "]", "\rEI\0"};
    for (qsizetype i = 0; i < planted.size(); ++i)
        data.replace((i + 1) * size / (planted.size() + 2), planted[i].size(), planted[i]);
    return QString::fromLatin1(data);
}

// F1's widths, as the standard face's metrics give them.
double helveticaWidths(const std::string& font, unsigned code)
{
    return font == "Helvetica" && code >= 32 && code < 127 ? 556.0 : -1.0;
}

std::string streamData(QPDFObjectHandle stream)
{
    const std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

QRectF wordBox(PdfDocument& doc, const QString& word)
{
    const QList<QRectF> boxes = doc.findText(0, word);
    return boxes.size() == 1 ? boxes.first() : QRectF();
}

// A page of content changed by change through the editor, written as an
// update of the original and opened (before and after) from files in dir.
struct EditedPage {
    QByteArray original;
    QByteArray updated;
    std::string firstStream;  // the page's first content stream as changed
    QString error;
};
EditedPage editPage(const QString& content, const std::function<bool(ContentStreamEditor&, QPDFObjectHandle&)>& change)
{
    EditedPage page;
    page.original = pagePdf(content);
    QpdfFile file;
    if (!file.load(page.original, &page.error))
        return page;
    ContentStreamEditor editor(file.pdf(), helveticaWidths);
    bool changed = false;
    if (!file.run([&](QPDF& pdf) {
            QPDFObjectHandle first = pdf.getAllPages().at(0);
            changed = change(editor, first);
            QPDFObjectHandle contents = first.getKey("/Contents");
            page.firstStream = streamData(contents.isArray() ? contents.getArrayItem(0) : contents);
        }, &page.error))
        return page;
    if (!changed) {
        page.error = editor.lastError();
        return page;
    }
    if (!IncrementalUpdate::append(file.pdf(), page.original, editor.changedObjects(), &page.updated, &page.error))
        page.updated.clear();
    return page;
}

bool openBoth(const EditedPage& page, const QTemporaryDir& dir, const QString& stem, PdfDocument& before,
              PdfDocument& after)
{
    const QString a = dir.filePath(stem + QStringLiteral("-before.pdf"));
    const QString b = dir.filePath(stem + QStringLiteral("-after.pdf"));
    return !page.updated.isEmpty() && fixtures::writeFile(a, page.original) && fixtures::writeFile(b, page.updated) &&
           before.open(a) && after.open(b);
}

// The spots of count glyphs of F2 at size 10 from x along the baseline y,
// each the rank-th drawn alike there.
std::vector<GlyphSpot> courierSpots(double x, double y, int count, int rank = 0)
{
    std::vector<GlyphSpot> spots;
    for (int i = 0; i < count; ++i)
        spots.push_back({QPointF(x + 6 * i, y), 10, rank});
    return spots;
}

}  // namespace

class TestContentStreamEditor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void removesExactly_data();
    void removesExactly();
    void movedTextKeepsItsPlaces_data();
    void movedTextKeepsItsPlaces();
    void spotsTakeOnlyTheirGlyphs_data();
    void spotsTakeOnlyTheirGlyphs();
    void wordsMovedAlongTheLineStayInPlace_data();
    void wordsMovedAlongTheLineStayInPlace();
    void refusesWhatItCannotPlace_data();
    void refusesWhatItCannotPlace();
    void formDrawnOnceIsCopied();
    void textStateLeftForLaterStreams_data();
    void textStateLeftForLaterStreams();
    void standardFaceCodesDrawTheirEncodingsGlyphs_data();
    void standardFaceCodesDrawTheirEncodingsGlyphs();

private:
    QTemporaryDir m_dir;
};

void TestContentStreamEditor::removesExactly_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("changedOp");  // the last operator so written is replaced; nothing else changes
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<QStringList>("kept");
    // Line 2 at baseline 680, glyphs 6 pt wide from x 72.
    const QRectF line2(70, 678, 60, 9);
    QTest::newRow("whole Tj") << "BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET" << "(GONE) Tj" << line2
                              << QStringList{"KEEP"};
    QTest::newRow("standard font without widths")
        << "BT /F1 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET" << "(GONE) Tj" << line2 << QStringList{"KEEP"};
    QTest::newRow("word inside a string") << "BT /F2 10 Tf 72 700 Td (left GONE right) Tj ET"
                                          << "(left GONE right) Tj" << QRectF(101, 698, 26, 9)
                                          << QStringList{"left", "right"};
    QTest::newRow("word inside TJ with kerning")
        << "BT /F2 10 Tf 72 700 Td [(left) -500 (GONE) 200 (right)] TJ ET" << "[(left) -500 (GONE) 200 (right)] TJ"
        << QRectF(100.5, 698, 24, 9) << QStringList{"left", "right"};
    QTest::newRow("advance used by the next Tj") << "BT /F2 10 Tf 72 700 Td (GONE) Tj (kept) Tj ET" << "(GONE) Tj"
                                                 << QRectF(70, 698, 25, 9) << QStringList{"kept"};
    QTest::newRow("spacing and scaling") << "BT /F2 10 Tf 2 Tc 3 Tw 80 Tz 72 700 Td (a GONE b) Tj (c) Tj ET"
                                         << "(a GONE b) Tj" << QRectF(83, 698, 28, 9) << QStringList{"a", "b", "c"};
    QTest::newRow("quote moves the line") << "BT /F2 10 Tf 12 TL 72 700 Td (first) Tj (GONE) ' (third) ' ET"
                                          << "(GONE) '" << QRectF(70, 686, 40, 8) << QStringList{"first", "third"};
    QTest::newRow("double quote sets spacing")
        << "BT /F2 10 Tf 12 TL 72 700 Td (first) Tj 4 1 (GONE) \" (th ird) ' ET" << "4 1 (GONE) \""
        << QRectF(70, 686, 40, 8) << QStringList{"first", "th", "ird"};
    QTest::newRow("after an inline image")
        << QString::fromLatin1("q 10 0 0 10 300 300 cm BI /W 2 /H 2 /CS /G /BPC 8 ID (\x01)\xff EI Q "
                               "BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET")
        << "(GONE) Tj" << line2 << QStringList{"KEEP"};
    // Picture data is as long as its size says, whatever it holds: an EI
    // followed by content (which qpdf's own search takes for the end) and
    // random bytes with delimiters and EIs planted among them.
    const QString fake = QStringLiteral("\nEI\nBT /F2 10 Tf 72 680 Td (GONE) Tj ET\n");
    QTest::newRow("inline image whose bytes read as content")
        << QStringLiteral("q BI /W %1 /H 1 /CS /G /BPC 8 ID ").arg(fake.size()) + fake +
               QStringLiteral(" EI Q BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET")
        << "(GONE) Tj" << line2 << QStringList{"KEEP"};
    QTest::newRow("inline image of random bytes")
        << QStringLiteral("q BI /Width 20 /Height 8 /ColorSpace /DeviceRGB /BitsPerComponent 8\nID\n") +
               randomPicture(20 * 8 * 3) + QStringLiteral("\nEI\nQ BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET")
        << "(GONE) Tj" << line2 << QStringList{"KEEP"};
    QTest::newRow("inline mask of random bytes")
        << QStringLiteral("q BI /W 40 /H 6 /IM true ID ") + randomPicture(5 * 6) +
               QStringLiteral(" EI Q BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET")
        << "(GONE) Tj" << line2 << QStringList{"KEEP"};
    QTest::newRow("program's own text stays")
        << "/VornEdit BMC BT /F2 10 Tf 72 680 Td (MINE) Tj ET EMC BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET"
        << "(GONE) Tj" << QRectF(70, 678, 28, 9) << QStringList{"KEEP", "MINE"};
    QTest::newRow("turned by cm") << "q 0 1 -1 0 300 100 cm BT /F2 10 Tf 0 0 Td (KEEP) Tj 0 -20 Td (GONE) Tj ET Q"
                                  << "(GONE) Tj" << QRectF(312, 98, 10, 30) << QStringList{"KEEP"};
}

// The removed word is gone, every kept word stands where it stood, and the
// stream differs from the old one only in the changed operator.
void TestContentStreamEditor::removesExactly()
{
    QFETCH(QString, content);
    QFETCH(QString, changedOp);
    QFETCH(QRectF, area);
    QFETCH(QStringList, kept);
    int removed = 0;
    const EditedPage page = editPage(content, [&](ContentStreamEditor& editor, QPDFObjectHandle& first) {
        const bool done = editor.removeGlyphs(first, {area});
        removed = editor.glyphsRemoved();
        return done;
    });
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    QCOMPARE(removed, 4);
    const std::string& edited = page.firstStream;
    const std::string old = content.toLatin1().toStdString();
    const size_t at = old.rfind(changedOp.toLatin1().toStdString());
    const size_t after = old.size() - at - size_t(changedOp.toLatin1().size());
    QVERIFY(edited.size() >= at + after);
    QCOMPARE(edited.substr(0, at), old.substr(0, at));
    QCOMPARE(edited.substr(edited.size() - after), old.substr(old.size() - after));
    QVERIFY(page.updated.startsWith(page.original));
    PdfDocument a, b;
    QVERIFY(openBoth(page, m_dir, QStringLiteral("removed"), a, b));
    QVERIFY(!b.extractAllText(0).contains(QStringLiteral("GONE")));
    for (const QString& word : kept) {
        const QRectF was = wordBox(a, word), now = wordBox(b, word);
        QVERIFY2(!was.isNull() && !now.isNull(), qPrintable(word));
        QVERIFY2(qAbs(was.x() - now.x()) < 0.05 && qAbs(was.y() - now.y()) < 0.05,
                 qPrintable(QStringLiteral("%1 moved by %2").arg(word).arg(now.x() - was.x())));
    }
}

void TestContentStreamEditor::movedTextKeepsItsPlaces_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QStringList>("moved");
    // Line 2 at baseline 680 is moved; KEEP on line 1 stays.
    const QString line1 = QStringLiteral("BT /F2 10 Tf 72 700 Td (KEEP) Tj 0 -20 Td ");
    QTest::newRow("kerned TJ") << line1 + "[(GO) -150 (NE)] TJ ET" << QStringList{"GO", "NE"};
    QTest::newRow("a face changed inside the line") << line1 + "(GONE) Tj /F1 10 Tf (AWAY) Tj ET"
                                                    << QStringList{"GONE", "AWAY"};
    QTest::newRow("spacing set inside the line") << line1 + "(GONE) Tj 0.5 Tc 4 Tw (AWAY NOW) Tj ET"
                                                 << QStringList{"GONE", "AWAY", "NOW"};
    QTest::newRow("operator split between two streams") << line1 + "[(GONE) -300" + kNextStream + "(AWAY)] TJ ET"
                                                        << QStringList{"GONE", "AWAY"};
    QTest::newRow("text object split between two streams") << line1 + "(GONE) Tj" + kNextStream + "(AWAY) Tj ET"
                                                            << QStringList{"GONE", "AWAY"};
    // Drawn by a form drawn once, the line moves inside it.
    QTest::newRow("a line a form draws") << line1 + "ET q 1 0 0 1 72 680 cm /Fm2 Do Q" << QStringList{"GONE"};
    // Drawn again at the form's end, it stays under the stamp drawn after the form.
    QTest::newRow("a line a scaled form draws, a stamp over it")
        << line1 + "ET q 1 0 0 1 72 680 cm 2 0 0 2 0 0 cm /Fm2 Do Q BT /F2 20 Tf 72 684 Td (STAMP) Tj ET"
        << QStringList{"GONE"};
    // What is drawn after the line but hides none of its glyphs.
    QTest::newRow("a frame stroked around the line after it") << line1 + "(GONE) Tj ET 0.5 w 68 674 40 16 re S"
                                                              << QStringList{"GONE"};
    QTest::newRow("a box under the line, drawn before it") << "0.9 g 60 670 200 20 re f 0 g " + line1 + "(GONE) Tj ET"
                                                          << QStringList{"GONE"};
    QTest::newRow("an underline of the line above, drawn after") << line1 + "(GONE) Tj ET 72 696 30 0.5 re f"
                                                                << QStringList{"GONE"};
    // A box wholly inside the line's place, drawn over it, moves with it and covers it there.
    QTest::newRow("a box over the line, inside its place") << line1 + "(GONE) Tj ET 0 g 71 677 26 9 re f"
                                                          << QStringList{"GONE"};
}

// A moved line is drawn again with its own operators under the move: each
// word lands where it stood shifted by the move, every other word stays,
// and no word is drawn twice.
void TestContentStreamEditor::movedTextKeepsItsPlaces()
{
    QFETCH(QString, content);
    QFETCH(QStringList, moved);
    const QPointF by(30.25, -41.5);
    const pdfengine::GlyphMove move{QPolygonF(QRectF(70, 676, 300, 12)), by};
    const EditedPage page = editPage(content, [&](ContentStreamEditor& editor, QPDFObjectHandle& first) {
        return editor.removeAndMoveGlyphs(first, {}, {move});
    });
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    PdfDocument a, b;
    QVERIFY(openBoth(page, m_dir, QStringLiteral("moved"), a, b));
    QCOMPARE(wordBox(b, QStringLiteral("KEEP")), wordBox(a, QStringLiteral("KEEP")));
    for (const QString& word : moved) {
        const QRectF was = wordBox(a, word), now = wordBox(b, word);
        QVERIFY2(!was.isNull() && !now.isNull(), qPrintable(word));
        QVERIFY2(qAbs(now.x() - was.x() - by.x()) < 0.01 && qAbs(now.y() - was.y() - by.y()) < 0.01,
                 qPrintable(QStringLiteral("%1 moved by %2, %3").arg(word).arg(now.x() - was.x()).arg(now.y() - was.y())));
    }
}

void TestContentStreamEditor::spotsTakeOnlyTheirGlyphs_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<GlyphEdit>("edit");
    QTest::addColumn<QStringList>("gone");
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("moved");  // by (30, -40)
    const QPointF by(30, -40);
    // A stamp at twice the size laid over the line, its glyphs centred in the line's box.
    const QString stamped =
        QStringLiteral("BT /F2 10 Tf 72 680 Td (UNDER line) Tj ET BT /F2 20 Tf 74 676 Td (STAMP) Tj ET");
    QTest::newRow("a line under a stamp") << stamped << GlyphEdit{{}, courierSpots(72, 680, 5), {}, {}}
                                          << QStringList{"UNDER"} << QStringList{"STAMP", "line"} << QStringList();
    QTest::newRow("a stamp over a line") << stamped
                                         << GlyphEdit{{}, {{{74, 676}, 20, 0}, {{86, 676}, 20, 0}, {{98, 676}, 20, 0},
                                                           {{110, 676}, 20, 0}, {{122, 676}, 20, 0}}, {}, {}}
                                         << QStringList{"STAMP"} << QStringList{"UNDER", "line"} << QStringList();
    // Two pages' first lines laid at one place in one face: each glyph of
    // the second is the second drawn there (its "P" readers take for the first's).
    QTest::newRow("the second of glyphs drawn alike")
        << "BT /F2 10 Tf 72 680 Td (PAGE) Tj ET BT /F2 10 Tf 72 680 Td (POTS) Tj ET"
        << GlyphEdit{{}, courierSpots(78, 680, 3, 1), {}, {}} << QStringList{"POTS"} << QStringList{"PAGE"}
        << QStringList();
    // Drawn a third of a point apart, readers take the two for one glyph each.
    QTest::newRow("a bold face drawn twice")
        << "BT /F2 10 Tf 72 700 Td (KEEP) Tj ET BT /F2 10 Tf 72 680 Td (GONE) Tj ET BT /F2 10 Tf 72.3 680 Td (GONE) Tj ET"
        << GlyphEdit{{}, courierSpots(72, 680, 4), {}, {}} << QStringList{"GONE"} << QStringList{"KEEP"}
        << QStringList();
    // A rule wholly inside a word that goes goes with it; one outside stays.
    QTest::newRow("a rule inside the word")
        << "BT /F2 10 Tf 72 680 Td (UNDER line) Tj ET 72 678 30 0.5 re f 140 678 30 0.5 re f"
        << GlyphEdit{{}, courierSpots(72, 680, 5), {QPolygonF(QRectF(71, 676, 32, 14))}, {}}
        << QStringList{"UNDER"} << QStringList{"line"} << QStringList();
    // A stroke of a hatching the word is drawn over stays where it is.
    QTest::newRow("a hatching under the word")
        << "0.6 G 0.4 w 80 679 m 82 679 l S 0 G BT /F2 10 Tf 72 680 Td (UNDER line) Tj ET"
        << GlyphEdit{{}, courierSpots(72, 680, 5), {QPolygonF(QRectF(71, 676, 32, 14))}, {}} << QStringList{"UNDER"}
        << QStringList{"line"} << QStringList();
    QTest::newRow("a word moved over a hatching")
        << "0.6 G 0.4 w 80 679 m 82 679 l S 0 G BT /F2 10 Tf 72 680 Td (UNDER line) Tj ET"
        << GlyphEdit{{}, {}, {}, {{QPolygonF(QRectF(71, 676, 32, 14)), by, courierSpots(72, 680, 5)}}}
        << QStringList() << QStringList{"line"} << QStringList{"UNDER"};
}

// Glyphs named by their spots go or move, and nothing else: not what is
// drawn over or under them, nor another line's glyph drawn alike there.
void TestContentStreamEditor::spotsTakeOnlyTheirGlyphs()
{
    QFETCH(QString, content);
    QFETCH(GlyphEdit, edit);
    QFETCH(QStringList, gone);
    QFETCH(QStringList, kept);
    QFETCH(QStringList, moved);
    const EditedPage page = editPage(content, [&](ContentStreamEditor& editor, QPDFObjectHandle& first) {
        return editor.editGlyphs(first, edit);
    });
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    const std::string& edited = page.firstStream;
    PdfDocument a, b;
    QVERIFY(openBoth(page, m_dir, QStringLiteral("spots"), a, b));
    for (const QString& word : gone)
        QVERIFY2(b.findText(0, word).isEmpty(), qPrintable(word));
    for (const QString& word : kept) {
        const QRectF was = wordBox(a, word), now = wordBox(b, word);
        QVERIFY2(!was.isNull() && !now.isNull() && qAbs(was.x() - now.x()) < 0.05 && qAbs(was.y() - now.y()) < 0.05,
                 qPrintable(word));
    }
    for (const QString& word : moved) {
        const QRectF was = wordBox(a, word), now = wordBox(b, word);
        QVERIFY2(!was.isNull() && !now.isNull() && qAbs(now.x() - was.x() - 30) < 0.01 &&
                     qAbs(now.y() - was.y() + 40) < 0.01,
                 qPrintable(word));
    }
    // The rule of the word taken, and only it.
    if (content.contains(QStringLiteral(" re f"))) {
        QVERIFY(edited.find("72 678 30 0.5 re f") == std::string::npos);
        QVERIFY(edited.find("140 678 30 0.5 re f") != std::string::npos);
    }
    // A hatching drawn before the word is none of it.
    if (content.contains(QStringLiteral(" l S")))
        QVERIFY(edited.find("80 679 m 82 679 l S") != std::string::npos);
}

void TestContentStreamEditor::wordsMovedAlongTheLineStayInPlace_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<GlyphEdit>("edit");
    QTest::addColumn<QPointF>("by");           // of every word moved
    QTest::addColumn<QStringList>("moved");
    QTest::addColumn<QString>("inOrder");      // the line as the content reads it afterwards
    // F2 is 6 pt a glyph at size 10: "left GONE right" from 72 has GONE at 102, right at 132.
    const auto edit = [](const std::vector<GlyphSpot>& gone, const QRectF& area, const std::vector<GlyphSpot>& moved,
                         const QPointF& by) {
        return GlyphEdit{{}, gone, {}, {{QPolygonF(area), by, moved}}};
    };
    const QRectF right(131, 676, 32, 14);
    QTest::newRow("a word inside a string, the one before it longer")
        << "BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET"
        << edit(courierSpots(102, 680, 4), right, courierSpots(132, 680, 5), {12, 0}) << QPointF(12, 0)
        << QStringList{"right"} << "left right";
    QTest::newRow("kerned TJ, the word before shorter")
        << "BT /F2 10 Tf 72 680 Td [(left) -500 (GONE) 200 (right)] TJ ET"
        << edit(courierSpots(101, 680, 4), QRectF(122, 676, 32, 14), courierSpots(123, 680, 5), {-6, 0})
        << QPointF(-6, 0) << QStringList{"right"} << "left right";
    QTest::newRow("words in operators of their own")
        << "BT /F2 10 Tf 72 680 Td (left) Tj 30 0 Td (GONE) Tj 30 0 Td (right) Tj 0 -20 Td (below) Tj ET"
        << edit(courierSpots(102, 680, 4), right, courierSpots(132, 680, 5), {12, 0}) << QPointF(12, 0)
        << QStringList{"right"} << "left right below";
    // The next operator goes on from where the moved word ended: it stays.
    QTest::newRow("a word moved between words that stay")
        << "BT /F2 10 Tf 72 680 Td (left mid) Tj ( right) Tj ET"
        << edit({}, QRectF(101, 676, 20, 14), courierSpots(102, 680, 3), {-3, 0}) << QPointF(-3, 0)
        << QStringList{"mid"} << "left mid right";
    QTest::newRow("spacing and scaling")
        << "BT /F2 10 Tf 2 Tc 80 Tz 72 680 Td (a GONE b) Tj ET"
        << edit({{{84.8, 680}, 10, 0}, {{91.2, 680}, 10, 0}, {{97.6, 680}, 10, 0}, {{104, 680}, 10, 0}},
                QRectF(115, 676, 8, 14), {{{116.8, 680}, 10, 0}}, {8, 0})
        << QPointF(8, 0) << QStringList{"b"} << "a b";
    QTest::newRow("turned by cm")
        << "q 0 1 -1 0 300 100 cm BT /F2 10 Tf 0 0 Td (left GONE right) Tj ET Q"
        << edit({{{300, 130}, 10, 0}, {{300, 136}, 10, 0}, {{300, 142}, 10, 0}, {{300, 148}, 10, 0}},
                QRectF(290, 159, 14, 32),
                {{{300, 160}, 10, 0}, {{300, 166}, 10, 0}, {{300, 172}, 10, 0}, {{300, 178}, 10, 0}, {{300, 184}, 10, 0}},
                {0, 12})
        << QPointF(0, 12) << QStringList{"right"} << "left right";
    // A rule wholly inside the word's place moves with it, in its place too.
    QTest::newRow("a rule under the word")
        << "BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET 132 678 30 0.5 re f"
        << edit(courierSpots(102, 680, 4), right, courierSpots(132, 680, 5), {12, 0}) << QPointF(12, 0)
        << QStringList{"right"} << "left right";
    // Words the program typed for GONE go where it stood, between the words that stay and move.
    GlyphEdit typed = edit(courierSpots(102, 680, 4), right, courierSpots(132, 680, 5), {12, 0});
    typed.typed.push_back({{{102, 680}, 10, 0}, {102, 680}, {138, 680}, false});
    const QString longer = QStringLiteral(" /VornEdit BMC BT /F2 10 Tf 1 0 0 1 102 680 Tm (LONGER) Tj ET EMC");
    QTest::newRow("typed words in the place of the word replaced")
        << "BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET" + longer << typed << QPointF(12, 0)
        << QStringList{"right"} << "left LONGER right";
    // Under a clip or a graphics state that leaves them as they were drawn.
    QTest::newRow("typed words under a clip of the page's box")
        << "q 0 0 612 792 re W n BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET Q" + longer << typed << QPointF(12, 0)
        << QStringList{"right"} << "left LONGER right";
    QTest::newRow("typed words under a clip of a box drawn by lines")
        << "q 10 10 m 600 10 l 600 780 l 10 780 l h W n BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET Q" + longer
        << typed << QPointF(12, 0) << QStringList{"right"} << "left LONGER right";
    QTest::newRow("typed words under a state that sets overprint")
        << "q /GS1 gs BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET Q" + longer << typed << QPointF(12, 0)
        << QStringList{"right"} << "left LONGER right";
    // Under one that would cut or fade them they stay after the page's content.
    QTest::newRow("typed words under a clip that would cut them")
        << "q 0 0 612 683 re W n BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET Q" + longer << typed << QPointF(12, 0)
        << QStringList{"right"} << "left right LONGER";
    QTest::newRow("typed words under a clip of a slanted box")
        << "q 10 10 m 600 20 l 600 780 l 10 780 l h W n BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET Q" + longer
        << typed << QPointF(12, 0) << QStringList{"right"} << "left right LONGER";
    QTest::newRow("typed words under half opacity")
        << "q /GS2 gs BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET Q" + longer << typed << QPointF(12, 0)
        << QStringList{"right"} << "left right LONGER";
    // The word replaced was all its Tf showed: the object begins again in a face kept text is shown in.
    GlyphEdit alone{{}, {{{102, 680}, 12, 0}, {{109.2, 680}, 12, 0}, {{116.4, 680}, 12, 0}, {{123.6, 680}, 12, 0}}, {}, {}};
    alone.typed.push_back({{{102, 680}, 12, 0}, {102, 680}, {120, 680}, false});
    QTest::newRow("typed words for the one word of a face")
        << "BT /F2 10 Tf 72 680 Td (left ) Tj /F2 12 Tf (GONE) Tj /F2 10 Tf ( right) Tj ET"
           " /VornEdit BMC BT /F2 10 Tf 1 0 0 1 102 680 Tm (NEW) Tj ET EMC"
        << alone << QPointF() << QStringList() << "left NEW right";
}

// Words moved along their line stay where the content draws them: each
// lands where it stood moved, the others stay, the content reads the line
// in its order, and nothing is drawn again after the page's content.
void TestContentStreamEditor::wordsMovedAlongTheLineStayInPlace()
{
    QFETCH(QString, content);
    QFETCH(GlyphEdit, edit);
    QFETCH(QPointF, by);
    QFETCH(QStringList, moved);
    QFETCH(QString, inOrder);
    int shifted = 0, copied = 0;
    const EditedPage page = editPage(content, [&](ContentStreamEditor& editor, QPDFObjectHandle& first) {
        const bool done = editor.editGlyphs(first, edit);
        shifted = editor.glyphsShifted();
        copied = editor.glyphsMoved();
        return done;
    });
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    const std::string& edited = page.firstStream;
    QCOMPARE(copied, 0);
    QCOMPARE(shifted, int(moved.join(QString()).size()));
    QVERIFY(edited.find("VornMoved") == std::string::npos);
    PdfDocument a, b;
    QVERIFY(openBoth(page, m_dir, QStringLiteral("shifted"), a, b));
    QVERIFY(b.findText(0, QStringLiteral("GONE")).isEmpty());
    QCOMPARE(b.extractAllText(0).simplified(), inOrder);
    for (const QString& word : inOrder.split(QLatin1Char(' '))) {
        const QRectF was = wordBox(a, word), now = wordBox(b, word);
        const QPointF wanted = moved.contains(word) ? by : QPointF();
        QVERIFY2(!was.isNull() && !now.isNull() && qAbs(now.x() - was.x() - wanted.x()) < 0.01 &&
                     qAbs(now.y() - was.y() - wanted.y()) < 0.01,
                 qPrintable(QStringLiteral("%1 moved by %2, %3").arg(word).arg(now.x() - was.x()).arg(now.y() - was.y())));
    }
    if (content.contains(QStringLiteral(" re f")))
        QVERIFY(edited.find("q 1 0 0 1 12 0 cm 132 678 30 0.5 re f Q") != std::string::npos);
    // Typed words put in place: the object begins again with the steps that set its line.
    if (inOrder.contains(QStringLiteral(" LONGER ")) || inOrder.contains(QStringLiteral(" NEW ")))
        QVERIFY(edited.find("EMC Q BT 72 680 Td ") != std::string::npos);
}

void TestContentStreamEditor::refusesWhatItCannotPlace_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<GlyphEdit>("edit");
    const QString tail = QStringLiteral(" BT /F2 10 Tf 72 680 Td (GONE) Tj ET");
    const GlyphEdit removal{{QPolygonF(QRectF(70, 678, 60, 9))}, {}, {}, {}};
    QTest::newRow("unterminated string") << "BT /F2 10 Tf 72 680 Td (GONE) Tj (never closed Tj ET" << removal;
    QTest::newRow("font without widths") << "BT /F3 10 Tf 72 680 Td (GONE) Tj ET" << removal;
    QTest::newRow("font not in the resources") << "BT /F9 10 Tf 72 680 Td (GONE) Tj ET" << removal;
    QTest::newRow("inline image without end") << "BI /W 2 /H 2 /CS /G /BPC 8 ID abcd" + tail << removal;
    QTest::newRow("form drawn twice") << "q 1 0 0 1 72 680 cm /Fm1 Do Q q 1 0 0 1 72 500 cm /Fm1 Do Q" << removal;
    // Glyphs drawn again elsewhere from under what the page draws over them
    // (reaching out of the line's place) would show what it hides.
    const GlyphEdit move{{}, {}, {}, {{QPolygonF(QRectF(70, 676, 60, 12)), QPointF(30, -40), {}}}};
    QTest::newRow("a line moved from under a black box") << tail + " 0 g 66 674 40 16 re f" << move;
    QTest::newRow("a line moved from under a white box") << tail + " 1 g 66 674 40 16 re f" << move;
    QTest::newRow("a line moved from under a picture")
        << tail + " q 26 0 0 10 70 676 cm BI /W 2 /H 2 /CS /G /BPC 8 ID abcd EI Q" << move;
    QTest::newRow("a word moved from under a stamp")
        << "BT /F2 10 Tf 72 680 Td (UNDER line) Tj ET BT /F2 20 Tf 74 676 Td (STAMP) Tj ET"
        << GlyphEdit{{}, {}, {}, {{QPolygonF(QRectF(71, 676, 32, 14)), QPointF(30, -40), courierSpots(72, 680, 5)}}};
    // Moved along its line where it is drawn, a word must lie under no box drawn after it there.
    QTest::newRow("a word moved along its line under a box")
        << "BT /F2 10 Tf 72 680 Td (left GONE right) Tj ET 0 g 140 676 30 12 re f"
        << GlyphEdit{{}, courierSpots(102, 680, 4), {}, {{QPolygonF(QRectF(131, 676, 32, 14)), QPointF(12, 0), courierSpots(132, 680, 5)}}};
    QTest::newRow("a line moved inside a form from under its box")
        << "q 1 0 0 1 72 680 cm /Fm3 Do Q"
        << GlyphEdit{{}, {}, {}, {{QPolygonF(QRectF(70, 676, 60, 12)), QPointF(30, -40), {}}}};
}

// Glyphs that cannot be placed near the edit: refused with a reason, no stream changed.
void TestContentStreamEditor::refusesWhatItCannotPlace()
{
    QFETCH(QString, content);
    QFETCH(GlyphEdit, edit);
    QpdfFile file;
    QString error;
    QVERIFY(file.load(pagePdf(content), &error));
    ContentStreamEditor editor(file.pdf());
    QVERIFY(file.run([&](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().at(0);
        QVERIFY(!editor.editGlyphs(page, edit));
        QCOMPARE(QString::fromStdString(streamData(page.getKey("/Contents"))), content);
        QCOMPARE(QString::fromStdString(streamData(pdf.getObjectByID(5, 0))), QStringLiteral("BT /F2 10 Tf 0 0 Td (GONE) Tj ET"));
    }, &error));
    QVERIFY(!editor.lastError().isEmpty());
    QVERIFY(editor.changedObjects().empty());
}

// A form drawn once is edited in a copy of its own; the shared original stays.
void TestContentStreamEditor::formDrawnOnceIsCopied()
{
    QpdfFile file;
    QString error;
    QVERIFY(file.load(pagePdf(QStringLiteral("q 1 0 0 1 72 680 cm /Fm1 Do Q BT /F2 10 Tf 72 700 Td (KEEP) Tj ET")), &error));
    ContentStreamEditor editor(file.pdf());
    QVERIFY(file.run([&](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().at(0);
        QVERIFY2(editor.removeGlyphs(page, {QRectF(70, 678, 60, 9)}), qPrintable(editor.lastError()));
        QPDFObjectHandle drawn = page.getKey("/Resources").getKey("/XObject").getKey("/Fm1");
        QVERIFY(drawn.getObjectID() != 5);
        QVERIFY(streamData(drawn).find("GONE") == std::string::npos);
        QCOMPARE(QString::fromStdString(streamData(pdf.getObjectByID(5, 0))), QStringLiteral("BT /F2 10 Tf 0 0 Td (GONE) Tj ET"));
    }, &error));
    QCOMPARE(editor.glyphsRemoved(), 4);
}

void TestContentStreamEditor::textStateLeftForLaterStreams_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("leaves");
    QTest::newRow("a scan layer's Tz and Tr") << "BT 3 Tr /F1 12 Tf 136.5 Tz (DOGOVOR) Tj ET" << true;
    QTest::newRow("word spacing outside BT") << "10 Tw BT /F1 12 Tf (a b) Tj ET" << true;
    QTest::newRow("all of it inside q/Q") << "q BT 3 Tr 90 Tz /F1 12 Tf (x) Tj ET Q" << false;
    QTest::newRow("after its Q") << "q 2 Tc Q BT 1 Ts /F1 12 Tf (x) Tj ET" << true;
    QTest::newRow("no text state") << "BT /F1 12 Tf 72 700 Td (plain) Tj ET 0 0 1 rg 10 10 50 50 re f" << false;
    QTest::newRow("a string that reads Tz") << "BT /F1 12 Tf (Tz Tc) Tj ET" << false;
}

// Text the program appends after the page's own content takes whatever text
// state that content leaves outside q/Q.
void TestContentStreamEditor::textStateLeftForLaterStreams()
{
    QFETCH(QString, content);
    QFETCH(bool, leaves);
    QpdfFile file;
    QString error;
    QVERIFY(file.load(pagePdf(content), &error));
    bool found = !leaves;
    QVERIFY(file.run([&](QPDF& pdf) { found = ContentStreamEditor::leavesTextState(pdf.getAllPages().front()); }, &error));
    QCOMPARE(found, leaves);
}

void TestContentStreamEditor::standardFaceCodesDrawTheirEncodingsGlyphs_data()
{
    QTest::addColumn<QString>("encoding");  // the font's /Encoding, as written; empty: none
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("letter");  // 0: unknown
    QTest::newRow("none: StandardEncoding's right quote") << "" << 0x27 << 0x2019;
    QTest::newRow("none: StandardEncoding's left quote") << "" << 0x60 << 0x2018;
    QTest::newRow("none: StandardEncoding's fi") << "" << 0xAE << 0xFB01;
    QTest::newRow("none: a letter") << "" << int('a') << int('a');
    QTest::newRow("none: nothing at 0x80") << "" << 0x80 << 0;
    QTest::newRow("WinAnsi: the straight quote") << "/WinAnsiEncoding" << 0x27 << 0x27;
    QTest::newRow("WinAnsi: the left quote at 0x91") << "/WinAnsiEncoding" << 0x91 << 0x2018;
    QTest::newRow("WinAnsi: Latin-1 above") << "/WinAnsiEncoding" << 0xE9 << 0xE9;
    QTest::newRow("differences on StandardEncoding: fi") << "<< /Differences [140 /fi 173 /minus] >>" << 140 << 0xFB01;
    QTest::newRow("differences on StandardEncoding: the next code") << "<< /Differences [140 /fi /fl] >>" << 141 << 0xFB02;
    QTest::newRow("differences on StandardEncoding: a code left") << "<< /Differences [140 /fi] >>" << 0x27 << 0x2019;
    QTest::newRow("differences on WinAnsi: a uni name")
        << "<< /BaseEncoding /WinAnsiEncoding /Differences [65 /uni0416] >>" << 65 << 0x0416;
    QTest::newRow("differences: a name not known") << "<< /Differences [65 /g123] >>" << 65 << 0;
    QTest::newRow("MacRoman: its upper half not read") << "/MacRomanEncoding" << 0x8E << 0;
}

// A standard face without widths is measured glyph by glyph as its
// encoding draws each code: quotes and ligatures of StandardEncoding,
// differences by their names.
void TestContentStreamEditor::standardFaceCodesDrawTheirEncodingsGlyphs()
{
    QFETCH(QString, encoding);
    QFETCH(int, code);
    QFETCH(int, letter);
    const QPDFObjectHandle parsed =
        encoding.isEmpty() ? QPDFObjectHandle::newNull() : QPDFObjectHandle::parse(encoding.toStdString());
    QCOMPARE(int(pdfengine::encodedLetters(parsed)[size_t(code)]), letter);
}

QTEST_MAIN(TestContentStreamEditor)
#include "tst_contentstreameditor.moc"
