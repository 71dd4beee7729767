#include "WriterFonts.h"

#include "HarfBuzzHandles.h"
#include "PageOwnContent.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <iterator>
#include <vector>

namespace pdfengine {

namespace {

constexpr qint64 kMaxFontFileBytes = 64 * 1024 * 1024;
constexpr int kBoldWeight = 600;
constexpr int kFlagItalic = 1 << 6;
constexpr int kFlagForceBold = 1 << 18;

QString g_fontRoot;

struct HbSubsetInputDestroyer {
    void operator()(hb_subset_input_t* input) const { hb_subset_input_destroy(input); }
};
using HbSubsetInputPtr = std::unique_ptr<hb_subset_input_t, HbSubsetInputDestroyer>;

QStringList fontFiles(std::initializer_list<const char*> names)
{
    QStringList files;
    for (const char* name : names)
        files << g_fontRoot + QString::fromLatin1(name);
    return files;
}

QStringList boldFiles()
{
    return fontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
                      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"});
}

QStringList italicFiles()
{
    return fontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSerif-Italic.ttf",
                      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf"});
}

// Lower case without blanks and hyphens: "Times New Roman" and
// "TimesNewRomanPSMT" compare alike.
QString squeezedName(const QString& family)
{
    QString name = family.toLower();
    name.remove(QLatin1Char(' '));
    name.remove(QLatin1Char('-'));
    return name;
}

bool containsAny(const QString& text, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return text.contains(QLatin1String(w)); });
}

// The Liberation face with the metrics of a standard family, or empty.
QString metricCompatibleBase(const QString& family)
{
    const QString name = squeezedName(family);
    if (containsAny(name, {"helvetica", "arial", "arimo", "nimbussans", "liberationsans"}))
        return QStringLiteral("LiberationSans");
    if (containsAny(name, {"courier", "cousine", "nimbusmono", "liberationmono"}))
        return QStringLiteral("LiberationMono");
    if (containsAny(name, {"times", "tinos", "nimbusrom", "liberationserif"}))
        return QStringLiteral("LiberationSerif");
    return {};
}

// Code points a face must draw: everything but controls and format marks.
std::vector<char32_t> drawnCodePoints(const QString& text)
{
    std::vector<char32_t> points;
    for (char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category != QChar::Other_Control && category != QChar::Other_Format)
            points.push_back(c);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

// Besides what is written, every subset carries what later edits of a Russian
// office document are likely to type, so a face is rarely subset twice.
void addCommonCharacters(hb_set_t* set)
{
    hb_set_add_range(set, 0x20, 0x7E);
    hb_set_add_range(set, 0x410, 0x44F);
    for (char32_t c : U"\u00A0\u00A7\u00AB\u00B0\u00B1\u00BB\u0401\u0451\u2013\u2014\u2018\u2019\u201C\u201D\u201E"
                      U"\u2022\u2026\u2116\u20AC\u20BD")
        hb_set_add(set, c);
}

bool winAnsiEncodes(char32_t c)
{
    static const std::u32string extras = U"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ";
    return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF) || extras.find(c) != std::u32string::npos;
}

QString nameString(hb_face_t* face, hb_ot_name_id_t id)
{
    const hb_language_t english = hb_language_from_string("en", -1);
    unsigned int length = hb_ot_name_get_utf16(face, id, english, nullptr, nullptr);
    std::vector<uint16_t> text(length + 1);
    length = unsigned(text.size());
    hb_ot_name_get_utf16(face, id, english, &length, text.data());
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text.data()), qsizetype(length));
}

void appendBigEndian16(QByteArray& out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

// A 'name' table with Windows Unicode English records, sorted by name id.
QByteArray nameTable(const std::vector<std::pair<quint16, QString>>& names)
{
    constexpr quint16 kWindows = 3, kUnicodeBmp = 1, kEnglishUs = 0x409;
    QByteArray records, strings;
    for (const auto& [id, text] : names) {
        const quint16 offset = quint16(strings.size());
        for (QChar c : text)
            appendBigEndian16(strings, c.unicode());
        for (quint16 field : {kWindows, kUnicodeBmp, kEnglishUs, id, quint16(strings.size() - offset), offset})
            appendBigEndian16(records, field);
    }
    QByteArray table;
    appendBigEndian16(table, 0);
    appendBigEndian16(table, quint16(names.size()));
    appendBigEndian16(table, quint16(6 + records.size()));
    return table + records + strings;
}

// Six capital letters that name this subset of this face.
QString subsetTag(const QString& postScriptName, hb_set_t* unicodes)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(postScriptName.toUtf8());
    for (hb_codepoint_t c = HB_SET_VALUE_INVALID; hb_set_next(unicodes, &c);)
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&c), sizeof c));
    const QByteArray digest = hash.result();
    QString tag;
    for (int i = 0; i < 6; ++i)
        tag += QLatin1Char(char('A' + quint8(digest.at(i)) % 26));
    return tag;
}

QByteArray blobBytes(hb_blob_t* blob)
{
    unsigned int length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    return data && length ? QByteArray(data, qsizetype(length)) : QByteArray();
}

// The subset's tables again, with a 'name' table whose PostScript name
// carries the subset tag, so the embedded font is named "ABCDEF+Face".
QByteArray renamedFont(const QByteArray& fontBytes, const QString& postScriptName, const QString& family,
                       const QString& styleName)
{
    HbBlobPtr blob(hb_blob_create(fontBytes.constData(), unsigned(fontBytes.size()), HB_MEMORY_MODE_READONLY,
                                  nullptr, nullptr));
    HbFacePtr face(hb_face_create(blob.get(), 0));
    HbFacePtr builder(hb_face_builder_create());
    std::vector<hb_tag_t> tags(hb_face_get_table_tags(face.get(), 0, nullptr, nullptr));
    unsigned int count = unsigned(tags.size());
    hb_face_get_table_tags(face.get(), 0, &count, tags.data());
    const hb_tag_t nameTag = HB_TAG('n', 'a', 'm', 'e');
    for (unsigned int i = 0; i < count; ++i) {
        if (tags[i] == nameTag)
            continue;
        HbBlobPtr table(hb_face_reference_table(face.get(), tags[i]));
        hb_face_builder_add_table(builder.get(), tags[i], table.get());
    }
    const QByteArray names = nameTable({{1, family},
                                        {2, styleName},
                                        {4, postScriptName},
                                        {6, postScriptName}});
    HbBlobPtr namesBlob(hb_blob_create(names.constData(), unsigned(names.size()), HB_MEMORY_MODE_DUPLICATE, nullptr,
                                       nullptr));
    hb_face_builder_add_table(builder.get(), nameTag, namesBlob.get());
    HbBlobPtr out(hb_face_reference_blob(builder.get()));
    return blobBytes(out.get());
}

// The face cut down to unicodes, without hinting and layout tables (a PDF
// draws glyphs by code, unshaped); empty when HarfBuzz refuses.
QByteArray subsetBytes(hb_face_t* face, hb_set_t* unicodes)
{
    HbSubsetInputPtr input(hb_subset_input_create_or_fail());
    if (!input)
        return {};
    hb_set_union(hb_subset_input_unicode_set(input.get()), unicodes);
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING | HB_SUBSET_FLAGS_DESUBROUTINIZE);
    hb_set_t* dropped = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (hb_tag_t tag : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'),
                         HB_TAG('k', 'e', 'r', 'n')})
        hb_set_add(dropped, tag);
    HbFacePtr subset(hb_subset_or_fail(face, input.get()));
    if (!subset)
        return {};
    HbBlobPtr blob(hb_face_reference_blob(subset.get()));
    return blobBytes(blob.get());
}

} // namespace

QStringList fontFileCandidates(bool bold, bool italic)
{
    QStringList files;
    if (bold && italic) {
        files << fontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSerif-BoldItalic.ttf",
                            "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf"})
              << boldFiles() << italicFiles();
    } else if (bold) {
        files << boldFiles();
    } else if (italic) {
        files << italicFiles();
    }
    files << fontFiles({"/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
                        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                        "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc",
                        "/usr/share/fonts/truetype/noto/NotoSerif-Regular.ttf",
                        "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf"});
    return files;
}

// A family whose name says it has no serifs.
bool looksSans(const QString& family)
{
    return containsAny(squeezedName(family), {"sans", "arial", "helvetica", "arimo", "verdana", "tahoma", "calibri",
                                              "gothic", "grotesk", "segoe", "roboto", "ptsans"});
}

bool looksMonospaced(const QString& family)
{
    return containsAny(squeezedName(family), {"mono", "courier", "cousine", "consol", "typewriter", "fixed", "cmtt", "sftt"});
}

QString monospacedFamily(const QString& family)
{
    return looksMonospaced(family) ? family : QStringLiteral("Liberation Mono");
}

// Installed fixed-pitch faces in the style asked for.
QStringList monospacedFiles(bool bold, bool italic)
{
    const QString style = bold && italic ? QStringLiteral("-BoldOblique")
                          : bold         ? QStringLiteral("-Bold")
                          : italic       ? QStringLiteral("-Oblique")
                                         : QString();
    return {QStringLiteral("%1/usr/share/fonts/truetype/dejavu/DejaVuSansMono%2.ttf").arg(g_fontRoot, style)};
}

QString metricTwinFile(const QString& family, bool bold, bool italic)
{
    const QString base = metricCompatibleBase(family);
    if (base.isEmpty())
        return {};
    const QString style = bold && italic ? QStringLiteral("BoldItalic")
                          : bold         ? QStringLiteral("Bold")
                          : italic       ? QStringLiteral("Italic")
                                         : QStringLiteral("Regular");
    return QStringLiteral("%1/usr/share/fonts/truetype/liberation2/%2-%3.ttf").arg(g_fontRoot, base, style);
}

QStringList writerFontFiles(const QString& family, bool bold, bool italic)
{
    QStringList files;
    const QString twin = metricTwinFile(family, bold, italic);
    if (!twin.isEmpty())
        files << twin;
    if (looksMonospaced(family))
        files << monospacedFiles(bold, italic);
    QStringList candidates = fontFileCandidates(bold, italic);
    // A sans line falls back to a sans face first.
    if (looksSans(family))
        std::stable_partition(candidates.begin(), candidates.end(),
                              [](const QString& file) { return QFileInfo(file).fileName().contains(QLatin1String("Sans")); });
    return files + candidates;
}

QByteArray standardFontFor(const QString& family, bool bold, bool italic)
{
    const QString lower = family.toLower();
    const char* names[3][4] = {
        {"Helvetica-BoldOblique", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica"},
        {"Courier-BoldOblique", "Courier-Bold", "Courier-Oblique", "Courier"},
        {"Times-BoldItalic", "Times-Bold", "Times-Italic", "Times-Roman"},
    };
    const int row = (lower.contains(QLatin1String("helvetica")) || lower.contains(QLatin1String("arial"))) ? 0
                    : lower.contains(QLatin1String("courier"))                                             ? 1
                                                                                                           : 2;
    const int column = bold && italic ? 0 : bold ? 1 : italic ? 2 : 3;
    return QByteArray(names[row][column]);
}

void setFontRootForTesting(const QString& root)
{
    g_fontRoot = root;
}

FontStyle pdfFontStyle(const QString& fontName, int weight, int flags, WeightVerdict shown)
{
    FontStyle style;
    style.bold = flags & kFlagForceBold;
    style.italic = flags & kFlagItalic;
    // TeX faces: a short family code and a design size, "CMBX12", "SFTI1000";
    // "BX" or a leading "B" is bold, "TI", "SL", "IT", "MI" or "BI" italic.
    // The name says all: a weight guessed from the stems (a converted CMR10
    // comes out at 744) does not count.
    static const QRegularExpression texName(QStringLiteral("^(?:CM|EC|TC|SF|LM)([A-Z]+)\\d+$"));
    const QRegularExpressionMatch tex = texName.match(fontName);
    if (tex.hasMatch()) {
        const QString code = tex.captured(1);
        style.bold |= code.contains(QLatin1String("BX")) || code.startsWith(QLatin1Char('B'));
        style.italic |= containsAny(code, {"TI", "SL", "IT", "MI", "BI"});
        return style;
    }
    auto named = [&](std::initializer_list<const char*> words) {
        return std::any_of(words.begin(), words.end(),
                           [&](const char* w) { return fontName.contains(QLatin1String(w), Qt::CaseInsensitive); });
    };
    style.bold |= named({"Bold", "Black", "Heavy"});
    if (!style.bold)
        style.bold = shown == WeightVerdict::Bold || (shown == WeightVerdict::Unknown && weight >= kBoldWeight);
    style.italic |= named({"Italic", "Oblique", "Slanted", "Inclined"});
    return style;
}

std::pair<bool, bool> boldItalicOf(FPDF_TEXTPAGE textPage, int index, const QString& fontName, int weight,
                                   WeightVerdict shown)
{
    int flags = 0;
    pdfApi().FPDFText_GetFontInfo(textPage, index, nullptr, 0, &flags);
    const FontStyle style = pdfFontStyle(fontName, weight, flags, shown);
    return {style.bold, style.italic};
}

// One font file: its bytes, what it covers, and the subset loaded so far.
struct WriterFonts::Face {
    QByteArray bytes;
    HbBlobPtr blob;
    HbFacePtr face;
    HbSetPtr covered = HbSetPtr(hb_set_create());
    HbSetPtr subsetChars = HbSetPtr(hb_set_create());
    FontPtr font;  // the latest subset; fonts drawn with before stay in their objects
    // The latest subset as found in a document read again: pdfium lends it
    // while the page that draws with it stays loaded.
    QByteArray writtenName;
    FPDF_FONT borrowed = nullptr;
    PagePtr lender;
    bool broken = true;

    FPDF_FONT current() const { return font ? font.get() : borrowed; }

    bool covers(const std::vector<char32_t>& points) const
    {
        return std::all_of(points.begin(), points.end(), [&](char32_t c) { return hb_set_has(covered.get(), c); });
    }
    bool subsetCovers(const std::vector<char32_t>& points) const
    {
        return current() && std::all_of(points.begin(), points.end(),
                                   [&](char32_t c) { return hb_set_has(subsetChars.get(), c); });
    }
};

WriterFonts::WriterFonts(FPDF_DOCUMENT doc)
    : m_doc(doc)
{
}

WriterFonts::~WriterFonts() = default;

WriterFonts::Face* WriterFonts::faceAt(const QString& path)
{
    auto known = m_faces.find(path);
    if (known == m_faces.end()) {
        auto face = std::make_unique<Face>();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxFontFileBytes)
            face->bytes = file.readAll();
        if (!face->bytes.isEmpty()) {
            face->blob.reset(hb_blob_create(face->bytes.constData(), unsigned(face->bytes.size()),
                                            HB_MEMORY_MODE_READONLY, nullptr, nullptr));
            face->face.reset(hb_face_create(face->blob.get(), 0));
            hb_face_collect_unicodes(face->face.get(), face->covered.get());
            face->broken = hb_face_get_glyph_count(face->face.get()) == 0 || hb_set_is_empty(face->covered.get());
        }
        known = m_faces.emplace(path, std::move(face)).first;
    }
    return known->second->broken ? nullptr : known->second.get();
}

FPDF_FONT WriterFonts::fontFromFace(Face& face, const std::vector<char32_t>& needed)
{
    if (!face.current() && !findWrittenFont(face))
        face.writtenName.clear();  // not in the document: written anew
    if (face.subsetCovers(needed))
        return face.current();
    HbSetPtr unicodes(hb_set_create());
    hb_set_union(unicodes.get(), face.subsetChars.get());
    if (!face.current())
        addCommonCharacters(unicodes.get());
    for (char32_t c : needed)
        hb_set_add(unicodes.get(), c);
    hb_set_intersect(unicodes.get(), face.covered.get());

    const QString family = nameString(face.face.get(), HB_OT_NAME_ID_FONT_FAMILY);
    QString postScriptName = nameString(face.face.get(), HB_OT_NAME_ID_POSTSCRIPT_NAME);
    if (postScriptName.isEmpty())
        postScriptName = QString(family).remove(QLatin1Char(' '));
    if (postScriptName.isEmpty())
        postScriptName = QStringLiteral("Font");
    QByteArray bytes = subsetBytes(face.face.get(), unicodes.get());
    if (bytes.isEmpty())
        return nullptr;
    const QByteArray tagged =
        renamedFont(bytes, subsetTag(postScriptName, unicodes.get()) + QLatin1Char('+') + postScriptName, family,
                    nameString(face.face.get(), HB_OT_NAME_ID_FONT_SUBFAMILY));
    if (!tagged.isEmpty())
        bytes = tagged;
    FontPtr font(pdfApi().FPDFText_LoadFont(m_doc, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                            uint32_t(bytes.size()), pdfium::kFontTrueType, 1));
    if (!font)
        return nullptr;
    face.font = std::move(font);
    face.borrowed = nullptr;
    face.lender.reset();
    face.subsetChars = std::move(unicodes);
    face.writtenName = !tagged.isEmpty() ? (subsetTag(postScriptName, face.subsetChars.get()) + QLatin1Char('+') +
                                            postScriptName).toLatin1()
                                         : QByteArray();
    return face.font.get();
}

void WriterFonts::rebind(FPDF_DOCUMENT doc, std::vector<int> pages)
{
    for (auto& [path, face] : m_faces) {
        face->font.reset();
        face->borrowed = nullptr;
        face->lender.reset();
    }
    m_standardFonts.clear();
    m_doc = doc;
    m_writtenPages = std::move(pages);
}

void WriterFonts::notePage(int pageIndex)
{
    if (std::find(m_writtenPages.begin(), m_writtenPages.end(), pageIndex) == m_writtenPages.end())
        m_writtenPages.push_back(pageIndex);
}

// The characters a subset embedded in the document draws, read from its font
// file; false when pdfium gives no file.
bool readSubsetChars(FPDF_FONT font, hb_set_t* chars)
{
    constexpr size_t kMaxSubsetBytes = size_t(32) * 1024 * 1024;
    size_t size = 0;
    if (!pdfApi().FPDFFont_GetFontData(font, nullptr, 0, &size) || size == 0 || size > kMaxSubsetBytes)
        return false;
    QByteArray data(qsizetype(size), '\0');
    if (!pdfApi().FPDFFont_GetFontData(font, reinterpret_cast<uint8_t*>(data.data()), size, &size))
        return false;
    HbBlobPtr blob(hb_blob_create(data.constData(), unsigned(data.size()), HB_MEMORY_MODE_READONLY, nullptr, nullptr));
    HbFacePtr face(hb_face_create(blob.get(), 0));
    hb_set_clear(chars);
    hb_face_collect_unicodes(face.get(), chars);
    return !hb_set_is_empty(chars);
}

// Looks for the face's last subset among the program's own text of the pages
// written (this session, or in an earlier one on the pages written now); the
// page is kept loaded while the font is lent. A subset written in an earlier
// session is known by its face's name; its characters are read from it.
bool WriterFonts::findWrittenFont(Face& face)
{
    QString postScriptName = nameString(face.face.get(), HB_OT_NAME_ID_POSTSCRIPT_NAME);
    const QByteArray suffix = '+' + postScriptName.toLatin1();
    auto matches = [&](const QByteArray& name) {
        if (!face.writtenName.isEmpty())
            return name == face.writtenName;
        return !postScriptName.isEmpty() && name.size() == suffix.size() + 6 && name.endsWith(suffix);
    };
    const PdfiumApi& api = pdfApi();
    const int pageCount = api.FPDF_GetPageCount(m_doc);
    for (int index : m_writtenPages) {
        if (index < 0 || index >= pageCount)
            continue;
        PagePtr page(api.FPDF_LoadPage(m_doc, index));
        const int count = page ? api.FPDFPage_CountObjects(page.get()) : 0;
        for (int i = 0; i < count; ++i) {
            FPDF_PAGEOBJECT object = api.FPDFPage_GetObject(page.get(), i);
            if (!object || api.FPDFPageObj_GetType(object) != pdfium::kPageObjText || !isOwnObject(object))
                continue;
            FPDF_FONT font = api.FPDFTextObj_GetFont(object);
            QByteArray name(256, '\0');
            const size_t length = font ? api.FPDFFont_GetBaseFontName(font, name.data(), size_t(name.size())) : 0;
            if (length < 2 || length > size_t(name.size()) || !matches(name.left(int(length) - 1)))
                continue;
            if (face.writtenName.isEmpty()) {
                HbSetPtr chars(hb_set_create());
                if (!readSubsetChars(font, chars.get()))
                    continue;
                face.subsetChars = std::move(chars);
                face.writtenName = name.left(int(length) - 1);
            }
            face.borrowed = font;
            face.lender = std::move(page);
            return true;
        }
    }
    return false;
}

FPDF_FONT WriterFonts::standardFont(const QByteArray& name)
{
    auto known = m_standardFonts.find(name);
    if (known == m_standardFonts.end())
        known = m_standardFonts.emplace(name, FontPtr(pdfApi().FPDFText_LoadStandardFont(m_doc, name.constData()))).first;
    return known->second.get();
}

FPDF_FONT WriterFonts::fontCoveringMost(const std::vector<Face*>& faces, const std::vector<char32_t>& needed)
{
    Face* best = nullptr;
    size_t bestCount = 0;
    for (Face* face : faces) {
        const auto count = size_t(std::count_if(needed.begin(), needed.end(),
                                                [&](char32_t c) { return hb_set_has(face->covered.get(), c); }));
        if (!face->broken && count > bestCount) {
            best = face;
            bestCount = count;
        }
    }
    if (!best)
        return nullptr;
    std::vector<char32_t> covered;
    std::copy_if(needed.begin(), needed.end(), std::back_inserter(covered),
                 [&](char32_t c) { return hb_set_has(best->covered.get(), c); });
    return fontFromFace(*best, covered);
}

FPDF_FONT WriterFonts::fontFor(const QString& family, bool bold, bool italic, const QString& text, Drawn drawn)
{
    m_lastError.clear();
    const std::vector<char32_t> needed = drawnCodePoints(text);
    std::vector<Face*> loaded;
    for (const QString& path : writerFontFiles(family, bold, italic)) {
        Face* face = faceAt(path);
        if (!face)
            continue;
        loaded.push_back(face);
        if (!face->covers(needed))
            continue;
        if (FPDF_FONT font = fontFromFace(*face, needed))
            return font;
        if (!face->current())
            face->broken = true;  // it will not subset or load: never again
    }
    if (drawn == Drawn::Invisibly)
        if (FPDF_FONT font = fontCoveringMost(loaded, needed))
            return font;
    if (std::all_of(needed.begin(), needed.end(), winAnsiEncodes))
        if (FPDF_FONT font = standardFont(standardFontFor(family, bold, italic)))
            return font;
    const auto missing = std::find_if(needed.begin(), needed.end(), [&](char32_t c) {
        return std::none_of(loaded.begin(), loaded.end(), [c](Face* f) { return hb_set_has(f->covered.get(), c); });
    });
    m_lastError = missing == needed.end()
                      ? QStringLiteral("Ни в одном шрифте нет всех символов строки «%1».").arg(text)
                      : QStringLiteral("Ни в одном шрифте нет символа «%1» (U+%2).")
                            .arg(QString::fromUcs4(&*missing, 1))
                            .arg(QString::number(uint(*missing), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    return nullptr;
}

} // namespace pdfengine
