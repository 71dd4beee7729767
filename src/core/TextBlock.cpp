#include "TextBlock.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>
#include <QStringList>

#include <cmath>

bool isRichTextBlock(const TextBlock &block)
{
    return block.textEdited && !block.richText.trimmed().isEmpty();
}

// A face whose own matrix scales its glyphs (Type 3) may be set at a size
// far below a point and still draw letters of the usual size.
bool isNativeLine(const TextBlock::Line &line)
{
    return !line.fontFamily.trimmed().isEmpty() && line.fontSize > 0.0f && !line.spans.empty();
}

bool hasArea(const QRectF &r)
{
    return r.width() > 0.0 && r.height() > 0.0;
}

bool isInsertedImageObject(const TextBlock &block)
{
    return block.isImage && !block.image.isNull() && !hasArea(block.originalRect);
}

const QImage &pagePicture(const TextBlock &block)
{
    return block.imageEdited && !block.originalImage.isNull() ? block.originalImage : block.image;
}

bool scannedExportBlockMoved(const TextBlock &block)
{
    constexpr double kMoveTolerance = 0.5;
    const QRectF &r = block.rect;
    const QRectF &o = block.originalRect;
    if (!hasArea(o))
        return false;
    const double shifts[] = {
        std::abs(r.x() - o.x()),
        std::abs(r.y() - o.y()),
        std::abs((r.x() + r.width()) - (o.x() + o.width())),
        std::abs((r.y() + r.height()) - (o.y() + o.height())),
    };
    for (double shift : shifts) {
        if (shift > kMoveTolerance)
            return true;
    }
    return isTurnedByUser(block);
}

bool isTurnedByUser(const TextBlock &block)
{
    return std::abs(block.rotation - block.originalRotation) > kBlockRotationEpsilon;
}

void setLineBox(TextBlock::Line &line, const QRectF &box)
{
    if (line.placement)
        line.placement->origin += QPointF(line.rect.x() - box.x(), line.rect.y() - box.y());
    line.rect = box;
}

bool linesCarryText(const TextBlock &block)
{
    if (block.lines.empty())
        return false;
    QStringList texts;
    for (const TextBlock::Line &line : block.lines)
        texts << line.text;
    return texts.join(QLatin1Char(' ')).simplified() == block.text.simplified() && !block.text.trimmed().isEmpty();
}

TextBlock removedPlaceOf(const TextBlock &block)
{
    TextBlock place;
    place.removed = true;
    place.textEdited = true; // its place is rewritten (with nothing)
    place.rect = place.originalRect = block.originalRect;
    place.rotation = place.originalRotation = block.originalRotation;
    for (const TextBlock::Line &line : block.lines) {
        TextBlock::Line old;
        // Recognised lines of a turned scan stand each in its own frame.
        if (hasArea(line.originalRect)) {
            old.rect = old.originalRect = line.originalRect;
            old.originalText = line.originalText;
            old.turn = line.turn;
        } else if (!line.glyphBoxes.empty() && line.glyphBoxes.size() == size_t(line.glyphText.size()) &&
                   !line.invisibleText) {
            old.rect = line.rect;
            old.glyphBoxes = line.glyphBoxes;
            old.glyphText = line.glyphText;
        } else {
            continue;
        }
        place.lines.push_back(old);
    }
    place.pageIndex = block.pageIndex;
    place.fontSize = block.fontSize;
    place.color = block.color;
    return place;
}

QByteArray blocksFingerprint(const std::vector<TextBlock> &blocks)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (const TextBlock &block : blocks) {
        out << block.text << block.richText << block.rect << block.originalRect << block.rotation << block.isImage
            << block.image.cacheKey() << block.textEdited << block.invisibleText << block.fontFamily
            << block.fontSize << block.color << block.bold << block.italic << block.removed << block.imageEdited
            << block.pageIndex << quint64(block.lines.size());
        for (const TextBlock::Line &line : block.lines) {
            out << line.text << line.rect << line.fontFamily << line.fontSize << line.color << line.bold
                << line.italic << line.invisibleText << line.restyled << line.turn << line.glyphText
                << quint64(line.spans.size());
            for (const TextBlock::Line::Span &span : line.spans)
                out << span.text << span.fontFamily << span.fontSize << span.bold << span.italic << span.color;
        }
    }
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}
