// Hostile workbooks (tests/support/XlsxFixtures.cpp): each imported as the
// window would (read, dialog painted twice, every page written) in a child
// of this program, which reports its time and peak resident memory. The
// bound asked for is 2 s and 500 MB each.
#include "ProcessMemory.h"
#include "XlsxFixtures.h"
#include "XlsxImportDialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// The child's part: one workbook.
int importOne(const QString& file, const QString& scratch)
{
    QElapsedTimer t;
    t.start();
    XlsxImportDialog dialog(file, nullptr);
    dialog.show();
    QApplication::processEvents();
    dialog.grab();
    dialog.grab();
    const XlsxPageRenderer renderer = dialog.pageRenderer();
    if (renderer.pageCount() > 0)
        renderer.writePdf(QDir(scratch).filePath(QStringLiteral("pages.pdf")));
    std::printf("%lld %.0f %d %s\n", t.elapsed(), double(bench::peakBytes()) / (1024.0 * 1024.0), renderer.pageCount(),
                dialog.reason().toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--one") == 0)
        return importOne(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    QTemporaryDir dir;
    const QMap<QString, XlsxParts> books = hostileWorkbooks();
    std::printf("%-14s %10s %9s %6s  %s\n", "workbook", "time ms", "peak MB", "pages", "reason");
    for (auto it = books.cbegin(); it != books.cend(); ++it) {
        const QString file = dir.filePath(it.key() + QStringLiteral(".xlsx"));
        if (!writeZip(file, *it))
            return 1;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one"), file, dir.path()});
        if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit) {
            std::printf("%-14s failed\n", qPrintable(it.key()));
            continue;
        }
        const QStringList said = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(u' ');
        std::printf("%-14s %10s %9s %6s  %s\n", qPrintable(it.key()), qPrintable(said.value(0)),
                    qPrintable(said.value(1)), qPrintable(said.value(2)), qPrintable(said.mid(3).join(u' ')));
    }
    return 0;
}
