#pragma once

#include <QString>

// The Russian source text in the current interface language (the
// application property "uiLanguage"). Until the translation table is
// embedded every language shows the source text.
QString uiTranslate(const QString& source);
