// Workbook reading: time against inflating the entries alone, and peak memory
// of each case measured in a child process of its own.
//   xlsx_bench                 prepares the workbooks and prints the table
//   xlsx_bench --child MODE F  reads F (MODE read or inflate) and prints its figures

#include "XlsxFixtures.h"
#include "XlsxPackage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The process's own high-water mark (ru_maxrss would carry the parent's
// over the exec).
qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Inflates every entry once, as the reader would, without parsing.
qint64 inflateAll(const QString& path)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return -1;
    qint64 bytes = 0;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        bytes += iReadEntry(archive, QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0))).size();
    zip_discard(archive);
    return bytes;
}

int child(const QString& mode, const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QString outcome;
    if (mode == "read") {
        const XlsxIWorkbook book = iReadWorkbook(path);
        qint64 cells = 0;
        for (const XlsxISheetInfo& sheet : book.sheets)
            for (const auto& row : sheet.data->cells)
                cells += row.size();
        outcome = QStringLiteral("%1 cells").arg(cells) + (book.reason.isEmpty() ? QString() : " / " + book.reason);
    } else {
        outcome = QStringLiteral("%1 bytes inflated").arg(inflateAll(path));
    }
    std::printf("%lld %lld %s\n", timer.elapsed(), peakKiB(), outcome.toUtf8().constData());
    return 0;
}

struct Figures {
    qint64 ms = -1;
    qint64 peak = -1;
    QString outcome;
};

// Best time and highest peak of a few runs in fresh processes.
Figures measure(const QString& mode, const QString& path, int runs)
{
    Figures best;
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), {"--child", mode, path});
        process.waitForFinished(600000);
        const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() < 3)
            return best;
        const qint64 ms = fields.at(0).toLongLong();
        best.ms = best.ms < 0 ? ms : std::min(best.ms, ms);
        best.peak = std::max(best.peak, fields.at(1).toLongLong());
        best.outcome = QString::fromUtf8(fields.mid(2).join(' '));
    }
    return best;
}

void report(const char* what, const Figures& figures, qint64 baseline)
{
    std::printf("%-44s %8lld ms  peak %7.1f MiB (+%6.1f)  %s\n", what, figures.ms, figures.peak / 1024.0,
                (figures.peak - baseline) / 1024.0, figures.outcome.toUtf8().constData());
}

QString priceList(const QTemporaryDir& dir, QString* why)
{
    QFile csv(dir.filePath("prices.csv"));
    if (!csv.open(QIODevice::WriteOnly))
        return QString();
    for (int row = 0; row < 10000; ++row) {
        QByteArray line;
        for (int col = 0; col < 20; ++col) {
            if (col > 0)
                line += ',';
            switch (col % 4) {
            case 0: line += "Item " + QByteArray::number(row * 20 + col); break;
            case 1: line += QByteArray::number(row * 1.25 + col, 'f', 2); break;
            case 2: line += "2023-03-" + QByteArray::number(1 + (row + col) % 28).rightJustified(2, '0'); break;
            default: line += QByteArray::number(row * col); break;
            }
        }
        csv.write(line + '\n');
    }
    csv.close();
    return convertWithLibreOffice({csv.fileName()}, dir.path(), why) ? dir.filePath("prices.xlsx") : QString();
}

QString sharedStrings(const QTemporaryDir& dir)
{
    constexpr int kStrings = 100000;
    QByteArray strings = "<sst>";
    QByteArray rows;
    for (int i = 0; i < kStrings; ++i) {
        strings += "<si><t>Строка прайса номер " + QByteArray::number(i) + "</t></si>";
        rows += "<row r=\"" + QByteArray::number(i + 1) + "\"><c r=\"A" + QByteArray::number(i + 1) + "\" t=\"s\"><v>" +
                QByteArray::number(i) + "</v></c></row>";
    }
    XlsxParts parts = minimalXlsx("<sheetData>" + rows + "</sheetData>");
    parts.insert("xl/sharedStrings.xml", strings + "</sst>");
    const QString path = dir.filePath("strings.xlsx");
    return writeZip(path, parts) ? path : QString();
}

// Numbers in rows of 100 up to the cell limit of a workbook.
QString mostCells(const QTemporaryDir& dir)
{
    QByteArray rows;
    const qint64 rowCount = (XlsxIBudget::kItems - 1000) / 100;
    for (qint64 r = 1; r <= rowCount; ++r) {
        rows += "<row r=\"" + QByteArray::number(r) + "\">";
        for (int c = 0; c < 100; ++c)
            rows += "<c><v>" + QByteArray::number(r * c) + "</v></c>";
        rows += "</row>";
    }
    const QString path = dir.filePath("cells.xlsx");
    return writeZip(path, minimalXlsx("<sheetData>" + rows + "</sheetData>")) ? path : QString();
}

// 40,000 cells of nine references each to a 4,096-character entity.
QString entityCells(const QTemporaryDir& dir)
{
    const QByteArray nine = QByteArray("&e;").repeated(9);
    XlsxParts parts = minimalXlsx("<sheetData>" + ("<row><c t=\"str\"><v>" + nine + "</v></c></row>").repeated(40000) +
                                  "</sheetData>");
    parts.insert("xl/worksheets/sheet1.xml",
                 "<!DOCTYPE x [<!ENTITY e \"" + QByteArray(4096, 'x') + "\">]>" + parts.value("xl/worksheets/sheet1.xml"));
    const QString path = dir.filePath("entities.xlsx");
    return writeZip(path, parts) ? path : QString();
}

// Eight sheets of 119 MiB of inline text each, in cells of 30,000 characters.
QString inlineSheets(const QTemporaryDir& dir)
{
    const QByteArray unit = "<row><c t=\"inlineStr\"><is><t>" + QByteArray(30000, 'a') + "</t></is></c></row>";
    const qint64 count = (qint64(119) << 20) / unit.size();
    XlsxParts parts = minimalXlsx("<sheetData/>");
    parts.remove("xl/worksheets/sheet1.xml");
    QByteArray sheets, targets;
    QMap<QString, XlsxRepeated> repeated;
    for (int i = 1; i <= 8; ++i) {
        const QByteArray n = QByteArray::number(i);
        sheets += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        targets += "<Relationship Id=\"rId" + n + "\" Type=\"t\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        repeated.insert("xl/worksheets/sheet" + n + ".xml",
                        XlsxRepeated{worksheetXml("<sheetData>").chopped(int(strlen("</worksheet>"))), unit, count,
                                     "</sheetData></worksheet>"});
    }
    parts.insert("xl/workbook.xml",
                 "<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" + sheets +
                     "</sheets></workbook>");
    parts.insert("xl/_rels/workbook.xml.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" + targets +
                     "</Relationships>");
    const QString path = dir.filePath("inline.xlsx");
    return writeRepeatedZip(path, parts, repeated) ? path : QString();
}

constexpr int kLongNumbers = 2000;

QByteArray longNumber()
{
    return "1." + QByteArray(32765, '0');
}

// Number cells of 32,767 characters each.
QString longNumbers(const QTemporaryDir& dir, int count)
{
    QByteArray rows;
    for (int i = 1; i <= count; ++i)
        rows += "<row r=\"" + QByteArray::number(i) + "\"><c r=\"A" + QByteArray::number(i) + "\"><v>" + longNumber() +
                "</v></c></row>";
    const QString path = dir.filePath(QStringLiteral("numbers%1.xlsx").arg(count));
    return writeZip(path, minimalXlsx("<sheetData>" + rows + "</sheetData>")) ? path : QString();
}

// What converting those texts whole costs, for comparison.
qint64 convertLongNumbersMs()
{
    const QString text = QString::fromLatin1(longNumber());
    QElapsedTimer timer;
    timer.start();
    double sum = 0;
    for (int i = 0; i < kLongNumbers; ++i)
        sum += QStringView(text).toDouble();
    const qint64 ms = timer.elapsed();
    return sum > 0 ? ms : -1;
}

QString sizeOf(const QString& path)
{
    return QStringLiteral("%1 KiB").arg(QFileInfo(path).size() / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == "--child")
        return child(args.at(2), args.at(3));

    QTemporaryDir dir;
    const QString small = dir.filePath("small.xlsx");
    writeZip(small, minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"));
    const qint64 baseline = measure("read", small, 3).peak;
    std::printf("baseline process peak %.1f MiB\n", baseline / 1024.0);

    QString why;
    const QString prices = priceList(dir, &why);
    if (prices.isEmpty()) {
        std::printf("LibreOffice workbook skipped: %s\n", qPrintable(why));
    } else {
        report("LibreOffice 10,000 x 20: read", measure("read", prices, 5), baseline);
        report("LibreOffice 10,000 x 20: inflate only", measure("inflate", prices, 5), baseline);
    }
    const QString strings = sharedStrings(dir);
    report("100,000 shared strings: read", measure("read", strings, 5), baseline);
    report("100,000 shared strings: inflate only", measure("inflate", strings, 5), baseline);

    report("1,999,000 cells: read", measure("read", mostCells(dir), 3), baseline);

    const XlsxParts book = minimalXlsx("<sheetData/>");
    const qint64 twoGiB = qint64(2) << 30;
    const QString stated = dir.filePath("bomb-stated.xlsx");
    writeRawZip(stated, book, {}, "xl/sharedStrings.xml", twoGiB);
    report("2 GiB bomb, size stated", measure("read", stated, 3), baseline);
    const QString lying = dir.filePath("bomb-lying.xlsx");
    writeRawZip(lying, book, {{"xl/sharedStrings.xml", 1000}}, "xl/sharedStrings.xml", twoGiB);
    report("2 GiB bomb, size stated as 1000", measure("read", lying, 3), baseline);

    const QString entities = entityCells(dir);
    std::printf("entity workbook %s\n", qPrintable(sizeOf(entities)));
    report("40,000 cells of 9 entity references: read", measure("read", entities, 3), baseline);
    const QString inlined = inlineSheets(dir);
    std::printf("inline-text workbook %s\n", qPrintable(sizeOf(inlined)));
    report("8 sheets of 119 MiB inline text: read", measure("read", inlined, 3), baseline);
    report("8 sheets of 119 MiB inline text: inflate only", measure("inflate", inlined, 1), baseline);
    report("2,000 numbers of 32,767 digits: read", measure("read", longNumbers(dir, kLongNumbers), 3), baseline);
    report("1,500 numbers of 32,767 digits: read", measure("read", longNumbers(dir, 1500), 3), baseline);
    std::printf("%-44s %8lld ms\n", "2,000 numbers of 32,767 digits: toDouble", convertLongNumbersMs());

    const qint64 largest = XlsxIBudget::kEntryBytes - 1024;
    XlsxParts noSheet = book;
    noSheet.remove("xl/worksheets/sheet1.xml");
    const QString padded = dir.filePath("largest-space.xlsx");
    writeRawZip(padded, noSheet, {}, "xl/worksheets/sheet1.xml", largest, QByteArray(),
                worksheetXml("<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>"));
    report("largest sheet entry, whitespace", measure("read", padded, 3), baseline);
    const QString text = dir.filePath("largest-text.xlsx");
    writeRawZip(text, minimalXlsx("<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>"), {},
                "xl/sharedStrings.xml", largest, "<sst><si><t>", "</t></si></sst>");
    report("largest shared strings entry, one text", measure("read", text, 3), baseline);
    return 0;
}
