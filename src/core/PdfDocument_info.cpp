// Facts about the file for the properties window: its PDF version and the
// fonts its pages draw text with.
#include "PdfDocument.h"

#include "PdfEngineInternal.h"

#include <QSet>

using namespace pdfengine;

namespace {

constexpr int kMaxFormDepth = 16;        // forms inside forms; a crafted file may nest without end
constexpr int kMaxObjectsPerPage = 200000;
constexpr size_t kMaxFontName = 1024;
constexpr int kSubsetTagLength = 6;

// "ABCDEF+Name" is a subset of Name.
QString withoutSubsetTag(const QString& name)
{
    if (name.size() <= kSubsetTagLength + 1 || name.at(kSubsetTagLength) != QLatin1Char('+'))
        return name;
    for (int i = 0; i < kSubsetTagLength; ++i) {
        if (name.at(i) < QLatin1Char('A') || name.at(i) > QLatin1Char('Z'))
            return name;
    }
    return name.mid(kSubsetTagLength + 1);
}

QString fontName(FPDF_FONT font)
{
    const PdfiumApi& api = pdfApi();
    QByteArray buffer(int(kMaxFontName), '\0');
    size_t length = api.FPDFFont_GetBaseFontName(font, buffer.data(), kMaxFontName);
    if (length < 2 || length > kMaxFontName)
        length = api.FPDFFont_GetFamilyName(font, buffer.data(), kMaxFontName);
    if (length < 2 || length > kMaxFontName)
        return {};
    return withoutSubsetTag(QString::fromUtf8(buffer.constData(), qsizetype(length) - 1).trimmed());
}

struct FontWalk {
    QStringList names;
    QSet<QString> seen;
    int objects = 0;
};

void collectFonts(FontWalk& walk, FPDF_PAGEOBJECT object, int depth)
{
    const PdfiumApi& api = pdfApi();
    if (!object || ++walk.objects > kMaxObjectsPerPage)
        return;
    switch (api.FPDFPageObj_GetType(object)) {
    case pdfium::kPageObjText:
        if (FPDF_FONT font = api.FPDFTextObj_GetFont(object)) {
            const QString name = fontName(font);
            if (!name.isEmpty() && !walk.seen.contains(name)) {
                walk.seen.insert(name);
                walk.names << name;
            }
        }
        break;
    case pdfium::kPageObjForm:
        if (depth < kMaxFormDepth) {
            const int count = api.FPDFFormObj_CountObjects(object);
            for (int i = 0; i < count; ++i)
                collectFonts(walk, api.FPDFFormObj_GetObject(object, (unsigned long)i), depth + 1);
        }
        break;
    default:
        break;
    }
}

} // namespace

int PdfDocument::fileVersion() const
{
    QMutexLocker lock(&m_mutex);
    int version = 0;
    if (!m_doc || !pdfApi().FPDF_GetFileVersion(m_doc, &version))
        return 0;
    return version;
}

QStringList PdfDocument::pageFontNames(int pageIndex) const
{
    QMutexLocker lock(&m_mutex);
    const PagePtr page = loadPageIfAny(m_doc, pageIndex);
    if (!page)
        return {};
    FontWalk walk;
    const int count = pdfApi().FPDFPage_CountObjects(page.get());
    for (int i = 0; i < count; ++i)
        collectFonts(walk, pdfApi().FPDFPage_GetObject(page.get(), i), 0);
    return walk.names;
}
