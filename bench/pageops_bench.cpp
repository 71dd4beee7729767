// Page operations and imports on a large document, in the window.
//   pageops_bench [pages]   milliseconds until the window is idle again after
//                           an insert, a delete, a duplicate and a strip move,
//                           then importing a 300-page PDF and 50 photos
#include "MainWindow.h"
#include "PageThumbnailPanel.h"
#include "PdfDocument.h"
#include "PdfView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr int kDefaultPages = 1000;
constexpr int kImportedPages = 300;
constexpr int kPhotos = 50;

bool writeBlankPdf(const QString& path, int pages)
{
    PdfDocument doc;
    if (!doc.createEmpty())
        return false;
    for (int i = 0; i < pages; ++i)
        doc.insertBlankPage(i, QSizeF(595, 842));
    return doc.saveAs(path);
}

// Runs the step, then the events it queued, and returns the milliseconds.
qint64 timed(const std::function<void()>& step)
{
    QElapsedTimer clock;
    clock.start();
    step();
    QApplication::processEvents();
    return clock.elapsed();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : kDefaultPages;
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.pdf"));
    const QString part = dir.filePath(QStringLiteral("part.pdf"));
    if (!writeBlankPdf(big, pages) || !writeBlankPdf(part, kImportedPages))
        return 1;
    QStringList photos;
    QImage photo(2000, 1500, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    for (int i = 0; i < kPhotos; ++i) {
        photos << dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        photo.save(photos.last(), "JPEG", 85);
    }

    MainWindow window(AppProduct::editor);
    window.resize(1200, 800);
    window.show();
    window.openFile(big);
    QApplication::processEvents();
    auto* strip = window.findChild<PageThumbnailPanel*>(QStringLiteral("ThumbScroll"));
    window.findChild<PdfView*>(QStringLiteral("DocumentScroll"))->setCurrentPage(pages / 2);

    QTextStream out(stdout);
    out << pages << " pages\n";
    out << "insert     " << timed([&] { QMetaObject::invokeMethod(&window, "onInsertBlankPage"); }) << " ms\n";
    out << "delete     " << timed([&] { emit strip->deletePageRequested(pages / 2); }) << " ms\n";
    out << "duplicate  " << timed([&] { QMetaObject::invokeMethod(&window, "onDuplicatePage"); }) << " ms\n";
    out << "strip move " << timed([&] { emit strip->movePageRequested(1, pages - 1); }) << " ms\n";
    out << "import " << kImportedPages << "-page PDF " << timed([&] { window.importFile(part, 2); }) << " ms\n";
    out << "import " << kPhotos << " photos " << timed([&] {
        for (const QString& path : photos)
            window.importFile(path, 0);
    }) << " ms\n";
    out << "pages now " << window.currentDocument()->pageCount() << "\n";
    return 0;
}
