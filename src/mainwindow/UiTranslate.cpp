#include "UiTranslate.h"

#include <QCoreApplication>
#include <QLocale>
#include <QVariant>

QString uiTranslate(const QString& source)
{
    return source;
}

QString currentUiLanguageCode()
{
    QString code = qApp ? qApp->property("uiLanguage").toString() : QString();
    if (code.trimmed().isEmpty())
        code = QLocale::system().name();
    code.replace(QLatin1Char('_'), QLatin1Char('-'));
    const qsizetype hyphen = code.indexOf(QLatin1Char('-'));
    if (hyphen > 0)
        code.truncate(hyphen);
    return code.toLower();
}
