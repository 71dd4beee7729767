// Search over the active document: the result list, filled on a job's thread,
// find-next and find-previous with wrapping, and showing one entry in the view.
#include "MainWindow.h"

#include "DocumentJob.h"
#include "PdfDocument.h"
#include "PdfView.h"
#include "QuietWait.h"
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

// One search over all pages on a job's thread, and who waits for its end.
struct MainWindow::SearchRun {
    QString signature;
    const PdfDocument* document = nullptr;
    quint64 revision = 0;
    std::shared_ptr<std::vector<PageMatches>> found = std::make_shared<std::vector<PageMatches>>();
    std::vector<std::function<void(int)>> waiting;
    std::unique_ptr<DocumentJob> job;  // last: stops and waits for the work before the rest goes
};

void MainWindow::showSearchDialog()
{
    auto* dialog = new SearchDialog(*this);
    dialog->present();
}

bool MainWindow::searchRunning() const
{
    return searchRun != nullptr;
}

// The matches of one page: those the last search read while the document is
// the same revision, else the engine's.
MainWindow::PageMatches MainWindow::searchPageMatches(int page, const QString& query,
                                                      const PdfDocument::FindOptions& options)
{
    const SearchPageRects& cache = searchRectCache;
    if (cache.document == document && cache.revision == document->revision() &&
        cache.signature == searchSignatureFor(query, options) && page >= 0 && page < int(cache.pages.size()))
        return cache.pages[size_t(page)];
    return document->findMatches(page, query, options);
}

// One entry per match, pages ascending, from the pages' matches.
void MainWindow::listSearchEntries()
{
    searchResults.clear();
    for (int page = 0; page < int(searchRectCache.pages.size()); ++page) {
        for (int i = 0; i < searchRectCache.pages[size_t(page)].size(); ++i)
            searchResults.append(SearchResult{page, i});
    }
}

void MainWindow::searchDocument(const QString& query, const PdfDocument::FindOptions& options,
                                std::function<void(int)> done)
{
    const QString signature = searchSignatureFor(query, options);
    currentSearchIndex = -1;
    if (!isDocumentLoaded() || query.isEmpty()) {
        stopSearch();
        searchResults.clear();
        searchSignature = signature;
        done(0);
        return;
    }
    const quint64 revision = document->revision();
    const SearchPageRects& cache = searchRectCache;
    // The pages were searched for this already and have not changed since.
    if (cache.document == document && cache.revision == revision && cache.signature == signature) {
        if (signature != searchSignature || searchResults.isEmpty())
            listSearchEntries();
        searchSignature = signature;
        done(int(searchResults.size()));
        return;
    }
    if (searchRun && searchRun->signature == signature && searchRun->document == document &&
        searchRun->revision == revision) {
        searchRun->waiting.push_back(std::move(done));
        waitForSearchBriefly();
        return;
    }
    stopSearch();
    searchResults.clear();
    searchSignature = signature;
    startSearchRun(query, options, std::move(done));
    waitForSearchBriefly();
}

void MainWindow::startSearchRun(const QString& query, const PdfDocument::FindOptions& options,
                                std::function<void(int)> done)
{
    auto run = std::make_shared<SearchRun>();
    run->signature = searchSignatureFor(query, options);
    run->document = document;
    run->revision = document->revision();
    run->waiting.push_back(std::move(done));
    run->job = std::make_unique<DocumentJob>(sharedCurrentDocument());
    connect(run->job.get(), &DocumentJob::progress, this, &MainWindow::searchProgress);
    connect(run->job.get(), &DocumentJob::finished, this, &MainWindow::finishSearchRun);
    const int pages = document->pageCount();
    run->job->start([found = run->found, query, options, pages](DocumentJob::Control& control) {
        found->reserve(size_t(std::max(pages, 0)));
        for (int page = 0; page < pages; ++page) {
            if (!control.report(page, pages))
                return;
            found->push_back(control.document()->findMatches(page, query, options));
        }
        control.report(pages, pages);
    });
    searchRun = std::move(run);
    emit searchProgress(0, pages);
}

// A search that ends within the quiet time finishes before the call
// returns; a longer one goes on while the window is used.
void MainWindow::waitForSearchBriefly()
{
    if (searchRun)
        waitQuietly(this, &MainWindow::searchEnded);
}

void MainWindow::finishSearchRun(bool cancelled)
{
    if (!searchRun || sender() != searchRun->job.get())
        return;
    std::shared_ptr<SearchRun> run = std::move(searchRun);
    run->job.release()->deleteLater();
    const int pages = document && isDocumentLoaded() ? document->pageCount() : 0;
    // The tab shown now is the one searched, and every page was read.
    const bool complete = !cancelled && run->document == document && int(run->found->size()) == pages;
    if (complete) {
        searchRectCache = SearchPageRects{run->document, run->revision, run->signature, std::move(*run->found)};
        if (searchSignature == run->signature)
            listSearchEntries();
    }
    emit searchEnded();
    for (const std::function<void(int)>& waiting : run->waiting)
        waiting(complete ? int(searchResults.size()) : -1);
}

// Each caller waiting for the running search learns it was stopped (-1).
void MainWindow::stopSearch()
{
    if (!searchRun)
        return;
    std::shared_ptr<SearchRun> run = std::move(searchRun);
    run->job.reset();
    emit searchEnded();
    for (const std::function<void(int)>& waiting : run->waiting)
        waiting(-1);
}

// The window goes: nobody is told.
void MainWindow::dropSearchRun()
{
    if (searchRun)
        searchRun->waiting.clear();
    searchRun.reset();
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
    const int count = int(searchResults.size());
    if (signature == searchSignature && count > 0) {
        int index = 0;
        if (currentSearchIndex < 0 || currentSearchIndex >= count)
            index = firstSearchResultFromPage(pdfView->currentPage(), backward);
        else if (backward)
            index = currentSearchIndex - 1 < 0 ? count - 1 : currentSearchIndex - 1;
        else
            index = currentSearchIndex + 1 >= count ? 0 : currentSearchIndex + 1;
        showFoundEntry(index, query, options);
        return;
    }
    searchDocument(query, options, [this, query, options, backward](int found) {
        if (found < 0) {
            setStatusText(tr("Поиск остановлен"));
            return;
        }
        showFoundEntry(firstSearchResultFromPage(pdfView->currentPage(), backward), query, options);
    });
}

void MainWindow::showFoundEntry(int index, const QString& query, const PdfDocument::FindOptions& options)
{
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
    const PageMatches matches = searchPageMatches(entry.page, query, options);
    if (matches.isEmpty()) {
        pdfView->clearSearchHighlights();
        return;
    }
    const int hit = std::clamp(entry.index, 0, int(matches.size()) - 1);
    int ordinal = 0;
    for (int i = 0; i <= index; ++i) {
        if (searchResults[i].page == entry.page)
            ++ordinal;
    }
    QList<QRectF> rects;
    int first = 0;
    for (int i = 0; i < matches.size(); ++i) {
        if (i == hit)
            first = int(rects.size());
        rects += matches[i];
    }
    currentSearchIndex = index;
    currentSearchResult = SearchResult{entry.page, hit};
    pdfView->setCurrentPage(entry.page);
    pdfView->setSearchHighlights(entry.page, rects, first, int(matches[hit].size()));
    setStatusText(tr("«%1» — стр. %2 (%3/%4), всего %5")
                      .arg(query)
                      .arg(entry.page + 1)
                      .arg(ordinal)
                      .arg(matches.size())
                      .arg(searchResults.size()));
}
