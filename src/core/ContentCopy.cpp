#include "ContentCopy.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>

namespace pdfengine {

namespace {

constexpr size_t kMostExtGStates = 64;  // a state stacking more is rebuilt from its latest
constexpr int kScaleDecimals = 6;
constexpr int kPlaceDecimals = 4;

}  // namespace

std::string contentHexString(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "<";
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out + ">";
}

namespace {

void append(std::string& text, const std::string& part)
{
    if (part.empty())
        return;
    if (!text.empty())
        text += ' ';
    text += part;
}

}  // namespace

std::string contentNumber(double value, int decimals)
{
    if (!std::isfinite(value))
        return "0";
    QByteArray text = QByteArray::number(value, 'f', decimals);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    if (text == "-0")
        text = "0";
    return text.toStdString();
}

std::string contentMatrix(const QTransform& m)
{
    return contentNumber(m.m11(), kScaleDecimals) + ' ' + contentNumber(m.m12(), kScaleDecimals) + ' ' +
           contentNumber(m.m21(), kScaleDecimals) + ' ' + contentNumber(m.m22(), kScaleDecimals) + ' ' +
           contentNumber(m.dx(), kPlaceDecimals) + ' ' + contentNumber(m.dy(), kPlaceDecimals);
}

void PaintState::take(const std::string& op, const std::string& raw)
{
    if (op == "g" || op == "rg" || op == "k") {
        m_fillSpace.clear();
        m_fill = raw;
    } else if (op == "cs") {
        m_fillSpace = raw;
        m_fill.clear();
    } else if (op == "sc" || op == "scn") {
        m_fill = raw;
    } else if (op == "G" || op == "RG" || op == "K") {
        m_strokeSpace.clear();
        m_stroke = raw;
    } else if (op == "CS") {
        m_strokeSpace = raw;
        m_stroke.clear();
    } else if (op == "SC" || op == "SCN") {
        m_stroke = raw;
    } else if (op == "w" || op == "J" || op == "j" || op == "M" || op == "d" || op == "ri" || op == "i") {
        m_style[op] = raw;
    } else if (op == "gs") {
        if (m_extGStates.size() >= kMostExtGStates)
            m_extGStates.erase(m_extGStates.begin());
        m_extGStates.push_back(raw);
    }
}

std::string PaintState::text() const
{
    std::string text;
    for (const std::string& state : m_extGStates)
        append(text, state);
    for (const auto& [op, raw] : m_style)
        append(text, raw);
    append(text, m_fillSpace);
    append(text, m_fill);
    append(text, m_strokeSpace);
    append(text, m_stroke);
    return text;
}

void ContentCopy::add(const std::string& paint, const QTransform& ctm, const std::string& operators, int glyphs)
{
    m_items.push_back({paint, "q " + contentMatrix(ctm * m_toSpace) + " cm\n" + operators + "\nQ"});
    m_glyphs += glyphs;
}

// Items drawn in one paint share one saved state.
std::string ContentCopy::stream() const
{
    std::string out = "q\n/" + std::string(kMovedContentTag) + " BMC\n";
    for (size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        if (i == 0 || item.paint != m_items[i - 1].paint) {
            if (i > 0)
                out += "Q\n";
            out += "q\n";
            if (!item.paint.empty())
                out += item.paint + '\n';
        }
        out += item.body + '\n';
    }
    if (!m_items.empty())
        out += "Q\n";
    return out + "EMC\nQ\n";
}

}  // namespace pdfengine

namespace pdfengine {

void TextObjectReplay::begin(const std::string& paint, const QTransform& ctm, const std::string& state)
{
    m_open = true;
    m_paint = paint;
    m_ctm = ctm;
    m_state = state;
    m_ops.clear();
}

void TextObjectReplay::addOperator(const std::string& raw, bool positions)
{
    if (m_open)
        m_ops.push_back({raw, positions, false, {}});
}

void TextObjectReplay::addShow(const std::string& prefix, std::vector<Piece> pieces)
{
    if (m_open)
        m_ops.push_back({prefix, !prefix.empty(), true, std::move(pieces)});
}

void TextObjectReplay::finish(ContentCopy& copy, const std::vector<QPointF>& moves)
{
    if (!m_open)
        return;
    m_open = false;
    std::vector<int> taken;
    for (const Op& op : m_ops)
        for (const Piece& piece : op.pieces)
            if (piece.glyph && piece.move >= 0 && size_t(piece.move) < moves.size() &&
                std::find(taken.begin(), taken.end(), piece.move) == taken.end())
                taken.push_back(piece.move);
    for (const int move : taken) {
        int glyphs = 0;
        const std::string body = replayFor(move, &glyphs);
        copy.add(m_paint, m_ctm * QTransform::fromTranslate(moves[size_t(move)].x(), moves[size_t(move)].y()), body,
                 glyphs);
    }
    m_ops.clear();
}

// The object up to the move's last glyph. A showing operator without the
// move's glyphs stays only as the room it takes, and only where a later
// operator of the move's goes on from where it ended.
std::string TextObjectReplay::replayFor(int move, int* glyphs) const
{
    std::vector<char> mine(m_ops.size(), 0);
    size_t last = 0;
    for (size_t i = 0; i < m_ops.size(); ++i) {
        const std::vector<Piece>& pieces = m_ops[i].pieces;
        mine[i] = m_ops[i].shows && std::any_of(pieces.begin(), pieces.end(),
                                                [move](const Piece& p) { return p.glyph && p.move == move; });
        if (mine[i])
            last = i;
    }
    // Whether a showing operator of the move's comes after an operator before
    // anything sets the position again: then that operator's advance is used.
    std::vector<char> advanceUsed(m_ops.size(), 0);
    bool used = false;
    for (size_t i = std::min(last + 1, m_ops.size()); i-- > 0;) {
        advanceUsed[i] = used;
        if (m_ops[i].positions)
            used = false;
        else if (mine[i])
            used = true;
    }
    std::string body = "BT";
    append(body, m_state);
    for (size_t i = 0; i <= last && i < m_ops.size(); ++i) {
        const Op& op = m_ops[i];
        if (!op.shows) {
            append(body, op.raw);
            continue;
        }
        append(body, op.raw);  // a ' or " goes to the next line first
        if (!mine[i] && !advanceUsed[i])
            continue;
        append(body, showingArray(op.pieces, [move](const Piece& p) { return p.move == move; }));
        for (const Piece& piece : op.pieces)
            *glyphs += piece.glyph && piece.move == move;
    }
    return body + " ET";
}

}  // namespace pdfengine
