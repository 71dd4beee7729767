#include "WriterFonts.h"

#include <QFile>

namespace pdfengine {

namespace {

constexpr qint64 kMaxFontFileBytes = 64 * 1024 * 1024;

QString g_fontRoot;

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

WriterFonts::WriterFonts(FPDF_DOCUMENT doc)
    : m_doc(doc)
{
}

WriterFonts::~WriterFonts() = default;

FPDF_FONT WriterFonts::fontFor(const QString& family, bool bold, bool italic)
{
    QString fileKey;
    QFile file;
    for (const QString& path : fontFileCandidates(bold, italic)) {
        file.setFileName(path);
        if (file.open(QIODevice::ReadOnly)) {
            fileKey = QStringLiteral("file:") + path;
            break;
        }
    }
    if (!fileKey.isEmpty()) {
        auto known = m_fonts.find(fileKey);
        if (known == m_fonts.end()) {
            const QByteArray bytes = file.size() <= kMaxFontFileBytes ? file.readAll() : QByteArray();
            FontPtr font(bytes.isEmpty() ? nullptr
                                         : pdfApi().FPDFText_LoadFont(m_doc, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                                      uint32_t(bytes.size()), pdfium::kFontTrueType, 1));
            known = m_fonts.emplace(fileKey, std::move(font)).first;
        }
        if (known->second)
            return known->second.get();
    }
    const QByteArray standard = standardFontFor(family, bold, italic);
    const QString standardKey = QStringLiteral("std:") + QString::fromLatin1(standard);
    auto known = m_fonts.find(standardKey);
    if (known == m_fonts.end())
        known = m_fonts.emplace(standardKey, FontPtr(pdfApi().FPDFText_LoadStandardFont(m_doc, standard.constData()))).first;
    return known->second.get();
}

} // namespace pdfengine
