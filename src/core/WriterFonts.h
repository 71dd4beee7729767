#pragma once
// Fonts for text written into a document: which font file or standard font a
// style gets, and the loaded pdfium fonts.

#include "PdfEngineInternal.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

namespace pdfengine {

// Font files tried for text, in order, for the style asked for.
QStringList fontFileCandidates(bool bold, bool italic);
// Standard-14 font used when no font file can be loaded.
QByteArray standardFontFor(const QString& family, bool bold, bool italic);
// Tests point the font lookup at another root (empty: the real file system).
void setFontRootForTesting(const QString& root);

class WriterFonts {
public:
    explicit WriterFonts(FPDF_DOCUMENT doc);
    ~WriterFonts();
    WriterFonts(const WriterFonts&) = delete;
    WriterFonts& operator=(const WriterFonts&) = delete;

    // The font for text in family and style: the first candidate file that
    // opens decides, its bytes or, failing that, the standard font. Null when
    // nothing loads. Each font is loaded once.
    FPDF_FONT fontFor(const QString& family, bool bold, bool italic);

private:
    FPDF_DOCUMENT m_doc;
    std::map<QString, FontPtr> m_fonts;  // a refused file is remembered as null
};

} // namespace pdfengine
