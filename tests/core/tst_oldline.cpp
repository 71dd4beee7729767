// Where a rewritten line parts into columns and which of them its new text
// leaves as they were.
#include "OldLine.h"

#include <QtTest>

using namespace pdfengine;

namespace {

// Columns of single-colour text, each 10 points a word, 40 points apart.
std::vector<OldLine> columnsOf(const QStringList& texts)
{
    std::vector<OldLine> columns;
    double x = 0;
    for (const QString& text : texts) {
        const double width = 10.0 * double(text.split(' ').size());
        columns.push_back(recognisedOldLine(text, QRectF(x, 0, width, 10), Qt::black));
        x += width + 40;
    }
    return columns;
}

} // namespace

class TestOldLine : public QObject {
    Q_OBJECT
private slots:
    void gapsWellOverAWordGapPartColumns_data();
    void gapsWellOverAWordGapPartColumns();
    void onlyTheChangedColumnIsLaidAnew_data();
    void onlyTheChangedColumnIsLaidAnew();
    void fixedPitchFromTheGlyphs_data();
    void fixedPitchFromTheGlyphs();
    void markOffTheLineKeepsItsLift_data();
    void markOffTheLineKeepsItsLift();
};

void TestOldLine::gapsWellOverAWordGapPartColumns_data()
{
    QTest::addColumn<QList<double>>("gaps");  // between items 10 points wide, at size 10
    QTest::addColumn<double>("blank");
    QTest::addColumn<QList<int>>("starts");
    QTest::newRow("word gaps only") << QList<double>{3, 3.2, 2.8} << 0.0 << QList<int>{0};
    QTest::newRow("justified, every gap widened alike") << QList<double>{7, 7.5, 6.8, 7.2} << 0.0 << QList<int>{0};
    QTest::newRow("a tab between two columns") << QList<double>{3, 16, 3} << 0.0 << QList<int>{0, 2};
    QTest::newRow("a chapter number two blanks from its title, the face's blank")
        << QList<double>{5} << 2.5 << QList<int>{0, 1};
    QTest::newRow("two words a blank apart") << QList<double>{2.5} << 2.5 << QList<int>{0};
    QTest::newRow("one wide gap of two") << QList<double>{14, 4} << 0.0 << QList<int>{0, 1};
    QTest::newRow("letters of one word touching") << QList<double>{0, 0.2, 0} << 0.0 << QList<int>{0};
    QTest::newRow("a gap wide in blanks of a tiny face, narrow in points") << QList<double>{3} << 0.5
                                                                           << QList<int>{0};
    QTest::newRow("no items") << QList<double>{} << 0.0 << QList<int>{};
}

void TestOldLine::gapsWellOverAWordGapPartColumns()
{
    QFETCH(QList<double>, gaps);
    QFETCH(double, blank);
    QFETCH(QList<int>, starts);
    std::vector<std::pair<double, double>> extents;
    if (!gaps.isEmpty() || starts.size() == 1)
        extents.emplace_back(0, 10);
    for (const double gap : gaps)
        extents.emplace_back(extents.back().second + gap, extents.back().second + gap + 10);
    QList<int> got;
    for (const size_t start : columnStarts(extents, 10, blank))
        got << int(start);
    QCOMPARE(got, starts);
}

void TestOldLine::onlyTheChangedColumnIsLaidAnew_data()
{
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");  // text of each piece, "*" before a changed one
    const QStringList header{QStringLiteral("Действительный ввод"), QStringLiteral("Переводимое значение")};
    QTest::newRow("second column corrected") << header << "Действительный ввод Переводимое слово"
                                             << QStringList{"Действительный ввод", "*Переводимое слово"};
    QTest::newRow("first column corrected") << header << "Действительный ответ Переводимое значение"
                                            << QStringList{"*Действительный ответ", "Переводимое значение"};
    QTest::newRow("a word typed at the end of the first") << header << "Действительный ввод да Переводимое значение"
                                                          << QStringList{"*Действительный ввод да", "Переводимое значение"};
    QTest::newRow("a word typed at the start of the second")
        << header << "Действительный ввод новое Переводимое значение"
        << QStringList{"*Действительный ввод новое", "Переводимое значение"};
    QTest::newRow("a word removed from the second") << header << "Действительный ввод значение"
                                                    << QStringList{"Действительный ввод", "*значение"};
    const QStringList three{QStringLiteral("1."), QStringLiteral("Общие положения"), QStringLiteral("стр. 4")};
    QTest::newRow("the middle of three") << three << "1. Общие правила стр. 4"
                                         << QStringList{"1.", "*Общие правила", "стр. 4"};
    QTest::newRow("a word corrected in each of two columns") << three << "1. Общие правила стр. 5"
                                                             << QStringList{"1.", "*Общие правила", "*стр. 5"};
    QTest::newRow("both columns corrected") << header << "Действительный ответ Входное значение"
                                            << QStringList{"*Действительный ответ", "*Входное значение"};
    QTest::newRow("every word replaced by as many") << header << "Входной текст Выходное слово"
                                                    << QStringList{"*Входной текст", "*Выходное слово"};
    QTest::newRow("a word typed into one column, another corrected")
        << three << "1. Общие положения договора стр. 5" << QStringList{"1.", "*Общие положения договора", "*стр. 5"};
    QTest::newRow("words replaced across a column gap by fewer")
        << three << "1. Общие сведения 4" << QStringList{"1.", "*Общие сведения 4"};
    QTest::newRow("every column changed") << header << "Другой текст" << QStringList{};
    QTest::newRow("nothing changed") << header << "Действительный ввод  Переводимое значение" << QStringList{};
    QTest::newRow("one column") << QStringList{QStringLiteral("Общие положения")} << "Общие правила" << QStringList{};
    QTest::newRow("all text removed") << header << "" << QStringList{};
}

void TestOldLine::onlyTheChangedColumnIsLaidAnew()
{
    QFETCH(QStringList, columns);
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    const std::vector<OldLine> old = columnsOf(columns);
    QStringList got;
    for (const LinePiece& piece : piecesForText(old, text)) {
        got << (piece.changed ? QStringLiteral("*") : QString()) + piece.text;
        // A column left as it was keeps its own place; a changed one starts where its first column started.
        QCOMPARE(piece.old.left, old[piece.column].left);
    }
    QCOMPARE(got, pieces);
}

void TestOldLine::fixedPitchFromTheGlyphs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("advances");
    QTest::addColumn<bool>("fixed");
    QTest::newRow("one advance for all") << "ОТМЕТКИ" << QList<double>{8.4, 8.4, 8.4, 8.4, 8.4, 8.4, 8.4} << true;
    QTest::newRow("proportional") << "ОТМЕТКИ" << QList<double>{8.7, 7.3, 10.7, 7.3, 7.3, 8.0, 8.7} << false;
    QTest::newRow("one letter repeated says nothing") << "ШШШШ" << QList<double>{9, 9, 9, 9} << false;
    QTest::newRow("blanks aside") << "А Б В" << QList<double>{7.2, 3.0, 7.2, 3.0, 7.2} << true;
}

void TestOldLine::fixedPitchFromTheGlyphs()
{
    QFETCH(QString, text);
    QFETCH(QList<double>, advances);
    QFETCH(bool, fixed);
    std::vector<PageGlyph> ink;
    double x = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        PageGlyph glyph;
        glyph.text = text.mid(i, 1);
        glyph.left = x;
        glyph.right = x + advances[i];
        x = glyph.right;
        ink.push_back(glyph);
    }
    QCOMPARE(isFixedPitch(nullptr, ink), fixed);
}

// Glyphs of a line at size 10 ('.'), a mark at size 6 raised ('^') or lowered
// ('_') off the baseline, a letter at size 6 on it ('s'), one of size 10
// raised ('r'), a blank after which the page also reads a break ('|'). The
// new text's characters lifted off the line are marked '^'.
void TestOldLine::markOffTheLineKeepsItsLift_data()
{
    QTest::addColumn<QString>("old");
    QTest::addColumn<QString>("glyphs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lifted");
    QTest::newRow("mark before its word, a word after replaced") << "1The plan" << "^........" << "1The list"
                                                                 << "^........";
    QTest::newRow("mark after a word, the word replaced") << "boxes2 The" << ".....^...." << "crates2 The"
                                                          << "......^....";
    QTest::newRow("mark replaced by another") << "1The" << "^..." << "2The" << "^...";
    QTest::newRow("mark and its word replaced together") << "1The" << "^..." << "See" << "...";
    QTest::newRow("index lowered, words typed after") << "H2O" << "._." << "H2O is" << "._....";
    QTest::newRow("break read beside a drawn blank") << "boxes2 The" << ".....^|..." << "crates2 The"
                                                     << "......^....";
    QTest::newRow("small letters on the baseline stay in the line") << "ABC def" << "...ssss" << "ABC deg"
                                                                    << ".......";
    QTest::newRow("a raised letter of the line's size stays in it") << "xRy" << ".r." << "xRz" << "...";
}

void TestOldLine::markOffTheLineKeepsItsLift()
{
    QFETCH(QString, old);
    QFETCH(QString, glyphs);
    QFETCH(QString, text);
    QFETCH(QString, lifted);
    std::vector<PageGlyph> ink;
    for (qsizetype i = 0; i < old.size(); ++i) {
        const QChar kind = glyphs[i];
        PageGlyph glyph;
        glyph.text = old.mid(i, 1);
        glyph.left = 5.0 * double(i);
        glyph.right = glyph.left + 5;
        glyph.size = kind == '^' || kind == '_' || kind == 's' ? 6 : 10;
        const double rise = kind == '^' || kind == 'r' ? 3 : kind == '_' ? -2 : 0;
        glyph.origin = QPointF(glyph.left, 100 - rise);
        ink.push_back(glyph);
        if (kind == '|') {
            ink.push_back(glyph);
            ink.back().text = QStringLiteral(" ");
            ink.back().spaceBefore = true;
        }
    }
    const std::vector<Lift> lifts = liftsForText(oldLineOf(ink), text);
    QString got(text.size(), QLatin1Char('.'));
    for (size_t i = 0; i < lifts.size(); ++i)
        if (lifts[i].size > 0)
            got[qsizetype(i)] = lifts[i].rise > 0 ? QLatin1Char('^') : QLatin1Char('_');
    QCOMPARE(got, lifted);
}

QTEST_GUILESS_MAIN(TestOldLine)
#include "tst_oldline.moc"
