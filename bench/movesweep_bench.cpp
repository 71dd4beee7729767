// A sweep of line moves over a folder of real PDFs: on the first, second and
// middle page of each whose text the window offers for editing, the longest
// one-line block is dragged 24 pt right along its baseline and saved. Prints a line a move (saved, or refused with
// the reason) and the totals; with --check, each saved move's area rendered
// by poppler is compared with the source's at its old place, shifted.
// Usage: movesweep_bench FOLDER [--check] [--every-page] [--dx POINTS]
#include "PdfDocument.h"
#include "SweepPages.h"
#include "TextBlock.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>

namespace {

constexpr double kDpi = 144;

QImage popplerPage(const QString& pdf, int page, const QString& stem)
{
    const QString number = QString::number(page + 1);
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"), number,
                                         QStringLiteral("-l"), number, QStringLiteral("-gray"), QStringLiteral("-hide-annotations"),
                                         QStringLiteral("-singlefile"), pdf, stem});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return QImage(stem + QStringLiteral(".pgm"));
}

QRect pixelsOf(const QRectF& box, double pageHeight)
{
    return QRectF(box.x() * kDpi / 72, (pageHeight - box.bottom()) * kDpi / 72, box.width() * kDpi / 72,
                  box.height() * kDpi / 72)
        .toAlignedRect();
}

// Whether grey a lies within the greys around (x, y) of image, give or take rounding.
bool matchedNearby(int grey, const QImage& image, int x, int y)
{
    int lo = 255, hi = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.rect().contains(x + dx, y + dy)) {
                lo = std::min(lo, qGray(image.pixel(x + dx, y + dy)));
                hi = std::max(hi, qGray(image.pixel(x + dx, y + dy)));
            }
    return grey >= lo - 64 && grey <= hi + 64;
}

// Pixels of the moved line's words that differ, a pixel of placement
// allowed, between the source and the saved page shifted back; pixels that
// other lines' words cover at either place are passed over.
int movedWordDifferences(const QImage& before, const QImage& after, const std::vector<QRect>& words,
                         const std::vector<QRect>& others, const QPoint& shift)
{
    if (before.isNull() || after.isNull() || before.size() != after.size())
        return -1;
    const auto covered = [&](const QPoint& p) {
        return std::any_of(others.begin(), others.end(), [&](const QRect& r) { return r.adjusted(-1, -1, 1, 1).contains(p); });
    };
    int differ = 0;
    for (const QRect& word : words)
        for (int y = word.top(); y <= word.bottom(); ++y)
            for (int x = word.left(); x <= word.right(); ++x) {
                const QPoint from(x, y), to = from + shift;
                if (!before.rect().contains(from) || !after.rect().contains(to) || covered(from) || covered(to))
                    continue;
                differ += !matchedNearby(qGray(before.pixel(from)), after, to.x(), to.y()) ||
                          !matchedNearby(qGray(after.pixel(to)), before, from.x(), from.y());
            }
    return differ;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool check = args.removeAll(QStringLiteral("--check")) > 0;
    const bool everyPage = args.removeAll(QStringLiteral("--every-page")) > 0;
    double dx = 24;
    if (const qsizetype at = args.indexOf(QStringLiteral("--dx")); at >= 0 && at + 1 < args.size()) {
        dx = args[at + 1].toDouble();
        args.remove(at, 2);
    }
    QTextStream out(stdout);
    if (args.size() == 3 && args[0] == QStringLiteral("--lines")) {  // the line boxes of one page, to look into a refusal
        PdfDocument doc;
        if (!doc.open(args[1]))
            return 1;
        for (const TextBlock& block : doc.extractText(args[2].toInt() - 1))
            for (const TextBlock::Line& line : block.lines)
                out << line.rect.x() << ' ' << line.rect.y() << ' ' << line.rect.width() << 'x' << line.rect.height()
                    << " turned " << block.rotation + line.turn << " font \"" << line.fontFamily << "\" " << line.fontSize << " spans " << line.spans.size() << " \"" << QString(line.text.left(60)).replace(QLatin1Char('\n'), QLatin1Char(' ')) << "\"\n";
        return 0;
    }
    if (args.isEmpty()) {
        out << "usage: movesweep_bench FOLDER [--check] [--every-page] [--dx POINTS]\n";
        return 2;
    }
    QDir folder(args.first());
    QTemporaryDir scratch;
    int tried = 0, saved = 0, unlike = 0;  // unlike: saved lines whose words differ in poppler
    QMap<QString, int> refusals;
    for (const bench::SweptPage& swept : bench::sweptPages(folder, everyPage)) {
        const QString& name = swept.name;
        const QString& file = swept.file;
        const int page = swept.page;
        PdfDocument doc;
        if (!doc.open(file))
            continue;
        std::vector<TextBlock> blocks = doc.extractText(page);
        TextBlock* longest = nullptr;
        for (TextBlock& block : blocks)
            if (!block.isImage && block.lines.size() == 1 && std::abs(block.rotation) < 0.01 &&
                (!longest || block.text.size() > longest->text.size()))
                longest = &block;
        if (!longest || longest->text.simplified().size() < 4)
            continue;
        const QPointF by(dx, 0);
        longest->rect.translate(by);
        for (TextBlock::Line& line : longest->lines) {
            line.rect.translate(by);
            for (TextBlock::Line::Word& word : line.words)
                word.rect.translate(by);
        }
        ++tried;
        const QString outPath = scratch.filePath(QStringLiteral("moved.pdf"));
        QFile::remove(outPath);
        const bool ok = doc.overlayOcrText(page, blocks, false) && doc.save(outPath);
        QString verdict = QStringLiteral("saved");
        if (!ok) {
            QString reason = doc.lastError();
            reason.remove(QRegularExpression(QStringLiteral("\\d+")));
            ++refusals[reason.left(120)];
            verdict = QStringLiteral("refused: ") + doc.lastError().left(160);
        } else {
            ++saved;
            if (const QString keep = qEnvironmentVariable("VORN_SWEEP_KEEP"); !keep.isEmpty())  // a folder to look at the saved pages in
                QFile::copy(outPath, QDir(keep).filePath(QStringLiteral("%1-p%2.pdf").arg(QFileInfo(name).baseName()).arg(page + 1)));
            if (check) {
                const double height = doc.pageSize(page).height();
                std::vector<QRect> words, others;
                for (const TextBlock& block : blocks)
                    for (const TextBlock::Line& line : block.lines)
                        for (const TextBlock::Line::Word& word : line.words)
                            (&block == longest ? words : others)
                                .push_back(pixelsOf(&block == longest ? word.rect.translated(-by) : word.rect, height));
                const QImage before = popplerPage(file, page, scratch.filePath(QStringLiteral("a")));
                const QImage after = popplerPage(outPath, page, scratch.filePath(QStringLiteral("b")));
                const int differ =
                    movedWordDifferences(before, after, words, others, QPoint(qRound(dx * kDpi / 72), 0));
                verdict += QStringLiteral(", poppler pixels off: %1").arg(differ);
                unlike += differ != 0;
            }
        }
        out << name << " p" << page + 1 << " \"" << longest->text.left(40) << "\": " << verdict << '\n';
        out.flush();
    }
    out << "\nmoves tried " << tried << ", saved " << saved << ", refused " << tried - saved << '\n';
    if (check)
        out << "saved moves whose area differs in poppler: " << unlike << '\n';
    for (auto it = refusals.cbegin(); it != refusals.cend(); ++it)
        out << "  " << it.value() << " × " << it.key() << '\n';
    return 0;
}
