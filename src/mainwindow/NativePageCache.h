#pragma once
// The native text and images of the pages shown last, kept per document
// revision: extracting them loads, walks and renders the page, far too slow
// to repeat on every page change.

#include "TextBlock.h"

#include <QSizeF>
#include <QtGlobal>

#include <vector>

class PdfDocument;

class NativePageCache {
public:
    // Also the size, so a page taken from here waits for no engine call
    // (the view's render worker may hold the engine).
    struct Page {
        std::vector<TextBlock> text;
        std::vector<TextBlock> images;
        QSizeF size;
        // Most drawn glyphs mean nothing (a legacy font without a Unicode
        // map); the page offers text only through a hidden layer over them.
        bool drawnTextMeansNothing = false;
        bool offersText = true;
    };

    static constexpr int kCapacity = 12;

    // The page's blocks, extracted now unless the document's current revision
    // has them already. Revisions are unique across documents, so a document
    // at a freed one's address never gets its pages.
    const Page& page(const PdfDocument& document, int index);
    void clear() { entries.clear(); }
    // The document changed: what was read from it goes.
    void forget(const PdfDocument& document)
    {
        std::erase_if(entries, [&document](const Entry& e) { return e.document == &document; });
    }

private:
    struct Entry {
        const PdfDocument* document = nullptr;
        quint64 revision = 0;
        int index = -1;
        Page page;
    };
    std::vector<Entry> entries;  // the latest use last
};
