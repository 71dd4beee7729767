#include "CompressionLevels.h"

#include "CompressionOptionsJson.h"
#include "UiTranslate.h"

#include <QObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBytesPerMb = 1048576.0;
constexpr int kLargestProposedMb = 10;

struct LevelRow {
    const char* title;
    const char* shortLabel;
    const char* description;
    const char* warning;
    const char* fgColor;
    const char* bgColor;
    int imageDpi;
    int jpegQuality;
    bool monochrome;
};

constexpr LevelRow kLevels[kCompressionLevelCount] = {
    {"Почти без потери качества", "Качество",
     "Максимально бережный режим: крупный файл, зато внешний вид почти не меняется.",
     "Файл может остаться большим. Подходит, когда лимит портала высокий.", "#0f766e", "#d9f99d", 300, 85, false},
    {"Бережное сжатие", "Бережно",
     "Немного уменьшаем изображения без заметной деградации на обычных документах.",
     "Небольшая потеря качества возможна на фотографиях и мелком сером тексте.", "#15803d", "#dcfce7", 200, 75,
     false},
    {"Среднее сжатие", "Средне",
     "Баланс размера и качества, близкий к типичному «recommended» режиму онлайн-сервисов.",
     "Качество слегка снижается, но документы обычно остаются хорошо читаемыми.", "#a16207", "#fef3c7", 150, 55,
     false},
    {"Сильное сжатие", "Сильно", "Заметно режем вес файла. Хорошо, когда нужно пройти ограничение портала.",
     "Мелкие детали и фотографии могут стать заметно хуже.", "#c2410c", "#ffedd5", 120, 42, false},
    {"Экстремальное сжатие", "Экстрим", "Минимальный цветной файл: качество уже жертвуем ради размера.",
     "На сканах будет заметна потеря качества. Используйте, если иначе файл не проходит лимит.", "#b91c1c",
     "#fee2e2", 72, 28, false},
    {"Монохромный минимум", "Моно",
     "Самый маленький режим для чёрно-белых документов, таблиц и судебных сканов.",
     "Цвет будет удалён. Не используйте для документов, где важны цветные подписи, печати или фото.", "#7c2d12",
     "#fed7aa", 72, 35, true},
};

PdfDocument::CompressionOptions levelOptions(const LevelRow& row)
{
    return rasterCompressionOptions(row.imageDpi, row.jpegQuality, row.monochrome);
}

// Shown in the dialog as they are set, after it has been translated.
QString translated(const char* text)
{
    return uiTranslate(QObject::tr(text));
}

} // namespace

CompressionStageUi stageForLevel(int level)
{
    const LevelRow& row = kLevels[std::clamp(level, 0, kCompressionLevelCount - 1)];
    return {translated(row.title),   translated(row.shortLabel), translated(row.description),
            translated(row.warning), QString::fromLatin1(row.fgColor), QString::fromLatin1(row.bgColor),
            levelOptions(row)};
}

int levelForOptions(const PdfDocument::CompressionOptions& options)
{
    for (int level = 0; level < kCompressionLevelCount; ++level) {
        if (levelOptions(kLevels[level]) == options)
            return level;
    }
    if (!options.rasterizePages)
        return 0;
    if (options.monochrome)
        return 5;
    if (options.imageDpi <= 80 || options.jpegQuality <= 32)
        return 4;
    if (options.jpegQuality <= 45 || options.imageDpi <= 130)
        return 3;
    if (options.imageDpi <= 170 || options.jpegQuality <= 62)
        return 2;
    if (options.imageDpi <= 240 || options.jpegQuality <= 78)
        return 1;
    return 0;
}

CompressionFitChoice chooseCompressionFit(const QList<CachedCompressionEstimate>& estimates, qint64 targetBytes)
{
    return chooseCompressionFitEntry(estimates, targetBytes);
}

qint64 compressionTargetBytes(double megabytes)
{
    return std::max<qint64>(1, std::llround(megabytes * kBytesPerMb));
}

int defaultCompressionTargetMb(qint64 fileSize)
{
    const double megabytes = double(fileSize) / kBytesPerMb;
    if (fileSize <= 0 || megabytes > kLargestProposedMb)
        return kLargestProposedMb;
    return std::max(1, int(std::ceil(megabytes)));
}
