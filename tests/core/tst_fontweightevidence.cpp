// A page font's weight from what the font shows: the widths its glyphs are
// drawn with and its program's style bits, not the stem width pdfium reads.
#include "FontWeightEvidence.h"
#include "PdfDocument.h"
#include "PdfFixtures.h"
#include "TextBlock.h"

#include <QFile>
#include <QRawFont>
#include <QTest>

using pdfengine::DrawnAdvance;
using pdfengine::WeightVerdict;

Q_DECLARE_METATYPE(WeightVerdict)

namespace {

const QString kFonts = QStringLiteral("/usr/share/fonts/truetype/liberation2/");

// The advances (thousandths of the size) a face draws text with, as a page
// set in that face would show them.
std::vector<DrawnAdvance> advancesIn(const QString& file, const QString& text)
{
    QRawFont font(file, 1000);
    std::vector<DrawnAdvance> drawn;
    const QList<uint> codes = text.toUcs4();
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
    for (qsizetype i = 0; i < codes.size() && i < advances.size(); ++i)
        drawn.push_back({char32_t(codes[i]), advances[i].x()});
    return drawn;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestFontWeightEvidence : public QObject {
    Q_OBJECT
private slots:
    void advancesTellRegularFromBold_data();
    void advancesTellRegularFromBold();
    void programStyleBits_data();
    void programStyleBits();
    void pageLinesReadTheirOwnWeight_data();
    void pageLinesReadTheirOwnWeight();
};

void TestFontWeightEvidence::advancesTellRegularFromBold_data()
{
    QTest::addColumn<QString>("fontName");  // as the page names its font
    QTest::addColumn<QString>("drawnIn");   // the face whose advances the page shows; "between": halfway
    QTest::addColumn<QString>("text");
    QTest::addColumn<WeightVerdict>("verdict");
    const QString words = QStringLiteral("Договор поставки заключён сроком на пять лет");
    QTest::newRow("Times twin, regular") << "TimesNewRomanPSMT" << "LiberationSerif-Regular.ttf" << words
                                         << WeightVerdict::Regular;
    QTest::newRow("Times twin, bold") << "LiberationSerif" << "LiberationSerif-Bold.ttf" << words
                                      << WeightVerdict::Bold;
    QTest::newRow("Helvetica twin, bold") << "Helvetica" << "LiberationSans-Bold.ttf"
                                          << "Quarterly report of the office" << WeightVerdict::Bold;
    QTest::newRow("Arial twin, regular") << "ArialMT" << "LiberationSans-Regular.ttf"
                                         << "Quarterly report of the office" << WeightVerdict::Regular;
    QTest::newRow("no twin installed") << "PTSerif" << "LiberationSerif-Bold.ttf" << words << WeightVerdict::Unknown;
    QTest::newRow("digits are as wide in both") << "LiberationSerif" << "LiberationSerif-Bold.ttf" << "2025 0417"
                                                << WeightVerdict::Unknown;
    QTest::newRow("halfway fits neither clearly") << "LiberationSerif" << "between" << words
                                                  << WeightVerdict::Unknown;
}

void TestFontWeightEvidence::advancesTellRegularFromBold()
{
    QFETCH(QString, fontName);
    QFETCH(QString, drawnIn);
    QFETCH(QString, text);
    std::vector<DrawnAdvance> drawn;
    if (drawnIn == QLatin1String("between")) {
        const auto regular = advancesIn(kFonts + "LiberationSerif-Regular.ttf", text);
        const auto bold = advancesIn(kFonts + "LiberationSerif-Bold.ttf", text);
        for (size_t i = 0; i < regular.size(); ++i)
            drawn.push_back({regular[i].code, (regular[i].advance + bold[i].advance) / 2});
    } else {
        drawn = advancesIn(kFonts + drawnIn, text);
    }
    QVERIFY(!drawn.empty());
    QTEST(pdfengine::weightFromAdvances(fontName, false, drawn), "verdict");
}

void TestFontWeightEvidence::programStyleBits_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<WeightVerdict>("verdict");
    const QByteArray regular = fileBytes(kFonts + "LiberationSerif-Regular.ttf");
    const QByteArray bold = fileBytes(kFonts + "LiberationSans-Bold.ttf");
    QTest::newRow("regular TrueType") << regular << WeightVerdict::Regular;
    QTest::newRow("bold TrueType") << bold << WeightVerdict::Bold;
    QTest::newRow("directory only, tables cut off") << regular.left(200) << WeightVerdict::Unknown;
    QTest::newRow("a Type 1 program") << QByteArray("%!PS-AdobeFont-1.0: NimbusRoman-Bold") << WeightVerdict::Unknown;
    QTest::newRow("nothing") << QByteArray() << WeightVerdict::Unknown;
}

void TestFontWeightEvidence::programStyleBits()
{
    QFETCH(QByteArray, program);
    QTEST(pdfengine::weightFromFontProgram(program), "verdict");
}

void TestFontWeightEvidence::pageLinesReadTheirOwnWeight_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    // Ghostscript writes /StemV 137 and 140 for the regular and the bold face
    // alike, which pdfium reads as weights of 685 and 700.
    for (const char* file : {"gs-letter.pdf", "libreoffice-letter.pdf"}) {
        QTest::addRow("%s, right-aligned regular", file) << file << "г. Москва, ул. Лесная, д. 5" << false;
        QTest::addRow("%s, body", file) << file << "Поставка оборудования" << false;
        QTest::addRow("%s, bold heading", file) << file << "ПИСЬМО" << true;
        QTest::addRow("%s, bold table header", file) << file << "Наименование работ" << true;
    }
    QTest::newRow("ghostscript Helvetica") << "gs-helvetica.pdf" << "All files were carried over without loss." << false;
}

void TestFontWeightEvidence::pageLinesReadTheirOwnWeight()
{
    QFETCH(QString, file);
    QFETCH(QString, text);
    PdfDocument doc;
    QVERIFY(doc.open(fixtures::realPdf(file)));
    for (const TextBlock& block : doc.extractText(0))
        if (block.text.trimmed() == text) {
            QTEST(block.bold, "bold");
            QTEST(block.lines.front().spans.front().bold, "bold");
            return;
        }
    QFAIL("line not found");
}

QTEST_MAIN(TestFontWeightEvidence)
#include "tst_fontweightevidence.moc"
