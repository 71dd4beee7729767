#pragma once
// The interpreter that edits a page's content: it walks the page's streams
// (and the forms they draw) in the order drawn, keeps the text and graphics
// state, and takes out, shifts or copies the glyphs an edit names, token by
// token. Used only by ContentStreamEditor.

#include "ContentStreamEditor.h"

#include "ContentCopy.h"
#include "ContentTokens.h"
#include "CoverWatch.h"
#include "GlyphSpots.h"
#include "PdfFontMetrics.h"
#include "TypedInPlace.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QPointF>
#include <QRectF>
#include <QTransform>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pdfengine::contentwalk {
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
bool drawsTextAsBefore(QPDFObjectHandle resources, const std::string& name);

// Whether the points go round a rectangle upright on the page, edge by edge
// (the first again at the end or not).
bool isUprightBox(std::vector<QPointF> points);

// The pieces with the kerning that shifts the glyphs moved where they are
// drawn: none at the first piece, none again after the last where close.
std::vector<Piece> shiftedPieces(const std::vector<Piece>& pieces, double size, double scale, bool close);

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

}  // namespace pdfengine::contentwalk
