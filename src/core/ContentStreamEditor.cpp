#include "ContentStreamEditor.h"

#include "PageOwnContent.h"
#include "TypedInPlace.h"

#include "ContentCopy.h"
#include "ContentTokens.h"
#include "CoverWatch.h"
#include "QpdfFile.h"

#include "PdfFontMetrics.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <QLineF>
#include <QTransform>

#include <algorithm>

#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace pdfengine {

namespace {

constexpr int kMaxFormDepth = 12;
constexpr size_t kMaxStateDepth = 4096;
constexpr char kOwnTag[] = "/VornEdit";

// Where in the content a token stands.
struct TokenRef {
    size_t stream = 0;
    size_t index = 0;
};

struct TextState {
    double charSpacing = 0;
    double wordSpacing = 0;
    double scale = 1;
    double leading = 0;
    double size = 0;
    double rise = 0;
    int renderMode = 0;
    const PdfFontMetrics* font = nullptr;
    int fontSetter = -1;  // the Tf that set the font, when known
    std::string fontName;  // the font's name as the Tf wrote it
};

// A Tf of the content and what the text it set the font for became.
struct FontSetter {
    StreamWork* work = nullptr;
    size_t start = 0;
    size_t end = 0;
    int kept = 0;
    int removed = 0;
    std::string name;  // the font's name as written
    bool page = false;  // in the page's own streams, where the page's resources name fonts
};

struct GraphicsState {
    QTransform ctm;
    TextState text;
    PaintState paint;
    double lineWidth = 1;
    bool styled = false;  // a clip or a graphics state dictionary of the page's own is in force
    std::optional<QRectF> clip;  // what clips of upright boxes leave (user space), where set
};

// The program's typed words put inside a text object of the page's own:
// the showing operator split at the glyph they replace, and the spans of
// the program's own content that go there.
struct TypedSplit {
    StreamWork* work = nullptr;
    size_t splice = 0;
    std::string before, after;
    // Where the object begins again: its line matrix and the anchor's text
    // matrix, with the size and scale of the step between.
    QTransform lineMatrix, at;
    std::string lineSteps;
    double size = 0, scale = 1;
    QTransform ctm;
    int place = -1;
    int fontSetter = -1;  // the Tf whose font the resumed object's step is shown in
};

// A marked section of the program's own: from its tag to its EMC.
struct OwnSpan {
    StreamWork* work = nullptr;
    size_t start = 0;
    size_t end = 0;
    std::string state;  // the graphics state dictionary its stream set for it
    int place = -1;
    bool placed = false;  // its first text matrix was read
};

// A path being built: where its first operator's operands start, the
// points it passes and its pieces (user space).
struct PathWork {
    TokenRef first;
    double left = 0, bottom = 0, right = 0, top = 0;
    bool any = false;
    bool clip = false;
    bool clips = false;  // a W makes it the clip
    bool box = false;    // one rectangle, upright on the page, by re
    int ops = 0;
    std::vector<QPointF> outline;  // the points of one subpath of straight lines, while it is one
    bool straight = true;
    PathPieces pieces;
};

// A form XObject drawn from the content and how often; moves inside a form
// drawn once draw their copy at its end, in its own space.
struct FormUse {
    std::unique_ptr<StreamWork> work;
    int uses = 0;
    int depth = 0;
    std::string name;
    std::unique_ptr<ContentCopy> copy;
    size_t openSaves = 0;  // q its content leaves open
};

// One glyph or kerning number of a text-showing operator, in TJ units.
struct Piece {
    bool glyph = false;
    bool removed = false;
    std::string code;       // the glyph's bytes
    std::string raw;        // a kerning number as written
    double displacement = 0;  // TJ number equal to the glyph's advance
    const GlyphMove* move = nullptr;  // the move that takes the glyph, if any
    QTransform at;          // the text matrix the piece starts at
    double shift = 0;       // a kept glyph moved where it is drawn: how far along the line (text space)
};

constexpr double kNoShift = 1e-7;        // text space: a shift too small to write
constexpr double kAlongTheLine = 1e-3;   // points a move may stand off the line it shifts along
constexpr double kTypedReach = 1.5;      // of the size: how far typed letters may reach off their line

// Whether the graphics state dictionary named leaves text filled as a fresh
// state fills it: it sets no font, transparency or soft mask (but their
// defaults); what else it sets touches strokes, halftones and separations.
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

// Whether the points go round a rectangle upright on the page, edge by edge
// (the first again at the end or not).
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

// The pieces with the kerning that shifts the glyphs moved where they are
// drawn: none at the first piece, none again after the last where close.
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

// What becomes of a glyph drawn: it stays, goes, or goes with a move.
constexpr int kGlyphStays = -2;
constexpr int kGlyphGoes = -1;

// A glyph drawn lately, as readers compare the next one with it: one of the
// same code and face drawn almost where it stands they take for the same
// glyph drawn again (a bold face made by drawing twice).
struct RecentGlyph {
    const PdfFontMetrics* font = nullptr;
    std::string code;
    QPointF origin;
    double within = 0;
    int fate = kGlyphStays;
};
constexpr size_t kRecentGlyphs = 7;     // as many as pdfium compares
constexpr double kThinnestLine = 0.5;   // points a stroke of width 0 still covers
constexpr double kLeastGlyphWidth = 0.3;  // of the size: the box of a glyph that does not advance
constexpr double kDrawnAgainShare = 0.07;  // of the size, pdfium's nearness of a glyph drawn again

// The interpreter over one page: the streams in the order drawn, the text
// state, and the changes found.
class ContentWalk {
public:
    // invisible: the glyphs to remove are those drawn invisibly, not those the edit names.
    ContentWalk(QPDF& pdf, const ContentStreamEditor::StandardWidths& widths, const GlyphEdit& edit, bool invisible)
        : m_pdf(pdf), m_widths(widths), m_areas(edit.areas), m_ruleAreas(edit.ruleAreas), m_moves(edit.moves),
          m_typed(edit.typed), m_invisible(invisible)
    {
        std::vector<GlyphSpot> spots = edit.glyphs;
        m_spotFates.assign(spots.size(), kGlyphGoes);
        for (size_t m = 0; m < m_moves.size(); ++m) {
            spots.insert(spots.end(), m_moves[m].glyphs.begin(), m_moves[m].glyphs.end());
            m_spotFates.insert(m_spotFates.end(), m_moves[m].glyphs.size(), int(m));
        }
        if (!invisible)
            m_spots = GlyphSpotFinder(std::move(spots));
        m_areaTaken.assign(m_areas.size(), 0);
        m_moveTaken.assign(m_moves.size(), 0);
        m_moveShifted.assign(m_moves.size(), 0);
        m_ruleTaken.assign(m_ruleAreas.size(), 0);
    }

    bool walk(std::vector<StreamWork*> streams, QPDFObjectHandle resources, const QTransform& ctm, int depth);
    // Removes every Tf whose text all went: no font stays named that no text
    // of the page uses, which a later write of the page may drop from its
    // resources while the name stays in the content.
    void dropDeadFontSetters();
    // Puts the program's typed words into the page's own text objects
    // where the glyphs they replace stood; where the program's own content
    // paints anything else, they stay where they are, drawn over it.
    void placeTypedWords();
    QString error;
    int removed = 0;
    int shifted = 0;  // of them, glyphs moved along their line where they are drawn
    std::map<QPDFObjGen, FormUse> forms;
    ContentCopy copy;  // what the moves of the page's own streams draw again
    CoverWatch covers;
    CoverWatch shiftCovers;  // over glyphs moved where they are drawn: pictures and paths only

private:
    bool run(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef, QPDFObjectHandle resources,
             int depth);
    bool showText(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef);
    bool drawForm(const std::string& name, QPDFObjectHandle resources, int depth);
    const PdfFontMetrics* fontNamed(const std::string& name, QPDFObjectHandle resources);
    bool advanceMatters(TokenRef after) const;
    void noteShown(bool gone);
    bool nearAnArea(double extent) const;
    // The move whose area holds point, of those that name no glyphs, or null.
    const GlyphMove* moveAt(const QPointF& point) const;
    bool inAnArea(const QPointF& point) const;
    // Whether the glyph about to be shown under trm, which move takes, moves
    // where it is drawn: the move names its glyphs (a word of a corrected
    // line) and goes along the line. shift: how far, in text space.
    bool shiftsInPlace(const GlyphMove& move, const QTransform& trm, double* shift) const;
    // What becomes of a glyph drawn at origin at size (its code and face
    // given) by the spots the edit names: kGlyphStays when it names none.
    int spotFate(const PdfFontMetrics* font, const std::string& code, const QPointF& origin, double size,
                 double within);
    // The operator with its operands as written.
    std::string rawOf(const std::vector<TokenRef>& operands, TokenRef opRef) const;
    void trackPath(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef);
    bool finishPath(const std::string& op, TokenRef opRef);
    // Notes the glyph at centre taken by move, or going: a path drawn after
    // it wholly inside its area belongs to it (a background drawn before
    // the text stays).
    void noteTaken(const QPointF& centre, const GlyphMove* move);
    // What a painting operator paints, for the glyphs lifted before it.
    void notePainted(const PathWork& path, const std::string& op);
    // A picture or path painting regions, over glyphs lifted or moved where they are drawn.
    void paintCover(const std::vector<QRectF>& regions)
    {
        covers.paint(regions);
        shiftCovers.paint(regions);
    }
    QRectF glyphBox(const PdfFontMetrics& font, unsigned code, double advance) const;
    // Draws the pieces a move took again where it puts them, an operator
    // at a time: for glyphs shown outside a text object.
    bool copyMovedRuns(const std::vector<struct Piece>& pieces);
    // The text state operators in force.
    std::string textStateText() const;
    std::string lineStepOf(const std::string& op, const std::vector<TokenRef>& operands) const;
    std::vector<QPointF> moveTranslations() const;
    // Records a showing operator of the open text object for its replay.
    void replayShow(const std::string& op, const std::vector<TokenRef>& operands, const std::vector<Piece>& pieces);
    // Replaces an operator, from its first operand on, by with; the
    // operands may begin in an earlier stream of the page.
    void spliceOperator(TokenRef first, TokenRef opRef, const std::string& with);
    const Token& token(TokenRef ref) const { return m_streams[ref.stream]->tokens[ref.index]; }

    QPDF& m_pdf;
    const ContentStreamEditor::StandardWidths& m_widths;
    const std::vector<QPolygonF>& m_areas;
    const std::vector<QPolygonF>& m_ruleAreas;
    const std::vector<GlyphMove>& m_moves;
    const std::vector<TypedPlace>& m_typed;
    const bool m_invisible;
    GlyphSpotFinder m_spots;
    std::vector<int> m_spotFates;  // per spot: kGlyphGoes or the move's index
    std::vector<RecentGlyph> m_recent;
    int m_depth = 0;  // forms entered
    std::optional<PathWork> m_path;
    std::vector<StreamWork*> m_streams;
    GraphicsState m_state;
    std::vector<GraphicsState> m_saved;
    QTransform m_textMatrix;
    QTransform m_lineMatrix;
    // The operators that set the line matrix since BT, as written: a text
    // object begun again with them has it as every reader added it up.
    std::string m_lineSteps;
    // T* as a Td, with the leading in force.
    std::string nextLineStep() const { return "0 " + contentNumber(-m_state.text.leading, 10) + " Td "; }
    // How far pdfium's pen runs behind the text matrix along the line, in
    // text space: it places glyphs by widths it reads as whole thousandths.
    double m_readerLag = 0;
    bool m_positionKnown = true;
    int m_ownDepth = 0;
    int m_inPlaceDepth = 0;  // sections of typed words put in place open: their text is the page's to edit
    std::vector<bool> m_inPlaceMarks;
    std::vector<bool> m_movedMarks;  // whether each open section is a copy of moved text
    std::vector<bool> m_marks;  // whether each open marked-content section is the program's own
    std::map<QPDFObjGen, std::unique_ptr<PdfFontMetrics>> m_fonts;
    std::vector<std::unique_ptr<PdfFontMetrics>> m_directFonts;
    std::set<QPDFObjGen> m_formStack;
    std::vector<FontSetter> m_fontSetters;
    TextObjectReplay m_replay;  // the text object open, where moves take glyphs of it
    ContentCopy* m_target = &copy;  // where the moves of the stream walked draw their copy
    size_t m_lastOpenSaves = 0;     // q the stream walked last left open
    // Per area, move and rule area: whether a glyph it takes was drawn yet.
    std::vector<char> m_areaTaken, m_moveTaken, m_ruleTaken;
    std::vector<char> m_moveShifted;  // per move: its glyphs moved where they are drawn
    bool m_wordsCopied = false;  // glyphs of a move naming them drawn again after the page's content
    size_t m_marksAtText = 0;  // marked-content sections open when the text object began
    std::vector<TypedSplit> m_splits;
    std::optional<OwnSpan> m_span;
    std::vector<OwnSpan> m_spans;
    std::pair<size_t, std::string> m_lastState{SIZE_MAX, std::string()};  // the last gs: its stream and text
    bool m_ownPaints = false;
    // Whether the clip in force leaves the typed words of place whole.
    bool clipLeaves(const TypedPlace& place) const;
    // Splits the showing operator at the glyph a typed place names; false
    // where it cannot be split there.
    bool splitForTyped(const std::string& op, const std::vector<TokenRef>& operands, TokenRef first, TokenRef opRef,
                       const std::vector<Piece>& pieces, size_t anchor, int place);
    void noteOwnSpan(const std::string& op, const std::vector<TokenRef>& operands, TokenRef opRef);
};

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

}  // namespace

namespace {

// A form's content edited, and what moves inside it draws again at its
// end, in the state the form starts in.
std::string formData(const FormUse& use)
{
    const std::string data = applied(*use.work);
    if (!use.copy || use.copy->empty())
        return data;
    std::string closing;
    for (size_t i = 0; i <= use.openSaves; ++i)
        closing += "Q\n";
    return "q\n" + data + "\n" + closing + use.copy->stream();
}

}  // namespace

ContentStreamEditor::ContentStreamEditor(QPDF& pdf, StandardWidths standardWidths)
    : m_pdf(pdf), m_standardWidths(std::move(standardWidths))
{
}

bool ContentStreamEditor::removeGlyphs(QPDFObjectHandle& page, const std::vector<QRectF>& areas)
{
    std::vector<QPolygonF> shapes;
    for (const QRectF& area : areas)
        shapes.emplace_back(area);
    return removeGlyphsWithin(page, shapes);
}

bool ContentStreamEditor::removeGlyphsWithin(QPDFObjectHandle& page, const std::vector<QPolygonF>& areas)
{
    return edit(page, GlyphEdit{areas, {}, {}, {}}, false);
}

bool ContentStreamEditor::removeInvisibleGlyphs(QPDFObjectHandle& page)
{
    return edit(page, GlyphEdit(), true);
}

bool ContentStreamEditor::removeAndMoveGlyphs(QPDFObjectHandle& page, const std::vector<QPolygonF>& areas,
                                              const std::vector<GlyphMove>& moves)
{
    return edit(page, GlyphEdit{areas, {}, {}, moves}, false);
}

bool ContentStreamEditor::editGlyphs(QPDFObjectHandle& page, const GlyphEdit& glyphEdit)
{
    return edit(page, glyphEdit, false);
}

bool ContentStreamEditor::edit(QPDFObjectHandle& page, const GlyphEdit& glyphEdit, bool invisible)
{
    m_error.clear();
    m_glyphsRemoved = 0;
    m_glyphsMoved = 0;
    m_glyphsShifted = 0;
    m_changed.clear();
    try {
        std::vector<std::unique_ptr<StreamWork>> streams;
        QPDFObjectHandle contents = page.getKey("/Contents");
        std::vector<QPDFObjectHandle> items =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        for (QPDFObjectHandle& item : items) {
            if (!item.isStream())
                continue;
            auto work = std::make_unique<StreamWork>();
            work->stream = item;
            if (!readDecodedStream(item, size_t(kMaxStreamBytes), &work->data)) {
                m_error = QStringLiteral("содержимое страницы слишком велико или не читается");
                return false;
            }
            if (!tokenize(work->data, work->tokens, m_error, inheritedResources(page)))
                return false;
            streams.push_back(std::move(work));
        }
        ContentWalk walk(m_pdf, m_standardWidths, glyphEdit, invisible);
        std::vector<StreamWork*> order;
        for (auto& s : streams)
            order.push_back(s.get());
        QPDFObjectHandle resources = inheritedResources(page);
        if (!walk.walk(order, resources, QTransform(), 0)) {
            m_error = walk.error;
            return false;
        }
        if (walk.covers.covered() || walk.shiftCovers.covered()) {
            m_error = QStringLiteral("строку закрывает то, что нарисовано поверх неё");
            return false;
        }
        walk.dropDeadFontSetters();
        walk.placeTypedWords();
        // Forms to change are checked before anything changes.
        for (auto& [key, use] : walk.forms) {
            if (use.work->splices.empty())
                continue;
            if (use.uses > 1 || use.depth > 1) {
                m_error = QStringLiteral("текст стоит в форме, которая нарисована на странице не один раз");
                return false;
            }
        }
        // A stream other pages draw too is copied for this page before it changes.
        const bool anySplice = std::any_of(streams.begin(), streams.end(), [](const auto& s) { return !s->splices.empty(); });
        const std::set<QPDFObjGen> shared = anySplice ? streamsOfOtherPages(m_pdf, page) : std::set<QPDFObjGen>();
        std::vector<QPDFObjectHandle> ownItems = items;
        bool copied = false;
        for (auto& s : streams) {
            if (s->splices.empty())
                continue;
            if (shared.count(s->stream.getObjGen())) {
                QPDFObjectHandle copy = s->stream.copyStream();
                for (QPDFObjectHandle& item : ownItems)
                    if (item.isIndirect() && item.getObjGen() == s->stream.getObjGen())
                        item = copy;
                s->stream = copy;
                copied = true;
            }
            s->stream.replaceStreamData(applied(*s), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            m_changed.push_back({s->stream.getObjectID(), s->stream.getGeneration()});
        }
        if (!walk.copy.empty()) {
            // Drawn last, over the white of the old places.
            QPDFObjectHandle moved = QPDFObjectHandle::newStream(&m_pdf, walk.copy.stream());
            ownItems.push_back(moved);
            m_changed.push_back({moved.getObjectID(), moved.getGeneration()});
            contents = QPDFObjectHandle::newArray();  // the page gets an array of its own
            copied = true;
            m_glyphsMoved += walk.copy.glyphCount();
        }
        if (copied) {
            page.replaceKey("/Contents", contents.isArray() ? QPDFObjectHandle::newArray(ownItems) : ownItems.front());
            m_changed.push_back({page.getObjectID(), page.getGeneration()});
        }
        for (auto& [key, use] : walk.forms) {
            if (use.work->splices.empty())
                continue;
            // The page gets its own copy of the form and of the resources naming it.
            QPDFObjectHandle copy = use.work->stream.copyStream();
            copy.replaceStreamData(formData(use), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            m_glyphsMoved += use.copy ? use.copy->glyphCount() : 0;
            QPDFObjectHandle ownResources = resources.shallowCopy();
            QPDFObjectHandle xobjects = ownResources.getKey("/XObject").shallowCopy();
            xobjects.replaceKey(use.name, copy);
            ownResources.replaceKey("/XObject", xobjects);
            page.replaceKey("/Resources", ownResources);
            resources = ownResources;
            m_changed.push_back({copy.getObjectID(), copy.getGeneration()});
            m_changed.push_back({page.getObjectID(), page.getGeneration()});
        }
        m_glyphsRemoved = walk.removed;
        m_glyphsShifted = walk.shifted;
    } catch (const std::exception& e) {
        m_error = QString::fromUtf8(e.what()).left(200);
        return false;
    }
    return true;
}

}  // namespace pdfengine
