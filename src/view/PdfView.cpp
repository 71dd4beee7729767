#include "PdfView.h"
#include "WorkerThreads.h"

#include <QRubberBand>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kZoomEpsilon = 1e-6;
constexpr double kZoomStep = 1.25;
constexpr double kWheelZoomStep = 1.1;
constexpr double kMaxInitialZoom = 4.0;
constexpr double kNarrowPagePoints = 800.0;
constexpr int kScrollStep = 20;
constexpr int kMinCentringSlack = 19;
constexpr int kVisibleMargin = 10;
constexpr quint64 kUnreadRevision = ~quint64(0);
// How long the owner's own calls (a document set or changed) wait for the
// engine lock to read page sizes before leaving them to the render thread:
// enough for an ordinary render to finish.
constexpr int kOwnerSizeWaitMs = 100;

QString defaultPlaceholderText()
{
    return QStringLiteral("Откройте PDF файл");
}

} // namespace

PdfView::PdfView(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_emptyPlaceholderText(defaultPlaceholderText())
{
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_rubberBand = new QRubberBand(QRubberBand::Rectangle, viewport());
    m_rubberBand->hide();
    verticalScrollBar()->setSingleStep(kScrollStep);
    horizontalScrollBar()->setSingleStep(kScrollStep);
    viewport()->unsetCursor();
    showEdits(&m_ownEdits);
}

PdfView::~PdfView()
{
    // Edits owned elsewhere outlive the view: they keep nothing of it.
    if (m_edits != &m_ownEdits) {
        disconnect(m_edits, nullptr, this, nullptr);
        m_edits->setSnapshotSource({});
    }
    stopRenderWorker();
}

// --- document and view state ---------------------------------------------

// Page sizes are read again when the document changed: when the engine lock
// is free (the owner's own changes, or after a short wait when it has just
// set or changed the document), else by the render thread, the old layout
// holding meanwhile. A paint in progress keeps the layout it started with.
bool PdfView::syncLayout() const
{
    return syncLayoutWaiting(0);
}

bool PdfView::syncLayoutWaiting(int waitMs) const
{
    if (!m_document || !m_document->isOpen()) {
        if (m_layout.pageCount() > 0)
            m_layout.setPageSizes({});
        return false;
    }
    const quint64 revision = m_document->revision();
    if (revision != m_layoutRevision && !m_layoutFrozen) {
        std::vector<QSizeF> sizes;
        quint64 read = 0;
        // Waited for once already: the render thread brings them.
        if (m_sizesAskedRevision == revision)
            waitMs = 0;
        if (m_document->readPageSizes(&sizes, &read, waitMs)) {
            applyPageSizes(std::move(sizes), read);
        } else if (m_renderWorker && m_sizesAskedRevision != revision) {
            m_sizesAskedRevision = revision;
            m_renderWorker->requestPageSizes();
        }
    }
    return m_layout.pageCount() > 0;
}

void PdfView::applyPageSizes(std::vector<QSizeF> sizes, quint64 revision) const
{
    const int before = m_layout.pageCount();
    m_layout.setPageSizes(std::move(sizes));
    m_layoutRevision = revision;
    m_layoutRead = true;
    // The owner was told of pages that have changed since, or asked for a
    // page not yet known: it hears of the pages once they are known.
    if (m_pendingPage >= 0 || (m_ownerSawStaleCount && m_layout.pageCount() != before)) {
        m_ownerSawStaleCount = false;
        QMetaObject::invokeMethod(const_cast<PdfView*>(this), &PdfView::followLaidOutPages, Qt::QueuedConnection);
    }
}

bool PdfView::layoutIsStale() const
{
    return m_document && m_document->isOpen() && m_layoutRevision != m_document->revision();
}

void PdfView::followLaidOutPages()
{
    if (!hasPages())
        return;
    const int pending = std::exchange(m_pendingPage, -1);
    if (pending >= 0)
        setCurrentPage(std::min(pending, m_layout.pageCount() - 1));
    else
        emit pageChanged(m_currentPage);
}

bool PdfView::hasPages() const
{
    return syncLayout();
}

// The owner's page queries may wait briefly for sizes it has just changed.
int PdfView::pageCount() const
{
    const bool sized = syncLayoutWaiting(kOwnerSizeWaitMs);
    if (layoutIsStale())
        m_ownerSawStaleCount = true;
    return sized ? m_layout.pageCount() : 0;
}

QSize PdfView::pagePixelSize(int page) const
{
    return m_layout.pixelSize(page);
}

QSizeF PdfView::pagePointSize(int page) const
{
    return m_layout.pagePointSize(page);
}

void PdfView::dropRenderedState()
{
    m_pageCache.clear();
    m_staleImages.clear();
    m_paintWanted.clear();
    m_pageTexts.clear();
    m_textAsked = qMakePair(-1, quint64(0));
}

// The cached images no longer match the view (zoom, rotation, content); they
// are drawn scaled until their pages' new images arrive.
void PdfView::retirePageImages()
{
    for (const PageCache& entry : std::as_const(m_pageCache)) {
        m_staleImages.removeIf([&entry](const PageCache& old) {
            return old.key.page == entry.key.page && old.key.layer == entry.key.layer;
        });
        m_staleImages.append(entry);
    }
    m_pageCache.clear();
    while (m_staleImages.size() > kPageCacheSize)
        m_staleImages.removeFirst();
}

double PdfView::initialZoomFor(int page) const
{
    const double width = pagePointSize(page).width();
    if (width <= 0)
        return 1.0;
    double zoom = (viewport()->width() - 2 * PageLayout::kPageGap) / width;
    if (width <= kNarrowPagePoints)
        zoom = std::min(zoom, 1.0);
    return std::clamp(zoom, kMinZoom, kMaxInitialZoom);
}

void PdfView::setDocument(std::shared_ptr<PdfDocument> doc)
{
    PdfDocument* const shown = doc.get();
    m_documentHold = std::move(doc);
    setDocument(shown);
}

void PdfView::setDocument(PdfDocument* doc)
{
    clearOcrBlocks();
    m_searchPage = -1;
    m_searchHits.clear();
    m_currentSearchHit = -1;
    m_selectionHighlightPage = -1;
    m_selectionHighlights.clear();
    stopRenderWorker();
    if (doc != m_documentHold.get())
        m_documentHold.reset();
    m_document = doc;
    m_currentPage = 0;
    m_pendingPage = -1;
    m_ownerSawStaleCount = false;
    m_viewRotation = 0;
    m_pageViewRotations.clear();
    dropRenderedState();
    m_layout.setPageSizes({});
    m_layoutRevision = kUnreadRevision;
    m_sizesAskedRevision = kUnreadRevision;
    m_layoutRead = false;
    m_layout.setRotations(0, {});
    startRenderWorker();
    const bool sized = syncLayoutWaiting(kOwnerSizeWaitMs);
    // Sizes still being read on the render thread: the zoom follows them.
    m_initialZoomPending = doc && doc->isOpen() && !m_layoutRead;
    m_zoom = sized ? initialZoomFor(0) : 1.0;
    m_layout.setZoom(m_zoom);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    emit zoomChanged(m_zoom);
}

void PdfView::setViewMode(ViewMode mode)
{
    m_viewMode = mode;
    updateScrollBars();
    updateCurrentPageFromViewport();
    viewport()->update();
}

void PdfView::setRotation(int degrees)
{
    m_viewRotation = ((degrees % 360) + 360) % 360;
    m_layout.setRotations(m_viewRotation, m_pageViewRotations);
    retirePageImages();
    updateScrollBars();
    repositionBlockEditor();
    repositionInlineEditor();
    viewport()->update();
}

int PdfView::effectiveRotation(int page) const
{
    return m_layout.effectiveRotation(page);
}

void PdfView::setCurrentPage(int index)
{
    if (index < 0)
        return;
    if (index >= pageCount()) {
        // The page sizes are still being read: shown when they come.
        if (layoutIsStale())
            m_pendingPage = index;
        return;
    }
    m_pendingPage = -1;
    m_currentPage = index;
    {
        const QScopedValueRollback<bool> placing(m_placingPage, true);
        if (m_viewMode == SinglePage) {
            // The canvas is this page alone: its scroll range, from its top.
            updateScrollBars();
            verticalScrollBar()->setValue(0);
            viewport()->update();
        }
        ensurePageVisible(index);
    }
    emit pageChanged(index);
}

void PdfView::showPageSpot(int page, std::optional<double> left, std::optional<double> top)
{
    if (page < 0 || page >= pageCount())
        return;
    setCurrentPage(page);
    if (!hasPages() || !m_layout.hasPage(page))
        return;
    const double height = pagePointSize(page).height();
    const QPoint at = viewportPointForPageTopPoint(page, QPointF(left.value_or(0), top ? height - *top : 0));
    // A heading near the page's foot leaves most of the view to the next
    // page: the page led to stays the current one all the same.
    const QScopedValueRollback<bool> placing(m_placingPage, true);
    verticalScrollBar()->setValue(verticalScrollBar()->value() + at.y());
    if (left)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + at.x());
}

void PdfView::setCanvasTheme(bool dark)
{
    if (dark == m_darkCanvas)
        return;
    m_darkCanvas = dark;
    viewport()->update();
}

void PdfView::setOcrDebugLabelsVisible(bool visible)
{
    if (visible == m_ocrDebugLabelsVisible)
        return;
    m_ocrDebugLabelsVisible = visible;
    viewport()->update();
}

void PdfView::setEmptyPlaceholderText(const QString& text)
{
    const QString value = text.isEmpty() ? defaultPlaceholderText() : text;
    if (value == m_emptyPlaceholderText)
        return;
    m_emptyPlaceholderText = value;
    if (!hasPages())
        viewport()->update();
}

void PdfView::invalidatePageCache()
{
    invalidateCache();
    viewport()->update();
}

void PdfView::invalidateCache()
{
    retirePageImages();
    m_pageTexts.clear();
    m_textAsked = qMakePair(-1, quint64(0));
    m_layoutRevision = kUnreadRevision; // page sizes are read again
    syncLayoutWaiting(kOwnerSizeWaitMs);
}

// --- zoom -------------------------------------------------------------------

void PdfView::setZoom(double zoom)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (std::abs(zoom - m_zoom) < kZoomEpsilon)
        return;
    const double factor = zoom / m_zoom;
    m_zoom = zoom;
    m_initialZoomPending = false;
    rescaleActiveBlockEditor(factor);
    rescaleInlineEditor(factor);
    m_layout.setZoom(zoom);
    retirePageImages();
    updateScrollBars();
    updateCurrentPageFromViewport();
    repositionBlockEditor();
    repositionInlineEditor();
    viewport()->update();
    emit zoomChanged(zoom);
}

void PdfView::zoomIn()
{
    setZoom(m_zoom * kZoomStep);
}

void PdfView::zoomOut()
{
    setZoom(m_zoom / kZoomStep);
}

void PdfView::zoomFit()
{
    if (!hasPages())
        return;
    const QSizeF size = pagePointSize(m_currentPage);
    setZoom(std::min(viewport()->width() / size.width(), viewport()->height() / size.height()));
}

void PdfView::zoomFitWidth()
{
    if (!hasPages())
        return;
    setZoom(viewport()->width() / pagePointSize(m_currentPage).width());
}

// Keeps the page point under the anchor where it is. The canvas has fixed
// gaps between pages, so scaling the scroll values alone would drift by the
// gaps above the page (hundreds of pixels deep in a long document).
void PdfView::applyZoomKeepingContentPoint(double zoom, const QPointF& anchor)
{
    const QPoint anchorPoint = anchor.toPoint();
    const int page = pageAtPoint(anchorPoint);
    const QPointF pagePoint = page >= 0 ? viewportToPageTop(page).map(anchor) : QPointF();
    const double old = m_zoom;
    const int h = horizontalScrollBar()->value();
    const int v = verticalScrollBar()->value();

    m_zoom = zoom;
    m_initialZoomPending = false;
    m_layout.setZoom(zoom);
    retirePageImages();
    updateScrollBars();

    QPointF content((h + anchor.x()) / old * zoom, (v + anchor.y()) / old * zoom);
    if (page >= 0)
        content = (m_layout.pageTopToPixels(page) * QTransform::fromTranslate(pageOffset(page).x(),
                                                                              pageOffset(page).y()))
                      .map(pagePoint);
    horizontalScrollBar()->setValue(qRound(content.x() - anchor.x()));
    verticalScrollBar()->setValue(qRound(content.y() - anchor.y()));
}

void PdfView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const double old = m_zoom;
        const double factor = event->angleDelta().y() > 0 ? kWheelZoomStep : 1.0 / kWheelZoomStep;
        const double zoom = std::clamp(old * factor, kMinZoom, kMaxZoom);
        if (std::abs(zoom - old) >= kZoomEpsilon) {
            applyZoomKeepingContentPoint(zoom, event->position());
            rescaleActiveBlockEditor(zoom / old);
            rescaleInlineEditor(zoom / old);
            updateCurrentPageFromViewport();
            repositionBlockEditor();
            repositionInlineEditor();
            viewport()->update();
            emit zoomChanged(zoom);
        }
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
    if (m_dragSelecting) {
        updateSelectionEndFromViewport(event->position().toPoint());
        updateInteractiveSelectionPreview();
        event->accept();
    }
}

// --- geometry ---------------------------------------------------------------

QPoint PdfView::pageOffset(int page) const
{
    if (!hasPages() || page < 0 || page >= m_layout.pageCount())
        return QPoint(0, 0);
    const int slack = viewport()->width() - pagePixelSize(page).width();
    const int x = slack > kMinCentringSlack ? slack / 2 : PageLayout::kPageGap;
    const int y = m_viewMode == SinglePage ? PageLayout::kPageGap : m_layout.continuousTop(page);
    return QPoint(x, y);
}

QRect PdfView::laidOutPageRect(int page) const
{
    return QRect(pageOffset(page), pagePixelSize(page));
}

int PdfView::pageAtPoint(const QPoint& viewportPoint) const
{
    if (!hasPages())
        return -1;
    if (m_viewMode == SinglePage)
        return m_currentPage;
    const QPoint content = viewportPoint + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int page = m_layout.pageAtContentY(content.y());
    if (page < 0)
        return -1;
    const QRect rect = laidOutPageRect(page);
    return content.x() >= rect.left() && content.x() < rect.left() + rect.width() ? page : -1;
}

// Pages that intersect the viewport rows in continuous mode: [first, last).
QPair<int, int> PdfView::visiblePageRange() const
{
    if (!hasPages())
        return {0, 0};
    if (m_viewMode == SinglePage)
        return m_layout.hasPage(m_currentPage) ? qMakePair(m_currentPage, m_currentPage + 1) : qMakePair(0, 0);
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    const int first = m_layout.firstPageEndingBelow(top);
    int last = first;
    while (last < m_layout.pageCount() && m_layout.continuousTop(last) < bottom)
        ++last;
    return {first, last};
}

int PdfView::dominantVisiblePage() const
{
    if (!hasPages())
        return -1;
    if (m_viewMode == SinglePage)
        return m_currentPage;
    const QRect visible(horizontalScrollBar()->value(), verticalScrollBar()->value(), viewport()->width(),
                        viewport()->height());
    int best = -1;
    qint64 bestArea = 0;
    const auto [first, last] = visiblePageRange();
    for (int page = first; page < last; ++page) {
        const QSize size = pagePixelSize(page);
        const QRect rect(pageOffset(page), QSize(std::max(size.width(), 1), std::max(size.height(), 1)));
        const QRect overlap = rect.intersected(visible);
        const qint64 area = overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = page;
        }
    }
    return best >= 0 ? best : m_currentPage;
}

QTransform PdfView::pageTopToViewport(int page) const
{
    const QPoint offset = pageOffset(page);
    return m_layout.pageTopToPixels(page)
           * QTransform::fromTranslate(offset.x() - horizontalScrollBar()->value(),
                                       offset.y() - verticalScrollBar()->value());
}

QTransform PdfView::viewportToPageTop(int page) const
{
    return pageTopToViewport(page).inverted();
}

QRectF PdfView::pdfToPageTopRect(int page, const QRectF& pdfRect) const
{
    const double height = pagePointSize(page).height();
    return QRectF(pdfRect.x(), height - pdfRect.y() - pdfRect.height(), pdfRect.width(), pdfRect.height());
}

QRectF PdfView::pageTopToPdfRect(int page, const QRectF& pageTopRect) const
{
    // The same flip both ways: top = height - y - h.
    return pdfToPageTopRect(page, pageTopRect);
}

QPointF PdfView::pageTopToPdfPoint(int page, const QPointF& pageTopPoint) const
{
    return QPointF(pageTopPoint.x(), pagePointSize(page).height() - pageTopPoint.y());
}

QPointF PdfView::viewToPage(int page, const QPoint& viewportPoint) const
{
    if (!hasPages() || !m_layout.hasPage(page))
        return QPointF();
    return viewportToPageTop(page).map(QPointF(viewportPoint));
}

QPoint PdfView::viewportPointForPageTopPoint(int page, const QPointF& pageTopPoint) const
{
    if (!hasPages() || !m_layout.hasPage(page))
        return QPoint(0, 0);
    const QPointF p = pageTopToViewport(page).map(pageTopPoint);
    return QPoint(qRound(p.x()), qRound(p.y()));
}

QRect PdfView::viewportRectForPageTopRect(int page, const QRectF& pageTopRect) const
{
    if (pageTopRect.width() <= 0 || pageTopRect.height() <= 0)
        return QRect();
    const QPoint a = viewportPointForPageTopPoint(page, pageTopRect.topLeft());
    const QPoint b = viewportPointForPageTopPoint(page, pageTopRect.bottomRight());
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

QRectF PdfView::pdfRectToScreenRect(int page, const QRectF& pdfRect) const
{
    if (!hasPages() || !m_layout.hasPage(page))
        return QRectF(0, 0, 0, 0);
    return pageTopToViewport(page).mapRect(pdfToPageTopRect(page, pdfRect));
}

QRectF PdfView::selectionPdfRectForViewportRect(int page, const QRect& viewportRect) const
{
    if (!hasPages() || !m_layout.hasPage(page))
        return QRectF(0, 0, 0, 0);
    const QRectF screen(viewportRect.left(), viewportRect.top(), viewportRect.width(), viewportRect.height());
    return pageTopToPdfRect(page, viewportToPageTop(page).mapRect(screen)).normalized();
}

QPointF PdfView::selectionPdfPointForViewportPoint(int page, const QPoint& viewportPoint) const
{
    if (!hasPages() || !m_layout.hasPage(page))
        return QPointF(0, 0);
    return pageTopToPdfPoint(page, viewportToPageTop(page).map(QPointF(viewportPoint)));
}

QRectF PdfView::screenContentRectToPdf(const QRect& viewportRect) const
{
    if (!hasPages() || !m_layout.hasPage(m_edits->page()))
        return QRectF(0, 0, 0, 0);
    // Inclusive corners, as the rectangle's own right and bottom say.
    const QRectF screen(QPointF(viewportRect.left(), viewportRect.top()),
                        QPointF(viewportRect.right(), viewportRect.bottom()));
    return pageTopToPdfRect(m_edits->page(), viewportToPageTop(m_edits->page()).mapRect(screen));
}

QRectF PdfView::screenRectToPdf(const QRect& viewportRect) const
{
    constexpr int kSideInset = 5;
    constexpr int kTopInset = 31;
    return screenContentRectToPdf(viewportRect.adjusted(kSideInset, kTopInset, -kSideInset, -kSideInset));
}

// --- scrolling ----------------------------------------------------------------

void PdfView::ensurePageVisible(int page)
{
    if (!hasPages() || !m_layout.hasPage(page))
        return;
    const int top = pageOffset(page).y();
    const int value = verticalScrollBar()->value();
    if (value > top) {
        verticalScrollBar()->setValue(top - kVisibleMargin);
        return;
    }
    const int bottom = top + pagePixelSize(page).height();
    if (bottom > value + viewport()->height())
        verticalScrollBar()->setValue(bottom + kVisibleMargin - viewport()->height());
}

void PdfView::updateScrollBars()
{
    int height = 0;
    int width = 0;
    if (hasPages()) {
        m_currentPage = std::clamp(m_currentPage, 0, m_layout.pageCount() - 1);
        if (m_viewMode == SinglePage) {
            const QSize size = pagePixelSize(m_currentPage);
            height = 2 * PageLayout::kPageGap + size.height();
            width = size.width() + 2 * PageLayout::kPageGap;
        } else {
            height = m_layout.continuousHeight();
            width = m_layout.continuousWidth();
        }
    }
    m_scrollBarsRevision = m_layoutRevision;
    const QSize view = viewport()->size();
    verticalScrollBar()->setRange(0, std::max(height - view.height(), 0));
    verticalScrollBar()->setPageStep(view.height());
    horizontalScrollBar()->setRange(0, std::max(width - view.width(), 0));
    horizontalScrollBar()->setPageStep(view.width());
}

void PdfView::updateCurrentPageFromViewport()
{
    if (m_viewMode != Continuous || !hasPages() || m_placingPage)
        return;
    const int page = dominantVisiblePage();
    if (page >= 0 && page != m_currentPage) {
        m_currentPage = page;
        emit pageChanged(page);
    }
}

void PdfView::scrollContentsBy(int, int)
{
    if (m_dragSelecting) {
        const QPoint cursor = viewport()->mapFromGlobal(QCursor::pos());
        constexpr int kFollowMargin = 80;
        if (viewport()->rect().adjusted(-kFollowMargin, -kFollowMargin, kFollowMargin, kFollowMargin).contains(cursor))
            updateSelectionEndFromViewport(cursor);
        updateInteractiveSelectionPreview();
    }
    repositionBlockEditor();
    repositionInlineEditor();
    viewport()->update();
    updateCurrentPageFromViewport();
}

void PdfView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    updateCurrentPageFromViewport();
    repositionBlockEditor();
    repositionInlineEditor();
}

// --- page images --------------------------------------------------------------

void PdfView::startRenderWorker()
{
    if (!m_document)
        return;
    const quint64 generation = ++m_renderGeneration;
    m_renderThread = new QThread(this);
    m_renderThread->setObjectName(QStringLiteral("PageRenderThread"));
    m_renderWorker = m_documentHold ? new PageRenderWorker(m_documentHold) : new PageRenderWorker(m_document);
    m_renderWorker->moveToThread(m_renderThread);
    // Answers of an earlier document's worker may still be queued: the
    // generation tells them apart.
    connect(m_renderWorker, &PageRenderWorker::pageRendered, this,
            [this, generation](const PageRenderKey& key, const QImage& image) {
                if (generation == m_renderGeneration)
                    onPageRendered(key, image);
            });
    connect(m_renderWorker, &PageRenderWorker::pageTextRead, this,
            [this, generation](int page, quint64 revision, const std::vector<TextBlock>& blocks) {
                if (generation == m_renderGeneration)
                    onPageTextRead(page, revision, blocks);
            });
    connect(m_renderWorker, &PageRenderWorker::writtenPageRendered, this,
            [this, generation](const WrittenPageKey& key, const QImage& image) {
                if (generation == m_renderGeneration)
                    onWrittenPageRendered(key, image);
            });
    connect(m_renderWorker, &PageRenderWorker::pageSizesRead, this,
            [this, generation](const QList<QSizeF>& sizes, quint64 revision) {
                if (generation == m_renderGeneration)
                    onPageSizesRead(sizes, revision);
            });
    m_renderThread->start();
}

// Waits for the render in progress (the document may go away right after);
// queued renders are dropped.
void PdfView::stopRenderWorker()
{
    ++m_renderGeneration;
    stopWorkerThread(m_renderWorker, m_renderThread);
    m_writtenAsked.reset();
    m_writtenPage.reset();
}

PageRenderKey PdfView::renderKey(int page, PdfRenderLayer layer, bool transparentBackground) const
{
    PageRenderKey key;
    key.page = page;
    key.zoom = m_zoom;
    key.rotation = effectiveRotation(page);
    key.layer = layer;
    key.transparentBackground = transparentBackground;
    key.revision = m_document ? m_document->revision() : 0;
    return key;
}

const PdfView::PageCache* PdfView::findCachedPage(const PageRenderKey& key) const
{
    for (const PageCache& entry : m_pageCache) {
        if (entry.key.sameImage(key))
            return &entry;
    }
    return nullptr;
}

void PdfView::requestRender(const PageRenderKey& key)
{
    if (m_painting) {
        for (const PageRenderKey& wanted : std::as_const(m_paintWanted)) {
            if (wanted.sameImage(key))
                return;
        }
        m_paintWanted.append(key);
    } else if (m_renderWorker) {
        m_renderWorker->add(key);
    }
}

// The image when it is cached; otherwise it is asked of the render thread and
// a null image is returned. A page that failed to render is cached as null.
QImage PdfView::cachedPageLayer(int page, PdfRenderLayer layer, bool transparentBackground)
{
    const PageRenderKey key = renderKey(page, layer, transparentBackground);
    if (const PageCache* entry = findCachedPage(key))
        return entry->image;
    requestRender(key);
    return QImage();
}

// What a paint draws for a page: its image when cached, else (asked for)
// the newest earlier image of the page, of the same layer if there is one,
// turned to the page's present rotation, to be drawn scaled; null when there
// is none.
QImage PdfView::pageImageForPaint(int page, PdfRenderLayer layer)
{
    const PageRenderKey key = renderKey(page, layer, false);
    if (const PageCache* entry = findCachedPage(key))
        return entry->image;
    requestRender(key);
    for (const bool sameLayer : {true, false}) {
        for (const QList<PageCache>* list : {&m_pageCache, &m_staleImages}) {
            for (auto it = list->crbegin(); it != list->crend(); ++it) {
                const PageRenderKey& was = it->key;
                if (was.page != page || it->image.isNull() || was.transparentBackground
                    || (sameLayer && was.layer != layer))
                    continue;
                if (was.rotation == key.rotation)
                    return it->image;
                return it->image.transformed(QTransform().rotate(key.rotation - was.rotation));
            }
        }
    }
    return QImage();
}

bool PdfView::pageRendersPending() const
{
    if (!m_renderWorker)
        return false;
    if (m_paintWantsWritten)
        return true;
    for (const PageRenderKey& key : m_paintWanted) {
        if (!findCachedPage(key))
            return true;
    }
    return false;
}

void PdfView::onPageRendered(const PageRenderKey& key, const QImage& image)
{
    m_renderWorker->acknowledge(key);
    ++m_pageRenderCount;
    // Asked for at another zoom or rotation: nothing shows it any more.
    if (!m_layout.hasPage(key.page) || std::abs(key.zoom - m_zoom) >= kZoomEpsilon
        || key.rotation != effectiveRotation(key.page) || findCachedPage(key))
        return;
    if (m_pageCache.size() >= kPageCacheSize)
        m_pageCache.removeFirst();
    m_pageCache.append({key, image});
    m_staleImages.removeIf(
        [&key](const PageCache& old) { return old.key.page == key.page && old.key.layer == key.layer; });
    // Earlier images and new ones together stay within the cache's size.
    while (!m_staleImages.isEmpty() && m_pageCache.size() + m_staleImages.size() > kPageCacheSize)
        m_staleImages.removeFirst();
    viewport()->update();
}

void PdfView::onPageSizesRead(const QList<QSizeF>& sizes, quint64 revision)
{
    if (!m_document || (m_layoutRead && m_layoutRevision != kUnreadRevision && revision <= m_layoutRevision))
        return;
    applyPageSizes(std::vector<QSizeF>(sizes.begin(), sizes.end()), revision);
    if (m_initialZoomPending) {
        m_initialZoomPending = false;
        if (hasPages()) {
            m_zoom = initialZoomFor(0);
            m_layout.setZoom(m_zoom);
            emit zoomChanged(m_zoom);
        }
    }
    updateScrollBars();
    updateCurrentPageFromViewport();
    repositionBlockEditor();
    viewport()->update();
}
