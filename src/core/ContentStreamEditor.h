#pragma once
// Removes glyphs from a page's own content streams token by token. The text
// state is followed through the streams (q/Q, cm, BT/ET and the text
// operators) to place every glyph; a text-showing operator whose glyphs are
// all removed goes, and inside a string or TJ array shared with kept glyphs
// the removed glyphs become the displacement they took, so nothing kept
// moves. Every other byte of a stream stays as it was. Text inside the
// program's own marked content is never touched. A form XObject that needs a
// change is copied for this page first, so other pages drawing it keep it.
//
// All or nothing: the streams are changed only when every glyph could be
// placed; otherwise false with the reason and the file as it was.
//
// A small path wholly inside an area (a rule TeX draws for an underscore, an
// underline) goes with the glyphs; one that clips is left alone.

#include "GlyphSpots.h"

#include <QByteArray>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QPDF;
class QPDFObjectHandle;

namespace pdfengine {

// Glyphs the user moved: those centred in area (default user space of the
// page) go from where they stand and are drawn again moved by by, each with
// its own code, font, size and matrix. Where glyphs are given, those move
// instead (area still takes the paths wholly inside it); moved along their
// line, they stay where the content draws them, shifted by kerning around
// them (and the paths with them by a cm of their own), so that readers which
// follow the content read them in their place.
struct GlyphMove {
    QPolygonF area;
    QPointF by;
    std::vector<GlyphSpot> glyphs;
};

// What an edit takes from a page's own content: the glyphs centred in areas
// and the paths wholly inside them; the glyphs at the spots given, with the
// paths wholly inside ruleAreas; and what the moves take.
// Words the program typed in place of glyphs of the page's own (user
// space): its text drawn from a point of the line from..to goes into the
// page's own content where the glyph at anchor stands (after it, for words
// only added after it), so that readers which follow the content read it in
// its place.
struct TypedPlace {
    GlyphSpot anchor;
    QPointF from;
    QPointF to;
    bool after = false;
};

struct GlyphEdit {
    std::vector<QPolygonF> areas;
    std::vector<GlyphSpot> glyphs;
    std::vector<QPolygonF> ruleAreas;
    std::vector<GlyphMove> moves;
    std::vector<TypedPlace> typed;
};

class ContentStreamEditor {
public:
    // Advance width (thousandths of the size) of a glyph, by its letter (a
    // symbol face's: by its code), in a standard font named baseFont that
    // carries no widths of its own; negative when unknown.
    using StandardWidths = std::function<double(const std::string& baseFont, char16_t glyph)>;

    explicit ContentStreamEditor(QPDF& pdf, StandardWidths standardWidths = {});

    // Removes from page every glyph whose box centre lies in one of areas
    // (default user space of the page). glyphsRemoved() tells how many went.
    bool removeGlyphs(QPDFObjectHandle& page, const std::vector<QRectF>& areas);
    // The same for areas of any shape, such as the box of a turned line.
    bool removeGlyphsWithin(QPDFObjectHandle& page, const std::vector<QPolygonF>& areas);
    // Removes from page every glyph drawn invisibly (text render mode 3):
    // another tool's searchable layer.
    bool removeInvisibleGlyphs(QPDFObjectHandle& page);
    // removeGlyphsWithin, and what stood in each move's area drawn again
    // where the move puts it, in a stream of the program's own appended to
    // the page. False, with the reason, where something there cannot be
    // drawn again as it stood (it is drawn inside a form).
    bool removeAndMoveGlyphs(QPDFObjectHandle& page, const std::vector<QPolygonF>& areas,
                             const std::vector<GlyphMove>& moves);
    // The same for an edit that also names glyphs by their spots: those go
    // (the program's own text never does), whatever stands over or under
    // them. A glyph drawn again over itself where readers take it for one
    // (a bold face made by drawing twice) goes or moves with the first.
    bool editGlyphs(QPDFObjectHandle& page, const GlyphEdit& edit);

    QString lastError() const { return m_error; }
    int glyphsRemoved() const { return m_glyphsRemoved; }
    // How many of them were drawn again elsewhere.
    int glyphsMoved() const { return m_glyphsMoved; }
    // How many of them were moved along their line where the content draws them.
    int glyphsShifted() const { return m_glyphsShifted; }
    // Object and generation numbers of the objects changed or added.
    const std::vector<std::pair<int, int>>& changedObjects() const { return m_changed; }

    // Whether the page's own content leaves a text state (Tz, Tc, Tw, Ts,
    // TL, Tr) set outside any q/Q for what is drawn after it; true too when
    // the content cannot be read.
    static bool leavesTextState(QPDFObjectHandle page);

    // Largest decoded content stream read.
    static constexpr qint64 kMaxStreamBytes = qint64(64) * 1024 * 1024;

private:
    bool edit(QPDFObjectHandle& page, const GlyphEdit& edit, bool invisible);

    QPDF& m_pdf;
    StandardWidths m_standardWidths;
    QString m_error;
    int m_glyphsRemoved = 0;
    int m_glyphsMoved = 0;
    int m_glyphsShifted = 0;
    std::vector<std::pair<int, int>> m_changed;
};

}  // namespace pdfengine
