#include "StandardEncodings.h"

#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>

namespace pdfengine {

namespace {

constexpr int kMostDifferences = 4096;

// Windows code page 1252 over 0x80..0x9F; elsewhere its codes are Latin-1.
constexpr char16_t kWinAnsiHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// StandardEncoding over 0xA0..0xFF (ASCII below, but for its quotes).
constexpr char16_t kStandardHigh[96] = {
    0,      0x00A1, 0x00A2, 0x00A3, 0x2044, 0x00A5, 0x0192, 0x00A7, 0x00A4, 0x0027, 0x201C, 0x00AB,
    0x2039, 0x203A, 0xFB01, 0xFB02, 0,      0x2013, 0x2020, 0x2021, 0x00B7, 0,      0x00B6, 0x2022,
    0x201A, 0x201E, 0x201D, 0x00BB, 0x2026, 0x2030, 0,      0x00BF, 0,      0x0060, 0x00B4, 0x02C6,
    0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x00A8, 0,      0x02DA, 0x00B8, 0,      0x02DD, 0x02DB, 0x02C7,
    0x2014, 0,      0,      0,      0,      0,      0,      0,      0,      0,      0,      0,
    0,      0,      0,      0,      0,      0x00C6, 0,      0x00AA, 0,      0,      0,      0,
    0x0141, 0x00D8, 0x0152, 0x00BA, 0,      0,      0,      0,      0,      0x00E6, 0,      0,
    0,      0x0131, 0,      0,      0x0142, 0x00F8, 0x0153, 0x00DF, 0,      0,      0,      0};

// Glyph names of the printable ASCII codes, from 0x20, as WinAnsi names them.
constexpr const char* kAsciiNames[95] = {
    "space",     "exclam",      "quotedbl",     "numbersign", "dollar",     "percent",     "ampersand",
    "quotesingle", "parenleft", "parenright",   "asterisk",   "plus",       "comma",       "hyphen",
    "period",    "slash",       "zero",         "one",        "two",        "three",       "four",
    "five",      "six",         "seven",        "eight",      "nine",       "colon",       "semicolon",
    "less",      "equal",       "greater",      "question",   "at",         "A",           "B",
    "C",         "D",           "E",            "F",          "G",          "H",           "I",
    "J",         "K",           "L",            "M",          "N",          "O",           "P",
    "Q",         "R",           "S",            "T",          "U",          "V",           "W",
    "X",         "Y",           "Z",            "bracketleft", "backslash", "bracketright", "asciicircum",
    "underscore", "grave",      "a",            "b",          "c",          "d",           "e",
    "f",         "g",           "h",            "i",          "j",          "k",           "l",
    "m",         "n",           "o",            "p",          "q",          "r",           "s",
    "t",         "u",           "v",            "w",          "x",          "y",           "z",
    "braceleft", "bar",         "braceright",   "asciitilde"};

// Glyph names of Latin-1 from 0xA1.
constexpr const char* kLatinNames[95] = {
    "exclamdown", "cent",        "sterling",     "currency",      "yen",          "brokenbar",   "section",
    "dieresis",   "copyright",   "ordfeminine",  "guillemotleft", "logicalnot",   "hyphen",      "registered",
    "macron",     "degree",      "plusminus",    "twosuperior",   "threesuperior", "acute",      "mu",
    "paragraph",  "periodcentered", "cedilla",   "onesuperior",   "ordmasculine", "guillemotright", "onequarter",
    "onehalf",    "threequarters", "questiondown", "Agrave",      "Aacute",       "Acircumflex", "Atilde",
    "Adieresis",  "Aring",       "AE",           "Ccedilla",      "Egrave",       "Eacute",      "Ecircumflex",
    "Edieresis",  "Igrave",      "Iacute",       "Icircumflex",   "Idieresis",    "Eth",         "Ntilde",
    "Ograve",     "Oacute",      "Ocircumflex",  "Otilde",        "Odieresis",    "multiply",    "Oslash",
    "Ugrave",     "Uacute",      "Ucircumflex",  "Udieresis",     "Yacute",       "Thorn",       "germandbls",
    "agrave",     "aacute",      "acircumflex",  "atilde",        "adieresis",    "aring",       "ae",
    "ccedilla",   "egrave",      "eacute",       "ecircumflex",   "edieresis",    "igrave",      "iacute",
    "icircumflex", "idieresis",  "eth",          "ntilde",        "ograve",       "oacute",      "ocircumflex",
    "otilde",     "odieresis",   "divide",       "oslash",        "ugrave",       "uacute",      "ucircumflex",
    "udieresis",  "yacute",      "thorn",        "ydieresis"};

const std::map<std::string, char16_t>& namedLetters()
{
    static const std::map<std::string, char16_t> letters = [] {
        std::map<std::string, char16_t> names{
            {"quoteleft", 0x2018},     {"quoteright", 0x2019},    {"quotedblleft", 0x201C}, {"quotedblright", 0x201D},
            {"quotesinglbase", 0x201A}, {"quotedblbase", 0x201E}, {"endash", 0x2013},       {"emdash", 0x2014},
            {"bullet", 0x2022},        {"dagger", 0x2020},        {"daggerdbl", 0x2021},    {"ellipsis", 0x2026},
            {"perthousand", 0x2030},   {"guilsinglleft", 0x2039}, {"guilsinglright", 0x203A}, {"fi", 0xFB01},
            {"fl", 0xFB02},            {"minus", 0x2212},         {"fraction", 0x2044},     {"florin", 0x0192},
            {"circumflex", 0x02C6},    {"tilde", 0x02DC},         {"breve", 0x02D8},        {"dotaccent", 0x02D9},
            {"ring", 0x02DA},          {"hungarumlaut", 0x02DD},  {"ogonek", 0x02DB},       {"caron", 0x02C7},
            {"dotlessi", 0x0131},      {"Lslash", 0x0141},        {"lslash", 0x0142},       {"OE", 0x0152},
            {"oe", 0x0153},            {"Scaron", 0x0160},        {"scaron", 0x0161},       {"Zcaron", 0x017D},
            {"zcaron", 0x017E},        {"Ydieresis", 0x0178},     {"Euro", 0x20AC},         {"trademark", 0x2122}};
        for (int i = 0; i < 95; ++i) {
            names.emplace(kAsciiNames[i], char16_t(0x20 + i));
            names.emplace(kLatinNames[i], char16_t(0xA1 + i));
        }
        names["hyphen"] = 0x2D;  // Latin-1's soft hyphen shares the name
        return names;
    }();
    return letters;
}

char16_t winAnsiLetter(unsigned code)
{
    return code >= 0x80 && code < 0xA0 ? kWinAnsiHigh[code - 0x80] : code >= 0x20 ? char16_t(code) : 0;
}

char16_t standardLetter(unsigned code)
{
    if (code == 0x27)
        return 0x2019;
    if (code == 0x60)
        return 0x2018;
    return code >= 0x20 && code < 0x7F ? char16_t(code) : code >= 0xA0 && code < 0x100 ? kStandardHigh[code - 0xA0] : 0;
}

struct ExtraWidths {
    const char* face;
    double fi, fl, minus;
};

// From the standard faces' metrics.
constexpr ExtraWidths kExtraWidths[] = {
    {"Times-Roman", 556, 556, 564},     {"Times-Bold", 556, 556, 570},      {"Times-Italic", 500, 500, 675},
    {"Times-BoldItalic", 556, 556, 606}, {"Helvetica", 500, 500, 584},      {"Helvetica-Bold", 611, 611, 584},
    {"Helvetica-Oblique", 500, 500, 584}, {"Helvetica-BoldOblique", 611, 611, 584}, {"Courier", 600, 600, 600},
    {"Courier-Bold", 600, 600, 600},    {"Courier-Oblique", 600, 600, 600}, {"Courier-BoldOblique", 600, 600, 600}};

}  // namespace

char16_t glyphNameLetter(const std::string& name)
{
    const auto known = namedLetters().find(name);
    if (known != namedLetters().end())
        return known->second;
    if (name.size() == 7 && name.compare(0, 3, "uni") == 0) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(name.c_str() + 3, &end, 16);
        return *end == '\0' && value > 0 && value < 0x10000 ? char16_t(value) : 0;
    }
    return 0;
}

void forEachDifference(QPDFObjectHandle encoding, const std::function<void(unsigned, const std::string&)>& each)
{
    QPDFObjectHandle differences = encoding.isDictionary() ? encoding.getKey("/Differences") : encoding;
    if (!differences.isArray())
        return;
    long long code = -1;
    const int count = std::min(differences.getArrayNItems(), kMostDifferences);
    for (int i = 0; i < count; ++i) {
        QPDFObjectHandle item = differences.getArrayItem(i);
        if (item.isNumber()) {
            code = std::llround(item.getNumericValue());
        } else if (item.isName() && code >= 0 && code < 256) {
            each(unsigned(code), item.getName());
            ++code;
        }
    }
}

std::array<char16_t, 256> encodedLetters(QPDFObjectHandle encoding)
{
    QPDFObjectHandle base = encoding.isDictionary() ? encoding.getKey("/BaseEncoding") : encoding;
    const bool winAnsi = base.isNameAndEquals("/WinAnsiEncoding");
    const bool macRoman = base.isNameAndEquals("/MacRomanEncoding");
    std::array<char16_t, 256> letters{};
    for (unsigned code = 0; code < 256; ++code)
        letters[code] = winAnsi ? winAnsiLetter(code)
                        : macRoman ? (code >= 0x20 && code < 0x7F ? char16_t(code) : 0)  // its upper half is not read
                                   : standardLetter(code);
    forEachDifference(encoding, [&letters](unsigned code, const std::string& name) {
        letters[code] = glyphNameLetter(name.substr(1));
    });
    return letters;
}

bool inWinAnsi(char16_t letter)
{
    return (letter >= 0x20 && letter < 0x7F) || (letter >= 0xA0 && letter <= 0xFF) ||
           std::find(std::begin(kWinAnsiHigh), std::end(kWinAnsiHigh), letter) != std::end(kWinAnsiHigh);
}

double standardExtraWidth(const std::string& baseFont, char16_t letter)
{
    for (const ExtraWidths& face : kExtraWidths)
        if (baseFont == face.face)
            return letter == 0xFB01 ? face.fi : letter == 0xFB02 ? face.fl : letter == 0x2212 ? face.minus : -1;
    return -1;
}

}  // namespace pdfengine
