#pragma once
// The bytes a save is about to put in the user's file, read back first: by
// qpdf, so that a file only pdfium still opens never replaces one that other
// programs read; and page by page against the document as it was read, so
// that what the user did not touch is kept and what the user wrote is there.

#include "GlyphSpots.h"
#include "TurnedBox.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace pdfengine {

// What the user changed on a page since it was read, in displayed-page
// points of the page as it was turned then.
struct PageEdit {
    std::vector<TurnedBox> edited;   // areas the edits rewrote
    std::vector<TurnedBox> kept;     // lines left as they stand
    std::vector<TurnedBox> cleared;  // old places cleared on purpose
    QStringList texts;               // written text, each read back inside the edited areas and ...
    std::vector<TurnedBox> textBoxes;  // ... its block's box (the lines a write leaves stand there)
    bool placesKnown = true;         // false: objects were added where the areas do not say
    bool textKept = true;            // false: text outside the areas went on purpose (a hidden layer)
    int quarterTurns = 0;            // the page's /Rotate when it was edited
    std::vector<MovedBox> moved;     // text only moved: it looks where it went as where it stood
    // The words the user left in lines corrected where they stand: each
    // looks where it went (or stayed) as where it stood.
    std::vector<KeptWordPlace> keptWords;
    std::vector<TurnedBox> deleted;  // places of deleted blocks: no letter of the page's own stays there
    // The page's own glyphs the edits took away or moved, where they knew
    // them (default user space): the page's characters are then compared
    // everywhere but in textEdited, those aside.
    bool glyphsKnown = false;
    std::vector<TakenGlyph> taken;
    std::vector<TurnedBox> textEdited;

    // Takes a later edit of the same page in: its areas add to these, and a
    // text written before stays only where the page's blocks still hold it.
    // Text moved again moves on from where it went; text written over
    // where it went is no longer the moved text.
    void add(const PageEdit& later, const QStringList& blockTexts);
    // The same places as the page turned quarterTurns shows them (userBox:
    // its visible box in user space), for a later edit made on the page
    // turned otherwise.
    void turnTo(int turns, const QRectF& userBox);

private:
    void addMoves(const PageEdit& later);
    void addTaken(const PageEdit& later);
    void addKeptWords(const PageEdit& later);
};

// A page of the written file: the page of the source it shows (-1: made
// since the source was read) and what the user changed on it. A page put
// in from another file shows page source of from, the bytes it was read
// from, and is compared with that page.
struct SavedPage {
    int source = -1;
    const PageEdit* edit = nullptr;
    const QByteArray* from = nullptr;
};

// What a written file holds of the document otherwise on purpose.
enum class WrittenCopy {
    Whole,               // every page and attached file as the document holds them
    Pages,               // the pages listed only: attached files stay behind
    PicturesReencoded,   // every page, its pictures encoded anew
};

class SavedFileCheck {
public:
    // Empty when qpdf reads bytes without damage and finds pages pages in
    // them; else why the bytes must not be written.
    static QString problem(const QByteArray& bytes, int pages);

    // The same, and each written page against source (the bytes the
    // document was read from, may be empty): an untouched page has the
    // source page's decoded content, resources and annotations; a changed one every
    // resource its content names, its written texts inside the edited areas
    // and, drawn by pdfium, nothing else changed; a line only moved looks
    // where it went as where it stood, drawn by pdfium and by poppler.
    // Callers hold the pdfium lock. A copy whose pictures were encoded anew
    // has them compared by kind only, and its changed pages by the names
    // they look up only: their drawing differs where the pictures do.
    static QString problem(const QByteArray& bytes, const QByteArray& source, const std::vector<SavedPage>& pages,
                           WrittenCopy copy = WrittenCopy::Whole);

    // Pages copied into bytes from source (each page's source, -1 for a
    // page not copied), before they are put in: empty when each shows what
    // its page of source shows (the same content, every resource it names,
    // its annotations and the files they carry), else why it does not,
    // naming the page by its number in source. Callers hold the pdfium lock.
    static QString copyProblem(const QByteArray& bytes, const QByteArray& source, const std::vector<SavedPage>& pages);

    // Tests only: changes the bytes every later check is given, to stand for
    // a writer that made a faulty file. An empty function ends it.
    static void setFaultForTests(std::function<void(QByteArray&)> fault);
    // The bytes as the fault, when one is set, makes them.
    static void applyFaultForTests(QByteArray& bytes);
};

}  // namespace pdfengine
