// Corrections of one word in a line of real pages, as the in-place editor
// leaves a block, saved and read back.
//
// One correction: correctsweep_bench --one FILE PAGE FROM TO OUT
//   the first line holding FROM gets TO in its place, is saved to OUT, and
//   poppler's words of the page before and after are listed.
// A sweep: correctsweep_bench FOLDER [--keep DIR]
//   on the first, second and middle page of each PDF whose text the window
//   offers for editing, the longest one-line block of three words or more
//   gets its middle word corrected (its last letter doubled) and is saved;
//   the saved file is opened again and the word before it corrected the same
//   way and saved. Prints a line per correction and the totals: tried, saved,
//   refused and why, and how many words of the line the user did not touch
//   read otherwise in poppler afterwards (their letters and marks), and how
//   many corrected lines read out of place in content order: the corrected
//   word not between its neighbours in pdftotext -raw's or mutool's text,
//   where the page before read the word there (and of those, how many read
//   there with words run together: their gaps too narrow for the reader).
// --turn with either: each page turned a quarter clockwise before it is corrected.
// --preview with either: the page as the window previews the correction (the
//   write rendered from a copy), timed, against the saved page's render.
// The files written after an edit: correctsweep_bench --roads FOLDER [--keep DIR]
//   on page 1 of each PDF the middle word of its longest line is corrected,
//   then the document is compressed keeping its objects, its pages extracted
//   and it is saved: per road written or refused and why, the names poppler
//   does not find (beyond those the source lacks already), the pages not
//   edited it draws otherwise than in the source; and the pages the open
//   document draws otherwise (the view).
#include "PdfDocument.h"
#include "SweepPages.h"
#include "TextBlock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

struct Word {
    QString text;
    QRectF box;  // points, top-left origin, as poppler gives it
};

// poppler's words of a page with their boxes.
std::vector<Word> popplerWords(const QString& pdf, int page)
{
    const QString number = QString::number(page + 1);
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), number, QStringLiteral("-l"), number,
                                          QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    std::vector<Word> words;
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return words;
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">(.*)</word>"));
    for (auto it = word.globalMatch(QString::fromUtf8(p.readAllStandardOutput())); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString text = m.captured(5);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
        words.push_back({text, QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                      QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

// The page's words in the content's order, as pdftotext -raw or mutool read them.
QStringList contentOrderWords(const QString& pdf, int page, bool mutool)
{
    const QString number = QString::number(page + 1);
    QProcess p;
    if (mutool)
        p.start(QStringLiteral("mutool"), {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"),
                                           QStringLiteral("txt"), QStringLiteral("-o"), QStringLiteral("-"), pdf, number});
    else
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), QStringLiteral("-f"), number, QStringLiteral("-l"),
                                              number, pdf, QStringLiteral("-")});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Whether the words read follow one another somewhere in read.
bool readInOrder(const QStringList& read, const QStringList& words)
{
    for (qsizetype i = 0; i + words.size() <= read.size(); ++i)
        if (read.mid(i, words.size()) == words)
            return true;
    return false;
}

// Whether the words' letters follow one another in read, blanks aside: a
// reader ran words together where it found their gaps too narrow.
bool readRunTogether(const QStringList& read, const QStringList& words)
{
    return read.join(QString()).contains(words.join(QString()));
}

// The words poppler reads whose middles stand in band (points, top-left origin).
QStringList wordsIn(const std::vector<Word>& words, const QRectF& band)
{
    QStringList found;
    for (const Word& word : words)
        if (band.contains(word.box.center()))
            found << word.text;
    return found;
}

// A word of the text corrected: its last letter doubled.
QString corrected(const QString& word)
{
    for (qsizetype i = word.size() - 1; i >= 0; --i)
        if (word[i].isLetter())
            return word.left(i + 1) + word[i] + word.mid(i + 1);
    return word + QStringLiteral("х");
}

struct Outcome {
    bool saved = false;
    QString reason;
    int keptChanged = 0;  // words of the line the user left that read otherwise afterwards
    int keptWords = 0;
    bool orderChecked = false;  // the page before read the word between its neighbours
    bool outOfPlace = false;    // afterwards a reader of the content's order does not
    bool runTogether = false;   // of those, read in their place with words run together
    QString word;               // the word corrected, as it read before
    qint64 previewMs = -1;      // --preview: how long the preview took
    int previewUnlike = -1;     // and its pixels unlike the saved page's
};

// A line's word corrected in its block, as the in-place editor leaves it.
struct Correction {
    QString line;       // the line's text before
    QString text;       // and after
    QRectF band;        // where it stood (points, bottom-left origin)
    QStringList words;  // its words before
    qsizetype at = -1;  // the word corrected; -1: what was replaced
};

// The line of blocks holding what, or the longest one-line block of three
// words or more when what is empty: word index `word` (the middle one when
// negative) replaced by `to` (corrected when empty). False when there is no
// such line.
bool correctInBlocks(std::vector<TextBlock>& blocks, const QString& what, int word, const QString& to,
                     Correction* correction)
{
    TextBlock* chosen = nullptr;
    for (TextBlock& block : blocks) {
        if (block.isImage || block.lines.size() != 1)
            continue;
        if (!what.isEmpty() ? block.text.contains(what)
                            : std::abs(std::remainder(block.rotation, 90.0)) < 0.01 &&
                                  block.text.simplified().split(QLatin1Char(' ')).size() >= 3 &&
                                  (!chosen || block.text.size() > chosen->text.size()))
            chosen = &block;
        if (chosen && !what.isEmpty())
            break;
    }
    if (!chosen)
        return false;
    const QStringList words = chosen->text.simplified().split(QLatin1Char(' '));
    // -1: the middle word, -2: the one before it; none with what given.
    const qsizetype at = !what.isEmpty() ? -1 : std::max<qsizetype>(words.size() / 2 + (word == -2 ? -1 : 0), 0);
    QString text = chosen->text;
    if (at < 0) {
        text.replace(what, to);
    } else {
        QStringList changed = words;
        changed[at] = to.isEmpty() ? corrected(words[at]) : to;
        text = changed.join(QLatin1Char(' '));
    }
    *correction = {chosen->text, text, chosen->originalRect, words, at};
    chosen->text = text;
    chosen->textEdited = true;
    return true;
}

// The line of page holding what, or the longest one-line block of three
// words or more when what is empty: word index `word` (the middle one when
// negative) replaced by `to` (corrected when empty), saved to out.
// --turn: the page is turned a quarter clockwise before each correction.
bool g_turn = false;
bool g_preview = false;

// Pixels whose grey differs by more than a shade of anti-aliasing.
int unlikePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return a.width() * a.height() + b.width() * b.height();
    int unlike = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            unlike += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 48 ? 1 : 0;
    return unlike;
}

Outcome correctOnce(const QString& file, int page, const QString& what, int word, const QString& to,
                    const QString& out, QString* lineText)
{
    Outcome outcome;
    PdfDocument doc;
    if (!doc.open(file) || (g_turn && !doc.rotatePage(page, 90))) {
        outcome.reason = QStringLiteral("open: ") + doc.lastError();
        return outcome;
    }
    std::vector<TextBlock> blocks = doc.extractText(page);
    Correction correction;
    if (!correctInBlocks(blocks, what, word, to, &correction)) {
        outcome.reason = QStringLiteral("no line");
        return outcome;
    }
    const QStringList& words = correction.words;
    const qsizetype at = correction.at;
    *lineText = correction.line;
    outcome.word = words.value(at);
    const QRectF band = correction.band;
    const QString& text = correction.text;
    const double height = doc.pageSize(page).height();
    const QRectF popplerBand(band.x() - 2, height - band.bottom(), band.width() + 400, band.height());
    QFile::remove(out);
    constexpr double kPreviewScale = 1.5;
    QImage preview;
    if (g_preview) {
        QElapsedTimer timer;
        timer.start();
        preview = doc.renderPageWritten(page, blocks, kPreviewScale, 0);
        outcome.previewMs = timer.elapsed();
    }
    outcome.saved = doc.overlayOcrText(page, blocks, false) && doc.save(out);
    if (!outcome.saved) {
        outcome.reason = doc.lastError();
        return outcome;
    }
    if (g_preview) {
        PdfDocument reread;
        outcome.previewUnlike =
            reread.open(out) ? unlikePixels(preview, reread.renderPage(page, kPreviewScale, 0)) : -1;
    }
    // The corrected word between its neighbours, in the content's order.
    if (at >= 0) {
        QStringList was, now;
        for (qsizetype w = std::max<qsizetype>(at - 1, 0); w <= std::min<qsizetype>(at + 1, words.size() - 1); ++w) {
            was << words[w];
            now << (w == at ? text.simplified().split(QLatin1Char(' '))[w] : words[w]);
        }
        for (const bool mutool : {false, true}) {
            if (!readInOrder(contentOrderWords(file, page, mutool), was))
                continue;
            outcome.orderChecked = true;
            const QStringList read = contentOrderWords(out, page, mutool);
            if (!readInOrder(read, now)) {
                outcome.runTogether = (!outcome.outOfPlace || outcome.runTogether) && readRunTogether(read, now);
                outcome.outOfPlace = true;
            }
        }
    }
    // The words the user left, as poppler reads them in the line before and after.
    const QStringList before = wordsIn(popplerWords(file, page), popplerBand);
    QStringList after = wordsIn(popplerWords(out, page), popplerBand);
    // Marks aside: the engine's text may leave out a mark poppler reads.
    const auto bare = [](const QString& word) {
        QString letters;
        for (const QChar c : word)
            if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing)
                letters += c;
        return letters;
    };
    QStringList bareWords;
    for (const QString& w : words)
        bareWords << bare(w);
    for (const QString& was : before) {
        if (!bareWords.contains(bare(was)))
            continue;  // a word of another line reaching into the band
        const bool touched = at >= 0 ? bare(was) == bareWords[at] : what.contains(bare(was));
        if (touched)
            continue;
        ++outcome.keptWords;
        if (after.removeOne(was))
            continue;
        ++outcome.keptChanged;
        outcome.reason += (outcome.reason.isEmpty() ? QString() : QStringLiteral(", ")) + was;
    }
    return outcome;
}

// poppler's drawing of every page of a file, and its complaints about
// names pages look up that their resources lack.
struct PopplerDrawing {
    QList<QImage> pages;
    int unknownNames = 0;
};

PopplerDrawing popplerDrawing(const QString& pdf)
{
    constexpr int kDpi = 20;
    PopplerDrawing drawing;
    QTemporaryDir dir;
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi), QStringLiteral("-png"), pdf,
                                         dir.filePath(QStringLiteral("p"))});
    if (!p.waitForFinished(600000))
        return drawing;
    for (const QString& line : QString::fromUtf8(p.readAllStandardError()).split(QLatin1Char('\n')))
        drawing.unknownNames += line.contains(QStringLiteral("unknown"), Qt::CaseInsensitive) ? 1 : 0;
    // Named p-1.png or p-01.png ...: one width of number for every page.
    for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("p-*.png")}, QDir::Files, QDir::Name))
        drawing.pages << QImage(dir.filePath(name));
    return drawing;
}

// A file written after the edit of page 1: written or refused and why, and
// what poppler draws otherwise than in the source on the other pages.
struct RoadOutcome {
    bool written = false;
    QString reason;
    int unknownNames = 0;  // beyond those of the source
    int otherPagesChanged = 0;
};

RoadOutcome roadOutcome(bool written, const PdfDocument& doc, const QString& path, const PopplerDrawing& source)
{
    RoadOutcome outcome;
    outcome.written = written;
    if (!written) {
        outcome.reason = doc.lastError();
        return outcome;
    }
    const PopplerDrawing drawing = popplerDrawing(path);
    outcome.unknownNames = std::max(drawing.unknownNames - source.unknownNames, 0);
    for (qsizetype page = 1; page < source.pages.size(); ++page)
        outcome.otherPagesChanged += page >= drawing.pages.size() || drawing.pages[page] != source.pages[page] ? 1 : 0;
    return outcome;
}

struct FirstPageEdit {
    QString line;
    QString writeRefused;  // the edit was not written into the page
    int pages = 0;
    int viewChanged = 0;  // other pages the open document draws otherwise
    RoadOutcome compressed, extracted, saved;
};

// One word of page 1 corrected, then the document written every way an edit
// reaches a file: the compressed copy keeping objects (pictures left as they
// are), every page extracted, and a save.
FirstPageEdit editFirstPage(const QString& file, const QDir& scratch)
{
    FirstPageEdit edit;
    PdfDocument doc, original;
    if (!doc.open(file) || !original.open(file)) {
        edit.writeRefused = QStringLiteral("open: ") + doc.lastError();
        return edit;
    }
    edit.pages = doc.pageCount();
    std::vector<TextBlock> blocks = doc.extractText(0);
    Correction correction;
    if (!correctInBlocks(blocks, QString(), -1, QString(), &correction)) {
        edit.writeRefused = QStringLiteral("no line");
        return edit;
    }
    edit.line = correction.line;
    if (!doc.overlayOcrText(0, blocks, false)) {
        edit.writeRefused = doc.lastError();
        return edit;
    }
    constexpr double kViewScale = 20 / 72.0;
    for (int page = 1; page < edit.pages; ++page)
        edit.viewChanged += doc.renderPage(page, kViewScale, 0) != original.renderPage(page, kViewScale, 0) ? 1 : 0;
    const PopplerDrawing source = popplerDrawing(file);
    QList<int> every;
    for (int page = 0; page < edit.pages; ++page)
        every << page;
    const QString compressed = scratch.filePath(QStringLiteral("compressed.pdf"));
    const QString extracted = scratch.filePath(QStringLiteral("extracted.pdf"));
    const QString saved = scratch.filePath(QStringLiteral("saved.pdf"));
    for (const QString& path : {compressed, extracted, saved})
        QFile::remove(path);
    const PdfDocument::CompressionOptions keptPictures{.imageDpi = 600, .recompressSmallImages = false,
                                                       .rasterizePages = false};
    edit.compressed = roadOutcome(doc.compressTo(compressed, keptPictures), doc, compressed, source);
    edit.extracted = roadOutcome(doc.extractPageSubset(every, extracted), doc, extracted, source);
    edit.saved = roadOutcome(doc.save(saved), doc, saved, source);
    return edit;
}

// Totals of one road over the sweep.
struct RoadTotals {
    int written = 0;
    int withUnknownNames = 0;
    int withOtherPagesChanged = 0;
    int otherPagesChanged = 0;
    QMap<QString, int> refusals;

    void add(const RoadOutcome& outcome)
    {
        if (!outcome.written) {
            QString reason = outcome.reason;
            reason.remove(QRegularExpression(QStringLiteral("\\d+")));
            ++refusals[reason.left(120)];
            return;
        }
        ++written;
        withUnknownNames += outcome.unknownNames > 0 ? 1 : 0;
        withOtherPagesChanged += outcome.otherPagesChanged > 0 ? 1 : 0;
        otherPagesChanged += outcome.otherPagesChanged;
    }
};

QString roadText(const RoadOutcome& outcome)
{
    if (!outcome.written)
        return QStringLiteral("refused (%1)").arg(outcome.reason.left(120));
    return QStringLiteral("written, unknown names %1, other pages changed %2")
        .arg(outcome.unknownNames)
        .arg(outcome.otherPagesChanged);
}

int sweepRoads(const QDir& folder, const QString& keep, QTextStream& out)
{
    QTemporaryDir scratch;
    int tried = 0, noLine = 0, viewChanged = 0;
    QMap<QString, int> writeRefusals;
    RoadTotals compressed, extracted, saved;
    for (const QString& name : folder.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name)) {
        const FirstPageEdit edit = editFirstPage(folder.filePath(name), QDir(scratch.path()));
        for (const QString& road : {QStringLiteral("compressed"), QStringLiteral("extracted"), QStringLiteral("saved")})
            if (!keep.isEmpty())
                QFile::copy(QDir(scratch.path()).filePath(road + QStringLiteral(".pdf")),
                            QDir(keep).filePath(QFileInfo(name).baseName() + '-' + road + QStringLiteral(".pdf")));
        out << name << " (" << edit.pages << " p.) \"" << edit.line.left(40) << "\": ";
        if (edit.writeRefused == QStringLiteral("no line")) {
            ++noLine;
            out << "no line of three words on page 1\n";
            continue;
        }
        ++tried;
        if (!edit.writeRefused.isEmpty()) {
            ++writeRefusals[edit.writeRefused.left(120)];
            out << "edit refused (" << edit.writeRefused.left(120) << ")\n";
            continue;
        }
        viewChanged += edit.viewChanged > 0 ? 1 : 0;
        out << "view: other pages changed " << edit.viewChanged << "; compressed: " << roadText(edit.compressed)
            << "; extracted: " << roadText(edit.extracted) << "; saved: " << roadText(edit.saved) << '\n';
        out.flush();
        compressed.add(edit.compressed);
        extracted.add(edit.extracted);
        saved.add(edit.saved);
    }
    out << "\nmanuals edited " << tried << " (" << noLine << " more without a line to edit on page 1), edit refused "
        << std::accumulate(writeRefusals.begin(), writeRefusals.end(), 0) << ", other pages changed in the view " << viewChanged
        << '\n';
    for (auto it = writeRefusals.cbegin(); it != writeRefusals.cend(); ++it)
        out << "  " << it.value() << " × " << it.key() << '\n';
    const std::pair<const char*, const RoadTotals*> roads[] = {
        {"compressed copy keeping objects", &compressed}, {"extracted pages", &extracted}, {"saved", &saved}};
    for (const auto& [road, totals] : roads) {
        out << road << ": written " << totals->written << ", refused "
            << std::accumulate(totals->refusals.begin(), totals->refusals.end(), 0) << "; written with unknown names "
            << totals->withUnknownNames << ", with other pages changed " << totals->withOtherPagesChanged << " ("
            << totals->otherPagesChanged << " pages)\n";
        for (auto it = totals->refusals.cbegin(); it != totals->refusals.cend(); ++it)
            out << "  " << it.value() << " × " << it.key() << '\n';
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);
    if (const qsizetype at = args.indexOf(QStringLiteral("--turn")); at >= 0) {
        g_turn = true;
        args.remove(at);
    }
    if (const qsizetype at = args.indexOf(QStringLiteral("--preview")); at >= 0) {
        g_preview = true;
        args.remove(at);
    }
    if (args.size() == 6 && args[0] == QStringLiteral("--one")) {
        QString line;
        const Outcome outcome = correctOnce(args[1], args[2].toInt() - 1, args[3], -1, args[4], args[5], &line);
        out << "line: " << line << '\n';
        out << (outcome.saved ? QStringLiteral("saved") : QStringLiteral("refused: ") + outcome.reason) << '\n';
        if (outcome.saved)
            out << "kept words read otherwise: " << outcome.keptChanged << " of " << outcome.keptWords << ' '
                << outcome.reason << '\n';
        return outcome.saved ? 0 : 1;
    }
    QString keep;
    if (const qsizetype at = args.indexOf(QStringLiteral("--keep")); at >= 0 && at + 1 < args.size()) {
        keep = args[at + 1];
        args.remove(at, 2);
    }
    if (args.size() == 2 && args[0] == QStringLiteral("--roads"))
        return sweepRoads(QDir(args[1]), keep, out);
    if (args.size() != 1) {
        out << "usage: correctsweep_bench [--turn] FOLDER [--keep DIR] | [--turn] --one FILE PAGE FROM TO OUT | --roads FOLDER [--keep DIR]\n";
        return 2;
    }
    QDir folder(args.first());
    QTemporaryDir scratch;
    int tried = 0, saved = 0, keptWords = 0, keptChanged = 0, orderChecked = 0, outOfPlace = 0, runTogether = 0;
    int previewsLike = 0;
    std::vector<qint64> previewTimes;
    QMap<QString, int> refusals;
    for (const bench::SweptPage& swept : bench::sweptPages(folder)) {
        const QString& name = swept.name;
        const QString& file = swept.file;
        const int page = swept.page;
        QString current = file;
        for (int round = 0; round < 2; ++round) {
            const QString saveTo = scratch.filePath(QStringLiteral("round%1.pdf").arg(round));
            QString line;
            // The middle word first, then the one before it.
            const Outcome outcome = correctOnce(current, page, QString(), round == 0 ? -1 : -2, QString(), saveTo, &line);
            if (outcome.reason == QStringLiteral("no line"))
                break;
            ++tried;
            QString verdict;
            if (outcome.saved) {
                ++saved;
                keptWords += outcome.keptWords;
                keptChanged += outcome.keptChanged;
                orderChecked += outcome.orderChecked;
                outOfPlace += outcome.outOfPlace;
                runTogether += outcome.runTogether;
                verdict = QStringLiteral("saved, kept words read otherwise %1 of %2%3")
                              .arg(outcome.keptChanged)
                              .arg(outcome.keptWords)
                              .arg(outcome.reason.isEmpty() ? QString() : QStringLiteral(" (") + outcome.reason + ')') +
                          (outcome.runTogether  ? QStringLiteral(", read in place with words run together")
                           : outcome.outOfPlace ? QStringLiteral(", read out of place")
                                                : QString());
                if (g_preview) {
                    previewTimes.push_back(outcome.previewMs);
                    previewsLike += outcome.previewUnlike == 0 ? 1 : 0;
                    verdict += QStringLiteral(", preview %1 ms, %2 pixels unlike the saved page")
                                   .arg(outcome.previewMs)
                                   .arg(outcome.previewUnlike);
                }
                if (!keep.isEmpty())
                    QFile::copy(saveTo, QDir(keep).filePath(
                                            QStringLiteral("%1-p%2-r%3.pdf").arg(QFileInfo(name).baseName()).arg(page + 1).arg(round + 1)));
            } else {
                QString reason = outcome.reason;
                reason.remove(QRegularExpression(QStringLiteral("\\d+")));
                reason.remove(QRegularExpression(QStringLiteral("«[^»]*»")));
                ++refusals[reason.left(120)];
                verdict = QStringLiteral("refused: ") + outcome.reason.left(160);
            }
            out << name << " p" << page + 1 << " round " << round + 1 << " \"" << line.left(50) << "\" word \""
                << outcome.word << "\": " << verdict << '\n';
            out.flush();
            if (!outcome.saved)
                break;
            const QString next = scratch.filePath(QStringLiteral("current%1.pdf").arg(round));
            QFile::remove(next);
            QFile::copy(saveTo, next);
            current = next;
        }
    }
    out << "\ncorrections tried " << tried << ", saved " << saved << ", refused " << tried - saved << '\n';
    out << "words of the corrected lines left as they were: " << keptWords << ", reading otherwise afterwards: "
        << keptChanged << '\n';
    out << "corrected lines read out of place in content order (pdftotext -raw, mutool): " << outOfPlace << " of "
        << orderChecked << " checked (" << runTogether << " of them in place, words run together)\n";
    for (auto it = refusals.cbegin(); it != refusals.cend(); ++it)
        out << "  " << it.value() << " × " << it.key() << '\n';
    if (!previewTimes.empty()) {
        std::sort(previewTimes.begin(), previewTimes.end());
        out << "previews drawn as the saved page: " << previewsLike << " of " << previewTimes.size() << "; time median "
            << previewTimes[previewTimes.size() / 2] << " ms, 90th percentile "
            << previewTimes[previewTimes.size() * 9 / 10] << " ms, longest " << previewTimes.back() << " ms\n";
    }
    return 0;
}
