// A sweep of corrections over a folder of real PDFs, each saved and the
// saved file corrected again the next day: on the first, second and middle
// page of each whose text the window offers for editing, a word of the
// longest line gets two inner letters swapped and the page is saved; the
// saved file is opened again, a word of the longest other line with "fi" or
// "fl" (letters a face may draw only as one ligature glyph), else of the
// second longest, is corrected the same way and saved, and then the third
// longest line is deleted and saved. Prints a line a page and the totals by session: tried, saved,
// refused and why, and saved pages whose edited words poppler does not read.
// Usage: recorrect_bench FOLDER
#include "NativeTextLayer.h"
#include "PdfDocument.h"
#include "SweepPages.h"
#include "TextBlock.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

struct Tally {
    int tried = 0;
    int saved = 0;
    int misread = 0;  // saved, but poppler does not read the new word
    QMap<QString, int> refusals;
};

QString popplerText(const QString& pdf, int page)
{
    const QString number = QString::number(page + 1);
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), number, QStringLiteral("-l"), number, pdf,
                                          QStringLiteral("-")});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

// The one-line blocks of a page as the window reads them, longest first.
std::vector<size_t> linesByLength(const std::vector<TextBlock>& blocks)
{
    std::vector<size_t> order;
    for (size_t i = 0; i < blocks.size(); ++i)
        if (!blocks[i].isImage && blocks[i].lines.size() == 1 && std::abs(blocks[i].rotation) < 0.01 &&
            blocks[i].text.simplified().size() >= 12)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return blocks[a].text.size() > blocks[b].text.size(); });
    return order;
}

// The middle word of five letters or more of the block, two inner letters
// swapped as a typo corrected; empty when it has none.
QString correctWordOf(TextBlock& block)
{
    QStringList words = block.lines[0].text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    std::vector<qsizetype> long_;
    for (qsizetype i = 0; i < words.size(); ++i)
        if (words[i].size() >= 5 && std::all_of(words[i].begin(), words[i].end(), [](QChar c) { return c.isLetter(); }))
            long_.push_back(i);
    if (long_.empty())
        return {};
    QString& word = words[long_[long_.size() / 2]];
    std::swap(word[1], word[2]);
    block.lines[0].text = block.text = words.join(QLatin1Char(' '));
    block.lines[0].words.clear();
    block.lines[0].spans.clear();
    block.textEdited = true;
    return word;
}

// One edit of page of file (the rank-th longest line: corrected, or deleted
// when delete) saved as out; its verdict counted in tally.
QString editOnce(const QString& file, int page, size_t rank, bool remove, const QString& out, Tally& tally)
{
    PdfDocument doc;
    if (!doc.open(file))
        return QStringLiteral("not opened");
    std::vector<TextBlock> blocks = cleanedNativeTextBlocks(doc.extractText(page), {});
    std::vector<size_t> order = linesByLength(blocks);
    if (order.size() <= rank)
        return QStringLiteral("no line");
    if (rank == 1) {
        const auto ligature = std::find_if(order.begin() + 1, order.end(), [&](size_t i) {
            return blocks[i].text.contains(QStringLiteral("fi")) || blocks[i].text.contains(QStringLiteral("fl"));
        });
        if (ligature != order.end())
            std::iter_swap(order.begin() + 1, ligature);
    }
    TextBlock& block = blocks[order[rank]];
    QString word;
    if (remove) {
        block.removed = true;
    } else if ((word = correctWordOf(block)).isEmpty()) {
        return QStringLiteral("no word");
    }
    ++tally.tried;
    QFile::remove(out);
    if (!doc.overlayOcrText(page, blocks, false) || !doc.save(out)) {
        QString reason = doc.lastError();
        reason.remove(QRegularExpression(QStringLiteral("\\d+")));
        ++tally.refusals[reason.left(120)];
        return QStringLiteral("refused: ") + doc.lastError().left(160);
    }
    ++tally.saved;
    if (!word.isEmpty() && !popplerText(out, page).contains(word)) {
        ++tally.misread;
        return QStringLiteral("saved, \"%1\" not read").arg(word);
    }
    return QStringLiteral("saved ") + (remove ? QStringLiteral("(line deleted)") : QStringLiteral("\"%1\"").arg(word));
}

void printTally(QTextStream& out, const QString& what, const Tally& tally)
{
    out << what << ": tried " << tally.tried << ", saved " << tally.saved << ", refused " << tally.tried - tally.saved
        << ", saved but the new word not read " << tally.misread << '\n';
    for (auto it = tally.refusals.cbegin(); it != tally.refusals.cend(); ++it)
        out << "  " << it.value() << " × " << it.key() << '\n';
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    if (args.size() != 1) {
        out << "usage: recorrect_bench FOLDER\n";
        return 2;
    }
    QDir folder(args.first());
    QTemporaryDir scratch;
    Tally first, again, deleted;
    for (const bench::SweptPage& swept : bench::sweptPages(folder)) {
        const QString& file = swept.file;
        const int page = swept.page;
        const QString once = scratch.filePath(QStringLiteral("once.pdf"));
        const QString twice = scratch.filePath(QStringLiteral("twice.pdf"));
        const QString thrice = scratch.filePath(QStringLiteral("thrice.pdf"));
        const int saved = first.saved;
        out << swept.name << " p" << page + 1 << ": " << editOnce(file, page, 0, false, once, first);
        if (first.saved > saved) {
            const int savedAgain = again.saved;
            out << "; again: " << editOnce(once, page, 1, false, twice, again);
            if (again.saved > savedAgain)
                out << "; then: " << editOnce(twice, page, 2, true, thrice, deleted);
        }
        out << '\n';
        out.flush();
    }
    out << '\n';
    printTally(out, QStringLiteral("first session, a word corrected"), first);
    printTally(out, QStringLiteral("opened again, a word of another line corrected"), again);
    printTally(out, QStringLiteral("then a third line deleted"), deleted);
    return 0;
}
