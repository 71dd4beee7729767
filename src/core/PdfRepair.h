#pragma once

#include <QByteArray>
#include <QSizeF>
#include <QString>

#include <vector>

struct fpdf_document_t__;

namespace pdfengine {

class QpdfFile;

// The damage check a PDF goes through before pdfium sees it, and the repaired
// copy qpdf makes of a damaged one: cross-references rebuilt, a flat page tree
// of the pages that are there, objects that cannot be read dropped, stream
// data kept as it is.
//
// The check reads the cross-references, the trailer and the page tree (qpdf
// and pdfium each walk it, at once); a sound file's other objects are never
// parsed.
class PdfRepair {
public:
    enum class Verdict {
        Sound,       // use the bytes as they are
        Repaired,    // use the repaired copy
        Unreadable,  // qpdf cannot read the file at all: pdfium gets the last word
        Unrepairable,
    };

    struct Result {
        Verdict verdict = Verdict::Unreadable;
        QByteArray repaired;  // set for Repaired
        int pageCount = -1;   // pages of the repaired copy
        int sourcePages = -1; // pages qpdf finds in the file's tree
        std::vector<int> lostPages;  // indices of the file's pages the repaired copy lacks
        // The repaired copy's page list is not the tree's: a page added, a
        // loop or a repeated subtree cut, more pages than the tree's /Count.
        bool pagesChanged = false;
        bool keepsTree = false;  // every page the tree names is in the repaired copy
        QString reason;       // why the file counts as damaged, or why it cannot be repaired
    };

    // How the pages of a loaded document stand against the file's page tree.
    struct SourcePages {
        std::vector<int> lost;  // indices of the file's pages the document lacks
        bool changed = false;   // the document's page list differs from the tree's in number or order
    };

    // Checks bytes and repairs them when they are damaged.
    static Result examine(const QByteArray& bytes);
    // The repaired copy whatever the check says (pdfium found damage qpdf did
    // not); Unrepairable or Unreadable with the reason when qpdf cannot make one.
    static Result repair(const QByteArray& bytes);

    // A pdfium document over bytes after the whole check (the caller holds
    // the engine lock and owns the result): the file as it is when sound,
    // else its repaired copy. *used receives the bytes pdfium reads, which
    // must outlive the document. A repair that keeps fewer pages than pdfium
    // reads from the file as it is loses to the file. Null with the reason
    // when neither loads.
    // *sizes, when given, receives every page's size read on the way.
    // *damagedAsIs, when given, tells that the bytes used are damaged: pdfium
    // reads them, qpdf could not repair them. *source, when given, receives
    // how the document's pages stand against the file's tree. A repaired
    // copy that keeps every page of the tree wins over a file from which
    // pdfium reads more (a subtree listed twice).
    static fpdf_document_t__* loadChecked(const QByteArray& bytes, QByteArray* used, bool* repaired, QString* error,
                                          std::vector<QSizeF>* sizes = nullptr, bool* damagedAsIs = nullptr,
                                          SourcePages* source = nullptr);

    // pdfium's side of the check (the caller holds the engine lock): every
    // page of the tree is found on its own, by index. *sizes, when given,
    // receives the pages' sizes in points.
    static bool pageTreeLoads(fpdf_document_t__* doc, std::vector<QSizeF>* sizes = nullptr);
    // Whether the content streams of page pageIndex of the parsed file decode
    // and read as tokens without an error: pdfium writes a page again from what it
    // read of it, so a page read only in part would lose the rest. A file
    // qpdf could not read at all (not loaded) is left to pdfium (true).
    static bool pageContentReadable(QpdfFile& file, int pageIndex);
    // The reason given for a page whose content cannot be written.
    static QString unregenerableText(int pageIndex);
};

}  // namespace pdfengine
