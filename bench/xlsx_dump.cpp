// xlsx-dump FILE: the records read from a workbook as JSON (numbers also as
// shown, colours resolved), or the reason with exit code 1.

#include "XlsxNumberFormat.h"
#include "XlsxPackage.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QString columnName(int column)
{
    QString name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.prepend(QChar(u'A' + (n - 1) % 26));
    return name;
}

QString colourName(const QColor& colour)
{
    return colour.isValid() ? colour.name() : QString();
}

QJsonObject sheetJson(const XlsxISheetInfo& sheet, const XlsxIStyles* styles)
{
    QJsonArray cells;
    for (auto row = sheet.data->cells.cbegin(); row != sheet.data->cells.cend(); ++row) {
        for (auto cell = row->cbegin(); cell != row->cend(); ++cell) {
            QJsonObject entry{{"ref", columnName(cell.key()) + QString::number(row.key())},
                              {"text", cell->text},
                              {"shown", iDisplayText(*cell, styles)},
                              {"style", cell->style}};
            if (cell->isNumber)
                entry.insert("number", cell->number);
            cells.append(entry);
        }
    }
    QJsonArray merges;
    for (const XlsxIMerge& m : sheet.data->merges)
        merges.append(columnName(m.firstCol) + QString::number(m.firstRow) + ':' + columnName(m.lastCol) +
                      QString::number(m.lastRow));
    QJsonObject widths;
    for (auto it = sheet.data->colWidths.cbegin(); it != sheet.data->colWidths.cend(); ++it)
        widths.insert(columnName(it.key()), it.value());
    QJsonObject heights;
    for (auto it = sheet.data->rowHeights.cbegin(); it != sheet.data->rowHeights.cend(); ++it)
        heights.insert(QString::number(it.key()), it.value());
    QJsonArray charts;
    for (const XlsxIChart& chart : sheet.charts) {
        QJsonArray series;
        for (const XlsxIChartSeries& s : chart.series) {
            QJsonArray values;
            for (double v : s.values)
                values.append(v);
            series.append(QJsonObject{{"categories", QJsonArray::fromStringList(s.categories)}, {"values", values}});
        }
        charts.append(QJsonObject{{"type", int(chart.type)},
                                  {"title", chart.title},
                                  {"from", QJsonArray{chart.fromRow, chart.fromCol}},
                                  {"to", QJsonArray{chart.toRow, chart.toCol}},
                                  {"series", series}});
    }
    return {{"name", sheet.name},  {"cells", cells},   {"merges", merges},
            {"colWidths", widths}, {"rowHeights", heights}, {"charts", charts}};
}

QJsonObject sideJson(const XlsxIBorderSide& side)
{
    return {{"style", side.style}, {"color", colourName(side.color)}};
}

QJsonObject stylesJson(const XlsxIStyles& styles)
{
    QJsonObject formats;
    for (auto it = styles.numFmts.cbegin(); it != styles.numFmts.cend(); ++it)
        formats.insert(QString::number(it.key()), it.value());
    QJsonArray fonts;
    for (const XlsxIFont& f : styles.fonts)
        fonts.append(QJsonObject{{"bold", f.bold},
                                 {"italic", f.italic},
                                 {"underline", f.underline},
                                 {"size", f.size},
                                 {"color", f.hasColor ? colourName(f.color) : QString()}});
    QJsonArray fills;
    for (const XlsxIFill& f : styles.fills)
        fills.append(QJsonObject{{"solid", f.solid}, {"color", colourName(f.color)}});
    QJsonArray borders;
    for (const XlsxIBorder& b : styles.borders)
        borders.append(QJsonObject{{"left", sideJson(b.left)},
                                   {"right", sideJson(b.right)},
                                   {"top", sideJson(b.top)},
                                   {"bottom", sideJson(b.bottom)}});
    QJsonArray xfs;
    for (const XlsxIXf& x : styles.cellXfs)
        xfs.append(QJsonObject{{"fontId", x.fontId},
                               {"fillId", x.fillId},
                               {"borderId", x.borderId},
                               {"numFmtId", x.numFmtId},
                               {"applyFont", x.applyFont},
                               {"applyFill", x.applyFill},
                               {"horizontal", x.horizontal},
                               {"wrapText", x.wrapText}});
    return {{"numFmts", formats}, {"fonts", fonts}, {"fills", fills}, {"borders", borders}, {"cellXfs", xfs}};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: xlsx-dump FILE\n");
        return 2;
    }
    const XlsxIWorkbook book = iReadWorkbook(args.at(1));
    if (book.sheets.empty() && !book.reason.isEmpty()) {
        std::printf("%s\n", book.reason.toUtf8().constData());
        return 1;
    }
    QJsonArray sheets;
    for (const XlsxISheetInfo& sheet : book.sheets)
        sheets.append(sheetJson(sheet, book.styles.get()));
    QJsonObject root{{"sheets", sheets}, {"styles", stylesJson(*book.styles)}};
    if (!book.reason.isEmpty())
        root.insert("reason", book.reason);
    const QByteArray json = QJsonDocument(root).toJson();
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return book.reason.isEmpty() ? 0 : 1;
}
