#pragma once

#include "XlsxRecords.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <functional>
#include <tuple>

// A defined name of a workbook: its scope sheet (empty for the whole
// workbook) and the reference it stands for.
struct XlsxIDefinedName {
    QString name;
    QString sheet;
    QString formula;
};

// A table of a sheet: its cells, header and totals rows among them, and the
// names of its columns in order.
struct XlsxITable {
    QString name;
    QString sheet;
    int firstRow = 0;
    int lastRow = 0;
    int firstCol = 0;
    int lastCol = 0;
    int headerRows = 1;
    int totalsRows = 0;
    QStringList columns;
};

// The cells of an A1 reference "B2:D9" or "B2": rows from 1, columns from 0;
// false when it is neither.
bool iCellRange(QStringView ref, int& firstRow, int& firstCol, int& lastRow, int& lastCol);

// One row or column of cells of a sheet: rows from 1, columns from 0.
struct XlsxIArea {
    const XlsxISheetData* sheet = nullptr;
    int firstRow = 0;
    int lastRow = 0;
    int firstCol = 0;
    int lastCol = 0;
    bool down() const { return firstCol == lastCol; }
    int size() const { return down() ? lastRow - firstRow + 1 : lastCol - firstCol + 1; }
    bool hidden(int row, int col) const;
    // Cells of the area not in a hidden row or column.
    int visible() const;
};

// The cells a chart's reference stands for, as charts write them: areas
// joined by ",", whole rows and columns, names of the workbook or of a
// sheet, tables' structured references ("Таблица1[Сумма]",
// "Таблица1[[#Data],[Сумма]]"), and the names that grow with their data:
// OFFSET with sizes of constants, names, COUNTA or COUNT, and a range ending
// in INDEX. Counts are taken over the cells already read. Anything else is
// not resolved.
class XlsxReferences {
public:
    // A sheet by name (spreadsheets compare names case-insensitively), null
    // when unknown.
    using SheetNamed = std::function<const XlsxISheetData*(const QString&)>;

    XlsxReferences(SheetNamed sheetNamed, const QList<XlsxIDefinedName>& names,
                   const QList<XlsxITable>& tables = {});

    // The areas a reference stands for, each one row or column; false when
    // any part of it is not resolved.
    bool resolve(QStringView formula, QList<XlsxIArea>& areas) const;

    // The sheets a reference may point to, through the names and tables it
    // uses (a chart's own data such as LibreOffice's "0" points to none);
    // every sheet (anySheet) when it cannot be told: a reference that names
    // no sheet, a name or table the workbook does not have, INDIRECT, or a
    // reference that cannot be read.
    QStringList sheetsNamed(QStringView formula, bool* anySheet) const;

    // The defined name as a sheet sees it: the sheet's own first, then the
    // workbook's; empty when there is none.
    QString nameFormula(const QString& name, const QString& sheet) const;

    const XlsxISheetData* sheetNamed(const QString& name) const { return m_sheetNamed(name); }
    // A table by name, case-insensitively; null when there is none.
    const XlsxITable* table(const QString& name) const;

    // Non-empty cells (numbers alone when numbers) of a block of a sheet:
    // -1 for a sheet the workbook does not have.
    qint64 countCells(const XlsxISheetData* sheet, int firstRow, int lastRow, int firstCol, int lastCol,
                      bool numbers) const;

private:
    void collectSheets(QStringView formula, int depth, QSet<qsizetype>& seen, QStringList& sheets,
                       bool* anySheet) const;

    SheetNamed m_sheetNamed;
    QList<XlsxIDefinedName> m_names;
    QList<XlsxITable> m_tables;
    QHash<QString, qsizetype> m_tableIndex; // by case-folded name: the first of that name
    // Counts asked again by the series of a chart, and by its charts.
    mutable QMap<std::tuple<quintptr, int, int, int, int, bool>, qint64> m_counts;
};
