#include "CompressionFit.h"

#include "CompressionOptionsJson.h"
#include "PdfEngineInternal.h"
#include "QpdfFile.h"
#include "RasterPage.h"
#include "RasterPdfWriter.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QThreadPool>

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <iterator>
#include <atomic>
#include <limits>
#include <memory>

using namespace pdfengine;

namespace {

using Options = PdfDocument::CompressionOptions;

struct PresetRow {
    const char* label;
    int imageDpi;
    int jpegQuality;
    bool monochrome;
};

constexpr PresetRow kPresetRows[] = {
    {"Почти без потери качества", 300, 85, false},
    {"Промежуточный бережный режим", 240, 80, false},
    {"Бережное сжатие", 200, 75, false},
    {"Умеренное сжатие", 180, 68, false},
    {"Среднее сжатие", 150, 55, false},
    {"Плотное среднее сжатие", 140, 50, false},
    {"Сильное сжатие", 120, 42, false},
    {"Сильное сжатие 100 dpi", 100, 35, false},
    {"Экстремальное сжатие", 72, 28, false},
    {"Экстремальное цветное сжатие", 72, 22, false},
    {"Жёсткий минимум цветом", 72, 16, false},
    {"Монохром 150 dpi", 150, 55, true},
    {"Монохром 120 dpi", 120, 45, true},
    {"Монохром 100 dpi", 100, 40, true},
    {"Монохром 72 dpi", 72, 35, true},
};

// The copy that keeps the document as it is: pictures kept unless they are
// denser than the highest resolution the dialog offers.
constexpr int kKeptAsIsDpi = 300;
constexpr int kKeptAsIsQuality = 85;

Options keptOptions(int imageDpi, int jpegQuality, bool recompressSmallImages)
{
    Options options;
    options.imageDpi = imageDpi;
    options.jpegQuality = jpegQuality;
    options.recompressSmallImages = recompressSmallImages;
    options.rasterizePages = false;
    return options;
}

struct FitCandidate {
    int index = 0;
    QString label;
    Options options;
    bool keepsText = false;
};

bool encryptedBytes(const QByteArray& bytes)
{
    QpdfFile file;
    QString error;
    if (!file.load(bytes, &error))
        return false;
    bool encrypted = false;
    file.run([&encrypted](QPDF& pdf) { encrypted = pdf.isEncrypted(); }, &error);
    return encrypted;
}

// Whether any sampled page carries text (caller holds the lock).
bool sampleHasText(FPDF_DOCUMENT doc, const QList<RasterPdfWriter::SampledPage>& sample)
{
    for (const RasterPdfWriter::SampledPage& page : sample) {
        const LoadedTextPage loaded = loadTextPage(doc, page.pageIndex);
        if (loaded.text && pdfApi().FPDFText_CountChars(loaded.text.get()) > 0)
            return true;
    }
    return false;
}

// What measuring one rasterising preset gave.
struct Measured {
    qint64 bytes = -1;
    QString error;
    bool cut = false;  // given up above a bound below the source size
};

// The rasterising forecasts of the presets of one resolution from one render
// per sampled page, encoded on a pool of threads while the next page renders.
// A preset whose running size passes its bound is given up.
class ResolutionGroup {
public:
    ResolutionGroup(FPDF_DOCUMENT doc, const QList<RasterPdfWriter::SampledPage>& sample, int pageCount,
                    int threads)
        : m_doc(doc), m_sample(sample), m_pageCount(pageCount), m_threads(std::max(1, threads))
    {
    }

    void measure(int imageDpi, const QList<int>& presets, qint64 bound, qint64 sourceSize,
                 QHash<int, Measured>* results)
    {
        const int count = int(presets.size());
        std::vector<Track> tracks(presets.size());
        for (int i = 0; i < count; ++i)
            tracks[size_t(i)].options = rasterCompressionOptions(
                kPresetRows[presets.at(i)].imageDpi, kPresetRows[presets.at(i)].jpegQuality,
                kPresetRows[presets.at(i)].monochrome);
        QThreadPool pool;
        pool.setMaxThreadCount(m_threads);
        QSemaphore inFlight(m_threads + 1);  // renders held at once
        int unrendered = 0;
        for (const RasterPdfWriter::SampledPage& sampled : m_sample) {
            if (std::all_of(tracks.cbegin(), tracks.cend(), [](const Track& t) { return t.stopped.load(); }))
                break;
            inFlight.acquire();
            auto job = std::make_shared<PageJob>(&inFlight);
            {
                QMutexLocker lock(&pdfiumMutex());
                job->page = renderRasterPage(m_doc, sampled.pageIndex, imageDpi);
            }
            if (!job->page.rendered)
                ++unrendered;
            for (Track& track : tracks) {
                if (track.stopped.load())
                    continue;
                pool.start([this, job, &track, sampled, bound] { encode(*job, sampled.represents, bound, &track); });
            }
        }
        pool.waitForDone();
        for (int i = 0; i < count; ++i) {
            const Track& track = tracks[size_t(i)];
            Measured& result = (*results)[presets.at(i)];
            const qint64 size = RasterPdfWriter::fileSize(m_pageCount, track.total.load());
            if (!track.error.isEmpty()) {
                result.error = track.error;
            } else if (track.stopped.load()) {
                result.cut = bound < sourceSize;
            } else if (unrendered == int(m_sample.size())) {
                QList<int> numbers;
                for (const RasterPdfWriter::SampledPage& page : m_sample)
                    numbers.append(page.pageIndex + 1);
                result.error = unrenderedPagesText(numbers, int(numbers.size()));
            } else {
                result.bytes = size;
            }
        }
    }

private:
    struct Track {
        Options options;
        std::atomic<qint64> total{0};
        std::atomic<bool> stopped{false};
        QString error;  // written once, by the encoder that stops the track
    };

    // The rendered page, freed with the last encoder that holds it.
    struct PageJob {
        explicit PageJob(QSemaphore* permits) : permits(permits) {}
        ~PageJob() { permits->release(); }
        PageJob(const PageJob&) = delete;
        PageJob& operator=(const PageJob&) = delete;
        QSemaphore* permits;
        RasterPage page;
    };

    void encode(const PageJob& job, int represents, qint64 bound, Track* track) const
    {
        if (track->stopped.load())
            return;
        const Options& options = track->options;
        const RasterPdfWriter::Picture picture = RasterPdfWriter::encodePicture(
            job.page.image, options.monochrome, options.jpegQuality, options.grayscale);
        if (picture.bytes.isEmpty()) {
            if (!track->stopped.exchange(true))
                track->error = QStringLiteral("Не удалось оценить сжатие страницы %1.").arg(job.page.pageIndex + 1);
            return;
        }
        const RasterPdfWriter::PageObjects objects =
            RasterPdfWriter::pageObjects(job.page.pageIndex, job.page.points, picture);
        const qint64 added = represents * RasterPdfWriter::pageObjectsSize(job.page.pageIndex, objects);
        const qint64 total = track->total.fetch_add(added) + added;
        if (RasterPdfWriter::fileSize(m_pageCount, total) > bound)
            track->stopped.store(true);
    }

    FPDF_DOCUMENT m_doc;
    QList<RasterPdfWriter::SampledPage> m_sample;
    int m_pageCount;
    int m_threads;
};

// Holds the loaded document and closes it under the lock.
struct LockedDocument {
    ~LockedDocument()
    {
        QMutexLocker lock(&pdfiumMutex());
        doc.reset();
    }
    DocumentPtr doc;
};

} // namespace

const QList<CompressionFit::Candidate>& CompressionFit::rasterPresets()
{
    static const QList<Candidate> presets = [] {
        QList<Candidate> list;
        for (const PresetRow& row : kPresetRows)
            list.append({QString::fromUtf8(row.label),
                         rasterCompressionOptions(row.imageDpi, row.jpegQuality, row.monochrome)});
        return list;
    }();
    return presets;
}

bool CompressionFit::isEncryptedFile(const QString& path)
{
    QString error;
    const QByteArray bytes = readWholeFile(path, &error);
    return !bytes.isEmpty() && encryptedBytes(bytes);
}

CompressionFit::Outcome CompressionFit::run(const QString& path, qint64 targetBytes, int encoderThreads)
{
    Outcome outcome;
    QString error;
    if (!ensurePdfium(&error)) {
        outcome.error = error;
        return outcome;
    }
    const QByteArray source = readWholeFile(path, &error);
    if (source.isEmpty()) {
        outcome.error = !error.isEmpty() ? error : QStringLiteral("Файл пуст или не удалось прочитать данные.");
        return outcome;
    }
    const qint64 sourceSize = source.size();
    outcome.encrypted = encryptedBytes(source);

    LockedDocument document;
    QList<RasterPdfWriter::SampledPage> sample;
    int pageCount = 0;
    bool hasText = false;
    {
        QMutexLocker lock(&pdfiumMutex());
        document.doc.reset(pdfApi().FPDF_LoadMemDocument64(source.constData(), size_t(source.size()), nullptr));
        if (!document.doc) {
            outcome.error = pdfiumErrorString();
            return outcome;
        }
        pageCount = pdfApi().FPDF_GetPageCount(document.doc.get());
        if (pageCount < 1) {
            outcome.error = noPagesText();
            return outcome;
        }
        sample = rasterForecastSample(document.doc.get());
        hasText = sampleHasText(document.doc.get(), sample);
    }
    const bool sampled = sample.size() != pageCount;

    QList<FitCandidate> candidates;
    int index = kKeptCopyIndex;
    candidates.append({index++,
                       outcome.encrypted ? QStringLiteral("Зашифрованный файл: копия без сжатия")
                                         : QStringLiteral("Исходное качество, текст сохраняется"),
                       keptOptions(kKeptAsIsDpi, kKeptAsIsQuality, false), hasText});
    if (hasText && !outcome.encrypted) {
        candidates.append({index++, QStringLiteral("Сжатие изображений с сохранением текста, 150 dpi"),
                           keptOptions(150, 55, true), true});
        candidates.append({index++, QStringLiteral("Сжатие изображений с сохранением текста, 72 dpi"),
                           keptOptions(72, 28, true), true});
    }
    for (int i = 0; i < int(rasterPresets().size()); ++i)
        candidates.append({i, rasterPresets().at(i).label, rasterPresets().at(i).options, false});

    ResolutionGroup groups(document.doc.get(), sample, pageCount, encoderThreads);
    QHash<int, Measured> measured;
    QString firstError;
    qint64 smallestListed = -1;
    bool textKeptListed = false;
    bool exhaustive = true;
    for (int c = 0; c < int(candidates.size()); ++c) {
        const FitCandidate& candidate = candidates.at(c);
        qint64 bytes = -1;
        QString failure;
        if (!candidate.options.rasterizePages) {
            QMutexLocker lock(&pdfiumMutex());
            bytes = objectKeepingCopy(document.doc.get(), source, candidate.options, &failure).size();
            if (bytes <= 0)
                bytes = -1;
        } else {
            if (!measured.contains(candidate.index)) {
                // Beyond this bound a preset can be neither listed, chosen nor
                // the fallback: the fallback keeps the text when a listed copy
                // does, else it is the smallest.
                qint64 bound = sourceSize;
                if (textKeptListed)
                    bound = std::min(sourceSize, targetBytes);
                else if (smallestListed > 0)
                    bound = std::min(sourceSize, std::max(targetBytes, smallestListed));
                QList<int> sameResolution;
                for (int p = candidate.index; p < int(std::size(kPresetRows)); ++p) {
                    if (kPresetRows[p].imageDpi == candidate.options.imageDpi && !measured.contains(p))
                        sameResolution.append(p);
                }
                groups.measure(candidate.options.imageDpi, sameResolution, bound, sourceSize, &measured);
            }
            const Measured& result = measured.value(candidate.index);
            bytes = result.bytes;
            failure = result.error;
            exhaustive = exhaustive && !result.cut;
        }
        if (bytes <= 0) {
            if (firstError.isEmpty())
                firstError = failure;
            continue;
        }
        if (bytes > sourceSize)
            continue;
        outcome.estimates.append({candidate.index, candidate.label, candidate.options, bytes,
                                  candidate.options.rasterizePages && sampled, candidate.keepsText});
        smallestListed = smallestListed <= 0 ? bytes : std::min(smallestListed, bytes);
        textKeptListed = textKeptListed || candidate.keepsText;
        if (bytes <= targetBytes) {
            outcome.choice = {int(outcome.estimates.size()) - 1, true};
            outcome.complete = exhaustive && c == int(candidates.size()) - 1;
            return outcome;
        }
    }
    outcome.complete = exhaustive;
    outcome.choice = chooseCompressionFitEntry(outcome.estimates, targetBytes);
    if (outcome.estimates.isEmpty())
        outcome.error = !firstError.isEmpty() ? firstError : QStringLiteral("Не удалось подобрать настройки.");
    return outcome;
}
