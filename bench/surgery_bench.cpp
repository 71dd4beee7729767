// Deleting one line of a long document with object streams and saving it:
// the edit (glyph removal and its trial) and the save, the file's growth,
// against qpdf writing the same document (its program, and its library in
// this process), in one run.
// Usage: surgery_bench [iterations] [pdf]
#include "PdfDocument.h"
#include "QpdfFile.h"
#include "TextBlock.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDFWriter.hh>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    const int iterations = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    const QString source = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                    : QStringLiteral(VORN_TEST_DATA_DIR "/pdftex-registry.pdf");
    QTemporaryDir dir;
    std::vector<double> edit, save, total, qpdfProgram, qpdfLibrary, append;
    qint64 growth = 0;
    int pages = 0;
    for (int i = 0; i < iterations; ++i) {
        QElapsedTimer timer;
        timer.start();
        PdfDocument doc;
        if (!doc.open(source)) {
            out << "cannot open " << source << "\n";
            return 1;
        }
        pages = doc.pageCount();
        std::vector<TextBlock> blocks = doc.extractText(0);
        auto block = std::find_if(blocks.begin(), blocks.end(), [](const TextBlock& b) { return !b.isImage; });
        if (block == blocks.end())
            return 1;
        block->text.clear();
        block->lines.clear();
        block->removed = true;
        block->textEdited = true;
        block->rect = block->originalRect;
        QElapsedTimer step;
        step.start();
        if (!doc.overlayOcrText(0, blocks, false)) {
            out << "edit refused: " << doc.lastError() << "\n";
            return 1;
        }
        edit.push_back(step.nsecsElapsed() / 1e6);
        const QString saved = dir.filePath(QStringLiteral("saved.pdf"));
        step.restart();
        if (!doc.save(saved)) {
            out << "save failed: " << doc.lastError() << "\n";
            return 1;
        }
        save.push_back(step.nsecsElapsed() / 1e6);
        total.push_back(timer.nsecsElapsed() / 1e6);
        growth = QFileInfo(saved).size() - QFileInfo(source).size();

        // A line of text appended without removing any (its page's streams wrapped once).
        PdfDocument fresh;
        fresh.open(source);
        step.restart();
        fresh.addFreeText(0, QRectF(72, 40, 300, 14), QStringLiteral("Принято к исполнению"), QString(), 11, Qt::black);
        append.push_back(step.nsecsElapsed() / 1e6);

        step.restart();
        QProcess qpdf;
        qpdf.start(QStringLiteral("qpdf"), {source, dir.filePath(QStringLiteral("qpdf.pdf"))});
        qpdf.waitForFinished(-1);
        qpdfProgram.push_back(step.nsecsElapsed() / 1e6);

        step.restart();
        QFile file(source);
        file.open(QIODevice::ReadOnly);
        pdfengine::QpdfFile parsed;
        QByteArray written;
        QString error;
        parsed.load(file.readAll(), &error);
        parsed.write(&written, [](QPDFWriter& w) { w.setObjectStreamMode(qpdf_o_preserve); }, &error);
        qpdfLibrary.push_back(step.nsecsElapsed() / 1e6);
    }
    const double editAndSave = median(edit) + median(save);
    out << QStringLiteral("%1 (%2 pages, %3 KiB, %4 runs)\n").arg(QFileInfo(source).fileName()).arg(pages)
               .arg(QFileInfo(source).size() / 1024).arg(iterations);
    out << QStringLiteral("  delete one line: edit %1 ms, save %2 ms (open to saved %3 ms), growth %4 bytes\n")
               .arg(median(edit), 0, 'f', 1).arg(median(save), 0, 'f', 1).arg(median(total), 0, 'f', 1).arg(growth);
    out << QStringLiteral("  append one line of free text: %1 ms\n").arg(median(append), 0, 'f', 1);
    out << QStringLiteral("  qpdf copy: program %1 ms, library %2 ms\n")
               .arg(median(qpdfProgram), 0, 'f', 1).arg(median(qpdfLibrary), 0, 'f', 1);
    out << QStringLiteral("  ratio: save / qpdf program %1, save / qpdf library %2, edit + save / qpdf program %3\n")
               .arg(median(save) / median(qpdfProgram), 0, 'f', 2).arg(median(save) / median(qpdfLibrary), 0, 'f', 2)
               .arg(editAndSave / median(qpdfProgram), 0, 'f', 2);
    return 0;
}
