#include "NativePageCache.h"

#include "PdfDocument.h"

#include <algorithm>

const NativePageCache::Page& NativePageCache::page(const PdfDocument& document, int index)
{
    const quint64 revision = document.revision();
    // Pages of older revisions never come back.
    std::erase_if(entries, [&](const Entry& e) { return e.document == &document && e.revision != revision; });
    const auto hit = std::find_if(entries.begin(), entries.end(),
                                  [&](const Entry& e) { return e.document == &document && e.index == index; });
    if (hit != entries.end()) {
        std::rotate(hit, hit + 1, entries.end());
        return entries.back().page;
    }
    if (entries.size() >= size_t(kCapacity))
        entries.erase(entries.begin());
    const PdfDocument::GlyphMeaning glyphs = document.glyphMeaning(index);
    Entry entry{&document,
                revision,
                index,
                {document.extractText(index), document.extractImages(index), document.pageSize(index),
                 glyphs.drawnTextMeansNothing(), !glyphs.offersNoText()}};
    // A write while extracting makes what was read stale at once.
    if (document.revision() != revision)
        entry.revision = 0;
    entries.push_back(std::move(entry));
    return entries.back().page;
}
