#include "OcrEngine.h"

#include "FontMatcher.h"
#include "OcrBlocks.h"
#include "OcrImageBlocks.h"
#include "OcrText.h"
#include "PageStraightening.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtEndian>
#include <QStringView>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include <omp.h>

namespace {

struct PixDeleter {
    void operator()(Pix *pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

struct TextDeleter {
    void operator()(char *text) const { delete[] text; }
};
using TessText = std::unique_ptr<char, TextDeleter>;

// Drops the recogniser's page results when a recognition ends, on every path.
struct PageResultsGuard {
    tesseract::TessBaseAPI &api;
    ~PageResultsGuard() { api.Clear(); }
};

// A new Pix with the image's pixels: 8-bit grey for a grey image (the
// recogniser is quicker on it than on a colour copy), else 32-bit as
// 0xRRGGBB00; null when Leptonica cannot allocate it.
PixPtr qImageToPix(const QImage &image)
{
    if (image.isGrayscale()) {
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        PixPtr pix(pixCreate(grey.width(), grey.height(), 8));
        if (!pix)
            return pix;
        l_uint32 *data = pixGetData(pix.get());
        const int wpl = pixGetWpl(pix.get());
        for (int y = 0, yEnd = grey.height(); y < yEnd; ++y) {
            const uchar *row = grey.constScanLine(y);
            l_uint32 *out = data + size_t(y) * size_t(wpl);
            for (int x = 0, xEnd = grey.width(); x < xEnd; ++x)
                SET_DATA_BYTE(out, x, row[x]);
        }
        return pix;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    PixPtr pix(pixCreate(rgb.width(), rgb.height(), 32));
    if (!pix)
        return pix;
    l_uint32 *data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0, yEnd = rgb.height(); y < yEnd; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        l_uint32 *out = data + size_t(y) * size_t(wpl);
        for (int x = 0, xEnd = rgb.width(); x < xEnd; ++x) {
            const QRgb p = row[x];
            out[x] = (l_uint32(qRed(p)) << 24) | (l_uint32(qGreen(p)) << 16) | (l_uint32(qBlue(p)) << 8);
        }
    }
    return pix;
}

// The pixels of an 8- or 32-bit Pix as a 32-bit image.
QImage pixToImage(Pix *pix)
{
    const int width = int(pixGetWidth(pix));
    const int height = int(pixGetHeight(pix));
    const l_uint32 *data = pixGetData(pix);
    const int wpl = pixGetWpl(pix);
    if (pixGetDepth(pix) == 8) {
        // Leptonica keeps the bytes of each 32-bit word most significant first.
        QImage grey(width, height, QImage::Format_Grayscale8);
        if (grey.isNull() || grey.bytesPerLine() < wpl * 4)
            return {};
        for (int y = 0; y < height; ++y)
            qFromBigEndian<quint32>(data + size_t(y) * size_t(wpl), wpl, grey.scanLine(y));
        return grey.convertToFormat(QImage::Format_RGB32);
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < height; ++y) {
        const l_uint32 *in = data + size_t(y) * size_t(wpl);
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb(int(in[x] >> 24), int((in[x] >> 16) & 0xFF), int((in[x] >> 8) & 0xFF));
    }
    return image;
}

// Clockwise degrees that straighten the scan's text lines, or 0 when the
// page is straight or the measure is not sure.
double skewToStraighten(Pix *pix)
{
    constexpr l_int32 kInkThreshold = 130;
    constexpr l_float32 kMinConfidence = 3.0f; // Leptonica's own for deskewing
    constexpr l_float32 kMinDegrees = 0.1f;
    const PixPtr binary(pixConvertTo1(pix, kInkThreshold));
    l_float32 angle = 0.0f;
    l_float32 confidence = 0.0f;
    if (!binary || pixFindSkew(binary.get(), &angle, &confidence) != 0)
        return 0.0;
    if (confidence < kMinConfidence || std::abs(angle) < kMinDegrees || !std::isfinite(angle))
        return 0.0;
    return angle;
}

// The recogniser's parallel loops ask for their own thread counts, so the
// default thread count is not enough: no parallel region of this thread may
// fork. Spinning OpenMP threads of several recognisers on a busy machine cost
// far more than they gain; parallelism comes from pages on worker threads.
void useOneOpenMpThread()
{
    omp_set_num_threads(1);
    omp_set_max_active_levels(0);
}

QString takeText(char *utf8)
{
    const TessText owned(utf8);
    return owned ? QString::fromUtf8(owned.get()) : QString();
}

// Whether every language of a "rus+eng" list is loaded.
bool loadedEveryLanguage(const tesseract::TessBaseAPI& recognizer, const QString& languages)
{
    std::vector<std::string> loaded;
    recognizer.GetLoadedLanguagesAsVector(&loaded);
    const QStringList wanted = languages.split(QLatin1Char('+'), Qt::SkipEmptyParts);
    return std::all_of(wanted.begin(), wanted.end(), [&](const QString& code) {
        return std::find(loaded.begin(), loaded.end(), code.toStdString()) != loaded.end();
    });
}

QString bundledTessdataPath()
{
    if (!QCoreApplication::instance())
        return {};
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tessdata"));
    return QFileInfo(path).isDir() ? path : QString();
}

bool isCyrillicLetter(char32_t c)
{
    return c >= 0x0400 && c <= 0x052F && QChar::isLetter(c);
}

bool isLatinLetter(char32_t c)
{
    return (c < 0x0250) && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && QChar::isLetter(c)));
}

struct ScriptCount {
    int cyrillic = 0;
    int latin = 0;
    void add(const QString &text)
    {
        for (char32_t c : QStringView(text).toUcs4()) {
            cyrillic += isCyrillicLetter(c);
            latin += isLatinLetter(c);
        }
    }
    bool decided() const { return cyrillic + latin > 0; }
    bool mainlyCyrillic() const { return cyrillic > latin; }
};

// Per recogniser line: whether its letters are mainly Cyrillic. The words
// that are themselves correction keys do not count (they are Cyrillic words
// misread as Latin); a line with no other letters follows the whole page.
std::vector<bool> mainlyCyrillicLines(const std::vector<RecognizedWord> &words)
{
    int lineCount = 0;
    for (const RecognizedWord &w : words)
        lineCount = std::max(lineCount, w.lineIndex + 1);
    std::vector<ScriptCount> lines(static_cast<size_t>(lineCount));
    ScriptCount page;
    for (const RecognizedWord &w : words) {
        const QString t = w.text.trimmed();
        if (w.lineIndex < 0 || !correctedOcrWord(t).isNull())
            continue;
        lines[size_t(w.lineIndex)].add(t);
        page.add(t);
    }
    std::vector<bool> result(static_cast<size_t>(lineCount), false);
    for (size_t i = 0; i < lines.size(); ++i)
        result[i] = lines[i].decided() ? lines[i].mainlyCyrillic() : page.mainlyCyrillic();
    return result;
}

// Mostly letters and digits, at least two: the recogniser's low confidence
// on such a word is often doubt about one letter, and the word is still
// better kept than lost. Lone marks and strokes are not.
bool isWordShaped(const QString &text)
{
    constexpr int kMinChars = 2;
    constexpr double kMinShare = 0.6;
    const int n = meaningfulCharCount(text);
    return n >= kMinChars && n >= kMinShare * text.size();
}

bool isDuplicateCandidate(const TextBlock &b, const QString &trimmed)
{
    return !b.isImage && b.rect.width() > 0 && b.rect.height() > 0 && trimmed.size() >= 3 && trimmed.size() <= 18;
}

// The fragment stands over the box: its centre inside, most of the smaller
// height shared.
bool overlapsFragment(const QRectF &box, const QRectF &fragment)
{
    constexpr double kGrow = 1.5;
    constexpr double kMinOverlap = 0.55;
    if (box.width() <= 0 || box.height() <= 0 || !box.adjusted(-kGrow, -kGrow, kGrow, kGrow).contains(fragment.center()))
        return false;
    const double overlap = std::min(fragment.bottom(), box.bottom()) - std::max(fragment.top(), box.top());
    const double smaller = std::min(fragment.height(), box.height());
    return overlap > 0 && (smaller > 1.0 ? overlap / smaller : overlap) > kMinOverlap;
}

// The container already reads the fragment's text where the fragment stands:
// on the line that holds that text (a paragraph repeats its words on other
// lines, which a fragment beside them does not duplicate), or anywhere in a
// block without lines.
bool coversFragment(const TextBlock &container, const QString &containerText, const TextBlock &fragment,
                    const QString &fragmentText)
{
    if (container.isImage)
        return false;
    if (containerText.size() <= fragmentText.size() || !containerText.contains(fragmentText, Qt::CaseInsensitive))
        return false;
    if (container.lines.empty())
        return overlapsFragment(container.rect, fragment.rect);
    return std::any_of(container.lines.begin(), container.lines.end(), [&](const TextBlock::Line &line) {
        return line.text.contains(fragmentText, Qt::CaseInsensitive) && overlapsFragment(line.rect, fragment.rect);
    });
}

} // namespace

QString correctedOcrWord(const QString &text)
{
    static const QString street = QStringLiteral("ул.,");
    static const QString executor = QStringLiteral("Исп.");
    static const QString itemNumber = QStringLiteral("№ п/п");
    static const QString number = QStringLiteral("номер");
    static const QString phone = QStringLiteral("тел.");
    struct Correction {
        const char16_t *key;
        const QString &value;
    };
    static const Correction corrections[] = {
        {u"yi,", street},       {u"у1,", street},      {u"Men.", executor},     {u"Newn", itemNumber},
        {u"Noun", itemNumber},  {u"Noon", itemNumber}, {u"Nen/n", itemNumber},  {u"Ne/n", itemNumber},
        {u"№шп", itemNumber},   {u"№ шп", itemNumber}, {u"аластр", number},     {u"\u2018тел.", phone},
        {u"'тел.", phone},      {u"`тел.", phone},
    };
    for (const Correction &c : corrections) {
        if (text == QStringView(c.key))
            return c.value;
    }
    return {};
}

std::vector<OcrWord> acceptRecognizedWords(const std::vector<RecognizedWord> &words, double pageHeight)
{
    constexpr float kMinConfidence = 38.0f;
    constexpr double kMinSide = 1.0;
    const std::vector<bool> cyrillicLines = mainlyCyrillicLines(words);
    std::vector<OcrWord> candidates;
    for (const RecognizedWord &w : words) {
        QString text = w.text.trimmed();
        const QString corrected = correctedOcrWord(text);
        const bool correctable = !corrected.isNull() && w.lineIndex >= 0 && cyrillicLines[size_t(w.lineIndex)];
        if (correctable)
            text = corrected;
        else if (w.confidence < kMinConfidence && !isWordShaped(text))
            continue;
        if (text.isEmpty() || w.rect.width() <= kMinSide || w.rect.height() <= kMinSide)
            continue;
        candidates.push_back({text, w.rect, w.confidence, w.glyphs});
    }
    return removeSignatureNoiseWords(candidates, pageHeight);
}

void removeDuplicateFragments(std::vector<TextBlock> &blocks)
{
    std::vector<QString> texts;
    texts.reserve(blocks.size());
    for (const TextBlock &b : blocks)
        texts.push_back(b.text.trimmed());
    std::vector<bool> remove(blocks.size(), false);
    for (size_t a = 0; a < blocks.size(); ++a) {
        if (!isDuplicateCandidate(blocks[a], texts[a]))
            continue;
        for (size_t b = 0; b < blocks.size() && !remove[a]; ++b)
            remove[a] = b != a && coversFragment(blocks[b], texts[b], blocks[a], texts[a]);
    }
    size_t i = 0;
    std::erase_if(blocks, [&](const TextBlock &) { return remove[i++]; });
}

void OcrEngine::RecognizerDeleter::operator()(tesseract::TessBaseAPI *recognizer) const
{
    recognizer->End();
    delete recognizer;
}

OcrEngine::OcrEngine(QObject *parent) : QObject(parent) {}

OcrEngine::~OcrEngine() = default;

bool OcrEngine::init(const QString &lang)
{
    api.reset();
    initialized = false;
    useOneOpenMpThread();
    std::unique_ptr<tesseract::TessBaseAPI, RecognizerDeleter> recognizer(new tesseract::TessBaseAPI);
    const QByteArray dataPath = bundledTessdataPath().toLocal8Bit();
    const QByteArray language = lang.toUtf8();
    // Tesseract starts with the languages it could load and only prints the
    // others: a missing one would be read as another script. One more try
    // (a read can fail under load), then the init fails.
    const auto initAll = [&] {
        const int status = recognizer->Init(dataPath.isEmpty() ? nullptr : dataPath.constData(), language.constData(),
                                            tesseract::OEM_DEFAULT, nullptr, 0, nullptr, nullptr, false);
        return status == 0 && loadedEveryLanguage(*recognizer, lang);
    };
    if (!initAll() && !initAll()) {
        qWarning() << "Tesseract init failed for lang:" << lang;
        lastErrorText = QStringLiteral("Не удалось загрузить данные распознавания для языков «%1»").arg(lang);
        return false;
    }
    // The library's own default is one uniform block of text, under which a
    // ruled table yields no words; segment the page the way the tesseract
    // program does.
    recognizer->SetPageSegMode(tesseract::PSM_AUTO);
    api = std::move(recognizer);
    initialized = true;
    lastErrorText.clear();
    return true;
}

QStringList OcrEngine::availableLanguages() const
{
    static const char *const folders[] = {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4/tessdata",
                                          "/usr/share/tessdata", "/usr/local/share/tessdata"};
    QStringList languages;
    for (const char *folder : folders) {
        const QDir dir(QString::fromLatin1(folder));
        if (!dir.exists())
            continue;
        const QStringList files = dir.entryList({QStringLiteral("*.traineddata")}, QDir::Files, QDir::Unsorted);
        for (const QString &file : files)
            languages << file.section(QLatin1Char('.'), 0, 0);
        if (!files.isEmpty())
            break;
    }
    languages.sort(Qt::CaseSensitive);
    return languages;
}

bool OcrEngine::acceptsImage(const QImage &image)
{
    constexpr int kMinSide = 4;
    if (!initialized) {
        lastErrorText = QStringLiteral("Распознавание не подготовлено: нет данных языков");
        return false;
    }
    if (image.isNull() || image.width() < kMinSide || image.height() < kMinSide) {
        lastErrorText = QStringLiteral("Изображение %1 × %2 пикселей слишком мало для распознавания")
                            .arg(image.width())
                            .arg(image.height());
        return false;
    }
    if (image.width() > kMaxImageSide || image.height() > kMaxImageSide
        || qint64(image.width()) * image.height() > kMaxImagePixels) {
        lastErrorText = QStringLiteral("Изображение %1 × %2 пикселей слишком велико для распознавания")
                            .arg(image.width())
                            .arg(image.height());
        return false;
    }
    return true;
}

QString OcrEngine::recognizeText(const QImage &image)
{
    lastErrorText.clear();
    if (!acceptsImage(image))
        return {};
    const PixPtr pix = qImageToPix(image);
    if (!pix) {
        lastErrorText = QStringLiteral("Не удалось подготовить изображение для распознавания");
        return {};
    }
    useOneOpenMpThread();
    const PageResultsGuard guard{*api};
    api->SetImage(pix.get());
    return takeText(api->GetUTF8Text()).trimmed();
}

std::vector<RecognizedWord> OcrEngine::readWords(Pix *pix, double scale, double pageHeight)
{
    std::vector<RecognizedWord> words;
    pixSetResolution(pix, int(std::lround(scale * 72.0)), int(std::lround(scale * 72.0)));
    useOneOpenMpThread();
    const PageResultsGuard guard{*api};
    api->SetImage(pix);
    api->Recognize(nullptr);
    const std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    if (!it)
        return words;
    const auto box = [&](tesseract::PageIteratorLevel level, QRect *pixels) {
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!it->BoundingBox(level, &left, &top, &right, &bottom))
            return false;
        *pixels = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
        return true;
    };
    // Glyph heights of the word being read, in points.
    std::vector<float> caps, xs, feet;
    bool inWord = false;
    const auto finishWord = [&] {
        if (inWord && !words.empty()) {
            words.back().glyphs = {std::move(caps), std::move(xs), std::move(feet)};
        }
        caps.clear();
        xs.clear();
        feet.clear();
        inWord = false;
    };
    int lineIndex = -1;
    it->Begin();
    do {
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
            ++lineIndex;
        if (it->IsAtBeginningOf(tesseract::RIL_WORD)) {
            finishWord();
            QRect pixels;
            const QString text = it->Empty(tesseract::RIL_WORD) ? QString() : takeText(it->GetUTF8Text(tesseract::RIL_WORD));
            if (!text.isNull() && box(tesseract::RIL_WORD, &pixels)) {
                const QRectF rect(pixels.left() / scale, pageHeight - (pixels.bottom() + 1) / scale,
                                  (pixels.width()) / scale, (pixels.height()) / scale);
                words.push_back({text.trimmed(), rect, it->Confidence(tesseract::RIL_WORD), std::max(lineIndex, 0), {}});
                inWord = true;
            }
        }
        QRect glyph;
        if (!inWord || it->Empty(tesseract::RIL_SYMBOL) || !box(tesseract::RIL_SYMBOL, &glyph))
            continue;
        const GlyphKind kind = glyphKind(takeText(it->GetUTF8Text(tesseract::RIL_SYMBOL)));
        if (kind == GlyphKind::Other)
            continue;
        (kind == GlyphKind::Cap ? caps : xs).push_back(float(glyph.height() / scale));
        feet.push_back(float(pageHeight - (glyph.bottom() + 1) / scale));
    } while (it->Next(tesseract::RIL_SYMBOL));
    finishWord();
    return words;
}

// Words found again by their boxes, which the line and block steps copy unchanged.
class GlyphLookup {
public:
    explicit GlyphLookup(const std::vector<OcrWord> &words)
    {
        for (const OcrWord &w : words)
            byBox.emplace(key(w.rect), &w.glyphs);
    }
    GlyphHeights line(const TextBlock::Line &line) const
    {
        GlyphHeights pooled;
        for (const TextBlock::Line::Word &w : line.words) {
            const auto found = byBox.find(key(w.rect));
            if (found == byBox.end())
                continue;
            pooled.caps.insert(pooled.caps.end(), found->second->caps.begin(), found->second->caps.end());
            pooled.xs.insert(pooled.xs.end(), found->second->xs.begin(), found->second->xs.end());
            pooled.feet.insert(pooled.feet.end(), found->second->feet.begin(), found->second->feet.end());
        }
        return pooled;
    }

private:
    using Key = std::array<double, 4>;
    static Key key(const QRectF &r) { return {r.x(), r.y(), r.width(), r.height()}; }
    std::map<Key, const GlyphHeights *> byBox;
};

// A line's size comes from its glyph heights; the font matcher, which guesses
// from the line box, only answers for lines without a measured glyph.
void OcrEngine::applyLineStyles(std::vector<TextBlock> &blocks, const std::vector<OcrWord> &words,
                                const QImage &image, double scale, double pageHeight) const
{
    constexpr int kStyleCropMargin = 3;
    constexpr int kMinCropSpan = 6;
    const QString documentFamily = QStringLiteral("Times New Roman");
    const GlyphLookup lookup(words);
    std::vector<GlyphHeights> lineGlyphs;
    for (const TextBlock &block : blocks)
        for (const TextBlock::Line &line : block.lines)
            lineGlyphs.push_back(lookup.line(line));
    const float capPerX = capPerXHeight(lineGlyphs);
    size_t lineIndex = 0;
    for (TextBlock &block : blocks) {
        for (TextBlock::Line &line : block.lines) {
            const GlyphHeights &glyphs = lineGlyphs[lineIndex++];
            line.baselineLift = baselineLiftFromGlyphs(glyphs, line.rect);
            const QRect crop = imageCropForPdfRect(line.rect, image, scale, pageHeight, kStyleCropMargin);
            if (!crop.isValid() || crop.right() - crop.left() <= kMinCropSpan || crop.bottom() - crop.top() <= kMinCropSpan)
                continue;
            const QImage pixels = image.copy(crop);
            if (const float size = fontSizeFromGlyphs(glyphs, capPerX); size > 0) {
                line.fontSize = size;
                line.color = FontMatcher::estimateTextColor(pixels);
                continue;
            }
            const FontMatch match = FontMatcher::match(pixels, line.text, float(line.rect.height()));
            line.fontFamily = match.family;
            line.fontSize = match.size;
            line.color = match.color;
            line.bold = match.bold;
            line.italic = match.italic;
        }
    }
    for (TextBlock &block : blocks) {
        if (const TextBlock::Line *style = representativeStyleLine(block))
            copyLineStyleToBlock(block, *style);
    }
    // The matcher's family and weight guesses are not trusted; its size and colour are.
    for (TextBlock &block : blocks) {
        if (block.isImage || block.text.trimmed().isEmpty())
            continue;
        for (TextBlock::Line &line : block.lines) {
            line.fontFamily = documentFamily;
            line.bold = shouldKeepDocumentBold(line.text, extraBoldPhrases);
            line.italic = false;
        }
        if (const TextBlock::Line *style = representativeStyleLine(block)) {
            block.fontFamily = documentFamily;
            block.fontSize = style->fontSize;
            block.color = style->color;
            block.bold = style->bold;
            block.italic = false;
        }
    }
}

std::vector<TextBlock> OcrEngine::recognizePage(const QImage &image, int pageIndex, double scale, double pageHeight)
{
    timings = {};
    lastErrorText.clear();
    if (!acceptsImage(image))
        return {};
    if (!(scale > 0) || !std::isfinite(scale) || !std::isfinite(pageHeight)) {
        lastErrorText = QStringLiteral("Неверный масштаб страницы для распознавания");
        return {};
    }
    QElapsedTimer total;
    total.start();
    PixPtr pix = qImageToPix(image);
    if (!pix) {
        lastErrorText = QStringLiteral("Не удалось подготовить изображение для распознавания");
        return {};
    }
    // A skewed scan is recognised, grouped and styled straightened; the
    // boxes go back onto the page as shown at the end.
    PageStraightening straightening;
    QImage page;
    if (const double degrees = skewToStraighten(pix.get()); degrees != 0.0) {
        PixPtr turned(pixRotate(pix.get(), float(degrees * std::numbers::pi / 180.0), L_ROTATE_AREA_MAP,
                                L_BRING_IN_WHITE, 0, 0));
        if (turned) {
            straightening = {degrees, QPointF(pixGetWidth(pix.get()) / 2, pixGetHeight(pix.get()) / 2)};
            pix = std::move(turned);
            page = pixToImage(pix.get());
        }
    }
    if (page.isNull())
        page = image.convertToFormat(QImage::Format_RGB32);
    if (page.isNull()) {
        lastErrorText = QStringLiteral("Не удалось подготовить изображение для распознавания");
        return {};
    }

    QElapsedTimer recognizer;
    recognizer.start();
    const std::vector<RecognizedWord> recognized = readWords(pix.get(), scale, pageHeight);
    timings.recognizerNs = recognizer.nsecsElapsed();

    const std::vector<OcrWord> words = acceptRecognizedWords(recognized, pageHeight);
    std::vector<QRectF> wordRects;
    wordRects.reserve(words.size());
    for (const OcrWord &w : words)
        wordRects.push_back(w.rect);

    const double pageWidth = page.width() / scale;
    std::vector<TextBlock::Line> lines =
        buildLinesFromWords(words, pageWidth, pageHeight, cityPlaceName, verticalRules(page, scale, pageHeight));
    refineOcrLineInkRects(lines, page, scale, pageHeight);
    const bool tablePage = isLikelyTablePage(page);
    std::vector<TextBlock> blocks = tablePage
        ? groupTableColumnRuns(std::move(lines), pageIndex, pageWidth, pageHeight)
        : groupOcrLines(std::move(lines), pageIndex, pageHeight);
    if (!blocks.empty())
        applyLineStyles(blocks, words, page, scale, pageHeight);
    if (!tablePage)
        normalizeBodyTextStyle(blocks, pageWidth, pageHeight);

    const std::vector<TextBlock> imageBlocks = detectImageBlocks(page, wordRects, pageIndex, scale, pageHeight);
    if (!imageBlocks.empty()) {
        removeImageNoiseWords(blocks, imageBlocks);
        std::erase_if(blocks, [](const TextBlock &b) { return !b.isImage && b.text.trimmed().isEmpty(); });
        removeImageNoiseText(blocks, imageBlocks);
    }
    blocks = splitBlocksByLineStyle(std::move(blocks));
    removeDuplicateFragments(blocks);
    blocks.insert(blocks.end(), imageBlocks.begin(), imageBlocks.end());
    straightening.blocksToScan(blocks, scale, pageHeight);
    for (TextBlock &block : blocks)
        for (TextBlock::Line &line : block.lines) {
            line.originalText = line.text;
            line.originalRect = line.rect;
            line.originalWords = line.words;
        }
    timings.totalNs = total.nsecsElapsed();
    return blocks;
}
