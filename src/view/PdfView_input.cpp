// Mouse, keys, text and region selection, search hits and links of the view.
#include "BlockEditorFrame.h"
#include "LinkOpening.h"
#include "PdfView.h"
#include "RotatedTextEdit.h"
#include "StableSort.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QTextEdit>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QRubberBand>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// Edit mode's clicks and keys and what each chose, for a report of a click
// that went astray: QT_LOGGING_RULES="vorn.view.input.debug=true".
Q_LOGGING_CATEGORY(lcEditInput, "vorn.view.input", QtWarningMsg)

constexpr int kClickTolerance = 2;   // a press and release within this many pixels is a click
constexpr int kPreviewMinExtent = 4; // width + height of a drag before it shows
constexpr int kPageTextCacheSize = 16;

bool isDecorativeChar(QChar c)
{
    return c.isSpace() || c == u'-' || c == u'_' || c == QChar(0x2013) || c == QChar(0x2014);
}


} // namespace

// --- selectable text ----------------------------------------------------------

bool PdfView::isDecorativeSelectionText(const QString& text)
{
    const QString simple = text.simplified();
    return simple.size() > 2 && std::all_of(simple.begin(), simple.end(), isDecorativeChar);
}

QString PdfView::stripSelectionDecorativePadding(const QString& text)
{
    constexpr int kMinPaddingRun = 3;
    if (text.size() < kMinPaddingRun)
        return text.trimmed();
    int begin = 0;
    while (begin < text.size() && isDecorativeChar(text[begin]))
        ++begin;
    if (begin == text.size())
        return QString();
    int end = text.size();
    while (end > begin && isDecorativeChar(text[end - 1]))
        --end;
    if (begin < kMinPaddingRun)
        begin = 0;
    if (text.size() - end < kMinPaddingRun)
        end = text.size();
    return text.mid(begin, end - begin).trimmed();
}

QRectF PdfView::expandedSelectionTextRect(const QRectF& rect, double fontSize)
{
    if (!hasArea(rect))
        return rect;
    constexpr double kLineHeightPerFontSize = 1.18;
    constexpr double kMinHeight = 8.0;
    constexpr double kSideMargin = 0.75;
    const double target = std::max({fontSize * kLineHeightPerFontSize, kMinHeight, rect.height()});
    const double grow = (target - rect.height()) / 2;
    return rect.adjusted(-kSideMargin, -grow, kSideMargin, grow).normalized();
}

QTransform PdfView::lineFrame(double rotation)
{
    QTransform frame;
    frame.rotate(rotation); // y grows upward: this turns clockwise-read text back
    return frame;
}

// A turned block's lines keep their unturned rectangles, and the block is
// turned about its centre: in the block's frame each line lies unturned,
// shifted with the block's centre.
std::vector<PdfView::SelectableLine> PdfView::selectableLinesOfBlocks(const std::vector<TextBlock>& blocks)
{
    std::vector<SelectableLine> lines;
    const auto consider = [&lines](const QString& text, const QRectF& rect, float fontSize, const TextBlock& block) {
        const QString stripped = stripSelectionDecorativePadding(text);
        if (stripped.isEmpty() || isDecorativeSelectionText(stripped) || !hasArea(rect))
            return;
        const double rotation = std::abs(block.rotation) > kBlockRotationEpsilon ? block.rotation : 0.0;
        const QPointF pivot = block.rect.center();
        const QPointF shift = lineFrame(rotation).map(pivot) - pivot;
        lines.push_back({stripped, expandedSelectionTextRect(rect, fontSize).translated(shift), fontSize, rotation});
    };
    for (const TextBlock& block : blocks) {
        if (block.isImage)
            continue;
        if (block.lines.empty())
            consider(block.text, block.rect, block.fontSize, block);
        for (const TextBlock::Line& line : block.lines)
            consider(line.text, line.rect, line.fontSize, block);
    }
    return lines;
}

// The page's lines come from the engine once per page and document revision:
// extraction loads the page and walks its text, far too slow for every move.
std::vector<PdfView::SelectableLine> PdfView::selectableLines(int page, bool wait)
{
    if (m_editMode && page == m_edits->page() && !m_edits->blocks().empty())
        return selectableLinesOfBlocks(m_edits->blocks());
    const quint64 revision = m_document->revision();
    const auto cached = m_pageTexts.constFind(page);
    if (cached != m_pageTexts.constEnd() && cached->revision == revision)
        return cached->lines;
    if (!wait && m_renderWorker) {
        prefetchPageText(page);
        return {};
    }
    onPageTextRead(page, revision, m_document->extractText(page));
    return m_pageTexts.value(page).lines;
}

// Asks the render thread for a page's text unless it is at hand or asked for.
void PdfView::prefetchPageText(int page)
{
    if (!m_renderWorker || !m_layout.hasPage(page))
        return;
    const quint64 revision = m_document->revision();
    const auto cached = m_pageTexts.constFind(page);
    if ((cached != m_pageTexts.constEnd() && cached->revision == revision) || m_textAsked == qMakePair(page, revision))
        return;
    m_textAsked = qMakePair(page, revision);
    m_renderWorker->requestPageText(page, revision);
}

void PdfView::onPageTextRead(int page, quint64 revision, const std::vector<TextBlock>& blocks)
{
    if (m_pageTexts.size() >= kPageTextCacheSize && !m_pageTexts.contains(page))
        m_pageTexts.clear();
    PageText& text = m_pageTexts[page];
    text.revision = revision;
    text.lines = selectableLinesOfBlocks(blocks);
}

bool PdfView::selectableTextAtViewportPoint(const QPoint& viewportPoint)
{
    return selectableTextAt(viewportPoint, true);
}

bool PdfView::selectableTextAt(const QPoint& viewportPoint, bool wait)
{
    const int page = pageAtPoint(viewportPoint);
    if (page < 0 || !m_layout.hasPage(page))
        return false;
    constexpr double kHitMargin = 1.25;
    const QPointF point = selectionPdfPointForViewportPoint(page, viewportPoint);
    const std::vector<SelectableLine> lines = selectableLines(page, wait);
    return std::any_of(lines.begin(), lines.end(), [&](const SelectableLine& line) {
        return line.rect.adjusted(-kHitMargin, -kHitMargin, kHitMargin, kHitMargin)
            .contains(lineFrame(line.rotation).map(point));
    });
}

QList<QRectF> PdfView::collectTextSelectionHighlights(int page, const QPointF& start, const QPointF& end,
                                                      QString* text)
{
    if (text)
        text->clear();
    if (!hasPages() || !m_layout.hasPage(page))
        return {};
    return selectTextBetweenPoints(selectableLines(page), start, end, text);
}

namespace {

double lineCentre(const QRectF& r)
{
    return r.y() + r.height() / 2;
}

// Reading order: upright lines first, then those of each other direction;
// within one direction higher lines first (in its frame), and lines whose
// centres are close share a row.
bool readsBefore(const PdfView::SelectableLine& a, const PdfView::SelectableLine& b)
{
    if (a.rotation != b.rotation) {
        const auto rank = [](double rotation) { return rotation == 0 ? -1000.0 : rotation; };
        return rank(a.rotation) < rank(b.rotation);
    }
    constexpr double kRowShare = 0.65;
    constexpr double kMinRowTolerance = 2.0;
    const double tolerance = std::max(kRowShare * std::max(a.rect.height(), b.rect.height()), kMinRowTolerance);
    const double difference = lineCentre(a.rect) - lineCentre(b.rect);
    if (std::abs(difference) > tolerance)
        return difference > 0;
    return a.rect.x() < b.rect.x();
}

double distanceOutside(double value, double low, double high)
{
    if (value < low)
        return low - value;
    if (value > high)
        return value - high;
    return 0;
}

int nearestLine(const std::vector<PdfView::SelectableLine>& lines, const QPointF& point)
{
    constexpr double kHorizontalWeight = 0.05;
    int best = -1;
    double bestDistance = 0;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QRectF& r = lines[size_t(i)].rect;
        const QPointF p = PdfView::lineFrame(lines[size_t(i)].rotation).map(point);
        const double distance = distanceOutside(p.y(), r.top(), r.bottom())
                                + kHorizontalWeight * distanceOutside(p.x(), r.left(), r.right());
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

QList<QRectF> PdfView::selectTextBetweenPoints(std::vector<SelectableLine> lines, const QPointF& start,
                                               const QPointF& end, QString* text)
{
    if (text)
        text->clear();
    vorn::safeStableSort(lines, readsBefore);
    const int startLine = nearestLine(lines, start);
    const int endLine = nearestLine(lines, end);
    if (startLine < 0 || endLine < 0)
        return {};
    const bool forward = startLine <= endLine;
    const int first = forward ? startLine : endLine;
    const int last = forward ? endLine : startLine;
    // Each end's x along the line it chose, in that line's frame.
    const double firstX = lineFrame(lines[size_t(first)].rotation).map(forward ? start : end).x();
    const double lastX = lineFrame(lines[size_t(last)].rotation).map(forward ? end : start).x();

    QList<QRectF> highlights;
    constexpr double kMinSpan = 0.5;
    constexpr double kOneCharSpan = 1.0;
    for (int i = first; i <= last; ++i) {
        const SelectableLine& line = lines[size_t(i)];
        const QRectF& L = line.rect;
        double left = L.left();
        double right = L.right();
        if (first == last) {
            left = std::min(firstX, lastX);
            right = std::max(firstX, lastX);
        } else if (i == first) {
            left = firstX;
        } else if (i == last) {
            right = lastX;
        }
        const QRectF span = QRectF(QPointF(left, L.top()), QPointF(right, L.bottom())).normalized().intersected(L);
        const int n = int(line.text.size());
        if (n == 0 || L.width() <= kMinSpan || span.width() <= kMinSpan || span.height() <= kMinSpan)
            continue;
        int a = int(std::floor(std::clamp((span.left() - L.x()) / L.width(), 0.0, 1.0) * n));
        int b = int(std::ceil(std::clamp((span.right() - L.x()) / L.width(), 0.0, 1.0) * n));
        a = std::clamp(a, 0, n);
        b = std::clamp(b, 0, n);
        if (a >= b && span.width() > kOneCharSpan)
            b = std::min(a + 1, n);
        while (a < b && line.text[a].isSpace())
            ++a;
        while (b > a && line.text[b - 1].isSpace())
            --b;
        if (a >= b)
            continue;
        const double charWidth = L.width() / n;
        const QRectF piece(L.x() + a * charWidth, L.y(), std::max((b - a) * charWidth, 1.0), L.height());
        highlights.append(line.rotation == 0 ? piece : lineFrame(line.rotation).inverted().mapRect(piece));
        const QString selected = line.text.mid(a, b - a).trimmed();
        if (text && !selected.isEmpty()) {
            if (!text->isEmpty() && !text->endsWith(u'\n') && !text->endsWith(u' '))
                text->append(u'\n');
            text->append(selected);
        }
    }
    return highlights;
}

// --- selection state ------------------------------------------------------------

void PdfView::updateSelectionEndFromViewport(const QPoint& viewportPoint)
{
    m_currentPoint = viewportPoint;
    if (m_selectionPage >= 0)
        m_selectionEnd = viewToPage(m_selectionPage, viewportPoint);
}

QRectF PdfView::currentSelectionPageTopRect() const
{
    if (m_selectionPage < 0)
        return QRectF(0, 0, 0, 0);
    QRectF rect = QRectF(m_selectionStart, m_selectionEnd).normalized();
    if (hasPages() && m_layout.hasPage(m_selectionPage))
        rect = rect.intersected(QRectF(QPointF(0, 0), pagePointSize(m_selectionPage)));
    return rect;
}

QRect PdfView::currentSelectionViewportRect() const
{
    if (m_selectionPage < 0)
        return QRect(m_pressPoint, m_currentPoint).normalized();
    return viewportRectForPageTopRect(m_selectionPage, currentSelectionPageTopRect());
}

bool PdfView::lastSelectionContainsViewportPoint(const QPoint& viewportPoint) const
{
    if (m_lastRegionPage < 0 || m_lastRegionRect.isEmpty())
        return false;
    constexpr int kGrow = 3;
    return viewportRectForPageTopRect(m_lastRegionPage, m_lastRegionRect)
        .adjusted(-kGrow, -kGrow, kGrow, kGrow)
        .contains(viewportPoint);
}

void PdfView::clearLastRegionSelection()
{
    if (!m_regionSelectionShown && m_lastRegionPage < 0 && m_lastRegionRect.isNull())
        return;
    m_regionSelectionShown = false;
    m_lastRegionPage = -1;
    m_lastRegionRect = QRectF();
    viewport()->update();
}

void PdfView::clearSelection()
{
    m_selectedText.clear();
    m_selectionHighlightPage = -1;
    m_selectionHighlights.clear();
    m_lastRegionPage = -1;
    m_regionSelectionShown = false;
    m_lastRegionRect = QRectF();
    m_rubberBand->hide();
    viewport()->update();
}

void PdfView::updateInteractiveSelectionPreview()
{
    if (!m_dragSelecting)
        return;
    const QRect r = currentSelectionViewportRect();
    if (m_selectionMode != TextSelection) {
        m_selectionHighlightPage = -1;
        m_selectionHighlights.clear();
        viewport()->setCursor(Qt::CrossCursor);
        m_rubberBand->setGeometry(r);
        m_rubberBand->setVisible(r.width() + r.height() > kPreviewMinExtent);
        return;
    }
    m_rubberBand->hide();
    viewport()->setCursor(Qt::IBeamCursor);
    if (m_selectionPage >= 0 && r.width() + r.height() > kPreviewMinExtent) {
        const QList<QRectF> highlights =
            collectTextSelectionHighlights(m_selectionPage, pageTopToPdfPoint(m_selectionPage, m_selectionStart),
                                           pageTopToPdfPoint(m_selectionPage, m_selectionEnd));
        m_selectionHighlights = highlights;
        m_selectionHighlightPage = highlights.isEmpty() ? -1 : m_selectionPage;
    }
    viewport()->update();
}

// --- search -------------------------------------------------------------------------

void PdfView::scrollRectIntoView(const QRectF& r, int margin)
{
    QScrollBar* vertical = verticalScrollBar();
    if (r.y() - margin < 0)
        vertical->setValue(vertical->value() + int(std::floor(r.y() - margin)));
    else if (r.y() + r.height() + margin > viewport()->height())
        vertical->setValue(vertical->value() + int(std::ceil(r.y() + r.height() + margin - viewport()->height())));
    QScrollBar* horizontal = horizontalScrollBar();
    if (r.x() - margin < 0)
        horizontal->setValue(horizontal->value() + int(std::floor(r.x() - margin)));
    else if (r.x() + r.width() + margin > viewport()->width())
        horizontal->setValue(horizontal->value() + int(std::ceil(r.x() + r.width() + margin - viewport()->width())));
}

void PdfView::setSearchHighlights(int page, const QList<QRectF>& rects, int current, int currentCount)
{
    m_searchPage = page;
    m_searchHits = rects;
    if (rects.isEmpty()) {
        m_currentSearchHit = -1;
        m_currentSearchHitCount = 1;
    } else {
        m_currentSearchHit = std::clamp(current, 0, int(rects.size()) - 1);
        m_currentSearchHitCount = std::clamp(currentCount, 1, int(rects.size()) - m_currentSearchHit);
        if (hasPages() && m_layout.hasPage(page)) {
            constexpr int kHitMargin = 24;
            QRectF hit;
            for (int i = m_currentSearchHit; i < m_currentSearchHit + m_currentSearchHitCount; ++i)
                hit |= pdfRectToScreenRect(page, rects[i]);
            scrollRectIntoView(hit, kHitMargin);
        }
    }
    viewport()->update();
}

void PdfView::clearSearchHighlights()
{
    m_searchPage = -1;
    m_searchHits.clear();
    m_currentSearchHit = -1;
    m_currentSearchHitCount = 1;
    viewport()->update();
}

// --- links ------------------------------------------------------------------------------

bool PdfView::activateLinkAtViewportPoint(const QPoint& viewportPoint)
{
    if (!hasPages() || m_editMode || m_editTool != Select)
        return false;
    const int page = pageAtPoint(viewportPoint);
    if (page < 0)
        return false;
    return openLinkTarget(m_document->linkAtPoint(page, selectionPdfPointForViewportPoint(page, viewportPoint)));
}

bool PdfView::openLinkTarget(const PdfDocument::LinkTarget& target)
{
    switch (target.kind) {
    case PdfDocument::LinkTarget::Page: {
        if (target.pageIndex < 0 || target.pageIndex >= pageCount())
            return false;
        const PdfDocument::PageSpot spot = m_document->spotOnPage(target.pageIndex, target.spot);
        showPageSpot(target.pageIndex, spot.left, spot.top);
        return true;
    }
    case PdfDocument::LinkTarget::Url:
        return target.url.isValid() && !target.url.isEmpty() && openExternalUrl(target.url);
    case PdfDocument::LinkTarget::File: {
        if (target.path.isEmpty())
            return false;
        const QDir base = QFileInfo(m_document->filePath()).absoluteDir();
        return openExternalUrl(QUrl::fromLocalFile(QDir::cleanPath(base.absoluteFilePath(target.path))));
    }
    default:
        return false;
    }
}

// The PDF is untrusted: the program's one rule for links decides.
bool PdfView::openExternalUrl(const QUrl& url)
{
    openUntrustedLink(this, url);
    return true;
}

// --- context menu ---------------------------------------------------------------------

void PdfView::showDocumentContextMenu(const QPoint& viewportPos, const QPoint& globalPos)
{
    if (!lastSelectionContainsViewportPoint(viewportPos))
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("documentContextMenu"));
    QAction* recognise = menu.addAction(QStringLiteral("Распознать текст"));
    if (menu.exec(globalPos) == recognise && m_lastRegionPage >= 0 && hasArea(m_lastRegionRect))
        emit ocrRegionRequested(m_lastRegionPage, m_lastRegionRect);
}

// --- mouse ---------------------------------------------------------------------------------

void PdfView::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (event->button() == Qt::RightButton) {
        if (m_editMode && !m_edits->blocks().empty())
            showOcrBlockContextMenu(position, event->globalPosition().toPoint());
        else
            showDocumentContextMenu(position, event->globalPosition().toPoint());
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_regionSelectionShown && !lastSelectionContainsViewportPoint(position))
        clearLastRegionSelection();
    if (m_editTool == Hand) {
        m_panning = true;
        m_panPressPoint = position;
        m_panStartH = horizontalScrollBar()->value();
        m_panStartV = verticalScrollBar()->value();
        m_rubberBand->hide();
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (placeImageAt(position)) {
        event->accept();
        return;
    }
    if (m_inlineFrame && m_inlineFrame->isVisible()) {
        m_inlineFrame->raise();
        m_inlineEditor->setFocus();
        return;
    }
    if (m_editMode) {
        if (pressInEditMode(position, event->globalPosition().toPoint()))
            return;
    } else {
        m_hoveredBlock = -1;
        m_selectionMode = RegionSelection;
        if (m_editTool == Select) {
            m_selectionHighlightPage = -1;
            m_selectionHighlights.clear();
            m_selectedText.clear();
            viewport()->update();
            if (selectableTextAtViewportPoint(position)) {
                m_selectionMode = TextSelection;
                m_regionSelectionShown = false;
            }
        }
    }
    startDragSelection(position);
}

// Returns true when the press belongs to the block editor frame.
bool PdfView::pressInEditMode(const QPoint& position, const QPoint& global)
{
    const bool adding = QGuiApplication::keyboardModifiers() & Qt::ControlModifier;
    if (!adding && m_blockFrame && m_blockFrame->isVisible()
        && m_blockFrame->beginExternalInteraction(position, global)) {
        qCDebug(lcEditInput) << "press" << position << "taken by the frame of block" << m_activeBlock;
        m_hoveredBlock = -1;
        m_rubberBand->hide();
        return true;
    }
    m_hoveredBlock = hoveredOcrBlock(position);
    qCDebug(lcEditInput) << "press" << position << "on block" << m_hoveredBlock << "open" << m_activeBlock
                         << "selected" << m_selectedBlocks;
    if (m_hoveredBlock < 0) {
        deactivateOcrBlock();
        clearOcrBlockSelection();
    }
    m_selectionMode = RegionSelection;
    if (m_editTool == Select && !m_edits->blocks().empty() && m_edits->page() >= 0) {
        m_selectionMode = BlockDrag;
        m_regionSelectionShown = false;
        m_selectionHighlightPage = -1;
        m_selectionHighlights.clear();
        m_selectedText.clear();
    }
    return false;
}

void PdfView::releaseClickInEditMode(const QPoint& position)
{
    if (m_hoveredBlock >= 0) {
        selectOcrBlock(m_hoveredBlock, QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
        if (m_selectedBlocks.size() == 1) {
            activateOcrBlock(*m_selectedBlocks.begin());
            placeEditorCursorAt(position);
        } else {
            deactivateOcrBlock();
        }
    }
    qCDebug(lcEditInput) << "click" << position << "on block" << m_hoveredBlock << "selected" << m_selectedBlocks
                         << "open" << m_activeBlock;
    m_hoveredBlock = -1;
}

void PdfView::startDragSelection(const QPoint& position)
{
    m_pressPoint = m_currentPoint = position;
    m_selectionPage = pageAtPoint(position);
    m_selectionStart = m_selectionEnd = m_selectionPage >= 0 ? viewToPage(m_selectionPage, position) : QPointF();
    m_dragSelecting = true;
    m_rubberBand->setGeometry(QRect(position, QSize()));
    if (m_selectionMode == TextSelection) {
        m_rubberBand->hide();
        viewport()->setCursor(Qt::IBeamCursor);
    } else {
        m_rubberBand->show();
    }
}

void PdfView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_panning) {
        horizontalScrollBar()->setValue(m_panStartH - (position.x() - m_panPressPoint.x()));
        verticalScrollBar()->setValue(m_panStartV - (position.y() - m_panPressPoint.y()));
        viewport()->setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    if (m_editMode && m_blockFrame && m_blockFrame->isInteracting()) {
        m_blockFrame->updateExternalInteraction(event->globalPosition().toPoint(), event->modifiers());
        event->accept();
        return;
    }
    if (m_editMode && m_editTool == PlaceImage && m_placementActive) {
        m_placementCursor = position;
        viewport()->setCursor(Qt::CrossCursor);
        viewport()->update();
    }
    updateHoverCursor(position);
    if (m_dragSelecting) {
        updateSelectionEndFromViewport(position);
        updateInteractiveSelectionPreview();
    }
}

// A handle of the open frame reaching past the frame over a neighbouring line:
// a double click there is for the text under it, as on the frame itself.
void PdfView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (m_editMode && event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ControlModifier)
        && m_blockFrame && m_blockFrame->isVisible() && !m_blockFrame->isInteracting()
        && m_blockFrame->externalHandleAt(position)) {
        doubleClickInEditMode(position);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void PdfView::updateHoverCursor(const QPoint& position)
{
    if (m_dragSelecting) {
        if (!m_editMode)
            viewport()->unsetCursor();
        return;
    }
    if (m_editMode && m_blockFrame && m_blockFrame->isVisible()) {
        if (m_blockFrame->externalHandleAt(position))
            viewport()->setCursor(Qt::CrossCursor);
        else if (m_editTool == Select)
            updateBlockCursor(position);
        return;
    }
    switch (m_editTool) {
    case Hand:
        viewport()->setCursor(Qt::OpenHandCursor);
        return;
    case InsertText:
    case PlaceImage:
        if (m_editMode)
            viewport()->setCursor(m_editTool == InsertText ? Qt::IBeamCursor : Qt::CrossCursor);
        else
            viewport()->unsetCursor();
        return;
    case Select:
        break;
    }
    updateBlockCursor(position);
}

void PdfView::updateBlockCursor(const QPoint& position)
{
    const int block = hoveredOcrBlock(position);
    if (block >= 0)
        viewport()->setCursor(m_edits->blocks()[size_t(block)].isImage ? Qt::SizeAllCursor : Qt::IBeamCursor);
    else if (selectableTextAt(position, false)) // a move never waits for the engine
        viewport()->setCursor(Qt::IBeamCursor);
    else
        viewport()->unsetCursor();
}

void PdfView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint position = event->position().toPoint();
    if (m_panning) {
        m_panning = false;
        viewport()->setCursor(m_editTool == Hand ? Qt::OpenHandCursor : Qt::ArrowCursor);
        event->accept();
        return;
    }
    if (m_blockFrame && m_blockFrame->isInteracting())
        m_blockFrame->endExternalInteraction(position);
    if (!m_dragSelecting) {
        qCDebug(lcEditInput) << "release" << position << "without a press of the view";
        return;
    }
    finishDragSelection(position);
    m_selectionPage = -1;
    m_selectionMode = NoSelection;
}

void PdfView::finishDragSelection(const QPoint& position)
{
    updateSelectionEndFromViewport(position);
    m_dragSelecting = false;
    m_rubberBand->hide();
    // Judged by the pointer's own travel: the page rectangle of a straight
    // horizontal drag has no height and would read as a click.
    const QRect travel = QRect(m_pressPoint, m_currentPoint).normalized();
    const bool isDrag = travel.width() > kClickTolerance || travel.height() > kClickTolerance;
    if (m_editMode && isDrag)
        qCDebug(lcEditInput) << "drag" << m_pressPoint << "to" << m_currentPoint << "is no click";
    if (!isDrag) {
        if (m_editMode)
            releaseClickInEditMode(position);
        else
            activateLinkAtViewportPoint(position);
        return;
    }
    if (m_selectionPage < 0 || !hasPages())
        return;
    m_lastRegionPage = m_selectionPage;
    m_lastRegionRect = currentSelectionPageTopRect();
    m_regionSelectionShown = m_selectionMode == RegionSelection;
    emit selectionRectReady(m_selectionPage, m_lastRegionRect);
    if (m_editMode && (m_editTool == PlaceImage || m_editTool == InsertText)) {
        const EditTool tool = m_editTool;
        setEditTool(Select);
        if (tool == PlaceImage)
            emit imageRectReady(m_selectionPage, m_lastRegionRect);
        else
            showInlineEditor(m_selectionPage, m_lastRegionRect);
        return;
    }
    if (m_selectionMode == TextSelection) {
        finishTextSelection();
        return;
    }
    if (m_editMode && m_selectionMode == BlockDrag && m_editTool == Select && m_selectionPage == m_edits->page()) {
        selectOcrBlocksInRect(currentSelectionViewportRect());
        return;
    }
    m_selectionHighlightPage = -1;
    m_selectionHighlights.clear();
    m_selectedText.clear();
    m_selectedBlocks.clear();
    viewport()->update();
}

void PdfView::finishTextSelection()
{
    const QList<QRectF> highlights =
        collectTextSelectionHighlights(m_selectionPage, pageTopToPdfPoint(m_selectionPage, m_selectionStart),
                                       pageTopToPdfPoint(m_selectionPage, m_selectionEnd), &m_selectedText);
    if (m_selectedText.isEmpty()) {
        m_selectionHighlightPage = -1;
        m_selectionHighlights.clear();
    } else {
        m_regionSelectionShown = false;
        m_selectionHighlightPage = m_selectionPage;
        m_selectionHighlights = highlights;
        copyTextToClipboard(m_selectedText.trimmed());
    }
    viewport()->update();
}

void PdfView::copyTextToClipboard(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
    emit textSelected(text);
}

// --- keys ------------------------------------------------------------------------------------

// Tab moves the editor to the next text block (Shift+Tab: the previous one).
void PdfView::activateNeighbourBlock(bool backward)
{
    const int count = int(m_edits->blocks().size());
    int index = m_activeBlock;
    for (int step = 0; step < count; ++step) {
        if (backward)
            index = index <= 0 ? count - 1 : index - 1;
        else
            index = index < 0 || index >= count - 1 ? 0 : index + 1;
        if (!m_edits->blocks()[size_t(index)].isImage) {
            selectOcrBlock(index, false);
            activateOcrBlock(index);
            return;
        }
    }
}

bool PdfView::editModeKey(QKeyEvent* event)
{
    const int key = event->key();
    if (m_editMode && !m_edits->blocks().empty() && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
        activateNeighbourBlock(key == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier));
        event->accept();
        return true;
    }
    if (m_editMode && key == Qt::Key_Delete && !m_selectedBlocks.isEmpty()) {
        qCDebug(lcEditInput) << "Delete removes blocks" << m_selectedBlocks;
        deleteSelectedOcrBlocks();
        event->accept();
        return true;
    }
    if (key == Qt::Key_Escape) {
        const bool region = m_regionSelectionShown;
        const bool active = m_editMode && validBlock(m_activeBlock);
        qCDebug(lcEditInput) << "Escape closes block" << (active ? m_activeBlock : -1) << "selected"
                             << m_selectedBlocks;
        if (region)
            clearLastRegionSelection();
        if (active)
            deactivateOcrBlock();
        if (region || active) {
            event->accept();
            return true;
        }
    }
    return false;
}

bool PdfView::focusNextPrevChild(bool next)
{
    // In edit mode Tab walks the blocks instead of the widgets.
    if (m_editMode && !m_edits->blocks().empty())
        return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

bool PdfView::goToPage(int page)
{
    if (!hasPages() || page < 0 || page >= pageCount())
        return false;
    setCurrentPage(page);
    viewport()->update();
    return true;
}

// In edit mode the undo keys go to the page's history whichever of its
// widgets has the focus; the window's own keys do the same.
bool PdfView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && m_editMode) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (RotatedTextEdit::isUndoKey(key) || RotatedTextEdit::isRedoKey(key)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

// Menus open on the press; the event that follows it shows nothing more.
void PdfView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
}

void PdfView::keyPressEvent(QKeyEvent* event)
{
    if (m_editMode && (RotatedTextEdit::isUndoKey(event) || RotatedTextEdit::isRedoKey(event))) {
        if (RotatedTextEdit::isUndoKey(event))
            undo();
        else
            redo();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Copy) && !m_selectedText.trimmed().isEmpty()) {
        copyTextToClipboard(m_selectedText.trimmed());
        event->accept();
        return;
    }
    if (editModeKey(event))
        return;
    const int key = event->key();
    if (key == Qt::Key_Home || key == Qt::Key_End) {
        if (hasPages())
            goToPage(key == Qt::Key_Home ? 0 : pageCount() - 1);
        event->accept();
        return;
    }
    const bool backward = key == Qt::Key_Left || key == Qt::Key_Up || key == Qt::Key_PageUp;
    const bool forward = key == Qt::Key_Right || key == Qt::Key_Down || key == Qt::Key_PageDown;
    if ((backward || forward) && m_viewMode == SinglePage) {
        goToPage(m_currentPage + (forward ? 1 : -1));
        event->accept();
        return;
    }
    const bool zoomKey = key == Qt::Key_Plus || key == Qt::Key_Equal || key == Qt::Key_Minus || key == Qt::Key_0;
    if (zoomKey) {
        if (event->modifiers() & Qt::ControlModifier) {
            if (key == Qt::Key_Minus)
                zoomOut();
            else if (key == Qt::Key_0)
                zoomFit();
            else
                zoomIn();
        }
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
