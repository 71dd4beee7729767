#pragma once
// The pages of a folder's PDFs that a sweep edits: the first, the second and
// the middle page of each (or every page), where the window offers the page's text for
// editing (a page whose drawn text means nothing it offers only through
// recognition).

#include "PdfDocument.h"

#include <QDir>
#include <QString>

#include <set>
#include <vector>

namespace bench {

struct SweptPage {
    QString name;  // the file's name in the folder
    QString file;
    int page = 0;
};

inline std::vector<SweptPage> sweptPages(const QDir& folder, bool everyPage = false)
{
    std::vector<SweptPage> pages;
    for (const QString& name : folder.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name)) {
        const QString file = folder.filePath(name);
        PdfDocument probe;
        if (!probe.open(file))
            continue;
        const int count = probe.pageCount();
        std::set<int> chosen{0, 1, count / 2};
        for (int page = 0; everyPage && page < count; ++page)
            chosen.insert(page);
        for (const int page : chosen)
            if (page < count && !probe.glyphMeaning(page).drawnTextMeansNothing())
                pages.push_back({name, file, page});
    }
    return pages;
}

}  // namespace bench
