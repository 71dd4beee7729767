#include "PageListSyntax.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace {

int numberOf(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

void appendRange(const QString& part, int pageCount, QList<int>* pages)
{
    const qint64 first = qint64(numberOf(part.section(QLatin1Char('-'), 0, 0))) - 1;
    const qint64 last = qint64(numberOf(part.section(QLatin1Char('-'), 1, 1))) - 1;
    for (qint64 index = first; index <= last; ++index) {
        if (index < 0)
            continue;
        if (index >= pageCount)
            break;
        pages->append(int(index));
    }
}

} // namespace

QList<int> parsePageList(const QString& text, int pageCount)
{
    QList<int> pages;
    const QStringList parts = text.trimmed().split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString& raw : parts) {
        const QString part = raw.trimmed();
        if (!part.isEmpty() && part.contains(QLatin1Char('-'))) {
            appendRange(part, pageCount, &pages);
            continue;
        }
        const int index = numberOf(part) - 1;
        if (index >= 0 && index < pageCount)
            pages.append(index);
    }
    return pages;
}

QList<int> distinctPagesHighestFirst(const QList<int>& pages)
{
    const QSet<int> seen(pages.begin(), pages.end());
    QList<int> distinct(seen.begin(), seen.end());
    std::sort(distinct.begin(), distinct.end(), std::greater<int>());
    return distinct;
}

int pageToolsInsertIndex(int position, int currentPage, int pageCount)
{
    switch (position) {
    case PageToolsAfterCurrent:
        return currentPage + 1;
    case PageToolsBeforeCurrent:
        return currentPage;
    default:
        return pageCount;
    }
}
