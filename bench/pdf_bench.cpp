// Engine figures: opening a 1,000-page document with all its page sizes, and
// renderPage against the bare pdfium render of the same A4 text page.
// Then the damage check on open against a bare pdfium open of the same
// 1,000 pages (median of 5), and the repair of a damaged 100-page file
// against a qpdf rewrite of it. Last the save of a 100-page document with
// one page turned (appended) and one page deleted (written anew), and the
// part of it the read-back of the written bytes takes (median of 7); and
// the comparison of the written pages with the document's: a 100-page save
// with one line edited, and a 2,000-page manual with one page turned.
// Usage: pdf_bench [iterations]
#include "BenchDocuments.h"
#include "PdfDocument.h"
#include "PdfEngineInternal.h"
#include "PdfRepair.h"
#include "PdfiumApi.h"
#include "QpdfFile.h"
#include "SavedFileCheck.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {



// The same work as renderPage without the engine around it.
QImage bareRender(FPDF_DOCUMENT doc, int pageIndex, double scale)
{
    QMutexLocker lock(&pdfiumMutex());
    const PdfiumApi& api = pdfApi();
    pdfengine::PagePtr page(api.FPDF_LoadPage(doc, pageIndex));
    const int width = int(std::ceil(api.FPDF_GetPageWidthF(page.get()) * scale));
    const int height = int(std::ceil(api.FPDF_GetPageHeightF(page.get()) * scale));
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    pdfengine::BitmapPtr bitmap(api.FPDFBitmap_CreateEx(width, height, pdfium::kBitmapBGRA, image.bits(),
                                                        int(image.bytesPerLine())));
    api.FPDFBitmap_FillRect(bitmap.get(), 0, 0, width, height, 0xFFFFFFFF);
    api.FPDF_RenderPageBitmap(bitmap.get(), page.get(), 0, 0, width, height, 0,
                              pdfium::kRenderAnnot | pdfium::kRenderLcdText);
    return image;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A fresh copy of source at work, opened, changed and saved in place; the
// save's time and the bytes it wrote. False, said on out, where a step fails.
bool changedAndSaved(QTextStream& out, const QString& source, const QString& work, PdfDocument& doc,
                     const std::function<bool()>& change, std::vector<double>& saves, QByteArray* written)
{
    QFile::remove(work);
    QFile::copy(source, work);
    if (!doc.open(work) || !change()) {
        out << "cannot change " << work << ": " << doc.lastError() << "\n";
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    if (!doc.save(work)) {
        out << "save failed: " << doc.lastError() << "\n";
        return false;
    }
    saves.push_back(bench::msSince(timer));
    QFile file(work);
    file.open(QIODevice::ReadOnly);
    *written = file.readAll();
    return true;
}

// A save of a fresh copy of source after change, and the read-back check
// of the bytes it wrote, timed on their own.
void compareSaves(QTextStream& out, const QString& source, const QString& work)
{
    constexpr int kRuns = 7;
    const QList<std::pair<QString, std::function<bool(PdfDocument&)>>> changes{
        {QStringLiteral("page turned, appended"), [](PdfDocument& doc) { return doc.rotatePage(0, 90); }},
        {QStringLiteral("page deleted, written anew"), [](PdfDocument& doc) { return doc.deletePage(0); }}};
    for (const auto& [name, change] : changes) {
        std::vector<double> saves;
        std::vector<double> checks;
        for (int run = 0; run < kRuns; ++run) {
            PdfDocument doc;
            QByteArray written;
            if (!changedAndSaved(out, source, work, doc, [&] { return change(doc); }, saves, &written))
                return;
            QElapsedTimer timer;
            timer.start();
            const QString problem = pdfengine::SavedFileCheck::problem(written, doc.pageCount());
            checks.push_back(bench::msSince(timer));
            if (!problem.isEmpty())
                out << "read-back: " << problem << "\n";
        }
        const double save = median(saves);
        const double check = median(checks);
        out << QStringLiteral("save of 100 pages, %1: %2 ms, of which read-back %3 ms (+%4 % on %5 ms without it)\n")
                   .arg(name)
                   .arg(save, 0, 'f', 1)
                   .arg(check, 0, 'f', 1)
                   .arg(check / (save - check) * 100.0, 0, 'f', 1)
                   .arg(save - check, 0, 'f', 1);
    }
}

// The whole read-back of a save, pages compared with the document's, timed
// apart from the save that ran it; each page of source keeps its place.
// edit: what changed on page 0, or nothing.
void comparePageCheck(QTextStream& out, const QString& label, const QString& source, const QString& work,
                      const std::function<bool(PdfDocument&, pdfengine::PageEdit*)>& change, bool edited)
{
    constexpr int kRuns = 5;
    QFile original(source);
    original.open(QIODevice::ReadOnly);
    const QByteArray sourceBytes = original.readAll();
    std::vector<double> saves, checks, qpdfChecks;
    for (int run = 0; run < kRuns; ++run) {
        PdfDocument doc;
        pdfengine::PageEdit edit;
        QByteArray written;
        if (!changedAndSaved(out, source, work, doc, [&] { return change(doc, &edit); }, saves, &written))
            return;
        const int count = doc.pageCount();
        std::vector<pdfengine::SavedPage> pages(static_cast<size_t>(std::max(count, 0)));
        for (size_t page = 0; page < pages.size(); ++page)
            pages[page].source = int(page);
        if (edited)
            pages[0].edit = &edit;
        QMutexLocker lock(&pdfiumMutex());
        QElapsedTimer timer;
        timer.start();
        const QString problem = pdfengine::SavedFileCheck::problem(written, sourceBytes, pages);
        checks.push_back(bench::msSince(timer));
        timer.restart();
        pdfengine::SavedFileCheck::problem(written, count);
        qpdfChecks.push_back(bench::msSince(timer));
        if (!problem.isEmpty())
            out << "read-back: " << problem << "\n";
    }
    const double save = median(saves), check = median(checks), qpdfOnly = median(qpdfChecks);
    out << QStringLiteral("%1: save %2 ms, of which read-back %3 ms (+%4 % on %5 ms without it); "
                          "qpdf's read alone %6 ms, the page comparison %7 ms more (medians of %8)\n")
               .arg(label)
               .arg(save, 0, 'f', 1)
               .arg(check, 0, 'f', 1)
               .arg(check / (save - check) * 100.0, 0, 'f', 1)
               .arg(save - check, 0, 'f', 1)
               .arg(qpdfOnly, 0, 'f', 1)
               .arg(check - qpdfOnly, 0, 'f', 1)
               .arg(kRuns);
}

// The file read, loaded by pdfium and every page sized: opening without the check.
double bareOpenMs(const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    QMutexLocker lock(&pdfiumMutex());
    pdfengine::DocumentPtr doc(pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
    const int count = pdfApi().FPDF_GetPageCount(doc.get());
    for (int i = 0; i < count; ++i) {
        FS_SIZEF size{};
        pdfApi().FPDF_GetPageSizeByIndexF(doc.get(), i, &size);
    }
    const double ms = bench::msSince(timer);
    doc.reset();
    return ms;
}

// What the window does on open: the engine's open and every page's size.
double engineOpenMs(const QString& path, bool* repaired)
{
    QElapsedTimer timer;
    timer.start();
    PdfDocument doc;
    doc.open(path);
    std::vector<QSizeF> sizes;
    quint64 revision = 0;
    doc.readPageSizes(&sizes, &revision, -1);
    const double ms = bench::msSince(timer);
    *repaired = doc.wasRepaired();
    return ms;
}

void compareOpen(QTextStream& out, const QString& label, const QString& path)
{
    std::vector<double> bare, engine;
    bool repaired = false;
    bareOpenMs(path);
    engineOpenMs(path, &repaired);
    for (int i = 0; i < 5; ++i) {
        bare.push_back(bareOpenMs(path));
        engine.push_back(engineOpenMs(path, &repaired));
    }
    std::vector<double> check;
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        pdfengine::PdfRepair::examine(bytes);
        check.push_back(bench::msSince(timer));
    }
    out << QStringLiteral("%1: qpdf's part of the check %2 ms\n").arg(label).arg(median(check), 0, 'f', 2);
    out << QStringLiteral("%1: open with damage check %2 ms, bare pdfium open %3 ms (medians of 5), +%4 %%5\n")
               .arg(label)
               .arg(median(engine), 0, 'f', 2)
               .arg(median(bare), 0, 'f', 2)
               .arg((median(engine) / median(bare) - 1.0) * 100.0, 0, 'f', 1)
               .arg(repaired ? QStringLiteral(" (repaired)") : QString());
}

// A damaged copy: the cross-reference offset points nowhere, so every reader
// must rebuild the table by scanning.
QString writeDamagedCopy(const QString& source, const QString& target)
{
    QFile in(source);
    in.open(QIODevice::ReadOnly);
    QByteArray bytes = in.readAll();
    const qsizetype at = bytes.lastIndexOf("startxref");
    bytes.replace(at, bytes.size() - at, "startxref\n17\n%%EOF\n");
    QFile out(target);
    out.open(QIODevice::WriteOnly);
    out.write(bytes);
    return target;
}

void compareRepair(QTextStream& out, const QString& damaged, const QString& scratch)
{
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    std::vector<double> engine, rewrite;
    bool repaired = false;
    for (int i = 0; i < 5; ++i) {
        engine.push_back(engineOpenMs(damaged, &repaired));
        if (qpdf.isEmpty())
            continue;
        QElapsedTimer timer;
        timer.start();
        QProcess::execute(qpdf, {damaged, scratch});
        rewrite.push_back(bench::msSince(timer));
    }
    out << QStringLiteral("damaged 100-page file: open with repair %1 ms%2")
               .arg(median(engine), 0, 'f', 2)
               .arg(repaired ? QString() : QStringLiteral(" (NOT repaired)"));
    if (!rewrite.empty())
        out << QStringLiteral(", qpdf rewrite %1 ms (medians of 5)").arg(median(rewrite), 0, 'f', 2);
    out << "\n";
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int iterations = argc > 1 ? std::max(1, atoi(argv[1])) : 40;
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString bigFile = dir.filePath(QStringLiteral("thousand.pdf"));
    bench::writeTextPdf(bigFile, 1000);

    QElapsedTimer timer;
    timer.start();
    PdfDocument doc;
    if (!doc.open(bigFile)) {
        out << "cannot open: " << doc.lastError() << "\n";
        return 1;
    }
    const double openMs = bench::msSince(timer);
    timer.restart();
    double area = 0;
    for (int i = 0; i < doc.pageCount(); ++i) {
        const QSizeF size = doc.pageSize(i);
        area += size.width() * size.height();
    }
    const double sizesMs = bench::msSince(timer);
    out << QStringLiteral("1000-page document (%1 KiB): open %2 ms, all page sizes %3 ms (%4 ms per page)\n")
               .arg(QFileInfo(bigFile).size() / 1024)
               .arg(openMs, 0, 'f', 2)
               .arg(sizesMs, 0, 'f', 2)
               .arg(sizesMs / doc.pageCount(), 0, 'f', 4);

    compareOpen(out, QStringLiteral("1000-page document"), bigFile);
    {
        // What a whole-document text layer adds before writing each page: its
        // original content decoded and parsed once.
        QFile file(bigFile);
        file.open(QIODevice::ReadOnly);
        pdfengine::QpdfFile parsed;
        QElapsedTimer checkTimer;
        checkTimer.start();
        parsed.load(file.readAll(), nullptr);
        int readable = 0;
        for (int page = 0; page < 1000; ++page)
            readable += pdfengine::PdfRepair::pageContentReadable(parsed, page) ? 1 : 0;
        out << QStringLiteral("content check of all 1000 pages: %1 ms (%2 readable)\n")
                   .arg(bench::msSince(checkTimer), 0, 'f', 1)
                   .arg(readable);
    }
    {
        const QString streams = dir.filePath(QStringLiteral("thousand-objstm.pdf"));
        const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
        if (!qpdf.isEmpty() && QProcess::execute(qpdf, {QStringLiteral("--object-streams=generate"), bigFile, streams}) == 0)
            compareOpen(out, QStringLiteral("1000-page document in object streams"), streams);
        const QString hundred = dir.filePath(QStringLiteral("hundred.pdf"));
        bench::writeTextPdf(hundred, 100);
        compareRepair(out, writeDamagedCopy(hundred, dir.filePath(QStringLiteral("hundred-damaged.pdf"))),
                      dir.filePath(QStringLiteral("rewritten.pdf")));
        compareSaves(out, hundred, dir.filePath(QStringLiteral("hundred-saved.pdf")));
        // One line of page 1 written anew; the edit record is its block's box, as the document keeps it.
        const auto editLine = [](PdfDocument& doc, pdfengine::PageEdit* edit) {
            std::vector<TextBlock> blocks = doc.extractText(0);
            const auto block = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return !b.isImage; });
            if (block == blocks.end())
                return false;
            block->text = QStringLiteral("Исправленная строка");
            block->textEdited = true;
            edit->edited.push_back(TurnedBox(block->rect, 0));
            edit->texts << block->text;
            return doc.overlayOcrText(0, blocks, false);
        };
        comparePageCheck(out, QStringLiteral("100 pages, one page turned"), hundred,
                         dir.filePath(QStringLiteral("hundred-turned.pdf")),
                         [](PdfDocument& doc, pdfengine::PageEdit*) { return doc.rotatePage(0, 90); }, false);
        comparePageCheck(out, QStringLiteral("100 pages, one line edited"), hundred,
                         dir.filePath(QStringLiteral("hundred-edited.pdf")), editLine, true);
        const QString manual = dir.filePath(QStringLiteral("manual.pdf"));
        bench::writeTextPdf(manual, 2000);
        comparePageCheck(out, QStringLiteral("2000 pages, one page turned"), manual,
                         dir.filePath(QStringLiteral("manual-saved.pdf")),
                         [](PdfDocument& doc, pdfengine::PageEdit*) { return doc.rotatePage(0, 90); }, false);
    }

    // A second document over the same bytes for the bare render.
    QFile file(bigFile);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    pdfengine::DocumentPtr bareDocument;
    {
        QMutexLocker lock(&pdfiumMutex());
        bareDocument.reset(pdfApi().FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr));
    }
    FPDF_DOCUMENT bare = bareDocument.get();
    for (double zoom : {1.0, 2.0}) {
        // Warm both paths, then interleave them so drift hits both alike.
        doc.renderPage(0, zoom, 0);
        bareRender(bare, 0, zoom);
        double engineMs = 0;
        double bareMs = 0;
        for (int i = 0; i < iterations; ++i) {
            const int page = i % 10;
            timer.restart();
            const QImage a = doc.renderPage(page, zoom, 0);
            engineMs += bench::msSince(timer);
            timer.restart();
            const QImage b = bareRender(bare, page, zoom);
            bareMs += bench::msSince(timer);
            if (a != b) {
                out << "renders differ on page " << page << "\n";
                QMutexLocker lock(&pdfiumMutex());
                bareDocument.reset();
                return 1;
            }
        }
        engineMs /= iterations;
        bareMs /= iterations;
        out << QStringLiteral("A4 text page at zoom %1: renderPage %2 ms (%3 pages/s), bare pdfium %4 ms, overhead %5 %\n")
                   .arg(zoom, 0, 'f', 0)
                   .arg(engineMs, 0, 'f', 2)
                   .arg(1000.0 / engineMs, 0, 'f', 1)
                   .arg(bareMs, 0, 'f', 2)
                   .arg((engineMs / bareMs - 1.0) * 100.0, 0, 'f', 1);
    }
    QMutexLocker lock(&pdfiumMutex());
    bareDocument.reset();
    return 0;
}
