// Writing into page content: the text layer and edited blocks, pictures, free
// text and highlights.
#include "PdfDocument.h"

#include "PageTextWriter.h"
#include "PdfEngineInternal.h"
#include "TextBlock.h"

#include <cmath>

using namespace pdfengine;

namespace {

constexpr double kRotationEpsilon = 0.1;
constexpr double kCoincidentOverlap = 0.5;


bool isRotated(const TextBlock& block)
{
    return std::abs(block.rotation) > kRotationEpsilon;
}

bool isEdited(const TextBlock& block)
{
    return block.textEdited || !block.richText.trimmed().isEmpty();
}

// Rectangles equal once rounded the way the page was laid out: x and y to the
// nearest point, width and height with half of the x (or y) rounding added.
bool sameIntegerRect(const QRectF& a, const QRectF& b)
{
    auto rounded = [](const QRectF& r) {
        const double x = std::round(r.x());
        const double y = std::round(r.y());
        return std::array<double, 4>{x, y, std::round(r.width() + (r.x() - x) / 2),
                                     std::round(r.height() + (r.y() - y) / 2)};
    };
    return rounded(a) == rounded(b);
}

TextStyle styleOf(const TextBlock::Line& line)
{
    return TextStyle{line.fontFamily, line.fontSize, line.color, line.bold, line.italic};
}

bool hasWritableText(const TextBlock& block)
{
    return !block.isImage && !block.text.trimmed().isEmpty();
}

double overlapShare(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.normalized().intersected(b.normalized());
    const double smaller = std::min(a.width() * a.height(), b.width() * b.height());
    return common.isEmpty() || smaller <= 0 ? 0.0 : common.width() * common.height() / smaller;
}

// An invisible block that only repeats a visible one adds a second copy of
// the same words to the text layer.
bool duplicatesVisibleBlock(const TextBlock& block, const std::vector<TextBlock>& blocks)
{
    if (!block.invisibleText)
        return false;
    const QString text = block.text.simplified();
    return std::any_of(blocks.begin(), blocks.end(), [&](const TextBlock& other) {
        return &other != &block && !other.isImage && !other.invisibleText && other.text.simplified() == text &&
               overlapShare(other.rect, block.rect) > kCoincidentOverlap;
    });
}

// A line whose visible text is already on the page needs no searchable copy.
bool showsOwnText(const TextBlock& block, const TextBlock::Line& line)
{
    return isNativeLine(line) && !line.invisibleText && !block.invisibleText;
}

// Covers only the ink of the old picture, grown by one pixel.
QImage inkMask(const QImage& source)
{
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    QImage mask(argb.size(), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) <= 8)
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (mask.rect().contains(x + dx, y + dy))
                        mask.setPixel(x + dx, y + dy, 0xFFFFFFFF);
        }
    }
    return mask;
}

// Where a text block's old place must be whited out: an empty rectangle when
// the block is written as it stands.
QRectF whiteOutRect(const TextBlock& block, bool forceWhiteout)
{
    const bool rewritten = isEdited(block) || forceWhiteout;
    // Text the user added has no old place: the page under it stays.
    if (!hasArea(block.originalRect))
        return forceWhiteout ? block.rect : QRectF();
    if (sameIntegerRect(block.rect, block.originalRect) && !isRotated(block))
        return rewritten ? block.originalRect : QRectF();
    return block.originalRect;  // moved, resized or turned
}

// Returns whether anything was written. Edited text is written visibly, with
// or without a white-out of an old place.
bool writeTextBlock(PageTextWriter& writer, const TextBlock& block, const QRectF& whiteOut, bool skipInvisibleCopy)
{
    if (!whiteOut.isNull())
        writer.addWhiteRect(whiteOut);
    const bool visible = !whiteOut.isNull() || isEdited(block);
    bool changed = false;
    for (const TextBlock::Line& line : linesForWriting(block)) {
        if (line.text.trimmed().isEmpty())
            continue;
        if (visible) {
            writer.addVisibleText(line.text, line.rect, styleOf(line), block.rotation, block.rect.center());
            changed = true;
        } else if (!skipInvisibleCopy && !showsOwnText(block, line)) {
            writer.addInvisibleText(line.text, line.rect, styleOf(line));
            changed = true;
        }
    }
    return changed;
}

bool writeImageBlock(PageTextWriter& writer, const TextBlock& block)
{
    if (block.image.isNull())
        return false;
    if (!hasArea(block.originalRect))
        return writer.addImage(block.rect, block.image, block.rotation);
    if (sameIntegerRect(block.rect, block.originalRect) && !isRotated(block))
        return false;  // already on the page
    if (block.inkRegion)
        writer.addImage(block.originalRect, inkMask(block.image));
    else
        writer.addWhiteRect(block.originalRect);
    return writer.addImage(block.rect, block.image, block.rotation);
}

// The page to write into, or null with the reason in error.
PagePtr pageForWriting(FPDF_DOCUMENT doc, int pageIndex, QString& error)
{
    if (!doc) {
        error = QStringLiteral("Документ не открыт.");
        return PagePtr();
    }
    PagePtr page(pageIndex >= 0 ? pdfApi().FPDF_LoadPage(doc, pageIndex) : nullptr);
    if (!page)
        error = QStringLiteral("Не удалось открыть страницу %1.").arg(pageIndex + 1);
    return page;
}

} // namespace

bool PdfDocument::overlayOcrText(int pageIndex, const std::vector<TextBlock>& blocks, bool forceWhiteout)
{
    QMutexLocker lock(&m_mutex);
    if (blocks.empty()) {
        setLastError(QStringLiteral("Нет блоков для записи на страницу."));
        return false;
    }
    QString error;
    PagePtr page = pageForWriting(m_doc, pageIndex, error);
    if (!page) {
        setLastError(error);
        return false;
    }
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    bool changed = false;
    if (std::any_of(blocks.begin(), blocks.end(), hasWritableText))
        changed = writer.removeInvisibleText();
    // Old text of redrawn blocks goes before anything new is added, so it
    // neither stays searchable under its white-out nor mixes with the new words.
    std::vector<QRectF> whiteOuts;
    for (const TextBlock& block : blocks) {
        whiteOuts.push_back(block.isImage ? QRectF() : whiteOutRect(block, forceWhiteout));
        if (!whiteOuts.back().isNull() && hasArea(block.originalRect))
            changed |= writer.removeTextInside(whiteOuts.back());
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        const TextBlock& block = blocks[i];
        if (block.isImage)
            changed |= writeImageBlock(writer, block);
        else
            changed |= writeTextBlock(writer, block, whiteOuts[i], duplicatesVisibleBlock(block, blocks));
    }
    if (changed) {
        pdfApi().FPDFPage_GenerateContent(page.get());
        markChangedUnlocked();
    }
    return true;
}

bool PdfDocument::removeInvisibleTextLayer(int pageIndex)
{
    QMutexLocker lock(&m_mutex);
    QString error;
    PagePtr page = pageForWriting(m_doc, pageIndex, error);
    if (!page) {
        setLastError(error);
        return false;
    }
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    if (writer.removeInvisibleText()) {
        pdfApi().FPDFPage_GenerateContent(page.get());
        markChangedUnlocked();
    }
    return true;
}

bool PdfDocument::addFreeText(int pageIndex, const QRectF& rect, const QString& text, const QString& fontFamily,
                              float fontSize, const QColor& color)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || text.isEmpty() || pageIndex < 0)
        return false;
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page)
        return false;
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    if (!writer.addVisibleText(text, rect.normalized(), TextStyle{fontFamily, fontSize, color, false, false}))
        return false;
    pdfApi().FPDFPage_GenerateContent(page.get());
    markChangedUnlocked();
    return true;
}

bool PdfDocument::addImageToPage(int pageIndex, const QPointF& position, const QSizeF& size, const QImage& image)
{
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0 || image.isNull() || size.width() <= 0 || size.height() <= 0)
        return false;
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page)
        return false;
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    if (!writer.addImage(QRectF(position, size), image))
        return false;
    pdfApi().FPDFPage_GenerateContent(page.get());
    markChangedUnlocked();
    return true;
}

// Drawn over the content with Multiply rather than under it, so the mark also
// shows on pages that are one full-page picture.
bool PdfDocument::addMarkupAnnot(int pageIndex, const QRectF& rect, const QColor& color, int)
{
    constexpr int kMinAlpha = 20;
    constexpr int kMaxAlpha = 120;
    QMutexLocker lock(&m_mutex);
    if (!m_doc || pageIndex < 0)
        return false;
    PagePtr page(pdfApi().FPDF_LoadPage(m_doc, pageIndex));
    if (!page)
        return false;
    QColor fill = color.isValid() ? color : QColor(255, 230, 0, 90);
    fill.setAlpha(std::clamp(fill.alpha(), kMinAlpha, kMaxAlpha));
    PageTextWriter writer(m_doc, page.get(), writerFontsUnlocked());
    if (!writer.addMarkupRect(rect, fill))
        return false;
    pdfApi().FPDFPage_GenerateContent(page.get());
    markChangedUnlocked();
    return true;
}

bool PdfDocument::addHighlightAnnot(int pageIndex, const QRectF& rect, const QColor& color)
{
    return addMarkupAnnot(pageIndex, rect, color, 0);
}

bool PdfDocument::addStickyNote(int, const QPointF&, const QString&, const QString&)
{
    setLastError(QStringLiteral("Sticky notes are not implemented in the PDFium backend yet."));
    return false;
}
