// Search over the active document: the result list, find-next and
// find-previous with wrapping, and showing one entry in the view.
#include "MainWindow.h"

#include "PdfDocument.h"
#include "PdfView.h"
#include "SearchDialog.h"

namespace {

constexpr QChar kUnitSeparator(0x1F);

QString searchSignatureFor(const QString& query, const PdfDocument::FindOptions& options)
{
    QString signature = query;
    signature += kUnitSeparator;
    signature += options.matchCase ? QStringLiteral("case") : QStringLiteral("nocase");
    signature += kUnitSeparator;
    signature += options.wholeWord ? QStringLiteral("word") : QStringLiteral("any");
    signature += kUnitSeparator;
    signature += options.useRegex ? QStringLiteral("regex") : QStringLiteral("plain");
    return signature;
}

} // namespace

void MainWindow::showSearchDialog()
{
    auto* dialog = new SearchDialog(*this);
    dialog->present();
}

// The rectangles of one page: those the last rebuild read while the document
// is the same revision, else the engine's.
QList<QRectF> MainWindow::searchPageRects(int page, const QString& query, const PdfDocument::FindOptions& options)
{
    const SearchPageRects& cache = searchRectCache;
    if (cache.document == document && cache.revision == document->revision() &&
        cache.signature == searchSignatureFor(query, options) && page >= 0 && page < int(cache.pages.size()))
        return cache.pages[size_t(page)];
    return document->findTextWithOptions(page, query, options);
}

int MainWindow::rebuildSearchResults(const QString& query, const PdfDocument::FindOptions& options)
{
    const QString signature = searchSignatureFor(query, options);
    SearchPageRects& cache = searchRectCache;
    const bool cached = isDocumentLoaded() && cache.document == document && cache.revision == document->revision() &&
                        cache.signature == signature;
    currentSearchIndex = -1;
    // The list this search filled, unchanged since, is already the rebuild's result.
    if (cached && signature == searchSignature && !searchResults.isEmpty() && !query.isEmpty())
        return int(searchResults.size());
    searchResults.clear();
    searchSignature = signature;
    if (!isDocumentLoaded() || query.isEmpty())
        return 0;
    const quint64 revision = document->revision();
    if (!cached) {
        cache = SearchPageRects{document, revision, searchSignature, {}};
        const int count = document->pageCount();
        cache.pages.reserve(size_t(std::max(count, 0)));
        for (int page = 0; page < count; ++page)
            cache.pages.push_back(document->findTextWithOptions(page, query, options));
    }
    for (int page = 0; page < int(cache.pages.size()); ++page) {
        for (int i = 0; i < cache.pages[size_t(page)].size(); ++i)
            searchResults.append(SearchResult{page, i});
    }
    return int(searchResults.size());
}

int MainWindow::firstSearchResultFromPage(int page, bool backward) const
{
    if (searchResults.isEmpty())
        return -1;
    if (!backward) {
        for (int i = 0; i < searchResults.size(); ++i) {
            if (searchResults[i].page >= page)
                return i;
        }
        return 0;
    }
    for (int i = int(searchResults.size()) - 1; i >= 0; --i) {
        if (searchResults[i].page <= page)
            return i;
    }
    return int(searchResults.size()) - 1;
}

void MainWindow::onFindNext(const QString& query, bool matchCase, bool wholeWord, bool useRegex, bool backward)
{
    if (!isDocumentLoaded() || query.isEmpty())
        return;
    searchQuery = query;
    const PdfDocument::FindOptions options{matchCase, wholeWord, useRegex};
    const QString signature = searchSignatureFor(query, options);
    int index = -1;
    const int count = int(searchResults.size());
    if (signature == searchSignature && count > 0) {
        if (currentSearchIndex < 0 || currentSearchIndex >= count)
            index = firstSearchResultFromPage(pdfView->currentPage(), backward);
        else if (backward)
            index = currentSearchIndex - 1 < 0 ? count - 1 : currentSearchIndex - 1;
        else
            index = currentSearchIndex + 1 >= count ? 0 : currentSearchIndex + 1;
    } else {
        rebuildSearchResults(query, options);
        index = firstSearchResultFromPage(pdfView->currentPage(), backward);
    }
    currentSearchIndex = index;
    if (index < 0) {
        pdfView->clearSearchHighlights();
        searchResults.clear();
        searchSignature.clear();
        currentSearchIndex = -1;
        setStatusText(tr("«%1» — не найдено").arg(query));
        return;
    }
    activateSearchResult(index, query, options);
}

void MainWindow::activateSearchResult(int index, const QString& query, const PdfDocument::FindOptions& options)
{
    if (!isDocumentLoaded() || index < 0 || index >= searchResults.size()) {
        pdfView->clearSearchHighlights();
        return;
    }
    const SearchResult entry = searchResults[index];
    const QList<QRectF> rects = searchPageRects(entry.page, query, options);
    if (rects.isEmpty()) {
        pdfView->clearSearchHighlights();
        return;
    }
    const int hit = std::clamp(entry.index, 0, int(rects.size()) - 1);
    int ordinal = 0;
    for (int i = 0; i <= index; ++i) {
        if (searchResults[i].page == entry.page)
            ++ordinal;
    }
    currentSearchIndex = index;
    currentSearchResult = SearchResult{entry.page, hit};
    pdfView->setCurrentPage(entry.page);
    pdfView->setSearchHighlights(entry.page, rects, hit);
    setStatusText(tr("«%1» — стр. %2 (%3/%4), всего %5")
                      .arg(query)
                      .arg(entry.page + 1)
                      .arg(ordinal)
                      .arg(rects.size())
                      .arg(searchResults.size()));
}
