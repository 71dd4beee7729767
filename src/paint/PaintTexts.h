#pragma once

#include <QString>

#include <functional>

namespace paint {

// What turns the editor's Russian texts that no translation pass of the
// window reaches (file pickers, messages) into the interface language; the
// texts as written until one is set. The application sets it once.
void setTextTranslator(std::function<QString(const QString&)> translate);
QString translatedText(const QString& source);

} // namespace paint
