// Painting the view's blocks over a page render: page points (origin bottom
// left) are mapped to image pixels (origin top left) with the page height.
#include "ScannedPageRender.h"

#include "PdfDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMovedRotation = 0.1;
constexpr int kWhiteOutGrowth = 2;
constexpr int kInkAlpha = 8;
constexpr double kMinSlotHeight = 6.0;
constexpr double kMinBlockFontSize = 6.0;
constexpr double kLineHeightFontShare = 0.82;
const QString kFallbackFamily = QStringLiteral("Times New Roman");

struct PageMapping {
    double height = 0;
    double scale = 1;

    QRectF toImage(const QRectF& r) const
    {
        return QRectF(r.x() * scale, (height - r.y() - r.height()) * scale, r.width() * scale, r.height() * scale);
    }
};

bool present(const QRectF& r)
{
    return r.width() > 0 && r.height() > 0;
}

QRectF grown(const QRectF& r)
{
    return r.adjusted(-kWhiteOutGrowth, -kWhiteOutGrowth, kWhiteOutGrowth, kWhiteOutGrowth);
}

// Runs draw with the painter turned by the block's rotation about R's centre.
template <typename Draw>
void withRotation(QPainter& painter, const QRectF& target, double rotation, Draw draw)
{
    painter.save();
    if (std::abs(rotation) >= kMovedRotation) {
        painter.translate(target.center());
        painter.rotate(rotation);
        painter.translate(-target.center());
    }
    draw();
    painter.restore();
}

// Opaque white wherever the picture has ink, grown by one pixel.
QImage inkMask(const QImage& image)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage mask(source.size(), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    const int width = source.width();
    const int height = source.height();
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            if (qAlpha(row[x]) <= kInkAlpha)
                continue;
            for (int my = std::max(0, y - 1); my <= std::min(height - 1, y + 1); ++my) {
                auto* out = reinterpret_cast<QRgb*>(mask.scanLine(my));
                for (int mx = std::max(0, x - 1); mx <= std::min(width - 1, x + 1); ++mx)
                    out[mx] = qRgba(255, 255, 255, 255);
            }
        }
    }
    return mask;
}

void paintImageBlock(QPainter& painter, const TextBlock& block, const PageMapping& map)
{
    const QRectF target = map.toImage(block.rect);
    const auto drawPicture = [&] {
        withRotation(painter, target, block.rotation, [&] { painter.drawImage(target, block.image); });
    };
    if (!present(block.originalRect)) {
        if (!block.image.isNull())
            drawPicture();
        return;
    }
    if (!scannedExportBlockMoved(block) || block.image.isNull())
        return;
    const QRectF old = map.toImage(block.originalRect);
    if (block.inkRegion)
        painter.drawImage(old, inkMask(block.image));
    else
        painter.fillRect(grown(old), Qt::white);
    drawPicture();
}

QString joinedLineText(const TextBlock& block)
{
    QStringList texts;
    for (const TextBlock::Line& line : block.lines) {
        const QString text = line.text.trimmed();
        if (!text.isEmpty())
            texts << text;
    }
    return texts.join(QLatin1Char('\n')).trimmed();
}

bool textBlockRedrawn(const TextBlock& block)
{
    if (block.textEdited || std::abs(block.rotation) > kMovedRotation)
        return true;
    const QString joined = joinedLineText(block);
    if (!joined.isEmpty() && joined != block.text.trimmed())
        return true;
    return scannedExportBlockMoved(block);
}

void rescaleDocument(QTextDocument& doc, double s)
{
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    for (QTextBlock textBlock = doc.begin(); textBlock.isValid(); textBlock = textBlock.next()) {
        QTextBlockFormat format = textBlock.blockFormat();
        format.setTopMargin(format.topMargin() * s);
        format.setBottomMargin(format.bottomMargin() * s);
        format.setLeftMargin(format.leftMargin() * s);
        format.setRightMargin(format.rightMargin() * s);
        format.setTextIndent(format.textIndent() * s);
        if (format.lineHeightType() != QTextBlockFormat::ProportionalHeight && format.lineHeight() > 0)
            format.setLineHeight(format.lineHeight() * s, format.lineHeightType());
        QTextCursor blockCursor(textBlock);
        blockCursor.mergeBlockFormat(format);
        for (auto it = textBlock.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            QTextCharFormat charFormat = fragment.charFormat();
            QFont font = charFormat.font();
            int pixels = 0;
            if (font.pixelSize() > 0)
                pixels = qRound(font.pixelSize() * s);
            else if (font.pointSizeF() > 0 && qRound(font.pointSizeF()) > 0)
                pixels = qRound(qRound(font.pointSizeF()) * s);
            else
                continue;
            font.setPixelSize(std::clamp(pixels, 1, 1000));
            charFormat.setFont(font, QTextCharFormat::FontPropertiesAll);
            QTextCursor range(&doc);
            range.setPosition(fragment.position());
            range.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            range.mergeCharFormat(charFormat);
        }
    }
    cursor.endEditBlock();
}

void drawRichText(QPainter& painter, const TextBlock& block, const QRectF& target, double s)
{
    QTextDocument doc;
    doc.setDocumentMargin(0);
    doc.setUndoRedoEnabled(false);
    doc.setHtml(block.richText);
    if (s > 0 && std::abs(s - 1.0) >= 0.001)
        rescaleDocument(doc, s);
    doc.setTextWidth(target.width());
    doc.setPageSize(target.size());
    painter.translate(target.topLeft());
    doc.drawContents(&painter, QRectF(0, 0, target.width(), target.height()));
}

QFont blockFont(const QString& family, bool bold, bool italic, int pixelSize)
{
    QFont font(family.trimmed().isEmpty() ? kFallbackFamily : family.trimmed());
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    font.setPixelSize(pixelSize);
    return font;
}

void drawWholeBlock(QPainter& painter, const TextBlock& block, const QRectF& target, double s)
{
    painter.setFont(blockFont(block.fontFamily, block.bold, block.italic,
                              std::clamp(qRound(std::max(double(block.fontSize), kMinBlockFontSize) * s), 4, 1000)));
    painter.setPen(block.color.isValid() ? block.color : QColor(Qt::black));
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.drawText(QRectF(target.x() + 1, target.y(), target.width() - 2, target.height() - 1), block.text, option);
}

void drawLines(QPainter& painter, const TextBlock& block, const PageMapping& map)
{
    QStringList parts = block.text.split(QLatin1Char('\n'));
    const int lineCount = int(block.lines.size());
    if (parts.size() != lineCount && (block.text.isEmpty() || !block.text.contains(QLatin1Char('\n')))) {
        parts.clear();
        for (const TextBlock::Line& line : block.lines)
            parts << line.text;
    }
    const int n = std::max(lineCount, int(parts.size()));
    for (int i = 0; i < n; ++i) {
        TextBlock::Line line = i < lineCount ? block.lines[size_t(i)] : TextBlock::Line();
        if (!present(line.rect)) {
            const QRectF& r = block.rect;
            const double slot = std::max(r.height() / n, kMinSlotHeight);
            line.rect = QRectF(r.x(), r.y() + r.height() - (i + 1) * slot, r.width(), slot);
            line.fontSize = block.fontSize;
            line.fontFamily = block.fontFamily;
            line.color = block.color;
            line.bold = block.bold;
            line.italic = block.italic;
        }
        const QString text = i < parts.size() ? parts[i] : line.text;
        if (text.isEmpty())
            continue;
        const QRectF target = map.toImage(line.rect);
        const bool ownFamily = !line.fontFamily.trimmed().isEmpty();
        const QString family = ownFamily ? line.fontFamily : block.fontFamily;
        const double points = line.fontSize > 1 ? line.fontSize
                              : block.fontSize > 1 ? block.fontSize
                                                   : std::max(kLineHeightFontShare * line.rect.height(), kMinSlotHeight);
        painter.setFont(blockFont(family, ownFamily ? line.bold : block.bold, ownFamily ? line.italic : block.italic,
                                  std::clamp(qRound(points * map.scale), 4, 1000)));
        painter.setPen(line.color.isValid() ? line.color : block.color.isValid() ? block.color : QColor(Qt::black));
        QTextOption option(Qt::AlignLeft | Qt::AlignTop);
        option.setWrapMode(QTextOption::NoWrap);
        painter.drawText(QRectF(target.x(), target.y() - 1, target.width() + 4, target.height() + 3), text, option);
    }
}

void paintTextBlock(QPainter& painter, const TextBlock& block, const PageMapping& map)
{
    if (!textBlockRedrawn(block))
        return;
    const QRectF target = map.toImage(block.rect);
    const QRectF cleared = present(block.originalRect) ? map.toImage(block.originalRect) : target;
    painter.fillRect(grown(cleared), Qt::white);
    withRotation(painter, target, block.rotation, [&] {
        if (block.textEdited && !block.richText.trimmed().isEmpty())
            drawRichText(painter, block, target, map.scale);
        else if (block.lines.empty())
            drawWholeBlock(painter, block, target, map.scale);
        else
            drawLines(painter, block, map);
    });
}

} // namespace

QImage renderPageWithBlocks(const PdfDocument& document, int pageIndex, double scale,
                            const std::vector<TextBlock>& blocks)
{
    QImage image = document.renderPage(pageIndex, scale, 0);
    if (image.isNull())
        return image;
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    if (blocks.empty())
        return image;
    const PageMapping map{document.pageSize(pageIndex).height(), scale};
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    for (const TextBlock& block : blocks) {
        const QRectF target = map.toImage(block.rect);
        if (target.width() <= 1 || target.height() <= 1)
            continue;
        if (block.isImage)
            paintImageBlock(painter, block, map);
        else
            paintTextBlock(painter, block, map);
    }
    painter.end();
    return image;
}
