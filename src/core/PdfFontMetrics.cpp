#include "PdfFontMetrics.h"

#include "QpdfFile.h"
#include "StandardEncodings.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace pdfengine {

namespace {

constexpr int kMaxWidths = 65536;
constexpr double kDefaultCentreRise = 0.3;
constexpr long long kMostGlyphProcedureBytes = 1 << 20;  // a glyph procedure read for its box, at most
constexpr size_t kGlyphHeadBytes = 256;                  // where d0 or d1 stands, at the start

double numberOr(QPDFObjectHandle value, double fallback)
{
    return value.isNumber() ? value.getNumericValue() : fallback;
}

// The six numbers of a matrix array, or none.
std::vector<double> matrixOf(QPDFObjectHandle array)
{
    std::vector<double> m;
    if (!array.isArray() || array.getArrayNItems() != 6)
        return m;
    for (int i = 0; i < 6; ++i) {
        QPDFObjectHandle item = array.getArrayItem(i);
        if (!item.isNumber())
            return {};
        m.push_back(item.getNumericValue());
    }
    return m;
}

// The middle of the glyphs above the baseline, from the descriptor's ascent
// and descent, in thousandths of the size; the usual value when unknown.
double centreRiseOf(QPDFObjectHandle descriptor)
{
    if (!descriptor.isDictionary())
        return kDefaultCentreRise;
    const double ascent = numberOr(descriptor.getKey("/Ascent"), 0);
    const double descent = numberOr(descriptor.getKey("/Descent"), 0);
    if (ascent <= 0 || ascent > 2000 || descent > 0 || descent < -1000)
        return kDefaultCentreRise;
    // The middle of x-height letters rather than of the full ascent.
    return std::clamp((ascent * 0.6 + descent * 0.5) / 1000.0 * 0.8, 0.15, 0.45);
}

// The box (llx lly urx ury) a Type 3 glyph procedure declares with d1 as
// its first operator; empty for d0 or a box with no area.
std::vector<double> declaredBox(QPDFObjectHandle procedure)
{
    if (!procedure.isStream())
        return {};
    QPDFObjectHandle length = procedure.getDict().getKey("/Length");
    if (!length.isInteger() || length.getIntValue() > kMostGlyphProcedureBytes)
        return {};
    std::string head;
    readDecodedStream(procedure, kGlyphHeadBytes, &head);  // a longer procedure gives its first bytes
    std::vector<std::string> words;
    std::string word;
    for (const char c : head + ' ') {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            word += c;
            continue;
        }
        if (word.empty())
            continue;
        if (word == "d0")
            return {};
        if (word == "d1") {
            if (words.size() != 6)
                return {};
            std::vector<double> box;
            for (size_t i = 2; i < 6; ++i) {
                char* end = nullptr;
                box.push_back(std::strtod(words[i].c_str(), &end));
                if (*end != '\0' || !std::isfinite(box.back()))
                    return {};
            }
            return box[2] > box[0] && box[3] > box[1] ? box : std::vector<double>();
        }
        words.push_back(word);
        word.clear();
        if (words.size() > 6)
            return {};
    }
    return {};
}

}  // namespace

PdfFontMetrics PdfFontMetrics::read(QPDFObjectHandle font, const StandardWidths& standardWidths)
{
    PdfFontMetrics metrics;
    if (!font.isDictionary()) {
        metrics.m_problem = QStringLiteral("шрифт не найден");
        return metrics;
    }
    const std::string subtype = font.getKey("/Subtype").isName() ? font.getKey("/Subtype").getName() : std::string();
    if (subtype == "/Type0") {
        metrics.readCidWidths(font);
        return metrics;
    }
    if (subtype == "/Type3") {
        const std::vector<double> m = matrixOf(font.getKey("/FontMatrix"));
        if (m.empty() || m[0] == 0) {
            metrics.m_problem = QStringLiteral("у шрифта Type 3 нет матрицы");
            return metrics;
        }
        metrics.m_unit = m[0];
        QPDFObjectHandle bbox = font.getKey("/FontBBox");
        if (bbox.isArray() && bbox.getArrayNItems() == 4 && bbox.getArrayItem(1).isNumber() &&
            bbox.getArrayItem(3).isNumber() && m[3] != 0) {
            const double rise = (bbox.getArrayItem(1).getNumericValue() + bbox.getArrayItem(3).getNumericValue()) / 2 * m[3];
            // Negative where the glyphs are drawn upside down and the text matrix turns them back.
            if (std::isfinite(rise) && rise != 0 && std::abs(rise) < 1)
                metrics.m_centreRise = rise;
        }
        metrics.readType3Boxes(font, m);
    } else {
        metrics.m_centreRise = centreRiseOf(font.getKey("/FontDescriptor"));
    }
    metrics.readSimpleWidths(font, standardWidths);
    return metrics;
}

// A glyph that draws before a blank of its own (Ghostscript's Greek faces
// draw each letter with no advance) is placed by the box its procedure
// declares, not by half an advance it does not have.
void PdfFontMetrics::readType3Boxes(QPDFObjectHandle font, const std::vector<double>& m)
{
    QPDFObjectHandle procedures = font.getKey("/CharProcs");
    if (!procedures.isDictionary())
        return;
    forEachDifference(font.getKey("/Encoding"), [&](unsigned code, const std::string& name) {
        const std::vector<double> box = declaredBox(procedures.getKey(name));
        if (!box.empty()) {
            const double x = (box[0] + box[2]) / 2, y = (box[1] + box[3]) / 2;
            m_boxCentres[code] = QPointF(m[0] * x + m[2] * y + m[4], m[1] * x + m[3] * y + m[5]);
        }
    });
}

void PdfFontMetrics::readSimpleWidths(QPDFObjectHandle font, const StandardWidths& standardWidths)
{
    QPDFObjectHandle widths = font.getKey("/Widths");
    QPDFObjectHandle descriptor = font.getKey("/FontDescriptor");
    if (descriptor.isDictionary())
        m_missingWidth = numberOr(descriptor.getKey("/MissingWidth"), 0);
    if (widths.isArray() && widths.getArrayNItems() <= kMaxWidths) {
        m_firstChar = unsigned(std::clamp(numberOr(font.getKey("/FirstChar"), 0), 0.0, 255.0));
        const int count = widths.getArrayNItems();
        for (int i = 0; i < count; ++i)
            m_widths.push_back(numberOr(widths.getArrayItem(i), m_missingWidth));
        return;
    }
    // The standard fonts may come without widths: they are known by name,
    // each code by the glyph the font's encoding gives it (the symbol faces
    // by their own codes).
    const std::string base = font.getKey("/BaseFont").isName() ? font.getKey("/BaseFont").getName() : std::string();
    if (standardWidths && !base.empty()) {
        const std::string face = base.substr(1);
        const bool symbolic = face == "Symbol" || face == "ZapfDingbats";
        const std::array<char16_t, 256> letters = encodedLetters(font.getKey("/Encoding"));
        for (unsigned code = 0; code < 256; ++code) {
            const char16_t glyph = symbolic ? char16_t(code) : letters[code];
            if (glyph == 0)
                continue;
            double w = standardWidths(face, glyph);
            if (w < 0 && !symbolic)
                w = standardExtraWidth(face, glyph);
            if (w >= 0)
                m_standard[code] = w;
        }
        if (!m_standard.empty())
            return;
    }
    const std::string name = base.empty() ? base : base.substr(1);
    m_problem = QStringLiteral("у шрифта %1 нет ширин знаков").arg(QString::fromStdString(name));
}

void PdfFontMetrics::readCidWidths(QPDFObjectHandle font)
{
    m_cid = true;
    m_codeBytes = 2;
    QPDFObjectHandle encoding = font.getKey("/Encoding");
    if (!encoding.isNameAndEquals("/Identity-H")) {
        m_problem = QStringLiteral("кодировка составного шрифта не поддерживается");
        return;
    }
    QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
    QPDFObjectHandle cidFont = descendants.isArray() && descendants.getArrayNItems() == 1 ? descendants.getArrayItem(0)
                                                                                         : QPDFObjectHandle::newNull();
    if (!cidFont.isDictionary()) {
        m_problem = QStringLiteral("у составного шрифта нет шрифта CID");
        return;
    }
    m_centreRise = centreRiseOf(cidFont.getKey("/FontDescriptor"));
    m_defaultWidth = numberOr(cidFont.getKey("/DW"), 1000);
    QPDFObjectHandle w = cidFont.getKey("/W");
    if (!w.isArray())
        return;
    const int count = w.getArrayNItems();
    int entries = 0;
    for (int i = 0; i < count && entries < kMaxWidths;) {
        QPDFObjectHandle first = w.getArrayItem(i);
        if (!first.isNumber())
            break;
        const auto start = unsigned(std::max(0.0, first.getNumericValue()));
        QPDFObjectHandle next = i + 1 < count ? w.getArrayItem(i + 1) : QPDFObjectHandle::newNull();
        if (next.isArray()) {
            const int n = next.getArrayNItems();
            for (int k = 0; k < n && entries < kMaxWidths; ++k, ++entries)
                m_cidWidths[start + unsigned(k)] = numberOr(next.getArrayItem(k), m_defaultWidth);
            i += 2;
        } else if (next.isNumber() && i + 2 < count && w.getArrayItem(i + 2).isNumber()) {
            const auto last = unsigned(std::max(0.0, next.getNumericValue()));
            const double width = w.getArrayItem(i + 2).getNumericValue();
            for (unsigned c = start; c <= last && entries < kMaxWidths; ++c, ++entries)
                m_cidWidths[c] = width;
            i += 3;
        } else {
            break;
        }
    }
}

QPointF PdfFontMetrics::centre(unsigned code) const
{
    const auto declared = m_boxCentres.find(code);
    return declared != m_boxCentres.end() ? declared->second : QPointF(advance(code) / 2, m_centreRise);
}

double PdfFontMetrics::advance(unsigned code) const
{
    double width = 0;
    if (m_cid) {
        const auto it = m_cidWidths.find(code);
        width = it != m_cidWidths.end() ? it->second : m_defaultWidth;
    } else if (!m_standard.empty()) {
        const auto it = m_standard.find(code);
        width = it != m_standard.end() ? it->second : 0;
    } else if (code >= m_firstChar && code - m_firstChar < m_widths.size()) {
        width = m_widths[code - m_firstChar];
    } else {
        width = m_missingWidth;
    }
    return width * m_unit;
}

double PdfFontMetrics::readerAdvance(unsigned code) const
{
    const double exact = advance(code);
    if (!m_standard.empty())
        return exact;  // pdfium's own metrics, whole already
    if (m_unit != 0.001)
        return std::round(exact * 1000.0) / 1000.0;  // a Type 3 face's, in its own units
    return std::trunc(exact * 1000.0 + 1e-9) / 1000.0;
}

}  // namespace pdfengine
