#include "LineFonts.h"

#include "BlockPainting.h"
#include "FontFiles.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kMaxFittedPx = 120;
constexpr int kSampleLength = 80;
constexpr double kMinLineHeightPt = 2.0;
constexpr double kLineBoxShare = 0.98;
constexpr int kVisibleAlpha = 8;
constexpr const char* kDefaultFamily = "Times New Roman";

QString defaultFamily()
{
    return QString::fromLatin1(kDefaultFamily);
}

// Fixed phrase of 25 characters for lines without text.
QString samplePhrase()
{
    return QStringLiteral("Образец текста, Sample 12");
}

QString lineFamilySource(const TextBlock::Line& line, const TextBlock& block)
{
    const QString lineFamily = line.fontFamily.trimmed();
    return lineFamily.isEmpty() ? block.fontFamily.trimmed() : lineFamily;
}

// Measuring every pixel size is slow; painting asks the same questions often.
int cachedFittedSize(const QFont& font, const QString& sample, int minPx, double target)
{
    static QHash<QString, int> cache;
    constexpr int kCacheLimit = 4096;
    const QString key = QStringLiteral("%1|%2|%3|%4").arg(font.key(), sample).arg(minPx).arg(target, 0, 'f', 2);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    QFont probe = font;
    int best = minPx;
    double bestDistance = -1;
    for (int px = minPx; px <= kMaxFittedPx; ++px) {
        probe.setPixelSize(px);
        const double h = QFontMetricsF(probe).tightBoundingRect(sample).height();
        const double distance = std::abs(h - target);
        if (bestDistance < 0 || distance < bestDistance) {
            best = px;
            bestDistance = distance;
        }
    }
    if (cache.size() >= kCacheLimit)
        cache.clear();
    cache.insert(key, best);
    return best;
}

void setAbsoluteLetterSpacing(QFont& font, double spacing)
{
    constexpr double kMinSpacing = 0.05;
    if (std::abs(spacing) >= kMinSpacing)
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
}

// The PDF's own size agrees with a line box between these shares of it: the
// box holds the glyphs' ink, from a dot's height to accents and descenders.
constexpr double kMinBoxShareOfSize = 0.35;
constexpr double kMaxBoxShareOfSize = 1.6;
constexpr int kMinStretch = 50;
constexpr int kMaxStretch = 200;
// Percent by which the page's glyph boxes and the face's ink differ anyway.
constexpr int kStretchNoise = 1;

// The pixel size whose ink height of the sample best fills the box's height.
int heightFittedPixelSize(const QFont& font, const QString& sample, double targetH, int maxPx)
{
    int best = 4;
    double bestScore = -1;
    QFont probe = font;
    for (int px = 4; px <= maxPx; ++px) {
        probe.setPixelSize(px);
        const double h = std::max(QFontMetricsF(probe).tightBoundingRect(sample).height(), 1.0);
        const double score = 1.35 * std::abs(h - targetH) / targetH + 2.5 * std::max(0.0, h - 1.04 * targetH) / targetH;
        if (bestScore < 0 || score < bestScore) {
            best = px;
            bestScore = score;
        }
    }
    return best;
}

// A native line keeps its size: the PDF's own where it agrees with the box,
// else the one whose ink fills the box's height. A face wider or narrower than
// the page's glyphs is stretched so that the line's own text spans the line's
// width, as the writer scales it on the page; added text then adds its own width.
void fitNativeLine(QFont& font, const TextBlock::Line& line, double zoom, const QString& text)
{
    const QString trimmed = line.text.trimmed();
    const QString sample = trimmed.isEmpty() ? samplePhrase() : trimmed;
    const double targetH = std::max(line.rect.height() * zoom, kMinLineHeightPt);
    const double targetW = std::max(line.rect.width() * zoom, kMinLineHeightPt);
    const double boxShare = line.fontSize > 1.0f ? line.rect.height() / double(line.fontSize) : 0.0;
    const int px = boxShare >= kMinBoxShareOfSize && boxShare <= kMaxBoxShareOfSize
                       ? std::max(int(std::lround(line.fontSize * zoom)), 1)
                       : heightFittedPixelSize(font, sample, targetH,
                                               std::max(int(std::lround(line.fontSize * zoom * 1.12)), 6));
    font.setPixelSize(px);
    const QString t = trimmed.isEmpty() ? text.trimmed() : trimmed;
    if (t.isEmpty())
        return;
    const double width = QFontMetricsF(font).tightBoundingRect(t).width();
    if (width <= 1.0)
        return;
    int stretch = std::clamp(int(std::lround(100.0 * targetW / width)), kMinStretch, kMaxStretch);
    if (std::abs(stretch - 100) <= kStretchNoise)
        return;
    font.setStretch(stretch);
    // Hinted glyphs do not scale quite in proportion: measured once more.
    const double stretched = QFontMetricsF(font).tightBoundingRect(t).width();
    if (stretched > 1.0) {
        stretch = std::clamp(int(std::lround(stretch * targetW / stretched)), kMinStretch, kMaxStretch);
        font.setStretch(stretch);
    }
}

constexpr int kMaxPixelSize = 1000;

// Text the user put on the page: no place on it before.
bool addedByUser(const TextBlock& block)
{
    return !hasArea(block.originalRect) && !block.isImage;
}

bool drawnAtBlockSize(const TextBlock::Line& line, const TextBlock& block, bool native)
{
    if (line.invisibleText)
        return true;
    return !native && (block.invisibleText || line.spans.empty());
}

} // namespace

namespace {

const std::pair<const char*, const char*> kFamilies[] = {
        {"times", "Times New Roman"},          {"liberation serif", "Liberation Serif"},
        {"dejavu serif", "DejaVu Serif"},      {"nimbus roman", "Nimbus Roman"},
        {"courier", "Courier New"},            {"helvetica", "Arial"},
        {"arial", "Arial"},                    {"liberation sans", "Liberation Sans"},
        {"dejavu sans", "DejaVu Sans"},        {"georgia", "Georgia"},
        {"verdana", "Verdana"},                {"calibri", "Calibri"},
        {"cambria", "Cambria"},                {"garamond", "Garamond"},
        {"tahoma", "Tahoma"},
};

bool knownFamily(const QString& family)
{
    return std::any_of(std::begin(kFamilies), std::end(kFamilies),
                       [&](const auto& entry) { return family == QLatin1String(entry.second); });
}

} // namespace

QString mapPdfFont(const QString& pdfName)
{
    const int plus = int(pdfName.indexOf(u'+'));
    const QString name = plus >= 0 ? pdfName.mid(plus + 1) : pdfName;
    const QString lower = name.toLower();
    for (const auto& [needle, family] : kFamilies) {
        if (lower.contains(QLatin1String(needle)))
            return QString::fromLatin1(family);
    }
    return name.isEmpty() ? QStringLiteral("Arial") : name;
}

namespace {

QString firstInstalled(std::initializer_list<const char*> families)
{
    for (const char* family : families) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family)))
            return QString::fromLatin1(family);
    }
    return QString();
}

bool nameLooksSerif(const QString& lower)
{
    if (lower.contains(QLatin1String("sans")) || lower.contains(QLatin1String("gothic")))
        return false;
    static const char* const kSerifHints[] = {"serif", "roman", "times", "cmr", "cmbx", "cmti", "cmsl", "sfrm",
                                              "sfbx", "lmroman", "minion", "garamond", "georgia", "cambria",
                                              "book", "palatino", "century", "baskerville", "bodoni", "utopia",
                                              "charter", "schoolbook", "antiqua", "mincho", "tinos", "batang"};
    return std::any_of(std::begin(kSerifHints), std::end(kSerifHints),
                       [&](const char* hint) { return lower.contains(QLatin1String(hint)); });
}

bool nameLooksMonospaced(const QString& lower)
{
    return lower.contains(QLatin1String("mono")) || lower.contains(QLatin1String("courier"))
           || lower.contains(QLatin1String("cmtt")) || lower.contains(QLatin1String("typewriter"))
           || lower.contains(QLatin1String("consol"));
}

} // namespace

namespace {

// The family of the face the page writer sets this PDF font's text in where
// the page's own font cannot draw it: the first of its files there is, made
// known to the font database from that very file.
QString writtenFamily(const QString& pdfName)
{
    static QHash<QString, QString> familyOfFile;
    for (const QString& path : pdfengine::writerFontFiles(pdfName, false, false)) {
        auto known = familyOfFile.constFind(path);
        if (known == familyOfFile.constEnd()) {
            const int id = QFileInfo::exists(path) ? QFontDatabase::addApplicationFont(path) : -1;
            known = familyOfFile.insert(path, id >= 0 ? QFontDatabase::applicationFontFamilies(id).value(0) : QString());
        }
        if (!known->isEmpty())
            return *known;
    }
    return {};
}

} // namespace

QString displayFamilyForPdfFont(const QString& pdfName)
{
    static QHash<QString, QString> resolved;
    const auto found = resolved.constFind(pdfName);
    if (found != resolved.constEnd())
        return *found;
    // What is shown is what will be written.
    QString family = writtenFamily(pdfName);
    if (!family.isEmpty()) {
        resolved.insert(pdfName, family);
        return family;
    }
    family = mapPdfFont(pdfName);
    // Families of the table resolve through the system's metric aliases; a
    // name nobody knows would fall to the default sans face.
    if (!knownFamily(family) && !QFontDatabase::hasFamily(family)) {
        const QString lower = pdfName.toLower();
        const QString generic =
            nameLooksMonospaced(lower) ? firstInstalled({"Liberation Mono", "Nimbus Mono PS", "DejaVu Sans Mono"})
            : nameLooksSerif(lower)    ? firstInstalled({"Liberation Serif", "Nimbus Roman", "DejaVu Serif"})
                                       : firstInstalled({"Liberation Sans", "Nimbus Sans", "DejaVu Sans"});
        if (!generic.isEmpty())
            family = generic;
    }
    resolved.insert(pdfName, family);
    return family;
}

bool fontNameLooksBold(const QString& pdfName)
{
    static const QRegularExpression bold(QStringLiteral("bold|black|heavy|semibold|demi|,b$|cmbx|sfbx"),
                                         QRegularExpression::CaseInsensitiveOption);
    return bold.match(pdfName).hasMatch();
}

double lineBoxFontSize(const TextBlock::Line& line)
{
    const double boxSize = line.rect.height() > 1.0 ? kLineBoxShare * line.rect.height() : 0.0;
    return std::max(boxSize, double(line.fontSize));
}

QString representativeTextSample(const QString& text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? samplePhrase() : trimmed.left(kSampleLength);
}

int fittedFontPixelSize(const QFont& font, const QString& sample, int minPx, double targetHeight)
{
    if (targetHeight <= 1.0)
        return std::max(minPx, std::min(font.pixelSize(), kMaxFittedPx));
    return cachedFittedSize(font, sample, minPx, targetHeight);
}

void applyScannedOcrSpacing(QFont& font, const TextBlock::Line& line, double zoom, const QString& text)
{
    const QString t = line.text.trimmed().isEmpty() ? text.trimmed() : line.text.trimmed();
    if (t.size() < 2)
        return;
    const double px = std::max(font.pixelSize(), 1);
    const double target = std::max(zoom * line.rect.width(), 2.0);
    const double extra = target - std::max(QFontMetricsF(font).horizontalAdvance(t), 1.0);
    if (std::abs(extra) < std::max(0.08 * px, 0.75))
        return;
    const int spaces = int(std::count_if(t.begin(), t.end(), [](QChar c) { return c.isSpace(); }));
    const int words = int(splitWordsPreserveSimple(t).size());
    constexpr int kManyWords = 3;
    constexpr int kLongLine = 32;
    const auto letterSpacing = [&] {
        const double spacing = extra / std::max(int(t.size()) - 1, 1);
        setAbsoluteLetterSpacing(font, std::clamp(spacing, -0.08 * px, std::max(0.22 * px, 0.25)));
    };
    const auto wordSpacing = [&] {
        if (extra <= 0) {
            letterSpacing();
            return;
        }
        font.setWordSpacing(std::min(extra / spaces, std::max(2.6 * px, 2.0)));
    };
    const auto asManyWords = [&] {
        if (spaces > 0)
            wordSpacing();
        else
            letterSpacing();
    };
    if (words > kManyWords)
        asManyWords();
    else if (spaces > 1)
        wordSpacing();
    else if (t.size() > kLongLine)
        asManyWords();
    else if (extra <= std::max(0.18 * px, 1.0))
        asManyWords();
}

QFont lineRenderFont(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& text,
                     bool applySpacing, double scale)
{
    const bool lineHasFamily = !line.fontFamily.trimmed().isEmpty();
    const QString source = lineFamilySource(line, block);
    QFont font(source.isEmpty() ? defaultFamily() : displayFamilyForPdfFont(source));
    // A bold face named so stays bold, whatever the style flags say.
    const bool bold = (lineHasFamily ? line.bold : block.bold) || fontNameLooksBold(source);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    const bool italic = effectiveLineItalic(line, block);
    font.setItalic(italic);
    const double lineH = std::max(line.rect.height(), kMinLineHeightPt);
    const bool native = isNativePdfLine(line);
    constexpr double kSmallItalicSize = 10.5;
    if (!line.invisibleText && native && !bold && italic && line.fontSize <= kSmallItalicSize)
        font.setWeight(QFont::DemiBold);

    // A line of the page keeps its size once typed into (its style runs go);
    // a scanned page's searchable layer is written at its own size too, as
    // wide as it was.
    const bool pageLine = (native || line.placement) && !line.invisibleText;
    const bool layerLine = line.placement && line.invisibleText && line.fontSize > 1.0f;
    if (pageLine || layerLine) {
        fitNativeLine(font, line, zoom, text);
        return font;
    }
    // Text the user added is written at the size chosen for it.
    if (addedByUser(block) && line.fontSize > 1.0f) {
        font.setPixelSize(std::clamp(int(std::lround(line.fontSize * zoom * scale)), 1, kMaxPixelSize));
        return font;
    }
    if (drawnAtBlockSize(line, block, native) && block.fontSize > 1.0f) {
        const double size = std::max(kLineBoxShare * medianOcrLineHeightPt(block), double(block.fontSize));
        font.setPixelSize(std::clamp(int(std::lround(size * zoom * scale)), 4, 240));
        if (applySpacing)
            applyScannedOcrSpacing(font, line, zoom, text);
        return font;
    }
    const double size = line.fontSize > 1.0f ? double(line.fontSize) : lineH;
    const double target = std::clamp(size, 0.45 * lineH, 1.7 * lineH);
    int px = fittedFontPixelSize(font, representativeTextSample(line.text), 4,
                                 std::max(zoom * target * 0.96, kMinLineHeightPt));
    const int cap = std::max(int(std::lround(std::max(target * 1.12, lineH * 1.45) * zoom)), 4);
    px = std::min(px, cap);
    if (std::abs(scale - 1.0) > 0.01) {
        const int upper = std::max(int(std::lround(1.18 * lineH * zoom)), cap + 1);
        px = std::clamp(int(std::lround(px * scale)), 4, upper);
    }
    font.setPixelSize(px);
    if (applySpacing)
        applyScannedOcrSpacing(font, line, zoom, text);
    return font;
}

QColor spanTextColor(const TextBlock::Line::Span& span, const QColor& lineColour)
{
    if (span.fill.isValid() && span.fill.alpha() > kVisibleAlpha)
        return span.fill;
    if (span.color.isValid() && span.color.alpha() > kVisibleAlpha)
        return span.color;
    return lineColour;
}

// A page line shows its glyphs' own fill: a render's anti-aliased ink reads
// black as grey.
QColor lineTextColor(const TextBlock::Line& line, const TextBlock& block)
{
    if (!line.invisibleText && !line.spans.empty()) {
        const QColor& fill = line.spans.front().fill;
        if (fill.isValid() && fill.alpha() > kVisibleAlpha)
            return fill;
    }
    if (line.color.isValid() && line.color.alpha() > kVisibleAlpha)
        return line.color;
    if (block.color.isValid() && block.color.alpha() > kVisibleAlpha)
        return block.color;
    return Qt::black;
}

bool lineHasNativeRichSpans(const TextBlock::Line& line)
{
    if (line.invisibleText || line.spans.empty())
        return false;
    if (line.spans.size() >= 2)
        return true;
    const TextBlock::Line::Span& span = line.spans.front();
    constexpr double kSizeTolerance = 0.15;
    if (span.superscript || span.subscript)
        return true;
    if (span.color.isValid() && line.color.isValid() && span.color != line.color)
        return true;
    const QString spanFamily = span.fontFamily.trimmed();
    const QString ownFamily = line.fontFamily.trimmed();
    if (!spanFamily.isEmpty() && !ownFamily.isEmpty() && mapPdfFont(spanFamily) != mapPdfFont(ownFamily))
        return true;
    if (span.fontSize > 0 && line.fontSize > 0 && std::abs(span.fontSize - line.fontSize) > kSizeTolerance)
        return true;
    if (span.bold != line.bold)
        return true;
    const bool spanItalic = span.italic && (!isNativePdfLine(line) || fontNameLooksItalic(span.fontFamily));
    TextBlock owner;
    return spanItalic != effectiveLineItalic(line, owner);
}

bool blockHasRichTextPreview(const TextBlock& block)
{
    return !block.richText.trimmed().isEmpty();
}

QStringList splitWordsPreserveSimple(const QString& text)
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    return text.split(spaces, Qt::SkipEmptyParts);
}

double medianOcrLineHeightPt(const TextBlock& block)
{
    std::vector<double> heights;
    for (const TextBlock::Line& line : block.lines) {
        if (line.rect.height() > 1.0)
            heights.push_back(line.rect.height());
    }
    if (heights.empty())
        return std::max(block.fontSize / 0.72, 6.0);
    std::sort(heights.begin(), heights.end());
    return heights[heights.size() / 2];
}

QStringList displayLinesForEditor(const TextBlock& block)
{
    const QStringList parts = block.text.split(u'\n');
    if (qsizetype(block.lines.size()) == parts.size() || block.text.contains(u'\n') || block.lines.empty())
        return parts;
    QStringList texts;
    for (const TextBlock::Line& line : block.lines)
        texts << line.text;
    return texts;
}

TextBlock::Line visualLineForIndex(const TextBlock& block, int k)
{
    const int n = int(block.lines.size());
    if (k >= 0 && k < n)
        return block.lines[size_t(k)];
    TextBlock::Line line;
    if (n == 0) {
        line.rect = block.rect;
        line.fontSize = 10.0f;
        line.color = Qt::black;
        return line;
    }
    const TextBlock::Line& last = block.lines.back();
    std::vector<double> steps;
    for (int i = 1; i < n; ++i) {
        const QRectF& a = block.lines[size_t(i - 1)].rect;
        const QRectF& b = block.lines[size_t(i)].rect;
        const double step = std::abs((a.y() + a.height()) - (b.y() + b.height()));
        constexpr double kMinPitch = 2.0;
        constexpr double kMaxPitch = 80.0;
        if (step > kMinPitch && step < kMaxPitch)
            steps.push_back(step);
    }
    double pitch = std::max(6.0, 1.25 * last.rect.height());
    if (!steps.empty()) {
        std::sort(steps.begin(), steps.end());
        pitch = steps[steps.size() / 2];
    }
    line = last;
    line.text.clear();
    line.spans.clear();
    line.words.clear();
    line.placement.reset();  // no glyphs stood there
    line.originalText.clear();  // a line below the block's own shows nothing of the page
    line.originalRect = QRectF();
    const double height = std::max(last.rect.height(), kMinLineHeightPt);
    const double top = last.rect.y() + last.rect.height() - (k - n + 1) * pitch;
    line.rect = QRectF(block.rect.x(), top - height, block.rect.width(), height);
    return line;
}

void insertTextWithRaisedPlaceholderUnderlines(QTextCursor& cursor, const QString& text,
                                               const QTextCharFormat& format)
{
    static const QRegularExpression blanks(QStringLiteral("_{2,}"));
    if (!text.contains(QLatin1String("__"))) {
        cursor.insertText(text, format);
        return;
    }
    QTextCharFormat underlined = format;
    underlined.setFontUnderline(true);
    qsizetype at = 0;
    for (auto it = blanks.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (match.capturedStart() > at)
            cursor.insertText(text.mid(at, match.capturedStart() - at), format);
        cursor.insertText(QString(match.capturedLength(), QChar(0x00A0)), underlined);
        at = match.capturedEnd();
    }
    if (at < text.size())
        cursor.insertText(text.mid(at), format);
}

void scaleDocumentFontPixels(QTextDocument* document, double factor)
{
    constexpr double kUnchanged = 0.001;
    if (!document || factor <= 0 || std::abs(factor - 1.0) < kUnchanged)
        return;
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (QTextBlock paragraph = document->begin(); paragraph.isValid(); paragraph = paragraph.next()) {
        QTextBlockFormat format = paragraph.blockFormat();
        format.setTopMargin(format.topMargin() * factor);
        format.setBottomMargin(format.bottomMargin() * factor);
        format.setLeftMargin(format.leftMargin() * factor);
        format.setRightMargin(format.rightMargin() * factor);
        format.setTextIndent(format.textIndent() * factor);
        if (format.lineHeightType() != QTextBlockFormat::ProportionalHeight && format.lineHeight() > 0)
            format.setLineHeight(format.lineHeight() * factor, format.lineHeightType());
        QTextCursor(paragraph).setBlockFormat(format);
    }
    // Formats are changed after the walk: changing them merges and splits fragments.
    struct Piece {
        int position;
        int length;
        QTextCharFormat format;
    };
    std::vector<Piece> pieces;
    for (QTextBlock paragraph = document->begin(); paragraph.isValid(); paragraph = paragraph.next()) {
        for (auto it = paragraph.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                pieces.push_back({fragment.position(), fragment.length(), fragment.charFormat()});
        }
    }
    for (Piece& piece : pieces) {
        const QFont font = piece.format.font();
        double px = font.pixelSize() > 0 ? font.pixelSize() : -1;
        if (px < 0 && piece.format.hasProperty(QTextFormat::FontPointSize) && piece.format.fontPointSize() > 0)
            px = std::round(piece.format.fontPointSize());
        if (px <= 0)
            continue;
        piece.format.clearProperty(QTextFormat::FontPointSize);
        piece.format.setProperty(QTextFormat::FontPixelSize,
                                 std::clamp(int(std::lround(px * factor)), 1, kMaxPixelSize));
        QTextCursor span(document);
        span.setPosition(piece.position);
        span.setPosition(piece.position + piece.length, QTextCursor::KeepAnchor);
        span.setCharFormat(piece.format);
    }
    cursor.endEditBlock();
}
