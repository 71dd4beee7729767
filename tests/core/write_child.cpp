// Writes a document the program's way and stops there for good once the
// write's partial file stands beside the output, saying "writing" on its
// standard output: a test then looks at a live write, or kills it to leave
// what a killed write leaves. Exit 2 when the write ended without a partial
// file seen, 3 for bad arguments.
//   write_child <file> save|pictures
#include "PdfDocument.h"
#include "SaveLeftovers.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSizeF>

#include <cstdio>

#include <unistd.h>

namespace {

// Answers the write's progress: goes on until its partial file is there.
bool goOnUntilPartialStands(const QString& folder)
{
    // A picture export writes into a folder of a partial file's name.
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!isPartialFileName(name))
            continue;
        std::fputs("writing\n", stdout);
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 3;
    const QString file = args.at(1);
    const QString folder = QFileInfo(file).absolutePath();
    const auto progress = [&folder](int, int) { return goOnUntilPartialStands(folder); };
    PdfDocument doc;
    if (!doc.open(file))
        return 3;
    if (args.at(2) == QLatin1String("save")) {
        doc.rotatePage(0, 90);
        doc.save(file, PdfDocument::SignedRevisions::Keep, progress);
    } else if (args.at(2) == QLatin1String("pictures")) {
        constexpr int kDpi = 36;
        doc.exportDocument(QStringLiteral("png"), QDir(folder).filePath(QStringLiteral("page.png")), kDpi, progress);
    } else {
        return 3;
    }
    return 2;
}
