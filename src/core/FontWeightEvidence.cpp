#include "FontWeightEvidence.h"

#include "HarfBuzzHandles.h"
#include "FontFiles.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <hb-ot.h>

#include <cmath>
#include <map>
#include <memory>
#include <optional>

namespace pdfengine {

namespace {

constexpr qint64 kMaxReferenceBytes = 32 * 1024 * 1024;
// Characters whose regular and bold advances differ by less than this (in
// thousandths of the size) tell nothing.
constexpr double kTellingDifference = 10;
constexpr int kMinTellingCharacters = 3;
// The face that fits must miss by at most this share of the other's misses.
constexpr double kClearlyBetter = 0.5;

// An installed face's advances, read once.
class ReferenceFace {
public:
    explicit ReferenceFace(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxReferenceBytes)
            return;
        m_bytes = file.readAll();
        HbBlobPtr blob(hb_blob_create(m_bytes.constData(), unsigned(m_bytes.size()), HB_MEMORY_MODE_READONLY, nullptr,
                                      nullptr));
        HbFacePtr face(hb_face_create(blob.get(), 0));
        m_unitsPerEm = hb_face_get_upem(face.get());
        if (hb_face_get_glyph_count(face.get()) > 0 && m_unitsPerEm > 0)
            m_font.reset(hb_font_create(face.get()));
    }

    // Thousandths of the size, or nothing when the face has no glyph for code.
    std::optional<double> advance(char32_t code) const
    {
        hb_codepoint_t glyph = 0;
        if (!m_font || !hb_font_get_nominal_glyph(m_font.get(), code, &glyph))
            return std::nullopt;
        return 1000.0 * hb_font_get_glyph_h_advance(m_font.get(), glyph) / m_unitsPerEm;
    }

private:
    QByteArray m_bytes;
    HbFontPtr m_font;
    unsigned m_unitsPerEm = 0;
};

// Extraction runs on several threads; the faces are shared, read-only once made.
const ReferenceFace* referenceFace(const QString& path)
{
    static QMutex mutex;
    static std::map<QString, std::unique_ptr<ReferenceFace>> faces;
    QMutexLocker lock(&mutex);
    auto known = faces.find(path);
    if (known == faces.end())
        known = faces.emplace(path, std::make_unique<ReferenceFace>(path)).first;
    return known->second.get();
}

quint16 bigEndian16(const char* data)
{
    return quint16((quint8(data[0]) << 8) | quint8(data[1]));
}

} // namespace

WeightVerdict weightFromAdvances(const QString& fontName, bool italic, const std::vector<DrawnAdvance>& drawn)
{
    const QString regularFile = metricTwinFile(fontName, false, italic);
    if (regularFile.isEmpty() || drawn.empty())
        return WeightVerdict::Unknown;
    const ReferenceFace* regular = referenceFace(regularFile);
    const ReferenceFace* bold = referenceFace(metricTwinFile(fontName, true, italic));
    double regularMiss = 0;
    double boldMiss = 0;
    int telling = 0;
    for (const DrawnAdvance& glyph : drawn) {
        const std::optional<double> r = regular->advance(glyph.code);
        const std::optional<double> b = bold->advance(glyph.code);
        if (!r || !b || std::abs(*r - *b) < kTellingDifference)
            continue;
        regularMiss += std::abs(glyph.advance - *r);
        boldMiss += std::abs(glyph.advance - *b);
        ++telling;
    }
    if (telling < kMinTellingCharacters)
        return WeightVerdict::Unknown;
    if (regularMiss < kClearlyBetter * boldMiss)
        return WeightVerdict::Regular;
    if (boldMiss < kClearlyBetter * regularMiss)
        return WeightVerdict::Bold;
    return WeightVerdict::Unknown;
}

WeightVerdict weightFromFontProgram(const QByteArray& program)
{
    constexpr quint32 kTrueType = 0x00010000;
    constexpr quint32 kOpenType = 0x4F54544F;  // "OTTO"
    constexpr int kDirectorySize = 12;
    constexpr int kRecordSize = 16;
    constexpr int kMacStyleOffset = 44;
    constexpr quint16 kBoldBit = 1;
    if (program.size() < kDirectorySize)
        return WeightVerdict::Unknown;
    const char* data = program.constData();
    const quint32 version = (quint32(bigEndian16(data)) << 16) | bigEndian16(data + 2);
    if (version != kTrueType && version != kOpenType)
        return WeightVerdict::Unknown;
    const int tables = bigEndian16(data + 4);
    for (int i = 0; i < tables; ++i) {
        const qsizetype record = kDirectorySize + qsizetype(i) * kRecordSize;
        if (record + kRecordSize > program.size())
            return WeightVerdict::Unknown;
        if (program.mid(record, 4) != QByteArrayLiteral("head"))
            continue;
        const qint64 offset = (qint64(bigEndian16(data + record + 8)) << 16) | bigEndian16(data + record + 10);
        if (offset < 0 || offset + kMacStyleOffset + 2 > program.size())
            return WeightVerdict::Unknown;
        const quint16 macStyle = bigEndian16(data + offset + kMacStyleOffset);
        return (macStyle & kBoldBit) ? WeightVerdict::Bold : WeightVerdict::Regular;
    }
    return WeightVerdict::Unknown;
}

} // namespace pdfengine
