// Runs document operations on one file, each on a fresh document, and says
// how each went, so that a test can watch for crashes from outside. Each
// line is "<operation> done <pages>" (followed by " repaired" when the file
// was worked on as a repaired copy) or "<operation> refused: <reason>"; a
// successful operation's document is saved as "<operation>.pdf" in the
// scratch folder. Exit 0, or 2 when an operation was refused without a
// reason or a refused edit changed the document, 3 for bad arguments.
// "import", "append" and "put-in-edit" bring the file's pages into a sound
// document; "put-in-edit" then edits the lines of the page put in.
//   damaged_child <file> <scratch folder> <operation>...
#include "PdfDocument.h"
#include "TextBlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

namespace {

// A sound one-page document the damaged file is imported into.
constexpr const char* kHostFixture = "gs-helvetica.pdf";

TextBlock layerBlock()
{
    TextBlock block;
    block.text = QStringLiteral("Проверка слоя");
    block.rect = QRectF(72, 700, 200, 14);
    block.originalRect = block.rect;
    block.invisibleText = true;
    TextBlock::Line line;
    line.text = block.text;
    line.rect = block.rect;
    line.fontSize = 12;
    line.invisibleText = true;
    line.words.push_back({block.text, block.rect, 90});
    block.lines.push_back(line);
    return block;
}

// Set when an edit was refused but the document changed all the same.
bool changedOnRefusal = false;

// Every text line of a page edited at once, as the editor leaves it.
bool editEveryLine(PdfDocument& doc, int pageIndex = 0)
{
    std::vector<TextBlock> blocks = doc.extractText(pageIndex);
    if (blocks.empty())
        return true;
    for (TextBlock& block : blocks) {
        block.text = QStringLiteral("Правка ") + block.text;
        block.textEdited = true;
    }
    const QString text = doc.extractAllText(pageIndex);
    const bool modified = doc.isModified();
    if (doc.overlayOcrText(pageIndex, blocks, false))
        return true;
    changedOnRefusal = doc.extractAllText(pageIndex) != text || doc.isModified() != modified;
    return false;
}

// repaired: whether the file was worked on as a repaired copy, taken before
// the save, which forgets it.
bool run(const QString& op, const QString& file, const QString& scratch, PdfDocument& doc, bool* repaired)
{
    const QString saved = QDir(scratch).filePath(op + QStringLiteral(".pdf"));
    if (op == QLatin1String("import")) {
        if (!doc.open(QStringLiteral(VORN_TEST_DATA_DIR "/") + QLatin1String(kHostFixture)))
            return false;
        return doc.importDocument(file) && doc.saveAs(saved);
    }
    if (op == QLatin1String("append")) {
        if (!doc.open(QStringLiteral(VORN_TEST_DATA_DIR "/") + QLatin1String(kHostFixture)))
            return false;
        return doc.appendPage(file, 0) && doc.saveAs(saved);
    }
    // The file's first page put in after the host's and its lines edited there.
    if (op == QLatin1String("put-in-edit")) {
        if (!doc.open(QStringLiteral(VORN_TEST_DATA_DIR "/") + QLatin1String(kHostFixture)))
            return false;
        const int count = doc.pageCount();
        return doc.appendPage(file, 0) && editEveryLine(doc, count) && doc.saveAs(saved);
    }
    if (!doc.open(file))
        return false;
    const int count = doc.pageCount();
    const int last = std::max(count - 1, 0);
    bool done = false;
    if (op == QLatin1String("open"))
        done = count > 0;
    else if (op == QLatin1String("move"))
        done = doc.movePage(0, last) && doc.movePage(last, 0);
    else if (op == QLatin1String("delete"))
        done = doc.deletePage(last);
    else if (op == QLatin1String("insert"))
        done = doc.insertBlankPage(1, QSizeF(595, 842));
    else if (op == QLatin1String("rotate"))
        done = doc.rotatePage(last, 90);
    else if (op == QLatin1String("duplicate")) {
        const QString copy = QDir(scratch).filePath(QStringLiteral("copy.pdf"));
        done = doc.extractPageSubset({0}, copy) && doc.appendPage(copy, 0) && doc.movePage(count, 1);
    } else if (op == QLatin1String("layer"))
        done = doc.overlayOcrText(0, {layerBlock()}, false);
    else if (op == QLatin1String("edit"))
        done = editEveryLine(doc);
    else if (op == QLatin1String("save"))
        done = true;
    else
        return false;
    *repaired = doc.wasRepaired();
    return done && doc.saveAs(saved);
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 3;
    QTextStream out(stdout);
    int result = 0;
    for (const QString& op : args.mid(3)) {
        // The operation is named before it runs: a crash shows which one it was.
        out << op << " " << Qt::flush;
        PdfDocument doc;
        bool repaired = false;
        if (run(op, args[1], args[2], doc, &repaired)) {
            out << "done " << doc.pageCount() << (repaired ? " repaired" : "") << "\n" << Qt::flush;
            continue;
        }
        const QString reason = doc.lastError().trimmed();
        out << "refused: " << reason << (changedOnRefusal ? " (changed the document)" : "") << "\n" << Qt::flush;
        if (reason.isEmpty() || changedOnRefusal)
            result = 2;
        changedOnRefusal = false;
    }
    return result;
}
