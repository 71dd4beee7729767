// The scan side of a block write: where a corrected scan line's kept words
// take their pixels from, and which of the picture's pixels the write takes
// out of the page for good.
#include "PageBlockWrite.h"

#include "OldLine.h"
#include "ScanLineWords.h"

#include <QPainter>

#include <algorithm>
#include <map>

namespace pdfengine {

// The page's own glyphs there, if any, are pictures of letters: faces of
// drawn glyphs (Type 3, as TeX's 8-bit bitmap faces), which carry no font
// program to set other text in and often no reading of their codes. A line
// over them is redrawn as a scan's is: its untouched words keep the page's
// own pixels rather than the recogniser's reading in another face.
bool PageBlockWrite::onlyPictureGlyphs(const std::vector<PageGlyph>& glyphs)
{
    std::map<FPDF_FONT, bool> drawnFaces;
    for (const PageGlyph& glyph : glyphs) {
        if (!glyph.visible || glyph.own)
            continue;
        auto known = drawnFaces.find(glyph.font);
        if (known == drawnFaces.end()) {
            size_t length = 0;
            const bool program = glyph.font && pdfApi().FPDFFont_GetFontData(glyph.font, nullptr, 0, &length) && length > 0;
            known = drawnFaces.emplace(glyph.font, glyph.font && !program).first;
        }
        if (!known->second)
            return false;
    }
    return true;
}

// Across a scan line (in the frame it is written in) its kept words' pixels
// run as far as its white-out, but never into another line's old place.
QRectF PageBlockWrite::keptBand(size_t index, size_t k, const TurnedBox& painted) const
{
    const LinePlan& linePlan = m_plans[index].linePlans[k];
    const QTransform toFrame = linePlan.frame.toFrame();
    TurnedBox band = linePlan.frame;
    band.rect = toFrame.map(painted.polygon()).boundingRect();
    return clearOfOtherLines(band,
                             linePlan.oldPlace.isNull() ? band.rect
                                                        : toFrame.map(linePlan.oldPlace.polygon()).boundingRect(),
                             pageLinePlaces(m_blocks));
}

// The style a corrected scan line is written in: over a searchable layer
// at a size readers take for the one the layer's words are set at (this
// program's layer sets them at the recognised size).
TextStyle PageBlockWrite::scanStyle(size_t index, size_t k) const
{
    const TextBlock::Line& line = m_plans[index].lines[k];
    TextStyle style{line.fontFamily, line.fontSize, line.color, line.bold, line.italic};
    if (m_plans[index].linewise)
        return style;
    const OldLinePlace old = oldPlaceFor(m_blocks[index], index, k);
    std::vector<double> sizes;
    for (const PageGlyph& glyph : m_glyphs.inside(old.rect, old.toFrame))
        if (!glyph.visible && !glyph.text.trimmed().isEmpty() && glyph.setSize > 0)
            sizes.push_back(glyph.setSize);
    style.fontSize = float(layerLineSize(line.fontSize, medianOf(sizes, 0)));
    return style;
}

// The page's points onto the pixels of the scan's render.
QTransform PageBlockWrite::pageToScanPixels() const
{
    return QTransform(m_scan.scaleX, 0, 0, -m_scan.scaleY, -m_scan.origin.x(),
                      m_scan.pageHeight * m_scan.scaleY - m_scan.origin.y());
}

// A scan line's words as read, their ends on the ink the page showed there.
std::vector<std::pair<QString, QRectF>> PageBlockWrite::scanWordsOnInk(size_t index, size_t k) const
{
    const TurnedBox& frame = m_plans[index].linePlans[k].frame;
    const double size = std::max(double(scanStyle(index, k).fontSize), 1.0);
    return wordsOnLineInk(scanWordsOf(index, k), m_scan.shown, frame.toPage() * pageToScanPixels(), frame.rect, size);
}

// How a corrected scan line is laid: its kept words on their old pixels,
// its changed words as text; none when it keeps no word of the scan.
std::vector<ScanLineWord> PageBlockWrite::scanLayout(size_t index, size_t k) const
{
    return scanLayout(index, k, scanWordsOnInk(index, k));
}

std::vector<ScanLineWord> PageBlockWrite::scanLayout(size_t index, size_t k,
                                                     const std::vector<std::pair<QString, QRectF>>& oldWords) const
{
    if (oldWords.empty())
        return {};
    const TextStyle style = scanStyle(index, k);
    const double size = std::max(double(style.fontSize), 1.0);
    const auto advance = [&](const QString& text) { return m_writer.visibleAdvance(text, style); };
    return scanLineWords(oldWords, m_plans[index].lines[k].text, size, std::max(advance(QStringLiteral(" ")), 0.0), advance);
}

// Where the write takes the scan's own pixels away for good: every white-out
// over a scan's ink (no glyph of the page's own draws there) as far as it
// reaches no other line; on a line that keeps some of its words, only the
// words it no longer keeps, short of the kept words' pixels. Displayed-page
// points.
std::vector<QPolygonF> PageBlockWrite::pictureRemovals() const
{
    std::vector<QPolygonF> removals;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        if (m_blocks[i].isImage || !hasArea(m_blocks[i].originalRect))
            continue;
        for (size_t j = 0; j < m_painted[i].size(); ++j) {
            const TurnedBox& painted = m_painted[i][j];
            const std::vector<PageGlyph> inside = m_glyphs.inside(painted.rect, painted.toFrame());
            if (std::any_of(inside.begin(), inside.end(), [](const PageGlyph& g) { return g.visible && !g.own; }))
                continue;  // glyphs draw it: they go from the content
            size_t k = 0;
            while (k < m_plans[i].lines.size() && paintedOver(i, k) != &painted)
                ++k;
            const std::vector<std::pair<QString, QRectF>> oldWords =
                k < m_plans[i].lines.size() ? scanWordsOnInk(i, k) : std::vector<std::pair<QString, QRectF>>();
            const std::vector<ScanLineWord> words = oldWords.empty() ? std::vector<ScanLineWord>() : scanLayout(i, k, oldWords);
            if (words.empty()) {
                const TurnedBox& place = m_plans[i].whiteOuts[j];
                TurnedBox clear = painted;
                clear.rect = clearOfOtherLines(painted, painted.toFrame().map(place.polygon()).boundingRect(),
                                               pageLinePlaces(m_blocks));
                removals.push_back(clear.polygon());
                continue;
            }
            // Each old word the line no longer keeps, with the blanks beside
            // it, up to the kept words' sources; the first and the last reach
            // the ends of the band.
            const QRectF band = keptBand(i, k, painted);
            const QTransform toPage = m_plans[i].linePlans[k].frame.toPage();
            const auto keptAt = [&](size_t o) {
                return std::find_if(words.begin(), words.end(), [&](const ScanLineWord& word) {
                    return word.kept && word.oldBox == oldWords[o].second;
                });
            };
            for (size_t o = 0; o < oldWords.size(); ++o) {
                if (keptAt(o) != words.end())
                    continue;
                double from = o > 0 ? oldWords[o - 1].second.right() : band.left();
                double to = o + 1 < oldWords.size() ? oldWords[o + 1].second.left() : band.right();
                if (o > 0 && keptAt(o - 1) != words.end())
                    from = std::max(from, oldWords[o - 1].second.right() + keptAt(o - 1)->marginRight);
                if (o + 1 < oldWords.size() && keptAt(o + 1) != words.end())
                    to = std::min(to, oldWords[o + 1].second.left() - keptAt(o + 1)->marginLeft);
                if (to > from)
                    removals.push_back(toPage.map(QPolygonF(QRectF(QPointF(from, band.top()), QPointF(to, band.bottom())))));
            }
        }
    }
    return removals;
}

// A scan line whose kept words keep their pixels is covered as far as their
// ink and the margin their pixels are cut with, short of a line beside it: a
// word moved along the line leaves no copy of an end that ran past its
// recognised box (a full stop).
void PageBlockWrite::coverKeptWordsInk()
{
    constexpr double kCutMargin = 1.5;  // points a kept word's pixels reach past its ink
    constexpr double kClear = 0.5;      // points the cover stays short of a line beside it
    if (m_scan.image.isNull())
        return;
    const std::vector<TurnedBox> places = pageLinePlaces(m_blocks);
    for (size_t i = 0; i < m_blocks.size(); ++i)
        for (size_t k = 0; k < m_plans[i].lines.size(); ++k) {
            const TurnedBox* painted = paintedOver(i, k);
            const TurnedBox& frame = m_plans[i].linePlans[k].frame;
            if (!painted || !(painted->toFrame() == frame.toFrame()))
                continue;
            const std::vector<std::pair<QString, QRectF>> words = scanWordsOnInk(i, k);
            if (words.empty() || scanLayout(i, k, words).empty())
                continue;
            TurnedBox& covered = m_painted[i][size_t(painted - m_painted[i].data())];
            const QRectF own = covered.rect;
            double left = std::min(own.left(), words.front().second.left() - kCutMargin);
            double right = std::max(own.right(), words.back().second.right() + kCutMargin);
            const QTransform toFrame = frame.toFrame();
            for (const TurnedBox& place : places) {
                const QRectF other = toFrame.map(place.polygon()).boundingRect();
                if (other.bottom() <= own.top() || other.top() >= own.bottom() || other.intersects(own))
                    continue;  // above or below, or over this line
                if (other.left() >= own.right())
                    right = std::min(right, std::max(own.right(), other.left() - kClear));
                else if (other.right() <= own.left())
                    left = std::max(left, std::min(own.left(), other.right() + kClear));
            }
            covered.rect.setLeft(left);
            covered.rect.setRight(right);
        }
}

// The kept words' pixels come from the page as it will show once written:
// the ink the write takes away is not carried back by a word beside it.
void PageBlockWrite::hideRemovedScanInk()
{
    const std::vector<QPolygonF> removed = pictureRemovals();
    if (m_scan.image.isNull() || removed.empty())
        return;
    if (m_scan.image.format() != QImage::Format_RGB32 && m_scan.image.format() != QImage::Format_ARGB32 &&
        m_scan.image.format() != QImage::Format_ARGB32_Premultiplied)
        m_scan.image = m_scan.image.convertToFormat(QImage::Format_RGB32);
    const QTransform toPixels = pageToScanPixels();
    QPainter painter(&m_scan.image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (const QPolygonF& area : removed)
        painter.drawPolygon(toPixels.map(area));
}

}  // namespace pdfengine
