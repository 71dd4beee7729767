#include "LineColumns.h"

#include "OldLine.h"
#include "TurnedBox.h"

#include <algorithm>

namespace {

constexpr double kMinScale = 0.5, kMaxScale = 2.0;  // as the writer bounds a line's horizontal scale

LineColumnPiece shownPiece(const pdfengine::LinePiece& piece, double origin)
{
    return {piece.text, piece.old.text, piece.old.left - origin, piece.old.right - origin, piece.changed};
}

} // namespace

std::vector<LineColumnPiece> nativeLinePieces(const TextBlock::Line& line, const QString& oldText,
                                              const QString& text, double blank, Qt::Alignment alignment)
{
    if (line.glyphBoxes.size() != size_t(oldText.size()) || oldText.isEmpty())
        return {};
    std::vector<qsizetype> drawn;  // characters with ink, blanks aside
    std::vector<std::pair<double, double>> extents;
    double origin = 0;
    for (qsizetype i = 0; i < oldText.size(); ++i) {
        if (oldText[i].isSpace())
            continue;
        const QRectF& box = line.glyphBoxes[size_t(i)];
        origin = drawn.empty() ? box.left() : std::min(origin, box.left());
        // Within a word the advances meet, as the writer measures them.
        if (!drawn.empty() && drawn.back() == i - 1)
            extents.back().second = std::max(extents.back().second, box.left());
        drawn.push_back(i);
        extents.emplace_back(box.left(), box.right());
    }
    const double size = std::max(double(line.fontSize), 1.0);
    const std::vector<size_t> starts = pdfengine::columnStarts(extents, size, blank);
    if (starts.size() < 2)
        return {};
    std::vector<pdfengine::OldLine> columns;
    for (size_t c = 0; c < starts.size(); ++c) {
        const size_t last = c + 1 < starts.size() ? starts[c + 1] - 1 : drawn.size() - 1;
        const qsizetype from = drawn[starts[c]], to = drawn[last];
        const QRectF box(QPointF(extents[starts[c]].first, 0), QPointF(extents[last].second, 1));
        columns.push_back(pdfengine::recognisedOldLine(oldText.mid(from, to - from + 1), box, line.color));
    }
    std::vector<LineColumnPiece> pieces;
    for (const pdfengine::LinePiece& piece : pdfengine::piecesForText(columns, text))
        pieces.push_back(shownPiece(piece, origin));
    if (pieces.empty())
        return pieces;
    LineColumnPiece& last = pieces.back();
    const QString oldWords = last.oldText.simplified();
    const QString newWords = last.text.simplified();
    if (alignment == Qt::AlignLeft && last.changed && !oldWords.isEmpty() &&
        newWords.startsWith(oldWords + QLatin1Char(' '))) {
        const double gap = pdfengine::gapInsideColumns(extents, starts, size);
        const double left = last.right + (gap > 0 ? gap : blank);
        const QString added = newWords.mid(oldWords.size() + 1);
        last.text = last.oldText;
        last.changed = false;
        pieces.push_back({added, QString(), left, left, true});
    }
    return pieces;
}

std::vector<LineColumnPiece> recognisedLinePieces(const TextBlock::Line& line, const QString& text)
{
    if (!hasArea(line.originalRect))
        return {};
    TextBlock::Line read = line;
    read.rect = line.originalRect;
    std::vector<pdfengine::RecognisedWord> words;
    for (const TextBlock::Line::Word& word : line.originalWords)
        if (hasArea(word.rect))
            words.emplace_back(word.text, wordInLineFrame(read, word.rect));
    const double size = std::max(double(line.fontSize), 1.0);
    const std::vector<std::vector<pdfengine::RecognisedWord>> readColumns = pdfengine::recognisedColumns(words, size);
    std::vector<pdfengine::OldLine> columns;
    for (const std::vector<pdfengine::RecognisedWord>& column : readColumns) {
        QStringList texts;
        QRectF box;
        for (const auto& [word, wordBox] : column) {
            texts << word;
            box = box.isNull() ? wordBox : box.united(wordBox);
        }
        columns.push_back(pdfengine::recognisedOldLine(texts.join(QLatin1Char(' ')), box, line.color));
    }
    const double origin = line.originalRect.x();
    std::vector<LineColumnPiece> pieces;
    for (const pdfengine::LinePiece& piece : pdfengine::piecesForText(columns, text)) {
        if (piece.changed) {
            pieces.push_back(shownPiece(piece, origin));
            continue;
        }
        // A column left as it was: each word on its own box.
        for (const auto& [word, box] : readColumns[piece.column])
            pieces.push_back({word, word, box.left() - origin, box.right() - origin, false});
    }
    return pieces;
}

LineColumnRun columnRun(const std::vector<LineColumnPiece>& pieces, size_t i, Qt::Alignment alignment,
                        const std::function<double(const QString&)>& advance)
{
    const LineColumnPiece& piece = pieces[i];
    const bool last = i + 1 == pieces.size();
    const double width = piece.right - piece.left;
    const double natural = advance(piece.text);
    const double oldNatural = advance(piece.oldText);
    LineColumnRun run;
    run.scale = std::clamp(oldNatural > 0 ? width / oldNatural : 1.0, kMinScale, kMaxScale);
    // A changed stretch before a column left as it was fills its old width.
    if (piece.changed && !last && natural > 0)
        run.scale = std::clamp(width / natural, kMinScale, kMaxScale);
    run.x0 = piece.left;
    if (piece.changed && last && alignment == Qt::AlignRight)
        run.x0 = piece.right - run.scale * natural;
    return run;
}
