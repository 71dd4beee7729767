#pragma once

#include <QString>

// The Russian source text in the current interface language (the
// application property "uiLanguage"). Until the translation table is
// embedded every language shows the source text.
QString uiTranslate(const QString& source);

// The primary language subtag of the interface language in lower case: the
// property "uiLanguage", or the system locale when that is blank ("pt-BR"
// and "pt_BR" give "pt").
QString currentUiLanguageCode();
