#pragma once

#include <QString>
#include <QStringList>

// The edition the process runs as. Decided once at start and fixed for the
// life of the process; the numeric values are part of the interface.
enum class AppProduct : int {
    editor = 0,
    viewer = 1,
    ecp = 2,
};

// "ВОРН PDF Редактор", "ВОРН PDF Просмотр" or "ВОРН ЭЦП"; an out-of-range
// value gives the editor's name.
QString productDisplayName(AppProduct product);

// The application name, which also names the edition's settings store.
QString productApplicationName(AppProduct product);

// The command-line option that chooses the edition ("--vorn-product=editor").
QString productOption(AppProduct product);

// The edition chosen by the command line: the last argument that is exactly
// one of the three --vorn-product= options wins; without one, ecp.
AppProduct productFromArguments(const QStringList& arguments);

// True for any argument that starts with the edition option's prefix,
// recognised or not; such arguments are never file names.
bool isProductOption(const QString& argument);
