// Layer renders of pages with many objects: the text-only and the
// without-text layers against the whole page, at 10,000 to 40,000 objects.
// Usage: layer_bench [objects...]
#include "PdfDocument.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

// One A4 page of tiny filled squares and, for every tenth of them, a word.
QByteArray manyObjectsPdf(int objects)
{
    QByteArray content;
    for (int i = 0; i < objects; ++i) {
        const int x = 20 + (i * 7) % 550;
        const int y = 20 + (i / 80) * 3 % 800;
        content += "0 0 1 rg " + QByteArray::number(x) + ' ' + QByteArray::number(y) + " 2 2 re f\n";
        if (i % 10 == 0)
            content += "BT /F1 4 Tf " + QByteArray::number(x) + ' ' + QByteArray::number(y) + " Td (w) Tj ET\n";
    }
    const QList<QByteArray> bodies{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> >> "
        "/Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    QByteArray out = "%PDF-1.7\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < bodies.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + bodies.at(i) + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 6\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

double bestMilliseconds(const PdfDocument& doc, PdfRenderLayer layer)
{
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        doc.renderPageLayer(0, 0.5, 0, layer, layer == PdfRenderTextOnly);
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << std::max(1, atoi(argv[i]));
    if (counts.isEmpty())
        counts = {10000, 20000, 40000};
    QTemporaryDir dir;
    for (int objects : counts) {
        const QString path = dir.filePath(QStringLiteral("page.pdf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(manyObjectsPdf(objects)) < 0)
            return 1;
        file.close();
        PdfDocument doc;
        if (!doc.open(path))
            return 1;
        out << QStringLiteral("%1 objects (+%2 text): whole page %3 ms, without text %4 ms, text only %5 ms\n")
                   .arg(objects)
                   .arg(objects / 10)
                   .arg(bestMilliseconds(doc, PdfRenderAll), 0, 'f', 1)
                   .arg(bestMilliseconds(doc, PdfRenderWithoutText), 0, 'f', 1)
                   .arg(bestMilliseconds(doc, PdfRenderTextOnly), 0, 'f', 1);
    }
    return 0;
}
