#include "PageThumbnailPanel.h"
#include "WorkerThreads.h"

#include "PdfDocument.h"
#include "ThumbnailWorker.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLineF>
#include <QMimeData>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr QSize kIconSize(120, 160);
constexpr QSize kGridSize(136, 190);
constexpr int kSpacing = 4;
constexpr int kInitialPages = 12;
constexpr int kPageRole = Qt::UserRole;
// How long the strip waits for the engine to count pages before it asks again
// later: a heavy render elsewhere must not stall the window.
constexpr int kEngineWaitMs = 100;
constexpr int kRetryMs = 100;

// The current page's card: a tint of the strip's selection colour under the
// miniature and a frame in that colour, so that both themes style it.
constexpr int kCardAlpha = 48;
constexpr QRectF kCardRect(1, 1, 117, 157);
constexpr qreal kCardRadius = 8.0;

} // namespace

PageThumbnailPanel::PageThumbnailPanel(QWidget* parent)
    : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setIconSize(kIconSize);
    setGridSize(kGridSize);
    setMovement(QListView::Snap);
    setDragDropMode(QAbstractItemView::InternalMove);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSpacing(kSpacing);
    setResizeMode(QListView::Adjust);
    setWordWrap(true);
    connect(this, &QListWidget::itemActivated, this, &PageThumbnailPanel::onItemActivated);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            emit pageSelected(row);
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &PageThumbnailPanel::enqueueVisibleThumbnails);
}

PageThumbnailPanel::~PageThumbnailPanel()
{
    stopWorker();
}

// Quits the thread and waits for the render in progress; queued renders are
// dropped with the worker. Afterwards nothing touches the old document.
void PageThumbnailPanel::stopWorker()
{
    stopWorkerThread(m_worker, m_thread);
}

int PageThumbnailPanel::pageCountWithoutStall() const
{
    std::vector<QSizeF> sizes;
    quint64 revision = 0;
    return m_document && m_document->readPageSizes(&sizes, &revision, kEngineWaitMs) ? int(sizes.size()) : -1;
}

void PageThumbnailPanel::setDocument(std::shared_ptr<PdfDocument> doc)
{
    PdfDocument* const shown = doc.get();
    m_documentHold = std::move(doc);
    setDocument(shown);
}

void PageThumbnailPanel::setDocument(PdfDocument* doc)
{
    stopWorker();
    if (doc != m_documentHold.get())
        m_documentHold.reset();
    if (doc != m_document)
        m_wantedPage = -1;
    m_document = doc;
    m_currentPage = -1;
    m_cache.clear();
    m_pending.clear();
    clear();
    if (!doc || !doc->isOpen())
        return;
    const int pages = pageCountWithoutStall();
    if (pages < 0) {
        QTimer::singleShot(kRetryMs, this, [this, doc] {
            if (m_document == doc && !m_worker)
                setDocument(doc);
        });
        return;
    }

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("ThumbnailThread"));
    m_worker = m_documentHold ? new ThumbnailWorker(m_documentHold) : new ThumbnailWorker(doc);
    m_worker->moveToThread(m_thread);
    connect(m_worker, &ThumbnailWorker::thumbnailReady, this, &PageThumbnailPanel::onThumbnailReady);
    m_thread->start();

    for (int page = 0; page < pages; ++page) {
        auto* item = new QListWidgetItem(QIcon(), pageLabel(page));
        item->setData(kPageRole, page);
        item->setSizeHint(kGridSize);
        addItem(item);
    }
    for (int page = 0; page < std::min(pages, kInitialPages); ++page)
        enqueueThumbnail(page);
    setCurrentPage(m_wantedPage >= 0 && m_wantedPage < pages ? std::exchange(m_wantedPage, -1) : 0);
    QTimer::singleShot(0, this, [this] {
        if (m_document && m_document->isOpen() && count() > 0)
            setCurrentPage(std::clamp(m_currentPage, 0, count() - 1));
        enqueueVisibleThumbnails();
    });
}

void PageThumbnailPanel::enqueueThumbnail(int page, bool urgent)
{
    if (!m_worker || page < 0 || page >= count() || m_cache.contains(page))
        return;
    if (m_pending.contains(page) && !urgent)
        return;
    const quint64 id = m_pending.contains(page) ? m_pending.value(page) : ++m_nextRequestId;
    m_pending.insert(page, id);
    m_worker->request(page, id, urgent);
}

void PageThumbnailPanel::enqueueVisibleThumbnails()
{
    if (!m_worker || count() == 0)
        return;
    const QRect area(0, -kGridSize.height(), viewport()->width(), viewport()->height() + 2 * kGridSize.height());
    // In reverse, so that urgent requests (each put first) end up in row order.
    for (int row = count() - 1; row >= 0; --row) {
        const QRect rect = visualItemRect(item(row));
        if (rect.isValid() && rect.intersects(area))
            enqueueThumbnail(row, true);
    }
}

void PageThumbnailPanel::scheduleVisibleThumbnails()
{
    QTimer::singleShot(0, this, &PageThumbnailPanel::enqueueVisibleThumbnails);
}

void PageThumbnailPanel::onThumbnailReady(int pageIndex, QImage image, quint64 requestId)
{
    if (pageIndex < 0 || pageIndex >= count())
        return;
    // An answer to a request that was replaced (page refreshed or moved since).
    if (m_pending.value(pageIndex) != requestId)
        return;
    m_pending.remove(pageIndex);
    m_cache.insert(pageIndex, image);
    if (pageIndex == m_currentPage) {
        const QSignalBlocker blocker(this);
        setCurrentRow(pageIndex);
    }
    updateThumbnailIcon(pageIndex);
}

void PageThumbnailPanel::setCurrentPage(int page)
{
    if (page >= count())
        m_wantedPage = page;
    if (page < 0 || page >= count())
        return;
    const QSignalBlocker blocker(this);
    const int old = m_currentPage;
    m_currentPage = page;
    setCurrentRow(page);
    item(page)->setSelected(true);
    scrollToItem(item(page), QAbstractItemView::EnsureVisible);
    if (old >= 0 && old < count())
        updateThumbnailIcon(old);
    updateThumbnailIcon(page);
    viewport()->update();
    enqueueThumbnail(page, true);
}

void PageThumbnailPanel::refreshPage(int page)
{
    if (page < 0 || page >= count())
        return;
    m_cache.remove(page);
    // A render already running may show the page as it was: ask again, and
    // let the new request's id outdate the old answer.
    m_pending.remove(page);
    enqueueThumbnail(page, true);
}

void PageThumbnailPanel::refresh()
{
    if (!m_document)
        return;
    const int pages = pageCountWithoutStall();
    if (pages < 0) {
        if (!m_refreshQueued) {
            m_refreshQueued = true;
            QTimer::singleShot(kRetryMs, this, [this] {
                m_refreshQueued = false;
                refresh();
            });
        }
        return;
    }
    if (pages != count()) {
        // The same document again: its current page stays current.
        if (m_wantedPage < 0)
            m_wantedPage = m_currentPage;
        setDocument(m_document);
        return;
    }
    m_cache.clear();
    m_pending.clear();
    if (m_worker)
        m_worker->clearQueue();
    for (int page = 0; page < count(); ++page)
        enqueueThumbnail(page);
    enqueueVisibleThumbnails();
}

QIcon PageThumbnailPanel::thumbnailIcon(int page) const
{
    QImage canvas(kIconSize, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool current = page == m_currentPage;
    const QImage miniature = m_cache.value(page);
    const QImage scaled =
        miniature.isNull() ? QImage() : miniature.scaled(kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (current) {
        QColor card = palette().color(QPalette::Highlight);
        card.setAlpha(kCardAlpha);
        painter.setBrush(card);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2.0));
        painter.drawRoundedRect(kCardRect, kCardRadius, kCardRadius);
    }
    if (!scaled.isNull()) {
        const QRect rect((kIconSize.width() - scaled.width()) / 2, (kIconSize.height() - scaled.height()) / 2,
                         scaled.width(), scaled.height());
        painter.fillRect(rect.translated(2, 2), QColor(20, 35, 55, current ? 45 : 25));
        painter.fillRect(rect, Qt::white);
        painter.drawImage(rect.topLeft(), scaled);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(current ? QPen(palette().color(QPalette::Highlight), 2.0) : QPen(QColor(190, 201, 214), 1.0));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
    painter.end();
    // The current page shows its own card: the list must not tint the
    // miniature with the selection colour as well.
    const QPixmap pixmap = QPixmap::fromImage(canvas);
    QIcon icon(pixmap);
    icon.addPixmap(pixmap, QIcon::Selected);
    return icon;
}

void PageThumbnailPanel::updateThumbnailIcon(int page)
{
    if (page >= 0 && page < count())
        item(page)->setIcon(thumbnailIcon(page));
}

void PageThumbnailPanel::onItemActivated(QListWidgetItem* item)
{
    emit pageSelected(item->data(kPageRole).toInt());
}

// After the list moved an item, labels, page indices and miniatures follow
// the new order; answers still on their way refer to the old order.
void PageThumbnailPanel::renumberItems()
{
    QHash<int, QImage> cache;
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* rowItem = item(row);
        const int old = rowItem->data(kPageRole).toInt();
        if (m_cache.contains(old))
            cache.insert(row, m_cache.value(old));
        rowItem->setData(kPageRole, row);
        rowItem->setText(pageLabel(row));
    }
    m_cache = cache;
    m_pending.clear();
    if (m_worker)
        m_worker->clearQueue();
    m_currentPage = currentRow();
    for (int row = 0; row < count(); ++row)
        updateThumbnailIcon(row);
    scheduleVisibleThumbnails();
}

// In icon mode the list's own drag offers only a copy, which its internal
// move refuses, and its drop would only move the icon on the grid: the page
// order never changed. Drags of our own rows carry their row and are reordered
// here.
namespace {
constexpr auto kThumbnailRowFormat = "application/x-vorn-thumbnail-row";
}

QMimeData* PageThumbnailPanel::mimeData(const QList<QListWidgetItem*>& items) const
{
    QMimeData* data = QListWidget::mimeData(items);
    if (data && items.size() == 1) {
        data->setData(QLatin1String(kThumbnailRowFormat),
                      QByteArray::number(QCoreApplication::applicationPid()) + ':' + QByteArray::number(row(items.first())));
    }
    return data;
}

// The dragged row when the drag is one of ours, else -1.
int PageThumbnailPanel::draggedRow(const QMimeData* data)
{
    const QList<QByteArray> origin = data ? data->data(QLatin1String(kThumbnailRowFormat)).split(':') : QList<QByteArray>();
    if (origin.size() != 2 || origin.first().toLongLong() != QCoreApplication::applicationPid())
        return -1;
    bool valid = false;
    const int row = origin.last().toInt(&valid);
    return valid ? row : -1;
}

void PageThumbnailPanel::dragEnterEvent(QDragEnterEvent* event)
{
    QListWidget::dragEnterEvent(event);
    if (draggedRow(event->mimeData()) >= 0)
        event->acceptProposedAction();
}

void PageThumbnailPanel::dragMoveEvent(QDragMoveEvent* event)
{
    QListWidget::dragMoveEvent(event);
    if (draggedRow(event->mimeData()) >= 0)
        event->acceptProposedAction();
}

void PageThumbnailPanel::dropEvent(QDropEvent* event)
{
    if (!m_pageRequestsEnabled) {
        event->ignore();
        return;
    }
    if (!moveDroppedRow(event))
        QListWidget::dropEvent(event);
}

bool PageThumbnailPanel::moveDroppedRow(QDropEvent* event)
{
    const int from = draggedRow(event->mimeData());
    if (from < 0)
        return false;
    // Copy, not move: the drag source must not remove the dragged item afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const int to = dropTargetRow(event->position().toPoint());
    if (from >= count() || to < 0 || from == to)
        return true;
    QListWidgetItem* moved = takeItem(from);
    insertItem(to, moved);
    renumberItems();
    {
        const QSignalBlocker quiet(this);
        setCurrentRow(to);
    }
    m_currentPage = to;
    doItemsLayout();
    emit movePageRequested(from, to);
    return true;
}

// The row whose icon is under the point, else the nearest one.
int PageThumbnailPanel::dropTargetRow(const QPoint& position) const
{
    if (QListWidgetItem* hit = itemAt(position))
        return row(hit);
    int best = -1;
    qreal bestDistance = 0;
    for (int i = 0; i < count(); ++i) {
        const QPointF centre = visualItemRect(item(i)).center();
        const qreal distance = QLineF(centre, QPointF(position)).length();
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void PageThumbnailPanel::setPageRequestsEnabled(bool enabled)
{
    m_pageRequestsEnabled = enabled;
    setDragDropMode(enabled ? QAbstractItemView::InternalMove : QAbstractItemView::NoDragDrop);
}

void PageThumbnailPanel::contextMenuEvent(QContextMenuEvent* event)
{
    QListWidgetItem* hit = itemAt(event->pos());
    if (!hit || !m_document || !m_pageRequestsEnabled)
        return;
    const int row = this->row(hit);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("thumbnailContextMenu"));
    QAction* insertBefore = menu.addAction(text(QStringLiteral("Вставить страницу перед...")));
    QAction* insertAfter = menu.addAction(text(QStringLiteral("Вставить страницу после...")));
    menu.addSeparator();
    QAction* importBefore = menu.addAction(text(QStringLiteral("Импортировать перед этой страницей...")));
    QAction* importAfter = menu.addAction(text(QStringLiteral("Импортировать после этой страницы...")));
    menu.addSeparator();
    QAction* remove = menu.addAction(text(QStringLiteral("Удалить страницу")));
    remove->setEnabled(count() >= 2);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == insertBefore)
        emit insertPageRequested(row);
    else if (chosen == insertAfter)
        emit insertPageRequested(row + 1);
    else if (chosen == importBefore)
        emit importPageRequested(row);
    else if (chosen == importAfter)
        emit importPageRequested(row + 1);
    else if (chosen == remove)
        emit deletePageRequested(row);
}

void PageThumbnailPanel::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    scheduleVisibleThumbnails();
}

void PageThumbnailPanel::showEvent(QShowEvent* event)
{
    QListWidget::showEvent(event);
    scheduleVisibleThumbnails();
}

// A new theme brings new selection colours for the current page's card.
void PageThumbnailPanel::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_currentPage >= 0)
        updateThumbnailIcon(m_currentPage);
}

void PageThumbnailPanel::setTextTranslator(std::function<QString(const QString&)> translate)
{
    m_translate = std::move(translate);
    relabelPages();
}

void PageThumbnailPanel::relabelPages()
{
    for (int row = 0; row < count(); ++row)
        item(row)->setText(pageLabel(row));
}

QString PageThumbnailPanel::text(const QString& source) const
{
    return m_translate ? m_translate(source) : source;
}

QString PageThumbnailPanel::pageLabel(int page) const
{
    return text(QStringLiteral("Стр. %1")).arg(page + 1);
}
