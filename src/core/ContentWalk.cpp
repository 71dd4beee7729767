// The content walk: streams and forms in the order drawn, the graphics
// state, paths and what they paint, and glyphs copied where a move takes them.
#include "ContentWalk.h"

#include "PageOwnContent.h"
#include "QpdfFile.h"

#include <qpdf/QPDFTokenizer.hh>

#include <QLineF>

#include <algorithm>
#include <cmath>
#include <exception>

namespace pdfengine::contentwalk {

bool drawsTextAsBefore(QPDFObjectHandle resources, const std::string& name)
{
    QPDFObjectHandle states = resources.isDictionary() ? resources.getKey("/ExtGState") : QPDFObjectHandle::newNull();
    QPDFObjectHandle state = states.isDictionary() ? states.getKey(name) : QPDFObjectHandle::newNull();
    if (!state.isDictionary())
        return false;
    const auto opaque = [&state](const char* key) {
        QPDFObjectHandle value = state.getKey(key);
        return value.isNull() || (value.isNumber() && value.getNumericValue() == 1);
    };
    QPDFObjectHandle blend = state.getKey("/BM"), mask = state.getKey("/SMask"), shape = state.getKey("/AIS");
    return !state.hasKey("/Font") && opaque("/CA") && opaque("/ca") &&
           (blend.isNull() || blend.isNameAndEquals("/Normal") || blend.isNameAndEquals("/Compatible")) &&
           (mask.isNull() || mask.isNameAndEquals("/None")) && (shape.isNull() || (shape.isBool() && !shape.getBoolValue()));
}

bool isUprightBox(std::vector<QPointF> points)
{
    constexpr double kSame = 1e-6;
    if (points.size() == 5 && QLineF(points.front(), points.back()).length() < kSame)
        points.pop_back();
    if (points.size() != 4)
        return false;
    for (size_t i = 0; i < 4; ++i) {
        const QPointF& a = points[i];
        const QPointF& b = points[(i + 1) % 4];
        if ((std::abs(a.x() - b.x()) < kSame) == (std::abs(a.y() - b.y()) < kSame))
            return false;
    }
    return true;
}

std::vector<Piece> shiftedPieces(const std::vector<Piece>& pieces, double size, double scale, bool close)
{
    std::vector<Piece> out;
    double current = 0;
    const auto shiftTo = [&](double wanted) {
        if (std::abs(wanted - current) < kNoShift)
            return;
        Piece step;
        step.raw = contentNumber(-(wanted - current) * 1000.0 / (size * scale), 4);
        out.push_back(std::move(step));
        current = wanted;
    };
    for (const Piece& piece : pieces) {
        if (piece.glyph && !piece.removed)
            shiftTo(piece.shift);
        out.push_back(piece);
    }
    if (close)
        shiftTo(0);
    return out;
}


bool ContentWalk::walk(std::vector<StreamWork*> streams, QPDFObjectHandle resources, const QTransform& ctm, int depth)
{
    // A form runs inside its own saved state, as if between q and Q.
    const std::vector<StreamWork*> outerStreams = m_streams;
    const GraphicsState outerState = m_state;
    const std::vector<GraphicsState> outerSaved = m_saved;
    const QTransform outerText = m_textMatrix, outerLine = m_lineMatrix;
    const std::string outerSteps = m_lineSteps;
    const std::vector<bool> outerMarks = m_marks, outerInPlace = m_inPlaceMarks, outerMoved = m_movedMarks;
    const int outerInPlaceDepth = m_inPlaceDepth;
    const int outerOwn = m_ownDepth;
    const int outerDepth = m_depth;
    TextObjectReplay outerReplay = std::exchange(m_replay, TextObjectReplay());
    m_depth = depth;
    m_streams = streams;
    m_state.ctm = ctm;
    m_saved.clear();
    std::vector<TokenRef> operands;
    int nesting = 0;
    bool ok = true;
    for (size_t s = 0; s < m_streams.size() && ok; ++s) {
        const std::vector<Token>& tokens = m_streams[s]->tokens;
        for (size_t i = 0; i < tokens.size() && ok; ++i) {
            const Token& t = tokens[i];
            switch (t.type) {
            case QPDFTokenizer::tt_inline_image:
                if (m_ownDepth == 0)
                    paintCover({m_state.ctm.mapRect(QRectF(0, 0, 1, 1))});  // a picture fills the unit square
                continue;
            case QPDFTokenizer::tt_space:
            case QPDFTokenizer::tt_comment:
                continue;
            case QPDFTokenizer::tt_array_open:
            case QPDFTokenizer::tt_dict_open:
                ++nesting;
                operands.push_back({s, i});
                continue;
            case QPDFTokenizer::tt_array_close:
            case QPDFTokenizer::tt_dict_close:
                nesting = std::max(0, nesting - 1);
                operands.push_back({s, i});
                continue;
            case QPDFTokenizer::tt_word:
                if (nesting == 0) {
                    ok = run(t.value, operands, {s, i}, resources, depth);
                    operands.clear();
                    continue;
                }
                [[fallthrough]];
            default:
                operands.push_back({s, i});
            }
        }
    }
    m_replay.finish(*m_target, moveTranslations());  // a text object the content never ended
    m_replay = std::move(outerReplay);
    m_lastOpenSaves = m_saved.size();
    m_streams = outerStreams;
    m_state = outerState;
    m_saved = outerSaved;
    m_textMatrix = outerText;
    m_lineMatrix = outerLine;
    m_lineSteps = outerSteps;
    m_marks = outerMarks;
    m_inPlaceMarks = outerInPlace;
    m_movedMarks = outerMoved;
    m_inPlaceDepth = outerInPlaceDepth;
    m_ownDepth = outerOwn;
    m_depth = outerDepth;
    m_path.reset();
    return ok;
}

bool ContentWalk::run(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef,
                      QPDFObjectHandle resources, int depth)
{
    if (m_replay.open()) {
        static const std::set<std::string> kPositions{"Td", "TD", "Tm", "T*"};
        static const std::set<std::string> kState{"Tf", "Tc", "Tw", "Tz", "TL", "Ts", "Tr", "cm", "g", "rg", "k",
                                                  "cs", "sc", "scn", "G", "RG", "K", "CS", "SC", "SCN", "w",
                                                  "J", "j", "M", "d", "ri", "i", "gs"};
        if (kPositions.count(op) || kState.count(op))
            m_replay.addOperator(rawOf(operands, opRef), kPositions.count(op) > 0);
    }
    auto num = [&](size_t k) { return k < operands.size() ? numberOf(token(operands[k])) : 0.0; };
    const bool numeric = std::all_of(operands.begin(), operands.end(), [&](TokenRef r) { return isNumber(token(r)); });
    if (!m_typed.empty() && depth == 0)
        noteOwnSpan(op, operands, opRef);
    // Words typed in place before set the state they were first drawn in.
    if (op == "gs" && m_inPlaceDepth == 0 && !m_typed.empty())
        m_state.styled |= operands.size() != 1 || !drawsTextAsBefore(resources, token(operands[0]).value);
    TextState& text = m_state.text;
    auto moveLine = [&](double tx, double ty) {
        m_lineMatrix = QTransform::fromTranslate(tx, ty) * m_lineMatrix;
        m_textMatrix = m_lineMatrix;
        m_readerLag = 0;
    };
    if (op == "q") {
        if (m_saved.size() < kMaxStateDepth)
            m_saved.push_back(m_state);
    } else if (op == "Q") {
        if (!m_saved.empty()) {
            m_state = m_saved.back();
            m_saved.pop_back();
        }
    } else if (op == "cm" && operands.size() == 6 && numeric) {
        m_state.ctm = QTransform(num(0), num(1), num(2), num(3), num(4), num(5)) * m_state.ctm;
    } else if (op == "BT") {
        m_marksAtText = m_marks.size();
        m_textMatrix = m_lineMatrix = QTransform();
        m_lineSteps.clear();
        m_readerLag = 0;
        m_positionKnown = true;
        m_replay.finish(*m_target, moveTranslations());  // an object left open ends here
        if (!m_moves.empty() && !m_invisible)
            m_replay.begin(m_state.paint.text(), m_state.ctm, textStateText());
    } else if (op == "ET") {
        // A form drawn inside the object has a replay of its own.
        m_replay.finish(*m_target, moveTranslations());
    } else if (op == "Tf" && operands.size() == 2 && token(operands[0]).type == QPDFTokenizer::tt_name) {
        text.size = num(1);
        text.font = fontNamed(token(operands[0]).value, resources);
        text.fontSetter = -1;
        text.fontName = rawOf({}, operands[0]);
        if (operands[0].stream == opRef.stream) {
            StreamWork* work = m_streams[opRef.stream];
            text.fontSetter = int(m_fontSetters.size());
            m_fontSetters.push_back({work, work->tokens[operands[0].index].start, work->tokens[opRef.index].end, 0, 0,
                                     text.fontName, depth == 0});
        }
    } else if (op == "Tc" && operands.size() == 1 && numeric) {
        text.charSpacing = num(0);
    } else if (op == "Tw" && operands.size() == 1 && numeric) {
        text.wordSpacing = num(0);
    } else if (op == "Tz" && operands.size() == 1 && numeric) {
        text.scale = num(0) / 100.0;
    } else if (op == "TL" && operands.size() == 1 && numeric) {
        text.leading = num(0);
    } else if (op == "Ts" && operands.size() == 1 && numeric) {
        text.rise = num(0);
    } else if (op == "Tr" && operands.size() == 1 && numeric) {
        text.renderMode = int(num(0));
    } else if (op == "Td" && operands.size() == 2 && numeric) {
        moveLine(num(0), num(1));
        m_lineSteps += rawOf(operands, opRef) + ' ';
        m_positionKnown = true;
    } else if (op == "TD" && operands.size() == 2 && numeric) {
        text.leading = -num(1);
        moveLine(num(0), num(1));
        const std::string step = rawOf(operands, opRef);  // again as a Td: the leading set since stays
        m_lineSteps += step.substr(0, step.size() - 2) + "Td ";
        m_positionKnown = true;
    } else if (op == "Tm" && operands.size() == 6 && numeric) {
        m_lineMatrix = m_textMatrix = QTransform(num(0), num(1), num(2), num(3), num(4), num(5));
        m_lineSteps = rawOf(operands, opRef) + ' ';
        m_readerLag = 0;
        m_positionKnown = true;
    } else if (op == "T*") {
        moveLine(0, -text.leading);
        m_lineSteps += nextLineStep();
        m_positionKnown = true;
    } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
        return showText(op, operands, opRef);
    } else if (op == "BMC" || op == "BDC") {
        const bool named = !operands.empty() && token(operands[0]).type == QPDFTokenizer::tt_name;
        const bool own = named && token(operands[0]).value == kOwnTag && m_inPlaceDepth == 0;
        const bool inPlace = named && token(operands[0]).value == '/' + std::string(kTypedInPlaceTag);
        m_movedMarks.push_back(named && token(operands[0]).value == '/' + std::string(kMovedContentTag));
        m_marks.push_back(own);
        m_inPlaceMarks.push_back(inPlace);
        m_ownDepth += own;
        m_inPlaceDepth += inPlace;
    } else if (op == "EMC") {
        if (!m_marks.empty()) {
            m_ownDepth -= m_marks.back();
            m_marks.pop_back();
        }
        if (!m_inPlaceMarks.empty()) {
            m_inPlaceDepth -= m_inPlaceMarks.back();
            m_inPlaceMarks.pop_back();
        }
        if (!m_movedMarks.empty())
            m_movedMarks.pop_back();
    } else if (op == "Do" && operands.size() == 1 && token(operands[0]).type == QPDFTokenizer::tt_name) {
        return drawForm(token(operands[0]).value, resources, depth);
    } else {
        static const std::set<std::string> kPainting{"S", "s", "f", "F", "f*", "B", "B*", "b", "b*", "n"};
        if (kPainting.count(op))
            return finishPath(op, opRef);
        if (op == "w" && operands.size() == 1 && numeric)
            m_state.lineWidth = std::abs(num(0));
        trackPath(op, operands, opRef);
        m_state.paint.take(op, rawOf(operands, opRef));
    }
    return true;
}

std::string ContentWalk::rawOf(const std::vector<TokenRef>& operands, TokenRef opRef) const
{
    const auto text = [this](TokenRef ref) {
        const StreamWork* work = m_streams[ref.stream];
        const Token& t = work->tokens[ref.index];
        return work->data.substr(t.start, t.end - t.start);
    };
    std::string raw;
    for (TokenRef operand : operands)
        raw += text(operand) + ' ';
    return raw + text(opRef);
}

void ContentWalk::trackPath(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef)
{
    static const std::map<std::string, size_t> kPoints{{"m", 2}, {"l", 2}, {"c", 6}, {"v", 4}, {"y", 4}, {"re", 4}, {"h", 0}};
    if (op == "W" || op == "W*") {
        if (m_path)
            m_path->clip = m_path->clips = true;
        return;
    }
    const auto points = kPoints.find(op);
    if (points == kPoints.end())
        return;
    if (!m_path)
        m_path = PathWork{operands.empty() ? opRef : operands.front()};
    if (operands.size() != points->second ||
        !std::all_of(operands.begin(), operands.end(), [&](TokenRef r) { return isNumber(token(r)); })) {
        m_path->clip = true;  // a path that cannot be measured is left alone
        return;
    }
    const QTransform& ctm = m_state.ctm;
    const bool upright = (ctm.m12() == 0 && ctm.m21() == 0) || (ctm.m11() == 0 && ctm.m22() == 0);
    m_path->box = m_path->ops++ == 0 && op == "re" && upright;
    std::vector<QPointF> corners;
    const auto num = [&](size_t k) { return numberOf(token(operands[k])); };
    if (op == "re") {
        for (const double dx : {0.0, 1.0})
            for (const double dy : {0.0, 1.0})
                corners.emplace_back(num(0) + dx * num(2), num(1) + dy * num(3));
    } else {
        for (size_t k = 0; k + 1 < operands.size(); k += 2)
            corners.emplace_back(num(k), num(k + 1));
    }
    std::vector<QPointF> mapped;
    for (const QPointF& corner : corners)
        mapped.push_back(m_state.ctm.map(corner));
    m_path->pieces.add(op, mapped);
    if ((op == "m" && m_path->ops == 1) || op == "l")
        m_path->outline.push_back(mapped.front());
    else if (op != "h")
        m_path->straight = false;
    for (const QPointF& corner : corners) {
        const QPointF p = m_state.ctm.map(corner);
        PathWork& path = *m_path;
        path.left = path.any ? std::min(path.left, p.x()) : p.x();
        path.right = path.any ? std::max(path.right, p.x()) : p.x();
        path.bottom = path.any ? std::min(path.bottom, p.y()) : p.y();
        path.top = path.any ? std::max(path.top, p.y()) : p.y();
        path.any = true;
    }
}

// What a path paints: each subpath's box where it fills, each segment's
// box as wide as the line where it strokes.
void ContentWalk::notePainted(const PathWork& path, const std::string& op)
{
    static const std::set<std::string> kFills{"f", "F", "f*", "B", "B*", "b", "b*"};
    static const std::set<std::string> kStrokes{"S", "s", "B", "B*", "b", "b*"};
    const double width = std::max(m_state.lineWidth * std::sqrt(std::abs(m_state.ctm.determinant())), kThinnestLine);
    paintCover(path.pieces.painted(kFills.count(op) > 0, kStrokes.count(op) > 0, width));
}

// A path wholly inside an area is part of what stood there when drawn after
// a glyph of it (TeX's rule of an underscore, an underline): it goes with
// it, or moves with it. One that clips, or the program's own, stays; what
// else it paints may cover glyphs lifted before it.
bool ContentWalk::finishPath(const std::string& op, TokenRef opRef)
{
    const std::optional<PathWork> path = std::exchange(m_path, std::nullopt);
    if (path && path->clip) {
        // A box clips nothing inside it; any other clip may clip anything.
        const QRectF box(QPointF(path->left, path->bottom), QPointF(path->right, path->top));
        if (path->clips && (path->box || (path->straight && isUprightBox(path->outline))) && path->any)
            m_state.clip = m_state.clip ? m_state.clip->intersected(box) : box;
        else
            m_state.styled = true;
    }
    if (m_ownDepth > 0)
        m_ownPaints = true;
    if (!path || !path->any || op == "n" || m_invisible || m_ownDepth > 0)
        return true;
    const std::vector<QPointF> corners{{path->left, path->bottom}, {path->right, path->bottom},
                                       {path->left, path->top}, {path->right, path->top}};
    const auto within = [&](const QPolygonF& area) {
        return std::all_of(corners.begin(), corners.end(),
                           [&](const QPointF& c) { return area.containsPoint(c, Qt::OddEvenFill); });
    };
    const auto takenWithin = [&](const std::vector<QPolygonF>& areas, const std::vector<char>& taken) {
        for (size_t i = 0; i < areas.size(); ++i)
            if (taken[i] && within(areas[i]))
                return true;
        return false;
    };
    const GlyphMove* move = nullptr;
    for (size_t m = 0; m < m_moves.size() && !move; ++m)
        if (m_moveTaken[m] && within(m_moves[m].area))
            move = &m_moves[m];
    if (path->clip || path->first.stream != opRef.stream ||
        (!move && !takenWithin(m_areas, m_areaTaken) && !takenWithin(m_ruleAreas, m_ruleTaken))) {
        notePainted(*path, op);
        return true;
    }
    StreamWork* stream = m_streams[opRef.stream];
    const size_t start = stream->tokens[path->first.index].start, end = stream->tokens[opRef.index].end;
    // With glyphs moved where they are drawn, the path moves where it is drawn too.
    const QTransform linear(m_state.ctm.m11(), m_state.ctm.m12(), m_state.ctm.m21(), m_state.ctm.m22(), 0, 0);
    if (move && m_moveShifted[size_t(move - m_moves.data())] && linear.isInvertible()) {
        const QPointF by = linear.inverted().map(move->by);
        stream->splices.push_back({start, end,
                                   "q 1 0 0 1 " + contentNumber(by.x(), 6) + ' ' + contentNumber(by.y(), 6) + " cm " +
                                       stream->data.substr(start, end - start) + " Q"});
        return true;
    }
    if (move)
        m_target->add(m_state.paint.text(), m_state.ctm * QTransform::fromTranslate(move->by.x(), move->by.y()),
                      stream->data.substr(start, end - start));
    stream->splices.push_back({start, end, std::string()});
    ++removed;
    return true;
}

// Each move's glyphs of one text-showing operator drawn again as a TJ of
// their own: their bytes and the kerning between them as written (glyphs of
// the operator the move leaves become the room they took), in the text state
// they were shown in, from the text matrix of the first, under the page's
// matrix moved. A reader places them as it placed the source, rounding and all.
bool ContentWalk::copyMovedRuns(const std::vector<Piece>& pieces)
{
    std::vector<const GlyphMove*> moves;
    for (const Piece& piece : pieces)
        if (piece.move && std::find(moves.begin(), moves.end(), piece.move) == moves.end())
            moves.push_back(piece.move);
    const TextState& text = m_state.text;
    if (!moves.empty() && text.fontName.empty()) {
        error = QStringLiteral("шрифт текста не найден");
        return false;
    }
    if (text.size == 0)
        return true;  // draws nothing
    for (const GlyphMove* move : moves) {
        const auto takes = [move](const Piece& p) { return p.glyph && p.move == move; };
        const auto first = std::find_if(pieces.begin(), pieces.end(), takes);
        const std::vector<Piece> shown(first, std::find_if(pieces.rbegin(), pieces.rend(), takes).base());
        const int glyphs = int(std::count_if(shown.begin(), shown.end(), takes));
        const std::string operators = "BT " + textStateText() + ' ' + contentMatrix(first->at) + " Tm " +
                                      showingArray(shown, [move](const Piece& p) { return p.move == move; }) + " ET";
        m_target->add(m_state.paint.text(), m_state.ctm * QTransform::fromTranslate(move->by.x(), move->by.y()),
                      operators, glyphs);
    }
    return true;
}

void ContentWalk::noteTaken(const QPointF& centre, const GlyphMove* move)
{
    if (move) {
        m_moveTaken[size_t(move - m_moves.data())] = 1;
        return;
    }
    for (size_t i = 0; i < m_areas.size(); ++i)
        m_areaTaken[i] |= char(m_areas[i].containsPoint(centre, Qt::OddEvenFill));
    for (size_t i = 0; i < m_ruleAreas.size(); ++i)
        m_ruleTaken[i] |= char(m_ruleAreas[i].containsPoint(centre, Qt::OddEvenFill));
}

// The box of the glyph about to be shown, on the page: as wide as its
// advance, as high as a lower-case letter, about its middle.
QRectF ContentWalk::glyphBox(const PdfFontMetrics& font, unsigned code, double advance) const
{
    const TextState& text = m_state.text;
    const double size = std::abs(text.size);
    const QPointF middle = font.centre(code);
    const QPointF centre(middle.x() * text.size * text.scale, middle.y() * text.size + text.rise);
    const double halfWidth = std::max(std::abs(advance * size * text.scale), kLeastGlyphWidth * size) / 2;
    const double halfHeight = font.centreRise() * size;
    const QRectF box(centre.x() - halfWidth, centre.y() - halfHeight, 2 * halfWidth, 2 * halfHeight);
    return (m_textMatrix * m_state.ctm).mapRect(box);
}

const GlyphMove* ContentWalk::moveAt(const QPointF& point) const
{
    for (const GlyphMove& move : m_moves)
        if (move.glyphs.empty() && move.area.containsPoint(point, Qt::OddEvenFill))
            return &move;
    return nullptr;
}

bool ContentWalk::inAnArea(const QPointF& point) const
{
    return moveAt(point) || std::any_of(m_areas.begin(), m_areas.end(), [&](const QPolygonF& a) {
               return a.containsPoint(point, Qt::OddEvenFill);
           });
}

bool ContentWalk::shiftsInPlace(const GlyphMove& move, const QTransform& trm, double* shift) const
{
    const TextState& text = m_state.text;
    if (move.glyphs.empty() || m_invisible || text.size == 0 || text.scale == 0 || text.renderMode >= 4)
        return false;
    const QTransform linear(trm.m11(), trm.m12(), trm.m21(), trm.m22(), 0, 0);
    bool invertible = false;
    const QTransform toText = linear.inverted(&invertible);
    if (!invertible)
        return false;
    const double along = toText.map(move.by).x();
    const QPointF back = linear.map(QPointF(along, 0));
    if (std::abs(back.x() - move.by.x()) > kAlongTheLine || std::abs(back.y() - move.by.y()) > kAlongTheLine)
        return false;
    *shift = along;
    return true;
}

int ContentWalk::spotFate(const PdfFontMetrics* font, const std::string& code, const QPointF& origin, double size,
                          double within)
{
    if (m_spots.empty())
        return kGlyphStays;
    for (auto it = m_recent.rbegin(); it != m_recent.rend(); ++it)
        if (it->font == font && it->code == code && std::abs(it->origin.x() - origin.x()) < it->within &&
            std::abs(it->origin.y() - origin.y()) < it->within)
            return it->fate;  // read as that glyph: it shares its fate
    const int spot = m_spots.next(origin, size);
    const int fate = spot < 0 ? kGlyphStays : m_spotFates[size_t(spot)];
    if (m_recent.size() == kRecentGlyphs)
        m_recent.erase(m_recent.begin());
    m_recent.push_back({font, code, origin, within, fate});
    return fate;
}

const PdfFontMetrics* ContentWalk::fontNamed(const std::string& name, QPDFObjectHandle resources)
{
    QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle::newNull();
    QPDFObjectHandle font = fonts.isDictionary() ? fonts.getKey(name) : QPDFObjectHandle::newNull();
    if (!font.isDictionary())
        return nullptr;
    const QPDFObjGen key = font.getObjGen();
    if (key.getObj() == 0) {  // a direct font: read each time, kept while states may point at it
        m_directFonts.push_back(std::make_unique<PdfFontMetrics>(PdfFontMetrics::read(font, m_widths)));
        return m_directFonts.back().get();
    }
    auto known = m_fonts.find(key);
    if (known == m_fonts.end())
        known = m_fonts.emplace(key, std::make_unique<PdfFontMetrics>(PdfFontMetrics::read(font, m_widths))).first;
    return known->second.get();
}

bool ContentWalk::nearAnArea(double extent) const
{
    const QTransform trm = m_textMatrix * m_state.ctm;
    const QPointF origin = trm.map(QPointF(0, 0));
    const double size = std::max(1.0, std::abs(m_state.text.size) * std::hypot(trm.m21(), trm.m22()));
    const QRectF band(origin.x() - extent, origin.y() - size, 2 * extent, 2 * size);
    return m_spots.anyIn(band) ||
           std::any_of(m_areas.begin(), m_areas.end(), [&](const QPolygonF& a) { return a.boundingRect().intersects(band); }) ||
           std::any_of(m_moves.begin(), m_moves.end(),
                       [&](const GlyphMove& m) { return m.area.boundingRect().intersects(band); });
}

// Whether a text-showing operator's advance is used by the next one: another
// Tj or TJ before anything sets the position again.
bool ContentWalk::advanceMatters(TokenRef after) const
{
    for (size_t s = after.stream; s < m_streams.size(); ++s) {
        const std::vector<Token>& tokens = m_streams[s]->tokens;
        for (size_t i = s == after.stream ? after.index + 1 : 0; i < tokens.size(); ++i) {
            if (tokens[i].type != QPDFTokenizer::tt_word)
                continue;
            const std::string& word = tokens[i].value;
            if (word == "Tj" || word == "TJ")
                return true;
            if (word == "Td" || word == "TD" || word == "Tm" || word == "T*" || word == "'" || word == "\"" ||
                word == "ET" || word == "BT")
                return false;
        }
    }
    return false;
}

}  // namespace pdfengine::contentwalk
