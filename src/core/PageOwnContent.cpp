#include "PageOwnContent.h"

#include "ContentCopy.h"

#include <QByteArray>
#include <QString>

namespace pdfengine {

namespace {

constexpr int kMaxMarksLooked = 16;

QString markName(FPDF_PAGEOBJECTMARK mark)
{
    unsigned long needed = 0;
    if (!pdfApi().FPDFPageObjMark_GetName(mark, nullptr, 0, &needed) || needed < 2 || needed > 512)
        return {};
    QByteArray buffer(int(needed), '\0');
    if (!pdfApi().FPDFPageObjMark_GetName(mark, buffer.data(), needed, &needed))
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.constData()), qsizetype(needed / 2) - 1);
}

bool isWhiteFill(FPDF_PAGEOBJECT object)
{
    unsigned r = 0, g = 0, b = 0, a = 0;
    return pdfApi().FPDFPageObj_GetFillColor(object, &r, &g, &b, &a) && r == 255 && g == 255 && b == 255 && a == 255;
}

bool hasMark(FPDF_PAGEOBJECT object, const char* tag)
{
    const PdfiumApi& api = pdfApi();
    const int count = std::min(api.FPDFPageObj_CountMarks(object), kMaxMarksLooked);
    for (int i = 0; i < count; ++i)
        if (FPDF_PAGEOBJECTMARK mark = api.FPDFPageObj_GetMark(object, (unsigned long)i))
            if (markName(mark) == QLatin1String(tag))
                return true;
    return false;
}

} // namespace

bool markAsOwn(FPDF_PAGEOBJECT object)
{
    return pdfApi().FPDFPageObj_AddMark(object, kOwnContentTag) != nullptr;
}

bool isOwnObject(FPDF_PAGEOBJECT object)
{
    return hasMark(object, kOwnContentTag);
}

bool isMovedContent(FPDF_PAGEOBJECT object)
{
    return hasMark(object, kMovedContentTag);
}

bool isTypedInPlace(FPDF_PAGEOBJECT object)
{
    return hasMark(object, kTypedInPlaceTag);
}

bool isOwnWhiteOut(FPDF_PAGEOBJECT object)
{
    return pdfApi().FPDFPageObj_GetType(object) == pdfium::kPageObjPath && isWhiteFill(object) && isOwnObject(object);
}

int countOwnObjects(FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    int own = 0;
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i)
        if (FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i))
            own += isOwnObject(object);
    return own;
}

void touchOwnObjects(FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i)
        if (FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
            object && isOwnObject(object) && !isTypedInPlace(object))
            api.FPDFPageObj_Transform(object, 1, 0, 0, 1, 0, 0);
}

std::vector<QRectF> ownWhiteOuts(FPDF_PAGE page)
{
    const PdfiumApi& api = pdfApi();
    std::vector<QRectF> rects;
    const int count = api.FPDFPage_CountObjects(page);
    for (int i = 0; i < count; ++i) {
        FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page, i);
        if (!object || !isOwnWhiteOut(object))
            continue;
        float left = 0, bottom = 0, right = 0, top = 0;
        if (api.FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top))
            rects.push_back(QRectF(QPointF(left, bottom), QPointF(right, top)).normalized());
    }
    return rects;
}

HiddenTextFilter::HiddenTextFilter(FPDF_PAGE page, FPDF_TEXTPAGE textPage)
    : m_textPage(textPage), m_whiteOuts(page && textPage ? ownWhiteOuts(page) : std::vector<QRectF>())
{
}

bool HiddenTextFilter::hides(int charIndex) const
{
    if (m_whiteOuts.empty())
        return false;
    const PdfiumApi& api = pdfApi();
    double left = 0, right = 0, bottom = 0, top = 0;
    if (!api.FPDFText_GetCharBox(m_textPage, charIndex, &left, &right, &bottom, &top))
        return false;
    const QPointF centre((left + right) / 2, (bottom + top) / 2);
    if (std::none_of(m_whiteOuts.begin(), m_whiteOuts.end(), [&](const QRectF& r) { return r.contains(centre); }))
        return false;
    FPDF_PAGEOBJECT object = api.FPDFText_GetTextObject(m_textPage, charIndex);
    if (!object)  // a generated blank goes with the character before it
        return charIndex > 0 && api.FPDFText_GetTextObject(m_textPage, charIndex - 1) && hides(charIndex - 1);
    auto known = m_ownByObject.find(object);
    if (known == m_ownByObject.end())
        known = m_ownByObject.emplace(object, isOwnObject(object)).first;
    return !known->second;
}

} // namespace pdfengine
