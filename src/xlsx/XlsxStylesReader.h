#pragma once

#include "XlsxRecords.h"

#include <QByteArray>

class QXmlStreamAttributes;
struct XlsxIBudget;

// Reads the styles part: custom number formats, fonts, fills, borders and the
// cell formats, every colour resolved against the theme colours (in the theme
// part's order: dk1, lt1, dk2, lt2, accents, links). Always returns an object.
std::unique_ptr<XlsxIStyles> iParseStyles(const QByteArray& xml, const QList<QColor>& themeColours,
                                          XlsxIBudget* budget = nullptr);

// The colour of one colour element (color, fgColor); invalid when it names
// none, as an automatic colour does.
QColor iResolveColor(const QXmlStreamAttributes& attributes, const QList<QColor>& themeColours);

// The default indexed palette; black outside 0..63.
QColor iIndexedColor(int index);
