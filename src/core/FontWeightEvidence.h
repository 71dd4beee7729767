#pragma once
// Whether a page's font is bold, from what the font itself shows: the widths
// its glyphs are drawn with and the style bits of its embedded program. The
// weight pdfium reports is guessed from the descriptor's StemV, which some
// producers write alike for every face (ghostscript: 137 for a regular
// Liberation Serif), so it cannot tell regular from bold on its own.

#include <QByteArray>
#include <QString>

#include <vector>

namespace pdfengine {

enum class WeightVerdict { Unknown, Regular, Bold };

// One character as the page draws it: its advance in thousandths of the size.
struct DrawnAdvance {
    char32_t code = 0;
    double advance = 0;
};

// Compares the advances with those of the regular and the bold face of the
// font's metric twin (Liberation for Times, Helvetica, Arial and the like);
// Unknown for other families, or when too few characters tell the faces apart
// or neither face fits clearly better.
WeightVerdict weightFromAdvances(const QString& fontName, bool italic, const std::vector<DrawnAdvance>& drawn);

// The bold bit of an embedded TrueType or OpenType program ('head' macStyle);
// Unknown for other programs or an unreadable one.
WeightVerdict weightFromFontProgram(const QByteArray& program);

} // namespace pdfengine
