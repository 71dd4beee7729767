#include "ToolButtonRules.h"

#include <QStringList>

#include <array>

namespace {

struct Rule {
    QString icon;          // matches this icon name when not empty
    QStringList texts;     // or any of these texts
    bool iconAndText;      // icon and text must both match
    ToolCommand command;
};

const std::array<Rule, 19>& rules()
{
    using C = ToolCommand;
    static const std::array<Rule, 19> table{{
        {QStringLiteral("print"), {}, false, C::Print},
        {QStringLiteral("open"), {QStringLiteral("Открыть")}, false, C::OpenDialog},
        {{}, {QStringLiteral("Сохр."), QStringLiteral("Экспорт"), QStringLiteral("Сохранить")}, false,
         C::SaveExportDialog},
        {{}, {QStringLiteral("Пароль")}, false, C::PasswordDialog},
        {{}, {QStringLiteral("OCR")}, false, C::OcrDocument},
        {{}, {QStringLiteral("Дубль")}, false, C::PageTools},
        {{},
         {QStringLiteral("Заметка"), QStringLiteral("Маркер"), QStringLiteral("Подчерк."), QStringLiteral("Зачерк."),
          QStringLiteral("Цвет")},
         false,
         C::AnnotationProperties},
        {{}, {QStringLiteral("Свойства")}, false, C::DocumentProperties},
        {{}, {QStringLiteral("Настройки")}, false, C::Settings},
        {{}, {QStringLiteral("Ошибка")}, false, C::LoadError},
        {{}, {QStringLiteral("Закрыть")}, false, C::UnsavedChanges},
        {{}, {QStringLiteral("О программе")}, false, C::About},
        {QStringLiteral("search"), {}, false, C::Search},
        {QStringLiteral("zoom-in"), {}, false, C::ZoomIn},
        {QStringLiteral("zoom-out"), {}, false, C::ZoomOut},
        {QStringLiteral("rotate-left"), {}, false, C::RotateLeft},
        {QStringLiteral("rotate-right"), {}, false, C::RotateRight},
        {QStringLiteral("fit-width"), {QStringLiteral("Ширина")}, true, C::FitWidth},
        {QStringLiteral("fullscreen"), {}, false, C::FullScreen},
    }};
    return table;
}

bool matches(const Rule& rule, const QString& iconName, const QString& text)
{
    const bool iconMatches = !rule.icon.isEmpty() && rule.icon == iconName;
    const bool textMatches = rule.texts.contains(text, Qt::CaseSensitive);
    return rule.iconAndText ? iconMatches && textMatches : iconMatches || textMatches;
}

} // namespace

ToolCommand toolCommandFor(const QString& iconName, const QString& text)
{
    for (const Rule& rule : rules()) {
        if (matches(rule, iconName, text))
            return rule.command;
    }
    return ToolCommand::None;
}
