// Recognition of degraded scans (noise, blur, JPEG, 1.3° skew, capitals at
// the foot, ruled tables) against what the tesseract program reads on the
// same images; its words and boxes are stored by tests/data/make-scans.sh.
#include "OcrEngine.h"
#include "PageStraightening.h"
#include "PdfDocument.h"
#include "PdfTools.h"
#include "OcrTestPages.h"

#include <QFile>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QtTest>

#include <map>

namespace {

struct ProgramWord {
    QString text;
    QRectF rect; // points
    double confidence = 0;
};

std::vector<ProgramWord> programWords(const TestPage &page)
{
    std::vector<ProgramWord> words;
    QFile file(QStringLiteral(VORN_SCANS_DIR "/%1.tsv").arg(page.name));
    if (!file.open(QIODevice::ReadOnly))
        return words;
    for (const QByteArray &row : file.readAll().split('\n')) {
        const QList<QByteArray> f = row.split('\t');
        if (f.size() != 6)
            continue;
        const double s = page.scale;
        const QRectF pixels(f[0].toDouble(), f[1].toDouble(), f[2].toDouble(), f[3].toDouble());
        words.push_back({QString::fromUtf8(f[5]),
                         QRectF(pixels.x() / s, page.pageHeight - pixels.bottom() / s, pixels.width() / s,
                                pixels.height() / s),
                         f[4].toDouble()});
    }
    return words;
}

std::vector<const TextBlock::Line *> textLines(const std::vector<TextBlock> &blocks)
{
    std::vector<const TextBlock::Line *> lines;
    for (const TextBlock &b : blocks)
        for (const TextBlock::Line &line : b.lines)
            if (!b.isImage)
                lines.push_back(&line);
    return lines;
}

// The program's word of the same text nearest to centre, or null.
const ProgramWord *nearestProgramWord(const std::vector<ProgramWord> &program, const QString &text, QPointF centre)
{
    const ProgramWord *nearest = nullptr;
    for (const ProgramWord &candidate : program)
        if (candidate.text == text
            && (!nearest
                || QLineF(candidate.rect.center(), centre).length() < QLineF(nearest->rect.center(), centre).length()))
            nearest = &candidate;
    return nearest;
}

// Words on their word need the centre inside the program's box grown by 1 pt.
bool onProgramWord(const ProgramWord &word, QPointF centre)
{
    return word.rect.adjusted(-1, -1, 1, 1).contains(centre);
}

} // namespace

class OcrScansTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void page_data();
    void page();
    void straighteningRoundTrip();
    void layerOnWords_data();
    void layerOnWords();

private:
    OcrEngine engine;
    std::vector<TestPage> pages;
    std::map<QString, std::vector<TextBlock>> results;
};

void OcrScansTest::initTestCase()
{
    QVERIFY2(engine.init(QStringLiteral("rus+eng")), qPrintable(engine.lastError()));
    pages = testpages::scanPages();
    for (const TestPage &p : pages) {
        results[p.name] = engine.recognizePage(p.image, 0, p.scale, p.pageHeight);
        QVERIFY2(!programWords(p).empty(), qPrintable(p.name + QStringLiteral(": no stored words")));
    }
}

void OcrScansTest::page_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(pages.size()); ++i)
        QTest::newRow(qPrintable(pages[size_t(i)].name)) << i;
}

void OcrScansTest::page()
{
    QFETCH(int, index);
    const TestPage &p = pages[size_t(index)];
    const std::vector<TextBlock> &blocks = results.at(p.name);
    const std::vector<ProgramWord> program = programWords(p);
    const QStringList reference = testpages::words(p.lines);
    const bool skewed = p.skewDegrees != 0.0;

    // Recall: no word the program reads is lost to our rules.
    const double ours = testpages::wordRecall(reference, testpages::words(blocks));
    QStringList programTexts;
    for (const ProgramWord &w : program)
        programTexts << w.text;
    const double theirs = testpages::wordRecall(reference, programTexts);
    QVERIFY2(ours >= theirs - 0.01, qPrintable(QStringLiteral("recall %1 against the program's %2:\n%3")
                                                   .arg(ours)
                                                   .arg(theirs)
                                                   .arg(testpages::blocksText(blocks))));

    // No picture over a word the program reads with confidence; a table's
    // rulings are no picture either.
    for (const TextBlock &b : blocks) {
        if (!b.isImage)
            continue;
        QVERIFY2(p.cells.isEmpty(), "a picture block on a table page");
        for (const ProgramWord &w : program)
            QVERIFY2(w.confidence < 60 || !b.rect.contains(w.rect.center()), qPrintable(w.text));
    }

    // Each word box lies on the word the program read there.
    int matched = 0, inside = 0;
    for (const TextBlock::Line *line : textLines(blocks))
        for (const TextBlock::Line::Word &w : line->words)
            if (const ProgramWord *nearest = nearestProgramWord(program, w.text, w.rect.center())) {
                ++matched;
                inside += onProgramWord(*nearest, w.rect.center());
            }
    QVERIFY(matched > 20);
    const double share = double(inside) / matched;
    QVERIFY2(share >= (skewed ? 0.90 : 0.95), qPrintable(QString::number(share)));

    // Body text keeps its size, straight or skewed.
    for (const QString &body : p.bodyLines) {
        const QString first = body.section(QLatin1Char(' '), 0, 0);
        for (const TextBlock::Line *line : textLines(blocks)) {
            if (!line->text.startsWith(first))
                continue;
            QVERIFY2(line->fontSize >= p.bodySizePt - 1 && line->fontSize <= p.bodySizePt + 1,
                     qPrintable(QStringLiteral("%1: %2 pt").arg(line->text).arg(line->fontSize)));
        }
    }

    // A table row's number and name are separate cells.
    for (const QStringList &row : p.cells) {
        const QString name = row.value(1).section(QLatin1Char(' '), 0, 0);
        for (const TextBlock::Line *line : textLines(blocks)) {
            const QStringList words = line->text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QVERIFY2(!(words.contains(row.value(0)) && words.contains(name)), qPrintable(line->text));
        }
    }
}

void OcrScansTest::layerOnWords_data()
{
    page_data();
}

// After writing the page's text layer, pdftotext finds each word on the word
// the program read there.
void OcrScansTest::layerOnWords()
{
    QVERIFY2(pdftools::installed(QStringLiteral("pdftotext")), "pdftotext is missing; scripts/setup.sh installs it");
    QFETCH(int, index);
    const TestPage &p = pages[size_t(index)];
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scan.pdf"));
    PdfDocument doc;
    QVERIFY(doc.createEmpty() && doc.appendRenderedPage(p.image, QSizeF(p.pageWidth, p.pageHeight)));
    QVERIFY(doc.overlayOcrText(0, results.at(p.name), false));
    QVERIFY(doc.saveCopy(path));
    const std::vector<ProgramWord> program = programWords(p);
    int matched = 0, inside = 0;
    QStringList off;
    for (const pdftools::WordBox &w : pdftools::wordBoxes(path, 0)) {
        const QPointF centre(w.box.center().x(), p.pageHeight - w.box.center().y());
        const ProgramWord *nearest = nearestProgramWord(program, w.text, centre);
        if (!nearest)
            continue;
        ++matched;
        if (onProgramWord(*nearest, centre))
            ++inside;
        else
            off << QStringLiteral("%1 %2 pt").arg(w.text).arg(QLineF(nearest->rect.center(), centre).length(), 0, 'f', 1);
    }
    qInfo("%s: %d of %d words on their words; off: %s", qPrintable(p.name), inside, matched, qPrintable(off.join(", ")));
    QVERIFY(matched > 20);
    QVERIFY2(inside >= (p.skewDegrees != 0.0 ? 0.90 : 0.95) * matched,
             qPrintable(QStringLiteral("%1 of %2 on their words; off: %3").arg(inside).arg(matched).arg(off.join(", "))));
}

void OcrScansTest::straighteningRoundTrip()
{
    // A scan turned 1.3° clockwise about its centre; the straightened copy
    // turns it back. A box found on the copy lands on the scan's point, same size.
    const double scale = 2.0, pageHeight = 400;
    const PageStraightening turn{-1.3, QPointF(300, 400)};
    for (const QPointF pixel : {QPointF(300, 400), QPointF(0, 0), QPointF(599, 799), QPointF(120, 700)}) {
        const QPointF back = turn.toStraightened(turn.toScan(pixel));
        QVERIFY(QLineF(back, pixel).length() < 1e-9);
    }
    QCOMPARE(turn.toScan(QPointF(300, 400)), QPointF(300, 400));
    // 290 pixels right of the centre: on the clockwise turned scan 290 · sin 1.3° ≈ 6.58 pixels lower.
    QVERIFY(std::abs(turn.toScan(QPointF(590, 400)).y() - (400 + 6.58)) < 0.01);
    const QRectF word(200, 150, 40, 10); // points, centre (220, 155) = pixel (440, 490)
    const QRectF moved = turn.rectToScan(word, scale, pageHeight);
    QCOMPARE(moved.size(), word.size());
    const QPointF onScan = turn.toScan(QPointF(440, 490));
    QVERIFY(QLineF(moved.center(), QPointF(onScan.x() / scale, pageHeight - onScan.y() / scale)).length() < 1e-9);
    QCOMPARE(PageStraightening{}.rectToScan(word, scale, pageHeight), word);
}

QTEST_MAIN(OcrScansTest)
#include "tst_ocrscans.moc"
