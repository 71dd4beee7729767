#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// Package parts by name, written as a zip by the tests.
using XlsxParts = QMap<QString, QByteArray>;

// A workbook of one sheet "S" whose worksheet holds the given body.
XlsxParts minimalXlsx(const QByteArray& worksheetBody);
QByteArray worksheetXml(const QByteArray& body);

// Adds to a minimalXlsx workbook a drawing with one chart part in a
// two-cell anchor, its corners given as written (from col, from row, to col,
// to row); the worksheet body must hold <drawing r:id="rIdD"/>.
void addChart(XlsxParts& parts, const QList<QByteArray>& corners, const QByteArray& chartXml);

// Small workbooks that once cost minutes or gigabytes, by name: a chart
// anchored at column and row 2147483647 ("far-chart"), 200,000 identical
// merges ("same-merges"), 60,000 merges overlapping the first
// ("nested-merges"), 3,000 charts placed over 200,000 hidden rows
// ("hidden-anchors"), 100,000 disjoint merges of two cells, one a row
// ("row-merges"), one sheet part listed 20,000 times ("listed"), a line
// chart with one cached point at index 1048575 ("far-point"), a chart over
// a name counting over 500 names in each of seven levels ("nested-names"),
// 20,000 parts of one table of 16,384 columns ("many-tables").
QMap<QString, XlsxParts> hostileWorkbooks();

// Writes the parts deflated with libzip.
bool writeZip(const QString& path, const XlsxParts& parts);

// Writes the parts stored, by hand, so sizes can lie: declaredSizes gives a
// part's size as the directory states it. bombName, when given, becomes a
// deflated entry of head, inflatedBytes spaces and tail, whose stated size is
// its declared size (or the real one).
bool writeRawZip(const QString& path, const XlsxParts& parts, const QMap<QString, qint64>& declaredSizes = {},
                 const QString& bombName = QString(), qint64 inflatedBytes = 0, const QByteArray& head = {},
                 const QByteArray& tail = {});

// An entry of head, unit repeated count times and tail, deflated without
// ever being whole in memory, so gigabytes of text cost megabytes.
struct XlsxRepeated {
    QByteArray head;
    QByteArray unit;
    qint64 count = 0;
    QByteArray tail;
};

// Writes the parts stored and the repeated entries deflated.
bool writeRepeatedZip(const QString& path, const XlsxParts& parts, const QMap<QString, XlsxRepeated>& repeated);

// Converts the files with one LibreOffice run into outDir (as xlsx unless
// another format is given), with a profile of its own or the one in
// profileDir; false with the reason when soffice is missing or fails.
bool convertWithLibreOffice(const QStringList& files, const QString& outDir, QString* why,
                            const QString& format = QStringLiteral("xlsx"), const QString& profileDir = QString());
