#include "PaintTexts.h"

namespace paint {

namespace {

std::function<QString(const QString&)>& translator()
{
    static std::function<QString(const QString&)> translate;
    return translate;
}

} // namespace

void setTextTranslator(std::function<QString(const QString&)> translate)
{
    translator() = std::move(translate);
}

QString translatedText(const QString& source)
{
    const auto& translate = translator();
    return translate ? translate(source) : source;
}

} // namespace paint
