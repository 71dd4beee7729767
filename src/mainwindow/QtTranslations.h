#pragma once

#include <QString>

// Qt's own texts (file and colour dialogs, standard buttons, the context menus
// of text fields) in the interface language, from the system's catalogues of
// Qt ("qtbase_<language>.qm" in Qt's translations folder). Installs the
// catalogue of the language on the application in place of the one installed
// before; a language Qt has no catalogue for takes the Russian one, as the
// program's own texts fall back to Russian; without that either, Qt speaks
// English. Returns whether a catalogue is installed. GUI thread only.
bool applyQtTranslations(const QString& language);
bool applyQtTranslations(const QString& language, const QString& folder);

// Qt's translations folder of this system.
QString qtTranslationsFolder();
