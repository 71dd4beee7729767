#include "BlockTextDocument.h"

#include "BlockPainting.h"
#include "LineFonts.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr double kMinZoom = 0.001;
constexpr int kBoldWeight = 700;

void scrollToOrigin(QTextEdit* editor)
{
    editor->horizontalScrollBar()->setValue(0);
    editor->verticalScrollBar()->setValue(0);
}

QTextCharFormat formatOf(const QFont& font, const QColor& colour)
{
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(colour);
    return format;
}

QTextCharFormat spanFormat(const TextBlock::Line::Span& span, const TextBlock::Line& line, const QFont& lineFont,
                           const QColor& lineColour)
{
    QFont font = lineFont;
    if (!span.fontFamily.trimmed().isEmpty())
        font.setFamily(displayFamilyForPdfFont(span.fontFamily));
    font.setWeight(span.bold || fontNameLooksBold(span.fontFamily) ? QFont::Bold : QFont::Normal);
    const bool native = isNativePdfLine(line) && !line.invisibleText;
    font.setItalic(native ? span.italic && fontNameLooksItalic(span.fontFamily) : span.italic);
    QTextCharFormat format = formatOf(font, spanTextColor(span, lineColour));
    if (span.superscript)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (span.subscript)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    return format;
}

bool hasUnderlinedPlaceholder(QTextDocument* document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (fragment.text().contains(QChar(0x00A0)) && (format.fontUnderline() || format.font().underline()))
                return true;
        }
    }
    return false;
}

// The style most of a line's letters have in the editor, put onto the line
// for the writer, which sets the line in one style: a bold lead-in or an
// italic word does not restyle the rest. The size stays the line's own unless
// the user chose one: the editor shows the line at a size fitted to its box on
// screen, which is not the PDF's size.
void takeStyleOf(TextBlock::Line& line, QTextDocument* document, int position, int length)
{
    struct Tally {
        QTextCharFormat format;
        int letters = 0;
    };
    const auto boldAndItalic = [](const QTextCharFormat& format) {
        return std::pair(format.font().weight() >= kBoldWeight, format.font().italic());
    };
    std::vector<Tally> tallies;
    const int end = std::min(position + std::max(length, 1), document->characterCount() - 1);
    for (int at = position; at < end; ++at) {
        QTextCursor cursor(document);
        cursor.setPosition(at + 1);  // the format of the character before the cursor
        const QTextCharFormat format = cursor.charFormat();
        auto same = std::find_if(tallies.begin(), tallies.end(), [&](const Tally& tally) {
            return boldAndItalic(tally.format) == boldAndItalic(format);
        });
        if (same == tallies.end())
            same = tallies.insert(tallies.end(), Tally{format, 0});
        if (!document->characterAt(at).isSpace())
            ++same->letters;
    }
    if (tallies.empty())
        return;
    // The first of equals: a line of two halves keeps the style it starts in.
    const Tally* most = &tallies.front();
    for (const Tally& tally : tallies)
        if (tally.letters > most->letters)
            most = &tally;
    const QTextCharFormat& format = most->format;
    if (format.hasProperty(kChosenPointSizeProperty))
        line.fontSize = float(format.doubleProperty(kChosenPointSizeProperty));
    line.bold = boldAndItalic(format).first;
    line.italic = boldAndItalic(format).second;
    if (format.foreground().style() != Qt::NoBrush)
        line.color = format.foreground().color();
}

} // namespace

void normalizeEditorTextLayout(QTextEdit* editor)
{
    if (!editor)
        return;
    editor->setContentsMargins(0, 0, 0, 0);
    QTextDocument* document = editor->document();
    document->setDocumentMargin(0);
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document->setDefaultTextOption(option);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        format.setTopMargin(0);
        format.setBottomMargin(0);
        format.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
        QTextCursor(block).setBlockFormat(format);
    }
    cursor.endEditBlock();
    editor->verticalScrollBar()->setValue(0);
}

void setEditorRotatedPresentation(QTextEdit* editor)
{
    if (!editor)
        return;
    for (QWidget* widget : {static_cast<QWidget*>(editor), editor->viewport()}) {
        QPalette palette = widget->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::Base, Qt::transparent);
            palette.setColor(group, QPalette::Window, Qt::transparent);
        }
        widget->setPalette(palette);
        widget->setAutoFillBackground(false);
        widget->setAttribute(Qt::WA_TranslucentBackground);
        widget->setAttribute(Qt::WA_NoSystemBackground);
    }
    editor->setFrameShape(QFrame::NoFrame);
    editor->viewport()->setVisible(true);
    editor->setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

void applyEditedTextDocument(TextBlock& block, QTextEdit* editor, bool force, double zoom)
{
    if (!editor)
        return;
    QTextDocument* document = editor->document();
    block.text = editor->toPlainText();
    const bool nativeRich = std::any_of(block.lines.begin(), block.lines.end(), lineHasNativeRichSpans);
    const bool nativeModified = nativeRich && document->isModified();
    if (!(force || block.textEdited || nativeModified || hasUnderlinedPlaceholder(document)))
        return;
    block.textEdited = true;
    std::unique_ptr<QTextDocument> clone(document->clone());
    clone->setUndoRedoEnabled(false);
    scaleDocumentFontPixels(clone.get(), 1.0 / std::max(zoom, kMinZoom));
    block.richText = clone->toHtml();
}

QSizeF editorDocumentSizeForWidth(QTextEdit* editor, int width)
{
    std::unique_ptr<QTextDocument> clone(editor->document()->clone());
    clone->setUndoRedoEnabled(false);
    clone->setDocumentMargin(editor->document()->documentMargin());
    QTextOption option = clone->defaultTextOption();
    option.setWrapMode(editor->lineWrapMode() != QTextEdit::NoWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                                                    : QTextOption::NoWrap);
    clone->setDefaultTextOption(option);
    clone->setTextWidth(std::max(width, 1));
    const QSizeF size = clone->size();
    return QSizeF(std::max(size.width(), clone->idealWidth()), size.height());
}

void buildSingleLineDocument(QTextEdit* editor, const TextBlock& block, double zoom)
{
    const TextBlock::Line& line = block.lines.front();
    const QFont font = lineRenderFont(line, block, zoom, block.text, true, 1.0);
    const QColor colour = lineTextColor(line, block);
    editor->setFont(font);
    editor->document()->setDefaultFont(font);
    editor->setTextColor(colour);
    editor->setPlainText(block.text);
    const QTextCharFormat format = formatOf(font, colour);
    if (!line.spans.empty() && lineHasNativeRichSpans(line)) {
        editor->clear();
        QTextCursor cursor(editor->document());
        for (const TextBlock::Line::Span& span : line.spans) {
            if (!span.text.isEmpty())
                insertTextWithRaisedPlaceholderUnderlines(cursor, span.text, spanFormat(span, line, font, colour));
        }
    } else if (block.text.contains(QLatin1String("__"))) {
        editor->clear();
        QTextCursor cursor(editor->document());
        insertTextWithRaisedPlaceholderUnderlines(cursor, block.text, format);
    } else {
        QTextCursor all(editor->document());
        all.select(QTextCursor::Document);
        all.mergeCharFormat(format);
    }
    QTextCursor start(editor->document());
    start.movePosition(QTextCursor::Start);
    editor->setTextCursor(start);
    editor->mergeCurrentCharFormat(format);
    scrollToOrigin(editor);
    editor->document()->setModified(false);
}

void buildVisualLineDocument(QTextEdit* editor, const TextBlock& block, double zoom)
{
    editor->clear();
    QTextDocument* document = editor->document();
    document->setDocumentMargin(0);
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    document->setDefaultTextOption(option);
    const QStringList display = displayLinesForEditor(block);
    const int count = std::max(int(block.lines.size()), int(display.size()));
    const double blockTop = block.rect.y() + block.rect.height();
    QTextCursor cursor(document);
    double used = 0;
    for (int k = 0; k < count; ++k) {
        const TextBlock::Line vline = visualLineForIndex(block, k);
        const QString text = k < display.size() ? display[k] : vline.text;
        const QFont font = lineRenderFont(vline, block, zoom, text, true, 1.08);
        const double lineTop = zoom * (blockTop - (vline.rect.y() + vline.rect.height()));
        const double topMargin = std::max(0.0, lineTop - used);
        const double lineHeight = std::max(std::max(zoom, 1.0) + QFontMetricsF(font).tightBoundingRect(text).height(),
                                           vline.rect.height() * zoom);
        if (k > 0)
            cursor.insertBlock();
        QTextBlockFormat paragraph;
        paragraph.setTopMargin(topMargin);
        paragraph.setBottomMargin(0);
        paragraph.setLeftMargin(std::max(0.0, (vline.rect.x() - block.rect.x()) * zoom));
        paragraph.setLineHeight(lineHeight, QTextBlockFormat::FixedHeight);
        cursor.setBlockFormat(paragraph);
        insertTextWithRaisedPlaceholderUnderlines(cursor, text, formatOf(font, lineTextColor(vline, block)));
        used = std::max(lineTop + lineHeight, topMargin + used + lineHeight);
    }
    QTextCursor start(document);
    start.movePosition(QTextCursor::Start);
    editor->setTextCursor(start);
    editor->mergeCurrentCharFormat(start.charFormat());
    scrollToOrigin(editor);
    document->setModified(false);
}

QStringList editorVisualLines(QTextEdit* editor)
{
    QTextDocument* document = editor->document();
    document->documentLayout()->documentSize(); // lays the whole document out
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QTextLayout* layout = block.layout();
        if (!layout || layout->lineCount() == 0) {
            lines << text;
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines << text.mid(line.textStart(), line.textLength());
        }
    }
    return lines;
}

// A changed line keeps its start and height and grows (or shrinks) along its
// own direction by its text's natural advance, which no zoom changes: a line
// of the page in proportion to what it held, a line the user added to its
// text's width, never narrower than the box it was given.
static double grownLineWidth(const TextBlock::Line& line, const TextBlock& block, const QString& before)
{
    const QString now = line.text.trimmed();
    if (now.isEmpty() || now == before.trimmed())
        return line.rect.width();
    constexpr int kMeasurePx = 100;
    QFont font = lineRenderFont(line, block, 1.0, now, false, 1.0);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    font.setWordSpacing(0);
    font.setPixelSize(kMeasurePx);
    const QFontMetricsF metrics(font);
    const double advance = metrics.horizontalAdvance(now);
    const double old = metrics.horizontalAdvance(before.trimmed());
    if (hasArea(block.originalRect) && old > 1 && line.rect.width() > 0)
        return line.rect.width() * advance / old;
    return std::max(line.rect.width(), advance * std::max(double(line.fontSize), 1.0) / kMeasurePx);
}

// The lines' texts stand as they were: a weight or slant the user gave a
// line (the B and I buttons over it) is still written, the line drawn again.
static bool restyleLinesFromEditor(TextBlock& block, QTextDocument* document, const QStringList& visual)
{
    if (!document->isModified())
        return false;
    const QString raw = document->toRawText();
    bool changed = false;
    int position = 0;
    for (int k = 0; k < int(visual.size()) && k < int(block.lines.size()); ++k) {
        if (visual[k].isEmpty())
            continue;
        const int found = int(raw.indexOf(visual[k], position));
        if (found < 0)
            continue;
        position = found + int(visual[k].size());
        TextBlock::Line& line = block.lines[size_t(k)];
        TextBlock::Line styled = line;
        takeStyleOf(styled, document, found, int(visual[k].size()));
        if (styled.bold == line.bold && styled.italic == line.italic)
            continue;
        line.bold = styled.bold;
        line.italic = styled.italic;
        line.spans.clear();
        line.restyled = true;
        changed = true;
    }
    if (changed)
        block.textEdited = true;
    return changed;
}

bool syncBlockLinesWithEditor(TextBlock& block, QTextEdit* editor, double zoom)
{
    Q_UNUSED(zoom)
    if (!editor || block.isImage)
        return false;
    QStringList visual = editorVisualLines(editor);
    for (QString& text : visual)
        text = text.trimmed();
    const int count = std::max(int(visual.size()), int(block.lines.size()));
    bool consistent = true;
    for (int k = 0; k < count && consistent; ++k) {
        const QString have = k < int(block.lines.size()) ? block.lines[size_t(k)].text.trimmed() : QString();
        consistent = have == (k < visual.size() ? visual[k] : QString());
    }
    if (consistent)
        return restyleLinesFromEditor(block, editor->document(), visual);
    // Each visual line keeps the place of the block line it shows; lines
    // beyond the model continue downward, and spare lines stay as empty slots.
    const TextBlock shape = block;
    std::vector<TextBlock::Line> lines;
    QTextDocument* document = editor->document();
    int position = 0;
    for (int k = 0; k < count; ++k) {
        TextBlock::Line line = visualLineForIndex(shape, k);
        line.text = k < visual.size() ? visual[k] : QString();
        // A line left as it was keeps its words, which place its searchable copy.
        if (k >= int(shape.lines.size()) || line.text != shape.lines[size_t(k)].text.trimmed())
            line.words.clear();
        line.spans.clear();
        if (k < visual.size()) {
            const int found = int(document->toRawText().indexOf(visual[k], position));
            if (found >= 0) {
                takeStyleOf(line, document, found, int(visual[k].size()));
                position = found + int(visual[k].size());
            }
        }
        const QString before = k < int(shape.lines.size()) ? shape.lines[size_t(k)].text : QString();
        line.rect.setWidth(grownLineWidth(line, shape, before));
        lines.push_back(line);
    }
    block.lines = std::move(lines);
    block.textEdited = true;
    return true;
}
