#pragma once

#include <QString>

// The source text in the current interface language (the application
// property "uiLanguage", else the setting "ui/language", "ru" by default),
// from the embedded translation table; the source where the table has no
// wording of that language for it.
QString uiTranslate(const QString& source);

// The primary language subtag of the interface language in lower case: the
// property "uiLanguage", or the system locale when that is blank ("pt-BR"
// and "pt_BR" give "pt").
QString currentUiLanguageCode();
