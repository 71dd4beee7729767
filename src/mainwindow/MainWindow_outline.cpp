// The outline panel: the active document's bookmarks as a tree; a click goes
// to a bookmark's page or, without one, opens its link by the link rule.
#include "MainWindow.h"

#include "ExternalLinks.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QTreeWidget>
#include <QUrl>
#include <QVariant>

#include <optional>

namespace {

constexpr int kUrlRole = Qt::UserRole + 1;
constexpr int kSpotLeftRole = Qt::UserRole + 2;  // the destination as the file gives it; unset: open
constexpr int kSpotTopRole = Qt::UserRole + 3;

QVariant spotValue(const std::optional<double>& value)
{
    return value ? QVariant(*value) : QVariant();
}

std::optional<double> spotValue(const QVariant& value)
{
    return value.isValid() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

} // namespace

void MainWindow::refreshOutlinePanel()
{
    if (!outlineTree)
        return;
    outlineTree->clear();
    const QList<PdfDocument::OutlineItem> items = isDocumentLoaded() ? document->outline()
                                                                     : QList<PdfDocument::OutlineItem>();
    appendOutlineItems(items, nullptr);
    const bool empty = outlineTree->topLevelItemCount() == 0;
    outlineTree->setVisible(!empty);
    if (auto* emptyLabel = qobject_cast<QWidget*>(outlineTree->property("emptyLabel").value<QObject*>()))
        emptyLabel->setVisible(empty);
}

void MainWindow::appendOutlineItems(const QList<PdfDocument::OutlineItem>& items, QTreeWidgetItem* parent)
{
    if (!outlineTree)
        return;
    for (const PdfDocument::OutlineItem& entry : items) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(outlineTree);
        item->setData(0, Qt::DisplayRole,
                      entry.title.isEmpty() ? tr("Страница %1").arg(entry.pageIndex + 1) : entry.title);
        item->setData(0, Qt::UserRole, entry.pageIndex);
        item->setData(0, kUrlRole, entry.url.isEmpty() ? QString() : entry.url.toString());
        item->setData(0, kSpotLeftRole, spotValue(entry.spot.left));
        item->setData(0, kSpotTopRole, spotValue(entry.spot.top));
        if (entry.pageIndex >= 0)
            item->setData(0, Qt::ToolTipRole, tr("Перейти на страницу %1").arg(entry.pageIndex + 1));
        else if (entry.url.isValid())
            item->setData(0, Qt::ToolTipRole, entry.url.toString());
        appendOutlineItems(entry.children, item);
        if (!entry.children.isEmpty())
            item->setExpanded(true);
    }
}

// A page takes precedence over a link; a link opens only by the link rule.
// The page shows where the bookmark leads on it, its heading at the top.
void MainWindow::onOutlineItemActivated(QTreeWidgetItem* item, int)
{
    if (!item || !isDocumentLoaded())
        return;
    const int page = item->data(0, Qt::UserRole).toInt();
    if (page >= 0 && page < document->pageCount()) {
        const PdfDocument::PageSpot spot{spotValue(item->data(0, kSpotLeftRole)),
                                         spotValue(item->data(0, kSpotTopRole))};
        const PdfDocument::PageSpot shown = document->spotOnPage(page, spot);
        pdfView->showPageSpot(page, shown.left, shown.top);
        return;
    }
    const QUrl url(item->data(0, kUrlRole).toString(), QUrl::TolerantMode);
    if (url.isValid() && !url.isEmpty())
        openExternalLink(this, url);
}
