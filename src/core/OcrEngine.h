#pragma once
// Tesseract recognition of a rendered page into the page text model.

#include "OcrLines.h"
#include "OcrStyle.h"
#include "TextBlock.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}
struct Pix;

// A word as the recogniser reports it, before corrections and filters.
struct RecognizedWord {
    QString text;
    QRectF rect; // points
    float confidence = 0.0f;
    int lineIndex = 0; // the recogniser's text line, counted from 0
    GlyphHeights glyphs;
};

// The fixed replacement of a typical misreading, or a null string.
QString correctedOcrWord(const QString &text);

// Applies the corrections (on mainly Cyrillic lines only), the confidence and
// size filters and the signature-noise rule; the accepted words in order.
std::vector<OcrWord> acceptRecognizedWords(const std::vector<RecognizedWord> &words, double pageHeight);

// Removes short blocks that repeat a piece of a longer block lying over them.
void removeDuplicateFragments(std::vector<TextBlock> &blocks);

// Time spent in one recognizePage call.
struct OcrPageTimings {
    qint64 recognizerNs = 0; // the recogniser's own layout and recognition
    qint64 totalNs = 0;
};

class OcrEngine : public QObject {
    Q_OBJECT
public:
    // Pages above these bounds are refused rather than exhausting memory.
    static constexpr int kMaxImageSide = 16384;
    static constexpr qint64 kMaxImagePixels = 40'000'000;

    explicit OcrEngine(QObject *parent = nullptr);
    ~OcrEngine() override;

    // Languages joined by '+', e.g. "rus+eng". Uses the "tessdata" folder next
    // to the program when there is one, else the recogniser's default.
    bool init(const QString &lang);
    bool isInitialized() const { return initialized; }
    QStringList availableLanguages() const;

    QString recognizeText(const QImage &image);
    // scale: image pixels per PDF point; pageHeight in points. A skewed scan
    // is recognised on a straightened copy; every box is placed back on the
    // page as shown. Empty with lastError() set when the page is refused.
    std::vector<TextBlock> recognizePage(const QImage &image, int pageIndex, double scale, double pageHeight);

    QString lastError() const { return lastErrorText; }
    OcrPageTimings lastPageTimings() const { return timings; }

    // Configuration of two text rules that depend on the customer's documents.
    void setCityPlaceName(const QString &name) { cityPlaceName = name; }
    void setExtraBoldPhrases(std::vector<BoldPhrase> phrases) { extraBoldPhrases = std::move(phrases); }

signals:
    void progress(int percent);
    void finished(std::vector<TextBlock> blocks);
    void error(QString message);

private:
    struct RecognizerDeleter {
        void operator()(tesseract::TessBaseAPI *api) const;
    };

    bool acceptsImage(const QImage &image);
    std::vector<RecognizedWord> readWords(Pix *pix, double scale, double pageHeight);
    void applyLineStyles(std::vector<TextBlock> &blocks, const std::vector<OcrWord> &words, const QImage &image,
                         double scale, double pageHeight) const;

    std::unique_ptr<tesseract::TessBaseAPI, RecognizerDeleter> api;
    bool initialized = false;
    QString lastErrorText;
    OcrPageTimings timings;
    QString cityPlaceName;
    std::vector<BoldPhrase> extraBoldPhrases;
};
