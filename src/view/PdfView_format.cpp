// Formatting of the active editor for the Home tab's controls, text
// insertion, and the inline editor of the insert-text tool.
#include "BlockEditorFrame.h"
#include "BlockPainting.h"
#include "BlockTextDocument.h"
#include "LineFonts.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextEdit>
#include <QTextList>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double kMinZoomDivisor = 0.001;
constexpr int kMaxReportedSize = 300;
constexpr int kMaxPixelSize = 1000;
constexpr int kDefaultReportedSize = 12;
constexpr int kBoldWeight = 700;
constexpr int kInlineMinWidth = 220;
constexpr int kInlineMinHeight = 70;
constexpr int kInlineButtonsHeight = 28;
constexpr int kInlineEdge = 2;
constexpr int kInlineBottomRoom = 30;
// New text starts in this face and size, as the window's controls do.
constexpr const char* kInsertedTextFamily = "Times New Roman";
constexpr double kInsertedTextSize = 12;

int roundedHalfAway(double value)
{
    return int(std::lround(value));
}

void setBlockParagraphsProportional(QTextCursor& cursor)
{
    QTextBlockFormat paragraph;
    paragraph.setTopMargin(0);
    paragraph.setBottomMargin(0);
    paragraph.setLineHeight(100, QTextBlockFormat::ProportionalHeight);
    cursor.mergeBlockFormat(paragraph);
}

} // namespace

void PdfView::emitActiveTextFormat()
{
    QTextEdit* editor = activeTextEditor();
    if (!editor) {
        emit activeTextEditorAvailable(false);
        return;
    }
    const QTextCharFormat format = editor->textCursor().charFormat();
    QFont font = format.font();
    if (font.family().trimmed().isEmpty())
        font = editor->currentFont();
    QString family = font.family().trimmed();
    if (family.isEmpty())
        family = QStringLiteral("Times New Roman");
    double size = font.pixelSize();
    if (size < 1) {
        if (format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0)
            size = roundedHalfAway(format.fontPointSize());
        else if (font.pointSizeF() > 0)
            size = font.pointSizeF();
        else
            size = kDefaultReportedSize;
    }
    const bool blockEditor = blockEditorActive();
    if (blockEditor)
        size = std::max(1, roundedHalfAway(lineSizeAtCursor(format, size / std::max(m_zoom, kMinZoomDivisor))));
    else if (editor == m_inlineEditor && font.pixelSize() > 0)
        size = std::max(1, roundedHalfAway(size / std::max(m_zoom, kMinZoomDivisor)));
    const bool bold = (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= kBoldWeight)
                      || font.weight() >= kBoldWeight;
    bool italic = format.fontItalic() || font.style() != QFont::StyleNormal;
    if (blockEditor) {
        const TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
        if (!block.lines.empty() && !block.lines.front().invisibleText && isNativePdfLine(block.lines.front()))
            italic = effectiveLineItalic(block.lines.front(), block);
    }
    const bool underline = format.fontUnderline() || font.underline();
    const bool strikeOut = format.fontStrikeOut() || font.strikeOut();
    const int vertical = format.intProperty(QTextFormat::TextVerticalAlignment);
    Qt::Alignment alignment = editor->textCursor().blockFormat().alignment();
    if (alignment == 0)
        alignment = Qt::AlignLeft;
    emit activeTextEditorAvailable(true);
    emit activeTextFormatChanged(family, std::min(int(size), kMaxReportedSize), bold, italic, underline, strikeOut,
                                 vertical == QTextCharFormat::AlignSuperScript,
                                 vertical == QTextCharFormat::AlignSubScript, alignment);
}

// The size the line at the cursor is written with: the one the user chose, or
// the line's own (the editor shows it fitted to the line's box on screen).
double PdfView::lineSizeAtCursor(const QTextCharFormat& format, double shown) const
{
    if (format.hasProperty(kChosenPointSizeProperty))
        return format.doubleProperty(kChosenPointSizeProperty);
    const TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    const int line = m_blockFrame->editor()->textCursor().blockNumber();
    if (line < int(block.lines.size()) && block.lines[size_t(line)].fontSize > 1.0f)
        return block.lines[size_t(line)].fontSize;
    return shown;
}

// After a format change of the block editor: the block takes the document
// (as rich text) at once and the model turns dirty.
void PdfView::writeBackAfterFormat(bool queueFit)
{
    if (blockEditorActive()) {
        applyEditorToBlock(m_edits->blocks()[size_t(m_activeBlock)], true);
        markOcrBlocksDirty();
    }
    emitActiveTextFormat();
    if (queueFit)
        queueFitActiveBlock();
    viewport()->update();
}

void PdfView::mergeActiveTextFormat(const QTextCharFormat& format)
{
    QTextEdit* editor = activeTextEditor();
    if (!editor)
        return;
    captureActiveEditorUndoIfNeeded(QStringLiteral("Форматирование текста"), true);
    const bool fixed = editor != m_inlineEditor && activeBlockKeepsItsLines();
    {
        m_applyingEditorChange = true;
        const QSignalBlocker blocker(editor);
        QTextCursor cursor = editor->textCursor();
        if (!fixed) {
            normalizeEditorTextLayout(editor);
            setBlockParagraphsProportional(cursor);
        }
        cursor.mergeCharFormat(format);
        editor->setTextCursor(cursor);
        editor->mergeCurrentCharFormat(format);
        editor->verticalScrollBar()->setValue(0);
        m_applyingEditorChange = false;
    }
    writeBackAfterFormat(!fixed);
}

void PdfView::mergeActiveBlockFormat(const QTextBlockFormat& format)
{
    QTextEdit* editor = activeTextEditor();
    if (!editor)
        return;
    captureActiveEditorUndoIfNeeded(QStringLiteral("Форматирование абзаца"), true);
    {
        m_applyingEditorChange = true;
        const QSignalBlocker blocker(editor);
        QTextCursor cursor = editor->textCursor();
        cursor.mergeBlockFormat(format);
        editor->setTextCursor(cursor);
        editor->verticalScrollBar()->setValue(0);
        m_applyingEditorChange = false;
    }
    writeBackAfterFormat(true);
}

void PdfView::setActiveTextFontFamily(const QString& family)
{
    if (family.trimmed().isEmpty())
        return;
    QTextCharFormat format;
    format.setFontFamilies({family.trimmed()});
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextFontSize(int size)
{
    QTextEdit* editor = activeTextEditor();
    if (!editor)
        return;
    QFont font = editor->textCursor().charFormat().font();
    if (font.family().trimmed().isEmpty())
        font = editor->currentFont();
    const int points = std::clamp(size, 1, kMaxReportedSize);
    // Both editors show their text at the zoom: a point is zoom pixels.
    font.setPixelSize(std::clamp(roundedHalfAway(points * std::max(m_zoom, kMinZoomDivisor)), 1, kMaxPixelSize));
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    format.setProperty(kChosenPointSizeProperty, double(points));
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextBold(bool on)
{
    QTextCharFormat format;
    format.setFontWeight(on ? QFont::Bold : QFont::Normal);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextItalic(bool on)
{
    QTextCharFormat format;
    format.setFontItalic(on);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextUnderline(bool on)
{
    QTextCharFormat format;
    format.setUnderlineStyle(on ? QTextCharFormat::SingleUnderline : QTextCharFormat::NoUnderline);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextStrikeOut(bool on)
{
    QTextCharFormat format;
    format.setFontStrikeOut(on);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextSuperscript(bool on)
{
    QTextCharFormat format;
    format.setVerticalAlignment(on ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignNormal);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextSubscript(bool on)
{
    QTextCharFormat format;
    format.setVerticalAlignment(on ? QTextCharFormat::AlignSubScript : QTextCharFormat::AlignNormal);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextColor(const QColor& color)
{
    if (!color.isValid())
        return;
    QTextCharFormat format;
    format.setForeground(QBrush(color));
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextBackgroundColor(const QColor& color)
{
    if (!color.isValid())
        return;
    QTextCharFormat format;
    format.setBackground(QBrush(color));
    mergeActiveTextFormat(format);
}

void PdfView::clearActiveTextFormatting()
{
    QTextCharFormat format;
    format.setFontWeight(QFont::Normal);
    format.setFontItalic(false);
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    format.setFontStrikeOut(false);
    format.setVerticalAlignment(QTextCharFormat::AlignNormal);
    format.setForeground(QBrush(Qt::black));
    format.setBackground(Qt::NoBrush);
    mergeActiveTextFormat(format);
}

void PdfView::setActiveTextAlignment(Qt::Alignment alignment)
{
    QTextBlockFormat format;
    format.setAlignment(alignment);
    mergeActiveBlockFormat(format);
}

void PdfView::adjustActiveTextIndent(int delta)
{
    QTextEdit* editor = activeTextEditor();
    if (!editor)
        return;
    QTextBlockFormat format;
    format.setLeftMargin(std::max(0.0, editor->textCursor().blockFormat().leftMargin() + delta));
    mergeActiveBlockFormat(format);
}

void PdfView::makeActiveTextList(const QString& label, int style)
{
    QTextEdit* editor = activeTextEditor();
    if (!editor)
        return;
    captureActiveEditorUndoIfNeeded(label, true);
    QTextListFormat list;
    list.setStyle(QTextListFormat::Style(style));
    list.setIndent(1);
    {
        m_applyingEditorChange = true;
        const QSignalBlocker blocker(editor);
        editor->textCursor().createList(list);
        m_applyingEditorChange = false;
    }
    writeBackAfterFormat(false);
}

void PdfView::setActiveTextBulletedList()
{
    makeActiveTextList(QStringLiteral("Маркированный список"), QTextListFormat::ListDisc);
}

void PdfView::setActiveTextNumberedList()
{
    makeActiveTextList(QStringLiteral("Нумерованный список"), QTextListFormat::ListDecimal);
}

bool PdfView::insertTextIntoActiveEditor(const QString& text)
{
    QTextEdit* editor = activeTextEditor();
    if (text.isEmpty() || !editor)
        return false;
    captureActiveEditorUndoIfNeeded(QStringLiteral("Вставка текста"), true);
    editor->setFocus();
    QTextCursor cursor = editor->textCursor();
    cursor.insertText(text);
    editor->setTextCursor(cursor);
    emitActiveTextFormat();
    viewport()->update();
    return true;
}

void PdfView::updateActiveBlockText(const QString& text)
{
    if (!validBlock(m_activeBlock) || !m_blockFrame)
        return;
    captureActiveEditorUndoIfNeeded(QStringLiteral("OCR блока"), true);
    TextBlock& block = m_edits->blocks()[size_t(m_activeBlock)];
    block.text = text;
    block.textEdited = false;
    block.richText.clear();
    m_blockFrame->setPlaceholderText(QString());
    RotatedTextEdit* editor = m_blockFrame->editor();
    disconnectActiveTextEditor();
    {
        const QSignalBlocker blocker(editor);
        m_applyingEditorChange = true;
        editor->setPlainText(text);
        normalizeEditorTextLayout(editor);
        setEditorRotatedPresentation(editor);
        m_applyingEditorChange = false;
    }
    // The new text replaces the lines too, so the page writer writes it.
    if (syncBlockLinesWithEditor(block, editor, m_zoom))
        applyEditedTextDocument(block, editor, true, m_zoom);
    connectActiveTextEditorSignals(editor);
    emitActiveTextFormat();
    markOcrBlocksDirty();
    viewport()->update();
}

// --- inline insertion editor -----------------------------------------------------------

void PdfView::showInlineEditor(int page, const QRectF& rect)
{
    hideInlineEditor();
    m_inlinePage = page;
    m_inlineRect = rect;
    m_inlineFrame = new QFrame(viewport());
    m_inlineFrame->setObjectName(QStringLiteral("InlineEditorFrame"));
    repositionInlineEditor();
    auto* column = new QVBoxLayout(m_inlineFrame);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    auto* confirm = new QPushButton(QStringLiteral("Вставить"), m_inlineFrame);
    confirm->setObjectName(QStringLiteral("InlineEditorConfirm"));
    // The interface translates it as inserting text, not as pasting.
    confirm->setProperty("_vorn_i18n_context", QStringLiteral("insert"));
    auto* cancel = new QPushButton(QStringLiteral("✕"), m_inlineFrame);
    cancel->setObjectName(QStringLiteral("InlineEditorCancel"));
    cancel->setFixedWidth(26);
    buttons->addWidget(confirm, 1);
    buttons->addWidget(cancel);
    m_inlineEditor = new QTextEdit(m_inlineFrame);
    m_inlineEditor->setObjectName(QStringLiteral("InlineTextEditor"));
    m_inlineEditor->setPlaceholderText(QStringLiteral("Введите текст…"));
    m_inlineEditor->installEventFilter(this);
    // The text first, at the rectangle's corner, where it will be written.
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_inlineEditor, 1);
    column->addLayout(buttons);
    styleInlineEditorText();
    connect(confirm, &QPushButton::clicked, this, &PdfView::commitInlineEditor);
    connect(cancel, &QPushButton::clicked, this, &PdfView::hideInlineEditor);
    m_inlineFrame->show();
    m_inlineFrame->raise();
    m_inlineEditor->setFocus();
    connectActiveTextEditorSignals(m_inlineEditor);
    emitActiveTextFormat();
}

// Typed text shows in the face and at the size it is written in, each line
// on the baseline the page writer gives it: the first one the size less its
// lift below the top, the next ones a line pitch apart.
void PdfView::styleInlineEditorText()
{
    const double pixels = kInsertedTextSize * std::max(m_zoom, kMinZoomDivisor);
    QFont font(displayFamilyForPdfFont(QString::fromLatin1(kInsertedTextFamily)));
    font.setPixelSize(std::max(1, roundedHalfAway(pixels)));
    QTextDocument* document = m_inlineEditor->document();
    m_inlineEditor->setFrameShape(QFrame::NoFrame);
    document->setDocumentMargin(0);
    QTextFrameFormat root = document->rootFrame()->frameFormat();
    root.setTopMargin(std::max(0.0, (kAddedLinePitchOfSize - kBaselineLiftOfSize) * pixels
                                        - QFontMetricsF(font).ascent()));
    document->rootFrame()->setFrameFormat(root);
    QTextCursor cursor(document);
    QTextBlockFormat paragraph;
    paragraph.setLineHeight(kAddedLinePitchOfSize * pixels, QTextBlockFormat::FixedHeight);
    cursor.setBlockFormat(paragraph);
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    m_inlineEditor->setCurrentCharFormat(format);
}

// The inline editor at another zoom: its text and lines scaled alike.
void PdfView::rescaleInlineEditor(double factor)
{
    if (!m_inlineEditor || factor <= 0)
        return;
    QTextDocument* document = m_inlineEditor->document();
    QTextCharFormat current = m_inlineEditor->currentCharFormat();
    scaleDocumentFontPixels(document, factor);
    QTextFrameFormat root = document->rootFrame()->frameFormat();
    root.setTopMargin(root.topMargin() * factor);
    document->rootFrame()->setFrameFormat(root);
    if (current.font().pixelSize() > 0) {
        QFont font = current.font();
        font.setPixelSize(std::clamp(roundedHalfAway(font.pixelSize() * factor), 1, kMaxPixelSize));
        current.setFont(font, QTextCharFormat::FontPropertiesAll);
        m_inlineEditor->setCurrentCharFormat(current);
    }
}

// Over its page rectangle as the page is shown now (scrolled, zoomed,
// turned), kept inside the viewport.
void PdfView::repositionInlineEditor()
{
    if (!m_inlineFrame || m_inlinePage < 0 || !hasPages() || !m_layout.hasPage(m_inlinePage))
        return;
    const QRectF shown = pageTopToViewport(m_inlinePage).mapRect(m_inlineRect);
    const int w = std::max(int(shown.width()), kInlineMinWidth);
    const int h = std::max(int(shown.height()), kInlineMinHeight);
    const int maxX = viewport()->width() - w - kInlineEdge;
    const int maxY = viewport()->height() - h - kInlineBottomRoom;
    const int x = maxX > kInlineEdge ? std::clamp(int(shown.x()), kInlineEdge, maxX) : kInlineEdge;
    const int y = maxY > kInlineEdge ? std::clamp(int(shown.y()), kInlineEdge, maxY) : kInlineEdge;
    m_inlineFrame->setGeometry(x, y, w, h + kInlineButtonsHeight);
    m_inlineFrame->raise();
}

void PdfView::commitInlineEditor()
{
    if (!m_inlineEditor || m_inlinePage < 0)
        return;
    const QString text = m_inlineEditor->toPlainText().trimmed();
    const int page = m_inlinePage;
    const QRectF rect = m_inlineRect;
    hideInlineEditor();
    if (!text.isEmpty())
        emit textInserted(page, rect, text);
}

void PdfView::hideInlineEditor()
{
    const bool existed = m_inlineEditor != nullptr;
    if (m_inlineFrame) {
        const bool hadFocus = m_inlineFrame->isAncestorOf(QApplication::focusWidget());
        m_inlineFrame->hide();
        m_inlineFrame->deleteLater();
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
    }
    m_inlineFrame = nullptr;
    m_inlineEditor = nullptr;
    m_inlinePage = -1;
    m_inlineRect = QRectF();
    if (existed)
        emit activeTextEditorAvailable(hasActiveTextEditor());
}

bool PdfView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_inlineEditor && m_inlineEditor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            hideInlineEditor();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && (key->modifiers() & Qt::ControlModifier)) {
            commitInlineEditor();
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}
