#pragma once
// Which glyph each code of a simple font without widths of its own draws:
// its encoding (a named one, or a base encoding and its differences) read as
// the Unicode letters the standard fonts' metrics are looked up by.


#include <array>
#include <functional>
#include <string>

class QPDFObjectHandle;

namespace pdfengine {

// The letter of a glyph name of the standard Latin set, or of a "uniXXXX"
// name; 0 when unknown.
char16_t glyphNameLetter(const std::string& name);

// Each code an encoding's /Differences (or an encoding given as that array
// alone) names a glyph for, 0..255, with the glyph's name, slash and all.
void forEachDifference(QPDFObjectHandle encoding, const std::function<void(unsigned, const std::string&)>& each);

// The letter each code 0..255 draws under encoding (the font's /Encoding),
// 0 where none or unknown. A font's own encoding, where the file names
// none, is StandardEncoding for the standard text faces.
std::array<char16_t, 256> encodedLetters(QPDFObjectHandle encoding);

// Whether a WinAnsi code draws the letter.
bool inWinAnsi(char16_t letter);

// Widths (thousandths) of glyphs of the standard text faces that no
// WinAnsi code reaches (the ligatures, the minus), by face and letter; -1
// when not known.
double standardExtraWidth(const std::string& baseFont, char16_t letter);

}  // namespace pdfengine
