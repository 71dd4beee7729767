#pragma once
// Fonts for text written into a document: which face a style gets, and the
// pdfium fonts loaded from those faces, each embedded as a subset of its glyphs.

#include "FontFiles.h"
#include "FontWeightEvidence.h"
#include "PdfEngineInternal.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace pdfengine {

struct FontStyle {
    bool bold = false;
    bool italic = false;
};
// Bold and italic of a PDF font from its base name, descriptor flags, what
// the font itself shows of its weight (its glyphs' widths, its program) and,
// only where that shows nothing, pdfium's weight (0 unknown), which is
// guessed from the stems; TeX names such as "CMBX12" or "CMTI10" say all.
FontStyle pdfFontStyle(const QString& fontName, int weight, int flags, WeightVerdict shown = WeightVerdict::Unknown);
// Bold and italic of character index of a text page, by the rule above.
std::pair<bool, bool> boldItalicOf(FPDF_TEXTPAGE textPage, int index, const QString& fontName, int weight,
                                   WeightVerdict shown = WeightVerdict::Unknown);

// The fonts of one pdfium document. Handles die with the document, so this
// lives exactly as long as it (the owner drops it before closing). Callers
// hold the pdfium lock.
class WriterFonts {
public:
    explicit WriterFonts(FPDF_DOCUMENT doc);
    ~WriterFonts();
    WriterFonts(const WriterFonts&) = delete;
    WriterFonts& operator=(const WriterFonts&) = delete;

    enum class Drawn { Visibly, Invisibly };
    // A font that draws every character of text in family and style: the
    // first face of writerFontFiles that loads and covers the text, embedded
    // as a subset (the characters written so far plus common Latin and
    // Cyrillic); else a standard font when the text fits its encoding. Null,
    // with lastError(), when nothing draws the text. Invisible text is never
    // refused for want of glyphs: it takes the face that covers most of it.
    FPDF_FONT fontFor(const QString& family, bool bold, bool italic, const QString& text,
                      Drawn drawn = Drawn::Visibly);
    QString lastError() const { return m_lastError; }

    // The document was read again (after a save or an edit of its bytes):
    // fonts loaded into the old one are gone, but the subsets written before
    // stand in doc, in the program's own text of pages, and are used again
    // rather than embedded a second time. Faces stay loaded.
    void rebind(FPDF_DOCUMENT doc, std::vector<int> pages);
    // Text is about to be written on the page: subsets drawn there before count.
    void notePage(int pageIndex);

private:
    struct Face;
    Face* faceAt(const QString& path);
    FPDF_FONT fontFromFace(Face& face, const std::vector<char32_t>& needed);
    FPDF_FONT fontCoveringMost(const std::vector<Face*>& faces, const std::vector<char32_t>& needed);
    FPDF_FONT standardFont(const QByteArray& name);
    bool findWrittenFont(Face& face);

    FPDF_DOCUMENT m_doc;
    std::map<QString, std::unique_ptr<Face>> m_faces;  // a file that is no font stays, marked broken
    std::map<QByteArray, FontPtr> m_standardFonts;
    std::vector<int> m_writtenPages;  // where subsets written before may stand
    QString m_lastError;
};

} // namespace pdfengine
