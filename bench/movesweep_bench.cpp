// A sweep of line moves over a folder of real PDFs: on the first, second and
// middle page of each, the longest one-line block is dragged 24 pt right
// along its baseline and saved. Prints a line a move (saved, or refused with
// the reason) and the totals; with --check, each saved move's area rendered
// by poppler is compared with the source's at its old place, shifted.
// Usage: movesweep_bench FOLDER [--check] [--dx POINTS]
#include "PdfDocument.h"
#include "TextBlock.h"
#include "TurnedBox.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>
#include <set>

namespace {

constexpr double kDpi = 144;

QImage popplerPage(const QString& pdf, int page, const QString& stem)
{
    const QString number = QString::number(page + 1);
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-f"), number,
                                         QStringLiteral("-l"), number, QStringLiteral("-gray"),
                                         QStringLiteral("-singlefile"), pdf, stem});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return QImage(stem + QStringLiteral(".pgm"));
}

// Pixels of the moved area that differ by more than rounding between the
// source shifted and the saved page, each allowed one pixel of placement.
int movedAreaDifferences(const QImage& before, const QImage& after, const QRectF& area, const QPoint& shift)
{
    if (before.isNull() || after.isNull() || before.size() != after.size())
        return -1;
    const QRect pixels = QRectF(area.x() * kDpi / 72, area.y() * kDpi / 72, area.width() * kDpi / 72,
                                area.height() * kDpi / 72)
                             .toAlignedRect();
    int differ = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QPoint to(x + shift.x(), y + shift.y());
            if (!after.rect().contains(to) || !before.rect().contains(x, y))
                continue;
            const int was = qGray(before.pixel(x, y));
            int lo = 255, hi = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const QPoint q(to.x() + dx, to.y() + dy);
                    if (!after.rect().contains(q))
                        continue;
                    lo = std::min(lo, qGray(after.pixel(q)));
                    hi = std::max(hi, qGray(after.pixel(q)));
                }
            differ += was < lo - 64 || was > hi + 64;
        }
    return differ;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool check = args.removeAll(QStringLiteral("--check")) > 0;
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
                    << " turned " << block.rotation + line.turn << " \"" << line.text.left(60) << "\"\n";
        return 0;
    }
    if (args.isEmpty()) {
        out << "usage: movesweep_bench FOLDER [--check] [--dx POINTS]\n";
        return 2;
    }
    QDir folder(args.first());
    QTemporaryDir scratch;
    int tried = 0, saved = 0, unlike = 0;
    QMap<QString, int> refusals;
    for (const QString& name : folder.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name)) {
        const QString file = folder.filePath(name);
        PdfDocument probe;
        if (!probe.open(file))
            continue;
        const int count = probe.pageCount();
        std::set<int> pages{0, 1, count / 2};
        for (const int page : pages) {
            if (page >= count)
                continue;
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
            const QRectF from = TurnedBox(longest->originalRect, longest->originalRotation).bounds();
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
                if (check) {
                    const QImage before = popplerPage(file, page, scratch.filePath(QStringLiteral("a")));
                    const QImage after = popplerPage(outPath, page, scratch.filePath(QStringLiteral("b")));
                    const double height = doc.pageSize(page).height();
                    const QRectF area(from.x(), height - from.bottom(), from.width(), from.height());
                    const int differ = movedAreaDifferences(before, after, area,
                                                            QPoint(qRound(dx * kDpi / 72), 0));
                    verdict += QStringLiteral(", poppler pixels off: %1").arg(differ);
                    unlike += differ != 0;
                }
            }
            out << name << " p" << page + 1 << " \"" << longest->text.left(40) << "\": " << verdict << '\n';
            out.flush();
        }
    }
    out << "\nmoves tried " << tried << ", saved " << saved << ", refused " << tried - saved << '\n';
    if (check)
        out << "saved moves whose area differs in poppler: " << unlike << '\n';
    for (auto it = refusals.cbegin(); it != refusals.cend(); ++it)
        out << "  " << it.value() << " × " << it.key() << '\n';
    return 0;
}
