#pragma once
// What the content-stream editor needs of a font to place its glyphs: how
// many bytes make a code, each code's advance and where the middle of a
// glyph stands, all in text space per unit of font size.

#include <QPointF>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QPDFObjectHandle;

namespace pdfengine {

class PdfFontMetrics {
public:
    // Advance (thousandths of the size) of a glyph of a standard font
    // without widths of its own, by its letter (a symbol face's: by its
    // code); negative when unknown.
    using StandardWidths = std::function<double(const std::string& baseFont, char16_t glyph)>;

    // Reads a font dictionary; may throw qpdf's exceptions on a damaged file.
    static PdfFontMetrics read(QPDFObjectHandle font, const StandardWidths& standardWidths);

    // Empty when every code can be placed; else why not.
    QString problem() const { return m_problem; }
    int codeBytes() const { return m_codeBytes; }
    double advance(unsigned code) const;
    // The advance as pdfium places glyphs by it: the widths of /Widths, /W
    // and /DW taken as whole thousandths, cut (it reads them as integers),
    // a Type 3 face's rounded to a thousandth of its glyph space.
    double readerAdvance(unsigned code) const;
    double centreRise() const { return m_centreRise; }
    // Where the middle of code's glyph stands from its origin: the middle of
    // the box a Type 3 glyph declares, else half its advance at centreRise.
    QPointF centre(unsigned code) const;

private:
    void readSimpleWidths(QPDFObjectHandle font, const StandardWidths& standardWidths);
    void readCidWidths(QPDFObjectHandle font);
    void readType3Boxes(QPDFObjectHandle font, const std::vector<double>& matrix);

    QString m_problem;
    int m_codeBytes = 1;
    double m_unit = 0.001;  // width units to text space
    double m_centreRise = 0.3;
    unsigned m_firstChar = 0;
    std::vector<double> m_widths;
    double m_missingWidth = 0;
    std::map<unsigned, double> m_cidWidths;
    std::map<unsigned, double> m_standard;  // widths of a standard font, by code
    double m_defaultWidth = 1000;
    bool m_cid = false;
    std::map<unsigned, QPointF> m_boxCentres;  // Type 3 glyphs that declare their box (d1)
};

}  // namespace pdfengine
