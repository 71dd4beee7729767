#include "UiTranslate.h"

QString uiTranslate(const QString& source)
{
    return source;
}
