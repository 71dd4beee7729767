// Engine figures: opening a 1,000-page document with all its page sizes, and
// renderPage against the bare pdfium render of the same A4 text page.
// Usage: pdf_bench [iterations]
#include "PdfDocument.h"
#include "PdfEngineInternal.h"
#include "PdfiumApi.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

void writeTextPdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Serif"), 10));
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            writer.newPage();
        for (int line = 0; line < 60; ++line) {
            painter.drawText(40, 40 + line * 12,
                             QStringLiteral("Страница %1, строка %2: съешь же ещё этих мягких французских булок, "
                                            "да выпей чаю. The quick brown fox.")
                                 .arg(p + 1)
                                 .arg(line + 1));
        }
    }
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

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
    writeTextPdf(bigFile, 1000);

    QElapsedTimer timer;
    timer.start();
    PdfDocument doc;
    if (!doc.open(bigFile)) {
        out << "cannot open: " << doc.lastError() << "\n";
        return 1;
    }
    const double openMs = msSince(timer);
    timer.restart();
    double area = 0;
    for (int i = 0; i < doc.pageCount(); ++i) {
        const QSizeF size = doc.pageSize(i);
        area += size.width() * size.height();
    }
    const double sizesMs = msSince(timer);
    out << QStringLiteral("1000-page document (%1 KiB): open %2 ms, all page sizes %3 ms (%4 ms per page)\n")
               .arg(QFileInfo(bigFile).size() / 1024)
               .arg(openMs, 0, 'f', 2)
               .arg(sizesMs, 0, 'f', 2)
               .arg(sizesMs / doc.pageCount(), 0, 'f', 4);

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
            engineMs += msSince(timer);
            timer.restart();
            const QImage b = bareRender(bare, page, zoom);
            bareMs += msSince(timer);
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
