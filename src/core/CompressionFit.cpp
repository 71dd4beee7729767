#include "CompressionFit.h"

#include "CompressionOptionsJson.h"
#include "PdfEngineInternal.h"
#include "QpdfFile.h"
#include "RasterPage.h"
#include "RasterPdfWriter.h"

#include <QFile>
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
#include <exception>
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
    bool encrypted = file.attachmentsSealed();
    file.run([&encrypted](QPDF& pdf) { encrypted = encrypted || pdf.isEncrypted(); }, &error);
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

// The rasterising forecasts of several presets, page by page: each sampled
// page is loaded once and rendered once per resolution still needed, and
// every preset of a resolution is encoded from that render on a pool of
// threads while the next render is made. A preset whose running size passes the bound is given
// up, and a resolution with no preset left is no longer rendered.
class RasterSweep {
public:
    RasterSweep(FPDF_DOCUMENT doc, const QList<RasterPdfWriter::SampledPage>& sample, int pageCount, int threads)
        : m_doc(doc), m_sample(sample), m_pageCount(pageCount), m_threads(std::max(1, threads))
    {
    }

    void measure(const QList<int>& presets, qint64 bound, qint64 sourceSize, QHash<int, Measured>* results)
    {
        std::vector<Track> tracks(presets.size());
        QList<int> resolutions;
        for (int i = 0; i < int(presets.size()); ++i) {
            const PresetRow& row = kPresetRows[presets.at(i)];
            tracks[size_t(i)].options = rasterCompressionOptions(row.imageDpi, row.jpegQuality, row.monochrome);
            if (!resolutions.contains(row.imageDpi))
                resolutions.append(row.imageDpi);
        }
        const auto live = [&tracks](int dpi) {
            return std::any_of(tracks.cbegin(), tracks.cend(),
                               [dpi](const Track& t) { return t.options.imageDpi == dpi && !t.stopped.load(); });
        };
        QThreadPool pool;
        pool.setMaxThreadCount(m_threads);
        QSemaphore inFlight(m_threads + 1);  // renders held at once
        QHash<int, int> unrendered;          // by resolution
        for (const RasterPdfWriter::SampledPage& sampled : m_sample) {
            QList<int> needed;
            for (int dpi : resolutions) {
                if (live(dpi))
                    needed.append(dpi);
            }
            if (needed.isEmpty())
                break;
            QMutexLocker lock(&pdfiumMutex());
            PagePtr page(pdfApi().FPDF_LoadPage(m_doc, sampled.pageIndex));
            for (int dpi : needed) {
                lock.unlock();
                // When every preset of the resolution is heading past the
                // bound, its encodes are awaited so no render is spent on a
                // preset about to be given up.
                if (headingPastBound(tracks, dpi, bound)) {
                    pool.waitForDone();
                    if (!live(dpi)) {
                        lock.relock();
                        continue;
                    }
                }
                inFlight.acquire();
                lock.relock();
                auto job = std::make_shared<PageJob>(&inFlight);
                job->page = renderRasterPage(m_doc, page.get(), sampled.pageIndex, dpi);
                if (!job->page.rendered)
                    ++unrendered[dpi];
                for (Track& track : tracks) {
                    if (track.options.imageDpi != dpi || track.stopped.load())
                        continue;
                    pool.start([this, job, &track, sampled, bound] { encode(*job, sampled.represents, bound, &track); });
                }
            }
            page.reset();
            lock.unlock();
            // The first page alone often shows that no preset can do.
            if (&sampled == &m_sample.first())
                pool.waitForDone();
        }
        pool.waitForDone();
        for (int i = 0; i < int(presets.size()); ++i) {
            const Track& track = tracks[size_t(i)];
            Measured& result = (*results)[presets.at(i)];
            result = Measured();
            if (!track.error.isEmpty()) {
                result.error = track.error;
            } else if (track.stopped.load()) {
                result.cut = bound < sourceSize;
            } else if (unrendered.value(track.options.imageDpi) == int(m_sample.size())) {
                QList<int> numbers;
                for (const RasterPdfWriter::SampledPage& page : m_sample)
                    numbers.append(page.pageIndex + 1);
                result.error = unrenderedPagesText(numbers, int(numbers.size()));
            } else {
                result.bytes = RasterPdfWriter::fileSize(m_pageCount, track.total.load());
            }
        }
    }

private:
    struct Track {
        Options options;
        std::atomic<qint64> total{0};
        std::atomic<int> pages{0};  // encoded so far
        std::atomic<bool> stopped{false};
        QString error;  // written once, by the encoder that stops the track
    };

    // A rendered page, freed with the last encoder that holds it.
    struct PageJob {
        explicit PageJob(QSemaphore* permits) : permits(permits) {}
        ~PageJob() { permits->release(); }
        PageJob(const PageJob&) = delete;
        PageJob& operator=(const PageJob&) = delete;
        QSemaphore* permits;
        RasterPage page;
    };

    // Every live preset of the resolution, its pages so far extrapolated to
    // the whole sample, passes the bound.
    bool headingPastBound(const std::vector<Track>& tracks, int dpi, qint64 bound) const
    {
        bool any = false;
        for (const Track& track : tracks) {
            if (track.options.imageDpi != dpi || track.stopped.load())
                continue;
            const int pages = track.pages.load();
            if (pages == 0)
                return false;
            const qint64 whole = track.total.load() * qint64(m_sample.size()) / pages;
            if (RasterPdfWriter::fileSize(m_pageCount, whole) <= bound)
                return false;
            any = true;
        }
        return any;
    }

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
        ++track->pages;
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
    // qpdf reads only the cross-reference and trailer here, not the whole file.
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(QFile::encodeName(path).constData());
        return pdf.isEncrypted();
    } catch (const std::exception&) {
        return false;
    }
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
                       : hasText         ? QStringLiteral("Исходное качество, текст сохраняется")
                                         : QStringLiteral("Исходное качество"),
                       keptOptions(kKeptAsIsDpi, kKeptAsIsQuality, false), hasText});
    if (hasText && !outcome.encrypted) {
        candidates.append({index++, QStringLiteral("Сжатие изображений с сохранением текста, 150 dpi"),
                           keptOptions(150, 55, true), true});
        candidates.append({index++, QStringLiteral("Сжатие изображений с сохранением текста, 72 dpi"),
                           keptOptions(72, 28, true), true});
    }
    for (int i = 0; i < int(rasterPresets().size()); ++i)
        candidates.append({i, rasterPresets().at(i).label, rasterPresets().at(i).options, false});

    RasterSweep sweep(document.doc.get(), sample, pageCount, encoderThreads);
    QHash<int, Measured> measured;  // rasterising presets by index
    QList<qint64> sizes(candidates.size(), -1);  // of the candidates listed
    QString firstError;
    const auto record = [&](int c, qint64 bytes, const QString& failure) {
        if (bytes <= 0 && firstError.isEmpty())
            firstError = failure;
        if (bytes > 0 && bytes <= sourceSize)
            sizes[c] = bytes;
    };
    const auto finish = [&](int chosen, bool fits, bool complete) {
        for (int c = 0; c < int(candidates.size()); ++c) {
            if (sizes.at(c) <= 0)
                continue;
            const FitCandidate& candidate = candidates.at(c);
            if (c == chosen)
                outcome.choice = {int(outcome.estimates.size()), fits};
            outcome.estimates.append({candidate.index, candidate.label, candidate.options, sizes.at(c),
                                      candidate.options.rasterizePages && sampled, candidate.keepsText});
        }
        outcome.complete = complete;
        if (outcome.estimates.isEmpty())
            outcome.error = !firstError.isEmpty() ? firstError : QStringLiteral("Не удалось подобрать настройки.");
        return outcome;
    };

    // In order of preference, each measured only as far as it could fit: the
    // first that fits is the choice.
    const qint64 fitBound = std::min(sourceSize, targetBytes);
    for (int c = 0; c < int(candidates.size()); ++c) {
        const FitCandidate& candidate = candidates.at(c);
        if (!candidate.options.rasterizePages) {
            QString failure;
            QMutexLocker lock(&pdfiumMutex());
            record(c, objectKeepingCopy(document.doc.get(), source, candidate.options, &failure).size(), failure);
        } else {
            if (!measured.contains(candidate.index)) {
                // A page of text as a rule rules out every resolution at its
                // first render, so they go in one sweep; scans go one
                // resolution at a time, up to the first that fits.
                QList<int> rest;
                for (int p = candidate.index; p < int(std::size(kPresetRows)); ++p) {
                    if (hasText || kPresetRows[p].imageDpi == candidate.options.imageDpi)
                        rest.append(p);
                }
                sweep.measure(rest, fitBound, sourceSize, &measured);
            }
            const Measured& result = measured.value(candidate.index);
            record(c, result.bytes, result.error);
        }
        if (sizes.at(c) > 0 && sizes.at(c) <= targetBytes)
            return finish(c, true, false);
    }

    // Nothing fits. The fallback keeps the text when a listed copy does; else
    // it is the smallest, so the presets given up at the limit are measured
    // again, each as far as it could still be the smallest.
    bool textKept = false;
    for (int c = 0; c < int(candidates.size()); ++c)
        textKept = textKept || (candidates.at(c).keepsText && sizes.at(c) > 0);
    if (!textKept) {
        // Lowest resolution first: its small pictures set a low bound early.
        QList<int> resolutions;
        for (auto it = measured.cbegin(); it != measured.cend(); ++it) {
            if (it->cut && !resolutions.contains(kPresetRows[it.key()].imageDpi))
                resolutions.append(kPresetRows[it.key()].imageDpi);
        }
        std::sort(resolutions.begin(), resolutions.end());
        for (int dpi : resolutions) {
            qint64 smallest = sourceSize;
            for (qint64 size : sizes) {
                if (size > 0)
                    smallest = std::min(smallest, size);
            }
            QList<int> cut;
            for (auto it = measured.cbegin(); it != measured.cend(); ++it) {
                if (it->cut && kPresetRows[it.key()].imageDpi == dpi)
                    cut.append(it.key());
            }
            std::sort(cut.begin(), cut.end());
            sweep.measure(cut, smallest, sourceSize, &measured);
            for (int c = 0; c < int(candidates.size()); ++c) {
                const int index = candidates.at(c).index;
                if (candidates.at(c).options.rasterizePages && cut.contains(index))
                    record(c, measured.value(index).bytes, measured.value(index).error);
            }
        }
    }
    const bool complete = std::none_of(measured.cbegin(), measured.cend(), [](const Measured& m) { return m.cut; });
    QList<CompressionFitEstimate> listed;
    for (int c = 0; c < int(candidates.size()); ++c) {
        if (sizes.at(c) > 0)
            listed.append({0, QString(), {}, sizes.at(c), false, candidates.at(c).keepsText});
    }
    const CompressionFitChoice fallback = chooseCompressionFitEntry(listed, targetBytes);
    int chosen = -1;
    for (int c = 0, n = 0; c < int(candidates.size()); ++c) {
        if (sizes.at(c) > 0 && n++ == fallback.index)
            chosen = c;
    }
    return finish(chosen, false, complete);
}
