#pragma once

#include "XlsxChartReader.h"
#include "XlsxIBudget.h"
#include "XlsxRecords.h"

#include <QByteArray>

#include <utility>

struct zip; // libzip's archive

// Reads a whole XLSX package: every sheet with its charts and the styles.
// The reason is empty when everything was read; otherwise it says why
// nothing, or not all, was read, and what was read stays.
XlsxIWorkbook iReadWorkbook(const QString& path, XlsxIBudget budget = XlsxIBudget());

// The inflated content of one entry; empty when it is missing (found false),
// empty or unreadable (damaged) or larger than the budget allows (tooLarge).
QByteArray iReadEntry(zip* archive, const QString& name, XlsxIBudget* budget = nullptr, bool* found = nullptr);

// The shared strings, every text run of an item joined; phonetic runs left out.
QList<QString> iSharedStrings(zip* archive, XlsxIBudget* budget = nullptr);
// What the workbook part says besides the sheets it shows.
struct XlsxIWorkbookFacts {
    bool date1904 = false; // days count from 1 January 1904
    // (name, relationship id) of hidden sheets: never shown nor printed, read
    // only for the rows and columns charts leave out of them.
    QList<std::pair<QString, QString>> hiddenSheets;
    QList<XlsxIDefinedName> names;
};
// (sheet name, relationship id) of the shown sheets in workbook order; facts,
// when given, receives the rest.
QList<std::pair<QString, QString>> iSheetRefs(zip* archive, XlsxIBudget* budget = nullptr,
                                              XlsxIWorkbookFacts* facts = nullptr);
QMap<QString, QString> iWorkbookRels(zip* archive, XlsxIBudget* budget = nullptr);
// Relationship id to target of one relationships part.
QMap<QString, QString> iParseRels(const QByteArray& xml, XlsxIBudget* budget = nullptr);
// The 12 theme colours: dk1, lt1, dk2, lt2, accent1..6, hlink, folHlink.
QList<QColor> iParseTheme(const QByteArray& xml, XlsxIBudget* budget = nullptr);
// The package path of a relationship target seen from the folder of its
// source part; a target beginning with "/" is already a package path.
QString iResolvePartPath(const QString& sourceFolder, const QString& target);
