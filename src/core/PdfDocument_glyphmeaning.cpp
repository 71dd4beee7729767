// What a page's glyphs mean: whether its text can be offered for editing or
// the page needs recognition like a scan.
#include "PdfDocument.h"

#include "PageGlyphs.h"
#include "PdfEngineInternal.h"

#include <QChar>

using namespace pdfengine;

namespace {

bool isBlank(char32_t code)
{
    return code == ' ' || code == 0xA0 || (code <= 0xFFFF && QChar(char16_t(code)).isSpace());
}

bool isPrivateUse(char32_t code)
{
    return (code >= 0xE000 && code <= 0xF8FF) || code >= 0xF0000;
}

// pdfium hands back the code itself when the font cannot map it: below 0x80
// that is ASCII in every 8-bit TeX encoding, above it only a Latin-1 guess.
bool meansNothing(char32_t code, bool unmapped)
{
    constexpr char32_t kFirstLigatureSlot = 11;  // TeX's ff..ffl, read as ligatures
    constexpr char32_t kLastLigatureSlot = 15;
    if (code >= kFirstLigatureSlot && code <= kLastLigatureSlot)
        return false;
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0xFFFD || isPrivateUse(code)
           || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF || (unmapped && code >= 0x80);
}

// Render modes 3 and 7 draw nothing.
bool drawsNothing(FPDF_PAGEOBJECT object)
{
    const int mode = object ? pdfApi().FPDFTextObj_GetTextRenderMode(object) : 0;
    return mode == 3 || mode == 7;
}

} // namespace

bool PdfDocument::GlyphMeaning::drawnTextMeansNothing() const
{
    return drawnWithoutMeaning > 0 && 2 * drawnWithoutMeaning > drawn;
}

bool PdfDocument::GlyphMeaning::offersNoText() const
{
    // A recognition layer holds about one glyph per drawn letter; a few
    // stray hidden glyphs do not stand in for the page's text.
    constexpr int kHiddenShareOfDrawn = 4;
    return drawnTextMeansNothing() && kHiddenShareOfDrawn * hiddenWithMeaning < drawnWithoutMeaning;
}

PdfDocument::GlyphMeaning PdfDocument::glyphMeaning(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    GlyphMeaning meaning;
    const LoadedTextPage loaded = loadTextPage(m_doc, pageIndex);
    if (!loaded.text)
        return meaning;
    const PdfiumApi& api = pdfApi();
    FPDF_TEXTPAGE textPage = loaded.text.get();
    const int count = api.FPDFText_CountChars(textPage);
    FPDF_PAGEOBJECT lastObject = nullptr;
    bool hidden = false;
    for (int i = 0; i < count; ++i) {
        const char32_t code = api.FPDFText_GetUnicode(textPage, i);
        if (api.FPDFText_IsGenerated(textPage, i) == 1 || isBlank(code))
            continue;
        FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(textPage, i);
        if (object != lastObject || !object) {
            lastObject = object;
            hidden = drawsNothing(object);
        }
        const bool meaningless = meansNothing(code, api.FPDFText_HasUnicodeMapError(textPage, i) == 1);
        if (hidden) {
            meaning.hiddenWithMeaning += meaningless ? 0 : 1;
        } else {
            ++meaning.drawn;
            meaning.drawnWithoutMeaning += meaningless ? 1 : 0;
        }
    }
    return meaning;
}

std::vector<GlyphMark> PdfDocument::glyphMarks(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    const PagePtr page = loadPageIfAny(m_doc, pageIndex);
    return page ? pageGlyphMarks(page.get()) : std::vector<GlyphMark>();
}
