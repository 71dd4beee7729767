// The pages of a workbook as a PDF of text and paths, read back from outside
// with pdftotext and pdfimages, and compared cell by cell with LibreOffice's
// own PDF of a workbook made by openpyxl.
#include "XlsxFixtures.h"
#include "XlsxImportDialog.h"
#include "XlsxPackage.h"
#include "XlsxPageRenderer.h"
#include "XlsxPreviewWidget.h"
#include "XlsxSheetPainting.h"
#include "XlsxSheetReader.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString workbook(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA "/xlsx/") + name;
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(program);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfText(const QString& pdf, bool layout = true)
{
    return run(QStringLiteral("pdftotext"),
               (layout ? QStringList{QStringLiteral("-layout")} : QStringList{}) + QStringList{pdf, QStringLiteral("-")});
}

XlsxICell textCell(const QString& text, int style = 0)
{
    XlsxICell cell;
    cell.text = text;
    cell.style = style;
    return cell;
}

XlsxICell numberCell(double value)
{
    XlsxICell cell;
    cell.number = value;
    cell.isNumber = true;
    cell.text = QString::number(value, 'g', 17);
    return cell;
}

// Style 0 plain, style 1 wrapped, style 2 right-aligned.
std::shared_ptr<XlsxIStyles> plainStyles()
{
    auto styles = std::make_shared<XlsxIStyles>();
    styles->fonts.append(XlsxIFont());
    styles->fills = {XlsxIFill(), XlsxIFill()};
    styles->borders.append(XlsxIBorder());
    styles->cellXfs.append(XlsxIXf());
    XlsxIXf wrapped;
    wrapped.wrapText = true;
    styles->cellXfs.append(wrapped);
    XlsxIXf right;
    right.horizontal = QStringLiteral("right");
    styles->cellXfs.append(right);
    return styles;
}

std::vector<XlsxISheetInfo> oneSheet(std::shared_ptr<XlsxISheetData> data)
{
    std::vector<XlsxISheetInfo> sheets;
    sheets.push_back({QStringLiteral("S"), std::move(data), {}});
    return sheets;
}

// The words of one page as pdftotext -bbox finds them: text and box in points.
struct PdfWord {
    QString text;
    QRectF box;
};

QList<PdfWord> pdfWords(const QString& pdf, int page)
{
    const QString html = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"),
                                                            QString::number(page), QStringLiteral("-l"),
                                                            QString::number(page), pdf, QStringLiteral("-")});
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<PdfWord> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        const QPointF a(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF b(m.captured(3).toDouble(), m.captured(4).toDouble());
        words.append({m.captured(5), QRectF(a, b)});
    }
    return words;
}

QString pageText(const QString& pdf, int page)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                             QString::number(page), pdf, QStringLiteral("-")});
}

} // namespace

class TestXlsxPageRenderer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void textsAsTheyPrint_data();
    void textsAsTheyPrint();
    void spillWidensThePrintedColumns_data();
    void spillWidensThePrintedColumns();
    void digitsFitAsTheWorkbookCountsThem_data();
    void digitsFitAsTheWorkbookCountsThem();
    void wrappedRowsGrow();
    void fittedHeightsGrowForWrappedTexts_data();
    void fittedHeightsGrowForWrappedTexts();
    void longWrappedTextShowsItsFirstWords();
    void pagesAreTextAndPaths();
    void cancelledWritingLeavesNoFile();
    void registerAsLibreOfficePrintsIt();
    void chartsWhereTheSheetShowsThem();
    void reportAsItPrints_data();
    void reportAsItPrints();
    void previewShowsFiguresAsPrinted_data();
    void previewShowsFiguresAsPrinted();
    void columnsGoOnPagesAcross_data();
    void columnsGoOnPagesAcross();
    void spillIsCutAtThePageEdge_data();
    void spillIsCutAtThePageEdge();

private:
    QTemporaryDir m_dir;
};

// Three columns of 15 characters: what each row's texts become on the page.
void TestXlsxPageRenderer::textsAsTheyPrint_data()
{
    QTest::addColumn<QList<XlsxICell>>("row"); // columns A, B, C; an empty text is no cell
    QTest::addColumn<QString>("printed");       // pattern of pdftotext's first line, spaces squeezed
    QTest::addColumn<int>("mergedTo");          // row 1 merged from A to this column; -1 not merged
    QTest::addColumn<QList<int>>("hidden");     // hidden columns

    const QString longText = QStringLiteral("Примечание длинное на три ячейки");
    QTest::newRow("spills over empty neighbours") << QList<XlsxICell>{textCell(longText), {}, {}} << "^" + longText + "$" << -1 << QList<int>{};
    QTest::newRow("stops at a filled neighbour")
        << QList<XlsxICell>{textCell(longText), textCell(QStringLiteral("Б")), {}}
        << QStringLiteral("^Примечание дл?и?н?н?о?е? ?Б$") << -1 << QList<int>{};
    QTest::newRow("right-aligned spills left")
        << QList<XlsxICell>{{}, {}, textCell(QStringLiteral("Итого по всем счетам года"), 2)}
        << QStringLiteral("^Итого по всем счетам года$") << -1 << QList<int>{};
    QTest::newRow("spills past the last column")
        << QList<XlsxICell>{textCell(QStringLiteral("а")), {}, textCell(longText)} << "^а " + longText + "$" << -1 << QList<int>{};
    // A General number shortens to fit, as spreadsheet programs show it.
    QTest::newRow("a number never spills") << QList<XlsxICell>{numberCell(1234567890123456.0), {}, {}}
                                            << QStringLiteral("^1\\.2[0-9]*E\\+15$") << -1 << QList<int>{};
    QTest::newRow("General with decimals shortens") << QList<XlsxICell>{numberCell(3.14159265358979), {}, {}}
                                                    << QStringLiteral("^3\\.14[0-9]*$") << -1 << QList<int>{};
    // A merge shows its text across the columns of it that show.
    const QString total = QStringLiteral("Итого за квартал");
    QTest::newRow("merge over a hidden first column") << QList<XlsxICell>{textCell(total), {}, {}} << "^" + total + "$"
                                                      << 2 << QList<int>{0};
    QTest::newRow("merge over a hidden middle column") << QList<XlsxICell>{textCell(total), {}, {}}
                                                       << "^" + total + "$" << 2 << QList<int>{1};
    QTest::newRow("number merged over a hidden first column") << QList<XlsxICell>{numberCell(1234.5), {}, {}}
                                                              << QStringLiteral("^1234\\.5$") << 1 << QList<int>{0};
    QTest::newRow("merge of hidden columns only") << QList<XlsxICell>{textCell(total), {}, textCell(QStringLiteral("В"))}
                                                  << QStringLiteral("^В$") << 1 << QList<int>{0, 1};
    // A carriage return or a tab read from the workbook prints as nothing.
    QTest::newRow("control characters") << QList<XlsxICell>{textCell(QStringLiteral("Первая\r строка")), {},
                                                            textCell(QStringLiteral("Таб\tулятор"))}
                                        << QStringLiteral("^Первая строка Табулятор$") << -1 << QList<int>{};
    QTest::newRow("short texts stay") << QList<XlsxICell>{textCell(QStringLiteral("а")), textCell(QStringLiteral("б")),
                                                          numberCell(3)}
                                      << QStringLiteral("^а б 3$") << -1 << QList<int>{};
}

void TestXlsxPageRenderer::textsAsTheyPrint()
{
    QFETCH(QList<XlsxICell>, row);
    QFETCH(QString, printed);
    QFETCH(int, mergedTo);
    QFETCH(QList<int>, hidden);
    auto data = std::make_shared<XlsxISheetData>();
    for (int c = 0; c < row.size(); ++c) {
        data->colWidths.insert(c, 15);
        if (!row.at(c).text.isEmpty())
            data->cells[1][c] = row.at(c);
    }
    if (mergedTo > 0)
        data->merges.append({1, 0, 1, mergedTo});
    data->hiddenCols = QSet<int>(hidden.cbegin(), hidden.cend());
    // Columns A and C stay in the grid.
    data->cells[2][0] = textCell(QStringLiteral("низ"));
    data->cells[2][2] = textCell(QStringLiteral("конец"));
    const XlsxPageRenderer renderer(oneSheet(data), plainStyles(), {});
    const QString pdf = m_dir.filePath(QStringLiteral("row.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    const QString firstLine = pdfText(pdf).split(u'\n').first().simplified();
    QVERIFY2(QRegularExpression(printed).match(firstLine).hasMatch(), qPrintable(firstLine));
    // The preview shows each text as the page begins it.
    XlsxPreviewWidget preview;
    const auto styles = plainStyles();
    preview.setSheet(data.get(), styles.get(), {});
    for (int c = 0; c < row.size(); ++c) {
        if (!row.at(c).text.isEmpty() && !row.at(c).isNumber && !hidden.contains(c) && !(c > 0 && c <= mergedTo))
            QVERIFY2(firstLine.contains(preview.shownText(1, c).left(10)), qPrintable(preview.shownText(1, c)));
    }
}

// Columns of 15 digits from A. The columns a sheet prints: its cells', and
// the empty ones its last texts run over, within bounds.
void TestXlsxPageRenderer::spillWidensThePrintedColumns_data()
{
    QTest::addColumn<QList<XlsxICell>>("row"); // row 1 from column `from`
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("numberRows");      // rows 2.. holding a number in column A
    QTest::addColumn<bool>("hidden");         // row 1 hidden
    QTest::addColumn<bool>("merged");         // row 1's first two columns merged
    QTest::addColumn<int>("lowest");          // the last printed column, at least and at most
    QTest::addColumn<int>("highest");

    const QString note = QStringLiteral("Примечание: длинный текст, который не помещается в одну ячейку");
    const QString hostile = QStringLiteral("слово ").repeated(5000);
    const QList<XlsxICell> longNote{textCell(note)};
    QTest::newRow("a short text") << QList<XlsxICell>{textCell(QStringLiteral("а"))} << 0 << 0 << false << false << 0 << 0;
    // 62 characters over a column of 15 digits and more of 8.43.
    QTest::newRow("a long text") << longNote << 0 << 0 << false << false << 2 << 6;
    QTest::newRow("stopped by the last text of its row")
        << QList<XlsxICell>{textCell(note), textCell(QStringLiteral("б"))} << 0 << 0 << false << false << 1 << 1;
    QTest::newRow("a wrapped text") << QList<XlsxICell>{textCell(note, 1)} << 0 << 0 << false << false << 0 << 0;
    QTest::newRow("right-aligned") << QList<XlsxICell>{textCell(note, 2)} << 0 << 0 << false << false << 0 << 0;
    QTest::newRow("a number") << QList<XlsxICell>{numberCell(1234567890123456.0)} << 0 << 0 << false << false << 0 << 0;
    QTest::newRow("in a hidden row") << longNote << 0 << 0 << true << false << 0 << 0;
    QTest::newRow("merged") << QList<XlsxICell>{textCell(note), {}} << 0 << 0 << false << true << 0 << 0;
    QTest::newRow("a hostile length") << QList<XlsxICell>{textCell(hostile)} << 0 << 0 << false << false
                                      << kMaxSpillColumns << kMaxSpillColumns;
    QTest::newRow("at the sheet's last columns") << QList<XlsxICell>{textCell(hostile)} << kLastSheetColumn - 2 << 0
                                                 << false << false << kLastSheetColumn << kLastSheetColumn;
    // 100,000 rows hold 40 columns within the positions a sheet may have.
    QTest::newRow("a long sheet") << QList<XlsxICell>{textCell(hostile)} << 0 << 99'999 << false << false << 39 << 39;
}

void TestXlsxPageRenderer::spillWidensThePrintedColumns()
{
    QFETCH(QList<XlsxICell>, row);
    QFETCH(int, from);
    QFETCH(int, numberRows);
    QFETCH(bool, hidden);
    QFETCH(bool, merged);
    QFETCH(int, lowest);
    QFETCH(int, highest);
    auto data = std::make_shared<XlsxISheetData>();
    for (int c = 0; c < row.size(); ++c) {
        data->colWidths.insert(from + c, 15);
        if (!row.at(c).text.isEmpty())
            data->cells[1][from + c] = row.at(c);
    }
    for (int r = 2; r <= numberRows + 1; ++r)
        data->cells[r][0] = numberCell(r);
    if (hidden)
        data->hiddenRows.insert(1);
    if (merged)
        data->merges.append({1, from, 1, from + 1});
    const auto styles = plainStyles();
    const XlsxISheetGrid cells = iSheetGrid(data.get(), {});
    const XlsxISheetGrid printed = iPrintedGrid(data.get(), {}, styles.get());
    QCOMPARE(printed.firstCol, cells.firstCol);
    QCOMPARE(printed.rowCount(), cells.rowCount());
    QVERIFY(!printed.tooLarge);
    QVERIFY2(printed.lastCol >= lowest && printed.lastCol <= highest, qPrintable(QString::number(printed.lastCol)));
    // Measured once at loading, the same columns.
    iFitSpills(*data, {}, *styles);
    QCOMPARE(data->printedLastCol, printed.lastCol);
    QCOMPARE(iPrintedGrid(data.get(), {}, styles.get()).lastCol, printed.lastCol);
    // The pages lay the printed columns out: a page holds the whole row.
    if (numberRows == 0 && !hidden && from == 0) {
        const XlsxPageRenderer renderer(oneSheet(data), styles, {});
        QCOMPARE(renderer.pageCount(), 1);
    }
}

// A column's width counts digits of the workbook's default font, the first
// one, and a cell whose format names that font is drawn in it: ten digits fit
// a column of 11.24 (LibreOffice's Arial 10 as Excel's Calibri 11).
void TestXlsxPageRenderer::digitsFitAsTheWorkbookCountsThem_data()
{
    QTest::addColumn<double>("fontSize"); // of the first font, the workbook's default
    QTest::addColumn<double>("width");    // of column A, in digits
    QTest::addColumn<int>("style");       // 0: the format "0000000000"; 5: no such format
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("printed"); // pattern of pdftotext's first line

    QTest::newRow("LibreOffice's 10-point default") << 10.0 << 11.24 << 0 << 53992312.0 << "^0053992312$";
    QTest::newRow("Excel's 11-point default") << 11.0 << 11.24 << 0 << 53992312.0 << "^0053992312$";
    QTest::newRow("a large default font") << 20.0 << 11.24 << 0 << 72924865.0 << "^0072924865$";
    QTest::newRow("a style beyond the formats") << 10.0 << 8.43 << 5 << 1234567.0 << "^1234567$";
    QTest::newRow("too narrow for ten digits") << 10.0 << 9.0 << 0 << 53992312.0 << "^#+$";
}

void TestXlsxPageRenderer::digitsFitAsTheWorkbookCountsThem()
{
    QFETCH(double, fontSize);
    QFETCH(double, width);
    QFETCH(int, style);
    QFETCH(double, value);
    QFETCH(QString, printed);
    auto styles = std::make_shared<XlsxIStyles>();
    XlsxIFont font;
    font.size = fontSize;
    styles->fonts.append(font);
    styles->numFmts.insert(164, QStringLiteral("0000000000"));
    XlsxIXf padded; // fontId 0 without applyFont, as both programs write it
    padded.numFmtId = 164;
    styles->cellXfs.append(padded);
    auto data = std::make_shared<XlsxISheetData>();
    data->colWidths.insert(0, width);
    data->cells[1][0] = numberCell(value);
    data->cells[1][0].style = style;
    const XlsxPageRenderer renderer(oneSheet(data), styles, {});
    const QString pdf = m_dir.filePath(QStringLiteral("digits.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    const QString firstLine = pdfText(pdf).split(u'\n').first().simplified();
    QVERIFY2(QRegularExpression(printed).match(firstLine).hasMatch(), qPrintable(firstLine));
}

// A wrapped text wraps inside its cell, and its row (the workbook giving no
// height) grows to hold it; a row with a height keeps it.
void TestXlsxPageRenderer::wrappedRowsGrow()
{
    auto styles = plainStyles();
    auto data = std::make_shared<XlsxISheetData>();
    data->colWidths.insert(0, 12);
    const QString words = QStringLiteral("перенос по словам внутри ячейки без обрезки");
    data->cells[1][0] = textCell(words, 1);
    data->cells[2][0] = textCell(words, 1);
    data->rowHeights.insert(2, 15);
    data->cells[3][0] = textCell(QStringLiteral("одна строка"));
    iFitRowHeights(*data, *styles);
    QVERIFY2(data->rowHeights.value(1) > 45, qPrintable(QString::number(data->rowHeights.value(1))));
    QCOMPARE(data->rowHeights.value(2), 15.0);
    QVERIFY(!data->rowHeights.contains(3));

    const XlsxPageRenderer renderer(oneSheet(data), styles, {});
    const QString pdf = m_dir.filePath(QStringLiteral("wrap.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    const QStringList lines = pdfText(pdf, false).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 4, qPrintable(lines.join(u'|')));
    QCOMPARE(lines.first().simplified(), QStringLiteral("перенос по"));
    // Every word of the first cell is on the page, none cut off.
    QVERIFY2(lines.join(u' ').simplified().startsWith(words), qPrintable(lines.join(u'|')));
}

// A height without customHeight is the writing program's fit of the row to
// its fonts (LibreOffice writes one for every row): a wrapped text that needs
// more in the fonts the pages are drawn in grows it, so no line is lost; a
// height the user chose is kept, and no fitted height shrinks.
void TestXlsxPageRenderer::fittedHeightsGrowForWrappedTexts_data()
{
    QTest::addColumn<QByteArray>("rowAttributes");
    QTest::addColumn<bool>("wraps");
    QTest::addColumn<bool>("grows"); // else it keeps its height
    QTest::newRow("fitted, wrapped text taller") << QByteArray("ht=\"25\" customHeight=\"false\"") << true << true;
    QTest::newRow("no customHeight, wrapped text taller") << QByteArray("ht=\"25\"") << true << true;
    QTest::newRow("chosen by the user") << QByteArray("ht=\"25\" customHeight=\"1\"") << true << false;
    QTest::newRow("chosen, written as a word") << QByteArray("ht=\"25\" customHeight=\"true\"") << true << false;
    QTest::newRow("fitted, taller than the text") << QByteArray("ht=\"300\"") << true << false;
    QTest::newRow("fitted, one line of text") << QByteArray("ht=\"12.8\"") << false << false;
}

void TestXlsxPageRenderer::fittedHeightsGrowForWrappedTexts()
{
    QFETCH(QByteArray, rowAttributes);
    QFETCH(bool, wraps);
    QFETCH(bool, grows);
    const QString words = QStringLiteral("примечание к поставке, которое переносится по словам внутри ячейки");
    const QByteArray xml = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                           "<cols><col min=\"1\" max=\"1\" width=\"12\"/></cols><sheetData><row r=\"1\" " +
                           rowAttributes + "><c r=\"A1\" t=\"inlineStr\" s=\"" + (wraps ? "1" : "0") +
                           "\"><is><t>" + words.toUtf8() + "</t></is></c></row></sheetData></worksheet>";
    std::shared_ptr<XlsxISheetData> data = iParseSheet(xml, {});
    QVERIFY(data);
    const double written = data->rowHeights.value(1);
    auto styles = plainStyles();
    iFitRowHeights(*data, *styles);
    const double height = data->rowHeights.value(1);
    QVERIFY2(grows ? height > written : height == written, qPrintable(QString::number(height)));
    if (!wraps)
        return;
    const XlsxPageRenderer renderer(oneSheet(data), styles, {});
    const QString pdf = m_dir.filePath(QStringLiteral("fitted.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    // Every word is on the page unless the user's height cuts the text.
    const QString printed = pdfText(pdf, false).simplified();
    QCOMPARE(printed == words, grows || written > 100);
}

// A wrapped text far longer than its row shows whole words from its start,
// as many as fit, however far into the text its measuring went.
void TestXlsxPageRenderer::longWrappedTextShowsItsFirstWords()
{
    QStringList words;
    for (int i = 1; i <= 3000; ++i)
        words << QStringLiteral("слово%1").arg(i);
    auto data = std::make_shared<XlsxISheetData>();
    data->colWidths.insert(0, 20);
    data->cells[1][0] = textCell(words.join(u' '), 1);
    data->rowHeights.insert(1, 60); // a few lines
    data->cells[2][0] = textCell(QStringLiteral("конец"));
    const XlsxPageRenderer renderer(oneSheet(data), plainStyles(), {});
    const QString pdf = m_dir.filePath(QStringLiteral("long.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    QStringList printed = pdfText(pdf, false).simplified().split(u' ');
    QCOMPARE(printed.takeLast(), QStringLiteral("конец"));
    QVERIFY2(printed.size() >= 4 && printed.size() < 40, qPrintable(printed.join(u' ')));
    QCOMPARE(printed, words.mid(0, printed.size()));
}

// The pages carry no picture: text is text and the grid is lines, so 60
// pages of a register are small and their text is found.
void TestXlsxPageRenderer::pagesAreTextAndPaths()
{
    auto data = std::make_shared<XlsxISheetData>();
    data->colWidths.insert(0, 20);
    for (int r = 1; r <= 3000; ++r) {
        data->cells[r][0] = textCell(QStringLiteral("Строка %1").arg(r));
        data->cells[r][1] = numberCell(r * 1.25);
    }
    const XlsxPageRenderer renderer(oneSheet(data), plainStyles(), {});
    QVERIFY(renderer.pageCount() > 50);
    const QString pdf = m_dir.filePath(QStringLiteral("register.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    QVERIFY2(QFile(pdf).size() < 1'500'000, qPrintable(QString::number(QFile(pdf).size())));
    const QStringList images = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(images.size(), 2); // the heading lines only
    const QString text = pdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("Строка 2999")));
    QVERIFY(text.contains(QStringLiteral("3748.75"))); // row 2999
    QVERIFY(run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).contains(QStringLiteral("No syntax or stream")));
}

void TestXlsxPageRenderer::cancelledWritingLeavesNoFile()
{
    auto data = std::make_shared<XlsxISheetData>();
    for (int r = 1; r <= 200; ++r)
        data->cells[r][0] = numberCell(r);
    const XlsxPageRenderer renderer(oneSheet(data), plainStyles(), {});
    const QString pdf = m_dir.filePath(QStringLiteral("cancelled.pdf"));
    int asked = 0;
    QVERIFY(!renderer.writePdf(pdf, [&asked](int done, int) { return ++asked, done < 2; }));
    QCOMPARE(asked, 3);
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(!XlsxPageRenderer().writePdf(pdf));
    QVERIFY(!QFile::exists(pdf));
}

// The register as LibreOffice prints it: every shown cell's text in both
// PDFs, nothing hidden in either; the formula LibreOffice calculates itself
// is named in the dialog's hint instead.
void TestXlsxPageRenderer::registerAsLibreOfficePrintsIt()
{
    const QString book = workbook(QStringLiteral("openpyxl-register.xlsx"));
    QString why;
    QVERIFY2(convertWithLibreOffice({book}, m_dir.path(), &why, QStringLiteral("pdf")), qPrintable(why));
    const QString theirs = pdfText(m_dir.filePath(QStringLiteral("openpyxl-register.pdf")));

    XlsxImportDialog dialog(book, nullptr);
    QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("DialogHint"))->text().contains(QStringLiteral("«Реестр»")));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("SecondaryDialogButton"))->text(), QStringLiteral("Отмена"));
    const QString pdf = m_dir.filePath(QStringLiteral("ours.pdf"));
    QVERIFY(dialog.pageRenderer().writePdf(pdf));
    const QString ours = pdfText(pdf);

    const QStringList shown = {"Реестр платежей", "000042", "1,234.50 ₽", "0.21 руб.", "Mar-24", "12.5%",
                               "000007", "56.78 ₽", "1.01 руб.", "Nov-23", "50.0%", "001001",
                               "1,000,000.00 ₽", "2.68 руб.", "Jan-24", "33.3%",
                               "ООО «Р", "1,260.00"};
    for (const QString& cell : shown) {
        QVERIFY2(theirs.contains(cell), qPrintable("LibreOffice: " + cell));
        QVERIFY2(ours.contains(cell), qPrintable("ours: " + cell));
    }
    // The note runs on over the empty columns past the register's last one,
    // whole on the page, as LibreOffice prints it.
    const QString note = QStringLiteral("Примечание: длинный текст, который не помещается в одну ячейку и переходит в "
                                        "соседние пустые");
    QVERIFY2(pdfText(m_dir.filePath(QStringLiteral("openpyxl-register.pdf")), false).simplified().contains(note),
             "LibreOffice: the note");
    QVERIFY2(pdfText(pdf, false).simplified().contains(note), qPrintable("ours: " + ours));
    for (const char* hidden : {"секрет123", "777.77", "555,55", "Служебный"}) {
        QVERIFY2(!theirs.contains(hidden), qPrintable("LibreOffice: " + QString(hidden)));
        QVERIFY2(!ours.contains(hidden), qPrintable("ours: " + QString(hidden)));
    }
}

// Charts placed by openpyxl every way a drawing places them
// (tests/data/make-xlsx.sh): by a cell and an extent, and by a position and
// an extent, a chart prints and previews as by the two cells it covers; over
// rows or columns that are all hidden it is left out, as LibreOffice leaves
// it out, while one placed by its cell and extent there is shown whole.
void TestXlsxPageRenderer::chartsWhereTheSheetShowsThem()
{
    const QString book = workbook(QStringLiteral("openpyxl-anchors.xlsx"));
    XlsxIWorkbook read = iReadWorkbook(book);
    QCOMPARE(read.reason, QString());
    QCOMPARE(int(read.sheets.size()), 4);
    const std::shared_ptr<const XlsxIStyles> styles(std::move(read.styles));
    const auto page = [&](const XlsxISheetInfo& sheet) {
        const XlsxPageRenderer renderer({sheet}, styles, {});
        return renderer.pageCount() == 1 ? renderer.pageImage(0) : QImage();
    };
    const auto preview = [&](const XlsxISheetInfo& sheet) {
        XlsxPreviewWidget widget;
        widget.setSheet(sheet.data.get(), styles.get(), sheet.charts);
        return widget.grab().toImage();
    };
    const XlsxISheetInfo& twoCells = read.sheets.at(1);
    QCOMPARE(twoCells.charts.size(), 1);
    const QImage printed = page(twoCells);
    const QImage shown = preview(twoCells);
    XlsxISheetInfo withoutChart = twoCells;
    withoutChart.charts.clear();
    QVERIFY(!printed.isNull() && printed != page(withoutChart));
    QVERIFY(shown != preview(withoutChart));
    for (const size_t placedBy : {size_t(0), size_t(2)}) {
        const XlsxISheetInfo& sheet = read.sheets.at(placedBy);
        QCOMPARE(sheet.charts.size(), 1);
        const XlsxIChart& chart = sheet.charts.first();
        QCOMPARE((QList<int>{chart.fromRow, chart.fromCol, chart.toRow, chart.toCol}), (QList<int>{1, 3, 11, 8}));
        QVERIFY2(page(sheet) == printed, qPrintable(sheet.name));
        QVERIFY2(preview(sheet) == shown, qPrintable(sheet.name));
    }

    const XlsxISheetInfo& hidden = read.sheets.at(3);
    QStringList titles;
    for (const XlsxIChart& chart : hidden.charts)
        titles << chart.title;
    QCOMPARE(titles, (QStringList{"До строки 26", "По ячейке"}));
    const QString pdf = m_dir.filePath(QStringLiteral("anchors.pdf"));
    QVERIFY(XlsxPageRenderer({hidden}, styles, {}).writePdf(pdf));
    const QString ours = pdfText(pdf, false).simplified();
    QString why;
    QVERIFY2(convertWithLibreOffice({book}, m_dir.path(), &why, QStringLiteral("pdf")), qPrintable(why));
    const QString theirs = pdfText(m_dir.filePath(QStringLiteral("openpyxl-anchors.pdf")), false).simplified();
    for (const char* title : {"Строки скрыты", "Столбцы скрыты"}) {
        QVERIFY2(!theirs.contains(title), qPrintable(QStringLiteral("LibreOffice: ") + title));
        QVERIFY2(!ours.contains(title), qPrintable(QStringLiteral("ours: ") + title));
    }
    QVERIFY2(theirs.contains(QStringLiteral("По ячейке")), "LibreOffice: По ячейке");
    QVERIFY2(ours.contains(QStringLiteral("По ячейке")), qPrintable(ours));
}

// A report written part by part as Excel writes it, and again by LibreOffice
// (tests/data/make-xlsx.sh): its sheets, its chart's points, what prints and
// what the preview shows of its figures.
void TestXlsxPageRenderer::reportAsItPrints_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("sheets");      // imported
    QTest::addColumn<QStringList>("chartSheets"); // named in the hint
    QTest::addColumn<QList<double>>("values");    // of the report's chart, every series
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QStringList>("asLibreOffice"); // printed as LibreOffice prints the same workbook

    // One General for the written code and the built-in id, each figure twice.
    const QStringList figures = {"1234567890123.45",   "9.99999999999E+307", "1E-10",  "1.2345E-05",
                                 "0.333333333333333", "1.23456789012346E+17", "123,456,789,012,346,000",
                                 "-12:00"};
    const QStringList same = {"1234567890123.45", "9.99999999999E+307", "1E-10", "0.333333333333333",
                              "123,456,789,012,346,000", "-12:00"};
    // Rows 4 (hidden) and 6 (0 high) hold Восток 9002 and Север 9001; the
    // filtered series 7771 and the chart sheet are not drawn.
    QTest::newRow("part by part") << "charts-as-written.xlsx" << QStringList{"Отчёт"} << QStringList{"Диаграмма"}
                                  << QList<double>{120, 104, 98, 102, 97, 105} << figures + QStringList{"Юг", "Урал"}
                                  << QStringList{"Север", "9001", "9002", "777.777", "555.555"} << same;
    // LibreOffice keeps no row 0 high and gives its chart data of its own:
    // every point is drawn, as LibreOffice draws it.
    QTest::newRow("LibreOffice") << "lo-charts-as-written.xlsx" << QStringList{"Отчёт", "Диаграмма"} << QStringList{}
                                 << QList<double>{120, 104, 9002, 98, 9001, 102, 97, 105}
                                 << figures + QStringList{"Север", "555.555"} << QStringList{"9002", "777.777"}
                                 << QStringList{};
    // Rows 2, 8 and 13 of the table's data are hidden (9001 to 9003); three
    // more charts are hidden by the author. Texts read with their escapes
    // decoded, figures under engineering and conditional codes.
    const QStringList asWritten = {"Первая строка", "Литерал_x000D_конец", "12.3E+3", "1.2E+3", "45.0E+3",
                                   "1.2E+4",        "012.3E+3",            "минус 5"};
    QTest::newRow("tables and texts") << "tables-and-texts.xlsx" << QStringList{"Отчёт"} << QStringList{}
                                      << QList<double>{104, 98, 102, 97, 105, 101, 99, 103, 100}
                                      << asWritten + QStringList{"Табулятор", "Февраль", "Итого"}
                                      << QStringList{"9001", "9002", "9003", "Январь", "Декабрь", "_x005F", "_x0009", "-минус"}
                                      << asWritten;
}

void TestXlsxPageRenderer::reportAsItPrints()
{
    QFETCH(QString, file);
    QFETCH(QStringList, sheets);
    QFETCH(QStringList, chartSheets);
    QFETCH(QList<double>, values);
    QFETCH(QStringList, printed);
    QFETCH(QStringList, absent);
    QFETCH(QStringList, asLibreOffice);
    const QString book = workbook(file);
    {
        const XlsxIWorkbook read = iReadWorkbook(book);
        QCOMPARE(read.reason, QString());
        QStringList names;
        for (const XlsxISheetInfo& sheet : read.sheets)
            names << sheet.name;
        QCOMPARE(names, sheets);
        QCOMPARE(read.chartSheets, chartSheets);
        QCOMPARE(read.sheets.front().charts.size(), 1);
        QList<double> drawn;
        for (const XlsxIChartSeries& s : read.sheets.front().charts.first().series)
            drawn += s.values;
        QCOMPARE(drawn, values);
    }
    XlsxImportDialog dialog(book, nullptr);
    const QString hint = dialog.findChild<QLabel*>(QStringLiteral("DialogHint"))->text();
    QCOMPARE(hint.contains(QStringLiteral("Листы-диаграммы не импортируются: «Диаграмма».")), !chartSheets.isEmpty());
    const QString pdf = m_dir.filePath(QStringLiteral("report.pdf"));
    QVERIFY(dialog.pageRenderer().writePdf(pdf));
    const QString ours = pdfText(pdf);
    for (const QString& text : printed)
        QVERIFY2(ours.contains(text), qPrintable(text + " in\n" + ours));
    for (const QString& text : absent)
        QVERIFY2(!ours.contains(text), qPrintable(text + " in\n" + ours));
    // The preview shows each text and figure of columns A to F as the page
    // prints it, under the written General (column C) as under the built-in
    // one (D).
    auto* preview = dialog.findChild<XlsxPreviewWidget*>();
    dialog.onSheetSelected(0);
    for (int row = 2; row <= 10; ++row) {
        if (preview->sheet->hiddenRows.contains(row))
            continue;
        for (int col = 0; col <= 5; ++col) {
            const QString shown = preview->shownText(row, col);
            QVERIFY2(shown.isEmpty() || ours.contains(shown), qPrintable(shown));
        }
        if (row < 10)
            QCOMPARE(preview->shownText(row, 2), preview->shownText(row, 3));
    }
    if (asLibreOffice.isEmpty())
        return;
    QString why;
    QVERIFY2(convertWithLibreOffice({book}, m_dir.path(), &why, QStringLiteral("pdf")), qPrintable(why));
    const QString theirs = pdfText(m_dir.filePath(QFileInfo(file).completeBaseName() + QStringLiteral(".pdf")));
    for (const QString& text : asLibreOffice)
        QVERIFY2(theirs.contains(text) && ours.contains(text), qPrintable(text));
}

// A figure in columns from 4 to 13.5 digits wide, one a row: the preview
// shows what the page prints, the figure or a row of "#", never a cut one.
void TestXlsxPageRenderer::previewShowsFiguresAsPrinted_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("code"); // empty: General
    QTest::addColumn<QString>("widest"); // pattern of what the widest column prints

    QTest::newRow("millions of roubles") << 1234567890.0 << "#,##0.0,,\" млн ₽\"" << "^1,234\\.6 млн ₽$";
    QTest::newRow("roubles") << 1234.5 << "#,##0.00\" руб.\"" << "^1,234\\.50 руб\\.$";
    QTest::newRow("grouped") << 1234567.0 << "#,##0" << "^1,234,567$";
    QTest::newRow("red negative") << -98765.25 << "#,##0.00;[Red]#,##0.00" << "^98,765\\.25$";
    QTest::newRow("General, shortened") << 123456789012.0 << "" << "^123456789012$";
    QTest::newRow("General fraction") << 2.718281828459045 << "" << "^2\\.71828";
    QTest::newRow("engineering") << 45000.75 << "##0.0E+0" << "^45\\.0E\\+3$";
    QTest::newRow("condition's own words") << -5.0 << "[<0]\"минус \"0;0" << "^минус 5$";
    // A condition that does not say the value is negative keeps its minus.
    QTest::newRow("colour by a threshold, negative") << -987654.0 << "[Red][<50]0;[Blue][>=50]0" << "^-987654$";
    QTest::newRow("thousands past a threshold, negative") << -250000.0 << "[<1000]0;#,##0,\"K\"" << "^-250000$";
    QTest::newRow("percent under a threshold, negative") << -1234.25 << "[<0.5]0%;0%" << "^-123425%$";
    QTest::newRow("words for zero, negative") << -4444444.0 << "[<>0]0;\"ноль\"" << "^-4444444$";
}

void TestXlsxPageRenderer::previewShowsFiguresAsPrinted()
{
    QFETCH(double, value);
    QFETCH(QString, code);
    QFETCH(QString, widest);
    auto styles = plainStyles();
    if (!code.isEmpty()) {
        styles->numFmts.insert(164, code);
        styles->cellXfs[0].numFmtId = 164;
    }
    auto data = std::make_shared<XlsxISheetData>();
    constexpr int kColumns = 20;
    for (int c = 0; c < kColumns; ++c) {
        data->colWidths.insert(c, 4 + c * 0.5);
        data->cells[c + 1][c] = numberCell(value);
    }
    const XlsxPageRenderer renderer(oneSheet(data), styles, {});
    const QString pdf = m_dir.filePath(QStringLiteral("figures.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    QStringList lines;
    for (const QString& line : pdfText(pdf).split(u'\n')) {
        if (!line.simplified().isEmpty())
            lines.append(line.simplified());
    }
    QCOMPARE(lines.size(), kColumns);
    QVERIFY2(QRegularExpression(widest).match(lines.last()).hasMatch(), qPrintable(lines.last()));
    XlsxPreviewWidget preview;
    preview.setSheet(data.get(), styles.get(), {});
    for (int c = 0; c < kColumns; ++c) {
        const QString printed = lines.at(c);
        const QString shown = preview.shownText(c + 1, c);
        if (printed.startsWith(u'#'))
            QVERIFY2(shown.startsWith(u'#') && shown.count(u'#') == shown.size(), qPrintable(shown));
        else
            QCOMPARE(shown, printed);
    }
    // The narrowest column cannot hold the figure whole.
    QVERIFY(lines.first() != lines.last());
}

// Columns of labels "К01", "К02", ..., a given share of the page's width
// each, with fitting to the width cleared: the columns go on further pages
// across, then down, each whole on one page.
void TestXlsxPageRenderer::columnsGoOnPagesAcross_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<double>("perPage"); // columns the page's width holds
    QTest::addColumn<int>("rows");       // two rows a page
    QTest::addColumn<bool>("fit");
    QTest::addColumn<QList<int>>("firstColumns"); // the first label of each page, in page order

    QTest::newRow("30 columns, four a page") << 30 << 4.5 << 1 << false << QList<int>{1, 5, 9, 13, 17, 21, 25, 29};
    QTest::newRow("across, then down") << 10 << 4.5 << 4 << false << QList<int>{1, 5, 9, 1, 5, 9};
    QTest::newRow("fitting keeps one page across") << 30 << 4.5 << 1 << true << QList<int>{1};
    QTest::newRow("narrower than the page") << 3 << 4.5 << 1 << false << QList<int>{1};
    QTest::newRow("columns wider than the page") << 3 << 0.8 << 1 << false << QList<int>{1, 2, 3};
}

void TestXlsxPageRenderer::columnsGoOnPagesAcross()
{
    QFETCH(int, columns);
    QFETCH(double, perPage);
    QFETCH(int, rows);
    QFETCH(bool, fit);
    QFETCH(QList<int>, firstColumns);
    const auto styles = plainStyles();
    const double contentPx = 595.0 * 150 / 72 - 2 * 41.666666666666667;
    const double digits = contentPx / perPage / iCharWidthPx(styles.get(), 150);
    auto data = std::make_shared<XlsxISheetData>();
    for (int c = 0; c < columns; ++c)
        data->colWidths.insert(c, digits);
    for (int r = 1; r <= rows; ++r) {
        data->rowHeights.insert(r, 300);
        for (int c = 0; c < columns; ++c)
            data->cells[r][c] = textCell(QStringLiteral("К%1").arg(c + 1, 2, 10, QLatin1Char('0')));
    }
    XlsxPageRenderer::Options options;
    options.fitWidth = fit;
    const XlsxPageRenderer renderer(oneSheet(data), styles, options);
    QCOMPARE(renderer.pageCount(), int(firstColumns.size()));
    const QString pdf = m_dir.filePath(QStringLiteral("across.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    static const QRegularExpression label(QStringLiteral("К(\\d\\d)"));
    for (int page = 0; page < firstColumns.size(); ++page) {
        const int first = firstColumns.at(page);
        const int next = page + 1 < firstColumns.size() && firstColumns.at(page + 1) > first ? firstColumns.at(page + 1)
                                                                                              : columns + 1;
        QList<int> expected;
        for (int c = first; c < next; ++c)
            expected.append(c);
        QList<int> found;
        for (auto it = label.globalMatch(pageText(pdf, page + 1)); it.hasNext();) {
            const int c = it.next().captured(1).toInt();
            if (!found.contains(c))
                found.append(c);
        }
        QCOMPARE(found, expected);
    }
}

// Columns A to E of numbers, 12 digits wide, and in F a description of 370
// characters that spills over the empty columns after it; the same sheet
// with a short text in F is what the cells' size is compared with.
void TestXlsxPageRenderer::spillIsCutAtThePageEdge_data()
{
    QTest::addColumn<double>("width"); // of columns A to E, in digits
    QTest::addColumn<bool>("fit"); // else the text goes on, whole, over pages across

    QTest::newRow("narrow sheet, fitted") << 12.0 << true;
    QTest::newRow("wide sheet, fitted") << 30.0 << true;
    QTest::newRow("narrow sheet, fitting cleared") << 12.0 << false;
}

void TestXlsxPageRenderer::spillIsCutAtThePageEdge()
{
    QFETCH(double, width);
    QFETCH(bool, fit);
    QStringList words;
    for (int i = 1; words.join(u' ').size() < 370; ++i)
        words.append(QStringLiteral("слово%1").arg(i));
    const QString description = words.join(u' ').left(370);
    const auto make = [&](bool withText) {
        auto data = std::make_shared<XlsxISheetData>();
        for (int c = 0; c < 5; ++c) {
            data->colWidths.insert(c, width);
            data->cells[1][c] = numberCell(12345 + c);
        }
        data->cells[1][5] = textCell(withText ? description : QStringLiteral("х"));
        return data;
    };
    XlsxPageRenderer::Options options;
    options.fitWidth = fit;
    const auto styles = plainStyles();
    const auto withText = make(true);
    iFitSpills(*withText, {}, *styles);
    const XlsxPageRenderer renderer(oneSheet(withText), styles, options);
    const XlsxPageRenderer without(oneSheet(make(false)), styles, options);
    const int pages = renderer.pageCount();
    QCOMPARE(pages > 1, !fit);
    const QString pdf = m_dir.filePath(QStringLiteral("spill.pdf"));
    const QString plain = m_dir.filePath(QStringLiteral("plain.pdf"));
    QVERIFY(renderer.writePdf(pdf));
    QVERIFY(without.writePdf(plain));
    // The cells are drawn at the size they have without the text.
    const QList<PdfWord> ours = pdfWords(pdf, 1);
    const QList<PdfWord> theirs = pdfWords(plain, 1);
    const auto boxOf = [](const QList<PdfWord>& list, const QString& text) {
        for (const PdfWord& w : list)
            if (w.text == text)
                return w.box;
        return QRectF();
    };
    QVERIFY(!boxOf(theirs, QStringLiteral("12349")).isNull());
    QCOMPARE(boxOf(ours, QStringLiteral("12349")), boxOf(theirs, QStringLiteral("12349")));
    // The text runs to the page's right edge and no further; what follows is
    // on the next page across, or cut.
    QString shown;
    for (int page = 1; page <= pages; ++page) {
        for (const PdfWord& w : pdfWords(pdf, page)) {
            if (!QStringList{"12345", "12346", "12347", "12348", "12349"}.contains(w.text)) {
                QVERIFY2(w.box.right() <= 595 - 20 + 8, qPrintable(w.text + QString::number(w.box.right())));
                shown += w.text;
            }
        }
    }
    QVERIFY2(shown.size() > 5, qPrintable(pageText(pdf, 1)));
    const QString whole = QString(description).remove(u' ');
    QVERIFY2(whole.startsWith(shown), qPrintable(shown));
    QCOMPARE(shown.size() < whole.size(), fit);
}

QTEST_MAIN(TestXlsxPageRenderer)
#include "tst_xlsxpagerenderer.moc"
