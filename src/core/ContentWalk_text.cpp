// The content walk's text: showing operators split, shifted or emptied
// glyph by glyph, typed words put in place, and forms drawn.
#include "ContentWalk.h"

#include "PageOwnContent.h"
#include "QpdfFile.h"

#include <qpdf/QPDFTokenizer.hh>

#include <QLineF>

#include <algorithm>
#include <cmath>
#include <exception>

namespace pdfengine::contentwalk {

bool ContentWalk::showText(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef)
{
    TextState& text = m_state.text;
    std::vector<TokenRef> elements;  // strings and numbers in drawing order
    if (op == "TJ") {
        for (TokenRef r : operands) {
            const TokenType type = token(r).type;
            if (type == QPDFTokenizer::tt_string || isNumber(token(r)))
                elements.push_back(r);
        }
    } else if (!operands.empty() && token(operands.back()).type == QPDFTokenizer::tt_string) {
        elements.push_back(operands.back());
    }
    if (op == "'" || op == "\"") {
        if (op == "\"" && operands.size() == 3) {
            text.wordSpacing = numberOf(token(operands[0]));
            text.charSpacing = numberOf(token(operands[1]));
        }
        m_lineMatrix = QTransform::fromTranslate(0, -text.leading) * m_lineMatrix;
        m_textMatrix = m_lineMatrix;
        m_lineSteps += nextLineStep();
        m_readerLag = 0;
        m_positionKnown = true;
    }
    const bool own = m_ownDepth > 0;
    const PdfFontMetrics* font = text.font;
    const bool hidden = m_invisible && text.renderMode == 3 && !own;
    if (hidden && !advanceMatters(opRef) && op != "'" && op != "\"") {
        // Every glyph goes and nothing after uses the advance: no widths needed.
        for (TokenRef r : elements)
            removed += int(token(r).type == QPDFTokenizer::tt_string ? token(r).value.size() : 0);
        spliceOperator(operands.empty() ? opRef : operands.front(), opRef, std::string());
        m_positionKnown = false;  // the advance is not followed: nothing after depends on it
        noteShown(true);
        return true;
    }
    if (!font || !font->problem().isEmpty() || !m_positionKnown) {
        // Unplaceable glyphs: an edit near them cannot be made exactly.
        if ((!own && !m_invisible && nearAnArea(1e6)) || hidden) {
            error = !font ? QStringLiteral("шрифт текста не найден")
                          : !font->problem().isEmpty() ? font->problem()
                                                       : QStringLiteral("положение текста неизвестно");
            return false;
        }
        m_positionKnown = false;
        noteShown(false);
        return true;
    }
    const double size = text.size;
    std::vector<Piece> pieces;
    bool anyRemoved = false, anyKept = false;
    int shiftedHere = 0;
    int anchor = -1, anchorPlace = -1;  // the piece a typed place names
    for (TokenRef r : elements) {
        const Token& t = token(r);
        if (isNumber(t)) {
            const double n = numberOf(t);
            pieces.push_back({false, false, std::string(), std::string(t.value), n, nullptr, m_textMatrix});
            m_textMatrix = QTransform::fromTranslate(-n / 1000.0 * size * text.scale, 0) * m_textMatrix;
            continue;
        }
        const int bytes = font->codeBytes();
        if (t.value.size() % size_t(bytes) != 0 && !own) {
            error = QStringLiteral("строка текста обрывается посреди знака");
            return false;
        }
        for (size_t k = 0; k + size_t(bytes) <= t.value.size(); k += size_t(bytes)) {
            unsigned code = 0;
            for (int b = 0; b < bytes; ++b)
                code = (code << 8) | static_cast<unsigned char>(t.value[k + size_t(b)]);
            const double w = font->advance(code);
            const double spacing = text.charSpacing + (bytes == 1 && code == 32 ? text.wordSpacing : 0);
            const QTransform trm = m_textMatrix * m_state.ctm;
            const QPointF middle = font->centre(code);
            const QPointF centre = trm.map(QPointF(middle.x() * size * text.scale, middle.y() * size + text.rise));
            const std::string glyphCode = t.value.substr(k, size_t(bytes));
            const int fate = m_invisible ? kGlyphStays
                                         : spotFate(font, glyphCode, trm.map(QPointF(m_readerLag, text.rise)),
                                                    size * std::hypot(trm.m21(), trm.m22()),
                                                    kDrawnAgainShare * std::abs(size) * std::hypot(trm.m11(), trm.m12()));
            // The program's own text is left alone, but goes with a move.
            const GlyphMove* move = m_invisible || hidden ? nullptr : fate >= 0 ? &m_moves[size_t(fate)] : moveAt(centre);
            const bool inArea =
                hidden || (!m_invisible && (own ? move != nullptr : move || fate == kGlyphGoes || inAnArea(centre)));
            double shift = 0;
            const bool inPlace = move && !own && shiftsInPlace(*move, trm, &shift);
            if (!m_invisible && !own) {
                if (inArea)
                    noteTaken(centre, move);
                // A glyph drawn again elsewhere must lie under nothing drawn
                // after it; one that stays may itself lie over such a glyph.
                // One moved where it is drawn must lie under no picture or
                // path drawn after it there (text set close is the line's).
                if (inPlace)
                    shiftCovers.lift(glyphBox(*font, code, w).translated(move->by));
                else if (move)
                    covers.lift(glyphBox(*font, code, w));
                else if (!inArea && text.renderMode != 3 && text.renderMode != 7)
                    covers.paint({glyphBox(*font, code, w)});
                if (inPlace)
                    m_moveShifted[size_t(move - m_moves.data())] = 1;
                else if (move && !move->glyphs.empty())
                    m_wordsCopied = true;
            }
            if (anchor < 0 && !m_typed.empty() && !own) {
                anchorPlace = typedPlaceAt(m_typed, trm.map(QPointF(m_readerLag, text.rise)),
                                           size * std::hypot(trm.m21(), trm.m22()));
                if (anchorPlace >= 0)
                    anchor = int(pieces.size()) + int(m_typed[size_t(anchorPlace)].after);
            }
            Piece piece{true, inArea && !inPlace, glyphCode, std::string(), 0, inPlace ? nullptr : move, m_textMatrix,
                        shift};
            if (size != 0)
                piece.displacement = -1000.0 * (w * size + spacing) / size;
            else if (spacing != 0 && inArea) {
                error = QStringLiteral("текст нулевого размера");
                return false;
            }
            m_textMatrix = QTransform::fromTranslate((w * size + spacing) * text.scale, 0) * m_textMatrix;
            m_readerLag += (font->readerAdvance(code) - w) * size * text.scale;
            anyRemoved |= inArea && !inPlace;
            anyKept |= !inArea || inPlace;
            shiftedHere += inPlace;
            pieces.push_back(std::move(piece));
        }
    }
    noteShown(anyRemoved && !anyKept);
    if (m_replay.open())
        replayShow(op, operands, pieces);
    if (!anyRemoved && shiftedHere == 0) {
        // Typed words only added after a glyph of it split it all the same.
        if (anchor >= 0 && !operands.empty()) {
            spliceOperator(operands.front(), opRef, rawOf(operands, opRef));
            splitForTyped(op, operands, operands.front(), opRef, pieces, size_t(anchor), anchorPlace);
        }
        return true;
    }
    if (!m_replay.open() && !copyMovedRuns(pieces))
        return false;
    const TokenRef first = operands.empty() ? opRef : operands.front();
    // The replacement: what the operator did besides showing, then the kept
    // glyphs with the removed ones turned into displacements.
    // Glyphs moved along the line are shifted by kerning around them.
    std::string with = lineStepOf(op, operands);
    const bool advanceUsed = advanceMatters(opRef);
    if (anyKept || advanceUsed)
        with += (with.empty() ? "" : " ") + showingArray(shiftedPieces(pieces, size, text.scale, advanceUsed),
                                                         [](const Piece& p) { return !p.removed; });
    for (const Piece& p : pieces)
        removed += p.removed;
    removed += shiftedHere;  // gone from where they stood
    shifted += shiftedHere;
    spliceOperator(first, opRef, with);
    if (anchor >= 0)
        splitForTyped(op, operands, first, opRef, pieces, size_t(anchor), anchorPlace);
    return true;
}

bool ContentWalk::splitForTyped(const std::string& op, const std::vector<TokenRef>& operands, TokenRef first,
                                TokenRef opRef, const std::vector<Piece>& pieces, size_t anchor, int place)
{
    const TextState& text = m_state.text;
    // Not inside a form, a marked section begun in the object, a clip the
    // glyphs build, or a state the typed words were not drawn in.
    // Nor inside a copy of words moved before: it replays its whole text object.
    if (m_depth > 0 || m_ownDepth > 0 || m_marks.size() != m_marksAtText || text.renderMode >= 4 ||
        m_state.styled || !clipLeaves(m_typed[size_t(place)]) || first.stream != opRef.stream ||
        std::find(m_movedMarks.begin(), m_movedMarks.end(), true) != m_movedMarks.end())
        return false;
    const QTransform at = anchor < pieces.size() ? pieces[anchor].at : m_textMatrix;
    if (!resumedTextObject(m_lineSteps, m_lineMatrix, at, text.size, text.scale, std::string()))
        return false;
    const auto shows = [](const Piece& p) { return !p.removed; };
    // The object begun again stands where the anchor stood: no shift in force.
    const bool advanceUsed = advanceMatters(opRef);
    const std::vector<Piece> head = shiftedPieces(
        std::vector<Piece>(pieces.begin(), pieces.begin() + std::ptrdiff_t(anchor)), text.size, text.scale, false);
    const std::vector<Piece> tail = shiftedPieces(
        std::vector<Piece>(pieces.begin() + std::ptrdiff_t(anchor), pieces.end()), text.size, text.scale, advanceUsed);
    TypedSplit split;
    split.work = m_streams[opRef.stream];
    split.splice = split.work->splices.size() - 1;
    const std::string step = lineStepOf(op, operands);
    split.before = step + (head.empty() ? std::string() : (step.empty() ? "" : " ") + showingArray(head, shows));
    split.lineMatrix = m_lineMatrix;
    split.lineSteps = m_lineSteps;
    split.at = at;
    split.size = text.size;
    split.scale = text.scale;
    const bool tailShows = std::any_of(tail.begin(), tail.end(), [](const Piece& p) { return p.glyph && !p.removed; });
    split.after = tailShows || advanceUsed ? showingArray(tail, shows) : std::string();
    split.fontSetter = text.fontSetter;
    split.ctm = m_state.ctm;
    split.place = place;
    m_splits.push_back(std::move(split));
    return true;
}

bool ContentWalk::clipLeaves(const TypedPlace& place) const
{
    if (!m_state.clip)
        return true;
    // As far from the line as its letters reach, and more.
    const double reach = kTypedReach * std::max(std::abs(place.anchor.size), 1.0);
    const QRectF line = QRectF(place.from, place.to).normalized().adjusted(-reach, -reach, reach, reach);
    return m_state.clip->contains(line);
}

// The program's own marked sections of the page's content, each with the
// typed place its first text matrix stands on.
void ContentWalk::noteOwnSpan(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef)
{
    if (op == "gs") {
        m_lastState = {opRef.stream, rawOf(operands, opRef)};
    }
    const bool own = (op == "BMC" || op == "BDC") && !operands.empty() &&
                     token(operands[0]).type == QPDFTokenizer::tt_name && token(operands[0]).value == kOwnTag;
    if (own && m_ownDepth == 0 && operands[0].stream == opRef.stream) {
        OwnSpan span;
        span.work = m_streams[opRef.stream];
        span.start = token(operands[0]).start;
        if (m_lastState.first == opRef.stream)
            span.state = m_lastState.second;
        m_span = span;
    } else if (op == "Tm" && m_span && !m_span->placed && operands.size() == 6) {
        m_span->placed = true;
        const QPointF origin = m_state.ctm.map(QPointF(numberOf(token(operands[4])), numberOf(token(operands[5]))));
        m_span->place = typedPlaceAlong(m_typed, origin);
    } else if (op == "EMC" && m_span && m_ownDepth == 1) {
        if (m_span->place >= 0 && m_span->work == m_streams[opRef.stream]) {
            m_span->end = token(opRef).end;
            m_spans.push_back(*m_span);
        }
        m_span.reset();
    }
}

void ContentWalk::placeTypedWords()
{
    // Words of a line drawn again after the page's content keep the typed words with them.
    if (m_ownPaints || m_wordsCopied)
        return;
    for (TypedSplit& split : m_splits) {
        // The step along the line is shown in the font in force; where its
        // Tf goes with all its text, in a font the page's kept text is
        // shown in, at the size in force: a step depends on nothing else.
        const bool deadFont = split.fontSetter >= 0 && size_t(split.fontSetter) < m_fontSetters.size() &&
                              m_fontSetters[size_t(split.fontSetter)].removed > 0 &&
                              m_fontSetters[size_t(split.fontSetter)].kept == 0;
        std::string stepFont;
        if (deadFont) {
            const auto live = std::find_if(m_fontSetters.begin(), m_fontSetters.end(), [](const FontSetter& setter) {
                return setter.page && setter.kept > 0 && !setter.name.empty();
            });
            if (live == m_fontSetters.end())
                continue;
            stepFont = live->name + ' ' + contentNumber(split.size, 6) + " Tf";
        }
        const std::optional<std::string> resume =
            resumedTextObject(split.lineSteps, split.lineMatrix, split.at, split.size, split.scale, stepFont);
        if (!resume)
            continue;
        std::string typed;
        std::vector<const OwnSpan*> taken;
        for (const OwnSpan& span : m_spans) {
            if (span.place != split.place)
                continue;
            const std::optional<std::string> drawn =
                typedSpanAt(split.ctm, span.state, span.work->data.substr(span.start, span.end - span.start));
            if (!drawn) {
                taken.clear();
                break;
            }
            typed += ' ' + *drawn;
            taken.push_back(&span);
        }
        if (taken.empty())
            continue;
        // The operator may follow the one before it with no blank ("Td[").
        split.work->splices[split.splice].with = ' ' + (split.before.empty() ? std::string() : split.before + ' ') +
                                                 "ET" + typed + ' ' + *resume + ' ' + split.after;
        for (const OwnSpan* span : taken)
            span->work->splices.push_back({span->start, span->end, std::string()});
    }
}

void ContentWalk::spliceOperator(TokenRef first, TokenRef opRef, const std::string& with)
{
    for (size_t s = first.stream; s <= opRef.stream; ++s) {
        StreamWork* work = m_streams[s];
        const size_t start = s == first.stream ? work->tokens[first.index].start : 0;
        const size_t end = s == opRef.stream ? work->tokens[opRef.index].end : work->data.size();
        work->splices.push_back({start, end, s == opRef.stream ? with : std::string()});
    }
}

std::vector<QPointF> ContentWalk::moveTranslations() const
{
    std::vector<QPointF> by;
    for (const GlyphMove& move : m_moves)
        by.push_back(move.by);
    return by;
}

// What a ' or " does before it shows: its spacing and the step to the next line.
std::string ContentWalk::lineStepOf(const std::string& op, const std::vector<TokenRef>& operands) const
{
    if (op == "\"" && operands.size() == 3)
        return token(operands[0]).value + " Tw " + token(operands[1]).value + " Tc T*";
    return op == "'" || op == "\"" ? "T*" : std::string();
}

std::string ContentWalk::textStateText() const
{
    const TextState& text = m_state.text;
    std::string state = text.fontName.empty() ? std::string()
                                              : text.fontName + ' ' + contentNumber(text.size, 6) + " Tf ";
    return state + contentNumber(text.charSpacing, 6) + " Tc " + contentNumber(text.wordSpacing, 6) + " Tw " +
           contentNumber(text.scale * 100, 6) + " Tz " + contentNumber(text.leading, 6) + " TL " +
           contentNumber(text.rise, 6) + " Ts " + std::to_string(text.renderMode) + " Tr";
}

void ContentWalk::replayShow(const std::string& op, const std::vector<TokenRef>& operands,
                             const std::vector<Piece>& pieces)
{
    const std::string prefix = lineStepOf(op, operands);
    std::vector<TextObjectReplay::Piece> shown;
    shown.reserve(pieces.size());
    for (const Piece& piece : pieces)
        shown.push_back({piece.glyph, piece.move ? int(piece.move - m_moves.data()) : -1, piece.code, piece.raw,
                         piece.displacement});
    m_replay.addShow(prefix, std::move(shown));
}

void ContentWalk::noteShown(bool gone)
{
    const int setter = m_state.text.fontSetter;
    if (setter >= 0 && size_t(setter) < m_fontSetters.size())
        ++(gone ? m_fontSetters[size_t(setter)].removed : m_fontSetters[size_t(setter)].kept);
}

void ContentWalk::dropDeadFontSetters()
{
    for (const FontSetter& setter : m_fontSetters)
        if (setter.removed > 0 && setter.kept == 0)
            setter.work->splices.push_back({setter.start, setter.end, std::string()});
}

bool ContentWalk::drawForm(const std::string& name, QPDFObjectHandle resources, int depth)
{
    QPDFObjectHandle xobjects = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull();
    QPDFObjectHandle form = xobjects.isDictionary() ? xobjects.getKey(name) : QPDFObjectHandle::newNull();
    if (form.isStream() && form.getDict().getKey("/Subtype").isNameAndEquals("/Image") && m_ownDepth == 0)
        paintCover({m_state.ctm.mapRect(QRectF(0, 0, 1, 1))});  // an image fills the unit square
    if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
        return true;
    const QPDFObjGen key = form.getObjGen();
    if (depth >= kMaxFormDepth || m_formStack.count(key))
        return true;  // drawn by nothing that reads PDFs either
    FormUse& use = forms[key];
    ++use.uses;
    use.depth = depth + 1;
    use.name = name;
    if (!use.work) {
        use.work = std::make_unique<StreamWork>();
        use.work->stream = form;
        if (!readDecodedStream(form, size_t(ContentStreamEditor::kMaxStreamBytes), &use.work->data)) {
            error = QStringLiteral("форма слишком велика или не читается");
            return false;
        }
        QPDFObjectHandle own = form.getDict().getKey("/Resources");
        if (!tokenize(use.work->data, use.work->tokens, error, own.isDictionary() ? own : resources))
            return false;
    }
    QTransform matrix;
    QPDFObjectHandle m = form.getDict().getKey("/Matrix");
    if (m.isArray() && m.getArrayNItems() == 6) {
        double v[6];
        for (int i = 0; i < 6; ++i)
            v[i] = m.getArrayItem(i).isNumber() ? m.getArrayItem(i).getNumericValue() : (i == 0 || i == 3);
        matrix = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    }
    QPDFObjectHandle own = form.getDict().getKey("/Resources");
    const QTransform base = matrix * m_state.ctm;
    if (!use.copy)
        use.copy = std::make_unique<ContentCopy>(base.isInvertible() ? base.inverted() : QTransform());
    // What moves inside the form is drawn again at its end: nothing drawn
    // after the form covers it any less than before.
    ContentCopy* outerTarget = std::exchange(m_target, use.copy.get());
    const size_t lifted = covers.mark();
    m_formStack.insert(key);
    const bool ok = walk({use.work.get()}, own.isDictionary() ? own : resources, base, depth + 1);
    m_formStack.erase(key);
    m_target = outerTarget;
    use.openSaves = m_lastOpenSaves;
    if (!use.copy->empty() && !base.isInvertible()) {
        error = QStringLiteral("строка нарисована внутри формы");
        return false;
    }
    covers.dropSince(lifted);
    return ok;
}

}  // namespace pdfengine::contentwalk
