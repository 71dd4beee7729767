#include "EditedTextPreview.h"

#include "BlockPainting.h"
#include "LineFonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr int kMinBlockFontPx = 8;
constexpr int kMinSampleChars = 3;
constexpr double kCaretLineWidth = 100000.0;

double topOf(const QRectF& pdfRect)
{
    return pdfRect.y() + pdfRect.height();
}

// Where a visual line's box starts on screen, from the block's own corner.
QPointF lineCorner(const TextBlock& block, const TextBlock::Line& line, const QRectF& r, double zoom)
{
    return QPointF(r.x() + (line.rect.x() - block.rect.x()) * zoom,
                   r.y() + (topOf(block.rect) - topOf(line.rect)) * zoom);
}

void drawRichText(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    QTextDocument document;
    document.setDocumentMargin(0);
    document.setUndoRedoEnabled(false);
    document.setHtml(block.richText);
    scaleDocumentFontPixels(&document, zoom);
    document.setTextWidth(r.width());
    document.setPageSize(r.size());
    painter.save();
    painter.translate(r.topLeft());
    document.drawContents(&painter, QRectF(0, 0, r.width(), r.height()));
    painter.restore();
}

void drawLines(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    const QStringList display = displayLinesForEditor(block);
    const int count = std::max(int(block.lines.size()), int(display.size()));
    for (int k = 0; k < count; ++k) {
        const TextBlock::Line vline = visualLineForIndex(block, k);
        const QString text = k < display.size() ? display[k] : vline.text;
        if (text.isEmpty())
            continue;
        const QFont font = lineRenderFont(vline, block, zoom, text, true, 1.0);
        painter.setFont(font);
        painter.setPen(lineTextColor(vline, block));
        QPointF at = lineCorner(block, vline, r, zoom);
        const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
        if (ink.width() > 0 && ink.height() > 0)
            at -= ink.topLeft();
        painter.drawText(at, text);
    }
}

QString blockSample(const QString& text)
{
    for (const QString& line : text.split(u'\n')) {
        if (line.trimmed().size() > kMinSampleChars)
            return line.trimmed().left(80);
    }
    return representativeTextSample(QString());
}

void drawTypedText(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    const QString family = block.fontFamily.trimmed();
    QFont font(family.isEmpty() ? QStringLiteral("Times New Roman") : mapPdfFont(family));
    font.setWeight(block.bold ? QFont::Bold : QFont::Normal);
    font.setItalic(block.italic && fontNameLooksItalic(block.fontFamily));
    font.setPixelSize(
        fittedFontPixelSize(font, blockSample(block.text), kMinBlockFontPx, zoom * medianOcrLineHeightPt(block)));
    painter.setFont(font);
    painter.setPen(block.color.isValid() ? block.color : QColor(Qt::black));
    painter.drawText(QRectF(r.x() + 1, r.y(), r.width() - 2, r.height() - 1), Qt::AlignLeft | Qt::AlignTop,
                     block.text);
}

} // namespace

void drawEditedTextPreview(QPainter& painter, const TextBlock& block, const QRectF& r, double zoom)
{
    painter.save();
    if (block.textEdited && blockHasRichTextPreview(block))
        drawRichText(painter, block, r, zoom);
    else if (!block.lines.empty())
        drawLines(painter, block, r, zoom);
    else
        drawTypedText(painter, block, r, zoom);
    painter.restore();
}

void drawPreviewEditorCaret(QPainter& painter, QTextEdit* editor, const TextBlock& block, const QRectF& r,
                            double zoom)
{
    if (!editor || !editor->hasFocus() || editor->textCursor().hasSelection() || block.lines.empty())
        return;
    const QString plain = editor->toPlainText();
    const int pos = std::clamp(editor->textCursor().position(), 0, int(plain.size()));
    const QStringList textLines = plain.split(u'\n');
    const int k = int(plain.left(pos).count(u'\n'));
    if (k >= std::max(int(block.lines.size()), int(textLines.size())))
        return;
    const TextBlock::Line vline = visualLineForIndex(block, k);
    const QString text = k < textLines.size() ? textLines[k] : vline.text;
    const int lineStart = k == 0 ? 0 : int(plain.left(pos).lastIndexOf(u'\n')) + 1;
    const int column = std::clamp(pos - lineStart, 0, int(text.size()));

    const QFont font = lineRenderFont(vline, block, zoom, text, true, 1.0);
    const QPointF corner = lineCorner(block, vline, r, zoom);
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text.isEmpty() ? QStringLiteral("M") : text);
    double x = corner.x() - ink.x();
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(kCaretLineWidth);
        layout.endLayout();
        x += line.cursorToX(column);
    } else {
        layout.endLayout();
        x += QFontMetricsF(font).horizontalAdvance(text.left(column));
    }
    const double top = corner.y();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(QStringLiteral("#0F172A")), std::max(0.45 * zoom, 1.0)));
    painter.drawLine(QPointF(x, top - 1), QPointF(x, top + std::max(vline.rect.height() * zoom, 2.0) + 1));
    painter.restore();
}
