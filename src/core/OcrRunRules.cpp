#include "OcrRunRules.h"

#include "OcrEngine.h"

#include "NativeTextLayer.h"
#include "OcrDocumentRunner.h"
#include "PdfDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QObject>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRegionPixelsHigh = 250.0;
constexpr double kMinRegionHeightForZoom = 40.0;
constexpr double kMinRegionZoom = 2.0;
constexpr double kMaxRegionZoom = 4.0;
constexpr double kMinRegionSide = 4.0;
constexpr int kMinCropSide = 4;
constexpr double kTouchMargin = 0.5;


void shift(QRectF& r, const QPointF& offset)
{
    if (hasArea(r))
        r.translate(offset);
}

} // namespace

double pageOcrZoom(double pageWidth, double configuredZoom)
{
    return OcrDocumentRunner::pageScale(pageWidth, configuredZoom);
}

double regionOcrZoom(double regionHeight)
{
    return std::clamp(kRegionPixelsHigh / std::max(regionHeight, kMinRegionHeightForZoom), kMinRegionZoom,
                      kMaxRegionZoom);
}

QRectF usableOcrRegion(const QRectF& marked, double pageWidth, double pageHeight)
{
    const QRectF r = marked.normalized().intersected(QRectF(0, 0, pageWidth, pageHeight));
    return r.width() >= kMinRegionSide && r.height() >= kMinRegionSide ? r : QRectF();
}

QRect regionCropRect(const QRectF& region, double zoom, const QRect& imageRect)
{
    const int left = std::max(int(std::floor(zoom * region.x())), 0);
    const int top = std::max(int(std::floor(zoom * region.y())), 0);
    const int width = std::max(int(std::ceil(zoom * region.width())), kMinCropSide);
    const int height = std::max(int(std::ceil(zoom * region.height())), kMinCropSide);
    return QRect(left, top, width, height).intersected(imageRect);
}

void moveRegionBlocksToPage(std::vector<TextBlock>& blocks, const QRectF& region, double pageHeight, int page)
{
    const QPointF offset(region.x(), pageHeight - region.y() - region.height());
    for (TextBlock& block : blocks) {
        block.pageIndex = page;
        shift(block.rect, offset);
        shift(block.originalRect, offset);
        for (TextBlock::Line& line : block.lines) {
            shift(line.rect, offset);
            if (!line.originalRect.isNull())
                shift(line.originalRect, offset);
            for (TextBlock::Line::Word& word : line.words)
                shift(word.rect, offset);
        }
    }
}

bool blockIntersectsTopOriginRect(const TextBlock& b, const QRectF& topRect, double pageHeight)
{
    const QRectF& r = b.rect;
    const QRectF blockTop = QRectF(r.x(), pageHeight - r.y() - r.height(), r.width(), r.height()).normalized();
    const QRectF grownBlock = blockTop.adjusted(-kTouchMargin, -kTouchMargin, kTouchMargin, kTouchMargin);
    const QRectF grownRegion = topRect.adjusted(-kTouchMargin, -kTouchMargin, kTouchMargin, kTouchMargin);
    return grownBlock.intersects(grownRegion);
}

std::vector<TextBlock> mergeRegionResult(const std::vector<TextBlock>& shown, std::vector<TextBlock> result,
                                         const QRectF& region, double pageHeight)
{
    if (result.empty())
        return {};
    std::vector<TextBlock> merged;
    for (const TextBlock& block : shown) {
        if (isInsertedImageObject(block) || !blockIntersectsTopOriginRect(block, region, pageHeight))
            merged.push_back(block);
    }
    merged.insert(merged.end(), std::make_move_iterator(result.begin()), std::make_move_iterator(result.end()));
    return merged;
}

QString ocrResultSummary(const std::vector<TextBlock>& blocks)
{
    int images = 0;
    int tables = 0;
    for (const TextBlock& b : blocks) {
        images += b.isImage ? 1 : 0;
        tables += b.isTable && !b.isImage ? 1 : 0;
    }
    const int texts = int(blocks.size()) - images - tables;
    QStringList parts;
    if (texts > 0)
        parts << QObject::tr("%1 текст").arg(texts);
    if (tables > 0)
        parts << QObject::tr("%1 таблиц").arg(tables);
    if (images > 0)
        parts << QObject::tr("%1 изображений").arg(images);
    return parts.join(QStringLiteral(", "));
}

bool pageKeepsItsText(const PdfDocument& document, int page)
{
    return !document.glyphMeaning(page).offersNoText() && hasVisibleNativeText(document.extractText(page));
}

QString ocrLanguageName(const QString& code)
{
    if (code == QLatin1String("rus"))
        return QObject::tr("русский");
    if (code == QLatin1String("eng"))
        return QObject::tr("английский");
    return QObject::tr("русский + английский");
}

QStringList missingOcrLanguages(const QString& code, const QStringList& installed)
{
    QStringList missing;
    if (installed.isEmpty())
        return missing;
    for (const QString& part : code.split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
        const QString language = part.trimmed();
        if (!language.isEmpty() && !installed.contains(language) && !missing.contains(language))
            missing << language;
    }
    return missing;
}

QStringList installedOcrLanguages()
{
    const QDir bundled(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tessdata")));
    if (!bundled.exists())
        return OcrEngine().availableLanguages();
    QStringList languages;
    for (const QString& file : bundled.entryList({QStringLiteral("*.traineddata")}, QDir::Files))
        languages << file.section(QLatin1Char('.'), 0, 0);
    return languages;
}
