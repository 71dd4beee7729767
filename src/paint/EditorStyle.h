#pragma once

#include <QString>

namespace paint {

// The style sheet of the picture editor and its dialogs.
QString editorStyleSheet();

} // namespace paint
