#pragma once

#include <QString>

#include <array>
#include <functional>

class QDialog;

// One step of the start-up splash: the progress it shows and its text
// (a Russian source text, translated when shown).
struct PreloaderStage {
    int percent;
    const char* text;
};

inline constexpr std::array<PreloaderStage, 5> kPreloaderStages{{
    {18, "Загрузка модулей просмотра PDF..."},
    {42, "Подготовка панели инструментов..."},
    {68, "Проверка ресурсов и иконок..."},
    {88, "Инициализация рабочего окна..."},
    {100, "Готово"},
}};

// Shows the splash for the edition's display name, steps through the stages
// with stepMs of pause after each, and closes it before returning.
// afterStage, when given, is called with the splash once each stage is shown.
void runPreloader(const QString& displayName, int stepMs,
                  const std::function<void(const QDialog& splash)>& afterStage = {});
