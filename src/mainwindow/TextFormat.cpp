#include "TextFormat.h"

QKeySequence FormatButtonSpec::keys() const
{
    if (!literalKey)
        return QKeySequence(standardKey);
    return QKeySequence(QString::fromLatin1(literalKey));
}

const std::array<FormatButtonSpec, FormatButtonCount>& formatButtonSpecs()
{
    constexpr auto none = QKeySequence::UnknownKey;
    static const std::array<FormatButtonSpec, FormatButtonCount> specs{{
        {"format-bold", "Полужирный", true, QKeySequence::Bold, nullptr},
        {"format-italic", "Курсив", true, QKeySequence::Italic, nullptr},
        {"format-underline", "Подчёркивание", true, QKeySequence::Underline, nullptr},
        {"format-strike", "Зачёркивание", true, none, "Alt+Shift+5"},
        {"format-superscript", "Верхний индекс", true, none, "Ctrl+Shift+="},
        {"format-subscript", "Нижний индекс", true, none, "Ctrl+Alt+="},
        {"font-size-up", "Увеличить шрифт", false, none, "Ctrl+Shift+>"},
        {"font-size-down", "Уменьшить шрифт", false, none, "Ctrl+Shift+<"},
        {"clear-format", "Очистить форматирование", false, none, "Ctrl+Space"},
        {"text-highlight", "Цвет выделения", false, none, ""},
        {"font-color", "Цвет текста", false, none, ""},
        {"list-bullet", "Маркированный список", false, none, "Ctrl+Shift+L"},
        {"list-number", "Нумерованный список", false, none, "Ctrl+Shift+7"},
        {"indent-decrease", "Уменьшить отступ", false, none, "Ctrl+["},
        {"indent-increase", "Увеличить отступ", false, none, "Ctrl+]"},
        {"align-left", "По левому краю", true, none, "Ctrl+L"},
        {"align-center", "По центру", true, none, "Ctrl+E"},
        {"align-right", "По правому краю", true, none, "Ctrl+R"},
        {"align-justify", "По ширине", true, none, "Ctrl+J"},
    }};
    return specs;
}
