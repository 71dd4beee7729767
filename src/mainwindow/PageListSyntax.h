#pragma once

#include <QList>
#include <QString>

// The page tools' rules that need no window.

// The 0-based pages a list such as "1, 3-5, 7" names in a document of
// pageCount pages, in written order with repetitions. A range "a-b" runs
// upwards from a (1 when a is missing) and stops at the last page; "5-" and
// "5-3" name nothing; pages outside the document are dropped.
QList<int> parsePageList(const QString& text, int pageCount);

// The distinct pages of a list, highest first: the order they are deleted in.
QList<int> distinctPagesHighestFirst(const QList<int>& pages);

// The page tools' insert positions: after the current page, before it, at
// the end.
enum PageToolsPosition : int {
    PageToolsAfterCurrent = 0,
    PageToolsBeforeCurrent = 1,
    PageToolsAtEnd = 2,
};

// Where the inserted pages start for a position of the page tools' combo.
int pageToolsInsertIndex(int position, int currentPage, int pageCount);
